// Date and time scalar functions, on the Gregorian calendar of the support
// library (day of week 0 = Sunday). Every datetime argument is validated
// before its fields index a name table.
#include <cstring>

#include "engine/fn_common.h"
#include "support/calendar.h"
#include "support/interval.h"
#include "support/value_ops.h"

namespace {

const char *const kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
const char *const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};

int64_t jdn_of(const TIMESTAMP_STRUCT &t) { return ymd_to_jdnl(t.year, t.month, t.day); }

int dow_of(const TIMESTAMP_STRUCT &t) { return jdnl_to_dow(jdn_of(t)); }

int week_of(const TIMESTAMP_STRUCT &t) {
    int64_t j = jdn_of(t), j1 = ymd_to_jdnl(t.year, 1, 1);
    return static_cast<int>((j - j1 + jdnl_to_dow(j1)) / 7 + 1);
}

// One datetime argument -> an integer field.
template <typename F>
int field(ValueEnv *env, int argc, Value *const *args, Value **out, F f) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    TIMESTAMP_STRUCT t;
    if (fn::arg_timestamp(env, args[0], &t) != 0) return -1;
    return fn::int_result(env, f(t), out);
}

// The unit text of a keyword argument (a character literal or a name).
int unit_text(ValueEnv *env, const Value *v, char *buf, size_t cap) {
    const char *t;
    size_t n;
    if (fn::arg_text(env, v, &t, &n) != 0) return -1;
    if (n >= cap) n = cap - 1;
    std::memcpy(buf, t, n);
    buf[n] = 0;
    return 0;
}

__int128 nanos_of(const TIMESTAMP_STRUCT &t) {
    return ((static_cast<__int128>(jdn_of(t)) * 86400 + t.hour * 3600 + t.minute * 60 + t.second) *
            1000000000) +
           t.fraction;
}

// Whole calendar months from a to b (a partial last month does not count).
int64_t month_diff(const TIMESTAMP_STRUCT &a, const TIMESTAMP_STRUCT &b) {
    int64_t out = 0;
    (void)timestamp_diff(&a, &b, TsiUnit::kMonth, &out);
    return out;
}

}  // namespace

int fn_dayname(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    TIMESTAMP_STRUCT t;
    if (fn::arg_timestamp(env, args[0], &t) != 0) return -1;
    const char *name = kDayNames[dow_of(t)];
    return fn::text_result(env, name, std::strlen(name), out);
}

int fn_monthname(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_CHAR, out);
    TIMESTAMP_STRUCT t;
    if (fn::arg_timestamp(env, args[0], &t) != 0) return -1;
    const char *name = kMonthNames[t.month - 1];  // month validated 1-12
    return fn::text_result(env, name, std::strlen(name), out);
}

int fn_dayofmonth(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return t.day; });
}
int fn_dayofweek(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return dow_of(t) + 1; });
}
int fn_dayofyear(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out,
                 [](const TIMESTAMP_STRUCT &t) { return day_of_year(t.year, t.month, t.day); });
}
int fn_hour(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return t.hour; });
}
int fn_minute(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return t.minute; });
}
int fn_second(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return t.second; });
}
int fn_month(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return t.month; });
}
int fn_year(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return t.year; });
}
int fn_quarter(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return (t.month - 1) / 3 + 1; });
}
int fn_week(ValueEnv *env, int argc, Value *const *args, Value **out) {
    return field(env, argc, args, out, [](const TIMESTAMP_STRUCT &t) { return week_of(t); });
}

int fn_curdate(ValueEnv *env, int, Value *const *, Value **out) {
    TIMESTAMP_STRUCT s = fn::start_instant(env);
    Value *v = new_value_of_type(env->pool, VT_DATE);
    if (!v) return fn::oom(env);
    v->data.date = DATE_STRUCT{s.year, s.month, s.day};
    *out = v;
    return 0;
}

