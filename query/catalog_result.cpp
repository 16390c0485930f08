// A catalogue listing served to a rowset: one value per column, made once
// per result and refilled from the listing's cells for every row.
#include "query/catalog_result.h"

#include <memory>
#include <new>

#include "support/pool.h"
#include "support/value_ops.h"

struct CatalogResult {
    CatalogListing listing;
    DalIterator *iterator = nullptr;
    Value **values = nullptr;   // index 0 unused; in the result's pool
    int32_t column_count = 0;
};

namespace {

void release(void *arg) {
    std::unique_ptr<CatalogResult> r(static_cast<CatalogResult *>(arg));
    if (r->iterator) DALCloseIterator(r->iterator);
}

bool is_text(int32_t sql_type) { return sql_type == SQL_CHAR || sql_type == SQL_VARCHAR; }

int next_row(void *arg) {
    auto *r = static_cast<CatalogResult *>(arg);
    if (catalog_listing_next(&r->listing) != 0) return 100;
    for (int c = 1; c <= r->column_count; c++) {
        const CatalogCell *cell = catalog_listing_cell(&r->listing, c);
        Value *v = r->values[c];
        v->is_null = !cell || cell->is_null ? -1 : 0;
        if (v->is_null) continue;
        if (v->type == VT_CHAR) {
            // The listing keeps its texts until it goes: point at them.
            v->data.s = const_cast<char *>(cell->text);
            v->length = cell->length;
        } else {
            v->data.i = cell->number;
        }
        v->piece_offset = 0;
    }
    return 0;
}

Value *column_value(void *arg, int column) {
    auto *r = static_cast<CatalogResult *>(arg);
    return column >= 1 && column <= r->column_count ? r->values[column] : nullptr;
}

}  // namespace

int catalog_result_run(CvPool *pool, void *dal_handle, DalRecord *dal, const CatalogCall *call,
                       const CatalogResultDef *def, int64_t max_rows, CatalogResult **out) {
    *out = nullptr;
    std::unique_ptr<CatalogResult> owned(new (std::nothrow) CatalogResult{});
    CatalogResult *r = owned.get();
    if (!r || !cv_mem_on_release(pool, release, owned.release())) {
        PostDalError(dal, dal_handle, kDalComponent, 0, "HY001", "Memory allocation error");
        return -1;
    }
    r->column_count = def->column_count;
    r->values = pool_new_array<Value *>(pool, static_cast<size_t>(def->column_count) + 1);
    if (!r->values) {
        PostDalError(dal, dal_handle, kDalComponent, 0, "HY001", "Memory allocation error");
        return -1;
    }
    for (int c = 1; c <= def->column_count; c++) {
        r->values[c] = new_value_of_type(pool, is_text(def->columns[c - 1].sql_type) ? VT_CHAR : VT_INTEGER);
        if (!r->values[c]) {
            PostDalError(dal, dal_handle, kDalComponent, 0, "HY001", "Memory allocation error");
            return -1;
        }
    }
    r->iterator = DALOpenIterator(dal_handle, dal);
    if (!r->iterator) return -1;
    const int called = catalog_call_dal(r->iterator, call);
    if (called == DAL_ERROR) return -1;
    const int read = catalog_listing_read(&r->listing, def, r->iterator, dal_handle, max_rows);
    if (read < 0) return -1;
    *out = r;
    return called == DAL_INFO || read == 1 ? 1 : 0;
}

RowSource catalog_result_source(CatalogResult *r) {
    RowSource s{};
    s.arg = r;
    s.column_count = r->column_count;
    s.next_row = next_row;
    s.column_value = column_value;
    return s;
}
