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
// Exports: DalCode, DalText, TableInfo, ColumnInfo, Restriction,
// DalServiceRequest, DalServiceFn, DalSlots, DalProvider, kDalNameSize,
// dal_text, dal_text_view.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string_view>

struct Value;         // engine value record
struct ConnAttrList;  // parsed connection string
struct DalProvider;

enum DalCode : int {
    DAL_OK = 0,
    DAL_INFO = 1,
    DAL_NO_DATA = 2,
    DAL_ERROR = 3,
    DAL_NOT_MINE = 4,
};

constexpr int kDalNameSize = 128;

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

struct ColumnInfo {
    char catalog[kDalNameSize];
    char schema[kDalNameSize];
    char table[kDalNameSize];
    char column[kDalNameSize];
    int32_t data_type;          // concise SQL type in the application's ODBC version's codes
    int32_t datetime_subcode;   // 1 date, 2 time, 3 timestamp
    int32_t interval_precision;
    int32_t display_size;
    int32_t digits;
    char literal_prefix[64];
    char literal_suffix[64];
    char local_type_name[64];
    char type_name[64];
    int32_t nullable;
    int32_t radix;
    int32_t octet_length;
    int32_t precision;
    int32_t scale;
    int32_t auto_increment;
    int32_t verbose_type;       // always ODBC 3 codes
    int32_t searchable;         // 1 LIKE only, 3 searchable
    int32_t case_sensitive;
    int32_t is_unsigned;
    int32_t updatable;          // 0 read-only, 1 writable, 2 unknown
    int32_t buffer_length;
    int32_t char_octet_length;
    char create_params[192];
    int32_t interval_fields[2];
    int32_t ordinal;            // from 1
    int32_t provider_index;     // written by the DAL
    int32_t provider_extra;     // written by the DAL (0)
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
    void *value_expression;           // parse-tree expression, or null
    Value *value;                     // evaluated value, or null
    int32_t working_count;            // cleared by the executor
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
    DAL_SERVICE_TIME_LIMIT = 11,  // code out: a statement's query time-out or a
                                  // connection's login time-out, seconds (0: none)
    DAL_SERVICE_CANCEL_FLAG = 12, // result out: the statement's std::atomic<int32_t>
                                  // that SQLCancel sets (null: none)
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

using DalServiceFn = int (*)(int code, DalServiceRequest *request);

// The 49 operation slots, in slot order. An empty slot is null.
struct DalSlots {
    int (*SQIAllocEnv)(void *owner, void **out, DalServiceFn callback, const char *dsn) = nullptr;    // 0
    int (*SQIFreeEnv)(void *env, DalProvider *provider) = nullptr;                                     // 1
    int (*SQIConnect)(void *env, ConnAttrList *attributes, void *window, char *out, int capacity) = nullptr;  // 2
    int (*SQIDisconnect)(void *env) = nullptr;                                                          // 3
    int (*SQIGetInfo)(void *env, int code, void *out) = nullptr;                                        // 4
    int (*SQISetAttr)(void *env, int attribute, long value) = nullptr;                                  // 5
    int (*SQIGetTableInfo)(void *owner, void *env, DalText catalog, DalText schema,          // 6
                           DalText table, TableInfo *out) = nullptr;
    int (*SQIGetColumnInfo)(void *owner, void *env, DalText catalog, DalText schema,         // 7
                            DalText table, int count, ColumnInfo *out) = nullptr;
    void *(*SQIOpenIterator)(void *owner, void *env, DalProvider *provider, void *ddl) = nullptr;      // 8
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
    int (*SQIStartQuery)(void *it, TableInfo *table, void *select_list, void *row_list,     // 21
                         int count, Restriction **restrictions) = nullptr;
    int (*SQIGetTypeInfo)(void *it, int data_type) = nullptr;                                           // 22
    int (*SQICreateTable)(void *it, TableInfo *table, void *definition) = nullptr;                     // 23
    int (*SQICreateIndex)(void *it, TableInfo *table, void *index) = nullptr;                          // 24
    int (*SQIDropTable)(void *it, TableInfo *table) = nullptr;                                          // 25
    int (*SQIDropIndex)(void *it, TableInfo *table, void *index) = nullptr;                            // 26
    int (*SQIGetPKInfo)(void *owner, void *env, DalText catalog, DalText schema,             // 27
                        DalText table, int count, void *keys) = nullptr;
    int (*SQIFetch)(void *it, TableInfo *table, void *reserved, int key_count, Restriction *keys) = nullptr;  // 28
    int (*SQIInsertRow)(void *it, TableInfo *table, int column_count, void *reserved,        // 29
                        void *values, void *reserved2) = nullptr;
    int (*SQIDeleteRow)(void *it, TableInfo *table, int key_count, void *reserved,           // 30
                        Restriction *keys) = nullptr;
    int (*SQIUpdateRow)(void *it, TableInfo *table, int key_count, void *reserved,           // 31
                        int set_count, void *reserved2, Restriction *keys, void *sets) = nullptr;
    int (*SQIStartTransaction)(void *owner, void *env) = nullptr;                                       // 32
    int (*SQIEndTransaction)(void *owner, void *env, int completion) = nullptr;                        // 33
    int (*SQIGrant)(void *it, TableInfo *table, void *privileges) = nullptr;                           // 34
    int (*SQIRevoke)(void *it, TableInfo *table, void *privileges) = nullptr;                          // 35
    int (*SQIDropColumn)(void *it, TableInfo *table, void *column) = nullptr;                          // 36
    int (*SQIAddColumn)(void *it, TableInfo *table, int count, void *columns) = nullptr;               // 37
    int (*SQIAlterColumns)(void *it, const char *table, int count, void *names, int, int) = nullptr;  // 38
    int (*SQIProcedures)(void *it, DalText catalog, DalText schema, DalText procedure) = nullptr;      // 39
    int (*SQIProcedureColumns)(void *it, DalText catalog, DalText schema, DalText procedure,  // 40
                               DalText column) = nullptr;
    void *unassigned41 = nullptr;                                                                       // 41
    void *unassigned42 = nullptr;                                                                       // 42
    void *unassigned43 = nullptr;                                                                       // 43
    int (*SQIPassThrough)(void *it, const char *statement, void *argument) = nullptr;                  // 44
    void *unassigned45 = nullptr;                                                                       // 45
    int (*SQICreateUser)(void *it, const char *user, const char *password) = nullptr;                 // 46
    int (*SQIDropUser)(void *it, const char *user) = nullptr;                                           // 47
    int (*SQISetTimeout)(void *it, int seconds) = nullptr;                                              // 48
};
static_assert(sizeof(DalSlots) == 49 * sizeof(void *), "the provider interface has 49 slots");

struct DalProvider {
    int32_t status;                 // 0 takes part in the operation; 3 left out
    int32_t passthrough_disabled;   // DISABLEPT given and not "0"
    char name[kDalNameSize];        // "$$$VIEWS$$$", "$$$INFO_SCHEMA$$$", or the LINK name
    DalSlots slots;
    void *handle;                   // what slot 0 returned
};
