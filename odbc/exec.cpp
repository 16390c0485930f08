// SQLPrepare, SQLExecDirect, SQLExecute (and W), SQLCancel, SQLCloseCursor,
// SQLRowCount, SQLMoreResults, SQLNativeSql (and W), SQLEndTran, SQLTransact.
#include <cstring>
#include <string>

#include "odbc/call_trace.h"
#include "odbc/odbc_api.h"
#include "odbc/params.h"
#include "odbc/run_scope.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "odbc/wide.h"
#include "sql/parser.h"
#include "sql/printer.h"
#include "support/pool.h"

namespace {

constexpr int kPrepareSyntaxNative = 182;

// Null text and bad lengths: posted, and the transition applied as a failure.
bool text_arguments_ok(STMT *stmt, const SQLCHAR *text, SQLINTEGER length, int function_id) {
    if (!text) {
        (void)post_error(stmt->diag, "HY009", "Invalid use of null pointer");
    } else if (length < 0 && length != SQL_NTS) {
        (void)post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    } else {
        return true;
    }
    (void)stmt_transition(1, stmt, function_id, {0});
    return false;
}

SQLRETURN prepare(STMT *stmt, const SQLCHAR *text, SQLINTEGER length) {
    SetupErrorHeader(stmt->diag, 0);
    if (!text_arguments_ok(stmt, text, length, SQL_API_SQLPREPARE)) return SQL_ERROR;
    if (stmt_transition(0, stmt, SQL_API_SQLPREPARE, {1}) != 0) return SQL_ERROR;
    SQLRETURN rc = stmt_prepare_text(stmt, reinterpret_cast<const char *>(text), length, kPrepareSyntaxNative);
    if (rc == SQL_ERROR) stmt->prepared = 0;
    (void)stmt_transition(1, stmt, SQL_API_SQLPREPARE, {rc != SQL_ERROR});
    return rc;
}

SQLRETURN exec_direct(STMT *stmt, const SQLCHAR *text, SQLINTEGER length) {
    SetupErrorHeader(stmt->diag, 0);
    if (!text_arguments_ok(stmt, text, length, SQL_API_SQLEXECDIRECT)) return SQL_ERROR;
    if (stmt_transition(0, stmt, SQL_API_SQLEXECDIRECT, {1}) != 0) return SQL_ERROR;
    SQLRETURN rc = stmt_prepare_text(stmt, reinterpret_cast<const char *>(text), length, 0);
    if (rc != SQL_ERROR) rc = stmt_execute_with_params(stmt);
    if (rc == SQL_ERROR) {
        (void)stmt_transition(1, stmt, SQL_API_SQLEXECDIRECT, {0});
        return SQL_ERROR;
    }
    (void)stmt_transition(1, stmt, SQL_API_SQLEXECDIRECT, {1, rc == SQL_NEED_DATA});
    return rc;
}

// Appends each printed piece only while the whole piece fits; counts all.
struct NativeOut {
    char *buffer;
    size_t room;     // capacity - 1, or 0 without a buffer
    size_t written;
    size_t total;
};

void emit_native(const char *piece, void *arg) {
    auto *o = static_cast<NativeOut *>(arg);
    size_t n = std::strlen(piece);
    if (o->buffer && o->written == o->total && o->written + n <= o->room) {
        std::memcpy(o->buffer + o->written, piece, n);
        o->written += n;
        o->buffer[o->written] = 0;
    }
    o->total += n;
}

SQLRETURN native_sql(DBC *dbc, const SQLCHAR *in, SQLINTEGER in_length, SQLCHAR *out, SQLINTEGER capacity,
                     SQLINTEGER *out_length) {
    SetupErrorHeader(dbc->diag, 0);
    if (!in) return post_error(dbc->diag, "HY009", "Invalid use of null pointer");
    if ((in_length < 0 && in_length != SQL_NTS) || (out && capacity < 1))
        return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
    if (conn_transition(0, dbc, SQL_API_SQLNATIVESQL) != 0) return SQL_ERROR;
    size_t n = in_length == SQL_NTS ? std::strlen(reinterpret_cast<const char *>(in)) : static_cast<size_t>(in_length);
    if (n > static_cast<size_t>(kMaxStatementLength))
        return post_error(dbc->diag, "42000", "Syntax error or access violation \"%s\"", "statement too long");
    CvPool *pool = cv_mem_alloc_handle(dbc->pool);
    ParseContext *ctx = pool ? create_parse_context(pool) : nullptr;
    auto *copy = pool ? static_cast<char *>(cv_mem_alloc(pool, n + 1)) : nullptr;
    if (!ctx || !copy) {
        cv_mem_release_handle(pool);
        return post_error(dbc->diag, "HY001", "Memory allocation error");
    }
    std::memcpy(copy, in, n);
    copy[n] = 0;
    SQLRETURN rc = SQL_SUCCESS;
    if (parse_sql_text(ctx, copy, 0, nullptr) != 0) {
        if (std::strcmp(ctx->sqlstate, "42000") != 0)
            rc = post_error(dbc->diag, ctx->sqlstate, "%s", message_of(ctx));
        else
            rc = post_error(dbc->diag, "42000", "Syntax error or access violation \"%s\"",
                            message_of(ctx));
    } else {
        NativeOut o{reinterpret_cast<char *>(out), out ? static_cast<size_t>(capacity) - 1 : 0, 0, 0};
        if (out) out[0] = 0;
        if (print_statements(ctx->root, emit_native, &o) != 0) {
            rc = post_error(dbc->diag, "HY000", "General error: %s", "statement too deep to print");
        } else {
            if (out_length) *out_length = static_cast<SQLINTEGER>(o.total);
            if (o.total > o.written && out) rc = post_warning(dbc->diag, "01004", "String data, right truncated");
        }
    }
    release_parse_context(ctx);
    cv_mem_release_handle(pool);
    return rc;
}

SQLRETURN end_tran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
    if (type == SQL_HANDLE_ENV) return as_env(handle) ? SQL_SUCCESS : SQL_INVALID_HANDLE;
    if (type != SQL_HANDLE_DBC) return SQL_ERROR;
    DBC *dbc = as_dbc(handle);
    if (!dbc) return SQL_INVALID_HANDLE;
    return odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(dbc->diag, 0);
        if (completion != SQL_COMMIT && completion != SQL_ROLLBACK)
            return post_error(dbc->diag, "HY012", "Invalid attribute/option identifier");
        if (conn_transition(0, dbc, SQL_API_SQLENDTRAN, completion) != 0) return SQL_ERROR;
        int r = conn_transition(1, dbc, SQL_API_SQLENDTRAN, completion);
        return r < 0 ? SQL_ERROR : r == 1 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    });
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT h, SQLCHAR *text, SQLINTEGER length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] { return prepare(stmt, text, length); });
}

