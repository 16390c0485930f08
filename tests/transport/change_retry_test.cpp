// Changes whose reply never came, kept sockets the server closed, and
// Retry-After waits the budget cannot afford, against the emulator: what is
// sent again, with which PayPal-Request-Id, how many objects PayPal ends up
// with, and what the application is told.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/transport/emulator_harness.h"
#include "transport/retry.h"

namespace {

// Objects of `collection` the emulator made so far.
int made(EmuClient &c, const std::string &collection) {
    WebRequestPtr req = NewGetRequest(c.ctx.get(), "_emulator/created", 1);
    WebResponsePtr resp;
    if (WebExchange(req.get(), resp) != 0 || !resp) return -1;
    int n = 0;
    const std::string quoted = "\"" + collection + "\"";
    for (size_t at = resp->body.find(quoted); at != std::string::npos; at = resp->body.find(quoted, at + 1)) ++n;
    return n;
}

int logged(const ChildServer &emu, const std::string &method, const std::string &path,
           std::string *id = nullptr) {
    int n = 0;
    for (const LoggedRequest &r : ReadRequestLog(emu)) {
        if (r.method != method || r.path != path) continue;
        ++n;
        if (id) {
            auto h = r.headers.find("paypal-request-id");
            if (h == r.headers.end() || (!id->empty() && *id != h->second)) *id = "<differs>";
            else *id = h->second;
        }
    }
    return n;
}

}  // namespace

TEST(ChangeRetryTest, UnsettledChangesAndTheirBudget) {
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    ASSERT_TRUE(ctx);
    ASSERT_EQ(0, PaypalContextConfigure(ctx.get(), "https://api.example.com", "", "", "", "id", "a-secret-value"));
    ctx->retry_wait_seconds = 10;
    WebRequestPtr get = NewGetRequest(ctx.get(), "v1/notifications/webhooks", 1);
    WebRequestPtr post = NewPostRequest(ctx.get(), "v1/notifications/webhooks", 0);
    WebRequestPtr token =
        NewTokenRequest(ctx.get(), "https://api.example.com/v1/oauth2/token", "api.example.com");
    WebResponse resp{};
    struct Case {
        WebRequest *req;
        int status;  // 0: no reply
        int sent;
        bool unsettled;
        int64_t waited_ms, elapsed_ms, budget_ms;
    } cases[] = {
        {post.get(), 0, 1, true, 0, 4000, 6000},    // a resend goes out within retry_wait of the first
        {post.get(), 0, 0, false, 1000, 4000, 9000},  // never sent: only the waits count
        {post.get(), 500, 1, true, 0, 0, 10000},
        {post.get(), 504, 1, true, 0, 0, 10000},
        {post.get(), 503, 1, false, 0, 0, 10000},
        {post.get(), 201, 1, false, 0, 0, 10000},
        {post.get(), 0, 1, true, 0, 12000, 0},
        {get.get(), 0, 1, false, 2000, 9000, 8000},
        {token.get(), 0, 1, false, 0, 0, 10000},
    };
    int n = 0;
    for (const Case &k : cases) {
        ctx->request_sent = k.sent;
        resp.status = k.status;
        k.req->waited_ms = k.waited_ms;
        EXPECT_EQ(k.unsettled, IsUnsettledChange(ctx.get(), k.req, k.status ? 0 : -1, k.status ? &resp : nullptr))
            << "case " << n;
        EXPECT_EQ(k.budget_ms, RetryBudgetMs(ctx.get(), k.req, 1000, 1000 + k.elapsed_ms)) << "case " << n;
        ++n;
    }
}

