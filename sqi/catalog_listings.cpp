// The PayPal provider's catalogue listings: SQITables, SQIColumns,
// SQIPrimaryKeys, SQISpecialColumns, SQIStatistics and the empty privilege
// and foreign-key listings. Each one checks its arguments, fills the
// iterator's CatalogCursor and sets the iterator mode; the rows then come
// from catalog_next_row and catalog_get_data (catalog_rows.cpp).
//
// Table and column arguments are ODBC search patterns: '%' matches any run
// of characters, '_' any one character, and a backslash makes the next
// character literal. Names compare case-sensitively, as the catalogue
// spells them.
//
// Exports: SQITables, SQIColumns, SQIColumnPrivileges, SQIPrimaryKeys,
// SQISpecialColumns, SQIStatistics, SQIForeignKeys, SQITablePrivileges,
// catalog_pattern_match.
#include <cctype>
#include <string>

#include "sqi/catalog.h"
#include "sqi/session.h"

namespace {

constexpr int kBestRowId = 1;  // SQL_BEST_ROWID

PaypalIterator *pit(void *it) {
    return static_cast<PaypalIterator *>(it);
}

// Starts a listing of `mode` with the cursor before its first row.
void start_listing(PaypalIterator *it, SqiIteratorMode mode) {
    it->request.reset();
    it->mode = mode;
    it->at_end = 0;
    CatalogCursor &c = it->listing;
    c = CatalogCursor{};
    c.odbc_version = it->env ? it->env->odbc_version : 3;
    c.disguise_long = it->env ? it->env->disguise_long : 0;
}

// A pattern argument: absent or exactly "%" matches every name.
void set_pattern(DalText arg, bool *all, std::string *pattern) {
    std::string_view p = dal_text_view(arg);
    *all = !arg.text || p == "%";
    pattern->assign(p);
}

bool given_empty(DalText arg) {
    return arg.text && dal_text_view(arg).empty();
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// Whether a table-type list asks for tables. Items are upper-cased and may
// be quoted; blanks around an item are ignored ("VIEW, TABLE" is a list of
// two types, as applications commonly write it).
bool types_include_tables(DalText types) {
    if (!types.text) return true;
    std::string upper(dal_text_view(types));
    for (char &ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::string_view rest = upper;
    while (true) {
        size_t comma = rest.find(',');
        std::string_view item = trim_blanks(rest.substr(0, comma));
        if (item.size() >= 2 && (item.front() == '\'' || item.front() == '"') &&
            item.back() == item.front())
            item = item.substr(1, item.size() - 2);
        if (item == "TABLE" || item == "TABLES" || item == "SYSTEM TABLES") return true;
        if (comma == std::string_view::npos) return false;
        rest.remove_prefix(comma + 1);
    }
}

// An unknown table: the iterator is left without rows, so a listing that
// fans out to every provider reads nothing stale from this one.
int not_mine(PaypalIterator *it) {
    it->at_end = 1;
    return DAL_NOT_MINE;
}

// The catalogue position of an exact table argument, or -1.
int table_arg(DalText table) {
    return paypal_table_index(dal_text_view(table));
}

}  // namespace

bool catalog_pattern_match(std::string_view pattern, std::string_view name) {
    // Iterative matcher with one backtrack point for the last '%': linear in
    // practice and never recursive, whatever the pattern.
    size_t p = 0, n = 0, star_p = std::string_view::npos, star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '%') {
            star_p = ++p;
            star_n = n;
            continue;
        }
        if (p < pattern.size()) {
            char pc = pattern[p];
            size_t width = 1;
            bool literal = false;
            if (pc == '\\' && p + 1 < pattern.size()) {
                pc = pattern[p + 1];
                width = 2;
                literal = true;
            }
            if ((!literal && pc == '_') || pc == name[n]) {
                p += width;
                n++;
                continue;
            }
        }
        if (star_p == std::string_view::npos) return false;
        p = star_p;
        n = ++star_n;
    }
    while (p < pattern.size() && pattern[p] == '%') p++;
    return p == pattern.size();
}

int SQITables(void *handle, DalText catalog, DalText schema, DalText table, DalText types) {
    PaypalIterator *it = pit(handle);
    std::string_view cat = dal_text_view(catalog);
    if (catalog.text && cat == "%" && given_empty(schema) && given_empty(table)) {
        start_listing(it, kListCatalogs);
        return DAL_OK;
    }
    if (given_empty(catalog) && schema.text && dal_text_view(schema) == "%" && given_empty(table)) {
        start_listing(it, kListSchemas);
        return DAL_OK;
    }
    start_listing(it, kListTables);
    set_pattern(table, &it->listing.all_tables, &it->listing.table_pattern);
    if (!types_include_tables(types)) it->at_end = 1;
    return DAL_OK;
}

int SQIColumns(void *handle, DalText, DalText, DalText table, DalText column) {
    PaypalIterator *it = pit(handle);
    start_listing(it, kListColumns);
    set_pattern(table, &it->listing.all_tables, &it->listing.table_pattern);
    set_pattern(column, &it->listing.all_columns, &it->listing.column_pattern);
    return DAL_OK;
}

int SQIPrimaryKeys(void *handle, DalText, DalText, DalText table) {
    PaypalIterator *it = pit(handle);
    start_listing(it, kListPrimaryKeys);
    int index = table_arg(table);
    if (index < 0) return not_mine(it);
    it->listing.table = index;
    if (!paypal_has_key(paypal_table_at(index))) it->at_end = 1;
    return DAL_OK;
}

int SQISpecialColumns(void *handle, int identifier, DalText, DalText, DalText table, int, int) {
    PaypalIterator *it = pit(handle);
    start_listing(it, kListSpecialColumns);
    int index = table_arg(table);
    if (index < 0) return not_mine(it);
    it->listing.table = index;
    // Only the best row identifier (SQL_BEST_ROWID) has rows: the key.
    if (identifier != kBestRowId || !paypal_has_key(paypal_table_at(index))) it->at_end = 1;
    return DAL_OK;
}

int SQIStatistics(void *handle, DalText, DalText, DalText table, int, int) {
    PaypalIterator *it = pit(handle);
    start_listing(it, kListStatistics);
    int index = table_arg(table);
    if (index < 0) return not_mine(it);
    it->listing.table = index;
    return DAL_OK;
}

int SQIColumnPrivileges(void *handle, DalText, DalText, DalText, DalText) {
    start_listing(pit(handle), kListEmpty);
    pit(handle)->at_end = 1;
    return DAL_OK;
}

int SQITablePrivileges(void *handle, DalText, DalText, DalText) {
    start_listing(pit(handle), kListEmpty);
    pit(handle)->at_end = 1;
    return DAL_OK;
}

int SQIForeignKeys(void *handle, DalText, DalText, DalText, DalText, DalText, DalText) {
    start_listing(pit(handle), kListEmpty);
    pit(handle)->at_end = 1;
    return DAL_OK;
}
