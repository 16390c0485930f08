// Values the engine handed out unread (see fetch_unread.h): into a bound
// entry or SQLGetData's buffer, straight from the provider where that gives
// what the conversion would.
#include "odbc/fetch_unread.h"

#include <cstring>

#include "dal/dal.h"
#include "query/exec_api.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/text.h"
#include "support/value_ops.h"

namespace {

// A text read as SQL_C_WCHAR up to this size goes through the stack; a
// longer one is read into the value (its first piece from here).
constexpr size_t kWideDirectBytes = 1024;

// A NULL read straight from the provider: the value becomes NULL as the
// engine's own read leaves it.
void make_null(Value *v) {
    v->deferred = 0;
    v->is_null = -1;
    if (v->type == VT_CHAR) {
        v->length = 0;
        if (v->data.s) v->data.s[0] = '\0';
    } else if (v->type == VT_LONG_CHAR && v->long_buffer) {
        clear_long_buffer(v->long_buffer);
    }
}

// make_null, and the entry gets its indicator (without one, the conversion
// posts 22002).
Unread deliver_null(Value *v, const ConvertTarget &t) {
    make_null(v);
    if (!t.indicator) return Unread::kRead;
    *t.indicator = SQL_NULL_DATA;
    return Unread::kDelivered;
}

// A text the provider cut at `capacity` bytes (DAL_INFO): the value becomes
// that first piece and every remaining one.
Unread settle_cut(QueryStatement *query, Value *v, const char *first, SQLLEN got, SQLLEN capacity) {
    const size_t n = got >= 0 && got < capacity ? static_cast<size_t>(got) : static_cast<size_t>(capacity - 1);
    return query_settle_cut_text(query, v, first, n) == 0 ? Unread::kRead : Unread::kFailed;
}

Unread read_failed(QueryStatement *query) {
    (void)query_read_failed(query);
    return Unread::kFailed;
}

// What amount_text found.
enum class Amount {
    kText,    // the scaled text is written
    kNull,    // the provider holds NULL
    kRead,    // read into the value for the conversion
    kFailed,  // posted
};

// An exact numeric read as text (the engine has asked the provider how it
// hands numerics over, at the first row): the number's text as the engine
// reads it, and when that is a plain amount it is printed into `out` at the
// column's scale as the conversion would print the number read from it.
// Any other text, and one that would not fit, go through the engine's read
// as always: a whole text read leaves no piece behind, and an exact read
// knows none. A text too long for the engine's read fails as it does there.
// Inlined into both callers: the bound delivery passes here for every
// amount of every row.
[[gnu::always_inline]] inline Amount amount_text(QueryStatement *query, DalIterator *it, Value *v, bool exact,
                                                 char *out, size_t room, size_t *n) {
    char text[kDeferredTextCapacity];
    SQLLEN got = 0;
    const int r = DALGetData(it, v->source_column, SQL_C_CHAR, text, sizeof text, &got);
    if (r == DAL_OK && got == SQL_NULL_DATA) return Amount::kNull;
    if (r == DAL_OK && got >= 0 && got < static_cast<SQLLEN>(sizeof text)) {
        *n = decimal_text_at_scale(text, static_cast<size_t>(got), v->precision, v->scale, out, room);
        if (*n > 0) return Amount::kText;
    } else if (r == DAL_ERROR || !exact) {
        (void)read_failed(query);
        return Amount::kFailed;
    }
    return query_settle_value(query, v) == 0 ? Amount::kRead : Amount::kFailed;
}

// The column facts of an unread amount once the engine has asked how the
// provider hands numerics over; null before.
const DeferredNumeric *asked_numeric(const Value *v) {
    const auto *column = static_cast<const DeferredNumeric *>(v->source_column_info);
    return v->type == VT_NUMERIC && column && column->asked ? column : nullptr;
}

// An amount bound as text, printed straight into its entry.
Unread deliver_unread_numeric(QueryStatement *query, DalIterator *it, Value *v, const ConvertTarget &t,
                              bool exact) {
    size_t n = 0;
    switch (amount_text(query, it, v, exact, static_cast<char *>(t.buffer), static_cast<size_t>(t.capacity), &n)) {
    case Amount::kText:
        if (t.length) *t.length = static_cast<SQLLEN>(n);
        return Unread::kDelivered;
    case Amount::kNull: return deliver_null(v, t);
    case Amount::kRead: return Unread::kRead;
    default: return Unread::kFailed;
    }
}

// SQLGetData of an amount as SQL_C_CHAR or SQL_C_WCHAR: its scaled text
// when all of it fits; else the value is read (the provider starts a
// column delivered whole from its beginning) for the conversion.
Unread get_data_numeric(QueryStatement *query, DalIterator *it, Value *v, const ConvertTarget &t, bool exact) {
    char scaled[kShortTextRoom];
    size_t n = 0;
    switch (amount_text(query, it, v, exact, scaled, sizeof scaled, &n)) {
    case Amount::kText: break;
    case Amount::kNull: make_null(v); return Unread::kRead;
    case Amount::kRead: return Unread::kRead;
    default: return Unread::kFailed;
    }
    const bool wide = t.c_type == SQL_C_WCHAR;
    if (n >= static_cast<size_t>(t.capacity) / (wide ? 2 : 1))
        return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
    if (wide) {
        size_t units = 0;
        (void)utf8_to_utf16_piece(std::string_view(scaled, n + 1), t.buffer, n + 1, &units);  // the terminator too
        if (t.length) *t.length = static_cast<SQLLEN>(2 * n);
    } else {
        std::memcpy(t.buffer, scaled, n + 1);
        if (t.length) *t.length = static_cast<SQLLEN>(n);
    }
    return Unread::kDelivered;
}

// SQL_C_WCHAR: the text is read whole into a buffer on the stack and
// written as UTF-16 when all of it fits, terminator included. A text that
// does not fit is read again into the value (the provider starts a column
// delivered whole from its beginning), so that the conversion hands it out
// in pieces as always.
Unread get_data_wide(QueryStatement *query, DalIterator *it, Value *v, const ConvertTarget &t) {
    char text[kWideDirectBytes];
    SQLLEN got = 0;
    const int r = DALGetData(it, v->source_column, SQL_C_CHAR, text, sizeof text, &got);
    if (r == DAL_OK && got == SQL_NULL_DATA) {
        make_null(v);
        return Unread::kRead;
    }
    if (r == DAL_INFO) return settle_cut(query, v, text, got, static_cast<SQLLEN>(sizeof text));
    if (r != DAL_OK) return read_failed(query);
    const size_t size = got >= 0 && got < static_cast<SQLLEN>(sizeof text) ? static_cast<size_t>(got)
                                                                          : strnlen(text, sizeof text - 1);
    const size_t room = static_cast<size_t>(t.capacity) / 2 - 1;
    size_t units = 0;
    if (utf8_to_utf16_piece(std::string_view(text, size), t.buffer, room, &units) == size) {
        const char16_t end = 0;
        std::memcpy(static_cast<char *>(t.buffer) + 2 * units, &end, 2);
        if (t.length) *t.length = static_cast<SQLLEN>(2 * units);
        return Unread::kDelivered;
    }
    return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
}

}  // namespace

