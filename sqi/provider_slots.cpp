// The PayPal provider's slot table. The session and catalogue slots are
// real (catalogue slots in catalog_info.cpp and catalog_listings.cpp, scans
// in query.cpp, paging.cpp and get_data.cpp, row changes and the DDL
// refusals in row_changes.cpp, procedures in procedure_run.cpp and
// procedure_listings.cpp).
#include "dal/dal.h"
#include "sqi/catalog.h"
#include "sqi/procedures.h"
#include "sqi/row_changes.h"
#include "sqi/scan.h"
#include "sqi/session.h"

namespace {

int no_type_info(void *, int) { return DAL_OK; }
int no_transaction(void *, void *) { return DAL_OK; }
int no_end_transaction(void *, void *, int) { return DAL_OK; }

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
        .SQICreateTable = SQICreateTable,
        .SQICreateIndex = SQICreateIndex,
        .SQIDropTable = SQIDropTable,
        .SQIDropIndex = SQIDropIndex,
        .SQIGetPKInfo = SQIGetPKInfo,
        .SQIFetch = SQIFetch,
        .SQIInsertRow = SQIInsertRow,
        .SQIDeleteRow = SQIDeleteRow,
        .SQIUpdateRow = SQIUpdateRow,
        .SQIStartTransaction = no_transaction,
        .SQIEndTransaction = no_end_transaction,
        .SQIGrant = SQIGrant,
        .SQIRevoke = SQIRevoke,
        .SQIDropColumn = SQIDropColumn,
        .SQIAddColumn = SQIAddColumn,
        .SQIProcedures = SQIProcedures,
        .SQIProcedureColumns = SQIProcedureColumns,
        .SQIGetProcedureInfo = SQIGetProcedureInfo,
        .SQIRunProcedure = SQIRunProcedure,
    };
}
