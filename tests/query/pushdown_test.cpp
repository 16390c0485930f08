// Restrictions offered to the provider, results that do not depend on what
// the provider does with them, and the engine services of the DAL.
#include "dal/dal.h"
#include "dal/dal_engine_hooks.h"
#include "engine/types.h"
#include "odbc/handles.h"
#include "query/exec_api.h"
#include "sql/parse_tree.h"
#include "sql/parser.h"
#include "tests/query/engine_fixture.h"

namespace {

class Pushdown : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        provider.tables.push_back(memprov::generate("T1", 60, 7, true));
        provider.tables.push_back(memprov::generate("T2", 20, 8, true));
    }
};

TEST_F(Pushdown, SimpleQueriesRun) {
    RunResult r = run("SELECT 1");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "1");
    r = run("SELECT id FROM t1 WHERE id = 5");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "5");
}

TEST_F(Pushdown, RestrictionsReachTheProvider) {
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE id >= 10 AND 20 > id AND s LIKE '12%' AND a IS NULL");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(provider.scans.size(), 1u);
    const auto &got = provider.scans[0].restrictions;
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "ID >= 10");
    EXPECT_EQ(got[1], "ID < 20");
    EXPECT_EQ(got[2], "S LIKE 12%");
    EXPECT_EQ(got[3], "A IS NULL");
}

TEST_F(Pushdown, LikeBecomesARangeOnlyWithoutCasedLetters) {
    provider.capabilities = 1 | 4;  // no LIKE
    provider.scans.clear();
    ASSERT_EQ(run("SELECT id FROM t1 WHERE s LIKE '12%'").code, 0);
    ASSERT_EQ(provider.scans.size(), 1u);
    ASSERT_EQ(provider.scans[0].restrictions.size(), 2u);
    EXPECT_EQ(provider.scans[0].restrictions[0], "S >= 12");
    EXPECT_EQ(provider.scans[0].restrictions[1], "S < 13");
    provider.scans.clear();
    ASSERT_EQ(run("SELECT id FROM t1 WHERE s LIKE '1\xff%'").code, 0);
    ASSERT_EQ(provider.scans[0].restrictions.size(), 1u) << "no upper bound after a 0xFF byte";
    EXPECT_EQ(provider.scans[0].restrictions[0], "S >= 1\xff");
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE s LIKE 'app%'");
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(provider.scans[0].restrictions.empty()) << "LIKE ignores case, a byte range does not";
    Rows expected = run("SELECT id FROM t1 WHERE UPPER(s) = 'APPLE'").rows;
    EXPECT_EQ(sorted(r.rows), sorted(expected));
    EXPECT_FALSE(r.rows.empty());
}

TEST_F(Pushdown, ValuesThatDoNotConvertExactlyAreNotPassed) {
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE id < 1.5");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_TRUE(provider.scans[0].restrictions.empty());
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "1");
}

TEST_F(Pushdown, OrBecomesAlternativesWithoutDuplicates) {
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE id < 5 OR id < 3 OR id = 50");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(provider.scans.size(), 3u);
    EXPECT_EQ(sorted(r.rows), sorted(Rows{{"1"}, {"2"}, {"3"}, {"4"}, {"50"}}));
}

TEST_F(Pushdown, JoinInnerScanTakesOuterValues) {
    provider.scans.clear();
    RunResult r = run("SELECT t1.id, t2.id FROM t1, t2 WHERE t1.id = t2.id AND t1.id < 4");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(Rows{{"1", "1"}, {"2", "2"}, {"3", "3"}}));
    // The join order puts T2 (20 rows) outside; T1 is looked up by its key,
    // one scan per T2 row with that row's value.
    ASSERT_EQ(provider.scans.size(), 21u);
    EXPECT_EQ(provider.scans[0].table, "T2");
    EXPECT_EQ(provider.scans[1].restrictions[0], "ID = 1");
    EXPECT_EQ(provider.open_iterators, 0) << "every iterator is closed with the cursor";
}

std::vector<const memprov::StartedScan *> scans_of(const memprov::Provider &p, const std::string &table) {
    std::vector<const memprov::StartedScan *> out;
    for (const auto &s : p.scans)
        if (s.table == table) out.push_back(&s);
    return out;
}

