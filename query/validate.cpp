// Validation of the statement list: the run, SELECT, query expressions,
// query specifications, table slots, select lists and ORDER BY.
#include "query/validate.h"
#include "query/call.h"

#include "query/change.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/describe_expression.h"
#include "sql/walker.h"
#include "support/diag.h"

namespace {

constexpr int kNameLimit = 128;

void post_v(ErrorHeader *diag, const char *sqlstate, const char *origin, const char *prefix,
            const char *format, va_list args) {
    char message[1024];
    std::vsnprintf(message, sizeof message, format, args);
    SetReturnCode(diag, SQL_ERROR);
    PostError(diag, 2, 0, 0, 0, 0, origin, sqlstate, "%s%s", prefix, message);
}

void *alloc_or_fail(ValidationContext *c, size_t size) {
    void *p = cv_mem_alloc(c->statement->parse_pool, size);
    if (!p) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
    return p;
}

template <typename T>
T *make_array(ValidationContext *c, size_t n) {
    return static_cast<T *>(alloc_or_fail(c, sizeof(T) * (n ? n : 1)));
}

void append(ValidationContext *c, List **list, void *item) {
    List *l = ListAppend(*list, item, c->statement->parse_pool);
    if (!l) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
    *list = l;
}

const char *ident(const IdentifierNode *i) { return i && i->text ? i->text : nullptr; }

// "link.catalog.schema.table" as the not-found message writes it.
void dotted_name(const TableNameNode *t, char *out, size_t capacity) {
    const char *link = ident(t->link), *cat = ident(t->catalog), *sch = ident(t->schema);
    const char *tab = ident(t->table) ? ident(t->table) : "";
    if (link) {
        if (cat && sch) std::snprintf(out, capacity, "%s.%s.%s.%s", link, cat, sch, tab);
        else if (cat) std::snprintf(out, capacity, "%s.%s..%s", link, cat, tab);
        else if (sch) std::snprintf(out, capacity, "%s..%s.%s", link, sch, tab);
        else std::snprintf(out, capacity, "%s...%s", link, tab);
    } else {
        if (cat && sch) std::snprintf(out, capacity, "%s.%s.%s", cat, sch, tab);
        else if (cat) std::snprintf(out, capacity, "%s..%s", cat, tab);
        else if (sch) std::snprintf(out, capacity, "%s.%s", sch, tab);
        else std::snprintf(out, capacity, "%s", tab);
    }
}

void check_length(ValidationContext *c, const IdentifierNode *i, const char *message) {
    if (i && i->text && std::strlen(i->text) >= static_cast<size_t>(kNameLimit))
        validation_error_state(c, "HY000", "ODBC3.0", "%s", message);
}

}  // namespace

TableSlot *build_table_slot(ValidationContext *c, TableRefNode *ref, int position) {
    if (ref->derived) return build_derived_slot(c, ref, position);
    if (!ref->table) validation_error(c, "unexpected table reference");
    TableNameNode *t = ref->table;
    check_length(c, t->link, "Link name exceeds limit");
    check_length(c, t->catalog, "Catalog name exceeds limit");
    check_length(c, t->schema, "Schema name exceeds limit");
    check_length(c, t->table, "Table name exceeds limit");
    auto *slot = static_cast<TableSlot *>(alloc_or_fail(c, sizeof(TableSlot)));
    slot->kind = kSlotKind;
    slot->ref = ref;
    slot->position = position;
    QueryStatement *st = c->statement;
    DalRecord *dal = st->connection.dal;
    void *owner = st->connection.dal_handle;
    int r = dal ? DALGetTableInfo(owner, dal, ident(t->link), dal_text(ident(t->catalog)),
                                  dal_text(ident(t->schema)), dal_text(ident(t->table)), &slot->info)
                : DAL_NOT_MINE;
    if (r == DAL_NOT_MINE) {
        char name[4 * kNameLimit + 8];
        dotted_name(t, name, sizeof name);
        validation_error_state(c, "42S02", "ISO 9075", "Base table or view %s not found", name);
    }
    if (r != DAL_OK && r != DAL_INFO) throw QueryFailure{-1};
    int n = slot->info.column_count;
    if (n < 0 || n > 100000) validation_error_state(c, "HY000", "ODBC3.0", "General error: %s", "bad column count");
    slot->column_count = n;
    slot->columns = make_array<ColumnInfo>(c, n);
    slot->types = make_array<ExtendedType>(c, n);
    slot->used = make_array<int32_t>(c, n);
    slot->updatable = make_array<int32_t>(c, n);
    if (n > 0) {
        r = DALGetColumnInfo(owner, dal, dal_text(slot->info.catalog), dal_text(slot->info.schema),
                             dal_text(slot->info.table), n, slot->columns, &slot->info);
        if (r != DAL_OK && r != DAL_INFO) throw QueryFailure{-1};
    }
    for (int i = 0; i < n; i++) {
        ColumnInfo &ci = slot->columns[i];
        ci.data_type = narrow_sql_type(ci.data_type);
        if (describe_column_info(&ci, &slot->types[i]) != 0 || type_class(ci.data_type) == kClassUnknown)
            validation_error_state(c, "HY000", "ODBC3.0", "General error: column %s has an unsupported type %d",
                                   ci.column, ci.data_type);
    }
    if (ref->alias) {
        slot->match_name = ref->alias->text;
        slot->match_quoted = ref->alias->quoted;
    } else {
        slot->match_name = t->table->text;
        slot->match_quoted = t->table->quoted;
    }
    return slot;
}

