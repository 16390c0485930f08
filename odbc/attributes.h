// Connection and statement attribute blocks and the descriptor header fields.
//
// The connection block holds the values SQLSetConnectAttr sets; the
// statement block is copied from the connection's defaults statement when a
// statement is allocated. Both are plain data inside their handle record.
//
// Exports: ConnAttributes, StmtAttributes, DescHeader,
// conn_attributes_defaults, stmt_attributes_defaults.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

struct ConnAttributes {
    int32_t async_enable;         // SQL_ATTR_ASYNC_ENABLE [0]
    int32_t auto_ipd;             // SQL_ATTR_AUTO_IPD [1]
    int32_t access_mode;          // SQL_ATTR_ACCESS_MODE [0]
    int32_t autocommit;           // SQL_ATTR_AUTOCOMMIT [1]
    int32_t connection_timeout;   // SQL_ATTR_CONNECTION_TIMEOUT [0]
    char *current_catalog;        // SQL_ATTR_CURRENT_CATALOG [null]
    int32_t login_timeout;        // SQL_ATTR_LOGIN_TIMEOUT [0]
    int32_t metadata_id;          // SQL_ATTR_METADATA_ID [0]
    int32_t odbc_cursors;         // SQL_ATTR_ODBC_CURSORS [2]
    int32_t packet_size;          // SQL_ATTR_PACKET_SIZE [0]
    void *quiet_mode;             // SQL_ATTR_QUIET_MODE [0]
    int32_t trace;                // SQL_ATTR_TRACE [0]
    char *trace_file;             // SQL_ATTR_TRACEFILE [null]
    char *translate_library;      // SQL_ATTR_TRANSLATE_LIB [null]
    int32_t translate_option;     // SQL_ATTR_TRANSLATE_OPTION [0]
    int32_t txn_isolation;        // SQL_ATTR_TXN_ISOLATION [1]
    int32_t isolation_fixed;      // [1]
};

// Statement attributes. Connecting and statement issues extend this block;
// new fields must keep it trivially copyable.
struct StmtAttributes {
    int32_t async_enable;         // SQL_ATTR_ASYNC_ENABLE
    int32_t concurrency;          // SQL_ATTR_CONCURRENCY
    int32_t cursor_type;          // SQL_ATTR_CURSOR_TYPE
    int32_t cursor_scrollable;    // SQL_ATTR_CURSOR_SCROLLABLE
    int32_t cursor_sensitivity;   // SQL_ATTR_CURSOR_SENSITIVITY
    int32_t enable_auto_ipd;      // SQL_ATTR_ENABLE_AUTO_IPD
    SQLULEN max_length;           // SQL_ATTR_MAX_LENGTH
    SQLULEN max_rows;             // SQL_ATTR_MAX_ROWS
    int32_t metadata_id;          // SQL_ATTR_METADATA_ID
    int32_t noscan;               // SQL_ATTR_NOSCAN
    SQLULEN query_timeout;        // SQL_ATTR_QUERY_TIMEOUT
    int32_t retrieve_data;        // SQL_ATTR_RETRIEVE_DATA
    int32_t simulate_cursor;      // SQL_ATTR_SIMULATE_CURSOR
    int32_t use_bookmarks;        // SQL_ATTR_USE_BOOKMARKS
    SQLULEN keyset_size;          // SQL_ATTR_KEYSET_SIZE
    SQLULEN row_number;           // SQL_ATTR_ROW_NUMBER
};

struct DescHeader {
    int32_t implicit;             // 1 for the four descriptors made with a statement
    int32_t type;                 // DescType
    int16_t alloc_type;           // SQL_DESC_ALLOC_AUTO / SQL_DESC_ALLOC_USER
    SQLULEN array_size;           // SQL_DESC_ARRAY_SIZE
    SQLUSMALLINT *array_status;   // SQL_DESC_ARRAY_STATUS_PTR
    SQLLEN *bind_offset;          // SQL_DESC_BIND_OFFSET_PTR
    SQLINTEGER bind_type;         // SQL_DESC_BIND_TYPE
    SQLULEN *rows_processed;      // SQL_DESC_ROWS_PROCESSED_PTR
};

/// The built-in defaults of a new connection.
[[nodiscard]] ConnAttributes conn_attributes_defaults();
/// The built-in defaults of a statement (the defaults statement starts so).
[[nodiscard]] StmtAttributes stmt_attributes_defaults();
