// Interval qualifiers, interval data types and interval literals.
#include <cstring>

#include "sql/build.h"
#include "sql/interval_value.h"

namespace {

// Start and end field of each interval code 1 to 13.
const int kFields[14][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0},
                            {1, 2}, {3, 4}, {3, 5}, {3, 6}, {4, 5}, {4, 6}, {5, 6}};

// Shape of the string for each code: the separators in order, "" for a
// single number. Codes 8 to 10 also accept the day alone.
const char *const kShapes[14] = {"", "", "", "", "", "", "", "-", " ", " :", " ::", ":", "::", ":"};

bool number_of(const char *digits, int max_digits, long &out) {
    while (*digits == '0' && digits[1]) digits++;
    size_t n = std::strlen(digits);
    if (n == 0 || n > 9 || static_cast<int>(n) > max_digits) return false;
    long v = 0;
    for (const char *d = digits; *d; d++) v = v * 10 + (*d - '0');
    out = v;
    return true;
}

int field_precision(const IntervalFieldNode *f) {
    if (!f) return 0;
    if (f->field == 7) return f->precision_scale ? f->precision_scale->precision : 0;
    return f->precision;
}

int field_code(const IntervalFieldNode *f) { return f->field == 7 ? 6 : f->field; }

}  // namespace

int interval_code_of(int start, int end) {
    for (int code = 1; code <= 13; code++)
        if (kFields[code][0] == start && kFields[code][1] == end) return code;
    return 0;
}

bool make_interval_struct(int code, bool negative, const IntervalParts &parts, int leading,
                          int seconds_precision, SQL_INTERVAL_STRUCT *out) {
    if (code < 1 || code > 13 || parts.count < 1 || parts.count > 4) return false;
    if (leading <= 0) leading = 2;
    if (seconds_precision <= 0) seconds_precision = 6;
    if (seconds_precision > 9) seconds_precision = 9;
    // The separators written must be those of the qualifier (or the day
    // alone for the DAY TO ... forms).
    char written[4] = {0, 0, 0, 0};
    for (int i = 0; i + 1 < parts.count; i++) written[i] = parts.separators[i];
    bool day_alone = parts.count == 1 && code >= 8 && code <= 10;
    if (!day_alone && std::strcmp(written, kShapes[code]) != 0) return false;
    int end = kFields[code][1] ? kFields[code][1] : kFields[code][0];
    if (parts.point && (end != 6 || day_alone)) return false;
    long v[4] = {0, 0, 0, 0};
    for (int i = 0; i < parts.count; i++)
        if (!number_of(parts.numbers[i], i == 0 ? leading : 9, v[i])) return false;
    // Fields of the string, from the start field on.
    long field[7] = {0, 0, 0, 0, 0, 0, 0};
    int start = kFields[code][0];
    for (int i = 0; i < parts.count; i++) field[start + i] = v[i];
    for (int f = start + 1; f <= 6; f++) {
        if (f == 2 && field[f] > 11) return false;
        if (f == 4 && field[f] > 23) return false;
        if ((f == 5 || f == 6) && field[f] > 59) return false;
    }
    uint32_t fraction = 0;
    if (parts.fraction) {
        size_t n = std::strlen(parts.fraction);
        if (n > 9) return false;
        size_t significant = n;
        while (significant > 0 && parts.fraction[significant - 1] == '0') significant--;
        if (static_cast<int>(significant) > seconds_precision) return false;
        for (int i = 0; i < seconds_precision; i++)
            fraction = fraction * 10 + (static_cast<size_t>(i) < significant ? parts.fraction[i] - '0' : 0);
    }
    *out = SQL_INTERVAL_STRUCT{};
    out->interval_type = static_cast<SQLINTERVAL>(code);
    out->interval_sign = negative ? SQL_TRUE : SQL_FALSE;
    if (code == 1 || code == 2 || code == 7) {
        out->intval.year_month.year = static_cast<SQLUINTEGER>(field[1]);
        out->intval.year_month.month = static_cast<SQLUINTEGER>(field[2]);
    } else {
        out->intval.day_second.day = static_cast<SQLUINTEGER>(field[3]);
        out->intval.day_second.hour = static_cast<SQLUINTEGER>(field[4]);
        out->intval.day_second.minute = static_cast<SQLUINTEGER>(field[5]);
        out->intval.day_second.second = static_cast<SQLUINTEGER>(field[6]);
        out->intval.day_second.fraction = fraction;
    }
    return true;
}