// A POST whose connection is dropped after PayPal made the object, or whose
// reply comes after the socket time-out: sent again with the same id where
// the API honours it (one object, success), else reported as possibly
// applied with its id (one object, no resend).
TEST(ChangeRetryTest, ReplyNeverCameResendsOnlyWhereTheIdIsHonoured) {
    ChildServer emu = StartEmulator();
    const char *plan =
        R"({"product_id":"PROD-1","name":"p","billing_cycles":[{"sequence":1}],)"
        R"("payment_preferences":{"auto_bill_outstanding":true}})";
    const char *hook = R"({"url":"https://r.example/","event_types":[{"name":"X"}]})";
    struct Case {
        const char *path, *collection, *body;
        bool honoured;
        const char *fault;
        bool fresh;  // on a new socket, else on the kept one
        int faults;  // requests the fault hits
        int sends;   // POSTs the emulator logs
        bool ok;
    } cases[] = {
        {"/v1/billing/plans", "plans", plan, true, "drop", true, 1, 2, true},
        {"/v1/billing/plans", "plans", plan, true, "drop", false, 1, 2, true},
        {"/v1/notifications/webhooks", "webhooks", hook, false, "drop", true, 1, 1, false},
        {"/v1/notifications/webhooks", "webhooks", hook, false, "drop", false, 1, 1, false},
        {"/v1/billing/plans", "plans", plan, true, "slow", false, 1, 2, true},
        {"/v1/notifications/webhooks", "webhooks", hook, false, "slow", false, 1, 1, false},
        // Every send dropped: when the retries (2 here) end, the change may have been applied.
        {"/v1/billing/plans", "plans", plan, true, "drop", true, 9, 3, false},
    };
    ASSERT_EQ(200, EmulatorControl(emu, "slow=3"));
    for (const Case &k : cases) {
        SCOPED_TRACE(std::string(k.path) + " " + k.fault + (k.fresh ? " fresh" : " kept") + " x" +
                     std::to_string(k.faults));
        ASSERT_EQ(200, EmulatorControl(emu, "clear_log=1"));
        EmuClient c;
        MakeClient(c, emu);
        c.ctx->timeout_seconds = 1;
        const int before = made(c, k.collection);
        if (k.fresh) ForceClose(c.ctx.get());
        c.ctx->retry_limit = 2;
        ASSERT_EQ(200, EmulatorControl(emu, std::string("fault=") + k.fault + "&count=" + std::to_string(k.faults) +
                                                "&path=" + k.path));
        WebRequestPtr req = NewPostRequest(c.ctx.get(), k.path + 1, 0);
        SetBodyText(req.get(), k.body);
        AddHeader(req.get(), "Content-Type", "application/json");
        // PayPal keeps an id for a while: each case has its own.
        const std::string rid = "rid-42-" + std::to_string(&k - cases);
        AddHeader(req.get(), "PayPal-Request-Id", rid);
        req->idempotent = k.honoured;
        c.posted = Posted{};
        WebResponsePtr resp;
        const int rc = WebExchange(req.get(), resp);
        EXPECT_EQ(k.ok, rc == 0 && resp && resp->status == 201) << c.posted.all();
        std::string id;
        EXPECT_EQ(k.sends, logged(emu, "POST", k.path, &id));
        EXPECT_EQ(rid, id);
        EXPECT_EQ(before + 1, made(c, k.collection)) << "never a second object";
        if (!k.ok) {
            ASSERT_FALSE(c.posted.messages.empty());
            EXPECT_EQ("08S01", c.posted.sqlstates.front());
            EXPECT_NE(std::string::npos, c.posted.messages.front().find("may have been applied"));
            EXPECT_NE(std::string::npos, c.posted.messages.front().find(rid));
            EXPECT_NE(std::string::npos, req->error.find(rid)) << req->error;
        }
    }
    StopChild(emu);
}

