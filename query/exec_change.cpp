// Execution of INSERT, UPDATE and DELETE through the data access layer's
// row operations. Searched changes collect their whole keyset before the
// first change and INSERT ... SELECT reads its whole source first: a change
// made while a provider pages through the same table would shift its pages.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "dal/dal.h"
#include "engine/cast.h"
#include "engine/types.h"
#include "query/change.h"
#include "query/evaluate.h"
#include "query/exec_api.h"
#include "query/keyset.h"
#include "query/rowset.h"
#include "query/run_text.h"
#include "sql/parse_tree.h"
#include "sql/printer.h"
#include "sql/walker.h"
#include "support/diag.h"
#include "support/value_ops.h"

namespace {

constexpr int kMaxMarkers = 4096;

int fail(QueryStatement *st, const char *sqlstate, const char *message) {
    SetReturnCode(st->diag, SQL_ERROR);
    PostError(st->diag, 2, 0, 0, 0, 0, "ODBC 3.0", sqlstate, "%s", message);
    return -1;
}

struct IteratorGuard {
    DalIterator *it;
    ~IteratorGuard() {
        if (it) DALCloseIterator(it);
    }
};

struct Markers {
    int count = 0;
    int overflow = 0;
    int32_t numbers[kMaxMarkers];
};

int collect_marker(Node *node, void *arg) {
    auto *m = static_cast<Markers *>(arg);
    // The walk does not visit a LIKE's pattern and escape.
    const Node *marker[2] = {node, nullptr};
    if (node->kind == NODE_LIKE) {
        marker[0] = reinterpret_cast<LikeNode *>(node)->pattern;
        marker[1] = reinterpret_cast<LikeNode *>(node)->escape;
    }
    for (const Node *n : marker) {
        if (!n || n->kind != NODE_PARAMETER) continue;
        // A query with more markers than this is refused below (never run
        // with markers missing).
        if (m->count == kMaxMarkers) {
            m->overflow = 1;
            return 0;
        }
        m->numbers[m->count++] = reinterpret_cast<const ParameterNode *>(n)->number;
    }
    return 0;
}

// The markers of a query specification, in text order: those of its
// GROUP BY, HAVING and nested sub-queries too, once validated.
void spec_markers(Node *spec_node, Markers *m) {
    auto *spec = reinterpret_cast<QuerySpecNode *>(spec_node);
    if (spec_node->kind == NODE_QUERY_SPEC && spec->scope) {
        std::vector<int32_t> numbers;
        query_markers(spec_node, numbers);
        for (int32_t n : numbers) {
            if (m->count == kMaxMarkers) {
                m->overflow = 1;
                return;
            }
            m->numbers[m->count++] = n;
        }
        return;
    }
    auto *core = reinterpret_cast<SelectCoreNode *>(spec->core);
    if (core->select_list)
        for (ListCell *c = ListFirst(core->select_list->list); c; c = ListNext(c))
            (void)walk_expression(static_cast<Node *>(ListData(c)), collect_marker, m);
    if (core->where) (void)walk_expression(core->where, collect_marker, m);
}

// The statement's values of the given markers, in their order.
Value **marker_values(QueryStatement *st, CvPool *pool, const int32_t *numbers, int count) {
    auto **out = static_cast<Value **>(cv_mem_alloc(pool, sizeof(Value *) * static_cast<size_t>(count > 0 ? count : 1)));
    if (!out) return nullptr;
    for (int i = 0; i < count; i++) {
        int n = numbers[i];
        out[i] = n >= 1 && n <= st->param_value_count ? st->params[n - 1] : nullptr;
        if (!out[i]) return nullptr;
    }
    return out;
}

// Runs an internal query to its end. 0 with the rows, -1 after posting.
int run_internal(QueryStatement *st, const char *text, const int32_t *numbers, int count, QueryRows *rows) {
    Value **params = marker_values(st, st->exec_pool, numbers, count);
    if (!params) return fail(st, "07002", "COUNT field incorrect");
    int rc = query_run_text(&st->connection, st->diag, st->exec_pool, text, count, params, 0, rows);
    return rc == 0 ? 0 : -1;
}

// A value cast to its column's type (character values go as they are:
// the provider sends text).
Value *to_column(QueryStatement *st, const TableSlot *slot, int column, Value *v) {
    if (!v || v->is_null) return v;
    const ColumnInfo &ci = slot->columns[column];
    int code = 0;
    uint32_t vt = value_type_for_sql_type(ci.data_type, &code);
    if (vt == v->type || vt == 0) return v;
    if (is_char_value_type(vt) && is_char_value_type(v->type)) return v;
    CastTarget target{ci.data_type, 0, -1, -1, 0, -1};
    if (ci.data_type == SQL_NUMERIC || ci.data_type == SQL_DECIMAL) {
        target.precision = ci.precision > 0 ? ci.precision : 38;
        target.scale = ci.scale;
    }
    Value *out = nullptr;
    if (cast_value(&target, &st->env, v, &out) != 0) throw QueryFailure{-1};
    return out;
}

Value *null_value(QueryStatement *st) {
    Value *v = new_value_of_type(st->exec_pool, VT_CHAR);
    if (!v) throw QueryFailure{fail(st, "HY001", "Memory allocation error")};
    set_value_null(v, VT_CHAR);
    return v;
}

void fill_item(Restriction *r, const TableSlot *slot, int column, Value *v) {
    std::memset(r, 0, sizeof *r);
    r->column = &slot->columns[column];
    r->column_number = column + 1;
    r->op = RESTRICT_EQ;
    r->value = v;
}

// Diagnostics on the statement before a provider call: a failure that
// added none gets a message of its own.
bool posted_since(QueryStatement *st) {
    const ChangePlan *p = st->statements[st->current]->change;
    return diag_count(st->diag) > (p ? p->diag_mark : 0);
}

// The outcome of one row operation: 1 changed, or -1 after posting.
int row_result(QueryStatement *st, int rc, const TableSlot *slot) {
    if (rc == DAL_OK || rc == DAL_INFO) return 1;
    if (rc == DAL_NOT_MINE) {
        std::string m = std::string("General error: table ") + slot->info.table + " does not accept this change";
        return fail(st, "HY000", m.c_str());
    }
    if (!posted_since(st)) fail(st, "HY000", "General error: the change failed");
    SetReturnCode(st->diag, SQL_ERROR);
    return -1;
}

// The value of an UPDATE's SET sub-query: its only row's column, NULL for
// no row, an error for more than one.
Value *subquery_value(QueryStatement *st, Node *spec) {
    std::string text;
    if (print_to_string(spec, false, text) != 0) throw QueryFailure{fail(st, "HY000", "General error: Unable to form keyset query")};
    Markers m;
    spec_markers(spec, &m);
    if (m.overflow) throw QueryFailure{fail(st, "HY000", "General error: Unable to form keyset query")};
    QueryRows rows{};
    if (run_internal(st, text.c_str(), m.numbers, m.count, &rows) != 0) throw QueryFailure{-1};
    if (rows.row_count > 1) throw QueryFailure{fail(st, "HY000", "General error: Update sub query generated vector result")};
    return rows.row_count == 1 ? rows.values[0] : null_value(st);
}

// Refuses a change the table does not take before anything is read, so a
// refusal never depends on whether rows matched: the provider's own row
// operation, called without a row, posts why.
int check_allowed(QueryStatement *st, const TableSlot *slot, DalIterator *it, int32_t needed) {
    SqiInfo m{};
    m.integer = kDalChangeInsert | kDalChangeUpdate | kDalChangeDelete;
    m.table = slot->info.table;
    (void)DALGetInfo(it, &slot->info, SQI_INFO_CHANGE_MASK, &m);
    if (m.integer & needed) return 0;
    TableInfo info = slot->info;
    int rc = needed == kDalChangeInsert ? DALInsertRow(it, &info, 0, nullptr)
             : needed == kDalChangeUpdate ? DALUpdateRow(it, &info, 0, nullptr, 0, nullptr)
                                          : DALDeleteRow(it, &info, 0, nullptr);
    if (rc == DAL_OK || rc == DAL_INFO || !posted_since(st)) {
        std::string m2 = std::string("General error: table ") + slot->info.table + " does not accept this change";
        return fail(st, "HY000", m2.c_str());
    }
    SetReturnCode(st->diag, SQL_ERROR);
    return -1;
}

int run_insert(QueryStatement *st, ChangePlan *p, DalIterator *it) {
    TableSlot *slot = p->slot;
    int n = p->set_count;
    auto *items = static_cast<Restriction *>(cv_mem_alloc(st->exec_pool, sizeof(Restriction) * static_cast<size_t>(n > 0 ? n : 1)));
    if (!items) return fail(st, "HY001", "Memory allocation error");
    if (!p->source) {
        EvalContext c{st};
        for (int i = 0; i < n; i++) {
            ChangeSet &s = p->sets[i];
            Value *v = s.set_null || !s.value ? null_value(st) : evaluate_expression(s.value, &c);
            fill_item(&items[i], slot, s.column, to_column(st, slot, s.column, v));
        }
        int r = row_result(st, DALInsertRow(it, &slot->info, n, items), slot);
        if (r < 0) return -1;
        st->row_count = 1;
        return 0;
    }
    std::string text;
    if (print_to_string(p->source, false, text) != 0) return fail(st, "HY000", "General error: statement too deep to print");
    Markers m;
    spec_markers(p->source, &m);
    if (m.overflow) return fail(st, "HY000", "General error: Unable to form keyset query");
    QueryRows rows{};
    if (run_internal(st, text.c_str(), m.numbers, m.count, &rows) != 0) return -1;
    for (int64_t r = 0; r < rows.row_count; r++) {
        for (int i = 0; i < n; i++) {
            Value *v = rows.values[r * rows.column_count + i];
            fill_item(&items[i], slot, p->sets[i].column, to_column(st, slot, p->sets[i].column, v));
        }
        if (row_result(st, DALInsertRow(it, &slot->info, n, items), slot) < 0) return -1;
        st->row_count++;
    }
    return rows.row_count > 0 ? 0 : 100;
}

// The result column of `owner` that reads key column `name` of `table`, or 0.
int cursor_column(QueryStatement *owner, int32_t count, const char *table, const char *name) {
    for (int i = 1; i <= count; i++) {
        const QueryColumn *col = nullptr;
        if (query_describe_column(owner, i, &col) != 0 || !col) continue;
        if (strcasecmp(col->base_column, name) == 0 && strcasecmp(col->base_table, table) == 0) return i;
    }
    return 0;
}

// The key column `name` of `table` among the identity values a keyset
// cursor keeps for each row (from 1), or 0: such a cursor has its rows'
// keys whether or not its select list shows them.
int identity_column(const QueryStatement *owner, const char *table, const char *name) {
    const auto *id = static_cast<const RowIdentity *>(owner->identity);
    for (int t = 0; id && t < id->table_count; t++) {
        const TableIdentity &ti = id->tables[t];
        if (ti.kind != kRowIdentityKeyColumns || strcasecmp(ti.slot->info.table, table) != 0) continue;
        for (int j = 0; j < ti.count; j++)
            if (strcasecmp(ti.slot->columns[ti.key_columns[j]].column, name) == 0) return ti.first + j + 1;
    }
    return 0;
}

// Looks the row up again by its key before it is changed: a row that
// vanished since the cursor read it is a serialization failure, not
// whatever the provider answers for a missing object. A provider that
// cannot fetch one row by key (nothing posted) leaves the change to find out.
int locate_row(QueryStatement *st, TableSlot *slot, DalIterator *it, int key_count, Restriction *keys) {
    int32_t mark = diag_count(st->diag);
    int rc = DALFetch(it, &slot->info, key_count, keys);
    if (rc == DAL_OK || rc == DAL_INFO) rc = DALNextRow(it);
    if (rc == DAL_OK || rc == DAL_INFO) return 0;
    if (rc == DAL_NO_DATA) return fail(st, "40001", "Serialization failure");
    if (diag_count(st->diag) == mark) return 0;
    SetReturnCode(st->diag, SQL_ERROR);
    return -1;
}

void append_quoted(std::string &out, const char *name) {
    out += '"';
    for (const char *p = name; *p; p++) out += *p == '"' ? std::string("\"\"") : std::string(1, *p);
    out += '"';
}

// After a positioned UPDATE: the cursor's columns that read the table are
// read again by the row's key, so the cursor shows the row as PayPal now
// holds it (with what PayPal changed along). The change is made whatever
// this read finds: its failure leaves the cursor's values and no
// diagnostic behind.
void refresh_cursor_row(QueryStatement *st, const ChangePlan *p, QueryStatement *owner, Rowset *rs, int32_t count,
                        Restriction *keys) {
    const TableSlot *slot = p->slot;
    std::string text = "SELECT ";
    int *columns = static_cast<int *>(cv_mem_alloc(st->exec_pool, sizeof(int) * static_cast<size_t>(count)));
    Value **params = static_cast<Value **>(cv_mem_alloc(st->exec_pool, sizeof(Value *) * static_cast<size_t>(p->key_count)));
    if (!columns || !params) return;
    int n = 0;
    for (int c = 1; c <= count; c++) {
        const QueryColumn *col = nullptr;
        if (query_describe_column(owner, c, &col) != 0 || !col || !col->base_column[0] ||
            strcasecmp(col->base_table, slot->info.table) != 0)
            continue;
        if (n) text += ", ";
        append_quoted(text, col->base_column);
        columns[n++] = c;
    }
    if (n == 0) return;
    text += " FROM ";
    append_quoted(text, slot->info.table);
    for (int k = 0; k < p->key_count; k++) {
        text += k ? " AND " : " WHERE ";
        append_quoted(text, slot->columns[p->keys[k]].column);
        text += " = ?";
        params[k] = keys[k].value;
    }
    int32_t mark = diag_count(st->diag);
    SQLRETURN code = diag_return_code(st->diag);
    QueryRows rows{};
    int rc = query_run_text(&st->connection, st->diag, st->exec_pool, text.c_str(), p->key_count, params, 2, &rows);
    if (rc == 0 && rows.row_count == 1 && rows.column_count == n) (void)rowset_replace_values(rs, n, columns, rows.values);
    SetErrorCount(st->diag, mark);
    SetReturnCode(st->diag, code);
}

// UPDATE or DELETE ... WHERE CURRENT OF: one change, keyed by the values
// the named cursor's current row holds for the table's key columns.
int run_positioned(QueryStatement *st, ChangePlan *p, DalIterator *it) {
    TableSlot *slot = p->slot;
    const QueryCursorLookup &look = st->connection.cursors;
    QueryStatement *owner = nullptr;
    Rowset *rs = nullptr;
    int found = look.find ? look.find(look.arg, p->cursor, &owner, &rs) : 1;
    if (found == 1 || !owner) return fail(st, "34000", "Invalid cursor name");
    if (found != 0 || !rs || rowset_row_number(rs) <= 0) return fail(st, "24000", "Invalid cursor state");
    int32_t count = query_result_column_count(owner);
    auto *keys = static_cast<Restriction *>(cv_mem_alloc(st->exec_pool, sizeof(Restriction) * static_cast<size_t>(p->key_count)));
    auto *sets = static_cast<Restriction *>(cv_mem_alloc(st->exec_pool, sizeof(Restriction) * static_cast<size_t>(p->set_count > 0 ? p->set_count : 1)));
    if (!keys || !sets) return fail(st, "HY001", "Memory allocation error");
    for (int k = 0; k < p->key_count; k++) {
        const char *name = slot->columns[p->keys[k]].column;
        int at = cursor_column(owner, count, slot->info.table, name);
        int kept = at ? 0 : identity_column(owner, slot->info.table, name);
        if (at == 0 && kept == 0)
            return fail(st, "HY000", "General error: the cursor does not read the key columns of the table");
        Value *v = at ? rowset_value(rs, at) : rowset_identity_value(rs, kept);
        if (!v) return fail(st, "24000", "Invalid cursor state");
        fill_item(&keys[k], slot, p->keys[k], v);
    }
    if (locate_row(st, slot, it, p->key_count, keys) != 0) return -1;
    int rc;
    if (p->kind == NODE_UPDATE) {
        EvalContext c{st};
        for (int i = 0; i < p->set_count; i++) {
            ChangeSet &s = p->sets[i];
            Value *v = s.set_null ? null_value(st) : s.subquery ? subquery_value(st, s.subquery) : evaluate_expression(s.value, &c);
            if (v && v->pool != st->exec_pool) v = duplicate_value(v, st->exec_pool);
            fill_item(&sets[i], slot, s.column, to_column(st, slot, s.column, v));
        }
        rc = DALUpdateRow(it, &slot->info, p->key_count, keys, p->set_count, sets);
    } else {
        rc = DALDeleteRow(it, &slot->info, p->key_count, keys);
    }
    if (row_result(st, rc, slot) < 0) return -1;
    st->row_count = 1;
    if (p->kind == NODE_UPDATE) refresh_cursor_row(st, p, owner, rs, count, keys);
    return 0;
}

int run_searched(QueryStatement *st, ChangePlan *p, DalIterator *it) {
    if (p->cursor) return run_positioned(st, p, it);
    TableSlot *slot = p->slot;
    bool update = p->kind == NODE_UPDATE;
    if (!p->keyset_text) {
        // DELETE without WHERE: one call without a key; the provider says
        // whether it can delete every row.
        if (row_result(st, DALDeleteRow(it, &slot->info, 0, nullptr), slot) < 0) return -1;
        st->row_count = 1;
        return 0;
    }
    QueryRows rows{};
    if (run_internal(st, p->keyset_text, p->keyset_params, p->keyset_param_count, &rows) != 0) return -1;
    if (rows.row_count == 0) return 100;
    auto *keys = static_cast<Restriction *>(cv_mem_alloc(st->exec_pool, sizeof(Restriction) * static_cast<size_t>(p->key_count)));
    auto *sets = static_cast<Restriction *>(cv_mem_alloc(st->exec_pool, sizeof(Restriction) * static_cast<size_t>(p->set_count > 0 ? p->set_count : 1)));
    if (!keys || !sets) return fail(st, "HY001", "Memory allocation error");
    // Values that do not depend on the row are the same for every row.
    EvalContext c{st};
    auto **fixed = static_cast<Value **>(cv_mem_alloc(st->exec_pool, sizeof(Value *) * static_cast<size_t>(p->set_count > 0 ? p->set_count : 1)));
    if (!fixed) return fail(st, "HY001", "Memory allocation error");
    for (int i = 0; update && i < p->set_count; i++) {
        ChangeSet &s = p->sets[i];
        if (s.row_column > 0) continue;
        Value *v = s.set_null ? null_value(st) : s.subquery ? subquery_value(st, s.subquery) : evaluate_expression(s.value, &c);
        if (v && v->pool != st->exec_pool) v = duplicate_value(v, st->exec_pool);
        fixed[i] = to_column(st, slot, s.column, v);
    }
    for (int64_t r = 0; r < rows.row_count; r++) {
        Value **row = rows.values + r * rows.column_count;
        for (int k = 0; k < p->key_count; k++) fill_item(&keys[k], slot, p->keys[k], row[k]);
        int rc;
        if (update) {
            for (int i = 0; i < p->set_count; i++) {
                ChangeSet &s = p->sets[i];
                Value *v = s.row_column > 0 ? to_column(st, slot, s.column, row[s.row_column - 1]) : fixed[i];
                fill_item(&sets[i], slot, s.column, v);
            }
            rc = DALUpdateRow(it, &slot->info, p->key_count, keys, p->set_count, sets);
        } else {
            rc = DALDeleteRow(it, &slot->info, p->key_count, keys);
        }
        if (row_result(st, rc, slot) < 0) return -1;
        st->row_count++;
    }
    return 0;
}

}  // namespace

