// The token shared by the connections of a process: only a connection with
// the same credentials, base URL, `cert` and proxy gets it, and even then
// its connect proves that its own TLS settings verify the server.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/transport/emulator_harness.h"

namespace {

int token_requests(const ChildServer &emu) {
    int n = 0;
    for (const LoggedRequest &r : ReadRequestLog(emu)) n += r.path == "/v1/oauth2/token";
    return n;
}

void write_file(const std::string &path, const std::string &text) {
    FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, f);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

}  // namespace

TEST(TokenShareTest, OnlyTheSameTrustAndRouteShareAndEveryConnectHandshakes) {
    ChildServer emu = StartEmulator();
    const std::string ca = ReadFile(emu.ca);
    ASSERT_FALSE(ca.empty());
    const std::string dir = ::testing::TempDir();
    const std::string mine = dir + "/token_share_ca.pem", copy = dir + "/token_share_ca_copy.pem";
    write_file(copy, ca);
    // A CA that did not sign the emulator's certificate.
    const std::string stranger = ReadFile("/etc/ssl/certs/ca-certificates.crt").substr(0, 4096);
    struct Case {
        const char *what;
        const char *cert;        // "mine", "copy", "none", or "mine" rewritten to a stranger's CA
        bool rewrite;            // the file at the first connection's path no longer verifies
        const char *proxy_user;  // set without a proxy host: only the cache key sees it
        bool ok;
        int new_token_requests;
    } cases[] = {
        {"same settings: the shared token", "mine", false, "", true, 0},
        {"another cert location: a token of its own", "copy", false, "", true, 1},
        {"another proxy user: a token of its own", "mine", false, "someone", true, 1},
        {"no cert: the server cannot be verified", "none", false, "", false, 0},
        {"same path, CA replaced: the handshake fails though a token is shared", "mine", true, "", false, 0},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        write_file(mine, ca);
        ASSERT_EQ(200, EmulatorControl(emu, "clear_log=1"));  // (empties the token cache too)
        EmuClient first, second;
        MakeClient(first, emu);
        MakeClient(second, emu);
        first.ctx->cert_path = mine;
        std::string reason;
        ASSERT_EQ(0, ObtainToken(first.ctx.get(), reason)) << reason;
        ASSERT_EQ(1, token_requests(emu));
        second.ctx->cert_path = std::string(k.cert) == "copy" ? copy : std::string(k.cert) == "none" ? "" : mine;
        second.ctx->proxy_user = k.proxy_user;
        if (k.rewrite) write_file(mine, stranger);
        const int rc = ObtainToken(second.ctx.get(), reason);
        EXPECT_EQ(k.ok, rc == 0) << reason << " " << second.posted.all();
        if (k.ok) {
            EXPECT_EQ(1 + k.new_token_requests, token_requests(emu));
        } else {
            EXPECT_TRUE(second.ctx->access_token.empty());
            EXPECT_FALSE(second.posted.messages.empty());
        }
    }
    std::remove(mine.c_str());
    std::remove(copy.c_str());
    StopChild(emu);
}
