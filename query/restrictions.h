// Restrictions offered to providers: the candidates of one WHERE
// alternative for each scan (found once per plan), and the restrictions
// actually passed when a scan opens (values evaluated against the current
// outer rows, cast exactly to the column's type, forms the provider accepts).
//
// Exports: split_alternatives, restriction_candidates, prepare_restrictions.
#pragma once

#include "query/evaluate.h"

/// The disjuncts of a top-level OR of `where` (at most `capacity`); 1 with
/// the whole condition when it is no OR or has more disjuncts than that.
int split_alternatives(Node *where, Node **out, int capacity);

/// Restriction candidates of `condition` for scan `index` of the plan: the
/// conjuncts comparing one of its columns with an expression that depends
/// only on outer scans, parameters, literals and enclosing queries.
[[nodiscard]] List *restriction_candidates(ExecPlan *plan, int index, Node *condition, EvalContext *context);

/// Fills scan->restrictions / restriction_count with the candidates the
/// provider accepts, their values evaluated now (in the row pool).
void prepare_restrictions(ExecPlan *plan, TableScan *scan, List *candidates, EvalContext *context);
