// The conversion of JSON reply values into column values (see value_rules.h).
//
// kRules below is the whole of it: one rule per (JSON kind, target). PayPal
// sends amounts, quantities and sizes as JSON strings ("10.00", "3",
// "1024"), dates as date-only texts, and a few numbers as JSON numbers; a
// rule reads each form exactly or says why it cannot.
#include "sqi/value_rules.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "sqi/catalog.h"
#include "sqi/datetime_text.h"
#include "sqi/json_writer.h"
#include "support/numeric.h"

namespace {

// The kinds of JSON value a rule is chosen by (null never reaches a rule).
enum class JsonKind : int32_t { kString = 0, kInteger = 1, kReal = 2, kBoolean = 3, kObject = 4, kArray = 5 };
constexpr int kJsonKindCount = 6;

JsonKind kind_of(const json_t *v) {
    switch (json_typeof(v)) {
        case JSON_STRING: return JsonKind::kString;
        case JSON_INTEGER: return JsonKind::kInteger;
        case JSON_REAL: return JsonKind::kReal;
        case JSON_TRUE:
        case JSON_FALSE: return JsonKind::kBoolean;
        case JSON_OBJECT: return JsonKind::kObject;
        default: return JsonKind::kArray;
    }
}

struct RuleInput {
    const json_t *v;
    ValueTarget target;
    const PaypalColumn *column;
    std::string &scratch;
};

using Rule = ValueOutcome (*)(const RuleInput &in, ConvertedValue *out);

bool is_exact_numeric_column(int sql_type) { return sql_type == SQL_NUMERIC || sql_type == SQL_DECIMAL; }

std::string_view string_of(const json_t *v) { return {json_string_value(v), json_string_length(v)}; }

// A decimal number as JSON and PayPal write it, the whole text:
// [+-] digits [. digits] [e [+-] digits], with digits on at least one side
// of the point. No blanks, no hexadecimal, no "inf" or "nan".
bool is_number_text(std::string_view s, bool *integral) {
    size_t i = 0, n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t int_digits = 0, frac_digits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++int_digits;
    *integral = true;
    if (i < n && s[i] == '.') {
        *integral = false;
        ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++frac_digits;
    }
    if (int_digits + frac_digits == 0) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        *integral = false;
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        size_t exp_digits = 0;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    return i == n;
}

// The shortest decimal that reads back as `d`, in positional notation
// ("%f" would keep six places: 0.0000001 would read 0.000000).
std::string_view real_text(double d, std::string &scratch) {
    // Positional notation of any finite double fits: 309 integer digits, or
    // "0." and 324 places.
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
    if (ec != std::errc()) end = buf;  // cannot happen for a finite double
    scratch.assign(buf, static_cast<size_t>(end - buf));
    return scratch;
}

std::string_view integer_text(json_int_t n, std::string &scratch) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(n));
    (void)ec;  // 32 characters hold every 64-bit integer
    scratch.assign(buf, static_cast<size_t>(end - buf));
    return scratch;
}

// Text for a numeric column: NUMERIC and DECIMAL columns must also hold the
// number in their precision and scale, as the engine will read it.
// `terminated` is `text` with its terminator (a JSON string or the scratch).
ValueOutcome number_text(const RuleInput &in, std::string_view text, const char *terminated, ConvertedValue *out) {
    if (is_exact_numeric_column(in.column->sql_type)) {
        SQL_NUMERIC_STRUCT n;
        int r = string_to_numeric(terminated, &n, kNumericColumnPrecision, in.column->size);
        if (r == kNumOverflow) return ValueOutcome::kOutOfRange;
        if (r != kNumOk) return ValueOutcome::kBadNumber;
    }
    out->text = text;
    return ValueOutcome::kValue;
}

// Integers are checked against the target: the column's own integer type
// for 32-bit reads, 64 bits otherwise.
ValueOutcome put_integer(const RuleInput &in, int64_t n, ConvertedValue *out) {
    if (in.target == ValueTarget::kInt64) {
        out->fixed.i64 = n;
        out->fixed_size = sizeof(int64_t);
        return ValueOutcome::kValue;
    }
    int64_t low = INT32_MIN, high = INT32_MAX;
    switch (in.column->sql_type) {
        case SQL_TINYINT: low = -128, high = 255; break;  // signed or unsigned bytes
        case SQL_SMALLINT: low = -32768, high = 65535; break;
        case SQL_BIT: low = 0, high = 1; break;
        default: break;
    }
    if (n < low || n > high) return ValueOutcome::kOutOfRange;
    out->fixed.i32 = static_cast<int32_t>(n);
    out->fixed_size = sizeof(int32_t);
    return ValueOutcome::kValue;
}

// A real into an integer is truncated toward zero when it fits 64 bits.
ValueOutcome put_truncated(const RuleInput &in, double d, ConvertedValue *out) {
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return ValueOutcome::kOutOfRange;
    return put_integer(in, static_cast<int64_t>(d), out);
}

