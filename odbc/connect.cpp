// SQLConnect, SQLDriverConnect (A and W), SQLBrowseConnect, SQLDisconnect.
//
// Every connect starts from a fresh attribute list, so a retry with other
// credentials never inherits the previous data source's values; only
// SQLBrowseConnect rounds build one list up. Values are never spliced raw
// into a connection string: they are brace-quoted where needed, so a secret
// holding ';' or '}' reaches the provider intact.
#include <cstring>
#include <string>

#include "dal/dal.h"
#include "odbc/connect_settings.h"
#include "odbc/handle_ops.h"
#include "odbc/odbc_api.h"
#include "odbc/state.h"
#include "odbc/wide.h"
#include "support/profile.h"
#include "support/str_buffer.h"
#include "support/trace.h"

namespace {

constexpr size_t kMaxServerName = 127;   // bytes of a data source name
constexpr size_t kMaxCredential = 1023;  // bytes of a user name or password

// Replaces the connection's attribute list with an empty one.
bool fresh_attributes(DBC *dbc) {
    ConnAttrList *list = init_con_str(dbc->pool);
    if (!list) return false;
    free_con_str(dbc->conn_attrs);
    dbc->conn_attrs = list;
    return true;
}

SQLRETURN memory_error(DBC *dbc) { return post_error(dbc->diag, "HY001", "Memory allocation error"); }

// The work of SQLDriverConnect; `out` receives the generated string.
SQLRETURN driver_connect(DBC *dbc, void *window, std::string_view in, std::string *out, int completion) {
    if (conn_transition(0, dbc, SQL_API_SQLDRIVERCONNECT) != 0) return SQL_ERROR;
    if (!fresh_attributes(dbc)) return memory_error(dbc);
    ConnAttrList *list = dbc->conn_attrs;
    if (parse_connection_string(list, in.data(), static_cast<long>(in.size())) != 0)
        return post_error(dbc->diag, "HY000", "General error: %s", "malformed connection string");
    const bool has_driver = has_attribute(list, "DRIVER"), has_file = has_attribute(list, "FILEDSN");
    if (has_attribute(list, "SAVEFILE") && !has_driver && !has_file) {
        SetReturnCode(dbc->diag, SQL_ERROR);
        PostError(dbc->diag, 2, 0, 0, 0, 0, "ISO 9075", "01S09", "Invalid keyword");
        return SQL_ERROR;
    }
    const char *dsn = get_attribute_value(list, "DSN");
    std::string dsn_name = dsn ? dsn : "";
    if (dsn && complete_from_profile(dbc->env->config, list, dsn_name) != 0) return memory_error(dbc);
    if (completion != SQL_DRIVER_NOPROMPT && window) {
        if (prompt_for_settings(dbc, window, completion) == 100) {
            log_message("driverconnect", __LINE__, kTraceFailure, "SQLDriverConnect() returns %e", SQL_NO_DATA);
            return SQL_NO_DATA;
        }
    }
    if (!dsn_name.empty()) set_diag_server_name(dbc->diag, dsn_name.c_str());
    SQLRETURN rc = SQL_SUCCESS;
    int r = DALOpen(dbc->dal, list, window);
    if (r == DAL_ERROR || (r != DAL_OK && r != DAL_INFO)) {
        SetReturnCode(dbc->diag, SQL_ERROR);
        return SQL_ERROR;
    }
    if (r == DAL_INFO) rc = SQL_SUCCESS_WITH_INFO;
    set_query_options(dbc);
    if (out) *out = generate_connection_string(list);
    (void)conn_transition(1, dbc, SQL_API_SQLDRIVERCONNECT);
    return rc;
}

// Copies the generated string out; a cut copy is a warning (01004).
SQLRETURN copy_out(DBC *dbc, SQLRETURN rc, const std::string &text, SQLCHAR *out, SQLSMALLINT capacity,
                   SQLSMALLINT *length) {
    if (!SQL_SUCCEEDED(rc)) return rc;
    if (!out && !length) return rc;
    short n = 0;
    bool cut = copy_str_buffer(reinterpret_cast<char *>(out), out ? capacity : 0, &n, text.c_str()) != 0;
    if (length) *length = n;
    if (cut && out) {
        post_warning(dbc->diag, "01004", "String data, right truncated");
        return SQL_SUCCESS_WITH_INFO;
    }
    return rc;
}

// Builds the string SQLConnect hands to the driver-connect operation.
bool connect_string(std::string_view server, std::string_view user, std::string_view password, std::string *out) {
    *out = "DSN=" + quote_connection_value(server) + ";";
    if (!user.empty()) *out += "UID=" + quote_connection_value(user) + ";";
    if (!password.empty()) *out += "PWD=" + quote_connection_value(password) + ";";
    return true;
}

SQLRETURN connect(DBC *dbc, TextArg server, TextArg user, TextArg password) {
    if (!server.ok || !user.ok || !password.ok)
        return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
    if (server.text.size() > kMaxServerName || user.text.size() > kMaxCredential ||
        password.text.size() > kMaxCredential)
        return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
    if (server.text.empty()) {
        SetReturnCode(dbc->diag, SQL_ERROR);
        PostError(dbc->diag, 2, 0, 0, 0, 0, "ODBC 3.0", "IM002",
                  "Data source name not found and no default driver specified");
        return SQL_ERROR;
    }
    std::string text;
    connect_string(server.text, user.text, password.text, &text);
    SQLRETURN rc = driver_connect(dbc, nullptr, text, nullptr, SQL_DRIVER_NOPROMPT);
    explicit_bzero(text.data(), text.size());
    return rc;
}

SQLRETURN traced_connect(SQLHDBC handle, TextArg server, TextArg user, TextArg password,
                         const char *server_raw, int server_len, const char *user_raw, int user_len) {
    log_message("connect", __LINE__, kTraceInfo, "SQLConnect( %h, %S, %S, %S )", handle, server_raw, server_len,
                user_raw, user_len, "****", -3);
    DBC *dbc = as_dbc(handle);
    if (!dbc) {
        log_message("connect", __LINE__, kTraceFailure, "SQLConnect() returns %e", SQL_INVALID_HANDLE);
        return SQL_INVALID_HANDLE;
    }
    SetupErrorHeader(dbc->diag, 0);
    SQLRETURN rc = odbc_guard(dbc->diag, [&] { return connect(dbc, server, user, password); });
    log_message("connect", __LINE__, SQL_SUCCEEDED(rc) ? kTraceInfo : kTraceFailure, "SQLConnect() returns %e", rc);
    return rc;
}

// Connection-string arguments: a negative length other than SQL_NTS is HY090.
bool text_in(SQLCHAR *text, SQLSMALLINT length, std::string_view *out) {
    TextArg a = text_arg(reinterpret_cast<const char *>(text), length);
    *out = a.text;
    return a.ok;
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR *ServerName, SQLSMALLINT NameLength1,
                                       SQLCHAR *UserName, SQLSMALLINT NameLength2, SQLCHAR *Authentication,
                                       SQLSMALLINT NameLength3) {
    auto *s = reinterpret_cast<const char *>(ServerName);
    auto *u = reinterpret_cast<const char *>(UserName);
    return traced_connect(ConnectionHandle, text_arg(s, NameLength1), text_arg(u, NameLength2),
                          text_arg(reinterpret_cast<const char *>(Authentication), NameLength3), s, NameLength1,
                          u, NameLength2);
}

CV_EXPORT SQLRETURN SQL_API SQLConnectW(SQLHDBC ConnectionHandle, SQLWCHAR *ServerName, SQLSMALLINT NameLength1,
                                        SQLWCHAR *UserName, SQLSMALLINT NameLength2, SQLWCHAR *Authentication,
                                        SQLSMALLINT NameLength3) {
    try {
        WideIn s(ServerName, NameLength1), u(UserName, NameLength2), p(Authentication, NameLength3);
        TextArg sa{s.str(), s.is_null(), s.ok()}, ua{u.str(), u.is_null(), u.ok()}, pa{p.str(), p.is_null(), p.ok()};
        SQLRETURN rc = traced_connect(ConnectionHandle, sa, ua, pa, s.str().c_str(), -3, u.str().c_str(), -3);
        return rc;
    } catch (...) {
        return SQL_ERROR;
    }
}

static SQLRETURN driver_connect_entry(SQLHDBC handle, SQLHWND window, std::string_view in, std::string *out,
                                      SQLUSMALLINT completion, bool in_ok) {
    DBC *dbc = as_dbc(handle);
    if (!dbc) return SQL_INVALID_HANDLE;
    SetupErrorHeader(dbc->diag, 0);
    return odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        if (!in_ok) return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
        if (completion > SQL_DRIVER_NOPROMPT + 3)
            return post_error(dbc->diag, "HY110", "Invalid driver completion");
        return driver_connect(dbc, window, in, out, completion);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC ConnectionHandle, SQLHWND WindowHandle,
                                             SQLCHAR *InConnectionString, SQLSMALLINT StringLength1,
                                             SQLCHAR *OutConnectionString, SQLSMALLINT BufferLength,
                                             SQLSMALLINT *StringLength2Ptr, SQLUSMALLINT DriverCompletion) {
    log_message("driverconnect", __LINE__, kTraceInfo, "SQLDriverConnect( %h, %h, %S, %p, %i, %p, %u )",
                ConnectionHandle, WindowHandle, reinterpret_cast<const char *>(InConnectionString),
                static_cast<int>(StringLength1), OutConnectionString, BufferLength, StringLength2Ptr,
                DriverCompletion);
    std::string_view in;
    bool ok = text_in(InConnectionString, StringLength1, &in);
    std::string out;
    SQLRETURN rc = driver_connect_entry(ConnectionHandle, WindowHandle, in, &out, DriverCompletion, ok);
    if (DBC *dbc = as_dbc(ConnectionHandle)) rc = copy_out(dbc, rc, out, OutConnectionString, BufferLength, StringLength2Ptr);
    if (SQL_SUCCEEDED(rc))
        log_message("driverconnect", __LINE__, kTraceInfo, "SQLDriverConnect() returns %e, OutConnectionStr = %*S",
                    rc, reinterpret_cast<const char *>(OutConnectionString), StringLength2Ptr);
    else
        log_message("driverconnect", __LINE__, kTraceFailure, "SQLDriverConnect() returns %e", rc);
    return rc;
}

CV_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC ConnectionHandle, SQLHWND WindowHandle,
                                              SQLWCHAR *InConnectionString, SQLSMALLINT StringLength1,
                                              SQLWCHAR *OutConnectionString, SQLSMALLINT BufferLength,
                                              SQLSMALLINT *StringLength2Ptr, SQLUSMALLINT DriverCompletion) {
    try {
        WideIn in(InConnectionString, StringLength1);
        log_message("driverconnect", __LINE__, kTraceInfo, "SQLDriverConnect( %h, %h, %S, %p, %i, %p, %u )",
                    ConnectionHandle, WindowHandle, in.str().c_str(), -3, OutConnectionString, BufferLength,
                    StringLength2Ptr, DriverCompletion);
        std::string out;
        SQLRETURN rc = driver_connect_entry(ConnectionHandle, WindowHandle, in.str(), &out, DriverCompletion, in.ok());
        DBC *dbc = as_dbc(ConnectionHandle);
        if (dbc && SQL_SUCCEEDED(rc) && (OutConnectionString || StringLength2Ptr)) {
            SQLLEN full = 0;
            bool cut = wide_out(out, OutConnectionString, OutConnectionString ? BufferLength : 0, WideUnit::Chars, &full);
            if (StringLength2Ptr) *StringLength2Ptr = static_cast<SQLSMALLINT>(full > 32767 ? 32767 : full);
            if (cut && OutConnectionString) rc = post_warning(dbc->diag, "01004", "String data, right truncated");
        }
        log_message("driverconnect", __LINE__, SQL_SUCCEEDED(rc) ? kTraceInfo : kTraceFailure,
                    "SQLDriverConnect() returns %e", rc);
        return rc;
    } catch (...) {
        return SQL_ERROR;
    }
}

