// Descriptor fields and records: every field set and read back with its
// width, the refusals, SQLGetDescRec / SQLSetDescRec, SQLCopyDesc, and
// switching between implicit and application descriptors.
#include <cstring>
#include <string>
#include <vector>

#include "odbc/descriptor.h"
#include "odbc_fixture.h"

namespace {

struct DescriptorTest : ConnectedFixture {
    DESC *ard() { return st()->implicit_ard; }
    DESC *ird() { return st()->implicit_ird; }
    std::string desc_state(DESC *d) { return state_of(d->diag); }
};

SQLPOINTER P(SQLLEN v) { return reinterpret_cast<SQLPOINTER>(v); }

int marker[2];
const SQLLEN kPtr = reinterpret_cast<SQLLEN>(&marker[1]);

struct FieldCase {
    SQLSMALLINT field;
    SQLLEN value;
    int width;  // bytes written by SQLGetDescField
};

// clang-format off
const FieldCase kRecordFields[] = {
    {SQL_DESC_LENGTH, 50, 8},                   {SQL_DESC_PRECISION, 10, 2},
    {SQL_DESC_SCALE, 3, 2},                     {SQL_DESC_DATETIME_INTERVAL_CODE, 2, 2},
    {SQL_DESC_DATETIME_INTERVAL_PRECISION, 4, 4}, {SQL_DESC_NUM_PREC_RADIX, 10, 4},
    {SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT, 2}, {SQL_DESC_OCTET_LENGTH, 300, 8},
    {SQL_DESC_UNNAMED, SQL_UNNAMED, 2},         {SQL_DESC_OCTET_LENGTH_PTR, kPtr, 8},
    {SQL_DESC_INDICATOR_PTR, kPtr, 8},          {SQL_DESC_DATA_PTR, kPtr, 8},
};
const FieldCase kHeaderFields[] = {
    {SQL_DESC_ARRAY_SIZE, 12, 8},               {SQL_DESC_ARRAY_STATUS_PTR, kPtr, 8},
    {SQL_DESC_BIND_OFFSET_PTR, kPtr, 8},        {SQL_DESC_BIND_TYPE, 64, 4},
    {SQL_DESC_ROWS_PROCESSED_PTR, kPtr, 8},     {SQL_DESC_COUNT, 3, 2},
};
// clang-format on

int64_t read_width(const unsigned char *buf, int width) {
    if (width == 2) {
        int16_t v;
        std::memcpy(&v, buf, 2);
        return v;
    }
    if (width == 4) {
        int32_t v;
        std::memcpy(&v, buf, 4);
        return v;
    }
    int64_t v;
    std::memcpy(&v, buf, 8);
    return v;
}

TEST_F(DescriptorTest, EveryWritableFieldSetAndReadBackAtItsWidth) {
    for (const FieldCase *table : {kRecordFields, kHeaderFields}) {
        const size_t n = table == kRecordFields ? std::size(kRecordFields) : std::size(kHeaderFields);
        for (size_t i = 0; i < n; i++) {
            const FieldCase &c = table[i];
            SCOPED_TRACE(c.field);
            ASSERT_EQ(SQLSetDescField(ard(), 1, c.field, P(c.value), 0), SQL_SUCCESS);
            unsigned char buf[16];
            std::memset(buf, 0xCC, sizeof buf);
            SQLINTEGER len = -1;
            ASSERT_EQ(SQLGetDescField(ard(), 1, c.field, buf, sizeof buf, &len), SQL_SUCCESS);
            EXPECT_EQ(read_width(buf, c.width), c.value);
            EXPECT_EQ(len, c.width);
            EXPECT_EQ(buf[c.width], 0xCC) << "written past its width";
        }
    }
    SQLSMALLINT alloc = 0;
    ASSERT_EQ(SQLGetDescField(ard(), 0, SQL_DESC_ALLOC_TYPE, &alloc, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(alloc, SQL_DESC_ALLOC_AUTO);
}

TEST_F(DescriptorTest, ReadOnlyAndUnknownFieldsAndBadIndexes) {
    for (SQLSMALLINT f : {static_cast<SQLSMALLINT>(SQL_DESC_NAME), static_cast<SQLSMALLINT>(SQL_DESC_ALLOC_TYPE),
                          static_cast<SQLSMALLINT>(SQL_DESC_NULLABLE), static_cast<SQLSMALLINT>(9999)}) {
        EXPECT_EQ(SQLSetDescField(ard(), 1, f, P(1), 0), SQL_ERROR) << f;
        EXPECT_EQ(desc_state(ard()), "HY091");
    }
    SQLINTEGER v;
    EXPECT_EQ(SQLGetDescField(ard(), 0, 9999, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "HY091");
    EXPECT_EQ(SQLGetDescField(ard(), -1, SQL_DESC_COUNT, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "07009");
    EXPECT_EQ(SQLSetDescField(ard(), -1, SQL_DESC_PRECISION, P(1), 0), SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "07009");
    EXPECT_EQ(SQLSetDescField(ard(), 0, SQL_DESC_COUNT, P(-1), 0), SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "07009");
    EXPECT_EQ(SQLSetDescField(ard(), 0, SQL_DESC_ARRAY_SIZE, P(0), 0), SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "HY024");
    // A record above the count is no data; header fields ignore the record.
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQLGetDescField(ard(), 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(SQLGetDescField(ard(), 5, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_PRECISION, &count, 0, nullptr), SQL_NO_DATA);
    EXPECT_EQ(SQLGetDescField(nullptr, 1, SQL_DESC_COUNT, &count, 0, nullptr), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLSetDescField(stmt, 1, SQL_DESC_COUNT, nullptr, 0), SQL_INVALID_HANDLE);
}

TEST_F(DescriptorTest, DescribingFieldsDropTheDataPointerAndCountUnbinds) {
    ASSERT_EQ(SQLSetDescField(ard(), 2, SQL_DESC_DATA_PTR, P(kPtr), 0), SQL_SUCCESS);
    SQLSMALLINT count = 0;
    ASSERT_EQ(SQLGetDescField(ard(), 0, SQL_DESC_COUNT, &count, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 2) << "writing record 2 grows the count";
    void *p = nullptr;
    ASSERT_EQ(SQLSetDescField(ard(), 2, SQL_DESC_INDICATOR_PTR, P(kPtr), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ard(), 2, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, &marker[1]);
    ASSERT_EQ(SQLSetDescField(ard(), 2, SQL_DESC_PRECISION, P(5), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ard(), 2, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, nullptr);

    ASSERT_EQ(SQLSetDescField(ard(), 2, SQL_DESC_DATA_PTR, P(kPtr), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard(), 0, SQL_DESC_COUNT, P(0), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard(), 0, SQL_DESC_COUNT, P(2), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ard(), 2, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, nullptr) << "records above a lowered count are unbound";
    ASSERT_EQ(SQLSetDescField(ard(), 0, SQL_DESC_COUNT, P(300), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard(), 300, SQL_DESC_OCTET_LENGTH, P(1), 0), SQL_SUCCESS);
}

struct TypeCase {
    SQLSMALLINT field;  // SQL_DESC_CONCISE_TYPE or SQL_DESC_TYPE
    SQLLEN value;
    SQLSMALLINT code;   // SQL_DESC_DATETIME_INTERVAL_CODE set before
    SQLSMALLINT type, concise, subcode;
    SQLLEN octet_length;
};

TEST_F(DescriptorTest, TypeSettingKeepsTypeConciseTypeAndSubcodeTogether) {
    // clang-format off
    const TypeCase kTypes[] = {
        {SQL_DESC_CONCISE_TYPE, SQL_TYPE_TIMESTAMP, 0, SQL_DATETIME, SQL_TYPE_TIMESTAMP, SQL_CODE_TIMESTAMP, 16},
        {SQL_DESC_CONCISE_TYPE, SQL_TIMESTAMP, 0, SQL_DATETIME, SQL_TYPE_TIMESTAMP, SQL_CODE_TIMESTAMP, 16},
        {SQL_DESC_CONCISE_TYPE, SQL_INTERVAL_DAY_TO_SECOND, 0, SQL_INTERVAL, SQL_INTERVAL_DAY_TO_SECOND, SQL_CODE_DAY_TO_SECOND, 28},
        {SQL_DESC_CONCISE_TYPE, SQL_INTEGER, 0, SQL_INTEGER, SQL_INTEGER, 0, 4},
        {SQL_DESC_CONCISE_TYPE, SQL_C_SBIGINT, 0, SQL_C_SBIGINT, SQL_C_SBIGINT, 0, 8},
        {SQL_DESC_CONCISE_TYPE, SQL_VARCHAR, 0, SQL_VARCHAR, SQL_VARCHAR, 0, 0},
        {SQL_DESC_TYPE, SQL_DATETIME, SQL_CODE_DATE, SQL_DATETIME, SQL_TYPE_DATE, SQL_CODE_DATE, 6},
        {SQL_DESC_TYPE, SQL_INTERVAL, SQL_CODE_MONTH, SQL_INTERVAL, SQL_INTERVAL_MONTH, SQL_CODE_MONTH, 28},
        {SQL_DESC_TYPE, SQL_DOUBLE, SQL_CODE_DATE, SQL_DOUBLE, SQL_DOUBLE, 0, 8},
    };
    // clang-format on
    for (const TypeCase &c : kTypes) {
        SCOPED_TRACE(c.value);
        ASSERT_EQ(SQLSetDescField(ard(), 1, SQL_DESC_DATETIME_INTERVAL_CODE, P(c.code), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLSetDescField(ard(), 1, c.field, P(c.value), 0), SQL_SUCCESS);
        SQLSMALLINT type = 0, concise = 0, code = -1;
        SQLLEN octets = -1;
        ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_TYPE, &type, 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_CONCISE_TYPE, &concise, 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_DATETIME_INTERVAL_CODE, &code, 0, nullptr), SQL_SUCCESS);
        ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_OCTET_LENGTH, &octets, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(concise, c.concise);
        EXPECT_EQ(code, c.subcode);
        EXPECT_EQ(octets, c.octet_length);
    }
    // An ODBC 2 application keeps the ODBC 2 date and time codes.
    static_cast<ENV *>(env)->odbc_version = 2;
    ASSERT_EQ(SQLSetDescField(ard(), 1, SQL_DESC_CONCISE_TYPE, P(SQL_TYPE_DATE), 0), SQL_SUCCESS);
    SQLSMALLINT concise = 0;
    ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_CONCISE_TYPE, &concise, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(concise, SQL_DATE);
    static_cast<ENV *>(env)->odbc_version = 3;
}

TEST_F(DescriptorTest, ImplementationRowDescriptorRules) {
    // Before anything is described the IRD is refused by the statement state
    // (on the descriptor, leaving the statement's diagnostics alone).
    SQLSMALLINT v;
    EXPECT_EQ(SQLGetDescField(ird(), 0, SQL_DESC_COUNT, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(desc_state(ird()), "HY010");
    EXPECT_EQ(diag_count(st()->diag), 0);
    st()->state = S4;
    EXPECT_EQ(SQLGetDescRec(ird(), 0, nullptr, 0, nullptr, &v, nullptr, nullptr, nullptr, nullptr, nullptr),
              SQL_ERROR);
    EXPECT_EQ(desc_state(ird()), "24000");
    st()->state = S3;
    ASSERT_EQ(SQLGetDescField(ird(), 0, SQL_DESC_COUNT, &v, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLGetDescField(ird(), 0, SQL_DESC_TYPE, &v, 0, nullptr), SQL_ERROR);
    EXPECT_EQ(desc_state(ird()), "HY007");
    // Writes of describing fields are ignored; status arrays are kept.
    ASSERT_EQ(SQLSetDescField(ird(), 1, SQL_DESC_PRECISION, P(7), 0), SQL_SUCCESS);
    EXPECT_EQ(ird()->record_count, 0);
    ASSERT_EQ(SQLSetDescField(ird(), 0, SQL_DESC_ARRAY_STATUS_PTR, P(kPtr), 0), SQL_SUCCESS);
    EXPECT_EQ(reinterpret_cast<SQLLEN>(ird()->header.array_status), kPtr);
    // Nothing may change a statement's descriptors while it needs data.
    st()->state = S8;
    EXPECT_EQ(SQLSetDescField(ard(), 1, SQL_DESC_PRECISION, P(1), 0), SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "HY010");
    st()->state = S1;
}

TEST_F(DescriptorTest, TextFieldsAtEveryBufferSizeAndTheWideOctetLength) {
    ASSERT_EQ(SQLSetDescField(ird(), 0, SQL_DESC_ARRAY_SIZE, P(1), 0), SQL_SUCCESS);
    DESC *d = ird();
    ASSERT_NE(desc_record_at(d, 1), nullptr);
    d->header.populated = 1;
    st()->state = S3;
    const std::string name = "invoice_number";
    d->records[1].name = cv_mem_strdup(d->record_pool, name.c_str());
    d->records[1].concise_type = SQL_VARCHAR;
    d->records[1].octet_length = 10;
    d->records[1].display_size = 10;
    const SQLINTEGER n = static_cast<SQLINTEGER>(name.size());
    for (SQLINTEGER cap = 0; cap <= n + 2; cap++) {
        std::vector<char> buf(static_cast<size_t>(cap) + 4, '#');
        SQLINTEGER len = -1;
        SQLRETURN rc = SQLGetDescField(d, 1, SQL_DESC_NAME, buf.data(), cap, &len);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        EXPECT_EQ(len, n);
        for (size_t i = static_cast<size_t>(cap); i < buf.size(); i++) ASSERT_EQ(buf[i], '#');
        std::vector<unsigned char> wbuf(static_cast<size_t>(cap) * 2 + 4, 0x23);
        rc = SQLGetDescFieldW(d, 1, SQL_DESC_NAME, wbuf.data(), cap * 2, &len);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        EXPECT_EQ(len, 2 * n);
        for (size_t i = static_cast<size_t>(cap) * 2; i < wbuf.size(); i++) ASSERT_EQ(wbuf[i], 0x23);
        // SQLGetDescRecW counts characters.
        std::vector<SQLWCHAR> rbuf(static_cast<size_t>(cap) + 2, 0x2323);
        SQLSMALLINT rlen = -1, type = 0;
        SQLLEN length = 0;
        rc = SQLGetDescRecW(d, 1, rbuf.data(), static_cast<SQLSMALLINT>(cap), &rlen, &type, nullptr, &length,
                            nullptr, nullptr, nullptr);
        EXPECT_EQ(rc, cap > n ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO) << cap;
        EXPECT_EQ(rlen, n);
        EXPECT_EQ(rbuf[static_cast<size_t>(cap)], 0x2323);
        EXPECT_EQ(type, SQL_WVARCHAR);
        EXPECT_EQ(length, 20);
    }
    // Character data reaches the application as UTF-16: two bytes each.
    SQLLEN octets = 0;
    ASSERT_EQ(SQLGetDescField(d, 1, SQL_DESC_OCTET_LENGTH, &octets, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(octets, 20);
    // An application descriptor's octet length is its buffer length.
    ASSERT_EQ(SQLSetDescField(ard(), 1, SQL_DESC_CONCISE_TYPE, P(SQL_C_CHAR), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetDescField(ard(), 1, SQL_DESC_OCTET_LENGTH, P(100), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_OCTET_LENGTH, &octets, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(octets, 100);
    char small[4];
    EXPECT_EQ(SQLGetDescField(d, 1, SQL_DESC_NAME, small, -1, nullptr), SQL_ERROR);
    EXPECT_EQ(desc_state(d), "HY090");
    st()->state = S1;
}

TEST_F(DescriptorTest, SetDescRecAndGetDescRec) {
    SQLLEN octet_len = 0, ind = 0;
    char data[8];
    ASSERT_EQ(SQLSetDescRec(ard(), 1, SQL_DATETIME, SQL_CODE_TIME, 6, 0, 0, data, &octet_len, &ind), SQL_SUCCESS);
    SQLSMALLINT concise = 0, code = 0;
    void *p = nullptr;
    ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_CONCISE_TYPE, &concise, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_DATETIME_INTERVAL_CODE, &code, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_DATA_PTR, &p, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(concise, SQL_TYPE_TIME);
    EXPECT_EQ(code, SQL_CODE_TIME);
    EXPECT_EQ(p, data);
    ASSERT_EQ(SQLGetDescField(ard(), 1, SQL_DESC_INDICATOR_PTR, &p, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(p, &ind);
    SQLCHAR name[16];
    SQLSMALLINT len = -1, type = 0, sub = 0, prec = -1, scale = -1, nullable = -1;
    SQLLEN length = -1;
    ASSERT_EQ(SQLGetDescRec(ard(), 1, name, sizeof name, &len, &type, &sub, &length, &prec, &scale, &nullable),
              SQL_SUCCESS);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(type, SQL_TYPE_TIME);
    EXPECT_EQ(sub, SQL_CODE_TIME);
    EXPECT_EQ(SQLGetDescRec(ard(), 2, name, sizeof name, &len, &type, &sub, &length, &prec, &scale, &nullable),
              SQL_NO_DATA);
    EXPECT_EQ(SQLGetDescRec(ard(), -1, name, sizeof name, &len, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr),
              SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "07009");
    EXPECT_EQ(SQLSetDescRec(ard(), -1, SQL_INTEGER, 0, 4, 0, 0, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(desc_state(ard()), "07009");
}

TEST_F(DescriptorTest, CopyDescIsRefusedOnBothHandles) {
    SQLHDESC explicit_desc;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &explicit_desc), SQL_SUCCESS);
    EXPECT_EQ(SQLCopyDesc(ard(), explicit_desc), SQL_ERROR);
    for (DESC *d : {ard(), static_cast<DESC *>(explicit_desc)}) {
        EXPECT_EQ(desc_state(d), "HY000");
        EXPECT_STREQ(diag_message(d->diag, 1), "General error: SQLCopyDesc not implemented");
    }
    EXPECT_EQ(SQLCopyDesc(ard(), stmt), SQL_INVALID_HANDLE);
    EXPECT_EQ(SQLCopyDesc(nullptr, ard()), SQL_INVALID_HANDLE);
}

TEST_F(DescriptorTest, ApplicationDescriptorsReplaceAndReturnToTheImplicitOnes) {
    SQLHDESC mine;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &mine), SQL_SUCCESS);
    SQLSMALLINT alloc = 0;
    ASSERT_EQ(SQLGetDescField(mine, 0, SQL_DESC_ALLOC_TYPE, &alloc, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(alloc, SQL_DESC_ALLOC_USER);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, mine, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, mine, 0), SQL_SUCCESS);
    SQLHDESC got = nullptr;
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &got, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(got, mine);
    // Statement attributes now reach the application's descriptor.
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, P(7), 0), SQL_SUCCESS);
    EXPECT_EQ(static_cast<DESC *>(mine)->header.array_size, 7u);
    EXPECT_EQ(ard()->header.array_size, 1u);
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, SQL_NULL_HANDLE, 0), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &got, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(got, ard());
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, ard(), 0), SQL_SUCCESS);

    // Only descriptors of the same connection, and no other statement's
    // implicit ones.
    SQLHDBC other_dbc;
    SQLHDESC foreign;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &other_dbc), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, other_dbc, &foreign), SQL_SUCCESS);
    SQLHSTMT other_stmt;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other_stmt), SQL_SUCCESS);
    struct Bad {
        SQLPOINTER handle;
        const char *state;
    } bad[] = {
        {foreign, "HY024"},
        {stmt, "HY024"},
        {dbc, "HY024"},
        {static_cast<STMT *>(other_stmt)->implicit_ard, "HY017"},
        {ird(), "HY017"},
    };
    for (const Bad &b : bad) {
        for (SQLINTEGER attr : {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC}) {
            EXPECT_EQ(SQLSetStmtAttr(stmt, attr, b.handle, 0), SQL_ERROR);
            EXPECT_EQ(stmt_state(), b.state);
        }
    }
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, &got, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(got, mine) << "a refused handle leaves the current one";

    // Freeing the application's descriptor returns the statement to its own.
    ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_DESC, mine), SQL_SUCCESS);
    ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, &got, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(got, st()->implicit_apd);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, other_dbc), SQL_SUCCESS);
}

}  // namespace
