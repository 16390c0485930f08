// Dates, times, timestamps and intervals, from their own kinds, from each
// other and from text in the literal forms.
#include <cstring>

#include "odbc/convert_internal.h"
#include "support/calendar.h"
#include "support/diag.h"
#include "support/interval.h"

namespace {

// A cursor over a text being parsed.
struct Scan {
    const char *s;
    size_t n;
    size_t i = 0;
    bool at(char c) const { return i < n && s[i] == c; }
    bool eat(char c) {
        if (!at(c)) return false;
        i++;
        return true;
    }
    void blanks() {
        while (i < n && (s[i] == ' ' || s[i] == '\t')) i++;
    }
    bool done() {
        blanks();
        return i == n;
    }
    // Up to nine decimal digits; false when there are none or too many.
    bool number(int64_t *out) {
        size_t start = i;
        int64_t v = 0;
        while (i < n && s[i] >= '0' && s[i] <= '9') {
            if (i - start == 9) return false;
            v = v * 10 + (s[i++] - '0');
        }
        *out = v;
        return i > start;
    }
    // Digits after a point as nanoseconds (digits past the ninth are dropped
    // and reported through `cut`).
    bool fraction(int64_t *nanos, bool *cut) {
        size_t start = i;
        int64_t v = 0;
        int digits = 0;
        while (i < n && s[i] >= '0' && s[i] <= '9') {
            if (digits < 9) {
                v = v * 10 + (s[i] - '0');
                digits++;
            } else if (s[i] != '0') {
                *cut = true;
            }
            i++;
        }
        for (; digits < 9; digits++) v *= 10;
        *nanos = v;
        return i > start;
    }
};

struct ParsedStamp {
    TIMESTAMP_STRUCT ts{};
    bool has_date = false;
    bool has_time = false;
    bool fraction_cut = false;
};

bool parse_time_part(Scan &sc, ParsedStamp *p) {
    int64_t h, mi, se, fr = 0;
    if (!sc.number(&h) || !sc.eat(':') || !sc.number(&mi) || !sc.eat(':') || !sc.number(&se)) return false;
    if (sc.eat('.') && !sc.fraction(&fr, &p->fraction_cut)) return false;
    if (h > 23 || mi > 59 || se > 59) return false;
    p->ts.hour = static_cast<SQLUSMALLINT>(h);
    p->ts.minute = static_cast<SQLUSMALLINT>(mi);
    p->ts.second = static_cast<SQLUSMALLINT>(se);
    p->ts.fraction = static_cast<SQLUINTEGER>(fr);
    p->has_time = true;
    return true;
}

// year-month-day, optionally followed by " " or "T" and a time, optionally
// followed by a zone ("Z", "+hh:mm", "-hh:mm", which ends the text); or a
// time alone when `time_alone` allows it.
bool parse_stamp(const Value *v, bool time_alone, ParsedStamp *p) {
    size_t size;
    const char *s = value_chars(v, &size);
    Scan sc{s, size};
    sc.blanks();
    size_t start = sc.i;
    int64_t y, mo, d;
    if (sc.number(&y) && sc.eat('-')) {
        if (!sc.number(&mo) || !sc.eat('-') || !sc.number(&d)) return false;
        if (!valid_date(y, mo, d)) return false;
        p->ts.year = static_cast<SQLSMALLINT>(y);
        p->ts.month = static_cast<SQLUSMALLINT>(mo);
        p->ts.day = static_cast<SQLUSMALLINT>(d);
        p->has_date = true;
        if (sc.at(' ') || sc.at('T')) {
            size_t save = sc.i;
            sc.i++;
            sc.blanks();
            if (sc.i < sc.n && !parse_time_part(sc, p)) return false;
            if (!p->has_time) sc.i = save;
        }
    } else {
        sc.i = start;
        if (!time_alone || !parse_time_part(sc, p)) return false;
    }
    if (p->has_time && (sc.at('Z') || sc.at('+') || sc.at('-'))) return true;
    return sc.done();
}

void write_struct(const ConvertTarget &t, const void *data, size_t n) {
    if (t.buffer) std::memcpy(t.buffer, data, n);
    put_length(t, static_cast<SQLLEN>(n));
}

// ---- intervals ----

bool code_is_year_month(int code) { return code == 1 || code == 2 || code == 7; }

// Fields of an interval code, leading first: 0 year, 1 month, 2 day,
// 3 hour, 4 minute, 5 second.
struct FieldRange {
    int first;
    int last;
};
FieldRange fields_of(int code) {
    static constexpr FieldRange kFields[14] = {{0, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5},
                                               {0, 1}, {2, 3}, {2, 4}, {2, 5}, {3, 4}, {3, 5}, {4, 5}};
    return kFields[code];
}

constexpr __int128 kNsSecond = 1000000000;
constexpr __int128 kFieldNanos[6] = {0, 0, 86400 * kNsSecond, 3600 * kNsSecond, 60 * kNsSecond, kNsSecond};

// Text in the literal form of `code`: "[-]Y-M", "[-]D H:M:S.f" and the
// forms that stop before the last field. 1 parsed, 0 malformed, -1 a field
// out of its range.
int parse_interval_text(const Value *v, int code, SQL_INTERVAL_STRUCT *out) {
    size_t size;
    const char *s = value_chars(v, &size);
    Scan sc{s, size};
    sc.blanks();
    bool negative = sc.eat('-');
    if (!negative) (void)sc.eat('+');
    FieldRange f = fields_of(code);
    int64_t values[6] = {};
    int64_t nanos = 0;
    bool cut = false;
    for (int field = f.first; field <= f.last; field++) {
        if (field > f.first) {
            char sep = field == 1 ? '-' : field == 3 ? ' ' : ':';
            if (!sc.eat(sep)) break;  // a shorter form
        }
        if (!sc.number(&values[field])) return 0;
        if (field > f.first) {
            static constexpr int64_t kMax[6] = {0, 11, 0, 23, 59, 59};
            if (values[field] > kMax[field]) return -1;
        }
        if (field == 5 && sc.eat('.') && !sc.fraction(&nanos, &cut)) return 0;
    }
    if (!sc.done()) return 0;
    int rc;
    if (code_is_year_month(code)) {
        int64_t months = values[0] * 12 + values[1];
        rc = interval_from_months(code, negative ? -months : months, out);
    } else {
        __int128 total = nanos;
        for (int field = 2; field <= 5; field++) total += values[field] * kFieldNanos[field];
        rc = interval_from_nanos(code, negative ? -total : total, out);
    }
    return rc == 0 ? 1 : -1;
}

}  // namespace

