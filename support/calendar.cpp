// Gregorian calendar arithmetic (see calendar.h).
#include "support/calendar.h"

#include <cctype>
#include <cstring>
#include <ctime>

namespace {

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) q--;
    return q;
}

int64_t ts_seconds_of_day(const TIMESTAMP_STRUCT *ts) {
    return ts->hour * 3600LL + ts->minute * 60LL + ts->second;
}

}  // namespace

int64_t ymd_to_jdnl(int64_t year, int64_t month, int64_t day) {
    // Normalise the month into 1..12 first so any integers work.
    int64_t m0 = month - 1;
    year += floor_div(m0, 12);
    month = m0 - floor_div(m0, 12) * 12 + 1;
    int64_t a = (14 - month) / 12;
    int64_t y = year + 4800 - a;
    int64_t m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + floor_div(y, 4) - floor_div(y, 100) +
           floor_div(y, 400) - 32045;
}

void jdnl_to_ymd(int64_t jdn, int64_t *year, int *month, int *day) {
    int64_t a = jdn + 32044;
    int64_t b = floor_div(4 * a + 3, 146097);
    int64_t c = a - floor_div(146097 * b, 4);
    int64_t d = floor_div(4 * c + 3, 1461);
    int64_t e = c - floor_div(1461 * d, 4);
    int64_t m = floor_div(5 * e + 2, 153);
    *day = static_cast<int>(e - floor_div(153 * m + 2, 5) + 1);
    *month = static_cast<int>(m + 3 - 12 * floor_div(m, 10));
    *year = 100 * b + d - 4800 + floor_div(m, 10);
}

int jdnl_to_dow(int64_t jdn) {
    int64_t r = (jdn + 1) % 7;
    return static_cast<int>(r < 0 ? r + 7 : r);
}

