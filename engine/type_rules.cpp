// Type classes and the type-combination decision shared by
// check_type_combination (bare SQL types) and combine_types (descriptions).
//
// The branch is chosen by the class of the right operand R; L is the left
// operand's type (ignored for OP_NEG).
#include "engine/types.h"

namespace {

bool is_char(int t) { return t == SQL_CHAR || t == SQL_VARCHAR; }
bool is_any_char(int t) { return is_char(t) || t == SQL_LONGVARCHAR; }
bool is_date(int t) { return t == 9 || t == 91; }
bool is_time(int t) { return t == 10 || t == 92; }
bool is_timestamp(int t) { return t == 11 || t == 93; }
bool is_datetime(int t) { return is_date(t) || is_time(t) || is_timestamp(t); }
bool is_approx(int t) { return t == SQL_FLOAT || t == SQL_REAL || t == SQL_DOUBLE; }
bool is_small_int(int t) { return t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_TINYINT || t == SQL_BIGINT; }
bool is_interval(int t) { return t >= 101 && t <= 113; }
bool is_ym(int t) { return t == 101 || t == 102 || t == 107; }
bool is_numeric_class(int t) { return type_class(t) == kClassNumeric; }
bool is_arith(int op) { return op >= OP_ADD && op <= OP_NEG; }
bool is_add_sub(int op) { return op == OP_ADD || op == OP_SUB; }

// A datetime compared with an exact or integer number is refused (the
// evaluator has no meaning for it); the approximate rule allows comparisons
// with anything. This sentinel lets numeric_common leave that to each rule.
constexpr int TYPE_INCOMPATIBLE_OR_COMPARABLE = -9998;

int ts_result(int left) { return left >= 91 && left <= 93 ? 93 : 11; }

// The text `+` and `||` make of operands of types l and r (one of them
// character): LONG VARCHAR when either is, so that a long value is never
// described shorter than it is; else VARCHAR.
int joined_text(int l, int r) { return l == SQL_LONGVARCHAR || r == SQL_LONGVARCHAR ? SQL_LONGVARCHAR : SQL_VARCHAR; }

// Common prefix of the three numeric rules: character L, concatenation,
// datetime L. Returns 0 when the caller should continue.
int numeric_common(int l, int op, bool *done) {
    *done = true;
    if (is_any_char(l)) {
        if (op == OP_ADD || op == OP_CONCAT) return joined_text(l, 0);
        return is_arith(op) ? TYPE_INCOMPATIBLE : TYPE_COMPARABLE;
    }
    if (op == OP_CONCAT) return TYPE_INCOMPATIBLE;
    if (is_datetime(l)) {
        if (is_add_sub(op)) return ts_result(l);
        return is_arith(op) ? TYPE_INCOMPATIBLE : TYPE_INCOMPATIBLE_OR_COMPARABLE;
    }
    *done = false;
    return 0;
}

}  // namespace

int type_class(int t) {
    switch (t) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: return kClassCharacter;
    case SQL_NUMERIC: case SQL_DECIMAL: case SQL_INTEGER: case SQL_SMALLINT: case SQL_FLOAT:
    case SQL_REAL: case SQL_DOUBLE: case SQL_BIGINT: case SQL_TINYINT: case SQL_BIT:
        return kClassNumeric;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return kClassBinary;
    case 9: case 10: case 11: case 91: case 92: case 93: return kClassDatetime;
    default: break;
    }
    if (is_interval(t)) return is_ym(t) ? kClassIntervalYM : kClassIntervalDS;
    return kClassUnknown;
}

int type_class_fine(int t) {
    if (is_date(t)) return kClassDate;
    if (is_time(t)) return kClassTime;
    return type_class(t);
}

bool is_short_char_type(int sql_type) { return is_char(sql_type); }

