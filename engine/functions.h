// The scalar function implementations and their calling convention.
//
// The signatures (names, codes, argument counts and masks) are the SQL front
// end's table, sql/function_signatures.h, included here; this layer adds one
// handler per code, and the evaluator calls it with the evaluated arguments.
//
// Calling convention: handler(env, argc, args, out) with `args` the argument
// values in order. Arguments whose mask is kMaskKeyword (the DATEDIFF /
// DATEPART / TIMESTAMPADD / TIMESTAMPDIFF unit, FORMAT's format) are not
// evaluated by type: the evaluator passes a VT_CHAR value holding the
// literal's text or the plain name as written; EXTRACT's field arrives as a
// VT_INTEGER 0 YEAR .. 5 SECOND. A handler returns 0 with *out a new value
// in env->pool, or -1 after posting one diagnostic on env->diag (return code
// -1 set); *out is then null and nothing of a partial result survives.
//
// Exports: ScalarHandler, scalar_handler, call_scalar_function, trim_value
// (and, through the signature header, the table and its lookups).
#pragma once

#include <cstdint>

#include "sql/function_signatures.h"
#include "support/value.h"

using ScalarHandler = int (*)(ValueEnv *env, int argc, Value *const *args, Value **out);

/// The implementation of a function code (table or built-in), or null for
/// an unknown code and for TRIM (see trim_value).
[[nodiscard]] ScalarHandler scalar_handler(int code);

/// Calls the handler of `code` after checking the argument count. Returns
/// the handler's result; an unknown code or a wrong count posts HY000 and
/// returns -1.
[[nodiscard]] int call_scalar_function(int code, ValueEnv *env, int argc, Value *const *args,
                                       Value **out);

/// TRIM(form, char FROM source): form 0/3 both, 1 leading, 2 trailing;
/// `trim_char` the first character of the trim expression (space by
/// default). Returns 0 with *out a new VT_CHAR (NULL for a NULL source), or
/// -1 after posting.
[[nodiscard]] int trim_value(ValueEnv *env, int form, char trim_char, const Value *source,
                             Value **out);
