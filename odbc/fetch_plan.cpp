// The bound columns of a fetch resolved once per block (see fetch_plan.h).
#include "odbc/fetch_plan.h"

#include <cstring>

#include "dal/dal.h"
#include "odbc/bound_buffer.h"
#include "odbc/fetch.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "query/exec_api.h"
#include "query/rowset.h"
#include "support/diag.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/pool.h"

int fetch_plan_build(STMT *stmt, FetchPlan *plan) {
    plan->count = 0;
    plan->entries = 0;
    DESC *ard = stmt->ard;
    if (!ard->records) return 0;  // nothing bound
    const int last = ard->record_count < stmt->ird->record_count ? ard->record_count : stmt->ird->record_count;
    const int first = stmt->attrs.use_bookmarks ? 0 : 1;
    if (last - first + 1 > plan->capacity) {
        // Grown to the widest binding seen; the old entries stay in the
        // statement's pool until it goes (a few bytes a column).
        const int want = last - first + 1;
        auto *grown = pool_new_array<BoundColumn>(stmt->pool, static_cast<size_t>(want));
        if (!grown) {
            (void)post_error(stmt->diag, "HY001", "Memory allocation error");
            return -1;
        }
        plan->columns = grown;
        plan->capacity = want;
    }
    const DescHeader &header = ard->header;
    // The offset is the application's variable, which it may keep anywhere;
    // it cannot change while a fetch runs.
    SQLLEN offset = 0;
    if (header.bind_offset) std::memcpy(&offset, header.bind_offset, sizeof offset);
    // Addresses in unsigned arithmetic, as bound_element computes them.
    auto base = [offset](const void *p) -> uintptr_t {
        return p ? reinterpret_cast<uintptr_t>(p) + static_cast<SQLULEN>(offset) : 0;
    };
    for (int c = first; c <= last; c++) {
        const DescRecord &b = ard->records[c];
        if (!b.data_ptr && !b.indicator_ptr && !b.octet_length_ptr) continue;
        BoundColumn &e = plan->columns[plan->count++];
        e.column = c;
        e.c_type = b.concise_type;
        e.facts = column_facts(stmt, c);
        const int resolved = e.c_type == SQL_C_DEFAULT ? default_c_type(e.facts.sql_type) : e.c_type;
        e.data = base(b.data_ptr);
        e.length = base(b.octet_length_ptr);
        e.indicator = base(b.indicator_ptr);
        const auto element = static_cast<SQLULEN>(header.bind_type > 0 ? header.bind_type
                                                                       : bound_element_size(resolved, b.octet_length));
        const auto counter = static_cast<SQLULEN>(header.bind_type > 0 ? header.bind_type
                                                                       : static_cast<SQLLEN>(sizeof(SQLLEN)));
        e.data_step = e.data ? element : 0;
        e.length_step = e.length ? counter : 0;
        e.indicator_step = e.indicator ? counter : 0;
        e.capacity = b.octet_length;
        e.convert = conversion_for(resolved);
        e.text = resolved == SQL_C_CHAR || resolved == SQL_VARCHAR ? 1 : 0;
    }
    return 0;
}

void fetch_plan_prefetch(const FetchPlan &plan, int64_t index) {
    if (index < 0 || index >= plan.entries) return;
    const auto row = static_cast<SQLULEN>(index);
    for (int i = 0; i < plan.count; i++) {
        const BoundColumn &e = plan.columns[i];
        if (e.data) __builtin_prefetch(reinterpret_cast<const void *>(e.data + row * e.data_step), 1);
    }
}

