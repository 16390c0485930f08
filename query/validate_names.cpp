// Name resolution: column references, set functions, parameters and the
// sub-queries met while walking an expression.
#include <cstring>

#include "query/validate.h"
#include "sql/walker.h"
#include "support/pool.h"

namespace {

void append(ValidationContext *c, List **list, void *item) {
    List *l = ListAppend(*list, item, c->statement->parse_pool);
    if (!l) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
    *list = l;
}

bool slot_matches(const TableSlot *slot, const ColumnRefNode *ref) {
    if (ref->table && !names_match(ref->table->text, ref->table->quoted, slot->match_name)) return false;
    if (ref->schema && slot->info.schema[0] &&
        !names_match(ref->schema->text, ref->schema->quoted, slot->info.schema))
        return false;
    if (ref->catalog && slot->info.catalog[0] &&
        !names_match(ref->catalog->text, ref->catalog->quoted, slot->info.catalog))
        return false;
    if (ref->link && slot->info.link_name[0] &&
        !names_match(ref->link->text, ref->link->quoted, slot->info.link_name))
        return false;
    return true;
}

// Matches of the reference among one scope's slots: the count, the last
// slot and column found.
int find_in_scope(const QueryScope *scope, const ColumnRefNode *ref, TableSlot **slot, int *column) {
    int found = 0;
    for (int s = 0; s < scope->slot_count; s++) {
        TableSlot *t = scope->slots[s];
        if (!slot_matches(t, ref)) continue;
        for (int i = 0; i < t->column_count; i++) {
            if (!names_match(ref->column->text, ref->column->quoted, t->columns[i].column)) continue;
            found++;
            *slot = t;
            *column = i + 1;
        }
    }
    return found;
}

bool listed(const List *list, const void *item) {
    for (ListCell *c = ListFirst(list); c; c = ListNext(c))
        if (ListData(c) == item) return true;
    return false;
}

void validate_subquery(Node *subquery, ValidationContext *c) {
    if (!subquery || subquery->kind != NODE_QUERY_SPEC) return;
    (void)validate_query_spec(node_cast<QuerySpecNode>(subquery), c->scope, c);
}

int visit(Node *node, void *arg) {
    auto *c = static_cast<ValidationContext *>(arg);
    switch (node->kind) {
        case NODE_COLUMN_REF: {
            auto *ref = node_cast<ColumnRefNode>(node);
            if (!ref->scope) resolve_column(ref, c);
            break;
        }
        case NODE_AGGREGATE: {
            auto *a = node_cast<AggregateNode>(node);
            if (!c->allow_set) validation_error(c, "set functions only allowed in select list or having clause");
            List **list = c->in_having ? &c->scope->having_aggregates : &c->scope->select_aggregates;
            if (!listed(*list, a)) {
                a->accumulator_slot = ListCount(*list);
                append(c, list, a);
            }
            break;
        }
        case NODE_PARAMETER:
            if (c->in_select_list) validation_error(c, "parameter not allowed in select list");
            if (!listed(c->scope->parameters, node)) append(c, &c->scope->parameters, node);
            break;
        case NODE_EXISTS: validate_subquery(node_cast<ExistsNode>(node)->subquery, c); break;
        case NODE_IN_SUBQUERY: validate_subquery(node_cast<InSubqueryNode>(node)->subquery, c); break;
        case NODE_QUANTIFIED: validate_subquery(node_cast<QuantifiedNode>(node)->subquery, c); break;
        case NODE_QUERY_SPEC: validate_subquery(node, c); break;
        default: break;
    }
    return 0;
}

}  // namespace

void bind_column_ref(ColumnRefNode *ref, QueryScope *scope, TableSlot *slot, int column) {
    ref->scope = scope;
    ref->table_slot = slot;
    ref->column_position = column;
    ref->column_info = &slot->columns[column - 1];
    ref->slot_position = slot->position;
    if (slot->derived) ref->description = &slot->types[column - 1];
    slot->used[column - 1] = 1;
}

ColumnRefNode *make_column_ref(ValidationContext *c, QueryScope *scope, TableSlot *slot, int column) {
    auto *ref = static_cast<ColumnRefNode *>(cv_mem_alloc(c->statement->parse_pool, sizeof(ColumnRefNode)));
    auto *id = static_cast<IdentifierNode *>(cv_mem_alloc(c->statement->parse_pool, sizeof(IdentifierNode)));
    if (!ref || !id) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
    ref->kind = NODE_COLUMN_REF;
    id->kind = NODE_IDENTIFIER;
    id->text = slot->columns[column - 1].column;
    id->quoted = 1;
    ref->column = id;
    bind_column_ref(ref, scope, slot, column);
    return ref;
}

void resolve_column(ColumnRefNode *ref, ValidationContext *c) {
    if (!ref->column) validation_error(c, "column '*' not found in specified tables");
    for (QueryScope *scope = c->scope; scope; scope = scope->enclosing) {
        TableSlot *slot = nullptr;
        int column = 0;
        int found = find_in_scope(scope, ref, &slot, &column);
        if (found == 0) continue;
        if (found > 1) validation_error(c, "column '%s' not unique in specified tables", ref->column->text);
        bind_column_ref(ref, scope, slot, column);
        append(c, &scope->resolved, ref);
        if (scope != c->scope) {
            ref->outer_reference = 1;
            // Every scope between the reference and the one owning the column
            // depends on the outer row: none of them may reuse a cached answer.
            for (QueryScope *s = c->scope; s != scope; s = s->enclosing) s->correlated = 1;
            if (!listed(scope->outer_refs, ref)) append(c, &scope->outer_refs, ref);
        }
        return;
    }
    validation_error(c, "column '%s' not found in specified tables", ref->column->text);
}

void resolve_expression(Node *node, ValidationContext *c) { (void)walk_expression(node, visit, c); }