SQLRETURN convert_to_date(const Value *v, const ConvertTarget &t, ErrorHeader *diag) {
    DATE_STRUCT d{};
    bool lost = false;
    switch (v->type) {
    case VT_DATE: d = v->data.date; break;
    case VT_TIMESTAMP:
        d = {v->data.ts.year, v->data.ts.month, v->data.ts.day};
        lost = v->data.ts.hour || v->data.ts.minute || v->data.ts.second || v->data.ts.fraction;
        break;
    case VT_CHAR:
    case VT_LONG_CHAR: {
        ParsedStamp p;
        if (!parse_stamp(v, false, &p)) return post_bad_datetime(diag);
        d = {p.ts.year, p.ts.month, p.ts.day};
        lost = p.ts.hour || p.ts.minute || p.ts.second || p.ts.fraction;
        break;
    }
    default: return refuse_type(diag);
    }
    write_struct(t, &d, sizeof d);
    return lost ? post_fraction_lost(diag) : SQL_SUCCESS;
}

SQLRETURN convert_to_time(const Value *v, const ConvertTarget &t, ErrorHeader *diag) {
    TIME_STRUCT tm{};
    bool lost = false;
    switch (v->type) {
    case VT_TIME: tm = v->data.time; break;
    case VT_TIMESTAMP:
        tm = {v->data.ts.hour, v->data.ts.minute, v->data.ts.second};
        lost = v->data.ts.fraction != 0;
        break;
    case VT_CHAR:
    case VT_LONG_CHAR: {
        ParsedStamp p;
        if (!parse_stamp(v, true, &p) || !p.has_time) return post_bad_datetime(diag);
        tm = {p.ts.hour, p.ts.minute, p.ts.second};
        lost = p.ts.fraction != 0 || p.fraction_cut;
        break;
    }
    default: return refuse_type(diag);
    }
    write_struct(t, &tm, sizeof tm);
    return lost ? post_fraction_lost(diag) : SQL_SUCCESS;
}

