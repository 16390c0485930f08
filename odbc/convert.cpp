// convert_value: NULLs, references and SQL_C_DEFAULT, then the dispatch on
// the target's C type; the diagnostics every family posts.
#include "odbc/convert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "odbc/convert_internal.h"
#include "support/diag.h"
#include "support/long_buffer.h"
#include "support/value_ops.h"

namespace {

// A reference kind read into a plain value of the same data.
bool follow_reference(const Value *v, Value *out) {
    *out = *v;
    const void *p = v->data.ref;
    if (!p) return false;
    switch (v->type) {
    case VT_REF_INT32: out->type = VT_INTEGER; std::memcpy(&out->data.i, p, 4); return true;
    case VT_REF_INT16: { int16_t x; std::memcpy(&x, p, 2); out->type = VT_INTEGER; out->data.i = x; return true; }
    case VT_REF_INT8: { int8_t x; std::memcpy(&x, p, 1); out->type = VT_INTEGER; out->data.i = x; return true; }
    case VT_REF_DOUBLE: out->type = VT_DOUBLE; std::memcpy(&out->data.d, p, 8); return true;
    case VT_REF_DATE: out->type = VT_DATE; std::memcpy(&out->data.date, p, sizeof(DATE_STRUCT)); return true;
    case VT_REF_TIME: out->type = VT_TIME; std::memcpy(&out->data.time, p, sizeof(TIME_STRUCT)); return true;
    case VT_REF_TIMESTAMP: out->type = VT_TIMESTAMP; std::memcpy(&out->data.ts, p, sizeof(TIMESTAMP_STRUCT)); return true;
    case VT_REF_NUMERIC: out->type = VT_NUMERIC; std::memcpy(&out->data.num, p, sizeof(SQL_NUMERIC_STRUCT)); return true;
    case VT_REF_BIGINT: out->type = VT_BIGINT; std::memcpy(&out->data.big, p, 8); return true;
    case VT_REF_INTERVAL: {
        std::memcpy(&out->data.iv, p, sizeof(SQL_INTERVAL_STRUCT));
        out->type = out->data.iv.interval_type == SQL_IS_YEAR || out->data.iv.interval_type == SQL_IS_MONTH ||
                            out->data.iv.interval_type == SQL_IS_YEAR_TO_MONTH
                        ? VT_INTERVAL_YM
                        : VT_INTERVAL_DS;
        return true;
    }
    default: return false;
    }
}

// True when the value goes out piece by piece: text or binary data into a
// character or binary buffer. Everything else is a fixed-length value.
bool piecewise(uint32_t kind, int c_type) {
    bool data = kind == VT_CHAR || kind == VT_LONG_CHAR || kind == VT_BINARY || kind == VT_LONG_BINARY;
    switch (c_type) {
    case SQL_C_CHAR: case SQL_VARCHAR: case SQL_C_WCHAR:
    case SQL_C_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: case SQL_LONGVARCHAR:
        return data;
    default: return false;
    }
}

SQLRETURN dispatch(Value *v, const Value *src, const ConvertColumn &column, const ConvertTarget &t,
                   ErrorHeader *diag);

IntegerRange range_of(int c_type) {
    switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG: return {INT32_MIN, INT32_MAX, 4};
    case SQL_C_ULONG: return {0, UINT32_MAX, 4};
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return {INT16_MIN, INT16_MAX, 2};
    case SQL_C_USHORT: return {0, UINT16_MAX, 2};
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return {INT8_MIN, INT8_MAX, 1};
    case SQL_C_UTINYINT: return {0, UINT8_MAX, 1};
    case SQL_C_UBIGINT: return {0, static_cast<__int128>(UINT64_MAX), 8};
    default: return {INT64_MIN, INT64_MAX, 8};  // SQL_BIGINT, SQL_C_SBIGINT
    }
}

}  // namespace

SQLRETURN refuse_type(ErrorHeader *diag) {
    return post_error(diag, "07006", "restricted data type attribute violation");
}
SQLRETURN post_out_of_range(ErrorHeader *diag) { return post_error(diag, "22003", "Numeric value out of range"); }
SQLRETURN post_bad_datetime(ErrorHeader *diag) {
    return post_error(diag, "22008", "Data value is not a valid datetime");
}
SQLRETURN post_interval_overflow(ErrorHeader *diag) { return post_error(diag, "22015", "Interval field overflow"); }
SQLRETURN post_truncated(ErrorHeader *diag) { return post_warning(diag, "01004", "String data, right truncated"); }
SQLRETURN post_fraction_lost(ErrorHeader *diag) {
    SetReturnCode(diag, SQL_SUCCESS_WITH_INFO);
    (void)PostError(diag, 1, 0, 0, 0, 0, "ODBC 3.0", "01S07", "Fractional truncation");
    return SQL_SUCCESS_WITH_INFO;
}

void put_length(const ConvertTarget &t, SQLLEN n) {
    if (t.length) *t.length = n;
}

const char *value_chars(const Value *v, size_t *size) {
    if (v->type == VT_CHAR) {
        *size = v->data.s && v->length > 0 ? static_cast<size_t>(v->length) : 0;
        return v->data.s ? v->data.s : "";
    }
    if (v->type == VT_LONG_CHAR) {
        *size = v->long_buffer ? long_buffer_length(v->long_buffer) : 0;
        return v->long_buffer ? long_buffer_data(v->long_buffer) : "";
    }
    *size = 0;
    return nullptr;
}

