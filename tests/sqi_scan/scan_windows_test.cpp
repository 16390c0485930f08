// The transaction search: date ranges read as windows of at most 31 days,
// each paged (request log), transactions on window edges, strict and
// inclusive bounds, every pushed filter, the history limit; the child table
// of cart items and the products table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <set>

#include "scan_harness.h"
#include "sqi/amount_range.h"
#include "sqi/windows.h"

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kWindow = 31 * kDay;
const char *kSearch = "/v1/reporting/transactions";

int hex_digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The decoded parameters of a logged query.
std::map<std::string, std::string> params_of(const std::string &query) {
    std::map<std::string, std::string> out;
    size_t pos = 0;
    while (pos <= query.size()) {
        size_t amp = query.find('&', pos);
        std::string pair = query.substr(pos, amp == std::string::npos ? std::string::npos : amp - pos);
        size_t eq = pair.find('=');
        std::string value;
        for (size_t i = eq == std::string::npos ? pair.size() : eq + 1; i < pair.size(); ++i) {
            if (pair[i] == '%' && i + 2 < pair.size() + 0 && hex_digit(pair[i + 1]) >= 0 && hex_digit(pair[i + 2]) >= 0) {
                value += static_cast<char>(hex_digit(pair[i + 1]) * 16 + hex_digit(pair[i + 2]));
                i += 2;
            } else {
                value += pair[i] == '+' ? ' ' : pair[i];
            }
        }
        if (!pair.empty()) out[pair.substr(0, eq)] = value;
        if (amp == std::string::npos) break;
        pos = amp + 1;
    }
    return out;
}

// The parameters of every logged request under `path`, oldest first.
std::vector<std::map<std::string, std::string>> searches(const char *path = kSearch) {
    std::vector<std::map<std::string, std::string>> out;
    for (json_t *j : emulator().requests()) {
        if (std::string(json_string_value(json_object_get(j, "path"))) == path)
            out.push_back(params_of(json_string_value(json_object_get(j, "query"))));
        json_decref(j);
    }
    return out;
}

// One transaction of the emulator's data.
struct Generated {
    int64_t time;
    std::string id;
    int items;  // cart items
};

// The emulator's transactions from `start` to `end` (inclusive), oldest
// first: what a scan of that range must return.
std::vector<Generated> generated(int64_t start, int64_t end) {
    std::string cmd = "python3 -c 'import sys,urllib.request;sys.stdout.write(urllib.request.urlopen(sys.argv[1])"
                      ".read().decode())' '" + emulator().base_url() + "/_emulator/transactions?start=" +
                      std::to_string(start) + "&end=" + std::to_string(end) + "'";
    std::string text;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
        pclose(p);
    }
    std::vector<Generated> out;
    json_t *root = json_loadb(text.data(), text.size(), 0, nullptr);
    size_t i;
    json_t *t;
    json_array_foreach(json_object_get(root, "transactions"), i, t) {
        out.push_back({json_integer_value(json_array_get(t, 0)), json_string_value(json_array_get(t, 1)),
                       static_cast<int>(json_integer_value(json_array_get(t, 5)))});
    }
    json_decref(root);
    return out;
}

// Midnight (UTC) `days` days ago: inside the emulator's two years of data.
int64_t days_ago(int days) { return static_cast<int64_t>(time(nullptr)) / kDay * kDay - days * kDay; }

std::vector<Cond> range(int64_t start, int64_t end, int lower_op = RESTRICT_GE, int upper_op = RESTRICT_LE) {
    return {{"StartTime", lower_op, cond_time(start), true}, {"EndTime", upper_op, cond_time(end), true}};
}

class TransactionScan : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(emulator().port, 0);
        posted_messages().clear();
        ASSERT_TRUE(s.connect("query_timeout=0;parallel_requests=1"));
        emulator().clear_log();
    }
    // Transaction ids of a scan, in the order read; fails the test on error.
    std::vector<std::string> ids(const char *table, const std::vector<Cond> &conds) {
        std::vector<std::string> out;
        EXPECT_EQ(s.start(table, conds), DAL_OK) << (posted_messages().empty() ? "" : posted_messages().back());
        int rc;
        while ((rc = s.next()) == DAL_OK) out.push_back(s.text("TransactionId"));
        EXPECT_EQ(rc, DAL_NO_DATA);
        return out;
    }
    ScanEnv s;
};

