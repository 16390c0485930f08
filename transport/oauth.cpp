// The OAuth2 client-credentials token: obtaining it over a fresh socket,
// renewing it before it expires and recycling the persistent socket.
#include <jansson.h>

#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "transport/http.h"
#include "transport/oauth.h"
#include "transport/retry.h"
#include "transport/socket.h"
#include "transport/tls.h"
#include "transport/url.h"

namespace {

struct JsonDeleter {
    void operator()(json_t *j) const { json_decref(j); }
};

std::string format_reason(const char *fmt, const std::string &a) {
    char buf[1200];
    snprintf(buf, sizeof buf, fmt, a.c_str());
    return buf;
}

void drop_socket(PaypalContext *ctx) {
    ctx->persistent = 0;
    ForceClose(ctx);
    ctx->cookies.clear();
}

int get_token(PaypalContext *ctx, std::string &reason, const char *base_url, int &status_out,
              std::string &retry_after) {
    PP_TRACE(ctx, kPpTraceEntry, "Get Oauth2");
    reason.clear();
    ParsedUrl url;
    if (!base_url || ParseUrl(base_url, &url) != 0) {
        reason = format_reason("failed to extract host from '%s'", base_url ? base_url : "");
        return -1;
    }
    if (!url.secure && !IsLoopbackHost(url.host)) {
        // Basic credentials over plain http would show the secret to anyone
        // on the path.
        reason = format_reason(
            "'%s' is refused: plain http:// is allowed only for a loopback host; use https://",
            base_url);
        return -1;
    }
    // The token request always uses a socket of its own.
    drop_socket(ctx);
    if (OpenConnection(ctx, url.host.c_str(), url.port, 0, ctx->proxy_host.c_str(), ctx->proxy_port,
                       ctx->proxy_user.c_str(), ctx->proxy_password.c_str()) != 0) {
        reason = format_reason("failed to connect to '%s'", base_url);
        if (ctx->last_error[0]) reason += std::string(": ") + ctx->last_error;
        return -1;
    }
    if (url.secure && TlsHandshake(ctx, ctx->tls) != 0) {
        ForceClose(ctx);
        reason = ctx->last_error;  // the handshake's own text, already posted
        return -1;
    }
    std::string base = base_url;
    while (!base.empty() && base.back() == '/') base.pop_back();
    std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    if (url.port != (url.secure ? 443 : 80)) host += ":" + std::to_string(url.port);
    WebRequestPtr req = NewTokenRequest(ctx, base + "/v1/oauth2/token", host);
    if (!req) {
        ForceClose(ctx);
        reason = "Memory allocation error";
        return -1;
    }
    AddParameter(req.get(), "grant_type", "client_credentials", 0);
    SetAuthorization(req.get(), Base64Encode(ctx->client_id + ":" + ctx->client_secret), "Basic");
    WebResponsePtr resp;
    if (SendRequest(req.get()) >= 0) resp = ReadResponse(ctx);
    req.reset();
    if (!resp) {
        ForceClose(ctx);
        reason = ctx->last_error[0] ? ctx->last_error : "no reply to the token request";
        return -1;
    }
    const int status = resp->status;
    status_out = status;
    retry_after = resp->retry_after;
    if (status != 200) {
        ErrorInfo info;
        if (status >= 300 && status <= 499) {
            if (resp->content_kind == kContentJson && DecodeError(resp.get(), &info) == 0) {
                reason = info.code + ": " + info.message;
            } else {
                reason = "server response " + std::to_string(status) + " " + resp->reason;
            }
        } else {
            reason = "unexpected code " + std::to_string(status);
        }
        // An error line, so that ring mode writes out the lines before it:
        // a refused secret is the failure a user most needs to see.
        PP_TRACE(ctx, kPpTraceError, "Token request refused (%d): %s", status, reason.c_str());
        ForceClose(ctx);
        return -1;
    }
    json_error_t err;
    std::unique_ptr<json_t, JsonDeleter> root(
        json_loadb(resp->body.data(), resp->body.size(), 0, &err));
    if (!root || !json_is_object(root.get())) {
        PP_TRACE(ctx, kPpTraceError, "Failed to decode json");
        reason = "Failed to decode json";
        ForceClose(ctx);
        return -1;
    }
    json_t *error = json_object_get(root.get(), "error");
    if (json_is_string(error)) {
        PP_TRACE(ctx, kPpTraceError, "error: %s", json_string_value(error));
        reason = std::string("server error: ") + json_string_value(error);
        ForceClose(ctx);
        return -1;
    }
    json_t *token = json_object_get(root.get(), "access_token");
    json_t *type = json_object_get(root.get(), "token_type");
    json_t *expires = json_object_get(root.get(), "expires_in");
    // A reply without a token would make every later request fail with 401;
    // report it here, where the cause is known.
    if (!json_is_string(token) || !*json_string_value(token)) {
        reason = "token reply carries no access_token";
        ForceClose(ctx);
        return -1;
    }
    ctx->access_token = json_string_value(token);
    ctx->token_type = json_is_string(type) ? json_string_value(type) : "Bearer";
    const long long expires_in = json_is_integer(expires) ? json_integer_value(expires) : 0;
    PaypalTraceAddSecret(&ctx->trace, ctx->access_token);
    PP_TRACE(ctx, kPpTraceDetail, "Get Oauth2");
    PP_TRACE(ctx, kPpTraceContinue, "Access Token : %s", "****");
    PP_TRACE(ctx, kPpTraceContinue, "Token Type : %s", ctx->token_type.c_str());
    PP_TRACE(ctx, kPpTraceContinue, "Expires In : %d", static_cast<int>(expires_in));
    ForceClose(ctx);
    const int64_t now = transport_now(ctx);
    ctx->use_counter = kRecycleRequests;
    ctx->token_expiry = now + expires_in - kTokenEarlySeconds;
    ctx->recycle_deadline = now + kRecycleSeconds;
    return 0;
}

}  // namespace

