// Reading replies: canned bytes written into a socket pair and read back
// through ReadResponse, one table row per case.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <thread>

#include "tests/transport/emulator_harness.h"
#include "transport/crc32.h"

namespace {

std::string gzip_of(const std::string &text) {
    z_stream zs{};
    EXPECT_EQ(Z_OK, deflateInit2(&zs, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY));
    std::string out(text.size() + 128, '\0');
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    zs.avail_in = static_cast<uInt>(text.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(Z_STREAM_END, deflate(&zs, Z_FINISH));
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

struct Pair {
    Posted posted;
    PaypalContextPtr ctx;
    int peer = -1;
    std::thread writer;
    explicit Pair(std::string bytes) {
        int sv[2];
        EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, sv));
        ctx = PaypalContextCreate(&posted, CollectPost);
        ctx->socket_fd = sv[0];
        peer = sv[1];
        writer = std::thread([fd = peer, b = std::move(bytes)] {
            size_t off = 0;
            while (off < b.size()) {
                ssize_t n = send(fd, b.data() + off, b.size() - off, MSG_NOSIGNAL);
                if (n <= 0) break;
                off += static_cast<size_t>(n);
            }
            shutdown(fd, SHUT_WR);
        });
    }
    ~Pair() {
        writer.join();
        close(peer);
    }
};

const std::string kJson = "{\"items\": [1, 2, 3]}";

}  // namespace

TEST(ReadResponseTest, FramingsAndHeaders) {
    std::string gz = gzip_of(kJson);
    std::string gz_bad = gz;
    gz_bad[2] = 0x09;
    struct Case {
        const char *name;
        std::string bytes;
        bool ok;
        int status;
        std::string body;
        int kind;
    } cases[] = {
        {"length",
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 20\r\n\r\n" + kJson,
         true, 200, kJson, kContentJson},
        {"blank lines first", "\r\n\r\nHTTP/1.1 201 Created\r\ncontent-length: 2\r\n\r\nhi", true,
         201, "hi", kContentOther},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6;x=y\r\n "
         "world\r\n0\r\nTrailer: 1\r\n\r\n",
         true, 200, "hello world", kContentOther},
        {"length wins over chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\nabc", true, 200,
         "abc", kContentOther},
        {"gzip",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
             std::to_string(gz.size()) + "\r\n\r\n" + gz,
         true, 200, kJson, kContentOther},
        {"gzip upper case is not decoded",
         "HTTP/1.1 200 OK\r\nCONTENT-ENCODING: GZIP\r\nContent-Length: " +
             std::to_string(gz.size()) + "\r\n\r\n" + gz,
         true, 200, gz, kContentOther},
        {"gzip chunked",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
             [&] {
                 char b[16];
                 snprintf(b, sizeof b, "%zx", gz.size());
                 return std::string(b);
             }() +
             "\r\n" + gz + "\r\n0\r\n\r\n",
         true, 200, kJson, kContentOther},
        {"gzip header 1F 8B 09",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
             std::to_string(gz_bad.size()) + "\r\n\r\n" + gz_bad,
         false, 0, "", 0},
        {"gzip garbage",
         "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 30\r\n\r\n" +
             std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + std::string(20, '\xff'),
         false, 0, "", 0},
        {"until close", "HTTP/1.0 200 OK\r\n\r\nrest of it", true, 200, "rest of it",
         kContentOther},
        {"empty 204", "HTTP/1.1 204 No Content\r\n\r\n", true, 204, "", kContentOther},
        {"100 continue first",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx", true, 200,
         "x", kContentOther},
        {"truncated length", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort", false, 0, "", 0},
        {"truncated chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n40\r\n{\"items\"", false, 0, "", 0},
        {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n{}", false, 0, "",
         0},
        {"huge chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFF\r\nab", false,
         0, "", 0},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab", false,
         0, "", 0},
        // A signed size must not wrap the body limit (found by fuzzing: a heap overrun).
        {"negative chunk size",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8\r\nabcdefgh\r\n-8\r\n" + std::string(64, 'x'),
         false, 0, "", 0},
        {"chunk size with 0x", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0x2\r\nab\r\n0\r\n\r\n",
         false, 0, "", 0},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
         false, 0, "", 0},
        {"not http", "SSH-2.0-OpenSSH\r\n\r\n", false, 0, "", 0},
        {"nothing", "", false, 0, "", 0},
        {"endless header line", "HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'a'), false, 0, "",
         0},
    };
    for (Case &c : cases) {
        Pair p(c.bytes);
        WebResponsePtr r = ReadResponse(p.ctx.get());
        ASSERT_EQ(c.ok, r != nullptr) << c.name << "\n" << p.posted.all();
        if (!r) {
            EXPECT_FALSE(p.posted.messages.empty()) << c.name;
            continue;
        }
        EXPECT_EQ(c.status, r->status) << c.name;
        EXPECT_EQ(c.body, r->body) << c.name;
        EXPECT_EQ(c.kind, r->content_kind) << c.name;
    }
}

