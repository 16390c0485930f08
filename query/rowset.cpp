// Rowsets: opening, producing and reading back rows, and the block fetch in
// every orientation.
//
// Positions follow the ODBC cursor positioning rules of SQLFetchScroll: a
// block starts at `block_first`; before the start and after the end are
// positions of their own. PRIOR and RELATIVE count from the current block's
// first row, ABSOLUTE with a negative offset counts from the last row. A
// move that lands before row 1 gives the first block with 01S06 when it
// overshoots by no more than a block (the application asked for the rows
// just before the one it saw), and the position before the start otherwise.
// RELATIVE from before the start with a positive offset, or from after the
// end with a negative one, is ABSOLUTE with that offset.
#include <cstdint>
#include <cstring>

#include "query/rowset_internal.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"
#include "support/work_file.h"

namespace {

int fetch_type_out_of_range(Rowset *rs) { return post_error(rs->diag, "HY106", "Fetch type out of range"); }

void set_bookmark(Rowset *rs, int64_t row) {
    rs->bookmark->data.i = static_cast<int32_t>(row);
    rs->bookmark->is_null = 0;
    rs->values[0] = rs->bookmark;
}

// Takes the source's current row as the loaded row (row number `row`), with
// its identity in keyset mode. false when the source could not give it.
bool take_source_row(Rowset *rs, int64_t row) {
    const int columns = rs->source.column_count;
    // A wide row taken whole: one call rather than one per column.
    Value *const *whole = rs->source.row_values ? rs->source.row_values(rs->source.arg) : nullptr;
    if (whole && columns > 0)
        std::memcpy(&rs->values[1], whole, sizeof(Value *) * static_cast<size_t>(columns));
    else
        for (int c = 1; c <= columns; c++) rs->values[c] = rs->source.column_value(rs->source.arg, c);
    for (int k = 1; k <= rs->source.identity_count; k++) {
        rs->values[columns + k] = rs->source.identity_value(rs->source.arg, k);
        if (!rs->values[columns + k]) {
            rs->loaded_row = 0;
            return false;
        }
    }
    set_bookmark(rs, row);
    rs->loaded_row = row;
    return true;
}

// Produces one row from the source and stores it. 0/1, 100, -1.
int produce(Rowset *rs) {
    if (rs->exhausted) return 100;
    if (rs->options.row_limit > 0 && rs->stored >= rs->options.row_limit) return 100;
    int rc = rs->source.next_row(rs->source.arg);
    if (rc == 100) {
        // The source's values of the last row may be gone with its end.
        rs->exhausted = true;
        rs->loaded_row = 0;
        return 100;
    }
    if (rc < 0) return -1;
    int64_t row = rs->stored + 1;
    if (!take_source_row(rs, row)) return -1;
    int s = store_row(rs->file, rs->layout, row - 1, rs->values);
    if (s == -2) return post_error(rs->diag, "HY000", "General error: %s", "Data Read Error");
    if (s != 0) return post_file_error(rs);
    rs->stored = row;
    rs->last_row = row;
    return rc;
}

// Every entry of the status array to SQL_ROW_NOROW.
void clear_status(const FetchRequest *rq, int64_t b) {
    if (!rq->status) return;
    for (int64_t i = 0; i < b; i++) rq->status[i] = SQL_ROW_NOROW;
}

int64_t block_size(const FetchRequest *rq) { return rq->array_size > 0 ? rq->array_size : 1; }

int before_start(Rowset *rs, const FetchRequest *rq) {
    clear_status(rq, block_size(rq));
    if (rq->rows_fetched) *rq->rows_fetched = 0;
    rs->next_row = 1;
    rs->last_row = 1;
    rs->block_first = 0;
    rs->block_rows = 0;
    rs->current = 0;
    rs->after_end = false;
    return 100;
}

// Delivers row `row` (loaded) as entry `index`; sets its status. 0, 1, -1.
int deliver(Rowset *rs, const FetchRequest *rq, int64_t index, int64_t row) {
    int rc = rq->deliver ? rq->deliver(rq->deliver_arg, index, row, rs->values) : 0;
    if (rq->status) rq->status[index] = rc < 0 ? SQL_ROW_ERROR : rc == 1 ? SQL_ROW_SUCCESS_WITH_INFO : SQL_ROW_SUCCESS;
    return rc;
}

// A block of rows starting at `first`.
int next_block(Rowset *rs, const FetchRequest *rq, int64_t first) {
    int64_t b = block_size(rq);
    clear_status(rq, b);
    bool info = false, failed = false;
    int64_t filled = 0;
    for (; filled < b; filled++) {
        int rc = read_row(rs, first + filled);
        if (rc == 100) break;
        if (rc < 0) {
            if (rq->status) rq->status[filled] = SQL_ROW_ERROR;
            return -1;
        }
        if (rc == 2) {  // keyset: the row is gone
            if (rq->status) rq->status[filled] = SQL_ROW_DELETED;
            info = true;
            continue;
        }
        if (rc == 1) info = true;
        int d = deliver(rs, rq, filled, first + filled);
        if (d < 0) failed = true;
        if (d == 1) info = true;
    }
    if (rq->rows_fetched) *rq->rows_fetched = static_cast<SQLULEN>(filled);
    rs->status = rq->status;
    rs->deliver = rq->deliver;
    rs->deliver_arg = rq->deliver_arg;
    if (filled == 0) {
        rs->block_first = rs->stored + 1;
        rs->block_rows = 0;
        rs->current = 0;
        rs->after_end = true;
        rs->next_row = rs->last_row + 1;
        return 100;
    }
    rs->block_first = first;
    rs->block_rows = filled;
    rs->current = first;
    rs->after_end = false;
    rs->next_row = first + filled;
    if (failed) return b == 1 ? -1 : 1;
    return info ? 1 : 0;
}

int fetch_forward(Rowset *rs, const FetchRequest *rq) {
    if (rq->orientation != SQL_FETCH_NEXT) return fetch_type_out_of_range(rs);
    int64_t b = block_size(rq);
    clear_status(rq, b);
    bool info = false, failed = false;
    int64_t filled = 0;
    while (filled < b && !rs->exhausted) {
        if (rs->options.row_limit > 0 && rs->delivered >= rs->options.row_limit) break;
        int rc = rs->source.next_row(rs->source.arg);
        if (rc == 100) {
            rs->exhausted = true;
            break;
        }
        if (rc < 0) {
            if (rq->status) rq->status[filled] = SQL_ROW_ERROR;
            if (rq->rows_fetched) *rq->rows_fetched = static_cast<SQLULEN>(filled);
            return -1;
        }
        if (rc == 1) info = true;
        rs->delivered++;
        (void)take_source_row(rs, rs->delivered);  // forward-only: no identity
        int d = deliver(rs, rq, filled, rs->delivered);
        if (d == kRowUnreadable) {
            // A value the source handed out unread could not be read: the
            // fetch fails there, as when the source fails to give the row.
            if (rq->rows_fetched) *rq->rows_fetched = static_cast<SQLULEN>(filled);
            return -1;
        }
        if (d < 0) failed = true;
        if (d == 1) info = true;
        filled++;
    }
    if (rq->rows_fetched) *rq->rows_fetched = static_cast<SQLULEN>(filled);
    rs->block_rows = filled;
    if (filled == 0) {
        rs->current = 0;
        return 100;
    }
    rs->block_first = rs->delivered - filled + 1;
    rs->current = rs->delivered;  // only the last row's values are still at hand
    if (failed) return b == 1 ? -1 : 1;
    return info ? 1 : 0;
}

// Produces every remaining row. 0/1, or -1.
int produce_all(Rowset *rs) {
    int info = 0;
    for (;;) {
        int rc = produce(rs);
        if (rc == 100) return info;
        if (rc < 0) return -1;
        if (rc == 1) info = 1;
    }
}

// The first block, with 01S06: a fetch that reached back past row 1 by no
// more than a block.
int first_block_warned(Rowset *rs, const FetchRequest *rq) {
    int rc = next_block(rs, rq, 1);
    if (rc != 0 && rc != 1) return rc;  // no rows at all: nothing to warn about
    (void)post_warning(rs->diag, "01S06", "Attempt to fetch before the result set returned the first rowset");
    return 1;
}

// |n| without overflow for the most negative offset.
uint64_t magnitude(int64_t n) { return n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n); }

