// Set functions of a query without GROUP BY: every combination is read and
// accumulated, then one row is produced (COUNT gives 0 over no rows, the
// others NULL). COUNT, SUM, AVG, MIN, MAX, FIRST and LAST; the DISTINCT
// forms wait for the sort of grouping.
//
// Exports: Accumulator, aggregate_fetch, aggregate_value.
#pragma once

#include "query/evaluate.h"

/// One set function's running state.
struct Accumulator {
    int64_t count;   // rows (COUNT(*)) or non-null values
    double sum;      // SUM / AVG of numbers other than exact numerics
    Value *exact;    // SUM of exact numerics and intervals, MIN, MAX, FIRST, LAST (exec pool)
    int32_t failed;  // reserved
};

/// The fetch operation of such a plan: 0 with the one row, then 100.
[[nodiscard]] int aggregate_fetch(ExecPlan *plan);

/// The value of a set function node while its plan produces its row.
[[nodiscard]] Value *aggregate_value(AggregateNode *node, EvalContext *context);