bool is_leap_year(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int64_t year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

int day_of_year(int year, int month, int day) {
    return static_cast<int>(ymd_to_jdnl(year, month, day) - ymd_to_jdnl(year, 1, 1) + 1);
}

bool valid_date(int64_t year, int64_t month, int64_t day) {
    return year >= kMinYear && year <= kMaxYear && month >= 1 && month <= 12 && day >= 1 &&
           day <= days_in_month(year, static_cast<int>(month));
}

bool valid_time(int64_t hour, int64_t minute, int64_t second) {
    return hour >= 0 && hour <= 24 && minute >= 0 && minute <= 59 && second >= 0 && second <= 62;
}

bool valid_timestamp(const TIMESTAMP_STRUCT *ts) {
    return valid_date(ts->year, ts->month, ts->day) && valid_time(ts->hour, ts->minute, ts->second) &&
           ts->fraction <= 999999999u;
}

int date_compare(const DATE_STRUCT *a, const DATE_STRUCT *b) {
    int64_t x = ymd_to_jdnl(a->year, a->month, a->day), y = ymd_to_jdnl(b->year, b->month, b->day);
    return x < y ? -1 : (x > y ? 1 : 0);
}

int time_compare(const TIME_STRUCT *a, const TIME_STRUCT *b) {
    int64_t x = a->hour * 3600LL + a->minute * 60LL + a->second;
    int64_t y = b->hour * 3600LL + b->minute * 60LL + b->second;
    return x < y ? -1 : (x > y ? 1 : 0);
}

int timestamp_compare(const TIMESTAMP_STRUCT *a, const TIMESTAMP_STRUCT *b) {
    int64_t x = ymd_to_jdnl(a->year, a->month, a->day), y = ymd_to_jdnl(b->year, b->month, b->day);
    if (x != y) return x < y ? -1 : 1;
    int64_t s = ts_seconds_of_day(a), t = ts_seconds_of_day(b);
    if (s != t) return s < t ? -1 : 1;
    return a->fraction < b->fraction ? -1 : (a->fraction > b->fraction ? 1 : 0);
}

int timestamp_add_seconds(TIMESTAMP_STRUCT *ts, int64_t seconds, int64_t nanos) {
    // Keep the arithmetic in 128 bits: callers pass counts from SQL text.
    __int128 ns = static_cast<__int128>(ts->fraction) + nanos;
    __int128 carry = ns / 1000000000;
    ns %= 1000000000;
    if (ns < 0) {
        ns += 1000000000;
        carry -= 1;
    }
    __int128 day_secs = static_cast<__int128>(ts_seconds_of_day(ts)) + seconds + carry;
    __int128 days = day_secs / 86400;
    day_secs %= 86400;
    if (day_secs < 0) {
        day_secs += 86400;
        days -= 1;
    }
    __int128 jdn = static_cast<__int128>(ymd_to_jdnl(ts->year, ts->month, ts->day)) + days;
    if (jdn < ymd_to_jdnl(kMinYear, 1, 1) || jdn > ymd_to_jdnl(kMaxYear, 12, 31)) return -1;
    int64_t y;
    int m, d;
    jdnl_to_ymd(static_cast<int64_t>(jdn), &y, &m, &d);
    int64_t s = static_cast<int64_t>(day_secs);
    ts->year = static_cast<SQLSMALLINT>(y);
    ts->month = static_cast<SQLUSMALLINT>(m);
    ts->day = static_cast<SQLUSMALLINT>(d);
    ts->hour = static_cast<SQLUSMALLINT>(s / 3600);
    ts->minute = static_cast<SQLUSMALLINT>(s / 60 % 60);
    ts->second = static_cast<SQLUSMALLINT>(s % 60);
    ts->fraction = static_cast<SQLUINTEGER>(ns);
    return 0;
}

int timestamp_add_noconvert(TIMESTAMP_STRUCT *ts, int64_t seconds) {
    return timestamp_add_seconds(ts, seconds, 0);
}

int timestamp_add_months(TIMESTAMP_STRUCT *ts, int64_t months) {
    if (months > 120000 || months < -120000) return -1;
    int64_t total = ts->year * 12LL + (ts->month - 1) + months;
    int64_t y = floor_div(total, 12);
    int m = static_cast<int>(total - y * 12 + 1);
    if (y < kMinYear || y > kMaxYear) return -1;
    int dim = days_in_month(y, m);
    ts->year = static_cast<SQLSMALLINT>(y);
    ts->month = static_cast<SQLUSMALLINT>(m);
    if (ts->day > dim) ts->day = static_cast<SQLUSMALLINT>(dim);
    return 0;
}

TsiUnit tsi_unit_from_name(const char *name) {
    if (!name) return TsiUnit::kUnknown;
    char up[32];
    size_t n = 0;
    while (name[n] && n < sizeof up - 1) {
        up[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[n])));
        n++;
    }
    if (name[n]) return TsiUnit::kUnknown;
    up[n] = 0;
    const char *p = std::strncmp(up, "SQL_TSI_", 8) == 0 ? up + 8 : up;
    static const struct {
        const char *name;
        TsiUnit unit;
    } kUnits[] = {{"FRAC_SECOND", TsiUnit::kFracSecond}, {"SECOND", TsiUnit::kSecond},
                  {"MINUTE", TsiUnit::kMinute},          {"HOUR", TsiUnit::kHour},
                  {"DAY", TsiUnit::kDay},                {"WEEK", TsiUnit::kWeek},
                  {"MONTH", TsiUnit::kMonth},            {"QUARTER", TsiUnit::kQuarter},
                  {"YEAR", TsiUnit::kYear}};
    for (const auto &u : kUnits)
        if (std::strcmp(p, u.name) == 0) return u.unit;
    return TsiUnit::kUnknown;
}

int timestamp_add(TIMESTAMP_STRUCT *ts, TsiUnit unit, int64_t n) {
    TIMESTAMP_STRUCT t = *ts;
    int rc;
    __int128 big = n;
    auto secs = [&](__int128 s) {
        if (s > INT64_MAX / 2 || s < INT64_MIN / 2) return -1;
        return timestamp_add_seconds(&t, static_cast<int64_t>(s), 0);
    };
    switch (unit) {
    case TsiUnit::kFracSecond: rc = timestamp_add_seconds(&t, 0, n); break;
    case TsiUnit::kSecond: rc = secs(big); break;
    case TsiUnit::kMinute: rc = secs(big * 60); break;
    case TsiUnit::kHour: rc = secs(big * 3600); break;
    case TsiUnit::kDay: rc = secs(big * 86400); break;
    case TsiUnit::kWeek: rc = secs(big * 7 * 86400); break;
    case TsiUnit::kMonth: rc = n > INT32_MAX || n < INT32_MIN ? -1 : timestamp_add_months(&t, n); break;
    case TsiUnit::kQuarter:
        rc = n > INT32_MAX / 3 || n < INT32_MIN / 3 ? -1 : timestamp_add_months(&t, n * 3);
        break;
    case TsiUnit::kYear:
        rc = n > INT32_MAX / 12 || n < INT32_MIN / 12 ? -1 : timestamp_add_months(&t, n * 12);
        break;
    default: rc = -1; break;
    }
    if (rc == 0) *ts = t;
    return rc;
}

