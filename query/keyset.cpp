// Row identities of keyset-driven cursors (see keyset.h): which values find
// a row again, reading them as rows are produced, and reading a row again by
// them through DALFetch.
#include "query/keyset.h"

#include <sqlext.h>

#include <cstring>

#include "query/evaluate.h"
#include "query/rowset.h"
#include "query/scan.h"
#include "support/diag.h"
#include "support/list.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

constexpr int kMaxIdentityKeys = 16;
constexpr int kMaxIdentityTables = 8;

RowIdentity *identity_of(const QueryStatement *st) { return static_cast<RowIdentity *>(st->identity); }

bool inner_only(const JoinSpec *j) {
    return !j || (j->kind == kJoinInner && inner_only(j->left) && inner_only(j->right));
}

// Every result column is a plain column of a base table of the FROM list,
// joined by inner joins only, without grouping, DISTINCT or UNION.
bool plain_columns(const QueryScope *s) {
    if (!s || s->union_left || s->union_next || s->distinct || s->group_by || s->having) return false;
    if (ListCount(s->select_aggregates) > 0 || ListCount(s->having_aggregates) > 0) return false;
    if (s->slot_count < 1 || s->column_count < 1) return false;
    for (int e = 0; s->elements && e < s->element_count; e++)
        if (!inner_only(s->elements[e])) return false;
    for (int x = 0; x < s->slot_count; x++)
        if (!s->slots[x] || !s->slots[x]->columns || !s->slots[x]->info.table[0]) return false;
    for (int i = 0; i < s->column_count; i++)
        if (!s->columns[i].slot || s->columns[i].column <= 0) return false;
    return true;
}

int slot_index(const QueryScope *s, const TableSlot *slot) {
    for (int x = 0; x < s->slot_count; x++)
        if (s->slots[x] == slot) return x;
    return -1;
}

// The primary key columns (slot column indexes) of the table. false when
// the provider names none that the slot has.
bool key_columns(QueryStatement *st, TableSlot *slot, int32_t *out, int *count) {
    int n = slot->info.key_count;
    if (n <= 0 || n > kMaxIdentityKeys) return false;
    KeyColumnEntry entries[kMaxIdentityKeys]{};
    List *list = nullptr;
    for (int i = 0; i < n; i++) {
        List *l = ListAppend(list, &entries[i], st->exec_pool);
        if (!l) return false;
        list = l;
    }
    int r = DALGetPKInfo(st->connection.dal_handle, st->connection.dal, dal_text(slot->info.catalog),
                         dal_text(slot->info.schema), dal_text(slot->info.table), n, list, &slot->info);
    if (r != DAL_OK && r != DAL_INFO) return false;
    for (int i = 0; i < n; i++) {
        int k = entries[i].ordinal - 1;
        if (k < 0 || k >= slot->column_count || !entries[i].name[0]) return false;
        out[i] = k;
    }
    *count = n;
    return true;
}

// One table's identity. `alone`: the only table of the query, whose scan
// row may supply what the select list lacks (unless the rows are sorted).
bool plan_table(QueryStatement *st, QueryScope *s, DalIterator *it, bool alone, TableIdentity *t, EvalContext *c) {
    TableSlot *slot = t->slot;
    SqiInfo info{};
    info.integer = kRowIdentityNone;
    info.table = slot->info.table;
    if (DALGetInfo(it, &slot->info, SQI_INFO_ROW_IDENTITY, &info) != DAL_OK) info.integer = kRowIdentityNone;
    t->kind = info.integer;
    const bool from_scan = alone && s->order_by == nullptr;
    switch (info.integer) {
        case kRowIdentityKeyColumns: {
            int32_t keys[kMaxIdentityKeys];
            int n = 0;
            if (!key_columns(st, slot, keys, &n)) return false;
            t->count = n;
            t->key_columns = pool_new_array<int32_t>(st->exec_pool, static_cast<size_t>(n));
            t->result_column = pool_new_array<int32_t>(st->exec_pool, static_cast<size_t>(n));
            if (!t->key_columns || !t->result_column) raise_evaluation_error(c, "HY001", "Memory allocation error");
            for (int k = 0; k < n; k++) {
                t->key_columns[k] = keys[k];
                for (int i = 0; i < s->column_count && !t->result_column[k]; i++)
                    if (s->columns[i].slot == slot && s->columns[i].column == keys[k] + 1) t->result_column[k] = i + 1;
            }
            // A key the select list does not carry comes from the scan's row,
            // which a sort no longer holds when its rows are handed out.
            for (int k = 0; k < n; k++) {
                if (t->result_column[k]) continue;
                if (!from_scan) return false;
                slot->used[keys[k]] = 1;
            }
            return true;
        }
        case kRowIdentityRowNumber:
        case kRowIdentityKeyString:
            if (!from_scan) return false;
            t->count = 1;
            t->special = info.integer == kRowIdentityRowNumber ? new_value_of_type(st->exec_pool, VT_INTEGER)
                                                               : NewValue(st->exec_pool, kMaxKeyStringBytes);
            if (!t->special) raise_evaluation_error(c, "HY001", "Memory allocation error");
            set_value_null(t->special, t->special->type);
            return true;
        default: return false;
    }
}

