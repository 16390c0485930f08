// The statement layer's calls one by one: batches, row limits, the start
// instant, cursor states and descriptions.
#include <ctime>

#include "odbc/handles.h"
#include "query/exec_api.h"
#include "support/diag.h"
#include "tests/query/engine_fixture.h"

namespace {

class ExecApi : public StatementFixture {
protected:
    ExecApi() : StatementFixture(true) {}
};

TEST_F(ExecApi, BatchesRunOneStatementAtATime) {
    ASSERT_EQ(query_prepare(st, "SELECT 1; SELECT 'two', 2", SQL_NTS), 0);
    EXPECT_EQ(query_statement_kind(st), QueryStatementKind::kQuery);
    EXPECT_EQ(query_function_code(st), SQL_DIAG_SELECT_CURSOR);
    EXPECT_EQ(query_result_column_count(st), 1);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    EXPECT_EQ(query_cursor_open(st), 1);
    EXPECT_EQ(rows(), std::vector<std::string>{"1"});
    EXPECT_EQ(query_fetch(st), 100);
    ASSERT_EQ(query_more_results(st), 0);
    EXPECT_EQ(query_cursor_open(st), 0);
    EXPECT_EQ(query_result_column_count(st), 2);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    EXPECT_EQ(rows(), std::vector<std::string>{"two"});
    EXPECT_EQ(query_more_results(st), 100);
}

TEST_F(ExecApi, RowLimitsAndCursorState) {
    QueryOptions o{};
    o.max_rows = 3;
    query_set_options(st, &o);
    ASSERT_EQ(query_prepare(st, "SELECT id FROM t1", SQL_NTS), 0);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    EXPECT_EQ(rows().size(), 3u);
    EXPECT_EQ(query_row_count(st), -1);
    query_close_cursor(st);
    EXPECT_EQ(query_column_value(st, 1), nullptr);
    EXPECT_EQ(query_fetch(st), -1);
    EXPECT_EQ(std::string(diag_sqlstate(diag, diag_count(diag))), "24000");
    o.max_rows = 0;
    query_set_options(st, &o);
    ASSERT_EQ(query_prepare(st, "SELECT TOP 2 id FROM t1", SQL_NTS), 0);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    EXPECT_EQ(rows().size(), 2u);
    // Executing again while a cursor is open starts over.
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    ASSERT_EQ(query_fetch(st), 0);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    EXPECT_EQ(rows().size(), 2u);
}

TEST_F(ExecApi, QueryTimeOut) {
    provider.tables.push_back(memprov::generate("W", 400, 6, false));
    QueryOptions o{};
    o.query_timeout = 1;
    query_set_options(st, &o);
    ASSERT_EQ(query_prepare(st, "SELECT x.id FROM w x, w y, w z WHERE x.id + y.id + z.id < 0", SQL_NTS), 0);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    time_t started = time(nullptr);
    EXPECT_EQ(query_fetch(st), -1);
    EXPECT_EQ(std::string(diag_sqlstate(diag, diag_count(diag))), "HYT00");
    EXPECT_LE(time(nullptr) - started, 5);
}

TEST_F(ExecApi, IteratorsGoWithTheStatementsMemory) {
    ASSERT_EQ(query_prepare(st, "SELECT x.id FROM t1 x, t1 y WHERE EXISTS (SELECT 1 FROM t1 z WHERE z.a = x.a)",
                            SQL_NTS), 0);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    ASSERT_EQ(query_fetch(st), 0);
    EXPECT_EQ(provider.open_iterators, 3);
    query_statement_free(st);  // no close first: the pools take the iterators with them
    st = nullptr;
    EXPECT_EQ(provider.open_iterators, 0);
}

TEST_F(ExecApi, StartInstantIsTheBatchsOwn) {
    TIMESTAMP_STRUCT given{2020, 2, 29, 12, 30, 15, 0};
    query_set_start_instant(st, &given);
    ASSERT_EQ(query_prepare(st, "SELECT CURRENT_TIMESTAMP", SQL_NTS), 0);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    EXPECT_EQ(rows(), std::vector<std::string>{"2020-02-29 12:30:15"});
    TIMESTAMP_STRUCT got{};
    query_start_instant(st, &got);
    EXPECT_EQ(got.year, 2020);
    EXPECT_EQ(got.second, 15);
}

TEST_F(ExecApi, FailedPrepareLeavesNothingPrepared) {
    ASSERT_EQ(query_prepare(st, "SELECT id FROM t1", SQL_NTS), 0);
    EXPECT_EQ(query_prepare(st, "SELECT nosuch FROM t1", SQL_NTS), -1);
    EXPECT_EQ(query_statement_kind(st), QueryStatementKind::kNone);
    EXPECT_EQ(query_execute(st, 0, nullptr), -1);
    EXPECT_EQ(query_prepare(st, "INSERT INTO t1 (id) VALUES (1)", SQL_NTS), 0);
    EXPECT_EQ(query_statement_kind(st), QueryStatementKind::kRowChange);
    // The memory provider takes no row changes: the failure says so.
    int before = diag_count(diag);
    EXPECT_EQ(query_execute(st, 0, nullptr), -1);
    EXPECT_GT(diag_count(diag), before);
}

}  // namespace

