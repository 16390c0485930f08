// The printer's leaves: identifiers and qualified names, literal values and
// data types.
//
// Values print in forms the scanner reads back as the same value type:
// doubles in their shortest exact form (always with a "." or an exponent, so
// they stay doubles), exact numerics with enough digits to stay exact
// numerics, intervals as INTERVAL literals with their qualifier.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sql/printer_internal.h"
#include "sql/sql_keywords.h"

namespace {

// A name that reads back unchanged without delimiters: the word rule of the
// scanner, no lower-case letters (the scanner upper-cases words) and not a
// reserved word.
bool is_plain_name(const char *text) {
    size_t n = std::strlen(text);
    if (n == 0) return false;
    auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
    if (!(upper(text[0]) || text[0] == '@')) return false;
    for (size_t i = 1; i < n; i++) {
        char c = text[i];
        if (!(upper(c) || (c >= '0' && c <= '9') || c == '_' || c == '@')) return false;
    }
    return !is_reserved_word(text, n);
}

// Characters a bracketed name cannot hold.
bool bracketable(const char *text) {
    if (!*text) return false;
    for (const char *s = text; *s; s++)
        if (std::strchr("!.[`]\n", *s)) return false;
    return true;
}

void print_quoted(Printer &p, const char *text, char quote) {
    // Doubles every embedded quote; pieces are split at each quote.
    char q[3] = {quote, quote, 0};
    char one[2] = {quote, 0};
    put(p, one);
    const char *start = text;
    for (const char *s = text; *s; s++) {
        if (*s != quote) continue;
        if (s > start) {
            std::string_view piece(start, static_cast<size_t>(s - start));
            char buffer[256];
            while (!piece.empty()) {
                size_t n = piece.size() < sizeof buffer - 1 ? piece.size() : sizeof buffer - 1;
                std::memcpy(buffer, piece.data(), n);
                buffer[n] = 0;
                put(p, buffer);
                piece.remove_prefix(n);
            }
        }
        put(p, q);
        start = s + 1;
    }
    put(p, start);
    put(p, one);
}

void print_double(Printer &p, double d) {
    char buffer[48];
    // Shortest text that reads back as the same double.
    int precision = 1;
    for (; precision <= 17; precision++) {
        std::snprintf(buffer, sizeof buffer, "%.*G", precision, d);
        if (std::strtod(buffer, nullptr) == d) break;
    }
    if (precision > 17) precision = 17;
    if (!std::strchr(buffer, 'E') && !std::strchr(buffer, 'N') && !std::strchr(buffer, 'I')) {
        // Without an exponent the scanner reads a.b, which stays a double
        // only while both sides have at most six digits.
        const char *digits = buffer[0] == '-' ? buffer + 1 : buffer;
        const char *dot = std::strchr(digits, '.');
        size_t whole = dot ? static_cast<size_t>(dot - digits) : std::strlen(digits);
        size_t fraction = dot ? std::strlen(dot + 1) : 0;
        if (whole > 6 || fraction > 6) {
            std::snprintf(buffer, sizeof buffer, "%.*E", precision - 1, d);
        } else if (!dot) {
            size_t n = std::strlen(buffer);
            if (n + 2 < sizeof buffer) std::memcpy(buffer + n, ".0", 3);
        }
    }
    // Exponents are written short: 1.5E-07 as 1.5E-7, 1E+20 as 1E20.
    if (char *e = std::strchr(buffer, 'E')) {
        char *digits = e + 1;
        char *o = digits;
        if (*digits == '-') o = ++digits;
        else if (*digits == '+') digits++;
        while (*digits == '0' && digits[1]) digits++;
        std::memmove(o, digits, std::strlen(digits) + 1);
    }
    put(p, buffer);
}

void print_numeric(Printer &p, const SQL_NUMERIC_STRUCT &num) {
    unsigned __int128 magnitude = 0;
    for (int i = 15; i >= 0; i--) magnitude = (magnitude << 8) | num.val[i];
    char digits[48];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude && n < 40);
    int scale = num.scale > 0 ? num.scale : 0;
    if (scale > 38) scale = 38;
    while (n <= scale) digits[n++] = '0';  // at least one digit before the point
    int whole = n - scale;
    // Read back, a.b stays exact only when one side has more than six
    // digits; pad the whole part with zeros otherwise.
    int pad = (whole <= 6 && scale <= 6) ? 7 - whole : 0;
    char text[96];
    int t = 0;
    if (num.sign == 0) text[t++] = '-';
    for (int i = 0; i < pad; i++) text[t++] = '0';
    for (int i = n - 1; i >= 0; i--) {
        if (i == scale - 1) text[t++] = '.';
        text[t++] = digits[i];
    }
    text[t++] = ' ';
    text[t] = 0;
    put(p, text);
}

