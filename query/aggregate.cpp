// Set functions without GROUP BY.
#include "query/aggregate.h"

#include "query/plan.h"

#include "support/bigint.h"
#include "support/interval.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

// Replaces the kept value `*slot` by a copy of `v` (the old copy is freed,
// so memory stays flat however often MIN, MAX or LAST change).
void keep(Value **slot, const Value *v, EvalContext *c) {
    Value *copy = duplicate_value(v, c->statement->exec_pool);
    if (!copy) raise_evaluation_error(c, "HY001", "Memory allocation error");
    copy->deferred = 0;
    copy->source_iterator = nullptr;
    release_value(*slot);
    *slot = copy;
}

bool is_exact_kind(uint32_t t) { return t == VT_NUMERIC || is_interval_value_type(t); }

void accumulate(AggregateNode *a, Accumulator *acc, EvalContext *c) {
    if (a->code == AGG_COUNT_STAR) {
        acc->count++;
        return;
    }
    Value *v = evaluate_expression(a->argument, c);
    if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
    if (v->is_null) return;
    acc->count++;
    switch (a->code) {
        case AGG_COUNT: return;
        case AGG_SUM:
        case AGG_AVG: {
            if (is_exact_kind(v->type)) {
                if (!acc->exact) {
                    keep(&acc->exact, v, c);
                    return;
                }
                Value *sum = apply_arithmetic(acc->exact, v, OP_ADD, c);
                keep(&acc->exact, sum, c);
                return;
            }
            double d = 0;
            if (get_double_from_value(v, &d) != 0) raise_evaluation_error(c, "22003", "Numeric value out of range");
            acc->sum += d;
            return;
        }
        case AGG_MIN:
            if (!acc->exact || compare_values(v, acc->exact) < 0) keep(&acc->exact, v, c);
            return;
        case AGG_MAX:
            if (!acc->exact || compare_values(v, acc->exact) > 0) keep(&acc->exact, v, c);
            return;
        case AGG_FIRST:
            if (!acc->exact) keep(&acc->exact, v, c);
            return;
        case AGG_LAST: keep(&acc->exact, v, c); return;
        default: raise_evaluation_error(c, "HY000", "Unexpected type in eval expr");
    }
}

}  // namespace

int aggregate_fetch(ExecPlan *plan) {
    EvalContext c{plan->statement};
    QueryStatement *st = plan->statement;
    QueryScope *scope = plan->scope;
    if (plan->done) return 100;
    int n = ListCount(scope->select_aggregates);
    auto *acc = pool_new_array<Accumulator>(plan->pool, static_cast<size_t>(n ? n : 1));
    if (!acc) raise_evaluation_error(&c, "HY001", "Memory allocation error");
    plan->sort = acc;
    // Every combination of the query, accumulated.
    while (plan_rows_next(plan, &c) == 0) {
        int i = 0;
        for (ListCell *cell = ListFirst(scope->select_aggregates); cell; cell = ListNext(cell), i++)
            accumulate(node_cast<AggregateNode>(ListData(cell)), &acc[i], &c);
    }
    plan->done = 1;
    // The one row: set function nodes answer from their accumulators.
    Accumulator *saved = static_cast<Accumulator *>(st->current_aggregates);
    st->current_aggregates = acc;
    try {
        for (int i = 0; i < scope->column_count; i++) plan->results[i] = evaluate_expression(scope->columns[i].expression, &c);
    } catch (...) {
        st->current_aggregates = saved;
        throw;
    }
    st->current_aggregates = saved;
    plan->produced = 1;
    return 0;
}

Value *aggregate_value(AggregateNode *a, EvalContext *c) {
    auto *acc = static_cast<Accumulator *>(c->statement->current_aggregates);
    if (!acc) raise_evaluation_error(c, "HY000", "Unexpected type in eval expr");
    Accumulator &x = acc[a->accumulator_slot];
    Value *out;
    switch (a->code) {
        case AGG_COUNT:
        case AGG_COUNT_STAR:
            out = new_row_value(c, VT_INTEGER);
            if (x.count > INT32_MAX) raise_evaluation_error(c, "22003", "Numeric value out of range");
            out->data.i = static_cast<int32_t>(x.count);
            return out;
        case AGG_SUM:
        case AGG_AVG:
            if (x.exact) {
                if (a->code == AGG_SUM) return x.exact;
                Value *n = new_row_value(c, VT_INTEGER);
                n->data.i = static_cast<int32_t>(x.count > INT32_MAX ? INT32_MAX : x.count);
                return apply_arithmetic(x.exact, n, OP_DIV, c);
            }
            out = new_row_value(c, VT_DOUBLE);
            if (x.count == 0) set_value_null(out, VT_DOUBLE);
            else out->data.d = a->code == AGG_SUM ? x.sum : x.sum / static_cast<double>(x.count);
            return out;
        default:
            if (x.exact) return x.exact;
            out = new_row_value(c, value_type_for_sql_type(a->result_sql_type, nullptr));
            if (out->type == 0) out->type = VT_CHAR;
            set_value_null(out, out->type);
            return out;
    }
}
