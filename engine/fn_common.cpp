// Shared helpers of the scalar function handlers (see fn_common.h).
#include "engine/fn_common.h"

#include <cmath>
#include <cstring>

#include "sql/literal/literal.h"
#include "support/calendar.h"
#include "support/long_buffer.h"
#include "support/value_ops.h"

namespace fn {

int oom(ValueEnv *env, const char *text) { return engine_error(env->diag, "HY001", "%s", text); }

int general(ValueEnv *env, const char *text) { return engine_error(env->diag, "HY000", "%s", text); }

bool any_null(int argc, Value *const *args) {
    for (int i = 0; i < argc; i++)
        if (!args[i] || args[i]->is_null) return true;
    return false;
}

int null_result(ValueEnv *env, uint32_t type, Value **out) {
    Value *v = new_value_of_type(env->pool, type);
    if (!v) return oom(env);
    v->is_null = -1;
    *out = v;
    return 0;
}

int int_result(ValueEnv *env, int64_t x, Value **out) {
    if (x < INT32_MIN || x > INT32_MAX)
        return engine_error(env->diag, "22003", "Numeric value out of range");
    Value *v = new_value_of_type(env->pool, VT_INTEGER);
    if (!v) return oom(env);
    v->data.i = static_cast<int32_t>(x);
    *out = v;
    return 0;
}

int double_result(ValueEnv *env, double x, Value **out) {
    if (!std::isfinite(x)) return engine_error(env->diag, "22003", "Numeric value out of range");
    Value *v = new_value_of_type(env->pool, VT_DOUBLE);
    if (!v) return oom(env);
    v->data.d = x;
    *out = v;
    return 0;
}

namespace {

int make_text(ValueEnv *env, size_t len, Value **out, char **buf, const char *oom_text) {
    if (len > static_cast<size_t>(kMaxCharValue))
        return engine_error(env->diag, "22001", "String data, right truncated");
    Value *v = NewValue(env->pool, static_cast<int32_t>(len));
    if (!v) return oom(env, oom_text);
    if (!v->data.s) {
        // NewValue gives no buffer for 0 bytes: keep a terminator anyway.
        v->data.s = static_cast<char *>(cv_mem_alloc(env->pool, 1));
        if (!v->data.s) {
            release_value(v);
            return oom(env, oom_text);
        }
        v->owns_data = 1;
    }
    v->length = static_cast<int32_t>(len);
    v->data.s[len] = 0;
    *buf = v->data.s;
    *out = v;
    return 0;
}

}  // namespace

int text_buffer(ValueEnv *env, size_t len, Value **out, char **buf, const char *oom_text) {
    return make_text(env, len, out, buf, oom_text);
}

int text_result(ValueEnv *env, const char *text, size_t len, Value **out, const char *oom_text) {
    char *buf;
    if (make_text(env, len, out, &buf, oom_text) != 0) return -1;
    if (len) std::memcpy(buf, text, len);
    return 0;
}

int arg_text(ValueEnv *env, const Value *v, const char **text, size_t *len) {
    if (v->type == VT_CHAR) {
        *text = v->data.s ? v->data.s : "";
        *len = v->data.s ? static_cast<size_t>(v->length) : 0;
        return 0;
    }
    if (v->type == VT_LONG_CHAR) {
        if (env->read_long) {
            char *t = nullptr;
            int32_t n = 0;
            if (env->read_long(env->read_long_arg, v, env->pool, &t, &n) != 0)
                return general(env, "Extract from LONG VARCHAR error");
            *text = t;
            *len = static_cast<size_t>(n);
        } else {
            *text = long_buffer_data(v->long_buffer);
            *len = long_buffer_length(v->long_buffer);
        }
        return 0;
    }
    char *t = value_text_in_pool(v, env->pool, len);
    if (!t) return oom(env);
    *text = t;
    return 0;
}

int arg_int64(ValueEnv *env, const Value *v, int64_t *out) {
    if (get_bigint_from_value(v, out) != 0)
        return engine_error(env->diag, "22003", "Numeric value out of range");
    return 0;
}

int arg_int(ValueEnv *env, const Value *v, int32_t *out) {
    if (get_int_from_value(v, out) != 0)
        return engine_error(env->diag, "22003", "Numeric value out of range");
    return 0;
}

int arg_double(ValueEnv *env, const Value *v, double *out) {
    if (get_double_from_value(v, out) != 0)
        return engine_error(env->diag, "22003", "Numeric value out of range");
    return 0;
}

TIMESTAMP_STRUCT start_instant(const ValueEnv *env) {
    TIMESTAMP_STRUCT t = env->start;
    if (t.year == 0 && t.month == 0) local_now(&t);
    t.fraction = 0;
    return t;
}

int arg_timestamp(ValueEnv *env, const Value *v, TIMESTAMP_STRUCT *out) {
    TIMESTAMP_STRUCT t{};
    switch (v->type) {
    case VT_DATE:
        t.year = v->data.date.year;
        t.month = v->data.date.month;
        t.day = v->data.date.day;
        break;
    case VT_TIME: {
        TIMESTAMP_STRUCT s = start_instant(env);
        t = TIMESTAMP_STRUCT{s.year, s.month, s.day, v->data.time.hour, v->data.time.minute,
                             v->data.time.second, 0};
        break;
    }
    case VT_TIMESTAMP: t = v->data.ts; break;
    case VT_CHAR:
    case VT_LONG_CHAR: {
        const char *text;
        size_t len;
        if (arg_text(env, v, &text, &len) != 0) return -1;
        char buf[kMaxLiteralText + 1];
        if (len > static_cast<size_t>(kMaxLiteralText))
            return engine_error(env->diag, "22007", "Invalid datetime format");
        std::memcpy(buf, text, len);
        buf[len] = 0;
        if (parse_timestamp_text(env->diag, buf, &t) != 0) return -1;
        break;
    }
    default: return engine_error(env->diag, "HY000", "%s", "Invalid date value");
    }
    // Values made elsewhere (binary images, providers) are checked here so
    // that name tables are never indexed out of range.
    if (!valid_timestamp(&t)) return engine_error(env->diag, "22008", "Datetime field overflow");
    *out = t;
    return 0;
}

size_t char_offset(const char *text, size_t len, int64_t n) {
    size_t i = 0;
    while (n > 0 && i < len) {
        i++;
        while (i < len && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) i++;
        n--;
    }
    return i;
}

size_t char_count(const char *text, size_t len) {
    size_t n = 0;
    for (size_t i = 0; i < len; i++)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) n++;
    return n;
}

}  // namespace fn
