// The scalar function table (sorted by name) and its lookups.
#include <cstring>
#include <strings.h>

#include "engine/fn_common.h"
#include "support/diag.h"

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
    {"ABS", kFnAbs, 1, fn_abs, SAME, A(D), 0},
    {"ACOS", kFnAcos, 1, fn_acos, D, A(D), 0},
    {"ASCII", kFnAscii, 1, fn_ascii, I, A(C), 0},
    {"ASIN", kFnAsin, 1, fn_asin, D, A(D), 0},
    {"ATAN", kFnAtan, 1, fn_atan, D, A(D), 0},
    {"ATAN2", kFnAtan2, 2, fn_atan2, D, A(D, D), 0},
    {"BIT_LENGTH", kFnBitLength, 1, fn_bit_length, I, A(C), 0},
    {"CCUR", kFnCcur, 1, fn_ccur, SAME, A(D), 0},
    {"CDATE", kFnCdate, 1, fn_cdate, kMaskTimestamp, A(ANY), 0},
    {"CEILING", kFnCeiling, 1, fn_ceiling, I, A(D), 0},
    {"CHAR", kFnChar, 1, fn_char, C2, A(I), 0},
    {"CHARACTER_LENGTH", kFnCharLength, 1, fn_char_length, I, A(C), 0},
    {"CHAR_LENGTH", kFnCharLength, 1, fn_char_length, I, A(C), 0},
    {"CONCAT", kFnConcat, 2, fn_concat, C, A(C, C), 0},
    {"CONVERT", kFnConvert, 2, fn_convert, ANY, A(ANY, ANY), 0},
    {"COS", kFnCos, 1, fn_cos, D, A(D), 0},
    {"COT", kFnCot, 1, fn_cot, D, A(D), 0},
    {"CURDATE", kFnCurdate, 0, fn_curdate, kMaskDate, A(0), 0},
    {"CURRENT_DATE", kFnCurdate, 0, fn_curdate, kMaskDate, A(0), 0},
    {"CURRENT_TIME", kFnCurtime, 1, fn_curtime, kMaskTime, A(I | OPT), 0},
    {"CURRENT_TIMESTAMP", kFnCurrentTimestamp, 1, fn_current_timestamp, kMaskTimestamp, A(I | OPT), 0},
    {"CURTIME", kFnCurtime, 0, fn_curtime, kMaskTime, A(0), 0},
    {"DATABASE", kFnDatabase, 0, fn_database, C, A(0), 0},
    {"DATEDIFF", kFnDatediff, 3, fn_datediff, I, A(KW, DT, DT), 0},
    {"DATEPART", kFnDatepart, 2, fn_datepart, I, A(KW, DT), 0},
    {"DAYNAME", kFnDayname, 1, fn_dayname, C, A(DTS), 0},
    {"DAYOFMONTH", kFnDayofmonth, 1, fn_dayofmonth, I, A(DTS), 0},
    {"DAYOFWEEK", kFnDayofweek, 1, fn_dayofweek, I, A(DTS), 0},
    {"DAYOFYEAR", kFnDayofyear, 1, fn_dayofyear, I, A(DTS), 0},
    {"DEGREES", kFnDegrees, 1, fn_degrees, D, A(D), 0},
    {"DIFFERENCE", kFnDifference, 2, fn_difference, I, A(C, C), 0},
    {"EXP", kFnExp, 1, fn_exp, D, A(D), 0},
    {"EXTRACT", kFnExtract, 2, fn_extract, I, A(KW, DTI), 0},
    {"FLOOR", kFnFloor, 1, fn_floor, I, A(D), 0},
    {"FORMAT", kFnFormat, 2, fn_format, C, A(ANY, KW), 0},
    {"HOUR", kFnHour, 1, fn_hour, I, A(TTS), 0},
    {"IFNULL", kFnIfnull, 2, fn_ifnull, ANY, A(ANY, ANY), 0},
    {"INSERT", kFnInsert, 4, fn_insert, C, A(C, I, I, C), 0},
    {"INT", kFnInt, 1, fn_int, I, A(ANY), 0},
    {"ISNULL", kFnIsnull, 1, fn_isnull, I, A(ANY), 0},
    {"LCASE", kFnLcase, 1, fn_lcase, C, A(C), 0},
    {"LEFT", kFnLeft, 2, fn_left, C, A(C, I), 0},
    {"LEN", kFnLength, 1, fn_length, I, A(C), 0},
    {"LENGTH", kFnLength, 1, fn_length, I, A(C), 0},
    {"LOCATE", kFnLocate, 3, fn_locate, I, A(C, C, I | OPT), 0},
    {"LOG", kFnLog, 1, fn_log, D, A(D), 0},
    {"LOG10", kFnLog10, 1, fn_log10, D, A(D), 0},
    {"LOWER", kFnLcase, 1, fn_lcase, C, A(C), 0},
    {"LTRIM", kFnLtrim, 1, fn_ltrim, C, A(C), 0},
    {"MID", kFnSubstring, 3, fn_substring, C, A(C, I, I | OPT), 0},
    {"MINUTE", kFnMinute, 1, fn_minute, I, A(TTS), 0},
    {"MOD", kFnMod, 2, fn_mod, I, A(I, I), 0},
    {"MONTH", kFnMonth, 1, fn_month, I, A(DTS), 0},
    {"MONTHNAME", kFnMonthname, 1, fn_monthname, C, A(DTS), 0},
    {"NOW", kFnNow, 0, fn_current_timestamp, kMaskTimestamp, A(0), 0},
    {"OCTET_LENGTH", kFnOctetLength, 1, fn_octet_length, I, A(C), 0},
    {"PI", kFnPi, 0, fn_pi, D, A(0), 0},
    {"POSITION", kFnPosition, 2, fn_position, I, A(C2, C2), 0},
    {"POWER", kFnPower, 2, fn_power, D, A(D, I), 0},
    {"QUARTER", kFnQuarter, 1, fn_quarter, I, A(DTS), 0},
    {"RADIANS", kFnRadians, 1, fn_radians, D, A(D), 0},
    {"RAND", kFnRand, 1, fn_rand, D, A(I | OPT), 0},
    {"REPEAT", kFnRepeat, 2, fn_repeat, C, A(C, I), 0},
    {"REPLACE", kFnReplace, 3, fn_replace, C, A(C, C, C), 0},
    {"RIGHT", kFnRight, 2, fn_right, C, A(C, I), 0},
    {"ROUND", kFnRound, 2, fn_round, D, A(D, I), 0},
    {"RTRIM", kFnRtrim, 1, fn_rtrim, C, A(C), 0},
    {"SECOND", kFnSecond, 1, fn_second, I, A(TTS), 0},
    {"SIGN", kFnSign, 1, fn_sign, I, A(D), 0},
    {"SIN", kFnSin, 1, fn_sin, D, A(D), 0},
    {"SOUNDEX", kFnSoundex, 1, fn_soundex, C, A(C), 0},
    {"SPACE", kFnSpace, 1, fn_space, C, A(I), 0},
    {"SQRT", kFnSqrt, 1, fn_sqrt, D, A(D), 0},
    {"STR", kFnStr, 1, fn_str, C, A(ANY), 0},
    {"SUBSTR", kFnSubstring, 3, fn_substring, C, A(C, I, I), 0},
    {"SUBSTRING", kFnSubstring, 3, fn_substring, C, A(C, I, I), 0},
    {"TAN", kFnTan, 1, fn_tan, D, A(D), 0},
    {"TIMESTAMPADD", kFnTimestampadd, 3, fn_timestampadd, kMaskTimestamp, A(KW, ID, DT), 0},
    {"TIMESTAMPDIFF", kFnTimestampdiff, 3, fn_timestampdiff, I, A(KW, DT, DT), 0},
    {"TRUNCATE", kFnTruncate, 2, fn_truncate, D, A(D, I), 0},
    {"UCASE", kFnUcase, 1, fn_ucase, C, A(C), 0},
    {"UPPER", kFnUcase, 1, fn_ucase, C, A(C), 0},
    {"USER", kFnUser, 0, fn_user, C, A(0), 0},
    {"VAL", kFnVal, 1, fn_val, D, A(C), 0},
    {"WEEK", kFnWeek, 1, fn_week, I, A(DTS), 0},
    {"WEEKDAY", kFnDayofweek, 1, fn_dayofweek, I, A(DTS), 0},
    {"YEAR", kFnYear, 1, fn_year, I, A(DTSC), 0},
};

