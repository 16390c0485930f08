/* Bound columns of a forward-only cursor against a static cursor's, as a C
   application reads them: every column bound as SQL_C_CHAR at one width,
   fetched in blocks; the last two columns read with SQLGetData after each
   single-row fetch, each twice (the first as SQL_C_WCHAR), into at most the
   bound width. A forward-only
   fetch has the provider write most texts straight into the application's
   buffers, a static one converts values the engine read first, so the two
   must agree byte for byte: data, lengths, return codes, row statuses and
   the SQLSTATEs posted, at every width and block size of the table below
   (widths cut texts, long texts and array columns in every way, and NULLs
   meet a missing indicator buffer).

   Usage: bound_rows "DSN=..."  One line per case; exit 0 when every case
   agreed. */
#include "c_client.h"

#include <stdlib.h>
#include <string.h>

enum { kMaxColumns = 80, kMaxBlock = 8 };

/* What one way of reading a query saw, as text: compared whole. */
struct Trace {
    char *text;
    size_t length, capacity;
};

static void put(struct Trace *t, const void *bytes, size_t n) {
    if (t->length + n + 1 > t->capacity) {
        t->capacity = (t->length + n + 1) * 2;
        t->text = realloc(t->text, t->capacity);
        if (!t->text) exit(2);
    }
    memcpy(t->text + t->length, bytes, n);
    t->length += n;
    t->text[t->length] = 0;
}

static void putf(struct Trace *t, const char *format, long long a, long long b) {
    char line[160];
    int n = snprintf(line, sizeof line, format, a, b);
    put(t, line, (size_t)n);
}

/* Every SQLSTATE posted on the statement, in order. */
static void put_states(struct Trace *t, SQLHSTMT st) {
    for (SQLSMALLINT i = 1;; i++) {
        SQLCHAR state[8];
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, st, i, state, &native, NULL, 0, &len))) break;
        put(t, " ", 1);
        put(t, state, 5);
    }
    put(t, "\n", 1);
}

/* One entry of a bound column: its length (or NULL) and what fits of it. */
static void put_entry(struct Trace *t, const char *data, SQLLEN width, SQLLEN len) {
    if (len == SQL_NULL_DATA) {
        put(t, " NULL", 5);
        return;
    }
    putf(t, " %lld:", (long long)len, 0);
    size_t shown = len >= 0 && len < width ? (size_t)len : (size_t)(width > 0 ? width - 1 : 0);
    put(t, data, shown);
}

/* Reads `sql` with the cursor type, every column but the last two bound at
   `width` bytes (without length and indicator buffers when `no_indicator`:
   a NULL is then an error of its row),
   `block` rows a fetch. */
