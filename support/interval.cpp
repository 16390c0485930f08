// Interval values (see interval.h).
#include "support/interval.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "support/text.h"

#include "support/value.h"
#include "support/calendar.h"
#include "support/diag.h"
#include "support/value_ops.h"

namespace {

constexpr __int128 kNsSecond = 1000000000;
constexpr __int128 kNsMinute = kNsSecond * 60;
constexpr __int128 kNsHour = kNsMinute * 60;
constexpr __int128 kNsDay = kNsHour * 24;

// Leading field of a code: 1 year, 2 month, 3 day, 4 hour, 5 minute, 6 second.
int leading_field(int code) {
    switch (code) {
    case 1: case 7: return 1;
    case 2: return 2;
    case 3: case 8: case 9: case 10: return 3;
    case 4: case 11: case 12: return 4;
    case 5: case 13: return 5;
    default: return 6;
    }
}

__int128 field_unit_nanos(int field) {
    switch (field) {
    case 3: return kNsDay;
    case 4: return kNsHour;
    case 5: return kNsMinute;
    default: return kNsSecond;
    }
}

}  // namespace

bool interval_is_year_month(int code) { return code == 1 || code == 2 || code == 7; }
bool interval_code_valid(int code) { return code >= 1 && code <= 13; }

int64_t interval_total_months(const SQL_INTERVAL_STRUCT *iv) {
    int64_t m = static_cast<int64_t>(iv->intval.year_month.year) * 12 + iv->intval.year_month.month;
    return iv->interval_sign == SQL_TRUE ? -m : m;
}

__int128 interval_total_nanos(const SQL_INTERVAL_STRUCT *iv) {
    const SQL_DAY_SECOND_STRUCT &d = iv->intval.day_second;
    __int128 n = d.day * kNsDay + d.hour * kNsHour + d.minute * kNsMinute + d.second * kNsSecond +
                 d.fraction;
    return iv->interval_sign == SQL_TRUE ? -n : n;
}

int interval_from_months(int code, int64_t months, SQL_INTERVAL_STRUCT *out) {
    SQL_INTERVAL_STRUCT r{};
    r.interval_type = static_cast<SQLINTERVAL>(code);
    r.interval_sign = months < 0 ? SQL_TRUE : SQL_FALSE;
    uint64_t m = months < 0 ? 0 - static_cast<uint64_t>(months) : static_cast<uint64_t>(months);
    if (code == 2) {
        if (m > static_cast<uint64_t>(kMaxIntervalLeading)) return -1;
        r.intval.year_month.month = static_cast<SQLUINTEGER>(m);
    } else {
        if (m / 12 > static_cast<uint64_t>(kMaxIntervalLeading)) return -1;
        r.intval.year_month.year = static_cast<SQLUINTEGER>(m / 12);
        // A YEAR interval keeps whole years only.
        r.intval.year_month.month = code == 1 ? 0 : static_cast<SQLUINTEGER>(m % 12);
    }
    *out = r;
    return 0;
}

int interval_from_nanos(int code, __int128 nanos, SQL_INTERVAL_STRUCT *out) {
    SQL_INTERVAL_STRUCT r{};
    r.interval_type = static_cast<SQLINTERVAL>(code);
    r.interval_sign = nanos < 0 ? SQL_TRUE : SQL_FALSE;
    __int128 n = nanos < 0 ? -nanos : nanos;
    int lead = leading_field(code);
    __int128 unit = field_unit_nanos(lead);
    __int128 lead_value = n / unit;
    if (lead_value > kMaxIntervalLeading) return -1;
    __int128 rest = n % unit;
    SQL_DAY_SECOND_STRUCT &d = r.intval.day_second;
    // Lower fields the code does not carry are dropped.
    bool has_seconds = code == 6 || code == 10 || code == 12 || code == 13;
    bool has_minutes = code == 5 || code == 9 || code == 10 || code == 11 || code == 12 || code == 13;
    bool has_hours = code == 4 || code == 8 || code == 9 || code == 10 || code == 11 || code == 12;
    switch (lead) {
    case 3: d.day = static_cast<SQLUINTEGER>(lead_value); break;
    case 4: d.hour = static_cast<SQLUINTEGER>(lead_value); break;
    case 5: d.minute = static_cast<SQLUINTEGER>(lead_value); break;
    default: d.second = static_cast<SQLUINTEGER>(lead_value); break;
    }
    if (lead < 4 && has_hours) d.hour = static_cast<SQLUINTEGER>(rest / kNsHour);
    rest %= kNsHour;
    if (lead < 5 && has_minutes) d.minute = static_cast<SQLUINTEGER>(rest / kNsMinute);
    rest %= kNsMinute;
    if (lead < 6 && has_seconds) d.second = static_cast<SQLUINTEGER>(rest / kNsSecond);
    rest %= kNsSecond;
    if (has_seconds) d.fraction = static_cast<SQLUINTEGER>(rest);
    *out = r;
    return 0;
}

