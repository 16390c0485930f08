// Table scans of a plan: setup of the row values, opening with the current
// alternative's restrictions, fetching a row, closing.
//
// Exports: scan_setup, scan_open, scan_fetch, scan_close, read_row_value,
// finish_row_value_read, settle_cut_text, raise_no_row_column, text_capacity_of,
// row_column_value, row_column_unread.
#pragma once

#include "query/deferred.h"
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
/// The rest of read_row_value once read_deferred_value answered `read`
/// (not 0): raises "Data Read Error" for -1, reads the rest of a cut text.
void finish_row_value_read(Value *v, int read, int32_t *capacity, EvalContext *c);
/// Makes the deferred character value `v` (VT_CHAR, VT_LONG_CHAR) its first
/// piece, `n` bytes of `prefix` read by the caller and cut, followed by the
/// pieces still to be read. Raises "Data Read Error".
void settle_cut_text(Value *v, const char *prefix, size_t n, EvalContext *context);
/// Raises "Unexpected type in eval expr": no scan holds a referenced column.
[[noreturn]] void raise_no_row_column(EvalContext *c);

/// The capacity slot a scan's text value grows (its column's, kept for the
/// following rows); null for other values.
[[nodiscard]] inline int32_t *text_capacity_of(const Value *v) {
    return v->type == VT_CHAR ? static_cast<int32_t *>(v->source_column_info) : nullptr;
}

/// The current row's value of the column `ref` names, left deferred when
/// it is (for a caller that reads it itself, QueryOptions::results_unread).
/// Raises "Unexpected type in eval expr" when no scan holds the column.
[[nodiscard]] inline Value *row_column_unread(const ColumnRefNode *ref, EvalContext *c) {
    auto *slot = static_cast<TableSlot *>(ref->table_slot);
    TableScan *scan = slot ? slot->scan : nullptr;
    const int position = ref->column_position;
    if (!scan || !scan->values || position < 1 || position > slot->column_count) raise_no_row_column(c);
    Value *v = scan->values[position - 1];
    if (!v) raise_no_row_column(c);
    return v;
}

/// row_column_value read now when it was deferred; "Data Read Error" when
/// the read fails. Inline: every column of every row fetched passes here.
[[nodiscard]] inline Value *row_column_value(const ColumnRefNode *ref, EvalContext *c) {
    Value *v = row_column_unread(ref, c);
    if (v->deferred) {
        const int r = read_deferred_value(v);
        if (r != 0) finish_row_value_read(v, r, text_capacity_of(v), c);
    }
    return v;
}
/// Closes the iterator. Idempotent.
void scan_close(TableScan *scan);
