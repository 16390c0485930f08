// Pages fetched in parallel against the emulator with a reply latency: the
// rows and their order against a page-by-page scan, faults retried with
// every request paused, early closes, the date windows of the transaction
// search, and the trace of the concurrent requests; over HTTPS, the TLS
// sessions each scan opens (the workers' connections kept for the next
// scan, reopened when the server closed them, closed at disconnect). Run
// under TSan too.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <cstdlib>
#include <set>
#include <sstream>

#include "scan_harness.h"
#include "sqi/windows.h"

namespace {

const char *kPlans = "/v1/billing/plans";
const char *kSearch = "/v1/reporting/transactions";
constexpr int64_t kDay = 86400;

// 1,000 plans: 50 pages of 20.
Emulator &plans_emulator() {
    static Emulator emu;
    static const bool started = [] {
        if (!emu.start({"--plans", "1000"})) emu.port = 0;
        atexit([] { emu.stop(); });
        return true;
    }();
    (void)started;
    return emu;
}

// 40 plans over HTTPS: 2, 3 or 20 pages as max_num says. Replies wait
// 100 ms, far longer than a worker takes to start, so that every worker
// started gets a request of its own.
Emulator &tls_emulator() {
    static Emulator emu;
    static const bool started = [] {
        emu.tls = true;
        if (!emu.start({"--plans", "40", "--latency-ms", "100"})) emu.port = 0;
        atexit([] { emu.stop(); });
        return true;
    }();
    (void)started;
    return emu;
}

// How often `what` occurs in the file `path` from byte `from` on.
size_t occurrences(const std::string &path, const std::string &what, size_t from = 0) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    size_t n = 0;
    for (size_t at = text.find(what, from); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

size_t file_size(const std::string &path) {
    std::ifstream in(path, std::ios::ate);
    return in ? static_cast<size_t>(in.tellg()) : 0;
}

// Sockets this process holds open.
int open_sockets() {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d) return -1;
    while (dirent *e = readdir(d)) {
        char link[64];
        const std::string path = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t len = readlink(path.c_str(), link, sizeof link - 1);
        if (len > 0 && std::string(link, static_cast<size_t>(len)).rfind("socket:", 0) == 0) ++n;
    }
    closedir(d);
    return n;
}

struct Logged {
    double time;
    int64_t conn;
    std::string path;
    std::map<std::string, std::string> params;
};

std::map<std::string, std::string> params_of(const std::string &query) {
    std::map<std::string, std::string> out;
    std::stringstream in(query);
    std::string pair;
    while (std::getline(in, pair, '&')) {
        size_t eq = pair.find('=');
        if (eq != std::string::npos) out[pair.substr(0, eq)] = pair.substr(eq + 1);
    }
    return out;
}

// The logged requests to `path`, in the order `emu` received them.
std::vector<Logged> logged(const char *path, const Emulator &emu = plans_emulator()) {
    std::vector<Logged> out;
    for (json_t *j : emu.requests()) {
        if (std::string(json_string_value(json_object_get(j, "path"))) == path)
            out.push_back({json_real_value(json_object_get(j, "time")), json_integer_value(json_object_get(j, "conn")),
                           path, params_of(json_string_value(json_object_get(j, "query")))});
        json_decref(j);
    }
    return out;
}

// The connections of `log` (each a TLS session on an HTTPS emulator).
std::set<int64_t> connections_of(const std::vector<Logged> &log) {
    std::set<int64_t> out;
    for (auto &r : log) out.insert(r.conn);
    return out;
}

// A control request to the emulator over the environment's connection.
void control(ScanEnv &s, const std::vector<std::pair<const char *, std::string>> &params) {
    WebRequestPtr req =
        NewGetRequest(static_cast<PaypalEnv *>(s.env)->session->context.get(), "_emulator/control", 1);
    for (auto &[name, value] : params) AddParameter(req.get(), name, value, 0);
    WebResponsePtr resp;
    ASSERT_EQ(WebExchange(req.get(), resp), 0);
    ASSERT_EQ(resp->status, 200);
}

class ParallelScan : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_GT(plans_emulator().port, 0); }
    void TearDown() override {
        ScanEnv c;
        if (c.connect("", &plans_emulator())) control(c, {{"reset", "1"}});
    }
    // Connects with `k` parallel requests and a reply latency of `latency_ms`.
    void open(ScanEnv &s, int k, int latency_ms, const std::string &extra = "") {
        ASSERT_TRUE(s.connect("query_timeout=0;parallel_requests=" + std::to_string(k) + ";" + extra,
                              &plans_emulator()));
        control(s, {{"latency_ms", std::to_string(latency_ms)}});
        posted_messages().clear();
        plans_emulator().clear_log();
    }
    // The plan ids of a whole scan in the order read.
    std::vector<std::string> plan_ids(ScanEnv &s) {
        std::vector<std::string> ids;
        EXPECT_EQ(s.start("Plans"), DAL_OK);
        int rc;
        while ((rc = s.next()) == DAL_OK) ids.push_back(s.text("Id"));
        EXPECT_EQ(rc, DAL_NO_DATA) << (posted_messages().empty() ? "" : posted_messages().back());
        return ids;
    }
    // Each page of the log with the number of times it was asked for.
    static std::map<int, int> page_counts(const std::vector<Logged> &log) {
        std::map<int, int> n;
        for (auto &r : log) ++n[std::stoi(r.params.at("page"))];
        return n;
    }
};

