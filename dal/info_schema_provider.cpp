// The INFO_SCHEMA provider (index 1): lookups of its tables, and scans that
// run the driver's own catalogue listings and rename their columns.
//
// It takes no part in the ODBC catalogue calls (its listing slots are
// empty) and refuses every change.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dal/catalog_listing.h"
#include "dal/dal.h"
#include "dal/info_schema.h"
#include "dal/local_provider.h"
#include "dal/local_rows.h"
#include "engine/types.h"
#include "support/value.h"

namespace {

enum class InfoMode : int32_t {
    kNone = -1,
    kEmpty = 1,
    kColumnPrivileges = 2,
    kColumns = 3,
    kIndexes = 4,
    kServerInfo = 7,
    kTablePrivileges = 8,
    kTables = 9,
    kViews = 12,
    kSystemTables = 13,
    kRestrictions = 20,
    kProcedureColumns = 21,
    kHistory = 22,
};

struct InfoEnv {
    void *owner;  // the connection
    DalLink link; // the DAL and its services
};

struct InfoIterator {
    InfoEnv *env;
    void *owner;                  // receives diagnostics
    InfoMode mode = InfoMode::kNone;
    DalIterator *main_it = nullptr;   // the main listing's DAL iterator
    DalIterator *table_it = nullptr;  // per-table listings (column privileges, indexes)
    CatalogListing main;
    CatalogListing per_table;
    bool per_table_open = false;
    int server_position = -1;
    int table_position = 0, column_position = -1;
    std::string table_argument;   // COLUMNS: the TABLE_NAME restriction's value
    std::vector<InfoHistoryRow> history;  // PAYPAL_HISTORY
    ~InfoIterator() {
        if (main_it) DALCloseIterator(main_it);
        if (table_it) DALCloseIterator(table_it);
    }
};

InfoIterator *iit(void *it) { return static_cast<InfoIterator *>(it); }

int alloc_env(const DalLink *link, void **out, const char *) {
    *out = nullptr;
    std::unique_ptr<InfoEnv> env(new (std::nothrow) InfoEnv{link ? link->owner : nullptr, link ? *link : DalLink{}});
    if (!env) return DAL_ERROR;
    *out = env.release();
    return DAL_OK;
}

int free_env(void *env, DalProvider *) {
    std::unique_ptr<InfoEnv> owned(static_cast<InfoEnv *>(env));
    return DAL_OK;
}

const InfoTableDef *own_table(DalText schema, DalText table) {
    if (dal_text_view(schema) != kInfoSchemaName) return nullptr;
    return info_table_by_name(dal_text_view(table));
}

int get_table_info(void *, void *, DalText, DalText schema, DalText table, TableInfo *out) {
    const InfoTableDef *def = own_table(schema, table);
    if (!def) return DAL_NOT_MINE;
    out->catalog[0] = '\0';
    std::snprintf(out->schema, sizeof out->schema, "%s", kInfoSchemaName);
    std::snprintf(out->table, sizeof out->table, "%s", def->name);
    out->column_count = def->column_count;
    out->key_count = 0;
    return DAL_OK;
}

// Answers 0 for its own tables, so that the DAL records who owns the columns
// and the validator accepts them.
int get_column_info(void *, void *, DalText, DalText schema, DalText table, int count, ColumnInfo *out) {
    const InfoTableDef *def = own_table(schema, table);
    if (!def) return DAL_NOT_MINE;
    if (count > def->column_count) count = def->column_count;
    for (int i = 0; i < count; i++) info_column_info(def, i, &out[i]);
    return DAL_OK;
}

int reset_iterator(void *) { return DAL_OK; }

// Runs one catalogue call on `*dit` (opened on first use) and reads its rows.
int run_listing(InfoIterator *it, DalIterator **dit, CatalogListing *listing, const CatalogCall &call) {
    if (!*dit) {
        DalServiceRequest r{};
        r.handle = it->owner;
        if (dal_service(it->env->link, DAL_SERVICE_RECORD, &r) != DAL_OK || !r.result) {
            PostDalError(it->env->link.dal, it->owner, kDalComponent, 0, "HY000", "General error: no connection for INFO_SCHEMA");
            return DAL_ERROR;
        }
        *dit = DALOpenIterator(it->owner, static_cast<DalRecord *>(r.result));
        if (!*dit) return DAL_ERROR;
    } else if (DALResetIterator(*dit) != DAL_OK) {
        return DAL_ERROR;
    }
    if (catalog_call_dal(*dit, &call) == DAL_ERROR) return DAL_ERROR;
    const bool by_fk = false;
    return catalog_listing_read(listing, catalog_result_def(call.function, by_fk), *dit, it->owner, 0) < 0 ? DAL_ERROR
                                                                                                          : DAL_OK;
}

CatalogCall call_of(CatalogFunction f) {
    CatalogCall c{};
    c.function = f;
    for (DalText &t : c.texts) t = DalText{nullptr, SQL_NTS};
    c.provider_index = -1;
    return c;
}

// The value of an equality restriction on the column named `name`, as the
// bare text it compares with (no quotes: providers compare names exactly).
bool restriction_text(int count, Restriction **restrictions, const char *name, std::string *out) {
    for (int i = 0; i < count; i++) {
        const Restriction *r = restrictions ? restrictions[i] : nullptr;
        if (!r || r->op != RESTRICT_EQ || !r->column || std::string_view(r->column->column) != name) continue;
        const Value *v = r->value;
        if (!v || v->is_null || v->type != VT_CHAR || !v->data.s) continue;
        out->assign(v->data.s, static_cast<size_t>(v->length < 0 ? 0 : v->length));
        return true;
    }
    return false;
}

int start_query(void *itp, TableInfo *info, const ListNode *, const ListNode *, int count, Restriction **restrictions) {
    InfoIterator *it = iit(itp);
    it->mode = InfoMode::kEmpty;
    it->per_table_open = false;
    if (std::string_view(info->schema) != kInfoSchemaName) {
        PostDalError(it->env->link.dal, it->owner, kDalComponent, 0, "HY000", "General error: not an INFO_SCHEMA table");
        return DAL_ERROR;
    }
    const InfoTableDef *def = info_table_by_name(info->table);
    if (!def) return DAL_NOT_MINE;
    CatalogCall call = call_of(CatalogFunction::kTables);
    switch (def->table) {
        case InfoTable::kColumns:
            call = call_of(CatalogFunction::kColumns);
            if (restriction_text(count, restrictions, "TABLE_NAME", &it->table_argument))
                call.texts[2] = DalText{it->table_argument.c_str(), SQL_NTS};
            it->mode = InfoMode::kColumns;
            break;
        case InfoTable::kColumnPrivileges: it->mode = InfoMode::kColumnPrivileges; break;
        case InfoTable::kIndexes: it->mode = InfoMode::kIndexes; break;
        case InfoTable::kTables: it->mode = InfoMode::kTables; break;
        case InfoTable::kSystemTables:
            call.texts[3] = DalText{"SYSTEM TABLE", SQL_NTS};
            it->mode = InfoMode::kSystemTables;
            break;
        case InfoTable::kViews:
            call.texts[3] = DalText{"VIEW", SQL_NTS};
            it->mode = InfoMode::kViews;
            break;
        case InfoTable::kTablePrivileges:
            call = call_of(CatalogFunction::kTablePrivileges);
            it->mode = InfoMode::kTablePrivileges;
            break;
        case InfoTable::kServerInfo:
            it->mode = InfoMode::kServerInfo;
            it->server_position = -1;
            return DAL_OK;
        case InfoTable::kProcedureColumns:
            call = call_of(CatalogFunction::kProcedureColumns);
            it->mode = InfoMode::kProcedureColumns;
            break;
        case InfoTable::kPaypalRestrictions:
            it->mode = InfoMode::kRestrictions;
            it->table_position = 0;
            it->column_position = -1;
            return DAL_OK;
        case InfoTable::kPaypalHistory: {
            it->mode = InfoMode::kHistory;
            it->history.clear();
            it->table_position = -1;
            const InfoHistorySource source = info_history_source();
            DalServiceRequest r{};
            r.handle = it->owner;
            if (!source || dal_service(it->env->link, DAL_SERVICE_RECORD, &r) != DAL_OK || !r.result) return DAL_OK;
            return source(static_cast<DalRecord *>(r.result), it->owner, it->history) ? DAL_OK : DAL_ERROR;
        }
        default: return DAL_OK;  // always empty
    }
    const int r = run_listing(it, &it->main_it, &it->main, call);
    if (r != DAL_OK) it->mode = InfoMode::kEmpty;
    return r;
}

// Column privileges and indexes: one listing per table of the main listing.
int next_per_table(InfoIterator *it) {
    for (;;) {
        if (it->per_table_open && catalog_listing_next(&it->per_table) == 0) {
            const CatalogCell *index_name = catalog_listing_cell(&it->per_table, 6);
            if (it->mode == InfoMode::kIndexes && (!index_name || index_name->is_null)) continue;
            return DAL_OK;
        }
        if (catalog_listing_next(&it->main) != 0) return DAL_NO_DATA;
        CatalogCall call = call_of(it->mode == InfoMode::kIndexes ? CatalogFunction::kStatistics
                                                                   : CatalogFunction::kColumnPrivileges);
        for (int c = 0; c < 3; c++) {
            const CatalogCell *cell = catalog_listing_cell(&it->main, c + 1);
            if (cell && !cell->is_null) call.texts[c] = DalText{cell->text, SQL_NTS};
        }
        call.numbers[0] = SQL_INDEX_ALL;
        it->per_table_open = false;
        if (run_listing(it, &it->table_it, &it->per_table, call) != DAL_OK) return DAL_ERROR;
        it->per_table_open = true;
    }
}

int next_row(void *itp) {
    InfoIterator *it = iit(itp);
    switch (it->mode) {
        case InfoMode::kColumns:
        case InfoMode::kTablePrivileges:
        case InfoMode::kTables:
        case InfoMode::kViews:
        case InfoMode::kSystemTables:
        case InfoMode::kProcedureColumns: return catalog_listing_next(&it->main) == 0 ? DAL_OK : DAL_NO_DATA;
        case InfoMode::kColumnPrivileges:
        case InfoMode::kIndexes: return next_per_table(it);
        case InfoMode::kServerInfo:
            if (it->server_position + 1 >= kInfoServerEntryCount) return DAL_NO_DATA;
            it->server_position++;
            return DAL_OK;
        case InfoMode::kRestrictions:
            return info_restriction_next(&it->table_position, &it->column_position) ? DAL_OK : DAL_NO_DATA;
        case InfoMode::kHistory:
            if (it->table_position + 1 >= static_cast<int>(it->history.size())) return DAL_NO_DATA;
            it->table_position++;
            return DAL_OK;
        default: return DAL_NO_DATA;
    }
}

struct Out {
    int c_type;
    void *buffer;
    SQLLEN capacity;
    SQLLEN *length;
    int text(std::string_view s) const { return put_row_text(s, buffer, capacity, length); }
    int number(int32_t n) const { return put_row_number(n, c_type, buffer, capacity, length); }
    int null() const { return put_row_null(length); }
    // A cell of a listing as it is; `empty_null` turns NULL text into "".
    int cell(const CatalogListing *l, int column, bool empty_null = false) const {
        const CatalogCell *c = catalog_listing_cell(l, column);
        if (!c) return null();
        const bool is_text = l->def->columns[column - 1].sql_type != SQL_SMALLINT &&
                             l->def->columns[column - 1].sql_type != SQL_INTEGER;
        if (c->is_null) return empty_null && is_text ? text("") : null();
        return is_text ? text(std::string_view(c->text, static_cast<size_t>(c->length))) : number(c->number);
    }
};

const char *interval_name(int subcode) {
    static constexpr const char *kNames[] = {"",         "YEAR",          "MONTH",          "DAY",
                                             "HOUR",     "MINUTE",        "SECOND",         "YEAR TO MONTH",
                                             "DAY TO HOUR", "DAY TO MINUTE", "DAY TO SECOND", "HOUR TO MINUTE",
                                             "HOUR TO SECOND", "MINUTE TO SECOND"};
    return subcode >= 1 && subcode <= 13 ? kNames[subcode] : "";
}

int columns_data(const InfoIterator *it, int column, const Out &o) {
    const CatalogListing *l = &it->main;
    const CatalogCell *type_cell = catalog_listing_cell(l, 5);
    ExtendedType t{};
    const bool typed = type_cell && !type_cell->is_null && type_template(type_cell->number, &t) == 0;
    const bool interval = typed && t.verbose_type == SQL_INTERVAL;
    switch (column) {
        case 1: return o.cell(l, 1);
        case 2: return o.cell(l, 2, true);
        case 3: return o.cell(l, 3);
        case 4: return o.cell(l, 4);
        case 5: return o.cell(l, 17);
        case 6: return o.cell(l, 13);
        case 7: return o.cell(l, 18);
        case 8: return typed ? o.text(t.type_name) : o.cell(l, 6);
        case 9: return o.cell(l, 7);
        case 10: return o.cell(l, 16);
        case 11: return o.cell(l, 9);
        case 12: return o.cell(l, 10);
        case 13: return typed && t.radix == 10 ? o.number(t.scale) : o.null();
        case 14: return typed && t.verbose_type == SQL_DATETIME ? o.number(t.precision) : o.null();
        case 15: return o.text(interval ? interval_name(t.subcode) : "");
        case 16: return interval ? o.number(t.interval_precision) : o.null();
        default: return o.null();
    }
}

int get_data(void *itp, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    const InfoIterator *it = iit(itp);
    const Out o{c_type, buffer, capacity, length};
    const CatalogListing *main = &it->main;
    const CatalogListing *per = &it->per_table;
    switch (it->mode) {
        case InfoMode::kColumns: return columns_data(it, column, o);
        case InfoMode::kProcedureColumns: {
            // From SQLProcedureColumns: name, column, type (1 input, 3 result), ordinal,
            // type name, size, digits, nullable, default, remarks.
            if (column == 3) {
                const CatalogCell *type = catalog_listing_cell(main, 5);
                return o.text(type && !type->is_null && type->number == SQL_PARAM_INPUT ? "IN" : "RESULT");
            }
            static constexpr int kFrom[] = {0, 3, 4, 0, 18, 7, 8, 10, 19, 14, 13};
            return column >= 1 && column <= 10 ? o.cell(main, kFrom[column]) : o.null();
        }
        case InfoMode::kColumnPrivileges: {
            static constexpr int kFrom[] = {0, 5, 6, 1, 2, 3, 4, 7, 8};
            return column >= 1 && column <= 8 ? o.cell(per, kFrom[column]) : o.null();
        }
        case InfoMode::kIndexes:
            switch (column) {
                case 1: return o.cell(per, 1);
                case 2: return o.cell(per, 2);
                case 3: return o.cell(per, 3);
                case 4: return o.cell(per, 9);
                case 5: return o.cell(per, 6);
                case 6: return o.cell(per, 8);
                case 7: {
                    const CatalogCell *c = catalog_listing_cell(per, 4);
                    return o.text(c && !c->is_null && c->number == 1 ? "YES" : "NO");
                }
                case 8: return o.cell(per, 10);
                default: return o.null();
            }
        case InfoMode::kTablePrivileges: {
            static constexpr int kFrom[] = {0, 4, 5, 1, 2, 3, 6, 7};
            return column >= 1 && column <= 7 ? o.cell(main, kFrom[column]) : o.null();
        }
        case InfoMode::kTables:
        case InfoMode::kSystemTables:
            if (column == 4) {
                const CatalogCell *c = catalog_listing_cell(main, 4);
                const bool view = c && !c->is_null && std::string_view(c->text, static_cast<size_t>(c->length)) == "VIEW";
                return o.text(view ? "VIEW" : "BASE TABLE");
            }
            return column >= 1 && column <= 5 ? o.cell(main, column, column != 5) : o.null();
        case InfoMode::kViews:
            switch (column) {
                case 1:
                case 2:
                case 3: return o.cell(main, column, true);
                case 5: return o.text("NONE");
                case 6: return o.text("NO");
                default: return o.null();
            }
        case InfoMode::kServerInfo: {
            if (it->server_position < 0 || it->server_position >= kInfoServerEntryCount) return o.null();
            const InfoServerEntry &e = info_server_entries()[it->server_position];
            if (column == 1) return o.text(e.attribute);
            if (column != 2) return o.null();
            if (e.value) return o.text(e.value);
            char answer[256] = "";
            DalServiceRequest r{};
            r.handle = it->owner;
            r.code = e.info_type;
            r.buffer = answer;
            r.capacity = sizeof answer - 1;
            if (dal_service(it->env->link, DAL_SERVICE_GET_INFO, &r) != DAL_OK) return o.text("");
            if (!e.is_number) return o.text(answer);
            int16_t n = 0;
            std::memcpy(&n, answer, sizeof n);
            char digits[16];
            std::snprintf(digits, sizeof digits, "%d", static_cast<int>(n));
            return o.text(digits);
        }
        case InfoMode::kRestrictions: {
            InfoRestrictionRow row{};
            if (!info_restriction_row(it->table_position, it->column_position, &row)) return o.null();
            switch (column) {
                case 1: return o.text(row.table);
                case 2: return o.text(row.column);
                case 3: return o.number(row.ordinal);
                case 4: return o.text(row.sent);
                case 5: return o.text(row.sent_as);
                case 6: return row.parameter ? o.text(row.parameter) : o.null();
                case 7: return row.operators ? o.text(row.operators) : o.null();
                case 8: return o.text(row.required);
                case 9: {
                    if (!row.values) return o.null();
                    std::string listed;
                    for (const char *const *v = row.values; *v; ++v) listed += (listed.empty() ? "" : ", ") + std::string(*v);
                    return o.text(listed);
                }
                case 10: return row.values && row.values[0] ? o.text(row.values[0]) : o.null();
                default: return o.null();
            }
        }
        case InfoMode::kHistory: {
            if (it->table_position < 0 || it->table_position >= static_cast<int>(it->history.size())) return o.null();
            const InfoHistoryRow &row = it->history[static_cast<size_t>(it->table_position)];
            switch (column) {
                case 1: return o.text(row.range_start);
                case 2: return o.text(row.range_end);
                case 3: return o.text(row.client_id);
                case 4: return o.text(row.base_url);
                case 5: return o.text(row.balance_only);
                case 6: return o.number(static_cast<int32_t>(row.rows));
                case 7: return o.text(row.fetched_at);
                default: return o.null();
            }
        }
        default: return o.null();
    }
}

// The ODBC catalogue calls list nothing of INFO_SCHEMA.
int empty(void *it) {
    iit(it)->mode = InfoMode::kEmpty;
    return DAL_OK;
}
int empty4(void *it, DalText, DalText, DalText, DalText) { return empty(it); }
int empty3(void *it, DalText, DalText, DalText) { return empty(it); }
int empty_special(void *it, int, DalText, DalText, DalText, int, int) { return empty(it); }
int empty_statistics(void *it, DalText, DalText, DalText, int, int) { return empty(it); }
int empty_foreign(void *it, DalText, DalText, DalText, DalText, DalText, DalText) { return empty(it); }
int empty_types(void *it, int) { return empty(it); }

}  // namespace

void info_schema_provider_slots(DalSlots *s) {
    local_provider_common_slots(s);  // empty listings, refused changes
    s->SQIAllocEnv = alloc_env;
    s->SQIFreeEnv = free_env;
    s->SQIGetTableInfo = get_table_info;
    s->SQIGetColumnInfo = get_column_info;
    s->SQIOpenIterator = local_open_iterator<InfoIterator>;
    s->SQICloseIterator = local_close_iterator<InfoIterator>;
    s->SQIResetIterator = reset_iterator;
    s->SQINextRow = next_row;
    s->SQIGetData = get_data;
    s->SQIStartQuery = start_query;
    s->SQITables = empty4;
    s->SQIColumns = empty4;
    s->SQIColumnPrivileges = empty4;
    s->SQIPrimaryKeys = empty3;
    s->SQISpecialColumns = empty_special;
    s->SQIStatistics = empty_statistics;
    s->SQIForeignKeys = empty_foreign;
    s->SQITablePrivileges = empty3;
    s->SQIGetTypeInfo = empty_types;
}
