// Set functions, GROUP BY with HAVING, and SELECT DISTINCT (group.h).
#include "query/group.h"

#include <cstring>
#include <new>
#include <string>

#include "engine/describe_expression.h"
#include "query/key_set.h"
#include "query/plan.h"
#include "query/sort.h"
#include "query/sort_record.h"
#include "support/diag.h"
#include "support/interval.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

enum class SumKind : int32_t { kNone = 0, kInteger, kDouble, kNumeric, kInterval };

struct Accumulator {
    AggregateNode *node;
    int64_t count;             // rows accumulated
    SumKind sum_kind;
    int64_t int_sum;           // SUM over integers (checked)
    __int128 wide_sum;         // AVG over integers (cannot overflow)
    double double_sum;
    SQL_NUMERIC_STRUCT numeric_sum;
    Value *kept;               // MIN, MAX, FIRST, LAST; the interval sum
    int32_t kept_capacity;     // bytes of kept's text buffer
    KeyForm form;              // DISTINCT forms: the key form of the argument's type
    KeySet *seen;              // DISTINCT forms: the arguments' keys
    Sort *overflow;            // DISTINCT forms: new arguments met once seen was full
};

// Accumulators of the statement, found by their node while evaluating.
struct Registered {
    AggregateNode *node;
    Accumulator *accumulator;
    Registered *next;
};

struct GroupState {
    ExecPlan *plan;
    CvPool *acc_pool;          // accumulators' storage; replaced at each reset
    int64_t distinct_cap;      // bytes for each DISTINCT set function's hash set
    int32_t acc_count;
    Accumulator *accs;
    int32_t grouped;
    int32_t aggregated;
    int32_t distinct;
    int (*inner)(ExecPlan *);  // rows under DISTINCT
    int64_t limit;             // the plan's row limit, applied to the final rows
    int32_t group_count;
    Node **group_exprs;
    KeyForm *group_forms;      // 0 until known
    KeyForm *column_forms;     // DISTINCT keys
    Sort *group_sort;
    Sort *distinct_sort;
    int32_t filled;
    int32_t finished;
    ByteBuffer *key;
    ByteBuffer *payload;
    ByteBuffer *group_key;
};

GroupState *state_of(ExecPlan *plan) { return static_cast<GroupState *>(plan->sort); }

[[noreturn]] void no_memory(EvalContext *c) { raise_evaluation_error(c, "HY001", "Memory allocation error"); }

KeyForm form_of_sql_type(int sql_type) {
    uint32_t vt = value_type_for_sql_type(sql_type, nullptr);
    return vt ? key_form_of_type(vt) : static_cast<KeyForm>(0);
}

KeyForm form_of_node(Node *n) {
    ExtendedType t{};
    if (describe_expression(n, 3, &t) != 0) return static_cast<KeyForm>(0);
    return form_of_sql_type(t.sql_type);
}

// The key form of a column whose form was not known at setup: the first
// non-NULL value's.
KeyForm settle(KeyForm *form, const Value *v) {
    if (static_cast<int>(*form) == 0 && v && !v->is_null) *form = key_form_of_type(v->type);
    return static_cast<int>(*form) == 0 ? KeyForm::kOther : *form;
}


// A unique sort of its own for a DISTINCT set function's overflow, freed
// with the group (not kept in the plan's pool across groups).
Sort *overflow_sort(EvalContext *c) {
    QueryStatement *st = c->statement;
    SortOptions o{};
    o.budget = st->connection.work_mem_size;
    o.unique = 1;
    o.directory = st->connection.work_dir_path;
    o.deadline = st->deadline;
    o.cancel = st->connection.cancel;
    Sort *s = sort_start(nullptr, &o);
    if (!s) raise_evaluation_error(c, "HY000", "General error: %s", "error in starting sort routine");
    return s;
}

void accumulate_value(Accumulator &a, const Value *v, GroupState *g, EvalContext *c);

