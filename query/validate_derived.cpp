// Derived tables of the FROM clause: the query in parentheses is validated
// in scopes of its own and its select list becomes the slot's columns.
//
// The derived query sees the queries enclosing the one whose FROM list holds
// it, never its siblings in that FROM list (they are hidden while it is
// validated). Its scopes hang below the containing scope, so a reference to
// an enclosing query marks the containing query correlated too.
#include <cstdio>
#include <cstring>

#include "query/validate.h"

namespace {

template <typename T>
T *make_array(ValidationContext *c, size_t n) {
    auto *p = static_cast<T *>(cv_mem_alloc(c->statement->parse_pool, sizeof(T) * (n ? n : 1)));
    if (!p) validation_error_state(c, "HY001", "ISO 9075", "Memory allocation error");
    std::memset(p, 0, sizeof(T) * (n ? n : 1));
    return p;
}

void copy_name(char *out, size_t capacity, const char *name) { std::snprintf(out, capacity, "%s", name ? name : ""); }

// The column record of a derived column from its description.
void fill_column(ColumnInfo &ci, const SelectColumn &col, int position) {
    const ExtendedType &t = col.type;
    if (col.name) copy_name(ci.column, sizeof ci.column, col.name);
    else std::snprintf(ci.column, sizeof ci.column, "EXPR_%d", position);
    ci.data_type = t.sql_type;
    ci.datetime_subcode = t.subcode;
    ci.interval_precision = t.interval_precision;
    ci.display_size = t.display_size;
    ci.digits = t.digits;
    copy_name(ci.literal_prefix, sizeof ci.literal_prefix, t.literal_prefix);
    copy_name(ci.literal_suffix, sizeof ci.literal_suffix, t.literal_suffix);
    copy_name(ci.local_type_name, sizeof ci.local_type_name, t.local_name);
    copy_name(ci.type_name, sizeof ci.type_name, t.type_name);
    ci.nullable = col.slot ? col.slot->columns[col.column - 1].nullable : SQL_NULLABLE_UNKNOWN;
    ci.radix = t.radix;
    ci.octet_length = t.length;
    ci.precision = t.precision > 0 ? t.precision : t.column_size;
    ci.scale = t.scale;
    ci.verbose_type = t.verbose_type;
    ci.searchable = t.searchable;
    ci.case_sensitive = t.case_sensitive;
    ci.is_unsigned = t.unsigned_flag;
    ci.updatable = 0;  // read-only: changes go to base tables only
    ci.buffer_length = t.length;
    ci.char_octet_length = t.column_size;
    copy_name(ci.create_params, sizeof ci.create_params, t.create_params);
    ci.ordinal = position;
}

}  // namespace

TableSlot *build_derived_slot(ValidationContext *c, TableRefNode *ref, int position) {
    QueryScope *outer = c->scope;
    // Siblings of the FROM list are out of reach of the derived query.
    const int32_t siblings = outer ? outer->slot_count : 0;
    if (outer) outer->slot_count = 0;
    ValidationContext local = *c;
    local.in_select_list = local.in_having = local.allow_set = 0;
    QueryScope *scope = nullptr;
    try {
        scope = validate_query_expression(ref->derived, outer, &local);
    } catch (...) {
        if (outer) outer->slot_count = siblings;
        throw;
    }
    if (outer) outer->slot_count = siblings;
    auto *slot = make_array<TableSlot>(c, 1);
    slot->kind = kSlotKind;
    slot->ref = ref;
    slot->position = position;
    slot->derived = scope;
    const int n = scope->column_count;
    slot->column_count = n;
    slot->columns = make_array<ColumnInfo>(c, static_cast<size_t>(n));
    slot->types = make_array<ExtendedType>(c, static_cast<size_t>(n));
    slot->used = make_array<int32_t>(c, static_cast<size_t>(n));
    slot->updatable = make_array<int32_t>(c, static_cast<size_t>(n));
    slot->info.column_count = n;
    slot->info.provider_index = -1;
    for (int i = 0; i < n; i++) {
        fill_column(slot->columns[i], scope->columns[i], i + 1);
        slot->types[i] = scope->columns[i].type;
        slot->types[i].nullable = slot->columns[i].nullable;
        slot->types[i].updatable = SQL_ATTR_READONLY;
    }
    if (ref->alias) {
        slot->match_name = ref->alias->text;
        slot->match_quoted = ref->alias->quoted;
    }
    return slot;
}
