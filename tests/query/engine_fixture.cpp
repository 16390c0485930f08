#include "tests/query/engine_fixture.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "odbc/handles.h"
#include "query/run_text.h"
#include "support/diag.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/value_ops.h"

void EngineFixture::SetUp() {
    SQLHENV e = nullptr;
    SQLHDBC d = nullptr;
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &e), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, e, &d), SQL_SUCCESS);
    env = e;
    hdbc = d;
    dbc = static_cast<DBC *>(d);
    pool = cv_mem_alloc_handle(dbc->pool);
    diag = dbc->diag;  // providers post on the handle given to the DAL
    memprov::install(dbc->dal, &provider, dbc);
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
}

void EngineFixture::TearDown() {
    sqlite3_close(db);
    cv_mem_release_handle(pool);
    memprov::uninstall(dbc->dal);
    SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

QueryConnection EngineFixture::connection() const {
    QueryConnection c{};
    c.dal = dbc->dal;
    c.dal_handle = dbc;
    c.odbc_version = 3;
    c.user = "tester";
    c.work_mem_size = work_mem_size;
    c.work_dir_path = work_dir.empty() ? nullptr : work_dir.c_str();
    c.in_expansion = in_expansion;
    c.relational_opt = relational_opt;
    return c;
}

RunResult EngineFixture::run(const std::string &sql, const std::vector<Value *> &params) {
    QueryConnection c = connection();
    SetupErrorHeader(diag, 0);
    CvPool *rows_pool = cv_mem_alloc_handle(pool);
    QueryRows rows{};
    RunResult out;
    out.code = query_run_text(&c, diag, rows_pool, sql.c_str(), static_cast<int>(params.size()), params.data(), 0,
                              &rows);
    if (out.code < 0 && diag_count(diag) > 0) {
        out.sqlstate = diag_sqlstate(diag, 1);
        out.message = diag_message(diag, 1);
    }
    for (int64_t r = 0; r < rows.row_count; r++) {
        std::vector<std::string> row;
        for (int k = 0; k < rows.column_count; k++) row.push_back(print_value(rows.values[r * rows.column_count + k]));
        out.rows.push_back(row);
    }
    cv_mem_release_handle(rows_pool);
    return out;
}

Rows EngineFixture::sqlite_rows(const std::string &sql) {
    Rows out;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "sqlite: " << sqlite3_errmsg(db) << " in " << sql;
        return out;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int k = 0; k < sqlite3_column_count(st); k++) {
            char text[64];
            switch (sqlite3_column_type(st, k)) {
                case SQLITE_NULL: row.emplace_back("NULL"); break;
                case SQLITE_INTEGER:
                    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(sqlite3_column_int64(st, k)));
                    row.emplace_back(text);
                    break;
                case SQLITE_FLOAT:
                    // -0.0 (a negative times zero) prints as 0 here too
                    std::snprintf(text, sizeof text, "%.6f", sqlite3_column_double(st, k) + 0.0);
                    row.emplace_back(text);
                    break;
                default: row.emplace_back(reinterpret_cast<const char *>(sqlite3_column_text(st, k)));
            }
        }
        out.push_back(row);
    }
    sqlite3_finalize(st);
    return out;
}

Value *EngineFixture::int_param(int32_t v) {
    Value *p = new_value_of_type(pool, VT_INTEGER);
    p->data.i = v;
    return p;
}

Value *EngineFixture::text_param(const std::string &s) {
    Value *p = NewValue(pool, 0);
    EXPECT_EQ(set_value_text(p, s.data(), s.size()), 0);
    return p;
}

Value *EngineFixture::null_param() {
    Value *p = new_value_of_type(pool, VT_INTEGER);
    set_value_null(p, VT_INTEGER);
    return p;
}

std::string print_value(const Value *v) {
    if (!v || v->is_null) return "NULL";
    char text[128];
    switch (v->type) {
        case VT_INTEGER:
        case VT_BIT: std::snprintf(text, sizeof text, "%d", v->data.i); return text;
        case VT_BIGINT: std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v->data.big)); return text;
        case VT_DOUBLE: std::snprintf(text, sizeof text, "%.6f", v->data.d + 0.0); return text;
        case VT_CHAR: return std::string(v->data.s, static_cast<size_t>(v->length));
        case VT_LONG_CHAR:
            return v->long_buffer ? std::string(long_buffer_data(v->long_buffer), long_buffer_length(v->long_buffer))
                                  : std::string();
        // As SQLite prints the REAL it holds exact numerics as.
        case VT_NUMERIC: std::snprintf(text, sizeof text, "%.6f", numeric_to_double(&v->data.num)); return text;
        default: {
            size_t n = 0;
            (void)value_as_text(v, text, sizeof text, &n);
            return text;
        }
    }
}

Rows sorted(Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

void EngineFixture::add_seeded_tables(unsigned seed) {
    provider.tables.push_back(memprov::generate("T1", 80, seed, true));
    provider.tables.push_back(memprov::generate("T2", 25, seed + 100, true));
    provider.tables.push_back(memprov::generate("T3", 12, seed + 200, true));
    provider.tables.push_back(memprov::generate_typed("T4", 60, seed + 300));
    provider.tables.push_back(memprov::generate_typed("T5", 20, seed + 400));
    memprov::load_into_sqlite(provider, db);
}

std::vector<std::string> EngineFixture::first_column(QueryStatement *st) {
    std::vector<std::string> out;
    while (query_fetch(st) == 0) out.push_back(print_value(query_column_value(st, 1)));
    return out;
}

void StatementFixture::SetUp() {
    EngineFixture::SetUp();
    provider.tables.push_back(memprov::generate("T1", 10, 4, t1_with_nulls));
    QueryConnection c = connection();
    st = query_statement_create(pool, diag, &c);
    ASSERT_NE(st, nullptr);
}

void StatementFixture::TearDown() {
    query_statement_free(st);
    EXPECT_EQ(provider.open_iterators, 0);
    EngineFixture::TearDown();
}
