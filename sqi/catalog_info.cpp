// The PayPal provider's name lookups for the validator: SQIGetTableInfo,
// SQIGetColumnInfo and SQIGetPKInfo, answered from the constant catalogue.
//
// Exports: SQIGetTableInfo, SQIGetColumnInfo, SQIGetPKInfo.
#include <cstring>

#include "sqi/catalog.h"
#include "sqi/session.h"
#include "support/list.h"
#include "support/text.h"

namespace {

// Native codes of the column-description failures, so an application can
// tell them apart from the provider's other diagnostics (native 0).
constexpr int32_t kNativeCountMismatch = 2793;
constexpr int32_t kNativeEndOfColumns = 2802;
constexpr int32_t kNativeExtraColumn = 2811;

void post_native(void *owner, const PaypalEnv *env, int32_t native, const char *message) {
    if (!env || !env->link.callback) return;
    DalServiceRequest r{};
    r.handle = owner ? owner : env->owner;
    r.origin = kPaypalComponent;
    r.sqlstate = "HY000";
    r.native = native;
    r.message = message;
    (void)dal_service(env->link, DAL_SERVICE_POST_ERROR, &r);
}

template <size_t N>
void put(char (&field)[N], std::string_view text) {
    (void)copy_text_out(text, field, N);  // catalogue names are far below the field sizes
}

// The description of one SQL type of the catalogue. Texts of null mean none.
struct TypeShape {
    int32_t sql_type;
    int32_t subcode, display, radix, octet, precision, scale, buffer;
    const char *prefix, *suffix, *type_name, *create_params;
    int32_t interval_field;
    bool sized;  // display, octet and buffer lengths come from the column's size
};

// BIGINT has no catalogue column; its shape follows the ODBC description of
// a signed 64-bit integer.
constexpr TypeShape kShapes[] = {
    {2, 0, 21, 10, 19, 19, -1, 19, nullptr, nullptr, "NUMERIC", "precision,scale", 0, false},
    {4, 0, 9, 0, 4, 0, 0, 9, nullptr, nullptr, "INTEGER", nullptr, 0, false},
    {5, 0, 5, 0, 2, 0, 0, 5, nullptr, nullptr, "SMALLINT", nullptr, 0, false},
    {8, 0, 24, 2, 8, 52, 0, 8, nullptr, nullptr, "DOUBLE", nullptr, 0, false},
    {9, 1, 10, 0, 6, 0, 0, 10, "{d '", "'}", "DATE", nullptr, 0, false},
    {10, 2, 8, 0, 6, 0, 0, 8, "{t '", "'}", "TIME", nullptr, 0, false},
    {11, 3, 24, 0, 16, 0, 2, 24, "{ts '", "'}", "TIMESTAMP", nullptr, 2, false},
    {12, 0, 0, 0, 0, 0, 0, 0, "'", "'", "NVARCHAR", "length", 0, true},
    {-6, 0, 3, 0, 1, 0, 0, 3, nullptr, nullptr, "TINYINT", nullptr, 0, false},
    {-1, 0, 2147483647, 0, 2147483647, 0, 0, 2147483647, "'", "'", "LONGNVARCHAR", nullptr, 0,
     false},
    {-5, 0, 20, 10, 8, 19, 0, 8, nullptr, nullptr, "BIGINT", nullptr, 0, false},
};

const TypeShape *shape_of(int32_t sql_type) {
    if (sql_type == 91) sql_type = 9;
    if (sql_type == 92) sql_type = 10;
    if (sql_type == 93) sql_type = 11;
    for (const TypeShape &s : kShapes)
        if (s.sql_type == sql_type) return &s;
    return nullptr;
}

// The concise type code in the application's ODBC version.
int32_t versioned_type(int32_t base, int32_t odbc_version) {
    if (base == 9 || base == 10 || base == 11) return odbc_version == 3 ? base + 82 : base;
    return base;
}

void describe(const PaypalTable *t, int index, int32_t odbc_version, const TypeShape &s,
              ColumnInfo *c) {
    const PaypalColumn &col = t->columns[index];
    *c = ColumnInfo{};
    put(c->catalog, kPaypalCatalog);
    put(c->schema, kPaypalSchema);
    put(c->table, t->name);
    put(c->column, col.name);
    c->data_type = versioned_type(s.sql_type, odbc_version);
    c->datetime_subcode = s.subcode;
    c->display_size = s.sized ? col.size : s.display;
    c->digits = s.sql_type == 2 ? col.size : 0;
    if (s.prefix) put(c->literal_prefix, s.prefix);
    if (s.suffix) put(c->literal_suffix, s.suffix);
    put(c->local_type_name, col.json_type ? col.json_type : "");
    put(c->type_name, s.type_name);
    c->nullable = (col.flags & kColumnKey) ? 0 : 1;
    c->radix = s.radix;
    c->octet_length = s.sized ? col.size : s.octet;
    c->precision = s.precision;
    c->scale = s.scale < 0 ? col.size : s.scale;
    c->verbose_type = versioned_type(s.sql_type, 3);
    const bool long_text = s.sql_type == -1;
    c->searchable = long_text ? 1 : 3;
    c->updatable = long_text ? 1 : 2;
    c->buffer_length = s.sized ? col.size : s.buffer;
    c->char_octet_length = c->buffer_length;
    if (s.create_params) put(c->create_params, s.create_params);
    c->interval_fields[0] = c->interval_fields[1] = s.interval_field;
    c->ordinal = index + 1;
}

}  // namespace

