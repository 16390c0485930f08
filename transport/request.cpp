// HTTP/1.1 requests: the request record, its parameters and headers, the
// two request builders and sending the text in one write.
#include <jansson.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "transport/http.h"
#include "transport/tls.h"
#include "transport/url.h"

namespace {

// Any control character could end or split a request line or header.
bool has_line_break(std::string_view s) {
    return HasControlChar(s);
}

std::string host_header(const PaypalContext *ctx) {
    std::string host = ctx->api_host;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    // The port belongs in Host whenever it is not the scheme's default.
    int default_port = ctx->secure ? 443 : 80;
    if (ctx->api_port != default_port) host += ":" + std::to_string(ctx->api_port);
    return host;
}

WebRequestPtr new_request(PaypalContext *ctx, std::string_view path, int query_mode,
                          HttpMethod method) {
    try {
        auto req = std::make_unique<WebRequest>();
        req->idempotent = method == HttpMethod::GET;
        req->magic = kWebRequestMagic;
        req->trace = &ctx->trace;
        req->context = ctx;
        while (!path.empty() && path.front() == '/') path.remove_prefix(1);
        req->url = ctx->base_url;
        if (req->url.empty() || req->url.back() != '/') req->url += '/';
        req->url.append(path);
        req->host = host_header(ctx);
        req->method = method;
        req->query_mode = query_mode;
        return req;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

const char *HttpMethodName(HttpMethod m) {
    switch (m) {
        case HttpMethod::POST:
            return "POST";
        case HttpMethod::PUT:
            return "PUT";
        case HttpMethod::PATCH:
            return "PATCH";
        case HttpMethod::DELETE_:
            return "DELETE";
        case HttpMethod::GET:
            break;
    }
    return "GET";
}

WebRequestPtr NewGetRequest(PaypalContext *ctx, std::string_view path, int query_mode) {
    return new_request(ctx, path, query_mode, HttpMethod::GET);
}
WebRequestPtr NewPostRequest(PaypalContext *ctx, std::string_view path, int query_mode) {
    return new_request(ctx, path, query_mode, HttpMethod::POST);
}
WebRequestPtr NewPatchRequest(PaypalContext *ctx, std::string_view path, int query_mode) {
    return new_request(ctx, path, query_mode, HttpMethod::PATCH);
}
WebRequestPtr NewDeleteRequest(PaypalContext *ctx, std::string_view path, int query_mode) {
    return new_request(ctx, path, query_mode, HttpMethod::DELETE_);
}

WebRequestPtr NewTokenRequest(PaypalContext *ctx, std::string_view url, std::string_view host) {
    WebRequestPtr req = new_request(ctx, "", 1, HttpMethod::POST);
    if (!req) return req;
    req->idempotent = true;  // asking for a token again changes nothing
    try {
        req->url.assign(url);
        req->host.assign(host);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    return req;
}

void AddParameter(WebRequest *req, std::string_view name, std::string_view value, int omit) {
    for (WebParam &p : req->params) {
        if (same_name(p.name, name)) {
            p.value.assign(value);
            p.omit = omit;
            return;
        }
    }
    req->params.insert(req->params.begin(), WebParam{std::string(name), std::string(value), omit});
}

void AddHeader(WebRequest *req, std::string_view name, std::string_view value) {
    for (auto &h : req->headers) {
        if (same_name(h.first, name)) {
            h.second.assign(value);
            return;
        }
    }
    req->headers.insert(req->headers.begin(), {std::string(name), std::string(value)});
}

int SetBody(WebRequest *req, const json_t *value) {
    // Written by jansson straight into the request's buffer: nothing jansson
    // allocates is handed back to us to free (its allocator is whatever the
    // application set, never ours to assume).
    const size_t size = json_dumpb(value, nullptr, 0, JSON_ENCODE_ANY);
    if (size == 0) return -1;
    try {
        req->body.resize(size);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    if (json_dumpb(value, req->body.data(), size, JSON_ENCODE_ANY) != size) {
        req->body.clear();
        return -1;
    }
    req->has_body = true;
    return 0;
}

void SetBodyText(WebRequest *req, std::string_view text) {
    req->body.assign(text);
    req->has_body = true;
}

void SetAuthorization(WebRequest *req, std::string_view token, std::string_view scheme) {
    req->auth_token.assign(token);
    req->auth_scheme.assign(scheme);
}

std::string QueryText(const WebRequest *req) {
    std::vector<const WebParam *> sorted;
    for (const WebParam &p : req->params) {
        if (!p.omit) sorted.push_back(&p);
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const WebParam *a, const WebParam *b) { return a->name < b->name; });
    std::string out;
    for (const WebParam *p : sorted) {
        if (!out.empty()) out += '&';
        out += UrlEncode(p->name);
        out += '=';
        out += UrlEncode(p->value);
    }
    return out;
}

std::string_view PathPart(std::string_view url) {
    if (url.substr(0, 8) == "https://")
        url.remove_prefix(8);
    else if (url.substr(0, 7) == "http://")
        url.remove_prefix(7);
    size_t slash = url.find('/');
    // Without a path the request goes to the root.
    return slash == std::string_view::npos ? std::string_view("/") : url.substr(slash);
}

int BuildRequestText(WebRequest *req, std::string &out) {
    PaypalContext *ctx = req->context;
    std::string_view path = PathPart(req->url);
    if (path.find(' ') != std::string_view::npos || has_line_break(path) ||
        has_line_break(req->host)) {
        return -1;
    }
    for (const auto &h : req->headers) {
        if (has_line_break(h.first) || has_line_break(h.second) || h.first.empty() ||
            h.first.find(':') != std::string::npos) {
            return -1;
        }
    }
    // Parameters are percent-encoded, but a control character in a filter
    // value is a mistake the user should hear about, not a silent %0D.
    for (const WebParam &p : req->params) {
        if (has_line_break(p.name) || has_line_break(p.value)) return -1;
    }
    std::string scheme = req->auth_scheme, token = req->auth_token;
    if (token.empty() && !ctx->token_type.empty() && !ctx->access_token.empty()) {
        scheme = ctx->token_type;
        token = ctx->access_token;
    }
    if (has_line_break(scheme) || has_line_break(token)) return -1;
    const bool first_builder =
        req->query_mode && (req->method == HttpMethod::GET || req->method == HttpMethod::POST);
    const char *name = HttpMethodName(req->method);
    // A request on a socket that is kept open must not ask the server to
    // close it: that would cost a new connection and handshake per page.
    req->says_close = !ctx->persistent;
    out.clear();
    out.reserve(1024 + req->body.size());
    auto line = [&out](std::string_view a, std::string_view b = {}) {
        out.append(a);
        out.append(b);
        out.append("\r\n");
    };
    if (first_builder) {
        std::string query = QueryText(req);
        out.append(name).append(" ").append(path);
        if (!query.empty()) out.append("?").append(query);
        out.append(" HTTP/1.1\r\n");
        line("Host: ", req->host);
        line("User-Agent: cvhttp/1.0");
        if (ctx->accept_compression) line("Accept-Encoding: gzip");
        if (!token.empty()) line("Authorization: " + scheme + " ", token);
        if (req->has_body) line("Content-Type: application/json");
        line("Content-Length: ", std::to_string(req->has_body ? req->body.size() : 0));
        line("Accept: */*");
        if (req->says_close) line("Connection: close");
        for (const auto &h : req->headers) line(h.first + ": ", h.second);
    } else {
        out.append(name).append(" ").append(path).append(" HTTP/1.1\r\n");
        line("Host: ", req->host);
        line("User-Agent: cvhttp/1.0");
        for (const auto &h : req->headers) line(h.first + ": ", h.second);
        if (req->has_body) {
            line("Content-Type: application/json");
            line("Content-Length: ", std::to_string(req->body.size()));
        } else {
            line("Content-Length: 0");
        }
        line("Accept: application/json");
        if (ctx->accept_compression) line("Accept-Encoding: gzip");
        if (!token.empty()) line("Authorization: " + scheme + " ", token);
        if (req->says_close) line("Connection: close");
    }
    out.append("\r\n");
    if (out.size() > kMaxRequestHead) return -1;
    if (req->has_body) out.append(req->body);
    return 0;
}

long SendRequest(WebRequest *req) {
    PaypalContext *ctx = req->context;
    std::string text;
    try {
        if (BuildRequestText(req, text) != 0) {
            transport_error(ctx, "HY000", 0,
                            "Request for '%s' cannot be sent: too long, or a header or "
                            "parameter holds a control character (such as a line break)",
                            req->url.c_str());
            return kTransportIoFailed;
        }
    } catch (const std::bad_alloc &) {
        transport_error(ctx, "HY001", 0, "Memory allocation error");
        return kTransportIoFailed;
    }
    // Bytes left unread from an earlier reply belong to nothing now.
    ctx->rpos = ctx->rlen = 0;
    ctx->rx_total = 0;
    if (ctx->ssl) {
        PP_TRACE_DUMP(req, kPpTracePktDump, text.data(), text.size(), "Send Request (SSL)");
    } else {
        PP_TRACE_DUMP(req, kPpTracePktDump, text.data(), text.size(), "Send Request");
    }
    // From here on the request may have reached the server, even when the
    // write fails part way.
    ctx->request_sent = 1;
    return TlsWrite(ctx, text.data(), text.size());
}
