#include "support/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {

struct Job {
    CvSemaphore *start = nullptr, *done = nullptr;
    std::atomic<int> runs{0};
};

void worker(void *arg) {
    auto *job = static_cast<Job *>(arg);
    while (thread_wait_on_semaphore(job->start, -1)) {
        if (job->runs.fetch_add(1) == 2) break;
        thread_signal_semaphore(job->done);
    }
    thread_signal_semaphore(job->done);
}

TEST(ThreadsTest, WorkerHandsOverThroughSemaphores) {
    Job job;
    CvThread *t = nullptr;
    ASSERT_EQ(odbc_thread_create(&t, worker, &job, &job.start, &job.done), 0);
    for (int i = 0; i < 3; i++) {
        thread_signal_semaphore(job.start);
        ASSERT_TRUE(thread_wait_on_semaphore(job.done, 5000));
    }
    thread_join(t);
    thread_cleanup(t);
    EXPECT_EQ(job.runs.load(), 3);
    thread_close_semaphore(job.start);
    thread_close_semaphore(job.done);
}

TEST(ThreadsTest, WaitTimesOutAndClearDropsSignals) {
    CvSemaphore *s = semaphore_create();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(thread_wait_on_semaphore(s, 50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
    thread_signal_semaphore(s);
    thread_signal_semaphore(s);
    thread_clear_semaphore(s);
    EXPECT_FALSE(thread_wait_on_semaphore(s, 0));
    thread_close_semaphore(s);
}

TEST(ThreadsTest, InjectedCreateFailureLeavesNothingBehind) {
    Job job;
    CvThread *t = reinterpret_cast<CvThread *>(1);
    thread_fail_next_create();
    EXPECT_EQ(odbc_thread_create(&t, worker, &job, &job.start, &job.done), -1);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(job.start, nullptr);
}

}  // namespace
