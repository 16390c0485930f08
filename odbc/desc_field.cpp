// SQLGetDescField, SQLGetDescFieldW and SQLSetDescField (also exported as
// SQLSetDescFieldW: no field it sets is a text), and the record array.
//
// Header fields are answered whatever the record number; record fields need
// a populated descriptor and a record within the count. The widths are those
// of 64-bit ODBC: lengths, octet lengths, display sizes and the array size
// are SQLLEN/SQLULEN (8 bytes), so an application's buffer is never left
// with stale upper bytes.
#include <cstring>

#include "odbc/answer.h"
#include "odbc/desc_type.h"
#include "odbc/descriptor.h"
#include "odbc/odbc_api.h"

namespace {

constexpr int kMaxRecords = 32767;

const char *text_or_empty(const char *t) { return t ? t : ""; }

bool is_header_field(SQLSMALLINT field) {
    switch (field) {
        case SQL_DESC_ARRAY_SIZE:
        case SQL_DESC_ARRAY_STATUS_PTR:
        case SQL_DESC_BIND_OFFSET_PTR:
        case SQL_DESC_BIND_TYPE:
        case SQL_DESC_ROWS_PROCESSED_PTR:
        case SQL_DESC_COUNT:
        case SQL_DESC_ALLOC_TYPE: return true;
        default: return false;
    }
}

Answer header_answer(const DESC *d, SQLSMALLINT field) {
    const DescHeader &h = d->header;
    switch (field) {
        case SQL_DESC_ARRAY_SIZE: return answer_int(AnswerKind::Int64, static_cast<int64_t>(h.array_size));
        case SQL_DESC_ARRAY_STATUS_PTR: return answer_ptr(h.array_status);
        case SQL_DESC_BIND_OFFSET_PTR: return answer_ptr(h.bind_offset);
        case SQL_DESC_BIND_TYPE: return answer_int(AnswerKind::Int32, h.bind_type);
        case SQL_DESC_ROWS_PROCESSED_PTR: return answer_ptr(h.rows_processed);
        case SQL_DESC_COUNT: return answer_int(AnswerKind::Int16, d->record_count);
        default: return answer_int(AnswerKind::Int16, h.alloc_type);
    }
}

// The answer for a record field; false for an identifier that is not one.
bool record_answer(const DESC *d, const DescRecord &r, SQLSMALLINT field, Answer &a) {
    using K = AnswerKind;
    switch (field) {
        case SQL_DESC_TYPE: a = answer_int(K::Int16, r.type); return true;
        case SQL_DESC_AUTO_UNIQUE_VALUE: a = answer_int(K::Int32, r.auto_unique_value); return true;
        case SQL_DESC_BASE_COLUMN_NAME: a = answer_text(text_or_empty(r.base_column_name)); return true;
        case SQL_DESC_BASE_TABLE_NAME: a = answer_text(text_or_empty(r.base_table_name)); return true;
        case SQL_DESC_CASE_SENSITIVE: a = answer_int(K::Int32, r.case_sensitive); return true;
        case SQL_DESC_CATALOG_NAME: a = answer_text(text_or_empty(r.catalog_name)); return true;
        case SQL_DESC_CONCISE_TYPE: a = answer_int(K::Int16, r.concise_type); return true;
        case SQL_DESC_DATA_PTR: a = answer_ptr(r.data_ptr); return true;
        case SQL_DESC_DATETIME_INTERVAL_CODE: a = answer_int(K::Int16, r.datetime_interval_code); return true;
        case SQL_DESC_DATETIME_INTERVAL_PRECISION: a = answer_int(K::Int32, r.datetime_interval_precision); return true;
        case SQL_DESC_DISPLAY_SIZE: a = answer_int(K::Int64, r.display_size); return true;
        case SQL_DESC_FIXED_PREC_SCALE: a = answer_int(K::Int16, r.fixed_prec_scale); return true;
        case SQL_DESC_INDICATOR_PTR: a = answer_ptr(r.indicator_ptr); return true;
        case SQL_DESC_LABEL: a = answer_text(text_or_empty(r.label)); return true;
        case SQL_DESC_LENGTH: a = answer_int(K::Int64, static_cast<int64_t>(r.length)); return true;
        case SQL_DESC_LITERAL_PREFIX: a = answer_text(r.literal_prefix); return true;
        case SQL_DESC_LITERAL_SUFFIX: a = answer_text(r.literal_suffix); return true;
        case SQL_DESC_LOCAL_TYPE_NAME: a = answer_text(r.local_type_name); return true;
        case SQL_DESC_NAME: a = answer_text(text_or_empty(r.name)); return true;
        case SQL_DESC_NULLABLE: a = answer_int(K::Int16, r.nullable); return true;
        case SQL_DESC_NUM_PREC_RADIX: a = answer_int(K::Int32, r.num_prec_radix); return true;
        case SQL_DESC_OCTET_LENGTH: {
            // Character columns are delivered as UTF-16, so an implementation
            // descriptor reports two bytes per character. An application
            // descriptor's octet length is the application's own buffer
            // length and is reported as it was set.
            SQLLEN n = r.octet_length;
            if (desc_is_impl(d) && (r.concise_type == SQL_CHAR || r.concise_type == SQL_VARCHAR)) n *= 2;
            a = answer_int(K::Int64, n);
            return true;
        }
        case SQL_DESC_OCTET_LENGTH_PTR: a = answer_ptr(r.octet_length_ptr); return true;
        case SQL_DESC_PARAMETER_TYPE: a = answer_int(K::Int16, r.parameter_type); return true;
        case SQL_DESC_PRECISION: a = answer_int(K::Int16, r.precision); return true;
        case SQL_DESC_SCALE: a = answer_int(K::Int16, r.scale); return true;
        case SQL_DESC_SCHEMA_NAME: a = answer_text(text_or_empty(r.schema_name)); return true;
        case SQL_DESC_SEARCHABLE: a = answer_int(K::Int16, r.searchable); return true;
        case SQL_DESC_TABLE_NAME: a = answer_text(text_or_empty(r.table_name)); return true;
        case SQL_DESC_TYPE_NAME: a = answer_text(r.type_name); return true;
        case SQL_DESC_UNNAMED: a = answer_int(K::Int16, r.unnamed); return true;
        case SQL_DESC_UNSIGNED: a = answer_int(K::Int16, r.is_unsigned); return true;
        case SQL_DESC_UPDATABLE: a = answer_int(K::Int16, r.updatable); return true;
        default: return false;
    }
}

// The answer for (record, field) after the frame's checks: SQL_SUCCESS,
// SQL_NO_DATA (record above the count) or SQL_ERROR after posting.
SQLRETURN field_answer(DESC *d, SQLSMALLINT rec, SQLSMALLINT field, Answer &a) {
    if (rec < 0) return post_error(d->diag, "07009", "Invalid descriptor index");
    if (is_header_field(field)) {
        a = header_answer(d, field);
        return SQL_SUCCESS;
    }
    if (rec > d->record_count) return SQL_NO_DATA;
    if (!d->header.populated) return post_error(d->diag, "HY007", "Associated statement is not prepared");
    const DescRecord *r = desc_record_at(d, 0) ? desc_record_at(d, rec) : nullptr;
    if (!r) return SQL_ERROR;
    if (!record_answer(d, *r, field, a))
        return post_error(d->diag, "HY091", "Invalid descriptor field identifier");
    return SQL_SUCCESS;
}

template <typename Write>
SQLRETURN get_desc_field(SQLHDESC handle, SQLSMALLINT rec, SQLSMALLINT field, SQLINTEGER capacity,
                         SQLINTEGER *length, Write &&write) {
    DESC *d = as_desc(handle);
    if (!d) return SQL_INVALID_HANDLE;
    return odbc_guard(d->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(d->diag, 0);
        if (desc_state_check(d, SQL_API_SQLGETDESCFIELD) != 0) return SQL_ERROR;
        Answer a{};
        SQLRETURN rc = field_answer(d, rec, field, a);
        if (rc != SQL_SUCCESS) return rc;
        if (a.kind == AnswerKind::Text && capacity < 0)
            return post_error(d->diag, "HY090", "Invalid string or buffer length");
        SQLLEN full = 0;
        bool cut = write(a, capacity, &full);
        if (length) *length = static_cast<SQLINTEGER>(full);
        if (cut) return post_warning(d->diag, "01004", "String data, right truncated");
        return SQL_SUCCESS;
    });
}

