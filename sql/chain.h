// The operands of an AND or OR chain.
//
// "a OR b OR c" is a binary tree of one boolean class, left-deep as the
// grammar builds it (IN lists, BETWEEN and the engine's rewrites build the
// same shape), right-deep or mixed where the text adds parentheses. An IN
// list of 50,000 values is such a chain, so code that would recurse down
// both sides of an AND or OR node takes the chain's operands here, collected
// in a loop, and recurses only into operands of another kind.
//
// Sums and products are chains too: "a + b - c" is a left-deep tree of one
// precedence level (+, - and ||; or * and /), which the printer writes flat
// and the depth check counts as one level; the engine types and evaluates
// any left side of binary arithmetic in a loop.
//
// Exports: is_chain, chain_operands, continues_arithmetic.
#pragma once

#include <cstdint>
#include <vector>

struct Node;

/// True when `node` is an AND (op_class OPCLASS_AND) or OR node of `op_class`.
[[nodiscard]] bool is_chain(const Node *node, int32_t op_class);

/// Appends to `out`, in text order, the operands of the `op_class` chain
/// (OPCLASS_AND or OPCLASS_OR) under `top`: every node below it that is not
/// itself an operator of that class. A `top` of any other kind (a lone
/// condition, an OR under an AND) is appended alone. Nodes stay in the
/// tree's pool; `out` only points at them.
void chain_operands(Node *top, int32_t op_class, std::vector<Node *> &out);

/// True when `left`, the left operand of the binary arithmetic node `top`,
/// is itself binary arithmetic of the same precedence level, so that
/// "( l1 op l2 op r )" reads back as the same tree.
[[nodiscard]] bool continues_arithmetic(const Node *top, const Node *left);
