// The SQL parser's entry points and its context record.
//
// A ParseContext holds the tree of one statement text. The caller creates it
// in a pool, parses one text into it and keeps it (and the tree) until it is
// released. The parser is reentrant: its scanner and parser state live on
// the caller's stack, so any number of threads may parse at once and no
// process-wide lock is taken.
//
// Exports: ParseContext, ParseRestriction, RestrictedColumn,
// create_parse_context, release_parse_context, parse_sql_text, message_of,
// kMaxStatementLength.
#pragma once

#include <cstdint>

struct CvPool;
struct Node;

constexpr int kMaxStatementLength = 1048576;  // characters

struct ParseContext {
    Node *root;                // NODE_LIST of the statements; null until a parse succeeds
    CvPool *node_pool;         // every node of the tree lives here
    CvPool *owner_pool;        // the pool the context was allocated from
    char message[256];         // last error, "%s near '%s'"
    char sqlstate[6];          // SQLSTATE of the last error: "42000" unless a literal set its own
    int32_t parameter_count;   // "?" markers met so far
    int32_t return_parameter;  // number of the {?=call} marker (set by callers)
};

/// A column of a view's result, as the views provider describes it.
struct RestrictedColumn {
    int32_t number;        // select-list position, from 1 (0 = none)
    const char *catalog;   // names from the column's ColumnInfo; null or ""
    const char *schema;    //   when absent
    const char *table;
    const char *column;
};

/// One restriction to AND into every top-level query specification.
struct ParseRestriction {
    int32_t op;                 // comparison operator code (OP_LT .. OP_NE)
    RestrictedColumn column;    // the restricted column (left operand)
    Node *value;                // right operand expression, or null for
    RestrictedColumn second;    //   a column-to-column restriction with `second`
};

/// Allocates a context in `pool` with a fresh child pool for the nodes.
/// Returns null when either allocation fails (the caller reports HY001).
[[nodiscard]] ParseContext *create_parse_context(CvPool *pool);

/// Releases the node pool (and the tree) and frees the context. Null is ignored.
void release_parse_context(ParseContext *context);

/// Parses `text`, a writable zero-terminated copy that is changed in place
/// (control characters outside quotes become blanks, trailing blanks and ";"
/// are cut). With `restriction_count` > 0 the restrictions are ANDed into the
/// WHERE condition of every top-level query specification (each UNION
/// branch), not into subqueries or derived tables.
/// Returns 0 with `root` set; 1 syntax error or text too long; 2 parser
/// stack exhausted, nesting past kMaxNesting, tree deeper than kMaxTreeDepth
/// or memory exhausted; -1 an
/// error found by a production (bad literal, unknown function, ...).
/// `message` is set on every failure, `sqlstate` too: 42000, or 22007 / 22008
/// for a datetime literal of no valid shape / with a field out of range.
[[nodiscard]] int parse_sql_text(ParseContext *context, char *text, int restriction_count,
                                 const ParseRestriction *restrictions);

/// The message buffer of the last failure.
[[nodiscard]] const char *message_of(const ParseContext *context);
