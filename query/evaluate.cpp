// evaluate_expression and evaluate_condition: dispatch by node kind,
// three-valued logic, CASE, NULLIF, COALESCE, IS NULL, LIKE, casts and
// scalar function calls. Sub-query predicates are in subquery.cpp.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/cast.h"
#include "engine/describe_expression.h"
#include "engine/functions.h"
#include "engine/like.h"
#include "engine/materialise.h"
#include "query/evaluate.h"
#include "query/group.h"
#include "query/scan.h"
#include "query/subquery.h"
#include "support/diag.h"
#include "support/value_ops.h"

namespace {

int and_table(int a, int b) {
    if (a == kFalse || b == kFalse) return kFalse;
    if (a == kTrue && b == kTrue) return kTrue;
    return kUnknown;
}
int or_table(int a, int b) {
    if (a == kTrue || b == kTrue) return kTrue;
    if (a == kFalse && b == kFalse) return kFalse;
    return kUnknown;
}
int not_table(int a) { return a == kTrue ? kFalse : a == kFalse ? kTrue : kUnknown; }

Value *truth_value(EvalContext *c, int truth) {
    Value *v = new_row_value(c, VT_BIT);
    set_trivalue_in_value(v, truth);
    return v;
}

Value *column_value(ColumnRefNode *ref, EvalContext *c) { return row_column_value(ref, c); }

Value *parameter_value(ParameterNode *p, EvalContext *c) {
    QueryStatement *st = c->statement;
    if (p->number < 1 || p->number > st->param_value_count || !st->params[p->number - 1])
        raise_evaluation_error(c, "HY000", "Parameter not bound");
    return st->params[p->number - 1];
}

CastTarget target_of_type(const ExtendedType &t) {
    CastTarget target{};
    target.sql_type = t.sql_type;
    target.length = t.column_size > 0 ? t.column_size : 0;
    target.precision = t.precision > 0 ? t.precision : -1;
    target.scale = t.scale;
    target.leading_precision = t.interval_precision;
    target.seconds_precision = -1;
    return target;
}

Value *cast_to(const Value *in, const CastTarget &target, EvalContext *c) {
    CastTarget t = target;
    Value *out = nullptr;
    if (cast_value(&t, &c->statement->env, in, &out) != 0 || !out) raise_posted(c);
    return out;
}

// The value of a CASE result: a result whose type differs from the CASE's
// is cast, so a column never mixes value types.
Value *case_result(Node *self, Node *result, EvalContext *c) {
    Value *v = result ? evaluate_expression(result, c) : nullptr;
    ExtendedType t{};
    if (describe_expression(self, 3, &t) != 0) {
        if (v) return v;
        Value *n = new_row_value(c, VT_CHAR);
        set_value_null(n, VT_CHAR);
        return n;
    }
    uint32_t want = value_type_for_sql_type(t.sql_type, nullptr);
    if (v && v->type == want) return v;
    if (!v) {
        Value *n = new_row_value(c, want ? want : VT_CHAR);
        set_value_null(n, want ? want : VT_CHAR);
        return n;
    }
    CastTarget target = target_of_type(t);
    if (is_char_value_type(want) && !v->is_null) target.length = 0;  // keeps the value's own length
    return cast_to(v, target, c);
}

Value *evaluate_case(CaseNode *k, Node *self, EvalContext *c) {
    Value *operand = k->operand ? evaluate_expression(k->operand, c) : nullptr;
    for (ListCell *cell = ListFirst(k->whens ? k->whens->list : nullptr); cell; cell = ListNext(cell)) {
        auto *w = node_cast<WhenNode>(ListData(cell));
        bool hit;
        if (operand) {
            Value *x = evaluate_expression(w->condition, c);
            hit = compare_values_op(operand, x, OP_EQ, c) == kTrue;
        } else {
            hit = evaluate_condition(w->condition, c) == kTrue;
        }
        if (hit) return case_result(self, w->result, c);
    }
    return case_result(self, k->else_result, c);
}

Value *evaluate_nullif(NullifNode *n, EvalContext *c) {
    Value *a = evaluate_expression(n->first, c);
    Value *b = evaluate_expression(n->second, c);
    if (compare_values_op(a, b, OP_EQ, c) != kTrue) return a;
    Value *copy = duplicate_value(a, c->statement->row_pool);
    if (!copy) raise_evaluation_error(c, "HY001", "Memory allocation error");
    copy->is_null = -1;
    return copy;
}

Value *evaluate_coalesce(CoalesceNode *k, EvalContext *c) {
    Value *last = nullptr;
    for (ListCell *cell = ListFirst(k->arguments ? k->arguments->list : nullptr); cell; cell = ListNext(cell)) {
        last = evaluate_expression(node_cast<Node>(ListData(cell)), c);
        if (!last->is_null) return last;
    }
    if (!last) {
        last = new_row_value(c, VT_CHAR);
        set_value_null(last, VT_CHAR);
    }
    return last;
}

int evaluate_like(LikeNode *l, EvalContext *c) {
    Value *subject = evaluate_expression(l->operand, c);
    if (subject->is_null) return kUnknown;
    const Value *compiled = static_cast<const Value *>(l->engine_data);
    if (!compiled || l->pattern->kind != NODE_VALUE) {
        Value *pattern = evaluate_expression(l->pattern, c);
        // A NULL pattern makes LIKE and NOT LIKE unknown, as any comparison
        // with NULL: a row never qualifies for both.
        if (pattern->is_null) return kUnknown;
        Value *escape = l->escape ? evaluate_expression(l->escape, c) : nullptr;
        Value *made = nullptr;
        if (!is_char_value_type(pattern->type) ||
            like_compile(pattern, escape, c->statement->row_pool, &made) != 0 || !made)
            raise_evaluation_error(c, "HY000", "Error in parameterised like");
        compiled = made;
    }
    if (compiled->is_null) return kUnknown;
    int m = like_match(compiled, subject);
    return (m != 0) != (l->negated != 0) ? kTrue : kFalse;
}

// The right operands of a left-deep chain of one boolean class (IN lists
// and long AND / OR texts are such chains), top first; the chain's bottom
// left operand in *leaf. Walked in a loop, so a long list costs no stack.
class Spine {
public:
    Spine(OperatorNode *top, int op_class) {
        Node *n = reinterpret_cast<Node *>(top);
        while (n->kind == NODE_OPERATOR && node_cast<OperatorNode>(n)->op_class == op_class) {
            auto *o = node_cast<OperatorNode>(n);
            push(o->right);
            n = o->left;
        }
        leaf = n;
    }
    int size() const { return count_; }
    Node *at(int i) const { return i < kInline ? inline_[i] : more_[static_cast<size_t>(i - kInline)]; }
    Node *leaf = nullptr;

private:
    void push(Node *n) {
        if (count_ < kInline) inline_[count_] = n;
        else more_.push_back(n);
        count_++;
    }
    static constexpr int kInline = 32;
    Node *inline_[kInline];
    std::vector<Node *> more_;
    int count_ = 0;
};

// AND / OR over a chain, left to right, stopping at the first operand that
// decides it.
int evaluate_chain(OperatorNode *o, EvalContext *c) {
    const bool is_and = o->op_class == OPCLASS_AND;
    Spine spine(o, o->op_class);
    int truth = evaluate_condition(spine.leaf, c);
    for (int i = spine.size() - 1; i >= 0; i--) {
        if (is_and && truth == kFalse) return kFalse;
        if (!is_and && truth == kTrue) return kTrue;
        int next = evaluate_condition(spine.at(i), c);
        truth = is_and ? and_table(truth, next) : or_table(truth, next);
    }
    return truth;
}

int evaluate_operator_condition(OperatorNode *o, EvalContext *c) {
    switch (o->op_class) {
        case OPCLASS_NOT: return not_table(evaluate_condition(o->right, c));
        case OPCLASS_AND:
        case OPCLASS_OR: return evaluate_chain(o, c);
        case OPCLASS_OPERATOR:
            if (is_comparison_op(o->op)) {
                Value *l = evaluate_expression(o->left, c);
                if (o->right && o->right->kind == NODE_QUERY_SPEC)
                    return subquery_compare(node_cast<QuerySpecNode>(o->right), l, o->op, c);
                Value *r = evaluate_expression(o->right, c);
                return compare_values_op(l, r, o->op, c);
            }
            return get_trivalue_from_value(evaluate_expression(reinterpret_cast<Node *>(o), c));
        default: raise_evaluation_error(c, "HY000", "Unexpected bool expression");
    }
}

bool is_binary_arithmetic(const Node *n) {
    if (!n || n->kind != NODE_OPERATOR) return false;
    const auto *o = node_cast<OperatorNode>(n);
    return o->op_class == OPCLASS_OPERATOR && is_arithmetic_op(o->op) && o->op != OP_NEG;
}

// a + b - c * ...: the left spine of binary arithmetic evaluated bottom up
// in a loop.
Value *evaluate_arithmetic_chain(OperatorNode *top, EvalContext *c) {
    OperatorNode *inline_nodes[32];
    std::vector<OperatorNode *> more;
    int count = 0;
    Node *n = reinterpret_cast<Node *>(top);
    while (is_binary_arithmetic(n)) {
        auto *o = node_cast<OperatorNode>(n);
        if (count < 32) inline_nodes[count] = o;
        else more.push_back(o);
        count++;
        n = o->left;
    }
    Value *acc = evaluate_expression(n, c);
    for (int i = count - 1; i >= 0; i--) {
        OperatorNode *o = i < 32 ? inline_nodes[i] : more[static_cast<size_t>(i - 32)];
        Value *r = evaluate_expression(o->right, c);
        acc = apply_arithmetic(acc, r, o->op, c);
    }
    return acc;
}

Value *evaluate_function(FunctionNode *f, Node *self, EvalContext *c) {
    QueryStatement *st = c->statement;
    Value *args[kMaxFunctionArgs] = {};
    int argc = 0;
    if (f->code < 0) {
        if (f->code == FN_TRIM) {
            Node *src = f->operand1;
            int side = 0;
            char trim_char = ' ';
            if (src && src->kind == NODE_TRIM_SPEC) {
                auto *t = node_cast<TrimSpecNode>(src);
                side = t->side;
                if (t->character) {
                    Value *ch = evaluate_expression(t->character, c);
                    size_t n = 0;
                    char *text = ch->is_null ? nullptr : value_text_in_pool(ch, st->row_pool, &n);
                    if (text && n > 0) trim_char = text[0];
                }
                src = t->source;
            }
            Value *source = evaluate_expression(src, c);
            Value *out = nullptr;
            if (trim_value(&st->env, side, trim_char, source, &out) != 0 || !out) raise_posted(c);
            return out;
        }
        Node *ops[3] = {f->operand1, f->operand2, f->operand3};
        for (Node *n : ops)
            if (n) args[argc++] = evaluate_expression(n, c);
    } else {
        const ScalarFunction *e = f->entry ? f->entry : scalar_function_entry(f->code);
        if (!e) raise_evaluation_error(c, "HY000", "Unexpected type in eval expr");
        for (ListCell *cell = ListFirst(f->arguments ? f->arguments->list : nullptr);
             cell && argc < kMaxFunctionArgs; cell = ListNext(cell)) {
            auto *n = node_cast<Node>(ListData(cell));
            int mask = argc < e->argument_count ? e->argument_masks[argc] : 0;
            if ((mask & kMaskKeyword) && n && n->kind == NODE_COLUMN_REF) {
                // A keyword argument arrives as the name written.
                auto *ref = node_cast<ColumnRefNode>(n);
                Value *v = new_row_value(c, VT_CHAR);
                const char *text = ref->column ? ref->column->text : "";
                if (set_value_text(v, text, std::strlen(text)) != 0)
                    raise_evaluation_error(c, "HY001", "Memory allocation error");
                args[argc++] = v;
                continue;
            }
            args[argc++] = n ? evaluate_expression(n, c) : nullptr;
        }
    }
    (void)self;
    Value *out = nullptr;
    if (call_scalar_function(f->code, &st->env, argc, args, &out) != 0 || !out) raise_posted(c);
    return out;
}

}  // namespace

