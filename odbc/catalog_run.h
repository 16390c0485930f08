// The run shared by the eleven catalogue functions: state checks, the
// result's description, a read-only static cursor, the DAL call, the rows
// ordered by the result's sort keys, the rowset.
//
// Exports: catalog_run, catalog_text.
#pragma once

#include "dal/catalog_listing.h"
#include "odbc/handles.h"

/// A (pointer, length) argument as the DAL takes it. False (after posting
/// HY090) for a negative length other than SQL_NTS.
[[nodiscard]] bool catalog_text(STMT *stmt, const SQLCHAR *text, SQLLEN length, DalText *out);

/// Runs `call` as the catalogue function `function_id` on `stmt`. The texts
/// of `call` are copied when the statement runs asynchronously.
[[nodiscard]] SQLRETURN catalog_run(STMT *stmt, int function_id, const CatalogCall &call);
