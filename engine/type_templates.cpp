// The static ExtendedType templates, one per SQL type, and the SQL type <->
// value type mappings.
#include <cstdio>
#include <cstring>

#include "engine/types.h"

namespace {

struct Row {
    int code;
    const char *type_name;
    const char *local_name;
    int display, length, precision, scale, column_size, digits;
    int radix, searchable;
    const char *create_params;
    const char *prefix, *suffix;
    int case_sensitive, unsigned_flag, verbose;
    int subcode;
    int min_scale, max_scale;
};

constexpr int kBig = 2147483647;

// Unsigned flags: character, binary and datetime carry -1, BIT 1, BINARY 255.
const Row kRows[] = {
    {1, "CHARACTER", "SQL_CHAR", 255, 255, 0, 0, 255, 255, 0, 3, "length", "'", "'", 1, -1, 1, 0, 0, 0},
    {12, "CHARACTER VARYING", "SQL_VARCHAR", 255, 255, 0, 0, 255, 255, 0, 3, "length", "'", "'", 1, -1, 12, 0, 0, 0},
    {-1, "LONG VARCHAR", "SQL_LONGVARCHAR", kBig, kBig, kBig, kBig, kBig, kBig, 0, 1, "", "'", "'", 1, -1, -1, 0, 0, 0},
    {-8, "NATIONAL CHARACTER", "SQL_WCHAR", 255, 255, 0, 0, 255, 255, 0, 3, "length", "'", "'", 1, -1, -8, 0, 0, 0},
    {-9, "NATIONAL CHARACTER VARYING", "SQL_NVARCHAR", 255, 255, 0, 0, 255, 255, 0, 3, "length", "'", "'", 1, -1, -9, 0, 0, 0},
    {-10, "LONG NVARCHAR", "SQL_WLONGVARCHAR", kBig, kBig, kBig, kBig, kBig, kBig, 0, 1, "", "'", "'", 1, -1, -10, 0, 0, 0},
    {2, "NUMERIC", "SQL_NUMERIC", 22, 19, 16, 0, 22, 22, 10, 3, "precision,scale", "", "", 0, 0, 2, 0, 0, 127},
    {3, "DECIMAL", "SQL_DECIMAL", 22, 8, 15, 0, 22, 22, 10, 3, "precision,scale", "", "", 0, 0, 3, 0, 0, 6},
    {4, "INTEGER", "SQL_INTEGER", 11, 4, 10, 0, 10, 10, 10, 3, "", "", "", 0, 0, 4, 0, 0, 0},
    {5, "SMALLINT", "SQL_SMALLINT", 6, 2, 6, 0, 5, 5, 10, 3, "", "", "", 0, 0, 5, 0, 0, 0},
    {-6, "TINYINT", "SQL_TINYINT", 4, 1, 4, 0, 3, 3, 10, 3, "", "", "", 0, 0, -6, 0, 0, 0},
    {-5, "BIGINT", "SQL_BIGINT", 20, 20, 20, 0, 19, 19, 10, 3, "", "", "", 0, 0, -5, 0, 0, 0},
    {6, "FLOAT", "SQL_FLOAT", 22, 8, 15, 0, 15, 53, 2, 3, "", "", "", 0, 0, 6, 0, 0, 0},
    {7, "REAL", "SQL_REAL", 13, 4, 7, 0, 7, 24, 2, 3, "", "", "", 0, 0, 6, 0, 0, 0},
    {8, "DOUBLE PRECISION", "SQL_DOUBLE", 22, 8, 15, 0, 15, 53, 2, 3, "", "", "", 0, 0, 8, 0, 0, 0},
    {-7, "BIT", "SQL_BIT", 1, 1, 1, 0, 1, 1, 10, 3, "", "B'", "'", 0, 1, -7, 0, 0, 0},
    {-2, "BINARY", "SQL_BINARY", 255, 255, 0, 0, 255, 255, 0, 0, "length", "0x", "", 0, 255, -2, 0, 0, 0},
    {-3, "VARBINARY", "SQL_VARBINARY", 255, 255, 0, 0, 255, 255, 0, 0, "length", "0x", "", 0, -1, -3, 0, 0, 0},
    {-4, "LONG VARBINARY", "SQL_LONGVARBINARY", kBig, kBig, kBig, kBig, kBig, kBig, 0, 0, "", "'", "'", 0, -1, -4, 0, 0, 0},
    {9, "DATE", "SQL_DATE", 10, 6, 0, 0, 10, 10, 0, 3, "", "{d'", "'}", 0, -1, 9, 1, 0, 0},
    {91, "DATE", "SQL_DATE", 10, 6, 0, 0, 10, 10, 0, 3, "", "{d'", "'}", 0, -1, 9, 1, 0, 0},
    {10, "TIME", "SQL_TIME", 8, 6, 0, 0, 8, 8, 0, 3, "", "{t'", "'}", 0, -1, 9, 2, 0, 0},
    {92, "TIME", "SQL_TIME", 8, 6, 0, 0, 8, 8, 0, 3, "", "{t'", "'}", 0, -1, 9, 2, 0, 0},
    {11, "TIMESTAMP", "SQL_TIMESTAMP", 19, 16, 0, 0, 19, 19, 0, 3, "", "{ts'", "'}", 0, -1, 9, 3, 0, 0},
    {93, "TIMESTAMP", "SQL_TIMESTAMP", 19, 16, 0, 0, 19, 19, 0, 3, "", "{ts'", "'}", 0, -1, 9, 3, 0, 0},
};

// Intervals 101-113: display size (= column size = digits) and seconds scale.
const char *const kIntervalFields[13] = {
    "YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "YEAR TO MONTH", "DAY TO HOUR",
    "DAY TO MINUTE", "DAY TO SECOND", "HOUR TO MINUTE", "HOUR TO SECOND", "MINUTE TO SECOND"};
const int kIntervalDisplay[13] = {2, 2, 2, 2, 2, 9, 5, 5, 8, 18, 5, 16, 12};
const int kIntervalScale[13] = {0, 0, 0, 0, 0, 6, 0, 0, 0, 6, 0, 6, 6};

void set_text(char (&dst)[64], const char *src) { std::snprintf(dst, sizeof dst, "%s", src); }

void fill_interval(int code, ExtendedType *out) {
    int i = code - 101;
    ExtendedType t{};
    t.sql_type = code;
    t.subcode = i + 1;
    t.interval_precision = 2;
    t.display_size = kIntervalDisplay[i];
    set_text(t.literal_prefix, "{INTERVAL");
    std::snprintf(t.literal_suffix, sizeof t.literal_suffix, "%s}", kIntervalFields[i]);
    std::snprintf(t.type_name, sizeof t.type_name, "INTERVAL %s", kIntervalFields[i]);
    char local[64];
    std::snprintf(local, sizeof local, "SQL_INTERVAL_%s", kIntervalFields[i]);
    for (char *p = local; *p; p++)
        if (*p == ' ') *p = '_';
    // "YEAR_TO_MONTH" reads as the ODBC constant name SQL_INTERVAL_YEAR_TO_MONTH.
    set_text(t.local_name, local);
    t.nullable = 1;
    t.radix = 0;
    t.length = 28;
    t.precision = 0;
    t.scale = kIntervalScale[i];
    t.verbose_type = 10;
    t.searchable = 3;
    t.unsigned_flag = 0;
    t.updatable = 2;
    t.column_size = kIntervalDisplay[i];
    t.digits = kIntervalDisplay[i];
    bool seconds = kIntervalScale[i] != 0;
    set_text(t.create_params, seconds ? "precision,scale" : "precision");
    t.maximum_scale = seconds ? 9 : 0;
    *out = t;
}

}  // namespace

