// The transport's connection record and its shared rules.
//
// Contract: one PaypalContext per PayPal connection (magic 27216, its trace
// head first) owns the socket, the TLS session, the token and the trace
// state; one thread at a time drives its exchanges, serialised by
// `request_lock`. Every failure anywhere in the transport goes through
// transport_error: its text lands in `last_error` and the trace log, and is
// posted (masked) through `post` with the exchange's requester as target,
// unless `quiet`. Return codes: 0 success; kTransportConnectFailed (-3) for
// connecting and the proxy tunnel; kTransportTlsFailed (-6) for the
// handshake; -1 for send, receive and token failures. Nothing here throws:
// allocation failures become error returns.
//
// Exports: the kTransport* codes and limits, TransportPostFn,
// TransportClockFn, Cookie, PaypalContext, PaypalContextPtr,
// PaypalContextCreate, transport_error, transport_now, HasControlChar,
// PaypalContextConfigure (context.cpp).
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "transport/paypal_trace.h"

constexpr int kTransportOk = 0;
constexpr int kTransportIoFailed = -1;
constexpr int kTransportConnectFailed = -3;
constexpr int kTransportTlsFailed = -6;

constexpr int kDefaultTimeoutSeconds = 60;
constexpr int kPersistSeconds = 360;       // lifetime of a direct persistent socket
constexpr int kRecycleRequests = 100;      // requests per persistent socket
constexpr int kRecycleSeconds = 30;        // seconds per persistent socket
constexpr int kTokenEarlySeconds = 30;     // renew this long before expiry
constexpr size_t kMaxHeaderLine = 1023;    // characters kept of one header line
constexpr int kMaxHeaderLines = 256;       // header lines of one reply
constexpr size_t kMaxBody = 64u << 20;     // bytes of one body, before and after gzip
constexpr size_t kMaxRequestHead = 65536;  // bytes of a request before its body
constexpr size_t kMaxCookies = 64;
constexpr size_t kReadBufferSize = 16384;
constexpr int kDefaultRetries = 5;            // retries of one request (`retries`)
constexpr int kDefaultRetryWaitSeconds = 120;  // total wait of a statement (`retry_wait`)

// How the latest failure came about, for the retry policy (retry.h).
enum class TransportFailure : int32_t {
    kNone = 0,
    kOther = 1,    // refused, malformed, verification, ...: never retried
    kConnect = 2,  // no connection was made: the request never left
    kDropped = 3,  // the connection broke before the reply was complete
    kTimeout = 4,  // the deadline passed
};

// A diagnostic held back while another try of the request may follow.
struct HeldDiag {
    std::string sqlstate;
    int native;
    std::string message;
};

// Receives every transport diagnostic: the context's owner, the handle of
// the exchange's requester (null outside an exchange or when it named none),
// SQLSTATE, native code, message.
using TransportPostFn = void (*)(void *owner, void *target, const char *sqlstate, int native,
                                 const char *message);
// The clock of token expiry, recycling and the cache (seconds); tests set it.
using TransportClockFn = int64_t (*)();

struct TlsContext;
struct ResponseCache;

struct Cookie {
    std::string name;
    std::string value;
};

