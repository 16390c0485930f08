// One answer of a getter, written into an application buffer in its 8-bit
// or wide form.
//
// The attribute, descriptor-field and information getters first work out
// their answer (a number of a given width, a pointer or a text) and then
// hand it to one of the writers here, so the rules for widths, lengths and
// truncation live in one place: numbers are written at their width when the
// buffer pointer is non-null; texts are copied bounded by the capacity, cut
// only at whole characters, with the full length reported.
//
// Exports: Answer, AnswerKind, answer_int, answer_ptr, answer_text,
// write_answer, write_answer_wide.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string_view>

#include "odbc/wide.h"

enum class AnswerKind : uint8_t { Int16, Int32, Int64, Pointer, Text };

struct Answer {
    AnswerKind kind;
    int64_t number;        // Int16, Int32, Int64
    void *pointer;         // Pointer
    std::string_view text; // Text (UTF-8)
};

[[nodiscard]] inline Answer answer_int(AnswerKind kind, int64_t v) { return {kind, v, nullptr, {}}; }
[[nodiscard]] inline Answer answer_ptr(const void *p) {
    return {AnswerKind::Pointer, 0, const_cast<void *>(p), {}};
}
[[nodiscard]] inline Answer answer_text(std::string_view t) { return {AnswerKind::Text, 0, nullptr, t}; }

/// Width in bytes of a fixed-size answer (0 for a text).
[[nodiscard]] int answer_width(const Answer &a);

/// Writes `a` into `value` (8-bit text): numbers and pointers at their width,
/// `*length` = the width; a text through a bounded copy of `capacity` bytes,
/// `*length` = its full length in bytes. Null `value` or `length` are skipped.
/// Returns true when a text was cut (never for a null `value`).
[[nodiscard]] bool write_answer(const Answer &a, void *value, SQLLEN capacity, SQLLEN *length);

/// As write_answer, with texts converted to UTF-16 and `capacity` and the
/// returned length counted in `unit`.
[[nodiscard]] bool write_answer_wide(const Answer &a, void *value, SQLLEN capacity, WideUnit unit,
                                     SQLLEN *length);
