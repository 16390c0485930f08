// Row changes routed to the table's provider, DDL routed by LINK name, and
// pass-through.
#include "dal/dal_internal.h"

namespace {

// The table's provider with its iterator open, or -1 (DAL_ERROR to return).
int table_provider(DalIterator *it, const TableInfo *info) {
    int i = info->provider_index;
    if (i < 0 || i >= it->dal->count || !it->dal->providers[i]) return -1;
    return dal_open_provider(it, i, nullptr) == DAL_OK ? i : -1;
}

// The provider a DDL statement goes to, or -1 after posting why none.
int ddl_provider(DalIterator *it, const char *link) {
    DalRecord *dal = it->dal;
    if (link && *link) {
        int i = dal_provider_by_name(dal, link);
        if (i < 0) PostDalError(it->dal, it->owner, kGatewayComponent, 0, "IM001", "Unable to match LINK specification");
        return i;
    }
    if (dal->count > kDalProviderCount) {
        PostDalError(it->dal, it->owner, kGatewayComponent, 0, "IM001",
                     "DDL operations not permitted with more than one active DAL without LINK specification");
        return -1;
    }
    return kSqiProvider < dal->count ? kSqiProvider : -1;
}

template <typename Slot, typename... Args>
int call_slot(DalIterator *it, int i, Slot slot, Args... args) {
    if (i < 0) return DAL_ERROR;
    if (!slot) return DAL_ERROR;
    return slot(it->iterators[i], args...);
}

}  // namespace

int DALFetch(DalIterator *it, TableInfo *info, int key_count, Restriction *keys) {
    int i = table_provider(it, info);
    if (i < 0) return DAL_ERROR;
    it->single_provider = 1;
    it->position = i;
    it->end_reached = 0;
    return call_slot(it, i, it->dal->providers[i]->slots.SQIFetch, info, static_cast<void *>(nullptr), key_count, keys);
}

int DALInsertRow(DalIterator *it, TableInfo *info, int column_count, Restriction *values) {
    int i = table_provider(it, info);
    return i < 0 ? DAL_ERROR
                 : call_slot(it, i, it->dal->providers[i]->slots.SQIInsertRow, info, column_count,
                             static_cast<void *>(nullptr), values, static_cast<void *>(nullptr));
}

int DALDeleteRow(DalIterator *it, TableInfo *info, int key_count, Restriction *keys) {
    int i = table_provider(it, info);
    return i < 0 ? DAL_ERROR
                 : call_slot(it, i, it->dal->providers[i]->slots.SQIDeleteRow, info, key_count,
                             static_cast<void *>(nullptr), keys);
}

int DALUpdateRow(DalIterator *it, TableInfo *info, int key_count, Restriction *keys, int set_count, Restriction *sets) {
    int i = table_provider(it, info);
    return i < 0 ? DAL_ERROR
                 : call_slot(it, i, it->dal->providers[i]->slots.SQIUpdateRow, info, key_count,
                             static_cast<void *>(nullptr), set_count, static_cast<void *>(nullptr), keys, sets);
}

int DALGrant(DalIterator *it, TableInfo *info, const Node *privileges) {
    int i = table_provider(it, info);
    return i < 0 ? DAL_ERROR : call_slot(it, i, it->dal->providers[i]->slots.SQIGrant, info, privileges);
}

int DALRevoke(DalIterator *it, TableInfo *info, const Node *privileges) {
    int i = table_provider(it, info);
    return i < 0 ? DAL_ERROR : call_slot(it, i, it->dal->providers[i]->slots.SQIRevoke, info, privileges);
}

int DALDropColumn(DalIterator *it, TableInfo *info, const Node *column) {
    int i = table_provider(it, info);
    return i < 0 ? DAL_ERROR : call_slot(it, i, it->dal->providers[i]->slots.SQIDropColumn, info, column);
}

int DALAddColumn(DalIterator *it, TableInfo *info, int count, const ListNode *columns) {
    int i = table_provider(it, info);
    return i < 0 ? DAL_ERROR : call_slot(it, i, it->dal->providers[i]->slots.SQIAddColumn, info, count, columns);
}

