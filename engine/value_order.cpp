// The one order of values, by pair of value kinds (value_order.h).
#include "engine/value_order.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sql/literal/literal.h"
#include "support/calendar.h"
#include "support/interval.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

enum class Kind { kNumber, kText, kBinary, kDateTime, kInterval, kOther };

Kind kind_of(uint32_t t) {
    switch (t) {
    case VT_INTEGER:
    case VT_BIT:
    case VT_BIGINT:
    case VT_DOUBLE:
    case VT_NUMERIC: return Kind::kNumber;
    case VT_CHAR:
    case VT_LONG_CHAR: return Kind::kText;
    case VT_BINARY:
    case VT_LONG_BINARY: return Kind::kBinary;
    case VT_DATE:
    case VT_TIME:
    case VT_TIMESTAMP: return Kind::kDateTime;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: return Kind::kInterval;
    default: return Kind::kOther;
    }
}

int sign_of(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

template <typename T>
int order_of(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// The bytes of a text or binary value, long ones included.
void bytes_of(const Value *v, const char **s, size_t *n) {
    if (v->type == VT_LONG_CHAR || v->type == VT_LONG_BINARY) {
        *s = v->long_buffer ? long_buffer_data(v->long_buffer) : nullptr;
        *n = *s ? long_buffer_length(v->long_buffer) : 0;
    } else if (v->type == VT_BINARY) {
        *s = reinterpret_cast<const char *>(v->data.bytes);
        *n = *s && v->length > 0 ? static_cast<size_t>(v->length) : 0;
    } else {
        *s = v->data.s;
        *n = *s && v->length > 0 ? static_cast<size_t>(v->length) : 0;
    }
    if (!*s) *s = "";
}

int order_bytes(const char *a, size_t la, const char *b, size_t lb) {
    size_t n = la < lb ? la : lb;
    int c = n ? std::memcmp(a, b, n) : 0;
    return c != 0 ? sign_of(c) : order_of(la, lb);
}

int order_texts(const Value *l, const Value *r) {
    const char *a, *b;
    size_t la, lb;
    bytes_of(l, &a, &la);
    bytes_of(r, &b, &lb);
    while (la > 0 && a[la - 1] == ' ') la--;
    while (lb > 0 && b[lb - 1] == ' ') lb--;
    return order_bytes(a, la, b, lb);
}

int order_binaries(const Value *l, const Value *r) {
    const char *a, *b;
    size_t la, lb;
    bytes_of(l, &a, &la);
    bytes_of(r, &b, &lb);
    return order_bytes(a, la, b, lb);
}

double as_double(const Value *v) {
    if (v->type == VT_NUMERIC) return numeric_to_double(&v->data.num);
    double d = 0;
    (void)get_double_from_value(v, &d);
    return d;
}

bool as_decimal(const Value *v, SQL_NUMERIC_STRUCT *out) {
    if (v->type == VT_NUMERIC) {
        *out = v->data.num;
        return true;
    }
    int64_t i = 0;
    (void)get_bigint_from_value(v, &i);
    return bigint_to_numeric(i, out, 0, 0) == kNumOk;
}

int order_numbers(const Value *l, const Value *r) {
    const uint32_t L = l->type, R = r->type;
    if (L != VT_DOUBLE && R != VT_DOUBLE && L != VT_NUMERIC && R != VT_NUMERIC) {
        int64_t a = 0, b = 0;
        (void)get_bigint_from_value(l, &a);
        (void)get_bigint_from_value(r, &b);
        return order_of(a, b);
    }
    if (L != VT_DOUBLE && R != VT_DOUBLE) {
        SQL_NUMERIC_STRUCT a, b;
        if (as_decimal(l, &a) && as_decimal(r, &b)) return sign_of(numeric_compare(&a, &b));
    }
    const double a = as_double(l), b = as_double(r);
    const bool an = std::isnan(a), bn = std::isnan(b);
    if (an || bn) return an && bn ? 0 : (an ? 1 : -1);
    return order_of(a, b);
}

int order_datetimes(const Value *l, const Value *r) {
    if (l->type == VT_TIME && r->type == VT_TIME) return sign_of(time_compare(&l->data.time, &r->data.time));
    TIMESTAMP_STRUCT a = value_as_timestamp(l), b = value_as_timestamp(r);
    return sign_of(timestamp_compare(&a, &b));
}

// A text's bytes without the blanks around them, as a C string.
std::string trimmed(const Value *text) {
    const char *s;
    size_t n;
    bytes_of(text, &s, &n);
    size_t b = 0;
    while (b < n && (s[b] == ' ' || s[b] == '\t')) b++;
    while (n > b && (s[n - 1] == ' ' || s[n - 1] == '\t')) n--;
    return std::string(s + b, n - b);
}

// The text read as a value of datetime kind `kind`; false when it is none.
bool text_as_datetime(const Value *text, uint32_t kind, Value *out) {
    const std::string s = trimmed(text);
    *out = Value{};
    out->kind = kValueNodeKind;
    out->type = kind;
    ErrorHeader *quiet = nullptr;  // the caller reports the comparison's own error
    if (s.size() > static_cast<size_t>(kMaxLiteralText) || s.find('\0') != std::string::npos) return false;
    if (kind == VT_DATE) {
        if (parse_date_text(quiet, s.c_str(), &out->data.date) == 0) return true;
        // A timestamp's text meets a date as that timestamp (the date being
        // its midnight): unequal unless at midnight, never an error. A bare
        // time is no reading of a date.
        out->type = VT_TIMESTAMP;
        return s.find('-') != std::string::npos && s.find(':') != std::string::npos &&
               parse_timestamp_text(quiet, s.c_str(), &out->data.ts) == 0;
    }
    if (kind == VT_TIME) return parse_time_text(quiet, s.c_str(), &out->data.time) == 0;
    return parse_timestamp_text(quiet, s.c_str(), &out->data.ts) == 0;
}

// Whether s is one number: sign, digits with at most one point, an
// optional exponent, and nothing else.
bool is_number_text(const std::string &s) {
    size_t i = 0, n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) i++;
    size_t digits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') i++, digits++;
    if (i < n && s[i] == '.') {
        i++;
        while (i < n && s[i] >= '0' && s[i] <= '9') i++, digits++;
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        i++;
        if (i < n && (s[i] == '+' || s[i] == '-')) i++;
        size_t e = 0;
        while (i < n && s[i] >= '0' && s[i] <= '9') i++, e++;
        if (e == 0) return false;
    }
    return i == n;
}

// The text read as a number: exact when it fits 38 digits, else a double.
bool text_as_number(const Value *text, Value *out) {
    const std::string s = trimmed(text);
    if (!is_number_text(s)) return false;
    *out = Value{};
    out->kind = kValueNodeKind;
    out->type = VT_NUMERIC;
    if (string_to_numeric(s.c_str(), &out->data.num, 0, -1) == kNumOk) return true;
    out->type = VT_DOUBLE;
    out->data.d = std::strtod(s.c_str(), nullptr);
    return true;
}

OrderResult bad_datetime(uint32_t kind) {
    return kind == VT_DATE ? OrderResult::kBadDate : kind == VT_TIME ? OrderResult::kBadTime : OrderResult::kBadTimestamp;
}

}  // namespace