// base + offset, held at INT64_MAX (past any row) when it overflows.
int64_t step(int64_t base, int64_t offset) {
    int64_t sum;
    return __builtin_add_overflow(base, offset, &sum) ? INT64_MAX : sum;
}

// ABSOLUTE with a negative offset: counted back from the last row; past
// row 1 it is the first block (01S06) while the offset is within a block
// size, else before the start. Reads the source to its end.
int fetch_from_end(Rowset *rs, const FetchRequest *rq, int64_t offset) {
    if (produce_all(rs) < 0) return -1;
    uint64_t back = magnitude(offset);
    if (back <= static_cast<uint64_t>(rs->stored)) return next_block(rs, rq, rs->stored + offset + 1);
    if (back > static_cast<uint64_t>(block_size(rq))) return before_start(rs, rq);
    return first_block_warned(rs, rq);
}

}  // namespace

int post_file_error(Rowset *rs) {
    const char *operation;
    int code;
    const char *text = work_file_error(rs->file, &operation, &code);
    return post_error(rs->diag, "HY000", "General error: Error in %s (%d) %s", operation, code, text);
}

int read_row(Rowset *rs, int64_t n) {
    if (n < 1) n = 1;
    if (n <= rs->stored) {
        rs->last_row = n;
        if (rs->loaded_row != n) {
            CvPool *fresh = cv_mem_alloc_handle(rs->pool);
            if (!fresh) return post_error(rs->diag, "HY001", "Memory allocation error");
            cv_mem_release_handle(rs->row_pool);
            rs->row_pool = fresh;
            rs->loaded_row = 0;
            int rc = load_row(rs->file, rs->layout, n - 1, rs->row_pool, rs->values);
            if (rc == -2) return post_error(rs->diag, "HY001", "Memory allocation error");
            if (rc != 0) return post_file_error(rs);
            set_bookmark(rs, n);
            rs->loaded_row = n;
        }
        if (rs->options.mode == RowsetMode::kKeyset && rs->source.refetch && rs->source.identity_count > 0) {
            // A stored row shown again is read again by its identity: one
            // keyed read at the provider per row shown.
            int rc = rs->source.refetch(rs->source.arg, n, rs->values);
            if (rc == 100) return 2;
            if (rc < 0) return -1;
        }
        return 0;
    }
    int info = 0;
    while (rs->stored < n) {
        int rc = produce(rs);
        if (rc == 100 || rc < 0) return rc;
        if (rc == 1) info = 1;
    }
    return info;
}

