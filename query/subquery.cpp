// Sub-query predicates with standard three-valued logic:
// - x IN (S): true when some value of S equals x; else unknown when x is
//   NULL or S holds a NULL, provided S is not empty; else false.
// - x op ALL (S): true over an empty S; false when some comparison is
//   false; else unknown when some is unknown; else true.
// - x op ANY (S): true when some comparison is true; else unknown when some
//   is unknown; else false.
// - A scalar sub-query without a row is NULL; with more than one row it is
//   an error.
// IN finds x among the values by `=` itself (the one order of values), so
// that it agrees with the sub-query expanded into `x = v1 OR x = v2 ...`:
// the values are kept with whether a NULL was seen, and looked up through
// their sorted keys in the form that compares x with each of them as `=`
// does, or one by one where no form does (an integer among doubles and
// integers). Validation gives the operand and the values one type class; a
// parameter bound as text still reaches here as a text.
#include <algorithm>
#include <cstring>
#include <new>

#include "query/plan.h"
#include "query/sort_record.h"
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

// Reads every value of a one-column sub-query (its non-null ones, and
// whether there was a NULL) into the state; keys are made on first lookup.
void collect_values(QueryScope *scope, SubqueryState *state, EvalContext *c) {
    ExecPlan *plan = rerun(scope, state, c);
    int capacity = 0;
    state->value_count = 0;
    state->had_null = 0;
    state->row_count = 0;
    state->value_forms = 0;
    state->value_type = 0;
    state->key_form = 0;
    state->key_count = 0;
    while (plan_next(plan, c) == 0) {
        state->row_count = 1;
        Value *v = plan->results[0];
        if (v->is_null) {
            state->had_null = 1;
            continue;
        }
        if (state->value_count == capacity) {
            int grown = capacity ? capacity * 2 : 64;
            auto *a = pool_new_array<Value *>(answer_pool(scope, c), static_cast<size_t>(grown));
            if (!a) raise_evaluation_error(c, "HY001", "Memory allocation error");
            std::copy(state->values, state->values + state->value_count, a);
            state->values = a;
            capacity = grown;
        }
        state->value_forms |= 1u << static_cast<int>(key_form_of_type(v->type));
        state->value_type = state->value_count == 0 || state->value_type == v->type ? v->type : 0;
        state->values[state->value_count++] = keep(v, answer_pool(scope, c), c);
    }
    state->evaluated = 1;
}

struct InKey {
    const uint8_t *bytes;
    size_t length;
};

bool key_less(const InKey &a, const InKey &b) {
    size_t n = a.length < b.length ? a.length : b.length;
    int r = n ? std::memcmp(a.bytes, b.bytes, n) : 0;
    return r != 0 ? r < 0 : a.length < b.length;
}

uint32_t bit(KeyForm f) { return 1u << static_cast<int>(f); }

// The key form in which `x` and every value of the set compare as `=`
// compares them (the one order of values), with *probe the value whose key
// is looked up; false when there is none and each value must be compared
// in turn. Numbers: in doubles when x is a double or every value is one,
// else exactly (a set mixing doubles with other numbers has no one form
// for a number that is no double).
bool lookup_form(const SubqueryState *state, const Value *x, Value *probe, KeyForm *form, EvalContext *c) {
    const uint32_t numbers = bit(KeyForm::kInteger) | bit(KeyForm::kDouble) | bit(KeyForm::kDecimal);
    const uint32_t set = state->value_forms;
    const KeyForm fx = key_form_of_type(x->type);
    *probe = *x;
    if ((bit(fx) & numbers) && (set & ~numbers) == 0) {
        if (fx == KeyForm::kDouble || set == bit(KeyForm::kDouble)) *form = KeyForm::kDouble;
        else if (set & bit(KeyForm::kDouble)) return false;
        else if (fx == KeyForm::kDecimal || (set & bit(KeyForm::kDecimal))) *form = KeyForm::kDecimal;
        else *form = KeyForm::kInteger;
        return true;
    }
    // A text (a parameter bound as text) among dates, times or timestamps of
    // one type, or among numbers: read once as `=` reads it, failing as `=`
    // fails, then looked up as that value.
    const bool datetimes = set == bit(KeyForm::kDateTime) && state->value_type != 0;
    if (fx == KeyForm::kText && (datetimes || (set & ~numbers) == 0)) {
        Value read;
        OrderResult res = read_text_as(x, datetimes ? state->value_type : VT_NUMERIC, &read);
        if (res != OrderResult::kOk) raise_order_failure(res, OP_EQ, c);
        return lookup_form(state, &read, probe, form, c);
    }
    if (set != bit(fx) || fx == KeyForm::kOther) return false;
    if (fx == KeyForm::kInterval && state->value_type != x->type) return false;
    *form = fx;
    return true;
}

// The set's keys in `form`, sorted (made again when another form is asked).
void make_keys(QueryScope *scope, SubqueryState *state, KeyForm form, EvalContext *c) {
    if (state->key_form == static_cast<int32_t>(form)) return;
    CvPool *pool = answer_pool(scope, c);
    auto *keys = pool_new_array<InKey>(pool, static_cast<size_t>(state->value_count));
    if (!keys) raise_evaluation_error(c, "HY001", "Memory allocation error");
    ByteBuffer key;
    try {
        for (int i = 0; i < state->value_count; i++) {
            key.clear();
            key_append(key, state->values[i], form, false);
            auto *bytes = static_cast<uint8_t *>(cv_mem_alloc(pool, key.size()));
            if (!bytes) raise_evaluation_error(c, "HY001", "Memory allocation error");
            std::memcpy(bytes, key.data(), key.size());
            keys[i] = InKey{bytes, key.size()};
        }
    } catch (const std::bad_alloc &) {
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
    std::sort(keys, keys + state->value_count, key_less);
    state->keys = keys;
    state->key_count = state->value_count;
    state->key_form = static_cast<int32_t>(form);
}

// Whether some value of the set equals x (neither NULL) as `=` has it:
// through the keys when one form serves every pair, else value by value.
bool contains(QueryScope *scope, SubqueryState *state, const Value *x, EvalContext *c) {
    if (state->value_count == 0) return false;
    Value probe;
    KeyForm form;
    if (!lookup_form(state, x, &probe, &form, c)) {
        for (int i = 0; i < state->value_count; i++)
            if (order_or_raise(x, state->values[i], OP_EQ, c) == 0) return true;
        return false;
    }
    make_keys(scope, state, form, c);
    ByteBuffer key;
    try {
        key_append(key, &probe, form, false);
    } catch (const std::bad_alloc &) {
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
    const auto *keys = static_cast<const InKey *>(state->keys);
    const InKey want{key.data(), key.size()};
    const InKey *at = std::lower_bound(keys, keys + state->key_count, want, key_less);
    return at != keys + state->key_count && !key_less(want, *at);
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
    else if (contains(scope, state, x, c)) truth = kTrue;
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
