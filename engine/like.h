// LIKE patterns: compiled once into a small byte program, then matched
// against character values (LONG VARCHAR included) in O(n x m) time.
//
// Program bytes: 1 c (the literal character c), 2 (any one character),
// 3 (end of pattern), 4 (any sequence, possibly empty). "%" and "*" give 4,
// "_" and "?" give 2; the escape character (the first character of ESCAPE,
// backslash without one or with an empty one) takes the next character
// literally. Letters compare without regard to ASCII case; "_" matches one
// UTF-8 character.
//
// Exports: like_compile, like_match, like_evaluate, like_literal_prefix,
// like_upper_prefix, kLikeLiteral, kLikeAnyOne, kLikeEnd, kLikeAnySeq.
#pragma once

#include <cstddef>

#include "support/value.h"

inline constexpr unsigned char kLikeLiteral = 1;
inline constexpr unsigned char kLikeAnyOne = 2;
inline constexpr unsigned char kLikeEnd = 3;
inline constexpr unsigned char kLikeAnySeq = 4;

/// Compiles `pattern` (VT_CHAR or VT_LONG_CHAR, whole; NULL gives a NULL compiled
/// value) with the optional `escape` value into *compiled, a VT_CHAR value
/// in `pool` whose buffer holds the program and whose length is twice the
/// pattern's length plus one. Returns 0, or -1 when memory runs out, the
/// pattern is not character data, or it ends with the escape character.
[[nodiscard]] int like_compile(const Value *pattern, const Value *escape, CvPool *pool,
                               Value **compiled);

/// 1 when the non-null character `subject` matches the compiled pattern,
/// else 0 (also for a NULL pattern or a non-character subject).
[[nodiscard]] int like_match(const Value *compiled, const Value *subject);

/// The predicate's truth value: unknown when the subject or the pattern is
/// NULL, else the match, negated for NOT LIKE.
[[nodiscard]] int like_evaluate(const Value *compiled, const Value *subject, bool negated);

/// The literal characters before the first wildcard, at most capacity - 1
/// bytes, terminated. Returns their count (0: no range restriction).
size_t like_literal_prefix(const Value *compiled, char *out, size_t capacity);
/// The same prefix with its last byte incremented by one (the exclusive
/// upper bound of the range); 0 when there is no prefix or the last byte
/// cannot be incremented.
size_t like_upper_prefix(const Value *compiled, char *out, size_t capacity);
