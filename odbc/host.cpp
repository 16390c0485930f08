// The host services the ODBC layer offers the layers below it: they hold
// handles only as opaque owners and reach them through this table, which
// every connection's DAL record receives when the connection is made.
#include "odbc/handle_ops.h"
#include "support/connstr.h"
#include "support/host_services.h"

namespace {

ErrorHeader *handle_diagnostics(void *handle) { return diag_of(handle); }

CvPool *handle_pool(void *handle) {
    switch (node_kind(handle)) {
        case TAG_ENV: return static_cast<ENV *>(handle)->pool;
        case TAG_DBC: return static_cast<DBC *>(handle)->pool;
        case TAG_STMT: return static_cast<STMT *>(handle)->pool;
        case TAG_DESC: return static_cast<DESC *>(handle)->pool;
        default: return nullptr;
    }
}

ENV *environment_of(void *handle) {
    switch (node_kind(handle)) {
        case TAG_ENV: return static_cast<ENV *>(handle);
        case TAG_DBC: return static_cast<DBC *>(handle)->env;
        case TAG_STMT: return static_cast<STMT *>(handle)->env;
        case TAG_DESC: return static_cast<DESC *>(handle)->env;
        default: return nullptr;
    }
}

DBC *connection_of(void *handle) {
    switch (node_kind(handle)) {
        case TAG_DBC: return static_cast<DBC *>(handle);
        case TAG_STMT: return static_cast<STMT *>(handle)->dbc;
        case TAG_DESC: return static_cast<DESC *>(handle)->dbc;
        default: return nullptr;
    }
}

int handle_odbc_version(void *handle) {
    const ENV *env = environment_of(handle);
    return env && env->odbc_version == 2 ? 2 : 3;
}

const char *handle_connection_text(void *handle, const char *keyword) {
    const DBC *dbc = connection_of(handle);
    return dbc && dbc->conn_attrs ? get_attribute_value(dbc->conn_attrs, keyword) : nullptr;
}

int handle_time_limit(void *handle) {
    SQLULEN seconds = 0;
    if (node_kind(handle) == TAG_STMT) {
        seconds = static_cast<STMT *>(handle)->attrs.query_timeout;
    } else if (node_kind(handle) == TAG_DBC) {
        seconds = static_cast<DBC *>(handle)->attrs.login_timeout;
    }
    // A day bounds what a request may wait; larger values mean "no hurry".
    return seconds > 86400 ? 86400 : static_cast<int>(seconds);
}

const std::atomic<int32_t> *handle_cancel_flag(void *handle) {
    return node_kind(handle) == TAG_STMT ? &static_cast<STMT *>(handle)->cancel_requested : nullptr;
}

DalRecord *handle_dal_record(void *handle) {
    DBC *dbc = connection_of(handle);
    return dbc ? dbc->dal : nullptr;
}

int handle_get_info(void *handle, int info_type, void *buffer, int64_t capacity, int64_t *length) {
    DBC *dbc = connection_of(handle);
    *length = 0;
    if (!dbc || !dbc->services.get_info || capacity < 0 || capacity > 32767) return -1;
    SQLSMALLINT got = 0;
    const SQLRETURN rc = dbc->services.get_info(dbc, static_cast<SQLUSMALLINT>(info_type), buffer,
                                                static_cast<SQLSMALLINT>(capacity), &got);
    *length = got;
    return SQL_SUCCEEDED(rc) ? 0 : -1;
}

constexpr HostServices kOdbcHostServices = {
    .diagnostics = handle_diagnostics,
    .pool = handle_pool,
    .odbc_version = handle_odbc_version,
    .connection_text = handle_connection_text,
    .time_limit = handle_time_limit,
    .cancel_flag = handle_cancel_flag,
    .dal_record = handle_dal_record,
    .get_info = handle_get_info,
};

}  // namespace

const HostServices *odbc_host_services() { return &kOdbcHostServices; }
