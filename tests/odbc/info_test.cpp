// SQLGetInfo for every information type, with truncation in both forms,
// and SQLGetFunctions in its three forms against the export list.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "odbc/functions.h"
#include "odbc/info.h"
#include "odbc/odbc_api.h"
#include "odbc/handles.h"

namespace {

// A connection that counts as connected, so every information type is
// answered, and that can still be freed.
struct Connected : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        static_cast<DBC *>(dbc)->state = CONN_CONNECTED;
    }
    void TearDown() override {
        static_cast<DBC *>(dbc)->state = CONN_DISCONNECTED;
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
        EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    }
    std::string state(int n = 1) {
        const ErrorHeader *h = static_cast<DBC *>(dbc)->diag;
        return diag_count(h) >= n ? diag_sqlstate(h, n) : "";
    }
};

const char *kKeywords =
    "ADD,ALL,ALTER,AND,ANY,AS,ASC,AUTHORIZATION, AUTO_INCREMENT,AVG,BETWEEN,BIGINT,BINARY,BIT,"
    "BIT_LENGTH,BOTH,BY,CASCADE,CASE,CAST,CHAR,CHARACTER,CHARACTER_LENGTH,CHAR_LENGTH,CHECK,"
    "COALESCE,COLUMN,COMMIT,COUNT,CREATE,CURRENT,CURRENT_DATE,CURRENT_TIME,CURRENT_TIMESTAMP,"
    "CURRENT_USER,DATETIME,DAY,DEC,DECIMAL,DEFAULT,DELETE,DESC,DISTINCT,DOUBLE,DROP,ELSE,END,"
    "ESCAPE,EXISTS,FIRST,FLOAT,FOR,FOREIGN,FROM,FULL,GRANT,GROUP,HAVING,HOUR,IDENTITY,IN,INDEX,"
    "INNER,INSERT,INT,INTEGER,INTERVAL,INTO,IS,JOIN,KEY,LEADING,LEFT,LIKE,LONG,LONGBLOB,MAX,"
    "MEDIUMBLOB,MIDDLEINT,MIN,MINUTE,MONTH,NATURAL,NO,NOT,NULL,NULLIF,NUMERIC,OCTET_LENGTH,OF,"
    "ON,OPTION,OR,ORDER,OUTER,OVERLAPS,POSITION,PRECISION,PRIMARY,PRIVILEGES,PUBLIC,REAL,"
    "REFERENCES,REVOKE,RIGHT,ROLLBACK,SECOND,SELECT,SET,SMALLINT,SIGNED,SUBSTRING,SUM,TABLE,"
    "TEXT,THEN,TIME,TIMESTAMP,TINYBLOB,TINYINT,TO,TRAILING,TRIM,UNSIGNED,UNION,UNIQUE,UPDATE,"
    "UPPER,USER,USING,VALUE,VALUES,VARBINARY,VARCHAR,VARYING,VIEW,WHEN,WHERE,WITH,WORK,YEAR";

struct TextAnswer {
    SQLUSMALLINT type;
    const char *text;
};
// The data source and user names come from the connection attribute list,
// empty while nothing has been connected.
const TextAnswer kTexts[] = {
    {2, ""}, {47, ""},
    {6, "libcvconnect.so"}, {7, "01.00.0017"}, {10, "01.00.0017"}, {18, "01.00.0017"},
    {77, "03.51"}, {13, "PAYPAL"}, {16, "SF"}, {17, "Corvane PAYPAL ODBC Driver"},
    {14, "\\"}, {29, "\""}, {39, "SCHEMA"}, {40, "QUERY"}, {41, "."}, {42, "DATABASE"},
    {45, "table"}, {94, " $"}, {10000, "1994"}, {10004, "ISO 8859-1"},
    {11, "N"}, {25, "N"}, {37, "N"}, {90, "N"}, {103, "N"}, {111, "N"},
    {19, "Y"}, {20, "Y"}, {21, "Y"}, {27, "Y"}, {36, "Y"}, {38, "Y"}, {73, "Y"}, {87, "Y"}, {113, "Y"}, {10002, "Y"},
    {10003, "Y"},
    {89, kKeywords},
};

