// The positioned changes of SQLSetPos and SQLBulkOperations: the open
// cursor's rowset calls these for SQL_DELETE, SQL_UPDATE and SQL_ADD (see
// RowSource in query/rowset.h; their argument is the STMT).
//
// Each runs one statement of its own on the engine, on the same connection:
// DELETE or UPDATE ... WHERE CURRENT OF the statement's own cursor (keyed by
// the current row's key values), or INSERT, with the values of the bound
// columns as its parameters. So they take the same checks, casts, refusals
// and requests as the SQL forms.
//
// Exports: setpos_delete_row, setpos_update_row, setpos_insert_row.
#pragma once

#include <cstdint>

#include "support/value.h"

struct CvPool;

/// Deletes the cursor's current row. 0 or -1 (posted).
int setpos_delete_row(void *stmt, int64_t row, Value *const *values);

/// Updates the cursor's current row (block entry `index`) with the bound
/// columns' values of that entry that differ from the row's: columns whose
/// length/indicator is SQL_COLUMN_IGNORE, unbound ones, and those not read
/// straight from the table are left alone; values[c] of each changed column
/// becomes its new value, made in `pool`. 21S02 when no bound column can
/// be changed. 0 or -1 (posted).
int setpos_update_row(void *stmt, int64_t row, int64_t index, Value **values, CvPool *pool);

/// Inserts a row into the cursor's table from entry `index` of the bound
/// columns (the same columns as an update takes). 0 or -1 (posted).
int setpos_insert_row(void *stmt, int64_t index);
