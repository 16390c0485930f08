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
#include "odbc/fetch.h"
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

}  // namespace

// One bound column of one buffer entry that takes data at execution.
struct SetPosPendingItem {
    int64_t entry;
    int32_t column;
    void *token;  // the entry's buffer address: SQLParamData's answer
    Value *sent;  // the bytes sent so far (VT_CHAR), NULL when SQL_NULL_DATA was
                  // sent, null before the first piece
};

struct SetPosPending {
    CvPool *pool;  // the record's own pool
    SetPosRequest request;
    int32_t count;
    int32_t current;  // item taking pieces; -1 before the first SQLParamData
    SetPosPendingItem *items;
};

namespace {

bool is_data_at_exec(SQLLEN v) { return v == SQL_DATA_AT_EXEC || v <= SQL_LEN_DATA_AT_EXEC_OFFSET; }

const SetPosPendingItem *pending_item(const StatementRun *run, int64_t entry, int column) {
    const SetPosPending *p = run ? run->set_pos_pending : nullptr;
    for (int32_t i = 0; p && i < p->count; i++)
        if (p->items[i].entry == entry && p->items[i].column == column) return &p->items[i];
    return nullptr;
}

// The table the cursor's rows come from: that of its first column read
// straight from a table, or null.
const char *first_table(StatementRun *run) {
    int count = query_result_column_count(run->query);
    for (int c = 1; c <= count; c++) {
        const QueryColumn *col = nullptr;
        if (query_describe_column(run->query, c, &col) == 0 && col && col->base_table[0]) return col->base_table;
    }
    return nullptr;
}

// As first_table, posting when there is none.
const char *cursor_table(STMT *stmt, StatementRun *run) {
    const char *table = first_table(run);
    if (!table) (void)post_error(stmt->diag, "HY000", "General error: %s", "the cursor reads no base table");
    return table;
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

// The C type bound column `c` converts from, SQL_C_DEFAULT resolved.
int bound_c_type(const STMT *stmt, int c) {
    int c_type = stmt->ard->records[c].concise_type;
    if (c_type == SQL_C_DEFAULT) c_type = default_c_type(stmt->ird->records[c].concise_type);
    return parameter_c_type(c_type);
}

bool is_variable(int c_type) { return c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY; }

// True when entry `index` of bound column `c` says data at execution.
bool takes_data_at_exec(const STMT *stmt, int c, int64_t index) {
    const DescRecord &b = stmt->ard->records[c];
    BoundElement at = bound_element(stmt->ard->header, b, bound_c_type(stmt, c), static_cast<SQLLEN>(index));
    return (at.indicator && is_data_at_exec(read_length(at.indicator))) ||
           (at.octet_length && is_data_at_exec(read_length(at.octet_length)));
}

// Where the value of entry `index` of bound column `c` is and its length,
// from the application's buffers or from the data sent at execution. False
// when the column is to be left alone (SQL_COLUMN_IGNORE, only an
// indicator bound, a text cut when it was fetched and not rewritten).
// -1 (posted) for a bad length.
int bound_data(STMT *stmt, int c, int64_t index, const void **data, SQLLEN *length) {
    static const char kNothingSent[64] = {};
    const DescRecord &b = stmt->ard->records[c];
    int c_type = bound_c_type(stmt, c);
    if (takes_data_at_exec(stmt, c, index)) {
        const SetPosPendingItem *item = pending_item(run_in(stmt), index, c);
        if (!item) return post_error(stmt->diag, "HY010", "Function sequence error");
        // A column sent no piece at all is an empty value of its type.
        *data = item->sent && !item->sent->is_null ? static_cast<const void *>(item->sent->data.s) : kNothingSent;
        *length = !item->sent ? 0 : item->sent->is_null ? SQL_NULL_DATA : static_cast<SQLLEN>(item->sent->length);
        return 1;
    }
    BoundElement at = bound_element(stmt->ard->header, b, c_type, static_cast<SQLLEN>(index));
    SQLLEN indicator = at.indicator ? read_length(at.indicator) : 0;
    if (indicator == SQL_COLUMN_IGNORE) return 0;
    *length = indicator == SQL_NULL_DATA ? SQL_NULL_DATA : at.octet_length ? read_length(at.octet_length) : SQL_NTS;
    *data = at.data;
    if (*length == SQL_COLUMN_IGNORE) return 0;
    if (!at.data && *length != SQL_NULL_DATA) return 0;
    if (is_variable(c_type) && *length != SQL_NULL_DATA) {
        if (*length == SQL_NTS && c_type != SQL_C_BINARY) *length = terminated_length(at.data, c_type, b.octet_length);
        // A length beyond the buffer is the whole length the fetch
        // reported for a value it had to cut: the buffer holds only part of
        // it, and the application did not set a value of its own.
        if (b.octet_length > 0 && *length > b.octet_length) return 0;
        if (*length < 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    }
    return 1;
}

// The value of bound column `c` in entry `index`: *out null when the
// column is unbound or to be left alone. 0, or -1 (posted).
int bound_value(STMT *stmt, int c, int64_t index, CvPool *pool, Value **out) {
    *out = nullptr;
    DESC *ard = stmt->ard;
    if (c > ard->record_count || !ard->records || c > stmt->ird->record_count) return 0;
    const DescRecord &b = ard->records[c];
    if (!b.data_ptr && !b.indicator_ptr && !b.octet_length_ptr) return 0;
    const void *data = nullptr;
    SQLLEN length = 0;
    int found = bound_data(stmt, c, index, &data, &length);
    if (found <= 0) return found;
    const DescRecord &ird = stmt->ird->records[c];
    ParamFacts facts{};
    facts.c_type = bound_c_type(stmt, c);
    facts.sql_type = ird.concise_type;
    facts.column_size = ird.concise_type == SQL_NUMERIC || ird.concise_type == SQL_DECIMAL
                            ? static_cast<SQLULEN>(ird.precision > 0 ? ird.precision : 0)
                            : 0;
    facts.scale = ird.scale;
    facts.odbc_version = stmt->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3;
    *out = make_parameter_value(stmt->diag, data, &length, facts, pool, nullptr);
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

void setpos_release_pending(STMT *stmt) {
    StatementRun *run = run_in(stmt);
    if (!run || !run->set_pos_pending) return;
    CvPool *pool = run->set_pos_pending->pool;
    run->set_pos_pending = nullptr;
    cv_mem_release_handle(pool);
}

SQLRETURN setpos_need_data(STMT *stmt, const SetPosRequest &request) {
    setpos_release_pending(stmt);
    StatementRun *run = run_in(stmt);
    DESC *ard = stmt->ard;
    const char *table = run && run->query ? first_table(run) : nullptr;
    // Without a table the change fails and says why; nothing to wait for.
    if (!table || !ard->records || request.count <= 0) return SQL_SUCCESS;
    int columns = query_result_column_count(run->query);
    if (columns > ard->record_count) columns = ard->record_count;
    if (columns > stmt->ird->record_count) columns = stmt->ird->record_count;
    std::vector<SetPosPendingItem> items;
    for (int64_t e = request.first; e < request.first + request.count; e++) {
        if (request.row_operations && request.row_operations[e] == SQL_ROW_IGNORE) continue;
        for (int c = 1; c <= columns; c++) {
            const DescRecord &b = ard->records[c];
            if ((!b.indicator_ptr && !b.octet_length_ptr) || !base_column(run, c, table)) continue;
            if (!takes_data_at_exec(stmt, c, e)) continue;
            BoundElement at = bound_element(ard->header, b, bound_c_type(stmt, c), static_cast<SQLLEN>(e));
            items.push_back({e, c, at.data, nullptr});
        }
    }
    if (items.empty()) return SQL_SUCCESS;
    CvPool *pool = cv_mem_alloc_handle(stmt->pool);
    auto *p = pool ? pool_new<SetPosPending>(pool) : nullptr;
    auto *kept = p ? pool_new_array<SetPosPendingItem>(pool, items.size()) : nullptr;
    if (!kept) {
        cv_mem_release_handle(pool);
        return post_error(stmt->diag, "HY001", "Memory allocation error");
    }
    std::memcpy(kept, items.data(), items.size() * sizeof(SetPosPendingItem));
    p->pool = pool;
    p->request = request;
    p->count = static_cast<int32_t>(items.size());
    p->current = -1;
    p->items = kept;
    run->set_pos_pending = p;
    return SQL_NEED_DATA;
}

SQLRETURN setpos_param_data(STMT *stmt, SQLPOINTER *token) {
    StatementRun *run = run_in(stmt);
    SetPosPending *p = run ? run->set_pos_pending : nullptr;
    if (!p) return post_error(stmt->diag, "HY010", "Function sequence error");
    if (p->current + 1 < p->count) {
        p->current++;
        if (token) *token = p->items[p->current].token;
        return SQL_NEED_DATA;
    }
    SetPosRequest request = p->request;
    SQLRETURN rc = setpos_perform(stmt, request);
    setpos_release_pending(stmt);
    return rc;
}

SQLRETURN setpos_put_data(STMT *stmt, SQLPOINTER data, SQLLEN length) {
    StatementRun *run = run_in(stmt);
    SetPosPending *p = run ? run->set_pos_pending : nullptr;
    if (!p || p->current < 0) return post_error(stmt->diag, "HY010", "Function sequence error");
    SetPosPendingItem &item = p->items[p->current];
    int c_type = bound_c_type(stmt, item.column);
    if (!data || length == SQL_NULL_DATA) {
        if (item.sent) return post_error(stmt->diag, "HY020", "Attempt to concatenate a null value");
        item.sent = new_value_of_type(p->pool, VT_CHAR);
        if (!item.sent) return post_error(stmt->diag, "HY001", "Memory allocation error");
        item.sent->is_null = 1;
        return SQL_SUCCESS;
    }
    if (item.sent && item.sent->is_null) return post_error(stmt->diag, "HY020", "Attempt to concatenate a null value");
    size_t n = 0;
    if (!is_variable(c_type)) {
        // A fixed-length value comes whole, whatever the length says.
        if (item.sent) return post_error(stmt->diag, "HY019", "Non-character and non-binary data sent in pieces");
        n = static_cast<size_t>(bound_element_size(c_type, 0));
        if (n == 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    } else if (length == SQL_NTS && c_type != SQL_C_BINARY) {
        n = static_cast<size_t>(terminated_length(data, c_type, 0));
    } else if (length >= 0) {
        n = static_cast<size_t>(length);
    } else {
        return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    }
    size_t old = item.sent ? static_cast<size_t>(item.sent->length) : 0;
    if (old + n > static_cast<size_t>(kMaxCharValue)) return post_error(stmt->diag, "22001", "String data, right truncated");
    std::string joined;
    joined.reserve(old + n);
    if (old) joined.append(item.sent->data.s, old);
    joined.append(static_cast<const char *>(data), n);
    Value *v = new_value_of_type(p->pool, VT_CHAR);
    if (!v || set_value_text(v, joined.data(), joined.size()) != 0)
        return post_error(stmt->diag, "HY001", "Memory allocation error");
    if (item.sent) release_value(item.sent);
    item.sent = v;
    return SQL_SUCCESS;
}
