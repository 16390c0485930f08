// Message formatting, `logging` values and secret masking for the backend
// trace log (see paypal_trace.h).
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "transport/paypal_trace.h"

namespace {

// Appends into a fixed buffer, never past capacity - 1.
struct Out {
    char *buf;
    size_t cap;
    size_t pos;
    size_t room() const { return cap - pos; }  // includes the terminator's byte
    void put(char c) {
        if (room() > 1) buf[pos++] = c;
    }
    void puts(const char *s) {
        while (*s) put(*s++);
    }
    void putf(const char *fmt, long long v) {
        char tmp[48];
        snprintf(tmp, sizeof tmp, fmt, v);
        puts(tmp);
    }
};

// Appends `text` (length `n`, or up to a NUL when n < 0) with bytes >= 0x80
// escaped as \xNN (or \xNNNN with `wide_escape`); cuts with "..." when fewer
// than `reserve` places would remain. Returns false when it cut.
bool put_text(Out &o, const char *text, long n, size_t reserve, bool wide_escape) {
    for (long i = 0; n < 0 ? text[i] != '\0' : i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (n >= 0 && c == '\0') break;
        size_t need = c >= 0x80 ? (wide_escape ? 6 : 4) : 1;
        if (o.room() <= need + reserve) {
            o.puts("...");
            return false;
        }
        if (c >= 0x80) {
            o.putf(wide_escape ? "\\x%04llX" : "\\x%02llX", c);
        } else {
            o.put(static_cast<char>(c));
        }
    }
    return true;
}

bool put_wide(Out &o, const uint16_t *text, long n, size_t reserve) {
    for (long i = 0; n < 0 ? text[i] != 0 : i < n; ++i) {
        uint16_t c = text[i];
        size_t need = c >= 0x80 ? 6 : 1;
        if (o.room() <= need + reserve) {
            o.puts("...");
            return false;
        }
        if (c >= 0x80) {
            o.putf("\\x%04llX", c);
        } else {
            o.put(static_cast<char>(c));
        }
    }
    return true;
}

void put_length_suffix(Out &o, int length) {
    if (length == -3) {
        o.puts("[SQL_NTS]");
    } else {
        o.putf("[%lld]", length);
    }
}

// A text argument and its length (-3 for a null-terminated one): quoted,
// or "(nul)". False when the text was cut short.
template <typename Char>
bool put_quoted(Out &o, const Char *text, int length) {
    if (!text) {
        o.puts("(nul)");
        put_length_suffix(o, length);
        return true;
    }
    const long n = length == -3 ? -1 : length;
    o.put('\'');
    bool whole;
    if constexpr (std::is_same_v<Char, char>) {
        whole = put_text(o, text, n, 16, false);
    } else {
        whole = put_wide(o, text, n, 16);
    }
    o.put('\'');
    put_length_suffix(o, length);
    return whole;
}

}  // namespace

