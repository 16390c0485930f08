// Planning helpers: the WHERE clause as alternatives, and table statistics.
//
// Alternatives: AND is distributed over OR ((A OR B) AND C becomes
// A AND C, B AND C) so that each alternative can offer its own restrictions;
// past kMaxAlternatives the whole condition stays one alternative, which
// bounds planning and the number of scans. The new nodes live in the plan's
// pool: every execution makes its own, the statement's tree is not changed.
//
// Statistics: a table's row count and indexes as its provider reports them
// through SQLStatistics, and the key column without which it refuses a scan
// (SQI_INFO_REQUIRED_KEY), asked once per prepared statement and kept on the
// table slot; a provider that gives none leaves 10000 rows and no index.
//
// Exports: kMaxAlternatives, kMaxDistributed, kMaxExpandedRows,
// prepare_alternatives, expand_subqueries, TableStatistics,
// IndexStatistics, table_statistics, is_key_lookup.
#pragma once

#include <vector>

#include "query/evaluate.h"

inline constexpr int kMaxAlternatives = 256;      // disjuncts of an OR list
inline constexpr int kMaxDistributed = 32;        // alternatives made by AND over OR
inline constexpr int kMaxExpandedRows = 101;      // rows a sub-query may give to be expanded

/// The alternatives of `where` into out[0..n) (n <= kMaxAlternatives); 1
/// with `where` itself when it has no OR or too many alternatives.
/// An OR list gives up to kMaxAlternatives of them, an AND over ORs up to
/// kMaxDistributed. Disjuncts comparing with NULL are left out: they hold
/// for no row.
[[nodiscard]] int prepare_alternatives(ExecPlan *plan, Node *where, Node **out, EvalContext *context);

/// With the connection option in_expansion: `where` with every
/// uncorrelated IN sub-query of one column returning at most
/// kMaxExpandedRows rows replaced by the equalities with its values (NOT IN:
/// the inequalities), and every comparison with a sub-query returning one
/// row by that value. Sub-queries are run now; the copy lives in the plan's
/// pool, so each execution expands again. Only the WHERE root and operands
/// of AND, OR and NOT are looked at.
[[nodiscard]] Node *expand_subqueries(ExecPlan *plan, Node *where, EvalContext *context);

struct IndexStatistics {
    bool unique;
    std::vector<int> columns;      // from 1, in index order
};

struct TableStatistics {
    double rows = 10000;
    std::vector<IndexStatistics> indexes;
    int required_key = 0;          // column (from 1) a scan must be given an equality on, or 0
};

/// The statistics of a slot (asked once, then kept). Never null.
[[nodiscard]] const TableStatistics *table_statistics(QueryStatement *statement, TableSlot *slot,
                                                      EvalContext *context);

/// Whether `columns` (from 1) restricted by equality include the leading
/// column of a unique index, or the column the table requires.
[[nodiscard]] bool is_key_lookup(const TableStatistics *stats, const std::vector<int> &columns);