// Kept sockets the server closed: while idle (passed over before the
// request goes out), or just as the request went out with nothing coming
// back (the `drop` fault, after the emulator acted on it). The request
// reaches PayPal and its reply, not "peer shutdown", comes back; a POST
// PayPal would not know again by its id is the exception: one object and
// "may have been applied".
TEST(ChangeRetryTest, KeptSocketClosedByTheServer) {
    ChildServer emu = StartEmulator();
    ASSERT_EQ(200, EmulatorControl(emu, "idle_timeout=1"));
    const char *hooks = "/v1/notifications/webhooks";
    const char *hook = R"({"url":"https://k.example/","event_types":[{"name":"X"}]})";
    struct Case {
        HttpMethod method;
        const char *path, *body;
        bool idle;     // else the drop fault on the kept socket
        int status;    // 0: fails as possibly applied
        int sends;     // requests the emulator logs
        int objects;   // webhooks made
    } cases[] = {
        {HttpMethod::PATCH, "/v1/notifications/webhooks/WH-NONE", "[]", false, 404, 2, 0},
        {HttpMethod::DELETE_, "/v1/notifications/webhooks/WH-NONE", "", false, 404, 2, 0},
        {HttpMethod::PATCH, "/v1/notifications/webhooks/WH-NONE", "[]", true, 404, 1, 0},
        {HttpMethod::POST, hooks, hook, true, 201, 1, 1},
        {HttpMethod::POST, hooks, hook, false, 0, 1, 1},
    };
    int n = 0;
    for (const Case &k : cases) {
        SCOPED_TRACE(n++);
        EmuClient c;
        MakeClient(c, emu);
        const int before = made(c, "webhooks");
        ASSERT_EQ(200, EmulatorControl(emu, "clear_log=1"));
        if (k.idle) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1600));
        } else {
            ASSERT_EQ(200, EmulatorControl(emu, std::string("fault=drop&count=1&path=") + k.path));
        }
        const std::string path = k.path + 1;
        WebRequestPtr req = k.method == HttpMethod::PATCH    ? NewPatchRequest(c.ctx.get(), path, 0)
                            : k.method == HttpMethod::DELETE_ ? NewDeleteRequest(c.ctx.get(), path, 0)
                                                              : NewPostRequest(c.ctx.get(), path, 0);
        if (*k.body) {
            SetBodyText(req.get(), k.body);
            AddHeader(req.get(), "Content-Type", "application/json");
        }
        AddHeader(req.get(), "PayPal-Request-Id", "rid-7-" + std::to_string(n));
        c.posted = Posted{};
        WebResponsePtr resp;
        const int rc = WebExchange(req.get(), resp);
        if (k.status) {
            ASSERT_EQ(0, rc) << c.posted.all();
            EXPECT_EQ(k.status, resp->status);
            EXPECT_EQ(std::string::npos, c.posted.all().find("peer shutdown")) << c.posted.all();
        } else {
            EXPECT_NE(0, rc);
            EXPECT_NE(std::string::npos, c.posted.all().find("may have been applied")) << c.posted.all();
        }
        int sends = 0;
        for (const LoggedRequest &r : ReadRequestLog(emu)) sends += r.path == k.path && r.method != "GET";
        EXPECT_EQ(k.sends, sends);
        EXPECT_EQ(before + k.objects, made(c, "webhooks"));
    }
    StopChild(emu);
}

// A Retry-After longer than what retry_wait or the query time-out leaves is
// not waited for: the call ends at once, the message giving the wait.
TEST(ChangeRetryTest, RetryAfterBeyondTheBudgetFailsAtOnce) {
    ChildServer emu = StartEmulator();
    struct Case {
        const char *retry_after;
        int retry_wait, time_limit;
        const char *says;
    } cases[] = {
        {"600", 120, 0, "wait 600 seconds"},
        {"5", 2, 0, "retry_wait leaves 2 seconds"},
        {"40", 120, 10, "the query time-out leaves"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.retry_after);
        EmuClient c;
        MakeClient(c, emu);
        c.ctx->retry_wait_seconds = k.retry_wait;
        ASSERT_EQ(200, EmulatorControl(emu, std::string("retry_after=") + k.retry_after));
        ASSERT_EQ(200, EmulatorControl(emu, "fault=429&count=1&path=/v1/notifications/"));
        WebRequestPtr req = NewGetRequest(c.ctx.get(), "v1/notifications/webhooks", 1);
        req->time_limit_seconds = k.time_limit;
        WebResponsePtr resp;
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(0, WebExchange(req.get(), resp));
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.5);
        EXPECT_EQ(429, resp->status);
        EXPECT_EQ(0, req->retries);
        EXPECT_NE(std::string::npos, c.posted.all().find(k.says)) << c.posted.all();
        ASSERT_EQ(200, EmulatorControl(emu, "reset=1"));
    }
    // The token request alike: its reason gives the wait.
    EmuClient c;
    MakeClient(c, emu);
    ASSERT_EQ(200, EmulatorControl(emu, "retry_after=600"));
    ASSERT_EQ(200, EmulatorControl(emu, "fault=429&count=1&path=/v1/oauth2/token"));
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(0, GetAccessToken(c.ctx.get(), reason, ("https://127.0.0.1:" + std::to_string(emu.port)).c_str()));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.5);
    EXPECT_NE(std::string::npos, reason.find("wait 600 seconds")) << reason;
    StopChild(emu);
}
