// SQLFreeHandle, its ODBC 2 forms, and SQLFreeStmt.
//
// An environment with connections, or a connection that is still connected,
// is refused with HY010 and left intact, as ODBC requires: freeing it anyway
// would leave its children's sockets, workers and providers open behind it.
// A statement is always freed: its worker is stopped and joined first, so no
// job can still be touching it.
#include "dal/dal.h"
#include "odbc/async.h"
#include "odbc/handle_ops.h"
#include "odbc/odbc_api.h"
#include "odbc/process.h"
#include "odbc/state.h"
#include "support/profile.h"

namespace {

template <typename T>
void discard_handle(T *h) {
    h->tag = 0;
    cv_mem_release_handle(h->pool);
}

SQLRETURN free_env(ENV *env) {
    SetupErrorHeader(env->diag, 0);
    if (env_transition(0, env, SQL_API_SQLFREEHANDLE, SQL_HANDLE_ENV) != 0) return SQL_ERROR;
    (void)env_transition(1, env, SQL_API_SQLFREEHANDLE, SQL_HANDLE_ENV);
    FreeErrorHeader(env->diag);
    close_registry(env->config);
    discard_handle(env);
    process_stop();
    return SQL_SUCCESS;
}

SQLRETURN free_dbc(DBC *dbc) {
    SetupErrorHeader(dbc->diag, 0);
    if (conn_transition(0, dbc, SQL_API_SQLFREEHANDLE, SQL_HANDLE_DBC) != 0) return SQL_ERROR;
    // Statements allocated on a connection that never connected.
    while (STMT *stmt = dbc->statement_list) free_statement(stmt);
    (void)conn_transition(1, dbc, SQL_API_SQLFREEHANDLE, SQL_HANDLE_DBC);
    DALFree(dbc->dal);
    dbc->dal = nullptr;
    FreeErrorHeader(dbc->diag);
    discard_handle(dbc);
    return SQL_SUCCESS;
}

void unlink_statement(STMT *stmt) {
    for (STMT **p = &stmt->dbc->statement_list; *p; p = &(*p)->next_statement) {
        if (*p == stmt) {
            *p = stmt->next_statement;
            return;
        }
    }
}

}  // namespace

int release_statement_resources(STMT *stmt) {
    async_stop_worker(stmt);
    stmt->has_cursor_name = 0;
    if (stmt->parse_pool) {
        stmt->dbc->services.free_parse_context(stmt);
        cv_mem_release_handle(stmt->parse_pool);
        stmt->parse_pool = nullptr;
        stmt->parse_context = nullptr;
    }
    return 0;
}

void free_statement(STMT *stmt) {
    DBC *dbc = stmt->dbc;
    // The worker goes first: a job still running would use what follows.
    async_stop_worker(stmt);
    (void)dbc->services.close_results(stmt);
    SetupErrorHeader(stmt->diag, 0);
    // A statement abandoned mid-sequence is freed all the same; its counters
    // must still be returned to the connection.
    if (stmt->state >= S8) stmt->state = S1;
    (void)stmt_transition(1, stmt, SQL_API_SQLFREEHANDLE, {SQL_HANDLE_STMT});
    for (DESC *d : {stmt->implicit_apd, stmt->implicit_ipd, stmt->implicit_ard})
        if (d) (void)dbc->services.release_descriptor_values(d);
    (void)release_statement_resources(stmt);
    FreeErrorHeader(stmt->diag);
    unlink_statement(stmt);
    // The implicit descriptors live in the statement's pool.
    for (DESC *d : {stmt->implicit_ard, stmt->implicit_apd, stmt->implicit_ird, stmt->implicit_ipd})
        if (d) d->tag = 0;
    discard_handle(stmt);
}

int free_descriptor(DESC *desc) {
    if (desc->header.implicit) {
        post_error(desc->diag, "HY017", "Invalid use of a automatically allocated descriptor handle");
        return -1;
    }
    // Statements that use it fall back to their implicit descriptors.
    for (STMT *s = desc->dbc->statement_list; s; s = s->next_statement) {
        if (s->ard == desc) s->ard = s->implicit_ard;
        if (s->apd == desc) s->apd = s->implicit_apd;
    }
    (void)desc_transition(1, desc, SQL_API_SQLFREEHANDLE, SQL_HANDLE_DESC);
    FreeErrorHeader(desc->diag);
    discard_handle(desc);
    return 0;
}

CV_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle) {
    try {
        switch (HandleType) {
            case SQL_HANDLE_ENV: {
                ENV *env = as_env(Handle);
                return env ? free_env(env) : SQL_INVALID_HANDLE;
            }
            case SQL_HANDLE_DBC: {
                DBC *dbc = as_dbc(Handle);
                return dbc ? free_dbc(dbc) : SQL_INVALID_HANDLE;
            }
            case SQL_HANDLE_STMT: {
                STMT *stmt = as_stmt(Handle);
                if (!stmt) return SQL_INVALID_HANDLE;
                free_statement(stmt);
                return SQL_SUCCESS;
            }
            case SQL_HANDLE_DESC: {
                DESC *desc = as_desc(Handle);
                if (!desc) return SQL_INVALID_HANDLE;
                SetupErrorHeader(desc->diag, 0);
                return free_descriptor(desc) == 0 ? SQL_SUCCESS : SQL_ERROR;
            }
            default: return SQL_ERROR;
        }
    } catch (...) {
        return SQL_ERROR;
    }
}

CV_EXPORT SQLRETURN SQL_API SQLFreeEnv(SQLHENV EnvironmentHandle) {
    return SQLFreeHandle(SQL_HANDLE_ENV, EnvironmentHandle);
}

CV_EXPORT SQLRETURN SQL_API SQLFreeConnect(SQLHDBC ConnectionHandle) {
    return SQLFreeHandle(SQL_HANDLE_DBC, ConnectionHandle);
}

CV_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option) {
    STMT *stmt = as_stmt(StatementHandle);
    if (!stmt) return SQL_INVALID_HANDLE;
    if (Option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLFREESTMT, {Option}) != 0) return SQL_ERROR;
        int r = 0;
        switch (Option) {
            case SQL_CLOSE: r = stmt->dbc->services.close_results(stmt); break;
            case SQL_UNBIND: r = reset_descriptor_records(stmt->ard); break;
            case SQL_RESET_PARAMS: r = reset_descriptor_records(stmt->apd); break;
            default: return post_error(stmt->diag, "HY092", "Option type out of range");
        }
        if (r != 0) return SQL_ERROR;
        (void)stmt_transition(1, stmt, SQL_API_SQLFREESTMT, {Option});
        return SQL_SUCCESS;
    });
}
