// The rows of the PayPal provider's catalogue listings: catalog_next_row
// moves the iterator's CatalogCursor to the next row of its listing and
// catalog_get_data reads that row's columns, in the column order of the
// ODBC catalog function the listing serves.
//
// Exports: catalog_next_row, catalog_get_data.
#include <sqlext.h>

#include <cstdio>
#include <cstring>

#include "sqi/catalog.h"
#include "sqi/session.h"

namespace {

constexpr int32_t kLongLength = 2147483647;

// One column value of a listing row.
struct ListValue {
    enum Kind { kNull, kText, kNumber } kind = kNull;
    const char *text = nullptr;
    int32_t number = 0;
};
ListValue text(const char *t) {
    return {ListValue::kText, t, 0};
}
ListValue number(int32_t n) {
    return {ListValue::kNumber, nullptr, n};
}
ListValue null() {
    return {};
}

bool table_matches(const CatalogCursor &c, const PaypalTable *t) {
    return c.all_tables || catalog_pattern_match(c.table_pattern, t->name);
}
bool column_matches(const CatalogCursor &c, const PaypalColumn *col) {
    return c.all_columns || catalog_pattern_match(c.column_pattern, col->name);
}

int end_of_rows(PaypalIterator *it) {
    it->at_end = 1;
    return DAL_NO_DATA;
}

// Moves to the next key column of the cursor's table.
int next_key_column(PaypalIterator *it) {
    CatalogCursor &c = it->listing;
    const PaypalTable *t = paypal_table_at(c.table);
    if (!paypal_has_key(t)) return end_of_rows(it);
    for (int i = c.column + 1; i < t->column_count; i++) {
        if (t->columns[i].flags & kColumnKey) {
            c.column = i;
            c.key_seq++;
            return DAL_OK;
        }
    }
    return end_of_rows(it);
}

int next_table(PaypalIterator *it) {
    CatalogCursor &c = it->listing;
    for (int i = c.table + 1; i < kPaypalTableCount; i++) {
        if (table_matches(c, &kPaypalTables[i])) {
            c.table = i;
            return DAL_OK;
        }
    }
    return end_of_rows(it);
}

int next_column(PaypalIterator *it) {
    CatalogCursor &c = it->listing;
    while (true) {
        const PaypalTable *t = paypal_table_at(c.table);
        if (t && table_matches(c, t)) {
            for (int i = c.column + 1; i < t->column_count; i++) {
                if (column_matches(c, &t->columns[i])) {
                    c.column = i;
                    return DAL_OK;
                }
            }
        }
        if (c.table + 1 >= kPaypalTableCount) return end_of_rows(it);
        c.table++;
        c.column = -1;
    }
}

// ---- column values of the SQLColumns rows

int32_t stored_type(const PaypalColumn &col) {
    return col.sql_type;
}
bool is_date(int32_t t) {
    return t == 9 || t == 91;
}
bool is_time(int32_t t) {
    return t == 10 || t == 92;
}
bool is_timestamp(int32_t t) {
    return t == 11 || t == 93;
}

int32_t odbc_date_code(int32_t t, int32_t version) {
    if (is_date(t)) return version == 3 ? 91 : 9;
    if (is_time(t)) return version == 3 ? 92 : 10;
    if (is_timestamp(t)) return version == 3 ? 93 : 11;
    return t;
}

int32_t column_data_type(int32_t t, int32_t version) {
    switch (t) {
        case 1:
            return -8;  // CHAR is reported as its wide form
        case 12:
            return -9;  // NVARCHAR: SQL_WVARCHAR
        case -1:
            return -10;  // LONGNVARCHAR: SQL_WLONGVARCHAR
        default:
            return odbc_date_code(t, version);
    }
}

const char *fallback_type_name(int32_t t) {
    switch (t) {
        case 1:
            return "NCHAR";
        case 2:
            return "NUMERIC";
        case 4:
            return "INTEGER";
        case 5:
            return "SMALLINT";
        case 8:
            return "DOUBLE";
        case -6:
            return "TINYINT";
        case -5:
            return "BIGINT";
        case -2:
            return "BINARY";
        case -1:
            return "LONGNVARCHAR";
        default:
            if (is_date(t)) return "DATE";
            if (is_time(t)) return "TIME";
            if (is_timestamp(t)) return "TIMESTAMP";
            return "VARCHAR";
    }
}

int32_t column_size(const PaypalColumn &col) {
    int32_t t = stored_type(col);
    switch (t) {
        case 2:
            return 19;
        case 4:
            return 9;
        case 5:
            return 5;
        case 8:
            return 24;
        case -6:
            return 3;
        case -5:
            return 15;
        case -1:
            return kLongLength;
        default:
            if (is_timestamp(t)) return 24;
            if (is_date(t)) return 10;
            if (is_time(t)) return 8;
            return col.size;
    }
}

int32_t buffer_length(const PaypalColumn &col) {
    int32_t t = stored_type(col);
    switch (t) {
        case 2:
            return 21;
        case 4:
            return 4;
        case 5:
            return 2;
        case 8:
        case -5:
            return 8;
        case -6:
            return 1;
        case -1:
            return kLongLength;
        default:
            if (is_date(t) || is_time(t)) return 6;
            if (is_timestamp(t)) return 16;
            return col.size;
    }
}

bool is_numeric_type(int32_t t) {
    return t == 2 || t == 3 || t == 4 || t == 5 || t == 6 || t == 7 || t == 8 || t == -5 || t == -6;
}

int32_t sql_data_type(int32_t t, bool disguise_long) {
    if (t == 1) return -8;
    if (is_date(t) || is_time(t) || is_timestamp(t)) return 9;  // SQL_DATETIME
    if (t == 12) return -9;
    // disguise_long reports long columns as their short forms, for
    // applications that cannot bind long data.
    if (t == -4) return disguise_long ? -3 : -4;
    if (t == -1) return disguise_long ? -9 : -10;
    return t;
}

int32_t datetime_sub(int32_t t) {
    if (is_date(t)) return 1;
    if (is_time(t)) return 2;
    if (is_timestamp(t)) return 3;
    return 0;
}

int32_t char_octet_length(const PaypalColumn &col) {
    int32_t t = stored_type(col);
    if (is_numeric_type(t) || datetime_sub(t) != 0) return 0;
    if (t == -1) return kLongLength;
    return 2 * col.size;  // two bytes per character of the wide type
}

ListValue columns_value(const CatalogCursor &c, const PaypalTable *t, const PaypalColumn &col,
                        int column) {
    const int32_t type = stored_type(col);
    const bool key = (col.flags & kColumnKey) != 0;
    switch (column) {
        case 1:
            return text(kPaypalCatalog);
        case 2:
            return text(kPaypalSchema);
        case 3:
            return text(t->name);
        case 4:
            return text(col.name);
        case 5:
            return number(column_data_type(type, c.odbc_version));
        case 6:
            return text(col.json_type ? col.json_type : fallback_type_name(type));
        case 7:
            return number(column_size(col));
        case 8:
            return number(buffer_length(col));
        case 9:
            return type == 2 ? number(col.size) : null();
        case 10:
            return number(type == 2 || type == 8 ? 10 : 0);
        case 11:
            return number(key ? 0 : 1);
        case 14:
            return number(sql_data_type(type, c.disguise_long != 0));
        case 15:
            return number(datetime_sub(type));
        case 16:
            return number(char_octet_length(col));
        case 17:
            return number(c.column + 1);
        case 18:
            return text(key ? "No" : "Yes");
        default:
            return null();
    }
}

// SQLSpecialColumns rows. Text keys are reported as VARCHAR of their size;
// a key of another type (an INTEGER sequence number) is reported as its own
// type, since VARCHAR of size 0 would describe no value at all.
ListValue special_value(const CatalogCursor &c, const PaypalColumn &col, int column) {
    const bool text_key = col.sql_type == 12;
    switch (column) {
        case 1:
            return number(2);  // SQL_SCOPE_SESSION
        case 2:
            return text(col.name);
        case 3:
            return number(text_key ? 12 : odbc_date_code(col.sql_type, c.odbc_version));
        case 4:
            return text(text_key ? "VARCHAR" : fallback_type_name(col.sql_type));
        case 5:
            return number(text_key ? col.size : column_size(col));
        case 6:
            return number(text_key ? col.size : buffer_length(col));
        case 7:
            return !text_key && col.sql_type == 2 ? number(col.size) : null();
        case 8:
            return number(1);  // SQL_PC_NOT_PSEUDO
        default:
            return null();
    }
}

ListValue row_value(const PaypalIterator *it, int column) {
    const CatalogCursor &c = it->listing;
    const PaypalTable *t = paypal_table_at(c.table);
    const PaypalColumn *col =
        t && c.column >= 0 && c.column < t->column_count ? &t->columns[c.column] : nullptr;
    switch (it->mode) {
        case kListCatalogs:
            return column == 1 ? text(kPaypalCatalog) : null();
        case kListSchemas:
            return column == 2 ? text(kPaypalSchema) : null();
        case kListTables:
            if (!t) return null();
            if (column == 1) return text(kPaypalCatalog);
            if (column == 2) return text(kPaypalSchema);
            if (column == 3) return text(t->name);
            if (column == 4) return text("TABLE");
            return null();
        case kListColumns:
            return t && col ? columns_value(c, t, *col, column) : null();
        case kListPrimaryKeys:
            if (!t || !col) return null();
            if (column == 1) return text(kPaypalCatalog);
            if (column == 2) return text(kPaypalSchema);
            if (column == 3) return text(t->name);
            if (column == 4) return text(col->name);
            if (column == 5) return number(c.key_seq);
            return null();
        case kListSpecialColumns:
            return col ? special_value(c, *col, column) : null();
        case kListStatistics:
            if (!t) return null();
            if (column == 1) return text(kPaypalCatalog);
            if (column == 2) return text(kPaypalSchema);
            if (column == 3) return text(t->name);
            if (!col)
                return column == 7 ? number(0) : null();  // the table's own row (SQL_TABLE_STAT)
            if (column == 4) return number(0);
            if (column == 6) return text("Primary");
            if (column == 7) return number(3);  // SQL_INDEX_OTHER
            if (column == 8) return number(c.key_seq);
            if (column == 9) return text(col->name);
            return null();
        default:
            return null();
    }
}

int put_text(const char *t, void *buffer, SQLLEN capacity, SQLLEN *length) {
    const size_t n = std::strlen(t);
    if (length) *length = static_cast<SQLLEN>(n);
    if (buffer && capacity > 0) {
        const size_t copy =
            n < static_cast<size_t>(capacity) ? n : static_cast<size_t>(capacity) - 1;
        std::memcpy(buffer, t, copy);
        static_cast<char *>(buffer)[copy] = '\0';
    }
    return DAL_OK;
}

}  // namespace

