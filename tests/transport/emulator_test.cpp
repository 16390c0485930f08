// The transport against the PayPal emulator: tokens, TLS refusals, exact
// request bytes, keep-alive, renewal, recycling, gzip and chunked replies,
// every fault switch, masking in the trace log, and eight threads at once.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <sstream>
#include <thread>

#include "tests/transport/emulator_harness.h"

namespace {

std::atomic<int64_t> g_now{1700000000};
int64_t test_clock() {
    return g_now.load();
}

int get_page(EmuClient &c, int page, WebResponsePtr &resp) {
    WebRequestPtr req = NewGetRequest(c.ctx.get(), "v2/invoicing/invoices", 1);
    AddParameter(req.get(), "page", std::to_string(page), 0);
    AddParameter(req.get(), "page_size", "20", 0);
    AddParameter(req.get(), "total_required", "true", 0);
    return WebExchange(req.get(), resp);
}

int count_token_requests(const std::vector<LoggedRequest> &log) {
    int n = 0;
    for (const auto &r : log) n += r.path == "/v1/oauth2/token";
    return n;
}

}  // namespace

TEST(EmulatorTest, TokenRequestBytesAndReply) {
    const ChildServer &emu = SharedEmulator();
    EmuClient c;
    MakeClient(c, emu);
    std::string reason;
    ASSERT_EQ(0, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str()))
        << reason << c.posted.all();
    EXPECT_EQ("Bearer", c.ctx->token_type);
    EXPECT_EQ(0u, c.ctx->access_token.find("A21AA"));
    EXPECT_EQ(-1, c.ctx->socket_fd);  // the token socket is never kept
    auto log = ReadRequestLog(emu);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(
        "POST /v1/oauth2/token?grant_type=client_credentials HTTP/1.1\r\n"
        "Host: 127.0.0.1:" +
            std::to_string(emu.port) +
            "\r\n"
            "User-Agent: cvhttp/1.0\r\n"
            "Accept-Encoding: gzip\r\n"
            "Authorization: Basic " +
            Base64Encode("emu-client-id:emu-client-secret") +
            "\r\n"
            "Content-Length: 0\r\n"
            "Accept: */*\r\n"
            "Connection: close\r\n"
            "\r\n",
        log.back().raw);
}

TEST(EmulatorTest, GetBytesAndKeepAlive) {
    const ChildServer &emu = SharedEmulator();
    EmuClient c;
    MakeClient(c, emu);
    size_t before = ReadRequestLog(emu).size();
    for (int page = 1; page <= 3; ++page) {
        WebResponsePtr resp;
        ASSERT_EQ(0, get_page(c, page, resp)) << c.posted.all();
        ASSERT_EQ(200, resp->status);
        EXPECT_EQ(kContentJson, resp->content_kind);
        EXPECT_TRUE(resp->gzip);
        EXPECT_NE(std::string::npos, resp->body.find("\"total_pages\": 3"));
    }
    auto log = ReadRequestLog(emu);
    ASSERT_EQ(before + 4, log.size());  // one token request, three pages
    std::set<int> conns;
    for (size_t i = before + 1; i < log.size(); ++i) conns.insert(log[i].conn);
    EXPECT_EQ(1u, conns.size()) << "pages must share one kept connection";
    EXPECT_EQ(
        "GET /v2/invoicing/invoices?page=3&page_size=20&total_required=true HTTP/1.1\r\n"
        "Host: 127.0.0.1:" +
            std::to_string(emu.port) +
            "\r\n"
            "User-Agent: cvhttp/1.0\r\n"
            "Accept-Encoding: gzip\r\n"
            "Authorization: Bearer " +
            c.ctx->access_token +
            "\r\n"
            "Content-Length: 0\r\n"
            "Accept: */*\r\n"
            "\r\n",
        log.back().raw);
}

