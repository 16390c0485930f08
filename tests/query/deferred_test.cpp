// read_deferred_value against a DAL iterator whose one provider is built for
// the test: every column holds bytes (or text) and the provider records the
// transfer types it was asked for.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dal/dal.h"
#include "query/deferred.h"
#include "support/value.h"
#include "odbc/handles.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

struct FakeColumn {
    std::string data;             // raw bytes of fixed forms, or the text / bytes
    bool null = false;
    bool refuse_numeric = false;  // SQL_C_NUMERIC fails with the error code
    size_t offset = 0;            // piecewise read position
};

struct FakeProvider {
    std::vector<FakeColumn> columns;  // column n is columns[n - 1]
    std::vector<int> asked;           // transfer types asked, in order
    int32_t exact = 1;                // answer to information code 3
    int info_calls = 0;
};

FakeProvider g_provider;

template <typename T>
std::string bytes_of(const T &v) {
    return std::string(reinterpret_cast<const char *>(&v), sizeof v);
}

void *open_it(void *, void *env, DalProvider *, const Node *) { return env; }
int close_it(void *) { return DAL_OK; }
int next_row(void *) { return DAL_OK; }
int start_query(void *, TableInfo *, const ListNode *, const ListNode *, int, Restriction **) { return DAL_OK; }
int get_info(void *env, SqiInfoCode code, SqiInfo *out) {
    auto *p = static_cast<FakeProvider *>(env);
    p->info_calls++;
    if (code == SQI_INFO_EXACT_NUMERICS) out->integer = p->exact;
    return DAL_OK;
}

// Character and binary data come in pieces, as ODBC's SQLGetData gives them.
int get_data(void *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    auto *p = static_cast<FakeProvider *>(it);
    p->asked.push_back(c_type);
    if (column < 1 || column > static_cast<int>(p->columns.size())) return DAL_ERROR;
    FakeColumn &c = p->columns[static_cast<size_t>(column - 1)];
    if (c.null) {
        *length = SQL_NULL_DATA;
        return DAL_OK;
    }
    if (c_type == SQL_C_NUMERIC && c.refuse_numeric) return DAL_ERROR;
    if (c_type == SQL_C_CHAR || c_type == SQL_C_BINARY) {
        const bool text = c_type == SQL_C_CHAR;
        std::string rest = c.data.substr(c.offset);
        *length = static_cast<SQLLEN>(rest.size());
        size_t room = static_cast<size_t>(capacity) - (text ? 1 : 0);
        size_t n = rest.size() < room ? rest.size() : room;
        std::memcpy(buffer, rest.data(), n);
        if (text) static_cast<char *>(buffer)[n] = '\0';
        c.offset += n;
        return n < rest.size() ? DAL_INFO : DAL_OK;
    }
    std::memcpy(buffer, c.data.data(), std::min(c.data.size(), static_cast<size_t>(capacity)));
    *length = static_cast<SQLLEN>(c.data.size());
    return DAL_OK;
}

struct Deferred : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC hdbc = nullptr;
    DBC *dbc = nullptr;
    DalIterator *it = nullptr;
    CvPool *pool = nullptr;

    void SetUp() override {
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &hdbc), SQL_SUCCESS);
        dbc = static_cast<DBC *>(hdbc);
        pool = cv_mem_alloc_handle(dbc->pool);
        g_provider = FakeProvider{};
        DalRecord *dal = dbc->dal;
        dal->count = 1;
        dal->providers = pool_new_array<DalProvider *>(dbc->pool, 1);
        DalProvider *p = pool_new<DalProvider>(dbc->pool);
        p->slots = DalSlots{.SQIGetInfo = get_info, .SQIOpenIterator = open_it,
                            .SQICloseIterator = close_it, .SQINextRow = next_row,
                            .SQIGetData = get_data, .SQIStartQuery = start_query};
        p->handle = &g_provider;
        dal->providers[0] = p;
        it = DALOpenIterator(dbc, dal);
        ASSERT_NE(it, nullptr);
        TableInfo info{};
        info.provider_index = 0;
        ASSERT_EQ(DALStartQuery(it, &info, nullptr, nullptr, 0, nullptr), DAL_OK);
        ASSERT_EQ(DALNextRow(it), DAL_OK);
    }
    void TearDown() override {
        DALCloseIterator(it);
        dbc->dal->providers[0]->slots = DalSlots{};
        dbc->dal->count = 0;
        dbc->dal->providers = nullptr;
        cv_mem_release_handle(pool);
        SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    // Column n of the row, with its data.
    int add_column(const std::string &data, bool null = false) {
        g_provider.columns.push_back(FakeColumn{data, null, false, 0});
        return static_cast<int>(g_provider.columns.size());
    }
    // A deferred value of `type` reading column `column` (`capacity` bytes of
    // buffer for character and binary kinds).
    Value *deferred(uint32_t type, int column, int32_t capacity = 0) {
        Value *v = NewValue(pool, capacity);
        EXPECT_NE(v, nullptr);
        v->type = type;
        v->length = capacity;
        v->is_null = 7;  // must be overwritten
        v->deferred = 1;
        v->source_iterator = it;
        v->source_column = column;
        return v;
    }
};

