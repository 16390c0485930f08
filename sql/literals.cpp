// Literal values of the parse tree: typing of numbers, strings, bit and hex
// strings, datetime and hash literals, special registers.
//
// Integers of at most six characters are VT_INTEGER, longer ones exact
// VT_NUMERIC of at most 38 digits (more is an error, never a wrapped value).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sql/build.h"

namespace {

constexpr int kMaxNumericDigits = 38;

// Fills an exact numeric from its digits (most significant first).
void set_numeric(ParserState *ps, Value *v, const char *digits, int precision, int scale) {
    const char *d = digits;
    while (*d == '0' && d[1]) d++;  // leading zeros carry no digits
    if (std::strlen(d) > static_cast<size_t>(kMaxNumericDigits))
        fail(ps, -1, "Numeric literal has more than %d digits", kMaxNumericDigits);
    unsigned __int128 magnitude = 0;
    for (; *d; d++) magnitude = magnitude * 10 + static_cast<unsigned>(*d - '0');
    if (precision > kMaxNumericDigits) precision = kMaxNumericDigits;
    if (precision < scale) precision = scale;
    v->data.num.precision = static_cast<SQLCHAR>(precision);
    v->data.num.scale = static_cast<SQLSCHAR>(scale);
    v->data.num.sign = 1;
    for (int i = 0; i < 16; i++) {
        v->data.num.val[i] = static_cast<SQLCHAR>(magnitude & 0xff);
        magnitude >>= 8;
    }
    v->precision = precision;
    v->scale = scale;
}

// Reads a decimal field of a datetime text; returns false when no digit.
bool read_number(const char *&p, int &out) {
    while (*p == ' ') p++;
    if (*p < '0' || *p > '9') return false;
    // Fields are not range-checked here, but a value must fit its 16-bit
    // field: a wrapped year or month would be a different date.
    long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > 65535) return false;
        p++;
    }
    out = static_cast<int>(value);
    return true;
}

bool read_date(const char *&p, int (&f)[3], const char *separators) {
    for (int i = 0; i < 3; i++) {
        if (!read_number(p, f[i]) || (i == 0 && f[i] > 32767)) return false;
        if (i < 2) {
            if (!*p || !std::strchr(separators, *p)) return false;
            p++;
        }
    }
    return true;
}

bool read_time(const char *&p, int (&f)[3]) {
    for (int i = 0; i < 3; i++) {
        if (!read_number(p, f[i])) return false;
        if (i < 2) {
            if (*p != ':') return false;
            p++;
        }
    }
    return true;
}

bool is_leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// A real calendar date: month 1-12, day within that month (leap years
// counted), year from 1 (the 16-bit year field already caps it).
bool valid_date(const int *d) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d[0] < 1 || d[1] < 1 || d[1] > 12 || d[2] < 1) return false;
    return d[2] <= kDays[d[1] - 1] + (d[1] == 2 && is_leap(d[0]) ? 1 : 0);
}

bool valid_time(const int *t) {
    return t[0] <= 23 && t[1] <= 59 && t[2] <= 59;
}

// Every datetime literal is checked here: a text of the right shape whose
// fields make no real date or time is a field overflow (22008), quoted.
void check_datetime(ParserState *ps, const char *kind, const char *text, const int *d,
                    const int *t) {
    if ((d && !valid_date(d)) || (t && !valid_time(t)))
        fail_state(ps, "22008", "Datetime field overflow in %s literal '%s'", kind, text);
}

// A text of no datetime shape at all is an invalid format (22007).
[[noreturn]] void bad_datetime(ParserState *ps, const char *kind, const char *text) {
    fail_state(ps, "22007", "Invalid %s literal '%s'", kind, text);
}

bool at_end(const char *p) {
    while (*p == ' ') p++;
    return *p == 0;
}

}  // namespace

Value *make_value(ParserState *ps, uint32_t type) {
    auto *v = make<Value>(ps, NODE_VALUE);
    v->type = type;
    v->pool = ps->pool;
    return v;
}

