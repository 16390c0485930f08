// Creating, copying, reading, printing and comparing engine values.
//
// Values (support/value.h) live in pools. NewValue makes one with a data
// buffer; duplicate_value copies a value together with its character or
// binary buffer; release_value gives both back. Readers convert a value to
// an int, double or bigint with range checks (a value out of range is an
// error for the caller to report, never a silently narrowed number).
//
// Printing (value_as_text) follows the ODBC character conversion, except
// that doubles use the shortest text that reads back as the same double
// (so 1e-7 never prints as 0) and timestamps show a non-zero fraction.
//
// Exports: NewValue, new_value_of_type, duplicate_value, duplicate_value_ex,
// release_value, set_value_text, value_as_text, short_value_text,
// kShortTextRoom, value_text_in_pool,
// format_double, get_int_from_value, get_double_from_value,
// get_bigint_from_value, compare_values, get_trivalue_from_value,
// set_trivalue_in_value, set_value_to_double, set_value_to_interval,
// set_value_null.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

#include "support/value.h"

/// A zeroed value in `pool` with an n-byte data buffer (plus a terminator
/// byte) when n > 0: type VT_CHAR, length 0, owns_data 1. Null when memory
/// is exhausted or n is negative or above kMaxCharValue.
[[nodiscard]] Value *NewValue(CvPool *pool, int32_t n);

/// A zeroed, non-null value of `type` without a buffer; null on exhaustion.
[[nodiscard]] Value *new_value_of_type(CvPool *pool, uint32_t type);

/// A copy of `v` in `pool`, with its own copy of a character or binary
/// buffer (long buffers are shared). Null on exhaustion.
[[nodiscard]] Value *duplicate_value(const Value *v, CvPool *pool);
/// As duplicate_value, and the copy's copy_mark is 0.
[[nodiscard]] Value *duplicate_value_ex(const Value *v, CvPool *pool);

/// Frees the value and the buffer it owns. Null is ignored.
void release_value(Value *v);

/// Makes `v` a non-null VT_CHAR holding `len` bytes of `text` in its pool.
/// Returns 0, or -1 on exhaustion or a length above kMaxCharValue.
[[nodiscard]] int set_value_text(Value *v, const char *text, size_t len);

/// Shortest text of `d` that reads back as the same double ("2.5", "1e-07",
/// "inf"); at most capacity - 1 bytes. Returns the full length.
size_t format_double(double d, char *out, size_t capacity);

/// The value's text form into `out` (at most capacity - 1 bytes and a
/// terminator); *length (optional) gets the full length. A NULL value gives
/// "". Returns 0, 1 when the text was cut, or -1 for a kind without a text
/// form ("UNSUPPORTED STRING CONVERSION" is then written).
int value_as_text(const Value *v, char *out, size_t capacity, size_t *length);

/// Bytes short_value_text may write.
inline constexpr size_t kShortTextRoom = 64;

/// The text value_as_text gives a non-NULL date, time, timestamp or integer
/// (VT_INTEGER, VT_BIT, VT_BIGINT) value, written at `out` (room for
/// kShortTextRoom bytes, no terminator) without value_as_text's copies: the
/// form fetched text columns take per value. Its length, or -1 for another
/// kind.
[[nodiscard]] int short_value_text(const Value *v, char *out);

/// The whole text form of `v` in `pool` (character values and long
/// character values without limit). Null on exhaustion or an unsupported
/// kind.
[[nodiscard]] char *value_text_in_pool(const Value *v, CvPool *pool, size_t *length);

/// Numeric readings. Integers, bits, bigints, doubles, numerics; character
/// values by their leading number. Return 0, or -1 when the value is out of
/// range for the target or has no numeric reading (the output is then 0).
/// Doubles and numerics truncate toward zero for the integer readers.
[[nodiscard]] int get_int_from_value(const Value *v, int32_t *out);
[[nodiscard]] int get_double_from_value(const Value *v, double *out);
[[nodiscard]] int get_bigint_from_value(const Value *v, int64_t *out);

/// Orders two non-null values: negative, zero or positive. Numbers compare
/// by value across kinds; character values byte by byte with trailing
/// blanks ignored; binary byte by byte, then by length; dates, times,
/// timestamps and intervals by value; a character value against a date,
/// time or timestamp by its text form. NULLs sort first.
[[nodiscard]] int compare_values(const Value *a, const Value *b);

/// A date, time or timestamp value as a timestamp: a date at midnight, a
/// time on the zero date.
[[nodiscard]] TIMESTAMP_STRUCT value_as_timestamp(const Value *v);

/// Truth values (0 false, 1 true, 2 unknown) kept as VT_BIT values; unknown
/// is NULL.
void set_trivalue_in_value(Value *v, int truth);
[[nodiscard]] int get_trivalue_from_value(const Value *v);

void set_value_to_double(Value *v, double d);
void set_value_to_interval(Value *v, const SQL_INTERVAL_STRUCT *iv);
/// Makes `v` a NULL of `type` (its data zeroed).
void set_value_null(Value *v, uint32_t type);
