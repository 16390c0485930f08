// Fuzz target: an HTTP reply as the server would send it, read by
// ReadResponse (status line, headers, Content-Length, chunks, gzip) from the
// context's read buffer with no socket behind it; also the gzip decoder on
// the raw bytes.
#include <cstdint>
#include <cstring>

#include "transport/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static TransportPostFn quiet = [](void *, void *, const char *, int, const char *) {};
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, quiet);
    if (!ctx) return 0;
    ctx->rbuf.assign(data, data + size);
    if (ctx->rbuf.empty()) ctx->rbuf.resize(1);
    ctx->rpos = 0;
    ctx->rlen = size;
    ctx->socket_fd = -1;  // every read past the input fails
    ctx->persistent = 1;
    WebResponsePtr resp = ReadResponse(ctx.get());
    if (resp && resp->body.size() > kMaxBody) __builtin_trap();
    std::string out, error;
    (void)GunzipBody(std::string_view(reinterpret_cast<const char *>(data), size), out, 1 << 20,
                     error);
    return 0;
}
