// SQLGetFunctions and the function table it answers from.
//
// The three forms: SQL_API_ODBC3_ALL_FUNCTIONS fills a bitmap of 250 16-bit
// words; SQL_API_ALL_FUNCTIONS fills 100 words, one per ODBC 2 function
// number; any other number answers one word, SQL_TRUE or SQL_FALSE.
#include <cstring>
#include <iterator>

#include "odbc/functions.h"
#include "odbc/odbc_api.h"
#include "odbc/state.h"

namespace {

// clang-format off
constexpr OdbcFunction kFunctions[] = {
    {SQL_API_SQLALLOCCONNECT, "SQLAllocConnect", true},
    {SQL_API_SQLALLOCENV, "SQLAllocEnv", true},
    {SQL_API_SQLALLOCSTMT, "SQLAllocStmt", true},
    {SQL_API_SQLBINDCOL, "SQLBindCol", true},
    {SQL_API_SQLCANCEL, "SQLCancel", true},
    {SQL_API_SQLCOLATTRIBUTE, "SQLColAttribute", true},
    {SQL_API_SQLCOLATTRIBUTES, "SQLColAttributes", true},
    {SQL_API_SQLCONNECT, "SQLConnect", true},
    {SQL_API_SQLDESCRIBECOL, "SQLDescribeCol", true},
    {SQL_API_SQLDISCONNECT, "SQLDisconnect", true},
    {SQL_API_SQLERROR, "SQLError", true},
    {SQL_API_SQLEXECDIRECT, "SQLExecDirect", true},
    {SQL_API_SQLEXECUTE, "SQLExecute", true},
    {SQL_API_SQLFETCH, "SQLFetch", true},
    {SQL_API_SQLFREECONNECT, "SQLFreeConnect", true},
    {SQL_API_SQLFREEENV, "SQLFreeEnv", true},
    {SQL_API_SQLFREESTMT, "SQLFreeStmt", true},
    {SQL_API_SQLGETCURSORNAME, "SQLGetCursorName", true},
    {SQL_API_SQLNUMRESULTCOLS, "SQLNumResultCols", true},
    {SQL_API_SQLPREPARE, "SQLPrepare", true},
    {SQL_API_SQLROWCOUNT, "SQLRowCount", true},
    {SQL_API_SQLSETCURSORNAME, "SQLSetCursorName", true},
    {SQL_API_SQLSETPARAM, "SQLSetParam", true},
    {SQL_API_SQLTRANSACT, "SQLTransact", true},
    {SQL_API_SQLBULKOPERATIONS, "SQLBulkOperations", true},
    {SQL_API_SQLCOLUMNS, "SQLColumns", true},
    {SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect", true},
    {SQL_API_SQLGETCONNECTOPTION, "SQLGetConnectOption", true},
    {SQL_API_SQLGETDATA, "SQLGetData", true},
    {SQL_API_SQLGETFUNCTIONS, "SQLGetFunctions", true},
    {SQL_API_SQLGETINFO, "SQLGetInfo", true},
    {SQL_API_SQLGETSTMTOPTION, "SQLGetStmtOption", true},
    {SQL_API_SQLGETTYPEINFO, "SQLGetTypeInfo", true},
    {SQL_API_SQLPARAMDATA, "SQLParamData", true},
    {SQL_API_SQLPUTDATA, "SQLPutData", true},
    {SQL_API_SQLSETCONNECTOPTION, "SQLSetConnectOption", true},
    {SQL_API_SQLSETSTMTOPTION, "SQLSetStmtOption", true},
    {SQL_API_SQLSPECIALCOLUMNS, "SQLSpecialColumns", true},
    {SQL_API_SQLSTATISTICS, "SQLStatistics", true},
    {SQL_API_SQLTABLES, "SQLTables", true},
    {SQL_API_SQLBROWSECONNECT, "SQLBrowseConnect", true},
    {SQL_API_SQLCOLUMNPRIVILEGES, "SQLColumnPrivileges", true},
    {SQL_API_SQLDESCRIBEPARAM, "SQLDescribeParam", true},
    {SQL_API_SQLEXTENDEDFETCH, "SQLExtendedFetch", true},
    {SQL_API_SQLFOREIGNKEYS, "SQLForeignKeys", true},
    {SQL_API_SQLMORERESULTS, "SQLMoreResults", true},
    {SQL_API_SQLNATIVESQL, "SQLNativeSql", true},
    {SQL_API_SQLNUMPARAMS, "SQLNumParams", true},
    {SQL_API_SQLPARAMOPTIONS, "SQLParamOptions", true},
    {SQL_API_SQLPRIMARYKEYS, "SQLPrimaryKeys", true},
    {SQL_API_SQLPROCEDURECOLUMNS, "SQLProcedureColumns", true},
    {SQL_API_SQLPROCEDURES, "SQLProcedures", true},
    {SQL_API_SQLSETPOS, "SQLSetPos", true},
    {SQL_API_SQLSETSCROLLOPTIONS, "SQLSetScrollOptions", true},
    {SQL_API_SQLTABLEPRIVILEGES, "SQLTablePrivileges", true},
    {SQL_API_SQLBINDPARAMETER, "SQLBindParameter", true},
    {SQL_API_SQLALLOCHANDLESTD, "SQLAllocHandleStd", true},
    {SQL_API_SQLALLOCHANDLE, "SQLAllocHandle", true},
    {SQL_API_SQLBINDPARAM, "SQLBindParam", true},
    {SQL_API_SQLCLOSECURSOR, "SQLCloseCursor", true},
    {SQL_API_SQLCOPYDESC, "SQLCopyDesc", true},
    {SQL_API_SQLENDTRAN, "SQLEndTran", true},
    {SQL_API_SQLFREEHANDLE, "SQLFreeHandle", true},
    {SQL_API_SQLGETCONNECTATTR, "SQLGetConnectAttr", true},
    {SQL_API_SQLGETDESCFIELD, "SQLGetDescField", true},
    {SQL_API_SQLGETDESCREC, "SQLGetDescRec", true},
    {SQL_API_SQLGETDIAGFIELD, "SQLGetDiagField", true},
    {SQL_API_SQLGETDIAGREC, "SQLGetDiagRec", true},
    {SQL_API_SQLGETENVATTR, "SQLGetEnvAttr", true},
    {SQL_API_SQLGETSTMTATTR, "SQLGetStmtAttr", true},
    {SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr", true},
    {SQL_API_SQLSETDESCFIELD, "SQLSetDescField", true},
    {SQL_API_SQLSETDESCREC, "SQLSetDescRec", true},
    {SQL_API_SQLSETENVATTR, "SQLSetEnvAttr", true},
    {SQL_API_SQLSETSTMTATTR, "SQLSetStmtAttr", true},
    {SQL_API_SQLFETCHSCROLL, "SQLFetchScroll", true},
};
// clang-format on

constexpr unsigned kBitmapWords = SQL_API_ODBC3_ALL_FUNCTIONS_SIZE;  // 250
constexpr unsigned kOdbc2Words = 100;
static_assert(kBitmapWords == 250, "ODBC 3 bitmap of 250 words");

constexpr bool ids_fit() {
    for (const OdbcFunction &f : kFunctions)
        if (f.id >= kBitmapWords * 16) return false;
    return true;
}
static_assert(ids_fit(), "every function number fits the ODBC 3 bitmap");

}  // namespace

const OdbcFunction *odbc_functions(size_t *count) {
    *count = std::size(kFunctions);
    return kFunctions;
}

bool function_supported(unsigned id) {
    for (const OdbcFunction &f : kFunctions)
        if (f.id == id && f.exported) return true;
    return false;
}

CV_EXPORT SQLRETURN SQL_API SQLGetFunctions(SQLHDBC ConnectionHandle, SQLUSMALLINT FunctionId,
                                            SQLUSMALLINT *Supported) {
    DBC *dbc = as_dbc(ConnectionHandle);
    if (!dbc) return SQL_INVALID_HANDLE;
    return odbc_guard(dbc->diag, [&]() -> SQLRETURN {
        SetupErrorHeader(dbc->diag, 0);
        if (conn_transition(1, dbc, SQL_API_SQLGETFUNCTIONS) != 0) return SQL_ERROR;
        if (!Supported) return post_error(dbc->diag, "HY009", "Invalid use of null pointer");
        if (FunctionId == SQL_API_ODBC3_ALL_FUNCTIONS) {
            std::memset(Supported, 0, kBitmapWords * sizeof(SQLUSMALLINT));
            for (const OdbcFunction &f : kFunctions)
                if (f.exported) Supported[f.id >> 4] |= static_cast<SQLUSMALLINT>(1u << (f.id & 15));
        } else if (FunctionId == SQL_API_ALL_FUNCTIONS) {
            // The ODBC 2 form shows only the numbers below 100.
            std::memset(Supported, 0, kOdbc2Words * sizeof(SQLUSMALLINT));
            for (const OdbcFunction &f : kFunctions)
                if (f.exported && f.id < kOdbc2Words) Supported[f.id] = SQL_TRUE;
        } else {
            *Supported = function_supported(FunctionId) ? SQL_TRUE : SQL_FALSE;
        }
        return SQL_SUCCESS;
    });
}