namespace {

// Appends a column to the scope's select list under construction.
struct SelectBuilder {
    SelectColumn *items = nullptr;
    int count = 0;
    int capacity = 0;
};

void add_select(ValidationContext *c, SelectBuilder &b, const SelectColumn &item) {
    if (b.count == b.capacity) {
        int cap = b.capacity ? b.capacity * 2 : 16;
        auto *grown = make_array<SelectColumn>(c, static_cast<size_t>(cap));
        if (b.count) std::memcpy(grown, b.items, sizeof(SelectColumn) * static_cast<size_t>(b.count));
        b.items = grown;
        b.capacity = cap;
    }
    b.items[b.count++] = item;
}

// A column reference node for a column reached through a wildcard, resolved.
ColumnRefNode *wildcard_ref(ValidationContext *c, QueryScope *scope, TableSlot *slot, int column) {
    ColumnRefNode *ref = make_column_ref(c, scope, slot, column);
    append(c, &scope->resolved, ref);
    return ref;
}

void expand_slot(ValidationContext *c, SelectBuilder &b, QueryScope *scope, TableSlot *slot) {
    for (int i = 1; i <= slot->column_count; i++) {
        SelectColumn item{};
        item.expression = reinterpret_cast<Node *>(wildcard_ref(c, scope, slot, i));
        item.name = slot->columns[i - 1].column;
        item.slot = slot;
        item.column = i;
        add_select(c, b, item);
    }
}

bool slot_matches_wildcard(const TableSlot *slot, const TableNameNode *w) {
    if (!w->table || !names_match(w->table->text, w->table->quoted, slot->match_name)) return false;
    if (w->schema && !names_match(w->schema->text, w->schema->quoted, slot->info.schema)) return false;
    if (w->catalog && !names_match(w->catalog->text, w->catalog->quoted, slot->info.catalog)) return false;
    return true;
}

void build_select_list(ValidationContext *c, QueryScope *scope) {
    SelectBuilder b;
    ListNode *list = scope->core->select_list;
    if (!list) {
        for (int s = 0; s < scope->slot_count; s++) expand_slot(c, b, scope, scope->slots[s]);
    } else {
        for (ListCell *cell = ListFirst(list->list); cell; cell = ListNext(cell)) {
            auto *item = node_cast<SelectItemNode>(ListData(cell));
            if (item->wildcard) {
                TableSlot *found = nullptr;
                for (int s = 0; s < scope->slot_count && !found; s++)
                    if (slot_matches_wildcard(scope->slots[s], item->wildcard)) found = scope->slots[s];
                if (!found) {
                    char name[4 * kNameLimit + 8];
                    dotted_name(item->wildcard, name, sizeof name);
                    validation_error_state(c, "HY001", "ODBC3.0", "Unable to find table %s for wildcard expansion",
                                           name);
                }
                expand_slot(c, b, scope, found);
                continue;
            }
            ValidationContext sub = *c;
            sub.in_select_list = 1;
            sub.allow_set = 1;
            resolve_expression(item->expression, &sub);
            SelectColumn col{};
            col.expression = item->expression;
            col.sql_type = expression_type(item->expression, &sub);
            if (item->alias) {
                col.name = item->alias->text;
                col.has_alias = 1;
            }
            if (item->expression && item->expression->kind == NODE_COLUMN_REF) {
                auto *ref = node_cast<ColumnRefNode>(item->expression);
                if (!ref->outer_reference) {
                    col.slot = static_cast<TableSlot *>(ref->table_slot);
                    col.column = ref->column_position;
                }
                if (!col.name && ref->column) col.name = ref->column->text;
            }
            add_select(c, b, col);
        }
    }
    scope->columns = b.items;
    scope->column_count = b.count;
}

struct RefCount {
    const QueryScope *scope;
    int count;
};

int count_own_refs(Node *node, void *arg) {
    auto *r = static_cast<RefCount *>(arg);
    if (node->kind == NODE_COLUMN_REF && node_cast<ColumnRefNode>(node)->scope == r->scope) r->count++;
    return 0;
}

bool subquery_mentions(const Node *spec, const QueryScope *scope);

struct Mention {
    const QueryScope *scope;
    bool found;
};

int mention_visit(Node *node, void *arg) {
    auto *m = static_cast<Mention *>(arg);
    const Node *sub = nullptr;
    switch (node->kind) {
        case NODE_COLUMN_REF: m->found = m->found || node_cast<ColumnRefNode>(node)->scope == m->scope; break;
        case NODE_QUERY_SPEC: sub = node; break;
        case NODE_EXISTS: sub = node_cast<ExistsNode>(node)->subquery; break;
        case NODE_IN_SUBQUERY: sub = node_cast<InSubqueryNode>(node)->subquery; break;
        case NODE_QUANTIFIED: sub = node_cast<QuantifiedNode>(node)->subquery; break;
        default: break;
    }
    if (sub && subquery_mentions(sub, m->scope)) m->found = true;
    return m->found ? 1 : 0;
}

// Whether a sub-query (at any depth) refers to a column of `scope`.
bool subquery_mentions(const Node *spec, const QueryScope *scope) {
    if (!spec || spec->kind != NODE_QUERY_SPEC) return false;
    const auto *q = node_cast<QuerySpecNode>(spec);
    const auto *s = static_cast<const QueryScope *>(q->scope);
    if (!s || !s->correlated) return false;
    Mention m{scope, false};
    for (int i = 0; i < s->column_count && !m.found; i++) (void)walk_expression(s->columns[i].expression, mention_visit, &m);
    if (!m.found && s->core) (void)walk_expression(s->core->where, mention_visit, &m);
    if (!m.found) (void)walk_expression(q->having, mention_visit, &m);
    for (ListCell *c = ListFirst(q->group_by ? q->group_by->list : nullptr); c && !m.found; c = ListNext(c))
        (void)walk_expression(node_cast<Node>(ListData(c)), mention_visit, &m);
    return m.found;
}

// Sub-queries that refer to a column of `scope` count as its columns.
int count_own_refs_deep(Node *node, void *arg) {
    auto *r = static_cast<RefCount *>(arg);
    (void)count_own_refs(node, arg);
    Mention m{r->scope, false};
    if (node->kind != NODE_COLUMN_REF && mention_visit(node, &m) && m.found) r->count++;
    return 0;
}

// Set functions without GROUP BY: the DISTINCT forms and columns beside
// set functions (also a correlated sub-query's references to them) wait
// for grouping.
void check_set_functions(QueryScope *scope) {
    RefCount all{scope, 0}, inside{scope, 0};
    for (int i = 0; i < scope->column_count; i++)
        (void)walk_expression(scope->columns[i].expression, count_own_refs_deep, &all);
    for (ListCell *cell = ListFirst(scope->select_aggregates); cell; cell = ListNext(cell)) {
        auto *a = node_cast<AggregateNode>(ListData(cell));
        (void)walk_expression(a->distinct ? a->distinct_column : a->argument, count_own_refs_deep, &inside);
    }
    if (all.count > inside.count) scope->unsupported = "columns beside set functions without GROUP BY";
}

QueryScope *new_scope(ValidationContext *c, QueryScope *enclosing) {
    auto *scope = static_cast<QueryScope *>(alloc_or_fail(c, sizeof(QueryScope)));
    scope->kind = kScopeKind;
    scope->enclosing = enclosing;
    return scope;
}

void describe_scope(ValidationContext *c, QueryScope *scope) {
    for (int i = 0; i < scope->column_count; i++) {
        SelectColumn &col = scope->columns[i];
        const int version = c->statement->connection.odbc_version;
        if (col.slot) {
            col.type = col.slot->types[col.column - 1];
            col.type.sql_type = datetime_code_for_version(col.type.sql_type, version);
            col.sql_type = col.type.sql_type;
            continue;
        }
        int t = col.sql_type;
        if (t == 0 || t == TYPE_COMPARABLE) t = SQL_VARCHAR;
        describe_or_template(col.expression, t, version, &col.type);
        if (type_class(col.type.sql_type) == kClassUnknown)
            validation_error_state(c, "HY000", "ODBC3.0", "General error: %s", "result column without a type");
        col.sql_type = col.type.sql_type;
    }
}

QueryScope *validate_union(UnionNode *u, QueryScope *enclosing, ValidationContext *c) {
    if (u->single) return validate_query_spec(node_cast<QuerySpecNode>(u->single), enclosing, c);
    QueryScope *left = validate_query_expression(u->left, enclosing, c);
    QueryScope *right = validate_query_expression(u->right, enclosing, c);
    QueryScope *tail = left;
    while (tail->union_next) tail = tail->union_next;
    tail->union_next = right;
    right->union_left = tail;
    right->union_all = u->all;
    if (left->column_count != right->column_count) validation_error(c, "select list count differs across UNION");
    for (int i = 0; i < left->column_count; i++)
        if (type_class(left->columns[i].sql_type) != type_class(right->columns[i].sql_type))
            validation_error(c, "incompatible types via UNION");
    return left;
}


// A bare name that is the alias of a result column (ORDER BY alias), or the
// name of one when the query has no table column of that name (a UNION's
// columns): its position, else 0.
int named_result_column(QueryScope *scope, Node *e) {
    if (!e || e->kind != NODE_COLUMN_REF) return 0;
    auto *ref = node_cast<ColumnRefNode>(e);
    if (ref->table || ref->schema || ref->catalog || !ref->column) return 0;
    for (int i = 0; i < scope->column_count; i++)
        if (scope->columns[i].has_alias && names_match(ref->column->text, ref->column->quoted, scope->columns[i].name))
            return i + 1;
    if (!scope->union_next) return 0;
    for (int i = 0; i < scope->column_count; i++)
        if (scope->columns[i].name && names_match(ref->column->text, ref->column->quoted, scope->columns[i].name))
            return i + 1;
    return 0;
}

void validate_order_by(ValidationContext *c, QueryScope *scope, ListNode *order) {
    for (ListCell *cell = ListFirst(order->list); cell; cell = ListNext(cell)) {
        auto *spec = node_cast<SortSpecNode>(ListData(cell));
        Node *e = spec->expression;
        if (e && e->kind == NODE_VALUE && node_cast<Value>(e)->type == VT_INTEGER) {
            int32_t n = node_cast<Value>(e)->data.i;
            if (n < 1 || n > scope->column_count) validation_error(c, "ORDER BY column number out of range");
            spec->validator_data = n;
        } else if (int named = named_result_column(scope, e)) {
            spec->validator_data = named;
        } else {
            ValidationContext sub = *c;
            sub.scope = scope;
            resolve_expression(e, &sub);
            (void)expression_type(e, &sub);
            spec->validator_data = -1;
        }
    }
    scope->order_by = order;
}

// Describes the result columns of a query for the statement layer.
void describe_result(ValidationContext *c, ValidatedStatement *v) {
    QueryScope *scope = v->scope;
    v->column_count = scope->column_count;
    v->columns = make_array<QueryColumn>(c, static_cast<size_t>(scope->column_count));
    for (int i = 0; i < scope->column_count; i++) {
        SelectColumn &col = scope->columns[i];
        QueryColumn &q = v->columns[i];
        q.type = col.type;
        q.label = col.name ? col.name : "";
        q.name = q.label;
        q.unnamed = col.name ? 0 : 1;
        q.base_column = q.table = q.base_table = q.schema = q.catalog = "";
        if (col.slot) {
            const ColumnInfo &ci = col.slot->columns[col.column - 1];
            q.base_column = ci.column;
            q.table = col.slot->match_name ? col.slot->match_name : "";
            q.base_table = col.slot->info.table;
            q.schema = col.slot->info.schema;
            q.catalog = col.slot->info.catalog;
            q.type.nullable = ci.nullable;
            q.type.updatable = ci.updatable == 1 ? SQL_ATTR_WRITE : ci.updatable == 0 ? SQL_ATTR_READONLY
                                                                                     : SQL_ATTR_READWRITE_UNKNOWN;
            if (!col.has_alias) q.label = q.name = ci.column;
        } else {
            q.type.nullable = SQL_NULLABLE_UNKNOWN;
            q.type.updatable = SQL_ATTR_READONLY;
        }
    }
}

ValidatedStatement *validate_select(ValidationContext *c, Node *tree) {
    auto *v = static_cast<ValidatedStatement *>(alloc_or_fail(c, sizeof(ValidatedStatement)));
    v->kind = kValidatedKind;
    v->tree = tree;
    v->function_code = SQL_DIAG_SELECT_CURSOR;
    v->statement_kind = QueryStatementKind::kQuery;
    if (tree->kind == NODE_SELECT) {
        auto *s = node_cast<SelectNode>(tree);
        v->scope = validate_query_expression(s->query, nullptr, c);
        if (s->order_by) validate_order_by(c, v->scope, s->order_by);
    } else {
        auto *s = node_cast<SelectForUpdateNode>(tree);
        auto *spec = static_cast<QuerySpecNode *>(alloc_or_fail(c, sizeof(QuerySpecNode)));
        spec->kind = NODE_QUERY_SPEC;
        spec->core = s->query;
        v->scope = validate_query_spec(spec, nullptr, c);
        QueryScope *scope = v->scope;
        if (s->columns) {
            for (ListCell *cell = ListFirst(s->columns->list); cell; cell = ListNext(cell)) {
                auto *ref = node_cast<ColumnRefNode>(ListData(cell));
                ValidationContext sub = *c;
                sub.scope = scope;
                resolve_column(ref, &sub);
                auto *slot = static_cast<TableSlot *>(ref->table_slot);
                slot->updatable[ref->column_position - 1] = 1;
            }
        } else {
            for (int i = 0; i < scope->slot_count; i++)
                for (int k = 0; k < scope->slots[i]->column_count; k++) scope->slots[i]->updatable[k] = 1;
        }
    }
    describe_result(c, v);
    return v;
}

struct StatementForm {
    uint32_t kind;
    int32_t function_code;
    QueryStatementKind statement_kind;
};

constexpr StatementForm kForms[] = {
    {NODE_ALTER_ADD, 4, QueryStatementKind::kDefinition},
    {NODE_ALTER_DROP, 4, QueryStatementKind::kDefinition},
    {NODE_CREATE_INDEX, -1, QueryStatementKind::kDefinition},
    {NODE_CREATE_TABLE, 77, QueryStatementKind::kDefinition},
    {NODE_CREATE_VIEW, 84, QueryStatementKind::kDefinition},
    {NODE_DELETE_POSITIONED, 38, QueryStatementKind::kRowChange},
    {NODE_DELETE, 19, QueryStatementKind::kRowChange},
    {NODE_DROP_INDEX, -2, QueryStatementKind::kDefinition},
    {NODE_DROP_TABLE, 32, QueryStatementKind::kDefinition},
    {NODE_DROP_VIEW, 36, QueryStatementKind::kDefinition},
    {NODE_GRANT, 48, QueryStatementKind::kDefinition},
    {NODE_INSERT, 50, QueryStatementKind::kRowChange},
    {NODE_REVOKE, 59, QueryStatementKind::kDefinition},
    {NODE_UPDATE_POSITIONED, 81, QueryStatementKind::kRowChange},
    {NODE_UPDATE, 82, QueryStatementKind::kRowChange},
    {NODE_CALL, 7, QueryStatementKind::kCall},
    {NODE_COMMIT, 0, QueryStatementKind::kTransaction},
    {NODE_ROLLBACK, 0, QueryStatementKind::kTransaction},
    {NODE_CREATE_USER, 0, QueryStatementKind::kDefinition},
    {NODE_DROP_USER, 0, QueryStatementKind::kDefinition},
};

// Statements other than queries are validated by their own module; until it
// lands they are recorded with their kind and refused at execution.
ValidatedStatement *validate_other(ValidationContext *c, Node *tree) {
    for (const StatementForm &f : kForms) {
        if (f.kind != tree->kind) continue;
        if (f.statement_kind == QueryStatementKind::kCall) return validate_call(c, tree, f.function_code);
        if (f.statement_kind == QueryStatementKind::kRowChange ||
            tree->kind == NODE_CREATE_TABLE || tree->kind == NODE_DROP_TABLE || tree->kind == NODE_CREATE_INDEX ||
            tree->kind == NODE_DROP_INDEX || tree->kind == NODE_ALTER_ADD || tree->kind == NODE_ALTER_DROP ||
            tree->kind == NODE_CREATE_VIEW || tree->kind == NODE_DROP_VIEW || tree->kind == NODE_GRANT ||
            tree->kind == NODE_REVOKE)
            return validate_change(c, tree, f.function_code, f.statement_kind);
        auto *v = static_cast<ValidatedStatement *>(alloc_or_fail(c, sizeof(ValidatedStatement)));
        v->kind = kValidatedKind;
        v->tree = tree;
        v->function_code = f.function_code;
        v->statement_kind = f.statement_kind;
        return v;
    }
    validation_error(c, "UNKNOWN STMT statement not supported");
}

void type_parameters(QueryStatement *st) {
    st->parameters = st->parameter_count > 0
                         ? pool_new_array<QueryParameter>(st->parse_pool, static_cast<size_t>(st->parameter_count))
                         : nullptr;
    for (int i = 0; i < st->parameter_count && st->parameters; i++) {
        QueryParameter &p = st->parameters[i];
        p.number = i + 1;
        p.typed = st->parameter_typed[i];
        if (p.typed) {
            p.type = st->parameter_types[i];
        } else {
            (void)type_template(SQL_VARCHAR, &p.type);
        }
        p.type.nullable = SQL_NULLABLE_UNKNOWN;
    }
}

}  // namespace

