// JSON row mapping: where a column's value is found for the current row
// (a remembered filter value, the reply's root, the current child element or
// the row object, along the column's comma path). What the value becomes
// is value_rules.cpp's concern.
//
// Exports: scan_column_value.
#include "sqi/scan.h"

namespace {

// The slot a filter column reads back (the first filter bit that echoes), or -1.
int echo_slot(uint64_t flags) {
    if (flags & kColumnLower) return static_cast<int>(FilterSlot::kLower);
    if (flags & kColumnUpper) return static_cast<int>(FilterSlot::kUpper);
    if (flags & kColumnThird) return static_cast<int>(FilterSlot::kThird);
    if (flags & kColumnRemember1) return static_cast<int>(FilterSlot::kRemember1);
    if (flags & kColumnRemember2) return static_cast<int>(FilterSlot::kRemember2);
    if (flags & kColumnRemember3) return static_cast<int>(FilterSlot::kRemember3);
    return -1;
}

}  // namespace

json_t *scan_column_value(const PaypalIterator *it, int index) {
    const PaypalTable *table = it->table;
    if (!table || index < 0 || index >= table->column_count) return nullptr;
    const PaypalColumn *c = &table->columns[index];
    // A filter column echoes the value the query restricted it to; one the
    // query left free reads the reply's member like any other column.
    int slot = echo_slot(c->flags);
    if (slot >= 0 && it->filters[slot]) return it->filters[slot];
    json_t *start;
    if (c->flags & kColumnRoot) {
        start = it->root;
    } else if (c->flags & kColumnChild) {
        json_t *a = scan_child_array(it);
        start = (a && it->current_child >= 1) ? json_array_get(a, static_cast<size_t>(it->current_child - 1)) : nullptr;
    } else {
        start = it->row;
    }
    json_t *v = start;
    for (const char *const *m = c->path_members; v && m && *m; ++m) v = json_object_get(v, *m);
    // A keyed scan answers for its key even where the reply does not repeat
    // it (subscription and payment transactions, payout batch items).
    if ((!v || json_is_null(v)) && it->keyed && (c->flags & kColumnPathKey))
        return it->filters[static_cast<int>(FilterSlot::kPathKey)];
    return v;
}
