"""Keyset-driven cursors through unixODBC's libodbc against the emulator: a
keyset cursor over Webhooks (a table PayPal reads one row of by its id)
shows a row changed behind its back with the new value and a row deleted
behind its back with SQL_ROW_DELETED, with one GET per row shown again in the
emulator's request log; a positioned delete of the vanished row gives 40001.
Queries whose rows cannot be read again (no key in the select list under
ORDER BY, a table without a keyed GET) run as static cursors with 01S02 and
the cursor type attribute saying so; a dynamic cursor becomes keyset-driven.
The data source keeps a reply cache: rows read again must not come from it."""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
res = Results()

CLIENT = r'''
import base64, ctypes, json, ssl, sys, urllib.request
log_path, base, ca = sys.argv[1], sys.argv[2], sys.argv[3]
odbc = ctypes.CDLL("libodbc.so.2")
H = ctypes.c_void_p
for f in ("SQLAllocHandle", "SQLSetEnvAttr", "SQLDriverConnect", "SQLExecDirect", "SQLSetStmtAttr",
          "SQLGetStmtAttr", "SQLFetchScroll", "SQLBindCol", "SQLGetDiagRec", "SQLSetPos", "SQLCloseCursor",
          "SQLFreeHandle", "SQLGetData"):
    getattr(odbc, f).restype = ctypes.c_short
odbc.SQLAllocHandle.argtypes = [ctypes.c_short, H, ctypes.POINTER(H)]
odbc.SQLSetEnvAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
odbc.SQLDriverConnect.argtypes = [H, H, ctypes.c_char_p, ctypes.c_short, H, ctypes.c_short, H, ctypes.c_ushort]
odbc.SQLExecDirect.argtypes = [H, ctypes.c_char_p, ctypes.c_int]
odbc.SQLSetStmtAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
odbc.SQLGetStmtAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int, H]
odbc.SQLFetchScroll.argtypes = [H, ctypes.c_short, ctypes.c_long]
odbc.SQLBindCol.argtypes = [H, ctypes.c_ushort, ctypes.c_short, H, ctypes.c_long, H]
odbc.SQLGetDiagRec.argtypes = [ctypes.c_short, H, ctypes.c_short, ctypes.c_char_p, H, ctypes.c_char_p,
                               ctypes.c_short, H]
odbc.SQLSetPos.argtypes = [H, ctypes.c_ushort, ctypes.c_ushort, ctypes.c_ushort]
odbc.SQLCloseCursor.argtypes = [H]
odbc.SQLFreeHandle.argtypes = [ctypes.c_short, H]
odbc.SQLGetData.argtypes = [H, ctypes.c_ushort, ctypes.c_short, H, ctypes.c_long, H]
SQL_ATTR_CURSOR_TYPE, ROW_ARRAY, ROW_STATUS, ROWS_FETCHED = 6, 27, 25, 26
SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK = 7, 2
KEYSET, DYNAMIC, STATIC = 1, 2, 3
ROWS, WIDTH = 4, 256

env, dbc = H(), H()
odbc.SQLAllocHandle(1, None, ctypes.byref(env))
odbc.SQLSetEnvAttr(env, 200, H(3), 0)
odbc.SQLAllocHandle(2, env, ctypes.byref(dbc))
assert odbc.SQLDriverConnect(dbc, None, b"DSN=CVPAYPAL", -3, None, 0, None, 0) in (0, 1)
out = {}

def states(h):
    got, i = [], 1
    state, msg = ctypes.create_string_buffer(6), ctypes.create_string_buffer(512)
    while odbc.SQLGetDiagRec(3, h, i, state, None, msg, 512, None) in (0, 1):
        got.append(state.value.decode() + " " + msg.value.decode())
        i += 1
    return got

class Cursor:
    def __init__(self, cursor_type, sql):
        self.h = H()
        odbc.SQLAllocHandle(3, dbc, ctypes.byref(self.h))
        assert odbc.SQLSetStmtAttr(self.h, SQL_ATTR_CURSOR_TYPE, H(cursor_type), 0) == 0
        # Positioned changes need a concurrency other than read-only.
        assert odbc.SQLSetStmtAttr(self.h, SQL_ATTR_CONCURRENCY, H(SQL_CONCUR_LOCK), 0) == 0
        self.rc = odbc.SQLExecDirect(self.h, sql.encode(), -3)
        self.diag = states(self.h)
        t = ctypes.c_ulong(0)
        odbc.SQLGetStmtAttr(self.h, SQL_ATTR_CURSOR_TYPE, ctypes.byref(t), 0, None)
        self.type = t.value
        self.status = (ctypes.c_ushort * ROWS)()
        self.fetched = ctypes.c_ulong(0)
        self.cols = [ctypes.create_string_buffer(ROWS * WIDTH) for _ in range(2)]
        self.lens = [(ctypes.c_long * ROWS)() for _ in range(2)]
        odbc.SQLSetStmtAttr(self.h, ROW_ARRAY, H(ROWS), 0)
        odbc.SQLSetStmtAttr(self.h, ROW_STATUS, ctypes.cast(self.status, H), 0)
        odbc.SQLSetStmtAttr(self.h, ROWS_FETCHED, ctypes.cast(ctypes.byref(self.fetched), H), 0)
        for c in range(2):
            odbc.SQLBindCol(self.h, c + 1, 1, ctypes.cast(self.cols[c], H), WIDTH, ctypes.cast(self.lens[c], H))

    def fetch(self, orientation, offset=0):
        rc = odbc.SQLFetchScroll(self.h, orientation, offset)
        rows = []
        for r in range(min(self.fetched.value, ROWS)):
            rows.append([self.cols[c].raw[r * WIDTH:(r + 1) * WIDTH].split(b"\0")[0].decode() for c in range(2)])
        return {"rc": rc, "status": list(self.status)[:self.fetched.value], "rows": rows}

    def close(self):
        odbc.SQLFreeHandle(3, self.h)

def log_lines():
    with open(log_path) as f:
        return [json.loads(line) for line in f if line.strip()]

def paypal(method, path, body=None, token=None):
    ctx = ssl.create_default_context(cafile=ca) if ca else None
    headers = {"Content-Type": "application/json"}
    data = json.dumps(body).encode() if body is not None else None
    if token:
        headers["Authorization"] = "Bearer " + token
    else:
        headers["Authorization"] = "Basic " + base64.b64encode(b"demo-client:demo-secret").decode()
        headers["Content-Type"] = "application/x-www-form-urlencoded"
        data = b"grant_type=client_credentials"
    req = urllib.request.Request(base + path, data=data, headers=headers, method=method)
    with urllib.request.urlopen(req, context=ctx, timeout=10) as r:
        text = r.read()
        return json.loads(text) if text else None

# ---- a keyset cursor over Webhooks
k = Cursor(KEYSET, "SELECT Id, Url FROM Webhooks")
out["keyset_open"] = [k.rc, k.type, k.diag]
first = k.fetch(1)
out["first_pass"] = first
ids = [r[0] for r in first["rows"]]
token = paypal("POST", "/v1/oauth2/token")["access_token"]
paypal("PATCH", "/v1/notifications/webhooks/" + ids[1],
       [{"op": "replace", "path": "/url", "value": "https://changed.example/hook"}], token)
paypal("DELETE", "/v1/notifications/webhooks/" + ids[2], None, token)
mark = len(log_lines())
out["again"] = k.fetch(2)
out["gets"] = [e["method"] + " " + e["path"] for e in log_lines()[mark:] if not e["path"].startswith("/v1/oauth2")]
out["setpos_vanished"] = [odbc.SQLSetPos(k.h, 3, 3, 0), states(k.h)[:1]]
k.close()

# ---- SQLSetPos on a keyset cursor whose select list lacks the key: the
# key the keyset kept for the row finds it
u = Cursor(KEYSET, "SELECT Url, Url FROM Webhooks")
u.fetch(1)
mark = len(log_lines())
out["setpos_keyless"] = [u.type, odbc.SQLSetPos(u.h, 2, 3, 0), states(u.h)[:1],
                         [e["method"] + " " + e["path"] for e in log_lines()[mark:] if e["method"] == "DELETE"]]
u.close()

# ---- queries whose rows cannot be read again, and a dynamic cursor
for name, kind, sql in (("sorted_without_key", KEYSET, "SELECT Url, Url FROM Webhooks ORDER BY Url"),
                        ("no_keyed_get", KEYSET, "SELECT Id, Name FROM Plans"),
                        ("keyed_products", KEYSET, "SELECT Id, Name FROM Products"),
                        ("dynamic", DYNAMIC, "SELECT Id, Url FROM Webhooks")):
    c = Cursor(kind, sql)
    f = c.fetch(1)
    out[name] = [c.rc, c.type, [d.split(" ", 1)[0] for d in c.diag], f["rc"], len(f["rows"])]
    c.close()
print(json.dumps(out))
'''

