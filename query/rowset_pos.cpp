// SQLSetPos through the rowset: positioning, refreshing, and positioned
// changes of rows of the current block; SQL_ADD from the application's
// buffers.
#include "query/rowset_internal.h"
#include "support/diag.h"
#include "support/value_ops.h"

namespace {

int not_supported(Rowset *rs) { return post_error(rs->diag, "HYC00", "Optional feature not implemented"); }

// Locates row `row` again; 40001 when it vanished. 0 or -1.
int locate(Rowset *rs, int64_t row) {
    int rc = read_row(rs, row);
    if (rc == 2) return post_error(rs->diag, "40001", "Serialization failure");
    if (rc == 100) return post_error(rs->diag, "HY109", "Invalid cursor position");
    return rc < 0 ? -1 : 0;
}

// Keeps the loaded row's values (changed by an update) as row `row`, so
// that scrolling back to it or refreshing it shows them. 0 or -1.
int keep_row(Rowset *rs, int64_t row) {
    int s = store_row(rs->file, rs->layout, row - 1, rs->values);
    if (s == 0) {
        rs->loaded_row = row;
        return 0;
    }
    rs->loaded_row = 0;  // the file's record is what counts now
    if (s == -2) return post_error(rs->diag, "HY000", "General error: %s", "Data Read Error");
    return post_file_error(rs);
}

int change_row(Rowset *rs, int64_t index, int64_t row, int operation, int64_t *affected) {
    bool remove = operation == SQL_DELETE;
    if (remove ? !rs->source.delete_row : !rs->source.update_row) return not_supported(rs);
    if (locate(rs, row) != 0) return -1;
    rs->current = row;  // the change reads the row's key values as the current row's
    int rc = remove ? rs->source.delete_row(rs->source.arg, row, rs->values)
                    : rs->source.update_row(rs->source.arg, row, index, rs->values, rs->row_pool);
    if (rc < 0) {
        if (rs->status) rs->status[index] = SQL_ROW_ERROR;
        return -1;
    }
    if (affected) ++*affected;
    if (!remove && keep_row(rs, row) != 0) return -1;
    if (rs->status) rs->status[index] = remove ? SQL_ROW_DELETED : SQL_ROW_UPDATED;
    rs->current = row;
    return rc;
}

int one_row(Rowset *rs, int64_t index, int operation, int64_t *affected) {
    int64_t row = rs->block_first + index;
    switch (operation) {
    case SQL_POSITION: rs->current = row; return 0;
    case SQL_REFRESH: {
        int rc = read_row(rs, row);
        if (rc < 0) return -1;
        if (rc == 2) {
            if (rs->status) rs->status[index] = SQL_ROW_DELETED;
            return 0;
        }
        int d = rs->deliver ? rs->deliver(rs->deliver_arg, index, row, rs->values) : 0;
        if (rs->status) rs->status[index] = d < 0 ? SQL_ROW_ERROR : d == 1 ? SQL_ROW_SUCCESS_WITH_INFO : SQL_ROW_SUCCESS;
        rs->current = row;
        return d;
    }
    case SQL_DELETE:
    case SQL_UPDATE: return change_row(rs, index, row, operation, affected);
    default: return not_supported(rs);
    }
}

bool ignored(const SQLUSMALLINT *row_operations, int64_t index) {
    return row_operations && row_operations[index] == SQL_ROW_IGNORE;
}

}  // namespace

int rowset_replace_values(Rowset *rs, int count, const int *columns, Value *const *values) {
    if (!rowset_value(rs, 0)) return -1;  // loads the current row
    for (int i = 0; i < count; i++) {
        if (columns[i] < 1 || columns[i] > rs->layout.columns || !values[i]) continue;
        Value *kept = duplicate_value(values[i], rs->row_pool);
        if (!kept) return post_error(rs->diag, "HY001", "Memory allocation error");
        rs->values[columns[i]] = kept;
    }
    // A forward-only rowset keeps nothing: the values last until the next row.
    return rs->options.mode == RowsetMode::kForwardOnly ? 0 : keep_row(rs, rs->current);
}

int rowset_add_rows(Rowset *rs, int64_t first, int64_t count, const SQLUSMALLINT *row_operations,
                    SQLUSMALLINT *status, int64_t *affected) {
    if (!rs->source.insert_row) return not_supported(rs);
    int result = 0;
    for (int64_t i = first; i < first + count; i++) {
        if (ignored(row_operations, i)) continue;
        int rc = rs->source.insert_row(rs->source.arg, i);
        if (rc < 0) {
            if (status) status[i] = SQL_ROW_ERROR;
            return -1;
        }
        if (status) status[i] = SQL_ROW_ADDED;
        if (affected) ++*affected;
        if (rc == 1) result = 1;
    }
    return result;
}

int rowset_set_pos(Rowset *rs, int64_t row, int operation, int lock, int64_t *affected,
                   const SQLUSMALLINT *row_operations) {
    if (operation < SQL_POSITION || operation > SQL_ADD || lock < SQL_LOCK_NO_CHANGE || lock > SQL_LOCK_UNLOCK)
        return post_error(rs->diag, "HY092", "Option type out of range");
    if (row < 0) return post_error(rs->diag, "HY109", "Invalid cursor position");
    if (operation == SQL_ADD) {
        if (row > 0) return rowset_add_rows(rs, row - 1, 1, nullptr, rs->status, affected);
        return rowset_add_rows(rs, 0, rs->block_rows > 0 ? rs->block_rows : 1, row_operations, rs->status, affected);
    }
    if (row > rs->block_rows || rs->block_rows == 0) return post_error(rs->diag, "HY109", "Invalid cursor position");
    if (rs->options.mode == RowsetMode::kForwardOnly && operation != SQL_POSITION) return not_supported(rs);
    if (rs->options.mode == RowsetMode::kForwardOnly) {
        // Only the block's last row is still at hand.
        if (row != 0 && rs->block_first + row - 1 != rs->current)
            return post_error(rs->diag, "HY109", "Invalid cursor position");
        return 0;
    }
    if (row > 0) return one_row(rs, row - 1, operation, affected);
    int result = 0;
    int64_t last = 0;
    for (int64_t i = 0; i < rs->block_rows; i++) {
        if (ignored(row_operations, i)) continue;
        int rc = one_row(rs, i, operation, affected);
        if (rc < 0) return -1;
        if (rc == 1) result = 1;
        last = rs->block_first + i;
    }
    if (operation == SQL_POSITION || operation == SQL_REFRESH) rs->current = rs->block_first;
    else if (last > 0) rs->current = last;
    return result;
}
