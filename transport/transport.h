// The web transport: one PayPal connection's socket, proxy tunnel, TLS
// session, HTTP/1.1 exchanges, reply cache and OAuth2 token.
//
// Records:
//   PaypalContext  one per PayPal connection (magic 27216); owns the socket,
//                  the TLS session, the token and the trace state.
//   TlsContext     one per PayPal environment: the verifying SSL_CTX.
//   WebRequest     one request (magic 27217), kept by a scan across pages.
//   WebResponse    one reply (magic 27218), freed by its reader.
//   ResponseCache  one per PayPal environment: recent GET bodies.
//
// Return codes: 0 success; kTransportConnectFailed (-3) for connecting and
// the proxy tunnel; kTransportTlsFailed (-6) for the handshake; -1 for send,
// receive and token failures. Every failure has been posted through the
// context's `post` callback (SQLSTATE "08001" unless noted) and its text is
// in `last_error`. Nothing here throws: allocation failures become error
// returns.
//
// Threads: one context is used by one thread at a time for its exchanges,
// serialised by `request_lock`; the cache and the TlsContext have their own
// locks and may be shared.
//
// Exports: see the declarations below, grouped by file: context.cpp, url.cpp,
// socket.cpp, proxy.cpp, tls.cpp, request.cpp, response.cpp, cache.cpp,
// oauth.cpp, error_reply.cpp, exchange.cpp.
#pragma once

#include <openssl/ssl.h>

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sqi/paypal_trace.h"

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

// Receives every transport diagnostic: the context's owner, the handle of
// the exchange's requester (null outside an exchange or when it named none),
// SQLSTATE, native code, message.
using TransportPostFn = void (*)(void *owner, void *target, const char *sqlstate, int native,
                                 const char *message);
// The clock of token expiry, recycling and the cache (seconds); tests set it.
using TransportClockFn = int64_t (*)();

struct TlsContext {
    SSL_CTX *ctx;             // verifying client context, TLS 1.2 or later
    std::mutex lock;          // guards loading of CA locations
    std::string loaded_cert;  // CA location loaded into ctx (empty: system store)
    bool cert_loaded;         // loaded_cert has been applied
};

struct TlsContextDeleter {
    void operator()(TlsContext *tls) const;
};
using TlsContextPtr = std::unique_ptr<TlsContext, TlsContextDeleter>;

struct CacheEntry {
    std::string key;   // CacheKey text
    std::string body;  // reply body
    int64_t stored;    // clock time of storing
    int uses;          // lookups not yet released
    bool stale;        // to be removed when no longer used
};

struct ResponseCache {
    std::mutex lock;
    int lifetime;                   // seconds; 0 turns the cache off
    int flush_on_update;            // flush after a successful change
    TransportClockFn clock;         // null: time()
    std::list<CacheEntry> entries;  // newest first
    size_t bytes;                   // sum of body sizes (bounded)
};

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
    std::vector<unsigned char> rbuf;  // bytes read ahead (kReadBufferSize)
    size_t rpos, rlen;                // unread bytes are rbuf[rpos, rlen)
    size_t rx_total;                  // bytes received since the last send
};

struct PaypalContextDeleter {
    void operator()(PaypalContext *ctx) const;
};
using PaypalContextPtr = std::unique_ptr<PaypalContext, PaypalContextDeleter>;

enum class HttpMethod : int32_t { GET = 0, POST = 1, PUT = 2, PATCH = 3, DELETE_ = 4 };

struct WebParam {
    std::string name, value;
    int omit;
};

struct WebRequest {
    int32_t magic;           // kWebRequestMagic
    PaypalTraceHead *trace;  // &context->trace, for the trace log
    PaypalContext *context;
    std::string url;   // full URL
    std::string host;  // Host header value
    HttpMethod method;
    int32_t query_mode;            // parameters go into the query (first builder)
    std::vector<WebParam> params;  // newest first
    std::vector<std::pair<std::string, std::string>> headers;  // newest first
    std::string body;
    bool has_body;
    std::string auth_scheme, auth_token;  // this request's own Authorization
    bool says_close;                      // the built text carries "Connection: close"
    void *diag_owner;        // diagnostics of its exchange go to this handle (null: owner)
    int time_limit_seconds;  // bounds the whole exchange when > 0 (query time-out)
    std::string error;       // the exchange's failure text, copied under the lock
};
using WebRequestPtr = std::unique_ptr<WebRequest>;

