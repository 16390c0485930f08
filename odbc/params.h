// Running a statement with its bound parameters: the values of every
// parameter set built from the application's buffers, data at execution,
// parameter arrays with their status array and processed count.
//
// Values live in STMT::param_pool, replaced at every execution; IPD record
// n's `value` holds parameter n's current value (null: not built yet,
// kPendingParamValue: data at execution being sent).
//
// Exports: stmt_execute_with_params, stmt_param_values, stmt_param_data,
// stmt_put_data.
#pragma once

#include "odbc/handles.h"

struct Value;

/// Executes the current statement with its parameters: SQL_NEED_DATA when
/// a parameter takes data at execution (the statement then waits in the
/// need-data states), else the result of running every parameter set.
[[nodiscard]] SQLRETURN stmt_execute_with_params(STMT *stmt);

/// The parameter values of the set being run, for the engine: *out gets an
/// array of `count` values (null when there are no markers). Returns the
/// count.
int stmt_param_values(STMT *stmt, Value ***out);

/// SQLParamData's work after its transition check: the next parameter that
/// needs data (SQL_NEED_DATA, *token set), or the statement run.
[[nodiscard]] SQLRETURN stmt_param_data(STMT *stmt, SQLPOINTER *token);

/// SQLPutData's work after its transition check: one piece for the current
/// data-at-execution parameter.
[[nodiscard]] SQLRETURN stmt_put_data(STMT *stmt, SQLPOINTER data, SQLLEN length);
