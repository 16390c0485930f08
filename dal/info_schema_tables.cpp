// The INFO_SCHEMA tables and their constant column descriptions, the
// SERVER_INFO rows, and the PayPal restriction rows drawn from the
// PayPal provider's catalogue.
#include <cstdio>
#include <cstring>

#include "dal/info_schema.h"
#include "sqi/catalog.h"

namespace {

constexpr int32_t V = SQL_VARCHAR;
constexpr int32_t I = SQL_INTEGER;
constexpr int32_t N = SQL_NULLABLE;
constexpr int32_t R = SQL_NO_NULLS;

constexpr InfoColumnDef kCharacterSets[] = {
    {"CHARSET_CAT", V, 128, R},       {"CHARSET_SCHEM", V, 128, R},     {"CHARSET_NAME", V, 128, R},
    {"FORM_OF_USE", V, 128, R},       {"NUM_CHARS", I, 11, R},          {"DEF_COLLATE_CAT", V, 254, R},
    {"DEF_COLLATE_SCHEM", V, 254, R}, {"DEF_COLATE_NAME", V, 254, R},   {"REMARKS", V, 254, N},
};
constexpr InfoColumnDef kCollations[] = {
    {"COLLATION_CAT", V, 128, R}, {"COLLATION_SCHEM", V, 128, R}, {"COLLATION_NAME", V, 128, R},
    {"CHARSET_CAT", V, 128, R},   {"CHARSET_SCHEM", V, 128, R},   {"CHARSET_NAME", V, 128, R},
    {"PAD_ATTRIBUTE", V, 254, R}, {"REMARKS", V, 254, N},
};
constexpr InfoColumnDef kColumnPrivileges[] = {
    {"GRANTOR", V, 128, R},     {"GRANTEE", V, 128, R},        {"TABLE_CAT", V, 128, R},
    {"TABLE_SCHEM", V, 128, R}, {"TABLE_NAME", V, 128, R},     {"COLUMN_NAME", V, 128, R},
    {"PRIVILEGE_TYPE", V, 256, R}, {"IS_GRANTABLE", V, 256, R}, {"REMARKS", V, 256, N},
};
constexpr InfoColumnDef kColumns[] = {
    {"TABLE_CAT", V, 128, R},       {"TABLE_SCHEM", V, 128, R},     {"TABLE_NAME", V, 128, R},
    {"COLUMN_NAME", V, 128, R},     {"ORDINAL_POSITION", I, 11, R}, {"COLUMN_DEF", V, 254, N},
    {"IS_NULLABLE", V, 254, R},     {"DATA_TYPE", V, 254, R},       {"CHAR_MAX_LENGTH", I, 11, N},
    {"CHAR_OCTET_LENGTH", I, 11, N}, {"NUM_PREC", I, 11, N},        {"NUM_PREC_RADIX", I, 11, N},
    {"NUM_SCALE", I, 11, N},        {"DATETIME_PREC", I, 11, N},    {"INTERVAL_TYPE", V, 128, N},
    {"INTERVAL_PREC", I, 11, N},    {"CHAR_SET_CAT", V, 128, N},    {"CHAR_SET_SCHEM", V, 128, N},
    {"CHAR_SET_NAME", V, 128, N},   {"COLLATION_CAT", V, 128, N},   {"COLLATION_SCHEM", V, 128, N},
    {"COLLATION_NAME", V, 128, N},  {"REMARKS", V, 256, N},
};
constexpr InfoColumnDef kIndexes[] = {
    {"TABLE_CAT", V, 128, R},        {"TABLE_SCHEM", V, 128, R}, {"TABLE_NAME", V, 128, R},
    {"COLUMN_NAME", V, 128, R},      {"INDEX_NAME", V, 128, R},  {"ORDINAL_POSITION", I, 11, R},
    {"NON_UNIQUE", V, 128, R},       {"ASC_OR_DESC", SQL_CHAR, 1, R}, {"REMARKS", V, 256, N},
};
constexpr InfoColumnDef kSchemata[] = {
    {"CAT_NAME", V, 128, R},          {"SCHEM_NAME", V, 128, R},         {"SCHEM_OWNER", V, 128, R},
    {"DEF_CHAR_SET_CAT", V, 128, N},  {"DEF_CHAR_SET_SCHEM", V, 128, N}, {"DEF_CHAR_SET_NAME", V, 128, N},
    {"REMARKS", V, 254, N},
};
constexpr InfoColumnDef kServerInfo[] = {{"SERVER_ATTRIBUTE", V, 254, R}, {"ATTRIBUTE_VALUE", V, 254, R}};
constexpr InfoColumnDef kSqlLanguages[] = {
    {"SOURCE", V, 254, R},         {"SOURCE_YEAR", V, 254, R},   {"CONFORMANCE", V, 254, R},
    {"INTEGRITY", V, 254, R},      {"IMPLEMENTATION", V, 254, R}, {"BINDING_STYLE", V, 254, R},
    {"PROGRAMMING_LANG", V, 254, R},
};
constexpr InfoColumnDef kTablePrivileges[] = {
    {"GRANTOR", V, 128, R},        {"GRANTEE", V, 128, R},      {"TABLE_CAT", V, 128, R},
    {"TABLE_SCHEM", V, 128, R},    {"TABLE_NAME", V, 128, R},   {"PRIVILEGE_TYPE", V, 254, R},
    {"IS_GRANTABLE", V, 254, R},   {"REMARKS", V, 254, N},
};
constexpr InfoColumnDef kTables[] = {
    {"TABLE_CAT", V, 128, R}, {"TABLE_SCHEM", V, 128, R}, {"TABLE_NAME", V, 128, R},
    {"TABLE_TYPE", V, 254, R}, {"REMARKS", V, 254, N},
};
constexpr InfoColumnDef kTranslations[] = {
    {"TRANSLATION_CAT", V, 128, R},   {"TRANSLATION_SCHEM", V, 128, R}, {"TRANSLATION_NAME", V, 128, R},
    {"SRC_CHARSET_CAT", V, 128, R},   {"SRC_CHARSET_SCHEM", V, 128, R}, {"SRC_CHARSET_NAME", V, 128, R},
    {"TGT_CHARSET_CAT", V, 128, R},   {"TGT_CHARSET_SCHEM", V, 128, R}, {"TGT_CHARSET_NAME", V, 128, R},
    {"REMARKS", V, 254, N},
};
constexpr InfoColumnDef kUsagePrivileges[] = {
    {"GRANTOR", V, 128, R},      {"GRANTEE", V, 128, R},        {"OBJECT_CAT", V, 128, R},
    {"OBJECT_SCHEM", V, 128, R}, {"OBJECT_NAME", V, 128, R},    {"OBJECT_TYPE", V, 254, R},
    {"PRIVILEGE_TYPE", V, 254, R}, {"IS_GRANTABLE", V, 254, R}, {"REMARKS", V, 254, N},
};
constexpr InfoColumnDef kViews[] = {
    {"TABLE_CAT", V, 128, R},          {"TABLE_SCHEM", V, 128, R},   {"TABLE_NAME", V, 128, R},
    {"VIEW_DEFINITION", V, 16384, N},  {"CHECK_OPTION", V, 128, N},  {"IS_UPDATABLE", V, 128, N},
    {"REMARKS", V, 128, N},
};
constexpr InfoColumnDef kPaypalRestrictions[] = {
    {"TABLE_NAME", V, 128, R},  {"COLUMN_NAME", V, 128, R}, {"ORDINAL_POSITION", I, 11, R},
    {"SENT_TO_PAYPAL", V, 3, R}, {"SENT_AS", V, 32, R},     {"PARAMETER", V, 128, N},
    {"OPERATORS", V, 32, N},    {"REQUIRED", V, 3, R},      {"ALLOWED_VALUES", V, 128, N},
    {"DEFAULT_VALUE", V, 128, N},
};
constexpr InfoColumnDef kPaypalHistory[] = {
    {"RANGE_START", V, 19, R}, {"RANGE_END", V, 19, R},  {"CLIENT_ID", V, 128, R},  {"BASE_URL", V, 254, R},
    {"BALANCE_AFFECTING_ONLY", V, 1, R}, {"ROW_COUNT", I, 11, R}, {"FETCHED_AT", V, 19, R},
};

constexpr InfoColumnDef kProcedureColumns[] = {
    {"PROCEDURE_NAME", V, 128, R}, {"COLUMN_NAME", V, 128, R}, {"COLUMN_TYPE", V, 6, R},
    {"ORDINAL_POSITION", I, 11, R}, {"DATA_TYPE", V, 128, R},  {"COLUMN_SIZE", I, 11, N},
    {"DECIMAL_DIGITS", I, 11, N},  {"IS_NULLABLE", V, 3, R},   {"COLUMN_DEF", V, 128, N},
    {"REMARKS", V, 254, N},
};

template <size_t C>
constexpr InfoTableDef def(InfoTable t, const char *name, const InfoColumnDef (&c)[C]) {
    return {t, name, c, static_cast<int32_t>(C)};
}

constexpr InfoTableDef kTablesDefs[] = {
    def(InfoTable::kCharacterSets, "CHARACTER_SETS", kCharacterSets),
    def(InfoTable::kCollations, "COLLATIONS", kCollations),
    def(InfoTable::kColumnPrivileges, "COLUMN_PRIVILEGES", kColumnPrivileges),
    def(InfoTable::kColumns, "COLUMNS", kColumns),
    def(InfoTable::kSystemColumns, "SYSTEM_COLUMNS", kColumns),
    def(InfoTable::kIndexes, "INDEXES", kIndexes),
    def(InfoTable::kSchemata, "SCHEMATA", kSchemata),
    def(InfoTable::kServerInfo, "SERVER_INFO", kServerInfo),
    def(InfoTable::kSqlLanguages, "SQL_LANGUAGES", kSqlLanguages),
    def(InfoTable::kTablePrivileges, "TABLE_PRIVILEGES", kTablePrivileges),
    def(InfoTable::kTables, "TABLES", kTables),
    def(InfoTable::kSystemTables, "SYSTEM_TABLES", kTables),
    def(InfoTable::kTranslations, "TRANSLATIONS", kTranslations),
    def(InfoTable::kUsagePrivileges, "USAGE_PRIVILEGES", kUsagePrivileges),
    def(InfoTable::kViews, "VIEWS", kViews),
    def(InfoTable::kPaypalRestrictions, "PAYPAL_RESTRICTIONS", kPaypalRestrictions),
    def(InfoTable::kProcedureColumns, "PROCEDURE_COLUMNS", kProcedureColumns),
    def(InfoTable::kPaypalHistory, "PAYPAL_HISTORY", kPaypalHistory),
};
static_assert(sizeof kTablesDefs / sizeof kTablesDefs[0] == static_cast<size_t>(InfoTable::kCount));
static_assert(sizeof kColumns / sizeof kColumns[0] == 23);

// SQLGetInfo types asked for SERVER_INFO.
constexpr int32_t kMaxIdentifierLen = 10005;
constexpr int32_t kMaxRowSize = 104;
constexpr int32_t kDriverVer = 7;
constexpr int32_t kMaxUserNameLen = 107;

constexpr InfoServerEntry kServerEntries[kInfoServerEntryCount] = {
    {"CATALOG_NAME", "YES", 0, 0},
    {"COLLATION_SEQ", "ISO 8859-1", 0, 0},
    {"IDENTIFIER_LENGTH", nullptr, kMaxIdentifierLen, 1},
    {"INTERVAL_FRACTION_PRECISION", "6", 0, 0},
    {"INTERVAL_LEADING_PRECISION", "2", 0, 0},
    {"ROW_LENGTH", nullptr, kMaxRowSize, 1},
    {"SERVER_VERSION", nullptr, kDriverVer, 0},
    {"TIME_PRECISION", "2", 0, 0},
    {"TIMESTAMP_PRECISION", "2", 0, 0},
    {"TXN_ISOLATION", "REPEATABLE READ", 0, 0},
    {"USER_LENGTH", nullptr, kMaxUserNameLen, 1},
};

}  // namespace

