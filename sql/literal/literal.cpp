// The literal scanner and parser (see literal.h).
//
// The parser works on a bounded working copy of the text in which control
// characters are blanks. It is a small recursive-descent parser over the
// token rules of the literal grammar; white space is allowed only where a
// token carries it (after "{", after the start letter, after an opening
// quote, after a number, after a word).
#include "sql/literal/literal.h"

#include <cstdio>
#include <cstring>

#include "sql/literal/interval_literal.h"
#include "support/calendar.h"
#include "support/diag.h"
#include "support/threads.h"

namespace {

struct Scanner {
    const char *p;
    const char *end;

    bool at_end() const { return p >= end; }
    char peek() const { return p < end ? *p : '\0'; }
    void skip_ws() {
        while (p < end && *p == ' ') p++;
    }
    bool eat(char c) {
        if (peek() != c) return false;
        p++;
        return true;
    }
    // LIT_QUOTE: "'" and the white space after it.
    bool quote() {
        if (!eat('\'')) return false;
        skip_ws();
        return true;
    }
    // A run of digits (at most 18) without the trailing white space.
    bool digits(long long *v, int *count) {
        const char *s = p;
        long long x = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (p - s >= 18) return false;
            x = x * 10 + (*p - '0');
            p++;
        }
        if (p == s) return false;
        *v = x;
        if (count) *count = static_cast<int>(p - s);
        return true;
    }
    // LIT_INTEGER: digits and the white space after them.
    bool integer(long long *v) {
        if (!digits(v, nullptr)) return false;
        skip_ws();
        return true;
    }
    // A word: letters, digits, "_", then white space; upper-cased into buf.
    bool word(char *buf, size_t cap) {
        size_t n = 0;
        while (p < end && ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') ||
                           (*p >= '0' && *p <= '9') || *p == '_')) {
            if (n + 1 >= cap) return false;
            char c = *p++;
            buf[n++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        }
        buf[n] = 0;
        skip_ws();
        return n > 0;
    }
};

// sep ::= "-" / "/"
bool date_sep(Scanner &s) { return s.eat('-') || s.eat('/'); }

bool parse_date_fields(Scanner &s, LiteralResult *r) {
    return s.integer(&r->year) && date_sep(s) && s.integer(&r->month) && date_sep(s);
}

bool parse_clock(Scanner &s, LiteralResult *r) {
    return s.integer(&r->hour) && s.eat(':') && s.integer(&r->minute) && s.eat(':') &&
           s.digits(&r->second, nullptr);
}

// fraction ::= (empty) / "." digits (1 to 9, read as nanoseconds)
bool parse_fraction(Scanner &s, LiteralResult *r) {
    r->fraction = 0;
    if (!s.eat('.')) return true;
    long long v;
    int n;
    if (!s.digits(&v, &n) || n > 9) return false;
    for (int i = n; i < 9; i++) v *= 10;
    r->fraction = static_cast<unsigned long>(v);
    return true;
}

int interval_code_of(const char *start, const char *end) {
    static const char *const kFields[6] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
    int a = -1, b = -1;
    for (int i = 0; i < 6; i++) {
        if (std::strcmp(start, kFields[i]) == 0) a = i;
        if (end && std::strcmp(end, kFields[i]) == 0) b = i;
    }
    if (a < 0) return 0;
    if (!end) return a + 1;
    if (b < 0) return 0;
    static const int kPairs[][3] = {{0, 1, 7}, {2, 3, 8},  {2, 4, 9}, {2, 5, 10},
                                    {3, 4, 11}, {3, 5, 12}, {4, 5, 13}};
    for (const auto &pr : kPairs)
        if (pr[0] == a && pr[1] == b) return pr[2];
    return 0;
}

// "(" p ")" or "(" p "," s ")"; returns the count of numbers read (0 when
// no parenthesis), -1 on a syntax error.
int precision_list(Scanner &s, long long *a, long long *b) {
    if (!s.eat('(')) return 0;
    s.skip_ws();
    if (!s.integer(a)) return -1;
    int n = 1;
    if (s.eat(',')) {
        s.skip_ws();
        if (!s.integer(b)) return -1;
        n = 2;
    }
    if (!s.eat(')')) return -1;
    s.skip_ws();
    return n;
}

