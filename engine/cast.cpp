// Casts between types (see cast.h).
//
// One conversion per target kind. Character sources of datetime and
// interval targets go through the literal parser; numeric targets through
// the checked readers and the exact-numeric services, so an out-of-range
// value is an error rather than a wrapped or narrowed number.
#include "engine/cast.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sql/literal/literal.h"
#include "support/calendar.h"
#include "engine/engine_error.h"
#include "support/interval.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/value_ops.h"

namespace {

int oom(ValueEnv *env) {
    engine_error(env->diag, "HY001", "Memory allocation error");
    return -1;
}

int out_of_range(ValueEnv *env) {
    engine_error(env->diag, "22003", "Numeric value out of range");
    return -1;
}

// The source's characters (long values: up to `limit` bytes), in a pool
// buffer when they must be extracted. Returns false on a read failure.
bool source_text(ValueEnv *env, const Value *in, size_t limit, const char **text, size_t *len) {
    if (in->type == VT_CHAR) {
        *text = in->data.s ? in->data.s : "";
        *len = in->data.s ? static_cast<size_t>(in->length) : 0;
        return true;
    }
    if (in->type == VT_LONG_CHAR || in->type == VT_LONG_BINARY) {
        if (env->read_long) {
            char *t = nullptr;
            int32_t n = 0;
            if (env->read_long(env->read_long_arg, in, env->pool, &t, &n) != 0) return false;
            *text = t;
            *len = static_cast<size_t>(n) < limit ? static_cast<size_t>(n) : limit;
        } else {
            *text = long_buffer_data(in->long_buffer);
            size_t n = long_buffer_length(in->long_buffer);
            *len = n < limit ? n : limit;
        }
        return true;
    }
    return false;
}

// A zero-terminated copy of the first `len` bytes of text, in the pool.
char *terminated(ValueEnv *env, const char *text, size_t len) {
    char *c = static_cast<char *>(cv_mem_alloc(env->pool, len + 1));
    if (!c) return nullptr;
    std::memcpy(c, text, len);
    c[len] = 0;
    return c;
}

// Bytes of a binary source (binary and long binary).
bool source_bytes(ValueEnv *env, const Value *in, const uint8_t **bytes, size_t *len) {
    if (in->type == VT_BINARY) {
        *bytes = in->data.bytes;
        *len = static_cast<size_t>(in->length > 0 ? in->length : 0);
        return true;
    }
    if (in->type == VT_LONG_BINARY) {
        const char *t;
        if (!source_text(env, in, 128, &t, len)) return false;
        *bytes = reinterpret_cast<const uint8_t *>(t);
        return true;
    }
    return false;
}

bool is_binary(const Value *v) { return v->type == VT_BINARY || v->type == VT_LONG_BINARY; }
bool is_number(const Value *v) {
    return v->type == VT_INTEGER || v->type == VT_BIT || v->type == VT_DOUBLE ||
           v->type == VT_NUMERIC || v->type == VT_BIGINT;
}


// Signed value of a single-field interval's field, 0 for multi-field ones.
int64_t interval_field(const SQL_INTERVAL_STRUCT &iv) {
    int64_t v;
    switch (static_cast<int>(iv.interval_type)) {
    case 1: v = iv.intval.year_month.year; break;
    case 2: v = iv.intval.year_month.month; break;
    case 3: v = iv.intval.day_second.day; break;
    case 4: v = iv.intval.day_second.hour; break;
    case 5: v = iv.intval.day_second.minute; break;
    case 6: v = iv.intval.day_second.second; break;
    default: return 0;
    }
    return iv.interval_sign == SQL_TRUE ? -v : v;
}

// Leading decimal integer of a text (0 when none); false when it does not fit 64 bits.
bool leading_int(const char *s, int64_t *out) {
    SQL_NUMERIC_STRUCT n;
    *out = 0;
    int rc = string_to_numeric(s, &n, 0, -1);
    if (rc == kNumBadText) return true;
    if (rc != kNumOk) return false;
    return numeric_to_bigint(&n, out) == kNumOk;
}

// A 64-bit reading of any numeric-ish source for integer targets.
int integer_reading(ValueEnv *env, const Value *in, int64_t *out, bool *handled) {
    *handled = true;
    *out = 0;
    if (is_number(in)) {
        if (get_bigint_from_value(in, out) != 0) return out_of_range(env);
        return 0;
    }
    if (is_char_value_type(in->type)) {
        const char *t;
        size_t len;
        if (!source_text(env, in, 256, &t, &len)) {
            engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
            return -1;
        }
        char *c = terminated(env, t, len);
        if (!c) return oom(env);
        bool ok = leading_int(c, out);
        cv_mem_free(c);
        return ok ? 0 : out_of_range(env);
    }
    if (is_binary(in)) {
        const uint8_t *b;
        size_t len;
        if (!source_bytes(env, in, &b, &len)) return oom(env);
        if (len < 4) {
            engine_error(env->diag, "HY000", "Underflow in CAST");
            return -1;
        }
        int32_t i;
        std::memcpy(&i, b, 4);
        *out = i;
        return 0;
    }
    if (is_interval_value_type(in->type)) {
        *out = interval_field(in->data.iv);
        return 0;
    }
    *handled = false;
    return 0;
}

int to_integer(const CastTarget *t, ValueEnv *env, const Value *in, Value *r) {
    int64_t v;
    bool handled;
    if (integer_reading(env, in, &v, &handled) != 0) return -1;
    int64_t lo = INT32_MIN, hi = INT32_MAX;
    if (t->sql_type == SQL_SMALLINT) lo = -32768, hi = 32767;
    if (t->sql_type == SQL_TINYINT) lo = -128, hi = 127;
    if (v < lo || v > hi) return out_of_range(env);
    r->data.i = static_cast<int32_t>(v);
    return 0;
}

int to_bigint(ValueEnv *env, const Value *in, Value *r) {
    int64_t v;
    bool handled;
    if (integer_reading(env, in, &v, &handled) != 0) return -1;
    r->data.big = v;
    return 0;
}

int to_bit(ValueEnv *env, const Value *in, Value *r) {
    if (in->type == VT_DOUBLE) {
        r->data.i = in->data.d != 0;
        return 0;
    }
    if (in->type == VT_NUMERIC) {
        r->data.i = !numeric_is_zero(&in->data.num);
        return 0;
    }
    if (is_char_value_type(in->type)) {
        const char *t;
        size_t len;
        if (!source_text(env, in, 256, &t, &len)) {
            engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
            return -1;
        }
        char *c = terminated(env, t, len);
        if (!c) return oom(env);
        r->data.i = std::strtod(c, nullptr) != 0;
        cv_mem_free(c);
        return 0;
    }
    if (is_binary(in)) {
        const uint8_t *b;
        size_t len;
        if (!source_bytes(env, in, &b, &len)) return oom(env);
        r->data.i = len > 0 && b[0] != 0;
        return 0;
    }
    int64_t v;
    bool handled;
    if (integer_reading(env, in, &v, &handled) != 0) return -1;
    r->data.i = v != 0;
    return 0;
}

int to_double(ValueEnv *env, const Value *in, Value *r) {
    double d = 0;
    if (is_char_value_type(in->type)) {
        const char *t;
        size_t len;
        if (!source_text(env, in, 256, &t, &len)) {
            engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
            return -1;
        }
        char *c = terminated(env, t, len);
        if (!c) return oom(env);
        char *end;
        d = std::strtod(c, &end);
        if (end == c) d = 0;
        cv_mem_free(c);
    } else if (is_number(in)) {
        (void)get_double_from_value(in, &d);
    } else {
        int64_t v;
        bool handled;
        if (integer_reading(env, in, &v, &handled) != 0) return -1;
        d = static_cast<double>(v);
    }
    if (!std::isfinite(d)) return out_of_range(env);
    r->data.d = d;
    return 0;
}

int to_numeric(const CastTarget *t, ValueEnv *env, const Value *in, Value *r) {
    int p = t->precision > 0 ? t->precision : 15;
    int s = t->scale >= 0 ? t->scale : 0;
    if (p > kMaxNumericPrecision) p = kMaxNumericPrecision;
    if (s > p) return out_of_range(env);
    int rc;
    SQL_NUMERIC_STRUCT n{};
    switch (in->type) {
    case VT_NUMERIC: rc = numeric_rescale(&in->data.num, p, s, &n); break;
    case VT_DOUBLE: rc = double_to_numeric(in->data.d, &n, p, s); break;
    case VT_INTEGER:
    case VT_BIT: rc = int_to_numeric(in->data.i, &n, p, s); break;
    case VT_BIGINT: rc = bigint_to_numeric(in->data.big, &n, p, s); break;
    default:
        if (is_char_value_type(in->type)) {
            const char *text;
            size_t len;
            if (!source_text(env, in, 256, &text, &len)) {
                engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
                return -1;
            }
            char *c = terminated(env, text, len);
            if (!c) return oom(env);
            rc = string_to_numeric(c, &n, p, s);
            cv_mem_free(c);
            if (rc == kNumBadText) rc = int_to_numeric(0, &n, p, s);
        } else {
            int64_t v;
            bool handled;
            if (integer_reading(env, in, &v, &handled) != 0) return -1;
            rc = int_to_numeric(v, &n, p, s);
        }
    }
    if (rc != kNumOk) return out_of_range(env);
    n.precision = static_cast<SQLCHAR>(p);
    r->data.num = n;
    r->precision = p;
    r->scale = s;
    return 0;
}

// Text of a source for character targets, limited to kMaxCastText.
int to_char(const CastTarget *t, ValueEnv *env, const Value *in, Value *r) {
    const char *text;
    size_t len;
    char small[160];
    if (is_char_value_type(in->type)) {
        if (!source_text(env, in, kMaxCastText, &text, &len)) {
            engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
            return -1;
        }
        if (len > static_cast<size_t>(kMaxCastText)) len = kMaxCastText;
    } else if (is_binary(in)) {
        // Hex digits, as the character conversion shows binary data.
        size_t full;
        (void)value_as_text(in, nullptr, 0, &full);
        if (full > static_cast<size_t>(kMaxCastText)) full = kMaxCastText;
        char *buf = static_cast<char *>(cv_mem_alloc(env->pool, full + 1));
        if (!buf) return oom(env);
        (void)value_as_text(in, buf, full + 1, nullptr);
        text = buf;
        len = std::strlen(buf);
    } else {
        if (value_as_text(in, small, sizeof small, &len) < 0) len = 0;
        if (len >= sizeof small) len = sizeof small - 1;
        text = small;
    }
    size_t declared = t->length > 0 ? static_cast<size_t>(t->length) : 0;
    // CHAR(n) pads with blanks to n; VARCHAR(n) reports the text's own
    // length, so the length never exceeds the buffer behind it.
    size_t out_len = len;
    if (t->sql_type == SQL_CHAR && declared > len) out_len = declared;
    if (out_len > static_cast<size_t>(kMaxCharValue)) return out_of_range(env);
    char *buf = static_cast<char *>(cv_mem_alloc(env->pool, out_len + 1));
    if (!buf) return oom(env);
    std::memcpy(buf, text, len);
    std::memset(buf + len, ' ', out_len - len);
    buf[out_len] = 0;
    r->data.s = buf;
    r->length = static_cast<int32_t>(out_len);
    r->owns_data = 1;
    return 0;
}

// Native bytes of a non-binary, non-character source.
size_t native_bytes(const Value *in, const void **p) {
    *p = &in->data;
    switch (in->type) {
    case VT_INTEGER:
    case VT_BIT: return 4;
    case VT_DOUBLE:
    case VT_BIGINT: return 8;
    case VT_DATE:
    case VT_TIME: return 6;
    case VT_TIMESTAMP: return 16;
    case VT_NUMERIC: return 19;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: return 28;
    default: return 0;
    }
}

int to_binary(const CastTarget *t, ValueEnv *env, const Value *in, Value *r) {
    const uint8_t *bytes;
    size_t len;
    if (is_binary(in)) {
        if (!source_bytes(env, in, &bytes, &len)) return oom(env);
    } else if (is_char_value_type(in->type)) {
        const char *text;
        if (!source_text(env, in, kMaxCastText, &text, &len)) {
            engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
            return -1;
        }
        bytes = reinterpret_cast<const uint8_t *>(text);
    } else {
        const void *p;
        len = native_bytes(in, &p);
        bytes = static_cast<const uint8_t *>(p);
    }
    size_t declared = t->length > 0 ? static_cast<size_t>(t->length) : 0;
    if (declared && len > declared) {
        engine_error(env->diag, "HY000", "Overflow in CAST");
        return -1;
    }
    size_t out_len = t->sql_type == SQL_BINARY && declared ? declared : len;
    if (out_len > static_cast<size_t>(kMaxCharValue)) return out_of_range(env);
    uint8_t *buf = static_cast<uint8_t *>(cv_mem_alloc(env->pool, out_len + 1));
    if (!buf) return oom(env);
    if (len) std::memcpy(buf, bytes, len);  // BINARY(n) is zero-padded by the pool
    r->data.bytes = buf;
    r->length = static_cast<int32_t>(out_len);
    r->owns_data = 1;
    return 0;
}

int to_long(ValueEnv *env, const Value *in, Value *r, bool binary) {
    LongBuffer *lb = allocate_long_buffer(env->pool, 0, binary ? SQL_LONGVARBINARY : SQL_LONGVARCHAR);
    if (!lb) return oom(env);
    if (in->type == VT_LONG_CHAR || in->type == VT_LONG_BINARY) {
        const char *t;
        size_t len;
        if (!source_text(env, in, kDefaultLongBufferLimit, &t, &len)) {
            engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
            return -1;
        }
        if (append_to_long_buffer(lb, t, len) != 0) return oom(env);
    } else if (binary && !is_char_value_type(in->type) && !is_binary(in)) {
        const void *p;
        size_t len = native_bytes(in, &p);
        if (append_to_long_buffer(lb, p, len) != 0) return oom(env);
    } else if (in->type == VT_BINARY || in->type == VT_CHAR) {
        size_t len = static_cast<size_t>(in->length > 0 ? in->length : 0);
        if (append_to_long_buffer(lb, in->data.s, len) != 0) return oom(env);
    } else {
        char buf[160];
        size_t len;
        (void)value_as_text(in, buf, sizeof buf, &len);
        if (len >= sizeof buf) len = sizeof buf - 1;
        if (append_to_long_buffer(lb, buf, len) != 0) return oom(env);
    }
    r->long_buffer = lb;
    return 0;
}

int bad_datetime_image(ValueEnv *env) {
    engine_error(env->diag, "22008", "Datetime field overflow");
    return -1;
}

int not_a_datetime(ValueEnv *env) {
    engine_error(env->diag, "22007", "Invalid datetime format");
    return -1;
}

// Character source of a datetime target, as a terminated pool text.
int datetime_text(ValueEnv *env, const Value *in, char **text) {
    const char *t;
    size_t len;
    if (!source_text(env, in, 256, &t, &len)) {
        engine_error(env->diag, "HY000", "Extract from LONG VARCHAR error");
        return -1;
    }
    *text = terminated(env, t, len);
    return *text ? 0 : oom(env);
}

int to_date(ValueEnv *env, const Value *in, Value *r) {
    if (is_char_value_type(in->type)) {
        char *text;
        if (datetime_text(env, in, &text) != 0) return -1;
        int rc = parse_date_text(env->diag, text, &r->data.date);
        cv_mem_free(text);
        return rc;
    }
    if (is_binary(in)) {
        const uint8_t *b;
        size_t len;
        if (!source_bytes(env, in, &b, &len)) return oom(env);
        if (len < 6) {
            engine_error(env->diag, "HY000", "Underflow in CAST");
            return -1;
        }
        DATE_STRUCT d;
        std::memcpy(&d, b, 6);
        if (!valid_date(d.year, d.month, d.day)) return bad_datetime_image(env);
        r->data.date = d;
        return 0;
    }
    if (in->type == VT_DATE) {
        r->data.date = in->data.date;
        return 0;
    }
    if (in->type == VT_TIMESTAMP) {
        r->data.date = DATE_STRUCT{in->data.ts.year, in->data.ts.month, in->data.ts.day};
        return 0;
    }
    // Numbers, times and intervals name no date.
    return not_a_datetime(env);
}

int to_time(ValueEnv *env, const Value *in, Value *r) {
    if (is_char_value_type(in->type)) {
        char *text;
        if (datetime_text(env, in, &text) != 0) return -1;
        int rc = parse_time_text(env->diag, text, &r->data.time);
        cv_mem_free(text);
        return rc;
    }
    if (is_binary(in)) {
        const uint8_t *b;
        size_t len;
        if (!source_bytes(env, in, &b, &len)) return oom(env);
        if (len < 6) {
            engine_error(env->diag, "HY000", "Underflow in CAST");
            return -1;
        }
        TIME_STRUCT t;
        std::memcpy(&t, b, 6);
        if (!valid_time(t.hour, t.minute, t.second)) return bad_datetime_image(env);
        r->data.time = t;
        return 0;
    }
    if (in->type == VT_TIME) {
        r->data.time = in->data.time;
        return 0;
    }
    if (in->type == VT_TIMESTAMP) {
        r->data.time = TIME_STRUCT{in->data.ts.hour, in->data.ts.minute, in->data.ts.second};
        return 0;
    }
    if (in->type == VT_DATE) {
        r->data.time = TIME_STRUCT{0, 0, 0};
        return 0;
    }
    return not_a_datetime(env);
}

int to_timestamp(ValueEnv *env, const Value *in, Value *r) {
    if (is_char_value_type(in->type)) {
        char *text;
        if (datetime_text(env, in, &text) != 0) return -1;
        int rc = parse_timestamp_text(env->diag, text, &r->data.ts);
        cv_mem_free(text);
        return rc;
    }
    if (is_binary(in)) {
        const uint8_t *b;
        size_t len;
        if (!source_bytes(env, in, &b, &len)) return oom(env);
        if (len < 16) {
            engine_error(env->diag, "HY000", "Underflow in CAST");
            return -1;
        }
        TIMESTAMP_STRUCT t;
        std::memcpy(&t, b, 16);
        if (!valid_timestamp(&t)) return bad_datetime_image(env);
        r->data.ts = t;
        return 0;
    }
    switch (in->type) {
    case VT_TIMESTAMP: r->data.ts = in->data.ts; return 0;
    case VT_DATE:
        r->data.ts = TIMESTAMP_STRUCT{in->data.date.year, in->data.date.month, in->data.date.day, 0, 0, 0, 0};
        return 0;
    case VT_TIME: {
        TIMESTAMP_STRUCT day = env->start;
        if (day.year == 0) local_now(&day);
        r->data.ts = TIMESTAMP_STRUCT{day.year, day.month, day.day, in->data.time.hour,
                                      in->data.time.minute, in->data.time.second, 0};
        return 0;
    }
    default: return not_a_datetime(env);
    }
}

int to_interval(const CastTarget *t, ValueEnv *env, const Value *in, Value *r, int code) {
    int lead = t->leading_precision > 0 ? t->leading_precision : 2;
    int secs = t->seconds_precision >= 0 ? t->seconds_precision : 6;
    bool with_seconds = code == 6 || code == 10 || code == 12 || code == 13;
    if (is_char_value_type(in->type)) {
        char *text;
        if (datetime_text(env, in, &text) != 0) return -1;
        const char *body = text;
        while (*body == ' ') body++;
        if (body[0] == '{') {
            int rc = parse_interval_text(env->diag, body, &r->data.iv, code);
            cv_mem_free(text);
            return rc;
        }
        const char *sign = "";
        if (body[0] == '-') {
            sign = "-";
            body++;
        }
        char form[kMaxLiteralText + 64];
        int n = with_seconds
                    ? std::snprintf(form, sizeof form, "{INTERVAL %s'%s' %s(%d,%d)}", sign, body,
                                    interval_qualifier_text(code), lead, secs)
                    : std::snprintf(form, sizeof form, "{INTERVAL %s'%s' %s(%d)}", sign, body,
                                    interval_qualifier_text(code), lead);
        cv_mem_free(text);
        if (n < 0 || static_cast<size_t>(n) >= sizeof form) {
            engine_error(env->diag, "22015", "Interval field overflow");
            return -1;
        }
        return parse_interval_text(env->diag, form, &r->data.iv, code);
    }
    bool ym = interval_is_year_month(code);
    if (is_interval_value_type(in->type)) {
        const SQL_INTERVAL_STRUCT &iv = in->data.iv;
        if (interval_is_year_month(iv.interval_type) != ym) {
            engine_error(env->diag, "HY000", "General error: %s", "Invalid interval literal");
            return -1;
        }
        int rc = ym ? interval_from_months(code, interval_total_months(&iv), &r->data.iv)
                    : interval_from_nanos(code, interval_total_nanos(&iv), &r->data.iv);
        if (rc != 0) {
            engine_error(env->diag, "22015", "Interval field overflow");
            return -1;
        }
        return 0;
    }
    // A number becomes that many units of the leading field.
    int64_t v;
    bool handled;
    if (integer_reading(env, in, &v, &handled) != 0) return -1;
    if (!handled) return not_a_datetime(env);
    // The leading field holds 32 bits whatever precision the type names.
    constexpr int64_t kFieldMax = 0xFFFFFFFFLL;
    int64_t limit = 1;
    for (int i = 0; i < lead && limit <= kFieldMax; i++) limit *= 10;
    if (v >= limit || v <= -limit || v > kFieldMax || v < -kFieldMax) {
        engine_error(env->diag, "22015", "Interval field overflow");
        return -1;
    }
    SQL_INTERVAL_STRUCT iv{};
    iv.interval_type = static_cast<SQLINTERVAL>(code);
    iv.interval_sign = v < 0 ? SQL_TRUE : SQL_FALSE;
    SQLUINTEGER m = static_cast<SQLUINTEGER>(v < 0 ? -v : v);
    switch (code) {
    case 1: case 7: iv.intval.year_month.year = m; break;
    case 2: iv.intval.year_month.month = m; break;
    case 3: case 8: case 9: case 10: iv.intval.day_second.day = m; break;
    case 4: case 11: case 12: iv.intval.day_second.hour = m; break;
    case 5: case 13: iv.intval.day_second.minute = m; break;
    default: iv.intval.day_second.second = m; break;
    }
    r->data.iv = iv;
    return 0;
}

}  // namespace

