// Text, wide text and bytes: the piecewise deliveries of SQLGetData.
//
// Text and binary values (long ones included) are read from
// Value::piece_offset on; each call delivers what fits, reports the length
// still available from where it started, and moves the offset. Text pieces
// end on whole UTF-8 characters when at least one fits (a capacity too small
// for the next character still makes progress with its first bytes, so a
// loop of small reads always ends); wide pieces end on whole characters and
// never split a surrogate pair.
//
// Numbers, dates, times, timestamps and intervals are fixed-length values:
// their character form goes out in one piece, cut only in its fraction
// digits (01004), or not at all when the buffer cannot hold the whole part
// (22003).
#include <cstring>
#include <string>
#include <string_view>

#include "odbc/convert_internal.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/text.h"
#include "support/value_ops.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

struct Piecewise {
    const char *data;
    size_t size;
    bool binary;
};

bool piecewise_source(const Value *v, Piecewise *p) {
    switch (v->type) {
    case VT_CHAR:
    case VT_LONG_CHAR: p->data = value_chars(v, &p->size); p->binary = false; return true;
    case VT_BINARY:
        p->data = reinterpret_cast<const char *>(v->data.bytes);
        p->size = v->data.bytes && v->length > 0 ? static_cast<size_t>(v->length) : 0;
        p->binary = true;
        return true;
    case VT_LONG_BINARY:
        p->data = v->long_buffer ? long_buffer_data(v->long_buffer) : "";
        p->size = v->long_buffer ? long_buffer_length(v->long_buffer) : 0;
        p->binary = true;
        return true;
    default: return false;
    }
}

// Where the next piece starts; false when every piece has gone out.
bool piece_start(const Value *v, size_t size, size_t *offset) {
    if (v->piece_offset == kPieceDone) return false;
    size_t off = v->piece_offset > 0 ? static_cast<size_t>(v->piece_offset) : 0;
    *offset = off < size ? off : size;
    return true;
}

// Records a delivered piece: the offset moves, or the value is finished.
SQLRETURN piece_end(Value *v, size_t offset, size_t taken, size_t rest, ErrorHeader *diag) {
    if (taken < rest) {
        v->piece_offset = static_cast<int32_t>(offset + taken);
        return post_truncated(diag);
    }
    v->piece_offset = kPieceDone;
    return SQL_SUCCESS;
}

// A value's text limited to SQL_ATTR_MAX_LENGTH bytes (whole characters).
size_t limit_text(const Piecewise &p, SQLULEN max_length) {
    if (max_length == 0 || p.size <= max_length) return p.size;
    return utf8_cut(std::string_view(p.data, p.size), max_length);
}

// Binary bytes whose hex digits fit SQL_ATTR_MAX_LENGTH characters.
size_t limit_hex(const Piecewise &p, SQLULEN max_length) {
    if (max_length == 0 || 2 * p.size <= max_length) return p.size;
    return max_length / 2;
}

void put_unit(void *buffer, size_t index, char16_t unit) {
    std::memcpy(static_cast<char *>(buffer) + 2 * index, &unit, 2);
}

// How much of a scalar's character form must reach the application for
// the value to survive: everything before the decimal point (the fraction
// digits may be cut), or the whole text when it has no point (a date, a
// time, an integer) or an exponent (cutting "1.5e+300" changes the value).
size_t whole_part(std::string_view text) {
    if (text.find_first_of("eE") != std::string_view::npos) return text.size();
    size_t point = text.find('.');
    return point == std::string_view::npos ? text.size() : point;
}

// How many characters of a scalar's text go out into `room` characters:
// all of it, or (0 < result < size) a prefix that keeps the whole part,
// without a dangling decimal point; 0 when even the whole part does not fit.
size_t fixed_take(size_t size, size_t whole, size_t room) {
    if (size <= room) return size;
    if (whole > room) return 0;
    return room == whole + 1 ? whole : room;  // "12." reads as "12"
}

// Copies the character form of a number, date, time, timestamp or interval
// into a character target. It either fits, or loses only fraction digits
// (01004, the full length reported), or cannot be shown at all (22003,
// nothing written). A null buffer only learns the length.
SQLRETURN put_fixed_text(std::string_view text, const ConvertTarget &t, ErrorHeader *diag) {
    if (!t.buffer) {
        put_length(t, static_cast<SQLLEN>(text.size()));
        return text.empty() ? SQL_SUCCESS : post_truncated(diag);
    }
    size_t room = t.capacity > 0 ? static_cast<size_t>(t.capacity) - 1 : 0;
    size_t take = text.size() <= room ? text.size() : fixed_take(text.size(), whole_part(text), room);
    if (take == 0 && !text.empty()) return post_out_of_range(diag);
    if (t.capacity > 0) {
        auto *out = static_cast<char *>(t.buffer);
        std::memcpy(out, text.data(), take);
        out[take] = 0;
    }
    put_length(t, static_cast<SQLLEN>(text.size()));
    return take < text.size() ? post_truncated(diag) : SQL_SUCCESS;
}

