// expression_type: the SQL type of every expression form, the type checks
// with their messages, and parameter typing from partner operands.
#include <cstring>
#include <vector>

#include "engine/describe_expression.h"
#include "engine/functions.h"
#include "engine/like.h"
#include "query/validate.h"

namespace {

bool is_param(const Node *n) { return n && n->kind == NODE_PARAMETER; }

// The NULL keyword of an IN list or comparison: it takes its partner's type.
bool is_null_literal(const Node *n) {
    return n && n->kind == NODE_VALUE && node_cast<Value>(n)->type == VT_NULL;
}

int param_index(ValidationContext *c, const Node *n) {
    int number = node_cast<ParameterNode>(n)->number;
    if (number < 1 || number > c->statement->parameter_count)
        validation_error_state(c, "HY000", "ODBC3.0", "General error: %s", "parameter number out of range");
    return number - 1;
}

// Gives an untyped parameter the description of its partner expression.
void type_parameter(ValidationContext *c, Node *param, Node *partner, int partner_type) {
    int i = param_index(c, param);
    if (c->statement->parameter_typed[i]) return;
    ExtendedType t{};
    if (partner && partner->kind == NODE_QUERY_SPEC) {
        QueryScope *s = static_cast<QueryScope *>(node_cast<QuerySpecNode>(partner)->scope);
        if (s && s->column_count > 0) t = s->columns[0].type;
        else describe_or_template(nullptr, partner_type, c->statement->connection.odbc_version, &t);
        t.sql_type = datetime_code_for_version(t.sql_type, c->statement->connection.odbc_version);
    } else {
        describe_or_template(partner, partner_type, c->statement->connection.odbc_version, &t);
    }
    if (partner_type == TYPE_COMPARABLE || type_class(t.sql_type) == kClassUnknown)
        (void)type_template(SQL_VARCHAR, &t);
    c->statement->parameter_types[i] = t;
    c->statement->parameter_typed[i] = 1;
}

int subquery_type(ValidationContext *c, Node *sub, const char *degree_message) {
    auto *s = static_cast<QueryScope *>(node_cast<QuerySpecNode>(sub)->scope);
    if (!s || s->column_count != 1) validation_error(c, "%s", degree_message);
    return s->columns[0].sql_type;
}

int class_of(int sql_type) { return type_class(sql_type); }
bool is_char_type(int t) { return class_of(t) == kClassCharacter; }
bool is_numeric_type(int t) { return class_of(t) == kClassNumeric; }

int combine_step(OperatorNode *o, int l, ValidationContext *c);

bool is_binary_arithmetic(const Node *n) {
    if (!n || n->kind != NODE_OPERATOR) return false;
    const auto *o = node_cast<OperatorNode>(n);
    return o->op_class == OPCLASS_OPERATOR && is_arithmetic_op(o->op) && o->op != OP_NEG;
}

int operator_type(OperatorNode *o, ValidationContext *c) {
    if (o->op_class == OPCLASS_AND || o->op_class == OPCLASS_OR) {
        // Long AND / OR chains (IN lists) go down their left side in a loop.
        Node *n = reinterpret_cast<Node *>(o);
        while (n && n->kind == NODE_OPERATOR && node_cast<OperatorNode>(n)->op_class == o->op_class) {
            (void)expression_type(node_cast<OperatorNode>(n)->right, c);
            n = node_cast<OperatorNode>(n)->left;
        }
        (void)expression_type(n, c);
        return TYPE_COMPARABLE;
    }
    if (o->op_class == OPCLASS_NOT) {
        (void)expression_type(o->right, c);
        return TYPE_COMPARABLE;
    }
    if (o->op == OP_NEG) {
        int r = expression_type(o->right, c);
        if (r == 0) validation_error(c, "expression type conflict");
        int res = check_type_combination(r, r, OP_NEG);
        if (res == TYPE_INCOMPATIBLE) validation_error(c, "expression type conflict");
        return res;
    }
    int l;
    if (is_arithmetic_op(o->op) && is_binary_arithmetic(o->left)) {
        // a + b + c ...: the left side's chain typed bottom up in a loop.
        std::vector<OperatorNode *> spine;
        Node *n = o->left;
        while (is_binary_arithmetic(n)) {
            spine.push_back(node_cast<OperatorNode>(n));
            n = node_cast<OperatorNode>(n)->left;
        }
        l = expression_type(n, c);
        for (size_t i = spine.size(); i-- > 0;) l = combine_step(spine[i], l, c);
    } else {
        l = expression_type(o->left, c);
    }
    return combine_step(o, l, c);
}

// One binary operator given its left operand's type.
int combine_step(OperatorNode *o, int l, ValidationContext *c) {
    int r;
    if (o->right && o->right->kind == NODE_QUERY_SPEC) r = subquery_type(c, o->right, "op ( sub_query ) degree not one");
    else r = expression_type(o->right, c);
    if (is_null_literal(o->right)) r = l;
    else if (is_null_literal(o->left)) l = r;
    bool lp = is_param(o->left) && l == 0, rp = is_param(o->right) && r == 0;
    if (lp && rp) validation_error(c, "can't have dynamic parameters on both sides");
    if (lp) {
        type_parameter(c, o->left, o->right, r);
        l = expression_type(o->left, c);
    }
    if (rp) {
        type_parameter(c, o->right, o->left, l);
        r = expression_type(o->right, c);
    }
    int res = check_type_combination(l, r, o->op);
    if (res == TYPE_INCOMPATIBLE) validation_error(c, "expression type conflict");
    return res;
}

int case_type(CaseNode *k, Node *self, ValidationContext *c) {
    int operand = 0;
    if (k->operand) {
        if (is_param(k->operand)) validation_error(c, "can't have dynamic parameters in CASE operand");
        operand = expression_type(k->operand, c);
    }
    int then_type = 0;
    bool have_then = false;
    for (ListCell *cell = ListFirst(k->whens ? k->whens->list : nullptr); cell; cell = ListNext(cell)) {
        auto *w = node_cast<WhenNode>(ListData(cell));
        if (k->operand) {
            int t = is_param(w->condition) ? 0 : expression_type(w->condition, c);
            if (t == TYPE_COMPARABLE) validation_error(c, "can't have search_condition in CASE with operand");
            if (is_param(w->condition)) {
                type_parameter(c, w->condition, k->operand, operand);
            } else if (class_of(t) != class_of(operand)) {
                validation_error(c, "type mismatch between operand and when clause in CASE");
            }
        } else {
            int t = expression_type(w->condition, c);
            if (t != TYPE_COMPARABLE) validation_error(c, "can't have non search_condition in CASE without operand");
        }
        int rt = expression_type(w->result, c);
        if (rt == 0) continue;
        if (have_then && class_of(rt) != class_of(then_type))
            validation_error(c, "type mismatch between then clauses in CASE");
        if (!have_then) then_type = rt;
        have_then = true;
    }
    if (k->else_result) {
        int et = expression_type(k->else_result, c);
        if (et != 0 && have_then && class_of(et) != class_of(then_type))
            validation_error(c, "type mismatch between then and else clauses in CASE");
        if (!have_then) then_type = et;
    }
    ExtendedType d{};
    if (describe_expression(self, 3, &d) == 0) return d.sql_type;
    return then_type ? then_type : SQL_VARCHAR;
}

int coalesce_type(CoalesceNode *k, Node *self, ValidationContext *c) {
    Node *first = nullptr;
    int first_type = 0;
    for (ListCell *cell = ListFirst(k->arguments ? k->arguments->list : nullptr); cell; cell = ListNext(cell)) {
        auto *a = node_cast<Node>(ListData(cell));
        if (is_param(a)) continue;
        int t = expression_type(a, c);
        if (!first) {
            first = a;
            first_type = t;
        } else if (class_of(t) != class_of(first_type)) {
            validation_error(c, "Unmatched types in COALESCE");
        }
    }
    if (!first) validation_error(c, "can't have dynamic parameters in all parts of a COALESCE");
    for (ListCell *cell = ListFirst(k->arguments->list); cell; cell = ListNext(cell)) {
        auto *a = node_cast<Node>(ListData(cell));
        if (is_param(a)) type_parameter(c, a, first, first_type);
    }
    ExtendedType d{};
    if (describe_expression(self, 3, &d) == 0) return d.sql_type;
    return first_type;
}

int aggregate_type(AggregateNode *a, ValidationContext *c) {
    Node *arg = a->distinct ? a->distinct_column : a->argument;
    int t = arg ? expression_type(arg, c) : 0;
    int res = 0;
    switch (a->code) {
        case AGG_COUNT:
        case AGG_COUNT_STAR: res = SQL_INTEGER; break;
        case AGG_SUM:
            if (is_numeric_type(t)) res = check_type_combination(SQL_INTEGER, t, OP_ADD);
            else if (class_of(t) == kClassIntervalYM || class_of(t) == kClassIntervalDS) res = t;
            else validation_error(c, "SUM() requires numeric argument");
            break;
        case AGG_AVG:
            if (is_numeric_type(t)) res = SQL_DOUBLE;
            else if (class_of(t) == kClassIntervalYM || class_of(t) == kClassIntervalDS) res = t;
            else validation_error(c, "AVG() requires numeric argument");
            break;
        default: res = t; break;
    }
    a->result_sql_type = res;
    return res;
}

void need_char(ValidationContext *c, Node *arg, const char *message) {
    if (!arg) return;
    int t = expression_type(arg, c);
    if (t == 0 && is_param(arg)) {
        type_parameter(c, arg, nullptr, SQL_VARCHAR);
        return;
    }
    if (!is_char_type(t)) validation_error(c, "%s", message);
}

void need_number(ValidationContext *c, Node *arg, const char *message) {
    if (!arg) return;
    int t = expression_type(arg, c);
    if (t == 0 && is_param(arg)) {
        type_parameter(c, arg, nullptr, SQL_INTEGER);
        return;
    }
    if (!is_numeric_type(t)) validation_error(c, "%s", message);
}

int builtin_type(FunctionNode *f, ValidationContext *c) {
    switch (f->code) {
        case FN_CHARACTER_LENGTH:
            need_char(c, f->operand1, "argument to CHARACTER_LENGTH must be of type 'string'");
            return SQL_INTEGER;
        case FN_OCTET_LENGTH:
            need_char(c, f->operand1, "argument to OCTET_LENGTH must be of type 'string'");
            return SQL_INTEGER;
        case FN_BIT_LENGTH:
            need_char(c, f->operand1, "argument to BIT_LENGTH must be of type 'string'");
            return SQL_INTEGER;
        case FN_POSITION:
            need_char(c, f->operand1, "first argument to POSITION must be of type 'string'");
            need_char(c, f->operand2, "second argument to POSITION must be of type 'string'");
            return SQL_INTEGER;
        case FN_SUBSTRING:
            need_char(c, f->operand1, "first argument to SUBSTR must be of type 'string'");
            need_number(c, f->operand2, "second argument to SUBSTR must be of type 'number'");
            need_number(c, f->operand3, "third argument to SUBSTR must be of type 'number'");
            return SQL_VARCHAR;
        case FN_TRIM: {
            Node *src = f->operand1;
            if (src && src->kind == NODE_TRIM_SPEC) {
                auto *t = node_cast<TrimSpecNode>(src);
                if (t->character) (void)expression_type(t->character, c);
                src = t->source;
            }
            need_char(c, src, "argument to TRIM must be of type 'string'");
            return SQL_VARCHAR;
        }
        case FN_UPPER: need_char(c, f->operand1, "argument to UPPER must be of type 'string'"); return SQL_VARCHAR;
        case FN_LOWER: need_char(c, f->operand1, "argument to LOWER must be of type 'string'"); return SQL_VARCHAR;
        default: validation_error(c, "unknown function");
    }
}

bool mask_allows(int mask, int sql_type) {
    switch (type_class_fine(sql_type)) {
        case kClassCharacter: return (mask & (kMaskChar | kMaskChar2)) != 0;
        case kClassNumeric: return (mask & (kMaskInteger | kMaskDouble)) != 0;
        case kClassDate: return (mask & kMaskDate) != 0;
        case kClassTime: return (mask & kMaskTime) != 0;
        case kClassDatetime: return (mask & kMaskTimestamp) != 0;
        case kClassIntervalYM:
        case kClassIntervalDS: return (mask & kMaskInterval) != 0;
        default: return false;
    }
}

int result_of_mask(int mask, int first_type) {
    if (mask & kMaskAny) return first_type ? first_type : SQL_VARCHAR;
    if (mask & (kMaskChar | kMaskChar2)) return SQL_VARCHAR;
    if (mask & kMaskInteger) return SQL_INTEGER;
    if (mask & kMaskDouble) return SQL_DOUBLE;
    if (mask & kMaskDate) return SQL_TYPE_DATE;
    if (mask & kMaskTime) return SQL_TYPE_TIME;
    if (mask & kMaskTimestamp) return SQL_TYPE_TIMESTAMP;
    return SQL_VARCHAR;
}

int timestampadd_type(FunctionNode *f, ValidationContext *c, Node **args, int *types, int argc) {
    Node *unit = argc > 0 ? args[0] : nullptr;
    const char *name = nullptr;
    if (unit && unit->kind == NODE_COLUMN_REF) {
        auto *ref = node_cast<ColumnRefNode>(unit);
        if (!ref->table && ref->column) name = ref->column->text;
    } else if (unit && unit->kind == NODE_VALUE && node_cast<Value>(unit)->type == VT_CHAR) {
        name = node_cast<Value>(unit)->data.s;
    }
    if (!name) validation_error(c, "First argument to TIMESTAPADD must be a interval specifier");
    static const char *const kShort[] = {"SQL_TSI_FRAC_SECOND", "SQL_TSI_SECOND", "SQL_TSI_MINUTE", "SQL_TSI_HOUR"};
    static const char *const kLong[] = {"SQL_TSI_DAY", "SQL_TSI_WEEK", "SQL_TSI_MONTH", "SQL_TSI_QUARTER",
                                        "SQL_TSI_YEAR"};
    // The result is a timestamp whatever the third argument is: a date gets
    // midnight, a time the statement's date, as ODBC describes TIMESTAMPADD.
    for (const char *s : kShort)
        if (names_match(name, 0, s)) return SQL_TYPE_TIMESTAMP;
    for (const char *s : kLong)
        if (names_match(name, 0, s)) return SQL_TYPE_TIMESTAMP;
    (void)f;
    (void)types;
    (void)argc;
    validation_error(c, "First argument to TIMESTAPADD must be a interval specifier not '%s'", name);
}

int table_function_type(FunctionNode *f, Node *self, ValidationContext *c) {
    const ScalarFunction *e = f->entry ? f->entry : scalar_function_entry(f->code);
    if (!e) validation_error(c, "unknown function");
    Node *args[kMaxFunctionArgs] = {};
    int types[kMaxFunctionArgs] = {};
    int argc = 0;
    for (ListCell *cell = ListFirst(f->arguments ? f->arguments->list : nullptr); cell && argc < kMaxFunctionArgs;
         cell = ListNext(cell))
        args[argc++] = node_cast<Node>(ListData(cell));
    for (int i = 0; i < argc; i++) {
        int mask = i < e->argument_count ? e->argument_masks[i] & ~kMaskOptional : kMaskAny;
        if (!args[i] || (mask & kMaskKeyword)) continue;
        types[i] = expression_type(args[i], c);
        if (types[i] == 0 && is_param(args[i])) {
            int want = (mask & (kMaskChar | kMaskChar2)) ? SQL_VARCHAR
                       : (mask & kMaskInteger)           ? SQL_INTEGER
                       : (mask & kMaskDouble)            ? SQL_DOUBLE
                                                         : SQL_VARCHAR;
            type_parameter(c, args[i], nullptr, want);
            types[i] = expression_type(args[i], c);
            continue;
        }
        if (mask == kMaskAny || mask == 0) continue;
        if (!mask_allows(mask, types[i])) validation_error(c, "argument %d to %s() invalid type", i + 1, e->name);
    }
    if (f->code == kFnIfnull) {
        if (argc >= 2 && types[0] && types[1] && class_of(types[0]) != class_of(types[1]))
            validation_error(c, "incompatible types across ISNULL()");
        return types[0] ? types[0] : types[1];
    }
    if (f->code == kFnTimestampadd) return timestampadd_type(f, c, args, types, argc);
    ExtendedType d{};
    if (describe_expression(self, 3, &d) == 0 && type_class(d.sql_type) != kClassUnknown) return d.sql_type;
    return result_of_mask(e->result_mask, types[0]);
}

int like_type(LikeNode *l, ValidationContext *c) {
    int t = expression_type(l->operand, c);
    if (t == 0 && is_param(l->operand)) {
        type_parameter(c, l->operand, nullptr, SQL_VARCHAR);
        t = SQL_VARCHAR;
    }
    if (!is_char_type(t)) validation_error(c, "LIKE only applies to 'string' expressions");
    if (l->escape && is_param(l->escape)) type_parameter(c, l->escape, nullptr, SQL_VARCHAR);
    if (is_param(l->pattern) || (l->escape && is_param(l->escape))) {
        // Kept so that the markers of a LIKE (pattern or escape) are found
        // with their scope's.
        List *list = ListAppend(c->scope->param_likes, l, c->statement->parse_pool);
        if (!list) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
        c->scope->param_likes = list;
    }
    if (is_param(l->pattern)) {
        type_parameter(c, l->pattern, l->operand, t);
        return TYPE_COMPARABLE;
    }
    if (l->pattern && l->pattern->kind == NODE_VALUE &&
        (!l->escape || l->escape->kind == NODE_VALUE)) {
        const Value *p = node_cast<Value>(l->pattern);
        if (p->type == VT_CHAR || p->type == VT_LONG_CHAR) {
            Value *compiled = nullptr;
            const Value *esc = l->escape ? node_cast<Value>(l->escape) : nullptr;
            if (like_compile(p, esc, c->statement->parse_pool, &compiled) != 0)
                validation_error(c, "error in LIKE expressions");
            l->engine_data = compiled;
        }
    }
    return TYPE_COMPARABLE;
}

}  // namespace

