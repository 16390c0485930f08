// How a JSON value of a PayPal reply becomes the value of a column: one
// table of (JSON kind, target) -> rule, used by SQIGetData for every read.
//
// The target is the buffer type the engine asks for, and for character
// reads the column's SQL type: a NUMERIC column is read as text and parsed
// by the engine, so its text must be a number (a JSON number with its own
// digits, written without exponent; a boolean as 1 or 0), while a text
// column takes any value ("True"/"False", objects and arrays as their JSON
// text).
//
// NULL is only an absent member or JSON null (the caller's concern) and an
// empty array read as text; every other value either converts or is an
// error: 22018 for a value of the wrong kind or a text that is no number,
// 22007 for a text that is no date or time, 22003 for a number outside the
// target's range.
//
// Lifetimes: a converted text points into the value's text (valid while the
// page is held) or into the caller's scratch string.
//
// Exports: ValueTarget, kValueTargetCount, value_target, ValueOutcome,
// ConvertedValue, convert_json_value, value_outcome_sqlstate,
// value_outcome_text, kNumericColumnPrecision.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "sqi/reply_value.h"

struct PaypalColumn;

// What a read produces.
enum class ValueTarget : int32_t {
    kText = 0,        // SQL_C_CHAR of a text (or boolean, date, ...) column
    kNumberText = 1,  // SQL_C_CHAR of a numeric column: a decimal number
    kInt32 = 2,       // SQL_C_LONG, within the column's integer type
    kInt64 = 3,       // SQL_C_SBIGINT
    kDouble = 4,      // SQL_C_DOUBLE
    kDate = 5,        // SQL_C_(TYPE_)DATE
    kTime = 6,        // SQL_C_(TYPE_)TIME
    kTimestamp = 7,   // SQL_C_(TYPE_)TIMESTAMP
};
inline constexpr int kValueTargetCount = 8;
static_assert(static_cast<int>(ValueTarget::kTimestamp) == kValueTargetCount - 1);

// The precision NUMERIC columns report (catalog_info.cpp): the engine reads
// their text into NUMERIC(19, size).
inline constexpr int kNumericColumnPrecision = 19;

enum class ValueOutcome : int32_t {
    kValue = 0,        // converted
    kNull = 1,         // an empty array read as text
    kWrongKind = 2,    // 22018: e.g. an object into a number, a number into a date
    kBadNumber = 3,    // 22018: a text that is no number
    kBadDatetime = 4,  // 22007: a text that is no date, time or timestamp
    kOutOfRange = 5,   // 22003: beyond the target type or the column's precision
};

struct ConvertedValue {
    std::string_view text;  // text targets: the characters (into the value or the scratch)
    union {
        int32_t i32;
        int64_t i64;
        double d;
        DATE_STRUCT date;
        TIME_STRUCT time;
        TIMESTAMP_STRUCT ts;
    } fixed;            // the other targets
    SQLLEN fixed_size;  // bytes of `fixed` that are the value
};

/// The target of reading a column of SQL type `sql_type` into the buffer
/// type `c_type`. False for a buffer type rows are never read as.
[[nodiscard]] bool value_target(int c_type, int sql_type, ValueTarget *out);

/// Converts `v` (not null) for `column` into `target`.
/// [in] `scratch` is overwritten when the result text needs building.
/// [out] `out` holds the value only when kValue is returned.
[[nodiscard]] ValueOutcome convert_json_value(const ReplyValue &v, ValueTarget target, const PaypalColumn *column,
                                              std::string &scratch, ConvertedValue *out);

/// "22018", "22007" or "22003" for the failed outcomes (null otherwise).
[[nodiscard]] const char *value_outcome_sqlstate(ValueOutcome outcome);
/// The message text of that SQLSTATE ("Invalid datetime format", ...).
[[nodiscard]] const char *value_outcome_text(ValueOutcome outcome);