TEST(EmulatorTest, SingleObjectAndNotFound) {
    const ChildServer &emu = SharedEmulator();
    EmuClient c;
    MakeClient(c, emu);
    WebResponsePtr list;
    ASSERT_EQ(0, get_page(c, 1, list));
    size_t at = list->body.find("\"id\": \"INV2-");
    ASSERT_NE(std::string::npos, at);
    std::string id = list->body.substr(at + 7, 24);
    WebRequestPtr one = NewGetRequest(c.ctx.get(), EndpointWithKey("v2/invoicing/invoices", id), 0);
    WebResponsePtr resp;
    ASSERT_EQ(0, WebExchange(one.get(), resp));
    EXPECT_EQ(200, resp->status);
    EXPECT_EQ(0u, resp->body.find("{\"id\": \"" + id));
    WebRequestPtr missing =
        NewGetRequest(c.ctx.get(), EndpointWithKey("v2/invoicing/invoices", "INV2-../x?y"), 0);
    ASSERT_EQ(0, WebExchange(missing.get(), resp));
    EXPECT_EQ(404, resp->status);
    ErrorInfo info;
    ASSERT_EQ(0, DecodeError(resp.get(), &info));
    EXPECT_EQ(
        "Error <RESOURCE_NOT_FOUND: The specified resource does not exist.: field: invoice_id, "
        "location: path, issue: INVALID_RESOURCE_ID>",
        FormatErrorInfo(info));
    EXPECT_EQ("/v2/invoicing/invoices/INV2-..%2Fx%3Fy", ReadRequestLog(emu).back().path);
}

TEST(EmulatorTest, TokenRefusals) {
    ChildServer wronghost = StartEmulator({"--cert", "wronghost"});
    ChildServer expired = StartEmulator({"--cert", "expired"});
    ChildServer token500 = StartEmulator();
    ASSERT_EQ(200, EmulatorControl(token500, "fault=500&count=5&path=/v1/oauth2/token"));
    const ChildServer &emu = SharedEmulator();
    struct Case {
        const char *name;
        const ChildServer *server;
        const char *host, *secret, *ca;
        const char *reason;  // expected reason text
        const char *posted;  // expected among the posted texts ("" = none needed)
    } cases[] = {
        {"wrong secret", &emu, "127.0.0.1", "nope", nullptr,
         "invalid_client: Client Authentication failed", ""},
        {"500", &token500, "127.0.0.1", "emu-client-secret", nullptr, "unexpected code 500", ""},
        {"wrong host", &wronghost, "localhost", "emu-client-secret", nullptr,
         "SSL Provider: the server's certificate does not match the host name 'localhost' "
         "expected",
         "SSL Provider: the server's certificate does not match the host name 'localhost' "
         "expected"},
        {"expired", &expired, "localhost", "emu-client-secret", nullptr,
         "SSL Provider: certificate has expired", "SSL Provider: certificate has expired"},
        {"unknown CA", &emu, "localhost", "emu-client-secret", "",
         "SSL Provider: unable to get local issuer certificate",
         "SSL Provider: unable to get local issuer certificate"},
        {"missing CA file", &emu, "localhost", "emu-client-secret", "/nonexistent/ca.pem",
         "Certificate file '/nonexistent/ca.pem' cannot be read: No such file or directory",
         "Loading Certificate file '/nonexistent/ca.pem' failed"},
    };
    for (const Case &k : cases) {
        EmuClient c;
        MakeClient(c, *k.server, k.host, k.secret);
        c.ctx->retry_limit = 0;  // each refusal as the first try meets it
        if (k.ca) c.ctx->cert_path = k.ca;
        std::string reason;
        EXPECT_EQ(-1, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str())) << k.name;
        if (*k.reason) {
            EXPECT_EQ(k.reason, reason) << k.name;
        }
        if (*k.posted) {
            EXPECT_NE(std::string::npos, c.posted.all().find(k.posted)) << k.name << c.posted.all();
            EXPECT_EQ("08001", c.posted.sqlstates.front()) << k.name;
        }
        EXPECT_TRUE(c.ctx->access_token.empty()) << k.name;
        EXPECT_EQ(-1, c.ctx->socket_fd) << k.name;
    }
    // No byte of a request went to the servers whose certificate was refused.
    EXPECT_TRUE(ReadRequestLog(wronghost).empty());
    EXPECT_TRUE(ReadRequestLog(expired).empty());
    StopChild(wronghost);
    StopChild(expired);
    StopChild(token500);
}

