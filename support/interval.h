// Interval values in the ODBC SQL_INTERVAL_STRUCT form.
//
// Year-month intervals (codes 1 YEAR, 2 MONTH, 7 YEAR TO MONTH) are counted
// in months; day-time intervals (3-6, 8-13) in nanoseconds (128-bit). The
// leading field holds whatever does not fit the lower fields and is limited
// to 999,999,999 (nine digits, the largest leading precision); a result
// beyond that is an "Interval field overflow" (22015), never a wrapped
// value.
//
// Exports: interval_is_year_month, interval_total_months,
// interval_total_nanos, interval_from_months, interval_from_nanos,
// interval_compare, interval_as_text, interval_qualifier_text,
// interval_operation, kMaxIntervalLeading.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

struct Value;
struct ErrorHeader;

inline constexpr int64_t kMaxIntervalLeading = 999999999;

/// True for codes 1, 2 and 7.
[[nodiscard]] bool interval_is_year_month(int code);
/// True for codes 1 to 13.
[[nodiscard]] bool interval_code_valid(int code);

/// Signed total of a year-month interval in months.
[[nodiscard]] int64_t interval_total_months(const SQL_INTERVAL_STRUCT *iv);
/// Signed total of a day-time interval in nanoseconds.
[[nodiscard]] __int128 interval_total_nanos(const SQL_INTERVAL_STRUCT *iv);

/// Builds an interval of `code` from a signed total. Returns 0, or -1 when
/// the leading field would exceed kMaxIntervalLeading.
[[nodiscard]] int interval_from_months(int code, int64_t months, SQL_INTERVAL_STRUCT *out);
[[nodiscard]] int interval_from_nanos(int code, __int128 nanos, SQL_INTERVAL_STRUCT *out);

/// Compares two intervals of one family: sets *out to -1, 0 or 1 and
/// returns 0; returns -1 when the families differ.
[[nodiscard]] int interval_compare(const SQL_INTERVAL_STRUCT *a, const SQL_INTERVAL_STRUCT *b,
                                   int *out);

/// Text of an interval's value in its literal form ("-1-02", "3 04:05:06.5",
/// "12:30"); at most capacity - 1 bytes and a terminator. Returns the full
/// length.
size_t interval_as_text(const SQL_INTERVAL_STRUCT *iv, char *out, size_t capacity);

/// Qualifier words of a code ("DAY TO SECOND"), or "" for an unknown code.
[[nodiscard]] const char *interval_qualifier_text(int code);

/// Interval arithmetic for the evaluator. `b` is the interval operand, `a`
/// the other one (interval, date, time, timestamp or integer; null for 6):
/// code 1 a + b, 2 a - b, 4 a * b (a integer), 5 b / a (a integer),
/// 6 -b; 7 to 12 compare a with b (both intervals) into a truth value.
/// Interval + interval gives the combined code of the type rules; a datetime
/// operand gives its own type moved by the interval; an integer gives the
/// interval moved by that many units of its leading field. NULL operands
/// give NULL. Returns 0, or -1 after posting on `diag` (22015 overflow,
/// 22012 division by zero, 22008 datetime out of range, HY000 otherwise).
[[nodiscard]] int interval_operation(const Value *a, const Value *b, Value *result,
                                     ErrorHeader *diag, int code);
