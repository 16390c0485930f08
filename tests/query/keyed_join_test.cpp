// Joins over tables that need a key: K1 and K2 refuse a scan without an
// equality on ID, as PayPal's child tables refuse one without their
// invoice's id. Every form that gives the key from the outer rows runs (comma
// joins in any FROM order, JOIN ... ON, LEFT and RIGHT joins, filters in ON
// or WHERE, grouping over the join) and gives SQLite's rows; each distinct
// outer key is read once; a query that gives no key is still refused.
#include <string>
#include <vector>

#include "tests/query/engine_fixture.h"

namespace {

const char *const kKeyedCases[] = {
    // two tables, comma joins in both FROM orders, filters on either side
    "SELECT t1.id, k1.pos, k1.s FROM t1, k1 WHERE k1.id = t1.a",
    "SELECT t1.id, k1.pos FROM k1, t1 WHERE k1.id = t1.a AND t1.b > 0",
    "SELECT t2.id, k1.pos FROM k1, t2 WHERE t2.id = k1.id AND k1.s = 'pear'",
    "SELECT t2.id, k1.pos FROM t2, k1 WHERE k1.id = t2.a + 1 AND k1.a > t2.a",
    "SELECT k1.id, k1.pos FROM k1 WHERE k1.id = 7",
    "SELECT t2.id, k1.pos FROM t2, k1 WHERE k1.id = 3 AND k1.a = t2.a",
    // JOIN ... ON: the keyed table on either side of an inner join, filters in ON and WHERE
    "SELECT t1.id, k1.pos FROM t1 JOIN k1 ON k1.id = t1.a WHERE t1.s = 'apple'",
    "SELECT t1.id, k1.pos FROM k1 JOIN t1 ON t1.a = k1.id AND k1.b > 0",
    "SELECT t1.id, k1.pos FROM t1 INNER JOIN k1 ON k1.id = t1.a AND t1.b < 1 WHERE k1.s IS NOT NULL",
    "SELECT t2.id, k1.pos FROM t2 JOIN k1 ON k1.a = t2.a WHERE k1.id = t2.id",
    // LEFT and RIGHT joins: NULL and unmatched keys NULL-extended
    "SELECT t1.id, k1.pos FROM t1 LEFT JOIN k1 ON k1.id = t1.a",
    "SELECT t1.id, k1.pos, k1.s FROM t1 LEFT JOIN k1 ON k1.id = t1.a AND t1.b > 0 AND k1.s <> 'zeta'",
    "SELECT t1.id, k1.pos FROM t1 LEFT JOIN k1 ON k1.id = t1.a WHERE t1.id < 30 AND k1.a IS NULL",
    "SELECT t2.id, k1.pos FROM k1 RIGHT JOIN t2 ON k1.id = t2.id WHERE t2.a > 0",
    // three and four tables: keys through the middle table, any FROM order
    "SELECT t2.id, k1.pos, k2.pos FROM t2, k1, k2 WHERE k1.id = t2.a AND k2.id = k1.pos",
    "SELECT t2.id, k1.pos, k2.pos FROM k2, k1, t2 WHERE k2.id = k1.id AND k1.id = t2.id",
    "SELECT t2.id, k1.pos, k2.pos FROM k1, t2, k2 WHERE k1.id = t2.id AND k2.id = t2.a AND t2.b <= 0",
    "SELECT t2.id, t3.id, k1.pos, k2.pos FROM t2, t3, k1, k2 WHERE k1.id = t2.a AND k2.id = t3.a AND t3.id < t2.id",
    "SELECT t3.id, k1.pos, k2.pos, t2.id FROM k2, t3, k1, t2 WHERE k1.id = t3.id AND k2.id = k1.pos AND t2.id = k2.a",
    // seven tables: the order is built greedily, the keyed ones still inside their keys' tables
    ("SELECT COUNT(*), SUM(k2.pos) FROM k2, k1, t3, t2 x, t2 y, t3 z, t1 "
     "WHERE k2.id = k1.pos AND k1.id = t3.id AND x.id = t3.id AND y.id = x.id AND z.id = y.id AND t1.id = z.id"),
    "SELECT t2.id, k1.pos, k2.pos FROM t2 JOIN k1 ON k1.id = t2.id LEFT JOIN k2 ON k2.id = k1.pos AND k2.a > 0",
    "SELECT t2.id, k1.pos, k2.pos FROM t2 LEFT JOIN k1 ON k1.id = t2.a JOIN k2 ON k2.id = t2.id",
    "SELECT t3.id, t2.id, k1.pos FROM t3, t2 JOIN k1 ON k1.id = t2.a WHERE t3.a = t2.a",
    "SELECT t2.id, k1.pos, t3.id FROM t2 JOIN k1 ON k1.id = t2.id, t3 WHERE t3.id = k1.pos",
    // grouping and set functions over the join
    "SELECT t2.a, COUNT(*), SUM(k1.pos) FROM k1, t2 WHERE k1.id = t2.a GROUP BY t2.a",
    "SELECT t1.s, COUNT(k1.pos), MAX(k1.s) FROM t1 LEFT JOIN k1 ON k1.id = t1.a GROUP BY t1.s",
    "SELECT COUNT(*) FROM t2, k1, k2 WHERE k1.id = t2.id AND k2.id = k1.a",
};

class KeyedJoins : public EngineFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        provider.tables.push_back(memprov::generate_children("K1", GetParam() + 300));
        provider.tables.push_back(memprov::generate_children("K2", GetParam() + 400));
        add_seeded_tables(GetParam());
    }
    // Keyed reads of `table` the provider was asked for.
    long reads_of(const char *table) const {
        long n = 0;
        for (const memprov::StartedScan &s : provider.scans) n += s.table == table;
        return n;
    }
};

