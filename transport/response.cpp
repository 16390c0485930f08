// Reading HTTP/1.1 replies through the context's read buffer: status line
// and headers, bodies by Content-Length, chunked transfer or until close,
// gzip decoding with zlib's raw inflate. Every size is bounded.
#include <strings.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "transport/crc32.h"
#include "transport/http.h"
#include "transport/socket.h"
#include "transport/tls.h"

namespace {

bool starts_with_ci(std::string_view line, std::string_view prefix) {
    return line.size() >= prefix.size() &&
           strncasecmp(line.data(), prefix.data(), prefix.size()) == 0;
}

std::string_view skip_blanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Refills the read buffer: one read call over TLS or the plain socket.
bool fill(PaypalContext *ctx) {
    long n = ctx->ssl ? TlsRead(ctx, ctx->rbuf.data(), ctx->rbuf.size())
                      : ReceiveRaw(ctx, ctx->rbuf.data(), ctx->rbuf.size());
    if (n <= 0) return false;
    ctx->rpos = 0;
    ctx->rlen = static_cast<size_t>(n);
    ctx->rx_total += static_cast<size_t>(n);
    return true;
}

// One line without its line end ('\r' dropped). At most kMaxHeaderLine
// characters are kept; the rest of a longer line is dropped rather than
// read as a header of its own. A line that never ends fails after 64 KiB.
bool read_line(PaypalContext *ctx, std::string &line) {
    line.clear();
    size_t seen = 0;
    for (;;) {
        if (ctx->rpos == ctx->rlen && !fill(ctx)) return false;
        const unsigned char *p = ctx->rbuf.data() + ctx->rpos;
        size_t avail = ctx->rlen - ctx->rpos;
        const void *nl = memchr(p, '\n', avail);
        size_t take = nl ? static_cast<size_t>(static_cast<const unsigned char *>(nl) - p) : avail;
        for (size_t i = 0; i < take; ++i) {
            if (p[i] != '\r' && line.size() < kMaxHeaderLine) line += static_cast<char>(p[i]);
        }
        seen += take;
        ctx->rpos += nl ? take + 1 : take;
        if (nl) return true;
        if (seen > 65536) {
            transport_error(ctx, "08001", 0, "Reply header line longer than %d bytes", 65536);
            return false;
        }
    }
}

bool read_exact(PaypalContext *ctx, char *dst, size_t n) {
    while (n > 0) {
        if (ctx->rpos == ctx->rlen) {
            // Large remainders go straight into the body, without the copy.
            if (n >= ctx->rbuf.size()) {
                long got = ctx->ssl ? TlsRead(ctx, dst, n) : ReceiveRaw(ctx, dst, n);
                if (got <= 0) return false;
                ctx->rx_total += static_cast<size_t>(got);
                dst += got;
                n -= static_cast<size_t>(got);
                continue;
            }
            if (!fill(ctx)) return false;
        }
        size_t take = std::min(n, ctx->rlen - ctx->rpos);
        memcpy(dst, ctx->rbuf.data() + ctx->rpos, take);
        ctx->rpos += take;
        dst += take;
        n -= take;
    }
    return true;
}

// Reads until the peer closes, at most kMaxBody bytes.
bool read_to_close(PaypalContext *ctx, std::string &body) {
    const int saved_quiet = ctx->quiet;
    for (;;) {
        if (ctx->rpos < ctx->rlen) {
            body.append(reinterpret_cast<const char *>(ctx->rbuf.data() + ctx->rpos),
                        ctx->rlen - ctx->rpos);
            ctx->rpos = ctx->rlen;
        }
        if (body.size() > kMaxBody) {
            transport_error(ctx, "08001", 0, "Reply body larger than %d bytes", (int)kMaxBody);
            return false;
        }
        ctx->quiet = 1;  // the peer's close ends the body; it is no error
        bool more = fill(ctx);
        ctx->quiet = saved_quiet;
        if (!more) return true;
    }
}

void set_cookie(PaypalContext *ctx, std::string_view value) {
    size_t eq = value.find('=');
    if (eq == std::string_view::npos) return;
    std::string_view name = value.substr(0, eq);
    std::string_view v = value.substr(eq + 1);
    v = v.substr(0, v.find(';'));
    auto &list = ctx->cookies;
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->name == name) {
            if (v.empty()) {
                list.erase(it);
            } else {
                it->value.assign(v);
            }
            return;
        }
    }
    if (v.empty()) return;
    list.insert(list.begin(), Cookie{std::string(name), std::string(v)});
    if (list.size() > kMaxCookies) list.pop_back();
}

