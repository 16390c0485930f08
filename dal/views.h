// The stored-views provider (provider 0): its records, the walk over the
// view store and the entry points the engine calls for view definitions.
//
// A view is looked up, listed or scanned through the connection's view
// store (dal/view_store.h). Turning a view's text into rows needs an
// internal statement of the connection; until a store that can hold views
// is attached there is no view to compile, and a view found in a store is
// reported as one that no longer compiles.
//
// The provider also lists the driver's data types for SQLGetTypeInfo
// (views_types.cpp), with the ODBC 3 or the ODBC 2 list chosen at connect.
//
// Exports: ViewEnv, ViewIterator, ViewTypeEntry, ViewWalk, view_type_list,
// view_type_requested, view_type_next, view_type_column, view_load,
// view_walk_next, ViewCreate, ViewDrop, ViewDropDependents, kViewDropNone,
// kViewDropCascade, kViewDropRestrict.
#pragma once

#include <cstdint>
#include <string>

#include "dal/provider.h"
#include "dal/view_store.h"
#include "engine/types.h"

struct Node;

/// One entry of a type list; a code of kViewTypeEnd ends the list.
struct ViewTypeEntry {
    int32_t sql_type;
    int32_t override_flag;  // auto_unique and nullable replace the template's
    int32_t auto_unique;
    const char *name;       // replaces the type name and the local type name, or null
    int32_t nullable;
};
inline constexpr int32_t kViewTypeEnd = -9999;

struct ViewEnv {
    void *owner;             // the connection
    DalLink link;            // the DAL and its services
    int32_t odbc_version;    // 3 or 2, fixed at connect
    const ViewTypeEntry *types;
    ViewStore store;
};

/// Position of a walk over the stored views: catalog, schema and view keys
/// by index, and the names of the view last yielded.
struct ViewWalk {
    int32_t started;
    int32_t catalog_index, schema_index, view_index;
    char catalog[kViewNameSize];
    char schema[kViewNameSize];
    char name[kViewNameSize];
};

struct ViewIterator {
    ViewEnv *env;
    void *owner;               // receives diagnostics
    int32_t exhausted;
    int32_t query_running;     // never set while no view compiles
    int32_t table_listing;
    int32_t column_listing;
    int32_t schema_list;
    int32_t type_listing;
    std::string patterns[4];   // catalog, schema, table, column ("" = none)
    ViewWalk walk;
    // type listing
    int32_t requested_type;    // 0 = all
    int32_t type_position;
    ExtendedType row_type;
};

/// The type list for an application of ODBC `version`.
[[nodiscard]] const ViewTypeEntry *view_type_list(int version);
/// The type code a request for `data_type` means under ODBC `version`.
[[nodiscard]] int view_type_requested(int data_type, int version);
/// Moves a type listing to its next row: DAL_OK or DAL_NO_DATA.
[[nodiscard]] int view_type_next(ViewIterator *it);
/// Column `column` (1 to 19) of the current type row.
[[nodiscard]] int view_type_column(const ViewIterator *it, int column, int c_type, void *buffer, SQLLEN capacity,
                                   SQLLEN *length);

/// Loads a view's text into `sql` (kViewMaxText + 1 bytes) and, when
/// `names` is given, its declared names into `slots` slots of
/// kViewNameSize bytes, ending the list with an empty name. Never writes
/// past the slots: a count the slots cannot hold is cut. 0 or -1 (not
/// found, any store failure).
[[nodiscard]] int view_load(const ViewStore &store, std::string_view catalog, std::string_view schema,
                            std::string_view name, char *sql, char (*names)[kViewNameSize], int slots);

/// The next stored view of a walk (names in `walk`): 0, or -1 at the end.
[[nodiscard]] int view_walk_next(const ViewStore &store, ViewWalk *walk);

inline constexpr int kViewDropNone = 0;
inline constexpr int kViewDropCascade = 1;
inline constexpr int kViewDropRestrict = 2;

/// Stores a view: its query printed as text and its declared names. 0, or
/// -1 with HY000 posted on `statement`.
[[nodiscard]] int ViewCreate(void *statement, const DalRecord *dal, const ViewStore &store, const char *catalog, const char *schema,
                             const char *name, const Node *query, const char *const *names, int name_count);
/// Removes a view (and, unless RESTRICT, the views built on it). 0, or -1
/// without a diagnostic.
[[nodiscard]] int ViewDrop(void *statement, const ViewStore &store, const char *catalog, const char *schema,
                           const char *name, int behaviour);
/// Drops the views built on a dropped table (`table`) or view (catalog,
/// schema, name when `table` is null). Always 0.
[[nodiscard]] int ViewDropDependents(void *statement, const ViewStore &store, const TableInfo *table,
                                     const char *catalog, const char *schema, const char *name);