namespace {

// Dates, times and timestamps are described with the codes of the
// application's ODBC version: 9/10/11 for ODBC 2, 91/92/93 for ODBC 3.
TEST_F(EngineFixture, DatetimeCodesFollowTheOdbcVersion) {
    memprov::Table t{"D", {{"ID", memprov::Type::kInteger}, {"DAY", memprov::Type::kDate}}, {}, 0, 0, {}};
    t.add_row({memprov::Cell::of(1), memprov::Cell::text("2024-02-29")});
    provider.tables.push_back(t);
    const char *sql =
        "SELECT day, {d '2001-01-02'}, {t '10:11:12'}, CAST(day AS TIMESTAMP), {fn CURDATE()}, id FROM d "
        "WHERE day = ?";
    for (int version : {2, 3}) {
        QueryConnection c{};
        c.dal = dbc->dal;
        c.dal_handle = dbc;
        c.odbc_version = version;
        QueryStatement *st = query_statement_create(pool, diag, &c);
        ASSERT_NE(st, nullptr);
        ASSERT_EQ(query_prepare(st, sql, SQL_NTS), 0);
        const int base = version == 2 ? 8 : 90;
        const int expected[] = {base + 1, base + 1, base + 2, base + 3, base + 1, SQL_INTEGER};
        for (int i = 0; i < 6; i++) {
            const QueryColumn *col = nullptr;
            ASSERT_EQ(query_describe_column(st, i + 1, &col), 0);
            EXPECT_EQ(col->type.sql_type, expected[i]) << "version " << version << ", column " << i + 1;
        }
        const QueryParameter *param = nullptr;
        ASSERT_EQ(query_describe_parameter(st, 1, &param), 0);
        EXPECT_EQ(param->type.sql_type, base + 1) << "version " << version;
        query_statement_free(st);
    }
}

}  // namespace

namespace {

// A row the provider read with information comes with it (1), only that row.
TEST_F(ExecApi, ARowReadWithInformationIsFetchedWithIt) {
    provider.info_id = 3;
    for (const char *sql : {"SELECT id FROM t1 WHERE id <= 4", "SELECT id, (SELECT 1 FROM t1 x WHERE x.id = t1.id + 1) "
                                                                  "FROM t1 WHERE id <= 3"}) {
        ASSERT_EQ(query_prepare(st, sql, SQL_NTS), 0) << sql;
        ASSERT_EQ(query_execute(st, 0, nullptr), 0) << sql;
        std::vector<int> codes;
        for (int rc; (rc = query_fetch(st)) != 100 && rc >= 0;) codes.push_back(rc);
        query_close_cursor(st);
        const std::vector<int> expected = std::string(sql).find("x.id") == std::string::npos
                                              ? std::vector<int>{0, 0, 1, 0}
                                              : std::vector<int>{0, 1, 1};
        EXPECT_EQ(codes, expected) << sql;
    }
}

}  // namespace

