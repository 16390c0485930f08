// The value record and its code sets.
//
// Every datum the engine handles (a literal, a parameter, a fetched column, an
// intermediate result, an aggregate) is a Value: a tree node of the value kind
// that lives in a memory pool. The data union uses the ODBC C structure
// layouts (DATE_STRUCT, SQL_NUMERIC_STRUCT, SQL_INTERVAL_STRUCT, ...) so that
// the ODBC conversion code and the providers can copy data areas directly.
//
// Lifetimes: a Value and its character/binary buffer belong to `pool`; they
// live until release_value (support/value_ops.h) or until the pool goes.
//
// Exports: the value type codes VT_*, the operator codes OP_*, the SQL type
// codes used by the engine (SQL_* from <sqlext.h>), kValueNodeKind, ValueData,
// Value, ValueEnv, truth value constants.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "support/pool.h"

struct ErrorHeader;
struct LongBuffer;

// Tree node kind of a value (the parse tree's NODE_VALUE). The tree header
// should alias its NODE_VALUE to this constant rather than restate it.
inline constexpr uint32_t kValueNodeKind = 154;

// ---- Value type codes (codes 6 and 31 are unused) ----
inline constexpr uint32_t VT_INTEGER = 1;             // int32
inline constexpr uint32_t VT_DOUBLE = 2;              // double
inline constexpr uint32_t VT_CHAR = 3;                // zero-terminated buffer + length
inline constexpr uint32_t VT_BIT = 4;                 // int32 0 or 1
inline constexpr uint32_t VT_BINARY = 5;              // byte buffer + length
inline constexpr uint32_t VT_DATE = 7;                // DATE_STRUCT
inline constexpr uint32_t VT_TIME = 8;                // TIME_STRUCT
inline constexpr uint32_t VT_TIMESTAMP = 9;           // TIMESTAMP_STRUCT, fraction in ns
inline constexpr uint32_t VT_NUMERIC = 10;            // SQL_NUMERIC_STRUCT
inline constexpr uint32_t VT_NULL = 11;               // DEFAULT NULL of a column default
inline constexpr uint32_t VT_BIGINT = 12;             // int64
inline constexpr uint32_t VT_INTERVAL_YM = 13;        // SQL_INTERVAL_STRUCT, year-month
inline constexpr uint32_t VT_INTERVAL_DS = 14;        // SQL_INTERVAL_STRUCT, day-time
inline constexpr uint32_t VT_CURRENT_DATE = 15;       // literal only: no data until evaluated
inline constexpr uint32_t VT_USER = 16;               // literal only
inline constexpr uint32_t VT_CURRENT_TIME = 17;       // literal only; precision = fraction digits
inline constexpr uint32_t VT_CURRENT_TIMESTAMP = 18;  // literal only; precision = fraction digits
inline constexpr uint32_t VT_REF_INT32 = 19;          // data.ref -> int32
inline constexpr uint32_t VT_REF_INT16 = 20;          // data.ref -> int16
inline constexpr uint32_t VT_REF_INT8 = 21;           // data.ref -> int8
inline constexpr uint32_t VT_REF_DOUBLE = 22;         // data.ref -> double
inline constexpr uint32_t VT_REF_DATE = 23;           // data.ref -> DATE_STRUCT
inline constexpr uint32_t VT_REF_TIME = 24;           // data.ref -> TIME_STRUCT
inline constexpr uint32_t VT_REF_TIMESTAMP = 25;      // data.ref -> TIMESTAMP_STRUCT
inline constexpr uint32_t VT_REF_INTERVAL = 26;       // data.ref -> SQL_INTERVAL_STRUCT
inline constexpr uint32_t VT_REF_NUMERIC = 27;        // data.ref -> SQL_NUMERIC_STRUCT
inline constexpr uint32_t VT_REF_BIGINT = 28;         // data.ref -> int64
inline constexpr uint32_t VT_LONG_CHAR = 29;          // long_buffer
inline constexpr uint32_t VT_LONG_BINARY = 30;        // long_buffer
inline constexpr uint32_t VT_CONNECTION_INT = 32;     // literal only (@@IDENTITY)
inline constexpr uint32_t kValueTypeMax = 32;

/// True for the kinds that flow between operators, rowsets and the ODBC
/// layer (1 to 14 except 6 and 11, 29, 30).
[[nodiscard]] constexpr bool is_plain_value_type(uint32_t t) {
    return (t >= 1 && t <= 14 && t != 6 && t != 11) || t == VT_LONG_CHAR || t == VT_LONG_BINARY;
}
[[nodiscard]] constexpr bool is_interval_value_type(uint32_t t) {
    return t == VT_INTERVAL_YM || t == VT_INTERVAL_DS;
}
[[nodiscard]] constexpr bool is_char_value_type(uint32_t t) { return t == VT_CHAR || t == VT_LONG_CHAR; }