TEST_F(Pushdown, ScalarSubqueriesAreReadOncePerExecutionUnlessCorrelated) {
    provider.scans.clear();
    RunResult r = run("SELECT id, (SELECT MAX(a) FROM t2) + (SELECT MIN(a) FROM t2 WHERE id > 3) FROM t1");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 60u);
    EXPECT_EQ(scans_of(provider, "T2").size(), 2u) << "each uncorrelated sub-query once";
    provider.scans.clear();
    r = run("SELECT id, (SELECT COUNT(*) FROM t2 WHERE t2.id = t1.id) FROM t1 WHERE id <= 5");
    ASSERT_EQ(r.code, 0) << r.message;
    auto inner = scans_of(provider, "T2");
    ASSERT_EQ(inner.size(), 5u) << "once per outer row";
    EXPECT_EQ(inner[4]->restrictions, std::vector<std::string>{"ID = 5"});
    EXPECT_EQ(provider.open_iterators, 0);
}

TEST_F(Pushdown, UncorrelatedScalarSubqueriesAreOfferedAsValues) {
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE id = (SELECT MAX(id) FROM t2) OR (SELECT MIN(id) FROM t2) + 55 < id");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(Rows{{"20"}, {"57"}, {"58"}, {"59"}, {"60"}}));
    auto t1 = scans_of(provider, "T1");
    ASSERT_EQ(t1.size(), 1u) << "the second disjunct offers nothing: one scan";
    provider.scans.clear();
    r = run("SELECT id FROM t1 WHERE id >= (SELECT MAX(id) FROM t2) + 0 AND id < (SELECT MAX(id) + 25 FROM t2)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 25u);
    t1 = scans_of(provider, "T1");
    ASSERT_EQ(t1.size(), 1u);
    EXPECT_EQ(t1[0]->restrictions, std::vector<std::string>{"ID < 45"}) << "a sub-query inside arithmetic is not offered";
    provider.scans.clear();
    for (const char *sql : {"SELECT id FROM t1 WHERE (SELECT MAX(id) FROM t2) = id",
                            "SELECT id FROM t1 WHERE id = (SELECT MAX(id) FROM t2)"}) {
        provider.scans.clear();
        r = run(sql);
        ASSERT_EQ(r.code, 0) << r.message;
        EXPECT_EQ(r.rows, Rows{{"20"}});
        t1 = scans_of(provider, "T1");
        ASSERT_EQ(t1.size(), 1u);
        EXPECT_EQ(t1[0]->restrictions, std::vector<std::string>{"ID = 20"}) << sql;
    }
    provider.scans.clear();
    r = run("SELECT id FROM t1 WHERE id = (SELECT MAX(id) FROM t2 WHERE t2.a = t1.a)");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_FALSE(scans_of(provider, "T1").empty());
    EXPECT_TRUE(scans_of(provider, "T1")[0]->restrictions.empty()) << "a correlated one is not";
}

TEST_F(Pushdown, NullInAnInListIsNeverOffered) {
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE id IN (3, NULL, 9)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(Rows{{"3"}, {"9"}}));
    ASSERT_EQ(provider.scans.size(), 2u) << "no scan for the NULL item";
    EXPECT_EQ(provider.scans[0].restrictions, std::vector<std::string>{"ID = 3"});
    EXPECT_EQ(provider.scans[1].restrictions, std::vector<std::string>{"ID = 9"});
    provider.scans.clear();
    r = run("SELECT id FROM t1 WHERE id IN (4, NULL)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, Rows{{"4"}});
    ASSERT_EQ(provider.scans.size(), 1u);
    EXPECT_EQ(provider.scans[0].restrictions, std::vector<std::string>{"ID = 4"});
    r = run("SELECT id FROM t1 WHERE id NOT IN (4, NULL)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_TRUE(r.rows.empty()) << "NOT IN over a list holding NULL is never true";
    provider.scans.clear();
    r = run("SELECT id FROM t1 WHERE id IN (?, NULL, ?)", {int_param(6), int_param(8)});
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(Rows{{"6"}, {"8"}}));
    EXPECT_EQ(provider.scans.size(), 2u);
}

TEST_F(Pushdown, ParametersInsideScalarSubqueries) {
    RunResult r = run("SELECT id, (SELECT COUNT(*) FROM t2 WHERE t2.id < ?) FROM t1 WHERE id = ?",
                      {int_param(5), int_param(9)});
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"9", "4"}}));
    r = run("SELECT id FROM t1 WHERE id = (SELECT MAX(id) FROM t2 WHERE id < ?) + ?", {int_param(7), int_param(30)});
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"36"}}));
}

