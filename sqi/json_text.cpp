// The text forms of JSON scalars as jansson writes them (see json_text.h).
#include "sqi/json_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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

void put_escaped(JsonOut &w, const char *s, size_t n) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (!needs_escape(c)) continue;
        w.put(std::string_view(s + start, i - start));
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
                w.put(std::string_view(esc, sizeof esc));
                break;
            }
        }
    }
    w.put(std::string_view(s + start, n - start));
}

}  // namespace

bool JsonOut::grow(size_t n) {
    if (over || n > limit || used > limit - n) {
        over = true;
        return false;
    }
    // Doubling, within the limit: the zero fill of resize is paid once per
    // growth, never per write.
    const size_t want = std::min(limit, std::max(out.size() * 2, used + n + 256));
    out.resize(want);
    return true;
}

void append_json_string(JsonOut &w, std::string_view s) {
    if (clean_prefix(s.data(), s.size()) == s.size()) {
        // The usual case: the text as it is, between quotes, in one step.
        if (char *d = w.room(s.size() + 2)) {
            d[0] = '"';
            if (!s.empty()) std::memcpy(d + 1, s.data(), s.size());
            d[s.size() + 1] = '"';
        }
        return;
    }
    w.put('"');
    put_escaped(w, s.data(), s.size());
    w.put('"');
}

std::string_view json_integer_text(std::string_view token, char *buf, size_t size) {
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), n);
    if (ec != std::errc() || end != token.data() + token.size()) return token;
    const auto [out_end, out_ec] = std::to_chars(buf, buf + size, n);
    if (out_ec != std::errc()) return token;
    return {buf, static_cast<size_t>(out_end - buf)};
}

std::string_view json_real_text(std::string_view token, char *buf, size_t size) {
    if (size < 32) return token;
    // The token is a valid JSON number, so strtod reads all of it; the copy
    // gives it its terminator.
    char copy[128];
    std::string long_copy;
    const char *terminated = copy;
    if (token.size() < sizeof copy) {
        std::memcpy(copy, token.data(), token.size());
        copy[token.size()] = 0;
    } else {
        long_copy.assign(token);
        terminated = long_copy.c_str();
    }
    const double d = std::strtod(terminated, nullptr);
    if (!std::isfinite(d)) return token;
    int length = std::snprintf(buf, size, "%.17g", d);
    if (length <= 0 || static_cast<size_t>(length) + 3 > size) return token;
    char *text_end = buf + length;
    if (!std::memchr(buf, '.', static_cast<size_t>(length)) && !std::memchr(buf, 'e', static_cast<size_t>(length))) {
        std::memcpy(text_end, ".0", 2);
        text_end += 2;
    }
    if (char *e = static_cast<char *>(std::memchr(buf, 'e', static_cast<size_t>(text_end - buf)))) {
        // "e+300" becomes "e300" and "e-08" "e-8".
        char *from = e + 1;
        if (*from == '-') ++from;
        char *digits = from;
        if (*digits == '+') ++digits;
        while (*digits == '0' && digits + 1 < text_end) ++digits;
        const size_t keep = static_cast<size_t>(text_end - digits);
        std::memmove(from, digits, keep);
        text_end = from + keep;
    }
    return {buf, static_cast<size_t>(text_end - buf)};
}

void append_reply_value_json(const ReplyValue &v, std::string &out) {
    JsonOut w(out, out.size(), out.size() + 6 * v.text.size() + 64);
    char buf[64];
    switch (v.kind) {
        case JsonKind::kString: append_json_string(w, v.text); break;
        case JsonKind::kInteger: w.put(json_integer_text(v.text, buf, sizeof buf)); break;
        case JsonKind::kReal: w.put(json_real_text(v.text, buf, sizeof buf)); break;
        case JsonKind::kNull: break;
        default: w.put(v.text); break;
    }
    out.resize(w.used);
}