CV_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT h, SQLWCHAR *text, SQLINTEGER length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        WideIn in(text, length);
        return prepare(stmt, in.get(), in.ok() ? SQL_NTS : length);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT h, SQLCHAR *text, SQLINTEGER length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&] { return exec_direct(stmt, text, length); });
}

CV_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT h, SQLWCHAR *text, SQLINTEGER length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&] {
        WideIn in(text, length);
        return exec_direct(stmt, in.get(), in.ok() ? SQL_NTS : length);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT h) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt->state < S5 || stmt->state > S7) (void)stmt_close_results(stmt);
        if (stmt_transition(0, stmt, SQL_API_SQLEXECUTE, {1}) != 0) return SQL_ERROR;
        SQLRETURN rc = stmt_execute_with_params(stmt);
        if (rc == SQL_ERROR) {
            (void)stmt_transition(1, stmt, SQL_API_SQLEXECUTE, {0, 0, 1});
            return SQL_ERROR;
        }
        (void)stmt_transition(1, stmt, SQL_API_SQLEXECUTE, {rc == SQL_NO_DATA ? 0 : 1, rc == SQL_NEED_DATA, 0});
        return rc;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT h) {
    log_message("cancel", __LINE__, kTraceInfo, "SQLCancel( %h )", h);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("cancel", __LINE__, "SQLCancel", SQL_INVALID_HANDLE);
    // Set first: a call running on another thread ends its wait with HY008.
    // That call owns the statement's diagnostics and state meanwhile.
    stmt->cancel_requested.store(1, std::memory_order_release);
    if (stmt->calls_running.load(std::memory_order_acquire) > 0)
        return trace_exit("cancel", __LINE__, "SQLCancel", SQL_SUCCESS);
    return trace_exit("cancel", __LINE__, "SQLCancel", odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        (void)stmt_transition(0, stmt, SQL_API_SQLCANCEL);
        bool closing = !stmt_is_async(stmt) && (stmt->need_data_function == SQL_API_SQLEXECDIRECT ||
                                                stmt->need_data_function == SQL_API_SQLEXECUTE);
        (void)stmt_transition(1, stmt, SQL_API_SQLCANCEL);
        if (closing) (void)stmt_close_results(stmt);
        return SQL_SUCCESS;
    }));
}