const InfoTableDef *info_table_by_name(std::string_view name) {
    for (const InfoTableDef &d : kTablesDefs)
        if (name == d.name) return &d;
    return nullptr;
}

const InfoTableDef *info_table_def(InfoTable table) {
    const auto i = static_cast<size_t>(table);
    return i < sizeof kTablesDefs / sizeof kTablesDefs[0] ? &kTablesDefs[i] : nullptr;
}

void info_column_info(const InfoTableDef *def, int index, ColumnInfo *out) {
    const InfoColumnDef &c = def->columns[index];
    *out = ColumnInfo{};
    std::snprintf(out->schema, sizeof out->schema, "%s", kInfoSchemaName);
    std::snprintf(out->table, sizeof out->table, "%s", def->name);
    std::snprintf(out->column, sizeof out->column, "%s", c.name);
    const bool text = c.sql_type != SQL_INTEGER;
    out->data_type = out->verbose_type = c.sql_type;
    out->display_size = c.size;
    out->precision = text ? c.size : 10;
    out->octet_length = out->buffer_length = text ? c.size : 4;
    out->char_octet_length = text ? c.size : 0;
    out->radix = text ? 0 : 10;
    std::snprintf(out->type_name, sizeof out->type_name, "%s",
                  c.sql_type == SQL_VARCHAR ? "CHARACTER VARYING" : text ? "CHARACTER" : "INTEGER");
    std::snprintf(out->local_type_name, sizeof out->local_type_name, "SQL_VARCHAR");
    std::snprintf(out->literal_prefix, sizeof out->literal_prefix, "'");
    out->nullable = c.nullable;
    out->searchable = 3;
    out->case_sensitive = text ? 1 : 0;
    out->updatable = 0;
    out->ordinal = index + 1;
}