// The body of {INTERVAL ...}: sign quote string quote qualifier. Returns 0,
// > 0 on syntax error, -1 when the value does not fit the qualifier.
int parse_interval_body(Scanner &s, LiteralResult *r) {
    bool negative = false;
    if (s.eat('-'))
        negative = true;
    else
        (void)s.eat('+');
    s.skip_ws();
    if (!s.quote()) return 1;
    const char *str = s.p;
    while (!s.at_end() && s.peek() != '\'') {
        char c = s.peek();
        if (!((c >= '0' && c <= '9') || c == ' ' || c == '-' || c == ':' || c == '.')) return 1;
        s.p++;
    }
    const char *str_end = s.p;
    if (!s.quote()) return 1;
    char w1[16], w2[16], to[8];
    if (!s.word(w1, sizeof w1)) return 1;
    long long p1 = 0, p2 = 0, q1 = 0, q2 = 0;
    int n1 = precision_list(s, &p1, &p2);
    if (n1 < 0) return 1;
    bool has_end = false;
    if (s.peek() == 'T' || s.peek() == 't') {
        const char *save = s.p;
        if (s.word(to, sizeof to) && std::strcmp(to, "TO") == 0) {
            if (!s.word(w2, sizeof w2)) return 1;
            has_end = true;
        } else {
            s.p = save;
            return 1;
        }
    }
    int n2 = has_end ? precision_list(s, &q1, &q2) : 0;
    if (n2 < 0) return 1;
    int code = interval_code_of(w1, has_end ? w2 : nullptr);
    if (code == 0) return 1;
    bool ends_in_second = code == 6 || code == 10 || code == 12 || code == 13;
    long long lead = 0, secs = -1;
    if (n1 >= 1) lead = p1;
    if (n1 == 2) {
        if (code != 6) return 1;
        secs = p2;
    }
    if (n2 == 2) {
        if (!ends_in_second || n1 != 0) return 1;
        lead = q1;
        secs = q2;
    } else if (n2 == 1) {
        if (n1 != 0 && ends_in_second)
            secs = q1;
        else if (n1 == 0)
            lead = q1;
        else
            return 1;
    }
    if (lead < 0 || lead > 9 || secs > 9) return -1;
    r->kind = 101;
    if (build_interval_literal(negative, str, static_cast<size_t>(str_end - str), code,
                               static_cast<int>(lead), static_cast<int>(secs), &r->interval) != 0)
        return -1;
    return 0;
}

// literal ::= start body "}". Returns 0, > 0 syntax error, -1 interval misfit.
int parse_text(Scanner &s, LiteralResult *r) {
    s.skip_ws();
    if (!s.eat('{')) return 1;
    s.skip_ws();
    int kind;
    if (s.end - s.p >= 2 && s.p[0] == 't' && s.p[1] == 's') {
        s.p += 2;
        kind = 11;
    } else if (s.eat('d')) {
        kind = 9;
    } else if (s.eat('t')) {
        kind = 10;
    } else if (s.end - s.p >= 8 && std::memcmp(s.p, "INTERVAL", 8) == 0) {
        s.p += 8;
        kind = 101;
    } else {
        return 1;
    }
    // The start token must end here (no "{date", no "{INTERVALS").
    char next = s.peek();
    if (next != ' ' && next != '\'' && !(kind == 101 && (next == '-' || next == '+'))) return 1;
    s.skip_ws();
    int rc = 0;
    r->kind = kind;
    switch (kind) {
    case 9:
        if (!s.quote() || !parse_date_fields(s, r) || !s.integer(&r->day) || !s.quote()) return 1;
        break;
    case 10:
        if (!s.quote() || !parse_clock(s, r)) return 1;
        s.skip_ws();
        if (!s.quote()) return 1;
        break;
    case 11: {
        if (!s.quote() || !parse_date_fields(s, r)) return 1;
        if (!s.digits(&r->day, nullptr)) return 1;
        if (s.eat('T')) {
            // ISO form: no fraction; an optional zone offset is read and ignored.
            if (!parse_clock(s, r)) return 1;
            r->fraction = 0;
            if (s.peek() == '+' || s.peek() == '-') {
                s.p++;
                long long hh, mm;
                if (!s.digits(&hh, nullptr) || !s.eat(':') || !s.digits(&mm, nullptr)) return 1;
                if (hh > 23 || mm > 59) return 1;
            }
            s.skip_ws();
        } else {
            // The blank after the day separates it from the hour.
            if (s.peek() != ' ') return 1;
            s.skip_ws();
            if (!parse_clock(s, r) || !parse_fraction(s, r)) return 1;
            s.skip_ws();
        }
        if (!s.quote()) return 1;
        break;
    }
    default:
        rc = parse_interval_body(s, r);
        if (rc != 0) return rc;
        break;
    }
    if (!s.eat('}')) return 1;
    // Nothing but blanks may follow the closing brace.
    s.skip_ws();
    return s.at_end() ? 0 : 1;
}

