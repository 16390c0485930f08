// SQLGetStmtAttr and SQLSetStmtAttr (each also exported as its W name: no
// statement attribute is a text), the ODBC 2 SQLGetStmtOption,
// SQLSetStmtOption and SQLSetScrollOptions, and the statement-attribute
// store that SQLSetConnectAttr shares for its defaults statement.
//
// Attributes of the row and parameter arrays live in the current
// descriptors (the ARD for row binding, the APD for parameter binding, the
// IRD and IPD for the status arrays), so SQLSetStmtAttr and SQLSetDescField
// see the same values.
#include "odbc/answer.h"
#include "odbc/handle_ops.h"
#include "odbc/info.h"
#include "odbc/odbc_api.h"
#include "odbc/state.h"
#include "odbc/stmt_attr.h"

namespace {

SQLRETURN post_odbc2(ErrorHeader *diag, const char *state, const char *message) {
    SetReturnCode(diag, SQL_ERROR);
    PostError(diag, 2, 0, 0, 0, 0, "ODBC 2.0", state, "%s", message);
    return SQL_ERROR;
}

// The answer for `attribute`, or SQL_ERROR after posting HY096.
SQLRETURN stmt_attr_answer(STMT *s, SQLINTEGER attribute, Answer &a) {
    const StmtAttributes &t = s->attrs;
    auto num = [&](int64_t v) {
        a = answer_int(AnswerKind::Int64, v);
        return SQL_SUCCESS;
    };
    auto ptr = [&](const void *p) {
        a = answer_ptr(p);
        return SQL_SUCCESS;
    };
    switch (attribute) {
        case SQL_ATTR_QUERY_TIMEOUT: return num(static_cast<int64_t>(t.query_timeout));
        case SQL_ATTR_MAX_ROWS: return num(static_cast<int64_t>(t.max_rows));
        case SQL_ATTR_NOSCAN: return num(t.noscan);
        case SQL_ATTR_MAX_LENGTH: return num(static_cast<int64_t>(t.max_length));
        case SQL_ATTR_ASYNC_ENABLE: return num(s->async_enable);
        case SQL_ATTR_ROW_BIND_TYPE: return num(s->ard->header.bind_type);
        case SQL_ATTR_CURSOR_TYPE: return num(t.cursor_type);
        case SQL_ATTR_CONCURRENCY: return num(t.concurrency);
        case SQL_ATTR_KEYSET_SIZE: return num(static_cast<int64_t>(t.keyset_size));
        case SQL_ROWSET_SIZE: return num(static_cast<int64_t>(s->ard->header.rowset_size));
        case SQL_ATTR_SIMULATE_CURSOR: return num(t.simulate_cursor);
        case SQL_ATTR_RETRIEVE_DATA: return num(t.retrieve_data);
        case SQL_ATTR_USE_BOOKMARKS: return num(t.use_bookmarks);
        case SQL_ATTR_ROW_NUMBER: return num(static_cast<int64_t>(t.row_number));
        case SQL_ATTR_ENABLE_AUTO_IPD: return num(t.enable_auto_ipd);
        case SQL_ATTR_FETCH_BOOKMARK_PTR: return ptr(t.fetch_bookmark);
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR: return ptr(s->apd->header.bind_offset);
        case SQL_ATTR_PARAM_BIND_TYPE: return num(s->apd->header.bind_type);
        case SQL_ATTR_PARAM_OPERATION_PTR: return ptr(s->apd->header.array_status);
        case SQL_ATTR_PARAM_STATUS_PTR: return ptr(s->ipd->header.array_status);
        case SQL_ATTR_PARAMS_PROCESSED_PTR: return ptr(s->ipd->header.rows_processed);
        case SQL_ATTR_PARAMSET_SIZE: return num(static_cast<int64_t>(s->apd->header.array_size));
        case SQL_ATTR_ROW_BIND_OFFSET_PTR: return ptr(s->ard->header.bind_offset);
        case SQL_ATTR_ROW_OPERATION_PTR: return ptr(s->ard->header.array_status);
        case SQL_ATTR_ROW_STATUS_PTR: return ptr(s->ird->header.array_status);
        case SQL_ATTR_ROWS_FETCHED_PTR: return ptr(s->ird->header.rows_processed);
        case SQL_ATTR_ROW_ARRAY_SIZE: return num(static_cast<int64_t>(s->ard->header.array_size));
        case SQL_ATTR_APP_ROW_DESC: return ptr(s->ard);
        case SQL_ATTR_APP_PARAM_DESC: return ptr(s->apd);
        case SQL_ATTR_IMP_ROW_DESC: return ptr(s->ird);
        case SQL_ATTR_IMP_PARAM_DESC: return ptr(s->ipd);
        case SQL_ATTR_METADATA_ID: return num(t.metadata_id);
        case SQL_ATTR_CURSOR_SCROLLABLE: return num(t.cursor_scrollable);
        case SQL_ATTR_CURSOR_SENSITIVITY: return num(t.cursor_sensitivity);
        default: return post_error(s->diag, "HY096", "Information type out of range");
    }
}

// Numbers are written as 64 bits, unless the caller says its buffer is
// narrower (SQL_IS_INTEGER and the like), so a 32-bit buffer is never
// written past its end.
Answer narrowed(Answer a, SQLINTEGER buffer_length) {
    if (a.kind != AnswerKind::Int64) return a;
    if (buffer_length == SQL_IS_INTEGER || buffer_length == SQL_IS_UINTEGER) a.kind = AnswerKind::Int32;
    if (buffer_length == SQL_IS_SMALLINT || buffer_length == SQL_IS_USMALLINT) a.kind = AnswerKind::Int16;
    return a;
}

SQLRETURN get_stmt_attr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER buffer_length, SQLINTEGER *length) {
    STMT *s = as_stmt(handle);
    if (!s) return SQL_INVALID_HANDLE;
    return odbc_guard(s->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(s->diag, 0);
        if (stmt_transition(0, s, SQL_API_SQLGETSTMTATTR, {attribute}) != 0) return SQL_ERROR;
        Answer a{};
        if (stmt_attr_answer(s, attribute, a) != SQL_SUCCESS) return SQL_ERROR;
        SQLLEN full = 0;
        (void)write_answer(narrowed(a, buffer_length), value, 0, &full);
        if (length) *length = static_cast<SQLINTEGER>(full);
        (void)stmt_transition(1, s, SQL_API_SQLGETSTMTATTR, {attribute});
        return SQL_SUCCESS;
    });
}

