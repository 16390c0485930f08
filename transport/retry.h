// The retry policy of requests: which outcomes are tried again, how long to
// wait before the next try, and the wait itself.
//
// Contract: only what cannot have changed anything is repeated: an
// idempotent request (a GET, the token request, or any request carrying a
// PayPal-Request-Id) after 429, 500, 502, 503, 504 or a connection that broke
// before the reply was complete; any request whose connection failed before
// a byte of it was sent. A 401 on a REST request renews the token once.
// Everything else (400, 404, refusals, verification, time-outs) is final.
// Waits follow Retry-After (seconds or an HTTP date) when it is sane, else a
// capped exponential backoff with jitter, and end early on cancellation.
//
// Exports: RetryVerdict, kMaxRetryAfterSeconds, kRetryBaseMs, kRetryCapMs,
// ClassifyOutcome, IsRetryableStatus, RetryDelayMs, ParseRetryAfter,
// RetryWait (retry.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "transport/context.h"
#include "transport/http.h"

enum class RetryVerdict : int32_t {
    kFinal = 0,       // the outcome stands
    kRetry = 1,       // wait, then try again
    kRenewToken = 2,  // the token was refused: renew it and repeat once
};

constexpr int64_t kMaxRetryAfterSeconds = 300;  // longer Retry-After values count as absurd
constexpr int64_t kRetryBaseMs = 250;           // first backoff step
constexpr int64_t kRetryCapMs = 30000;          // backoff ceiling

/// The verdict on one try of `req`: `rc` and `resp` as WebExchange's single
/// try returned them, the failure kind and request_sent from `ctx`.
[[nodiscard]] RetryVerdict ClassifyOutcome(const PaypalContext *ctx, const WebRequest *req, int rc,
                                           const WebResponse *resp);
/// 429, 500, 502, 503, 504.
[[nodiscard]] bool IsRetryableStatus(int status);
/// Seconds from a Retry-After value (delta seconds, or an IMF-fixdate
/// against `now_epoch`); -1 when absent, malformed, negative or past
/// kMaxRetryAfterSeconds.
[[nodiscard]] int64_t ParseRetryAfter(std::string_view value, int64_t now_epoch);
/// Milliseconds to wait before retry number `attempt` (from 0): the
/// Retry-After value when it parses, else min(kRetryCapMs, kRetryBaseMs *
/// 2^attempt) scaled by a random factor in [0.5, 1].
[[nodiscard]] int64_t RetryDelayMs(std::string_view retry_after, int attempt, int64_t now_epoch);
/// Sleeps `ms` in short slices; false as soon as `cancel` is set.
[[nodiscard]] bool RetryWait(int64_t ms, const std::atomic<int32_t> *cancel);
