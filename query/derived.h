// Derived tables in the FROM clause at execution: the derived query runs
// through the engine's own plans (one query specification) or cursor (a
// UNION) and its rows are kept for the scan that reads them.
//
// An uncorrelated derived table is run once per execution of the plan that
// holds it: every later opening (a nested loop's inner side, a correlated
// sub-query's plan opened again for each outer row) reads the rows kept,
// in memory within work_mem_size and past it in a work file (mode 0600,
// gone with the plan). A derived table that refers to an enclosing query's
// row is run again each time its scan opens.
//
// The derived query gives its rows as the scan asks for them (the first
// row costs what the derived query's first row costs); a UNION runs
// through the statement's cursor machinery, the statement's own open cursor
// put aside while it gives a row. The only table of a top-level query is
// opened once, so its rows are not kept.
//
// Exports: derived_open, derived_fetch, derived_close.
#pragma once

#include "query/evaluate.h"

/// Opens the scan of derived table `index` of the plan (running its query
/// when its rows are not kept yet).
void derived_open(ExecPlan *plan, int index, EvalContext *context);

/// The next row into the scan's values: 0, or 100 at the end.
[[nodiscard]] int derived_fetch(ExecPlan *plan, int index, EvalContext *context);

/// Closes the derived query's scans when it was read part of the way (its
/// next opening runs it again). Idempotent.
void derived_close(TableScan *scan);
