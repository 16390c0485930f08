// Arithmetic by pair of value types: integers and bigints through the
// checked helpers (overflow is 22003, never a wrapped number), exact
// numerics, doubles, text concatenation, dates and times moved by numbers,
// intervals.
#include <cmath>
#include <cstring>

#include "query/evaluate.h"
#include "support/bigint.h"
#include "support/calendar.h"
#include "support/interval.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

bool is_char(uint32_t t) { return t == VT_CHAR || t == VT_LONG_CHAR; }
bool is_int(uint32_t t) { return t == VT_INTEGER || t == VT_BIT; }
bool is_number(uint32_t t) {
    return t == VT_INTEGER || t == VT_BIT || t == VT_DOUBLE || t == VT_BIGINT || t == VT_NUMERIC;
}

// The whole text of a value in the row pool.
const char *text_of(const Value *v, EvalContext *c, size_t *length) {
    char *s = value_text_in_pool(v, c->statement->row_pool, length);
    if (!s) raise_evaluation_error(c, "HY001", "Memory allocation error");
    return s;
}

// The text of one operand of ||: a long value's own bytes (never copied
// through the 16 MiB limit of plain text), else its text form.
const char *part_of(const Value *v, EvalContext *c, size_t *length) {
    if (v->type == VT_LONG_CHAR) {
        const char *s = v->long_buffer ? long_buffer_data(v->long_buffer) : nullptr;
        *length = s ? long_buffer_length(v->long_buffer) : 0;
        return s ? s : "";
    }
    return text_of(v, c, length);
}

// || with a LONG VARCHAR operand is LONG VARCHAR: the whole of both texts
// in a long buffer of the row pool, up to a long value's limit.
Value *concatenate_long(const Value *l, const Value *r, EvalContext *c) {
    Value *out = new_row_value(c, VT_LONG_CHAR);
    if (l->is_null || r->is_null) {
        set_value_null(out, VT_LONG_CHAR);
        return out;
    }
    size_t la = 0, lb = 0;
    const char *a = part_of(l, c, &la);
    const char *b = part_of(r, c, &lb);
    if (la + lb > kDefaultLongBufferLimit) raise_evaluation_error(c, "22001", "String data, right truncated");
    out->long_buffer = allocate_long_buffer(c->statement->row_pool, 0, SQL_LONGVARCHAR);
    if (!out->long_buffer || append_to_long_buffer(out->long_buffer, a, la) != 0 ||
        append_to_long_buffer(out->long_buffer, b, lb) != 0)
        raise_evaluation_error(c, "HY001", "Memory allocation error");
    rewind_long_buffer(out->long_buffer);
    out->is_null = 0;
    return out;
}

Value *concatenate(const Value *l, const Value *r, EvalContext *c) {
    if (l->type == VT_LONG_CHAR || r->type == VT_LONG_CHAR) return concatenate_long(l, r, c);
    Value *out = new_row_value(c, VT_CHAR);
    if (l->is_null || r->is_null) {
        set_value_null(out, VT_CHAR);
        return out;
    }
    size_t la = 0, lb = 0;
    const char *a = text_of(l, c, &la);
    const char *b = text_of(r, c, &lb);
    if (la + lb > static_cast<size_t>(kMaxCharValue))
        raise_evaluation_error(c, "22001", "String data, right truncated");
    char *joined = static_cast<char *>(cv_mem_alloc(c->statement->row_pool, la + lb + 1));
    if (!joined) raise_evaluation_error(c, "HY001", "Memory allocation error");
    std::memcpy(joined, a, la);
    std::memcpy(joined + la, b, lb);
    out->data.s = joined;
    out->length = static_cast<int32_t>(la + lb);
    out->is_null = 0;
    return out;
}

bool divisor_is_zero(const Value *r) {
    if (r->is_null) return false;
    switch (r->type) {
        case VT_INTEGER:
        case VT_BIT: return r->data.i == 0;
        case VT_BIGINT: return r->data.big == 0;
        case VT_DOUBLE: return r->data.d == 0.0;
        case VT_NUMERIC: return numeric_is_zero(&r->data.num);
        default: return false;
    }
}

