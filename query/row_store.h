// Rows kept to be read again: a table read once for a join, a derived
// table's rows. Each row is a payload (sort_record.h) built by the caller in
// `row`; rows stay in memory while they fit the budget, and past it all of
// them move to the side store of an unnamed work file.
//
// Exports: RowStore, row_store_keep, row_store_read, row_store_clear,
// row_store_keep_scans, row_store_restore_scans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "query/sort_record.h"

struct CvPool;
struct EvalContext;
struct ExecPlan;
struct WorkFile;

struct RowStore {
    std::vector<uint8_t> data;     // rows while they fit the memory budget
    std::vector<size_t> offsets;   // row starts; `total` ends the last row
    size_t total = 0;
    WorkFile *file = nullptr;      // past the budget every row is in its side store
    int64_t budget = 0;
    ByteBuffer row;                // the row being written, or read from the file

    size_t count() const { return offsets.size(); }
};

/// Keeps `store.row` as the next row; the work file is made in `pool` in
/// `work_dir` (null: the default place). Raises HY001 or the file's error.
void row_store_keep(RowStore &store, CvPool *pool, const char *work_dir, EvalContext *c);

/// Row `row` (from 0, below count()): its bytes and length. Valid until the
/// next read or keep.
const uint8_t *row_store_read(RowStore &store, size_t row, size_t *length, EvalContext *c);

/// Forgets every row and closes the work file.
void row_store_clear(RowStore &store);

/// Keeps the used column values of scans [lo, hi) of `plan` (deferred ones
/// read first) as the next row of `store`.
void row_store_keep_scans(ExecPlan *plan, int lo, int hi, RowStore &store, EvalContext *c);

/// Puts row `row` of `store`, kept by row_store_keep_scans, back into the
/// values of scans [lo, hi).
void row_store_restore_scans(ExecPlan *plan, int lo, int hi, RowStore &store, size_t row, EvalContext *c);
