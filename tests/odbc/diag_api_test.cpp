// Diagnostic read-back through the driver's exports: SQLError's ODBC 2 view,
// and the wide forms at every buffer size.
#include <gtest/gtest.h>

#include <string>

#include "driver_loader.h"

namespace {

Driver &D() { return Driver::get(); }

struct EnvPair : ::testing::Test {
    SQLHENV a = nullptr, b = nullptr;
    void SetUp() override {
        for (SQLHENV *e : {&a, &b}) {
            ASSERT_EQ(D().AllocHandle(SQL_HANDLE_ENV, nullptr, e), SQL_SUCCESS);
            ASSERT_EQ(D().SetEnvAttr(*e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
        }
    }
    void TearDown() override {
        D().FreeHandle(SQL_HANDLE_ENV, a);
        D().FreeHandle(SQL_HANDLE_ENV, b);
    }
    std::string error_on(SQLHENV e, SQLRETURN expect) {
        SQLCHAR state[6] = "?????";
        SQLCHAR msg[128] = "junk";
        SQLINTEGER native;
        SQLSMALLINT len;
        EXPECT_EQ(D().Error(e, nullptr, nullptr, state, &native, msg, sizeof msg, &len), expect);
        if (expect == SQL_NO_DATA) {
            EXPECT_STREQ(reinterpret_cast<char *>(msg), "");
        }
        return reinterpret_cast<char *>(state);
    }
};

TEST_F(EnvPair, SqlErrorKeepsItsPlacePerHandleAndSpeaksOdbc2) {
    EXPECT_EQ(D().GetEnvAttr(a, 999, nullptr, 0, nullptr), SQL_ERROR);  // HY024
    EXPECT_EQ(D().SetEnvAttr(b, SQL_ATTR_OUTPUT_NTS, nullptr, 0), SQL_ERROR);  // HYC00
    EXPECT_EQ(error_on(a, SQL_SUCCESS), "S1009");
    EXPECT_EQ(error_on(b, SQL_SUCCESS), "S1C00");
    EXPECT_EQ(error_on(a, SQL_NO_DATA), "00000");
    EXPECT_EQ(error_on(b, SQL_NO_DATA), "00000");
    // After the end, a handle's records are read again from the newest.
    EXPECT_EQ(error_on(a, SQL_SUCCESS), "S1009");
    // A new call empties the handle and restarts its position.
    EXPECT_EQ(D().GetEnvAttr(b, 998, nullptr, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(error_on(b, SQL_SUCCESS), "S1009");
    EXPECT_EQ(error_on(a, SQL_NO_DATA), "00000");
}

TEST_F(EnvPair, WideDiagnosticsAtEveryBufferSizeNeverWritePastTheEnd) {
    EXPECT_EQ(D().GetEnvAttr(a, 999, nullptr, 0, nullptr), SQL_ERROR);
    const std::u16string expect = u"Invalid attribute value";
    const SQLSMALLINT n = static_cast<SQLSMALLINT>(expect.size());
    for (SQLSMALLINT cap = 0; cap <= n + 2; cap++) {
        SQLWCHAR buf[64];
        for (auto &u : buf) u = 0xBEEF;
        SQLWCHAR state[8];
        SQLSMALLINT len = -1;
        SQLINTEGER native = -1;
        SQLRETURN rc = D().GetDiagRecW(SQL_HANDLE_ENV, a, 1, state, &native, buf, cap, &len);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        EXPECT_EQ(len, n);
        EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(state)), u"HY024");
        EXPECT_EQ(buf[cap], 0xBEEF) << "canary overwritten at capacity " << cap;
        if (cap > 0) {
            std::u16string got(reinterpret_cast<char16_t *>(buf));
            EXPECT_EQ(got, expect.substr(0, cap - 1)) << cap;
        }
        // The byte-counted field form reports bytes.
        SQLSMALLINT blen = -1;
        for (auto &u : buf) u = 0xBEEF;
        rc = D().GetDiagFieldW(SQL_HANDLE_ENV, a, 1, SQL_DIAG_MESSAGE_TEXT, buf,
                               static_cast<SQLSMALLINT>(cap * 2), &blen);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        EXPECT_EQ(blen, n * 2);
        EXPECT_EQ(buf[cap], 0xBEEF) << "field canary overwritten at capacity " << cap;
    }
    SQLINTEGER count = 0;
    EXPECT_EQ(D().GetDiagFieldW(SQL_HANDLE_ENV, a, 0, SQL_DIAG_NUMBER, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(D().GetDiagRecW(SQL_HANDLE_ENV, a, 2, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
    EXPECT_EQ(D().GetDiagRecW(SQL_HANDLE_ENV, a, 1, nullptr, nullptr, nullptr, -1, nullptr), SQL_ERROR);
}

}  // namespace
