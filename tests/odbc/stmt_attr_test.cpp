// Statement attributes, the ODBC 2 statement options and
// SQLSetScrollOptions: every attribute set and read back, where it lives,
// and its refusals.
#include <cstring>
#include <vector>

#include "odbc_fixture.h"

namespace {

using StmtAttrTest = ConnectedFixture;

SQLPOINTER P(SQLLEN v) { return reinterpret_cast<SQLPOINTER>(v); }

struct Case {
    SQLINTEGER attribute;
    SQLLEN set;
    SQLLEN get;
};

int marker[4];
const SQLLEN kPtr = reinterpret_cast<SQLLEN>(&marker[1]);

// clang-format off
const Case kCases[] = {
    {SQL_ATTR_QUERY_TIMEOUT, 30, 30},         {SQL_ATTR_MAX_ROWS, 7, 7},
    {SQL_ATTR_NOSCAN, 1, 1},                  {SQL_ATTR_MAX_LENGTH, 100, 100},
    {SQL_ATTR_ROW_BIND_TYPE, 16, 16},         {SQL_ATTR_CONCURRENCY, 2, 2},
    {SQL_ATTR_KEYSET_SIZE, 10, 10},           {SQL_ROWSET_SIZE, 5, 5},
    {SQL_ATTR_SIMULATE_CURSOR, 1, 1},         {SQL_ATTR_RETRIEVE_DATA, 0, 0},
    {SQL_ATTR_USE_BOOKMARKS, 1, 1},           {SQL_ATTR_ENABLE_AUTO_IPD, 0, 0},
    {SQL_ATTR_FETCH_BOOKMARK_PTR, kPtr, kPtr},
    {SQL_ATTR_PARAM_BIND_OFFSET_PTR, kPtr, kPtr}, {SQL_ATTR_PARAM_BIND_TYPE, 24, 24},
    {SQL_ATTR_PARAM_OPERATION_PTR, kPtr, kPtr},   {SQL_ATTR_PARAM_STATUS_PTR, kPtr, kPtr},
    {SQL_ATTR_PARAMS_PROCESSED_PTR, kPtr, kPtr},  {SQL_ATTR_PARAMSET_SIZE, 3, 3},
    {SQL_ATTR_ROW_BIND_OFFSET_PTR, kPtr, kPtr},   {SQL_ATTR_ROW_OPERATION_PTR, kPtr, kPtr},
    {SQL_ATTR_ROW_STATUS_PTR, kPtr, kPtr},        {SQL_ATTR_ROWS_FETCHED_PTR, kPtr, kPtr},
    {SQL_ATTR_ROW_ARRAY_SIZE, 20, 20},        {SQL_ATTR_METADATA_ID, 1, 1},
    {SQL_ATTR_CURSOR_SCROLLABLE, 1, 1},       {SQL_ATTR_CURSOR_SENSITIVITY, 2, 2},
    {SQL_ATTR_ASYNC_ENABLE, 0, 0},
};
// clang-format on

TEST_F(StmtAttrTest, EveryAttributeSetAndReadBackAs64Bits) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.attribute);
        ASSERT_EQ(SQLSetStmtAttr(stmt, c.attribute, P(c.set), 0), SQL_SUCCESS);
        unsigned char buf[12];
        std::memset(buf, 0xCC, sizeof buf);
        SQLINTEGER len = -1;
        ASSERT_EQ(SQLGetStmtAttr(stmt, c.attribute, buf, 0, &len), SQL_SUCCESS);
        SQLLEN v;
        std::memcpy(&v, buf, 8);
        EXPECT_EQ(v, c.get);
        EXPECT_EQ(len, 8);
        EXPECT_EQ(buf[8], 0xCC);
    }
    // The array attributes live in the descriptors.
    STMT *s = st();
    EXPECT_EQ(s->ard->header.array_size, 20u);
    EXPECT_EQ(s->ard->header.rowset_size, 5u);
    EXPECT_EQ(s->ard->header.bind_type, 16);
    EXPECT_EQ(s->apd->header.array_size, 3u);
    EXPECT_EQ(s->apd->header.bind_type, 24);
    EXPECT_EQ(reinterpret_cast<SQLLEN>(s->ird->header.rows_processed), kPtr);
    EXPECT_EQ(reinterpret_cast<SQLLEN>(s->ipd->header.array_status), kPtr);
    SQLULEN size = 0;
    ASSERT_EQ(SQLGetDescField(s->ard, 0, SQL_DESC_ARRAY_SIZE, &size, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(size, 20u);
}

TEST_F(StmtAttrTest, ACallerSaying32BitsGets32Bits) {
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, P(9), 0), SQL_SUCCESS);
    unsigned char buf[8];
    std::memset(buf, 0xCC, sizeof buf);
    SQLINTEGER len = -1;
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, buf, SQL_IS_UINTEGER, &len), SQL_SUCCESS);
    SQLUINTEGER v;
    std::memcpy(&v, buf, 4);
    EXPECT_EQ(v, 9u);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(buf[4], 0xCC);
    // The ODBC 2 option call writes 32 bits.
    std::memset(buf, 0xCC, sizeof buf);
    ASSERT_EQ(SQLGetStmtOption(stmt, SQL_QUERY_TIMEOUT, buf), SQL_SUCCESS);
    EXPECT_EQ(buf[4], 0xCC);
    ASSERT_EQ(SQLSetStmtOption(stmt, SQL_MAX_ROWS, 12), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtOption(stmt, SQL_MAX_ROWS, &v), SQL_SUCCESS);
    EXPECT_EQ(v, 12u);
}

