// UTF-8 / UTF-16 conversion and bounded copies.
#include "support/text.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void put_utf8(char32_t c, std::string &out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

size_t decode_utf8(std::string_view text, size_t i, char32_t &c) {
    auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    size_t need;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        need = 1, c = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        need = 2, c = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        need = 3, c = b0 & 0x07, min = 0x10000;
    } else {
        c = kReplacement;
        return 1;
    }
    if (i + need >= text.size()) {  // sequence runs past the end
        c = kReplacement;
        return 1;
    }
    for (size_t k = 1; k <= need; k++) {
        auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            c = kReplacement;
            return 1;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = kReplacement;
        return 1;
    }
    return need + 1;
}

size_t utf16_length(const Utf16Unit *text, size_t limit) {
    size_t n = 0;
    if (!text) return 0;
    while (n < limit && text[n] != 0) n++;
    return n;
}

void utf16_to_utf8(const Utf16Unit *text, size_t count, std::string &out) {
    out.reserve(out.size() + count);
    for (size_t i = 0; i < count; i++) {
        char32_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = kReplacement;
        }
        put_utf8(u, out);
    }
}

void utf8_to_utf16(std::string_view text, std::u16string &out) {
    out.reserve(out.size() + text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c;
        i += decode_utf8(text, i, c);
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
}

size_t utf8_utf16_units(std::string_view text) {
    size_t units = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++units;
            ++i;
            continue;
        }
        char32_t c;
        i += decode_utf8(text, i, c);
        units += c >= 0x10000 ? 2 : 1;
    }
    return units;
}

size_t utf8_to_utf16_piece(std::string_view text, void *out, size_t room, size_t *units) {
    auto *dst = static_cast<unsigned char *>(out);
    auto put = [&](size_t at, char16_t unit) { std::memcpy(dst + 2 * at, &unit, 2); };
    size_t used = 0, taken = 0;
    const size_t n = text.size();
    while (taken < n && used < room) {
        // The run of ASCII bytes that fits: each is its own unit.
        size_t run = n - taken < room - used ? n - taken : room - used;
        size_t k = 0;
#if defined(__SSE2__)
        // Sixteen, then eight bytes at a time while all of them are ASCII:
        // each byte widened by interleaving it with a zero byte.
        const __m128i zero = _mm_setzero_si128();
        for (; k + 16 <= run; k += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + taken + k));
            if (_mm_movemask_epi8(bytes)) break;
            auto *to = reinterpret_cast<__m128i *>(dst + 2 * (used + k));
            _mm_storeu_si128(to, _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(to + 1, _mm_unpackhi_epi8(bytes, zero));
        }
        if (k + 8 <= run) {
            const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(text.data() + taken + k));
            if (!_mm_movemask_epi8(bytes)) {
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + 2 * (used + k)), _mm_unpacklo_epi8(bytes, zero));
                k += 8;
            }
        }
#else
        // Eight bytes at a time while all of them are ASCII.
        for (uint64_t word; k + 8 <= run; k += 8) {
            std::memcpy(&word, text.data() + taken + k, 8);
            if (word & 0x8080808080808080ull) break;
            char16_t wide[8];
            for (int b = 0; b < 8; ++b) wide[b] = static_cast<char16_t>(text[taken + k + static_cast<size_t>(b)]);
            std::memcpy(dst + 2 * (used + k), wide, sizeof wide);
        }
#endif
        while (k < run && static_cast<unsigned char>(text[taken + k]) < 0x80) {
            put(used + k, static_cast<char16_t>(text[taken + k]));
            ++k;
        }
        used += k;
        taken += k;
        if (taken == n || used == room) break;
        // text[taken] starts a character of more than one byte (or is bad).
        char32_t c;
        size_t len = decode_utf8(text, taken, c);
        if (c >= 0x10000) {
            if (used + 2 > room) break;  // never half a pair
            c -= 0x10000;
            put(used, static_cast<char16_t>(0xD800 + (c >> 10)));
            put(used + 1, static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
            used += 2;
        } else {
            put(used, static_cast<char16_t>(c));
            ++used;
        }
        taken += len;
    }
    *units = used;
    return taken;
}

size_t utf8_cut(std::string_view text, size_t max_bytes) {
    if (max_bytes >= text.size()) return text.size();
    size_t n = max_bytes;
    // Step back over continuation bytes to the start of the cut character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) n--;
    return n;
}

bool copy_text_out(std::string_view text, char *out, size_t capacity) {
    if (!out || capacity == 0) return !text.empty();
    size_t n = utf8_cut(text, capacity - 1);
    if (n) std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return n < text.size();
}

bool copy_wide_out(std::u16string_view text, Utf16Unit *out, size_t capacity) {
    if (!out || capacity == 0) return !text.empty();
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    // Never leave the high half of a surrogate pair at the end.
    if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) n--;
    if (n) std::memcpy(out, text.data(), n * sizeof(Utf16Unit));
    out[n] = 0;
    return n < text.size();
}

TextArg text_arg(const char *text, long long length) {
    if (!text) return {std::string_view(), true, true};
    if (length == -3) return {std::string_view(text), false, true};
    if (length < 0) return {std::string_view(), false, false};
    return {std::string_view(text, static_cast<size_t>(length)), false, true};
}
