// The JSON text of an object or array column: the reply's value written
// again with object members sorted by name (bytewise, the last of repeated
// names kept), ", " between elements and ": " after names, and scalars in
// the forms of sqi/json_text.h: the text jansson's
// json_dumps(JSON_SORT_KEYS | JSON_ENCODE_ANY) writes of the same reply.
//
// The writer walks an On-Demand value once, checking every token it passes
// (strings and names with their escapes, numbers, true, false, null): a
// value it writes is JSON throughout. Each object's members are written in
// the reply's order, then put in order in one scratch buffer and copied
// back, so the text is made in one pass with one copy per nesting level.
//
// Exports: JsonSortedWriter, append_sorted_json, sorted_json_text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sqi/json_parse.h"

// The writer's buffers, kept by its owner and reused for every value it
// writes (a page keeps one for all its rows).
struct JsonSortedWriter {
    struct Member {
        std::string_view name;  // unescaped, in the parser's string buffer
        size_t start, end;      // the value's text in the output
    };
    std::vector<Member> members;  // the members of every object being written, outermost first
    std::string scratch;          // one object's sorted text while it is put together
};

/// Appends the sorted text of `v` to `out`, never letting `out` pass
/// `limit` bytes; `v` is consumed. simdjson::SUCCESS; CAPACITY past the
/// limit, DEPTH_ERROR past kJsonMaxDepth levels; otherwise the error of the
/// token that is not JSON (`out` is then partly written).
[[nodiscard]] simdjson::error_code append_sorted_json(JsonSortedWriter &writer, json_od::value v, std::string &out,
                                                      size_t limit);

/// The sorted text of the JSON text `json` (any value, as JSON_ENCODE_ANY)
/// into `out`; false when `json` is not one JSON value.
[[nodiscard]] bool sorted_json_text(std::string_view json, std::string &out);
