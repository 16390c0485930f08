// Exact numeric arithmetic on SQL_NUMERIC_STRUCT (see numeric.h).
//
// Internally a numeric is (magnitude, scale, negative). Intermediate results
// use a small 256-bit unsigned type so that 38-digit operands multiply and
// divide exactly before rounding.
#include "support/numeric.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/value.h"
#include "support/diag.h"
#include "support/text.h"
#include "support/value_ops.h"

namespace {

using u128 = unsigned __int128;

constexpr u128 pow10_u128(int n) {
    u128 r = 1;
    for (int i = 0; i < n; i++) r *= 10;
    return r;
}

// 10^0 .. 10^38
struct Pow10Table {
    u128 v[39];
    constexpr Pow10Table() : v() {
        for (int i = 0; i <= 38; i++) v[i] = pow10_u128(i);
    }
};
constexpr Pow10Table kPow10;
constexpr u128 kMaxMagnitude = pow10_u128(38) - 1;

int digit_count(u128 m) {
    if (m == 0) return 1;
    // log10(2) ~ 1233/4096: estimate from the bit length, then correct.
    uint64_t hi = static_cast<uint64_t>(m >> 64), lo = static_cast<uint64_t>(m);
    int bits = hi ? 128 - __builtin_clzll(hi) : 64 - __builtin_clzll(lo);
    int d = (bits * 1233) >> 12;
    if (d > 38) d = 38;
    while (d < 39 && m >= kPow10.v[d]) d++;
    return d < 1 ? 1 : d;
}

struct U256 {
    u128 hi, lo;
};

U256 mul128(u128 a, u128 b) {
    const u128 mask = ~static_cast<uint64_t>(0);
    u128 a0 = a & mask, a1 = a >> 64, b0 = b & mask, b1 = b >> 64;
    u128 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    u128 mid = (p00 >> 64) + (p01 & mask) + (p10 & mask);
    U256 r;
    r.lo = (p00 & mask) | (mid << 64);
    r.hi = p11 + (p01 >> 64) + (p10 >> 64) + (mid >> 64);
    return r;
}

bool u256_less(const U256 &a, const U256 &b) { return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo); }

// Divides a 256-bit value by a 128-bit divisor (non-zero); quotient must be
// wanted only when it fits 256 bits (always). Shift-subtract: slow but only
// used for division and scale reduction of products.
U256 divmod256(U256 n, u128 d, u128 *rem) {
    U256 q{0, 0};
    U256 r{0, 0};
    for (int i = 255; i >= 0; i--) {
        // r = r << 1 | bit i of n
        r.hi = (r.hi << 1) | (r.lo >> 127);
        r.lo <<= 1;
        u128 bit = i >= 128 ? (n.hi >> (i - 128)) & 1 : (n.lo >> i) & 1;
        r.lo |= bit;
        U256 dd{0, d};
        if (!u256_less(r, dd)) {
            // r -= d
            u128 old = r.lo;
            r.lo -= d;
            if (r.lo > old) r.hi -= 1;
            if (i >= 128)
                q.hi |= static_cast<u128>(1) << (i - 128);
            else
                q.lo |= static_cast<u128>(1) << i;
        }
    }
    *rem = r.lo;
    return q;
}

struct Dec {
    u128 mag;
    int scale;
    bool neg;
};

// Loads a structure into the internal form with its scale brought into
// 0..38 (structures from applications may carry any signed scale). Returns
// false when the value needs more than 38 digits.
bool load(const SQL_NUMERIC_STRUCT *n, Dec *out) {
    u128 m = numeric_magnitude(n);
    int s = n->scale;
    if (m > kMaxMagnitude) return false;
    if (s >= 0 && s <= 38) {
        *out = Dec{m, s, n->sign != 1 && m != 0};
        return true;
    }
    while (s > 38) {
        u128 rem = m % 10;
        m /= 10;
        if (rem >= 5 && s == 39) m += 1;
        s--;
    }
    while (s < 0) {
        if (m > kMaxMagnitude / 10) return false;
        m *= 10;
        s++;
    }
    *out = Dec{m, s, n->sign != 1 && m != 0};
    return true;
}

