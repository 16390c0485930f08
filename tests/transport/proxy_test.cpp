// Tokens through the test proxy: no authentication, Basic, Digest in its
// variants, and the refusals, with the proxy's secrets kept out of the log.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/transport/emulator_harness.h"

TEST(ProxyTest, TunnelAndAuthentication) {
    const ChildServer &emu = SharedEmulator();
    struct Case {
        const char *name;
        std::vector<std::string> args;
        const char *user, *password;
        int rc;
        const char *posted;  // expected among the posted texts when rc != 0
        int connects;        // CONNECT requests the proxy saw
    } cases[] = {
        {"open", {"--auth", "none"}, "", "", 0, "", 1},
        {"basic", {"--auth", "basic"}, "proxyuser", "proxy-secret", 0, "", 2},
        {"basic close on 407",
         {"--auth", "basic", "--close-on-407"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         2},
        {"digest md5", {"--auth", "digest"}, "proxyuser", "proxy-secret", 0, "", 2},
        {"digest md5 lower case",
         {"--auth", "digest", "--algorithm", "md5"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         2},
        {"digest md5-sess",
         {"--auth", "digest", "--algorithm", "MD5-sess"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         2},
        {"digest no algorithm no qop",
         {"--auth", "digest", "--algorithm", "", "--qop", "none"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         2},
        {"digest qop list",
         {"--auth", "digest", "--qop", "auth,auth-int"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         2},
        {"digest auth-int only",
         {"--auth", "digest", "--qop", "auth-int"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         2},
        {"digest stale once",
         {"--auth", "digest", "--stale-once"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         3},
        {"digest close on 407",
         {"--auth", "digest", "--close-on-407"},
         "proxyuser",
         "proxy-secret",
         0,
         "",
         2},
        {"basic wrong password",
         {"--auth", "basic"},
         "proxyuser",
         "wrong",
         -1,
         "The proxy refused the credentials of proxy user 'proxyuser'",
         2},
        {"digest wrong password",
         {"--auth", "digest"},
         "proxyuser",
         "wrong",
         -1,
         "The proxy refused the credentials of proxy user 'proxyuser'",
         2},
        {"no user", {"--auth", "basic"}, "", "", -1, "Proxy Auth requested, but no username", 1},
        {"no password",
         {"--auth", "digest"},
         "proxyuser",
         "",
         -1,
         "Proxy Auth requested, but no password",
         1},
        {"unknown algorithm",
         {"--auth", "digest", "--algorithm", "SHA-512-256"},
         "proxyuser",
         "proxy-secret",
         -1,
         "Conection to proxy failed - unknown algorithm",
         1},
        {"unknown qop",
         {"--auth", "digest", "--qop", "auth-conf"},
         "proxyuser",
         "proxy-secret",
         -1,
         "Conection to proxy failed - unknown qop",
         1},
    };
    for (const Case &k : cases) {
        ChildServer proxy = StartProxy(k.args);
        std::string trace =
            std::string(CV_TEST_STATE_DIR) + "/proxy-trace-" + std::to_string(getpid()) + ".log";
        unlink(trace.c_str());
        EmuClient c;
        MakeClient(c, emu, "localhost", "emu-client-secret",
                   "http://127.0.0.1:" + std::to_string(proxy.port), k.user, k.password);
        PaypalTraceSetup(&c.ctx->trace, 0x1F, trace.c_str());
        std::string reason;
        int rc = GetAccessToken(c.ctx.get(), reason, c.ctx->base_url.c_str());
        EXPECT_EQ(k.rc, rc) << k.name << " " << reason << c.posted.all();
        if (k.rc != 0) {
            EXPECT_NE(std::string::npos, c.posted.all().find(k.posted)) << k.name << c.posted.all();
            // The reason names the target and what went wrong on the way.
            EXPECT_EQ("failed to connect to '" + c.ctx->base_url + "': " + c.ctx->last_error,
                      reason)
                << k.name;
            EXPECT_NE(std::string::npos, reason.find(k.posted)) << k.name;
        }
        auto seen = ReadProxyLog(proxy);
        EXPECT_EQ(static_cast<size_t>(k.connects), seen.size()) << k.name;
        std::string log = ReadFile(trace);
        if (*k.password) {
            EXPECT_EQ(std::string::npos, log.find(k.password)) << k.name;
        }
        for (const auto &entry : seen) {
            size_t at = entry.first.find("Proxy-Authorization: ");
            if (at == std::string::npos) continue;
            std::string value = entry.first.substr(at + 21, entry.first.find('\r', at) - at - 21);
            EXPECT_EQ(std::string::npos, log.find(value.substr(value.find(' ') + 1, 12))) << k.name;
            size_t resp = value.find("response=\"");
            if (resp != std::string::npos) {
                EXPECT_EQ(std::string::npos, log.find(value.substr(resp + 10, 32))) << k.name;
            }
        }
        StopChild(proxy);
    }
}

TEST(ProxyTest, ProxyRefusesNonLoopbackTargets) {
    // The proxy answers 403 itself; the name is never resolved by anyone.
    ChildServer proxy = StartProxy({"--auth", "none"});
    EmuClient c;
    MakeClient(c, SharedEmulator(), "localhost", "emu-client-secret",
               "http://127.0.0.1:" + std::to_string(proxy.port));
    std::string reason;
    EXPECT_EQ(-1, GetAccessToken(c.ctx.get(), reason, "https://api-m.example.invalid"));
    EXPECT_NE(std::string::npos, c.posted.all().find("Conection to proxy failed 403"));
    StopChild(proxy);
}

TEST(ProxyTest, KeptTunnelCarriesSeveralRequests) {
    const ChildServer &emu = SharedEmulator();
    ChildServer proxy = StartProxy({"--auth", "digest"});
    EmuClient c;
    MakeClient(c, emu, "localhost", "emu-client-secret",
               "http://127.0.0.1:" + std::to_string(proxy.port), "proxyuser", "proxy-secret");
    for (int i = 0; i < 5; ++i) {
        WebRequestPtr req = NewGetRequest(c.ctx.get(), "v2/invoicing/invoices", 1);
        AddParameter(req.get(), "page", "1", 0);
        WebResponsePtr resp;
        ASSERT_EQ(0, WebExchange(req.get(), resp)) << c.posted.all();
        EXPECT_EQ(200, resp->status);
    }
    // One tunnel for the token, one kept for the five requests (two CONNECTs each).
    EXPECT_EQ(4u, ReadProxyLog(proxy).size());
    StopChild(proxy);
}
