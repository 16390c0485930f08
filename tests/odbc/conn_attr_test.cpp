// Connection attributes and the ODBC 2 connection options: every attribute
// set and read back, with its refusals, texts at every buffer size.
#include <cstring>
#include <string>
#include <vector>

#include "odbc_fixture.h"

namespace {

using ConnAttrTest = ConnectedFixture;

struct IntCase {
    SQLINTEGER attribute;
    SQLLEN set;               // value given to SQLSetConnectAttr
    SQLRETURN set_rc;
    const char *set_state;    // "" when nothing is posted
    SQLRETURN get_rc;
    SQLINTEGER get;           // value read back (when get_rc is SQL_SUCCESS)
};

// clang-format off
const IntCase kIntCases[] = {
    {SQL_ATTR_ASYNC_ENABLE, 0, SQL_SUCCESS, "", SQL_SUCCESS, 0},
    {SQL_ATTR_ASYNC_ENABLE, 1, SQL_ERROR, "IM001", SQL_SUCCESS, 0},
    {SQL_ATTR_ACCESS_MODE, 1, SQL_SUCCESS, "", SQL_SUCCESS, 1},
    {SQL_ATTR_AUTOCOMMIT, 0, SQL_SUCCESS, "", SQL_SUCCESS, 0},
    {SQL_ATTR_AUTOCOMMIT, 1, SQL_SUCCESS, "", SQL_SUCCESS, 1},
    {SQL_ATTR_LOGIN_TIMEOUT, 30, SQL_SUCCESS, "", SQL_SUCCESS, 30},
    {SQL_ATTR_TRACE, 1, SQL_SUCCESS, "", SQL_SUCCESS, 1},
    {SQL_ATTR_TRANSLATE_OPTION, 5, SQL_SUCCESS, "", SQL_SUCCESS, 5},
    {SQL_ATTR_TXN_ISOLATION, 8, SQL_SUCCESS, "", SQL_SUCCESS, 1},       // fixed at read uncommitted
    {SQL_ATTR_ODBC_CURSORS, 0, SQL_ERROR, "08002", SQL_SUCCESS, 2},      // not once connected
    {SQL_ATTR_PACKET_SIZE, 512, SQL_ERROR, "HY011", SQL_SUCCESS, 0},
    {SQL_ATTR_CONNECTION_TIMEOUT, 7, SQL_SUCCESS, "", SQL_SUCCESS, 7},
    {SQL_ATTR_CONNECTION_DEAD, 1, SQL_ERROR, "HY024", SQL_SUCCESS, SQL_CD_FALSE},
    {SQL_ATTR_AUTO_IPD, 0, SQL_ERROR, "HY024", SQL_SUCCESS, 1},
    {SQL_ATTR_METADATA_ID, 1, SQL_SUCCESS, "", SQL_SUCCESS, 1},
    {1041, 3, SQL_SUCCESS, "", SQL_ERROR, 0},
    {1042, 3, SQL_SUCCESS, "", SQL_ERROR, 0},
    {SQL_ATTR_QUERY_TIMEOUT, 30, SQL_SUCCESS, "", SQL_ERROR, 0},         // lands in the defaults statement
    {SQL_ATTR_ROW_ARRAY_SIZE, 10, SQL_SUCCESS, "", SQL_ERROR, 0},
    {SQL_ATTR_ROW_BIND_TYPE, 10, SQL_ERROR, "HY024", SQL_ERROR, 0},
    {9999, 1, SQL_ERROR, "HY024", SQL_ERROR, 0},
};
// clang-format on

TEST_F(ConnAttrTest, IntegerAttributesSetAndReadBack) {
    for (const IntCase &c : kIntCases) {
        SCOPED_TRACE(c.attribute);
        EXPECT_EQ(SQLSetConnectAttr(dbc, c.attribute, reinterpret_cast<SQLPOINTER>(c.set), 0), c.set_rc);
        EXPECT_EQ(dbc_state(), c.set_state);
        unsigned char buf[8];
        std::memset(buf, 0xCC, sizeof buf);
        SQLINTEGER len = -1;
        ASSERT_EQ(SQLGetConnectAttr(dbc, c.attribute, buf, sizeof buf, &len), c.get_rc);
        if (c.get_rc != SQL_SUCCESS) {
            EXPECT_EQ(dbc_state(), "HY024");
            continue;
        }
        SQLINTEGER v;
        std::memcpy(&v, buf, 4);
        EXPECT_EQ(v, c.get);
        EXPECT_EQ(len, 4);
        EXPECT_EQ(buf[4], 0xCC) << "an integer attribute is 4 bytes";
    }
    // The connection's metadata id also reaches statements allocated later.
    EXPECT_EQ(conn()->defaults->attrs.metadata_id, 1);
}

TEST_F(ConnAttrTest, QuietModeIsPointerSized) {
    int window = 0;
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_QUIET_MODE, &window, 0), SQL_SUCCESS);
    void *got = nullptr;
    SQLINTEGER len = 0;
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_QUIET_MODE, &got, sizeof got, &len), SQL_SUCCESS);
    EXPECT_EQ(got, &window);
    EXPECT_EQ(len, 8);
}

