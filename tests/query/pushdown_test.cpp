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
    EXPECT_NE(r.message.find("Division by hsp"), std::string::npos);
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
