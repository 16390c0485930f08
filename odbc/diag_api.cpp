// SQLGetDiagRec and SQLGetDiagField, 8-bit and wide.
//
// These read a handle's diagnostics without emptying them. While a statement
// runs asynchronously its header belongs to the worker, so it is not read.
#include "odbc/odbc_api.h"
#include "odbc/state.h"
#include "odbc/wide.h"

namespace {

// The header of a handle of `type`; `rc` is -2 for a null or mistagged
// handle and SQL_ERROR for an unknown type.
ErrorHeader *header_of(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN &rc, const STMT **stmt) {
    rc = SQL_SUCCESS;
    *stmt = nullptr;
    switch (type) {
        case SQL_HANDLE_ENV:
            if (ENV *e = as_env(handle)) return e->diag;
            break;
        case SQL_HANDLE_DBC:
            if (DBC *d = as_dbc(handle)) return d->diag;
            break;
        case SQL_HANDLE_STMT:
            if (STMT *s = as_stmt(handle)) {
                *stmt = s;
                return s->diag;
            }
            break;
        case SQL_HANDLE_DESC:
            if (DESC *d = as_desc(handle)) return d->diag;
            break;
        default: rc = SQL_ERROR; return nullptr;
    }
    rc = SQL_INVALID_HANDLE;
    return nullptr;
}

SQLRETURN diag_rec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR *state,
                   SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT capacity,
                   SQLSMALLINT *length) {
    SQLRETURN rc;
    const STMT *stmt;
    ErrorHeader *h = header_of(type, handle, rc, &stmt);
    if (!h) return rc;
    if (stmt && stmt_is_async(stmt)) return SQL_NO_DATA;
    return GetDiagRec(h, record, state, native, message, capacity, length);
}

SQLRETURN diag_field(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT id,
                     SQLPOINTER value, SQLSMALLINT capacity, SQLSMALLINT *length) {
    SQLRETURN rc;
    const STMT *stmt;
    ErrorHeader *h = header_of(type, handle, rc, &stmt);
    if (!h) return rc;
    if (stmt && stmt_is_async(stmt)) {
        if (id == SQL_DIAG_RETURNCODE) {
            if (value) *static_cast<SQLRETURN *>(value) = SQL_STILL_EXECUTING;
            return SQL_SUCCESS;
        }
        if (id == SQL_DIAG_NUMBER && value) *static_cast<SQLINTEGER *>(value) = 0;
        return SQL_SUCCESS;
    }
    return GetDiagField(h, type, record, id, value, capacity, length);
}

SQLSMALLINT clamp16(SQLLEN n) { return static_cast<SQLSMALLINT>(n > 32767 ? 32767 : n); }

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                          SQLSMALLINT RecNumber, SQLCHAR *Sqlstate,
                                          SQLINTEGER *NativeError, SQLCHAR *MessageText,
                                          SQLSMALLINT BufferLength, SQLSMALLINT *TextLength) {
    return diag_rec(HandleType, Handle, RecNumber, Sqlstate, NativeError, MessageText,
                    BufferLength, TextLength);
}

CV_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                            SQLSMALLINT RecNumber, SQLSMALLINT DiagIdentifier,
                                            SQLPOINTER DiagInfo, SQLSMALLINT BufferLength,
                                            SQLSMALLINT *StringLength) {
    return diag_field(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfo, BufferLength,
                      StringLength);
}

CV_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                           SQLSMALLINT RecNumber, SQLWCHAR *Sqlstate,
                                           SQLINTEGER *NativeError, SQLWCHAR *MessageText,
                                           SQLSMALLINT BufferLength, SQLSMALLINT *TextLength) {
    try {
        if (BufferLength < 0) return SQL_ERROR;
        SQLCHAR state[6] = {0};
        std::string text;
        SQLRETURN rc = read_full_text(
            [&](SQLCHAR *buf, SQLLEN cap, SQLLEN *len) {
                SQLSMALLINT n = 0;
                SQLRETURN r = diag_rec(HandleType, Handle, RecNumber, state, NativeError, buf,
                                       clamp16(cap), &n);
                *len = n;
                return r;
            },
            text);
        if (!SQL_SUCCEEDED(rc)) return rc;
        wide_sqlstate(state, Sqlstate);
        SQLLEN full = 0;
        bool cut = wide_out(text, MessageText, BufferLength, WideUnit::Chars, &full);
        if (TextLength) *TextLength = clamp16(full);
        return cut && MessageText ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    } catch (...) {
        return SQL_ERROR;
    }
}

CV_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT HandleType, SQLHANDLE Handle,
                                             SQLSMALLINT RecNumber, SQLSMALLINT DiagIdentifier,
                                             SQLPOINTER DiagInfo, SQLSMALLINT BufferLength,
                                             SQLSMALLINT *StringLength) {
    try {
        if (!diag_field_is_text(DiagIdentifier))
            return diag_field(HandleType, Handle, RecNumber, DiagIdentifier, DiagInfo,
                              BufferLength, StringLength);
        if (BufferLength < 0) return SQL_ERROR;
        std::string text;
        SQLRETURN rc = read_full_text(
            [&](SQLCHAR *buf, SQLLEN cap, SQLLEN *len) {
                SQLSMALLINT n = 0;
                SQLRETURN r = diag_field(HandleType, Handle, RecNumber, DiagIdentifier, buf,
                                         clamp16(cap), &n);
                *len = n;
                return r;
            },
            text);
        if (!SQL_SUCCEEDED(rc)) return rc;
        SQLLEN full = 0;
        bool cut = wide_out(text, static_cast<SQLWCHAR *>(DiagInfo), BufferLength, WideUnit::Bytes,
                            &full);
        if (StringLength) *StringLength = clamp16(full);
        return cut && DiagInfo ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    } catch (...) {
        return SQL_ERROR;
    }
}