constexpr int32_t kContentOther = 0;
constexpr int32_t kContentHtml = 1;
constexpr int32_t kContentXml = 2;
constexpr int32_t kContentJson = 3;

struct WebResponse {
    int32_t magic;  // kWebResponseMagic
    PaypalContext *context;
    int32_t status;
    std::string reason;
    int32_t content_kind;  // kContent*
    std::string body;      // decoded body (std::string keeps a NUL after it)
    std::string location;
    std::string retry_after;  // Retry-After value, when sent
    bool close;               // Connection: close
    bool chunked;
    bool gzip;
};
using WebResponsePtr = std::unique_ptr<WebResponse>;

struct ParsedUrl {
    std::string host;
    int port;          // 443 / 80 or the explicit port
    int32_t secure;    // https
    std::string path;  // without leading and trailing '/'; empty: none
};

struct ErrorInfo {
    std::string code, message, detail;  // detail empty: none
};

// ---- context.cpp -------------------------------------------------------
/// Makes a context with socket closed, time-out 60 s, compression accepted.
/// Null when memory is short. Diagnostics go to post(owner, ...).
[[nodiscard]] PaypalContextPtr PaypalContextCreate(void *owner, TransportPostFn post);
/// Records a transport error: formats it into last_error, traces it at
/// ERROR level and posts it with `sqlstate` (unless ctx->quiet).
void transport_error(PaypalContext *ctx, const char *sqlstate, int native, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
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

// ---- url.cpp -----------------------------------------------------------
/// Splits "http[s]://host[:port][/path]" into `out`. Returns 0, or -1 when
/// the scheme is missing, the host empty or the port not 1..65535.
[[nodiscard]] int ParseUrl(std::string_view url, ParsedUrl *out);
/// Percent-encodes every byte except A-Z a-z 0-9 - . _ ~ ("%2F" style).
[[nodiscard]] std::string UrlEncode(std::string_view text);
/// The path of one object: the endpoint with its "%s" replaced by the
/// encoded key, or "endpoint/encoded key". The key can never add a path
/// segment, a query or a fragment.
[[nodiscard]] std::string EndpointWithKey(std::string_view endpoint, std::string_view key);
/// True for "localhost", 127.0.0.0/8 and ::1: the only hosts plain http
/// may reach.
[[nodiscard]] bool IsLoopbackHost(std::string_view host);
/// Standard Base64 without line breaks.
[[nodiscard]] std::string Base64Encode(std::string_view bytes);

// ---- socket.cpp --------------------------------------------------------
/// Opens (or reuses) the socket to host:port, through the proxy when
/// `proxy_host` is non-empty. 0 or -3.
[[nodiscard]] int OpenConnection(PaypalContext *ctx, const char *host, int port, int persistent,
                                 const char *proxy_host, int proxy_port, const char *proxy_user,
                                 const char *proxy_password);
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
/// Milliseconds the next wait on the socket may last: the socket time-out,
/// cut to what is left of the deadline; 0 when the deadline has passed.
[[nodiscard]] int WaitLimitMs(const PaypalContext *ctx);
/// Sets the socket's receive and send time-outs to WaitLimitMs. False
/// (errno ETIMEDOUT) when the deadline has passed.
[[nodiscard]] bool ArmSocketWait(PaypalContext *ctx);
/// True when a deadline runs and has passed.
[[nodiscard]] bool DeadlinePassed(const PaypalContext *ctx);
/// Posts the failure of a wait that ended without data: the deadline's
/// time-out (HYT00 for a login or query time-out, HYT01 otherwise) when it
/// has passed, else "<what> failed (no reply within N seconds)".
void PostWaitTimeout(PaypalContext *ctx, const char *what);

// ---- proxy.cpp ---------------------------------------------------------
/// Opens a CONNECT tunnel to host:port through the proxy, answering a 407
/// Basic or Digest challenge. 0 or -3.
[[nodiscard]] int ProxyConnect(PaypalContext *ctx, const char *host, int port, int persistent,
                               const char *proxy_host, int proxy_port, const char *user,
                               const char *password);

// ---- digest.cpp --------------------------------------------------------
struct DigestChallenge {
    std::string realm, nonce, qop, algorithm, opaque;
    bool stale;
};
/// Parses the parameters of a Digest challenge (the text after "Digest").
[[nodiscard]] DigestChallenge ParseDigestChallenge(std::string_view params);
/// Builds the "Proxy-Authorization: Digest ..." value (without the header
/// name and line end) for CONNECT `uri`. `cnonce` is the client nonce (hex).
/// Returns 0, or -1 with `error` set to the failure text ("unknown
/// algorithm" / "unknown qop").
[[nodiscard]] int DigestAuthorization(const DigestChallenge &ch, std::string_view user,
                                      std::string_view password, std::string_view uri,
                                      std::string_view cnonce, std::string_view body_407,
                                      std::string &out, std::string &error);

// ---- tls.cpp -----------------------------------------------------------
/// The environment's TLS context: peer verification on, TLS 1.2 at least,
/// system CA store unless a connection names `cert`. Null on failure.
[[nodiscard]] TlsContextPtr TlsCreateContext();
/// Handshake on the open socket, verifying the certificate chain and the
/// host name (and sending it as SNI). 0 or -6 (the caller force-closes).
[[nodiscard]] int TlsHandshake(PaypalContext *ctx, TlsContext *tls);
/// Reads or writes over the TLS session, or plainly without one.
[[nodiscard]] long TlsRead(PaypalContext *ctx, void *buffer, size_t size);
[[nodiscard]] long TlsWrite(PaypalContext *ctx, const void *bytes, size_t length);
/// Ends the TLS session unless the socket is persistent.
void TlsEnd(PaypalContext *ctx);
/// Ends the TLS session always (before a forced close).
void TlsDrop(PaypalContext *ctx);
/// The error text of a certificate verification result, or null when the
/// value is not one the driver names.
[[nodiscard]] const char *TlsVerifyErrorText(long result);

// ---- request.cpp -------------------------------------------------------
/// New requests for `path` under the context's base URL. Null when memory is
/// short.
[[nodiscard]] WebRequestPtr NewGetRequest(PaypalContext *ctx, std::string_view path,
                                          int query_mode);
[[nodiscard]] WebRequestPtr NewPostRequest(PaypalContext *ctx, std::string_view path,
                                           int query_mode);
[[nodiscard]] WebRequestPtr NewPatchRequest(PaypalContext *ctx, std::string_view path,
                                            int query_mode);
[[nodiscard]] WebRequestPtr NewDeleteRequest(PaypalContext *ctx, std::string_view path,
                                             int query_mode);
/// A POST in query mode to the full `url` with Host `host` (the token request).
[[nodiscard]] WebRequestPtr NewTokenRequest(PaypalContext *ctx, std::string_view url,
                                            std::string_view host);
/// Adds or replaces (name compared without case) a query parameter / header.
void AddParameter(WebRequest *req, std::string_view name, std::string_view value, int omit);
void AddHeader(WebRequest *req, std::string_view name, std::string_view value);
/// Sets the body from a JSON value (serialised with JSON_ENCODE_ANY); -1
/// when it cannot be serialised. SetBodyText takes the text as it is.
[[nodiscard]] int SetBody(WebRequest *req, const struct json_t *value);
void SetBodyText(WebRequest *req, std::string_view text);
void SetAuthorization(WebRequest *req, std::string_view token, std::string_view scheme);
/// The query text: parameters sorted by name, encoded, joined by '&'.
[[nodiscard]] std::string QueryText(const WebRequest *req);
/// The URL without its scheme, from the first '/' on.
[[nodiscard]] std::string_view PathPart(std::string_view url);
/// Builds the request text (head and body) as it goes on the wire. 0, or
/// -1 when the head would exceed kMaxRequestHead or a value holds CR/LF.
[[nodiscard]] int BuildRequestText(WebRequest *req, std::string &out);
/// Builds and sends the request in one write. Bytes sent or a negative code.
[[nodiscard]] long SendRequest(WebRequest *req);

// ---- response.cpp ------------------------------------------------------
/// Reads one reply from the socket: header, body (Content-Length, chunked,
/// or until close), gzip decoding. Null when there is no usable reply (the
/// reason was posted and the socket must be force-closed).
[[nodiscard]] WebResponsePtr ReadResponse(PaypalContext *ctx);
/// Decodes a gzip member (header checks, raw inflate, size cap). 0, or -1
/// with `error` set.
[[nodiscard]] int GunzipBody(std::string_view in, std::string &out, size_t cap, std::string &error);
/// Parses one header line into `resp` (status line or header); used by
/// ReadResponse and the fuzz target. Returns false for a status line that
/// does not parse.
bool ParseResponseLine(PaypalContext *ctx, WebResponse *resp, std::string_view line, bool first,
                       long long *content_length);

// ---- cache.cpp ---------------------------------------------------------
/// Writes the cache key of `req` into `out`; returns the query text length.
size_t CacheKey(const WebRequest *req, std::string &out);
/// Finds a fresh entry with exactly `key`; its use count rises and `body`
/// points at its bytes until CacheRelease. 1 found, 0 not.
[[nodiscard]] int CacheLookup(ResponseCache *cache, std::string_view key, const std::string **body);
/// Ages the entries and stores a copy of `body` under `key`.
void CacheStore(ResponseCache *cache, std::string_view key, std::string_view body);
/// Gives back a body from CacheLookup.
void CacheRelease(ResponseCache *cache, const std::string *body);
/// Drops every entry (entries in use become stale).
void CacheFlush(ResponseCache *cache);

// ---- oauth.cpp ---------------------------------------------------------
/// Obtains a token with the client-credentials grant over a fresh socket.
/// 0, or -1 with `reason` set (possibly empty when the handshake failed;
/// the handshake's own diagnostics were posted).
/// `limit_seconds` (> 0) bounds the whole request, as the login time-out.
[[nodiscard]] int GetAccessToken(PaypalContext *ctx, std::string &reason, const char *base_url,
                                 int limit_seconds = 0);
/// Before each REST request: renews an expired token and recycles the
/// persistent socket after 100 requests or 30 seconds. 0 or -1.
[[nodiscard]] int EnsureToken(PaypalContext *ctx);

// ---- error_reply.cpp ---------------------------------------------------
/// Decodes a PayPal error reply (OAuth "error"/"error_description" or REST
/// "name"/"message"/"details"). 0, or -1 when a JSON reply does not parse.
[[nodiscard]] int DecodeError(const WebResponse *resp, ErrorInfo *out);
/// "Error <code: message: detail>" or "Error <code: message>".
[[nodiscard]] std::string FormatErrorInfo(const ErrorInfo &info);
/// The text to post for an error reply: FormatErrorInfo of the decoded
/// reply, or, when a JSON reply does not parse, "Error <return code %d:
/// %s>" with the status and reason, so that every reply gives a message.
[[nodiscard]] std::string ErrorReplyText(const WebResponse *resp);

// ---- exchange.cpp ------------------------------------------------------
/// One REST exchange under the request lock: EnsureToken, connect (through
/// the proxy when set), TLS handshake, send, read, and closing the socket
/// when it is not to be kept. A GET that fails before any reply byte on a
/// reused keep-alive socket is retried once on a new socket. Returns 0 with
/// `out` set, -1 after posting "Failed to obtain Paypal auth token" (HY000)
/// when the token could not be renewed, or the failing step's code (its
/// diagnostics posted, on req->diag_owner when set, and the text in
/// req->error). The whole exchange, token renewal included, runs within
/// one deadline (DeadlineBegin with req->time_limit_seconds).
[[nodiscard]] int WebExchange(WebRequest *req, WebResponsePtr &out);
