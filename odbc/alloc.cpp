// SQLAllocHandle and its ODBC 2 forms; descriptor and statement set-up.
#include "dal/dal.h"
#include "odbc/handle_ops.h"
#include "odbc/odbc_api.h"
#include "odbc/process.h"
#include "odbc/state.h"
#include "support/profile.h"
#include "support/threads.h"
#include "support/trace.h"

namespace {

// A handle record in its own pool under `parent`: releasing the pool frees
// the record and everything the handle allocated.
template <typename T>
T *new_handle(uint32_t tag, CvPool *parent) {
    CvPool *pool = cv_mem_alloc_handle(parent);
    if (!pool) return nullptr;
    T *h = new_node<T>(tag, pool);
    if (!h) {
        cv_mem_release_handle(pool);
        return nullptr;
    }
    h->pool = pool;
    return h;
}

template <typename T>
void discard_handle(T *h) {
    h->tag = 0;  // a stale pointer no longer passes the tag check
    cv_mem_release_handle(h->pool);
}

SQLRETURN alloc_env(SQLHANDLE *out) {
    if (!out) return SQL_ERROR;
    *out = SQL_NULL_HANDLE;
    CvConfig *config = open_registry();
    if (!config) return SQL_ERROR;
    set_config(config, kConfigKeyPath);
    ENV *env = new_handle<ENV>(TAG_ENV, nullptr);
    if (!env) {
        close_registry(config);
        return SQL_ERROR;
    }
    env->config = config;
    env->odbc_version = -1;
    env->output_nts = SQL_TRUE;
    env->diag = CreateErrorHeader(env->pool, env);
    if (!env->diag) {
        close_registry(config);
        discard_handle(env);
        return SQL_ERROR;
    }
    process_start(config);
    (void)env_transition(1, env, SQL_API_SQLALLOCHANDLE, SQL_HANDLE_ENV);
    *out = env;
    return SQL_SUCCESS;
}

SQLRETURN alloc_dbc(SQLHANDLE input, SQLHANDLE *out) {
    ENV *env = as_env(input);
    if (!env) return SQL_INVALID_HANDLE;
    {
        // Applications connect from several threads through one environment
        // (pyodbc keeps a single one): its diagnostics and state are shared,
        // so they change under the connection-state lock.
        MutexGuard guard(kConnectionStateLock);
        SetupErrorHeader(env->diag, 0);
        if (!out) return post_error(env->diag, "HY009", "Invalid use of null pointer");
        *out = SQL_NULL_HANDLE;
        // The environment refuses a connection until its ODBC version is set.
        if (env_transition(0, env, SQL_API_SQLALLOCHANDLE, SQL_HANDLE_DBC) != 0) return SQL_ERROR;
    }

    DBC *dbc = new_handle<DBC>(TAG_DBC, env->pool);
    bool ok = dbc != nullptr;
    if (ok) {
        dbc->env = env;
        dbc->attrs = conn_attributes_defaults();
        dbc->diag = CreateErrorHeader(dbc->pool, env);
        fill_services(&dbc->services);
        dbc->defaults = new_node<STMT>(TAG_STMT, dbc->pool);
        ok = dbc->diag && dbc->defaults;
    }
    if (ok) {
        dbc->defaults->pool = dbc->pool;
        dbc->defaults->env = env;
        dbc->defaults->dbc = dbc;
        ok = init_statement_attributes(dbc->defaults, nullptr) == 0 &&
             DALCreate(dbc, dbc->pool, odbc_host_services(), &dbc->dal, nullptr) == 0;
    }
    if (!ok) {
        if (dbc) discard_handle(dbc);
        MutexGuard guard(kConnectionStateLock);
        return post_error(env->diag, "HY001", "Memory allocation error");
    }
    if (conn_transition(1, dbc, SQL_API_SQLALLOCHANDLE, SQL_HANDLE_DBC) != 0) {
        discard_handle(dbc);
        return SQL_ERROR;
    }
    *out = dbc;
    return SQL_SUCCESS;
}

SQLRETURN alloc_stmt(SQLHANDLE input, SQLHANDLE *out) {
    DBC *dbc = as_dbc(input);
    if (!dbc) return SQL_INVALID_HANDLE;
    SetupErrorHeader(dbc->diag, 0);
    if (!out) return post_error(dbc->diag, "HY009", "Invalid use of null pointer");
    *out = SQL_NULL_HANDLE;

    STMT *stmt = new_handle<STMT>(TAG_STMT, dbc->pool);
    bool ok = stmt != nullptr;
    if (ok) {
        stmt->env = dbc->env;
        stmt->dbc = dbc;
        stmt->diag = CreateErrorHeader(stmt->pool, dbc->env);
        ok = stmt->diag && init_statement_attributes(stmt, dbc) == 0;
        stmt->async_enable = dbc->attrs.async_enable;
    }
    // The four implicit descriptors, in ARD, APD, IRD, IPD order.
    DESC **slots[] = {&stmt->implicit_ard, &stmt->implicit_apd, &stmt->implicit_ird,
                      &stmt->implicit_ipd};
    const int32_t types[] = {DESC_ARD, DESC_APD, DESC_IRD, DESC_IPD};
    for (int i = 0; ok && i < 4; i++)
        ok = alloc_descriptor(dbc, stmt, slots[i], 1) == 0 &&
             init_descriptor_header(*slots[i], types[i]) == 0;
    ok = ok && reset_descriptor_records(stmt->implicit_ard) == 0 &&
         reset_descriptor_records(stmt->implicit_apd) == 0 &&
         reset_descriptor_records(stmt->implicit_ipd) == 0;
    if (!ok) {
        if (stmt) discard_handle(stmt);
        SetupErrorHeader(dbc->diag, 0);
        return post_error(dbc->diag, "HY001", "Memory allocation error");
    }
    stmt->ard = stmt->implicit_ard;
    stmt->apd = stmt->implicit_apd;
    stmt->ird = stmt->implicit_ird;
    stmt->ipd = stmt->implicit_ipd;
    // Replication loading: no replication file is ever configured, so the
    // step only marks the connection as having run it.
    if (!dbc->replication_marker) dbc->replication_marker = 1;
    (void)stmt_transition(1, stmt, SQL_API_SQLALLOCHANDLE, {SQL_HANDLE_STMT});
    stmt->next_statement = dbc->statement_list;
    dbc->statement_list = stmt;
    *out = stmt;
    return SQL_SUCCESS;
}

SQLRETURN alloc_desc(SQLHANDLE input, SQLHANDLE *out) {
    DBC *dbc = as_dbc(input);
    if (!dbc) return SQL_INVALID_HANDLE;
    SetupErrorHeader(dbc->diag, 0);
    if (!out) return post_error(dbc->diag, "HY009", "Invalid use of null pointer");
    *out = SQL_NULL_HANDLE;
    DESC *desc = nullptr;
    if (alloc_descriptor(dbc, nullptr, &desc, 0) != 0) return SQL_ERROR;
    if (init_descriptor_header(desc, DESC_APD) != 0 || reset_descriptor_records(desc) != 0) {
        discard_handle(desc);
        return SQL_ERROR;
    }
    desc->header.alloc_type = SQL_DESC_ALLOC_USER;
    *out = desc;
    return SQL_SUCCESS;
}

SQLRETURN alloc_handle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *out) {
    switch (type) {
        case SQL_HANDLE_ENV: return alloc_env(out);
        case SQL_HANDLE_DBC: return alloc_dbc(input, out);
        case SQL_HANDLE_STMT: return alloc_stmt(input, out);
        case SQL_HANDLE_DESC: return alloc_desc(input, out);
        default: return SQL_ERROR;
    }
}

