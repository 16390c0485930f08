"""Catalogue calls through real clients: isql and iusql `help`, pyodbc's
catalogue methods, the same calls from an ODBC 2 application (ctypes), and
INFO_SCHEMA queried with SQL."""
import ctypes
import subprocess

from odbc_env import Emulator, PrivateOdbc, Results, parse_args

args = parse_args()
r = Results()


def isql_rows(text):
    """The data rows of an isql table: lists of trimmed cells."""
    rows = []
    for line in text.splitlines():
        if line.startswith("| ") and line.endswith("|"):
            rows.append([c.strip() for c in line[1:-1].split("|")])
    return rows[1:]  # the first row is the heading


# ---- an ODBC 2 application, through libodbc with ctypes
odbc = ctypes.CDLL("libodbc.so.2")
H = ctypes.c_void_p
odbc.SQLAllocHandle.argtypes = [ctypes.c_short, H, ctypes.POINTER(H)]
odbc.SQLSetEnvAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
odbc.SQLDriverConnect.argtypes = [H, H, ctypes.c_char_p, ctypes.c_short, ctypes.c_char_p, ctypes.c_short,
                                  ctypes.POINTER(ctypes.c_short), ctypes.c_ushort]
odbc.SQLGetTypeInfo.argtypes = [H, ctypes.c_short]
odbc.SQLTables.argtypes = [H] + [ctypes.c_char_p, ctypes.c_short] * 4
odbc.SQLColumns.argtypes = [H] + [ctypes.c_char_p, ctypes.c_short] * 4
odbc.SQLProcedures.argtypes = [H] + [ctypes.c_char_p, ctypes.c_short] * 3
odbc.SQLForeignKeys.argtypes = [H] + [ctypes.c_char_p, ctypes.c_short] * 6
odbc.SQLStatistics.argtypes = [H] + [ctypes.c_char_p, ctypes.c_short] * 3 + [ctypes.c_ushort, ctypes.c_ushort]
odbc.SQLPrimaryKeys.argtypes = [H] + [ctypes.c_char_p, ctypes.c_short] * 3
odbc.SQLFetch.argtypes = [H]
odbc.SQLNumResultCols.argtypes = [H, ctypes.POINTER(ctypes.c_short)]
odbc.SQLGetData.argtypes = [H, ctypes.c_ushort, ctypes.c_short, H, ctypes.c_long, ctypes.POINTER(ctypes.c_long)]
odbc.SQLSetStmtAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
odbc.SQLGetStmtAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]
odbc.SQLDescribeCol.argtypes = [H, ctypes.c_ushort, ctypes.c_char_p, ctypes.c_short, ctypes.POINTER(ctypes.c_short),
                                ctypes.POINTER(ctypes.c_short), ctypes.POINTER(ctypes.c_ulong),
                                ctypes.POINTER(ctypes.c_short), ctypes.POINTER(ctypes.c_short)]
odbc.SQLGetDiagRec.argtypes = [ctypes.c_short, H, ctypes.c_short, ctypes.c_char_p, ctypes.POINTER(ctypes.c_int),
                               ctypes.c_char_p, ctypes.c_short, ctypes.POINTER(ctypes.c_short)]
odbc.SQLExecute.argtypes = [H]
odbc.SQLFreeStmt.argtypes = [H, ctypes.c_ushort]
odbc.SQLMoreResults.argtypes = [H]
odbc.SQLDisconnect.argtypes = [H]
odbc.SQLFreeHandle.argtypes = [ctypes.c_short, H]


