// Table scans: the row values of a base table, its DAL iterator (owned by
// the plan's pool, closed when the plan closes or its pool goes), opening
// with the restrictions the provider accepts, and reading a row's columns.
#include <cstring>

#include "query/deferred.h"
#include "query/keyset.h"

#include "query/restrictions.h"
#include "query/scan.h"
#include "query/derived.h"
#include "support/long_buffer.h"
#include "support/value_ops.h"

namespace {

constexpr int32_t kMaxCharBuffer = 1 << 20;
constexpr int32_t kDefaultCharBuffer = 256;

int32_t char_capacity(const ColumnInfo &ci) {
    int32_t n = ci.octet_length;
    if (ci.precision > n) n = ci.precision;
    if (ci.display_size > n) n = ci.display_size;
    if (ci.char_octet_length > n) n = ci.char_octet_length;
    if (n <= 0) n = kDefaultCharBuffer;
    if (n > kMaxCharBuffer) n = kMaxCharBuffer;
    return n;
}

// Makes the row value of one used column.
Value *column_value(ExecPlan *plan, TableScan *scan, int i, EvalContext *c) {
    const ColumnInfo &ci = scan->slot->columns[i];
    int interval_code = 0;
    uint32_t type = value_type_for_sql_type(ci.data_type, &interval_code);
    if (type == 0) raise_evaluation_error(c, "HY000", "General error: column %s has no value type", ci.column);
    int32_t capacity = 0;
    if (type == VT_CHAR) capacity = char_capacity(ci);
    if (type == VT_BINARY) capacity = char_capacity(ci);
    Value *v = capacity > 0 ? NewValue(plan->pool, capacity) : new_value_of_type(plan->pool, type);
    if (!v) raise_evaluation_error(c, "HY001", "Memory allocation error");
    v->type = type;
    v->length = capacity;
    v->precision = ci.precision;
    v->scale = ci.scale;
    if (is_interval_value_type(type)) v->data.iv.interval_type = static_cast<SQLINTERVAL>(interval_code);
    if (type == VT_NUMERIC) v->source_column_info = &scan->numeric[i];
    // A text read after the row was handed out (query_settle_value) grows
    // the same capacity a read during the fetch would.
    if (type == VT_CHAR) v->source_column_info = &scan->capacity[i];
    scan->capacity[i] = capacity;
    return v;
}

void ask_provider(TableScan *scan) {
    if (scan->asked) return;
    scan->asked = 1;
    SqiInfo lazy{}, caps{};
    TableInfo *info = &scan->slot->info;
    if (DALGetInfo(scan->it, info, SQI_INFO_LAZY_READS, &lazy) == DAL_OK) scan->lazy = lazy.integer == 1;
    if (DALGetInfo(scan->it, info, SQI_INFO_RESTRICTIONS, &caps) == DAL_OK) scan->capabilities = caps.integer;
}

// Seconds left before the statement's deadline (at least 1), or 0.
int remaining_seconds(const QueryStatement *st) {
    if (st->deadline == 0) return 0;
    time_t now = time(nullptr);
    long left = static_cast<long>(st->deadline - now);
    return left < 1 ? 1 : static_cast<int>(left > 1000000 ? 1000000 : left);
}

// The rest of a text whose first `v->length` bytes are in its buffer: read
// into the room the buffer has, which grows (doubling) whenever it is full,
// so no text is cut. The larger capacity is kept for the following rows.
void read_rest_of_text(Value *v, int32_t *capacity, EvalContext *c) {
    auto *it = static_cast<DalIterator *>(v->source_iterator);
    size_t n = static_cast<size_t>(v->length);
    size_t cap = static_cast<size_t>(*capacity);
    for (;;) {
        if (n >= cap) {
            if (cap >= static_cast<size_t>(kMaxCharValue))
                raise_evaluation_error(c, "22001", "String data, right truncated");
            size_t grown = cap * 2 < static_cast<size_t>(kMaxCharValue) ? cap * 2 : static_cast<size_t>(kMaxCharValue);
            auto *buffer = static_cast<char *>(cv_mem_alloc(v->pool, grown + 1));
            if (!buffer) raise_evaluation_error(c, "HY001", "Memory allocation error");
            std::memcpy(buffer, v->data.s, n);
            if (v->owns_data) cv_mem_free(v->data.s);
            v->data.s = buffer;
            v->owns_data = 1;
            cap = grown;
            *capacity = static_cast<int32_t>(cap);
        }
        char *buffer = v->data.s;
        SQLLEN indicator = 0;
        const SQLLEN room = static_cast<SQLLEN>(cap - n);
        int r = DALGetData(it, v->source_column, SQL_C_CHAR, buffer + n, room + 1, &indicator);
        if (r != DAL_OK && r != DAL_INFO) raise_evaluation_error(c, "HY000", "Data Read Error");
        size_t got = indicator >= 0 && indicator <= room ? static_cast<size_t>(indicator) : static_cast<size_t>(room);
        if (r == DAL_OK && indicator < 0) got = strnlen(buffer + n, static_cast<size_t>(room));
        n += got;
        buffer[n] = '\0';
        v->length = static_cast<int32_t>(n);
        if (r == DAL_OK) return;
    }
}

}  // namespace