bool parse_length(std::string_view v, long long *out) {
    v = skip_blanks(v);
    if (v.empty() || v.size() > 18) return false;
    long long n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    *out = n;
    return true;
}

// Reads a chunked body into `body`. False on a malformed size, a body over
// the cap or a read failure.
bool read_chunked(PaypalContext *ctx, std::string &body) {
    std::string line;
    for (;;) {
        if (!read_line(ctx, line)) return false;
        PP_TRACE(ctx, kPpTraceDetail, "CHUNK: %s", line.c_str());
        std::string_view size_text = skip_blanks(std::string_view(line).substr(0, line.find(';')));
        if (size_text.empty() || size_text.size() > 8) {
            transport_error(ctx, "08001", 0, "Bad chunk size '%s' in reply", line.c_str());
            return false;
        }
        // Hex digits only: strtoul would also take a sign ("-8" becomes a
        // huge size that wraps the limit check below), blanks and "0x".
        size_t size = 0;
        bool digits_ok = true;
        for (char c : size_text) {
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) {
                digits_ok = false;
                break;
            }
            size = size * 16 + static_cast<size_t>(d);  // at most 8 digits: cannot overflow
        }
        if (!digits_ok) {
            transport_error(ctx, "08001", 0, "Bad chunk size '%s' in reply", line.c_str());
            return false;
        }
        if (size == 0) break;
        if (size > kMaxBody - body.size()) {
            transport_error(ctx, "08001", 0, "Reply body larger than %d bytes", (int)kMaxBody);
            return false;
        }
        size_t at = body.size();
        body.resize(at + size);
        // Chunks are not dumped one by one: a secret split across two of
        // them would pass the mask. The whole body is dumped once read.
        if (!read_exact(ctx, body.data() + at, size)) return false;
        if (!read_line(ctx, line)) return false;  // the line end after the data
    }
    // Trailer lines up to the empty line, so that a kept socket starts the
    // next reply clean.
    for (int i = 0; i < kMaxHeaderLines; ++i) {
        if (!read_line(ctx, line)) return false;
        if (line.empty()) break;
    }
    PP_TRACE(ctx, kPpTraceDetail, "Total Data (Chunked): %d", static_cast<int>(body.size()));
    return true;
}