TEST_F(TransactionScan, OneYearIsReadWindowByWindowEachPaged) {
    const int64_t start = days_ago(400), end = start + 365 * kDay - 1;
    std::vector<std::string> got = ids("Transactions", range(start, end));

    // Twelve windows of 31 days (the last one shorter), in order, each read
    // from page 1 to its last page with 500 rows a page.
    auto log = searches();
    std::vector<std::pair<std::string, std::string>> windows;
    int paged_windows = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        auto &p = log[i];
        EXPECT_EQ(p["page_size"], "500");
        EXPECT_EQ(p["fields"], "all");
        std::pair<std::string, std::string> w{p["start_date"], p["end_date"]};
        if (windows.empty() || windows.back() != w) {
            EXPECT_EQ(p["page"], "1") << "a window starts at its first page";
            windows.push_back(w);
        } else {
            EXPECT_EQ(p["page"], std::to_string(std::stoi(log[i - 1]["page"]) + 1));
            if (p["page"] == "2") ++paged_windows;
        }
    }
    std::vector<std::pair<std::string, std::string>> want;
    for (int64_t w = start; w <= end; w += kWindow)
        want.emplace_back(windows_time_text(w), windows_time_text(std::min(w + kWindow - 1, end)));
    EXPECT_EQ(windows, want);
    EXPECT_EQ(want.size(), 12u);
    EXPECT_GE(paged_windows, 1) << "the busy months need a second page";

    // Every transaction once, in window (and time) order.
    std::vector<std::string> expected;
    for (auto &t : generated(start, end)) expected.push_back(t.id);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_TRUE(posted_messages().empty());
}

TEST_F(TransactionScan, TransactionOnAWindowEdgeIsReadOnce) {
    // A transaction in the middle of the data; ranges put it on the first
    // second of the second window and on the last second of the first.
    auto pool = generated(days_ago(200), days_ago(190));
    ASSERT_FALSE(pool.empty());
    const int64_t t = pool[pool.size() / 2].time;
    const std::string id = pool[pool.size() / 2].id;
    for (int64_t start : {t - kWindow, t - kWindow + 1}) {
        SCOPED_TRACE(windows_time_text(start));
        emulator().clear_log();
        const int64_t end = start + 45 * kDay;
        std::vector<std::string> got = ids("Transactions", range(start, end));
        EXPECT_EQ(std::count(got.begin(), got.end(), id), 1);
        std::vector<std::string> expected;
        for (auto &g : generated(start, end)) expected.push_back(g.id);
        EXPECT_TRUE(got == expected) << got.size() << " rows, " << expected.size() << " generated";
        auto log = searches();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log.front()["end_date"], windows_time_text(start + kWindow - 1));
        EXPECT_EQ(log.back()["start_date"], windows_time_text(start + kWindow));
    }
}

TEST_F(TransactionScan, StrictAndInclusiveBounds) {
    auto pool = generated(days_ago(100), days_ago(99));
    ASSERT_FALSE(pool.empty());
    const int64_t t = pool.front().time;
    const std::string id = pool.front().id;
    struct Case {
        const char *name;
        int64_t start, end;
        int lower_op, upper_op;
        std::string sent_start, sent_end;
        bool has_transaction;
    } cases[] = {
        {">= t", t, t + kDay, RESTRICT_GE, RESTRICT_LE, windows_time_text(t), windows_time_text(t + kDay), true},
        {"> t", t, t + kDay, RESTRICT_GT, RESTRICT_LE, windows_time_text(t + 1), windows_time_text(t + kDay), false},
        {"= t", t, t + kDay, RESTRICT_EQ, RESTRICT_LE, windows_time_text(t), windows_time_text(t + kDay), true},
        {"<= t", t - kDay, t, RESTRICT_GE, RESTRICT_LE, windows_time_text(t - kDay), windows_time_text(t), true},
        {"< t", t - kDay, t, RESTRICT_GE, RESTRICT_LT, windows_time_text(t - kDay), windows_time_text(t - 1), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        emulator().clear_log();
        std::vector<std::string> got = ids("Transactions", range(c.start, c.end, c.lower_op, c.upper_op));
        EXPECT_EQ(std::count(got.begin(), got.end(), id), c.has_transaction ? 1 : 0);
        auto log = searches();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.front()["start_date"], c.sent_start);
        EXPECT_EQ(log.front()["end_date"], c.sent_end);
    }
}

