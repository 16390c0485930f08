#pragma once
// StmtRunScope: marks an execution or fetch call in progress on a statement.
//
// SQLCancel may come from another thread while such a call runs; it then
// only sets `cancel_requested` (watched by retry waits and transfers) and
// leaves the statement's diagnostics and state to the running call. Each
// call clears a cancel left over from before it, except while the statement
// runs asynchronously: there the cancel is meant for the worker's job.
#include "odbc/handles.h"
#include "odbc/state.h"

struct StmtRunScope {
    STMT *stmt;
    explicit StmtRunScope(STMT *s) : stmt(s) {
        if (!stmt_is_async(stmt)) stmt->cancel_requested.store(0, std::memory_order_release);
        stmt->calls_running.fetch_add(1, std::memory_order_acq_rel);
    }
    ~StmtRunScope() { stmt->calls_running.fetch_sub(1, std::memory_order_acq_rel); }
    StmtRunScope(const StmtRunScope &) = delete;
    StmtRunScope &operator=(const StmtRunScope &) = delete;
};
