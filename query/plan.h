// Execution plans of query specifications: one scan per FROM element joined
// by nested loops (the first element outermost), the WHERE clause split into
// alternatives whose restrictions are offered to the providers, and the
// fetch operation producing result rows.
//
// Pushed restrictions only filter early: every conjunct of WHERE is
// evaluated again on every combination (those reading only outer levels as
// soon as those levels have their rows), so results do not depend on what a
// provider did with them.
//
// Failures post on the statement's error header and throw QueryFailure.
//
// Exports: plan_create, plan_open, plan_next, plan_rows_next,
// plan_count_rows, plan_evaluate_results, plan_allow_unread_results, plan_close.
#pragma once

#include "query/evaluate.h"

/// Builds the plan of `scope` in a child pool of `pool`. Iterators are
/// opened in the plan's pool when the plan is first opened, and closed with
/// plan_close or when the pool is released.
[[nodiscard]] ExecPlan *plan_create(QueryStatement *statement, QueryScope *scope, CvPool *pool);

/// Positions the plan before its first row (again after earlier runs; outer
/// references take the current outer rows).
void plan_open(ExecPlan *plan, EvalContext *context);

/// Produces the next row into plan->results. 0 row, 100 end.
[[nodiscard]] int plan_next(ExecPlan *plan, EvalContext *context);

/// Positions the next combination of rows that passes the WHERE clause
/// (the row pool is fresh for it). 0, or 100 when there is none.
[[nodiscard]] int plan_rows_next(ExecPlan *plan, EvalContext *context);

/// Counts the combinations plan_rows_next would give without positioning
/// any of them, when the plan is one join whose matches need no evaluation
/// (join_count_next) and there is no WHERE: true with *count set, the plan
/// then at its end. False when it cannot: nothing was read beyond opening
/// the join, and plan_rows_next goes on from there.
[[nodiscard]] bool plan_count_rows(ExecPlan *plan, int64_t *count, EvalContext *context);

/// Evaluates the select list for the current rows into plan->results.
void plan_evaluate_results(ExecPlan *plan, EvalContext *context);
/// Lets the plan hand out its plain column results unread (deferred) when
/// it delivers each row as it reads it (no grouping or DISTINCT).
void plan_allow_unread_results(ExecPlan *plan);

/// Closes every iterator of the plan. Idempotent.
void plan_close(ExecPlan *plan);
