// Value services (see value_ops.h).
#include "support/value_ops.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "support/text.h"

#include "support/calendar.h"
#include "support/interval.h"
#include "support/long_buffer.h"
#include "support/node.h"
#include "support/numeric.h"

Value *NewValue(CvPool *pool, int32_t n) {
    if (n < 0 || n > kMaxCharValue) return nullptr;
    Value *v = new_node<Value>(kValueNodeKind, pool);
    if (!v) return nullptr;
    v->pool = pool;
    v->type = VT_CHAR;
    if (n > 0) {
        v->data.s = static_cast<char *>(cv_mem_alloc(pool, static_cast<size_t>(n) + 1));
        if (!v->data.s) {
            cv_mem_free(v);
            return nullptr;
        }
        v->owns_data = 1;
    }
    return v;
}

Value *new_value_of_type(CvPool *pool, uint32_t type) {
    Value *v = new_node<Value>(kValueNodeKind, pool);
    if (!v) return nullptr;
    v->pool = pool;
    v->type = type;
    return v;
}

Value *duplicate_value(const Value *v, CvPool *pool) {
    if (!v) return nullptr;
    Value *c = new_node<Value>(kValueNodeKind, pool);
    if (!c) return nullptr;
    *c = *v;
    c->pool = pool;
    c->owns_data = 0;
    if ((v->type == VT_CHAR && v->data.s) || (v->type == VT_BINARY && v->data.bytes)) {
        size_t n = v->length > 0 ? static_cast<size_t>(v->length) : 0;
        char *buf = static_cast<char *>(cv_mem_alloc(pool, n + 1));
        if (!buf) {
            cv_mem_free(c);
            return nullptr;
        }
        std::memcpy(buf, v->data.s, n);
        buf[n] = 0;
        c->data.s = buf;
        c->owns_data = 1;
    }
    // A copy starts its own piecewise reads, and owns its long data: the
    // source's buffer may be refilled by its next row.
    c->piece_offset = 0;
    if ((v->type == VT_LONG_CHAR || v->type == VT_LONG_BINARY) && v->long_buffer) {
        LongBuffer *lb = allocate_long_buffer(pool, v->long_buffer->limit, v->long_buffer->sql_type);
        if (!lb || append_to_long_buffer(lb, long_buffer_data(v->long_buffer), long_buffer_length(v->long_buffer)) != 0) {
            if (c->owns_data) cv_mem_free(c->data.s);
            cv_mem_free(c);
            return nullptr;
        }
        c->long_buffer = lb;
    }
    return c;
}

Value *duplicate_value_ex(const Value *v, CvPool *pool) {
    Value *c = duplicate_value(v, pool);
    if (c) c->copy_mark = 0;
    return c;
}

void release_value(Value *v) {
    if (!v) return;
    if (v->owns_data && (v->type == VT_CHAR || v->type == VT_BINARY)) cv_mem_free(v->data.s);
    cv_mem_free(v);
}

int set_value_text(Value *v, const char *text, size_t len) {
    if (len > static_cast<size_t>(kMaxCharValue)) return -1;
    char *buf = static_cast<char *>(cv_mem_alloc(v->pool, len + 1));
    if (!buf) return -1;
    if (len) std::memcpy(buf, text, len);
    buf[len] = 0;
    if (v->owns_data && (v->type == VT_CHAR || v->type == VT_BINARY)) cv_mem_free(v->data.s);
    v->type = VT_CHAR;
    v->data.s = buf;
    v->length = static_cast<int32_t>(len);
    v->owns_data = 1;
    v->is_null = 0;
    return 0;
}

size_t format_double(double d, char *out, size_t capacity) {
    char buf[40];
    if (std::isnan(d)) {
        std::snprintf(buf, sizeof buf, "%s", "nan");
    } else if (std::isinf(d)) {
        std::snprintf(buf, sizeof buf, "%s", d < 0 ? "-inf" : "inf");
    } else {
        for (int digits = 15; digits <= 17; digits++) {
            std::snprintf(buf, sizeof buf, "%.*g", digits, d);
            if (std::strtod(buf, nullptr) == d) break;
        }
    }
    size_t n = std::strlen(buf);
    (void)copy_text_out(std::string_view(buf, n), out, capacity);
    return n;
}

