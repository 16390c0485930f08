// SQLGetConnectAttr (and W), SQLSetConnectAttr (and W), and the ODBC 2
// SQLGetConnectOption (and W) and SQLSetConnectOption (and W).
//
// Numbers are written as 32-bit integers with length 4 (the quiet-mode
// window handle as 8 bytes); texts are copied bounded by the buffer with
// their full length reported (bytes in both forms) and 01004 when cut.
// Statement attributes set on a connection go to its defaults statement.
#include <cstring>
#include <string>

#include "odbc/answer.h"
#include "odbc/odbc_api.h"
#include "odbc/state.h"
#include "odbc/stmt_attr.h"

namespace {

// Longest text attribute kept (a trace file path, a translation library).
constexpr size_t kMaxAttrText = 4096;
constexpr const char *kCatalogName = "PAYPAL";

// The driver never runs a connection asynchronously.
bool can_connect_async() { return false; }

bool is_text_attr(SQLINTEGER attribute) {
    return attribute == SQL_ATTR_TRACEFILE || attribute == SQL_ATTR_TRANSLATE_LIB ||
           attribute == SQL_ATTR_CURRENT_CATALOG;
}

const char *or_empty(const char *t) { return t ? t : ""; }

// The answer for `attribute`, or SQL_ERROR after posting HY024.
SQLRETURN conn_attr_answer(DBC *dbc, SQLINTEGER attribute, Answer &a) {
    const ConnAttributes &c = dbc->attrs;
    auto i32 = [&](int64_t v) {
        a = answer_int(AnswerKind::Int32, v);
        return SQL_SUCCESS;
    };
    switch (attribute) {
        case SQL_ATTR_ASYNC_ENABLE: return i32(c.async_enable);
        case SQL_ATTR_ACCESS_MODE: return i32(c.access_mode);
        case SQL_ATTR_AUTOCOMMIT: return i32(c.autocommit);
        case SQL_ATTR_LOGIN_TIMEOUT: return i32(c.login_timeout);
        case SQL_ATTR_TRACE: return i32(c.trace);
        case SQL_ATTR_TRACEFILE: a = answer_text(or_empty(c.trace_file)); return SQL_SUCCESS;
        case SQL_ATTR_TRANSLATE_LIB: a = answer_text(or_empty(c.translate_library)); return SQL_SUCCESS;
        case SQL_ATTR_TRANSLATE_OPTION: return i32(c.translate_option);
        case SQL_ATTR_TXN_ISOLATION: return i32(c.txn_isolation);
        // The driver has one catalog whatever the application set.
        case SQL_ATTR_CURRENT_CATALOG: a = answer_text(kCatalogName); return SQL_SUCCESS;
        case SQL_ATTR_ODBC_CURSORS: return i32(c.odbc_cursors);
        case SQL_ATTR_QUIET_MODE: a = answer_ptr(c.quiet_mode); return SQL_SUCCESS;
        case SQL_ATTR_PACKET_SIZE: return i32(c.packet_size);
        case SQL_ATTR_CONNECTION_TIMEOUT: return i32(c.connection_timeout);
        case SQL_ATTR_CONNECTION_DEAD: return i32(SQL_CD_FALSE);
        case SQL_ATTR_AUTO_IPD: return i32(SQL_TRUE);
        case SQL_ATTR_METADATA_ID: return i32(c.metadata_id);
        default: return post_error(dbc->diag, "HY024", "Invalid attribute value");
    }
}

template <typename Write>
SQLRETURN get_connect_attr(SQLHDBC handle, SQLINTEGER attribute, SQLINTEGER capacity,
                           SQLINTEGER *length, Write &&write) {
    DBC *dbc = as_dbc(handle);
    if (!dbc) return SQL_INVALID_HANDLE;
    return odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(dbc->diag, 0);
        if (conn_transition(0, dbc, SQL_API_SQLGETCONNECTATTR, attribute) != 0) return SQL_ERROR;
        Answer a{};
        if (conn_attr_answer(dbc, attribute, a) != SQL_SUCCESS) return SQL_ERROR;
        if (a.kind == AnswerKind::Text && capacity < 0)
            return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
        SQLLEN full = 0;
        const bool cut = write(a, capacity, &full);
        if (length) *length = static_cast<SQLINTEGER>(full);
        (void)conn_transition(1, dbc, SQL_API_SQLGETCONNECTATTR, attribute);
        if (cut) return post_warning(dbc->diag, "01004", "String data, right truncated");
        return SQL_SUCCESS;
    });
}

