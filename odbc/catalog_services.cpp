// The catalogue slots of the connection services table: the same listings
// as the exported functions, run on internal statements without state
// transitions.
#include <initializer_list>

#include "odbc/catalog_run.h"

namespace {

CatalogCall call_of(CatalogFunction f, std::initializer_list<const char *> texts) {
    CatalogCall c{};
    c.function = f;
    c.provider_index = -1;
    for (DalText &t : c.texts) t = DalText{nullptr, SQL_NTS};
    size_t i = 0;
    for (const char *t : texts) c.texts[i++] = dal_text(t);
    return c;
}

}  // namespace

SQLRETURN catalog_service_tables(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                 const char *types) {
    return catalog_run_internal(stmt, call_of(CatalogFunction::kTables, {catalog, schema, table, types}));
}

SQLRETURN catalog_service_views(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                const char *) {
    return catalog_run_internal(stmt, call_of(CatalogFunction::kTables, {catalog, schema, table, "VIEW"}));
}

SQLRETURN catalog_service_column_privileges(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                            const char *column) {
    return catalog_run_internal(stmt, call_of(CatalogFunction::kColumnPrivileges, {catalog, schema, table, column}));
}

SQLRETURN catalog_service_columns(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                  const char *column) {
    return catalog_run_internal(stmt, call_of(CatalogFunction::kColumns, {catalog, schema, table, column}));
}

SQLRETURN catalog_service_statistics(STMT *stmt, const char *catalog, const char *schema, const char *table,
                                     int unique, int reserved) {
    CatalogCall c = call_of(CatalogFunction::kStatistics, {catalog, schema, table});
    c.numbers[0] = unique;
    c.numbers[1] = reserved;
    return catalog_run_internal(stmt, c);
}

SQLRETURN catalog_service_table_privileges(STMT *stmt, const char *catalog, const char *schema, const char *table) {
    return catalog_run_internal(stmt, call_of(CatalogFunction::kTablePrivileges, {catalog, schema, table}));
}
