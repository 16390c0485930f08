// Validation of the FROM list with joins: base tables of joined table
// references become slots of the scope in FROM order, each join is
// described by a JoinSpec over its slot ranges, and ON conditions are
// resolved and checked (they may name only the columns of the join's two
// sides, and hold no set function or sub-query). USING and NATURAL become
// equalities of the like-named columns.
#include <cstring>

#include "query/validate.h"
#include "sql/walker.h"

namespace {

int count_tables(TableRefNode *ref) {
    if (!ref->join) return 1;
    auto *j = node_cast<JoinNode>(ref->join);
    return count_tables(node_cast<TableRefNode>(j->left)) + count_tables(node_cast<TableRefNode>(j->right));
}

template <typename T>
T *alloc(ValidationContext *c) {
    auto *p = static_cast<T *>(cv_mem_alloc(c->statement->parse_pool, sizeof(T)));
    if (!p) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
    return p;
}

struct OnCheck {
    ValidationContext *c;
    QueryScope *scope;
    int lo, hi;
    bool columns;   // check column references (after resolution)
};

int check_on(Node *node, void *arg) {
    auto *k = static_cast<OnCheck *>(arg);
    ValidationContext *c = k->c;
    switch (node->kind) {
    case NODE_AGGREGATE: validation_error_state(c, "HY000", "ODBC3.0", "SET predicate not allowed in joining expr");
    case NODE_EXISTS: validation_error_state(c, "HY000", "ODBC3.0", "EXISTS predicate not allowed in joining expr");
    case NODE_IN_SUBQUERY: validation_error_state(c, "HY000", "ODBC3.0", "IN predicate not allowed in joining expr");
    case NODE_QUANTIFIED:
        validation_error_state(c, "HY000", "ODBC3.0", "QUANTIFIED predicate not allowed in joining expr");
    case NODE_QUERY_SPEC: validation_error_state(c, "HY000", "ODBC3.0", "SubQuery not allowed in joining expr");
    case NODE_COLUMN_REF: {
        auto *ref = node_cast<ColumnRefNode>(node);
        if (!k->columns) return 0;
        auto *slot = static_cast<TableSlot *>(ref->table_slot);
        if (ref->scope != k->scope || !slot || slot->position - 1 < k->lo || slot->position - 1 >= k->hi) {
            const char *col = ref->column ? ref->column->text : "*";
            if (ref->table)
                validation_error_state(c, "HY000", "ODBC3.0", "column '%s.%s' not found in either join sources",
                                       ref->table->text, col);
            validation_error_state(c, "HY000", "ODBC3.0", "column '%s' not found in either join sources", col);
        }
        return 0;
    }
    default: return 0;
    }
}

Node *both(ValidationContext *c, int op_class, int op, Node *left, Node *right) {
    if (!left) return right;
    auto *o = alloc<OperatorNode>(c);
    std::memset(o, 0, sizeof *o);
    o->kind = NODE_OPERATOR;
    o->op_class = op_class;
    o->op = op;
    o->left = left;
    o->right = right;
    return reinterpret_cast<Node *>(o);
}

int find_column(const TableSlot *slot, const char *name, int quoted) {
    for (int i = 0; i < slot->column_count; i++)
        if (names_match(name, quoted, slot->columns[i].column)) return i + 1;
    return 0;
}

// The equalities of USING (c1, ...) or NATURAL between two base tables.
Node *using_condition(ValidationContext *c, QueryScope *scope, JoinSpec *j) {
    if (j->left) validation_error_state(c, "HY000", "ODBC3.0", "Unnamed SubJoin not allowed with USING join");
    if (j->right) validation_error_state(c, "HY000", "ODBC3.0", "Unnamed SubJoin not allowed with USING join");
    TableSlot *l = scope->slots[j->lo], *r = scope->slots[j->mid];
    if ((l->derived && !l->ref->alias) || (r->derived && !r->ref->alias))
        validation_error_state(c, "HY000", "ODBC3.0", "Unnamed SubQuery not allowed with USING join");
    Node *cond = nullptr;
    if (j->node->natural) {
        for (int i = 1; i <= l->column_count; i++) {
            int k = find_column(r, l->columns[i - 1].column, 0);
            if (!k) continue;
            Node *eq = both(c, OPCLASS_OPERATOR, OP_EQ, reinterpret_cast<Node *>(make_column_ref(c, scope, l, i)),
                            reinterpret_cast<Node *>(make_column_ref(c, scope, r, k)));
            cond = both(c, OPCLASS_AND, 0, cond, eq);
        }
        if (!cond) validation_error_state(c, "HY000", "ODBC3.0", "No joinable columns");
        return cond;
    }
    for (ListCell *cell = ListFirst(j->node->using_columns->list); cell; cell = ListNext(cell)) {
        auto *id = node_cast<IdentifierNode>(ListData(cell));
        int a = find_column(l, id->text, id->quoted), b = find_column(r, id->text, id->quoted);
        if (!a || !b) validation_error_state(c, "HY000", "ODBC3.0", "column '%s' not found in either join sources", id->text);
        Node *eq = both(c, OPCLASS_OPERATOR, OP_EQ, reinterpret_cast<Node *>(make_column_ref(c, scope, l, a)),
                        reinterpret_cast<Node *>(make_column_ref(c, scope, r, b)));
        cond = both(c, OPCLASS_AND, 0, cond, eq);
    }
    return cond;
}

JoinSpec *add_element(ValidationContext *c, QueryScope *scope, TableRefNode *ref, int *next);

// Slots of a side: a join (returned) or one base table (null).
JoinSpec *add_side(ValidationContext *c, QueryScope *scope, Node *side, int *next) {
    return add_element(c, scope, node_cast<TableRefNode>(side), next);
}

JoinSpec *add_element(ValidationContext *c, QueryScope *scope, TableRefNode *ref, int *next) {
    if (!ref->join) {
        scope->slots[*next] = build_table_slot(c, ref, *next + 1);
        (*next)++;
        return nullptr;
    }
    auto *node = node_cast<JoinNode>(ref->join);
    auto *j = alloc<JoinSpec>(c);
    std::memset(j, 0, sizeof *j);
    j->node = node;
    j->kind = node->inner_code != 3 ? kJoinInner
              : node->outer_kind == 6 ? kJoinRight
              : node->outer_kind == 8 ? kJoinFull
                                      : kJoinLeft;
    j->lo = *next;
    j->left = add_side(c, scope, node->left, next);
    j->mid = *next;
    j->right = add_side(c, scope, node->right, next);
    j->hi = *next;
    node->validator_data = j;
    return j;
}

// ON conditions are resolved once every slot of the scope exists, inner
// joins first (a nested join's condition before its parent's).
void resolve_on(ValidationContext *c, QueryScope *scope, JoinSpec *j) {
    if (!j) return;
    resolve_on(c, scope, j->left);
    resolve_on(c, scope, j->right);
    if (j->node->natural || j->node->using_columns) {
        j->on = using_condition(c, scope, j);
        return;
    }
    j->on = j->node->on;
    if (!j->on) return;
    OnCheck k{c, scope, j->lo, j->hi, false};
    (void)walk_expression(j->on, check_on, &k);  // set functions and sub-queries first
    resolve_expression(j->on, c);
    k.columns = true;
    (void)walk_expression(j->on, check_on, &k);
    (void)expression_type(j->on, c);
}

}  // namespace

void build_from_list(ValidationContext *c, QueryScope *scope, ListNode *from) {
    int elements = from ? ListCount(from->list) : 0;
    int tables = 0;
    for (ListCell *cell = elements ? ListFirst(from->list) : nullptr; cell; cell = ListNext(cell))
        tables += count_tables(node_cast<TableRefNode>(ListData(cell)));
    scope->slot_count = tables;
    scope->slots = static_cast<TableSlot **>(cv_mem_alloc(c->statement->parse_pool, sizeof(TableSlot *) * (tables + 1)));
    scope->element_count = elements;
    scope->elements = static_cast<JoinSpec **>(cv_mem_alloc(c->statement->parse_pool, sizeof(JoinSpec *) * (elements + 1)));
    if (!scope->slots || !scope->elements) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
    int next = 0, e = 0;
    for (ListCell *cell = elements ? ListFirst(from->list) : nullptr; cell; cell = ListNext(cell), e++)
        scope->elements[e] = add_element(c, scope, node_cast<TableRefNode>(ListData(cell)), &next);
}

void resolve_join_conditions(ValidationContext *c, QueryScope *scope) {
    for (int e = 0; e < scope->element_count; e++) resolve_on(c, scope, scope->elements[e]);
}
