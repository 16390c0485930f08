// The JSON text of a parsed reply value (see json_writer.h).
#include "sqi/json_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// Nesting deeper than this is written by jansson, which is no faster but
// keeps this writer's recursion bounded (jansson's parser stops at 2048).
constexpr int kMaxDepth = 256;
// Members of one object sorted on the stack; larger objects use the heap.
constexpr size_t kStackMembers = 32;

// Left uninitialised on the stack (no default member values): every object
// written fills only the entries it uses.
struct Member {
    const char *name;
    size_t name_length;
    const json_t *value;
    std::string_view key() const { return {name, name_length}; }
};

// Bytes a JSON string cannot hold as they are: the quote, the backslash and
// the control characters.
constexpr bool needs_escape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

// Bytes of `s` before the first that needs escaping (n when none does).
// Eight at a time: a word holds such a byte when one of its bytes is below
// 0x20 or equals the quote or the backslash (the "any byte" tests below are
// exact; the bytes of such a word are then looked at one by one).
size_t clean_prefix(const char *s, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    auto has_zero = [](uint64_t x) { return ((x - kOnes) & ~x & kHighs) != 0; };
    auto dirty = [&](uint64_t w) {
        return ((w - kOnes * 0x20) & ~w & kHighs) != 0 || has_zero(w ^ (kOnes * '"')) ||
               has_zero(w ^ (kOnes * '\\'));
    };
    size_t i = 0;
    uint64_t w;
    for (; i + 8 <= n; i += 8) {
        std::memcpy(&w, s + i, 8);
        if (dirty(w)) break;
    }
    if (i + 8 > n && i < n) {
        // The last bytes, padded with a letter, in one word too.
        char tail[8];
        std::memset(tail, 'a', sizeof tail);
        std::memcpy(tail, s + i, n - i);
        std::memcpy(&w, tail, 8);
        if (!dirty(w)) return n;
    }
    while (i < n && !needs_escape(static_cast<unsigned char>(s[i]))) ++i;
    return i;
}

void append_escaped(std::string &out, const char *s, size_t n) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (!needs_escape(c)) continue;
        out.append(s + start, i - start);
        start = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
                out.append(esc, sizeof esc);
                break;
            }
        }
    }
    out.append(s + start, n - start);
}

void append_string(std::string &out, const char *s, size_t n) {
    const size_t i = clean_prefix(s, n);
    const size_t at = out.size();
    if (i == n) {
        // The usual case: the text as it is, between quotes, in one step.
        out.resize(at + n + 2);
        char *d = out.data() + at;
        d[0] = '"';
        std::memcpy(d + 1, s, n);
        d[n + 1] = '"';
        return;
    }
    out += '"';
    append_escaped(out, s, n);
    out += '"';
}

struct FreeDeleter {
    void operator()(char *p) const { free(p); }
};

// A value this writer leaves to jansson: its text appended.
bool append_by_jansson(const json_t *v, std::string &out) {
    std::unique_ptr<char, FreeDeleter> text(json_dumps(v, JSON_SORT_KEYS | JSON_ENCODE_ANY));
    if (!text) return false;
    out += text.get();
    return true;
}

bool append_value(const json_t *v, std::string &out, int depth);

bool append_object(const json_t *v, std::string &out, int depth) {
    const size_t n = json_object_size(v);
    if (n == 0) {
        out += "{}";
        return true;
    }
    Member on_stack[kStackMembers];
    std::vector<Member> on_heap;
    Member *members = on_stack;
    if (n > kStackMembers) {
        on_heap.resize(n);
        members = on_heap.data();
    }
    size_t count = 0;
    for (void *i = json_object_iter(const_cast<json_t *>(v)); i && count < n;
         i = json_object_iter_next(const_cast<json_t *>(v), i))
        members[count++] = {json_object_iter_key(i), json_object_iter_key_len(i), json_object_iter_value(i)};
    std::sort(members, members + count, [](const Member &a, const Member &b) { return a.key() < b.key(); });
    out += '{';
    for (size_t k = 0; k < count; ++k) {
        if (k > 0) out += ", ";
        append_string(out, members[k].name, members[k].name_length);
        out += ": ";
        if (!append_value(members[k].value, out, depth + 1)) return false;
    }
    out += '}';
    return true;
}

bool append_value(const json_t *v, std::string &out, int depth) {
    if (depth > kMaxDepth) return append_by_jansson(v, out);
    char buf[32];
    switch (json_typeof(v)) {
        case JSON_OBJECT:
            return append_object(v, out, depth);
        case JSON_ARRAY: {
            const size_t n = json_array_size(v);
            out += '[';
            for (size_t i = 0; i < n; ++i) {
                if (i > 0) out += ", ";
                if (!append_value(json_array_get(v, i), out, depth + 1)) return false;
            }
            out += ']';
            return true;
        }
        case JSON_STRING:
            append_string(out, json_string_value(v), json_string_length(v));
            return true;
        case JSON_INTEGER: {
            const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, json_integer_value(v));
            (void)ec;  // 32 characters hold every 64-bit integer
            out.append(buf, static_cast<size_t>(end - buf));
            return true;
        }
        case JSON_REAL:
            // Rare in replies; jansson's shortest round-trip form.
            return append_by_jansson(v, out);
        case JSON_TRUE:
            out += "true";
            return true;
        case JSON_FALSE:
            out += "false";
            return true;
        case JSON_NULL:
            out += "null";
            return true;
    }
    return false;
}

}  // namespace

bool append_json_text(const json_t *value, std::string &out) {
    if (!value) return false;
    return append_value(value, out, 0);
}
