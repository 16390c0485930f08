// Node makers and the rewrites done while building (see build.h).
#include "sql/build.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sql/walker.h"

void set_error_message(ParserState *ps, const char *message) {
    const SqlScanner &s = ps->scanner;
    int n = static_cast<int>(s.token_end - s.token_start);
    if (n < 0) n = 0;
    std::snprintf(ps->context->message, sizeof ps->context->message, "%s near '%.*s'", message, n,
                  s.token_start ? s.token_start : "");
}

void fail(ParserState *ps, int code, const char *format, ...) {
    char message[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    set_error_message(ps, message);
    throw ParseFailure{code};
}

void fail_memory(ParserState *ps) { fail(ps, 2, "memory exhausted"); }

void fail_state(ParserState *ps, const char *sqlstate, const char *format, ...) {
    char message[200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::snprintf(ps->context->sqlstate, sizeof ps->context->sqlstate, "%s", sqlstate);
    fail(ps, -1, "%s", message);
}

ListNode *make_empty_list(ParserState *ps) { return make<ListNode>(ps, NODE_LIST); }

ListNode *make_list(ParserState *ps, void *first) {
    return list_append(ps, make_empty_list(ps), first);
}

ListNode *list_append(ParserState *ps, ListNode *list, void *item) {
    List *l = ListAppend(list->list, item, ps->pool);
    if (!l) fail_memory(ps);
    list->list = l;
    return list;
}

// ---- names ----

IdentifierNode *make_identifier(ParserState *ps, char *text, int quoted) {
    auto *id = make<IdentifierNode>(ps, NODE_IDENTIFIER);
    id->text = text;
    id->quoted = quoted;
    return id;
}

QualifiedName *make_qname(ParserState *ps, IdentifierNode *a, IdentifierNode *b,
                          IdentifierNode *c, IdentifierNode *d, int count, bool star) {
    auto *q = pool_new<QualifiedName>(ps->pool);
    if (!q) fail_memory(ps);
    IdentifierNode *parts[4] = {a, b, c, d};
    for (int i = 0; i < 4; i++) q->parts[i] = parts[i];
    q->count = count;
    q->star = star;
    // The last part of the written name sits at count-1; for a star it is null.
    if (star) q->parts[count - 1] = nullptr;
    if (star) ps->open_wildcards++;
    return q;
}

// Splits a catalog part "link$catalog" when no link part was written.
static void split_link(ParserState *ps, IdentifierNode **link, IdentifierNode **catalog) {
    if (*link || !*catalog || !(*catalog)->text) return;
    char *dollar = std::strchr((*catalog)->text, '$');
    if (!dollar) return;
    char *text = (*catalog)->text;
    IdentifierNode *l = make_identifier(ps, cv_mem_strndup(ps->pool, std::string_view(text, static_cast<size_t>(dollar - text))), (*catalog)->quoted);
    if (!l->text) fail_memory(ps);
    *link = l;
    if (dollar[1]) {
        char *rest = cv_mem_strdup(ps->pool, dollar + 1);
        if (!rest) fail_memory(ps);
        *catalog = make_identifier(ps, rest, (*catalog)->quoted);
    } else {
        *catalog = nullptr;
    }
}

ColumnRefNode *build_column_ref(ParserState *ps, QualifiedName *q) {
    auto *ref = make<ColumnRefNode>(ps, NODE_COLUMN_REF);
    // From the right: column, table, schema, catalog.
    IdentifierNode **slots[4] = {&ref->column, &ref->table, &ref->schema, &ref->catalog};
    for (int i = 0; i < q->count && i < 4; i++) *slots[i] = q->parts[q->count - 1 - i];
    split_link(ps, &ref->link, &ref->catalog);
    return ref;
}

TableNameNode *build_table_name(ParserState *ps, QualifiedName *q) {
    if (q->star) fail(ps, -1, "Wildcard not allowed here");
    auto *t = make<TableNameNode>(ps, NODE_TABLE_NAME);
    IdentifierNode **slots[4] = {&t->table, &t->schema, &t->catalog, &t->link};
    for (int i = 0; i < q->count && i < 4; i++) *slots[i] = q->parts[q->count - 1 - i];
    split_link(ps, &t->link, &t->catalog);
    return t;
}

Node *build_select_item(ParserState *ps, Node *expression, IdentifierNode *alias) {
    auto *item = make<SelectItemNode>(ps, NODE_SELECT_ITEM);
    auto *ref = node_cast<ColumnRefNode>(expression);
    if (expression->kind == NODE_COLUMN_REF && !ref->column) {
        // "t.*": a wildcard item naming its table.
        ps->open_wildcards--;
        auto *t = make<TableNameNode>(ps, NODE_TABLE_NAME);
        t->link = ref->link;
        t->catalog = ref->catalog;
        t->schema = ref->schema;
        t->table = ref->table;
        item->wildcard = t;
    } else {
        item->expression = expression;
        item->alias = alias;
    }
    check_wildcards(ps);
    return as_node(item);
}

void check_wildcards(ParserState *ps) {
    if (ps->open_wildcards > 0) fail(ps, -1, "Wildcard not allowed here");
}

// ---- expressions ----

Node *make_operator(ParserState *ps, int32_t op_class, int32_t op, Node *left, Node *right) {
    auto *o = make<OperatorNode>(ps, NODE_OPERATOR);
    o->op_class = op_class;
    o->op = op;
    o->left = left;
    o->right = right;
    return as_node(o);
}

Node *make_parameter(ParserState *ps) {
    auto *p = make<ParameterNode>(ps, NODE_PARAMETER);
    p->number = ++ps->context->parameter_count;
    return as_node(p);
}

int is_condition(const Node *n) {
    switch (n->kind) {
    case NODE_OPERATOR: {
        const auto *o = node_cast<OperatorNode>(n);
        return o->op_class != OPCLASS_OPERATOR || is_comparison_op(o->op);
    }
    case NODE_EXISTS:
    case NODE_LIKE:
    case NODE_IS_NULL:
    case NODE_IN_SUBQUERY:
    case NODE_QUANTIFIED: return 1;
    default: return 0;
    }
}

static int opposite(int op) {
    switch (op) {
    case OP_LT: return OP_GE;
    case OP_GE: return OP_LT;
    case OP_GT: return OP_LE;
    case OP_LE: return OP_GT;
    case OP_EQ: return OP_NE;
    case OP_NE: return OP_EQ;
    default: return op;
    }
}

// NOT is pushed down the boolean skeleton in place: AND and OR swap,
// comparisons take their opposite, predicates toggle their negation. The
// walk follows AND and OR only, with an explicit stack, so operands (and
// conditions inside CASE or subqueries) are left as they are.
Node *build_not(ParserState *, Node *condition) {
    std::vector<Node *> stack{condition};
    while (!stack.empty()) {
        Node *n = stack.back();
        stack.pop_back();
        switch (n->kind) {
        case NODE_OPERATOR: {
            auto *o = node_cast<OperatorNode>(n);
            if (o->op_class == OPCLASS_AND || o->op_class == OPCLASS_OR) {
                o->op_class = o->op_class == OPCLASS_AND ? OPCLASS_OR : OPCLASS_AND;
                stack.push_back(o->left);
                stack.push_back(o->right);
            } else if (o->op_class == OPCLASS_OPERATOR) {
                o->op = opposite(o->op);
            }
            break;
        }
        case NODE_EXISTS: node_cast<ExistsNode>(n)->negated ^= 1; break;
        case NODE_LIKE: node_cast<LikeNode>(n)->negated ^= 1; break;
        case NODE_IS_NULL: node_cast<IsNullNode>(n)->negated ^= 1; break;
        case NODE_IN_SUBQUERY: node_cast<InSubqueryNode>(n)->negated ^= 1; break;
        case NODE_QUANTIFIED: node_cast<QuantifiedNode>(n)->negated ^= 1; break;
        default: break;
        }
    }
    return condition;
}

Node *build_between(ParserState *ps, Node *x, int negated, Node *low, Node *high) {
    if (negated)
        return make_operator(ps, OPCLASS_OR, 0, make_operator(ps, OPCLASS_OPERATOR, OP_LT, x, low),
                             make_operator(ps, OPCLASS_OPERATOR, OP_GT, x, high));
    return make_operator(ps, OPCLASS_AND, 0, make_operator(ps, OPCLASS_OPERATOR, OP_GE, x, low),
                         make_operator(ps, OPCLASS_OPERATOR, OP_LE, x, high));
}

Node *build_in_list(ParserState *ps, Node *x, int negated, ListNode *values) {
    Node *chain = nullptr;
    for (ListCell *c = ListFirst(values->list); c; c = ListNext(c)) {
        Node *cmp = make_operator(ps, OPCLASS_OPERATOR, negated ? OP_NE : OP_EQ, x,
                                  node_cast<Node>(ListData(c)));
        chain = chain ? make_operator(ps, negated ? OPCLASS_AND : OPCLASS_OR, 0, chain, cmp) : cmp;
    }
    return chain;
}

// (a1, ..., an) OVERLAPS (b1, ..., bn): each pair of corresponding elements
// compared for equality, the comparisons joined by AND.
Node *build_overlaps(ParserState *ps, ListNode *left, ListNode *right) {
    if (ListCount(left->list) != ListCount(right->list))
        fail(ps, -1, "unmatched value count with OVERLAPS predicate");
    Node *chain = nullptr;
    for (ListCell *a = ListFirst(left->list), *b = ListFirst(right->list); a && b;
         a = ListNext(a), b = ListNext(b)) {
        Node *cmp = make_operator(ps, OPCLASS_OPERATOR, OP_EQ, node_cast<Node>(ListData(a)),
                                  node_cast<Node>(ListData(b)));
        chain = chain ? make_operator(ps, OPCLASS_AND, 0, chain, cmp) : cmp;
    }
    return chain;
}

Node *build_case(ParserState *ps, Node *operand, ListNode *whens, Node *else_result) {
    auto *c = make<CaseNode>(ps, NODE_CASE);
    c->operand = operand;
    c->whens = whens;
    c->else_result = else_result;
    return as_node(c);
}

Node *build_iif(ParserState *ps, Node *first, Node *then_value, Node *else_value) {
    Node *condition = first;
    if (!is_condition(first)) {
        Value *zero = make_value(ps, VT_INTEGER);
        condition = make_operator(ps, OPCLASS_OPERATOR, OP_NE, first, as_node(zero));
    }
    auto *w = make<WhenNode>(ps, NODE_WHEN);
    w->condition = condition;
    w->result = then_value;
    return build_case(ps, nullptr, make_list(ps, w), else_value);
}

Node *build_aggregate(ParserState *ps, int32_t code, int distinct, Node *argument,
                      const char *name) {
    auto *a = make<AggregateNode>(ps, NODE_AGGREGATE);
    a->code = code;
    if (distinct) {
        if (argument->kind != NODE_COLUMN_REF)
            fail(ps, -1, "Column name expected in %s( DISTINCT ), expression found", name);
        a->distinct = 1;
        a->distinct_column = argument;
    } else {
        a->argument = argument;
    }
    return as_node(a);
}

Node *build_builtin(ParserState *ps, int32_t code, Node *a, Node *b, Node *c) {
    auto *f = make<FunctionNode>(ps, NODE_FUNCTION);
    f->code = code;
    f->operand1 = a;
    f->operand2 = b;
    f->operand3 = c;
    return as_node(f);
}

Node *build_trim(ParserState *ps, int32_t side, Node *character, Node *source) {
    if (character && character->kind != NODE_PARAMETER &&
        !(character->kind == NODE_VALUE && node_cast<Value>(character)->type == VT_CHAR))
        fail(ps, 1, "syntax error");
    auto *t = make<TrimSpecNode>(ps, NODE_TRIM_SPEC);
    t->side = side;
    t->character = character;
    t->source = source;
    return as_node(t);
}

Node *build_datetime_field(ParserState *ps, int field) {
    Value *v = make_value(ps, VT_INTEGER);
    v->data.i = field;
    return as_node(v);
}

Node *extract_field_of(ParserState *ps, Node *first) {
    auto *ref = node_cast<ColumnRefNode>(first);
    if (first->kind == NODE_COLUMN_REF && ref->column && !ref->table && !ref->schema &&
        !ref->catalog && !ref->link && !ref->column->quoted &&
        std::strcmp(ref->column->text, "DAY") == 0)
        return build_datetime_field(ps, 2);
    return first;
}

// The target types of CONVERT by their ODBC names.
struct ConvertType {
    const char *name;
    int32_t sql_type;
    int32_t length;
};
static const ConvertType kConvertTypes[] = {
    {"SQL_BIGINT", -5, 0}, {"SQL_BINARY", -2, 254}, {"SQL_BIT", -7, 1}, {"SQL_CHAR", 1, 254},
    {"SQL_DATE", 91, 0}, {"SQL_DECIMAL", 3, 0}, {"SQL_DOUBLE", 8, 0}, {"SQL_FLOAT", 6, 0},
    {"SQL_INTEGER", 4, 0}, {"SQL_INTERVAL_DAY", 103, 0}, {"SQL_INTERVAL_DAY_TO_HOUR", 108, 0},
    {"SQL_INTERVAL_DAY_TO_MINUTE", 109, 0}, {"SQL_INTERVAL_DAY_TO_SECOND", 110, 0},
    {"SQL_INTERVAL_HOUR", 104, 0}, {"SQL_INTERVAL_HOUR_TO_MINUTE", 111, 0},
    {"SQL_INTERVAL_HOUR_TO_SECOND", 112, 0}, {"SQL_INTERVAL_MINUTE", 105, 0},
    {"SQL_INTERVAL_MINUTE_TO_SECOND", 113, 0}, {"SQL_INTERVAL_MONTH", 102, 0},
    {"SQL_INTERVAL_SECOND", 106, 0}, {"SQL_INTERVAL_YEAR", 101, 0},
    {"SQL_INTERVAL_YEAR_TO_MONTH", 107, 0}, {"SQL_LONGVARBINARY", -4, 0},
    {"SQL_LONGVARCHAR", -1, 0}, {"SQL_NUMERIC", 2, 0}, {"SQL_REAL", 7, 0},
    {"SQL_SMALLINT", 5, 0}, {"SQL_TIME", 92, 0}, {"SQL_TIMESTAMP", 93, 0},
    {"SQL_TINYINT", -6, 0}, {"SQL_TYPE_DATE", 91, 0}, {"SQL_TYPE_TIME", 92, 0},
    {"SQL_TYPE_TIMESTAMP", 93, 0}, {"SQL_VARBINARY", -3, 254}, {"SQL_VARCHAR", 12, 254},
};

static Node *build_convert(ParserState *ps, ListNode *arguments) {
    ListCell *first = ListFirst(arguments->list);
    auto *target = node_cast<ColumnRefNode>(ListData(ListNext(first)));
    if (!target || target->kind != NODE_COLUMN_REF || !target->column)
        fail(ps, -1, "Second arg to CONVERT must be a SQL Date type, ie 'SQL_DATE'");
    for (const auto &t : kConvertTypes)
        if (std::strcmp(t.name, target->column->text) == 0)
            return build_cast(ps, node_cast<Node>(ListData(first)),
                              make_data_type(ps, t.sql_type, t.length));
    fail(ps, -1, "unexpected target type %s in CONVERT", target->column->text);
}

Node *build_function(ParserState *ps, const char *name, ListNode *arguments) {
    int code = find_scalar_function(name);
    if (code == kFunctionNotFound) fail(ps, -1, "unknown function name %s", name);
    int minimum = 0, maximum = 0;
    if (argument_range(code, &minimum, &maximum) != 0) fail(ps, -1, "unknown function name %s", name);
    int given = ListCount(arguments->list);
    if (given < minimum || given > maximum)
        fail(ps, -1, "incorrect number of arguments to %s(), %d expected, %d found", name, minimum,
             given);
    if (code == FN_TABLE_CONVERT) return build_convert(ps, arguments);
    auto *f = make<FunctionNode>(ps, NODE_FUNCTION);
    f->code = code;
    f->arguments = arguments;
    f->entry = scalar_function_entry(code);
    return as_node(f);
}

Node *build_cast(ParserState *ps, Node *operand, DataTypeNode *type) {
    auto *c = make<CastNode>(ps, NODE_CAST);
    c->operand = operand;
    c->target = type;
    return as_node(c);
}

DataTypeNode *make_data_type(ParserState *ps, int32_t sql_type, int32_t length) {
    auto *t = make<DataTypeNode>(ps, NODE_DATA_TYPE);
    t->sql_type = sql_type;
    t->length = length;
    return t;
}

PrecisionScaleNode *make_precision_scale(ParserState *ps, int32_t precision, int32_t scale) {
    auto *p = make<PrecisionScaleNode>(ps, NODE_PRECISION_SCALE);
    p->precision = precision;
    p->scale = scale;
    return p;
}
