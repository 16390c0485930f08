// Validation of INSERT, UPDATE and DELETE, and the refusal of the
// statements the driver's data sources do not offer.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "dal/dal.h"
#include "engine/cast.h"
#include "engine/types.h"
#include "query/change.h"
#include "query/validate.h"
#include "sql/parse_tree.h"
#include "sql/printer.h"
#include "sql/walker.h"
#include "sqi/catalog.h"

namespace {

constexpr int kMaxKeyColumns = 16;

const char *copy_text(ValidationContext *c, const std::string &s) {
    char *p = validation_array<char>(c, static_cast<int>(s.size() + 1));
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// The target table's slot, alone in a scope of its own.
QueryScope *target_scope(ValidationContext *c, TableNameNode *table) {
    auto *ref = validation_array<TableRefNode>(c, 1);
    ref->kind = NODE_TABLE_REF;
    ref->table = table;
    TableSlot *slot = build_table_slot(c, ref, 1);
    DalRecord *dal = c->statement->connection.dal;
    int p = slot->info.provider_index;
    if (dal && p >= 0 && p < dal->count && dal->providers[p] &&
        std::strcmp(dal->providers[p]->name, "$$$VIEWS$$$") == 0)
        validation_error_state(c, "HY000", "ODBC3.0", "General error: Views are not updatable");
    auto *scope = validation_array<QueryScope>(c, 1);
    scope->kind = kScopeKind;
    scope->slot_count = 1;
    scope->slots = validation_array<TableSlot *>(c, 1);
    scope->slots[0] = slot;
    return scope;
}

int column_of(const TableSlot *slot, const IdentifierNode *name) {
    for (int i = 0; i < slot->column_count; i++)
        if (names_match(name->text, name->quoted, slot->columns[i].column)) return i;
    return -1;
}

// The sub-query a node holds, or null.
const QuerySpecNode *subquery_of(const Node *node) {
    const Node *spec = nullptr;
    switch (node->kind) {
        case NODE_QUERY_SPEC: spec = node; break;
        case NODE_EXISTS: spec = reinterpret_cast<const ExistsNode *>(node)->subquery; break;
        case NODE_IN_SUBQUERY: spec = reinterpret_cast<const InSubqueryNode *>(node)->subquery; break;
        case NODE_QUANTIFIED: spec = reinterpret_cast<const QuantifiedNode *>(node)->subquery; break;
        default: break;
    }
    return spec && spec->kind == NODE_QUERY_SPEC ? reinterpret_cast<const QuerySpecNode *>(spec) : nullptr;
}

// The markers of a LIKE's pattern and escape, which the walk does not visit.
void like_markers(const Node *node, std::vector<int32_t> &out) {
    if (node->kind != NODE_LIKE) return;
    const auto *l = reinterpret_cast<const LikeNode *>(node);
    for (const Node *m : {l->pattern, l->escape})
        if (m && m->kind == NODE_PARAMETER) out.push_back(reinterpret_cast<const ParameterNode *>(m)->number);
}

void scope_markers(const QueryScope *s, std::vector<int32_t> &out, int depth) {
    if (!s || depth > 256) return;
    for (ListCell *c = ListFirst(s->parameters); c; c = ListNext(c))
        out.push_back(reinterpret_cast<const ParameterNode *>(ListData(c))->number);
    for (ListCell *c = ListFirst(s->param_likes); c; c = ListNext(c))
        like_markers(static_cast<const Node *>(ListData(c)), out);
    for (ListCell *c = ListFirst(s->subqueries); c; c = ListNext(c))
        scope_markers(static_cast<const QueryScope *>(ListData(c)), out, depth + 1);
}

// A column of the row, or a sub-query that refers to the row: the value
// reads the row. (The walk does not enter sub-queries.)
int has_column_ref(Node *node, void *) {
    if (node->kind == NODE_COLUMN_REF) return 1;
    const QuerySpecNode *q = subquery_of(node);
    const auto *scope = q ? static_cast<const QueryScope *>(q->scope) : nullptr;
    return scope && scope->correlated ? 1 : 0;
}

// The markers a node visited by the walk stands for, in text order: itself,
// a LIKE's pattern and escape, or those of the sub-query it holds.
void node_markers(Node *node, std::vector<int32_t> &out) {
    if (node->kind == NODE_PARAMETER) out.push_back(reinterpret_cast<ParameterNode *>(node)->number);
    like_markers(node, out);
    query_markers(node, out);
}

// A marker, also a LIKE pattern's or one within a sub-query.
int has_marker(Node *node, void *) {
    std::vector<int32_t> found;
    node_markers(node, found);
    return found.empty() ? 0 : 1;
}

// The markers of the keyset query, in text order (bounded: a longer list
// refuses the statement rather than dropping markers).
constexpr int kMaxKeysetMarkers = 4096;
struct ParamCollector {
    int count = 0;
    int overflow = 0;
    int32_t list[kMaxKeysetMarkers];
};

int collect_param(Node *node, void *arg) {
    auto *p = static_cast<ParamCollector *>(arg);
    std::vector<int32_t> numbers;
    node_markers(node, numbers);  // the printed LIKE and sub-query hold theirs too
    for (int32_t n : numbers) {
        if (p->count == kMaxKeysetMarkers) {
            p->overflow = 1;
            return 0;
        }
        p->list[p->count++] = n;
    }
    return 0;
}

// Types `value` against target column `column`; a parameter takes the
// column's type.
void check_assignable(ValidationContext *c, TableSlot *slot, int column, Node *value) {
    int target = slot->columns[column].data_type;
    if (value->kind == NODE_PARAMETER) {
        int n = reinterpret_cast<ParameterNode *>(value)->number;
        QueryStatement *st = c->statement;
        if (n >= 1 && n <= st->parameter_count) {
            st->parameter_types[n - 1] = slot->types[column];
            st->parameter_typed[n - 1] = 1;
        }
        return;
    }
    int type = expression_type(value, c);
    if (type == 0) validation_error_state(c, "HY000", "ODBC3.0", "%s", "Invalid or unknown type in insert value list");
    if (type_class(type) != type_class(target) && !is_assignable(type, target))
        validation_error_state(c, "HY000", "ODBC3.0", "%s", "Insert value list type does not match column list");
}

std::string print(ValidationContext *c, const Node *node) {
    std::string s;
    if (print_to_string(node, false, s) != 0) validation_error_state(c, "HY000", "ODBC3.0", "%s", "Unable to form keyset query");
    return s;
}

std::string quoted(const char *name) {
    std::string s = "\"";
    for (const char *p = name; *p; p++) {
        if (*p == '"') s += '"';
        s += *p;
    }
    return s + "\"";
}

// The key columns of a searched UPDATE or DELETE and its keyset query.
void plan_keyset(ValidationContext *c, ChangePlan *plan, TableNameNode *table) {
    TableSlot *slot = plan->slot;
    QueryStatement *st = c->statement;
    int n = slot->info.key_count;
    if (n <= 0) validation_error_state(c, "HY000", "ODBC3.0", "%s", "Base table has no distinct key information, so is not updatable");
    if (n > kMaxKeyColumns) validation_error_state(c, "HY000", "ODBC3.0", "%s", "Unable to form keyset query");
    KeyColumnEntry entries[kMaxKeyColumns]{};
    List *list = nullptr;
    for (int i = 0; i < n; i++) {
        List *l = ListAppend(list, &entries[i], st->parse_pool);
        if (!l) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
        list = l;
    }
    int r = DALGetPKInfo(st->connection.dal_handle, st->connection.dal, dal_text(slot->info.catalog),
                         dal_text(slot->info.schema), dal_text(slot->info.table), n, list, &slot->info);
    if (r != DAL_OK && r != DAL_INFO) validation_error_state(c, "HY000", "ODBC3.0", "%s", "Base table has no distinct key information, so is not updatable");
    plan->key_count = n;
    plan->keys = validation_array<int32_t>(c, n);
    std::string text = "SELECT ";
    for (int i = 0; i < n; i++) {
        int k = entries[i].ordinal - 1;
        if (k < 0 || k >= slot->column_count || !entries[i].name[0])
            validation_error_state(c, "HY000", "ODBC3.0", "%s", "Base table has no distinct key information, so is not updatable");
        plan->keys[i] = k;
        text += (i ? ", " : "") + quoted(slot->columns[k].column);
    }
    ParamCollector params;
    int extra = 0;
    for (int i = 0; i < plan->set_count; i++) {
        ChangeSet &s = plan->sets[i];
        if (!s.value || walk_expression(s.value, has_column_ref, nullptr) == 0) continue;
        // A value that reads the row comes from the keyset query's row,
        // where a marker would stand in a select list.
        if (walk_expression(s.value, has_marker, nullptr) != 0)
            validation_error_state(c, "HYC00", "ODBC 3.0", "Optional feature not implemented: %s",
                                   "a parameter in a SET value that reads the row");
        text += ", " + print(c, s.value);
        (void)walk_expression(s.value, collect_param, &params);
        s.row_column = n + ++extra;
    }
    text += " FROM " + print(c, reinterpret_cast<Node *>(table));
    if (plan->where) {
        text += " WHERE " + print(c, plan->where);
        (void)walk_expression(plan->where, collect_param, &params);
    }
    if (params.overflow) validation_error_state(c, "HY000", "ODBC3.0", "%s", "Unable to form keyset query");
    plan->keyset_text = copy_text(c, text);
    plan->keyset_param_count = params.count;
    plan->keyset_params = validation_array<int32_t>(c, params.count);
    for (int i = 0; i < params.count; i++) plan->keyset_params[i] = params.list[i];
}

ValidatedStatement *new_validated(ValidationContext *c, Node *tree, int32_t code, QueryStatementKind kind,
                                  ChangePlan *plan) {
    auto *v = validation_array<ValidatedStatement>(c, 1);
    v->kind = kValidatedKind;
    v->tree = tree;
    v->function_code = code;
    v->statement_kind = kind;
    v->change = plan;
    return v;
}

void validate_insert(ValidationContext *c, InsertNode *node, ChangePlan *plan) {
    QueryScope *scope = target_scope(c, node->table);
    TableSlot *slot = plan->slot = scope->slots[0];
    auto *src = reinterpret_cast<InsertSourceNode *>(node->source);
    int count = src && src->columns ? ListCount(src->columns->list) : slot->column_count;
    plan->set_count = count;
    plan->sets = validation_array<ChangeSet>(c, count);
    if (src && src->columns) {
        int i = 0;
        for (ListCell *cell = ListFirst(src->columns->list); cell; cell = ListNext(cell), i++) {
            auto *id = static_cast<IdentifierNode *>(ListData(cell));
            int k = column_of(slot, id);
            if (k < 0) validation_error_state(c, "42S22", "ISO 9075", "Column not found");
            plan->sets[i].column = k;
        }
    } else {
        for (int i = 0; i < count; i++) plan->sets[i].column = i;
    }
    if (!src || src->default_values) {
        plan->set_count = 0;
        return;
    }
    ValidationContext local = *c;
    local.scope = validation_array<QueryScope>(c, 1);
    local.scope->kind = kScopeKind;
    if (src->query) {
        QueryScope *q = validate_query_spec(reinterpret_cast<QuerySpecNode *>(src->query), nullptr, c);
        if (q->column_count != count)
            validation_error_state(c, "21S01", "ISO 9075", "Insert value list does not match column list");
        for (int i = 0; i < count; i++) {
            int type = q->columns[i].type.sql_type;
            int target = slot->columns[plan->sets[i].column].data_type;
            if (type != 0 && type_class(type) != type_class(target) && !is_assignable(type, target))
                validation_error_state(c, "HY000", "ODBC3.0", "%s", "Insert value list type does not match column list");
        }
        plan->source = src->query;
        return;
    }
    int values = src->values ? ListCount(src->values->list) : 0;
    if (src->values) {
        for (ListCell *cell = ListFirst(src->values->list); cell; cell = ListNext(cell)) {
            auto *e = static_cast<Node *>(ListData(cell));
            if (e->kind != NODE_INSERT_KEYWORD && walk_expression(e, has_column_ref, nullptr) != 0)
                validation_error_state(c, "HY000", "ODBC3.0", "%s", "Unexpected column name found in Value list");
        }
    }
    if (values != count) validation_error_state(c, "21S01", "ISO 9075", "Insert value list does not match column list");
    int i = 0;
    for (ListCell *cell = ListFirst(src->values->list); cell; cell = ListNext(cell), i++) {
        auto *e = static_cast<Node *>(ListData(cell));
        if (e->kind == NODE_INSERT_KEYWORD) {
            plan->sets[i].set_null = 1;
            continue;
        }
        resolve_expression(e, &local);
        check_assignable(&local, slot, plan->sets[i].column, e);
        plan->sets[i].value = e;
    }
}

void validate_sets(ValidationContext *c, QueryScope *scope, ListNode *clauses, ChangePlan *plan) {
    TableSlot *slot = plan->slot;
    int count = clauses ? ListCount(clauses->list) : 0;
    plan->set_count = count;
    plan->sets = validation_array<ChangeSet>(c, count);
    ValidationContext local = *c;
    local.scope = scope;
    int i = 0;
    for (ListCell *cell = clauses ? ListFirst(clauses->list) : nullptr; cell; cell = ListNext(cell), i++) {
        auto *set = static_cast<SetClauseNode *>(ListData(cell));
        int k = column_of(slot, set->column);
        if (k < 0) validation_error_state(c, "42S22", "ISO 9075", "Column not found");
        ChangeSet &s = plan->sets[i];
        s.column = k;
        if (set->set_null || set->set_default) {
            s.set_null = 1;
        } else if (set->subquery) {
            QueryScope *q = validate_query_spec(reinterpret_cast<QuerySpecNode *>(set->subquery), nullptr, c);
            if (q->column_count != 1)
                validation_error_state(c, "21S01", "ISO 9075", "Degree of sub query does not match column list");
            int type = q->columns[0].type.sql_type;
            int target = slot->columns[k].data_type;
            if (type != 0 && type_class(type) != type_class(target) && !is_assignable(type, target))
                validation_error_state(c, "HY000", "ODBC3.0", "%s", "Insert value list type does not match column list");
            s.subquery = set->subquery;
        } else if (set->value) {
            resolve_expression(set->value, &local);
            check_assignable(&local, slot, k, set->value);
            s.value = set->value;
        } else {
            s.set_null = 1;
        }
    }
}

// CREATE TABLE, DROP TABLE, CREATE INDEX, DROP INDEX, ALTER TABLE: the
// checks that need only the catalogue; the provider decides the rest.
void validate_definition(ValidationContext *c, Node *tree, ChangePlan *plan) {
    if (tree->kind == NODE_CREATE_TABLE) {
        auto *node = reinterpret_cast<CreateTableNode *>(tree);
        TableNameNode *t = node->table;
        QueryStatement *st = c->statement;
        TableInfo info{};
        int r = st->connection.dal
                    ? DALGetTableInfo(st->connection.dal_handle, st->connection.dal, t->link ? t->link->text : nullptr,
                                      dal_text(t->catalog ? t->catalog->text : nullptr),
                                      dal_text(t->schema ? t->schema->text : nullptr), dal_text(t->table->text), &info)
                    : DAL_NOT_MINE;
        if (r == DAL_OK || r == DAL_INFO) validation_error_state(c, "42S01", "ISO 9075", "Base table or view already exists");
        auto *slot = validation_array<TableSlot>(c, 1);
        slot->kind = kSlotKind;
        std::snprintf(slot->info.table, sizeof slot->info.table, "%s", t->table->text);
        if (t->link) std::snprintf(slot->info.link_name, sizeof slot->info.link_name, "%s", t->link->text);
        plan->slot = slot;
        return;
    }
    TableNameNode *table = nullptr;
    switch (tree->kind) {
        case NODE_DROP_TABLE: table = reinterpret_cast<DropTableNode *>(tree)->table; break;
        case NODE_CREATE_INDEX: table = reinterpret_cast<CreateIndexNode *>(tree)->table; break;
        case NODE_DROP_INDEX: table = reinterpret_cast<DropIndexNode *>(tree)->table; break;
        case NODE_ALTER_ADD: table = reinterpret_cast<AlterAddNode *>(tree)->table; break;
        case NODE_ALTER_DROP: table = reinterpret_cast<AlterDropNode *>(tree)->table; break;
        default: return;
    }
    if (!table) return;
    QueryScope *scope = target_scope(c, table);
    plan->slot = scope->slots[0];
    auto missing = [&](const IdentifierNode *column) {
        if (column && column_of(plan->slot, column) < 0)
            validation_error_state(c, "42S22", "ISO 9075", "Column %s not found in table %s", column->text,
                                   plan->slot->info.table);
    };
    if (tree->kind == NODE_ALTER_DROP) missing(reinterpret_cast<AlterDropNode *>(tree)->column);
    if (tree->kind == NODE_CREATE_INDEX) {
        ListNode *columns = reinterpret_cast<CreateIndexNode *>(tree)->columns;
        for (ListCell *cell = columns ? ListFirst(columns->list) : nullptr; cell; cell = ListNext(cell))
            missing(static_cast<IndexColumnNode *>(ListData(cell))->column);
    }
}

// UPDATE or DELETE ... WHERE CURRENT OF: one row, found by the key values
// of the cursor's current row when the statement runs.
void validate_positioned(ValidationContext *c, Node *tree, ChangePlan *plan) {
    bool update = tree->kind == NODE_UPDATE_POSITIONED;
    TableNameNode *table = update ? reinterpret_cast<UpdatePositionedNode *>(tree)->table
                                  : reinterpret_cast<DeletePositionedNode *>(tree)->table;
    IdentifierNode *cursor = update ? reinterpret_cast<UpdatePositionedNode *>(tree)->cursor
                                    : reinterpret_cast<DeletePositionedNode *>(tree)->cursor;
    plan->kind = update ? NODE_UPDATE : NODE_DELETE;
    QueryScope *scope = target_scope(c, table);
    plan->slot = scope->slots[0];
    if (update) validate_sets(c, scope, reinterpret_cast<UpdatePositionedNode *>(tree)->set_clauses, plan);
    plan_keyset(c, plan, table);
    plan->keyset_text = nullptr;
    for (int i = 0; i < plan->set_count; i++)
        if (plan->sets[i].row_column > 0)
            validation_error_state(c, "HYC00", "ODBC 3.0", "Optional feature not implemented: %s",
                                   "a SET value that reads the row in UPDATE ... WHERE CURRENT OF");
    plan->cursor = copy_text(c, cursor->text);
}

}  // namespace

ValidatedStatement *validate_change(ValidationContext *c, Node *tree, int32_t code, QueryStatementKind kind) {
    switch (tree->kind) {
        case NODE_CREATE_VIEW: validation_error_state(c, "HY000", "ODBC3.0", "%s", "Current driver is read only, CREATE VIEW not supported");
        case NODE_DROP_VIEW: validation_error_state(c, "HY000", "ODBC3.0", "%s", "Current driver is read only, DROP VIEW not supported");
        case NODE_GRANT: validation_error_state(c, "HY000", "ODBC3.0", "%s", "GRANT not supported at this time");
        case NODE_REVOKE: validation_error_state(c, "HY000", "ODBC3.0", "%s", "REVOKE not supported at this time");
        default: break;
    }
    auto *plan = validation_array<ChangePlan>(c, 1);
    plan->kind = tree->kind;
    if (tree->kind == NODE_INSERT) {
        validate_insert(c, reinterpret_cast<InsertNode *>(tree), plan);
    } else if (tree->kind == NODE_UPDATE || tree->kind == NODE_DELETE) {
        bool update = tree->kind == NODE_UPDATE;
        TableNameNode *table = update ? reinterpret_cast<UpdateNode *>(tree)->table
                                      : reinterpret_cast<DeleteNode *>(tree)->table;
        QueryScope *scope = target_scope(c, table);
        plan->slot = scope->slots[0];
        if (update) validate_sets(c, scope, reinterpret_cast<UpdateNode *>(tree)->set_clauses, plan);
        plan->where = update ? reinterpret_cast<UpdateNode *>(tree)->where : reinterpret_cast<DeleteNode *>(tree)->where;
        if (plan->where) {
            ValidationContext local = *c;
            local.scope = scope;
            resolve_expression(plan->where, &local);
            (void)expression_type(plan->where, &local);
        }
        plan_keyset(c, plan, table);
        if (!plan->where && !update) plan->keyset_text = nullptr;
    } else if (tree->kind == NODE_UPDATE_POSITIONED || tree->kind == NODE_DELETE_POSITIONED) {
        validate_positioned(c, tree, plan);
    } else if (kind == QueryStatementKind::kDefinition) {
        validate_definition(c, tree, plan);
        if (!plan->slot) plan = nullptr;
    } else {
        plan = nullptr;
    }
    return new_validated(c, tree, code, kind, plan);
}

void query_markers(const Node *node, std::vector<int32_t> &out) {
    const QuerySpecNode *q = node ? subquery_of(node) : nullptr;
    if (!q) return;
    std::vector<int32_t> found;
    scope_markers(static_cast<const QueryScope *>(q->scope), found, 0);
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
}