// Reduces a 256-bit magnitude at `scale` to at most 38 digits by dropping
// fraction digits with half-up rounding; keeps at least `min_scale` only when
// possible. Returns false on overflow.
bool reduce(U256 m, int scale, bool neg, Dec *out) {
    while (scale > 38 || m.hi != 0 || m.lo > kMaxMagnitude) {
        if (scale <= 0) return false;
        u128 rem = 0;
        m = divmod256(m, 10, &rem);
        if (rem >= 5) {
            u128 old = m.lo;
            m.lo += 1;
            if (m.lo < old) m.hi += 1;
        }
        scale--;
    }
    out->mag = m.lo;
    out->scale = scale;
    out->neg = neg && m.lo != 0;
    return true;
}

int to_struct(const Dec &d, SQL_NUMERIC_STRUCT *out) {
    return numeric_set(out, d.mag, d.neg, 0, d.scale);
}

// Brings a to scale s (s >= a.scale) in 256 bits.
U256 widen(const Dec &a, int s) { return mul128(a.mag, kPow10.v[s - a.scale]); }

int add_dec(Dec a, Dec b, Dec *out) {
    if (a.scale == b.scale) {
        // Common case: one scale, no widening. 10^38 < 2^127, so the sum of
        // two magnitudes cannot wrap 128 bits.
        u128 r;
        bool neg;
        if (a.neg == b.neg) {
            r = a.mag + b.mag;
            neg = a.neg;
        } else if (a.mag < b.mag) {
            r = b.mag - a.mag;
            neg = b.neg;
        } else {
            r = a.mag - b.mag;
            neg = a.neg;
        }
        if (r <= kMaxMagnitude) {
            *out = Dec{r, a.scale, neg && r != 0};
            return kNumOk;
        }
        return reduce(U256{0, r}, a.scale, neg, out) ? kNumOk : kNumOverflow;
    }
    int s = a.scale > b.scale ? a.scale : b.scale;
    if (s > 38) s = 38;
    // Operands of scale above 38 cannot occur (numeric_set caps them).
    U256 x = widen(a, s), y = widen(b, s);
    U256 r;
    bool neg;
    if (a.neg == b.neg) {
        r.lo = x.lo + y.lo;
        r.hi = x.hi + y.hi + (r.lo < x.lo ? 1 : 0);
        neg = a.neg;
    } else if (u256_less(x, y)) {
        r.lo = y.lo - x.lo;
        r.hi = y.hi - x.hi - (y.lo < x.lo ? 1 : 0);
        neg = b.neg;
    } else {
        r.lo = x.lo - y.lo;
        r.hi = x.hi - y.hi - (x.lo < y.lo ? 1 : 0);
        neg = a.neg;
    }
    return reduce(r, s, neg, out) ? kNumOk : kNumOverflow;
}

int cmp_dec(const Dec &a, const Dec &b) {
    bool az = a.mag == 0, bz = b.mag == 0;
    bool an = a.neg && !az, bn = b.neg && !bz;
    if (an != bn) return an ? -1 : 1;
    if (a.scale == b.scale) {
        int c = a.mag < b.mag ? -1 : (a.mag > b.mag ? 1 : 0);
        return an ? -c : c;
    }
    int s = a.scale > b.scale ? a.scale : b.scale;
    U256 x = widen(a, s), y = widen(b, s);
    int c = u256_less(x, y) ? -1 : (u256_less(y, x) ? 1 : 0);
    return an ? -c : c;
}


