"""PayPal's actions as procedures through pyodbc and isql against the
emulator: one table of calls (procedure, arguments, and the row it returns,
the SQLSTATE it fails with, or a later SELECT that shows its effect), run in
order on one connection; then a parameter array, the {?=call} form, a
read-only connection, the listings, a reply dropped after a refund (resent
with the same PayPal-Request-Id: one refund) and after a suspension (not
resent: 08S01 naming the id), and isql."""
import json
import os
import ssl
import sys
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
res = Results()

# Runs in the client process: each step's rows (as texts) and row count, or
# its SQLSTATE and message.
CLIENT = r'''
import datetime, decimal, json, pyodbc, sys
steps = json.loads(sys.argv[1])
c = pyodbc.connect("DSN=CVPAYPAL", autocommit=True)
cur = c.cursor()
out = []
for sql, params, many in steps:
    conv = [decimal.Decimal(p["dec"]) if isinstance(p, dict) and "dec" in p else
            datetime.date.fromisoformat(p["date"]) if isinstance(p, dict) else p for p in params]
    try:
        if many:
            cur.fast_executemany = True
            cur.executemany(sql, [tuple(r) for r in conv])
        else:
            cur.execute(sql, *conv)
        rows = [[None if x is None else str(x) for x in r] for r in cur.fetchall()] if cur.description else None
        out.append({"rowcount": cur.rowcount, "rows": rows})
    except pyodbc.Error as e:
        out.append({"state": e.args[0], "error": str(e)})
print(json.dumps(out))
'''

DRAFT, SENT, PAID, UNPAID = ("INV2-2V3Y-H4PW-Q8QZ-SBF8", "INV2-DRA2-WSXD-PN3D-HQM7", "INV2-E8DR-QHQC-7LA8-8RZ9",
                             "INV2-V83P-5K73-UABA-3MZK")
DRAFT2 = "INV2-UN8A-WKLH-2SXY-ATMY"
CAPTURE, AUTH = "2GG279541U4710100", "0VF52814937998046"
SUB = "I-BW452GLLEP1G0"
ANY = "*"  # a generated id


def call(sql, *params, rows=None, state=None, text=None):
    """One step: the rows expected (ANY matches any value), or the SQLSTATE
    and a piece of its message."""
    return {"sql": sql, "params": list(params), "rows": rows, "state": state, "text": text}


