// A reply read into a page: the rows and values every page shape gives
// (lists, lists under a key, single objects, child rows in both, root
// columns before and after the row list, repeated members), the paging
// members, what fails to load, and every table's paths compile for the
// replies a scan of it reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqi/catalog.h"
#include "sqi/path_map.h"
#include "sqi/reply_page.h"
#include "sqi/scan.h"

namespace {

// A value written as the test expects it: "-" for NULL, else a kind letter
// (s string, i integer, r real, t true, f false, o object, a array), ':'
// and the text.
std::string shown(const ReplyValue &v) {
    static const char kLetter[] = "-sirtfoa";
    if (v.kind == JsonKind::kNull) return "-";
    return std::string(1, kLetter[static_cast<int>(v.kind)]) + ":" + std::string(v.text);
}

struct Expect {
    int row;
    const char *column;
    const char *value;
};

struct Case {
    const char *name;
    const char *table;
    int keyed;
    std::string reply;
    int rows;  // -1: fails to load
    int list;  // elements of the row list
    std::vector<Expect> values;
};

TEST(ReplyPage, RowsAndValuesOfEveryPageShape) {
    const std::string many_rows = [] {
        std::string s = "{\"items\": [";
        for (size_t i = 0; i < kMaxPageSlots / 67 + 1; ++i) s += i ? ",{}" : "{}";
        return s + "]}";
    }();
    const Case cases[] = {
        {"list", "Plans", 0, R"({"plans": [{"id": "P-1", "name": "A"}, {"id": "P-2"}], "total_pages": 3})", 2, 2,
         {{0, "Id", "s:P-1"}, {0, "Name", "s:A"}, {1, "Id", "s:P-2"}, {1, "Name", "-"}}},
        {"root columns before and after the list", "Balances", 0,
         R"({"account_id": "A-1", "balances": [{"currency": "USD"}, {"currency": "EUR", "primary": true}],
             "as_of_time": "2024-01-01T00:00:00Z"})",
         2, 2,
         {{0, "AccountId", "s:A-1"}, {1, "AccountId", "s:A-1"}, {0, "ServedAsOfTime", "s:2024-01-01T00:00:00Z"},
          {1, "ServedAsOfTime", "s:2024-01-01T00:00:00Z"}, {1, "Primary", "t:true"}, {0, "Primary", "-"}}},
        {"list under the key", "InvoiceItems", 1,
         R"({"id": "INV-1", "items": [{"name": "Mat", "quantity": "2"}, {"name": "Bag"}], "status": "SENT"})", 2, 2,
         {{0, "Id", "s:INV-1"}, {1, "Status", "s:SENT"}, {1, "ItemName", "s:Bag"}}},
        {"single object", "UserInfo", 0, R"({"user_id": "U-1", "name": "Ann"})", 1, 1,
         {{0, "UserId", "s:U-1"}, {0, "Name", "s:Ann"}}},
        {"single object of a keyed scan", "CapturenDetails", 1,
         R"({"id": "C-1", "amount": {"value": "10.00", "currency_code": "USD"}, "seller_protection":
             {"dispute_categories": ["B", "A"]}})",
         1, 1,
         {{0, "CaptureId", "s:C-1"}, {0, "AmountValue", "s:10.00"},
          {0, "SellerProtectionDisputeCategories", "a:[\"B\", \"A\"]"}}},
        {"child rows, their parents' values with them", "PlansBillingCycles", 0,
         R"({"plans": [{"billing_cycles": [{"sequence": 1}, {"sequence": 2}], "id": "P-1"},
                       {"id": "P-2", "billing_cycles": []}, {"id": "P-3"},
                       {"id": "P-4", "billing_cycles": [{"sequence": 1, "pricing_scheme": {"tiers": []}}]}]})",
         3, 4,
         {{0, "Id", "s:P-1"}, {1, "Id", "s:P-1"}, {1, "BillingCycleSequence", "i:2"}, {2, "Id", "s:P-4"},
          {2, "BillingCyclePricingSchemeTiers", "a:[]"}}},
        {"child rows of a single object", "SubscriptionTransactions", 1,
         R"({"transactions": [{"id": "T-1", "status": "COMPLETED"}, {"id": "T-2"}], "total_items": 2})", 2, 1,
         {{0, "TransactionId", "s:T-1"}, {1, "TransactionId", "s:T-2"}, {0, "TransactionStatus", "s:COMPLETED"}}},
        {"elements that are no objects", "Plans", 0, R"({"plans": ["P-1", null, [1]]})", 3, 3,
         {{0, "Id", "-"}, {1, "Name", "-"}}},
        {"the last of repeated members", "Invoices", 0,
         R"({"items": [{"id": "a", "amount": {"value": "1"}, "id": "b", "amount": {"currency_code": "USD"},
                        "due_amount": {"value": "2"}, "due_amount": 5}]})",
         1, 1,
         {{0, "Id", "s:b"}, {0, "AmountValue", "-"}, {0, "AmountCurrencyCode", "s:USD"}, {0, "DueAmountValue", "-"}}},
        {"a repeated list replaces the first", "Plans", 0,
         R"({"plans": [{"id": "a"}], "plans": [{"id": "b"}, {"id": "c"}]})", 2, 2,
         {{0, "Id", "s:b"}, {1, "Id", "s:c"}}},
        {"a list that is no array", "Plans", 0, R"({"plans": {"id": "a"}})", 0, 0, {}},
        {"escapes, numbers with their own digits", "Plans", 0,
         R"({"plans": [{"id": "a\u00e9\"\/b", "name": 12.50, "status": -0, "type": 1E+2, "description": false}]})",
         1, 1,
         {{0, "Id", "s:a\xc3\xa9\"/b"}, {0, "Name", "r:12.50"}, {0, "Status", "i:-0"}, {0, "Type", "r:1E+2"},
          {0, "Description", "f:false"}}},
        {"objects as sorted text", "Invoices", 0,
         R"({"items": [{"primary_recipients": [{"b": {"y": 1, "x": [2.5, "\u0001"]}, "a": null}],
                        "invoicer": {"phones": []}}]})",
         1, 1,
         {{0, "PrimaryRecipients", "a:[{\"a\": null, \"b\": {\"x\": [2.5, \"\\u0001\"], \"y\": 1}}]"},
          {0, "InvoicerPhones", "a:[]"}}},
        {"an unread member is skipped by its brackets", "Plans", 0, R"({"plans": [{"id": "a", "x": [tru, 01]}]})",
         1, 1, {{0, "Id", "s:a"}}},
        {"a root that is an array", "Plans", 0, R"([{"id": "a"}])", 0, 0, {}},
        {"truncated", "Plans", 0, R"({"plans": [{"id": "a"})", -1, 0, {}},
        {"truncated in an unread member", "Plans", 0, R"({"plans": [{"id": "a"}], "links": [{"rel": )", -1, 0, {}},
        {"text after the root", "Plans", 0, R"({"plans": []} {})", -1, 0, {}},
        {"a scalar root", "Plans", 0, R"("plans")", -1, 0, {}},
        {"a read token that is no JSON", "Plans", 0, R"({"plans": [{"id": tru}]})", -1, 0, {}},
        {"a read number that is no JSON", "Plans", 0, R"({"plans": [{"id": 01}]})", -1, 0, {}},
        {"a read object holding no JSON", "Invoices", 0, R"({"items": [{"items": [{"a": 1,}]}]})", -1, 0, {}},
        {"a read string holding U+0000", "Plans", 0, R"({"plans": [{"id": "a\u0000b"}]})", -1, 0, {}},
        {"a string with a control character", "Plans", 0, "{\"plans\": [{\"x\": \"a\x01\"}]}", -1, 0, {}},
        {"bytes that are no UTF-8", "Plans", 0, "{\"plans\": [{\"x\": \"\xff\"}]}", -1, 0, {}},
        {"more rows than a page holds", "Invoices", 0, many_rows, -1, 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const PaypalTable *t = paypal_find_table(c.table);
        ASSERT_NE(t, nullptr);
        ReplyPage page;
        page.text = c.reply;
        std::string error;
        const bool loaded = reply_page_load(page, t, scan_list_reply(t, c.keyed), error);
        if (c.rows < 0) {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(error.rfind("fails to decode reply", 0), 0u) << error;
            EXPECT_EQ(page.row_count, 0);
            continue;
        }
        ASSERT_TRUE(loaded) << error;
        EXPECT_EQ(page.row_count, c.rows);
        EXPECT_EQ(page.list_count, c.list);
        for (const Expect &e : c.values) {
            const int column = paypal_find_column(t, e.column);
            ASSERT_GE(column, 0) << e.column;
            EXPECT_EQ(shown(reply_page_value(page, e.row, column)), e.value) << e.column << " of row " << e.row;
        }
    }
}

