// Exact numerics in the ODBC SQL_NUMERIC_STRUCT form.
//
// A numeric is a sign, a scale and a 128-bit little-endian magnitude; the
// engine keeps at most 38 decimal digits (precision 1 to 38). Arithmetic
// widens to 256 bits internally, so products and quotients are exact before
// they are rounded (half away from zero) to the result scale; a result that
// still needs more than 38 digits is an overflow, never a wrapped value.
//
// Exports: NumericStatus codes, kMaxNumericPrecision, numeric_magnitude,
// numeric_set, int_to_numeric, bigint_to_numeric, double_to_numeric,
// string_to_numeric, numeric_to_double, numeric_to_bigint, numeric_to_int,
// numeric_to_string, decimal_text_at_scale, numeric_is_zero, numeric_compare, numeric_add,
// numeric_sub, numeric_mul, numeric_div, numeric_negate, numeric_rescale,
// numeric_operation, add_numeric.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

struct Value;
struct ErrorHeader;

inline constexpr int kNumOk = 0;
inline constexpr int kNumOverflow = -1;   // more than 38 digits, or out of the target range
inline constexpr int kNumDivZero = -2;    // division by zero
inline constexpr int kNumBadText = -3;    // text holds no leading number (result is 0)
inline constexpr int kMaxNumericPrecision = 38;

using NumMagnitude = unsigned __int128;

/// The magnitude of `n` (little-endian val bytes).
[[nodiscard]] NumMagnitude numeric_magnitude(const SQL_NUMERIC_STRUCT *n);

/// Writes magnitude, sign, scale and precision (0 = the digits needed).
/// Returns kNumOverflow when the magnitude has more than 38 digits.
[[nodiscard]] int numeric_set(SQL_NUMERIC_STRUCT *out, NumMagnitude magnitude, bool negative,
                              int precision, int scale);

/// Integer to numeric at `scale` (>= 0; negative means 0). Returns kNumOk or
/// kNumOverflow (the scaled value does not fit `precision` digits, when
/// precision > 0, or 38).
[[nodiscard]] int int_to_numeric(int64_t v, SQL_NUMERIC_STRUCT *out, int precision, int scale);
[[nodiscard]] int bigint_to_numeric(int64_t v, SQL_NUMERIC_STRUCT *out, int precision, int scale);

/// Double to numeric. `scale` < 0 keeps the digits of the shortest text that
/// reads back as the same double. NaN and infinities are kNumOverflow.
[[nodiscard]] int double_to_numeric(double d, SQL_NUMERIC_STRUCT *out, int precision, int scale);

/// The leading decimal number of `text` (spaces, sign, digits, point,
/// digits, exponent) rounded to `scale` (< 0: as written, up to 38 digits).
/// Returns kNumOk, kNumBadText (no number: out is 0) or kNumOverflow.
[[nodiscard]] int string_to_numeric(const char *text, SQL_NUMERIC_STRUCT *out, int precision,
                                    int scale);

[[nodiscard]] double numeric_to_double(const SQL_NUMERIC_STRUCT *n);
/// Truncates toward zero. kNumOverflow when the integer part does not fit.
[[nodiscard]] int numeric_to_bigint(const SQL_NUMERIC_STRUCT *n, int64_t *out);
[[nodiscard]] int numeric_to_int(const SQL_NUMERIC_STRUCT *n, int32_t *out);

/// Decimal text of `n` ("-12.50" keeps the scale's digits). Writes at most
/// capacity - 1 bytes and a terminator; *length (optional) gets the full
/// length. Returns 0, or 1 when the text was cut.
int numeric_to_string(const SQL_NUMERIC_STRUCT *n, char *out, size_t capacity, size_t *length);

/// numeric_to_string of `text` read at `precision` and `scale`, without
/// reading it into a structure, for the plain decimal texts amounts arrive
/// as: an optional minus, "0" or digits without a leading zero, at most
/// `scale` fraction digits, 18 digits at most once scaled and no more than
/// `precision` (when > 0), not a negative zero. Writes the text and a
/// terminator into `out` and returns its length; 0 for any other text, or
/// when it does not fit `capacity` (nothing is written).
[[nodiscard]] size_t decimal_text_at_scale(const char *text, size_t length, int precision, int scale, char *out,
                                           size_t capacity);

[[nodiscard]] bool numeric_is_zero(const SQL_NUMERIC_STRUCT *n);
/// -1, 0 or 1 by value (scales may differ; -0 equals 0).
[[nodiscard]] int numeric_compare(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b);

/// Exact arithmetic; the result scale is the larger scale (add, sub), the
/// sum of scales (mul) or max(6, scale of a, scale of b) (div), reduced when
/// needed to keep 38 digits. Return kNumOk, kNumOverflow or kNumDivZero.
[[nodiscard]] int numeric_add(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b,
                              SQL_NUMERIC_STRUCT *out);
[[nodiscard]] int numeric_sub(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b,
                              SQL_NUMERIC_STRUCT *out);
[[nodiscard]] int numeric_mul(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b,
                              SQL_NUMERIC_STRUCT *out);
[[nodiscard]] int numeric_div(const SQL_NUMERIC_STRUCT *a, const SQL_NUMERIC_STRUCT *b,
                              SQL_NUMERIC_STRUCT *out);
void numeric_negate(SQL_NUMERIC_STRUCT *n);

/// Rounds (half away from zero) or extends `n` to `scale`, then checks
/// `precision` (> 0). kNumOk or kNumOverflow.
[[nodiscard]] int numeric_rescale(const SQL_NUMERIC_STRUCT *n, int precision, int scale,
                                  SQL_NUMERIC_STRUCT *out);

/// The evaluator's entry for operands of which at least one is VT_NUMERIC
/// (the other may be integer, bit, bigint, double or numeric). `code` 1 add,
/// 2 sub, 4 mul, 5 div write a VT_NUMERIC into *result; 7 to 12 (<, >, >=,
/// <=, =, <>) write a truth value. A NULL operand gives a NULL result
/// (unknown for comparisons). Returns 0, or -1 after posting 22003 "Numeric
/// value out of range", 22012 "Division by zero" or HY000 on `diag`.
[[nodiscard]] int numeric_operation(const Value *left, const Value *right, Value *result,
                                    ErrorHeader *diag, int code);

/// SUM's accumulator step: *acc += *n. kNumOk or kNumOverflow.
[[nodiscard]] int add_numeric(SQL_NUMERIC_STRUCT *acc, const SQL_NUMERIC_STRUCT *n);
