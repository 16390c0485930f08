// make_parameter_value: one application buffer (or one piece of data at
// execution) into an engine value of the parameter's SQL type. The buffer is
// first read as the value its C type holds; character and binary targets
// then take it as text or bytes, every other target through the engine's
// cast, so a parameter converts exactly as CAST(value AS type) would.
#include "odbc/convert_param.h"

#include <cmath>
#include <cstring>
#include <string>

#include "engine/cast.h"
#include "engine/types.h"
#include "support/diag.h"
#include "support/text.h"
#include "support/value_ops.h"

namespace {

bool is_text_sql(int t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
           t == SQL_WLONGVARCHAR;
}
bool is_binary_sql(int t) { return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY; }
bool is_long_sql(int t) { return t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_LONGVARBINARY; }
bool is_interval_sql(int t) { return t >= SQL_INTERVAL_YEAR && t <= SQL_INTERVAL_MINUTE_TO_SECOND; }
bool is_interval_c(int t) { return t >= SQL_C_INTERVAL_YEAR && t <= SQL_C_INTERVAL_MINUTE_TO_SECOND; }

int default_c_type(int sql_type) {
    switch (sql_type) {
        case SQL_CHAR: case SQL_NUMERIC: case SQL_DECIMAL: case SQL_VARCHAR: case SQL_BIGINT:
        case SQL_LONGVARCHAR: return SQL_C_CHAR;
        case SQL_INTEGER: return SQL_C_SLONG;
        case SQL_SMALLINT: return SQL_C_SSHORT;
        case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
        case SQL_REAL: return SQL_C_FLOAT;
        case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
        case SQL_BIT: return SQL_C_BIT;
        case SQL_TINYINT: return SQL_C_STINYINT;
        case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_C_BINARY;
        default: return sql_type;  // datetimes, intervals and the C integer codes keep their code
    }
}

Value *fail(ErrorHeader *diag, const char *state, const char *message) {
    (void)post_error(diag, state, "%s", message);
    return nullptr;
}
Value *general(ErrorHeader *diag, const char *what) {
    (void)post_error(diag, "HY000", "General error: %s", what);
    return nullptr;
}

// Bytes of character or binary data: the given length, up to the
// terminator for SQL_NTS (and for no length at all).
bool data_bytes(const void *data, const SQLLEN *length, bool wide, size_t *out) {
    SQLLEN n = length ? read_indicator(length) : SQL_NTS;
    if (n == SQL_NTS) {
        *out = wide ? utf16_length(static_cast<const Utf16Unit *>(data)) * 2
                    : std::strlen(static_cast<const char *>(data));
        return true;
    }
    if (n < 0) return false;
    *out = static_cast<size_t>(n);
    return true;
}

// One fixed-size C value from a buffer that row-wise binding may leave
// unaligned.
template <typename T>
T load(const void *data) {
    T v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

// The value the buffer holds, by its C type. Null after posting.
Value *source_value(ErrorHeader *diag, const void *data, const SQLLEN *length, int c_type, CvPool *pool) {
    auto integer = [&](int64_t v) -> Value * {
        Value *out = new_value_of_type(pool, v >= INT32_MIN && v <= INT32_MAX ? VT_INTEGER : VT_BIGINT);
        if (!out) return nullptr;
        if (out->type == VT_INTEGER) out->data.i = static_cast<int32_t>(v);
        else out->data.big = v;
        return out;
    };
    auto plain = [&](uint32_t type, const void *src, size_t n) -> Value * {
        Value *out = new_value_of_type(pool, type);
        if (out) std::memcpy(&out->data, src, n);
        return out;
    };
    switch (c_type) {
        case SQL_C_CHAR: {
            size_t n = 0;
            if (!data_bytes(data, length, false, &n)) return fail(diag, "HY090", "Invalid string or buffer length");
            Value *out = new_value_of_type(pool, VT_CHAR);
            if (!out || set_value_text(out, static_cast<const char *>(data), n) != 0) return nullptr;
            return out;
        }
        case SQL_C_WCHAR: {
            size_t n = 0;
            if (!data_bytes(data, length, true, &n)) return fail(diag, "HY090", "Invalid string or buffer length");
            std::string utf8;
            if (reinterpret_cast<uintptr_t>(data) % alignof(Utf16Unit) != 0) {
                std::u16string aligned(n / 2, u'\0');
                std::memcpy(aligned.data(), data, n / 2 * 2);
                utf16_to_utf8(reinterpret_cast<const Utf16Unit *>(aligned.data()), n / 2, utf8);
            } else {
                utf16_to_utf8(static_cast<const Utf16Unit *>(data), n / 2, utf8);
            }
            Value *out = new_value_of_type(pool, VT_CHAR);
            if (!out || set_value_text(out, utf8.data(), utf8.size()) != 0) return nullptr;
            return out;
        }
        case SQL_C_BINARY: {
            size_t n = 0;
            if (!data_bytes(data, length, false, &n)) return fail(diag, "HY090", "Invalid string or buffer length");
            if (n > static_cast<size_t>(kMaxCharValue)) return fail(diag, "22001", "String data, right truncated");
            Value *out = new_value_of_type(pool, VT_CHAR);
            if (!out || set_value_text(out, static_cast<const char *>(data), n) != 0) return nullptr;
            out->type = VT_BINARY;  // the bytes with a terminator after them, even when empty
            return out;
        }
        case SQL_C_LONG: case SQL_C_SLONG: return integer(load<int32_t>(data));
        case SQL_C_ULONG: return integer(load<uint32_t>(data));
        case SQL_C_SHORT: case SQL_C_SSHORT: return integer(load<int16_t>(data));
        case SQL_C_USHORT: return integer(load<uint16_t>(data));
        case SQL_C_TINYINT: case SQL_C_STINYINT: return integer(load<int8_t>(data));
        case SQL_C_UTINYINT: return integer(load<uint8_t>(data));
        case SQL_C_SBIGINT: return integer(load<int64_t>(data));
        case SQL_C_UBIGINT: {
            uint64_t v = load<uint64_t>(data);
            if (v > static_cast<uint64_t>(INT64_MAX)) return fail(diag, "22003", "Numeric value out of range");
            return integer(static_cast<int64_t>(v));
        }
        case SQL_C_BIT: {
            Value *out = new_value_of_type(pool, VT_BIT);
            if (out) out->data.i = load<unsigned char>(data) ? 1 : 0;
            if (out && load<unsigned char>(data) > 1) return fail(diag, "22003", "Numeric value out of range");
            return out;
        }
        case SQL_C_FLOAT: {
            Value *out = new_value_of_type(pool, VT_DOUBLE);
            if (out) out->data.d = load<float>(data);
            return out;
        }
        case SQL_C_DOUBLE: {
            Value *out = new_value_of_type(pool, VT_DOUBLE);
            if (out) out->data.d = load<double>(data);
            return out;
        }
        case SQL_C_NUMERIC: {
            Value *out = plain(VT_NUMERIC, data, sizeof(SQL_NUMERIC_STRUCT));
            if (out) {
                out->precision = out->data.num.precision;
                out->scale = out->data.num.scale;
            }
            return out;
        }
        case SQL_C_DATE: case SQL_C_TYPE_DATE: return plain(VT_DATE, data, sizeof(DATE_STRUCT));
        case SQL_C_TIME: case SQL_C_TYPE_TIME: return plain(VT_TIME, data, sizeof(TIME_STRUCT));
        case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: return plain(VT_TIMESTAMP, data, sizeof(TIMESTAMP_STRUCT));
        default:
            if (is_interval_c(c_type)) {
                // The C type says which fields the structure holds; its own
                // interval_type member may hold anything the application left.
                bool ym = c_type == SQL_C_INTERVAL_YEAR || c_type == SQL_C_INTERVAL_MONTH ||
                          c_type == SQL_C_INTERVAL_YEAR_TO_MONTH;
                Value *out = new_value_of_type(pool, ym ? VT_INTERVAL_YM : VT_INTERVAL_DS);
                if (!out) return nullptr;
                const auto *bytes = static_cast<const unsigned char *>(data);
                std::memcpy(reinterpret_cast<unsigned char *>(&out->data.iv) + sizeof(SQLINTERVAL),
                            bytes + sizeof(SQLINTERVAL), sizeof(SQL_INTERVAL_STRUCT) - sizeof(SQLINTERVAL));
                out->data.iv.interval_type = static_cast<SQLINTERVAL>(c_type - SQL_C_INTERVAL_YEAR + SQL_IS_YEAR);
                out->data.iv.interval_sign = out->data.iv.interval_sign ? SQL_TRUE : SQL_FALSE;
                return out;
            }
            return general(diag, "Unsupported parameter type");
    }
}

// Characters of UTF-8 text (continuation bytes not counted).
size_t utf8_characters(const char *text, size_t bytes) {
    size_t n = 0;
    for (size_t i = 0; i < bytes; i++)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) n++;
    return n;
}

// The text a source value gives a character parameter.
bool source_text(const Value *v, CvPool *pool, std::string &out) {
    if (v->type == VT_CHAR) {
        out.assign(v->data.s, static_cast<size_t>(v->length));
        return true;
    }
    if (v->type == VT_BINARY) {
        static const char kHex[] = "0123456789ABCDEF";
        for (int32_t i = 0; i < v->length; i++) {
            out += kHex[v->data.bytes[i] >> 4];
            out += kHex[v->data.bytes[i] & 15];
        }
        return true;
    }
    if (v->type == VT_BIT) {
        out = v->data.i ? "1" : "0";
        return true;
    }
    size_t n = 0;
    char *text = value_text_in_pool(v, pool, &n);
    if (!text) return false;
    out.assign(text, n);
    return true;
}

Value *append_piece(ErrorHeader *diag, Value *previous, const Value *piece, bool binary, const ParamFacts &f) {
    size_t old = static_cast<size_t>(previous->length);
    size_t add = static_cast<size_t>(piece->length);
    if (old + add > static_cast<size_t>(kMaxCharValue)) return fail(diag, "22001", "String data, right truncated");
    std::string joined;
    joined.reserve(old + add);
    if (old) joined.append(previous->data.s, old);
    if (add) joined.append(piece->data.s, add);
    if (f.column_size > 0 && !is_long_sql(f.sql_type)) {
        size_t size = binary ? joined.size() : utf8_characters(joined.data(), joined.size());
        if (size > f.column_size) return fail(diag, "22001", "String data, right truncated");
    }
    // A fresh value always has its own terminated buffer, even when empty.
    Value *out = new_value_of_type(previous->pool, VT_CHAR);
    if (!out || set_value_text(out, joined.data(), joined.size()) != 0)
        return fail(diag, "HY001", "Memory allocation error");
    if (binary) out->type = VT_BINARY;
    release_value(previous);
    return out;
}

}  // namespace