int fn_curtime(ValueEnv *env, int, Value *const *, Value **out) {
    TIMESTAMP_STRUCT s = fn::start_instant(env);
    Value *v = new_value_of_type(env->pool, VT_TIME);
    if (!v) return fn::oom(env);
    v->data.time = TIME_STRUCT{s.hour, s.minute, s.second};
    *out = v;
    return 0;
}

int fn_current_timestamp(ValueEnv *env, int, Value *const *, Value **out) {
    Value *v = new_value_of_type(env->pool, VT_TIMESTAMP);
    if (!v) return fn::oom(env);
    v->data.ts = fn::start_instant(env);
    *out = v;
    return 0;
}

int fn_datediff(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    char unit[16];
    if (unit_text(env, args[0], unit, sizeof unit) != 0) return -1;
    TIMESTAMP_STRUCT a, b;
    if (fn::arg_timestamp(env, args[1], &a) != 0 || fn::arg_timestamp(env, args[2], &b) != 0) return -1;
    // Exact nanosecond difference; the sign is kept apart and applied to
    // the truncated magnitude.
    __int128 d = nanos_of(b) - nanos_of(a);
    bool neg = d < 0;
    __int128 m = neg ? -d : d;
    __int128 r;
    const __int128 sec = 1000000000;
    if (std::strcmp(unit, "s") == 0) {
        r = m / sec;
    } else if (std::strcmp(unit, "n") == 0) {
        r = m / (60 * sec);
    } else if (std::strcmp(unit, "h") == 0) {
        r = m / (3600 * sec);
    } else if (std::strcmp(unit, "d") == 0) {
        r = m / (86400 * sec);
    } else if (std::strcmp(unit, "ww") == 0) {
        r = m / (86400 * sec) / 7;
    } else if (std::strcmp(unit, "m") == 0 || std::strcmp(unit, "q") == 0 ||
               std::strcmp(unit, "yyyy") == 0) {
        // Whole calendar months between the two instants.
        int64_t months = neg ? month_diff(b, a) : month_diff(a, b);
        r = unit[0] == 'm' ? months : unit[0] == 'q' ? months / 3 : months / 12;
    } else if (std::strcmp(unit, "y") == 0) {
        return fn::general(env, "DateDiff day of year not supported");
    } else if (std::strcmp(unit, "w") == 0) {
        return fn::general(env, "DateDiff weekday not supported");
    } else {
        return fn::general(env, "DateDiff unknown interval argument");
    }
    return fn::int_result(env, static_cast<int64_t>(neg ? -r : r), out);
}

int fn_datepart(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    char unit[16];
    if (unit_text(env, args[0], unit, sizeof unit) != 0) return -1;
    TIMESTAMP_STRUCT t;
    if (fn::arg_timestamp(env, args[1], &t) != 0) return -1;
    int64_t r;
    if (std::strcmp(unit, "s") == 0) r = t.second;
    else if (std::strcmp(unit, "n") == 0) r = t.minute;
    else if (std::strcmp(unit, "h") == 0) r = t.hour;
    else if (std::strcmp(unit, "d") == 0) r = t.day;
    else if (std::strcmp(unit, "ww") == 0) r = week_of(t);
    else if (std::strcmp(unit, "w") == 0) r = dow_of(t) + 1;
    else if (std::strcmp(unit, "m") == 0) r = t.month;
    else if (std::strcmp(unit, "q") == 0) r = (t.month - 1) / 3 + 1;
    else if (std::strcmp(unit, "yyyy") == 0) r = t.year;
    else if (std::strcmp(unit, "y") == 0) r = day_of_year(t.year, t.month, t.day);
    else return fn::general(env, "DatePart unknown interval argument");
    return fn::int_result(env, r, out);
}