namespace {

constexpr uintptr_t kCacheLine = 64;

// Column-wise buffers put one row's entries a buffer length apart in as many
// places as there are columns, and a block of wide text columns is megabytes:
// each write of a row would wait for memory. So once a column's entry of this
// row is written, the same column's entry of the next row is asked for, as
// many cache lines as this row's value took (the likeliest size of the next),
// while the engine produces that row. Only a hint: nothing is read.
void prefetch_next_entry(const BoundColumn &e, const ConvertTarget &t, SQLULEN next) {
    SQLLEN bytes = t.length && *t.length > 0 ? *t.length + 1 : 1;
    if (bytes > e.capacity) bytes = e.capacity;
    if (bytes <= 0) return;
    const uintptr_t first = e.data + next * e.data_step;
    const uintptr_t last = first + static_cast<uintptr_t>(bytes) - 1;
    for (uintptr_t line = first & ~(kCacheLine - 1); line <= last; line += kCacheLine)
        __builtin_prefetch(reinterpret_cast<const void *>(line), 1);
}

// What became of a value the engine handed out unread.
enum class Unread {
    kDelivered,  // its text is in the entry (the value stays unread)
    kRead,       // read into the value: convert it as any other
    kFailed,     // could not be read (posted)
};

// A forward-only fetch hands out a row's plain columns unread. A character
// value bound as text then has the provider write it straight into the
// application's entry: no copy through the value, no long-value spooling.
// It stays unread, so a later SQLGetData of the column reads it again. A
// NULL, a text cut by the entry, or anything else becomes a read value and
// takes the ordinary conversion, which gives what it always gives.
// A NULL read straight from the provider: the value becomes NULL as the
// engine's own read leaves it, and the entry gets its indicator (without
// one, the conversion posts 22002).
Unread deliver_null(Value *v, const ConvertTarget &t) {
    v->deferred = 0;
    v->is_null = -1;
    if (v->type == VT_CHAR) {
        v->length = 0;
        if (v->data.s) v->data.s[0] = '\0';
    } else if (v->type == VT_LONG_CHAR && v->long_buffer) {
        clear_long_buffer(v->long_buffer);
    }
    if (!t.indicator) return Unread::kRead;
    *t.indicator = SQL_NULL_DATA;
    return Unread::kDelivered;
}

// An exact numeric bound as text (the engine has asked the provider how it
// hands numerics over, at the first row): the number's text as the engine
// reads it, and when that is a plain amount it is printed at the column's
// scale as the conversion would print the number read from it. Any other
// text, and one that would not fit, go through the engine's read as
// always: a whole text read leaves no piece behind, and an exact read
// knows none. A text too long for the engine's read fails as it does there.
Unread deliver_unread_numeric(QueryStatement *query, DalIterator *it, Value *v, const ConvertTarget &t,
                              bool exact) {
    char text[kDeferredTextCapacity];
    SQLLEN got = 0;
    const int r = DALGetData(it, v->source_column, SQL_C_CHAR, text, sizeof text, &got);
    if (r == DAL_OK && got == SQL_NULL_DATA) return deliver_null(v, t);
    if (r == DAL_OK && got >= 0 && got < static_cast<SQLLEN>(sizeof text)) {
        const size_t n = decimal_text_at_scale(text, static_cast<size_t>(got), v->precision, v->scale,
                                               static_cast<char *>(t.buffer), static_cast<size_t>(t.capacity));
        if (n > 0) {
            if (t.length) *t.length = static_cast<SQLLEN>(n);
            return Unread::kDelivered;
        }
    } else if (r == DAL_ERROR || !exact) {
        (void)query_read_failed(query);
        return Unread::kFailed;
    }
    return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
}

Unread deliver_unread(QueryStatement *query, const BoundColumn &e, Value *v, const ConvertTarget &t) {
    auto *it = static_cast<DalIterator *>(v->source_iterator);
    if (v->type == VT_NUMERIC && e.text && it && t.buffer && t.capacity > 0 && e.facts.max_length == 0) {
        const auto *column = static_cast<const DeferredNumeric *>(v->source_column_info);
        if (column && column->asked) return deliver_unread_numeric(query, it, v, t, column->transfers_exact != 0);
    }
    const bool text = e.text && (v->type == VT_CHAR || v->type == VT_LONG_CHAR) && it && t.buffer &&
                      t.capacity > 0 && e.facts.max_length == 0;
    if (!text) return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
    auto *out = static_cast<char *>(t.buffer);
    SQLLEN got = 0;
    const int r = DALGetData(it, v->source_column, SQL_C_CHAR, out, t.capacity, &got);
    if (r == DAL_OK && got != SQL_NULL_DATA) {
        if (got < 0 || got >= t.capacity) got = static_cast<SQLLEN>(strnlen(out, static_cast<size_t>(t.capacity - 1)));
        if (t.length) *t.length = got;
        return Unread::kDelivered;
    }
    if (r == DAL_OK) return deliver_null(v, t);
    if (r == DAL_INFO) {  // cut: the entry holds the first piece
        const size_t n = got >= 0 && got < t.capacity ? static_cast<size_t>(got) : static_cast<size_t>(t.capacity - 1);
        return query_settle_cut_text(query, v, out, n) == 0 ? Unread::kRead : Unread::kFailed;
    }
    (void)query_read_failed(query);
    return Unread::kFailed;
}

}  // namespace

int fetch_plan_deliver(STMT *stmt, const FetchPlan &plan, int64_t index, Value *const *values) {
    int result = 0;
    QueryStatement *query = nullptr;  // found at the first unread value
    const auto row = static_cast<SQLULEN>(index);
    // After the block's last entry comes the first one of the next fetch,
    // which a program reading in blocks gives the same buffers.
    const bool ahead = plan.entries > 0;
    const SQLULEN next = index + 1 < plan.entries ? row + 1 : 0;
    for (int i = 0; i < plan.count; i++) {
        const BoundColumn &e = plan.columns[i];
        Value *v = values[e.column];
        if (!v) {
            (void)post_error(stmt->diag, "HY000", "General error: %s", "a column value of the row is missing");
            return -1;
        }
        // An unbound buffer has address and step 0 (see fetch_plan_build).
        ConvertTarget t{e.c_type, reinterpret_cast<void *>(e.data + row * e.data_step), e.capacity,
                        reinterpret_cast<SQLLEN *>(e.length + row * e.length_step),
                        reinterpret_cast<SQLLEN *>(e.indicator + row * e.indicator_step)};
        if (v->deferred) {
            if (!query) {
                StatementRun *run = run_of(stmt);
                if (!run || !run->query) return post_error(stmt->diag, "24000", "Invalid cursor state");
                query = run->query;
            }
            const Unread u = deliver_unread(query, e, v, t);
            if (u == Unread::kFailed) return kRowUnreadable;
            if (u == Unread::kDelivered) {
                if (ahead && e.data) prefetch_next_entry(e, t, next);
                continue;
            }
        }
        v->piece_offset = 0;
        SQLRETURN rc = e.text && put_fitting_text(v, e.facts, t) ? SQL_SUCCESS : e.convert(v, e.facts, t, stmt->diag);
        v->piece_offset = 0;  // SQLGetData of a bound column starts again
        if (ahead && e.data) prefetch_next_entry(e, t, next);
        if (rc == SQL_ERROR) result = -1;
        else if (rc == SQL_SUCCESS_WITH_INFO && result == 0) result = 1;
    }
    return result;
}
