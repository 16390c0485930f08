// Reading reply pages into rows, without the network: the 100 pages of a
// 2,000-row Invoices scan (67 columns, 5 KB of JSON a row) and of a
// 2,000-row Plans scan, fetched once from the emulator, then read again and
// again in this process. Client CPU per row, the least of five rounds:
//   on-demand  the provider's page walk (reply_page_load: simdjson On-Demand,
//              one pass along the compiled paths, object and array columns'
//              sorted text written)
//   dom        simdjson's DOM: parse_into_document, then every column's path
//              looked up with at_key and each object or array column's sorted
//              text written from the DOM tree (the same text)
//   jansson    json_loadb and the same lookups with json_object_get (the
//              reply path before simdjson), the yardstick
// Prints the figures and the ratios on-demand / dom and on-demand / jansson.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/sqi/scan_reads.h"
#include "scan_harness.h"
#include <algorithm>

#include "sqi/json_parse.h"
#include "sqi/json_text.h"
#include "sqi/reply_page.h"

namespace {

constexpr int kRows = 2000;
constexpr int kRounds = 5;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}


int on_demand(const PaypalTable *t, const std::vector<std::string> &bodies, ReplyPage &page) {
    int rows = 0;
    std::string error;
    for (const std::string &b : bodies) {
        page.text.assign(b);  // as a cached reply is read
        if (!reply_page_load(page, t, true, error)) return -1;
        rows += page.row_count;
    }
    return rows;
}

// The sorted text of a DOM value, as the provider writes it.
void put_dom(simdjson::dom::element v, JsonOut &w) {
    char buf[64];
    if (v.is_object()) {
        std::vector<std::pair<std::string_view, simdjson::dom::element>> members;
        simdjson::dom::object object;
        if (v.get_object().get(object)) return;
        for (auto field : object) members.emplace_back(field.key, field.value);
        std::stable_sort(members.begin(), members.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        w.put('{');
        for (size_t i = 0; i < members.size(); ++i) {
            if (i) w.put(", ");
            append_json_string(w, members[i].first);
            w.put(": ");
            put_dom(members[i].second, w);
        }
        w.put('}');
    } else if (v.is_array()) {
        w.put('[');
        bool first = true;
        simdjson::dom::array array;
        if (v.get_array().get(array)) return;
        for (simdjson::dom::element e : array) {
            if (!first) w.put(", ");
            first = false;
            put_dom(e, w);
        }
        w.put(']');
    } else if (v.is_string()) {
        std::string_view text;
        if (!v.get_string().get(text)) append_json_string(w, text);
    } else if (v.is_int64()) {
        int64_t n = 0;
        if (v.get_int64().get(n)) return;
        w.put(std::string_view(buf, static_cast<size_t>(snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n)))));
    } else if (v.is_uint64()) {
        uint64_t n = 0;
        if (v.get_uint64().get(n)) return;
        w.put(std::string_view(buf,
                               static_cast<size_t>(snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(n)))));
    } else if (v.is_double()) {
        double d = 0;
        if (v.get_double().get(d)) return;
        w.put(std::string_view(buf, static_cast<size_t>(snprintf(buf, sizeof buf, "%.17g", d))));
    } else if (v.is_bool()) {
        bool b = false;
        if (v.get_bool().get(b)) return;
        w.put(b ? "true" : "false");
    } else {
        w.put("null");
    }
}

int dom(const PaypalTable *t, const std::vector<simdjson::padded_string> &bodies) {
    simdjson::dom::parser parser;
    simdjson::dom::document doc;
    std::string texts;
    int rows = 0;
    for (const simdjson::padded_string &b : bodies) {
        simdjson::dom::element root;
        if (parser.parse_into_document(doc, b.data(), b.size(), false).get(root)) return -1;
        simdjson::dom::array list;
        if (root[t->list_key].get(list)) return -1;
        for (simdjson::dom::element row : list) {
            for (int c = 0; c < t->column_count; ++c) {
                simdjson::dom::element v = row;
                bool found = true;
                for (const char *const *m = t->columns[c].path_members; found && m && *m; ++m)
                    found = v.at_key(*m).get(v) == simdjson::SUCCESS;
                if (found && (v.is_object() || v.is_array())) {
                    JsonOut w(texts, 0, size_t{1} << 30);
                    put_dom(v, w);
                    benchmark::DoNotOptimize(texts.data());
                }
                benchmark::DoNotOptimize(v);
            }
            ++rows;
        }
    }
    return rows;
}

int jansson(const PaypalTable *t, const std::vector<std::string> &bodies) {
    int rows = 0;
    for (const std::string &b : bodies) {
        json_t *root = json_loadb(b.data(), b.size(), 0, nullptr);
        if (!root) return -1;
        size_t i;
        json_t *row;
        json_array_foreach(json_object_get(root, t->list_key), i, row) {
            for (int c = 0; c < t->column_count; ++c) {
                const json_t *v = row;
                for (const char *const *m = t->columns[c].path_members; v && m && *m; ++m) v = json_object_get(v, *m);
                benchmark::DoNotOptimize(v);
            }
            ++rows;
        }
        json_decref(root);
    }
    return rows;
}

template <typename Read>
double best_cpu(Read read) {
    double best = 1e9;
    for (int r = 0; r < kRounds; ++r) {
        double t = cpu_seconds();
        const int rows = read();
        t = cpu_seconds() - t;
        if (rows != kRows) {
            fprintf(stderr, "a read gave %d rows, expected %d\n", rows, kRows);
            return -1;
        }
        if (t < best) best = t;
    }
    return best;
}

bool measure(ScanEnv &s, const char *table, const char *endpoint) {
    const PaypalTable *t = paypal_find_table(table);
    std::vector<std::string> bodies;
    if (!t || !page_bodies(s, endpoint, bodies)) return false;
    std::vector<simdjson::padded_string> padded;
    size_t bytes = 0;
    for (const std::string &b : bodies) {
        padded.emplace_back(b);
        bytes += b.size();
    }
    ReplyPage page;
    (void)on_demand(t, bodies, page);  // warm: the thread's parser, the page's buffers
    const double od = best_cpu([&] { return on_demand(t, bodies, page); });
    const double dm = best_cpu([&] { return dom(t, padded); });
    const double js = best_cpu([&] { return jansson(t, bodies); });
    if (od < 0 || dm < 0 || js < 0) return false;
    auto per_row = [](double cpu) { return cpu / kRows * 1e6; };
    printf("%s: %d rows, %zu bytes of JSON a row, client CPU per row (least of %d)\n", table, kRows,
           bytes / kRows, kRounds);
    printf("  on-demand page walk (sorted texts written): %7.2f us\n", per_row(od));
    printf("  DOM parse + path lookups + sorted texts:    %7.2f us\n", per_row(dm));
    printf("  jansson parse + path lookups:               %7.2f us\n", per_row(js));
    printf("  ratio on-demand / DOM: %.2f, on-demand / jansson: %.3f\n", od / dm, od / js);
    return true;
}

}  // namespace

int main() {
    Emulator emu;
    if (!emu.start({"--plans", std::to_string(kRows), "--invoices", std::to_string(kRows)})) {
        fprintf(stderr, "emulator did not start\n");
        return 1;
    }
    ScanEnv s;
    const bool ok = s.connect("query_timeout=0;max_num=20", &emu) && measure(s, "Invoices", "v2/invoicing/invoices") &&
                    measure(s, "Plans", "v1/billing/plans");
    emu.stop();
    if (!ok) {
        fprintf(stderr, "a read failed\n");
        return 1;
    }
    return 0;
}