std::vector<std::string> sequential_plan_ids() {
    static std::vector<std::string> ids;
    if (ids.empty()) {
        ScanEnv s;
        if (!s.connect("query_timeout=0;parallel_requests=1", &plans_emulator()) || s.start("Plans") != DAL_OK)
            return ids;
        while (s.next() == DAL_OK) ids.push_back(s.text("Id"));
    }
    return ids;
}

TEST_F(ParallelScan, FiftyPagesGiveTheRowsInTheOrderOfAPageByPageScan) {
    const std::vector<std::string> want = sequential_plan_ids();
    ASSERT_EQ(want.size(), 1000u);
    for (int k : {1, 4, 8}) {
        SCOPED_TRACE("parallel_requests=" + std::to_string(k));
        ScanEnv s;
        open(s, k, 20);
        EXPECT_EQ(plan_ids(s), want);
        EXPECT_TRUE(posted_messages().empty());
        auto log = logged(kPlans);
        std::map<int, int> counts = page_counts(log);
        ASSERT_EQ(counts.size(), 50u);
        for (auto &[page, n] : counts) EXPECT_EQ(n, 1) << "page " << page << " asked for more than once";
        EXPECT_EQ(std::stoi(log.front().params.at("page")), 1) << "the first page comes alone";
        EXPECT_TRUE(logged("/v1/oauth2/token").empty()) << "the extra connections use the connection's token";
        std::set<int64_t> connections;
        for (auto &r : log) connections.insert(r.conn);
        // The first page on the statement's connection, the rest on K others.
        if (k == 1)
            EXPECT_EQ(connections.size(), 1u);
        else
            EXPECT_EQ(connections.size(), static_cast<size_t>(k) + 1);
    }
}

TEST_F(ParallelScan, AFaultOnPage17IsRetriedAndTheRowsStayWhole) {
    const std::vector<std::string> want = sequential_plan_ids();
    for (const char *fault : {"429", "500", "reset"}) {
        SCOPED_TRACE(fault);
        ScanEnv s;
        open(s, 4, 20);
        control(s, {{"fault", fault}, {"count", "1"}, {"path", kPlans}, {"match", "&page=17&"}});
        plans_emulator().clear_log();
        EXPECT_EQ(plan_ids(s), want);
        EXPECT_TRUE(posted_messages().empty()) << posted_messages().front();
        auto log = logged(kPlans);
        std::map<int, int> counts = page_counts(log);
        ASSERT_EQ(counts.size(), 50u);
        for (auto &[page, n] : counts) EXPECT_EQ(n, page == 17 ? 2 : 1) << "page " << page;
        if (std::string(fault) != "429") continue;
        // Retry-After: 2 held back every connection, not only page 17's.
        double refused = 0, retried = 0;
        for (auto &r : log) {
            if (r.params.at("page") != "17") continue;
            (refused == 0 ? refused : retried) = r.time;
        }
        EXPECT_GE(retried - refused, 1.9);
        // A request already on its way when the 429 came may still arrive
        // late on a loaded machine: none may arrive from 1 s on, while
        // every connection waits.
        int during = 0;
        for (auto &r : log)
            if (r.time > refused + 1.0 && r.time < refused + 1.9) ++during;
        EXPECT_EQ(during, 0) << "a request went out while the 429's wait ran";
    }
}

