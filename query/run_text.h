// Running a statement text on a connection and collecting its rows as
// values: the engine's internal entry for tests and benchmarks below the
// ODBC layer (the statement layer calls the same functions one by one).
//
// Exports: QueryRows, query_run_text.
#pragma once

#include <sql.h>

#include "query/exec_api.h"

/// Rows of a query, in a pool the caller gives.
struct QueryRows {
    int32_t column_count;
    int64_t row_count;
    Value **values;        // row_count * column_count copies, row by row
    int64_t capacity;      // rows allocated
};

/// Prepares and executes `text` with `count` parameter values and fetches
/// every row (at most `max_rows` when positive), copying the values into
/// `pool`. Returns 0 (rows in *out), 100 when the statement produced no
/// result set, or -1 (diagnostics on `diag`).
[[nodiscard]] int query_run_text(const QueryConnection *connection, ErrorHeader *diag, CvPool *pool,
                                 const char *text, int count, Value *const *params, int64_t max_rows,
                                 QueryRows *out);
