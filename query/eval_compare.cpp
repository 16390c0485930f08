// Comparisons by pair of value types.
//
// Doubles are equal when their six-decimal texts agree; the other operators
// are derived from that equality so that every pair is consistent: <> is
// the negation of =, <= is < or =, and < excludes =. So `x = 1.0` and
// `x <> 1.0` never hold together, and NOT (pushed into the comparison by the
// parser) gives the answer SQL expects.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "query/evaluate.h"
#include "sql/literal/literal.h"
#include "support/bigint.h"
#include "support/calendar.h"
#include "support/interval.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

int truth_of(bool b) { return b ? kTrue : kFalse; }

// The truth of `op` given the sign of left minus right.
int truth_from_order(int order, int op) {
    switch (op) {
        case OP_LT: return truth_of(order < 0);
        case OP_GT: return truth_of(order > 0);
        case OP_GE: return truth_of(order >= 0);
        case OP_LE: return truth_of(order <= 0);
        case OP_EQ: return truth_of(order == 0);
        case OP_NE: return truth_of(order != 0);
        default: return kUnknown;
    }
}

bool is_datetime_type(uint32_t t) { return t == VT_DATE || t == VT_TIME || t == VT_TIMESTAMP; }

const char *unsupported_message(int op) {
    switch (op) {
        case OP_LT: return "Unsupported type in lessthan compare";
        case OP_LE: return "Unsupported type in lessthaneq compare";
        case OP_GT: return "Unsupported type in greaterthan compare";
        case OP_GE: return "Unsupported type in greaterthaneq compare";
        case OP_EQ: return "Unsupported type in equal compare";
        default: return "Unsupported type in notequal compare";
    }
}

// Parses the text of a character value as the kind of `like` (a date, time
// or timestamp) into a new value.
Value parse_as(const Value *text, uint32_t kind, EvalContext *c) {
    Value out{};
    out.kind = kValueNodeKind;
    out.type = kind;
    char buffer[kMaxLiteralText + 1];
    const char *s = text->type == VT_CHAR ? text->data.s : nullptr;
    if (!s || text->length > kMaxLiteralText) s = "";
    else {
        std::memcpy(buffer, s, static_cast<size_t>(text->length));
        buffer[text->length] = '\0';
        s = buffer;
    }
    ErrorHeader *quiet = nullptr;  // the parser's own message is replaced by the evaluator's
    int r = -1;
    if (kind == VT_DATE) r = parse_date_text(quiet, s, &out.data.date);
    else if (kind == VT_TIME) r = parse_time_text(quiet, s, &out.data.time);
    else r = parse_timestamp_text(quiet, s, &out.data.ts);
    if (r != 0) {
        const char *what = kind == VT_DATE ? "Invalid date value" : kind == VT_TIME ? "Invalid time value"
                                                                                  : "Invalid timestamp value";
        raise_evaluation_error(c, "22012", "%s", what);
    }
    return out;
}

int compare_doubles(double a, double b, int op) {
    bool eq = double_equal_text(a, b);
    switch (op) {
        case OP_EQ: return truth_of(eq);
        case OP_NE: return truth_of(!eq);
        case OP_LT: return truth_of(!eq && a < b);
        case OP_GT: return truth_of(!eq && a > b);
        case OP_LE: return truth_of(eq || a < b);
        case OP_GE: return truth_of(eq || a > b);
        default: return kUnknown;
    }
}

int number_reading(const Value *v, double *out) { return get_double_from_value(v, out); }

}  // namespace

bool double_equal_text(double a, double b) {
    if (a == b) return true;
    // Rounding to six decimals moves a value by at most half a millionth, so
    // values further apart than that twice over never print alike.
    double d = a - b;
    if (d > 2e-6 || d < -2e-6) return false;
    char x[400], y[400];
    std::snprintf(x, sizeof x, "%f", a);
    std::snprintf(y, sizeof y, "%f", b);
    return std::strcmp(x, y) == 0;
}

int compare_values_op(const Value *l, const Value *r, int op, EvalContext *c) {
    if (l->is_null || r->is_null) return kUnknown;
    uint32_t L = l->type, R = r->type;
    ErrorHeader *diag = c->statement->diag;
    if (L == VT_NUMERIC || R == VT_NUMERIC) {
        Value result{};
        result.kind = kValueNodeKind;
        if (numeric_operation(l, r, &result, diag, op) != 0) raise_posted(c);
        return get_trivalue_from_value(&result);
    }
    if ((L == VT_BIGINT || R == VT_BIGINT) && L != VT_DOUBLE && R != VT_DOUBLE &&
        (L == VT_BIGINT || L == VT_INTEGER || L == VT_BIT) && (R == VT_BIGINT || R == VT_INTEGER || R == VT_BIT)) {
        int64_t a = 0, b = 0;
        (void)get_bigint_from_value(l, &a);
        (void)get_bigint_from_value(r, &b);
        return truth_from_order(a < b ? -1 : a > b ? 1 : 0, op);
    }
    if (L == VT_INTEGER || L == VT_DOUBLE || L == VT_BIT || L == VT_BIGINT) {
        if ((L == VT_INTEGER || L == VT_BIT) && (R == VT_INTEGER || R == VT_BIT))
            return truth_from_order(l->data.i < r->data.i ? -1 : l->data.i > r->data.i ? 1 : 0, op);
        double a = 0, b = 0;
        if (number_reading(l, &a) != 0 || number_reading(r, &b) != 0)
            return truth_from_order(compare_values(l, r), op);
        return compare_doubles(a, b, op);
    }
    if (L == VT_CHAR || L == VT_BINARY || L == VT_LONG_CHAR || L == VT_LONG_BINARY) {
        if (is_datetime_type(R) && L == VT_CHAR) {
            Value p = parse_as(l, R, c);
            return truth_from_order(compare_values(&p, r), op);
        }
        return truth_from_order(compare_values(l, r), op);
    }
    if (is_datetime_type(L)) {
        if (R == VT_CHAR) {
            Value p = parse_as(r, L, c);
            return truth_from_order(compare_values(l, &p), op);
        }
        if (is_datetime_type(R)) return truth_from_order(compare_values(l, r), op);
        raise_evaluation_error(c, "HY000", "%s", unsupported_message(op));
    }
    if (is_interval_value_type(L)) {
        int order = 0;
        if (is_interval_value_type(R) && interval_compare(&l->data.iv, &r->data.iv, &order) == 0)
            return truth_from_order(order, op);
        raise_evaluation_error(c, "HY000", "%s", unsupported_message(op));
    }
    raise_evaluation_error(c, "HY000", "%s", unsupported_message(op));
}
