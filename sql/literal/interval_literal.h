// Construction of interval values from an interval string and qualifier,
// shared by the SQL grammar's interval literals and the literal parser.
//
// Exports: IntervalParts, build_interval_literal, kDefaultLeadingPrecision,
// kDefaultSecondsPrecision.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

inline constexpr int kDefaultLeadingPrecision = 2;
inline constexpr int kDefaultSecondsPrecision = 6;

/// Builds the interval of `code` (1 YEAR .. 13 MINUTE TO SECOND) from the
/// text between the quotes (`string`, `length` bytes: "5", "1-02",
/// "3 04:05:06.789", "12:30", "61.5", ...), the sign (true = negative) and
/// the declared precisions (`leading_precision` 0 and `seconds_precision` -1
/// mean the defaults 2 and 6). The text's shape must fit the qualifier; a
/// non-leading field must be in range (hours <= 23, minutes and seconds <=
/// 59, months <= 11); the leading field has at most leading-precision digits
/// and the fraction at most seconds-precision significant digits (nine at
/// most, read as nanoseconds: ".5" is 500,000,000). Returns 0 with *out
/// filled, or -1 ("Invalid INTERVAL literal" for the caller to report).
[[nodiscard]] int build_interval_literal(bool negative, const char *string, size_t length, int code,
                                         int leading_precision, int seconds_precision,
                                         SQL_INTERVAL_STRUCT *out);