struct Refusal {
    SQLINTEGER attribute;
    SQLLEN value;
    SQLRETURN rc;
    const char *state;
};

TEST_F(StmtAttrTest, SetRefusalsAndAdjustments) {
    int other;
    // clang-format off
    const Refusal kRefusals[] = {
        {SQL_ATTR_ASYNC_ENABLE, 1, SQL_ERROR, "HYC00"},
        {SQL_ATTR_MAX_ROWS, -5, SQL_SUCCESS_WITH_INFO, "01S02"},
        {SQL_ATTR_IMP_ROW_DESC, 0, SQL_ERROR, "HY096"},
        {SQL_ATTR_IMP_PARAM_DESC, 0, SQL_ERROR, "HY096"},
        {SQL_ATTR_ROW_ARRAY_SIZE, 0, SQL_ERROR, "HY024"},
        {SQL_ATTR_PARAMSET_SIZE, 0, SQL_ERROR, "HY024"},
        {SQL_ROWSET_SIZE, 0, SQL_ERROR, "HY024"},
        {SQL_ATTR_APP_ROW_DESC, reinterpret_cast<SQLLEN>(&other), SQL_ERROR, "HY024"},
        {SQL_ATTR_ROW_NUMBER, 5, SQL_SUCCESS, ""},
        {1227, 1, SQL_SUCCESS, ""},
        {1228, 1, SQL_SUCCESS, ""},
        {SQL_GET_BOOKMARK, 1, SQL_ERROR, "HY096"},
        {9999, 1, SQL_ERROR, "HY096"},
    };
    // clang-format on
    for (const Refusal &r : kRefusals) {
        SCOPED_TRACE(r.attribute);
        EXPECT_EQ(SQLSetStmtAttr(stmt, r.attribute, P(r.value), 0), r.rc);
        EXPECT_EQ(stmt_state(), r.state);
    }
    SQLULEN v = 99;
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 1u) << "a refused size leaves the old one";
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ASYNC_ENABLE, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(v, 0u);
    for (SQLINTEGER a : {9999, static_cast<SQLINTEGER>(SQL_GET_BOOKMARK), 1227}) {
        EXPECT_EQ(SQLGetStmtAttr(stmt, a, &v, 0, nullptr), SQL_ERROR);
        EXPECT_EQ(stmt_state(), "HY096");
    }
    // The row number needs a positioned cursor.
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmt_state(), "24000");
    st()->state = S6;
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_NUMBER, &v, 0, nullptr), SQL_SUCCESS);
    st()->state = S1;
    EXPECT_EQ(SQLGetStmtAttr(nullptr, SQL_ATTR_MAX_ROWS, &v, 0, nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLSetStmtAttr(dbc, SQL_ATTR_MAX_ROWS, nullptr, 0), SQL_INVALID_HANDLE);
}