// Makes `value` (a descriptor handle or null) the statement's current
// application descriptor in `slot`; `implicit` is the statement's own one.
SQLRETURN set_app_desc(STMT *s, ErrorHeader *diag, DESC *&slot, DESC *implicit, SQLPOINTER value) {
    if (!value) {
        slot = implicit;
        return SQL_SUCCESS;
    }
    DESC *d = as_desc(value);
    // Only a descriptor of this connection can describe this statement's
    // buffers; anything else would be used as a record it is not.
    if (!d || d->dbc != s->dbc) return post_error(diag, "HY024", "Invalid attribute value");
    if (d->header.implicit && d != implicit)
        return post_error(diag, "HY017", "Invalid use of a automatically allocated descriptor handle");
    slot = d;
    return SQL_SUCCESS;
}

SQLRETURN positive_size(ErrorHeader *diag, SQLLEN v, SQLULEN &field) {
    // An array of no rows cannot be fetched into or bound from.
    if (v <= 0) return post_error(diag, "HY024", "Invalid attribute value");
    field = static_cast<SQLULEN>(v);
    return SQL_SUCCESS;
}

// SQL_ATTR_CURSOR_SENSITIVITY, kept consistent with the cursor type the way
// setting a cursor type sets its sensitivity (store_stmt_attr): our static
// cursor is the insensitive, read-only one and our keyset-driven cursor the
// sensitive one, which reads each row shown again by its key. So an
// insensitive cursor that was keyset-driven or dynamic becomes static and
// read-only (a scrollable client asking for a keyset-driven cursor and then
// for insensitivity gets rows read once, not one GET per row shown), and a
// sensitive cursor that was static becomes keyset-driven. A forward-only
// cursor reads its rows once whatever is asked and stays as it is. When the
// cursor type or concurrency changes, 01S02 says so.
SQLRETURN set_sensitivity(StmtAttributes &t, ErrorHeader *diag, int32_t sensitivity) {
    t.cursor_sensitivity = sensitivity;
    bool changed = false;
    if (sensitivity == SQL_INSENSITIVE) {
        if (t.cursor_type == SQL_CURSOR_KEYSET_DRIVEN || t.cursor_type == SQL_CURSOR_DYNAMIC) {
            t.cursor_type = SQL_CURSOR_STATIC;
            t.cursor_scrollable = SQL_SCROLLABLE;
            changed = true;
        }
        if (t.concurrency != SQL_CONCUR_READ_ONLY) {
            t.concurrency = SQL_CONCUR_READ_ONLY;
            changed = true;
        }
    } else if (sensitivity == SQL_SENSITIVE && t.cursor_type == SQL_CURSOR_STATIC) {
        t.cursor_type = SQL_CURSOR_KEYSET_DRIVEN;
        changed = true;
    }
    if (!changed) return SQL_SUCCESS;
    SetReturnCode(diag, SQL_SUCCESS_WITH_INFO);
    PostError(diag, 1, 0, 0, 0, 0, "ODBC 3.0", "01S02", "%s", "Option value changed");
    return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN set_stmt_attr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value) {
    STMT *s = as_stmt(handle);
    if (!s) return SQL_INVALID_HANDLE;
    return odbc_guard(s->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(s->diag, 0);
        if (stmt_transition(0, s, SQL_API_SQLSETSTMTATTR, {attribute}) != 0) return SQL_ERROR;
        SQLRETURN rc = store_stmt_attr(s, s->diag, attribute, value);
        if (rc == SQL_ERROR) return rc;
        (void)stmt_transition(1, s, SQL_API_SQLSETSTMTATTR, {attribute});
        return rc;
    });
}

}  // namespace