TEST(EmulatorTest, PlainHttpMode) {
    ChildServer plain = StartEmulator({"--plain"});
    EmuClient c;
    MakeClient(c, plain, "127.0.0.1", "emu-client-secret", "", "", "", true);
    WebResponsePtr resp;
    ASSERT_EQ(0, get_page(c, 2, resp)) << c.posted.all();
    EXPECT_EQ(200, resp->status);
    StopChild(plain);
}

TEST(EmulatorTest, TokenRenewalAndSocketRecycling) {
    ChildServer emu = StartEmulator({"--expires-in", "3600"});
    EmuClient c;
    MakeClient(c, emu);
    c.ctx->clock = test_clock;
    g_now = 1700000000;
    WebResponsePtr resp;
    ASSERT_EQ(0, get_page(c, 1, resp));
    const std::string first_token = c.ctx->access_token;
    g_now += 3569;
    ASSERT_EQ(0, get_page(c, 1, resp));
    EXPECT_EQ(first_token, c.ctx->access_token);
    EXPECT_EQ(1, count_token_requests(ReadRequestLog(emu)));
    g_now += 1;  // 3570 s after receipt: renewed before the request
    ASSERT_EQ(0, get_page(c, 1, resp));
    EXPECT_EQ(200, resp->status);
    EXPECT_NE(first_token, c.ctx->access_token);
    EXPECT_EQ(2, count_token_requests(ReadRequestLog(emu)));

    // 150 more requests within 30 s: the kept socket carries at most 100.
    for (int i = 0; i < 150; ++i) {
        ASSERT_EQ(0, get_page(c, 1 + i % 3, resp)) << i << c.posted.all();
        g_now += (i % 10 == 0) ? 1 : 0;
    }
    std::map<int, int> per_conn;
    for (const auto &r : ReadRequestLog(emu)) {
        if (r.path != "/v1/oauth2/token") ++per_conn[r.conn];
    }
    int max_per_conn = 0;
    for (auto &kv : per_conn) max_per_conn = std::max(max_per_conn, kv.second);
    EXPECT_LE(max_per_conn, 100);
    EXPECT_GE(max_per_conn, 90);
    // And after 30 s the socket is recycled however few requests it carried.
    size_t conns_before = per_conn.size();
    g_now += 31;
    ASSERT_EQ(0, get_page(c, 1, resp));
    std::set<int> conns;
    for (const auto &r : ReadRequestLog(emu)) {
        if (r.path != "/v1/oauth2/token") conns.insert(r.conn);
    }
    EXPECT_EQ(conns_before + 1, conns.size());
    StopChild(emu);
}

TEST(EmulatorTest, GzipAndChunkedReplies) {
    ChildServer emu = StartEmulator();
    EmuClient c;
    MakeClient(c, emu);
    struct Case {
        const char *control;
        bool gzip, chunked;
    } cases[] = {{"chunked=1&gzip=1", true, true},
                 {"chunked=1&gzip=0", false, true},
                 {"chunked=0&gzip=0", false, false},
                 {"chunked=0&gzip=1", true, false}};
    std::string reference;
    for (const Case &k : cases) {
        ASSERT_EQ(200, EmulatorControl(emu, k.control));
        WebResponsePtr resp;
        ASSERT_EQ(0, get_page(c, 1, resp)) << k.control << c.posted.all();
        EXPECT_EQ(k.gzip, resp->gzip) << k.control;
        EXPECT_EQ(k.chunked, resp->chunked) << k.control;
        // Every encoding carries the same page, byte for byte.
        if (reference.empty()) reference = resp->body;
        EXPECT_EQ(reference, resp->body) << k.control;
    }
    StopChild(emu);
}

