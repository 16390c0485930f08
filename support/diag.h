// Diagnostics headers and records.
//
// Every handle owns one ErrorHeader, made in the handle's pool. A call empties
// it on entry (SetupErrorHeader), a failing step sets its return code
// (SetReturnCode) and appends records (PostError); the application reads them
// back through GetDiagRec and GetDiagField. Records live in a child pool of
// the header that is replaced whenever the header is emptied, so a long-lived
// handle does not accumulate memory.
//
// A header holds at most kMaxDiagRecords records; later ones are dropped
// (the count stops growing) so a runaway loop cannot exhaust memory.
//
// Exports: CreateErrorHeader, FreeErrorHeader, SetupErrorHeader,
// SetReturnCode, PostError, post_error, post_warning, SetErrorCount,
// set_diag_record_rows, ResetReturnCode, set_diag_row_count, set_diag_cursor_row_count, set_diag_server_name,
// set_diag_connection_name, diag_count, diag_sqlstate, diag_message,
// diag_return_code, GetDiagRec, GetDiagField, sqlerror_position.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "support/pool.h"

constexpr int kMaxDiagRecords = 512;
constexpr size_t kMaxDiagMessage = 4096;  // bytes, terminator excluded

struct DiagRecord;

struct ErrorHeader {
    CvPool *pool;              // the header's own pool (child of the handle's)
    CvPool *records_pool;      // holds the records; replaced on reset
    void *env;                 // the environment the handle belongs to
    SQLRETURN return_code;     // SQL_DIAG_RETURNCODE
    SQLINTEGER function_code;  // SQL_DIAG_DYNAMIC_FUNCTION_CODE
    SQLLEN row_count;          // SQL_DIAG_ROW_COUNT
    SQLLEN cursor_row_count;   // SQL_DIAG_CURSOR_ROW_COUNT
    int count;                 // records posted (at most kMaxDiagRecords)
    DiagRecord *first;         // oldest record
    DiagRecord *last;          // newest record
    int sqlerror_position;     // SQLError's cursor: -1 = start again
    char *server_name;         // SQL_DIAG_SERVER_NAME, in `pool`
    char *connection_name;     // SQL_DIAG_CONNECTION_NAME, in `pool`
};

/// Makes an empty header in a child pool of `pool`; null when memory is
/// exhausted.
[[nodiscard]] ErrorHeader *CreateErrorHeader(CvPool *pool, void *env);

/// Frees the header and its records. Null is ignored.
void FreeErrorHeader(ErrorHeader *header);

/// Empties the header: no records, return code 0, `function_code` as the
/// dynamic function code, row counts 0, SQLError position reset.
void SetupErrorHeader(ErrorHeader *header, SQLINTEGER function_code);

/// Records the outcome of the call: -1 (error) always wins over 1 (warning),
/// which wins over 0.
void SetReturnCode(ErrorHeader *header, SQLRETURN code);

/// Appends a record: `severity` 2 error, 1 warning; `row`/`column` 0 when not
/// known (reported as SQL_ROW_NUMBER_UNKNOWN / SQL_COLUMN_NUMBER_UNKNOWN);
/// `native` the native error code; `origin` the class origin ("ISO 9075" or
/// "ODBC 3.0"); `sqlstate` five characters; `format` a printf format. Returns
/// 0, or -1 when the record could not be stored (memory or the record limit).
/// Does not change the return code: the caller sets it first.
int PostError(ErrorHeader *header, int severity, SQLLEN row, SQLINTEGER column,
              SQLINTEGER native, int reserved, const char *origin, const char *sqlstate,
              const char *format, ...) __attribute__((format(printf, 9, 10)));

/// The common case: SetReturnCode(-1) and one error record whose class origin
/// is "ODBC 3.0" for IM001, IM002 and HYC00 and "ISO 9075" otherwise.
/// Always returns SQL_ERROR so callers can `return post_error(...)`.
SQLRETURN post_error(ErrorHeader *header, const char *sqlstate, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

/// SetReturnCode(1) and one warning record. Returns SQL_SUCCESS_WITH_INFO.
SQLRETURN post_warning(ErrorHeader *header, const char *sqlstate, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

/// Overrides the record count (keeps the first `count` records).
void SetErrorCount(ErrorHeader *header, int count);

/// Gives every record after the first `from` that names no row the row
/// number `row` (SQL_DIAG_ROW_NUMBER): a rowset operation's failing row.
void set_diag_record_rows(ErrorHeader *header, int from, SQLLEN row);

/// Sets the return code outright: a rowset operation that went on past
/// failing rows reports SQL_SUCCESS_WITH_INFO when some rows succeeded.
void ResetReturnCode(ErrorHeader *header, SQLRETURN code);

void set_diag_row_count(ErrorHeader *header, SQLLEN rows);
void set_diag_cursor_row_count(ErrorHeader *header, SQLLEN rows);
void set_diag_server_name(ErrorHeader *header, const char *name);
void set_diag_connection_name(ErrorHeader *header, const char *name);

/// Read access for the driver's own code and tests (records from 1).
[[nodiscard]] int diag_count(const ErrorHeader *header);
[[nodiscard]] const char *diag_sqlstate(const ErrorHeader *header, int record);
[[nodiscard]] const char *diag_message(const ErrorHeader *header, int record);
[[nodiscard]] SQLRETURN diag_return_code(const ErrorHeader *header);

/// Answers SQLGetDiagRec from the header. Text is copied cut at whole UTF-8
/// characters; `text_length` receives the full length in bytes. Returns
/// SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (message cut), SQL_NO_DATA (no such
/// record) or SQL_ERROR (record below 1 or negative capacity).
[[nodiscard]] SQLRETURN GetDiagRec(const ErrorHeader *header, SQLSMALLINT record,
                                   SQLCHAR *sqlstate, SQLINTEGER *native, SQLCHAR *message,
                                   SQLSMALLINT capacity, SQLSMALLINT *text_length);

/// Answers SQLGetDiagField from the header for a handle of `handle_type`.
/// Header fields ignore `record`; record fields need 1..count (SQL_NO_DATA
/// beyond, SQL_ERROR below 1). Fields only a statement has give SQL_ERROR on
/// other handles; an unknown identifier gives SQL_ERROR. Text fields take
/// `capacity` bytes and report their full byte length.
[[nodiscard]] SQLRETURN GetDiagField(const ErrorHeader *header, SQLSMALLINT handle_type,
                                     SQLSMALLINT record, SQLSMALLINT identifier, SQLPOINTER value,
                                     SQLSMALLINT capacity, SQLSMALLINT *length);

/// True when `identifier` names a text field (SQLSTATE, message, origins,
/// connection and server names, dynamic function).
[[nodiscard]] bool diag_field_is_text(SQLSMALLINT identifier);
