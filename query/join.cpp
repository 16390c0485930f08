// Levels of the nested loop: tables, tables read once, FROM-clause joins
// (join.h).
#include "query/join.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "query/band_join.h"
#include "query/keyed_reads.h"
#include "query/optimise.h"
#include "query/restrictions.h"
#include "query/row_store.h"
#include "query/scan.h"
#include "query/sort.h"
#include "query/sort_record.h"
#include "sql/chain.h"
#include "support/long_buffer.h"
#include "support/value_ops.h"

// Rows of a range of scans kept in memory: the used column values of each
// row, one after another.
struct RowCache {
    RowStore rows;
    std::unordered_map<std::string, std::vector<uint32_t>> index;  // equality keys
    bool filled = false;
    // A table read once: the equalities that take outer rows' values, as
    // (column from 1, value expression, key form); rows are looked up by them.
    std::vector<int> key_columns;
    std::vector<Node *> key_values;
    std::vector<KeyForm> key_forms;
    const std::vector<uint32_t> *candidates = nullptr;
    // Without equalities: WHERE's bounds on one of the table's columns by
    // the outer levels' rows (band_join.h), used while the rows are decoded.
    // WHERE itself is still checked on every combination.
    Band band;
    bool banded = false;
    bool use_band = false;
    size_t band_end = 0;
};

struct JoinExec;

struct Side {
    int32_t lo, hi;                // scans
    JoinExec *join;                // or null: the table at lo
};

struct KeyPair {
    Node *inner;                   // expression over the inner side
    Node *outer;                   // expression over the outer side (or constant)
    KeyForm form;
};

struct JoinExec {
    JoinSpec *spec;
    Side outer, inner;
    RowCache cache;
    std::vector<KeyPair> keys;     // equalities of ON between the sides
    bool keys_are_on = false;      // ON is these equalities and nothing else
    std::vector<uint8_t> matched;  // FULL: per inner row
    const std::vector<uint32_t> *candidates = nullptr;
    size_t position = 0;           // in the candidates, or the inner row number
    bool need_outer = true;
    bool outer_matched = false;
    bool outer_done = false;       // FULL: unmatched inner rows now
    bool all_rows = false;         // no index: every inner row is a candidate
    ByteBuffer key;
    KeyedReads *keyed = nullptr;   // an inner table read by key for each outer row, else null
    // Keyed: conjuncts over the outer rows alone, checked before the inner
    // table is read. WHERE's reject the outer row; ON's leave it no match.
    std::vector<Node *> outer_where, outer_on;
    bool no_inner = false;         // keyed: ON fails for this outer row whatever the inner row
    // Without equalities: ON's bounds on one inner column (band_join.h),
    // used while the inner rows are kept decoded.
    Band band;
    bool banded = false;           // ON has bounds
    bool use_band = false;         // and the current filling is sorted by them
    size_t band_end = 0;           // end of the current outer row's run
};

struct PlanUnit {
    int32_t lo, hi;
    JoinExec *join;                // a FROM-clause join, else a table
    RowCache *cache;               // a table read once, else null
    KeyedReads *keyed;             // a table read by key for each outer row, else null
    size_t position;
};