TEST(EmulatorTest, EveryFaultEndsInAClearResult) {
    ChildServer emu = StartEmulator();
    ASSERT_EQ(200, EmulatorControl(emu, "slow=3"));
    struct Case {
        const char *fault;
        int rc;              // of WebExchange
        int status;          // when rc == 0
        const char *posted;  // expected in the posted texts when rc != 0
    } cases[] = {
        {"429", 0, 429, ""},
        {"429_no_retry_after", 0, 429, ""},
        {"500", 0, 500, ""},
        {"malformed_json", 0, 200, ""},
        {"close", 0, 200, ""},
        {"reset", -1, 0, "read failed"},
        {"truncated_chunked", -1, 0, "read failed"},
        {"bad_gzip", -1, 0, "inflate return"},
        {"huge_length", -1, 0, "larger than"},
        {"slow", -1, 0, "did not complete within 1 seconds"},
        {"drop", -1, 0, "read failed"},
    };
    for (const Case &k : cases) {
        EmuClient c;
        MakeClient(c, emu);
        c.ctx->timeout_seconds = 1;
        c.ctx->retry_limit = 0;  // the fault itself, not what a retry makes of it
        std::string reason;
        ASSERT_EQ(0, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str())) << reason;
        ASSERT_EQ(200, EmulatorControl(emu, std::string("fault=") + k.fault + "&count=1"));
        WebResponsePtr resp;
        int rc = get_page(c, 1, resp);
        ASSERT_EQ(k.rc, rc) << k.fault << c.posted.all();
        if (rc == 0) {
            EXPECT_EQ(k.status, resp->status) << k.fault;
            if (std::string(k.fault) == "429") {
                EXPECT_EQ("2", resp->retry_after);
            }
            if (std::string(k.fault) == "429_no_retry_after") {
                EXPECT_EQ("", resp->retry_after);
            }
            if (std::string(k.fault) == "close") {
                EXPECT_EQ(-1, c.ctx->socket_fd);
            }
            if (k.status == 500) {
                ErrorInfo info;
                ASSERT_EQ(0, DecodeError(resp.get(), &info));
                EXPECT_EQ("INTERNAL_SERVER_ERROR", info.code);
            }
        } else {
            EXPECT_NE(std::string::npos, c.posted.all().find(k.posted))
                << k.fault << c.posted.all();
            EXPECT_EQ(-1, c.ctx->socket_fd) << k.fault;
        }
        // The next request on the same context works again.
        c.ctx->timeout_seconds = 10;
        WebResponsePtr next;
        ASSERT_EQ(0, get_page(c, 2, next)) << k.fault << c.posted.all();
        EXPECT_EQ(200, next->status) << k.fault;
    }
    StopChild(emu);
}

TEST(EmulatorTest, GetOnStaleKeptSocketIsRetriedOnce) {
    ChildServer emu = StartEmulator();
    EmuClient c;
    MakeClient(c, emu);
    WebResponsePtr resp;
    ASSERT_EQ(0, get_page(c, 1, resp));
    ASSERT_EQ(200, EmulatorControl(emu, "fault=drop&count=1"));
    ASSERT_EQ(0, get_page(c, 2, resp)) << c.posted.all();
    EXPECT_EQ(200, resp->status);
    EXPECT_TRUE(c.posted.messages.empty()) << c.posted.all();
    // Twice in a row: the retry happens once only, then the failure shows
    // (with the retry policy off; it would try again).
    c.ctx->retry_limit = 0;
    ASSERT_EQ(200, EmulatorControl(emu, "fault=drop&count=2"));
    EXPECT_EQ(-1, get_page(c, 3, resp));
    EXPECT_FALSE(c.posted.messages.empty());
    StopChild(emu);
}

