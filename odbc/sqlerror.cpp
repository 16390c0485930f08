// SQLError: the ODBC 2 way of reading diagnostics, newest record first.
//
// The read position is kept in each handle's diagnostics header and reset
// whenever the header is emptied, so loops over two handles never disturb
// each other.
#include <cstring>

#include "odbc/handles.h"
#include "odbc/odbc_api.h"

namespace {

struct StateMap {
    const char *odbc3;
    const char *odbc2;
};

// ODBC 3 SQLSTATEs that ODBC 2 applications know by another name.
constexpr StateMap kOdbc2States[] = {
    {"01001", "01S03"}, {"22018", "22005"}, {"42000", "37000"}, {"HY018", "70100"},
    {"42S02", "S0001"}, {"42S11", "S0011"}, {"42S12", "S0012"}, {"42S21", "S0021"},
    {"42S22", "S0022"}, {"42S23", "S0023"}, {"HY000", "S1000"}, {"HY001", "S1001"},
    {"07009", "S1002"}, {"HY003", "S1003"}, {"HY004", "S1004"}, {"HY008", "S1008"},
    {"HY009", "S1009"}, {"HY024", "S1009"}, {"HY092", "S1009"}, {"HY007", "S1010"},
    {"HY010", "S1010"}, {"HY011", "S1011"}, {"HY012", "S1012"}, {"HY090", "S1090"},
    {"HY091", "S1091"}, {"HY096", "S1096"}, {"HY097", "S1097"}, {"HY098", "S1098"},
    {"HY099", "S1099"}, {"HY100", "S1100"}, {"HY101", "S1101"}, {"HY103", "S1103"},
    {"HY104", "S1104"}, {"HY105", "S1105"}, {"HY106", "S1106"}, {"HY107", "S1107"},
    {"HY108", "S1108"}, {"HY109", "S1109"}, {"HY110", "S1110"}, {"HY111", "S1111"},
    {"HYC00", "S1C00"}, {"HYT00", "S1T00"}, {"07008", "S1000"},
};

void to_odbc2(SQLCHAR *state) {
    for (const StateMap &m : kOdbc2States) {
        if (std::memcmp(state, m.odbc3, 5) == 0) {
            std::memcpy(state, m.odbc2, 5);
            return;
        }
    }
}

SQLRETURN no_more(ErrorHeader *h, SQLCHAR *state, SQLCHAR *message, SQLSMALLINT capacity) {
    h->sqlerror_position = -1;
    if (state) std::memcpy(state, "00000", 6);
    if (message && capacity > 0) message[0] = '\0';
    return SQL_NO_DATA;
}

}  // namespace

CV_EXPORT SQLRETURN SQL_API SQLError(SQLHENV EnvironmentHandle, SQLHDBC ConnectionHandle,
                                     SQLHSTMT StatementHandle, SQLCHAR *Sqlstate,
                                     SQLINTEGER *NativeError, SQLCHAR *MessageText,
                                     SQLSMALLINT BufferLength, SQLSMALLINT *TextLength) {
    SQLSMALLINT type;
    SQLHANDLE handle;
    if (StatementHandle) {
        type = SQL_HANDLE_STMT, handle = StatementHandle;
    } else if (ConnectionHandle) {
        type = SQL_HANDLE_DBC, handle = ConnectionHandle;
    } else if (EnvironmentHandle) {
        type = SQL_HANDLE_ENV, handle = EnvironmentHandle;
    } else {
        return SQL_ERROR;
    }
    ErrorHeader *h = nullptr;
    switch (type) {
        case SQL_HANDLE_STMT:
            if (STMT *s = as_stmt(handle)) h = s->diag;
            break;
        case SQL_HANDLE_DBC:
            if (DBC *d = as_dbc(handle)) h = d->diag;
            break;
        default:
            if (ENV *e = as_env(handle)) h = e->diag;
            break;
    }
    if (!h) return SQL_INVALID_HANDLE;

    if (h->sqlerror_position == -1) {
        SQLINTEGER count = 0;
        SQLRETURN rc = SQLGetDiagField(type, handle, 0, SQL_DIAG_NUMBER, &count, 0, nullptr);
        if (!SQL_SUCCEEDED(rc)) return rc;
        h->sqlerror_position = count;
    }
    if (h->sqlerror_position == 0) return no_more(h, Sqlstate, MessageText, BufferLength);
    SQLRETURN rc = SQLGetDiagRec(type, handle, static_cast<SQLSMALLINT>(h->sqlerror_position),
                                 Sqlstate, NativeError, MessageText, BufferLength, TextLength);
    h->sqlerror_position--;
    if (rc == SQL_NO_DATA) return no_more(h, Sqlstate, MessageText, BufferLength);
    if (SQL_SUCCEEDED(rc) && Sqlstate) to_odbc2(Sqlstate);
    return rc;
}
