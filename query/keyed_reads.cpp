// Tables read by key for each outer row, their reads kept (keyed_reads.h).
#include "query/keyed_reads.h"

#include <new>
#include <string>
#include <unordered_map>

#include "query/deferred.h"
#include "query/row_store.h"
#include "query/scan.h"
#include "query/sort.h"

struct KeyedReads {
    int32_t index;                 // the scan
    RowStore rows;                 // the rows of every read kept, read after read
    struct Read {
        size_t first, count;       // its rows in `rows`
    };
    std::unordered_map<std::string, Read> reads;  // by the restriction values' payloads
    size_t next = 0, end = 0;      // rows of the current read still to give
    ByteBuffer key;
};

namespace {

[[noreturn]] void no_memory(EvalContext *c) { raise_evaluation_error(c, "HY001", "Memory allocation error"); }

// The work file (if any) belongs to the plan's pool, which closes it.
void destroy(void *arg) { delete static_cast<KeyedReads *>(arg); }

// The key of the read the current outer rows ask for.
void read_key(ExecPlan *plan, KeyedReads *k, EvalContext *c) {
    k->key.clear();
    for (ListCell *cell = ListFirst(plan->alternatives[plan->current].candidates[k->index]); cell;
         cell = ListNext(cell)) {
        auto *e = static_cast<Node *>(static_cast<Restriction *>(ListData(cell))->value_expression);
        if (!e) continue;  // IS NULL: the same for every read
        Value *v = evaluate_expression(e, c);
        if (v->deferred && read_deferred_value(v) < 0) raise_evaluation_error(c, "HY000", "Data Read Error");
        payload_append(k->key, v);
    }
}

}  // namespace

KeyedReads *keyed_reads_create(ExecPlan *plan, int index, EvalContext *c) {
    auto *k = new (std::nothrow) KeyedReads;
    if (!k) no_memory(c);
    if (!cv_mem_on_release(plan->pool, destroy, k)) {
        delete k;
        no_memory(c);
    }
    k->index = index;
    k->rows.budget = sort_memory_budget(c->statement->connection.work_mem_size);
    return k;
}

void keyed_reads_reset(KeyedReads *k) {
    k->reads.clear();
    row_store_clear(k->rows);
    k->next = k->end = 0;
}

void keyed_reads_open(ExecPlan *plan, KeyedReads *k, EvalContext *c) {
    try {
        read_key(plan, k, c);
        std::string key(reinterpret_cast<const char *>(k->key.data()), k->key.size());
        auto found = k->reads.find(key);
        if (found != k->reads.end()) {
            k->next = found->second.first;
            k->end = k->next + found->second.count;
            return;
        }
        // Past the reads kept, or once they outgrew memory: start again.
        if (k->reads.size() >= kKeyedReadsKept || k->rows.file) keyed_reads_reset(k);
        const size_t first = k->rows.count();
        scan_open(plan, k->index, c);
        while (scan_fetch(plan, k->index, c) == 0) row_store_keep_scans(plan, k->index, k->index + 1, k->rows, c);
        k->reads.emplace(std::move(key), KeyedReads::Read{first, k->rows.count() - first});
        k->next = first;
        k->end = k->rows.count();
    } catch (const std::bad_alloc &) {
        no_memory(c);
    }
}

int keyed_reads_fetch(ExecPlan *plan, KeyedReads *k, EvalContext *c) {
    if (k->next >= k->end) return 100;
    row_store_restore_scans(plan, k->index, k->index + 1, k->rows, k->next++, c);
    return 0;
}