IntervalText *make_interval_text(ParserState *ps) {
    auto *t = pool_new<IntervalText>(ps->pool);
    if (!t) fail_memory(ps);
    return t;
}

IntervalText *interval_text_add(ParserState *ps, IntervalText *t, char separator,
                                const char *number) {
    if (t->count >= 4) fail(ps, -1, "Invalid INTERVAL literal");
    if (t->count > 0) t->separators[t->count - 1] = separator;
    t->numbers[t->count++] = number;
    return t;
}

IntervalFieldNode *make_interval_field(ParserState *ps, int field, PrecisionScaleNode *p) {
    auto *f = make<IntervalFieldNode>(ps, NODE_INTERVAL_FIELD);
    if (field == 6 && p) {
        f->field = 7;
        f->precision_scale = p;
        return f;
    }
    if (p && p->scale) fail(ps, 1, "syntax error");
    f->field = field;
    f->precision = p ? p->precision : 0;
    return f;
}

IntervalQualifierNode *build_interval_qualifier(ParserState *ps, IntervalFieldNode *start,
                                                IntervalFieldNode *end) {
    int code = interval_code_of(field_code(start), end ? field_code(end) : 0);
    // Only a single SECOND takes a scale; an end field other than SECOND may
    // carry the leading precision instead of the start field.
    if (!code || (end && start->field == 7) ||
        (end && end->field == 7 && end->precision_scale->scale) ||
        (end && field_code(end) != 6 && end->precision && start->precision))
        fail(ps, 1, "syntax error");
    auto *q = make<IntervalQualifierNode>(ps, NODE_INTERVAL_QUALIFIER);
    if (end) {
        q->start = start;
        q->end = end;
    } else {
        q->single = start;
    }
    return q;
}

// Leading and seconds precision declared by a qualifier (0 when absent).
static void qualifier_precisions(const IntervalQualifierNode *q, int &code, int &leading,
                                 int &seconds) {
    if (q->single) {
        code = interval_code_of(field_code(q->single), 0);
        leading = field_precision(q->single);
        seconds = q->single->field == 7 && q->single->precision_scale
                      ? q->single->precision_scale->scale
                      : 0;
        return;
    }
    code = interval_code_of(field_code(q->start), field_code(q->end));
    leading = field_precision(q->start);
    seconds = 0;
    if (field_code(q->end) == 6)
        seconds = field_precision(q->end);
    else if (!leading)
        leading = field_precision(q->end);
}

DataTypeNode *build_interval_type(ParserState *ps, IntervalQualifierNode *q) {
    int code = 0, leading = 0, seconds = 0;
    qualifier_precisions(q, code, leading, seconds);
    DataTypeNode *t = make_data_type(ps, 100 + code, leading);
    t->seconds_precision = q->single ? 0 : seconds;
    if (q->single && q->single->field == 7) t->precision_scale = q->single->precision_scale;
    // The qualifier is complete: DAY is a name again.
    ps->scanner.interval_fields = false;
    return t;
}

Value *build_interval_literal(ParserState *ps, int sign, IntervalText *text,
                              IntervalQualifierNode *q) {
    int code = 0, leading = 0, seconds = 0;
    qualifier_precisions(q, code, leading, seconds);
    IntervalParts parts{};
    for (int i = 0; i < text->count; i++) parts.numbers[i] = text->numbers[i];
    for (int i = 0; i < 3; i++) parts.separators[i] = text->separators[i];
    parts.count = text->count;
    parts.fraction = text->fraction;
    parts.point = text->point;
    Value *v = make_value(ps, (code == 1 || code == 2 || code == 7) ? VT_INTERVAL_YM : VT_INTERVAL_DS);
    v->interval_leading_precision = leading > 0 ? leading : 2;
    v->interval_seconds_precision = seconds > 0 ? seconds : 6;
    if (!make_interval_struct(code, sign != 0, parts, v->interval_leading_precision,
                              v->interval_seconds_precision, &v->data.iv))
        fail(ps, -1, "Invalid INTERVAL literal");
    return v;
}