namespace {

const ScalarFunction kBuiltins[kBuiltinFunctionCount] = {
    {"BIT_LENGTH", kBuiltinBitLength, 1, fn_bit_length, I, A(C), 0},
    {"CHARACTER_LENGTH", kBuiltinCharLength, 1, fn_char_length, I, A(C), 0},
    {"CHAR_LENGTH", kBuiltinCharLength, 1, fn_char_length, I, A(C), 0},
    {"LOWER", kBuiltinLower, 1, fn_lcase, C, A(C), 0},
    {"OCTET_LENGTH", kBuiltinOctetLength, 1, fn_octet_length, I, A(C), 0},
    {"POSITION", kBuiltinPosition, 2, fn_position, I, A(C, C), 0},
    {"SUBSTRING", kBuiltinSubstring, 3, fn_substring, C, A(C, I, I | OPT), 0},
    {"TRIM", kBuiltinTrim, 3, nullptr, C, A(I, C | OPT, C), 0},
    {"UPPER", kBuiltinUpper, 1, fn_ucase, C, A(C), 0},
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

int call_scalar_function(int code, ValueEnv *env, int argc, Value *const *args, Value **out) {
    *out = nullptr;
    const ScalarFunction *f = scalar_function_entry(code);
    int min = 0, max = 0;
    if (!f || !f->handler || argument_range(code, &min, &max) != 0)
        return engine_error(env->diag, "HY000", "General error: unknown function code %d", code);
    if (argc < min || argc > max)
        return engine_error(env->diag, "HY000",
                            "General error: incorrect number of arguments to %s(), %d expected, %d found",
                            f->name, min, argc);
    for (int i = 0; i < argc; i++)
        if (!args[i])
            return engine_error(env->diag, "HY000", "General error: missing argument to %s()", f->name);
    return f->handler(env, argc, args, out);
}
