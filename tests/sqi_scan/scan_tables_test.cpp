// Every table's first request (checked in the emulator's request log) and
// the values of its first row, plus the mandatory-filter messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "scan_harness.h"

namespace {

struct TableCase {
    const char *table;
    std::vector<Cond> conds;
    const char *request;     // method, path and sorted query of the first GET
    const char *prefer;      // the Prefer header, or "<none>"
    const char *column;      // a column of the first row ...
    const char *value;       // ... and its character value
};

const char *kT0 = "2024-01-01 00:00:00";
const char *kT1 = "2024-12-31 00:00:00";
const char *kQ = "page=1&page_size=20&total_required=true";

std::string invoice_id(int row) {
    ScanEnv s;
    if (!s.connect() || s.start("Invoices") != DAL_OK) return "?";
    for (int i = 0; i <= row; ++i)
        if (s.next() != DAL_OK) return "?";
    return s.text("Id");
}

class ScanTables : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(emulator().port, 0) << "emulator did not start";
        posted_messages().clear();
    }
};

TEST_F(ScanTables, FirstRequestAndFirstRowOfEveryTable) {
    std::string inv = invoice_id(1);  // the second invoice has two of every child
    ASSERT_NE(inv, "?");
    std::string invq = "GET /v2/invoicing/invoices/" + inv + "?fields=all&" + kQ;
    // The transaction search keeps three years: its range follows the clock.
    const int64_t day0 = static_cast<int64_t>(time(nullptr)) / 86400 * 86400 - 60 * 86400;
    const std::string t0 = windows_time_text(day0), t1 = windows_time_text(day0 + 10 * 86400);
    auto as_cond = [](std::string t) { return t.replace(10, 1, " ").substr(0, 19); };
    auto encoded = [](std::string t) {
        for (size_t p; (p = t.find(':')) != std::string::npos;) t.replace(p, 1, "%3A");
        return t;
    };
    const std::vector<Cond> tx_range = {{"StartTime", RESTRICT_GE, as_cond(t0), true},
                                        {"EndTime", RESTRICT_LE, as_cond(t1), true}};
    const std::string txq = "GET /v1/reporting/transactions?balance_affecting_records_only=N&end_date=" +
                            encoded(t1) + "&fields=all&page=1&page_size=500&start_date=" + encoded(t0) +
                            "&total_required=true";
    const std::vector<TableCase> cases = {
        {"AuthorizationDetails", {{"AuthorisationId", RESTRICT_EQ, "0VF528149379980462"}},
         "GET /v2/payments/authorizations/0VF528149379980462?page=1&page_size=20&total_required=true", "<none>",
         "StatusDetailsReason", "PENDING_REVIEW"},
        {"CapturenDetails", {{"CaptureId", RESTRICT_EQ, "2GG279541U4710100"}},
         "GET /v2/payments/captures/2GG279541U4710100?page=1&page_size=20&total_required=true", "<none>", "Status",
         "COMPLETED"},
        {"OrderDetails", {{"Id", RESTRICT_EQ, "5O190127TN3647000"}},
         "GET /v2/checkout/orders/5O190127TN3647000?page=1&page_size=20&total_required=true", "<none>", "Intent",
         "CAPTURE"},
        {"RefundDetails", {{"Id", RESTRICT_EQ, "1JU08902781691000"}},
         "GET /v2/payments/refunds/1JU08902781691000?fields=all&page=1&page_size=20&total_required=true", "<none>",
         "NoteToPayer", "Defective product"},
        {"SaleDetails", {{"Id", RESTRICT_EQ, "36C38912MN9658000"}},
         "GET /v1/payments/sale/36C38912MN9658000?fields=all&page=1&page_size=20&total_required=true", "<none>",
         "State", "completed"},
        {"Subscriptions", {{"Id", RESTRICT_EQ, "I-BW452GLLEP1G00"}},
         "GET /v1/billing/subscriptions/I-BW452GLLEP1G00?fields=all&page=1&page_size=20&total_required=true",
         "<none>", "PlanId", "P-5ML4271244454362WXNWU5NQ"},
        {"SubscriptionTransactions",
         {{"Id", RESTRICT_EQ, "I-BW452GLLEP1G00"}, {"StartTime", RESTRICT_GE, kT0, true},
          {"EndTime", RESTRICT_LE, kT1, true}},
         "GET /v1/billing/subscriptions/I-BW452GLLEP1G00/transactions?end_time=2024-12-31T00%3A00%3A00Z&fields=all&"
         "page=1&page_size=20&start_time=2024-01-01T00%3A00%3A00Z&total_required=true",
         "<none>", "TransactionStatus", "COMPLETED"},
        {"OrderItems", {{"Id", RESTRICT_EQ, "5O190127TN3647000"}},
         "GET /v2/checkout/orders/5O190127TN3647000?page=1&page_size=20&total_required=true", "<none>", "PurchaseUnitsReferenceId",
         "PUHF-0-0"},
        {"Payments", {{"StartTime", RESTRICT_GE, kT0, true}, {"EndTime", RESTRICT_LE, kT1, true}},
         "GET /v1/payments/payment?count=20&end_time=2024-12-31T00%3A00%3A00Z&fields=all&"
         "start_time=2024-01-01T00%3A00%3A00Z",
         "<none>", "Intent", "sale"},
        {"PaymentTransactions", {{"StartTime", RESTRICT_GE, kT0, true}, {"EndTime", RESTRICT_LE, kT1, true}},
         "GET /v1/payments/payment?count=20&end_time=2024-12-31T00%3A00%3A00Z&fields=all&"
         "start_time=2024-01-01T00%3A00%3A00Z",
         "<none>", "TransactionDescription", "Transaction 0 of payment 0"},
        {"Balances", {}, "GET /v1/reporting/balances?fields=all&page=1&page_size=20&total_required=true", "<none>",
         "Currency", "USD"},
        {"Plans", {}, "GET /v1/billing/plans?fields=all&page=1&page_size=20&total_required=true",
         "return=representation", "Name", "Video Streaming 0"},
        {"PlansNoPrefer", {}, "GET /v1/billing/plans?fields=all&page=1&page_size=20&total_required=true", "<none>",
         "Name", "Video Streaming 0"},
        {"PlansBillingCycles", {}, "GET /v1/billing/plans?fields=all&page=1&page_size=20&total_required=true",
         "return=representation", "BillingCycleTenureType", "TRIAL"},
        {"UserInfo", {},
         "GET /v1/identity/oauth2/userinfo?fields=all&page=1&page_size=20&schema=paypalv1.1&total_required=true",
         "<none>", "Name", "Roy Wolf"},
        {"Webhooks", {}, "GET /v1/notifications/webhooks?fields=all&page=1&page_size=20&total_required=true",
         "<none>", "Url", "https://example.com/example_webhook_0"},
        {"WebhooksEvents", {}, "GET /v1/notifications/webhooks?fields=all&page=1&page_size=20&total_required=true",
         "<none>", "EventTypesName", "PAYMENT.AUTHORIZATION.CREATED"},
        {"BatchPayout", {{"PayoutBatchId", RESTRICT_EQ, "5UXD2E8A7EBQ0"}},
         "GET /v1/payments/payouts/5UXD2E8A7EBQ0?fields=all&page=1&page_size=20&total_required=true", "<none>",
         "BatchHeaderBatchStatus", "SUCCESS"},
        {"BatchPayoutItems", {{"PayoutBatchId", RESTRICT_EQ, "5UXD2E8A7EBQ0"}},
         "GET /v1/payments/payouts/5UXD2E8A7EBQ0?fields=all&page=1&page_size=20&total_required=true", "<none>",
         "BatchItemTransactionStatus", "SUCCESS"},
        {"PayoutsItem", {{"PayoutsItemId", RESTRICT_EQ, "8AELMXH8UB2P0000"}},
         "GET /v1/payments/payouts-item/8AELMXH8UB2P0000?fields=all&page=1&page_size=20&total_required=true",
         "<none>", "TransactionStatus", "SUCCESS"},
        {"Invoices", {}, "GET /v2/invoicing/invoices?fields=all&page=1&page_size=20&total_required=true", "<none>",
         "Status", "DRAFT"},
        {"InvoiceItems", {{"Id", RESTRICT_EQ, inv}}, invq.c_str(), "<none>", "Status", "SENT"},
        {"InvoiceDetailAttachments", {{"Id", RESTRICT_EQ, inv}}, invq.c_str(), "<none>", "DetailAttachmentContentType", "image/png"},
        {"InvoiceInvoicerPhones", {{"Id", RESTRICT_EQ, inv}}, invq.c_str(), "<none>", "InvoicerPhonesNationalNumber",
         "4085551200"},
        {"InvoicePrimaryRecipients", {{"Id", RESTRICT_EQ, inv}}, invq.c_str(), "<none>", "PrimaryRecipientsBillingInfoEmailAddress",
         "bill-me-2@example.com"},
        {"InvoiceAdditionalRecipients", {{"Id", RESTRICT_EQ, inv}}, invq.c_str(), "<none>", "AdditionalRecipientsEmailAddress",
         "cc1-0@example.com"},
        {"InvoicePaymentsTransactions", {{"Id", RESTRICT_EQ, inv}}, invq.c_str(), "<none>", "PaymentsTransactionPaymentId",
         "PAYID-1-0"},
        {"InvoiceRefundsTransactions", {{"Id", RESTRICT_EQ, inv}}, invq.c_str(), "<none>", "RefundsTransactionRefundId", "REFID-1-0"},
        {"Disputes", {{"StartTime", RESTRICT_GE, "2023-01-01 00:00:00", true}},
         "GET /v1/customer/disputes?page_size=20&start_time=2023-01-01T00%3A00%3A00Z", "<none>", "Reason",
         "MERCHANDISE_OR_SERVICE_NOT_RECEIVED"},
        {"DisputeDetails", {{"DisputeId", RESTRICT_EQ, "PP-D-27804"}},
         "GET /v1/customer/disputes/PP-D-27804?page=1&page_size=20&total_required=true", "<none>", "Reason",
         "UNAUTHORISED"},
        {"DisputesTransactions", {{"DisputeId", RESTRICT_EQ, "PP-D-27804"}},
         "GET /v1/customer/disputes/PP-D-27804?page=1&page_size=20&total_required=true", "<none>",
         "TransactionBuyerTransactionId", "2BD00010FH"},
        {"CreditCards", {{"StartTime", RESTRICT_GE, kT0, true}, {"EndTime", RESTRICT_LE, kT1, true}},
         "GET /v1/vault/credit-cards?end_time=2024-12-31T00%3A00%3A00Z&fields=all&page=1&page_size=20&"
         "start_time=2024-01-01T00%3A00%3A00Z&total_required=true",
         "<none>", "Type", "visa"},
        {"Transactions", tx_range, txq.c_str(), "<none>", "PaypalAccountId", "MERCHANT7X2QZ"},
        {"TransactionItems", tx_range, txq.c_str(), "<none>", "CartTaxInclusive", "False"},
        {"Products", {}, "GET /v1/catalogs/products?page=1&page_size=20&total_required=true", "<none>", "Name",
         "Product 0"},
    };
    ASSERT_EQ(cases.size(), static_cast<size_t>(kPaypalTableCount));
    for (const TableCase &c : cases) {
        SCOPED_TRACE(c.table);
        ScanEnv s;
        ASSERT_TRUE(s.connect("query_timeout=0"));
        emulator().clear_log();
        ASSERT_EQ(s.start(c.table, c.conds), DAL_OK) << (posted_messages().empty() ? "" : posted_messages().back());
        EXPECT_EQ(emulator().last_request_line(), c.request);
        EXPECT_EQ(emulator().last_header("Prefer"), c.prefer);
        EXPECT_EQ(emulator().last_header("Authorization").rfind("Bearer ", 0), 0u);
        ASSERT_EQ(s.next(), DAL_OK);
        EXPECT_EQ(s.text(c.column), c.value);
    }
}

