// The bound columns of a fetch resolved once per block (see fetch_plan.h).
#include "odbc/fetch_plan.h"

#include <cstring>

#include "dal/dal.h"
#include "odbc/bound_buffer.h"
#include "odbc/fetch.h"
#include "odbc/fetch_unread.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "query/rowset.h"
#include "support/diag.h"
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
        e.direct_text = e.text && e.data && e.capacity > 0 && e.facts.max_length == 0 ? 1 : 0;
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
// Entries of equal-sized column buffers sit at the same offset in their
// pages, so a row's entries all share one set of the first-level cache (8
// ways): a line asked for much more than a few columns ahead is pushed out
// by the entries written in between before its own turn comes. Two columns
// ahead it is still there (one, three: about the same; four: slower).
constexpr int kColumnsAhead = 2;

// Column-wise buffers put one row's entries a buffer length apart in as many
// places as there are columns, and a block of wide text columns is megabytes:
// each write of a row would wait for memory. So once a column's entry of this
// row is written, the same column's entry of the next row is asked for, as
// many cache lines as this row's value took (the likeliest size of the next),
// while the engine produces that row (it waits in the second-level cache).
// Only a hint: nothing is read.
void prefetch_next_entry(const BoundColumn &e, SQLLEN written, SQLULEN next) {
    SQLLEN bytes = written > 0 ? written + 1 : 1;
    if (bytes > e.capacity) bytes = e.capacity;
    if (bytes <= 0) return;
    const uintptr_t first = e.data + next * e.data_step;
    const uintptr_t last = first + static_cast<uintptr_t>(bytes) - 1;
    for (uintptr_t line = first & ~(kCacheLine - 1); line <= last; line += kCacheLine)
        __builtin_prefetch(reinterpret_cast<const void *>(line), 1);
}

// What the entry's length says was written (0 without one, or when it says
// NULL or no total).
SQLLEN written_length(const SQLLEN *length) { return length ? *length : 0; }

}  // namespace

int fetch_plan_deliver(STMT *stmt, const FetchPlan &plan, int64_t index, Value *const *values) {
    int result = 0;
    QueryStatement *query = nullptr;  // found at the first value the provider's answer does not settle
    const auto row = static_cast<SQLULEN>(index);
    // After the block's last entry comes the first one of the next fetch,
    // which a program reading in blocks gives the same buffers.
    const bool ahead = plan.entries > 0;
    const SQLULEN next = index + 1 < plan.entries ? row + 1 : 0;
    for (int i = 0; i < plan.count; i++) {
        const BoundColumn &e = plan.columns[i];
        // This row's entry a few columns on, into the first-level cache
        // just before it is written: a store that misses holds back every
        // store after it, and the loads that wait for them.
        if (i + kColumnsAhead < plan.count) {
            const BoundColumn &later = plan.columns[i + kColumnsAhead];
            if (later.data) __builtin_prefetch(reinterpret_cast<const void *>(later.data + row * later.data_step), 1);
        }
        Value *v = values[e.column];
        if (!v) {
            (void)post_error(stmt->diag, "HY000", "General error: %s", "a column value of the row is missing");
            return -1;
        }
        // An unbound buffer has address and step 0 (see fetch_plan_build).
        void *const buffer = reinterpret_cast<void *>(e.data + row * e.data_step);
        SQLLEN *const length = reinterpret_cast<SQLLEN *>(e.length + row * e.length_step);
        auto target = [&] {
            return ConvertTarget{e.c_type, buffer, e.capacity, length,
                                 reinterpret_cast<SQLLEN *>(e.indicator + row * e.indicator_step)};
        };
        if (v->deferred) {
            const bool direct = e.direct_text && (v->type == VT_CHAR || v->type == VT_LONG_CHAR) && v->source_iterator;
            SQLLEN got = 0;
            int r = DAL_OK;
            if (direct) {
                // Most values of a wide row: a text the provider writes
                // whole into the entry, taken here without a call and
                // without the conversion's target built on the stack
                // (stores that would queue behind the entry's own, which
                // may be waiting for memory).
                r = DALGetData(static_cast<DalIterator *>(v->source_iterator), v->source_column, SQL_C_CHAR, buffer,
                               e.capacity, &got);
                if (r == DAL_OK && got >= 0 && got < e.capacity) {
                    if (length) *length = got;
                    if (ahead) prefetch_next_entry(e, got, next);
                    continue;
                }
            }
            if (!query) {
                StatementRun *run = run_of(stmt);
                if (!run || !run->query) return post_error(stmt->diag, "24000", "Invalid cursor state");
                query = run->query;
            }
            const Unread u =
                direct ? unread_text_answer(query, v, target(), r, got) : deliver_unread(query, e, v, target());
            if (u == Unread::kFailed) return kRowUnreadable;
            if (u == Unread::kDelivered) {
                if (ahead && e.data) prefetch_next_entry(e, written_length(length), next);
                continue;
            }
        }
        const ConvertTarget t = target();
        v->piece_offset = 0;
        SQLRETURN rc = e.text && put_fitting_text(v, e.facts, t) ? SQL_SUCCESS : e.convert(v, e.facts, t, stmt->diag);
        v->piece_offset = 0;  // SQLGetData of a bound column starts again
        if (ahead && e.data) prefetch_next_entry(e, written_length(length), next);
        if (rc == SQL_ERROR) result = -1;
        else if (rc == SQL_SUCCESS_WITH_INFO && result == 0) result = 1;
    }
    return result;
}