// The plain form almost every number a provider sends has: digits, an
// optional point and digits, 18 digits at most and no exponent. It is read
// in 64 bits and rounded to `scale` with 64-bit divisions, giving exactly
// what the general reading below gives. False when the text has another
// form (the caller reads it the general way); `p` is past the sign.
bool read_plain_decimal(const char *p, bool neg, int precision, int scale, SQL_NUMERIC_STRUCT *out,
                        int *rc) {
    const char *start = p;
    while (*p == '0') p++;
    uint64_t mag = 0;
    int digits = 0, frac = 0;
    bool any = p != start || (*p >= '0' && *p <= '9');
    for (; *p >= '0' && *p <= '9'; p++, digits++) mag = mag * 10 + static_cast<unsigned>(*p - '0');
    if (*p == '.') {
        p++;
        for (; *p >= '0' && *p <= '9'; p++, frac++) mag = mag * 10 + static_cast<unsigned>(*p - '0');
        any = any || frac > 0;
    }
    if (!any || digits + frac > 18 || *p == 'e' || *p == 'E') return false;
    if (scale < 0 && precision <= 0) {
        *rc = numeric_set(out, mag, neg, 0, frac);
        return true;
    }
    const int target = scale < 0 ? frac : (scale > 38 ? 38 : scale);
    u128 r;
    if (target >= frac) {
        if (target - frac > 20) return false;
        r = static_cast<u128>(mag) * kPow10.v[target - frac];
    } else {
        const auto unit = static_cast<uint64_t>(kPow10.v[frac - target]);
        uint64_t q = mag / unit, rem = mag % unit;
        if (rem * 2 >= unit) q += 1;
        r = q;
    }
    if (r > kMaxMagnitude || (precision > 0 && precision < 38 && r >= kPow10.v[precision])) {
        *rc = kNumOverflow;
        return true;
    }
    *rc = numeric_set(out, r, neg, precision > 0 ? precision : 0, target);
    return true;
}

}  // namespace

NumMagnitude numeric_magnitude(const SQL_NUMERIC_STRUCT *n) {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "val is little-endian like the host");
    u128 m;
    std::memcpy(&m, n->val, sizeof m);
    return m;
}

int numeric_set(SQL_NUMERIC_STRUCT *out, NumMagnitude magnitude, bool negative, int precision,
                int scale) {
    if (magnitude > kMaxMagnitude) return kNumOverflow;
    if (scale > 127) scale = 127;
    if (scale < -127) scale = -127;
    if (precision <= 0) {
        const int digits = digit_count(magnitude);  // only a precision not given needs them
        precision = digits > scale ? digits : (scale > 0 ? scale : 1);
    }
    if (precision > 38) precision = 38;
    out->precision = static_cast<SQLCHAR>(precision);
    out->scale = static_cast<SQLSCHAR>(scale);
    out->sign = (negative && magnitude != 0) ? 0 : 1;
    std::memcpy(out->val, &magnitude, sizeof magnitude);
    return kNumOk;
}

int numeric_rescale(const SQL_NUMERIC_STRUCT *n, int precision, int scale, SQL_NUMERIC_STRUCT *out) {
    Dec d;
    if (!load(n, &d)) return kNumOverflow;
    if (scale < 0) scale = d.scale;
    if (scale > 38) scale = 38;
    Dec r;
    if (scale >= d.scale) {
        U256 m = mul128(d.mag, kPow10.v[scale - d.scale]);
        if (m.hi != 0 || m.lo > kMaxMagnitude) return kNumOverflow;
        r = Dec{m.lo, scale, d.neg};
    } else {
        int drop = d.scale - scale;
        u128 q = d.mag / kPow10.v[drop], rem = d.mag % kPow10.v[drop];
        if (rem * 2 >= kPow10.v[drop]) q += 1;
        r = Dec{q, scale, d.neg};
    }
    if (precision > 0 && precision < 38 && r.mag >= kPow10.v[precision]) return kNumOverflow;
    return numeric_set(out, r.mag, r.neg, precision > 0 ? precision : 0, r.scale);
}

int int_to_numeric(int64_t v, SQL_NUMERIC_STRUCT *out, int precision, int scale) {
    if (scale < 0) scale = 0;
    if (scale > 38) return kNumOverflow;
    u128 m = v < 0 ? static_cast<u128>(-(v + 1)) + 1 : static_cast<u128>(v);
    U256 w = mul128(m, kPow10.v[scale]);
    if (w.hi != 0 || w.lo > kMaxMagnitude) return kNumOverflow;
    if (precision > 0 && precision < 38 && w.lo >= kPow10.v[precision]) return kNumOverflow;
    return numeric_set(out, w.lo, v < 0, precision, scale);
}

int bigint_to_numeric(int64_t v, SQL_NUMERIC_STRUCT *out, int precision, int scale) {
    return int_to_numeric(v, out, precision, scale);
}