int type_template(int sql_type, ExtendedType *out) {
    if (sql_type >= 101 && sql_type <= 113) {
        fill_interval(sql_type, out);
        return 0;
    }
    for (const Row &r : kRows) {
        if (r.code != sql_type) continue;
        ExtendedType t{};
        t.sql_type = r.code;
        t.subcode = r.subcode;
        t.interval_precision = 0;
        t.display_size = r.display;
        set_text(t.literal_prefix, r.prefix);
        set_text(t.literal_suffix, r.suffix);
        set_text(t.local_name, r.local_name);
        set_text(t.type_name, r.type_name);
        t.nullable = 1;
        t.radix = r.radix;
        t.length = r.length;
        t.precision = r.precision;
        t.scale = r.scale;
        t.verbose_type = r.verbose;
        t.searchable = r.searchable;
        t.case_sensitive = r.case_sensitive;
        t.unsigned_flag = r.unsigned_flag;
        t.updatable = 2;
        t.column_size = r.column_size;
        t.digits = r.digits;
        set_text(t.create_params, r.create_params);
        t.minimum_scale = static_cast<uint8_t>(r.min_scale);
        t.maximum_scale = static_cast<uint8_t>(r.max_scale);
        *out = t;
        return 0;
    }
    return -1;
}

int datetime_sql_type(int subcode, int odbc_version) {
    int base = odbc_version >= 3 ? 90 : 8;
    return base + subcode;
}

