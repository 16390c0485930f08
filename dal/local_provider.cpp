// Shared slots of the stored-views and INFO_SCHEMA providers. Their
// catalogues are empty: lookups answer "not mine", listings are empty
// results, and data changes return 3 without a word.
#include "dal/local_provider.h"

#include <new>

namespace {

int alloc_env(const DalLink *link, void **out, const char *) {
    auto *env = new (std::nothrow) LocalEnv{};
    if (!env) return DAL_ERROR;
    if (link) env->link = *link;
    DalServiceRequest version{};
    version.handle = env->link.owner;
    env->odbc_version = dal_service(env->link, DAL_SERVICE_ODBC_VERSION, &version) == DAL_OK && version.code == 2 ? 2 : 3;
    *out = env;
    return DAL_OK;
}
int free_env(void *env, DalProvider *) {
    delete static_cast<LocalEnv *>(env);
    return DAL_OK;
}
int connect(void *, ConnAttrList *, void *, char *out, int) {
    if (out) out[0] = '\0';
    return DAL_OK;
}
int disconnect(void *) { return DAL_OK; }
int not_mine_table(void *, void *, DalText, DalText, DalText, TableInfo *) { return DAL_NOT_MINE; }
int not_mine_columns(void *, void *, DalText, DalText, DalText, int, ColumnInfo *) { return DAL_NOT_MINE; }
void *open_iterator(void *owner, void *env, DalProvider *, const Node *) {
    auto *it = new (std::nothrow) LocalIterator{};
    if (!it) return nullptr;
    it->env = static_cast<LocalEnv *>(env);
    it->owner = owner;
    it->exhausted = 1;
    return it;
}
int close_iterator(void *it) {
    delete static_cast<LocalIterator *>(it);
    return DAL_OK;
}
int reset_iterator(void *it) {
    static_cast<LocalIterator *>(it)->exhausted = 1;
    return DAL_OK;
}
int next_row(void *it) { return static_cast<LocalIterator *>(it)->exhausted ? DAL_NO_DATA : DAL_OK; }
int exhaust(void *it) {
    static_cast<LocalIterator *>(it)->exhausted = 1;
    return DAL_OK;
}
int empty4(void *it, DalText, DalText, DalText, DalText) { return exhaust(it); }
int empty3(void *it, DalText, DalText, DalText) { return exhaust(it); }
int empty_special(void *it, int, DalText, DalText, DalText, int, int) { return exhaust(it); }
int empty_statistics(void *it, DalText, DalText, DalText, int, int) { return exhaust(it); }
int empty_foreign(void *it, DalText, DalText, DalText, DalText, DalText, DalText) { return exhaust(it); }
int null_data(void *, int, int, void *, SQLLEN, SQLLEN *length) {
    if (length) *length = SQL_NULL_DATA;
    return DAL_OK;
}
int not_mine_query(void *, TableInfo *, const ListNode *, const ListNode *, int, Restriction **) { return DAL_NOT_MINE; }
int fail_table(void *, TableInfo *) { return DAL_ERROR; }
int fail_table_arg(void *, TableInfo *, const Node *) { return DAL_ERROR; }
int ok_table_arg(void *, TableInfo *, const Node *) { return DAL_OK; }
int fail_pk(void *, void *, DalText, DalText, DalText, int, List *) { return DAL_ERROR; }
int fail_fetch(void *, TableInfo *, void *, int, Restriction *) { return DAL_ERROR; }
int fail_insert(void *, TableInfo *, int, void *, Restriction *, void *) { return DAL_ERROR; }
int fail_delete(void *, TableInfo *, int, void *, Restriction *) { return DAL_ERROR; }
int fail_update(void *, TableInfo *, int, void *, int, void *, Restriction *, Restriction *) { return DAL_ERROR; }
int no_transaction(void *, void *) { return DAL_OK; }
int no_end_transaction(void *, void *, int) { return DAL_OK; }
int fail_add_column(void *, TableInfo *, int, const ListNode *) { return DAL_ERROR; }

}  // namespace

void local_provider_common_slots(DalSlots *s) {
    *s = DalSlots{
        .SQIAllocEnv = alloc_env,
        .SQIFreeEnv = free_env,
        .SQIConnect = connect,
        .SQIDisconnect = disconnect,
        .SQIGetTableInfo = not_mine_table,
        .SQIGetColumnInfo = not_mine_columns,
        .SQIOpenIterator = open_iterator,
        .SQICloseIterator = close_iterator,
        .SQIResetIterator = reset_iterator,
        .SQINextRow = next_row,
        .SQITables = empty4,
        .SQIColumns = empty4,
        .SQIColumnPrivileges = empty4,
        .SQIPrimaryKeys = empty3,
        .SQISpecialColumns = empty_special,
        .SQIStatistics = empty_statistics,
        .SQIForeignKeys = empty_foreign,
        .SQITablePrivileges = empty3,
        .SQIGetData = null_data,
        .SQIStartQuery = not_mine_query,
        .SQIGetTypeInfo = nullptr,
        .SQICreateTable = fail_table_arg,
        .SQICreateIndex = ok_table_arg,
        .SQIDropTable = fail_table,
        .SQIDropIndex = fail_table_arg,
        .SQIGetPKInfo = fail_pk,
        .SQIFetch = fail_fetch,
        .SQIInsertRow = fail_insert,
        .SQIDeleteRow = fail_delete,
        .SQIUpdateRow = fail_update,
        .SQIStartTransaction = no_transaction,
        .SQIEndTransaction = no_end_transaction,
        .SQIGrant = fail_table_arg,
        .SQIRevoke = fail_table_arg,
        .SQIDropColumn = fail_table_arg,
        .SQIAddColumn = fail_add_column,
    };
}
