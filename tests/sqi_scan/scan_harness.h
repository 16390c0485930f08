// Test harness for PayPal scans: starts the emulator (plain HTTP on
// loopback, or HTTPS with its own CA), connects a PayPal provider environment to it and runs scans
// through the provider slots, reading the emulator's request log.
//
// Exports: Emulator, ScanEnv, Cond, emulator(), posted_messages().
#pragma once

#include <jansson.h>

#include <string>
#include <vector>

#include "dal/provider.h"
#include "support/value.h"
#include "sqi/catalog.h"
#include "sqi/scan.h"
#include "sqi/session.h"

struct CvPool;

struct Emulator {
    int pid = -1;
    int port = 0;
    bool tls = false;     // set before start: serve HTTPS (connections then verify ca_path)
    std::string ca_path;  // the CA of an HTTPS emulator
    std::string log_path;
    std::string base_url() const {
        return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port);
    }
    bool start(const std::vector<std::string> &extra);
    void stop();
    /// Every logged request (method, path, query, headers), oldest first.
    std::vector<json_t *> requests() const;  // caller json_decref's each
    /// The last logged request's path and query as "path?query" (or path).
    std::string last_request_line() const;
    /// The header `name` of the last logged request, or "<none>".
    std::string last_header(const char *name) const;
    size_t request_count() const;
    /// How many logged requests went to `path` (no query), e.g. the transaction search.
    size_t request_count(const char *path) const;
    void clear_log() const;
};

/// "YYYY-MM-DD HH:MM:SS" (UTC) of a Unix time: the form a Cond on a TIMESTAMP column takes.
std::string cond_time(int64_t seconds);

/// A shared emulator, started once per test binary on first use. Tests whose
/// requests change the emulator's objects use an instance of their own (1),
/// so that the rows other tests read stay as they were.
constexpr int kEmulatorInstances = 2;
Emulator &emulator(int instance = 0);

/// Messages posted through the DAL callback since the last clear.
std::vector<std::string> &posted_messages();

// One restriction of a scan: column name, operator, value.
struct Cond {
    std::string column;
    int op;
    std::string text;      // character value, unless is_ts / is_int
    bool is_ts = false;    // text is "YYYY-MM-DD HH:MM:SS": a timestamp value
    bool is_int = false;
};

// A provider environment connected to the emulator, with one iterator.
struct ScanEnv {
    CvPool *pool = nullptr;
    void *env = nullptr;
    PaypalIterator *it = nullptr;
    ~ScanEnv();
    /// Connects with extra "k=v;" attributes to `emu` (default: the shared
    /// emulator). True on success.
    bool connect(const std::string &extra = "", const Emulator *emu = nullptr);
    /// SQIStartQuery on `table` with `conds`.
    int start(const char *table, const std::vector<Cond> &conds = {});
    int next();
    /// Column `name` of the current row as character text ("<NULL>" for NULL).
    std::string text(const char *name, SQLLEN capacity = 4096);
    /// The 1-based number of column `name` of the scanned table.
    int column_number(const char *name) const;
    /// Rows of the scan (SQINextRow until no data); -1 on error.
    int count_rows();
};
