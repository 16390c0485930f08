// The query engine's own records: what validation leaves for execution
// (QueryScope, TableSlot, SelectColumn, ValidatedStatement), what execution
// builds (ExecPlan, TableScan, SubqueryState) and the statement record that
// holds them (QueryStatement).
//
// Ownership: scopes, slots and validated statements live in the statement's
// parse pool (replaced at each prepare); plans, scans, row values and
// sub-query states live in the execution pool (replaced at each execute and
// released when the cursor closes); per-row temporaries live in the row pool,
// a child of the execution pool replaced before every row.
//
// Exports: the node kinds kScopeKind .. kPlanKind, QueryScope, TableSlot,
// SelectColumn, ValidatedStatement, TableScan, ExecPlan, SubqueryState,
// QueryStatement, QueryFailure.
#pragma once

#include <ctime>

#include "dal/dal.h"
#include "engine/types.h"
#include "support/value.h"
#include "query/deferred.h"
#include "query/exec_api.h"
#include "sql/parse_tree.h"
#include "sql/parser.h"
#include "support/list.h"

inline constexpr uint32_t kScopeKind = 400;
inline constexpr uint32_t kSlotKind = 401;
inline constexpr uint32_t kValidatedKind = 403;
inline constexpr uint32_t kPlanKind = 405;

struct TableScan;
struct ExecPlan;
struct QueryScope;
struct DerivedRows;
struct QueryStatement;

/// Thrown (after the diagnostic was posted) to abandon validation or
/// evaluation; caught at the engine's entry points, never beyond them.
struct QueryFailure {
    int code;  // -1
};

/// One element of a FROM list.
struct TableSlot {
    uint32_t kind;              // kSlotKind
    TableRefNode *ref;          // the FROM element
    const char *match_name;     // alias, else the table name (matching names)
    int32_t match_quoted;       // 1 when written quoted (exact comparison)
    TableInfo info;             // from DALGetTableInfo
    int32_t column_count;
    ColumnInfo *columns;        // from DALGetColumnInfo
    ExtendedType *types;        // per column, from the ColumnInfo
    int32_t *used;              // per column: referenced by the query
    int32_t *updatable;         // per column: FOR UPDATE
    int32_t position;           // in the FROM list, from 1
    TableScan *scan;            // while a plan runs: the scan holding the current row
    void *statistics;           // TableStatistics, asked once (optimise.cpp)
    QueryScope *derived;        // a derived table: its query (first UNION branch), else null
};

/// A join written in the FROM clause. Its base tables are slots of the
/// scope like any other (left side first, so columns stay left then
/// right): slots [lo, mid) are the left side, [mid, hi) the right side.
struct JoinSpec {
    JoinNode *node;
    int32_t kind;               // kJoinInner, kJoinLeft, kJoinRight, kJoinFull
    int32_t lo, mid, hi;        // slot indexes (from 0)
    JoinSpec *left;             // a side that is itself a join, else null
    JoinSpec *right;
    Node *on;                   // the condition (USING and NATURAL built into one), or null
};

inline constexpr int32_t kJoinInner = 0;
inline constexpr int32_t kJoinLeft = 1;
inline constexpr int32_t kJoinRight = 2;
inline constexpr int32_t kJoinFull = 3;

/// One select-list column of a scope.
struct SelectColumn {
    Node *expression;
    const char *name;           // alias or column name; null when unnamed
    int32_t has_alias;
    int32_t sql_type;
    ExtendedType type;
    TableSlot *slot;            // plain column reference: its slot and column
    int32_t column;             //   (from 1), else null / 0
};

/// Execution state of a scope used as a sub-query (kept per execution).
struct SubqueryState {
    ExecPlan *plan;             // built on first use, reopened later
    int32_t evaluated;          // uncorrelated: the cached answer below is valid
    int32_t exists;             // EXISTS answer
    Value **values;             // IN: the non-null values, as read
    int32_t value_count;
    int32_t had_null;           // IN: some value was NULL
    uint32_t value_forms;       // IN: bit 1 << KeyForm of every value read (sort_record.h)
    uint32_t value_type;        // IN: the one type of all values read, else 0
    int32_t key_form;           // IN: the KeyForm `keys` are in, 0 before they are made
    void *keys;                 // IN: the values' keys in that form, sorted (subquery.cpp)
    int32_t key_count;
    int32_t row_count;          // rows seen (0, 1 or 2 = more than one)
    Value *scalar;              // scalar sub-query: its single value (exec pool)
};

/// One query specification (or UNION branch).
struct QueryScope {
    uint32_t kind;              // kScopeKind
    QuerySpecNode *spec;
    SelectCoreNode *core;
    QueryScope *enclosing;      // the query containing this one
    QueryScope *union_left;     // UNION: the left branch's scope
    QueryScope *union_next;     // UNION ALL: the next branch, whose rows follow
    int32_t union_all;
    int32_t column_count;
    SelectColumn *columns;
    int32_t slot_count;
    TableSlot **slots;          // base tables, joins flattened in FROM order
    int32_t element_count;      // FROM elements
    JoinSpec **elements;        // per FROM element: its join, or null for a table
    int32_t distinct;
    int32_t top;
    ListNode *group_by;
    Node *having;
    ListNode *order_by;
    List *resolved;             // ColumnRefNode resolved in this scope
    List *select_aggregates;
    List *having_aggregates;
    List *outer_refs;           // references from inner scopes to this one
    List *parameters;
    List *param_likes;
    List *subqueries;           // QueryScope of sub-queries
    int32_t correlated;
    int32_t is_query;
    const char *unsupported;    // a form execution cannot run yet, or null
    SubqueryState *state;       // execution state, valid while state_generation
    int32_t state_generation;   //   equals the statement's generation
    // Per-execution rewrites (rewrite.cpp): the validated query this scope
    // stands for (the cursor reads it as that query), and the query whose
    // column references count as this scope's own (a derived table made
    // of that query's tables).
    QueryScope *rewrite_of;
    QueryScope *refs_of;
    int32_t passthrough;        // every table belongs to one provider that takes whole queries
};

