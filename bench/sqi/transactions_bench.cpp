// A year of transactions through the PayPal provider against a Python
// standard-library client of the same API.
//
// The provider scans Transactions over 365 days (twelve 31-day windows, 500
// rows a page) through SQIStartQuery, SQINextRow and SQIGetData, reading the
// id and the amount of every row; the baseline (transactions_baseline.py)
// pages the same windows with http.client and json. Rows, requests (from the
// emulator's log) and rows per second of both are printed. The same year
// through pyodbc and SELECT is bench/odbc's bench_odbc_transactions; this
// one measures the provider below it.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "scan_harness.h"

namespace {

constexpr int kRounds = 3;
constexpr int64_t kDay = 86400;

// CPU seconds (user and system) this process has used.
double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int provider_scan(ScanEnv &s, int64_t start, int64_t end) {
    if (s.start("Transactions", {{"StartTime", RESTRICT_GE, cond_time(start), true},
                                 {"EndTime", RESTRICT_LE, cond_time(end), true}}) != DAL_OK)
        return -1;
    int id = s.column_number("TransactionId"), amount = s.column_number("TransactionAmountValue");
    int rows = 0;
    char buf[64];
    double value;
    SQLLEN len;
    while (s.next() == DAL_OK) {
        (void)SQIGetData(s.it, id, SQL_C_CHAR, buf, sizeof buf, &len);
        (void)SQIGetData(s.it, amount, SQL_C_DOUBLE, &value, sizeof value, &len);
        ++rows;
    }
    return rows;
}

}  // namespace

int main() {
    Emulator emu;
    if (!emu.start({})) {
        fprintf(stderr, "emulator did not start\n");
        return 1;
    }
    ScanEnv s;
    if (!s.connect("query_timeout=0", &emu)) {
        fprintf(stderr, "connect failed\n");
        emu.stop();
        return 1;
    }
    const int64_t start = static_cast<int64_t>(time(nullptr)) / kDay * kDay - 400 * kDay;
    const int64_t end = start + 365 * kDay - 1;
    (void)provider_scan(s, start, end);  // warm: token, socket, the emulator's data
    std::string cmd = "python3 " + std::string(CV_SOURCE_DIR) + "/bench/sqi/transactions_baseline.py --base-url " +
                      emu.base_url() + " --start " + std::to_string(start) + " --end " + std::to_string(end);
    double best_provider = 1e9, best_baseline = 1e9, provider_cpu = 1e9;
    int rows = 0, base_rows = 0, base_requests = 0;
    size_t requests = 0;
    for (int r = 0; r < kRounds; ++r) {
        emu.clear_log();
        auto t0 = std::chrono::steady_clock::now();
        double c0 = cpu_seconds();
        rows = provider_scan(s, start, end);
        double t = seconds_since(t0), c = cpu_seconds() - c0;
        if (c < provider_cpu) provider_cpu = c;
        requests = emu.request_count("/v1/reporting/transactions");
        if (t < best_provider) best_provider = t;
        FILE *p = popen(cmd.c_str(), "r");
        char line[256] = {};
        double seconds = 0;
        if (!p || !fgets(line, sizeof line, p) ||
            sscanf(line, "{\"rows\": %d, \"requests\": %d, \"seconds\": %lf}", &base_rows, &base_requests,
                   &seconds) != 3) {
            fprintf(stderr, "baseline failed: %s\n", line);
            if (p) pclose(p);
            emu.stop();
            return 1;
        }
        pclose(p);
        if (seconds < best_baseline) best_baseline = seconds;
    }
    if (rows <= 0 || rows != base_rows) {
        fprintf(stderr, "row counts %d / %d differ\n", rows, base_rows);
        emu.stop();
        return 1;
    }
    printf("one year of transactions: %d rows\n", rows);
    printf("python http.client + json: %.0f rows/s, %d requests\n", base_rows / best_baseline, base_requests);
    printf("provider scan:             %.0f rows/s, %zu requests (%.0f rows per CPU second of the driver;\n"
           "                           the rest of the time is the emulator answering)\n",
           rows / best_provider, requests, rows / provider_cpu);
    printf("ratio provider/baseline: %.2f\n", best_baseline / best_provider);
    emu.stop();
    return 0;
}
