// SQLGetDescRec, SQLGetDescRecW, SQLSetDescRec and SQLCopyDesc.
//
// SQLGetDescRec presents character columns as their wide types (the driver
// delivers text as UTF-16): concise types 1, 12 and -1 are reported as -8,
// -9 and -10 and the length of the first two counts two bytes a character.
#include "odbc/answer.h"
#include "odbc/desc_type.h"
#include "odbc/descriptor.h"
#include "odbc/odbc_api.h"
#include "support/trace.h"

namespace {

SQLSMALLINT wide_type(int16_t concise) {
    switch (concise) {
        case SQL_CHAR: return SQL_WCHAR;
        case SQL_VARCHAR: return SQL_WVARCHAR;
        case SQL_LONGVARCHAR: return SQL_WLONGVARCHAR;
        default: return concise;
    }
}

template <typename WriteName>
SQLRETURN get_desc_rec(SQLHDESC handle, SQLSMALLINT rec, SQLSMALLINT capacity, SQLSMALLINT *name_length,
                       SQLSMALLINT *type, SQLSMALLINT *subtype, SQLLEN *length, SQLSMALLINT *precision,
                       SQLSMALLINT *scale, SQLSMALLINT *nullable, WriteName &&write_name) {
    DESC *d = as_desc(handle);
    if (!d) return SQL_INVALID_HANDLE;
    return odbc_guard(d->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(d->diag, 0);
        if (desc_state_check(d, SQL_API_SQLGETDESCREC) != 0) return SQL_ERROR;
        if (rec < 0) return post_error(d->diag, "07009", "Invalid descriptor index");
        if (rec > d->record_count) return SQL_NO_DATA;
        if (!d->header.populated)
            return post_error(d->diag, "HY007", "Associated statement is not prepared");
        if (capacity < 0) return post_error(d->diag, "HY090", "Invalid string or buffer length");
        if (!desc_record_at(d, 0)) return SQL_ERROR;
        const DescRecord &r = *desc_record_at(d, rec);
        SQLLEN full = 0;
        const bool cut = write_name(answer_text(r.name ? r.name : ""), capacity, &full);
        if (name_length) *name_length = static_cast<SQLSMALLINT>(full > 32767 ? 32767 : full);
        if (type) *type = wide_type(r.concise_type);
        if (subtype) *subtype = r.datetime_interval_code;
        if (length) {
            const bool doubled = r.concise_type == SQL_CHAR || r.concise_type == SQL_VARCHAR;
            *length = doubled ? r.display_size * 2 : r.display_size;
        }
        if (precision) *precision = r.precision;
        if (scale) *scale = r.scale;
        if (nullable) *nullable = r.nullable;
        if (cut) return post_warning(d->diag, "01004", "String data, right truncated");
        return SQL_SUCCESS;
    });
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLGetDescRec(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                          SQLCHAR *Name, SQLSMALLINT BufferLength,
                                          SQLSMALLINT *StringLength, SQLSMALLINT *Type,
                                          SQLSMALLINT *SubType, SQLLEN *Length,
                                          SQLSMALLINT *Precision, SQLSMALLINT *Scale,
                                          SQLSMALLINT *Nullable) {
    return get_desc_rec(DescriptorHandle, RecNumber, BufferLength, StringLength, Type, SubType,
                        Length, Precision, Scale, Nullable,
                        [&](const Answer &a, SQLLEN cap, SQLLEN *len) {
                            return write_answer(a, Name, cap, len);
                        });
}

CV_EXPORT SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                           SQLWCHAR *Name, SQLSMALLINT BufferLength,
                                           SQLSMALLINT *StringLength, SQLSMALLINT *Type,
                                           SQLSMALLINT *SubType, SQLLEN *Length,
                                           SQLSMALLINT *Precision, SQLSMALLINT *Scale,
                                           SQLSMALLINT *Nullable) {
    // The name buffer and its length count characters.
    return get_desc_rec(DescriptorHandle, RecNumber, BufferLength, StringLength, Type, SubType,
                        Length, Precision, Scale, Nullable,
                        [&](const Answer &a, SQLLEN cap, SQLLEN *len) {
                            return write_answer_wide(a, Name, cap, WideUnit::Chars, len);
                        });
}

CV_EXPORT SQLRETURN SQL_API SQLSetDescRec(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                          SQLSMALLINT Type, SQLSMALLINT SubType, SQLLEN Length,
                                          SQLSMALLINT Precision, SQLSMALLINT Scale,
                                          SQLPOINTER Data, SQLLEN *StringLength,
                                          SQLLEN *Indicator) {
    DESC *d = as_desc(DescriptorHandle);
    if (!d) return SQL_INVALID_HANDLE;
    return odbc_guard(d->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(d->diag, 0);
        if (desc_state_check(d, SQL_API_SQLGETDESCFIELD) != 0) return SQL_ERROR;
        if (RecNumber < 0) return post_error(d->diag, "07009", "Invalid descriptor index");
        if (!desc_record_at(d, 0)) return SQL_ERROR;
        DescRecord *r = desc_record_at(d, RecNumber);
        if (!r) return SQL_ERROR;
        // The subtype is needed before the type (it picks the concise
        // datetime or interval code) and again after (the type setter
        // resets it for other types).
        r->datetime_interval_code = SubType;
        desc_set_verbose_type(r, Type, d->env ? d->env->odbc_version : 3);
        r->datetime_interval_code = SubType;
        r->octet_length = Length;
        r->precision = Precision;
        r->scale = Scale;
        r->data_ptr = Data;
        r->octet_length_ptr = StringLength;
        r->indicator_ptr = Indicator;
        return SQL_SUCCESS;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLCopyDesc(SQLHDESC SourceDescHandle, SQLHDESC TargetDescHandle) {
    log_message("copydesc", __LINE__, kTraceInfo, "SQLCopyDesc( %h, %h )", SourceDescHandle,
                TargetDescHandle);
    DESC *source = as_desc(SourceDescHandle);
    DESC *target = as_desc(TargetDescHandle);
    if (!source || !target) {
        log_message("copydesc", __LINE__, kTraceFailure, "SQLCopyDesc() returns %e", SQL_INVALID_HANDLE);
        return SQL_INVALID_HANDLE;
    }
    log_message("copydesc", __LINE__, kTraceFailure, "SQLCopyDesc() returns %e", SQL_ERROR);
    return odbc_guard(source->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(source->diag, 0);
        SetupErrorHeader(target->diag, 0);
        // Copying descriptors is not offered: both handles say so.
        post_error(source->diag, "HY000", "General error: %s", "SQLCopyDesc not implemented");
        if (target != source)
            post_error(target->diag, "HY000", "General error: %s", "SQLCopyDesc not implemented");
        return SQL_ERROR;
    });
}