static void read_query(SQLHDBC dbc, const char *sql, SQLULEN cursor, SQLLEN width, SQLULEN block, int no_indicator,
                       struct Trace *t) {
    static char data[kMaxColumns][kMaxBlock * 4096];
    static SQLLEN lens[kMaxColumns][kMaxBlock];
    SQLHSTMT st = NULL;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)cursor, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)block, 0);
    SQLUSMALLINT status[kMaxBlock];
    SQLULEN fetched = 0;
    SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    memset(data, 0, sizeof data);
    memset(lens, 0, sizeof lens);
    SQLRETURN rc = SQLExecDirect(st, (SQLCHAR *)sql, SQL_NTS);
    putf(t, "exec %lld", rc, 0);
    put_states(t, st);
    SQLSMALLINT columns = 0;
    SQLNumResultCols(st, &columns);
    if (columns > kMaxColumns) columns = kMaxColumns;
    const int bound = columns > 2 ? columns - 2 : columns;
    for (int c = 1; c <= bound; c++)
        SQLBindCol(st, (SQLUSMALLINT)c, SQL_C_CHAR, data[c - 1], width, no_indicator ? NULL : lens[c - 1]);
    for (int fetch = 0; fetch < 10000; fetch++) {
        memset(status, 0xee, sizeof status);
        rc = SQLFetch(st);
        putf(t, "fetch %lld rows %lld", rc, rc == SQL_NO_DATA ? 0 : (long long)fetched);
        put_states(t, st);
        if (!SQL_SUCCEEDED(rc)) break;
        for (SQLULEN r = 0; r < fetched; r++) {
            putf(t, "row %lld status %lld", (long long)r, status[r]);
            /* A row in error has entries ODBC leaves undefined. */
            for (int c = 1; c <= bound && status[r] != SQL_ROW_ERROR; c++) {
                const char *entry = data[c - 1] + r * (size_t)width;
                put_entry(t, entry, width, no_indicator ? (SQLLEN)strnlen(entry, (size_t)width - 1) : lens[c - 1][r]);
            }
            put(t, "\n", 1);
        }
        if (block > 1) continue;  /* SQLGetData reads a single row's columns */
        for (int c = bound + 1; c <= columns; c++) {
            /* Each column twice: the second read takes the next piece or
               finds nothing left. The first as UTF-16, the last as text. */
            const SQLSMALLINT type = c == bound + 1 && c < columns ? SQL_C_WCHAR : SQL_C_CHAR;
            for (int again = 0; again < 2; again++) {
                char piece[96];
                /* At most the bound width: narrow ways cut these too. */
                const SQLLEN most = type == SQL_C_WCHAR ? (SQLLEN)sizeof piece : 48;
                const SQLLEN room = width < most ? width : most;
                SQLLEN len = 0;
                memset(piece, 0x55, sizeof piece);  /* all of it compared: terminators too */
                rc = SQLGetData(st, (SQLUSMALLINT)c, type, piece, room, &len);
                putf(t, "getdata %lld rc %lld", c, rc);
                if (SQL_SUCCEEDED(rc)) putf(t, " %lld:", (long long)len, 0);
                put(t, piece, (size_t)room);
                put_states(t, st);
            }
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

int main(int argc, char **argv) {
    SQLHENV env;
    SQLHDBC dbc;
    if (argc < 2 || !connect_client(argv[1], &env, &dbc)) return 1;
    /* Queries: whole tables with long and array columns, a WHERE reading
       some columns before the delivery, one value in two result columns, a
       join, and columns from a sub-select. */
    static const char *queries[] = {
        "SELECT * FROM Invoices",
        ("SELECT Id, Items, DetailNote, Status, Items, Id, AmountValue, DetailInvoiceDate FROM Invoices "
         "WHERE Status <> 'DRAFT' OR DetailNote IS NULL"),
        "SELECT * FROM Plans",
        "SELECT p.Id, p.Name, q.Id, q.Status, p.Description FROM Plans p, Plans q WHERE p.Id = q.Id",
        "SELECT Id, Name, Id FROM (SELECT Id, Name FROM Products) AS x",
        "SELECT AmountValue, Status, Id, DetailNote, Items, Id FROM Invoices",
        "SELECT Id, DetailNote, Status, AmountValue, AmountValue FROM Invoices",
    };
    static const struct {
        SQLLEN width;
        SQLULEN block;
        int no_indicator;
    } ways[] = {
        {4096, 1, 0}, {4096, 7, 0}, {300, 3, 0}, {40, 1, 0}, {8, 5, 0}, {2, 1, 0}, {1, 2, 0}, {300, 4, 1},
        /* An amount's text ("1370.080000") exactly as long as the room, as
           text and as UTF-16. */
        {11, 1, 0}, {22, 1, 0},
    };
    for (size_t q = 0; q < sizeof queries / sizeof *queries; q++) {
        for (size_t w = 0; w < sizeof ways / sizeof *ways; w++) {
            struct Trace forward = {0}, scrolled = {0};
            read_query(dbc, queries[q], SQL_CURSOR_FORWARD_ONLY, ways[w].width, ways[w].block, ways[w].no_indicator,
                       &forward);
            read_query(dbc, queries[q], SQL_CURSOR_STATIC, ways[w].width, ways[w].block, ways[w].no_indicator,
                       &scrolled);
            char what[400];
            snprintf(what, sizeof what, "%s: width %lld, %llu a fetch%s (%zu bytes read)", queries[q],
                     (long long)ways[w].width, (unsigned long long)ways[w].block,
                     ways[w].no_indicator ? ", no indicators" : "", forward.length);
            const int same = forward.length == scrolled.length && memcmp(forward.text, scrolled.text, forward.length) == 0;
            check(same && strncmp(forward.text, "exec 0", 6) == 0, what);
            if (!same) {
                size_t at = 0;
                while (at < forward.length && at < scrolled.length && forward.text[at] == scrolled.text[at]) at++;
                size_t from = at > 200 ? at - 200 : 0;
                printf("  forward-only: %.400s\n  static:       %.400s\n", forward.text + from, scrolled.text + from);
            }
            free(forward.text);
            free(scrolled.text);
        }
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    printf("%d failed\n", failures);
    return failures ? 1 : 0;
}
