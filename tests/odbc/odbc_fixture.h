// A connection and statement for the layer's direct tests: the connection
// counts as connected (so every attribute and information type answers) and
// is put back to disconnected before it is freed.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "odbc/handles.h"
#include "odbc/odbc_api.h"

struct ConnectedFixture : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;

    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        conn()->state = CONN_CONNECTED;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    }
    void TearDown() override {
        conn()->state = CONN_DISCONNECTED;
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    }
    DBC *conn() { return static_cast<DBC *>(dbc); }
    STMT *st() { return static_cast<STMT *>(stmt); }
    static std::string state_of(const ErrorHeader *h, int n = 1) {
        return diag_count(h) >= n ? diag_sqlstate(h, n) : "";
    }
    std::string dbc_state() { return state_of(conn()->diag); }
    std::string stmt_state() { return state_of(st()->diag); }
};
