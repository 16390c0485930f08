// Scan cost of the PayPal provider: client CPU per row.
//
// The emulator serves 2,000 billing plans (plain HTTP, its own process); a
// scan of Plans reads them in 100 pages of 20. The process CPU clock counts
// only client work, so waiting on the Python server does not blur the
// ratios. Measured after a warm-up, best of five rounds:
// - the provider: SQIStartQuery, SQINextRow and SQIGetData (one column);
// - the transport alone: the same 100 GETs through WebExchange, each reply
//   parsed with jansson, reading the same member of every row;
// - libcurl in this process: the same GETs and the same parse;
// - the floor: the same parse of the same 100 reply bodies, no network.
// Then a 2,000-row Invoices scan (67 columns, 5 KB of JSON a row) through the
// provider reading every column as text, against jansson parsing the same
// reply bodies (json_loadb and json_decref, nothing read): the yardstick the
// provider's figure is compared with across builds.
// Prints CPU microseconds per row and the ratios.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/sqi/scan_reads.h"
#include "scan_harness.h"

namespace {

constexpr int kRows = 2000;
constexpr int kRounds = 5;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
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

// jansson's parse of every body, nothing read: the rows the bodies hold.
int jansson_parse(const std::vector<std::string> &bodies, const char *list_key) {
    int rows = 0;
    for (const std::string &b : bodies) {
        json_t *root = json_loadb(b.data(), b.size(), 0, nullptr);
        if (!root) return -1;
        rows += static_cast<int>(json_array_size(json_object_get(root, list_key)));
        json_decref(root);
    }
    return rows;
}

// Parses one page as the baselines do: rows read, and the page count, or
// -1 when the body is not a plans page.
int parse_page(const char *data, size_t size, int *total_pages) {
    json_t *root = json_loadb(data, size, 0, nullptr);
    if (!root) return -1;
    int rows = 0;
    size_t i;
    json_t *plan;
    json_array_foreach(json_object_get(root, "plans"), i, plan) {
        benchmark::DoNotOptimize(json_string_value(json_object_get(plan, "name")));
        ++rows;
    }
    *total_pages = static_cast<int>(json_integer_value(json_object_get(root, "total_pages")));
    json_decref(root);
    return rows;
}

std::string page_query(int page) {
    return "page=" + std::to_string(page) + "&page_size=20&total_required=true&fields=all";
}

// The same pages through the transport alone; `bodies` keeps them when given.
int transport_scan(ScanEnv &s, std::vector<std::string> *bodies) {
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
        if (bodies) bodies->push_back(resp->body);
        int total = 0, n = parse_page(resp->body.data(), resp->body.size(), &total);
        if (n < 0) return -1;
        rows += n;
        if (page >= total) break;
    }
    return rows;
}

size_t keep_bytes(char *data, size_t size, size_t n, void *out) {
    static_cast<std::string *>(out)->append(data, size * n);
    return size * n;
}

// The same pages through libcurl on one kept handle.
int curl_scan(CURL *curl, const std::string &base, const std::string &token) {
    curl_slist *headers = curl_slist_append(nullptr, ("Authorization: Bearer " + token).c_str());
    headers = curl_slist_append(headers, "Prefer: return=representation");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep_bytes);
    int rows = 0;
    std::string body;
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    for (int page = 1;; ++page) {
        body.clear();
        const std::string url = base + "/v1/billing/plans?" + page_query(page);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        long status = 0;
        if (curl_easy_perform(curl) != CURLE_OK) rows = -1;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        int total = 0, n = rows < 0 || status != 200 ? -1 : parse_page(body.data(), body.size(), &total);
        if (n < 0) {
            rows = -1;
            break;
        }
        rows += n;
        if (page >= total) break;
    }
    curl_slist_free_all(headers);
    return rows;
}

int parse_only(const std::vector<std::string> &bodies) {
    int rows = 0, total = 0;
    for (const std::string &b : bodies) {
        int n = parse_page(b.data(), b.size(), &total);
        if (n < 0) return -1;
        rows += n;
    }
    return rows;
}

