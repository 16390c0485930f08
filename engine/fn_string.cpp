// Character scalar functions. Positions are 1-based and counted in UTF-8
// characters; all size arithmetic is 64-bit and capped at kMaxCharValue, so
// negative or huge counts give an empty result or an error, never an
// overrun.
#include <cstring>

#include "engine/fn_common.h"
#include "support/value_ops.h"

namespace {

using fn::arg_text;

// The text of argument i, or -1 after posting.
struct Text {
    const char *p;
    size_t n;
};

int text_arg(ValueEnv *env, const Value *v, Text *t) { return arg_text(env, v, &t->p, &t->n); }

int too_long(ValueEnv *env, const char *name) {
    return engine_error(env->diag, "HY000", "General error: result of %s is too long", name);
}

int case_map(ValueEnv *env, int argc, Value *const *args, Value **out, bool up) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    char *buf;
    if (fn::text_buffer(env, s.n, out, &buf) != 0) return -1;
    for (size_t i = 0; i < s.n; i++) {
        char c = s.p[i];
        if (up && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (!up && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        buf[i] = c;
    }
    return 0;
}

// 1-based character position of `needle` in `hay` from character `start`
// (1-based), or 0.
int64_t locate(const Text &needle, const Text &hay, int64_t start) {
    if (start < 1) start = 1;
    size_t from = fn::char_offset(hay.p, hay.n, start - 1);
    if (static_cast<int64_t>(fn::char_count(hay.p, hay.n)) < start - 1) return 0;
    if (needle.n == 0) return start;
    if (needle.n > hay.n) return 0;
    for (size_t i = from; i + needle.n <= hay.n; i++) {
        if (std::memcmp(hay.p + i, needle.p, needle.n) == 0)
            return static_cast<int64_t>(fn::char_count(hay.p, i)) + 1;
    }
    return 0;
}

const char kSoundexDigits[] = "01230120022455012623010202";

// Four-character code into code[5]; false when the text does not begin
// with a letter.
bool soundex(const Text &s, char code[5]) {
    std::memcpy(code, "0000", 5);
    if (s.n == 0) return false;
    unsigned char first = static_cast<unsigned char>(s.p[0]);
    if (first >= 'a' && first <= 'z') first = static_cast<unsigned char>(first - 32);
    if (first < 'A' || first > 'Z') return false;
    code[0] = static_cast<char>(first);
    int written = 1;
    for (size_t i = 1; i < s.n && written < 4; i++) {
        unsigned char c = static_cast<unsigned char>(s.p[i]);
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 32);
        if (c < 'A' || c > 'Z') continue;
        char d = kSoundexDigits[c - 'A'];
        if (d == '0' || d == code[written - 1]) continue;
        code[written++] = d;
    }
    return true;
}

}  // namespace

int fn_ascii(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    if (s.n == 0) return fn::null_result(env, VT_INTEGER, out);
    return fn::int_result(env, static_cast<unsigned char>(s.p[0]), out);
}

int fn_bit_length(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    return fn::int_result(env, static_cast<int64_t>(s.n) * 8, out);
}

int fn_octet_length(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    return fn::int_result(env, static_cast<int64_t>(s.n), out);
}

int fn_char_length(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    return fn::int_result(env, static_cast<int64_t>(fn::char_count(s.p, s.n)), out);
}

int fn_length(ValueEnv *env, int argc, Value *const *args, Value **out) {
    // Characters without trailing blanks.
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    size_t n = s.n;
    while (n > 0 && s.p[n - 1] == ' ') n--;
    return fn::int_result(env, static_cast<int64_t>(fn::char_count(s.p, n)), out);
}

int fn_char(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    int64_t n;
    if (get_bigint_from_value(args[0], &n) != 0 || n < 0 || n > 255)
        return fn::null_result(env, VT_CHAR, out);
    // Codes 128-255 are the Latin-1 characters, written as UTF-8.
    char b[2];
    size_t len = 1;
    if (n < 128) {
        b[0] = static_cast<char>(n);
    } else {
        b[0] = static_cast<char>(0xC0 | (n >> 6));
        b[1] = static_cast<char>(0x80 | (n & 0x3F));
        len = 2;
    }
    return fn::text_result(env, b, len, out, "Memory allocation error quill");
}

