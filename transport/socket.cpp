// TCP sockets of the transport: connecting with a time-out, reusing the
// persistent socket, sending without SIGPIPE, receiving, closing.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "transport/proxy.h"
#include "transport/socket.h"
#include "transport/tls.h"

namespace {

int64_t monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int socket_timeout_seconds(const PaypalContext *ctx) {
    return ctx->timeout_seconds > 0 ? ctx->timeout_seconds : kDefaultTimeoutSeconds;
}

void set_timeouts(int fd, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

// Longest single poll of a socket wait: a cancel is seen within this.
constexpr int kCancelSliceMs = 100;

// Polls `fd` for `events` for up to `ms`, in slices that look at `cancel`.
// 1 ready, 0 time-out, -1 cancelled (errno ECANCELED) or poll failed.
int poll_sliced(int fd, short events, int ms, const std::atomic<int32_t> *cancel,
                const std::atomic<int32_t> *stop = nullptr) {
    if (fd < 0) {  // poll would ignore it and wait out the whole limit
        errno = EBADF;
        return -1;
    }
    const int64_t until = monotonic_ms() + ms;
    for (;;) {
        if ((cancel && cancel->load(std::memory_order_acquire)) || (stop && stop->load(std::memory_order_acquire))) {
            errno = ECANCELED;
            return -1;
        }
        const int64_t left = until - monotonic_ms();
        if (left <= 0) return 0;
        pollfd p{fd, events, 0};
        int rc = poll(&p, 1, static_cast<int>(left < kCancelSliceMs ? left : kCancelSliceMs));
        if (rc > 0) return 1;
        if (rc < 0 && errno != EINTR) return -1;
    }
}

// Connects `fd` to `addr` within `timeout_ms`. 0, or an errno value
// (ECANCELED when `cancel` was set meanwhile).
int connect_with_timeout(int fd, const sockaddr *addr, socklen_t len, int timeout_ms,
                         const std::atomic<int32_t> *cancel, const std::atomic<int32_t> *stop) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return errno;
    int rc = connect(fd, addr, len);
    int err = 0;
    if (rc < 0) {
        if (errno != EINPROGRESS) return errno;
        if (timeout_ms <= 0) return ETIMEDOUT;
        rc = poll_sliced(fd, POLLOUT, timeout_ms, cancel, stop);
        if (rc == 0) return ETIMEDOUT;
        if (rc < 0) return errno;
        socklen_t elen = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &elen) < 0) return errno;
        if (err != 0) return err;
    }
    if (fcntl(fd, F_SETFL, flags) < 0) return errno;
    return 0;
}

}  // namespace

bool DeadlineBegin(PaypalContext *ctx, int limit_seconds) {
    if (ctx->deadline_ms != 0) return false;
    int seconds = socket_timeout_seconds(ctx);
    ctx->deadline_limited = 0;
    if (limit_seconds > 0 && limit_seconds <= seconds) {
        seconds = limit_seconds;
        ctx->deadline_limited = 1;
    }
    ctx->deadline_seconds = seconds;
    ctx->deadline_ms = monotonic_ms() + static_cast<int64_t>(seconds) * 1000;
    return true;
}

int64_t TransportMonotonicMs() {
    return monotonic_ms();
}

void DeadlineCap(PaypalContext *ctx, int64_t until_ms) {
    if (ctx->deadline_ms != 0 && until_ms >= ctx->deadline_ms) return;
    const int64_t now = monotonic_ms();
    ctx->deadline_ms = until_ms;
    ctx->deadline_limited = 1;
    ctx->deadline_seconds = static_cast<int>((until_ms - now + 999) / 1000);
}

void DeadlineEnd(PaypalContext *ctx) {
    ctx->deadline_ms = 0;
}

bool DeadlinePassed(const PaypalContext *ctx) {
    return ctx->deadline_ms != 0 && monotonic_ms() >= ctx->deadline_ms;
}

