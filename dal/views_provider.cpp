// The stored-views provider (index 0): its environment, iterator and slots.
//
// Names resolve to views only through the view store; with the null store
// every lookup answers "not mine" and every listing is empty. The provider
// also answers SQLGetTypeInfo for the whole driver.
#include <memory>
#include <new>

#include "dal/dal.h"
#include "dal/local_provider.h"
#include "dal/local_rows.h"
#include "dal/views.h"
#include "sqi/catalog.h"

namespace {

ViewIterator *vit(void *it) { return static_cast<ViewIterator *>(it); }

int ask_odbc_version(const DalLink &link) {
    DalServiceRequest r{};
    r.handle = link.owner;
    return dal_service(link, DAL_SERVICE_ODBC_VERSION, &r) == DAL_OK && r.code == 3 ? 3 : 2;
}

int alloc_env(const DalLink *link, void **out, const char *) {
    *out = nullptr;
    std::unique_ptr<ViewEnv> env(new (std::nothrow) ViewEnv{});
    if (!env) return DAL_ERROR;
    if (link) env->link = *link;
    env->owner = env->link.owner;
    env->odbc_version = ask_odbc_version(env->link);
    env->types = view_type_list(env->odbc_version);
    env->store = view_null_store();
    *out = env.release();
    return DAL_OK;
}

int free_env(void *env, DalProvider *) {
    std::unique_ptr<ViewEnv> owned(static_cast<ViewEnv *>(env));
    return DAL_OK;
}

int connect(void *env, ConnAttrList *, void *, char *out, int) {
    auto *e = static_cast<ViewEnv *>(env);
    if (out) out[0] = '\0';
    // The application's ODBC version as it stands at connect picks the type list.
    e->odbc_version = ask_odbc_version(e->link);
    e->types = view_type_list(e->odbc_version);
    e->store = view_null_store();
    return DAL_OK;
}

void fill_table_info(TableInfo *out, std::string_view catalog, std::string_view schema, std::string_view name) {
    std::snprintf(out->catalog, sizeof out->catalog, "%.*s", static_cast<int>(catalog.size()), catalog.data());
    std::snprintf(out->schema, sizeof out->schema, "%.*s", static_cast<int>(schema.size()), schema.data());
    std::snprintf(out->table, sizeof out->table, "%.*s", static_cast<int>(name.size()), name.data());
    out->key_count = 0;
}

// A stored view still has to compile into an internal statement before it
// can describe its columns; none does yet (see views.h), so a view that is
// found answers as a view that no longer compiles.
int get_table_info(void *owner, void *env, DalText catalog, DalText schema, DalText table, TableInfo *out) {
    auto *e = static_cast<ViewEnv *>(env);
    std::string sql(kViewMaxText + 1, '\0');
    if (view_load(e->store, dal_text_view(catalog), dal_text_view(schema), dal_text_view(table), sql.data(),
                  nullptr, 0) != 0)
        return DAL_NOT_MINE;
    fill_table_info(out, dal_text_view(catalog), dal_text_view(schema), dal_text_view(table));
    PostDalError(e->link.dal, owner, kDalComponent, 0, "HY000", "General error: view cannot be compiled");
    return DAL_ERROR;
}

int get_column_info(void *owner, void *env, DalText catalog, DalText schema, DalText table, int, ColumnInfo *) {
    auto *e = static_cast<ViewEnv *>(env);
    std::string sql(kViewMaxText + 1, '\0');
    char names[kViewMaxNames + 1][kViewNameSize];
    if (view_load(e->store, dal_text_view(catalog), dal_text_view(schema), dal_text_view(table), sql.data(), names,
                  kViewMaxNames + 1) != 0)
        return DAL_NOT_MINE;
    PostDalError(e->link.dal, owner, kDalComponent, 0, "HY000", "General error: view cannot be compiled");
    return DAL_ERROR;
}

int reset_iterator(void *) { return DAL_OK; }

void clear_modes(ViewIterator *it) {
    it->exhausted = it->query_running = it->table_listing = it->column_listing = 0;
    it->schema_list = it->type_listing = 0;
    it->walk = ViewWalk{};
    for (auto &p : it->patterns) p.clear();
}

bool passes(const std::string &pattern, std::string_view name) {
    return pattern.empty() || pattern == "%" || catalog_pattern_match(pattern, name);
}

int tables(void *itp, DalText catalog, DalText schema, DalText table, DalText types) {
    ViewIterator *it = vit(itp);
    clear_modes(it);
    it->table_listing = 1;
    if (types.text && dal_text_view(types).find("VIEW") == std::string_view::npos) {
        it->exhausted = 1;
        return DAL_OK;
    }
    // The schema enumeration (SQL_ALL_SCHEMAS): one row per view carrying its schema.
    const auto len = [](DalText t) {
        return t.text ? (t.length == SQL_NTS ? static_cast<int>(dal_text_view(t).size()) : t.length) : 0;
    };
    if (len(catalog) == 0 && len(table) == 0 && len(types) == 0 && schema.text &&
        (schema.length == 1 || schema.length == SQL_NTS)) {
        it->schema_list = 1;
        return DAL_OK;
    }
    if (it->env->odbc_version == 3) it->patterns[0] = dal_text_view(catalog);
    it->patterns[1] = dal_text_view(schema);
    it->patterns[2] = dal_text_view(table);
    return DAL_OK;
}

int columns(void *itp, DalText catalog, DalText schema, DalText table, DalText column) {
    ViewIterator *it = vit(itp);
    clear_modes(it);
    it->column_listing = 1;
    it->patterns[0] = dal_text_view(catalog);
    it->patterns[1] = dal_text_view(schema);
    it->patterns[2] = dal_text_view(table);
    it->patterns[3] = dal_text_view(column);
    return DAL_OK;
}

int start_query(void *itp, TableInfo *info, const ListNode *, const ListNode *, int, Restriction **) {
    ViewIterator *it = vit(itp);
    clear_modes(it);
    std::string sql(kViewMaxText + 1, '\0');
    if (view_load(it->env->store, info->catalog, info->schema, info->table, sql.data(), nullptr, 0) != 0)
        return DAL_NOT_MINE;
    PostDalError(it->env->link.dal, it->owner, kDalComponent, 0, "HY000", "General error: view cannot be compiled");
    return DAL_ERROR;
}

int type_info(void *itp, int data_type) {
    ViewIterator *it = vit(itp);
    clear_modes(it);
    it->type_listing = 1;
    it->type_position = 0;
    it->requested_type = view_type_requested(data_type, it->env->odbc_version);
    return DAL_OK;
}

int next_row(void *itp) {
    ViewIterator *it = vit(itp);
    if (it->exhausted) return DAL_NO_DATA;
    if (it->table_listing) {
        while (view_walk_next(it->env->store, &it->walk) == 0) {
            if (it->schema_list) return DAL_OK;
            if (passes(it->patterns[0], it->walk.catalog) && passes(it->patterns[1], it->walk.schema) &&
                passes(it->patterns[2], it->walk.name))
                return DAL_OK;
        }
        it->exhausted = 1;
        return DAL_NO_DATA;
    }
    if (it->column_listing) {
        // A view's columns come from its compiled query; no view compiles
        // yet, so the listing ends at the first view (as for a failed one).
        it->exhausted = 1;
        return DAL_NO_DATA;
    }
    if (it->type_listing) return view_type_next(it);
    return DAL_ERROR;
}

int get_data(void *itp, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length) {
    ViewIterator *it = vit(itp);
    if (it->type_listing) return view_type_column(it, column, c_type, buffer, capacity, length);
    if (it->table_listing) {
        if (it->schema_list) return column == 2 ? put_row_text(it->walk.schema, buffer, capacity, length) : put_row_null(length);
        switch (column) {
            case 1: return put_row_text(it->walk.catalog, buffer, capacity, length);
            case 2: return put_row_text(it->walk.schema, buffer, capacity, length);
            case 3: return put_row_text(it->walk.name, buffer, capacity, length);
            case 4: return put_row_text("VIEW", buffer, capacity, length);
            default: return put_row_text("", buffer, capacity, length);
        }
    }
    return put_row_null(length);
}

int exhaust(ViewIterator *it) {
    clear_modes(it);
    it->exhausted = 1;
    return DAL_OK;
}
int empty4(void *it, DalText, DalText, DalText, DalText) { return exhaust(vit(it)); }
int empty3(void *it, DalText, DalText, DalText) { return exhaust(vit(it)); }
int empty_special(void *it, int, DalText, DalText, DalText, int, int) { return exhaust(vit(it)); }
int empty_statistics(void *it, DalText, DalText, DalText, int, int) { return exhaust(vit(it)); }
int empty_foreign(void *it, DalText, DalText, DalText, DalText, DalText, DalText) { return exhaust(vit(it)); }

int no_permissions(void *it, TableInfo *, const Node *) {
    PostDalError(vit(it)->env->link.dal, vit(it)->owner, kDalComponent, 0, "HY000", "General error: Permissions not currently supported on VIEWS");
    return DAL_ERROR;
}

}  // namespace

void views_provider_slots(DalSlots *s) {
    local_provider_common_slots(s);  // the change and definition slots
    s->SQIAllocEnv = alloc_env;
    s->SQIFreeEnv = free_env;
    s->SQIConnect = connect;
    s->SQIGetTableInfo = get_table_info;
    s->SQIGetColumnInfo = get_column_info;
    s->SQIOpenIterator = local_open_iterator<ViewIterator>;
    s->SQICloseIterator = local_close_iterator<ViewIterator>;
    s->SQIResetIterator = reset_iterator;
    s->SQINextRow = next_row;
    s->SQIGetData = get_data;
    s->SQITables = tables;
    s->SQIColumns = columns;
    s->SQIColumnPrivileges = empty4;
    s->SQIPrimaryKeys = empty3;
    s->SQISpecialColumns = empty_special;
    s->SQIStatistics = empty_statistics;
    s->SQIForeignKeys = empty_foreign;
    s->SQITablePrivileges = empty3;
    s->SQIStartQuery = start_query;
    s->SQIGetTypeInfo = type_info;
    s->SQIGrant = no_permissions;
    s->SQIRevoke = no_permissions;
}