namespace {

// Procedure calls through the engine against the memory provider's ECHO
// (memory_provider.h): each argument as the provider receives it, or the
// diagnostic the call fails with before anything is run.
TEST_F(EngineFixture, ProcedureCallsPassCheckedArguments) {
    struct Case {
        const char *sql;
        std::vector<Value *> params;
        const char *expected;  // the row, cells joined by '|', or "error SQLSTATE"
    };
    const Case cases[] = {
        {"{call ECHO('ab')}", {}, "ab|-|-|-|-|12.500000"},
        {"{call PAYPAL.DBO.ECHO('ab', )}", {}, "ab|-|-|-|-|12.500000"},
        {"{call echo('ab', 2.5, 1, {d '2026-01-31'}, 7)}", {}, "ab|2.5|true|2026-01-31|7|12.500000"},
        {"{call ECHO('ab', ' +3.25 ', 'Yes', '2024-02-29', '-12')}", {}, "ab|3.25|true|2024-02-29|-12|12.500000"},
        {"{call ECHO('ab', , 0, {ts '2026-03-04 05:06:07'})}", {}, "ab|-|false|2026-03-04|-|12.500000"},
        {"{call ECHO('ab', NULL)}", {}, "ab|NULL|-|-|-|12.500000"},
        {"{call ECHO(1 + 2, 10 / 4)}", {}, "3|2|-|-|-|12.500000"},
        {"{call ECHO(?, ?)}", {text_param("xy"), int_param(5)}, "xy|5|-|-|-|12.500000"},
        {"{?=call ECHO(?)}", {int_param(0), text_param("rv")}, "rv|-|-|-|-|12.500000"},
        {"{call NOPE(1)}", {}, "error 42000"},
        {"{call ECHO}", {}, "error 07001"},
        {"{call ECHO(, 1)}", {}, "error 07001"},
        {"{call ECHO('a', 1, 1, {d '2020-01-01'}, 1, 1)}", {}, "error 07001"},
        {"{call ECHO('toolong')}", {}, "error 22001"},
        {"{call ECHO('a', 'x1')}", {}, "error 22018"},
        {"{call ECHO('a', {d '2020-01-01'})}", {}, "error 22018"},
        {"{call ECHO('a', , 'maybe')}", {}, "error 22018"},
        {"{call ECHO('a', , 2)}", {}, "error 22018"},
        {"{call ECHO('a', , , '2023-02-29')}", {}, "error 22007"},
        {"{call ECHO('a', , , 5)}", {}, "error 22018"},
        {"{call ECHO('a', , , , 1.5)}", {}, "error 22018"},
        {"{call ECHO(NULL)}", {}, "error 22004"},
        {"{call ECHO(?)}", {null_param()}, "error 22004"},
        {"{call ECHO(?)}", {}, "error 07002"},
    };
    for (const Case &c : cases) {
        const size_t before = provider.calls.size();
        RunResult r = run(c.sql, c.params);
        std::string got;
        if (r.code < 0) {
            got = "error " + r.sqlstate;
        } else if (r.rows.size() == 1) {
            for (const std::string &cell : r.rows[0]) got += (got.empty() ? "" : "|") + cell;
        } else {
            got = "rows " + std::to_string(r.rows.size());
        }
        EXPECT_EQ(got, c.expected) << c.sql << ": " << r.message;
        // A call refused is never run; one that ran, once.
        EXPECT_EQ(provider.calls.size() - before, r.code < 0 ? 0u : 1u) << c.sql;
    }
}

TEST_F(ExecApi, ProcedureCallsDescribeParametersAndResults) {
    ASSERT_EQ(query_prepare(st, "{call ECHO(?, ?, ?, ?, ?)}", SQL_NTS), 0);
    EXPECT_EQ(query_statement_kind(st), QueryStatementKind::kCall);
    ASSERT_EQ(query_parameter_count(st), 5);
    const int types[] = {SQL_VARCHAR, SQL_DECIMAL, SQL_BIT, SQL_TYPE_DATE, SQL_INTEGER};
    for (int n = 1; n <= 5; n++) {
        const QueryParameter *p = nullptr;
        ASSERT_EQ(query_describe_parameter(st, n, &p), 0);
        EXPECT_EQ(p->type.sql_type, types[n - 1]) << n;
    }
    ASSERT_EQ(query_result_column_count(st), 6);
    const QueryColumn *c = nullptr;
    ASSERT_EQ(query_describe_column(st, 6, &c), 0);
    EXPECT_STREQ(c->name, "TOTAL");
    EXPECT_EQ(c->type.sql_type, SQL_DECIMAL);
    EXPECT_EQ(c->type.precision, 10);
    EXPECT_EQ(c->type.scale, 2);
    // {?=call}: the return marker is parameter 1; the written ones follow.
    ASSERT_EQ(query_prepare(st, "{?=call ECHO(?, ?)}", SQL_NTS), 0);
    ASSERT_EQ(query_parameter_count(st), 3);
    const QueryParameter *p = nullptr;
    ASSERT_EQ(query_describe_parameter(st, 1, &p), 0);
    EXPECT_EQ(p->type.sql_type, SQL_INTEGER);
    ASSERT_EQ(query_describe_parameter(st, 3, &p), 0);
    EXPECT_EQ(p->type.sql_type, SQL_DECIMAL);
    // The rows of a parameter array's executions are kept together.
    ASSERT_EQ(query_prepare(st, "{call ECHO(?)}", SQL_NTS), 0);
    query_keep_call_rows(st, 1);
    for (const char *text : {"one", "two"}) {
        Value *v = text_param(text);
        ASSERT_EQ(query_execute(st, 1, &v), 0);
        EXPECT_EQ(query_row_count(st), 1);
    }
    query_keep_call_rows(st, 0);
    EXPECT_EQ(rows(), (std::vector<std::string>{"one", "two"}));
    Value *v = text_param("three");
    ASSERT_EQ(query_execute(st, 1, &v), 0);
    EXPECT_EQ(rows(), std::vector<std::string>{"three"});
}

}  // namespace
