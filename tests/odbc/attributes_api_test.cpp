// Attributes, descriptors and driver information through the driver's
// exports, on a connection that has not connected: what a driver manager
// sees before SQLConnect.
#include <gtest/gtest.h>

#include <cstring>

#include "driver_loader.h"

namespace {

Driver &D() { return Driver::get(); }

struct Unconnected : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    void SetUp() override {
        ASSERT_EQ(D().AllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(D().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(D().AllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    }
    void TearDown() override {
        EXPECT_EQ(D().FreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
        EXPECT_EQ(D().FreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    }
};

TEST_F(Unconnected, OnlyTheOdbcVersionsAreAnsweredWithTruncationInBothForms) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    SQLSMALLINT len = -1;
    EXPECT_EQ(D().GetInfo(dbc, SQL_ODBC_VER, buf, 5, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buf, "01.0");
    EXPECT_EQ(len, 10);
    EXPECT_EQ(buf[5], '#');
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "01004");
    unsigned char wbuf[16];
    std::memset(wbuf, '#', sizeof wbuf);
    EXPECT_EQ(D().GetInfoW(dbc, SQL_DRIVER_ODBC_VER, wbuf, 8, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(len, 10);
    EXPECT_EQ(wbuf[8], '#');
    EXPECT_EQ(D().GetInfoW(dbc, SQL_DRIVER_ODBC_VER, wbuf, sizeof wbuf, &len), SQL_SUCCESS);
    EXPECT_EQ(std::memcmp(wbuf, u"03.51", 12), 0);
    EXPECT_EQ(D().GetInfo(dbc, SQL_DBMS_NAME, buf, sizeof buf, &len), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "08003");
    SQLUSMALLINT supported[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
    EXPECT_EQ(D().GetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, supported), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "HY010");
}

TEST_F(Unconnected, AttributesAndDescriptorsThroughTheExports) {
    SQLINTEGER v = -1;
    EXPECT_EQ(D().GetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(D().SetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(5), 0), SQL_SUCCESS);
    EXPECT_EQ(D().GetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 5);
    SQLHDESC ard = nullptr, mine = nullptr;
    ASSERT_EQ(D().GetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(D().AllocHandle(SQL_HANDLE_DESC, dbc, &mine), SQL_SUCCESS);
    ASSERT_EQ(D().SetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, mine, 0), SQL_SUCCESS);
    ASSERT_EQ(D().SetDescField(mine, 0, SQL_DESC_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_SUCCESS);
    SQLULEN size = 0;
    ASSERT_EQ(D().GetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(D().SetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, env, 0), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_STMT, stmt), "HY024");
    EXPECT_EQ(D().CopyDesc(mine, ard), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DESC, ard), "HY000");
    ASSERT_EQ(D().FreeHandle(SQL_HANDLE_DESC, mine), SQL_SUCCESS);
    SQLHDESC now = nullptr;
    ASSERT_EQ(D().GetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &now, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(now, ard);
    ASSERT_EQ(D().GetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 1u);
}

}  // namespace
