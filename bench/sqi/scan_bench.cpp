// Scan throughput of the PayPal provider against the transport alone.
//
// The emulator serves 2,000 billing plans; a scan of Plans reads them in
// 100 pages of 20. The provider run goes through SQIStartQuery, SQINextRow
// and SQIGetData (one column per row); the baseline sends the same 100 GETs
// through WebExchange and parses each reply with jansson, reading the same
// member of every row. Rows per second of both and their ratio are printed;
// the provider should keep at least 0.9 of the transport's rate.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "scan_harness.h"

namespace {

constexpr int kRows = 2000;
constexpr int kRounds = 5;

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// One provider scan: rows read.
int provider_scan(ScanEnv &s) {
    if (s.start("Plans") != DAL_OK) return -1;
    int n = s.column_number("Name");
    int rows = 0;
    char buf[256];
    SQLLEN len;
    while (s.next() == DAL_OK) {
        (void)SQIGetData(s.it, n, SQL_C_CHAR, buf, sizeof buf, &len);
        benchmark::DoNotOptimize(buf);
        ++rows;
    }
    return rows;
}

// The same pages through the transport alone.
int transport_scan(ScanEnv &s) {
    PaypalContext *ctx = static_cast<PaypalEnv *>(s.env)->session->context.get();
    int rows = 0;
    for (int page = 1;; ++page) {
        WebRequestPtr req = NewGetRequest(ctx, "v1/billing/plans", 1);
        AddParameter(req.get(), "page", std::to_string(page), 0);
        AddParameter(req.get(), "page_size", "20", 0);
        AddParameter(req.get(), "total_required", "true", 0);
        AddParameter(req.get(), "fields", "all", 0);
        AddHeader(req.get(), "Prefer", "return=representation");
        WebResponsePtr resp;
        if (WebExchange(req.get(), resp) != 0 || !resp || resp->status != 200) return -1;
        json_t *root = json_loadb(resp->body.data(), resp->body.size(), 0, nullptr);
        if (!root) return -1;
        size_t i;
        json_t *plan;
        json_array_foreach(json_object_get(root, "plans"), i, plan) {
            benchmark::DoNotOptimize(json_string_value(json_object_get(plan, "name")));
            ++rows;
        }
        int total = static_cast<int>(json_integer_value(json_object_get(root, "total_pages")));
        json_decref(root);
        if (page >= total) break;
    }
    return rows;
}

}  // namespace

int main() {
    Emulator emu;
    if (!emu.start({"--plans", std::to_string(kRows)})) {
        fprintf(stderr, "emulator did not start\n");
        return 1;
    }
    ScanEnv s;
    if (!s.connect("query_timeout=0;max_num=20", &emu)) {
        fprintf(stderr, "connect failed\n");
        emu.stop();
        return 1;
    }
    // Warm both paths once (token, socket, emulator caches).
    (void)provider_scan(s);
    (void)transport_scan(s);
    double best_provider = 1e9, best_transport = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        int a = transport_scan(s);
        double ta = seconds_since(t0);
        t0 = std::chrono::steady_clock::now();
        int b = provider_scan(s);
        double tb = seconds_since(t0);
        if (a != kRows || b != kRows) {
            fprintf(stderr, "row counts %d / %d, expected %d\n", a, b, kRows);
            emu.stop();
            return 1;
        }
        if (ta < best_transport) best_transport = ta;
        if (tb < best_provider) best_provider = tb;
    }
    double rp = kRows / best_provider, rt = kRows / best_transport;
    printf("transport alone: %.0f rows/s (100 GETs + JSON parse)\n", rt);
    printf("provider scan:   %.0f rows/s (SQIStartQuery/SQINextRow/SQIGetData)\n", rp);
    printf("ratio provider/transport: %.3f (goal >= 0.9)\n", rp / rt);
    emu.stop();
    return 0;
}
