// The data access layer: one record per connection holding its providers,
// fanning calls out to all of them or routing them to one, and merging the
// answers so the engine sees one source.
//
// Providers are built by DALOpen, always in the order stored views (0),
// INFO_SCHEMA (1), the PayPal gateway (2). Diagnostics of DAL operations go
// to the handle given to the operation (a connection or statement), through
// PostDalError with a component name.
//
// Return codes: the provider codes of dal/provider.h.
//
// Exports: DalRecord, DalIterator, DalCatalogKind, DALCreate, DALFree,
// DALOpen, DALClose, DALServiceCallback, PostDalError, DALOpenIterator, DALOpenIteratorIn,
// DALCloseIterator, DALResetIterator, DALSetIteratorTimeout,
// DALGetTableInfo, DALGetColumnInfo, DALGetPKInfo, DALGetInfo, the
// catalogue calls (DALTables ... DALGetTypeInfo), DALStartQuery, DALNextRow,
// DALGetData (inline, with dal_get_data_routed behind it), DALSpoolLongData,
// DALSpoolLongRest, DALGetProcedureInfo,
// DALRunProcedure, the row changes, DDL, DALPassThrough, DALStartTransaction,
// DALEndTransaction.
#pragma once

#include <cstdint>

#include "dal/provider.h"
#include "support/pool.h"

struct ConnAttrList;
struct CvPool;
struct HostServices;

constexpr int kDalProviderCount = 3;
constexpr int kViewsProvider = 0;
constexpr int kInfoSchemaProvider = 1;
constexpr int kSqiProvider = 2;

inline constexpr const char *kDalComponent = "Data Access Multiplexor";
inline constexpr const char *kGatewayComponent = "ODBC Gateway";

struct DalRecord {
    void *owner;                  // the connection handle
    CvPool *pool;                 // the connection's pool: the record and its providers live there
    const HostServices *host;     // how to reach the handles (support/host_services.h)
    int32_t count;                // providers (3 after DALOpen, 0 before)
    DalProvider **providers;      // `count` entries; null entries are skipped
    char name[kDalNameSize];
    int32_t transaction_open;
};

enum DalCatalogKind : int32_t {
    CATALOG_NONE = 0,
    CATALOG_TABLES = 1,
    CATALOG_COLUMNS = 2,
    CATALOG_STATISTICS = 3,
    CATALOG_SPECIAL_COLUMNS = 4,
    CATALOG_PRIMARY_KEYS = 5,
    CATALOG_PRIVILEGES = 6,
    CATALOG_FOREIGN_KEYS = 7,
};

struct DalIterator {
    DalRecord *dal;
    void *owner;                  // handle for diagnostics and time-outs
    void **iterators;             // per provider
    int32_t *not_opened;          // per provider: 1 until opened
    int32_t position;             // provider delivering rows
    int32_t single_provider;
    int32_t first_provider_only;
    int32_t row_count_hint;
    int32_t catalog_kind;         // DalCatalogKind
    int32_t timeout;              // seconds, 0 none
    int32_t end_reached;
    void *pool_guard;             // DALOpenIteratorIn: the record its pool's release callback holds
    // The provider reader of the query DALStartQuery started, so DALGetData
    // skips its routing for every value of a scan: valid while position is
    // still direct_position and no catalogue call took the iterator over.
    int (*direct_get)(void *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) = nullptr;
    void *direct_handle = nullptr;
    int32_t direct_position = -1;
};

// --- the record and its providers
/// Makes the record of connection `owner` in `pool`; `host` is how the DAL
/// and its providers post diagnostics on handles and read connection facts.
[[nodiscard]] int DALCreate(void *owner, CvPool *pool, const HostServices *host, DalRecord **out,
                            const char *name);
void DALFree(DalRecord *dal);
[[nodiscard]] int DALOpen(DalRecord *dal, ConnAttrList *attributes, void *window);
void DALClose(DalRecord *dal);
int DALServiceCallback(DalRecord *dal, int code, DalServiceRequest *request);