int date_add(DATE_STRUCT *d, TsiUnit unit, int64_t n) {
    TIMESTAMP_STRUCT t{d->year, d->month, d->day, 0, 0, 0, 0};
    if (timestamp_add(&t, unit, n) != 0) return -1;
    d->year = t.year;
    d->month = t.month;
    d->day = t.day;
    return 0;
}

int time_add(TIME_STRUCT *tm, TsiUnit unit, int64_t n) {
    TIMESTAMP_STRUCT t{2000, 1, 1, tm->hour, tm->minute, tm->second, 0};
    if (unit == TsiUnit::kDay || unit == TsiUnit::kWeek || unit == TsiUnit::kMonth ||
        unit == TsiUnit::kQuarter || unit == TsiUnit::kYear)
        return 0;  // a time of day does not move by whole days
    // Reduce first so huge counts wrap instead of leaving the date range.
    int64_t per = unit == TsiUnit::kHour ? 24 : unit == TsiUnit::kMinute ? 1440 : 86400;
    if (unit == TsiUnit::kFracSecond) n = (n / 1000000000) % 86400, unit = TsiUnit::kSecond;
    if (timestamp_add(&t, unit, n % per) != 0) return -1;
    tm->hour = t.hour;
    tm->minute = t.minute;
    tm->second = t.second;
    return 0;
}

int timestamp_diff(const TIMESTAMP_STRUCT *a, const TIMESTAMP_STRUCT *b, TsiUnit unit,
                   int64_t *out) {
    __int128 da = ymd_to_jdnl(a->year, a->month, a->day), db = ymd_to_jdnl(b->year, b->month, b->day);
    __int128 na = (da * 86400 + ts_seconds_of_day(a)) * 1000000000 + a->fraction;
    __int128 nb = (db * 86400 + ts_seconds_of_day(b)) * 1000000000 + b->fraction;
    __int128 diff = nb - na, r;
    switch (unit) {
    case TsiUnit::kFracSecond: r = diff; break;
    case TsiUnit::kSecond: r = diff / 1000000000; break;
    case TsiUnit::kMinute: r = diff / (60LL * 1000000000); break;
    case TsiUnit::kHour: r = diff / (3600LL * 1000000000); break;
    case TsiUnit::kDay: r = diff / (86400LL * 1000000000); break;
    case TsiUnit::kWeek: r = diff / (7LL * 86400 * 1000000000); break;
    case TsiUnit::kMonth:
    case TsiUnit::kQuarter:
    case TsiUnit::kYear: {
        int64_t months = (b->year - a->year) * 12LL + (b->month - a->month);
        // A partial last month does not count: compare the rest of the fields.
        TIMESTAMP_STRUCT ra = *a, rb = *b;
        ra.year = rb.year = 2000;
        ra.month = rb.month = 1;
        int c = timestamp_compare(&rb, &ra);
        if (months > 0 && c < 0) months--;
        if (months < 0 && c > 0) months++;
        r = unit == TsiUnit::kMonth ? months : unit == TsiUnit::kQuarter ? months / 3 : months / 12;
        break;
    }
    default: return -1;
    }
    if (r > INT64_MAX || r < INT64_MIN) return -1;
    *out = static_cast<int64_t>(r);
    return 0;
}

void local_now(TIMESTAMP_STRUCT *out) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    out->year = static_cast<SQLSMALLINT>(tm.tm_year + 1900);
    out->month = static_cast<SQLUSMALLINT>(tm.tm_mon + 1);
    out->day = static_cast<SQLUSMALLINT>(tm.tm_mday);
    out->hour = static_cast<SQLUSMALLINT>(tm.tm_hour);
    out->minute = static_cast<SQLUSMALLINT>(tm.tm_min);
    out->second = static_cast<SQLUSMALLINT>(tm.tm_sec > 59 ? 59 : tm.tm_sec);
    out->fraction = 0;
}

int current_year() {
    TIMESTAMP_STRUCT t;
    local_now(&t);
    return t.year;
}
int current_month() {
    TIMESTAMP_STRUCT t;
    local_now(&t);
    return t.month;
}
int current_day() {
    TIMESTAMP_STRUCT t;
    local_now(&t);
    return t.day;
}
