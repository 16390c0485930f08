"""SELECT * on every PayPal table through isql, iusql and pyodbc against the
emulator: row counts and values checked against the emulator's own data,
and the Python type of every kind of column.

Tables that need a key or filters get them in WHERE; the expected rows are
computed from the emulator's data modules, which build the same objects the
emulator serves."""
import datetime
import decimal
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "tools", "emulator"))
import emu_data  # noqa: E402
import emu_rows  # noqa: E402

TIMES = "StartTime >= {ts '2000-01-01 00:00:00'} AND EndTime <= {ts '2099-01-01 00:00:00'}"
D = decimal.Decimal


def utc(text):
    """A PayPal timestamp as the driver delivers it: UTC, no zone."""
    t = datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))
    return t.astimezone(datetime.timezone.utc).replace(tzinfo=None) if t.tzinfo else t


def cases(rows, invoices):
    a, cap, ref = rows["authorizations"][0], rows["captures"][0], rows["refunds"][0]
    order, sale, sub = rows["orders"][0], rows["sales"][0], rows["subscriptions"][0]
    payments, plans, batch = rows["payments"], rows["plans"], rows["payouts"][0]
    item, dispute, inv = batch["items"][0], rows["disputes"][0], invoices[2]
    hooks, cards, bal = rows["webhooks"], rows["cards"], rows["balances"]["balances"]
    key = lambda column, value: f"{column} = '{value}'"  # noqa: E731
    # table, WHERE, expected rows, {column: value of the first row}
    return [
        ("AuthorizationDetails", key("AuthorisationId", a["id"]), 1,
         {"Status": a["status"], "AmountValue": D(a["amount"]["value"]), "ExpirationTime": utc(a["expiration_time"])}),
        ("CapturenDetails", key("CaptureId", cap["id"]), 1, {"Id": cap["id"], "Status": cap["status"]}),
        ("OrderDetails", key("Id", order["id"]), 1, {"Id": order["id"], "CreateTime": utc(order["create_time"])}),
        ("RefundDetails", key("Id", ref["id"]), 1, {"Id": ref["id"], "AmountValue": D(ref["amount"]["value"])}),
        ("SaleDetails", key("Id", sale["id"]), 1, {"Id": sale["id"], "State": sale["state"]}),
        ("Subscriptions", key("Id", sub["id"]), 1, {"Id": sub["id"], "PlanId": sub["plan_id"]}),
        # One reply: the first page of the subscription's transactions.
        ("SubscriptionTransactions", key("Id", sub["id"]) + " AND " + TIMES, 20,
         {"TransactionId": rows["transactions"][0]["id"]}),
        ("OrderItems", key("Id", order["id"]), len(order["purchase_units"]), {"Id": order["id"]}),
        ("Payments", TIMES, len(payments), {"Id": payments[0]["id"], "State": payments[0]["state"],
                                             "CreateTime": utc(payments[0]["create_time"])}),
        ("PaymentTransactions", TIMES, sum(len(p["transactions"]) for p in payments), {"Id": payments[0]["id"]}),
        ("Balances", None, len(bal), {"Currency": bal[0]["currency"],
                                      "TotalBalanceValue": D(bal[0]["total_balance"]["value"])}),
        ("Plans", None, len(plans), {"Id": plans[0]["id"], "Name": plans[0]["name"],
                                     "QuantitySupported": int(plans[0]["quantity_supported"])}),
        ("PlansNoPrefer", None, len(plans), {"Id": plans[0]["id"]}),
        ("PlansBillingCycles", None, sum(len(p["billing_cycles"]) for p in plans), {"Id": plans[0]["id"]}),
        ("UserInfo", None, 1, {"Name": rows["userinfo"]["name"]}),
        ("Webhooks", None, len(hooks), {"Id": hooks[0]["id"], "Url": hooks[0]["url"]}),
        ("WebhooksEvents", None, sum(len(h["event_types"]) for h in hooks), {"Id": hooks[0]["id"]}),
        ("BatchPayout", key("PayoutBatchId", batch["batch_header"]["payout_batch_id"]), 1,
         {"PayoutBatchId": batch["batch_header"]["payout_batch_id"]}),
        ("BatchPayoutItems", key("PayoutBatchId", batch["batch_header"]["payout_batch_id"]), len(batch["items"]),
         {"BatchItemPayoutItemId": item["payout_item_id"]}),
        ("PayoutsItem", key("PayoutsItemId", item["payout_item_id"]), 1, {"PayoutsItemId": item["payout_item_id"]}),
        ("Invoices", None, len(invoices), {"Id": invoices[0]["id"]}),
        ("InvoiceItems", key("Id", inv["id"]), len(inv["items"]), {"Id": inv["id"]}),
        ("InvoiceDetailAttachments", key("Id", inv["id"]), len(inv["detail"]["attachments"]), {"Id": inv["id"]}),
        ("InvoiceInvoicerPhones", key("Id", inv["id"]), len(inv["invoicer"]["phones"]), {"Id": inv["id"]}),
        ("InvoicePrimaryRecipients", key("Id", inv["id"]), len(inv["primary_recipients"]), {"Id": inv["id"]}),
        ("InvoiceAdditionalRecipients", key("Id", inv["id"]), len(inv["additional_recipients"]), {"Id": inv["id"]}),
        ("InvoicePaymentsTransactions", key("Id", inv["id"]), len(inv["payments"]["transactions"]), {"Id": inv["id"]}),
        ("InvoiceRefundsTransactions", key("Id", inv["id"]), len(inv["refunds"]["transactions"]), {"Id": inv["id"]}),
        ("Disputes", "StartTime >= {ts '2000-01-01 00:00:00'}", len(rows["disputes"]),
         {"DisputeId": dispute["dispute_id"], "Reason": dispute["reason"]}),
        ("DisputeDetails", key("DisputeId", dispute["dispute_id"]), 1, {"DisputeId": dispute["dispute_id"]}),
        ("DisputesTransactions", key("DisputeId", dispute["dispute_id"]), len(dispute["disputed_transactions"]),
         {"DisputeId": dispute["dispute_id"]}),
        ("CreditCards", TIMES, len(cards), {"Id": cards[0]["id"], "CreateTime": utc(cards[0]["create_time"])}),
    ]