TEST_F(Pushdown, OnConditionsOnOneTableReachItsProvider) {
    struct Case {
        const char *sql;
        std::vector<std::string> t1, t2;  // restrictions each table's provider receives
    } cases[] = {
        {"SELECT t1.id, t2.id FROM t1 JOIN t2 ON t2.id = t1.id AND t2.s = 'pear' AND t1.id < 30",
         {"ID < 30"}, {"S = pear"}},
        {"SELECT t1.id, t2.id FROM t1 INNER JOIN t2 ON t1.a = t2.a AND t2.id >= 4 WHERE t1.id = 7",
         {"ID = 7"}, {"ID >= 4"}},
        // outer joins: only the NULL-extended side's own conditions
        {"SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a AND t2.id < 8 AND t1.id = 3", {}, {"ID < 8"}},
        {"SELECT t1.id, t2.id FROM t1 RIGHT JOIN t2 ON t1.a = t2.a AND t2.id < 8 AND t1.id = 3", {"ID = 3"}, {}},
        {"SELECT t1.id, t2.id FROM t1 FULL JOIN t2 ON t1.a = t2.a AND t2.id < 8 AND t1.id = 3", {}, {}},
        {"SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a AND t2.s IS NULL", {}, {"S IS NULL"}},
    };
    for (const Case &k : cases) {
        provider.scans.clear();
        RunResult r = run(k.sql);
        ASSERT_EQ(r.code, 0) << k.sql << ": " << r.message;
        auto t1 = scans_of(provider, "T1"), t2 = scans_of(provider, "T2");
        ASSERT_EQ(t1.size(), 1u) << k.sql;
        ASSERT_EQ(t2.size(), 1u) << k.sql;
        EXPECT_EQ(t1[0]->restrictions, k.t1) << k.sql;
        EXPECT_EQ(t2[0]->restrictions, k.t2) << k.sql;
        Rows pushed = sorted(r.rows);
        provider.ignore_restrictions = true;
        RunResult all = run(k.sql);
        provider.ignore_restrictions = false;
        EXPECT_EQ(sorted(all.rows), pushed) << k.sql;
    }
}

TEST_F(Pushdown, ParametersAndErrors) {
    RunResult r = run("SELECT id FROM t1 WHERE id = ? OR id = ?", {int_param(3), int_param(7)});
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(Rows{{"3"}, {"7"}}));
    r = run("SELECT id FROM t1 WHERE id = ?", {});
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.sqlstate, "07002");
    r = run("SELECT id / 0 FROM t1");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.sqlstate, "22012");
    EXPECT_NE(r.message.find("Division by zero"), std::string::npos);
    r = run("SELECT id * id * id * id * id * id FROM t1");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.sqlstate, "22003");
    r = run("SELECT n * n FROM t1 WHERE n IS NOT NULL AND n <> 0");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.sqlstate, "22003");
}

}  // namespace


namespace {

// The engine services a provider can ask of the DAL (codes 5, 6, 7, 11).
TEST_F(Pushdown, EngineServicesOfTheDal) {
    (void)run("SELECT 1");  // registers the evaluator
    DalServiceRequest r{};
    r.handle = dbc;
    ExtendedType t{};
    r.code = SQL_INTEGER;
    r.buffer = &t;
    r.capacity = sizeof t;
    ASSERT_EQ(DALServiceCallback(dbc->dal, DAL_SERVICE_TYPE_INFO, &r), DAL_OK);
    EXPECT_EQ(t.sql_type, SQL_INTEGER);
    r.capacity = 4;
    EXPECT_EQ(DALServiceCallback(dbc->dal, DAL_SERVICE_TYPE_INFO, &r), DAL_ERROR);

    ParseContext *ctx = create_parse_context(pool);
    char text[] = "SELECT 6 * 7 + 0";
    ASSERT_EQ(parse_sql_text(ctx, text, 0, nullptr), 0);
    auto *select = node_cast<SelectNode>(ListData(ListFirst(node_cast<ListNode>(ctx->root)->list)));
    auto *spec = node_cast<QuerySpecNode>(node_cast<UnionNode>(select->query)->single);
    auto *item = node_cast<SelectItemNode>(ListData(ListFirst(node_cast<SelectCoreNode>(spec->core)->select_list->list)));
    DalServiceRequest e{};
    e.handle = dbc;
    e.result = item->expression;
    e.buffer = pool;
    ASSERT_EQ(DALServiceCallback(dbc->dal, DAL_SERVICE_EVALUATE, &e), DAL_OK);
    ASSERT_NE(e.value, nullptr);
    EXPECT_EQ(e.value->data.i, 42);

    e.code = SQL_VARCHAR;
    ASSERT_EQ(DALServiceCallback(dbc->dal, DAL_SERVICE_CONVERT, &e), DAL_OK);
    EXPECT_EQ(print_value(e.value), "42");
    ASSERT_EQ(DALServiceCallback(dbc->dal, DAL_SERVICE_TO_INTEGER, &e), DAL_OK);
    EXPECT_EQ(e.length, 42);
    release_parse_context(ctx);
}

}  // namespace
