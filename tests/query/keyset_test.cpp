// Keyset cursors over the in-memory provider: which queries have a row
// identity, rows shown again read by it (changed values seen, vanished rows
// reported deleted, one keyed read per row shown), key columns and special
// columns -1 and -2 as identities, and a key string too long to keep.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <string>
#include <vector>

#include "query/exec_api.h"
#include "query/rowset.h"
#include "support/diag.h"
#include "tests/query/engine_fixture.h"

namespace {

class Keyset : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        memprov::Table t = memprov::generate("T", 6, 11, false);
        t.key_columns = 1;
        t.identity = kRowIdentityKeyColumns;
        provider.tables.push_back(t);
        memprov::Table u = memprov::generate("U", 4, 12, false);  // no identity declared
        u.key_columns = 1;
        provider.tables.push_back(u);
        QueryConnection c = connection();
        st = query_statement_create(pool, diag, &c);
        ASSERT_NE(st, nullptr);
    }
    void TearDown() override {
        rowset_close(rs);
        query_statement_free(st);
        EXPECT_EQ(provider.open_iterators, 0);
        EngineFixture::TearDown();
    }

    memprov::Table &table(const char *name) {
        for (memprov::Table &t : provider.tables)
            if (t.name == name) return t;
        return provider.tables.front();
    }

    // Prepares and executes `sql` asking for identities. The identity count.
    int execute(const std::string &sql) {
        SetupErrorHeader(diag, 0);
        QueryOptions o{};
        o.row_identity = 1;
        query_set_options(st, &o);
        EXPECT_EQ(query_prepare(st, sql.c_str(), SQL_NTS), 0) << sql;
        EXPECT_EQ(query_execute(st, 0, nullptr), 0) << sql << " " << (diag_count(diag) ? diag_message(diag, 1) : "");
        return query_identity_count(st);
    }

    // The rowset the ODBC layer would open over the statement.
    static int next(void *a) { return query_fetch(static_cast<QueryStatement *>(a)); }
    static Value *column(void *a, int c) { return query_column_value(static_cast<QueryStatement *>(a), c); }
    static Value *identity(void *a, int k) { return query_identity_value(static_cast<QueryStatement *>(a), k); }
    static int remove(void *, int64_t, Value *const *) { return 0; }
    static int refetch(void *a, int64_t, Value **values) {
        auto *q = static_cast<QueryStatement *>(a);
        return query_refetch_row(q, values + 1 + query_result_column_count(q), values + 1);
    }
    // Opens the rowset and fills it, as a keyset cursor opens: the fill's result.
    int open_keyset(int cache = 0) {
        RowSource s{};
        s.arg = st;
        s.column_count = query_result_column_count(st);
        s.next_row = next;
        s.column_value = column;
        s.refetch = refetch;
        s.delete_row = remove;
        s.identity_count = query_identity_count(st);
        s.identity_value = identity;
        RowsetOptions o{};
        o.mode = RowsetMode::kKeyset;
        o.cache_records = cache;
        rs = rowset_open(pool, diag, &s, &o);
        if (!rs) {
            ADD_FAILURE() << "rowset_open";
            return -1;
        }
        return rowset_fill(rs);
    }

    static int deliver(void *arg, int64_t, int64_t, Value *const *values) {
        auto *self = static_cast<Keyset *>(arg);
        std::string row;
        for (int c = 1; c <= query_result_column_count(self->st); c++) row += (c > 1 ? "|" : "") + print_value(values[c]);
        self->shown.push_back(row);
        return 0;
    }
    // One block fetch: "rc status... : rows".
    std::string fetch(int orientation, int64_t offset, int size) {
        shown.clear();
        std::vector<SQLUSMALLINT> status(static_cast<size_t>(size), 99);
        SQLULEN fetched = 0;
        FetchRequest rq{};
        rq.orientation = orientation;
        rq.offset = offset;
        rq.array_size = size;
        rq.status = status.data();
        rq.rows_fetched = &fetched;
        rq.deliver = deliver;
        rq.deliver_arg = this;
        SetupErrorHeader(diag, 0);
        int rc = rowset_fetch(rs, &rq);
        std::string out = std::to_string(rc);
        for (SQLUSMALLINT s : status) out += " " + std::to_string(s);
        out += " :";
        for (const std::string &r : shown) out += " " + r;
        return out;
    }

    QueryStatement *st = nullptr;
    Rowset *rs = nullptr;
    std::vector<std::string> shown;
};