QueryScope *validate_query_expression(Node *node, QueryScope *enclosing, ValidationContext *c) {
    if (node->kind == NODE_UNION) return validate_union(node_cast<UnionNode>(node), enclosing, c);
    if (node->kind == NODE_QUERY_SPEC) return validate_query_spec(node_cast<QuerySpecNode>(node), enclosing, c);
    validation_error(c, "unexpected query form");
}

void validation_error(ValidationContext *context, const char *format, ...) {
    va_list args;
    va_start(args, format);
    post_v(context->statement->diag, "S1000", "ODBC3.0", "General error ", format, args);
    va_end(args);
    throw QueryFailure{-1};
}

void validation_error_state(ValidationContext *context, const char *sqlstate, const char *origin,
                            const char *format, ...) {
    va_list args;
    va_start(args, format);
    post_v(context->statement->diag, sqlstate, origin, "", format, args);
    va_end(args);
    throw QueryFailure{-1};
}

bool names_match(const char *written, int quoted, const char *name) {
    if (!written || !name) return false;
    if (quoted) return std::strcmp(written, name) == 0;
    for (; *written && *name; written++, name++) {
        char a = *written, b = *name;
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        if (a != b) return false;
    }
    return *written == *name;
}

int narrow_sql_type(int sql_type) {
    switch (sql_type) {
        case SQL_WCHAR: return SQL_CHAR;
        case SQL_WVARCHAR: return SQL_VARCHAR;
        case SQL_WLONGVARCHAR: return SQL_LONGVARCHAR;
        default: return sql_type;
    }
}