TEST_F(ScanTables, MandatoryFiltersAndKeysAreNamed) {
    struct Case {
        const char *table;
        std::vector<Cond> conds;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"SubscriptionTransactions", {}, {"Field 'Id' must be specified in query"}},
        {"Payments", {}, {"Field 'StartTime' must be specified in query", "Field 'EndTime' must be specified in query"}},
        // "<" is not a lower bound: StartTime stays unmet.
        {"Payments", {{"StartTime", RESTRICT_LT, kT0, true}, {"EndTime", RESTRICT_LE, kT1, true}},
         {"Field 'StartTime' must be specified in query"}},
        {"CreditCards", {{"StartTime", RESTRICT_GE, kT0, true}}, {"Field 'EndTime' must be specified in query"}},
        {"Disputes", {{"UpdateTimeBefore", RESTRICT_LE, kT1, true}}, {"Field 'StartTime' must be specified in query"}},
        {"InvoiceItems", {}, {"Field 'Id' must be specified in query"}},
        {"AuthorizationDetails", {{"Status", RESTRICT_EQ, "CREATED"}},
         {"Field 'AuthorisationId' must be specified in query"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.table);
        ScanEnv s;
        ASSERT_TRUE(s.connect());
        posted_messages().clear();
        size_t before = emulator().request_count();
        EXPECT_EQ(s.start(c.table, c.conds), DAL_ERROR);
        EXPECT_EQ(posted_messages(), c.messages);
        EXPECT_EQ(emulator().request_count(), before) << "nothing is sent";
    }
}

