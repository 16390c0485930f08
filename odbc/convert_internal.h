// Shared pieces of the value conversion (convert_*.cpp): one function per
// family of C types, and the diagnostics they post.
//
// Exports: convert_to_char, convert_to_wchar, convert_to_bytes, convert_bound_char,
// convert_to_integer, convert_to_double, convert_to_float, convert_to_bit,
// convert_to_numeric, convert_to_date, convert_to_time,
// convert_to_timestamp, convert_to_interval, scalar_text, refuse_type,
// post_fraction_lost, post_out_of_range, post_truncated, put_length,
// IntegerRange.
#pragma once

#include <cstddef>

#include "odbc/convert.h"

// ---- diagnostics ----
SQLRETURN refuse_type(ErrorHeader *diag);         // 07006
SQLRETURN post_out_of_range(ErrorHeader *diag);   // 22003
SQLRETURN post_bad_datetime(ErrorHeader *diag);   // 22008
SQLRETURN post_interval_overflow(ErrorHeader *diag);  // 22015
SQLRETURN post_fraction_lost(ErrorHeader *diag);  // 01S07, warning
SQLRETURN post_truncated(ErrorHeader *diag);      // 01004, warning

/// Writes `n` to the target's length output when there is one.
void put_length(const ConvertTarget &t, SQLLEN n);

/// The character form of a scalar (not text, binary or long) value: "%f" for
/// doubles when it reads back as the same double, else the shortest form
/// that does; timestamps with a non-zero fraction show it. Returns the full
/// length (the text is cut at capacity - 1), or -1 for a kind without a
/// character form ("UNSUPPORTED STRING CONVERSION" is written).
long scalar_text(const Value *v, char *out, size_t capacity);

// ---- families (the target's C type is already resolved) ----
SQLRETURN convert_to_char(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_wchar(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_bytes(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *d);
/// convert_value for a character target, a whole text or scalar that fits
/// copied at once (conversion_for's pick for SQL_C_CHAR).
SQLRETURN convert_bound_char(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *d);

/// The range and width of an integer C type.
struct IntegerRange {
    __int128 min;
    __int128 max;
    int width;  // bytes: 1, 2, 4 or 8
};
SQLRETURN convert_to_integer(const Value *v, const IntegerRange &r, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_double(const Value *v, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_float(const Value *v, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_bit(const Value *v, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_numeric(const Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *d);

SQLRETURN convert_to_date(const Value *v, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_time(const Value *v, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_timestamp(const Value *v, const ConvertTarget &t, ErrorHeader *d);
SQLRETURN convert_to_interval(const Value *v, const ConvertTarget &t, ErrorHeader *d);

/// The text of a VT_CHAR or VT_LONG_CHAR value (null for other kinds).
const char *value_chars(const Value *v, size_t *size);
