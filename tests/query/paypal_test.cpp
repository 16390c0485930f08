// The engine over the real PayPal provider and the emulator: the requests
// a query causes (key in the path, filters as parameters, strict and
// fractional bounds made inclusive, the tightest of several bounds), and the
// rows that come back. A scan abandoned after one row made one request.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <string>

#include "odbc/handles.h"
#include "query/exec_api.h"
#include "query/run_text.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"
#include "tests/query/engine_fixture.h"
#include "tests/sqi_scan/scan_harness.h"

namespace {

#define kRange " AND StartTime >= '2024-01-01 00:00:00' AND EndTime <= '2025-01-01 00:00:00'"
#define kEnd " AND EndTime <= '2025-01-01 00:00:00'"

class PaypalQueries : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GT(emulator().port, 0);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &hdbc), SQL_SUCCESS);
        std::string cs = "client_id=emu-client-id;client_secret=emu-client-secret;query_timeout=0;base_url=" +
                         emulator().base_url();
        SQLCHAR out[1024];
        SQLSMALLINT n = 0;
        SQLRETURN r = SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR *>(cs.data()), SQL_NTS, out,
                                       sizeof out, &n, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(r));
        dbc = static_cast<DBC *>(hdbc);
        pool = cv_mem_alloc_handle(dbc->pool);
        diag = dbc->diag;  // providers post on the handle given to the DAL
        connection.dal = dbc->dal;
        connection.dal_handle = dbc;
        connection.odbc_version = 3;
    }
    void TearDown() override {
        cv_mem_release_handle(pool);
        SQLDisconnect(hdbc);
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // Runs `sql`; the values of column 1 as text.
    std::vector<std::string> column1(const std::string &sql, int *code, Value *const *params = nullptr,
                                     int count = 0) {
        SetupErrorHeader(diag, 0);
        QueryRows rows{};
        CvPool *p = cv_mem_alloc_handle(pool);
        *code = query_run_text(&connection, diag, p, sql.c_str(), count, params, 0, &rows);
        std::vector<std::string> out;
        for (int64_t r = 0; r < rows.row_count; r++) out.push_back(print_value(rows.values[r * rows.column_count]));
        cv_mem_release_handle(p);
        return out;
    }
    std::string first_message() { return diag_count(diag) ? diag_message(diag, 1) : ""; }

    SQLHENV env = nullptr;
    SQLHDBC hdbc = nullptr;
    DBC *dbc = nullptr;
    CvPool *pool = nullptr;
    ErrorHeader *diag = nullptr;
    QueryConnection connection{};
};

TEST_F(PaypalQueries, KeyGoesIntoThePath) {
    emulator().clear_log();
    int code = 0;
    auto ids = column1("SELECT Id FROM CreditCards WHERE Id = 'CARD-01W00000000005001'" kRange, &code);
    ASSERT_EQ(code, 0) << first_message();
    ASSERT_EQ(ids.size(), 1u);
    EXPECT_EQ(ids[0], "CARD-01W00000000005001");
    EXPECT_NE(emulator().last_request_line().find("/v1/vault/credit-cards/CARD-01W00000000005001"), std::string::npos)
        << emulator().last_request_line();
}

TEST_F(PaypalQueries, TightestBoundIsSentWhateverTheOrder) {
    const char *orders[] = {
        "SELECT Id FROM CreditCards WHERE StartTime >= '2024-01-10 00:00:00' AND StartTime > '2024-01-02 00:00:00'" kEnd,
        "SELECT Id FROM CreditCards WHERE StartTime > '2024-01-02 00:00:00' AND StartTime >= '2024-01-10 00:00:00'" kEnd,
    };
    std::vector<std::string> first;
    for (const char *sql : orders) {
        emulator().clear_log();
        int code = 0;
        auto ids = column1(sql, &code);
        ASSERT_EQ(code, 0) << sql << ": " << first_message();
        EXPECT_FALSE(ids.empty()) << sql;
        EXPECT_NE(emulator().last_request_line().find("start_time=2024-01-10T00%3A00%3A00Z"), std::string::npos)
            << emulator().last_request_line();
        if (first.empty()) first = ids;
        else EXPECT_EQ(ids, first);
    }
}

