// The query engine's entry points for the ODBC statement layer.
//
// The statement layer owns one QueryStatement per ODBC statement and drives
// it: prepare a text (parse and validate every statement of the batch),
// describe the result columns and the parameters, execute with the caller's
// parameter values, fetch rows one at a time and read each result column as
// a Value, close the cursor, move to the next statement of the batch.
//
// Nothing here knows the ODBC handle records. The caller hands down what the
// engine needs: the pool to live in, the error header to post diagnostics
// on, the connection's data access record and the few connection facts
// (QueryConnection), and the statement options (QueryOptions).
//
// Return codes: 0 success, 1 success with information (diagnostics posted),
// 100 no (more) data, -1 error (diagnostics posted on the error header, its
// return code set). No exception leaves these functions.
//
// Lifetimes and ownership:
// - query_statement_create makes the record in a child pool of `parent`;
//   query_statement_free (or releasing `parent`) frees it with everything it
//   holds: parse tree, validated statements, plans, iterators, values.
// - The QueryConnection and ErrorHeader passed at creation must outlive the
//   statement; the engine copies the QueryConnection record but not the
//   strings it points at (user, database, work directory). The DAL record
//   must stay open while a cursor is: free the statement (or close its
//   cursor) before DALClose, since closing a cursor closes its iterators.
// - `dal_handle` should be the ODBC statement handle, whose error header is
//   `diag`: providers post their diagnostics through the DAL on it.
// - query_prepare drops the previous text's tree, descriptions and cursor.
// - Descriptions (QueryColumn, QueryParameter) point into the statement and
//   stay valid until the next query_prepare, query_more_results or free.
// - Parameter values given to query_execute are read during the call and
//   again while rows are fetched (restrictions of inner scans, sub-queries):
//   they must stay unchanged until the cursor is closed or the statement
//   executed again. The engine never frees or modifies them.
// - The Values of query_column_value and query_row_values belong to the
//   engine. They are valid and unchanged until the next query_fetch, query_close_cursor, query_execute
//   or free. The caller may keep its own piece offset for piecewise reads;
//   the engine sets piece_offset to 0 on every fetched value and never
//   looks at it afterwards. Long values (VT_LONG_CHAR, VT_LONG_BINARY) are
//   fully spooled into their long_buffer (support/long_buffer.h) before the
//   value is handed out, so any number of reads of any size may follow.
//   Under QueryOptions::results_unread a value may instead come deferred
//   (Value::deferred): query_settle_value reads it, or the caller reads its
//   text straight from the provider and leaves it deferred.
//
// Exports: QueryConnection, QueryOptions, QueryColumn, QueryParameter,
// QueryStatement, QueryStatementKind, query_statement_create,
// query_statement_free, query_set_options, query_prepare,
// query_statement_kind, query_function_code, query_result_column_count, query_row_values,
// query_describe_column, query_parameter_count, query_describe_parameter,
// query_execute, query_fetch, query_column_value, query_close_cursor,
// query_row_count, query_more_results, query_start_instant,
// query_set_start_instant, query_cursor_open, query_identity_count,
// query_identity_value, query_refetch_row, query_keep_call_rows,
// query_settle_value, query_settle_rest, query_settle_cut_text, query_read_failed.
#pragma once

#include <atomic>

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

#include "engine/types.h"
#include "query/deferred.h"
#include "support/value.h"

struct CvPool;
struct ErrorHeader;
struct DalRecord;
struct QueryStatement;
struct Rowset;

/// What the engine needs to know about the connection. Filled by the caller;
/// strings may be null.
/// Finds the open cursor named `name` among the connection's statements, for
/// UPDATE and DELETE ... WHERE CURRENT OF: its engine statement and its
/// open rowset. 0; 1 when no statement has that name; 2 when it has no open
/// cursor.
struct QueryCursorLookup {
    void *arg;
    int (*find)(void *arg, const char *name, QueryStatement **owner, Rowset **rowset);
};

struct QueryConnection {
    DalRecord *dal;              // the connection's data access record
    void *dal_handle;            // handle providers post their diagnostics on
                                 // (handed to DALOpenIterator as its owner)
    int32_t odbc_version;        // 2 or 3: picks the date/time SQL type codes
    const char *user;            // connection attribute "UID" (USER, {fn USER()})
    const char *database;        // current database ({fn DATABASE()})
    const char *work_dir_path;   // "work_dir_path": sort and rowset work files
    int64_t work_mem_size;       // "work_mem_size" in bytes, 0 default
    int64_t work_dir_size;       // "work_dir_size" in bytes, 0 default
    int32_t relational_opt;      // "relational_opt"
    int32_t in_expansion;        // "in_expansion"
    QueryCursorLookup cursors;   // null `find`: positioned changes find no cursor
    // Set by SQLCancel from another thread: the row loops and sorts look at
    // it every few hundred rows and end with HY008. Null: never cancelled.
    const std::atomic<int32_t> *cancel;
};

