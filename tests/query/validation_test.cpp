// Validation diagnostics from data files (SQLSTATE, message, statement) for
// queries and for data changes, and what validation leaves for the statement
// layer: column and parameter descriptions, parameters typed from their
// partners or, in a change, by their target columns.
#include <fstream>
#include <sstream>

#include "query/exec_api.h"
#include "support/diag.h"
#include "support/pool.h"
#include "odbc/handles.h"
#include "tests/query/engine_fixture.h"

namespace {

std::string trim(const std::string &s) {
    size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

class Validation : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        provider.tables.push_back(memprov::generate("T1", 5, 1, true));
        provider.tables.push_back(memprov::generate("T2", 5, 2, true));
    }
    QueryStatement *prepare(const std::string &sql, int *rc) {
        QueryConnection c{};
        c.dal = dbc->dal;
        c.dal_handle = dbc;
        SetupErrorHeader(diag, 0);
        QueryStatement *st = query_statement_create(pool, diag, &c);
        *rc = query_prepare(st, sql.c_str(), SQL_NTS);
        return st;
    }
};

// A data file of failing statements, one "SQLSTATE | message | statement" a
// line, and the fewest cases it must hold.
struct ErrorFile {
    const char *name;
    int min_cases;
};

class ValidationErrors : public Validation, public ::testing::WithParamInterface<ErrorFile> {};

TEST_P(ValidationErrors, EveryMessageOfTheDataFile) {
    std::ifstream in(std::string(CV_QUERY_TEST_DATA) + "/" + GetParam().name);
    ASSERT_TRUE(in.good());
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t a = line.find('|'), b = line.find('|', a + 1);
        ASSERT_NE(b, std::string::npos) << line;
        std::string state = trim(line.substr(0, a)), message = trim(line.substr(a + 1, b - a - 1));
        std::string sql = trim(line.substr(b + 1));
        int rc = 0;
        QueryStatement *st = prepare(sql, &rc);
        EXPECT_EQ(rc, -1) << sql;
        ASSERT_GE(diag_count(diag), 1) << sql;
        EXPECT_EQ(std::string(diag_sqlstate(diag, 1)), state) << sql;
        EXPECT_NE(std::string(diag_message(diag, 1)).find(message), std::string::npos)
            << sql << "\n  got: " << diag_message(diag, 1);
        EXPECT_EQ(query_result_column_count(st), 0) << "a failed prepare leaves nothing prepared: " << sql;
        query_statement_free(st);
        cases++;
    }
    EXPECT_GE(cases, GetParam().min_cases);
}

INSTANTIATE_TEST_SUITE_P(Files, ValidationErrors,
                         ::testing::Values(ErrorFile{"validation_errors.txt", 54},
                                           ErrorFile{"change_validation_errors.txt", 25}),
                         [](const ::testing::TestParamInfo<ErrorFile> &info) {
                             return info.index == 0 ? std::string("Queries") : std::string("Changes");
                         });

TEST_F(Validation, ValidStatementsPrepare) {
    const char *ok[] = {
        "SELECT a.id FROM t1 a, t2",
        "SELECT t1.* , t2.s FROM t1, t2",
        "SELECT \"ID\" FROM t1",
        "SELECT id FROM t1 WHERE UPPER(s) = 'X'",
        "SELECT {fn TIMESTAMPADD(SQL_TSI_DAY, 1, {d '2001-01-01'})} FROM t1",
        "SELECT a FROM t1 WHERE EXISTS (SELECT 1 FROM t2 WHERE t2.a = t1.a)",
        "SELECT 1",
        "SELECT a FROM t1 UNION ALL SELECT a FROM t2",
    };
    for (const char *sql : ok) {
        int rc = 0;
        QueryStatement *st = prepare(sql, &rc);
        EXPECT_EQ(rc, 0) << sql << ": " << (diag_count(diag) ? diag_message(diag, 1) : "");
        query_statement_free(st);
    }
    // A quoted name compares exactly.
    int rc = 0;
    QueryStatement *st = prepare("SELECT \"id\" FROM t1", &rc);
    EXPECT_EQ(rc, -1);
    query_statement_free(st);
}

TEST_F(Validation, ParametersTakeTheirPartnersType) {
    int rc = 0;
    QueryStatement *st = prepare("SELECT id FROM t1 WHERE a = ? AND ? < b AND s LIKE ? AND n IN (SELECT n FROM t2 WHERE id = ?)", &rc);
    ASSERT_EQ(rc, 0) << diag_message(diag, 1);
    ASSERT_EQ(query_parameter_count(st), 4);
    const QueryParameter *p = nullptr;
    const int expected[] = {SQL_INTEGER, SQL_DOUBLE, SQL_VARCHAR, SQL_INTEGER};
    for (int i = 1; i <= 4; i++) {
        ASSERT_EQ(query_describe_parameter(st, i, &p), 0);
        EXPECT_EQ(p->typed, 1) << i;
        EXPECT_EQ(p->type.sql_type, expected[i - 1]) << i;
    }
    EXPECT_EQ(query_describe_parameter(st, 5, &p), -1);
    query_statement_free(st);
}

