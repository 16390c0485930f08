// Rowsets: what stands between a query's rows and the ODBC fetch calls.
//
// A rowset reads rows from a RowSource (the executing query, or a test's
// table), keeps them where scrolling needs them, and serves block fetches in
// every orientation with row status arrays and bookmarks (the bookmark of
// row n is n, rows numbered from 1).
//
// Modes: forward-only stores nothing; static keeps each produced row in a
// row work file (support/work_file.h) and scrolls over the file; keyset
// keeps rows the same way together with each row's identity (the values the
// source finds it again by), and every stored row it shows again is read
// again by that identity: the application sees the current data, and a row
// that vanished gets SQL_ROW_DELETED. Every value is kept whole, long text
// and binary included (in the file's side store), so a row whose source
// cannot read it again is still shown as it was.
//
// Return codes: 0, 1 (information), 100 (no data), -1 (error posted on the
// rowset's diagnostics header).
//
// Exports: RowSource, RowsetOptions, FetchRequest, kRowUnreadable, RowsetMode, Rowset,
// rowset_open, rowset_fetch, rowset_value, rowset_value_unread, rowset_identity_value,
// rowset_replace_values, rowset_row_number, rowset_block_rows, rowset_set_pos, rowset_add_rows,
// rowset_fill, rowset_close, rowset_rows_stored, rowset_on_disk.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "support/value.h"

struct CvPool;
struct ErrorHeader;
struct Rowset;

enum class RowsetMode : int32_t { kForwardOnly = 0, kStatic = 1, kKeyset = 2 };

/// Identity values a keyset rowset keeps per row, at most.
inline constexpr int kMaxRowIdentityValues = 64;

/// Where rows come from. Column numbers start at 1.
struct RowSource {
    void *arg;
    int32_t column_count;
    /// Moves to the next row: 0, 1 (with information), 100 (end), -1 (error posted).
    int (*next_row)(void *arg);
    /// The current row's value of a column; valid until the next next_row.
    Value *(*column_value)(void *arg, int column);
    /// Optional: the current row's values of columns 1 .. column_count at
    /// once (column 1 first), valid until the next next_row; null when the
    /// source has no such row, and column_value is asked column by column.
    Value *const *(*row_values)(void *arg);
    /// Optional: reads a value of the current row the source handed out
    /// unread (Value::deferred); 0, or -1 (posted). rowset_value calls it
    /// before giving a value out.
    int (*settle_value)(void *arg, Value *v);
    /// Optional (keyset mode): reads row `row` again by its identity, kept
    /// in values[column_count + 1 .. column_count + identity_count]. 0 with
    /// values[1 .. column_count] pointed at the current data (valid until
    /// the next call of the source), 100 vanished, -1 error (posted).
    int (*refetch)(void *arg, int64_t row, Value **values);
    /// Optional: positioned changes; null ones give HYC00. Each returns 0,
    /// 1 (with information) or -1 (posted).
    /// Deletes row `row` (its kept values in `values`).
    int (*delete_row)(void *arg, int64_t row, Value *const *values);
    /// Updates row `row`, entry `index` of the block, from the application's
    /// buffers; replaces the entries of `values` it changed by the new values
    /// (made in `pool`, which lives as long as the loaded row), which the
    /// rowset then keeps for the row.
    int (*update_row)(void *arg, int64_t row, int64_t index, Value **values, CvPool *pool);
    /// Inserts a new row from entry `index` of the application's buffers.
    int (*insert_row)(void *arg, int64_t index);
    /// Keyset mode: values per row that find it again (0: none), and the
    /// current row's value `k` (from 1) of them; null after posting.
    int32_t identity_count;
    Value *(*identity_value)(void *arg, int k);
};

struct RowsetOptions {
    RowsetMode mode;
    int64_t row_limit;             // SQL_ATTR_MAX_ROWS; 0 = none
    int32_t cache_records;         // "work_dir_size"; 0 = the default
    const char *work_dir;          // "work_dir_path"; null = $TMPDIR or /tmp
    const int32_t *inline_sizes;   // per column (index 0 = column 1): text or binary bytes
                                   // kept in the record; longer values go to the side store
};

/// One fetch call. `deliver` is called for every row placed in the block
/// (index from 0, the row's number, its values from index 1; index 0 is the
/// bookmark) and converts the bound columns: 0, 1 (information), -1 (the
/// row is in error), or kRowUnreadable (a value the source handed out
/// unread could not be read: the fetch fails there).
inline constexpr int kRowUnreadable = -2;