bool is_connection_stmt_attr(SQLINTEGER attribute) {
    return (attribute >= 0 && attribute <= 3) || (attribute >= 6 && attribute <= 12) ||
           attribute == 15 || attribute == 16 || attribute == 27 || attribute == -1 || attribute == -2;
}

SQLRETURN store_stmt_attr(STMT *s, ErrorHeader *diag, SQLINTEGER attribute, SQLPOINTER value) {
    StmtAttributes &t = s->attrs;
    const auto v = reinterpret_cast<SQLLEN>(value);
    const auto i = static_cast<int32_t>(v);
    // The defaults statement has no descriptors: what lives in them is
    // accepted there and not kept.
    const bool has_descs = s->ard != nullptr;
    switch (attribute) {
        case SQL_ATTR_QUERY_TIMEOUT: t.query_timeout = static_cast<SQLULEN>(v); return SQL_SUCCESS;
        case SQL_ATTR_MAX_ROWS:
            if (v < 0) {
                t.max_rows = 0;
                SetReturnCode(diag, SQL_SUCCESS_WITH_INFO);
                PostError(diag, 1, 0, 0, 0, 0, "ODBC 3.0", "01S02", "%s", "Option value changed");
                return SQL_SUCCESS_WITH_INFO;
            }
            t.max_rows = static_cast<SQLULEN>(v);
            return SQL_SUCCESS;
        case SQL_ATTR_NOSCAN: t.noscan = i; return SQL_SUCCESS;
        case SQL_ATTR_MAX_LENGTH: t.max_length = static_cast<SQLULEN>(v); return SQL_SUCCESS;
        case SQL_ATTR_ASYNC_ENABLE:
            if (v == SQL_ASYNC_ENABLE_ON) {
                SetReturnCode(diag, SQL_ERROR);
                PostError(diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HYC00", "%s", "Optional feature not implemnted");
                return SQL_ERROR;
            }
            return SQL_SUCCESS;
        case SQL_ATTR_ROW_BIND_TYPE:
            if (has_descs) s->ard->header.bind_type = i;
            return SQL_SUCCESS;
        case SQL_ATTR_CURSOR_TYPE:
            t.cursor_type = i;
            if (i == SQL_CURSOR_FORWARD_ONLY || i == SQL_CURSOR_DYNAMIC) {
                t.cursor_scrollable = SQL_NONSCROLLABLE;
                t.concurrency = SQL_CONCUR_READ_ONLY;
                t.cursor_sensitivity = SQL_INSENSITIVE;
            } else if (i == SQL_CURSOR_KEYSET_DRIVEN) {
                t.cursor_scrollable = SQL_SCROLLABLE;
                t.cursor_sensitivity = SQL_SENSITIVE;
            } else if (i == SQL_CURSOR_STATIC) {
                t.cursor_scrollable = SQL_SCROLLABLE;
                t.cursor_sensitivity = SQL_INSENSITIVE;
                t.concurrency = SQL_CONCUR_READ_ONLY;
            }
            return SQL_SUCCESS;
        case SQL_ATTR_CONCURRENCY: t.concurrency = i; return SQL_SUCCESS;
        case SQL_ATTR_KEYSET_SIZE: t.keyset_size = static_cast<SQLULEN>(v); return SQL_SUCCESS;
        case SQL_ROWSET_SIZE:
            if (!has_descs) return SQL_SUCCESS;
            return positive_size(diag, v, s->ard->header.rowset_size);
        case SQL_ATTR_SIMULATE_CURSOR: t.simulate_cursor = i; return SQL_SUCCESS;
        case SQL_ATTR_RETRIEVE_DATA: t.retrieve_data = i; return SQL_SUCCESS;
        case SQL_ATTR_USE_BOOKMARKS: t.use_bookmarks = i; return SQL_SUCCESS;
        case SQL_ATTR_ROW_NUMBER: return SQL_SUCCESS;  // read-only; accepted and ignored
        case SQL_ATTR_ENABLE_AUTO_IPD: t.enable_auto_ipd = i; return SQL_SUCCESS;
        case SQL_ATTR_FETCH_BOOKMARK_PTR: t.fetch_bookmark = value; return SQL_SUCCESS;
        case SQL_ATTR_METADATA_ID: t.metadata_id = i; return SQL_SUCCESS;
        case SQL_ATTR_CURSOR_SCROLLABLE: t.cursor_scrollable = i; return SQL_SUCCESS;
        case SQL_ATTR_CURSOR_SENSITIVITY: return set_sensitivity(t, diag, i);
        case 1227:
        case 1228: return SQL_SUCCESS;  // accepted and ignored
        default: break;
    }
    if (!has_descs) {
        if (attribute == SQL_ATTR_ROW_ARRAY_SIZE) return SQL_SUCCESS;
        return post_error(diag, "HY096", "Information type out of range");
    }
    switch (attribute) {
        case SQL_ATTR_PARAM_BIND_OFFSET_PTR: s->apd->header.bind_offset = static_cast<SQLLEN *>(value); break;
        case SQL_ATTR_PARAM_BIND_TYPE: s->apd->header.bind_type = i; break;
        case SQL_ATTR_PARAM_OPERATION_PTR: s->apd->header.array_status = static_cast<SQLUSMALLINT *>(value); break;
        case SQL_ATTR_PARAM_STATUS_PTR: s->ipd->header.array_status = static_cast<SQLUSMALLINT *>(value); break;
        case SQL_ATTR_PARAMS_PROCESSED_PTR: s->ipd->header.rows_processed = static_cast<SQLULEN *>(value); break;
        case SQL_ATTR_PARAMSET_SIZE: return positive_size(diag, v, s->apd->header.array_size);
        case SQL_ATTR_ROW_BIND_OFFSET_PTR: s->ard->header.bind_offset = static_cast<SQLLEN *>(value); break;
        case SQL_ATTR_ROW_OPERATION_PTR: s->ard->header.array_status = static_cast<SQLUSMALLINT *>(value); break;
        case SQL_ATTR_ROW_STATUS_PTR: s->ird->header.array_status = static_cast<SQLUSMALLINT *>(value); break;
        case SQL_ATTR_ROWS_FETCHED_PTR: s->ird->header.rows_processed = static_cast<SQLULEN *>(value); break;
        case SQL_ATTR_ROW_ARRAY_SIZE: return positive_size(diag, v, s->ard->header.array_size);
        case SQL_ATTR_APP_ROW_DESC: return set_app_desc(s, diag, s->ard, s->implicit_ard, value);
        case SQL_ATTR_APP_PARAM_DESC: return set_app_desc(s, diag, s->apd, s->implicit_apd, value);
        default: return post_error(diag, "HY096", "Information type out of range");
    }
    return SQL_SUCCESS;
}

CV_EXPORT SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                           SQLPOINTER Value, SQLINTEGER BufferLength,
                                           SQLINTEGER *StringLength) {
    return get_stmt_attr(StatementHandle, Attribute, Value, BufferLength, StringLength);
}