/// Statement attributes the engine honours. Set before query_execute.
struct QueryOptions {
    int32_t query_timeout;       // seconds, 0 none (SQL_ATTR_QUERY_TIMEOUT)
    int64_t max_rows;            // 0 no limit (SQL_ATTR_MAX_ROWS)
    int32_t syntax_error_native; // native code of a 42000 syntax error (182 for
                                 // SQLPrepare, 0 for SQLExecDirect)
    int32_t row_identity;        // 1: a keyset cursor wants its rows' identities
                                 // (query/keyset.h); 0: none is worked out
    int32_t results_unread;      // 1: the caller delivers each row before asking
                                 // for the next (a forward-only cursor), so a
                                 // plain column of a table may reach it unread
                                 // (deferred); it reads such a value with
                                 // query_settle_value before using it
};

/// What kind of statement the current statement of the batch is.
enum class QueryStatementKind : int32_t {
    kNone = 0,        // nothing prepared
    kQuery = 1,       // SELECT: produces a result set
    kRowChange = 2,   // INSERT, UPDATE, DELETE (searched or positioned)
    kDefinition = 3,  // CREATE / DROP / ALTER / GRANT / REVOKE and users
    kTransaction = 4, // COMMIT, ROLLBACK
    kCall = 5,        // procedure call
};

/// One result column, for SQLDescribeCol and SQLColAttribute.
struct QueryColumn {
    const char *label;           // alias, else the column name, else "" (never null)
    const char *name;            // column name ("" for an expression without alias)
    const char *base_column;     // provider's column name, or ""
    const char *table;           // table name or alias the column came from, or ""
    const char *base_table;      // provider's table name, or ""
    const char *schema;          // or ""
    const char *catalog;         // or ""
    int32_t unnamed;             // 1 when the column has no name (SQL_UNNAMED)
    ExtendedType type;           // SQL type, column_size, digits (decimal digits),
                                 // nullable, updatable, display size, names...
};

/// One parameter marker, for SQLNumParams and SQLDescribeParam.
struct QueryParameter {
    int32_t number;              // from 1, in text order
    int32_t typed;               // 0 when nothing gave the marker a type (VARCHAR reported)
    ExtendedType type;           // SQL type, column_size, digits, nullable
};

/// Makes a statement record in a child pool of `parent`. `diag` receives
/// every diagnostic of the statement's calls. Returns null when memory runs
/// out (nothing posted: the caller reports HY001).
[[nodiscard]] QueryStatement *query_statement_create(CvPool *parent, ErrorHeader *diag,
                                                     const QueryConnection *connection);

/// Closes any cursor and frees the record with everything it owns.
void query_statement_free(QueryStatement *statement);

/// Copies the options; they apply from the next query_execute.
void query_set_options(QueryStatement *statement, const QueryOptions *options);

/// Parses `text` (`length` bytes, or SQL_NTS) and validates every statement
/// of it; the first statement becomes current. 0, or -1 with the parser's
/// 42000 "Syntax error or access violation \"%s\"" (native code from the
/// options), the validation's diagnostics, HY001, or HYC00 for
/// a query form not supported yet (grouping, sorting, DISTINCT, UNION
/// without ALL, joins in the FROM clause). After a failure no statement is
/// prepared.
[[nodiscard]] int query_prepare(QueryStatement *statement, const char *text, SQLLEN length);

/// Kind of the current statement.
[[nodiscard]] QueryStatementKind query_statement_kind(const QueryStatement *statement);

/// SQL_DIAG_DYNAMIC_FUNCTION_CODE of the current statement (85 SELECT, ...).
[[nodiscard]] int32_t query_function_code(const QueryStatement *statement);

/// Result columns of the current statement (0 when it produces none).
[[nodiscard]] int query_result_column_count(const QueryStatement *statement);

/// Description of result column `column` (from 1). 0, or -1 for a column
/// out of range (07009 posted).
[[nodiscard]] int query_describe_column(QueryStatement *statement, int column,
                                        const QueryColumn **out);

/// Parameter markers of the current statement.
[[nodiscard]] int query_parameter_count(const QueryStatement *statement);

/// Description of parameter `number` (from 1). 0, or -1 when out of range
/// (07009 posted).
[[nodiscard]] int query_describe_parameter(QueryStatement *statement, int number,
                                           const QueryParameter **out);