// Room for the character form of any value that is not text or binary.
constexpr size_t kScalarRoom = 512;

// The character form of a value that is not text or binary, written into
// `buf` (on the caller's stack: a timestamp's 19 characters would not fit
// a std::string's own room, and this runs for every such value fetched).
// SQL_ATTR_MAX_LENGTH limits character and binary data only: a number or a
// date cut to it would be a different value.
bool scalar_chars(const Value *v, char (&buf)[kScalarRoom], std::string_view *out) {
    long n;
    if (v->type == VT_NUMERIC) {
        size_t len = 0;
        (void)numeric_to_string(&v->data.num, buf, sizeof buf, &len);
        n = static_cast<long>(len);
    } else {
        n = scalar_text(v, buf, sizeof buf);
    }
    if (n < 0) {
        *out = "UNSUPPORTED STRING CONVERSION";
        return false;
    }
    size_t len = static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1;
    *out = std::string_view(buf, len);
    return true;
}

}  // namespace

SQLRETURN convert_to_char(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *diag) {
    Piecewise p;
    if (!piecewise_source(v, &p)) {
        char buf[kScalarRoom];
        std::string_view text;
        (void)scalar_chars(v, buf, &text);
        return put_fixed_text(text, t, diag);
    }
    size_t size = p.binary ? limit_hex(p, c.max_length) : limit_text(p, c.max_length);
    size_t off;
    if (!piece_start(v, size, &off)) return SQL_NO_DATA;
    size_t rest = size - off;
    put_length(t, static_cast<SQLLEN>(p.binary ? 2 * rest : rest));
    if (!t.buffer || t.capacity <= 0) return rest > 0 ? post_truncated(diag) : SQL_SUCCESS;
    char *out = static_cast<char *>(t.buffer);
    size_t room = static_cast<size_t>(t.capacity) - 1;
    size_t take;
    if (p.binary) {
        take = rest < room / 2 ? rest : room / 2;
        const auto *b = reinterpret_cast<const unsigned char *>(p.data + off);
        for (size_t i = 0; i < take; i++) {
            out[2 * i] = kHex[b[i] >> 4];
            out[2 * i + 1] = kHex[b[i] & 15];
        }
        out[2 * take] = 0;
    } else {
        take = rest <= room ? rest : utf8_cut(std::string_view(p.data + off, rest), room);
        if (take == 0 && rest > 0) take = room;  // not one whole character fits: go on bytewise
        std::memcpy(out, p.data + off, take);
        out[take] = 0;
    }
    return piece_end(v, off, take, rest, diag);
}

SQLRETURN convert_bound_char(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *diag) {
    // The common case of a fetch into bound text buffers, a whole value
    // that fits, is copied here; a NULL, a piece already started, a value
    // to cut and every other kind take convert_value's full path.
    if (v->type == VT_CHAR) return put_fitting_text(v, c, t) ? SQL_SUCCESS : convert_value(v, c, t, diag);
    if (v->is_null || v->piece_offset != 0 || !t.buffer || t.capacity <= 0) return convert_value(v, c, t, diag);
    const auto room = static_cast<size_t>(t.capacity);
    size_t size = 0;
    const char *text;
    char scalar[kShortTextRoom];
    switch (v->type) {
    case VT_LONG_CHAR: text = value_chars(v, &size); break;
    case VT_NUMERIC:
        // Written straight into a buffer that holds any numeric's text;
        // a smaller one gets it through `scalar`, since a value that does
        // not fit must leave the application's buffer as it was (22003).
        if (room < kShortTextRoom) {
            if (numeric_to_string(&v->data.num, scalar, sizeof scalar, &size) != 0)
                return convert_value(v, c, t, diag);
            text = scalar;
            break;
        }
        if (numeric_to_string(&v->data.num, static_cast<char *>(t.buffer), room, &size) != 0)
            return convert_value(v, c, t, diag);
        if (t.length) *t.length = static_cast<SQLLEN>(size);
        v->piece_offset = kPieceDone;  // a number goes out in one piece
        return SQL_SUCCESS;
    default: {
        // Dates, times and integers print the same here as through
        // scalar_text; doubles and intervals have forms of their own there.
        const int n = short_value_text(v, scalar);
        if (n < 0) return convert_value(v, c, t, diag);
        size = static_cast<size_t>(n);
        text = scalar;
        break;
    }
    }
    if (size >= room || (c.max_length > 0 && size > c.max_length)) return convert_value(v, c, t, diag);
    if (t.length) *t.length = static_cast<SQLLEN>(size);
    char *out = static_cast<char *>(t.buffer);
    std::memcpy(out, text, size);
    out[size] = 0;
    // Delivered whole: a long text's pieces are done, and a number, date or
    // time goes out in one piece anyway.
    v->piece_offset = kPieceDone;
    return SQL_SUCCESS;
}