TEST_F(PaypalQueries, FractionalBoundsRoundOutward) {
    emulator().clear_log();
    int code = 0;
    Value *low = new_value_of_type(pool, VT_TIMESTAMP), *high = new_value_of_type(pool, VT_TIMESTAMP);
    low->data.ts = TIMESTAMP_STRUCT{2024, 1, 2, 0, 0, 0, 500000000};
    high->data.ts = TIMESTAMP_STRUCT{2024, 12, 31, 10, 0, 0, 250000000};
    Value *params[] = {low, high};
    auto ids = column1("SELECT Id FROM CreditCards WHERE StartTime > ? AND EndTime < ?", &code, params, 2);
    ASSERT_EQ(code, 0) << first_message();
    std::string line = emulator().last_request_line();
    EXPECT_NE(line.find("start_time=2024-01-02T00%3A00%3A01Z"), std::string::npos) << line;
    EXPECT_NE(line.find("end_time=2024-12-31T10%3A00%3A00Z"), std::string::npos) << line;
    EXPECT_FALSE(ids.empty()) << "the echoed bounds satisfy the query's own conditions";
}

TEST_F(PaypalQueries, ContradictoryEqualitiesAskNothing) {
    emulator().clear_log();
    int code = 0;
    auto ids = column1("SELECT Id FROM CreditCards WHERE MerchantId = 'merchant-0' AND MerchantId = 'merchant-1'" kRange,
                       &code);
    ASSERT_EQ(code, 0) << first_message();
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(emulator().request_count(), 0u);
}

TEST_F(PaypalQueries, UnrestrictedFilterColumnReadsTheReply) {
    int code = 0;
    auto merchants = column1("SELECT MerchantId FROM CreditCards WHERE 1 = 1" kRange, &code);
    ASSERT_EQ(code, 0) << first_message();
    ASSERT_FALSE(merchants.empty());
    for (const std::string &m : merchants) EXPECT_EQ(m.rfind("merchant-", 0), 0u) << m;
    auto filtered = column1("SELECT MerchantId FROM CreditCards WHERE MerchantId = 'merchant-1'" kRange, &code);
    ASSERT_EQ(code, 0) << first_message();
    ASSERT_FALSE(filtered.empty());
    for (const std::string &m : filtered) EXPECT_EQ(m, "merchant-1");
}

TEST_F(PaypalQueries, OneRowNeededOneRequest) {
    QueryStatement *st = query_statement_create(pool, diag, &connection);
    ASSERT_EQ(query_prepare(st, "SELECT Id, Number, Number FROM CreditCards WHERE 1 = 1" kRange, SQL_NTS), 0) << first_message();
    emulator().clear_log();
    ASSERT_EQ(query_execute(st, 0, nullptr), 0) << first_message();
    ASSERT_EQ(query_fetch(st), 0) << first_message();
    Value *a = query_column_value(st, 2), *b = query_column_value(st, 3);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(print_value(a), print_value(b)) << "a column read twice gives its value both times";
    EXPECT_FALSE(print_value(a).empty());
    query_close_cursor(st);
    EXPECT_EQ(emulator().request_count(), 1u);
    query_statement_free(st);
}

TEST_F(PaypalQueries, JoinedInnerScanIsKeyedByTheOuterRow) {
    emulator().clear_log();
    int code = 0;
    auto ids = column1("SELECT d.Id FROM CreditCards c, CreditCards d WHERE d.Id = c.Id AND c.MerchantId = 'merchant-1'"
                       " AND c.StartTime >= '2024-01-01 00:00:00' AND c.EndTime <= '2025-01-01 00:00:00'"
                       " AND d.StartTime >= '2024-01-01 00:00:00' AND d.EndTime <= '2025-01-01 00:00:00'",
                       &code);
    ASSERT_EQ(code, 0) << first_message();
    ASSERT_FALSE(ids.empty());
    size_t keyed = 0;
    for (json_t *j : emulator().requests()) {
        const char *path = json_string_value(json_object_get(j, "path"));
        if (path && std::string(path).rfind("/v1/vault/credit-cards/CARD-", 0) == 0) keyed++;
        json_decref(j);
    }
    EXPECT_EQ(keyed, ids.size()) << "one keyed GET per outer row";
}

// The request lines of the log whose path begins with `prefix`.
std::vector<std::string> requests_to(const char *prefix) {
    std::vector<std::string> out;
    for (json_t *j : emulator().requests()) {
        const char *path = json_string_value(json_object_get(j, "path"));
        const char *query = json_string_value(json_object_get(j, "query"));
        if (path && std::string(path).rfind(prefix, 0) == 0)
            out.push_back(std::string(path) + "?" + (query ? query : ""));
        json_decref(j);
    }
    return out;
}

