// Chain operands (see chain.h).
#include "sql/chain.h"

#include "sql/parse_tree.h"

bool is_chain(const Node *node, int32_t op_class) {
    return node && node->kind == NODE_OPERATOR &&
           node_cast<OperatorNode>(node)->op_class == op_class &&
           (op_class == OPCLASS_AND || op_class == OPCLASS_OR);
}

namespace {

// 1 for +, - and ||, 2 for * and /, 0 for anything else (unary minus,
// comparisons, AND / OR).
int arithmetic_level(const Node *n) {
    if (!n || n->kind != NODE_OPERATOR) return 0;
    const auto *o = node_cast<OperatorNode>(n);
    if (o->op_class != OPCLASS_OPERATOR || !o->left) return 0;
    if (o->op == OP_ADD || o->op == OP_SUB || o->op == OP_CONCAT) return 1;
    if (o->op == OP_MUL || o->op == OP_DIV) return 2;
    return 0;
}

}  // namespace

bool continues_arithmetic(const Node *top, const Node *left) {
    const int level = arithmetic_level(top);
    return level != 0 && arithmetic_level(left) == level;
}

void chain_operands(Node *top, int32_t op_class, std::vector<Node *> &out) {
    if (!is_chain(top, op_class)) {
        out.push_back(top);
        return;
    }
    // Right sides wait on a stack while the loop goes down the left side,
    // so a left-deep chain keeps one pending node per level it has passed
    // and the operands come out left to right.
    std::vector<Node *> pending{top};
    while (!pending.empty()) {
        Node *n = pending.back();
        pending.pop_back();
        while (is_chain(n, op_class)) {
            auto *o = node_cast<OperatorNode>(n);
            pending.push_back(o->right);
            n = o->left;
        }
        out.push_back(n);
    }
}
