// WHERE alternatives and table statistics (optimise.h).
#include "query/optimise.h"

#include <cstring>
#include <new>
#include <string>

#include "query/plan.h"
#include "query/validate.h"
#include "sql/chain.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

using Conjuncts = std::vector<Node *>;

// The disjunctive form of `n` as lists of conjuncts; false past the cap.
// AND and OR chains are taken operand by operand in a loop (an IN list is
// an OR chain of thousands), recursing only where the class changes; an OR
// chain with more operands than alternatives allowed is given up at once.
bool disjuncts(Node *n, std::vector<Conjuncts> &out) {
    std::vector<Node *> parts;
    if (is_chain(n, OPCLASS_OR)) {
        chain_operands(n, OPCLASS_OR, parts);
        if (parts.size() > static_cast<size_t>(kMaxAlternatives)) return false;
        out.clear();
        for (Node *part : parts) {
            std::vector<Conjuncts> sub;
            if (!disjuncts(part, sub)) return false;
            if (out.size() + sub.size() > static_cast<size_t>(kMaxAlternatives)) return false;
            for (Conjuncts &s : sub) out.push_back(std::move(s));
        }
        return true;
    }
    if (is_chain(n, OPCLASS_AND)) {
        chain_operands(n, OPCLASS_AND, parts);
        out.assign(1, Conjuncts{});
        for (Node *part : parts) {
            std::vector<Conjuncts> sub;
            if (!disjuncts(part, sub)) return false;
            if (sub.size() == 1) {
                // The common case, a plain conjunct: added in place, so a
                // long AND chain costs linear time.
                for (Conjuncts &a : out) a.insert(a.end(), sub[0].begin(), sub[0].end());
                continue;
            }
            if (out.size() * sub.size() > static_cast<size_t>(kMaxDistributed)) return false;
            std::vector<Conjuncts> product;
            for (const Conjuncts &a : out)
                for (const Conjuncts &b : sub) {
                    Conjuncts both = a;
                    both.insert(both.end(), b.begin(), b.end());
                    product.push_back(std::move(both));
                }
            out = std::move(product);
        }
        return true;
    }
    out.assign(1, Conjuncts{n});
    return true;
}

// A comparison with NULL (an IN list's NULL item, a NULL an expanded
// sub-query returned) is never true, nor is any conjunction holding one.
bool never_true(const Conjuncts &parts) {
    for (const Node *p : parts) {
        if (!p || p->kind != NODE_OPERATOR) continue;
        const auto *o = node_cast<OperatorNode>(p);
        if (o->op_class != OPCLASS_OPERATOR || !is_comparison_op(o->op)) continue;
        for (const Node *side : {o->left, o->right})
            if (side && side->kind == NODE_VALUE && node_cast<Value>(side)->is_null) return true;
    }
    return false;
}

Node *and_of(ExecPlan *plan, const Conjuncts &parts, EvalContext *c) {
    Node *chain = nullptr;
    for (Node *p : parts) {
        if (!chain) {
            chain = p;
            continue;
        }
        auto *o = pool_new<OperatorNode>(plan->pool);
        if (!o) raise_evaluation_error(c, "HY001", "Memory allocation error");
        o->kind = NODE_OPERATOR;
        o->op_class = OPCLASS_AND;
        o->left = chain;
        o->right = p;
        chain = reinterpret_cast<Node *>(o);
    }
    return chain;
}

Node *operator_node(ExecPlan *plan, int op_class, int op, Node *left, Node *right, EvalContext *c) {
    auto *o = pool_new<OperatorNode>(plan->pool);
    if (!o) raise_evaluation_error(c, "HY001", "Memory allocation error");
    o->kind = NODE_OPERATOR;
    o->op_class = op_class;
    o->op = op;
    o->left = left;
    o->right = right;
    return reinterpret_cast<Node *>(o);
}

Node *truth_node(ExecPlan *plan, bool truth, EvalContext *c) {
    Value *v = new_value_of_type(plan->pool, VT_BIT);
    if (!v) raise_evaluation_error(c, "HY001", "Memory allocation error");
    v->data.i = truth ? 1 : 0;
    return reinterpret_cast<Node *>(v);
}

