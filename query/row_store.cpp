// Rows kept to be read again (row_store.h).
#include "query/row_store.h"

#include <new>

#include "query/deferred.h"
#include "query/evaluate.h"
#include "support/work_file.h"

namespace {

[[noreturn]] void file_failure(const RowStore &store, EvalContext *c) {
    const char *operation = nullptr;
    int code = 0;
    const char *text = store.file ? work_file_error(store.file, &operation, &code) : "work file";
    raise_evaluation_error(c, "HY000", "General error: RSFile error '%s' %d [%s]", text ? text : "", code,
                           operation ? operation : "");
}

[[noreturn]] void no_memory(EvalContext *c) { raise_evaluation_error(c, "HY001", "Memory allocation error"); }

}  // namespace

void row_store_keep(RowStore &store, CvPool *pool, const char *work_dir, EvalContext *c) {
    try {
        store.offsets.push_back(store.total);
        store.total += store.row.size();
        if (!store.file && static_cast<int64_t>(store.data.size() + store.row.size()) <= store.budget) {
            store.data.insert(store.data.end(), store.row.begin(), store.row.end());
            return;
        }
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
    if (!store.file) {
        // The rows kept so far move to the file first, so every row is in
        // one place.
        store.file = work_file_create(pool, 8, 1, work_dir);
        if (!store.file) no_memory(c);
        if (!store.data.empty() && work_side_append(store.file, store.data.data(), store.data.size()) < 0)
            file_failure(store, c);
        store.data = {};
    }
    if (work_side_append(store.file, store.row.data(), store.row.size()) < 0) file_failure(store, c);
}

const uint8_t *row_store_read(RowStore &store, size_t row, size_t *length, EvalContext *c) {
    const size_t at = store.offsets[row];
    const size_t end = row + 1 < store.offsets.size() ? store.offsets[row + 1] : store.total;
    *length = end - at;
    if (!store.file) return store.data.data() + at;
    try {
        store.row.resize(end - at);
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
    if (work_side_read(store.file, static_cast<int64_t>(at), store.row.data(), end - at) != 0)
        file_failure(store, c);
    return store.row.data();
}

void row_store_clear(RowStore &store) {
    store.data.clear();
    store.offsets.clear();
    store.total = 0;
    work_file_close(store.file);
    store.file = nullptr;
}

void row_store_keep_scans(ExecPlan *plan, int lo, int hi, RowStore &store, EvalContext *c) {
    ByteBuffer &out = store.row;
    out.clear();
    for (int s = lo; s < hi; s++) {
        TableScan &scan = plan->scans[s];
        for (int i = 0; i < scan.slot->column_count; i++) {
            Value *v = scan.values[i];
            if (!v) continue;
            if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
            payload_append(out, v);
        }
    }
    row_store_keep(store, plan->pool, c->statement->connection.work_dir_path, c);
}

void row_store_restore_scans(ExecPlan *plan, int lo, int hi, RowStore &store, size_t row, EvalContext *c) {
    size_t at = 0, end = 0;
    const uint8_t *data = row_store_read(store, row, &end, c);
    for (int s = lo; s < hi; s++) {
        TableScan &scan = plan->scans[s];
        for (int i = 0; i < scan.slot->column_count; i++) {
            Value *v = scan.values[i];
            if (!v) continue;
            int r = payload_restore(data, end, &at, v, scan.capacity[i], plan->pool);
            if (r == -2) no_memory(c);
            if (r != 0) raise_evaluation_error(c, "HY000", "General error: %s", "damaged row cache");
        }
    }
}