TEST_F(Deferred, EveryFixedTypeInItsTransferType) {
    DATE_STRUCT date{2024, 2, 29};
    TIME_STRUCT time{23, 59, 58};
    TIMESTAMP_STRUCT ts{2024, 2, 29, 23, 59, 58, 500000000};
    SQL_INTERVAL_STRUCT ym{};
    ym.interval_type = SQL_IS_YEAR_TO_MONTH;
    ym.intval.year_month.year = 3;
    SQL_INTERVAL_STRUCT ds{};
    ds.interval_type = SQL_IS_DAY_TO_SECOND;
    ds.intval.day_second.hour = 5;
    struct Row {
        uint32_t type;
        std::string data;
        int c_type;
    } rows[] = {
        {VT_INTEGER, bytes_of(int32_t{-42}), SQL_C_LONG},
        {VT_BIT, bytes_of(int32_t{1}), SQL_C_LONG},
        {VT_DOUBLE, bytes_of(2.5), SQL_C_DOUBLE},
        {VT_DATE, bytes_of(date), SQL_C_TYPE_DATE},
        {VT_TIME, bytes_of(time), SQL_C_TYPE_TIME},
        {VT_TIMESTAMP, bytes_of(ts), SQL_C_TYPE_TIMESTAMP},
        {VT_BIGINT, bytes_of(int64_t{-9000000000}), SQL_C_SBIGINT},
        {VT_INTERVAL_YM, bytes_of(ym), SQL_C_INTERVAL_YEAR},
        {VT_INTERVAL_DS, bytes_of(ds), SQL_C_INTERVAL_DAY},
    };
    for (const Row &r : rows) {
        int col = add_column(r.data);
        Value *v = deferred(r.type, col);
        g_provider.asked.clear();
        ASSERT_EQ(read_deferred_value(v), 0) << r.type;
        EXPECT_EQ(v->deferred, 0);
        EXPECT_EQ(v->is_null, 0);
        ASSERT_EQ(g_provider.asked.size(), 1u);
        EXPECT_EQ(g_provider.asked[0], r.c_type) << r.type;
        EXPECT_EQ(std::memcmp(&v->data, r.data.data(), r.data.size()), 0) << r.type;
    }
}

TEST_F(Deferred, CharacterAndBinary) {
    Value *v = deferred(VT_CHAR, add_column("hello"), 32);
    ASSERT_EQ(read_deferred_value(v), 0);
    EXPECT_STREQ(v->data.s, "hello");
    EXPECT_EQ(v->length, 5);
    EXPECT_EQ(v->piece_offset, 0);
    EXPECT_EQ(g_provider.asked.back(), SQL_C_CHAR);

    // A text longer than the buffer is cut to it and reported as information.
    Value *cut = deferred(VT_CHAR, add_column("abcdefghij"), 4);
    cut->piece_offset = 9;
    ASSERT_EQ(read_deferred_value(cut), 1);
    EXPECT_STREQ(cut->data.s, "abcd");
    EXPECT_EQ(cut->length, 4);
    EXPECT_EQ(cut->piece_offset, 0);

    Value *b = deferred(VT_BINARY, add_column(std::string("\x01\x00\x03", 3)), 8);
    ASSERT_EQ(read_deferred_value(b), 0);
    EXPECT_EQ(b->length, 3);
    EXPECT_EQ(b->reported_length, 3);
    EXPECT_EQ(b->data.bytes[2], 3);
    EXPECT_EQ(g_provider.asked.back(), SQL_C_BINARY);
}

