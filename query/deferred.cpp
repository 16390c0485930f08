// read_deferred_value: a fetched column read through the data access layer
// on its first use, in the transfer type of its value type.
#include "query/deferred.h"

#include <cstring>

#include "dal/dal.h"
#include "support/value.h"
#include "support/long_buffer.h"
#include "support/numeric.h"

namespace {

// The DAL answers in provider codes; the engine in 0, 1, 100, -1.
int engine_code(int dal) {
    switch (dal) {
    case DAL_OK: return 0;
    case DAL_INFO: return 1;
    case DAL_NO_DATA: return 100;
    default: return -1;
    }
}

int32_t clamp32(SQLLEN n) {
    if (n > INT32_MAX) return INT32_MAX;
    if (n < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(n);
}

// Fixed-size forms: the datum goes straight into the data union.
int read_fixed(DalIterator *it, Value *v, int c_type, void *target, SQLLEN size) {
    SQLLEN indicator = 0;
    int r = DALGetData(it, v->source_column, c_type, target, size, &indicator);
    v->is_null = (r == DAL_OK || r == DAL_INFO) && indicator == SQL_NULL_DATA ? -1 : 0;
    return engine_code(r);
}

// read_char, read_binary and read_long are kept out of read_deferred_value,
// which every value fetched passes: inlined, their registers were saved and
// restored on each call, integers' and dates' too; apart, the dispatch is a
// jump to each.
[[gnu::noinline]] int read_char(DalIterator *it, Value *v) {
    if (!v->data.s || v->length < 0) return -1;
    const SQLLEN capacity = static_cast<SQLLEN>(v->length) + 1;
    SQLLEN indicator = 0;
    int r = DALGetData(it, v->source_column, SQL_C_CHAR, v->data.s, capacity, &indicator);
    v->piece_offset = 0;
    v->is_null = 0;
    if (r != DAL_OK && r != DAL_INFO) return engine_code(r);
    SQLLEN n;
    if (indicator == SQL_NULL_DATA) {
        v->is_null = -1;
        n = 0;
    } else if (indicator >= 0) {
        n = indicator < capacity ? indicator : capacity - 1;  // a cut text keeps what fits
    } else {
        n = static_cast<SQLLEN>(strnlen(v->data.s, static_cast<size_t>(capacity - 1)));
    }
    // The provider terminates what it writes; the engine relies on it, so
    // make sure rather than trust.
    v->data.s[n] = '\0';
    v->length = clamp32(n);
    return engine_code(r);
}

[[gnu::noinline]] int read_binary(DalIterator *it, Value *v) {
    if (v->length < 0 || (v->length > 0 && !v->data.bytes)) return -1;
    const SQLLEN capacity = v->length;
    SQLLEN indicator = 0;
    int r = DALGetData(it, v->source_column, SQL_C_BINARY, v->data.bytes, capacity, &indicator);
    v->is_null = 0;
    if (r != DAL_OK && r != DAL_INFO) return engine_code(r);
    v->reported_length = clamp32(indicator);
    if (indicator == SQL_NULL_DATA) {
        v->is_null = -1;
        v->length = 0;
    } else if (indicator >= 0 && indicator < capacity) {
        // Only the bytes the provider wrote are the value.
        v->length = clamp32(indicator);
    }
    return engine_code(r);
}

// Does the provider delivering the iterator's rows transfer exact numerics?
// Asked through the DAL's information call (code 3); no answer means no.
bool transfers_exact(DalIterator *it) {
    TableInfo info{};
    info.provider_index = it->position;
    SqiInfo answer{};
    int r = DALGetInfo(it, &info, SQI_INFO_EXACT_NUMERICS, &answer);
    return (r == DAL_OK || r == DAL_INFO) && answer.integer != 0;
}

// The text almost every amount arrives as: an optional minus, integer digits
// and at most the column's scale of fraction digits, 18 digits at most once
// scaled. It needs no rounding, so it is read here in one pass into what
// string_to_numeric gives; false for any other text, which takes that path.
bool read_column_amount(const char *text, int precision, int scale, SQL_NUMERIC_STRUCT *out) {
    constexpr uint64_t kPow10[] = {1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL,
                                   100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL,
                                   1000000000000ULL, 10000000000000ULL, 100000000000000ULL,
                                   1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL,
                                   1000000000000000000ULL};
    if (scale < 0 || scale > 18) return false;
    const char *p = text;
    const bool negative = *p == '-';
    if (negative) p++;
    uint64_t magnitude = 0;
    const char *start = p;
    for (; *p >= '0' && *p <= '9'; p++) magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
    int digits = static_cast<int>(p - start);
    if (digits == 0) return false;
    int fraction = 0;
    if (*p == '.') {
        const char *point = ++p;
        for (; *p >= '0' && *p <= '9'; p++) magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
        fraction = static_cast<int>(p - point);
        if (fraction == 0) return false;
    }
    if (*p != '\0' || fraction > scale || digits + scale > 18) return false;
    magnitude *= kPow10[scale - fraction];
    // An overflow of the precision is string_to_numeric's to tell.
    if (precision > 0 && precision <= 18 && magnitude >= kPow10[precision]) return false;
    return numeric_set(out, magnitude, negative, precision > 0 ? precision : 0, scale) == kNumOk;
}

int read_numeric(DalIterator *it, Value *v) {
    auto *column = static_cast<DeferredNumeric *>(v->source_column_info);
    bool exact;
    if (column && column->asked) {
        exact = column->transfers_exact != 0;
    } else {
        exact = transfers_exact(it);
        if (column) {
            column->asked = 1;
            column->transfers_exact = exact ? 1 : 0;
        }
    }
    if (exact) {
        SQL_NUMERIC_STRUCT n{};
        SQLLEN indicator = 0;
        int r = DALGetData(it, v->source_column, SQL_C_NUMERIC, &n, sizeof n, &indicator);
        if (r != DAL_ERROR) {
            v->is_null = 0;
            if (r != DAL_OK && r != DAL_INFO) return engine_code(r);
            if (indicator == SQL_NULL_DATA)
                v->is_null = -1;
            else
                v->data.num = n;
            return engine_code(r);
        }
        // The provider refused the structure: read this column as text
        // from now on.
        if (column) column->transfers_exact = 0;
    }
    char text[kDeferredTextCapacity];
    SQLLEN indicator = 0;
    int r = DALGetData(it, v->source_column, SQL_C_CHAR, text, sizeof text, &indicator);
    v->is_null = 0;
    if (r != DAL_OK && r != DAL_INFO) return engine_code(r);
    if (indicator == SQL_NULL_DATA) {
        v->is_null = -1;
        return engine_code(r);
    }
    // A cut text is not the number the provider holds, and a text that is
    // no number or does not fit the column must not become some other
    // value: both are read failures.
    if (r == DAL_INFO || indicator >= static_cast<SQLLEN>(sizeof text)) return -1;
    text[sizeof text - 1] = '\0';
    if (read_column_amount(text, v->precision, v->scale, &v->data.num)) return 0;
    if (string_to_numeric(text, &v->data.num, v->precision, v->scale) != kNumOk) return -1;
    return 0;
}

[[gnu::noinline]] int read_long(DalIterator *it, Value *v) {
    const bool character = v->type == VT_LONG_CHAR;
    if (!v->long_buffer) {
        if (!v->pool) return -1;
        v->long_buffer = allocate_long_buffer(v->pool, 0, character ? SQL_LONGVARCHAR : SQL_LONGVARBINARY);
        if (!v->long_buffer) return -1;
    }
    int r = DALSpoolLongData(v->long_buffer, it, v->source_column, character ? 1 : 0);
    v->piece_offset = 0;
    v->is_null = r == DAL_NO_DATA ? -1 : 0;
    return r == DAL_OK || r == DAL_NO_DATA ? 0 : -1;
}

}  // namespace

int read_deferred_value(Value *v) {
    if (!v) return -1;
    v->deferred = 0;
    auto *it = static_cast<DalIterator *>(v->source_iterator);
    if (!it) return -1;
    switch (v->type) {
    case VT_INTEGER: return read_fixed(it, v, SQL_C_LONG, &v->data.i, 4);
    // BIT columns arrive as 32-bit integers holding 0 or 1.
    case VT_BIT: return read_fixed(it, v, SQL_C_LONG, &v->data.i, 4);
    case VT_DOUBLE: return read_fixed(it, v, SQL_C_DOUBLE, &v->data.d, 8);
    case VT_CHAR: return read_char(it, v);
    case VT_BINARY: return read_binary(it, v);
    case VT_DATE: return read_fixed(it, v, SQL_C_TYPE_DATE, &v->data.date, 6);
    case VT_TIME: return read_fixed(it, v, SQL_C_TYPE_TIME, &v->data.time, 6);
    case VT_TIMESTAMP: return read_fixed(it, v, SQL_C_TYPE_TIMESTAMP, &v->data.ts, 16);
    case VT_BIGINT: return read_fixed(it, v, SQL_C_SBIGINT, &v->data.big, 8);
    case VT_INTERVAL_YM: return read_fixed(it, v, SQL_C_INTERVAL_YEAR, &v->data.iv, 28);
    case VT_INTERVAL_DS: return read_fixed(it, v, SQL_C_INTERVAL_DAY, &v->data.iv, 28);
    case VT_NUMERIC: return read_numeric(it, v);
    case VT_LONG_CHAR:
    case VT_LONG_BINARY: return read_long(it, v);
    default: return -1;
    }
}