struct CursorCase {
    SQLLEN type;
    SQLLEN scrollable, sensitivity, concurrency;
};

TEST_F(StmtAttrTest, CursorTypeSetsScrollabilitySensitivityAndConcurrency) {
    // clang-format off
    const CursorCase kCursor[] = {
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_SCROLLABLE, SQL_SENSITIVE, SQL_CONCUR_LOCK},  // concurrency kept
        {SQL_CURSOR_FORWARD_ONLY, SQL_NONSCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {SQL_CURSOR_DYNAMIC, SQL_NONSCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
    };
    // clang-format on
    for (const CursorCase &c : kCursor) {
        SCOPED_TRACE(c.type);
        ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, P(SQL_CONCUR_LOCK), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(c.type), 0), SQL_SUCCESS);
        SQLLEN v[4] = {};
        ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &v[0], 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SCROLLABLE, &v[1], 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SENSITIVITY, &v[2], 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &v[3], 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(v[0], c.type);
        EXPECT_EQ(v[1], c.scrollable);
        EXPECT_EQ(v[2], c.sensitivity);
        EXPECT_EQ(v[3], c.concurrency);
    }
}

// Attribute settings in order on a fresh statement; the last one's return
// code and SQLSTATE, then the four cursor attributes.
struct Step {
    SQLINTEGER attribute;
    SQLLEN value;
};
struct ConsistencyCase {
    const char *what;
    std::vector<Step> steps;
    SQLRETURN rc;
    const char *state;
    SQLLEN type, scrollable, sensitivity, concurrency;
};