namespace {

// Copies `len` bytes of `text` into out/capacity; returns 1 when cut.
int put(const char *text, size_t len, char *out, size_t capacity, size_t *length) {
    if (length) *length = len;
    if (!out || capacity == 0) return len > 0 ? 1 : 0;
    size_t c = len < capacity ? len : capacity - 1;
    std::memcpy(out, text, c);
    out[c] = 0;
    return c < len ? 1 : 0;
}

// Digits of `n`, at least `width` of them (zeros in front), at `at`; the
// end. Dates, times and integers are written for every value fetched as
// text, so by hand rather than through snprintf's format parsing, two
// digits a step from the right.
char *put_digits(char *at, uint64_t n, int width) {
    if (width == 2 && n < 100) {  // months, days, hours, minutes, seconds
        std::memcpy(at, &kDigitPairs[2 * n], 2);
        return at + 2;
    }
    int count = 1;
    for (uint64_t rest = n; rest >= 10; rest /= 10) count++;
    for (int pad = count; pad < width; ++pad) *at++ = '0';
    char *end = at + count;
    char *p = end;
    while (n >= 100) {
        p -= 2;
        std::memcpy(p, &kDigitPairs[2 * (n % 100)], 2);
        n /= 100;
    }
    if (n >= 10) {
        std::memcpy(p - 2, &kDigitPairs[2 * n], 2);
    } else {
        p[-1] = static_cast<char>('0' + n);
    }
    return end;
}

// "%02u": inline, since a timestamp has five of them.
inline char *put_two(char *at, unsigned n) {
    if (n >= 100) return put_digits(at, n, 2);
    std::memcpy(at, &kDigitPairs[2 * n], 2);
    return at + 2;
}

// As "%0*lld" with `width`: a minus sign counts within the width.
char *put_signed(char *at, int64_t n, int width) {
    if (n >= 0) return put_digits(at, static_cast<uint64_t>(n), width);
    *at++ = '-';
    return put_digits(at, 0 - static_cast<uint64_t>(n), width - 1);
}

// "%04d-%02u-%02u" of a date.
char *put_date(char *at, int year, unsigned month, unsigned day) {
    if (year >= 1000 && year <= 9999) {  // every year a provider sends: two pairs
        std::memcpy(at, &kDigitPairs[2 * (year / 100)], 2);
        std::memcpy(at + 2, &kDigitPairs[2 * (year % 100)], 2);
        at += 4;
    } else {
        at = put_signed(at, year, 4);
    }
    *at++ = '-';
    at = put_two(at, month);
    *at++ = '-';
    return put_two(at, day);
}

// "%02u:%02u:%02u" of a time of day.
char *put_time(char *at, unsigned hour, unsigned minute, unsigned second) {
    at = put_two(at, hour);
    *at++ = ':';
    at = put_two(at, minute);
    *at++ = ':';
    return put_two(at, second);
}

// Copies the `n` bytes of `text` into buf/cap as snprintf would (cut, and
// terminated); returns n.
size_t put_formatted(const char *text, size_t n, char *buf, size_t cap) {
    if (cap > 0) {
        const size_t c = n < cap ? n : cap - 1;
        std::memcpy(buf, text, c);
        buf[c] = 0;
    }
    return n;
}

}  // namespace

int short_value_text(const Value *v, char *out) {
    char *end = out;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT: end = put_signed(out, v->data.i, 1); break;
    case VT_BIGINT: end = put_signed(out, v->data.big, 1); break;
    case VT_DATE: end = put_date(out, v->data.date.year, v->data.date.month, v->data.date.day); break;
    case VT_TIME: end = put_time(out, v->data.time.hour, v->data.time.minute, v->data.time.second); break;
    case VT_TIMESTAMP: {
        const TIMESTAMP_STRUCT &t = v->data.ts;
        end = put_date(out, t.year, t.month, t.day);
        *end++ = ' ';
        end = put_time(end, t.hour, t.minute, t.second);
        if (t.fraction != 0 && t.fraction <= 999999999u) {
            *end++ = '.';
            end = put_digits(end, t.fraction, 9);
            while (end[-1] == '0') --end;
        }
        break;
    }
    default: return -1;
    }
    return static_cast<int>(end - out);
}

