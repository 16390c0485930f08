// Living with PayPal's limits through the provider: 429 with Retry-After,
// transient 5xx and dropped connections in the middle of a long paged scan,
// the retry limits, what is never retried, the trace of the retries, and
// the token shared by the connections of the process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>

#include "tests/sqi_scan/scan_harness.h"
#include "transport/transport.h"

namespace {

// An emulator of its own with 2,000 invoices: 100 pages of 20.
Emulator &big_emulator() {
    static Emulator emu;
    static const bool started = [] {
        if (!emu.start({"--invoices", "2000"})) emu.port = 0;
        atexit([] { emu.stop(); });
        return true;
    }();
    (void)started;
    return emu;
}

// Sends "/_emulator/control?<query>" through the connection's own transport.
int control(ScanEnv &s, const std::map<std::string, std::string> &params) {
    PaypalContext *ctx = static_cast<PaypalEnv *>(s.env)->session->context.get();
    WebRequestPtr req = NewGetRequest(ctx, "_emulator/control", 1);
    for (const auto &[k, v] : params) AddParameter(req.get(), k, v, 0);
    WebResponsePtr resp;
    if (WebExchange(req.get(), resp) != 0 || !resp) return -1;
    return resp->status;
}

std::vector<std::string> scan_ids(ScanEnv &s) {
    std::vector<std::string> ids;
    if (s.start("Invoices") != DAL_OK) return {"<start failed>"};
    for (;;) {
        int rc = s.next();
        if (rc == DAL_NO_DATA) break;
        if (rc != DAL_OK) {
            ids.push_back("<error>");
            break;
        }
        ids.push_back(s.text("Id"));
    }
    return ids;
}

struct Logged {
    double time;
    std::string path, query, auth;
};

std::vector<Logged> logged(const Emulator &emu) {
    std::vector<Logged> out;
    for (json_t *j : emu.requests()) {
        Logged l;
        l.time = json_real_value(json_object_get(j, "time"));
        const char *p = json_string_value(json_object_get(j, "path"));
        const char *q = json_string_value(json_object_get(j, "query"));
        json_t *headers = json_object_get(j, "headers");
        const char *a = json_string_value(json_object_get(headers, "Authorization"));
        if (!a) a = json_string_value(json_object_get(headers, "authorization"));
        l.path = p ? p : "";
        l.query = q ? q : "";
        l.auth = a ? a : "";
        out.push_back(l);
        json_decref(j);
    }
    return out;
}

int count_path(const std::vector<Logged> &log, const std::string &prefix) {
    int n = 0;
    for (const Logged &l : log) n += l.path.rfind(prefix, 0) == 0;
    return n;
}

}  // namespace

TEST(ScanRetry, FaultsInTheMiddleOfALongScanLoseNoRow) {
    Emulator &emu = big_emulator();
    ASSERT_GT(emu.port, 0);
    const std::string trace = "/tmp/cv-retry-trace-" + std::to_string(getpid()) + ".log";
    unlink(trace.c_str());
    ScanEnv clean;
    ASSERT_TRUE(clean.connect("query_timeout=0", &emu));
    const std::vector<std::string> expected = scan_ids(clean);
    ASSERT_EQ(2000u, expected.size());

    ScanEnv s;
    ASSERT_TRUE(s.connect("query_timeout=0;logging=31;logfile=" + trace, &emu));
    ASSERT_EQ(200, control(s, {{"retry_after", "1"}}));
    ASSERT_EQ(200, control(s, {{"fault", "429"}, {"every", "10"}, {"count", "1000"},
                               {"path", "/v2/invoicing"}}));
    ASSERT_EQ(200, control(s, {{"fault", "reset"}, {"every", "57"}, {"count", "1"},
                               {"path", "/v2/invoicing"}}));
    emu.clear_log();
    posted_messages().clear();
    const std::vector<std::string> got = scan_ids(s);
    EXPECT_EQ(expected, got) << "every row exactly once, in the same order";
    EXPECT_TRUE(posted_messages().empty()) << posted_messages().front();
    ASSERT_EQ(200, control(s, {{"reset", "1"}}));

    // Repeated page requests: each 429 waited the second Retry-After asked.
    const std::vector<Logged> log = logged(emu);
    // (Pages come over parallel connections: a repeat need not follow its
    // first request directly.)
    int repeats = 0, honoured = 0;
    std::map<std::string, double> asked;
    for (const Logged &l : log) {
        if (l.path != "/v2/invoicing/invoices") continue;
        auto [at, first] = asked.try_emplace(l.query, l.time);
        if (first) continue;
        ++repeats;
        honoured += l.time - at->second >= 0.95;
        at->second = l.time;
    }
    EXPECT_GE(repeats, 11) << "ten 429s and a reset";
    EXPECT_GE(honoured, 10);

    // The trace shows each retry, and no secret.
    const std::string text = [&] {
        std::string t;
        FILE *f = fopen(trace.c_str(), "r");
        char buf[65536];
        size_t n;
        while (f && (n = fread(buf, 1, sizeof buf, f)) > 0) t.append(buf, n);
        if (f) fclose(f);
        return t;
    }();
    int retry_lines = 0;
    const std::string mark = " of 5 for /v2/invoicing/invoices";
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) ++retry_lines;
    EXPECT_GE(retry_lines, repeats);
    EXPECT_NE(std::string::npos, text.find("(HTTP 429): waiting 1000 ms"));
    EXPECT_NE(std::string::npos, text.find("(connection lost): waiting"));
    EXPECT_EQ(std::string::npos, text.find("emu-client-secret"));
    for (const Logged &l : log) {
        if (l.auth.rfind("Bearer ", 0) == 0) {
            EXPECT_EQ(std::string::npos, text.find(l.auth.substr(7)));
        }
    }
    unlink(trace.c_str());
}