SQLRETURN convert_to_wchar(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *diag) {
    size_t room = t.buffer && t.capacity >= 2 ? static_cast<size_t>(t.capacity) / 2 - 1 : 0;
    Piecewise p;
    if (!piecewise_source(v, &p)) {
        char buf[kScalarRoom];
        std::string_view text;
        (void)scalar_chars(v, buf, &text);
        // A scalar's text is at most kScalarRoom bytes, so its units fit
        // here (no allocation for every number a client reads as text).
        char16_t wide[kScalarRoom];
        size_t units = 0;
        (void)utf8_to_utf16_piece(text, wide, kScalarRoom, &units);
        if (!t.buffer) {
            put_length(t, static_cast<SQLLEN>(2 * units));
            return units == 0 ? SQL_SUCCESS : post_truncated(diag);
        }
        // The same rule as for SQL_C_CHAR, counted in UTF-16 units.
        // The whole part is only looked for when the text does not fit.
        size_t n = units <= room ? units
                                 : fixed_take(units, utf8_utf16_units(text.substr(0, whole_part(text))), room);
        if (n == 0 && units > 0) return post_out_of_range(diag);
        for (size_t i = 0; i < n; i++) put_unit(t.buffer, i, wide[i]);
        if (t.capacity >= 2) put_unit(t.buffer, n, 0);
        put_length(t, static_cast<SQLLEN>(2 * units));
        return n < units ? post_truncated(diag) : SQL_SUCCESS;
    }
    size_t size = p.binary ? limit_hex(p, c.max_length) : limit_text(p, c.max_length);
    size_t off;
    if (!piece_start(v, size, &off)) return SQL_NO_DATA;
    size_t rest = size - off;
    if (p.binary) {
        put_length(t, static_cast<SQLLEN>(4 * rest));
        if (!t.buffer || t.capacity < 2) return rest > 0 ? post_truncated(diag) : SQL_SUCCESS;
        size_t take = rest < room / 2 ? rest : room / 2;
        const auto *b = reinterpret_cast<const unsigned char *>(p.data + off);
        for (size_t i = 0; i < take; i++) {
            put_unit(t.buffer, 2 * i, static_cast<char16_t>(kHex[b[i] >> 4]));
            put_unit(t.buffer, 2 * i + 1, static_cast<char16_t>(kHex[b[i] & 15]));
        }
        put_unit(t.buffer, 2 * take, 0);
        return piece_end(v, off, take, rest, diag);
    }
    std::string_view text(p.data + off, rest);
    const bool has_room = t.buffer && t.capacity >= 2;
    size_t used = 0, taken = 0;
    if (has_room) taken = utf8_to_utf16_piece(text, t.buffer, room, &used);
    // The length of all that is left: what went out, and the rest counted
    // only when the piece did not take it all.
    put_length(t, static_cast<SQLLEN>(2 * (used + utf8_utf16_units(text.substr(taken)))));
    if (!has_room) return rest > 0 ? post_truncated(diag) : SQL_SUCCESS;
    put_unit(t.buffer, used, 0);
    return piece_end(v, off, taken, rest, diag);
}

SQLRETURN convert_to_bytes(Value *v, const ConvertColumn &c, const ConvertTarget &t, ErrorHeader *diag) {
    Piecewise p;
    if (piecewise_source(v, &p)) {
        size_t size = c.max_length > 0 && p.size > c.max_length ? c.max_length : p.size;
        size_t off;
        if (!piece_start(v, size, &off)) return SQL_NO_DATA;
        size_t rest = size - off;
        put_length(t, static_cast<SQLLEN>(rest));
        size_t cap = t.buffer && t.capacity > 0 ? static_cast<size_t>(t.capacity) : 0;
        size_t take = rest < cap ? rest : cap;
        if (take) std::memcpy(t.buffer, p.data + off, take);
        return piece_end(v, off, take, rest, diag);
    }
    const void *data = &v->data;
    size_t n;
    switch (v->type) {
    case VT_INTEGER:
    case VT_BIT: n = 4; break;
    case VT_DOUBLE:
    case VT_BIGINT: n = 8; break;
    case VT_DATE:
    case VT_TIME: n = 6; break;
    case VT_TIMESTAMP: n = 16; break;
    case VT_NUMERIC: n = 19; break;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: n = 28; break;
    default: return refuse_type(diag);
    }
    if (c.max_length > 0 && n > c.max_length) n = c.max_length;
    put_length(t, static_cast<SQLLEN>(n));
    size_t cap = t.buffer && t.capacity > 0 ? static_cast<size_t>(t.capacity) : 0;
    size_t take = n < cap ? n : cap;
    if (take) std::memcpy(t.buffer, data, take);
    return take < n ? post_truncated(diag) : SQL_SUCCESS;
}
