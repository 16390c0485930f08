// Name lookup for the validator: which provider owns a table, its columns
// and primary key; provider capabilities.
#include <cstring>

#include "dal/dal_internal.h"

int DALGetTableInfo(void *owner, DalRecord *dal, const char *link, DalText catalog, DalText schema,
                    DalText table, TableInfo *out) {
    // Last to first: a PayPal table shadows a view of the same name, and a
    // view shadows an INFO_SCHEMA table.
    const bool by_link = link && *link;
    for (int i = dal->count - 1; i >= 0; i--) {
        DalProvider *p = dal->providers[i];
        if (!p || !p->slots.SQIGetTableInfo) continue;
        if (by_link && dal_provider_by_name(dal, link) != i) continue;
        int r = p->slots.SQIGetTableInfo(owner, p->handle, catalog, schema, table, out);
        if (r == DAL_NOT_MINE) continue;
        if (r == DAL_OK || r == DAL_INFO) {
            out->provider_index = i;
            out->passthrough_allowed = p->slots.SQIPassThrough && !p->passthrough_disabled;
            std::memcpy(out->link_name, p->name, sizeof out->link_name);
        }
        return r;
    }
    return DAL_NOT_MINE;
}

int DALGetColumnInfo(void *owner, DalRecord *dal, DalText catalog, DalText schema, DalText table, int count,
                     ColumnInfo *out, const TableInfo *info) {
    int i = info->provider_index;
    if (i < 0 || i >= dal->count || !dal->providers[i]) return DAL_ERROR;
    DalProvider *p = dal->providers[i];
    if (!p->slots.SQIGetColumnInfo) return DAL_ERROR;
    int r = p->slots.SQIGetColumnInfo(owner, p->handle, catalog, schema, table, count, out);
    if (r == DAL_OK || r == DAL_INFO) {
        for (int c = 0; c < count; c++) {
            out[c].provider_index = i;
            out[c].provider_extra = 0;
        }
    }
    return r;
}

int DALGetPKInfo(void *owner, DalRecord *dal, DalText catalog, DalText schema, DalText table, int count,
                 List *keys, const TableInfo *info) {
    int i = info->provider_index;
    if (i < 0 || i >= dal->count || !dal->providers[i]) return DAL_ERROR;
    DalProvider *p = dal->providers[i];
    if (!p->slots.SQIGetPKInfo) return DAL_ERROR;
    return p->slots.SQIGetPKInfo(owner, p->handle, catalog, schema, table, count, keys);
}

int DALGetInfo(DalIterator *it, const TableInfo *info, SqiInfoCode code, SqiInfo *out) {
    int i = info->provider_index;
    if (i < 0 || i >= it->dal->count || !it->dal->providers[i]) return DAL_ERROR;
    DalProvider *p = it->dal->providers[i];
    if (!p->slots.SQIGetInfo) return DAL_NO_DATA;
    return p->slots.SQIGetInfo(p->handle, code, out);
}
