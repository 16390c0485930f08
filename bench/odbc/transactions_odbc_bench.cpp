// A year of PayPal transactions through pyodbc and the driver, against a Python
// standard-library client of the same API.
//
// pyodbc runs SELECT TransactionId, TransactionAmountValue FROM Transactions
// over 365 days and fetches every row; the baseline (bench/sqi/
// transactions_baseline.py) pages the same 31-day windows with http.client
// and json, reading the id and the amount of every row. Each side is timed
// inside its own process (connecting and the token are left out), best of
// three after a warm-up; the searches each one sent are counted in the
// emulator's request log. Prints rows per second (wall clock, the emulator's
// answering included), client CPU per row, requests, and the ratios.
#include <cstdio>
#include <ctime>
#include <string>

#include "scan_harness.h"

namespace {

constexpr int kRounds = 3;
constexpr int64_t kDay = 86400;

std::string ts_literal(int64_t t) {
    const time_t tt = static_cast<time_t>(t);
    tm parts{};
    gmtime_r(&tt, &parts);
    char buf[32];
    strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &parts);
    return std::string("{ts '") + buf + "'}";
}

struct Run {
    int rows = -1;
    double seconds = 0;  // wall clock of the scan
    double cpu = 0;      // the client process's CPU during the scan
    size_t requests = 0;
};

// Runs `cmd`, which prints {"rows": n, ..., "seconds": s, "cpu": c} as its
// last line; the emulator's log counts the searches it sent.
bool run_client(const Emulator &emu, const std::string &cmd, Run *out) {
    emu.clear_log();
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return false;
    char line[512] = {}, last[512] = {};
    while (fgets(line, sizeof line, p)) snprintf(last, sizeof last, "%s", line);
    int status = pclose(p);
    json_error_t err;
    json_t *j = json_loads(last, 0, &err);
    if (status != 0 || !j) {
        fprintf(stderr, "client failed: %s\n", last);
        json_decref(j);
        return false;
    }
    out->rows = static_cast<int>(json_integer_value(json_object_get(j, "rows")));
    out->seconds = json_number_value(json_object_get(j, "seconds"));
    out->cpu = json_number_value(json_object_get(j, "cpu"));
    out->requests = emu.request_count("/v1/reporting/transactions");
    json_decref(j);
    return true;
}

// The best of kRounds runs (after one warm-up), by wall clock.
bool best_of(const Emulator &emu, const std::string &cmd, Run *best) {
    Run r;
    if (!run_client(emu, cmd, &r)) return false;
    best->seconds = 1e9;
    for (int i = 0; i < kRounds; ++i) {
        if (!run_client(emu, cmd, &r)) return false;
        if (r.seconds < best->seconds) *best = r;
    }
    return true;
}

}  // namespace

int main() {
    Emulator emu;
    if (!emu.start({})) {
        fprintf(stderr, "emulator did not start\n");
        return 1;
    }
    const int64_t start = static_cast<int64_t>(time(nullptr)) / kDay * kDay - 400 * kDay;
    const int64_t end = start + 365 * kDay - 1;
    const std::string sql = "SELECT TransactionId, TransactionAmountValue FROM Transactions WHERE StartTime >= " +
                            ts_literal(start) + " AND EndTime <= " + ts_literal(end);
    const std::string conn = std::string("DRIVER=") + CV_DRIVER_PATH +
                             ";client_id=emu-client-id;client_secret=emu-client-secret;base_url=" + emu.base_url();
    // The connection string and the statement go in as arguments (the
    // statement's quotes would end the shell's quoting of the code).
    const std::string pyodbc_cmd =
        "/usr/bin/python3 -c '\n"
        "import json, pyodbc, resource, sys, time\n"
        "def cpu():\n"
        "    u = resource.getrusage(resource.RUSAGE_SELF)\n"
        "    return u.ru_utime + u.ru_stime\n"
        "c = pyodbc.connect(sys.argv[1])\n"
        "t0, c0 = time.perf_counter(), cpu()\n"
        "rows = 0\n"
        "for tid, amount in c.cursor().execute(sys.argv[2]):\n"
        "    rows += 1\n"
        "print(json.dumps({\"rows\": rows, \"seconds\": time.perf_counter() - t0, \"cpu\": cpu() - c0}))\n' \"" +
        conn + "\" \"" + sql + "\"";
    const std::string baseline_cmd = "/usr/bin/python3 " + std::string(CV_SOURCE_DIR) +
                                     "/bench/sqi/transactions_baseline.py --base-url " + emu.base_url() +
                                     " --start " + std::to_string(start) + " --end " + std::to_string(end);
    Run driver, baseline;
    const bool ok = best_of(emu, pyodbc_cmd, &driver) && best_of(emu, baseline_cmd, &baseline);
    emu.stop();
    if (!ok) return 1;
    if (driver.rows <= 0 || driver.rows != baseline.rows) {
        fprintf(stderr, "row counts %d / %d differ\n", driver.rows, baseline.rows);
        return 1;
    }
    printf("one year of transactions: %d rows (best of %d, after a warm-up)\n", driver.rows, kRounds);
    printf("  pyodbc + driver:           %8.0f rows/s  %6.1f us CPU/row  %zu requests\n", driver.rows / driver.seconds,
           driver.cpu * 1e6 / driver.rows, driver.requests);
    printf("  python http.client + json: %8.0f rows/s  %6.1f us CPU/row  %zu requests\n",
           baseline.rows / baseline.seconds, baseline.cpu * 1e6 / baseline.rows, baseline.requests);
    printf("ratio rows/s pyodbc / baseline: %.2f\n", baseline.seconds / driver.seconds);
    printf("ratio client CPU baseline / pyodbc: %.2f\n", driver.cpu > 0 ? baseline.cpu / driver.cpu : 0.0);
    printf("ratio requests pyodbc / baseline: %.2f\n",
           baseline.requests ? static_cast<double>(driver.requests) / static_cast<double>(baseline.requests) : 0.0);
    return 0;
}
