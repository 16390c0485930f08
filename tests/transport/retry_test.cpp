// The retry policy: Retry-After values, backoff bounds, verdicts on each
// kind of outcome, and the waits that the query time-out and cancellation
// cut short.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/transport/emulator_harness.h"
#include "transport/retry.h"

TEST(RetryPolicyTest, RetryAfterValues) {
    const int64_t now = 1445412480;  // Wed, 21 Oct 2015 07:28:00 GMT
    struct Case {
        const char *value;
        int64_t seconds;
    } cases[] = {
        {"1", 1},
        {" 120 ", 120},
        {"0", 0},
        {"300", 300},
        {"3600", 3600},  // long waits are kept: the budget decides
        {"-5", -1},
        {"1.5", -1},
        {"", -1},
        {"99999999999", -1},
        {"Wed, 21 Oct 2015 07:28:30 GMT", 30},
        {"Wed, 21 Oct 2015 07:27:00 GMT", 0},  // already past
        {"Wed, 21 Oct 2015 09:28:00 GMT", 7200},
        {"21 Oct 2015 07:28:30", -1},
    };
    for (const Case &k : cases) EXPECT_EQ(k.seconds, ParseRetryAfter(k.value, now)) << k.value;
}

TEST(RetryPolicyTest, BackoffIsCappedAndJittered) {
    for (int attempt = 0; attempt < 12; ++attempt) {
        int64_t step = kRetryBaseMs << attempt;
        if (step > kRetryCapMs) step = kRetryCapMs;
        for (int i = 0; i < 50; ++i) {
            const int64_t ms = RetryDelayMs("", attempt, 0);
            EXPECT_GE(ms, step / 2) << attempt;
            EXPECT_LE(ms, step) << attempt;
        }
    }
    EXPECT_EQ(7000, RetryDelayMs("7", 3, 0));
}

TEST(RetryPolicyTest, VerdictsByMethodStatusAndFailure) {
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    ASSERT_TRUE(ctx);
    ASSERT_EQ(0, PaypalContextConfigure(ctx.get(), "https://api.example.com", "", "", "", "id",
                                        "a-secret-value"));
    WebRequestPtr get = NewGetRequest(ctx.get(), "v2/invoicing/invoices", 1);
    WebRequestPtr post = NewPostRequest(ctx.get(), "v2/invoicing/invoices", 0);
    // A request id alone does not make a POST repeatable: only an API that
    // honours it (its builder marks the request idempotent).
    WebRequestPtr keyed_post = NewPostRequest(ctx.get(), "v2/invoicing/invoices", 0);
    AddHeader(keyed_post.get(), "PayPal-Request-Id", "req-1");
    WebRequestPtr honoured = NewPostRequest(ctx.get(), "v1/billing/plans", 0);
    AddHeader(honoured.get(), "PayPal-Request-Id", "req-2");
    honoured->idempotent = true;
    WebRequestPtr patch = NewPatchRequest(ctx.get(), "v1/notifications/webhooks/W", 0);
    WebRequestPtr token = NewTokenRequest(ctx.get(), "https://api.example.com/v1/oauth2/token",
                                          "api.example.com");
    WebResponse resp{};
    struct Case {
        WebRequest *req;
        int status;  // 0: no reply, with `failure` and `sent`
        TransportFailure failure;
        int sent;
        RetryVerdict verdict;
    } cases[] = {
        {get.get(), 429, TransportFailure::kNone, 1, RetryVerdict::kRetry},
        {get.get(), 503, TransportFailure::kNone, 1, RetryVerdict::kRetry},
        {get.get(), 501, TransportFailure::kNone, 1, RetryVerdict::kFinal},
        {get.get(), 400, TransportFailure::kNone, 1, RetryVerdict::kFinal},
        {get.get(), 404, TransportFailure::kNone, 1, RetryVerdict::kFinal},
        {get.get(), 401, TransportFailure::kNone, 1, RetryVerdict::kRenewToken},
        {get.get(), 0, TransportFailure::kDropped, 1, RetryVerdict::kRetry},
        {get.get(), 0, TransportFailure::kTimeout, 1, RetryVerdict::kFinal},
        {get.get(), 0, TransportFailure::kOther, 0, RetryVerdict::kFinal},
        {post.get(), 429, TransportFailure::kNone, 1, RetryVerdict::kFinal},
        {post.get(), 0, TransportFailure::kDropped, 1, RetryVerdict::kFinal},
        {post.get(), 0, TransportFailure::kDropped, 0, RetryVerdict::kRetry},
        {post.get(), 0, TransportFailure::kConnect, 0, RetryVerdict::kRetry},
        {post.get(), 401, TransportFailure::kNone, 1, RetryVerdict::kRenewToken},
        {keyed_post.get(), 503, TransportFailure::kNone, 1, RetryVerdict::kFinal},
        {keyed_post.get(), 0, TransportFailure::kDropped, 1, RetryVerdict::kFinal},
        {keyed_post.get(), 0, TransportFailure::kTimeout, 1, RetryVerdict::kFinal},
        {honoured.get(), 503, TransportFailure::kNone, 1, RetryVerdict::kRetry},
        {honoured.get(), 0, TransportFailure::kDropped, 1, RetryVerdict::kRetry},
        {honoured.get(), 0, TransportFailure::kTimeout, 1, RetryVerdict::kRetry},
        {honoured.get(), 0, TransportFailure::kTimeout, 0, RetryVerdict::kFinal},
        {patch.get(), 0, TransportFailure::kDropped, 1, RetryVerdict::kFinal},
        {patch.get(), 0, TransportFailure::kDropped, 0, RetryVerdict::kRetry},
        {patch.get(), 502, TransportFailure::kNone, 1, RetryVerdict::kFinal},
        {token.get(), 500, TransportFailure::kNone, 1, RetryVerdict::kRetry},
        {token.get(), 401, TransportFailure::kNone, 1, RetryVerdict::kFinal},
    };
    int n = 0;
    for (const Case &k : cases) {
        ctx->failure = k.failure;
        ctx->request_sent = k.sent;
        resp.status = k.status;
        EXPECT_EQ(k.verdict, ClassifyOutcome(ctx.get(), k.req, k.status ? 0 : -1,
                                             k.status ? &resp : nullptr))
            << "case " << n;
        ++n;
    }
}