void reset_accumulators(ExecPlan *plan, GroupState *g, EvalContext *c) {
    cv_mem_release_handle(g->acc_pool);
    g->acc_pool = cv_mem_alloc_handle(plan->pool);
    if (!g->acc_pool) no_memory(c);
    for (int i = 0; i < g->acc_count; i++) {
        Accumulator &a = g->accs[i];
        AggregateNode *node = a.node;
        KeySet *seen = a.seen;
        const KeyForm form = a.form;
        sort_release(a.overflow);
        a = Accumulator{};
        a.node = node;
        a.seen = seen;
        a.form = form;
        if (node->distinct) {
            if (!a.seen) a.seen = new (std::nothrow) KeySet;
            if (!a.seen) no_memory(c);
            key_set_clear(a.seen);
            a.seen->cap = g->distinct_cap;
        }
    }
}

// Keeps a copy of `v` in the accumulator, reusing its buffer when it fits.
void keep(Accumulator &a, const Value *v, GroupState *g, EvalContext *c) {
    const bool text = v->type == VT_CHAR || v->type == VT_BINARY;
    if (text && a.kept && (a.kept->type == VT_CHAR || a.kept->type == VT_BINARY) && v->length <= a.kept_capacity) {
        std::memcpy(a.kept->data.s, v->type == VT_CHAR ? v->data.s : reinterpret_cast<char *>(v->data.bytes),
                    static_cast<size_t>(v->length));
        a.kept->data.s[v->length] = '\0';
        a.kept->type = v->type;
        a.kept->length = v->length;
        a.kept->is_null = 0;
        if (v->type == VT_BINARY) a.kept->data.bytes = reinterpret_cast<uint8_t *>(a.kept->data.s);
        return;
    }
    if (!text && a.kept && a.kept->type == v->type && v->type != VT_LONG_CHAR && v->type != VT_LONG_BINARY) {
        a.kept->data = v->data;
        a.kept->is_null = 0;
        a.kept->precision = v->precision;
        a.kept->scale = v->scale;
        return;
    }
    a.kept = duplicate_value(v, g->acc_pool);
    if (!a.kept) no_memory(c);
    a.kept_capacity = text ? v->length : 0;
}

void add_integer(Accumulator &a, int64_t x, EvalContext *c) {
    if (__builtin_add_overflow(a.int_sum, x, &a.int_sum))
        raise_evaluation_error(c, "22003", "Numeric value out of range");
    a.wide_sum += x;
}

void widen_to_double(Accumulator &a) {
    if (a.sum_kind == SumKind::kInteger) a.double_sum = static_cast<double>(a.wide_sum);
    else if (a.sum_kind == SumKind::kNumeric) a.double_sum = numeric_to_double(&a.numeric_sum);
    a.sum_kind = SumKind::kDouble;
}

void accumulate_sum(Accumulator &a, const Value *v, GroupState *g, EvalContext *c) {
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT:
    case VT_BIGINT: {
        int64_t x = 0;
        (void)get_bigint_from_value(v, &x);
        if (a.sum_kind == SumKind::kNone) a.sum_kind = SumKind::kInteger;
        if (a.sum_kind == SumKind::kInteger) {
            if (a.node->code == AGG_AVG) a.wide_sum += x;
            else add_integer(a, x, c);
        } else if (a.sum_kind == SumKind::kNumeric) {
            SQL_NUMERIC_STRUCT n{};
            if (bigint_to_numeric(x, &n, 0, 0) != kNumOk || add_numeric(&a.numeric_sum, &n) != kNumOk)
                raise_evaluation_error(c, "22003", "Numeric value out of range");
        } else {
            a.double_sum += static_cast<double>(x);
        }
        return;
    }
    case VT_DOUBLE:
        if (a.sum_kind != SumKind::kDouble) widen_to_double(a);
        a.double_sum += v->data.d;
        return;
    case VT_NUMERIC:
        if (a.sum_kind == SumKind::kNone) {
            a.sum_kind = SumKind::kNumeric;
            a.numeric_sum = v->data.num;
            return;
        }
        if (a.sum_kind == SumKind::kInteger) {
            a.sum_kind = SumKind::kNumeric;
            SQL_NUMERIC_STRUCT n{};
            int64_t base = a.node->code == AGG_AVG ? static_cast<int64_t>(a.wide_sum) : a.int_sum;
            if (bigint_to_numeric(base, &n, 0, 0) != kNumOk)
                raise_evaluation_error(c, "22003", "Numeric value out of range");
            a.numeric_sum = n;
        }
        if (a.sum_kind == SumKind::kNumeric) {
            if (add_numeric(&a.numeric_sum, &v->data.num) != kNumOk)
                raise_evaluation_error(c, "22003", "Numeric value out of range");
        } else {
            a.double_sum += numeric_to_double(&v->data.num);
        }
        return;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        if (a.sum_kind == SumKind::kNone || !a.kept) {
            a.sum_kind = SumKind::kInterval;
            keep(a, v, g, c);
            return;
        }
        Value *sum = new_value_of_type(g->acc_pool, v->type);
        if (!sum) no_memory(c);
        if (interval_operation(a.kept, v, sum, c->statement->diag, 1) != 0) raise_posted(c);
        a.kept = sum;
        return;
    }
    default: raise_evaluation_error(c, "HY000", "SUM() requires numeric argument");
    }
}

