// SQLBindCol, SQLFetch, SQLFetchScroll, SQLExtendedFetch, SQLGetData,
// SQLSetPos, SQLBulkOperations: rows from the open cursor's rowset into the
// application's buffers through convert_value.
#include <cstring>

#include "odbc/call_trace.h"
#include "odbc/convert.h"
#include "odbc/desc_type.h"
#include "odbc/descriptor.h"
#include "odbc/fetch.h"
#include "odbc/fetch_plan.h"
#include "odbc/fetch_unread.h"
#include "odbc/odbc_api.h"
#include "odbc/run_scope.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "query/rowset.h"

namespace {

// Converts every bound column of one row (entry `index` of the block). A
// fetch resolves its bindings once for the whole block; a delivery outside
// one (SQLSetPos refreshing rows) resolves the bindings as they are now.
int deliver_row(void *arg, int64_t index, int64_t, Value *const *values) {
    auto *stmt = static_cast<STMT *>(arg);
    StatementRun *run = run_of(stmt);
    if (!run) return -1;
    FetchPlan &plan = run->fetch_plan;
    if (!plan.ready && fetch_plan_build(stmt, &plan) != 0) return -1;
    return fetch_plan_deliver(stmt, plan, index, values);
}

SQLRETURN to_odbc(int rc) {
    switch (rc) {
    case 0: return SQL_SUCCESS;
    case 1: return SQL_SUCCESS_WITH_INFO;
    case 100: return SQL_NO_DATA;
    default: return SQL_ERROR;
    }
}

// The bookmark SQL_FETCH_BOOKMARK starts from: the fetch bookmark pointer,
// else the buffer bound to column 0. False when there is none.
bool find_bookmark(STMT *stmt, int64_t *out) {
    if (stmt->attrs.fetch_bookmark) {
        int32_t k;
        std::memcpy(&k, stmt->attrs.fetch_bookmark, sizeof k);
        *out = k;
        return true;
    }
    if (stmt->ard->record_count < 0 || !stmt->ard->records || !stmt->ard->records[0].data_ptr) return false;
    int32_t k;
    std::memcpy(&k, stmt->ard->records[0].data_ptr, sizeof k);
    *out = k;
    return true;
}

SQLRETURN bind_col(STMT *stmt, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target, SQLLEN length,
                   SQLLEN *indicator) {
    SetupErrorHeader(stmt->diag, 0);
    if (stmt_transition(0, stmt, SQL_API_SQLBINDCOL) != 0) return SQL_ERROR;
    if (length < 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    if (column == 0 && stmt->attrs.use_bookmarks == SQL_UB_OFF)
        return post_error(stmt->diag, "07009", "Invalid descriptor index");
    DESC *ard = stmt->ard;
    bool unbinding = !target && !indicator;
    if (unbinding && column > ard->record_count) return SQL_SUCCESS;
    DescRecord *r = desc_record_at(ard, column);
    if (!r) {
        (void)post_error(stmt->diag, "HY001", "Memory allocation error");
        return SQL_ERROR;
    }
    desc_set_concise_type(r, c_type, stmt->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3);
    r->data_ptr = target;
    r->octet_length = length;
    r->indicator_ptr = indicator;
    r->octet_length_ptr = indicator;
    int count = ard->record_count;
    while (count > 0 && !ard->records[count].data_ptr && !ard->records[count].indicator_ptr &&
           !ard->records[count].octet_length_ptr)
        count--;
    if (count != ard->record_count && desc_set_count(ard, count) != 0) return SQL_ERROR;
    return SQL_SUCCESS;
}

SQLRETURN get_data(STMT *stmt, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target, SQLLEN capacity,
                   SQLLEN *indicator) {
    SetupErrorHeader(stmt->diag, 0);
    if (stmt_transition(0, stmt, SQL_API_SQLGETDATA) != 0) return SQL_ERROR;
    if (capacity < 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    if ((column == 0 && stmt->attrs.use_bookmarks == SQL_UB_OFF) || column > stmt->ird->record_count)
        return post_error(stmt->diag, "07009", "Invalid descriptor index");
    if (c_type == SQL_ARD_TYPE) {
        // Only a column the application described in the ARD has a type there.
        if (column > stmt->ard->record_count || !stmt->ard->records)
            return post_error(stmt->diag, "07009", "Invalid descriptor index");
        c_type = stmt->ard->records[column].concise_type;
    }
    Rowset *rs = stmt_rowset(stmt);
    StatementRun *run = run_of(stmt);
    if (!rs || !run) return post_error(stmt->diag, "24000", "Invalid cursor state");
    Value *v = rowset_value_unread(rs, column);
    if (!v) return SQL_ERROR;
    const int64_t row = rowset_row_number(rs);
    const bool again = run->get_data_column == column && run->get_data_row == row;
    if (!again) {
        v->piece_offset = 0;
        run->get_data_whole = 0;
    }
    run->get_data_column = column;
    run->get_data_row = row;
    const ConvertTarget t{c_type, target, capacity, indicator, indicator};
    const ConvertColumn facts = column_facts(stmt, column);
    if (v->deferred) {
        // A forward-only cursor's value the engine handed out unread: a
        // first read of a text into character data takes it straight from
        // the provider; a later read finds it delivered whole, as the
        // conversion would have left it.
        const bool direct = !again && (c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR) && facts.max_length == 0;
        const bool delivered = again && run->get_data_whole;
        if (direct) {
            if (!run->query) return post_error(stmt->diag, "24000", "Invalid cursor state");
            const Unread u = get_data_unread(run->query, v, t);
            if (u == Unread::kFailed) return SQL_ERROR;
            if (u == Unread::kDelivered) {
                run->get_data_whole = 1;
                return SQL_SUCCESS;
            }
        } else if (!rowset_value(rs, column)) {
            return SQL_ERROR;
        }
        if (delivered) v->piece_offset = kPieceDone;
    }
    return convert_value(v, facts, t, stmt->diag);
}

// A read-only cursor (SQL_ATTR_CONCURRENCY) changes nothing. True after
// posting.
bool refuses_changes(STMT *stmt) {
    if (stmt->attrs.concurrency != SQL_CONCUR_READ_ONLY) return false;
    (void)post_error(stmt->diag, "HY092", "Option type out of range");
    return true;
}

// Entries of the application's row buffers (SQL_ATTR_ROW_ARRAY_SIZE).
int64_t array_size(const STMT *stmt) {
    SQLULEN size = stmt->ard->header.array_size;
    return size > 0 ? static_cast<int64_t>(size) : 1;
}

// Runs a SQLSetPos or SQLBulkOperations request, or, when bound columns
// take data at execution, makes the statement wait for it.
SQLRETURN start_request(STMT *stmt, const SetPosRequest &rq) {
    SQLRETURN need = setpos_need_data(stmt, rq);
    if (need == SQL_ERROR) return SQL_ERROR;
    if (need == SQL_NEED_DATA) {
        (void)stmt_transition(1, stmt, rq.function, {1, 1});
        return SQL_NEED_DATA;
    }
    return setpos_perform(stmt, rq);
}

}  // namespace

ConvertColumn column_facts(STMT *stmt, int column) {
    ConvertColumn c{SQL_INTEGER, 10, 0, stmt->attrs.max_length};
    if (column > 0 && column <= stmt->ird->record_count) {
        const DescRecord &r = stmt->ird->records[column];
        c.sql_type = r.concise_type;
        c.precision = r.precision;
        c.scale = r.scale;
    }
    return c;
}

int engine_fetch(STMT *stmt, int orientation, SQLLEN offset) {
    Rowset *rs = stmt_rowset(stmt);
    StatementRun *run = run_of(stmt);
    if (!rs || !run) return post_error(stmt->diag, "24000", "Invalid cursor state");
    run->get_data_column = kNoGetDataColumn;
    FetchRequest rq{};
    rq.orientation = orientation;
    rq.offset = offset;
    rq.use_bookmarks = stmt->attrs.use_bookmarks != SQL_UB_OFF;
    if (orientation == SQL_FETCH_BOOKMARK) {
        if (run->extended_fetch) {
            rq.bookmark = offset;
            rq.offset = 0;
            rq.has_bookmark = 1;
        } else {
            rq.has_bookmark = find_bookmark(stmt, &rq.bookmark);
            if (rq.has_bookmark && stmt->attrs.use_bookmarks == SQL_UB_VARIABLE && !stmt->attrs.fetch_bookmark &&
                stmt->ard->records[0].concise_type != SQL_C_LONG && stmt->ard->records[0].concise_type != SQL_C_SLONG) {
                SetReturnCode(stmt->diag, SQL_ERROR);
                (void)PostError(stmt->diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HY111", "Invalid bookmark value");
                return -1;
            }
        }
    }
    SQLULEN size = run->extended_fetch ? stmt->ard->header.rowset_size : stmt->ard->header.array_size;
    rq.array_size = size > 0 ? static_cast<int64_t>(size) : 1;
    rq.status = stmt->ird->header.array_status;
    rq.rows_fetched = stmt->ird->header.rows_processed;
    rq.deliver = deliver_row;
    rq.deliver_arg = stmt;
    if (fetch_plan_build(stmt, &run->fetch_plan) != 0) return -1;
    run->fetch_plan.entries = rq.array_size;
    fetch_plan_prefetch(run->fetch_plan, 0);
    // Trusted only until this fetch returns, however it returns.
    struct PlanInUse {
        FetchPlan &plan;
        explicit PlanInUse(FetchPlan &p) : plan(p) { plan.ready = 1; }
        ~PlanInUse() { plan.ready = 0; }
        PlanInUse(const PlanInUse &) = delete;
        PlanInUse &operator=(const PlanInUse &) = delete;
    } in_use(run->fetch_plan);
    int rc = rowset_fetch(rs, &rq);
    stmt->attrs.row_number = static_cast<SQLULEN>(rowset_row_number(rs));
    return rc;
}

int convert_column_slot(STMT *stmt, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *indicator) {
    Rowset *rs = stmt_rowset(stmt);
    Value *v = rs ? rowset_value(rs, column) : nullptr;
    if (!v) return -1;
    v->piece_offset = 0;
    int rc = convert_value(v, column_facts(stmt, column), {c_type, buffer, capacity, indicator, indicator}, stmt->diag);
    v->piece_offset = 0;  // a later SQLGetData of the column starts again
    return rc;
}

CV_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target,
                                       SQLLEN length, SQLLEN *indicator) {
    log_message("bindcol", __LINE__, kTraceInfo, "SQLBindCol( %h, %u, %i, %p, %I, %p )", h, column, c_type, target,
                static_cast<long long>(length), indicator);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("bindcol", __LINE__, "SQLBindCol", SQL_INVALID_HANDLE);
    return trace_exit("bindcol", __LINE__, "SQLBindCol", odbc_guard(stmt->diag, [&] {
                          return bind_col(stmt, column, c_type, target, length, indicator);
                      }));
}

CV_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT h) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLFETCH) != 0) return SQL_ERROR;
        int rc = engine_fetch(stmt, SQL_FETCH_NEXT, 0);
        if (rc != -1) (void)stmt_transition(1, stmt, SQL_API_SQLFETCH);
        return to_odbc(rc);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLFETCHSCROLL) != 0) return SQL_ERROR;
        int rc = engine_fetch(stmt, orientation, offset);
        if (rc != -1) (void)stmt_transition(1, stmt, SQL_API_SQLFETCHSCROLL);
        return to_odbc(rc);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT h, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN *row_count,
                                             SQLUSMALLINT *status) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLEXTENDEDFETCH) != 0) return SQL_ERROR;
        StatementRun *run = run_of(stmt);
        if (!run) return SQL_ERROR;
        DescHeader &ird = stmt->ird->header;
        SQLULEN *saved_rows = ird.rows_processed;
        SQLUSMALLINT *saved_status = ird.array_status;
        ird.rows_processed = row_count;
        ird.array_status = status;
        run->extended_fetch = 1;
        int rc = engine_fetch(stmt, orientation, offset);
        run->extended_fetch = 0;
        ird.rows_processed = saved_rows;
        ird.array_status = saved_status;
        if (rc != -1) (void)stmt_transition(1, stmt, SQL_API_SQLEXTENDEDFETCH);
        return to_odbc(rc);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT h, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER target,
                                       SQLLEN capacity, SQLLEN *indicator) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] { return get_data(stmt, column, c_type, target, capacity, indicator); });
}

