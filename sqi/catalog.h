// The PayPal provider's table catalogue: table and column records, their
// flags, the constant catalogue of 35 tables and the lookups every other
// module of the provider (requests, row mapping, row changes) reads.
//
// The catalogue itself (kPaypalTables) is generated at build time from
// sqi/catalog_data.txt by sqi/gen_catalog.py into catalog_data.cpp in the
// build tree; edit the data file, never the generated table.
//
// Lifetimes: every record and text of the catalogue is static constant data;
// pointers into it stay valid for the life of the process.
//
// Exports: PaypalTable, PaypalColumn, PagingStyle, the table
// flags (kTable*), the column flags (kColumn*), the iterator modes (SqiIteratorMode: kList*,
// kQueryRows), catalog_pattern_match, kPaypalTables,
// kPaypalTableCount, kPaypalCatalog, kPaypalSchema, paypal_table_at,
// paypal_find_table, paypal_table_index, paypal_find_column,
// paypal_key_count, paypal_has_key, paypal_keyed_fetch, paypal_filter_kind, the catalogue slots
// (SQIGetTableInfo, SQIGetColumnInfo, SQIGetPKInfo, SQITables, SQIColumns,
// SQIColumnPrivileges, SQIPrimaryKeys, SQISpecialColumns, SQIStatistics,
// SQIForeignKeys, SQITablePrivileges) and the listing row readers
// catalog_next_row and catalog_get_data.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string_view>

#include "dal/provider.h"

struct PaypalIterator;

inline constexpr const char *kPaypalCatalog = "PAYPAL";
inline constexpr const char *kPaypalSchema = "DBO";

// ---- table flags (PaypalTable::flags)
inline constexpr uint32_t kTablePatch = 0x20;           // PATCH updates, single fetch
inline constexpr uint32_t kTableChildRows = 0x100;      // rows are the sub-key array's elements
inline constexpr uint32_t kTableListUnderKey = 0x1000;  // list-key array even for a keyed request
inline constexpr uint32_t kTablePrefer = 0x2000;        // "Prefer: return=representation"
inline constexpr uint32_t kTableSchema = 0x4000;        // "schema=paypalv1.1"
inline constexpr uint32_t kTableSingleObject = 0x8000;  // a keyed reply is the one row
inline constexpr uint32_t kTableKeyRequired = 0x10000;  // key in the path, mandatory
inline constexpr uint32_t kTableKeyOptional = 0x20000;  // key in the path when given
inline constexpr uint32_t kTableInsert = 0x40000;       // POST inserts
inline constexpr uint32_t kTableDelete = 0x80000;       // DELETE, single fetch
inline constexpr uint32_t kTableNoFields = 0x100000;    // no "fields=all"
inline constexpr uint32_t kTableNoPaging = 0x400000;    // no paging parameters
// POST honours PayPal-Request-Id (the published description declares it): a
// repeated id answers the first reply, so a POST whose reply never came is
// sent again with its id.
inline constexpr uint32_t kTableRequestId = 0x800000;
static_assert(kTablePatch == 0x20 && kTableChildRows == 0x100 && kTableListUnderKey == 0x1000);
static_assert(kTablePrefer == 0x2000 && kTableSchema == 0x4000 && kTableSingleObject == 0x8000);
static_assert(kTableKeyRequired == 0x10000 && kTableKeyOptional == 0x20000 &&
              kTableInsert == 0x40000);
static_assert(kTableDelete == 0x80000 && kTableNoFields == 0x100000 && kTableNoPaging == 0x400000);
static_assert(kTableRequestId == 0x800000);

// ---- column flags (PaypalColumn::flags)
inline constexpr uint64_t kColumnKey = 0x1;          // NOT NULL; primary key when column 1 has it
inline constexpr uint64_t kColumnMandatory = 0x2;    // the range filter below must be given
inline constexpr uint64_t kColumnLower = 0x4;        // > >= = sent as the parameter, echoed
inline constexpr uint64_t kColumnUpper = 0x8;        // < <= = sent as the parameter, echoed
inline constexpr uint64_t kColumnEqual = 0x10;       // = sent as the parameter
inline constexpr uint64_t kColumnJsonArray = 0x40;   // value is a JSON array
inline constexpr uint64_t kColumnJsonObject = 0x80;  // value is a JSON object
inline constexpr uint64_t kColumnChild = 0x100;      // read from the sub-key element
inline constexpr uint64_t kColumnRemember1 = 0x200;  // = sent and echoed (TINYINT: true/false)
inline constexpr uint64_t kColumnRemember2 = 0x400;  // = sent and echoed
inline constexpr uint64_t kColumnRemember3 = 0x800;  // = sent and echoed
inline constexpr uint64_t kColumnRoot = 0x1000;      // read from the reply's root
inline constexpr uint64_t kColumnPathKey = 0x10000;  // = value goes into the request path
inline constexpr uint64_t kColumnThird = 0x200000;   // third range filter (< <= =), echoed
inline constexpr uint64_t kColumnAmountRange = 0x400000;  // bounds sent together as "low TO high"
static_assert(kColumnKey == 0x1 && kColumnMandatory == 0x2 && kColumnLower == 0x4 &&
              kColumnUpper == 0x8);