// A date, time or timestamp moved by `n` days (dates, timestamps) or seconds
// (times); the result is a timestamp.
Value *move_datetime(const Value *dt, const Value *number, int sign, EvalContext *c) {
    Value *out = new_row_value(c, VT_TIMESTAMP);
    if (dt->is_null || number->is_null) {
        set_value_null(out, VT_TIMESTAMP);
        return out;
    }
    double n = 0;
    if (get_double_from_value(number, &n) != 0 || !std::isfinite(n))
        raise_evaluation_error(c, "22008", "Datetime field overflow");
    TIMESTAMP_STRUCT ts{};
    double seconds;
    if (dt->type == VT_TIME) {
        ts.year = 1900;  // a time moves within a day of no particular date
        ts.month = 1;
        ts.day = 1;
        ts.hour = dt->data.time.hour;
        ts.minute = dt->data.time.minute;
        ts.second = dt->data.time.second;
        seconds = n;
    } else if (dt->type == VT_DATE) {
        ts.year = dt->data.date.year;
        ts.month = dt->data.date.month;
        ts.day = dt->data.date.day;
        seconds = n * 86400.0;
    } else {
        ts = dt->data.ts;
        seconds = n * 86400.0;
    }
    seconds *= sign;
    if (seconds > 4e11 || seconds < -4e11) raise_evaluation_error(c, "22008", "Datetime field overflow");
    double whole = std::trunc(seconds);
    auto nanos = static_cast<int64_t>(std::llround((seconds - whole) * 1e9));
    if (timestamp_add_seconds(&ts, static_cast<int64_t>(whole), nanos) != 0)
        raise_evaluation_error(c, "22008", "Datetime field overflow");
    out->data.ts = ts;
    out->is_null = 0;
    return out;
}

bool is_datetime(uint32_t t) { return t == VT_DATE || t == VT_TIME || t == VT_TIMESTAMP; }

}  // namespace

Value *apply_arithmetic(const Value *l, const Value *r, int op, EvalContext *c) {
    ErrorHeader *diag = c->statement->diag;
    if (op == OP_NEG) {
        Value *out = new_row_value(c, r->type);
        int rc = 0;
        if (r->is_null) {
            set_value_null(out, r->type);
        } else if (is_int(r->type)) {
            rc = integer_operation(nullptr, r, out, diag, OP_NEG);
        } else if (r->type == VT_BIGINT) {
            rc = bigint_operation(nullptr, r, out, diag, OP_NEG);
        } else if (r->type == VT_DOUBLE) {
            set_value_to_double(out, -r->data.d);
        } else if (r->type == VT_NUMERIC) {
            out->data.num = r->data.num;
            out->data.num.sign = r->data.num.sign == 1 ? 0 : 1;
            out->precision = r->precision;
            out->scale = r->scale;
        } else if (is_interval_value_type(r->type)) {
            rc = interval_operation(nullptr, r, out, diag, 6);
        } else {
            raise_evaluation_error(c, "HY000", "General error: %s", "unsupported operand of unary minus");
        }
        if (rc != 0) raise_posted(c);
        return out;
    }
    uint32_t L = l->type, R = r->type;
    if (op == OP_CONCAT || (op == OP_ADD && (is_char(L) || is_char(R)))) return concatenate(l, r, c);
    if (op == OP_DIV && divisor_is_zero(r) && !l->is_null)
        raise_evaluation_error(c, "22012", "Division by zero");
    Value *out = new_row_value(c, R);
    int rc = 0;
    if (is_interval_value_type(R) && op != OP_DIV) {
        rc = interval_operation(l, r, out, diag, op);
    } else if (is_interval_value_type(L)) {
        // interval_operation takes the interval second; for subtraction and
        // division the interval stays the left operand.
        if (op == OP_ADD || op == OP_MUL || op == OP_DIV) rc = interval_operation(r, l, out, diag, op);
        else if (op == OP_SUB && is_interval_value_type(R)) rc = interval_operation(l, r, out, diag, op);
        else raise_evaluation_error(c, "HY000", "General error: %s", "unsupported interval arithmetic");
    } else if (is_datetime(L) && is_number(R) && (op == OP_ADD || op == OP_SUB)) {
        return move_datetime(l, r, op == OP_ADD ? 1 : -1, c);
    } else if (is_datetime(R) && is_number(L) && (op == OP_ADD || op == OP_SUB)) {
        return move_datetime(r, l, op == OP_ADD ? 1 : -1, c);
    } else if (L == VT_NUMERIC || R == VT_NUMERIC) {
        if (L == VT_DOUBLE || R == VT_DOUBLE) rc = double_operation(l, r, out, diag, op);
        else rc = numeric_operation(l, r, out, diag, op);
    } else if ((L == VT_BIGINT || R == VT_BIGINT) && L != VT_DOUBLE && R != VT_DOUBLE) {
        rc = bigint_operation(l, r, out, diag, op);
    } else if (is_int(L) && is_int(R)) {
        rc = integer_operation(l, r, out, diag, op);
    } else if (is_number(L) && is_number(R)) {
        rc = double_operation(l, r, out, diag, op);
    } else {
        raise_evaluation_error(c, "HY000", "General error: %s", "unsupported operand types");
    }
    if (rc != 0) raise_posted(c);
    return out;
}
