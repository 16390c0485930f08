// Cloned connections (what they copy, what they keep of their own) and the
// request gate (a pause holds every waiter, closing and cancelling end it).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "transport/transport.h"

namespace {

int g_posts = 0;
void count_post(void *, void *, const char *, int, const char *) { ++g_posts; }

TEST(ContextClone, CopiesTargetCredentialsTokenAndTraceButNotTheSocket) {
    PaypalContextPtr main = PaypalContextCreate(&g_posts, count_post);
    ASSERT_TRUE(main);
    ASSERT_EQ(PaypalContextConfigure(main.get(), "http://127.0.0.1:8080", "", "", "", "the-id", "the-secret"), 0);
    (void)PaypalTraceSetup(&main->trace, 31, "/tmp/cv_clone_test.log");
    main->access_token = "token-text-1234";
    main->token_expiry = 1234567;
    main->retry_limit = 3;
    main->retry_wait_seconds = 9;
    PaypalContextPtr clone = PaypalContextClone(main.get());
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone->api_host, main->api_host);
    EXPECT_EQ(clone->api_port, 8080);
    EXPECT_EQ(clone->client_secret, "the-secret");
    EXPECT_EQ(clone->access_token, "token-text-1234");
    EXPECT_EQ(clone->token_expiry, 1234567);
    EXPECT_EQ(clone->retry_limit, 3);
    EXPECT_EQ(clone->retry_wait_seconds, 9);
    EXPECT_EQ(clone->trace.mask, 31u);
    EXPECT_STREQ(clone->trace.log_file, "/tmp/cv_clone_test.log");
    EXPECT_EQ(clone->trace.secrets, main->trace.secrets);
    EXPECT_EQ(clone->socket_fd, -1) << "its own socket, opened on its first request";
    EXPECT_EQ(clone->post, nullptr) << "a clone's failures stay with its request";
}

TEST(RequestGate, APauseHoldsEveryWaiterAndClosingReleasesThem) {
    struct Case {
        const char *name;
        int64_t pause_ms;
        bool close_after_50ms;
        bool cancel_after_50ms;
        bool passes;
        int64_t min_ms, max_ms;
    };
    // The upper bounds leave about five times the expected wait (a loaded
    // machine under ThreadSanitizer starts threads slowly) and stay far
    // below the wait a fault would cause: the 2.5 s and 5 s pauses.
    const Case cases[] = {
        {"open gate", 0, false, false, true, 0, 250},
        {"paused 300 ms", 300, false, false, true, 280, 1500},
        {"closed during a pause", 5000, true, false, false, 40, 1000},
        {"cancelled during a pause", 5000, false, true, false, 40, 1000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RequestGate gate;
        std::atomic<int32_t> cancel{0};
        if (c.pause_ms) GatePause(&gate, c.pause_ms);
        GatePause(&gate, c.pause_ms / 2);  // a shorter pause leaves the longer one
        std::vector<std::thread> waiters;
        std::atomic<int> passed{0};
        std::vector<int64_t> took(3);
        const int64_t t0 = GateMonotonicMs();
        for (int i = 0; i < 3; ++i)
            waiters.emplace_back([&, i] {
                if (GateWait(&gate, &cancel)) ++passed;
                took[static_cast<size_t>(i)] = GateMonotonicMs() - t0;
            });
        if (c.close_after_50ms || c.cancel_after_50ms) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (c.close_after_50ms) GateClose(&gate);
            if (c.cancel_after_50ms) cancel = 1;
        }
        for (auto &t : waiters) t.join();
        EXPECT_EQ(passed, c.passes ? 3 : 0);
        for (int64_t ms : took) {
            EXPECT_GE(ms, c.min_ms);
            EXPECT_LE(ms, c.max_ms);
        }
    }
}

}  // namespace