int interval_compare(const SQL_INTERVAL_STRUCT *a, const SQL_INTERVAL_STRUCT *b, int *out) {
    bool ya = interval_is_year_month(a->interval_type), yb = interval_is_year_month(b->interval_type);
    if (ya != yb) return -1;
    if (ya) {
        int64_t x = interval_total_months(a), y = interval_total_months(b);
        *out = x < y ? -1 : (x > y ? 1 : 0);
    } else {
        __int128 x = interval_total_nanos(a), y = interval_total_nanos(b);
        *out = x < y ? -1 : (x > y ? 1 : 0);
    }
    return 0;
}

const char *interval_qualifier_text(int code) {
    static const char *const kNames[14] = {"",
                                           "YEAR",
                                           "MONTH",
                                           "DAY",
                                           "HOUR",
                                           "MINUTE",
                                           "SECOND",
                                           "YEAR TO MONTH",
                                           "DAY TO HOUR",
                                           "DAY TO MINUTE",
                                           "DAY TO SECOND",
                                           "HOUR TO MINUTE",
                                           "HOUR TO SECOND",
                                           "MINUTE TO SECOND"};
    return code >= 1 && code <= 13 ? kNames[code] : "";
}

size_t interval_as_text(const SQL_INTERVAL_STRUCT *iv, char *out, size_t capacity) {
    char buf[96];
    char frac[16] = "";
    const SQL_DAY_SECOND_STRUCT &d = iv->intval.day_second;
    const char *sign = iv->interval_sign == SQL_TRUE ? "-" : "";
    if (d.fraction != 0 && d.fraction <= 999999999u) {
        std::snprintf(frac, sizeof frac, ".%09u", static_cast<unsigned>(d.fraction));
        size_t n = std::strlen(frac);
        while (n > 1 && frac[n - 1] == '0') frac[--n] = 0;
    }
    unsigned y = iv->intval.year_month.year, mo = iv->intval.year_month.month;
    int len;
    switch (static_cast<int>(iv->interval_type)) {
    case 1: len = std::snprintf(buf, sizeof buf, "%s%u", sign, y); break;
    case 2: len = std::snprintf(buf, sizeof buf, "%s%u", sign, mo); break;
    case 7: len = std::snprintf(buf, sizeof buf, "%s%u-%02u", sign, y, mo); break;
    case 3: len = std::snprintf(buf, sizeof buf, "%s%u", sign, d.day); break;
    case 4: len = std::snprintf(buf, sizeof buf, "%s%u", sign, d.hour); break;
    case 5: len = std::snprintf(buf, sizeof buf, "%s%u", sign, d.minute); break;
    case 6: len = std::snprintf(buf, sizeof buf, "%s%u%s", sign, d.second, frac); break;
    case 8: len = std::snprintf(buf, sizeof buf, "%s%u %02u", sign, d.day, d.hour); break;
    case 9:
        len = std::snprintf(buf, sizeof buf, "%s%u %02u:%02u", sign, d.day, d.hour, d.minute);
        break;
    case 10:
        len = std::snprintf(buf, sizeof buf, "%s%u %02u:%02u:%02u%s", sign, d.day, d.hour, d.minute,
                            d.second, frac);
        break;
    case 11: len = std::snprintf(buf, sizeof buf, "%s%u:%02u", sign, d.hour, d.minute); break;
    case 12:
        len = std::snprintf(buf, sizeof buf, "%s%u:%02u:%02u%s", sign, d.hour, d.minute, d.second,
                            frac);
        break;
    case 13: len = std::snprintf(buf, sizeof buf, "%s%u:%02u%s", sign, d.minute, d.second, frac); break;
    default: len = std::snprintf(buf, sizeof buf, "%s", "");
    }
    size_t n = len < 0 ? 0 : static_cast<size_t>(len);
    (void)copy_text_out(std::string_view(buf, n), out, capacity);
    return n;
}

