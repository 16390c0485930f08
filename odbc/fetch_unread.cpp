// deliver_unread (see fetch_unread.h): a value the engine handed out unread
// into a bound entry, straight from the provider where that gives what the
// conversion would.
#include "odbc/fetch_unread.h"

#include <cstring>

#include "dal/dal.h"
#include "query/exec_api.h"
#include "support/long_buffer.h"
#include "support/numeric.h"

namespace {

// A NULL read straight from the provider: the value becomes NULL as the
// engine's own read leaves it, and the entry gets its indicator (without
// one, the conversion posts 22002).
Unread deliver_null(Value *v, const ConvertTarget &t) {
    v->deferred = 0;
    v->is_null = -1;
    if (v->type == VT_CHAR) {
        v->length = 0;
        if (v->data.s) v->data.s[0] = '\0';
    } else if (v->type == VT_LONG_CHAR && v->long_buffer) {
        clear_long_buffer(v->long_buffer);
    }
    if (!t.indicator) return Unread::kRead;
    *t.indicator = SQL_NULL_DATA;
    return Unread::kDelivered;
}

// An exact numeric bound as text (the engine has asked the provider how it
// hands numerics over, at the first row): the number's text as the engine
// reads it, and when that is a plain amount it is printed at the column's
// scale as the conversion would print the number read from it. Any other
// text, and one that would not fit, go through the engine's read as
// always: a whole text read leaves no piece behind, and an exact read
// knows none. A text too long for the engine's read fails as it does there.
Unread deliver_unread_numeric(QueryStatement *query, DalIterator *it, Value *v, const ConvertTarget &t,
                              bool exact) {
    char text[kDeferredTextCapacity];
    SQLLEN got = 0;
    const int r = DALGetData(it, v->source_column, SQL_C_CHAR, text, sizeof text, &got);
    if (r == DAL_OK && got == SQL_NULL_DATA) return deliver_null(v, t);
    if (r == DAL_OK && got >= 0 && got < static_cast<SQLLEN>(sizeof text)) {
        const size_t n = decimal_text_at_scale(text, static_cast<size_t>(got), v->precision, v->scale,
                                               static_cast<char *>(t.buffer), static_cast<size_t>(t.capacity));
        if (n > 0) {
            if (t.length) *t.length = static_cast<SQLLEN>(n);
            return Unread::kDelivered;
        }
    } else if (r == DAL_ERROR || !exact) {
        (void)query_read_failed(query);
        return Unread::kFailed;
    }
    return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
}

}  // namespace

Unread deliver_unread(QueryStatement *query, const BoundColumn &e, Value *v, const ConvertTarget &t) {
    auto *it = static_cast<DalIterator *>(v->source_iterator);
    if (v->type == VT_NUMERIC && e.text && it && t.buffer && t.capacity > 0 && e.facts.max_length == 0) {
        const auto *column = static_cast<const DeferredNumeric *>(v->source_column_info);
        if (column && column->asked) return deliver_unread_numeric(query, it, v, t, column->transfers_exact != 0);
    }
    const bool text = e.text && (v->type == VT_CHAR || v->type == VT_LONG_CHAR) && it && t.buffer &&
                      t.capacity > 0 && e.facts.max_length == 0;
    if (!text) return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
    auto *out = static_cast<char *>(t.buffer);
    SQLLEN got = 0;
    const int r = DALGetData(it, v->source_column, SQL_C_CHAR, out, t.capacity, &got);
    if (r == DAL_OK && got != SQL_NULL_DATA) {
        if (got < 0 || got >= t.capacity) got = static_cast<SQLLEN>(strnlen(out, static_cast<size_t>(t.capacity - 1)));
        if (t.length) *t.length = got;
        return Unread::kDelivered;
    }
    if (r == DAL_OK) return deliver_null(v, t);
    if (r == DAL_INFO) {  // cut: the entry holds the first piece
        const size_t n = got >= 0 && got < t.capacity ? static_cast<size_t>(got) : static_cast<size_t>(t.capacity - 1);
        return query_settle_cut_text(query, v, out, n) == 0 ? Unread::kRead : Unread::kFailed;
    }
    (void)query_read_failed(query);
    return Unread::kFailed;
}