int string_to_numeric(const char *text, SQL_NUMERIC_STRUCT *out, int precision, int scale) {
    std::memset(out, 0, sizeof *out);
    out->sign = 1;
    out->precision = 1;
    if (!text) return kNumBadText;
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') p++;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = *p++ == '-';
    int plain_rc = kNumOk;
    if (read_plain_decimal(p, neg, precision, scale, out, &plain_rc)) return plain_rc;
    u128 mag = 0;
    int digits = 0;      // significant digits kept
    int frac = 0;        // digits kept after the point
    int dropped_int = 0; // integer digits beyond 38 significant ones (overflow)
    bool any = false;
    bool round_up = false, rounding_decided = false;
    for (; *p >= '0' && *p <= '9'; p++) {
        any = true;
        if (mag == 0 && *p == '0') continue;
        if (digits < 38) {
            mag = mag * 10 + static_cast<unsigned>(*p - '0');
            digits++;
        } else {
            dropped_int++;
        }
    }
    if (*p == '.') {
        p++;
        for (; *p >= '0' && *p <= '9'; p++) {
            any = true;
            if (digits < 38 && frac < 38) {
                mag = mag * 10 + static_cast<unsigned>(*p - '0');
                if (mag != 0) digits++;
                frac++;
            } else if (!rounding_decided) {
                round_up = *p >= '5';
                rounding_decided = true;
            }
        }
    }
    if (!any) return kNumBadText;
    if (dropped_int > 0) return kNumOverflow;
    int exp = 0;
    if ((*p == 'e' || *p == 'E') &&
        ((p[1] >= '0' && p[1] <= '9') ||
         ((p[1] == '+' || p[1] == '-') && p[2] >= '0' && p[2] <= '9'))) {
        p++;
        bool eneg = false;
        if (*p == '+' || *p == '-') eneg = *p++ == '-';
        for (; *p >= '0' && *p <= '9'; p++)
            if (exp < 1000) exp = exp * 10 + (*p - '0');
        if (eneg) exp = -exp;
    }
    if (round_up) {
        mag += 1;
        if (mag > kMaxMagnitude) {
            mag /= 10;
            frac--;
        }
    }
    int s = frac - exp;  // value = mag * 10^-s
    SQL_NUMERIC_STRUCT tmp;
    if (s < 0) {
        if (-s > 38) return mag == 0 ? numeric_set(out, 0, false, precision, 0) : kNumOverflow;
        U256 w = mul128(mag, kPow10.v[-s]);
        if (w.hi != 0 || w.lo > kMaxMagnitude) return kNumOverflow;
        mag = w.lo;
        s = 0;
    }
    if (s > 38) {
        // Tiny values: drop digits below 10^-38 with rounding.
        U256 w{0, mag};
        Dec d;
        int keep = 38;
        while (s > keep) {
            u128 rem;
            w = divmod256(w, 10, &rem);
            if (s - 1 == keep && rem >= 5) w.lo += 1;
            s--;
        }
        (void)reduce(w, s, neg, &d);
        mag = d.mag;
    }
    if (numeric_set(&tmp, mag, neg, 0, s) != kNumOk) return kNumOverflow;
    if (scale < 0 && precision <= 0) {
        *out = tmp;
        return kNumOk;
    }
    return numeric_rescale(&tmp, precision, scale < 0 ? s : scale, out);
}

int double_to_numeric(double d, SQL_NUMERIC_STRUCT *out, int precision, int scale) {
    if (!std::isfinite(d)) return kNumOverflow;
    char buf[64];
    for (int digits = 15; digits <= 17; digits++) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, d);
        if (std::strtod(buf, nullptr) == d) break;
    }
    return string_to_numeric(buf, out, precision, scale);
}

namespace {

// numeric_to_string's text of a magnitude that fits 64 bits at a scale of 0
// to 38 (every amount a provider sends), written backwards from `end` in one
// pass: the fraction's digits (zeros where the magnitude has none left), the
// point, the integer digits ("0" when there are none), the sign. The start.
char *plain_numeric_text(uint64_t m, int scale, bool negative, char *end) {
    char *p = end;
    if (scale > 0) {
        for (int k = 0; k < scale; k++) {
            *--p = static_cast<char>('0' + m % 10);
            m /= 10;
        }
        *--p = '.';
    }
    while (m >= 100) {
        p -= 2;
        std::memcpy(p, &kDigitPairs[2 * (m % 100)], 2);
        m /= 100;
    }
    if (m >= 10) {
        p -= 2;
        std::memcpy(p, &kDigitPairs[2 * m], 2);
    } else {
        *--p = static_cast<char>('0' + m);
    }
    if (negative) *--p = '-';
    return p;
}

}  // namespace