int GetAccessToken(PaypalContext *ctx, std::string &reason, const char *base_url,
                   int limit_seconds) {
    std::lock_guard<std::recursive_mutex> guard(ctx->request_lock);
    // Inside an exchange the diagnostics are already held for its outcome:
    // this request's final ones join them; otherwise they are posted here.
    const int32_t outer_holding = ctx->holding;
    std::vector<HeldDiag> outer_held;
    outer_held.swap(ctx->held);
    const int64_t limit_end =
        limit_seconds > 0 ? TransportMonotonicMs() + int64_t{limit_seconds} * 1000 : 0;
    int64_t waited = 0;
    int tries = 0;
    int rc;
    for (;;) {
        ctx->holding = 1;
        ctx->held.clear();
        ctx->failure = TransportFailure::kNone;
        int status = 0;
        std::string retry_after;
        {
            DeadlineScope deadline(ctx, 0);
            if (limit_end != 0) DeadlineCap(ctx, limit_end);
            try {
                rc = get_token(ctx, reason, base_url, status, retry_after);
            } catch (const std::bad_alloc &) {
                ForceClose(ctx);
                reason = "Memory allocation error";
                rc = -1;
            }
        }
        if (rc == 0) {
            TokenCacheStore(ctx);
            break;
        }
        const bool transient =
            status != 0 ? IsRetryableStatus(status)
                        : ctx->failure == TransportFailure::kConnect ||
                              ctx->failure == TransportFailure::kDropped;
        if (!transient || tries >= ctx->retry_limit) break;
        const int64_t wait = RetryDelayMs(retry_after, tries, static_cast<int64_t>(time(nullptr)));
        if (waited + wait > int64_t{ctx->retry_wait_seconds} * 1000 ||
            (limit_end != 0 && TransportMonotonicMs() + wait >= limit_end)) {
            const int64_t told = ParseRetryAfter(retry_after, static_cast<int64_t>(time(nullptr)));
            if (told >= 0) {
                try {
                    reason += "; PayPal asked to wait " + std::to_string(told) +
                              " seconds (Retry-After), longer than retry_wait or the login time-out leaves";
                } catch (const std::bad_alloc &) {
                    // The reason as it stands still says the request was refused.
                }
            }
            break;
        }
        ++tries;
        PP_TRACE(ctx, kPpTraceDetail, "Retry %d of %d of the token request (%s): waiting %d ms",
                 tries, ctx->retry_limit, status != 0 ? "HTTP status" : "connection lost",
                 static_cast<int>(wait));
        (void)RetryWait(wait, nullptr);
        waited += wait;
    }
    std::vector<HeldDiag> mine;
    mine.swap(ctx->held);
    ctx->holding = outer_holding;
    ctx->held.swap(outer_held);
    for (HeldDiag &d : mine) {
        if (outer_holding) {
            ctx->held.push_back(std::move(d));
        } else if (ctx->post) {
            ctx->post(ctx->owner, ctx->diag_target, d.sqlstate.c_str(), d.native, d.message.c_str());
        }
    }
    return rc;
}

