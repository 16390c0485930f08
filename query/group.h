// Set functions, GROUP BY with HAVING, and SELECT DISTINCT of one query
// specification: the fetch operations that replace the direct one.
//
// Set functions without GROUP BY read every combination and produce one
// row (also over no rows: COUNT gives 0, the others NULL). GROUP BY writes
// every combination into a sort keyed by the grouping expressions, carrying
// the columns the query uses; groups are then read back one after another,
// the columns restored, the set functions accumulated, HAVING applied.
// DISTINCT writes the result rows into a unique sort keyed by every result
// column, LONG ones by their whole value (rows carry them).
//
// Accumulators: COUNT and COUNT(*) count; SUM over integers adds in checked
// 64-bit integers (22003 on overflow), over exact numerics exactly, over
// doubles as doubles, over intervals as intervals; AVG divides the sum by the
// count; MIN and MAX keep a copy of the extreme value; the DISTINCT forms
// see each distinct non-NULL argument once (NULLs ignored): a hash set of
// the arguments' keys within the statement's work memory, and past it a
// unique sort of the values the set does not hold, read when the group ends.
//
// Exports: group_setup, group_open, aggregate_value, sort_failure.
#pragma once

#include "query/evaluate.h"

struct Sort;

/// Chooses the plan's fetch operation when its scope groups, aggregates or
/// is DISTINCT (called by plan_create).
void group_setup(ExecPlan *plan, EvalContext *context);

/// Resets the grouping state when the plan is opened again.
void group_open(ExecPlan *plan);

/// The current value of a set function of a running plan.
[[nodiscard]] Value *aggregate_value(AggregateNode *node, EvalContext *context);

/// Raises the failure of a sort operation (code from sort.h): HYT00 for a
/// deadline, HY001 for memory, else HY000 with the sort's text.
[[noreturn]] void sort_failure(Sort *sort, int code, EvalContext *context);
