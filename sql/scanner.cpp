// The SQL scanner (see scanner.h for the token rules and feedback flags).
#include "sql/scanner.h"

#include <cstring>

#include "sql/sql_keywords.h"
#include "sql_grammar.hpp"
#include "support/pool.h"

namespace {

// ASCII only, whatever the application's locale.
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
char to_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
bool is_word_char(char c) { return is_letter(c) || is_digit(c) || c == '_' || c == '@'; }
// Blanks between tokens. Control characters outside literals were turned
// into spaces when the text was prepared; any left (inside an unterminated
// literal) are treated as blanks too.
bool is_blank(char c) { return c == ' ' || (c > 0 && static_cast<unsigned char>(c) < 0x20); }

bool lower_is(const char *p, const char *word) {
    for (; *word; p++, word++)
        if (to_lower(*p) != *word) return false;
    return true;
}

char *copy(SqlScanner &s, const char *start, size_t length) {
    char *v = cv_mem_strndup(s.pool, std::string_view(start, length));
    if (!v) s.out_of_memory = true;
    return v;
}

char *copy_upper(SqlScanner &s, const char *start, size_t length) {
    char *v = copy(s, start, length);
    if (v)
        for (char *c = v; *c; c++) *c = to_upper(*c);
    return v;
}

// Copies a delimited text between `open`+1 and the closing delimiter,
// turning each doubled delimiter into one.
char *copy_undoubled(SqlScanner &s, const char *start, const char *end, char quote) {
    char *v = static_cast<char *>(cv_mem_alloc(s.pool, static_cast<size_t>(end - start) + 1));
    if (!v) {
        s.out_of_memory = true;
        return nullptr;
    }
    char *o = v;
    for (const char *p = start; p < end; p++) {
        *o++ = *p;
        if (*p == quote) p++;  // the second of a doubled pair
    }
    *o = 0;
    return v;
}

// End of a quoted text starting after its opening `quote`, where a doubled
// quote stands for one; null when unterminated.
const char *find_close(const char *p, char quote) {
    for (; *p; p++) {
        if (*p != quote) continue;
        if (p[1] == quote) {
            p++;
            continue;
        }
        return p;
    }
    return nullptr;
}

const char *find_bracket_close(const char *p) {
    for (; *p; p++) {
        if (*p == ']') return p;
        if (std::strchr("!.[`", *p)) return nullptr;
    }
    return nullptr;
}

bool is_field_keyword(int t) {
    return t == KW_YEAR || t == KW_MONTH || t == KW_DAY || t == KW_HOUR || t == KW_MINUTE ||
           t == KW_SECOND;
}

// Follows the interval qualifier after a NORMAL token and clears
// interval_fields when the token can no longer belong to it.
void track_qualifier(SqlScanner &s, int t) {
    if (!s.interval_fields || s.qualifier == QualifierState::LITERAL) return;
    QualifierState next = QualifierState::NONE;
    switch (s.qualifier) {
    case QualifierState::EXPECT_FIELD:
        if (is_field_keyword(t)) next = QualifierState::AFTER_FIELD;
        break;
    case QualifierState::AFTER_FIELD:
        if (t == '(') next = QualifierState::IN_PRECISION;
        if (t == KW_TO) next = QualifierState::EXPECT_FIELD;
        break;
    case QualifierState::IN_PRECISION:
        if (t == INTEGER_LITERAL || t == ',') next = QualifierState::IN_PRECISION;
        if (t == ')') next = QualifierState::AFTER_PRECISION;
        break;
    case QualifierState::AFTER_PRECISION:
        if (t == KW_TO) next = QualifierState::EXPECT_FIELD;
        break;
    default: break;
    }
    s.qualifier = next;
    if (next == QualifierState::NONE) s.interval_fields = false;
}

int scan_interval_prefix(SqlScanner &s) {
    while (is_blank(*s.cursor)) s.cursor++;
    s.token_start = s.cursor;
    if (!*s.cursor) {
        s.token_end = s.cursor;
        return 0;
    }
    char c = *s.cursor++;
    s.token_end = s.cursor;
    if (c == '\'') {
        s.state = ScanState::INTERVAL_BODY;
        return INTERVAL_QUOTE;
    }
    return static_cast<unsigned char>(c);
}

int scan_interval_body(SqlScanner &s, char **value) {
    const char *p = s.cursor;
    s.token_start = p;
    if (!*p) {
        s.token_end = p;
        return 0;
    }
    if (is_digit(*p)) {
        while (is_digit(*p)) p++;
        *value = copy(s, s.cursor, static_cast<size_t>(p - s.cursor));
        s.cursor = s.token_end = p;
        return *value ? INTEGER_LITERAL : SQL_YYerror;
    }
    if (*p == ' ') {
        while (*p == ' ') p++;
        s.cursor = s.token_end = p;
        return INTERVAL_SPACE;
    }
    s.cursor = s.token_end = p + 1;
    if (*p == '\'') {
        s.state = ScanState::NORMAL;
        s.qualifier = QualifierState::EXPECT_FIELD;
        return INTERVAL_QUOTE;
    }
    return static_cast<unsigned char>(*p);
}

// Escape openers after "{": returns the terminal and sets `end`, or 0.
int scan_escape(const char *p, const char **end) {
    const char *q = p + 1;
    while (is_blank(*q)) q++;
    if (*q == '?') {
        const char *r = q + 1;
        while (is_blank(*r)) r++;
        if (*r == '=') {
            r++;
            while (is_blank(*r)) r++;
            if (lower_is(r, "call")) {
                *end = r + 4;
                return ESC_RETURN_CALL;
            }
        }
        return 0;
    }
    static const struct {
        const char *word;
        int terminal;
    } kEscapes[] = {{"interval", ESC_INTERVAL}, {"escape", ESC_ESCAPE}, {"call", ESC_CALL},
                    {"fn", ESC_FN}, {"oj", ESC_OJ}, {"ts", ESC_TS}, {"d", ESC_D}, {"t", ESC_T}};
    for (const auto &e : kEscapes)
        if (lower_is(q, e.word)) {
            *end = q + std::strlen(e.word);
            return e.terminal;
        }
    return 0;
}

// Approximate numeric: digits [. digits] E [sign] digits, or . digits E ...
const char *match_approximate(const char *p) {
    const char *q = p;
    bool digits = false;
    while (is_digit(*q)) q++, digits = true;
    if (*q == '.') {
        q++;
        while (is_digit(*q)) q++, digits = true;
    }
    if (!digits || (*q != 'E' && *q != 'e')) return nullptr;
    q++;
    if (*q == '+' || *q == '-') q++;
    if (!is_digit(*q)) return nullptr;
    while (is_digit(*q)) q++;
    return q;
}

int scan_word(SqlScanner &s, const char *start, char **value) {
    const char *p = start;
    while (is_word_char(*p)) p++;
    size_t length = static_cast<size_t>(p - start);
    if (*p == '.' || *p == '!') {
        // A qualifier prefix keeps no blanks and makes the next word a name.
        s.cursor = s.token_end = p + 1;
        *value = copy_upper(s, start, length);
        s.name_follows = true;
        return *value ? QUALIFIER_PREFIX : SQL_YYerror;
    }
    s.cursor = p;
    if (s.name_follows) {
        s.name_follows = false;
    } else {
        int t = lookup_keyword(start, length);
        bool day_field = s.interval_fields && s.qualifier == QualifierState::EXPECT_FIELD;
        if (t != 0 && (t != KW_DAY || day_field)) {
            if (t == KW_INTERVAL) {
                s.interval_fields = true;
                // A quote or sign after INTERVAL starts a literal; a field
                // word makes it a data type.
                const char *q = p;
                while (is_blank(*q)) q++;
                if (*q == '\'' || *q == '+' || *q == '-') {
                    s.state = ScanState::INTERVAL_PREFIX;
                    s.qualifier = QualifierState::LITERAL;
                } else {
                    s.qualifier = QualifierState::EXPECT_FIELD;
                }
            }
            return t;
        }
    }
    *value = copy_upper(s, start, length);
    return *value ? REGULAR_IDENTIFIER : SQL_YYerror;
}

// A delimited name ("..." or [...]) possibly followed by "." or "!" as a
// qualifier prefix.
int finish_name(SqlScanner &s, const char *after, int plain, int qualifier) {
    s.cursor = after;
    if (*after == '.' || *after == '!') {
        s.cursor = s.token_end = after + 1;
        s.name_follows = true;
        return qualifier;
    }
    s.name_follows = false;
    return plain;
}

int scan_normal(SqlScanner &s, char **value) {
    while (is_blank(*s.cursor)) s.cursor++;
    const char *p = s.cursor;
    s.token_start = p;
    s.token_end = p;
    if (!*p) return 0;
    char c = *p;
    char c1 = p[1];
    // Prefixed strings: N'...', B'...', X'...'.
    if ((c == 'N' || c == 'n') && c1 == '\'') {
        const char *close = find_close(p + 2, '\'');
        if (close) {
            *value = copy_undoubled(s, p + 2, close, '\'');
            s.cursor = close + 1;
            return *value ? NATIONAL_STRING_LITERAL : SQL_YYerror;
        }
    }
    if ((c == 'B' || c == 'b') && c1 == '\'') {
        const char *q = p + 2;
        while (*q == '0' || *q == '1') q++;
        if (*q == '\'') {
            *value = copy(s, p, static_cast<size_t>(q + 1 - p));
            s.cursor = q + 1;
            return *value ? BIT_STRING_LITERAL : SQL_YYerror;
        }
    }
    if ((c == 'X' || c == 'x') && c1 == '\'') {
        const char *q = p + 2;
        while (is_hex(*q)) q++;
        if (*q == '\'') {
            *value = copy(s, p, static_cast<size_t>(q + 1 - p));
            s.cursor = q + 1;
            return *value ? HEX_STRING_LITERAL : SQL_YYerror;
        }
    }
    if (is_letter(c) || c == '@') return scan_word(s, p, value);
    bool was_name_follows = s.name_follows;
    s.name_follows = false;
    if (c == '0' && (c1 == 'x' || c1 == 'X')) {
        const char *q = p + 2;
        while (is_hex(*q)) q++;
        *value = copy(s, p, static_cast<size_t>(q - p));
        s.cursor = q;
        return *value ? HEX_STRING_LITERAL : SQL_YYerror;
    }
    if (is_digit(c) || (c == '.' && is_digit(c1))) {
        if (const char *end = match_approximate(p)) {
            *value = copy(s, p, static_cast<size_t>(end - p));
            s.cursor = end;
            return *value ? APPROXIMATE_LITERAL : SQL_YYerror;
        }
        if (is_digit(c)) {
            const char *q = p;
            while (is_digit(*q)) q++;
            *value = copy(s, p, static_cast<size_t>(q - p));
            s.cursor = q;
            return *value ? INTEGER_LITERAL : SQL_YYerror;
        }
    }
    switch (c) {
    case '"': {
        const char *close = find_close(p + 1, '"');
        if (!close) break;
        *value = copy_undoubled(s, p + 1, close, '"');
        if (!*value) return SQL_YYerror;
        return finish_name(s, close + 1, QUOTED_IDENTIFIER, QUOTED_QUALIFIER_PREFIX);
    }
    case '[': {
        const char *close = find_bracket_close(p + 1);
        if (!close) break;
        *value = copy(s, p + 1, static_cast<size_t>(close - p - 1));
        if (!*value) return SQL_YYerror;
        return finish_name(s, close + 1, BRACKETED_IDENTIFIER, BRACKETED_QUALIFIER_PREFIX);
    }
    case '\'': {
        const char *close = find_close(p + 1, '\'');
        if (!close) break;
        *value = copy_undoubled(s, p + 1, close, '\'');
        s.cursor = close + 1;
        return *value ? STRING_LITERAL : SQL_YYerror;
    }
    case '#': {
        const char *q = p + 1;
        while (*q && *q != '#' && *q != '\n') q++;
        if (*q != '#') break;
        *value = copy(s, p, static_cast<size_t>(q + 1 - p));
        s.cursor = q + 1;
        return *value ? HASH_LITERAL : SQL_YYerror;
    }
    case '|':
        if (c1 != '|') break;
        s.cursor = p + 2;
        return CONCAT_OPERATOR;
    case '&':
        s.cursor = p + 1;
        return CONCAT_OPERATOR;
    case '<':
        if (c1 == '=' || c1 == '>') {
            s.cursor = p + 2;
            return c1 == '=' ? LE_OP : NE_OP;
        }
        break;
    case '>':
        if (c1 == '=') {
            s.cursor = p + 2;
            return GE_OP;
        }
        break;
    case '{': {
        const char *end = nullptr;
        int t = scan_escape(p, &end);
        if (!t) break;
        s.cursor = end;
        if (t == ESC_INTERVAL) {
            s.interval_fields = true;
            s.state = ScanState::INTERVAL_PREFIX;
            s.qualifier = QualifierState::LITERAL;
        }
        if (t == ESC_FN || t == ESC_CALL || t == ESC_RETURN_CALL) s.name_follows = true;
        return t;
    }
    case '.':
        // Dots between qualifiers ("k..c") keep the name expectation.
        s.name_follows = was_name_follows;
        break;
    default: break;
    }
    s.cursor = p + 1;
    return static_cast<unsigned char>(c);
}

}  // namespace

void scanner_start(SqlScanner &s, const char *text, CvPool *pool) {
    s = SqlScanner{};
    s.cursor = text;
    s.token_start = s.token_end = text;
    s.pool = pool;
}

int scanner_next(SqlScanner &s, char **value) {
    *value = nullptr;
    if (s.state == ScanState::INTERVAL_PREFIX) return scan_interval_prefix(s);
    if (s.state == ScanState::INTERVAL_BODY) return scan_interval_body(s, value);
    int t = scan_normal(s, value);
    if (t == SQL_YYerror) return t;
    // Every NORMAL token but a qualifier prefix absorbs the blanks after it.
    bool qualifier = t == QUALIFIER_PREFIX || t == QUOTED_QUALIFIER_PREFIX ||
                     t == BRACKETED_QUALIFIER_PREFIX;
    if (!qualifier && s.state == ScanState::NORMAL) {
        while (is_blank(*s.cursor)) s.cursor++;
    }
    s.token_end = s.cursor;
    if (t != 0 && t != KW_INTERVAL) track_qualifier(s, t);
    return t;
}
