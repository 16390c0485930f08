// Derived tables at execution (derived.h).
#include "query/derived.h"

#include <cstring>
#include <new>
#include <vector>

#include "query/cursor.h"
#include "query/plan.h"
#include "query/restrictions.h"
#include "query/row_store.h"
#include "query/sort.h"
#include "query/sort_record.h"
#include "sql/chain.h"
#include "support/value_ops.h"

struct DerivedRows {
    RowStore rows;                 // the rows kept, and the row being written or read
    std::vector<int32_t> longest;  // per column: the longest text or binary value kept
    bool filled = false;           // every row of the query is kept
    bool correlated = false;       // run again at every opening
    bool source_open = false;      // the query has more rows to give
    bool keep = true;              // rows are kept for a later opening
    bool empty = false;            // the outer WHERE can hold for no row
    size_t position = 0;           // next row to read
    ExecPlan *plan = nullptr;      // a single query specification: its plan, opened again
    ExecPlan *union_plan = nullptr;  // a UNION: its cursor's current plan,
    void *union_cursor = nullptr;    //   and the cursor, while it has rows
    std::vector<TableScan *> views;  // relational_opt: per table of the query, its columns' scan
};

namespace {

[[noreturn]] void no_memory(EvalContext *c) { raise_evaluation_error(c, "HY001", "Memory allocation error"); }

void destroy_rows(void *arg) { delete static_cast<DerivedRows *>(arg); }

bool any_correlated(const QueryScope *scope) {
    for (; scope; scope = scope->union_next)
        if (scope->correlated) return true;
    return false;
}

bool is_bytes(uint32_t type) { return type == VT_CHAR || type == VT_BINARY; }
bool is_long(uint32_t type) { return type == VT_LONG_CHAR || type == VT_LONG_BINARY; }

void forget_rows(DerivedRows &d) {
    row_store_clear(d.rows);
    d.filled = false;
}

// The row into d.rows.row (the columns the outer query uses, as whole values).
void encode_row(TableScan *scan, DerivedRows &d, Value **results, EvalContext *c) {
    d.rows.row.clear();
    const int n = scan->slot->column_count;
    for (int i = 0; i < n; i++) {
        const Value *into = scan->values[i];
        if (!into) continue;
        Value *v = results[i];
        if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
        if (!v->is_null && !is_long(v->type)) {
            if (is_bytes(v->type) != is_bytes(into->type))
                raise_evaluation_error(c, "HY000", "General error: %s", "derived column value of another type");
            if (is_bytes(v->type) && v->length > d.longest[i]) d.longest[i] = v->length;
        }
        payload_append(d.rows.row, v);
    }
}

// The text and binary values of the scan hold the longest value kept, so
// reading a row back never cuts one.
void grow_buffers(TableScan *scan, DerivedRows &d, EvalContext *c) {
    for (int i = 0; i < scan->slot->column_count; i++) {
        Value *v = scan->values[i];
        if (!v || !is_bytes(v->type) || d.longest[i] <= scan->capacity[i]) continue;
        auto *buffer = static_cast<char *>(cv_mem_alloc(v->pool, static_cast<size_t>(d.longest[i]) + 1));
        if (!buffer) no_memory(c);
        if (v->owns_data) cv_mem_free(v->data.s);
        if (v->type == VT_BINARY) v->data.bytes = reinterpret_cast<uint8_t *>(buffer);
        else v->data.s = buffer;
        v->owns_data = 1;
        v->length = 0;
        scan->capacity[i] = d.longest[i];
    }
}


// A derived table made of a query's own tables (relational_opt): the rest
// of that query names those tables' columns, so while it runs each table
// has a scan of its own whose values are the derived table's (the same
// values, filled by every row read); while the derived table's plan runs
// they are its scans again.
void aim_columns(ExecPlan *plan, TableScan *scan, DerivedRows &d, bool at_views, EvalContext *c) {
    QueryScope *inner = scan->slot->derived;
    if (!inner->refs_of) return;
    if (!at_views) {
        for (int s = 0; s < d.plan->scan_count; s++) d.plan->scans[s].slot->scan = &d.plan->scans[s];
        return;
    }
    if (d.views.empty()) {
        for (int s = 0; s < inner->slot_count; s++) {
            TableSlot *t = inner->slots[s];
            auto *view = pool_new<TableScan>(plan->pool);
            if (!view) no_memory(c);
            view->slot = t;
            view->values = pool_new_array<Value *>(plan->pool, static_cast<size_t>(t->column_count + 1));
            view->capacity = pool_new_array<int32_t>(plan->pool, static_cast<size_t>(t->column_count + 1));
            if (!view->values || !view->capacity) no_memory(c);
            view->end = 1;
            d.views.push_back(view);
        }
        for (int k = 0; k < inner->column_count; k++) {
            const SelectColumn &col = inner->columns[k];
            for (int s = 0; s < inner->slot_count; s++)
                if (inner->slots[s] == col.slot) d.views[static_cast<size_t>(s)]->values[col.column - 1] = scan->values[k];
        }
    }
    for (int s = 0; s < inner->slot_count; s++) inner->slots[s]->scan = d.views[static_cast<size_t>(s)];
}

// ---- conditions of the outer query moved into the derived query ----

// The derived query's expression for `n` when `n` names a column of the
// derived table `slot` that its query takes straight from one of its own
// tables, else null.
Node *inner_column(ExecPlan *plan, const TableSlot *slot, Node *n) {
    if (!n || n->kind != NODE_COLUMN_REF) return nullptr;
    auto *ref = node_cast<ColumnRefNode>(n);
    if (ref->table_slot != slot || ref->outer_reference || !scope_owns(plan->scope, ref->scope)) return nullptr;
    const SelectColumn &col = slot->derived->columns[ref->column_position - 1];
    return col.slot && col.expression && col.expression->kind == NODE_COLUMN_REF ? col.expression : nullptr;
}

bool fixed_value(const Node *n) { return n && (n->kind == NODE_VALUE || n->kind == NODE_PARAMETER); }

// The condition `n` of the outer WHERE rewritten over the derived query's
// own columns, or null when it is not one of: a comparison of a column of
// the derived table `slot` (taken straight from the derived query's tables)
// with a literal or parameter, a LIKE of such a column with a literal or
// parameter pattern, or an AND or OR of those. Each fails (is not true) when
// its columns are NULL, so a row an outer join extends with NULLs is
// rejected by the outer WHERE as it would be.
Node *inner_condition(ExecPlan *plan, const TableSlot *slot, Node *n, EvalContext *c) {
    if (!n) return nullptr;
    if (n->kind == NODE_LIKE) {
        auto *like = node_cast<LikeNode>(n);
        Node *operand = inner_column(plan, slot, like->operand);
        if (!operand || !fixed_value(like->pattern) || (like->escape && !fixed_value(like->escape))) return nullptr;
        auto *copy = pool_new<LikeNode>(plan->pool);
        if (!copy) no_memory(c);
        *copy = *like;
        copy->operand = operand;
        return reinterpret_cast<Node *>(copy);
    }
    if (n->kind != NODE_OPERATOR) return nullptr;
    auto *o = node_cast<OperatorNode>(n);
    if (o->op_class == OPCLASS_AND || o->op_class == OPCLASS_OR) {
        // The chain's operands are rewritten in a loop (an IN list is a
        // chain of thousands) and joined again, left-deep, into a copy.
        std::vector<Node *> parts;
        chain_operands(n, o->op_class, parts);
        Node *chain = nullptr;
        for (Node *part : parts) {
            Node *inner = inner_condition(plan, slot, part, c);
            if (!inner) return nullptr;
            if (!chain) {
                chain = inner;
                continue;
            }
            auto *link = pool_new<OperatorNode>(plan->pool);
            if (!link) no_memory(c);
            *link = *o;
            link->satisfied = 0;
            link->left = chain;
            link->right = inner;
            chain = reinterpret_cast<Node *>(link);
        }
        return chain;
    }
    Node *left = nullptr, *right = nullptr;
    if (o->op_class == OPCLASS_OPERATOR && is_comparison_op(o->op)) {
        left = inner_column(plan, slot, o->left);
        right = inner_column(plan, slot, o->right);
        if (left && fixed_value(o->right)) right = o->right;
        else if (right && fixed_value(o->left)) left = o->left;
        else return nullptr;
    } else {
        return nullptr;
    }
    auto *copy = pool_new<OperatorNode>(plan->pool);
    if (!copy) no_memory(c);
    *copy = *o;
    copy->satisfied = 0;
    copy->left = left;
    copy->right = right;
    return reinterpret_cast<Node *>(copy);
}

// The derived query to run: its own, or for a plain query (no grouping,
// DISTINCT, set functions, TOP or UNION) a copy for this execution whose
// WHERE also holds the conjuncts of the outer WHERE that inner_condition
// rewrites, so that they reach its tables' providers. The outer WHERE is
// still evaluated in full on every row.
QueryScope *derived_query(ExecPlan *plan, TableScan *scan, EvalContext *c) {
    QueryScope *d = scan->slot->derived;
    if (d->union_next || d->group_by || d->having || d->distinct || d->top > 0 || d->select_aggregates ||
        d->unsupported || !d->core || !plan->scope->core)
        return d;
    std::vector<Node *> parts;
    split_conjuncts(plan->scope->core->where, parts);
    Node *where = d->core->where;
    bool moved = false;
    for (Node *n : parts) {
        Node *inner = inner_condition(plan, scan->slot, n, c);
        if (!inner) continue;
        if (!where) {
            where = inner;
        } else {
            auto *both = pool_new<OperatorNode>(plan->pool);
            if (!both) no_memory(c);
            both->kind = NODE_OPERATOR;
            both->op_class = OPCLASS_AND;
            both->left = where;
            both->right = inner;
            where = reinterpret_cast<Node *>(both);
        }
        moved = true;
    }
    if (!moved) return d;
    auto *scope = pool_new<QueryScope>(plan->pool);
    auto *core = pool_new<SelectCoreNode>(plan->pool);
    if (!scope || !core) no_memory(c);
    *scope = *d;
    *core = *d->core;
    core->where = where;
    scope->core = core;
    scope->state = nullptr;
    scope->rewrite_of = d;
    scope->refs_of = d;
    return scope;
}

void start_rows(TableScan *scan, DerivedRows &d, EvalContext *c) {
    forget_rows(d);
    d.source_open = false;
    d.rows.budget = sort_memory_budget(c->statement->connection.work_mem_size);
    d.longest.assign(static_cast<size_t>(scan->slot->column_count), 0);
}

// Whether the outer WHERE holds a comparison of literals and parameters
// that is not true (applications describe a query by running it inside
// "WHERE 0 = 1"): no row of the derived table could pass it.
bool never_true(ExecPlan *plan, EvalContext *c) {
    std::vector<Node *> parts;
    split_conjuncts(plan->scope->core ? plan->scope->core->where : nullptr, parts);
    for (Node *n : parts) {
        if (n->kind != NODE_OPERATOR) continue;
        auto *o = node_cast<OperatorNode>(n);
        if (o->op_class == OPCLASS_OPERATOR && is_comparison_op(o->op) && fixed_value(o->left) &&
            fixed_value(o->right) && evaluate_condition(n, c) != kTrue)
            return true;
    }
    return false;
}

// A UNION runs through the statement's cursor machinery: while it gives a
// row, the statement's own open cursor is put aside.
struct UnionTurn {
    QueryStatement *st;
    DerivedRows &d;
    ExecPlan *plan;
    void *cursor;
    Value **row;
    int64_t max_rows;
    UnionTurn(QueryStatement *s, DerivedRows &rows)
        : st(s), d(rows), plan(s->plan), cursor(s->cursor), row(s->row), max_rows(s->options.max_rows) {
        st->plan = d.union_plan;
        st->cursor = d.union_cursor;
        st->options.max_rows = 0;
    }
    ~UnionTurn() {
        d.union_plan = st->plan;
        d.union_cursor = st->cursor;
        st->plan = plan;
        st->cursor = cursor;
        st->row = row;
        st->options.max_rows = max_rows;
    }
};

void close_source(DerivedRows &d) {
    if (!d.source_open) return;
    d.source_open = false;
    plan_close(d.plan ? d.plan : d.union_plan);
}

// The query starts (again) and gives its rows as they are asked for.
void start_source(ExecPlan *plan, TableScan *scan, DerivedRows &d, EvalContext *c) {
    QueryScope *scope = scan->slot->derived;
    if (scope->union_next) close_source(d);  // a plan is simply opened again
    start_rows(scan, d, c);
    if (scope->union_next) {
        UnionTurn turn(c->statement, d);
        cursor_open(c->statement, scope, c);
    } else {
        if (!d.plan) d.plan = plan_create(c->statement, derived_query(plan, scan, c), plan->pool);
        plan_open(d.plan, c);
    }
    d.source_open = true;
    aim_columns(plan, scan, d, true, c);
}

// One more row of the query into d.rows.row (and kept); false at its end.
bool pull_row(ExecPlan *plan, TableScan *scan, DerivedRows &d, EvalContext *c) {
    int r;
    if (d.plan) {
        aim_columns(plan, scan, d, false, c);
        r = plan_next(d.plan, c);
        aim_columns(plan, scan, d, true, c);
        if (r == 0) encode_row(scan, d, d.plan->results, c);
    } else {
        UnionTurn turn(c->statement, d);
        r = cursor_next(c->statement, c);
        if (r == 0) encode_row(scan, d, c->statement->row, c);
    }
    if (r != 0) {
        close_source(d);
        d.filled = true;
        return false;
    }
    if (d.keep) row_store_keep(d.rows, plan->pool, c->statement->connection.work_dir_path, c);
    grow_buffers(scan, d, c);
    return true;
}

}  // namespace

