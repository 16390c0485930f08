// The catalogue functions: SQLTables, SQLColumns, SQLStatistics,
// SQLPrimaryKeys, SQLForeignKeys, SQLSpecialColumns, SQLTablePrivileges,
// SQLColumnPrivileges, SQLProcedures, SQLProcedureColumns, SQLGetTypeInfo,
// and their W forms. Each turns its arguments into a CatalogCall and runs
// it with catalog_run.
#include <array>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "odbc/catalog_run.h"
#include "odbc/odbc_api.h"
#include "odbc/run_scope.h"
#include "odbc/state.h"
#include "odbc/wide.h"

namespace {

using TextArg = std::pair<const SQLCHAR *, SQLLEN>;
using WideArg = std::pair<const SQLWCHAR *, SQLLEN>;

// The one body of every catalogue call: `count` texts (at most six) and up
// to three numbers.
SQLRETURN run_texts(SQLHSTMT h, int function_id, CatalogFunction function, const TextArg *texts, size_t count,
                    std::array<int32_t, 3> numbers) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    StmtRunScope running(stmt);  // a catalogue call may wait on the service too
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        CatalogCall call{};
        call.function = function;
        call.provider_index = -1;
        for (DalText &t : call.texts) t = DalText{nullptr, SQL_NTS};
        for (size_t i = 0; i < 3; i++) call.numbers[i] = numbers[i];
        if (stmt_is_async(stmt)) return catalog_run(stmt, function_id, call);
        SetupErrorHeader(stmt->diag, 0);
        for (size_t i = 0; i < count; i++)
            if (!catalog_text(stmt, texts[i].first, texts[i].second, &call.texts[i])) return SQL_ERROR;
        return catalog_run(stmt, function_id, call);
    });
}

SQLRETURN run(SQLHSTMT h, int function_id, CatalogFunction function, std::initializer_list<TextArg> texts,
              std::array<int32_t, 3> numbers = {}) {
    return run_texts(h, function_id, function, texts.begin(), texts.size(), numbers);
}