void accumulate(Accumulator &a, GroupState *g, EvalContext *c) {
    AggregateNode *node = a.node;
    if (node->code == AGG_COUNT_STAR) {
        a.count++;
        return;
    }
    Value *v = evaluate_expression(node->distinct ? node->distinct_column : node->argument, c);
    if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
    if (v->is_null) return;
    if (node->distinct) {
        ByteBuffer &key = *g->key;
        KeySetAnswer seen;
        try {
            key.clear();
            key_append(key, v, settle(&a.form, v), false);
            seen = key_set_insert(a.seen, key.data(), key.size());
            if (seen == KeySetAnswer::kFull) {
                // Past the set's memory: the value waits in a unique sort
                // and is taken when the group ends (finish_distinct).
                if (!a.overflow) a.overflow = overflow_sort(c);
                ByteBuffer &payload = *g->payload;
                payload.clear();
                payload_append(payload, v);
                int r = sort_add(a.overflow, key.data(), key.size(), payload.data(), payload.size());
                if (r != 0) sort_failure(a.overflow, r, c);
            }
        } catch (const std::bad_alloc &) {
            no_memory(c);
        }
        if (seen != KeySetAnswer::kNew) return;
    }
    accumulate_value(a, v, g, c);
}

void accumulate_value(Accumulator &a, const Value *v, GroupState *g, EvalContext *c) {
    AggregateNode *node = a.node;
    switch (node->code) {
    case AGG_COUNT: break;
    case AGG_MAX:
        if (!a.kept || order_or_raise(v, a.kept, OP_GT, c) > 0) keep(a, v, g, c);
        break;
    case AGG_MIN:
        if (!a.kept || order_or_raise(v, a.kept, OP_LT, c) < 0) keep(a, v, g, c);
        break;
    case AGG_SUM:
    case AGG_AVG: accumulate_sum(a, v, g, c); break;
    case AGG_FIRST:
        if (!a.kept) keep(a, v, g, c);
        break;
    case AGG_LAST: keep(a, v, g, c); break;
    default: raise_evaluation_error(c, "HY000", "Unexpected type in eval expr");
    }
    a.count++;
}

void accumulate_all(GroupState *g, EvalContext *c) {
    for (int i = 0; i < g->acc_count; i++) accumulate(g->accs[i], g, c);
}

// The values of DISTINCT set functions that did not fit their hash sets:
// read back from their unique sorts (none of them is in the set, the sort
// removed their duplicates) and accumulated. Once per group, before its
// results are read.
void finish_distinct(GroupState *g, EvalContext *c) {
    for (int i = 0; i < g->acc_count; i++) {
        Accumulator &a = g->accs[i];
        if (!a.overflow) continue;
        int r = sort_finish(a.overflow);
        if (r != 0) sort_failure(a.overflow, r, c);
        CvPool *values = nullptr;
        for (int64_t n = 0;; n++) {
            if (n % 256 == 0) {
                cv_mem_release_handle(values);
                values = cv_mem_alloc_handle(g->plan->pool);
                if (!values) no_memory(c);
            }
            const uint8_t *key, *payload;
            size_t key_length, payload_length;
            r = sort_fetch(a.overflow, &key, &key_length, &payload, &payload_length);
            if (r == 100) break;
            if (r != 0) sort_failure(a.overflow, r, c);
            size_t at = 0;
            Value *v = nullptr;
            int rr = payload_read(payload, payload_length, &at, values, &v);
            if (rr == -2) no_memory(c);
            if (rr != 0) raise_evaluation_error(c, "HY000", "General error: %s", "error in sort routine");
            accumulate_value(a, v, g, c);
        }
        cv_mem_release_handle(values);
        sort_release(a.overflow);
        a.overflow = nullptr;
    }
}

