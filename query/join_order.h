// The order in which the tables of a comma join are nested.
//
// Every order of up to kExhaustiveTables tables is costed (n! orders, the
// FROM order first); beyond that the order is built greedily, the cheapest
// next table at each step. The cost counts what the execution does: the
// outermost table is scanned once; an inner table whose restrictions cover
// a unique index with values from the outer rows (a key lookup) is opened
// once per outer row at a price of 250 rows; any other inner table is read
// once and its rows looked up in memory. Row estimates come from the
// tables' statistics: an equality on a unique index gives 1 row, on another
// column a tenth, a range half, LIKE a hundredth. A later order must be at
// least 10% cheaper to replace the FROM order, so equal estimates keep it.
//
// A table whose provider refuses a scan without an equality on its key
// (SQI_INFO_REQUIRED_KEY) is nested inside the tables that give that key:
// an order leaving it without one is taken only when no order gives it (the
// provider's error then names the missing column).
//
// Exports: kExhaustiveTables, choose_join_order.
#pragma once

#include "query/evaluate.h"

inline constexpr int kExhaustiveTables = 6;

/// Sets plan->rank (and recomputes the restriction candidates) when the
/// plan joins two or more tables with a comma join and a WHERE clause, and
/// another order is cheaper than the FROM order. Returns the orders costed.
int choose_join_order(ExecPlan *plan, EvalContext *context);
