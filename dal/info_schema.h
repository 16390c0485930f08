// The INFO_SCHEMA provider (provider 1): the tables it offers, their
// constant column descriptions, and its iterator.
//
// Most tables are listings of the driver's own catalogue calls (dal/
// catalog_listing.h) with their columns renamed; SERVER_INFO is a constant
// list; PAYPAL_RESTRICTIONS says, for every PayPal column, whether a
// restriction on it is sent to PayPal and how; PROCEDURE_COLUMNS lists the
// procedures' parameters and result columns (SQLProcedureColumns);
// PAYPAL_HISTORY lists the windows of the connection's history store (its
// rows come from the PayPal provider through the source it registers); the
// rest are always empty.
//
// Exports: InfoTable, InfoTableDef, kInfoSchemaName, info_table_by_name,
// info_table_def, info_column_info, InfoServerEntry, info_server_entries,
// kInfoServerEntryCount, InfoRestrictionRow, info_restriction_row,
// info_restriction_next, InfoHistoryRow, InfoHistorySource,
// info_set_history_source, info_history_source.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dal/provider.h"

inline constexpr const char *kInfoSchemaName = "INFO_SCHEMA";

enum class InfoTable : int32_t {
    kCharacterSets = 0,
    kCollations,
    kColumnPrivileges,
    kColumns,
    kSystemColumns,
    kIndexes,
    kSchemata,
    kServerInfo,
    kSqlLanguages,
    kTablePrivileges,
    kTables,
    kSystemTables,
    kTranslations,
    kUsagePrivileges,
    kViews,
    kPaypalRestrictions,
    kProcedureColumns,
    kPaypalHistory,
    kCount,
};

struct InfoColumnDef {
    const char *name;
    int32_t sql_type;   // SQL_VARCHAR, SQL_INTEGER or SQL_CHAR
    int32_t size;       // display size
    int32_t nullable;
};

struct InfoTableDef {
    InfoTable table;
    const char *name;
    const InfoColumnDef *columns;
    int32_t column_count;
};

/// The table named exactly `name`, or null.
[[nodiscard]] const InfoTableDef *info_table_by_name(std::string_view name);
[[nodiscard]] const InfoTableDef *info_table_def(InfoTable table);

/// The ColumnInfo of column `index` (from 0) of `def`.
void info_column_info(const InfoTableDef *def, int index, ColumnInfo *out);

/// SERVER_INFO: attribute and either a constant value or the SQLGetInfo
/// type whose answer is the value (16-bit number or text).
struct InfoServerEntry {
    const char *attribute;
    const char *value;     // null: ask SQLGetInfo
    int32_t info_type;
    int32_t is_number;     // the answer is a 16-bit number, written with "%d"
};
inline constexpr int kInfoServerEntryCount = 11;
[[nodiscard]] const InfoServerEntry *info_server_entries();

/// PAYPAL_RESTRICTIONS: one row per column of every PayPal table.
struct InfoRestrictionRow {
    const char *table;
    const char *column;
    int32_t ordinal;
    const char *sent;        // "YES" or "NO"
    const char *sent_as;     // "PATH", "QUERY PARAMETER" or "DRIVER"
    const char *parameter;   // query parameter, or null
    const char *operators;   // "=", ">, >=, =", "<, <=, =", or null
    const char *required;    // "YES" or "NO"
    const char *const *values;  // the only values sent, null-terminated, the first sent when
                                // the query gives none (ALLOWED_VALUES, DEFAULT_VALUE); null: any
};
/// Fills `out` for table `table` (catalogue position) and column `column`
/// (from 0); false past the catalogue's end.
[[nodiscard]] bool info_restriction_row(int table, int column, InfoRestrictionRow *out);
/// Moves (table, column) to the next PayPal column; false at the end.
[[nodiscard]] bool info_restriction_next(int *table, int *column);

/// PAYPAL_HISTORY: one row per window of the connection's history store.
struct InfoHistoryRow {
    std::string range_start, range_end;  // "YYYY-MM-DD HH:MM:SS", UTC, inclusive
    std::string client_id, base_url;     // the record set (never the secret)
    std::string balance_only;            // "Y" or "N"
    int64_t rows;                        // transactions kept for the window
    std::string fetched_at;              // "YYYY-MM-DD HH:MM:SS", UTC
};
/// Fills `out` with the windows of the store of connection record `dal`
/// (empty: no store); false after posting on `owner`.
using InfoHistorySource = bool (*)(DalRecord *dal, void *owner, std::vector<InfoHistoryRow> &out);
/// Set once by the PayPal provider when the driver loads; until then the
/// table is empty. Kept in the header (an inline variable), so the provider
/// registering it needs no INFO_SCHEMA object linked in (tools and tests
/// link the provider alone).
inline std::atomic<InfoHistorySource> g_info_history_source{nullptr};
inline void info_set_history_source(InfoHistorySource source) { g_info_history_source.store(source); }
[[nodiscard]] inline InfoHistorySource info_history_source() { return g_info_history_source.load(); }