TEST_F(Deferred, NullForEveryKind) {
    const uint32_t types[] = {VT_INTEGER, VT_DOUBLE, VT_CHAR, VT_BINARY, VT_DATE, VT_TIME,
                              VT_TIMESTAMP, VT_BIGINT, VT_INTERVAL_YM, VT_INTERVAL_DS,
                              VT_NUMERIC, VT_LONG_CHAR, VT_LONG_BINARY};
    for (uint32_t type : types) {
        Value *v = deferred(type, add_column("", true), 16);
        ASSERT_EQ(read_deferred_value(v), 0) << type;
        EXPECT_EQ(v->is_null, -1) << type;
        EXPECT_EQ(v->deferred, 0) << type;
    }
}

TEST_F(Deferred, ExactNumericAskedOnceThenReadAsStructure) {
    SQL_NUMERIC_STRUCT n{};
    ASSERT_EQ(string_to_numeric("12.50", &n, 10, 2), kNumOk);
    int col = add_column(bytes_of(n));
    DeferredNumeric column{};
    for (int row = 0; row < 3; row++) {
        Value *v = deferred(VT_NUMERIC, col);
        v->source_column_info = &column;
        g_provider.asked.clear();
        ASSERT_EQ(read_deferred_value(v), 0);
        EXPECT_EQ(g_provider.asked, std::vector<int>{SQL_C_NUMERIC});
        EXPECT_EQ(numeric_compare(&v->data.num, &n), 0);
    }
    EXPECT_EQ(g_provider.info_calls, 1);
    EXPECT_EQ(column.asked, 1);
    EXPECT_EQ(column.transfers_exact, 1);
}

TEST_F(Deferred, NumericFallsBackToText) {
    int col = add_column("123.456");
    g_provider.columns.back().refuse_numeric = true;
    DeferredNumeric column{};
    Value *v = deferred(VT_NUMERIC, col);
    v->source_column_info = &column;
    v->precision = 10;
    v->scale = 3;
    ASSERT_EQ(read_deferred_value(v), 0);
    EXPECT_EQ(g_provider.asked, (std::vector<int>{SQL_C_NUMERIC, SQL_C_CHAR}));
    SQL_NUMERIC_STRUCT want{};
    ASSERT_EQ(string_to_numeric("123.456", &want, 10, 3), kNumOk);
    EXPECT_EQ(numeric_compare(&v->data.num, &want), 0);
    EXPECT_EQ(column.transfers_exact, 0);  // the structure is not asked for again

    g_provider.columns.back().offset = 0;
    g_provider.asked.clear();
    Value *again = deferred(VT_NUMERIC, col);
    again->source_column_info = &column;
    again->scale = 3;
    ASSERT_EQ(read_deferred_value(again), 0);
    EXPECT_EQ(g_provider.asked, std::vector<int>{SQL_C_CHAR});

    // A provider without exact numerics is read as text from the start.
    g_provider.exact = 0;
    DeferredNumeric other{};
    g_provider.asked.clear();
    Value *text = deferred(VT_NUMERIC, add_column("-7.25"));
    text->source_column_info = &other;
    text->scale = 2;
    ASSERT_EQ(read_deferred_value(text), 0);
    EXPECT_EQ(g_provider.asked, std::vector<int>{SQL_C_CHAR});
    EXPECT_EQ(text->data.num.sign, 0);
    EXPECT_DOUBLE_EQ(numeric_to_double(&text->data.num), -7.25);

    // Text that is no number, or does not fit the column, is a read failure
    // rather than some other value.
    Value *bad = deferred(VT_NUMERIC, add_column("abc"));
    bad->source_column_info = &other;
    EXPECT_EQ(read_deferred_value(bad), -1);
    Value *wide = deferred(VT_NUMERIC, add_column("123456"));
    wide->source_column_info = &other;
    wide->precision = 4;
    EXPECT_EQ(read_deferred_value(wide), -1);
}

