// The literal value parser: application text -> date, time, timestamp or
// interval, for parameter conversion, casts from character values,
// comparisons of text with datetimes and scalar functions.
//
// Text is either an escape form ("{d '2020-01-02'}", "{t '...'}",
// "{ts '...'}", "{INTERVAL '...' qualifier}") or bare text that the entry
// point wraps into its own escape form. Bare dates may use "/" separators;
// timestamps accept a fraction (nanoseconds: ".5" is 500,000,000, at most
// nine digits) and the ISO form "2021-08-10T14:49:58+02:00" (the zone offset
// is read and ignored). Every field is range-checked before it is stored in
// its 16-bit field, and nothing may follow the closing brace but blanks.
//
// Each parse holds the support library's process-wide lock 2 (kLiteralLock),
// so conversions in all threads behave as if serialised.
//
// Every entry point returns 0, or -1 after posting one diagnostic on `diag`
// (return code -1): 22007 "Invalid datetime format" for dates, times and
// timestamps; HY000 "General error: Invalid interval literal" for an
// interval whose shape, range or type does not fit; 22015 "Interval field
// overflow" for interval text that does not parse. Outputs are written only
// on success.
//
// Exports: parse_date_text, parse_time_text, parse_timestamp_text,
// parse_interval_text, kMaxLiteralText, LiteralKind, parse_literal.
#pragma once

#include <sql.h>
#include <sqlext.h>

struct ErrorHeader;

// Longest text accepted (the escape form built around it included).
inline constexpr int kMaxLiteralText = 512;

[[nodiscard]] int parse_date_text(ErrorHeader *diag, const char *text, DATE_STRUCT *out);
[[nodiscard]] int parse_time_text(ErrorHeader *diag, const char *text, TIME_STRUCT *out);
[[nodiscard]] int parse_timestamp_text(ErrorHeader *diag, const char *text, TIMESTAMP_STRUCT *out);
/// `code` is the wanted interval type 1 YEAR .. 13 MINUTE TO SECOND.
[[nodiscard]] int parse_interval_text(ErrorHeader *diag, const char *text, SQL_INTERVAL_STRUCT *out,
                                      int code);

enum class LiteralKind : int { kDate = 9, kTime = 10, kTimestamp = 11, kInterval = 101 };

/// What one parse produced: a date, time or timestamp (fields unchecked
/// except for width), or an interval.
struct LiteralResult {
    int kind;                      // 9, 10, 11 or 101
    long long year, month, day, hour, minute, second;
    unsigned long fraction;        // nanoseconds
    SQL_INTERVAL_STRUCT interval;  // kind 101
};

/// Parses one escape-form text (already wrapped) and accepts it by the
/// wanted kind (a timestamp gives its date or time part; a date is a
/// timestamp at midnight). Returns 0, a value > 0 for a syntax error or a
/// text too long, or -1 for an interval that does not fit its qualifier or
/// a result of another kind. Takes lock 2 for the parse.
[[nodiscard]] int parse_literal(const char *text, LiteralKind wanted, LiteralResult *out);
