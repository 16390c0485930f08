// The join order search (join_order.h).
#include "query/join_order.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "query/optimise.h"
#include "query/restrictions.h"
#include "sql/chain.h"

namespace {

constexpr double kOpenCost = 250.0;
constexpr int kMaxTables = 64;

struct Term {
    int table;          // the restricted table (scan index)
    int column;         // from 1
    int op;             // OP_* or RESTRICT_*
    uint64_t needs;     // tables the compared value refers to
};

// Adds the tables a compared value refers to.
void add_table(const TableSlot *slot, void *arg) {
    if (slot) *static_cast<uint64_t *>(arg) |= uint64_t{1} << (slot->position - 1);
}

int column_of(ExecPlan *plan, Node *n, int *table) {
    if (!n || n->kind != NODE_COLUMN_REF) return 0;
    auto *ref = node_cast<ColumnRefNode>(n);
    if (!scope_owns(plan->scope, ref->scope) || ref->outer_reference) return 0;
    auto *slot = static_cast<TableSlot *>(ref->table_slot);
    if (!slot) return 0;
    *table = slot->position - 1;
    return ref->column_position;
}

void add_term(ExecPlan *plan, Node *column_side, Node *value, int op, std::vector<Term> &out) {
    int table = -1;
    int column = column_of(plan, column_side, &table);
    if (!column) return;
    uint64_t tables = 0;
    if (value && !walk_plan_columns(plan, value, false, add_table, &tables)) return;  // not a plain value
    if ((tables >> table) & 1) return;
    out.push_back(Term{table, column, op, tables});
}

void collect_terms(ExecPlan *plan, Node *n, std::vector<Term> &out) {
    if (!n) return;
    if (n->kind == NODE_OPERATOR) {
        auto *o = node_cast<OperatorNode>(n);
        if (o->op_class == OPCLASS_AND) {
            // A long AND chain is taken in a loop, not by recursing down it.
            std::vector<Node *> parts;
            chain_operands(n, OPCLASS_AND, parts);
            for (Node *part : parts) collect_terms(plan, part, out);
            return;
        }
        if (o->op_class != OPCLASS_OPERATOR || !is_comparison_op(o->op)) return;
        if (o->right && o->right->kind == NODE_QUERY_SPEC) return;
        add_term(plan, o->left, o->right, o->op, out);
        add_term(plan, o->right, o->left, o->op, out);
    } else if (n->kind == NODE_LIKE) {
        add_term(plan, node_cast<LikeNode>(n)->operand, nullptr, RESTRICT_LIKE, out);
    } else if (n->kind == NODE_IS_NULL && !node_cast<IsNullNode>(n)->negated) {
        add_term(plan, node_cast<IsNullNode>(n)->operand, nullptr, RESTRICT_IS_NULL, out);
    }
}

struct Costing {
    ExecPlan *plan;
    std::vector<Term> terms;
    std::vector<const TableStatistics *> stats;
};

// Rows of `table` given the terms usable with the tables in `before`;
// `outer_only` counts only terms that need some of them (a lookup), and
// `*lookup` tells whether those include the leading column of a unique index.
double estimate(const Costing &k, int table, uint64_t before, bool with_outer, bool *lookup) {
    const TableStatistics *s = k.stats[static_cast<size_t>(table)];
    double rows = s->rows > 0 ? s->rows : 10000;
    double best = rows;
    std::vector<int> eq_columns, outer_eq;
    int used = 0;
    for (const Term &t : k.terms) {
        if (t.table != table || (t.needs & ~before)) continue;
        if (!with_outer && t.needs) continue;
        used++;
        double e;
        switch (t.op) {
        case OP_EQ: e = rows / 10; eq_columns.push_back(t.column); break;
        case OP_NE: e = rows - rows / 10; break;
        case RESTRICT_LIKE: e = rows / 100; break;
        case RESTRICT_IS_NULL: e = rows / 10; break;
        default: e = rows / 2; break;
        }
        if (t.op == OP_EQ && t.needs) outer_eq.push_back(t.column);
        best = std::min(best, e);
    }
    if (is_key_lookup(s, eq_columns)) best = 1;
    if (lookup) *lookup = !outer_eq.empty() && is_key_lookup(s, outer_eq);  // a required key too
    best *= std::pow(0.9, used);
    return best < 1 ? 1 : best;
}

// Whether every table of `order` that needs a key (the provider refuses a
// scan without an equality on it) is given one by the tables before it, or
// by literals and parameters.
bool keys_given(const Costing &k, const std::vector<int> &order) {
    uint64_t before = 0;
    for (const int t : order) {
        const int key = k.stats[static_cast<size_t>(t)]->required_key;
        bool given = key == 0;
        for (const Term &term : k.terms)
            given = given || (term.table == t && term.column == key && term.op == OP_EQ && !(term.needs & ~before));
        if (!given) return false;
        before |= uint64_t{1} << t;
    }
    return true;
}

// What an order costs to run (see join_order.h).
double cost_of(const Costing &k, const std::vector<int> &order) {
    double cost = 0, prefix = 1;
    uint64_t before = 0;
    for (size_t i = 0; i < order.size(); i++) {
        const int t = order[i];
        bool lookup = false;
        const double matches = estimate(k, t, before, true, &lookup);
        if (i == 0) {
            cost += kOpenCost + matches;
        } else if (lookup) {
            cost += kOpenCost * prefix + prefix * matches;
        } else {
            cost += kOpenCost + estimate(k, t, before, false, nullptr) + prefix * matches * 0.01;
        }
        prefix *= matches;
        cost += prefix * 0.01;  // combinations evaluated
        before |= uint64_t{1} << t;
    }
    return cost;
}

}  // namespace

