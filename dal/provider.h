// The provider interface: what every data provider answers.
//
// A provider is a record with a status, a name and a table of 49 operation
// slots filled when the provider is built (stored views, INFO_SCHEMA, the
// PayPal gateway, in that order: their position is their identity). Slot 0
// makes the provider's handle, which is the first argument of the
// environment-level slots; the other slots take a provider iterator.
// Catalogue texts travel as DalText (pointer and length, -3 meaning
// null-terminated, a null pointer meaning absent).
//
// Return codes of every slot and DAL operation: DAL_OK 0, DAL_INFO 1,
// DAL_NO_DATA 2, DAL_ERROR 3 (a diagnostic was posted), DAL_NOT_MINE 4.
//
// Exports: DalCode, DalText, TableInfo, Restriction, RestrictionOp,
// SqiInfoCode, SqiInfo, the kRestrictionPass* bits, KeyColumnEntry,
// DalServiceRequest, DalServiceFn, DalLink, dal_service, ProcedureParam,
// ProcedureColumn, ProcedureInfo, DalSlots, DalProvider,
// dal_text, dal_text_view (ColumnInfo and kDalNameSize: engine/column_info.h).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/column_info.h"

struct Value;         // value record (support/value.h)
struct ConnAttrList;  // parsed connection string
struct List;          // support/list.h
struct Node;          // parse-tree node (sql/parse_tree.h)
struct ListNode;      // parse-tree list (sql/parse_tree.h)
struct DalProvider;
struct ProcedureInfo;

enum DalCode : int {
    DAL_OK = 0,
    DAL_INFO = 1,
    DAL_NO_DATA = 2,
    DAL_ERROR = 3,
    DAL_NOT_MINE = 4,
};

struct DalText {
    const char *text;  // null when the argument is absent
    int length;        // bytes, or SQL_NTS
};

/// A DalText of a null-terminated text (null stays absent).
[[nodiscard]] inline DalText dal_text(const char *text) { return {text, SQL_NTS}; }
/// The text of a DalText (empty when absent).
[[nodiscard]] inline std::string_view dal_text_view(DalText t) {
    if (!t.text) return {};
    return t.length == SQL_NTS ? std::string_view(t.text) : std::string_view(t.text, t.length < 0 ? 0 : t.length);
}

struct TableInfo {
    char catalog[kDalNameSize];
    char schema[kDalNameSize];
    char table[kDalNameSize];
    int32_t column_count;
    int32_t key_count;          // columns of the primary key
    int32_t provider_index;     // set by the DAL: who claimed the table
    int32_t reserved[8];
    int32_t passthrough_allowed;
    char link_name[kDalNameSize];  // the claiming provider's name
};

// Restriction operators.
enum RestrictionOp : int32_t {
    RESTRICT_LT = 7,
    RESTRICT_GT = 8,
    RESTRICT_GE = 9,
    RESTRICT_LE = 10,
    RESTRICT_EQ = 11,
    RESTRICT_NE = 12,
    RESTRICT_LIKE = 14,
    RESTRICT_IS_NULL = 15,
    RESTRICT_IN = 16,
};

struct Restriction {
    const ColumnInfo *column;         // providers match on its column name
    int32_t column_number;            // from 1
    const ColumnInfo *second_column;  // column-to-column restrictions
    int32_t second_column_number;
    int32_t op;                       // RestrictionOp
    Node *value_expression;           // parse-tree expression, or null
    Value *value;                     // evaluated value, or null
    int32_t working_count;            // cleared by the executor
};