uint32_t cast_result_type(int sql_type, int *interval_code) {
    int code = 0;
    uint32_t t = value_type_for_sql_type(sql_type, &code);
    if (interval_code) *interval_code = code;
    return t;
}

int cast_value(const CastTarget *target, ValueEnv *env, const Value *in, Value **out) {
    *out = nullptr;
    int code = 0;
    uint32_t type = cast_result_type(target->sql_type, &code);
    if (type == 0) {
        engine_error(env->diag, "HY000", "General error: %s", "unsupported CAST target type");
        return -1;
    }
    Value *r = new_value_of_type(env->pool, type);
    if (!r) return oom(env);
    if (code) r->data.iv.interval_type = static_cast<SQLINTERVAL>(code);
    if (in == nullptr || in->is_null || in->type == VT_NULL) {
        r->is_null = -1;
        *out = r;
        return 0;
    }
    int rc;
    switch (target->sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR: rc = to_char(target, env, in, r); break;
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT: rc = to_integer(target, env, in, r); break;
    case SQL_BIT: rc = to_bit(env, in, r); break;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: rc = to_double(env, in, r); break;
    case SQL_NUMERIC:
    case SQL_DECIMAL: rc = to_numeric(target, env, in, r); break;
    case SQL_BIGINT: rc = to_bigint(env, in, r); break;
    case SQL_BINARY:
    case SQL_VARBINARY: rc = to_binary(target, env, in, r); break;
    case SQL_LONGVARCHAR: rc = to_long(env, in, r, false); break;
    case SQL_LONGVARBINARY: rc = to_long(env, in, r, true); break;
    case 9:
    case 91: rc = to_date(env, in, r); break;
    case 10:
    case 92: rc = to_time(env, in, r); break;
    case 11:
    case 93: rc = to_timestamp(env, in, r); break;
    default:
        if (code) {
            rc = to_interval(target, env, in, r, code);
            if (rc == 0) {
                r->interval_leading_precision = target->leading_precision > 0 ? target->leading_precision : 2;
                r->interval_seconds_precision = target->seconds_precision >= 0 ? target->seconds_precision : 0;
            }
            break;
        }
        engine_error(env->diag, "HY000", "General error: %s", "unsupported CAST target type");
        rc = -1;
    }
    if (rc != 0) {
        release_value(r);
        return -1;
    }
    r->is_null = 0;
    *out = r;
    return 0;
}

