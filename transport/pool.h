// Extra connections of one PayPal connection, for requests sent side by
// side, and the gate they all pass before each request.
//
// Contract: a clone has its own socket and TLS session and copies, under
// the source's request lock, everything else a request needs: target,
// proxy, credentials, the current token, the TLS and cache it borrows, the
// time-outs and the trace settings and secrets (its lines go to the same
// log). A clone starts with no `post`: its failures stay in last_error and
// the request's `error` unless its user sets an owner and `post` that keep
// them for the thread that owns the result.
// One thread at a time drives a clone, under its own request lock.
//
// A RequestGate is the one point where a wait decided for any request
// (429 with Retry-After, a retryable failure's backoff) holds back every
// request that shares the gate; closing it releases and refuses all waiters.
//
// Exports: PaypalContextClone, RequestGate, GatePause, GateWait, GateClose,
// GateMonotonicMs (pool.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "transport/context.h"

/// A new context for the same connection as `source`. Null when memory is
/// short.
[[nodiscard]] PaypalContextPtr PaypalContextClone(PaypalContext *source);

struct RequestGate {
    std::mutex lock;
    std::condition_variable changed;
    int64_t resume_ms = 0;  // monotonic milliseconds before which no request starts
    bool closed = false;    // the work was abandoned: waiters give up
};

/// Monotonic milliseconds (the gate's clock).
[[nodiscard]] int64_t GateMonotonicMs();
/// Holds back every request of the gate for `ms` milliseconds from now
/// (a longer pause already set stays).
void GatePause(RequestGate *gate, int64_t ms);
/// Waits until the gate is open. False when it was closed or `cancel`
/// (may be null) became set while waiting.
[[nodiscard]] bool GateWait(RequestGate *gate, const std::atomic<int32_t> *cancel);
/// Closes the gate for good and wakes every waiter.
void GateClose(RequestGate *gate);
