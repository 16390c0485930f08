// The statement layer's entry points (exec_api.h): prepare, describe,
// execute, fetch, close, batches. Every entry catches the engine's
// QueryFailure; nothing is thrown beyond this file.
#include "query/exec_api.h"
#include "query/change.h"
#include "query/call.h"

#include <cstring>
#include <ctime>

#include "query/cursor.h"
#include "query/keyset.h"
#include "query/plan.h"
#include "query/records.h"
#include "query/scan.h"
#include "query/validate.h"
#include "support/diag.h"

namespace {

ValidatedStatement *current(const QueryStatement *st) {
    if (!st || !st->statements || st->current < 0 || st->current >= st->statement_count) return nullptr;
    return st->statements[st->current];
}

void drop_parse(QueryStatement *st) {
    cv_mem_release_handle(st->parse_pool);
    st->parse_pool = nullptr;
    st->parse = nullptr;
    st->statements = nullptr;
    st->statement_count = 0;
    st->current = 0;
    st->parameter_count = 0;
    st->parameters = nullptr;
    st->parameter_types = nullptr;
    st->parameter_typed = nullptr;
}

int post_memory(QueryStatement *st) {
    post_error(st->diag, "HY001", "Memory allocation error");
    return -1;
}

// The first unsupported form of a scope or any sub-query below it.
const char *unsupported_in(const QueryScope *scope, int depth) {
    if (!scope || depth > 200) return nullptr;
    if (scope->unsupported) return scope->unsupported;
    for (ListCell *c = ListFirst(scope->subqueries); c; c = ListNext(c))
        if (const char *u = unsupported_in(static_cast<const QueryScope *>(ListData(c)), depth + 1)) return u;
    return unsupported_in(scope->union_next, depth + 1);
}

void local_now(TIMESTAMP_STRUCT *out) {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm {};
    localtime_r(&ts.tv_sec, &tm);
    out->year = static_cast<SQLSMALLINT>(tm.tm_year + 1900);
    out->month = static_cast<SQLUSMALLINT>(tm.tm_mon + 1);
    out->day = static_cast<SQLUSMALLINT>(tm.tm_mday);
    out->hour = static_cast<SQLUSMALLINT>(tm.tm_hour);
    out->minute = static_cast<SQLUSMALLINT>(tm.tm_min);
    out->second = static_cast<SQLUSMALLINT>(tm.tm_sec);
    out->fraction = 0;
}

int run_transaction(QueryStatement *st, ValidatedStatement *v) {
    if (!st->connection.dal) return 0;
    int completion = v->tree->kind == NODE_COMMIT ? SQL_COMMIT : SQL_ROLLBACK;
    int r = DALEndTransaction(st->connection.dal, completion);
    if (r == DAL_OK) return 0;
    if (r == DAL_INFO) return 1;
    return -1;
}

}  // namespace

void query_register_dal_hooks();

QueryStatement *query_statement_create(CvPool *parent, ErrorHeader *diag, const QueryConnection *connection) {
    query_register_dal_hooks();
    CvPool *pool = cv_mem_alloc_handle(parent);
    auto *st = pool ? pool_new<QueryStatement>(pool) : nullptr;
    if (!st) {
        cv_mem_release_handle(pool);
        return nullptr;
    }
    st->pool = pool;
    st->diag = diag;
    if (connection) st->connection = *connection;
    if (st->connection.odbc_version == 0) st->connection.odbc_version = 3;
    st->row_count = -1;
    return st;
}

void query_statement_free(QueryStatement *st) {
    if (!st) return;
    query_close_cursor(st);
    cv_mem_release_handle(st->pool);
}

void query_set_options(QueryStatement *st, const QueryOptions *options) {
    if (st && options) st->options = *options;
}

