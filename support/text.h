// Text helpers shared by every layer: UTF-8 and UTF-16 conversion and bounded
// copies into caller buffers.
//
// Inside the driver all text is 8-bit UTF-8 and null-terminated. Text crosses
// to UTF-16 (SQLWCHAR, 16-bit on unixODBC) only at the wide entry points.
// Copies into application buffers are always bounded by the buffer's size,
// cut only at whole characters, and always terminated when there is room for
// a terminator at all.
//
// Exports: utf16_length, utf16_to_utf8, utf8_to_utf16, utf8_cut,
// decode_utf8, utf8_utf16_units, utf8_to_utf16_piece, copy_text_out,
// copy_wide_out, text_arg, kDigitPairs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using Utf16Unit = uint16_t;  // one SQLWCHAR on unixODBC

/// "00" to "99" in a row: numbers are written two digits a lookup
/// (value n's pair at 2 * n), not one division per digit.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

/// Length in units of a null-terminated UTF-16 text, looking at no more than
/// `limit` units.
[[nodiscard]] size_t utf16_length(const Utf16Unit *text, size_t limit = SIZE_MAX);

/// Appends the UTF-8 form of `count` UTF-16 units to `out`. Surrogate pairs
/// are combined; a lone surrogate becomes U+FFFD.
void utf16_to_utf8(const Utf16Unit *text, size_t count, std::string &out);

/// Appends the UTF-16 form of UTF-8 `text` to `out`. Malformed or overlong
/// sequences and encoded surrogates become U+FFFD, one per bad byte.
void utf8_to_utf16(std::string_view text, std::u16string &out);

/// Decodes the UTF-8 character at text[i] (i < text.size()) into `c` and
/// returns its byte length; a malformed, overlong or truncated sequence or an
/// encoded surrogate decodes as U+FFFD with length 1, as utf8_to_utf16 does.
[[nodiscard]] size_t decode_utf8(std::string_view text, size_t i, char32_t &c);

/// The number of UTF-16 units utf8_to_utf16 makes of `text`.
[[nodiscard]] size_t utf8_utf16_units(std::string_view text);

/// Writes the UTF-16 form of the longest prefix of UTF-8 `text` whose units
/// fit `room` units into `out` (any alignment; unixODBC's SQLWCHAR units in
/// the machine's byte order), never half a surrogate pair, decoding as
/// utf8_to_utf16 does. Returns the bytes of `text` taken; `*units` is set to
/// the units written. Runs of ASCII are widened without decoding.
size_t utf8_to_utf16_piece(std::string_view text, void *out, size_t room, size_t *units);

/// The largest prefix length <= `max_bytes` of `text` that ends on a whole
/// UTF-8 character.
[[nodiscard]] size_t utf8_cut(std::string_view text, size_t max_bytes);

/// Copies `text` into `out` of `capacity` bytes (terminator included), cut at
/// a whole character. Returns true when the text was cut. A null `out` or a
/// capacity of 0 copies nothing (and counts as cut unless `text` is empty).
[[nodiscard]] bool copy_text_out(std::string_view text, char *out, size_t capacity);

/// Copies UTF-16 `text` into `out` of `capacity` units (terminator included),
/// never splitting a surrogate pair. Returns true when the text was cut.
[[nodiscard]] bool copy_wide_out(std::u16string_view text, Utf16Unit *out, size_t capacity);

/// Turns an ODBC (pointer, length) text argument into a view: a negative
/// length other than SQL_NTS (-3) is the caller's error and gives `ok` false;
/// SQL_NTS measures up to the terminator. A null pointer gives an empty view
/// with `is_null` set.
struct TextArg {
    std::string_view text;
    bool is_null;
    bool ok;
};
[[nodiscard]] TextArg text_arg(const char *text, long long length);