// Reads a text attribute value: 8-bit with a byte length, or UTF-16 with a
// byte length (the wide entry points), either may be SQL_NTS. False after
// posting HY090 for a bad or too long length.
bool text_value(DBC *dbc, SQLPOINTER value, SQLINTEGER length, bool wide, std::string &out) {
    if (!value) {
        out.clear();
        return true;
    }
    if (wide) {
        if (length != SQL_NTS && length < 0) {
            post_error(dbc->diag, "HY090", "Invalid string or buffer length");
            return false;
        }
        const auto *w = static_cast<const SQLWCHAR *>(value);
        WideIn in(w, length == SQL_NTS ? SQL_NTS : length / 2);
        out = in.str();
    } else {
        TextArg t = text_arg(static_cast<const char *>(value), length);
        if (!t.ok) {
            post_error(dbc->diag, "HY090", "Invalid string or buffer length");
            return false;
        }
        out.assign(t.text.substr(0, t.text.find('\0')));
    }
    if (out.size() > kMaxAttrText) {
        post_error(dbc->diag, "HY090", "Invalid string or buffer length");
        return false;
    }
    return true;
}

// Replaces a pooled text attribute (null for an empty or null value).
bool replace_text(DBC *dbc, char *&field, const std::string &text, bool null_value) {
    char *copy = nullptr;
    if (!null_value) {
        copy = cv_mem_strndup(dbc->pool, text);
        if (!copy) {
            post_error(dbc->diag, "HY001", "Memory allocation error");
            return false;
        }
    }
    cv_mem_free(field);
    field = copy;
    return true;
}

SQLRETURN store_connect_attr(DBC *dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length,
                             bool wide) {
    ConnAttributes &c = dbc->attrs;
    // Integer attributes take the low 32 bits of the value argument.
    const auto v = static_cast<int32_t>(reinterpret_cast<SQLLEN>(value));
    if (is_text_attr(attribute)) {
        std::string text;
        if (!text_value(dbc, value, length, wide, text)) return SQL_ERROR;
        char *&field = attribute == SQL_ATTR_TRACEFILE       ? c.trace_file
                       : attribute == SQL_ATTR_TRANSLATE_LIB ? c.translate_library
                                                             : c.current_catalog;
        return replace_text(dbc, field, text, value == nullptr) ? SQL_SUCCESS : SQL_ERROR;
    }
    switch (attribute) {
        case SQL_ATTR_ASYNC_ENABLE:
            if (v == SQL_ASYNC_ENABLE_ON && !can_connect_async()) {
                // Refused: reporting success here would let the application
                // believe its statements run asynchronously.
                c.async_enable = SQL_ASYNC_ENABLE_OFF;
                return post_error(dbc->diag, "IM001", "Driver does not support this function");
            }
            c.async_enable = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ACCESS_MODE: c.access_mode = v; return SQL_SUCCESS;
        // Turning autocommit on commits the open transaction; the
        // connection transition's apply step does that.
        case SQL_ATTR_AUTOCOMMIT: c.autocommit = v; return SQL_SUCCESS;
        case SQL_ATTR_LOGIN_TIMEOUT: c.login_timeout = v; return SQL_SUCCESS;
        case SQL_ATTR_TRACE: c.trace = v; return SQL_SUCCESS;
        case SQL_ATTR_TRANSLATE_OPTION: c.translate_option = v; return SQL_SUCCESS;
        case SQL_ATTR_TXN_ISOLATION:
            if (!c.isolation_fixed) c.txn_isolation = v;
            return SQL_SUCCESS;
        case SQL_ATTR_ODBC_CURSORS: c.odbc_cursors = v; return SQL_SUCCESS;
        case SQL_ATTR_QUIET_MODE: c.quiet_mode = value; return SQL_SUCCESS;
        case SQL_ATTR_PACKET_SIZE: c.packet_size = v; return SQL_SUCCESS;
        case SQL_ATTR_CONNECTION_TIMEOUT: c.connection_timeout = v; return SQL_SUCCESS;
        case SQL_ATTR_METADATA_ID:
            c.metadata_id = v;
            dbc->defaults->attrs.metadata_id = v;
            return SQL_SUCCESS;
        case 1041:
        case 1042: return SQL_SUCCESS;  // accepted and ignored
        default:
            if (is_connection_stmt_attr(attribute))
                return store_stmt_attr(dbc->defaults, dbc->diag, attribute, value);
            return post_error(dbc->diag, "HY024", "Invalid attribute value");
    }
}