int fn_concat(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text a, b;
    if (text_arg(env, args[0], &a) != 0 || text_arg(env, args[1], &b) != 0) return -1;
    char *buf;
    if (a.n + b.n > static_cast<size_t>(kMaxCharValue)) return too_long(env, "CONCAT");
    if (fn::text_buffer(env, a.n + b.n, out, &buf, "Memory allocation error quill") != 0) return -1;
    std::memcpy(buf, a.p, a.n);
    std::memcpy(buf + a.n, b.p, b.n);
    return 0;
}

int fn_insert(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s, r;
    int64_t start, count;
    if (text_arg(env, args[0], &s) != 0 || fn::arg_int64(env, args[1], &start) != 0 ||
        fn::arg_int64(env, args[2], &count) != 0 || text_arg(env, args[3], &r) != 0)
        return -1;
    int64_t chars = static_cast<int64_t>(fn::char_count(s.p, s.n));
    // A start outside the string leaves it unchanged.
    if (start < 1 || start > chars + 1) return fn::text_result(env, s.p, s.n, out);
    if (count < 0) count = 0;
    size_t from = fn::char_offset(s.p, s.n, start - 1);
    size_t to = fn::char_offset(s.p + from, s.n - from, count) + from;
    size_t len = from + r.n + (s.n - to);
    if (len > static_cast<size_t>(kMaxCharValue)) return too_long(env, "INSERT");
    char *buf;
    if (fn::text_buffer(env, len, out, &buf) != 0) return -1;
    std::memcpy(buf, s.p, from);
    std::memcpy(buf + from, r.p, r.n);
    std::memcpy(buf + from + r.n, s.p + to, s.n - to);
    return 0;
}

int fn_lcase(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return case_map(env, argc, args, out, false);
}
int fn_ucase(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return case_map(env, argc, args, out, true);
}

int fn_left(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    int64_t n;
    if (text_arg(env, args[0], &s) != 0 || fn::arg_int64(env, args[1], &n) != 0) return -1;
    if (n < 0) n = 0;
    return fn::text_result(env, s.p, fn::char_offset(s.p, s.n, n), out);
}

int fn_right(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    int64_t n;
    if (text_arg(env, args[0], &s) != 0 || fn::arg_int64(env, args[1], &n) != 0) return -1;
    if (n < 0) n = 0;
    int64_t chars = static_cast<int64_t>(fn::char_count(s.p, s.n));
    size_t from = n >= chars ? 0 : fn::char_offset(s.p, s.n, chars - n);
    return fn::text_result(env, s.p + from, s.n - from, out);
}

int fn_locate(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    Text needle, hay;
    int64_t start = 1;
    if (text_arg(env, args[0], &needle) != 0 || text_arg(env, args[1], &hay) != 0) return -1;
    if (argc >= 3 && fn::arg_int64(env, args[2], &start) != 0) return -1;
    return fn::int_result(env, locate(needle, hay, start), out);
}

int fn_position(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return fn_locate(env, argc > 2 ? 2 : argc, args, out);
}

int fn_ltrim(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    size_t i = 0;
    while (i < s.n && s.p[i] == ' ') i++;
    return fn::text_result(env, s.p + i, s.n - i, out);
}

int fn_rtrim(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    size_t n = s.n;
    while (n > 0 && s.p[n - 1] == ' ') n--;
    return fn::text_result(env, s.p, n, out);
}

int fn_repeat(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    int64_t n;
    if (text_arg(env, args[0], &s) != 0 || fn::arg_int64(env, args[1], &n) != 0) return -1;
    if (n <= 0 || s.n == 0) return fn::text_result(env, "", 0, out);
    if (static_cast<uint64_t>(n) > static_cast<uint64_t>(kMaxCharValue) / s.n) return too_long(env, "REPEAT");
    size_t len = s.n * static_cast<size_t>(n);
    char *buf;
    if (fn::text_buffer(env, len, out, &buf) != 0) return -1;
    for (int64_t i = 0; i < n; i++) std::memcpy(buf + static_cast<size_t>(i) * s.n, s.p, s.n);
    return 0;
}

int fn_space(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    int64_t n;
    if (fn::arg_int64(env, args[0], &n) != 0) return -1;
    if (n <= 0) return fn::text_result(env, "", 0, out);
    if (n > kMaxCharValue) return too_long(env, "SPACE");
    char *buf;
    if (fn::text_buffer(env, static_cast<size_t>(n), out, &buf) != 0) return -1;
    std::memset(buf, ' ', static_cast<size_t>(n));
    return 0;
}