TEST(ReadResponseTest, OverlongHeaderLineIsCutNotSplit) {
    // The part past 1023 characters must not be read as a header of its own.
    std::string line = "X-Long: " + std::string(1015, 'a') + "Content-Length: 5";
    Pair p("HTTP/1.1 200 OK\r\n" + line + "\r\nContent-Length: 2\r\n\r\nok");
    WebResponsePtr r = ReadResponse(p.ctx.get());
    ASSERT_TRUE(r);
    EXPECT_EQ("ok", r->body);
}

TEST(ReadResponseTest, CookiesReasonLocationAndClose) {
    Pair p(
        "HTTP/1.1 302 Found It\r\nSet-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n"
        "Set-Cookie: a=; Max-Age=0\r\nLocation: https://x/y\r\nConnection: close\r\n"
        "Retry-After: 7\r\nContent-Length: 0\r\n\r\n");
    p.ctx->persistent = 1;
    WebResponsePtr r = ReadResponse(p.ctx.get());
    ASSERT_TRUE(r);
    EXPECT_EQ(302, r->status);
    EXPECT_EQ("Found It", r->reason);
    EXPECT_EQ("https://x/y", r->location);
    EXPECT_EQ("7", r->retry_after);
    EXPECT_TRUE(r->close);
    EXPECT_EQ(0, p.ctx->persistent);
    ASSERT_EQ(1u, p.ctx->cookies.size());
    EXPECT_EQ("b", p.ctx->cookies[0].name);
}

// The trailer's CRC as zlib computes it, for every length around the
// 64-byte steps and 16-byte tails of the folded path and for long bodies.
TEST(GunzipTest, CrcMatchesZlibAtEveryLength) {
    std::string bytes(70000, '\0');
    uint32_t seed = 12345;
    for (char &c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    const size_t lengths[] = {0, 1, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 191, 192, 255, 1000, 4097, 65536, 70000};
    for (size_t offset : {0, 1, 7}) {
        for (size_t n : lengths) {
            if (offset + n > bytes.size()) continue;
            const auto *p = reinterpret_cast<const Bytef *>(bytes.data() + offset);
            EXPECT_EQ(gzip_crc32(p, n), static_cast<uint32_t>(crc32_z(0, p, n))) << n << " bytes at " << offset;
        }
    }
    const std::string zeros(4096, '\0'), ones(4096, '\xff');
    EXPECT_EQ(gzip_crc32(zeros.data(), zeros.size()), crc32_z(0, reinterpret_cast<const Bytef *>(zeros.data()), 4096));
    EXPECT_EQ(gzip_crc32(ones.data(), ones.size()), crc32_z(0, reinterpret_cast<const Bytef *>(ones.data()), 4096));
}

TEST(GunzipTest, BoundedBySizeCap) {
    std::string big(1 << 20, 'x');
    std::string gz = gzip_of(big), out, error;
    EXPECT_EQ(0, GunzipBody(gz, out, 2 << 20, error));
    EXPECT_EQ(big, out);
    EXPECT_EQ(-1, GunzipBody(gz, out, 64 << 10, error));
    EXPECT_NE(std::string::npos, error.find("larger than"));
    std::string corrupt = gz;
    corrupt[corrupt.size() - 6] ^= 1;  // the stored size no longer matches
    EXPECT_EQ(-1, GunzipBody(corrupt, out, 2 << 20, error));
}
