// Entry and exit trace lines of the statement calls that are traced
// (SQLBindCol, SQLBulkOperations, SQLCancel, SQLCloseCursor,
// SQLColAttribute, SQLDescribeCol): one line at entry, one at exit with the
// failure level when the call failed.
//
// Exports: trace_exit.
#pragma once

#include <sql.h>

#include "support/trace.h"

/// Writes "<name>() returns <rc>" for `source` and returns `rc`.
inline SQLRETURN trace_exit(const char *source, int line, const char *name, SQLRETURN rc) {
    log_message(source, line, SQL_SUCCEEDED(rc) ? kTraceInfo : kTraceFailure, "%s() returns %e", name, rc);
    return rc;
}