int datetime_code_for_version(int sql_type, int odbc_version) {
    const bool v2 = odbc_version == 2;
    switch (sql_type) {
        case SQL_DATE: case SQL_TYPE_DATE: return v2 ? SQL_DATE : SQL_TYPE_DATE;
        case SQL_TIME: case SQL_TYPE_TIME: return v2 ? SQL_TIME : SQL_TYPE_TIME;
        case SQL_TIMESTAMP: case SQL_TYPE_TIMESTAMP: return v2 ? SQL_TIMESTAMP : SQL_TYPE_TIMESTAMP;
        default: return sql_type;
    }
}

void describe_or_template(const Node *node, int sql_type, int odbc_version, ExtendedType *out) {
    if (!node || describe_expression(node, odbc_version, out) != 0)
        if (type_template(sql_type, out) != 0) (void)type_template(SQL_VARCHAR, out);
    // A column keeps the code its provider gave; literals, casts and
    // functions theirs: an ODBC 2 application sees 9/10/11, others 91/92/93.
    out->sql_type = datetime_code_for_version(out->sql_type, odbc_version);
}

QueryScope *validate_query_spec(QuerySpecNode *spec, QueryScope *enclosing, ValidationContext *c) {
    if (spec->scope) return static_cast<QueryScope *>(spec->scope);
    QueryScope *scope = new_scope(c, enclosing);
    spec->scope = scope;
    scope->spec = spec;
    scope->core = node_cast<SelectCoreNode>(spec->core);
    scope->is_query = 1;
    scope->distinct = scope->core->set_quantifier == 2;
    scope->top = scope->core->top;
    if (enclosing) append(c, &enclosing->subqueries, scope);
    ValidationContext local = *c;
    local.scope = scope;
    local.in_select_list = local.in_having = local.allow_set = 0;
    build_from_list(&local, scope, scope->core->from);
    resolve_join_conditions(&local, scope);
    build_select_list(&local, scope);
    if (scope->core->where) {
        resolve_expression(scope->core->where, &local);
        (void)expression_type(scope->core->where, &local);
    }
    if (spec->having && !spec->group_by) validation_error(&local, "HAVING clause only valid after GROUP BY");
    if (spec->group_by) {
        for (ListCell *cell = ListFirst(spec->group_by->list); cell; cell = ListNext(cell)) {
            auto *e = node_cast<Node>(ListData(cell));
            resolve_expression(e, &local);
            (void)expression_type(e, &local);
        }
        scope->group_by = spec->group_by;
    }
    if (spec->having) {
        ValidationContext h = local;
        h.in_having = 1;
        h.allow_set = 1;
        resolve_expression(spec->having, &h);
        (void)expression_type(spec->having, &h);
        scope->having = spec->having;
    }
    if (ListCount(scope->select_aggregates) > 0 && !scope->group_by && !scope->unsupported) check_set_functions(scope);
    describe_scope(&local, scope);
    if (enclosing && scope->column_count == 1) spec->result_description = &scope->columns[0].type;
    return scope;
}