// Runs an uncorrelated one-column sub-query for at most `limit` + 1 rows;
// false when it cannot be expanded.
bool run_subquery(ExecPlan *plan, Node *spec, int limit, std::vector<Value *> &out, EvalContext *c) {
    if (!spec || spec->kind != NODE_QUERY_SPEC) return false;
    auto *scope = static_cast<QueryScope *>(node_cast<QuerySpecNode>(spec)->scope);
    if (!scope || scope->correlated || scope->column_count != 1) return false;
    ExecPlan *sub = plan_create(c->statement, scope, plan->pool);
    plan_open(sub, c);
    while (plan_next(sub, c) == 0) {
        if (static_cast<int>(out.size()) == limit) {
            plan_close(sub);
            return false;
        }
        Value *v = duplicate_value(sub->results[0], plan->pool);
        if (!v) raise_evaluation_error(c, "HY001", "Memory allocation error");
        out.push_back(v);
    }
    plan_close(sub);
    return true;
}

Node *expand(ExecPlan *plan, Node *n, EvalContext *c) {
    if (!n) return n;
    if (n->kind == NODE_OPERATOR) {
        auto *o = node_cast<OperatorNode>(n);
        if (o->op_class == OPCLASS_AND || o->op_class == OPCLASS_OR) {
            // Chains are expanded operand by operand in a loop and joined
            // again (left-deep) only when an operand changed.
            std::vector<Node *> parts;
            chain_operands(n, o->op_class, parts);
            bool changed = false;
            for (Node *&part : parts) {
                Node *e = expand(plan, part, c);
                changed = changed || e != part;
                part = e;
            }
            if (!changed) return n;
            Node *chain = parts[0];
            for (size_t i = 1; i < parts.size(); i++)
                chain = operator_node(plan, o->op_class, 0, chain, parts[i], c);
            return chain;
        }
        if (o->op_class == OPCLASS_NOT) {
            Node *l = expand(plan, o->left, c), *r = expand(plan, o->right, c);
            if (l == o->left && r == o->right) return n;
            return operator_node(plan, o->op_class, o->op, l, r, c);
        }
        if (o->op_class == OPCLASS_OPERATOR && is_comparison_op(o->op) && o->right &&
            o->right->kind == NODE_QUERY_SPEC) {
            std::vector<Value *> values;
            if (!run_subquery(plan, o->right, 1, values, c) || values.size() != 1) return n;
            return operator_node(plan, OPCLASS_OPERATOR, o->op, o->left, reinterpret_cast<Node *>(values[0]), c);
        }
        return n;
    }
    if (n->kind == NODE_IN_SUBQUERY) {
        auto *in = node_cast<InSubqueryNode>(n);
        std::vector<Value *> values;
        if (!run_subquery(plan, in->subquery, kMaxExpandedRows, values, c)) return n;
        if (values.empty()) return truth_node(plan, in->negated != 0, c);
        Node *chain = nullptr;
        for (Value *v : values) {
            Node *cmp = operator_node(plan, OPCLASS_OPERATOR, in->negated ? OP_NE : OP_EQ, in->operand,
                                      reinterpret_cast<Node *>(v), c);
            chain = chain ? operator_node(plan, in->negated ? OPCLASS_AND : OPCLASS_OR, 0, chain, cmp, c) : cmp;
        }
        return chain;
    }
    return n;
}

void release_statistics(void *arg) { delete static_cast<TableStatistics *>(arg); }

int read_int(DalIterator *it, int column, int32_t *out) {
    SQLLEN length = 0;
    *out = 0;
    int r = DALGetData(it, column, SQL_C_LONG, out, sizeof *out, &length);
    if (r != DAL_OK && r != DAL_INFO) return -1;
    return length == SQL_NULL_DATA ? 1 : 0;
}