TEST_F(Keyset, QueriesWithoutARowIdentity) {
    const memprov::Table t = table("T");
    memprov::Table special = t;
    special.name = "S2";
    special.identity = kRowIdentityKeyString;
    memprov::Table keyless = t;
    keyless.name = "NOKEY";
    keyless.key_columns = 0;
    provider.tables.push_back(special);
    provider.tables.push_back(keyless);
    const char *const cases[] = {
        "SELECT id, s FROM u",                        // the provider cannot read its rows one by one
        "SELECT id FROM nokey",                       // no key columns
        "SELECT id, a + 1 FROM t",                    // an expression
        "SELECT 1 FROM t",
        "SELECT t.id, u.s FROM t, u WHERE t.id = u.id",  // a joined table without identity
        "SELECT t.id, t2.s FROM t, t t2 WHERE t.id = t2.id",  // a joined table's key not shown
        "SELECT t.id, t2.id FROM t LEFT JOIN t t2 ON t.id = t2.a",  // an outer join
        "SELECT a, COUNT(*) FROM t GROUP BY a",       // grouping
        "SELECT COUNT(*) FROM t",
        "SELECT DISTINCT id FROM t",
        "SELECT id FROM t UNION SELECT id FROM t",
        "SELECT id FROM t UNION ALL SELECT id FROM t",
        "SELECT s FROM t ORDER BY s",                 // the key is not carried through the sort
        "SELECT s FROM s2 ORDER BY s",                // nor is a special column
    };
    for (const char *sql : cases) {
        EXPECT_EQ(execute(sql), 0) << sql;
        query_close_cursor(st);
    }
    EXPECT_TRUE(provider.fetches.empty());
}

TEST_F(Keyset, RowsShownAgainAreReadAgainByTheirKey) {
    ASSERT_EQ(execute("SELECT id, s FROM t WHERE id <= 4"), 1);
    ASSERT_EQ(open_keyset(2), 0);  // past the record cache: identities come back from the file
    EXPECT_EQ(rowset_rows_stored(rs), 4) << "the keyset is read when the cursor opens";
    EXPECT_TRUE(provider.fetches.empty());
    memprov::Table &t = table("T");
    t.at(1, 3) = memprov::Cell::text("changed");
    t.erase_row(2);  // id 3 vanishes
    std::string again = fetch(SQL_FETCH_NEXT, 0, 4);
    EXPECT_EQ(again.substr(0, 10), "1 0 0 1 0 ") << again;  // SQL_ROW_DELETED for id 3
    EXPECT_NE(again.find(" 2|changed "), std::string::npos) << again;
    EXPECT_EQ(again.find(" 3|"), std::string::npos) << again;
    EXPECT_EQ(provider.fetches, (std::vector<std::string>{"T ID=1", "T ID=2", "T ID=3", "T ID=4"}))
        << "one keyed read per row shown";
    // The current row reads the current data too; a vanished one is no position.
    EXPECT_EQ(fetch(SQL_FETCH_ABSOLUTE, 2, 1), "0 0 : 2|changed");
    Value *s = rowset_value(rs, 2);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(print_value(s), "changed");
    int64_t affected = 0;
    EXPECT_EQ(fetch(SQL_FETCH_ABSOLUTE, 3, 1), "1 1 :");
    SetupErrorHeader(diag, 0);
    EXPECT_EQ(rowset_set_pos(rs, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE, &affected, nullptr), -1);
    EXPECT_STREQ(diag_sqlstate(diag, 1), "40001");
}

TEST_F(Keyset, JoinedRowsAreReadAgainTableByTable) {
    memprov::Table v = table("T");
    v.name = "V";
    provider.tables.push_back(v);
    // U's rows are not shown: its table is not read again.
    ASSERT_EQ(execute("SELECT t.id, v.s, t.s, v.id FROM t, v, u WHERE t.id = v.id AND u.id = t.id AND t.id < 4"), 2);
    ASSERT_EQ(open_keyset(), 0);
    table("V").at(1, 3) = memprov::Cell::text("v changed");
    table("T").erase_row(2);  // the row of t.id 3 goes
    std::string shown = fetch(SQL_FETCH_NEXT, 0, 3);
    EXPECT_EQ(shown.substr(0, 8), "1 0 0 1 ") << shown;
    EXPECT_NE(shown.find(" 2|v changed|"), std::string::npos) << shown;
    EXPECT_EQ(provider.fetches, (std::vector<std::string>{"T ID=1", "V ID=1", "T ID=2", "V ID=2", "T ID=3"}));
}

