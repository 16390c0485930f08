// The retry policy: verdicts on a try, Retry-After and backoff, the wait.
#include "transport/retry.h"

#include <strings.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <ctime>
#include <random>
#include <string>
#include <thread>

namespace {

bool is_token_request(const WebRequest *req) {
    return req->url.find("/v1/oauth2/token") != std::string::npos;
}

std::string_view request_id_of(const WebRequest *req) {
    for (const auto &h : req->headers) {
        if (strcasecmp(h.first.c_str(), "PayPal-Request-Id") == 0) return h.second;
    }
    return {};
}

bool is_change(const WebRequest *req) {
    return req->method != HttpMethod::GET && !is_token_request(req);
}

// Puts one diagnostic first among the held ones (or posts it when nothing
// is held).
void hold_first(PaypalContext *ctx, const char *sqlstate, const std::string &message) {
    PP_TRACE(ctx, kPpTraceError, "%s", message.c_str());
    // The request's error text (WebRequest::error) is this one too.
    snprintf(ctx->last_error, sizeof ctx->last_error, "%s", message.c_str());
    if (!ctx->holding) {
        transport_post(ctx, sqlstate, 0, message.c_str());
        return;
    }
    ctx->held.insert(ctx->held.begin(), HeldDiag{sqlstate, 0, message});
}

}  // namespace

bool IsRetryableStatus(int status) {
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

RetryVerdict ClassifyOutcome(const PaypalContext *ctx, const WebRequest *req, int rc,
                             const WebResponse *resp) {
    // A PayPal-Request-Id alone does not make a change repeatable: only the
    // APIs that publish the header honour it.
    const bool repeatable = req->idempotent;
    if (rc == 0 && resp) {
        if (resp->status == 401 && !is_token_request(req)) return RetryVerdict::kRenewToken;
        return repeatable && IsRetryableStatus(resp->status) ? RetryVerdict::kRetry
                                                             : RetryVerdict::kFinal;
    }
    switch (ctx->failure) {
        case TransportFailure::kConnect:
            return RetryVerdict::kRetry;  // nothing of the request left the client
        case TransportFailure::kDropped:
            return repeatable || !ctx->request_sent ? RetryVerdict::kRetry : RetryVerdict::kFinal;
        case TransportFailure::kTimeout:
            // A change PayPal replays by its id is safe to send again; a GET
            // that took a whole socket time-out is not worth another.
            return repeatable && is_change(req) && ctx->request_sent ? RetryVerdict::kRetry
                                                                     : RetryVerdict::kFinal;
        default:
            return RetryVerdict::kFinal;
    }
}

int64_t ParseRetryAfter(std::string_view value, int64_t now_epoch) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty()) return -1;
    int64_t seconds = -1;
    if (value.find_first_not_of("0123456789") == std::string_view::npos) {
        if (value.size() > 9) return -1;
        seconds = 0;
        for (char c : value) seconds = seconds * 10 + (c - '0');
    } else {
        // IMF-fixdate: "Wed, 21 Oct 2015 07:28:00 GMT".
        std::string text(value);
        tm parts{};
        const char *end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
        if (!end || *end != '\0') return -1;
        seconds = static_cast<int64_t>(timegm(&parts)) - now_epoch;
        if (seconds < 0) seconds = 0;  // a date already past: try now
    }
    return seconds;
}

int64_t RetryDelayMs(std::string_view retry_after, int attempt, int64_t now_epoch) {
    const int64_t told = ParseRetryAfter(retry_after, now_epoch);
    if (told >= 0) return told * 1000;
    int64_t step = kRetryBaseMs;
    for (int i = 0; i < attempt && step < kRetryCapMs; ++i) step *= 2;
    if (step > kRetryCapMs) step = kRetryCapMs;
    // Jitter: clients that failed together do not all come back together.
    thread_local std::minstd_rand rng(static_cast<unsigned>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^
        std::hash<std::thread::id>()(std::this_thread::get_id())));
    std::uniform_int_distribution<int64_t> half(step / 2, step);
    return half(rng);
}

bool RetryWait(int64_t ms, const std::atomic<int32_t> *cancel) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_acquire)) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(20)));
    }
}

int64_t RetryBudgetMs(const PaypalContext *ctx, const WebRequest *req, int64_t start_ms,
                      int64_t now_ms) {
    int64_t spent = req->waited_ms;
    // A resend of a change that may have arrived: PayPal keeps its id for a
    // while, and the user waits on it, so retry_wait bounds the whole time.
    if (is_change(req) && ctx->request_sent && now_ms - start_ms > spent) spent = now_ms - start_ms;
    const int64_t left = int64_t{ctx->retry_wait_seconds} * 1000 - spent;
    return left > 0 ? left : 0;
}

bool IsUnsettledChange(const PaypalContext *ctx, const WebRequest *req, int rc,
                       const WebResponse *resp) {
    if (!is_change(req)) return false;
    if (rc == 0 && resp) return resp->status == 500 || resp->status == 502 || resp->status == 504;
    return ctx->request_sent != 0;
}

void HoldUnsettledChange(PaypalContext *ctx, const WebRequest *req, int rc,
                         const WebResponse *resp, bool earlier) {
    // A reply to the last try settles an earlier one: PayPal answers a
    // repeated id with the first reply, and only such changes are resent
    // after they may have arrived.
    const bool replied = rc == 0 && resp;
    if (!IsUnsettledChange(ctx, req, rc, resp) && !(earlier && !replied && is_change(req))) return;
    try {
        const std::string_view id = request_id_of(req);
        // A 5xx reply's own text goes into the message: the application may
        // show only the first diagnostic.
        std::string what = rc == 0 && resp ? "was answered with HTTP " + std::to_string(resp->status) +
                                                 " " + ErrorReplyText(resp)
                                           : std::string("got no complete reply");
        std::string message = "The change may have been applied: ";
        message += HttpMethodName(req->method);
        message += ' ';
        message.append(PathPart(req->url));
        message += ' ' + what;
        if (!id.empty()) {
            message += " (PayPal-Request-Id ";
            message.append(id);
            message += ')';
        }
        message += "; read the object back before making the change again";
        hold_first(ctx, "08S01", message);
    } catch (const std::bad_alloc &) {
        // The transport's own reason is still held.
    }
}

void HoldRetryAfterRefusal(PaypalContext *ctx, const WebRequest *req, int64_t seconds,
                           int64_t left_ms, bool query_timeout) {
    try {
        std::string message = "PayPal asked to wait " + std::to_string(seconds) +
                              " seconds (Retry-After) before trying ";
        message.append(PathPart(req->url));
        message += " again; " + std::string(query_timeout ? "the query time-out" : "retry_wait") +
                   " leaves " + std::to_string(left_ms / 1000) + " seconds";
        hold_first(ctx, "HY000", message);
    } catch (const std::bad_alloc &) {
    }
}