/// Posts an error record on `handle` (a connection, statement or descriptor,
/// reached through dal->host) with the message prefixed by the component,
/// sets its return code to -1.
void PostDalError(const DalRecord *dal, void *handle, const char *component, int native,
                  const char *sqlstate, const char *message);

// --- iterators
[[nodiscard]] DalIterator *DALOpenIterator(void *owner, DalRecord *dal);
/// As DALOpenIterator, but the iterator belongs to `pool`: when the pool is
/// released an iterator still open is closed, so no error path leaks one.
/// DALCloseIterator may still close it earlier.
[[nodiscard]] DalIterator *DALOpenIteratorIn(void *owner, DalRecord *dal, CvPool *pool);
void DALCloseIterator(DalIterator *it);
[[nodiscard]] int DALResetIterator(DalIterator *it);
void DALSetIteratorTimeout(DalIterator *it, int seconds);

// --- name lookup
[[nodiscard]] int DALGetTableInfo(void *owner, DalRecord *dal, const char *link, DalText catalog,
                                  DalText schema, DalText table, TableInfo *out);
[[nodiscard]] int DALGetColumnInfo(void *owner, DalRecord *dal, DalText catalog, DalText schema,
                                   DalText table, int count, ColumnInfo *out, const TableInfo *info);
[[nodiscard]] int DALGetPKInfo(void *owner, DalRecord *dal, DalText catalog, DalText schema,
                               DalText table, int count, List *keys, const TableInfo *info);
[[nodiscard]] int DALGetInfo(DalIterator *it, const TableInfo *info, SqiInfoCode code, SqiInfo *out);

// --- catalogue listings
[[nodiscard]] int DALTables(DalIterator *it, DalText catalog, DalText schema, DalText table, DalText types);
[[nodiscard]] int DALColumns(DalIterator *it, DalText catalog, DalText schema, DalText table, DalText column);
[[nodiscard]] int DALColumnPrivileges(DalIterator *it, DalText catalog, DalText schema, DalText table,
                                      DalText column);
[[nodiscard]] int DALTablePrivileges(DalIterator *it, DalText catalog, DalText schema, DalText table);
[[nodiscard]] int DALPrimaryKeys(DalIterator *it, DalText catalog, DalText schema, DalText table);
[[nodiscard]] int DALSpecialColumns(DalIterator *it, int identifier, DalText catalog, DalText schema,
                                    DalText table, int scope, int nullable);
/// `provider_index` >= 0 asks that provider only (internal callers); -1 all.
[[nodiscard]] int DALStatistics(DalIterator *it, DalText catalog, DalText schema, DalText table,
                                int unique, int accuracy, int provider_index);
[[nodiscard]] int DALForeignKeys(DalIterator *it, DalText pk_catalog, DalText pk_schema, DalText pk_table,
                                 DalText fk_catalog, DalText fk_schema, DalText fk_table);
[[nodiscard]] int DALProcedures(DalIterator *it, DalText catalog, DalText schema, DalText procedure);
[[nodiscard]] int DALProcedureColumns(DalIterator *it, DalText catalog, DalText schema,
                                      DalText procedure, DalText column);
[[nodiscard]] int DALGetTypeInfo(DalIterator *it, int data_type);

// --- procedures (dal_procedures.cpp)
/// The procedure `name` (case-insensitive) of the first provider that has
/// one: DAL_OK with *out (constant, the provider's) and *provider (its
/// index), or DAL_NOT_MINE when no provider has it.
[[nodiscard]] int DALGetProcedureInfo(void *owner, DalRecord *dal, DalText name, const ProcedureInfo **out,
                                      int *provider);
/// Runs `procedure` of provider `provider` with `count` arguments (null
/// entries: left out); its result rows are then read with DALNextRow and
/// DALGetData. DAL_OK, DAL_INFO, or DAL_ERROR (posted on the iterator's
/// owner).
[[nodiscard]] int DALRunProcedure(DalIterator *it, int provider, const ProcedureInfo *procedure, int count,
                                  Value *const *arguments);

