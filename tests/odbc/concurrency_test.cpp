// Handles of one environment used from several threads at once: each thread
// owns its connections and statements, so only the shared environment pool
// and the connection-state lock are contended.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "odbc/handles.h"
#include "odbc/odbc_api.h"

namespace {

TEST(Concurrency, ConnectionsOfOneEnvironmentOnEightThreads) {
    SQLHENV env;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    long pools_before = cv_mem_live_pools();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; i++) {
                SQLHDBC dbc;
                SQLHSTMT stmts[3];
                if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) {
                    failures++;
                    continue;
                }
                for (auto &s : stmts)
                    if (SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s) != SQL_SUCCESS) failures++;
                if (SQLFreeHandle(SQL_HANDLE_STMT, stmts[1]) != SQL_SUCCESS) failures++;
                if (SQLFreeHandle(SQL_HANDLE_DBC, dbc) != SQL_SUCCESS) failures++;
            }
        });
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(static_cast<ENV *>(env)->connections, 0);
    EXPECT_EQ(static_cast<ENV *>(env)->state, ENV_ALLOCATED);
    EXPECT_EQ(cv_mem_live_pools(), pools_before) << "every connection's pools were released";
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

}  // namespace
