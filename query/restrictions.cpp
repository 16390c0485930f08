// Restriction candidates and the restrictions passed when a scan opens.
//
// A restriction only lets the provider drop rows early; the engine checks
// the whole condition on every row it gets back. So a restriction may be
// left out whenever passing it could lose a row: a value that does not
// convert exactly to the column's type, a NULL value, a LIKE the provider
// cannot take whose prefix holds letters (LIKE ignores case, a byte range
// does not).
#include <cstring>
#include <vector>

#include "engine/cast.h"
#include "engine/describe_expression.h"
#include "engine/like.h"
#include "query/restrictions.h"
#include "sql/walker.h"
#include "support/long_buffer.h"
#include "support/value_ops.h"

namespace {

constexpr int kCapNoValue = 1;
constexpr int kCapLike = 2;
constexpr int kCapNullTest = 4;

struct PlanColumns {
    const ExecPlan *plan;
    bool values_only;
    void (*on_column)(const TableSlot *slot, void *arg);
    void *arg;
};

int plan_columns_visit(Node *node, void *arg) {
    auto *w = static_cast<PlanColumns *>(arg);
    switch (node->kind) {
        case NODE_COLUMN_REF: {
            auto *ref = node_cast<ColumnRefNode>(node);
            if (!scope_owns(w->plan->scope, ref->scope)) return 0;  // an enclosing query's row: fixed here
            w->on_column(static_cast<const TableSlot *>(ref->table_slot), w->arg);
            return 0;
        }
        case NODE_QUERY_SPEC:
        case NODE_EXISTS:
        case NODE_IN_SUBQUERY:
        case NODE_QUANTIFIED:
        case NODE_AGGREGATE:
            return 1;
        case NODE_LIKE:
        case NODE_IS_NULL:
        case NODE_CASE:
            return w->values_only ? 1 : 0;
        default: return 0;
    }
}

struct DependsArg {
    const ExecPlan *plan;
    int index;      // scans at this position or inner make the expression dependent
    const uint8_t *bound;  // or, when set: the scans whose rows are current
    bool dependent;
};

void depends_on(const TableSlot *slot, void *arg) {
    auto *d = static_cast<DependsArg *>(arg);
    const int at = slot->position - 1;
    if (d->bound) {
        if (at == d->index || !d->bound[at]) d->dependent = true;
        return;
    }
    // With a chosen join order, the scans nested inside this one (or this
    // one) are those of equal or higher rank.
    if (d->plan->rank ? d->plan->rank[at] >= d->plan->rank[d->index] : at >= d->index) d->dependent = true;
}

// A scalar sub-query that refers to no enclosing query: one value for the
// whole execution (read once, its answer kept).
bool uncorrelated_subquery(const Node *expr) {
    if (!expr || expr->kind != NODE_QUERY_SPEC) return false;
    const auto *scope = static_cast<const QueryScope *>(node_cast<QuerySpecNode>(expr)->scope);
    return scope && !scope->correlated;
}

bool independent(ExecPlan *plan, int index, Node *expr, const uint8_t *bound) {
    if (!expr) return false;
    if (uncorrelated_subquery(expr)) return true;
    DependsArg d{plan, index, bound, false};
    return walk_plan_columns(plan, expr, true, depends_on, &d) && !d.dependent;
}

// The column of scan `index` that `n` references directly, or 0.
int own_column(ExecPlan *plan, int index, Node *n) {
    if (!n || n->kind != NODE_COLUMN_REF) return 0;
    auto *ref = node_cast<ColumnRefNode>(n);
    if (!scope_owns(plan->scope, ref->scope) || ref->outer_reference) return 0;
    auto *slot = static_cast<TableSlot *>(ref->table_slot);
    if (slot != plan->scans[index].slot) return 0;
    return ref->column_position;
}

int flipped(int op) {
    switch (op) {
        case OP_LT: return OP_GT;
        case OP_GT: return OP_LT;
        case OP_LE: return OP_GE;
        case OP_GE: return OP_LE;
        default: return op;
    }
}

// The operands of the AND tree at `top` appended to the list `out`.
void conjuncts(Node *top, List **out, CvPool *pool, EvalContext *c) {
    std::vector<Node *> parts;
    split_conjuncts(top, parts);
    for (Node *n : parts) {
        List *l = ListAppend(*out, n, pool);
        if (!l) raise_evaluation_error(c, "HY001", "Memory allocation error");
        *out = l;
    }
}

Restriction *make_restriction(ExecPlan *plan, int index, int column, int op, Node *value, EvalContext *c) {
    auto *r = pool_new<Restriction>(plan->pool);
    if (!r) raise_evaluation_error(c, "HY001", "Memory allocation error");
    TableSlot *slot = plan->scans[index].slot;
    r->column = &slot->columns[column - 1];
    r->column_number = column;
    r->op = op;
    r->value_expression = value;
    return r;
}

bool has_cased_letter(const char *s, size_t n) {
    for (size_t i = 0; i < n; i++) {
        char ch = s[i];
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) return true;
    }
    return false;
}

