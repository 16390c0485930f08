// SQLSetPos SQL_DELETE, SQL_UPDATE and SQL_ADD as statements of their own
// (see setpos_rows.h).
#include "odbc/setpos_rows.h"

#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "odbc/bound_buffer.h"
#include "odbc/convert.h"
#include "odbc/convert_param.h"
#include "odbc/stmt_run.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

struct PoolGuard {
    CvPool *pool;
    ~PoolGuard() { cv_mem_release_handle(pool); }
};

struct ColumnValue {
    int column;        // result column
    const char *name;  // its column in the table
    Value *value;
};

StatementRun *run_in(STMT *stmt) { return static_cast<StatementRun *>(stmt->exec_list); }

// The table the cursor's rows come from: that of its first column read
// straight from a table. Null after posting when there is none.
const char *cursor_table(STMT *stmt, StatementRun *run) {
    int count = query_result_column_count(run->query);
    for (int c = 1; c <= count; c++) {
        const QueryColumn *col = nullptr;
        if (query_describe_column(run->query, c, &col) == 0 && col && col->base_table[0]) return col->base_table;
    }
    (void)post_error(stmt->diag, "HY000", "General error: %s", "the cursor reads no base table");
    return nullptr;
}

// The table column result column `c` reads straight from `table`, or null.
const char *base_column(StatementRun *run, int c, const char *table) {
    const QueryColumn *col = nullptr;
    if (query_describe_column(run->query, c, &col) != 0 || !col || !col->base_column[0]) return nullptr;
    return strcasecmp(col->base_table, table) == 0 ? col->base_column : nullptr;
}

void append_name(std::string &out, const char *name) {
    out += '"';
    for (const char *p = name; *p; p++) out += *p == '"' ? std::string("\"\"") : std::string(1, *p);
    out += '"';
}

// The statement run below finds this statement's own cursor, whatever the
// name in its text.
int find_own(void *arg, const char *, QueryStatement **owner, Rowset **rowset) {
    auto *run = static_cast<StatementRun *>(arg);
    *owner = run->query;
    *rowset = run->rowset;
    return run->query && run->rowset ? 0 : 2;
}

// Runs `text` with `params` on an engine statement of its own. 0, 1 or -1.
int run_own(STMT *stmt, StatementRun *run, const std::string &text, const std::vector<Value *> &params) {
    QueryConnection connection = run->connection;
    connection.cursors = QueryCursorLookup{run, find_own};
    QueryStatement *q = query_statement_create(stmt->pool, stmt->diag, &connection);
    if (!q) return post_error(stmt->diag, "HY001", "Memory allocation error");
    int rc = query_prepare(q, text.c_str(), SQL_NTS);
    if (rc == 0) rc = query_execute(q, static_cast<int>(params.size()), params.data());
    query_statement_free(q);
    return rc < 0 || rc == 100 ? -1 : rc;
}

// The C type the parameter conversion knows for a bound column's type:
// the SQL type codes the column conversion also takes as C types mapped to
// theirs.
int parameter_c_type(int c_type) {
    switch (c_type) {
    case SQL_VARCHAR: case SQL_LONGVARCHAR: return SQL_C_CHAR;
    case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_FLOAT: return SQL_C_FLOAT;
    default: return c_type;
    }
}