namespace {

size_t small_text(const Value *v, char *buf, size_t cap, bool *ok) {
    *ok = true;
    int n = 0;
    char text[kShortTextRoom];
    char *end = text;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT:
    case VT_BIGINT:
    case VT_DATE:
    case VT_TIME:
    case VT_TIMESTAMP: end = text + short_value_text(v, text); break;
    case VT_DOUBLE: return format_double(v->data.d, buf, cap);
    case VT_NUMERIC: {
        size_t len;
        (void)numeric_to_string(&v->data.num, buf, cap, &len);
        return len;
    }
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: return interval_as_text(&v->data.iv, buf, cap);
    default:
        *ok = false;
        n = std::snprintf(buf, cap, "%s", "UNSUPPORTED STRING CONVERSION");
        return n < 0 ? 0 : static_cast<size_t>(n);
    }
    return put_formatted(text, static_cast<size_t>(end - text), buf, cap);
}

constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

int value_as_text(const Value *v, char *out, size_t capacity, size_t *length) {
    if (v->is_null) return put("", 0, out, capacity, length);
    switch (v->type) {
    case VT_CHAR:
        return put(v->data.s ? v->data.s : "", v->data.s ? static_cast<size_t>(v->length) : 0, out,
                   capacity, length);
    case VT_LONG_CHAR:
        return put(long_buffer_data(v->long_buffer), long_buffer_length(v->long_buffer), out,
                   capacity, length);
    case VT_BINARY:
    case VT_LONG_BINARY: {
        const uint8_t *b = v->type == VT_BINARY
                               ? v->data.bytes
                               : reinterpret_cast<const uint8_t *>(long_buffer_data(v->long_buffer));
        size_t n = v->type == VT_BINARY ? static_cast<size_t>(v->length > 0 ? v->length : 0)
                                        : long_buffer_length(v->long_buffer);
        if (length) *length = 2 * n;
        if (!out || capacity == 0) return n > 0 ? 1 : 0;
        size_t i = 0;
        for (; i < n && 2 * i + 2 < capacity; i++) {
            out[2 * i] = kHex[b[i] >> 4];
            out[2 * i + 1] = kHex[b[i] & 15];
        }
        out[2 * i] = 0;
        return i < n ? 1 : 0;
    }
    default: {
        char buf[128];
        bool ok;
        size_t n = small_text(v, buf, sizeof buf, &ok);
        if (n >= sizeof buf) n = sizeof buf - 1;
        int rc = put(buf, n, out, capacity, length);
        return ok ? rc : -1;
    }
    }
}

char *value_text_in_pool(const Value *v, CvPool *pool, size_t *length) {
    size_t len = 0;
    char probe[1];
    int rc = value_as_text(v, probe, 1, &len);
    if (rc < 0) return nullptr;
    if (len > static_cast<size_t>(kMaxCharValue)) return nullptr;
    char *buf = static_cast<char *>(cv_mem_alloc(pool, len + 1));
    if (!buf) return nullptr;
    (void)value_as_text(v, buf, len + 1, nullptr);
    if (length) *length = len;
    return buf;
}

namespace {

// Leading decimal number of a text (strtod semantics, 0 when none).
double leading_double(const char *s) {
    if (!s) return 0;
    char *end = nullptr;
    double d = std::strtod(s, &end);
    if (end == s) return 0;
    return d;
}

}  // namespace

int get_double_from_value(const Value *v, double *out) {
    *out = 0;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT: *out = v->data.i; return 0;
    case VT_BIGINT: *out = static_cast<double>(v->data.big); return 0;
    case VT_DOUBLE: *out = v->data.d; return 0;
    case VT_NUMERIC: *out = numeric_to_double(&v->data.num); return 0;
    case VT_CHAR: *out = leading_double(v->data.s); return 0;
    case VT_LONG_CHAR: *out = leading_double(long_buffer_data(v->long_buffer)); return 0;
    default: return -1;
    }
}

