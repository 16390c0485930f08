// Catalogue listings fanned out to every provider, or routed to one by a
// LINK name written in front of the catalog ("LINK$catalog").
#include <strings.h>

#include <cstring>

#include "dal/dal_internal.h"

int dal_provider_by_name(const DalRecord *dal, std::string_view name) {
    for (int i = 0; i < dal->count; i++) {
        const DalProvider *p = dal->providers[i];
        if (p && std::strlen(p->name) == name.size() && strncasecmp(p->name, name.data(), name.size()) == 0)
            return i;
    }
    return -1;
}

namespace {

// A catalog argument split at its first '$'.
struct LinkedCatalog {
    bool has_link = false;
    std::string_view link;
    char real[kDalNameSize] = "";
    DalText text{nullptr, SQL_NTS};  // the real catalog, null when empty
};

LinkedCatalog split_catalog(DalText catalog) {
    LinkedCatalog c;
    std::string_view t = dal_text_view(catalog);
    if (t.size() >= kDalNameSize) t = t.substr(0, kDalNameSize - 1);
    size_t dollar = t.find('$');
    if (!catalog.text || dollar == std::string_view::npos) return c;
    c.has_link = true;
    c.link = t.substr(0, dollar);
    std::string_view rest = t.substr(dollar + 1);
    std::memcpy(c.real, rest.data(), rest.size());
    c.real[rest.size()] = '\0';
    c.text = rest.empty() ? DalText{nullptr, SQL_NTS} : DalText{c.real, SQL_NTS};
    return c;
}

// Calls `call(provider, iterator, catalog)` on the providers: only the one a
// LINK names, or all of them with the catalog unchanged. A failing provider
// in a fan-out is left out of the listing without failing it.
template <typename Call>
int fan_out(DalIterator *it, DalCatalogKind kind, DalText catalog, Call &&call) {
    if (dal_open_all(it) != DAL_OK) return DAL_ERROR;
    it->catalog_kind = kind;
    it->position = 0;
    it->single_provider = 0;
    it->first_provider_only = 0;
    it->end_reached = 0;
    DalRecord *dal = it->dal;
    LinkedCatalog lc = split_catalog(catalog);
    int target = lc.has_link ? dal_provider_by_name(dal, lc.link) : -1;
    if (target >= 0) {
        for (int i = 0; i < dal->count; i++)
            if (dal->providers[i]) dal->providers[i]->status = 3;
        DalProvider *p = dal->providers[target];
        int r = call(p, it->iterators[target], lc.text);
        p->status = r;
        return r;
    }
    bool info = false;
    for (int i = 0; i < dal->count; i++) {
        DalProvider *p = dal->providers[i];
        if (!p) continue;
        int r = call(p, it->iterators[i], catalog);
        p->status = r == DAL_ERROR ? 3 : 0;
        info |= r == DAL_INFO;
    }
    return info ? DAL_INFO : DAL_OK;
}

}  // namespace

int DALTables(DalIterator *it, DalText catalog, DalText schema, DalText table, DalText types) {
    return fan_out(it, CATALOG_TABLES, catalog, [&](DalProvider *p, void *pit, DalText cat) {
        return p->slots.SQITables ? p->slots.SQITables(pit, cat, schema, table, types) : DAL_ERROR;
    });
}

int DALColumns(DalIterator *it, DalText catalog, DalText schema, DalText table, DalText column) {
    return fan_out(it, CATALOG_COLUMNS, catalog, [&](DalProvider *p, void *pit, DalText cat) {
        return p->slots.SQIColumns ? p->slots.SQIColumns(pit, cat, schema, table, column) : DAL_ERROR;
    });
}

int DALColumnPrivileges(DalIterator *it, DalText catalog, DalText schema, DalText table, DalText column) {
    return fan_out(it, CATALOG_PRIVILEGES, catalog, [&](DalProvider *p, void *pit, DalText cat) {
        return p->slots.SQIColumnPrivileges ? p->slots.SQIColumnPrivileges(pit, cat, schema, table, column)
                                            : DAL_ERROR;
    });
}

int DALTablePrivileges(DalIterator *it, DalText catalog, DalText schema, DalText table) {
    return fan_out(it, CATALOG_PRIVILEGES, catalog, [&](DalProvider *p, void *pit, DalText cat) {
        return p->slots.SQITablePrivileges ? p->slots.SQITablePrivileges(pit, cat, schema, table) : DAL_ERROR;
    });
}

int DALPrimaryKeys(DalIterator *it, DalText catalog, DalText schema, DalText table) {
    return fan_out(it, CATALOG_PRIMARY_KEYS, catalog, [&](DalProvider *p, void *pit, DalText cat) {
        return p->slots.SQIPrimaryKeys ? p->slots.SQIPrimaryKeys(pit, cat, schema, table) : DAL_ERROR;
    });
}