Value *make_null_literal(ParserState *ps) {
    Value *v = make_value(ps, VT_NULL);
    v->is_null = -1;
    return v;
}

int32_t unsigned_value(ParserState *ps, const char *digits) {
    long long value = 0;
    for (const char *d = digits; *d; d++) {
        value = value * 10 + (*d - '0');
        if (value > 0x7fffffff) fail(ps, 1, "syntax error");
    }
    return static_cast<int32_t>(value);
}

Value *build_integer_literal(ParserState *ps, const char *digits) {
    size_t n = std::strlen(digits);
    if (n <= 6) {
        Value *v = make_value(ps, VT_INTEGER);
        v->data.i = static_cast<int32_t>(std::strtol(digits, nullptr, 10));  // at most six digits
        return v;
    }
    Value *v = make_value(ps, VT_NUMERIC);
    set_numeric(ps, v, digits, static_cast<int>(n), 0);
    return v;
}

Value *build_exact_literal(ParserState *ps, const char *whole, const char *fraction) {
    size_t a = std::strlen(whole), b = std::strlen(fraction);
    if (a <= 6 && b <= 6) {
        char text[16];
        std::snprintf(text, sizeof text, "%s.%s", whole, fraction);
        Value *v = make_value(ps, VT_DOUBLE);
        v->data.d = std::strtod(text, nullptr);
        return v;
    }
    if (a + b > 200) fail(ps, -1, "Numeric literal has more than %d digits", kMaxNumericDigits);
    char digits[208];
    std::memcpy(digits, whole, a);
    std::memcpy(digits + a, fraction, b + 1);
    Value *v = make_value(ps, VT_NUMERIC);
    set_numeric(ps, v, digits, static_cast<int>(a + b + 2), static_cast<int>(b));
    return v;
}

Value *build_approximate_literal(ParserState *ps, const char *text) {
    Value *v = make_value(ps, VT_DOUBLE);
    v->data.d = std::strtod(text, nullptr);
    return v;
}

Value *build_string_literal(ParserState *ps, const char *text) {
    Value *v = make_value(ps, VT_CHAR);
    v->data.s = const_cast<char *>(text);  // already a copy in the node pool
    v->length = static_cast<int32_t>(std::strlen(text));
    return v;
}

Value *build_bit_literal(ParserState *ps, const char *text) {
    // B'...': only the first digit counts; B'' has no value.
    if (text[2] != '0' && text[2] != '1') fail(ps, 1, "syntax error");
    Value *v = make_value(ps, VT_BIT);
    v->data.i = text[2] == '1';
    return v;
}

Value *build_hex_literal(ParserState *ps, const char *text) {
    const char *p = text + 2;  // past X' or 0x
    size_t n = 0;
    while ((p[n] >= '0' && p[n] <= '9') || ((p[n] | 0x20) >= 'a' && (p[n] | 0x20) <= 'f')) n++;
    size_t bytes = (n + 1) / 2;
    auto *data = static_cast<uint8_t *>(cv_mem_alloc(ps->pool, bytes + 1));
    if (!data) fail_memory(ps);
    auto nibble = [](char c) {
        return static_cast<uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    };
    size_t i = 0, o = 0;
    if (n % 2) data[o++] = nibble(p[i++]);  // odd count: a "0" in front
    for (; i < n; i += 2) data[o++] = static_cast<uint8_t>(nibble(p[i]) << 4 | nibble(p[i + 1]));
    Value *v = make_value(ps, VT_BINARY);
    v->data.bytes = data;
    v->length = static_cast<int32_t>(bytes);
    v->owns_data = 1;
    return v;
}

Value *build_boolean_literal(ParserState *ps, int truth) {
    Value *v = make_value(ps, VT_BIT);
    v->data.i = truth;
    return v;
}