// The identity of `s`'s rows read through `it`, or null when they have none.
RowIdentity *plan_identity(QueryStatement *st, QueryScope *s, DalIterator *it, EvalContext *c) {
    auto *id = pool_new<RowIdentity>(st->exec_pool);
    if (id) id->tables = pool_new_array<TableIdentity>(st->exec_pool, static_cast<size_t>(s->slot_count));
    if (id) id->column_slot = pool_new_array<int32_t>(st->exec_pool, static_cast<size_t>(s->column_count));
    if (!id || !id->tables || !id->column_slot) raise_evaluation_error(c, "HY001", "Memory allocation error");
    id->scope = s;
    id->it = it;
    for (int i = 0; i < s->column_count; i++) {
        id->column_slot[i] = slot_index(s, s->columns[i].slot);
        if (id->column_slot[i] < 0) return nullptr;
    }
    // Only the tables the select list shows are read again.
    for (int x = 0; x < s->slot_count; x++) {
        bool shown = false;
        for (int i = 0; i < s->column_count && !shown; i++) shown = id->column_slot[i] == x;
        if (!shown) continue;
        if (id->table_count == kMaxIdentityTables) return nullptr;
        TableIdentity &t = id->tables[id->table_count++];
        t.slot = s->slots[x];
        t.index = x;
        t.first = id->count;
        if (!plan_table(st, s, it, s->slot_count == 1, &t, c)) return nullptr;
        id->count += t.count;
        if (id->count > kMaxRowIdentityValues) return nullptr;
    }
    return id->count > 0 ? id : nullptr;
}

// The reads by identity: a plan whose scans over the tables read again are
// set up on the first read.
void setup_reread(QueryStatement *st, RowIdentity *id, EvalContext *c) {
    QueryScope *s = id->scope;
    auto *plan = pool_new<ExecPlan>(st->exec_pool);
    auto *scans = plan ? pool_new_array<TableScan>(st->exec_pool, static_cast<size_t>(s->slot_count)) : nullptr;
    if (!scans) raise_evaluation_error(c, "HY001", "Memory allocation error");
    plan->kind = kPlanKind;
    plan->pool = st->exec_pool;
    plan->statement = st;
    plan->scope = s;
    plan->scan_count = s->slot_count;
    plan->scans = scans;
    id->reread = plan;  // before any fetch: the special-column hook leaves these scans alone
    for (int t = 0; t < id->table_count; t++) {
        int x = id->tables[t].index;
        scan_setup(plan, x, c);
        scans[x].it = id->it;
        scans[x].asked = 1;
        scans[x].lazy = 0;  // each row is read whole: the iterator moves on to the next table's
    }
}

bool reread_scan(const RowIdentity *id, const TableScan *scan) {
    return id->reread && scan >= id->reread->scans && scan < id->reread->scans + id->reread->scan_count;
}

}  // namespace

void keyset_prepare(QueryStatement *st, ValidatedStatement *v, EvalContext *c) {
    st->identity = nullptr;
    QueryScope *s = v ? v->scope : nullptr;
    if (!plain_columns(s)) return;
    DalIterator *it = DALOpenIteratorIn(st->connection.dal_handle, st->connection.dal, st->exec_pool);
    if (!it) raise_evaluation_error(c, "HY001", "Memory allocation error");
    st->identity = plan_identity(st, s, it, c);
    if (!st->identity) DALCloseIterator(it);  // nothing will be read again
}