// The value converted exactly to the column's value type, or null when that
// is not possible without changing which rows qualify.
Value *exact_for_column(Value *v, const ColumnInfo *ci, EvalContext *c) {
    if (!v || v->is_null) return nullptr;
    uint32_t want = value_type_for_sql_type(ci->data_type, nullptr);
    if (want == 0) return nullptr;
    if (is_char_value_type(want) && is_char_value_type(v->type)) {
        // The engine compares text with trailing blanks ignored, a provider
        // byte for byte: 'pear ' must reach it as 'pear', or the rows equal
        // to it are lost before the engine sees them.
        const char *text = v->type == VT_CHAR ? v->data.s : long_buffer_data(v->long_buffer);
        size_t n = v->type == VT_CHAR ? static_cast<size_t>(v->length) : long_buffer_length(v->long_buffer);
        if (!text || n == 0 || text[n - 1] != ' ') return v;
        while (n > 0 && text[n - 1] == ' ') n--;
        Value *trimmed = new_row_value(c, VT_CHAR);
        if (set_value_text(trimmed, text, n) != 0) raise_evaluation_error(c, "HY001", "Memory allocation error");
        return trimmed;
    }
    if (v->type == want) return v;
    const bool datetime_target = want == VT_DATE || want == VT_TIME || want == VT_TIMESTAMP;
    const bool numeric_target = want == VT_INTEGER || want == VT_BIGINT || want == VT_DOUBLE || want == VT_NUMERIC;
    const bool numeric_value = v->type == VT_INTEGER || v->type == VT_BIGINT || v->type == VT_DOUBLE ||
                               v->type == VT_NUMERIC || v->type == VT_BIT;
    if (!(datetime_target && (v->type == VT_CHAR || v->type == VT_DATE || v->type == VT_TIMESTAMP)) &&
        !(numeric_target && numeric_value))
        return nullptr;
    CastTarget target{};
    target.sql_type = ci->data_type;
    target.length = 0;
    target.precision = ci->precision > 0 ? ci->precision : -1;
    target.scale = ci->scale;
    target.seconds_precision = -1;
    if (want == VT_DATE && v->type == VT_TIMESTAMP) return nullptr;  // a time part would be lost
    // The conversion must not post: a failure only means "not passed".
    ErrorHeader *saved = c->statement->env.diag;
    c->statement->env.diag = nullptr;
    Value *out = nullptr;
    int r = cast_value(&target, &c->statement->env, v, &out);
    c->statement->env.diag = saved;
    if (r != 0 || !out || out->is_null) return nullptr;
    if (numeric_target && compare_values(out, v) != 0) return nullptr;
    return out;
}

List *candidates_given(ExecPlan *plan, int index, Node *condition, const uint8_t *bound, EvalContext *c) {
    List *parts = nullptr;
    conjuncts(condition, &parts, plan->pool, c);
    List *found = nullptr;
    for (ListCell *cell = ListFirst(parts); cell; cell = ListNext(cell)) {
        auto *n = node_cast<Node>(ListData(cell));
        Restriction *r = nullptr;
        if (n->kind == NODE_OPERATOR) {
            auto *o = node_cast<OperatorNode>(n);
            if (o->op_class != OPCLASS_OPERATOR || !is_comparison_op(o->op)) continue;
            if (o->right && o->right->kind == NODE_QUERY_SPEC && !uncorrelated_subquery(o->right)) continue;
            if (int col = own_column(plan, index, o->left); col && independent(plan, index, o->right, bound))
                r = make_restriction(plan, index, col, o->op, o->right, c);
            else if (int col2 = own_column(plan, index, o->right); col2 && independent(plan, index, o->left, bound))
                r = make_restriction(plan, index, col2, flipped(o->op), o->left, c);
        } else if (n->kind == NODE_LIKE) {
            auto *l = node_cast<LikeNode>(n);
            int col = own_column(plan, index, l->operand);
            if (col && !l->negated && !l->escape && l->pattern &&
                (l->pattern->kind == NODE_VALUE || l->pattern->kind == NODE_PARAMETER))
                r = make_restriction(plan, index, col, RESTRICT_LIKE, l->pattern, c);
        } else if (n->kind == NODE_IS_NULL) {
            auto *x = node_cast<IsNullNode>(n);
            int col = own_column(plan, index, x->operand);
            if (col && !x->negated) r = make_restriction(plan, index, col, RESTRICT_IS_NULL, nullptr, c);
        }
        if (!r) continue;
        List *l = ListAppend(found, r, plan->pool);
        if (!l) raise_evaluation_error(c, "HY001", "Memory allocation error");
        found = l;
    }
    return found;
}

}  // namespace

bool walk_plan_columns(const ExecPlan *plan, Node *e, bool values_only,
                       void (*on_column)(const TableSlot *slot, void *arg), void *arg) {
    PlanColumns w{plan, values_only, on_column, arg};
    return walk_expression(e, plan_columns_visit, &w) == 0;
}

