// Plans: setup of scans and row values, the WHERE alternatives, nested
// loops over the scans and the direct fetch operation.
//
// Alternatives: a WHERE clause that is an OR of conditions, over a single
// table, becomes one scan per disjunct so that each can offer its own
// restrictions. A row found by a later alternative is dropped when an
// earlier disjunct holds for it, so no row comes twice. Every row is checked
// against the whole WHERE condition.
#include <cstring>
#include <ctime>

#include "query/group.h"
#include "query/join.h"
#include "query/join_order.h"
#include "query/optimise.h"
#include "query/plan.h"
#include "query/restrictions.h"
#include "query/rewrite.h"
#include "query/scan.h"
#include "support/value_ops.h"

namespace {


void build_alternatives(ExecPlan *plan, EvalContext *c) {
    Node *where = plan->scope->core ? plan->scope->core->where : nullptr;
    if (where && c->statement->connection.in_expansion) where = expand_subqueries(plan, where, c);
    Node *parts[kMaxAlternatives];
    int n = 1;
    parts[0] = where;
    if (where && plan->scan_count == 1) {
        n = prepare_alternatives(plan, where, parts, c);
        // Split only when every disjunct offers the provider something;
        // otherwise one scan reading everything is cheaper.
        // (A single part left is what remains of an OR once the disjuncts
        // that hold for no row went: its restrictions are offered, and the
        // whole WHERE is still checked on every row.)
        bool every = true;
        for (int i = 0; i < n && n > 1 && every; i++)
            if (ListCount(restriction_candidates(plan, 0, parts[i], c)) == 0) every = false;
        if (!every) {
            n = 1;
            parts[0] = where;
        }
    }
    plan->alternative_count = n;
    plan->alternatives = pool_new_array<Alternative>(plan->pool, static_cast<size_t>(n));
    if (!plan->alternatives) raise_evaluation_error(c, "HY001", "Memory allocation error");
    for (int a = 0; a < n; a++) {
        Alternative &alt = plan->alternatives[a];
        alt.condition = parts[a];
        alt.candidates = pool_new_array<List *>(plan->pool, static_cast<size_t>(plan->scan_count ? plan->scan_count : 1));
        if (!alt.candidates) raise_evaluation_error(c, "HY001", "Memory allocation error");
        for (int s = 0; s < plan->scan_count; s++) alt.candidates[s] = restriction_candidates(plan, s, parts[a], c);
    }
}

struct Deepest {
    const ExecPlan *plan;
    int level;
};

void note_level(const TableSlot *slot, void *arg) {
    auto *d = static_cast<Deepest *>(arg);
    const int level = slot ? unit_level(d->plan, slot->position - 1) : d->plan->unit_count - 1;
    if (level > d->level) d->level = level;
}

// WHERE's conjuncts by the deepest level of the nested loop whose rows they
// read, so that each is checked as soon as that level has a row: an outer
// row they reject opens no inner table (no keyed read for it). A conjunct
// holding a sub-query (which may read any level) waits for the last level;
// those of the last level are what `accepted` checks.
void build_level_filters(ExecPlan *plan, EvalContext *c) {
    Node *where = plan->scope->core ? plan->scope->core->where : nullptr;
    const int n = plan->unit_count;
    if (!where || n < 2 || plan->alternative_count != 1) return;
    plan->level_filters = pool_new_array<List *>(plan->pool, static_cast<size_t>(n));
    if (!plan->level_filters) raise_evaluation_error(c, "HY001", "Memory allocation error");
    Node *stack[64];
    int top = 0;
    stack[top++] = where;
    while (top > 0) {
        Node *part = stack[--top];
        if (part->kind == NODE_OPERATOR && node_cast<OperatorNode>(part)->op_class == OPCLASS_AND && top + 2 <= 64) {
            stack[top++] = node_cast<OperatorNode>(part)->right;
            stack[top++] = node_cast<OperatorNode>(part)->left;
            continue;
        }
        Deepest d{plan, 0};
        const int level = walk_plan_columns(plan, part, false, note_level, &d) ? d.level : n - 1;
        List *l = ListAppend(plan->level_filters[level], part, plan->pool);
        if (!l) raise_evaluation_error(c, "HY001", "Memory allocation error");
        plan->level_filters[level] = l;
    }
}

bool level_passes(ExecPlan *plan, int k, EvalContext *c) {
    for (ListCell *cell = ListFirst(plan->level_filters[k]); cell; cell = ListNext(cell))
        if (evaluate_condition(static_cast<Node *>(ListData(cell)), c) != kTrue) return false;
    return true;
}

void fresh_row_pool(ExecPlan *plan, EvalContext *c);
void check_deadline(EvalContext *c);

// The next combination of rows of the current alternative: 0, or 100 when
// it is exhausted. Outer levels' rows that their WHERE conjuncts reject are
// passed over here (the last level's are left to `accepted`).
int next_combination(ExecPlan *plan, EvalContext *c) {
    const int n = plan->unit_count;
    int k;
    if (!plan->positioned) {
        plan->positioned = 1;
        k = 0;
        unit_open(plan, 0, c);
    } else {
        k = n - 1;
    }
    for (;;) {
        if (unit_fetch(plan, k, c) == 0) {
            if (k == n - 1) return 0;
            if (plan->level_filters && !level_passes(plan, k, c)) {
                fresh_row_pool(plan, c);
                check_deadline(c);
                continue;
            }
            k++;
            unit_open(plan, k, c);
            continue;
        }
        if (k == 0) return 100;
        k--;
    }
}

// Before each candidate row of a top-level query the scratch values start
// again, and every few rows the row pool is replaced, so temporaries never
// pile up over a long scan (memory stays flat) while replacing the pool
// costs little per row.
void fresh_row_pool(ExecPlan *plan, EvalContext *c) {
    if (plan->scope->enclosing) return;
    QueryStatement *st = c->statement;
    st->scratch_used = 0;
    if (++st->rows_since_reset < 64) return;
    st->rows_since_reset = 0;
    CvPool *fresh = cv_mem_alloc_handle(st->exec_pool);
    if (!fresh) raise_evaluation_error(c, "HY001", "Memory allocation error");
    cv_mem_release_handle(st->row_pool);
    st->row_pool = fresh;
    st->env.pool = fresh;
}

// With alternatives, the rows of alternative k are those for which its own
// disjunct holds and no earlier one does: each qualifying row comes from
// exactly one alternative, whatever the provider returned.
// The statement's query time-out, looked at every few hundred rows.
void check_deadline(EvalContext *c) {
    QueryStatement *st = c->statement;
    if (++st->rows_since_clock < 256) return;
    st->rows_since_clock = 0;
    const std::atomic<int32_t> *cancel = st->connection.cancel;
    if (cancel && cancel->load(std::memory_order_acquire)) raise_evaluation_error(c, "HY008", "Operation canceled");
    if (st->deadline != 0 && time(nullptr) > st->deadline) raise_evaluation_error(c, "HYT00", "Timeout expired");
}

bool accepted(ExecPlan *plan, EvalContext *c) {
    if (plan->alternative_count > 1) {
        if (evaluate_condition(plan->alternatives[plan->current].condition, c) != kTrue) return false;
        for (int a = 0; a < plan->current; a++)
            if (evaluate_condition(plan->alternatives[a].condition, c) == kTrue) return false;
        return true;
    }
    if (plan->level_filters) return level_passes(plan, plan->unit_count - 1, c);
    Node *where = plan->scope->core ? plan->scope->core->where : nullptr;
    return !where || evaluate_condition(where, c) == kTrue;
}

}  // namespace