int fn_replace(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s, from, to;
    if (text_arg(env, args[0], &s) != 0 || text_arg(env, args[1], &from) != 0 ||
        text_arg(env, args[2], &to) != 0)
        return -1;
    if (from.n == 0 || from.n > s.n) return fn::text_result(env, s.p, s.n, out);
    // First pass: the result length, in 64 bits against the cap.
    uint64_t len = 0;
    for (size_t i = 0; i < s.n;) {
        if (i + from.n <= s.n && std::memcmp(s.p + i, from.p, from.n) == 0) {
            len += to.n;
            i += from.n;
        } else {
            len++;
            i++;
        }
        if (len > static_cast<uint64_t>(kMaxCharValue)) return too_long(env, "REPLACE");
    }
    char *buf;
    if (fn::text_buffer(env, static_cast<size_t>(len), out, &buf) != 0) return -1;
    size_t o = 0;
    for (size_t i = 0; i < s.n;) {
        if (i + from.n <= s.n && std::memcmp(s.p + i, from.p, from.n) == 0) {
            std::memcpy(buf + o, to.p, to.n);
            o += to.n;
            i += from.n;
        } else {
            buf[o++] = s.p[i++];
        }
    }
    return 0;
}

int fn_substring(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    int64_t start;
    if (text_arg(env, args[0], &s) != 0 || fn::arg_int64(env, args[1], &start) != 0) return -1;
    int64_t chars = static_cast<int64_t>(fn::char_count(s.p, s.n));
    int64_t count = chars + 1;
    if (argc >= 3 && fn::arg_int64(env, args[2], &count) != 0) return -1;
    if (count < 0) count = 0;
    // Characters start .. start + count - 1, clipped to 1 .. chars; the
    // end is computed without overflow.
    int64_t first = start < 1 ? 1 : start;
    int64_t last = start > INT64_MAX - count ? INT64_MAX : start + count;  // exclusive
    if (last <= first || first > chars) return fn::text_result(env, "", 0, out);
    if (last > chars + 1) last = chars + 1;
    size_t from = fn::char_offset(s.p, s.n, first - 1);
    size_t to = fn::char_offset(s.p, s.n, last - 1);
    return fn::text_result(env, s.p + from, to - from, out);
}

int fn_soundex(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    Text s;
    if (text_arg(env, args[0], &s) != 0) return -1;
    char code[5];
    if (!soundex(s, code)) return fn::null_result(env, VT_CHAR, out);
    return fn::text_result(env, code, 4, out);
}

int fn_difference(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    Text a, b;
    if (text_arg(env, args[0], &a) != 0 || text_arg(env, args[1], &b) != 0) return -1;
    char ca[5], cb[5];
    if (!soundex(a, ca) || !soundex(b, cb)) return fn::int_result(env, 27000, out);
    int letters = ca[0] - cb[0];
    int na = (ca[1] - '0') * 100 + (ca[2] - '0') * 10 + (ca[3] - '0');
    int nb = (cb[1] - '0') * 100 + (cb[2] - '0') * 10 + (cb[3] - '0');
    int d = (letters < 0 ? -letters : letters) * 1000 + (na > nb ? na - nb : nb - na);
    return fn::int_result(env, d, out);
}

int fn_database(ValueEnv *env, int, Value *const *, Value **out) {
    if (!env->database) return fn::null_result(env, VT_CHAR, out);
    return fn::text_result(env, env->database, std::strlen(env->database), out,
                           "Memory allocation error quill");
}

int fn_user(ValueEnv *env, int, Value *const *, Value **out) {
    if (!env->user) return fn::null_result(env, VT_CHAR, out);
    return fn::text_result(env, env->user, std::strlen(env->user), out);
}

int trim_value(ValueEnv *env, int form, char trim_char, const Value *source, Value **out) {
    *out = nullptr;
    if (!source || source->is_null) return fn::null_result(env, VT_CHAR, out);
    Text s;
    if (text_arg(env, source, &s) != 0) return -1;
    size_t b = 0, e = s.n;
    if (form != 2)
        while (b < e && s.p[b] == trim_char) b++;
    if (form != 1)
        while (e > b && s.p[e - 1] == trim_char) e--;
    return fn::text_result(env, s.p + b, e - b, out);
}
