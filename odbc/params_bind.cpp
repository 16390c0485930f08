// SQLBindParameter, SQLBindParam, SQLSetParam, SQLNumParams,
// SQLDescribeParam, SQLParamOptions, SQLParamData, SQLPutData.
#include "odbc/call_trace.h"
#include "odbc/convert_param.h"
#include "odbc/desc_type.h"
#include "odbc/descriptor.h"
#include "odbc/odbc_api.h"
#include "odbc/params.h"
#include "odbc/run_scope.h"
#include "odbc/state.h"
#include "odbc/stmt_attr.h"
#include "odbc/stmt_run.h"

namespace {

// The size SQLDescribeParam gives long text parameters, in characters.
constexpr SQLULEN kDescribedLongText = 8000;

SQLRETURN bind_parameter(STMT *stmt, SQLUSMALLINT number, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                         SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER value, SQLLEN buffer_length,
                         SQLLEN *indicator) {
    SetupErrorHeader(stmt->diag, 0);
    if (stmt_transition(0, stmt, SQL_API_SQLBINDPARAMETER) != 0) return SQL_ERROR;
    if (number < 1) return post_error(stmt->diag, "07009", "Invalid descriptor index");
    if (!param_c_type_suits(c_type, sql_type))
        return post_error(stmt->diag, "07006", "restricted data type attribute violation");
    DescRecord *a = desc_record_at(stmt->apd, number);
    DescRecord *i = a ? desc_record_at(stmt->ipd, number) : nullptr;
    if (!a || !i) return post_error(stmt->diag, "HY001", "Memory allocation error");
    int version = stmt->env->odbc_version == SQL_OV_ODBC2 ? 2 : 3;
    desc_set_concise_type(a, c_type, version);
    desc_set_concise_type(i, sql_type, version);
    a->length = column_size;
    a->parameter_type = SQL_PARAM_INPUT;
    a->octet_length = buffer_length;
    a->octet_length_ptr = indicator;
    a->indicator_ptr = indicator;
    a->data_ptr = value;
    a->scale = digits;
    i->length = column_size;
    i->precision = static_cast<int16_t>(column_size > 32767 ? 32767 : column_size);
    i->scale = digits;
    i->parameter_type = SQL_PARAM_INPUT;
    i->nullable = SQL_NULLABLE;
    i->value = nullptr;
    stmt->params_bound = 1;
    return SQL_SUCCESS;
}

bool is_datetime(int t) {
    return t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP || t == SQL_DATE || t == SQL_TIME ||
           t == SQL_TIMESTAMP;
}

SQLRETURN describe_param(STMT *stmt, SQLUSMALLINT number, SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits,
                         SQLSMALLINT *nullable) {
    SetupErrorHeader(stmt->diag, 0);
    if (stmt_transition(0, stmt, SQL_API_SQLDESCRIBEPARAM) != 0) return SQL_ERROR;
    auto *run = static_cast<StatementRun *>(stmt->exec_list);
    int count = run && run->query ? query_parameter_count(run->query) : 0;
    if (number < 1 || number > count) return post_error(stmt->diag, "07009", "Invalid descriptor index");
    const QueryParameter *p = nullptr;
    if (query_describe_parameter(run->query, number, &p) != 0 || !p) return SQL_ERROR;
    const ExtendedType &t = p->type;
    int sql = t.sql_type;
    SQLULEN length = 0;
    SQLSMALLINT scale = 0;
    if (sql == SQL_LONGVARCHAR) {
        // A long text's own size (2^31 - 1) would make applications that
        // size buffers from it (array binding) ask for gigabytes.
        sql = SQL_WLONGVARCHAR;
        length = kDescribedLongText;
    } else if (sql == SQL_CHAR || sql == SQL_VARCHAR) {
        // Text parameters take any character: they are described as wide.
        sql = sql == SQL_CHAR ? SQL_WCHAR : SQL_WVARCHAR;
        length = static_cast<SQLULEN>(t.display_size > 0 ? t.display_size : t.column_size) * 2;
    } else if (sql == SQL_NUMERIC || sql == SQL_DECIMAL) {
        length = static_cast<SQLULEN>(t.precision);
        scale = static_cast<SQLSMALLINT>(t.scale);
    } else if (sql == SQL_INTEGER || sql == SQL_SMALLINT || sql == SQL_DOUBLE || sql == SQL_TINYINT ||
               sql == SQL_BIGINT || sql == SQL_FLOAT || sql == SQL_REAL) {
        length = static_cast<SQLULEN>(t.precision);
    } else if (is_datetime(sql)) {
        length = static_cast<SQLULEN>(t.display_size);
        scale = static_cast<SQLSMALLINT>(t.precision);
        if (sql == SQL_TYPE_TIMESTAMP || sql == SQL_TIMESTAMP) scale = static_cast<SQLSMALLINT>(t.scale);
    } else if (sql >= SQL_INTERVAL_YEAR && sql <= SQL_INTERVAL_MINUTE_TO_SECOND) {
        length = static_cast<SQLULEN>(t.interval_precision);
        scale = static_cast<SQLSMALLINT>(t.scale);
    } else {
        length = static_cast<SQLULEN>(t.display_size);
    }
    if (type) *type = static_cast<SQLSMALLINT>(sql);
    if (size) *size = length;
    if (digits) *digits = scale;
    if (nullable) *nullable = static_cast<SQLSMALLINT>(p->type.nullable);
    return SQL_SUCCESS;
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLBindParameter(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT io_type,
                                             SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                                             SQLSMALLINT digits, SQLPOINTER value, SQLLEN buffer_length,
                                             SQLLEN *indicator) {
    log_message("bindparameter", __LINE__, kTraceInfo, "SQLBindParameter( %h, %u, %i, %i, %i, %U, %i, %p, %I, %p )", h,
                number, io_type, c_type, sql_type, static_cast<unsigned long long>(column_size), digits, value,
                static_cast<long long>(buffer_length), indicator);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("bindparameter", __LINE__, "SQLBindParameter", SQL_INVALID_HANDLE);
    // Output parameters are not offered: every parameter is read as input.
    return trace_exit("bindparameter", __LINE__, "SQLBindParameter", odbc_guard(stmt->diag, [&] {
                          return bind_parameter(stmt, number, c_type, sql_type, column_size, digits, value,
                                                buffer_length, indicator);
                      }));
}

CV_EXPORT SQLRETURN SQL_API SQLBindParam(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                                         SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER value,
                                         SQLLEN *indicator) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        return bind_parameter(stmt, number, c_type, sql_type, column_size, digits, value, 0, indicator);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLSetParam(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                                        SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER value,
                                        SQLLEN *indicator) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&] {
        return bind_parameter(stmt, number, c_type, sql_type, column_size, digits, value, -1, indicator);
    });
}

