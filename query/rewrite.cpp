// Rewrites of a query for one execution (rewrite.h).
#include "query/rewrite.h"

#include <vector>

#include "sql/chain.h"
#include "sql/walker.h"

namespace {

[[noreturn]] void no_memory(EvalContext *c) { raise_evaluation_error(c, "HY001", "Memory allocation error"); }

template <typename T>
T *make(EvalContext *c, size_t n = 1) {
    T *p = pool_new_array<T>(c->statement->exec_pool, n ? n : 1);
    if (!p) no_memory(c);
    return p;
}

// ---- whole queries for one provider ----

struct Providers {
    int provider = -2;   // -2 none seen yet
    bool one = true;     // every table so far of `provider`, which takes whole queries
};

void note_slot(Providers &p, const TableSlot *slot) {
    if (!slot || slot->derived) return;
    if (!slot->info.passthrough_allowed) p.one = false;
    if (p.provider == -2) p.provider = slot->info.provider_index;
    else if (p.provider != slot->info.provider_index) p.one = false;
}

void note_scope(Providers &p, const QueryScope *scope, int depth) {
    if (!scope || depth > 200 || !p.one) return;
    for (int i = 0; i < scope->slot_count; i++) note_slot(p, scope->slots[i]);
    for (ListCell *cell = ListFirst(scope->subqueries); cell; cell = ListNext(cell))
        note_scope(p, static_cast<const QueryScope *>(ListData(cell)), depth + 1);
    note_scope(p, scope->union_next, depth + 1);
}

// ---- relational_opt ----

void conjuncts(Node *n, std::vector<Node *> &out) {
    if (n) chain_operands(n, OPCLASS_AND, out);  // a lone condition or an AND chain's parts
}

struct Movable {
    const QueryScope *scope;
    bool ok;
};

// A conjunct moves into the derived table when it reads only columns of the
// query's own tables: no sub-query, set function or enclosing query's row.
int movable_visit(Node *node, void *arg) {
    auto *m = static_cast<Movable *>(arg);
    switch (node->kind) {
        case NODE_COLUMN_REF: {
            auto *ref = node_cast<ColumnRefNode>(node);
            if (ref->scope != m->scope || ref->outer_reference) m->ok = false;
            return m->ok ? 0 : 1;
        }
        case NODE_QUERY_SPEC:
        case NODE_EXISTS:
        case NODE_IN_SUBQUERY:
        case NODE_QUANTIFIED:
        case NODE_AGGREGATE:
            m->ok = false;
            return 1;
        default: return 0;
    }
}

Node *and_node(Node *left, Node *right, EvalContext *c) {
    if (!left) return right;
    auto *o = make<OperatorNode>(c);
    o->kind = NODE_OPERATOR;
    o->op_class = OPCLASS_AND;
    o->left = left;
    o->right = right;
    return reinterpret_cast<Node *>(o);
}

ColumnRefNode *column_ref(QueryScope *scope, TableSlot *slot, int column, EvalContext *c) {
    auto *ref = make<ColumnRefNode>(c);
    auto *id = make<IdentifierNode>(c);
    id->kind = NODE_IDENTIFIER;
    id->text = slot->columns[column - 1].column;
    id->quoted = 1;
    ref->kind = NODE_COLUMN_REF;
    ref->column = id;
    ref->scope = scope;
    ref->table_slot = slot;
    ref->column_position = column;
    ref->column_info = &slot->columns[column - 1];
    ref->slot_position = slot->position;
    return ref;
}

bool one_provider(const QueryScope *scope) {
    if (scope->slot_count < 2) return false;
    for (int i = 0; i < scope->slot_count; i++) {
        const TableSlot *s = scope->slots[i];
        if (s->derived || s->info.provider_index != scope->slots[0]->info.provider_index) return false;
    }
    return true;
}

QueryScope *group_tables(QueryScope *scope, EvalContext *c) {
    std::vector<Node *> parts, moved, kept;
    try {
        conjuncts(scope->core ? scope->core->where : nullptr, parts);
        for (Node *n : parts) {
            Movable m{scope, true};
            (void)walk_expression(n, movable_visit, &m);
            (m.ok ? moved : kept).push_back(n);
        }
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
    // The derived table's query: the same tables (and FROM-clause joins),
    // the moved conjuncts, every column the rest of the query reads.
    auto *inner = make<QueryScope>(c);
    auto *inner_core = make<SelectCoreNode>(c);
    inner_core->kind = NODE_SELECT_CORE;
    for (Node *n : moved) inner_core->where = and_node(inner_core->where, n, c);
    int count = 0;
    for (int s = 0; s < scope->slot_count; s++)
        for (int i = 0; i < scope->slots[s]->column_count; i++) count += scope->slots[s]->used[i] ? 1 : 0;
    auto *columns = make<SelectColumn>(c, static_cast<size_t>(count));
    auto *slot = make<TableSlot>(c);
    slot->columns = make<ColumnInfo>(c, static_cast<size_t>(count));
    slot->types = make<ExtendedType>(c, static_cast<size_t>(count));
    slot->used = make<int32_t>(c, static_cast<size_t>(count));
    slot->updatable = make<int32_t>(c, static_cast<size_t>(count));
    int k = 0;
    for (int s = 0; s < scope->slot_count; s++) {
        TableSlot *t = scope->slots[s];
        for (int i = 0; i < t->column_count; i++) {
            if (!t->used[i]) continue;
            SelectColumn &col = columns[k];
            col.expression = reinterpret_cast<Node *>(column_ref(scope, t, i + 1, c));
            col.name = t->columns[i].column;
            col.type = t->types[i];
            col.sql_type = t->types[i].sql_type;
            col.slot = t;
            col.column = i + 1;
            slot->columns[k] = t->columns[i];
            slot->types[k] = t->types[i];
            slot->used[k] = 1;
            k++;
        }
    }
    inner->kind = kScopeKind;
    inner->core = inner_core;
    inner->column_count = count;
    inner->columns = columns;
    inner->slot_count = scope->slot_count;
    inner->slots = scope->slots;
    inner->element_count = scope->element_count;
    inner->elements = scope->elements;
    inner->parameters = scope->parameters;
    inner->is_query = 1;
    inner->refs_of = scope;

    slot->kind = kSlotKind;
    slot->column_count = count;
    slot->position = 1;
    slot->derived = inner;
    slot->info.column_count = count;
    slot->info.provider_index = -1;

    // The query itself, over the derived table alone.
    auto *outer = make<QueryScope>(c);
    *outer = *scope;
    auto *outer_core = make<SelectCoreNode>(c);
    if (scope->core) *outer_core = *scope->core;
    outer_core->kind = NODE_SELECT_CORE;
    outer_core->where = nullptr;
    for (Node *n : kept) outer_core->where = and_node(outer_core->where, n, c);
    auto **slots = make<TableSlot *>(c);
    slots[0] = slot;
    outer->core = outer_core;
    outer->slot_count = 1;
    outer->slots = slots;
    outer->element_count = 0;
    outer->elements = nullptr;
    outer->state = nullptr;
    outer->rewrite_of = scope;
    outer->refs_of = nullptr;
    inner->enclosing = outer;  // never a top-level query: its plan keeps the row pool
    return outer;
}

}  // namespace

QueryScope *rewrite_query(QueryStatement *st, QueryScope *scope, EvalContext *c) {
    if (scope->rewrite_of || scope->refs_of) return scope;  // made here already
    Providers p;
    // A query reading an enclosing query's row cannot be handed over whole
    // (the provider would not have that row's values).
    if (scope->correlated) p.one = false;
    note_scope(p, scope, 0);
    scope->passthrough = p.one && p.provider >= 0 ? 1 : 0;
    if (scope->passthrough || !st->connection.relational_opt || !one_provider(scope)) return scope;
    return group_tables(scope, c);
}