/// Whether a column reference bound in `ref_scope` is a column of the
/// query `plan_scope` runs (and not an enclosing query's).
inline bool scope_owns(const QueryScope *plan_scope, const void *ref_scope) {
    return ref_scope == plan_scope || (plan_scope->refs_of && ref_scope == plan_scope->refs_of);
}

/// A validated statement of the batch.
struct ValidatedStatement {
    uint32_t kind;              // kValidatedKind
    Node *tree;                 // the statement node
    int32_t function_code;
    QueryStatementKind statement_kind;
    QueryScope *scope;          // queries
    int32_t column_count;
    QueryColumn *columns;
    struct ChangePlan *change;  // INSERT, UPDATE, DELETE (query/change.h)
    struct CallPlan *call;      // procedure calls (query/call.h)
};

/// A base table's scan within a plan.
struct TableScan {
    TableSlot *slot;
    DalIterator *it;            // opened on first use, reset afterwards
    int32_t asked;              // provider answers cached below
    int32_t lazy;               // column reads may be deferred
    int32_t capabilities;       // restriction forms accepted (bits 1, 2, 4)
    Value **values;             // per column; null for columns not used
    int32_t *capacity;          // per column: bytes of the value's buffer
    DeferredNumeric *numeric;   // per column
    int32_t restriction_count;  // restrictions of the current alternative
    Restriction **restrictions;
    int32_t end;                // no more rows
    DerivedRows *derived;       // a derived table's rows (derived.cpp), else null
};

/// One alternative of a WHERE clause: its restriction candidates per scan.
struct Alternative {
    Node *condition;            // the disjunct whose restrictions are offered
    List **candidates;          // per scan: Restriction* built at setup
};

/// The plan of one query specification.
struct ExecPlan {
    uint32_t kind;              // kPlanKind
    CvPool *pool;               // the plan's own pool
    QueryStatement *statement;
    QueryScope *scope;
    int32_t scan_count;         // scans[0] is the outermost
    TableScan *scans;
    int32_t *rank;              // per scan: its level in the chosen join order, or null
                                //   (FROM order; join_order.cpp)
    int32_t unit_count;         // the nested loop's levels: a table or a join (join.cpp)
    struct PlanUnit *units;
    int32_t alternative_count;
    Alternative *alternatives;
    List **level_filters;       // per level of the nested loop: the WHERE conjuncts checked
                                //   once it has a row (plan.cpp), or null: WHERE at the end
    int32_t current;            // alternative being read
    int32_t positioned;         // outer scans hold a row
    int32_t produced;           // rows produced so far
    int64_t limit;              // 0: none
    int32_t done;
    int32_t combinations_done;  // every combination of every alternative was read
    int32_t skip_results;       // EXISTS: rows are counted, not evaluated
    int32_t results_unread;     // plain column results may stay deferred (cursor.cpp)
    int32_t results_fixed;      // results are the one scan's own values every row
    void *sort;                 // grouping and DISTINCT state (group.cpp), or null
    // Next result row into `results` (one value per select column). 0 row,
    // 100 end; failures throw QueryFailure.
    int (*fetch_operation)(ExecPlan *plan);
    Value **results;
};

struct QueryStatement {
    CvPool *pool;               // the record's own pool
    CvPool *parse_pool;         // tree and validation results
    CvPool *exec_pool;          // plans, values of one execution
    CvPool *row_pool;           // temporaries of the current row
    ErrorHeader *diag;
    QueryConnection connection;
    QueryOptions options;
    ParseContext *parse;
    int32_t statement_count;
    ValidatedStatement **statements;
    int32_t current;            // index of the current statement
    int32_t parameter_count;    // markers of the whole text
    ExtendedType *parameter_types;  // by number - 1
    int32_t *parameter_typed;
    QueryParameter *parameters;
    Value *const *params;       // the values of the execution
    int32_t param_value_count;
    ExecPlan *plan;             // the open cursor's plan
    Value **row;                // the current row (results), or null
    TIMESTAMP_STRUCT start;
    int32_t fixed_start;
    TIMESTAMP_STRUCT given_start;
    time_t deadline;            // 0: none
    SQLLEN row_count;
    int32_t generation;         // counts executions (see QueryScope::state)
    // Scratch values of the current candidate row (new_row_value): chunks
    // in the execution pool, reused from the start for every row, so the
    // per-row path allocates nothing for plain numeric results.
    Value **scratch_chunks;
    int32_t scratch_chunk_count;
    int32_t scratch_used;
    int32_t rows_since_reset;   // candidate rows since the row pool was replaced
    int32_t rows_since_clock;   // candidate rows since the deadline was looked at
    int32_t row_info;           // a provider read gave information (DAL_INFO) for this fetch
    void *current_aggregates;   // accumulators of the set functions being answered
    ValueEnv env;               // for casts and functions (pool = row pool)
    void *aggregates;           // set-function accumulators of this execution (group.cpp)
    int32_t aggregates_generation;  //   valid while equal to `generation`
    void *cursor;               // ORDER BY and UNION state of the open cursor (cursor.cpp)
    void *identity;             // RowIdentity of the open cursor's rows (keyset.cpp), or null
    void *call_rows;            // result rows of procedure calls (call.h), or null
    int32_t keep_call_rows;     // 1: an execution adds to the rows kept (parameter arrays)
    int32_t call_open;          // 1 while a call's rows are the open cursor
};
