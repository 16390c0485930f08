// Statement attribute storage shared by SQLSetStmtAttr and SQLSetConnectAttr
// (which stores statement attributes in the connection's defaults
// statement, for statements allocated afterwards).
//
// Exports: store_stmt_attr, is_connection_stmt_attr.
#pragma once

#include "odbc/handles.h"

/// Stores statement attribute `attribute` = `value` in `stmt`, posting on
/// `diag`. `stmt` may be the connection's defaults statement, which has no
/// descriptors: attributes that live in descriptors are then accepted and
/// not kept. Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01S02, a value
/// changed) or SQL_ERROR after posting.
[[nodiscard]] SQLRETURN store_stmt_attr(STMT *stmt, ErrorHeader *diag, SQLINTEGER attribute,
                                        SQLPOINTER value);

/// True for the statement attributes SQLSetConnectAttr accepts for its
/// defaults statement (0-3, 6-12, 15, 16, 27, -1, -2).
[[nodiscard]] bool is_connection_stmt_attr(SQLINTEGER attribute);
