// Connecting refusals that never reach a provider, through the exports.
#include <gtest/gtest.h>

#include <string>

#include "driver_loader.h"

namespace {

using ConnectFn = SQLRETURN (*)(SQLHDBC, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT);
using DriverConnectFn = SQLRETURN (*)(SQLHDBC, SQLHWND, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT,
                                      SQLSMALLINT *, SQLUSMALLINT);
using DisconnectFn = SQLRETURN (*)(SQLHDBC);

struct ConnectApi : ::testing::Test {
    Driver &d = Driver::get();
    ConnectFn connect = reinterpret_cast<ConnectFn>(d.symbol("SQLConnect"));
    DriverConnectFn driver_connect = reinterpret_cast<DriverConnectFn>(d.symbol("SQLDriverConnect"));
    DisconnectFn disconnect = reinterpret_cast<DisconnectFn>(d.symbol("SQLDisconnect"));
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    void SetUp() override {
        ASSERT_TRUE(connect && driver_connect && disconnect);
        ASSERT_EQ(d.AllocHandleStd(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(d.AllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    }
    void TearDown() override {
        d.FreeHandle(SQL_HANDLE_DBC, dbc);
        d.FreeHandle(SQL_HANDLE_ENV, env);
    }
    SQLCHAR *u(const std::string &s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s.c_str())); }
};

TEST_F(ConnectApi, ArgumentsThatCannotBeCopiedAreRefused) {
    struct Case {
        std::string server, user, password;
        SQLSMALLINT server_len;
        const char *state;
    } cases[] = {
        {"", "", "", SQL_NTS, "IM002"},
        {std::string(200, 'd'), "", "", SQL_NTS, "HY090"},
        {"dsn", std::string(5000, 'u'), "", SQL_NTS, "HY090"},
        {"dsn", "", std::string(5000, 'p'), SQL_NTS, "HY090"},
        {"dsn", "", "", -7, "HY090"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(connect(dbc, u(c.server), c.server_len, u(c.user), SQL_NTS, u(c.password), SQL_NTS), SQL_ERROR);
        EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), c.state) << c.server.size() << "/" << c.user.size();
    }
    EXPECT_EQ(disconnect(dbc), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "08003") << "never connected";
}

TEST_F(ConnectApi, DriverConnectRefusals) {
    SQLCHAR out[64];
    SQLSMALLINT n = 0;
    EXPECT_EQ(driver_connect(dbc, nullptr, u("SAVEFILE=x.dsn;client_id=a"), SQL_NTS, out, sizeof out, &n,
                             SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "01S09");
    EXPECT_EQ(driver_connect(dbc, nullptr, u("client_id={unterminated"), SQL_NTS, out, sizeof out, &n,
                             SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "HY000");
    EXPECT_EQ(driver_connect(dbc, nullptr, u("client_id=a"), SQL_NTS, out, sizeof out, &n, SQL_DRIVER_NOPROMPT),
              SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "HY000");
    EXPECT_EQ(driver_connect(dbc, nullptr, u("client_id=a"), -9, out, sizeof out, &n, SQL_DRIVER_NOPROMPT),
              SQL_ERROR);
    EXPECT_EQ(sqlstate_of(SQL_HANDLE_DBC, dbc), "HY090");
    EXPECT_EQ(driver_connect(nullptr, nullptr, u("x=1"), SQL_NTS, out, sizeof out, &n, 0), SQL_INVALID_HANDLE);
}

}  // namespace
