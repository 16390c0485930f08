// PaypalContext lifetime, the transport's one error routine, its clock and
// the connection settings the token request and exchanges use.
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <new>
#include <type_traits>

#include "transport/context.h"
#include "transport/http.h"
#include "transport/socket.h"
#include "transport/url.h"

// The trace log reaches the head through the context's address.
static_assert(std::is_standard_layout_v<PaypalContext>);
static_assert(offsetof(PaypalContext, trace) == 0);
static_assert(std::is_standard_layout_v<WebRequest>);
static_assert(offsetof(WebRequest, magic) == offsetof(PaypalTraceRef, magic));
static_assert(offsetof(WebRequest, trace) == offsetof(PaypalTraceRef, context));

PaypalContextPtr PaypalContextCreate(void *owner, TransportPostFn post) {
    PaypalContextPtr ctx;
    try {
        ctx.reset(std::make_unique<PaypalContext>().release());
        ctx->rbuf.resize(kReadBufferSize);
    } catch (const std::bad_alloc &) {
        return PaypalContextPtr();
    }
    ctx->trace.magic = kPaypalContextMagic;
    ctx->owner = owner;
    ctx->post = post;
    ctx->socket_fd = -1;
    ctx->accept_compression = 1;
    ctx->timeout_seconds = kDefaultTimeoutSeconds;
    ctx->retry_limit = kDefaultRetries;
    ctx->retry_wait_seconds = kDefaultRetryWaitSeconds;
    ctx->api_port = 443;
    return ctx;
}

void PaypalContextDeleter::operator()(PaypalContext *ctx) const {
    if (!ctx) return;
    ctx->persistent = 0;
    ForceClose(ctx);
    std::default_delete<PaypalContext>()(ctx);
}

int64_t transport_now(const PaypalContext *ctx) {
    if (ctx && ctx->clock) return ctx->clock();
    return static_cast<int64_t>(time(nullptr));
}

void transport_error(PaypalContext *ctx, const char *sqlstate, int native, const char *format,
                     ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(ctx->last_error, sizeof ctx->last_error, format, args);
    va_end(args);
    PP_TRACE(ctx, kPpTraceError, "%s", ctx->last_error);
    ctx->failure = TransportFailure::kOther;
    if (!ctx->quiet) transport_post(ctx, sqlstate, native, ctx->last_error);
}

void transport_post(PaypalContext *ctx, const char *sqlstate, int native, const char *message) {
    if (!ctx->post) return;
    // The posted text passes the trace's mask as well: a message may quote
    // a server reply that echoes a credential.
    std::string text = message;
    {
        std::lock_guard<std::mutex> guard(ctx->trace.lock);
        PaypalTraceScrub(&ctx->trace, text);
    }
    if (ctx->holding) {
        if (ctx->held.size() < 16) ctx->held.push_back(HeldDiag{sqlstate, native, std::move(text)});
        return;
    }
    ctx->post(ctx->owner, ctx->diag_target, sqlstate, native, text.c_str());
}

void PostHeld(PaypalContext *ctx) {
    ctx->holding = 0;
    std::vector<HeldDiag> held;
    held.swap(ctx->held);
    for (const HeldDiag &d : held) {
        if (ctx->post) ctx->post(ctx->owner, ctx->diag_target, d.sqlstate.c_str(), d.native, d.message.c_str());
    }
}

void DropHeld(PaypalContext *ctx) {
    ctx->holding = 0;
    ctx->held.clear();
}

bool HasControlChar(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

int PaypalContextConfigure(PaypalContext *ctx, const char *base_url, const char *proxy_url,
                           const char *proxy_user, const char *proxy_password,
                           const char *client_id, const char *client_secret) {
    try {
        ParsedUrl api;
        if (!base_url || ParseUrl(base_url, &api) != 0) {
            transport_error(ctx, "08001", 0, "Unable to extract host from url");
            return -1;
        }
        if (!api.secure && !IsLoopbackHost(api.host)) {
            // The token request would carry the client secret in clear.
            transport_error(ctx, "08001", 0,
                            "base_url '%s' is refused: plain http:// is allowed only for a "
                            "loopback host (localhost, 127.0.0.1, ::1); use https://",
                            base_url);
            return -1;
        }
        const struct {
            const char *name;
            const char *value;
        } header_values[] = {{"proxy_user", proxy_user},
                             {"proxy_pass", proxy_password},
                             {"client_id", client_id},
                             {"client_secret", client_secret}};
        for (const auto &v : header_values) {
            if (v.value && HasControlChar(v.value)) {
                transport_error(ctx, "08001", 0,
                                "%s holds a control character (such as a line break), which "
                                "cannot be sent in a request header",
                                v.name);
                return -1;
            }
        }
        ctx->base_url = base_url;
        while (!ctx->base_url.empty() && ctx->base_url.back() == '/') ctx->base_url.pop_back();
        ctx->api_host = api.host;
        ctx->api_port = api.port;
        ctx->secure = api.secure;
        ctx->proxy_host.clear();
        if (proxy_url && *proxy_url) {
            ParsedUrl proxy;
            if (ParseUrl(proxy_url, &proxy) != 0) {
                transport_error(ctx, "08001", 0, "Unable to extract host from url");
                return -1;
            }
            ctx->proxy_host = proxy.host;
            ctx->proxy_port = proxy.port;
        }
        ctx->proxy_user = proxy_user ? proxy_user : "";
        ctx->proxy_password = proxy_password ? proxy_password : "";
        ctx->client_id = client_id ? client_id : "";
        ctx->client_secret = client_secret ? client_secret : "";
        PaypalTraceAddSecret(&ctx->trace, ctx->client_secret);
        PaypalTraceAddSecret(&ctx->trace, ctx->proxy_password);
        PaypalTraceAddSecret(&ctx->trace, Base64Encode(ctx->client_id + ":" + ctx->client_secret));
        if (!ctx->proxy_user.empty()) {
            PaypalTraceAddSecret(&ctx->trace,
                                 Base64Encode(ctx->proxy_user + ":" + ctx->proxy_password));
        }
        return 0;
    } catch (const std::bad_alloc &) {
        transport_error(ctx, "HY001", 0, "Memory allocation error");
        return -1;
    }
}
