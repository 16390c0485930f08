// Descriptions of expression forms from the descriptions of their parts:
// literals, casts, concatenation, CASE, set functions, scalar functions.
#include <cstdint>

#include "engine/functions.h"
#include "engine/types.h"

namespace {

int32_t sat_add(int64_t a, int64_t b) {
    int64_t s = a + b;
    return s > INT32_MAX ? INT32_MAX : static_cast<int32_t>(s);
}

void set_char_length(ExtendedType *t, int64_t n) {
    if (n < 0) n = 0;
    if (n > INT32_MAX) n = INT32_MAX;
    t->length = static_cast<int32_t>(n);
    t->display_size = static_cast<int32_t>(n);
    t->column_size = static_cast<int32_t>(n);
}

// Interval display size from leading precision P and seconds precision S.
int interval_display(int code, int p, int s) {
    switch (code) {
    case 1: case 2: case 3: case 4: case 5: return p;
    case 7: case 8: case 11: return p + 3;
    case 9: return p + 6;
    case 6: return s ? s + p + 1 : p;
    case 10: return s ? s + p + 10 : p + 9;
    case 12: return s ? s + p + 7 : p + 6;
    case 13: return s ? s + p + 4 : p + 3;
    default: return p;
    }
}

bool is_long_char(const ExtendedType *t) { return t && t->sql_type == SQL_LONGVARCHAR; }

}  // namespace

int describe_value(const Value *v, int odbc_version, ExtendedType *out) {
    ExtendedType t;
    switch (v->type) {
    case VT_INTEGER:
    case VT_CONNECTION_INT: return type_template(SQL_INTEGER, out);
    case VT_DOUBLE: return type_template(SQL_DOUBLE, out);
    case VT_CHAR:
        if (type_template(SQL_CHAR, &t) != 0) return -1;
        set_char_length(&t, v->length);
        break;
    case VT_USER: return type_template(SQL_CHAR, out);
    case VT_BIT: return type_template(SQL_BIT, out);
    case VT_BINARY:
        if (type_template(SQL_BINARY, &t) != 0) return -1;
        t.length = v->length;
        t.column_size = v->length;
        t.display_size = sat_add(v->length, v->length);
        break;
    case VT_DATE:
    case VT_CURRENT_DATE: return type_template(datetime_sql_type(1, odbc_version), out);
    case VT_TIME:
    case VT_CURRENT_TIME: return type_template(datetime_sql_type(2, odbc_version), out);
    case VT_TIMESTAMP:
    case VT_CURRENT_TIMESTAMP: return type_template(datetime_sql_type(3, odbc_version), out);
    case VT_NUMERIC:
        if (type_template(SQL_NUMERIC, &t) != 0) return -1;
        t.precision = v->data.num.precision;
        t.scale = v->data.num.scale;
        t.length = t.precision + 2;
        t.display_size = t.precision + 2;
        t.column_size = t.precision;
        break;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        int code = v->data.iv.interval_type;
        if (code < 1 || code > 13 || type_template(100 + code, &t) != 0) return -1;
        int p = v->interval_leading_precision > 0 ? v->interval_leading_precision : 2;
        t.interval_precision = p;
        t.display_size = interval_display(code, p, v->interval_seconds_precision);
        if (v->interval_seconds_precision > 0) t.scale = v->interval_seconds_precision;
        break;
    }
    default: return -1;
    }
    *out = t;
    return 0;
}

int describe_cast(const CastTarget *target, int odbc_version, ExtendedType *out) {
    int code = target->sql_type;
    if (code == 9 || code == 91) code = datetime_sql_type(1, odbc_version);
    if (code == 10 || code == 92) code = datetime_sql_type(2, odbc_version);
    if (code == 11 || code == 93) code = datetime_sql_type(3, odbc_version);
    ExtendedType t;
    if (type_template(code, &t) != 0) return -1;
    switch (target->sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
        if (target->length > 0) set_char_length(&t, target->length);
        break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        if (target->precision > 0) {
            t.precision = target->precision;
            t.length = target->precision;
            t.display_size = target->precision;
            t.column_size = target->precision;
        } else {
            t.precision = 15;  // the cast's default precision
        }
        t.scale = target->scale > 0 ? target->scale : 0;
        break;
    case SQL_FLOAT:
        if (target->precision > 0) t.precision = target->precision;
        break;
    case 10:
    case 92:
        if (target->precision >= 0) {
            t.precision = target->precision;
            t.display_size = 9 + target->precision;
        }
        break;
    case 11:
    case 93:
        if (target->precision >= 0) {
            t.precision = target->precision;
            t.display_size = 20 + target->precision;
        }
        break;
    case SQL_BINARY:
    case SQL_VARBINARY:
        if (target->length > 0) {
            t.length = target->length;
            t.column_size = target->length;
            t.display_size = sat_add(target->length, target->length);
        }
        break;
    default:
        if (code >= 101 && code <= 113) {
            if (target->leading_precision > 0) t.interval_precision = target->leading_precision;
            if (target->seconds_precision >= 0 && t.scale) t.scale = target->seconds_precision;
        }
        break;
    }
    *out = t;
    return 0;
}

