// The SQL printer: turns a parse tree back into SQL text.
//
// The text is handed piece by piece to the caller's emit function, in order;
// the caller measures (sums the lengths) or appends, possibly to a bounded
// buffer. Every printed tree parses back to a tree that prints the same text,
// so the output serves SQLNativeSql, stored view definitions, the engine's
// IN-list expansion and pass-through. The printer keeps no state of its own.
//
// Exports: SqlEmitFn, print_statements, print_tree, print_to_string.
#pragma once

#include <string>

struct Node;

/// Receives one zero-terminated piece of text; `out` is the caller's.
using SqlEmitFn = void (*)(const char *text, void *out);

/// Prints the statement list `root` (a NODE_LIST of statements), the
/// statements separated by "; ". Returns 0, or -1 when the tree is deeper
/// than the printer's bound (the text is then incomplete).
[[nodiscard]] int print_statements(const Node *root, SqlEmitFn emit, void *out);

/// Prints one node and everything below it. Returns as print_statements.
[[nodiscard]] int print_tree(const Node *node, SqlEmitFn emit, void *out);

/// Convenience for tests and internal callers: appends the printed text of
/// `node` (a statement list when `statements`) to `text`. Returns as above.
[[nodiscard]] int print_to_string(const Node *node, bool statements, std::string &text);
