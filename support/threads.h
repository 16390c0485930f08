// Threads, semaphores and the process-wide locks.
//
// The driver runs on the application's threads; the only threads it makes are
// the asynchronous statement workers and the page workers of parallel scans
// (sqi/prefetch.cpp: std::thread, joined before their scan ends). An
// asynchronous worker and the application thread hand over through two
// semaphores (start, done). Process-wide locks are
// numbered: 0 the SQL parser, 2 the literal parser, 4 connection state
// transitions; the others are free for later use.
//
// Exports: odbc_thread_init, thread_term, mutex_entry, mutex_exit,
// MutexGuard, semaphore_create, thread_signal_semaphore,
// thread_wait_on_semaphore, thread_clear_semaphore, thread_close_semaphore,
// odbc_thread_create, thread_join, thread_cleanup, thread_fail_next_create.
#pragma once

#include <cstdint>

constexpr int kParserLock = 0;
constexpr int kLiteralLock = 2;
constexpr int kConnectionStateLock = 4;
constexpr int kProcessLockCount = 8;

/// Process-wide start and end of the thread services; reference-counted.
void odbc_thread_init(int flags);
void thread_term(int flags);

/// Enters and leaves process-wide lock `n` (0 to 7). Not recursive.
void mutex_entry(int n);
void mutex_exit(int n);

/// Scoped form of mutex_entry / mutex_exit.
class MutexGuard {
public:
    explicit MutexGuard(int n) : n_(n) { mutex_entry(n_); }
    ~MutexGuard() { mutex_exit(n_); }
    MutexGuard(const MutexGuard &) = delete;
    MutexGuard &operator=(const MutexGuard &) = delete;

private:
    int n_;
};

struct CvSemaphore;
struct CvThread;

/// A counting semaphore starting at 0; null when memory is exhausted.
[[nodiscard]] CvSemaphore *semaphore_create();
void thread_signal_semaphore(CvSemaphore *sem);
/// Waits until the semaphore is signalled (and takes the signal) or
/// `timeout_ms` passes; a negative timeout waits without limit. Returns true
/// when signalled.
[[nodiscard]] bool thread_wait_on_semaphore(CvSemaphore *sem, long timeout_ms);
/// Drops any pending signals.
void thread_clear_semaphore(CvSemaphore *sem);
void thread_close_semaphore(CvSemaphore *sem);

/// Starts `routine(arg)` on a new thread with a fresh pair of semaphores.
/// Returns 0, or -1 when the thread or a semaphore could not be made (all
/// outputs are then null).
using CvThreadRoutine = void (*)(void *arg);
[[nodiscard]] int odbc_thread_create(CvThread **thread, CvThreadRoutine routine, void *arg,
                                     CvSemaphore **start, CvSemaphore **done);
/// Waits for the thread to end, without limit.
void thread_join(CvThread *thread);
/// Frees the thread record (after thread_join). Null is ignored.
void thread_cleanup(CvThread *thread);

/// Test hook: the next odbc_thread_create fails.
void thread_fail_next_create();