TEST_F(ParallelScan, AFailedPageEndsTheScanWhereAPageByPageScanWould) {
    const std::vector<std::string> want = sequential_plan_ids();
    for (int k : {1, 4}) {
        SCOPED_TRACE("parallel_requests=" + std::to_string(k));
        ScanEnv s;
        open(s, k, 20);
        // A 400 is final: the rows of pages 1 to 16 come, then the error.
        control(s, {{"fault", "400"}, {"count", "1"}, {"path", kPlans}, {"match", "&page=17&"}});
        ASSERT_EQ(s.start("Plans"), DAL_OK);
        std::vector<std::string> got;
        int rc;
        while ((rc = s.next()) == DAL_OK) got.push_back(s.text("Id"));
        EXPECT_EQ(rc, DAL_ERROR);
        EXPECT_EQ(got, std::vector<std::string>(want.begin(), want.begin() + 16 * 20));
        ASSERT_EQ(posted_messages().size(), 1u);
        EXPECT_NE(posted_messages()[0].find("Error <"), std::string::npos) << posted_messages()[0];
        EXPECT_EQ(s.next(), DAL_NO_DATA);
    }
}

TEST_F(ParallelScan, StoppingEarlyWastesAtMostKMinusOneRequests) {
    for (int k : {4, 8}) {
        SCOPED_TRACE("parallel_requests=" + std::to_string(k));
        ScanEnv s;
        open(s, k, 20, "max_num=10");
        // One row needs one request.
        ASSERT_EQ(s.start("Plans"), DAL_OK);
        ASSERT_EQ(s.next(), DAL_OK);
        ASSERT_EQ(SQIResetIterator(s.it), DAL_OK);
        EXPECT_EQ(logged(kPlans).size(), 1u);
        plans_emulator().clear_log();
        // Thirty rows are pages 1 to 3 of 10 rows; closing then leaves at
        // most K - 1 pages asked for and never read.
        ASSERT_EQ(s.start("Plans"), DAL_OK);
        for (int i = 0; i < 30; ++i) ASSERT_EQ(s.next(), DAL_OK) << i;
        const auto closing = std::chrono::steady_clock::now();
        ASSERT_EQ(SQIResetIterator(s.it), DAL_OK);
        EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(2));
        auto counts = page_counts(logged(kPlans));
        EXPECT_LE(counts.size(), 3u + static_cast<size_t>(k) - 1);
        EXPECT_EQ(counts.rbegin()->first, static_cast<int>(counts.size())) << "pages asked for in order";
        // No worker is left to send anything after the close.
        usleep(200 * 1000);
        EXPECT_EQ(page_counts(logged(kPlans)), counts);
    }
}

// Closing while the workers wait for slow replies does not wait for them:
// their requests end at the next socket wait, and the connections they
// leave serve the next scan.
TEST_F(ParallelScan, ClosingWithRepliesInFlightReturnsAtOnce) {
    ScanEnv s;
    open(s, 2, 3000, "max_num=4");
    ASSERT_EQ(s.start("Plans"), DAL_OK);
    // Into page 3: moving to it asked for the pages after it, 3 s away.
    for (int i = 0; i < 9; ++i) ASSERT_EQ(s.next(), DAL_OK) << i;
    const auto closing = std::chrono::steady_clock::now();
    ASSERT_EQ(SQIResetIterator(s.it), DAL_OK);
    // About five times a wait's slice; a reply would take 3 s.
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(1500));
    control(s, {{"latency_ms", "0"}});
    EXPECT_EQ(plan_ids(s), sequential_plan_ids());
}

