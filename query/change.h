// Data changes: what validation records for INSERT, UPDATE and DELETE, and
// their execution through the data access layer's row operations.
//
// Validation (validate_change.cpp) resolves the target table as a slot, the
// target columns, the values or the source query, and for searched UPDATE
// and DELETE the key columns and the keyset query: SELECT of the key
// columns (and of SET values that read the row) with the statement's WHERE.
// Execution (exec_change.cpp) runs that query to its end before the first
// change, so a change never shifts the rows still to be read; INSERT ...
// SELECT likewise reads its whole source first.
//
// Exports: ChangePlan, ChangeSet, validate_change, execute_change,
// query_markers.
#pragma once

#include <cstdint>
#include <vector>

#include "query/records.h"
#include "query/validate.h"

/// One assignment of an UPDATE, or one value of INSERT ... VALUES.
struct ChangeSet {
    int32_t column;          // target column, from 0
    Node *value;             // expression, or null for NULL / DEFAULT
    int32_t set_null;        // NULL (or DEFAULT, which is NULL here)
    Node *subquery;          // UPDATE ... SET c = (sub-query): its SELECT
    int32_t row_column;      // > 0: the value is column n of the keyset query (it reads the row)
};

struct ChangePlan {
    uint32_t kind;           // NODE_INSERT, NODE_UPDATE, NODE_DELETE
    TableSlot *slot;         // the target table
    int32_t set_count;
    ChangeSet *sets;
    Node *source;            // INSERT ... SELECT: the SELECT
    int32_t key_count;       // key columns (searched UPDATE and DELETE)
    int32_t *keys;           // their column indexes, from 0
    Node *where;             // searched UPDATE and DELETE: the condition, or null
    const char *keyset_text; // the keyset query, or null (DELETE without WHERE)
    int32_t keyset_param_count;
    int32_t *keyset_params;  // parameter numbers of the keyset query's markers, in order
    int32_t diag_mark;       // diagnostics on the statement when the execution began
    const char *cursor;      // WHERE CURRENT OF: the cursor's name, else null
};

/// Validates INSERT, UPDATE, DELETE (searched and positioned) and the
/// statements refused outright; throws QueryFailure after posting.
ValidatedStatement *validate_change(ValidationContext *context, Node *tree, int32_t function_code,
                                    QueryStatementKind kind);

/// Runs the current data change: 0, 100 (searched change touching no
/// row), or -1 with diagnostics posted. The statement's row_count gets the
/// rows changed (also those changed before a failure).
[[nodiscard]] int execute_change(QueryStatement *statement, ValidatedStatement *validated);

/// Appends the markers of the validated query `node`, or of
/// the sub-query a scalar sub-query, EXISTS, IN or quantified comparison
/// node holds, with those of every sub-query nested in it, in text order
/// (the order of their numbers). Nothing for any other node.
void query_markers(const Node *node, std::vector<int32_t> &out);
