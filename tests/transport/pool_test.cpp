// Cloned connections (what they copy, what they keep of their own), the
// pool that keeps them between uses (which it keeps, which it closes, the
// token a kept one takes up) and the request gate (a pause holds every
// waiter, closing and cancelling end it).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A new clone whose socket stands open (one end of a socket pair); the fd
// in `fd`.
PaypalContextPtr open_clone(PaypalContext *source, int *fd) {
    PaypalContextPtr ctx = PaypalContextClone(source);
    int pair[2];
    if (!ctx || socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return nullptr;
    close(pair[1]);
    ctx->socket_fd = *fd = pair[0];
    ctx->persistent = 1;
    return ctx;
}

bool fd_open(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(ClonePool, KeepsOpenClonesUpToItsSizeUntilClosed) {
    PaypalContextPtr main = PaypalContextCreate(nullptr, nullptr);
    ASSERT_TRUE(main);
    ASSERT_EQ(PaypalContextConfigure(main.get(), "http://127.0.0.1:8080", "", "", "", "id", "secret"), 0);
    struct Case {
        const char *name;
        bool closed;       // the pool was closed before the give
        bool socket_open;  // the clone's socket is open
        int idle_before;   // clones already idle
        size_t keep;
        bool kept;
    };
    const Case cases[] = {
        {"open, room left", false, true, 1, 2, true},
        {"open, pool full", false, true, 2, 2, false},
        {"socket closed", false, false, 0, 2, false},
        {"pool closed", true, true, 0, 2, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ClonePool pool;
        std::vector<int> idle_fds;
        for (int i = 0; i < c.idle_before; ++i) {
            int fd;
            PaypalContextPtr idle = open_clone(main.get(), &fd);
            ASSERT_TRUE(idle);
            idle_fds.push_back(fd);
            ClonePoolGive(&pool, std::move(idle), 8);
        }
        if (c.closed) ClonePoolClose(&pool);
        int fd = -1;
        PaypalContextPtr ctx = open_clone(main.get(), &fd);
        ASSERT_TRUE(ctx);
        if (!c.socket_open) ForceClose(ctx.get());
        PaypalContext *given = ctx.get();
        ctx->owner = &pool;
        ClonePoolGive(&pool, std::move(ctx), c.keep);
        EXPECT_EQ(ClonePoolIdle(&pool), static_cast<size_t>(c.idle_before) + (c.kept ? 1 : 0));
        if (c.socket_open) {
            EXPECT_EQ(fd_open(fd), c.kept) << "what is not kept is closed";
        }
        if (!c.kept) continue;
        // The last given comes first, without its former user's owner.
        PaypalContextPtr again = ClonePoolTake(&pool, main.get());
        EXPECT_EQ(again.get(), given);
        EXPECT_EQ(again->owner, nullptr);
        EXPECT_EQ(again->socket_fd, fd);
        ClonePoolGive(&pool, std::move(again), c.keep);
        ClonePoolClose(&pool);
        EXPECT_EQ(ClonePoolIdle(&pool), 0u);
        EXPECT_FALSE(fd_open(fd)) << "closing the pool closes its idle clones";
        for (int f : idle_fds) EXPECT_FALSE(fd_open(f));
    }
}

TEST(ClonePool, AKeptCloneTakesUpItsSourcesRenewedTokenUnlessTheSourceIsBusy) {
    PaypalContextPtr main = PaypalContextCreate(nullptr, nullptr);
    ASSERT_TRUE(main);
    ASSERT_EQ(PaypalContextConfigure(main.get(), "http://127.0.0.1:8080", "", "", "", "id", "secret"), 0);
    main->access_token = "first-token-0001";
    ClonePool pool;
    int fd;
    PaypalContextPtr ctx = open_clone(main.get(), &fd);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->access_token, "first-token-0001");
    ClonePoolGive(&pool, std::move(ctx), 4);
    main->access_token = "second-token-0002";
    main->token_expiry = 777;
    {
        // Another statement's request holds the source: the clone keeps
        // its token rather than wait.
        std::atomic<bool> holding{false}, done{false};
        std::thread other([&] {
            std::lock_guard<std::recursive_mutex> guard(main->request_lock);
            holding = true;
            while (!done) std::this_thread::yield();
        });
        while (!holding) std::this_thread::yield();
        ctx = ClonePoolTake(&pool, main.get());
        done = true;
        other.join();
    }
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->access_token, "first-token-0001");
    ClonePoolGive(&pool, std::move(ctx), 4);
    ctx = ClonePoolTake(&pool, main.get());
    ASSERT_TRUE(ctx);
    EXPECT_EQ(ctx->access_token, "second-token-0002");
    EXPECT_EQ(ctx->token_expiry, 777);
    std::string line = "sent second-token-0002";
    PaypalTraceScrub(&ctx->trace, line);
    EXPECT_EQ(line.find("second-token"), std::string::npos) << "the new token is masked in the clone's lines too";
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