Value *null_of(AggregateNode *node, EvalContext *c) {
    uint32_t t = value_type_for_sql_type(node->result_sql_type, nullptr);
    if (node->code == AGG_AVG && t != VT_INTERVAL_YM && t != VT_INTERVAL_DS) t = VT_DOUBLE;
    Value *v = new_row_value(c, t ? t : VT_CHAR);
    set_value_null(v, t ? t : VT_CHAR);
    return v;
}

Value *result_of(Accumulator &a, EvalContext *c) {
    AggregateNode *node = a.node;
    if (node->code == AGG_COUNT || node->code == AGG_COUNT_STAR) {
        if (a.count > INT32_MAX) {
            Value *v = new_row_value(c, VT_BIGINT);
            v->data.big = a.count;
            return v;
        }
        Value *v = new_row_value(c, VT_INTEGER);
        v->data.i = static_cast<int32_t>(a.count);
        return v;
    }
    if (a.count == 0) return null_of(node, c);
    if (node->code == AGG_SUM) {
        switch (a.sum_kind) {
        case SumKind::kInteger: {
            Value *v = new_row_value(c, VT_BIGINT);
            v->data.big = a.int_sum;
            return v;
        }
        case SumKind::kDouble: {
            Value *v = new_row_value(c, VT_DOUBLE);
            v->data.d = a.double_sum;
            return v;
        }
        case SumKind::kNumeric: {
            Value *v = new_row_value(c, VT_NUMERIC);
            v->data.num = a.numeric_sum;
            v->precision = a.numeric_sum.precision;
            v->scale = a.numeric_sum.scale;
            return v;
        }
        default: return a.kept ? a.kept : null_of(node, c);
        }
    }
    if (node->code == AGG_AVG) {
        if (a.sum_kind == SumKind::kInterval) {
            Value *n = new_row_value(c, VT_BIGINT);
            n->data.big = a.count;
            Value *out = new_row_value(c, a.kept->type);
            if (interval_operation(n, a.kept, out, c->statement->diag, 5) != 0) raise_posted(c);
            return out;
        }
        double sum = a.sum_kind == SumKind::kInteger   ? static_cast<double>(a.wide_sum)
                     : a.sum_kind == SumKind::kNumeric ? numeric_to_double(&a.numeric_sum)
                                                       : a.double_sum;
        Value *v = new_row_value(c, VT_DOUBLE);
        v->data.d = sum / static_cast<double>(a.count);
        return v;
    }
    return a.kept ? a.kept : null_of(node, c);
}

// Before each row this operation produces: scratch values start again and
// every 64 rows the row pool is replaced (the previous row's values are no
// longer needed once the next is asked for).
void fresh_row_pool(ExecPlan *plan, EvalContext *c) {
    if (plan->scope->enclosing) return;
    QueryStatement *st = c->statement;
    st->scratch_used = 0;
    if (++st->rows_since_reset < 64) return;
    st->rows_since_reset = 0;
    CvPool *fresh = cv_mem_alloc_handle(st->exec_pool);
    if (!fresh) no_memory(c);
    cv_mem_release_handle(st->row_pool);
    st->row_pool = fresh;
    st->env.pool = fresh;
}

bool limit_reached(ExecPlan *plan, GroupState *g) {
    if (g->limit > 0 && plan->produced >= g->limit) {
        plan->done = 1;
        return true;
    }
    return false;
}

// ---- set functions without GROUP BY ----

