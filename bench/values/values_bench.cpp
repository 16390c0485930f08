// Benchmarks of the value layer against baselines measured in the same run:
// our LIKE matcher against SQLite's (sqlite3_strlike, the matcher behind its
// LIKE operator), and exact-numeric addition and comparison against plain
// __int128 arithmetic. Prints the ratio ours / baseline for each pair.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/like.h"
#include "support/numeric.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

struct LikeData {
    std::vector<std::string> subjects;
    std::vector<std::string> patterns = {"abc%", "%xyz", "%a%b%c%", "a_c%", "%needle%", "%a%a%a%a%b"};
    LikeData() {
        std::mt19937 rng(1);
        for (int i = 0; i < 256; i++) {
            std::string s;
            int n = 8 + static_cast<int>(rng() % 120);
            for (int k = 0; k < n; k++) s += static_cast<char>('a' + rng() % 26);
            if (i % 7 == 0) s.insert(s.size() / 2, "needle");
            subjects.push_back(s);
        }
    }
};

const LikeData &like_data() {
    static LikeData d;
    return d;
}

void BM_LikeOurs(benchmark::State &state) {
    const LikeData &d = like_data();
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    std::vector<Value *> compiled, subjects;
    for (const auto &p : d.patterns) {
        Value *pv = new_value_of_type(pool, VT_CHAR);
        (void)set_value_text(pv, p.data(), p.size());
        Value *c = nullptr;
        (void)like_compile(pv, nullptr, pool, &c);  // once per query
        compiled.push_back(c);
    }
    for (const auto &s : d.subjects) {
        Value *sv = new_value_of_type(pool, VT_CHAR);
        (void)set_value_text(sv, s.data(), s.size());
        subjects.push_back(sv);
    }
    int hits = 0;
    for (auto _ : state) {
        for (Value *c : compiled)
            for (Value *s : subjects) hits += like_match(c, s);
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations() * compiled.size() * subjects.size());
    cv_mem_release_handle(pool);
}

void BM_LikeSqlite(benchmark::State &state) {
    const LikeData &d = like_data();
    int hits = 0;
    for (auto _ : state) {
        for (const auto &p : d.patterns)
            for (const auto &s : d.subjects) hits += sqlite3_strlike(p.c_str(), s.c_str(), 0) == 0;
    }
    benchmark::DoNotOptimize(hits);
    state.SetItemsProcessed(state.iterations() * d.patterns.size() * d.subjects.size());
}

std::vector<SQL_NUMERIC_STRUCT> numerics(std::vector<unsigned __int128> *raw) {
    std::mt19937_64 rng(2);
    std::vector<SQL_NUMERIC_STRUCT> v;
    for (int i = 0; i < 1024; i++) {
        unsigned __int128 m = (static_cast<unsigned __int128>(rng() % 1000000000000ULL) << 20) + rng() % 1000;
        SQL_NUMERIC_STRUCT n{};
        (void)numeric_set(&n, m, i % 3 == 0, 0, 2);
        v.push_back(n);
        raw->push_back(m);
    }
    return v;
}

void BM_NumericAddOurs(benchmark::State &state) {
    std::vector<unsigned __int128> raw;
    auto v = numerics(&raw);
    SQL_NUMERIC_STRUCT acc{};
    for (auto _ : state) {
        for (size_t i = 0; i + 1 < v.size(); i++) {
            (void)numeric_add(&v[i], &v[i + 1], &acc);
            benchmark::DoNotOptimize(acc);
        }
    }
    state.SetItemsProcessed(state.iterations() * (v.size() - 1));
}

void BM_NumericAddInt128(benchmark::State &state) {
    std::vector<unsigned __int128> raw;
    auto v = numerics(&raw);
    std::vector<__int128> s;
    for (size_t i = 0; i < raw.size(); i++) s.push_back(i % 3 == 0 ? -static_cast<__int128>(raw[i]) : raw[i]);
    __int128 acc = 0;
    for (auto _ : state) {
        for (size_t i = 0; i + 1 < s.size(); i++) {
            acc = s[i] + s[i + 1];
            benchmark::DoNotOptimize(acc);
        }
    }
    state.SetItemsProcessed(state.iterations() * (s.size() - 1));
}

void BM_NumericCompareOurs(benchmark::State &state) {
    std::vector<unsigned __int128> raw;
    auto v = numerics(&raw);
    int sum = 0;
    for (auto _ : state) {
        for (size_t i = 0; i + 1 < v.size(); i++) sum += numeric_compare(&v[i], &v[i + 1]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * (v.size() - 1));
}

void BM_NumericCompareInt128(benchmark::State &state) {
    std::vector<unsigned __int128> raw;
    auto v = numerics(&raw);
    std::vector<__int128> s;
    for (size_t i = 0; i < raw.size(); i++) s.push_back(i % 3 == 0 ? -static_cast<__int128>(raw[i]) : raw[i]);
    int sum = 0;
    for (auto _ : state) {
        for (size_t i = 0; i + 1 < s.size(); i++) sum += (s[i] > s[i + 1]) - (s[i] < s[i + 1]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * (s.size() - 1));
}

BENCHMARK(BM_LikeOurs);
BENCHMARK(BM_LikeSqlite);
BENCHMARK(BM_NumericAddOurs);
BENCHMARK(BM_NumericAddInt128);
BENCHMARK(BM_NumericCompareOurs);
BENCHMARK(BM_NumericCompareInt128);

// Records each benchmark's time per iteration so main can print ratios.
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
    const char *pairs[][2] = {{"BM_LikeOurs", "BM_LikeSqlite"},
                              {"BM_NumericAddOurs", "BM_NumericAddInt128"},
                              {"BM_NumericCompareOurs", "BM_NumericCompareInt128"}};
    std::printf("\nratio (ours / baseline, lower is better):\n");
    for (const auto &p : pairs) {
        auto a = reporter.times.find(p[0]), b = reporter.times.find(p[1]);
        if (a != reporter.times.end() && b != reporter.times.end() && b->second > 0)
            std::printf("  %-24s / %-24s = %.2f\n", p[0], p[1], a->second / b->second);
    }
    benchmark::Shutdown();
    return 0;
}
