// JSON row mapping: where a column's value is found for the current row
// (a remembered filter value, or what the page read for that row from the
// reply's root, the row object or the child element, along the column's
// comma path: sqi/reply_page.cpp). What the value becomes is
// value_rules.cpp's concern.
//
// Inline, with the page's own lookup: every value of every row passes here,
// and a value handed back through memory between separately compiled calls
// is stored in pieces and loaded whole, which the processor cannot forward
// from its store buffer: the load then waits for every older store to
// reach the cache, the application's bound entries among them, which miss
// when a block of them outgrows the cache.
//
// Exports: scan_column_value.
#pragma once

#include "sqi/scan.h"

// The slot a filter column reads back (the first filter bit that echoes), or -1.
inline int scan_echo_slot(uint64_t flags) {
    if (flags & kColumnLower) return static_cast<int>(FilterSlot::kLower);
    if (flags & kColumnUpper) return static_cast<int>(FilterSlot::kUpper);
    if (flags & kColumnThird) return static_cast<int>(FilterSlot::kThird);
    if (flags & kColumnRemember1) return static_cast<int>(FilterSlot::kRemember1);
    if (flags & kColumnRemember2) return static_cast<int>(FilterSlot::kRemember2);
    if (flags & kColumnRemember3) return static_cast<int>(FilterSlot::kRemember3);
    return -1;
}

/// The value of catalogue column `index` (0-based) for the current row: a
/// remembered filter value, else the page's value (from the root, the row
/// or the child element). Borrowed; kNull when missing.
[[nodiscard, gnu::always_inline]] inline ReplyValue scan_column_value(const PaypalIterator *it, int index) {
    const PaypalTable *table = it->table;
    if (!table || index < 0 || index >= table->column_count) return {};
    const PaypalColumn *c = &table->columns[index];
    // A filter column echoes the value the query restricted it to; one the
    // query left free reads the reply's member like any other column.
    int slot = scan_echo_slot(c->flags);
    if (slot >= 0 && it->filters[slot].kind != JsonKind::kNull) return echo_reply_value(it->filters[slot]);
    // A keyed scan answers for its key even where the reply does not repeat
    // it (subscription and payment transactions, payout batch items).
    if (it->keyed && (c->flags & kColumnPathKey)) {
        const ReplyValue v = reply_page_value(it->page, it->current_row - 1, index);
        if (v.kind == JsonKind::kNull) return echo_reply_value(it->filters[static_cast<int>(FilterSlot::kPathKey)]);
        return v;
    }
    // Made where the caller keeps it, not copied there.
    return reply_page_value(it->page, it->current_row - 1, index);
}
