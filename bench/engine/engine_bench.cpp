// The query engine against SQLite: a WHERE clause with arithmetic, LIKE and
// an IN list over 1,000,000 rows served by the in-memory test provider
// through the real DAL slots, and the same query over the same rows in an
// in-memory SQLite database. Both sides run the whole query (prepare once,
// then execute and read every row) and count the rows; main prints the
// ratio ours / SQLite. Set CV_ENGINE_BENCH_ROWS for another row count.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "odbc/handles.h"
#include "query/exec_api.h"
#include "support/diag.h"
#include "support/pool.h"
#include "tests/query/memory_provider.h"

namespace {

const char *kQuery = "SELECT id, a * 2 + b FROM t1 WHERE a * 3 + id > 100 AND s LIKE '%an%' AND a IN (1, 2, 3)";

struct World {
    memprov::Provider provider;
    sqlite3 *db = nullptr;
    SQLHENV env = nullptr;
    SQLHDBC hdbc = nullptr;
    DBC *dbc = nullptr;
    long expected = -1;

    World() {
        const char *n = std::getenv("CV_ENGINE_BENCH_ROWS");
        long rows = n ? std::strtol(n, nullptr, 10) : 1000000;
        provider.tables.push_back(memprov::generate("T1", rows > 0 && rows <= 50000000 ? static_cast<int>(rows) : 1000000, 11, true));
        provider.lazy = 1;
        sqlite3_open(":memory:", &db);
        memprov::load_into_sqlite(provider, db);
        SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &hdbc);
        dbc = static_cast<DBC *>(hdbc);
        memprov::install(dbc->dal, &provider, dbc);
    }
};

World &world() {
    static World w;
    return w;
}

void BM_EngineQuery(benchmark::State &state) {
    World &w = world();
    QueryConnection c{};
    c.dal = w.dbc->dal;
    c.dal_handle = w.dbc;
    c.odbc_version = 3;
    QueryStatement *st = query_statement_create(w.dbc->pool, w.dbc->diag, &c);
    if (query_prepare(st, kQuery, SQL_NTS) != 0) {
        state.SkipWithError("prepare failed");
        return;
    }
    long rows = 0;
    for (auto _ : state) {
        rows = 0;
        if (query_execute(st, 0, nullptr) != 0) {
            state.SkipWithError("execute failed");
            break;
        }
        while (query_fetch(st) == 0) {
            benchmark::DoNotOptimize(query_column_value(st, 2));
            rows++;
        }
        query_close_cursor(st);
    }
    state.counters["rows"] = static_cast<double>(rows);
    query_statement_free(st);
}

void BM_SqliteQuery(benchmark::State &state) {
    World &w = world();
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(w.db, kQuery, -1, &st, nullptr);
    long rows = 0;
    for (auto _ : state) {
        rows = 0;
        sqlite3_reset(st);
        while (sqlite3_step(st) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_double(st, 1));
            rows++;
        }
    }
    state.counters["rows"] = static_cast<double>(rows);
    sqlite3_finalize(st);
}

BENCHMARK(BM_EngineQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqliteQuery)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &r : runs) times[r.benchmark_name()] = r.GetAdjustedCPUTime();  // CPU time: steadier on a shared machine
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto a = reporter.times.find("BM_EngineQuery"), b = reporter.times.find("BM_SqliteQuery");
    if (a != reporter.times.end() && b != reporter.times.end() && b->second > 0)
        std::printf("\nratio (engine / SQLite, lower is better, goal 1.5): %.2f\n", a->second / b->second);
    benchmark::Shutdown();
    return 0;
}