SQLRETURN convert_to_timestamp(const Value *v, const ConvertTarget &t, ErrorHeader *diag) {
    TIMESTAMP_STRUCT ts{};
    bool lost = false;
    switch (v->type) {
    case VT_TIMESTAMP: ts = v->data.ts; break;
    case VT_DATE:
        ts.year = v->data.date.year;
        ts.month = v->data.date.month;
        ts.day = v->data.date.day;
        break;
    case VT_TIME:
        ts.year = static_cast<SQLSMALLINT>(current_year());
        ts.month = static_cast<SQLUSMALLINT>(current_month());
        ts.day = static_cast<SQLUSMALLINT>(current_day());
        ts.hour = v->data.time.hour;
        ts.minute = v->data.time.minute;
        ts.second = v->data.time.second;
        break;
    case VT_CHAR:
    case VT_LONG_CHAR: {
        ParsedStamp p;
        if (!parse_stamp(v, false, &p)) return post_bad_datetime(diag);
        ts = p.ts;
        lost = p.fraction_cut;
        break;
    }
    default: return refuse_type(diag);
    }
    write_struct(t, &ts, sizeof ts);
    return lost ? post_fraction_lost(diag) : SQL_SUCCESS;
}

SQLRETURN convert_to_interval(const Value *v, const ConvertTarget &t, ErrorHeader *diag) {
    int code = t.c_type - 100;
    SQL_INTERVAL_STRUCT iv{};
    SQLRETURN rc = SQL_SUCCESS;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT:
    case VT_BIGINT: {
        if (code > 6) return refuse_type(diag);
        int64_t n = v->type == VT_BIGINT ? v->data.big : v->data.i;
        uint64_t m = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
        if (m > static_cast<uint64_t>(kMaxIntervalLeading)) return post_interval_overflow(diag);
        iv.interval_type = static_cast<SQLINTERVAL>(code);
        iv.interval_sign = n < 0 ? SQL_TRUE : SQL_FALSE;
        auto field = static_cast<SQLUINTEGER>(m);
        SQL_DAY_SECOND_STRUCT &ds = iv.intval.day_second;
        switch (code) {
        case 1: iv.intval.year_month.year = field; break;
        case 2: iv.intval.year_month.month = field; break;
        case 3: ds.day = field; break;
        case 4: ds.hour = field; break;
        case 5: ds.minute = field; break;
        default: ds.second = field; break;
        }
        break;
    }
    case VT_INTERVAL_YM: {
        if (!code_is_year_month(code)) return refuse_type(diag);
        int64_t months = interval_total_months(&v->data.iv);
        if (interval_from_months(code, months, &iv) != 0) return post_interval_overflow(diag);
        if (interval_total_months(&iv) != months) rc = post_truncated(diag);
        break;
    }
    case VT_INTERVAL_DS: {
        if (code_is_year_month(code)) return refuse_type(diag);
        __int128 nanos = interval_total_nanos(&v->data.iv);
        if (interval_from_nanos(code, nanos, &iv) != 0) return post_interval_overflow(diag);
        __int128 kept = interval_total_nanos(&iv);
        if (kept != nanos) {
            // Only a cut fraction of a second is a fractional truncation.
            __int128 diff = nanos > kept ? nanos - kept : kept - nanos;
            bool whole_seconds_kept = diff < kNsSecond;
            rc = whole_seconds_kept ? post_fraction_lost(diag) : post_truncated(diag);
        }
        break;
    }
    case VT_CHAR:
    case VT_LONG_CHAR: {
        int parsed = parse_interval_text(v, code, &iv);
        if (parsed == 0) return post_error(diag, "22018", "Invalid character value for cast specification");
        if (parsed < 0) return post_interval_overflow(diag);
        break;
    }
    default: return refuse_type(diag);
    }
    write_struct(t, &iv, sizeof iv);
    return rc;
}
