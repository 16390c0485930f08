// ORDER BY and UNION over the branches of a query expression (cursor.h).
#include "query/cursor.h"

#include <cstring>
#include <new>

#include "engine/describe_expression.h"
#include "query/group.h"
#include "query/plan.h"
#include "query/sort.h"
#include "query/sort_record.h"
#include "support/value_ops.h"

namespace {

struct OrderKey {
    int32_t column;        // result column (from 0), or -1 for an expression
    Node *expression;
    int32_t descending;
    KeyForm form;          // 0 until known
};

struct Cursor {
    QueryScope *first;
    int32_t column_count;
    int32_t branch_count;
    QueryScope **branches;
    int32_t branch_index;      // branch read directly now
    int32_t distinct_through;  // last branch of the de-duplicated set, or -1
    int32_t union_done;
    Sort *union_sort;
    Sort *order_sort;
    int32_t ordered;
    int32_t key_count;
    OrderKey *keys;
    KeyForm *column_forms;     // 0 until known
    Value **row;               // rows decoded from a sort
    int32_t *row_capacity;     // text bytes of each row value (payload_read_into)
    CvPool *row_pool;
    int32_t pool_rows;         // rows decoded into row_pool
    int64_t limit;             // applied here when ordering or de-duplicating
    int64_t produced;
    ByteBuffer *key;
    ByteBuffer *payload;
};

[[noreturn]] void no_memory(EvalContext *c) { raise_evaluation_error(c, "HY001", "Memory allocation error"); }

KeyForm form_of_sql_type(int sql_type) {
    uint32_t vt = value_type_for_sql_type(sql_type, nullptr);
    return vt ? key_form_of_type(vt) : static_cast<KeyForm>(0);
}

KeyForm settle(KeyForm *form, const Value *v) {
    if (static_cast<int>(*form) == 0 && v && !v->is_null) *form = key_form_of_type(v->type);
    return static_cast<int>(*form) == 0 ? KeyForm::kOther : *form;
}

Sort *new_sort(QueryStatement *st, int unique, EvalContext *c) {
    SortOptions o{};
    o.budget = st->connection.work_mem_size;
    o.unique = unique;
    o.directory = st->connection.work_dir_path;
    o.deadline = st->deadline;
    o.cancel = st->connection.cancel;
    Sort *s = sort_start(st->exec_pool, &o);
    if (!s) raise_evaluation_error(c, "HY000", "General error: %s", "error starting sort routine");
    return s;
}

// A plan of `scope` whose rows are not cut by the statement's row limit
// (nor by TOP when `keep_top` is false): the cursor applies the limit after
// ordering.
ExecPlan *open_branch(QueryStatement *st, QueryScope *scope, bool unlimited, bool keep_top, EvalContext *c) {
    const int64_t max_rows = st->options.max_rows;
    const int32_t top = scope->top;
    if (unlimited) {
        st->options.max_rows = 0;
        if (!keep_top) scope->top = 0;
    }
    ExecPlan *plan = nullptr;
    try {
        plan = plan_create(st, scope, st->exec_pool);
    } catch (...) {
        st->options.max_rows = max_rows;
        scope->top = top;
        throw;
    }
    st->options.max_rows = max_rows;
    scope->top = top;
    plan_open(plan, c);
    st->plan = plan;
    return plan;
}

// Rows decoded from a sort live in the cursor's pool, replaced every 64
// rows (a row's values are needed only until the next fetch).
void fresh_cursor_pool(Cursor *k, QueryStatement *st, EvalContext *c) {
    if (k->row_pool && ++k->pool_rows < 64) return;
    k->pool_rows = 0;
    CvPool *fresh = cv_mem_alloc_handle(st->exec_pool);
    if (!fresh) no_memory(c);
    cv_mem_release_handle(k->row_pool);
    k->row_pool = fresh;
    for (int i = 0; i < k->column_count; i++) k->row[i] = nullptr;  // they went with the pool
}

void decode_row(Cursor *k, const uint8_t *payload, size_t length, int columns, EvalContext *c) {
    size_t at = 0;
    for (int i = 0; i < columns; i++) {
        // Values of the previous row are written over where they fit (a
        // row's values are needed only until the next fetch).
        int r = payload_read_into(payload, length, &at, k->row_pool, &k->row[i], &k->row_capacity[i]);
        if (r == -2) no_memory(c);
        if (r != 0) raise_evaluation_error(c, "HY000", "General error: %s", "error in sort routine");
    }
}

// The next row of the branches (before ordering): 0 with *row set, or 100.
int next_unordered(Cursor *k, QueryStatement *st, EvalContext *c, Value ***row) {
    const bool unlimited = k->ordered || k->distinct_through >= 0;
    if (k->distinct_through >= 0 && !k->union_done) {
        if (!k->union_sort) {
            k->union_sort = new_sort(st, 1, c);
            for (int b = 0; b <= k->distinct_through; b++) {
                ExecPlan *plan = open_branch(st, k->branches[b], unlimited, true, c);
                while (plan_next(plan, c) == 0) {
                    ByteBuffer &key = *k->key, &payload = *k->payload;
                    key.clear();
                    payload.clear();
                    try {
                        for (int i = 0; i < k->column_count; i++) {
                            Value *v = plan->results[i];
                            key_append(key, v, settle(&k->column_forms[i], v), false);
                            payload_append(payload, v);
                        }
                    } catch (const std::bad_alloc &) {
                        no_memory(c);
                    }
                    int r = sort_add(k->union_sort, key.data(), key.size(), payload.data(), payload.size());
                    if (r != 0) sort_failure(k->union_sort, r, c);
                }
                plan_close(plan);
            }
            int r = sort_finish(k->union_sort);
            if (r != 0) sort_failure(k->union_sort, r, c);
        }
        const uint8_t *key, *payload;
        size_t key_length, payload_length;
        int r = sort_fetch(k->union_sort, &key, &key_length, &payload, &payload_length);
        if (r == 0) {
            fresh_cursor_pool(k, st, c);
            decode_row(k, payload, payload_length, k->column_count, c);
            *row = k->row;
            return 0;
        }
        if (r != 100) sort_failure(k->union_sort, r, c);
        k->union_done = 1;
        k->branch_index = k->distinct_through + 1;
        st->plan = nullptr;
    }
    for (;;) {
        if (k->branch_index >= k->branch_count) return 100;
        QueryScope *scope = k->branches[k->branch_index];
        if (!st->plan || (st->plan->scope != scope && st->plan->scope->rewrite_of != scope))
            (void)open_branch(st, scope, unlimited, k->branch_count > 1 || !k->ordered, c);
        if (plan_next(st->plan, c) == 0) {
            *row = st->plan->results;
            return 0;
        }
        plan_close(st->plan);
        k->branch_index++;
    }
}

// Whether `e` names result column `i` of the scope.
bool same_column(const SelectColumn &col, Node *e) {
    if (col.expression == e) return true;
    if (!e || e->kind != NODE_COLUMN_REF || !col.expression || col.expression->kind != NODE_COLUMN_REF) return false;
    auto *a = node_cast<ColumnRefNode>(e);
    auto *b = node_cast<ColumnRefNode>(col.expression);
    return a->table_slot && a->table_slot == b->table_slot && a->column_position == b->column_position;
}

void setup_keys(Cursor *k, QueryStatement *st, EvalContext *c) {
    QueryScope *scope = k->first;
    k->key_count = ListCount(scope->order_by->list);
    k->keys = pool_new_array<OrderKey>(st->exec_pool, static_cast<size_t>(k->key_count + 1));
    if (!k->keys) no_memory(c);
    int i = 0;
    const bool rows_are_results = k->branch_count > 1 || scope->distinct;
    for (ListCell *cell = ListFirst(scope->order_by->list); cell; cell = ListNext(cell), i++) {
        auto *spec = node_cast<SortSpecNode>(ListData(cell));
        OrderKey &key = k->keys[i];
        key.descending = spec->ordering == 2;
        key.column = -1;
        if (spec->validator_data > 0) {
            key.column = spec->validator_data - 1;
        } else {
            for (int col = 0; col < scope->column_count && key.column < 0; col++)
                if (same_column(scope->columns[col], spec->expression)) key.column = col;
        }
        if (key.column >= 0) {
            key.form = k->column_forms[key.column];
            continue;
        }
        if (rows_are_results)
            raise_evaluation_error(c, "HY000",
                                   "General error: %s", "ORDER BY items must appear in the select list of a DISTINCT or UNION query");
        key.expression = spec->expression;
        ExtendedType t{};
        key.form = describe_expression(spec->expression, 3, &t) == 0 ? form_of_sql_type(t.sql_type)
                                                                           : static_cast<KeyForm>(0);
    }
}

void fill_order(Cursor *k, QueryStatement *st, EvalContext *c) {
    k->order_sort = new_sort(st, 0, c);
    Value **row;
    while (next_unordered(k, st, c, &row) == 0) {
        ByteBuffer &key = *k->key, &payload = *k->payload;
        key.clear();
        payload.clear();
        try {
            for (int i = 0; i < k->key_count; i++) {
                OrderKey &ok = k->keys[i];
                Value *v = ok.column >= 0 ? row[ok.column] : evaluate_expression(ok.expression, c);
                if (v && v->deferred && read_deferred_value(v) < 0)
                    raise_evaluation_error(c, "HY000", "Data Read Error");
                key_append(key, v, settle(&ok.form, v), ok.descending != 0);
            }
            for (int i = 0; i < k->column_count; i++) payload_append(payload, row[i]);
        } catch (const std::bad_alloc &) {
            no_memory(c);
        }
        int r = sort_add(k->order_sort, key.data(), key.size(), payload.data(), payload.size());
        if (r != 0) sort_failure(k->order_sort, r, c);
    }
    int r = sort_finish(k->order_sort);
    if (r != 0) sort_failure(k->order_sort, r, c);
}

}  // namespace