size_t decimal_text_at_scale(const char *text, size_t length, int precision, int scale, char *out,
                             size_t capacity) {
    if (scale < 0 || scale > 18) return 0;
    const char *p = text, *end = text + length;
    const bool negative = p < end && *p == '-';
    if (negative) p++;
    const char *digits = p;
    while (p < end && *p >= '0' && *p <= '9') p++;
    const auto whole = static_cast<size_t>(p - digits);
    if (whole == 0 || (whole > 1 && digits[0] == '0')) return 0;
    const char *fraction = p;
    size_t fraction_digits = 0;
    if (p < end && *p == '.') {
        fraction = ++p;
        while (p < end && *p >= '0' && *p <= '9') p++;
        fraction_digits = static_cast<size_t>(p - fraction);
        if (fraction_digits == 0) return 0;
    }
    const size_t scaled = whole + static_cast<size_t>(scale);
    if (p != end || fraction_digits > static_cast<size_t>(scale) || scaled > 18 ||
        (precision > 0 && scaled > static_cast<size_t>(precision)))
        return 0;
    if (negative) {
        // "-0.00" prints without its sign: left to the general path.
        bool zero = whole == 1 && digits[0] == '0';
        for (size_t i = 0; zero && i < fraction_digits; i++) zero = fraction[i] == '0';
        if (zero) return 0;
    }
    const size_t size = (negative ? 1 : 0) + whole + (scale > 0 ? 1 + static_cast<size_t>(scale) : 0);
    if (size >= capacity) return 0;
    char *o = out;
    if (negative) *o++ = '-';
    std::memcpy(o, digits, whole);
    o += whole;
    if (scale > 0) {
        *o++ = '.';
        std::memcpy(o, fraction, fraction_digits);
        std::memset(o + fraction_digits, '0', static_cast<size_t>(scale) - fraction_digits);
        o += scale;
    }
    *o = 0;
    return size;
}

int numeric_to_string(const SQL_NUMERIC_STRUCT *n, char *out, size_t capacity, size_t *length) {
    if (numeric_magnitude(n) <= UINT64_MAX && n->scale >= 0 && n->scale <= 38) {
        const auto m = static_cast<uint64_t>(numeric_magnitude(n));
        char text[64];  // 38 fraction digits, the point, 20 integer digits, the sign
        char *end = text + sizeof text;
        const char *start = plain_numeric_text(m, n->scale, n->sign != 1 && m != 0, end);
        const auto len = static_cast<size_t>(end - start);
        if (length) *length = len;
        if (!out || capacity == 0) return len > 0 ? 1 : 0;
        size_t copy = len < capacity ? len : capacity - 1;
        std::memcpy(out, start, copy);
        out[copy] = 0;
        return copy < len ? 1 : 0;
    }
    // The digits, most significant first, end at digits[kEnd]. A 128-bit
    // division is a library call: only the digits above 64 bits take one,
    // the rest (all of every amount a provider sends) come two a step from
    // 64-bit divisions, which the compiler turns into multiplications.
    constexpr int kEnd = 48;
    char digits[kEnd];
    const u128 magnitude = numeric_magnitude(n);
    u128 m = magnitude;
    int at = kEnd;
    while (m > UINT64_MAX) {
        digits[--at] = static_cast<char>('0' + static_cast<int>(m % 10));
        m /= 10;
    }
    auto small = static_cast<uint64_t>(m);
    while (small >= 100) {
        at -= 2;
        std::memcpy(&digits[at], &kDigitPairs[2 * (small % 100)], 2);
        small /= 100;
    }
    if (small >= 10) {
        at -= 2;
        std::memcpy(&digits[at], &kDigitPairs[2 * small], 2);
    } else {
        digits[--at] = static_cast<char>('0' + small);
    }
    const char *d = &digits[at];
    const int nd = kEnd - at;
    char text[200];
    size_t len = 0;
    int scale = n->scale;
    bool neg = n->sign != 1 && magnitude != 0;
    if (neg) text[len++] = '-';
    auto put = [&](const char *from, int count) {
        std::memcpy(&text[len], from, static_cast<size_t>(count));
        len += static_cast<size_t>(count);
    };
    if (scale <= 0) {
        put(d, nd);
        if (!(nd == 1 && d[0] == '0'))
            for (int i = 0; i < -scale; i++) text[len++] = '0';
    } else {
        int int_digits = nd - scale;
        if (int_digits <= 0) {
            text[len++] = '0';
        } else {
            put(d, int_digits);
        }
        text[len++] = '.';
        for (int i = 0; i < -int_digits; i++) text[len++] = '0';
        // The fraction: the last `scale` digits, or all of them (after the
        // zeros) when there are no more.
        if (int_digits < 0) put(d, nd);
        else put(d + int_digits, scale);
    }
    text[len] = 0;
    if (length) *length = len;
    if (!out || capacity == 0) return len > 0 ? 1 : 0;
    size_t copy = len < capacity ? len : capacity - 1;
    std::memcpy(out, text, copy);
    out[copy] = 0;
    return copy < len ? 1 : 0;
}

