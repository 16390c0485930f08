// The driver's data types as SQLGetTypeInfo lists them: two fixed lists
// (ODBC 3 and ODBC 2 applications), each row built from the engine's type
// template of its code.
#include "dal/local_rows.h"
#include "dal/views.h"

namespace {

constexpr ViewTypeEntry plain(int32_t code) { return {code, 0, 0, nullptr, 0}; }

// The first twenty entries are common to both lists; the eleventh is the
// INTEGER an application picks for an automatically numbered column.
#define CV_COMMON_TYPES                                                                                      \
    plain(SQL_CHAR), plain(SQL_WCHAR), plain(SQL_VARCHAR), plain(SQL_WVARCHAR), plain(SQL_LONGVARCHAR),      \
        plain(SQL_WLONGVARCHAR), plain(SQL_DECIMAL), plain(SQL_NUMERIC), plain(SQL_SMALLINT),                \
        plain(SQL_INTEGER), ViewTypeEntry{SQL_INTEGER, 1, 1, "INTEGER AUTONUMBER", 0}, plain(SQL_REAL),       \
        plain(SQL_FLOAT), plain(SQL_DOUBLE), plain(SQL_BIT), plain(SQL_TINYINT), plain(SQL_BIGINT),          \
        plain(SQL_BINARY), plain(SQL_VARBINARY), plain(SQL_LONGVARBINARY)

constexpr ViewTypeEntry kOdbc3Types[] = {
    CV_COMMON_TYPES,
    plain(SQL_TYPE_DATE),
    plain(SQL_TYPE_TIME),
    plain(SQL_TYPE_TIMESTAMP),
    plain(SQL_INTERVAL_MONTH),
    plain(SQL_INTERVAL_YEAR),
    plain(SQL_INTERVAL_DAY),
    plain(SQL_INTERVAL_HOUR),
    plain(SQL_INTERVAL_MINUTE),
    plain(SQL_INTERVAL_SECOND),  // year to month (107) is not listed
    plain(SQL_INTERVAL_DAY_TO_HOUR),
    plain(SQL_INTERVAL_DAY_TO_MINUTE),
    plain(SQL_INTERVAL_DAY_TO_SECOND),
    plain(SQL_INTERVAL_HOUR_TO_MINUTE),
    plain(SQL_INTERVAL_HOUR_TO_SECOND),
    plain(SQL_INTERVAL_MINUTE_TO_SECOND),
    plain(kViewTypeEnd),
};

constexpr ViewTypeEntry kOdbc2Types[] = {
    CV_COMMON_TYPES, plain(SQL_DATE), plain(SQL_TIME), plain(SQL_TIMESTAMP), plain(kViewTypeEnd),
};
#undef CV_COMMON_TYPES

static_assert(sizeof kOdbc3Types / sizeof kOdbc3Types[0] == 36, "35 types under ODBC 3");
static_assert(sizeof kOdbc2Types / sizeof kOdbc2Types[0] == 24, "23 types under ODBC 2");

}  // namespace

const ViewTypeEntry *view_type_list(int version) { return version == 3 ? kOdbc3Types : kOdbc2Types; }

int view_type_requested(int t, int version) {
    if (version == 3 && t >= SQL_DATE && t <= SQL_TIMESTAMP) return t + (SQL_TYPE_DATE - SQL_DATE);
    if (version != 3 && t >= SQL_TYPE_DATE && t <= SQL_TYPE_TIMESTAMP) return t - (SQL_TYPE_DATE - SQL_DATE);
    return t;
}

int view_type_next(ViewIterator *it) {
    const ViewTypeEntry *list = it->env->types;
    for (;;) {
        const ViewTypeEntry &e = list[it->type_position];
        if (e.sql_type == kViewTypeEnd) {
            it->exhausted = 1;
            return DAL_NO_DATA;
        }
        it->type_position++;
        if (it->requested_type != 0 && e.sql_type != it->requested_type) continue;
        ExtendedType t{};
        if (type_template(e.sql_type, &t) != 0) continue;  // every listed code has a template
        if (e.override_flag) {
            t.auto_unique = e.auto_unique;
            t.nullable = e.nullable;
        }
        if (e.name) {
            std::snprintf(t.type_name, sizeof t.type_name, "%s", e.name);
            std::snprintf(t.local_name, sizeof t.local_name, "%s", e.name);
        }
        it->row_type = t;
        return DAL_OK;
    }
}

int view_type_column(const ViewIterator *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    const ExtendedType &t = it->row_type;
    const bool interval = t.verbose_type == SQL_INTERVAL;
    auto text_or_null = [&](const char *s) {
        return *s ? put_row_text(s, buffer, capacity, length) : put_row_null(length);
    };
    auto number = [&](int32_t n) { return put_row_number(n, c_type, buffer, capacity, length); };
    switch (column) {
        case 1: return put_row_text(t.type_name, buffer, capacity, length);
        case 2: return number(t.sql_type);
        case 3: return t.column_size == -1 ? put_row_null(length) : number(t.column_size);
        case 4: return text_or_null(t.literal_prefix);
        case 5: return text_or_null(t.literal_suffix);
        case 6: return text_or_null(t.create_params);
        case 7: return number(t.nullable);
        case 8: return number(t.case_sensitive);
        case 9: return number(t.searchable);
        case 10: return t.unsigned_flag == -1 ? put_row_null(length) : number(t.unsigned_flag);
        case 11: return number(t.fixed_prec_scale);
        case 12: return number(t.auto_unique);
        case 13: return put_row_text(t.local_name, buffer, capacity, length);
        case 14:
        case 15: return number(0);  // the templates' scale bounds are not reported
        case 16: return number(t.verbose_type);
        case 17: return interval ? number(t.subcode) : put_row_null(length);
        case 18: return t.radix <= 0 ? put_row_null(length) : number(t.radix);
        case 19: return interval ? number(t.interval_precision) : put_row_null(length);
        default: return put_row_null(length);
    }
}