Unread get_data_unread(QueryStatement *query, Value *v, const ConvertTarget &t) {
    auto *it = static_cast<DalIterator *>(v->source_iterator);
    const bool text = v->type == VT_CHAR || v->type == VT_LONG_CHAR;
    const bool wide = t.c_type == SQL_C_WCHAR;
    const DeferredNumeric *amount = asked_numeric(v);
    if (!(text || amount) || !it || !t.buffer || t.capacity < (wide ? 2 : 1))
        return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
    if (amount) return get_data_numeric(query, it, v, t, amount->transfers_exact != 0);
    if (wide) return get_data_wide(query, it, v, t);
    SQLLEN got = 0;
    const int r = DALGetData(it, v->source_column, SQL_C_CHAR, t.buffer, t.capacity, &got);
    if (r == DAL_OK && got == SQL_NULL_DATA) {  // the conversion answers a NULL, indicator or 22002
        make_null(v);
        return Unread::kRead;
    }
    return unread_text_answer(query, v, t, r, got);
}

Unread deliver_unread(QueryStatement *query, const BoundColumn &e, Value *v, const ConvertTarget &t) {
    auto *it = static_cast<DalIterator *>(v->source_iterator);
    if (e.direct_text && it) {
        if (const DeferredNumeric *column = asked_numeric(v))
            return deliver_unread_numeric(query, it, v, t, column->transfers_exact != 0);
    }
    return query_settle_value(query, v) == 0 ? Unread::kRead : Unread::kFailed;
}

Unread unread_text_answer(QueryStatement *query, Value *v, const ConvertTarget &t, int r, SQLLEN got) {
    auto *out = static_cast<char *>(t.buffer);
    if (r == DAL_OK && got != SQL_NULL_DATA) {
        if (got < 0 || got >= t.capacity) got = static_cast<SQLLEN>(strnlen(out, static_cast<size_t>(t.capacity - 1)));
        if (t.length) *t.length = got;
        return Unread::kDelivered;
    }
    if (r == DAL_OK) return deliver_null(v, t);
    if (r == DAL_INFO) return settle_cut(query, v, out, got, t.capacity);  // the entry holds the first piece
    return read_failed(query);
}

