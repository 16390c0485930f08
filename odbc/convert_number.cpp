// Numbers: the integer widths, double, float, bit and the numeric
// structure. Every integer target is range-checked whatever the source kind
// (an exact numeric or a text outside the target's range is 22003, never a
// wrapped number), and a lost fraction is reported with 01S07.
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "odbc/convert_internal.h"
#include "support/numeric.h"

namespace {

using u128 = unsigned __int128;

constexpr u128 kMagnitudeLimit = static_cast<u128>(1) << 120;  // far beyond any C integer

// A value read as sign, integer magnitude and whether a fraction was cut.
struct Exact {
    bool negative = false;
    u128 magnitude = 0;
    bool fraction = false;
    bool overflow = false;
};

void from_signed(int64_t n, Exact *e) {
    e->negative = n < 0;
    e->magnitude = n < 0 ? static_cast<u128>(0) - static_cast<u128>(static_cast<__int128>(n)) : static_cast<u128>(n);
}

void from_double(double d, Exact *e) {
    if (!std::isfinite(d) || std::fabs(d) >= 1e36) {
        e->overflow = true;
        return;
    }
    double whole = std::trunc(d);
    e->fraction = whole != d;
    e->negative = d < 0;
    e->magnitude = static_cast<u128>(std::fabs(whole));
}

void from_numeric(const SQL_NUMERIC_STRUCT *n, Exact *e) {
    u128 m = numeric_magnitude(n);
    int scale = static_cast<SQLSCHAR>(n->scale);
    for (; scale > 0; scale--) {
        if (m % 10 != 0) e->fraction = true;
        m /= 10;
    }
    for (; scale < 0; scale++) {
        if (m > kMagnitudeLimit) {
            e->overflow = true;
            return;
        }
        m *= 10;
    }
    e->magnitude = m;
    e->negative = n->sign == 0 && m != 0;
}

// The decimal integer a text starts with (blanks, sign, digits); 0 when none.
void from_text(const char *s, size_t size, Exact *e) {
    size_t i = 0;
    while (i < size && (s[i] == ' ' || s[i] == '\t')) i++;
    if (i < size && (s[i] == '+' || s[i] == '-')) e->negative = s[i++] == '-';
    for (; i < size && s[i] >= '0' && s[i] <= '9'; i++) {
        if (e->magnitude > kMagnitudeLimit) {
            e->overflow = true;
            return;
        }
        e->magnitude = e->magnitude * 10 + static_cast<u128>(s[i] - '0');
    }
    if (e->magnitude == 0) e->negative = false;
}

// Single-field intervals read as their field; false for other intervals.
bool from_interval(const SQL_INTERVAL_STRUCT &iv, Exact *e) {
    const SQL_DAY_SECOND_STRUCT &ds = iv.intval.day_second;
    switch (iv.interval_type) {
    case SQL_IS_YEAR: e->magnitude = iv.intval.year_month.year; break;
    case SQL_IS_MONTH: e->magnitude = iv.intval.year_month.month; break;
    case SQL_IS_DAY: e->magnitude = ds.day; break;
    case SQL_IS_HOUR: e->magnitude = ds.hour; break;
    case SQL_IS_MINUTE: e->magnitude = ds.minute; break;
    case SQL_IS_SECOND:
        e->magnitude = ds.second;
        e->fraction = ds.fraction != 0;
        break;
    default: return false;
    }
    e->negative = iv.interval_sign == SQL_TRUE && (e->magnitude != 0 || e->fraction);
    return true;
}

// Reads `v` exactly; false for kinds that have no numeric reading.
bool exact_reading(const Value *v, Exact *e) {
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT: from_signed(v->data.i, e); return true;
    case VT_BIGINT: from_signed(v->data.big, e); return true;
    case VT_DOUBLE: from_double(v->data.d, e); return true;
    case VT_NUMERIC: from_numeric(&v->data.num, e); return true;
    case VT_CHAR:
    case VT_LONG_CHAR: {
        size_t size;
        const char *s = value_chars(v, &size);
        from_text(s, size, e);
        return true;
    }
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: return from_interval(v->data.iv, e);
    default: return false;
    }
}

// The leading floating-point number of a text; 0 when none.
double text_double(const Value *v) {
    size_t size;
    const char *s = value_chars(v, &size);
    if (!s) return 0;
    char *end = nullptr;
    double d = std::strtod(s, &end);
    return end == s ? 0 : d;
}

// The double reading of number and text kinds; false for the others.
bool double_reading(const Value *v, double *out) {
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT: *out = v->data.i; return true;
    case VT_BIGINT: *out = static_cast<double>(v->data.big); return true;
    case VT_DOUBLE: *out = v->data.d; return true;
    case VT_NUMERIC: *out = numeric_to_double(&v->data.num); return true;
    case VT_CHAR:
    case VT_LONG_CHAR: *out = text_double(v); return true;
    default: return false;
    }
}

