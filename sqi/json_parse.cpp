// The thread's reply parser and the token checks (see json_parse.h).
#include "sqi/json_parse.h"

#include <memory>
#include <new>

namespace {

// First buffers of a thread's parser: room for a page of invoices.
constexpr size_t kInitialCapacity = size_t{256} << 10;

// The parser dies with its thread. (A driver unloaded while a thread that
// read a reply lives on is kept mapped by the C library until that thread
// ends, so the destructor always has its code.)
thread_local std::unique_ptr<json_od::parser> t_parser;

bool digit(char c) { return c >= '0' && c <= '9'; }

// The deepest object or array the reader iterates: the writer's own limit
// below a column's value, which lies a few levels (its path, the row list,
// a child list) below the root. simdjson checks it in unoptimised builds;
// skipped members do not count.
constexpr size_t kParserDepth = 2 * kJsonMaxDepth;

}  // namespace

json_od::parser *thread_json_parser() {
    if (!t_parser) {
        std::unique_ptr<json_od::parser> p(new (std::nothrow) json_od::parser(kJsonMaxText));
        if (!p || p->allocate(kInitialCapacity, kParserDepth) != simdjson::SUCCESS) return nullptr;
        t_parser = std::move(p);
    }
    return t_parser.get();
}

void thread_json_parser_done(size_t size) {
    if (size > kJsonKeptCapacity) t_parser.reset();
}

simdjson::padded_string_view json_padded(std::string &text) {
    if (text.capacity() - text.size() < simdjson::SIMDJSON_PADDING) text.reserve(text.size() + simdjson::SIMDJSON_PADDING);
    return simdjson::padded_string_view(text.data(), text.size(), text.capacity());
}

std::string_view json_trim_token(std::string_view raw) {
    size_t n = raw.size();
    while (n > 0 && (raw[n - 1] == ' ' || raw[n - 1] == '\t' || raw[n - 1] == '\n' || raw[n - 1] == '\r')) --n;
    return raw.substr(0, n);
}

bool json_number_token(std::string_view s, bool *integral) {
    size_t i = 0;
    const size_t n = s.size();
    *integral = true;
    if (i < n && s[i] == '-') ++i;
    if (i >= n || !digit(s[i])) return false;
    if (s[i] == '0') {
        ++i;
    } else {
        while (i < n && digit(s[i])) ++i;
    }
    if (i < n && s[i] == '.') {
        *integral = false;
        ++i;
        if (i >= n || !digit(s[i])) return false;
        while (i < n && digit(s[i])) ++i;
    }
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        *integral = false;
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= n || !digit(s[i])) return false;
        while (i < n && digit(s[i])) ++i;
    }
    return i == n;
}
