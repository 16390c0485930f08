// A connection whose data access layer serves the in-memory test provider,
// and helpers to run statement texts through the query engine and SQLite.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "query/exec_api.h"

#include "support/pool.h"
#include "tests/query/memory_provider.h"

struct DBC;
struct ErrorHeader;
struct CvPool;
struct Value;

using Rows = std::vector<std::vector<std::string>>;

struct RunResult {
    int code = 0;              // query_run_text's result
    std::string sqlstate;      // first diagnostic, when failed
    std::string message;
    Rows rows;
};

class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Runs `sql` through the engine; values printed by print_value.
    RunResult run(const std::string &sql, const std::vector<Value *> &params = {});
    /// The connection record run() uses.
    QueryConnection connection() const;
    /// Runs `sql` through SQLite, printed the same way.
    Rows sqlite_rows(const std::string &sql);
    /// Tables T1 (80 rows), T2 (25) and T3 (12) generated from `seed`, with
    /// NULLs and duplicates, and T4 (60) and T5 (20) of the other column
    /// types (memprov::generate_typed), served by the provider and loaded
    /// into SQLite.
    void add_seeded_tables(unsigned seed);
    /// Column 1 of every remaining row of an executed statement.
    static std::vector<std::string> first_column(QueryStatement *st);
    /// A parameter value in the fixture's pool.
    Value *int_param(int32_t v);
    Value *text_param(const std::string &s);
    Value *null_param();

    memprov::Provider provider;
    int64_t work_mem_size = 0;     // the connection's sort budget in bytes (0: default)
    int32_t in_expansion = 0;      // the connection option in_expansion
    int32_t relational_opt = 0;    // the connection option relational_opt
    std::string work_dir;          // the connection's work directory ("" : default)
    sqlite3 *db = nullptr;
    void *env = nullptr;
    void *hdbc = nullptr;
    DBC *dbc = nullptr;
    CvPool *pool = nullptr;
    ErrorHeader *diag = nullptr;
};

/// An engine fixture with table T1 (10 generated rows) and one statement on
/// the fixture's connection; the provider must have no iterator left open.
class StatementFixture : public EngineFixture {
protected:
    explicit StatementFixture(bool t1_with_nulls) : t1_with_nulls(t1_with_nulls) {}
    void SetUp() override;
    void TearDown() override;
    /// Column 1 of every remaining row of the statement.
    std::vector<std::string> rows() { return first_column(st); }

    const bool t1_with_nulls;
    QueryStatement *st = nullptr;
};

/// Integers in decimal, doubles and exact numerics with six decimals, texts
/// (long ones too) as they are, NULL.
std::string print_value(const Value *v);
/// Rows sorted, for comparing results whose order is not defined.
Rows sorted(Rows rows);