namespace {

int exact_rule(int l, int r, int op, int x) {
    if (op == OP_NEG) return r;
    bool done;
    int res = numeric_common(l, op, &done);
    if (done) return res == TYPE_INCOMPATIBLE_OR_COMPARABLE ? TYPE_INCOMPATIBLE : res;
    if (!is_arith(op)) return TYPE_COMPARABLE;
    if (is_numeric_class(l)) return x;
    return TYPE_INCOMPATIBLE;
}

int approx_rule(int l, int r, int op) {
    if (op == OP_NEG) return r;
    if (!is_arith(op)) {
        // Comparable whatever L is (binary and intervals included).
        return TYPE_COMPARABLE;
    }
    bool done;
    int res = numeric_common(l, op, &done);
    if (done) return res;
    if (!is_numeric_class(l)) return TYPE_INCOMPATIBLE;
    // DOUBLE combined with BIGINT is DOUBLE: a double operand keeps its
    // fraction (1.5 + 1 is 2.5), which a BIGINT result would drop.
    if (r == SQL_DOUBLE || l == SQL_DOUBLE) return SQL_DOUBLE;
    if (l == SQL_BIGINT) return SQL_DOUBLE;
    if (r == SQL_FLOAT) return SQL_FLOAT;
    // R is REAL.
    return l == SQL_FLOAT ? SQL_FLOAT : SQL_REAL;
}

int integer_rule(int l, int r, int op) {
    if (op == OP_NEG) return r;
    bool done;
    int res = numeric_common(l, op, &done);
    if (done) return res == TYPE_INCOMPATIBLE_OR_COMPARABLE ? TYPE_INCOMPATIBLE : res;
    if (!is_arith(op)) return TYPE_COMPARABLE;
    // An interval moved or scaled by an integer keeps its interval type.
    if (is_interval(l)) return l;
    if (!is_numeric_class(l)) return TYPE_INCOMPATIBLE;
    switch (r) {
    case SQL_INTEGER:
        return l == SQL_SMALLINT || l == SQL_BIT || l == SQL_TINYINT ? SQL_INTEGER : l;
    case SQL_SMALLINT: return l == SQL_BIT || l == SQL_TINYINT ? SQL_SMALLINT : l;
    case SQL_BIGINT:
        // A double left operand stays double (see approx_rule).
        return is_approx(l) ? SQL_DOUBLE : SQL_BIGINT;
    case SQL_BIT: return l;
    default: return l == SQL_BIT ? SQL_TINYINT : l;  // TINYINT
    }
}

int interval_rule(int l, int r, int op) {
    if (op == OP_CONCAT) return TYPE_INCOMPATIBLE;
    if (op == OP_NEG) return r;
    if (!is_arith(op)) return TYPE_COMPARABLE;
    if (is_small_int(l)) return r;
    if (is_datetime(l)) return is_add_sub(op) ? l : TYPE_INCOMPATIBLE;
    if (!is_interval(l)) return TYPE_INCOMPATIBLE;
    // Interval with interval: only + and - have a meaning.
    if (!is_add_sub(op)) return TYPE_INCOMPATIBLE;
    if (is_ym(r)) {
        if (!is_ym(l)) return TYPE_INCOMPATIBLE;
        if (l == 101) return r == 101 ? 101 : 107;
        if (l == 102) return r == 102 ? 102 : 107;
        return 107;
    }
    if (is_ym(l)) return TYPE_INCOMPATIBLE;
    if (l == r) return r;
    switch (l) {
    case 105: case 106: case 113: return 113;
    case 112: return 112;
    default: return 110;
    }
}

}  // namespace

