// The rowset record and the row layout shared by rowset*.cpp.
//
// Exports: RowLayout, layout_make, store_row, load_row, Rowset (fields),
// post_file_error, read_row, kMaxRowsetColumns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "query/rowset.h"

struct WorkFile;

inline constexpr int kMaxRowsetColumns = 32767;

/// Where each column's slot lies in a stored row.
struct RowLayout {
    int32_t columns;
    size_t *offsets;       // [columns], slot offsets
    size_t *inline_size;   // [columns], bytes of text or binary kept in the slot
    size_t record_length;
};

/// Plans the slots. -1 when memory runs out.
[[nodiscard]] int layout_make(CvPool *pool, int columns, const int32_t *inline_sizes, RowLayout *out);

/// Writes values[1..columns] as record `record`. 0, or -1 (the work file
/// tells why; -2 for a value the source left unread).
[[nodiscard]] int store_row(WorkFile *file, const RowLayout &layout, int64_t record, Value *const *values);

/// Reads record `record` into new values in `pool` (values[1..columns]).
/// 0, -1 (file error) or -2 (memory).
[[nodiscard]] int load_row(WorkFile *file, const RowLayout &layout, int64_t record, CvPool *pool, Value **values);

struct Rowset {
    CvPool *pool;              // the rowset's own pool
    CvPool *row_pool;          // values of the loaded row; replaced on each load
    ErrorHeader *diag;
    RowSource source;
    RowsetOptions options;
    RowLayout layout;
    WorkFile *file;            // static and keyset
    Value **values;            // [columns + 1]: the loaded row (index 0 = bookmark)
    Value *bookmark;           // VT_INTEGER
    int64_t loaded_row;        // row whose values are in `values`, 0 = none
    int64_t stored;            // rows produced and kept
    int64_t last_row;          // row most recently read or stored
    int64_t next_row;          // where the next NEXT block starts; -1 before any fetch
    int64_t block_first;       // first row of the current block, 0 = before the start
    int64_t block_rows;        // rows in the current block
    int64_t current;           // the current row (SQLGetData), 0 = none
    int64_t delivered;         // forward-only: rows produced
    bool exhausted;            // the source said 100
    bool after_end;            // the last NEXT found nothing
    // the last fetch, for SQLSetPos refresh and status updates
    SQLUSMALLINT *status;
    int (*deliver)(void *arg, int64_t index, int64_t row, Value *const *values);
    void *deliver_arg;
};

/// Posts "Error in <operation> (<errno>) <text>" for the work file's failure.
int post_file_error(Rowset *rs);

/// Makes row `n` (from 1) the loaded row, producing rows up to it when
/// needed. 0, 1 (information), 2 (the row vanished, keyset), 100 (no such
/// row), -1 (error posted).
[[nodiscard]] int read_row(Rowset *rs, int64_t n);