class App:
    def __init__(self, version, conn):
        self.env, self.dbc, self.stmt = H(), H(), H()
        odbc.SQLAllocHandle(1, None, ctypes.byref(self.env))
        odbc.SQLSetEnvAttr(self.env, 200, H(version), 0)
        odbc.SQLAllocHandle(2, self.env, ctypes.byref(self.dbc))
        n = ctypes.c_short()
        self.connected = odbc.SQLDriverConnect(self.dbc, None, conn.encode(), -3, None, 0, ctypes.byref(n), 0) in (0, 1)
        odbc.SQLAllocHandle(3, self.dbc, ctypes.byref(self.stmt))

    def rows(self):
        cols = ctypes.c_short()
        odbc.SQLNumResultCols(self.stmt, ctypes.byref(cols))
        out = []
        buf = ctypes.create_string_buffer(300)
        ind = ctypes.c_long()
        while odbc.SQLFetch(self.stmt) in (0, 1):
            row = []
            for c in range(1, cols.value + 1):
                odbc.SQLGetData(self.stmt, c, 1, buf, 300, ctypes.byref(ind))
                row.append(None if ind.value == -1 else buf.value.decode())
            out.append(row)
        odbc.SQLFreeStmt(self.stmt, 0)
        return out

    def diag(self):
        state, msg = ctypes.create_string_buffer(6), ctypes.create_string_buffer(512)
        native, n = ctypes.c_int(), ctypes.c_short()
        out, i = [], 1
        while odbc.SQLGetDiagRec(3, self.stmt, i, state, ctypes.byref(native), msg, 512, ctypes.byref(n)) in (0, 1):
            out.append(state.value.decode())
            i += 1
        return out

    def close(self):
        odbc.SQLFreeHandle(3, self.stmt)
        odbc.SQLDisconnect(self.dbc)
        odbc.SQLFreeHandle(2, self.dbc)
        odbc.SQLFreeHandle(1, self.env)