ValueOutcome put_double(double d, ConvertedValue *out) {
    if (!std::isfinite(d)) return ValueOutcome::kOutOfRange;
    out->fixed.d = d;
    out->fixed_size = sizeof(double);
    return ValueOutcome::kValue;
}

// ---- the rules, by JSON kind

ValueOutcome wrong_kind(const RuleInput &, ConvertedValue *) { return ValueOutcome::kWrongKind; }

ValueOutcome string_as_text(const RuleInput &in, ConvertedValue *out) {
    out->text = string_of(in.v);
    return ValueOutcome::kValue;
}

ValueOutcome string_as_number_text(const RuleInput &in, ConvertedValue *out) {
    bool integral;
    if (!is_number_text(string_of(in.v), &integral)) return ValueOutcome::kBadNumber;
    return number_text(in, string_of(in.v), json_string_value(in.v), out);
}

ValueOutcome string_as_integer(const RuleInput &in, ConvertedValue *out) {
    std::string_view s = string_of(in.v);
    bool integral;
    if (!is_number_text(s, &integral)) return ValueOutcome::kBadNumber;
    if (!integral) return put_truncated(in, strtod(json_string_value(in.v), nullptr), out);
    if (s[0] == '+') s.remove_prefix(1);  // from_chars takes a minus only
    int64_t n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec == std::errc::result_out_of_range) return ValueOutcome::kOutOfRange;
    if (ec != std::errc() || end != s.data() + s.size()) return ValueOutcome::kBadNumber;
    return put_integer(in, n, out);
}

ValueOutcome string_as_double(const RuleInput &in, ConvertedValue *out) {
    bool integral;
    if (!is_number_text(string_of(in.v), &integral)) return ValueOutcome::kBadNumber;
    // The syntax check leaves strtod nothing to stop at before the end.
    return put_double(strtod(json_string_value(in.v), nullptr), out);
}

ValueOutcome string_as_datetime(const RuleInput &in, ConvertedValue *out) {
    DatetimeText t;
    if (!parse_datetime_text(string_of(in.v), &t)) return ValueOutcome::kBadDatetime;
    switch (in.target) {
        case ValueTarget::kDate:
            if (t.form == DatetimeForm::kTime) return ValueOutcome::kBadDatetime;
            out->fixed.date = DATE_STRUCT{t.ts.year, t.ts.month, t.ts.day};
            out->fixed_size = sizeof(DATE_STRUCT);
            return ValueOutcome::kValue;
        case ValueTarget::kTime:
            // A time of day has no fraction to keep.
            if (t.form == DatetimeForm::kDate) return ValueOutcome::kBadDatetime;
            out->fixed.time = TIME_STRUCT{t.ts.hour, t.ts.minute, t.ts.second};
            out->fixed_size = sizeof(TIME_STRUCT);
            return ValueOutcome::kValue;
        default:
            // A date-only text is midnight of that day.
            if (t.form == DatetimeForm::kTime) return ValueOutcome::kBadDatetime;
            out->fixed.ts = t.ts;
            out->fixed_size = sizeof(TIMESTAMP_STRUCT);
            return ValueOutcome::kValue;
    }
}

ValueOutcome integer_as_text(const RuleInput &in, ConvertedValue *out) {
    out->text = integer_text(json_integer_value(in.v), in.scratch);
    return ValueOutcome::kValue;
}

ValueOutcome integer_as_number_text(const RuleInput &in, ConvertedValue *out) {
    std::string_view text = integer_text(json_integer_value(in.v), in.scratch);
    return number_text(in, text, in.scratch.c_str(), out);
}

ValueOutcome integer_as_integer(const RuleInput &in, ConvertedValue *out) {
    return put_integer(in, json_integer_value(in.v), out);
}

ValueOutcome integer_as_double(const RuleInput &in, ConvertedValue *out) {
    return put_double(static_cast<double>(json_integer_value(in.v)), out);
}

ValueOutcome real_as_text(const RuleInput &in, ConvertedValue *out) {
    out->text = real_text(json_real_value(in.v), in.scratch);
    return ValueOutcome::kValue;
}

ValueOutcome real_as_number_text(const RuleInput &in, ConvertedValue *out) {
    std::string_view text = real_text(json_real_value(in.v), in.scratch);
    return number_text(in, text, in.scratch.c_str(), out);
}

ValueOutcome real_as_integer(const RuleInput &in, ConvertedValue *out) {
    return put_truncated(in, json_real_value(in.v), out);
}

ValueOutcome real_as_double(const RuleInput &in, ConvertedValue *out) { return put_double(json_real_value(in.v), out); }

ValueOutcome boolean_as_text(const RuleInput &in, ConvertedValue *out) {
    out->text = json_is_true(in.v) ? "True" : "False";
    return ValueOutcome::kValue;
}