TEST_F(ConnAttrTest, StatementAttributesOnTheConnectionReachLaterStatementsOnly) {
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(30), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(-5), 0),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(dbc_state(), "01S02");
    SQLHSTMT later;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &later), SQL_SUCCESS);
    SQLULEN v = 99;
    ASSERT_EQ(SQLGetStmtAttr(later, SQL_ATTR_QUERY_TIMEOUT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 30u);
    ASSERT_EQ(SQLGetStmtAttr(later, SQL_ATTR_MAX_ROWS, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 0u);
}

TEST_F(ConnAttrTest, TextAttributesAtEveryBufferSizeInBothForms) {
    const std::string path = "/tmp/cv-trace.log";
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, const_cast<char *>(path.c_str()), SQL_NTS), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, const_cast<char *>("libx.soJUNK"), 7), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char *>("other"), SQL_NTS), SQL_SUCCESS);
    char buf[64];
    SQLINTEGER len = 0;
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "libx.so");
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "PAYPAL");
    EXPECT_EQ(len, 6);

    const SQLINTEGER n = static_cast<SQLINTEGER>(path.size());
    for (SQLINTEGER cap = 0; cap <= n + 2; cap++) {
        std::vector<char> out(static_cast<size_t>(cap) + 4, '#');
        len = -1;
        SQLRETURN rc = SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, out.data(), cap, &len);
        EXPECT_EQ(len, n);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        if (cap <= n) { EXPECT_EQ(dbc_state(), "01004"); }
        for (size_t i = static_cast<size_t>(cap); i < out.size(); i++) ASSERT_EQ(out[i], '#') << cap;
        if (cap > 0) { EXPECT_EQ(std::string(out.data()), path.substr(0, static_cast<size_t>(cap - 1))); }
    }
    for (SQLINTEGER cap = 0; cap <= 2 * n + 3; cap++) {
        std::vector<unsigned char> out(static_cast<size_t>(cap) + 4, 0x23);
        len = -1;
        SQLRETURN rc = SQLGetConnectAttrW(dbc, SQL_ATTR_TRACEFILE, out.data(), cap, &len);
        EXPECT_EQ(len, 2 * n);
        EXPECT_EQ(rc, cap / 2 > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        for (size_t i = static_cast<size_t>(cap); i < out.size(); i++) ASSERT_EQ(out[i], 0x23) << cap;
    }
    // Integer attributes are not widened.
    SQLINTEGER v = 0;
    ASSERT_EQ(SQLGetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(len, 4);
}

TEST_F(ConnAttrTest, TextValuesAreBoundedAndTheWideFormReadsUtf16) {
    const std::u16string wide = u"/tmp/wïde.log";
    ASSERT_EQ(SQLSetConnectAttrW(dbc, SQL_ATTR_TRACEFILE, const_cast<char16_t *>(wide.c_str()), SQL_NTS),
              SQL_SUCCESS);
    char buf[64];
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, buf, sizeof buf, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "/tmp/wïde.log");
    ASSERT_EQ(SQLSetConnectAttrW(dbc, SQL_ATTR_TRACEFILE, const_cast<char16_t *>(wide.c_str()), 8),
              SQL_SUCCESS);  // a byte count: four characters
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, buf, sizeof buf, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "/tmp");

    const std::string huge(5000, 'x');
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, const_cast<char *>(huge.c_str()), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "HY090");
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, const_cast<char *>("a"), -7), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "HY090");
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, buf, sizeof buf, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "/tmp") << "a refused value leaves the old one";
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, buf, -1, nullptr), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "HY090");
    ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, nullptr, 0), SQL_SUCCESS);
    SQLINTEGER len = -1;
    ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 0);
}

