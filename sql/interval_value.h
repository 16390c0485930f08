// Construction of interval values from their written parts, shared by the
// SQL grammar's interval literals and the literal parser.
//
// Exports: IntervalParts, interval_code_of, make_interval_struct.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

/// The written parts of an interval string: up to four numbers with the
/// separators between them (' ', ':' or '-'), and the seconds fraction.
struct IntervalParts {
    const char *numbers[4];  // decimal digits
    char separators[3];      // separators[i] stands between numbers[i] and [i+1]
    int count;               // numbers given (1 to 4)
    const char *fraction;    // digits after ".", or null
    bool point;              // a "." was written
};

/// Interval code 1 to 13 of a qualifier given by its start and end field
/// (1 YEAR .. 6 SECOND; end 0 for a single field); 0 when the pair is not a
/// valid qualifier.
[[nodiscard]] int interval_code_of(int start_field, int end_field);

/// Builds the ODBC interval structure for interval code `code` from `parts`,
/// checking the shape against the qualifier and the field ranges (hours to
/// 23 after a day, minutes and seconds to 59 when not leading, months to 11
/// after years, at most `leading_precision` digits in the leading field, a
/// fraction of at most nine digits and at most `seconds_precision`
/// significant ones). The fraction is stored in units of
/// 10^-seconds_precision. Returns false when the string does not fit.
[[nodiscard]] bool make_interval_struct(int code, bool negative, const IntervalParts &parts,
                                        int leading_precision, int seconds_precision,
                                        SQL_INTERVAL_STRUCT *out);
