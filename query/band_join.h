// Band joins: a join read once whose ON condition bounds one column of the
// inner side by values of the outer side (`<`, `<=`, `>`, `>=`, BETWEEN, a
// lower and an upper bound together), or a comma-joined table read once
// whose WHERE bounds one of its columns by the outer levels' rows. The inner rows, kept decoded
// (row_store.h), are sorted once by that column; for each outer row the run
// of rows within the bounds is found by binary search and only the rest of
// ON (the residual) is evaluated on them.
//
// Only pairs of kinds the one order of values compares without reading one
// as the other are taken (numbers of any kinds, texts, dates and times;
// engine/value_order.h), so the inner order is the order the comparisons
// see. NULLs never match: inner rows with a NULL in the column are left out
// of the order, and an outer row with a NULL bound finds no run.
//
// Exports: Band, BandBound, expression_key_form, band_plan, band_sort,
// band_run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "query/evaluate.h"
#include "query/sort_record.h"

struct RowStore;

struct BandBound {
    Node *outer;                   // the bound, an expression over the outer side
    int op;                        // OP_LT, OP_LE, OP_GT, OP_GE: inner column `op` outer
};

struct Band {
    int32_t scan = -1;             // the inner column: its scan
    int32_t column = -1;           //   and column, from 0
    std::vector<BandBound> bounds;
    std::vector<Node *> residual;  // ON's other conjuncts
    std::vector<uint32_t> order;   // inner rows with a value in the column, sorted by it
    bool sorted = false;           // `order` holds the rows of the current filling
};

/// The key form of the values `e` gives (from its description).
[[nodiscard]] KeyForm expression_key_form(Node *e);

/// Finds in `condition` (ON, or WHERE over a comma join) the bounds of one
/// column of scans [inner_lo, inner_hi) by expressions over the scans whose
/// `outer` entry is set (and constants); false when there are none. Sets
/// `band` for band_sort.
[[nodiscard]] bool band_plan(ExecPlan *plan, Node *condition, int inner_lo, int inner_hi,
                             const std::vector<uint8_t> &outer, Band &band);

/// Sorts the rows of `rows` (kept decoded) by the band's column. Raises
/// HY001.
void band_sort(Band &band, const RowStore &rows, EvalContext *c);

/// The run [*first, *last) of `band.order` within the bounds for the current
/// outer row (empty for a NULL bound). Raises what the comparison raises.
void band_run(const Band &band, const RowStore &rows, EvalContext *c, size_t *first, size_t *last);