// Fields an application may write into an IRD; writes of the others are
// ignored.
bool ird_writable(SQLSMALLINT field) {
    switch (field) {
        case SQL_DESC_ARRAY_SIZE:
        case SQL_DESC_ARRAY_STATUS_PTR:
        case SQL_DESC_BIND_OFFSET_PTR:
        case SQL_DESC_BIND_TYPE:
        case SQL_DESC_PARAMETER_TYPE:
        case SQL_DESC_ROWS_PROCESSED_PTR:
        case SQL_DESC_OCTET_LENGTH_PTR:
        case SQL_DESC_INDICATOR_PTR:
        case SQL_DESC_DATA_PTR: return true;
        default: return false;
    }
}

bool record_writable(SQLSMALLINT field) {
    switch (field) {
        case SQL_DESC_CONCISE_TYPE:
        case SQL_DESC_TYPE:
        case SQL_DESC_DATETIME_INTERVAL_PRECISION:
        case SQL_DESC_NUM_PREC_RADIX:
        case SQL_DESC_PARAMETER_TYPE:
        case SQL_DESC_LENGTH:
        case SQL_DESC_OCTET_LENGTH_PTR:
        case SQL_DESC_PRECISION:
        case SQL_DESC_SCALE:
        case SQL_DESC_DATETIME_INTERVAL_CODE:
        case SQL_DESC_INDICATOR_PTR:
        case SQL_DESC_DATA_PTR:
        case SQL_DESC_UNNAMED:
        case SQL_DESC_OCTET_LENGTH: return true;
        default: return false;
    }
}

