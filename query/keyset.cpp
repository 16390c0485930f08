// Row identities of keyset-driven cursors (see keyset.h): which values find
// a row again, reading them as rows are produced, and reading a row again by
// them through DALFetch.
#include "query/keyset.h"

#include <sqlext.h>

#include <cstring>

#include "query/evaluate.h"
#include "query/scan.h"
#include "support/diag.h"
#include "support/list.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

constexpr int kMaxIdentityKeys = 16;

RowIdentity *identity_of(const QueryStatement *st) { return static_cast<RowIdentity *>(st->identity); }

// The query reads one base table, as plain columns, and nothing else.
TableSlot *single_table(const QueryScope *s) {
    if (!s || s->union_left || s->union_next || s->distinct || s->group_by || s->having) return nullptr;
    if (ListCount(s->select_aggregates) > 0 || ListCount(s->having_aggregates) > 0) return nullptr;
    if (s->slot_count != 1 || s->element_count != 1 || (s->elements && s->elements[0])) return nullptr;
    TableSlot *slot = s->slots[0];
    if (!slot || !slot->columns || !slot->info.table[0]) return nullptr;
    for (int i = 0; i < s->column_count; i++)
        if (s->columns[i].slot != slot || s->columns[i].column <= 0) return nullptr;
    return slot;
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

// The reads by identity: a plan of one scan over the table, set up on the
// first read again.
void setup_reread(QueryStatement *st, RowIdentity *id, EvalContext *c) {
    auto *plan = pool_new<ExecPlan>(st->exec_pool);
    auto *scans = plan ? pool_new_array<TableScan>(st->exec_pool, 1) : nullptr;
    if (!scans) raise_evaluation_error(c, "HY001", "Memory allocation error");
    plan->kind = kPlanKind;
    plan->pool = st->exec_pool;
    plan->statement = st;
    plan->scope = id->scope;
    plan->scan_count = 1;
    plan->scans = scans;
    id->reread = scans;  // before the first fetch: the special-column hook leaves it alone
    scan_setup(plan, 0, c);
    scans[0].it = id->it;
    scans[0].asked = 1;
    scans[0].lazy = 0;  // the row is read whole: the iterator moves on at the next read
    id->reread_plan = plan;
}

}  // namespace

namespace {

// The identity of `s`'s rows read through `it`, or null when they have none.
RowIdentity *plan_identity(QueryStatement *st, QueryScope *s, TableSlot *slot, DalIterator *it, EvalContext *c) {
    SqiInfo info{};
    info.integer = kRowIdentityNone;
    info.table = slot->info.table;
    if (DALGetInfo(it, &slot->info, SQI_INFO_ROW_IDENTITY, &info) != DAL_OK) info.integer = kRowIdentityNone;
    auto *id = pool_new<RowIdentity>(st->exec_pool);
    if (!id) raise_evaluation_error(c, "HY001", "Memory allocation error");
    id->kind = info.integer;
    id->slot = slot;
    id->scope = s;
    id->it = it;
    const bool sorted = s->order_by != nullptr;
    switch (info.integer) {
        case kRowIdentityKeyColumns: {
            int32_t keys[kMaxIdentityKeys];
            int n = 0;
            if (!key_columns(st, slot, keys, &n)) return nullptr;
            id->count = n;
            id->key_columns = pool_new_array<int32_t>(st->exec_pool, static_cast<size_t>(n));
            id->result_column = pool_new_array<int32_t>(st->exec_pool, static_cast<size_t>(n));
            if (!id->key_columns || !id->result_column) raise_evaluation_error(c, "HY001", "Memory allocation error");
            for (int k = 0; k < n; k++) {
                id->key_columns[k] = keys[k];
                for (int i = 0; i < s->column_count && !id->result_column[k]; i++)
                    if (s->columns[i].column == keys[k] + 1) id->result_column[k] = i + 1;
            }
            // A key the select list does not carry comes from the scan's row,
            // which a sort no longer holds when its rows are handed out.
            for (int k = 0; k < n; k++) {
                if (id->result_column[k]) continue;
                if (sorted) return nullptr;
                slot->used[keys[k]] = 1;
            }
            break;
        }
        case kRowIdentityRowNumber:
        case kRowIdentityKeyString:
            if (sorted) return nullptr;
            id->count = 1;
            id->special = info.integer == kRowIdentityRowNumber ? new_value_of_type(st->exec_pool, VT_INTEGER)
                                                                : NewValue(st->exec_pool, kMaxKeyStringBytes);
            if (!id->special) raise_evaluation_error(c, "HY001", "Memory allocation error");
            set_value_null(id->special, id->special->type);
            break;
        default: return nullptr;
    }
    return id;
}

}  // namespace

