// What a statement holds while it runs SQL: the engine's statement, the open
// cursor's rowset, the cursor name and the piece state of SQLGetData.
//
// The record hangs off STMT::exec_list and lives in the statement's pool.
// The engine statement (STMT::parse_context) is made at the first prepare
// and kept: each prepare replaces its text. STMT::result is the rowset
// while a cursor is open.
//
// Exports: StatementRun, run_of, stmt_prepare_text, stmt_execute_current,
// stmt_close_results, stmt_free_engine, stmt_kind_has_result, stmt_describe_results,
// stmt_query, stmt_rowset, kMaxCursorName.
#pragma once

#include <cstdint>

#include "odbc/fetch_plan.h"
#include "odbc/handles.h"
#include "query/exec_api.h"

struct Rowset;
struct SetPosPending;

inline constexpr int kMaxCursorName = 18;

/// StatementRun::get_data_column when no SQLGetData read is under way: not
/// 0, which is the bookmark column, so a fetch restarts its piece state too.
inline constexpr int32_t kNoGetDataColumn = -1;

struct StatementRun {
    QueryStatement *query;       // the engine's statement (also STMT::parse_context)
    QueryConnection connection;  // what the engine was told about the connection
    Rowset *rowset;              // open cursor (also STMT::result), or null
    int32_t get_data_column;     // column SQLGetData read last (its piece state), kNoGetDataColumn none
    int64_t get_data_row;        // the row it belonged to
    int32_t get_data_whole;      // 1: that read delivered an unread text whole
                                 // (the value is still unread: the next read of
                                 // it finds nothing left)
    int32_t has_result;          // the current statement of the batch produces rows
    int32_t extended_fetch;      // 1 while SQLExtendedFetch runs
    int32_t set_pos_changed;     // SQLSetPos changed rows of the open cursor:
                                 // SQLRowCount reports them rather than -1
    SetPosPending *set_pos_pending;  // SQLSetPos or SQLBulkOperations waiting for
                                     // data at execution (odbc/setpos_rows.h), or null
    char cursor_name[kMaxCursorName + 1];
    int32_t generated_name;      // the name came from SQLGetCursorName
    CvPool *catalog_pool;        // an open catalogue result's pool (odbc/catalog_run.h), or null
    FetchPlan fetch_plan;        // the bound columns resolved for the fetch running (odbc/fetch_plan.h)
};

/// The statement's run record, made on first use (null after posting HY001).
[[nodiscard]] StatementRun *run_of(STMT *stmt);

/// Prepares `text` (`length` bytes or SQL_NTS) in the engine: the previous
/// results are closed, the IRD describes the first statement's result
/// columns, result_sets_left is 1 when it produces rows. `native` is the
/// native code of a syntax error. SQL_SUCCESS or SQL_ERROR (posted).
[[nodiscard]] SQLRETURN stmt_prepare_text(STMT *stmt, const char *text, SQLLEN length, int native);

/// Executes the current statement of the batch and, for a query, opens the
/// cursor. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA or SQL_ERROR.
[[nodiscard]] SQLRETURN stmt_execute_current(STMT *stmt);

/// Closes the open cursor (services slot 14). Always 0.
int stmt_close_results(STMT *stmt);

/// Frees the engine statement (services slot 7). Always 0.
int stmt_free_engine(STMT *stmt);

/// Whether the prepared statement gives a result set: a query, or a
/// procedure call with result columns.
[[nodiscard]] bool stmt_kind_has_result(const QueryStatement *query);

/// Fills the IRD from the current statement's result columns. 0 or -1.
[[nodiscard]] int stmt_describe_results(STMT *stmt);

/// The open cursor's rowset, or null.
[[nodiscard]] Rowset *stmt_rowset(STMT *stmt);
