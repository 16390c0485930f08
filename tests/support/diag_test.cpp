#include "support/diag.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DiagTest : ::testing::Test {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ErrorHeader *h = CreateErrorHeader(pool, nullptr);
    ~DiagTest() override { cv_mem_release_handle(pool); }
};

TEST_F(DiagTest, RecordsKeepOrderOriginsAndTruncateOnWholeCharacters) {
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(post_error(h, "HY010", "Function sequence error"), SQL_ERROR);
    SetReturnCode(h, SQL_SUCCESS_WITH_INFO);  // an error outranks a later warning
    EXPECT_EQ(diag_return_code(h), SQL_ERROR);
    EXPECT_EQ(PostError(h, 2, 0, 0, 7, 0, "ODBC 3.0", "HYC00", "n=%d %s", 5, "é"), 0);
    ASSERT_EQ(diag_count(h), 2);

    SQLCHAR state[6];
    SQLINTEGER native = -1;
    SQLCHAR msg[64];
    SQLSMALLINT len = 0;
    ASSERT_EQ(GetDiagRec(h, 2, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(state), "HYC00");
    EXPECT_EQ(native, 7);
    EXPECT_STREQ(reinterpret_cast<char *>(msg), "n=5 é");
    EXPECT_EQ(len, 6);
    // Room for "n=5 " and half of "é": the half character is dropped.
    ASSERT_EQ(GetDiagRec(h, 2, state, &native, msg, 6, &len), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(reinterpret_cast<char *>(msg), "n=5 ");
    EXPECT_EQ(len, 6);
    EXPECT_EQ(GetDiagRec(h, 3, state, &native, msg, 64, &len), SQL_NO_DATA);
    EXPECT_EQ(GetDiagRec(h, 0, state, &native, msg, 64, &len), SQL_ERROR);
    EXPECT_EQ(GetDiagRec(h, 1, state, &native, msg, -1, &len), SQL_ERROR);

    char text[32];
    ASSERT_EQ(GetDiagField(h, SQL_HANDLE_DBC, 1, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "ISO 9075");
    ASSERT_EQ(GetDiagField(h, SQL_HANDLE_DBC, 1, SQL_DIAG_SUBCLASS_ORIGIN, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "ODBC 3.0");  // HY... subclasses are ODBC's own
    ASSERT_EQ(GetDiagField(h, SQL_HANDLE_DBC, 2, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "ODBC 3.0");
}

TEST_F(DiagTest, HeaderFieldsAndStatementOnlyFields) {
    post_warning(h, "01004", "String data, right truncated");
    set_diag_row_count(h, 12);
    SQLRETURN rc = 0;
    SQLINTEGER n = 0;
    SQLLEN rows = 0;
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_STMT, 0, SQL_DIAG_RETURNCODE, &rc, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_STMT, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_STMT, 0, SQL_DIAG_ROW_COUNT, &rows, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows, 12);
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_ENV, 0, SQL_DIAG_ROW_COUNT, &rows, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_STMT, 1, SQL_DIAG_ROW_NUMBER, &rows, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows, SQL_ROW_NUMBER_UNKNOWN);
    h->function_code = SQL_DIAG_SELECT_CURSOR;
    char text[32];
    SQLSMALLINT len;
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_STMT, 0, SQL_DIAG_DYNAMIC_FUNCTION, text, sizeof text, &len), SQL_SUCCESS);
    EXPECT_STREQ(text, "SELECT CURSOR");
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_STMT, 0, 9999, text, sizeof text, &len), SQL_ERROR);
    EXPECT_EQ(GetDiagField(h, SQL_HANDLE_STMT, 5, SQL_DIAG_SQLSTATE, text, sizeof text, &len), SQL_NO_DATA);
}

TEST_F(DiagTest, ResetEmptiesAndTheRecordLimitHolds) {
    for (int i = 0; i < kMaxDiagRecords + 50; i++) post_error(h, "HY000", "General error: %d", i);
    EXPECT_EQ(diag_count(h), kMaxDiagRecords);
    h->sqlerror_position = 3;
    SetupErrorHeader(h, 0);
    EXPECT_EQ(diag_count(h), 0);
    EXPECT_EQ(diag_return_code(h), SQL_SUCCESS);
    EXPECT_EQ(h->sqlerror_position, -1);
    std::string big(10000, 'x');
    post_error(h, "HY000", "%s", big.c_str());
    EXPECT_EQ(std::string(diag_message(h, 1)).size(), kMaxDiagMessage);
    SetErrorCount(h, 0);
    EXPECT_EQ(diag_count(h), 0);
}

}  // namespace
