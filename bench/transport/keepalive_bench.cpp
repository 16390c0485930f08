// Keep-alive benchmark: client CPU per GET of one invoice page over one kept
// TLS connection to the emulator on 127.0.0.1.
//
// Both clients run in this process and the emulator in its own, so the
// process CPU clock counts only client work (TLS, HTTP framing, gzip), not
// the time both sides spend waiting on the Python server. Measured, each
// after a warm-up: the transport on one connection; WebExchange as the
// driver uses it (token check, socket recycled every 100 requests); libcurl
// on one easy handle (keep-alive, gzip, the same CA); and the floor: the
// transport's reply reader on the same reply bytes with no socket or TLS.
// Prints CPU microseconds per request and the ratios.
#include <curl/curl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>

#include "transport/transport.h"

namespace {

constexpr int kWarmup = 200;
constexpr int kRequests = 2000;

struct Emulator {
    pid_t pid = -1;
    int stdin_fd = -1;
    int port = 0;
    std::string ca;
};

Emulator start_emulator() {
    Emulator emu;
    int in_pipe[2], out_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) return emu;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        const char *py = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        execlp(py, py, CV_EMULATOR_PY, "--state-dir", CV_BENCH_STATE_DIR, "--exit-on-eof",
               static_cast<char *>(nullptr));
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    emu.pid = pid;
    emu.stdin_fd = in_pipe[1];
    std::string text;
    char buf[512];
    for (;;) {
        pollfd p{out_pipe[0], POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0) break;
        ssize_t n = read(out_pipe[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
        if (text.find("READY\n") != std::string::npos) break;
    }
    close(out_pipe[0]);
    std::istringstream in(text);
    std::string word, value;
    while (in >> word) {
        if (word == "READY") continue;
        in >> value;
        if (word == "PORT") emu.port = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
        if (word == "CA") emu.ca = value;
    }
    return emu;
}

void stop_emulator(Emulator &emu) {
    if (emu.pid <= 0) return;
    kill(emu.pid, SIGTERM);
    close(emu.stdin_fd);
    int status;
    waitpid(emu.pid, &status, 0);
    emu.pid = -1;
}

// CPU seconds this process has used (every thread).
double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

const char *kPath = "v2/invoicing/invoices";

// --- libcurl on one easy handle
size_t sink(char *, size_t size, size_t n, void *out) {
    *static_cast<size_t *>(out) += size * n;
    return size * n;
}

size_t keep_bytes(char *data, size_t size, size_t n, void *out) {
    static_cast<std::string *>(out)->append(data, size * n);
    return size * n;
}

struct Curl {
    CURL *handle = nullptr;
    curl_slist *headers = nullptr;
    ~Curl() {
        curl_slist_free_all(headers);
        if (handle) curl_easy_cleanup(handle);
    }
};

bool curl_setup(Curl &c, const std::string &url, const std::string &token, const std::string &ca) {
    c.handle = curl_easy_init();
    if (!c.handle) return false;
    c.headers = curl_slist_append(nullptr, ("Authorization: Bearer " + token).c_str());
    curl_easy_setopt(c.handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c.handle, CURLOPT_HTTPHEADER, c.headers);
    curl_easy_setopt(c.handle, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(c.handle, CURLOPT_NOSIGNAL, 1L);
    return true;
}

// `count` GETs; false at the first failure.
bool curl_run(Curl &c, int count) {
    size_t bytes = 0;
    curl_easy_setopt(c.handle, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(c.handle, CURLOPT_WRITEFUNCTION, sink);
    curl_easy_setopt(c.handle, CURLOPT_WRITEDATA, &bytes);
    for (int i = 0; i < count; ++i) {
        long status = 0;
        if (curl_easy_perform(c.handle) != CURLE_OK) return false;
        curl_easy_getinfo(c.handle, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) return false;
    }
    return bytes > 0;
}

// The reply exactly as the server sent it (head and still-compressed body):
// asking for gzip by header leaves the body undecoded.
bool curl_raw_reply(Curl &c, std::string &raw) {
    std::string head, body;
    curl_slist *headers = curl_slist_append(nullptr, "Accept-Encoding: gzip");
    for (curl_slist *h = c.headers; h; h = h->next) headers = curl_slist_append(headers, h->data);
    curl_easy_setopt(c.handle, CURLOPT_ACCEPT_ENCODING, nullptr);
    curl_easy_setopt(c.handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c.handle, CURLOPT_HEADERFUNCTION, keep_bytes);
    curl_easy_setopt(c.handle, CURLOPT_HEADERDATA, &head);
    curl_easy_setopt(c.handle, CURLOPT_WRITEFUNCTION, keep_bytes);
    curl_easy_setopt(c.handle, CURLOPT_WRITEDATA, &body);
    CURLcode rc = curl_easy_perform(c.handle);
    curl_easy_setopt(c.handle, CURLOPT_HTTPHEADER, c.headers);
    curl_easy_setopt(c.handle, CURLOPT_HEADERFUNCTION, nullptr);
    curl_slist_free_all(headers);
    raw = head + body;
    return rc == CURLE_OK && head.find("Content-Encoding: gzip") != std::string::npos;
}

// --- the transport
bool transport_run(PaypalContext *ctx, WebRequest *req, int count, size_t *bytes) {
    for (int i = 0; i < count; ++i) {
        WebResponsePtr resp;
        if (SendRequest(req) >= 0) resp = ReadResponse(ctx);
        if (!resp || resp->status != 200) return false;
        *bytes = resp->body.size();
    }
    return true;
}

bool exchange_run(WebRequest *req, int count) {
    for (int i = 0; i < count; ++i) {
        WebResponsePtr resp;
        if (WebExchange(req, resp) != 0 || !resp || resp->status != 200) return false;
    }
    return true;
}

// The reply reader on canned bytes: no socket (every read past them fails).
bool parse_run(PaypalContext *ctx, const std::string &raw, int count) {
    for (int i = 0; i < count; ++i) {
        ctx->rbuf.assign(raw.begin(), raw.end());
        ctx->rpos = 0;
        ctx->rlen = raw.size();
        ctx->socket_fd = -1;
        ctx->persistent = 1;
        WebResponsePtr resp = ReadResponse(ctx);
        if (!resp || resp->status != 200 || resp->body.empty()) return false;
    }
    return true;
}

}  // namespace

int main() {
    Emulator emu = start_emulator();
    if (emu.port == 0) {
        fprintf(stderr, "emulator did not start\n");
        return 1;
    }
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
    TlsContextPtr tls = TlsCreateContext();
    PaypalContextPtr ctx = PaypalContextCreate(
        nullptr,
        [](void *, void *, const char *s, int, const char *m) { fprintf(stderr, "[%s] %s\n", s, m); });
    std::string base = "https://127.0.0.1:" + std::to_string(emu.port);
    std::string reason;
    int failed = 0;
    if (!tls || !ctx ||
        PaypalContextConfigure(ctx.get(), base.c_str(), "", "", "", "emu-client-id", "emu-client-secret") != 0)
        failed = 1;
    if (!failed) {
        ctx->tls = tls.get();
        ctx->cert_path = emu.ca;
        if (GetAccessToken(ctx.get(), reason, base.c_str()) != 0) {
            fprintf(stderr, "token: %s\n", reason.c_str());
            failed = 1;
        }
    }
    if (failed) {
        stop_emulator(emu);
        return 1;
    }
    WebRequestPtr req = NewGetRequest(ctx.get(), kPath, 1);
    AddParameter(req.get(), "page", "1", 0);
    AddParameter(req.get(), "page_size", "20", 0);

    // 1. The transport over one kept TLS connection.
    size_t bytes = 0;
    bool ok = OpenConnection(ctx.get(), ctx->api_host.c_str(), ctx->api_port, 1, "", 0, "", "") == 0 &&
              TlsHandshake(ctx.get(), tls.get()) == 0 && transport_run(ctx.get(), req.get(), kWarmup, &bytes);
    double t = cpu_seconds();
    ok = ok && transport_run(ctx.get(), req.get(), kRequests, &bytes);
    const double ours = cpu_seconds() - t;
    ForceClose(ctx.get());

    // 2. WebExchange as the driver uses it.
    ok = ok && exchange_run(req.get(), kWarmup);
    t = cpu_seconds();
    ok = ok && exchange_run(req.get(), kRequests);
    const double exchange = cpu_seconds() - t;
    ForceClose(ctx.get());

    // 3. libcurl, one easy handle kept alive.
    Curl curl;
    std::string raw;
    const std::string url = base + "/" + kPath + "?page=1&page_size=20";
    ok = ok && curl_setup(curl, url, ctx->access_token, emu.ca) && curl_raw_reply(curl, raw) &&
         curl_run(curl, kWarmup);
    t = cpu_seconds();
    ok = ok && curl_run(curl, kRequests);
    const double libcurl = cpu_seconds() - t;

    // 4. The floor: reading the same reply bytes without a connection.
    PaypalContextPtr quiet = PaypalContextCreate(nullptr, [](void *, void *, const char *, int, const char *) {});
    ok = ok && quiet && parse_run(quiet.get(), raw, kWarmup);
    t = cpu_seconds();
    ok = ok && parse_run(quiet.get(), raw, kRequests);
    const double parse = cpu_seconds() - t;

    stop_emulator(emu);
    curl_global_cleanup();
    if (!ok) {
        fprintf(stderr, "a request failed\n");
        return 1;
    }
    auto per = [](double s) { return s / kRequests * 1e6; };
    printf("client CPU per GET of one %zu-byte invoice page (%zu bytes gzip on the wire), keep-alive TLS,\n"
           "%d requests after %d of warm-up\n",
           bytes, raw.size(), kRequests, kWarmup);
    printf("  transport, one connection:     %8.1f us\n", per(ours));
    printf("  WebExchange, recycling/100:    %8.1f us\n", per(exchange));
    printf("  libcurl, one easy handle:      %8.1f us\n", per(libcurl));
    printf("  reply reader on the same bytes:%8.1f us\n", per(parse));
    printf("  ratio transport / libcurl:     %8.2f (goal <= 1.10)\n", ours / libcurl);
    printf("  ratio WebExchange / libcurl:   %8.2f\n", exchange / libcurl);
    printf("  ratio transport / reader:      %8.2f (what TLS and the socket add)\n", ours / parse);
    return 0;
}
