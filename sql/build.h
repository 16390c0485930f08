// Tree building for the grammar's actions: node makers, the rewrites done
// while building (NOT pushed down, BETWEEN, IN lists, IIF, OVERLAPS, CONVERT),
// literal typing and function name resolution.
//
// Failures inside an action (a semantic error, memory exhausted) throw
// ParseFailure after writing the message; parse_sql_text catches it around
// the parser and returns the code. Nothing else throws it, and it never
// leaves parse_sql_text.
//
// Exports (to grammar.y and parser.cpp only): ParseFailure, ParserState,
// QualifiedName, IntervalText, the build_* / make_* functions, fail,
// fail_memory.
#pragma once

#include <cstdint>

#include "sql/parse_tree.h"
#include "sql/parser.h"
#include "sql/scanner.h"

struct ParseFailure {
    int code;  // the parse result: -1 semantic, 1 syntax, 2 memory
};

struct ParserState {
    ParseContext *context;   // the caller's context
    CvPool *pool;            // node pool
    SqlScanner scanner;      // the scanner and its feedback flags
    int open_wildcards;      // "t.*" references not yet taken by a select item
    ListNode *pending_from;  // FROM list of the select head being reduced
    Node *pending_where;     // its WHERE condition
    int nesting;             // brackets, CASE and escapes open at the current token
};

/// Writes "%s near '%s'" with the current token and throws ParseFailure.
[[noreturn]] void fail(ParserState *ps, int code, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void fail_memory(ParserState *ps);
/// As fail with code -1, and records `sqlstate` (five characters) for the caller.
[[noreturn]] void fail_state(ParserState *ps, const char *sqlstate, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
/// Writes the message for the parser's own errors (no throw).
void set_error_message(ParserState *ps, const char *message);

/// Allocates a zeroed node of kind `kind`; throws on exhaustion.
template <typename T>
T *make(ParserState *ps, uint32_t kind) {
    T *n = new_node<T>(kind, ps->pool);
    if (!n) fail_memory(ps);
    return n;
}
inline Node *as_node(void *p) { return static_cast<Node *>(p); }

ListNode *make_list(ParserState *ps, void *first);
ListNode *list_append(ParserState *ps, ListNode *list, void *item);
ListNode *make_empty_list(ParserState *ps);

// Names. A qualified name as written: up to four parts in text order, null
// for a part skipped with "..", and a star instead of the last name.
struct QualifiedName {
    IdentifierNode *parts[4];
    int count;
    bool star;
};
IdentifierNode *make_identifier(ParserState *ps, char *text, int quoted);
QualifiedName *make_qname(ParserState *ps, IdentifierNode *a, IdentifierNode *b,
                          IdentifierNode *c, IdentifierNode *d, int count, bool star);
ColumnRefNode *build_column_ref(ParserState *ps, QualifiedName *q);
TableNameNode *build_table_name(ParserState *ps, QualifiedName *q);
Node *build_select_item(ParserState *ps, Node *expression, IdentifierNode *alias);
void check_wildcards(ParserState *ps);

// Literals.
Value *make_value(ParserState *ps, uint32_t type);
/// The NULL keyword as a value (an IN list item, a comparison operand).
Value *make_null_literal(ParserState *ps);
Value *build_integer_literal(ParserState *ps, const char *digits);
Value *build_exact_literal(ParserState *ps, const char *whole, const char *fraction);
Value *build_approximate_literal(ParserState *ps, const char *text);
Value *build_string_literal(ParserState *ps, const char *text);
Value *build_bit_literal(ParserState *ps, const char *text);
Value *build_hex_literal(ParserState *ps, const char *text);
Value *build_boolean_literal(ParserState *ps, int truth);
Value *build_date_literal(ParserState *ps, const char *text);
Value *build_time_literal(ParserState *ps, const char *text);
Value *build_timestamp_literal(ParserState *ps, const char *text);
Value *build_hash_literal(ParserState *ps, const char *text);
Value *build_special_register(ParserState *ps, uint32_t type, int32_t precision);
Node *negate_literal(ParserState *ps, Node *literal);
int32_t unsigned_value(ParserState *ps, const char *digits);

struct IntervalText {
    const char *numbers[4];  // the integers in order
    char separators[3];      // ' ', ':' or '-' between them
    int count;               // numbers given
    const char *fraction;    // digits after ".", or null
    bool point;              // a "." was written
};
IntervalText *make_interval_text(ParserState *ps);
IntervalText *interval_text_add(ParserState *ps, IntervalText *t, char separator,
                                const char *number);
Value *build_interval_literal(ParserState *ps, int sign, IntervalText *text,
                              IntervalQualifierNode *qualifier);
IntervalFieldNode *make_interval_field(ParserState *ps, int field, PrecisionScaleNode *ps_node);
IntervalQualifierNode *build_interval_qualifier(ParserState *ps, IntervalFieldNode *start,
                                                IntervalFieldNode *end);
DataTypeNode *build_interval_type(ParserState *ps, IntervalQualifierNode *q);
DataTypeNode *make_data_type(ParserState *ps, int32_t sql_type, int32_t length);
PrecisionScaleNode *make_precision_scale(ParserState *ps, int32_t precision, int32_t scale);

// Expressions and predicates.
Node *make_operator(ParserState *ps, int32_t op_class, int32_t op, Node *left, Node *right);
Node *make_parameter(ParserState *ps);
Node *build_not(ParserState *ps, Node *condition);
Node *build_between(ParserState *ps, Node *x, int negated, Node *low, Node *high);
Node *build_in_list(ParserState *ps, Node *x, int negated, ListNode *values);
Node *build_overlaps(ParserState *ps, ListNode *left, ListNode *right);
Node *build_iif(ParserState *ps, Node *first, Node *then_value, Node *else_value);
Node *build_case(ParserState *ps, Node *operand, ListNode *whens, Node *else_result);
Node *build_aggregate(ParserState *ps, int32_t code, int distinct, Node *argument,
                      const char *name);
Node *build_builtin(ParserState *ps, int32_t code, Node *a, Node *b, Node *c);
/// TRIM's operands; the trim character must be a character literal or a marker.
Node *build_trim(ParserState *ps, int32_t side, Node *character, Node *source);
Node *build_function(ParserState *ps, const char *name, ListNode *arguments);
Node *build_cast(ParserState *ps, Node *operand, DataTypeNode *type);
/// A datetime field keyword as EXTRACT's first argument: VT_INTEGER 0 YEAR .. 5 SECOND.
Node *build_datetime_field(ParserState *ps, int field);
/// EXTRACT(DAY FROM x): a plain name DAY before FROM is the field.
Node *extract_field_of(ParserState *ps, Node *first);
int is_condition(const Node *node);

/// Checks the depth of the finished tree; throws when it exceeds kMaxTreeDepth.
void check_tree_depth(ParserState *ps, Node *root);
/// ANDs the view restrictions into the top-level query specifications.
void apply_restrictions(ParserState *ps, Node *root, int count, const ParseRestriction *r);
