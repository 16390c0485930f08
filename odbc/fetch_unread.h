// Bound entries of values a forward-only fetch hands out unread
// (QueryOptions::results_unread). A character value bound as text has the
// provider write it straight into the application's entry: no copy through
// the engine's value, no long-value spooling; it stays unread, so a later
// SQLGetData of the column reads it again. An amount bound as text whose
// provider text is a plain decimal is printed at the column's scale. A
// NULL, a text cut by the entry, or anything else becomes a read value and
// takes the ordinary conversion, which gives what it always gives.
//
// SQLGetData's first read of such a value into SQL_C_CHAR or SQL_C_WCHAR
// (get_data_unread) takes a text the same way when it fits whole: straight
// into the entry, or through a buffer on the stack as UTF-16; a NULL, a text
// that does not fit and a failure take the ordinary path as for a fetch.
//
// Exports: Unread, deliver_unread, unread_text_answer, get_data_unread.
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
/// reads it for the conversion: every value but a text of a `direct_text`
/// column, which the delivery loop reads into the entry itself and hands to
/// unread_text_answer.
[[nodiscard]] Unread deliver_unread(QueryStatement *query, const BoundColumn &e, Value *v, const ConvertTarget &t);

/// The rest of a text's delivery once the provider has answered the read of
/// `v` straight into entry `t` (`r` and the length `got` it gave): a whole
/// text is delivered, a NULL gets its indicator, a cut text becomes that
/// piece and every other for the conversion, a failure is posted.
[[nodiscard]] Unread unread_text_answer(QueryStatement *query, Value *v, const ConvertTarget &t, int r, SQLLEN got);

/// SQLGetData's first read of the unread value `v` into `t`, a SQL_C_CHAR
/// or SQL_C_WCHAR target (no SQL_ATTR_MAX_LENGTH). kDelivered: the entry
/// holds the whole text and its length (the value stays unread); kRead: the
/// value is read (or NULL) for convert_value; kFailed: posted.
[[nodiscard]] Unread get_data_unread(QueryStatement *query, Value *v, const ConvertTarget &t);