int WaitLimitMs(const PaypalContext *ctx) {
    int64_t limit = static_cast<int64_t>(socket_timeout_seconds(ctx)) * 1000;
    if (ctx->deadline_ms == 0) return static_cast<int>(limit);
    int64_t left = ctx->deadline_ms - monotonic_ms();
    if (left <= 0) return 0;
    return static_cast<int>(left < limit ? left : limit);
}

int SocketWait(PaypalContext *ctx, short events) {
    const int ms = WaitLimitMs(ctx);
    if (ms <= 0) {
        errno = EAGAIN;
        return 0;
    }
    const int rc = poll_sliced(ctx->socket_fd, events, ms, ctx->cancel, ctx->stop);
    if (rc == 0) errno = EAGAIN;
    return rc;
}

bool ExchangeCanceled(const PaypalContext *ctx) {
    return (ctx->cancel && ctx->cancel->load(std::memory_order_acquire)) ||
           (ctx->stop && ctx->stop->load(std::memory_order_acquire));
}

void PostCanceled(PaypalContext *ctx) {
    transport_error(ctx, "HY008", 0, "Operation canceled");
    ctx->failure = TransportFailure::kOther;
}

void PostWaitTimeout(PaypalContext *ctx, const char *what) {
    if (DeadlinePassed(ctx)) {
        transport_error(ctx, ctx->deadline_limited ? "HYT00" : "HYT01", 0,
                        "Timeout expired: the request did not complete within %d seconds",
                        ctx->deadline_seconds);
    } else {
        transport_error(ctx, "08001", 0, "%s failed (no reply within %d seconds)", what,
                        socket_timeout_seconds(ctx));
    }
    ctx->failure = TransportFailure::kTimeout;
}

