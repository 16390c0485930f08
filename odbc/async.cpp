// The asynchronous worker.
#include "odbc/async.h"

#include "support/threads.h"

namespace {

constexpr long kPollWaitMs = 100;

void worker_loop(void *arg) {
    auto *stmt = static_cast<STMT *>(arg);
    for (;;) {
        if (!thread_wait_on_semaphore(stmt->worker_start, -1)) continue;
        if (stmt->worker_command == kWorkerExit) return;
        stmt->async_result = stmt->job_routine ? stmt->job_routine(stmt, stmt->job_argument) : SQL_ERROR;
        thread_signal_semaphore(stmt->worker_done);
    }
}

}  // namespace

void async_start(STMT *stmt, int function_id, AsyncJob routine, void *argument) {
    stmt->async_saved_state = stmt->state;
    stmt->async_result = SQL_STILL_EXECUTING;
    stmt->async_pending_function = function_id;
    stmt->state = S11;
    if (!stmt->worker &&
        odbc_thread_create(&stmt->worker, worker_loop, stmt, &stmt->worker_start, &stmt->worker_done) != 0) {
        stmt->async_result = SQL_ERROR;
        return;
    }
    stmt->worker_command = function_id;
    stmt->job_argument = argument;
    stmt->job_routine = routine;
    thread_signal_semaphore(stmt->worker_start);
}

SQLRETURN async_poll(STMT *stmt, int function_id) {
    if (function_id != stmt->async_pending_function) {
        return post_error(stmt->diag, "HY010", "Function sequence error");
    }
    if (!stmt->worker) {
        // The worker never started: report it once and leave the async state.
        stmt->state = stmt->async_saved_state;
        stmt->async_pending_function = 0;
        return post_error(stmt->diag, "HY000", "General error: %s",
                          "could not start the asynchronous worker thread");
    }
    if (!thread_wait_on_semaphore(stmt->worker_done, kPollWaitMs)) return SQL_STILL_EXECUTING;
    stmt->state = stmt->async_saved_state;
    stmt->async_pending_function = 0;
    int result = stmt->async_result;
    if (result == kAsyncNoTransition) return SQL_ERROR;
    return static_cast<SQLRETURN>(result);
}

void async_stop_worker(STMT *stmt) {
    if (!stmt->worker) return;
    // A job handed over but not yet collected finishes first; the exit
    // command must not overwrite the job's command before the worker reads it.
    if (stmt->async_pending_function != 0) {
        (void)thread_wait_on_semaphore(stmt->worker_done, -1);
        stmt->state = stmt->async_saved_state;
        stmt->async_pending_function = 0;
    }
    stmt->worker_command = kWorkerExit;
    thread_signal_semaphore(stmt->worker_start);
    thread_join(stmt->worker);
    thread_cleanup(stmt->worker);
    thread_close_semaphore(stmt->worker_start);
    thread_close_semaphore(stmt->worker_done);
    stmt->worker = nullptr;
    stmt->worker_start = stmt->worker_done = nullptr;
}