CV_EXPORT SQLRETURN SQL_API SQLNumParams(SQLHSTMT h, SQLSMALLINT *count) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLNUMPARAMS) != 0) return SQL_ERROR;
        auto *run = static_cast<StatementRun *>(stmt->exec_list);
        if (count) *count = static_cast<SQLSMALLINT>(run && run->query ? query_parameter_count(run->query) : 0);
        return SQL_SUCCESS;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLDescribeParam(SQLHSTMT h, SQLUSMALLINT number, SQLSMALLINT *type, SQLULEN *size,
                                             SQLSMALLINT *digits, SQLSMALLINT *nullable) {
    log_message("describeparam", __LINE__, kTraceInfo, "SQLDescribeParam( %h, %i, %p, %p, %p, %p )", h, number, type,
                size, digits, nullable);
    STMT *stmt = as_stmt(h);
    if (!stmt) return trace_exit("describeparam", __LINE__, "SQLDescribeParam", SQL_INVALID_HANDLE);
    return trace_exit("describeparam", __LINE__, "SQLDescribeParam", odbc_guard(stmt->diag, [&] {
                          return describe_param(stmt, number, type, size, digits, nullable);
                      }));
}

CV_EXPORT SQLRETURN SQL_API SQLParamOptions(SQLHSTMT h, SQLULEN rows, SQLULEN *processed) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        SQLRETURN a = store_stmt_attr(stmt, stmt->diag, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows));
        if (a != SQL_SUCCESS && a != SQL_SUCCESS_WITH_INFO) return a;
        SQLRETURN b = store_stmt_attr(stmt, stmt->diag, SQL_ATTR_PARAMS_PROCESSED_PTR, processed);
        if (b == SQL_ERROR) return b;
        return a == SQL_SUCCESS_WITH_INFO || b == SQL_SUCCESS_WITH_INFO ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLParamData(SQLHSTMT h, SQLPOINTER *token) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLPARAMDATA, {1}) != 0) return SQL_ERROR;
        int function = stmt->need_data_function;
        SQLRETURN rc = stmt_param_data(stmt, token);
        if (rc == SQL_NEED_DATA) {
            (void)stmt_transition(1, stmt, SQL_API_SQLPARAMDATA, {1, 1});
        } else if (rc == SQL_ERROR) {
            (void)stmt_transition(1, stmt, SQL_API_SQLPARAMDATA, {0});
            if (function == SQL_API_SQLEXECDIRECT) stmt->prepared = 0;
        } else {
            (void)stmt_transition(1, stmt, SQL_API_SQLPARAMDATA, {1, 0});
        }
        return rc;
    });
}

CV_EXPORT SQLRETURN SQL_API SQLPutData(SQLHSTMT h, SQLPOINTER data, SQLLEN length) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(stmt->diag, 0);
        if (stmt_transition(0, stmt, SQL_API_SQLPUTDATA, {1}) != 0) return SQL_ERROR;
        SQLRETURN rc = stmt_put_data(stmt, data, length);
        (void)stmt_transition(1, stmt, SQL_API_SQLPUTDATA, {rc != SQL_ERROR});
        return rc;
    });
}