struct FetchRequest {
    int32_t orientation;           // SQL_FETCH_NEXT ... SQL_FETCH_BOOKMARK
    int64_t offset;                // ABSOLUTE, RELATIVE, BOOKMARK
    int64_t bookmark;              // SQL_FETCH_BOOKMARK: the bookmark the caller found
    int32_t has_bookmark;          // 0: no bookmark available (HY106)
    int32_t use_bookmarks;         // SQL_ATTR_USE_BOOKMARKS is on
    int64_t array_size;            // rows per block (below 1 counts as 1)
    SQLUSMALLINT *status;          // row status array, or null
    SQLULEN *rows_fetched;         // or null
    int (*deliver)(void *arg, int64_t index, int64_t row, Value *const *values);
    void *deliver_arg;
};

/// Opens a rowset over `source` in a child pool of `pool`; diagnostics go
/// to `diag`. Null when memory runs out or the work file cannot be made
/// (posted).
[[nodiscard]] Rowset *rowset_open(CvPool *pool, ErrorHeader *diag, const RowSource *source,
                                  const RowsetOptions *options);

[[nodiscard]] int rowset_fetch(Rowset *rowset, const FetchRequest *request);

/// The current row's value of `column` (0: the bookmark, as an integer), or
/// null (posted) when there is no current row or the row cannot be read.
[[nodiscard]] Value *rowset_value(Rowset *rowset, int column);
/// rowset_value without reading a value the source handed out unread: the
/// caller reads it (RowSource::settle_value) or takes it from the provider.
[[nodiscard]] Value *rowset_value_unread(Rowset *rowset, int column);
/// The current row's kept identity value `k` (from 1; keyset mode), or null
/// (posted) as rowset_value.
[[nodiscard]] Value *rowset_identity_value(Rowset *rowset, int k);

/// Replaces the current row's values of columns[0 .. count - 1] by copies
/// of values[0 .. count - 1] and keeps them for the row (a row changed
/// through its key, read again). 0, or -1 (posted; the row keeps its old
/// values).
[[nodiscard]] int rowset_replace_values(Rowset *rowset, int count, const int *columns, Value *const *values);

/// SQL_ATTR_ROW_NUMBER: the current row's number, 0 when there is none.
[[nodiscard]] int64_t rowset_row_number(const Rowset *rowset);

/// Rows in the current block.
[[nodiscard]] int64_t rowset_block_rows(const Rowset *rowset);

/// SQLSetPos: `row` within the block (0 = every row of it), operation
/// SQL_POSITION, SQL_REFRESH, SQL_UPDATE, SQL_DELETE or SQL_ADD, lock
/// SQL_LOCK_NO_CHANGE, SQL_LOCK_EXCLUSIVE or SQL_LOCK_UNLOCK. Rows changed are
/// added to *affected (may be null). With row 0, entries of `row_operations`
/// (SQL_ATTR_ROW_OPERATION_PTR; may be null) that hold SQL_ROW_IGNORE are
/// passed over, and a failing row does not stop the others (as
/// rowset_add_rows: SQL_ROW_ERROR, its diagnostics naming it, 1 when some
/// rows succeeded, -1 when all failed). SQL_ADD takes buffer entry `row` (0:
/// as many entries as the block has rows; see rowset_add_rows).
[[nodiscard]] int rowset_set_pos(Rowset *rowset, int64_t row, int operation, int lock, int64_t *affected,
                                 const SQLUSMALLINT *row_operations);

/// SQL_ADD: inserts entries first .. first + count - 1 (from 0) of the
/// application's buffers through the source's insert_row, going on past a
/// failing entry (a cancel ends it); `status` entries (may be null) become
/// SQL_ROW_ADDED, or SQL_ROW_ERROR for a failed one, whose diagnostics name
/// its row (SQL_DIAG_ROW_NUMBER, with 01S01); entries `row_operations` marks
/// SQL_ROW_IGNORE are passed over. 0; 1 with information or when some
/// entries failed and others were added; -1 when every entry tried failed.
[[nodiscard]] int rowset_add_rows(Rowset *rowset, int64_t first, int64_t count, const SQLUSMALLINT *row_operations,
                                  SQLUSMALLINT *status, int64_t *affected);

/// Produces every row of the source now and keeps it: a keyset cursor's
/// rows are fixed when it opens. 0, 1 (some row with information) or -1
/// (posted; the rows produced before stay stored).
[[nodiscard]] int rowset_fill(Rowset *rowset);

/// Rows stored so far (static and keyset), rows delivered (forward-only).
[[nodiscard]] int64_t rowset_rows_stored(const Rowset *rowset);
/// True once rows had to leave the record cache for a file.
[[nodiscard]] bool rowset_on_disk(const Rowset *rowset);

/// Frees the rowset, its values and files. Null is ignored.
void rowset_close(Rowset *rowset);