Rowset *rowset_open(CvPool *parent, ErrorHeader *diag, const RowSource *source, const RowsetOptions *options) {
    if (source->column_count < 0 || source->column_count > kMaxRowsetColumns) {
        (void)post_error(diag, "HY000", "General error: %s", "too many result columns for a rowset");
        return nullptr;
    }
    CvPool *pool = cv_mem_alloc_handle(parent);
    auto *rs = pool ? pool_new<Rowset>(pool) : nullptr;
    if (!rs) {
        cv_mem_release_handle(pool);
        (void)post_error(diag, "HY001", "Memory allocation error");
        return nullptr;
    }
    rs->pool = pool;
    rs->diag = diag;
    rs->source = *source;
    rs->options = *options;
    rs->next_row = -1;
    // Only a keyset rowset keeps identities: they follow the columns in
    // each stored row.
    const bool keyset = options->mode == RowsetMode::kKeyset && source->identity_value && source->refetch;
    int identities = keyset && source->identity_count > 0 ? source->identity_count : 0;
    if (identities > kMaxRowIdentityValues) {
        (void)post_error(diag, "HY000", "General error: %s", "too many row identity values for a rowset");
        cv_mem_release_handle(pool);
        return nullptr;
    }
    rs->source.identity_count = identities;
    const int total = source->column_count + identities;
    int32_t *sizes = nullptr;
    if (identities > 0) {
        // Identity values take the default inline size (longer ones go to the side store).
        sizes = pool_new_array<int32_t>(pool, static_cast<size_t>(total) + 1);
        for (int c = 0; sizes && options->inline_sizes && c < source->column_count; c++)
            sizes[c] = options->inline_sizes[c];
    }
    rs->row_pool = cv_mem_alloc_handle(pool);
    rs->values = pool_new_array<Value *>(pool, static_cast<size_t>(total) + 1);
    rs->bookmark = new_value_of_type(pool, VT_INTEGER);
    bool ok = rs->row_pool && rs->values && rs->bookmark && (identities == 0 || sizes) &&
              layout_make(pool, total, identities ? sizes : options->inline_sizes, &rs->layout) == 0;
    if (ok && options->mode != RowsetMode::kForwardOnly) {
        rs->file = work_file_create(pool, rs->layout.record_length, options->cache_records, options->work_dir);
        ok = rs->file != nullptr;
    }
    if (!ok) {
        cv_mem_release_handle(pool);
        (void)post_error(diag, "HY001", "Memory allocation error");
        return nullptr;
    }
    return rs;
}

