// A page of a scan: one reply read into the rows SQINextRow delivers and
// the value of every column of each, in one pass over the reply.
//
// The reply is walked with simdjson's On-Demand API along the table's
// compiled paths (sqi/path_map.h): members no column reads are skipped by
// their brackets; every member a column reads is checked token by token and
// kept as a ValueSlot, the place of its text in the reply (strings without
// escapes, numbers, true, false) or in the page's arena (strings with
// escapes resolved, the sorted JSON text of objects and arrays). Rows are
// flat: a child table's row holds its child element's columns, its parent
// row's and the root's, so reading a value is one index.
//
// A page fails to load, with no rows, when the reply is not JSON where it
// is read (the whole reply's UTF-8, strings and bracket structure, and every
// member a column reads), when its root is neither an object nor an array,
// when a string a column reads holds the character U+0000 (texts inside the
// driver end at it), or when it holds more rows than kMaxPageSlots slots.
// Repeated member names read as the last one given, as in a parsed object.
//
// Lifetimes: a page lives in its PaypalIterator and is reused for every
// page of the scan (its buffers keep their capacity); ReplyValues it hands
// out are valid until the next load, clear or release.
//
// Exports: ValueSlot, ReplyPage, kMaxPageSlots, kReplyTextPadding, reply_page_load,
// reply_page_view, reply_page_value (both inline), reply_page_clear, reply_page_release.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sqi/reply_value.h"

struct PaypalTable;

// Where one value's text lies.
struct ValueSlot {
    uint32_t offset;   // into the reply text, or the arena
    uint32_t length;
    JsonKind kind;     // kNull: JSON null or no such member
    uint8_t in_arena;  // 1: the text is in the arena
};

// The most values one page holds (rows times columns): 16 MiB of slots.
inline constexpr size_t kMaxPageSlots = (size_t{16} << 20) / sizeof(ValueSlot);
// Bytes the parser may read past a reply's end: a text with this much spare
// capacity is read where it lies.
inline constexpr size_t kReplyTextPadding = 64;

struct ReplyPage {
    std::string text;   // the reply; the caller puts it here before loading
    std::string arena;  // resolved strings, sorted texts of objects and arrays (its size is room)
    size_t arena_used = 0;  // bytes of arena in use
    std::vector<ValueSlot> slots;  // row_count rows of column_count values
    int32_t column_count = 0;
    int32_t row_count = 0;   // rows to deliver (child rows, for a child table)
    int32_t list_count = 0;  // elements of the row list (1 for a single object)
    bool loaded = false;     // the page holds a reply's rows
    bool single_object = false;
    // The paging members of a list reply's root (absent, or not integers: has_* false).
    bool has_page = false, has_total_pages = false, has_total_items = false;
    int64_t page = 0, total_pages = 0, total_items = 0;
    std::string next_id;    // "next_id", when a string
    std::string next_href;  // the href of the first of "links" whose rel is "next"
    // Buffers reused from load to load.
    std::vector<ValueSlot> root_values, parent_values;
};

/// Reads `page.text` as a reply of `table`: a list reply when `list`, else a
/// single object. True with the rows; false with `error` the text to post
/// ("fails to decode reply", or the limit reached) and no rows.
[[nodiscard]] bool reply_page_load(ReplyPage &page, const PaypalTable *table, bool list, std::string &error);

/// The value a slot of `page` holds, its text where the slot says.
[[nodiscard, gnu::always_inline]] inline ReplyValue reply_page_view(const ReplyPage &page, const ValueSlot &s) {
    const char *base = s.in_arena ? page.arena.data() : page.text.data();
    return ReplyValue{s.kind, std::string_view(base + s.offset, s.length)};
}

/// The value of column `column` (0-based) of row `row` (0-based) of a
/// loaded page (kNull outside the page). Inline: see sqi/row_mapping.h.
[[nodiscard, gnu::always_inline]] inline ReplyValue reply_page_value(const ReplyPage &page, int32_t row,
                                                                   int32_t column) {
    if (!page.loaded || row < 0 || row >= page.row_count || column < 0 || column >= page.column_count) return {};
    return reply_page_view(page, page.slots[static_cast<size_t>(row) * static_cast<size_t>(page.column_count) +
                                            static_cast<size_t>(column)]);
}

/// Drops the rows, keeping the buffers for the next load.
void reply_page_clear(ReplyPage &page);

/// Drops the rows and gives the buffers back.
void reply_page_release(ReplyPage &page);
