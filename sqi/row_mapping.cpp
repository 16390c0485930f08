// JSON row mapping: where a column's value is found for the current row
// (a remembered filter value, or what the page read for that row from the
// reply's root, the row object or the child element, along the column's
// comma path: sqi/reply_page.cpp). What the value becomes is
// value_rules.cpp's concern.
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

ReplyValue scan_column_value(const PaypalIterator *it, int index) {
    const PaypalTable *table = it->table;
    if (!table || index < 0 || index >= table->column_count) return {};
    const PaypalColumn *c = &table->columns[index];
    // A filter column echoes the value the query restricted it to; one the
    // query left free reads the reply's member like any other column.
    int slot = echo_slot(c->flags);
    if (slot >= 0 && it->filters[slot].kind != JsonKind::kNull) return echo_reply_value(it->filters[slot]);
    const ReplyValue v = reply_page_value(it->page, it->current_row - 1, index);
    // A keyed scan answers for its key even where the reply does not repeat
    // it (subscription and payment transactions, payout batch items).
    if (v.kind == JsonKind::kNull && it->keyed && (c->flags & kColumnPathKey))
        return echo_reply_value(it->filters[static_cast<int>(FilterSlot::kPathKey)]);
    return v;
}
