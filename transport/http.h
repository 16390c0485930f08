// The HTTP layer: requests and replies over the socket or TLS session,
// PayPal's error replies, and WebExchange, one locked exchange.
//
// Contract: a request is sent in one write only when no header, parameter
// or path holds a control character and its head fits kMaxRequestHead; a
// reply is read with every size bounded (header lines, header count, body
// before and after gzip). A WebRequest (magic 27217) refers to its context
// and is kept by a scan across pages; a WebResponse (magic 27218) is freed
// by its reader. WebExchange holds the request lock from EnsureToken to the
// end of the reply and posts its failures on the request's `diag_owner`.
//
// Exports: HttpMethod, WebParam, WebRequest, WebRequestPtr, kContent*,
// WebResponse, WebResponsePtr, the request builders, AddParameter,
// AddHeader, SetBody, SetBodyText, SetAuthorization, QueryText, PathPart,
// BuildRequestText, SendRequest (request.cpp); ReadResponse, GunzipBody,
// ParseResponseLine (response.cpp); ErrorInfo, DecodeError,
// FormatErrorInfo, ErrorReplyText (error_reply.cpp); WebExchange
// (exchange.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "transport/context.h"

enum class HttpMethod : int32_t { GET = 0, POST = 1, PUT = 2, PATCH = 3, DELETE_ = 4 };

/// The method's name as it goes on the request line ("GET", "POST", ...).
[[nodiscard]] const char *HttpMethodName(HttpMethod m);

struct RequestGate;  // transport/pool.h

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
    bool idempotent;         // may be repeated: GETs, the token request, and changes whose API
                             // honours their PayPal-Request-Id (set by the change's builder)
    const std::atomic<int32_t> *cancel;  // set (by SQLCancel) to end a retry wait; may be null
    const std::atomic<int32_t> *stop;    // set when the request's owner closes (page workers); may be null
    int64_t waited_ms;       // retry waits so far, across the pages of a scan
    int retries;             // retries so far, across the pages of a scan (each page has
                             // its own `retries` limit)
    RequestGate *gate;       // shared by requests sent side by side: a retry wait pauses them all (null: none)
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

struct ErrorInfo {
    std::string code, message, detail;  // detail empty: none
};

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
/// when it is not to be kept. A request that fails before any reply byte on
/// a reused keep-alive socket (not by a time-out, for a change) is sent once
/// more on a new socket, whatever its method, unless it is a POST whose API
/// does not honour its PayPal-Request-Id (`idempotent` unset). Returns 0 with
/// `out` set, -1 after posting "Failed to obtain Paypal auth token" (HY000)
/// when the token could not be renewed, or the failing step's code (its
/// diagnostics posted, on req->diag_owner when set, and the text in
/// req->error). The whole exchange, token renewal included, runs within
/// one deadline (DeadlineBegin with req->time_limit_seconds).
[[nodiscard]] int WebExchange(WebRequest *req, WebResponsePtr &out);