int param_c_type_suits(int c_type, int sql_type) {
    if (c_type == SQL_C_DEFAULT) return 1;
    if (is_text_sql(sql_type) || is_binary_sql(sql_type) || is_interval_sql(sql_type)) return 1;
    switch (sql_type) {
        case SQL_NUMERIC: case SQL_DECIMAL: case SQL_INTEGER: case SQL_SMALLINT: case SQL_FLOAT: case SQL_REAL:
        case SQL_DOUBLE: case SQL_BIT: case SQL_TINYINT: case SQL_BIGINT:
            switch (c_type) {
                case SQL_C_CHAR: case SQL_C_WCHAR: case SQL_C_NUMERIC: case SQL_C_LONG: case SQL_C_SHORT:
                case SQL_C_FLOAT: case SQL_C_DOUBLE: case SQL_C_SSHORT: case SQL_C_USHORT: case SQL_C_SLONG:
                case SQL_C_ULONG: case SQL_C_SBIGINT: case SQL_C_UBIGINT: case SQL_C_STINYINT:
                case SQL_C_UTINYINT: case SQL_C_BIT: case SQL_C_TINYINT: case SQL_C_BINARY: return 1;
                default: return 0;
            }
        case SQL_DATE: case SQL_TYPE_DATE:
            return c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_DATE || c_type == SQL_C_TYPE_DATE ||
                   c_type == SQL_C_TIMESTAMP || c_type == SQL_C_TYPE_TIMESTAMP || c_type == SQL_C_BINARY;
        case SQL_TIME: case SQL_TYPE_TIME:
            return c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_TIME || c_type == SQL_C_TYPE_TIME ||
                   c_type == SQL_C_TIMESTAMP || c_type == SQL_C_TYPE_TIMESTAMP || c_type == SQL_C_BINARY;
        case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP:
            return c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_DATE || c_type == SQL_C_TYPE_DATE ||
                   c_type == SQL_C_TIME || c_type == SQL_C_TYPE_TIME || c_type == SQL_C_TIMESTAMP ||
                   c_type == SQL_C_TYPE_TIMESTAMP || c_type == SQL_C_BINARY;
        default: return 0;
    }
}