int aggregate_fetch(ExecPlan *plan) {
    EvalContext c{plan->statement};
    GroupState *g = state_of(plan);
    if (plan->done || limit_reached(plan, g)) return 100;
    reset_accumulators(plan, g, &c);
    // COUNT(*) alone over a join: the pairs are counted, never built.
    bool counted = false;
    bool only_count = g->acc_count > 0;
    for (int i = 0; i < g->acc_count; i++)
        only_count = only_count && g->accs[i].node->code == AGG_COUNT_STAR;
    int64_t rows = 0;
    if (only_count && plan_count_rows(plan, &rows, &c)) {
        for (int i = 0; i < g->acc_count; i++) g->accs[i].count = rows;
        counted = true;
    }
    if (!counted)
        while (plan_rows_next(plan, &c) == 0) accumulate_all(g, &c);
    finish_distinct(g, &c);
    plan->done = 1;
    fresh_row_pool(plan, &c);
    plan_evaluate_results(plan, &c);
    plan->produced++;
    return 0;
}

// ---- GROUP BY ----

void write_columns(ExecPlan *plan, ByteBuffer &out, EvalContext *c) {
    for (int s = 0; s < plan->scan_count; s++) {
        TableScan &scan = plan->scans[s];
        for (int i = 0; i < scan.slot->column_count; i++) {
            Value *v = scan.values[i];
            if (!v) continue;
            if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
            payload_append(out, v);
        }
    }
}

void restore_columns(ExecPlan *plan, const uint8_t *data, size_t length, EvalContext *c) {
    size_t at = 0;
    for (int s = 0; s < plan->scan_count; s++) {
        TableScan &scan = plan->scans[s];
        for (int i = 0; i < scan.slot->column_count; i++) {
            Value *v = scan.values[i];
            if (!v) continue;
            int r = payload_restore(data, length, &at, v, scan.capacity[i], plan->pool);
            if (r == -2) no_memory(c);
            if (r != 0) raise_evaluation_error(c, "HY000", "General error: %s", "error in sort routine");
        }
    }
}

Sort *new_sort(ExecPlan *plan, int unique, EvalContext *c) {
    QueryStatement *st = c->statement;
    SortOptions o{};
    o.budget = st->connection.work_mem_size;
    o.unique = unique;
    o.directory = st->connection.work_dir_path;
    o.deadline = st->deadline;
    o.cancel = st->connection.cancel;
    Sort *s = sort_start(plan->pool, &o);
    if (!s) raise_evaluation_error(c, "HY000", "General error: %s", "error in starting sort routine");
    return s;
}

void fill_groups(ExecPlan *plan, GroupState *g, EvalContext *c) {
    g->group_sort = new_sort(plan, 0, c);
    ByteBuffer &key = *g->key;
    ByteBuffer &payload = *g->payload;
    while (plan_rows_next(plan, c) == 0) {
        key.clear();
        payload.clear();
        try {
            for (int k = 0; k < g->group_count; k++) {
                Value *v = evaluate_expression(g->group_exprs[k], c);
                if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
                key_append(key, v, settle(&g->group_forms[k], v), false);
            }
            write_columns(plan, payload, c);
        } catch (const std::bad_alloc &) {
            no_memory(c);
        }
        int r = sort_add(g->group_sort, key.data(), key.size(), payload.data(), payload.size());
        if (r != 0) sort_failure(g->group_sort, r, c);
    }
    int r = sort_finish(g->group_sort);
    if (r != 0) sort_failure(g->group_sort, r, c);
    g->filled = 1;
}

int grouped_fetch(ExecPlan *plan) {
    EvalContext c{plan->statement};
    GroupState *g = state_of(plan);
    if (plan->done || limit_reached(plan, g)) return 100;
    if (!g->filled) fill_groups(plan, g, &c);
    for (;;) {
        fresh_row_pool(plan, &c);
        const uint8_t *key, *payload;
        size_t key_length, payload_length;
        int r = sort_fetch(g->group_sort, &key, &key_length, &payload, &payload_length);
        if (r == 100) {
            plan->done = 1;
            return 100;
        }
        if (r != 0) sort_failure(g->group_sort, r, &c);
        g->group_key->assign(key, key + key_length);
        reset_accumulators(plan, g, &c);
        for (;;) {
            restore_columns(plan, payload, payload_length, &c);
            accumulate_all(g, &c);
            r = sort_fetch(g->group_sort, &key, &key_length, &payload, &payload_length);
            if (r == 100) break;
            if (r != 0) sort_failure(g->group_sort, r, &c);
            if (key_length != g->group_key->size() || std::memcmp(key, g->group_key->data(), key_length) != 0) {
                sort_push_back(g->group_sort);
                break;
            }
        }
        finish_distinct(g, &c);
        Node *having = plan->scope->having;
        if (having && evaluate_condition(having, &c) != kTrue) continue;
        plan_evaluate_results(plan, &c);
        plan->produced++;
        return 0;
    }
}

