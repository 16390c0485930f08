// SQLSetPos through the rowset: positioning, refreshing, and positioned
// changes of rows of the current block; SQL_ADD from the application's
// buffers.
#include <string_view>

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

// The rows of one operation over several entries: a failing row does not
// stop the others (the rows before it are already changed at PayPal, and
// the application must learn which ones failed).
struct RowTally {
    int64_t done = 0;
    int64_t failed = 0;
    int result = 0;  // 1 when a row reported information
};

// Entry `index` failed: its status says so, and the records it posted
// (after the first `before`) name its row, followed by 01S01.
void row_failed(Rowset *rs, SQLUSMALLINT *status, int64_t index, int before, RowTally &tally) {
    if (status) status[index] = SQL_ROW_ERROR;
    set_diag_record_rows(rs->diag, before, static_cast<SQLLEN>(index + 1));
    (void)PostError(rs->diag, 1, static_cast<SQLLEN>(index + 1), 0, 0, 0, "ODBC 3.0", "01S01", "Error in row");
    ++tally.failed;
}

// A cancel ends the operation: the rows after it are not tried.
bool canceled(const Rowset *rs, int before) {
    const int n = diag_count(rs->diag);
    for (int r = before + 1; r <= n; r++) {
        const char *state = diag_sqlstate(rs->diag, r);
        if (state && std::string_view(state) == "HY008") return true;
    }
    return false;
}

// SQL_ERROR only when every row tried failed; SQL_SUCCESS_WITH_INFO when
// some did and others succeeded.
int tally_outcome(Rowset *rs, const RowTally &tally) {
    if (tally.failed == 0) return tally.result;
    if (tally.done == 0) return -1;
    ResetReturnCode(rs->diag, SQL_SUCCESS_WITH_INFO);
    return 1;
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
    RowTally tally;
    for (int64_t i = first; i < first + count; i++) {
        if (ignored(row_operations, i)) continue;
        const int before = diag_count(rs->diag);
        int rc = rs->source.insert_row(rs->source.arg, i);
        if (rc < 0) {
            row_failed(rs, status, i, before, tally);
            if (canceled(rs, before)) break;
            continue;
        }
        ++tally.done;
        if (status) status[i] = SQL_ROW_ADDED;
        if (affected) ++*affected;
        if (rc == 1) tally.result = 1;
    }
    return tally_outcome(rs, tally);
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
    RowTally tally;
    int64_t last = 0;
    for (int64_t i = 0; i < rs->block_rows; i++) {
        if (ignored(row_operations, i)) continue;
        const int before = diag_count(rs->diag);
        int rc = one_row(rs, i, operation, affected);
        if (rc < 0) {
            row_failed(rs, rs->status, i, before, tally);
            if (canceled(rs, before)) break;
            continue;
        }
        ++tally.done;
        if (rc == 1) tally.result = 1;
        last = rs->block_first + i;
    }
    if (operation == SQL_POSITION || operation == SQL_REFRESH) rs->current = rs->block_first;
    else if (last > 0) rs->current = last;
    return tally_outcome(rs, tally);
}
