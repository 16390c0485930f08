// Procedure arguments checked and written as text (call_arguments.h).
#include "query/call_arguments.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

#include "support/value.h"
#include "support/value_ops.h"

namespace {

// What kind of value an argument is, for the rule table.
enum class Source : int32_t { kText, kExact, kDouble, kBit, kDate, kTimestamp, kOther };

Source source_of(uint32_t type) {
    switch (type) {
        case VT_CHAR: case VT_LONG_CHAR: return Source::kText;
        case VT_INTEGER: case VT_BIGINT: case VT_NUMERIC: return Source::kExact;
        case VT_DOUBLE: return Source::kDouble;
        case VT_BIT: return Source::kBit;
        case VT_DATE: return Source::kDate;
        case VT_TIMESTAMP: return Source::kTimestamp;
        default: return Source::kOther;
    }
}

enum class Rule : int32_t {
    kRefuse,       // 22018
    kAsText,       // the value's literal text
    kNumberText,   // text that must read as a number (DECIMAL) or an integer (INTEGER)
    kNumber,       // a number's digits (INTEGER: no fraction)
    kBitText,      // true/false/1/0/yes/no/y/n
    kBitNumber,    // 0 or 1
    kBit,
    kDateText,     // YYYY-MM-DD
    kDate,         // a date, or a timestamp's date
};

struct RuleEntry {
    Source source;
    int target;  // SQL_VARCHAR, SQL_DECIMAL, SQL_INTEGER, SQL_BIT, SQL_TYPE_DATE
    Rule rule;
};

// Pairs not listed are refused.
constexpr RuleEntry kRules[] = {
    {Source::kText, SQL_VARCHAR, Rule::kAsText},        {Source::kExact, SQL_VARCHAR, Rule::kAsText},
    {Source::kDouble, SQL_VARCHAR, Rule::kAsText},      {Source::kDate, SQL_VARCHAR, Rule::kAsText},
    {Source::kTimestamp, SQL_VARCHAR, Rule::kAsText},   {Source::kBit, SQL_VARCHAR, Rule::kAsText},
    {Source::kText, SQL_DECIMAL, Rule::kNumberText},    {Source::kExact, SQL_DECIMAL, Rule::kNumber},
    {Source::kDouble, SQL_DECIMAL, Rule::kNumber},      {Source::kText, SQL_INTEGER, Rule::kNumberText},
    {Source::kExact, SQL_INTEGER, Rule::kNumber},       {Source::kText, SQL_BIT, Rule::kBitText},
    {Source::kExact, SQL_BIT, Rule::kBitNumber},        {Source::kBit, SQL_BIT, Rule::kBit},
    {Source::kText, SQL_TYPE_DATE, Rule::kDateText},    {Source::kDate, SQL_TYPE_DATE, Rule::kDate},
    {Source::kTimestamp, SQL_TYPE_DATE, Rule::kDate},
};

Rule rule_for(Source source, int target) {
    if (target == SQL_DATE) target = SQL_TYPE_DATE;
    for (const RuleEntry &r : kRules)
        if (r.source == source && r.target == target) return r.rule;
    return Rule::kRefuse;
}

std::string text_of(const Value *v) {
    if (v->type == VT_CHAR) return std::string(v->data.s ? v->data.s : "", static_cast<size_t>(v->length));
    char buf[256];
    size_t n = 0;
    if (value_as_text(v, buf, sizeof buf, &n) != 0) return std::string();
    return std::string(buf, n < sizeof buf ? n : sizeof buf - 1);
}

std::string trimmed(const std::string &s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// A plain decimal number ("-12", "3.50", ".5", "+7"), written without its
// '+'; an integer only when `integer`. False when it is none.
bool plain_number(std::string t, bool integer, std::string &out) {
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        if (t[0] == '+') t.erase(0, 1);
    }
    size_t i = t[0] == '-' ? 1 : 0;
    size_t digits = 0, dots = 0;
    for (; i < t.size(); i++) {
        if (std::isdigit(static_cast<unsigned char>(t[i]))) digits++;
        else if (t[i] == '.' && !integer) dots++;
        else return false;
    }
    if (digits == 0 || dots > 1) return false;
    out = t;
    return true;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool date_text(const std::string &t, std::string &out) {
    int y = 0, m = 0, d = 0, used = 0;
    if (t.size() != 10 || std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &used) != 3 || used != 10) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1) return false;
    if (d > kDays[m - 1] + (m == 2 && leap(y) ? 1 : 0)) return false;
    out = t;
    return true;
}

std::string date_of(const Value *v) {
    char buf[40];
    const int y = v->type == VT_DATE ? v->data.date.year : v->data.ts.year;
    const int m = v->type == VT_DATE ? v->data.date.month : v->data.ts.month;
    const int d = v->type == VT_DATE ? v->data.date.day : v->data.ts.day;
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

}  // namespace

ArgumentOutcome call_argument_text(const Value *v, int sql_type, int32_t size, std::string &out) {
    out.clear();
    const Rule rule = rule_for(source_of(v->type), sql_type);
    const bool integer = sql_type == SQL_INTEGER;
    switch (rule) {
        case Rule::kRefuse: return ArgumentOutcome::kWrongType;
        case Rule::kAsText:
            out = v->type == VT_BIT ? (v->data.i ? "1" : "0") : v->type == VT_DATE ? date_of(v) : text_of(v);
            if (size > 0 && out.size() > static_cast<size_t>(size)) return ArgumentOutcome::kTooLong;
            return ArgumentOutcome::kOk;
        case Rule::kNumberText:
            return plain_number(trimmed(text_of(v)), integer, out) ? ArgumentOutcome::kOk : ArgumentOutcome::kWrongType;
        case Rule::kNumber:
            return plain_number(text_of(v), integer, out) ? ArgumentOutcome::kOk : ArgumentOutcome::kWrongType;
        case Rule::kBitText: {
            const std::string t = trimmed(text_of(v));
            for (const char *yes : {"true", "1", "yes", "y"})
                if (strcasecmp(t.c_str(), yes) == 0) out = "true";
            for (const char *no : {"false", "0", "no", "n"})
                if (strcasecmp(t.c_str(), no) == 0) out = "false";
            return out.empty() ? ArgumentOutcome::kWrongType : ArgumentOutcome::kOk;
        }
        case Rule::kBitNumber: {
            const std::string t = text_of(v);
            if (t != "0" && t != "1") return ArgumentOutcome::kWrongType;
            out = t == "1" ? "true" : "false";
            return ArgumentOutcome::kOk;
        }
        case Rule::kBit: out = v->data.i ? "true" : "false"; return ArgumentOutcome::kOk;
        case Rule::kDateText:
            return date_text(trimmed(text_of(v)), out) ? ArgumentOutcome::kOk : ArgumentOutcome::kBadDate;
        case Rule::kDate: out = date_of(v); return ArgumentOutcome::kOk;
    }
    return ArgumentOutcome::kWrongType;
}

const char *argument_outcome_state(ArgumentOutcome outcome) {
    switch (outcome) {
        case ArgumentOutcome::kBadDate: return "22007";
        case ArgumentOutcome::kTooLong: return "22001";
        default: return "22018";
    }
}