void raise_evaluation_error(EvalContext *c, const char *sqlstate, const char *format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    ErrorHeader *diag = c->statement->diag;
    SetReturnCode(diag, SQL_ERROR);
    PostError(diag, 2, 0, 0, 0, 0, "ODBC3.0", sqlstate, "%s", message);
    throw QueryFailure{-1};
}

void raise_posted(EvalContext *) { throw QueryFailure{-1}; }

Value *new_row_value(EvalContext *c, uint32_t type) {
    constexpr int32_t kChunk = 64;
    QueryStatement *st = c->statement;
    int32_t chunk = st->scratch_used / kChunk;
    if (chunk >= st->scratch_chunk_count) {
        if (st->scratch_chunk_count >= 4096) {  // a runaway expression: plain pool values
            Value *v = new_value_of_type(st->row_pool, type);
            if (!v) raise_evaluation_error(c, "HY001", "Memory allocation error");
            return v;
        }
        auto **grown = pool_new_array<Value *>(st->exec_pool, static_cast<size_t>(chunk + 1));
        Value *values = pool_new_array<Value>(st->exec_pool, kChunk);
        if (!grown || !values) raise_evaluation_error(c, "HY001", "Memory allocation error");
        for (int32_t i = 0; i < st->scratch_chunk_count; i++) grown[i] = st->scratch_chunks[i];
        grown[chunk] = values;
        st->scratch_chunks = grown;
        st->scratch_chunk_count = chunk + 1;
    }
    Value *v = &st->scratch_chunks[chunk][st->scratch_used % kChunk];
    st->scratch_used++;
    // A copy of a static blank value: cheaper per row than zeroing in place.
    static const Value kBlank{};
    std::memcpy(static_cast<void *>(v), &kBlank, sizeof(Value));
    v->kind = kValueNodeKind;
    v->type = type;
    v->pool = st->row_pool;
    return v;
}