namespace {

// The combined code of two intervals under + and - (type rules 6 and 7).
int combined_code(int l, int r) {
    if (interval_is_year_month(r)) {
        if (l == 1) return r == 1 ? 1 : 7;
        if (l == 2) return r == 2 ? 2 : 7;
        return 7;
    }
    if (l == r) return r;
    switch (l) {
    case 5: case 6: case 13: return 13;
    case 12: return 12;
    default: return 10;
    }
}

int fail(ErrorHeader *diag, const char *state, const char *msg) {
    post_error(diag, state, "%s", msg);
    return -1;
}

int set_interval_result(Value *result, const SQL_INTERVAL_STRUCT &iv) {
    set_value_to_interval(result, &iv);
    return 0;
}

// Moves a timestamp by an interval (sign applied). Returns 0 or -1.
int move_timestamp(TIMESTAMP_STRUCT *ts, const SQL_INTERVAL_STRUCT *iv, int sign) {
    if (interval_is_year_month(iv->interval_type))
        return timestamp_add_months(ts, sign * interval_total_months(iv));
    __int128 ns = sign * interval_total_nanos(iv);
    __int128 secs = ns / kNsSecond, rest = ns % kNsSecond;
    if (secs > INT64_MAX / 2 || secs < INT64_MIN / 2) return -1;
    return timestamp_add_seconds(ts, static_cast<int64_t>(secs), static_cast<int64_t>(rest));
}

}  // namespace

