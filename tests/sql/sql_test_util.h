// Helpers shared by the SQL front-end tests: parse a text and print it back.
#pragma once

#include <string>

#include "sql/parser.h"
#include "sql/printer.h"
#include "support/pool.h"

struct ParseResult {
    int rc;               // parse_sql_text's result
    std::string printed;  // the printed statements (rc 0)
    std::string message;  // the message (rc != 0)
    std::string sqlstate; // the failure's SQLSTATE (rc != 0)
};

/// Parses `sql` in a fresh context (released before returning).
inline ParseResult parse_and_print(const std::string &sql, int restriction_count = 0,
                                   const ParseRestriction *restrictions = nullptr) {
    ParseResult r{};
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ParseContext *context = create_parse_context(pool);
    std::string text = sql;
    r.rc = parse_sql_text(context, text.data(), restriction_count, restrictions);
    if (r.rc == 0) {
        if (print_to_string(context->root, true, r.printed) != 0) r.printed = "<too deep>";
    } else {
        r.message = message_of(context);
        r.sqlstate = context->sqlstate;
    }
    release_parse_context(context);
    cv_mem_release_handle(pool);
    return r;
}

/// Collapses runs of blanks to one and trims both ends (corpus comparisons).
inline std::string squeeze(const std::string &s) {
    std::string out;
    bool blank = false;
    for (char c : s) {
        if (c == ' ') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}