TEST_F(ConnAttrTest, ConnectionStateRefusals) {
    SQLINTEGER v;
    conn()->state = CONN_ALLOCATED;
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_PACKET_SIZE, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "08003");
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_OPTION, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "08003");
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, reinterpret_cast<SQLPOINTER>(1), 0), SQL_SUCCESS);
    conn()->state = CONN_BROWSING;
    EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "HY010");
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "HY010");
    conn()->state = CONN_IN_TRANSACTION;
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(2), 0), SQL_ERROR);
    EXPECT_EQ(dbc_state(), "HY011");
    // Turning autocommit on ends the transaction.
    EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(1), 0), SQL_SUCCESS);
    EXPECT_EQ(conn()->state, CONN_WITH_STATEMENTS);
    EXPECT_EQ(SQLGetConnectAttr(nullptr, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLSetConnectAttr(stmt, SQL_ATTR_AUTOCOMMIT, nullptr, 0), SQL_INVALID_HANDLE);
}

TEST_F(ConnAttrTest, Odbc2OptionsMapOntoTheAttributes) {
    ASSERT_EQ(SQLSetConnectOption(dbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY), SQL_SUCCESS);
    SQLUINTEGER v = 0;
    ASSERT_EQ(SQLGetConnectOption(dbc, SQL_ACCESS_MODE, &v), SQL_SUCCESS);
    EXPECT_EQ(v, static_cast<SQLUINTEGER>(SQL_MODE_READ_ONLY));
    const std::string path(200, 'p');
    ASSERT_EQ(SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(path.c_str())), SQL_SUCCESS);
    char buf[256 + 4];
    std::memset(buf, '#', sizeof buf);
    ASSERT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, buf), SQL_SUCCESS);
    EXPECT_EQ(std::string(buf), path);
    // The wide form has 256 bytes: 127 characters and a terminator.
    unsigned char wbuf[256 + 4];
    std::memset(wbuf, 0x23, sizeof wbuf);
    ASSERT_EQ(SQLGetConnectOptionW(dbc, SQL_OPT_TRACEFILE, wbuf), SQL_SUCCESS_WITH_INFO);
    uint16_t unit;
    std::memcpy(&unit, wbuf + 2 * 126, 2);
    EXPECT_EQ(unit, u'p');
    std::memcpy(&unit, wbuf + 2 * 127, 2);
    EXPECT_EQ(unit, 0);
    for (int i = 256; i < 260; i++) EXPECT_EQ(wbuf[i], 0x23);
    const std::u16string wide = u"/w.log";
    ASSERT_EQ(SQLSetConnectOptionW(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(wide.c_str())), SQL_SUCCESS);
    ASSERT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, buf), SQL_SUCCESS);
    EXPECT_STREQ(buf, "/w.log");
}

}  // namespace
