// Application parameter buffers into engine values: the reverse of the
// column conversion. One call turns one bound buffer (or one piece sent by
// SQLPutData) into a Value of the parameter's SQL type.
//
// Exports: ParamFacts, kPendingParamValue, read_indicator,
// make_parameter_value, param_c_type_suits.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "support/value.h"

struct ErrorHeader;

/// What the conversion needs to know about one parameter.
struct ParamFacts {
    int c_type;           // the APD's C type (SQL_C_DEFAULT resolved here)
    int sql_type;         // the IPD's SQL type
    SQLULEN column_size;  // characters (or bytes) the parameter may hold; 0 = no limit
    int scale;            // decimal digits
    int odbc_version;     // 2 or 3
};

/// Reads a length/indicator the application wrote. Buffers bound by row
/// (SQL_ATTR_PARAM_BIND_TYPE) may leave it unaligned, so it is copied.
[[nodiscard]] inline SQLLEN read_indicator(const SQLLEN *p) {
    SQLLEN v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

/// The marker an IPD record holds while data at execution is being sent
/// for its parameter and no piece has arrived yet.
inline Value *const kPendingParamValue = reinterpret_cast<Value *>(static_cast<intptr_t>(-1));

/// Builds the value of one parameter from `data` with length/indicator
/// `length` (bytes, SQL_NTS, SQL_NULL_DATA; a null pointer reads as
/// SQL_NTS for character data) in `pool`. With a `previous` value other
/// than null or kPendingParamValue the data is a further piece, appended to
/// it. Returns the value, or null after posting on `diag`: HY019, HY020,
/// 22001 (characters, not bytes, are counted for text), 22003, 22007, HY000
/// "General error: %s" ("Unsupported parameter type"), HY001.
[[nodiscard]] Value *make_parameter_value(ErrorHeader *diag, const void *data, const SQLLEN *length,
                                          const ParamFacts &facts, CvPool *pool, Value *previous);

/// 1 when C type `c_type` may be bound to a parameter of SQL type `sql_type`.
[[nodiscard]] int param_c_type_suits(int c_type, int sql_type);
