// Validation of data changes: every message from a data file, and what a
// valid change leaves (no result columns, parameters typed by their target
// columns).
#include <fstream>

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

class ChangeValidation : public EngineFixture {
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

TEST_F(ChangeValidation, EveryMessageOfTheDataFile) {
    std::ifstream in(std::string(CV_QUERY_TEST_DATA) + "/change_validation_errors.txt");
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
        query_statement_free(st);
        cases++;
    }
    EXPECT_GE(cases, 25);
}

TEST_F(ChangeValidation, ValidChangesTypeTheirParametersByColumn) {
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
