// Cursor names: SQLGetCursorName, SQLSetCursorName and their W forms.
//
// Names are at most 18 bytes and unique among the statements of one
// connection; names beginning "SQLCUR" or "SQL_CUR" are reserved for the
// generated ones ("SQL_CUR" and eight hex digits).
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "odbc/odbc_api.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "odbc/wide.h"
#include "support/str_buffer.h"

namespace {

std::atomic<uint32_t> name_counter{0};

bool name_taken(const STMT *self, const char *name) {
    for (const STMT *s = self->dbc->statement_list; s; s = s->next_statement) {
        const auto *run = static_cast<const StatementRun *>(s->exec_list);
        if (s != self && s->has_cursor_name && run && std::strcmp(run->cursor_name, name) == 0) return true;
    }
    return false;
}

// The statement's name, generating one when it has none. Null after HY001.
const char *cursor_name(STMT *stmt) {
    StatementRun *run = run_of(stmt);
    if (!run) return nullptr;
    if (!stmt->has_cursor_name || !run->cursor_name[0]) {
        do {
            std::snprintf(run->cursor_name, sizeof run->cursor_name, "SQL_CUR%08X", ++name_counter);
        } while (name_taken(stmt, run->cursor_name));
        stmt->has_cursor_name = 1;
        run->generated_name = 1;
    }
    return run->cursor_name;
}

template <typename Put>
SQLRETURN get_cursor_name(STMT *stmt, bool buffer_null, SQLSMALLINT capacity, Put &&put) {
    SetupErrorHeader(stmt->diag, 0);
    if (capacity < 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    (void)buffer_null;
    if (stmt_transition(0, stmt, SQL_API_SQLGETCURSORNAME) != 0) return SQL_ERROR;
    const char *name = cursor_name(stmt);
    if (!name) return SQL_ERROR;
    return put(name) ? post_warning(stmt->diag, "01004", "String data, right truncated") : SQL_SUCCESS;
}

SQLRETURN set_cursor_name(STMT *stmt, const char *name, SQLSMALLINT length) {
    SetupErrorHeader(stmt->diag, 0);
    if (!name) return post_error(stmt->diag, "HY009", "Invalid use of null pointer");
    if (length < 0 && length != SQL_NTS) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    if (stmt_transition(0, stmt, SQL_API_SQLSETCURSORNAME) != 0) return SQL_ERROR;
    size_t n = length == SQL_NTS ? strnlen(name, kMaxCursorName + 1) : static_cast<size_t>(length);
    if (n == 0 || n > static_cast<size_t>(kMaxCursorName) || std::strncmp(name, "SQLCUR", 6) == 0 ||
        std::strncmp(name, "SQL_CUR", 7) == 0 || std::memchr(name, 0, n))
        return post_error(stmt->diag, "34000", "Invalid cursor name");
    StatementRun *run = run_of(stmt);
    if (!run) return SQL_ERROR;
    char wanted[kMaxCursorName + 1];
    std::memcpy(wanted, name, n);
    wanted[n] = 0;
    if (name_taken(stmt, wanted)) return post_error(stmt->diag, "3C000", "Duplicate cursor name");
    std::memcpy(run->cursor_name, wanted, n + 1);
    run->generated_name = 0;
    stmt->has_cursor_name = 1;
    return SQL_SUCCESS;
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT h, SQLCHAR *buffer, SQLSMALLINT capacity, SQLSMALLINT *length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        return get_cursor_name(stmt, !buffer, capacity, [&](const char *name) {
            return copy_str_buffer(reinterpret_cast<char *>(buffer), buffer ? capacity : 0, length, name) != 0 &&
                   buffer;
        });
    });
}

CV_EXPORT SQLRETURN SQL_API SQLGetCursorNameW(SQLHSTMT h, SQLWCHAR *buffer, SQLSMALLINT capacity,
                                              SQLSMALLINT *length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        return get_cursor_name(stmt, !buffer, capacity, [&](const char *name) {
            SQLLEN full = 0;
            bool cut = wide_out(name, buffer, buffer ? capacity : 0, WideUnit::Chars, &full);
            if (length) *length = static_cast<SQLSMALLINT>(full);
            return cut && buffer;
        });
    });
}

CV_EXPORT SQLRETURN SQL_API SQLSetCursorName(SQLHSTMT h, SQLCHAR *name, SQLSMALLINT length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] { return set_cursor_name(stmt, reinterpret_cast<const char *>(name), length); });
}

CV_EXPORT SQLRETURN SQL_API SQLSetCursorNameW(SQLHSTMT h, SQLWCHAR *name, SQLSMALLINT length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        WideIn in(name, length);
        if (!in.ok()) {
            SetupErrorHeader(stmt->diag, 0);
            return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
        }
        return set_cursor_name(stmt, reinterpret_cast<const char *>(in.get()),
                               in.is_null() ? 0 : static_cast<SQLSMALLINT>(in.str().size() > 32767 ? 32767
                                                                                             : in.str().size()));
    });
}