SQLRETURN set_connect_attr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length,
                           bool wide) {
    DBC *dbc = as_dbc(handle);
    if (!dbc) return SQL_INVALID_HANDLE;
    return odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(dbc->diag, 0);
        if (conn_transition(0, dbc, SQL_API_SQLSETCONNECTATTR, attribute) != 0) return SQL_ERROR;
        SQLRETURN rc = store_connect_attr(dbc, attribute, value, length, wide);
        if (rc == SQL_ERROR) return rc;
        if (conn_transition(1, dbc, SQL_API_SQLSETCONNECTATTR, attribute) != 0) return SQL_ERROR;
        return rc;
    });
}

// ODBC 2 options: texts are null-terminated and read into 256 bytes.
SQLINTEGER option_length(SQLUSMALLINT option) { return is_text_attr(option) ? SQL_NTS : 0; }

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute,
                                              SQLPOINTER Value, SQLINTEGER BufferLength,
                                              SQLINTEGER *StringLength) {
    return get_connect_attr(ConnectionHandle, Attribute, BufferLength, StringLength,
                            [&](const Answer &a, SQLLEN cap, SQLLEN *len) {
                                return write_answer(a, Value, cap, len);
                            });
}

CV_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC ConnectionHandle, SQLINTEGER Attribute,
                                               SQLPOINTER Value, SQLINTEGER BufferLength,
                                               SQLINTEGER *StringLength) {
    return get_connect_attr(ConnectionHandle, Attribute, BufferLength, StringLength,
                            [&](const Answer &a, SQLLEN cap, SQLLEN *len) {
                                return write_answer_wide(a, Value, cap, WideUnit::Bytes, len);
                            });
}

CV_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute,
                                              SQLPOINTER Value, SQLINTEGER StringLength) {
    return set_connect_attr(ConnectionHandle, Attribute, Value, StringLength, false);
}

// The wide form reads its text values as UTF-16 (a trace file path set
// through it must not arrive as its first character only).
CV_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC ConnectionHandle, SQLINTEGER Attribute,
                                               SQLPOINTER Value, SQLINTEGER StringLength) {
    return set_connect_attr(ConnectionHandle, Attribute, Value, StringLength, true);
}

CV_EXPORT SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC ConnectionHandle, SQLUSMALLINT Option,
                                                SQLPOINTER Value) {
    const SQLINTEGER capacity = is_text_attr(Option) ? 256 : 0;
    return SQLGetConnectAttr(ConnectionHandle, Option, Value, capacity, nullptr);
}

CV_EXPORT SQLRETURN SQL_API SQLGetConnectOptionW(SQLHDBC ConnectionHandle, SQLUSMALLINT Option,
                                                 SQLPOINTER Value) {
    if (!is_text_attr(Option)) return SQLGetConnectAttr(ConnectionHandle, Option, Value, 0, nullptr);
    // An ODBC 2 text option has a buffer of 256 bytes: at most 127
    // characters and the terminator.
    return get_connect_attr(ConnectionHandle, Option, 256, nullptr,
                            [&](const Answer &a, SQLLEN cap, SQLLEN *len) {
                                return write_answer_wide(a, Value, cap, WideUnit::Bytes, len);
                            });
}

CV_EXPORT SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC ConnectionHandle, SQLUSMALLINT Option,
                                                SQLULEN Value) {
    return set_connect_attr(ConnectionHandle, Option, reinterpret_cast<SQLPOINTER>(Value),
                            option_length(Option), false);
}

CV_EXPORT SQLRETURN SQL_API SQLSetConnectOptionW(SQLHDBC ConnectionHandle, SQLUSMALLINT Option,
                                                 SQLULEN Value) {
    return set_connect_attr(ConnectionHandle, Option, reinterpret_cast<SQLPOINTER>(Value),
                            option_length(Option), true);
}
