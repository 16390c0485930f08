// Rows kept to be read again: a table read once for a join, a derived
// table's rows. Each row is a payload (sort_record.h) built by the caller in
// `row`; rows stay in memory while they fit the budget, and past it all of
// them move to the side store of an unnamed work file.
//
// A store with `decode` set (the sides of joins read once, gone over again
// for every outer row) keeps the rows of row_store_keep_scans decoded
// instead: one vector of values per column, texts in an arena of the store.
// Showing such a row points the scans' values at its cells, so nothing is
// copied or allocated per row. The cells belong to the store and stay valid
// until row_store_clear; the scans get their own values back from
// row_store_unpoint (before anything writes into them: a scan reading its
// provider, NULLs of an outer join, a group restored). Past the budget, or
// at the first long value, the decoded rows turn into payloads and the store
// goes on as any other.
//
// Exports: RowStore, KeptColumn, row_store_keep, row_store_read,
// row_store_clear, row_store_keep_scans, row_store_restore_scans,
// row_store_unpoint, row_store_column.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "query/sort_record.h"

struct CvPool;
struct EvalContext;
struct ExecPlan;
struct TableScan;
struct WorkFile;

struct KeptColumn {
    int32_t scan;                  // index in the plan's scans
    int32_t column;                // from 0
};

struct RowStore {
    std::vector<uint8_t> data;     // rows while they fit the memory budget
    std::vector<size_t> offsets;   // row starts; `total` ends the last row
    size_t total = 0;
    WorkFile *file = nullptr;      // past the budget every row is in its side store
    int64_t budget = 0;
    ByteBuffer row;                // the row being written, or read from the file
    // Decoded rows (row_store_keep_scans with `decode`).
    bool decode = false;           // set by the owner: keep rows decoded while they fit
    bool decoded = false;          // rows are in `cells`, not in payloads
    std::vector<KeptColumn> columns;          // the used columns, in payload order
    std::vector<std::vector<Value>> cells;    // per column, per row
    std::vector<std::unique_ptr<char[]>> texts;  // arena blocks of the cells' texts
    char *text_at = nullptr;       // the free part of the last block
    size_t text_left = 0;          // its bytes
    bool given_up = false;         // decoding stopped for this filling (budget, long value)
    int64_t decoded_bytes = 0;     // cells and texts, against `budget`
    size_t decoded_rows = 0;
    TableScan *scans = nullptr;    // the plan's scans, while they point into cells
    std::vector<Value *> home;     // their own values meanwhile, per column

    size_t count() const { return decoded ? decoded_rows : offsets.size(); }
};

/// Keeps `store.row` as the next row; the work file is made in `pool` in
/// `work_dir` (null: the default place). Raises HY001 or the file's error.
void row_store_keep(RowStore &store, CvPool *pool, const char *work_dir, EvalContext *c);

/// Row `row` (from 0, below count()): its bytes and length. Valid until the
/// next read or keep.
const uint8_t *row_store_read(RowStore &store, size_t row, size_t *length, EvalContext *c);

/// Forgets every row and closes the work file (the scans get their own
/// values back first).
void row_store_clear(RowStore &store);

/// Keeps the used column values of scans [lo, hi) of `plan` (deferred ones
/// read first) as the next row of `store`.
void row_store_keep_scans(ExecPlan *plan, int lo, int hi, RowStore &store, EvalContext *c);

/// Puts row `row` of `store`, kept by row_store_keep_scans, back into the
/// values of scans [lo, hi).
void row_store_restore_scans(ExecPlan *plan, int lo, int hi, RowStore &store, size_t row, EvalContext *c);

/// Gives the scans pointed at decoded cells their own values back; nothing
/// when none is.
void row_store_unpoint(RowStore &store);

/// The position in `store.columns` of column `column` (from 0) of scan
/// `scan`, or -1.
[[nodiscard]] int row_store_column(const RowStore &store, int scan, int column);