void post_datetime(ErrorHeader *diag) { post_error(diag, "22007", "Invalid datetime format"); }

// Builds the working text: the text itself when it begins with "{",
// otherwise `wrap` with the text in place of %s. Returns false when the
// result would not fit.
bool working_text(const char *text, const char *wrap_prefix, const char *wrap_suffix, char *buf,
                  size_t cap) {
    if (!text) return false;
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') text++;
    int n = text[0] == '{' ? std::snprintf(buf, cap, "%s", text)
                           : std::snprintf(buf, cap, "%s%s%s", wrap_prefix, text, wrap_suffix);
    return n >= 0 && static_cast<size_t>(n) < cap;
}

bool check_date(const LiteralResult &r) { return valid_date(r.year, r.month, r.day); }
bool check_time(const LiteralResult &r) { return valid_time(r.hour, r.minute, r.second); }

}  // namespace

int parse_literal(const char *text, LiteralKind wanted, LiteralResult *out) {
    char work[kMaxLiteralText + 1];
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(kMaxLiteralText)) return 2;
    std::memcpy(work, text, n + 1);
    for (size_t i = 0; i < n; i++)
        if (static_cast<unsigned char>(work[i]) < 0x20 || work[i] == 0x7f) work[i] = ' ';
    LiteralResult r{};
    int rc;
    {
        MutexGuard lock(kLiteralLock);
        Scanner s{work, work + n};
        rc = parse_text(s, &r);
    }
    if (rc != 0) return rc;
    switch (wanted) {
    case LiteralKind::kDate:
        if (r.kind != 9 && r.kind != 11) return -1;
        r.hour = r.minute = r.second = 0;
        r.fraction = 0;
        break;
    case LiteralKind::kTime:
        if (r.kind != 10 && r.kind != 11) return -1;
        break;
    case LiteralKind::kTimestamp:
        if (r.kind == 9) {
            r.hour = r.minute = r.second = 0;
            r.fraction = 0;
        } else if (r.kind != 11) {
            return -1;
        }
        break;
    case LiteralKind::kInterval:
        if (r.kind != 101) return -1;
        break;
    }
    *out = r;
    return 0;
}

int parse_date_text(ErrorHeader *diag, const char *text, DATE_STRUCT *out) {
    char work[kMaxLiteralText + 1];
    LiteralResult r;
    if (!working_text(text, "{d '", "'}", work, sizeof work) ||
        parse_literal(work, LiteralKind::kDate, &r) != 0 || !check_date(r)) {
        post_datetime(diag);
        return -1;
    }
    *out = DATE_STRUCT{static_cast<SQLSMALLINT>(r.year), static_cast<SQLUSMALLINT>(r.month),
                       static_cast<SQLUSMALLINT>(r.day)};
    return 0;
}

