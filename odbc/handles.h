// The four ODBC handle records and the connection services table.
//
// Handle records are pool nodes whose first field is their tag (200 ENV,
// 201 DBC, 202 STMT, 203 DESC). Each owns a pool made under its parent's, so
// freeing a handle is one pool release. Handles carry no locks: the
// application must not use one handle from two threads at once.
//
// Exports: ENV, DBC, STMT, DESC, DbcServices, HandleTag, handle checks
// (as_env, as_dbc, as_stmt, as_desc).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>

#include "odbc/attributes.h"
#include "support/diag.h"
#include "support/node.h"
#include "support/pool.h"

struct DalRecord;
struct CvConfig;
struct CvThread;
struct CvSemaphore;
struct DescRecord;
struct ConnAttrList;  // support/connstr.h

enum HandleTag : uint32_t {
    TAG_ENV = 200,
    TAG_DBC = 201,
    TAG_STMT = 202,
    TAG_DESC = 203,
};

// Environment states.
enum EnvState : int32_t { ENV_FREED = 0, ENV_ALLOCATED = 1, ENV_HAS_CONNECTIONS = 2 };

// Connection states.
enum ConnState : int32_t {
    CONN_FREED = 0,
    CONN_DISCONNECTED = 1,   // after SQLDisconnect
    CONN_ALLOCATED = 2,      // never connected
    CONN_BROWSING = 3,       // SQLBrowseConnect in progress
    CONN_CONNECTED = 4,
    CONN_WITH_STATEMENTS = 5,
    CONN_IN_TRANSACTION = 6,
};

// Statement states S0 to S12.
enum StmtState : int32_t {
    S0 = 0,    // freed
    S1 = 1,    // allocated
    S2 = 2,    // prepared, no result set
    S3 = 3,    // prepared, result set
    S4 = 4,    // executed, no result set
    S5 = 5,    // cursor open
    S6 = 6,    // positioned by SQLFetch / SQLFetchScroll
    S7 = 7,    // positioned by SQLExtendedFetch
    S8 = 8,    // need data
    S9 = 9,    // must put data
    S10 = 10,  // can put data
    S11 = 11,  // still executing
    S12 = 12,  // asynchronous execution cancelled
};

// Descriptor states and types.
enum DescState : int32_t { DESC_FREED = 0, DESC_IMPLICIT = 1, DESC_EXPLICIT = 2 };
enum DescType : int32_t { DESC_ARD = 10010, DESC_APD = 10011, DESC_IRD = 10012, DESC_IPD = 10013 };

struct ENV;
struct DBC;
struct STMT;
struct DESC;

// Entry points through which code that holds only a connection (the engine's
// internal statements, the views and information-schema providers, catalog
// listings) makes and runs statements without naming the ODBC layer.
// Slots whose subsystem is not built yet post HYC00.
struct DbcServices {
    int (*reset_descriptor_records)(DESC *desc);                              // 1
    int (*init_descriptor_header)(DESC *desc, int32_t type);                   // 2
    int (*alloc_descriptor)(DBC *dbc, STMT *stmt, DESC **out, int implicit);   // 3
    int (*init_statement_attributes)(STMT *stmt, DBC *source);                 // 4
    int (*load_first_unit)(STMT *stmt);                                        // 5
    int (*validate_tree)(STMT *stmt, void *tree);                              // 6
    int (*free_parse_context)(STMT *stmt);                                     // 7
    const char *(*last_parse_error)(STMT *stmt);                               // 8
    int (*parse_text)(STMT *stmt, const char *text);                           // 9
    int (*create_parse_context)(STMT *stmt);                                   // 10
    int (*release_statement)(STMT *stmt);                                      // 11
    int (*free_descriptor)(DESC *desc);                                        // 12
    int (*release_descriptor_values)(DESC *desc);                              // 13
    int (*close_results)(STMT *stmt);                                          // 14
    int (*fetch)(STMT *stmt, int orientation, SQLLEN offset);                  // 15
    int (*convert_column)(STMT *stmt, int column, int c_type, void *buffer,    // 16
                          SQLLEN capacity, SQLLEN *indicator);
    int (*execute)(STMT *stmt);                                                // 17
    int (*engine_entry[5])(STMT *stmt, void *arg);                             // 18-22
    SQLRETURN (*tables_empty)(STMT *stmt, const char *catalog, const char *schema,  // 23
                              const char *table, const char *types);
    SQLRETURN (*column_privileges)(STMT *stmt, const char *catalog, const char *schema,  // 24
                                   const char *table, const char *column);
    SQLRETURN (*columns)(STMT *stmt, const char *catalog, const char *schema,  // 25
                         const char *table, const char *column);
    SQLRETURN (*statistics)(STMT *stmt, const char *catalog, const char *schema,  // 26
                            const char *table, int unique, int reserved);
    SQLRETURN (*table_privileges)(STMT *stmt, const char *catalog, const char *schema,  // 27
                                  const char *table);
    SQLRETURN (*tables_view)(STMT *stmt, const char *catalog, const char *schema,  // 28
                             const char *table, const char *types);
    SQLRETURN (*get_info)(DBC *dbc, SQLUSMALLINT info, SQLPOINTER value,     // 29
                          SQLSMALLINT capacity, SQLSMALLINT *length);
    int (*engine_extra)(STMT *stmt, void *arg);                                // 30
    int (*rowset_entry)(STMT *stmt, void *arg);                                // 31
    int (*extract_from_long_buffer)(void *buffer, void *out, SQLLEN capacity,  // 32
                                    SQLLEN *length);
    int (*rewind_long_buffer)(void *buffer);                                   // 33
    int (*validation_entry[2])(STMT *stmt, void *arg);                         // 34-35
};
static_assert(sizeof(DbcServices) == 35 * sizeof(void *), "DBC_SERVICES has 35 slots");

