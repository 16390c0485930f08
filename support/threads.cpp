// Threads, semaphores and process-wide locks on std::thread and friends.
#include "support/threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace {
std::mutex g_process_locks[kProcessLockCount];
std::atomic<int> g_thread_refs{0};
std::atomic<bool> g_fail_next_create{false};
}  // namespace

struct CvSemaphore {
    std::mutex lock;
    std::condition_variable cv;
    long count = 0;  // pending signals
};

struct CvThread {
    std::thread thread;
};

void odbc_thread_init(int) { g_thread_refs.fetch_add(1); }
void thread_term(int) { g_thread_refs.fetch_sub(1); }

void mutex_entry(int n) { g_process_locks[static_cast<unsigned>(n) % kProcessLockCount].lock(); }
void mutex_exit(int n) { g_process_locks[static_cast<unsigned>(n) % kProcessLockCount].unlock(); }

CvSemaphore *semaphore_create() { return new (std::nothrow) CvSemaphore(); }

void thread_signal_semaphore(CvSemaphore *sem) {
    if (!sem) return;
    {
        std::lock_guard<std::mutex> guard(sem->lock);
        sem->count++;
    }
    sem->cv.notify_one();
}

bool thread_wait_on_semaphore(CvSemaphore *sem, long timeout_ms) {
    if (!sem) return false;
    std::unique_lock<std::mutex> guard(sem->lock);
    auto ready = [sem] { return sem->count > 0; };
    if (timeout_ms < 0) {
        sem->cv.wait(guard, ready);
    } else if (!sem->cv.wait_for(guard, std::chrono::milliseconds(timeout_ms), ready)) {
        return false;
    }
    sem->count--;
    return true;
}

void thread_clear_semaphore(CvSemaphore *sem) {
    if (!sem) return;
    std::lock_guard<std::mutex> guard(sem->lock);
    sem->count = 0;
}

void thread_close_semaphore(CvSemaphore *sem) { delete sem; }

int odbc_thread_create(CvThread **thread, CvThreadRoutine routine, void *arg, CvSemaphore **start,
                       CvSemaphore **done) {
    *thread = nullptr;
    *start = *done = nullptr;
    if (g_fail_next_create.exchange(false)) return -1;
    std::unique_ptr<CvSemaphore> s(semaphore_create()), d(semaphore_create());
    std::unique_ptr<CvThread> t(new (std::nothrow) CvThread());
    if (!s || !d || !t) return -1;
    // The outputs are written before the thread starts: the routine usually
    // reads them through `arg` (the statement) at once.
    *start = s.get();
    *done = d.get();
    *thread = t.get();
    try {
        t->thread = std::thread(routine, arg);
    } catch (...) {
        *thread = nullptr;
        *start = *done = nullptr;
        return -1;
    }
    s.release();
    d.release();
    t.release();
    return 0;
}

void thread_join(CvThread *thread) {
    if (thread && thread->thread.joinable()) thread->thread.join();
}

void thread_cleanup(CvThread *thread) {
    if (!thread) return;
    if (thread->thread.joinable()) thread->thread.join();
    delete thread;
}

void thread_fail_next_create() { g_fail_next_create.store(true); }