TEST(ScanRetry, LimitsEndAPermanentFailureWithPayPalsText) {
    Emulator &emu = big_emulator();
    struct Case {
        const char *settings;
        int max_requests;   // of the failing page
        double at_most;     // seconds
    } cases[] = {
        // Time limits are about five times the expected time: a loaded
        // machine must not fail them. A retry too many is caught by the count.
        {"retries=3", 4, 8.0},             // backoff 0.25 + 0.5 + 1 s at most
        {"retries=20;retry_wait=1", 6, 5.0},  // the total wait ends it first
        {"retries=0", 1, 2.5},
    };
    for (const Case &k : cases) {
        ScanEnv s;
        ASSERT_TRUE(s.connect(std::string("query_timeout=0;") + k.settings, &emu));
        ASSERT_EQ(200, control(s, {{"fault", "503"}, {"count", "100000"}, {"path", "/v2/invoicing"}}));
        emu.clear_log();
        posted_messages().clear();
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(DAL_ERROR, s.start("Invoices")) << k.settings;
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(200, control(s, {{"reset", "1"}}));
        EXPECT_LT(took, k.at_most) << k.settings;
        const int tries = count_path(logged(emu), "/v2/invoicing");
        EXPECT_LE(tries, k.max_requests) << k.settings;
        EXPECT_GE(tries, 1) << k.settings;
        ASSERT_EQ(1u, posted_messages().size()) << k.settings;
        EXPECT_NE(std::string::npos, posted_messages()[0].find("SERVICE_UNAVAILABLE"))
            << posted_messages()[0];
    }
    // The exact count where nothing else limits it.
    {
        ScanEnv s;
        ASSERT_TRUE(s.connect("query_timeout=0;retries=2", &emu));
        ASSERT_EQ(200, control(s, {{"fault", "503"}, {"count", "100000"}, {"path", "/v2/invoicing"}}));
        emu.clear_log();
        EXPECT_EQ(DAL_ERROR, s.start("Invoices"));
        ASSERT_EQ(200, control(s, {{"reset", "1"}}));
        EXPECT_EQ(3, count_path(logged(emu), "/v2/invoicing"));
    }
}

TEST(ScanRetry, ClientErrorsAreNeverRetried) {
    Emulator &emu = big_emulator();
    for (const char *status : {"400", "404", "422"}) {
        ScanEnv s;
        ASSERT_TRUE(s.connect("query_timeout=0", &emu));
        ASSERT_EQ(200, control(s, {{"fault", status}, {"count", "1"}, {"path", "/v2/invoicing"}}));
        emu.clear_log();
        (void)s.start("Invoices");
        EXPECT_EQ(1, count_path(logged(emu), "/v2/invoicing")) << status;
        ASSERT_EQ(200, control(s, {{"reset", "1"}}));
    }
}

TEST(ScanRetry, TheProcessSharesOneTokenPerCredentials) {
    Emulator &emu = big_emulator();
    TokenCacheClear();
    emu.clear_log();
    {
        std::vector<std::unique_ptr<ScanEnv>> envs;
        for (int i = 0; i < 10; ++i) {
            envs.push_back(std::make_unique<ScanEnv>());
            ASSERT_TRUE(envs.back()->connect("query_timeout=0", &emu)) << i;
        }
        EXPECT_EQ(1, count_path(logged(emu), "/v1/oauth2/token"));
        // A different secret never gets the shared token: it asks (and is refused).
        PaypalContextPtr other = PaypalContextCreate(nullptr, nullptr);
        ASSERT_TRUE(other);
        ASSERT_EQ(0, PaypalContextConfigure(other.get(), emu.base_url().c_str(), "", "", "",
                                            "emu-client-id", "another-secret"));
        std::string reason;
        EXPECT_NE(0, ObtainToken(other.get(), reason));
        EXPECT_EQ(2, count_path(logged(emu), "/v1/oauth2/token"));

        // The server revokes every token: the next request is refused with
        // 401, the token is renewed once and the request repeated.
        ASSERT_EQ(200, control(*envs[3], {{"revoke_tokens", "1"}}));
        emu.clear_log();
        posted_messages().clear();
        ASSERT_EQ(DAL_OK, envs[3]->start("Invoices"));
        EXPECT_EQ(DAL_OK, envs[3]->next());
        EXPECT_TRUE(posted_messages().empty()) << posted_messages().front();
        std::vector<Logged> log = logged(emu);
        EXPECT_EQ(1, count_path(log, "/v1/oauth2/token"));
        EXPECT_EQ(2, count_path(log, "/v2/invoicing"));
        // The renewed token is shared too: another connection uses it at once.
        emu.clear_log();
        ASSERT_EQ(DAL_OK, envs[7]->start("Invoices"));
        log = logged(emu);
        EXPECT_EQ(0, count_path(log, "/v1/oauth2/token"));
    }
}

TEST(ScanRefusals, ControlCharactersInKeysAreNotSent) {
    ScanEnv s;
    ASSERT_TRUE(s.connect());
    emulator().clear_log();
    posted_messages().clear();
    EXPECT_EQ(DAL_ERROR, s.start("DisputeDetails", {{"DisputeId", RESTRICT_EQ, "PP-D-1\r\nX-Injected: 1"}}));
    ASSERT_FALSE(posted_messages().empty());
    EXPECT_NE(std::string::npos, posted_messages().back().find("control character"));
    EXPECT_EQ(0u, emulator().request_count());
}
