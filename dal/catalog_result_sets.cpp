// The column tables and sort keys of the ODBC catalogue result sets, and the
// dispatch of a catalogue call to its DAL operation.
#include "dal/catalog_listing.h"

namespace {

constexpr int32_t N = SQL_NULLABLE;
constexpr int32_t R = SQL_NO_NULLS;
constexpr int32_t V = SQL_VARCHAR;
constexpr int32_t S = SQL_SMALLINT;
constexpr int32_t I = SQL_INTEGER;
constexpr int32_t kText = 254;

constexpr CatalogColumnDef kTables[] = {
    {"TABLE_CAT", V, kText, N}, {"TABLE_SCHEM", V, kText, N}, {"TABLE_NAME", V, kText, R},
    {"TABLE_TYPE", V, kText, R}, {"REMARKS", V, kText, N},
};
constexpr int32_t kTablesKeys[] = {4, 1, 2, 3};

constexpr CatalogColumnDef kColumns[] = {
    {"TABLE_CAT", V, kText, N},      {"TABLE_SCHEM", V, kText, N},    {"TABLE_NAME", V, kText, R},
    {"COLUMN_NAME", V, kText, R},    {"DATA_TYPE", S, 0, R},          {"TYPE_NAME", V, kText, R},
    {"COLUMN_SIZE", I, 0, N},        {"BUFFER_LENGTH", I, 0, N},      {"DECIMAL_DIGITS", S, 0, N},
    {"NUM_PREC_RADIX", S, 0, N},     {"NULLABLE", S, 0, R},           {"REMARKS", V, kText, N},
    {"COLUMN_DEF", V, kText, N},     {"SQL_DATA_TYPE", S, 0, R},      {"SQL_DATETIME_SUB", S, 0, N},
    {"CHAR_OCTET_LENGTH", I, 0, N},  {"ORDINAL_POSITION", I, 0, R},   {"IS_NULLABLE", V, kText, N},
};
constexpr int32_t kColumnsKeys[] = {1, 2, 3, 17};

constexpr CatalogColumnDef kStatistics[] = {
    {"TABLE_CAT", V, kText, N},      {"TABLE_SCHEM", V, kText, N},   {"TABLE_NAME", V, kText, R},
    {"NON_UNIQUE", S, 0, N},         {"INDEX_QUALIFIER", V, kText, N}, {"INDEX_NAME", V, kText, N},
    {"TYPE", S, 0, R},               {"ORDINAL_POSITION", S, 0, N},  {"COLUMN_NAME", V, kText, N},
    {"ASC_OR_DESC", SQL_CHAR, 1, N}, {"CARDINALITY", I, 0, N},       {"PAGES", I, 0, N},
    {"FILTER_CONDITION", V, kText, N},
};
constexpr int32_t kStatisticsKeys[] = {4, 7, 5, 6, 8};

constexpr CatalogColumnDef kPrimaryKeys[] = {
    {"TABLE_CAT", V, kText, N},   {"TABLE_SCHEM", V, kText, N}, {"TABLE_NAME", V, kText, R},
    {"COLUMN_NAME", V, kText, R}, {"KEY_SEQ", S, 0, R},         {"PK_NAME", V, kText, R},
};
constexpr int32_t kPrimaryKeysKeys[] = {1, 2, 3, 5};

constexpr CatalogColumnDef kForeignKeys[] = {
    {"PKTABLE_CAT", V, kText, N},   {"PKTABLE_SCHEM", V, kText, N}, {"PKTABLE_NAME", V, kText, R},
    {"PKCOLUMN_NAME", V, kText, R}, {"FKTABLE_CAT", V, kText, N},   {"FKTABLE_SCHEM", V, kText, N},
    {"FKTABLE_NAME", V, kText, R},  {"FKCOLUMN_NAME", V, kText, R}, {"KEY_SEQ", S, 0, R},
    {"UPDATE_RULE", S, 0, N},       {"DELETE_RULE", S, 0, N},       {"FK_NAME", V, kText, N},
    {"PK_NAME", V, kText, N},       {"DEFERRABILITY", S, 0, N},
};
constexpr int32_t kForeignKeysByFk[] = {5, 6, 7, 9};
constexpr int32_t kForeignKeysByPk[] = {1, 2, 3, 9};

constexpr CatalogColumnDef kSpecialColumns[] = {
    {"SCOPE", S, 0, N},         {"COLUMN_NAME", V, kText, R},   {"DATA_TYPE", S, 0, R},
    {"TYPE_NAME", V, kText, R}, {"COLUMN_SIZE", I, 0, N},        {"BUFFER_LENGTH", I, 0, N},
    {"DECIMAL_DIGITS", S, 0, N}, {"PSEUDO_COLUMN", S, 0, N},
};
constexpr int32_t kSpecialColumnsKeys[] = {1};

constexpr CatalogColumnDef kTablePrivileges[] = {
    {"TABLE_CAT", V, kText, N}, {"TABLE_SCHEM", V, kText, N}, {"TABLE_NAME", V, kText, R},
    {"GRANTOR", V, kText, N},   {"GRANTEE", V, kText, R},     {"PRIVILEGE", V, kText, R},
    {"IS_GRANTABLE", V, kText, N},
};
constexpr int32_t kTablePrivilegesKeys[] = {1, 2, 3, 6};

constexpr CatalogColumnDef kColumnPrivileges[] = {
    {"TABLE_CAT", V, kText, N}, {"TABLE_SCHEM", V, kText, N}, {"TABLE_NAME", V, kText, R},
    {"COLUMN_NAME", V, kText, R}, {"GRANTOR", V, kText, N},   {"GRANTEE", V, kText, R},
    {"PRIVILEGE", V, kText, R}, {"IS_GRANTABLE", V, kText, N},
};
constexpr int32_t kColumnPrivilegesKeys[] = {1, 2, 3, 4, 7};

constexpr CatalogColumnDef kProcedures[] = {
    {"PROCEDURE_CAT", V, kText, N},  {"PROCEDURE_SCHEMA", V, kText, N}, {"PROCEDURE_NAME", V, kText, R},
    {"NUM_INPUT_PARAMS", I, 0, R},   {"NUM_OUTPUT_PARAMS", I, 0, R},    {"NUM_RESULT_PARAMS", I, 0, R},
    {"REMARKS", V, kText, N},        {"PROCEDURE_TYPE", S, 0, R},
};
constexpr int32_t kProceduresKeys[] = {1, 2, 3};

constexpr CatalogColumnDef kProcedureColumns[] = {
    {"PROCEDURE_CAT", V, kText, N},  {"PROCEDURE_SCHEMA", V, kText, N}, {"PROCEDURE_NAME", V, kText, R},
    {"COLUMN_NAME", V, kText, R},    {"COLUMN_TYPE", S, 0, R},          {"DATA_TYPE", S, 0, R},
    {"TYPE_NAME", V, kText, R},      {"COLUMN_SIZE", I, 0, N},          {"BUFFER_LENGTH", I, 0, N},
    {"DECIMAL_DIGITS", S, 0, N},     {"NUM_PREC_RADIX", S, 0, N},       {"NULLABLE", S, 0, R},
    {"REMARKS", V, kText, N},        {"COLUMN_DEF", V, kText, N},       {"SQL_DATA_TYPE", S, 0, R},
    {"SQL_DATETIME_SUB", S, 0, N},   {"CHAR_OCTET_LENGTH", I, 0, N},    {"ORDINAL_POSITION", I, 0, R},
    {"IS_NULLABLE", V, kText, N},
};
constexpr int32_t kProcedureColumnsKeys[] = {1, 2, 3, 5};

constexpr CatalogColumnDef kTypeInfo[] = {
    {"TYPE_NAME", V, kText, R},        {"DATA_TYPE", S, 0, R},           {"COLUMN_SIZE", I, 0, N},
    {"LITERAL_PREFIX", V, kText, N},   {"LITERAL_SUFFIX", V, kText, N},  {"CREATE_PARAMS", V, kText, N},
    {"NULLABLE", S, 0, R},             {"CASE_SENSITIVE", S, 0, R},      {"SEARCHABLE", S, 0, R},
    {"UNSIGNED_ATTRIBUTE", S, 0, N},   {"FIXED_PREC_SCALE", S, 0, R},    {"AUTO_UNIQUE_VALUE", S, 0, N},
    {"LOCAL_TYPE_NAME", V, kText, N},  {"MINIMUM_SCALE", S, 0, N},       {"MAXIMUM_SCALE", S, 0, N},
    {"SQL_DATA_TYPE", S, 0, R},        {"SQL_DATETIME_SUB", S, 0, N},    {"NUM_PREC_RADIX", I, 0, N},
    {"INTERVAL_PRECISION", S, 0, N},
};
constexpr int32_t kTypeInfoKeys[] = {2, 12, 1};

template <size_t C, size_t K>
constexpr CatalogResultDef def(CatalogFunction f, const CatalogColumnDef (&c)[C], const int32_t (&k)[K],
                               int32_t distinct = 0) {
    return {f, c, static_cast<int32_t>(C), k, static_cast<int32_t>(K), distinct};
}

constexpr CatalogResultDef kDefs[kCatalogFunctionCount] = {
    def(CatalogFunction::kTables, kTables, kTablesKeys, 1),
    def(CatalogFunction::kColumns, kColumns, kColumnsKeys),
    def(CatalogFunction::kStatistics, kStatistics, kStatisticsKeys),
    def(CatalogFunction::kPrimaryKeys, kPrimaryKeys, kPrimaryKeysKeys),
    def(CatalogFunction::kForeignKeys, kForeignKeys, kForeignKeysByPk),
    def(CatalogFunction::kSpecialColumns, kSpecialColumns, kSpecialColumnsKeys),
    def(CatalogFunction::kTablePrivileges, kTablePrivileges, kTablePrivilegesKeys),
    def(CatalogFunction::kColumnPrivileges, kColumnPrivileges, kColumnPrivilegesKeys),
    def(CatalogFunction::kProcedures, kProcedures, kProceduresKeys),
    def(CatalogFunction::kProcedureColumns, kProcedureColumns, kProcedureColumnsKeys),
    def(CatalogFunction::kTypeInfo, kTypeInfo, kTypeInfoKeys, 1),
};
constexpr CatalogResultDef kForeignKeysFkDef = def(CatalogFunction::kForeignKeys, kForeignKeys, kForeignKeysByFk);

static_assert(sizeof kTables / sizeof kTables[0] == 5 && sizeof kColumns / sizeof kColumns[0] == 18 &&
              sizeof kStatistics / sizeof kStatistics[0] == 13 && sizeof kTypeInfo / sizeof kTypeInfo[0] == 19 &&
              sizeof kProcedureColumns / sizeof kProcedureColumns[0] == 19);

}  // namespace

