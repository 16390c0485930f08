// make_parameter_value: application buffers of every C type into values of
// every SQL type, table-driven; pieces of data at execution, also through
// SQLPutData itself; which C types may be bound to which SQL types.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "odbc/convert_param.h"
#include "odbc_fixture.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

class ParamConversion : public ::testing::Test {
protected:
    void SetUp() override {
        pool = cv_mem_alloc_handle(nullptr);
        diag = CreateErrorHeader(pool, nullptr);
    }
    void TearDown() override { cv_mem_release_handle(pool); }
    Value *make(const void *data, SQLLEN length, int c_type, int sql_type, SQLULEN size = 0, int scale = 0,
                Value *previous = nullptr) {
        SetupErrorHeader(diag, 0);
        ParamFacts f{c_type, sql_type, size, scale, 3};
        return make_parameter_value(diag, data, &length, f, pool, previous);
    }
    std::string text(const Value *v) {
        char buf[256];
        size_t n = 0;
        (void)value_as_text(v, buf, sizeof buf, &n);
        return std::string(buf, n < sizeof buf ? n : sizeof buf - 1);
    }
    std::string state() { return diag_count(diag) ? diag_sqlstate(diag, 1) : ""; }
    CvPool *pool = nullptr;
    ErrorHeader *diag = nullptr;
};

struct TextCase {
    const char *name;
    const void *data;
    SQLLEN length;
    int c_type;
    int sql_type;
    SQLULEN size;
    int scale;
    const char *want;   // the value's text, or null for a failure
    const char *state;  // the failure's SQLSTATE
};

const int32_t kLong = 42;
const int64_t kBig = int64_t(1) << 40;
const double kHalf = 1.5;
const unsigned char kBit0 = 0, kBit2 = 2;
const DATE_STRUCT kDate{2020, 1, 2};
const TIMESTAMP_STRUCT kStamp{2021, 3, 4, 5, 6, 7, 0};
const char16_t kSurrogate[] = u"\U0001F600";
const char16_t kWide[] = u"h\u00e9llo";

TEST_F(ParamConversion, EveryPairGivesItsValueOrItsState) {
    const TextCase cases[] = {
        {"char to varchar", "abc", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 0, 0, "abc", nullptr},
        {"char honours its length", "abcdef", 3, SQL_C_CHAR, SQL_VARCHAR, 0, 0, "abc", nullptr},
        {"wide text becomes UTF-8", kWide, SQL_NTS, SQL_C_WCHAR, SQL_WVARCHAR, 5, 0, "h\xc3\xa9llo", nullptr},
        {"a surrogate pair is one character", kSurrogate, 4, SQL_C_WCHAR, SQL_WVARCHAR, 1, 0, "\xf0\x9f\x98\x80", nullptr},
        {"characters, not bytes, are counted", "\xc3\xa9\xc3\xa9", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 2, 0, "\xc3\xa9\xc3\xa9", nullptr},
        {"one character too many", "\xc3\xa9\xc3\xa9\xc3\xa9", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 2, 0, nullptr, "22001"},
        {"column size 0 is no limit", "a long text of many characters", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 0, 0,
         "a long text of many characters", nullptr},
        {"a bit 0 to char", &kBit0, 1, SQL_C_BIT, SQL_CHAR, 0, 0, "0", nullptr},
        {"a bit 2 is out of range", &kBit2, 1, SQL_C_BIT, SQL_CHAR, 0, 0, nullptr, "22003"},
        {"long to integer", &kLong, 4, SQL_C_SLONG, SQL_INTEGER, 0, 0, "42", nullptr},
        {"long to char", &kLong, 4, SQL_C_SLONG, SQL_VARCHAR, 0, 0, "42", nullptr},
        {"default C type of integer", &kLong, 4, SQL_C_DEFAULT, SQL_INTEGER, 0, 0, "42", nullptr},
        {"text to integer", "123", SQL_NTS, SQL_C_CHAR, SQL_INTEGER, 0, 0, "123", nullptr},
        {"text to integer within its length", "12345", 2, SQL_C_CHAR, SQL_INTEGER, 0, 0, "12", nullptr},
        {"text too big for an integer", "99999999999", SQL_NTS, SQL_C_CHAR, SQL_INTEGER, 0, 0, nullptr, "22003"},
        {"big integer too big for an integer", &kBig, 8, SQL_C_SBIGINT, SQL_INTEGER, 0, 0, nullptr, "22003"},
        {"big integer to bigint", &kBig, 8, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, "1099511627776", nullptr},
        {"double to numeric", &kHalf, 8, SQL_C_DOUBLE, SQL_NUMERIC, 10, 2, "1.50", nullptr},
        {"text to double", "2.25", SQL_NTS, SQL_C_CHAR, SQL_DOUBLE, 0, 0, "2.25", nullptr},
        {"text to date", "2020-01-02", SQL_NTS, SQL_C_CHAR, SQL_TYPE_DATE, 0, 0, "2020-01-02", nullptr},
        {"text that is no date", "yesterday", SQL_NTS, SQL_C_CHAR, SQL_TYPE_DATE, 0, 0, nullptr, "22007"},
        {"date structure", &kDate, 6, SQL_C_TYPE_DATE, SQL_TYPE_DATE, 0, 0, "2020-01-02", nullptr},
        {"timestamp to date drops the time", &kStamp, 16, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_DATE, 0, 0, "2021-03-04",
         nullptr},
        {"timestamp structure", &kStamp, 16, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 0, 0, "2021-03-04 05:06:07",
         nullptr},
        {"binary to char is hex", "\x0a\xa0", 2, SQL_C_BINARY, SQL_VARCHAR, 0, 0, "0AA0", nullptr},
        {"binary longer than its column", "abc", 3, SQL_C_BINARY, SQL_BINARY, 2, 0, nullptr, "22001"},
    };
    for (const TextCase &c : cases) {
        Value *v = make(c.data, c.length, c.c_type, c.sql_type, c.size, c.scale);
        if (c.want) {
            ASSERT_NE(v, nullptr) << c.name << ": " << (diag_count(diag) ? diag_message(diag, 1) : "");
            EXPECT_FALSE(v->is_null) << c.name;
            EXPECT_EQ(text(v), c.want) << c.name;
        } else {
            EXPECT_EQ(v, nullptr) << c.name;
            EXPECT_EQ(state(), c.state) << c.name;
        }
    }
}

