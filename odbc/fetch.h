// The fetch entry shared by the fetch calls and the services table.
//
// Exports: engine_fetch, convert_column_slot, column_facts, setpos_perform.
#pragma once

#include "odbc/convert.h"
#include "odbc/handles.h"
#include "odbc/setpos_rows.h"

/// Fetches a block of the open cursor in `orientation` into the bound
/// columns, with the statement's row array size, status array, rows-fetched
/// pointer and bookmark. 0, 1, 100 or -1 (posted).
[[nodiscard]] int engine_fetch(STMT *stmt, int orientation, SQLLEN offset);

/// Services slot 16: converts column `column` of the current row (piece
/// state restarted).
int convert_column_slot(STMT *stmt, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *indicator);

/// What a conversion needs to know about result column `column` (0: the bookmark).
[[nodiscard]] ConvertColumn column_facts(STMT *stmt, int column);

/// Runs one SQLSetPos or SQLBulkOperations request on the open cursor (its
/// data at execution, if any, already sent): the rows it changed become the
/// statement's row count. The ODBC return code.
[[nodiscard]] SQLRETURN setpos_perform(STMT *stmt, const SetPosRequest &request);