void describe_concat(const ExtendedType *left, const ExtendedType *right, ExtendedType *out) {
    const ExtendedType *base =
        (left->sql_type == SQL_VARCHAR || left->sql_type == SQL_LONGVARCHAR) ? left : right;
    ExtendedType t = *base;
    t.length = sat_add(left->length, right->length);
    t.display_size = sat_add(left->display_size, right->display_size);
    t.column_size = t.length;
    *out = t;
}

void describe_case(const ExtendedType *const *results, int count, ExtendedType *out) {
    const ExtendedType *first = nullptr;
    for (int i = 0; i < count && !first; i++) first = results[i];
    if (!first) {
        (void)type_template(SQL_CHAR, out);
        return;
    }
    // The result type is the combination of every result under the addition
    // rule, as validation types the CASE, so that every branch is cast to one
    // kind. Results of another class (which validation refuses) and pairs the
    // rule does not combine (DATE with TIMESTAMP) leave the type as it is.
    ExtendedType t = *first;
    const int cls = type_class(first->sql_type);
    bool long_char = false, long_binary = false;
    for (int i = 0; i < count; i++) {
        const ExtendedType *r = results[i];
        if (!r || type_class(r->sql_type) != cls) continue;
        if (r->sql_type == SQL_LONGVARCHAR) long_char = true;
        if (r->sql_type == SQL_LONGVARBINARY) long_binary = true;
        if (r == first) continue;
        const bool exact = r->sql_type == SQL_NUMERIC || r->sql_type == SQL_DECIMAL;
        if (r->sql_type == t.sql_type && !exact) continue;
        ExtendedType c;
        int res = combine_types(&t, r, OP_ADD, &c);
        if (res != TYPE_COMPARABLE && res != TYPE_INCOMPATIBLE) t = c;
    }
    // A long branch makes the whole CASE long: a shorter description would
    // cut its values.
    if (long_char && cls == kClassCharacter) (void)type_template(SQL_LONGVARCHAR, &t);
    if (long_binary && cls == kClassBinary) (void)type_template(SQL_LONGVARBINARY, &t);
    int st = t.sql_type;
    if (st == SQL_CHAR || st == SQL_VARCHAR || st == SQL_BINARY || st == SQL_VARBINARY) {
        int32_t len = 0, disp = 0;
        for (int i = 0; i < count; i++) {
            if (!results[i] || type_class(results[i]->sql_type) != cls) continue;
            if (results[i]->length > len) len = results[i]->length;
            if (results[i]->display_size > disp) disp = results[i]->display_size;
        }
        t.length = len;
        t.column_size = len;
        t.display_size = disp;
    }
    *out = t;
}

void describe_set_function(SetFunctionKind kind, const ExtendedType *argument, ExtendedType *out) {
    switch (kind) {
    case SetFunctionKind::kCount: (void)type_template(SQL_INTEGER, out); return;
    case SetFunctionKind::kAvg:
        if (!argument || type_class(argument->sql_type) == kClassNumeric) {
            (void)type_template(SQL_DOUBLE, out);
            return;
        }
        *out = *argument;
        return;
    case SetFunctionKind::kSum:
        // SUM adds integers in 64-bit integers, doubles as doubles, exact
        // numerics and intervals in their own kind: describe what it returns.
        if (argument && (argument->sql_type == SQL_INTEGER || argument->sql_type == SQL_SMALLINT ||
                         argument->sql_type == SQL_TINYINT || argument->sql_type == SQL_BIGINT ||
                         argument->sql_type == SQL_BIT)) {
            (void)type_template(SQL_BIGINT, out);
            return;
        }
        if (argument && (argument->sql_type == SQL_NUMERIC || argument->sql_type == SQL_DECIMAL ||
                         (argument->sql_type >= 101 && argument->sql_type <= 113))) {
            *out = *argument;
            return;
        }
        (void)type_template(SQL_DOUBLE, out);
        return;
    default:
        if (argument)
            *out = *argument;
        else
            (void)type_template(SQL_CHAR, out);
        return;
    }
}

