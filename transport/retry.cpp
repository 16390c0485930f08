// The retry policy: verdicts on a try, Retry-After and backoff, the wait.
#include "transport/retry.h"

#include <strings.h>

#include <chrono>
#include <ctime>
#include <random>
#include <string>
#include <thread>

namespace {

bool has_request_id(const WebRequest *req) {
    for (const auto &h : req->headers) {
        if (strcasecmp(h.first.c_str(), "PayPal-Request-Id") == 0 && !h.second.empty()) return true;
    }
    return false;
}

bool is_token_request(const WebRequest *req) {
    return req->url.find("/v1/oauth2/token") != std::string::npos;
}

}  // namespace

bool IsRetryableStatus(int status) {
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

RetryVerdict ClassifyOutcome(const PaypalContext *ctx, const WebRequest *req, int rc,
                             const WebResponse *resp) {
    const bool repeatable = req->idempotent || has_request_id(req);
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
    return seconds > kMaxRetryAfterSeconds ? -1 : seconds;
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