TEST_F(TransactionScan, EachFilterIsSentAsItsParameter) {
    const int64_t start = days_ago(60), end = start + 10 * kDay;
    auto pool = generated(start, end);
    ASSERT_FALSE(pool.empty());
    const std::string some_id = pool[pool.size() / 3].id;
    struct Case {
        std::vector<Cond> conds;
        const char *parameter;
        std::string value;
        const char *column;  // every row read has this value ...
        std::string want;    // ... (empty: not checked)
    } cases[] = {
        {{{"TransactionId", RESTRICT_EQ, some_id}}, "transaction_id", some_id, "TransactionId", some_id},
        {{{"TransactionEventCode", RESTRICT_EQ, "T0006"}}, "transaction_type", "T0006", "TransactionEventCode", "T0006"},
        {{{"TransactionStatus", RESTRICT_EQ, "P"}}, "transaction_status", "P", "TransactionStatus", "P"},
        {{{"TransactionAmountCurrencyCode", RESTRICT_EQ, "EUR"}}, "transaction_currency", "EUR",
         "TransactionAmountCurrencyCode", "EUR"},
        // Amounts go in minor units; without a currency the range holds
        // amounts of 0 and of 2 decimal places.
        {{{"TransactionAmountValue", RESTRICT_GE, "5"}, {"TransactionAmountValue", RESTRICT_LE, "10.05"}},
         "transaction_amount", "5 TO 1005", nullptr, ""},
        {{{"TransactionAmountValue", RESTRICT_GT, "100"},
          {"TransactionAmountValue", RESTRICT_LT, "250.5"},
          {"TransactionAmountValue", RESTRICT_GE, "120"},
          {"TransactionAmountCurrencyCode", RESTRICT_EQ, "USD"}},
         "transaction_amount", "12000 TO 25050", "TransactionAmountCurrencyCode", "USD"},
        {{{"TransactionAmountValue", RESTRICT_EQ, "1500"}, {"TransactionAmountCurrencyCode", RESTRICT_EQ, "JPY"}},
         "transaction_amount", "1500 TO 1500", nullptr, ""},
        // One side only: nothing is sent (the engine checks the rows).
        {{{"TransactionAmountValue", RESTRICT_GE, "5"}}, "transaction_amount", "<none>", nullptr, ""},
        // Every record unless asked for the balance-affecting ones; the
        // column reads back what was sent. Authorizations (T1300) are
        // among every record.
        {{}, "balance_affecting_records_only", "N", "BalanceAffectingOnly", "N"},
        {{{"BalanceAffectingOnly", RESTRICT_EQ, "Y"}}, "balance_affecting_records_only", "Y", "BalanceAffectingOnly",
         "Y"},
        {{{"TransactionEventCode", RESTRICT_EQ, "T1300"}}, "balance_affecting_records_only", "N",
         "TransactionEventCode", "T1300"},
        {{{"TransactionEventCode", RESTRICT_EQ, "T1300"}, {"BalanceAffectingOnly", RESTRICT_EQ, "Y"}},
         "transaction_type", "T1300", nullptr, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.parameter + (" = " + c.value));
        emulator().clear_log();
        std::vector<Cond> conds = range(start, end);
        conds.insert(conds.end(), c.conds.begin(), c.conds.end());
        ASSERT_EQ(s.start("Transactions", conds), DAL_OK);
        int rows = 0;
        while (s.next() == DAL_OK) {
            ++rows;
            if (c.column) {
                EXPECT_EQ(s.text(c.column), c.want);
            }
        }
        auto log = searches();
        ASSERT_FALSE(log.empty());
        auto &p = log.front();
        EXPECT_EQ(p.count(c.parameter) ? p[c.parameter] : "<none>", c.value);
        if (c.column) {
            EXPECT_GT(rows, 0);
        }
    }
    // An authorization is no balance-affecting record.
    ASSERT_EQ(s.start("Transactions", [&] {
        std::vector<Cond> conds = range(start, end);
        conds.push_back({"TransactionEventCode", RESTRICT_EQ, "T1300"});
        conds.push_back({"BalanceAffectingOnly", RESTRICT_EQ, "Y"});
        return conds;
    }()), DAL_OK);
    EXPECT_EQ(s.count_rows(), 0);
}

TEST_F(TransactionScan, BalanceAffectingOnlyTakesYOrN) {
    for (const char *value : {"y", "YES", ""}) {
        SCOPED_TRACE(value);
        posted_messages().clear();
        emulator().clear_log();
        std::vector<Cond> conds = range(days_ago(20), days_ago(10));
        conds.push_back({"BalanceAffectingOnly", RESTRICT_EQ, value});
        EXPECT_EQ(s.start("TransactionItems", conds), DAL_ERROR);
        EXPECT_EQ(posted_messages(),
                  std::vector<std::string>{"BalanceAffectingOnly takes 'N' or 'Y', not '" + std::string(value) + "'"});
        EXPECT_TRUE(searches().empty()) << "nothing is asked";
    }
}

