// Connection and statement attribute blocks, the descriptor header and the
// descriptor record.
//
// The connection block holds the values SQLSetConnectAttr sets; the
// statement block is copied from the connection's defaults statement when a
// statement is allocated. The descriptor header and records are shared by
// the ODBC layer and the engine: the ARD and APD carry the application's
// bindings, the IRD and IPD the implementation's description. All of them
// are plain data inside pool memory (trivially copyable, no destructors);
// text fields point into the descriptor's record pool.
//
// Exports: ConnAttributes, StmtAttributes, DescHeader, DescRecord,
// conn_attributes_defaults, stmt_attributes_defaults.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

struct ConnAttributes {
    int32_t async_enable;         // SQL_ATTR_ASYNC_ENABLE [0]
    int32_t auto_ipd;             // SQL_ATTR_AUTO_IPD for new statements [1]
    int32_t access_mode;          // SQL_ATTR_ACCESS_MODE [0]
    int32_t autocommit;           // SQL_ATTR_AUTOCOMMIT [1]
    int32_t connection_timeout;   // SQL_ATTR_CONNECTION_TIMEOUT [0]
    char *current_catalog;        // SQL_ATTR_CURRENT_CATALOG [null], in the connection's pool
    int32_t login_timeout;        // SQL_ATTR_LOGIN_TIMEOUT [0]
    int32_t metadata_id;          // SQL_ATTR_METADATA_ID [0]
    int32_t odbc_cursors;         // SQL_ATTR_ODBC_CURSORS [2]
    int32_t packet_size;          // SQL_ATTR_PACKET_SIZE [0]
    void *quiet_mode;             // SQL_ATTR_QUIET_MODE [0]
    int32_t trace;                // SQL_ATTR_TRACE [0]
    char *trace_file;             // SQL_ATTR_TRACEFILE [null], in the connection's pool
    char *translate_library;      // SQL_ATTR_TRANSLATE_LIB [null], in the connection's pool
    int32_t translate_option;     // SQL_ATTR_TRANSLATE_OPTION [0]
    int32_t txn_isolation;        // SQL_ATTR_TXN_ISOLATION [1]
    int32_t isolation_fixed;      // [1]: the isolation level cannot be changed
};

// Statement attributes that live in the statement itself; the rest live in
// its current descriptors (see stmt_attr.cpp). Connecting and statement
// issues may extend this block; new fields must keep it trivially copyable.
struct StmtAttributes {
    int32_t async_enable;         // SQL_ATTR_ASYNC_ENABLE (from the connection)
    int32_t concurrency;          // SQL_ATTR_CONCURRENCY [1]
    int32_t cursor_type;          // SQL_ATTR_CURSOR_TYPE [0]
    int32_t cursor_scrollable;    // SQL_ATTR_CURSOR_SCROLLABLE [0]
    int32_t cursor_sensitivity;   // SQL_ATTR_CURSOR_SENSITIVITY [1]
    int32_t enable_auto_ipd;      // SQL_ATTR_ENABLE_AUTO_IPD (from the connection)
    SQLULEN max_length;           // SQL_ATTR_MAX_LENGTH [0]
    SQLULEN max_rows;             // SQL_ATTR_MAX_ROWS [0]
    int32_t metadata_id;          // SQL_ATTR_METADATA_ID [0]
    int32_t noscan;               // SQL_ATTR_NOSCAN [0]
    SQLULEN query_timeout;        // SQL_ATTR_QUERY_TIMEOUT [0]
    int32_t retrieve_data;        // SQL_ATTR_RETRIEVE_DATA [1]
    int32_t simulate_cursor;      // SQL_ATTR_SIMULATE_CURSOR [0]
    int32_t use_bookmarks;        // SQL_ATTR_USE_BOOKMARKS [0]
    SQLULEN keyset_size;          // SQL_ATTR_KEYSET_SIZE [0]
    SQLULEN row_number;           // SQL_ATTR_ROW_NUMBER [0], kept by the engine
    void *fetch_bookmark;         // SQL_ATTR_FETCH_BOOKMARK_PTR [null]
};