namespace {

SQLRETURN browse_connect(DBC *dbc, std::string_view in, SQLCHAR *out, SQLSMALLINT capacity, SQLSMALLINT *length) {
    if (conn_transition(0, dbc, SQL_API_SQLBROWSECONNECT) != 0) return SQL_ERROR;
    // A first round starts a fresh list; later rounds add to it.
    if (dbc->state != CONN_BROWSING && !fresh_attributes(dbc)) return memory_error(dbc);
    ConnAttrList *list = dbc->conn_attrs;
    ConnAttrList *round = init_con_str(dbc->pool);
    if (!round) return memory_error(dbc);
    struct RoundGuard {
        ConnAttrList *l;
        ~RoundGuard() { free_con_str(l); }
    } guard{round};
    if (parse_connection_string(round, in.data(), static_cast<long>(in.size())) != 0)
        return post_error(dbc->diag, "HY000", "General error: %s", "malformed connection string");
    if (!has_attribute(list, "DSN") && !has_attribute(list, "DRIVER")) {
        const char *key = has_attribute(round, "DSN") ? "DSN" : has_attribute(round, "DRIVER") ? "DRIVER" : nullptr;
        if (!key) return SQL_ERROR;
        if (append_pair(list, key, get_attribute_value(round, key)) != 0) return memory_error(dbc);
    }
    for (const char *key : {"SQI", "PWD", "UID"}) {
        const char *v = get_attribute_value(round, key);
        if (v && !has_attribute(list, key) && append_pair(list, key, v) != 0) return memory_error(dbc);
    }
    short n = 0;
    if (out && capacity > 0) out[0] = '\0';
    char *o = reinterpret_cast<char *>(out);
    bool asked = false;
    if (!has_attribute(list, "PWD")) asked = true, (void)cat_str_buffer(o, capacity, &n, "PWD:Password=?;");
    if (!has_attribute(list, "UID")) asked = true, (void)cat_str_buffer(o, capacity, &n, "UID:UserID=?;");
    if (!has_attribute(list, "SQI")) {
        asked = true;
        const CvConfig *config = dbc->env->config;
        int count = read_number(get_profile_string(config, "sqi", "count", "0", "odbc.ini").c_str(), 0, false);
        if (count < 1) {
            (void)cat_str_buffer(o, capacity, &n, "SQI:SQITarget=?;");
        } else {
            std::string targets = "SQI:SQItarget={";
            bool first = true;
            for (int i = 1; i <= count && i <= 1000; i++) {
                std::string v = get_profile_string(config, "sqi", "sqi" + std::to_string(i), "", "odbc.ini");
                if (v.empty()) continue;
                if (!first) targets += ",";
                targets += v;
                first = false;
            }
            targets += "};";
            (void)cat_str_buffer(o, capacity, &n, targets);
        }
    }
    if (length) *length = n;
    if (asked) {
        (void)conn_transition(1, dbc, SQL_API_SQLBROWSECONNECT, 1);
        return SQL_NEED_DATA;
    }
    int r = DALOpen(dbc->dal, list, nullptr);
    if (r != DAL_OK && r != DAL_INFO) {
        (void)conn_transition(1, dbc, SQL_API_SQLBROWSECONNECT, -1);
        SetReturnCode(dbc->diag, SQL_ERROR);
        return SQL_ERROR;
    }
    set_query_options(dbc);
    (void)conn_transition(1, dbc, SQL_API_SQLBROWSECONNECT, 0);
    return r == DAL_INFO ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLBrowseConnect(SQLHDBC ConnectionHandle, SQLCHAR *InConnectionString,
                                             SQLSMALLINT StringLength1, SQLCHAR *OutConnectionString,
                                             SQLSMALLINT BufferLength, SQLSMALLINT *StringLength2Ptr) {
    log_message("browseconnect", __LINE__, kTraceInfo, "SQLBrowseConnect( %h, %S, %*p, %i, %p )", ConnectionHandle,
                reinterpret_cast<const char *>(InConnectionString), static_cast<int>(StringLength1),
                &OutConnectionString, BufferLength, StringLength2Ptr);
    DBC *dbc = as_dbc(ConnectionHandle);
    if (!dbc) return SQL_INVALID_HANDLE;
    SetupErrorHeader(dbc->diag, 0);
    std::string_view in;
    bool ok = text_in(InConnectionString, StringLength1, &in);
    SQLRETURN rc = odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        if (!ok) return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
        return browse_connect(dbc, in, OutConnectionString, BufferLength, StringLength2Ptr);
    });
    log_message("browseconnect", __LINE__, SQL_SUCCEEDED(rc) || rc == SQL_NEED_DATA ? kTraceInfo : kTraceFailure,
                "SQLBrowseConnect() returns %e", rc);
    return rc;
}

CV_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC ConnectionHandle) {
    DBC *dbc = as_dbc(ConnectionHandle);
    if (!dbc) return SQL_INVALID_HANDLE;
    SetupErrorHeader(dbc->diag, 0);
    return odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        if (conn_transition(0, dbc, SQL_API_SQLDISCONNECT) != 0) return SQL_ERROR;
        (void)conn_transition(1, dbc, SQL_API_SQLDISCONNECT);
        // Statements go newest first; their counts go with them.
        while (STMT *stmt = dbc->statement_list) free_statement(stmt);
        dbc->statements = 0;
        DALClose(dbc->dal);
        dbc->view_store = nullptr;
        return SQL_SUCCESS;
    });
}
