// Wide diagnostics with text outside ASCII, at every buffer size.
#include <gtest/gtest.h>

#include <string>

#include "odbc/odbc_api.h"
#include "odbc/handles.h"
#include "odbc/wide.h"

namespace {

TEST(WideTest, InboundConversionCombinesPairsAndReportsBadLengths) {
    const SQLWCHAR text[] = {u'é', 0xD83D, 0xDE00, u'x', 0};
    EXPECT_EQ(WideIn(text, SQL_NTS).str(), "é😀x");
    EXPECT_EQ(WideIn(text, 1).str(), "é");
    EXPECT_TRUE(WideIn(nullptr, SQL_NTS).is_null());
    EXPECT_EQ(WideIn(nullptr, SQL_NTS).get(), nullptr);
    EXPECT_FALSE(WideIn(text, -7).ok());
    // A pair cut by the length becomes a replacement character, never half a pair.
    EXPECT_EQ(WideIn(text, 2).str(), "é\xEF\xBF\xBD");
}

TEST(WideTest, DiagnosticsOutsideAsciiAtEveryBufferSize) {
    SQLHENV env;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ErrorHeader *h = static_cast<ENV *>(env)->diag;
    post_error(h, "HY000", "General error: %s", "é€😀");
    const std::u16string full = u"General error: é€😀";  // the emoji is two units
    const SQLSMALLINT n = static_cast<SQLSMALLINT>(full.size());
    for (SQLSMALLINT cap = 0; cap <= n + 2; cap++) {
        SQLWCHAR buf[64];
        for (auto &u : buf) u = 0xBEEF;
        SQLSMALLINT len = -1;
        SQLRETURN rc = SQLGetDiagRecW(SQL_HANDLE_ENV, env, 1, nullptr, nullptr, buf, cap, &len);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        EXPECT_EQ(len, n) << "full length in characters";
        EXPECT_EQ(buf[cap], 0xBEEF) << "canary at " << cap;
        if (cap == 0) continue;
        std::u16string got(reinterpret_cast<char16_t *>(buf));
        size_t expect_units = std::min<size_t>(cap - 1, full.size());
        if (expect_units == full.size() - 1) expect_units--;  // never half a surrogate pair
        EXPECT_EQ(got, full.substr(0, expect_units)) << cap;

        for (auto &u : buf) u = 0xBEEF;
        SQLSMALLINT bytes = -1;
        rc = SQLGetDiagFieldW(SQL_HANDLE_ENV, env, 1, SQL_DIAG_MESSAGE_TEXT, buf,
                              static_cast<SQLSMALLINT>(cap * 2 + 1), &bytes);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        EXPECT_EQ(bytes, n * 2) << "full length in bytes";
        EXPECT_EQ(buf[cap], 0xBEEF) << "field canary at " << cap;
    }
    SQLWCHAR state[6];
    EXPECT_EQ(SQLGetDiagFieldW(SQL_HANDLE_ENV, env, 1, SQL_DIAG_SQLSTATE, state, sizeof state, nullptr), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(state)), u"HY000");
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

}  // namespace
