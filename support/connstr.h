// Connection attribute lists: the parsed form of an ODBC connection string.
//
// A list lives in its own pool (made under the caller's pool by
// init_con_str) so a connection can drop the old list and start a fresh one
// on every connect. Keywords compare without regard to case; the first
// occurrence of a keyword in a string wins, as ODBC requires. Values may be
// braced ("{a;b}", with "}}" standing for one brace), which is also how
// generate_connection_string writes any value holding ';', '{', '}' or
// surrounding blanks, so secrets with those characters survive a round trip.
//
// Limits: a string of at most kMaxConnStr bytes, at most kMaxConnPairs
// pairs, keywords of at most 255 bytes.
//
// Exports: ConnAttrList, init_con_str, free_con_str, parse_connection_string,
// get_attribute_value, has_attribute, append_pair, delete_attribute,
// rename_attribute, attribute_count, attribute_at, generate_connection_string,
// quote_connection_value, cat_str_buffer (copy_str_buffer is in str_buffer.h),
// is_secret_keyword, mask_connection_string, kMinMaskedSecret.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/pool.h"

constexpr size_t kMaxConnStr = 65536;
constexpr int kMaxConnPairs = 256;

struct ConnAttrList;

/// A new empty list in a child pool of `parent`; null when memory is short.
[[nodiscard]] ConnAttrList *init_con_str(CvPool *parent);
/// Frees the list and its pool. Null is ignored.
void free_con_str(ConnAttrList *list);

/// Adds the pairs of `text` (`length` bytes, or -3 for null-terminated; a
/// NUL ends the text either way) that the list lacks. Returns 0; -1 for malformed text (an unterminated brace, a
/// keyword without '=', a limit passed) with the list unchanged.
[[nodiscard]] int parse_connection_string(ConnAttrList *list, const char *text, long length);

/// The value of `key`, or null when absent. Valid until the key is changed.
[[nodiscard]] const char *get_attribute_value(const ConnAttrList *list, std::string_view key);
[[nodiscard]] bool has_attribute(const ConnAttrList *list, std::string_view key);

/// Sets `key` to `value`, replacing an existing value (keeping its place) or
/// appending. Returns 0, or -1 when memory or a limit runs out.
[[nodiscard]] int append_pair(ConnAttrList *list, std::string_view key, std::string_view value);

/// Removes `key`; returns whether it was there.
bool delete_attribute(ConnAttrList *list, std::string_view key);
/// Renames `from` to `to` keeping the value; returns whether `from` was there.
bool rename_attribute(ConnAttrList *list, std::string_view from, std::string_view to);

[[nodiscard]] int attribute_count(const ConnAttrList *list);
/// The n-th pair (from 0); false past the end.
bool attribute_at(const ConnAttrList *list, int n, std::string_view *key, std::string_view *value);

/// "key=value;" for every pair in order, values quoted as needed.
[[nodiscard]] std::string generate_connection_string(const ConnAttrList *list);

/// `value` as it must be written after "key=".
[[nodiscard]] std::string quote_connection_value(std::string_view value);

/// Secrets shorter than this are only masked where a keyword names them:
/// replacing every copy of a one- or two-character text would garble lines.
constexpr size_t kMinMaskedSecret = 4;

/// True for keywords whose values are secrets (pwd, password, proxy_pass,
/// client_secret, token, authstr and the like), compared without case. The
/// one list both traces and every writer of settings consult.
[[nodiscard]] bool is_secret_keyword(std::string_view keyword);

/// `text` as a trace may show it: read with the parser above, every value
/// of a secret keyword replaced by "****" (braces and all), and any other
/// copy of such a value (of kMinMaskedSecret bytes or more) too. Text the
/// parser refuses is shown up to the first secret keyword's '=' only; text
/// after a NUL, which the parser never reads, is not shown.
[[nodiscard]] std::string mask_connection_string(std::string_view text);

/// Appends `text` to the text already in `out`; `*length` tracks the full
/// length of everything appended so far. Returns true when cut.
bool cat_str_buffer(char *out, long capacity, short *length, std::string_view text);