CASES = [
    # invoices: numbered, made, sent, reminded, cancelled; wrong states refused with PayPal's issue
    call("{call PAYPAL.DBO.GenerateInvoiceNumber()}", rows=[["0005001"]]),
    call("{call CreateDraftInvoice(?, ?, ?, ?, ?, ?, ?)}", "bill@example.com", "USD", "Mug", 2, {"dec": "9.50"},
         "Thanks", {"date": "2026-02-01"}, rows=[[ANY, "DRAFT", "0005002"]]),
    call("SELECT COUNT(*) FROM Invoices WHERE Status = 'DRAFT'", rows=[["6"]]),
    call("{call CreateDraftInvoice('b@example.com', 'EUR', 'Pen', 1, 3, NULL, NULL, 'MY-7')}",
         rows=[[ANY, "DRAFT", "MY-7"]]),
    call("{call SendInvoice(?)}", DRAFT, rows=[[DRAFT, "SENT", "0001000"]]),
    call("SELECT Status FROM Invoices WHERE Id = ?", DRAFT, rows=[["SENT"]]),
    call("{call SendInvoice(?)}", DRAFT, state="HY000", text="INVOICE_ALREADY_SENT"),
    call("{call RemindInvoice(?, 'Reminder', 'Please pay')}", SENT, rows=[[SENT, "SENT", "0001001"]]),
    call("{call RemindInvoice(?)}", DRAFT2, state="HY000", text="CANNOT_REMIND_INVOICE"),
    call("{call CancelInvoice(?, 'Cancelled', , 0, 1)}", UNPAID, rows=[[UNPAID, "CANCELLED", "0001008"]]),
    call("SELECT Status FROM Invoices WHERE Id = ?", UNPAID, rows=[["CANCELLED"]]),
    call("{call CancelInvoice(?)}", PAID, state="HY000", text="CANNOT_CANCEL_PAID_INVOICE"),
    # payments: partial refund, one above what is left, the rest; capture and void of authorizations
    call("{call RefundCapture(?, ?, 'USD', 'INV-R1', 'Sorry')}", CAPTURE, {"dec": "10.00"},
         rows=[[ANY, "COMPLETED", "10.00", "USD"]]),
    call("SELECT Status FROM CapturenDetails WHERE CaptureId = ?", CAPTURE, rows=[["PARTIALLY_REFUNDED"]]),
    call("{call RefundCapture(?, 1000)}", CAPTURE, state="HY000", text="REFUND_AMOUNT_EXCEEDED"),
    call("{call RefundCapture(?)}", CAPTURE, rows=[[ANY, "COMPLETED", "90.00", "USD"]]),
    call("SELECT Status FROM CapturenDetails WHERE CaptureId = ?", CAPTURE, rows=[["REFUNDED"]]),
    call("{call CaptureAuthorization(?, 5.5, 'USD', 'true')}", AUTH + "0", rows=[[ANY, "COMPLETED", "5.50", "USD"]]),
    call("SELECT Status FROM AuthorizationDetails WHERE AuthorisationId = ?", AUTH + "0", rows=[["CAPTURED"]]),
    call("{call CaptureAuthorization(?)}", AUTH + "1", state="HY000", text="AUTHORIZATION_ALREADY_CAPTURED"),
    call("{call VoidAuthorization(?)}", AUTH + "2", rows=[[AUTH + "2", "VOIDED"]]),
    call("SELECT Status FROM AuthorizationDetails WHERE AuthorisationId = ?", AUTH + "2", rows=[["VOIDED"]]),
    call("{call VoidAuthorization(?)}", AUTH + "1", state="HY000", text="PREVIOUSLY_CAPTURED"),
    # subscriptions and plans
    call("{call SuspendSubscription(?, 'Holiday')}", SUB + "0", rows=[[SUB + "0", "SUSPENDED"]]),
    call("SELECT Status, StatusChangeNote FROM Subscriptions WHERE Id = ?", SUB + "0", rows=[["SUSPENDED", "Holiday"]]),
    call("{call ActivateSubscription(?)}", SUB + "0", rows=[[SUB + "0", "ACTIVE"]]),
    call("{call CancelSubscription(?, 'Moved')}", SUB + "1", rows=[[SUB + "1", "CANCELLED"]]),
    call("SELECT Id, Status FROM Subscriptions WHERE Id = ?", SUB + "1", rows=[[SUB + "1", "CANCELLED"]]),
    call("{call CancelSubscription(?, 'Again')}", SUB + "2", state="HY000", text="SUBSCRIPTION_STATUS_INVALID"),
    call("{call ActivatePlan('P-5002ABCDEF02')}", rows=[["P-5002ABCDEF02", "ACTIVE"]]),
    call("SELECT Status FROM Plans WHERE Id = 'P-5002ABCDEF02'", rows=[["ACTIVE"]]),
    call("{call DeactivatePlan('P-5000ABCDEF00')}", rows=[["P-5000ABCDEF00", "INACTIVE"]]),
    call("SELECT Status FROM Plans WHERE Id = 'P-5000ABCDEF00'", rows=[["INACTIVE"]]),
    call("{call ActivatePlan('P-5002ABCDEF02')}", state="HY000", text="PLAN_STATUS_INVALID"),
    # wrong calls: nothing is sent
    call("{call NoSuchAction(1)}", state="42000", text="NOSUCHACTION"),
    call("{call SendInvoice}", state="07001", text="InvoiceId"),
    call("{call SuspendSubscription(?)}", SUB + "0", state="07001", text="Reason"),
    call("{call VoidAuthorization('a', 'b')}", state="07001", text="at most 1"),
    call("{call CreateDraftInvoice('c@example.com', 'USD', 'Mug', 'many', 1)}", state="22018", text="Quantity"),
    call("{call CreateDraftInvoice('c@example.com', 'USD', 'Mug', 1, 1, , '2026-02-30')}", state="22007",
         text="DueDate"),
    call("{call CreateDraftInvoice('c@example.com', 'USDX', 'Mug', 1, 1)}", state="22001", text="CurrencyCode"),
    call("{call SendInvoice(?, , , 'maybe')}", DRAFT2, state="22018", text="SendToInvoicer"),
    call("{call SendInvoice(?)}", None, state="22004", text="InvoiceId"),
    # the listing as a table
    call("SELECT COLUMN_NAME, COLUMN_TYPE, DATA_TYPE, IS_NULLABLE, COLUMN_DEF FROM INFO_SCHEMA.PROCEDURE_COLUMNS "
         "WHERE PROCEDURE_NAME = 'CancelInvoice'",
         rows=[["InvoiceId", "IN", "VARCHAR", "NO", None], ["Subject", "IN", "VARCHAR", "YES", None],
               ["Note", "IN", "VARCHAR", "YES", None], ["SendToInvoicer", "IN", "BIT", "YES", "false"],
               ["SendToRecipient", "IN", "BIT", "YES", "true"], ["InvoiceId", "RESULT", "VARCHAR", "YES", None],
               ["Status", "RESULT", "VARCHAR", "YES", None], ["InvoiceNumber", "RESULT", "VARCHAR", "YES", None]]),
    # a date is text for a VARCHAR parameter: PayPal answers that no such plan exists
    call("{call ActivatePlan({d '2026-01-01'})}", state="HY000", text="RESOURCE_NOT_FOUND"),
]


