// The sorted JSON text of a reply value (see json_writer.h).
#include "sqi/json_writer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "sqi/json_text.h"

namespace {

using simdjson::error_code;

// Objects being written at once hold at most this many members together:
// a bound on the writer's own memory whatever the reply holds.
constexpr size_t kMaxOpenMembers = size_t{1} << 20;
// Objects of up to this many members are sorted in place by insertion.
constexpr std::ptrdiff_t kInsertionSortMembers = 24;

struct Walk {
    JsonSortedWriter &writer;
    JsonOut &w;
    size_t limit;
};

error_code put_value(Walk &k, json_od::value v, size_t depth);

// A string value: its text between quotes, copied as the reply wrote it
// when it holds no escape (stage 1 has checked its UTF-8 and that it holds
// no control character), else unescaped and escaped again as jansson does.
error_code put_string(Walk &k, json_od::value &v) {
    const std::string_view token = json_trim_token(v.raw_json_token());
    if (token.size() < 2 || token.front() != '"' || token.back() != '"') return simdjson::STRING_ERROR;
    const std::string_view content = token.substr(1, token.size() - 2);
    if (!std::memchr(content.data(), '\\', content.size())) {
        k.w.put(token);
        return simdjson::SUCCESS;
    }
    std::string_view text;
    if (error_code e = v.get_string().get(text)) return e;
    append_json_string(k.w, text);
    return simdjson::SUCCESS;
}

error_code put_scalar(Walk &k, json_od::value &v, json_od::json_type type) {
    const std::string_view token = json_trim_token(v.raw_json_token());
    switch (type) {
        case json_od::json_type::number: {
            bool integral;
            if (!json_number_token(token, &integral)) return simdjson::NUMBER_ERROR;
            char buf[64];
            k.w.put(integral ? json_integer_text(token, buf, sizeof buf) : json_real_text(token, buf, sizeof buf));
            return simdjson::SUCCESS;
        }
        case json_od::json_type::boolean:
            if (token != "true" && token != "false") return simdjson::T_ATOM_ERROR;
            k.w.put(token);
            return simdjson::SUCCESS;
        case json_od::json_type::null:
            if (token != "null") return simdjson::N_ATOM_ERROR;
            k.w.put(token);
            return simdjson::SUCCESS;
        default:
            return simdjson::INCORRECT_TYPE;
    }
}

error_code put_array(Walk &k, json_od::value &v, size_t depth) {
    json_od::array a;
    if (error_code e = v.get_array().get(a)) return e;
    k.w.put('[');
    bool first = true;
    for (auto element : a) {
        json_od::value ev;
        if (error_code e = element.get(ev)) return e;
        if (!first) k.w.put(", ");
        first = false;
        if (error_code e = put_value(k, ev, depth + 1)) return e;
    }
    k.w.put(']');
    return k.w.overflowed() ? simdjson::CAPACITY : simdjson::SUCCESS;
}

// An object: its members are written in the reply's order as `"name": value`;
// when the names were not already in order (or one repeats), the members
// are put in order in the scratch buffer and copied back over them.
error_code put_object(Walk &k, json_od::value &v, size_t depth) {
    json_od::object o;
    if (error_code e = v.get_object().get(o)) return e;
    std::vector<JsonSortedWriter::Member> &members = k.writer.members;
    const size_t base = members.size();
    const size_t start = k.w.used;
    k.w.put('{');
    bool in_order = true;
    for (auto field : o) {
        json_od::field f;
        if (error_code e = std::move(field).get(f)) return e;
        std::string_view name;
        bool plain;
        if (error_code e = json_field_name(f, &name, &plain)) return e;
        if (members.size() > base) {
            k.w.put(", ");
            in_order = in_order && members.back().name < name;
        }
        const size_t member_start = k.w.used;
        if (plain) {
            if (char *d = k.w.room(name.size() + 4)) {
                d[0] = '"';
                std::memcpy(d + 1, name.data(), name.size());
                std::memcpy(d + 1 + name.size(), "\": ", 3);
            }
        } else {
            append_json_string(k.w, name);
            k.w.put(": ");
        }
        if (error_code e = put_value(k, f.value(), depth + 1)) return e;
        if (members.size() >= kMaxOpenMembers) return simdjson::CAPACITY;
        members.push_back({name, member_start, k.w.used});
    }
    k.w.put('}');
    if (k.w.overflowed()) return simdjson::CAPACITY;
    if (in_order) {
        members.resize(base);
        return simdjson::SUCCESS;
    }
    auto first = members.begin() + static_cast<std::ptrdiff_t>(base);
    auto by_name = [](const JsonSortedWriter::Member &a, const JsonSortedWriter::Member &b) { return a.name < b.name; };
    if (members.end() - first <= kInsertionSortMembers) {
        // PayPal's objects have a handful of members: insertion sort, which
        // is stable and needs no buffer (std::stable_sort allocates one).
        for (auto i = first + 1; i < members.end(); ++i)
            for (auto j = i; j > first && by_name(*j, j[-1]); --j) std::swap(*j, j[-1]);
    } else {
        std::stable_sort(first, members.end(), by_name);
    }
    JsonOut s(k.writer.scratch, 0, k.limit);
    s.put('{');
    bool any = false;
    for (auto m = first; m != members.end(); ++m) {
        // A repeated name: the last value given is the member's value.
        if (m + 1 != members.end() && m[1].name == m->name) continue;
        if (any) s.put(", ");
        any = true;
        s.put(std::string_view(k.w.out.data() + m->start, m->end - m->start));
    }
    s.put('}');
    members.resize(base);
    if (s.overflowed()) return simdjson::CAPACITY;
    k.w.used = start;
    k.w.put(std::string_view(k.writer.scratch.data(), s.used));
    return k.w.overflowed() ? simdjson::CAPACITY : simdjson::SUCCESS;
}

error_code put_value(Walk &k, json_od::value v, size_t depth) {
    if (depth > kJsonMaxDepth) return simdjson::DEPTH_ERROR;
    json_od::json_type type;
    if (error_code e = v.type().get(type)) return e;
    switch (type) {
        case json_od::json_type::object: return put_object(k, v, depth);
        case json_od::json_type::array: return put_array(k, v, depth);
        case json_od::json_type::string: return put_string(k, v);
        default: return put_scalar(k, v, type);
    }
}

}  // namespace