int get_bigint_from_value(const Value *v, int64_t *out) {
    *out = 0;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT: *out = v->data.i; return 0;
    case VT_BIGINT: *out = v->data.big; return 0;
    case VT_DOUBLE: {
        double d = std::trunc(v->data.d);
        // 2^63 is the first double above the range.
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return -1;
        *out = static_cast<int64_t>(d);
        return 0;
    }
    case VT_NUMERIC: return numeric_to_bigint(&v->data.num, out) == kNumOk ? 0 : -1;
    case VT_CHAR:
    case VT_LONG_CHAR: {
        const char *s = v->type == VT_CHAR ? v->data.s : long_buffer_data(v->long_buffer);
        if (!s) return 0;
        SQL_NUMERIC_STRUCT n;
        int rc = string_to_numeric(s, &n, 0, -1);
        if (rc == kNumBadText) return 0;
        if (rc != kNumOk) return -1;
        return numeric_to_bigint(&n, out) == kNumOk ? 0 : -1;
    }
    default: return -1;
    }
}

int get_int_from_value(const Value *v, int32_t *out) {
    int64_t b = 0;
    *out = 0;
    if (get_bigint_from_value(v, &b) != 0 || b < INT32_MIN || b > INT32_MAX) return -1;
    *out = static_cast<int32_t>(b);
    return 0;
}