void keyset_prepare(QueryStatement *st, ValidatedStatement *v, EvalContext *c) {
    st->identity = nullptr;
    QueryScope *s = v ? v->scope : nullptr;
    TableSlot *slot = single_table(s);
    if (!slot) return;
    DalIterator *it = DALOpenIteratorIn(st->connection.dal_handle, st->connection.dal, st->exec_pool);
    if (!it) raise_evaluation_error(c, "HY001", "Memory allocation error");
    st->identity = plan_identity(st, s, slot, it, c);
    if (!st->identity) DALCloseIterator(it);  // nothing will be read again
}

void keyset_scan_row(QueryStatement *st, TableScan *scan, EvalContext *c) {
    RowIdentity *id = identity_of(st);
    if (!id || !id->special || scan->slot != id->slot || scan == id->reread) return;
    Value *v = id->special;
    SQLLEN length = 0;
    if (id->kind == kRowIdentityRowNumber) {
        int32_t n = 0;
        int r = DALGetData(scan->it, kSpecialRowNumber, SQL_C_LONG, &n, sizeof n, &length);
        if (r != DAL_OK && r != DAL_INFO) raise_posted(c);
        if (length == SQL_NULL_DATA)
            raise_evaluation_error(c, "HY000", "General error: a row of table %s has no row number", id->slot->info.table);
        v->type = VT_INTEGER;
        v->is_null = 0;
        v->data.i = n;
        return;
    }
    char text[kMaxKeyStringBytes + 1] = {};
    int r = DALGetData(scan->it, kSpecialKeyString, SQL_C_CHAR, text, sizeof text, &length);
    if (r != DAL_OK && r != DAL_INFO) raise_posted(c);
    if (length == SQL_NULL_DATA)
        raise_evaluation_error(c, "HY000", "General error: a row of table %s has no key string", id->slot->info.table);
    // A longer key would find another row, or none: never cut it.
    if (r == DAL_INFO || length < 0 || length > kMaxKeyStringBytes)
        raise_evaluation_error(c, "HY000", "General error: the key string of a row of table %s is longer than %d bytes",
                               id->slot->info.table, kMaxKeyStringBytes);
    if (set_value_text(v, text, static_cast<size_t>(length)) != 0)
        raise_evaluation_error(c, "HY001", "Memory allocation error");
}

int query_identity_count(const QueryStatement *st) {
    RowIdentity *id = st ? identity_of(st) : nullptr;
    return id ? id->count : 0;
}

Value *query_identity_value(QueryStatement *st, int k) {
    RowIdentity *id = st ? identity_of(st) : nullptr;
    if (!id || k < 1 || k > id->count || !st->row) {
        if (st) (void)post_error(st->diag, "HY000", "General error: %s", "no row identity to read");
        return nullptr;
    }
    if (id->special) return id->special;
    int at = id->result_column[k - 1];
    if (at > 0) return st->row[at - 1];
    TableScan *scan = id->slot->scan;
    int column = id->key_columns[k - 1];
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
        if (!id->reread_plan) setup_reread(st, id, &c);
        Restriction keys[kMaxIdentityKeys];
        for (int k = 0; k < id->count; k++) {
            Restriction &r = keys[k];
            std::memset(&r, 0, sizeof r);
            r.op = RESTRICT_EQ;
            r.value = identity[k];
            if (id->special) {
                r.column_number = id->kind == kRowIdentityRowNumber ? kSpecialRowNumber : kSpecialKeyString;
            } else {
                r.column = &id->slot->columns[id->key_columns[k]];
                r.column_number = id->key_columns[k] + 1;
            }
            if (!r.value || r.value->is_null)
                raise_evaluation_error(&c, "HY000", "General error: a row of table %s has no key to be read again by",
                                       id->slot->info.table);
        }
        (void)DALResetIterator(id->it);
        int r = DALFetch(id->it, &id->slot->info, id->count, keys);
        if (r == DAL_NO_DATA) return 100;
        if (r == DAL_NOT_MINE)
            raise_evaluation_error(&c, "HY000", "General error: %s", "Base table or view not found (may be part of nested view)");
        if (r != DAL_OK && r != DAL_INFO) raise_posted(&c);
        TableScan *scan = id->reread;
        scan->end = 0;
        if (scan_fetch(id->reread_plan, 0, &c) == 100) return 100;
        for (int i = 0; i < id->scope->column_count; i++) values[i] = scan->values[id->scope->columns[i].column - 1];
        return 0;
    } catch (const QueryFailure &f) {
        return f.code < 0 ? f.code : -1;
    }
}
