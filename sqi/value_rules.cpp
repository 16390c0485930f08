// The conversion of JSON reply values into column values (see value_rules.h).
//
// kRules below is the whole of it: one rule per (JSON kind, target). PayPal
// sends amounts, quantities and sizes as JSON strings ("10.00", "3",
// "1024"), dates as date-only texts, and a few numbers as JSON numbers; a
// rule reads each form exactly or says why it cannot. A JSON number comes
// as the reply wrote it, so its text keeps its own digits.
#include "sqi/value_rules.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "sqi/catalog.h"
#include "sqi/datetime_text.h"
#include "support/numeric.h"

namespace {

// The kinds of JSON value a rule is chosen by (null never reaches a rule).
enum class RuleKind : int32_t { kString = 0, kInteger = 1, kReal = 2, kBoolean = 3, kObject = 4, kArray = 5 };
constexpr int kRuleKindCount = 6;

RuleKind kind_of(const ReplyValue &v) {
    switch (v.kind) {
        case JsonKind::kString: return RuleKind::kString;
        case JsonKind::kInteger: return RuleKind::kInteger;
        case JsonKind::kReal: return RuleKind::kReal;
        case JsonKind::kTrue:
        case JsonKind::kFalse: return RuleKind::kBoolean;
        case JsonKind::kObject: return RuleKind::kObject;
        default: return RuleKind::kArray;
    }
}

struct RuleInput {
    const ReplyValue &v;
    ValueTarget target;
    const PaypalColumn *column;
    std::string &scratch;
};

using Rule = ValueOutcome (*)(const RuleInput &in, ConvertedValue *out);

bool is_exact_numeric_column(int sql_type) { return sql_type == SQL_NUMERIC || sql_type == SQL_DECIMAL; }

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

// `text` (a number text) with a terminator, for the C library's readers:
// in `scratch` unless it is short.
struct Terminated {
    char small[64];
    const char *c_str;
    Terminated(std::string_view text, std::string &scratch) {
        if (text.size() < sizeof small) {
            std::memcpy(small, text.data(), text.size());
            small[text.size()] = 0;
            c_str = small;
        } else {
            scratch.assign(text);
            c_str = scratch.c_str();
        }
    }
};

// A number text's double (the syntax is checked before, so strtod reads
// it all; an underflow reads as zero, an overflow as infinity).
double double_of(std::string_view text, std::string &scratch) {
    Terminated t(text, scratch);
    return strtod(t.c_str, nullptr);
}

// Positional notation of a JSON number longer than this is not written: no
// column type holds it, and the text would be made from outside input.
constexpr size_t kMaxPositional = 400;

// The JSON number `token` with its own digits in positional notation ("1e-7"
// is "0.0000001", "1.50e1" is "15.0"): the digits of the number, the point
// moved by the exponent. False when that is longer than kMaxPositional.
bool positional_text(std::string_view token, std::string &out) {
    size_t i = 0;
    const bool negative = !token.empty() && token[0] == '-';
    if (negative) ++i;
    std::string_view int_digits, frac_digits;
    size_t start = i;
    while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
    int_digits = token.substr(start, i - start);
    if (i < token.size() && token[i] == '.') {
        start = ++i;
        while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
        frac_digits = token.substr(start, i - start);
    }
    int64_t exponent = 0;
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        ++i;
        const bool exp_negative = i < token.size() && token[i] == '-';
        if (i < token.size() && (token[i] == '-' || token[i] == '+')) ++i;
        for (; i < token.size(); ++i) {
            exponent = exponent * 10 + (token[i] - '0');
            if (exponent > static_cast<int64_t>(kMaxPositional)) return false;
        }
        if (exp_negative) exponent = -exponent;
    }
    // The digits, and where the point goes among them.
    const int64_t point = static_cast<int64_t>(int_digits.size()) + exponent;
    const int64_t digits = static_cast<int64_t>(int_digits.size() + frac_digits.size());
    const int64_t length = (point <= 0 ? 2 - point : 0) + digits + (point > digits ? point - digits : 0) + 2;
    if (length > static_cast<int64_t>(kMaxPositional)) return false;
    std::string all;
    all.reserve(static_cast<size_t>(digits));
    all.append(int_digits).append(frac_digits);
    out.clear();
    if (negative) out += '-';
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<size_t>(-point), '0');
        out += all;
        return true;
    }
    std::string whole = point >= digits ? all + std::string(static_cast<size_t>(point - digits), '0')
                                        : all.substr(0, static_cast<size_t>(point));
    // Leading zeros of the integer part go ("00.5e1" cannot be JSON, but "0.05e1" is "00.5").
    size_t zeros = 0;
    while (zeros + 1 < whole.size() && whole[zeros] == '0') ++zeros;
    out.append(whole, zeros);
    if (point < digits) {
        out += '.';
        out.append(all, static_cast<size_t>(point));
    }
    return true;
}

// The text a JSON integer token reads as: its value (so "-0" is "0"), or
// its digits when beyond 64 bits.
std::string_view integer_text(std::string_view token, std::string &scratch) {
    int64_t n = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), n);
    if (ec != std::errc() || end != token.data() + token.size()) return token;
    char buf[32];
    const auto [text_end, text_ec] = std::to_chars(buf, buf + sizeof buf, n);
    (void)text_ec;  // 32 characters hold every 64-bit integer
    scratch.assign(buf, static_cast<size_t>(text_end - buf));
    return scratch;
}