TEST_F(StmtAttrTest, SensitivityAndCursorTypeStayConsistentInEitherOrder) {
    constexpr SQLINTEGER kType = SQL_ATTR_CURSOR_TYPE, kSens = SQL_ATTR_CURSOR_SENSITIVITY,
                         kConc = SQL_ATTR_CONCURRENCY;
    constexpr SQLRETURN kInfo = SQL_SUCCESS_WITH_INFO;
    // clang-format off
    const ConsistencyCase kCases[] = {
        // A sensitivity the cursor type cannot have changes the type.
        {"keyset, then insensitive: static (a scrollable client's read-only grid)",
         {{kType, SQL_CURSOR_KEYSET_DRIVEN}, {kSens, SQL_INSENSITIVE}}, kInfo, "01S02",
         SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {"keyset, insensitive, then updatable concurrency: still static",
         {{kType, SQL_CURSOR_KEYSET_DRIVEN}, {kSens, SQL_INSENSITIVE}, {kConc, SQL_CONCUR_VALUES}}, SQL_SUCCESS, "",
         SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_VALUES},
        {"dynamic, then insensitive: static",
         {{kType, SQL_CURSOR_DYNAMIC}, {kSens, SQL_INSENSITIVE}}, kInfo, "01S02",
         SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {"keyset with lock concurrency, then insensitive: static and read-only",
         {{kConc, SQL_CONCUR_LOCK}, {kType, SQL_CURSOR_KEYSET_DRIVEN}, {kSens, SQL_INSENSITIVE}}, kInfo, "01S02",
         SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {"forward-only with lock concurrency, then insensitive: read-only, still forward-only",
         {{kType, SQL_CURSOR_FORWARD_ONLY}, {kConc, SQL_CONCUR_LOCK}, {kSens, SQL_INSENSITIVE}}, kInfo, "01S02",
         SQL_CURSOR_FORWARD_ONLY, SQL_NONSCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {"static, then sensitive: keyset-driven",
         {{kType, SQL_CURSOR_STATIC}, {kSens, SQL_SENSITIVE}}, kInfo, "01S02",
         SQL_CURSOR_KEYSET_DRIVEN, SQL_SCROLLABLE, SQL_SENSITIVE, SQL_CONCUR_READ_ONLY},
        // A sensitivity the cursor type already has changes nothing.
        {"static, then insensitive", {{kType, SQL_CURSOR_STATIC}, {kSens, SQL_INSENSITIVE}}, SQL_SUCCESS, "",
         SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {"forward-only, then insensitive", {{kSens, SQL_INSENSITIVE}}, SQL_SUCCESS, "",
         SQL_CURSOR_FORWARD_ONLY, SQL_NONSCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {"keyset, then sensitive", {{kType, SQL_CURSOR_KEYSET_DRIVEN}, {kSens, SQL_SENSITIVE}}, SQL_SUCCESS, "",
         SQL_CURSOR_KEYSET_DRIVEN, SQL_SCROLLABLE, SQL_SENSITIVE, SQL_CONCUR_READ_ONLY},
        {"keyset, then unspecified", {{kType, SQL_CURSOR_KEYSET_DRIVEN}, {kSens, SQL_UNSPECIFIED}}, SQL_SUCCESS, "",
         SQL_CURSOR_KEYSET_DRIVEN, SQL_SCROLLABLE, SQL_UNSPECIFIED, SQL_CONCUR_READ_ONLY},
        // A cursor type set afterwards brings its own sensitivity.
        {"insensitive, then keyset", {{kSens, SQL_INSENSITIVE}, {kType, SQL_CURSOR_KEYSET_DRIVEN}}, SQL_SUCCESS, "",
         SQL_CURSOR_KEYSET_DRIVEN, SQL_SCROLLABLE, SQL_SENSITIVE, SQL_CONCUR_READ_ONLY},
        {"sensitive, then static", {{kSens, SQL_SENSITIVE}, {kType, SQL_CURSOR_STATIC}}, SQL_SUCCESS, "",
         SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
        {"sensitive, then forward-only", {{kSens, SQL_SENSITIVE}, {kType, SQL_CURSOR_FORWARD_ONLY}}, SQL_SUCCESS, "",
         SQL_CURSOR_FORWARD_ONLY, SQL_NONSCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
    };
    // clang-format on
    for (const ConsistencyCase &c : kCases) {
        SCOPED_TRACE(c.what);
        SQLHSTMT h = nullptr;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
        SQLRETURN rc = SQL_ERROR;
        for (const Step &step : c.steps) rc = SQLSetStmtAttr(h, step.attribute, P(step.value), 0);
        EXPECT_EQ(rc, c.rc);
        EXPECT_EQ(state_of(static_cast<STMT *>(h)->diag), c.state);
        SQLLEN v[4] = {-1, -1, -1, -1};
        const SQLINTEGER read[4] = {kType, SQL_ATTR_CURSOR_SCROLLABLE, kSens, kConc};
        for (int i = 0; i < 4; ++i) ASSERT_EQ(SQLGetStmtAttr(h, read[i], &v[i], 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(v[0], c.type);
        EXPECT_EQ(v[1], c.scrollable);
        EXPECT_EQ(v[2], c.sensitivity);
        EXPECT_EQ(v[3], c.concurrency);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, h), SQL_SUCCESS);
    }
}

TEST_F(StmtAttrTest, StatementStateRefusals) {
    st()->state = S2;
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(1), 0), SQL_ERROR);
    EXPECT_EQ(stmt_state(), "HY010");
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, P(1), 0), SQL_SUCCESS);
    st()->state = S5;
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, P(1), 0), SQL_ERROR);
    EXPECT_EQ(stmt_state(), "24000");
    st()->state = S8;
    st()->prepared = 1;
    EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, P(1), 0), SQL_ERROR);
    EXPECT_EQ(stmt_state(), "HY011");
    SQLULEN v;
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(stmt_state(), "HY010");
    st()->state = S1;
    st()->prepared = 0;
    // The bookmark option is refused as SQLGetData would be before a fetch.
    SQLINTEGER bookmark;
    EXPECT_EQ(SQLGetStmtOption(stmt, SQL_GET_BOOKMARK, &bookmark), SQL_ERROR);
    EXPECT_EQ(stmt_state(), "HY010");
}