with Emulator(args.source, "--client-id", "cv", "--client-secret", "sec") as emu:
    odbc_ini = PrivateOdbc(args.driver, dsns={
        "PAYPAL": {"client_id": "cv", "client_secret": "sec", "base_url": emu.base_url, "cert": emu.ca}})
    conn = "DSN=PAYPAL"

    # ---- isql and iusql
    tables = None
    def run_client(client, text):
        env = dict(odbc_ini.env)
        if client == "iusql" and "asan" in env.get("LD_PRELOAD", ""):
            # iusql's own strncpy copies overlapping buffers; the driver is checked without that check.
            env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":replace_str=0"
        return odbc_ini.run([client, "-v", "PAYPAL", "-b"], stdin=text, env=env, timeout=60)

    for client in ("isql", "iusql"):
        out = run_client(client, "help\n")
        rows = isql_rows(out.stdout)
        names = [row[2] for row in rows]
        r.check(len(rows) == 35 and all(row[3] == "TABLE" for row in rows), f"{client} help lists the 35 tables",
                out.stdout[-2000:] + out.stderr)
        r.check(names == sorted(names) and "Invoices" in names and not any("INFO" in n for n in names),
                f"{client} help orders the tables by name; INFO_SCHEMA takes no part", str(names))
        tables = names
        out = run_client(client, "help Invoices\n")
        rows = isql_rows(out.stdout)
        ordinals = [int(row[16]) for row in rows if len(row) > 16]
        r.check(len(rows) > 20 and ordinals == list(range(1, len(rows) + 1)) and rows[0][3] == "Id",
                f"{client} help Invoices lists its columns in ordinal order", out.stdout[-2000:] + out.stderr)

    # ---- pyodbc's catalogue methods (ODBC 3)
    out = odbc_ini.python(f"""
import pyodbc
c = pyodbc.connect('{conn}', autocommit=True)
cur = c.cursor()
print('TABLES', [t.table_name for t in cur.tables()])
print('VIEWS', len(cur.tables(tableType='VIEW').fetchall()))
cols = cur.columns(table='Invoices').fetchall()
print('COLUMNS', len(cols), cols[0].column_name, [x.ordinal_position for x in cols] == list(range(1, len(cols) + 1)))
print('COLDESC', [d[0] for d in cur.description][:6])
print('PK', [(k.table_name, k.column_name, k.key_seq) for k in cur.primaryKeys('Invoices')])
print('STATS', [(s.table_name, s.index_name, s.column_name, s.non_unique) for s in cur.statistics('Invoices')])
types = cur.getTypeInfo().fetchall()
print('TYPES', len(types), [t[1] for t in types] == sorted(t[1] for t in types))
print('INT', [(t.type_name, t.auto_unique_value, t.nullable, t.local_type_name) for t in cur.getTypeInfo(pyodbc.SQL_INTEGER)])
print('DATE9', [t[1] for t in cur.getTypeInfo(9)])
print('IV107', len(cur.getTypeInfo(107).fetchall()))
print('NUM', [(t.type_name, t.maximum_scale) for t in cur.getTypeInfo(pyodbc.SQL_NUMERIC)])
print('IVROW', [(t[16], t[18]) for t in cur.getTypeInfo(103)])
print('PROCS', len(cur.procedures().fetchall()), len(cur.description))
""")
    lines = {l.split(" ", 1)[0]: l.split(" ", 1)[1] for l in out.stdout.splitlines() if " " in l}
    r.check(lines.get("TABLES") == str(tables), "pyodbc tables() gives isql's 35 tables", out.stdout + out.stderr)
    r.check(lines.get("VIEWS") == "0", "tables(tableType='VIEW') is empty: no stored views", out.stdout)
    r.check(lines.get("COLUMNS", "").endswith("Id True"), "columns('Invoices') in ordinal order", out.stdout)
    r.check(lines.get("COLDESC") == str(['table_cat', 'table_schem', 'table_name', 'column_name', 'data_type',
                                         'type_name']), "the SQLColumns result's column names", out.stdout)
    r.check(lines.get("PK") == "[('Invoices', 'Id', 1)]", "primaryKeys('Invoices')", out.stdout)
    r.check("'Invoices'" in lines.get("STATS", "") and "'Id'" in lines.get("STATS", ""),
            "statistics('Invoices') names the key column", out.stdout)
    r.check(lines.get("TYPES") == "35 True", "getTypeInfo() has 35 types ordered by DATA_TYPE", out.stdout)
    r.check(lines.get("INT") == "[('INTEGER', 0, 1, 'SQL_INTEGER'), ('INTEGER AUTONUMBER', 1, 0, 'INTEGER AUTONUMBER')]",
            "SQL_INTEGER gives INTEGER and INTEGER AUTONUMBER", out.stdout)
    r.check(lines.get("DATE9") == "[91]", "an ODBC 3 application asking for 9 gets the DATE row as 91", out.stdout)
    r.check(lines.get("IV107") == "0", "the interval code 107 has no row", out.stdout)
    r.check(lines.get("NUM") == "[('NUMERIC', 0)]", "NUMERIC reports MAXIMUM_SCALE 0", out.stdout)
    r.check(lines.get("IVROW") == "[(3, 2)]", "an interval row reports its subcode and INTERVAL_PRECISION 2",
            out.stdout)
    r.check(lines.get("PROCS") == "13 8", "SQLProcedures: the thirteen PayPal actions, eight columns", out.stdout + out.stderr)

    # ---- an ODBC 2 application (in this process: it reads the private ini files too)
    import os
    os.environ.update({k: odbc_ini.env[k] for k in ("ODBCSYSINI", "ODBCINSTINI", "ODBCINI")})
    app = App(2, conn)
    r.check(app.connected, "an ODBC 2 application connects")
    rc = odbc.SQLGetTypeInfo(app.stmt, 0)
    rows = app.rows()
    codes = [int(x[1]) for x in rows]
    r.check(rc == 0 and len(rows) == 23 and 9 in codes and 91 not in codes and not any(c > 100 for c in codes),
            "ODBC 2: 23 types, dates as 9, 10, 11, no intervals", str(codes))
    odbc.SQLGetTypeInfo(app.stmt, 91)
    r.check([x[1] for x in app.rows()] == ["9"], "ODBC 2: asking for 91 gives the DATE row as 9")
    rc = odbc.SQLColumns(app.stmt, None, 0, None, 0, b"Invoices", -3, None, 0)
    r.check(rc == 0 and len(app.rows()) > 20, "ODBC 2: SQLColumns")
    rc = odbc.SQLTables(app.stmt, None, 0, None, 0, None, 0, None, 0)
    rows = app.rows()
    r.check(rc == 0 and len(rows) == 35 and [x[2] for x in rows] == sorted(x[2] for x in rows),
            "ODBC 2: SQLTables lists the 35 tables in order")
    rc = odbc.SQLPrimaryKeys(app.stmt, None, 0, None, 0, b"Invoices", -3)
    r.check(rc == 0 and [(x[2], x[3], x[4]) for x in app.rows()] == [("Invoices", "Id", "1")], "ODBC 2: SQLPrimaryKeys")
    rc = odbc.SQLStatistics(app.stmt, None, 0, None, 0, b"Invoices", -3, 1, 0)
    rows = app.rows()
    r.check(rc == 0 and any(x[8] == "Id" for x in rows), "ODBC 2: SQLStatistics names the key column", str(rows))
    rc = odbc.SQLTables(app.stmt, None, 0, None, 0, b"Invoices", -5, None, 0)
    r.check(rc == -1 and app.diag()[:1] in (["HY090"], ["S1090"]), "a negative length other than SQL_NTS is HY090",
            str(app.diag()))
    app.close()

    # ---- statement rules of a catalogue result (ODBC 3)
    app = App(3, conn)
    odbc.SQLSetStmtAttr(app.stmt, 6, H(2), 0)  # SQL_ATTR_CURSOR_TYPE dynamic
    rc = odbc.SQLTables(app.stmt, None, 0, None, 0, None, 0, None, 0)
    diag = app.diag()
    ctype = ctypes.c_int()
    odbc.SQLGetStmtAttr(app.stmt, 6, ctypes.byref(ctype), 4, None)
    r.check(rc == 1 and "01S02" in diag and ctype.value == 3, "a dynamic cursor becomes static with 01S02",
            f"{rc} {diag} {ctype.value}")
    rc = odbc.SQLColumns(app.stmt, None, 0, None, 0, None, 0, None, 0)
    r.check(rc == -1 and "24000" in app.diag(), "a catalogue call on an open cursor gives 24000")
    r.check(odbc.SQLMoreResults(app.stmt) == 100, "SQLMoreResults after a catalogue result: no data")
    odbc.SQLFreeStmt(app.stmt, 0)
    r.check(odbc.SQLExecute(app.stmt) == -1, "SQLExecute after a catalogue call is refused (nothing prepared)")
    odbc.SQLSetStmtAttr(app.stmt, 12, H(1), 0)  # SQL_ATTR_USE_BOOKMARKS on
    odbc.SQLSetStmtAttr(app.stmt, 6, H(3), 0)
    odbc.SQLTables(app.stmt, None, 0, None, 0, None, 0, None, 0)
    name = ctypes.create_string_buffer(64)
    n, t, d, nl = ctypes.c_short(), ctypes.c_short(), ctypes.c_short(), ctypes.c_short()
    size = ctypes.c_ulong()
    odbc.SQLDescribeCol(app.stmt, 0, name, 64, ctypes.byref(n), ctypes.byref(t), ctypes.byref(size),
                        ctypes.byref(d), ctypes.byref(nl))
    r.check(name.value == b"BOOKMARK", "with bookmarks on, column 0 of a catalogue result is BOOKMARK",
            str(name.value))
    odbc.SQLFreeStmt(app.stmt, 0)
    odbc.SQLSetStmtAttr(app.stmt, 12, H(0), 0)
    rc = odbc.SQLForeignKeys(app.stmt, None, 0, None, 0, None, 0, None, 0, None, 0, b"Invoices", -3)
    r.check(rc == 0 and app.rows() == [], "SQLForeignKeys with only a foreign-key table: empty, no error")
    app.close()

    # ---- INFO_SCHEMA through SQL
    out = odbc_ini.python(f"""
import pyodbc
c = pyodbc.connect('{conn}', autocommit=True)
cur = c.cursor()
def q(sql):
    try:
        return cur.execute(sql).fetchall()
    except pyodbc.Error as e:
        return 'ERR ' + e.args[0]
t = q("SELECT TABLE_NAME, TABLE_TYPE FROM INFO_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE'")
print('TABLES', len(t), sorted(x[0] for x in t) == [x[0] for x in t])
cols = q("SELECT COLUMN_NAME, ORDINAL_POSITION, DATA_TYPE FROM INFO_SCHEMA.COLUMNS WHERE TABLE_NAME = 'Invoices'")
inv = [x.column_name for x in cur.columns(table='Invoices')]
print('COLUMNS', [x[0] for x in cols] == inv and len(inv) > 20)
print('LOWER', len(q("SELECT * FROM INFO_SCHEMA.COLUMNS WHERE TABLE_NAME = 'invoices'")))
print('QUOTED', q('SELECT * FROM "info_schema"."TABLES"'))
print('ALL', len(q("SELECT * FROM INFO_SCHEMA.COLUMNS")) > 500)
s = q("SELECT * FROM INFO_SCHEMA.SERVER_INFO")
print('SERVER', len(s), s[0][0], dict((a, b) for a, b in s).get('TXN_ISOLATION'))
print('SCHEMATA', len(q("SELECT * FROM INFO_SCHEMA.SCHEMATA")), len(cur.description))
p = q("SELECT TABLE_NAME, COLUMN_NAME, SENT_AS, PARAMETER, OPERATORS, REQUIRED FROM INFO_SCHEMA.PAYPAL_RESTRICTIONS WHERE TABLE_NAME = 'Payments' AND SENT_TO_PAYPAL = 'YES'")
print('PUSH', sorted(tuple(x) for x in p))
d = q("SELECT TABLE_NAME, COLUMN_NAME, PARAMETER, ALLOWED_VALUES, DEFAULT_VALUE FROM INFO_SCHEMA.PAYPAL_RESTRICTIONS WHERE DEFAULT_VALUE IS NOT NULL")
print('DEFAULTS', sorted(tuple(x) for x in d))
o = q("SELECT TABLE_NAME FROM INFO_SCHEMA.TABLES WHERE TABLE_NAME LIKE 'Invoice%' ORDER BY TABLE_NAME DESC")
print('ORDER', [x[0] for x in o] == sorted((x[0] for x in o), reverse=True) and len(o) == 8 and o[0][0] == 'Invoices')
o = q("SELECT COLUMN_NAME, ORDINAL_POSITION FROM INFO_SCHEMA.COLUMNS WHERE TABLE_NAME = 'Invoices' AND ORDINAL_POSITION <= 3 ORDER BY ORDINAL_POSITION DESC")
print('ORDER2', [tuple(x) for x in o])
""")
    lines = {l.split(" ", 1)[0]: l.split(" ", 1)[1] for l in out.stdout.splitlines() if " " in l}
    r.check(lines.get("TABLES") == "35 True", "INFO_SCHEMA.TABLES: 35 base tables", out.stdout + out.stderr)
    r.check(lines.get("COLUMNS") == "True", "INFO_SCHEMA.COLUMNS for Invoices has every column", out.stdout)
    r.check(lines.get("LOWER") == "0", "a lower-case table name is not found", out.stdout)
    r.check("42S02" in lines.get("QUOTED", "") or "ERR" in lines.get("QUOTED", ""),
            "a quoted lower-case INFO_SCHEMA is not a table", out.stdout)
    r.check(lines.get("ALL") == "True", "SELECT * FROM INFO_SCHEMA.COLUMNS works", out.stdout)
    r.check(lines.get("SERVER") == "11 CATALOG_NAME REPEATABLE READ", "SERVER_INFO has its eleven rows", out.stdout)
    r.check(lines.get("SCHEMATA") == "0 7", "SCHEMATA: no rows, seven columns", out.stdout)
    r.check(lines.get("PUSH") == str(sorted([("Payments", "EndTime", "QUERY PARAMETER", "end_time", "<, <=, =", "YES"),
                                             ("Payments", "StartTime", "QUERY PARAMETER", "start_time", ">, >=, =", "YES")])),
            "PAYPAL_RESTRICTIONS says which Payments restrictions reach PayPal", out.stdout)
    r.check(lines.get("DEFAULTS") == str(sorted((t, "BalanceAffectingOnly", "balance_affecting_records_only", "N, Y", "N")
                                                for t in ("Transactions", "TransactionItems"))),
            "PAYPAL_RESTRICTIONS: the transaction tables send balance_affecting_records_only=N unless asked", out.stdout)
    r.check(lines.get("ORDER") == "True", "INFO_SCHEMA.TABLES with WHERE and ORDER BY", out.stdout)
    r.check(lines.get("ORDER2") == "[('Status', 3), ('ParentId', 2), ('Id', 1)]",
            "INFO_SCHEMA.COLUMNS with WHERE and ORDER BY", out.stdout)

r.finish()