TEST(EmulatorTest, NoSigpipeOnWritesToAClosedSocket) {
    const ChildServer &emu = SharedEmulator();
    EmuClient c;
    MakeClient(c, emu);
    WebResponsePtr resp;
    ASSERT_EQ(0, get_page(c, 1, resp));
    ASSERT_GE(c.ctx->socket_fd, 0);
    ASSERT_NE(nullptr, c.ctx->ssl);
    shutdown(c.ctx->socket_fd, SHUT_WR);  // a send now fails with EPIPE
    std::string data(100000, 'x');
    EXPECT_EQ(-1, TlsWrite(c.ctx.get(), data.data(), data.size()));
    EXPECT_EQ(-1, SendRaw(c.ctx.get(), data.data(), data.size()));
    ForceClose(c.ctx.get());
}

TEST(EmulatorTest, TraceLogNeverShowsSecrets) {
    const ChildServer &emu = SharedEmulator();
    for (uint32_t mask : {0x3Fu, 0x7Fu}) {
        std::string path = std::string(CV_TEST_STATE_DIR) + "/secrets-" + std::to_string(mask) +
                           "-" + std::to_string(getpid()) + ".log";
        EmuClient c;
        MakeClient(c, emu);
        PaypalTraceSetup(&c.ctx->trace, mask, path.c_str());
        WebResponsePtr resp;
        ASSERT_EQ(0, get_page(c, 1, resp));
        ASSERT_EQ(0, get_page(c, 2, resp));
        const std::string token = c.ctx->access_token;
        c.ctx->quiet = 1;
        PP_TRACE(c.ctx.get(), kPpTraceError, "flush the ring");
        c.ctx.reset();
        // Per-thread mode names files after the process and thread.
        std::string log;
        std::string cmd = "cat " + path + "* 2>/dev/null";
        FILE *p = popen(cmd.c_str(), "r");
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) log.append(buf, n);
        pclose(p);
        ASSERT_NE(std::string::npos, log.find("Send Request (SSL)")) << mask;
        // Packet dumps show 16 characters a row: join the character columns
        // so that a secret split across rows is found as well.
        std::string joined;
        std::istringstream rows(log);
        for (std::string row; std::getline(rows, row);) {
            if (row.size() > 60 && row.compare(0, 10, std::string(10, ' ')) == 0) {
                joined += row.substr(60);
            }
        }
        ASSERT_NE(std::string::npos, joined.find("Authorization: ****.")) << mask;
        log += "\n" + joined;
        for (const std::string &secret :
             {std::string("emu-client-secret"), token, token.substr(0, 20),
              Base64Encode("emu-client-id:emu-client-secret"), std::string("Bearer A21"),
              std::string("Basic ZW11")}) {
            EXPECT_EQ(std::string::npos, log.find(secret)) << mask << " " << secret;
        }
    }
}