int check_type_combination(int l, int r, int op) {
    int rc = type_class_fine(r);
    switch (rc) {
    case kClassCharacter:
        if (op == OP_NEG) return TYPE_INCOMPATIBLE;
        if (is_datetime(l)) return (op >= OP_ADD && op <= OP_DIV) ? TYPE_INCOMPATIBLE : TYPE_COMPARABLE;
        if (is_char(r) && !is_arith(op)) return TYPE_COMPARABLE;
        if (is_any_char(l)) {
            if (op != OP_ADD && op != OP_CONCAT) return is_arith(op) ? TYPE_INCOMPATIBLE : TYPE_COMPARABLE;
            if (l == SQL_LONGVARCHAR || r == SQL_LONGVARCHAR) return SQL_LONGVARCHAR;
            return l == SQL_VARCHAR || r == SQL_VARCHAR ? SQL_VARCHAR : SQL_CHAR;
        }
        if (op == OP_ADD || op == OP_CONCAT) return joined_text(l, r);
        return TYPE_INCOMPATIBLE;
    case kClassNumeric:
        if (l == SQL_NUMERIC || r == SQL_NUMERIC) return exact_rule(l, r, op, SQL_NUMERIC);
        if (l == SQL_DECIMAL || r == SQL_DECIMAL) return exact_rule(l, r, op, SQL_DECIMAL);
        if (is_approx(r)) return approx_rule(l, r, op);
        return integer_rule(l, r, op);
    case kClassBinary:
        // Binary values of any length compare byte by byte, so a comparison
        // of two of them (BINARY, VARBINARY, LONG VARBINARY in any pairing)
        // is a condition like any other.
        if (is_comparison_op(op))
            return type_class_fine(l) == kClassBinary ? TYPE_COMPARABLE : TYPE_INCOMPATIBLE;
        return op != OP_NEG && op != OP_CONCAT && l == r ? r : TYPE_INCOMPATIBLE;
    case kClassDate:
    case kClassTime:
    case kClassDatetime: {
        if (op == OP_NEG || op == OP_CONCAT) return TYPE_INCOMPATIBLE;
        bool same_kind;
        if (rc == kClassDate)
            same_kind = is_any_char(l) || is_date(l) || is_timestamp(l);
        else if (rc == kClassTime)
            same_kind = is_any_char(l) || is_time(l) || is_timestamp(l);
        else
            same_kind = is_any_char(l) || is_datetime(l);
        if (same_kind) return is_arith(op) ? TYPE_INCOMPATIBLE : TYPE_COMPARABLE;
        if (is_numeric_class(l) || is_interval(l)) {
            if (!is_add_sub(op)) return TYPE_INCOMPATIBLE;
            if (rc == kClassDatetime) return r;
            return r >= 91 ? 93 : 11;
        }
        return TYPE_INCOMPATIBLE;
    }
    case kClassIntervalYM:
    case kClassIntervalDS:
        // Text and an interval only compare; the reverse order (interval
        // left, text right) concatenates under the character rule.
        if (is_any_char(l) && is_arith(op)) return TYPE_INCOMPATIBLE;
        if (is_approx(l) && is_arith(op) && op != OP_NEG) return TYPE_INCOMPATIBLE;
        return interval_rule(l, r, op);
    default: return TYPE_INCOMPATIBLE;
    }
}

int combine_types(const ExtendedType *left, const ExtendedType *right, int op, ExtendedType *out) {
    int l = left ? left->sql_type : right->sql_type;
    int r = right->sql_type;
    int res = check_type_combination(l, r, op);
    if (!out || res == TYPE_COMPARABLE || res == TYPE_INCOMPATIBLE) return res;
    if (type_template(res, out) != 0) return res;
    const ExtendedType *lo = (left && op != OP_NEG) ? left : nullptr;
    if (res == SQL_NUMERIC || res == SQL_DECIMAL) {
        int lp = lo && (lo->sql_type == SQL_NUMERIC || lo->sql_type == SQL_DECIMAL) ? lo->precision : 15;
        int ls = lo && (lo->sql_type == SQL_NUMERIC || lo->sql_type == SQL_DECIMAL) ? lo->scale : 0;
        bool rex = r == SQL_NUMERIC || r == SQL_DECIMAL;
        int rp = rex ? right->precision : 15, rs = rex ? right->scale : 0;
        if (op == OP_NEG) {
            lp = rp;
            ls = rs;
        }
        int p, s;
        if (op == OP_MUL || op == OP_DIV) {
            p = lp + rp;
            s = ls + rs;
        } else {
            p = lp > rp ? lp : rp;
            s = ls > rs ? ls : rs;
        }
        if (p > 38) p = 38;
        if (s > p) s = p;
        out->precision = p;
        out->scale = s;
        out->length = p + 2;
        out->display_size = p + 2;
        out->column_size = p;
    } else if (res >= 101 && res <= 113) {
        int lp = lo && lo->sql_type >= 101 && lo->sql_type <= 113 ? lo->interval_precision : 2;
        int rp = right->sql_type >= 101 ? right->interval_precision : 2;
        out->interval_precision = lp > rp ? lp : rp;
        if (!is_ym(res)) {
            int lsc = lo && lo->sql_type >= 101 && lo->sql_type <= 113 ? lo->scale : 6;
            int rsc = right->sql_type >= 101 ? right->scale : 6;
            out->scale = lsc > rsc ? lsc : rsc;
        }
    } else if (is_datetime(res) && lo && is_datetime(lo->sql_type) && is_interval(r)) {
        // Datetime moved by an interval keeps the datetime type; the
        // interval precisions do not apply.
        out->interval_precision = 0;
    }
    return res;
}