TEST_F(ParallelScan, TransactionWindowsAreFetchedSideBySide) {
    const int64_t start = static_cast<int64_t>(time(nullptr)) / kDay * kDay - 400 * kDay;
    const int64_t end = start + 365 * kDay - 1;
    auto text = [](int64_t t) {
        std::string s = windows_time_text(t);
        s[10] = ' ';
        s.pop_back();
        return s;
    };
    const std::vector<Cond> range = {{"StartTime", RESTRICT_GE, text(start), true},
                                     {"EndTime", RESTRICT_LE, text(end), true}};
    // Page by page, side by side, then over a history store: its windows
    // fetched side by side and kept, then read back without a search.
    char dir[] = "/tmp/cv_parallel_historyXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string store = "history_store=" + std::string(dir) + "/h.db";
    const struct {
        int k;
        std::string extra;
        int searches;  // -1: any (the range is all settled: the store answers it whole)
    } kRounds[] = {{1, "", -1}, {4, "", -1}, {4, store, -1}, {4, store, 0}, {1, store, 0}};
    std::vector<std::string> got[5];
    std::vector<Logged> log;
    for (int round = 0; round < 5; ++round) {
        ScanEnv s;
        open(s, kRounds[round].k, 20, kRounds[round].extra);
        ASSERT_EQ(s.start("Transactions", range), DAL_OK);
        int rc;
        while ((rc = s.next()) == DAL_OK) got[round].push_back(s.text("TransactionId"));
        EXPECT_EQ(rc, DAL_NO_DATA) << (posted_messages().empty() ? "" : posted_messages().back());
        EXPECT_TRUE(got[round] == got[0]) << "round " << round << ": the windows' rows in window order";
        if (kRounds[round].searches >= 0) {
            EXPECT_EQ(logged(kSearch).size(), static_cast<size_t>(kRounds[round].searches)) << round;
        }
        if (round == 1) log = logged(kSearch);
    }
    (void)std::system((std::string("rm -rf ") + dir).c_str());
    EXPECT_GT(got[0].size(), 1000u);
    std::set<std::string> asked;
    std::set<int64_t> connections;
    for (auto &r : log) {
        EXPECT_TRUE(asked.insert(r.params.at("start_date") + " " + r.params.at("page")).second)
            << "asked twice: " << r.params.at("start_date") << " page " << r.params.at("page");
        connections.insert(r.conn);
    }
    EXPECT_GE(asked.size(), 13u) << "twelve windows, the busy ones paged";
    EXPECT_EQ(connections.size(), 5u);
}

TEST_F(ParallelScan, TheTraceShowsTheConcurrentRequestsWithoutSecrets) {
    char dir[] = "/tmp/cv_parallel_traceXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/backend.log";
    std::vector<std::string> tokens;
    {
        ScanEnv s;
        open(s, 4, 20, "logging=yes;logfile=" + file);
        EXPECT_EQ(plan_ids(s), sequential_plan_ids());
        WebRequestPtr req =
            NewGetRequest(static_cast<PaypalEnv *>(s.env)->session->context.get(), "_emulator/control", 1);
        AddParameter(req.get(), "tokens", "1", 0);
        WebResponsePtr resp;
        ASSERT_EQ(WebExchange(req.get(), resp), 0);
        json_t *root = json_loads(resp->body.c_str(), 0, nullptr);
        size_t i;
        json_t *t;
        json_array_foreach(json_object_get(root, "tokens"), i, t) tokens.push_back(json_string_value(t));
        json_decref(root);
    }
    std::ifstream in(file);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    std::set<std::string> threads;
    size_t lines = 0;
    std::string line, thread;
    // A line's header (with the thread id) comes before its text.
    for (std::stringstream each(text); std::getline(each, line);) {
        size_t tid = line.find("[TID=");
        if (tid != std::string::npos) thread = line.substr(tid, line.find(']', tid) - tid);
        if (line.find("Parallel request") == std::string::npos) continue;
        ++lines;
        threads.insert(thread);
    }
    EXPECT_EQ(lines, 49u) << "one line per page after the first";
    EXPECT_EQ(threads.size(), 4u) << "four workers";
    EXPECT_EQ(text.find("emu-client-secret"), std::string::npos);
    ASSERT_FALSE(tokens.empty());
    for (auto &t : tokens) EXPECT_EQ(text.find(t), std::string::npos) << "a token reached the log";
    std::remove(file.c_str());
    rmdir(dir);
}

