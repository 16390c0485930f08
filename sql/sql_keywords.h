// The reserved-word table of the SQL scanner.
//
// 162 words, each its own grammar terminal except INT and INTEGER, which
// share one. Lookup is a case-insensitive binary search.
//
// Exports: lookup_keyword, is_reserved_word, keyword_count, keyword_at.
#pragma once

#include <cstddef>

/// The terminal of the reserved word `text[0..length)`, or 0 when it is not
/// one (any case).
[[nodiscard]] int lookup_keyword(const char *text, size_t length);

/// True when the word must be delimited to be used as a name: every
/// reserved word except DAY, which is a name outside interval qualifiers.
[[nodiscard]] bool is_reserved_word(const char *text, size_t length);

/// The table, for tests: its size and the word at `index`.
[[nodiscard]] int keyword_count();
[[nodiscard]] const char *keyword_at(int index);
