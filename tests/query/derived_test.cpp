// Derived tables in the FROM clause, compared with SQLite over the same rows
// (data/derived_queries.txt): with the provider applying and ignoring the
// restrictions it is offered, with small memory (rows kept in work files),
// and with relational_opt on and off.
#include <fstream>
#include <string>
#include <vector>

#include "tests/query/engine_fixture.h"

namespace {

struct Case {
    std::string ours;
    std::string sqlite;
};

std::vector<Case> load_cases() {
    std::vector<Case> cases;
    std::ifstream in(std::string(CV_QUERY_TEST_DATA) + "/derived_queries.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("sqlite: ", 0) == 0 && !cases.empty()) {
            cases.back().sqlite = line.substr(8);
            continue;
        }
        cases.push_back(Case{line, line});
    }
    return cases;
}

class Derived : public EngineFixture, public ::testing::WithParamInterface<unsigned> {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        unsigned seed = GetParam();
        provider.tables.push_back(memprov::generate("T1", 80, seed, true));
        provider.tables.push_back(memprov::generate("T2", 25, seed + 100, true));
        provider.tables.push_back(memprov::generate("T3", 12, seed + 200, true));
        memprov::load_into_sqlite(provider, db);
        cases = load_cases();
    }

    void expect_all(const char *how) {
        ASSERT_GE(cases.size(), 40u);
        for (const Case &c : cases) {
            Rows expected = sorted(sqlite_rows(c.sqlite));
            RunResult r = run(c.ours);
            ASSERT_EQ(r.code, 0) << c.ours << " (" << how << "): " << r.sqlstate << " " << r.message;
            EXPECT_EQ(sorted(r.rows), expected) << c.ours << " (" << how << ")";
            EXPECT_EQ(provider.open_iterators, 0) << c.ours;
        }
    }

    std::vector<Case> cases;
};

TEST_P(Derived, SameRowsAsSQLite) {
    provider.ignore_restrictions = false;
    expect_all("restrictions applied");
    provider.ignore_restrictions = true;
    expect_all("restrictions ignored");
}

TEST_P(Derived, RowsKeptInWorkFilesGiveTheSameRows) {
    work_mem_size = 1;  // the smallest budget: kept rows go to work files at once
    provider.lazy = 0;
    expect_all("small memory");
}

TEST_P(Derived, RelationalOptGivesTheSameRows) {
    relational_opt = 1;
    expect_all("relational_opt on");
    provider.ignore_restrictions = true;
    expect_all("relational_opt on, restrictions ignored");
}

INSTANTIATE_TEST_SUITE_P(Seeds, Derived, ::testing::Values(1u, 2u, 3u));

// An uncorrelated derived table is read once per execution, however often
// the nested loop goes over it.
TEST_F(EngineFixture, DerivedTableIsReadOncePerExecution) {
    provider.tables.push_back(memprov::generate("T1", 30, 7, false));
    provider.tables.push_back(memprov::generate("T2", 20, 8, false));
    const size_t before = provider.scans.size();
    RunResult r = run("SELECT t1.id, d.id FROM t1, (SELECT id, a FROM t2) d WHERE d.a < t1.a + 100");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(r.rows.size(), 600u);
    EXPECT_EQ(provider.scans.size() - before, 2u);
}

}  // namespace
