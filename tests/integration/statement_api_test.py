"""The statement calls through unixODBC against the emulator, for what the
Python modules do not expose: batches with SQLMoreResults, SQLRowCount,
cursor names, SQLNativeSql with cutting capacities, a failed prepare, block
cursors scrolled with a status array, bookmarks, piecewise SQLGetData of
non-ASCII text, SQLDescribeCol and SQLColAttribute answers, SQLEndTran, and
that closing a cursor stops paging."""
import ctypes
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
res = Results()
H = ctypes.c_void_p
c_short, c_ushort, c_int, c_long = ctypes.c_short, ctypes.c_ushort, ctypes.c_int, ctypes.c_long
P = ctypes.POINTER
SQL_NTS, SQL_NO_DATA = -3, 100


def lib():
    odbc = ctypes.CDLL("libodbc.so.2")
    sig = {
        "SQLAllocHandle": [c_short, H, P(H)], "SQLSetEnvAttr": [H, c_int, H, c_int],
        "SQLConnect": [H, ctypes.c_char_p, c_short, ctypes.c_char_p, c_short, ctypes.c_char_p, c_short],
        "SQLExecDirect": [H, ctypes.c_char_p, c_int], "SQLPrepare": [H, ctypes.c_char_p, c_int],
        "SQLExecute": [H], "SQLFetch": [H], "SQLFetchScroll": [H, c_short, c_long],
        "SQLMoreResults": [H], "SQLRowCount": [H, P(c_long)], "SQLNumResultCols": [H, P(c_short)],
        "SQLGetData": [H, c_ushort, c_short, H, c_long, P(c_long)],
        "SQLBindCol": [H, c_ushort, c_short, H, c_long, P(c_long)],
        "SQLSetStmtAttr": [H, c_int, H, c_int], "SQLCloseCursor": [H],
        "SQLGetCursorName": [H, ctypes.c_char_p, c_short, P(c_short)],
        "SQLSetCursorName": [H, ctypes.c_char_p, c_short],
        "SQLNativeSql": [H, ctypes.c_char_p, c_int, ctypes.c_char_p, c_int, P(c_int)],
        "SQLDescribeCol": [H, c_ushort, ctypes.c_char_p, c_short, P(c_short), P(c_short), P(ctypes.c_ulong),
                           P(c_short), P(c_short)],
        "SQLColAttribute": [H, c_ushort, c_ushort, H, c_short, P(c_short), P(c_long)],
        "SQLColAttributes": [H, c_ushort, c_ushort, H, c_short, P(c_short), P(c_long)],
        "SQLGetStmtAttr": [H, c_int, H, c_int, P(c_int)],
        "SQLGetDescField": [H, c_short, c_short, H, c_int, P(c_int)],
        "SQLEndTran": [c_short, H, c_short], "SQLFreeHandle": [c_short, H], "SQLDisconnect": [H],
        "SQLGetDiagRec": [c_short, H, c_short, ctypes.c_char_p, P(c_int), ctypes.c_char_p, c_short, P(c_short)],
    }
    for name, types in sig.items():
        getattr(odbc, name).argtypes = types
    return odbc


def states(odbc, kind, h):
    out, i = [], 1
    state, msg, native, n = ctypes.create_string_buffer(6), ctypes.create_string_buffer(512), c_int(), c_short()
    while odbc.SQLGetDiagRec(kind, h, i, state, ctypes.byref(native), msg, 512, ctypes.byref(n)) in (0, 1):
        out.append((state.value.decode(), native.value))
        i += 1
    return out