TEST_F(ScanTables, BalancesEchoTheTimeAskedAndReadTheTimeServed) {
    // The emulator's balances were last refreshed at 2024-05-01T07:59:00+02:00.
    struct Case {
        std::vector<Cond> conds;
        std::string request;
        const char *as_of, *served;  // AsOfTime, ServedAsOfTime as "YYYY-MM-DD HH:MM:SS"
    } cases[] = {
        // After the refresh: PayPal answers for the refresh time.
        {{{"AsOfTime", RESTRICT_EQ, "2030-01-01 00:00:00", true}},
         "GET /v1/reporting/balances?as_of_time=2030-01-01T00%3A00%3A00Z&fields=all&" + std::string(kQ),
         "2030-01-01 00:00:00", "2024-05-01 05:59:00"},
        {{{"AsOfTime", RESTRICT_EQ, "2024-04-01 12:00:00", true}},
         "GET /v1/reporting/balances?as_of_time=2024-04-01T12%3A00%3A00Z&fields=all&" + std::string(kQ),
         "2024-04-01 12:00:00", "2024-04-01 12:00:00"},
        {{}, "GET /v1/reporting/balances?fields=all&" + std::string(kQ), "2024-05-01 05:59:00",
         "2024-05-01 05:59:00"},
    };
    auto stamp = [](ScanEnv &s, const char *column) {
        TIMESTAMP_STRUCT t{};
        SQLLEN len = 0;
        EXPECT_EQ(SQIGetData(s.it, s.column_number(column), SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &len), DAL_OK);
        char buf[64];
        snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
        return std::string(buf);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.request);
        ScanEnv s;
        ASSERT_TRUE(s.connect("query_timeout=0"));
        ASSERT_EQ(s.start("Balances", c.conds), DAL_OK);
        EXPECT_EQ(emulator().last_request_line(), c.request);
        int rows = 0;
        while (s.next() == DAL_OK) {
            ++rows;
            EXPECT_EQ(stamp(s, "AsOfTime"), c.as_of);
            EXPECT_EQ(stamp(s, "ServedAsOfTime"), c.served);
            EXPECT_EQ(stamp(s, "LastRefreshTime"), "2024-05-01 05:59:00");
        }
        EXPECT_EQ(rows, 3) << "USD, EUR and CAD";
    }
}

TEST_F(ScanTables, FilterLocalSendsNoRestriction) {
    ScanEnv s;
    ASSERT_TRUE(s.connect("filter_local=yes"));
    EXPECT_EQ(s.start("Payments", {{"StartTime", RESTRICT_GE, kT0, true}, {"EndTime", RESTRICT_LE, kT1, true}}),
              DAL_ERROR);
    ASSERT_EQ(s.start("Invoices", {{"Id", RESTRICT_EQ, "INV2-NOPE"}}), DAL_OK);
    EXPECT_EQ(emulator().last_request_line(),
              "GET /v2/invoicing/invoices?fields=all&page=1&page_size=20&total_required=true");
}

}  // namespace
