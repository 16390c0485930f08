// Catalogue result sets: the column tables and sort keys of the eleven ODBC
// catalogue functions, the call that fills a DAL iterator with one of them,
// and a listing that reads every row of it into memory, orders the rows by
// the result's sort keys and serves them one by one.
//
// The ODBC catalogue functions show a listing to the application (through a
// rowset); the INFO_SCHEMA provider reads listings of its own to build its
// tables. Both therefore see the same rows in the same order.
//
// Lifetimes: a CatalogListing owns copies of every text it read; cells stay
// valid until the listing is freed. CatalogCall texts are not copied: they
// must live until catalog_call_dal returns.
//
// Exports: CatalogFunction, CatalogColumnDef, CatalogResultDef,
// catalog_result_def, CatalogCall, catalog_call_dal, CatalogCell,
// CatalogListing, catalog_listing_read, catalog_listing_next,
// catalog_listing_rewind, catalog_listing_cell, kCatalogMaxRows.
#pragma once

#include <cstdint>
#include <memory>

#include "dal/dal.h"

enum class CatalogFunction : int32_t {
    kTables = 0,
    kColumns = 1,
    kStatistics = 2,
    kPrimaryKeys = 3,
    kForeignKeys = 4,
    kSpecialColumns = 5,
    kTablePrivileges = 6,
    kColumnPrivileges = 7,
    kProcedures = 8,
    kProcedureColumns = 9,
    kTypeInfo = 10,
};
inline constexpr int kCatalogFunctionCount = 11;

struct CatalogColumnDef {
    const char *name;
    int32_t sql_type;   // SQL_CHAR, SQL_INTEGER, SQL_SMALLINT or SQL_VARCHAR
    int32_t length;     // characters of a text column (254 unless said)
    int32_t nullable;   // SQL_NULLABLE or SQL_NO_NULLS
};

struct CatalogResultDef {
    CatalogFunction function;
    const CatalogColumnDef *columns;
    int32_t column_count;
    const int32_t *sort_keys;   // column numbers from 1, most significant first
    int32_t sort_key_count;
    int32_t distinct;           // duplicate rows are dropped (tables, type information)
};

/// The result set of `function`. SQLForeignKeys orders by the foreign-key
/// table when `foreign_keys_by_fk` is set (a primary-key table was named).
[[nodiscard]] const CatalogResultDef *catalog_result_def(CatalogFunction function, bool foreign_keys_by_fk = false);

/// The arguments of one catalogue call, in the ODBC function's order.
/// texts: catalog, schema, table (procedure), column / table types; for
/// foreign keys the primary-key catalog, schema, table, then the foreign-key
/// ones. numbers: SQLSpecialColumns identifier, scope, nullable;
/// SQLStatistics unique, reserved; SQLGetTypeInfo the data type.
struct CatalogCall {
    CatalogFunction function;
    DalText texts[6];
    int32_t numbers[3];
    int32_t provider_index;  // SQLStatistics: -1 every provider
};

/// Runs the DAL operation of `call` on `it`: DAL_OK, DAL_INFO or DAL_ERROR
/// (posted on the iterator's owner).
[[nodiscard]] int catalog_call_dal(DalIterator *it, const CatalogCall *call);

struct CatalogCell {
    int32_t is_null;
    int32_t number;          // SMALLINT and INTEGER columns
    const char *text;        // text columns: null-terminated, owned by the listing
    int32_t length;          // bytes of text
};

/// A listing of more rows than this fails with HY000: the catalogue of a
/// connection is far smaller, so such a count means a provider gone wrong.
inline constexpr int64_t kCatalogMaxRows = 1000000;

struct CatalogListingData;
struct CatalogListing {
    const CatalogResultDef *def = nullptr;
    int32_t info = 0;               // a row or the operation came with information
    int64_t row_count = 0;
    int64_t position = 0;           // 0 before the first row, row_count + 1 after the last
    std::unique_ptr<CatalogListingData> data;
    CatalogListing();
    ~CatalogListing();
    CatalogListing(const CatalogListing &) = delete;
    CatalogListing &operator=(const CatalogListing &) = delete;
};

/// Reads every row `it` delivers after a catalogue operation (DALNextRow,
/// DALGetData per column), orders the rows by the result's sort keys,
/// drops duplicates of a distinct result and keeps the first `max_rows`
/// (0: all). Returns 0, 1 (some row came with information) or -1 (posted
/// on `owner`: the provider's error, HY001, or the row limit).
[[nodiscard]] int catalog_listing_read(CatalogListing *listing, const CatalogResultDef *def, DalIterator *it,
                                       void *owner, int64_t max_rows);

/// Moves to the next row: 0, or 100 past the last.
[[nodiscard]] int catalog_listing_next(CatalogListing *listing);

/// Goes back before the first row.
void catalog_listing_rewind(CatalogListing *listing);

/// Cell `column` (from 1) of the current row, or null when there is no
/// current row or the column is out of range.
[[nodiscard]] const CatalogCell *catalog_listing_cell(const CatalogListing *listing, int column);