TEST(EmulatorTest, EightThreadsEachWithItsOwnContext) {
    const ChildServer &emu = SharedEmulator();
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&emu, &ok, t] {
            EmuClient c;
            MakeClient(c, emu);
            for (int i = 0; i < 15; ++i) {
                WebResponsePtr resp;
                if (get_page(c, 1 + (i + t) % 3, resp) == 0 && resp->status == 200) ++ok;
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(8 * 15, ok.load());
}

#ifdef CV_PROBE_BIN
TEST(ProbeToolTest, PrintsStatusAndPostedTexts) {
    const ChildServer &emu = SharedEmulator();
    struct Case {
        std::string args;
        int exit_code;
        const char *want;
    } cases[] = {
        {"--client-secret emu-client-secret", 0, "HTTP 200 OK"},
        {"--client-secret wrong", 1,
         "Failed to obtain Paypal access token: 'invalid_client: Client Authentication failed'"},
        {"--client-secret emu-client-secret --path v2/invoicing/invoices/NOPE", 1,
         "Error <RESOURCE_NOT_FOUND: The specified resource does not exist.: field: invoice_id"},
        {"--client-secret emu-client-secret --cert /nonexistent.pem", 1,
         "posted [08001] (native 0) Loading Certificate file '/nonexistent.pem' failed"},
    };
    for (const Case &k : cases) {
        std::string cmd =
            std::string(CV_PROBE_BIN) +
            " --base-url https://127.0.0.1:" + std::to_string(emu.port) +
            " --client-id emu-client-id " +
            (k.args.find("--cert") == std::string::npos ? "--cert " + emu.ca + " " : "") + k.args +
            " 2>&1";
        FILE *p = popen(cmd.c_str(), "r");
        std::string out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        int status = pclose(p);
        EXPECT_EQ(k.exit_code, WEXITSTATUS(status)) << out;
        EXPECT_NE(std::string::npos, out.find(k.want)) << out;
        EXPECT_EQ(std::string::npos, out.find("emu-client-secret\n")) << out;
    }
}
#endif

TEST(EmulatorTest, EntropyFileSeedsOrFails) {
    const ChildServer &emu = SharedEmulator();
    struct Case {
        const char *file;
        int rc;
    } cases[] = {{"/dev/urandom", 0}, {"/nonexistent/entropy", -1}};
    for (const Case &k : cases) {
        EmuClient c;
        MakeClient(c, emu);
        c.ctx->entropy_file = k.file;
        std::string reason;
        EXPECT_EQ(k.rc, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str())) << k.file;
        if (k.rc != 0) {
            EXPECT_EQ("Loading entropy from '/nonexistent/entropy' failed", reason);
        }
    }
}

TEST(EmulatorTest, CaDirectoryIsLoadedAsDirectory) {
    const ChildServer &emu = SharedEmulator();
    std::string dir = std::string(CV_TEST_STATE_DIR) + "/cadir-" + std::to_string(getpid());
    std::string cmd = "mkdir -p " + dir + " && cp " + emu.ca + " " + dir + "/ && openssl rehash " +
                      dir + " 2>/dev/null";
    ASSERT_EQ(0, system(cmd.c_str()));
    EmuClient c;
    MakeClient(c, emu, "localhost");
    c.ctx->cert_path = dir;
    PaypalTraceSetup(&c.ctx->trace, 0x4, (dir + ".log").c_str());
    std::string reason;
    EXPECT_EQ(0, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str())) << reason;
    EXPECT_NE(std::string::npos, ReadFile(dir + ".log").find("file found, treating as directory"));
}

// The system's CA store is read once and shared by every TLS context; a
// connection's `cert` goes into a store of the context's own. The emulator's
// CA is trusted exactly while a connection names it: never by a connection
// of the same context without `cert`, never by the shared store.
TEST(EmulatorTest, NamedCaNeverReachesTheSharedSystemStore) {
    const ChildServer &emu = SharedEmulator();
    auto token = [](EmuClient &c, const char *cert) {
        c.ctx->cert_path = cert;
        c.ctx->retry_limit = 0;
        ForceClose(c.ctx.get());  // the next token request starts a new handshake
        TokenCacheClear();
        std::string reason;
        return GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str()) == 0 ? std::string("ok") : reason;
    };
    const std::string unknown = "SSL Provider: unable to get local issuer certificate";
    EmuClient named;
    MakeClient(named, emu, "localhost");
    EXPECT_EQ("ok", token(named, emu.ca.c_str()));
    EXPECT_EQ(unknown, token(named, ""));  // same context, no `cert`
    EmuClient other;
    MakeClient(other, emu, "localhost");
    EXPECT_EQ(unknown, token(other, ""));  // a new context: the shared store
    EXPECT_EQ("ok", token(named, emu.ca.c_str()));
    EXPECT_EQ(unknown, token(other, ""));
}