ValueOutcome boolean_as_number_text(const RuleInput &in, ConvertedValue *out) {
    out->text = json_is_true(in.v) ? "1" : "0";
    return ValueOutcome::kValue;
}

ValueOutcome boolean_as_integer(const RuleInput &in, ConvertedValue *out) {
    return put_integer(in, json_is_true(in.v) ? 1 : 0, out);
}

ValueOutcome boolean_as_double(const RuleInput &in, ConvertedValue *out) {
    return put_double(json_is_true(in.v) ? 1.0 : 0.0, out);
}

// Objects and arrays as text: their sorted JSON text; an empty array is
// NULL (an array column without elements).
ValueOutcome structure_as_text(const RuleInput &in, ConvertedValue *out) {
    if (json_is_array(in.v) && json_array_size(in.v) == 0) return ValueOutcome::kNull;
    in.scratch.clear();
    if (!append_json_text(in.v, in.scratch)) return ValueOutcome::kWrongKind;
    out->text = in.scratch;
    return ValueOutcome::kValue;
}

// clang-format off
// Rows: JSON kinds in JsonKind order. Columns: targets in ValueTarget order
// (text, number text, int32, int64, double, date, time, timestamp).
constexpr Rule kRules[kJsonKindCount][kValueTargetCount] = {
    /* string  */ {string_as_text, string_as_number_text, string_as_integer, string_as_integer,
                   string_as_double, string_as_datetime, string_as_datetime, string_as_datetime},
    /* integer */ {integer_as_text, integer_as_number_text, integer_as_integer, integer_as_integer,
                   integer_as_double, wrong_kind, wrong_kind, wrong_kind},
    /* real    */ {real_as_text, real_as_number_text, real_as_integer, real_as_integer,
                   real_as_double, wrong_kind, wrong_kind, wrong_kind},
    /* boolean */ {boolean_as_text, boolean_as_number_text, boolean_as_integer, boolean_as_integer,
                   boolean_as_double, wrong_kind, wrong_kind, wrong_kind},
    /* object  */ {structure_as_text, wrong_kind, wrong_kind, wrong_kind,
                   wrong_kind, wrong_kind, wrong_kind, wrong_kind},
    /* array   */ {structure_as_text, wrong_kind, wrong_kind, wrong_kind,
                   wrong_kind, wrong_kind, wrong_kind, wrong_kind},
};
// clang-format on

}  // namespace

bool value_target(int c_type, int sql_type, ValueTarget *out) {
    switch (c_type) {
        case SQL_C_CHAR:
            switch (sql_type) {
                case SQL_NUMERIC: case SQL_DECIMAL: case SQL_INTEGER: case SQL_SMALLINT:
                case SQL_BIGINT: case SQL_DOUBLE: case SQL_FLOAT: case SQL_REAL:
                    *out = ValueTarget::kNumberText;
                    break;
                default:
                    // Boolean (TINYINT) columns too: as text they read "True"/"False".
                    *out = ValueTarget::kText;
                    break;
            }
            return true;
        case SQL_C_LONG: case SQL_C_SLONG: *out = ValueTarget::kInt32; return true;
        case SQL_C_SBIGINT: *out = ValueTarget::kInt64; return true;
        case SQL_C_DOUBLE: *out = ValueTarget::kDouble; return true;
        case SQL_C_DATE: case SQL_C_TYPE_DATE: *out = ValueTarget::kDate; return true;
        case SQL_C_TIME: case SQL_C_TYPE_TIME: *out = ValueTarget::kTime; return true;
        case SQL_C_TIMESTAMP: case SQL_C_TYPE_TIMESTAMP: *out = ValueTarget::kTimestamp; return true;
        default: return false;
    }
}

ValueOutcome convert_json_value(const json_t *v, ValueTarget target, const PaypalColumn *column, std::string &scratch,
                                ConvertedValue *out) {
    *out = ConvertedValue{};
    const RuleInput in{v, target, column, scratch};
    return kRules[static_cast<int>(kind_of(v))][static_cast<int>(target)](in, out);
}

const char *value_outcome_sqlstate(ValueOutcome outcome) {
    switch (outcome) {
        case ValueOutcome::kWrongKind:
        case ValueOutcome::kBadNumber: return "22018";
        case ValueOutcome::kBadDatetime: return "22007";
        case ValueOutcome::kOutOfRange: return "22003";
        default: return nullptr;
    }
}

const char *value_outcome_text(ValueOutcome outcome) {
    switch (outcome) {
        case ValueOutcome::kWrongKind:
        case ValueOutcome::kBadNumber: return "Invalid character value for cast specification";
        case ValueOutcome::kBadDatetime: return "Invalid datetime format";
        case ValueOutcome::kOutOfRange: return "Numeric value out of range";
        default: return "";
    }
}
