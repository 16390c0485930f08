// The query engine against SQLite on the same generated rows: ORDER BY on
// two keys, GROUP BY with 1,000 groups and four set functions,
// COUNT(DISTINCT), an equality join of 1,000 x 1,000 rows, COUNT(*) over an
// inequality join of 310 x 230 rows, a range join (BETWEEN) of 1,000 x 1,000
// rows with GROUP BY, and a cross join of 10,000 x 1,000 rows with GROUP BY and
// ORDER BY. Each query
// runs through query_run_text over the in-memory provider (rows read through
// the data access layer, as from any provider) and through SQLite over an
// in-memory database holding the same rows; the best of three runs of each
// is printed with their ratio (engine / SQLite).
//
// Usage: bench_engine_sorting [rows [name]]   (default 1,000,000; only the
// queries whose name contains `name`, for profiling one of them)
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <ctime>

#include "odbc/handles.h"
#include "query/run_text.h"
#include "query/sort.h"
#include "support/diag.h"
#include "support/pool.h"
#include "tests/query/memory_provider.h"

namespace {

// Wall clock; with CV_BENCH_CLOCK=cpu the process's CPU time (steadier on a
// machine other work shares; both sides run in this one thread).
bool g_cpu_clock = false;

double now() {
    if (g_cpu_clock) {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

memprov::Table make_table(const std::string &name, int rows, unsigned seed, int groups) {
    memprov::Table t;
    t.name = name;
    t.columns = {{"ID", memprov::Type::kInteger, 0},
                 {"G", memprov::Type::kInteger, 0},
                 {"K", memprov::Type::kInteger, 0},
                 {"V", memprov::Type::kDouble, 0}};
    unsigned x = seed;
    for (int r = 1; r <= rows; r++) {
        x = x * 1103515245u + 12345u;
        int g = static_cast<int>((x >> 8) % static_cast<unsigned>(groups));
        x = x * 1103515245u + 12345u;
        int k = static_cast<int>((x >> 8) % 100000u);
        t.add_row({memprov::Cell::of(r), memprov::Cell::of(g), memprov::Cell::of(k),
                          memprov::Cell::real(static_cast<double>(k % 1000) / 8.0)});
    }
    return t;
}

struct Engine {
    SQLHENV env = nullptr;
    SQLHDBC hdbc = nullptr;
    CvPool *pool = nullptr;
    ErrorHeader *diag = nullptr;
    memprov::Provider provider;
};

double run_engine(Engine &e, const char *sql, int64_t *rows) {
    QueryConnection c{};
    DBC *dbc = static_cast<DBC *>(e.hdbc);
    c.dal = dbc->dal;
    c.dal_handle = dbc;
    c.odbc_version = 3;
    SetupErrorHeader(e.diag, 0);
    CvPool *rows_pool = cv_mem_alloc_handle(e.pool);
    QueryRows out{};
    double t0 = now();
    int r = query_run_text(&c, e.diag, rows_pool, sql, 0, nullptr, 0, &out);
    double t = now() - t0;
    if (r != 0) std::fprintf(stderr, "engine failed (%d): %s\n", r, diag_count(e.diag) ? diag_message(e.diag, 1) : "");
    *rows = out.row_count;
    cv_mem_release_handle(rows_pool);
    return t;
}

double run_sqlite(sqlite3 *db, const char *sql, int64_t *rows) {
    double t0 = now();
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        return 0;
    }
    int64_t n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int k = 0; k < sqlite3_column_count(st); k++) (void)sqlite3_column_value(st, k);
        n++;
    }
    sqlite3_finalize(st);
    *rows = n;
    return now() - t0;
}

}  // namespace

int main(int argc, char **argv) {
    int rows = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 1000000;
    if (rows < 1000) rows = 1000;
    const char *only = argc > 2 ? argv[2] : nullptr;
    const char *clock = std::getenv("CV_BENCH_CLOCK");
    g_cpu_clock = clock && std::strcmp(clock, "cpu") == 0;
    Engine e;
    if (SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &e.env) != SQL_SUCCESS) return 1;
    (void)SQLSetEnvAttr(e.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (SQLAllocHandle(SQL_HANDLE_DBC, e.env, &e.hdbc) != SQL_SUCCESS) return 1;
    DBC *dbc = static_cast<DBC *>(e.hdbc);
    e.pool = cv_mem_alloc_handle(dbc->pool);
    e.diag = CreateErrorHeader(e.pool, nullptr);
    e.provider.tables.push_back(make_table("BIG", rows, 7, 1000));
    e.provider.tables.push_back(make_table("L", 1000, 11, 1000));
    e.provider.tables.push_back(make_table("R", 1000, 13, 1000));
    e.provider.tables.push_back(make_table("A", 310, 17, 50));
    e.provider.tables.push_back(make_table("B", 230, 19, 50));
    e.provider.tables.push_back(make_table("M", 10000, 23, 100));
    e.provider.tables.push_back(make_table("S", 1000, 29, 10));
    memprov::install(dbc->dal, &e.provider, dbc);
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    memprov::load_into_sqlite(e.provider, db);

    struct Query {
        const char *name;
        const char *sql;
    } queries[] = {
        {"plain scan (reading cost alone)", "SELECT id, g, k FROM big"},
        {"ORDER BY two keys", "SELECT id, g, k FROM big ORDER BY g, k DESC"},
        {"GROUP BY 1,000 groups, 4 set functions", "SELECT g, COUNT(*), SUM(k), MIN(v), MAX(v) FROM big GROUP BY g"},
        {"COUNT(DISTINCT)", "SELECT COUNT(DISTINCT k) FROM big"},
        {"equality join 1,000 x 1,000", "SELECT l.id, r.id FROM l JOIN r ON l.g = r.g"},
        {"inequality join COUNT(*) 310 x 230", "SELECT COUNT(*) FROM a JOIN b ON a.k < b.k"},
        {"range join GROUP BY 1,000 x 1,000",
         "SELECT l.g, COUNT(*), SUM(r.v) FROM l JOIN r ON r.k BETWEEN l.k - 2000 AND l.k + 2000 GROUP BY l.g"},
        {"cross join GROUP BY, ORDER BY 10,000 x 1,000",
         "SELECT m.g, s.g, COUNT(*), MAX(m.k + s.k) FROM m, s GROUP BY m.g, s.g ORDER BY 4 DESC, 1, 2"},
    };
    std::printf("%d rows; %s times in seconds, best of 3; sort budget %lld bytes\n", rows, g_cpu_clock ? "CPU" : "wall",
                static_cast<long long>(sort_memory_budget(0)));
    std::printf("%-42s %10s %10s %8s %10s\n", "query", "engine", "sqlite", "ratio", "rows");
    for (const Query &q : queries) {
        if (only && !std::strstr(q.name, only)) continue;
        double best_e = 1e30, best_s = 1e30;
        int64_t ne = 0, ns = 0;
        for (int round = 0; round < 3; round++) {
            double te = run_engine(e, q.sql, &ne);
            double ts = run_sqlite(db, q.sql, &ns);
            if (te < best_e) best_e = te;
            if (ts < best_s) best_s = ts;
        }
        std::printf("%-42s %10.3f %10.3f %8.2f %10lld%s\n", q.name, best_e, best_s, best_s > 0 ? best_e / best_s : 0,
                    static_cast<long long>(ne), ne == ns ? "" : "  (row counts differ!)");
    }
    sqlite3_close(db);
    memprov::uninstall(dbc->dal);
    SQLFreeHandle(SQL_HANDLE_DBC, e.hdbc);
    SQLFreeHandle(SQL_HANDLE_ENV, e.env);
    return 0;
}
