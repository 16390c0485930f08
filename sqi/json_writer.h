// The JSON text of a parsed reply value, as a column of JSON type shows it:
// object members sorted by name (bytewise), ", " between elements and ": "
// after names, strings with only the escapes JSON requires, the text
// jansson's json_dumps(JSON_SORT_KEYS | JSON_ENCODE_ANY) writes.
//
// Written here rather than through json_dumps because a column of objects
// is read on every row: json_dumps sets up a loop-detection table per call,
// keys each container by its address in it, allocates a key array per
// object and looks every member up again by name. A parsed reply is a
// tree, so none of that is needed; this writer appends to one buffer the
// caller reuses.
//
// Exports: append_json_text (json_writer.cpp).
#pragma once

#include <jansson.h>

#include <string>

/// Appends the text of `value` to `out`. False (with `out` partly written)
/// only for a value jansson cannot write either (a NaN or infinite real).
[[nodiscard]] bool append_json_text(const json_t *value, std::string &out);