int SQIGetTableInfo(void *, void *, DalText, DalText, DalText table, TableInfo *out) {
    // The catalog and schema are not examined: every PayPal table lives in
    // PAYPAL.DBO and the DAL has already routed any LINK prefix.
    const PaypalTable *t = paypal_find_table(dal_text_view(table));
    if (!t) return DAL_NOT_MINE;
    if (!out) return DAL_OK;
    put(out->catalog, kPaypalCatalog);
    put(out->schema, kPaypalSchema);
    put(out->table, t->name);
    out->column_count = t->column_count;
    out->key_count = paypal_key_count(t);
    return DAL_OK;
}

int SQIGetColumnInfo(void *owner, void *handle, DalText, DalText, DalText table, int count,
                     ColumnInfo *out) {
    auto *env = static_cast<PaypalEnv *>(handle);
    const PaypalTable *t = paypal_find_table(dal_text_view(table));
    if (!t) return DAL_NOT_MINE;
    if (count != t->column_count) {
        post_native(owner, env, kNativeCountMismatch, "dci_size != tptr -> coumn_count");
        return DAL_ERROR;
    }
    if (!out) return DAL_ERROR;
    const int32_t version = env ? env->odbc_version : 3;
    for (int i = 0; i < count; i++) {
        if (!t->columns[i].name) {
            post_native(owner, env, kNativeEndOfColumns, "Unexpected end to column_info");
            return DAL_ERROR;
        }
        const TypeShape *s = shape_of(t->columns[i].sql_type);
        if (!s) {
            post_native(owner, env, t->columns[i].sql_type, "Unexpected type in GetColumnInfo");
            return DAL_ERROR;
        }
        describe(t, i, version, *s, &out[i]);
    }
    if (t->columns[count].name) {
        post_native(owner, env, kNativeExtraColumn, "Unexpected extracolumn_info");
        return DAL_ERROR;
    }
    return DAL_OK;
}

int SQIGetPKInfo(void *, void *, DalText, DalText, DalText table, int count, List *keys) {
    const PaypalTable *t = paypal_find_table(dal_text_view(table));
    if (!paypal_has_key(t) || !keys) return DAL_OK;
    // The caller's list holds `count` entries; key columns beyond them are
    // not written, so a short list never overflows.
    ListCell *cell = ListFirst(keys);
    int written = 0;
    for (int i = 0; i < t->column_count && cell && written < count; i++) {
        if (!(t->columns[i].flags & kColumnKey)) continue;
        auto *entry = static_cast<KeyColumnEntry *>(ListData(cell));
        if (entry) {
            put(entry->name, t->columns[i].name);
            entry->ordinal = i + 1;
        }
        written++;
        cell = ListNext(cell);
    }
    return DAL_OK;
}