CV_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                            SQLPOINTER Value, SQLINTEGER BufferLength,
                                            SQLINTEGER *StringLength) {
    return get_stmt_attr(StatementHandle, Attribute, Value, BufferLength, StringLength);
}

CV_EXPORT SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                           SQLPOINTER Value, SQLINTEGER /*StringLength*/) {
    return set_stmt_attr(StatementHandle, Attribute, Value);
}

CV_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT StatementHandle, SQLINTEGER Attribute,
                                            SQLPOINTER Value, SQLINTEGER /*StringLength*/) {
    return set_stmt_attr(StatementHandle, Attribute, Value);
}

CV_EXPORT SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT StatementHandle, SQLUSMALLINT Option,
                                             SQLPOINTER Value) {
    STMT *s = as_stmt(StatementHandle);
    if (!s) return SQL_INVALID_HANDLE;
    // The bookmark of the current row is column 0 of the result, read as
    // SQLGetData reads it (07009 while bookmarks are off).
    if (Option == SQL_GET_BOOKMARK) return SQLGetData(StatementHandle, 0, SQL_C_LONG, Value, sizeof(SQLINTEGER), nullptr);
    // ODBC 2 options are 32-bit values (pointers stay 64-bit).
    return get_stmt_attr(StatementHandle, Option, Value, SQL_IS_UINTEGER, nullptr);
}