// Text for a numeric column: NUMERIC and DECIMAL columns must also hold the
// number in their precision and scale, as the engine will read it.
ValueOutcome number_text(const RuleInput &in, std::string_view text, ConvertedValue *out) {
    if (is_exact_numeric_column(in.column->sql_type)) {
        std::string terminated_scratch;
        Terminated t(text, text.data() == in.scratch.data() ? terminated_scratch : in.scratch);
        SQL_NUMERIC_STRUCT n;
        int r = string_to_numeric(t.c_str, &n, kNumericColumnPrecision, in.column->size);
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
    out->text = in.v.text;
    return ValueOutcome::kValue;
}

ValueOutcome string_as_number_text(const RuleInput &in, ConvertedValue *out) {
    bool integral;
    if (!is_number_text(in.v.text, &integral)) return ValueOutcome::kBadNumber;
    return number_text(in, in.v.text, out);
}

ValueOutcome string_as_integer(const RuleInput &in, ConvertedValue *out) {
    std::string_view s = in.v.text;
    bool integral;
    if (!is_number_text(s, &integral)) return ValueOutcome::kBadNumber;
    if (!integral) return put_truncated(in, double_of(s, in.scratch), out);
    if (s[0] == '+') s.remove_prefix(1);  // from_chars takes a minus only
    int64_t n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec == std::errc::result_out_of_range) return ValueOutcome::kOutOfRange;
    if (ec != std::errc() || end != s.data() + s.size()) return ValueOutcome::kBadNumber;
    return put_integer(in, n, out);
}

ValueOutcome string_as_double(const RuleInput &in, ConvertedValue *out) {
    bool integral;
    if (!is_number_text(in.v.text, &integral)) return ValueOutcome::kBadNumber;
    return put_double(double_of(in.v.text, in.scratch), out);
}

ValueOutcome string_as_datetime(const RuleInput &in, ConvertedValue *out) {
    DatetimeText t;
    if (!parse_datetime_text(in.v.text, &t)) return ValueOutcome::kBadDatetime;
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
    out->text = integer_text(in.v.text, in.scratch);
    return ValueOutcome::kValue;
}

ValueOutcome integer_as_number_text(const RuleInput &in, ConvertedValue *out) {
    return number_text(in, integer_text(in.v.text, in.scratch), out);
}

ValueOutcome integer_as_integer(const RuleInput &in, ConvertedValue *out) {
    int64_t n = 0;
    const std::string_view s = in.v.text;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec == std::errc::result_out_of_range) return ValueOutcome::kOutOfRange;
    if (ec != std::errc() || end != s.data() + s.size()) return ValueOutcome::kBadNumber;
    return put_integer(in, n, out);
}

ValueOutcome integer_as_double(const RuleInput &in, ConvertedValue *out) {
    return put_double(double_of(in.v.text, in.scratch), out);
}

// A real as text: its own digits without exponent ("1e-7" reads
// "0.0000001"); one too long for that keeps the form the reply wrote.
ValueOutcome real_as_text(const RuleInput &in, ConvertedValue *out) {
    out->text = positional_text(in.v.text, in.scratch) ? std::string_view(in.scratch) : in.v.text;
    return ValueOutcome::kValue;
}

ValueOutcome real_as_number_text(const RuleInput &in, ConvertedValue *out) {
    if (positional_text(in.v.text, in.scratch)) return number_text(in, in.scratch, out);
    return number_text(in, in.v.text, out);
}

ValueOutcome real_as_integer(const RuleInput &in, ConvertedValue *out) {
    return put_truncated(in, double_of(in.v.text, in.scratch), out);
}

ValueOutcome real_as_double(const RuleInput &in, ConvertedValue *out) {
    return put_double(double_of(in.v.text, in.scratch), out);
}

bool is_true(const RuleInput &in) { return in.v.kind == JsonKind::kTrue; }

ValueOutcome boolean_as_text(const RuleInput &in, ConvertedValue *out) {
    out->text = is_true(in) ? "True" : "False";
    return ValueOutcome::kValue;
}

ValueOutcome boolean_as_number_text(const RuleInput &in, ConvertedValue *out) {
    out->text = is_true(in) ? "1" : "0";
    return ValueOutcome::kValue;
}

ValueOutcome boolean_as_integer(const RuleInput &in, ConvertedValue *out) {
    return put_integer(in, is_true(in) ? 1 : 0, out);
}

ValueOutcome boolean_as_double(const RuleInput &in, ConvertedValue *out) {
    return put_double(is_true(in) ? 1.0 : 0.0, out);
}

// Objects and arrays as text: their sorted JSON text (written when the page
// was read); an empty array is NULL (an array column without elements).
ValueOutcome structure_as_text(const RuleInput &in, ConvertedValue *out) {
    if (in.v.kind == JsonKind::kArray && in.v.text == "[]") return ValueOutcome::kNull;
    out->text = in.v.text;
    return ValueOutcome::kValue;
}

// clang-format off
// Rows: JSON kinds in RuleKind order. Columns: targets in ValueTarget order
// (text, number text, int32, int64, double, date, time, timestamp).
constexpr Rule kRules[kRuleKindCount][kValueTargetCount] = {
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

ValueOutcome convert_json_value(const ReplyValue &v, ValueTarget target, const PaypalColumn *column,
                                std::string &scratch, ConvertedValue *out) {
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
