// Rows of texts held by a provider iterator: what a procedure call leaves
// (its result row) and the procedure listings, read through SQINextRow and
// SQIGetData like a scan's rows.
//
// Lifetimes: the rows live in the iterator until text_rows_set replaces
// them or scan_release drops them.
//
// Exports: TextCell, TextRow, text_rows_set, text_rows_next, text_rows_get_data.
#pragma once

#include <sql.h>

#include <optional>
#include <string>
#include <vector>

struct PaypalIterator;

using TextCell = std::optional<std::string>;  // nullopt: SQL NULL
using TextRow = std::vector<TextCell>;

/// Makes `rows` the iterator's rows (mode kTextRows), before the first.
void text_rows_set(PaypalIterator *it, std::vector<TextRow> rows);

/// Moves to the next row: DAL_OK or DAL_NO_DATA.
int text_rows_next(PaypalIterator *it);

/// Column `column` (from 1) of the current row: as text (SQL_C_CHAR, cut to
/// `capacity` - 1 bytes and terminated, the full length in *length; DAL_INFO
/// when cut) or as a 16- or 32-bit integer (SQL_C_SSHORT and the like,
/// SQL_C_SLONG and the like; a text that is no integer is DAL_ERROR). NULL:
/// *length SQL_NULL_DATA. DAL_NO_DATA without a current row or column.
int text_rows_get_data(PaypalIterator *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length);
