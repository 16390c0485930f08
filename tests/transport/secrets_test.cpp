// What must never leave the driver, and what it must refuse before sending:
// tokens in chunked replies, the 401 of a wrong secret in ring mode, log
// files readable by others, control characters in header values, plain http
// to a remote host.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "tests/transport/emulator_harness.h"

namespace {

std::string log_path(const std::string &name) {
    std::string path =
        std::string(CV_TEST_STATE_DIR) + "/" + name + "-" + std::to_string(getpid()) + ".log";
    unlink(path.c_str());
    return path;
}

// The log's text plus the character columns of its packet dumps joined up,
// so that a secret split across two dump rows is found as well.
std::string read_log(const std::string &path) {
    std::string log = ReadFile(path);
    std::string joined;
    std::istringstream rows(log);
    for (std::string row; std::getline(rows, row);) {
        if (row.size() > 60 && row.compare(0, 10, std::string(10, ' ')) == 0) {
            joined += row.substr(60);
        }
    }
    return log + "\n" + joined;
}

}  // namespace

TEST(SecretsTest, ChunkedTokenReplyNeverShowsTheToken) {
    ChildServer emu = StartEmulator();
    // Plain chunks: a gzip body is only dumped after inflating.
    ASSERT_EQ(200, EmulatorControl(emu, "chunked=1&gzip=0"));
    for (int chunk : {1, 7, 13, 64, 841}) {
        ASSERT_EQ(200, EmulatorControl(emu, "chunk_size=" + std::to_string(chunk)));
        for (uint32_t mask : {31u, 95u}) {
            const std::string path =
                log_path("chunked-token-" + std::to_string(chunk) + "-" + std::to_string(mask));
            EmuClient c;
            MakeClient(c, emu);
            PaypalTraceSetup(&c.ctx->trace, mask, path.c_str());
            std::string reason;
            ASSERT_EQ(0, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str())) << reason;
            const std::string token = c.ctx->access_token;
            ASSERT_GT(token.size(), 20u);
            c.ctx->quiet = 1;
            PP_TRACE(c.ctx.get(), kPpTraceError, "write out the ring");
            std::string log = read_log(path);
            ASSERT_NE(std::string::npos, log.find("Respose Body")) << chunk << " " << mask;
            ASSERT_NE(std::string::npos, log.find("\"access_token\"")) << chunk;
            for (const std::string &secret : {token, token.substr(0, 12),
                                               token.substr(token.size() - 12),
                                               std::string("emu-client-secret")}) {
                EXPECT_EQ(std::string::npos, log.find(secret))
                    << "chunk " << chunk << " mask " << mask << ": " << secret;
            }
        }
    }
    StopChild(emu);
}

TEST(SecretsTest, RingModeWritesTheRefusalOfAWrongSecret) {
    const ChildServer &emu = SharedEmulator();
    const std::string path = log_path("ring-401");
    EmuClient c;
    MakeClient(c, emu, "127.0.0.1", "wrong-client-secret");
    PaypalTraceSetup(&c.ctx->trace, PaypalTraceParseLogging("onerror"), path.c_str());
    std::string reason;
    ASSERT_EQ(-1, GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str()));
    std::string log = ReadFile(path);
    EXPECT_NE(std::string::npos, log.find("Start of log dump")) << log;
    EXPECT_NE(std::string::npos, log.find("Token request refused (401)")) << log;
    EXPECT_NE(std::string::npos, log.find("invalid_client")) << log;
    EXPECT_EQ(std::string::npos, log.find("wrong-client-secret")) << log;
}

TEST(SecretsTest, AnExistingBackendLogIsMadePrivate) {
    const std::string path = log_path("mode-0644");
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    fputs("an earlier line\n", f);
    fclose(f);
    ASSERT_EQ(0, chmod(path.c_str(), 0644));
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    ASSERT_TRUE(ctx);
    PaypalTraceSetup(&ctx->trace, 31, path.c_str());
    PP_TRACE(ctx.get(), kPpTraceDetail, "a new line");
    struct stat st {};
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    std::string log = ReadFile(path);
    EXPECT_NE(std::string::npos, log.find("an earlier line"));
    EXPECT_NE(std::string::npos, log.find("a new line"));
}