OrderResult read_text_as(const Value *text, uint32_t kind, Value *out) {
    if (kind == VT_DATE || kind == VT_TIME || kind == VT_TIMESTAMP)
        return text_as_datetime(text, kind, out) ? OrderResult::kOk : bad_datetime(kind);
    return text_as_number(text, out) ? OrderResult::kOk : OrderResult::kBadNumber;
}

OrderResult value_order(const Value *l, const Value *r, int *order) {
    *order = 0;
    const Kind a = kind_of(l->type), b = kind_of(r->type);
    if (a == b) {
        switch (a) {
        case Kind::kNumber: *order = order_numbers(l, r); return OrderResult::kOk;
        case Kind::kText: *order = order_texts(l, r); return OrderResult::kOk;
        case Kind::kBinary: *order = order_binaries(l, r); return OrderResult::kOk;
        case Kind::kDateTime: *order = order_datetimes(l, r); return OrderResult::kOk;
        case Kind::kInterval: {
            int c = 0;
            if (l->type != r->type || interval_compare(&l->data.iv, &r->data.iv, &c) != 0)
                return OrderResult::kUnsupported;
            *order = sign_of(c);
            return OrderResult::kOk;
        }
        default: return OrderResult::kUnsupported;
        }
    }
    if (a == Kind::kText && (b == Kind::kDateTime || b == Kind::kNumber)) {
        int reversed = 0;
        OrderResult res = value_order(r, l, &reversed);
        *order = -reversed;
        return res;
    }
    if ((a == Kind::kDateTime || a == Kind::kNumber) && b == Kind::kText) {
        Value read;
        OrderResult res = read_text_as(r, l->type, &read);
        if (res != OrderResult::kOk) return res;
        *order = a == Kind::kNumber ? order_numbers(l, &read) : order_datetimes(l, &read);
        return OrderResult::kOk;
    }
    if (a == Kind::kText || a == Kind::kBinary || b == Kind::kText || b == Kind::kBinary) {
        *order = sign_of(compare_values(l, r));  // their text forms
        return OrderResult::kOk;
    }
    return OrderResult::kUnsupported;
}