double numeric_to_double(const SQL_NUMERIC_STRUCT *n) {
    char buf[200];
    (void)numeric_to_string(n, buf, sizeof buf, nullptr);
    return std::strtod(buf, nullptr);
}

int numeric_to_bigint(const SQL_NUMERIC_STRUCT *n, int64_t *out) {
    Dec d;
    if (!load(n, &d)) return kNumOverflow;
    u128 m = d.mag / kPow10.v[d.scale];
    const u128 lim = static_cast<u128>(INT64_MAX) + (d.neg ? 1 : 0);
    if (m > lim) return kNumOverflow;
    *out = d.neg ? static_cast<int64_t>(-static_cast<__int128>(m)) : static_cast<int64_t>(m);
    return kNumOk;
}

int numeric_to_int(const SQL_NUMERIC_STRUCT *n, int32_t *out) {
    int64_t v;
    if (numeric_to_bigint(n, &v) != kNumOk || v < INT32_MIN || v > INT32_MAX) return kNumOverflow;
    *out = static_cast<int32_t>(v);
    return kNumOk;
}

bool numeric_is_zero(const SQL_NUMERIC_STRUCT *n) { return numeric_magnitude(n) == 0; }

int numeric_compare(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b) {
    Dec x, y;
    if (load(a, &x) && load(b, &y)) return cmp_dec(x, y);
    // Out-of-range structures (huge negative scales) compare as doubles.
    double p = numeric_to_double(a), q = numeric_to_double(b);
    return p < q ? -1 : (p > q ? 1 : 0);
}

int numeric_add(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b, SQL_NUMERIC_STRUCT *out) {
    Dec x, y, r;
    if (!load(a, &x) || !load(b, &y)) return kNumOverflow;
    int rc = add_dec(x, y, &r);
    return rc == kNumOk ? to_struct(r, out) : rc;
}

int numeric_sub(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b, SQL_NUMERIC_STRUCT *out) {
    Dec x, y, r;
    if (!load(a, &x) || !load(b, &y)) return kNumOverflow;
    y.neg = !y.neg;
    int rc = add_dec(x, y, &r);
    return rc == kNumOk ? to_struct(r, out) : rc;
}

int numeric_mul(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b, SQL_NUMERIC_STRUCT *out) {
    Dec x, y;
    if (!load(a, &x) || !load(b, &y)) return kNumOverflow;
    U256 p = mul128(x.mag, y.mag);
    Dec r;
    if (!reduce(p, x.scale + y.scale, x.neg != y.neg, &r)) return kNumOverflow;
    return to_struct(r, out);
}