void keyset_scan_row(QueryStatement *st, TableScan *scan, EvalContext *c) {
    RowIdentity *id = identity_of(st);
    if (!id || id->table_count != 1) return;
    const TableIdentity &t = id->tables[0];
    if (!t.special || scan->slot != t.slot || reread_scan(id, scan)) return;
    Value *v = t.special;
    SQLLEN length = 0;
    if (t.kind == kRowIdentityRowNumber) {
        int32_t n = 0;
        int r = DALGetData(scan->it, kSpecialRowNumber, SQL_C_LONG, &n, sizeof n, &length);
        if (r != DAL_OK && r != DAL_INFO) raise_posted(c);
        if (length == SQL_NULL_DATA)
            raise_evaluation_error(c, "HY000", "General error: a row of table %s has no row number", t.slot->info.table);
        v->type = VT_INTEGER;
        v->is_null = 0;
        v->data.i = n;
        return;
    }
    char text[kMaxKeyStringBytes + 1] = {};
    int r = DALGetData(scan->it, kSpecialKeyString, SQL_C_CHAR, text, sizeof text, &length);
    if (r != DAL_OK && r != DAL_INFO) raise_posted(c);
    if (length == SQL_NULL_DATA)
        raise_evaluation_error(c, "HY000", "General error: a row of table %s has no key string", t.slot->info.table);
    // A longer key would find another row, or none: never cut it.
    if (r == DAL_INFO || length < 0 || length > kMaxKeyStringBytes)
        raise_evaluation_error(c, "HY000", "General error: the key string of a row of table %s is longer than %d bytes",
                               t.slot->info.table, kMaxKeyStringBytes);
    if (set_value_text(v, text, static_cast<size_t>(length)) != 0)
        raise_evaluation_error(c, "HY001", "Memory allocation error");
}

int query_identity_count(const QueryStatement *st) {
    RowIdentity *id = st ? identity_of(st) : nullptr;
    return id ? id->count : 0;
}

Value *query_identity_value(QueryStatement *st, int k) {
    RowIdentity *id = st ? identity_of(st) : nullptr;
    const TableIdentity *t = nullptr;
    for (int i = 0; id && i < id->table_count && !t; i++)
        if (k - 1 >= id->tables[i].first && k - 1 < id->tables[i].first + id->tables[i].count) t = &id->tables[i];
    if (!t || !st->row) {
        if (st) (void)post_error(st->diag, "HY000", "General error: %s", "no row identity to read");
        return nullptr;
    }
    if (t->special) return t->special;
    int at = t->result_column[k - 1 - t->first];
    if (at > 0) return st->row[at - 1];
    TableScan *scan = t->slot->scan;
    int column = t->key_columns[k - 1 - t->first];
    Value *v = scan && scan->values ? scan->values[column] : nullptr;
    if (!v) {
        (void)post_error(st->diag, "HY000", "General error: %s", "the key column was not read");
        return nullptr;
    }
    try {
        EvalContext c{st};
        if (v->deferred) read_row_value(v, &scan->capacity[column], &c);
    } catch (const QueryFailure &) {
        return nullptr;
    }
    return v;
}

int query_refetch_row(QueryStatement *st, Value *const *identity, Value **values) {
    RowIdentity *id = st ? identity_of(st) : nullptr;
    if (!id) return -1;
    try {
        EvalContext c{st};
        if (!id->reread) setup_reread(st, id, &c);
        // One keyed read per table shown; the row is gone when any table's is.
        for (int ti = 0; ti < id->table_count; ti++) {
            const TableIdentity &t = id->tables[ti];
            Restriction keys[kMaxIdentityKeys];
            for (int k = 0; k < t.count; k++) {
                Restriction &r = keys[k];
                std::memset(&r, 0, sizeof r);
                r.op = RESTRICT_EQ;
                r.value = identity[t.first + k];
                if (t.special) {
                    r.column_number = t.kind == kRowIdentityRowNumber ? kSpecialRowNumber : kSpecialKeyString;
                } else {
                    r.column = &t.slot->columns[t.key_columns[k]];
                    r.column_number = t.key_columns[k] + 1;
                }
                if (!r.value || r.value->is_null)
                    raise_evaluation_error(&c, "HY000", "General error: a row of table %s has no key to be read again by",
                                           t.slot->info.table);
            }
            (void)DALResetIterator(id->it);
            int r = DALFetch(id->it, &t.slot->info, t.count, keys);
            if (r == DAL_NO_DATA) return 100;
            if (r == DAL_NOT_MINE)
                raise_evaluation_error(&c, "HY000", "General error: %s", "Base table or view not found (may be part of nested view)");
            if (r != DAL_OK && r != DAL_INFO) raise_posted(&c);
            id->reread->scans[t.index].end = 0;
            if (scan_fetch(id->reread, t.index, &c) == 100) return 100;
        }
        QueryScope *s = id->scope;
        for (int i = 0; i < s->column_count; i++)
            values[i] = id->reread->scans[id->column_slot[i]].values[s->columns[i].column - 1];
        return 0;
    } catch (const QueryFailure &f) {
        return f.code < 0 ? f.code : -1;
    }
}
