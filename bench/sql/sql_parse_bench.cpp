// Statements per second of parse + print over the SQL test corpus, beside
// SQLite's sqlite3_prepare_v2 on the same statements where SQLite accepts
// them (tables created in an in-memory database). Prints the ratio.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "sql/parser.h"
#include "sql/printer.h"
#include "support/pool.h"

namespace {

std::vector<std::string> g_statements;  // every corpus statement that parses
std::vector<std::string> g_common;      // the subset SQLite prepares too
sqlite3 *g_db = nullptr;

bool parse_print(CvPool *pool, const std::string &sql, std::string &out) {
    ParseContext *context = create_parse_context(pool);
    std::string text = sql;
    bool ok = parse_sql_text(context, text.data(), 0, nullptr) == 0 &&
              print_to_string(context->root, true, out) == 0;
    release_parse_context(context);
    return ok;
}

bool sqlite_prepares(const std::string &sql) {
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(g_db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK && stmt != nullptr;
}

void load() {
    std::ifstream in(CV_SQL_CORPUS_FILE);
    std::string line, sql;
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    while (std::getline(in, line)) {
        if (line.rfind("sql: ", 0) == 0) sql = line.substr(5);
        if (line.rfind("ok: ", 0) == 0) g_statements.push_back(sql);
    }
    cv_mem_release_handle(pool);
    sqlite3_open(":memory:", &g_db);
    const char *columns =
        "(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p, q, r, s, t, u, v, w, x, y, z, name, "
        "Mixed, \"my col\", \"date\", \"select\")";
    for (const char *table : {"t", "u", "v", "w", "tab", "base"}) {
        std::string ddl = std::string("CREATE TABLE \"") + table + "\" " + columns;
        sqlite3_exec(g_db, ddl.c_str(), nullptr, nullptr, nullptr);
    }
    for (const auto &s : g_statements)
        if (sqlite_prepares(s)) g_common.push_back(s);
}

void run_ours(benchmark::State &state, const std::vector<std::string> &statements) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    std::string out;
    for (auto _ : state) {
        for (const auto &s : statements) {
            out.clear();
            benchmark::DoNotOptimize(parse_print(pool, s, out));
        }
    }
    cv_mem_release_handle(pool);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(statements.size()));
}

void BM_ParsePrintCorpus(benchmark::State &state) { run_ours(state, g_statements); }
void BM_ParsePrintCommon(benchmark::State &state) { run_ours(state, g_common); }

void BM_SqlitePrepareCommon(benchmark::State &state) {
    for (auto _ : state)
        for (const auto &s : g_common) benchmark::DoNotOptimize(sqlite_prepares(s));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(g_common.size()));
}

BENCHMARK(BM_ParsePrintCorpus);
BENCHMARK(BM_ParsePrintCommon);
BENCHMARK(BM_SqlitePrepareCommon);

// Collects statements per second of each run so the ratio can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    double ours = 0, sqlite = 0;
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &r : runs) {
            auto it = r.counters.find("items_per_second");
            if (it == r.counters.end()) continue;
            if (r.benchmark_name() == "BM_ParsePrintCommon") ours = it->second;
            if (r.benchmark_name() == "BM_SqlitePrepareCommon") sqlite = it->second;
        }
    }
};

}  // namespace

int main(int argc, char **argv) {
    load();
    std::printf("corpus statements: %zu, accepted by SQLite too: %zu\n", g_statements.size(),
                g_common.size());
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.sqlite > 0)
        std::printf("parse+print / sqlite3_prepare_v2 statements per second: %.2f\n",
                    reporter.ours / reporter.sqlite);
    sqlite3_close(g_db);
    return 0;
}
