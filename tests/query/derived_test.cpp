// Derived tables in the FROM clause, compared with SQLite over the same rows
// (data/derived_queries.txt): with the provider applying and ignoring the
// restrictions it is offered, with small memory (rows kept in work files),
// and with relational_opt on and off.
#include <fstream>
#include <string>
#include <vector>

#include "dal/dal.h"
#include "odbc/handles.h"
#include "tests/query/engine_fixture.h"

namespace {

struct Case {
    std::string ours;
    std::string sqlite;
};

std::vector<Case> load_cases() {
    std::vector<Case> cases;
    std::ifstream in(std::string(CV_QUERY_TEST_DATA) + "/derived_queries.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("sqlite: ", 0) == 0 && !cases.empty()) {
            cases.back().sqlite = line.substr(8);
            continue;
        }
        cases.push_back(Case{line, line});
    }
    return cases;
}

class Derived : public EngineFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        add_seeded_tables(GetParam());
        cases = load_cases();
    }

    void expect_all(const char *how) {
        ASSERT_GE(cases.size(), 40u);
        for (const Case &c : cases) {
            Rows expected = sorted(sqlite_rows(c.sqlite));
            RunResult r = run(c.ours);
            ASSERT_EQ(r.code, 0) << c.ours << " (" << how << "): " << r.sqlstate << " " << r.message;
            EXPECT_EQ(sorted(r.rows), expected) << c.ours << " (" << how << ")";
            EXPECT_EQ(provider.open_iterators, 0) << c.ours;
        }
    }

    std::vector<Case> cases;
};

TEST_P(Derived, SameRowsAsSQLite) {
    provider.ignore_restrictions = false;
    expect_all("restrictions applied");
    provider.ignore_restrictions = true;
    expect_all("restrictions ignored");
}

TEST_P(Derived, RowsKeptInWorkFilesGiveTheSameRows) {
    work_mem_size = 1;  // the smallest budget: kept rows go to work files at once
    provider.lazy = 0;
    expect_all("small memory");
}

TEST_P(Derived, InExpansionGivesTheSameRows) {
    in_expansion = 1;
    expect_all("in_expansion on");
}

TEST_P(Derived, RelationalOptGivesTheSameRows) {
    relational_opt = 1;
    expect_all("relational_opt on");
    provider.ignore_restrictions = true;
    expect_all("relational_opt on, restrictions ignored");
}

// A provider that declares it takes whole queries (and refuses them): its
// queries are marked for pass-through and run through the engine's plans.
TEST_P(Derived, QueriesForAProviderTakingWholeQueriesRunAsBefore) {
    dbc->dal->providers[0]->slots.SQIPassThrough = [](void *, const char *, void *) { return -1; };
    relational_opt = 1;
    expect_all("pass-through declared");
    dbc->dal->providers[0]->slots.SQIPassThrough = nullptr;
}

INSTANTIATE_TEST_SUITE_P(Seeds, Derived, ::testing::Values(1u, 2u, 3u));

// An uncorrelated derived table is read once per execution, however often
// the nested loop goes over it.
TEST_F(EngineFixture, DerivedTableIsReadOncePerExecution) {
    provider.tables.push_back(memprov::generate("T1", 30, 7, false));
    provider.tables.push_back(memprov::generate("T2", 20, 8, false));
    const size_t before = provider.scans.size();
    RunResult r = run("SELECT t1.id, d.id FROM t1, (SELECT id, a FROM t2) d WHERE d.a < t1.a + 100");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 600u);
    EXPECT_EQ(provider.scans.size() - before, 2u);
}

class DerivedStatement : public StatementFixture {
protected:
    DerivedStatement() : StatementFixture(false) {}
};

TEST_F(DerivedStatement, ColumnsAreDescribedByTheirDerivedNames) {
    ASSERT_EQ(query_prepare(st, "SELECT * FROM (SELECT id AS k, a + 1, s FROM t1) d", SQL_NTS), 0);
    ASSERT_EQ(query_result_column_count(st), 3);
    const char *names[] = {"K", "EXPR_2", "S"};
    const int types[] = {SQL_INTEGER, SQL_INTEGER, SQL_VARCHAR};
    for (int i = 0; i < 3; i++) {
        const QueryColumn *col = nullptr;
        ASSERT_EQ(query_describe_column(st, i + 1, &col), 0);
        EXPECT_STREQ(col->name, names[i]);
        EXPECT_EQ(col->type.sql_type, types[i]) << names[i];
        EXPECT_EQ(col->unnamed, 0);
        EXPECT_STREQ(col->base_table, "");
        EXPECT_EQ(col->type.updatable, SQL_ATTR_READONLY);
    }
}