CV_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT h) {
    log_message("closecursor", __LINE__, kTraceInfo, "SQLCloseCursor( %h )", h);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("closecursor", __LINE__, "SQLCloseCursor", SQL_INVALID_HANDLE);
    return trace_exit("closecursor", __LINE__, "SQLCloseCursor", odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLCLOSECURSOR) != 0) return SQL_ERROR;
        (void)stmt_close_results(stmt);
        (void)stmt_transition(1, stmt, SQL_API_SQLCLOSECURSOR);
        return conn_transition(1, stmt->dbc, SQL_API_SQLCLOSECURSOR) < 0 ? SQL_ERROR : SQL_SUCCESS;
    }));
}

CV_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT h, SQLLEN *count) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLROWCOUNT) != 0) return SQL_ERROR;
        if (!count) return SQL_SUCCESS;
        auto *run = static_cast<StatementRun *>(stmt->exec_list);
        bool query = !run || !run->query ||
                     (query_statement_kind(run->query) == QueryStatementKind::kQuery && !run->set_pos_changed);
        *count = query ? -1 : static_cast<SQLLEN>(stmt->row_count);
        return SQL_SUCCESS;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT h) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLMORERESULTS) != 0) return SQL_ERROR;
        auto *run = static_cast<StatementRun *>(stmt->exec_list);
        // Only an executed statement of ours has further results (catalog
        // results and prepared-only statements have none).
        bool executed = stmt->state >= S4 && stmt->state <= S7;
        if (!run || !run->query || !executed || query_more_results(run->query) != 0) {
            (void)stmt_close_results(stmt);
            (void)stmt_transition(1, stmt, SQL_API_SQLMORERESULTS, {1, 1, 1, 1});
            return SQL_NO_DATA;
        }
        (void)stmt_close_results(stmt);
        if (stmt_describe_results(stmt) != 0) return SQL_ERROR;
        run->has_result = stmt_kind_has_result(run->query);
        stmt->result_sets_left = run->has_result ? 1 : 0;
        SQLRETURN rc = stmt_execute_current(stmt);
        if (rc == SQL_ERROR) {
            (void)stmt_transition(1, stmt, SQL_API_SQLMORERESULTS, {0});
            return SQL_ERROR;
        }
        (void)stmt_transition(1, stmt, SQL_API_SQLMORERESULTS, {1, 0, run->has_result, 0});
        // A change that touched no row is still a result: SQL_NO_DATA here
        // would tell the application that the batch has ended.
        return rc == SQL_NO_DATA ? SQL_SUCCESS : rc;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLNativeSql(SQLHDBC h, SQLCHAR *in, SQLINTEGER in_length, SQLCHAR *out,
                                         SQLINTEGER capacity, SQLINTEGER *out_length) {
    DBC *dbc = as_dbc(h);
    if (!dbc) return SQL_INVALID_HANDLE;
    return odbc_guard(dbc->diag, [&] { return native_sql(dbc, in, in_length, out, capacity, out_length); });
}

CV_EXPORT SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC h, SQLWCHAR *in, SQLINTEGER in_length, SQLWCHAR *out,
                                          SQLINTEGER capacity, SQLINTEGER *out_length) {
    DBC *dbc = as_dbc(h);
    if (!dbc) return SQL_INVALID_HANDLE;
    return odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(dbc->diag, 0);
        if (out && capacity < 1) return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
        WideIn text(in, in_length);
        if (!text.ok()) return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
        std::string utf8;
        SQLRETURN rc = read_full_text(
            [&](SQLCHAR *buf, SQLLEN cap, SQLLEN *len) {
                SQLINTEGER n = 0;
                SQLRETURN r = native_sql(dbc, text.get(), SQL_NTS, buf, static_cast<SQLINTEGER>(cap), &n);
                *len = n;
                return r;
            },
            utf8, kMaxStatementLength * 4);
        if (!SQL_SUCCEEDED(rc)) return rc;
        SetupErrorHeader(dbc->diag, 0);
        SQLLEN full = 0;
        bool cut = wide_out(utf8, out, out ? capacity : 0, WideUnit::Chars, &full);
        if (out_length) *out_length = static_cast<SQLINTEGER>(full);
        return cut && out ? post_warning(dbc->diag, "01004", "String data, right truncated") : SQL_SUCCESS;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
    return end_tran(type, handle, completion);
}

CV_EXPORT SQLRETURN SQL_API SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
    if (dbc) return end_tran(SQL_HANDLE_DBC, dbc, static_cast<SQLSMALLINT>(completion));
    if (env) return end_tran(SQL_HANDLE_ENV, env, static_cast<SQLSMALLINT>(completion));
    return SQL_ERROR;
}