def sql_of(table, where):
    return f"SELECT * FROM {table}" + (f" WHERE {where}" if where else "")


# The Python type each SQL type arrives as through pyodbc.
PYTHON_TYPES = {
    -9: str, -10: str, -8: str, 4: int, -6: int, 5: int, -5: int, 2: D, 3: D, 8: float, 6: float,
    93: datetime.datetime, 91: datetime.date, -7: bool,
}

def run_client(odbc, client, sql):
    env = dict(odbc.env)
    if client == "iusql" and "asan" in env.get("LD_PRELOAD", ""):
        # iusql's own strncpy copies overlapping buffers; the driver is checked without that check.
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":replace_str=0"
    return odbc.run([client, "-b", "-d|", "-c", "CVPAYPAL"], stdin=sql + "\n", env=env, timeout=60)


res = Results()
with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    rows = emu_rows.make_rows(emu.base_url)
    invoices = emu_data.make_invoices(45, emu.base_url)
    emu_rows.enrich_invoices(invoices)
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}})
    table_cases = cases(rows, invoices)
    res.check(len(table_cases) == 32, "every one of the 32 tables is queried")

    # pyodbc: counts, values and types, in one connection.
    script = r'''
import json, pyodbc, sys, decimal, datetime
queries = json.loads(sys.argv[1])
c = pyodbc.connect("DSN=CVPAYPAL")
cur = c.cursor()
out = {}
for table, sql in queries:
    try:
        cur.execute(sql)
        cols = [d[0] for d in cur.description]
        types = [d[1].__name__ for d in cur.description]
        fetched = cur.fetchall()
        # Decimals by value: a column's scale may add zeros PayPal did not send.
        first = {k: repr(v.normalize() if isinstance(v, decimal.Decimal) else v)
                 for k, v in zip(cols, fetched[0])} if fetched else {}
        kinds = sorted({(t, type(v).__name__) for r in fetched for t, v in zip(types, r) if v is not None})
        out[table] = {"count": len(fetched), "first": first, "kinds": kinds}
    except Exception as e:
        out[table] = {"error": str(e)}
cur.execute("SELECT 'é€😀' AS x, Name FROM UserInfo")
out["non-ASCII"] = cur.fetchone()[0]
print(json.dumps(out))
'''
    import json
    queries = [(t, sql_of(t, w)) for t, w, _, _ in table_cases]
    run = odbc.run(["/usr/bin/python3", "-c", script, json.dumps(queries)], timeout=240)
    try:
        got = json.loads(run.stdout)
    except ValueError:
        got = {}
        res.check(False, "pyodbc script ran", run.stdout[-2000:] + run.stderr[-2000:])
    for table, where, count, values in table_cases:
        g = got.get(table, {"error": "missing"})
        if "error" in g:
            res.check(False, f"pyodbc {table}", g["error"])
            continue
        res.check(g["count"] == count, f"pyodbc {table}: {count} rows", f"got {g['count']}")
        for column, want in values.items():
            if isinstance(want, D):
                want = want.normalize()
            res.check(g["first"].get(column) == repr(want), f"pyodbc {table}.{column} = {want!r}",
                      f"got {g['first'].get(column)}")
        mixed = [k for k in g["kinds"] if k[0] != k[1]]
        res.check(not mixed, f"pyodbc {table}: values arrive as the described Python types", str(mixed))

    res.check(got.get("non-ASCII") == "é€😀", "pyodbc: non-ASCII text arrives whole", str(got.get("non-ASCII")))
    got.pop("non-ASCII", None)

    # Types across the catalogue: timestamps, decimals, integers and text.
    all_kinds = {tuple(k) for g in got.values() if "kinds" in g for k in g["kinds"]}
    for name in ("datetime", "Decimal", "int", "str"):
        res.check((name, name) in all_kinds, f"pyodbc delivers {name} values")

    # isql and iusql: every row printed, one per line after the header.
    for client in ("isql", "iusql"):
        for table, where, count, values in table_cases:
            out = run_client(odbc, client, sql_of(table, where))
            lines = [l for l in out.stdout.splitlines() if l.strip()]
            ok = out.returncode == 0 and len(lines) == count + 1 and "[" not in out.stdout[:1]
            res.check(ok, f"{client} {table}: {count} rows", out.stdout[-800:] + out.stderr[-800:])
            first_key = next(iter(values))
            if ok and count:
                header = lines[0].split("|")
                row = lines[1].split("|")
                idx = header.index(first_key) if first_key in header else -1
                want = values[first_key]
                shown = row[idx] if idx >= 0 else None
                if isinstance(want, D) and shown is not None:
                    shown, want = D(shown), want
                elif isinstance(want, datetime.datetime):
                    want = want.strftime("%Y-%m-%d %H:%M:%S")
                res.check(shown == (want if isinstance(want, D) else str(want)), f"{client} {table}.{first_key}",
                          f"header {header[:5]} row {row[:5]}")
res.finish()
