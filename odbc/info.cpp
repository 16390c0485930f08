// SQLGetInfo and SQLGetInfoW, and the 8-bit form DBC_SERVICES offers to
// internal callers.
//
// Texts are copied bounded by the buffer (cut only at whole characters) with
// their full length reported: bytes of UTF-8 in the 8-bit form, bytes of
// UTF-16 in the wide form; a cut text gives 01004 and SQL_SUCCESS_WITH_INFO
// in both. Numbers are written at their width, identical in both forms.
#include "odbc/answer.h"
#include "odbc/conn_attr_value.h"
#include "odbc/info.h"
#include "odbc/odbc_api.h"
#include "odbc/state.h"

namespace {

SQLSMALLINT clamp16(SQLLEN n) { return static_cast<SQLSMALLINT>(n > 32767 ? 32767 : n); }

template <typename Write>
SQLRETURN get_info(DBC *dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity,
                   SQLSMALLINT *length, Write &&write) {
    SetupErrorHeader(dbc->diag, 0);
    if (conn_transition(0, dbc, SQL_API_SQLGETINFO, type) != 0) return SQL_ERROR;
    const InfoEntry *e = info_lookup(type);
    if (!e) return post_error(dbc->diag, "HY096", "Information type out of range");
    Answer a{};
    switch (e->kind) {
        case InfoKind::Int16: a = answer_int(AnswerKind::Int16, e->number); break;
        case InfoKind::Int32: a = answer_int(AnswerKind::Int32, e->number); break;
        case InfoKind::Text: a = answer_text(e->text); break;
        case InfoKind::ConnAttr: a = answer_text(connection_attribute_value(dbc, e->text)); break;
        case InfoKind::Echo:
            // The caller's own value stays in its buffer unchanged.
            if (length) *length = 4;
            return SQL_SUCCESS;
    }
    if (a.kind == AnswerKind::Text && capacity < 0)
        return post_error(dbc->diag, "HY090", "Invalid string or buffer length");
    SQLLEN full = 0;
    const bool cut = write(a, value, capacity, &full);
    if (length) *length = clamp16(full);
    (void)conn_transition(1, dbc, SQL_API_SQLGETINFO, type);
    if (cut) return post_warning(dbc->diag, "01004", "String data, right truncated");
    return SQL_SUCCESS;
}

bool write_narrow(const Answer &a, void *value, SQLLEN cap, SQLLEN *len) {
    return write_answer(a, value, cap, len);
}

bool write_wide(const Answer &a, void *value, SQLLEN cap, SQLLEN *len) {
    return write_answer_wide(a, value, cap, WideUnit::Bytes, len);
}

}  // namespace

SQLRETURN get_info_internal(DBC *dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity,
                            SQLSMALLINT *length) {
    return odbc_guard(dbc->diag, [&] { return get_info(dbc, type, value, capacity, length, write_narrow); });
}

CV_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType,
                                       SQLPOINTER InfoValue, SQLSMALLINT BufferLength,
                                       SQLSMALLINT *StringLength) {
    DBC *dbc = as_dbc(ConnectionHandle);
    if (!dbc) return SQL_INVALID_HANDLE;
    return get_info_internal(dbc, InfoType, InfoValue, BufferLength, StringLength);
}

CV_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType,
                                        SQLPOINTER InfoValue, SQLSMALLINT BufferLength,
                                        SQLSMALLINT *StringLength) {
    DBC *dbc = as_dbc(ConnectionHandle);
    if (!dbc) return SQL_INVALID_HANDLE;
    return odbc_guard(dbc->diag, [&] {
        return get_info(dbc, InfoType, InfoValue, BufferLength, StringLength, write_wide);
    });
}