TEST_F(TransactionScan, RangesOutsideTheHistoryOrEmptyAreNotSent) {
    const int64_t now = static_cast<int64_t>(time(nullptr));
    const int64_t old = now - (3 * 365 + 2) * kDay;
    EXPECT_EQ(s.start("Transactions", range(old, old + 10 * kDay)), DAL_ERROR);
    ASSERT_EQ(posted_messages().size(), 1u);
    const std::string &m = posted_messages()[0];
    EXPECT_EQ(m.rfind("StartTime " + windows_time_text(old) + " is earlier than the 3 years of history Transactions "
                      "keeps: the earliest is ", 0), 0u) << m;

    posted_messages().clear();
    EXPECT_EQ(s.start("TransactionItems", {{"StartTime", RESTRICT_GE, cond_time(days_ago(5)), true}}), DAL_ERROR);
    EXPECT_EQ(posted_messages(), std::vector<std::string>{"Field 'EndTime' must be specified in query"});

    // An empty range asks for nothing and reads no row.
    posted_messages().clear();
    ASSERT_EQ(s.start("Transactions", range(days_ago(5), days_ago(6))), DAL_OK);
    EXPECT_EQ(s.next(), DAL_NO_DATA);
    EXPECT_TRUE(posted_messages().empty());
    EXPECT_TRUE(searches().empty());

    // A range into the future is read up to tomorrow: no empty windows
    // after, and the rows are those of the last three days.
    emulator().clear_log();
    std::vector<std::string> expected;
    for (auto &t : generated(days_ago(3), days_ago(-3650))) expected.push_back(t.id);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(ids("Transactions", range(days_ago(3), days_ago(-3650))), expected);
    EXPECT_EQ(searches().size(), 1u);
}

TEST_F(TransactionScan, DateOnlyBoundsAreEchoedAsTimestamps) {
    const int64_t start = days_ago(30), end = days_ago(28);
    const std::string from = windows_time_text(start).substr(0, 10), to = windows_time_text(end).substr(0, 10);
    ASSERT_EQ(s.start("Transactions", {{"StartTime", RESTRICT_GE, from}, {"EndTime", RESTRICT_LE, to}}), DAL_OK);
    ASSERT_EQ(s.next(), DAL_OK);
    EXPECT_EQ(s.text("StartTime"), windows_time_text(start));
    EXPECT_EQ(s.text("EndTime"), windows_time_text(end));
    TIMESTAMP_STRUCT ts{};
    SQLLEN len = 0;
    ASSERT_EQ(SQIGetData(s.it, s.column_number("EndTime"), SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &len), DAL_OK);
    EXPECT_EQ(len, 16);
    auto log = searches();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0]["start_date"], windows_time_text(start));
    EXPECT_EQ(log[0]["end_date"], windows_time_text(end));
}

TEST_F(TransactionScan, CartItemsCarryTheirTransaction) {
    const int64_t start = days_ago(90), end = start + 40 * kDay;
    std::set<std::string> parents;
    for (const std::string &id : ids("Transactions", range(start, end))) parents.insert(id);
    ASSERT_EQ(s.start("TransactionItems", range(start, end)), DAL_OK);
    std::map<std::string, int> items;
    int rows = 0;
    while (s.next() == DAL_OK) {
        ++rows;
        std::string id = s.text("TransactionId");
        EXPECT_TRUE(parents.count(id)) << id;
        ++items[id];
        // The emulator prices every item as quantity times unit price.
        double quantity = std::stod(s.text("ItemQuantity")), unit = std::stod(s.text("ItemUnitPriceValue"));
        EXPECT_NEAR(std::stod(s.text("ItemAmountValue")), quantity * unit, 0.001) << id;
        EXPECT_EQ(s.text("ItemCode").rfind("SKU-", 0), 0u);
        EXPECT_EQ(s.text("StartTime"), windows_time_text(start));
    }
    EXPECT_GT(rows, 0);
    int several = 0;
    for (auto &[id, n] : items) several += n > 1;
    EXPECT_GT(several, 0) << "some transactions have several items";
    // Each transaction gives one row per cart item, and none without a cart.
    std::map<std::string, int> want;
    for (const Generated &g : generated(start, end))
        if (g.items > 0) want[g.id] = g.items;
    EXPECT_TRUE(items == want) << items.size() << " transactions with items, " << want.size() << " generated";
    // Both tables read the same replies: two windows each.
    EXPECT_EQ(searches().size(), 4u);
}