struct ScrollCase {
    SQLUSMALLINT concurrency;
    SQLLEN keyset;
    SQLUSMALLINT rowset;
    SQLRETURN rc;
    const char *state;
    SQLLEN cursor_type;  // when accepted
};

TEST_F(StmtAttrTest, SetScrollOptionsChecksAgainstTheCursorsItOffers) {
    // clang-format off
    const ScrollCase kScroll[] = {
        {SQL_CONCUR_READ_ONLY, SQL_SCROLL_STATIC, 1, SQL_SUCCESS, "", SQL_CURSOR_STATIC},
        {SQL_CONCUR_LOCK, SQL_SCROLL_STATIC, 1, SQL_ERROR, "S1C00", 0},
        {SQL_CONCUR_LOCK, SQL_SCROLL_FORWARD_ONLY, 1, SQL_SUCCESS, "", SQL_CURSOR_FORWARD_ONLY},
        {SQL_CONCUR_ROWVER, SQL_SCROLL_FORWARD_ONLY, 1, SQL_ERROR, "S1C00", 0},
        {SQL_CONCUR_VALUES, SQL_SCROLL_DYNAMIC, 1, SQL_SUCCESS, "", SQL_CURSOR_DYNAMIC},
        {SQL_CONCUR_ROWVER, SQL_SCROLL_KEYSET_DRIVEN, 1, SQL_ERROR, "S1C00", 0},
        {SQL_CONCUR_LOCK, SQL_SCROLL_KEYSET_DRIVEN, 4, SQL_SUCCESS, "", SQL_CURSOR_KEYSET_DRIVEN},
        {SQL_CONCUR_READ_ONLY, 10, 5, SQL_SUCCESS, "", SQL_CURSOR_KEYSET_DRIVEN},
        {SQL_CONCUR_READ_ONLY, 5, 10, SQL_ERROR, "S1107", 0},
        {5, 0, 1, SQL_ERROR, "S1108", 0},
        {0, 0, 1, SQL_ERROR, "S1108", 0},
        {SQL_CONCUR_READ_ONLY, -4, 1, SQL_ERROR, "S1107", 0},
        {SQL_CONCUR_READ_ONLY, 0, 0, SQL_ERROR, "HY024", 0},
    };
    // clang-format on
    for (const ScrollCase &c : kScroll) {
        SCOPED_TRACE(testing::Message() << c.concurrency << " " << c.keyset << " " << c.rowset);
        EXPECT_EQ(SQLSetScrollOptions(stmt, c.concurrency, c.keyset, c.rowset), c.rc);
        EXPECT_EQ(stmt_state(), c.state);
        if (c.rc != SQL_SUCCESS) continue;
        SQLLEN v = -1;
        ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &v, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(v, c.cursor_type);
        ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &v, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(v, c.concurrency);
        ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ROWSET_SIZE, &v, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(v, c.rowset);
        if (c.keyset >= 0) {
            ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, &v, 0, nullptr), SQL_SUCCESS);
            EXPECT_EQ(v, c.keyset);
        }
    }
    // The ODBC 2 SQLSTATEs carry their own class origin.
    EXPECT_EQ(SQLSetScrollOptions(stmt, 5, 0, 1), SQL_ERROR);
    SQLCHAR origin[32];
    ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, nullptr),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char *>(origin), "ODBC 2.0");
}

}  // namespace
