// PayPal's actions through the provider's procedure slots against an
// emulator of their own: for each call, the POST it sends (path with the
// key, the JSON body from the arguments and the parameters' defaults, its
// PayPal-Request-Id) and the result row, read from the reply or from the
// object read back; PayPal's refusals with their issue.
#include <gtest/gtest.h>
#include <jansson.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "sqi/procedures.h"
#include "support/pool.h"
#include "support/value_ops.h"
#include "tests/sqi_scan/scan_harness.h"

namespace {

// The last POST the emulator logged: "PATH BODY" (the body as sorted
// compact JSON, "-" when none) and its PayPal-Request-Id.
std::pair<std::string, std::string> last_post(const Emulator &emu) {
    std::pair<std::string, std::string> out{"<none>", ""};
    for (json_t *j : emu.requests()) {
        if (std::string(json_string_value(json_object_get(j, "method"))) == "POST") {
            const char *body = json_string_value(json_object_get(j, "body"));
            std::string text = "-";
            if (body && *body) {
                json_t *parsed = json_loads(body, 0, nullptr);
                char *dumped = parsed ? json_dumps(parsed, JSON_COMPACT | JSON_SORT_KEYS) : nullptr;
                text = dumped ? dumped : "<not JSON>";
                free(dumped);
                json_decref(parsed);
            }
            out.first = std::string(json_string_value(json_object_get(j, "path"))) + " " + text;
            out.second.clear();
            json_t *headers = json_object_get(j, "headers");
            for (size_t i = 0; i < json_array_size(headers); i++) {
                json_t *h = json_array_get(headers, i);
                if (strcasecmp(json_string_value(json_array_get(h, 0)), "PayPal-Request-Id") == 0)
                    out.second = json_string_value(json_array_get(h, 1));
            }
        }
        json_decref(j);
    }
    return out;
}

constexpr const char *kOut = nullptr;  // an argument left out
constexpr const char *kAny = "*";      // a generated id

struct Case {
    const char *procedure;
    std::vector<const char *> args;
    const char *post;                     // path and body
    std::vector<const char *> row;        // the result row ("<NULL>" for NULL), empty: the call fails
    const char *error;                    // a piece of the message it fails with
};

TEST(ProcedureRun, EachActionSendsItsRequestAndReturnsItsRow) {
    Emulator &emu = emulator(1);  // the actions change its objects
    ASSERT_NE(emu.port, 0);
    ScanEnv s;
    ASSERT_TRUE(s.connect("", &emu));
    const Case cases[] = {
        {"GenerateInvoiceNumber", {}, "/v2/invoicing/generate-next-invoice-number -", {"0005001"}, nullptr},
        {"CreateDraftInvoice", {"a@b.example", "USD", "Mug", "2", "9.50", kOut, "2026-02-01"},
         "/v2/invoicing/invoices {\"detail\":{\"currency_code\":\"USD\",\"payment_term\":{\"due_date\":\"2026-02-01\"}},"
         "\"items\":[{\"name\":\"Mug\",\"quantity\":\"2\",\"unit_amount\":{\"currency_code\":\"USD\",\"value\":\"9.50\"}}],"
         "\"primary_recipients\":[{\"billing_info\":{\"email_address\":\"a@b.example\"}}]}",
         {kAny, "DRAFT", "0005002"}, nullptr},
        {"SendInvoice", {"INV2-2V3Y-H4PW-Q8QZ-SBF8"},
         "/v2/invoicing/invoices/INV2-2V3Y-H4PW-Q8QZ-SBF8/send {\"send_to_invoicer\":false,\"send_to_recipient\":true}",
         {"INV2-2V3Y-H4PW-Q8QZ-SBF8", "SENT", "0001000"}, nullptr},
        {"CancelInvoice", {"INV2-V83P-5K73-UABA-3MZK", "Subj", kOut, "true", "false"},
         "/v2/invoicing/invoices/INV2-V83P-5K73-UABA-3MZK/cancel "
         "{\"send_to_invoicer\":true,\"send_to_recipient\":false,\"subject\":\"Subj\"}",
         {"INV2-V83P-5K73-UABA-3MZK", "CANCELLED", "0001008"}, nullptr},
        {"RemindInvoice", {"INV2-UN8A-WKLH-2SXY-ATMY", kOut, "Due"},
         "/v2/invoicing/invoices/INV2-UN8A-WKLH-2SXY-ATMY/remind {\"note\":\"Due\"}", {}, "CANNOT_REMIND_INVOICE"},
        {"RefundCapture", {"2GG279541U4710100", "1.50", "USD", kOut, "Sorry"},
         "/v2/payments/captures/2GG279541U4710100/refund "
         "{\"amount\":{\"currency_code\":\"USD\",\"value\":\"1.50\"},\"note_to_payer\":\"Sorry\"}",
         {kAny, "COMPLETED", "1.50", "USD"}, nullptr},
        {"CaptureAuthorization", {"0VF528149379980460", kOut, kOut, "true"},
         "/v2/payments/authorizations/0VF528149379980460/capture {\"final_capture\":true}",
         {kAny, "COMPLETED", "10.50", "USD"}, nullptr},
        {"VoidAuthorization", {"0VF528149379980462"}, "/v2/payments/authorizations/0VF528149379980462/void -",
         {"0VF528149379980462", "VOIDED"}, nullptr},
        {"SuspendSubscription", {"I-BW452GLLEP1G00", "Trip"},
         "/v1/billing/subscriptions/I-BW452GLLEP1G00/suspend {\"reason\":\"Trip\"}", {"I-BW452GLLEP1G00", "SUSPENDED"},
         nullptr},
        {"ActivateSubscription", {"I-BW452GLLEP1G00"}, "/v1/billing/subscriptions/I-BW452GLLEP1G00/activate {}",
         {"I-BW452GLLEP1G00", "ACTIVE"}, nullptr},
        {"CancelSubscription", {"I-BW452GLLEP1G02", "Again"},
         "/v1/billing/subscriptions/I-BW452GLLEP1G02/cancel {\"reason\":\"Again\"}", {}, "SUBSCRIPTION_STATUS_INVALID"},
        {"DeactivatePlan", {"P-5000ABCDEF00"}, "/v1/billing/plans/P-5000ABCDEF00/deactivate -",
         {"P-5000ABCDEF00", "INACTIVE"}, nullptr},
        // A key cannot add a path segment: it is sent encoded, and PayPal knows no such invoice.
        {"SendInvoice", {"a/b"}, "/v2/invoicing/invoices/a%2Fb/send {\"send_to_invoicer\":false,\"send_to_recipient\":true}",
         {}, "RESOURCE_NOT_FOUND"},
    };
    std::set<std::string> ids;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.procedure);
        const PaypalProcedure *p = paypal_find_procedure(c.procedure);
        ASSERT_NE(p, nullptr);
        std::vector<Value *> args;
        for (const char *a : c.args) {
            Value *v = nullptr;
            if (a) {
                v = new_value_of_type(s.pool, VT_CHAR);
                ASSERT_EQ(set_value_text(v, a, std::strlen(a)), 0);
            }
            args.push_back(v);
        }
        posted_messages().clear();
        const int rc = SQIRunProcedure(s.it, &p->info, static_cast<int>(args.size()), args.data());
        const auto [post, request_id] = last_post(emu);
        EXPECT_EQ(post, c.post);
        EXPECT_EQ(request_id.size(), 36u);
        EXPECT_TRUE(ids.insert(request_id).second) << "a PayPal-Request-Id of its own";
        if (c.row.empty()) {
            EXPECT_EQ(rc, DAL_ERROR);
            const std::string all = posted_messages().empty() ? "" : posted_messages().back();
            EXPECT_NE(all.find(c.error), std::string::npos) << all;
            continue;
        }
        ASSERT_EQ(rc, DAL_OK) << (posted_messages().empty() ? "" : posted_messages().back());
        ASSERT_EQ(SQINextRow(s.it), DAL_OK);
        ASSERT_EQ(static_cast<size_t>(p->info.column_count), c.row.size());
        for (size_t k = 0; k < c.row.size(); k++) {
            char text[256];
            SQLLEN length = 0;
            ASSERT_EQ(SQIGetData(s.it, static_cast<int>(k) + 1, SQL_C_CHAR, text, sizeof text, &length), DAL_OK);
            const std::string got = length == SQL_NULL_DATA ? "<NULL>" : text;
            if (std::string(c.row[k]) != kAny) {
                EXPECT_EQ(got, c.row[k]) << "column " << k + 1;
            }
        }
        EXPECT_EQ(SQINextRow(s.it), DAL_NO_DATA);
    }
}

}  // namespace