WebResponsePtr read_response(PaypalContext *ctx) {
    PP_TRACE(ctx, kPpTraceDetail, "Reading Response");
    auto resp = std::make_unique<WebResponse>();
    resp->magic = kWebResponseMagic;
    resp->context = ctx;
    std::string line;
    long long length = -1;
    for (;;) {  // 1xx replies are read and skipped
        bool first = true;
        int lines = 0;
        length = -1;
        for (;;) {
            if (!read_line(ctx, line)) {
                PP_TRACE(ctx, kPpTraceDetail,
                         first ? "read line returns before head" : "read line returns %d", 0);
                return nullptr;
            }
            if (line.size() < 2) {
                if (first) continue;
                PP_TRACE(ctx, kPpTraceDetail, "read line returns %d",
                         static_cast<int>(line.size()));
                break;
            }
            PP_TRACE(ctx, kPpTraceContinue, "%s", line.c_str());
            if (!ParseResponseLine(ctx, resp.get(), line, first, &length)) return nullptr;
            first = false;
            if (++lines > kMaxHeaderLines) {
                transport_error(ctx, "08001", 0, "Reply has more than %d header lines",
                                kMaxHeaderLines);
                return nullptr;
            }
        }
        if (resp->status >= 200) break;
        resp = std::make_unique<WebResponse>();
        resp->magic = kWebResponseMagic;
        resp->context = ctx;
    }
    if (ctx->persistent && resp->close) ctx->persistent = 0;
    std::string body;
    if (length >= 1) {
        if (static_cast<unsigned long long>(length) > kMaxBody) {
            transport_error(ctx, "08001", 0, "Reply body of %lld bytes is larger than %d bytes",
                            length, (int)kMaxBody);
            return nullptr;
        }
        if (resp->chunked) ctx->persistent = 0;  // ambiguous framing: do not reuse
        body.resize(static_cast<size_t>(length));
        if (!read_exact(ctx, body.data(), body.size())) return nullptr;
    } else if (resp->chunked) {
        if (!read_chunked(ctx, body)) return nullptr;
    } else if (length < 0 && resp->status != 204 && resp->status != 304) {
        // Neither a length nor chunks: the body runs to the end of the
        // connection, which therefore cannot be kept.
        ctx->persistent = 0;
        if (!read_to_close(ctx, body)) return nullptr;
    }
    if (!resp->gzip || body.empty()) {
        resp->body = std::move(body);
        PP_TRACE_DUMP(ctx, kPpTracePktDump, resp->body.data(), resp->body.size(), "Respose Body");
        return resp;
    }
    PP_TRACE(ctx, kPpTraceDetail, "GZIP data, inflating");
    std::string error;
    if (GunzipBody(body, resp->body, kMaxBody, error) != 0) {
        transport_error(ctx, "08001", 0, "%s", error.c_str());
        return nullptr;
    }
    PP_TRACE_DUMP(ctx, kPpTracePktDump, resp->body.data(), resp->body.size(),
                  "Respose Body (after inflate)");
    return resp;
}

}  // namespace

bool ParseResponseLine(PaypalContext *ctx, WebResponse *resp, std::string_view line, bool first,
                       long long *content_length) {
    if (first) {
        size_t sp = line.find(' ');
        if (line.size() < 5 || !starts_with_ci(line, "HTTP") || sp == std::string_view::npos) {
            transport_error(ctx, "08001", 0, "Reply does not start with an HTTP status line");
            return false;
        }
        std::string_view rest = line.substr(sp + 1);
        int status = 0;
        size_t i = 0;
        while (i < rest.size() && i < 3 && rest[i] >= '0' && rest[i] <= '9') {
            status = status * 10 + (rest[i] - '0');
            ++i;
        }
        if (i != 3 || status < 100) {
            transport_error(ctx, "08001", 0, "Reply does not start with an HTTP status line");
            return false;
        }
        resp->status = status;
        size_t sp2 = rest.find(' ');
        resp->reason.assign(sp2 == std::string_view::npos ? "" : rest.substr(sp2 + 1));
        return true;
    }
    auto value_of = [&](size_t name_len) { return skip_blanks(line.substr(name_len)); };
    if (line.size() > 13 && starts_with_ci(line, "Content-Type:")) {
        std::string_view v = value_of(13);
        resp->content_kind = starts_with_ci(v, "application/json") ? kContentJson
                             : starts_with_ci(v, "text/html")      ? kContentHtml
                             : starts_with_ci(v, "text/xml")       ? kContentXml
                                                                   : kContentOther;
    } else if (line.size() >= 16 && starts_with_ci(line, "Content-Length:")) {
        long long n;
        if (!parse_length(value_of(15), &n) || (*content_length >= 0 && *content_length != n)) {
            transport_error(ctx, "08001", 0, "Bad Content-Length in reply");
            return false;
        }
        *content_length = n;
    } else if (line.size() >= 19 && starts_with_ci(line, "Transfer-Encoding:")) {
        if (starts_with_ci(value_of(18), "chunked")) resp->chunked = true;
    } else if (line.size() >= 16 && starts_with_ci(line, "Connection:")) {
        if (starts_with_ci(value_of(11), "close")) resp->close = true;
    } else if (line.size() >= 11 && starts_with_ci(line, "Location:")) {
        resp->location.assign(value_of(9));
    } else if (line.size() > 21 && starts_with_ci(line, "Content-Encoding:")) {
        if (value_of(17) == "gzip") resp->gzip = true;
    } else if (line.size() > 12 && starts_with_ci(line, "Set-Cookie:")) {
        set_cookie(ctx, value_of(11));
    } else if (starts_with_ci(line, "Retry-After:")) {
        resp->retry_after.assign(value_of(12));
    }
    return true;
}

