// Conversion of one engine value into an application buffer of a C type.
//
// convert_value is the single place where a result value meets the
// application: SQLGetData calls it with the column's piece state kept,
// bound-column fetches call it with the piece state restarted. It is a pure
// function of the value, the column's description and the target: it never
// reads the statement, so every (value kind, C type) pair is tested without
// the engine.
//
// Pieces: text, binary and long values are delivered piecewise; the value's
// piece_offset counts the source bytes already delivered (UTF-8 bytes for
// text, whatever the target's width), and a call after the last piece
// returns SQL_NO_DATA. Every other value (numbers, dates, times, intervals,
// and text read as one of those) is fixed-length: it goes out in one piece,
// whole or with only fraction digits cut (01004), or not at all (22003 when
// a character buffer cannot hold its whole part); once it went out the
// value's piece_offset is kPieceDone and the next call returns SQL_NO_DATA.
//
// Exports: ConvertColumn, ConvertTarget, ConvertFunction, convert_value,
// conversion_for, default_c_type, is_known_c_type, kPieceDone, put_fitting_text.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <cstring>

#include "support/value.h"

struct ErrorHeader;

/// What the conversion needs to know about the column and the statement.
struct ConvertColumn {
    int32_t sql_type;      // the column's concise SQL type (IRD), for SQL_C_DEFAULT
    int32_t precision;     // IRD precision and scale, for SQL_C_NUMERIC
    int32_t scale;
    SQLULEN max_length;    // SQL_ATTR_MAX_LENGTH; 0 = no limit
};

/// Where the value goes. `length` and `indicator` may be the same pointer
/// (SQLGetData, and SQLBindCol's default); either may be null.
struct ConvertTarget {
    int32_t c_type;
    void *buffer;          // may be null: only the length is reported
    SQLLEN capacity;       // bytes; must not be negative (the caller checks)
    SQLLEN *length;        // receives the length of the data available
    SQLLEN *indicator;     // receives SQL_NULL_DATA for a NULL
};

/// Converts `v` (non-deferred; plain kinds, references are followed) into
/// the target. Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01004, 01S07
/// posted as warnings on `diag`), SQL_NO_DATA (every piece, or the one
/// piece of a fixed-length value, was delivered before) or SQL_ERROR (07006, 22002, 22003, 22008, 22015, HY003 posted).
[[nodiscard]] SQLRETURN convert_value(Value *v, const ConvertColumn &column,
                                      const ConvertTarget &target, ErrorHeader *diag);

/// convert_value's signature, shared by the conversions conversion_for picks.
using ConvertFunction = SQLRETURN (*)(Value *v, const ConvertColumn &column, const ConvertTarget &target,
                                      ErrorHeader *diag);

/// The conversion a bound column of C type `c_type` (SQL_C_DEFAULT already
/// resolved against the column) calls for each value: one giving exactly
/// what convert_value gives, cheaper for the common kinds (a whole text, a
/// date or number that fits the buffer); convert_value itself for the types
/// without one.
[[nodiscard]] ConvertFunction conversion_for(int c_type);

/// The C type SQL_C_DEFAULT stands for on a column of `sql_type`: text for
/// the character types and for exact numerics and BIGINT (whose values may
/// not fit a C integer), the matching structure or number otherwise.
[[nodiscard]] int default_c_type(int sql_type);

/// True for the C types convert_value accepts (SQL_C_DEFAULT included).
[[nodiscard]] bool is_known_c_type(int c_type);

/// piece_offset after the last piece of a value has gone out.
inline constexpr int32_t kPieceDone = INT32_MAX;

/// Delivers a non-NULL VT_CHAR value not yet read in pieces whole into a
/// character target that has room for it and its terminator, exactly as
/// convert_value does (length, bytes, terminator, piece state), and returns
/// true. False, with nothing written, for anything else. Inline: most
/// values of a fetch into bound text buffers are this case.
[[nodiscard]] inline bool put_fitting_text(Value *v, const ConvertColumn &column, const ConvertTarget &target) {
    if (v->type != VT_CHAR || v->is_null || v->piece_offset != 0 || !target.buffer || target.capacity <= 0)
        return false;
    const size_t size = v->data.s && v->length > 0 ? static_cast<size_t>(v->length) : 0;
    if (size >= static_cast<size_t>(target.capacity) || (column.max_length > 0 && size > column.max_length))
        return false;
    if (target.length) *target.length = static_cast<SQLLEN>(size);
    char *out = static_cast<char *>(target.buffer);
    if (size > 0) std::memcpy(out, v->data.s, size);
    out[size] = 0;
    v->piece_offset = kPieceDone;
    return true;
}