int expression_type(Node *node, ValidationContext *c) {
    if (!node) return 0;
    switch (node->kind) {
        case NODE_COLUMN_REF: {
            auto *ref = node_cast<ColumnRefNode>(node);
            if (!ref->column_info) resolve_column(ref, c);
            return static_cast<const ColumnInfo *>(ref->column_info)->data_type;
        }
        case NODE_VALUE: {
            ExtendedType d{};
            const auto *v = node_cast<Value>(node);
            if (describe_value(v, 3, &d) == 0) return d.sql_type;
            if (v->type == VT_BIGINT) return SQL_BIGINT;
            return SQL_VARCHAR;
        }
        case NODE_PARAMETER: {
            int i = param_index(c, node);
            return c->statement->parameter_typed[i] ? c->statement->parameter_types[i].sql_type : 0;
        }
        case NODE_OPERATOR: return operator_type(node_cast<OperatorNode>(node), c);
        case NODE_EXISTS:
        case NODE_IS_NULL:
            if (node->kind == NODE_IS_NULL) {
                auto *n = node_cast<IsNullNode>(node);
                if (!is_param(n->operand)) (void)expression_type(n->operand, c);
                else type_parameter(c, n->operand, nullptr, SQL_VARCHAR);
            }
            return TYPE_COMPARABLE;
        case NODE_IN_SUBQUERY: {
            auto *in = node_cast<InSubqueryNode>(node);
            int t = expression_type(in->operand, c);
            if (in->subquery) {
                int s = subquery_type(c, in->subquery, "IN ( sub_query ) degree not one");
                if (t == 0 && is_param(in->operand)) type_parameter(c, in->operand, in->subquery, s);
                else if (class_of(s) != class_of(t)) validation_error(c, "type mismatch across IN predicate");
            } else {
                for (ListCell *cell = ListFirst(in->values ? in->values->list : nullptr); cell; cell = ListNext(cell)) {
                    auto *v = node_cast<Node>(ListData(cell));
                    if (is_param(v)) {
                        type_parameter(c, v, in->operand, t);
                        continue;
                    }
                    if (class_of(expression_type(v, c)) != class_of(t))
                        validation_error(c, "type mismatch across IN predicate");
                }
            }
            return TYPE_COMPARABLE;
        }
        case NODE_QUANTIFIED: {
            auto *q = node_cast<QuantifiedNode>(node);
            int t = expression_type(q->operand, c);
            int s = subquery_type(c, q->subquery, "Quantified predicate, degree not one");
            if (t == 0 && is_param(q->operand)) type_parameter(c, q->operand, q->subquery, s);
            else if (class_of(s) != class_of(t)) validation_error(c, "type mismatch across Quantified predicate");
            return TYPE_COMPARABLE;
        }
        case NODE_LIKE: return like_type(node_cast<LikeNode>(node), c);
        case NODE_NULLIF: {
            auto *n = node_cast<NullifNode>(node);
            int a = expression_type(n->first, c), b = expression_type(n->second, c);
            if (a == 0 && is_param(n->first)) {
                if (b == 0) validation_error(c, "Unmatched types in NULLIF");
                type_parameter(c, n->first, n->second, b);
                a = b;
            } else if (b == 0 && is_param(n->second)) {
                type_parameter(c, n->second, n->first, a);
                b = a;
            }
            if (class_of(a) != class_of(b)) validation_error(c, "Unmatched types in NULLIF");
            return a;
        }
        case NODE_COALESCE: return coalesce_type(node_cast<CoalesceNode>(node), node, c);
        case NODE_CASE: return case_type(node_cast<CaseNode>(node), node, c);
        case NODE_AGGREGATE: return aggregate_type(node_cast<AggregateNode>(node), c);
        case NODE_FUNCTION: {
            auto *f = node_cast<FunctionNode>(node);
            return f->code < 0 ? builtin_type(f, c) : table_function_type(f, node, c);
        }
        case NODE_CAST: {
            auto *k = node_cast<CastNode>(node);
            if (k->operand && !is_param(k->operand)) (void)expression_type(k->operand, c);
            else if (k->operand) type_parameter(c, k->operand, nullptr, k->target->sql_type);
            return k->target->sql_type;
        }
        case NODE_QUERY_SPEC: return subquery_type(c, node, "op ( sub_query ) degree not one");
        default: validation_error(c, "unexpected expression");
    }
}