TEST_F(PaypalQueries, OnConditionsOnOneTableBecomeItsParameters) {
    emulator().clear_log();
    int code = 0;
    auto ids = column1("SELECT d.DisputeId FROM Webhooks w JOIN Disputes d ON d.StartTime >= '2020-01-01 00:00:00' "
                       "AND d.DisputeState = 'RESOLVED' AND w.Url <> d.DisputeId",
                       &code);
    ASSERT_EQ(code, 0) << first_message();
    ASSERT_FALSE(ids.empty());
    auto disputes = requests_to("/v1/customer/disputes");
    ASSERT_EQ(disputes.size(), 1u) << "the inner side is read once";
    EXPECT_NE(disputes[0].find("dispute_state=RESOLVED"), std::string::npos) << disputes[0];
    EXPECT_NE(disputes[0].find("start_time=2020-01-01T00%3A00%3A00Z"), std::string::npos) << disputes[0];

    // A LEFT join offers only its NULL-extended side's conditions.
    emulator().clear_log();
    ids = column1("SELECT w.Id FROM Webhooks w LEFT JOIN Disputes d ON d.StartTime >= '2020-01-01 00:00:00' "
                  "AND d.DisputeState = 'RESOLVED' AND w.Id = '0EH40505U7160970Q'",
                  &code);
    ASSERT_EQ(code, 0) << first_message();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "0EH40505U7160970P"), 1) << "unmatched webhooks come once";
    auto hooks = requests_to("/v1/notifications/webhooks");
    ASSERT_EQ(hooks.size(), 1u);
    EXPECT_EQ(hooks[0].find("/v1/notifications/webhooks?"), 0u) << "no key from the preserved side: " << hooks[0];
    disputes = requests_to("/v1/customer/disputes");
    ASSERT_FALSE(disputes.empty());
    EXPECT_NE(disputes[0].find("dispute_state=RESOLVED"), std::string::npos) << disputes[0];
}

TEST_F(PaypalQueries, AScalarSubqueryGivesTheKey) {
    int code = 0;
    auto first = column1("SELECT MIN(Id) FROM Webhooks", &code);
    ASSERT_EQ(code, 0) << first_message();
    ASSERT_EQ(first.size(), 1u);
    emulator().clear_log();
    auto ids = column1("SELECT Id FROM Webhooks WHERE Id = (SELECT MIN(Id) FROM Webhooks)", &code);
    ASSERT_EQ(code, 0) << first_message();
    EXPECT_EQ(ids, first);
    auto hooks = requests_to("/v1/notifications/webhooks");
    ASSERT_EQ(hooks.size(), 2u);
    EXPECT_EQ(hooks[1].find("/v1/notifications/webhooks/" + first[0]), 0u) << hooks[1];
}

TEST_F(PaypalQueries, MissingMandatoryFilterIsTheProvidersError) {
    int code = 0;
    (void)column1("SELECT Id FROM PaymentTransactions", &code);
    EXPECT_EQ(code, -1);
    EXPECT_NE(first_message().find("must be specified"), std::string::npos) << first_message();
}

}  // namespace

// LONG VARCHAR columns are ordinary values: DISTINCT, UNION and GROUP BY
// keep every memo (they once kept one row), || joins whole memos.
TEST_F(PaypalQueries, LongColumnsKeepEveryValue) {
    int code = 0;
    const std::vector<std::string> memos = column1("SELECT DetailMemo FROM Invoices", &code);
    ASSERT_EQ(code, 0) << first_message();
    std::vector<std::string> distinct = memos;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    ASSERT_GT(distinct.size(), 2u) << "the emulator's invoices carry several memos";
    for (const char *q : {"SELECT DISTINCT DetailMemo FROM Invoices",
                          "SELECT DetailMemo FROM Invoices UNION SELECT DetailMemo FROM Invoices",
                          "SELECT DetailMemo FROM Invoices GROUP BY DetailMemo"}) {
        std::vector<std::string> got = column1(q, &code);
        ASSERT_EQ(code, 0) << q << ": " << first_message();
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, distinct) << q;
    }
    std::vector<std::string> joined = column1("SELECT DetailMemo || '!' FROM Invoices", &code);
    ASSERT_EQ(code, 0) << first_message();
    ASSERT_EQ(joined.size(), memos.size());
    for (size_t i = 0; i < memos.size(); i++) EXPECT_EQ(joined[i], memos[i] == "NULL" ? "NULL" : memos[i] + "!");
}