TEST_F(TransactionScan, ProductsListPagesAndKeyedReadsGiveEveryMember) {
    ASSERT_EQ(s.start("Products"), DAL_OK);
    ASSERT_EQ(s.next(), DAL_OK);
    const std::string id = s.text("Id");
    EXPECT_EQ(s.text("Name"), "Product 0");
    EXPECT_EQ(s.text("Type"), "<NULL>") << "a list element carries no type";
    EXPECT_EQ(s.count_rows(), 24);
    auto log = searches("/v1/catalogs/products");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1]["page"], "2");
    EXPECT_EQ(log[1]["page_size"], "20");
    EXPECT_EQ(log[1].count("fields"), 0u);

    ASSERT_EQ(s.start("Products", {{"Id", RESTRICT_EQ, id}}), DAL_OK);
    ASSERT_EQ(s.next(), DAL_OK);
    EXPECT_EQ(s.text("Type"), "PHYSICAL");
    EXPECT_EQ(s.text("Category"), "CLOTHING");
    EXPECT_EQ(s.text("HomeUrl"), "https://example.com/products/0");
    EXPECT_EQ(s.next(), DAL_NO_DATA);
    EXPECT_EQ(emulator().last_request_line(), "GET /v1/catalogs/products/" + id + "?page=1&page_size=20&total_required=true");

    ASSERT_EQ(s.start("Products", {{"Id", RESTRICT_EQ, "PROD-NONE"}}), DAL_OK);
    EXPECT_EQ(s.next(), DAL_NO_DATA);
}

TEST(AmountRange, MinorUnitsRoundOutwards) {
    struct {
        const char *low, *high;
        int decimals;
        const char *want;  // nullptr: refused
    } cases[] = {
        {"5", "10.05", 2, "500 TO 1005"},
        {"5.001", "10.051", 2, "500 TO 1006"},
        {"-10.5", "-0.25", 2, "-1050 TO -25"},
        {"-10.5", "7", -1, "-1050 TO 700"},
        {"5", "10.05", -1, "5 TO 1005"},
        {"1500", "1500.4", 0, "1500 TO 1501"},
        {"0.0000001", "0.0000001", 2, "0 TO 1"},
        {" 7.10 ", "+8", 2, "710 TO 800"},
        {"000000000000000012", "13", 2, "1200 TO 1300"},
        {"1234567890123", "1", 2, nullptr},  // too large
        {"abc", "1", 2, nullptr},
        {"1.2.3", "4", 2, nullptr},
        {".", "4", 2, nullptr},
        {"", "4", 2, nullptr},
        {"NULL", "4", 2, nullptr},
    };
    for (const auto &c : cases) {
        std::string out;
        bool ok = amount_range_text(c.low, c.high, c.decimals, out);
        EXPECT_EQ(ok, c.want != nullptr) << c.low << " " << c.high;
        if (ok && c.want) {
            EXPECT_EQ(out, c.want) << c.low << " " << c.high;
        }
    }
}

TEST(WindowTimes, TextsAndUnixTimes) {
    struct {
        const char *text;
        int64_t seconds;  // -1: refused
    } cases[] = {
        {"1970-01-01T00:00:00Z", 0},          {"2024-02-29T23:59:59Z", 1709251199},
        {"2024-03-01 00:00:00", 1709251200},  {"2024-03-01", 1709251200},
        {"2024-02-30T00:00:00Z", -1},         {"2024-03-01T24:00:00Z", -1},
        {"2024-03-01T00:00:00+01:00", -1},    {"yesterday", -1},
        {"2024-03-01T00:00:00ZZ", -1},
    };
    for (const auto &c : cases) {
        int64_t got = -1;
        bool ok = windows_parse_time(c.text, &got);
        EXPECT_EQ(ok, c.seconds >= 0) << c.text;
        if (ok) {
            EXPECT_EQ(got, c.seconds) << c.text;
            std::string round_trip = windows_time_text(got);
            int64_t again = -1;
            EXPECT_TRUE(windows_parse_time(round_trip, &again));
            EXPECT_EQ(again, got);
        }
    }
}

}  // namespace
