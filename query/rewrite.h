// Rewrites made when a query is planned, on a copy for the one execution
// (the validated tree is not changed, so a statement executed again plans
// afresh):
//
// - Whole queries for one provider: an uncorrelated query whose every table
//   (those of its sub-queries and derived tables too) belongs to one
//   provider that declares it takes whole queries is marked `passthrough`. No provider declares it yet; a marked query runs
//   through the engine's own plans like any other.
// - relational_opt (connection option): the tables of a query that all
//   belong to one provider are read as one derived table, made of those
//   tables and the conjuncts of WHERE that refer only to them; the rest of
//   the query (other conjuncts, grouping, the select list) runs over it.
//   Only queries whose tables all belong to one provider are grouped.
//
// Exports: rewrite_query.
#pragma once

#include "query/evaluate.h"

/// The scope to plan for `scope` this execution: `scope` itself, or its
/// rewritten copy (in the execution pool).
[[nodiscard]] QueryScope *rewrite_query(QueryStatement *statement, QueryScope *scope, EvalContext *context);
