// SQLGetEnvAttr and SQLSetEnvAttr.
#include "odbc/odbc_api.h"
#include "odbc/state.h"
#include "support/threads.h"

CV_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute,
                                          SQLPOINTER Value, SQLINTEGER /*BufferLength*/,
                                          SQLINTEGER * /*StringLength*/) {
    ENV *env = as_env(EnvironmentHandle);
    if (!env) return SQL_INVALID_HANDLE;
    MutexGuard guard(kConnectionStateLock);  // connections of other threads change the state
    SetupErrorHeader(env->diag, 0);
    if (env_transition(1, env, SQL_API_SQLGETENVATTR) != 0) return SQL_ERROR;
    SQLINTEGER v;
    switch (Attribute) {
        case SQL_ATTR_ODBC_VERSION: v = env->odbc_version; break;
        case SQL_ATTR_OUTPUT_NTS: v = SQL_TRUE; break;
        default: return post_error(env->diag, "HY024", "Invalid attribute value");
    }
    if (Value) *static_cast<SQLINTEGER *>(Value) = v;
    return SQL_SUCCESS;
}

CV_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER Attribute,
                                          SQLPOINTER Value, SQLINTEGER /*StringLength*/) {
    ENV *env = as_env(EnvironmentHandle);
    if (!env) return SQL_INVALID_HANDLE;
    MutexGuard guard(kConnectionStateLock);  // connections of other threads change the state
    SetupErrorHeader(env->diag, 0);
    if (env_transition(1, env, SQL_API_SQLSETENVATTR, Attribute) != 0) return SQL_ERROR;
    const auto v = reinterpret_cast<SQLLEN>(Value);
    switch (Attribute) {
        case SQL_ATTR_ODBC_VERSION:
            // Other layers choose ODBC 2 or ODBC 3 behaviour from this value;
            // an ODBC 3.8 application gets ODBC 3 behaviour.
            if (v == SQL_OV_ODBC2) env->odbc_version = 2;
            else if (v == SQL_OV_ODBC3 || v == SQL_OV_ODBC3_80) env->odbc_version = 3;
            else return post_error(env->diag, "HY024", "Invalid attribute value");
            return SQL_SUCCESS;
        case SQL_ATTR_CONNECTION_POOLING:
        case SQL_ATTR_CP_MATCH: return SQL_SUCCESS;
        case SQL_ATTR_OUTPUT_NTS:
            if (v != 0) return SQL_SUCCESS;
            SetReturnCode(env->diag, SQL_ERROR);
            PostError(env->diag, 2, 0, 0, 0, 0, "ODBC 3.0", "HYC00", "Optional feature not implemnted");
            return SQL_ERROR;
        default: return post_error(env->diag, "HY024", "Invalid attribute value");
    }
}
