// The scalar function implementations, keyed by the codes of the signature
// table (sql/function_signatures.cpp), and the calling entry.
#include <array>

#include "engine/fn_common.h"
#include "support/diag.h"

namespace {

struct HandlerRow {
    int32_t code;
    ScalarHandler handler;
};

// One row per code; synonyms share their code and so their handler. TRIM has
// its own entry point (trim_value) because its arguments are not values.
constexpr HandlerRow kHandlerRows[] = {
    {kFnAbs, fn_abs},
    {kFnAcos, fn_acos},
    {kFnAscii, fn_ascii},
    {kFnAsin, fn_asin},
    {kFnAtan, fn_atan},
    {kFnAtan2, fn_atan2},
    {kFnBitLength, fn_bit_length},
    {kFnCcur, fn_ccur},
    {kFnCdate, fn_cdate},
    {kFnCeiling, fn_ceiling},
    {kFnChar, fn_char},
    {kFnCharLength, fn_char_length},
    {kFnConcat, fn_concat},
    {kFnConvert, fn_convert},
    {kFnCos, fn_cos},
    {kFnCot, fn_cot},
    {kFnCurdate, fn_curdate},
    {kFnCurtime, fn_curtime},
    {kFnCurrentTimestamp, fn_current_timestamp},
    {kFnDatabase, fn_database},
    {kFnDatediff, fn_datediff},
    {kFnDatepart, fn_datepart},
    {kFnDayname, fn_dayname},
    {kFnDayofmonth, fn_dayofmonth},
    {kFnDayofweek, fn_dayofweek},
    {kFnDayofyear, fn_dayofyear},
    {kFnDegrees, fn_degrees},
    {kFnDifference, fn_difference},
    {kFnExp, fn_exp},
    {kFnExtract, fn_extract},
    {kFnFloor, fn_floor},
    {kFnFormat, fn_format},
    {kFnHour, fn_hour},
    {kFnIfnull, fn_ifnull},
    {kFnInsert, fn_insert},
    {kFnInt, fn_int},
    {kFnIsnull, fn_isnull},
    {kFnLcase, fn_lcase},
    {kFnLeft, fn_left},
    {kFnLength, fn_length},
    {kFnLocate, fn_locate},
    {kFnLog, fn_log},
    {kFnLog10, fn_log10},
    {kFnLtrim, fn_ltrim},
    {kFnSubstring, fn_substring},
    {kFnMinute, fn_minute},
    {kFnMod, fn_mod},
    {kFnMonth, fn_month},
    {kFnMonthname, fn_monthname},
    {kFnNow, fn_current_timestamp},
    {kFnOctetLength, fn_octet_length},
    {kFnPi, fn_pi},
    {kFnPosition, fn_position},
    {kFnPower, fn_power},
    {kFnQuarter, fn_quarter},
    {kFnRadians, fn_radians},
    {kFnRand, fn_rand},
    {kFnRepeat, fn_repeat},
    {kFnReplace, fn_replace},
    {kFnRight, fn_right},
    {kFnRound, fn_round},
    {kFnRtrim, fn_rtrim},
    {kFnSecond, fn_second},
    {kFnSign, fn_sign},
    {kFnSin, fn_sin},
    {kFnSoundex, fn_soundex},
    {kFnSpace, fn_space},
    {kFnSqrt, fn_sqrt},
    {kFnStr, fn_str},
    {kFnTan, fn_tan},
    {kFnTimestampadd, fn_timestampadd},
    {kFnTimestampdiff, fn_timestampdiff},
    {kFnTruncate, fn_truncate},
    {kFnUcase, fn_ucase},
    {kFnUser, fn_user},
    {kFnVal, fn_val},
    {kFnWeek, fn_week},
    {kFnYear, fn_year},
    {kBuiltinBitLength, fn_bit_length},
    {kBuiltinCharLength, fn_char_length},
    {kBuiltinLower, fn_lcase},
    {kBuiltinOctetLength, fn_octet_length},
    {kBuiltinPosition, fn_position},
    {kBuiltinSubstring, fn_substring},
    {kBuiltinUpper, fn_ucase},
};

constexpr int kLowestCode = kBuiltinUpper;
constexpr int kHighestCode = kFnStr;
constexpr int kCodeSlots = kHighestCode - kLowestCode + 1;

// Built once at compile time so a call costs one index, not a search.
constexpr std::array<ScalarHandler, kCodeSlots> make_handler_index() {
    std::array<ScalarHandler, kCodeSlots> index{};
    for (const HandlerRow &row : kHandlerRows) index[row.code - kLowestCode] = row.handler;
    return index;
}
constexpr std::array<ScalarHandler, kCodeSlots> kHandlerIndex = make_handler_index();

}  // namespace

ScalarHandler scalar_handler(int code) {
    if (code < kLowestCode || code > kHighestCode) return nullptr;
    return kHandlerIndex[code - kLowestCode];
}

int call_scalar_function(int code, ValueEnv *env, int argc, Value *const *args, Value **out) {
    *out = nullptr;
    const ScalarFunction *f = scalar_function_entry(code);
    ScalarHandler handler = scalar_handler(code);
    int min = 0, max = 0;
    if (!f || !handler || argument_range(code, &min, &max) != 0)
        return engine_error(env->diag, "HY000", "General error: unknown function code %d", code);
    if (argc < min || argc > max)
        return engine_error(env->diag, "HY000",
                            "General error: incorrect number of arguments to %s(), %d expected, %d found",
                            f->name, min, argc);
    for (int i = 0; i < argc; i++)
        if (!args[i])
            return engine_error(env->diag, "HY000", "General error: missing argument to %s()", f->name);
    return handler(env, argc, args, out);
}