SQLRETURN traced_alloc(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *out) {
    log_message("allochandle", __LINE__, kTraceInfo, "SQLAllocHandle( %i, %h, %p )", type, input, out);
    SQLRETURN rc;
    try {
        rc = alloc_handle(type, input, out);
    } catch (...) {
        rc = SQL_ERROR;
    }
    if (SQL_SUCCEEDED(rc))
        log_message("allochandle", __LINE__, kTraceInfo,
                    "SQLAllocHandle() returns %e, OutputHandlePtr = %*h", rc, out);
    else
        log_message("allochandle", __LINE__, kTraceFailure, "SQLAllocHandle() returns %e", rc);
    return rc;
}

}  // namespace

int alloc_descriptor(DBC *dbc, STMT *stmt, DESC **out, int implicit) {
    SetupErrorHeader(dbc->diag, 0);
    *out = nullptr;
    DESC *desc = new_handle<DESC>(TAG_DESC, stmt ? stmt->pool : dbc->pool);
    if (desc) {
        desc->env = dbc->env;
        desc->dbc = dbc;
        desc->owner = stmt;
        desc->diag = CreateErrorHeader(desc->pool, dbc->env);
    }
    if (!desc || !desc->diag) {
        if (desc) discard_handle(desc);
        post_error(dbc->diag, "HY001", "Memory allocation error");
        return -1;
    }
    desc->header.implicit = implicit;
    (void)desc_transition(1, desc, SQL_API_SQLALLOCHANDLE, SQL_HANDLE_DESC, implicit);
    *out = desc;
    return 0;
}