Value *make_parameter_value(ErrorHeader *diag, const void *data, const SQLLEN *length, const ParamFacts &facts,
                            CvPool *pool, Value *previous) {
    ParamFacts f = facts;
    if (f.c_type == SQL_C_DEFAULT) f.c_type = default_c_type(f.sql_type);
    bool piece = previous && previous != kPendingParamValue;
    bool text = is_text_sql(f.sql_type);
    bool binary = is_binary_sql(f.sql_type);
    bool null = (length && read_indicator(length) == SQL_NULL_DATA) || !data;
    // A NULL joined to a piece is refused as such, whatever the type: the
    // application learns what is wrong with this call, not with its type.
    if (piece && (null || previous->is_null)) return fail(diag, "HY020", "Attempt to concatenate a null value");
    if (piece && !text && !binary) return fail(diag, "HY019", "Non-character and non-binary data sent in pieces");
    if (null) {
        int code = 0;
        uint32_t vt = value_type_for_sql_type(f.sql_type, &code);
        Value *out = new_value_of_type(pool, vt ? vt : VT_CHAR);
        if (!out) return fail(diag, "HY001", "Memory allocation error");
        set_value_null(out, out->type);
        return out;
    }
    Value *src = source_value(diag, data, length, f.c_type, pool);
    if (!src) return diag_count(diag) ? nullptr : fail(diag, "HY001", "Memory allocation error");
    if (text || binary) {
        Value *piece_value = src;
        if (text && src->type != VT_CHAR) {
            std::string t;
            if (!source_text(src, pool, t)) return general(diag, "Unsupported parameter type");
            piece_value = new_value_of_type(pool, VT_CHAR);
            if (!piece_value || set_value_text(piece_value, t.data(), t.size()) != 0)
                return fail(diag, "HY001", "Memory allocation error");
            release_value(src);
        } else if (binary && src->type == VT_CHAR) {
            src->type = VT_BINARY;  // the characters' bytes, as sent
        } else if (binary && src->type != VT_BINARY) {
            release_value(src);
            return general(diag, "Unsupported parameter type");
        }
        if (piece) {
            Value *joined = append_piece(diag, previous, piece_value, binary, f);
            release_value(piece_value);
            return joined;
        }
        if (f.column_size > 0 && !is_long_sql(f.sql_type)) {
            size_t size = binary ? static_cast<size_t>(piece_value->length)
                                 : utf8_characters(piece_value->data.s, static_cast<size_t>(piece_value->length));
            if (size > f.column_size) {
                release_value(piece_value);
                return fail(diag, "22001", "String data, right truncated");
            }
        }
        return piece_value;
    }
    if (f.sql_type == SQL_BIT && src->type != VT_CHAR) {
        double d = 0;
        if (get_double_from_value(src, &d) != 0 || (d != 0 && d != 1)) return fail(diag, "22003", "Numeric value out of range");
    }
    int code = 0;
    if (!value_type_for_sql_type(f.sql_type, &code)) return general(diag, "Unsupported parameter type");
    CastTarget target{f.sql_type, 0, -1, -1, 0, -1};
    if (f.sql_type == SQL_NUMERIC || f.sql_type == SQL_DECIMAL) {
        target.precision = f.column_size > 0 && f.column_size <= 38 ? static_cast<int32_t>(f.column_size) : 38;
        target.scale = f.scale >= 0 && f.scale <= target.precision ? f.scale : 0;
    }
    ValueEnv env{};
    env.pool = pool;
    env.diag = diag;
    env.odbc_version = f.odbc_version;
    Value *out = nullptr;
    int rc = cast_value(&target, &env, src, &out);
    release_value(src);
    return rc == 0 ? out : nullptr;
}
