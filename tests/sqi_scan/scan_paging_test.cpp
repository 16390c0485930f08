// Paging (page numbers, next links, start ids), keyed and unkeyed scans,
// 404, child rows, the response cache and transport failures.
#include <gtest/gtest.h>

#include <cstring>

#include "scan_harness.h"

namespace {

const char *kT0 = "2024-01-01 00:00:00";
const char *kT1 = "2024-12-31 00:00:00";

std::vector<std::string> request_lines() {
    std::vector<std::string> out;
    for (json_t *j : emulator().requests()) {
        std::string line = json_string_value(json_object_get(j, "path"));
        const char *q = json_string_value(json_object_get(j, "query"));
        if (q && *q) line += std::string("?") + q;
        if (line.find("/oauth2/token") == std::string::npos) out.push_back(line);
        json_decref(j);
    }
    return out;
}

class ScanPaging : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(emulator().port, 0);
        posted_messages().clear();
        ASSERT_TRUE(s.connect("query_timeout=0;parallel_requests=1"));
        emulator().clear_log();
    }
    ScanEnv s;
};

TEST_F(ScanPaging, PageNumbersUpToTotalPages) {
    ASSERT_EQ(s.start("Plans"), DAL_OK);
    EXPECT_EQ(s.count_rows(), 45);
    std::vector<std::string> want = {
        "/v1/billing/plans?fields=all&page=1&page_size=20&total_required=true",
        "/v1/billing/plans?fields=all&page=2&page_size=20&total_required=true",
        "/v1/billing/plans?fields=all&page=3&page_size=20&total_required=true"};
    EXPECT_EQ(request_lines(), want);
}

TEST_F(ScanPaging, NextLinkCarriesTheToken) {
    ASSERT_EQ(s.start("Disputes", {{"StartTime", RESTRICT_GE, "2023-01-01 00:00:00", true}}), DAL_OK);
    EXPECT_EQ(s.count_rows(), 45);
    const std::string t = "start_time=2023-01-01T00%3A00%3A00Z";
    std::vector<std::string> want = {"/v1/customer/disputes?page_size=20&" + t,
                                     "/v1/customer/disputes?next_page_token=NPT0014&page_size=20&" + t,
                                     "/v1/customer/disputes?next_page_token=NPT0028&page_size=20&" + t};
    EXPECT_EQ(request_lines(), want);
}

TEST_F(ScanPaging, StartIdFromNextId) {
    ASSERT_EQ(s.start("Payments", {{"StartTime", RESTRICT_GE, kT0, true}, {"EndTime", RESTRICT_LE, kT1, true}}),
              DAL_OK);
    EXPECT_EQ(s.count_rows(), 45);
    auto lines = request_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[1].find("start_id=PAY-20K45678BC0000001020"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("start_id=PAY-40K45678BC0000001040"), std::string::npos) << lines[2];
}

TEST_F(ScanPaging, ChildRowsRepeatTheirParent) {
    // Plan i has 2 + i % 3 billing cycles.
    ASSERT_EQ(s.start("PlansBillingCycles"), DAL_OK);
    std::vector<std::pair<std::string, std::string>> rows;
    while (s.next() == DAL_OK) rows.emplace_back(s.text("Name"), s.text("BillingCycleSequence"));
    ASSERT_GE(rows.size(), 5u);
    EXPECT_EQ(rows[0], std::make_pair(std::string("Video Streaming 0"), std::string("1")));
    EXPECT_EQ(rows[1], std::make_pair(std::string("Video Streaming 0"), std::string("2")));
    EXPECT_EQ(rows[2], std::make_pair(std::string("Video Streaming 1"), std::string("1")));
    EXPECT_EQ(rows[4], std::make_pair(std::string("Video Streaming 1"), std::string("3")));
    size_t expected = 0;
    for (int i = 0; i < 45; ++i) expected += 2 + i % 3;
    EXPECT_EQ(rows.size(), expected);
}

TEST_F(ScanPaging, ChildRowsSkipParentsWithEmptyArrays) {
    // Webhook 3 has no event types; the others 2, 3, 4 and 1.
    ASSERT_EQ(s.start("WebhooksEvents"), DAL_OK);
    EXPECT_EQ(s.count_rows(), 2 + 3 + 4);
}