def run(odbc, emu):
    env, dbc = H(), H()
    odbc.SQLAllocHandle(1, None, ctypes.byref(env))
    odbc.SQLSetEnvAttr(env, 200, H(3), 0)
    odbc.SQLAllocHandle(2, env, ctypes.byref(dbc))
    rc = odbc.SQLConnect(dbc, b"CVPAYPAL", SQL_NTS, None, 0, None, 0)
    res.check(rc in (0, 1), "connect", str(states(odbc, 2, dbc)))

    def stmt():
        s = H()
        odbc.SQLAllocHandle(3, dbc, ctypes.byref(s))
        return s

    def text(s, col, c_type=1, cap=256):
        buf, ind = ctypes.create_string_buffer(cap), c_long()
        rc = odbc.SQLGetData(s, col, c_type, buf, cap, ctypes.byref(ind))
        return rc, buf.raw, ind.value

    def fetch_all(s):
        rows = []
        while odbc.SQLFetch(s) in (0, 1):
            rows.append(text(s, 1)[1].split(b"\0")[0].decode())
        return rows

    # A batch of two queries, then no more results; row count -1 for a query.
    s = stmt()
    rc = odbc.SQLExecDirect(s, b"SELECT Id FROM Webhooks; SELECT Name FROM UserInfo", SQL_NTS)
    res.check(rc == 0, "batch executes", str(states(odbc, 3, s)))
    n = c_long(7)
    res.check(odbc.SQLRowCount(s, ctypes.byref(n)) == 0 and n.value == -1, "SQLRowCount after SELECT is -1")
    res.check(len(fetch_all(s)) == 4, "first result: the four webhooks")
    res.check(odbc.SQLMoreResults(s) == 0, "SQLMoreResults moves to the second statement")
    res.check(fetch_all(s) == ["Roy Wolf"], "second result: the user's name")
    res.check(odbc.SQLMoreResults(s) == SQL_NO_DATA, "SQLMoreResults after the last: SQL_NO_DATA")

    # A failed prepare leaves the statement unprepared and usable.
    rc = odbc.SQLPrepare(s, b"SELEC Id FROM Webhooks", SQL_NTS)
    res.check(rc == -1 and states(odbc, 3, s)[:1] == [("42000", 182)], "syntax error: 42000 native 182",
              str(states(odbc, 3, s)))
    res.check(odbc.SQLExecute(s) == -1 and states(odbc, 3, s)[0][0] == "HY010", "nothing left to execute")
    # Literals that are no real date or time, and nesting past its bound, by
    # SQLPrepare and by SQLNativeSql alike.
    for sql, state in ((b"SELECT Id FROM Webhooks WHERE {d '2020-13-45'} IS NULL", "22008"),
                       (b"SELECT {ts '2021-02-30 00:00:00'} FROM Webhooks", "22008"),
                       (b"SELECT {t '10'} FROM Webhooks", "22007"),
                       (b"SELECT " + b"(" * 1001 + b"1" + b")" * 1001 + b" FROM Webhooks", "42000")):
        rc = odbc.SQLPrepare(s, sql, SQL_NTS)
        got = states(odbc, 3, s)[:1]
        res.check(rc == -1 and got[0][0] == state, "prepare refuses %s: %s" % (sql[:40], state), str(got))
        rc = odbc.SQLNativeSql(dbc, sql, SQL_NTS, ctypes.create_string_buffer(64), 64, ctypes.byref(c_int()))
        got = states(odbc, 2, dbc)[:1]
        res.check(rc == -1 and got[0][0] == state, "SQLNativeSql refuses %s: %s" % (sql[:40], state), str(got))
    # Long IN lists and OR chains run: every webhook Id is among them.
    ids = [r for r in fetch_all(s)] if odbc.SQLExecDirect(s, b"SELECT Id FROM Webhooks", SQL_NTS) == 0 else []
    odbc.SQLCloseCursor(s)
    quoted = [b"'" + i.encode() + b"'" for i in ids]
    for sql in (b"SELECT Id FROM Webhooks WHERE Id IN (" + b", ".join(quoted + [b"'x%d'" % k for k in range(12000)]) + b")",
                b"SELECT Id FROM Webhooks WHERE " + b" OR ".join([b"Id = " + q for q in quoted] +
                                                                  [b"Id = 'y%d'" % k for k in range(9000)])):
        rc = odbc.SQLExecDirect(s, sql, SQL_NTS)
        got = sorted(fetch_all(s)) if rc == 0 else states(odbc, 3, s)
        res.check(rc == 0 and got == sorted(ids) and len(ids) == 4, "a long list finds every webhook: %s" % sql[:40],
                  str(got)[:200])
        odbc.SQLCloseCursor(s)
    res.check(odbc.SQLPrepare(s, b"SELECT Id FROM Webhooks", SQL_NTS) == 0 and odbc.SQLExecute(s) == 0 and
              len(fetch_all(s)) == 4, "the statement prepares again")
    odbc.SQLCloseCursor(s)
    res.check(odbc.SQLExecute(s) == 0 and len(fetch_all(s)) == 4, "a prepared statement runs again")
    odbc.SQLCloseCursor(s)

    # Cursor names.
    t = stmt()
    name, n16 = ctypes.create_string_buffer(64), c_short()
    res.check(odbc.SQLGetCursorName(t, name, 64, ctypes.byref(n16)) == 0 and name.value.startswith(b"SQL_CUR"),
              "a generated cursor name", name.value)
    res.check(odbc.SQLSetCursorName(s, b"c" * 19, SQL_NTS) == -1 and states(odbc, 3, s)[0][0] == "34000",
              "a 19-byte name is refused")
    res.check(odbc.SQLSetCursorName(s, b"SQL_CURx", SQL_NTS) == -1 and states(odbc, 3, s)[0][0] == "34000",
              "a reserved prefix is refused")
    res.check(odbc.SQLSetCursorName(s, b"orders", SQL_NTS) == 0, "a name is set")
    res.check(odbc.SQLSetCursorName(t, b"orders", SQL_NTS) == -1 and states(odbc, 3, t)[0][0] == "3C000",
              "the same name on another statement: 3C000")
    small = ctypes.create_string_buffer(4)
    rc = odbc.SQLGetCursorName(s, small, 4, ctypes.byref(n16))
    res.check(rc == 1 and small.value == b"ord" and n16.value == 6, "a cut cursor name: 01004 and the full length")

    # SQLNativeSql: whole printed pieces only, the full length reported.
    out, n32 = ctypes.create_string_buffer(512), c_int()
    sql = b"select Id , Name from UserInfo where Name like 'R%'"
    res.check(odbc.SQLNativeSql(dbc, sql, SQL_NTS, out, 512, ctypes.byref(n32)) == 0, "SQLNativeSql")
    full = out.value
    cut = ctypes.create_string_buffer(12)
    rc = odbc.SQLNativeSql(dbc, sql, SQL_NTS, cut, 12, ctypes.byref(n32))
    res.check(rc == 1 and n32.value == len(full) and full.startswith(cut.value) and len(cut.value) < 12,
              "SQLNativeSql cut to whole pieces", (full, cut.value, n32.value))

    # Describing: VARCHAR is reported wide; column 0 needs bookmarks; a cut name.
    odbc.SQLExecDirect(s, b"SELECT Id, Name FROM Plans", SQL_NTS)
    nm, nlen, typ, size, dig, nul = ctypes.create_string_buffer(4), c_short(), c_short(), ctypes.c_ulong(), c_short(), c_short()
    rc = odbc.SQLDescribeCol(s, 2, nm, 4, ctypes.byref(nlen), ctypes.byref(typ), ctypes.byref(size),
                             ctypes.byref(dig), ctypes.byref(nul))
    res.check(rc == 1 and nm.value == b"Nam" and nlen.value == 4 and typ.value == -9, "SQLDescribeCol",
              (rc, nm.value, nlen.value, typ.value))
    rc = odbc.SQLDescribeCol(s, 0, nm, 4, None, None, None, None, None)
    res.check(rc == -1 and states(odbc, 3, s)[0][0] == "07009", "column 0 without bookmarks: 07009")
    num = c_long()
    odbc.SQLColAttribute(s, 1, 1212, None, 0, None, ctypes.byref(num))
    is_id = num.value
    odbc.SQLColAttribute(s, 2, 1212, None, 0, None, ctypes.byref(num))
    res.check(is_id == 1 and num.value == 0, "field 1212 marks the Id column")
    rc = odbc.SQLColAttribute(s, 1, 9999, None, 0, None, ctypes.byref(num))
    res.check(rc == -1 and states(odbc, 3, s)[0][0] == "HY091", "an unknown field: HY091")
    odbc.SQLFetch(s)
    buf, ind = ctypes.create_string_buffer(8), c_long()
    rc = odbc.SQLGetData(s, 1, 1, buf, -1, ctypes.byref(ind))
    res.check(rc == -1 and states(odbc, 3, s)[0][0] == "HY090", "SQLGetData with a negative capacity: HY090")
    rc = odbc.SQLColAttribute(s, 1, 18, buf, -1, None, None)
    res.check(rc == -1 and states(odbc, 3, s)[0][0] == "HY090", "SQLColAttribute with a negative capacity: HY090")
    rc = odbc.SQLGetData(s, 2, -99, buf, 8, ctypes.byref(ind))  # SQL_ARD_TYPE, nothing bound
    res.check(rc == -1 and states(odbc, 3, s)[0][0] == "07009", "SQL_ARD_TYPE without an ARD record: 07009")
    rc = odbc.SQLGetData(s, 1, 9999, buf, 8, ctypes.byref(ind))
    res.check(rc == -1 and states(odbc, 3, s)[0][0] in ("07006", "HY003"), "an unknown C type is an error",
              (rc, states(odbc, 3, s)))
    odbc.SQLCloseCursor(s)

    # Dates: the ODBC 3 code, and the ODBC 2 code through SQLColAttributes.
    odbc.SQLExecDirect(s, b"SELECT {d '2024-01-02'} AS d FROM UserInfo", SQL_NTS)
    odbc.SQLColAttribute(s, 1, 2, None, 0, None, ctypes.byref(num))
    three = num.value
    odbc.SQLColAttributes(s, 1, 2, None, 0, None, ctypes.byref(num))
    res.check((three, num.value) == (91, 9), "a DATE column is 91, and 9 through SQLColAttributes", (three, num.value))
    odbc.SQLCloseCursor(s)

    # Unbinding the last bound column shrinks the ARD.
    ard = H()
    odbc.SQLGetStmtAttr(s, 10010, ctypes.byref(ard), 0, None)  # SQL_ATTR_APP_ROW_DESC
    target, tl = ctypes.create_string_buffer(8), c_long()
    odbc.SQLBindCol(s, 1, 1, target, 8, ctypes.byref(tl))
    odbc.SQLBindCol(s, 3, 1, target, 8, ctypes.byref(tl))
    count = c_short()
    odbc.SQLGetDescField(ard, 0, 1001, ctypes.byref(count), 0, None)  # SQL_DESC_COUNT
    before = count.value
    odbc.SQLBindCol(s, 3, 1, None, 0, None)
    odbc.SQLGetDescField(ard, 0, 1001, ctypes.byref(count), 0, None)
    res.check((before, count.value) == (3, 1), "unbinding the last column shrinks the ARD", (before, count.value))
    odbc.SQLBindCol(s, 1, 1, None, 0, None)

    # Piecewise SQLGetData of non-ASCII text, narrow and wide.
    odbc.SQLExecDirect(s, "SELECT 'é€😀' AS x FROM UserInfo".encode(), SQL_NTS)
    odbc.SQLFetch(s)
    pieces = b""
    for _ in range(10):
        rc, raw, ind = text(s, 1, 1, 4)
        if rc == SQL_NO_DATA:
            break
        pieces += raw.split(b"\0")[0]
    res.check(pieces.decode() == "é€😀", "CHAR pieces of 4 bytes join to the text", pieces)
    odbc.SQLCloseCursor(s)
    odbc.SQLExecDirect(s, "SELECT 'é€😀' AS x FROM UserInfo".encode(), SQL_NTS)
    odbc.SQLFetch(s)
    rc1, raw1, ind1 = text(s, 1, -8, 6)
    rc2, raw2, ind2 = text(s, 1, -8, 6)
    rc3 = text(s, 1, -8, 6)[0]
    wide = raw1[:4] + raw2[:4]
    res.check((rc1, ind1, rc2, ind2, rc3) == (1, 8, 0, 4, SQL_NO_DATA) and wide.decode("utf-16-le") == "é€😀",
              "WCHAR pieces keep the surrogate pair whole", (rc1, ind1, rc2, ind2, rc3, wide))
    odbc.SQLCloseCursor(s)

    # Numbers into short character buffers: whole digits lost is 22003 with
    # nothing written; a cut fraction is 01004 once, then SQL_NO_DATA, so a
    # loop that reads until no 01004 ends.
    odbc.SQLExecDirect(s, b"SELECT 12345678901 AS n, 12.5 AS d FROM UserInfo", SQL_NTS)
    odbc.SQLFetch(s)
    rc, raw, _ = text(s, 1, 1, 8)
    res.check(rc == -1 and states(odbc, 3, s)[0][0] == "22003" and raw == b"\0" * 8,
              "11 whole digits into 8 bytes: 22003, nothing written", (rc, states(odbc, 3, s), raw))
    reads = [text(s, 2, 1, 3) for _ in range(3)]
    res.check([r[0] for r in reads] == [1, SQL_NO_DATA, SQL_NO_DATA] and reads[0][1][:3] == b"12\0" and reads[0][2] == 9,
              "12.5 (12.500000) into 3 bytes: '12' with 01004, then SQL_NO_DATA", reads)
    odbc.SQLCloseCursor(s)

    # A static block cursor: LAST, FIRST, PRIOR, ABSOLUTE -1, bookmarks.
    b = stmt()
    odbc.SQLSetStmtAttr(b, 6, H(3), 0)        # SQL_ATTR_CURSOR_TYPE = SQL_CURSOR_STATIC
    odbc.SQLSetStmtAttr(b, 12, H(2), 0)       # SQL_ATTR_USE_BOOKMARKS = SQL_UB_VARIABLE
    odbc.SQLSetStmtAttr(b, 27, H(10), 0)      # SQL_ATTR_ROW_ARRAY_SIZE
    status = (c_ushort * 10)()
    fetched = ctypes.c_ulong()
    odbc.SQLSetStmtAttr(b, 25, ctypes.cast(status, H), 0)                 # SQL_ATTR_ROW_STATUS_PTR
    odbc.SQLSetStmtAttr(b, 26, ctypes.cast(ctypes.byref(fetched), H), 0)  # SQL_ATTR_ROWS_FETCHED_PTR
    ids = (ctypes.c_char * 32 * 10)()
    lens = (c_long * 10)()
    marks = (c_int * 10)()
    mark_lens = (c_long * 10)()
    res.check(odbc.SQLExecDirect(b, b"SELECT Id FROM Plans", SQL_NTS) == 0, "static cursor opens",
              str(states(odbc, 3, b)))
    odbc.SQLBindCol(b, 1, 1, ctypes.cast(ids, H), 32, lens)
    odbc.SQLBindCol(b, 0, 4, ctypes.cast(marks, H), 4, mark_lens)
    plan = lambda i: "P-50%02dABCDEF%02d" % (i, i)  # noqa: E731

    def block(orientation, offset=0):
        rc = odbc.SQLFetchScroll(b, orientation, offset)
        got = [bytes(ids[i]).split(b"\0")[0].decode() for i in range(fetched.value)] if rc in (0, 1) else []
        return rc, got, list(status)[:fetched.value] if rc in (0, 1) else []

    rc, got, st = block(3)  # LAST
    res.check(rc == 0 and got == [plan(i) for i in range(35, 45)] and st == [0] * 10, "LAST block", (rc, got[:2]))
    res.check(list(marks) == list(range(36, 46)), "bookmarks are row numbers", list(marks))
    rc, got, _ = block(2)  # FIRST
    res.check(got == [plan(i) for i in range(10)], "FIRST block from the work file")
    res.check(block(4)[0] == SQL_NO_DATA, "PRIOR before the first block: SQL_NO_DATA")
    rc, got, st = block(5, -1)  # ABSOLUTE -1
    res.check(got == [plan(44)] and fetched.value == 1 and list(status)[:2] == [0, 3], "ABSOLUTE -1: the last row")
    rc, got, _ = block(5, 5)  # ABSOLUTE 5, then PRIOR: back past row 1 by less than a rowset
    rc, got, _ = block(4)
    res.check(rc == 1 and got == [plan(i) for i in range(10)] and states(odbc, 3, b)[0][0] == "01S06",
              "PRIOR from row 5 with rowsets of 10: the first rowset and 01S06", (rc, got[:2], states(odbc, 3, b)))
    # The bookmark read with SQLGetData (column 0 not bound) comes once per
    # fetch, even when the fetch shows the same row again.
    odbc.SQLBindCol(b, 0, 4, None, 0, None)
    first = text(b, 0, -2, 8)
    again = text(b, 0, -2, 8)[0]
    block(6, 0)  # RELATIVE 0: the same rowset
    after = text(b, 0, -2, 8)
    res.check((first[0], first[1][:4], again, after[0], after[1][:4]) == (0, b"\1\0\0\0", SQL_NO_DATA, 0, b"\1\0\0\0"),
              "a bookmark by SQLGetData: once, SQL_NO_DATA, and again after a fetch of the same row",
              (first, again, after))
    mark = c_int(3)
    odbc.SQLSetStmtAttr(b, 16, ctypes.cast(ctypes.byref(mark), H), 0)  # SQL_ATTR_FETCH_BOOKMARK_PTR
    rc, got, _ = block(8, 0)  # BOOKMARK
    res.check(got[:1] == [plan(2)], "SQL_FETCH_BOOKMARK starts at the bookmarked row", got[:2])
    mark.value = 99
    res.check(block(8, 0)[0] == -1 and states(odbc, 3, b)[0][0] == "HY111", "a bookmark past the rows: HY111")
    odbc.SQLCloseCursor(b)

    # Row-wise binding with a bind offset: each block lands in the entries the
    # offset names, with the same text, number and length as column-wise
    # buffers get; an offset changed between fetches moves the next block.
    class Row(ctypes.Structure):
        _fields_ = [("id", ctypes.c_char * 24), ("id_len", c_long), ("fee", ctypes.c_char * 16),
                    ("fee_len", c_long), ("auto", c_int), ("auto_len", c_long)]
    query = b"SELECT Id, PaymentPreferencesSetupFeeValue, PaymentPreferencesAutoBillOutstanding FROM Plans"
    cols = stmt()
    odbc.SQLSetStmtAttr(cols, 27, H(3), 0)  # SQL_ATTR_ROW_ARRAY_SIZE
    ids, fees, autos = (ctypes.c_char * 24 * 3)(), (ctypes.c_char * 16 * 3)(), (c_int * 3)()
    id_lens, fee_lens, auto_lens = (c_long * 3)(), (c_long * 3)(), (c_long * 3)()
    odbc.SQLExecDirect(cols, query, SQL_NTS)
    odbc.SQLBindCol(cols, 1, 1, ctypes.cast(ids, H), 24, id_lens)
    odbc.SQLBindCol(cols, 2, 1, ctypes.cast(fees, H), 16, fee_lens)
    odbc.SQLBindCol(cols, 3, -16, ctypes.cast(autos, H), 4, auto_lens)  # SQL_C_SLONG
    column_wise = []
    for _ in range(2):
        odbc.SQLFetch(cols)
        column_wise += [(bytes(ids[i]).split(b"\0")[0], id_lens[i], bytes(fees[i]).split(b"\0")[0], fee_lens[i],
                         autos[i], auto_lens[i]) for i in range(3)]
    rows = (Row * 4)()
    rows[0].id = b"canary"
    offset, fetched_rows = c_long(ctypes.sizeof(Row)), ctypes.c_ulong()
    r = stmt()
    odbc.SQLSetStmtAttr(r, 5, H(ctypes.sizeof(Row)), 0)  # SQL_ATTR_ROW_BIND_TYPE
    odbc.SQLSetStmtAttr(r, 27, H(3), 0)
    odbc.SQLSetStmtAttr(r, 23, ctypes.cast(ctypes.byref(offset), H), 0)  # SQL_ATTR_ROW_BIND_OFFSET_PTR
    odbc.SQLSetStmtAttr(r, 26, ctypes.cast(ctypes.byref(fetched_rows), H), 0)
    odbc.SQLExecDirect(r, query, SQL_NTS)
    base = ctypes.addressof(rows[0])
    odbc.SQLBindCol(r, 1, 1, H(base + Row.id.offset), 24, ctypes.cast(base + Row.id_len.offset, P(c_long)))
    odbc.SQLBindCol(r, 2, 1, H(base + Row.fee.offset), 16, ctypes.cast(base + Row.fee_len.offset, P(c_long)))
    odbc.SQLBindCol(r, 3, -16, H(base + Row.auto.offset), 4, ctypes.cast(base + Row.auto_len.offset, P(c_long)))
    as_tuple = lambda w: (w.id, w.id_len, w.fee, w.fee_len, w.auto, w.auto_len)  # noqa: E731
    rc = odbc.SQLFetch(r)
    first = [as_tuple(rows[i]) for i in range(1, 4)]
    res.check(rc == 0 and fetched_rows.value == 3 and rows[0].id == b"canary" and first == column_wise[:3],
              "row-wise binding at a bind offset matches column-wise buffers", (rc, first, column_wise[:3]))
    offset.value = 0
    rc = odbc.SQLFetch(r)
    second = [as_tuple(rows[i]) for i in range(3)]
    res.check(rc == 0 and second == column_wise[3:] and as_tuple(rows[3]) == column_wise[2],
              "a bind offset changed between fetches moves the next block", (rc, second, column_wise[3:]))
    for h in (cols, r):
        odbc.SQLFreeHandle(3, h)

    # Forward-only cursors refuse scrolling.
    odbc.SQLExecDirect(s, b"SELECT Id FROM Webhooks", SQL_NTS)
    odbc.SQLFetch(s)
    res.check(odbc.SQLFetchScroll(s, 4, 0) == -1 and states(odbc, 3, s)[0][0] == "HY106", "PRIOR forward-only: HY106")
    odbc.SQLCloseCursor(s)

    # Closing after the first row stops paging: one GET of the plans.
    before = len([r for r in emu.requests() if r["path"].startswith("/v1/billing/plans")])
    odbc.SQLExecDirect(s, b"SELECT Id FROM PlansNoPrefer", SQL_NTS)
    odbc.SQLFetch(s)
    odbc.SQLCloseCursor(s)
    after = len([r for r in emu.requests() if r["path"].startswith("/v1/billing/plans")])
    res.check(after - before == 1, "closing the cursor after one row sent one GET", after - before)

    # Transactions.
    res.check(odbc.SQLEndTran(2, dbc, 2) == -1 and states(odbc, 2, dbc)[0][0] == "HY012", "completion 2: HY012")
    res.check(odbc.SQLEndTran(1, env, 0) == 0, "SQLEndTran on the environment does nothing")
    res.check(odbc.SQLEndTran(2, dbc, 0) == 0, "commit")

    for h in (s, t, b):
        odbc.SQLFreeHandle(3, h)
    odbc.SQLDisconnect(dbc)
    odbc.SQLFreeHandle(2, dbc)
    odbc.SQLFreeHandle(1, env)


with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    odbc_ini = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}})
    os.environ.update(odbc_ini.env)
    run(lib(), emu)
res.finish()
