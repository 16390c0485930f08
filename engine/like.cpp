// LIKE compiler and matcher (see like.h).
//
// Matching uses the two-cursor method for patterns with one kind of
// multi-character wildcard: on a mismatch after a "%", only the most recent
// "%" is retried one character further. Earlier "%"s never need retrying
// (the most recent one can absorb anything they could), so the work is at
// most pattern length x subject length, never exponential.
#include "engine/like.h"

#include <cstring>

#include "support/long_buffer.h"
#include "support/value_ops.h"

namespace {

inline unsigned char upper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// Length in bytes of the UTF-8 character starting at s (at least 1, never
// past end).
inline size_t char_len(const unsigned char *s, const unsigned char *end) {
    size_t n = 1;
    while (s + n < end && (s[n] & 0xC0) == 0x80 && n < 4) n++;
    return n;
}

bool text_of(const Value *v, const char **text, size_t *len) {
    if (v->type == VT_CHAR) {
        *text = v->data.s ? v->data.s : "";
        *len = v->data.s ? static_cast<size_t>(v->length) : 0;
        return true;
    }
    if (v->type == VT_LONG_CHAR) {
        *text = long_buffer_data(v->long_buffer);
        *len = long_buffer_length(v->long_buffer);
        return true;
    }
    return false;
}

// When the program after a "%" starts with a literal, the "%" can only end
// where that literal occurs: jump there directly. Returns false when it
// occurs nowhere further on. Continuation bytes are left to the slow path
// so positions stay on character boundaries.
inline bool skip_to_literal(const unsigned char *p, const unsigned char **s, const unsigned char *end) {
    if (*p != kLikeLiteral || (p[1] & 0xC0) == 0x80) return true;
    unsigned char a = p[1], b = upper(p[1]);
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
    const unsigned char *q = *s;
    while (q < end && *q != a && *q != b) q++;
    *s = q;
    return q < end;
}

int match_program(const unsigned char *prog, const unsigned char *s, const unsigned char *end) {
    const unsigned char *p = prog;
    const unsigned char *star_p = nullptr;  // program position after the last "%"
    const unsigned char *star_s = nullptr;  // subject position that "%" resumes from
    for (;;) {
        if (*p == kLikeAnySeq) {
            while (*p == kLikeAnySeq) p++;
            if (*p == kLikeEnd) return 1;  // a trailing "%" matches the rest
            star_p = p;
            star_s = s;
            if (!skip_to_literal(star_p, &star_s, end)) return 0;
            s = star_s;
            continue;
        }
        if (*p == kLikeEnd) {
            if (s == end) return 1;
        } else if (s < end) {
            if (*p == kLikeAnyOne) {
                p++;
                s += char_len(s, end);
                continue;
            }
            if (upper(p[1]) == upper(*s)) {
                p += 2;
                s++;
                continue;
            }
        }
        // Mismatch: let the last "%" absorb one more byte. Stepping by bytes
        // keeps every position reachable, which the single retry point needs
        // to be complete; for valid UTF-8 a "%" ending inside a character
        // gives the same answers as one ending at its start.
        if (!star_p || star_s >= end) return 0;
        star_s++;
        if (!skip_to_literal(star_p, &star_s, end)) return 0;
        s = star_s;
        p = star_p;
    }
}

}  // namespace

int like_compile(const Value *pattern, const Value *escape, CvPool *pool, Value **compiled) {
    *compiled = nullptr;
    Value *c = new_value_of_type(pool, VT_CHAR);
    if (!c) return -1;
    if (!pattern || pattern->is_null) {
        c->is_null = -1;
        *compiled = c;
        return 0;
    }
    const char *text;
    size_t len;
    if (!text_of(pattern, &text, &len)) {
        release_value(c);
        return -1;
    }
    unsigned char esc = '\\';
    if (escape && !escape->is_null && escape->type == VT_CHAR && escape->length > 0)
        esc = static_cast<unsigned char>(escape->data.s[0]);
    size_t cap = 2 * len + 1;
    if (cap > static_cast<size_t>(kMaxCharValue)) {
        release_value(c);
        return -1;
    }
    unsigned char *prog = static_cast<unsigned char *>(cv_mem_alloc(pool, cap + 1));
    if (!prog) {
        release_value(c);
        return -1;
    }
    size_t n = 0;
    for (size_t i = 0; i < len; i++) {
        unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch == esc) {
            if (i + 1 >= len) {
                cv_mem_free(prog);
                release_value(c);
                return -1;
            }
            prog[n++] = kLikeLiteral;
            prog[n++] = static_cast<unsigned char>(text[++i]);
        } else if (ch == '%' || ch == '*') {
            if (n == 0 || prog[n - 1] != kLikeAnySeq || (n >= 2 && prog[n - 2] == kLikeLiteral))
                prog[n++] = kLikeAnySeq;
        } else if (ch == '_' || ch == '?') {
            prog[n++] = kLikeAnyOne;
        } else {
            prog[n++] = kLikeLiteral;
            prog[n++] = ch;
        }
    }
    prog[n] = kLikeEnd;
    c->data.s = reinterpret_cast<char *>(prog);
    c->length = static_cast<int32_t>(cap);
    c->owns_data = 1;
    *compiled = c;
    return 0;
}

int like_match(const Value *compiled, const Value *subject) {
    if (!compiled || compiled->is_null || !compiled->data.s || subject->is_null) return 0;
    const char *text;
    size_t len;
    if (!text_of(subject, &text, &len)) return 0;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    return match_program(reinterpret_cast<const unsigned char *>(compiled->data.s), s, s + len);
}

int like_evaluate(const Value *compiled, const Value *subject, bool negated) {
    if (!subject || subject->is_null || !compiled || compiled->is_null) return kUnknown;
    int m = like_match(compiled, subject);
    return (m != 0) != negated ? kTrue : kFalse;
}

size_t like_literal_prefix(const Value *compiled, char *out, size_t capacity) {
    if (!out || capacity == 0) return 0;
    size_t n = 0;
    if (compiled && !compiled->is_null && compiled->data.s) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(compiled->data.s);
        while (*p == kLikeLiteral && n + 1 < capacity) {
            out[n++] = static_cast<char>(p[1]);
            p += 2;
        }
    }
    out[n] = 0;
    return n;
}

size_t like_upper_prefix(const Value *compiled, char *out, size_t capacity) {
    size_t n = like_literal_prefix(compiled, out, capacity);
    if (n == 0) return 0;
    unsigned char last = static_cast<unsigned char>(out[n - 1]);
    if (last == 0xFF) {
        out[0] = 0;
        return 0;
    }
    out[n - 1] = static_cast<char>(last + 1);
    return n;
}