// What slot 4 (SQIGetInfo, DALGetInfo) is asked.
enum SqiInfoCode : int32_t {
    SQI_INFO_RESTRICTIONS = 1,  // integer: kRestrictionPass* bits, read before a scan starts
    SQI_INFO_OPTIMISER_2 = 2,   // number: an optimiser hint
    SQI_INFO_EXACT_NUMERICS = 3,  // integer: non-zero when exact numerics arrive as such
    SQI_INFO_LAZY_READS = 4,   // integer: 1 when column reads may be deferred
    SQI_INFO_OPTIMISER_5 = 5,
    SQI_INFO_OPTIMISER_6 = 6,
    SQI_INFO_OPTIMISER_7 = 7,
    SQI_INFO_CHANGE_MASK = 100,  // integer in/out: kDalChange* bits the caller would use,
                                 // narrowed to what the provider takes for `table`
    SQI_INFO_ROW_IDENTITY = 101,  // integer: how a row of `table` is found again by DALFetch
                                  // (kRowIdentity*); left alone: kRowIdentityNone
    SQI_INFO_REQUIRED_KEY = 102,  // integer: the column (from 1) of `table` that a scan must be
                                  // given an equality on (the provider refuses a scan without
                                  // one); left alone: 0, none
};

// Answers of SQI_INFO_ROW_IDENTITY. A provider that can read one row of a
// table by its identity says which identity it reads it by.
inline constexpr int32_t kRowIdentityNone = 0;        // rows cannot be read again one by one
inline constexpr int32_t kRowIdentityKeyColumns = 1;  // by the primary key columns (DALGetPKInfo)
inline constexpr int32_t kRowIdentityRowNumber = 2;   // by special column -1, a 32-bit row number
inline constexpr int32_t kRowIdentityKeyString = 3;   // by special column -2, a key text of at most 32 bytes
// Column numbers of the special columns in DALGetData and in the key
// restriction of DALFetch (whose `column` is then null).
inline constexpr int kSpecialRowNumber = -1;
inline constexpr int kSpecialKeyString = -2;
inline constexpr int kMaxKeyStringBytes = 32;

// Bits of SQI_INFO_CHANGE_MASK.
inline constexpr int32_t kDalChangeInsert = 1;
inline constexpr int32_t kDalChangeUpdate = 2;
inline constexpr int32_t kDalChangeDelete = 4;

// Bits of SQI_INFO_RESTRICTIONS: which restrictions the provider takes as is.
inline constexpr int32_t kRestrictionPassWithoutValue = 1;  // restrictions with no value expression
inline constexpr int32_t kRestrictionPassLike = 2;          // RESTRICT_LIKE unchanged
inline constexpr int32_t kRestrictionPassIsNull = 4;        // RESTRICT_IS_NULL

// The answer of slot 4: the provider writes the member of the code's kind
// (`number` for SQI_INFO_OPTIMISER_2, `integer` for the others) and leaves
// the record alone for a code it does not answer.
struct SqiInfo {
    int32_t integer;
    double number;
    const char *table;  // in: the table a table-level code asks about (null: none)
};

// One entry of the key list slot 27 (SQIGetPKInfo) fills: the caller passes
// a List (support/list.h) whose cells point to these records.
struct KeyColumnEntry {
    char name[kDalNameSize];  // key column name
    int32_t ordinal;          // 1-based column position in the table
};

// What a provider may ask of the DAL (DALServiceCallback).
enum DalService : int {
    DAL_SERVICE_POST_ERROR = 1,
    DAL_SERVICE_ALLOCATE = 2,
    DAL_SERVICE_LONG_LENGTH = 3,
    DAL_SERVICE_LONG_READ = 4,
    DAL_SERVICE_TYPE_INFO = 7,
    DAL_SERVICE_LONG_REWIND = 8,
    DAL_SERVICE_ODBC_VERSION = 9,
    DAL_SERVICE_CREDENTIALS = 10,
    // 5, 6 and 11 are the engine hooks (dal/dal_engine_hooks.h)
    DAL_SERVICE_RECORD = 13,     // result: the DalRecord of the handle's connection
    DAL_SERVICE_GET_INFO = 14,   // code: SQLGetInfo type; buffer, capacity in; length out
    DAL_SERVICE_TIME_LIMIT = 15,  // code out: a statement's query time-out or a
                                  // connection's login time-out, seconds (0: none)
    DAL_SERVICE_CANCEL_FLAG = 16, // result out: the statement's std::atomic<int32_t>
                                  // that SQLCancel sets (null: none)
    DAL_SERVICE_DIAG_COUNT = 17,  // code out: the records on the handle's diagnostics
};

