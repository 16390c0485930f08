// Grouping, set functions, DISTINCT, UNION and ORDER BY against SQLite over
// the same generated rows (with NULLs and duplicates), with the provider
// applying its restrictions and ignoring them.
#include <string>
#include <vector>

#include "query/exec_api.h"
#include "query/sort.h"
#include "tests/query/engine_fixture.h"

namespace {

struct Case {
    const char *engine;
    const char *sqlite;   // null: the same text
    bool ordered;         // compare in order
};

// SQLite sorts NULL first ascending; this engine sorts it high, so the
// SQLite texts say where NULLs go.
const Case kCases[] = {
    {"SELECT a, COUNT(*), COUNT(b), SUM(a), MIN(s), MAX(b) FROM t1 GROUP BY a", nullptr, false},
    {"SELECT s, COUNT(*) FROM t1 GROUP BY s", nullptr, false},
    {"SELECT a, s, SUM(n), AVG(b) FROM t1 GROUP BY a, s", nullptr, false},
    {"SELECT COUNT(*), COUNT(a), SUM(a), AVG(a), MIN(a), MAX(a) FROM t1", nullptr, false},
    {"SELECT COUNT(*), COUNT(a), SUM(a), AVG(b), MIN(s), MAX(s) FROM t1 WHERE id < 0", nullptr, false},
    {"SELECT a, COUNT(*) FROM t1 WHERE id < 0 GROUP BY a", nullptr, false},
    {"SELECT COUNT(DISTINCT a), COUNT(DISTINCT s), SUM(DISTINCT a), COUNT(DISTINCT b) FROM t1", nullptr, false},
    {"SELECT a, COUNT(DISTINCT s) FROM t1 GROUP BY a", nullptr, false},
    {"SELECT a, COUNT(DISTINCT id), SUM(DISTINCT n), AVG(DISTINCT b), MIN(DISTINCT s), MAX(DISTINCT s) FROM t1 "
     "GROUP BY a", nullptr, false},
    {"SELECT a, COUNT(*) FROM t1 GROUP BY a HAVING COUNT(*) > 5", nullptr, false},
    {"SELECT a, COUNT(*) FROM t1 GROUP BY a HAVING COUNT(*) > 100000", nullptr, false},
    {"SELECT a, SUM(b) FROM t1 GROUP BY a HAVING a IS NULL OR SUM(b) > 0", nullptr, false},
    {"SELECT a + 1, COUNT(*) FROM t1 GROUP BY a + 1", nullptr, false},
    {"SELECT SUM(n), MIN(n), MAX(n) FROM t1 GROUP BY a", nullptr, false},
    {"SELECT DISTINCT a FROM t1", nullptr, false},
    {"SELECT DISTINCT a, s FROM t1", nullptr, false},
    {"SELECT DISTINCT s FROM t1 WHERE a IS NULL", nullptr, false},
    {"SELECT a FROM t1 UNION SELECT a FROM t2", nullptr, false},
    {"SELECT a, s FROM t1 UNION SELECT a, s FROM t2", nullptr, false},
    {"SELECT a FROM t1 UNION ALL SELECT a FROM t2 UNION SELECT a FROM t1", nullptr, false},
    {"SELECT a FROM t1 UNION SELECT a FROM t2 UNION ALL SELECT a FROM t2", nullptr, false},
    {"SELECT b FROM t1 UNION SELECT a FROM t2", "SELECT b FROM t1 UNION SELECT CAST(a AS REAL) FROM t2", false},
    {"SELECT id, a FROM t1 ORDER BY a, id", "SELECT id, a FROM t1 ORDER BY a NULLS LAST, id", true},
    {"SELECT id, a FROM t1 ORDER BY a DESC, id", "SELECT id, a FROM t1 ORDER BY a DESC NULLS FIRST, id", true},
    {"SELECT id, s, b FROM t1 ORDER BY 2 DESC, 3, 1 DESC",
     "SELECT id, s, b FROM t1 ORDER BY 2 DESC NULLS FIRST, 3 NULLS LAST, 1 DESC", true},
    {"SELECT id, n FROM t1 ORDER BY n, id", "SELECT id, n FROM t1 ORDER BY n NULLS LAST, id", true},
    {"SELECT id AS k, a FROM t1 ORDER BY k DESC", nullptr, true},
    {"SELECT id, '' FROM t1 ORDER BY id DESC", nullptr, true},
    {"SELECT DISTINCT '', a FROM t1", nullptr, false},
    {"SELECT id FROM t1 ORDER BY a * 2, id", "SELECT id FROM t1 ORDER BY a * 2 NULLS LAST, id", true},
    {"SELECT a, COUNT(*) FROM t1 GROUP BY a ORDER BY 2 DESC, 1",
     "SELECT a, COUNT(*) FROM t1 GROUP BY a ORDER BY 2 DESC, 1 NULLS LAST", true},
    {"SELECT DISTINCT s FROM t1 ORDER BY s DESC", "SELECT DISTINCT s FROM t1 ORDER BY s DESC NULLS FIRST", true},
    {"SELECT a, s FROM t1 UNION SELECT a, s FROM t2 ORDER BY 2, 1",
     "SELECT a, s FROM t1 UNION SELECT a, s FROM t2 ORDER BY 2 NULLS LAST, 1 NULLS LAST", true},
    {"SELECT id FROM t1 WHERE a = 1 OR s = 'apple'", nullptr, false},
    {"SELECT id FROM t1 WHERE (a = 1 OR a = 2) AND s = 'apple'", nullptr, false},
    {"SELECT id FROM t1 WHERE (a = 1 OR s = 'pear') AND (b > 0 OR n IS NULL)", nullptr, false},
    {"SELECT id FROM t1 WHERE a IN (1, 2, 3) OR id = 7", nullptr, false},
    {"SELECT a FROM t1 WHERE a IN (SELECT a FROM t2 GROUP BY a HAVING COUNT(*) > 1)", nullptr, false},
    {"SELECT id FROM t1 WHERE b > (SELECT AVG(b) FROM t2)", nullptr, false},
    {"SELECT id FROM t1 WHERE a = (SELECT MAX(a) FROM t2 WHERE t2.s = t1.s)", nullptr, false},
    // joins
    {"SELECT t1.id, t2.id FROM t1 JOIN t2 ON t1.a = t2.a", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 INNER JOIN t2 ON t2.s = t1.s AND t1.b < t2.b", nullptr, false},
    {"SELECT t1.id, t2.id, t2.s FROM t1 LEFT JOIN t2 ON t1.a = t2.a AND t2.b > 0", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 RIGHT JOIN t2 ON t1.a = t2.a AND t1.id < 50", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 FULL JOIN t2 ON t1.n = t2.n AND t1.id < 100 AND t2.id < 40", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 FULL OUTER JOIN t2 ON t1.id = t2.id + 1000", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.id = t2.id + 1000", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 JOIN t2 ON t1.id = t2.id + 1000", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a WHERE t2.id IS NULL", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a AND t2.id IS NULL", nullptr, false},
    {"SELECT t1.id, t2.b FROM t1 LEFT JOIN t2 ON t1.b = t2.b WHERE t1.id < 60", nullptr, false},
    {"SELECT t1.id, t2.id, t3.id FROM t1 JOIN t2 ON t1.a = t2.a LEFT JOIN t3 ON t3.s = t2.s",
     nullptr, false},
    {"SELECT t1.id, t2.id, t3.id FROM t3 RIGHT JOIN t2 ON t3.a = t2.a FULL JOIN t1 ON t1.id = t2.id",
     nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 JOIN t2 USING (s)", nullptr, false},
    {"SELECT t1.id, t3.id FROM t1 NATURAL JOIN t3", nullptr, false},
    {"SELECT t1.a, COUNT(t2.id), COUNT(*) FROM t1 LEFT JOIN t2 ON t1.s = t2.s GROUP BY t1.a", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1, t2 WHERE t1.s = t2.s AND t1.a = 2", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1, t2 WHERE t2.a = 1 AND t1.id < 30", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1, t2 WHERE t1.id = t2.id + 1000", nullptr, false},
    {"SELECT t3.id, t1.id FROM t3, t1 LEFT JOIN t2 ON t1.a = t2.a WHERE t3.a = t1.a AND t1.id < 40",
     nullptr, false},
    // WHERE conditions on the tables of a FROM-clause join
    {"SELECT t1.id, t2.id FROM t1 JOIN t2 ON t1.a = t2.a WHERE t1.id < 100 AND t2.b > 0", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a WHERE t2.id < 40 AND t1.s = 'apple'", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a WHERE t2.a IS NULL AND t1.id < 50", nullptr, false},
    {"SELECT t1.id, t2.id FROM t1 FULL JOIN t2 ON t1.id = t2.id WHERE t1.id < 30 AND t2.id > 5", nullptr, false},
    {"SELECT t2.id, t3.id FROM t3 RIGHT JOIN t2 ON t3.a = t2.a WHERE t3.id IS NULL AND t2.id > 10", nullptr, false},
    {"SELECT t1.id, t2.id, t3.id FROM t1 JOIN t2 ON t1.a = t2.a LEFT JOIN t3 ON t3.s = t2.s "
     "WHERE t2.id < 30 AND t3.b IS NULL", nullptr, false},
    // DATE, TIMESTAMP and NUMERIC keys (several scales, negative values)
    // and LONG VARCHAR values whole in DISTINCT, UNION, GROUP BY, ORDER BY
    // and ||, with NULLs (T4, T5: memprov::generate_typed)
    {"SELECT DISTINCT l FROM t4", nullptr, false},
    {"SELECT DISTINCT l, s FROM t4 WHERE id < 150", nullptr, false},
    {"SELECT DISTINCT l || '!' FROM t4", nullptr, false},
    {"SELECT l FROM t4 UNION SELECT l FROM t5", nullptr, false},
    {"SELECT l, s FROM t5 UNION SELECT l || '', s FROM t4 WHERE id > 100", nullptr, false},
    {"SELECT l, COUNT(*), MIN(id), MAX(s) FROM t4 GROUP BY l", nullptr, false},
    {"SELECT l || s, COUNT(*) FROM t4 GROUP BY l || s HAVING COUNT(*) > 1", nullptr, false},
    {"SELECT COUNT(DISTINCT l), MIN(l), MAX(l), COUNT(l) FROM t4", nullptr, false},
    {"SELECT s, COUNT(DISTINCT l), MAX(l) FROM t4 GROUP BY s", nullptr, false},
    {"SELECT id, l FROM t4 ORDER BY l DESC, id", "SELECT id, l FROM t4 ORDER BY l DESC NULLS FIRST, id", true},
    {"SELECT DISTINCT l FROM t5 ORDER BY 1", "SELECT DISTINCT l FROM t5 ORDER BY 1 NULLS LAST", true},
    {"SELECT d, COUNT(*), MIN(ts), MAX(m4) FROM t4 GROUP BY d ORDER BY d",
     "SELECT d, COUNT(*), MIN(ts), MAX(m4) FROM t4 GROUP BY d ORDER BY d NULLS LAST", true},
    {"SELECT id, ts FROM t4 ORDER BY ts DESC, id", "SELECT id, ts FROM t4 ORDER BY ts DESC NULLS FIRST, id", true},
    {"SELECT DISTINCT ts FROM t4 WHERE ts >= d", nullptr, false},
    {"SELECT ts FROM t4 UNION SELECT ts FROM t5 ORDER BY 1", "SELECT ts FROM t4 UNION SELECT ts FROM t5 ORDER BY 1 NULLS LAST", true},
    {"SELECT m2, COUNT(*), SUM(m4), MIN(m0), MAX(m2), AVG(m2) FROM t4 GROUP BY m2 ORDER BY m2",
     "SELECT m2, COUNT(*), SUM(m4), MIN(m0), MAX(m2), AVG(m2) FROM t4 GROUP BY m2 ORDER BY m2 NULLS LAST", true},
    {"SELECT id, m4, m2 FROM t4 ORDER BY m4 DESC, m2, id",
     "SELECT id, m4, m2 FROM t4 ORDER BY m4 DESC NULLS FIRST, m2 NULLS LAST, id", true},
    {"SELECT m2 FROM t4 UNION SELECT m4 FROM t5 UNION SELECT m0 FROM t4 ORDER BY 1",
     "SELECT m2 FROM t4 UNION SELECT m4 FROM t5 UNION SELECT m0 FROM t4 ORDER BY 1 NULLS LAST", true},
    {"SELECT DISTINCT m0 FROM t4 UNION SELECT a FROM t1", "SELECT DISTINCT m0 FROM t4 UNION SELECT CAST(a AS REAL) FROM t1",
     false},
    {"SELECT m4, b FROM t4, t1 WHERE t1.id = t4.id UNION SELECT b, m2 FROM t1, t4 WHERE t1.id = t4.id", nullptr, false},
    {"SELECT COUNT(DISTINCT m2), COUNT(DISTINCT m4), SUM(DISTINCT m0), COUNT(DISTINCT d), COUNT(DISTINCT ts) FROM t4",
     nullptr, false},
    {"SELECT m0, COUNT(*) FROM t4 GROUP BY m0 HAVING SUM(m2) < 0", nullptr, false},
    {"SELECT t4.m2, COUNT(*) FROM t4 JOIN t5 ON t4.m2 = t5.m4 GROUP BY t4.m2", nullptr, false},
    {"SELECT t4.id, t5.id FROM t4 LEFT JOIN t5 ON t4.l = t5.l WHERE t4.id < 120", nullptr, false},
};

class Sorting : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        provider.tables.push_back(memprov::generate("T1", 300, 11, true));
        provider.tables.push_back(memprov::generate("T2", 80, 12, true));
        provider.tables.push_back(memprov::generate("T3", 25, 13, true));
        provider.tables.push_back(memprov::generate_typed("T4", 200, 14));
        provider.tables.push_back(memprov::generate_typed("T5", 60, 15));
        memprov::load_into_sqlite(provider, db);
    }

    void check_all() {
        for (const Case &k : kCases) {
            RunResult r = run(k.engine);
            ASSERT_EQ(r.code, 0) << k.engine << ": " << r.message;
            Rows expected = sqlite_rows(k.sqlite ? k.sqlite : k.engine);
            if (k.ordered) EXPECT_EQ(r.rows, expected) << k.engine;
            else EXPECT_EQ(sorted(r.rows), sorted(expected)) << k.engine;
        }
    }
};

TEST_F(Sorting, AgreesWithSqlite) { check_all(); }

TEST_F(Sorting, AgreesWithSqliteWhenTheProviderIgnoresRestrictions) {
    provider.ignore_restrictions = true;
    check_all();
}

TEST_F(Sorting, JoinConditionsNameOnlyTheirSides) {
    RunResult r = run("SELECT t1.id FROM t3, t1 JOIN t2 ON t3.a = t2.a");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.message, "column 'T3.A' not found in either join sources");
    r = run("SELECT t1.id FROM t1 JOIN t2 ON t1.a IN (SELECT a FROM t3)");
    EXPECT_EQ(r.message, "IN predicate not allowed in joining expr");
    r = run("SELECT t1.id FROM t1 JOIN t2 ON COUNT(*) > 1");
    EXPECT_EQ(r.message, "SET predicate not allowed in joining expr");
}

TEST_F(Sorting, InnerSidesAreReadOnce) {
    provider.scans.clear();
    RunResult r = run("SELECT t1.id, t2.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(provider.scans.size(), 2u);
    provider.scans.clear();
    r = run("SELECT t1.id, t2.id FROM t1, t2 WHERE t2.a = 1");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(provider.scans.size(), 2u);
    // An equality on a column that is no key: read once, rows looked up.
    provider.scans.clear();
    r = run("SELECT t1.id, t2.id FROM t1, t2 WHERE t2.s = t1.s AND t2.a = 1");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(provider.scans.size(), 2u);
    EXPECT_EQ(sorted(r.rows), sorted(sqlite_rows("SELECT t1.id, t2.id FROM t1, t2 WHERE t2.s = t1.s AND t2.a = 1")));
    // A key lookup (the unique index on ID) opens the inner scan again for
    // every outer row, with the outer row's value.
    provider.scans.clear();
    r = run("SELECT t1.id, t2.id FROM t1, t2 WHERE t2.id = t1.id AND t1.id < 5");
    ASSERT_EQ(r.code, 0) << r.message;
    // T2 (80 rows) outside, T1 (300) looked up by key for each T2 row.
    ASSERT_EQ(provider.scans.size(), 81u);
    EXPECT_EQ(provider.scans[0].table, "T2");
    EXPECT_EQ(provider.scans[1].restrictions, (std::vector<std::string>{"ID = 1", "ID < 5"}));
    // Without the index the same query reads T2 once.
    provider.id_is_key = false;
    provider.scans.clear();
    r = run("SELECT t1.id, t2.id FROM t1, t2 WHERE t2.id = t1.id AND t1.id < 5");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(provider.scans.size(), 2u);
    EXPECT_EQ(r.rows.size(), 4u);
}

// The WHERE conditions of the tables of a FROM-clause join reach their scans
// (a provider may need them: a mandatory filter), except an IS NULL on a side
// that may be NULL-extended, and conditions that take another table's values.
TEST_F(Sorting, JoinedTablesTakeTheirWhereRestrictions) {
    struct Want {
        const char *sql;
        std::vector<std::string> t1, t2;
    };
    const Want wants[] = {
        {"SELECT t1.id FROM t1 JOIN t2 ON t1.a = t2.a WHERE t1.id < 100 AND t2.b > 0", {"ID < 100"}, {"B > 0"}},
        {"SELECT t1.id FROM t1 LEFT JOIN t2 ON t1.a = t2.a WHERE t2.id < 40 AND t2.s IS NULL", {}, {"ID < 40"}},
        {"SELECT t1.id FROM t2 RIGHT JOIN t1 ON t1.a = t2.a WHERE t1.s IS NULL AND t2.id = 3",
         {"S IS NULL"}, {"ID = 3"}},
        {"SELECT t1.id FROM t1 JOIN t2 ON t1.a = t2.a WHERE t2.id = t1.b", {}, {}},
    };
    for (const Want &w : wants) {
        provider.scans.clear();
        RunResult r = run(w.sql);
        ASSERT_EQ(r.code, 0) << w.sql << ": " << r.message;
        ASSERT_EQ(provider.scans.size(), 2u) << w.sql;
        for (const auto &scan : provider.scans)
            EXPECT_EQ(scan.restrictions, scan.table == "T1" ? w.t1 : w.t2) << w.sql << " " << scan.table;
    }
}

TEST_F(Sorting, AndOverOrMakesAlternativesUpToTheCap) {
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE (id = 1 OR id = 2) AND a IS NOT NULL");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(provider.scans.size(), 2u);
    EXPECT_EQ(provider.scans[0].restrictions, (std::vector<std::string>{"ID = 1"}));
    EXPECT_EQ(provider.scans[1].restrictions, (std::vector<std::string>{"ID = 2"}));
    // 2^5 = 32 alternatives are made; 2^6 are not.
    const char *five = "SELECT id FROM t1 WHERE (id = 1 OR id = 2) AND (id = 1 OR id = 3) AND (id = 1 OR id = 4)"
                       " AND (id = 1 OR id = 5) AND (id = 1 OR id = 6)";
    provider.scans.clear();
    r = run(five);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(provider.scans.size(), 32u);
    EXPECT_EQ(r.rows, (Rows{{"1"}}));
    std::string six = std::string(five) + " AND (id = 1 OR id = 7)";
    provider.scans.clear();
    r = run(six);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(provider.scans.size(), 1u);
    EXPECT_EQ(r.rows, (Rows{{"1"}}));
}

TEST_F(Sorting, SpillingSortsGiveTheSameRows) {
    provider.tables.push_back(memprov::generate("BIGT", 6000, 21, true));
    provider.tables.push_back(memprov::generate_typed("BIGL", 3000, 22));
    memprov::load_into_sqlite(provider, db);
    const char *queries[] = {
        "SELECT a, s, COUNT(*), SUM(n), MIN(b) FROM bigt GROUP BY a, s",
        "SELECT DISTINCT s, a FROM bigt",
        "SELECT COUNT(DISTINCT b), COUNT(DISTINCT s) FROM bigt",
        // DISTINCT set functions past their hash sets' memory: the rest
        // through unique sorts, every kind, with and without groups
        "SELECT COUNT(DISTINCT id), SUM(DISTINCT id), AVG(DISTINCT n) FROM bigt",
        ("SELECT a, COUNT(DISTINCT id), SUM(DISTINCT id), AVG(DISTINCT b), MIN(DISTINCT s), MAX(DISTINCT n), "
         "COUNT(DISTINCT b) FROM bigt GROUP BY a HAVING COUNT(DISTINCT id) > 100"),
        "SELECT id, s FROM bigt ORDER BY s DESC, id",
        "SELECT a, s FROM bigt UNION SELECT a, s FROM t1",
        // inner sides past the budget are kept in a work file
        "SELECT t1.id, b.id FROM t1 LEFT JOIN bigt b ON b.a = t1.a AND b.id < 3000 WHERE t1.id < 8",
        "SELECT t1.id, b.id FROM t1, bigt b WHERE b.s = t1.s AND t1.id < 4",
        // long keys (up to 3,000 bytes) past a budget smaller than one of them
        "SELECT DISTINCT l, d FROM bigl",
        "SELECT l, COUNT(*), MAX(m4) FROM bigl GROUP BY l",
        "SELECT l FROM bigl UNION SELECT l FROM t4",
        "SELECT id, l, ts FROM bigl ORDER BY l DESC, ts, id",
    };
    for (const char *q : queries) {
        work_mem_size = 0;
        RunResult in_memory = run(q);
        ASSERT_EQ(in_memory.code, 0) << q << in_memory.message;
        work_mem_size = 2048;
        const int64_t before = sort_open_files();
        RunResult spilled = run(q);
        ASSERT_EQ(spilled.code, 0) << q << spilled.message;
        EXPECT_EQ(spilled.rows, in_memory.rows) << q;
        EXPECT_EQ(sort_open_files(), before) << "work files gone after the statement";
    }
    // After an error in the middle of a spilling sort the files go too.
    const int64_t before = sort_open_files();
    RunResult r = run("SELECT id, 1 / (id - 5000) FROM bigt ORDER BY 2");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(sort_open_files(), before);
    work_mem_size = 0;
}

TEST_F(Sorting, InExpansionUpTo101Rows) {
    in_expansion = 1;
    provider.scans.clear();
    RunResult r = run("SELECT id FROM t1 WHERE id IN (SELECT id FROM t1 WHERE id <= 101)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 101u);
    EXPECT_EQ(provider.scans.size(), 1u + 101u) << "one keyed scan per value";
    provider.scans.clear();
    r = run("SELECT id FROM t1 WHERE id IN (SELECT id FROM t1 WHERE id <= 102)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 102u);
    // Not expanded: the outer scan reads everything (the sub-query is read
    // once to try, once more to answer).
    ASSERT_EQ(provider.scans.size(), 3u);
    EXPECT_TRUE(provider.scans[1].restrictions.empty());
    r = run("SELECT id FROM t1 WHERE id NOT IN (SELECT id FROM t1 WHERE id > 3) AND id = (SELECT MIN(id) FROM t2)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"1"}}));
    r = run("SELECT id FROM t1 WHERE id IN (SELECT id FROM t1 WHERE id < 0)");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_TRUE(r.rows.empty());
    // A correlated sub-query is left as it is.
    r = run("SELECT id FROM t1 WHERE id IN (SELECT id FROM t2 WHERE t2.a = t1.a) AND id < 10");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(sqlite_rows("SELECT id FROM t1 WHERE id IN (SELECT id FROM t2 WHERE t2.a = t1.a) AND id < 10")));
    in_expansion = 0;
}

TEST_F(Sorting, ExpansionsAreMadeAgainAtEachExecution) {
    in_expansion = 1;
    QueryConnection conn = connection();
    QueryStatement *st = query_statement_create(pool, diag, &conn);
    ASSERT_NE(st, nullptr);
    ASSERT_EQ(query_prepare(st, "SELECT COUNT(*) FROM t1 WHERE id IN (SELECT id FROM t3 WHERE a = 1)", SQL_NTS), 0);
    auto count = [&]() {
        EXPECT_EQ(query_execute(st, 0, nullptr), 0);
        EXPECT_EQ(query_fetch(st), 0);
        std::string v = print_value(query_column_value(st, 1));
        query_close_cursor(st);
        return v;
    };
    std::string first = count();
    EXPECT_EQ(first, sqlite_rows("SELECT COUNT(*) FROM t1 WHERE id IN (SELECT id FROM t3 WHERE a = 1)")[0][0]);
    // The sub-query's rows change between executions.
    memprov::Table &t3 = provider.tables[2];
    for (size_t r = 0; r < t3.row_count(); r++) t3.cells[r * t3.columns.size() + 1] = memprov::Cell::of(1);
    EXPECT_EQ(count(), "25");
    query_statement_free(st);
    in_expansion = 0;
}

TEST_F(Sorting, JoinOrderPutsTheKeyedTableFirst) {
    provider.scans.clear();
    RunResult r = run("SELECT t1.id, t2.id FROM t1, t2 WHERE t1.id = t2.a + 3 AND t2.id = 5");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(sqlite_rows("SELECT t1.id, t2.id FROM t1, t2 WHERE t1.id = t2.a + 3 AND t2.id = 5")));
    ASSERT_GE(provider.scans.size(), 2u);
    EXPECT_EQ(provider.scans[0].table, "T2");
    EXPECT_EQ(provider.scans[0].restrictions, (std::vector<std::string>{"ID = 5"}));
    EXPECT_EQ(provider.scans[1].table, "T1");
    EXPECT_EQ(provider.scans[1].restrictions.size(), 1u) << "a key lookup with the outer row's value";
}

TEST_F(Sorting, EqualEstimatesKeepTheFromOrder) {
    for (const char *name : {"E1", "E2", "E3"}) provider.tables.push_back(memprov::generate(name, 30, 5, true));
    provider.scans.clear();
    RunResult r = run("SELECT e1.id FROM e1, e2, e3 WHERE e1.a = e2.a AND e2.a = e3.a AND e3.a = e1.a");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(provider.scans.size(), 3u);
    EXPECT_EQ(provider.scans[0].table, "E1");
    EXPECT_EQ(provider.scans[1].table, "E2");
    EXPECT_EQ(provider.scans[2].table, "E3");
}

TEST_F(Sorting, ManyTablesAreOrderedGreedily) {
    std::string from = "t1", where = "t1.id = 1";
    for (int i = 0; i < 8; i++) {
        std::string name = "G" + std::to_string(i);
        provider.tables.push_back(memprov::generate(name, 12, 30 + i, true));
        from += ", " + name;
        where += " AND " + name + ".id = t1.a + 3";
    }
    memprov::load_into_sqlite(provider, db);
    std::string q = "SELECT t1.id, g7.s FROM " + from + " WHERE " + where;
    RunResult r = run(q);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(sorted(r.rows), sorted(sqlite_rows(q)));
}

TEST_F(Sorting, SetFunctionsOverSmallInputs) {
    RunResult r = run("SELECT COUNT(a), COUNT(*), AVG(a), SUM(a) FROM t1 WHERE id IN (1, 2, 3)");
    ASSERT_EQ(r.code, 0) << r.message;
    Rows expected = sqlite_rows("SELECT COUNT(a), COUNT(*), AVG(a), SUM(a) FROM t1 WHERE id IN (1, 2, 3)");
    EXPECT_EQ(r.rows, expected);
}

TEST_F(Sorting, SumOverBigintOverflowsWithAnError) {
    memprov::Table t;
    t.name = "BIG";
    t.columns = {{"V", memprov::Type::kBigint, 0}};
    for (int64_t v : {INT64_MAX - 5, int64_t{3}, int64_t{3}}) t.add_row({memprov::Cell::of(v)});
    provider.tables.push_back(t);
    RunResult r = run("SELECT SUM(v) FROM big WHERE v < 10");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"6"}}));
    r = run("SELECT SUM(v) FROM big");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.sqlstate, "22003");
    // AVG does not overflow: its sum is wider.
    r = run("SELECT COUNT(*) FROM big WHERE v > (SELECT AVG(v) FROM big)");
    EXPECT_EQ(r.code, 0) << r.message;
}

