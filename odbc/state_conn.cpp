// Connection state machine: 0 freed, 1 disconnected, 2 allocated, 3 browsing,
// 4 connected, 5 connected with statements, 6 transaction in progress.
// Runs inside process-wide lock 4 so that statements of one connection on
// different threads keep the statement count and transaction state right.
#include "dal/dal.h"
#include "odbc/state.h"
#include "support/threads.h"

namespace {

int refuse(DBC *dbc, const char *state, const char *text) {
    SetReturnCode(dbc->diag, SQL_ERROR);
    PostError(dbc->diag, 2, 0, 0, 0, 0, "ISO 9075", state, "%s", text);
    return -1;
}
int sequence_error(DBC *dbc) { return refuse(dbc, "HY010", "Function sequence error"); }
int not_connected(DBC *dbc) { return refuse(dbc, "08003", "Connection does not exist"); }
int name_in_use(DBC *dbc) { return refuse(dbc, "08002", "Connection name in use"); }
int cannot_set(DBC *dbc) { return refuse(dbc, "HY011", "Attribute cannot be set now"); }

bool in(int32_t s, int32_t lo, int32_t hi) { return s >= lo && s <= hi; }

// Attributes that may be read before the connection is made.
bool readable_unconnected(int attribute) {
    switch (attribute) {
        case SQL_ATTR_ACCESS_MODE:          // 101
        case SQL_ATTR_AUTOCOMMIT:           // 102
        case SQL_ATTR_LOGIN_TIMEOUT:        // 103
        case SQL_ATTR_TRACE:                // 104
        case SQL_ATTR_TRACEFILE:            // 105
        case SQL_ATTR_ODBC_CURSORS:         // 110
        case 30002:                         // driver-specific, readable early
            return true;
        default: return false;
    }
}

int transition(int apply, DBC *dbc, int function_id, int argument) {
    const int32_t s = dbc->state;
    switch (function_id) {
        case SQL_API_SQLALLOCHANDLE:
            if (argument == SQL_HANDLE_DBC) {
                if (env_transition(apply, dbc->env, SQL_API_SQLALLOCHANDLE, SQL_HANDLE_DBC) != 0)
                    return -1;
                if (apply) dbc->state = CONN_ALLOCATED;
            } else if (argument == SQL_HANDLE_STMT && apply) {
                if (s == CONN_CONNECTED) dbc->state = CONN_WITH_STATEMENTS;
                dbc->statements++;
            }
            return 0;

        case SQL_API_SQLDISCONNECT:
            if (s == CONN_IN_TRANSACTION) return refuse(dbc, "25000", "Invalid transaction state");
            if (s == CONN_ALLOCATED) return not_connected(dbc);
            if (apply) dbc->state = CONN_DISCONNECTED;
            return 0;

        case kValidateNonQuery:
            if (s == CONN_WITH_STATEMENTS && apply) {
                dbc->state = CONN_IN_TRANSACTION;
                if (DALStartTransaction(dbc->dal) == 3) return -1;
            }
            return 0;

        case SQL_API_SQLDRIVERCONNECT:
            if (in(s, CONN_BROWSING, CONN_IN_TRANSACTION)) return name_in_use(dbc);
            if (apply) dbc->state = CONN_CONNECTED;
            return 0;

        case SQL_API_SQLGETFUNCTIONS:
            if (in(s, CONN_FREED, CONN_BROWSING)) return sequence_error(dbc);
            return 0;

        case SQL_API_SQLGETINFO:
            if (s == CONN_BROWSING) return not_connected(dbc);
            if (argument == SQL_ODBC_VER || argument == SQL_DRIVER_ODBC_VER) return 0;
            if (s == CONN_ALLOCATED) return not_connected(dbc);
            return 0;

        case SQL_API_SQLBROWSECONNECT:
            if (in(s, CONN_CONNECTED, CONN_IN_TRANSACTION)) return name_in_use(dbc);
            if (!apply) return 0;
            if (s == CONN_BROWSING) {
                if (argument == -1) dbc->state = CONN_ALLOCATED;
                else if (argument == 0) dbc->state = CONN_CONNECTED;
            } else {
                // A first round (from 0-2) that needs more input starts browsing.
                dbc->state = argument == 1 ? CONN_BROWSING
                             : argument == 0 ? CONN_CONNECTED
                                             : s;
            }
            return 0;

        case SQL_API_SQLNATIVESQL:
            if (s == CONN_ALLOCATED || s == CONN_BROWSING) return not_connected(dbc);
            return 0;

        case SQL_API_SQLCLOSECURSOR:
            if (apply && dbc->attrs.autocommit && s == CONN_IN_TRANSACTION) {
                dbc->state = CONN_WITH_STATEMENTS;
                if (DALEndTransaction(dbc->dal, SQL_COMMIT) == 3) return -1;
            }
            return 0;

        case SQL_API_SQLENDTRAN: {
            if (in(s, CONN_FREED, CONN_BROWSING)) return not_connected(dbc);
            if (!apply) return 0;
            int r = DALEndTransaction(dbc->dal, argument);
            dbc->state = dbc->statements > 0 ? CONN_WITH_STATEMENTS : CONN_CONNECTED;
            if (r == 3) return -1;
            return r == 1 ? 1 : 0;
        }

        case SQL_API_SQLFREEHANDLE:
            if (argument == SQL_HANDLE_DBC) {
                if (s != CONN_DISCONNECTED && s != CONN_ALLOCATED) return sequence_error(dbc);
                if (apply) {
                    (void)env_transition(1, dbc->env, SQL_API_SQLFREEHANDLE, SQL_HANDLE_DBC);
                    dbc->state = CONN_FREED;
                }
            } else if (argument == SQL_HANDLE_STMT && apply) {
                if (s == CONN_WITH_STATEMENTS) {
                    if (dbc->statements == 1) dbc->state = CONN_CONNECTED;
                } else if (s == CONN_IN_TRANSACTION) {
                    if (dbc->statements == 1) {
                        if (dbc->attrs.autocommit) (void)DALEndTransaction(dbc->dal, SQL_COMMIT);
                        dbc->state = CONN_CONNECTED;
                    } else {
                        dbc->state = CONN_WITH_STATEMENTS;
                    }
                }
                if (dbc->statements > 0) dbc->statements--;
            }
            return 0;

        case SQL_API_SQLGETCONNECTATTR:
            if (s == CONN_ALLOCATED && !readable_unconnected(argument)) return not_connected(dbc);
            if (s == CONN_BROWSING) return sequence_error(dbc);
            return 0;

        case SQL_API_SQLSETCONNECTATTR:
            if (s == CONN_ALLOCATED &&
                (argument == SQL_ATTR_TRANSLATE_LIB || argument == SQL_ATTR_TRANSLATE_OPTION))
                return not_connected(dbc);
            if (s == CONN_BROWSING) return sequence_error(dbc);
            if (s == CONN_CONNECTED || s == CONN_WITH_STATEMENTS) {
                if (argument == SQL_ATTR_ODBC_CURSORS) return name_in_use(dbc);
                if (argument == SQL_ATTR_PACKET_SIZE) return cannot_set(dbc);
            }
            if (s == CONN_IN_TRANSACTION) {
                if (argument == SQL_ATTR_ODBC_CURSORS) return name_in_use(dbc);
                if (argument == SQL_ATTR_TXN_ISOLATION || argument == SQL_ATTR_PACKET_SIZE)
                    return cannot_set(dbc);
                if (argument == SQL_ATTR_AUTOCOMMIT && apply) {
                    dbc->state = CONN_WITH_STATEMENTS;
                    if (DALEndTransaction(dbc->dal, SQL_COMMIT) == 3) return -1;
                }
            }
            return 0;

        default: return 0;
    }
}

}  // namespace

int conn_transition(int apply, DBC *dbc, int function_id, int argument) {
    MutexGuard guard(kConnectionStateLock);
    return transition(apply, dbc, function_id, argument);
}