int rowset_fetch(Rowset *rs, const FetchRequest *rq) {
    if (rs->options.mode == RowsetMode::kForwardOnly) return fetch_forward(rs, rq);
    int64_t b = block_size(rq);
    int64_t first;
    switch (rq->orientation) {
    case SQL_FETCH_NEXT:
        return next_block(rs, rq, rs->next_row < 0 ? 1 : rs->next_row);
    case SQL_FETCH_FIRST: first = 1; break;
    case SQL_FETCH_LAST: {
        int rc = produce_all(rs);
        if (rc < 0) return -1;
        if (rs->stored == 0) return next_block(rs, rq, 1);
        first = rs->stored - b + 1 > 1 ? rs->stored - b + 1 : 1;
        int n = next_block(rs, rq, first);
        return n == 0 && rc == 1 ? 1 : n;
    }
    case SQL_FETCH_PRIOR:
        if (rs->after_end) {
            if (produce_all(rs) < 0) return -1;
            if (rs->stored < b) return first_block_warned(rs, rq);
            first = rs->stored - b + 1;
        } else if (rs->block_first <= 1) {
            return before_start(rs, rq);  // before the start, or the block began at row 1
        } else if (rs->block_first <= b) {
            return first_block_warned(rs, rq);
        } else {
            first = rs->block_first - b;
        }
        break;
    case SQL_FETCH_ABSOLUTE:
        if (rq->offset == 0) return before_start(rs, rq);
        if (rq->offset < 0) return fetch_from_end(rs, rq, rq->offset);
        first = rq->offset;
        break;
    case SQL_FETCH_RELATIVE:
        if (!rs->after_end && rs->block_first < 1) {  // before the start (or before any fetch)
            if (rq->offset <= 0) return before_start(rs, rq);
            first = rq->offset;
            break;
        }
        if (rs->after_end) {
            if (rq->offset < 0) return fetch_from_end(rs, rq, rq->offset);
            first = step(rs->stored + 1, rq->offset);
            break;
        }
        first = step(rs->block_first, rq->offset);
        if (first < 1) {
            if (rs->block_first == 1 || magnitude(rq->offset) > static_cast<uint64_t>(b)) return before_start(rs, rq);
            return first_block_warned(rs, rq);
        }
        break;
    case SQL_FETCH_BOOKMARK:
        if (!rq->use_bookmarks || !rq->has_bookmark) return fetch_type_out_of_range(rs);
        if (rq->bookmark < 1 || rq->bookmark > rs->stored) {
            SetReturnCode(rs->diag, SQL_ERROR);
            (void)PostError(rs->diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HY111", "Invalid bookmark value");
            return -1;
        }
        first = step(rq->bookmark, rq->offset);
        if (first < 1) return before_start(rs, rq);
        break;
    default: return fetch_type_out_of_range(rs);
    }
    return next_block(rs, rq, first);
}

namespace {

// Loads the current row when another is loaded. false (posted) when there
// is none or it cannot be read.
bool load_current(Rowset *rs) {
    if (rs->current <= 0) {
        (void)post_error(rs->diag, "24000", "Invalid cursor state");
        return false;
    }
    if (rs->loaded_row == rs->current) return true;
    if (rs->options.mode == RowsetMode::kForwardOnly) {
        (void)post_error(rs->diag, "HY109", "Invalid cursor position");
        return false;
    }
    int rc = read_row(rs, rs->current);
    if (rc < 0) return false;
    if (rc == 2 || rc == 100) {
        (void)post_error(rs->diag, "HY109", "Invalid cursor position");
        return false;
    }
    return true;
}

}  // namespace

Value *rowset_value_unread(Rowset *rs, int column) {
    if (column < 0 || column > rs->source.column_count) {
        (void)post_error(rs->diag, "24000", "Invalid cursor state");
        return nullptr;
    }
    return load_current(rs) ? rs->values[column] : nullptr;
}

Value *rowset_value(Rowset *rs, int column) {
    Value *v = rowset_value_unread(rs, column);
    if (v && v->deferred && rs->source.settle_value && rs->source.settle_value(rs->source.arg, v) != 0) return nullptr;
    return v;
}

Value *rowset_identity_value(Rowset *rs, int k) {
    if (k < 1 || k > rs->source.identity_count) {
        (void)post_error(rs->diag, "24000", "Invalid cursor state");
        return nullptr;
    }
    return load_current(rs) ? rs->values[rs->source.column_count + k] : nullptr;
}

int rowset_fill(Rowset *rs) {
    if (rs->options.mode == RowsetMode::kForwardOnly) return 0;
    return produce_all(rs);
}

int64_t rowset_row_number(const Rowset *rs) { return rs->current; }
int64_t rowset_block_rows(const Rowset *rs) { return rs->block_rows; }
int64_t rowset_rows_stored(const Rowset *rs) {
    return rs->options.mode == RowsetMode::kForwardOnly ? rs->delivered : rs->stored;
}
bool rowset_on_disk(const Rowset *rs) { return rs->file && work_file_on_disk(rs->file); }

void rowset_close(Rowset *rs) {
    if (!rs) return;
    cv_mem_release_handle(rs->pool);
}
