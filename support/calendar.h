// The Gregorian calendar: Julian day numbers, validation and arithmetic on
// the ODBC date, time and timestamp structures.
//
// Julian day numbers (JDN) use the proleptic Gregorian calendar; day of week
// 0 is Sunday. Dates are valid for years 0 to 9999; times for hour 0-24,
// minute 0-59 and second 0-62 (leap seconds, as the literal rules allow),
// fractions 0 to 999,999,999 ns. Arithmetic that leaves the year range
// fails instead of producing a date no function can name.
//
// Exports: ymd_to_jdnl, jdnl_to_ymd, jdnl_to_dow, is_leap_year,
// days_in_month, valid_date, valid_time, valid_timestamp, date_compare,
// time_compare, timestamp_compare, timestamp_add_seconds,
// timestamp_add_noconvert, timestamp_add_months, timestamp_add, date_add,
// time_add, TsiUnit, tsi_unit_from_name, timestamp_diff, local_now,
// current_year, current_month, current_day, day_of_year, kMinYear, kMaxYear.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

inline constexpr int kMinYear = 0;
inline constexpr int kMaxYear = 9999;

/// JDN of a Gregorian date (any integers; months outside 1-12 roll years).
[[nodiscard]] int64_t ymd_to_jdnl(int64_t year, int64_t month, int64_t day);
/// Gregorian date of a JDN.
void jdnl_to_ymd(int64_t jdn, int64_t *year, int *month, int *day);
/// Day of week of a JDN, 0 = Sunday.
[[nodiscard]] int jdnl_to_dow(int64_t jdn);

[[nodiscard]] bool is_leap_year(int64_t year);
/// Days of `month` (1-12) in `year`; 0 for a month outside 1-12.
[[nodiscard]] int days_in_month(int64_t year, int month);
/// 1-based day number within the year.
[[nodiscard]] int day_of_year(int year, int month, int day);

[[nodiscard]] bool valid_date(int64_t year, int64_t month, int64_t day);
[[nodiscard]] bool valid_time(int64_t hour, int64_t minute, int64_t second);
[[nodiscard]] bool valid_timestamp(const TIMESTAMP_STRUCT *ts);

/// -1, 0 or 1.
[[nodiscard]] int date_compare(const DATE_STRUCT *a, const DATE_STRUCT *b);
[[nodiscard]] int time_compare(const TIME_STRUCT *a, const TIME_STRUCT *b);
[[nodiscard]] int timestamp_compare(const TIMESTAMP_STRUCT *a, const TIMESTAMP_STRUCT *b);

/// Moves *ts by seconds and nanoseconds (either sign). Returns 0, or -1
/// when the result leaves years 0-9999 (ts untouched).
[[nodiscard]] int timestamp_add_seconds(TIMESTAMP_STRUCT *ts, int64_t seconds, int64_t nanos);
/// The same with whole seconds (the evaluator's name for it).
[[nodiscard]] int timestamp_add_noconvert(TIMESTAMP_STRUCT *ts, int64_t seconds);
/// Adds months; the day is clamped to the end of the resulting month
/// (Jan 31 + 1 month = Feb 28/29). Returns 0 or -1 (range).
[[nodiscard]] int timestamp_add_months(TIMESTAMP_STRUCT *ts, int64_t months);

/// TIMESTAMPADD / TIMESTAMPDIFF units (SQL_TSI_*).
enum class TsiUnit : int {
    kFracSecond = 1, kSecond = 2, kMinute = 3, kHour = 4, kDay = 5, kWeek = 6,
    kMonth = 7, kQuarter = 8, kYear = 9, kUnknown = 0,
};
/// "SQL_TSI_DAY" or "DAY" (any case) -> unit; kUnknown otherwise.
[[nodiscard]] TsiUnit tsi_unit_from_name(const char *name);

/// Adds n units to a timestamp / date / time (dates move by whole days and
/// months; times wrap around midnight). Returns 0 or -1 (range).
[[nodiscard]] int timestamp_add(TIMESTAMP_STRUCT *ts, TsiUnit unit, int64_t n);
[[nodiscard]] int date_add(DATE_STRUCT *d, TsiUnit unit, int64_t n);
[[nodiscard]] int time_add(TIME_STRUCT *t, TsiUnit unit, int64_t n);

/// b - a counted in whole units (truncated toward zero; months by calendar
/// months). Returns 0 or -1 when the count does not fit 64 bits.
[[nodiscard]] int timestamp_diff(const TIMESTAMP_STRUCT *a, const TIMESTAMP_STRUCT *b,
                                 TsiUnit unit, int64_t *out);

/// The local time now (fraction 0).
void local_now(TIMESTAMP_STRUCT *out);
[[nodiscard]] int current_year();
[[nodiscard]] int current_month();
[[nodiscard]] int current_day();
