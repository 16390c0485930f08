// query_run_text: prepare, execute and fetch a whole result.
#include "query/run_text.h"

#include <cstring>

#include "support/diag.h"
#include "support/value_ops.h"

namespace {

constexpr int64_t kMaxCollectedRows = 50'000'000;

struct StatementGuard {
    QueryStatement *st;
    ~StatementGuard() { query_statement_free(st); }
};

bool store_row(QueryStatement *st, CvPool *pool, QueryRows *out) {
    if (out->row_count == out->capacity) {
        int64_t grown = out->capacity ? out->capacity * 2 : 64;
        if (grown > kMaxCollectedRows) return false;
        size_t cells = static_cast<size_t>(grown) * static_cast<size_t>(out->column_count ? out->column_count : 1);
        auto *values = static_cast<Value **>(cv_mem_realloc(pool, out->values, cells * sizeof(Value *)));
        if (!values) return false;
        out->values = values;
        out->capacity = grown;
    }
    for (int i = 0; i < out->column_count; i++) {
        Value *v = query_column_value(st, i + 1);
        Value *copy = v ? duplicate_value(v, pool) : nullptr;
        if (!copy) return false;
        copy->deferred = 0;
        copy->source_iterator = nullptr;
        copy->piece_offset = 0;
        out->values[out->row_count * out->column_count + i] = copy;
    }
    out->row_count++;
    return true;
}

}  // namespace

int query_run_text(const QueryConnection *connection, ErrorHeader *diag, CvPool *pool, const char *text,
                   int count, Value *const *params, int64_t max_rows, QueryRows *out) {
    *out = QueryRows{};
    StatementGuard guard{query_statement_create(pool, diag, connection)};
    QueryStatement *st = guard.st;
    if (!st) {
        post_error(diag, "HY001", "Memory allocation error");
        return -1;
    }
    if (query_prepare(st, text, SQL_NTS) != 0) return -1;
    int r = query_execute(st, count, params);
    if (r < 0) return -1;
    const QueryStatementKind kind = query_statement_kind(st);
    if (kind != QueryStatementKind::kQuery && kind != QueryStatementKind::kCall) return 100;
    out->column_count = query_result_column_count(st);
    while (max_rows <= 0 || out->row_count < max_rows) {
        r = query_fetch(st);
        if (r == 100) break;
        if (r < 0) return -1;
        if (!store_row(st, pool, out)) {
            post_error(diag, "HY001", "Memory allocation error");
            return -1;
        }
    }
    return 0;
}