int query_prepare(QueryStatement *st, const char *text, SQLLEN length) {
    if (!st) return -1;
    query_close_cursor(st);
    drop_parse(st);
    if (!text) {
        post_error(st->diag, "HY009", "Invalid use of null pointer");
        return -1;
    }
    size_t n = length == SQL_NTS ? std::strlen(text) : length < 0 ? 0 : static_cast<size_t>(length);
    st->parse_pool = cv_mem_alloc_handle(st->pool);
    if (!st->parse_pool) return post_memory(st);
    char *copy = static_cast<char *>(cv_mem_alloc(st->parse_pool, n + 1));
    st->parse = create_parse_context(st->parse_pool);
    if (!copy || !st->parse) {
        drop_parse(st);
        return post_memory(st);
    }
    std::memcpy(copy, text, n);
    copy[n] = '\0';
    int r = parse_sql_text(st->parse, copy, 0, nullptr);
    if (r != 0) {
        SetReturnCode(st->diag, SQL_ERROR);
        // A datetime literal that is no real date or time carries its own
        // data-exception state (22007, 22008); everything else is 42000.
        if (std::strcmp(st->parse->sqlstate, "42000") != 0)
            PostError(st->diag, 2, 0, 0, 0, 0, "ISO 9075", st->parse->sqlstate, "%s",
                      message_of(st->parse));
        else
            PostError(st->diag, 2, 0, 0, st->options.syntax_error_native, 0, "ISO 9075", "42000",
                      "Syntax error or access violation \"%s\"", message_of(st->parse));
        release_parse_context(st->parse);
        drop_parse(st);
        return -1;
    }
    if (validate_statements(st) != 0) {
        release_parse_context(st->parse);
        drop_parse(st);
        return -1;
    }
    for (int i = 0; i < st->statement_count; i++) {
        const char *what = unsupported_in(st->statements[i]->scope, 0);
        if (!what) continue;
        SetReturnCode(st->diag, SQL_ERROR);
        PostError(st->diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HYC00", "Optional feature not implemented: %s", what);
        release_parse_context(st->parse);
        drop_parse(st);
        return -1;
    }
    st->current = 0;
    return 0;
}

QueryStatementKind query_statement_kind(const QueryStatement *st) {
    ValidatedStatement *v = current(st);
    return v ? v->statement_kind : QueryStatementKind::kNone;
}

int32_t query_function_code(const QueryStatement *st) {
    ValidatedStatement *v = current(st);
    return v ? v->function_code : 0;
}

int query_result_column_count(const QueryStatement *st) {
    ValidatedStatement *v = current(st);
    return v ? v->column_count : 0;
}

int query_describe_column(QueryStatement *st, int column, const QueryColumn **out) {
    ValidatedStatement *v = current(st);
    if (!v || column < 1 || column > v->column_count) {
        if (st) post_error(st->diag, "07009", "Invalid descriptor index");
        return -1;
    }
    *out = &v->columns[column - 1];
    return 0;
}

int query_parameter_count(const QueryStatement *st) { return st && current(st) ? st->parameter_count : 0; }

int query_describe_parameter(QueryStatement *st, int number, const QueryParameter **out) {
    if (!st || number < 1 || number > st->parameter_count || !st->parameters) {
        if (st) post_error(st->diag, "07009", "Invalid descriptor index");
        return -1;
    }
    *out = &st->parameters[number - 1];
    return 0;
}

int query_execute(QueryStatement *st, int count, Value *const *params) {
    if (!st) return -1;
    query_close_cursor(st);
    ValidatedStatement *v = current(st);
    if (!v) {
        post_error(st->diag, "HY010", "Function sequence error");
        return -1;
    }
    if (count < st->parameter_count) {
        post_error(st->diag, "07002", "COUNT field incorrect");
        return -1;
    }
    st->generation++;
    st->exec_pool = cv_mem_alloc_handle(st->pool);
    st->row_pool = st->exec_pool ? cv_mem_alloc_handle(st->exec_pool) : nullptr;
    if (!st->row_pool) {
        query_close_cursor(st);
        return post_memory(st);
    }
    st->params = params;
    st->param_value_count = count;
    if (st->fixed_start) st->start = st->given_start;
    else local_now(&st->start);
    st->deadline = st->options.query_timeout > 0 ? time(nullptr) + st->options.query_timeout : 0;
    st->env = ValueEnv{};
    st->env.pool = st->row_pool;
    st->env.diag = st->diag;
    st->env.start = st->start;
    st->env.odbc_version = st->connection.odbc_version;
    st->env.user = st->connection.user;
    st->env.database = st->connection.database;
    st->row_count = -1;
    // Definitions the validator planned go to their provider like changes.
    QueryStatementKind kind = v->statement_kind;
    if (kind == QueryStatementKind::kDefinition && v->change) kind = QueryStatementKind::kRowChange;
    switch (kind) {
        case QueryStatementKind::kQuery: {
            EvalContext c{st};
            try {
                if (st->options.row_identity) keyset_prepare(st, v, &c);
                cursor_open(st, v->scope, &c);
            } catch (const QueryFailure &f) {
                query_close_cursor(st);
                return f.code;
            }
            return 0;
        }
        case QueryStatementKind::kTransaction: {
            int r = run_transaction(st, v);
            query_close_cursor(st);
            st->row_count = 0;
            return r;
        }
        case QueryStatementKind::kCall: {
            int r = execute_call(st, v);
            if (r < 0) {
                SQLLEN done = st->row_count;
                query_close_cursor(st);
                st->row_count = done > 0 ? done : 0;
            }
            return r;
        }
        case QueryStatementKind::kRowChange: {
            int r = execute_change(st, v);
            SQLLEN changed = st->row_count;
            query_close_cursor(st);
            st->row_count = changed;
            return r;
        }
        default:
            query_close_cursor(st);
            SetReturnCode(st->diag, SQL_ERROR);
            PostError(st->diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HYC00",
                      "Optional feature not implemented: this statement kind cannot be executed yet");
            return -1;
    }
}

int query_fetch(QueryStatement *st) {
    if (st && st->call_open) {
        st->row = nullptr;
        return call_rows_next(st);
    }
    if (!st || !st->plan) {
        if (st) post_error(st->diag, "24000", "Invalid cursor state");
        return -1;
    }
    st->row = nullptr;
    st->row_info = 0;
    try {
        EvalContext c{st};
        if (cursor_next(st, &c) != 0) return 100;
        return st->row_info ? 1 : 0;
    } catch (const QueryFailure &f) {
        return f.code;
    }
}

Value *query_column_value(QueryStatement *st, int column) {
    if (!st || !st->row || (!st->plan && !st->call_open) || column < 1 || column > query_result_column_count(st)) return nullptr;
    return st->row[column - 1];
}

Value *const *query_row_values(QueryStatement *st, int columns) {
    if (!st || !st->row || !st->plan || columns > query_result_column_count(st)) return nullptr;
    return st->row;
}

int query_settle_rest(QueryStatement *st, Value *v, int read) {
    try {
        EvalContext c{st};
        finish_row_value_read(v, read, text_capacity_of(v), &c);
        return 0;
    } catch (const QueryFailure &f) {
        return f.code;
    }
}

int query_settle_cut_text(QueryStatement *st, Value *v, const char *prefix, size_t n) {
    try {
        EvalContext c{st};
        settle_cut_text(v, prefix, n, &c);
        return 0;
    } catch (const QueryFailure &f) {
        return f.code;
    }
}

int query_read_failed(QueryStatement *st) {
    try {
        EvalContext c{st};
        raise_evaluation_error(&c, "HY000", "Data Read Error");
    } catch (const QueryFailure &f) {
        return f.code;
    }
}

void query_close_cursor(QueryStatement *st) {
    if (!st) return;
    st->row = nullptr;
    st->plan = nullptr;
    st->identity = nullptr;
    st->call_open = 0;
    if (!st->keep_call_rows) call_rows_release(st);
    // Releasing the execution pool closes every plan's iterators (release
    // callbacks) and frees values, sub-query answers and temporaries.
    cv_mem_release_handle(st->exec_pool);
    st->exec_pool = nullptr;
    st->row_pool = nullptr;
    st->env.pool = nullptr;
    st->scratch_chunks = nullptr;
    st->scratch_chunk_count = st->scratch_used = st->rows_since_reset = 0;
}

int query_cursor_open(const QueryStatement *st) { return st && (st->plan || st->call_open) ? 1 : 0; }

SQLLEN query_row_count(const QueryStatement *st) { return st ? st->row_count : -1; }

int query_more_results(QueryStatement *st) {
    if (!st) return 100;
    query_close_cursor(st);
    if (st->current + 1 >= st->statement_count) return 100;
    st->current++;
    return 0;
}

void query_start_instant(const QueryStatement *st, TIMESTAMP_STRUCT *out) {
    if (st && out) *out = st->start;
}

void query_keep_call_rows(QueryStatement *st, int keep) {
    if (!st) return;
    // Turned on, the array starts without the rows of an earlier execution.
    if (keep && !st->keep_call_rows) {
        st->call_open = 0;
        call_rows_release(st);
    }
    st->keep_call_rows = keep ? 1 : 0;
}

void query_set_start_instant(QueryStatement *st, const TIMESTAMP_STRUCT *instant) {
    if (!st) return;
    st->fixed_start = instant ? 1 : 0;
    if (instant) st->given_start = *instant;
}
