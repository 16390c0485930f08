// The whole-request deadline: a reply that trickles in one byte at a time,
// a server that accepts and never answers, and the login and query
// time-outs that shorten the deadline; a cancel from another thread ends a
// socket wait as promptly.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/transport/emulator_harness.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A socket that listens on loopback and never accepts: connects succeed
// (the kernel completes them), and then nothing is ever answered.
struct SilentServer {
    int fd = -1;
    int port = 0;
    SilentServer() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 && listen(fd, 8) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0) {
            port = ntohs(a.sin_port);
        }
    }
    ~SilentServer() { close(fd); }
};

}  // namespace

TEST(DeadlineTest, TricklingRepliesEndAtTheDeadline) {
    ChildServer emu = StartEmulator();
    ASSERT_EQ(200, EmulatorControl(emu, "trickle=0.2"));
    // Time limits leave about five times the expected time, so a loaded
    // machine cannot fail them; the reply trickles for minutes without a
    // deadline, and the 60 s socket time-out would end the second case.
    struct Case {
        const char *name;
        int socket_timeout;  // per wait
        int query_limit;     // the request's own limit (0: none)
        const char *sqlstate;
        const char *posted;
        double at_most;      // seconds
        int cancel_ms;       // SQLCancel from another thread after this (0: none)
    } cases[] = {
        {"socket time-out bounds the reply", 2, 0, "HYT01", "did not complete within 2 seconds", 10.0, 0},
        {"query time-out bounds the reply", 60, 1, "HYT00", "did not complete within 1 seconds", 5.0, 0},
        // Without the cancel, the 60 s socket time-out would end it.
        {"a cancel ends the wait for the reply", 60, 0, "HY008", "Operation canceled", 1.5, 300},
    };
    for (const Case &k : cases) {
        EmuClient c;
        MakeClient(c, emu);
        c.ctx->timeout_seconds = k.socket_timeout;
        std::string reason;
        ASSERT_EQ(0, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str())) << reason;
        ASSERT_EQ(200, EmulatorControl(emu, "fault=trickle&count=1&path=/v2/"));
        WebRequestPtr req = NewGetRequest(c.ctx.get(), "v2/invoicing/invoices", 1);
        req->time_limit_seconds = k.query_limit;
        std::atomic<int32_t> cancel{0};
        req->cancel = &cancel;
        std::thread canceller;
        if (k.cancel_ms > 0)
            canceller = std::thread([&cancel, ms = k.cancel_ms] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                cancel.store(1, std::memory_order_release);
            });
        WebResponsePtr resp;
        auto start = std::chrono::steady_clock::now();
        EXPECT_NE(0, WebExchange(req.get(), resp)) << k.name;
        double took = seconds_since(start);
        if (canceller.joinable()) canceller.join();
        EXPECT_LT(took, k.at_most) << k.name;
        EXPECT_NE(std::string::npos, c.posted.all().find(k.posted)) << k.name << c.posted.all();
        EXPECT_NE(std::string::npos, c.posted.all().find(k.sqlstate)) << k.name << c.posted.all();
        EXPECT_NE(std::string::npos, req->error.find(k.posted)) << req->error;
        EXPECT_EQ(-1, c.ctx->socket_fd);
    }
    // The token request trickles too: the login time-out ends it.
    {
        EmuClient c;
        MakeClient(c, emu);
        ASSERT_EQ(200, EmulatorControl(emu, "fault=trickle&count=1&path=/v1/oauth2"));
        std::string reason;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(-1, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str(), 1));
        EXPECT_LT(seconds_since(start), 5.0);
        EXPECT_NE(std::string::npos, reason.find("did not complete within 1 seconds")) << reason;
        EXPECT_EQ("HYT00", c.posted.sqlstates.back()) << c.posted.all();
    }
    StopChild(emu);
}

TEST(DeadlineTest, ASilentServerEndsAtTheLoginTimeout) {
    SilentServer silent;
    ASSERT_GT(silent.port, 0);
    struct Case {
        int socket_timeout, login_limit;
        double at_most;
        const char *sqlstate;
    } cases[] = {
        // About five times the expected time, and below the time a fault
        // would take: the other limit of the pair, or no end at all.
        {60, 1, 5.0, "HYT00"},
        {1, 0, 5.0, "HYT01"},
        {2, 30, 10.0, "HYT01"},  // the socket time-out ends it long before the login limit
    };
    for (const Case &k : cases) {
        Posted posted;
        TlsContextPtr tls = TlsCreateContext();
        PaypalContextPtr ctx = PaypalContextCreate(&posted, CollectPost);
        ASSERT_TRUE(tls && ctx);
        const std::string base = "https://127.0.0.1:" + std::to_string(silent.port);
        ASSERT_EQ(0, PaypalContextConfigure(ctx.get(), base.c_str(), "", "", "", "id",
                                            "a-client-secret"));
        ctx->tls = tls.get();
        ctx->timeout_seconds = k.socket_timeout;
        std::string reason;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(-1, GetAccessToken(ctx.get(), reason, base.c_str(), k.login_limit));
        EXPECT_LT(seconds_since(start), k.at_most) << k.socket_timeout << "/" << k.login_limit;
        EXPECT_NE(std::string::npos, posted.all().find("Timeout expired")) << posted.all();
        EXPECT_NE(std::string::npos, posted.all().find(k.sqlstate)) << posted.all();
        // The deadline ended with the request: the next one starts afresh.
        EXPECT_EQ(0, ctx->deadline_ms);
    }
}
