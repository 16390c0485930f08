// Expression evaluation against the current rows of the running plans.
//
// evaluate_expression returns the value of an expression; the caller must
// treat it as read-only (it may be a scan's current column value or a
// parameter's value, not a copy). New values are made in the statement's row
// pool, which the top-level fetch replaces before every candidate row, so
// nothing is released one by one. evaluate_condition returns a truth value
// (kFalse, kTrue, kUnknown) without building values for AND, OR and the
// predicates.
//
// Errors post their diagnostic on the statement's error header and throw
// QueryFailure, caught at the engine's entry points.
//
// Exports: EvalContext, evaluate_expression, evaluate_condition,
// raise_evaluation_error, compare_values_op, apply_arithmetic,
// double_equal_text.
#pragma once

#include "query/records.h"

struct EvalContext {
    QueryStatement *statement;
};

[[nodiscard]] Value *evaluate_expression(Node *node, EvalContext *context);
[[nodiscard]] int evaluate_condition(Node *node, EvalContext *context);

/// Posts `sqlstate` (origin "ODBC3.0") with the message and throws.
[[noreturn]] void raise_evaluation_error(EvalContext *context, const char *sqlstate, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
/// Throws after a helper posted its own diagnostic.
[[noreturn]] void raise_posted(EvalContext *context);

/// The comparison `op` (OP_LT .. OP_NE) of two values: a truth value.
[[nodiscard]] int compare_values_op(const Value *left, const Value *right, int op, EvalContext *context);

/// Arithmetic operator `op` (OP_ADD .. OP_NEG; left null for OP_NEG) on two
/// values: a new value in the row pool.
[[nodiscard]] Value *apply_arithmetic(const Value *left, const Value *right, int op, EvalContext *context);

/// The equality of doubles: equal when their six-decimal texts agree.
[[nodiscard]] bool double_equal_text(double a, double b);

/// A new value in the row pool (raises HY001 when memory runs out).
[[nodiscard]] Value *new_row_value(EvalContext *context, uint32_t type);

/// The value types a key of an IN cache is built from fall into these
/// classes (character or binary; date, time or timestamp; interval; other).
[[nodiscard]] int value_key_class(uint32_t type);