struct DalServiceRequest {
    void *handle;           // the handle diagnostics go to (connection or statement)
    const char *origin;     // component name for POST_ERROR
    int32_t native;
    const char *sqlstate;
    const char *message;
    size_t size;            // ALLOCATE
    void *result;           // ALLOCATE: the block
    Value *value;           // long-value services
    void *buffer;           // LONG_READ
    SQLLEN capacity;
    SQLLEN length;          // LONG_LENGTH / LONG_READ result
    int32_t code;           // TYPE_INFO type code in, ODBC_VERSION out
    char user[256];         // CREDENTIALS
    char password[256];
};

struct DalRecord;
/// The DAL's service entry: `dal` is the link's record, handed back as is.
using DalServiceFn = int (*)(DalRecord *dal, int code, DalServiceRequest *request);

// How a provider reaches the DAL that made it (slot 0 receives it; the
// provider keeps a copy for as long as its handle lives).
struct DalLink {
    void *owner;            // the connection handle: diagnostics go there
    DalRecord *dal;         // handed back with every service request
    DalServiceFn callback;  // DALServiceCallback
};

/// Asks the DAL for a service through a provider's link. DAL_ERROR when the
/// link has no callback.
inline int dal_service(const DalLink &link, int code, DalServiceRequest *request) {
    return link.callback ? link.callback(link.dal, code, request) : DAL_ERROR;
}

// A provider's procedure: an action run by `{call name(arguments)}`. The
// records are the provider's constant data; the DAL and the engine only
// read them. Arguments are given in parameter order; an argument left out
// is a null pointer in the argument array (the parameter's default, or
// nothing sent). The result columns are the rows the action leaves on the
// iterator (SQINextRow, SQIGetData, column numbers from 1).
struct ProcedureParam {
    const char *name;         // parameter name, as SQLProcedureColumns lists it
    int16_t sql_type;         // SQL_VARCHAR, SQL_DECIMAL, SQL_INTEGER, SQL_BIT, SQL_TYPE_DATE
    int32_t column_size;      // characters, or precision
    int16_t scale;            // decimal digits of SQL_DECIMAL
    int32_t required;         // 1: the call fails without it
    const char *default_text; // what is sent when it is left out (null: nothing)
    const char *remarks;      // what PayPal does with it
};
struct ProcedureColumn {
    const char *name;
    int16_t sql_type;         // SQL_VARCHAR or SQL_DECIMAL
    int32_t column_size;
    int16_t scale;
};
struct ProcedureInfo {
    const char *name;
    int32_t param_count;
    const ProcedureParam *params;
    int32_t column_count;
    const ProcedureColumn *columns;
    const char *remarks;      // the PayPal request it sends
};