void plan_evaluate_results(ExecPlan *plan, EvalContext *c) {
    if (plan->skip_results || plan->results_fixed) return;
    QueryScope *scope = plan->scope;
    bool plain = true;
    for (int i = 0; i < scope->column_count; i++) {
        Node *e = scope->columns[i].expression;
        // A plain column reference (all of SELECT *) is the scan's own row
        // value: the general evaluation is not run for it.
        // row_column_value has read a deferred value already; under
        // results_unread the caller reads it (query_settle_value).
        Value *v;
        if (e && e->kind == NODE_COLUMN_REF) {
            v = plan->results_unread ? row_column_unread(node_cast<ColumnRefNode>(e), c)
                                     : row_column_value(node_cast<ColumnRefNode>(e), c);
        } else {
            plain = false;
            v = evaluate_expression(e, c);
            if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
        }
        v->piece_offset = 0;
        plan->results[i] = v;
    }
    // Unread plain columns of one base table are that scan's own values,
    // the same records every row (scan_fetch marks them afresh): the
    // results stand as they are for the rest of the plan.
    if (plain && plan->results_unread && plan->scan_count == 1 && !plan->scans[0].slot->derived)
        plan->results_fixed = 1;
}

int plan_rows_next(ExecPlan *plan, EvalContext *c) {
    if (plan->combinations_done) return 100;
    if (plan->scan_count == 0) {
        plan->combinations_done = 1;
        fresh_row_pool(plan, c);
        return accepted(plan, c) ? 0 : 100;
    }
    for (;;) {
        fresh_row_pool(plan, c);
        check_deadline(c);
        if (next_combination(plan, c) != 0) {
            if (plan->current + 1 >= plan->alternative_count) {
                plan->combinations_done = 1;
                return 100;
            }
            plan->current++;
            plan->positioned = 0;
            continue;
        }
        if (accepted(plan, c)) return 0;
    }
}

