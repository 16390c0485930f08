/* Positioned changes through the driver manager, as a C application makes
   them: SQLSetPos SQL_UPDATE of a row of a keyset-driven cursor's block (bound by
   column, one column cut at the fetch and left alone), the row read back
   with SQL_REFRESH and by scrolling; SQLBulkOperations SQL_ADD from
   row-wise buffers behind a bind offset, one column ignored; SQLSetPos
   SQL_DELETE, and again on the vanished row; columns sent at execution
   (SQLParamData, SQLPutData) for both; refusals: a read-only cursor,
   a row outside the block, no bound column, a table PayPal cannot update,
   another bulk operation.

   Usage: setpos_rows "DSN=..."  Prints one line per check and, for the
   test driving it, "updated <id>" and "deleted <id>" lines; exit 0 when
   every check passed. */
#include "c_client.h"

#include <stddef.h>
#include <stdio.h>
#include <string.h>

/* The first diagnostic's SQLSTATE and message. */
static void diag_of(SQLHSTMT st, char *state, char *message, SQLSMALLINT size) {
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    state[0] = message[0] = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, (SQLCHAR *)state, &native, (SQLCHAR *)message, size, &len);
}

static int refused_with(SQLHSTMT st, SQLRETURN rc, const char *want_state, const char *want_text) {
    char state[8], message[512];
    diag_of(st, state, message, sizeof message);
    if (rc != SQL_ERROR || strcmp(state, want_state) != 0 || (want_text && !strstr(message, want_text))) {
        printf("     got %d %s %s\n", rc, state, message);
        return 0;
    }
    return 1;
}

static int run(SQLHSTMT st, const char *sql) {
    SQLRETURN rc = SQLExecDirect(st, (SQLCHAR *)sql, SQL_NTS);
    if (SQL_SUCCEEDED(rc)) return 1;
    char state[8], message[512];
    diag_of(st, state, message, sizeof message);
    printf("     %s: %d %s %s\n", sql, rc, state, message);
    return 0;
}

/* A statement whose cursor may change rows: keyset-driven, the cursor
   type the driver reports positioned changes for, or static. */
static SQLHSTMT updatable(SQLHDBC dbc, SQLULEN cursor_type) {
    SQLHSTMT st;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)cursor_type, 0);
    /* after the cursor type, which makes a static cursor read-only */
    SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_LOCK, 0);
    return st;
}

struct Hook {
    char id[64];
    SQLLEN id_len;
    char url[300];
    SQLLEN url_len;
    char events[200];
    SQLLEN events_len;
};