struct NumberAnswer {
    int width;
    uint32_t value;
    std::vector<SQLUSMALLINT> types;
};
const NumberAnswer kNumbers[] = {
    {2, 0u, {0, 1, 12, 22, 33, 84, 85, 97, 99, 100, 101, 106}},
    {2, 1u, {9, 75, 114, 116}},
    {2, 2u, {15, 23, 24, 74}},
    {2, 3u, {46, 88}},
    {2, 4u, {28, 93}},
    {2, 10u, {98}},
    {2, 16u, {34}},
    {2, 25u, {32}},
    {2, 64u, {30, 31, 35, 107, 10005}},
    {4, 0u, {76, 80, 83, 86, 104, 117, 120, 121, 127, 128, 129, 130, 131, 132, 133, 134, 136, 137, 138, 139, 140, 141, 142, 143, 148, 166, 170, 10001, 10021, 10022}},
    {4, 1u, {26, 91, 92, 118}},
    {4, 2u, {152, 153, 154}},
    {4, 3u, {48, 72, 96, 147}},
    {4, 7u, {51, 78, 155, 172}},
    {4, 10u, {43}},
    {4, 11u, {81}},
    {4, 15u, {156, 157, 163, 165}},
    {4, 18u, {82}},
    {4, 19u, {44}},
    {4, 31u, {79, 95}},
    {4, 63u, {159}},
    {4, 83u, {102}},
    {4, 127u, {115, 169, 65003}},
    {4, 191u, {8}},
    {4, 239u, {164}},
    {4, 255u, {108, 112}},
    {4, 511u, {109, 110}},
    {4, 984u, {161}},
    {4, 4687u, {167}},
    {4, 8176u, {158}},
    {4, 16007u, {160}},
    {4, 16427u, {145, 151}},
    {4, 32160u, {162}},
    {4, 64961u, {146}},
    {4, 65000u, {105}},
    {4, 65473u, {144, 150}},
    {4, 65535u, {119}},
    {4, 65537u, {168}},
    {4, 2097151u, {52}},
    {4, 4939878u, {149}},
    {4, 14970367u, {68}},
    {4, 15109889u, {57}},
    {4, 15142657u, {66}},
    {4, 15175425u, {67}},
    {4, 15494937u, {123, 124}},
    {4, 16547839u, {53, 55, 58, 59, 60, 61, 63, 64, 65}},
    {4, 16777215u, {49, 50, 54, 56, 62, 69, 70, 71, 122, 125, 126}},
};

TEST_F(Connected, EveryInformationTypeHasItsKindAndValue) {
    std::set<unsigned> answered;
    for (const TextAnswer &t : kTexts) {
        char buf[2048];
        SQLSMALLINT len = -1;
        ASSERT_EQ(SQLGetInfo(dbc, t.type, buf, sizeof buf, &len), SQL_SUCCESS) << t.type;
        EXPECT_STREQ(buf, t.text) << t.type;
        EXPECT_EQ(len, static_cast<SQLSMALLINT>(std::strlen(t.text))) << t.type;
        answered.insert(t.type);
    }
    EXPECT_EQ(std::strlen(kKeywords), 963u);
    for (const NumberAnswer &n : kNumbers) {
        for (SQLUSMALLINT type : n.types) {
            unsigned char buf[8];
            std::memset(buf, 0xAB, sizeof buf);
            SQLSMALLINT len = -1;
            ASSERT_EQ(SQLGetInfo(dbc, type, buf, sizeof buf, &len), SQL_SUCCESS) << type;
            EXPECT_EQ(len, n.width) << type;
            uint32_t got = 0;
            if (n.width == 2) {
                uint16_t v;
                std::memcpy(&v, buf, 2);
                got = v;
            } else {
                std::memcpy(&got, buf, 4);
            }
            EXPECT_EQ(got, n.value) << type;
            EXPECT_EQ(buf[n.width], 0xAB) << "wrote past its width: " << type;
            answered.insert(type);
        }
    }
    // The echo type writes back what the caller put in the buffer.
    SQLINTEGER echo = 0x5A5A1234;
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &echo, sizeof echo, &len), SQL_SUCCESS);
    EXPECT_EQ(echo, 0x5A5A1234);
    EXPECT_EQ(len, 4);
    answered.insert(SQL_DRIVER_HSTMT);
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, nullptr, 4, &len), SQL_SUCCESS);

    // The table has exactly these types; every other one is refused and
    // nothing is written.
    size_t count = 0;
    const InfoEntry *entries = info_entries(&count);
    EXPECT_EQ(count, answered.size());
    for (size_t i = 0; i < count; i++) EXPECT_TRUE(answered.count(entries[i].type)) << entries[i].type;
    for (unsigned type = 0; type <= 0xFFFF; type++) {
        if (answered.count(type)) continue;
        char buf[4] = {'x', 'x', 'x', 'x'};
        SQLSMALLINT l = 77;
        ASSERT_EQ(SQLGetInfo(dbc, static_cast<SQLUSMALLINT>(type), buf, sizeof buf, &l), SQL_ERROR) << type;
        ASSERT_EQ(state(), "HY096") << type;
        ASSERT_EQ(l, 77);
        ASSERT_EQ(buf[0], 'x');
    }
}

