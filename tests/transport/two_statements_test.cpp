// Two statements of one connection scanning on two threads (legal in ODBC):
// each failure of a request is posted on the statement that made it, never
// on the other one or on the connection. Runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "sqi/scan.h"
#include "sqi/session.h"
#include "support/connstr.h"
#include "support/pool.h"
#include "tests/transport/emulator_harness.h"

namespace {

// Stand-ins for statement handles: no handle tag, so the DAL's diagnostic
// lookups find nothing and every message comes through the callback.
struct FakeStatement {
    uint32_t kind = 0;
    const char *name;
};

std::mutex g_posted_lock;
std::vector<std::pair<void *, std::string>> g_posted;

int record_post(DalRecord *, int code, DalServiceRequest *r) {
    if (code == DAL_SERVICE_POST_ERROR) {
        std::lock_guard<std::mutex> guard(g_posted_lock);
        g_posted.emplace_back(r->handle, r->message ? r->message : "");
    }
    return DAL_OK;
}

int scan(PaypalIterator *it, const char *table) {
    TableInfo info{};
    snprintf(info.table, sizeof info.table, "%s", table);
    return SQIStartQuery(it, &info, nullptr, nullptr, 0, nullptr);
}

}  // namespace

TEST(TwoStatementsTest, EachFailureGoesToTheStatementThatMadeTheRequest) {
    ChildServer emu = StartEmulator();
    // Every invoice request is dropped; plans are served.
    ASSERT_EQ(200, EmulatorControl(emu, "fault=drop&count=100000&path=/v2/invoicing"));
    void *env = nullptr;
    const DalLink link{nullptr, nullptr, record_post};
    ASSERT_EQ(DAL_OK, SQIAllocEnv(&link, &env, nullptr));
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ConnAttrList *attrs = init_con_str(pool);
    const std::string text = "client_id=emu-client-id;client_secret=emu-client-secret;base_url=https://127.0.0.1:" +
                             std::to_string(emu.port) + ";cert=" + emu.ca +
                             ";retries=0";  // each drop fails at once: routing is what is tested
    ASSERT_EQ(0, parse_connection_string(attrs, text.c_str(), -3));
    char out[256];
    ASSERT_EQ(DAL_OK, SQIConnect(env, attrs, nullptr, out, sizeof out));
    free_con_str(attrs);
    g_posted.clear();

    FakeStatement failing{0, "failing"}, working{0, "working"};
    auto *it_failing = static_cast<PaypalIterator *>(SQIOpenIterator(&failing, env, nullptr, nullptr));
    auto *it_working = static_cast<PaypalIterator *>(SQIOpenIterator(&working, env, nullptr, nullptr));
    ASSERT_TRUE(it_failing && it_working);
    constexpr int kRounds = 12;
    int failing_errors = 0, working_ok = 0;
    std::thread a([&] {
        for (int i = 0; i < kRounds; ++i) failing_errors += scan(it_failing, "Invoices") == DAL_ERROR;
    });
    std::thread b([&] {
        for (int i = 0; i < kRounds; ++i) working_ok += scan(it_working, "Plans") == DAL_OK;
    });
    a.join();
    b.join();
    EXPECT_EQ(kRounds, failing_errors);
    EXPECT_EQ(kRounds, working_ok);
    int on_failing = 0;
    for (const auto &[handle, message] : g_posted) {
        EXPECT_EQ(&failing, handle) << message;
        on_failing += handle == &failing;
    }
    EXPECT_GE(on_failing, kRounds);
    (void)SQICloseIterator(it_failing);
    (void)SQICloseIterator(it_working);
    (void)SQIDisconnect(env);
    (void)SQIFreeEnv(env, nullptr);
    cv_mem_release_handle(pool);
    StopChild(emu);
}
