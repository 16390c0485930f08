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

// The text being written: bytes go straight into `out` past `length`, which
// grows in large steps; `out` is cut to `length` once the value is written.
// (std::string's own appends check and copy per call, which dominated the
// writing of the many short names and values of a row.)
struct Writer {
    std::string &out;
    char *cur;  // the next byte to write
    char *end;  // the end of `out`

    explicit Writer(std::string &text) : out(text), cur(text.data() + text.size()), end(cur) {}
    size_t length() const { return static_cast<size_t>(cur - out.data()); }
    [[gnu::noinline]] void grow(size_t n) {
        const size_t used = length();
        out.resize(std::max(out.size() * 2, used + n + 256));
        cur = out.data() + used;
        end = out.data() + out.size();
    }
    char *room(size_t n) {
        if (static_cast<size_t>(end - cur) < n) grow(n);
        char *at = cur;
        cur += n;
        return at;
    }
    void put(char c) { *room(1) = c; }
    void put(const char *s, size_t n) {
        if (n) std::memcpy(room(n), s, n);
    }
    template <size_t N>
    void put(const char (&literal)[N]) {
        std::memcpy(room(N - 1), literal, N - 1);
    }
};

void put_escaped(Writer &w, const char *s, size_t n) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (!needs_escape(c)) continue;
        w.put(s + start, i - start);
        start = i + 1;
        switch (c) {
            case '"': w.put("\\\""); break;
            case '\\': w.put("\\\\"); break;
            case '\b': w.put("\\b"); break;
            case '\f': w.put("\\f"); break;
            case '\n': w.put("\\n"); break;
            case '\r': w.put("\\r"); break;
            case '\t': w.put("\\t"); break;
            default: {
                const char esc[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
                w.put(esc, sizeof esc);
                break;
            }
        }
    }
    w.put(s + start, n - start);
}

void put_string(Writer &w, const char *s, size_t n) {
    if (clean_prefix(s, n) == n) {
        // The usual case: the text as it is, between quotes, in one step.
        char *d = w.room(n + 2);
        d[0] = '"';
        std::memcpy(d + 1, s, n);
        d[n + 1] = '"';
        return;
    }
    w.put('"');
    put_escaped(w, s, n);
    w.put('"');
}

struct FreeDeleter {
    void operator()(char *p) const { free(p); }
};

// A value this writer leaves to jansson: its text appended.
bool put_by_jansson(const json_t *v, Writer &w) {
    std::unique_ptr<char, FreeDeleter> text(json_dumps(v, JSON_SORT_KEYS | JSON_ENCODE_ANY));
    if (!text) return false;
    w.put(text.get(), std::strlen(text.get()));
    return true;
}

bool put_value(const json_t *v, Writer &w, int depth);

bool put_object(const json_t *v, Writer &w, int depth) {
    const size_t n = json_object_size(v);
    if (n == 0) {
        w.put("{}");
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
    w.put('{');
    for (size_t k = 0; k < count; ++k) {
        if (k > 0) w.put(", ");
        put_string(w, members[k].name, members[k].name_length);
        w.put(": ");
        if (!put_value(members[k].value, w, depth + 1)) return false;
    }
    w.put('}');
    return true;
}

bool put_value(const json_t *v, Writer &w, int depth) {
    if (depth > kMaxDepth) return put_by_jansson(v, w);
    switch (json_typeof(v)) {
        case JSON_OBJECT:
            return put_object(v, w, depth);
        case JSON_ARRAY: {
            const size_t n = json_array_size(v);
            w.put('[');
            for (size_t i = 0; i < n; ++i) {
                if (i > 0) w.put(", ");
                if (!put_value(json_array_get(v, i), w, depth + 1)) return false;
            }
            w.put(']');
            return true;
        }
        case JSON_STRING:
            put_string(w, json_string_value(v), json_string_length(v));
            return true;
        case JSON_INTEGER: {
            char buf[32];
            const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, json_integer_value(v));
            (void)ec;  // 32 characters hold every 64-bit integer
            w.put(buf, static_cast<size_t>(end - buf));
            return true;
        }
        case JSON_REAL:
            // Rare in replies; jansson's shortest round-trip form.
            return put_by_jansson(v, w);
        case JSON_TRUE:
            w.put("true");
            return true;
        case JSON_FALSE:
            w.put("false");
            return true;
        case JSON_NULL:
            w.put("null");
            return true;
    }
    return false;
}

}  // namespace

bool append_json_text(const json_t *value, std::string &out) {
    if (!value) return false;
    Writer w(out);
    const bool written = put_value(value, w, 0);
    out.resize(w.length());
    return written;
}
