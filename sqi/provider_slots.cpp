// The PayPal provider's slot table. The session slots are real; the
// catalogue, scans and row changes answer as an empty catalogue until the
// PayPal tables are served: lookups say "not mine", listings are empty,
// changes are refused.
#include "dal/dal.h"
#include "sqi/scan.h"
#include "sqi/session.h"

namespace {

PaypalIterator *pit(void *it) { return static_cast<PaypalIterator *>(it); }

int exhaust(void *it) {
    pit(it)->at_end = 1;
    return DAL_OK;
}
int not_mine_table(void *, void *, DalText, DalText, DalText, TableInfo *) { return DAL_NOT_MINE; }
int not_mine_columns(void *, void *, DalText, DalText, DalText, int, ColumnInfo *) { return DAL_NOT_MINE; }
int empty4(void *it, DalText, DalText, DalText, DalText) { return exhaust(it); }
int empty3(void *it, DalText, DalText, DalText) { return exhaust(it); }
int empty_special(void *it, int, DalText, DalText, DalText, int, int) { return exhaust(it); }
int empty_statistics(void *it, DalText, DalText, DalText, int, int) { return exhaust(it); }
int empty_foreign(void *it, DalText, DalText, DalText, DalText, DalText, DalText) { return exhaust(it); }
int no_type_info(void *, int) { return DAL_OK; }
int refuse(void *it) {
    paypal_post(pit(it)->env, "HYC00", "Optional feature not implemnted");
    return DAL_ERROR;
}
int refuse_table(void *it, TableInfo *) { return refuse(it); }
int refuse_table_arg(void *it, TableInfo *, void *) { return refuse(it); }
int no_pk(void *, void *, DalText, DalText, DalText, int, void *) { return DAL_ERROR; }
int refuse_fetch(void *it, TableInfo *, void *, int, Restriction *) { return refuse(it); }
int refuse_insert(void *it, TableInfo *, int, void *, void *, void *) { return refuse(it); }
int refuse_delete(void *it, TableInfo *, int, void *, Restriction *) { return refuse(it); }
int refuse_update(void *it, TableInfo *, int, void *, int, void *, Restriction *, void *) { return refuse(it); }
int no_transaction(void *, void *) { return DAL_OK; }
int no_end_transaction(void *, void *, int) { return DAL_OK; }
int refuse_add_column(void *it, TableInfo *, int, void *) { return refuse(it); }

}  // namespace

void sqi_provider_slots(DalSlots *s) {
    *s = DalSlots{
        .SQIAllocEnv = SQIAllocEnv,
        .SQIFreeEnv = SQIFreeEnv,
        .SQIConnect = SQIConnect,
        .SQIDisconnect = SQIDisconnect,
        .SQIGetInfo = SQIGetInfo,
        .SQISetAttr = SQISetAttr,
        .SQIGetTableInfo = not_mine_table,
        .SQIGetColumnInfo = not_mine_columns,
        .SQIOpenIterator = SQIOpenIterator,
        .SQICloseIterator = SQICloseIterator,
        .SQIResetIterator = SQIResetIterator,
        .SQINextRow = SQINextRow,
        .SQITables = empty4,
        .SQIColumns = empty4,
        .SQIColumnPrivileges = empty4,
        .SQIPrimaryKeys = empty3,
        .SQISpecialColumns = empty_special,
        .SQIStatistics = empty_statistics,
        .SQIForeignKeys = empty_foreign,
        .SQITablePrivileges = empty3,
        .SQIGetData = SQIGetData,
        .SQIStartQuery = SQIStartQuery,
        .SQIGetTypeInfo = no_type_info,
        .SQICreateTable = refuse_table_arg,
        .SQICreateIndex = refuse_table_arg,
        .SQIDropTable = refuse_table,
        .SQIDropIndex = refuse_table_arg,
        .SQIGetPKInfo = no_pk,
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