void gather(QueryStatement *st, TableSlot *slot, TableStatistics *stats) {
    DalIterator *it = DALOpenIterator(st->connection.dal_handle, st->connection.dal);
    if (!it) return;
    SqiInfo key{};
    key.table = slot->info.table;
    if (DALGetInfo(it, &slot->info, SQI_INFO_REQUIRED_KEY, &key) == DAL_OK && key.integer > 0 &&
        key.integer <= slot->column_count)
        stats->required_key = key.integer;
    int r = DALStatistics(it, dal_text(slot->info.catalog), dal_text(slot->info.schema), dal_text(slot->info.table),
                          SQL_INDEX_ALL, SQL_QUICK, slot->info.provider_index);
    std::vector<std::string> names;
    for (int rows = 0; (r == DAL_OK || r == DAL_INFO) && rows < 10000; rows++) {
        r = DALNextRow(it);
        if (r != DAL_OK && r != DAL_INFO) break;
        int32_t type = 0, non_unique = 0, ordinal = 0, cardinality = 0;
        if (read_int(it, 7, &type) < 0) break;
        if (type == SQL_TABLE_STAT) {
            if (read_int(it, 11, &cardinality) == 0 && cardinality > 0) stats->rows = cardinality;
            continue;
        }
        char index[kDalNameSize] = {}, column[kDalNameSize] = {};
        SQLLEN length = 0;
        if (DALGetData(it, 6, SQL_C_CHAR, index, sizeof index, &length) != DAL_OK || length == SQL_NULL_DATA) continue;
        if (DALGetData(it, 9, SQL_C_CHAR, column, sizeof column, &length) != DAL_OK || length == SQL_NULL_DATA) continue;
        (void)read_int(it, 4, &non_unique);
        (void)read_int(it, 8, &ordinal);
        int col = 0;
        for (int i = 0; i < slot->column_count && !col; i++)
            if (names_match(column, 0, slot->columns[i].column)) col = i + 1;
        if (!col) continue;
        size_t k = 0;
        while (k < names.size() && names[k] != index) k++;
        if (k == names.size()) {
            names.emplace_back(index);
            stats->indexes.push_back(IndexStatistics{non_unique == 0, {}});
        }
        stats->indexes[k].columns.push_back(col);
    }
    DALCloseIterator(it);
}

}  // namespace

int prepare_alternatives(ExecPlan *plan, Node *where, Node **out, EvalContext *c) {
    out[0] = where;
    if (!where) return 1;
    std::vector<Conjuncts> parts;
    try {
        if (!disjuncts(where, parts) || parts.size() <= 1) return 1;
    } catch (const std::bad_alloc &) {
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
    // Alternatives that can hold for no row are not scanned at all.
    int n = 0;
    for (const Conjuncts &p : parts)
        if (!never_true(p)) out[n++] = and_of(plan, p, c);
    if (n == 0) {
        out[0] = where;
        return 1;
    }
    return n;
}

Node *expand_subqueries(ExecPlan *plan, Node *where, EvalContext *c) {
    try {
        return expand(plan, where, c);
    } catch (const std::bad_alloc &) {
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
}

const TableStatistics *table_statistics(QueryStatement *st, TableSlot *slot, EvalContext *c) {
    if (slot->statistics) return static_cast<const TableStatistics *>(slot->statistics);
    auto *stats = new (std::nothrow) TableStatistics;
    if (!stats || !cv_mem_on_release(st->parse_pool, release_statistics, stats)) {
        delete stats;
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
    try {
        if (st->connection.dal && !slot->derived) gather(st, slot, stats);
    } catch (const std::bad_alloc &) {
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    }
    slot->statistics = stats;
    return stats;
}

bool is_key_lookup(const TableStatistics *stats, const std::vector<int> &columns) {
    // The leading column of a unique index is enough: a child table's key
    // is its parent's key and a position, and the parent's key finds the
    // rows (often the only way the provider can read them).
    for (const IndexStatistics &ix : stats->indexes) {
        if (!ix.unique || ix.columns.empty()) continue;
        for (int c : columns)
            if (c == ix.columns[0]) return true;
    }
    for (int c : columns)
        if (c == stats->required_key) return true;
    return false;
}