int reset_descriptor_records(DESC *desc) {
    cv_mem_release_handle(desc->record_pool);
    desc->record_pool = cv_mem_alloc_handle(desc->pool);
    desc->record_count = 0;
    desc->records = nullptr;
    if (!desc->record_pool) {
        post_error(desc->dbc->diag, "HY001", "Memory allocation error");
        return -1;
    }
    return 0;
}

int init_descriptor_header(DESC *desc, int32_t type) {
    DescHeader &h = desc->header;
    h.type = type;
    h.alloc_type = h.implicit ? SQL_DESC_ALLOC_AUTO : SQL_DESC_ALLOC_USER;
    h.array_size = 1;
    h.rowset_size = 1;
    // An IRD describes nothing until the engine has described a result.
    h.populated = type == DESC_IRD ? 0 : 1;
    h.array_status = nullptr;
    h.bind_offset = nullptr;
    h.bind_type = SQL_BIND_BY_COLUMN;
    h.rows_processed = nullptr;
    return 0;
}

int init_statement_attributes(STMT *stmt, DBC *source) {
    stmt->attrs = source && source->defaults ? source->defaults->attrs : stmt_attributes_defaults();
    // These two follow the connection's own attributes, not the defaults
    // statement.
    if (source) {
        stmt->attrs.enable_auto_ipd = source->attrs.auto_ipd;
        stmt->attrs.async_enable = source->attrs.async_enable;
    }
    return 0;
}

CV_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                           SQLHANDLE *OutputHandle) {
    return traced_alloc(HandleType, InputHandle, OutputHandle);
}

CV_EXPORT SQLRETURN SQL_API SQLAllocHandleStd(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                              SQLHANDLE *OutputHandle) {
    SQLRETURN rc = traced_alloc(HandleType, InputHandle, OutputHandle);
    if (HandleType == SQL_HANDLE_ENV && SQL_SUCCEEDED(rc))
        static_cast<ENV *>(*OutputHandle)->odbc_version = 3;
    return rc;
}

CV_EXPORT SQLRETURN SQL_API SQLAllocEnv(SQLHENV *EnvironmentHandle) {
    SQLRETURN rc = traced_alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, EnvironmentHandle);
    if (SQL_SUCCEEDED(rc))
        (void)SQLSetEnvAttr(*EnvironmentHandle, SQL_ATTR_ODBC_VERSION,
                            reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0);
    return rc;
}

CV_EXPORT SQLRETURN SQL_API SQLAllocConnect(SQLHENV EnvironmentHandle, SQLHDBC *ConnectionHandle) {
    return traced_alloc(SQL_HANDLE_DBC, EnvironmentHandle, ConnectionHandle);
}

CV_EXPORT SQLRETURN SQL_API SQLAllocStmt(SQLHDBC ConnectionHandle, SQLHSTMT *StatementHandle) {
    return traced_alloc(SQL_HANDLE_STMT, ConnectionHandle, StatementHandle);
}