TEST_F(ParamConversion, NullIndicatorGivesNull) {
    Value *v = make("x", SQL_NULL_DATA, SQL_C_CHAR, SQL_INTEGER);
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->is_null);
}

TEST_F(ParamConversion, PiecesOfTextJoinAndOthersAreRefused) {
    Value *v = make("abc", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 0, 0, kPendingParamValue);
    ASSERT_NE(v, nullptr);
    v = make("def", 3, SQL_C_CHAR, SQL_VARCHAR, 0, 0, v);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(text(v), "abcdef");
    Value *limited = make("\xc3\xa9", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 2, 0, kPendingParamValue);
    ASSERT_NE(limited, nullptr);
    EXPECT_NE(make("\xc3\xa9", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 2, 0, limited), nullptr)
        << "two characters in four bytes fit a column of two";
    Value *n = make(&kLong, 4, SQL_C_SLONG, SQL_INTEGER, 0, 0, kPendingParamValue);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(make(&kLong, 4, SQL_C_SLONG, SQL_INTEGER, 0, 0, n), nullptr);
    EXPECT_EQ(state(), "HY019");
    Value *t = make("abc", SQL_NTS, SQL_C_CHAR, SQL_VARCHAR, 0, 0, kPendingParamValue);
    EXPECT_EQ(make(nullptr, SQL_NULL_DATA, SQL_C_CHAR, SQL_VARCHAR, 0, 0, t), nullptr);
    EXPECT_EQ(state(), "HY020");
}

// SQLPutData as the driver answers it (a driver manager may answer some of
// these calls itself): the statement waits for parameter 1's data, each
// case sends its pieces, and the last call's outcome is checked.
struct PutDataTest : ConnectedFixture {
    int token = 7;
    SQLLEN data_at_exec = SQL_DATA_AT_EXEC;
    void await_data(SQLSMALLINT c_type, SQLSMALLINT sql_type) {
        ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c_type, sql_type, 0, 0, &token, 0, &data_at_exec),
                  SQL_SUCCESS);
        STMT *s = st();
        s->state = S9;  // SQLParamData named parameter 1
        s->need_data_function = SQL_API_SQLEXECUTE;
        if (!s->param_pool) s->param_pool = cv_mem_alloc_handle(s->pool);
        s->param_current = 1;
        s->param_wide = nullptr;
        s->ipd->records[1].value = kPendingParamValue;
    }
    void TearDown() override {
        st()->state = S1;
        st()->need_data_function = 0;
        st()->param_current = 0;
        ConnectedFixture::TearDown();
    }
};

