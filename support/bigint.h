// Checked integer arithmetic for the engine's 32-bit and 64-bit integers.
//
// SQL integer arithmetic must never wrap: every operation here reports
// overflow (including INT_MIN / -1 and -INT_MIN) and division by zero, and
// the value-level entries post 22003 "Numeric value out of range" or 22012
// "Division by zero". A double operand makes the operation a double one
// (BIGINT + DOUBLE is DOUBLE).
//
// Exports: IntStatus codes (kIntOk, kIntOverflow, kIntDivZero),
// checked_add64, checked_sub64, checked_mul64, checked_div64, checked_mod64,
// checked_neg64, checked_add32 .. checked_neg32, bigint_operation,
// integer_operation, double_operation.
#pragma once

#include <cstdint>

struct Value;
struct ErrorHeader;

inline constexpr int kIntOk = 0;
inline constexpr int kIntOverflow = -1;
inline constexpr int kIntDivZero = -2;

[[nodiscard]] int checked_add64(int64_t a, int64_t b, int64_t *out);
[[nodiscard]] int checked_sub64(int64_t a, int64_t b, int64_t *out);
[[nodiscard]] int checked_mul64(int64_t a, int64_t b, int64_t *out);
/// Truncating division.
[[nodiscard]] int checked_div64(int64_t a, int64_t b, int64_t *out);
/// Remainder with the sign of a; MOD(INT64_MIN, -1) is 0, not a trap.
[[nodiscard]] int checked_mod64(int64_t a, int64_t b, int64_t *out);
[[nodiscard]] int checked_neg64(int64_t a, int64_t *out);
[[nodiscard]] int checked_add32(int32_t a, int32_t b, int32_t *out);
[[nodiscard]] int checked_sub32(int32_t a, int32_t b, int32_t *out);
[[nodiscard]] int checked_mul32(int32_t a, int32_t b, int32_t *out);
[[nodiscard]] int checked_div32(int32_t a, int32_t b, int32_t *out);
[[nodiscard]] int checked_mod32(int32_t a, int32_t b, int32_t *out);
[[nodiscard]] int checked_neg32(int32_t a, int32_t *out);

/// Operands of which one is VT_BIGINT (the other integer, bit or bigint;
/// a double operand turns it into double_operation). `code` 1 add, 2 sub,
/// 4 mul, 5 div, 6 negate (right operand only; left may be null) write a
/// VT_BIGINT into *result; 7 to 12 write a truth value. NULL operands give
/// NULL (unknown). Returns 0, or -1 after posting 22003 / 22012 on `diag`.
[[nodiscard]] int bigint_operation(const Value *left, const Value *right, Value *result,
                                   ErrorHeader *diag, int code);

/// The same for two 32-bit integers (VT_INTEGER / VT_BIT); the result is
/// VT_INTEGER and overflow is an error, never a wrapped value.
[[nodiscard]] int integer_operation(const Value *left, const Value *right, Value *result,
                                    ErrorHeader *diag, int code);

/// The same in double precision (any numeric operands); division by zero
/// and non-finite results post 22012 / 22003.
[[nodiscard]] int double_operation(const Value *left, const Value *right, Value *result,
                                   ErrorHeader *diag, int code);