int catalog_next_row(PaypalIterator *it) {
    if (!it || it->at_end) return DAL_NO_DATA;
    CatalogCursor &c = it->listing;
    int r = DAL_NO_DATA;
    switch (it->mode) {
        case kListCatalogs:
        case kListSchemas:
            r = c.rows == 0 ? DAL_OK : end_of_rows(it);
            break;
        case kListTables:
            r = next_table(it);
            break;
        case kListColumns:
            r = next_column(it);
            break;
        case kListPrimaryKeys:
        case kListSpecialColumns:
            r = next_key_column(it);
            break;
        case kListStatistics:
            // The first row describes the table itself; the key columns follow.
            r = c.rows == 0 ? DAL_OK : next_key_column(it);
            break;
        default:
            r = end_of_rows(it);
            break;
    }
    if (r == DAL_OK) c.rows++;
    return r;
}

int catalog_get_data(PaypalIterator *it, int column, int c_type, void *buffer, SQLLEN capacity,
                     SQLLEN *length) {
    if (!it || it->at_end || it->listing.rows == 0) return DAL_NO_DATA;
    ListValue v = row_value(it, column);
    switch (v.kind) {
        case ListValue::kNull:
            if (length) *length = SQL_NULL_DATA;
            return DAL_OK;
        case ListValue::kText:
            return put_text(v.text, buffer, capacity, length);
        case ListValue::kNumber:
            break;
    }
    if (c_type == SQL_C_CHAR) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%d", static_cast<int>(v.number));
        return put_text(digits, buffer, capacity, length);
    }
    if (c_type == SQL_C_SHORT || c_type == SQL_C_SSHORT || c_type == SQL_C_USHORT) {
        const auto small =
            static_cast<int16_t>(v.number);  // listing numbers are below 2^15 except sizes
        if (buffer) std::memcpy(buffer, &small, sizeof small);
        if (length) *length = sizeof small;
        return DAL_OK;
    }
    const int32_t wide = v.number;
    if (buffer) std::memcpy(buffer, &wide, sizeof wide);
    if (length) *length = sizeof wide;
    return DAL_OK;
}