with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    settings = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca,
                "query_timeout": "300"}
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": settings})
    r = odbc.run(["/usr/bin/python3", "-c", CLIENT, emu.log, emu.base_url, emu.ca or ""], timeout=240)
    try:
        out = json.loads(r.stdout)
    except ValueError:
        res.check(False, "the keyset client ran", r.stdout[-3000:] + r.stderr[-3000:])
        res.finish()

    opened = out["keyset_open"]
    res.check(opened[0] == 0 and opened[1] == 1, "a keyset cursor over Webhooks stays keyset-driven", str(opened))
    first = out["first_pass"]
    res.check(first["rc"] == 0 and first["status"] == [0, 0, 0, 0] and len(first["rows"]) == 4,
              "the first block shows four webhooks", str(first))
    again = out["again"]
    ids = [row[0] for row in first["rows"]]
    res.check(again["status"] == [0, 0, 1, 0] and again["rc"] == 1,
              "the deleted webhook is SQL_ROW_DELETED, the others are there", str(again))
    res.check(len(again["rows"]) == 4 and again["rows"][1] == [ids[1], "https://changed.example/hook"],
              "the webhook changed behind the cursor shows its new Url", str(again))
    res.check(again["rows"][0] == first["rows"][0] and again["rows"][3] == first["rows"][3],
              "unchanged rows read again are the same", str(again))
    want = ["GET /v1/notifications/webhooks/" + i for i in ids]
    res.check(out["gets"] == want, "one GET by id per row shown again, nothing else", str(out["gets"]))
    res.check(out["setpos_vanished"][0] == -1 and out["setpos_vanished"][1][0].startswith("40001"),
              "SQLSetPos SQL_DELETE on the vanished row: 40001", str(out["setpos_vanished"]))
    ctype, rc, diag, deletes = out["setpos_keyless"]
    res.check(ctype == 1 and rc == 0 and deletes == ["DELETE /v1/notifications/webhooks/" + ids[1]],
              "SQLSetPos SQL_DELETE on a keyset cursor without the key in its select list deletes that row by "
              "the key its keyset kept", str(out["setpos_keyless"]))
    for name, what in (("sorted_without_key", "ORDER BY without the key in the select list"),
                       ("no_keyed_get", "Plans, which PayPal cannot read one by one")):
        rc, ctype, diag, frc, rows = out[name]
        res.check(rc == 1 and ctype == 3 and diag == ["01S02"] and frc == 0 and rows > 0,
                  f"{what}: static cursor, 01S02, rows fetched", str(out[name]))
    rc, ctype, diag, frc, rows = out["keyed_products"]
    res.check(rc == 0 and ctype == 1 and diag == [] and frc == 0 and rows == 4,
              "Products, read one by one by id: keyset-driven", str(out["keyed_products"]))
    rc, ctype, diag, frc, rows = out["dynamic"]
    res.check(rc == 1 and ctype == 1 and diag == ["01S02"] and rows > 0,
              "a dynamic cursor is served keyset-driven, with 01S02", str(out["dynamic"]))
res.finish()