int ObtainToken(PaypalContext *ctx, std::string &reason, int limit_seconds) {
    std::lock_guard<std::recursive_mutex> guard(ctx->request_lock);
    if (!TokenCacheLookup(ctx)) return GetAccessToken(ctx, reason, ctx->base_url.c_str(), limit_seconds);
    // A shared token proves nothing about this connection's own route and
    // trust: connect and verify the server now (the socket is kept for the
    // first request), so a `cert` that cannot verify it fails the connect.
    DeadlineScope deadline(ctx, limit_seconds);
    drop_socket(ctx);
    if (OpenConnection(ctx, ctx->api_host.c_str(), ctx->api_port, 1, ctx->proxy_host.c_str(),
                       ctx->proxy_port, ctx->proxy_user.c_str(), ctx->proxy_password.c_str()) != 0) {
        reason = format_reason("failed to connect to '%s'", ctx->base_url);
        if (ctx->last_error[0]) reason += std::string(": ") + ctx->last_error;
        ctx->access_token.clear();
        return -1;
    }
    if (ctx->secure && TlsHandshake(ctx, ctx->tls) != 0) {
        ForceClose(ctx);
        reason = ctx->last_error;  // the handshake's own text, already posted
        ctx->access_token.clear();
        return -1;
    }
    return 0;
}

void ForgetToken(PaypalContext *ctx) {
    std::lock_guard<std::recursive_mutex> guard(ctx->request_lock);
    TokenCacheForget(ctx);
    ctx->access_token.clear();
    ctx->token_expiry = 0;
}

int EnsureToken(PaypalContext *ctx) {
    std::lock_guard<std::recursive_mutex> guard(ctx->request_lock);
    const int64_t now = transport_now(ctx);
    if (ctx->use_counter > 0) --ctx->use_counter;
    if (ctx->access_token.empty() || now >= ctx->token_expiry) {
        drop_socket(ctx);
        // Another connection with the same credentials may have renewed it.
        if (TokenCacheLookup(ctx)) return 0;
        std::string reason;
        if (GetAccessToken(ctx, reason, ctx->base_url.c_str()) != 0) {
            PP_TRACE(ctx, kPpTraceError, "token renewal failed: %s", reason.c_str());
            return -1;
        }
        return 0;
    }
    if (ctx->persistent && (ctx->use_counter <= 0 || now > ctx->recycle_deadline)) {
        PP_TRACE(ctx, kPpTraceDetail, "Recycling the persistent connection");
        drop_socket(ctx);
        ctx->use_counter = kRecycleRequests;
        ctx->recycle_deadline = now + kRecycleSeconds;
    }
    return 0;
}