int validate_statements(QueryStatement *st) {
    ValidationContext c{};
    c.statement = st;
    try {
        ListNode *root = node_cast<ListNode>(st->parse->root);
        int n = root ? ListCount(root->list) : 0;
        st->statement_count = 0;
        st->statements = make_array<ValidatedStatement *>(&c, static_cast<size_t>(n));
        st->parameter_count = st->parse->parameter_count;
        st->parameter_types = make_array<ExtendedType>(&c, static_cast<size_t>(st->parameter_count));
        st->parameter_typed = make_array<int32_t>(&c, static_cast<size_t>(st->parameter_count));
        for (ListCell *cell = root ? ListFirst(root->list) : nullptr; cell; cell = ListNext(cell)) {
            auto *tree = node_cast<Node>(ListData(cell));
            ValidatedStatement *v = (tree->kind == NODE_SELECT || tree->kind == NODE_SELECT_FOR_UPDATE)
                                        ? validate_select(&c, tree)
                                        : validate_other(&c, tree);
            st->diag->function_code = v->function_code;
            st->statements[st->statement_count++] = v;
        }
        type_parameters(st);
        if (!st->parameters && st->parameter_count > 0)
            validation_error_state(&c, "HY001", "ISO 9075", "Memory allocation error");
        return 0;
    } catch (const QueryFailure &f) {
        return f.code;
    }
}

void *validation_zeroed(ValidationContext *c, size_t size) {
    void *p = alloc_or_fail(c, size);
    std::memset(p, 0, size);
    return p;
}
