// JSON row mapping: where a column's value is found for the current row
// (a remembered filter value, the reply's root, the current child element or
// the row object, along the column's comma path) and the character and
// timestamp forms of JSON values.
//
// Exports: scan_column_value, json_text, read_timestamp.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sqi/json_writer.h"
#include "sqi/scan.h"
#include "support/calendar.h"

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

// Decimal number at text[pos..] up to the first non-digit (0 past the end).
int number_at(const char *text, size_t length, size_t pos) {
    int n = 0;
    for (size_t i = pos; i < length && i < pos + 6 && text[i] >= '0' && text[i] <= '9'; ++i) n = n * 10 + (text[i] - '0');
    return n;
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

bool json_text(const json_t *v, std::string &out) {
    out.clear();
    char buf[64];
    switch (json_typeof(v)) {
        case JSON_OBJECT:
        case JSON_ARRAY:
            if (json_is_array(v) && json_array_size(v) == 0) return false;
            return append_json_text(v, out);
        case JSON_STRING:
            out.assign(json_string_value(v), json_string_length(v));
            return true;
        case JSON_INTEGER:
            // The whole 64-bit value: "%d" would cut large ids and amounts.
            snprintf(buf, sizeof buf, "%" JSON_INTEGER_FORMAT, json_integer_value(v));
            out = buf;
            return true;
        case JSON_REAL:
            snprintf(buf, sizeof buf, "%f", json_real_value(v));
            out = buf;
            return true;
        case JSON_TRUE:
            out = "True";
            return true;
        case JSON_FALSE:
            out = "False";
            return true;
        default:
            return false;
    }
}

bool read_timestamp(const char *text, size_t length, TIMESTAMP_STRUCT *out) {
    if (!text || length < 17) return false;
    int year = number_at(text, length, 0), month = number_at(text, length, 5), day = number_at(text, length, 8);
    int hour = number_at(text, length, 11), minute = number_at(text, length, 14);
    int second = number_at(text, length, 17);
    size_t pos = 19;
    if (pos < length && text[pos] == '.') {  // fractions of a second are not kept
        ++pos;
        while (pos < length && text[pos] >= '0' && text[pos] <= '9') ++pos;
    }
    if (pos < length && (text[pos] == '+' || text[pos] == '-') && month >= 1 && month <= 12 && day >= 1 && day <= 31) {
        // "+HH:MM", or "+HHMM" as the transaction search writes it: the
        // hours are two digits either way.
        size_t minutes_at = (pos + 3 < length && text[pos + 3] == ':') ? pos + 4 : pos + 3;
        int offset = number_at(text, std::min(length, pos + 3), pos + 1) * 60 +
                     number_at(text, std::min(length, minutes_at + 2), minutes_at);
        if (text[pos] == '-') offset = -offset;
        // The reply's local time minus its offset is UTC, the zone of "Z"
        // texts, so every time of a reply reads on one clock.
        int64_t minutes = static_cast<int64_t>(hour) * 60 + minute - offset;
        int64_t jdn = ymd_to_jdnl(year, month, day);
        while (minutes < 0) {
            minutes += 1440;
            --jdn;
        }
        while (minutes >= 1440) {
            minutes -= 1440;
            ++jdn;
        }
        int64_t y;
        jdnl_to_ymd(jdn, &y, &month, &day);
        year = static_cast<int>(y);
        hour = static_cast<int>(minutes / 60);
        minute = static_cast<int>(minutes % 60);
    }
    *out = TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(year), static_cast<SQLUSMALLINT>(month),
                            static_cast<SQLUSMALLINT>(day), static_cast<SQLUSMALLINT>(hour),
                            static_cast<SQLUSMALLINT>(minute), static_cast<SQLUSMALLINT>(second), 0};
    return true;
}
