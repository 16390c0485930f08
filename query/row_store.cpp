// Rows kept to be read again (row_store.h).
#include "query/row_store.h"

#include <algorithm>
#include <cstring>
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
    row_store_unpoint(store);
    store.decoded = false;
    store.given_up = false;
    store.columns.clear();
    store.cells.clear();
    store.texts.clear();
    store.text_at = nullptr;
    store.text_left = 0;
    store.decoded_bytes = 0;
    store.decoded_rows = 0;
    store.data.clear();
    store.offsets.clear();
    store.total = 0;
    work_file_close(store.file);
    store.file = nullptr;
}

namespace {

constexpr size_t kTextBlock = 64 * 1024;

// Room for `n` bytes of text in the store's arena.
char *text_space(RowStore &store, size_t n) {
    if (n > store.text_left) {
        const size_t block = std::max(n, kTextBlock);
        store.texts.push_back(std::make_unique<char[]>(block));
        store.text_at = store.texts.back().get();
        store.text_left = block;
        store.decoded_bytes += static_cast<int64_t>(block);
    }
    char *at = store.text_at;
    store.text_at += n;
    store.text_left -= n;
    return at;
}

bool has_buffer(uint32_t type) {
    return type == VT_CHAR || type == VT_BINARY;
}

// The current row of the store's columns appended to the cells, when every
// value is one a cell holds (no long values) and the row fits the budget.
bool decode_row(ExecPlan *plan, RowStore &store, EvalContext *c) {
    int64_t need = static_cast<int64_t>(store.columns.size() * sizeof(Value));
    for (const KeptColumn &k : store.columns) {
        Value *v = plan->scans[k.scan].values[k.column];
        if (v->deferred && read_deferred_value(v) < 0)
            raise_evaluation_error(c, "HY000", "Data Read Error");
        if (!v->is_null && !is_plain_value_type(v->type)) return false;
        if (v->type == VT_LONG_CHAR || v->type == VT_LONG_BINARY) return false;
        if (has_buffer(v->type) && !v->is_null) need += v->length + 1;
    }
    if (store.decoded_bytes + need > store.budget) return false;
    for (size_t k = 0; k < store.columns.size(); k++) {
        const Value *v = plan->scans[store.columns[k].scan].values[store.columns[k].column];
        Value cell = *v;
        cell.deferred = 0;
        cell.source_iterator = nullptr;
        cell.source_column_info = nullptr;
        cell.piece_offset = 0;
        cell.owns_data = 0;
        cell.long_buffer = nullptr;
        if (has_buffer(cell.type)) {
            // Every text and binary cell has a buffer, a NULL one too: code
            // that looks at a NULL value's buffer finds an empty text.
            const size_t n = v->is_null ? 0 : static_cast<size_t>(v->length);
            char *text = text_space(store, n + 1);
            if (n)
                std::memcpy(text,
                            cell.type == VT_BINARY ? reinterpret_cast<const char *>(v->data.bytes)
                                                   : v->data.s,
                            n);
            text[n] = '\0';
            if (cell.type == VT_BINARY)
                cell.data.bytes = reinterpret_cast<uint8_t *>(text);
            else
                cell.data.s = text;
            if (v->is_null) cell.length = 0;
        }
        store.cells[k].push_back(cell);
    }
    store.decoded_bytes += static_cast<int64_t>(store.columns.size() * sizeof(Value));
    store.decoded_rows++;
    return true;
}

// Decoding stops: the rows decoded so far become payloads, in order.
void give_up_decoding(ExecPlan *plan, RowStore &store, EvalContext *c) {
    row_store_unpoint(store);
    store.given_up = true;
    store.decoded = false;
    for (size_t r = 0; r < store.decoded_rows; r++) {
        store.row.clear();
        for (auto &column : store.cells) payload_append(store.row, &column[r]);
        row_store_keep(store, plan->pool, c->statement->connection.work_dir_path, c);
    }
    store.cells = {};
    std::vector<std::unique_ptr<char[]>>().swap(store.texts);
    store.text_at = nullptr;
    store.text_left = 0;
    store.decoded_bytes = 0;
    store.decoded_rows = 0;
}

}  // namespace

void row_store_keep_scans(ExecPlan *plan, int lo, int hi, RowStore &store, EvalContext *c) {
    if (store.decode && !store.given_up) {
        try {
            if (!store.decoded) {
                store.columns.clear();
                for (int s = lo; s < hi; s++)
                    for (int i = 0; i < plan->scans[s].slot->column_count; i++)
                        if (plan->scans[s].values[i]) store.columns.push_back(KeptColumn{s, i});
                store.cells.assign(store.columns.size(), {});
                store.decoded = true;
            }
            if (decode_row(plan, store, c)) return;
            give_up_decoding(plan, store, c);
        } catch (const std::bad_alloc &) {
            no_memory(c);
        }
    }
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
    if (store.decoded) {
        const size_t n = store.columns.size();
        if (!store.scans) {
            store.scans = plan->scans;
            try {
                store.home.resize(n);
            } catch (const std::bad_alloc &) {
                store.scans = nullptr;
                no_memory(c);
            }
            for (size_t k = 0; k < n; k++)
                store.home[k] = plan->scans[store.columns[k].scan].values[store.columns[k].column];
        }
        for (size_t k = 0; k < n; k++)
            plan->scans[store.columns[k].scan].values[store.columns[k].column] =
                &store.cells[k][row];
        return;
    }
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

void row_store_unpoint(RowStore &store) {
    if (!store.scans) return;
    for (size_t k = 0; k < store.columns.size(); k++)
        store.scans[store.columns[k].scan].values[store.columns[k].column] = store.home[k];
    store.scans = nullptr;
}

int row_store_column(const RowStore &store, int scan, int column) {
    for (size_t k = 0; k < store.columns.size(); k++)
        if (store.columns[k].scan == scan && store.columns[k].column == column)
            return static_cast<int>(k);
    return -1;
}
