// libFuzzer entry: prepares the input as SQL on a connection whose data
// access layer serves small generated tables under any name, and when it
// validates, executes it and reads its rows (at most a few hundred), once
// with the provider applying restrictions and once ignoring them; the two
// results must agree, and again (as sets of rows, unless TOP picks some)
// with uncorrelated sub-queries expanded into values before planning. A
// further run asks for row identities as a keyset cursor does, and reads
// every row again by its identity once all were produced: the rows read
// again must be the rows first produced. Queries joining more than three
// tables are only validated, so one input cannot run for long.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "odbc/handles.h"
#include "query/exec_api.h"
#include "query/records.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"
#include "tests/query/memory_provider.h"

namespace {

constexpr size_t kMaxRows = 300;  // rows read from one run

struct World {
    memprov::Provider provider;
    SQLHENV env = nullptr;
    SQLHDBC hdbc = nullptr;
    DBC *dbc = nullptr;
    World() {
        provider.tables.push_back(memprov::generate("T1", 6, 1, true));
        provider.tables.push_back(memprov::generate("T2", 4, 2, true));
        provider.tables.push_back(memprov::generate("T3", 3, 3, true));
        // Each kind of row identity: key column ID, row number, key string.
        provider.tables[0].key_columns = 1;
        provider.tables[0].identity = kRowIdentityKeyColumns;
        provider.tables[1].key_columns = 1;
        provider.tables[1].identity = kRowIdentityRowNumber;
        provider.tables[2].identity = kRowIdentityKeyString;
        // Dates, timestamps, exact numerics of three scales, long texts.
        provider.tables.push_back(memprov::generate_typed("T4", 5, 5));
        provider.tables.back().key_columns = 1;
        provider.tables.back().identity = kRowIdentityKeyColumns;
        provider.tables.push_back(memprov::generate("ANY", 3, 4, true));
        provider.any_table = &provider.tables.back();  // every other name is this table
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

int total_slots(const QueryScope *s, int depth) {
    if (!s || depth > 50) return 1000;
    int n = s->slot_count;
    for (ListCell *c = ListFirst(s->subqueries); c; c = ListNext(c))
        n += total_slots(static_cast<const QueryScope *>(ListData(c)), depth + 1);
    return n + (s->union_next ? total_slots(s->union_next, depth + 1) : 0);
}

// Whether some query of the statement (sub-queries, derived tables and
// UNION branches included) takes its first rows only (TOP): which rows
// those are depends on the order rows come in.
bool takes_first_rows(const QueryScope *s, int depth) {
    if (!s || depth > 50) return false;
    if (s->top > 0) return true;
    for (ListCell *c = ListFirst(s->subqueries); c; c = ListNext(c))
        if (takes_first_rows(static_cast<const QueryScope *>(ListData(c)), depth + 1)) return true;
    for (int i = 0; i < s->slot_count; i++)
        if (s->slots[i] && takes_first_rows(s->slots[i]->derived, depth + 1)) return true;
    return takes_first_rows(s->union_next, depth + 1);
}

// A value's whole text and a separator ("NULL|" for NULL; long texts whole).
std::string value_text(const Value *v) {
    if (v->is_null) return "NULL|";
    size_t n = 0;
    char probe[1];
    if (value_as_text(v, probe, sizeof probe, &n) < 0) return "|";
    std::string text(n + 1, '\0');
    (void)value_as_text(v, text.data(), text.size(), nullptr);
    text.resize(n);
    return text + "|";
}

// "error" and the first diagnostic's SQLSTATE: the line a failed run gives.
std::string failure(QueryStatement *st) {
    return std::string("error ") + (diag_count(st->diag) > 0 ? diag_sqlstate(st->diag, 1) : "");
}

// Runs the prepared statement; the rows as text, or an "error" line.
std::vector<std::string> run(QueryStatement *st) {
    std::vector<std::string> out;
    SetupErrorHeader(st->diag, 0);
    if (query_execute(st, 0, nullptr) != 0) return {failure(st)};
    int columns = query_result_column_count(st);
    for (size_t row = 0; row < kMaxRows; row++) {
        int r = query_fetch(st);
        if (r == 100) break;
        if (r != 0) return {failure(st)};
        std::string line;
        for (int c = 1; c <= columns; c++) {
            Value *v = query_column_value(st, c);
            if (!v) std::abort();
            line += value_text(v);
        }
        out.push_back(line);
    }
    query_close_cursor(st);
    return out;
}

std::string row_text(Value *const *values, int columns) {
    std::string line;
    for (int c = 0; c < columns; c++) {
        Value *v = values[c];
        if (!v) std::abort();
        line += value_text(v);
    }
    return line;
}

// As a keyset cursor: every row and copies of its identity first, then
// each row read again by its identity. The rows as text; "error" lines.
std::vector<std::string> run_keyset(QueryStatement *st, CvPool *pool, std::vector<std::string> &again) {
    std::vector<std::string> out;
    std::vector<std::vector<Value *>> identities;
    SetupErrorHeader(st->diag, 0);
    if (query_execute(st, 0, nullptr) != 0) return {failure(st)};
    int columns = query_result_column_count(st);
    int count = query_identity_count(st);
    std::vector<Value *> row(static_cast<size_t>(columns));
    for (size_t n = 0; n < kMaxRows; n++) {
        int r = query_fetch(st);
        if (r == 100) break;
        if (r != 0) return {failure(st)};
        for (int c = 1; c <= columns; c++) row[static_cast<size_t>(c - 1)] = query_column_value(st, c);
        out.push_back(row_text(row.data(), columns));
        std::vector<Value *> id;
        for (int k = 1; k <= count; k++) {
            Value *v = query_identity_value(st, k);
            Value *kept = v ? duplicate_value(v, pool) : nullptr;
            if (!kept) return {failure(st)};
            id.push_back(kept);
        }
        identities.push_back(id);
    }
    for (std::vector<Value *> &id : identities) {
        if (count == 0) break;
        int r = query_refetch_row(st, id.data(), row.data());
        again.push_back(r == 0 ? row_text(row.data(), columns) : r == 100 ? "gone" : "error");
    }
    query_close_cursor(st);
    return out;
}

// Whether two runs agree. A data exception (division by zero, overflow)
// depends on which rows are evaluated, which differs with the rows the
// provider leaves out: a run failing with one agrees with any other.
bool agree(const std::vector<std::string> &a, const std::vector<std::string> &b) {
    auto data_exception = [](const std::vector<std::string> &r) {
        return r.size() == 1 && r[0].rfind("error 22", 0) == 0;
    };
    return a == b || data_exception(a) || data_exception(b);
}

// Whether two runs of different plans agree: the same rows, in any order
// (without ORDER BY, and among equal ORDER BY keys, the order rows come in
// is the plan's: an expanded sub-query's values scan the table once each).
bool agree_as_sets(std::vector<std::string> a, std::vector<std::string> b) {
    if (a.size() >= kMaxRows || b.size() >= kMaxRows) return true;  // each plan's first rows
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return agree(a, b);
}

// Whether the text may name a function whose value changes from one run to
// the next (the clock, RAND): its runs need not agree.
bool may_vary(const std::string &sql) {
    std::string upper;
    for (char ch : sql) upper += static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
    for (const char *word : {"CUR", "NOW", "RAND"})
        if (upper.find(word) != std::string::npos) return true;
    return false;
}

// The rows of a run, on stderr, when two runs disagree.
void show(const char *what, const std::vector<std::string> &rows) {
    std::fprintf(stderr, "%s:\n", what);
    for (const std::string &r : rows) std::fprintf(stderr, "  %s\n", r.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    World &w = world();
    std::string sql(reinterpret_cast<const char *>(data), size);
    sql = sql.c_str();
    QueryConnection c{};
    c.dal = w.dbc->dal;
    c.dal_handle = w.dbc;
    c.odbc_version = 3;
    SetupErrorHeader(w.dbc->diag, 0);
    w.provider.scans.clear();  // the request logs are not needed here
    w.provider.fetches.clear();
    QueryStatement *st = query_statement_create(w.dbc->pool, w.dbc->diag, &c);
    if (!st) return 0;
    if (query_prepare(st, sql.c_str(), SQL_NTS) == 0) {
        bool small = true;
        for (int i = 0; i < st->statement_count; i++)
            if (st->statements[i]->scope && total_slots(st->statements[i]->scope, 0) > 3) small = false;
        const bool runs = small && query_statement_kind(st) == QueryStatementKind::kQuery && query_parameter_count(st) == 0;
        if (runs && may_vary(sql)) {
            w.provider.ignore_restrictions = false;
            (void)run(st);  // once: no other run to compare with
        } else if (runs) {
            w.provider.ignore_restrictions = false;
            std::vector<std::string> pushed = run(st);
            w.provider.ignore_restrictions = true;
            std::vector<std::string> ignored = run(st);
            if (!agree(pushed, ignored)) {
                std::fprintf(stderr, "results depend on the provider applying restrictions: %s\n", sql.c_str());
                std::abort();
            }
            // Uncorrelated sub-queries expanded into values before planning:
            // another plan, so the rows may come in another order, and TOP
            // may then take others.
            bool first_rows = false;
            for (int i = 0; i < st->statement_count; i++)
                first_rows = first_rows || takes_first_rows(st->statements[i]->scope, 0);
            st->connection.in_expansion = 1;
            std::vector<std::string> expanded = run(st);
            st->connection.in_expansion = 0;
            if (!first_rows && !agree_as_sets(expanded, ignored)) {
                std::fprintf(stderr, "results depend on sub-queries expanded into values: %s\n", sql.c_str());
                show("expanded", expanded);
                show("not expanded", ignored);
                std::abort();
            }
            QueryOptions keyset{};
            keyset.row_identity = 1;
            query_set_options(st, &keyset);
            CvPool *pool = cv_mem_alloc_handle(w.dbc->pool);
            std::vector<std::string> again;
            std::vector<std::string> rows = run_keyset(st, pool, again);
            cv_mem_release_handle(pool);
            if (!agree(rows, ignored) || (!again.empty() && again != rows)) {
                std::fprintf(stderr, "rows read again by their identity differ: %s\n", sql.c_str());
                std::abort();
            }
        }
    }
    query_statement_free(st);
    if (w.provider.open_iterators != 0) {
        std::fprintf(stderr, "iterator left open: %s\n", sql.c_str());
        std::abort();
    }
    return 0;
}
