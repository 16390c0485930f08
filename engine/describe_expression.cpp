// describe_expression: the description of any expression node, by node kind.
//
// Trees may be kMaxTreeDepth nodes deep, so the recursion keeps its frames
// small: the descriptions of operands live in a scratch deque owned by the
// call (references into a deque stay valid as it grows), and chains of
// binary operators down the left side (a + b + c ..., a || b || c ...) are
// folded in a loop rather than by recursion.
#include "engine/describe_expression.h"

#include <cstring>
#include <deque>
#include <new>
#include <vector>

#include "engine/column_info.h"
#include "engine/functions.h"
#include "sql/parse_tree.h"
#include "support/numeric.h"

namespace {

struct Describer {
    int odbc_version;
    std::deque<ExtendedType> scratch;
    size_t used = 0;

    // A scratch description valid until release(mark) with an earlier mark.
    ExtendedType *take() {
        if (used == scratch.size()) scratch.emplace_back();
        return &scratch[used++];
    }
    void release(size_t mark) { used = mark; }
};

int describe(Describer &d, const Node *node, ExtendedType *out);

bool is_parameter(const Node *n) { return n && n->kind == NODE_PARAMETER; }

// Describes both operands of a binary operator; a parameter of unknown type
// takes the description of the other side.
int describe_operands(Describer &d, const Node *left, const Node *right, ExtendedType *l,
                      ExtendedType *r) {
    int lr = describe(d, left, l);
    if (lr == kDescribeNoMemory) return lr;
    int rr = describe(d, right, r);
    if (rr == kDescribeNoMemory) return rr;
    if (lr != 0 && rr == 0 && is_parameter(left)) {
        *l = *r;
        lr = 0;
    }
    if (rr != 0 && lr == 0 && is_parameter(right)) {
        *r = *l;
        rr = 0;
    }
    return lr == 0 && rr == 0 ? 0 : -1;
}

// Characters an operand contributes when it is joined as text: a number or a
// date shows as its display form.
ExtendedType as_text_part(const ExtendedType *t) {
    ExtendedType c = *t;
    if (type_class(t->sql_type) != kClassCharacter) c.length = t->display_size;
    return c;
}

// One binary operator applied to described operands; result into *out.
int apply_operator(int op, const ExtendedType *l, const ExtendedType *r, ExtendedType *out) {
    ExtendedType res;
    int t = combine_types(l, r, op, &res);
    if (t == TYPE_COMPARABLE || t == TYPE_INCOMPATIBLE) return -1;
    // || (and + on text, which evaluates as ||) yields both texts: the
    // lengths add up. The kind is the one the combination rule gives (1 || 'a'
    // is VARCHAR), so the description agrees with validation.
    if ((op == OP_CONCAT || (op == OP_ADD && is_short_char_type(t))) && t != SQL_LONGVARCHAR) {
        ExtendedType lt = as_text_part(l), rt = as_text_part(r), joined;
        describe_concat(&lt, &rt, &joined);
        res.length = joined.length;
        res.display_size = joined.display_size;
        res.column_size = joined.column_size;
    }
    *out = res;
    return 0;
}

bool is_binary_arith(const Node *n) {
    if (!n || n->kind != NODE_OPERATOR) return false;
    const auto *o = node_cast<OperatorNode>(n);
    return o->op_class == OPCLASS_OPERATOR && o->op != OP_NEG && is_arithmetic_op(o->op);
}

int describe_operator(Describer &d, const OperatorNode *top, ExtendedType *out) {
    if (top->op_class != OPCLASS_OPERATOR || !is_arithmetic_op(top->op)) return -1;
    if (top->op == OP_NEG) {
        ExtendedType *r = d.take();
        int rc = describe(d, top->right, r);
        if (rc != 0) return rc;
        // Unary minus keeps its operand's type, and is undefined for the
        // kinds the rule refuses.
        if (check_type_combination(0, r->sql_type, OP_NEG) == TYPE_INCOMPATIBLE) return -1;
        *out = *r;
        return 0;
    }
    // Walk down the left spine of binary operators, then fold back up.
    std::vector<const OperatorNode *> spine;
    for (const Node *n = reinterpret_cast<const Node *>(top); is_binary_arith(n);
         n = node_cast<OperatorNode>(n)->left)
        spine.push_back(node_cast<OperatorNode>(n));
    const OperatorNode *bottom = spine.back();
    ExtendedType *acc = d.take();
    ExtendedType *r = d.take();
    ExtendedType *tmp = d.take();
    int rc = describe_operands(d, bottom->left, bottom->right, acc, r);
    if (rc != 0) return rc;
    if (apply_operator(bottom->op, acc, r, tmp) != 0) return -1;
    *acc = *tmp;
    for (size_t i = spine.size() - 1; i-- > 0;) {
        const OperatorNode *o = spine[i];
        rc = describe(d, o->right, r);
        if (rc == kDescribeNoMemory) return rc;
        if (rc != 0) {
            if (!is_parameter(o->right)) return -1;
            *r = *acc;
        }
        if (apply_operator(o->op, acc, r, tmp) != 0) return -1;
        *acc = *tmp;
    }
    *out = *acc;
    return 0;
}

// CASE and COALESCE: every result is described; the undescribed ones (a
// parameter) are left out of the combination.
int describe_results(Describer &d, const std::vector<const Node *> &nodes, ExtendedType *out) {
    std::vector<const ExtendedType *> results(nodes.size(), nullptr);
    bool any = false;
    for (size_t i = 0; i < nodes.size(); i++) {
        if (!nodes[i]) continue;
        ExtendedType *t = d.take();
        int rc = describe(d, nodes[i], t);
        if (rc == kDescribeNoMemory) return rc;
        if (rc == 0) {
            results[i] = t;
            any = true;
        }
    }
    if (!any) return -1;
    describe_case(results.data(), static_cast<int>(results.size()), out);
    return 0;
}

int describe_case_node(Describer &d, const CaseNode *c, ExtendedType *out) {
    std::vector<const Node *> nodes;
    if (c->whens)
        for (ListCell *cell = ListFirst(c->whens->list); cell; cell = ListNext(cell)) {
            const auto *w = static_cast<const Node *>(ListData(cell));
            if (w && w->kind == NODE_WHEN) nodes.push_back(node_cast<WhenNode>(w)->result);
        }
    if (c->else_result) nodes.push_back(c->else_result);
    return describe_results(d, nodes, out);
}

int describe_coalesce(Describer &d, const CoalesceNode *c, ExtendedType *out) {
    std::vector<const Node *> nodes;
    if (c->arguments)
        for (ListCell *cell = ListFirst(c->arguments->list); cell; cell = ListNext(cell))
            nodes.push_back(static_cast<const Node *>(ListData(cell)));
    return describe_results(d, nodes, out);
}

int describe_aggregate(Describer &d, const AggregateNode *a, ExtendedType *out) {
    SetFunctionKind kind;
    switch (a->code) {
    case AGG_COUNT:
    case AGG_COUNT_STAR: describe_set_function(SetFunctionKind::kCount, nullptr, out); return 0;
    case AGG_SUM: kind = SetFunctionKind::kSum; break;
    case AGG_AVG: kind = SetFunctionKind::kAvg; break;
    case AGG_MIN: kind = SetFunctionKind::kMin; break;
    case AGG_MAX: kind = SetFunctionKind::kMax; break;
    case AGG_FIRST:
    case AGG_LAST: kind = SetFunctionKind::kInternal; break;
    default: return -1;
    }
    // Without its argument's description a set function has none: SUM and
    // AVG of an unknown kind could be numeric or an interval.
    ExtendedType *arg = d.take();
    int rc = describe(d, a->distinct ? a->distinct_column : a->argument, arg);
    if (rc != 0) return rc;
    describe_set_function(kind, arg, out);
    return 0;
}

// The value of an integer literal argument (REPEAT's and SPACE's counts), or -1.
int64_t literal_count(const Node *n) {
    if (!n || n->kind != NODE_VALUE) return -1;
    const auto *v = node_cast<Value>(n);
    if (v->is_null) return -1;
    if (v->type == VT_INTEGER) return v->data.i;
    if (v->type == VT_BIGINT) return v->data.big;
    int64_t big = 0;
    if (v->type == VT_NUMERIC && v->data.num.scale == 0 && numeric_to_bigint(&v->data.num, &big) == kNumOk)
        return v->data.num.sign ? big : -big;
    return -1;
}

int describe_function(Describer &d, const FunctionNode *f, ExtendedType *out) {
    const ExtendedType *args[kMaxFunctionArgs] = {};
    int64_t counts[kMaxFunctionArgs];
    int argc = 0;
    auto add = [&](const Node *n, bool typed) -> int {
        if (argc >= kMaxFunctionArgs) return 0;
        counts[argc] = typed ? literal_count(n) : -1;
        args[argc] = nullptr;
        if (n && typed) {
            ExtendedType *t = d.take();
            int rc = describe(d, n, t);
            if (rc == kDescribeNoMemory) return rc;
            if (rc == 0) args[argc] = t;
        }
        argc++;
        return 0;
    };
    if (f->code < 0) {
        const Node *first = f->operand1;
        // TRIM's operand holds its side and trim character; the trimmed text is its source.
        if (first && first->kind == NODE_TRIM_SPEC) first = node_cast<TrimSpecNode>(first)->source;
        const Node *ops[3] = {first, f->operand2, f->operand3};
        for (const Node *n : ops)
            if (add(n, true) != 0) return kDescribeNoMemory;
    } else {
        const ScalarFunction *entry = f->entry ? f->entry : scalar_function_entry(f->code);
        if (f->arguments)
            for (ListCell *cell = ListFirst(f->arguments->list); cell; cell = ListNext(cell)) {
                // Unit names and format specifiers are words, not values.
                bool typed = !(entry && argc < entry->argument_count &&
                               (entry->argument_masks[argc] & kMaskKeyword));
                if (add(static_cast<const Node *>(ListData(cell)), typed) != 0) return kDescribeNoMemory;
            }
    }
    return describe_scalar_function(f->code, argc, args, counts, out);
}

// A query used as an expression: the description the validator recorded for
// its single result column.
int describe_subquery(const Node *n, ExtendedType *out) {
    while (n && n->kind == NODE_UNION) {
        const auto *u = node_cast<UnionNode>(n);
        n = u->single ? u->single : u->left;
    }
    if (!n || n->kind != NODE_QUERY_SPEC) return -1;
    const ExtendedType *t = node_cast<QuerySpecNode>(n)->result_description;
    if (!t) return -1;
    *out = *t;
    return 0;
}

int describe(Describer &d, const Node *node, ExtendedType *out) {
    if (!node) return -1;
    const size_t mark = d.used;
    int rc = -1;
    switch (node->kind) {
    case NODE_COLUMN_REF: {
        const auto *c = node_cast<ColumnRefNode>(node);
        if (c->description) {
            *out = *c->description;
            rc = 0;
        } else {
            rc = describe_column_info(static_cast<const ColumnInfo *>(c->column_info), out);
        }
        break;
    }
    case NODE_VALUE: rc = describe_value(node_cast<Value>(node), d.odbc_version, out); break;
    case NODE_CAST: {
        CastTarget target;
        const auto *c = node_cast<CastNode>(node);
        if (!c->target) break;
        cast_target_of(c->target, &target);
        rc = describe_cast(&target, d.odbc_version, out);
        break;
    }
    case NODE_OPERATOR: rc = describe_operator(d, node_cast<OperatorNode>(node), out); break;
    case NODE_CASE: rc = describe_case_node(d, node_cast<CaseNode>(node), out); break;
    case NODE_NULLIF: {
        const auto *n = node_cast<NullifNode>(node);
        rc = describe(d, n->first, out);
        if (rc == -1 && is_parameter(n->first)) rc = describe(d, n->second, out);
        break;
    }
    case NODE_COALESCE: rc = describe_coalesce(d, node_cast<CoalesceNode>(node), out); break;
    case NODE_AGGREGATE: rc = describe_aggregate(d, node_cast<AggregateNode>(node), out); break;
    case NODE_FUNCTION: rc = describe_function(d, node_cast<FunctionNode>(node), out); break;
    case NODE_QUERY_SPEC:
    case NODE_UNION: rc = describe_subquery(node, out); break;
    default: break;
    }
    d.release(mark);
    return rc;
}

// Copies a provider text into a shorter field, cut to fit and terminated.
void put_text(char *to, const char *from, size_t size) {
    size_t n = strnlen(from, size - 1);
    std::memcpy(to, from, n);
    to[n] = '\0';
}

}  // namespace

