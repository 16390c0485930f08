// Name lookups over the constant PayPal catalogue: tables and columns by
// name (case-insensitive), key columns and the deciding filter bit.
//
// Exports: paypal_table_at, paypal_find_table, paypal_table_index,
// paypal_find_column, paypal_has_key, paypal_key_count, paypal_filter_kind.
#include <strings.h>

#include <cstring>

#include "sqi/catalog.h"

namespace {

bool same_name(const char *name, std::string_view wanted) {
    return std::strlen(name) == wanted.size() &&
           strncasecmp(name, wanted.data(), wanted.size()) == 0;
}

}  // namespace

const PaypalTable *paypal_table_at(int index) {
    return index >= 0 && index < kPaypalTableCount ? &kPaypalTables[index] : nullptr;
}

int paypal_table_index(std::string_view name) {
    // 32 short names: a linear scan costs less than building any index, and
    // lookups happen per statement, not per row.
    for (int i = 0; i < kPaypalTableCount; i++)
        if (same_name(kPaypalTables[i].name, name)) return i;
    return -1;
}

const PaypalTable *paypal_find_table(std::string_view name) {
    return paypal_table_at(paypal_table_index(name));
}

int paypal_find_column(const PaypalTable *table, std::string_view name) {
    if (!table) return -1;
    for (int i = 0; i < table->column_count; i++)
        if (same_name(table->columns[i].name, name)) return i;
    return -1;
}

bool paypal_has_key(const PaypalTable *table) {
    return table && table->column_count > 0 && (table->columns[0].flags & kColumnKey) != 0;
}

bool paypal_keyed_fetch(const PaypalTable *table) {
    if (!table || paypal_key_count(table) != 1) return false;
    if (!(table->flags & (kTableKeyOptional | kTableKeyRequired))) return false;
    if (table->flags & (kTableChildRows | kTableListUnderKey)) return false;
    return (table->columns[0].flags & (kColumnKey | kColumnPathKey)) == (kColumnKey | kColumnPathKey);
}

int paypal_key_count(const PaypalTable *table) {
    if (!paypal_has_key(table)) return 0;
    int n = 0;
    for (int i = 0; i < table->column_count; i++)
        if (table->columns[i].flags & kColumnKey) n++;
    return n;
}

uint64_t paypal_filter_kind(const PaypalColumn *column) {
    // The order in which the bits are tried is the order in which the
    // request side decides between them.
    static constexpr uint64_t kOrder[] = {kColumnLower,     kColumnUpper,     kColumnThird,
                                          kColumnRemember1, kColumnRemember2, kColumnRemember3,
                                          kColumnEqual};
    if (!column) return 0;
    for (uint64_t bit : kOrder)
        if (column->flags & bit) return bit;
    return 0;
}
