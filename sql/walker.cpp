// The expression walker (see walker.h for the children of each kind).
#include "sql/walker.h"

#include <vector>

#include "sql/parse_tree.h"

namespace {

struct Frame {
    Node *node;      // the node whose children are being walked
    int step;        // next fixed child to consider
    ListCell *cell;  // position in the current list child
    int index;       // argument index in a function's list
};

bool keyword_argument(const FunctionNode *f, int index) {
    const ScalarFunction *e = f->entry;
    if (!e || index < 0 || index >= e->argument_count || index >= kMaxFunctionArgs) return false;
    return (e->argument_masks[index] & kMaskKeyword) != 0;
}

// Next child of the frame's node, or null when there are no more. Lists are
// walked through `cell`; null list items are skipped.
Node *next_child(Frame &f) {
    Node *n = f.node;
    for (;;) {
        switch (n->kind) {
        case NODE_OPERATOR: {
            auto *o = node_cast<OperatorNode>(n);
            if (f.step == 0) { f.step = 1; if (o->left) return o->left; }
            if (f.step == 1) { f.step = 2; if (o->right) return o->right; }
            return nullptr;
        }
        case NODE_CAST:
            if (f.step++ == 0) return node_cast<CastNode>(n)->operand;
            return nullptr;
        case NODE_FUNCTION: {
            auto *fn = node_cast<FunctionNode>(n);
            while (f.step < 3) {
                Node *c = f.step == 0 ? fn->operand1 : f.step == 1 ? fn->operand2 : fn->operand3;
                f.step++;
                if (c) return c;
            }
            if (f.step == 3) {
                f.step = 4;
                f.cell = ListFirst(fn->arguments ? fn->arguments->list : nullptr);
                f.index = 0;
            }
            while (f.cell) {
                Node *c = node_cast<Node>(ListData(f.cell));
                int index = f.index++;
                f.cell = ListNext(f.cell);
                if (c && !keyword_argument(fn, index)) return c;
            }
            return nullptr;
        }
        case NODE_AGGREGATE: {
            auto *a = node_cast<AggregateNode>(n);
            if (f.step++ == 0) return a->distinct ? a->distinct_column : a->argument;
            return nullptr;
        }
        case NODE_TRIM_SPEC: {
            auto *t = node_cast<TrimSpecNode>(n);
            while (f.step < 2) {
                Node *c = f.step++ == 0 ? t->character : t->source;
                if (c) return c;
            }
            return nullptr;
        }
        case NODE_LIKE:
            if (f.step++ == 0) return node_cast<LikeNode>(n)->operand;
            return nullptr;
        case NODE_IS_NULL:
            if (f.step++ == 0) return node_cast<IsNullNode>(n)->operand;
            return nullptr;
        case NODE_QUANTIFIED:
            if (f.step++ == 0) return node_cast<QuantifiedNode>(n)->operand;
            return nullptr;
        case NODE_IN_SUBQUERY: {
            auto *in = node_cast<InSubqueryNode>(n);
            if (f.step == 0) {
                f.step = 1;
                f.cell = in->subquery ? nullptr : ListFirst(in->values ? in->values->list : nullptr);
                return in->operand;
            }
            while (f.cell) {
                Node *c = node_cast<Node>(ListData(f.cell));
                f.cell = ListNext(f.cell);
                if (c) return c;
            }
            return nullptr;
        }
        case NODE_CASE: {
            auto *c = node_cast<CaseNode>(n);
            if (f.step == 0) {
                f.step = 1;
                f.cell = ListFirst(c->whens ? c->whens->list : nullptr);
                if (c->operand) return c->operand;
            }
            if (f.step == 1) {
                while (f.cell) {
                    Node *w = node_cast<Node>(ListData(f.cell));
                    f.cell = ListNext(f.cell);
                    if (w) return w;
                }
                f.step = 2;
                if (c->else_result) return c->else_result;
            }
            return nullptr;
        }
        case NODE_NULLIF: {
            auto *x = node_cast<NullifNode>(n);
            if (f.step == 0) { f.step = 1; if (x->first) return x->first; }
            if (f.step == 1) { f.step = 2; if (x->second) return x->second; }
            return nullptr;
        }
        case NODE_WHEN: {
            auto *x = node_cast<WhenNode>(n);
            if (f.step == 0) { f.step = 1; if (x->condition) return x->condition; }
            if (f.step == 1) { f.step = 2; if (x->result) return x->result; }
            return nullptr;
        }
        case NODE_COALESCE: {
            auto *x = node_cast<CoalesceNode>(n);
            if (f.step == 0) {
                f.step = 1;
                f.cell = ListFirst(x->arguments ? x->arguments->list : nullptr);
            }
            while (f.cell) {
                Node *c = node_cast<Node>(ListData(f.cell));
                f.cell = ListNext(f.cell);
                if (c) return c;
            }
            return nullptr;
        }
        default:
            return nullptr;
        }
    }
}

bool visits_itself(const Node *n) {
    if (n->kind == NODE_COALESCE) return false;
    if (n->kind == NODE_IN_SUBQUERY) {
        const auto *in = node_cast<InSubqueryNode>(n);
        return in->subquery || in->values;
    }
    return true;
}

bool skipped(const Node *n) {
    if (n->kind != NODE_IN_SUBQUERY) return false;
    const auto *in = node_cast<InSubqueryNode>(n);
    return !in->subquery && !in->values;
}

}  // namespace

int walk_expression(Node *node, SqlVisitFn visit, void *context) {
    if (!node || skipped(node)) return 0;
    std::vector<Frame> stack;
    stack.reserve(32);
    stack.push_back(Frame{node, 0, nullptr, 0});
    while (!stack.empty()) {
        Node *child = next_child(stack.back());
        if (child) {
            if (!skipped(child)) stack.push_back(Frame{child, 0, nullptr, 0});
            continue;
        }
        Node *done = stack.back().node;
        stack.pop_back();
        if (visits_itself(done)) {
            int rc = visit(done, context);
            if (rc) return rc;
        }
    }
    return 0;
}