// A numeric read as text is exactly what string_to_numeric makes of that
// text at the column's precision and scale, whichever way it is read: the
// provider's plain amounts and every form around them (other scales, signs,
// leading zeros, exponents, too many digits for the column or for 64 bits).
TEST_F(Deferred, NumericTextReadsAsStringToNumeric) {
    struct Case {
        const char *text;
        int precision;
        int scale;
    };
    const Case cases[] = {
        {"12.50", 10, 2},      {"-12.50", 10, 2},    {"0.00", 10, 2},       {"-0.00", 10, 2},
        {"007.25", 10, 2},     {"123", 10, 0},       {"123", 0, 0},         {"12.5", 10, 2},
        {"12.505", 10, 2},     {"12.", 10, 0},       {".5", 10, 1},         {"+1.5", 10, 1},
        {" 1.5", 10, 1},       {"1e2", 10, 0},       {"1.5x", 10, 1},       {"-", 10, 0},
        {"9999.99", 6, 2},     {"99999.99", 6, 2},   {"999999999999999999", 0, 0},
        {"9999999999999999999", 0, 0},               {"123456789012.345678", 38, 6},
        {"99.5", 18, 1},       {"12.34", 0, -1},     {"1.000000000000000001", 20, 18},
        {"0.000000000000000001", 19, 18},            {"1234567890123456.78", 18, 2},
        {"10.5", 19, 2},       {"-100", 19, 2},      {"7", 19, 4},          {"9999.9", 5, 2},
        {"1234567890123456", 19, 2},                 {"12345678901234567", 19, 2},
    };
    g_provider.exact = 0;
    for (const Case &c : cases) {
        SQL_NUMERIC_STRUCT want{};
        const int want_rc = string_to_numeric(c.text, &want, c.precision, c.scale);
        DeferredNumeric column{};
        Value *v = deferred(VT_NUMERIC, add_column(c.text));
        v->source_column_info = &column;
        v->precision = c.precision;
        v->scale = c.scale;
        const int rc = read_deferred_value(v);
        ASSERT_EQ(rc, want_rc == kNumOk ? 0 : -1) << c.text;
        if (rc == 0) {
            EXPECT_EQ(std::memcmp(&v->data.num, &want, sizeof want), 0) << c.text;
        }
    }
}

TEST_F(Deferred, LongValuesAreSpooledInPieces) {
    std::string text;
    for (int i = 0; i < 3000; i++) text += static_cast<char>('a' + i % 26);
    Value *v = deferred(VT_LONG_CHAR, add_column(text));
    g_provider.asked.clear();
    ASSERT_EQ(read_deferred_value(v), 0);
    ASSERT_NE(v->long_buffer, nullptr);
    EXPECT_EQ(long_buffer_length(v->long_buffer), text.size());
    EXPECT_EQ(std::string(long_buffer_data(v->long_buffer)), text);
    EXPECT_EQ(g_provider.asked.size(), 3u);  // 1,023 + 1,023 + 954 bytes
    EXPECT_EQ(v->is_null, 0);

    std::string bytes(2500, '\0');
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<char>(i * 7);
    Value *b = deferred(VT_LONG_BINARY, add_column(bytes));
    b->long_buffer = allocate_long_buffer(pool, 0, SQL_LONGVARBINARY);
    ASSERT_EQ(read_deferred_value(b), 0);
    ASSERT_EQ(long_buffer_length(b->long_buffer), bytes.size());
    EXPECT_EQ(std::memcmp(long_buffer_data(b->long_buffer), bytes.data(), bytes.size()), 0);

    // Past the buffer's limit the read fails instead of keeping part.
    Value *small = deferred(VT_LONG_CHAR, add_column(text));
    small->long_buffer = allocate_long_buffer(pool, 100, SQL_LONGVARCHAR);
    EXPECT_EQ(read_deferred_value(small), -1);
}

TEST_F(Deferred, FailuresReturnMinusOne) {
    Value *missing = deferred(VT_INTEGER, 99);  // the provider has no such column
    EXPECT_EQ(read_deferred_value(missing), -1);
    EXPECT_EQ(missing->deferred, 0);
    Value *orphan = deferred(VT_INTEGER, add_column(bytes_of(int32_t{1})));
    orphan->source_iterator = nullptr;
    EXPECT_EQ(read_deferred_value(orphan), -1);
    Value *odd = deferred(VT_USER, add_column("x"));
    EXPECT_EQ(read_deferred_value(odd), -1);
    EXPECT_EQ(read_deferred_value(nullptr), -1);
}

}  // namespace
