// The scalar function signature table (sorted by name) and its lookups.
#include <cstring>
#include <strings.h>

#include "sql/function_signatures.h"

namespace {

constexpr int32_t C = kMaskChar, I = kMaskInteger, C2 = kMaskChar2, D = kMaskDouble,
                  KW = kMaskKeyword, ANY = kMaskAny, OPT = kMaskOptional;
constexpr int32_t DT = kMaskDate | kMaskTime | kMaskTimestamp;        // 112
constexpr int32_t DTS = kMaskDate | kMaskTimestamp;                   // 80
constexpr int32_t TTS = kMaskTime | kMaskTimestamp;                   // 96
constexpr int32_t DTSC = DTS | kMaskChar;                             // 81
constexpr int32_t DTI = DT | kMaskInterval;                           // 240
constexpr int32_t ID = kMaskInteger | kMaskDouble;                    // 10
constexpr int32_t SAME = kMaskAny | kMaskDouble;                      // 520

}  // namespace

#define A(...) {__VA_ARGS__}
const ScalarFunction scalar_functions[kScalarFunctionCount] = {
    {"ABS", kFnAbs, 1, SAME, A(D), 0},
    {"ACOS", kFnAcos, 1, D, A(D), 0},
    {"ASCII", kFnAscii, 1, I, A(C), 0},
    {"ASIN", kFnAsin, 1, D, A(D), 0},
    {"ATAN", kFnAtan, 1, D, A(D), 0},
    {"ATAN2", kFnAtan2, 2, D, A(D, D), 0},
    {"BIT_LENGTH", kFnBitLength, 1, I, A(C), 0},
    {"CCUR", kFnCcur, 1, SAME, A(D), 0},
    {"CDATE", kFnCdate, 1, kMaskTimestamp, A(ANY), 0},
    {"CEILING", kFnCeiling, 1, I, A(D), 0},
    {"CHAR", kFnChar, 1, C2, A(I), 0},
    {"CHARACTER_LENGTH", kFnCharLength, 1, I, A(C), 0},
    {"CHAR_LENGTH", kFnCharLength, 1, I, A(C), 0},
    {"CONCAT", kFnConcat, 2, C, A(C, C), 0},
    {"CONVERT", kFnConvert, 2, ANY, A(ANY, ANY), 0},
    {"COS", kFnCos, 1, D, A(D), 0},
    {"COT", kFnCot, 1, D, A(D), 0},
    {"CURDATE", kFnCurdate, 0, kMaskDate, A(0), 0},
    {"CURRENT_DATE", kFnCurdate, 0, kMaskDate, A(0), 0},
    {"CURRENT_TIME", kFnCurtime, 1, kMaskTime, A(I | OPT), 0},
    {"CURRENT_TIMESTAMP", kFnCurrentTimestamp, 1, kMaskTimestamp, A(I | OPT), 0},
    {"CURTIME", kFnCurtime, 0, kMaskTime, A(0), 0},
    {"DATABASE", kFnDatabase, 0, C, A(0), 0},
    {"DATEDIFF", kFnDatediff, 3, I, A(KW, DT, DT), 0},
    {"DATEPART", kFnDatepart, 2, I, A(KW, DT), 0},
    {"DAYNAME", kFnDayname, 1, C, A(DTS), 0},
    {"DAYOFMONTH", kFnDayofmonth, 1, I, A(DTS), 0},
    {"DAYOFWEEK", kFnDayofweek, 1, I, A(DTS), 0},
    {"DAYOFYEAR", kFnDayofyear, 1, I, A(DTS), 0},
    {"DEGREES", kFnDegrees, 1, D, A(D), 0},
    {"DIFFERENCE", kFnDifference, 2, I, A(C, C), 0},
    {"EXP", kFnExp, 1, D, A(D), 0},
    {"EXTRACT", kFnExtract, 2, I, A(KW, DTI), 0},
    {"FLOOR", kFnFloor, 1, I, A(D), 0},
    {"FORMAT", kFnFormat, 2, C, A(ANY, KW), 0},
    {"HOUR", kFnHour, 1, I, A(TTS), 0},
    {"IFNULL", kFnIfnull, 2, ANY, A(ANY, ANY), 0},
    {"INSERT", kFnInsert, 4, C, A(C, I, I, C), 0},
    {"INT", kFnInt, 1, I, A(ANY), 0},
    {"ISNULL", kFnIsnull, 1, I, A(ANY), 0},
    {"LCASE", kFnLcase, 1, C, A(C), 0},
    {"LEFT", kFnLeft, 2, C, A(C, I), 0},
    {"LEN", kFnLength, 1, I, A(C), 0},
    {"LENGTH", kFnLength, 1, I, A(C), 0},
    {"LOCATE", kFnLocate, 3, I, A(C, C, I | OPT), 0},
    {"LOG", kFnLog, 1, D, A(D), 0},
    {"LOG10", kFnLog10, 1, D, A(D), 0},
    {"LOWER", kFnLcase, 1, C, A(C), 0},
    {"LTRIM", kFnLtrim, 1, C, A(C), 0},
    {"MID", kFnSubstring, 3, C, A(C, I, I | OPT), 0},
    {"MINUTE", kFnMinute, 1, I, A(TTS), 0},
    {"MOD", kFnMod, 2, I, A(I, I), 0},
    {"MONTH", kFnMonth, 1, I, A(DTS), 0},
    {"MONTHNAME", kFnMonthname, 1, C, A(DTS), 0},
    {"NOW", kFnNow, 0, kMaskTimestamp, A(0), 0},
    {"OCTET_LENGTH", kFnOctetLength, 1, I, A(C), 0},
    {"PI", kFnPi, 0, D, A(0), 0},
    {"POSITION", kFnPosition, 2, I, A(C2, C2), 0},
    {"POWER", kFnPower, 2, D, A(D, I), 0},
    {"QUARTER", kFnQuarter, 1, I, A(DTS), 0},
    {"RADIANS", kFnRadians, 1, D, A(D), 0},
    {"RAND", kFnRand, 1, D, A(I | OPT), 0},
    {"REPEAT", kFnRepeat, 2, C, A(C, I), 0},
    {"REPLACE", kFnReplace, 3, C, A(C, C, C), 0},
    {"RIGHT", kFnRight, 2, C, A(C, I), 0},
    {"ROUND", kFnRound, 2, D, A(D, I), 0},
    {"RTRIM", kFnRtrim, 1, C, A(C), 0},
    {"SECOND", kFnSecond, 1, I, A(TTS), 0},
    {"SIGN", kFnSign, 1, I, A(D), 0},
    {"SIN", kFnSin, 1, D, A(D), 0},
    {"SOUNDEX", kFnSoundex, 1, C, A(C), 0},
    {"SPACE", kFnSpace, 1, C, A(I), 0},
    {"SQRT", kFnSqrt, 1, D, A(D), 0},
    {"STR", kFnStr, 1, C, A(ANY), 0},
    {"SUBSTR", kFnSubstring, 3, C, A(C, I, I), 0},
    {"SUBSTRING", kFnSubstring, 3, C, A(C, I, I), 0},
    {"TAN", kFnTan, 1, D, A(D), 0},
    {"TIMESTAMPADD", kFnTimestampadd, 3, kMaskTimestamp, A(KW, ID, DT), 0},
    {"TIMESTAMPDIFF", kFnTimestampdiff, 3, I, A(KW, DT, DT), 0},
    {"TRUNCATE", kFnTruncate, 2, D, A(D, I), 0},
    {"UCASE", kFnUcase, 1, C, A(C), 0},
    {"UPPER", kFnUcase, 1, C, A(C), 0},
    {"USER", kFnUser, 0, C, A(0), 0},
    {"VAL", kFnVal, 1, D, A(C), 0},
    {"WEEK", kFnWeek, 1, I, A(DTS), 0},
    {"WEEKDAY", kFnDayofweek, 1, I, A(DTS), 0},
    {"YEAR", kFnYear, 1, I, A(DTSC), 0},
};

