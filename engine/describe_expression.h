// Descriptions of parse-tree expressions.
//
// describe_expression dispatches over the expression node kinds of the parse
// tree and applies the per-form rules of types.h (describe_value,
// describe_cast, describe_concat, describe_case, describe_set_function,
// describe_scalar_function, combine_types). The validator calls it to type
// select-list items; the execution setup calls it to fill the
// implementation descriptors.
//
// Column references are described from what the validator left in the node:
// its `description` when set (views, derived tables), else the provider's
// ColumnInfo. A node that cannot be described (an unresolved reference, a
// parameter without a type, a BIGINT literal, a predicate) leaves the output
// untouched.
//
// Exports: describe_expression, describe_column_info, cast_target_of,
// kDescribeNoMemory.
#pragma once

#include "engine/types.h"

struct Node;
struct ColumnInfo;
struct DataTypeNode;

/// describe_expression's result when its scratch space could not be allocated.
inline constexpr int kDescribeNoMemory = -2;

/// Fills *out with the description of expression `node`. `odbc_version`
/// (the application's, 2 or 3) picks the date/time type codes.
/// Returns 0; -1 when the node is not described (out untouched); or
/// kDescribeNoMemory (out untouched).
[[nodiscard]] int describe_expression(const Node *node, int odbc_version, ExtendedType *out);

/// The description of a provider's column: the template of its SQL type
/// overlaid with what the provider reported (length, precision, scale, names,
/// flags). Returns 0, or -1 for a null record (out untouched).
[[nodiscard]] int describe_column_info(const ColumnInfo *info, ExtendedType *out);

/// The cast target a declared data type stands for (CAST, CONVERT): length
/// for CHAR, VARCHAR, BINARY, VARBINARY; precision and scale for NUMERIC and
/// DECIMAL; precision for FLOAT, TIME, TIMESTAMP; leading and seconds
/// precision for intervals; the "not given" markers of CastTarget elsewhere.
void cast_target_of(const DataTypeNode *type, CastTarget *out);