void derived_open(ExecPlan *plan, int index, EvalContext *c) {
    TableScan *scan = &plan->scans[index];
    scan->end = 0;
    if (!scan->derived) {
        auto *d = new (std::nothrow) DerivedRows;
        if (!d) no_memory(c);
        if (!cv_mem_on_release(plan->pool, destroy_rows, d)) {
            delete d;
            no_memory(c);
        }
        d->correlated = any_correlated(scan->slot->derived);
        // The only table of a top-level query is opened once per execution
        // (no alternatives): its rows need not be kept.
        d->keep = !(!plan->scope->enclosing && plan->scan_count == 1 && plan->alternative_count == 1);
        d->empty = never_true(plan, c);
        scan->derived = d;
    }
    DerivedRows &d = *scan->derived;
    if (d.empty) {
        scan->end = 1;
        return;
    }
    try {
        // A query read part of the way goes on from where it stopped once
        // the rows kept are read again (rows not kept: it starts again).
        if (d.correlated || !d.keep || (!d.filled && !d.source_open)) start_source(plan, scan, d, c);
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
    d.position = 0;
}

int derived_fetch(ExecPlan *plan, int index, EvalContext *c) {
    TableScan *scan = &plan->scans[index];
    DerivedRows &d = *scan->derived;
    if (scan->end) return 100;
    const uint8_t *data = nullptr;
    size_t at = 0, end = 0;
    bool kept = d.position < d.rows.count();
    if (kept) {
        data = row_store_read(d.rows, d.position++, &end, c);
    } else {
        bool more = false;
        try {
            more = d.source_open && pull_row(plan, scan, d, c);
        } catch (const std::bad_alloc &) {
            no_memory(c);
        }
        if (!more) {
            scan->end = 1;
            return 100;
        }
        if (d.keep) d.position++;
        data = d.rows.row.data();
        end = d.rows.row.size();
    }
    for (int i = 0; i < scan->slot->column_count; i++) {
        Value *v = scan->values[i];
        if (!v) continue;
        int r = payload_restore(data, end, &at, v, scan->capacity[i], plan->pool);
        if (r == -2) no_memory(c);
        if (r != 0) raise_evaluation_error(c, "HY000", "General error: %s", "damaged derived table rows");
    }
    return 0;
}

void derived_close(TableScan *scan) {
    DerivedRows *d = scan->derived;
    if (!d || !d->source_open) return;
    close_source(*d);
    d->filled = false;
}
