// Wall time of a 50-page scan from a distant server: page by page against
// parallel requests.
//
// The emulator serves 1,000 billing plans (50 pages of 20) and holds every
// reply 100 ms, as a PayPal reply takes a few hundred. The same Plans scan
// runs with parallel_requests 1 (the baseline), 4 and 8, the reply cache off;
// each prints its best wall time of a few rounds and its ratio to the
// baseline. The goal: with 4 connections at most 0.35 of the page-by-page
// time. Exits 1 when a scan fails or returns other rows than the baseline.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "scan_harness.h"

namespace {

constexpr int kRounds = 2;
constexpr int kLatencyMs = 100;
constexpr double kGoalAtFour = 0.35;

// One scan: the plan ids in the order read, or empty on failure.
std::vector<std::string> scan(ScanEnv &s) {
    std::vector<std::string> ids;
    if (s.start("Plans") != DAL_OK) return {};
    int rc;
    while ((rc = s.next()) == DAL_OK) ids.push_back(s.text("Id"));
    if (rc != DAL_NO_DATA) return {};
    return ids;
}

}  // namespace

int main() {
    Emulator emu;
    if (!emu.start({"--plans", "1000", "--latency-ms", std::to_string(kLatencyMs)})) {
        fprintf(stderr, "the emulator did not start\n");
        return 1;
    }
    int status = 0;
    std::vector<std::string> baseline_rows;
    double baseline = 0;
    printf("Plans scan, 1000 rows in 50 pages, every reply %d ms late (best of %d)\n", kLatencyMs, kRounds);
    for (int k : {1, 4, 8}) {
        ScanEnv s;
        if (!s.connect("query_timeout=0;parallel_requests=" + std::to_string(k), &emu)) {
            fprintf(stderr, "connect failed\n");
            status = 1;
            break;
        }
        double best = 0;
        for (int round = 0; round < kRounds; ++round) {
            const auto t0 = std::chrono::steady_clock::now();
            std::vector<std::string> rows = scan(s);
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (rows.size() != 1000 || (!baseline_rows.empty() && rows != baseline_rows)) {
                fprintf(stderr, "parallel_requests=%d: %zu rows, not those of the page-by-page scan\n", k,
                        rows.size());
                status = 1;
            }
            if (baseline_rows.empty()) baseline_rows = rows;
            if (round == 0 || wall < best) best = wall;
        }
        if (k == 1) baseline = best;
        const double ratio = baseline > 0 ? best / baseline : 0;
        printf("parallel_requests=%d  wall %.3f s  ratio to page by page %.3f%s\n", k, best, ratio,
               k == 4 ? (ratio <= kGoalAtFour ? "  (goal <= 0.35 met)" : "  (goal <= 0.35 MISSED)") : "");
    }
    emu.stop();
    return status;
}
