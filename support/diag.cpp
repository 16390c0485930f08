// Diagnostics headers and records.
#include "support/diag.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "support/text.h"

struct DiagRecord {
    DiagRecord *next;
    int severity;
    char sqlstate[6];
    char class_origin[16];
    char subclass_origin[16];
    SQLINTEGER native;
    SQLLEN row;
    SQLINTEGER column;
    char *message;  // in the header's records pool
};

namespace {

void copy_fixed(char *dst, size_t cap, const char *src) {
    size_t n = src ? strnlen(src, cap - 1) : 0;
    if (n) std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// Subclass origin by the ODBC rule: SQLSTATEs of class IM or HY, and those
// whose subclass starts with 'S', are ODBC's own; the rest are ISO's.
const char *subclass_origin_of(const char *state) {
    if (std::strncmp(state, "IM", 2) == 0 || std::strncmp(state, "HY", 2) == 0 || state[2] == 'S')
        return "ODBC 3.0";
    return "ISO 9075";
}

const char *class_origin_of(const char *state) {
    if (std::strcmp(state, "IM001") == 0 || std::strcmp(state, "IM002") == 0 ||
        std::strcmp(state, "HYC00") == 0)
        return "ODBC 3.0";
    return "ISO 9075";
}

const DiagRecord *record_at(const ErrorHeader *header, int n) {
    if (!header || n < 1 || n > header->count) return nullptr;
    const DiagRecord *r = header->first;
    while (r && --n > 0) r = r->next;
    return r;
}

int post_va(ErrorHeader *header, int severity, SQLLEN row, SQLINTEGER column, SQLINTEGER native,
            const char *origin, const char *sqlstate, const char *format, va_list ap) {
    if (!header || header->count >= kMaxDiagRecords) return -1;
    if (!header->records_pool) {
        header->records_pool = cv_mem_alloc_handle(header->pool);
        if (!header->records_pool) return -1;
    }
    auto *r = pool_new<DiagRecord>(header->records_pool);
    if (!r) return -1;
    char buf[kMaxDiagMessage + 1];
    int n = std::vsnprintf(buf, sizeof buf, format ? format : "", ap);
    if (n < 0) n = 0;
    size_t len = static_cast<size_t>(n) < kMaxDiagMessage ? static_cast<size_t>(n) : kMaxDiagMessage;
    len = utf8_cut(std::string_view(buf, len), len);
    r->message = cv_mem_strndup(header->records_pool, std::string_view(buf, len));
    if (!r->message) {
        cv_mem_free(r);
        return -1;
    }
    r->severity = severity;
    copy_fixed(r->sqlstate, sizeof r->sqlstate, sqlstate ? sqlstate : "HY000");
    copy_fixed(r->class_origin, sizeof r->class_origin, origin ? origin : class_origin_of(r->sqlstate));
    copy_fixed(r->subclass_origin, sizeof r->subclass_origin, subclass_origin_of(r->sqlstate));
    r->native = native;
    r->row = row ? row : SQL_ROW_NUMBER_UNKNOWN;
    r->column = column ? column : SQL_COLUMN_NUMBER_UNKNOWN;
    if (header->last)
        header->last->next = r;
    else
        header->first = r;
    header->last = r;
    header->count++;
    return 0;
}

// Writes a text field; returns SQL_SUCCESS_WITH_INFO when it was cut.
SQLRETURN put_text(const char *text, SQLPOINTER value, SQLSMALLINT capacity, SQLSMALLINT *length) {
    std::string_view t(text ? text : "");
    if (capacity < 0) return SQL_ERROR;
    if (length) *length = static_cast<SQLSMALLINT>(t.size() > 32767 ? 32767 : t.size());
    if (!value) return SQL_SUCCESS;
    bool cut = copy_text_out(t, static_cast<char *>(value), static_cast<size_t>(capacity));
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

const char *dynamic_function_text(SQLINTEGER code) {
    switch (code) {
        case SQL_DIAG_ALTER_TABLE: return "ALTER TABLE";
        case SQL_DIAG_CREATE_INDEX: return "CREATE INDEX";
        case SQL_DIAG_CREATE_TABLE: return "CREATE TABLE";
        case SQL_DIAG_CREATE_VIEW: return "CREATE VIEW";
        case SQL_DIAG_DELETE_WHERE: return "DELETE WHERE";
        case SQL_DIAG_DROP_INDEX: return "DROP INDEX";
        case SQL_DIAG_DROP_TABLE: return "DROP TABLE";
        case SQL_DIAG_DROP_VIEW: return "DROP VIEW";
        case SQL_DIAG_DYNAMIC_DELETE_CURSOR: return "DYNAMIC DELETE CURSOR";
        case SQL_DIAG_DYNAMIC_UPDATE_CURSOR: return "DYNAMIC UPDATE CURSOR";
        case SQL_DIAG_GRANT: return "GRANT";
        case SQL_DIAG_INSERT: return "INSERT";
        case SQL_DIAG_REVOKE: return "REVOKE";
        case SQL_DIAG_SELECT_CURSOR: return "SELECT CURSOR";
        case SQL_DIAG_UPDATE_WHERE: return "UPDATE WHERE";
        case SQL_DIAG_CALL: return "CALL";
        default: return "";
    }
}

}  // namespace

ErrorHeader *CreateErrorHeader(CvPool *pool, void *env) {
    CvPool *own = cv_mem_alloc_handle(pool);
    if (!own) return nullptr;
    auto *h = pool_new<ErrorHeader>(own);
    if (!h) {
        cv_mem_release_handle(own);
        return nullptr;
    }
    h->pool = own;
    h->env = env;
    h->sqlerror_position = -1;
    return h;
}

void FreeErrorHeader(ErrorHeader *header) {
    if (header) cv_mem_release_handle(header->pool);
}

void SetupErrorHeader(ErrorHeader *header, SQLINTEGER function_code) {
    if (!header) return;
    if (header->count > 0 || header->records_pool) {
        cv_mem_release_handle(header->records_pool);
        header->records_pool = nullptr;
    }
    header->first = header->last = nullptr;
    header->count = 0;
    header->return_code = SQL_SUCCESS;
    header->function_code = function_code;
    header->row_count = 0;
    header->cursor_row_count = 0;
    header->sqlerror_position = -1;
}

void SetReturnCode(ErrorHeader *header, SQLRETURN code) {
    if (!header) return;
    if (code == SQL_ERROR || header->return_code == SQL_SUCCESS) header->return_code = code;
}

int PostError(ErrorHeader *header, int severity, SQLLEN row, SQLINTEGER column,
              SQLINTEGER native, int /*reserved*/, const char *origin, const char *sqlstate,
              const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    int r = post_va(header, severity, row, column, native, origin, sqlstate, format, ap);
    va_end(ap);
    return r;
}

SQLRETURN post_error(ErrorHeader *header, const char *sqlstate, const char *format, ...) {
    SetReturnCode(header, SQL_ERROR);
    va_list ap;
    va_start(ap, format);
    (void)post_va(header, 2, 0, 0, 0, nullptr, sqlstate, format, ap);
    va_end(ap);
    return SQL_ERROR;
}

SQLRETURN post_warning(ErrorHeader *header, const char *sqlstate, const char *format, ...) {
    SetReturnCode(header, SQL_SUCCESS_WITH_INFO);
    va_list ap;
    va_start(ap, format);
    (void)post_va(header, 1, 0, 0, 0, nullptr, sqlstate, format, ap);
    va_end(ap);
    return SQL_SUCCESS_WITH_INFO;
}

void SetErrorCount(ErrorHeader *header, int count) {
    if (!header || count < 0 || count >= header->count) return;
    if (count == 0) {
        header->first = header->last = nullptr;
    } else {
        auto *r = const_cast<DiagRecord *>(record_at(header, count));
        r->next = nullptr;
        header->last = r;
    }
    header->count = count;
}

void set_diag_record_rows(ErrorHeader *header, int from, SQLLEN row) {
    if (!header) return;
    int i = 0;
    for (DiagRecord *r = header->first; r; r = r->next, ++i) {
        if (i >= from && r->row == SQL_ROW_NUMBER_UNKNOWN) r->row = row;
    }
}

void ResetReturnCode(ErrorHeader *header, SQLRETURN code) {
    if (header) header->return_code = code;
}

void set_diag_row_count(ErrorHeader *header, SQLLEN rows) {
    if (header) header->row_count = rows;
}
void set_diag_cursor_row_count(ErrorHeader *header, SQLLEN rows) {
    if (header) header->cursor_row_count = rows;
}
void set_diag_server_name(ErrorHeader *header, const char *name) {
    if (!header) return;
    cv_mem_free(header->server_name);
    header->server_name = cv_mem_strdup(header->pool, name);
}
void set_diag_connection_name(ErrorHeader *header, const char *name) {
    if (!header) return;
    cv_mem_free(header->connection_name);
    header->connection_name = cv_mem_strdup(header->pool, name);
}

int diag_count(const ErrorHeader *header) { return header ? header->count : 0; }
const char *diag_sqlstate(const ErrorHeader *header, int record) {
    const DiagRecord *r = record_at(header, record);
    return r ? r->sqlstate : nullptr;
}
const char *diag_message(const ErrorHeader *header, int record) {
    const DiagRecord *r = record_at(header, record);
    return r ? r->message : nullptr;
}
SQLRETURN diag_return_code(const ErrorHeader *header) {
    return header ? header->return_code : SQL_SUCCESS;
}

SQLRETURN GetDiagRec(const ErrorHeader *header, SQLSMALLINT record, SQLCHAR *sqlstate,
                     SQLINTEGER *native, SQLCHAR *message, SQLSMALLINT capacity,
                     SQLSMALLINT *text_length) {
    if (record < 1 || capacity < 0) return SQL_ERROR;
    const DiagRecord *r = record_at(header, record);
    if (!r) return SQL_NO_DATA;
    if (sqlstate) std::memcpy(sqlstate, r->sqlstate, 6);
    if (native) *native = r->native;
    return put_text(r->message, message, capacity, text_length);
}

bool diag_field_is_text(SQLSMALLINT identifier) {
    switch (identifier) {
        case SQL_DIAG_SQLSTATE:
        case SQL_DIAG_MESSAGE_TEXT:
        case SQL_DIAG_DYNAMIC_FUNCTION:
        case SQL_DIAG_CLASS_ORIGIN:
        case SQL_DIAG_SUBCLASS_ORIGIN:
        case SQL_DIAG_CONNECTION_NAME:
        case SQL_DIAG_SERVER_NAME: return true;
        default: return false;
    }
}

SQLRETURN GetDiagField(const ErrorHeader *header, SQLSMALLINT handle_type, SQLSMALLINT record,
                       SQLSMALLINT identifier, SQLPOINTER value, SQLSMALLINT capacity,
                       SQLSMALLINT *length) {
    if (!header) return SQL_ERROR;
    bool is_stmt = handle_type == SQL_HANDLE_STMT;
    // Header fields.
    switch (identifier) {
        case SQL_DIAG_RETURNCODE:
            if (value) *static_cast<SQLRETURN *>(value) = header->return_code;
            return SQL_SUCCESS;
        case SQL_DIAG_NUMBER:
            if (value) *static_cast<SQLINTEGER *>(value) = header->count;
            return SQL_SUCCESS;
        case SQL_DIAG_ROW_COUNT:
        case SQL_DIAG_CURSOR_ROW_COUNT:
            if (!is_stmt) return SQL_ERROR;
            if (value)
                *static_cast<SQLLEN *>(value) =
                    identifier == SQL_DIAG_ROW_COUNT ? header->row_count : header->cursor_row_count;
            return SQL_SUCCESS;
        case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
            if (!is_stmt) return SQL_ERROR;
            if (value) *static_cast<SQLINTEGER *>(value) = header->function_code;
            return SQL_SUCCESS;
        case SQL_DIAG_DYNAMIC_FUNCTION:
            if (!is_stmt) return SQL_ERROR;
            return put_text(dynamic_function_text(header->function_code), value, capacity, length);
        default: break;
    }
    // Record fields.
    switch (identifier) {
        case SQL_DIAG_SQLSTATE:
        case SQL_DIAG_MESSAGE_TEXT:
        case SQL_DIAG_NATIVE:
        case SQL_DIAG_CLASS_ORIGIN:
        case SQL_DIAG_SUBCLASS_ORIGIN:
        case SQL_DIAG_CONNECTION_NAME:
        case SQL_DIAG_SERVER_NAME:
        case SQL_DIAG_ROW_NUMBER:
        case SQL_DIAG_COLUMN_NUMBER: break;
        default: return SQL_ERROR;
    }
    if (record < 1) return SQL_ERROR;
    const DiagRecord *r = record_at(header, record);
    if (!r) return SQL_NO_DATA;
    switch (identifier) {
        case SQL_DIAG_SQLSTATE: return put_text(r->sqlstate, value, capacity, length);
        case SQL_DIAG_MESSAGE_TEXT: return put_text(r->message, value, capacity, length);
        case SQL_DIAG_CLASS_ORIGIN: return put_text(r->class_origin, value, capacity, length);
        case SQL_DIAG_SUBCLASS_ORIGIN: return put_text(r->subclass_origin, value, capacity, length);
        case SQL_DIAG_CONNECTION_NAME: return put_text(header->connection_name, value, capacity, length);
        case SQL_DIAG_SERVER_NAME: return put_text(header->server_name, value, capacity, length);
        case SQL_DIAG_NATIVE:
            if (value) *static_cast<SQLINTEGER *>(value) = r->native;
            return SQL_SUCCESS;
        case SQL_DIAG_ROW_NUMBER:
            if (!is_stmt) return SQL_ERROR;
            if (value) *static_cast<SQLLEN *>(value) = r->row;
            return SQL_SUCCESS;
        case SQL_DIAG_COLUMN_NUMBER:
            if (!is_stmt) return SQL_ERROR;
            if (value) *static_cast<SQLINTEGER *>(value) = r->column;
            return SQL_SUCCESS;
        default: return SQL_ERROR;
    }
}