// Each scan's TLS sessions: a scan with one page left reads it on the
// statement's own connection; one with more starts a worker per request
// outstanding, up to K; the next scan on the same connection opens none;
// disconnecting closes them all.
TEST(KeptConnections, EachScanOpensOnlyTheSessionsItNeedsAndTheNextScanNone) {
    Emulator &emu = tls_emulator();
    ASSERT_GT(emu.port, 0);
    struct Case {
        int max_num, pages;
        size_t first_scan_sessions;  // the statement's own connection and the workers
    };
    const Case kCases[] = {{20, 2, 1}, {14, 3, 3}, {2, 20, 5}};
    for (const Case &c : kCases) {
        SCOPED_TRACE(std::to_string(c.pages) + " pages");
        const int sockets_before = open_sockets();
        {
            ScanEnv s;
            ASSERT_TRUE(s.connect("query_timeout=0;parallel_requests=4;max_num=" + std::to_string(c.max_num), &emu));
            emu.clear_log();
            std::set<int64_t> seen;
            for (int scan = 1; scan <= 3; ++scan) {
                SCOPED_TRACE("scan " + std::to_string(scan));
                ASSERT_EQ(s.start("Plans"), DAL_OK);
                EXPECT_EQ(s.count_rows(), 40);
                const std::vector<Logged> log = logged(kPlans, emu);
                emu.clear_log();
                EXPECT_EQ(log.size(), static_cast<size_t>(c.pages));
                size_t opened = 0;
                for (int64_t conn : connections_of(log)) opened += seen.insert(conn).second ? 1 : 0;
                EXPECT_EQ(opened, scan == 1 ? c.first_scan_sessions : 0u) << "TLS sessions opened by the scan";
            }
            EXPECT_EQ(open_sockets(), sockets_before + static_cast<int>(c.first_scan_sessions))
                << "the workers' connections stay open between scans";
        }
        EXPECT_EQ(open_sockets(), sockets_before) << "disconnecting closes every connection";
    }
}

// A server closes kept connections that wait too long (its keep-alive
// time-out): the next scan's requests on them go out again on new
// connections, and the scan neither fails nor asks for a page twice.
TEST(KeptConnections, AKeptConnectionTheServerClosedIsOpenedAgain) {
    Emulator &emu = tls_emulator();
    ASSERT_GT(emu.port, 0);
    char dir[] = "/tmp/cv_kept_traceXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/backend.log";
    {
        ScanEnv s;
        ASSERT_TRUE(s.connect("query_timeout=0;parallel_requests=4;max_num=2;logging=yes;logfile=" + file, &emu));
        control(s, {{"idle_timeout", "0.3"}});
        posted_messages().clear();
        ASSERT_EQ(s.start("Plans"), DAL_OK);
        ASSERT_EQ(s.count_rows(), 40);
        const std::set<int64_t> first = connections_of(logged(kPlans, emu));
        // Every connection of the scan now waits longer than the server
        // keeps it.
        usleep(1500 * 1000);
        emu.clear_log();
        const size_t mark = file_size(file);
        ASSERT_EQ(s.start("Plans"), DAL_OK);
        EXPECT_EQ(s.count_rows(), 40);
        EXPECT_TRUE(posted_messages().empty()) << posted_messages().front();
        const std::vector<Logged> log = logged(kPlans, emu);
        std::map<int, int> counts;
        for (auto &r : log) ++counts[std::stoi(r.params.at("page"))];
        EXPECT_EQ(counts.size(), 20u);
        for (auto &[page, n] : counts) EXPECT_EQ(n, 1) << "page " << page;
        for (int64_t conn : connections_of(log)) EXPECT_EQ(first.count(conn), 0u) << "a closed connection served";
        EXPECT_EQ(occurrences(file, "kept from an earlier scan", mark), 4u)
            << "the second scan's workers took the kept connections";
        EXPECT_EQ(occurrences(file, "Kept connection was closed by the server; opening another", mark), 5u)
            << "the statement's connection and the four workers' found theirs closed before sending";
        EXPECT_EQ(occurrences(file, "Kept connection was closed; retrying once", mark), 0u)
            << "no request went out on a closed connection";
        control(s, {{"reset", "1"}});
    }
    std::remove(file.c_str());
    rmdir(dir);
}

}  // namespace
