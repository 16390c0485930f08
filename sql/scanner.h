// The SQL scanner: turns the prepared statement text into grammar terminals.
//
// The scanner works in place on the text and copies token values (names,
// literal texts) into the parse's node pool. It owns the feedback the
// grammar needs, so the parser never has to reach into it:
//  - name_follows: after a qualifier prefix ("t.", "\"s\".", "[k]!") and
//    after the escapes {fn, {call and {?=call the next word is a name even
//    when it is a reserved word; it is cleared once that word is read;
//  - interval_fields: set by INTERVAL and {interval; while set, DAY is a
//    field keyword. The scanner follows the shape of the interval qualifier
//    (field, optional precision, TO, field, ...) and clears the flag when
//    the qualifier ends, so DAY elsewhere is an ordinary name;
//  - the INTERVAL_PREFIX / INTERVAL_BODY states, entered after INTERVAL when
//    a quote or sign follows (an interval literal) and after {interval; when
//    a field word follows INTERVAL it is a data type and the state stays
//    NORMAL, so no separate data-type flag is needed.
// Every token except a qualifier prefix absorbs the blanks after it; the
// absorbed blanks belong to the token's text as error messages show it.
//
// Exports: ScanState, SqlScanner, scanner_start, scanner_next.
#pragma once

#include <cstddef>

struct CvPool;

enum class ScanState : int { NORMAL = 0, INTERVAL_PREFIX = 1, INTERVAL_BODY = 2 };

// Where the scanner stands inside an interval qualifier.
enum class QualifierState : int { NONE = 0, LITERAL = 1, EXPECT_FIELD = 2, AFTER_FIELD = 3,
                                  IN_PRECISION = 4, AFTER_PRECISION = 5 };

struct SqlScanner {
    const char *cursor;        // next byte to scan
    const char *token_start;   // text of the last token, for messages
    const char *token_end;     //   (absorbed blanks included)
    CvPool *pool;              // token values are copied here
    ScanState state;           // NORMAL, INTERVAL_PREFIX, INTERVAL_BODY
    QualifierState qualifier;  // interval qualifier tracking
    bool name_follows;         // next word is a name
    bool interval_fields;      // DAY is a field keyword
    bool out_of_memory;        // a token value could not be copied
};

/// Starts scanning `text` (zero-terminated), all flags cleared.
void scanner_start(SqlScanner &s, const char *text, CvPool *pool);

/// Scans the next terminal. Returns its grammar code (0 at the end of the
/// text); `value` receives the token's value copied into the pool (names,
/// literals) or null. When a copy fails, sets out_of_memory and returns the
/// grammar's error token.
[[nodiscard]] int scanner_next(SqlScanner &s, char **value);
