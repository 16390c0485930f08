// The retry policy of requests: which outcomes are tried again, how long to
// wait before the next try, and the wait itself.
//
// Contract: only what cannot make a second object is repeated: an
// idempotent request (a GET, the token request, or a change whose API
// honours the PayPal-Request-Id it carries, marked `idempotent` by its
// builder) after 429, 500, 502, 503, 504 or a connection that broke before
// the reply was complete; such a change also after a time-out, since PayPal
// answers a repeated id with the first reply; any request whose connection
// failed before a byte of it was sent. A 401 on a REST request renews the
// token once. Everything else (400, 404, refusals, verification, GET
// time-outs) is final. A change whose reply never came (or came as 500, 502,
// 504) and is not tried again is reported as possibly applied, naming its
// PayPal-Request-Id. Waits follow Retry-After (seconds or an HTTP date),
// else a capped exponential backoff with jitter, and end early on
// cancellation; a wait longer than the budget left fails at once.
//
// Exports: RetryVerdict, kRetryBaseMs, kRetryCapMs, ClassifyOutcome,
// IsRetryableStatus, RetryDelayMs, ParseRetryAfter, RetryWait,
// RetryBudgetMs, IsUnsettledChange, HoldUnsettledChange, HoldRetryAfterRefusal
// (retry.cpp).
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

constexpr int64_t kRetryBaseMs = 250;           // first backoff step
constexpr int64_t kRetryCapMs = 30000;          // backoff ceiling

/// The verdict on one try of `req`: `rc` and `resp` as WebExchange's single
/// try returned them, the failure kind and request_sent from `ctx`.
[[nodiscard]] RetryVerdict ClassifyOutcome(const PaypalContext *ctx, const WebRequest *req, int rc,
                                           const WebResponse *resp);
/// 429, 500, 502, 503, 504.
[[nodiscard]] bool IsRetryableStatus(int status);
/// Seconds from a Retry-After value (delta seconds, at most 9 digits, or an
/// IMF-fixdate against `now_epoch`); -1 when absent, malformed or negative.
/// A long value is kept: the caller's budget decides whether to wait.
[[nodiscard]] int64_t ParseRetryAfter(std::string_view value, int64_t now_epoch);
/// Milliseconds to wait before retry number `attempt` (from 0): the
/// Retry-After value when it parses, else min(kRetryCapMs, kRetryBaseMs *
/// 2^attempt) scaled by a random factor in [0.5, 1].
[[nodiscard]] int64_t RetryDelayMs(std::string_view retry_after, int attempt, int64_t now_epoch);
/// Sleeps `ms` in short slices; false as soon as `cancel` is set.
[[nodiscard]] bool RetryWait(int64_t ms, const std::atomic<int32_t> *cancel);
/// Milliseconds of retry wait `req` may still spend at `now_ms` (monotonic),
/// its tries having started at `start_ms`: what `retry_wait` leaves of the
/// waits so far, and for a change whose reply never came what it leaves of
/// the time since its first send (a resend goes out within `retry_wait`).
[[nodiscard]] int64_t RetryBudgetMs(const PaypalContext *ctx, const WebRequest *req,
                                    int64_t start_ms, int64_t now_ms);
/// True when `req` is a change (not a GET, not the token request) whose
/// outcome is unknown after this try: sent, with no complete reply, or
/// answered 500, 502 or 504.
[[nodiscard]] bool IsUnsettledChange(const PaypalContext *ctx, const WebRequest *req, int rc,
                                     const WebResponse *resp);
/// When IsUnsettledChange, or when an earlier try was (`earlier`) and this
/// last one got no reply: puts "The change may have been applied ..."
/// (08S01, naming the method, path and PayPal-Request-Id) first among the
/// held diagnostics, so the application reads it before the transport's
/// reason.
void HoldUnsettledChange(PaypalContext *ctx, const WebRequest *req, int rc,
                         const WebResponse *resp, bool earlier);
/// Holds the refusal of a Retry-After of `seconds` that the budget
/// (`left_ms`, from retry_wait or the query time-out) cannot wait for.
void HoldRetryAfterRefusal(PaypalContext *ctx, const WebRequest *req, int64_t seconds,
                           int64_t left_ms, bool query_timeout);
