// Stand-in for the engine's scalar function lookups, so the front end links
// and is testable before the engine's function table is built.
//
// Every definition here is weak: as soon as the engine object library defines
// find_scalar_function, scalar_function_entry and argument_range, the linker
// takes those and this file is dead code (delete it then). The rows carry
// only what the parser and printer read: name, code, argument count and the
// argument masks (optional and keyword bits). No handlers.
//
// Exports (weak): find_scalar_function, scalar_function_entry,
// scalar_function_name, argument_range.
#include <strings.h>

#include "engine/functions.h"

namespace {

constexpr int32_t O = kMaskOptional;
constexpr int32_t K = kMaskKeyword;

const ScalarFunction kFallbackTable[] = {
    {"ABS", 0, 1, nullptr, 520, {8}, 0},
    {"ACOS", 1, 1, nullptr, 8, {8}, 0},
    {"ASCII", 2, 1, nullptr, 2, {1}, 0},
    {"ASIN", 3, 1, nullptr, 8, {8}, 0},
    {"ATAN", 4, 1, nullptr, 8, {8}, 0},
    {"ATAN2", 5, 2, nullptr, 8, {8, 8}, 0},
    {"BIT_LENGTH", 6, 1, nullptr, 2, {1}, 0},
    {"CCUR", 69, 1, nullptr, 520, {8}, 0},
    {"CDATE", 72, 1, nullptr, 64, {512}, 0},
    {"CEILING", 7, 1, nullptr, 2, {8}, 0},
    {"CHAR", 8, 1, nullptr, 4, {2}, 0},
    {"CHARACTER_LENGTH", 9, 1, nullptr, 2, {1}, 0},
    {"CHAR_LENGTH", 9, 1, nullptr, 2, {1}, 0},
    {"CONCAT", 10, 2, nullptr, 1, {1, 1}, 0},
    {"CONVERT", 11, 2, nullptr, 512, {512, 512}, 0},
    {"COS", 12, 1, nullptr, 8, {8}, 0},
    {"COT", 13, 1, nullptr, 8, {8}, 0},
    {"CURDATE", 14, 0, nullptr, 16, {}, 0},
    {"CURRENT_DATE", 14, 0, nullptr, 16, {}, 0},
    {"CURRENT_TIME", 15, 1, nullptr, 32, {2 | O}, 0},
    {"CURRENT_TIMESTAMP", 16, 1, nullptr, 64, {2 | O}, 0},
    {"CURTIME", 15, 0, nullptr, 32, {}, 0},
    {"DATABASE", 17, 0, nullptr, 1, {}, 0},
    {"DATEDIFF", 70, 3, nullptr, 2, {K, 112, 112}, 0},
    {"DATEPART", 73, 2, nullptr, 2, {K, 112}, 0},
    {"DAYNAME", 18, 1, nullptr, 1, {80}, 0},
    {"DAYOFMONTH", 19, 1, nullptr, 2, {80}, 0},
    {"DAYOFWEEK", 20, 1, nullptr, 2, {80}, 0},
    {"DAYOFYEAR", 21, 1, nullptr, 2, {80}, 0},
    {"DEGREES", 22, 1, nullptr, 8, {8}, 0},
    {"DIFFERENCE", 23, 2, nullptr, 2, {1, 1}, 0},
    {"EXP", 24, 1, nullptr, 8, {8}, 0},
    {"EXTRACT", 25, 2, nullptr, 2, {K, 240}, 0},
    {"FLOOR", 26, 1, nullptr, 2, {8}, 0},
    {"FORMAT", 74, 2, nullptr, 1, {512, K}, 0},
    {"HOUR", 27, 1, nullptr, 2, {96}, 0},
    {"IFNULL", 28, 2, nullptr, 512, {512, 512}, 0},
    {"INSERT", 29, 4, nullptr, 1, {1, 2, 2, 1}, 0},
    {"INT", 76, 1, nullptr, 2, {512}, 0},
    {"ISNULL", 75, 1, nullptr, 2, {512}, 0},
    {"LCASE", 30, 1, nullptr, 1, {1}, 0},
    {"LEFT", 31, 2, nullptr, 1, {1, 2}, 0},
    {"LEN", 32, 1, nullptr, 2, {1}, 0},
    {"LENGTH", 32, 1, nullptr, 2, {1}, 0},
    {"LOCATE", 33, 3, nullptr, 2, {1, 1, 2 | O}, 0},
    {"LOG", 34, 1, nullptr, 8, {8}, 0},
    {"LOG10", 35, 1, nullptr, 8, {8}, 0},
    {"LOWER", 30, 1, nullptr, 1, {1}, 0},
    {"LTRIM", 36, 1, nullptr, 1, {1}, 0},
    {"MID", 60, 3, nullptr, 1, {1, 2, 2 | O}, 0},
    {"MINUTE", 37, 1, nullptr, 2, {96}, 0},
    {"MOD", 38, 2, nullptr, 2, {2, 2}, 0},
    {"MONTH", 39, 1, nullptr, 2, {80}, 0},
    {"MONTHNAME", 40, 1, nullptr, 1, {80}, 0},
    {"NOW", 41, 0, nullptr, 64, {}, 0},
    {"OCTET_LENGTH", 42, 1, nullptr, 2, {1}, 0},
    {"PI", 43, 0, nullptr, 8, {}, 0},
    {"POSITION", 44, 2, nullptr, 2, {4, 4}, 0},
    {"POWER", 45, 2, nullptr, 8, {8, 2}, 0},
    {"QUARTER", 46, 1, nullptr, 2, {80}, 0},
    {"RADIANS", 47, 1, nullptr, 8, {8}, 0},
    {"RAND", 48, 1, nullptr, 8, {2 | O}, 0},
    {"REPEAT", 49, 2, nullptr, 1, {1, 2}, 0},
    {"REPLACE", 50, 3, nullptr, 1, {1, 1, 1}, 0},
    {"RIGHT", 51, 2, nullptr, 1, {1, 2}, 0},
    {"ROUND", 52, 2, nullptr, 8, {8, 2}, 0},
    {"RTRIM", 53, 1, nullptr, 1, {1}, 0},
    {"SECOND", 54, 1, nullptr, 2, {96}, 0},
    {"SIGN", 55, 1, nullptr, 2, {8}, 0},
    {"SIN", 56, 1, nullptr, 8, {8}, 0},
    {"SOUNDEX", 57, 1, nullptr, 1, {1}, 0},
    {"SPACE", 58, 1, nullptr, 1, {2}, 0},
    {"SQRT", 59, 1, nullptr, 8, {8}, 0},
    {"STR", 77, 1, nullptr, 1, {512}, 0},
    {"SUBSTR", 60, 3, nullptr, 1, {1, 2, 2}, 0},
    {"SUBSTRING", 60, 3, nullptr, 1, {1, 2, 2}, 0},
    {"TAN", 61, 1, nullptr, 8, {8}, 0},
    {"TIMESTAMPADD", 62, 3, nullptr, 64, {K, 10, 112}, 0},
    {"TIMESTAMPDIFF", 63, 3, nullptr, 2, {K, 112, 112}, 0},
    {"TRUNCATE", 64, 2, nullptr, 8, {8, 2}, 0},
    {"UCASE", 65, 1, nullptr, 1, {1}, 0},
    {"UPPER", 65, 1, nullptr, 1, {1}, 0},
    {"USER", 66, 0, nullptr, 1, {}, 0},
    {"VAL", 71, 1, nullptr, 8, {1}, 0},
    {"WEEK", 67, 1, nullptr, 2, {80}, 0},
    {"WEEKDAY", 20, 1, nullptr, 2, {80}, 0},
    {"YEAR", 68, 1, nullptr, 2, {81}, 0},
};
constexpr int kFallbackCount = sizeof kFallbackTable / sizeof kFallbackTable[0];
static_assert(kFallbackCount == kScalarFunctionCount, "one row per table entry");

}  // namespace

__attribute__((weak)) int find_scalar_function(const char *name) {
    if (!name) return kFunctionNotFound;
    // A plain scan: this stand-in is only used until the engine's table links.
    for (const auto &f : kFallbackTable)
        if (strcasecmp(name, f.name) == 0) return f.code;
    return kFunctionNotFound;
}

__attribute__((weak)) const ScalarFunction *scalar_function_entry(int code) {
    for (const auto &f : kFallbackTable)
        if (f.code == code) return &f;
    return nullptr;
}

__attribute__((weak)) int argument_range(int code, int *minimum, int *maximum) {
    const ScalarFunction *f = scalar_function_entry(code);
    if (!f) return -1;
    int required = 0;
    for (int i = 0; i < f->argument_count; i++)
        if (!(f->argument_masks[i] & kMaskOptional)) required++;
    *minimum = required;
    *maximum = f->argument_count;
    return 0;
}

__attribute__((weak)) const char *scalar_function_name(int code) {
    const ScalarFunction *f = scalar_function_entry(code);
    return f ? f->name : nullptr;
}
