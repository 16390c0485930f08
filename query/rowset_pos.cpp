// SQLSetPos through the rowset: positioning, refreshing, and positioned
// changes of rows of the current block.
#include "query/rowset_internal.h"
#include "support/diag.h"

namespace {

int not_supported(Rowset *rs) { return post_error(rs->diag, "HYC00", "Optional feature not implemented"); }

// Locates row `row` again; 40001 when it vanished. 0 or -1.
int locate(Rowset *rs, int64_t row) {
    int rc = read_row(rs, row);
    if (rc == 2) return post_error(rs->diag, "40001", "Serialization failure");
    if (rc == 100) return post_error(rs->diag, "HY109", "Invalid cursor position");
    return rc < 0 ? -1 : 0;
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
    case SQL_UPDATE: {
        auto change = operation == SQL_DELETE ? rs->source.delete_row : rs->source.update_row;
        if (!change) return not_supported(rs);
        if (locate(rs, row) != 0) return -1;
        rs->current = row;  // the change reads the row's key values as the current row's
        int rc = change(rs->source.arg, row, rs->values);
        if (rc < 0) return -1;
        if (affected) ++*affected;
        if (rs->status) rs->status[index] = operation == SQL_DELETE ? SQL_ROW_DELETED : SQL_ROW_UPDATED;
        rs->current = row;
        return rc;
    }
    default: return not_supported(rs);
    }
}

}  // namespace

int rowset_set_pos(Rowset *rs, int64_t row, int operation, int lock, int64_t *affected) {
    if (operation < SQL_POSITION || operation > SQL_ADD || lock < SQL_LOCK_NO_CHANGE || lock > SQL_LOCK_UNLOCK)
        return post_error(rs->diag, "HY092", "Option type out of range");
    if (operation == SQL_ADD) {
        if (!rs->source.insert_row) return not_supported(rs);
        int rc = rs->source.insert_row(rs->source.arg);
        if (rc >= 0 && affected) ++*affected;
        return rc;
    }
    if (row < 0 || row > rs->block_rows || rs->block_rows == 0)
        return post_error(rs->diag, "HY109", "Invalid cursor position");
    if (rs->options.mode == RowsetMode::kForwardOnly && operation != SQL_POSITION) return not_supported(rs);
    if (rs->options.mode == RowsetMode::kForwardOnly) {
        // Only the block's last row is still at hand.
        if (row != 0 && rs->block_first + row - 1 != rs->current)
            return post_error(rs->diag, "HY109", "Invalid cursor position");
        return 0;
    }
    if (row > 0) return one_row(rs, row - 1, operation, affected);
    int result = 0;
    for (int64_t i = 0; i < rs->block_rows; i++) {
        int rc = one_row(rs, i, operation, affected);
        if (rc < 0) return -1;
        if (rc == 1) result = 1;
    }
    if (operation == SQL_POSITION || operation == SQL_REFRESH) rs->current = rs->block_first;
    return result;
}
