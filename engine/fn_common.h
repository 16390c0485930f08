// Helpers shared by the scalar function handlers: result construction,
// argument readers with the library's error rules, and the handler
// declarations the function table refers to.
//
// Every helper that returns int gives 0, or -1 after posting on env->diag.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine_error.h"
#include "engine/functions.h"

namespace fn {

/// HY001 with the given text ("Memory allocation error" unless said).
int oom(ValueEnv *env, const char *text = "Memory allocation error");
/// HY000 with `text` as the whole message.
int general(ValueEnv *env, const char *text);

/// True when any of the first argc arguments is NULL.
[[nodiscard]] bool any_null(int argc, Value *const *args);

/// A NULL result of `type`.
int null_result(ValueEnv *env, uint32_t type, Value **out);

int int_result(ValueEnv *env, int64_t v, Value **out);      // 22003 beyond 32 bits
int double_result(ValueEnv *env, double v, Value **out);    // 22003 when not finite
int text_result(ValueEnv *env, const char *text, size_t len, Value **out,
                const char *oom_text = "Memory allocation error");
/// A VT_CHAR result of `len` bytes to be filled by the caller (*buf).
int text_buffer(ValueEnv *env, size_t len, Value **out, char **buf,
                const char *oom_text = "Memory allocation error");

/// Characters of a character argument (long values read whole); other
/// kinds give their text form in the pool.
int arg_text(ValueEnv *env, const Value *v, const char **text, size_t *len);
/// 32-bit integer reading; 22003 when out of range.
int arg_int(ValueEnv *env, const Value *v, int32_t *out);
/// 64-bit integer reading; 22003 when out of range.
int arg_int64(ValueEnv *env, const Value *v, int64_t *out);
int arg_double(ValueEnv *env, const Value *v, double *out);
/// A date, time, timestamp or character argument as a timestamp (a time on
/// the statement's date, a date at midnight); 22008 for stored fields that
/// name no valid date.
int arg_timestamp(ValueEnv *env, const Value *v, TIMESTAMP_STRUCT *out);
/// The statement's start instant (now when the caller left it empty).
TIMESTAMP_STRUCT start_instant(const ValueEnv *env);

/// Byte offset of character `n` (0-based) in UTF-8 text, clamped to len.
[[nodiscard]] size_t char_offset(const char *text, size_t len, int64_t n);
/// Number of UTF-8 characters.
[[nodiscard]] size_t char_count(const char *text, size_t len);

}  // namespace fn

// Handlers (defined in fn_numeric.cpp, fn_string.cpp, fn_datetime.cpp, fn_misc.cpp).
#define CV_HANDLER(name) int name(ValueEnv *env, int argc, Value *const *args, Value **out)
CV_HANDLER(fn_abs); CV_HANDLER(fn_acos); CV_HANDLER(fn_asin); CV_HANDLER(fn_atan);
CV_HANDLER(fn_atan2); CV_HANDLER(fn_ceiling); CV_HANDLER(fn_cos); CV_HANDLER(fn_cot);
CV_HANDLER(fn_degrees); CV_HANDLER(fn_exp); CV_HANDLER(fn_floor); CV_HANDLER(fn_log);
CV_HANDLER(fn_log10); CV_HANDLER(fn_mod); CV_HANDLER(fn_pi); CV_HANDLER(fn_power);
CV_HANDLER(fn_radians); CV_HANDLER(fn_rand); CV_HANDLER(fn_round); CV_HANDLER(fn_sign);
CV_HANDLER(fn_sin); CV_HANDLER(fn_sqrt); CV_HANDLER(fn_tan); CV_HANDLER(fn_truncate);
CV_HANDLER(fn_ascii); CV_HANDLER(fn_bit_length); CV_HANDLER(fn_char); CV_HANDLER(fn_char_length);
CV_HANDLER(fn_concat); CV_HANDLER(fn_difference); CV_HANDLER(fn_insert); CV_HANDLER(fn_lcase);
CV_HANDLER(fn_left); CV_HANDLER(fn_length); CV_HANDLER(fn_locate); CV_HANDLER(fn_ltrim);
CV_HANDLER(fn_octet_length); CV_HANDLER(fn_position); CV_HANDLER(fn_repeat);
CV_HANDLER(fn_replace); CV_HANDLER(fn_right); CV_HANDLER(fn_rtrim); CV_HANDLER(fn_soundex);
CV_HANDLER(fn_space); CV_HANDLER(fn_substring); CV_HANDLER(fn_ucase); CV_HANDLER(fn_database);
CV_HANDLER(fn_user); CV_HANDLER(fn_curdate); CV_HANDLER(fn_curtime);
CV_HANDLER(fn_current_timestamp); CV_HANDLER(fn_datediff); CV_HANDLER(fn_datepart);
CV_HANDLER(fn_dayname); CV_HANDLER(fn_dayofmonth); CV_HANDLER(fn_dayofweek);
CV_HANDLER(fn_dayofyear); CV_HANDLER(fn_extract); CV_HANDLER(fn_hour); CV_HANDLER(fn_minute);
CV_HANDLER(fn_month); CV_HANDLER(fn_monthname); CV_HANDLER(fn_quarter); CV_HANDLER(fn_second);
CV_HANDLER(fn_timestampadd); CV_HANDLER(fn_timestampdiff); CV_HANDLER(fn_week);
CV_HANDLER(fn_year); CV_HANDLER(fn_ccur); CV_HANDLER(fn_cdate); CV_HANDLER(fn_convert);
CV_HANDLER(fn_format); CV_HANDLER(fn_ifnull); CV_HANDLER(fn_int); CV_HANDLER(fn_isnull);
CV_HANDLER(fn_str); CV_HANDLER(fn_val);
#undef CV_HANDLER
