// The DBC_SERVICES table. Slots whose subsystem is not in this build answer
// HYC00 on the statement (or -1 where there is no handle to post on), so a
// caller learns at once that the feature is missing.
#include "odbc/catalog_run.h"
#include "odbc/fetch.h"
#include "odbc/handle_ops.h"
#include "odbc/stmt_run.h"
#include "odbc/info.h"

namespace {

constexpr const char *kNotImplemented = "Optional feature not implemnted";

int stmt_missing(STMT *stmt) {
    SetReturnCode(stmt->diag, SQL_ERROR);
    PostError(stmt->diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HYC00", "%s", kNotImplemented);
    return -1;
}

int no_values(DESC *) { return 0; }
int missing_stmt(STMT *stmt) { return stmt_missing(stmt); }
int missing_tree(STMT *stmt, void *) { return stmt_missing(stmt); }
int missing_text(STMT *stmt, const char *) { return stmt_missing(stmt); }
const char *no_parse_error(STMT *) { return ""; }
int missing_long_extract(void *, void *, SQLLEN, SQLLEN *) { return -1; }
int missing_long_rewind(void *) { return -1; }
int free_descriptor_slot(DESC *desc) { return free_descriptor(desc); }
int release_statement_slot(STMT *stmt) { return release_statement_resources(stmt); }

}  // namespace

SQLRETURN not_implemented(ErrorHeader *diag) {
    SetReturnCode(diag, SQL_ERROR);
    PostError(diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HYC00", "%s", kNotImplemented);
    return SQL_ERROR;
}

void fill_services(DbcServices *s) {
    *s = DbcServices{
        .reset_descriptor_records = reset_descriptor_records,
        .init_descriptor_header = init_descriptor_header,
        .alloc_descriptor = alloc_descriptor,
        .init_statement_attributes = init_statement_attributes,
        .load_first_unit = missing_stmt,
        .validate_tree = missing_tree,
        .free_parse_context = stmt_free_engine,
        .last_parse_error = no_parse_error,
        .parse_text = missing_text,
        .create_parse_context = missing_stmt,
        .release_statement = release_statement_slot,
        .free_descriptor = free_descriptor_slot,
        .release_descriptor_values = no_values,
        .close_results = stmt_close_results,
        .fetch = engine_fetch,
        .convert_column = convert_column_slot,
        .execute = missing_stmt,
        .engine_entry = {missing_tree, missing_tree, missing_tree, missing_tree, missing_tree},
        .tables_empty = catalog_service_tables,
        .column_privileges = catalog_service_column_privileges,
        .columns = catalog_service_columns,
        .statistics = catalog_service_statistics,
        .table_privileges = catalog_service_table_privileges,
        .tables_view = catalog_service_views,
        .get_info = get_info_internal,
        .engine_extra = missing_tree,
        .rowset_entry = missing_tree,
        .extract_from_long_buffer = missing_long_extract,
        .rewind_long_buffer = missing_long_rewind,
        .validation_entry = {missing_tree, missing_tree},
    };
}