void print_fraction(Printer &p, uint32_t fraction, int digits) {
    if (fraction == 0 || digits <= 0) return;
    if (digits > 9) digits = 9;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, ".%0*u", digits, fraction);
    size_t n = std::strlen(buffer);
    while (n > 1 && buffer[n - 1] == '0') buffer[--n] = 0;
    put(p, buffer);
}

const char *const kFieldNames[] = {"", "YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
// Start and end field of each interval code 1 to 13.
const int kIntervalFields[14][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0},
                                    {1, 2}, {3, 4}, {3, 5}, {3, 6}, {4, 5}, {4, 6}, {5, 6}};

void print_interval_value(Printer &p, const Value *v) {
    const SQL_INTERVAL_STRUCT &iv = v->data.iv;
    int code = static_cast<int>(iv.interval_type);
    if (code < 1 || code > 13) {
        put(p, "<unexpected value type>");
        return;
    }
    int seconds_digits = v->interval_seconds_precision > 0 ? v->interval_seconds_precision : 6;
    put(p, iv.interval_sign == SQL_TRUE ? "INTERVAL -'" : "INTERVAL '");
    const auto &ym = iv.intval.year_month;
    const auto &ds = iv.intval.day_second;
    switch (code) {
    case 1: putf(p, "%u", ym.year); break;
    case 2: putf(p, "%u", ym.month); break;
    case 3: putf(p, "%u", ds.day); break;
    case 4: putf(p, "%u", ds.hour); break;
    case 5: putf(p, "%u", ds.minute); break;
    case 6: putf(p, "%u", ds.second); break;
    case 7: putf(p, "%u-%u", ym.year, ym.month); break;
    case 8: putf(p, "%u %u", ds.day, ds.hour); break;
    case 9: putf(p, "%u %u:%u", ds.day, ds.hour, ds.minute); break;
    case 10: putf(p, "%u %u:%u:%u", ds.day, ds.hour, ds.minute, ds.second); break;
    case 11: putf(p, "%u:%u", ds.hour, ds.minute); break;
    case 12: putf(p, "%u:%u:%u", ds.hour, ds.minute, ds.second); break;
    default: putf(p, "%u:%u", ds.minute, ds.second); break;
    }
    int start = kIntervalFields[code][0], end = kIntervalFields[code][1];
    if (start == 6 || end == 6) print_fraction(p, ds.fraction, seconds_digits);
    put(p, "' ");
    put(p, kFieldNames[start]);
    int leading = v->interval_leading_precision;
    if (start == 6 && end == 0) {
        if ((leading > 0 && leading != 2) || seconds_digits != 6)
            putf(p, "(%d, %d)", leading > 0 ? leading : 2, seconds_digits);
    } else if (leading > 0 && leading != 2) {
        putf(p, "(%d)", leading);
    }
    if (end) {
        put(p, " TO ");
        put(p, kFieldNames[end]);
        if (end == 6 && seconds_digits != 6) putf(p, "(%d)", seconds_digits);
    }
    put(p, " ");
}

void print_binary(Printer &p, const Value *v) {
    put(p, "X'");
    static const char kHex[] = "0123456789ABCDEF";
    char buffer[129];
    int n = 0;
    for (int32_t i = 0; i < v->length && v->data.bytes; i++) {
        buffer[n++] = kHex[v->data.bytes[i] >> 4];
        buffer[n++] = kHex[v->data.bytes[i] & 15];
        if (n == 128) {
            buffer[n] = 0;
            put(p, buffer);
            n = 0;
        }
    }
    buffer[n] = 0;
    put(p, buffer);
    put(p, "'");
}

}  // namespace

void print_identifier(Printer &p, const IdentifierNode *id) {
    if (!id || !id->text) return;
    if (id->quoted) {
        print_quoted(p, id->text, '"');
    } else if (is_plain_name(id->text)) {
        put(p, id->text);
    } else if (bracketable(id->text)) {
        // A bracketed name that is not a plain word keeps its brackets, or it
        // would read back upper-cased, as a keyword, or not at all.
        put(p, "[");
        put(p, id->text);
        put(p, "]");
    } else {
        print_quoted(p, id->text, '"');
    }
}

