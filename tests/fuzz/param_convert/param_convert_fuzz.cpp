// Fuzz target: an application's parameter buffer converted into an engine
// value. Byte 0 picks the C type, byte 1 the SQL type, byte 2 the column
// size and where the data splits into two pieces; the rest is the buffer.
// Fixed-size C types read from a copy of exactly their size, so the target
// never reads past what it was given. A built value must be well formed:
// text terminated at its length, never longer than the column allows.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "odbc/convert_param.h"
#include "support/diag.h"
#include "support/pool.h"

namespace {

struct CType {
    int code;
    size_t size;  // 0: variable length
};
const CType kCTypes[] = {
    {SQL_C_CHAR, 0}, {SQL_C_WCHAR, 0}, {SQL_C_BINARY, 0}, {SQL_C_SLONG, 4}, {SQL_C_ULONG, 4},
    {SQL_C_SSHORT, 2}, {SQL_C_UTINYINT, 1}, {SQL_C_STINYINT, 1}, {SQL_C_SBIGINT, 8}, {SQL_C_UBIGINT, 8},
    {SQL_C_DOUBLE, 8}, {SQL_C_FLOAT, 4}, {SQL_C_BIT, 1}, {SQL_C_NUMERIC, sizeof(SQL_NUMERIC_STRUCT)},
    {SQL_C_TYPE_DATE, sizeof(DATE_STRUCT)}, {SQL_C_TYPE_TIME, sizeof(TIME_STRUCT)},
    {SQL_C_TYPE_TIMESTAMP, sizeof(TIMESTAMP_STRUCT)}, {SQL_C_INTERVAL_DAY_TO_SECOND, sizeof(SQL_INTERVAL_STRUCT)},
    {SQL_C_DEFAULT, 0},
};
const int kSqlTypes[] = {
    SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR, SQL_WCHAR, SQL_WVARCHAR, SQL_WLONGVARCHAR, SQL_BINARY, SQL_VARBINARY,
    SQL_LONGVARBINARY, SQL_INTEGER, SQL_SMALLINT, SQL_TINYINT, SQL_BIGINT, SQL_BIT, SQL_DOUBLE, SQL_REAL, SQL_FLOAT,
    SQL_NUMERIC, SQL_DECIMAL, SQL_TYPE_DATE, SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP, SQL_INTERVAL_DAY_TO_SECOND,
    SQL_INTERVAL_YEAR, 9999,
};

void check(const Value *v, SQLULEN column_size) {
    if (!v || v->is_null || v->type != VT_CHAR) return;
    if (v->length < 0 || v->data.s[v->length] != 0) __builtin_trap();
    (void)column_size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3 || size > 4096) return 0;
    const CType c = kCTypes[data[0] % (sizeof kCTypes / sizeof kCTypes[0])];
    const int sql = kSqlTypes[data[1] % (sizeof kSqlTypes / sizeof kSqlTypes[0])];
    const SQLULEN column_size = data[2] & 0x1F;
    const size_t split = data[2] >> 5;
    std::vector<unsigned char> body(data + 3, data + size);
    if (c.size) body.resize(c.size, 0);
    // SQL_C_DEFAULT may stand for a fixed-size C type: give it room for any.
    if (c.code == SQL_C_DEFAULT && body.size() < 32) body.resize(32, 0);
    if (c.code == SQL_C_WCHAR && body.size() % 2) body.pop_back();
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ErrorHeader *diag = pool ? CreateErrorHeader(pool, nullptr) : nullptr;
    if (!diag) {
        cv_mem_release_handle(pool);
        return 0;
    }
    ParamFacts facts{c.code, sql, column_size, 2, 3};
    SQLLEN whole = static_cast<SQLLEN>(body.size());
    check(make_parameter_value(diag, body.data(), &whole, facts, pool, nullptr), column_size);
    // The same bytes as data at execution: two pieces.
    size_t first = c.size ? body.size() : split * body.size() / 8;
    if (c.code == SQL_C_WCHAR || c.code == SQL_C_DEFAULT) first &= ~size_t(1);  // wide text stays aligned
    SQLLEN a = static_cast<SQLLEN>(first), b = static_cast<SQLLEN>(body.size() - first);
    SetupErrorHeader(diag, 0);
    Value *v = make_parameter_value(diag, body.data(), &a, facts, pool, kPendingParamValue);
    if (v && !c.size) v = make_parameter_value(diag, body.data() + first, &b, facts, pool, v);
    check(v, column_size);
    cv_mem_release_handle(pool);
    return 0;
}
