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
// raise_evaluation_error, compare_values_op, order_or_raise,
// raise_order_failure, truth_from_order, apply_arithmetic.
#pragma once

#include "engine/value_order.h"
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

/// The comparison `op` (OP_LT .. OP_NE) of two values by the one order of
/// values (engine/value_order.h): unknown when either is NULL; raises 22012
/// for a text that is no date, time or timestamp it is compared with, 22018
/// for one that is no number, HY000 for kinds without an order.
[[nodiscard]] int compare_values_op(const Value *left, const Value *right, int op, EvalContext *context);

/// The sign of left minus right (neither NULL) by the one order of values;
/// raises as compare_values_op does (`op` names the comparison in the
/// HY000 message).
[[nodiscard]] int order_or_raise(const Value *left, const Value *right, int op, EvalContext *context);

/// Raises the failure value_order reported for comparison `op`.
[[noreturn]] void raise_order_failure(OrderResult result, int op, EvalContext *context);

/// The truth of comparison `op` given the sign of left minus right.
[[nodiscard]] int truth_from_order(int order, int op);

/// Arithmetic operator `op` (OP_ADD .. OP_NEG; left null for OP_NEG) on two
/// values: a new value in the row pool.
[[nodiscard]] Value *apply_arithmetic(const Value *left, const Value *right, int op, EvalContext *context);

/// A new value in the row pool (raises HY001 when memory runs out).
[[nodiscard]] Value *new_row_value(EvalContext *context, uint32_t type);

