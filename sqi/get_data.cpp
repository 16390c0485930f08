// SQIGetData for query rows: converts the JSON value of one column of the
// current row into the buffer type the engine asks for, delivering character
// data in pieces. Catalogue listings (other modes) are answered by
// catalog_get_data.
//
// The piece offset belongs to one column of one row: reading another column
// or the same column of a later row starts at the beginning again.
//
// Exports: SQIGetData.
#include <sqlext.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "sqi/scan.h"

namespace {

int set_null(SQLLEN *length) {
    if (length) *length = SQL_NULL_DATA;
    return DAL_OK;
}

int deliver_text(PaypalIterator *it, const char *text, size_t size, char *buffer, SQLLEN capacity,
                 SQLLEN *length) {
    size_t offset = static_cast<size_t>(it->piece_offset);
    if (offset > size) offset = size;
    size_t rest = size - offset;
    if (capacity <= 0 || !buffer) {
        // Nowhere to copy: report what remains, deliver nothing.
        if (length) *length = static_cast<SQLLEN>(rest);
        return rest > 0 ? DAL_INFO : DAL_OK;
    }
    size_t room = static_cast<size_t>(capacity) - 1;
    if (rest > room) {
        memcpy(buffer, text + offset, room);
        buffer[room] = 0;
        if (length) *length = static_cast<SQLLEN>(room);
        it->piece_offset += static_cast<int32_t>(room);
        return DAL_INFO;
    }
    memcpy(buffer, text + offset, rest);
    buffer[rest] = 0;
    if (length) *length = static_cast<SQLLEN>(rest);
    it->piece_offset += static_cast<int32_t>(rest);
    return DAL_OK;
}

// The decimal number a text starts with, up to its first non-digit.
int atoi_prefix(const char *s) {
    int n = 0;
    for (int i = 0; i < 6 && s[i] >= '0' && s[i] <= '9'; ++i) n = n * 10 + (s[i] - '0');
    return n;
}

enum class IntegerRead { kNone, kValue, kOutOfRange };

// A JSON number or boolean as an integer; a real is cut toward zero. A real
// beyond 64 bits has no integer value, and converting it would be undefined.
IntegerRead integer_of(const json_t *v, int64_t *out) {
    if (json_is_integer(v)) {
        *out = json_integer_value(v);
    } else if (json_is_real(v)) {
        const double d = json_real_value(v);
        constexpr double kLimit = 9223372036854775808.0;  // 2^63, exact as a double
        if (!std::isfinite(d) || d >= kLimit || d < -kLimit) return IntegerRead::kOutOfRange;
        *out = static_cast<int64_t>(d);
    } else if (json_is_true(v)) {
        *out = 1;
    } else if (json_is_false(v)) {
        *out = 0;
    } else {
        return IntegerRead::kNone;
    }
    return IntegerRead::kValue;
}

// 22003 on the statement reading the row.
int out_of_range(PaypalIterator *it) {
    PaypalEnv *env = it->env;
    if (!env) return DAL_ERROR;
    DalServiceRequest r{};
    r.handle = it->owner ? it->owner : env->owner;
    r.origin = kPaypalComponent;
    r.sqlstate = "22003";
    r.message = "Numeric value out of range";
    (void)dal_service(env->link, DAL_SERVICE_POST_ERROR, &r);
    return DAL_ERROR;
}

}  // namespace

int SQIGetData(void *handle, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    auto *it = static_cast<PaypalIterator *>(handle);
    if (it->mode != kQueryRows) return catalog_get_data(it, column, c_type, buffer, capacity, length);
    if (column != it->piece_column || it->row_serial != it->piece_serial) {
        it->piece_offset = 0;
        it->piece_column = column;
        it->piece_serial = it->row_serial;
    }
    json_t *v = scan_column_value(it, column - 1);
    if (!v) return set_null(length);
    switch (c_type) {
        case SQL_C_CHAR: {
            if (json_is_string(v))
                return deliver_text(it, json_string_value(v), json_string_length(v), static_cast<char *>(buffer),
                                    capacity, length);
            std::string text;
            if (!json_text(v, text)) return set_null(length);
            return deliver_text(it, text.data(), text.size(), static_cast<char *>(buffer), capacity, length);
        }
        case SQL_C_LONG:
        case SQL_C_SLONG: {
            int64_t n;
            IntegerRead read = integer_of(v, &n);
            if (read == IntegerRead::kNone) return set_null(length);
            if (read == IntegerRead::kOutOfRange || n < std::numeric_limits<int32_t>::min() ||
                n > std::numeric_limits<int32_t>::max())
                return out_of_range(it);
            int32_t out = static_cast<int32_t>(n);
            if (buffer) memcpy(buffer, &out, sizeof out);
            if (length) *length = sizeof out;
            return DAL_OK;
        }
        case SQL_C_SBIGINT: {
            int64_t n;
            IntegerRead read = integer_of(v, &n);
            if (read == IntegerRead::kNone) return set_null(length);
            if (read == IntegerRead::kOutOfRange) return out_of_range(it);
            if (buffer) memcpy(buffer, &n, sizeof n);
            if (length) *length = sizeof n;
            return DAL_OK;
        }
        case SQL_C_DOUBLE: {
            double d;
            if (json_is_real(v)) d = json_real_value(v);
            else if (json_is_integer(v)) d = static_cast<double>(json_integer_value(v));
            else if (json_is_string(v) && json_string_length(v) > 0) d = strtod(json_string_value(v), nullptr);
            else return set_null(length);
            if (buffer) memcpy(buffer, &d, sizeof d);
            if (length) *length = sizeof d;
            return DAL_OK;
        }
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE: {
            if (!json_is_string(v) || json_string_length(v) < 10) return set_null(length);
            const char *s = json_string_value(v);
            DATE_STRUCT d{static_cast<SQLSMALLINT>(atoi_prefix(s)), static_cast<SQLUSMALLINT>(atoi_prefix(s + 5)),
                          static_cast<SQLUSMALLINT>(atoi_prefix(s + 8))};
            if (buffer) memcpy(buffer, &d, sizeof d);
            if (length) *length = sizeof d;
            return DAL_OK;
        }
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME: {
            if (!json_is_string(v) || json_string_length(v) < 8) return set_null(length);
            const char *s = json_string_value(v);
            TIME_STRUCT t{static_cast<SQLUSMALLINT>(atoi_prefix(s)), static_cast<SQLUSMALLINT>(atoi_prefix(s + 3)),
                          static_cast<SQLUSMALLINT>(atoi_prefix(s + 6))};
            if (buffer) memcpy(buffer, &t, sizeof t);
            if (length) *length = sizeof t;
            return DAL_OK;
        }
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP: {
            TIMESTAMP_STRUCT t{};
            if (!json_is_string(v) || !read_timestamp(json_string_value(v), json_string_length(v), &t))
                return set_null(length);
            if (buffer) memcpy(buffer, &t, sizeof t);
            if (length) *length = sizeof t;
            return DAL_OK;
        }
        default:
            return DAL_OK;  // a buffer type rows are never read as: nothing written
    }
}