bool plan_count_rows(ExecPlan *plan, int64_t *count, EvalContext *c) {
    Node *where = plan->scope->core ? plan->scope->core->where : nullptr;
    if (where || plan->alternative_count != 1 || plan->unit_count != 1 || plan->positioned ||
        plan->combinations_done || plan->scope->enclosing)
        return false;
    fresh_row_pool(plan, c);
    plan->positioned = 1;
    unit_open(plan, 0, c);
    if (!join_countable(plan, 0)) return false;
    int64_t total = 0, matches = 0;
    for (;;) {
        fresh_row_pool(plan, c);
        check_deadline(c);
        if (join_count_next(plan, 0, &matches, c) != 0) break;
        total += matches;
    }
    plan->combinations_done = 1;
    *count = total;
    return true;
}

namespace {

int direct_fetch(ExecPlan *plan) {
    EvalContext c{plan->statement};
    if (plan->done) return 100;
    if (plan->limit > 0 && plan->produced >= plan->limit) {
        plan->done = 1;
        return 100;
    }
    if (plan_rows_next(plan, &c) != 0) return 100;
    plan_evaluate_results(plan, &c);
    plan->produced++;
    return 0;
}

}  // namespace

ExecPlan *plan_create(QueryStatement *st, QueryScope *scope, CvPool *parent) {
    EvalContext c{st};
    scope = rewrite_query(st, scope, &c);
    if (scope->unsupported)
        raise_evaluation_error(&c, "HYC00", "Optional feature not implemented: %s", scope->unsupported);
    CvPool *pool = cv_mem_alloc_handle(parent);
    auto *plan = pool ? pool_new<ExecPlan>(pool) : nullptr;
    if (!plan) {
        cv_mem_release_handle(pool);
        raise_evaluation_error(&c, "HY001", "Memory allocation error");
    }
    plan->kind = kPlanKind;
    plan->pool = pool;
    plan->statement = st;
    plan->scope = scope;
    plan->scan_count = scope->slot_count;
    plan->scans = pool_new_array<TableScan>(pool, static_cast<size_t>(scope->slot_count ? scope->slot_count : 1));
    plan->results = pool_new_array<Value *>(pool, static_cast<size_t>(scope->column_count ? scope->column_count : 1));
    // The scans' iterators belong to this pool (DALOpenIteratorIn): releasing
    // it closes any still open.
    if (!plan->scans || !plan->results)
        raise_evaluation_error(&c, "HY001", "Memory allocation error");
    for (int i = 0; i < scope->slot_count; i++) scan_setup(plan, i, &c);
    build_alternatives(plan, &c);
    (void)choose_join_order(plan, &c);
    join_setup(plan, &c);
    build_level_filters(plan, &c);
    int64_t limit = scope->top > 0 ? scope->top : 0;
    if (!scope->enclosing && st->options.max_rows > 0 && (limit == 0 || st->options.max_rows < limit))
        limit = st->options.max_rows;
    plan->limit = limit;
    plan->fetch_operation = direct_fetch;
    group_setup(plan, &c);
    return plan;
}

void plan_open(ExecPlan *plan, EvalContext *) {
    plan->current = 0;
    plan->positioned = 0;
    plan->produced = 0;
    plan->done = 0;
    plan->combinations_done = 0;
    group_open(plan);
    join_reset(plan);
    for (int i = 0; i < plan->scan_count; i++) plan->scans[i].slot->scan = &plan->scans[i];
}

int plan_next(ExecPlan *plan, EvalContext *) { return plan->fetch_operation(plan); }

void plan_allow_unread_results(ExecPlan *plan) {
    // Grouping, DISTINCT and EXISTS read the values themselves.
    plan->results_unread = plan->fetch_operation == direct_fetch && !plan->skip_results ? 1 : 0;
}


void plan_close(ExecPlan *plan) {
    if (!plan) return;
    for (int i = 0; i < plan->scan_count; i++) scan_close(&plan->scans[i]);
}