// Prints parts from the outermost one present down to the last, dots kept
// for missing inner parts.
static void print_parts(Printer &p, IdentifierNode *const *parts, int count) {
    int first = count - 1;
    for (int i = 0; i < count - 1; i++)
        if (parts[i]) {
            first = i;
            break;
        }
    for (int i = first; i < count; i++) {
        if (i > first) put(p, ".");
        if (parts[i]) print_identifier(p, parts[i]);
    }
}

void print_table_name(Printer &p, const TableNameNode *name) {
    if (!name) return;
    if (name->link) {
        // As in column references, the link is written into the catalog
        // part ("link$catalog"): a name has at most three written parts.
        std::string joined = std::string(name->link->text) + "$" +
                             (name->catalog && name->catalog->text ? name->catalog->text : "");
        IdentifierNode combined{NODE_IDENTIFIER, joined.data(), name->link->quoted};
        IdentifierNode *parts[3] = {&combined, name->schema, name->table};
        print_parts(p, parts, 3);
        return;
    }
    IdentifierNode *parts[4] = {name->link, name->catalog, name->schema, name->table};
    print_parts(p, parts, 4);
}

void print_column_ref(Printer &p, const ColumnRefNode *ref) {
    IdentifierNode *parts[5] = {ref->link, ref->catalog, ref->schema, ref->table, ref->column};
    if (ref->link) {
        // A column reference has at most four written parts: the link goes
        // back into the catalog part as "link$catalog".
        std::string joined = std::string(ref->link->text) + "$" +
                             (ref->catalog && ref->catalog->text ? ref->catalog->text : "");
        IdentifierNode combined{NODE_IDENTIFIER, joined.data(), ref->link->quoted};
        print_identifier(p, &combined);
        put(p, ".");
        IdentifierNode *rest[3] = {ref->schema, ref->table, nullptr};
        for (int i = 0; i < 2; i++) {
            if (rest[i]) print_identifier(p, rest[i]);
            put(p, ".");
        }
        if (ref->column)
            print_identifier(p, ref->column);
        else
            put(p, "*");
        return;
    }
    print_parts(p, parts, 4);
    if (ref->link || ref->catalog || ref->schema || ref->table) put(p, ".");
    if (ref->column)
        print_identifier(p, ref->column);
    else
        put(p, "*");
}

void print_value(Printer &p, const Value *v) {
    if (v->is_null && v->type != VT_NULL) {
        put(p, " NULL ");
        return;
    }
    switch (v->type) {
    case VT_INTEGER: putf(p, "%d ", v->data.i); break;
    case VT_BIGINT: putf(p, "%lld ", static_cast<long long>(v->data.big)); break;
    case VT_DOUBLE: print_double(p, v->data.d); break;
    case VT_CHAR:
        print_quoted(p, v->data.s ? v->data.s : "", '\'');
        put(p, " ");
        break;
    case VT_BIT: put(p, v->data.i ? "B'1' " : "B'0' "); break;
    case VT_BINARY: print_binary(p, v); break;
    case VT_DATE:
        putf(p, "{d'%04d-%02d-%02d'}", v->data.date.year, v->data.date.month, v->data.date.day);
        break;
    case VT_TIME:
        putf(p, "{t'%02d:%02d:%02d'}", v->data.time.hour, v->data.time.minute,
             v->data.time.second);
        break;
    case VT_TIMESTAMP:
        putf(p, "{ts'%04d-%02d-%02d %02d:%02d:%02d'}", v->data.ts.year, v->data.ts.month,
             v->data.ts.day, v->data.ts.hour, v->data.ts.minute, v->data.ts.second);
        break;
    case VT_NUMERIC: print_numeric(p, v->data.num); break;
    case VT_NULL: put(p, " NULL "); break;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: print_interval_value(p, v); break;
    case VT_CURRENT_DATE: put(p, "CURRENT DATE "); break;
    case VT_USER: put(p, "USER "); break;
    case VT_CURRENT_TIME:
        put(p, "CURRENT TIME ");
        if (v->precision > 0) putf(p, "( %d ) ", v->precision);
        break;
    case VT_CURRENT_TIMESTAMP:
        put(p, "CURRENT TIMESTAMP ");
        if (v->precision > 0) putf(p, "( %d ) ", v->precision);
        break;
    case VT_CONNECTION_INT: put(p, "@@IDENTITY "); break;
    default: put(p, "<unexpected value type>"); break;
    }
}

