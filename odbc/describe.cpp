// SQLNumResultCols, SQLDescribeCol, SQLColAttribute, SQLColAttributes and
// their W forms: answers from the implementation row descriptor.
//
// Character types are reported as their wide counterparts (CHAR as WCHAR,
// VARCHAR as WVARCHAR, LONG VARCHAR as WLONGVARCHAR), with octet lengths
// doubled to match, so Unicode applications bind them as wide text.
#include <cstring>
#include <string>

#include "odbc/call_trace.h"
#include "odbc/odbc_api.h"
#include "odbc/state.h"
#include "odbc/stmt_run.h"
#include "odbc/wide.h"
#include "support/str_buffer.h"

namespace {

constexpr SQLUSMALLINT kFieldIsId = 1212;

int16_t reported_type(int16_t concise) {
    switch (concise) {
    case SQL_CHAR: return SQL_WCHAR;
    case SQL_VARCHAR: return SQL_WVARCHAR;
    case SQL_LONGVARCHAR: return SQL_WLONGVARCHAR;
    default: return concise;
    }
}

// The bookmark column's description (column 0 with bookmarks on).
DescRecord bookmark_record() {
    DescRecord r{};
    r.concise_type = SQL_INTEGER;
    r.type = SQL_INTEGER;
    r.length = 10;
    r.display_size = 10;
    r.precision = 10;
    r.octet_length = 4;
    r.num_prec_radix = 10;
    r.nullable = SQL_NO_NULLS;
    r.unnamed = SQL_UNNAMED;
    r.searchable = SQL_PRED_NONE;
    r.is_unsigned = SQL_FALSE;
    std::snprintf(r.type_name, sizeof r.type_name, "%s", "INTEGER");
    return r;
}

// The record of `column`, or null after posting 07009.
const DescRecord *column_record(STMT *stmt, SQLUSMALLINT column, DescRecord *scratch) {
    if (column == 0) {
        if (stmt->attrs.use_bookmarks == SQL_UB_OFF) {
            (void)post_error(stmt->diag, "07009", "Invalid descriptor index");
            return nullptr;
        }
        // A catalogue result describes its own bookmark column ("BOOKMARK").
        const DescRecord *own = stmt->ird->records ? &stmt->ird->records[0] : nullptr;
        if (own && own->name && *own->name) return own;
        *scratch = bookmark_record();
        return scratch;
    }
    if (column > stmt->ird->record_count) {
        (void)post_error(stmt->diag, "07009", "Invalid descriptor index");
        return nullptr;
    }
    return &stmt->ird->records[column];
}

const char *text_or_empty(const char *t) { return t ? t : ""; }

// Column size and decimal digits by type, as SQLDescribeCol reports them.
void size_and_digits(const DescRecord &r, SQLULEN *size, SQLSMALLINT *digits) {
    switch (r.concise_type) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        *size = static_cast<SQLULEN>(r.precision);
        *digits = r.scale;
        return;
    case SQL_DATE: case SQL_TIME: case SQL_TIMESTAMP:
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: case SQL_TYPE_TIMESTAMP:
        *size = static_cast<SQLULEN>(r.display_size);
        *digits = r.precision;
        return;
    default:
        if (r.concise_type >= SQL_INTERVAL_YEAR && r.concise_type <= SQL_INTERVAL_MINUTE_TO_SECOND) {
            *size = static_cast<SQLULEN>(r.datetime_interval_precision);
            *digits = r.scale;
            return;
        }
        *size = static_cast<SQLULEN>(r.display_size > 0 ? r.display_size : static_cast<SQLLEN>(r.length));
        *digits = r.scale;
    }
}