static_assert(kColumnEqual == 0x10 && kColumnJsonArray == 0x40 && kColumnJsonObject == 0x80);
static_assert(kColumnChild == 0x100 && kColumnRemember1 == 0x200 && kColumnRemember2 == 0x400);
static_assert(kColumnRemember3 == 0x800 && kColumnRoot == 0x1000 && kColumnPathKey == 0x10000);
static_assert(kColumnThird == 0x200000 && kColumnAmountRange == 0x400000);

// How a table's list endpoint pages (what the PayPal API really uses).
enum class PagingStyle : int32_t {
    kNone = 0,         // one reply holds every row (single objects, unpaged lists)
    kPageNumbers = 1,  // "page"/"page_size", stop after "total_pages"
    kNextLink = 2,     // HATEOAS link with rel "next" carrying "next_page_token"
    kStartId = 3,      // "count" with "start_id", continued from the reply's "next_id"
};
static_assert(static_cast<int>(PagingStyle::kNone) == 0 &&
              static_cast<int>(PagingStyle::kStartId) == 3);

struct PaypalColumn {
    const char *name;       // SQL column name (case-insensitive); null ends the list
    int32_t sql_type;       // 12, 2, 11, 4, -6, -1 in this catalogue
    int32_t size;           // NVARCHAR length, NUMERIC decimal places, else 0
    uint64_t flags;         // kColumn* bits
    const char *json_path;  // comma-separated members from the row (or root) object;
                            // empty: the row element itself (arrays of bare values)
    const char *parameter;  // query parameter of a pushed restriction, or null
    const char
        *json_type;  // "string", "decimal", "datetime", "boolean", "integer", "array", "object"
    const char *body_path;            // comma path in request bodies when it differs, or null
    const char *const *path_members;  // json_path split at commas, null-terminated
    int32_t path_depth;               // members in path_members (0: the element itself)
    const char *const *parameter_values;  // the only values the parameter takes, null-terminated;
                                          // the first is sent when no restriction gives one
                                          // (null: any value, nothing sent by default)
};

struct PaypalTable {
    const char *name;             // SQL table name (case-insensitive); null ends the catalogue
    const char *endpoint;         // REST path below the base URL, may hold one "%s"
    int32_t column_count;         // records in columns
    uint32_t flags;               // kTable* bits
    const PaypalColumn *columns;  // column_count records, then one with a null name
    const char *list_key;         // comma path from a list reply's root to the row array, or null
    const char *sub_key;          // comma path, inside each list element, to the array whose
                                  // elements are rows, or null
    const char *const
        *list_members;   // list_key split at commas, null-terminated (null when no list key)
    int32_t list_depth;  // members in list_members
    PagingStyle paging;  // how further pages are asked for
    const char *const *sub_members;  // sub_key split at commas, null-terminated (null: none)
    int32_t sub_depth;               // members in sub_members
    int32_t page_size;     // rows asked for per page; 0: the connection's page size
    int32_t window_days;   // >0: the lower/upper filter range is read in windows of this many days
    int32_t history_years; // >0 (with windows): ranges starting earlier than this are refused
};

inline constexpr int kPaypalTableCount = 35;

/// The catalogue: kPaypalTableCount tables in catalogue order, then a record
/// whose name is null.
extern const PaypalTable kPaypalTables[kPaypalTableCount + 1];

/// The table at catalogue position `index` (0-based), or null out of range.
[[nodiscard]] const PaypalTable *paypal_table_at(int index);

/// The table named `name` (case-insensitive), or null when unknown.
[[nodiscard]] const PaypalTable *paypal_find_table(std::string_view name);

/// The catalogue position of `name` (case-insensitive), or -1 when unknown.
[[nodiscard]] int paypal_table_index(std::string_view name);

/// The 0-based position of column `name` (case-insensitive) in `table`, or -1.
[[nodiscard]] int paypal_find_column(const PaypalTable *table, std::string_view name);

/// Whether the table has a primary key: its first column has kColumnKey.
[[nodiscard]] bool paypal_has_key(const PaypalTable *table);

/// Columns of the primary key: 0 without one, else the columns with kColumnKey.
[[nodiscard]] int paypal_key_count(const PaypalTable *table);

/// Whether one row of `table` can be read by its primary key with one GET:
/// the key is a single column that goes into the request path, and the
/// keyed reply is that one row (not a list of child rows).
[[nodiscard]] bool paypal_keyed_fetch(const PaypalTable *table);

/// The filter bit that decides how a restriction on `column` is sent: the
/// first of kColumnLower, kColumnUpper, kColumnThird, kColumnRemember1,
/// kColumnRemember2, kColumnRemember3, kColumnEqual that is set, else 0.
[[nodiscard]] uint64_t paypal_filter_kind(const PaypalColumn *column);