long scalar_text(const Value *v, char *out, size_t capacity) {
    if (v->type == VT_DOUBLE) {
        char buf[400];
        int n = std::snprintf(buf, sizeof buf, "%f", v->data.d);
        // "%f" keeps six decimals: fine for money, lossy for 1e-7 or 1e300
        // digits beyond 17; such values take the shortest exact form.
        if (n > 0 && static_cast<size_t>(n) < sizeof buf && std::isfinite(v->data.d) &&
            std::strtod(buf, nullptr) == v->data.d) {
            if (capacity > 0) {
                size_t c = static_cast<size_t>(n) < capacity ? static_cast<size_t>(n) : capacity - 1;
                std::memcpy(out, buf, c);
                out[c] = 0;
            }
            return n;
        }
        return static_cast<long>(format_double(v->data.d, out, capacity));
    }
    size_t length = 0;
    int rc = value_as_text(v, out, capacity, &length);
    return rc < 0 ? -1 : static_cast<long>(length);
}

bool is_known_c_type(int c_type) {
    switch (c_type) {
    case SQL_C_DEFAULT:
    case SQL_C_CHAR: case SQL_VARCHAR: case SQL_C_WCHAR:
    case SQL_C_LONG: case SQL_C_SLONG: case SQL_C_ULONG:
    case SQL_C_SHORT: case SQL_C_SSHORT: case SQL_C_USHORT:
    case SQL_C_TINYINT: case SQL_C_STINYINT: case SQL_C_UTINYINT:
    case SQL_BIGINT: case SQL_C_SBIGINT: case SQL_C_UBIGINT:
    case SQL_C_DOUBLE: case SQL_C_FLOAT: case SQL_FLOAT:
    case SQL_C_BIT: case SQL_C_NUMERIC:
    case SQL_C_DATE: case SQL_C_TYPE_DATE: case SQL_C_TIME: case SQL_C_TYPE_TIME:
    case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP:
    case SQL_LONGVARCHAR: case SQL_C_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY:
        return true;
    default: return c_type >= SQL_C_INTERVAL_YEAR && c_type <= SQL_C_INTERVAL_MINUTE_TO_SECOND;
    }
}

int default_c_type(int sql_type) {
    switch (sql_type) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR:
    case SQL_NUMERIC: case SQL_DECIMAL: case SQL_BIGINT:
        return SQL_C_CHAR;
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_DATE: case SQL_TYPE_DATE: return SQL_C_TYPE_DATE;
    case SQL_TIME: case SQL_TYPE_TIME: return SQL_C_TYPE_TIME;
    case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    default:
        if (sql_type >= SQL_INTERVAL_YEAR && sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND) return sql_type;
        return SQL_C_CHAR;
    }
}

SQLRETURN convert_value(Value *v, const ConvertColumn &column, const ConvertTarget &target, ErrorHeader *diag) {
    if (v->is_null) {
        if (!target.indicator) return post_error(diag, "22002", "Indicator variable required but not supplied");
        *target.indicator = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    int c_type = target.c_type == SQL_C_DEFAULT ? default_c_type(column.sql_type) : target.c_type;
    if (!is_known_c_type(c_type) || c_type == SQL_C_DEFAULT) return refuse_type(diag);
    ConvertTarget t = target;
    t.c_type = c_type;
    Value plain;
    const Value *src = v;
    if (v->type >= VT_REF_INT32 && v->type <= VT_REF_BIGINT) {
        if (!follow_reference(v, &plain)) return refuse_type(diag);
        src = &plain;
    }
    // A fixed-length value goes out in one piece, even when only part of it
    // fitted: a second SQLGetData on the column finds nothing more, so a
    // loop that reads until no 01004 comes back ends.
    if (piecewise(src->type, c_type)) return dispatch(v, src, column, t, diag);
    if (v->piece_offset == kPieceDone) return SQL_NO_DATA;
    SQLRETURN rc = dispatch(v, src, column, t, diag);
    if (rc != SQL_ERROR && t.buffer) v->piece_offset = kPieceDone;
    return rc;
}

namespace {

SQLRETURN dispatch(Value *v, const Value *src, const ConvertColumn &column, const ConvertTarget &t,
                   ErrorHeader *diag) {
    // The character families take a value they may move the piece state
    // of: the original, or a copy of a followed reference.
    Value copy;
    Value *text = v;
    if (src != v) {
        copy = *src;
        text = &copy;
    }
    switch (t.c_type) {
    case SQL_C_CHAR:
    case SQL_VARCHAR: return convert_to_char(text, column, t, diag);
    case SQL_C_WCHAR: return convert_to_wchar(text, column, t, diag);
    case SQL_C_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
    case SQL_LONGVARCHAR: return convert_to_bytes(text, column, t, diag);
    case SQL_C_DOUBLE: return convert_to_double(src, t, diag);
    case SQL_C_FLOAT:
    case SQL_FLOAT: return convert_to_float(src, t, diag);
    case SQL_C_BIT: return convert_to_bit(src, t, diag);
    case SQL_C_NUMERIC: return convert_to_numeric(src, column, t, diag);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: return convert_to_date(src, t, diag);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: return convert_to_time(src, t, diag);
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP: return convert_to_timestamp(src, t, diag);
    default:
        if (t.c_type >= SQL_C_INTERVAL_YEAR && t.c_type <= SQL_C_INTERVAL_MINUTE_TO_SECOND)
            return convert_to_interval(src, t, diag);
        return convert_to_integer(src, range_of(t.c_type), t, diag);
    }
}

}  // namespace

ConvertFunction conversion_for(int c_type) {
    switch (c_type) {
    case SQL_C_CHAR:
    case SQL_VARCHAR: return convert_bound_char;
    default: return convert_value;
    }
}
