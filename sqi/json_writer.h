// The JSON text of an object or array column: the reply's value written
// again with object members sorted by name (bytewise, the last of repeated
// names kept), ", " between elements and ": " after names, and scalars in
// the forms of sqi/json_text.h: the text jansson's
// json_dumps(JSON_SORT_KEYS | JSON_ENCODE_ANY) writes of the same reply.
//
// The writer walks an On-Demand value once, checking every token it passes
// (strings and names with their escapes, numbers, true, false, null): a
// value it writes is JSON throughout. Each object's members are written in
// the reply's order; an object whose names were not in order already is
// put in order in one scratch buffer and copied back, so the text is made
// in one pass with at most one copy per nesting level.
//
// Exports: JsonSortedWriter, append_sorted_json, sorted_json_text, json_reply_document.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sqi/json_parse.h"

// The writer's buffers, kept by its owner and reused for every value it
// writes (a page keeps one for all its rows).
struct JsonSortedWriter {
    struct Member {
        std::string_view name;  // unescaped (in the reply, or the parser's string buffer)
        size_t start, end;      // the member's `"name": value` text in the output
    };
    std::vector<Member> members;  // the members of every object being written, outermost first
    std::string scratch;          // one object's sorted text while it is put together
};

/// Writes the sorted text of `v` into `out` from `*used` on (see JsonOut in
/// sqi/json_text.h: `out`'s size is room, `*used` its text), never letting
/// `out` pass `limit` bytes, and advances `*used`; `v` is consumed.
/// simdjson::SUCCESS; CAPACITY past the limit, DEPTH_ERROR past
/// kJsonMaxDepth levels; otherwise the error of the token that is not JSON
/// (`*used` is then unchanged).
[[nodiscard]] simdjson::error_code append_sorted_json(JsonSortedWriter &writer, json_od::value v, std::string &out,
                                                      size_t *used, size_t limit);

/// The sorted text of the JSON text `json` (any value, as JSON_ENCODE_ANY)
/// into `out`; false when `json` is not one JSON value.
[[nodiscard]] bool sorted_json_text(std::string_view json, std::string &out);

/// True when `json` is one JSON object or array, checked token by token
/// (what a reply body must be).
[[nodiscard]] bool json_reply_document(std::string_view json);