TEST(ReplyPage, PagingMembersOfAListReply) {
    const PaypalTable *t = paypal_find_table("Transactions");
    ReplyPage page;
    page.text = R"({"transaction_details": [], "page": 2, "total_pages": 7.0, "total_items": "9",
                    "next_id": "N\u0031", "links": [{"rel": "self", "href": "s"}, {"href": "h1", "rel": "next"},
                    {"rel": "next", "href": "h2"}]})";
    std::string error;
    ASSERT_TRUE(reply_page_load(page, t, true, error)) << error;
    EXPECT_TRUE(page.has_page);
    EXPECT_EQ(page.page, 2);
    EXPECT_FALSE(page.has_total_pages);  // a real, not an integer
    EXPECT_FALSE(page.has_total_items);
    EXPECT_EQ(page.next_id, "N1");
    EXPECT_EQ(page.next_href, "h1");
}

// Every table's paths compile for the replies a scan of it reads (keyed or
// not, as list or single object): no path needs a value both kept and
// walked into.
TEST(ReplyPage, EveryTablesPathsCompile) {
    for (int i = 0; i < kPaypalTableCount; ++i) {
        const PaypalTable *t = paypal_table_at(i);
        const PathMap &map = paypal_path_map(t);
        for (int keyed = 0; keyed <= 1; ++keyed) {
            const int32_t start = scan_list_reply(t, keyed) ? map.list_root : map.single_root;
            EXPECT_GE(start, 0) << t->name << (keyed ? " keyed" : "");
        }
        EXPECT_EQ(map.child_rows, map.child >= 0) << t->name;
    }
}

}  // namespace