uint32_t value_type_for_sql_type(int sql_type, int *interval_code) {
    if (interval_code) *interval_code = 0;
    switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR: return VT_CHAR;
    case SQL_NUMERIC:
    case SQL_DECIMAL: return VT_NUMERIC;
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT: return VT_INTEGER;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE: return VT_DOUBLE;
    case 9:
    case 91: return VT_DATE;
    case 10:
    case 92: return VT_TIME;
    case 11:
    case 93: return VT_TIMESTAMP;
    case SQL_BIT: return VT_BIT;
    case SQL_BIGINT: return VT_BIGINT;
    case SQL_BINARY:
    case SQL_VARBINARY: return VT_BINARY;
    case SQL_LONGVARCHAR: return VT_LONG_CHAR;
    case SQL_LONGVARBINARY: return VT_LONG_BINARY;
    default: break;
    }
    if (sql_type >= 101 && sql_type <= 113) {
        int code = sql_type - 100;
        if (interval_code) *interval_code = code;
        return code == 1 || code == 2 || code == 7 ? VT_INTERVAL_YM : VT_INTERVAL_DS;
    }
    return 0;
}

int sql_type_for_value(const Value *v, int odbc_version) {
    switch (v->type) {
    case VT_INTEGER:
    case VT_CONNECTION_INT: return SQL_INTEGER;
    case VT_DOUBLE: return SQL_DOUBLE;
    case VT_CHAR:
    case VT_USER: return SQL_CHAR;
    case VT_BIT: return SQL_BIT;
    case VT_BINARY: return SQL_BINARY;
    case VT_DATE:
    case VT_CURRENT_DATE: return datetime_sql_type(1, odbc_version);
    case VT_TIME:
    case VT_CURRENT_TIME: return datetime_sql_type(2, odbc_version);
    case VT_TIMESTAMP:
    case VT_CURRENT_TIMESTAMP: return datetime_sql_type(3, odbc_version);
    case VT_NUMERIC: return SQL_NUMERIC;
    case VT_BIGINT: return SQL_BIGINT;
    case VT_INTERVAL_YM:
    case VT_INTERVAL_DS: {
        int code = v->data.iv.interval_type;
        return code >= 1 && code <= 13 ? 100 + code : 0;
    }
    case VT_LONG_CHAR: return SQL_LONGVARCHAR;
    case VT_LONG_BINARY: return SQL_LONGVARBINARY;
    default: return 0;
    }
}
