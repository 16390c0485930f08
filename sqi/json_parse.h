// simdjson as the provider uses it: its On-Demand API with error codes only
// (SIMDJSON_EXCEPTIONS 0, so a throwing accessor does not compile), one
// parser per thread reused for every reply that thread reads, and the token
// checks On-Demand leaves to its caller.
//
// A parser is only busy while one reply is walked (sqi/reply_page.cpp walks
// a whole page at once), so scans that take turns on one thread share it.
// Its buffers grow to the largest reply the thread has read; after a reply
// over kJsonKeptCapacity they are given back.
//
// Exports: json_od (namespace alias), kJsonMaxDepth, kJsonMaxText,
// kJsonKeptCapacity, thread_json_parser, thread_json_parser_done,
// json_padded, json_trim_token, json_quote_or_escape, json_field_name, json_number_token.
#pragma once

#ifndef SIMDJSON_EXCEPTIONS
#define SIMDJSON_EXCEPTIONS 0
#endif
#if SIMDJSON_EXCEPTIONS
#error "the provider uses simdjson's error codes only: include sqi/json_parse.h before any simdjson header"
#endif
// unixODBC's sqltypes.h defines BOOL as a macro, which would rename one of
// simdjson's enumerators: it is set aside while simdjson is read.
#pragma push_macro("BOOL")
#undef BOOL
#include <simdjson.h>
#pragma pop_macro("BOOL")

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace json_od = simdjson::ondemand;

// Nesting deeper than this is not read: PayPal's replies nest a few levels,
// and the sorted writer recurses once per level.
inline constexpr size_t kJsonMaxDepth = 256;
// The largest reply text read (the transport's limit on a body).
inline constexpr size_t kJsonMaxText = size_t{64} << 20;
// Parser buffers kept between replies.
inline constexpr size_t kJsonKeptCapacity = size_t{4} << 20;

/// The calling thread's parser, made on first use (null when out of memory).
[[nodiscard]] json_od::parser *thread_json_parser();

/// Called once the walk of a reply of `size` bytes is over: gives the
/// parser's buffers back when they grew past kJsonKeptCapacity.
void thread_json_parser_done(size_t size);

/// `text` as the parser reads it: with simdjson's padding of readable bytes
/// after the end (the capacity is grown when it lacks them).
[[nodiscard]] simdjson::padded_string_view json_padded(std::string &text);

/// A scalar's raw token (simdjson's raw_json_token: up to the next token)
/// without the blanks after it.
[[nodiscard]] std::string_view json_trim_token(std::string_view raw);

/// The first '"' or '\\' at or after `p`, eight bytes a step. There is one
/// before the end of the reply, and the parser's padding follows the reply
/// (json_padded), so every word read from before it is readable. In each
/// word a byte equal to neither leaves its lane clear; the lowest set lane
/// is the first match (a borrow only marks lanes above a true one).
[[nodiscard]] inline const char *json_quote_or_escape(const char *p) {
    static_assert(std::endian::native == std::endian::little, "the lowest lane is the first byte");
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    for (;; p += 8) {
        uint64_t w;
        std::memcpy(&w, p, sizeof w);
        const uint64_t q = w ^ (kOnes * '"'), b = w ^ (kOnes * '\\');
        const uint64_t hit = (((q - kOnes) & ~q) | ((b - kOnes) & ~b)) & kHighs;
        if (hit) return p + (__builtin_ctzll(hit) >> 3);
    }
}

/// A member's name: as the reply wrote it when it holds no escape (`*plain`
/// true: it needs none when written again), else unescaped into the
/// parser's buffer (valid while the reply is walked).
[[nodiscard]] inline simdjson::error_code json_field_name(json_od::field &f, std::string_view *name, bool *plain) {
    // Stage 1 has found where every string ends, so a quote ends this one
    // before the reply does.
    const char *const start = f.key().raw();
    const char *const end = json_quote_or_escape(start);
    *plain = *end == '"';
    if (*plain) {
        *name = std::string_view(start, static_cast<size_t>(end - start));
        return simdjson::SUCCESS;
    }
    return f.unescaped_key().get(*name);
}

/// True when `token` is a JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?;
/// `*integral` tells whether it has neither fraction nor exponent.
[[nodiscard]] bool json_number_token(std::string_view token, bool *integral);