TEST_F(Keyset, KeysOutsideTheSelectListComeFromTheScan) {
    ASSERT_EQ(execute("SELECT s, a FROM t WHERE id > 4"), 1);
    ASSERT_EQ(open_keyset(), 0);
    table("T").at(4, 1) = memprov::Cell::of(77);
    std::string again = fetch(SQL_FETCH_NEXT, 0, 3);
    EXPECT_EQ(again.substr(0, 8), "0 0 0 3 ") << again;
    EXPECT_NE(again.find("|77"), std::string::npos) << again;
    EXPECT_EQ(provider.fetches, (std::vector<std::string>{"T ID=5", "T ID=6"}));
}

// Each OR branch its own scan, sub-queries over the same table beside:
// the key each row keeps is that of the scan that produced it.
TEST_F(Keyset, KeysFromTheScanUnderSplitConditionsAndSubqueries) {
    const char *const queries[] = {
        "SELECT s, a FROM t WHERE id = 5 OR id = 2",
        "SELECT s, a FROM t WHERE id IN (5, NULL, 2)",
        "SELECT s, a FROM t WHERE id = (SELECT MAX(id) - 1 FROM t) OR id = (SELECT MIN(id) + 1 FROM t)",
        "SELECT s, a FROM t WHERE id IN (SELECT id FROM t x WHERE x.id = t.id AND (x.id = 2 OR x.id = 5))",
    };
    for (const char *q : queries) {
        provider.fetches.clear();
        ASSERT_EQ(execute(q), 1) << q;
        ASSERT_EQ(open_keyset(), 0) << q;
        provider.fetches.clear();
        std::string shown = fetch(SQL_FETCH_FIRST, 0, 3);
        EXPECT_EQ(shown.substr(0, 8), "0 0 0 3 ") << q << ": " << shown;
        std::vector<std::string> read = provider.fetches;
        std::sort(read.begin(), read.end());
        EXPECT_EQ(read, (std::vector<std::string>{"T ID=2", "T ID=5"})) << q;
        rowset_close(rs);
        rs = nullptr;
        query_close_cursor(st);
    }
}

TEST_F(Keyset, SortedRowsKeepTheKeyTheyCarry) {
    ASSERT_EQ(execute("SELECT s, id FROM t ORDER BY id DESC"), 1);
    ASSERT_EQ(open_keyset(), 0);
    table("T").at(5, 3) = memprov::Cell::text("last");
    EXPECT_EQ(fetch(SQL_FETCH_FIRST, 0, 1), "0 0 : last|6");
    EXPECT_EQ(provider.fetches, std::vector<std::string>{"T ID=6"});
}

TEST_F(Keyset, SpecialColumnsAsIdentities) {
    memprov::Table &t = table("T");
    struct Case {
        int32_t identity;
        const char *fetched;
    };
    const Case cases[] = {{kRowIdentityRowNumber, "T -1=2"}, {kRowIdentityKeyString, "T -2=K2"}};
    for (const Case &c : cases) {
        t.identity = c.identity;
        provider.fetches.clear();
        ASSERT_EQ(execute("SELECT s FROM t"), 1);
        ASSERT_EQ(open_keyset(), 0);
        EXPECT_EQ(fetch(SQL_FETCH_ABSOLUTE, 2, 1).substr(0, 4), "0 0 ");
        EXPECT_EQ(provider.fetches, std::vector<std::string>{c.fetched});
        rowset_close(rs);
        rs = nullptr;
        query_close_cursor(st);
    }
}

TEST_F(Keyset, AKeyStringLongerThan32BytesIsAnErrorNamingTheTable) {
    memprov::Table &t = table("T");
    t.identity = kRowIdentityKeyString;
    t.key_string = {"", "", std::string(32, 'k'), std::string(33, 'k')};
    ASSERT_EQ(execute("SELECT id FROM t"), 1);
    EXPECT_EQ(open_keyset(), -1);
    EXPECT_EQ(rowset_rows_stored(rs), 3) << "32 bytes are kept";
    ASSERT_GT(diag_count(diag), 0);
    EXPECT_STREQ(diag_sqlstate(diag, 1), "HY000");
    EXPECT_NE(std::string(diag_message(diag, 1)).find("table T is longer than 32 bytes"), std::string::npos)
        << diag_message(diag, 1);
}

}  // namespace