int evaluate_condition(Node *node, EvalContext *c) {
    if (!node) return kUnknown;
    switch (node->kind) {
        case NODE_OPERATOR: return evaluate_operator_condition(node_cast<OperatorNode>(node), c);
        case NODE_IS_NULL: {
            auto *n = node_cast<IsNullNode>(node);
            bool null = evaluate_expression(n->operand, c)->is_null != 0;
            return (null != (n->negated != 0)) ? kTrue : kFalse;
        }
        case NODE_LIKE: return evaluate_like(node_cast<LikeNode>(node), c);
        case NODE_EXISTS: {
            auto *e = node_cast<ExistsNode>(node);
            int found = subquery_exists(node_cast<QuerySpecNode>(e->subquery), c);
            return (found != 0) != (e->negated != 0) ? kTrue : kFalse;
        }
        case NODE_IN_SUBQUERY: return subquery_in(node_cast<InSubqueryNode>(node), c);
        case NODE_QUANTIFIED: return subquery_quantified(node_cast<QuantifiedNode>(node), c);
        default: return get_trivalue_from_value(evaluate_expression(node, c));
    }
}

Value *evaluate_expression(Node *node, EvalContext *c) {
    if (!node) {
        Value *v = new_row_value(c, VT_CHAR);
        set_value_null(v, VT_CHAR);
        return v;
    }
    switch (node->kind) {
        case NODE_COLUMN_REF: return column_value(node_cast<ColumnRefNode>(node), c);
        case NODE_VALUE: {
            auto *v = node_cast<Value>(node);
            if (is_plain_value_type(v->type)) return v;
            Value *m = materialise_value(v, &c->statement->env);
            if (!m) raise_evaluation_error(c, "HY001", "Memory allocation error");
            return m;
        }
        case NODE_PARAMETER: return parameter_value(node_cast<ParameterNode>(node), c);
        case NODE_OPERATOR: {
            auto *o = node_cast<OperatorNode>(node);
            if (o->op_class != OPCLASS_OPERATOR || is_comparison_op(o->op))
                return truth_value(c, evaluate_operator_condition(o, c));
            if (o->op != OP_NEG) return evaluate_arithmetic_chain(o, c);
            return apply_arithmetic(nullptr, evaluate_expression(o->right, c), OP_NEG, c);
        }
        case NODE_IS_NULL:
        case NODE_LIKE:
        case NODE_EXISTS:
        case NODE_IN_SUBQUERY:
        case NODE_QUANTIFIED: return truth_value(c, evaluate_condition(node, c));
        case NODE_CAST: {
            auto *k = node_cast<CastNode>(node);
            Value *in = k->operand ? evaluate_expression(k->operand, c) : nullptr;
            if (!in) {
                in = new_row_value(c, VT_CHAR);
                set_value_null(in, VT_CHAR);
            }
            CastTarget target{};
            cast_target_of(k->target, &target);
            return cast_to(in, target, c);
        }
        case NODE_FUNCTION: return evaluate_function(node_cast<FunctionNode>(node), node, c);
        case NODE_CASE: return evaluate_case(node_cast<CaseNode>(node), node, c);
        case NODE_NULLIF: return evaluate_nullif(node_cast<NullifNode>(node), c);
        case NODE_COALESCE: return evaluate_coalesce(node_cast<CoalesceNode>(node), c);
        case NODE_QUERY_SPEC: return subquery_value(node_cast<QuerySpecNode>(node), c);
        case NODE_AGGREGATE: return aggregate_value(node_cast<AggregateNode>(node), c);
        default: raise_evaluation_error(c, "HY000", "Unexpected type in eval expr");
    }
}
