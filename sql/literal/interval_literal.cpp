// Interval string + qualifier -> SQL_INTERVAL_STRUCT (see interval_literal.h).
#include "sql/literal/interval_literal.h"

#include <cstring>

namespace {

struct Field {
    uint64_t value;
    int digits;  // digits as written (leading zeros included)
};

// Reads up to 18 digits; returns false when there are none or too many.
bool read_number(const char *&p, const char *end, Field *f) {
    const char *start = p;
    uint64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        if (p - start >= 18) return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        p++;
    }
    if (p == start) return false;
    f->value = v;
    f->digits = static_cast<int>(p - start);
    return true;
}

// Significant digits of a leading field (leading zeros do not count).
int significant(const Field &f) {
    int n = 0;
    for (uint64_t v = f.value; v; v /= 10) n++;
    return n ? n : 1;
}

}  // namespace

int build_interval_literal(bool negative, const char *string, size_t length, int code,
                           int leading_precision, int seconds_precision, SQL_INTERVAL_STRUCT *out) {
    if (code < 1 || code > 13 || !string) return -1;
    int lp = leading_precision > 0 ? leading_precision : kDefaultLeadingPrecision;
    int sp = seconds_precision >= 0 ? seconds_precision : kDefaultSecondsPrecision;
    if (lp > 9 || sp > 9) return -1;
    const char *p = string;
    const char *end = string + length;
    // Trim blanks around the string (LIT_QUOTE takes the space after the
    // opening quote; numbers take the space after them).
    while (p < end && *p == ' ') p++;
    while (end > p && end[-1] == ' ') end--;

    // Shape by qualifier: separators between fields.
    // fields: list of numbers; seps between them.
    Field f[4] = {};
    int nf = 0;
    char seps[3] = {0, 0, 0};
    Field frac{0, 0};
    bool has_frac = false;
    while (true) {
        if (!read_number(p, end, &f[nf])) return -1;
        nf++;
        if (p == end) break;
        char c = *p;
        if (c == '.') {
            p++;
            const char *fs = p;
            while (p < end && *p >= '0' && *p <= '9') p++;
            frac.digits = static_cast<int>(p - fs);
            if (frac.digits == 0 || frac.digits > 9) return -1;
            frac.value = 0;
            for (const char *q = fs; q < p; q++) frac.value = frac.value * 10 + static_cast<uint64_t>(*q - '0');
            has_frac = true;
            if (p != end) return -1;
            break;
        }
        if (c != '-' && c != ':' && c != ' ') return -1;
        if (nf == 4) return -1;  // at most four fields, three separators
        seps[nf - 1] = c;
        p++;
        if (c == ' ')
            while (p < end && *p == ' ') p++;
    }
    // Expected separator patterns per code (full form); a single number is
    // accepted for the leading field alone only for the day-led codes as
    // the grammar allows.
    const char *pattern;
    switch (code) {
    case 1: case 2: case 3: case 4: case 5: case 6: pattern = ""; break;
    case 7: pattern = "-"; break;
    case 8: pattern = " "; break;
    case 9: pattern = " :"; break;
    case 10: pattern = " ::"; break;
    case 11: pattern = ":"; break;
    case 12: pattern = "::"; break;
    default: pattern = ":"; break;  // 13
    }
    bool day_led = code == 8 || code == 9 || code == 10;
    bool shape_ok = static_cast<int>(std::strlen(pattern)) == nf - 1 &&
                    std::memcmp(seps, pattern, static_cast<size_t>(nf - 1)) == 0;
    if (!shape_ok && day_led && nf == 1) shape_ok = true;  // the leading field alone
    if (!shape_ok) return -1;
    bool seconds_last = code == 6 || code == 10 || code == 12 || code == 13;
    if (has_frac && (!seconds_last || (day_led && nf != 4) || (code != 6 && nf == 1))) return -1;
    if (has_frac) {
        // Significant digits of the fraction (trailing zeros do not count).
        int sig = frac.digits;
        uint64_t v = frac.value;
        while (sig > 0 && v % 10 == 0) {
            v /= 10;
            sig--;
        }
        if (sig > sp) return -1;
    }
    if (significant(f[0]) > lp) return -1;
    if (f[0].value > 999999999ULL) return -1;
    SQL_INTERVAL_STRUCT r{};
    r.interval_type = static_cast<SQLINTERVAL>(code);
    r.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
    uint32_t nanos = 0;
    if (has_frac) {
        uint64_t n = frac.value;
        for (int i = frac.digits; i < 9; i++) n *= 10;
        nanos = static_cast<uint32_t>(n);
    }
    auto v32 = [](const Field &x) { return static_cast<SQLUINTEGER>(x.value); };
    SQL_DAY_SECOND_STRUCT &d = r.intval.day_second;
    switch (code) {
    case 1: r.intval.year_month.year = v32(f[0]); break;
    case 2: r.intval.year_month.month = v32(f[0]); break;
    case 7:
        if (f[1].value > 11) return -1;
        r.intval.year_month.year = v32(f[0]);
        r.intval.year_month.month = v32(f[1]);
        break;
    case 3: d.day = v32(f[0]); break;
    case 4: d.hour = v32(f[0]); break;
    case 5: d.minute = v32(f[0]); break;
    case 6: d.second = v32(f[0]); d.fraction = nanos; break;
    case 8: case 9: case 10:
        d.day = v32(f[0]);
        if (nf > 1) {
            if (f[1].value > 23) return -1;
            d.hour = v32(f[1]);
        }
        if (nf > 2) {
            if (f[2].value > 59) return -1;
            d.minute = v32(f[2]);
        }
        if (nf > 3) {
            if (f[3].value > 59) return -1;
            d.second = v32(f[3]);
            d.fraction = nanos;
        }
        break;
    case 11: case 12:
        d.hour = v32(f[0]);
        if (f[1].value > 59) return -1;
        d.minute = v32(f[1]);
        if (code == 12) {
            if (f[2].value > 59) return -1;
            d.second = v32(f[2]);
            d.fraction = nanos;
        }
        break;
    default:  // 13
        d.minute = v32(f[0]);
        if (f[1].value > 59) return -1;
        d.second = v32(f[1]);
        d.fraction = nanos;
        break;
    }
    *out = r;
    return 0;
}