struct PaypalContext {
    PaypalTraceHead trace;              // magic 27216, mask, trace lock, log file, secrets
    void *owner;                        // receives diagnostics through post
    TransportPostFn post;               // null: diagnostics only in last_error
    int socket_fd;                      // -1 when closed
    std::recursive_mutex request_lock;  // one exchange at a time (token renewal nests)
    char last_error[1024];              // text of the latest transport error
    SSL *ssl;                           // TLS session on socket_fd, or null
    TlsContext *tls;                    // borrowed from the environment; null: no TLS
    int32_t persistent;                 // the open socket may be kept after a request
    int32_t tls_active;                 // the handshake on this socket is done
    int64_t persist_deadline;           // direct sockets: opened + kPersistSeconds
    std::string entropy_file;           // `entropy`: seeds the generator when set
    std::string cert_path;              // `cert`: CA file or directory
    int32_t accept_compression;         // ask for gzip replies
    int timeout_seconds;                // connect, send and receive time-out
    // The whole-request deadline (connect, proxy, TLS, request, full reply),
    // under request_lock: monotonic milliseconds, 0 when none runs.
    int64_t deadline_ms;
    int deadline_seconds;        // its length, for messages
    int32_t deadline_limited;    // a login or query time-out set it (HYT00)
    void *diag_target;           // the running exchange's requester, under request_lock
    // The running exchange's cancel flag (SQLCancel from another thread),
    // under request_lock; every socket wait looks at it. Null between them.
    const std::atomic<int32_t> *cancel;
    const std::atomic<int32_t> *stop;   // the running exchange's owner is closing; may be null
    TransportClockFn clock;             // null: time()
    // Where requests go (split from the base URL) and how.
    std::string base_url;
    std::string api_host;
    int api_port;
    int32_t secure;
    std::string proxy_host;  // empty: direct
    int proxy_port;
    std::string proxy_user, proxy_password;
    std::string client_id, client_secret;
    // Token state.
    std::string access_token, token_type;
    int64_t token_expiry;         // receipt + expires_in - 30
    int32_t use_counter;          // requests left on the persistent socket
    int64_t recycle_deadline;     // recycle the persistent socket after this
    std::vector<Cookie> cookies;  // kept, never sent
    ResponseCache *cache;         // borrowed from the environment, or null
    // The open socket and its reader.
    std::string peer_host;  // host the socket (or tunnel) leads to
    int peer_port;
    int32_t reused;                   // the last OpenConnection reused an open socket
    int32_t quiet;                    // errors go to last_error and the trace only
    int32_t holding;                  // errors are kept in `held` until the exchange's outcome
    std::vector<HeldDiag> held;       // diagnostics held back while retrying
    TransportFailure failure;         // kind of the latest error (set after transport_error)
    int32_t request_sent;             // bytes of the current request went out
    int retry_limit;                  // `retries`: tries after the first (0: none)
    int retry_wait_seconds;           // `retry_wait`: total wait of a statement's retries
    std::vector<unsigned char> rbuf;  // bytes read ahead (kReadBufferSize)
    size_t rpos, rlen;                // unread bytes are rbuf[rpos, rlen)
    size_t rx_total;                  // bytes received since the last send
};

struct PaypalContextDeleter {
    void operator()(PaypalContext *ctx) const;
};
using PaypalContextPtr = std::unique_ptr<PaypalContext, PaypalContextDeleter>;

// ---- context.cpp -------------------------------------------------------
/// Makes a context with socket closed, time-out 60 s, compression accepted.
/// Null when memory is short. Diagnostics go to post(owner, ...).
[[nodiscard]] PaypalContextPtr PaypalContextCreate(void *owner, TransportPostFn post);
/// Records a transport error: formats it into last_error, traces it at
/// ERROR level and posts it with `sqlstate` (unless ctx->quiet; held in
/// ctx->held while ctx->holding). Sets ctx->failure to kOther: callers that
/// know better set it after the call.
void transport_error(PaypalContext *ctx, const char *sqlstate, int native, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
/// Posts (or, while holding, keeps) one diagnostic, masked by the trace.
void transport_post(PaypalContext *ctx, const char *sqlstate, int native, const char *message);
/// Posts every held diagnostic and stops holding; DropHeld drops them.
void PostHeld(PaypalContext *ctx);
void DropHeld(PaypalContext *ctx);
/// The context's clock (seconds).
[[nodiscard]] int64_t transport_now(const PaypalContext *ctx);
/// True when `text` holds a byte below 0x20 or 0x7F, which no request line
/// or header may carry.
[[nodiscard]] bool HasControlChar(std::string_view text);
/// Sets the target (base URL, already split), proxy and credentials used by
/// the token request and WebExchange, registering secrets with the trace.
/// Refuses (posting why, returning -1): a base URL that does not parse
/// ("Unable to extract host from url"), an http:// base URL whose host is not
/// a loopback address, and control characters in the proxy user, proxy
/// password, client id or secret. Returns 0 otherwise.
[[nodiscard]] int PaypalContextConfigure(PaypalContext *ctx, const char *base_url,
                                         const char *proxy_url, const char *proxy_user,
                                         const char *proxy_password, const char *client_id,
                                         const char *client_secret);