int is_assignable(int source, int target) {
    auto in = [](int t, std::initializer_list<int> set) {
        for (int s : set)
            if (s == t) return true;
        return false;
    };
    const std::initializer_list<int> kLongBinary = {SQL_LONGVARCHAR, SQL_LONGVARBINARY, SQL_BINARY,
                                                    SQL_VARBINARY};
    auto long_or_binary = [&](int t) { return in(t, kLongBinary); };
    bool target_known = type_class(target) != kClassUnknown;
    if (!target_known) return 0;
    switch (source) {
    case SQL_NUMERIC: case SQL_DECIMAL: case SQL_INTEGER: case SQL_SMALLINT: case SQL_FLOAT:
    case SQL_REAL: case SQL_DOUBLE: case SQL_TINYINT: case SQL_BIGINT:
        return in(target, {SQL_CHAR, SQL_NUMERIC, SQL_DECIMAL, SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT,
                           SQL_REAL, SQL_DOUBLE, SQL_VARCHAR, 101, 102, 103, 104, 105, 106, SQL_BIT,
                           SQL_TINYINT, SQL_BIGINT}) ||
               long_or_binary(target);
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_BINARY: case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return 1;
    case 9: case 91:
        return in(target, {SQL_CHAR, SQL_VARCHAR, 9, 91, 11, 93}) || long_or_binary(target);
    case 10: case 92:
        return in(target, {SQL_CHAR, SQL_VARCHAR, 10, 92, 11, 93}) || long_or_binary(target);
    case 11: case 93:
        return in(target, {SQL_CHAR, SQL_VARCHAR, 11, 93}) || long_or_binary(target);
    case SQL_BIT:
        return in(target, {SQL_CHAR, SQL_NUMERIC, SQL_DECIMAL, SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT,
                           SQL_REAL, SQL_DOUBLE, SQL_VARCHAR, SQL_BIT, SQL_TINYINT, SQL_BIGINT}) ||
               long_or_binary(target);
    default: return 0;
    }
}