CV_EXPORT SQLRETURN SQL_API SQLSetPos(SQLHSTMT h, SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lock) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLSETPOS) != 0) return SQL_ERROR;
        Rowset *rs = stmt_rowset(stmt);
        if (!rs) return post_error(stmt->diag, "24000", "Invalid cursor state");
        bool change = operation == SQL_UPDATE || operation == SQL_DELETE || operation == SQL_ADD;
        if (change && refuses_changes(stmt)) return SQL_ERROR;
        SetPosRequest rq{SQL_API_SQLSETPOS, static_cast<int64_t>(row), operation, lock, 0, 0,
                         stmt->ard->header.array_status};
        bool known_lock = lock <= SQL_LOCK_UNLOCK;
        if (operation == SQL_ADD && known_lock) {
            // SQL_ADD takes entries of the application's buffers, which
            // need not hold fetched rows.
            if (rq.row > array_size(stmt)) return post_error(stmt->diag, "HY109", "Invalid cursor position");
            rq.first = rq.row > 0 ? rq.row - 1 : 0;
            rq.count = rq.row > 0 ? 1 : array_size(stmt);
        } else if (operation == SQL_UPDATE && known_lock && rq.row <= rowset_block_rows(rs)) {
            rq.first = rq.row > 0 ? rq.row - 1 : 0;
            rq.count = rq.row > 0 ? 1 : rowset_block_rows(rs);
        }
        if (rq.row > 0) rq.row_operations = nullptr;
        return start_request(stmt, rq);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLBulkOperations(SQLHSTMT h, SQLSMALLINT operation) {
    log_message("bulkoperations", __LINE__, kTraceInfo, "SQLBulkOperations( %h, %i )", h, operation);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("bulkoperations", __LINE__, "SQLBulkOperations", SQL_INVALID_HANDLE);
    StmtRunScope running(stmt);
    return trace_exit("bulkoperations", __LINE__, "SQLBulkOperations", odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (operation != SQL_ADD)
            return post_error(stmt->diag, "HY000", "General error: %s", "SQLBulkOperations not implemented");
        if (stmt_transition(0, stmt, SQL_API_SQLBULKOPERATIONS) != 0) return SQL_ERROR;
        Rowset *rs = stmt_rowset(stmt);
        if (!rs) return post_error(stmt->diag, "24000", "Invalid cursor state");
        if (refuses_changes(stmt)) return SQL_ERROR;
        SetPosRequest rq{SQL_API_SQLBULKOPERATIONS, 0, SQL_ADD, SQL_LOCK_NO_CHANGE, 0, array_size(stmt),
                         stmt->ard->header.array_status};
        return start_request(stmt, rq);
    }));
}

SQLRETURN setpos_perform(STMT *stmt, const SetPosRequest &rq) {
    Rowset *rs = stmt_rowset(stmt);
    if (!rs) return post_error(stmt->diag, "24000", "Invalid cursor state");
    int64_t affected = 0;
    int rc;
    if (rq.operation == SQL_ADD && rq.count > 0) {
        rc = rowset_add_rows(rs, rq.first, rq.count, rq.row_operations, stmt->ird->header.array_status, &affected);
    } else {
        rc = rowset_set_pos(rs, rq.row, rq.operation, rq.lock, &affected, rq.row_operations);
    }
    StatementRun *run = run_of(stmt);
    if (run) run->get_data_column = kNoGetDataColumn;
    stmt->attrs.row_number = static_cast<SQLULEN>(rowset_row_number(rs));
    if (rq.operation == SQL_UPDATE || rq.operation == SQL_DELETE || rq.operation == SQL_ADD) {
        stmt->row_count = affected;
        if (run) run->set_pos_changed = 1;
    }
    return to_odbc(rc);
}