Value *build_date_literal(ParserState *ps, const char *text) {
    int f[3];
    const char *p = text;
    if (!read_date(p, f, "-") || !at_end(p)) bad_datetime(ps, "DATE", text);
    check_datetime(ps, "DATE", text, f, nullptr);
    Value *v = make_value(ps, VT_DATE);
    v->data.date = DATE_STRUCT{static_cast<SQLSMALLINT>(f[0]), static_cast<SQLUSMALLINT>(f[1]),
                               static_cast<SQLUSMALLINT>(f[2])};
    return v;
}

Value *build_time_literal(ParserState *ps, const char *text) {
    int f[3];
    const char *p = text;
    if (!read_time(p, f) || !at_end(p)) bad_datetime(ps, "TIME", text);
    check_datetime(ps, "TIME", text, nullptr, f);
    Value *v = make_value(ps, VT_TIME);
    v->data.time = TIME_STRUCT{static_cast<SQLUSMALLINT>(f[0]), static_cast<SQLUSMALLINT>(f[1]),
                               static_cast<SQLUSMALLINT>(f[2])};
    return v;
}

static Value *make_timestamp(ParserState *ps, const int (&d)[3], const int (&t)[3]) {
    Value *v = make_value(ps, VT_TIMESTAMP);
    v->data.ts.year = static_cast<SQLSMALLINT>(d[0]);
    v->data.ts.month = static_cast<SQLUSMALLINT>(d[1]);
    v->data.ts.day = static_cast<SQLUSMALLINT>(d[2]);
    v->data.ts.hour = static_cast<SQLUSMALLINT>(t[0]);
    v->data.ts.minute = static_cast<SQLUSMALLINT>(t[1]);
    v->data.ts.second = static_cast<SQLUSMALLINT>(t[2]);
    v->data.ts.fraction = 0;
    return v;
}

Value *build_timestamp_literal(ParserState *ps, const char *text) {
    int d[3], t[3];
    const char *p = text;
    if (!read_date(p, d, "-") || *p != ' ' || !read_time(p, t)) bad_datetime(ps, "TIMESTAMP", text);
    // A fraction may follow the seconds; it is not kept.
    if (*p == '.') {
        p++;
        while (*p >= '0' && *p <= '9') p++;
    }
    if (!at_end(p)) bad_datetime(ps, "TIMESTAMP", text);
    check_datetime(ps, "TIMESTAMP", text, d, t);
    return make_timestamp(ps, d, t);
}

Value *build_hash_literal(ParserState *ps, const char *text) {
    int d[3], t[3] = {0, 0, 0};
    const char *p = text + 1;
    if (!read_date(p, d, "-/\\")) bad_datetime(ps, "TIMESTAMP", text);
    if (*p != '#') {
        if (*p != ' ' || !read_time(p, t)) bad_datetime(ps, "TIMESTAMP", text);
        while (*p == ' ') p++;
        if (*p != '#') bad_datetime(ps, "TIMESTAMP", text);
    }
    check_datetime(ps, "TIMESTAMP", text, d, t);
    return make_timestamp(ps, d, t);
}

Value *build_special_register(ParserState *ps, uint32_t type, int32_t precision) {
    Value *v = make_value(ps, type);
    v->precision = precision;
    return v;
}

Node *negate_literal(ParserState *ps, Node *literal) {
    // A signed default: numbers and intervals take the sign themselves so the
    // default stays a literal. A sign before text, a date or a binary value
    // means nothing (and could not be printed back as a default): refused.
    auto *v = node_cast<Value>(literal);
    if (literal->kind == NODE_VALUE) {
        if (v->type == VT_INTEGER) {
            v->data.i = -v->data.i;
            return literal;
        }
        if (v->type == VT_DOUBLE) {
            v->data.d = -v->data.d;
            return literal;
        }
        if (v->type == VT_NUMERIC) {
            v->data.num.sign = 0;
            return literal;
        }
        if (v->type == VT_INTERVAL_YM || v->type == VT_INTERVAL_DS) {
            v->data.iv.interval_sign = v->data.iv.interval_sign ? SQL_FALSE : SQL_TRUE;
            return literal;
        }
    }
    fail(ps, 1, "syntax error");
}
