// Asynchronous execution: one worker thread per statement, made on first use
// and kept until the statement is freed. The application thread and the
// worker hand over through two semaphores; only the application thread
// changes the statement's state.
//
// Exports: AsyncJob, async_start, async_poll, async_stop_worker,
// kAsyncNoTransition.
#pragma once

#include "odbc/handles.h"

/// A job result that the poll returns as SQL_ERROR without a transition.
constexpr int kAsyncNoTransition = -9999;

/// The job: runs the operation on the worker and returns its ODBC code.
using AsyncJob = int (*)(STMT *stmt, void *argument);

/// Saves the state, moves to S11 with `function_id` pending and hands the job
/// to the worker (made now if needed). When no worker can be made the
/// pending result is -1, which the first poll reports.
void async_start(STMT *stmt, int function_id, AsyncJob routine, void *argument);

/// HY010 for a function other than the pending one. Otherwise waits up to
/// 100 ms: SQL_STILL_EXECUTING while the job runs, else restores the saved
/// state and returns the job's result.
[[nodiscard]] SQLRETURN async_poll(STMT *stmt, int function_id);

/// Asks the worker to end, waits for it (after any job in progress) and
/// frees it with its semaphores.
void async_stop_worker(STMT *stmt);