struct PutPiece {
    const void *data;  // null: SQL_NULL_DATA with a null pointer
    SQLLEN length;
};

TEST_F(PutDataTest, NullAfterAPieceIsNotConcatenated) {
    static const char16_t kWidePiece[] = u"ab";
    const PutPiece text{"abc", SQL_NTS}, wide{kWidePiece, 4}, bytes{"\x01\x02", 2}, null{nullptr, SQL_NULL_DATA},
        null_with_data{"abc", SQL_NULL_DATA}, number{&kLong, 4};
    struct Case {
        const char *name;
        SQLSMALLINT c_type, sql_type;
        std::vector<PutPiece> pieces;
        SQLRETURN last;
        const char *state;  // of the last call
    } cases[] = {
        {"text, then NULL", SQL_C_CHAR, SQL_VARCHAR, {text, null}, SQL_ERROR, "HY020"},
        {"text, then NULL with a data pointer", SQL_C_CHAR, SQL_VARCHAR, {text, null_with_data}, SQL_ERROR, "HY020"},
        {"long text, then NULL", SQL_C_CHAR, SQL_LONGVARCHAR, {text, text, null}, SQL_ERROR, "HY020"},
        {"wide text, then NULL", SQL_C_WCHAR, SQL_WVARCHAR, {wide, null}, SQL_ERROR, "HY020"},
        {"bytes, then NULL", SQL_C_BINARY, SQL_VARBINARY, {bytes, null}, SQL_ERROR, "HY020"},
        {"NULL, then text", SQL_C_CHAR, SQL_VARCHAR, {null, text}, SQL_ERROR, "HY020"},
        {"NULL, then wide text", SQL_C_WCHAR, SQL_WVARCHAR, {null, wide}, SQL_ERROR, "HY020"},
        {"NULL, then NULL", SQL_C_CHAR, SQL_VARCHAR, {null, null}, SQL_ERROR, "HY020"},
        {"a number, then NULL", SQL_C_SLONG, SQL_INTEGER, {number, null}, SQL_ERROR, "HY020"},
        {"a number, then a number", SQL_C_SLONG, SQL_INTEGER, {number, number}, SQL_ERROR, "HY019"},
        {"text, then text", SQL_C_CHAR, SQL_VARCHAR, {text, text}, SQL_SUCCESS, ""},
        {"NULL alone", SQL_C_CHAR, SQL_VARCHAR, {null}, SQL_SUCCESS, ""},
    };
    for (const Case &c : cases) {
        await_data(c.c_type, c.sql_type);
        SQLRETURN rc = SQL_ERROR;
        for (size_t i = 0; i < c.pieces.size(); i++) {
            rc = SQLPutData(stmt, const_cast<void *>(c.pieces[i].data), c.pieces[i].length);
            if (i + 1 < c.pieces.size()) {
                ASSERT_EQ(rc, SQL_SUCCESS) << c.name << ", piece " << i + 1 << ": " << stmt_state();
            }
        }
        EXPECT_EQ(rc, c.last) << c.name;
        EXPECT_EQ(stmt_state(), c.state) << c.name;
    }
}

TEST(ParamTypes, CTypesSuitTheirSqlTypes) {
    EXPECT_EQ(param_c_type_suits(SQL_C_TYPE_DATE, SQL_INTEGER), 0);
    EXPECT_EQ(param_c_type_suits(SQL_C_DEFAULT, SQL_INTEGER), 1);
    EXPECT_EQ(param_c_type_suits(SQL_C_TYPE_DATE, SQL_VARCHAR), 1);
    EXPECT_EQ(param_c_type_suits(SQL_C_TYPE_TIME, SQL_TYPE_DATE), 0);
    EXPECT_EQ(param_c_type_suits(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_DATE), 1);
    EXPECT_EQ(param_c_type_suits(SQL_C_SLONG, SQL_TYPE_TIMESTAMP), 0);
    EXPECT_EQ(param_c_type_suits(SQL_C_CHAR, 9999), 0);
}

}  // namespace
