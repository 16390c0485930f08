// DAL iterators: per-provider iterators opened lazily, single-provider scans
// and multi-provider catalogue listings, row delivery.
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>

#include "dal/dal.h"
#include "dal/dal_internal.h"
#include "support/long_buffer.h"

namespace {

// Has the owner's query time-out passed? Statements gain time-outs with the
// statement layer; until then nothing expires.
bool owner_timed_out(void *) { return false; }

}  // namespace

namespace {

// What a pool's release callback holds for an iterator it may close; the
// iterator clears it when it is closed first.
struct PoolGuard {
    DalIterator *it;
};

void close_guarded(void *arg) {
    auto *guard = static_cast<PoolGuard *>(arg);
    if (guard->it) DALCloseIterator(guard->it);
}

DalIterator *open_in(void *owner, DalRecord *dal, CvPool *pool) {
    auto *it = pool ? pool_new<DalIterator>(pool) : nullptr;
    int n = dal ? dal->count : 0;
    if (it) {
        it->iterators = pool_new_array<void *>(pool, n > 0 ? n : 1);
        it->not_opened = pool_new_array<int32_t>(pool, n > 0 ? n : 1);
    }
    if (!it || !it->iterators || !it->not_opened) {
        if (it) {
            cv_mem_free(it->iterators);
            cv_mem_free(it->not_opened);
            cv_mem_free(it);
        }
        PostDalError(dal, owner, kDalComponent, 0, "HY001", "Memory allocation error");
        return nullptr;
    }
    it->dal = dal;
    it->owner = owner;
    for (int i = 0; i < n; i++) it->not_opened[i] = dal->providers[i] != nullptr;
    return it;
}

}  // namespace

DalIterator *DALOpenIterator(void *owner, DalRecord *dal) {
    return open_in(owner, dal, dal ? dal->pool : nullptr);
}

DalIterator *DALOpenIteratorIn(void *owner, DalRecord *dal, CvPool *pool) {
    auto *guard = pool ? pool_new<PoolGuard>(pool) : nullptr;
    DalIterator *it = guard ? open_in(owner, dal, pool) : nullptr;
    if (!it) {
        cv_mem_free(guard);
        if (!guard) PostDalError(dal, owner, kDalComponent, 0, "HY001", "Memory allocation error");
        return nullptr;
    }
    guard->it = it;
    it->pool_guard = guard;
    if (!cv_mem_on_release(pool, close_guarded, guard)) return nullptr;  // closed at once by the pool
    return it;
}

void DALCloseIterator(DalIterator *it) {
    if (!it) return;
    if (it->pool_guard) static_cast<PoolGuard *>(it->pool_guard)->it = nullptr;
    for (int i = 0; i < it->dal->count; i++) {
        DalProvider *p = it->dal->providers[i];
        if (p && it->iterators[i] && p->slots.SQICloseIterator) (void)p->slots.SQICloseIterator(it->iterators[i]);
        it->iterators[i] = nullptr;
    }
    cv_mem_free(it->iterators);
    cv_mem_free(it->not_opened);
    cv_mem_free(it);
}

int DALResetIterator(DalIterator *it) {
    it->position = it->single_provider = it->first_provider_only = 0;
    it->end_reached = 0;
    it->catalog_kind = CATALOG_NONE;
    it->direct_get = nullptr;
    for (int i = 0; i < it->dal->count; i++) {
        DalProvider *p = it->dal->providers[i];
        if (p && it->iterators[i] && p->slots.SQIResetIterator) (void)p->slots.SQIResetIterator(it->iterators[i]);
    }
    return DAL_OK;
}

void DALSetIteratorTimeout(DalIterator *it, int seconds) { it->timeout = seconds > 0 ? seconds : 0; }

int dal_open_provider(DalIterator *it, int i, const Node *ddl) {
    DalProvider *p = it->dal->providers[i];
    if (!p) return DAL_ERROR;
    if (!it->not_opened[i]) return DAL_OK;
    void *pit = p->slots.SQIOpenIterator ? p->slots.SQIOpenIterator(it->owner, p->handle, p, ddl) : nullptr;
    if (!pit) return DAL_ERROR;
    it->iterators[i] = pit;
    it->not_opened[i] = 0;
    p->status = 0;
    if (it->timeout > 0 && p->slots.SQISetTimeout) (void)p->slots.SQISetTimeout(pit, it->timeout);
    return DAL_OK;
}

int dal_open_all(DalIterator *it) {
    for (int i = 0; i < it->dal->count; i++)
        if (it->dal->providers[i] && dal_open_provider(it, i, nullptr) != DAL_OK) return DAL_ERROR;
    return DAL_OK;
}

int DALStartQuery(DalIterator *it, TableInfo *info, const ListNode *select_list, const ListNode *row_list, int count,
                  Restriction **restrictions) {
    int i = info->provider_index;
    if (i < 0 || i >= it->dal->count) return DAL_ERROR;
    it->single_provider = 1;
    it->position = i;
    it->row_count_hint = 5000;
    it->end_reached = 0;
    it->direct_get = nullptr;
    if (dal_open_provider(it, i, nullptr) != DAL_OK) return DAL_ERROR;
    DalProvider *p = it->dal->providers[i];
    if (!p->slots.SQIStartQuery) return DAL_ERROR;
    const int r = p->slots.SQIStartQuery(it->iterators[i], info, select_list, row_list, count, restrictions);
    if (r == DAL_OK || r == DAL_INFO) {
        it->direct_get = p->slots.SQIGetData;
        it->direct_handle = it->iterators[i];
        it->direct_position = i;
    }
    return r;
}

