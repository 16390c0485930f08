// Execution of procedure calls (call.h): arguments evaluated and checked,
// the action run through the data access layer, its result rows kept for
// query_fetch.
#include <cstring>
#include <string>

#include "engine/cast.h"
#include "query/call.h"
#include "query/call_arguments.h"
#include "query/evaluate.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"

// The kept result rows: in a pool of their own, so that the executions of
// a parameter array add to them while each execution's pool comes and goes.
struct CallRows {
    CvPool *pool;
    int32_t columns;
    int32_t count;
    int32_t capacity;
    int32_t next;          // the row query_fetch hands out next, from 0
    Value ***rows;
};

namespace {

// Longest result value read: PayPal's ids, states and amounts are short.
constexpr SQLLEN kResultTextCapacity = 4096;

int no_memory(QueryStatement *st) {
    post_error(st->diag, "HY001", "Memory allocation error");
    return -1;
}

CallRows *rows_of(QueryStatement *st, int columns) {
    auto *r = static_cast<CallRows *>(st->call_rows);
    if (r) return r;
    CvPool *pool = cv_mem_alloc_handle(st->pool);
    r = pool ? pool_new<CallRows>(pool) : nullptr;
    if (!r) {
        cv_mem_release_handle(pool);
        return nullptr;
    }
    r->pool = pool;
    r->columns = columns;
    st->call_rows = r;
    return r;
}

bool add_row(CallRows *r, Value **row) {
    if (r->count == r->capacity) {
        const int32_t grown = r->capacity ? r->capacity * 2 : 4;
        auto **rows = pool_new_array<Value **>(r->pool, static_cast<size_t>(grown));
        if (!rows) return false;
        if (r->count) std::memcpy(rows, r->rows, sizeof(Value **) * static_cast<size_t>(r->count));
        r->rows = rows;
        r->capacity = grown;
    }
    r->rows[r->count++] = row;
    return true;
}

// One result value read from the provider in its column's type. Null after
// posting.
Value *read_value(QueryStatement *st, DalIterator *it, int column, const ProcedureColumn &col, CvPool *pool) {
    char text[kResultTextCapacity + 1];
    SQLLEN length = 0;
    const int r = DALGetData(it, column, SQL_C_CHAR, text, sizeof text, &length);
    if (r != DAL_OK && r != DAL_INFO) {
        post_error(st->diag, "HY000", "General error: %s", "the procedure's result could not be read");
        return nullptr;
    }
    Value *v = new_value_of_type(pool, VT_CHAR);
    if (!v) return nullptr;
    if (length == SQL_NULL_DATA) {
        set_value_null(v, col.sql_type == SQL_DECIMAL ? VT_NUMERIC : VT_CHAR);
        return v;
    }
    const size_t n = length < 0 ? 0 : length > kResultTextCapacity ? kResultTextCapacity : static_cast<size_t>(length);
    if (set_value_text(v, text, n) != 0) return nullptr;
    if (col.sql_type != SQL_DECIMAL) return v;
    CastTarget target{SQL_DECIMAL, 0, col.column_size, col.scale, 0, -1};
    Value *out = nullptr;
    if (cast_value(&target, &st->env, v, &out) != 0 || !out) return nullptr;
    return duplicate_value(out, pool);
}

// The argument of parameter k as the provider is sent it: null when left
// out, a NULL value when given as NULL, else its checked text. Throws after
// posting.
Value *argument(QueryStatement *st, EvalContext *c, const ProcedureInfo *proc, int k, Node *arg) {
    const ProcedureParam &param = proc->params[k];
    if (!arg) return nullptr;
    // A NULL written as the argument is a given NULL, not an expression.
    const bool null_literal = arg->kind == NODE_VALUE && node_cast<Value>(arg)->type == VT_NULL;
    Value *v = null_literal ? nullptr : evaluate_expression(arg, c);
    if (!v || v->is_null) {
        if (param.required) {
            post_error(st->diag, "22004", "Null value not allowed: argument %s of %s is required", param.name,
                       proc->name);
            throw QueryFailure{-1};
        }
        Value *n = new_value_of_type(st->exec_pool, VT_CHAR);
        if (!n) throw QueryFailure{no_memory(st)};
        set_value_null(n, VT_CHAR);
        return n;
    }
    std::string text;
    const ArgumentOutcome outcome = call_argument_text(v, param.sql_type, param.column_size, text);
    if (outcome != ArgumentOutcome::kOk) {
        char shown[128];
        size_t shown_length = 0;
        if (value_as_text(v, shown, sizeof shown, &shown_length) != 0) std::snprintf(shown, sizeof shown, "?");
        const char *what = outcome == ArgumentOutcome::kBadDate   ? "Invalid datetime format"
                           : outcome == ArgumentOutcome::kTooLong ? "String data, right truncated"
                                                                  : "Invalid character value for cast specification";
        post_error(st->diag, argument_outcome_state(outcome), "%s: argument %s of %s: \"%s\"", what, param.name,
                   proc->name, shown);
        throw QueryFailure{-1};
    }
    Value *out = new_value_of_type(st->exec_pool, VT_CHAR);
    if (!out || set_value_text(out, text.data(), text.size()) != 0)
        throw QueryFailure{no_memory(st)};
    return out;
}

}  // namespace

int execute_call(QueryStatement *st, ValidatedStatement *v) {
    const CallPlan *plan = v->call;
    const ProcedureInfo *proc = plan->procedure;
    if (!st->keep_call_rows) call_rows_release(st);
    if (st->call_rows) static_cast<CallRows *>(st->call_rows)->next = 0;
    const int n = proc->param_count;
    auto **args = pool_new_array<Value *>(st->exec_pool, static_cast<size_t>(n > 0 ? n : 1));
    if (!args) return no_memory(st);
    EvalContext c{st};
    try {
        for (int k = 0; k < n; k++) args[k] = argument(st, &c, proc, k, plan->arguments[k]);
    } catch (const QueryFailure &f) {
        return f.code;
    }
    DalIterator *it = DALOpenIteratorIn(st->connection.dal_handle, st->connection.dal, st->exec_pool);
    if (!it) return -1;
    DALSetIteratorTimeout(it, st->options.query_timeout);
    const int ran = DALRunProcedure(it, plan->provider, proc, n, args);
    if (ran != DAL_OK && ran != DAL_INFO) return -1;
    // The action is done: from here on a failure to keep its row does not
    // undo it, and the row count says so.
    st->row_count = 1;
    CallRows *rows = rows_of(st, proc->column_count);
    if (!rows) return no_memory(st);
    while (DALNextRow(it) == DAL_OK) {
        auto **row = pool_new_array<Value *>(rows->pool, static_cast<size_t>(proc->column_count) + 1);
        if (!row || !add_row(rows, row)) return no_memory(st);
        for (int col = 1; col <= proc->column_count; col++) {
            row[col - 1] = read_value(st, it, col, proc->columns[col - 1], rows->pool);
            if (!row[col - 1]) return -1;
        }
    }
    DALCloseIterator(it);
    rows->next = 0;
    st->call_open = 1;
    return ran == DAL_INFO ? 1 : 0;
}

int call_rows_next(QueryStatement *st) {
    auto *r = static_cast<CallRows *>(st->call_rows);
    if (!r || r->next >= r->count) return 100;
    st->row = r->rows[r->next++];
    return 0;
}

void call_rows_release(QueryStatement *st) {
    auto *r = static_cast<CallRows *>(st->call_rows);
    st->call_rows = nullptr;
    if (r) cv_mem_release_handle(r->pool);
}
