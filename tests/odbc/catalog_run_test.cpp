// The catalogue functions' run on a connection whose DAL is built by the
// test: empty results keep their columns, a failed asynchronous call
// releases only the pool it made, bad lengths are refused before the DAL.
#include <thread>

#include "dal/dal.h"
#include "odbc/stmt_run.h"
#include "odbc_fixture.h"

namespace {

struct CatalogRun : ConnectedFixture {
    // One provider that cannot open an iterator: every listing fails.
    void broken_provider() {
        DalRecord *dal = conn()->dal;
        dal->count = 1;
        dal->providers = pool_new_array<DalProvider *>(conn()->pool, 1);
        dal->providers[0] = pool_new<DalProvider>(conn()->pool);
    }
    void no_providers() {
        conn()->dal->count = 0;
        conn()->dal->providers = nullptr;
    }
    void TearDown() override {
        no_providers();
        ConnectedFixture::TearDown();
    }
    SQLRETURN tables() { return SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }
};

TEST_F(CatalogRun, EmptyListingsKeepTheirColumns) {
    struct Case {
        SQLRETURN (*call)(SQLHSTMT);
        SQLSMALLINT columns;
    };
    const Case cases[] = {
        {[](SQLHSTMT h) { return SQLTables(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, 5},
        {[](SQLHSTMT h) { return SQLColumns(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, 18},
        {[](SQLHSTMT h) { return SQLStatistics(h, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0); }, 13},
        {[](SQLHSTMT h) { return SQLProcedures(h, nullptr, 0, nullptr, 0, nullptr, 0); }, 8},
        {[](SQLHSTMT h) { return SQLProcedureColumns(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, 19},
        {[](SQLHSTMT h) { return SQLForeignKeys(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, 14},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(c.call(stmt), SQL_SUCCESS) << stmt_state();
        SQLSMALLINT n = 0;
        EXPECT_EQ(SQLNumResultCols(stmt, &n), SQL_SUCCESS);
        EXPECT_EQ(n, c.columns);
        EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
        EXPECT_EQ(SQLFreeStmt(stmt, SQL_CLOSE), SQL_SUCCESS);
    }
}

TEST_F(CatalogRun, NegativeLengthsOtherThanNtsAreRefusedBeforeTheDal) {
    for (SQLSMALLINT bad : {SQLSMALLINT(-1), SQLSMALLINT(-4), SQLSMALLINT(-100)}) {
        EXPECT_EQ(SQLTables(stmt, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR *>(const_cast<char *>("T")), bad,
                            nullptr, 0),
                  SQL_ERROR);
        EXPECT_EQ(stmt_state(), "HY090") << bad;
        EXPECT_EQ(st()->state, S1);
    }
    EXPECT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, reinterpret_cast<SQLCHAR *>(const_cast<char *>("T")), SQL_NTS,
                         nullptr, 0),
              SQL_SUCCESS);
}

TEST_F(CatalogRun, AFailedAsynchronousCallReleasesOnlyItsOwnPool) {
    broken_provider();
    st()->attrs.async_enable = SQL_ASYNC_ENABLE_ON;
    SQLRETURN rc = tables();
    ASSERT_EQ(rc, SQL_STILL_EXECUTING);
    for (int i = 0; i < 500 && rc == SQL_STILL_EXECUTING; i++) rc = tables();
    EXPECT_EQ(rc, SQL_ERROR);
    auto *run = static_cast<StatementRun *>(st()->exec_list);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->catalog_pool, nullptr) << "the released pool is forgotten";
    EXPECT_EQ(st()->state, S1);
    EXPECT_NE(cv_mem_alloc(st()->pool, 64), nullptr) << "the statement's own pool is untouched";
    EXPECT_EQ(stmt_close_results(st()), 0) << "closing again releases nothing twice";

    st()->attrs.async_enable = SQL_ASYNC_ENABLE_OFF;
    no_providers();
    ASSERT_EQ(tables(), SQL_SUCCESS);
    EXPECT_NE(run->catalog_pool, nullptr);
    EXPECT_EQ(SQLFetch(stmt), SQL_NO_DATA);
}

}  // namespace