namespace {

template <typename SlotOf, typename... Args>
int ddl(DalIterator *it, const char *link, SlotOf slot_of, Args... args) {
    int i = ddl_provider(it, link);
    if (i < 0 || dal_open_provider(it, i, nullptr) != DAL_OK) return DAL_ERROR;
    auto slot = slot_of(it->dal->providers[i]->slots);
    return slot ? slot(it->iterators[i], args...) : DAL_ERROR;
}

}  // namespace

int DALCreateTable(DalIterator *it, TableInfo *info, const Node *definition) {
    return ddl(it, info->link_name, [](const DalSlots &s) { return s.SQICreateTable; }, info, definition);
}

int DALDropTable(DalIterator *it, TableInfo *info) {
    return ddl(it, info->link_name, [](const DalSlots &s) { return s.SQIDropTable; }, info);
}

int DALCreateIndex(DalIterator *it, TableInfo *info, const Node *index) {
    return ddl(it, info->link_name, [](const DalSlots &s) { return s.SQICreateIndex; }, info, index);
}

int DALDropIndex(DalIterator *it, TableInfo *info, const Node *index) {
    return ddl(it, info->link_name, [](const DalSlots &s) { return s.SQIDropIndex; }, info, index);
}

int DALCreateUser(DalIterator *it, const char *user, const char *password, const char *link) {
    int i = ddl_provider(it, link);
    if (i < 0) return DAL_ERROR;
    if (!it->dal->providers[i]->slots.SQICreateUser) {
        PostDalError(it->dal, it->owner, kGatewayComponent, 0, "IM001", "SQICreateUser not supported in SQI Driver");
        return DAL_ERROR;
    }
    if (dal_open_provider(it, i, nullptr) != DAL_OK) return DAL_ERROR;
    return it->dal->providers[i]->slots.SQICreateUser(it->iterators[i], user, password);
}

int DALDropUser(DalIterator *it, const char *user, const char *link) {
    int i = ddl_provider(it, link);
    if (i < 0) return DAL_ERROR;
    if (!it->dal->providers[i]->slots.SQIDropUser) {
        PostDalError(it->dal, it->owner, kGatewayComponent, 0, "IM001", "SQIDropUser not supported in SQI Driver");
        return DAL_ERROR;
    }
    if (dal_open_provider(it, i, nullptr) != DAL_OK) return DAL_ERROR;
    return it->dal->providers[i]->slots.SQIDropUser(it->iterators[i], user);
}

int DALAlterColumns(DalIterator *it, const char *table, int count, const ListNode *names) {
    if (it->dal->count > kDalProviderCount) {
        PostDalError(it->dal, it->owner, kGatewayComponent, 0, "IM001", "DDL operations not permitted with more than one active DAL");
        return DAL_ERROR;
    }
    if (kSqiProvider >= it->dal->count || dal_open_provider(it, kSqiProvider, reinterpret_cast<const Node *>(names)) != DAL_OK) return DAL_ERROR;
    auto slot = it->dal->providers[kSqiProvider]->slots.SQIAlterColumns;
    if (!slot) {
        PostDalError(it->dal, it->owner, kGatewayComponent, 0, "IM001", "DDL operation not supported");
        return DAL_ERROR;
    }
    return slot(it->iterators[kSqiProvider], table, count, names, 0, 0);
}

int DALPassThrough(DalIterator *it, const char *statement, int provider_index, void *argument) {
    if (provider_index < 0 || provider_index >= it->dal->count || !it->dal->providers[provider_index]) return DAL_ERROR;
    auto slot = it->dal->providers[provider_index]->slots.SQIPassThrough;
    if (!slot || dal_open_provider(it, provider_index, nullptr) != DAL_OK) return DAL_ERROR;
    it->single_provider = 1;
    it->position = provider_index;
    it->end_reached = 0;
    return slot(it->iterators[provider_index], statement, argument);
}
