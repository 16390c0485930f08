// Column type descriptions and the type-combination rules.
//
// An ExtendedType describes the SQL type of a column or expression as the
// implementation descriptors report it. One static template exists per SQL
// type (type_template copies it). check_type_combination is the validator's
// entry for "may operator op combine these two SQL types, and what results";
// combine_types runs the same decision on two descriptions and computes the
// result's precision, scale and interval precision.
//
// describe_* compute the description of each expression form from the
// descriptions of its parts; the tree walker that dispatches on node kinds
// (describe_expression) calls them, so the rules live here once.
//
// Exports: ExtendedType, TYPE_COMPARABLE, TYPE_INCOMPATIBLE, type_template,
// type_class, type_class_fine, check_type_combination, combine_types,
// value_type_for_sql_type, sql_type_for_value, describe_value, describe_cast,
// describe_concat, describe_case, describe_set_function,
// describe_scalar_function, SetFunctionKind, CastTarget.
#pragma once

#include <cstdint>

#include "support/value.h"

inline constexpr int TYPE_COMPARABLE = 100;
inline constexpr int TYPE_INCOMPATIBLE = -9999;

// Type classes (type_class / type_class_fine).
inline constexpr int kClassCharacter = 0;
inline constexpr int kClassNumeric = 1;
inline constexpr int kClassBinary = 2;
inline constexpr int kClassDate = 3;      // type_class_fine only
inline constexpr int kClassTime = 4;      // type_class_fine only
inline constexpr int kClassDatetime = 5;  // type_class: all six; fine: timestamp
inline constexpr int kClassIntervalYM = 6;
inline constexpr int kClassIntervalDS = 7;
inline constexpr int kClassUnknown = -1;  // not one of the listed codes

struct ExtendedType {
    int32_t sql_type;            // concise SQL type code
    int32_t subcode;             // datetime 1-3 or interval 1-13
    int32_t interval_precision;  // interval leading precision
    int32_t display_size;        // characters needed to display a value
    int32_t fixed_prec_scale;    // 0 in every template
    char literal_prefix[64];
    char literal_suffix[64];
    char local_name[64];         // ODBC constant name, "SQL_DOUBLE"
    char type_name[64];          // SQL name, "DOUBLE PRECISION"
    int32_t nullable;            // 1 in every template
    int32_t radix;               // 10, 2 or 0
    int32_t length;              // bytes of the transferred form
    int32_t precision;
    int32_t scale;
    int32_t auto_unique;         // 0 in every template
    int32_t verbose_type;        // 9 datetime, 10 interval, else concise code
    int32_t searchable;          // 3 all, 1 LIKE only, 0 none
    int32_t case_sensitive;      // 1 for character types
    int32_t unsigned_flag;       // non-zero = unsigned
    int32_t updatable;           // 2 in every template
    int32_t column_size;
    int32_t digits;              // decimal or binary digits
    char create_params[64];      // "length", "precision,scale", "precision" or ""
    uint8_t minimum_scale;
    uint8_t maximum_scale;
};

/// Copies the template of `sql_type` into *out. Returns 0, or -1 for an
/// unknown code (out untouched).
[[nodiscard]] int type_template(int sql_type, ExtendedType *out);

/// Date/time/timestamp template code for the ODBC version in force (91-93
/// for version 3, 9-11 otherwise); `subcode` 1 date, 2 time, 3 timestamp.
[[nodiscard]] int datetime_sql_type(int subcode, int odbc_version);

/// Class of an SQL type (kClass* constants). Codes outside the listed ones
/// (wide characters included) give kClassUnknown: the validator must not pass
/// them, and callers treat the result as an internal error.
[[nodiscard]] int type_class(int sql_type);
[[nodiscard]] int type_class_fine(int sql_type);

/// The validator's combination rule on bare SQL types: the result SQL type,
/// TYPE_COMPARABLE for an allowed comparison, or TYPE_INCOMPATIBLE. For
/// OP_NEG the left type is ignored.
[[nodiscard]] int check_type_combination(int left_type, int right_type, int op);

/// The same rule on two descriptions; `left` may be null for OP_NEG. When a
/// result type arises and out is non-null, *out receives its template with
/// precision, scale and interval precision adjusted. Returns what
/// check_type_combination returns.
[[nodiscard]] int combine_types(const ExtendedType *left, const ExtendedType *right, int op,
                                ExtendedType *out);

/// Value type holding a value of an SQL type (casts, typed NULLs,
/// accumulators); interval codes also give their interval type in
/// *interval_code when non-null. Returns 0 for an unknown SQL type.
[[nodiscard]] uint32_t value_type_for_sql_type(int sql_type, int *interval_code);

/// The SQL type reported for a plain value (its template code), or 0 when
/// none applies (VT_BIGINT reports BIGINT here so rowsets can describe it).
[[nodiscard]] int sql_type_for_value(const Value *v, int odbc_version);

/// Description of a literal value. Returns 0, or -1 for kinds that are not
/// described (out untouched).
[[nodiscard]] int describe_value(const Value *v, int odbc_version, ExtendedType *out);

/// A CAST's declared target: SQL type and what the declaration states
/// (0 / -1 where nothing was declared).
struct CastTarget {
    int32_t sql_type;
    int32_t length;              // CHAR(n), VARCHAR(n), BINARY(n); 0 = not given
    int32_t precision;           // NUMERIC(p,s), FLOAT(p), TIME(p), TIMESTAMP(p); -1 = not given
    int32_t scale;               // NUMERIC(p,s); -1 = not given
    int32_t leading_precision;   // intervals; 0 = default 2
    int32_t seconds_precision;   // intervals with seconds; -1 = default 6
};

/// Description of CAST(... AS target). Returns 0, or -1 for an unknown type.
[[nodiscard]] int describe_cast(const CastTarget *target, int odbc_version, ExtendedType *out);

/// Description of left || right: the left description when it is VARCHAR or
/// LONG VARCHAR, else the right; length and display size are the sums
/// (saturating at 2147483647).
void describe_concat(const ExtendedType *left, const ExtendedType *right, ExtendedType *out);

/// Description of a CASE (and of COALESCE, which is one): the combination of
/// all `count` results (THENs and ELSE) under the addition rule, starting
/// from the first; results of another type class are ignored, a LONG VARCHAR
/// or LONG VARBINARY result makes the whole description long; for character
/// and binary results, length and display size are the largest among all
/// results. Results may be null (not described); all null gives CHAR.
void describe_case(const ExtendedType *const *results, int count, ExtendedType *out);

enum class SetFunctionKind : int32_t {
    kCount = 0,      // COUNT(*) and COUNT(x)
    kSum = 1,
    kAvg = 2,
    kMin = 3,
    kMax = 4,
    kInternal = 5,   // FIRST, LAST and the engine's own group functions
};

/// Description of a set function over an argument description (null for
/// COUNT(*)). SUM of an integer kind is described as its evaluation returns
/// it: DOUBLE (SUM accumulates integers as doubles).
void describe_set_function(SetFunctionKind kind, const ExtendedType *argument, ExtendedType *out);

/// Description of a scalar function call by function code: `args` are the
/// argument descriptions (null entries allowed for unevaluated arguments),
/// `literal_counts` the value of an integer literal argument or -1 per
/// argument. Returns 0, or -1 for an unknown code.
[[nodiscard]] int describe_scalar_function(int code, int argc, const ExtendedType *const *args,
                                           const int64_t *literal_counts, ExtendedType *out);

/// True when `sql_type` is CHAR or VARCHAR (not LONG VARCHAR).
[[nodiscard]] bool is_short_char_type(int sql_type);