// The W form: every text becomes UTF-8, then the 8-bit call runs.
SQLRETURN run_wide(SQLHSTMT h, int function_id, CatalogFunction function, std::initializer_list<WideArg> texts,
                   std::array<int32_t, 3> numbers = {}) {
    STMT *stmt = as_stmt(h);
    if (!stmt) return SQL_INVALID_HANDLE;
    return odbc_guard(stmt->diag, [&]() -> SQLRETURN {
        std::vector<std::optional<WideIn>> in;
        in.reserve(texts.size());
        for (const WideArg &a : texts) {
            in.emplace_back(std::in_place, a.first, a.second);
            if (!in.back()->ok() && !stmt_is_async(stmt)) {
                SetupErrorHeader(stmt->diag, 0);
                return post_error(stmt->diag, "HY090", "Invalid string or buffer length");
            }
        }
        std::array<TextArg, 6> args{};
        for (size_t i = 0; i < in.size(); i++) args[i] = TextArg{in[i]->get(), SQL_NTS};
        return run_texts(h, function_id, function, args.data(), in.size(), numbers);
    });
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                      SQLSMALLINT schema_len, SQLCHAR *table, SQLSMALLINT table_len, SQLCHAR *types,
                                      SQLSMALLINT types_len) {
    return run(h, SQL_API_SQLTABLES, CatalogFunction::kTables,
               {{cat, cat_len}, {schema, schema_len}, {table, table_len}, {types, types_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                       SQLSMALLINT schema_len, SQLWCHAR *table, SQLSMALLINT table_len,
                                       SQLWCHAR *types, SQLSMALLINT types_len) {
    return run_wide(h, SQL_API_SQLTABLES, CatalogFunction::kTables,
                    {{cat, cat_len}, {schema, schema_len}, {table, table_len}, {types, types_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                       SQLSMALLINT schema_len, SQLCHAR *table, SQLSMALLINT table_len,
                                       SQLCHAR *column, SQLSMALLINT column_len) {
    return run(h, SQL_API_SQLCOLUMNS, CatalogFunction::kColumns,
               {{cat, cat_len}, {schema, schema_len}, {table, table_len}, {column, column_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                        SQLSMALLINT schema_len, SQLWCHAR *table, SQLSMALLINT table_len,
                                        SQLWCHAR *column, SQLSMALLINT column_len) {
    return run_wide(h, SQL_API_SQLCOLUMNS, CatalogFunction::kColumns,
                    {{cat, cat_len}, {schema, schema_len}, {table, table_len}, {column, column_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLStatistics(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                          SQLSMALLINT schema_len, SQLCHAR *table, SQLSMALLINT table_len,
                                          SQLUSMALLINT unique, SQLUSMALLINT reserved) {
    return run(h, SQL_API_SQLSTATISTICS, CatalogFunction::kStatistics,
               {{cat, cat_len}, {schema, schema_len}, {table, table_len}}, {unique, reserved, 0});
}

CV_EXPORT SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                           SQLSMALLINT schema_len, SQLWCHAR *table, SQLSMALLINT table_len,
                                           SQLUSMALLINT unique, SQLUSMALLINT reserved) {
    return run_wide(h, SQL_API_SQLSTATISTICS, CatalogFunction::kStatistics,
                    {{cat, cat_len}, {schema, schema_len}, {table, table_len}}, {unique, reserved, 0});
}

CV_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                           SQLSMALLINT schema_len, SQLCHAR *table, SQLSMALLINT table_len) {
    return run(h, SQL_API_SQLPRIMARYKEYS, CatalogFunction::kPrimaryKeys,
               {{cat, cat_len}, {schema, schema_len}, {table, table_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                            SQLSMALLINT schema_len, SQLWCHAR *table, SQLSMALLINT table_len) {
    return run_wide(h, SQL_API_SQLPRIMARYKEYS, CatalogFunction::kPrimaryKeys,
                    {{cat, cat_len}, {schema, schema_len}, {table, table_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT h, SQLCHAR *pk_cat, SQLSMALLINT pk_cat_len, SQLCHAR *pk_schema,
                                           SQLSMALLINT pk_schema_len, SQLCHAR *pk_table, SQLSMALLINT pk_table_len,
                                           SQLCHAR *fk_cat, SQLSMALLINT fk_cat_len, SQLCHAR *fk_schema,
                                           SQLSMALLINT fk_schema_len, SQLCHAR *fk_table, SQLSMALLINT fk_table_len) {
    return run(h, SQL_API_SQLFOREIGNKEYS, CatalogFunction::kForeignKeys,
               {{pk_cat, pk_cat_len},
                {pk_schema, pk_schema_len},
                {pk_table, pk_table_len},
                {fk_cat, fk_cat_len},
                {fk_schema, fk_schema_len},
                {fk_table, fk_table_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT h, SQLWCHAR *pk_cat, SQLSMALLINT pk_cat_len,
                                            SQLWCHAR *pk_schema, SQLSMALLINT pk_schema_len, SQLWCHAR *pk_table,
                                            SQLSMALLINT pk_table_len, SQLWCHAR *fk_cat, SQLSMALLINT fk_cat_len,
                                            SQLWCHAR *fk_schema, SQLSMALLINT fk_schema_len, SQLWCHAR *fk_table,
                                            SQLSMALLINT fk_table_len) {
    return run_wide(h, SQL_API_SQLFOREIGNKEYS, CatalogFunction::kForeignKeys,
                    {{pk_cat, pk_cat_len},
                     {pk_schema, pk_schema_len},
                     {pk_table, pk_table_len},
                     {fk_cat, fk_cat_len},
                     {fk_schema, fk_schema_len},
                     {fk_table, fk_table_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT h, SQLUSMALLINT identifier, SQLCHAR *cat, SQLSMALLINT cat_len,
                                              SQLCHAR *schema, SQLSMALLINT schema_len, SQLCHAR *table,
                                              SQLSMALLINT table_len, SQLUSMALLINT scope, SQLUSMALLINT nullable) {
    return run(h, SQL_API_SQLSPECIALCOLUMNS, CatalogFunction::kSpecialColumns,
               {{cat, cat_len}, {schema, schema_len}, {table, table_len}}, {identifier, scope, nullable});
}

CV_EXPORT SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT h, SQLUSMALLINT identifier, SQLWCHAR *cat,
                                               SQLSMALLINT cat_len, SQLWCHAR *schema, SQLSMALLINT schema_len,
                                               SQLWCHAR *table, SQLSMALLINT table_len, SQLUSMALLINT scope,
                                               SQLUSMALLINT nullable) {
    return run_wide(h, SQL_API_SQLSPECIALCOLUMNS, CatalogFunction::kSpecialColumns,
                    {{cat, cat_len}, {schema, schema_len}, {table, table_len}}, {identifier, scope, nullable});
}

CV_EXPORT SQLRETURN SQL_API SQLTablePrivileges(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                               SQLSMALLINT schema_len, SQLCHAR *table, SQLSMALLINT table_len) {
    return run(h, SQL_API_SQLTABLEPRIVILEGES, CatalogFunction::kTablePrivileges,
               {{cat, cat_len}, {schema, schema_len}, {table, table_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLTablePrivilegesW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                                SQLSMALLINT schema_len, SQLWCHAR *table, SQLSMALLINT table_len) {
    return run_wide(h, SQL_API_SQLTABLEPRIVILEGES, CatalogFunction::kTablePrivileges,
                    {{cat, cat_len}, {schema, schema_len}, {table, table_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLColumnPrivileges(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                                SQLSMALLINT schema_len, SQLCHAR *table, SQLSMALLINT table_len,
                                                SQLCHAR *column, SQLSMALLINT column_len) {
    return run(h, SQL_API_SQLCOLUMNPRIVILEGES, CatalogFunction::kColumnPrivileges,
               {{cat, cat_len}, {schema, schema_len}, {table, table_len}, {column, column_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLColumnPrivilegesW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                                 SQLSMALLINT schema_len, SQLWCHAR *table, SQLSMALLINT table_len,
                                                 SQLWCHAR *column, SQLSMALLINT column_len) {
    return run_wide(h, SQL_API_SQLCOLUMNPRIVILEGES, CatalogFunction::kColumnPrivileges,
                    {{cat, cat_len}, {schema, schema_len}, {table, table_len}, {column, column_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLProcedures(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                          SQLSMALLINT schema_len, SQLCHAR *proc, SQLSMALLINT proc_len) {
    return run(h, SQL_API_SQLPROCEDURES, CatalogFunction::kProcedures,
               {{cat, cat_len}, {schema, schema_len}, {proc, proc_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLProceduresW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                           SQLSMALLINT schema_len, SQLWCHAR *proc, SQLSMALLINT proc_len) {
    return run_wide(h, SQL_API_SQLPROCEDURES, CatalogFunction::kProcedures,
                    {{cat, cat_len}, {schema, schema_len}, {proc, proc_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT h, SQLCHAR *cat, SQLSMALLINT cat_len, SQLCHAR *schema,
                                                SQLSMALLINT schema_len, SQLCHAR *proc, SQLSMALLINT proc_len,
                                                SQLCHAR *column, SQLSMALLINT column_len) {
    return run(h, SQL_API_SQLPROCEDURECOLUMNS, CatalogFunction::kProcedureColumns,
               {{cat, cat_len}, {schema, schema_len}, {proc, proc_len}, {column, column_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT h, SQLWCHAR *cat, SQLSMALLINT cat_len, SQLWCHAR *schema,
                                                 SQLSMALLINT schema_len, SQLWCHAR *proc, SQLSMALLINT proc_len,
                                                 SQLWCHAR *column, SQLSMALLINT column_len) {
    return run_wide(h, SQL_API_SQLPROCEDURECOLUMNS, CatalogFunction::kProcedureColumns,
                    {{cat, cat_len}, {schema, schema_len}, {proc, proc_len}, {column, column_len}});
}

CV_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT h, SQLSMALLINT data_type) {
    return run(h, SQL_API_SQLGETTYPEINFO, CatalogFunction::kTypeInfo, {}, {data_type, 0, 0});
}

CV_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT h, SQLSMALLINT data_type) {
    return SQLGetTypeInfo(h, data_type);
}
