// The scalar function signatures: names, codes, argument counts and types.
//
// One static table, sorted by name, lists every scalar function SQL text may
// call ({fn name(...)}, name(...), or a keyword form). The parser looks names
// up (find_scalar_function) and checks argument counts (argument_range); the
// validator checks argument types against the masks and derives the result.
// The implementations live above, in the engine (engine/functions.h), keyed
// by the same codes, so the front end needs nothing from the engine.
//
// The SQL-92 built-in forms (CHARACTER_LENGTH, OCTET_LENGTH, POSITION,
// SUBSTRING, TRIM, BIT_LENGTH, LOWER, UPPER) have negative codes and their
// own small table (builtin_function_entry); the grammar builds them directly.
//
// Exports: ScalarFunction, the kMask* bits, kFn* codes, scalar_functions,
// kScalarFunctionCount, find_scalar_function, scalar_function_entry,
// scalar_function_name, argument_range, builtin_function_entry.
#pragma once

#include <cstdint>

// Type mask bits of arguments and results.
inline constexpr int32_t kMaskChar = 1;
inline constexpr int32_t kMaskInteger = 2;
inline constexpr int32_t kMaskChar2 = 4;      // character, second kind (POSITION, CHAR)
inline constexpr int32_t kMaskDouble = 8;
inline constexpr int32_t kMaskDate = 16;
inline constexpr int32_t kMaskTime = 32;
inline constexpr int32_t kMaskTimestamp = 64;
inline constexpr int32_t kMaskInterval = 128;
inline constexpr int32_t kMaskKeyword = 256;   // interval keyword / specifier: not typed
inline constexpr int32_t kMaskAny = 512;       // any type (result: the first argument's)
inline constexpr int32_t kMaskOptional = 0x800;

// Entry flags.
inline constexpr int32_t kFnExactForExact = 1;  // result is NUMERIC for a NUMERIC/DECIMAL arg

inline constexpr int kMaxFunctionArgs = 11;
inline constexpr int kFunctionNotFound = -99;

// Function codes (synonyms share one).
enum : int32_t {
    kFnAbs = 0, kFnAcos = 1, kFnAscii = 2, kFnAsin = 3, kFnAtan = 4, kFnAtan2 = 5,
    kFnBitLength = 6, kFnCeiling = 7, kFnChar = 8, kFnCharLength = 9, kFnConcat = 10,
    kFnConvert = 11, kFnCos = 12, kFnCot = 13, kFnCurdate = 14, kFnCurtime = 15,
    kFnCurrentTimestamp = 16, kFnDatabase = 17, kFnDayname = 18, kFnDayofmonth = 19,
    kFnDayofweek = 20, kFnDayofyear = 21, kFnDegrees = 22, kFnDifference = 23, kFnExp = 24,
    kFnExtract = 25, kFnFloor = 26, kFnHour = 27, kFnIfnull = 28, kFnInsert = 29,
    kFnLcase = 30, kFnLeft = 31, kFnLength = 32, kFnLocate = 33, kFnLog = 34, kFnLog10 = 35,
    kFnLtrim = 36, kFnMinute = 37, kFnMod = 38, kFnMonth = 39, kFnMonthname = 40,
    kFnNow = 41, kFnOctetLength = 42, kFnPi = 43, kFnPosition = 44, kFnPower = 45,
    kFnQuarter = 46, kFnRadians = 47, kFnRand = 48, kFnRepeat = 49, kFnReplace = 50,
    kFnRight = 51, kFnRound = 52, kFnRtrim = 53, kFnSecond = 54, kFnSign = 55, kFnSin = 56,
    kFnSoundex = 57, kFnSpace = 58, kFnSqrt = 59, kFnSubstring = 60, kFnTan = 61,
    kFnTimestampadd = 62, kFnTimestampdiff = 63, kFnTruncate = 64, kFnUcase = 65,
    kFnUser = 66, kFnWeek = 67, kFnYear = 68, kFnCcur = 69, kFnDatediff = 70, kFnVal = 71,
    kFnCdate = 72, kFnDatepart = 73, kFnFormat = 74, kFnIsnull = 75, kFnInt = 76,
    kFnStr = 77,
    // Built-in SQL-92 forms built by the grammar.
    kBuiltinCharLength = -1, kBuiltinOctetLength = -2, kBuiltinPosition = -3,
    kBuiltinSubstring = -4, kBuiltinTrim = -5, kBuiltinBitLength = -6, kBuiltinLower = -7,
    kBuiltinUpper = -8,
};

struct ScalarFunction {
    const char *name;                          // upper-case name
    int32_t code;                              // kFn* (stored in the function node)
    int32_t argument_count;                    // declared arguments
    int32_t result_mask;                       // kMask* bits of the result
    int32_t argument_masks[kMaxFunctionArgs];  // one per declared argument
    int32_t flags;                             // kFn* entry flags
};

inline constexpr int kScalarFunctionCount = 87;
inline constexpr int kBuiltinFunctionCount = 9;

/// The table, sorted by name.
extern const ScalarFunction scalar_functions[kScalarFunctionCount];

/// Case-insensitive binary search by name. Returns the code, or
/// kFunctionNotFound (-99). A null name is not found.
[[nodiscard]] int find_scalar_function(const char *name);

/// The first entry with `code` (table codes >= 0 or built-in codes < 0), or
/// null for an unknown code.
[[nodiscard]] const ScalarFunction *scalar_function_entry(int code);

/// The name of scalar_function_entry(code), or null.
[[nodiscard]] const char *scalar_function_name(int code);

/// Argument count range of a code: maximum = argument_count, minimum = the
/// arguments without kMaskOptional. Returns 0, or -1 for an unknown code.
[[nodiscard]] int argument_range(int code, int *minimum, int *maximum);

/// Entry of a built-in form by negative code, or null.
[[nodiscard]] const ScalarFunction *builtin_function_entry(int code);