const InfoServerEntry *info_server_entries() { return kServerEntries; }

bool info_restriction_row(int table, int column, InfoRestrictionRow *out) {
    const PaypalTable *t = paypal_table_at(table);
    if (!t || column < 0 || column >= t->column_count) return false;
    const PaypalColumn *c = &t->columns[column];
    *out = InfoRestrictionRow{t->name, c->name, column + 1, "NO", "DRIVER", nullptr, nullptr, "NO", nullptr};
    if ((c->flags & kColumnPathKey) && (t->flags & (kTableKeyRequired | kTableKeyOptional))) {
        // The key goes into the request path (only for tables that take
        // one); without it a keyed table cannot be read unless the key is
        // optional.
        out->sent = "YES";
        out->sent_as = "PATH";
        out->operators = "=";
        out->required = (t->flags & kTableKeyOptional) ? "NO" : "YES";
        return true;
    }
    const uint64_t kind = paypal_filter_kind(c);
    if (kind == 0) return true;
    out->sent = "YES";
    out->sent_as = "QUERY PARAMETER";
    out->parameter = c->parameter;
    out->operators = kind == kColumnLower ? ">, >=, =" : (kind == kColumnUpper || kind == kColumnThird) ? "<, <=, =" : "=";
    out->required = (c->flags & kColumnMandatory) ? "YES" : "NO";
    out->values = c->parameter_values;
    return true;
}

bool info_restriction_next(int *table, int *column) {
    for (;;) {
        const PaypalTable *t = paypal_table_at(*table);
        if (!t) return false;
        if (*column + 1 < t->column_count) {
            ++*column;
            return true;
        }
        ++*table;
        *column = -1;
    }
}
