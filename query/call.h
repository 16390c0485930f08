// Procedure calls: `{call name(arguments)}` and `{?=call name(arguments)}`.
//
// Validation (validate_call.cpp) finds the procedure through the data
// access layer, matches the written arguments to its parameters (an empty
// place or a missing trailing argument leaves a parameter out), types the
// markers standing as arguments from the parameters, and describes the
// result columns. A {?=call} form's return marker is parameter 1; the
// procedures return no value through it (their result is the row set).
// Execution (exec_call.cpp) evaluates each argument, checks it against its
// parameter (query/call_arguments.h), runs the action on a DAL iterator and
// keeps its result rows, which query_fetch then hands out. The rows of the
// executions of one parameter array are kept together (QueryStatement::
// keep_call_rows), so the result set shows one row per action done.
//
// Exports: CallPlan, CallRows, validate_call, execute_call, call_rows_next,
// call_rows_release.
#pragma once

#include <cstdint>

#include "query/records.h"
#include "query/validate.h"

struct CallPlan {
    const ProcedureInfo *procedure;  // the provider's record
    int32_t provider;                // the DAL provider that runs it
    Node **arguments;                // per parameter: its expression, null when left out
    int32_t return_form;             // 1 for {?=call}
};

/// Validates a NODE_CALL. Throws (after posting) 42000 for an unknown
/// procedure, 07001 for a required argument left out or too many
/// arguments, HYC00 for {?=call} in a batch of several statements.
ValidatedStatement *validate_call(ValidationContext *context, Node *tree, int32_t function_code);

/// Runs the validated call with the statement's parameter values. 0 with
/// the result rows kept (row count 1), or -1 after posting (22004 for a
/// required argument given as NULL, the argument checks' 22018, 22007 and
/// 22001, the provider's diagnostics).
[[nodiscard]] int execute_call(QueryStatement *statement, ValidatedStatement *validated);

/// Moves to the next kept row: 0 with statement->row set, or 100.
[[nodiscard]] int call_rows_next(QueryStatement *statement);

/// Drops the kept rows.
void call_rows_release(QueryStatement *statement);
