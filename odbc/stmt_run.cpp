// The statement's engine statement and cursor: prepare, execute, describe,
// close.
#include "odbc/stmt_run.h"
#include "odbc/params.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include <string>

#include "odbc/conn_attr_value.h"
#include "odbc/desc_type.h"
#include "odbc/descriptor.h"
#include "odbc/setpos_rows.h"
#include "odbc/handle_ops.h"
#include "odbc/state.h"
#include "query/rowset.h"
#include "support/pool.h"

namespace {

int64_t number_attribute(const DBC *dbc, const char *keyword) {
    const char *v = connection_attribute_value(dbc, keyword);
    return v && *v ? std::strtoll(v, nullptr, 10) : 0;
}

// The statement of the same connection whose cursor is named `name`
// (WHERE CURRENT OF): see QueryCursorLookup.
int find_cursor(void *arg, const char *name, QueryStatement **owner, Rowset **rowset) {
    auto *self = static_cast<STMT *>(arg);
    for (STMT *s = self->dbc->statement_list; s; s = s->next_statement) {
        auto *run = static_cast<StatementRun *>(s->exec_list);
        if (s == self || !s->has_cursor_name || !run || strcasecmp(run->cursor_name, name) != 0) continue;
        *owner = run->query;
        *rowset = run->rowset;
        return run->query && run->rowset ? 0 : 2;
    }
    return 1;
}

void fill_connection(STMT *stmt, QueryConnection *c) {
    DBC *dbc = stmt->dbc;
    *c = QueryConnection{};
    c->dal = dbc->dal;
    c->dal_handle = stmt;
    c->odbc_version = dbc->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3;
    c->user = connection_attribute_value(dbc, "UID");
    c->database = dbc->attrs.current_catalog;
    c->work_dir_path = connection_attribute_value(dbc, "work_dir_path");
    c->work_mem_size = number_attribute(dbc, "work_mem_size");
    c->work_dir_size = number_attribute(dbc, "work_dir_size");
    c->relational_opt = dbc->relational_opt;
    c->in_expansion = dbc->in_expansion;
    c->cursors = QueryCursorLookup{stmt, find_cursor};
    c->cancel = &stmt->cancel_requested;
}

// The engine statement, made on first use in its own pool (STMT::parse_pool).
QueryStatement *engine_of(STMT *stmt, StatementRun *run) {
    if (run->query) return run->query;
    fill_connection(stmt, &run->connection);
    CvPool *pool = cv_mem_alloc_handle(stmt->pool);
    QueryStatement *q = pool ? query_statement_create(pool, stmt->diag, &run->connection) : nullptr;
    if (!q) {
        cv_mem_release_handle(pool);
        (void)post_error(stmt->diag, "HY001", "Memory allocation error");
        return nullptr;
    }
    run->query = q;
    stmt->parse_pool = pool;
    stmt->parse_context = q;
    return q;
}

// Rows of the engine's cursor, as a rowset reads them.
// The rowset's source argument is the statement.
QueryStatement *query_of(void *arg) {
    return static_cast<StatementRun *>(static_cast<STMT *>(arg)->exec_list)->query;
}
int next_row(void *arg) { return query_fetch(query_of(arg)); }
Value *column_value(void *arg, int column) { return query_column_value(query_of(arg), column); }
Value *const *row_values(void *arg) {
    auto *run = static_cast<StatementRun *>(static_cast<STMT *>(arg)->exec_list);
    return query_row_values(run->query, query_result_column_count(run->query));
}
int settle_value(void *arg, Value *v) { return query_settle_value(query_of(arg), v); }
Value *identity_value(void *arg, int k) { return query_identity_value(query_of(arg), k); }
int refetch(void *arg, int64_t, Value **values) {
    int columns = query_result_column_count(query_of(arg));
    return query_refetch_row(query_of(arg), values + 1 + columns, values + 1);
}

char *pool_text(DESC *d, const char *text) { return cv_mem_strdup(d->record_pool, text ? text : ""); }

void copy_short(char (&out)[kDescShortText], const char *text) {
    std::snprintf(out, sizeof out, "%s", text ? text : "");
}

RowsetMode mode_of(const STMT *stmt) {
    switch (stmt->attrs.cursor_type) {
    case SQL_CURSOR_STATIC: return RowsetMode::kStatic;
    case SQL_CURSOR_KEYSET_DRIVEN:
    case SQL_CURSOR_DYNAMIC: return RowsetMode::kKeyset;
    default: return stmt->attrs.use_bookmarks ? RowsetMode::kStatic : RowsetMode::kForwardOnly;
    }
}

// A keyset-driven (or dynamic) cursor needs rows it can read again by their
// identity; a query without one (expressions, grouping, DISTINCT, UNION,
// outer joins, a table its provider cannot read row by row) gets a static cursor,
// and the application is told the cursor type changed. A dynamic cursor is
// served as keyset-driven and says so too. true when the type changed.
bool settle_cursor_type(STMT *stmt, StatementRun *run) {
    SQLULEN type = stmt->attrs.cursor_type;
    if (type != SQL_CURSOR_KEYSET_DRIVEN && type != SQL_CURSOR_DYNAMIC) return false;
    if (query_identity_count(run->query) > 0) {
        if (type == SQL_CURSOR_KEYSET_DRIVEN) return false;
        stmt->attrs.cursor_type = SQL_CURSOR_KEYSET_DRIVEN;
        stmt->attrs.cursor_scrollable = SQL_SCROLLABLE;
        stmt->attrs.cursor_sensitivity = SQL_SENSITIVE;
        return true;
    }
    stmt->attrs.cursor_type = SQL_CURSOR_STATIC;
    stmt->attrs.cursor_scrollable = SQL_SCROLLABLE;
    stmt->attrs.cursor_sensitivity = SQL_INSENSITIVE;
    return true;
}

SQLRETURN open_cursor(STMT *stmt, StatementRun *run) {
    const bool changed = settle_cursor_type(stmt, run);
    if (changed) (void)post_warning(stmt->diag, "01S02", "Option value changed");
    int count = query_result_column_count(run->query);
    auto *sizes = pool_new_array<int32_t>(stmt->pool, static_cast<size_t>(count) + 1);
    if (!sizes) return post_error(stmt->diag, "HY001", "Memory allocation error");
    for (int c = 1; c <= count && c <= stmt->ird->record_count; c++) {
        SQLLEN n = stmt->ird->records[c].octet_length;
        sizes[c - 1] = n > 0 && n < 4096 ? static_cast<int32_t>(n) : 0;
    }
    RowSource source{};
    source.arg = stmt;
    source.column_count = count;
    source.next_row = next_row;
    source.column_value = column_value;
    source.row_values = row_values;
    source.settle_value = settle_value;
    source.delete_row = setpos_delete_row;
    source.update_row = setpos_update_row;
    source.insert_row = setpos_insert_row;
    source.refetch = refetch;
    source.identity_count = query_identity_count(run->query);
    source.identity_value = identity_value;
    RowsetOptions options{};
    options.mode = mode_of(stmt);
    options.cache_records = static_cast<int32_t>(run->connection.work_dir_size > 0 &&
                                                         run->connection.work_dir_size < 1000000
                                                     ? run->connection.work_dir_size
                                                     : 0);
    options.work_dir = run->connection.work_dir_path;
    options.inline_sizes = sizes;
    run->rowset = rowset_open(stmt->pool, stmt->diag, &source, &options);
    cv_mem_free(sizes);
    if (!run->rowset) return SQL_ERROR;
    // A keyset-driven cursor's membership is fixed when it opens: every row
    // (and its identity) is read now; rows are read again as they are shown.
    int filled = options.mode == RowsetMode::kKeyset ? rowset_fill(run->rowset) : 0;
    if (filled < 0) {
        rowset_close(run->rowset);
        run->rowset = nullptr;
        return SQL_ERROR;
    }
    stmt->result = run->rowset;
    return changed || filled == 1 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

bool stmt_kind_has_result(const QueryStatement *q) {
    const QueryStatementKind kind = query_statement_kind(q);
    return kind == QueryStatementKind::kQuery ||
           (kind == QueryStatementKind::kCall && query_result_column_count(q) > 0);
}

StatementRun *run_of(STMT *stmt) {
    if (!stmt->exec_list) {
        auto *run = pool_new<StatementRun>(stmt->pool);
        if (!run) {
            (void)post_error(stmt->diag, "HY001", "Memory allocation error");
            return nullptr;
        }
        run->get_data_column = kNoGetDataColumn;
        stmt->exec_list = run;
    }
    return static_cast<StatementRun *>(stmt->exec_list);
}

Rowset *stmt_rowset(STMT *stmt) {
    auto *run = static_cast<StatementRun *>(stmt->exec_list);
    return run ? run->rowset : nullptr;
}

int stmt_close_results(STMT *stmt) {
    auto *run = static_cast<StatementRun *>(stmt->exec_list);
    if (!run) return 0;
    run->set_pos_changed = 0;
    setpos_release_pending(stmt);
    rowset_close(run->rowset);
    run->rowset = nullptr;
    stmt->result = nullptr;
    run->get_data_column = kNoGetDataColumn;
    stmt->attrs.row_number = 0;
    if (run->query) query_close_cursor(run->query);
    // A catalogue result goes with its pool; the pointer is cleared so that
    // nothing can release it twice.
    CvPool *catalog = run->catalog_pool;
    run->catalog_pool = nullptr;
    cv_mem_release_handle(catalog);
    return 0;
}

int stmt_free_engine(STMT *stmt) {
    auto *run = static_cast<StatementRun *>(stmt->exec_list);
    if (!run) return 0;
    (void)stmt_close_results(stmt);
    if (run->query) query_statement_free(run->query);
    run->query = nullptr;
    stmt->parse_context = nullptr;
    return 0;
}

int stmt_describe_results(STMT *stmt) {
    auto *run = static_cast<StatementRun *>(stmt->exec_list);
    DESC *ird = stmt->ird;
    if (reset_descriptor_records(ird) != 0) return -1;
    int count = run && run->query ? query_result_column_count(run->query) : 0;
    if (count > 0 && desc_set_count(ird, count) != 0) return -1;
    int version = stmt->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3;
    for (int c = 1; c <= count; c++) {
        const QueryColumn *qc = nullptr;
        if (query_describe_column(run->query, c, &qc) != 0) return -1;
        DescRecord *r = &ird->records[c];
        const ExtendedType &t = qc->type;
        desc_set_concise_type(r, static_cast<int16_t>(t.sql_type), version);
        r->length = static_cast<SQLULEN>(t.column_size > 0 ? t.column_size : t.length);
        r->octet_length = t.length;
        r->precision = static_cast<int16_t>(t.precision);
        r->scale = static_cast<int16_t>(t.scale);
        r->display_size = t.display_size;
        r->nullable = static_cast<int16_t>(t.nullable);
        r->is_unsigned = static_cast<int16_t>(t.unsigned_flag ? SQL_TRUE : SQL_FALSE);
        r->searchable = static_cast<int16_t>(t.searchable);
        r->case_sensitive = t.case_sensitive;
        r->updatable = static_cast<int16_t>(t.updatable);
        r->auto_unique_value = t.auto_unique;
        r->fixed_prec_scale = static_cast<int16_t>(t.fixed_prec_scale);
        r->num_prec_radix = t.radix;
        r->datetime_interval_precision = t.interval_precision;
        copy_short(r->type_name, t.type_name);
        copy_short(r->local_type_name, t.local_name);
        copy_short(r->literal_prefix, t.literal_prefix);
        copy_short(r->literal_suffix, t.literal_suffix);
        r->label = pool_text(ird, qc->label);
        r->name = pool_text(ird, qc->name);
        r->base_column_name = pool_text(ird, qc->base_column);
        r->base_table_name = pool_text(ird, qc->base_table);
        r->table_name = pool_text(ird, qc->table);
        r->schema_name = pool_text(ird, qc->schema);
        r->catalog_name = pool_text(ird, qc->catalog);
        r->unnamed = static_cast<int16_t>(qc->unnamed ? SQL_UNNAMED : SQL_NAMED);
        if (!r->label || !r->name || !r->base_column_name || !r->base_table_name || !r->table_name ||
            !r->schema_name || !r->catalog_name)
            return post_error(stmt->diag, "HY001", "Memory allocation error");
    }
    ird->header.populated = count > 0 ? 1 : 0;
    return 0;
}

SQLRETURN stmt_prepare_text(STMT *stmt, const char *text, SQLLEN length, int native) {
    StatementRun *run = run_of(stmt);
    if (!run) return SQL_ERROR;
    QueryStatement *q = engine_of(stmt, run);
    if (!q) return SQL_ERROR;
    (void)stmt_close_results(stmt);
    QueryOptions options{};
    options.syntax_error_native = native;
    query_set_options(q, &options);
    stmt->result_sets_left = 0;
    stmt->result_sets_in_batch = 0;
    int rc = query_prepare(q, text, length);
    if (rc != 0) {
        (void)stmt_describe_results(stmt);
        return SQL_ERROR;
    }
    if (stmt_describe_results(stmt) != 0) return SQL_ERROR;
    run->has_result = stmt_kind_has_result(q);
    stmt->result_sets_left = run->has_result ? 1 : 0;
    stmt->result_sets_in_batch = stmt->result_sets_left;
    QueryStatementKind kind = query_statement_kind(q);
    // In auto-commit mode every change is committed as it happens: no
    // transaction is left open behind it.
    bool manual = stmt->dbc->attrs.autocommit == SQL_AUTOCOMMIT_OFF;
    if (manual && (kind == QueryStatementKind::kRowChange || kind == QueryStatementKind::kDefinition)) {
        if (conn_transition(1, stmt->dbc, kValidateNonQuery) != 0) {
            // The connection's failure is the statement's.
            return post_error(stmt->diag, "HY000", "General error: %s", "the transaction could not be started");
        }
    }
    return SQL_SUCCESS;
}

SQLRETURN stmt_execute_current(STMT *stmt) {
    StatementRun *run = run_of(stmt);
    if (!run || !run->query) return post_error(stmt->diag, "HY010", "Function sequence error");
    (void)stmt_close_results(stmt);
    QueryOptions options{};
    options.query_timeout = static_cast<int32_t>(stmt->attrs.query_timeout);
    options.max_rows = static_cast<int64_t>(stmt->attrs.max_rows);
    options.row_identity = stmt->attrs.cursor_type == SQL_CURSOR_KEYSET_DRIVEN ||
                           stmt->attrs.cursor_type == SQL_CURSOR_DYNAMIC;
    // A forward-only cursor delivers each row before the next is read, so
    // the bound columns may take their texts straight from the provider
    // (fetch_plan_deliver).
    options.results_unread = mode_of(stmt) == RowsetMode::kForwardOnly ? 1 : 0;
    query_set_options(run->query, &options);
    stmt->row_count = 0;
    const QueryStatementKind kind = query_statement_kind(run->query);
    // A procedure is an action on PayPal: a connection the application
    // made read-only runs none.
    if (kind == QueryStatementKind::kCall && stmt->dbc->attrs.access_mode == SQL_MODE_READ_ONLY)
        return post_error(stmt->diag, "25006", "Read-only SQL-transaction: the connection's access mode is read-only; "
                                              "the procedure was not run");
    Value **params = nullptr;
    int param_count = stmt_param_values(stmt, &params);
    int rc = query_execute(run->query, param_count, params);
    if (rc < 0) return SQL_ERROR;
    stmt->row_count = query_row_count(run->query);
    set_diag_row_count(stmt->diag, stmt->row_count);
    if (kind == QueryStatementKind::kQuery || (kind == QueryStatementKind::kCall && run->has_result)) {
        SQLRETURN opened = open_cursor(stmt, run);
        if (opened == SQL_ERROR) {
            query_close_cursor(run->query);
            return SQL_ERROR;
        }
        if (opened == SQL_SUCCESS_WITH_INFO && rc == 0) rc = 1;
    }
    return rc == 1 ? SQL_SUCCESS_WITH_INFO : rc == 100 ? SQL_NO_DATA : SQL_SUCCESS;
}
