// SQIProcedures and SQIProcedureColumns: the PayPal actions and, for each,
// its input parameters (COLUMN_TYPE SQL_PARAM_INPUT, in call order) and its
// result columns (SQL_RESULT_COL), as rows of texts on the iterator. The
// procedures are in catalog PAYPAL, schema DBO, as the tables are; the
// procedure and column arguments are search patterns, as for tables.
//
// Exports: SQIProcedures, SQIProcedureColumns.
#include <sqlext.h>

#include <string>

#include "sqi/procedures.h"
#include "sqi/session.h"
#include "sqi/text_rows.h"

namespace {

bool matches(DalText pattern, const char *name) {
    std::string_view p = dal_text_view(pattern);
    return !pattern.text || p == "%" || catalog_pattern_match(std::string(p), name);
}

TextCell num(long n) { return std::to_string(n); }

const char *type_name(int16_t sql_type) {
    switch (sql_type) {
        case SQL_DECIMAL: return "DECIMAL";
        case SQL_BIT: return "BIT";
        case SQL_TYPE_DATE: return "DATE";
        case SQL_INTEGER: return "INTEGER";
        default: return "VARCHAR";
    }
}

// DATA_TYPE of a date for the application's ODBC version (9 for ODBC 2).
int16_t data_type(int16_t sql_type, int odbc_version) {
    return sql_type == SQL_TYPE_DATE && odbc_version == 2 ? static_cast<int16_t>(SQL_DATE) : sql_type;
}

// Bytes a value of the type takes in the default C type (BUFFER_LENGTH).
long buffer_length(int16_t sql_type, int32_t size) {
    switch (sql_type) {
        case SQL_DECIMAL: return size + 2;
        case SQL_BIT: return 1;
        case SQL_TYPE_DATE: return 6;
        case SQL_INTEGER: return 4;
        default: return size;
    }
}

TextRow column_row(const ProcedureInfo &p, const char *name, int16_t column_type, int16_t sql_type, int32_t size,
                   int16_t scale, bool nullable, const char *remarks, const char *default_text, int ordinal,
                   int odbc_version) {
    const bool text = sql_type == SQL_VARCHAR;
    const bool date = sql_type == SQL_TYPE_DATE;
    return TextRow{
        std::string(kPaypalCatalog),
        std::string(kPaypalSchema),
        std::string(p.name),
        std::string(name),
        num(column_type),
        num(data_type(sql_type, odbc_version)),
        std::string(type_name(sql_type)),
        num(size),
        num(buffer_length(sql_type, size)),
        sql_type == SQL_DECIMAL || sql_type == SQL_INTEGER ? num(scale) : TextCell{},
        sql_type == SQL_DECIMAL || sql_type == SQL_INTEGER ? num(10) : TextCell{},
        num(nullable ? SQL_NULLABLE : SQL_NO_NULLS),
        remarks ? TextCell{remarks} : TextCell{},
        default_text ? TextCell{default_text} : TextCell{},
        num(date ? SQL_DATETIME : sql_type),
        date ? num(SQL_CODE_DATE) : TextCell{},
        text ? num(size) : TextCell{},
        num(ordinal),
        std::string(nullable ? "YES" : "NO"),
    };
}

}  // namespace

int SQIProcedures(void *handle, DalText, DalText, DalText procedure) {
    auto *it = static_cast<PaypalIterator *>(handle);
    std::vector<TextRow> rows;
    for (int i = 0; i < kPaypalProcedureCount; i++) {
        const ProcedureInfo &p = kPaypalProcedures[i].info;
        if (!matches(procedure, p.name)) continue;
        rows.push_back(TextRow{std::string(kPaypalCatalog), std::string(kPaypalSchema), std::string(p.name),
                               num(p.param_count), num(0),
                               num(p.column_count), std::string(p.remarks), num(SQL_PT_PROCEDURE)});
    }
    text_rows_set(it, std::move(rows));
    return DAL_OK;
}

int SQIProcedureColumns(void *handle, DalText, DalText, DalText procedure, DalText column) {
    auto *it = static_cast<PaypalIterator *>(handle);
    const int version = it->env ? it->env->odbc_version : 3;
    std::vector<TextRow> rows;
    for (int i = 0; i < kPaypalProcedureCount; i++) {
        const ProcedureInfo &p = kPaypalProcedures[i].info;
        if (!matches(procedure, p.name)) continue;
        for (int k = 0; k < p.param_count; k++) {
            const ProcedureParam &a = p.params[k];
            if (!matches(column, a.name)) continue;
            rows.push_back(column_row(p, a.name, SQL_PARAM_INPUT, a.sql_type, a.column_size, a.scale, !a.required,
                                      a.remarks, a.default_text, k + 1, version));
        }
        for (int k = 0; k < p.column_count; k++) {
            const ProcedureColumn &c = p.columns[k];
            if (!matches(column, c.name)) continue;
            rows.push_back(column_row(p, c.name, SQL_RESULT_COL, c.sql_type, c.column_size, c.scale, true, nullptr,
                                      nullptr, k + 1, version));
        }
    }
    text_rows_set(it, std::move(rows));
    return DAL_OK;
}