int describe_expression(const Node *node, int odbc_version, ExtendedType *out) {
    try {
        Describer d{odbc_version == 2 ? 2 : 3, {}, 0};
        ExtendedType result;
        int rc = describe(d, node, &result);
        if (rc == 0) *out = result;
        return rc;
    } catch (const std::bad_alloc &) {
        return kDescribeNoMemory;
    }
}

int describe_column_info(const ColumnInfo *info, ExtendedType *out) {
    if (!info) return -1;
    ExtendedType t;
    if (type_template(info->data_type, &t) != 0) t = ExtendedType{};
    t.sql_type = info->data_type;
    t.subcode = info->datetime_subcode;
    if (info->data_type >= 101 && info->data_type <= 113) t.subcode = info->data_type - 100;
    if (info->interval_precision > 0) t.interval_precision = info->interval_precision;
    t.display_size = info->display_size;
    put_text(t.literal_prefix, info->literal_prefix, sizeof t.literal_prefix);
    put_text(t.literal_suffix, info->literal_suffix, sizeof t.literal_suffix);
    put_text(t.local_name, info->local_type_name, sizeof t.local_name);
    put_text(t.type_name, info->type_name, sizeof t.type_name);
    put_text(t.create_params, info->create_params, sizeof t.create_params);
    t.nullable = info->nullable;
    t.radix = info->radix;
    t.length = info->octet_length;
    t.precision = info->precision;
    t.scale = info->scale;
    t.auto_unique = info->auto_increment;
    t.verbose_type = info->verbose_type;
    t.searchable = info->searchable;
    t.case_sensitive = info->case_sensitive;
    t.unsigned_flag = info->is_unsigned;
    t.updatable = info->updatable;
    const int cls = type_class(info->data_type);
    if (cls == kClassCharacter || cls == kClassBinary) t.column_size = info->octet_length;
    *out = t;
    return 0;
}

void cast_target_of(const DataTypeNode *type, CastTarget *out) {
    *out = CastTarget{type->sql_type, 0, -1, -1, 0, -1};
    switch (type->sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY: out->length = type->length > 0 ? type->length : 0; break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        if (type->precision_scale) {
            out->precision = type->precision_scale->precision;
            out->scale = type->precision_scale->scale;
        }
        break;
    case SQL_FLOAT:
    case 10:
    case 92:
    case 11:
    case 93:
        // The parser writes 0 for an absent precision; TIME(0) describes as
        // TIME does.
        if (type->length > 0) out->precision = type->length;
        break;
    default:
        if (type->sql_type >= 101 && type->sql_type <= 113) {
            out->leading_precision = type->length > 0 ? type->length : 0;
            if (type->precision_scale && type->precision_scale->scale > 0)
                out->seconds_precision = type->precision_scale->scale;
            else if (type->seconds_precision > 0)
                out->seconds_precision = type->seconds_precision;
        }
        break;
    }
}
