// Bound entries of values a forward-only fetch hands out unread
// (QueryOptions::results_unread). A character value bound as text has the
// provider write it straight into the application's entry: no copy through
// the engine's value, no long-value spooling; it stays unread, so a later
// SQLGetData of the column reads it again. An amount bound as text whose
// provider text is a plain decimal is printed at the column's scale. A
// NULL, a text cut by the entry, or anything else becomes a read value and
// takes the ordinary conversion, which gives what it always gives.
//
// Exports: Unread, deliver_unread.
#pragma once

#include "odbc/convert.h"
#include "odbc/fetch_plan.h"

struct QueryStatement;

/// What became of a value the engine handed out unread.
enum class Unread {
    kDelivered,  // the entry holds it (a text stays unread; a NULL is read)
    kRead,       // read into the value: convert it as any other
    kFailed,     // could not be read ("Data Read Error" posted)
};

/// Delivers the unread value `v` of bound column `e` into entry `t`, or
/// reads it for the conversion.
[[nodiscard]] Unread deliver_unread(QueryStatement *query, const BoundColumn &e, Value *v, const ConvertTarget &t);
