// Row identities for keyset-driven cursors.
//
// A keyset cursor keeps, for every row it has produced, the values that find
// the row again at its provider (its identity), and reads each row it shows
// again from a stored position by that identity, so the application sees the
// current data and learns of rows that vanished. The identity is what the
// provider declares for the table (SQI_INFO_ROW_IDENTITY): its primary key
// columns, a row number (special column -1) or a key string of at most 32
// bytes (special column -2).
//
// A query has an identity when every result column is a column of a base
// table (no grouping, set function, DISTINCT, UNION or outer join), and the
// provider can read one row of each table the select list shows by its
// identity. Key columns the select list carries are taken from the result
// row (so ORDER BY keeps them). Over one table, a key the select list lacks
// and the special columns come from the scan's current row, which only a
// query without ORDER BY hands out unsorted; over a join every such table's
// key columns must be in the select list.
//
// Cost: the cursor's rows are all read when it opens (its keyset), and every
// row shown costs one more keyed read at the provider: one GET per row for
// the PayPal tables that have one.
//
// Exports: TableIdentity, RowIdentity, keyset_prepare, keyset_scan_row (and the
// query_identity_* entry points of exec_api.h).
#pragma once

#include <cstdint>

#include "query/records.h"

struct EvalContext;

/// The identity of one table's row within a result row.
struct TableIdentity {
    TableSlot *slot;
    int32_t index;             // the slot's index in the scope (from 0)
    int32_t kind;              // kRowIdentityKeyColumns, kRowIdentityRowNumber, kRowIdentityKeyString
    int32_t first;             // its first value among the row's identity values (from 0)
    int32_t count;             // its values
    int32_t *key_columns;      // key columns: the slot's column index (from 0) per value
    int32_t *result_column;    // per value: the result column (from 1) holding it, 0: the scan's row
    Value *special;            // special column of the scan's current row (kinds 2 and 3)
};

/// The identity of the open cursor's rows (execution pool): one entry per
/// table whose columns the select list shows.
struct RowIdentity {
    QueryScope *scope;
    int32_t table_count;
    TableIdentity *tables;
    int32_t count;             // identity values per row, all tables
    int32_t *column_slot;      // per result column: the index of its table's slot
    DalIterator *it;           // the keyed reads
    ExecPlan *reread;          // scans[slot index]: the rows read by identity, set up on first use
};
/// Works out the identity of the current query before its plan opens (key
/// columns the scan must read are marked used). Sets st->identity, or
/// leaves it null when the query has none. Throws QueryFailure only after
/// posting (memory).
void keyset_prepare(QueryStatement *statement, ValidatedStatement *validated, EvalContext *context);

/// Called for every row a scan delivers: reads the special column of the
/// identity's table into the identity. A key string longer than 32 bytes
/// is an error naming the table (never cut).
void keyset_scan_row(QueryStatement *statement, TableScan *scan, EvalContext *context);

// query_identity_count, query_identity_value and query_refetch_row, the
// statement layer's view of identities, are declared in exec_api.h.
