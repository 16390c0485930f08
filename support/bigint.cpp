// Checked integer arithmetic (see bigint.h).
#include "support/bigint.h"

#include <cmath>

#include "support/value.h"
#include "support/diag.h"
#include "support/value_ops.h"

int checked_add64(int64_t a, int64_t b, int64_t *out) {
    return __builtin_add_overflow(a, b, out) ? kIntOverflow : kIntOk;
}
int checked_sub64(int64_t a, int64_t b, int64_t *out) {
    return __builtin_sub_overflow(a, b, out) ? kIntOverflow : kIntOk;
}
int checked_mul64(int64_t a, int64_t b, int64_t *out) {
    return __builtin_mul_overflow(a, b, out) ? kIntOverflow : kIntOk;
}
int checked_div64(int64_t a, int64_t b, int64_t *out) {
    if (b == 0) return kIntDivZero;
    if (a == INT64_MIN && b == -1) return kIntOverflow;
    *out = a / b;
    return kIntOk;
}
int checked_mod64(int64_t a, int64_t b, int64_t *out) {
    if (b == 0) return kIntDivZero;
    *out = b == -1 ? 0 : a % b;  // INT64_MIN % -1 traps on x86
    return kIntOk;
}
int checked_neg64(int64_t a, int64_t *out) {
    if (a == INT64_MIN) return kIntOverflow;
    *out = -a;
    return kIntOk;
}
int checked_add32(int32_t a, int32_t b, int32_t *out) {
    return __builtin_add_overflow(a, b, out) ? kIntOverflow : kIntOk;
}
int checked_sub32(int32_t a, int32_t b, int32_t *out) {
    return __builtin_sub_overflow(a, b, out) ? kIntOverflow : kIntOk;
}
int checked_mul32(int32_t a, int32_t b, int32_t *out) {
    return __builtin_mul_overflow(a, b, out) ? kIntOverflow : kIntOk;
}
int checked_div32(int32_t a, int32_t b, int32_t *out) {
    if (b == 0) return kIntDivZero;
    if (a == INT32_MIN && b == -1) return kIntOverflow;
    *out = a / b;
    return kIntOk;
}
int checked_mod32(int32_t a, int32_t b, int32_t *out) {
    if (b == 0) return kIntDivZero;
    *out = b == -1 ? 0 : a % b;
    return kIntOk;
}
int checked_neg32(int32_t a, int32_t *out) {
    if (a == INT32_MIN) return kIntOverflow;
    *out = -a;
    return kIntOk;
}

namespace {

bool truth(int code, int c) {
    switch (code) {
    case OP_LT: return c < 0;
    case OP_GT: return c > 0;
    case OP_GE: return c >= 0;
    case OP_LE: return c <= 0;
    case OP_EQ: return c == 0;
    default: return c != 0;
    }
}

int report(ErrorHeader *diag, int rc) {
    if (rc == kIntDivZero)
        post_error(diag, "22012", "Division by zero");
    else
        post_error(diag, "22003", "Numeric value out of range");
    return -1;
}

bool any_null(const Value *l, const Value *r, Value *result, uint32_t type, int code) {
    if ((l && l->is_null) || (r && r->is_null)) {
        bool compare = code >= OP_LT && code <= OP_NE;
        result->type = compare ? VT_BIT : type;
        result->is_null = -1;
        if (compare) {
            set_trivalue_in_value(result, kUnknown);
        }
        return true;
    }
    return false;
}

}  // namespace

int double_operation(const Value *left, const Value *right, Value *result, ErrorHeader *diag,
                     int code) {
    if (any_null(left, right, result, VT_DOUBLE, code)) return 0;
    double a = 0, b = 0;
    if (left && get_double_from_value(left, &a) != 0) return report(diag, kIntOverflow);
    if (get_double_from_value(right, &b) != 0) return report(diag, kIntOverflow);
    if (code >= OP_LT && code <= OP_NE) {
        set_trivalue_in_value(result, truth(code, a < b ? -1 : (a > b ? 1 : 0)) ? kTrue : kFalse);
        return 0;
    }
    double r;
    switch (code) {
    case OP_ADD: r = a + b; break;
    case OP_SUB: r = a - b; break;
    case OP_MUL: r = a * b; break;
    case OP_DIV:
        if (b == 0) return report(diag, kIntDivZero);
        r = a / b;
        break;
    case OP_NEG: r = -b; break;
    default:
        post_error(diag, "HY000", "General error: %s", "unsupported numeric operation");
        return -1;
    }
    if (!std::isfinite(r)) return report(diag, kIntOverflow);
    set_value_to_double(result, r);
    return 0;
}

int bigint_operation(const Value *left, const Value *right, Value *result, ErrorHeader *diag,
                     int code) {
    if ((left && left->type == VT_DOUBLE) || right->type == VT_DOUBLE)
        return double_operation(left, right, result, diag, code);
    if (any_null(left, right, result, VT_BIGINT, code)) return 0;
    int64_t a = 0, b = 0;
    if (left && get_bigint_from_value(left, &a) != 0) return report(diag, kIntOverflow);
    if (get_bigint_from_value(right, &b) != 0) return report(diag, kIntOverflow);
    if (code >= OP_LT && code <= OP_NE) {
        set_trivalue_in_value(result, truth(code, a < b ? -1 : (a > b ? 1 : 0)) ? kTrue : kFalse);
        return 0;
    }
    int64_t r = 0;
    int rc;
    switch (code) {
    case OP_ADD: rc = checked_add64(a, b, &r); break;
    case OP_SUB: rc = checked_sub64(a, b, &r); break;
    case OP_MUL: rc = checked_mul64(a, b, &r); break;
    case OP_DIV: rc = checked_div64(a, b, &r); break;
    case OP_NEG: rc = checked_neg64(b, &r); break;
    default:
        post_error(diag, "HY000", "General error: %s", "unsupported numeric operation");
        return -1;
    }
    if (rc != kIntOk) return report(diag, rc);
    result->type = VT_BIGINT;
    result->is_null = 0;
    result->data.big = r;
    return 0;
}

int integer_operation(const Value *left, const Value *right, Value *result, ErrorHeader *diag,
                      int code) {
    if ((left && left->type == VT_DOUBLE) || right->type == VT_DOUBLE)
        return double_operation(left, right, result, diag, code);
    if ((left && left->type == VT_BIGINT) || right->type == VT_BIGINT)
        return bigint_operation(left, right, result, diag, code);
    if (any_null(left, right, result, VT_INTEGER, code)) return 0;
    int32_t a = left ? left->data.i : 0, b = right->data.i;
    if (code >= OP_LT && code <= OP_NE) {
        set_trivalue_in_value(result, truth(code, a < b ? -1 : (a > b ? 1 : 0)) ? kTrue : kFalse);
        return 0;
    }
    int32_t r = 0;
    int rc;
    switch (code) {
    case OP_ADD: rc = checked_add32(a, b, &r); break;
    case OP_SUB: rc = checked_sub32(a, b, &r); break;
    case OP_MUL: rc = checked_mul32(a, b, &r); break;
    case OP_DIV: rc = checked_div32(a, b, &r); break;
    case OP_NEG: rc = checked_neg32(b, &r); break;
    default:
        post_error(diag, "HY000", "General error: %s", "unsupported numeric operation");
        return -1;
    }
    if (rc != kIntOk) return report(diag, rc);
    result->type = VT_INTEGER;
    result->is_null = 0;
    result->data.i = r;
    return 0;
}