int main(int argc, char **argv) {
    if (argc < 2) return 2;
    SQLHENV env;
    SQLHDBC dbc;
    if (!connect_client(argv[1], &env, &dbc)) return 1;
    SQLHSTMT setup;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &setup);
    check(run(setup, "INSERT INTO Webhooks (Url, EventTypes) VALUES ('https://sp.example/a', '[{\"name\": \"SP.A\"}]')") &&
              run(setup, "INSERT INTO Webhooks (Url, EventTypes) VALUES ('https://sp.example/b', '[{\"name\": \"SP.B\"}]')"),
          "two webhooks to change");

    /* ---- SQL_UPDATE of the block's second row, columns bound by column */
    SQLHSTMT st = updatable(dbc, SQL_CURSOR_KEYSET_DRIVEN);
    char ids[2][64], urls[2][300], events[2][12];
    SQLLEN id_len[2], url_len[2], events_len[2];
    SQLUSMALLINT status[2] = {99, 99};
    SQLULEN fetched = 0;
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLBindCol(st, 1, SQL_C_CHAR, ids, sizeof ids[0], id_len);
    SQLBindCol(st, 2, SQL_C_CHAR, urls, sizeof urls[0], url_len);
    SQLBindCol(st, 3, SQL_C_CHAR, events, sizeof events[0], events_len); /* too small: cut */
    SQLSetCursorName(st, (SQLCHAR *)"spcur", SQL_NTS);
    check(run(st, "SELECT Id, Url, EventTypes FROM Webhooks WHERE Url LIKE 'https://sp.example/%' ORDER BY Url"),
          "select the two webhooks");
    SQLRETURN rc = SQLFetchScroll(st, SQL_FETCH_NEXT, 0);
    check(SQL_SUCCEEDED(rc) && fetched == 2 && strcmp(urls[1], "https://sp.example/b") == 0, "fetch a block of two");
    snprintf(urls[1], sizeof urls[1], "%s", "https://sp.example/b2");
    url_len[1] = SQL_NTS;
    rc = SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    SQLLEN rows = -7;
    SQLRowCount(st, &rows);
    /* row 1 keeps the status of its fetch: its cut column made it 01004 */
    if (rc != SQL_SUCCESS || status[1] != SQL_ROW_UPDATED || status[0] != SQL_ROW_SUCCESS_WITH_INFO || rows != 1)
        printf("     rc %d status %d %d rows %ld\n", rc, status[0], status[1], (long)rows);
    check(rc == SQL_SUCCESS && status[1] == SQL_ROW_UPDATED && status[0] == SQL_ROW_SUCCESS_WITH_INFO && rows == 1,
          "SQLSetPos SQL_UPDATE: row 2 updated, one row counted");
    printf("updated %s\n", ids[1]);
    snprintf(urls[1], sizeof urls[1], "%s", "garbage");
    rc = SQLSetPos(st, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE);
    check(SQL_SUCCEEDED(rc) && strcmp(urls[1], "https://sp.example/b2") == 0, "SQL_REFRESH shows the new value");
    char url[300] = "";
    SQLLEN len = 0;
    rc = SQLGetData(st, 2, SQL_C_CHAR, url, sizeof url, &len);
    check(SQL_SUCCEEDED(rc) && strcmp(url, "https://sp.example/b2") == 0, "SQLGetData reads the new value");
    rc = SQLFetchScroll(st, SQL_FETCH_LAST, 0);
    rc = SQLFetchScroll(st, SQL_FETCH_FIRST, 0);
    check(SQL_SUCCEEDED(rc) && strcmp(urls[1], "https://sp.example/b2") == 0 && strcmp(urls[0], "https://sp.example/a") == 0,
          "scrolling back shows the updated row");
    rc = SQLSetPos(st, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    check(rc == SQL_SUCCESS, "an update with nothing changed sends nothing and succeeds");

    /* ---- SQL_UPDATE of row 1 with its Url sent at execution, in two pieces */
    url_len[0] = SQL_LEN_DATA_AT_EXEC(0);
    status[0] = 99;
    rc = SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    SQLPOINTER token = NULL;
    SQLRETURN asked = rc == SQL_NEED_DATA ? SQLParamData(st, &token) : SQL_ERROR;
    check(rc == SQL_NEED_DATA && asked == SQL_NEED_DATA && token == (SQLPOINTER)urls[0],
          "data at execution: SQLParamData names the column's buffer");
    check(SQL_SUCCEEDED(SQLPutData(st, (SQLPOINTER) "https://sp.example/", SQL_NTS)) &&
              SQL_SUCCEEDED(SQLPutData(st, (SQLPOINTER) "a2xx", 2)),
          "two pieces");
    rc = SQLParamData(st, &token);
    SQLRowCount(st, &rows);
    check(rc == SQL_SUCCESS && status[0] == SQL_ROW_UPDATED && rows == 1, "the last SQLParamData updates the row");
    rc = SQLSetPos(st, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE);
    check(SQL_SUCCEEDED(rc) && strcmp(urls[0], "https://sp.example/a2") == 0, "the row shows the value sent in pieces");

    /* ---- UPDATE ... WHERE CURRENT OF the cursor from another statement:
       the cursor's row is read again and shows the change */
    check(SQL_SUCCEEDED(SQLSetPos(st, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE)) &&
              run(setup, "UPDATE Webhooks SET Url = 'https://sp.example/b3' WHERE CURRENT OF spcur"),
          "a positioned UPDATE of row 2 from another statement");
    rc = SQLSetPos(st, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE);
    check(SQL_SUCCEEDED(rc) && strcmp(urls[1], "https://sp.example/b3") == 0, "the cursor's row shows it after a refresh");

    /* ---- refusals on the same cursor */
    rc = SQLSetPos(st, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    check(refused_with(st, rc, "HY109", NULL), "a row outside the block: HY109");
    rc = SQLSetPos(st, 1, 9, SQL_LOCK_NO_CHANGE);
    check(refused_with(st, rc, "HY092", NULL), "an unknown operation: HY092");
    rc = SQLBulkOperations(st, SQL_UPDATE_BY_BOOKMARK);
    check(refused_with(st, rc, "HY000", "SQLBulkOperations not implemented"), "SQL_UPDATE_BY_BOOKMARK is not implemented");
    {
        /* bound but every column ignored */
        SQLLEN saved[2] = {id_len[0], url_len[0]};
        id_len[0] = url_len[0] = events_len[0] = SQL_COLUMN_IGNORE;
        rc = SQLSetPos(st, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
        check(refused_with(st, rc, "21S02", NULL), "every bound column ignored: 21S02");
        id_len[0] = saved[0];
        url_len[0] = saved[1];
    }

    /* ---- SQL_DELETE of row 1, then again on the vanished row */
    rc = SQLSetPos(st, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE);
    SQLRowCount(st, &rows);
    check(rc == SQL_SUCCESS && status[0] == SQL_ROW_DELETED && rows == 1, "SQLSetPos SQL_DELETE");
    printf("deleted %s\n", ids[0]);
    rc = SQLSetPos(st, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE);
    check(refused_with(st, rc, "40001", NULL), "deleting the vanished row again: 40001");

    /* ---- SQL_UPDATE of the whole block: the vanished row 1 fails, row 2
       is still updated; the call says so row by row */
    snprintf(urls[1], sizeof urls[1], "%s", "https://sp.example/b4");
    url_len[1] = SQL_NTS;
    status[0] = status[1] = 99;
    rc = SQLSetPos(st, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    SQLLEN diag_row = 0;
    SQLCHAR state[6] = "";
    /* read before any other call on the statement empties them */
    for (SQLSMALLINT r = 1; SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, st, r, state, NULL, NULL, 0, NULL)); r++) {
        SQLLEN row = -9;
        SQLGetDiagField(SQL_HANDLE_STMT, st, r, SQL_DIAG_ROW_NUMBER, &row, 0, NULL);
        if (strcmp((char *)state, "40001") == 0) diag_row = row;
    }
    SQLRowCount(st, &rows);
    if (rc != SQL_SUCCESS_WITH_INFO || status[0] != SQL_ROW_ERROR || status[1] != SQL_ROW_UPDATED || rows != 1)
        printf("     rc %d status %d %d rows %ld\n", rc, status[0], status[1], (long)rows);
    check(rc == SQL_SUCCESS_WITH_INFO && status[0] == SQL_ROW_ERROR && status[1] == SQL_ROW_UPDATED && rows == 1 &&
              diag_row == 1,
          "SQLSetPos(0, SQL_UPDATE): row 1 fails (40001, row number 1), row 2 is updated, with information");
    SQLCloseCursor(st);

    /* ---- SQLBulkOperations SQL_ADD: row-wise buffers behind a bind offset */
    SQLHSTMT add = updatable(dbc, SQL_CURSOR_STATIC);
    struct Hook hooks[3];
    memset(hooks, 0, sizeof hooks);
    SQLLEN offset = sizeof(struct Hook); /* entries 1 and 2 of the array */
    SQLUSMALLINT add_status[2] = {99, 99};
    SQLSetStmtAttr(add, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(struct Hook), 0);
    SQLSetStmtAttr(add, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0);
    SQLSetStmtAttr(add, SQL_ATTR_ROW_STATUS_PTR, add_status, 0);
    SQLSetStmtAttr(add, SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset, 0);
    SQLBindCol(add, 1, SQL_C_CHAR, hooks[0].id, sizeof hooks[0].id, &hooks[0].id_len);
    SQLBindCol(add, 2, SQL_C_CHAR, hooks[0].url, sizeof hooks[0].url, &hooks[0].url_len);
    SQLBindCol(add, 3, SQL_C_CHAR, hooks[0].events, sizeof hooks[0].events, &hooks[0].events_len);
    check(run(add, "SELECT Id, Url, EventTypes FROM Webhooks WHERE Url = 'https://none.example/'"), "an empty result");
    for (int i = 1; i <= 2; i++) {
        hooks[i].id_len = SQL_COLUMN_IGNORE; /* PayPal makes the id */
        snprintf(hooks[i].url, sizeof hooks[i].url, "https://sp.example/new%d", i);
        hooks[i].url_len = SQL_NTS;
        snprintf(hooks[i].events, sizeof hooks[i].events, "[{\"name\": \"SP.NEW%d\"}]", i);
        hooks[i].events_len = (SQLLEN)strlen(hooks[i].events);
    }
    /* the second entry's events are sent at execution */
    hooks[2].events_len = SQL_DATA_AT_EXEC;
    rc = SQLBulkOperations(add, SQL_ADD);
    if (rc == SQL_NEED_DATA) {
        SQLPOINTER token = NULL;
        rc = SQLParamData(add, &token);
        check(rc == SQL_NEED_DATA && token == (SQLPOINTER)hooks[2].events,
              "SQL_ADD with data at execution: the entry's buffer behind the offset is the token");
        check(SQL_SUCCEEDED(SQLPutData(add, (SQLPOINTER) "[{\"name\": ", SQL_NTS)) &&
                  SQL_SUCCEEDED(SQLPutData(add, (SQLPOINTER) "\"SP.NEW2\"}]", SQL_NTS)),
              "the events in two pieces");
        rc = SQLParamData(add, &token);
    }
    SQLRowCount(add, &rows);
    check(rc == SQL_SUCCESS && add_status[0] == SQL_ROW_ADDED && add_status[1] == SQL_ROW_ADDED && rows == 2,
          "SQLBulkOperations SQL_ADD: two rows added");
    SQLCloseCursor(add);

    /* ---- refusals: a read-only cursor, no bound column, a table PayPal cannot update */
    SQLHSTMT ro;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &ro);
    SQLSetStmtAttr(ro, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0);
    check(run(ro, "SELECT Id, Url FROM Webhooks WHERE Url LIKE 'https://sp.example/%'") && SQL_SUCCEEDED(SQLFetch(ro)),
          "a read-only cursor");
    rc = SQLSetPos(ro, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    check(refused_with(ro, rc, "HY092", NULL), "SQL_UPDATE on a read-only cursor: HY092");
    rc = SQLBulkOperations(ro, SQL_ADD);
    check(refused_with(ro, rc, "HY092", NULL), "SQL_ADD on a read-only cursor: HY092");
    SQLCloseCursor(ro);
    SQLHSTMT unbound = updatable(dbc, SQL_CURSOR_KEYSET_DRIVEN);
    check(run(unbound, "SELECT Id, Url FROM Webhooks WHERE Url LIKE 'https://sp.example/%'") &&
              SQL_SUCCEEDED(SQLFetch(unbound)),
          "a cursor without bound columns");
    rc = SQLSetPos(unbound, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    check(refused_with(unbound, rc, "21S02", NULL), "SQL_UPDATE without bound columns: 21S02");
    SQLCloseCursor(unbound);
    SQLHSTMT plans = updatable(dbc, SQL_CURSOR_STATIC);
    char name[64];
    SQLLEN name_len = 0;
    SQLBindCol(plans, 2, SQL_C_CHAR, name, sizeof name, &name_len);
    check(run(setup, "INSERT INTO Plans (ProductId, Name, BillingCycles, PaymentPreferencesAutoBillOutstanding, "
                     "PaymentPreferencesPaymentFailureThreshold, PaymentPreferencesSetupFeeValue, "
                     "PaymentPreferencesSetupFeeCurrencyCode) VALUES ('PROD-1', 'Plan sp', '[{\"sequence\": 1}]', 1, 3, "
                     "1.50, 'USD')") &&
              run(plans, "SELECT Id, Name FROM Plans WHERE Name = 'Plan sp'") && SQL_SUCCEEDED(SQLFetch(plans)),
          "a plan");
    snprintf(name, sizeof name, "%s", "Plan renamed");
    name_len = SQL_NTS;
    rc = SQLSetPos(plans, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    check(refused_with(plans, rc, "HY000", "Views (Plans) are not updateable"), "Plans take no update: PayPal's refusal");
    SQLCloseCursor(plans);

    check(SQL_SUCCEEDED(SQLDisconnect(dbc)), "disconnect");
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return failures ? 1 : 0;
}