int fn_timestampadd(ValueEnv *env, int argc, Value *const *args, Value **out) {
    char unit_name[32];
    if (args[0] && !args[0]->is_null && unit_text(env, args[0], unit_name, sizeof unit_name) != 0) return -1;
    TsiUnit unit = args[0] && !args[0]->is_null ? tsi_unit_from_name(unit_name) : TsiUnit::kUnknown;
    // The result is a timestamp whatever the third argument: a date is taken
    // at midnight, a time on the statement's date (arg_timestamp), as ODBC
    // describes TIMESTAMPADD, so the value matches its described type.
    const Value *t = args[2];
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_TIMESTAMP, out);
    if (unit == TsiUnit::kUnknown)
        return engine_error(env->diag, "HY000",
                            "First argument to TIMESTAPADD must be a interval specifier not '%s'",
                            unit_name);
    int64_t n;
    if (fn::arg_int64(env, args[1], &n) != 0) return -1;
    TIMESTAMP_STRUCT ts;
    if (fn::arg_timestamp(env, t, &ts) != 0) return -1;
    Value *v = new_value_of_type(env->pool, VT_TIMESTAMP);
    if (!v) return fn::oom(env);
    int rc = timestamp_add(&ts, unit, n);
    v->data.ts = ts;
    if (rc != 0) {
        release_value(v);
        return engine_error(env->diag, "22008", "Datetime field overflow");
    }
    *out = v;
    return 0;
}

int fn_timestampdiff(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    char unit_name[32];
    if (unit_text(env, args[0], unit_name, sizeof unit_name) != 0) return -1;
    TsiUnit unit = tsi_unit_from_name(unit_name);
    if (unit == TsiUnit::kUnknown)
        return engine_error(env->diag, "HY000",
                            "First argument to TIMESTAMPDIFF must be a interval specifier not '%s'",
                            unit_name);
    TIMESTAMP_STRUCT a, b;
    if (fn::arg_timestamp(env, args[1], &a) != 0 || fn::arg_timestamp(env, args[2], &b) != 0) return -1;
    int64_t r;
    if (timestamp_diff(&a, &b, unit, &r) != 0)
        return engine_error(env->diag, "22003", "Numeric value out of range");
    return fn::int_result(env, r, out);
}

int fn_extract(ValueEnv *env, int argc, Value *const *args, Value **out) {
    if (fn::any_null(argc, args)) return fn::null_result(env, VT_INTEGER, out);
    int32_t f;
    if (fn::arg_int(env, args[0], &f) != 0) return -1;
    if (f < 0 || f > 5) return fn::general(env, "EXTRACT unknown field");
    const Value *s = args[1];
    static const char *const kYmErrors[6] = {nullptr,
                                             nullptr,
                                             "Cannot extract DAY from INTERVAL YEAR/MONTH",
                                             "Cannot extract HOUR from INTERVAL YEAR/MONTH",
                                             "Cannot extract MINUTE from INTERVAL YEAR/MONTH",
                                             "Cannot extract SECOND from INTERVAL YEAR/MONTH"};
    if (s->type == VT_INTERVAL_YM) {
        if (f >= 2) return fn::general(env, kYmErrors[f]);
        int64_t months = interval_total_months(&s->data.iv);
        return fn::int_result(env, f == 0 ? months / 12 : months, out);
    }
    if (s->type == VT_INTERVAL_DS) {
        if (f < 2) return fn::general(env, "Cannot extract YEAR/MONTH from INTERVAL DAY");
        __int128 secs = interval_total_nanos(&s->data.iv) / 1000000000;
        static const int kDiv[6] = {0, 0, 86400, 3600, 60, 1};
        return fn::int_result(env, static_cast<int64_t>(secs / kDiv[f]), out);
    }
    TIMESTAMP_STRUCT t;
    if (fn::arg_timestamp(env, s, &t) != 0) return -1;
    bool date_part = s->type != VT_TIME, time_part = s->type != VT_DATE;
    int64_t r = 0;
    switch (f) {
    case 0: r = date_part ? t.year : 0; break;
    case 1: r = date_part ? t.month : 0; break;
    case 2: r = date_part ? t.day : 0; break;
    case 3: r = time_part ? t.hour : 0; break;
    case 4: r = time_part ? t.minute : 0; break;
    default: r = time_part ? t.second : 0; break;
    }
    return fn::int_result(env, r, out);
}