int choose_join_order(ExecPlan *plan, EvalContext *c) {
    QueryScope *scope = plan->scope;
    const int n = plan->scan_count;
    if (n < 2 || n > kMaxTables || scope->element_count != n || plan->alternative_count != 1) return 0;
    for (int e = 0; e < scope->element_count; e++)
        if (scope->elements[e]) return 0;  // FROM-clause joins keep their order
    Node *where = plan->alternatives[0].condition;
    if (!where) return 0;
    Costing k;
    k.plan = plan;
    int costed = 0;
    std::vector<int> best_order;
    try {
        collect_terms(plan, where, k.terms);
        if (k.terms.empty()) return 0;
        for (int s = 0; s < n; s++) k.stats.push_back(table_statistics(c->statement, plan->scans[s].slot, c));
        std::vector<int> order(static_cast<size_t>(n));
        for (int i = 0; i < n; i++) order[static_cast<size_t>(i)] = i;
        // An order that leaves a table without the key it needs cannot run:
        // it never replaces one that can, and the FROM order gives way to
        // any that can.
        const bool from_runs = keys_given(k, order);
        const double first = cost_of(k, order);
        double best = first;
        bool best_runs = from_runs;
        best_order = order;
        costed = 1;
        auto better = [&](const std::vector<int> &candidate, double e) {
            const bool runs = keys_given(k, candidate);
            if (runs != best_runs) return runs;
            // The FROM order stays unless another is clearly cheaper.
            return e < best && (!from_runs || e < first * 0.9);
        };
        if (n <= kExhaustiveTables) {
            while (std::next_permutation(order.begin(), order.end())) {
                double e = cost_of(k, order);
                costed++;
                if (better(order, e)) {
                    best = e;
                    best_runs = keys_given(k, order);
                    best_order = order;
                }
            }
        } else {
            // Greedy: the cheapest next table, among those whose key (when
            // they need one) the tables chosen so far give, if any.
            std::vector<int> chosen;
            std::vector<bool> used(static_cast<size_t>(n), false);
            for (int step = 0; step < n; step++) {
                int pick = -1;
                double pick_cost = 0;
                bool pick_runs = false;
                for (int t = 0; t < n; t++) {
                    if (used[static_cast<size_t>(t)]) continue;
                    chosen.push_back(t);
                    const double e = cost_of(k, chosen);
                    const bool runs = keys_given(k, chosen);
                    costed++;
                    chosen.pop_back();
                    if (pick < 0 || (runs && !pick_runs) || (runs == pick_runs && e < pick_cost)) {
                        pick = t;
                        pick_cost = e;
                        pick_runs = runs;
                    }
                }
                used[static_cast<size_t>(pick)] = true;
                chosen.push_back(pick);
            }
            if (better(chosen, cost_of(k, chosen))) best_order = chosen;
        }
    } catch (const std::bad_alloc &) {
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
    bool identity = true;
    for (int i = 0; i < n; i++) identity = identity && best_order[static_cast<size_t>(i)] == i;
    if (identity) return costed;
    plan->rank = pool_new_array<int32_t>(plan->pool, static_cast<size_t>(n));
    if (!plan->rank) raise_evaluation_error(c, "HY001", "Memory allocation error");
    for (int i = 0; i < n; i++) plan->rank[best_order[static_cast<size_t>(i)]] = i;
    Alternative &alt = plan->alternatives[0];
    for (int s = 0; s < n; s++) alt.candidates[s] = restriction_candidates(plan, s, alt.condition, c);
    return costed;
}