int split_alternatives(Node *where, Node **out, int capacity) {
    int n = 0;
    Node *stack[64];
    int top = 0;
    if (where && where->kind == NODE_OPERATOR && node_cast<OperatorNode>(where)->op_class == OPCLASS_OR)
        stack[top++] = where;
    else {
        out[0] = where;
        return 1;
    }
    while (top > 0) {
        Node *x = stack[--top];
        if (x->kind == NODE_OPERATOR && node_cast<OperatorNode>(x)->op_class == OPCLASS_OR && top + 2 <= 64) {
            stack[top++] = node_cast<OperatorNode>(x)->right;
            stack[top++] = node_cast<OperatorNode>(x)->left;
            continue;
        }
        if (n == capacity) {
            out[0] = where;
            return 1;
        }
        out[n++] = x;
    }
    return n;
}

List *restriction_candidates(ExecPlan *plan, int index, Node *condition, EvalContext *c) {
    return candidates_given(plan, index, condition, nullptr, c);
}

List *restriction_candidates_bound(ExecPlan *plan, int index, Node *condition, const uint8_t *bound,
                                   EvalContext *c) {
    return candidates_given(plan, index, condition, bound, c);
}

bool prepare_restrictions(ExecPlan *plan, TableScan *scan, List *candidates, EvalContext *c) {
    (void)plan;
    QueryStatement *st = c->statement;
    int n = ListCount(candidates);
    scan->restriction_count = 0;
    if (n == 0) return true;
    // A LIKE may become two range restrictions.
    scan->restrictions = pool_new_array<Restriction *>(st->row_pool, static_cast<size_t>(2 * n));
    if (!scan->restrictions) raise_evaluation_error(c, "HY001", "Memory allocation error");
    for (ListCell *cell = ListFirst(candidates); cell; cell = ListNext(cell)) {
        auto *cand = static_cast<Restriction *>(ListData(cell));
        if (cand->op == RESTRICT_IS_NULL) {
            if ((scan->capabilities & kCapNullTest) && (scan->capabilities & kCapNoValue)) {
                auto *r = pool_new<Restriction>(st->row_pool);
                if (!r) raise_evaluation_error(c, "HY001", "Memory allocation error");
                *r = *cand;
                scan->restrictions[scan->restriction_count++] = r;
            }
            continue;
        }
        Value *v = evaluate_expression(static_cast<Node *>(cand->value_expression), c);
        if (v->is_null) return false;  // a comparison (or LIKE) with NULL holds for no row
        if (cand->op == RESTRICT_LIKE) {
            if (!is_char_value_type(v->type)) continue;
            if (scan->capabilities & kCapLike) {
                auto *r = pool_new<Restriction>(st->row_pool);
                if (!r) raise_evaluation_error(c, "HY001", "Memory allocation error");
                *r = *cand;
                r->value = v;
                scan->restrictions[scan->restriction_count++] = r;
                continue;
            }
            Value *compiled = nullptr;
            if (like_compile(v, nullptr, st->row_pool, &compiled) != 0 || !compiled) continue;
            char prefix[512], upper[512];
            size_t len = like_literal_prefix(compiled, prefix, sizeof prefix);
            if (len == 0 || has_cased_letter(prefix, len)) continue;
            size_t ulen = like_upper_prefix(compiled, upper, sizeof upper);
            const struct {
                int op;
                const char *text;
                size_t length;
            } bounds[2] = {{RESTRICT_GE, prefix, len}, {RESTRICT_LT, upper, ulen}};
            for (const auto &b : bounds) {
                if (b.length == 0) continue;  // no upper bound after a 0xFF byte
                Value *bv = new_row_value(c, VT_CHAR);
                if (set_value_text(bv, b.text, b.length) != 0)
                    raise_evaluation_error(c, "HY001", "Memory allocation error");
                auto *r = pool_new<Restriction>(st->row_pool);
                if (!r) raise_evaluation_error(c, "HY001", "Memory allocation error");
                *r = *cand;
                r->op = b.op;
                r->value = bv;
                r->value_expression = nullptr;
                scan->restrictions[scan->restriction_count++] = r;
            }
            continue;
        }
        Value *exact = exact_for_column(v, cand->column, c);
        if (!exact) continue;
        auto *r = pool_new<Restriction>(st->row_pool);
        if (!r) raise_evaluation_error(c, "HY001", "Memory allocation error");
        *r = *cand;
        r->value = exact;
        scan->restrictions[scan->restriction_count++] = r;
    }
    return true;
}

void split_conjuncts(Node *top, std::vector<Node *> &out) {
    std::vector<Node *> stack;
    if (top) stack.push_back(top);
    while (!stack.empty()) {
        Node *n = stack.back();
        stack.pop_back();
        if (n->kind == NODE_OPERATOR && node_cast<OperatorNode>(n)->op_class == OPCLASS_AND) {
            stack.push_back(node_cast<OperatorNode>(n)->right);
            stack.push_back(node_cast<OperatorNode>(n)->left);
            continue;
        }
        out.push_back(n);
    }
}