void write_bytes(const ConvertTarget &t, const void *data, size_t n) {
    if (t.buffer) std::memcpy(t.buffer, data, n);
    put_length(t, static_cast<SQLLEN>(n));
}

}  // namespace

SQLRETURN convert_to_integer(const Value *v, const IntegerRange &r, const ConvertTarget &t, ErrorHeader *diag) {
    Exact e;
    if (!exact_reading(v, &e)) return refuse_type(diag);
    if (e.overflow || e.magnitude > static_cast<u128>(UINT64_MAX)) return post_out_of_range(diag);
    __int128 n = e.negative ? -static_cast<__int128>(e.magnitude) : static_cast<__int128>(e.magnitude);
    if (n < r.min || n > r.max) return post_out_of_range(diag);
    switch (r.width) {
    case 1: { auto x = static_cast<int8_t>(static_cast<uint8_t>(n)); write_bytes(t, &x, 1); break; }
    case 2: { auto x = static_cast<int16_t>(static_cast<uint16_t>(n)); write_bytes(t, &x, 2); break; }
    case 4: { auto x = static_cast<int32_t>(static_cast<uint32_t>(n)); write_bytes(t, &x, 4); break; }
    default: { auto x = static_cast<uint64_t>(n); write_bytes(t, &x, 8); break; }
    }
    return e.fraction ? post_fraction_lost(diag) : SQL_SUCCESS;
}

SQLRETURN convert_to_double(const Value *v, const ConvertTarget &t, ErrorHeader *diag) {
    double d;
    if (!double_reading(v, &d)) return refuse_type(diag);
    write_bytes(t, &d, 8);
    return SQL_SUCCESS;
}

SQLRETURN convert_to_float(const Value *v, const ConvertTarget &t, ErrorHeader *diag) {
    double d;
    if (!double_reading(v, &d)) return refuse_type(diag);
    if (std::isfinite(d) && std::fabs(d) > static_cast<double>(FLT_MAX)) return post_out_of_range(diag);
    auto f = static_cast<float>(d);
    write_bytes(t, &f, 4);
    return std::isfinite(d) && static_cast<double>(f) != d ? post_fraction_lost(diag) : SQL_SUCCESS;
}

SQLRETURN convert_to_bit(const Value *v, const ConvertTarget &t, ErrorHeader *diag) {
    unsigned char bit;
    bool fraction = false;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT:
    case VT_BIGINT:
    case VT_DOUBLE:
    case VT_NUMERIC: {
        // 0 and 1 pass; between them and below 2 the fraction is cut (01S07);
        // anything else is out of a bit's range.
        Exact e;
        (void)exact_reading(v, &e);
        if (e.overflow || (e.negative && (e.magnitude != 0 || e.fraction)) || e.magnitude > 1)
            return post_out_of_range(diag);
        bit = static_cast<unsigned char>(e.magnitude);
        fraction = e.fraction;
        break;
    }
    case VT_CHAR:
    case VT_LONG_CHAR: bit = text_double(v) != 0 ? 1 : 0; break;
    default: return refuse_type(diag);
    }
    write_bytes(t, &bit, 1);
    return fraction ? post_fraction_lost(diag) : SQL_SUCCESS;
}

SQLRETURN convert_to_numeric(const Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *diag) {
    SQL_NUMERIC_STRUCT n{};
    int precision = c.precision > 0 && c.precision <= kMaxNumericPrecision ? c.precision : 0;
    int scale = c.scale > 0 ? c.scale : 0;
    int rc = kNumOk;
    bool fraction = false;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT: rc = int_to_numeric(v->data.i, &n, precision, scale); break;
    case VT_BIGINT: rc = bigint_to_numeric(v->data.big, &n, precision, scale); break;
    // Doubles and texts keep the digits they carry: a column's scale of 0
    // must not silently round 2.5 to 3.
    case VT_DOUBLE: rc = double_to_numeric(v->data.d, &n, 0, -1); break;
    case VT_CHAR:
    case VT_LONG_CHAR: {
        size_t size;
        rc = string_to_numeric(value_chars(v, &size), &n, 0, -1);
        if (rc == kNumBadText) rc = kNumOk;
        break;
    }
    case VT_NUMERIC: n = v->data.num; break;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        Exact e;
        if (!from_interval(v->data.iv, &e)) return refuse_type(diag);
        auto signed_value = static_cast<int64_t>(e.magnitude);
        rc = int_to_numeric(e.negative ? -signed_value : signed_value, &n, precision, 0);
        fraction = e.fraction;
        break;
    }
    default: return refuse_type(diag);
    }
    if (rc != kNumOk) return post_out_of_range(diag);
    write_bytes(t, &n, sizeof n);
    return fraction ? post_fraction_lost(diag) : SQL_SUCCESS;
}
