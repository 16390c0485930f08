// The run shared by the eleven catalogue functions: state checks, the
// result's description, a read-only static cursor, the DAL call, the rows
// ordered by the result's sort keys, the rowset.
//
// Exports: catalog_run, catalog_run_internal, catalog_text, and the
// connection services' listing slots (catalog_service_*).
#pragma once

#include "dal/catalog_listing.h"
#include "odbc/handles.h"

/// A (pointer, length) argument as the DAL takes it. False (after posting
/// HY090) for a negative length other than SQL_NTS.
[[nodiscard]] bool catalog_text(STMT *stmt, const SQLCHAR *text, SQLLEN length, DalText *out);

/// Runs `call` as the catalogue function `function_id` on `stmt`. The texts
/// of `call` are copied when the statement runs asynchronously.
[[nodiscard]] SQLRETURN catalog_run(STMT *stmt, int function_id, const CatalogCall &call);

/// The same run on an internal statement: no state checks or transitions,
/// no 01S02. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or SQL_ERROR (posted).
[[nodiscard]] SQLRETURN catalog_run_internal(STMT *stmt, const CatalogCall &call);

// Connection services slots 23 to 28 (texts null-terminated, null absent).
SQLRETURN catalog_service_tables(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                 const char *types);
SQLRETURN catalog_service_column_privileges(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                            const char *column);
SQLRETURN catalog_service_columns(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                  const char *column);
SQLRETURN catalog_service_statistics(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                     int unique, int reserved);
SQLRETURN catalog_service_table_privileges(STMT *stmt, const char *catalog, const char *schema, const char *table);
SQLRETURN catalog_service_views(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                const char *types);
