// Test harness: starts the PayPal emulator or the test proxy as a child
// process on 127.0.0.1, reads the port it picked, and stops it again. Also
// reads the emulator's request log and sends it control requests, and
// collects the diagnostics a context posts.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "transport/transport.h"

struct ChildServer {
    pid_t pid = -1;
    int stdin_fd = -1;  // closing it stops the child (--exit-on-eof)
    int port = 0;
    std::string ca;   // CA certificate (emulator over TLS)
    std::string log;  // request log
};

/// Starts tools/emulator/paypal_emulator.py with `args` (plus the shared
/// state directory). Fails the current test when it does not report READY.
ChildServer StartEmulator(const std::vector<std::string> &args = {});
/// Starts tools/emulator/test_proxy.py with `args`.
ChildServer StartProxy(const std::vector<std::string> &args = {});
/// Stops the child and waits for it.
void StopChild(ChildServer &child);

/// One logged request of the emulator.
struct LoggedRequest {
    int conn;
    std::string method, path, query, raw;
    std::map<std::string, std::string> headers;  // lower-case names
};
std::vector<LoggedRequest> ReadRequestLog(const ChildServer &emu);
/// Lines of the proxy's log (raw CONNECT text and verdict).
std::vector<std::pair<std::string, std::string>> ReadProxyLog(const ChildServer &proxy);

/// Sends "/_emulator/control?<query>" to the emulator (over TLS unless
/// `plain`). Returns the HTTP status, or -1.
int EmulatorControl(const ChildServer &emu, const std::string &query, bool plain = false);

/// Collects what a context posts.
struct Posted {
    std::vector<std::string> sqlstates, messages;
    std::string all() const;
};
void CollectPost(void *owner, void *target, const char *sqlstate, int native, const char *message);

/// A context set up for the emulator: base URL https://<host>:<port>, CA of
/// the emulator, default client credentials; the process's token cache is
/// emptied first. The TLS context is owned by the
/// caller and must outlive the context.
struct EmuClient {
    Posted posted;
    TlsContextPtr tls;
    PaypalContextPtr ctx;
};
void MakeClient(EmuClient &client, const ChildServer &emu, const std::string &host = "127.0.0.1",
                const std::string &secret = "emu-client-secret", const std::string &proxy = "",
                const std::string &proxy_user = "", const std::string &proxy_password = "",
                bool plain = false);

/// The default emulator of the test binary (started on first use, stopped
/// at exit).
const ChildServer &SharedEmulator();
/// Reads a whole file.
std::string ReadFile(const std::string &path);
