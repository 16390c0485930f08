// Sub-query predicates with standard three-valued logic:
// - x IN (S): true when some value of S equals x; else unknown when x is
//   NULL or S holds a NULL, provided S is not empty; else false.
// - x op ALL (S): true over an empty S; false when some comparison is
//   false; else unknown when some is unknown; else true.
// - x op ANY (S): true when some comparison is true; else unknown when some
//   is unknown; else false.
// - A scalar sub-query without a row is NULL; with more than one row it is
//   an error.
// The cached and uncached paths of IN give the same answer: the cache keeps
// the ordered non-null values and whether a NULL was seen.
#include <algorithm>

#include "query/plan.h"
#include "query/subquery.h"
#include "support/value_ops.h"

namespace {

QueryScope *scope_of(QuerySpecNode *spec, EvalContext *c) {
    auto *scope = static_cast<QueryScope *>(spec ? spec->scope : nullptr);
    if (!scope) raise_evaluation_error(c, "HY000", "Unexpected type in eval expr");
    return scope;
}

SubqueryState *state_of(QueryScope *scope, EvalContext *c) {
    QueryStatement *st = c->statement;
    if (scope->state && scope->state_generation == st->generation) return scope->state;
    auto *state = pool_new<SubqueryState>(st->exec_pool);
    if (!state) raise_evaluation_error(c, "HY001", "Memory allocation error");
    state->plan = plan_create(st, scope, st->exec_pool);
    scope->state = state;
    scope->state_generation = st->generation;
    return state;
}

// Starts the sub-query again for the current outer rows.
ExecPlan *rerun(QueryScope *scope, SubqueryState *state, EvalContext *c) {
    (void)scope;
    plan_open(state->plan, c);
    return state->plan;
}

// Answers of a correlated sub-query last for the outer row (row pool);
// those of an uncorrelated one for the execution.
CvPool *answer_pool(const QueryScope *scope, EvalContext *c) {
    return scope->correlated ? c->statement->row_pool : c->statement->exec_pool;
}

Value *keep(const Value *v, CvPool *pool, EvalContext *c) {
    Value *copy = duplicate_value(v, pool);
    if (!copy) raise_evaluation_error(c, "HY001", "Memory allocation error");
    copy->deferred = 0;
    copy->source_iterator = nullptr;
    return copy;
}

// Reads every value of a one-column sub-query into the state's ordered list.
void collect_values(QueryScope *scope, SubqueryState *state, EvalContext *c) {
    ExecPlan *plan = rerun(scope, state, c);
    int capacity = 0;
    state->sorted_count = 0;
    state->had_null = 0;
    state->row_count = 0;
    while (plan_next(plan, c) == 0) {
        state->row_count = 1;
        Value *v = plan->results[0];
        if (v->is_null) {
            state->had_null = 1;
            continue;
        }
        if (state->sorted_count == capacity) {
            int grown = capacity ? capacity * 2 : 64;
            auto *a = pool_new_array<Value *>(answer_pool(scope, c), static_cast<size_t>(grown));
            if (!a) raise_evaluation_error(c, "HY001", "Memory allocation error");
            std::copy(state->sorted, state->sorted + state->sorted_count, a);
            state->sorted = a;
            capacity = grown;
        }
        state->sorted[state->sorted_count++] = keep(v, answer_pool(scope, c), c);
    }
    std::sort(state->sorted, state->sorted + state->sorted_count,
              [](const Value *a, const Value *b) { return compare_values(a, b) < 0; });
    state->evaluated = 1;
}

bool contains(const SubqueryState *state, const Value *x) {
    const Value *const *first = state->sorted;
    const Value *const *last = state->sorted + state->sorted_count;
    auto it = std::lower_bound(first, last, x, [](const Value *a, const Value *b) { return compare_values(a, b) < 0; });
    return it != last && compare_values(*it, x) == 0;
}

int negate(int t) { return t == kTrue ? kFalse : t == kFalse ? kTrue : kUnknown; }

}  // namespace

int subquery_exists(QuerySpecNode *spec, EvalContext *c) {
    QueryScope *scope = scope_of(spec, c);
    SubqueryState *state = state_of(scope, c);
    if (!scope->correlated && state->evaluated) return state->exists;
    ExecPlan *plan = state->plan;
    plan->skip_results = 1;
    rerun(scope, state, c);
    state->exists = plan_next(plan, c) == 0 ? 1 : 0;
    state->evaluated = 1;
    return state->exists;
}

int subquery_in(InSubqueryNode *in, EvalContext *c) {
    Value *x = evaluate_expression(in->operand, c);
    QueryScope *scope = scope_of(node_cast<QuerySpecNode>(in->subquery), c);
    SubqueryState *state = state_of(scope, c);
    if (scope->correlated || !state->evaluated) collect_values(scope, state, c);
    int truth;
    if (state->row_count == 0) truth = kFalse;
    else if (x->is_null) truth = kUnknown;
    else if (contains(state, x)) truth = kTrue;
    else truth = state->had_null ? kUnknown : kFalse;
    return in->negated ? negate(truth) : truth;
}

int subquery_quantified(QuantifiedNode *q, EvalContext *c) {
    Value *x = evaluate_expression(q->operand, c);
    QueryScope *scope = scope_of(node_cast<QuerySpecNode>(q->subquery), c);
    SubqueryState *state = state_of(scope, c);
    ExecPlan *plan = rerun(scope, state, c);
    const bool all = q->quantifier == 1;
    bool unknown = false;
    int truth = all ? kTrue : kFalse;
    while (plan_next(plan, c) == 0) {
        int t = compare_values_op(x, plan->results[0], q->op, c);
        if (all && t == kFalse) {
            truth = kFalse;
            break;
        }
        if (!all && t == kTrue) {
            truth = kTrue;
            break;
        }
        if (t == kUnknown) unknown = true;
    }
    if (unknown && truth == (all ? kTrue : kFalse)) truth = kUnknown;
    return q->negated ? negate(truth) : truth;
}

Value *subquery_value(QuerySpecNode *spec, EvalContext *c) {
    QueryScope *scope = scope_of(spec, c);
    SubqueryState *state = state_of(scope, c);
    if (!scope->correlated && state->evaluated) return state->scalar;
    ExecPlan *plan = rerun(scope, state, c);
    Value *v = nullptr;
    if (plan_next(plan, c) == 0) {
        v = keep(plan->results[0], answer_pool(scope, c), c);
        if (plan_next(plan, c) == 0) raise_evaluation_error(c, "HY000", "Sub query has more than one row");
    } else {
        uint32_t t = scope->column_count > 0 ? value_type_for_sql_type(scope->columns[0].sql_type, nullptr) : VT_CHAR;
        v = new_value_of_type(answer_pool(scope, c), t ? t : VT_CHAR);
        if (!v) raise_evaluation_error(c, "HY001", "Memory allocation error");
        set_value_null(v, t ? t : VT_CHAR);
    }
    state->scalar = v;
    state->evaluated = 1;
    return v;
}

int subquery_compare(QuerySpecNode *spec, Value *left, int op, EvalContext *c) {
    Value *v = subquery_value(spec, c);
    return compare_values_op(left, v, op, c);
}