SQLRETURN set_header_field(DESC *d, SQLSMALLINT field, SQLPOINTER value) {
    const auto v = reinterpret_cast<SQLLEN>(value);
    DescHeader &h = d->header;
    switch (field) {
        case SQL_DESC_ARRAY_SIZE:
            // An array of no rows cannot be fetched into or bound from.
            if (v <= 0) return post_error(d->diag, "HY024", "Invalid attribute value");
            h.array_size = static_cast<SQLULEN>(v);
            return SQL_SUCCESS;
        case SQL_DESC_ARRAY_STATUS_PTR: h.array_status = static_cast<SQLUSMALLINT *>(value); return SQL_SUCCESS;
        case SQL_DESC_BIND_OFFSET_PTR: h.bind_offset = static_cast<SQLLEN *>(value); return SQL_SUCCESS;
        case SQL_DESC_BIND_TYPE: h.bind_type = static_cast<SQLINTEGER>(v); return SQL_SUCCESS;
        case SQL_DESC_ROWS_PROCESSED_PTR: h.rows_processed = static_cast<SQLULEN *>(value); return SQL_SUCCESS;
        default:  // SQL_DESC_COUNT
            if (v < 0 || v > kMaxRecords) return post_error(d->diag, "07009", "Invalid descriptor index");
            return desc_set_count(d, static_cast<int>(v)) == 0 ? SQL_SUCCESS : SQL_ERROR;
    }
}

void set_record_field(DESC *d, DescRecord *r, SQLSMALLINT field, SQLPOINTER value) {
    const auto v = reinterpret_cast<SQLLEN>(value);
    const int version = d->env ? d->env->odbc_version : 3;
    // Changing anything that describes the data makes the old binding
    // meaningless, so the data pointer is dropped (ODBC's consistency rule).
    if (field != SQL_DESC_DATA_PTR && field != SQL_DESC_INDICATOR_PTR &&
        field != SQL_DESC_OCTET_LENGTH_PTR && field != SQL_DESC_UNNAMED)
        r->data_ptr = nullptr;
    switch (field) {
        case SQL_DESC_CONCISE_TYPE: desc_set_concise_type(r, static_cast<int16_t>(v), version); break;
        case SQL_DESC_TYPE: desc_set_verbose_type(r, static_cast<int16_t>(v), version); break;
        case SQL_DESC_DATETIME_INTERVAL_PRECISION: r->datetime_interval_precision = static_cast<int32_t>(v); break;
        case SQL_DESC_NUM_PREC_RADIX: r->num_prec_radix = static_cast<int32_t>(v); break;
        case SQL_DESC_PARAMETER_TYPE: r->parameter_type = static_cast<int16_t>(v); break;
        case SQL_DESC_LENGTH: r->length = static_cast<SQLULEN>(v); break;
        case SQL_DESC_OCTET_LENGTH_PTR: r->octet_length_ptr = static_cast<SQLLEN *>(value); break;
        case SQL_DESC_PRECISION: r->precision = static_cast<int16_t>(v); break;
        case SQL_DESC_SCALE: r->scale = static_cast<int16_t>(v); break;
        case SQL_DESC_DATETIME_INTERVAL_CODE: r->datetime_interval_code = static_cast<int16_t>(v); break;
        case SQL_DESC_INDICATOR_PTR: r->indicator_ptr = static_cast<SQLLEN *>(value); break;
        case SQL_DESC_DATA_PTR: r->data_ptr = value; break;
        case SQL_DESC_UNNAMED: r->unnamed = static_cast<int16_t>(v); break;
        default: r->octet_length = v; break;  // SQL_DESC_OCTET_LENGTH
    }
}

