// The rows of a whole query expression: the branches of a UNION in turn,
// duplicates removed where UNION (without ALL) asks for it, and ORDER BY.
//
// UNION branches are read left to right. The branches up to the last one
// joined by UNION without ALL form one set (a unique sort over every
// result column, LONG ones by their whole value); branches joined after it by UNION ALL
// follow as they come. ORDER BY sorts the final rows (stable: rows with
// equal keys keep the order they were produced in) by result columns given
// by position, name or alias, or by expressions of a single query; the row
// limit of the statement and TOP then apply to the ordered rows.
//
// Exports: cursor_open, cursor_next.
#pragma once

#include "query/evaluate.h"

/// Opens the cursor of `scope` (the first branch) for the statement's
/// current execution; st->plan is set. Failures throw.
void cursor_open(QueryStatement *statement, QueryScope *scope, EvalContext *context);

/// The next row into statement->row: 0, or 100 at the end. Failures throw.
[[nodiscard]] int cursor_next(QueryStatement *statement, EvalContext *context);