int interval_operation(const Value *a, const Value *b, Value *result, ErrorHeader *diag, int code) {
    bool compare = code >= OP_LT && code <= OP_NE;
    if ((a && a->is_null) || b->is_null) {
        result->type = compare ? VT_BIT : (a && !is_interval_value_type(a->type) &&
                                                   (a->type == VT_DATE || a->type == VT_TIME ||
                                                    a->type == VT_TIMESTAMP)
                                               ? a->type
                                               : b->type);
        result->is_null = -1;
        if (compare) set_trivalue_in_value(result, kUnknown);
        return 0;
    }
    const SQL_INTERVAL_STRUCT *ib = &b->data.iv;
    int bc = ib->interval_type;
    if (!is_interval_value_type(b->type) || !interval_code_valid(bc))
        return fail(diag, "HY000", "General error: invalid interval operand");
    if (code == OP_NEG) {
        SQL_INTERVAL_STRUCT r = *ib;
        r.interval_sign = r.interval_sign == SQL_TRUE ? SQL_FALSE : SQL_TRUE;
        return set_interval_result(result, r);
    }
    if (!a) return fail(diag, "HY000", "General error: missing interval operand");
    if (compare) {
        if (!is_interval_value_type(a->type))
            return fail(diag, "HY000", "General error: interval compared with a non-interval");
        int c;
        if (interval_compare(&a->data.iv, ib, &c) != 0)
            return fail(diag, "HY000", "General error: year-month and day-time intervals compared");
        bool t = code == OP_LT ? c < 0 : code == OP_GT ? c > 0 : code == OP_GE ? c >= 0
                 : code == OP_LE ? c <= 0 : code == OP_EQ ? c == 0 : c != 0;
        set_trivalue_in_value(result, t ? kTrue : kFalse);
        return 0;
    }
    bool ym = interval_is_year_month(bc);
    if (is_interval_value_type(a->type)) {
        const SQL_INTERVAL_STRUCT *ia = &a->data.iv;
        if (interval_is_year_month(ia->interval_type) != ym)
            return fail(diag, "HY000", "General error: year-month and day-time intervals mixed");
        if (code != OP_ADD && code != OP_SUB)
            return fail(diag, "HY000", "General error: unsupported interval operation");
        int rc = combined_code(ia->interval_type, bc);
        int s = code == OP_SUB ? -1 : 1;
        SQL_INTERVAL_STRUCT r;
        int bad = ym ? interval_from_months(rc, interval_total_months(ia) + s * interval_total_months(ib), &r)
                     : interval_from_nanos(rc, interval_total_nanos(ia) + s * interval_total_nanos(ib), &r);
        if (bad) return fail(diag, "22015", "Interval field overflow");
        r.interval_type = static_cast<SQLINTERVAL>(rc);
        return set_interval_result(result, r);
    }
    if (a->type == VT_DATE || a->type == VT_TIME || a->type == VT_TIMESTAMP) {
        if (code != OP_ADD && code != OP_SUB)
            return fail(diag, "HY000", "General error: unsupported interval operation");
        int s = code == OP_SUB ? -1 : 1;
        TIMESTAMP_STRUCT ts{};
        if (a->type == VT_DATE) {
            ts.year = a->data.date.year;
            ts.month = a->data.date.month;
            ts.day = a->data.date.day;
        } else if (a->type == VT_TIME) {
            ts.year = 2000;
            ts.month = 1;
            ts.day = 1;
            ts.hour = a->data.time.hour;
            ts.minute = a->data.time.minute;
            ts.second = a->data.time.second;
        } else {
            ts = a->data.ts;
        }
        if (a->type == VT_TIME) {
            // A time of day wraps around midnight.
            __int128 ns = interval_total_nanos(ib) * s;
            if (ym) ns = 0;
            __int128 day_ns = ns % kNsDay;
            if (timestamp_add_seconds(&ts, static_cast<int64_t>(day_ns / kNsSecond), 0) != 0)
                return fail(diag, "22008", "Datetime field overflow");
        } else if (move_timestamp(&ts, ib, s) != 0) {
            return fail(diag, "22008", "Datetime field overflow");
        }
        result->is_null = 0;
        result->type = a->type;
        if (a->type == VT_DATE) {
            result->data.date = DATE_STRUCT{ts.year, ts.month, ts.day};
        } else if (a->type == VT_TIME) {
            result->data.time = TIME_STRUCT{ts.hour, ts.minute, ts.second};
        } else {
            result->data.ts = ts;
        }
        return 0;
    }
    int64_t n;
    if (get_bigint_from_value(a, &n) != 0)
        return fail(diag, "HY000", "General error: unsupported interval operand");
    if (code == OP_MUL || code == OP_DIV) {
        if (code == OP_DIV && n == 0) return fail(diag, "22012", "Division by zero");
        SQL_INTERVAL_STRUCT r;
        int bad;
        if (ym) {
            __int128 m = interval_total_months(ib);
            m = code == OP_MUL ? m * n : m / n;
            bad = m > INT64_MAX || m < -INT64_MAX ? -1 : interval_from_months(bc, static_cast<int64_t>(m), &r);
        } else {
            __int128 ns = interval_total_nanos(ib);
            bool over = code == OP_MUL && ns != 0 &&
                        (n > static_cast<int64_t>(1) << 40 || n < -(static_cast<int64_t>(1) << 40));
            ns = code == OP_MUL ? ns * n : ns / n;
            bad = over ? -1 : interval_from_nanos(bc, ns, &r);
        }
        if (bad) return fail(diag, "22015", "Interval field overflow");
        return set_interval_result(result, r);
    }
    // Integer +/- interval: n units of the interval's leading field.
    if (n > kMaxIntervalLeading || n < -kMaxIntervalLeading)
        return fail(diag, "22015", "Interval field overflow");
    SQL_INTERVAL_STRUCT r;
    int bad;
    if (ym) {
        int64_t unit = leading_field(bc) == 1 ? 12 : 1;
        int64_t total = code == OP_SUB ? n * unit - interval_total_months(ib)
                                       : n * unit + interval_total_months(ib);
        bad = interval_from_months(bc, total, &r);
    } else {
        __int128 unit = field_unit_nanos(leading_field(bc));
        __int128 total = code == OP_SUB ? n * unit - interval_total_nanos(ib)
                                        : n * unit + interval_total_nanos(ib);
        bad = interval_from_nanos(bc, total, &r);
    }
    if (bad) return fail(diag, "22015", "Interval field overflow");
    return set_interval_result(result, r);
}