TEST(SecretsTest, ControlCharactersInHeaderValuesAreRefusedBeforeSending) {
    const ChildServer &emu = SharedEmulator();
    const std::string proxy_url = "http://127.0.0.1:1";
    struct Case {
        const char *name;
        std::string user, password, id, secret;
        const char *field;
    } cases[] = {
        {"CR LF in proxy user", "pu\r\nX-Injected: 1", "pp-secret", "id", "secret", "proxy_user"},
        {"LF in proxy password", "pu", "pp\nsecret", "id", "secret", "proxy_pass"},
        {"tab in client id", "", "", "id\tx", "secret", "client_id"},
        {"NUL-free DEL in secret", "", "", "id", "sec\x7Fret", "client_secret"},
    };
    for (const Case &k : cases) {
        Posted posted;
        PaypalContextPtr ctx = PaypalContextCreate(&posted, CollectPost);
        ASSERT_TRUE(ctx);
        std::string base = "https://127.0.0.1:" + std::to_string(emu.port);
        EXPECT_EQ(-1, PaypalContextConfigure(ctx.get(), base.c_str(), proxy_url.c_str(),
                                             k.user.c_str(), k.password.c_str(), k.id.c_str(),
                                             k.secret.c_str()))
            << k.name;
        EXPECT_NE(std::string::npos,
                  posted.all().find(std::string(k.field) + " holds a control character"))
            << k.name << posted.all();
    }
    // Through a Digest proxy, called directly: the CONNECT never carries the
    // injected header.
    ChildServer proxy = StartProxy({"--auth", "digest"});
    EmuClient c;
    MakeClient(c, emu, "localhost");
    const std::string user = "proxyuser\r\nX-Injected: yes";
    EXPECT_EQ(kTransportConnectFailed,
              ProxyConnect(c.ctx.get(), "localhost", emu.port, 0, "127.0.0.1", proxy.port,
                           user.c_str(), "proxy-secret"));
    EXPECT_NE(std::string::npos, c.posted.all().find("holds a control character"))
        << c.posted.all();
    for (const auto &entry : ReadProxyLog(proxy)) {
        EXPECT_EQ(std::string::npos, entry.first.find("X-Injected")) << entry.first;
    }
    StopChild(proxy);
    // A filter value with a line break is refused too, not sent encoded.
    WebRequestPtr req = NewGetRequest(c.ctx.get(), "v2/invoicing/invoices", 1);
    AddParameter(req.get(), "invoice_number", "INV-1\r\nX: y", 0);
    WebResponsePtr resp;
    EXPECT_NE(0, WebExchange(req.get(), resp));
    EXPECT_NE(std::string::npos, req->error.find("control character")) << req->error;
}

TEST(SecretsTest, PlainHttpOnlyToLoopbackHosts) {
    struct Case {
        const char *url;
        bool accepted;
    } cases[] = {
        {"http://127.0.0.1:8080", true},      {"http://127.1.2.3", true},
        {"http://localhost:1", true},         {"http://LOCALHOST", true},
        {"http://[::1]:8080/v1", true},       {"https://api.example.com", true},
        {"http://api.example.com", false},    {"http://10.0.0.1:80", false},
        {"http://128.0.0.1", false},          {"http://[::2]", false},
        {"http://localhost.example.com", false},
    };
    for (const Case &k : cases) {
        Posted posted;
        PaypalContextPtr ctx = PaypalContextCreate(&posted, CollectPost);
        ASSERT_TRUE(ctx);
        int rc = PaypalContextConfigure(ctx.get(), k.url, "", "", "", "id", "a-client-secret");
        EXPECT_EQ(k.accepted ? 0 : -1, rc) << k.url;
        if (!k.accepted) {
            EXPECT_NE(std::string::npos, posted.all().find("plain http:// is allowed only for a "
                                                           "loopback host"))
                << k.url << posted.all();
        }
        // The token request refuses it on its own as well, before any
        // name lookup or connection.
        std::string reason;
        if (!k.accepted) {
            EXPECT_EQ(-1, GetAccessToken(ctx.get(), reason, k.url)) << k.url;
            EXPECT_NE(std::string::npos, reason.find("is refused")) << reason;
            EXPECT_EQ(-1, ctx->socket_fd);
        }
    }
}