// SQLDescribeCol's work with the name produced by `put_name(label)` (true
// when cut).
template <typename PutName>
SQLRETURN describe_col(STMT *stmt, SQLUSMALLINT column, SQLSMALLINT capacity, PutName &&put_name,
                       SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits, SQLSMALLINT *nullable) {
    SetupErrorHeader(stmt->diag, 0);
    if (stmt_transition(0, stmt, SQL_API_SQLDESCRIBECOL) != 0) return SQL_ERROR;
    if (capacity < 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    DescRecord scratch;
    const DescRecord *r = column_record(stmt, column, &scratch);
    if (!r) return SQL_ERROR;
    SQLRETURN rc = SQL_SUCCESS;
    if (put_name(text_or_empty(r->label))) rc = post_warning(stmt->diag, "01004", "String data, right truncated");
    if (type) *type = reported_type(r->concise_type);
    SQLULEN s;
    SQLSMALLINT d;
    size_and_digits(*r, &s, &d);
    if (size) *size = s;
    if (digits) *digits = d;
    if (nullable) *nullable = r->nullable;
    return rc;
}

// An answer of SQLColAttribute: a text or a number.
struct FieldAnswer {
    bool is_text;
    std::string text;
    SQLLEN number;
};

// The answer for `field`; false after posting HY091.
bool field_answer(STMT *stmt, const DescRecord &r, SQLUSMALLINT field, FieldAnswer *a) {
    a->is_text = false;
    a->number = 0;
    auto text = [&](const char *t) {
        a->is_text = true;
        a->text = text_or_empty(t);
    };
    switch (field) {
    case SQL_COLUMN_NAME:
    case SQL_DESC_LABEL: text(r.label); break;
    case SQL_DESC_CONCISE_TYPE: a->number = reported_type(r.concise_type); break;
    case SQL_COLUMN_LENGTH:
    case SQL_DESC_LENGTH: a->number = static_cast<SQLLEN>(r.length); break;
    case SQL_COLUMN_PRECISION:
    case SQL_DESC_PRECISION: a->number = r.precision; break;
    case SQL_COLUMN_SCALE:
    case SQL_DESC_SCALE: a->number = r.scale; break;
    case SQL_DESC_DISPLAY_SIZE: a->number = r.display_size; break;
    case SQL_COLUMN_NULLABLE:
    case SQL_DESC_NULLABLE: a->number = r.nullable; break;
    case SQL_DESC_UNSIGNED: a->number = r.is_unsigned ? SQL_TRUE : SQL_FALSE; break;
    case SQL_DESC_FIXED_PREC_SCALE: a->number = r.fixed_prec_scale; break;
    case SQL_DESC_UPDATABLE: a->number = r.updatable; break;
    case SQL_DESC_AUTO_UNIQUE_VALUE: a->number = r.auto_unique_value; break;
    case SQL_DESC_CASE_SENSITIVE: a->number = r.case_sensitive; break;
    case SQL_DESC_SEARCHABLE: a->number = r.searchable; break;
    case SQL_DESC_TYPE_NAME: text(r.type_name); break;
    case SQL_DESC_TABLE_NAME: text(r.table_name); break;
    case SQL_DESC_SCHEMA_NAME: text(r.schema_name); break;
    case SQL_DESC_CATALOG_NAME: text(r.catalog_name); break;
    case SQL_DESC_BASE_COLUMN_NAME: text(r.base_column_name); break;
    case SQL_DESC_BASE_TABLE_NAME: text(r.base_table_name); break;
    case SQL_DESC_LITERAL_PREFIX: text(r.literal_prefix); break;
    case SQL_DESC_LITERAL_SUFFIX: text(r.literal_suffix); break;
    case SQL_DESC_LOCAL_TYPE_NAME: text(r.local_type_name); break;
    case SQL_DESC_NUM_PREC_RADIX: a->number = r.num_prec_radix; break;
    case SQL_DESC_TYPE: a->number = r.type; break;
    case SQL_DESC_NAME: text(r.name); break;
    case SQL_DESC_UNNAMED: a->number = r.unnamed; break;
    case SQL_DESC_OCTET_LENGTH:
        a->number = r.octet_length * (r.concise_type == SQL_CHAR || r.concise_type == SQL_VARCHAR ? 2 : 1);
        break;
    case kFieldIsId: a->number = std::strcmp(text_or_empty(r.base_column_name), "Id") == 0 ? 1 : 0; break;
    default:
        (void)post_error(stmt->diag, "HY091", "Invalid descriptor field identifier");
        return false;
    }
    return true;
}

// SQLColAttribute's work; `put_text(text)` writes a text answer (true when cut).
template <typename PutText>
SQLRETURN col_attribute(STMT *stmt, SQLUSMALLINT column, SQLUSMALLINT field, SQLSMALLINT capacity,
                        PutText &&put_text, SQLLEN *number, bool odbc2) {
    SetupErrorHeader(stmt->diag, 0);
    if (stmt_transition(0, stmt, SQL_API_SQLCOLATTRIBUTE, {field}) != 0) return SQL_ERROR;
    if (capacity < 0) return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
    if (field == 0 || field == SQL_DESC_COUNT) {
        if (number) *number = stmt->ird->record_count;
        return SQL_SUCCESS;
    }
    DescRecord scratch;
    const DescRecord *r = column_record(stmt, column, &scratch);
    if (!r) return SQL_ERROR;
    FieldAnswer a;
    if (!field_answer(stmt, *r, field, &a)) return SQL_ERROR;
    if (!a.is_text) {
        if (odbc2 && field == SQL_COLUMN_TYPE) {
            if (a.number == SQL_TYPE_DATE) a.number = SQL_DATE;
            else if (a.number == SQL_TYPE_TIME) a.number = SQL_TIME;
            else if (a.number == SQL_TYPE_TIMESTAMP) a.number = SQL_TIMESTAMP;
        }
        if (number) *number = a.number;
        return SQL_SUCCESS;
    }
    return put_text(a.text) ? post_warning(stmt->diag, "01004", "String data, right truncated") : SQL_SUCCESS;
}

SQLUSMALLINT odbc3_field(SQLUSMALLINT field) {
    switch (field) {
    case SQL_COLUMN_COUNT: return SQL_DESC_COUNT;
    case SQL_COLUMN_NAME: return SQL_DESC_NAME;
    case SQL_COLUMN_NULLABLE: return SQL_DESC_NULLABLE;
    default: return field;
    }
}

auto narrow_put(SQLPOINTER buffer, SQLSMALLINT capacity, SQLSMALLINT *length) {
    return [=](const std::string &t) {
        return copy_str_buffer(static_cast<char *>(buffer), buffer ? capacity : 0, length, t.c_str()) != 0 &&
               buffer;
    };
}

// Wide texts: capacity and length in bytes (SQLColAttributeW) or characters (SQLDescribeColW).
auto wide_put(SQLPOINTER buffer, SQLSMALLINT capacity, SQLSMALLINT *length, WideUnit unit) {
    return [=](const std::string &t) {
        SQLLEN full = 0;
        bool cut = wide_out(t, static_cast<SQLWCHAR *>(buffer), buffer ? capacity : 0, unit, &full);
        if (length) *length = static_cast<SQLSMALLINT>(full > 32767 ? 32767 : full);
        return cut && buffer;
    };
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT h, SQLSMALLINT *count) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLNUMRESULTCOLS) != 0) return SQL_ERROR;
        if (count) *count = stmt->ird->record_count;
        return SQL_SUCCESS;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT h, SQLUSMALLINT column, SQLCHAR *name, SQLSMALLINT capacity,
                                           SQLSMALLINT *name_length, SQLSMALLINT *type, SQLULEN *size,
                                           SQLSMALLINT *digits, SQLSMALLINT *nullable) {
    // The name buffer is the application's output: traced as empty at entry.
    log_message("describecol", __LINE__, kTraceInfo, "SQLDescribeCol( %h, %i, %s, %i, %p, %p, %p, %p )", h, column,
                "", capacity, name_length, type, size, digits);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("describecol", __LINE__, "SQLDescribeCol", SQL_INVALID_HANDLE);
    return trace_exit("describecol", __LINE__, "SQLDescribeCol", odbc_guard(stmt->diag, [&] {
        auto put = [&](const char *label) {
            return copy_str_buffer(reinterpret_cast<char *>(name), name ? capacity : 0, name_length, label) != 0 &&
                   name;
        };
        return describe_col(stmt, column, capacity, put, type, size, digits, nullable);
    }));
}