int describe_scalar_function(int code, int argc, const ExtendedType *const *args,
                             const int64_t *literal_counts, ExtendedType *out) {
    auto arg = [&](int i) -> const ExtendedType * { return i < argc ? args[i] : nullptr; };
    auto literal = [&](int i) -> int64_t { return literal_counts && i < argc ? literal_counts[i] : -1; };
    // A string function of a LONG VARCHAR returns the whole text it made,
    // so its result is LONG VARCHAR too: a shorter description would have
    // applications cut it.
    auto varchar = [&](int64_t n, bool long_involved) {
        if (long_involved) return type_template(SQL_LONGVARCHAR, out);
        (void)type_template(SQL_VARCHAR, out);
        set_char_length(out, n);
        return 0;
    };
    switch (code) {
    case kFnIfnull:
        if (arg(0)) {
            *out = *arg(0);
            return 0;
        }
        return type_template(SQL_VARCHAR, out);
    case kBuiltinUpper: case kBuiltinLower: case kBuiltinTrim: case kBuiltinSubstring:
    case kFnUcase: case kFnLcase: case kFnLtrim: case kFnRtrim: case kFnSubstring:
    case kFnLeft: case kFnRight: {
        const ExtendedType *s = arg(0);
        if (!s) return type_template(SQL_VARCHAR, out);
        if (is_long_char(s)) return varchar(255, true);
        // Character results are variable length whatever the argument.
        return varchar(s->length, false);
    }
    case kBuiltinCharLength: case kBuiltinOctetLength: case kBuiltinBitLength: case kBuiltinPosition:
        return type_template(SQL_INTEGER, out);
    case kFnConcat: {
        const ExtendedType *a = arg(0), *b = arg(1);
        bool lng = is_long_char(a) || is_long_char(b);
        return varchar(static_cast<int64_t>(a ? a->length : 0) + (b ? b->length : 0), lng);
    }
    case kFnInsert: {
        const ExtendedType *a = arg(0), *b = arg(3);
        bool lng = is_long_char(a) || is_long_char(b);
        return varchar(static_cast<int64_t>(a ? a->length : 0) + (b ? b->length : 0), lng);
    }
    case kFnDatabase: case kFnDayname: case kFnMonthname: case kFnUser: return varchar(64, false);
    case kFnRepeat: {
        const ExtendedType *a = arg(0);
        int64_t n = literal(1);
        if (is_long_char(a)) return varchar(255, true);
        if (n < 0 || !a) return varchar(255, false);
        int64_t len = static_cast<int64_t>(a->length) * n;
        return varchar(len, false);
    }
    case kFnSoundex: return varchar(4, false);
    case kFnSpace: {
        int64_t n = literal(0);
        return varchar(n < 0 ? 255 : n, false);
    }
    case kFnReplace: {
        const ExtendedType *a = arg(0);
        return varchar(a ? a->length : 255, is_long_char(a));
    }
    case kFnChar: return varchar(1, false);
    case kFnCdate: return type_template(93, out);
    // Always a timestamp, whatever the third argument (ODBC's TIMESTAMPADD).
    case kFnTimestampadd: return type_template(93, out);
    default: break;
    }
    const ScalarFunction *f = scalar_function_entry(code);
    if (!f) return -1;
    int m = f->result_mask;
    if (m & kMaskAny) {
        if (arg(0)) {
            *out = *arg(0);
            return 0;
        }
        return type_template(SQL_DOUBLE, out);
    }
    if (m & (kMaskChar | kMaskChar2)) return varchar(255, false);
    if (m & kMaskInteger) return type_template(SQL_INTEGER, out);
    if (m & kMaskDouble) {
        const ExtendedType *a = arg(0);
        if ((f->flags & kFnExactForExact) && a &&
            (a->sql_type == SQL_NUMERIC || a->sql_type == SQL_DECIMAL)) {
            *out = *a;
            return 0;
        }
        return type_template(SQL_DOUBLE, out);
    }
    if (m & kMaskDate) return type_template(91, out);
    if (m & kMaskTime) return type_template(92, out);
    if (m & kMaskTimestamp) return type_template(93, out);
    return -1;
}
