// Validation of query statements: tables and columns resolved through the
// data access layer, every expression typed, parameters typed from their
// partner operands, the result described.
//
// Errors are posted on the statement's error header and abandon the run at
// once (QueryFailure inside; the entry returns -1). Messages: names not
// found or not unique, type conflicts, misplaced set functions and
// parameters, UNION and ORDER BY checks; see validate_types.cpp and
// validate_names.cpp.
//
// Exports: ValidationContext, validate_statements, validate_query_statement,
// resolve_column, bind_column_ref, make_column_ref, expression_type, validation_error, validation_error_state.
#pragma once

#include "query/records.h"

struct ValidationContext {
    QueryStatement *statement;
    QueryScope *scope;          // current scope
    int32_t in_select_list;     // reading the select list
    int32_t in_having;          // reading HAVING
    int32_t allow_set;          // set functions allowed here
};

/// Validates every statement of the parse context's list into
/// statement->statements. 0, or -1 with diagnostics posted.
[[nodiscard]] int validate_statements(QueryStatement *statement);

/// Resolves one column reference in the context's scope or an enclosing one.
void resolve_column(ColumnRefNode *ref, ValidationContext *context);

/// Binds `ref` to column `column` (from 1) of `slot`, owned by `scope`, and
/// marks the column used.
void bind_column_ref(ColumnRefNode *ref, QueryScope *scope, TableSlot *slot, int column);

/// A new reference to column `column` of `slot`, named by the column's
/// own name (quoted) and bound as bind_column_ref does.
ColumnRefNode *make_column_ref(ValidationContext *context, QueryScope *scope, TableSlot *slot, int column);

/// Resolves every name of an expression (and validates its sub-queries).
void resolve_expression(Node *node, ValidationContext *context);

/// SQL type of a resolved expression; TYPE_COMPARABLE for conditions, 0 for
/// an untyped parameter. Type errors throw after posting.
int expression_type(Node *node, ValidationContext *context);

/// Validates a query expression (one specification or a UNION) in new
/// scopes under `enclosing`; the first branch's scope.
QueryScope *validate_query_expression(Node *node, QueryScope *enclosing, ValidationContext *context);

/// Makes the slot of a derived table: its query validated in scopes of its
/// own (validate_derived.cpp).
TableSlot *build_derived_slot(ValidationContext *context, TableRefNode *ref, int position);

/// Validates a query specification in a new scope under `enclosing`.
QueryScope *validate_query_spec(QuerySpecNode *spec, QueryScope *enclosing, ValidationContext *context);

/// Posts S1000 "General error <message>" and throws.
[[noreturn]] void validation_error(ValidationContext *context, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
/// Posts `sqlstate` with `origin` and the message, and throws.
[[noreturn]] void validation_error_state(ValidationContext *context, const char *sqlstate,
                                         const char *origin, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

/// `n` zeroed items (at least one) from the statement's parse pool; HY001
/// thrown when the pool is exhausted.
void *validation_zeroed(ValidationContext *context, size_t size);
template <typename T>
T *validation_array(ValidationContext *context, int n) {
    return static_cast<T *>(validation_zeroed(context, sizeof(T) * static_cast<size_t>(n > 0 ? n : 1)));
}

/// Makes the slot of a base table (from 1 at `position`).
TableSlot *build_table_slot(ValidationContext *context, TableRefNode *ref, int position);

/// The scope's slots and FROM elements (joins flattened), and the joins'
/// conditions resolved (validate_join.cpp).
void build_from_list(ValidationContext *context, QueryScope *scope, ListNode *from);
void resolve_join_conditions(ValidationContext *context, QueryScope *scope);

/// Names compare exactly when quoted, else without regard to case.
[[nodiscard]] bool names_match(const char *written, int quoted, const char *name);

/// The description of an expression (describe_expression), or the template
/// of `sql_type` when it cannot be described; dates, times and timestamps
/// with the codes of the application's ODBC version (2 or 3).
void describe_or_template(const Node *node, int sql_type, int odbc_version, ExtendedType *out);

/// 9/10/11 for ODBC 2, 91/92/93 for ODBC 3 (either form in); other codes
/// unchanged.
[[nodiscard]] int datetime_code_for_version(int sql_type, int odbc_version);

/// A provider's wide character types count as their narrow forms.
[[nodiscard]] int narrow_sql_type(int sql_type);
