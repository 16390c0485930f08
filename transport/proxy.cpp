// The CONNECT tunnel through an HTTP proxy, with Basic and Digest proxy
// authentication answering a 407 challenge.
#include <openssl/rand.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "transport/proxy.h"
#include "transport/socket.h"
#include "transport/url.h"

namespace {

constexpr size_t kMaxProxyBody = 65536;
constexpr int kMaxProxyLines = 100;

struct ProxyAnswer {
    int status = 0;
    std::string authenticate;  // Proxy-Authenticate value
    std::string body;
    bool close = false;
};

// Reads the proxy's answer one byte at a time, so that nothing after it
// (the first TLS bytes) is taken from the socket. False when no status line
// arrived.
bool read_proxy_answer(PaypalContext *ctx, ProxyAnswer &ans) {
    PP_TRACE(ctx, kPpTraceDetail, "Reading Response");
    long long length = 0;
    bool seen = false;
    for (int lines = 0; lines < kMaxProxyLines; ++lines) {
        std::string line;
        bool overlong = false;
        for (;;) {
            char c;
            if (ReceiveRaw(ctx, &c, 1) != 1) return seen && ans.status != 0;
            if (c == '\r') continue;
            if (c == '\n') break;
            if (line.size() < kMaxHeaderLine) {
                line += c;
            } else {
                overlong = true;  // the rest of an overlong line is dropped
            }
        }
        (void)overlong;
        if (line.size() <= 1) {
            if (seen) break;
            continue;
        }
        PP_TRACE(ctx, kPpTraceContinue, "%s", line.c_str());
        if (!seen) {
            seen = true;
            if (line.size() >= 5 && strncasecmp(line.c_str(), "HTTP", 4) == 0) {
                size_t sp = line.find(' ');
                if (sp != std::string::npos) {
                    long v = strtol(line.c_str() + sp + 1, nullptr, 10);
                    ans.status = v > 0 && v < 1000 ? static_cast<int>(v) : 0;
                }
            }
            continue;
        }
        if (line.size() > 18 && strncasecmp(line.c_str(), "Proxy-Authenticate:", 19) == 0) {
            size_t sp = line.find(' ');
            ans.authenticate = sp == std::string::npos ? "" : line.substr(sp + 1);
        } else if (line.size() > 15 && strncasecmp(line.c_str(), "Content-Length:", 15) == 0) {
            length = strtoll(line.c_str() + 15, nullptr, 10);
        } else if (strncasecmp(line.c_str(), "Connection:", 11) == 0 &&
                   strcasestr(line.c_str() + 11, "close")) {
            ans.close = true;
        }
    }
    if (ans.status == 0) return false;
    if (length < 0 || static_cast<unsigned long long>(length) > kMaxProxyBody) {
        ans.close = true;  // an absurd body is not read; the socket is not reused
        return true;
    }
    ans.body.resize(static_cast<size_t>(length));
    size_t got = 0;
    while (got < ans.body.size()) {
        long n = ReceiveRaw(ctx, ans.body.data() + got, ans.body.size() - got);
        if (n <= 0) {
            ans.body.resize(got);
            ans.close = true;
            break;
        }
        got += static_cast<size_t>(n);
    }
    PP_TRACE_DUMP(ctx, kPpTracePktDump, ans.body.data(), ans.body.size(), "Respose Body");
    return true;
}

std::string authority(const char *host, int port) {
    char buf[600];
    bool v6 = strchr(host, ':') != nullptr;
    snprintf(buf, sizeof buf, v6 ? "[%s]:%d" : "%s:%d", host, port);
    return buf;
}

bool send_connect(PaypalContext *ctx, const std::string &target, const std::string &auth_line) {
    std::string text =
        "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\nUser-Agent: cvSOAP/1.0\r\n";
    if (!auth_line.empty()) text += "Proxy-Authorization: " + auth_line + "\r\n";
    text += "\r\n";
    if (text.size() > 32000) return false;
    return SendRaw(ctx, text.data(), text.size()) == static_cast<long>(text.size());
}

int fail(PaypalContext *ctx, const char *trace_text, const char *message) {
    PP_TRACE(ctx, kPpTraceError, "%s", trace_text);
    transport_error(ctx, "08001", 0, "%s", message);
    ForceClose(ctx);
    return kTransportConnectFailed;
}

int fail_status(PaypalContext *ctx, int status) {
    PP_TRACE(ctx, kPpTraceError, "connection to proxy failed %d", status);
    transport_error(ctx, "08001", 0, "Conection to proxy failed %d", status);
    ForceClose(ctx);
    return kTransportConnectFailed;
}

bool reopen(PaypalContext *ctx, const char *proxy_host, int proxy_port) {
    ForceClose(ctx);
    int fd = connect_tcp(ctx, proxy_host, proxy_port);
    if (fd < 0) return false;
    ctx->socket_fd = fd;
    return true;
}

std::string client_nonce() {
    unsigned char raw[8];
    if (RAND_bytes(raw, sizeof raw) != 1) return std::string();
    char hex[17];
    for (int i = 0; i < 8; ++i) snprintf(hex + 2 * i, 3, "%02x", raw[i]);
    return hex;
}

int connect_tunnel(PaypalContext *ctx, const char *host, int port, int persistent,
                   const char *proxy_host, int proxy_port, const char *user, const char *password) {
    PP_TRACE(ctx, kPpTraceDetail, "Open proxy connection to '%s', %d, via '%s', %d", host, port,
             proxy_host, proxy_port);
    if (ctx->persistent && ctx->socket_fd >= 0 && ctx->peer_host == host &&
        ctx->peer_port == port && KeptSocketIdle(ctx)) {
        PP_TRACE(ctx, kPpTraceDetail, "Connection persistent");
        ctx->reused = 1;
        return 0;
    }
    if (!reopen(ctx, proxy_host, proxy_port)) {
        return fail(ctx, "connection to proxy failed", "Conection to proxy failed");
    }
    const std::string target = authority(host, port);
    ProxyAnswer ans;
    if (!send_connect(ctx, target, "") || !read_proxy_answer(ctx, ans)) {
        return fail(ctx, "connection to proxy failed", "Conection to proxy failed");
    }
    bool stale_answered = false;
    while (ans.status == 407) {
        if (ans.authenticate.empty()) {
            return fail(ctx, "connection to proxy failed", "Proxy Auth requested, but no Scheme");
        }
        if (!user || !*user) {
            return fail(ctx, "connection to proxy failed", "Proxy Auth requested, but no username");
        }
        if (!password || !*password) {
            return fail(ctx, "connection to proxy failed", "Proxy Auth requested, but no password");
        }
        if (HasControlChar(user) || HasControlChar(password)) {
            // A line break in the user would add headers to the CONNECT.
            return fail(ctx, "connection to proxy failed",
                        "proxy_user or proxy_pass holds a control character (such as a line "
                        "break), which cannot be sent in a request header");
        }
        std::string_view value = ans.authenticate;
        size_t sp = value.find(' ');
        std::string_view scheme = value.substr(0, sp);
        std::string auth_line;
        if (scheme.size() == 5 && strncasecmp(scheme.data(), "Basic", 5) == 0) {
            PP_TRACE(ctx, kPpTraceDetail, "Basic Auth");
            auth_line = "Basic " + Base64Encode(std::string(user) + ":" + password);
        } else if (scheme.size() == 6 && strncasecmp(scheme.data(), "Digest", 6) == 0) {
            DigestChallenge ch = ParseDigestChallenge(
                sp == std::string_view::npos ? std::string_view() : value.substr(sp + 1));
            std::string cnonce = client_nonce();
            if (cnonce.empty()) {
                return fail(ctx, "connection to proxy failed", "Conection to proxy failed");
            }
            PP_TRACE(ctx, kPpTraceDetail, "Proxy Auth: Digest");
            PP_TRACE(ctx, kPpTraceContinue, "realm: \"%s\"", ch.realm.c_str());
            PP_TRACE(ctx, kPpTraceContinue, "qop: \"%s\"", ch.qop.c_str());
            PP_TRACE(ctx, kPpTraceContinue, "algorithm: \"%s\"", ch.algorithm.c_str());
            PP_TRACE(ctx, kPpTraceContinue, "stale: %d", ch.stale ? 1 : 0);
            PP_TRACE(ctx, kPpTraceContinue, "uri: \"%s\"", target.c_str());
            std::string error;
            if (DigestAuthorization(ch, user, password, target, cnonce, ans.body, auth_line,
                                    error) != 0) {
                std::string lower = "connection to proxy failed - " + error;
                std::string upper = "Conection to proxy failed - " + error;
                return fail(ctx, lower.c_str(), upper.c_str());
            }
            // Nonces, HA1 and the response are never traced: with them a
            // reader of the log could replay or attack the password.
        } else {
            PP_TRACE(ctx, kPpTraceError, "connection to proxy failed");
            std::string s(scheme);
            transport_error(ctx, "08001", 0, "Proxy Auth: Unsupported Scheme >%s<", s.c_str());
            ForceClose(ctx);
            return kTransportConnectFailed;
        }
        if (ans.close && !reopen(ctx, proxy_host, proxy_port)) {
            return fail(ctx, "connection to proxy failed", "Conection to proxy failed");
        }
        ans = ProxyAnswer();
        if (!send_connect(ctx, target, auth_line) || !read_proxy_answer(ctx, ans)) {
            return fail(ctx, "connection to proxy failed", "Conection to proxy failed");
        }
        if (ans.status != 407) break;
        const bool stale_next = [&] {
            std::string_view again = ans.authenticate;
            size_t sp2 = again.find(' ');
            return sp2 == 6 && strncasecmp(again.data(), "Digest", 6) == 0 && !stale_answered &&
                   ParseDigestChallenge(again.substr(sp2 + 1)).stale;
        }();
        if (!stale_next) {
            // The proxy saw the credentials and asked again: say so plainly.
            PP_TRACE(ctx, kPpTraceError, "connection to proxy failed %d", ans.status);
            transport_error(ctx, "08001", 0, "Conection to proxy failed %d", ans.status);
            transport_error(ctx, "28000", 0,
                            "The proxy refused the credentials of proxy user '%s' (407 Proxy "
                            "Authentication Required): check proxy_user and proxy_pass",
                            user);
            ForceClose(ctx);
            return kTransportConnectFailed;
        }
        // A Digest challenge marked stale says the password was right but
        // the nonce had expired: answer once more with the new nonce.
        stale_answered = true;
    }
    if (ans.status != 200) return fail_status(ctx, ans.status);
    ctx->peer_host = host;
    ctx->peer_port = port;
    ctx->rpos = ctx->rlen = 0;
    ctx->tls_active = 0;
    if (persistent) {
        ctx->persistent = 1;
        // Tunnels have no deadline of their own; recycling bounds them.
        ctx->persist_deadline = INT64_MAX;
    }
    return 0;
}

}  // namespace

int ProxyConnect(PaypalContext *ctx, const char *host, int port, int persistent,
                 const char *proxy_host, int proxy_port, const char *user, const char *password) {
    try {
        return connect_tunnel(ctx, host, port, persistent, proxy_host, proxy_port, user, password);
    } catch (const std::bad_alloc &) {
        ForceClose(ctx);
        transport_error(ctx, "HY001", 0, "Memory allocation error");
        return kTransportConnectFailed;
    }
}
