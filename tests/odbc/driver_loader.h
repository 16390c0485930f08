// Opens the built driver with dlopen and resolves its exports, as a driver
// manager does. Tests call the driver only through these pointers.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

struct Driver {
    void *lib = nullptr;
    SQLRETURN (*AllocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *);
    SQLRETURN (*AllocHandleStd)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *);
    SQLRETURN (*AllocEnv)(SQLHENV *);
    SQLRETURN (*AllocConnect)(SQLHENV, SQLHDBC *);
    SQLRETURN (*AllocStmt)(SQLHDBC, SQLHSTMT *);
    SQLRETURN (*FreeHandle)(SQLSMALLINT, SQLHANDLE);
    SQLRETURN (*FreeEnv)(SQLHENV);
    SQLRETURN (*FreeConnect)(SQLHDBC);
    SQLRETURN (*FreeStmt)(SQLHSTMT, SQLUSMALLINT);
    SQLRETURN (*GetDiagRec)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *, SQLCHAR *,
                            SQLSMALLINT, SQLSMALLINT *);
    SQLRETURN (*GetDiagRecW)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR *, SQLINTEGER *,
                             SQLWCHAR *, SQLSMALLINT, SQLSMALLINT *);
    SQLRETURN (*GetDiagField)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT, SQLPOINTER,
                              SQLSMALLINT, SQLSMALLINT *);
    SQLRETURN (*GetDiagFieldW)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLSMALLINT, SQLPOINTER,
                               SQLSMALLINT, SQLSMALLINT *);
    SQLRETURN (*Error)(SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR *, SQLINTEGER *, SQLCHAR *, SQLSMALLINT,
                       SQLSMALLINT *);
    SQLRETURN (*GetEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *);
    SQLRETURN (*SetEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
    SQLRETURN (*GetInfo)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *);
    SQLRETURN (*GetInfoW)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *);
    SQLRETURN (*GetFunctions)(SQLHDBC, SQLUSMALLINT, SQLUSMALLINT *);
    SQLRETURN (*GetConnectAttr)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *);
    SQLRETURN (*SetConnectAttr)(SQLHDBC, SQLINTEGER, SQLPOINTER, SQLINTEGER);
    SQLRETURN (*GetStmtAttr)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER *);
    SQLRETURN (*SetStmtAttr)(SQLHSTMT, SQLINTEGER, SQLPOINTER, SQLINTEGER);
    SQLRETURN (*GetDescField)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLINTEGER, SQLINTEGER *);
    SQLRETURN (*SetDescField)(SQLHDESC, SQLSMALLINT, SQLSMALLINT, SQLPOINTER, SQLINTEGER);
    SQLRETURN (*CopyDesc)(SQLHDESC, SQLHDESC);

    /// The driver shared by every test of the binary.
    static Driver &get();
    /// Address of an export by name (null when not exported).
    void *symbol(const char *name) const;
};

/// The SQLSTATE of record `n` of a handle ("" when there is none).
std::string sqlstate_of(SQLSMALLINT type, SQLHANDLE h, int n = 1);
/// Number of diagnostic records of a handle.
int diag_count_of(SQLSMALLINT type, SQLHANDLE h);
