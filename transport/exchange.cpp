// One REST exchange under the connection's request lock: token, socket,
// TLS, send and read, with one resend of a request whose kept socket turned
// out to be closed by the server, and the retry policy of retry.h around it.
#include <ctime>
#include <mutex>
#include <new>

#include "transport/http.h"
#include "transport/oauth.h"
#include "transport/pool.h"
#include "transport/retry.h"
#include "transport/socket.h"
#include "transport/tls.h"

namespace {

// Re-posts an error that was held back while a retry was still possible.
void post_held(PaypalContext *ctx) {
    if (ctx->last_error[0]) transport_post(ctx, "08001", 0, ctx->last_error);
}

// One try: token, connection, handshake, request, reply.
int exchange(WebRequest *req, WebResponsePtr &out) {
    PaypalContext *ctx = req->context;
    out.reset();
    if (EnsureToken(ctx) != 0) {
        transport_error(ctx, "HY000", 0, "Failed to obtain Paypal auth token");
        return -1;
    }
    for (int attempt = 0;; ++attempt) {
        ctx->request_sent = 0;
        int rc =
            OpenConnection(ctx, ctx->api_host.c_str(), ctx->api_port, 1, ctx->proxy_host.c_str(),
                           ctx->proxy_port, ctx->proxy_user.c_str(), ctx->proxy_password.c_str());
        if (rc != 0) return rc;
        // A kept socket the server closed as the request went out answers
        // nothing: the request never reached PayPal, whatever its method, and
        // is sent once more. Not a POST that PayPal would not know again by
        // its id: a server that made the object and then dropped the socket
        // looks the same, and a second object must never appear silently
        // (OpenConnection passes over kept sockets closed while idle, so
        // such a POST rarely meets one).
        const bool may_retry = attempt == 0 && ctx->reused &&
                               (req->method != HttpMethod::POST || req->idempotent);
        if (ctx->secure) {
            rc = TlsHandshake(ctx, ctx->tls);
            if (rc != 0) {
                ForceClose(ctx);
                return rc;
            }
        }
        const int32_t outer_quiet = ctx->quiet;
        ctx->quiet = outer_quiet || may_retry ? 1 : 0;
        ctx->last_error[0] = '\0';
        WebResponsePtr resp;
        if (SendRequest(req) >= 0) resp = ReadResponse(ctx);
        ctx->quiet = outer_quiet;
        if (!resp) {
            // A change that waited out a time-out may be under way at PayPal.
            const bool nothing_came = ctx->rx_total == 0 &&
                (req->method == HttpMethod::GET || ctx->failure != TransportFailure::kTimeout);
            ForceClose(ctx);
            if (may_retry && nothing_came && !ExchangeCanceled(ctx)) {
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

int guarded_exchange(WebRequest *req, WebResponsePtr &out, int64_t limit_end_ms) {
    PaypalContext *ctx = req->context;
    DeadlineScope deadline(ctx, 0);
    if (limit_end_ms != 0) DeadlineCap(ctx, limit_end_ms);
    try {
        return exchange(req, out);
    } catch (const std::bad_alloc &) {
        ctx->quiet = 0;
        ForceClose(ctx);
        transport_error(ctx, "HY001", 0, "Memory allocation error");
        return -1;
    }
}

// What a try needs of the connection while it holds the request lock: the
// running request's diagnostics target and flags. Set again after every
// wait, since another statement of the connection may have run meanwhile.
void take_connection(PaypalContext *ctx, const WebRequest *req) {
    ctx->diag_target = req->diag_owner;
    ctx->cancel = req->cancel;
    ctx->stop = req->stop;
    ctx->last_error[0] = '\0';
    ctx->holding = 0;
}

// The connection's request lock is held for a try, not for the waits
// between tries: a retry wait may last up to `retry_wait` (two minutes),
// and the connection's other statements, its SQLDisconnect and token
// renewal must not wait that long behind it. `hold` is the lock; it is held
// on entry and on return.
int exchange_with_retries(WebRequest *req, WebResponsePtr &out,
                          std::unique_lock<std::recursive_mutex> &hold) {
    PaypalContext *ctx = req->context;
    const int64_t start = TransportMonotonicMs();
    const int64_t limit_end =
        req->time_limit_seconds > 0 ? start + int64_t{req->time_limit_seconds} * 1000 : 0;
    bool renewed = false;
    bool unsettled = false;  // an earlier try of a change may have reached PayPal
    int tries = 0;  // retries of this request; the wait budget is the statement's
    for (;;) {
        // Requests sent side by side wait out any retry wait one of them set
        // (without the lock: the pause may be long).
        if (req->gate) {
            hold.unlock();
            const bool go_on = GateWait(req->gate, req->cancel);
            hold.lock();
            take_connection(ctx, req);
            if (!go_on) {
                transport_error(ctx, "HY008", 0, "Operation canceled");
                return -1;
            }
        }
        ctx->holding = 1;
        ctx->held.clear();
        ctx->failure = TransportFailure::kNone;
        int rc = guarded_exchange(req, out, limit_end);
        RetryVerdict verdict = ClassifyOutcome(ctx, req, rc, out.get());
        if (verdict == RetryVerdict::kRenewToken) {
            if (renewed) {
                verdict = RetryVerdict::kFinal;
            } else {
                // The server no longer takes the token (revoked, or expired
                // early): renew it once and repeat the request.
                renewed = true;
                DropHeld(ctx);
                PP_TRACE(ctx, kPpTraceDetail, "Token refused (401); renewing it and repeating %s",
                         PathPart(req->url).data());
                ForgetToken(ctx);
                continue;
            }
        }
        if (verdict == RetryVerdict::kFinal || tries >= ctx->retry_limit) {
            HoldUnsettledChange(ctx, req, rc, out.get(), unsettled);
            PostHeld(ctx);
            return rc;
        }
        const int64_t epoch = static_cast<int64_t>(time(nullptr));
        const int64_t told = out ? ParseRetryAfter(out->retry_after, epoch) : -1;
        const int64_t wait = RetryDelayMs(out ? std::string_view(out->retry_after) : "", tries, epoch);
        const int64_t now = TransportMonotonicMs();
        const int64_t budget = RetryBudgetMs(ctx, req, start, now);
        if (wait > budget || (limit_end != 0 && now + wait >= limit_end)) {
            PP_TRACE(ctx, kPpTraceDetail,
                     "Not retrying %s: a wait of %lld ms would pass the retry_wait or query time-out",
                     PathPart(req->url).data(), static_cast<long long>(wait));
            if (told >= 0) {
                const bool by_query = limit_end != 0 && limit_end - now < budget;
                HoldRetryAfterRefusal(ctx, req, told, by_query ? limit_end - now : budget, by_query);
            }
            HoldUnsettledChange(ctx, req, rc, out.get(), unsettled);
            PostHeld(ctx);
            return rc;
        }
        DropHeld(ctx);
        unsettled = unsettled || IsUnsettledChange(ctx, req, rc, out.get());
        ++tries;
        ++req->retries;
        if (out) {
            PP_TRACE(ctx, kPpTraceDetail, "Retry %d of %d for %s (HTTP %d): waiting %d ms",
                     tries, ctx->retry_limit, PathPart(req->url).data(), out->status,
                     static_cast<int>(wait));
        } else {
            PP_TRACE(ctx, kPpTraceDetail, "Retry %d of %d for %s (connection lost): waiting %d ms",
                     tries, ctx->retry_limit, PathPart(req->url).data(),
                     static_cast<int>(wait));
        }
        out.reset();
        if (req->gate) {
            // A 429 speaks for the whole client: every request of the gate
            // pauses, and this one waits at the top of the loop.
            GatePause(req->gate, wait);
        } else {
            hold.unlock();
            const bool go_on = RetryWait(wait, req->cancel);
            hold.lock();
            take_connection(ctx, req);
            if (!go_on) {
                transport_error(ctx, "HY008", 0, "Operation canceled");
                return -1;
            }
        }
        req->waited_ms += wait;
    }
}

}  // namespace

int WebExchange(WebRequest *req, WebResponsePtr &out) {
    PaypalContext *ctx = req->context;
    std::unique_lock<std::recursive_mutex> hold(ctx->request_lock);
    // Chosen under the lock: another statement of the connection may be
    // waiting for it with a target of its own. An exchange nested in
    // another on this thread (the lock is recursive) gives the outer one
    // back its own.
    void *const outer_target = ctx->diag_target;
    const std::atomic<int32_t> *const outer_cancel = ctx->cancel;
    const std::atomic<int32_t> *const outer_stop = ctx->stop;
    take_connection(ctx, req);
    int rc;
    try {
        rc = exchange_with_retries(req, out, hold);
    } catch (const std::bad_alloc &) {
        DropHeld(ctx);
        transport_error(ctx, "HY001", 0, "Memory allocation error");
        rc = -1;
    }
    ctx->holding = 0;
    try {
        req->error = rc == 0 ? "" : ctx->last_error;
    } catch (const std::bad_alloc &) {
        req->error.clear();
    }
    ctx->diag_target = outer_target;
    ctx->cancel = outer_cancel;
    ctx->stop = outer_stop;
    return rc;
}
