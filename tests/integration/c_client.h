/* What the C clients of the integration tests share: one line per check,
   the failure count, and a connection through the driver manager. */
#ifndef CV_TESTS_C_CLIENT_H
#define CV_TESTS_C_CLIENT_H

#include <sql.h>
#include <sqlext.h>
#include <stdio.h>

static int failures = 0;

static void check(int ok, const char *what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) failures++;
}

/* An ODBC 3 environment and a connection made with `text`; 0 when the
   connection failed (said on stdout). */
static int connect_client(const char *text, SQLHENV *env, SQLHDBC *dbc) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env);
    SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
    SQLAllocHandle(SQL_HANDLE_DBC, *env, dbc);
    if (SQL_SUCCEEDED(SQLDriverConnect(*dbc, NULL, (SQLCHAR *)text, SQL_NTS, NULL, 0, NULL, SQL_DRIVER_NOPROMPT)))
        return 1;
    printf("FAIL connect\n");
    return 0;
}

#endif