CV_EXPORT SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT StatementHandle, SQLUSMALLINT Option,
                                             SQLULEN Value) {
    return set_stmt_attr(StatementHandle, Option, reinterpret_cast<SQLPOINTER>(Value));
}

CV_EXPORT SQLRETURN SQL_API SQLSetScrollOptions(SQLHSTMT StatementHandle, SQLUSMALLINT Concurrency,
                                                SQLLEN KeysetSize, SQLUSMALLINT RowsetSize) {
    STMT *s = as_stmt(StatementHandle);
    if (!s) return SQL_INVALID_HANDLE;
    SQLULEN cursor = SQL_CURSOR_KEYSET_DRIVEN;
    SQLRETURN checked = odbc_guard(s->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(s->diag, 0);
        // The keyset argument picks the cursor; the information type says
        // which concurrencies that cursor offers.
        SQLUSMALLINT info = SQL_KEYSET_CURSOR_ATTRIBUTES2;
        if (KeysetSize == SQL_SCROLL_STATIC) {
            cursor = SQL_CURSOR_STATIC;
            info = SQL_STATIC_CURSOR_ATTRIBUTES2;
        } else if (KeysetSize == SQL_SCROLL_DYNAMIC) {
            cursor = SQL_CURSOR_DYNAMIC;
        } else if (KeysetSize == SQL_SCROLL_FORWARD_ONLY) {
            cursor = SQL_CURSOR_FORWARD_ONLY;
            info = SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2;
        } else if (KeysetSize < SQL_SCROLL_STATIC ||
                   (KeysetSize > 0 && static_cast<SQLLEN>(RowsetSize) > KeysetSize)) {
            // A keyset smaller than the rowset cannot hold one rowset.
            return post_odbc2(s->diag, "S1107", "Row value out of range");
        }
        if (Concurrency < SQL_CONCUR_READ_ONLY || Concurrency > SQL_CONCUR_VALUES)
            return post_odbc2(s->diag, "S1108", "Concurrency option out of range");
        const uint32_t bits = info_number(info);
        if (!(bits & (1u << (Concurrency - 1)))) return post_odbc2(s->diag, "S1C00", "Driver no capable");
        return SQL_SUCCESS;
    });
    if (checked != SQL_SUCCESS) return checked;
    // Each setting runs the full SQLSetStmtAttr frame (state checks
    // included); the first failure stops the sequence.
    SQLRETURN rc = SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0);
    if (SQL_SUCCEEDED(rc))
        rc = SQLSetStmtAttr(s, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQLULEN{Concurrency}), 0);
    if (SQL_SUCCEEDED(rc) && KeysetSize >= 0)
        rc = SQLSetStmtAttr(s, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(KeysetSize), 0);
    if (SQL_SUCCEEDED(rc))
        rc = SQLSetStmtAttr(s, SQL_ROWSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{RowsetSize}), 0);
    return rc;
}