int DALNextRow(DalIterator *it) {
    if (owner_timed_out(it->owner)) return DAL_ERROR;
    DalRecord *dal = it->dal;
    if (it->single_provider) {
        if (it->end_reached) return DAL_NO_DATA;
        DalProvider *p = dal->providers[it->position];
        int r = p && it->iterators[it->position] ? p->slots.SQINextRow(it->iterators[it->position]) : DAL_NO_DATA;
        if (r == DAL_NO_DATA) it->end_reached = 1;
        return r;
    }
    if (it->position > 0 && it->first_provider_only) return DAL_NO_DATA;
    for (; it->position < dal->count; it->position++) {
        DalProvider *p = dal->providers[it->position];
        if (!p) {
            if (it->first_provider_only) return DAL_NO_DATA;
            continue;
        }
        if (p->status != 0 || !it->iterators[it->position]) continue;
        int r = p->slots.SQINextRow(it->iterators[it->position]);
        if (r == DAL_ERROR) return r;
        if (r == DAL_NO_DATA) {
            if (it->first_provider_only) return DAL_NO_DATA;
            continue;
        }
        return r == DAL_INFO ? DAL_INFO : DAL_OK;
    }
    return DAL_NO_DATA;
}

namespace {

// Rows from a named gateway target show their catalog as "LINK$catalog".
int linked_catalog(DalIterator *it, DalProvider *p, int column, int c_type, void *buffer,
                   SQLLEN capacity, SQLLEN *length) {
    char catalog[kDalNameSize] = "";
    SQLLEN got = 0;
    int r = p->slots.SQIGetData(it->iterators[it->position], column, SQL_C_CHAR, catalog, sizeof catalog, &got);
    if (r == DAL_ERROR) return r;
    char text[2 * kDalNameSize + 2];
    int n = std::snprintf(text, sizeof text, "%s$%s", p->name, got > 0 ? catalog : "");
    if (length) *length = n;
    if (c_type != SQL_C_CHAR || !buffer || capacity <= 0) return DAL_OK;
    size_t cap = static_cast<size_t>(capacity);
    size_t copy = static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
    std::memcpy(buffer, text, copy);
    static_cast<char *>(buffer)[copy] = '\0';
    return static_cast<size_t>(n) < cap ? DAL_OK : DAL_INFO;
}

}  // namespace

int dal_get_data_routed(DalIterator *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    DalRecord *dal = it->dal;
    if (it->position < 0 || it->position >= dal->count) return DAL_ERROR;
    DalProvider *p = dal->providers[it->position];
    if (!p) return DAL_ERROR;
    const int kind = it->catalog_kind;
    const bool named_target = it->position > 1 && p->name[0] != '\0';
    if (named_target && kind >= CATALOG_TABLES && kind <= CATALOG_PRIVILEGES) {
        if (column == 1) return linked_catalog(it, p, column, c_type, buffer, capacity, length);
        if (column == 2) {
            int r = p->slots.SQIGetData(it->iterators[it->position], column, c_type, buffer, capacity, length);
            if (r != DAL_ERROR && length && *length == SQL_NULL_DATA) {
                *length = 0;
                if (buffer && capacity > 0 && c_type == SQL_C_CHAR) static_cast<char *>(buffer)[0] = '\0';
            }
            return r;
        }
    }
    if (named_target && kind == CATALOG_FOREIGN_KEYS && (column == 1 || column == 5))
        return linked_catalog(it, p, column, c_type, buffer, capacity, length);
    if (it->end_reached) {
        if (length) *length = SQL_NULL_DATA;
        return DAL_OK;
    }
    if (!it->iterators[it->position]) return DAL_ERROR;
    return p->slots.SQIGetData(it->iterators[it->position], column, c_type, buffer, capacity, length);
}

int DALGetTypeInfo(DalIterator *it, int data_type) {
    if (dal_open_provider(it, kViewsProvider, nullptr) != DAL_OK) return DAL_ERROR;
    it->single_provider = 1;
    it->first_provider_only = 1;
    it->position = kViewsProvider;
    it->end_reached = 0;
    DalProvider *p = it->dal->providers[kViewsProvider];
    return p->slots.SQIGetTypeInfo ? p->slots.SQIGetTypeInfo(it->iterators[kViewsProvider], data_type) : DAL_OK;
}

int DALSpoolLongData(LongBuffer *buffer, DalIterator *it, int column, int is_character) {
    clear_long_buffer(buffer);
    return DALSpoolLongRest(buffer, it, column, is_character);
}

int DALSpoolLongRest(LongBuffer *buffer, DalIterator *it, int column, int is_character) {
    constexpr SQLLEN kPiece = 1024;
    char piece[kPiece];
    const int c_type = is_character ? SQL_C_CHAR : SQL_C_BINARY;
    // A cut character piece holds 1,023 bytes and its terminator.
    const size_t full_piece = is_character ? kPiece - 1 : kPiece;
    for (;;) {
        SQLLEN length = 0;
        int r = DALGetData(it, column, c_type, piece, kPiece, &length);
        if (r == DAL_ERROR) return -1;
        if (length == SQL_NULL_DATA) {
            rewind_long_buffer(buffer);
            return DAL_NO_DATA;
        }
        const bool more = r == DAL_INFO;
        size_t n = more ? full_piece : static_cast<size_t>(length < 0 ? 0 : length);
        if (n > full_piece && !more) n = full_piece;  // a provider never reports more than it wrote
        if (append_to_long_buffer(buffer, piece, n) != 0) {
            PostDalError(it->dal, it->owner, kDalComponent, 0, "HY000", "General error: long value exceeds its limit");
            return -1;
        }
        if (!more) break;
    }
    rewind_long_buffer(buffer);
    return DAL_OK;
}