SQLLEN read_length(const SQLLEN *p) {
    SQLLEN v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Bytes of a text buffer given as SQL_NTS, never looking past the buffer.
SQLLEN terminated_length(const void *data, int c_type, SQLLEN capacity) {
    if (c_type == SQL_C_WCHAR) {
        const auto *bytes = static_cast<const unsigned char *>(data);
        SQLLEN n = 0;
        while ((capacity <= 0 || n + 1 < capacity) && (bytes[n] | bytes[n + 1])) n += 2;
        return n;
    }
    const auto *text = static_cast<const char *>(data);
    return capacity > 0 ? static_cast<SQLLEN>(strnlen(text, static_cast<size_t>(capacity)))
                        : static_cast<SQLLEN>(std::strlen(text));
}

// The value of bound column `c` in entry `index` of the application's
// buffers: *out null when the column is to be left alone (unbound,
// SQL_COLUMN_IGNORE, a text cut when it was fetched and not rewritten).
// 0, or -1 (posted).
int bound_value(STMT *stmt, int c, int64_t index, CvPool *pool, Value **out) {
    *out = nullptr;
    DESC *ard = stmt->ard;
    if (c > ard->record_count || !ard->records || c > stmt->ird->record_count) return 0;
    const DescRecord &b = ard->records[c];
    if (!b.data_ptr && !b.indicator_ptr && !b.octet_length_ptr) return 0;
    const DescRecord &ird = stmt->ird->records[c];
    int c_type = b.concise_type == SQL_C_DEFAULT ? default_c_type(ird.concise_type) : b.concise_type;
    c_type = parameter_c_type(c_type);
    BoundElement at = bound_element(ard->header, b, c_type, static_cast<SQLLEN>(index));
    SQLLEN indicator = at.indicator ? read_length(at.indicator) : 0;
    if (indicator == SQL_COLUMN_IGNORE) return 0;
    if (indicator == SQL_DATA_AT_EXEC || indicator <= SQL_LEN_DATA_AT_EXEC_OFFSET)
        return post_error(stmt->diag, "HYC00", "Optional feature not implemented: %s",
                          "data at execution in SQLSetPos and SQLBulkOperations");
    SQLLEN length = indicator == SQL_NULL_DATA ? SQL_NULL_DATA : at.octet_length ? read_length(at.octet_length) : SQL_NTS;
    if (length == SQL_COLUMN_IGNORE) return 0;
    if (!at.data && length != SQL_NULL_DATA) return 0;  // only an indicator bound: nothing to send
    bool variable = c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY;
    if (variable && length != SQL_NULL_DATA) {
        if (length == SQL_NTS && c_type != SQL_C_BINARY) length = terminated_length(at.data, c_type, b.octet_length);
        // A length beyond the buffer is the whole length the fetch
        // reported for a value it had to cut: the buffer holds only part of
        // it, and the application did not set a value of its own.
        if (b.octet_length > 0 && length > b.octet_length) return 0;
        if (length < 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    }
    ParamFacts facts{};
    facts.c_type = c_type;
    facts.sql_type = ird.concise_type;
    facts.column_size = ird.concise_type == SQL_NUMERIC || ird.concise_type == SQL_DECIMAL
                            ? static_cast<SQLULEN>(ird.precision > 0 ? ird.precision : 0)
                            : 0;
    facts.scale = ird.scale;
    facts.odbc_version = stmt->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3;
    *out = make_parameter_value(stmt->diag, at.data, &length, facts, pool, nullptr);
    return *out ? 0 : -1;
}

// True when `now` holds what the row already holds.
bool same_value(const Value *before, const Value *now, CvPool *pool) {
    if (!before) return false;
    if (before->is_null || now->is_null) return before->is_null && now->is_null;
    size_t a_length = 0, b_length = 0;
    const char *a = value_text_in_pool(before, pool, &a_length);
    const char *b = value_text_in_pool(now, pool, &b_length);
    return a && b && a_length == b_length && std::memcmp(a, b, a_length) == 0;
}

// The bound values of one buffer entry for the cursor's table.
struct BoundRow {
    STMT *stmt = nullptr;
    StatementRun *run = nullptr;
    const char *table = nullptr;
    PoolGuard work{nullptr};         // the values' pool
    std::vector<ColumnValue> columns;
};

// Fills `r` from entry `index` of the bound columns read straight from the
// cursor's table. 0, or -1 (posted; 21S02 when no such column is bound).
int read_bound_row(BoundRow &r, int64_t index) {
    r.run = run_in(r.stmt);
    r.table = cursor_table(r.stmt, r.run);
    if (!r.table) return -1;
    r.work.pool = cv_mem_alloc_handle(r.stmt->pool);
    if (!r.work.pool) return post_error(r.stmt->diag, "HY001", "Memory allocation error");
    int count = query_result_column_count(r.run->query);
    for (int c = 1; c <= count; c++) {
        const char *name = base_column(r.run, c, r.table);
        if (!name) continue;
        Value *v = nullptr;
        if (bound_value(r.stmt, c, index, r.work.pool, &v) != 0) return -1;
        if (v) r.columns.push_back({c, name, v});
    }
    if (r.columns.empty()) return post_error(r.stmt->diag, "21S02", "Degree of derived table does not match column list");
    return 0;
}

}  // namespace

int setpos_delete_row(void *arg, int64_t, Value *const *) {
    auto *stmt = static_cast<STMT *>(arg);
    StatementRun *run = run_in(stmt);
    const char *table = cursor_table(stmt, run);
    if (!table) return -1;
    std::string text = "DELETE FROM ";
    append_name(text, table);
    text += " WHERE CURRENT OF c";
    return run_own(stmt, run, text, {});
}

int setpos_update_row(void *arg, int64_t, int64_t index, Value **values, CvPool *pool) {
    BoundRow r{};
    r.stmt = static_cast<STMT *>(arg);
    if (read_bound_row(r, index) != 0) return -1;
    // Only what the application changed is sent: PayPal refuses a replace
    // of some members even with the value they hold, and a value another
    // client changed meanwhile is not overwritten by the one this cursor read.
    std::vector<ColumnValue> sets;
    for (const ColumnValue &b : r.columns)
        if (!same_value(values[b.column], b.value, r.work.pool)) sets.push_back(b);
    if (sets.empty()) return 0;
    std::string text = "UPDATE ";
    append_name(text, r.table);
    std::vector<Value *> params;
    for (const ColumnValue &b : sets) {
        text += params.empty() ? " SET " : ", ";
        append_name(text, b.name);
        text += " = ?";
        params.push_back(b.value);
    }
    text += " WHERE CURRENT OF c";
    int rc = run_own(r.stmt, r.run, text, params);
    if (rc < 0) return -1;
    for (const ColumnValue &b : sets) {
        Value *kept = duplicate_value(b.value, pool);
        if (!kept) return post_error(r.stmt->diag, "HY001", "Memory allocation error");
        values[b.column] = kept;
    }
    return rc;
}

int setpos_insert_row(void *arg, int64_t index) {
    BoundRow r{};
    r.stmt = static_cast<STMT *>(arg);
    if (read_bound_row(r, index) != 0) return -1;
    std::string text = "INSERT INTO ";
    append_name(text, r.table);
    std::string markers;
    std::vector<Value *> params;
    for (const ColumnValue &b : r.columns) {
        text += params.empty() ? " (" : ", ";
        append_name(text, b.name);
        markers += params.empty() ? "?" : ", ?";
        params.push_back(b.value);
    }
    text += ") VALUES (" + markers + ")";
    return run_own(r.stmt, r.run, text, params);
}
