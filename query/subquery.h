// Predicates over sub-queries: EXISTS, IN, quantified comparisons, scalar
// sub-queries. An uncorrelated sub-query is read once per execution and its
// answer kept; a correlated one is read again for every outer row.
//
// Exports: subquery_exists, subquery_in, subquery_quantified,
// subquery_compare, subquery_value.
#pragma once

#include "query/evaluate.h"

[[nodiscard]] int subquery_exists(QuerySpecNode *spec, EvalContext *context);
[[nodiscard]] int subquery_in(InSubqueryNode *in, EvalContext *context);
[[nodiscard]] int subquery_quantified(QuantifiedNode *q, EvalContext *context);
/// left op (scalar sub-query): a truth value.
[[nodiscard]] int subquery_compare(QuerySpecNode *spec, Value *left, int op, EvalContext *context);
/// The sub-query's single value (NULL without a row).
[[nodiscard]] Value *subquery_value(QuerySpecNode *spec, EvalContext *context);
