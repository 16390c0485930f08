// Environment state machine: states 0 freed, 1 allocated, 2 has connections.
#include "odbc/state.h"

static int refuse(ENV *env, const char *state, const char *text) {
    SetReturnCode(env->diag, SQL_ERROR);
    PostError(env->diag, 2, 0, 0, 0, 0, "ISO 9075", state, "%s", text);
    return -1;
}

int env_transition(int apply, ENV *env, int function_id, int argument) {
    const bool version_unset = env->odbc_version == -1;
    switch (function_id) {
        case SQL_API_SQLALLOCHANDLE:
            if (argument == SQL_HANDLE_ENV) {
                if (apply) env->state = ENV_ALLOCATED;
            } else if (argument == SQL_HANDLE_DBC) {
                if (version_unset) return refuse(env, "HY010", "Function sequence error");
                if (apply) {
                    env->connections++;
                    env->state = ENV_HAS_CONNECTIONS;
                }
            }
            return 0;
        case SQL_API_SQLFREEHANDLE:
            if (argument == SQL_HANDLE_ENV) {
                if (env->state == ENV_HAS_CONNECTIONS)
                    return refuse(env, "HY010", "Function sequence error");
                if (apply) env->state = ENV_FREED;
            } else if (argument == SQL_HANDLE_DBC) {
                if (apply && env->state == ENV_HAS_CONNECTIONS) {
                    if (--env->connections <= 0) {
                        env->connections = 0;
                        env->state = ENV_ALLOCATED;
                    }
                }
            }
            return 0;
        case SQL_API_SQLGETENVATTR:
            if (env->state == ENV_ALLOCATED && version_unset)
                return refuse(env, "HY010", "Function sequence error");
            return 0;
        case SQL_API_SQLSETENVATTR:
            if (env->state == ENV_HAS_CONNECTIONS)
                return refuse(env, "HY011", "Attribute cannot be set now");
            if (argument == SQL_ATTR_ODBC_VERSION) return 0;
            if (version_unset) return refuse(env, "HY010", "Function sequence error");
            return 0;
        default: return 0;
    }
}
