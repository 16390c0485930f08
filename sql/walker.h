// The expression walker: visits the nodes of an expression after their
// children (post-order).
//
// Children by kind: operator (left, right); cast (operand); function
// (operands 1 to 3, then the argument list except arguments the function
// table marks as interval keywords); aggregate (the DISTINCT column, or the
// argument); trim (the trim character); LIKE, IS NULL, quantified (the
// operand); IN (the operand and, once the engine replaced the subquery by a
// value list, each value; with neither, the node is skipped entirely); CASE
// (operand, each WHEN, ELSE); NULLIF and WHEN (first, second); COALESCE (each
// argument, the node itself is not visited). Subqueries are never entered.
// The walk is iterative, so its depth is not limited by the call stack.
//
// Exports: SqlVisitFn, walk_expression.
#pragma once

struct Node;

/// Called for each node; a non-zero return stops the walk and is returned.
using SqlVisitFn = int (*)(Node *node, void *context);

/// Walks `node` (null is an empty walk). Returns 0 when every visit returned
/// 0, else the first non-zero value.
int walk_expression(Node *node, SqlVisitFn visit, void *context);