int numeric_div(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b, SQL_NUMERIC_STRUCT *out) {
    Dec x, y;
    if (!load(a, &x) || !load(b, &y)) return kNumOverflow;
    if (y.mag == 0) return kNumDivZero;
    int rs = 6;
    if (x.scale > rs) rs = x.scale;
    if (y.scale > rs) rs = y.scale;
    if (rs > 38) rs = 38;
    // q = x.mag * 10^(rs + y.scale - x.scale) / y.mag, at scale rs. One
    // extra digit is computed for rounding.
    int k = rs + y.scale - x.scale + 1;
    U256 num;
    u128 den = y.mag;
    if (k >= 0) {
        if (k > 38) {
            num = mul128(x.mag, kPow10.v[38]);
            // k up to 77 is possible only with scales near 38; shift the rest
            // into the divisor side is not exact, so reduce the result scale.
            rs -= k - 38;
            k = 38;
            if (rs < 0) return kNumOverflow;
        } else {
            num = mul128(x.mag, kPow10.v[k]);
        }
    } else {
        U256 d = mul128(den, kPow10.v[-k]);
        if (d.hi != 0) {
            *out = SQL_NUMERIC_STRUCT{};
            return numeric_set(out, 0, false, 0, rs);
        }
        den = d.lo;
        num = U256{0, x.mag};
    }
    u128 rem;
    U256 q = divmod256(num, den, &rem);
    // Drop the extra digit with half-up rounding.
    u128 r10;
    q = divmod256(q, 10, &r10);
    if (r10 >= 5) {
        u128 old = q.lo;
        q.lo += 1;
        if (q.lo < old) q.hi += 1;
    }
    Dec r;
    if (!reduce(q, rs, x.neg != y.neg, &r)) return kNumOverflow;
    return to_struct(r, out);
}

void numeric_negate(SQL_NUMERIC_STRUCT *n) { n->sign = n->sign == 1 ? 0 : 1; }

int add_numeric(SQL_NUMERIC_STRUCT *acc, const SQL_NUMERIC_STRUCT *n) {
    SQL_NUMERIC_STRUCT r;
    int rc = numeric_add(acc, n, &r);
    if (rc == kNumOk) *acc = r;
    return rc;
}

namespace {

// An operand of numeric_operation as a numeric. Returns false for a kind
// that has no numeric reading.
bool operand_numeric(const Value *v, SQL_NUMERIC_STRUCT *out) {
    switch (v->type) {
    case VT_NUMERIC:
        *out = v->data.num;
        return true;
    case VT_INTEGER:
    case VT_BIT:
        return int_to_numeric(v->data.i, out, 0, 0) == kNumOk;
    case VT_BIGINT:
        return int_to_numeric(v->data.big, out, 0, 0) == kNumOk;
    case VT_DOUBLE:
        return double_to_numeric(v->data.d, out, 0, -1) == kNumOk;
    case VT_CHAR:
        return string_to_numeric(v->data.s, out, 0, -1) != kNumOverflow;
    default:
        return false;
    }
}

}  // namespace

int numeric_operation(const Value *left, const Value *right, Value *result, ErrorHeader *diag,
                      int code) {
    bool compare = code >= OP_LT && code <= OP_NE;
    if (left->is_null || right->is_null) {
        result->type = compare ? VT_BIT : VT_NUMERIC;
        result->is_null = -1;
        if (compare) set_trivalue_in_value(result, kUnknown);
        return 0;
    }
    SQL_NUMERIC_STRUCT a, b;
    if (!operand_numeric(left, &a) || !operand_numeric(right, &b)) {
        post_error(diag, "22003", "Numeric value out of range");
        return -1;
    }
    if (compare) {
        int c = numeric_compare(&a, &b);
        bool t = false;
        switch (code) {
        case OP_LT: t = c < 0; break;
        case OP_GT: t = c > 0; break;
        case OP_GE: t = c >= 0; break;
        case OP_LE: t = c <= 0; break;
        case OP_EQ: t = c == 0; break;
        default: t = c != 0; break;
        }
        set_trivalue_in_value(result, t ? kTrue : kFalse);
        return 0;
    }
    SQL_NUMERIC_STRUCT r;
    int rc;
    switch (code) {
    case OP_ADD: rc = numeric_add(&a, &b, &r); break;
    case OP_SUB: rc = numeric_sub(&a, &b, &r); break;
    case OP_MUL: rc = numeric_mul(&a, &b, &r); break;
    case OP_DIV: rc = numeric_div(&a, &b, &r); break;
    default:
        post_error(diag, "HY000", "General error: %s", "unsupported numeric operation");
        return -1;
    }
    if (rc == kNumDivZero) {
        post_error(diag, "22012", "Division by zero");
        return -1;
    }
    if (rc != kNumOk) {
        post_error(diag, "22003", "Numeric value out of range");
        return -1;
    }
    result->type = VT_NUMERIC;
    result->is_null = 0;
    result->data.num = r;
    result->precision = r.precision;
    result->scale = r.scale;
    return 0;
}