error_code append_sorted_json(JsonSortedWriter &writer, json_od::value v, std::string &out, size_t *used,
                              size_t limit) {
    JsonOut w(out, *used, limit);
    Walk k{writer, w, limit};
    writer.members.clear();
    error_code e = put_value(k, v, 0);
    if (w.overflowed() && !e) e = simdjson::CAPACITY;
    if (!e) *used = w.used;
    return e;
}

namespace {

bool write_document(std::string &text, std::string &out) {
    json_od::parser *parser = thread_json_parser();
    if (!parser) return false;
    json_od::document doc;
    if (parser->iterate(json_padded(text)).get(doc)) return false;
    json_od::array a;
    if (doc.get_array().get(a)) return false;
    JsonSortedWriter writer;
    size_t values = 0, used = 0;
    for (auto element : a) {
        json_od::value v;
        if (element.get(v) || ++values > 1) return false;
        if (append_sorted_json(writer, v, out, &used, kJsonMaxText) != simdjson::SUCCESS) return false;
    }
    out.resize(used);
    // Nothing may follow the value.
    const char *at = nullptr;
    return values == 1 && doc.current_location().get(at) != simdjson::SUCCESS;
}

}  // namespace

bool sorted_json_text(std::string_view json, std::string &out) {
    // In an array, so that a scalar is a value like any other.
    std::string text;
    text.reserve(json.size() + 2 + simdjson::SIMDJSON_PADDING);
    text.append("[").append(json).append("]");
    std::string whole;
    const bool written = write_document(text, whole);
    thread_json_parser_done(text.size());
    if (written) out = std::move(whole);
    return written;
}

bool json_reply_document(std::string_view json) {
    const size_t first = json.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || (json[first] != '{' && json[first] != '[')) return false;
    std::string ignored;
    return sorted_json_text(json, ignored);
}