// Each execution reads the derived table again with its own parameter
// values; the statement's row limit applies to the outer rows only.
TEST_F(DerivedStatement, EveryExecutionRunsTheDerivedQueryAgain) {
    QueryOptions o{};
    o.max_rows = 2;
    query_set_options(st, &o);
    ASSERT_EQ(query_prepare(st, "SELECT COUNT(*) FROM (SELECT id FROM t1 WHERE id > ?) d", SQL_NTS), 0);
    Value *p[1] = {int_param(3)};
    ASSERT_EQ(query_execute(st, 1, p), 0);
    EXPECT_EQ(rows(), std::vector<std::string>{"7"});
    p[0] = int_param(8);
    ASSERT_EQ(query_execute(st, 1, p), 0);
    EXPECT_EQ(rows(), std::vector<std::string>{"2"});
    ASSERT_EQ(query_prepare(st, "SELECT d.id FROM (SELECT id FROM t1 UNION SELECT id + 100 FROM t1) d", SQL_NTS), 0);
    ASSERT_EQ(query_execute(st, 0, nullptr), 0);
    EXPECT_EQ(rows().size(), 2u);
}

// Comparisons of a plain derived query's columns with literals and
// parameters reach its table's provider; those over a grouped query do not.
TEST_F(DerivedStatement, OuterComparisonsReachTheDerivedTablesProvider) {
    provider.scans.clear();
    RunResult r = run("SELECT d.k FROM (SELECT id AS k, a + 1 AS x FROM t1 WHERE id < 9) d WHERE d.k >= 4 AND d.x > 0");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(provider.scans.size(), 1u);
    EXPECT_EQ(provider.scans[0].restrictions, (std::vector<std::string>{"ID < 9", "ID >= 4"}));
    provider.scans.clear();
    r = run("SELECT d.k FROM (SELECT id AS k, s FROM t1) d WHERE d.k IN (2, 5) AND d.s LIKE '12%'");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(provider.scans.size(), 2u);
    EXPECT_EQ(provider.scans[0].restrictions, (std::vector<std::string>{"ID = 2", "S LIKE 12%"}));
    EXPECT_EQ(provider.scans[1].restrictions, (std::vector<std::string>{"ID = 5", "S LIKE 12%"}));
    provider.scans.clear();
    r = run("SELECT d.a FROM (SELECT DISTINCT a FROM t1) d WHERE d.a = 1");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(provider.scans.size(), 1u);
    EXPECT_TRUE(provider.scans[0].restrictions.empty());
}

// A derived query gives its rows as the outer query asks for them.
TEST_F(DerivedStatement, FirstRowsDoNotWaitForTheWholeDerivedTable) {
    provider.tables.push_back(memprov::generate("T9", 500, 9, false));
    const long before = provider.rows_delivered;
    RunResult r = run("SELECT TOP 2 d.id FROM (SELECT id, a FROM t9 WHERE a > -100) d");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 2u);
    EXPECT_LT(provider.rows_delivered - before, 10);
    const long union_before = provider.rows_delivered;
    r = run("SELECT TOP 3 d.id FROM (SELECT id FROM t9 UNION ALL SELECT id FROM t1) d");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 3u);
    EXPECT_LT(provider.rows_delivered - union_before, 40);
}

// Applications describe a query by running it inside "WHERE 0 = 1": the
// derived query is not run.
TEST_F(DerivedStatement, AFalseOuterConditionRunsNothing) {
    provider.scans.clear();
    RunResult r = run("SELECT * FROM (SELECT id, a FROM t1) x WHERE 0 = 1");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_TRUE(r.rows.empty());
    EXPECT_TRUE(provider.scans.empty());
    r = run("SELECT COUNT(*) FROM (SELECT id, a FROM t1) x WHERE 1 = 1");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"10"}}));
}

// So does the derived table relational_opt makes of a join.
TEST_F(DerivedStatement, RelationalOptJoinsGiveFirstRowsEarly) {
    provider.tables.push_back(memprov::generate("T8", 500, 8, false));
    provider.tables.push_back(memprov::generate("T9", 500, 9, false));
    relational_opt = 1;
    const long before = provider.rows_delivered;
    RunResult r = run("SELECT TOP 3 t8.id, t9.a FROM t8, t9 WHERE t9.id = t8.id");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 3u);
    EXPECT_LT(provider.rows_delivered - before, 20);
}

// relational_opt makes its derived table anew at every execution: a
// prepared statement executed with other values reads other rows.
TEST_F(DerivedStatement, RelationalOptRewritesEveryExecution) {
    provider.tables.push_back(memprov::generate("T2", 10, 5, false));
    relational_opt = 1;
    QueryConnection c = connection();
    QueryStatement *joined = query_statement_create(pool, diag, &c);
    ASSERT_NE(joined, nullptr);
    ASSERT_EQ(query_prepare(joined, "SELECT COUNT(*), MIN(t2.id) FROM t1, t2 WHERE t1.id = t2.id AND t1.id > ?",
                            SQL_NTS), 0);
    for (int32_t from : {3, 8, 3}) {
        Value *p[1] = {int_param(from)};
        ASSERT_EQ(query_execute(joined, 1, p), 0);
        ASSERT_EQ(query_fetch(joined), 0);
        EXPECT_EQ(print_value(query_column_value(joined, 1)), std::to_string(10 - from));
        EXPECT_EQ(print_value(query_column_value(joined, 2)), std::to_string(from + 1));
        EXPECT_EQ(query_fetch(joined), 100);
    }
    query_statement_free(joined);
}

}  // namespace