void print_precision_scale(Printer &p, const PrecisionScaleNode *ps) {
    if (!ps) return;
    putf(p, " ( %d", ps->precision);
    if (ps->scale)
        putf(p, ", %d ) ", ps->scale);
    else
        put(p, " ) ");
}

void print_interval_field(Printer &p, const IntervalFieldNode *f) {
    if (!f) return;
    if (f->field == 7) {
        put(p, " SECOND ");
        print_precision_scale(p, f->precision_scale);
        return;
    }
    int field = f->field >= 1 && f->field <= 6 ? f->field : 6;
    if (f->precision)
        putf(p, " %s( %d ) ", kFieldNames[field], f->precision);
    else
        putf(p, " %s ", kFieldNames[field]);
}

void print_data_type(Printer &p, const DataTypeNode *t) {
    if (!t) return;
    auto length = [&](const char *form) {
        if (t->length) putf(p, form, t->length);
    };
    switch (t->sql_type) {
    case SQL_CHAR:
        // The length is always written: CHARACTER alone reads back as length 1.
        putf(p, " CHARACTER( %d ) ", t->length);
        break;
    case SQL_VARCHAR: putf(p, " CHARACTER VARYING( %d ) ", t->length); break;
    case SQL_LONGVARCHAR: put(p, " LONG VARCHAR "); break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        put(p, t->sql_type == SQL_NUMERIC ? " NUMERIC " : " DECIMAL ");
        print_precision_scale(p, t->precision_scale);
        break;
    case SQL_INTEGER: put(p, " INTEGER "); break;
    case SQL_SMALLINT: put(p, " SMALLINT "); break;
    case SQL_FLOAT:
        put(p, " FLOAT ");
        length("( %d ) ");
        break;
    case SQL_REAL: put(p, " REAL "); break;
    case SQL_DOUBLE: put(p, " DOUBLE PRECISION "); break;
    case SQL_TYPE_DATE: put(p, " DATE "); break;
    case SQL_TYPE_TIME:
        put(p, " TIME ");
        length("( %d ) ");
        break;
    case SQL_TYPE_TIMESTAMP:
        put(p, " TIMESTAMP ");
        length("( %d ) ");
        break;
    case SQL_BIT: put(p, " BIT "); break;
    case SQL_TINYINT: put(p, " TINYINT "); break;
    case SQL_BIGINT: put(p, " BIGINT "); break;
    case SQL_LONGVARBINARY: put(p, " LONG VARBINARY "); break;
    case SQL_VARBINARY: putf(p, " VARBINARY( %d ) ", t->length); break;
    case SQL_BINARY: putf(p, " BINARY( %d ) ", t->length); break;
    case SQL_INTERVAL_YEAR:
        put(p, " INTERVAL YEAR ");
        length("( %d ) ");
        break;
    case SQL_INTERVAL_MONTH:
    case SQL_INTERVAL_DAY:
    case SQL_INTERVAL_HOUR:
    case SQL_INTERVAL_MINUTE:
        put(p, t->sql_type == SQL_INTERVAL_MONTH ? " INTERVAL MONTH"
               : t->sql_type == SQL_INTERVAL_DAY ? " INTERVAL DAY"
               : t->sql_type == SQL_INTERVAL_HOUR ? " INTERVAL HOUR"
                                                  : " INTERVAL MINUTE");
        length("( %d ) ");
        put(p, " ");
        break;
    case SQL_INTERVAL_SECOND:
        put(p, " INTERVAL SECOND");
        print_precision_scale(p, t->precision_scale);
        put(p, " ");
        break;
    case SQL_INTERVAL_YEAR_TO_MONTH:
    case SQL_INTERVAL_DAY_TO_HOUR:
    case SQL_INTERVAL_DAY_TO_MINUTE:
    case SQL_INTERVAL_DAY_TO_SECOND:
    case SQL_INTERVAL_HOUR_TO_MINUTE:
    case SQL_INTERVAL_HOUR_TO_SECOND:
    case SQL_INTERVAL_MINUTE_TO_SECOND: {
        int code = t->sql_type - 100;
        putf(p, " INTERVAL %s", kFieldNames[kIntervalFields[code][0]]);
        length("( %d )");
        putf(p, " TO %s ", kFieldNames[kIntervalFields[code][1]]);
        if (kIntervalFields[code][1] == 6 && t->seconds_precision)
            putf(p, "( %d )", t->seconds_precision);
        break;
    }
    default: putf(p, "<unexpected data type %d>", t->sql_type); break;
    }
}
