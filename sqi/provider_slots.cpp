// The PayPal provider's slot table. The session and catalogue slots are
// real (catalogue slots in catalog_info.cpp and catalog_listings.cpp, scans
// in query.cpp, paging.cpp and get_data.cpp); row changes are refused until
// they are served.
#include "dal/dal.h"
#include "sqi/catalog.h"
#include "sqi/scan.h"
#include "sqi/session.h"

namespace {

PaypalIterator *pit(void *it) { return static_cast<PaypalIterator *>(it); }

int no_type_info(void *, int) { return DAL_OK; }
int refuse(void *it) {
    paypal_post(pit(it)->env, "HYC00", "Optional feature not implemnted");
    return DAL_ERROR;
}
int refuse_table(void *it, TableInfo *) { return refuse(it); }
int refuse_table_arg(void *it, TableInfo *, const Node *) { return refuse(it); }
int refuse_fetch(void *it, TableInfo *, void *, int, Restriction *) { return refuse(it); }
int refuse_insert(void *it, TableInfo *, int, void *, Restriction *, void *) { return refuse(it); }
int refuse_delete(void *it, TableInfo *, int, void *, Restriction *) { return refuse(it); }
int refuse_update(void *it, TableInfo *, int, void *, int, void *, Restriction *, Restriction *) { return refuse(it); }
int no_transaction(void *, void *) { return DAL_OK; }
int no_end_transaction(void *, void *, int) { return DAL_OK; }
int refuse_add_column(void *it, TableInfo *, int, const ListNode *) { return refuse(it); }

}  // namespace

void sqi_provider_slots(DalSlots *s) {
    *s = DalSlots{
        .SQIAllocEnv = SQIAllocEnv,
        .SQIFreeEnv = SQIFreeEnv,
        .SQIConnect = SQIConnect,
        .SQIDisconnect = SQIDisconnect,
        .SQIGetInfo = SQIGetInfo,
        .SQISetAttr = SQISetAttr,
        .SQIGetTableInfo = SQIGetTableInfo,
        .SQIGetColumnInfo = SQIGetColumnInfo,
        .SQIOpenIterator = SQIOpenIterator,
        .SQICloseIterator = SQICloseIterator,
        .SQIResetIterator = SQIResetIterator,
        .SQINextRow = SQINextRow,
        .SQITables = SQITables,
        .SQIColumns = SQIColumns,
        .SQIColumnPrivileges = SQIColumnPrivileges,
        .SQIPrimaryKeys = SQIPrimaryKeys,
        .SQISpecialColumns = SQISpecialColumns,
        .SQIStatistics = SQIStatistics,
        .SQIForeignKeys = SQIForeignKeys,
        .SQITablePrivileges = SQITablePrivileges,
        .SQIGetData = SQIGetData,
        .SQIStartQuery = SQIStartQuery,
        .SQIGetTypeInfo = no_type_info,
        .SQICreateTable = refuse_table_arg,
        .SQICreateIndex = refuse_table_arg,
        .SQIDropTable = refuse_table,
        .SQIDropIndex = refuse_table_arg,
        .SQIGetPKInfo = SQIGetPKInfo,
        .SQIFetch = refuse_fetch,
        .SQIInsertRow = refuse_insert,
        .SQIDeleteRow = refuse_delete,
        .SQIUpdateRow = refuse_update,
        .SQIStartTransaction = no_transaction,
        .SQIEndTransaction = no_end_transaction,
        .SQIGrant = refuse_table_arg,
        .SQIRevoke = refuse_table_arg,
        .SQIDropColumn = refuse_table_arg,
        .SQIAddColumn = refuse_add_column,
    };
}
