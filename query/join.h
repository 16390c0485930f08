// The levels of a plan's nested loop: a base table, or a join written in
// the FROM clause.
//
// A join reads its outer side row by row and its inner side once per
// execution (kept in memory within work_mem_size, decoded column by column,
// past it in a work file, mode 0600, gone with the plan), then for each
// outer row goes over the inner rows (only those whose keys match, when the
// ON condition holds equalities between the sides; only the run within ON's
// bounds on one inner column, band_join.h) and evaluates ON. LEFT and RIGHT joins produce an
// unmatched preserved row with the other side NULL; FULL joins then produce
// every inner row that never matched, from the matched marks. A base table
// below the outermost level whose restrictions do not take values from the
// outer rows is also read once per execution and gone over again for every
// outer row, instead of being scanned again through its provider.
//
// A base table below the outermost level whose restrictions form a key
// lookup with the outer rows' values (and the inner table of a FROM-clause
// join whose provider needs the key the outer side gives) is read by key for
// each outer row, its reads kept for the execution (keyed_reads.h).
//
// Exports: PlanUnit, join_setup, join_reset, unit_open, unit_fetch, unit_level,
// join_countable, join_count_next.
#pragma once

#include "query/evaluate.h"

/// Builds plan->units from the scope's FROM elements (called by
/// plan_create after the alternatives).
void join_setup(ExecPlan *plan, EvalContext *context);

/// Forgets rows read once (the plan is opened again).
void join_reset(ExecPlan *plan);

/// Opens level `k` of the nested loop for the current outer rows.
void unit_open(ExecPlan *plan, int k, EvalContext *context);

/// The next row of level `k`: 0, or 100 at its end.
[[nodiscard]] int unit_fetch(ExecPlan *plan, int k, EvalContext *context);

/// The level of the nested loop that reads scan `index`.
[[nodiscard]] int unit_level(const ExecPlan *plan, int index);

/// Whether level `k`, opened, is a join (not FULL) whose matches for an
/// outer row are known without evaluating anything on the pairs: ON is
/// the equalities its inner rows are looked up by, or the bounds of a band
/// join, nothing else.
[[nodiscard]] bool join_countable(const ExecPlan *plan, int k);

/// For a countable level: reads the next outer row and sets *rows to the
/// rows it gives (its matches, or 1 for an unmatched row a LEFT or RIGHT
/// join keeps). 0, or 100 at the end of the outer rows. No inner row is put
/// into the scans.
[[nodiscard]] int join_count_next(ExecPlan *plan, int k, int64_t *rows, EvalContext *c);
