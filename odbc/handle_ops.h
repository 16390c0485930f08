// Handle operations shared by the exported functions and DBC_SERVICES.
//
// Return codes are 0 or -1 (after posting on the named handle's header).
//
// Exports: alloc_descriptor, reset_descriptor_records, init_descriptor_header,
// init_statement_attributes, release_statement_resources, free_statement,
// free_connection_children, fill_services, not_implemented, odbc_host_services.
#pragma once

#include "odbc/handles.h"

struct HostServices;

/// The table through which the DAL, the providers and the engine reach the
/// handles they are given (odbc/host.cpp).
[[nodiscard]] const HostServices *odbc_host_services();

/// Makes a descriptor on `dbc` (owned by `stmt` when implicit, which puts it in
/// the statement's pool). HY001 on the connection when memory is exhausted.
[[nodiscard]] int alloc_descriptor(DBC *dbc, STMT *stmt, DESC **out, int implicit);

/// Replaces the descriptor's record pool with an empty one; record count 0.
[[nodiscard]] int reset_descriptor_records(DESC *desc);

/// Sets the header fields for descriptor type `type` (DescType).
[[nodiscard]] int init_descriptor_header(DESC *desc, int32_t type);

/// Copies the statement attributes from `source`'s defaults statement, or the
/// built-in defaults when `source` is null.
[[nodiscard]] int init_statement_attributes(STMT *stmt, DBC *source);

/// Stops and joins the statement's worker, removes its cursor name and frees
/// its parse context. Safe to call twice.
[[nodiscard]] int release_statement_resources(STMT *stmt);

/// Frees a statement whatever its state (the SQL_DROP path).
void free_statement(STMT *stmt);

/// Frees an application-allocated descriptor; statements using it as ARD or
/// APD fall back to their implicit ones. -1 with HY017 for an implicit one.
[[nodiscard]] int free_descriptor(DESC *desc);

/// Fills the connection's DBC_SERVICES table.
void fill_services(DbcServices *services);

/// Posts HYC00 on `diag` and returns SQL_ERROR: for entry points whose
/// subsystem is not in this build.
SQLRETURN not_implemented(ErrorHeader *diag);