// Provider iterator modes (PaypalIterator::mode).
enum SqiIteratorMode : int32_t {
    kListEmpty = 0,  // reset, or a listing without rows
    kListTables = 1,
    kListColumns = 2,
    kQueryRows = 3,  // a scan (SQIStartQuery)
    kListSpecialColumns = 4,
    kListPrimaryKeys = 6,
    kListStatistics = 7,
    kListCatalogs = 8,
    kListSchemas = 9,
    kTextRows = 10,  // rows of texts (sqi/text_rows.h): procedure results and listings
};
static_assert(kListTables == 1 && kListColumns == 2 && kQueryRows == 3 && kListSpecialColumns == 4);
static_assert(kListPrimaryKeys == 6 && kListStatistics == 7 && kListCatalogs == 8 &&
              kListSchemas == 9);

/// Whether `name` matches the ODBC search pattern `pattern`: '%' any run of
/// characters, '_' any one character, backslash makes the next one literal;
/// case-sensitive.
[[nodiscard]] bool catalog_pattern_match(std::string_view pattern, std::string_view name);

// ---- catalogue slots
// All return the provider codes of dal/provider.h. Catalog and schema
// arguments are not examined except for the catalog and schema list modes of
// SQITables: every table is PAYPAL.DBO and the DAL routes LINK prefixes.
// Diagnostics go through the environment's DAL callback; nothing returned
// needs freeing.

/// Fills `out` with the table's catalog, schema, spelling, column and key
/// counts. DAL_NOT_MINE for a name not in the catalogue.
[[nodiscard]] int SQIGetTableInfo(void *owner, void *env, DalText catalog, DalText schema,
                                  DalText table, TableInfo *out);
/// Fills `count` ColumnInfo records of `out` in column order. DAL_NOT_MINE for
/// an unknown table; DAL_ERROR (posted, native 2793) when `count` is not the
/// table's column count.
[[nodiscard]] int SQIGetColumnInfo(void *owner, void *env, DalText catalog, DalText schema,
                                   DalText table, int count, ColumnInfo *out);
/// Writes name and 1-based ordinal of each key column into the first `count`
/// KeyColumnEntry records of the caller's List `keys`. DAL_OK, writing
/// nothing, for an unknown table or one without a key.
[[nodiscard]] int SQIGetPKInfo(void *owner, void *env, DalText catalog, DalText schema,
                               DalText table, int count, List *keys);
/// Listings: each prepares iterator `it` (a PaypalIterator) and returns
/// DAL_OK; the rows come from catalog_next_row. SQIPrimaryKeys,
/// SQISpecialColumns and SQIStatistics take an exact table name and return
/// DAL_NOT_MINE, with no rows, for an unknown one. Table and column
/// arguments of SQITables and SQIColumns are search patterns (absent: all).
[[nodiscard]] int SQITables(void *it, DalText catalog, DalText schema, DalText table,
                            DalText types);
[[nodiscard]] int SQIColumns(void *it, DalText catalog, DalText schema, DalText table,
                             DalText column);
[[nodiscard]] int SQIColumnPrivileges(void *it, DalText catalog, DalText schema, DalText table,
                                      DalText column);
[[nodiscard]] int SQIPrimaryKeys(void *it, DalText catalog, DalText schema, DalText table);
[[nodiscard]] int SQISpecialColumns(void *it, int identifier, DalText catalog, DalText schema,
                                    DalText table, int scope, int nullable);
[[nodiscard]] int SQIStatistics(void *it, DalText catalog, DalText schema, DalText table,
                                int unique, int accuracy);
[[nodiscard]] int SQIForeignKeys(void *it, DalText pk_catalog, DalText pk_schema, DalText pk_table,
                                 DalText fk_catalog, DalText fk_schema, DalText fk_table);
[[nodiscard]] int SQITablePrivileges(void *it, DalText catalog, DalText schema, DalText table);

/// Advances a catalogue listing (iterator modes other than 3: 1 tables,
/// 2 columns, 4 special columns, 6 primary keys, 7 statistics, 8 catalog
/// list, 9 schema list). Returns DAL_OK when a row is current, DAL_NO_DATA
/// at the end. SQINextRow calls it for every mode but 3.
[[nodiscard]] int catalog_next_row(PaypalIterator *it);

/// Reads column `column` (1-based) of the current listing row into `buffer`:
/// texts are copied and cut at capacity-1 with the full length in *length;
/// integers are written as 4-byte values (as text for SQL_C_CHAR). A column
/// the listing leaves empty gives SQL_NULL_DATA. Returns DAL_OK, or
/// DAL_NO_DATA when no row is current. SQIGetData calls it for every mode
/// but 3.
[[nodiscard]] int catalog_get_data(PaypalIterator *it, int column, int c_type, void *buffer,
                                   SQLLEN capacity, SQLLEN *length);