/// Runs the current statement with `count` parameter values (parameter n is
/// params[n - 1]; a NULL parameter is a Value with is_null set). Closes a
/// cursor left open. For a query it opens the cursor: rows then come from
/// query_fetch. Returns 0, 1, 100 (a searched change touching no row) or -1
/// (07002 when fewer values than markers are given).
[[nodiscard]] int query_execute(QueryStatement *statement, int count, Value *const *params);

/// Moves the open cursor to its next row. 0 (row), 1 (row, with
/// information), 100 (no more rows), -1 (error; the cursor stays open and
/// may be closed). 24000 without an open cursor.
[[nodiscard]] int query_fetch(QueryStatement *statement);

/// The current row's value of result column `column` (from 1), or null when
/// there is no current row or the column is out of range. See the
/// lifetimes above.
[[nodiscard]] Value *query_column_value(QueryStatement *statement, int column);

/// The current row's values of result columns 1 .. `columns` at once
/// (column 1 first), as query_column_value gives them one by one; null when
/// there is no current row or the statement has fewer columns.
[[nodiscard]] Value *const *query_row_values(QueryStatement *statement, int columns);

/// The rest of query_settle_value once read_deferred_value answered `read`
/// (not 0): a cut text read whole, or the failure posted. 0 or -1.
[[nodiscard]] int query_settle_rest(QueryStatement *statement, Value *v, int read);

/// Reads a value of the current row that came deferred (results_unread) as
/// a fetch would have read it; nothing for a value already read. 0, or -1
/// with "Data Read Error" (and the provider's own diagnostic) posted.
/// Inline: the delivery of every unread value that is not a text passes here.
[[nodiscard]] inline int query_settle_value(QueryStatement *statement, Value *v) {
    if (!v || !v->deferred) return 0;
    const int read = read_deferred_value(v);
    return read == 0 ? 0 : query_settle_rest(statement, v, read);
}

/// Settles a deferred character value (VT_CHAR or VT_LONG_CHAR) whose
/// first piece, `n` bytes of `prefix`, the caller has read from the
/// provider itself and found cut: the value becomes that piece and every
/// remaining piece. 0, or -1 posted.
[[nodiscard]] int query_settle_cut_text(QueryStatement *statement, Value *v, const char *prefix, size_t n);

/// Posts the engine's "Data Read Error" for a value of the current row the
/// caller failed to read from the provider. Always -1.
int query_read_failed(QueryStatement *statement);

/// Closes the cursor (if any): every scan's iterator is released, the
/// per-execution memory goes. Idempotent.
void query_close_cursor(QueryStatement *statement);

/// 1 while a cursor is open.
[[nodiscard]] int query_cursor_open(const QueryStatement *statement);

/// SQLRowCount: rows changed by the last data change; for a query, -1.
[[nodiscard]] SQLLEN query_row_count(const QueryStatement *statement);

/// Makes the next statement of the batch current (closing any cursor). 0,
/// or 100 when there is none. The caller then executes it.
[[nodiscard]] int query_more_results(QueryStatement *statement);

/// Identity values per row of the open cursor (see query/keyset.h: asked for
/// with QueryOptions::row_identity): 0 when its rows have none, and a keyset
/// cursor is then served as a static one.
[[nodiscard]] int query_identity_count(const QueryStatement *statement);

/// Identity value `k` (from 1) of the current row, already read; null
/// after posting. Valid until the next query_fetch.
[[nodiscard]] Value *query_identity_value(QueryStatement *statement, int k);

/// Reads a row again by its identity (`identity[0 .. count-1]`), one keyed
/// read at the provider per table shown: 0 with `values[0 .. columns-1]` at the
/// row's current data (valid until the next call or query_close_cursor),
/// 100 when the row is gone, -1 after posting.
[[nodiscard]] int query_refetch_row(QueryStatement *statement, Value *const *identity, Value **values);

/// While `keep` is 1, each execution of a procedure call adds its result
/// rows to those of the executions before (a parameter array's sets give
/// one result set); 0 (the default) starts each execution afresh.
void query_keep_call_rows(QueryStatement *statement, int keep);

/// The start instant (CURRENT_DATE/TIME/TIMESTAMP) of the current execution.
void query_start_instant(const QueryStatement *statement, TIMESTAMP_STRUCT *out);

/// Gives the next execution a fixed start instant (the batch's own); null
/// returns to "now at each execution".
void query_set_start_instant(QueryStatement *statement, const TIMESTAMP_STRUCT *instant);
