// One REST exchange under the connection's request lock: token, socket,
// TLS, send and read, with one retry of a GET whose kept socket turned out
// to be closed by the server.
#include <new>

#include "transport/http.h"
#include "transport/oauth.h"
#include "transport/socket.h"
#include "transport/tls.h"

namespace {

// Re-posts an error that was held back while a retry was still possible.
void post_held(PaypalContext *ctx) {
    if (ctx->post && ctx->last_error[0]) {
        ctx->post(ctx->owner, ctx->diag_target, "08001", 0, ctx->last_error);
    }
}

int exchange(WebRequest *req, WebResponsePtr &out) {
    PaypalContext *ctx = req->context;
    out.reset();
    if (EnsureToken(ctx) != 0) {
        transport_error(ctx, "HY000", 0, "Failed to obtain Paypal auth token");
        return -1;
    }
    for (int attempt = 0;; ++attempt) {
        int rc =
            OpenConnection(ctx, ctx->api_host.c_str(), ctx->api_port, 1, ctx->proxy_host.c_str(),
                           ctx->proxy_port, ctx->proxy_user.c_str(), ctx->proxy_password.c_str());
        if (rc != 0) return rc;
        const bool may_retry = attempt == 0 && ctx->reused && req->method == HttpMethod::GET;
        if (ctx->secure) {
            rc = TlsHandshake(ctx, ctx->tls);
            if (rc != 0) {
                ForceClose(ctx);
                return rc;
            }
        }
        ctx->quiet = may_retry ? 1 : 0;
        ctx->last_error[0] = '\0';
        WebResponsePtr resp;
        if (SendRequest(req) >= 0) resp = ReadResponse(ctx);
        ctx->quiet = 0;
        if (!resp) {
            const bool nothing_came = ctx->rx_total == 0;
            ForceClose(ctx);
            if (may_retry && nothing_came) {
                PP_TRACE(ctx, kPpTraceDetail, "Kept connection was closed; retrying once");
                continue;
            }
            if (may_retry) post_held(ctx);
            return kTransportIoFailed;
        }
        if (req->says_close || !ctx->persistent) {
            ctx->persistent = 0;
            ForceClose(ctx);
        }
        out = std::move(resp);
        return 0;
    }
}

}  // namespace

int WebExchange(WebRequest *req, WebResponsePtr &out) {
    PaypalContext *ctx = req->context;
    std::lock_guard<std::recursive_mutex> guard(ctx->request_lock);
    // Chosen under the lock: another statement of the connection may be
    // waiting for it with a target of its own.
    ctx->diag_target = req->diag_owner;
    ctx->last_error[0] = '\0';
    int rc;
    {
        DeadlineScope deadline(ctx, req->time_limit_seconds);
        try {
            rc = exchange(req, out);
        } catch (const std::bad_alloc &) {
            ctx->quiet = 0;
            ForceClose(ctx);
            transport_error(ctx, "HY001", 0, "Memory allocation error");
            rc = -1;
        }
    }
    try {
        req->error = rc == 0 ? "" : ctx->last_error;
    } catch (const std::bad_alloc &) {
        req->error.clear();
    }
    ctx->diag_target = nullptr;
    return rc;
}