struct DescHeader {
    int32_t populated;            // 1 for ARD, APD, IPD; IRD 0 until a result is described
    int32_t implicit;             // 1 for the four descriptors made with a statement
    int32_t type;                 // DescType
    int16_t alloc_type;           // SQL_DESC_ALLOC_AUTO / SQL_DESC_ALLOC_USER
    SQLULEN array_size;           // SQL_DESC_ARRAY_SIZE [1]
    SQLULEN rowset_size;          // SQL_ROWSET_SIZE (SQLExtendedFetch) [1]
    SQLUSMALLINT *array_status;   // SQL_DESC_ARRAY_STATUS_PTR [null]
    SQLLEN *bind_offset;          // SQL_DESC_BIND_OFFSET_PTR [null]
    SQLINTEGER bind_type;         // SQL_DESC_BIND_TYPE [0]
    SQLULEN *rows_processed;      // SQL_DESC_ROWS_PROCESSED_PTR [null]
};

// Short texts of a record are kept inline; the rest point into the
// descriptor's record pool (null reads as "").
constexpr size_t kDescShortText = 64;

struct DescRecord {
    int16_t type;                        // SQL_DESC_TYPE (1002)
    int32_t auto_unique_value;           // SQL_DESC_AUTO_UNIQUE_VALUE (11)
    char *base_column_name;              // SQL_DESC_BASE_COLUMN_NAME (22)
    char *base_table_name;               // SQL_DESC_BASE_TABLE_NAME (23)
    int32_t case_sensitive;              // SQL_DESC_CASE_SENSITIVE (12)
    char *catalog_name;                  // SQL_DESC_CATALOG_NAME (17)
    int16_t concise_type;                // SQL_DESC_CONCISE_TYPE (2)
    void *data_ptr;                      // SQL_DESC_DATA_PTR (1010)
    int16_t datetime_interval_code;      // SQL_DESC_DATETIME_INTERVAL_CODE (1007)
    int32_t datetime_interval_precision; // SQL_DESC_DATETIME_INTERVAL_PRECISION (26)
    SQLLEN display_size;                 // SQL_DESC_DISPLAY_SIZE (6)
    int16_t fixed_prec_scale;            // SQL_DESC_FIXED_PREC_SCALE (9)
    SQLLEN *indicator_ptr;               // SQL_DESC_INDICATOR_PTR (1009)
    char *label;                         // SQL_DESC_LABEL (18)
    SQLULEN length;                      // SQL_DESC_LENGTH (1003); APD: column size at binding
    char literal_prefix[kDescShortText]; // SQL_DESC_LITERAL_PREFIX (27)
    char literal_suffix[kDescShortText]; // SQL_DESC_LITERAL_SUFFIX (28)
    char local_type_name[kDescShortText];// SQL_DESC_LOCAL_TYPE_NAME (29)
    char *name;                          // SQL_DESC_NAME (1011)
    int16_t nullable;                    // SQL_DESC_NULLABLE (1008)
    int32_t num_prec_radix;              // SQL_DESC_NUM_PREC_RADIX (32)
    SQLLEN octet_length;                 // SQL_DESC_OCTET_LENGTH (1013); ARD/APD: buffer length
    SQLLEN *octet_length_ptr;            // SQL_DESC_OCTET_LENGTH_PTR (1004)
    int16_t parameter_type;              // SQL_DESC_PARAMETER_TYPE (33)
    int16_t precision;                   // SQL_DESC_PRECISION (1005)
    int16_t scale;                       // SQL_DESC_SCALE (1006); APD: decimal digits at binding
    char *schema_name;                   // SQL_DESC_SCHEMA_NAME (16)
    int16_t searchable;                  // SQL_DESC_SEARCHABLE (13)
    char *table_name;                    // SQL_DESC_TABLE_NAME (15)
    char type_name[kDescShortText];      // SQL_DESC_TYPE_NAME (14)
    int16_t unnamed;                     // SQL_DESC_UNNAMED (1012)
    int16_t is_unsigned;                 // SQL_DESC_UNSIGNED (8)
    int16_t updatable;                   // SQL_DESC_UPDATABLE (10)
    void *value;                         // the engine's value record of the column or parameter
    void *engine_data;                   // engine bookkeeping
};
static_assert(std::is_trivially_copyable_v<DescRecord> && std::is_trivially_copyable_v<DescHeader> &&
                  std::is_trivially_copyable_v<StmtAttributes>,
              "attribute blocks are copied as plain data");

/// The built-in defaults of a new connection.
[[nodiscard]] ConnAttributes conn_attributes_defaults();
/// The built-in defaults of a statement (the defaults statement starts so).
[[nodiscard]] StmtAttributes stmt_attributes_defaults();
