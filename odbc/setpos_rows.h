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
// Bound columns whose length/indicator says SQL_DATA_AT_EXEC (or
// SQL_LEN_DATA_AT_EXEC) take their values through SQLParamData and
// SQLPutData first: setpos_need_data records which (entry, column) pairs
// wait, SQLParamData hands out each one's buffer address as its token,
// SQLPutData gathers its pieces, and the last SQLParamData runs the change.
//
// Exports: setpos_delete_row, setpos_update_row, setpos_insert_row,
// SetPosRequest, setpos_need_data, setpos_param_data, setpos_put_data,
// setpos_release_pending.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/handles.h"
#include "support/value.h"

struct CvPool;

/// One SQLSetPos or SQLBulkOperations call, kept while it waits for data.
struct SetPosRequest {
    int32_t function;                    // SQL_API_SQLSETPOS or SQL_API_SQLBULKOPERATIONS
    int64_t row;
    int32_t operation;
    int32_t lock;
    int64_t first;                       // buffer entries it changes: first ..
    int64_t count;                       // first + count - 1
    const SQLUSMALLINT *row_operations;  // entries to pass over, or null
};

/// SQL_NEED_DATA when a bound column of the request's entries takes data at
/// execution (the request is kept on the statement), SQL_SUCCESS when none
/// does, SQL_ERROR (posted).
[[nodiscard]] SQLRETURN setpos_need_data(STMT *stmt, const SetPosRequest &request);

/// SQLParamData for a waiting request: SQL_NEED_DATA with the next column's
/// buffer address in *token, else the request run (setpos_perform) and
/// forgotten.
[[nodiscard]] SQLRETURN setpos_param_data(STMT *stmt, SQLPOINTER *token);

/// SQLPutData for a waiting request: one piece for the current column.
[[nodiscard]] SQLRETURN setpos_put_data(STMT *stmt, SQLPOINTER data, SQLLEN length);

/// Forgets a waiting request (closing the cursor, a new request).
void setpos_release_pending(STMT *stmt);

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
