// Table scans of a plan: setup of the row values, opening with the current
// alternative's restrictions, fetching a row, closing.
//
// Exports: scan_setup, scan_open, scan_fetch, scan_close, read_row_value,
// row_column_value.
#pragma once

#include "query/evaluate.h"

/// Makes the row values of scan `index` (one per column the query uses).
void scan_setup(ExecPlan *plan, int index, EvalContext *context);
/// Opens (first time) or resets the scan's iterator and starts its query
/// with the restrictions the provider accepts, valued for the current outer
/// rows.
void scan_open(ExecPlan *plan, int index, EvalContext *context);
/// Next row: 0, or 100 at the end. Columns are read now, or marked deferred
/// when the provider allows lazy reads.
[[nodiscard]] int scan_fetch(ExecPlan *plan, int index, EvalContext *context);
/// Reads a deferred row value; a text longer than `*capacity` is read whole
/// into a larger buffer and *capacity grows. Raises "Data Read Error".
void read_row_value(Value *v, int32_t *capacity, EvalContext *context);
/// The current row's value of the column `ref` names, read now when it was
/// deferred. Raises "Unexpected type in eval expr" when no scan holds the
/// column, "Data Read Error" when the read fails.
[[nodiscard]] Value *row_column_value(const ColumnRefNode *ref, EvalContext *c);
/// Closes the iterator. Idempotent.
void scan_close(TableScan *scan);