namespace {

bool is_number(uint32_t t) {
    return t == VT_INTEGER || t == VT_BIT || t == VT_BIGINT || t == VT_DOUBLE || t == VT_NUMERIC;
}

int sign_of(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

int compare_numbers(const Value *a, const Value *b) {
    if (a->type == VT_NUMERIC || b->type == VT_NUMERIC) {
        SQL_NUMERIC_STRUCT x, y;
        auto load = [](const Value *v, SQL_NUMERIC_STRUCT *n) {
            if (v->type == VT_NUMERIC) {
                *n = v->data.num;
                return true;
            }
            if (v->type == VT_DOUBLE) return double_to_numeric(v->data.d, n, 0, -1) == kNumOk;
            int64_t i = 0;
            (void)get_bigint_from_value(v, &i);
            return int_to_numeric(i, n, 0, 0) == kNumOk;
        };
        if (load(a, &x) && load(b, &y)) return numeric_compare(&x, &y);
    }
    if (a->type != VT_DOUBLE && b->type != VT_DOUBLE) {
        int64_t x = 0, y = 0;
        (void)get_bigint_from_value(a, &x);
        (void)get_bigint_from_value(b, &y);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    double x = 0, y = 0;
    (void)get_double_from_value(a, &x);
    (void)get_double_from_value(b, &y);
    // NaN has one place, after every number, and equals itself: the order
    // stays total for sorting, DISTINCT and IN.
    const bool xn = std::isnan(x), yn = std::isnan(y);
    if (xn || yn) return xn && yn ? 0 : (xn ? 1 : -1);
    return x < y ? -1 : (x > y ? 1 : 0);
}

// Character comparison with trailing blanks ignored (PAD SPACE).
int compare_chars(const char *a, size_t la, const char *b, size_t lb) {
    while (la > 0 && a[la - 1] == ' ') la--;
    while (lb > 0 && b[lb - 1] == ' ') lb--;
    size_t n = la < lb ? la : lb;
    int c = n ? std::memcmp(a, b, n) : 0;
    if (c != 0) return sign_of(c);
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

bool is_datetime(uint32_t t) { return t == VT_DATE || t == VT_TIME || t == VT_TIMESTAMP; }

}  // namespace

TIMESTAMP_STRUCT value_as_timestamp(const Value *v) {
    TIMESTAMP_STRUCT t{};
    if (v->type == VT_DATE) {
        t.year = v->data.date.year;
        t.month = v->data.date.month;
        t.day = v->data.date.day;
    } else if (v->type == VT_TIME) {
        t.hour = v->data.time.hour;
        t.minute = v->data.time.minute;
        t.second = v->data.time.second;
    } else {
        t = v->data.ts;
    }
    return t;
}

int compare_values(const Value *a, const Value *b) {
    if (a->is_null || b->is_null) return (a->is_null ? 0 : 1) - (b->is_null ? 0 : 1);
    if (is_number(a->type) && is_number(b->type)) return compare_numbers(a, b);
    if (is_char_value_type(a->type) && is_char_value_type(b->type)) {
        const char *x = a->type == VT_CHAR ? a->data.s : long_buffer_data(a->long_buffer);
        const char *y = b->type == VT_CHAR ? b->data.s : long_buffer_data(b->long_buffer);
        size_t lx = a->type == VT_CHAR ? static_cast<size_t>(a->length) : long_buffer_length(a->long_buffer);
        size_t ly = b->type == VT_CHAR ? static_cast<size_t>(b->length) : long_buffer_length(b->long_buffer);
        return compare_chars(x ? x : "", x ? lx : 0, y ? y : "", y ? ly : 0);
    }
    if (a->type == VT_BINARY && b->type == VT_BINARY) {
        size_t la = static_cast<size_t>(a->length), lb = static_cast<size_t>(b->length);
        size_t n = la < lb ? la : lb;
        int c = n ? std::memcmp(a->data.bytes, b->data.bytes, n) : 0;
        if (c != 0) return sign_of(c);
        return la < lb ? -1 : (la > lb ? 1 : 0);
    }
    if (is_datetime(a->type) && is_datetime(b->type)) {
        if (a->type == VT_TIME && b->type == VT_TIME) return time_compare(&a->data.time, &b->data.time);
        TIMESTAMP_STRUCT x = value_as_timestamp(a), y = value_as_timestamp(b);
        return timestamp_compare(&x, &y);
    }
    if (is_interval_value_type(a->type) && is_interval_value_type(b->type)) {
        int c = 0;
        if (interval_compare(&a->data.iv, &b->data.iv, &c) == 0) return c;
        return a->type == VT_INTERVAL_YM ? -1 : 1;
    }
    // Mixed kinds: compare the whole text forms, so the order is total.
    size_t la = 0, lb = 0;
    char probe[1];
    (void)value_as_text(a, probe, sizeof probe, &la);
    (void)value_as_text(b, probe, sizeof probe, &lb);
    std::string x(la + 1, '\0'), y(lb + 1, '\0');
    (void)value_as_text(a, x.data(), x.size(), nullptr);
    (void)value_as_text(b, y.data(), y.size(), nullptr);
    return sign_of(std::strcmp(x.c_str(), y.c_str()));
}

void set_trivalue_in_value(Value *v, int truth) {
    v->type = VT_BIT;
    if (truth == kUnknown) {
        v->is_null = -1;
        v->data.i = kUnknown;
    } else {
        v->is_null = 0;
        v->data.i = truth ? 1 : 0;
    }
}

int get_trivalue_from_value(const Value *v) {
    if (v->is_null) return kUnknown;
    switch (v->type) {
    case VT_BIT:
    case VT_INTEGER: return v->data.i ? kTrue : kFalse;
    case VT_BIGINT: return v->data.big ? kTrue : kFalse;
    case VT_DOUBLE: return v->data.d != 0 ? kTrue : kFalse;
    default: return kUnknown;
    }
}

void set_value_to_double(Value *v, double d) {
    v->type = VT_DOUBLE;
    v->is_null = 0;
    v->data.d = d;
}

void set_value_to_interval(Value *v, const SQL_INTERVAL_STRUCT *iv) {
    v->type = interval_is_year_month(iv->interval_type) ? VT_INTERVAL_YM : VT_INTERVAL_DS;
    v->is_null = 0;
    v->data.iv = *iv;
}

void set_value_null(Value *v, uint32_t type) {
    if (v->owns_data && (v->type == VT_CHAR || v->type == VT_BINARY)) cv_mem_free(v->data.s);
    v->owns_data = 0;
    v->type = type;
    v->is_null = -1;
    v->length = 0;
    std::memset(&v->data, 0, sizeof v->data);
}
