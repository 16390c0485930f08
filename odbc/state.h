// The handle state machines.
//
// Every exported call runs its handle's transition twice: in check mode
// (apply 0) before its work, where a call made out of order is refused with
// the ODBC state-table diagnostic, and in apply mode (apply 1) with the
// outcome, which moves the handle to its next state and keeps the counters
// other states depend on. Function ids are the ODBC SQL_API_* numbers.
//
// Return: 0 the call may go on (or the move was made); 1 only from
// conn_transition for an SQLEndTran whose commit returned information; -1
// after posting the refusal (SetReturnCode -1 and one record).
//
// Arguments (StmtArgs, by function id):
//   6 SQLColAttribute           a = field identifier
//   11 SQLExecDirect            a = success, b = need data
//   12 SQLExecute               a = success (1 for SUCCESS/INFO, 0 otherwise),
//                               b = need data, c = 1 when the call returned SQL_ERROR
//   16 SQLFreeStmt              a = option
//   19 SQLPrepare, catalog ids  a = success
//   24 SQLBulkOperations,
//   68 SQLSetPos                a = success, b = need data (bound columns take
//                               data at execution)
//   48 SQLParamData             a = success, b = another parameter needs data
//   49 SQLPutData               a = success
//   61 SQLMoreResults           a = success, b = last statement of the batch,
//                               c = next result has a result set, d = no more results
//   1001 / 1006                 a = handle type being allocated / freed (3 this statement)
//   1008, 1009                  a = 1 when the descriptor is an IRD
//   1014, 1020                  a = attribute
//
// Exports: env_transition, conn_transition, stmt_transition, desc_transition,
// StmtArgs, stmt_is_async, need_data_origin.
#pragma once

#include "odbc/handles.h"

// Function ids that are not ODBC SQL_API numbers.
constexpr int kValidateNonQuery = 19;  // conn_transition: a statement other than a query was validated

struct StmtArgs {
    int a = 0, b = 0, c = 0, d = 0;
};

[[nodiscard]] int env_transition(int apply, ENV *env, int function_id, int argument = 0);
[[nodiscard]] int conn_transition(int apply, DBC *dbc, int function_id, int argument = 0);
[[nodiscard]] int stmt_transition(int apply, STMT *stmt, int function_id, StmtArgs args = {});
[[nodiscard]] int desc_transition(int apply, DESC *desc, int function_id, int argument = 0,
                                  int implicit = 0);

/// True while the statement runs or was cancelled asynchronously (S11, S12).
[[nodiscard]] inline bool stmt_is_async(const STMT *stmt) {
    return stmt->state == S11 || stmt->state == S12;
}

/// The state a need-data sequence returns to when it is cancelled or fails.
[[nodiscard]] int32_t need_data_origin(const STMT *stmt);
