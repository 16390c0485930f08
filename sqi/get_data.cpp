// SQIGetData for query rows: converts the JSON value of one column of the
// current row into the buffer type the engine asks for, delivering character
// data in pieces. Catalogue listings (other modes) are answered by
// catalog_get_data.
//
// The piece offset belongs to one column of one row: reading another column
// or the same column of a later row starts at the beginning again, and so
// does reading a column again after its value was delivered whole.
//
// Values are checked against their column: an integer outside the column's
// type, a number beyond 64 bits, an impossible date or time is an error
// naming the column and the value (22003, 22007), never a wrapped number.
//
// Exports: SQIGetData.
#include <sqlext.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "sqi/scan.h"
#include "support/calendar.h"

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
    it->piece_offset = 0;  // delivered whole: a later read starts again
    return DAL_OK;
}

// The decimal number a text starts with, up to its first non-digit.
int atoi_prefix(const char *s) {
    int n = 0;
    for (int i = 0; i < 6 && s[i] >= '0' && s[i] <= '9'; ++i) n = n * 10 + (s[i] - '0');
    return n;
}

enum class Reading { kValue, kNull, kOutOfRange };

// The integer of a JSON number or boolean; a real is taken when it fits 64
// bits (truncated toward zero), else it is out of range.
Reading integer_of(const json_t *v, int64_t *out) {
    if (json_is_integer(v)) {
        *out = json_integer_value(v);
    } else if (json_is_real(v)) {
        double d = json_real_value(v);
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return Reading::kOutOfRange;
        *out = static_cast<int64_t>(d);
    } else if (json_is_true(v)) {
        *out = 1;
    } else if (json_is_false(v)) {
        *out = 0;
    } else {
        return Reading::kNull;
    }
    return Reading::kValue;
}

// Range of the column's SQL type for 32-bit reads.
void int_range(int sql_type, int64_t *low, int64_t *high) {
    switch (sql_type) {
        case SQL_TINYINT: *low = -128; *high = 255; break;  // signed or unsigned bytes
        case SQL_SMALLINT: *low = -32768; *high = 65535; break;
        default: *low = INT32_MIN; *high = INT32_MAX; break;
    }
}

int post_bad_value(PaypalIterator *it, int column, const json_t *v, const char *sqlstate, const char *what) {
    std::string text;
    const char *shown = json_text(v, text) ? text.c_str() : "?";
    const PaypalColumn *c = it->table ? &it->table->columns[column - 1] : nullptr;
    char message[256];
    snprintf(message, sizeof message, "%s in column %s: %.64s%s", what, c ? c->name : "?", shown,
             text.size() > 64 ? "..." : "");
    scan_post_state(it, sqlstate, message);
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
        it->piece_text_ready = 0;
    }
    json_t *v = scan_column_value(it, column - 1);
    if (!v) return set_null(length);
    switch (c_type) {
        case SQL_C_CHAR: {
            if (json_is_string(v))
                return deliver_text(it, json_string_value(v), json_string_length(v), static_cast<char *>(buffer),
                                    capacity, length);
            // Objects and arrays are written as text once; every later piece
            // of the same row and column comes from that text.
            if (!it->piece_text_ready) {
                if (!json_text(v, it->piece_text)) return set_null(length);
                it->piece_text_ready = 1;
            }
            return deliver_text(it, it->piece_text.data(), it->piece_text.size(), static_cast<char *>(buffer),
                                capacity, length);
        }
        case SQL_C_LONG:
        case SQL_C_SLONG: {
            int64_t n = 0, low = 0, high = 0;
            Reading r = integer_of(v, &n);
            if (r == Reading::kNull) return set_null(length);
            int_range(it->table->columns[column - 1].sql_type, &low, &high);
            if (r == Reading::kOutOfRange || n < low || n > high)
                return post_bad_value(it, column, v, "22003", "Numeric value out of range");
            int32_t out = static_cast<int32_t>(n);
            if (buffer) memcpy(buffer, &out, sizeof out);
            if (length) *length = sizeof out;
            return DAL_OK;
        }
        case SQL_C_SBIGINT: {
            int64_t n = 0;
            Reading r = integer_of(v, &n);
            if (r == Reading::kNull) return set_null(length);
            if (r == Reading::kOutOfRange) return post_bad_value(it, column, v, "22003", "Numeric value out of range");
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
            if (!std::isfinite(d)) return post_bad_value(it, column, v, "22003", "Numeric value out of range");
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
            if (!valid_date(d.year, d.month, d.day))
                return post_bad_value(it, column, v, "22007", "Invalid datetime format");
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
            if (!valid_time(t.hour, t.minute, t.second))
                return post_bad_value(it, column, v, "22007", "Invalid datetime format");
            if (buffer) memcpy(buffer, &t, sizeof t);
            if (length) *length = sizeof t;
            return DAL_OK;
        }
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP: {
            TIMESTAMP_STRUCT t{};
            if (!json_is_string(v) || !read_timestamp(json_string_value(v), json_string_length(v), &t))
                return set_null(length);
            if (!valid_timestamp(&t)) return post_bad_value(it, column, v, "22007", "Invalid datetime format");
            if (buffer) memcpy(buffer, &t, sizeof t);
            if (length) *length = sizeof t;
            return DAL_OK;
        }
        default:
            // A buffer type rows are never read as: an error, so the caller
            // never takes an unwritten buffer for a value.
            paypal_post(it->env, "07006", "restricted data type attribute violation");
            return DAL_ERROR;
    }
}