const CatalogResultDef *catalog_result_def(CatalogFunction function, bool foreign_keys_by_fk) {
    const auto i = static_cast<int32_t>(function);
    if (i < 0 || i >= kCatalogFunctionCount) return nullptr;
    if (function == CatalogFunction::kForeignKeys && foreign_keys_by_fk) return &kForeignKeysFkDef;
    return &kDefs[i];
}

int catalog_call_dal(DalIterator *it, const CatalogCall *c) {
    const DalText *t = c->texts;
    const int32_t *n = c->numbers;
    int r = DAL_ERROR;
    switch (c->function) {
        case CatalogFunction::kTables: r = DALTables(it, t[0], t[1], t[2], t[3]); break;
        case CatalogFunction::kColumns: r = DALColumns(it, t[0], t[1], t[2], t[3]); break;
        case CatalogFunction::kStatistics:
            r = DALStatistics(it, t[0], t[1], t[2], n[0], n[1], c->provider_index);
            break;
        case CatalogFunction::kPrimaryKeys: r = DALPrimaryKeys(it, t[0], t[1], t[2]); break;
        case CatalogFunction::kForeignKeys: r = DALForeignKeys(it, t[0], t[1], t[2], t[3], t[4], t[5]); break;
        case CatalogFunction::kSpecialColumns:
            r = DALSpecialColumns(it, n[0], t[0], t[1], t[2], n[1], n[2]);
            break;
        case CatalogFunction::kTablePrivileges: r = DALTablePrivileges(it, t[0], t[1], t[2]); break;
        case CatalogFunction::kColumnPrivileges: r = DALColumnPrivileges(it, t[0], t[1], t[2], t[3]); break;
        case CatalogFunction::kProcedures: r = DALProcedures(it, t[0], t[1], t[2]); break;
        case CatalogFunction::kProcedureColumns: r = DALProcedureColumns(it, t[0], t[1], t[2], t[3]); break;
        case CatalogFunction::kTypeInfo: r = DALGetTypeInfo(it, n[0]); break;
    }
    return r == DAL_OK || r == DAL_INFO ? r : DAL_ERROR;
}