int connect_tcp(PaypalContext *ctx, const char *host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    char service[16];
    snprintf(service, sizeof service, "%d", port);
    if (getaddrinfo(host, service, &hints, &found) != 0 || !found) {
        transport_error(ctx, "08001", 0, "Failed to find host address '%s'", host);
        return -1;
    }
    int last_err = 0;
    int fd = -1;
    bool made_socket = false;
    // IPv4 addresses first, then IPv6, so "localhost" behaves as before.
    for (int family : {AF_INET, AF_INET6}) {
        for (addrinfo *ai = found; ai && fd < 0; ai = ai->ai_next) {
            if (ai->ai_family != family) continue;
            int s = socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
            if (s < 0) {
                last_err = errno;
                continue;
            }
            made_socket = true;
            int err = connect_with_timeout(s, ai->ai_addr, ai->ai_addrlen, WaitLimitMs(ctx), ctx->cancel,
                                           ctx->stop);
            if (err == 0) {
                fd = s;
            } else {
                last_err = err;
                close(s);
            }
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        if (last_err == ECANCELED) {
            PostCanceled(ctx);
        } else if (made_socket && last_err == ETIMEDOUT && DeadlinePassed(ctx)) {
            PostWaitTimeout(ctx, "connect");
        } else if (!made_socket) {
            transport_error(ctx, "08001", 0, "Failed to create socket");
        } else {
            PP_TRACE(ctx, kPpTraceError, "connect() returns OS Error '%s'", strerror(last_err));
            transport_error(ctx, "08001", 0, "OS Error: '%s'", strerror(last_err));
            ctx->failure = TransportFailure::kConnect;
        }
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    set_timeouts(fd, socket_timeout_seconds(ctx) * 1000);
    return fd;
}

bool KeptSocketIdle(const PaypalContext *ctx) {
    if (ctx->socket_fd < 0) return false;
    // Nothing may arrive on a kept socket between requests: a readable one
    // holds the server's close (or stray bytes) and would swallow the next
    // request unanswered.
    pollfd p{ctx->socket_fd, POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

int OpenConnection(PaypalContext *ctx, const char *host, int port, int persistent,
                   const char *proxy_host, int proxy_port, const char *proxy_user,
                   const char *proxy_password) {
    ctx->reused = 0;
    if (proxy_host && *proxy_host) {
        return ProxyConnect(ctx, host, port, persistent, proxy_host, proxy_port, proxy_user,
                            proxy_password);
    }
    PP_TRACE(ctx, kPpTraceDetail, "Open connection to '%s', %d", host, port);
    if (ctx->persistent && ctx->socket_fd >= 0) {
        if (transport_now(ctx) < ctx->persist_deadline && ctx->peer_host == host &&
            ctx->peer_port == port) {
            if (KeptSocketIdle(ctx)) {
                PP_TRACE(ctx, kPpTraceDetail, "Connection persistent");
                ctx->reused = 1;
                return 0;
            }
            PP_TRACE(ctx, kPpTraceDetail, "Kept connection was closed by the server; opening another");
        }
        ctx->persistent = 0;
    }
    // Any socket still open here (a kept one past its deadline, or one left
    // by a failed exchange) is closed before a new one is made.
    ForceClose(ctx);
    int fd = connect_tcp(ctx, host, port);
    if (fd < 0) return kTransportConnectFailed;
    ctx->socket_fd = fd;
    ctx->peer_host = host;
    ctx->peer_port = port;
    ctx->rpos = ctx->rlen = 0;
    ctx->tls_active = 0;
    if (persistent) {
        ctx->persistent = 1;
        ctx->persist_deadline = transport_now(ctx) + kPersistSeconds;
    }
    return 0;
}

long SendRaw(PaypalContext *ctx, const void *bytes, size_t length) {
    PP_TRACE_DUMP(ctx, kPpTracePktDump, bytes, length, "Sent %d bytes", static_cast<int>(length));
    const char *p = static_cast<const char *>(bytes);
    size_t sent = 0;
    while (sent < length) {
        const int w = SocketWait(ctx, POLLOUT);
        if (w == 0) {
            PostWaitTimeout(ctx, "send");
            return -1;
        }
        if (w < 0 && errno == ECANCELED) {
            PostCanceled(ctx);
            return -1;
        }
        // MSG_NOSIGNAL: a peer that closed must not kill the host process.
        ssize_t n = w < 0 ? -1 : send(ctx->socket_fd, p + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) {
            transport_error(ctx, "08001", 0, "Send to proxy failed");
            ctx->failure = TransportFailure::kDropped;
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    return static_cast<long>(sent);
}

long ReceiveRaw(PaypalContext *ctx, void *buffer, size_t capacity) {
    for (;;) {
        const int w = SocketWait(ctx, POLLIN);
        if (w == 0) {
            PostWaitTimeout(ctx, "read");
            return -1;
        }
        if (w < 0 && errno == ECANCELED) {
            PostCanceled(ctx);
            return -1;
        }
        ssize_t n = w < 0 ? -1 : recv(ctx->socket_fd, buffer, capacity, MSG_DONTWAIT);
        if (n > 0) return static_cast<long>(n);
        if (n == 0) {
            transport_error(ctx, "08001", 0, "read failed (peer shutdown)");
            ctx->failure = TransportFailure::kDropped;
            return -1;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
        transport_error(ctx, "08001", 0, "read failed");
        ctx->failure = TransportFailure::kDropped;
        return -1;
    }
}

void CloseConnection(PaypalContext *ctx) {
    if (ctx->socket_fd < 0) return;
    if (ctx->persistent) {
        PP_TRACE(ctx, kPpTraceDetail, "Skip Close connection (Persisting)");
        return;
    }
    ForceClose(ctx);
}

void ForceClose(PaypalContext *ctx) {
    TlsDrop(ctx);
    if (ctx->socket_fd >= 0) {
        PP_TRACE(ctx, kPpTraceDetail, "Close connection");
        shutdown(ctx->socket_fd, SHUT_RDWR);
        close(ctx->socket_fd);
        ctx->socket_fd = -1;
    }
    ctx->tls_active = 0;
    ctx->rpos = ctx->rlen = 0;
    ctx->persistent = 0;
}
