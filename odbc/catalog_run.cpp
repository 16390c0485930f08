// The catalogue functions' common run.
//
// The result's pool is a child of the statement's pool kept in the
// statement's run record (StatementRun::catalog_pool): closing the results
// releases it, and a failed call releases only that pool, never the
// statement's own.
#include "odbc/catalog_run.h"

#include <cstring>

#include "odbc/async.h"
#include "odbc/desc_type.h"
#include "odbc/descriptor.h"
#include "odbc/handle_ops.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "query/catalog_result.h"
#include "query/rowset.h"
#include "support/pool.h"

namespace {

// An asynchronous call's own copy of its arguments, in the result's pool.
struct CatalogJob {
    CatalogCall call;
    int32_t function_id;
    int32_t info;  // step 5 changed a cursor attribute
};

const char *type_name_of(int32_t sql_type) {
    switch (sql_type) {
        case SQL_CHAR: return "CHARACTER";
        case SQL_INTEGER: return "INTEGER";
        case SQL_SMALLINT: return "SMALLINT";
        case SQL_VARCHAR: return "VARCHAR";
        default: return "UNKNOWN";
    }
}

void copy_short(char (&out)[kDescShortText], const char *text) { std::snprintf(out, sizeof out, "%s", text); }

int describe(STMT *stmt, const CatalogResultDef *def) {
    DESC *ird = stmt->ird;
    if (reset_descriptor_records(ird) != 0 || desc_set_count(ird, def->column_count) != 0) return -1;
    const int version = stmt->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3;
    for (int c = 1; c <= def->column_count; c++) {
        const CatalogColumnDef &col = def->columns[c - 1];
        DescRecord *r = &ird->records[c];
        const bool text = col.sql_type == SQL_CHAR || col.sql_type == SQL_VARCHAR;
        desc_set_concise_type(r, static_cast<int16_t>(col.sql_type), version);
        r->display_size = text ? col.length : col.sql_type == SQL_INTEGER ? 11 : col.sql_type == SQL_SMALLINT ? 6 : 0;
        r->num_prec_radix = text ? 0 : 10;
        r->octet_length = text ? col.length : 4;
        r->length = static_cast<SQLULEN>(text ? col.length : 4);
        r->nullable = static_cast<int16_t>(col.nullable);
        r->searchable = SQL_PRED_SEARCHABLE;
        r->precision = 0;
        r->scale = 0;
        r->unnamed = SQL_NAMED;
        r->updatable = SQL_ATTR_READONLY;
        copy_short(r->type_name, type_name_of(col.sql_type));
        copy_short(r->local_type_name, type_name_of(col.sql_type));
        r->name = cv_mem_strdup(ird->record_pool, col.name);
        r->label = cv_mem_strdup(ird->record_pool, col.name);
        r->base_column_name = cv_mem_strdup(ird->record_pool, col.name);
        r->base_table_name = cv_mem_strdup(ird->record_pool, "");
        r->table_name = cv_mem_strdup(ird->record_pool, "");
        r->schema_name = cv_mem_strdup(ird->record_pool, "");
        r->catalog_name = cv_mem_strdup(ird->record_pool, "");
        if (!r->name || !r->label || !r->base_column_name || !r->base_table_name || !r->table_name ||
            !r->schema_name || !r->catalog_name)
            return -1;
    }
    if (stmt->attrs.use_bookmarks) {
        DescRecord *b = &ird->records[0];
        desc_set_concise_type(b, SQL_BINARY, version);
        b->octet_length = 4;
        b->length = 4;
        copy_short(b->type_name, "SQL_BOOKMARK");
        b->name = cv_mem_strdup(ird->record_pool, "BOOKMARK");
        b->label = cv_mem_strdup(ird->record_pool, "BOOKMARK");
        if (!b->name || !b->label) return -1;
    }
    ird->header.populated = 1;
    return 0;
}

// A catalogue result is a read-only, insensitive, static cursor. True when
// any of the application's settings had to change.
bool force_static(STMT *stmt) {
    bool changed = false;
    if (stmt->attrs.concurrency != SQL_CONCUR_READ_ONLY) {
        stmt->attrs.concurrency = SQL_CONCUR_READ_ONLY;
        changed = true;
    }
    if (stmt->attrs.cursor_sensitivity != SQL_INSENSITIVE) {
        stmt->attrs.cursor_sensitivity = SQL_INSENSITIVE;
        changed = true;
    }
    if (stmt->attrs.cursor_type == SQL_CURSOR_KEYSET_DRIVEN || stmt->attrs.cursor_type == SQL_CURSOR_DYNAMIC) {
        stmt->attrs.cursor_type = SQL_CURSOR_STATIC;
        changed = true;
    }
    return changed;
}

// Steps after the set-up: the DAL call, the rows, the rowset. SQL_SUCCESS,
// SQL_SUCCESS_WITH_INFO or SQL_ERROR (posted); no transition.
SQLRETURN fill(STMT *stmt, const CatalogJob &job) {
    StatementRun *run = static_cast<StatementRun *>(stmt->exec_list);
    const CatalogCall &call = job.call;
    const bool by_fk = call.function == CatalogFunction::kForeignKeys && call.texts[2].text &&
                       !(call.texts[2].length < 1 && call.texts[2].length != SQL_NTS) &&
                       !(call.texts[2].length == SQL_NTS && call.texts[2].text[0] == '\0');
    const CatalogResultDef *def = catalog_result_def(call.function, by_fk);
    const int64_t max_rows = static_cast<int64_t>(stmt->attrs.max_rows) > 0 ? static_cast<int64_t>(stmt->attrs.max_rows) : 0;
    CatalogResult *result = nullptr;
    const int r = catalog_result_run(run->catalog_pool, stmt, stmt->dbc->dal, &call, def, max_rows, &result);
    if (r < 0) return SQL_ERROR;
    const RowSource source = catalog_result_source(result);
    RowsetOptions options{};
    const bool scrollable = stmt->attrs.cursor_type == SQL_CURSOR_STATIC;
    options.mode = scrollable || stmt->attrs.use_bookmarks ? RowsetMode::kStatic : RowsetMode::kForwardOnly;
    run->rowset = rowset_open(run->catalog_pool, stmt->diag, &source, &options);
    if (!run->rowset) return SQL_ERROR;
    stmt->result = run->rowset;
    run->has_result = 1;
    return r == 1 || job.info ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

// Ends a call: the transition with its outcome; a failure closes the
// results, which releases the result's pool.
SQLRETURN finish(STMT *stmt, int function_id, SQLRETURN rc) {
    if (rc == SQL_ERROR) {
        (void)stmt_close_results(stmt);
        (void)stmt_transition(1, stmt, function_id, {0});
        return SQL_ERROR;
    }
    (void)stmt_transition(1, stmt, function_id, {1});
    return rc;
}

int run_job(STMT *stmt, void *argument) {
    try {
        return fill(stmt, *static_cast<CatalogJob *>(argument));
    } catch (...) {
        return post_error(stmt->diag, "HY000", "General error: %s", "catalogue call failed");
    }
}

DalText copy_text(CvPool *pool, DalText t, bool *ok) {
    if (!t.text) return t;
    const std::string_view v = dal_text_view(t);
    char *copy = cv_mem_strndup(pool, v);
    if (!copy) *ok = false;
    return DalText{copy, SQL_NTS};
}

}  // namespace

bool catalog_text(STMT *stmt, const SQLCHAR *text, SQLLEN length, DalText *out) {
    if (text && length < 0 && length != SQL_NTS) {
        (void)post_error(stmt->diag, "HY090", "Invalid string or buffer length");
        return false;
    }
    *out = DalText{reinterpret_cast<const char *>(text), static_cast<int>(length > INT32_MAX ? INT32_MAX : length)};
    return true;
}

namespace {

// The statement's previous results closed and a listing's job made in a
// pool of its own, the result columns described; null after posting
// (HY001), or without posting when the statement has no engine run.
// *closed tells whether the previous results were closed (the statement
// then holds the new pool and must be finished as a failed listing).
CatalogJob *start_listing(STMT *stmt, const CatalogCall &call, bool *closed) {
    *closed = false;
    StatementRun *run = run_of(stmt);
    CvPool *pool = run ? cv_mem_alloc_handle(stmt->pool) : nullptr;
    if (!pool) {
        if (run) (void)post_error(stmt->diag, "HY001", "Memory allocation error");
        return nullptr;
    }
    *closed = true;
    (void)stmt_close_results(stmt);
    (void)stmt_free_engine(stmt);
    run->catalog_pool = pool;
    run->has_result = 0;
    stmt->result_sets_left = 0;
    auto *job = pool_new<CatalogJob>(pool);
    if (!job || describe(stmt, catalog_result_def(call.function)) != 0) {
        (void)post_error(stmt->diag, "HY001", "Memory allocation error");
        return nullptr;
    }
    job->call = call;
    return job;
}

}  // namespace

SQLRETURN catalog_run_internal(STMT *stmt, const CatalogCall &call) {
    bool closed = false;
    CatalogJob *job = start_listing(stmt, call, &closed);
    if (!closed) return SQL_ERROR;
    SQLRETURN rc = SQL_ERROR;
    if (job) {
        (void)force_static(stmt);
        rc = fill(stmt, *job);
    }
    if (rc == SQL_ERROR) (void)stmt_close_results(stmt);
    return rc;
}

SQLRETURN catalog_run(STMT *stmt, int function_id, const CatalogCall &call) {
    if (stmt_is_async(stmt)) {
        const SQLRETURN rc = async_poll(stmt, function_id);
        if (rc == SQL_STILL_EXECUTING) return rc;
        if (stmt->async_result == kAsyncNoTransition) return SQL_ERROR;
        return finish(stmt, function_id, rc);
    }
    if (stmt_transition(0, stmt, function_id, {1}) != 0) return SQL_ERROR;
    bool closed = false;
    CatalogJob *job = start_listing(stmt, call, &closed);
    if (!job) {
        if (closed) return finish(stmt, function_id, SQL_ERROR);
        (void)stmt_transition(1, stmt, function_id, {0});
        return SQL_ERROR;
    }
    CvPool *pool = run_of(stmt)->catalog_pool;
    job->function_id = function_id;
    if (force_static(stmt)) {
        (void)post_warning(stmt->diag, "01S02", "Option value changed");
        job->info = 1;
    }
    if (stmt->attrs.async_enable == SQL_ASYNC_ENABLE_ON) {
        bool ok = true;
        for (DalText &t : job->call.texts) t = copy_text(pool, t, &ok);
        if (!ok) {
            (void)post_error(stmt->diag, "HY001", "Memory allocation error");
            return finish(stmt, function_id, SQL_ERROR);
        }
        async_start(stmt, function_id, run_job, job);
        return SQL_STILL_EXECUTING;
    }
    return finish(stmt, function_id, fill(stmt, *job));
}