void finish_row_value_read(Value *v, int read, int32_t *capacity, EvalContext *c) {
    if (read < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
    if (read == 1 && v->type == VT_CHAR && !v->is_null && capacity) read_rest_of_text(v, capacity, c);
}

void read_row_value(Value *v, int32_t *capacity, EvalContext *c) {
    const int r = read_deferred_value(v);
    if (r != 0) finish_row_value_read(v, r, capacity, c);
}

void settle_cut_text(Value *v, const char *prefix, size_t n, EvalContext *c) {
    auto *it = static_cast<DalIterator *>(v->source_iterator);
    if (!v->deferred || !it) raise_evaluation_error(c, "HY000", "Data Read Error");
    v->deferred = 0;
    v->is_null = 0;
    v->piece_offset = 0;
    if (v->type == VT_LONG_CHAR) {
        if (!v->long_buffer) v->long_buffer = v->pool ? allocate_long_buffer(v->pool, 0, SQL_LONGVARCHAR) : nullptr;
        if (!v->long_buffer) raise_evaluation_error(c, "HY001", "Memory allocation error");
        clear_long_buffer(v->long_buffer);
        if (append_to_long_buffer(v->long_buffer, prefix, n) != 0 ||
            DALSpoolLongRest(v->long_buffer, it, v->source_column, 1) != DAL_OK)
            raise_evaluation_error(c, "HY000", "Data Read Error");
        return;
    }
    int32_t *capacity = text_capacity_of(v);
    if (!capacity) raise_evaluation_error(c, "HY000", "Data Read Error");
    if (n > static_cast<size_t>(*capacity)) {
        // The piece is longer than the column's buffer: one that holds it,
        // kept for the following rows as read_rest_of_text keeps its own.
        if (n >= static_cast<size_t>(kMaxCharValue)) raise_evaluation_error(c, "22001", "String data, right truncated");
        auto *buffer = static_cast<char *>(cv_mem_alloc(v->pool, n + 1));
        if (!buffer) raise_evaluation_error(c, "HY001", "Memory allocation error");
        if (v->owns_data) cv_mem_free(v->data.s);
        v->data.s = buffer;
        v->owns_data = 1;
        *capacity = static_cast<int32_t>(n);
    }
    std::memcpy(v->data.s, prefix, n);
    v->data.s[n] = '\0';
    v->length = static_cast<int32_t>(n);
    // The rest into the room the buffer has: a cut by the application's
    // entry is no sign of a long text.
    read_rest_of_text(v, capacity, c);
}

void raise_no_row_column(EvalContext *c) { raise_evaluation_error(c, "HY000", "Unexpected type in eval expr"); }

void scan_setup(ExecPlan *plan, int index, EvalContext *c) {
    TableScan *scan = &plan->scans[index];
    TableSlot *slot = plan->scope->slots[index];
    scan->slot = slot;
    int n = slot->column_count;
    scan->values = pool_new_array<Value *>(plan->pool, static_cast<size_t>(n ? n : 1));
    scan->capacity = pool_new_array<int32_t>(plan->pool, static_cast<size_t>(n ? n : 1));
    scan->numeric = pool_new_array<DeferredNumeric>(plan->pool, static_cast<size_t>(n ? n : 1));
    if (!scan->values || !scan->capacity || !scan->numeric)
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    for (int i = 0; i < n; i++)
        if (slot->used[i]) scan->values[i] = column_value(plan, scan, i, c);
}

void scan_open(ExecPlan *plan, int index, EvalContext *c) {
    QueryStatement *st = c->statement;
    TableScan *scan = &plan->scans[index];
    if (scan->slot->derived) {
        derived_open(plan, index, c);
        return;
    }
    scan->end = 0;
    if (!scan->it) {
        scan->it = DALOpenIteratorIn(st->connection.dal_handle, st->connection.dal, plan->pool);
        if (!scan->it) raise_posted(c);
    } else {
        (void)DALResetIterator(scan->it);
    }
    ask_provider(scan);
    DALSetIteratorTimeout(scan->it, remaining_seconds(st));
    if (!prepare_restrictions(plan, scan, plan->alternatives[plan->current].candidates[index], c)) {
        scan->restrictions = nullptr;
        scan->restriction_count = 0;
        scan->end = 1;  // no row can qualify: the provider is not asked
        return;
    }
    int r = DALStartQuery(scan->it, &scan->slot->info, nullptr, nullptr, scan->restriction_count,
                          scan->restriction_count ? scan->restrictions : nullptr);
    scan->restrictions = nullptr;  // their values live in the row pool
    scan->restriction_count = 0;
    if (r == DAL_NOT_MINE)
        raise_evaluation_error(c, "HY000", "General error: %s", "Base table or view not found (may be part of nested view)");
    if (r != DAL_OK && r != DAL_INFO) raise_posted(c);
}

int scan_fetch(ExecPlan *plan, int index, EvalContext *c) {
    TableScan *scan = &plan->scans[index];
    if (scan->slot->derived) return derived_fetch(plan, index, c);
    if (scan->end) return 100;
    int r = DALNextRow(scan->it);
    if (r == DAL_NO_DATA) {
        scan->end = 1;
        return 100;
    }
    if (r != DAL_OK && r != DAL_INFO) raise_posted(c);
    if (r == DAL_INFO) c->statement->row_info = 1;  // its diagnostic is posted: the row comes with it
    const int n = scan->slot->column_count;
    // Most of a row's values already hold what they are set to here (a
    // value delivered unread stays deferred, from the same iterator and
    // column): each field is only written when it differs. A wide row's
    // marking is then loads, not stores queued behind the stores into the
    // application's buffers, which may be waiting for memory.
    for (int i = 0; i < n; i++) {
        Value *v = scan->values[i];
        if (!v) continue;
        if (v->deferred != 1) v->deferred = 1;
        if (v->source_iterator != scan->it) v->source_iterator = scan->it;
        if (v->source_column != i + 1) v->source_column = i + 1;
        if (v->piece_offset != 0) v->piece_offset = 0;
        if ((v->type == VT_CHAR || v->type == VT_BINARY) && v->length != scan->capacity[i])
            v->length = scan->capacity[i];
        if (!scan->lazy) read_row_value(v, &scan->capacity[i], c);
    }
    if (c->statement->identity) keyset_scan_row(c->statement, scan, c);
    return 0;
}

void scan_close(TableScan *scan) {
    derived_close(scan);
    if (!scan->it) return;
    DALCloseIterator(scan->it);
    scan->it = nullptr;
    for (int i = 0; scan->values && i < scan->slot->column_count; i++)
        if (scan->values[i]) scan->values[i]->source_iterator = nullptr;
}