void cursor_open(QueryStatement *st, QueryScope *scope, EvalContext *c) {
    st->cursor = nullptr;
    st->plan = nullptr;
    auto *k = pool_new<Cursor>(st->exec_pool);
    if (!k) no_memory(c);
    k->first = scope;
    k->column_count = scope->column_count;
    k->distinct_through = -1;
    for (QueryScope *s = scope; s; s = s->union_next) k->branch_count++;
    k->branches = pool_new_array<QueryScope *>(st->exec_pool, static_cast<size_t>(k->branch_count));
    k->column_forms = pool_new_array<KeyForm>(st->exec_pool, static_cast<size_t>(k->column_count + 1));
    k->row = pool_new_array<Value *>(st->exec_pool, static_cast<size_t>(k->column_count + 1));
    k->row_capacity = pool_new_array<int32_t>(st->exec_pool, static_cast<size_t>(k->column_count + 1));
    if (!k->branches || !k->column_forms || !k->row || !k->row_capacity) no_memory(c);
    int b = 0;
    for (QueryScope *s = scope; s; s = s->union_next, b++) {
        k->branches[b] = s;
        if (b > 0 && !s->union_all) k->distinct_through = b;
        for (int i = 0; i < k->column_count && i < s->column_count; i++) {
            int t = s->columns[i].type.sql_type;
            KeyForm f = form_of_sql_type(t);
            if (b == 0) k->column_forms[i] = f;
            else if (static_cast<int>(f) != 0 && static_cast<int>(k->column_forms[i]) != 0)
                k->column_forms[i] = key_form_join(k->column_forms[i], f);
        }
    }
    k->ordered = scope->order_by && ListCount(scope->order_by->list) > 0;
    if (k->ordered || k->distinct_through >= 0) {
        try {
            k->key = new (cv_mem_alloc(st->exec_pool, sizeof(ByteBuffer))) ByteBuffer();
            k->payload = new (cv_mem_alloc(st->exec_pool, sizeof(ByteBuffer))) ByteBuffer();
        } catch (...) {
            no_memory(c);
        }
        if (!cv_mem_on_release(st->exec_pool, [](void *arg) {
                auto *cur = static_cast<Cursor *>(arg);
                if (cur->key) cur->key->~ByteBuffer();
                if (cur->payload) cur->payload->~ByteBuffer();
            }, k))
            no_memory(c);
        k->limit = st->options.max_rows > 0 ? st->options.max_rows : 0;
        if (k->branch_count == 1 && k->ordered && scope->top > 0 && (k->limit == 0 || scope->top < k->limit))
            k->limit = scope->top;
    }
    st->cursor = k;
    if (k->ordered) {
        setup_keys(k, st, c);
        fill_order(k, st, c);
        if (!st->plan) (void)open_branch(st, scope, true, true, c);  // a plan for the statement's cursor
        return;
    }
    if (k->distinct_through < 0) {
        ExecPlan *plan = open_branch(st, scope, false, true, c);
        // One plain SELECT whose rows go to the caller as they are read.
        if (st->options.results_unread && k->branch_count == 1) plan_allow_unread_results(plan);
    } else {
        (void)open_branch(st, scope, true, true, c);
    }
}

int cursor_next(QueryStatement *st, EvalContext *c) {
    auto *k = static_cast<Cursor *>(st->cursor);
    if (!k) return 100;
    if (k->limit > 0 && k->produced >= k->limit) return 100;
    Value **row = nullptr;
    if (k->ordered) {
        const uint8_t *key, *payload;
        size_t key_length, payload_length;
        int r = sort_fetch(k->order_sort, &key, &key_length, &payload, &payload_length);
        if (r == 100) return 100;
        if (r != 0) sort_failure(k->order_sort, r, c);
        fresh_cursor_pool(k, st, c);
        decode_row(k, payload, payload_length, k->column_count, c);
        row = k->row;
    } else if (next_unordered(k, st, c, &row) != 0) {
        return 100;
    }
    k->produced++;
    st->row = row;
    return 0;
}