TEST_F(ScanPaging, KeyedAndUnkeyedInvoices) {
    ASSERT_EQ(s.start("Invoices"), DAL_OK);
    ASSERT_EQ(s.next(), DAL_OK);
    std::string id = s.text("Id");
    EXPECT_EQ(s.count_rows(), 44);
    ASSERT_EQ(s.start("Invoices", {{"Id", RESTRICT_EQ, id}}), DAL_OK);
    EXPECT_EQ(s.count_rows(), 1);
    EXPECT_EQ(emulator().last_request_line(),
              "GET /v2/invoicing/invoices/" + id + "?fields=all&page=1&page_size=20&total_required=true");
}

TEST_F(ScanPaging, NotFoundIsAnEmptyResult) {
    ASSERT_EQ(s.start("Invoices", {{"Id", RESTRICT_EQ, "INV2-NONE"}}), DAL_OK);
    EXPECT_EQ(s.next(), DAL_NO_DATA);
    EXPECT_TRUE(posted_messages().empty());
}

TEST_F(ScanPaging, KeysArePercentEncodedInThePath) {
    ASSERT_EQ(s.start("DisputeDetails", {{"DisputeId", RESTRICT_EQ, "a/b?c d"}}), DAL_OK);
    EXPECT_EQ(emulator().last_request_line(),
              "GET /v1/customer/disputes/a%2Fb%3Fc%20d?page=1&page_size=20&total_required=true");
    EXPECT_EQ(s.next(), DAL_NO_DATA);
}

TEST_F(ScanPaging, KeyedScanReadsTheKeySentWhereTheReplyLacksIt) {
    ASSERT_EQ(s.start("AuthorizationDetails", {{"AuthorisationId", RESTRICT_EQ, "0VF528149379980461"}}), DAL_OK);
    ASSERT_EQ(s.next(), DAL_OK);
    EXPECT_EQ(s.text("AuthorisationId"), "0VF528149379980461");
    EXPECT_EQ(s.text("Id"), "0VF528149379980461");
    EXPECT_EQ(s.next(), DAL_NO_DATA);
}

TEST_F(ScanPaging, CacheServesRepeatedScansWithinItsLifetime) {
    ScanEnv c;
    ASSERT_TRUE(c.connect("query_timeout=60"));
    emulator().clear_log();
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(c.start("Plans"), DAL_OK);
        EXPECT_EQ(c.count_rows(), 45);
    }
    EXPECT_EQ(request_lines().size(), 3u) << "the second scan reads every page from the cache";
}

TEST_F(ScanPaging, ServerErrorsAreReported) {
    std::string fault = "/_emulator/control?fault=500&count=1&path=/v1/billing/plans";
    // Arm the fault through the emulator's control endpoint with a raw GET.
    ScanEnv c;
    ASSERT_TRUE(c.connect("query_timeout=0;retries=0"));  // the error itself, not retried
    WebRequestPtr req = NewGetRequest(static_cast<PaypalEnv *>(c.env)->session->context.get(),
                                      "_emulator/control", 1);
    AddParameter(req.get(), "fault", "500", 0);
    AddParameter(req.get(), "count", "1", 0);
    AddParameter(req.get(), "path", "/v1/billing/plans", 0);
    WebResponsePtr resp;
    ASSERT_EQ(WebExchange(req.get(), resp), 0);
    posted_messages().clear();
    EXPECT_EQ(c.start("Plans"), DAL_ERROR);
    ASSERT_FALSE(posted_messages().empty());
    EXPECT_EQ(posted_messages().back().rfind("server response 500", 0), 0u) << posted_messages().back();
}

TEST_F(ScanPaging, MissingResponseReturnsTheTransportDiagnostic) {
    ScanEnv c;
    // A port nobody listens on: the connection fails, nothing is read (and
    // with retries off, at once).
    ASSERT_TRUE(c.connect("retries=0"));
    auto *env = static_cast<PaypalEnv *>(c.env);
    env->session->context->api_port = 1;
    ForceClose(env->session->context.get());
    posted_messages().clear();
    EXPECT_EQ(c.start("Invoices"), DAL_ERROR);
    ASSERT_FALSE(posted_messages().empty());
    EXPECT_EQ(c.next(), DAL_NO_DATA);
}

}  // namespace
