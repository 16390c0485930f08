// The text forms of JSON scalars as jansson's json_dumps writes them, which
// is the form object and array columns have always shown: strings between
// quotes with only the escapes JSON requires (control characters as \uXXXX
// with upper-case hex, except \b \f \n \r \t; '/' and bytes above 0x7F as
// they are), integers in decimal, reals in "%.17g" with ".0" added to a
// whole number and no '+' or leading zeros in the exponent.
//
// JsonOut writes into one std::string the caller reuses, from a position
// the caller keeps: the string's size is only the room made so far (grown
// in large steps, never cut), and `used` says how much of it is text.
// (std::string's own appends check and copy per call, which dominated
// writing the many short names and values of a row.) Every JsonOut has a
// limit: a text that would grow past it is not written (overflowed()).
//
// Exports: JsonOut, append_json_string, json_integer_text, json_real_text,
// append_reply_value_json.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "sqi/reply_value.h"

struct JsonOut {
    std::string &out;
    size_t limit;       // the most bytes `out` may hold
    size_t used;        // bytes of `out` that are text
    bool over = false;  // a write would have passed `limit`

    JsonOut(std::string &text, size_t start, size_t max_bytes) : out(text), limit(max_bytes), used(start) {}
    /// Room for `n` more bytes, or null when the limit forbids them.
    char *room(size_t n) {
        if (out.size() - used < n && !grow(n)) return nullptr;
        char *at = out.data() + used;
        used += n;
        return at;
    }
    void put(char c) {
        if (char *d = room(1)) *d = c;
    }
    void put(std::string_view s) {
        if (s.empty()) return;
        if (char *d = room(s.size())) std::memcpy(d, s.data(), s.size());
    }
    [[nodiscard]] bool overflowed() const { return over; }

private:
    bool grow(size_t n);
};

/// Appends `s` as a quoted JSON string.
void append_json_string(JsonOut &w, std::string_view s);

/// The text jansson writes for the JSON integer `token` (a valid integer
/// token): its value in decimal ("-0" becomes "0"); a value beyond 64 bits
/// keeps the token's own digits. Written into `buf` (at least 24 bytes) or
/// returned as `token`.
[[nodiscard]] std::string_view json_integer_text(std::string_view token, char *buf, size_t size);

/// The text jansson writes for the JSON real `token` (a valid number token):
/// "%.17g" of its double, ".0" added when that has neither '.' nor 'e', the
/// exponent without '+' or leading zeros. A real beyond the range of a
/// double keeps the token. Written into `buf` (at least 32 bytes) or
/// returned as `token`.
[[nodiscard]] std::string_view json_real_text(std::string_view token, char *buf, size_t size);

/// Appends `v` as the reply wrote it in JSON (a string quoted, a number as
/// jansson writes it, an object or array as its sorted text): how messages
/// quote a value. Nothing for null.
void append_reply_value_json(const ReplyValue &v, std::string &out);