SQLRETURN set_desc_field(SQLHDESC handle, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value) {
    DESC *d = as_desc(handle);
    if (!d) return SQL_INVALID_HANDLE;
    return odbc_guard(d->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(d->diag, 0);
        if (desc_state_check(d, SQL_API_SQLSETDESCFIELD) != 0) return SQL_ERROR;
        if (rec < 0) return post_error(d->diag, "07009", "Invalid descriptor index");
        const bool header = is_header_field(field) && field != SQL_DESC_ALLOC_TYPE;
        if (!header && !record_writable(field))
            return post_error(d->diag, "HY091", "Invalid descriptor field identifier");
        if (d->header.type == DESC_IRD && !ird_writable(field)) return SQL_SUCCESS;
        if (!desc_record_at(d, 0)) return SQL_ERROR;
        if (header) return set_header_field(d, field, value);
        DescRecord *r = desc_record_at(d, rec);
        if (!r) return SQL_ERROR;
        set_record_field(d, r, field, value);
        return SQL_SUCCESS;
    });
}

}  // namespace

DescRecord *desc_record_at(DESC *desc, int rec) {
    if (rec < 0 || rec > kMaxRecords) return nullptr;
    // An IRD gets its record area only when a result is described; a write
    // to its header fields before that still needs record 0.
    if (!desc->record_pool && !(desc->record_pool = cv_mem_alloc_handle(desc->pool))) {
        post_error(desc->diag, "HY001", "Memory allocation error");
        return nullptr;
    }
    if (!desc->records || rec > desc->record_count) {
        const int have = desc->records ? desc->record_count + 1 : 0;
        if (rec + 1 > have) {
            void *p = cv_mem_realloc(desc->record_pool, desc->records,
                                     static_cast<size_t>(rec + 1) * sizeof(DescRecord));
            if (!p) {
                post_error(desc->diag, "HY001", "Memory allocation error");
                return nullptr;
            }
            desc->records = static_cast<DescRecord *>(p);
        }
        if (rec > desc->record_count) desc->record_count = static_cast<int16_t>(rec);
    }
    return &desc->records[rec];
}

int desc_set_count(DESC *desc, int count) {
    if (count > desc->record_count || !desc->records) return desc_record_at(desc, count) ? 0 : -1;
    // Records above the new count are unbound: nothing may be delivered
    // into their old buffers.
    if (count < desc->record_count)
        std::memset(static_cast<void *>(&desc->records[count + 1]), 0,
                    static_cast<size_t>(desc->record_count - count) * sizeof(DescRecord));
    desc->record_count = static_cast<int16_t>(count);
    return 0;
}

int desc_state_check(DESC *desc, int function_id) {
    STMT *stmt = desc->owner;
    if (!stmt) return 0;
    const bool ird = desc->header.type == DESC_IRD;
    const int before = diag_count(stmt->diag);
    const SQLRETURN saved = stmt->diag->return_code;
    if (stmt_transition(0, stmt, function_id, {ird ? 1 : 0}) == 0) return 0;
    // The refusal belongs to the descriptor call: move it there and leave
    // the statement's diagnostics as they were.
    const int after = diag_count(stmt->diag);
    const char *state = after > before ? diag_sqlstate(stmt->diag, after) : "HY010";
    const char *message = after > before ? diag_message(stmt->diag, after) : "Function sequence error";
    SetReturnCode(desc->diag, SQL_ERROR);
    PostError(desc->diag, 2, 0, 0, 0, 0, "ISO 9075", state, "%s", message);
    SetErrorCount(stmt->diag, before);
    stmt->diag->return_code = saved;
    return -1;
}

CV_EXPORT SQLRETURN SQL_API SQLGetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                            SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                            SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return get_desc_field(DescriptorHandle, RecNumber, FieldIdentifier, BufferLength, StringLength,
                          [&](const Answer &a, SQLLEN cap, SQLLEN *len) {
                              return write_answer(a, Value, cap, len);
                          });
}

CV_EXPORT SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                             SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                             SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return get_desc_field(DescriptorHandle, RecNumber, FieldIdentifier, BufferLength, StringLength,
                          [&](const Answer &a, SQLLEN cap, SQLLEN *len) {
                              return write_answer_wide(a, Value, cap, WideUnit::Bytes, len);
                          });
}

CV_EXPORT SQLRETURN SQL_API SQLSetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                            SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                            SQLINTEGER /*BufferLength*/) {
    return set_desc_field(DescriptorHandle, RecNumber, FieldIdentifier, Value);
}

CV_EXPORT SQLRETURN SQL_API SQLSetDescFieldW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber,
                                             SQLSMALLINT FieldIdentifier, SQLPOINTER Value,
                                             SQLINTEGER /*BufferLength*/) {
    return set_desc_field(DescriptorHandle, RecNumber, FieldIdentifier, Value);
}