int GunzipBody(std::string_view in, std::string &out, size_t cap, std::string &error) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
    if (in.size() < 18 || byte(0) != 0x1F || byte(1) != 0x8B || byte(2) != 0x08) {
        char text[64];
        snprintf(text, sizeof text, "Incorrect gzip header %x,%x,%x", in.size() > 0 ? byte(0) : 0,
                 in.size() > 1 ? byte(1) : 0, in.size() > 2 ? byte(2) : 0);
        error = text;
        return -1;
    }
    const unsigned flags = byte(3);
    size_t pos = 10;
    const size_t end = in.size() - 8;  // the trailer: CRC-32 and size
    if (flags & 4) {
        if (pos + 2 > end) {
            error = "Incorrect gzip header (extra field)";
            return -1;
        }
        size_t xlen = byte(pos) | (byte(pos + 1) << 8);
        pos += 2 + xlen;
    }
    for (unsigned bit : {8u, 16u}) {
        if (!(flags & bit)) continue;
        while (pos < end && in[pos] != '\0') ++pos;
        ++pos;
    }
    if (flags & 2) pos += 2;
    if (pos > end) {
        error = "Incorrect gzip header (fields past the data)";
        return -1;
    }
    const uint32_t crc_want = byte(end) | (byte(end + 1) << 8) | (byte(end + 2) << 16) |
                              (static_cast<uint32_t>(byte(end + 3)) << 24);
    const uint32_t size_want = byte(end + 4) | (byte(end + 5) << 8) | (byte(end + 6) << 16) |
                               (static_cast<uint32_t>(byte(end + 7)) << 24);
    z_stream zs{};
    int rc = inflateInit2(&zs, -15);
    if (rc != Z_OK) {
        error = "inflateInit2 return " + std::to_string(rc);
        return -1;
    }
    out.clear();
    // The announced size is the peer's claim: it only sizes the first
    // allocation, never beyond the cap.
    out.resize(std::min<size_t>({std::max<size_t>(size_want, 1024), cap, size_t{1} << 20}));
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data() + pos));
    zs.avail_in = static_cast<uInt>(end - pos);
    size_t produced = 0;
    for (;;) {
        if (produced == out.size()) {
            if (out.size() >= cap) {
                inflateEnd(&zs);
                error = "Reply body larger than " + std::to_string(cap) + " bytes after inflating";
                return -1;
            }
            out.resize(std::min(cap, out.size() * 2));
        }
        zs.next_out = reinterpret_cast<Bytef *>(out.data() + produced);
        zs.avail_out = static_cast<uInt>(out.size() - produced);
        rc = inflate(&zs, Z_NO_FLUSH);
        produced = out.size() - zs.avail_out;
        if (rc == Z_STREAM_END) break;
        if (rc == Z_OK) continue;
        if (rc == Z_BUF_ERROR && zs.avail_out == 0) continue;
        inflateEnd(&zs);
        error = "inflate return " + std::to_string(rc);
        return -1;
    }
    rc = inflateEnd(&zs);
    if (rc != Z_OK) {
        error = "inflateEnd return " + std::to_string(rc);
        return -1;
    }
    out.resize(produced);
    const uint32_t crc = gzip_crc32(out.data(), out.size());
    if (crc != crc_want || static_cast<uint32_t>(out.size()) != size_want) {
        error = "gzip body fails its check sum";
        return -1;
    }
    return 0;
}

WebResponsePtr ReadResponse(PaypalContext *ctx) {
    try {
        return read_response(ctx);
    } catch (const std::bad_alloc &) {
        transport_error(ctx, "HY001", 0, "Memory allocation error");
        return nullptr;
    }
}