// With the restrictions applied and ignored, with and without the provider's
// unique index on ID (the key must then come from the required key alone),
// with the tables of the join read as one derived table, and with the
// smallest memory budget (the rows kept go to work files).
TEST_P(KeyedJoins, SameRowsAsSQLite) {
    for (const char *sql : kKeyedCases) {
        const Rows expected = sorted(sqlite_rows(sql));
        for (int variant = 0; variant < 10; variant++) {
            provider.ignore_restrictions = (variant & 1) != 0;
            provider.id_is_key = (variant & 2) == 0;
            relational_opt = (variant & 4) != 0;
            work_mem_size = variant >= 8 ? 1 : 0;
            RunResult r = run(sql);
            ASSERT_EQ(r.code, 0) << sql << " (variant " << variant << "): " << r.message;
            EXPECT_EQ(sorted(r.rows), expected) << sql << " (variant " << variant << ")";
            EXPECT_EQ(provider.open_iterators, 0) << sql;
        }
    }
}

// One read per distinct key the outer rows give after their own filters
// (NULL keys read nothing): counted against SQLite's COUNT(DISTINCT ...).
// The outer filters count even when the provider ignores them, as PayPal
// ignores a filter on an invoice's status.
TEST_P(KeyedJoins, OneReadPerDistinctOuterKey) {
    const struct {
        const char *sql;
        const char *table;
        const char *distinct_keys;  // SQLite
    } cases[] = {
        {"SELECT t1.id, k1.pos FROM t1, k1 WHERE k1.id = t1.a AND t1.b > 3.5", "K1",
         "SELECT COUNT(DISTINCT a) FROM t1 WHERE b > 3.5"},
        {"SELECT t1.id, k1.pos FROM k1, t1 WHERE t1.id = k1.id AND t1.a = 2", "K1",
         "SELECT COUNT(DISTINCT id) FROM t1 WHERE a = 2"},
        {"SELECT t1.id, k1.pos FROM t1 JOIN k1 ON k1.id = t1.a WHERE t1.s = 'apple'", "K1",
         "SELECT COUNT(DISTINCT a) FROM t1 WHERE s = 'apple'"},
        {"SELECT t1.id, k1.pos FROM t1 LEFT JOIN k1 ON k1.id = t1.a AND t1.b > 3.5", "K1",
         "SELECT COUNT(DISTINCT a) FROM t1 WHERE b > 3.5"},
        {"SELECT t2.id, k1.pos, k2.pos FROM t2, k1, k2 WHERE k1.id = t2.a AND k2.id = k1.pos", "K2",
         "SELECT COUNT(DISTINCT k1.pos) FROM t2, k1 WHERE k1.id = t2.a"},
        {"SELECT t2.a, COUNT(*) FROM k2, k1, t2 WHERE k2.id = k1.id AND k1.id = t2.a GROUP BY t2.a", "K2",
         "SELECT COUNT(DISTINCT t2.a) FROM t2, k1 WHERE k1.id = t2.a"},
    };
    for (const auto &c : cases)
        for (bool ignore : {false, true}) {
            provider.ignore_restrictions = ignore;
            provider.scans.clear();
            RunResult r = run(c.sql);
            ASSERT_EQ(r.code, 0) << c.sql << ": " << r.message;
            const Rows distinct = sqlite_rows(c.distinct_keys);
            EXPECT_EQ(std::to_string(reads_of(c.table)), distinct.at(0).at(0)) << c.sql << (ignore ? " (ignored)" : "");
        }
}

// A query that gives no equality on the key from literals, parameters or
// rows read before the table is refused by the provider, naming the column.
TEST_P(KeyedJoins, WithoutAKeyTheProviderRefuses) {
    const char *const cases[] = {
        "SELECT * FROM k1",
        "SELECT t1.id FROM t1, k1 WHERE k1.a = t1.a",
        "SELECT t1.id FROM t1, k1 WHERE k1.id > t1.a",
        "SELECT t1.id FROM t1, k1 WHERE k1.id = t1.a OR k1.a = 1",
        "SELECT t1.id FROM k1 LEFT JOIN t1 ON k1.id = t1.a",
        "SELECT t1.id FROM t1 FULL JOIN k1 ON k1.id = t1.a",
        "SELECT k1.pos FROM k1, k2 WHERE k1.id = k2.id",
    };
    for (const char *sql : cases) {
        RunResult r = run(sql);
        EXPECT_EQ(r.code, -1) << sql;
        EXPECT_NE(r.message.find("Field 'ID' must be specified in query"), std::string::npos) << sql << ": " << r.message;
        EXPECT_EQ(provider.open_iterators, 0) << sql;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeyedJoins, ::testing::Values(1u, 2u, 3u));

}  // namespace