// ---- DISTINCT ----

int distinct_fetch(ExecPlan *plan) {
    EvalContext c{plan->statement};
    GroupState *g = state_of(plan);
    QueryScope *scope = plan->scope;
    if (plan->done || limit_reached(plan, g)) return 100;
    if (!g->filled) {
        g->distinct_sort = new_sort(plan, 1, &c);
        ByteBuffer &key = *g->key;
        ByteBuffer &payload = *g->payload;
        while (g->inner(plan) == 0) {
            key.clear();
            payload.clear();
            try {
                for (int i = 0; i < scope->column_count; i++) {
                    Value *v = plan->results[i];
                    key_append(key, v, settle(&g->column_forms[i], v), false);
                    payload_append(payload, v);
                }
            } catch (const std::bad_alloc &) {
                no_memory(&c);
            }
            int r = sort_add(g->distinct_sort, key.data(), key.size(), payload.data(), payload.size());
            if (r != 0) sort_failure(g->distinct_sort, r, &c);
        }
        int r = sort_finish(g->distinct_sort);
        if (r != 0) sort_failure(g->distinct_sort, r, &c);
        g->filled = 1;
        plan->done = 0;
        plan->produced = 0;
    }
    fresh_row_pool(plan, &c);
    const uint8_t *key, *payload;
    size_t key_length, payload_length;
    int r = sort_fetch(g->distinct_sort, &key, &key_length, &payload, &payload_length);
    if (r == 100) {
        plan->done = 1;
        return 100;
    }
    if (r != 0) sort_failure(g->distinct_sort, r, &c);
    size_t at = 0;
    for (int i = 0; i < scope->column_count; i++) {
        int rr = payload_read(payload, payload_length, &at, c.statement->row_pool, &plan->results[i]);
        if (rr == -2) no_memory(&c);
        if (rr != 0) raise_evaluation_error(&c, "HY000", "General error: %s", "error in sort routine");
    }
    plan->produced++;
    return 0;
}

void register_accumulators(ExecPlan *plan, GroupState *g, EvalContext *c) {
    QueryStatement *st = c->statement;
    if (st->aggregates_generation != st->generation) {
        st->aggregates = nullptr;
        st->aggregates_generation = st->generation;
    }
    for (int i = 0; i < g->acc_count; i++) {
        auto *r = pool_new<Registered>(st->exec_pool);
        if (!r) no_memory(c);
        r->node = g->accs[i].node;
        r->accumulator = &g->accs[i];
        r->next = static_cast<Registered *>(st->aggregates);
        st->aggregates = r;
    }
    (void)plan;
}

}  // namespace

void sort_failure(Sort *sort, int code, EvalContext *c) {
    if (code == 6) raise_evaluation_error(c, "HYT00", "Timeout expired");
    if (code == 7) raise_evaluation_error(c, "HY008", "Operation canceled");
    if (code == 2) raise_evaluation_error(c, "HY001", "Memory allocation error");
    raise_evaluation_error(c, "HY000", "General error: %s", sort_error(sort));
}

