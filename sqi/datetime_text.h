// Date and time texts of PayPal replies: RFC 3339 timestamps, date-only
// texts (the published format `date_no_time`) and times of day, read into
// the ODBC structures on one clock (UTC).
//
// Lifetimes: nothing is kept; the text is only read during the call.
//
// Exports: DatetimeForm, DatetimeText, parse_datetime_text.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string_view>

// Which parts a text held.
enum class DatetimeForm : int32_t {
    kDate = 0,       // "2025-06-28": the timestamp is midnight of that day
    kTime = 1,       // "06:07:08[.fff]": only the time fields are set
    kTimestamp = 2,  // date, 'T' (or 't' or a blank), time, optional zone
};
static_assert(static_cast<int>(DatetimeForm::kTimestamp) == 2);

struct DatetimeText {
    DatetimeForm form;    // the parts the text held
    TIMESTAMP_STRUCT ts;  // in UTC; fraction in nanoseconds (digits past the ninth dropped)
};

/// Reads `text` as one of:
///   YYYY-MM-DD
///   HH:MM:SS[.f...]
///   YYYY-MM-DD(T|t| )HH:MM:SS[.f...][Z|z|+HH:MM|-HH:MM|+HHMM|-HHMM|+HH|-HH]
/// A numeric offset is taken off, so the result is UTC (the clock of "Z"
/// texts); a text without a zone is read as it is written. Seconds may be
/// 60 or more as the calendar allows (leap seconds). Returns false for any
/// other text, an impossible date or time, or an offset that moves the
/// result outside years 0 to 9999; `out` is then unspecified.
[[nodiscard]] bool parse_datetime_text(std::string_view text, DatetimeText *out);
