// The asynchronous frame: a job on the statement's worker, polled by the
// application thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "odbc/async.h"
#include "odbc/odbc_api.h"
#include "support/threads.h"

namespace {

std::atomic<bool> g_release{false};
std::atomic<int> g_runs{0};

int slow_job(STMT *, void *arg) {
    while (!g_release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    g_runs++;
    return static_cast<int>(reinterpret_cast<intptr_t>(arg));
}

struct AsyncTest : ::testing::Test {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT h = nullptr;
    void SetUp() override {
        g_release = false;
        g_runs = 0;
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
        ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
        ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h), SQL_SUCCESS);
    }
    void TearDown() override {
        g_release = true;
        if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    STMT *stmt() { return static_cast<STMT *>(h); }
};

TEST_F(AsyncTest, StartPollAndCollectTheResult) {
    STMT *s = stmt();
    s->state = S5;
    async_start(s, SQL_API_SQLFETCH, slow_job, reinterpret_cast<void *>(SQL_SUCCESS_WITH_INFO));
    EXPECT_EQ(s->state, S11);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(async_poll(s, SQL_API_SQLFETCH), SQL_STILL_EXECUTING);
    // About five times the 100 ms a poll may block: a poll that waited for the
    // job would never return here (the job runs until released below).
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500)) << "a poll blocks about 100 ms at most";
    // Another function is out of sequence; diagnostics are hidden while running.
    EXPECT_EQ(async_poll(s, SQL_API_SQLEXECUTE), SQL_ERROR);
    EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, h, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
    SQLRETURN rc = 0;
    SQLINTEGER n = -1;
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 0, SQL_DIAG_RETURNCODE, &rc, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rc, SQL_STILL_EXECUTING);
    EXPECT_EQ(SQLGetDiagField(SQL_HANDLE_STMT, h, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(n, 0);
    g_release = true;
    SQLRETURN r;
    while ((r = async_poll(s, SQL_API_SQLFETCH)) == SQL_STILL_EXECUTING) {}
    EXPECT_EQ(r, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(s->state, S5);
    EXPECT_STREQ(diag_sqlstate(s->diag, 1), "HY010");  // from the out-of-sequence poll

    // The worker is reused for the next job.
    async_start(s, SQL_API_SQLFETCH, slow_job, reinterpret_cast<void *>(kAsyncNoTransition));
    while ((r = async_poll(s, SQL_API_SQLFETCH)) == SQL_STILL_EXECUTING) {}
    EXPECT_EQ(r, SQL_ERROR);
    EXPECT_EQ(g_runs.load(), 2);
}

TEST_F(AsyncTest, FreeingWhileRunningWaitsForTheJobAndStopsTheWorker) {
    STMT *s = stmt();
    s->state = S1;
    async_start(s, SQL_API_SQLEXECDIRECT, slow_job, nullptr);
    std::thread releaser([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        g_release = true;
    });
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, h), SQL_SUCCESS);
    h = nullptr;
    releaser.join();
    EXPECT_EQ(g_runs.load(), 1) << "the job ran to its end before the statement went";
    EXPECT_EQ(static_cast<DBC *>(dbc)->statements, 0);
}

TEST_F(AsyncTest, AWorkerThatCannotStartFailsTheFirstPoll) {
    STMT *s = stmt();
    s->state = S1;
    thread_fail_next_create();
    async_start(s, SQL_API_SQLEXECDIRECT, slow_job, nullptr);
    EXPECT_EQ(async_poll(s, SQL_API_SQLEXECDIRECT), SQL_ERROR);
    EXPECT_EQ(s->state, S1);
    EXPECT_STREQ(diag_sqlstate(s->diag, 1), "HY000");
    EXPECT_EQ(g_runs.load(), 0);
}

}  // namespace