// The 49 operation slots, in slot order. An empty slot is null.
struct DalSlots {
    int (*SQIAllocEnv)(const DalLink *link, void **out, const char *dsn) = nullptr;                  // 0
    int (*SQIFreeEnv)(void *env, DalProvider *provider) = nullptr;                                     // 1
    int (*SQIConnect)(void *env, ConnAttrList *attributes, void *window, char *out, int capacity) = nullptr;  // 2
    int (*SQIDisconnect)(void *env) = nullptr;                                                          // 3
    int (*SQIGetInfo)(void *env, SqiInfoCode code, SqiInfo *out) = nullptr;                                       // 4
    int (*SQISetAttr)(void *env, int attribute, long value) = nullptr;                                  // 5
    int (*SQIGetTableInfo)(void *owner, void *env, DalText catalog, DalText schema,          // 6
                           DalText table, TableInfo *out) = nullptr;
    int (*SQIGetColumnInfo)(void *owner, void *env, DalText catalog, DalText schema,         // 7
                            DalText table, int count, ColumnInfo *out) = nullptr;
    void *(*SQIOpenIterator)(void *owner, void *env, DalProvider *provider, const Node *ddl) = nullptr;  // 8
    int (*SQICloseIterator)(void *it) = nullptr;                                                        // 9
    int (*SQIResetIterator)(void *it) = nullptr;                                                        // 10
    int (*SQINextRow)(void *it) = nullptr;                                                              // 11
    int (*SQITables)(void *it, DalText catalog, DalText schema, DalText table, DalText types) = nullptr;  // 12
    int (*SQIColumns)(void *it, DalText catalog, DalText schema, DalText table, DalText column) = nullptr;  // 13
    int (*SQIColumnPrivileges)(void *it, DalText catalog, DalText schema, DalText table,     // 14
                               DalText column) = nullptr;
    int (*SQIPrimaryKeys)(void *it, DalText catalog, DalText schema, DalText table) = nullptr;         // 15
    int (*SQISpecialColumns)(void *it, int identifier, DalText catalog, DalText schema,      // 16
                             DalText table, int scope, int nullable) = nullptr;
    int (*SQIStatistics)(void *it, DalText catalog, DalText schema, DalText table, int unique,  // 17
                         int accuracy) = nullptr;
    int (*SQIForeignKeys)(void *it, DalText pk_catalog, DalText pk_schema, DalText pk_table,  // 18
                          DalText fk_catalog, DalText fk_schema, DalText fk_table) = nullptr;
    int (*SQITablePrivileges)(void *it, DalText catalog, DalText schema, DalText table) = nullptr;     // 19
    int (*SQIGetData)(void *it, int column, int c_type, void *buffer, SQLLEN capacity,       // 20
                      SQLLEN *length) = nullptr;
    int (*SQIStartQuery)(void *it, TableInfo *table, const ListNode *select_list,            // 21
                         const ListNode *row_list,
                         int count, Restriction **restrictions) = nullptr;
    int (*SQIGetTypeInfo)(void *it, int data_type) = nullptr;                                           // 22
    int (*SQICreateTable)(void *it, TableInfo *table, const Node *definition) = nullptr;               // 23
    int (*SQICreateIndex)(void *it, TableInfo *table, const Node *index) = nullptr;                    // 24
    int (*SQIDropTable)(void *it, TableInfo *table) = nullptr;                                          // 25
    int (*SQIDropIndex)(void *it, TableInfo *table, const Node *index) = nullptr;                      // 26
    int (*SQIGetPKInfo)(void *owner, void *env, DalText catalog, DalText schema,             // 27
                        DalText table, int count, List *keys) = nullptr;
    int (*SQIFetch)(void *it, TableInfo *table, void *reserved, int key_count, Restriction *keys) = nullptr;  // 28
    int (*SQIInsertRow)(void *it, TableInfo *table, int column_count, void *reserved,        // 29
                        Restriction *values, void *reserved2) = nullptr;
    int (*SQIDeleteRow)(void *it, TableInfo *table, int key_count, void *reserved,           // 30
                        Restriction *keys) = nullptr;
    int (*SQIUpdateRow)(void *it, TableInfo *table, int key_count, void *reserved,           // 31
                        int set_count, void *reserved2, Restriction *keys, Restriction *sets) = nullptr;
    int (*SQIStartTransaction)(void *owner, void *env) = nullptr;                                       // 32
    int (*SQIEndTransaction)(void *owner, void *env, int completion) = nullptr;                        // 33
    int (*SQIGrant)(void *it, TableInfo *table, const Node *privileges) = nullptr;                     // 34
    int (*SQIRevoke)(void *it, TableInfo *table, const Node *privileges) = nullptr;                    // 35
    int (*SQIDropColumn)(void *it, TableInfo *table, const Node *column) = nullptr;                    // 36
    int (*SQIAddColumn)(void *it, TableInfo *table, int count, const ListNode *columns) = nullptr;     // 37
    int (*SQIAlterColumns)(void *it, const char *table, int count, const ListNode *names, int, int) = nullptr;  // 38
    int (*SQIProcedures)(void *it, DalText catalog, DalText schema, DalText procedure) = nullptr;      // 39
    int (*SQIProcedureColumns)(void *it, DalText catalog, DalText schema, DalText procedure,  // 40
                               DalText column) = nullptr;
    int (*SQIGetProcedureInfo)(void *owner, void *env, DalText procedure,                    // 41
                               const ProcedureInfo **out) = nullptr;
    int (*SQIRunProcedure)(void *it, const ProcedureInfo *procedure, int count,               // 42
                           Value *const *arguments) = nullptr;
    void *unassigned43 = nullptr;                                                                       // 43
    int (*SQIPassThrough)(void *it, const char *statement, void *argument) = nullptr;                  // 44
    void *unassigned45 = nullptr;                                                                       // 45
    int (*SQICreateUser)(void *it, const char *user, const char *password) = nullptr;                 // 46
    int (*SQIDropUser)(void *it, const char *user) = nullptr;                                           // 47
    int (*SQISetTimeout)(void *it, int seconds) = nullptr;                                              // 48
};
static_assert(sizeof(DalSlots) == 49 * sizeof(void *), "the provider interface has 49 slots");
// Every slot keeps its number: providers and the DAL agree on positions.
static_assert(offsetof(DalSlots, SQIAllocEnv) == 0 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIFreeEnv) == 1 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIConnect) == 2 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIDisconnect) == 3 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGetInfo) == 4 * sizeof(void *));
static_assert(offsetof(DalSlots, SQISetAttr) == 5 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGetTableInfo) == 6 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGetColumnInfo) == 7 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIOpenIterator) == 8 * sizeof(void *));
static_assert(offsetof(DalSlots, SQICloseIterator) == 9 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIResetIterator) == 10 * sizeof(void *));
static_assert(offsetof(DalSlots, SQINextRow) == 11 * sizeof(void *));
static_assert(offsetof(DalSlots, SQITables) == 12 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIColumns) == 13 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIColumnPrivileges) == 14 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIPrimaryKeys) == 15 * sizeof(void *));
static_assert(offsetof(DalSlots, SQISpecialColumns) == 16 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIStatistics) == 17 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIForeignKeys) == 18 * sizeof(void *));
static_assert(offsetof(DalSlots, SQITablePrivileges) == 19 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGetData) == 20 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIStartQuery) == 21 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGetTypeInfo) == 22 * sizeof(void *));
static_assert(offsetof(DalSlots, SQICreateTable) == 23 * sizeof(void *));
static_assert(offsetof(DalSlots, SQICreateIndex) == 24 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIDropTable) == 25 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIDropIndex) == 26 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGetPKInfo) == 27 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIFetch) == 28 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIInsertRow) == 29 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIDeleteRow) == 30 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIUpdateRow) == 31 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIStartTransaction) == 32 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIEndTransaction) == 33 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGrant) == 34 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIRevoke) == 35 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIDropColumn) == 36 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIAddColumn) == 37 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIAlterColumns) == 38 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIProcedures) == 39 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIProcedureColumns) == 40 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIGetProcedureInfo) == 41 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIRunProcedure) == 42 * sizeof(void *));
static_assert(offsetof(DalSlots, unassigned43) == 43 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIPassThrough) == 44 * sizeof(void *));
static_assert(offsetof(DalSlots, unassigned45) == 45 * sizeof(void *));
static_assert(offsetof(DalSlots, SQICreateUser) == 46 * sizeof(void *));
static_assert(offsetof(DalSlots, SQIDropUser) == 47 * sizeof(void *));
static_assert(offsetof(DalSlots, SQISetTimeout) == 48 * sizeof(void *));

struct DalProvider {
    int32_t status;                 // 0 takes part in the operation; 3 left out
    int32_t passthrough_disabled;   // DISABLEPT given and not "0"
    char name[kDalNameSize];        // "$$$VIEWS$$$", "$$$INFO_SCHEMA$$$", or the LINK name
    DalSlots slots;
    void *handle;                   // what slot 0 returned
};
