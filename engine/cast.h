// Casts between types: CAST(x AS type), CONVERT(type, x) and
// {fn CONVERT(x, SQL_type)} all arrive here with the evaluated operand and
// the declared target; is_assignable answers which value types INSERT and
// UPDATE may store into which column types.
//
// Exports: cast_value, cast_result_type, is_assignable, kMaxCastText.
#pragma once

#include "engine/types.h"
#include "support/value.h"

// Longest text a cast to a character type produces.
inline constexpr int kMaxCastText = 4096;

/// Value type (and interval code) of a cast to `sql_type`; 0 when unknown.
[[nodiscard]] uint32_t cast_result_type(int sql_type, int *interval_code);

/// Casts `in` to `target`. Returns 0 with *out a new value in env->pool (a
/// NULL of the result type for a NULL operand), or -1 after posting on
/// env->diag: HY000 "Underflow in CAST" / "Overflow in CAST" for binary
/// images of the wrong size, 22003 "Numeric value out of range", 22007
/// "Invalid datetime format" (text that is no datetime, numbers cast to
/// datetimes), 22008 "Datetime field overflow" (binary images holding no
/// valid datetime), the literal parser's interval diagnostics, HY001
/// "Memory allocation error", HY000 for an unknown target type.
[[nodiscard]] int cast_value(const CastTarget *target, ValueEnv *env, const Value *in, Value **out);

/// 1 when a value of SQL type `source` may be stored into a column of SQL
/// type `target` whose type class differs, else 0.
[[nodiscard]] int is_assignable(int source, int target);
