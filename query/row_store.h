// Rows kept to be read again: a table read once for a join, a derived
// table's rows. Each row is a payload (sort_record.h) built by the caller in
// `row`; rows stay in memory while they fit the budget, and past it all of
// them move to the side store of an unnamed work file.
//
// Exports: RowStore, row_store_keep, row_store_read, row_store_clear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "query/sort_record.h"

struct CvPool;
struct EvalContext;
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