// ---- Operator codes of the operator node (class 4) ----
// Arithmetic is 1 to 6; everything else is a comparison.
inline constexpr int OP_ADD = 1;
inline constexpr int OP_SUB = 2;
inline constexpr int OP_CONCAT = 3;
inline constexpr int OP_MUL = 4;
inline constexpr int OP_DIV = 5;
inline constexpr int OP_NEG = 6;  // unary minus: right operand only
inline constexpr int OP_LT = 7;
inline constexpr int OP_GT = 8;
inline constexpr int OP_GE = 9;
inline constexpr int OP_LE = 10;
inline constexpr int OP_EQ = 11;
inline constexpr int OP_NE = 12;
[[nodiscard]] constexpr bool is_arithmetic_op(int op) { return op >= OP_ADD && op <= OP_NEG; }
[[nodiscard]] constexpr bool is_comparison_op(int op) { return op >= OP_LT && op <= OP_NE; }

// ---- Truth values ----
inline constexpr int kFalse = 0;
inline constexpr int kTrue = 1;
inline constexpr int kUnknown = 2;

// ---- The data union ----
union ValueData {
    int32_t i;                     // VT_INTEGER, VT_BIT, truth values
    double d;                      // VT_DOUBLE
    char *s;                       // VT_CHAR: zero-terminated, `length` bytes before it
    uint8_t *bytes;                // VT_BINARY: `length` bytes
    DATE_STRUCT date;              // VT_DATE
    TIME_STRUCT time;              // VT_TIME
    TIMESTAMP_STRUCT ts;           // VT_TIMESTAMP (fraction in nanoseconds)
    SQL_NUMERIC_STRUCT num;        // VT_NUMERIC (sign 1 = positive)
    SQL_INTERVAL_STRUCT iv;        // VT_INTERVAL_YM, VT_INTERVAL_DS
    int64_t big;                   // VT_BIGINT
    void *ref;                     // VT_REF_*: external storage
};

// ---- The value record ----
struct Value {
    uint32_t kind;                       // always kValueNodeKind
    uint32_t type;                       // VT_* code
    int32_t length;                      // char: bytes without terminator; binary: bytes;
                                         // deferred read: capacity of the buffer
    int32_t reported_length;             // binary from a provider: its reported byte count
    int32_t piece_offset;                // bytes piecewise retrieval has delivered
    int32_t precision;                   // exact numerics from providers; CURRENT_TIME(p)
    int32_t scale;                       // exact numerics from providers
    int32_t interval_leading_precision;  // intervals
    int32_t interval_seconds_precision;  // intervals (0 = none given)
    int32_t is_null;                     // 0 not null; other = NULL (engine writes -1)
    LongBuffer *long_buffer;             // VT_LONG_CHAR / VT_LONG_BINARY data
    int32_t copy_mark;                   // 0 on every copy made by materialise_value
    CvPool *pool;                        // the pool that owns the value
    int32_t deferred;                    // 1 = not yet read from the provider
    void *source_iterator;               // deferred: the DalIterator to read from
    int32_t source_column;               // deferred: column number in that iterator
    void *source_column_info;            // deferred exact numerics: per-column flags
    int32_t owns_data;                   // 1 = the buffer was allocated with the value
    ValueData data;                      // the datum
};

static_assert(sizeof(SQL_NUMERIC_STRUCT) == 19, "exact numeric layout");
static_assert(sizeof(SQL_INTERVAL_STRUCT) == 28, "interval layout");
static_assert(sizeof(TIMESTAMP_STRUCT) == 16, "timestamp layout");
static_assert(sizeof(DATE_STRUCT) == 6 && sizeof(TIME_STRUCT) == 6, "date/time layout");

// Largest character value the engine builds from functions and casts.
inline constexpr int32_t kMaxCharValue = 16 * 1024 * 1024;

// What value services, casts and scalar functions need from the running
// statement. The caller owns it; every field but `pool` and `diag` may be
// left zero.
struct ValueEnv {
    CvPool *pool;            // where result values are made
    ErrorHeader *diag;       // where failures are posted (return code -1 set)
    TIMESTAMP_STRUCT start;  // the statement's start instant, local time
    int odbc_version;        // 2 or 3: picks the date/time SQL type codes
    const char *user;        // connection attribute "UID", or null
    const char *database;    // current database, or null
    int32_t connection_int;  // what VT_CONNECTION_INT reports
    // Reads a whole VT_LONG_CHAR / VT_LONG_BINARY argument into a pool
    // buffer; returns 0 and sets *text/*length, or -1. Null: the value's
    // long buffer is read directly.
    int (*read_long)(void *arg, const Value *v, CvPool *pool, char **text, int32_t *length);
    void *read_long_arg;
};
