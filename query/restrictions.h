// Restrictions offered to providers: the candidates of one WHERE
// alternative for each scan (found once per plan), and the restrictions
// actually passed when a scan opens (values evaluated against the current
// outer rows, cast exactly to the column's type, forms the provider accepts).
//
// Exports: split_conjuncts, split_alternatives, walk_plan_columns, restriction_candidates,
// restriction_candidates_bound, prepare_restrictions.
#pragma once

#include <vector>

#include "query/evaluate.h"

/// Appends the operands of the AND tree at `top` to `out`, left to right
/// (an explicit stack: a NOT IN list or a generated filter is a long chain).
void split_conjuncts(Node *top, std::vector<Node *> &out);

/// The disjuncts of a top-level OR of `where` (at most `capacity`); 1 with
/// the whole condition when it is no OR or has more disjuncts than that.
int split_alternatives(Node *where, Node **out, int capacity);

/// Calls `on_column(slot, arg)` for each column reference in `e` to a table
/// of the plan's own query (`slot` null when unresolved); an enclosing
/// query's columns are fixed here and skipped. False, with the walk
/// stopped, at a sub-query or set function and, with `values_only`, at a
/// LIKE, IS NULL or CASE: `e` is then no plain value.
[[nodiscard]] bool walk_plan_columns(const ExecPlan *plan, Node *e, bool values_only,
                                     void (*on_column)(const TableSlot *slot, void *arg), void *arg);

/// Restriction candidates of `condition` for scan `index` of the plan: the
/// conjuncts comparing one of its columns with an expression that depends
/// only on outer scans, parameters, literals and enclosing queries.
[[nodiscard]] List *restriction_candidates(ExecPlan *plan, int index, Node *condition, EvalContext *context);

/// The same for a scan opened while the scans marked in `bound` (per scan,
/// non-zero: its row is current then) hold their rows, whatever their place
/// in the nested loop: the inner side of a FROM-clause join read by key.
[[nodiscard]] List *restriction_candidates_bound(ExecPlan *plan, int index, Node *condition, const uint8_t *bound,
                                                 EvalContext *context);

/// Fills scan->restrictions / restriction_count with the candidates the
/// provider accepts, their values evaluated now (in the row pool). False
/// when a comparison's value is NULL: it holds for no row, so the scan has
/// none (and a provider that needs that value as its key is not asked).
[[nodiscard]] bool prepare_restrictions(ExecPlan *plan, TableScan *scan, List *candidates, EvalContext *context);
