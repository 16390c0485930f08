// Conversion scalar functions: IFNULL, ISNULL, INT, STR, VAL, CCUR, CDATE,
// CONVERT (a cast in the tree; never called) and FORMAT (recognised formats
// are refused by name).
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/cast.h"
#include "engine/fn_common.h"
#include "support/value_ops.h"

int fn_ifnull(ValueEnv *env, int argc, Value *const *args, Value **out) {
    const Value *pick = (args[0] && !args[0]->is_null) || argc < 2 ? args[0] : args[1];
    if (!pick) return fn::null_result(env, VT_CHAR, out);
    Value *v = duplicate_value(pick, env->pool);
    if (!v) return fn::oom(env);
    *out = v;
    return 0;
}

int fn_isnull(ValueEnv *env, int, Value *const *args, Value **out) {
    return fn::int_result(env, !args[0] || args[0]->is_null ? 1 : 0, out);
}

int fn_int(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    double d;
    if (fn::arg_double(env, args[0], &d) != 0) return -1;
    d = std::trunc(d);
    if (!(d >= -2147483648.0 && d <= 2147483647.0))
        return engine_error(env->diag, "22003", "Numeric value out of range");
    return fn::int_result(env, static_cast<int64_t>(d), out);
}

int fn_str(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    const char *t;
    size_t n;
    if (fn::arg_text(env, args[0], &t, &n) != 0) return -1;
    return fn::text_result(env, t, n, out);
}

int fn_val(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_DOUBLE, out);
    const char *t;
    size_t n;
    if (fn::arg_text(env, args[0], &t, &n) != 0) return -1;
    char buf[128];
    if (n >= sizeof buf) n = sizeof buf - 1;
    std::memcpy(buf, t, n);
    buf[n] = 0;
    char *end;
    double d = std::strtod(buf, &end);
    if (end == buf || !std::isfinite(d)) d = 0;
    return fn::double_result(env, d, out);
}

int fn_ccur(ValueEnv *env, int argc, Value *const *args, Value **out) {
    const Value *a = args[0];
    if (fn::any_null(argc, args)) return fn::null_result(env, a ? a->type : VT_DOUBLE, out);
    if (a->type == VT_INTEGER || a->type == VT_DOUBLE || a->type == VT_BIGINT || a->type == VT_NUMERIC) {
        Value *v = duplicate_value(a, env->pool);
        if (!v) return fn::oom(env);
        *out = v;
        return 0;
    }
    double d;
    if (fn::arg_double(env, a, &d) != 0) return -1;
    return fn::double_result(env, d, out);
}

int fn_cdate(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_TIMESTAMP, out);
    CastTarget target{93, 0, -1, -1, 0, -1};
    return cast_value(&target, env, args[0], out);
}

int fn_convert(ValueEnv *env, int, Value *const *, Value **) {
    return fn::general(env, "CONVERT is evaluated as a cast");
}

namespace {

struct FormatName {
    const char *names[4];
    const char *message;
};

const FormatName kDatetimeFormats[] = {
    {{"General Date", "G", nullptr, nullptr}, "FORMAT General Date not supported"},
    {{"Long Date", "Medium Date", "D", nullptr}, "FORMAT Long Date not supported"},
    {{"Short Date", "d", nullptr, nullptr}, "FORMAT Short Date not supported"},
    {{"Long Time", "Medium Time", "T", nullptr}, "FORMAT Long Time not supported"},
    {{"Short Time", "t", nullptr, nullptr}, "FORMAT Short Time not supported"},
    {{"f", nullptr, nullptr, nullptr}, "FORMAT f not supported"},
    {{"F", nullptr, nullptr, nullptr}, "FORMAT F not supported"},
    {{"g", nullptr, nullptr, nullptr}, "FORMAT g not supported"},
    {{"M, m", "M", "m", nullptr}, "FORMAT M, m not supported"},
    {{"R, r", "R", "r", nullptr}, "FORMAT R, r not supported"},
    {{"s", nullptr, nullptr, nullptr}, "FORMAT s not supported"},
};

const FormatName kNumericFormats[] = {
    {{"General Number", "G", "g", nullptr}, "FORMAT Genarl Number not supported"},
    {{"Currency", "C", "c", nullptr}, "FORMAT Currency not supported"},
    {{"Fixed", "F", "f", nullptr}, "FORMAT Fixed not supported"},
    {{"P", "p", nullptr, nullptr}, "FORMAT P not supported"},
    {{"Scientific", nullptr, nullptr, nullptr}, "FORMAT Scientific not supported"},
    {{"E", "e", nullptr, nullptr}, "FORMAT E not supported"},
    {{"D", "d", nullptr, nullptr}, "FORMAT D not supported"},
    {{"X", "x", nullptr, nullptr}, "FORMAT X not supported"},
    {{"Yes/No", nullptr, nullptr, nullptr}, "FORMAT Yes/No not supported"},
    {{"True/False", nullptr, nullptr, nullptr}, "FORMAT True/False not supported"},
    {{"On/Off", nullptr, nullptr, nullptr}, "FORMAT On/Off not supported"},
};

template <size_t N>
const char *find_format(const FormatName (&table)[N], const char *name) {
    for (const FormatName &f : table)
        for (const char *n : f.names)
            if (n && std::strcmp(n, name) == 0) return f.message;
    return nullptr;
}

}  // namespace

int fn_format(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    const char *t;
    size_t n;
    if (fn::arg_text(env, args[1], &t, &n) != 0) return -1;
    char name[64];
    if (n >= sizeof name) n = sizeof name - 1;
    std::memcpy(name, t, n);
    name[n] = 0;
    uint32_t type = args[0]->type;
    if (type == VT_DATE || type == VT_TIME || type == VT_TIMESTAMP) {
        const char *m = find_format(kDatetimeFormats, name);
        return fn::general(env, m ? m : "FORMAT unknown argument for datetime source");
    }
    if (type == VT_INTEGER || type == VT_DOUBLE || type == VT_NUMERIC || type == VT_BIGINT ||
        type == VT_BIT) {
        const char *m = find_format(kNumericFormats, name);
        return fn::general(env, m ? m : "FORMAT unknown argument for numeric source");
    }
    return fn::general(env, "FORMAT invalid source type");
}