TEST_F(Validation, ResultColumnsDescribed) {
    int rc = 0;
    QueryStatement *st = prepare("SELECT id, s AS name, a + b, t.n FROM t1 t", &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(query_result_column_count(st), 4);
    const QueryColumn *c = nullptr;
    ASSERT_EQ(query_describe_column(st, 1, &c), 0);
    EXPECT_STREQ(c->label, "ID");
    EXPECT_STREQ(c->base_table, "T1");
    EXPECT_STREQ(c->table, "T");
    EXPECT_EQ(c->type.sql_type, SQL_INTEGER);
    ASSERT_EQ(query_describe_column(st, 2, &c), 0);
    EXPECT_STREQ(c->label, "NAME");
    EXPECT_STREQ(c->base_column, "S");
    EXPECT_EQ(c->type.sql_type, SQL_VARCHAR);
    ASSERT_EQ(query_describe_column(st, 3, &c), 0);
    EXPECT_EQ(c->unnamed, 1);
    EXPECT_EQ(c->type.sql_type, SQL_DOUBLE);
    ASSERT_EQ(query_describe_column(st, 4, &c), 0);
    EXPECT_EQ(c->type.sql_type, SQL_BIGINT);
    EXPECT_EQ(query_describe_column(st, 5, &c), -1);
    EXPECT_EQ(std::string(diag_sqlstate(diag, 1)), "07009");
    query_statement_free(st);
    // The date and time functions are described as ODBC describes them.
    const struct {
        const char *expression;
        int sql_type;
    } functions[] = {
        {"{fn TIMESTAMPADD(SQL_TSI_DAY, 1, {d '2001-01-01'})}", SQL_TYPE_TIMESTAMP},
        {"{fn TIMESTAMPADD(SQL_TSI_HOUR, 1, {d '2001-01-01'})}", SQL_TYPE_TIMESTAMP},
        {"{fn TIMESTAMPADD(SQL_TSI_SECOND, 1, {t '10:00:00'})}", SQL_TYPE_TIMESTAMP},
        {"{fn TIMESTAMPADD(SQL_TSI_MONTH, a, {ts '2001-01-01 10:00:00'})}", SQL_TYPE_TIMESTAMP},
        {"{fn TIMESTAMPDIFF(SQL_TSI_DAY, {d '2001-01-01'}, {d '2001-02-01'})}", SQL_INTEGER},
        {"{fn CURDATE()}", SQL_TYPE_DATE},
        {"{fn CURTIME()}", SQL_TYPE_TIME},
        {"{fn NOW()}", SQL_TYPE_TIMESTAMP},
        {"CURRENT_TIMESTAMP", SQL_TYPE_TIMESTAMP},
        {"CURRENT_DATE", SQL_TYPE_DATE},
        {"EXTRACT(MONTH FROM {d '2001-01-01'})", SQL_INTEGER},
        {"{fn YEAR({d '2001-01-01'})}", SQL_INTEGER},
        {"{fn DAYOFWEEK({d '2001-01-01'})}", SQL_INTEGER},
        {"{fn HOUR({t '10:00:00'})}", SQL_INTEGER},
        {"{fn DAYNAME({d '2001-01-01'})}", SQL_VARCHAR},
    };
    for (const auto &f : functions) {
        st = prepare(std::string("SELECT ") + f.expression + " FROM t1", &rc);
        ASSERT_EQ(rc, 0) << f.expression << ": " << (diag_count(diag) ? diag_message(diag, 1) : "");
        ASSERT_EQ(query_describe_column(st, 1, &c), 0) << f.expression;
        EXPECT_EQ(c->type.sql_type, f.sql_type) << f.expression;
        query_statement_free(st);
    }
}

TEST_F(Validation, ValidChangesTypeTheirParametersByColumn) {
    struct Case {
        const char *sql;
        int parameters;
        int first_type;
    } cases[] = {
        {"INSERT INTO t1 (a, s) VALUES (?, ?)", 2, SQL_INTEGER},
        {"INSERT INTO t1 (b) VALUES (?)", 1, SQL_DOUBLE},
        {"INSERT INTO t1 (s, a) SELECT s, a FROM t2 WHERE a > ?", 1, SQL_INTEGER},
        {"INSERT INTO t1 (a) VALUES (NULL)", 0, 0},
        {"INSERT INTO t1 DEFAULT VALUES", 0, 0},
        {"INSERT INTO t1 (a, s) VALUES (1, '2020-01-01')", 0, 0},
    };
    for (const Case &c : cases) {
        int rc = 0;
        QueryStatement *st = prepare(c.sql, &rc);
        ASSERT_EQ(rc, 0) << c.sql << ": " << (diag_count(diag) ? diag_message(diag, 1) : "");
        EXPECT_EQ(query_statement_kind(st), QueryStatementKind::kRowChange) << c.sql;
        EXPECT_EQ(query_result_column_count(st), 0) << c.sql;
        ASSERT_EQ(query_parameter_count(st), c.parameters) << c.sql;
        if (c.parameters > 0) {
            const QueryParameter *p = nullptr;
            ASSERT_EQ(query_describe_parameter(st, 1, &p), 0);
            EXPECT_EQ(p->type.sql_type, c.first_type) << c.sql;
        }
        query_statement_free(st);
    }
}

}  // namespace