// Best CPU time of kRounds runs of `scan`; -1 when a run reads the wrong rows.
template <typename Scan>
double best_cpu(Scan scan) {
    double best = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        double t = cpu_seconds();
        int rows = scan();
        t = cpu_seconds() - t;
        if (rows != kRows) {
            fprintf(stderr, "a scan read %d rows, expected %d\n", rows, kRows);
            return -1;
        }
        if (t < best) best = t;
    }
    return best;
}

}  // namespace

int main() {
    Emulator emu;
    if (!emu.start({"--plans", std::to_string(kRows), "--invoices", std::to_string(kRows)})) {
        fprintf(stderr, "emulator did not start\n");
        return 1;
    }
    ScanEnv s;
    CURL *curl = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK ? curl_easy_init() : nullptr;
    if (!curl || !s.connect("query_timeout=0;max_num=20", &emu)) {
        fprintf(stderr, "connect failed\n");
        emu.stop();
        return 1;
    }
    const std::string token = static_cast<PaypalEnv *>(s.env)->session->context->access_token;
    // Warm every path once (token, sockets, emulator caches) and keep the
    // reply bodies for the parse floor.
    std::vector<std::string> bodies;
    bool ok = provider_scan(s) == kRows && transport_scan(s, &bodies) == kRows &&
              curl_scan(curl, emu.base_url(), token) == kRows;
    std::vector<std::string> invoice_bodies;
    ok = ok && page_bodies(s, "v2/invoicing/invoices", invoice_bodies) && provider_scan_all(s, "Invoices") == kRows;
    double provider = -1, transport = -1, libcurl = -1, parse = -1, invoices = -1, invoices_jansson = -1;
    if (ok) {
        provider = best_cpu([&] { return provider_scan(s); });
        transport = best_cpu([&] { return transport_scan(s, nullptr); });
        libcurl = best_cpu([&] { return curl_scan(curl, emu.base_url(), token); });
        parse = best_cpu([&] { return parse_only(bodies); });
        invoices = best_cpu([&] { return provider_scan_all(s, "Invoices"); });
        invoices_jansson = best_cpu([&] { return jansson_parse(invoice_bodies, "items"); });
    }
    curl_easy_cleanup(curl);
    curl_global_cleanup();
    emu.stop();
    if (!ok || provider < 0 || transport < 0 || libcurl < 0 || parse < 0 || invoices < 0 || invoices_jansson < 0) {
        fprintf(stderr, "a scan failed\n");
        return 1;
    }
    auto per_row = [](double t) { return t / kRows * 1e6; };
    printf("client CPU per row of a %d-row Plans scan (100 pages of 20), best of %d after a warm-up\n", kRows,
           kRounds);
    printf("  provider (SQIStartQuery/SQINextRow/SQIGetData): %7.2f us\n", per_row(provider));
    printf("  transport + jansson:                            %7.2f us\n", per_row(transport));
    printf("  libcurl + jansson:                              %7.2f us\n", per_row(libcurl));
    printf("  jansson on the same reply bodies:               %7.2f us\n", per_row(parse));
    printf("  ratio provider / transport:  %6.2f (goal <= 1.10)\n", provider / transport);
    printf("  ratio provider / libcurl:    %6.2f\n", provider / libcurl);
    printf("  ratio provider / parse:      %6.2f (what HTTP and row mapping add)\n", provider / parse);
    printf("client CPU per row of a %d-row Invoices scan (100 pages of 20, 67 columns), best of %d\n", kRows,
           kRounds);
    printf("  provider, every column as text:                 %7.2f us\n", per_row(invoices));
    printf("  jansson parse of the same bodies:               %7.2f us\n", per_row(invoices_jansson));
    printf("  ratio provider / jansson parse: %6.2f\n", invoices / invoices_jansson);
    return 0;
}