TEST(RetryPolicyTest, QueryTimeoutAndCancelEndTheWait) {
    ChildServer emu = StartEmulator();
    ASSERT_EQ(200, EmulatorControl(emu, "retry_after=30"));
    // The query time-out: a 30-second Retry-After is not waited for.
    {
        EmuClient c;
        MakeClient(c, emu);
        ASSERT_EQ(200, EmulatorControl(emu, "fault=429&count=1&path=/v2/"));
        WebRequestPtr req = NewGetRequest(c.ctx.get(), "v2/invoicing/invoices", 1);
        req->time_limit_seconds = 3;
        WebResponsePtr resp;
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(0, WebExchange(req.get(), resp));
        EXPECT_EQ(429, resp->status);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
        ASSERT_EQ(200, EmulatorControl(emu, "reset=1"));
    }
    // Cancellation from another thread ends the wait promptly; while the
    // request waits, the connection is free: another request of it runs to
    // its end instead of queueing behind the 30-second wait.
    {
        EmuClient c;
        MakeClient(c, emu);
        ASSERT_EQ(200, EmulatorControl(emu, "retry_after=30"));
        ASSERT_EQ(200, EmulatorControl(emu, "fault=429&count=1&path=/v2/"));
        std::atomic<int32_t> cancel{0};
        WebRequestPtr req = NewGetRequest(c.ctx.get(), "v2/invoicing/invoices", 1);
        req->cancel = &cancel;
        int other_status = 0;
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            WebRequestPtr other = NewGetRequest(c.ctx.get(), "v1/billing/plans", 1);
            WebResponsePtr other_resp;
            if (WebExchange(other.get(), other_resp) == 0) other_status = other_resp->status;
            cancel.store(1);
        });
        WebResponsePtr resp;
        auto start = std::chrono::steady_clock::now();
        EXPECT_NE(0, WebExchange(req.get(), resp));
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        canceller.join();
        EXPECT_LT(took, 2.0);
        EXPECT_EQ(200, other_status);
        EXPECT_NE(std::string::npos, c.posted.all().find("HY008")) << c.posted.all();
        EXPECT_EQ("Operation canceled", req->error);
    }
    StopChild(emu);
}