TEST_F(Connected, WideFormWidensTextsAndLeavesNumbersAlone) {
    SQLWCHAR buf[1024];
    SQLSMALLINT len = -1;
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_DBMS_NAME, buf, sizeof buf, &len), SQL_SUCCESS);
    const std::u16string want = u"Corvane PAYPAL ODBC Driver";
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(want.size() * 2));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(buf)), want);
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_KEYWORDS, nullptr, 0, &len), SQL_SUCCESS);
    EXPECT_EQ(len, 963 * 2);
    SQLWCHAR kw[1000];
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_KEYWORDS, kw, sizeof kw, &len), SQL_SUCCESS);
    EXPECT_EQ(kw[962], u'R');
    EXPECT_EQ(kw[963], 0);
    uint16_t txn = 0;
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_TXN_CAPABLE, &txn, sizeof txn, &len), SQL_SUCCESS);
    EXPECT_EQ(txn, 3);
    EXPECT_EQ(len, 2);
    uint32_t conv = 0;
    ASSERT_EQ(SQLGetInfoW(dbc, SQL_CONVERT_CHAR, &conv, sizeof conv, &len), SQL_SUCCESS);
    EXPECT_EQ(conv, 0xFFFFFFu);
    EXPECT_EQ(len, 4);
}

TEST_F(Connected, TruncationAtEveryBufferSizeInBothForms) {
    const std::string name = "libcvconnect.so";
    const SQLSMALLINT n = static_cast<SQLSMALLINT>(name.size());
    constexpr unsigned char kCanary = 0xEE;
    for (SQLSMALLINT cap = 0; cap <= n + 2; cap++) {
        std::vector<unsigned char> buf(static_cast<size_t>(cap) + 8, kCanary);
        SQLSMALLINT len = -1;
        SQLRETURN rc = SQLGetInfo(dbc, SQL_DRIVER_NAME, buf.data(), cap, &len);
        EXPECT_EQ(len, n) << cap;
        for (size_t i = static_cast<size_t>(cap); i < buf.size(); i++) ASSERT_EQ(buf[i], kCanary) << cap;
        if (cap > n) {
            EXPECT_EQ(rc, SQL_SUCCESS) << cap;
            EXPECT_EQ(std::string(reinterpret_cast<char *>(buf.data())), name);
        } else {
            EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO) << cap;
            EXPECT_EQ(state(), "01004") << cap;
            if (cap > 0) { EXPECT_EQ(std::string(reinterpret_cast<char *>(buf.data())), name.substr(0, cap - 1)); }
        }
    }
    // The wide form: byte counts, odd ones included; the length is in bytes.
    for (SQLSMALLINT cap = 0; cap <= 2 * n + 4; cap++) {
        std::vector<unsigned char> buf(static_cast<size_t>(cap) + 8, kCanary);
        SQLSMALLINT len = -1;
        SQLRETURN rc = SQLGetInfoW(dbc, SQL_DRIVER_NAME, buf.data(), cap, &len);
        EXPECT_EQ(len, 2 * n) << cap;
        for (size_t i = static_cast<size_t>(cap); i < buf.size(); i++) ASSERT_EQ(buf[i], kCanary) << cap;
        const int units = cap / 2;
        if (units > n) {
            EXPECT_EQ(rc, SQL_SUCCESS) << cap;
        } else {
            EXPECT_EQ(rc, SQL_SUCCESS_WITH_INFO) << cap;
            EXPECT_EQ(state(), "01004") << cap;
        }
        if (units > 0) {
            const int kept = units > n ? n : units - 1;
            std::u16string got(reinterpret_cast<char16_t *>(buf.data()), static_cast<size_t>(kept));
            EXPECT_EQ(got, std::u16string(name.begin(), name.begin() + kept)) << cap;
            uint16_t term;
            std::memcpy(&term, buf.data() + 2 * kept, 2);
            EXPECT_EQ(term, 0) << cap;
        }
    }
    char small[4];
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_NAME, small, -1, nullptr), SQL_ERROR);
    EXPECT_EQ(state(), "HY090");
}

TEST_F(Connected, StateDecidesWhatIsAnswered) {
    DBC *d = static_cast<DBC *>(dbc);
    char buf[64];
    d->state = CONN_ALLOCATED;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_ODBC_VER, buf, sizeof buf, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "01.00.0017");
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DRIVER_ODBC_VER, buf, sizeof buf, nullptr), SQL_SUCCESS);
    EXPECT_STREQ(buf, "03.51");
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, sizeof buf, nullptr), SQL_ERROR);
    EXPECT_EQ(state(), "08003");
    d->state = CONN_BROWSING;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_ODBC_VER, buf, sizeof buf, nullptr), SQL_ERROR);
    EXPECT_EQ(state(), "08003");
    d->state = CONN_DISCONNECTED;
    EXPECT_EQ(SQLGetInfo(dbc, SQL_DBMS_NAME, buf, sizeof buf, nullptr), SQL_SUCCESS);
    // The services slot answers as the export does.
    SQLSMALLINT len = 0;
    EXPECT_EQ(d->services.get_info(d, SQL_SERVER_NAME, buf, sizeof buf, &len), SQL_SUCCESS);
    EXPECT_STREQ(buf, "PAYPAL");
    EXPECT_EQ(SQLGetInfo(nullptr, SQL_ODBC_VER, buf, sizeof buf, nullptr), SQL_INVALID_HANDLE);
    d->state = CONN_CONNECTED;
}