namespace {

const ScalarFunction kBuiltins[kBuiltinFunctionCount] = {
    {"BIT_LENGTH", kBuiltinBitLength, 1, I, A(C), 0},
    {"CHARACTER_LENGTH", kBuiltinCharLength, 1, I, A(C), 0},
    {"CHAR_LENGTH", kBuiltinCharLength, 1, I, A(C), 0},
    {"LOWER", kBuiltinLower, 1, C, A(C), 0},
    {"OCTET_LENGTH", kBuiltinOctetLength, 1, I, A(C), 0},
    {"POSITION", kBuiltinPosition, 2, I, A(C, C), 0},
    {"SUBSTRING", kBuiltinSubstring, 3, C, A(C, I, I | OPT), 0},
    {"TRIM", kBuiltinTrim, 3, C, A(I, C | OPT, C), 0},
    {"UPPER", kBuiltinUpper, 1, C, A(C), 0},
};

}  // namespace
#undef A

int find_scalar_function(const char *name) {
    if (!name) return kFunctionNotFound;
    int lo = 0, hi = kScalarFunctionCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        // strcasecmp upper-cases neither side for '_', so compare as the
        // table is sorted: upper-case bytes.
        const unsigned char *a = reinterpret_cast<const unsigned char *>(scalar_functions[mid].name);
        const unsigned char *b = reinterpret_cast<const unsigned char *>(name);
        int c = 0;
        for (;; a++, b++) {
            unsigned char x = *a, y = *b;
            if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
            if (x != y || x == 0) {
                c = x < y ? -1 : (x > y ? 1 : 0);
                break;
            }
        }
        if (c == 0) return scalar_functions[mid].code;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return kFunctionNotFound;
}

const ScalarFunction *scalar_function_entry(int code) {
    if (code < 0) return builtin_function_entry(code);
    for (const ScalarFunction &f : scalar_functions)
        if (f.code == code) return &f;
    return nullptr;
}

const char *scalar_function_name(int code) {
    const ScalarFunction *f = scalar_function_entry(code);
    return f ? f->name : nullptr;
}

int argument_range(int code, int *minimum, int *maximum) {
    const ScalarFunction *f = scalar_function_entry(code);
    if (!f) return -1;
    int min = 0;
    for (int i = 0; i < f->argument_count; i++)
        if (!(f->argument_masks[i] & kMaskOptional)) min++;
    *minimum = min;
    *maximum = f->argument_count;
    return 0;
}

const ScalarFunction *builtin_function_entry(int code) {
    for (const ScalarFunction &f : kBuiltins)
        if (f.code == code) return &f;
    return nullptr;
}
