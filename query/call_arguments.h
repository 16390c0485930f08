// A procedure argument as the provider is sent it: one value checked
// against its parameter's type and written as text, by one table of
// (value type class, parameter type) -> rule.
//
// The texts: VARCHAR the characters (numbers, dates and timestamps in their
// literal forms); DECIMAL and INTEGER plain digits with an optional '-' and
// (DECIMAL) '.' and fraction; BIT "true" or "false"; DATE "YYYY-MM-DD".
//
// Exports: ArgumentOutcome, call_argument_text, argument_outcome_state.
#pragma once

#include <cstdint>
#include <string>

struct Value;

enum class ArgumentOutcome : int32_t {
    kOk = 0,
    kWrongType = 1,   // 22018: a value of a type the parameter cannot take, or text that is no number / bit
    kBadDate = 2,     // 22007: text that is no date
    kTooLong = 3,     // 22001: text longer than the parameter takes
};

/// The text `value` (not NULL) is sent as for a parameter of SQL type
/// `sql_type` taking at most `size` characters (VARCHAR). kOk with `out`
/// set, or why not.
[[nodiscard]] ArgumentOutcome call_argument_text(const Value *value, int sql_type, int32_t size, std::string &out);

/// The SQLSTATE of an outcome other than kOk.
[[nodiscard]] const char *argument_outcome_state(ArgumentOutcome outcome);