def matches(want, got):
    return len(want) == len(got) and all(len(w) == len(g) and all(a == ANY or a == b for a, b in zip(w, g))
                                         for w, g in zip(want, got))


def control(emu, query):
    ctx = ssl.create_default_context(cafile=emu.ca)
    with urllib.request.urlopen(f"{emu.base_url}/_emulator/{query}", context=ctx, timeout=10) as r:
        return json.loads(r.read())


def run_steps(odbc, steps, client=CLIENT):
    r = odbc.run(["/usr/bin/python3", "-c", client, json.dumps(steps)], timeout=240)
    try:
        return json.loads(r.stdout.strip().splitlines()[-1])
    except (ValueError, IndexError):
        res.check(False, "client ran", r.stdout[-2000:] + r.stderr[-2000:])
        return [{"state": "client failed"}] * len(steps)


def posts(emu, path_part):
    """The POSTs whose path holds `path_part`: their PayPal-Request-Ids."""
    return [[v for k, v in e["headers"] if k.lower() == "paypal-request-id"]
            for e in emu.requests() if e["method"] == "POST" and path_part in e["path"]]


with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    settings = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": settings, "CVPAYPAL_NORETRY": dict(settings, retries="0")})

    got = run_steps(odbc, [[c["sql"], c["params"], False] for c in CASES])
    for case, g in zip(CASES, got):
        what = case["sql"] + (" " + json.dumps(case["params"]) if case["params"] else "")
        if case["state"]:
            ok = g.get("state") == case["state"] and case["text"] in g.get("error", "")
            res.check(ok, f"{what}: {case['state']} naming {case['text']}", json.dumps(g))
        else:
            calls = case["sql"].startswith("{")
            ok = matches(case["rows"], g.get("rows") or []) and (not calls or g.get("rowcount") == 1)
            res.check(ok, f"{what}: {case['rows']}" + (", one action" if calls else ""), json.dumps(g))
    actions = control(emu, "actions")
    res.check(len(actions) == sum(1 for c in CASES if c["sql"].startswith("{") and not c["state"]),
              "each call that succeeded did its action once; the refused ones did none", json.dumps(actions))
    ids = [i for i in posts(emu, "/") if i]
    res.check(all(len(i) == 1 for i in ids) and len({i[0] for i in ids}) == len(ids),
              "every action's POST has its own PayPal-Request-Id", json.dumps(ids))

    # ---- a parameter array runs the action per set; the result set holds a row per set
    control(emu, "control?clear_log=1")
    got = run_steps(odbc, [["{call ActivatePlan(?)}", [["P-5001ABCDEF01"], ["P-5004ABCDEF04"]], True],
                           ["SELECT Id, Status FROM Plans WHERE Id IN ('P-5001ABCDEF01', 'P-5004ABCDEF04') ORDER BY Id",
                            [], False]])
    activated = [a for a in control(emu, "actions") if a[0] == "activate_plan"][-2:]
    res.check("error" not in got[0] and activated == [["activate_plan", "P-5001ABCDEF01"], ["activate_plan", "P-5004ABCDEF04"]],
              "executemany: the action runs once per set, in order", json.dumps(got[0]) + json.dumps(activated))
    res.check(got[1].get("rows") == [["P-5001ABCDEF01", "ACTIVE"], ["P-5004ABCDEF04", "ACTIVE"]],
              "executemany: both plans active afterwards", json.dumps(got[1]))

    # ---- arrays through libodbc: a status per set and a row per set; when PayPal refuses the
    # second set, the rest are unused
    out = odbc.python(r'''
import ctypes
odbc = ctypes.CDLL("libodbc.so.2")
H, L = ctypes.c_void_p, ctypes.c_long
for f in ("SQLAllocHandle", "SQLSetEnvAttr", "SQLDriverConnect", "SQLSetStmtAttr", "SQLBindParameter",
          "SQLPrepare", "SQLExecute", "SQLRowCount", "SQLFetch", "SQLGetData", "SQLCloseCursor"):
    getattr(odbc, f).restype = ctypes.c_short
odbc.SQLAllocHandle.argtypes = [ctypes.c_short, H, ctypes.POINTER(H)]
odbc.SQLSetEnvAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
odbc.SQLDriverConnect.argtypes = [H, H, ctypes.c_char_p, ctypes.c_short, H, ctypes.c_short, H, ctypes.c_ushort]
odbc.SQLSetStmtAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
odbc.SQLBindParameter.argtypes = [H, ctypes.c_ushort, ctypes.c_short, ctypes.c_short, ctypes.c_short, ctypes.c_ulong,
                                  ctypes.c_short, H, L, ctypes.POINTER(L)]
odbc.SQLPrepare.argtypes = [H, ctypes.c_char_p, ctypes.c_int]
odbc.SQLExecute.argtypes = [H]
odbc.SQLRowCount.argtypes = [H, ctypes.POINTER(L)]
odbc.SQLFetch.argtypes = [H]
odbc.SQLCloseCursor.argtypes = [H]
odbc.SQLGetData.argtypes = [H, ctypes.c_ushort, ctypes.c_short, H, L, ctypes.POINTER(L)]
env, dbc, st = H(), H(), H()
odbc.SQLAllocHandle(1, None, ctypes.byref(env))
odbc.SQLSetEnvAttr(env, 200, H(3), 0)
odbc.SQLAllocHandle(2, env, ctypes.byref(dbc))
assert odbc.SQLDriverConnect(dbc, None, b"DSN=CVPAYPAL", -3, None, 0, None, 0) in (0, 1)
odbc.SQLAllocHandle(3, dbc, ctypes.byref(st))
def run_array(call, plans):
    ids = ctypes.create_string_buffer(b"".join(p.encode().ljust(32, b"\0") for p in plans), 32 * len(plans))
    lengths = (L * len(plans))(*([-3] * len(plans)))
    status = (ctypes.c_ushort * len(plans))(*([99] * len(plans)))
    done = ctypes.c_ulong(0)
    odbc.SQLSetStmtAttr(st, 22, H(len(plans)), 0)                        # SQL_ATTR_PARAMSET_SIZE
    odbc.SQLSetStmtAttr(st, 20, ctypes.cast(status, H), 0)                # SQL_ATTR_PARAM_STATUS_PTR
    odbc.SQLSetStmtAttr(st, 21, ctypes.cast(ctypes.byref(done), H), 0)    # SQL_ATTR_PARAMS_PROCESSED_PTR
    assert odbc.SQLBindParameter(st, 1, 1, 1, 12, 64, 0, ctypes.cast(ids, H), 32, lengths) == 0
    assert odbc.SQLPrepare(st, call.encode(), -3) == 0
    rc = odbc.SQLExecute(st)
    n = L(-2)
    odbc.SQLRowCount(st, ctypes.byref(n))
    rows = []
    text, got = ctypes.create_string_buffer(64), L(0)
    while rc == 0 and odbc.SQLFetch(st) == 0:
        odbc.SQLGetData(st, 2, 1, ctypes.cast(text, H), 64, ctypes.byref(got))
        rows.append(text.value.decode())
    odbc.SQLCloseCursor(st)
    return rc, list(status), done.value, n.value, rows
print("GOOD", *run_array("{call ActivatePlan(?)}", ["P-5007ABCDEF07", "P-5010ABCDEF10"]))
print("ARRAY", *run_array("{call DeactivatePlan(?)}", ["P-5003ABCDEF03", "P-5000ABCDEF00", "P-5006ABCDEF06"]))
''')
    res.check("GOOD 0 [0, 0] 2 2 ['ACTIVE', 'ACTIVE']" in out.stdout,
              "an array of two: a status per set, two actions counted, a result row per set", out.stdout + out.stderr)
    # (After a failed execution the statement is only prepared again: SQLRowCount is a sequence error.)
    res.check("ARRAY -1 [0, 5, 7] 2 " in out.stdout,
              "an array of three: the first done, the second refused, the third not run, two sets processed",
              out.stdout + out.stderr)
    got = run_steps(odbc, [["SELECT Id, Status FROM Plans WHERE Id IN ('P-5003ABCDEF03', 'P-5006ABCDEF06') ORDER BY Id",
                            [], False]])
    res.check(got[0].get("rows") == [["P-5003ABCDEF03", "INACTIVE"], ["P-5006ABCDEF06", "ACTIVE"]],
              "the array's first plan is inactive, its third untouched", json.dumps(got))

    # ---- {?=call}: the return marker is parameter 1 and takes no value; the rows are the result
    out = odbc.python(r'''
import pyodbc
c = pyodbc.connect("DSN=CVPAYPAL", autocommit=True)
cur = c.cursor()
cur.execute("{?=call GenerateInvoiceNumber}", 0)
print("RETURN", [d[0] for d in cur.description], [list(r) for r in cur.fetchall()])
procs = cur.procedures().fetchall()
names = [r.procedure_name for r in procs]
print("PROCS", len(names), "SendInvoice" in names, "RefundCapture" in names, {(r[0], r[1]) for r in procs})
print("NAMES", ",".join(names))
cols = [(r.column_name, r.column_type, r.type_name, r.nullable, r.ordinal_position)
        for r in cur.procedureColumns(procedure="RefundCapture")]
print("COLS", cols)
print("INFO", c.getinfo(pyodbc.SQL_PROCEDURES))
c.set_attr(101, 1)  # SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY
try:
    cur.execute("{call GenerateInvoiceNumber}")
    print("READONLY ran")
except pyodbc.Error as e:
    print("READONLY", e.args[0])
''')
    lines = {ln.split(" ", 1)[0]: ln.split(" ", 1)[1] for ln in out.stdout.splitlines() if " " in ln}
    res.check(lines.get("RETURN") == "['InvoiceNumber'] [['0005003']]", "{?=call}: the rows of the call",
              out.stdout + out.stderr)
    res.check(lines.get("PROCS") == "13 True True {('PAYPAL', 'DBO')}",
              "procedures() lists the thirteen actions, in catalog PAYPAL, schema DBO as the tables", out.stdout)
    with open(os.path.join(args.source, "docs", "paypal_procedures.md")) as f:
        page = f.read()
    undocumented = [n for n in lines.get("NAMES", "").split(",") if f"| `{n}` |" not in page or f"{{call {n}" not in
                    page.replace("?=call", "call")]
    res.check(lines.get("NAMES") and not undocumented,
              "docs/paypal_procedures.md has a row and an example for every procedure", str(undocumented))
    want_cols = [("CaptureId", 1, "VARCHAR", 0, 1), ("Amount", 1, "DECIMAL", 1, 2), ("CurrencyCode", 1, "VARCHAR", 1, 3),
                 ("InvoiceId", 1, "VARCHAR", 1, 4), ("NoteToPayer", 1, "VARCHAR", 1, 5), ("Id", 3, "VARCHAR", 1, 1),
                 ("Status", 3, "VARCHAR", 1, 2), ("Amount", 3, "DECIMAL", 1, 3), ("CurrencyCode", 3, "VARCHAR", 1, 4)]
    res.check(lines.get("COLS") == str(want_cols),
              "procedureColumns(): parameters in call order, then the result columns", out.stdout)
    res.check(lines.get("INFO") == "True", "SQLGetInfo SQL_PROCEDURES answers Y", out.stdout)
    res.check(lines.get("READONLY") == "25006", "a read-only connection runs no procedure", out.stdout)

    # ---- a refund whose reply is lost is sent again with its id: PayPal makes one refund
    before = sum(1 for a in control(emu, "actions") if a[0] == "refund")
    control(emu, "control?clear_log=1")
    control(emu, "control?fault=drop&count=1&path=/v2/payments/captures/2GG279541U4710102/refund")
    got = run_steps(odbc, [["{call RefundCapture('2GG279541U4710102', 2)}", [], False]])
    refunds = sum(1 for a in control(emu, "actions") if a[0] == "refund") - before
    sent = posts(emu, "/refund")
    res.check(got[0].get("rows") and got[0]["rows"][0][2] == "2.00" and refunds == 1,
              "a dropped refund reply: the call succeeds and one refund is made", json.dumps(got) + f" refunds={refunds}")
    res.check(len(sent) == 2 and sent[0] == sent[1], "the refund was resent with the same PayPal-Request-Id",
              json.dumps(sent))

    # ---- a suspension's lost reply is not resent: the application is told it may have been applied
    control(emu, "control?clear_log=1")
    control(emu, f"control?fault=drop&count=1&path=/v1/billing/subscriptions/{SUB}0/suspend")
    got = run_steps(odbc, [["{call SuspendSubscription(?, 'Trip')}", [SUB + "0"], False]])
    sent = posts(emu, "/suspend")
    res.check(got[0].get("state") == "08S01" and sent and sent[0][0] in got[0].get("error", ""),
              "a dropped suspension reply: 08S01 naming the request id", json.dumps(got))
    res.check(len(sent) == 1, "the suspension was sent once", json.dumps(sent))

    # ---- isql
    out = odbc.run(["isql", "-v", "-b", "-d|", "CVPAYPAL"], stdin="{call SendInvoice('INV2-FAE9-RL5T-C5F3-MD6Z')}\n"
                   "SELECT Id, Status FROM Invoices WHERE Id = 'INV2-FAE9-RL5T-C5F3-MD6Z'\n"
                   "{call Nosuch}\n", timeout=60, expect_rc=None)
    res.check("INV2-FAE9-RL5T-C5F3-MD6Z|SENT|0001018" in out.stdout and "INV2-FAE9-RL5T-C5F3-MD6Z|SENT\n" in out.stdout,
              "isql: {call SendInvoice(...)} shows its row, and a SELECT the invoice sent", out.stdout + out.stderr)
    # isql reads diagnostics as an ODBC 2 application: the driver manager shows 42000 as 37000.
    res.check("[37000]Syntax error or access violation: procedure NOSUCH does not exist" in out.stdout,
              "isql: an unknown procedure is a syntax error or access violation naming it", out.stdout + out.stderr)

res.finish()