void group_setup(ExecPlan *plan, EvalContext *c) {
    QueryScope *scope = plan->scope;
    const int aggregates = ListCount(scope->select_aggregates) + ListCount(scope->having_aggregates);
    const bool grouped = scope->group_by != nullptr;
    if (!grouped && aggregates == 0 && !scope->distinct) return;
    auto *g = pool_new<GroupState>(plan->pool);
    if (!g) no_memory(c);
    try {
        g->key = new (cv_mem_alloc(plan->pool, sizeof(ByteBuffer))) ByteBuffer();
        g->payload = new (cv_mem_alloc(plan->pool, sizeof(ByteBuffer))) ByteBuffer();
        g->group_key = new (cv_mem_alloc(plan->pool, sizeof(ByteBuffer))) ByteBuffer();
    } catch (...) {
        no_memory(c);
    }
    auto destroy = [](void *arg) {
        auto *gs = static_cast<GroupState *>(arg);
        for (ByteBuffer *b : {gs->key, gs->payload, gs->group_key})
            if (b) b->~ByteBuffer();
        for (int k = 0; gs->accs && k < gs->acc_count; k++) {
            delete gs->accs[k].seen;
            sort_release(gs->accs[k].overflow);
        }
    };
    if (!cv_mem_on_release(plan->pool, destroy, g)) no_memory(c);
    plan->sort = g;
    g->plan = plan;
    g->limit = plan->limit;
    plan->limit = 0;
    g->acc_count = aggregates;
    g->accs = pool_new_array<Accumulator>(plan->pool, static_cast<size_t>(aggregates ? aggregates : 1));
    if (!g->accs) no_memory(c);
    int i = 0;
    for (List *list : {scope->select_aggregates, scope->having_aggregates})
        for (ListCell *cell = ListFirst(list); cell; cell = ListNext(cell)) {
            Accumulator &acc = g->accs[i++];
            acc.node = node_cast<AggregateNode>(ListData(cell));
            // One key form for every argument value, from the argument's
            // type, so that 1 and 1.0 of one column are one value.
            if (acc.node->distinct) acc.form = form_of_node(acc.node->distinct_column ? acc.node->distinct_column : acc.node->argument);
        }
    register_accumulators(plan, g, c);
    int distinct_functions = 0;
    for (int k = 0; k < g->acc_count; k++) distinct_functions += g->accs[k].node->distinct ? 1 : 0;
    // The statement's work memory shared by the DISTINCT set functions.
    g->distinct_cap = sort_memory_budget(c->statement->connection.work_mem_size) /
                      (distinct_functions > 0 ? distinct_functions : 1);
    if (grouped) {
        g->grouped = 1;
        g->group_count = ListCount(scope->group_by->list);
        g->group_exprs = pool_new_array<Node *>(plan->pool, static_cast<size_t>(g->group_count + 1));
        g->group_forms = pool_new_array<KeyForm>(plan->pool, static_cast<size_t>(g->group_count + 1));
        if (!g->group_exprs || !g->group_forms) no_memory(c);
        int k = 0;
        for (ListCell *cell = ListFirst(scope->group_by->list); cell; cell = ListNext(cell), k++) {
            g->group_exprs[k] = node_cast<Node>(ListData(cell));
            g->group_forms[k] = form_of_node(g->group_exprs[k]);
        }
        plan->fetch_operation = grouped_fetch;
    } else if (aggregates > 0) {
        g->aggregated = 1;
        plan->fetch_operation = aggregate_fetch;
    } else {
        // DISTINCT over plain rows: the direct operation feeds the sort.
        plan->limit = 0;
    }
    if (scope->distinct) {
        g->distinct = 1;
        g->inner = plan->fetch_operation;
        g->column_forms = pool_new_array<KeyForm>(plan->pool, static_cast<size_t>(scope->column_count + 1));
        if (!g->column_forms) no_memory(c);
        for (int k = 0; k < scope->column_count; k++) g->column_forms[k] = form_of_sql_type(scope->columns[k].type.sql_type);
        plan->fetch_operation = distinct_fetch;
    }
}

void group_open(ExecPlan *plan) {
    GroupState *g = state_of(plan);
    if (!g) return;
    sort_release(g->group_sort);
    sort_release(g->distinct_sort);
    g->group_sort = g->distinct_sort = nullptr;
    g->filled = 0;
}

Value *aggregate_value(AggregateNode *node, EvalContext *c) {
    QueryStatement *st = c->statement;
    if (st->aggregates_generation == st->generation)
        for (auto *r = static_cast<Registered *>(st->aggregates); r; r = r->next)
            if (r->node == node) return result_of(*r->accumulator, c);
    raise_evaluation_error(c, "HY000", "Unexpected type in eval expr");
}
