// One value of a PayPal reply as the row mapping hands it on: its JSON kind
// and its text. A page (sqi/reply_page.h) keeps every value a column reads
// in this form; a filter column echoes the value the query sent in it too.
//
// The text of each kind:
// - string: its characters, escapes resolved;
// - integer, real: the number as the reply wrote it (its own digits);
// - true, false: "true", "false";
// - object, array: its JSON text with sorted member names (sqi/json_writer.h);
// - null: empty (also what an absent member reads as).
//
// Lifetimes: a ReplyValue borrows its text from the page (valid until the
// scan moves to another page) or from the EchoValue it was made from.
//
// Exports: JsonKind, ReplyValue, EchoValue, echo_reply_value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class JsonKind : uint8_t {
    kNull = 0,  // JSON null, or no such member
    kString = 1,
    kInteger = 2,  // a number without fraction or exponent
    kReal = 3,     // a number with either
    kTrue = 4,
    kFalse = 5,
    kObject = 6,
    kArray = 7,
};
inline constexpr int kJsonKindCount = 8;
static_assert(static_cast<int>(JsonKind::kArray) == kJsonKindCount - 1);

struct ReplyValue {
    JsonKind kind = JsonKind::kNull;
    std::string_view text;  // see the file header
};

// A value the scan remembers itself (a filter value rows echo, the key sent
// in the path): a string or a boolean; kNull while none is remembered.
struct EchoValue {
    JsonKind kind = JsonKind::kNull;
    std::string text;  // the string's characters ("true"/"false" for booleans)
};

[[nodiscard]] inline ReplyValue echo_reply_value(const EchoValue &e) { return ReplyValue{e.kind, e.text}; }
