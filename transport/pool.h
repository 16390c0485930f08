// Extra connections of one PayPal connection, for requests sent side by
// side, the pool that keeps them open between their uses, and the gate they
// all pass before each request.
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
// A ClonePool keeps the clones of one PayPal connection that are not in
// use, each with its socket and TLS session open, so that the next user
// sends its requests without a new handshake; a kept socket the server has
// closed meanwhile is reopened by the exchange itself (GETs only). The pool
// belongs to the PayPal connection: closing it (at disconnect) closes every
// idle clone, and a clone given back afterwards is closed at once. Taking
// and giving may happen on any thread; the clone itself is driven by one
// thread at a time, handed over with it.
//
// A RequestGate is the one point where a wait decided for any request
// (429 with Retry-After, a retryable failure's backoff) holds back every
// request that shares the gate; closing it releases and refuses all waiters.
//
// Exports: PaypalContextClone, ClonePool, ClonePoolTake, ClonePoolGive,
// ClonePoolClose, RequestGate, GatePause, GateWait, GateClose,
// GateMonotonicMs (pool.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "transport/context.h"

/// A new context for the same connection as `source`. Null when memory is
/// short.
[[nodiscard]] PaypalContextPtr PaypalContextClone(PaypalContext *source);

struct ClonePool {
    std::mutex lock;                     // guards the fields below
    std::vector<PaypalContextPtr> idle;  // most recently given last
    bool closed = false;                 // the PayPal connection went: keep nothing
};

/// A clone of `source` for one user: the one given back last, its token
/// brought up to the source's (when the source is not busy), else a new
/// PaypalContextClone. Its `owner` and `post` are null. Null when memory is
/// short.
[[nodiscard]] PaypalContextPtr ClonePoolTake(ClonePool *pool, PaypalContext *source);
/// Gives `ctx` back once its user is done with it (no request running). It
/// is kept when its socket is open, the pool is not closed and fewer than
/// `keep` clones are idle; otherwise it is closed and freed.
void ClonePoolGive(ClonePool *pool, PaypalContextPtr ctx, size_t keep);
/// Closes and frees every idle clone; later gives close theirs.
void ClonePoolClose(ClonePool *pool);
/// Clones idle in the pool (for tests and traces).
[[nodiscard]] size_t ClonePoolIdle(ClonePool *pool);

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
