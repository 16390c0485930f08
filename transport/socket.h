// The socket layer: TCP connections with time-outs, the persistent socket,
// raw sends and receives, and the whole-request deadline every wait obeys.
//
// Contract: every wait (connect, send, receive, and the TLS layer's reads
// and writes) lasts at most the socket time-out and never past the running
// request's deadline; a deadline that passes posts "Timeout expired: ..."
// (HYT00 when a login or query time-out set it, HYT01 otherwise). Sends
// never raise SIGPIPE. A proxy, when set, is reached through ProxyConnect
// (proxy.h).
//
// Exports: OpenConnection, KeptSocketIdle, SendRaw, ReceiveRaw, CloseConnection,
// ForceClose, connect_tcp, DeadlineBegin, DeadlineEnd, DeadlineScope,
// WaitLimitMs, SocketWait, ExchangeCanceled, PostCanceled, DeadlinePassed,
// PostWaitTimeout (socket.cpp).
#pragma once

#include <cstddef>

#include "transport/context.h"

/// Opens (or reuses) the socket to host:port, through the proxy when
/// `proxy_host` is non-empty. 0 or -3.
[[nodiscard]] int OpenConnection(PaypalContext *ctx, const char *host, int port, int persistent,
                                 const char *proxy_host, int proxy_port, const char *proxy_user,
                                 const char *proxy_password);
/// True when the open kept socket has nothing to read: a server that
/// closed it while it was idle made it readable, and it is not reused.
[[nodiscard]] bool KeptSocketIdle(const PaypalContext *ctx);
/// Sends all bytes (never raising SIGPIPE). Bytes sent or -1.
[[nodiscard]] long SendRaw(PaypalContext *ctx, const void *bytes, size_t length);
/// Receives once into `buffer`. Bytes (>= 1) or -1 (failure, time-out or
/// peer shutdown).
[[nodiscard]] long ReceiveRaw(PaypalContext *ctx, void *buffer, size_t capacity);
/// Closes the socket unless it is persistent.
void CloseConnection(PaypalContext *ctx);
/// Closes the socket (and frees any TLS session) always.
void ForceClose(PaypalContext *ctx);
/// Plain TCP connect to host:port with the context's time-out; the socket
/// fd or -1 after posting. Used by OpenConnection and ProxyConnect.
[[nodiscard]] int connect_tcp(PaypalContext *ctx, const char *host, int port);
/// Starts the whole-request deadline unless one runs already: the socket
/// time-out, or `limit_seconds` when that is shorter and > 0. Returns
/// whether it started one (the starter ends it).
bool DeadlineBegin(PaypalContext *ctx, int limit_seconds);
void DeadlineEnd(PaypalContext *ctx);
/// Ends the deadline it started when it goes out of scope.
struct DeadlineScope {
    PaypalContext *ctx;
    bool owns;
    DeadlineScope(PaypalContext *c, int limit_seconds)
        : ctx(c), owns(DeadlineBegin(c, limit_seconds)) {}
    ~DeadlineScope() {
        if (owns) DeadlineEnd(ctx);
    }
    DeadlineScope(const DeadlineScope &) = delete;
    DeadlineScope &operator=(const DeadlineScope &) = delete;
};
/// The monotonic clock of deadlines, in milliseconds.
[[nodiscard]] int64_t TransportMonotonicMs();
/// Brings the running deadline forward to `until_ms` (monotonic) when that is
/// earlier, as a login or query time-out.
void DeadlineCap(PaypalContext *ctx, int64_t until_ms);
/// Milliseconds the next wait on the socket may last: the socket time-out,
/// cut to what is left of the deadline; 0 when the deadline has passed.
[[nodiscard]] int WaitLimitMs(const PaypalContext *ctx);
/// Waits until the socket is ready for `events` (POLLIN, POLLOUT), in slices
/// short enough that a cancel from another thread ends the wait within a
/// tenth of a second. 1 when ready; 0 when the wait limit passed (errno
/// EAGAIN); -1 when the request was cancelled (errno ECANCELED) or poll
/// failed (its errno).
[[nodiscard]] int SocketWait(PaypalContext *ctx, short events);
/// True when the running exchange was cancelled.
[[nodiscard]] bool ExchangeCanceled(const PaypalContext *ctx);
/// Posts HY008 "Operation canceled" for a wait a cancel ended; the
/// failure is final (the socket is mid-exchange and is closed by the caller).
void PostCanceled(PaypalContext *ctx);
/// True when a deadline runs and has passed.
[[nodiscard]] bool DeadlinePassed(const PaypalContext *ctx);
/// Posts the failure of a wait that ended without data: the deadline's
/// time-out (HYT00 for a login or query time-out, HYT01 otherwise) when it
/// has passed, else "<what> failed (no reply within N seconds)".
void PostWaitTimeout(PaypalContext *ctx, const char *what);