// --- scans
[[nodiscard]] int DALStartQuery(DalIterator *it, TableInfo *info, const ListNode *select_list, const ListNode *row_list,
                                int count, Restriction **restrictions);
[[nodiscard]] int DALNextRow(DalIterator *it);
/// DALGetData for rows the direct reader does not answer: the catalogue
/// renaming and the end of a scan.
[[nodiscard]] int dal_get_data_routed(DalIterator *it, int column, int c_type, void *buffer, SQLLEN capacity,
                                      SQLLEN *length);
/// Inline: a scan calls it for every value of every row, and its rows go
/// straight to the reader its query started (the catalogue renaming never
/// applies to them).
[[nodiscard]] inline int DALGetData(DalIterator *it, int column, int c_type, void *buffer, SQLLEN capacity,
                                    SQLLEN *length) {
    if (it->direct_get && it->position == it->direct_position && it->catalog_kind == CATALOG_NONE &&
        !it->end_reached)
        return it->direct_get(it->direct_handle, column, c_type, buffer, capacity, length);
    return dal_get_data_routed(it, column, c_type, buffer, capacity, length);
}

struct LongBuffer;
/// Copies one long column of the current row into `buffer` (emptied first,
/// rewound after), reading it in 1,024-byte pieces as character data
/// (`is_character`) or binary. Returns 0, DAL_NO_DATA (2) when the column is
/// NULL, or -1 when the provider failed or the buffer's limit was reached
/// (posted on the iterator's owner).
[[nodiscard]] int DALSpoolLongData(LongBuffer *buffer, DalIterator *it, int column, int is_character);
/// DALSpoolLongData without emptying `buffer` first: appends the pieces of
/// the column still to be read (after a first piece the caller read itself).
[[nodiscard]] int DALSpoolLongRest(LongBuffer *buffer, DalIterator *it, int column, int is_character);

// --- row changes, routed by the TableInfo's provider
[[nodiscard]] int DALFetch(DalIterator *it, TableInfo *info, int key_count, Restriction *keys);
[[nodiscard]] int DALInsertRow(DalIterator *it, TableInfo *info, int column_count, Restriction *values);
[[nodiscard]] int DALDeleteRow(DalIterator *it, TableInfo *info, int key_count, Restriction *keys);
[[nodiscard]] int DALUpdateRow(DalIterator *it, TableInfo *info, int key_count, Restriction *keys,
                               int set_count, Restriction *sets);

// --- DDL, routed by LINK name
[[nodiscard]] int DALCreateTable(DalIterator *it, TableInfo *info, const Node *definition);
[[nodiscard]] int DALDropTable(DalIterator *it, TableInfo *info);
[[nodiscard]] int DALCreateIndex(DalIterator *it, TableInfo *info, const Node *index);
[[nodiscard]] int DALDropIndex(DalIterator *it, TableInfo *info, const Node *index);
[[nodiscard]] int DALCreateUser(DalIterator *it, const char *user, const char *password, const char *link);
[[nodiscard]] int DALDropUser(DalIterator *it, const char *user, const char *link);
[[nodiscard]] int DALAlterColumns(DalIterator *it, const char *table, int count, const ListNode *names);
[[nodiscard]] int DALAddColumn(DalIterator *it, TableInfo *info, int count, const ListNode *columns);
[[nodiscard]] int DALDropColumn(DalIterator *it, TableInfo *info, const Node *column);
[[nodiscard]] int DALGrant(DalIterator *it, TableInfo *info, const Node *privileges);
[[nodiscard]] int DALRevoke(DalIterator *it, TableInfo *info, const Node *privileges);
[[nodiscard]] int DALPassThrough(DalIterator *it, const char *statement, int provider_index, void *argument);

// --- transactions (the connection's record)
[[nodiscard]] int DALStartTransaction(DalRecord *dal);
[[nodiscard]] int DALEndTransaction(DalRecord *dal, int completion);

// --- the three providers' slot tables (filled by their own modules)
void views_provider_slots(DalSlots *slots);
void info_schema_provider_slots(DalSlots *slots);
void sqi_provider_slots(DalSlots *slots);