namespace {

[[noreturn]] void no_memory(EvalContext *c) { raise_evaluation_error(c, "HY001", "Memory allocation error"); }

void destroy_join(void *arg) { delete static_cast<JoinExec *>(arg); }
void destroy_cache(void *arg) { delete static_cast<RowCache *>(arg); }

void set_null(ExecPlan *plan, int lo, int hi) {
    for (int s = lo; s < hi; s++) {
        TableScan &scan = plan->scans[s];
        for (int i = 0; i < scan.slot->column_count; i++)
            if (Value *v = scan.values[i]) {
                v->deferred = 0;
                v->is_null = -1;
            }
    }
}

void forget_rows(RowCache &cache) {
    row_store_clear(cache.rows);
    cache.index.clear();
}

// The scans of a side get their own values back from every join read once
// inside it, before NULLs are written into them.
void unpoint_side(const Side &s) {
    if (!s.join) return;
    row_store_unpoint(s.join->cache.rows);
    unpoint_side(s.join->outer);
    unpoint_side(s.join->inner);
}

// ---- sides ----

void join_open(ExecPlan *plan, JoinExec *j, EvalContext *c);
int join_fetch(ExecPlan *plan, JoinExec *j, EvalContext *c);

void side_open(ExecPlan *plan, Side &s, EvalContext *c) {
    if (s.join) join_open(plan, s.join, c);
    else scan_open(plan, s.lo, c);
}

int side_fetch(ExecPlan *plan, Side &s, EvalContext *c) {
    return s.join ? join_fetch(plan, s.join, c) : scan_fetch(plan, s.lo, c);
}

// ---- equality keys of ON ----

struct Within {
    int lo, hi;
    bool outside;
    bool refs;
};

void note_within(const TableSlot *slot, void *arg) {
    auto *w = static_cast<Within *>(arg);
    int p = slot ? slot->position - 1 : -1;
    if (p < w->lo || p >= w->hi) w->outside = true;
    w->refs = true;
}

bool only_within(ExecPlan *plan, Node *e, int lo, int hi, bool *refs) {
    Within w{lo, hi, false, false};
    const bool plain = walk_plan_columns(plan, e, false, note_within, &w);
    *refs = w.refs;
    return plain && !w.outside;
}

struct Bound {
    const uint8_t *bound;
    int lo, hi;         // some reference must fall here
    bool outside, inside;
};

void note_bound(const TableSlot *slot, void *arg) {
    auto *b = static_cast<Bound *>(arg);
    const int p = slot ? slot->position - 1 : -1;
    if (p < 0 || !b->bound[p]) b->outside = true;
    if (p >= b->lo && p < b->hi) b->inside = true;
}

// The conjuncts of `condition` that read only rows in `bound`, some of them
// in scans [lo, hi), and no sub-query.
void bound_conjuncts(ExecPlan *plan, Node *condition, const uint8_t *bound, int lo, int hi, std::vector<Node *> &out) {
    std::vector<Node *> parts;
    split_conjuncts(condition, parts);
    for (Node *n : parts) {
        Bound b{bound, lo, hi, false, false};
        if (walk_plan_columns(plan, n, false, note_bound, &b) && !b.outside && b.inside) out.push_back(n);
    }
}

bool all_true(const std::vector<Node *> &conditions, EvalContext *c) {
    for (Node *n : conditions)
        if (evaluate_condition(n, c) != kTrue) return false;
    return true;
}

KeyForm form_of(Node *e) {
    return expression_key_form(e);
}

// Equalities whose values the byte keys compare exactly as `=` does (the
// one order of values, engine/value_order.h): numbers of any two kinds in
// the form joining theirs, texts, dates and times.
bool hashable(KeyForm f) {
    return f == KeyForm::kInteger || f == KeyForm::kDouble || f == KeyForm::kDecimal || f == KeyForm::kText ||
           f == KeyForm::kDateTime;
}

void collect_keys(ExecPlan *plan, JoinExec *j, Node *n) {
    if (!n) return;
    if (n->kind == NODE_OPERATOR) {
        auto *o = node_cast<OperatorNode>(n);
        if (o->op_class == OPCLASS_AND) {
            // A long AND chain is taken in a loop, not by recursing down it.
            std::vector<Node *> parts;
            chain_operands(n, OPCLASS_AND, parts);
            for (Node *part : parts) collect_keys(plan, j, part);
            return;
        }
        if (o->op_class != OPCLASS_OPERATOR || o->op != OP_EQ || !o->left || !o->right) return;
        Node *sides[2] = {o->left, o->right};
        for (int first = 0; first < 2; first++) {
            Node *in = sides[first], *out = sides[1 - first];
            bool in_refs = false, out_refs = false;
            if (!only_within(plan, in, j->inner.lo, j->inner.hi, &in_refs) || !in_refs) continue;
            if (!only_within(plan, out, j->outer.lo, j->outer.hi, &out_refs)) continue;
            KeyForm f = key_form_join(form_of(in), form_of(out));
            if (!hashable(f)) continue;
            j->keys.push_back(KeyPair{in, out, f});
            return;
        }
    }
}

// The key of the current row for `which` side; false when a part is NULL
// (such a row matches nothing).
bool make_key(JoinExec *j, bool inner, EvalContext *c) {
    j->key.clear();
    for (const KeyPair &k : j->keys) {
        Value *v = evaluate_expression(inner ? k.inner : k.outer, c);
        if (v->is_null) return false;
        key_append(j->key, v, k.form, false);
    }
    return true;
}

void fill_inner(ExecPlan *plan, JoinExec *j, EvalContext *c) {
    RowCache &cache = j->cache;
    forget_rows(cache);
    cache.rows.budget = sort_memory_budget(c->statement->connection.work_mem_size);
    // Decoded when every outer row goes over a run or all of the inner rows;
    // an equality bucket holds few of them, each shown about once: payloads
    // are smaller there and as quick.
    cache.rows.decode = j->keys.empty();
    side_open(plan, j->inner, c);
    while (side_fetch(plan, j->inner, c) == 0) {
        auto row = static_cast<uint32_t>(cache.rows.count());
        row_store_keep_scans(plan, j->inner.lo, j->inner.hi, cache.rows, c);
        if (!j->keys.empty() && make_key(j, true, c))
            cache.index[std::string(reinterpret_cast<const char *>(j->key.data()), j->key.size())].push_back(row);
    }
    cache.filled = true;
    j->matched.assign(cache.rows.count(), 0);
    j->use_band = j->banded && cache.rows.decoded;
    if (j->use_band) band_sort(j->band, cache.rows, c);
}

void join_open(ExecPlan *plan, JoinExec *j, EvalContext *c) {
    try {
        if (!j->keyed && !j->cache.filled) fill_inner(plan, j, c);
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
    side_open(plan, j->outer, c);
    j->need_outer = true;
    j->outer_done = false;
    j->position = 0;
}

const std::vector<uint32_t> kNone;

// A join whose inner table is read by key: for each outer row, the rows the
// provider gives for that row's key are tried against ON.
int keyed_join_fetch(ExecPlan *plan, JoinExec *j, EvalContext *c) {
    for (;;) {
        if (j->need_outer) {
            if (side_fetch(plan, j->outer, c) != 0) return 100;
            if (!all_true(j->outer_where, c)) continue;
            j->need_outer = false;
            j->outer_matched = false;
            j->no_inner = !all_true(j->outer_on, c);
            if (!j->no_inner) keyed_reads_open(plan, j->keyed, c);
        }
        while (!j->no_inner && keyed_reads_fetch(plan, j->keyed, c) == 0) {
            if (j->spec->on && evaluate_condition(j->spec->on, c) != kTrue) continue;
            j->outer_matched = true;
            return 0;
        }
        j->need_outer = true;
        if (!j->outer_matched && j->spec->kind != kJoinInner) {
            set_null(plan, j->inner.lo, j->inner.hi);
            return 0;
        }
    }
}

// The inner rows to try with the current outer row: the run within ON's
// bounds, the rows of its equality key, or every row.
void choose_candidates(JoinExec *j, EvalContext *c) {
    j->position = 0;
    if (j->use_band) {
        band_run(j->band, j->cache.rows, c, &j->position, &j->band_end);
        return;
    }
    j->all_rows = j->keys.empty();
    j->candidates = &kNone;
    if (!j->all_rows && make_key(j, false, c)) {
        auto found = j->cache.index.find(
            std::string(reinterpret_cast<const char *>(j->key.data()), j->key.size()));
        if (found != j->cache.index.end()) j->candidates = &found->second;
    }
}

// The next candidate's inner row number; false when none is left.
bool next_candidate(JoinExec *j, size_t *row) {
    if (j->use_band) {
        if (j->position >= j->band_end) return false;
        *row = j->band.order[j->position++];
        return true;
    }
    const size_t count = j->all_rows ? j->cache.rows.count() : j->candidates->size();
    if (j->position >= count) return false;
    *row = j->all_rows ? j->position : (*j->candidates)[j->position];
    j->position++;
    return true;
}

// Whether the pair in the scans satisfies ON: within a band's run only the
// conjuncts besides its bounds are left to check.
bool pair_matches(JoinExec *j, EvalContext *c) {
    if (j->use_band) return all_true(j->band.residual, c);
    return !j->spec->on || evaluate_condition(j->spec->on, c) == kTrue;
}

int join_fetch(ExecPlan *plan, JoinExec *j, EvalContext *c) {
    if (j->keyed) return keyed_join_fetch(plan, j, c);
    const int kind = j->spec->kind;
    const size_t rows = j->cache.rows.count();
    for (;;) {
        if (j->outer_done) {
            // FULL: the inner rows that never matched, the outer side NULL.
            while (j->position < rows) {
                size_t r = j->position++;
                if (j->matched[r]) continue;
                row_store_restore_scans(plan, j->inner.lo, j->inner.hi, j->cache.rows, r, c);
                return 0;
            }
            row_store_unpoint(j->cache.rows);
            return 100;
        }
        if (j->need_outer) {
            if (side_fetch(plan, j->outer, c) != 0) {
                if (kind != kJoinFull) {
                    row_store_unpoint(j->cache.rows);  // the scans' own values for what follows
                    return 100;
                }
                j->outer_done = true;
                j->position = 0;
                unpoint_side(j->outer);
                set_null(plan, j->outer.lo, j->outer.hi);
                continue;
            }
            j->need_outer = false;
            j->outer_matched = false;
            try {
                choose_candidates(j, c);
            } catch (const std::bad_alloc &) {
                no_memory(c);
            }
        }
        size_t r = 0;
        while (next_candidate(j, &r)) {
            row_store_restore_scans(plan, j->inner.lo, j->inner.hi, j->cache.rows, r, c);
            if (!pair_matches(j, c)) continue;
            j->outer_matched = true;
            if (kind == kJoinFull) j->matched[r] = 1;
            return 0;
        }
        j->need_outer = true;
        if (!j->outer_matched && kind != kJoinInner) {
            row_store_unpoint(j->cache.rows);
            set_null(plan, j->inner.lo, j->inner.hi);
            return 0;
        }
    }
}

// Whether a row of slot `s` inside `spec` may be replaced by NULLs: it sits
// on the right of a LEFT join, the left of a RIGHT join, or in a FULL join,
// at any depth.
bool may_be_null_extended(const JoinSpec *spec, int s) {
    const bool left = s < spec->mid;
    if (spec->kind == kJoinFull || (spec->kind == kJoinLeft && !left) || (spec->kind == kJoinRight && left))
        return true;
    const JoinSpec *side = left ? spec->left : spec->right;
    return side && may_be_null_extended(side, s);
}

// Whether a side of a join is one base table whose provider refuses a scan
// without an equality on its key.
bool needs_key(ExecPlan *plan, bool joined, int lo, int hi, EvalContext *c) {
    if (joined || hi - lo != 1 || plan->scans[lo].slot->derived) return false;
    return table_statistics(c->statement, plan->scans[lo].slot, c)->required_key > 0;
}

// Whether a restriction's value takes something from the rows of this query
// (or is no plain value: a sub-query's answer, valued when the scan opens).
bool dependent(ExecPlan *plan, const Restriction *r) {
    auto *e = static_cast<Node *>(r->value_expression);
    bool refs = false;
    return e && !(only_within(plan, e, 0, 0, &refs) && !refs);
}

// The inner table of `j` read by key for each outer row, when it needs a key
// and the outer rows give it: besides the restrictions fixed for the
// execution, it takes those of ON and WHERE whose values come from the rows
// in `bound`. (Those of WHERE are comparisons and LIKEs, which a NULL fails:
// on a side that may be NULL-extended, a row they drop early turns into a
// NULL-extended row WHERE drops all the same; see join_setup.) Without the
// key it stays read once, and its provider says which column is missing.
void plan_keyed_inner(ExecPlan *plan, JoinExec *j, const JoinSpec *top, const uint8_t *bound, EvalContext *c) {
    const int s = j->inner.lo;
    if (plan->alternative_count != 1 || j->spec->kind == kJoinFull ||
        !needs_key(plan, j->inner.join != nullptr, s, j->inner.hi, c))
        return;
    const int key = table_statistics(c->statement, plan->scans[s].slot, c)->required_key;
    Alternative &alt = plan->alternatives[0];
    List *taken = alt.candidates[s];
    Node *conditions[2] = {j->spec->on, alt.condition};
    bool given = false;
    for (Node *condition : conditions)
        for (ListCell *cell = ListFirst(restriction_candidates_bound(plan, s, condition, bound, c)); cell;
             cell = ListNext(cell)) {
            auto *r = static_cast<Restriction *>(ListData(cell));
            if (!dependent(plan, r)) continue;  // fixed ones are there already
            List *l = ListAppend(taken, r, plan->pool);
            if (!l) no_memory(c);
            taken = l;
        }
    for (ListCell *cell = ListFirst(taken); cell; cell = ListNext(cell)) {
        auto *r = static_cast<Restriction *>(ListData(cell));
        given = given || (r->column_number == key && r->op == OP_EQ && r->value_expression);
    }
    if (!given) return;
    alt.candidates[s] = taken;
    j->keyed = keyed_reads_create(plan, s, c);
    // Conjuncts of the outer rows alone are checked before the key is read.
    // WHERE's only when no join holding this one may NULL-extend the outer
    // side: dropping its rows early could turn them into NULL-extended ones.
    bool preserved = true;
    for (int o = j->outer.lo; o < j->outer.hi; o++) preserved = preserved && !may_be_null_extended(top, o);
    if (preserved) bound_conjuncts(plan, alt.condition, bound, j->outer.lo, j->outer.hi, j->outer_where);
    bound_conjuncts(plan, j->spec->on, bound, j->outer.lo, j->outer.hi, j->outer_on);
}

// `bound`: per scan, whether its row is current whenever this join is opened
// (the tables of outer levels of the nested loop, the outer sides of the
// joins holding this one); on the inner side of a join read once, none is.
JoinExec *make_join(ExecPlan *plan, JoinSpec *spec, const JoinSpec *top, const std::vector<uint8_t> &bound,
                    EvalContext *c) {
    auto *j = new (std::nothrow) JoinExec;
    if (!j) no_memory(c);
    if (!cv_mem_on_release(plan->pool, destroy_join, j)) {
        delete j;
        no_memory(c);
    }
    j->spec = spec;
    // The inner side is the NULL-extended one; an inner join takes as its
    // inner side a table that needs the other side's key.
    const bool swap = spec->kind == kJoinRight ||
                      (spec->kind == kJoinInner && needs_key(plan, spec->left != nullptr, spec->lo, spec->mid, c) &&
                       !needs_key(plan, spec->right != nullptr, spec->mid, spec->hi, c));
    JoinSpec *outer_spec = swap ? spec->right : spec->left;
    JoinSpec *inner_spec = swap ? spec->left : spec->right;
    j->outer = swap ? Side{spec->mid, spec->hi, nullptr} : Side{spec->lo, spec->mid, nullptr};
    j->inner = swap ? Side{spec->lo, spec->mid, nullptr} : Side{spec->mid, spec->hi, nullptr};
    try {
        if (outer_spec) j->outer.join = make_join(plan, outer_spec, top, bound, c);
        std::vector<uint8_t> inner_bound = bound;
        for (int s = j->outer.lo; s < j->outer.hi; s++) inner_bound[static_cast<size_t>(s)] = 1;
        if (inner_spec)
            j->inner.join = make_join(plan, inner_spec, top, std::vector<uint8_t>(bound.size(), 0), c);
        else
            plan_keyed_inner(plan, j, top, inner_bound.data(), c);
        if (!j->keyed) collect_keys(plan, j, spec->on);
        if (!j->keys.empty()) {
            std::vector<Node *> parts;
            split_conjuncts(spec->on, parts);
            j->keys_are_on = parts.size() == j->keys.size();
        }
        if (!j->keyed && j->keys.empty() && spec->on) {
            std::vector<uint8_t> outer(static_cast<size_t>(plan->scan_count), 0);
            for (int s = j->outer.lo; s < j->outer.hi; s++) outer[static_cast<size_t>(s)] = 1;
            j->banded = band_plan(plan, spec->on, j->inner.lo, j->inner.hi, outer, j->band);
        }
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
    return j;
}

void reset_join(JoinExec *j) {
    if (!j) return;
    j->cache.filled = false;
    if (j->keyed) keyed_reads_reset(j->keyed);
    reset_join(j->outer.join);
    reset_join(j->inner.join);
}

// Whether the restrictions of scan `index` take nothing from the rows of
// this query (only literals, parameters and enclosing queries' values).
bool restrictions_fixed(ExecPlan *plan, int index) {
    for (int a = 0; a < plan->alternative_count; a++)
        for (ListCell *cell = ListFirst(plan->alternatives[a].candidates[index]); cell; cell = ListNext(cell)) {
            auto *r = static_cast<Restriction *>(ListData(cell));
            auto *e = static_cast<Node *>(r->value_expression);
            if (!e) continue;
            bool refs = false;
            if (!only_within(plan, e, 0, 0, &refs) || refs) return false;
        }
    return true;
}

// The restrictions of scan `index` in alternative `a` that take nothing from
// the rows of this query; with `null_failing`, only those a NULL fails.
List *fixed_restrictions(ExecPlan *plan, int a, int index, bool null_failing, EvalContext *c) {
    List *kept = nullptr;
    for (ListCell *cell = ListFirst(plan->alternatives[a].candidates[index]); cell; cell = ListNext(cell)) {
        auto *r = static_cast<Restriction *>(ListData(cell));
        auto *e = static_cast<Node *>(r->value_expression);
        bool refs = false;
        if (e && (!only_within(plan, e, 0, 0, &refs) || refs)) continue;
        if (null_failing && r->op == RESTRICT_IS_NULL) continue;
        List *l = ListAppend(kept, r, plan->pool);
        if (!l) no_memory(c);
        kept = l;
    }
    return kept;
}

// The conjuncts of the ON conditions of `spec` and of the joins nested in
// it that slot `s` may apply itself: those of an inner join, and of an outer
// join only on its NULL-extended side (a preserved row that fails ON still
// comes out, with NULLs). A row dropped early then could never have
// satisfied that ON. Only values fixed for the execution are taken (the
// sides are read once), and on a side where `s` may itself be NULL-extended
// by a nested join only conditions a NULL fails (not IS NULL).
void on_restrictions(ExecPlan *plan, const JoinSpec *spec, int s, List **out, EvalContext *c) {
    const bool left = s < spec->mid;
    const JoinSpec *side = left ? spec->left : spec->right;
    if (side) on_restrictions(plan, side, s, out, c);
    const bool own_side = spec->kind == kJoinInner || (spec->kind == kJoinLeft && !left) ||
                          (spec->kind == kJoinRight && left);
    if (!own_side || !spec->on) return;
    const bool null_failing = side && may_be_null_extended(side, s);
    for (ListCell *cell = ListFirst(restriction_candidates(plan, s, spec->on, c)); cell; cell = ListNext(cell)) {
        auto *r = static_cast<Restriction *>(ListData(cell));
        auto *e = static_cast<Node *>(r->value_expression);
        bool refs = false;
        if (e && (!only_within(plan, e, 0, 0, &refs) || refs)) continue;
        if (null_failing && r->op == RESTRICT_IS_NULL) continue;
        List *l = ListAppend(*out, r, plan->pool);
        if (!l) no_memory(c);
        *out = l;
    }
}

KeyForm column_form(const TableSlot *slot, int column) {
    uint32_t vt = value_type_for_sql_type(slot->columns[column - 1].data_type, nullptr);
    return vt ? key_form_of_type(vt) : KeyForm::kOther;
}

// A table below the outermost level whose restrictions take outer rows'
// values: unless they form a key lookup (an equality on the leading column
// of a unique index: a keyed read per outer row), it is read once with the
// restrictions that do not depend on outer rows, and its rows are looked up
// by the equalities that do.
RowCache *plan_lookup_cache(ExecPlan *plan, int index, EvalContext *c) {
    List *kept = nullptr;
    std::vector<int> eq_columns;
    std::vector<Restriction *> dependent;
    for (ListCell *cell = ListFirst(plan->alternatives[0].candidates[index]); cell; cell = ListNext(cell)) {
        auto *r = static_cast<Restriction *>(ListData(cell));
        auto *e = static_cast<Node *>(r->value_expression);
        bool refs = false;
        if (!e || (only_within(plan, e, 0, 0, &refs) && !refs)) {
            List *l = ListAppend(kept, r, plan->pool);
            if (!l) no_memory(c);
            kept = l;
            continue;
        }
        dependent.push_back(r);
        if (r->op == OP_EQ) eq_columns.push_back(r->column_number);
    }
    TableSlot *slot = plan->scans[index].slot;
    if (is_key_lookup(table_statistics(c->statement, slot, c), eq_columns)) return nullptr;
    auto *cache = new (std::nothrow) RowCache;
    if (!cache) no_memory(c);
    if (!cv_mem_on_release(plan->pool, destroy_cache, cache)) {
        delete cache;
        no_memory(c);
    }
    for (Restriction *r : dependent) {
        if (r->op != OP_EQ) continue;
        auto *e = static_cast<Node *>(r->value_expression);
        KeyForm f = key_form_join(column_form(slot, r->column_number), form_of(e));
        if (!hashable(f)) continue;
        cache->key_columns.push_back(r->column_number);
        cache->key_values.push_back(e);
        cache->key_forms.push_back(f);
    }
    plan->alternatives[0].candidates[index] = kept;
    return cache;
}

}  // namespace

void join_setup(ExecPlan *plan, EvalContext *c) {
    QueryScope *scope = plan->scope;
    const int n = scope->element_count > 0 ? scope->element_count : plan->scan_count;
    plan->units = pool_new_array<PlanUnit>(plan->pool, static_cast<size_t>(n ? n : 1));
    if (!plan->units) no_memory(c);
    plan->unit_count = 0;
    int next = 0;
    for (int e = 0; e < n; e++) {
        PlanUnit &u = plan->units[plan->unit_count++];
        JoinSpec *spec = scope->element_count > 0 ? scope->elements[e] : nullptr;
        if (spec) {
            u.lo = spec->lo;
            u.hi = spec->hi;
            // Tables inside a join keep the WHERE restrictions that are fixed
            // for the execution (a side is read once). On a side that may be
            // NULL-extended only those a NULL fails keep: WHERE rejects the
            // NULL-extended row then as it would the rows left out, while an
            // IS NULL pushed down would turn rows it accepts into others.
            // ON conditions add their own (on_restrictions).
            for (int s = spec->lo; s < spec->hi; s++) {
                List *on = nullptr;
                on_restrictions(plan, spec, s, &on, c);
                for (int a = 0; a < plan->alternative_count; a++) {
                    List *kept = fixed_restrictions(plan, a, s, may_be_null_extended(spec, s), c);
                    for (ListCell *cell = ListFirst(on); cell; cell = ListNext(cell)) {
                        List *l = ListAppend(kept, ListData(cell), plan->pool);
                        if (!l) no_memory(c);
                        kept = l;
                    }
                    plan->alternatives[a].candidates[s] = kept;
                }
            }
            try {
                std::vector<uint8_t> bound(static_cast<size_t>(plan->scan_count), 0);
                for (int s = 0; s < spec->lo; s++) bound[static_cast<size_t>(s)] = 1;  // outer levels
                u.join = make_join(plan, spec, spec, bound, c);
            } catch (const std::bad_alloc &) {
                no_memory(c);
            }
        } else {
            u.lo = next;
            u.hi = next + 1;
            const int level = plan->rank ? plan->rank[next] : e;
            if (level > 0 && plan->alternative_count == 1) {
                if (restrictions_fixed(plan, next)) {
                    u.cache = new (std::nothrow) RowCache;
                    if (!u.cache) no_memory(c);
                    if (!cv_mem_on_release(plan->pool, destroy_cache, u.cache)) {
                        delete u.cache;
                        no_memory(c);
                    }
                } else {
                    u.cache = plan_lookup_cache(plan, next, c);
                    if (!u.cache) u.keyed = keyed_reads_create(plan, next, c);
                }
            }
        }
        next = u.hi;
    }
    if (plan->rank)  // tables only: level k holds the table of rank k
        std::sort(plan->units, plan->units + plan->unit_count,
                  [plan](const PlanUnit &a, const PlanUnit &b) { return plan->rank[a.lo] < plan->rank[b.lo]; });
    // A table read once and gone over whole for every combination of the
    // levels above it: WHERE's bounds on one of its columns by their rows
    // pick the run of its rows to go over.
    Node *where = scope->core ? scope->core->where : nullptr;
    if (!where || plan->alternative_count != 1) return;
    try {
        std::vector<uint8_t> outer(static_cast<size_t>(plan->scan_count), 0);
        for (int k = 0; k < plan->unit_count; k++) {
            PlanUnit &u = plan->units[k];
            if (u.cache && u.cache->key_columns.empty())
                u.cache->banded = band_plan(plan, where, u.lo, u.hi, outer, u.cache->band);
            for (int s = u.lo; s < u.hi; s++) outer[static_cast<size_t>(s)] = 1;
        }
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
}

void join_reset(ExecPlan *plan) {
    for (int k = 0; k < plan->unit_count; k++) {
        PlanUnit &u = plan->units[k];
        if (u.cache) u.cache->filled = false;
        if (u.keyed) keyed_reads_reset(u.keyed);
        reset_join(u.join);
    }
}

void unit_open(ExecPlan *plan, int k, EvalContext *c) {
    PlanUnit &u = plan->units[k];
    if (u.join) {
        join_open(plan, u.join, c);
        return;
    }
    if (u.keyed) {
        keyed_reads_open(plan, u.keyed, c);
        return;
    }
    if (!u.cache) {
        scan_open(plan, u.lo, c);
        return;
    }
    u.position = 0;
    RowCache &cache = *u.cache;
    TableScan &scan = plan->scans[u.lo];
    ByteBuffer key;
    try {
        if (!cache.filled) {
            forget_rows(cache);
            cache.rows.budget = sort_memory_budget(c->statement->connection.work_mem_size);
            cache.rows.decode = cache.key_columns.empty();  // as for joins (fill_inner)
            scan_open(plan, u.lo, c);
            while (scan_fetch(plan, u.lo, c) == 0) {
                auto row = static_cast<uint32_t>(cache.rows.count());
                row_store_keep_scans(plan, u.lo, u.hi, cache.rows, c);
                if (cache.key_columns.empty()) continue;
                key.clear();
                bool null = false;
                for (size_t i = 0; i < cache.key_columns.size() && !null; i++) {
                    Value *v = scan.values[cache.key_columns[i] - 1];
                    if (v->deferred && read_deferred_value(v) < 0)
                        raise_evaluation_error(c, "HY000", "Data Read Error");
                    null = v->is_null != 0;
                    key_append(key, v, cache.key_forms[i], false);
                }
                if (!null) cache.index[std::string(reinterpret_cast<const char *>(key.data()), key.size())].push_back(row);
            }
            cache.filled = true;
            cache.use_band = cache.banded && cache.rows.decoded;
            if (cache.use_band) band_sort(cache.band, cache.rows, c);
        }
        cache.candidates = nullptr;
        if (cache.use_band) {
            band_run(cache.band, cache.rows, c, &u.position, &cache.band_end);
            return;
        }
        if (cache.key_columns.empty()) return;
        cache.candidates = &kNone;
        key.clear();
        for (size_t i = 0; i < cache.key_values.size(); i++) {
            Value *v = evaluate_expression(cache.key_values[i], c);
            if (v->is_null) return;
            key_append(key, v, cache.key_forms[i], false);
        }
        auto found = cache.index.find(std::string(reinterpret_cast<const char *>(key.data()), key.size()));
        if (found != cache.index.end()) cache.candidates = &found->second;
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
}

int unit_fetch(ExecPlan *plan, int k, EvalContext *c) {
    PlanUnit &u = plan->units[k];
    if (u.join) return join_fetch(plan, u.join, c);
    if (u.keyed) return keyed_reads_fetch(plan, u.keyed, c);
    if (!u.cache) return scan_fetch(plan, u.lo, c);
    RowCache &cache = *u.cache;
    const size_t count = cache.use_band     ? cache.band_end
                         : cache.candidates ? cache.candidates->size()
                                            : cache.rows.count();
    if (u.position >= count) {
        row_store_unpoint(cache.rows);
        return 100;
    }
    size_t row = cache.use_band     ? cache.band.order[u.position]
                 : cache.candidates ? (*cache.candidates)[u.position]
                                    : u.position;
    u.position++;
    row_store_restore_scans(plan, u.lo, u.hi, cache.rows, row, c);
    return 0;
}

int unit_level(const ExecPlan *plan, int index) {
    for (int k = 0; k < plan->unit_count; k++)
        if (index >= plan->units[k].lo && index < plan->units[k].hi) return k;
    return plan->unit_count - 1;
}

bool join_countable(const ExecPlan *plan, int k) {
    const JoinExec *j = plan->units[k].join;
    if (!j || j->keyed || j->spec->kind == kJoinFull) return false;
    return (j->use_band && j->band.residual.empty()) || (!j->keys.empty() && j->keys_are_on);
}

int join_count_next(ExecPlan *plan, int k, int64_t *rows, EvalContext *c) {
    JoinExec *j = plan->units[k].join;
    if (side_fetch(plan, j->outer, c) != 0) {
        row_store_unpoint(j->cache.rows);
        return 100;
    }
    size_t matches = 0;
    if (j->use_band) {
        size_t first = 0, last = 0;
        band_run(j->band, j->cache.rows, c, &first, &last);
        matches = last - first;
    } else {
        try {
            if (make_key(j, false, c)) {
                auto found = j->cache.index.find(
                    std::string(reinterpret_cast<const char *>(j->key.data()), j->key.size()));
                if (found != j->cache.index.end()) matches = found->second.size();
            }
        } catch (const std::bad_alloc &) {
            no_memory(c);
        }
    }
    *rows = matches > 0 ? static_cast<int64_t>(matches) : j->spec->kind == kJoinInner ? 0 : 1;
    return 0;
}