CV_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT h, SQLUSMALLINT column, SQLWCHAR *name, SQLSMALLINT capacity,
                                            SQLSMALLINT *name_length, SQLSMALLINT *type, SQLULEN *size,
                                            SQLSMALLINT *digits, SQLSMALLINT *nullable) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        auto put = [&](const char *label) {
            return wide_put(name, capacity, name_length, WideUnit::Chars)(std::string(label));
        };
        return describe_col(stmt, column, capacity, put, type, size, digits, nullable);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                            SQLSMALLINT capacity, SQLSMALLINT *text_length, SQLLEN *number) {
    log_message("colattribute", __LINE__, kTraceInfo, "SQLColAttribute( %h, %u, %u, %p, %i, %p, %p )", h, column,
                field, text, capacity, text_length, number);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("colattribute", __LINE__, "SQLColAttribute", SQL_INVALID_HANDLE);
    bool text_answer = false;
    SQLRETURN rc = odbc_guard(stmt->diag, [&] {
        auto put = narrow_put(text, capacity, text_length);
        return col_attribute(stmt, column, field, capacity,
                             [&](const std::string &t) {
                                 text_answer = true;
                                 return put(t);
                             },
                             number, false);
    });
    if (!SQL_SUCCEEDED(rc)) return trace_exit("colattribute", __LINE__, "SQLColAttribute", rc);
    if (text_answer && text)
        log_message("colattribute", __LINE__, kTraceInfo, "SQLColAttribute() returns %e, CharacterAttributePtr = %s",
                    rc, static_cast<const char *>(text));
    else
        log_message("colattribute", __LINE__, kTraceInfo, "SQLColAttribute() returns %e, NumericAttributePtr = %*I",
                    rc, number);
    return rc;
}

CV_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                             SQLSMALLINT capacity, SQLSMALLINT *text_length, SQLLEN *number) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        return col_attribute(stmt, column, field, capacity, wide_put(text, capacity, text_length, WideUnit::Bytes),
                             number, false);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLColAttributes(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                             SQLSMALLINT capacity, SQLSMALLINT *text_length, SQLLEN *number) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        return col_attribute(stmt, column, odbc3_field(field), capacity, narrow_put(text, capacity, text_length),
                             number, true);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLColAttributesW(SQLHSTMT h, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                              SQLSMALLINT capacity, SQLSMALLINT *text_length, SQLLEN *number) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        return col_attribute(stmt, column, odbc3_field(field), capacity,
                             wide_put(text, capacity, text_length, WideUnit::Bytes), number, true);
    });
}