// The export list, with each W name folded onto its 8-bit function.
std::set<std::string> exported_functions() {
    std::ifstream in(CV_EXPORT_MAP);
    std::set<std::string> names;
    std::string line;
    while (std::getline(in, line)) {
        size_t a = line.find("SQL");
        size_t b = line.find(';');
        if (a == std::string::npos || b == std::string::npos || b < a) continue;
        names.insert(line.substr(a, b - a));
    }
    size_t count = 0;
    const OdbcFunction *fs = odbc_functions(&count);
    std::set<std::string> known;
    for (size_t i = 0; i < count; i++) known.insert(fs[i].name);
    std::set<std::string> folded;
    for (const std::string &n : names) {
        std::string base = n;
        if (!known.count(n) && n.back() == 'W') base = n.substr(0, n.size() - 1);
        EXPECT_TRUE(known.count(base)) << "exported but not in the function table: " << n;
        folded.insert(base);
    }
    return folded;
}

TEST(FunctionTable, MatchesTheExportListExactly) {
    const std::set<std::string> exported = exported_functions();
    ASSERT_FALSE(exported.empty());
    size_t count = 0;
    const OdbcFunction *fs = odbc_functions(&count);
    for (size_t i = 0; i < count; i++)
        EXPECT_EQ(fs[i].exported, exported.count(fs[i].name) == 1) << fs[i].name;
}

TEST_F(Connected, GetFunctionsInItsThreeFormsReportsExactlyTheTable) {
    size_t count = 0;
    const OdbcFunction *fs = odbc_functions(&count);
    std::set<unsigned> want;
    for (size_t i = 0; i < count; i++)
        if (fs[i].exported) want.insert(fs[i].id);

    SQLUSMALLINT bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE + 1];
    bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = 0xBEEF;
    ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bitmap), SQL_SUCCESS);
    EXPECT_EQ(bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE], 0xBEEF);
    SQLUSMALLINT words[101];
    words[100] = 0xBEEF;
    ASSERT_EQ(SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, words), SQL_SUCCESS);
    EXPECT_EQ(words[100], 0xBEEF);
    for (unsigned id = 0; id < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; id++) {
        const bool expected = want.count(id) == 1;
        ASSERT_EQ(SQL_FUNC_EXISTS(bitmap, id) == SQL_TRUE, expected) << id;
        if (id < 100) { ASSERT_EQ(words[id] == SQL_TRUE, expected) << id; }
        if (id == SQL_API_ALL_FUNCTIONS || id == SQL_API_ODBC3_ALL_FUNCTIONS) continue;
        SQLUSMALLINT one = 99;
        ASSERT_EQ(SQLGetFunctions(dbc, static_cast<SQLUSMALLINT>(id), &one), SQL_SUCCESS);
        ASSERT_EQ(one, expected ? SQL_TRUE : SQL_FALSE) << id;
    }
    // What this part of the driver exports is reported; what it does not
    // export yet is not.
    for (unsigned id : {SQL_API_SQLGETINFO, SQL_API_SQLGETFUNCTIONS, SQL_API_SQLSETSTMTATTR,
                        SQL_API_SQLCOPYDESC, SQL_API_SQLSETSCROLLOPTIONS, SQL_API_SQLGETDIAGREC})
        EXPECT_TRUE(want.count(id)) << id;
}

TEST_F(Connected, GetFunctionsNeedsAConnection) {
    DBC *d = static_cast<DBC *>(dbc);
    SQLUSMALLINT one = 7;
    for (int32_t s : {CONN_ALLOCATED, CONN_BROWSING}) {
        d->state = s;
        EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLGETINFO, &one), SQL_ERROR);
        EXPECT_EQ(state(), "HY010");
    }
    EXPECT_EQ(one, 7);
    d->state = CONN_IN_TRANSACTION;
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLGETINFO, &one), SQL_SUCCESS);
    EXPECT_EQ(SQLGetFunctions(dbc, SQL_API_SQLGETINFO, nullptr), SQL_ERROR);
    EXPECT_EQ(state(), "HY009");
    EXPECT_EQ(SQLGetFunctions(nullptr, SQL_API_SQLGETINFO, &one), SQL_INVALID_HANDLE);
    d->state = CONN_CONNECTED;
}

}  // namespace