int DALSpecialColumns(DalIterator *it, int identifier, DalText catalog, DalText schema, DalText table,
                      int scope, int nullable) {
    return fan_out(it, CATALOG_SPECIAL_COLUMNS, catalog, [&](DalProvider *p, void *pit, DalText cat) {
        return p->slots.SQISpecialColumns
                   ? p->slots.SQISpecialColumns(pit, identifier, cat, schema, table, scope, nullable)
                   : DAL_ERROR;
    });
}

int DALStatistics(DalIterator *it, DalText catalog, DalText schema, DalText table, int unique, int accuracy,
                  int provider_index) {
    auto call = [&](DalProvider *p, void *pit, DalText cat) {
        return p->slots.SQIStatistics ? p->slots.SQIStatistics(pit, cat, schema, table, unique, accuracy)
                                      : DAL_ERROR;
    };
    if (provider_index < 0) return fan_out(it, CATALOG_STATISTICS, catalog, call);
    if (provider_index >= it->dal->count || dal_open_all(it) != DAL_OK) return DAL_ERROR;
    it->catalog_kind = CATALOG_STATISTICS;
    it->position = 0;
    it->single_provider = 0;
    it->end_reached = 0;
    for (int i = 0; i < it->dal->count; i++)
        if (it->dal->providers[i]) it->dal->providers[i]->status = 3;
    DalProvider *p = it->dal->providers[provider_index];
    int r = call(p, it->iterators[provider_index], catalog);
    p->status = r;
    return r;
}

int DALForeignKeys(DalIterator *it, DalText pk_catalog, DalText pk_schema, DalText pk_table,
                   DalText fk_catalog, DalText fk_schema, DalText fk_table) {
    if (dal_open_all(it) != DAL_OK) return DAL_ERROR;
    it->catalog_kind = CATALOG_FOREIGN_KEYS;
    it->position = 0;
    it->single_provider = 0;
    it->end_reached = 0;
    DalRecord *dal = it->dal;
    LinkedCatalog pk = split_catalog(pk_catalog), fk = split_catalog(fk_catalog);
    int pk_target = pk.has_link ? dal_provider_by_name(dal, pk.link) : -1;
    int fk_target = fk.has_link ? dal_provider_by_name(dal, fk.link) : -1;
    if (pk_target >= 0 && fk_target >= 0 && pk_target != fk_target) {
        PostDalError(it->dal, it->owner, kGatewayComponent, 0, "IM001", "SQLForeignKeys not currently supported across LINKS");
        return DAL_ERROR;
    }
    int target = pk_target >= 0 ? pk_target : fk_target;
    auto call = [&](DalProvider *p, void *pit, DalText pc, DalText fc) {
        return p->slots.SQIForeignKeys ? p->slots.SQIForeignKeys(pit, pc, pk_schema, pk_table, fc, fk_schema, fk_table)
                                       : DAL_ERROR;
    };
    if (target >= 0) {
        for (int i = 0; i < dal->count; i++)
            if (dal->providers[i]) dal->providers[i]->status = 3;
        DalProvider *p = dal->providers[target];
        int r = call(p, it->iterators[target], pk_target >= 0 ? pk.text : pk_catalog,
                     fk_target >= 0 ? fk.text : fk_catalog);
        p->status = r;
        return r;
    }
    bool info = false;
    for (int i = 0; i < dal->count; i++) {
        DalProvider *p = dal->providers[i];
        if (!p) continue;
        int r = call(p, it->iterators[i], pk_catalog, fk_catalog);
        p->status = r == DAL_ERROR ? 3 : 0;
        info |= r == DAL_INFO;
    }
    return info ? DAL_INFO : DAL_OK;
}

namespace {

template <typename Call>
int every_provider(DalIterator *it, Call &&call) {
    if (dal_open_all(it) != DAL_OK) return DAL_ERROR;
    it->catalog_kind = CATALOG_NONE;
    it->position = 0;
    it->single_provider = 0;
    it->end_reached = 0;
    bool info = false;
    for (int i = 0; i < it->dal->count; i++) {
        DalProvider *p = it->dal->providers[i];
        if (!p) continue;
        int r = call(p, it->iterators[i]);
        p->status = r < 0 || r == DAL_ERROR ? 3 : 0;
        info |= r == DAL_INFO;
    }
    return info ? DAL_INFO : DAL_OK;
}

}  // namespace

int DALProcedures(DalIterator *it, DalText catalog, DalText schema, DalText procedure) {
    return every_provider(it, [&](DalProvider *p, void *pit) {
        return p->slots.SQIProcedures ? p->slots.SQIProcedures(pit, catalog, schema, procedure) : -1;
    });
}

int DALProcedureColumns(DalIterator *it, DalText catalog, DalText schema, DalText procedure, DalText column) {
    return every_provider(it, [&](DalProvider *p, void *pit) {
        return p->slots.SQIProcedureColumns ? p->slots.SQIProcedureColumns(pit, catalog, schema, procedure, column)
                                            : -1;
    });
}
