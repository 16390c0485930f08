// Numeric scalar functions: ABS .. TRUNCATE, computed in double precision
// unless the argument kind says otherwise (ABS keeps its argument's kind).
#include <atomic>
#include <cmath>

#include "engine/fn_common.h"
#include "support/bigint.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

int domain_error(ValueEnv *env) { return fn::general(env, "DOMAIN error"); }

// f(x) for one double argument; `ok` decides the domain.
template <typename F, typename Ok>
int unary(ValueEnv *env, int argc, Value *const *args, Value **out, F f, Ok ok) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_DOUBLE, out);
    double x;
    if (fn::arg_double(env, args[0], &x) != 0) return -1;
    if (!ok(x)) return domain_error(env);
    return fn::double_result(env, f(x), out);
}

auto always = [](double) { return true; };

// An integer result from a double, refusing values beyond INTEGER.
int int_from_double(ValueEnv *env, double d, Value **out) {
    if (!(d >= -2147483648.0 && d <= 2147483647.0))
        return engine_error(env->diag, "22003", "Numeric value out of range");
    return fn::int_result(env, static_cast<int64_t>(d), out);
}

}  // namespace

int fn_abs(ValueEnv *env, int argc, Value *const *args, Value **out) {
    const Value *a = args[0];
    if (fn::any_null(argc, args)) return fn::null_result(env, a ? a->type : VT_DOUBLE, out);
    switch (a->type) {
    case VT_INTEGER:
    case VT_BIT: {
        int32_t r;
        if (a->data.i < 0 && checked_neg32(a->data.i, &r) != kIntOk)
            return engine_error(env->diag, "22003", "Numeric value out of range");
        return fn::int_result(env, a->data.i < 0 ? -static_cast<int64_t>(a->data.i) : a->data.i, out);
    }
    case VT_BIGINT: {
        int64_t r = a->data.big;
        if (r < 0 && checked_neg64(r, &r) != kIntOk)
            return engine_error(env->diag, "22003", "Numeric value out of range");
        Value *v = new_value_of_type(env->pool, VT_BIGINT);
        if (!v) return fn::oom(env);
        v->data.big = r;
        *out = v;
        return 0;
    }
    case VT_NUMERIC: {
        Value *v = duplicate_value(a, env->pool);
        if (!v) return fn::oom(env);
        v->data.num.sign = 1;
        *out = v;
        return 0;
    }
    default: {
        double x;
        if (fn::arg_double(env, a, &x) != 0) return -1;
        return fn::double_result(env, std::fabs(x), out);
    }
    }
}

int fn_acos(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::acos(x); },
                 [](double x) { return x >= -1 && x <= 1; });
}
int fn_asin(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::asin(x); },
                 [](double x) { return x >= -1 && x <= 1; });
}
int fn_atan(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::atan(x); }, always);
}
int fn_cos(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::cos(x); }, always);
}
int fn_sin(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::sin(x); }, always);
}
int fn_tan(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::tan(x); }, always);
}
int fn_cot(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return 1.0 / std::tan(x); },
                 [](double x) { return std::tan(x) != 0; });
}
int fn_degrees(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return x * 180.0 / M_PI; }, always);
}
int fn_radians(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return x * M_PI / 180.0; }, always);
}
int fn_exp(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::exp(x); }, always);
}
int fn_log(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::log(x); },
                 [](double x) { return x > 0; });
}
int fn_log10(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::log10(x); },
                 [](double x) { return x > 0; });
}
int fn_sqrt(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return unary(env, argc, args, out, [](double x) { return std::sqrt(x); },
                 [](double x) { return x >= 0; });
}

int fn_atan2(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_DOUBLE, out);
    double y, x;
    if (fn::arg_double(env, args[0], &y) != 0 || fn::arg_double(env, args[1], &x) != 0) return -1;
    return fn::double_result(env, std::atan2(y, x), out);
}

int fn_ceiling(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    double x;
    if (fn::arg_double(env, args[0], &x) != 0) return -1;
    return int_from_double(env, std::ceil(x), out);
}

int fn_floor(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    double x;
    if (fn::arg_double(env, args[0], &x) != 0) return -1;
    return int_from_double(env, std::floor(x), out);
}

int fn_sign(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    double x;
    if (fn::arg_double(env, args[0], &x) != 0) return -1;
    return fn::int_result(env, x > 0 ? 1 : (x < 0 ? -1 : 0), out);
}

int fn_mod(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    int32_t a, b, r;
    if (fn::arg_int(env, args[0], &a) != 0 || fn::arg_int(env, args[1], &b) != 0) return -1;
    if (b == 0) return engine_error(env->diag, "22012", "Division by zero");
    // INT_MIN / -1 has no 32-bit quotient; the remainder is refused with it
    // rather than left to the processor's division trap.
    if (a == INT32_MIN && b == -1) return engine_error(env->diag, "22003", "Numeric value out of range");
    if (checked_mod32(a, b, &r) != kIntOk) return engine_error(env->diag, "22012", "Division by zero");
    return fn::int_result(env, r, out);
}

int fn_pi(ValueEnv *env, int, Value *const *, Value **out) { return fn::double_result(env, M_PI, out); }

int fn_power(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_DOUBLE, out);
    double x, y;
    if (fn::arg_double(env, args[0], &x) != 0 || fn::arg_double(env, args[1], &y) != 0) return -1;
    double r = std::pow(x, y);
    if (std::isnan(r) || (x == 0 && y < 0)) return domain_error(env);
    return fn::double_result(env, r, out);
}

namespace {

// 10^n as a double, or 0 when n leaves the double range.
double pow10_or_zero(int64_t n) {
    if (n > 308 || n < -308) return 0;
    return std::pow(10.0, static_cast<double>(n));
}

}  // namespace

int fn_round(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_DOUBLE, out);
    double x;
    int64_t n;
    if (fn::arg_double(env, args[0], &x) != 0 || fn::arg_int64(env, args[1], &n) != 0) return -1;
    double c = pow10_or_zero(n);
    if (c == 0) return fn::double_result(env, n > 0 ? x : 0.0, out);
    double scaled = c * x;
    // Beyond 2^52 a double has no fraction left to round.
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0)
        return fn::double_result(env, x, out);
    return fn::double_result(env, std::floor(scaled + 0.5) / c, out);
}

int fn_truncate(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_DOUBLE, out);
    double x;
    int64_t n;
    if (fn::arg_double(env, args[0], &x) != 0 || fn::arg_int64(env, args[1], &n) != 0) return -1;
    double c = pow10_or_zero(n);
    if (c == 0) return fn::double_result(env, n > 0 ? x : 0.0, out);
    double scaled = c * x;
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0)
        return fn::double_result(env, x, out);
    return fn::double_result(env, std::trunc(scaled) / c, out);
}

namespace {
// The process-wide generator: a linear congruential generator with 15-bit
// results, kept in an atomic so concurrent statements never tear it.
std::atomic<uint32_t> g_rand_state{1};
}  // namespace

int fn_rand(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (argc >= 1 && args[0] && !args[0]->is_null) {
        int64_t seed;
        if (fn::arg_int64(env, args[0], &seed) != 0) return -1;
        g_rand_state.store(static_cast<uint32_t>(seed));
    }
    uint32_t s = g_rand_state.load(), n;
    do {
        n = s * 214013u + 2531011u;
    } while (!g_rand_state.compare_exchange_weak(s, n));
    return fn::double_result(env, static_cast<double>((n >> 16) & 0x7fff), out);
}
