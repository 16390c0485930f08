// Child-process servers and helpers for the transport tests.
#include "tests/transport/emulator_harness.h"

#include <gtest/gtest.h>
#include <jansson.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

const char *python() {
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

ChildServer start_child(const std::string &script, std::vector<std::string> args) {
    ChildServer child;
    int in_pipe[2], out_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) {
        ADD_FAILURE() << "pipe failed";
        return child;
    }
    args.insert(args.begin(), {python(), script, "--exit-on-eof"});
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        close(in_pipe[1]);
        close(out_pipe[0]);
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    child.pid = pid;
    child.stdin_fd = in_pipe[1];
    std::string text;
    for (;;) {
        pollfd p{out_pipe[0], POLLIN, 0};
        if (poll(&p, 1, 60000) <= 0) break;
        char buf[512];
        ssize_t n = read(out_pipe[0], buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
        if (text.find("READY\n") != std::string::npos) break;
    }
    close(out_pipe[0]);
    std::istringstream lines(text);
    std::string word, value;
    bool ready = false;
    while (lines >> word) {
        if (word == "READY") {
            ready = true;
            continue;
        }
        lines >> value;
        if (word == "PORT") child.port = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
        if (word == "CA") child.ca = value;
        if (word == "LOG") child.log = value;
    }
    if (!ready || child.port == 0) ADD_FAILURE() << "server did not start: " << text;
    return child;
}

}  // namespace

ChildServer StartEmulator(const std::vector<std::string> &args) {
    std::vector<std::string> a = {"--state-dir", CV_TEST_STATE_DIR};
    a.insert(a.end(), args.begin(), args.end());
    return start_child(CV_EMULATOR_PY, a);
}

ChildServer StartProxy(const std::vector<std::string> &args) {
    static int n = 0;
    std::vector<std::string> a = {"--log", std::string(CV_TEST_STATE_DIR) + "/proxy-" +
                                               std::to_string(getpid()) + "-" +
                                               std::to_string(++n) + ".log"};
    a.insert(a.end(), args.begin(), args.end());
    return start_child(CV_PROXY_PY, a);
}

void StopChild(ChildServer &child) {
    if (child.pid <= 0) return;
    kill(child.pid, SIGTERM);
    close(child.stdin_fd);
    int status = 0;
    waitpid(child.pid, &status, 0);
    child.pid = -1;
    // 70: one of the child's request handlers raised (its traceback is on
    // stderr). A fault of the test server must fail the run, not pass for
    // the fault a test expected.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 70) {
        std::fprintf(stderr, "a request handler of the test server raised; failing the run\n");
        std::_Exit(1);
    }
}

std::string ReadFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    // A file that was never written must not read as an empty one.
    if (!f) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<LoggedRequest> ReadRequestLog(const ChildServer &emu) {
    std::vector<LoggedRequest> out;
    std::istringstream lines(ReadFile(emu.log));
    std::string line;
    while (std::getline(lines, line)) {
        json_error_t err;
        json_t *j = json_loads(line.c_str(), 0, &err);
        if (!j) continue;
        LoggedRequest r;
        r.conn = static_cast<int>(json_integer_value(json_object_get(j, "conn")));
        r.method = json_string_value(json_object_get(j, "method"));
        r.path = json_string_value(json_object_get(j, "path"));
        r.query = json_string_value(json_object_get(j, "query"));
        r.raw = json_string_value(json_object_get(j, "raw"));
        json_t *headers = json_object_get(j, "headers");
        for (size_t i = 0; i < json_array_size(headers); ++i) {
            json_t *h = json_array_get(headers, i);
            std::string name = json_string_value(json_array_get(h, 0));
            for (char &c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            r.headers[name] = json_string_value(json_array_get(h, 1));
        }
        json_decref(j);
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> ReadProxyLog(const ChildServer &proxy) {
    std::vector<std::pair<std::string, std::string>> out;
    std::string path = std::string(CV_TEST_STATE_DIR);
    (void)path;
    std::istringstream lines(ReadFile(proxy.log));
    std::string line;
    while (std::getline(lines, line)) {
        json_error_t err;
        json_t *j = json_loads(line.c_str(), 0, &err);
        if (!j) continue;
        out.emplace_back(json_string_value(json_object_get(j, "raw")),
                         json_string_value(json_object_get(j, "verdict")));
        json_decref(j);
    }
    return out;
}

std::string Posted::all() const {
    std::string s;
    for (size_t i = 0; i < messages.size(); ++i) s += sqlstates[i] + " " + messages[i] + "\n";
    return s;
}

void CollectPost(void *owner, void *, const char *sqlstate, int, const char *message) {
    auto *p = static_cast<Posted *>(owner);
    p->sqlstates.emplace_back(sqlstate);
    p->messages.emplace_back(message);
}

void MakeClient(EmuClient &client, const ChildServer &emu, const std::string &host,
                const std::string &secret, const std::string &proxy, const std::string &proxy_user,
                const std::string &proxy_password, bool plain) {
    client.tls = TlsCreateContext();
    ASSERT_TRUE(client.tls);
    // Every client starts as a new process would: with no token shared by
    // an earlier test of this binary (they all run in one process under the
    // sanitizers).
    TokenCacheClear();
    client.ctx = PaypalContextCreate(&client.posted, CollectPost);
    ASSERT_TRUE(client.ctx);
    std::string base =
        std::string(plain ? "http://" : "https://") + host + ":" + std::to_string(emu.port);
    ASSERT_EQ(
        0, PaypalContextConfigure(client.ctx.get(), base.c_str(), proxy.c_str(), proxy_user.c_str(),
                                  proxy_password.c_str(), "emu-client-id", secret.c_str()));
    client.ctx->tls = client.tls.get();
    client.ctx->cert_path = emu.ca;
    client.ctx->timeout_seconds = 10;
}

int EmulatorControl(const ChildServer &emu, const std::string &query, bool plain) {
    EmuClient c;
    MakeClient(c, emu, "127.0.0.1", "emu-client-secret", "", "", "", plain);
    PaypalContext *ctx = c.ctx.get();
    if (OpenConnection(ctx, "127.0.0.1", emu.port, 0, "", 0, "", "") != 0) return -1;
    if (!plain && TlsHandshake(ctx, c.tls.get()) != 0) return -1;
    WebRequestPtr req = NewGetRequest(ctx, "_emulator/control?" + query, 0);
    WebResponsePtr resp;
    if (SendRequest(req.get()) >= 0) resp = ReadResponse(ctx);
    ForceClose(ctx);
    return resp ? resp->status : -1;
}

const ChildServer &SharedEmulator() {
    static ChildServer emu;
    static std::once_flag once;
    std::call_once(once, [] {
        emu = StartEmulator();
        atexit([] { StopChild(emu); });
    });
    return emu;
}