int parse_time_text(ErrorHeader *diag, const char *text, TIME_STRUCT *out) {
    char work[kMaxLiteralText + 1];
    LiteralResult r;
    if (!working_text(text, "{t '", "'}", work, sizeof work) ||
        parse_literal(work, LiteralKind::kTime, &r) != 0 || !check_time(r)) {
        post_datetime(diag);
        return -1;
    }
    *out = TIME_STRUCT{static_cast<SQLUSMALLINT>(r.hour), static_cast<SQLUSMALLINT>(r.minute),
                       static_cast<SQLUSMALLINT>(r.second)};
    return 0;
}

int parse_timestamp_text(ErrorHeader *diag, const char *text, TIMESTAMP_STRUCT *out) {
    char work[kMaxLiteralText + 1];
    LiteralResult r{};
    if (!working_text(text, "{ts '", "'}", work, sizeof work)) {
        post_datetime(diag);
        return -1;
    }
    int rc = parse_literal(work, LiteralKind::kTimestamp, &r);
    if (rc != 0 && work[0] == '{') {
        // Not a timestamp: try the text as a date, then as a time on
        // today's date. The escape letters are swapped in place, as the
        // wrapped form is known to start "{ts '"; other escape forms are
        // re-read unchanged.
        char alt[kMaxLiteralText + 1];
        std::memcpy(alt, work, sizeof alt);
        if (std::strncmp(alt, "{ts", 3) == 0) {
            alt[1] = 'd';
            alt[2] = ' ';
        }
        rc = parse_literal(alt, LiteralKind::kDate, &r);
        if (rc == 0) {
            r.hour = r.minute = r.second = 0;
            r.fraction = 0;
        } else {
            if (std::strncmp(work, "{ts", 3) == 0) {
                alt[1] = 't';
            }
            rc = parse_literal(alt, LiteralKind::kTime, &r);
            if (rc == 0) {
                TIMESTAMP_STRUCT now;
                local_now(&now);
                r.year = now.year;
                r.month = now.month;
                r.day = now.day;
                r.fraction = 0;
            }
        }
    }
    if (rc != 0 || !check_date(r) || !check_time(r) || r.fraction > 999999999ul) {
        post_datetime(diag);
        return -1;
    }
    *out = TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(r.year),    static_cast<SQLUSMALLINT>(r.month),
                            static_cast<SQLUSMALLINT>(r.day),    static_cast<SQLUSMALLINT>(r.hour),
                            static_cast<SQLUSMALLINT>(r.minute), static_cast<SQLUSMALLINT>(r.second),
                            static_cast<SQLUINTEGER>(r.fraction)};
    return 0;
}

int parse_interval_text(ErrorHeader *diag, const char *text, SQL_INTERVAL_STRUCT *out, int code) {
    static const char *const kQualifiers[14] = {
        "",           "YEAR",          "MONTH",         "DAY",          "HOUR",
        "MINUTE",     "SECOND",        "YEAR TO MONTH", "DAY TO HOUR",  "DAY TO MINUTE",
        "DAY TO SECOND", "HOUR TO MINUTE", "HOUR TO SECOND", "MINUTE TO SECOND"};
    char work[kMaxLiteralText + 1];
    if (!text || code < 1 || code > 13) {
        post_error(diag, "HY000", "General error: %s", "Invalid interval literal");
        return -1;
    }
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') text++;
    int n;
    if (text[0] == '{') {
        n = std::snprintf(work, sizeof work, "%s", text);
    } else {
        const char *sign = "";
        if (text[0] == '-') {
            sign = "-";
            text++;
        }
        n = std::snprintf(work, sizeof work, "{INTERVAL %s'%s' %s }", sign, text, kQualifiers[code]);
    }
    LiteralResult r;
    int rc = n < 0 || static_cast<size_t>(n) >= sizeof work ? 1
                                                            : parse_literal(work, LiteralKind::kInterval, &r);
    // The interval must be of the type asked for.
    if (rc == 0 && static_cast<int>(r.interval.interval_type) != code) rc = -1;
    if (rc < 0) {
        post_error(diag, "HY000", "General error: %s", "Invalid interval literal");
        return -1;
    }
    if (rc > 0) {
        post_error(diag, "22015", "Interval field overflow");
        return -1;
    }
    *out = r.interval;
    return 0;
}
