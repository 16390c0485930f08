// The engine services a provider may ask of the DAL through
// DALServiceCallback: 5 evaluate an expression, 6 convert a value to an SQL
// type, 7 the type information of an SQL type, 11 a value as an integer.
//
// Converting, type information and integer readings are the value layer's
// and are answered here. Evaluating needs the query engine, which sits above
// the DAL: it registers its evaluator once (dal_set_expression_evaluator);
// without one, code 5 fails.
//
// Request fields per code (dal/provider.h DalServiceRequest):
// - 5: in `result` the expression node, in `buffer` the CvPool the value is
//   made in; out `value`.
// - 6: in `value` and `code` (the SQL type), `buffer` the CvPool; out
//   `value` (a new value of that type).
// - 7: in `code` (the SQL type), `buffer` an ExtendedType of at least
//   `capacity` bytes; out the type's description.
// - 11: in `value`; out `length` (the integer; 22003 posted when it does
//   not fit 64 bits).
//
// Exports: DalEvaluateFn, dal_set_expression_evaluator, dal_engine_service,
// DAL_SERVICE_EVALUATE, DAL_SERVICE_CONVERT, DAL_SERVICE_TO_INTEGER.
#pragma once

#include "dal/provider.h"

struct CvPool;
struct DalRecord;

inline constexpr int DAL_SERVICE_EVALUATE = 5;
inline constexpr int DAL_SERVICE_CONVERT = 6;
inline constexpr int DAL_SERVICE_TO_INTEGER = 11;

/// Evaluates a self-contained expression (literals, functions, arithmetic)
/// into a new value in `pool`. 0, or -1 after posting on `handle`.
using DalEvaluateFn = int (*)(DalRecord *dal, void *handle, void *expression, CvPool *pool, Value **out);

void dal_set_expression_evaluator(DalEvaluateFn fn);

/// Answers codes 5, 6, 7 and 11; DAL_ERROR for any other.
[[nodiscard]] int dal_engine_service(DalRecord *dal, int code, DalServiceRequest *request);