// Definitions go to the provider that owns the table (or, for CREATE
// TABLE, the one its LINK names): the PayPal provider refuses them all.
int run_definition(QueryStatement *st, ChangePlan *p, DalIterator *it) {
    TableInfo *info = &p->slot->info;
    int rc;
    switch (p->kind) {
        case NODE_CREATE_TABLE: rc = DALCreateTable(it, info, nullptr); break;
        case NODE_DROP_TABLE: rc = DALDropTable(it, info); break;
        case NODE_CREATE_INDEX: rc = DALCreateIndex(it, info, nullptr); break;
        case NODE_DROP_INDEX: rc = DALDropIndex(it, info, nullptr); break;
        case NODE_ALTER_ADD: rc = DALAddColumn(it, info, 0, nullptr); break;
        default: rc = DALDropColumn(it, info, nullptr); break;
    }
    if (rc == DAL_OK || rc == DAL_INFO) return 0;
    if (!posted_since(st)) return fail(st, "HY000", "General error: the definition failed");
    SetReturnCode(st->diag, SQL_ERROR);
    return -1;
}

int execute_change(QueryStatement *st, ValidatedStatement *v) {
    ChangePlan *p = v->change;
    st->row_count = 0;
    if (!p) return fail(st, "HYC00", "Optional feature not implemented: this statement kind cannot be executed yet");
    IteratorGuard guard{DALOpenIterator(st->connection.dal_handle, st->connection.dal)};
    if (!guard.it) return fail(st, "HY001", "Memory allocation error");
    p->diag_mark = diag_count(st->diag);
    if (v->statement_kind == QueryStatementKind::kDefinition) return run_definition(st, p, guard.it);
    int32_t needed = p->kind == NODE_INSERT ? kDalChangeInsert : p->kind == NODE_UPDATE ? kDalChangeUpdate : kDalChangeDelete;
    if (check_allowed(st, p->slot, guard.it, needed) != 0) return -1;
    try {
        return p->kind == NODE_INSERT ? run_insert(st, p, guard.it) : run_searched(st, p, guard.it);
    } catch (const QueryFailure &f) {
        return f.code;
    }
}
