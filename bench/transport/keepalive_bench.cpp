// Keep-alive benchmark: 2,000 GETs of one invoice page over one kept TLS
// connection through the driver's transport, and the same 2,000 through
// one curl process (keep-alive, --cacert), against the emulator on
// 127.0.0.1. Prints requests per second of each and their ratio; the goal
// is at least 0.9 of curl's rate. Also shows WebExchange, which recycles
// the socket every 100 requests as the driver does.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "transport/transport.h"

namespace {

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
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

const char *kPath = "v2/invoicing/invoices";

}  // namespace

int main() {
    Emulator emu = start_emulator();
    if (emu.port == 0) {
        fprintf(stderr, "emulator did not start\n");
        return 1;
    }
    TlsContextPtr tls = TlsCreateContext();
    PaypalContextPtr ctx = PaypalContextCreate(
        nullptr,
        [](void *, void *, const char *s, int, const char *m) { fprintf(stderr, "[%s] %s\n", s, m); });
    std::string base = "https://127.0.0.1:" + std::to_string(emu.port);
    if (!tls || !ctx ||
        PaypalContextConfigure(ctx.get(), base.c_str(), "", "", "", "emu-client-id",
                               "emu-client-secret") != 0) {
        stop_emulator(emu);
        return 1;
    }
    ctx->tls = tls.get();
    ctx->cert_path = emu.ca;
    std::string reason;
    if (GetAccessToken(ctx.get(), reason, base.c_str()) != 0) {
        fprintf(stderr, "token: %s\n", reason.c_str());
        stop_emulator(emu);
        return 1;
    }
    WebRequestPtr req = NewGetRequest(ctx.get(), kPath, 1);
    AddParameter(req.get(), "page", "1", 0);
    AddParameter(req.get(), "page_size", "20", 0);

    // 1. The transport over one kept TLS connection.
    int failures = 0;
    auto t0 = std::chrono::steady_clock::now();
    if (OpenConnection(ctx.get(), ctx->api_host.c_str(), ctx->api_port, 1, "", 0, "", "") != 0 ||
        TlsHandshake(ctx.get(), tls.get()) != 0) {
        stop_emulator(emu);
        return 1;
    }
    size_t bytes = 0;
    for (int i = 0; i < kRequests; ++i) {
        WebResponsePtr resp;
        if (SendRequest(req.get()) >= 0) resp = ReadResponse(ctx.get());
        if (!resp || resp->status != 200) {
            ++failures;
            break;
        }
        bytes = resp->body.size();
    }
    const double ours = kRequests / seconds_since(t0);
    ForceClose(ctx.get());

    // 2. WebExchange as the driver uses it (token check, recycling).
    auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < kRequests; ++i) {
        WebResponsePtr resp;
        if (WebExchange(req.get(), resp) != 0 || resp->status != 200) {
            ++failures;
            break;
        }
    }
    const double exchange = kRequests / seconds_since(t1);

    // 3. curl: one process, the same URL 2,000 times on one connection.
    std::string url = base + "/" + kPath + "?page=1&page_size=20";
    std::string config =
        std::string(CV_BENCH_STATE_DIR) + "/curl-" + std::to_string(getpid()) + ".cfg";
    {
        std::ofstream cfg(config);
        cfg << "header = \"Authorization: Bearer " << ctx->access_token << "\"\n";
        cfg << "cacert = \"" << emu.ca << "\"\ncompressed\nsilent\nfail\n";
        for (int i = 0; i < kRequests; ++i)
            cfg << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    }
    auto t2 = std::chrono::steady_clock::now();
    std::string cmd = "curl --config " + config;
    int rc = system(cmd.c_str());
    const double curl = kRequests / seconds_since(t2);
    unlink(config.c_str());
    stop_emulator(emu);
    if (rc != 0 || failures) {
        fprintf(stderr, "failed: curl rc %d, transport failures %d\n", rc, failures);
        return 1;
    }
    printf("%d GETs of one %zu-byte invoice page (gzip) over keep-alive TLS on 127.0.0.1\n",
           kRequests, bytes);
    printf("  transport, one connection:   %8.0f requests/s\n", ours);
    printf("  WebExchange, recycling/100:  %8.0f requests/s\n", exchange);
    printf("  curl, one process:           %8.0f requests/s\n", curl);
    printf("  ratio transport / curl:      %8.2f (goal >= 0.90)\n", ours / curl);
    printf("  ratio WebExchange / curl:    %8.2f\n", exchange / curl);
    return 0;
}
