// The one order of values: what `=`, `<>`, `<` ... compare with, what IN
// (a list or a sub-query) and CASE look for, and what the key bytes of
// DISTINCT, GROUP BY, UNION, ORDER BY and join lookups encode
// (query/sort_record.cpp writes keys that memcmp in this order).
//
// By pair of value kinds:
// - numbers: two integers (INTEGER, BIT, BIGINT) as 64-bit integers; a
//   DOUBLE with any number as doubles (the other one rounded to the nearest
//   double; NaN after every number and equal to itself, -0 equal to 0);
//   otherwise exactly, as decimals (NUMERIC with NUMERIC or an integer,
//   whatever the scales);
// - texts (CHAR, LONG VARCHAR): byte-wise over the whole text, trailing
//   blanks ignored, a text before a longer one it begins;
// - binaries (BINARY, LONG VARBINARY): byte-wise, a shorter before a longer
//   one it begins;
// - dates, times, timestamps: by value, a date being its midnight;
// - intervals of one kind (year-month, day-time): by length;
// - a text with a date, time or timestamp: the text read as a literal of
//   that kind (a date also meets a timestamp's text, as its midnight); with
//   a number: the text read as a number (blanks around it allowed); a text
//   that does not read so is an error, never some value;
// - a text or binary with any other kind: their text forms, byte-wise;
// - any other pair (a datetime with a number, intervals of two kinds): an
//   error.
// NULL is not ordered here: comparisons with NULL are unknown, and sorts put
// it after every value (sort_record.h).
//
// Exports: OrderResult, value_order, read_text_as.
#pragma once

#include <cstdint>

#include "support/value.h"

enum class OrderResult : int32_t {
    kOk = 0,
    kBadDate = 1,       // a text compared with a date is no date
    kBadTime = 2,
    kBadTimestamp = 3,
    kBadNumber = 4,     // a text compared with a number is no number
    kUnsupported = 5,   // the two kinds have no order between them
};

/// *order gets the sign of left minus right (-1, 0, 1) when the result is
/// kOk. Neither value may be NULL or deferred.
[[nodiscard]] OrderResult value_order(const Value *left, const Value *right, int *order);

/// A text (CHAR or LONG VARCHAR) read as value_order reads it when it meets
/// a value of type `kind` (a date, time or timestamp; or VT_NUMERIC for any
/// number): *out is that value (it points into nothing). kBadDate, kBadTime,
/// kBadTimestamp or kBadNumber when it does not read so.
[[nodiscard]] OrderResult read_text_as(const Value *text, uint32_t kind, Value *out);
