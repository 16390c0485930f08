// Band joins: inner rows sorted by one column, runs found by binary search
// (band_join.h).
#include "query/band_join.h"

#include <algorithm>
#include <new>

#include "engine/describe_expression.h"
#include "engine/value_order.h"
#include "query/records.h"
#include "query/restrictions.h"
#include "query/row_store.h"
#include "support/value_ops.h"

namespace {

struct Within {
    const std::vector<uint8_t> *scans;
    bool outside;
};

void note_within(const TableSlot *slot, void *arg) {
    auto *w = static_cast<Within *>(arg);
    const int p = slot ? slot->position - 1 : -1;
    if (p < 0 || static_cast<size_t>(p) >= w->scans->size() || !(*w->scans)[static_cast<size_t>(p)])
        w->outside = true;
}

// Whether `e` is a plain value reading only the scans set in `scans`.
bool reads_only(ExecPlan *plan, Node *e, const std::vector<uint8_t> &scans) {
    Within w{&scans, false};
    return walk_plan_columns(plan, e, true, note_within, &w) && !w.outside;
}

// The scan and column (from 0) of `e` when it is a column of scans [lo, hi)
// of this plan.
bool inner_column(ExecPlan *plan, Node *e, int lo, int hi, int *scan, int *column) {
    if (!e || e->kind != NODE_COLUMN_REF) return false;
    auto *ref = node_cast<ColumnRefNode>(e);
    auto *slot = static_cast<TableSlot *>(ref->table_slot);
    if (!slot) return false;
    const int p = slot->position - 1;
    if (p < lo || p >= hi || plan->scope->slots[p] != slot) return false;
    if (ref->column_position < 1 || ref->column_position > slot->column_count) return false;
    *scan = p;
    *column = ref->column_position - 1;
    return plan->scans[p].values[*column] != nullptr;
}

// Forms whose values the one order compares as they are (no text read as a
// number or a date), so sorting by the inner values orders the comparisons.
bool ordered(KeyForm f) {
    return f == KeyForm::kInteger || f == KeyForm::kDouble || f == KeyForm::kDecimal ||
           f == KeyForm::kText || f == KeyForm::kDateTime;
}

int mirrored(int op) {
    switch (op) {
        case OP_LT:
            return OP_GT;
        case OP_GT:
            return OP_LT;
        case OP_LE:
            return OP_GE;
        default:
            return OP_LE;
    }
}

// -1, 0, 1: the inner value against the bound. A pair the one order does
// not compare raises what the comparison itself raises.
int order_of(const Value *inner, const Value *bound, int op, EvalContext *c) {
    int order = 0;
    if (value_order(inner, bound, &order) != OrderResult::kOk) {
        (void)compare_values_op(inner, bound, op, c);
        raise_evaluation_error(c, "HY000", "General error: %s",
                               "values without an order in a join");
    }
    return order;
}

}  // namespace

KeyForm expression_key_form(Node *e) {
    ExtendedType t{};
    if (describe_expression(e, 3, &t) != 0) return KeyForm::kOther;
    uint32_t vt = value_type_for_sql_type(t.sql_type, nullptr);
    return vt ? key_form_of_type(vt) : KeyForm::kOther;
}

bool band_plan(ExecPlan *plan, Node *condition, int inner_lo, int inner_hi,
               const std::vector<uint8_t> &outer, Band &band) {
    std::vector<Node *> parts;
    split_conjuncts(condition, parts);
    band = Band{};
    for (Node *n : parts) {
        bool taken = false;
        if (n->kind == NODE_OPERATOR) {
            auto *o = node_cast<OperatorNode>(n);
            const bool range = o->op == OP_LT || o->op == OP_LE || o->op == OP_GT || o->op == OP_GE;
            if (o->op_class == OPCLASS_OPERATOR && range && o->left && o->right) {
                Node *sides[2] = {o->left, o->right};
                for (int first = 0; first < 2 && !taken; first++) {
                    int scan = -1, column = -1;
                    Node *out = sides[1 - first];
                    if (!inner_column(plan, sides[first], inner_lo, inner_hi, &scan, &column))
                        continue;
                    if (band.scan >= 0 && (scan != band.scan || column != band.column)) continue;
                    if (!reads_only(plan, out, outer)) continue;
                    if (!ordered(key_form_join(expression_key_form(sides[first]),
                                               expression_key_form(out))))
                        continue;
                    band.scan = scan;
                    band.column = column;
                    band.bounds.push_back(BandBound{out, first == 0 ? o->op : mirrored(o->op)});
                    taken = true;
                }
            }
        }
        if (!taken) band.residual.push_back(n);
    }
    return !band.bounds.empty();
}

void band_sort(Band &band, const RowStore &rows, EvalContext *c) {
    band.sorted = false;
    const int k = row_store_column(rows, band.scan, band.column);
    if (k < 0) raise_evaluation_error(c, "HY000", "General error: %s", "join column not kept");
    const std::vector<Value> &cells = rows.cells[static_cast<size_t>(k)];
    try {
        band.order.clear();
        band.order.reserve(cells.size());
        for (size_t r = 0; r < cells.size(); r++)
            if (!cells[r].is_null) band.order.push_back(static_cast<uint32_t>(r));
    } catch (const std::bad_alloc &) {
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
    // Stable: rows of one value keep the order they were read in.
    std::stable_sort(band.order.begin(), band.order.end(), [&cells](uint32_t a, uint32_t b) {
        int order = 0;
        return value_order(&cells[a], &cells[b], &order) == OrderResult::kOk && order < 0;
    });
    band.sorted = true;
}

void band_run(const Band &band, const RowStore &rows, EvalContext *c, size_t *first, size_t *last) {
    const std::vector<Value> &cells =
        rows.cells[static_cast<size_t>(row_store_column(rows, band.scan, band.column))];
    size_t lo = 0, hi = band.order.size();
    for (const BandBound &b : band.bounds) {
        if (lo >= hi) break;
        const Value *x = evaluate_expression(b.outer, c);
        if (x->is_null) {
            lo = hi;
            break;
        }
        // The rows below the run's start (or from its end) are those the
        // predicate holds for: a prefix of the order.
        const bool strict = b.op == OP_GT || b.op == OP_LE;  // inner <= x is the prefix
        auto below = [&](uint32_t r) {
            const int o = order_of(&cells[r], x, b.op, c);
            return strict ? o <= 0 : o < 0;
        };
        const auto begin = band.order.begin() + static_cast<std::ptrdiff_t>(lo);
        const auto end = band.order.begin() + static_cast<std::ptrdiff_t>(hi);
        const size_t at =
            static_cast<size_t>(std::partition_point(begin, end, below) - band.order.begin());
        if (b.op == OP_GT || b.op == OP_GE)
            lo = at;
        else
            hi = at;
    }
    *first = lo;
    *last = hi < lo ? lo : hi;
}