size_t PaypalTraceFormat(char *buffer, size_t capacity, const char *format, va_list args) {
    if (capacity == 0) return 0;
    Out o{buffer, capacity, 0};
    const char *f = format ? format : "";
    while (*f) {
        if (*f != '%' || f[1] == '\0') {
            o.put(*f++);
            continue;
        }
        char d = f[1];
        f += 2;
        if (o.room() <= 20) {
            // Out of room: mark the cut and stop; the rest of the arguments
            // are simply not read, which va_list allows.
            o.puts("...");
            break;
        }
        switch (d) {
            case 'd':
                o.putf("%lld", va_arg(args, int));
                break;
            case 'u':
                o.putf("%lld", va_arg(args, int));
                break;
            case 'l':
                o.putf("%lld", va_arg(args, long long));
                break;
            case 'c':
                o.put(static_cast<char>(va_arg(args, int)));
                break;
            case 'x':
                o.putf("%llx", static_cast<unsigned>(va_arg(args, int)));
                break;
            case 'X':
                o.putf("%llX", static_cast<unsigned>(va_arg(args, int)));
                break;
            case 'p': {
                char tmp[32];
                snprintf(tmp, sizeof tmp, "%p", va_arg(args, void *));
                o.puts(tmp);
                break;
            }
            case 's': {
                const char *s = va_arg(args, const char *);
                if (!s) {
                    o.puts("null");
                } else if (!put_text(o, s, -1, 3, false)) {
                    f = "";
                }
                break;
            }
            case 'S': {
                const TraceCountedText *t = va_arg(args, const TraceCountedText *);
                if (!t || !t->text) {
                    o.puts("(nul)");
                } else if (!put_text(o, t->text, t->length < 0 ? -1 : t->length, 40, true)) {
                    f = "";
                }
                break;
            }
            case 'q': {
                const char *s = va_arg(args, const char *);
                int n = va_arg(args, int);
                if (!put_quoted(o, s, n)) f = "";
                break;
            }
            case 'Q':
            case 'T': {
                const uint16_t *s = va_arg(args, const uint16_t *);
                int n = va_arg(args, int);
                if (!put_quoted(o, s, n)) f = "";
                break;
            }
            case 'r': {
                int rc = va_arg(args, int);
                switch (rc) {
                    case 0:
                        o.puts("SQL_SUCCESS");
                        break;
                    case 1:
                        o.puts("SQL_SUCCESS_WITH_INFO");
                        break;
                    case 100:
                        o.puts("SQL_NO_DATA");
                        break;
                    case -1:
                        o.puts("SQL_ERROR");
                        break;
                    default:
                        o.putf("%lld", rc);
                        break;
                }
                break;
            }
            default:
                break;  // unknown directive: both characters are skipped
        }
    }
    buffer[o.pos] = '\0';
    return o.pos;
}

uint32_t PaypalTraceParseLogging(const char *value) {
    if (!value || !*value) return 0;
    static const struct {
        const char *word;
        uint32_t mask;
    } kWords[] = {{"yes", 31},   {"true", 31}, {"onerror", 95}, {"process", 63},
                  {"error", 95}, {"on", 31},   {"no", 0},       {"off", 0}};
    for (const auto &w : kWords) {
        if (strcasecmp(value, w.word) == 0) return w.mask;
    }
    return static_cast<uint32_t>(strtoul(value, nullptr, 0));
}

void PaypalTraceAddSecret(PaypalTraceHead *head, std::string_view secret) {
    if (!head || secret.size() < 4) return;
    std::lock_guard<std::mutex> guard(head->lock);
    for (const std::string &s : head->secrets) {
        if (s == secret) return;
    }
    // A bounded list: the few secrets of one connection plus renewed tokens.
    if (head->secrets.size() >= 64) head->secrets.erase(head->secrets.begin() + 4);
    head->secrets.emplace_back(secret);
}

namespace {

// Masks the value of every "...Authorization:" header in `text` up to the
// end of its line.
void scrub_auth_headers(std::string &text) {
    static const char kName[] = "authorization:";
    const size_t name_len = sizeof kName - 1;
    size_t i = 0;
    while (i + name_len <= text.size()) {
        if (strncasecmp(text.data() + i, kName, name_len) != 0) {
            ++i;
            continue;
        }
        size_t start = i + name_len;
        size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        text.replace(start, end - start, " ****");
        i = start + 5;
    }
}

// Masks the string values of JSON members that carry credentials, such as
// the token in a token reply (dumped before the token is known as a secret).
void scrub_json_members(std::string &text) {
    static const char *const kMembers[] = {"\"access_token\"", "\"refresh_token\"", "\"id_token\"",
                                           "\"client_secret\""};
    for (const char *member : kMembers) {
        const size_t len = strlen(member);
        for (size_t at = text.find(member); at != std::string::npos; at = text.find(member, at)) {
            size_t i = at + len;
            while (i < text.size() && (text[i] == ' ' || text[i] == ':' || text[i] == '\t')) ++i;
            at = i;
            if (i >= text.size() || text[i] != '"') continue;
            size_t end = i + 1;
            while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
            end = std::min(end, text.size());
            text.replace(i + 1, end - i - 1, "****");
            at = i + 5;
        }
    }
}

}  // namespace

void PaypalTraceScrub(const PaypalTraceHead *head, std::string &text) {
    scrub_auth_headers(text);
    scrub_json_members(text);
    if (!head) return;
    for (const std::string &s : head->secrets) {
        size_t at = 0;
        while ((at = text.find(s, at)) != std::string::npos) {
            text.replace(at, s.size(), "****");
            at += 4;
        }
    }
}