struct ENV {
    uint32_t tag;           // TAG_ENV
    CvPool *pool;           // root pool
    int32_t odbc_version;   // -1 until SQL_ATTR_ODBC_VERSION is set, then 2 or 3
    int32_t output_nts;     // always reads as SQL_TRUE
    ErrorHeader *diag;      // diagnostics header
    int32_t state;          // EnvState
    int32_t connections;    // connections allocated under this environment
    CvConfig *config;       // the driver's configuration section
};

struct DBC {
    uint32_t tag;                  // TAG_DBC
    CvPool *pool;                  // child of the environment's pool
    ENV *env;                      // parent
    ErrorHeader *diag;             // diagnostics header
    int32_t state;                 // ConnState
    int32_t statements;            // statements currently allocated
    STMT *statement_list;          // newest statement; chained by next_statement
    ConnAttributes attrs;          // connection attributes
    DalRecord *dal;                // the connection's data access record
    ConnAttrList *conn_attrs;      // parsed connection string (connecting fills it)
    void *view_store;              // stored-views handle, while connected
    DbcServices services;          // entry points for internal statements
    STMT *defaults;                // statement-attribute defaults for new statements
    int32_t replication_marker;    // engine use: cleared at allocation
    char *replication_path;        // engine use: empty
    int32_t relational_opt;        // query options set when connecting
    int32_t in_expansion;
    int32_t catalog_schema_check;
    int32_t reserved_option[2];
};

struct STMT {
    uint32_t tag;                  // TAG_STMT
    CvPool *pool;                  // child of the connection's pool
    ENV *env;
    DBC *dbc;
    ErrorHeader *diag;             // diagnostics header
    void *result;                  // engine node of the open result
    int32_t state;                 // StmtState
    int32_t prepared;              // 1 after a successful SQLPrepare
    DESC *implicit_ard, *implicit_apd, *implicit_ird, *implicit_ipd;
    DESC *ard, *apd, *ird, *ipd;   // descriptors in use
    StmtAttributes attrs;          // statement attributes
    void *parse_context;           // made at prepare or execute
    CvPool *parse_pool;
    int32_t result_sets_left;      // result sets of the batch still to deliver
    int32_t result_sets_in_batch;  // query statements found by validation
    void *exec_list;               // execution list of the batch
    void *exec_current;            // execution node in progress
    int64_t row_count;             // what SQLRowCount reports
    int32_t has_cursor_name;       // 1 while a cursor name is registered
    STMT *next_statement;          // the connection's list
    STMT *parent_statement;        // for internal statements
    int32_t need_data_function;    // 11, 12, 24 or 68 while in S8-S10
    int32_t need_data_return_state;
    int32_t async_enable;          // copied from the connection at allocation
    int32_t async_result;          // result of the job in progress
    int32_t async_saved_state;     // state to restore when the job ends
    int32_t async_pending_function;
    CvThread *worker;              // made on first asynchronous use
    CvSemaphore *worker_start;
    CvSemaphore *worker_done;
    int32_t params_bound;          // set by SQLBindParameter
    int32_t worker_command;        // kWorkerExit asks the worker to end
    void *job_argument;
    int (*job_routine)(STMT *stmt, void *argument);
    std::atomic<int32_t> cancel_requested;  // SQLCancel sets it: a provider's retry wait ends
    std::atomic<int32_t> calls_running;     // execution/fetch calls in progress (StmtRunScope):
                                            // a SQLCancel from another thread then only sets the flag
    CvPool *param_pool;            // the current execution's parameter values
    int32_t param_current;         // parameter SQLPutData sends to (from 1), 0 none
    struct Value *param_wide;      // SQL_C_WCHAR pieces of param_current as sent (UTF-16 bytes),
                                   // decoded whole: a piece may end inside a character
};

struct DESC {
    uint32_t tag;                  // TAG_DESC
    CvPool *pool;                  // child of the connection's pool
    CvPool *record_pool;           // holds the record array; replaced on reset
    ENV *env;
    DBC *dbc;
    STMT *owner;                   // null for an application-allocated descriptor
    ErrorHeader *diag;
    int32_t state;                 // DescState
    DescHeader header;             // header fields (implicit flag, type, ...)
    int16_t record_count;
    DescRecord *records;           // records 0 (bookmark) to record_count
};

constexpr int32_t kWorkerExit = 16;

/// Handle checks: the record when `h` is non-null and carries the tag, else
/// null. Used by every entry point before anything else.
[[nodiscard]] inline ENV *as_env(void *h) { return node_kind(h) == TAG_ENV ? static_cast<ENV *>(h) : nullptr; }
[[nodiscard]] inline DBC *as_dbc(void *h) { return node_kind(h) == TAG_DBC ? static_cast<DBC *>(h) : nullptr; }
[[nodiscard]] inline STMT *as_stmt(void *h) { return node_kind(h) == TAG_STMT ? static_cast<STMT *>(h) : nullptr; }
[[nodiscard]] inline DESC *as_desc(void *h) { return node_kind(h) == TAG_DESC ? static_cast<DESC *>(h) : nullptr; }

/// The diagnostics header of any handle record, or null for something else.
[[nodiscard]] inline ErrorHeader *diag_of(void *h) {
    switch (node_kind(h)) {
        case TAG_ENV: return static_cast<ENV *>(h)->diag;
        case TAG_DBC: return static_cast<DBC *>(h)->diag;
        case TAG_STMT: return static_cast<STMT *>(h)->diag;
        case TAG_DESC: return static_cast<DESC *>(h)->diag;
        default: return nullptr;
    }
}
