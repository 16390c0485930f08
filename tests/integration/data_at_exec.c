/* Data at execution through the driver manager, as a C application sends
   it: two parameters bound with SQL_DATA_AT_EXEC and one shared token,
   prepared once and executed twice; each SQLParamData names the parameter
   whose data is due, the second execution asks for all of it again.
   Also: a parameter array with its status array, a parameter bound with a column size of N characters takes N
   non-ASCII characters and refuses N + 1 with 22001, and SQL_NULL_DATA after a piece is refused.

   Usage: data_at_exec "DSN=..."  Prints one line per check; exit 0 when
   every check passed. */
#include "c_client.h"

#include <stdio.h>
#include <string.h>


static void state_of(SQLHSTMT st, char *out) {
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    char message[512];
    out[0] = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, (SQLCHAR *)out, &native, (SQLCHAR *)message, sizeof message, &len);
}

/* One execution: both parameters sent piece by piece under the shared token. */
static int execute_once(SQLHSTMT st, const int *token, const char *url, const char *events1, const char *events2) {
    SQLRETURN rc = SQLExecute(st);
    if (rc != SQL_NEED_DATA) return 0;
    int asked = 0;
    for (;;) {
        SQLPOINTER got = NULL;
        rc = SQLParamData(st, &got);
        if (rc != SQL_NEED_DATA) break;
        if (got != (SQLPOINTER)token) return 0;
        asked++;
        if (asked == 1) {
            if (!SQL_SUCCEEDED(SQLPutData(st, (SQLPOINTER)url, SQL_NTS))) return 0;
        } else if (asked == 2) {
            if (!SQL_SUCCEEDED(SQLPutData(st, (SQLPOINTER)events1, SQL_NTS))) return 0;
            if (!SQL_SUCCEEDED(SQLPutData(st, (SQLPOINTER)events2, (SQLLEN)strlen(events2)))) return 0;
        } else {
            return 0; /* asked for a parameter that already had its data */
        }
    }
    return SQL_SUCCEEDED(rc) && asked == 2;
}

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    SQLHENV env;
    SQLHDBC dbc;
    SQLHSTMT st;
    if (!connect_client(argv[1], &env, &dbc)) return 1;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    check(SQL_SUCCEEDED(SQLPrepare(st, (SQLCHAR *)"INSERT INTO Webhooks (Url, EventTypes) VALUES (?, ?)", SQL_NTS)),
          "prepare once");
    int token = 7;
    SQLLEN dae1 = SQL_DATA_AT_EXEC, dae2 = SQL_LEN_DATA_AT_EXEC(0);
    check(SQL_SUCCEEDED(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 256, 0, &token, 0, &dae1)) &&
              SQL_SUCCEEDED(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, &token, 0, &dae2)),
          "bind two parameters under one token");
    check(execute_once(st, &token, "https://dae.example/one", "[{\"name\": ", "\"A.ONE\"}]"), "first execution");
    SQLLEN rows = 0;
    SQLRowCount(st, &rows);
    check(rows == 1, "first execution changed one row");
    check(execute_once(st, &token, "https://dae.example/two", "[{\"name\": ", "\"A.TWO\"}]"),
          "second execution asks for both parameters again");

    /* Column size counts characters: 4 two-byte characters fit in 4. */
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    SQLPrepare(st, (SQLCHAR *)"INSERT INTO Webhooks (Url, EventTypes) VALUES (?, '[{\"name\": \"A.SIZE\"}]')", SQL_NTS);
    char text[16] = "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";
    SQLLEN nts = SQL_NTS;
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, text, sizeof text, &nts);
    check(SQL_SUCCEEDED(SQLExecute(st)), "4 non-ASCII characters in a parameter of 4");
    SQLWCHAR wide[8] = {0xD83D, 0xDE00, 'a', 'b', 'c', 0};
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 4, 0, wide, sizeof wide, &nts);
    check(SQL_SUCCEEDED(SQLExecute(st)), "a surrogate pair counts as one character");
    snprintf(text, sizeof text, "%s", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9x");
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4, 0, text, sizeof text, &nts);
    char state[8];
    SQLRETURN rc = SQLExecute(st);
    state_of(st, state);
    check(rc == SQL_ERROR && strcmp(state, "22001") == 0, "5 characters in a parameter of 4: 22001");

    /* SQL_NULL_DATA after a piece cannot be joined to it. The driver says
       HY020; unixODBC's driver manager refuses the call itself in state S10
       (a piece already sent) before the driver sees it. Either way nothing
       is sent and the execution is cancelled. */
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    SQLPrepare(st, (SQLCHAR *)"INSERT INTO Webhooks (Url, EventTypes) VALUES (?, '[{\"name\": \"A.NULL\"}]')", SQL_NTS);
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 256, 0, &token, 0, &dae1);
    SQLPOINTER asked = NULL;
    int waiting = SQLExecute(st) == SQL_NEED_DATA && SQLParamData(st, &asked) == SQL_NEED_DATA &&
                  SQL_SUCCEEDED(SQLPutData(st, (SQLPOINTER) "https://null.example/", SQL_NTS));
    rc = SQLPutData(st, NULL, SQL_NULL_DATA);
    state_of(st, state);
    printf("     SQLPutData(SQL_NULL_DATA) after a piece, through the driver manager: %d %s\n", (int)rc, state);
    check(waiting && rc == SQL_ERROR && (strcmp(state, "HY020") == 0 || strcmp(state, "HY011") == 0),
          "SQL_NULL_DATA after a piece is refused");
    SQLCancel(st);

    /* A parameter array of three rows bound by column, with its status
       array: the second row's JSON is bad, so the first is sent, the second
       fails and the third is never tried. */
    SQLFreeStmt(st, SQL_RESET_PARAMS);
    SQLPrepare(st, (SQLCHAR *)"INSERT INTO Webhooks (Url, EventTypes) VALUES (?, ?)", SQL_NTS);
    char urls[3][32] = {"https://arr.example/1", "https://arr.example/2", "https://arr.example/3"};
    char events[3][48] = {"[{\"name\": \"A.ARR\"}]", "not json", "[{\"name\": \"A.ARR\"}]"};
    SQLLEN url_len[3] = {SQL_NTS, SQL_NTS, SQL_NTS}, event_len[3] = {SQL_NTS, SQL_NTS, SQL_NTS};
    SQLUSMALLINT status[3] = {99, 99, 99};
    SQLULEN processed = 0;
    SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
    SQLSetStmtAttr(st, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 256, 0, urls, sizeof urls[0], url_len);
    SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, events, sizeof events[0], event_len);
    rc = SQLExecute(st);
    check(rc == SQL_ERROR && status[0] == SQL_PARAM_SUCCESS && status[1] == SQL_PARAM_ERROR &&
              status[2] == SQL_PARAM_UNUSED && processed == 2,
          "parameter array: statuses success, error, unused");
    snprintf(events[1], sizeof events[1], "%s", events[0]);
    for (int i = 0; i < 3; i++) snprintf(urls[i], sizeof urls[i], "https://arr.example/%d", i + 4);
    check(SQL_SUCCEEDED(SQLParamOptions(st, 3, &processed)), "SQLParamOptions");
    rc = SQLExecute(st);
    SQLRowCount(st, &rows);
    check(SQL_SUCCEEDED(rc) && processed == 3 && rows == 3 && status[0] == SQL_PARAM_SUCCESS &&
              status[1] == SQL_PARAM_SUCCESS && status[2] == SQL_PARAM_SUCCESS,
          "parameter array: three rows changed, every status success");

    SQLFreeHandle(SQL_HANDLE_STMT, st);
    /* In auto-commit mode no change leaves a transaction open (a
       disconnect would then fail with 25000). */
    check(SQL_SUCCEEDED(SQLDisconnect(dbc)), "disconnect after changes in auto-commit mode");
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return failures ? 1 : 0;
}