TEST_F(Sorting, OrderByKeepsTheOrderRowsCameInForEqualKeys) {
    RunResult r = run("SELECT a, id FROM t1 ORDER BY 1 DESC");
    ASSERT_EQ(r.code, 0) << r.message;
    Rows expected = sqlite_rows("SELECT a, id FROM t1 ORDER BY 1 DESC NULLS FIRST, id");
    EXPECT_EQ(r.rows, expected);
}

TEST_F(Sorting, RowLimitsApplyAfterOrdering) {
    RunResult r = run("SELECT TOP 3 id FROM t1 ORDER BY id DESC");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"300"}, {"299"}, {"298"}}));
    r = run("SELECT DISTINCT TOP 2 a FROM t1 WHERE a IS NOT NULL ORDER BY a");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"-3"}, {"-2"}}));
}

TEST_F(Sorting, OrderByOutsideTheSelectListOfAUnionIsRefused) {
    RunResult r = run("SELECT a FROM t1 UNION SELECT a FROM t2 ORDER BY b");
    EXPECT_EQ(r.code, -1);
    EXPECT_EQ(r.sqlstate, "HY000");
}

TEST_F(Sorting, TextComparesByteWiseAndTrailingBlanksDoNotCount) {
    memprov::Table t;
    t.name = "W";
    t.columns = {{"S", memprov::Type::kText, 8}};
    for (const char *s : {"a", "A", "a ", "b", "B"}) t.add_row({memprov::Cell::text(s)});
    t.add_row({memprov::Cell{}});
    provider.tables.push_back(t);
    RunResult r = run("SELECT COUNT(DISTINCT s), COUNT(*) FROM w");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows, (Rows{{"4", "6"}}));
    r = run("SELECT DISTINCT s FROM w ORDER BY s");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_EQ(r.rows.size(), 5u);
    EXPECT_EQ(r.rows[0][0], "A");
    EXPECT_EQ(r.rows[1][0], "B");
    EXPECT_EQ(r.rows[4][0], "NULL");
    r = run("SELECT s FROM w ORDER BY s DESC");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows[0][0], "NULL");
}

}  // namespace
