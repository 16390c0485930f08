"""Every PayPal value reaches its column: the 35 tables read through pyodbc
and compared, value by value, with the JSON the emulator served.

For each case of CASES the driver's GET requests are taken from the
emulator's request log and sent again with the test's own token (same path,
query and Prefer header); the rows of the replies are found by the case's
row path and compared in order with the rows pyodbc fetched, every column at
its path in values_paths.py, by the rules the driver follows:
  - a date-only text in a TIMESTAMP column is midnight of that day; an RFC
    3339 time is read with its fraction and turned into UTC;
  - a number sent as a JSON string fills a numeric column exactly;
  - a boolean is 1/0 in a numeric column and "True"/"False" in a text one;
  - an object or array in a text column is its JSON text (compared parsed);
    an empty array is NULL;
  - a filter column echoes the value its restriction sent.
Every column must also have a value in at least one row of the emulator's
data, unless values_paths.ALWAYS_NULL names it with its reason.
"""
import base64
import datetime
import decimal
import json
import os
import re
import ssl
import sys
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402
from values_paths import ALWAYS_NULL, TABLES  # noqa: E402

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "tools", "emulator"))
import emu_rows  # noqa: E402

D = decimal.Decimal
ALL = "{ts '2000-01-01 00:00:00'}"
TIMES = f"StartTime >= {ALL} AND EndTime <= {{ts '2099-01-01 00:00:00'}}"

# table, WHERE ({name} takes each sample key of that name in turn), rows:
# the path from the reply's root to the array of rows ("" when the reply is
# the row), then after "/" the array of child rows inside each of them.
CASES = [
    ("AuthorizationDetails", "AuthorisationId = '{authorization}'", ""),
    ("CapturenDetails", "CaptureId = '{capture}'", ""),
    ("OrderDetails", "Id = '{order}'", ""),
    ("RefundDetails", "Id = '{refund}'", ""),
    ("SaleDetails", "Id = '{sale}'", ""),
    ("Subscriptions", "Id = '{subscription}'", ""),
    ("SubscriptionTransactions", "Id = '{subscription}' AND " + TIMES, "/transactions"),
    ("OrderItems", "Id = '{order}'", "purchase_units"),
    ("Payments", TIMES, "payments"),
    ("PaymentTransactions", TIMES, "payments/transactions"),
    ("Balances", "", "balances"),
    ("Balances", "Currency = 'EUR' AND AsOfTime = {ts '2024-04-30 10:00:00'}", "balances"),
    ("Plans", "", "plans"),
    ("Plans", "Id = '{plan}'", "plans"),
    ("PlansNoPrefer", "", "plans"),
    ("PlansBillingCycles", "", "plans/billing_cycles"),
    ("UserInfo", "", ""),
    ("Webhooks", "", "webhooks"),
    ("Webhooks", "Id = '{webhook}'", ""),
    ("WebhooksEvents", "", "webhooks/event_types"),
    ("WebhooksEvents", "Id = '{webhook}'", "/event_types"),
    ("BatchPayout", "PayoutBatchId = '{batch}'", ""),
    ("BatchPayoutItems", "PayoutBatchId = '{batch}'", "items"),
    ("PayoutsItem", "PayoutsItemId = '{payout_item}'", ""),
    ("Invoices", "", "items"),
    ("Invoices", "Id = '{invoice}'", ""),
    ("InvoiceItems", "Id = '{invoice}'", "items"),
    ("InvoiceDetailAttachments", "Id = '{invoice}'", "detail.attachments"),
    ("InvoiceInvoicerPhones", "Id = '{invoice}'", "invoicer.phones"),
    ("InvoicePrimaryRecipients", "Id = '{invoice}'", "primary_recipients"),
    ("InvoiceAdditionalRecipients", "Id = '{invoice}'", "additional_recipients"),
    ("InvoicePaymentsTransactions", "Id = '{invoice}'", "payments.transactions"),
    ("InvoiceRefundsTransactions", "Id = '{invoice}'", "refunds.transactions"),
    ("Disputes", f"StartTime >= {ALL}", "items"),
    ("Disputes", f"StartTime >= {ALL} AND UpdateTimeBefore <= {{ts '2099-01-01 00:00:00'}} AND "
                 f"UpdateTimeAfter <= {ALL} AND DisputeState = 'RESOLVED'", "items"),
    ("DisputeDetails", "DisputeId = '{dispute}'", ""),
    ("DisputesTransactions", "DisputeId = '{dispute}'", "/disputed_transactions"),
    ("CreditCards", TIMES, "items"),
    ("CreditCards", TIMES + " AND MerchantId = 'merchant-1' AND ExternalCardId = 'ext-card-1' "
                    "AND ExternalCustomerId = 'customer-1'", "items"),
    ("CreditCards", "Id = '{card}' AND " + TIMES, ""),
    ("Transactions", "StartTime >= {month_start} AND EndTime <= {month_end}", "transaction_details"),
    ("Transactions", "StartTime >= {month_start} AND EndTime <= {month_end} AND BalanceAffectingOnly = 'Y'",
     "transaction_details"),
    ("TransactionItems", "StartTime >= {month_start} AND EndTime <= {month_end}",
     "transaction_details/cart_info.item_details"),
    ("Products", "", "products"),
    ("Products", "Id = '{product}'", ""),
]


class Api:
    """The emulator's REST API with a token of the test's own."""

    def __init__(self, emu, client_id, secret):
        self.base, self.ctx = emu.base_url, ssl.create_default_context(cafile=emu.ca)
        basic = base64.b64encode(f"{client_id}:{secret}".encode()).decode()
        self.token = self.send("/v1/oauth2/token", {"Authorization": "Basic " + basic},
                               b"grant_type=client_credentials")["access_token"]

    def send(self, target, headers, body=None):
        req = urllib.request.Request(self.base + target, data=body, headers=headers)
        with urllib.request.urlopen(req, context=self.ctx, timeout=30) as r:
            return json.loads(r.read())

    def get(self, target, prefer=None):
        """The reply's JSON; None for 404, which the driver reads as no rows."""
        headers = {"Authorization": "Bearer " + self.token}
        if prefer:
            headers["Prefer"] = prefer
        try:
            return self.send(target, headers)
        except urllib.error.HTTPError as e:
            if e.code == 404:
                return None
            raise


def at(obj, path):
    """The value at a dotted path (None when a step is missing)."""
    for name in path.split(".") if path else []:
        obj = obj.get(name) if isinstance(obj, dict) else None
    return obj


def sample_keys(api, data):
    """Keys for the tables read by key, from the lists that name them; the
    ids of orders, subscriptions and payout batches, which PayPal lists
    nowhere, from the emulator's own data."""
    invoices = api.get("/v2/invoicing/invoices?page_size=100")["items"]
    orders = [api.get("/v2/checkout/orders/" + o["id"]) for o in data["orders"]]
    units = [u for o in orders for u in o["purchase_units"]]
    paid = lambda kind: [p["id"] for u in units for p in u.get("payments", {}).get(kind, [])]  # noqa: E731
    payments = api.get("/v1/payments/payment?count=20&start_time=2000-01-01T00:00:00Z")["payments"]
    batches = [b["batch_header"]["payout_batch_id"] for b in data["payouts"]]
    day = int(time.time()) // 86400 * 86400
    stamp = lambda t: "{ts '%s'}" % time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(t))  # noqa: E731
    return {
        "authorization": paid("authorizations"), "capture": paid("captures"), "refund": paid("refunds"),
        "order": [o["id"] for o in orders],
        "sale": [p["transactions"][0]["related_resources"][0]["sale"]["id"] for p in payments[:5]],
        "subscription": [s["id"] for s in data["subscriptions"]],
        "plan": [p["id"] for p in api.get("/v1/billing/plans?page_size=3")["plans"]],
        "webhook": [w["id"] for w in api.get("/v1/notifications/webhooks")["webhooks"]],
        "batch": batches,
        "payout_item": [i["payout_item_id"] for b in batches
                        for i in api.get(f"/v1/payments/payouts/{b}?page_size=3")["items"]],
        # The first invoice has one element in every child array, the next
        # two have more, the last has empty attachments, additional
        # recipients and transactions; a cancelled one has the
        # cancellation's members.
        "invoice": [i["id"] for i in invoices[:3] + invoices[-1:] +
                    [i for i in invoices if i["status"] == "CANCELLED"][:1]],
        "dispute": [d["dispute_id"] for d in api.get(
            "/v1/customer/disputes?start_time=2000-01-01T00:00:00Z&page_size=4")["items"]],
        "card": [c["id"] for c in api.get(
            "/v1/vault/credit-cards?page_size=3&start_time=2000-01-01T00:00:00Z")["items"]],
        "product": [p["id"] for p in api.get("/v1/catalogs/products?page_size=4")["products"]],
        # Thirty days of the transaction search, two months back.
        "month_start": [stamp(day - 60 * 86400)], "month_end": [stamp(day - 31 * 86400)],
    }


def expand(where, keys):
    """The WHERE texts of a case: one per sample key it names."""
    names = re.findall(r"\{([a-z_]+)\}", where)
    if not names:
        return [where]
    out = []
    for value in keys[names[0]]:
        out += expand(where.replace("{%s}" % names[0], value), keys)
    return out


def echoes(where):
    """{column: the value its restriction sent} of a WHERE text."""
    out = {}
    for column, ts, text in re.findall(r"(\w+) *(?:>=|<=|=) *(?:\{ts '([^']+)'\}|'([^']*)')", where):
        out[column] = datetime.datetime.fromisoformat(ts) if ts else text
    return out


def json_rows(replies, rows):
    """(root, parent, row) of every row of the replies, in order."""
    list_path, _, child_path = rows.partition("/")
    out = []
    for root in filter(None, replies):
        elements = at(root, list_path) if list_path else [root]
        for element in elements or []:
            if not child_path:
                out.append((root, element, element))
            else:
                out += [(root, element, child) for child in at(element, child_path) or []]
    return out


def utc(text):
    """A PayPal date or time as the driver delivers it: UTC, without zone."""
    if re.fullmatch(r"\d{4}-\d\d-\d\d", text):
        return datetime.datetime.fromisoformat(text)
    t = datetime.datetime.fromisoformat(text.replace("Z", "+00:00").replace("z", "+00:00"))
    return t.astimezone(datetime.timezone.utc).replace(tzinfo=None) if t.tzinfo else t


def number_text(got, want):
    try:
        return D(got) == D(str(want))
    except (decimal.InvalidOperation, TypeError):
        return False


# (JSON type, Python type pyodbc delivers the column as) -> does the fetched
# value equal the JSON one. Pairs not listed never match.
SAME = {
    ("str", "str"): lambda got, want: got == want,
    ("datetime", "datetime"): lambda got, want: got == want,
    ("str", "datetime"): lambda got, want: got == utc(want),
    ("str", "date"): lambda got, want: got == utc(want).date(),
    ("str", "Decimal"): lambda got, want: got == D(want),
    ("str", "int"): lambda got, want: got == int(want),
    ("str", "float"): lambda got, want: got == float(want),
    ("bool", "bool"): lambda got, want: got == want,
    ("bool", "int"): lambda got, want: got == int(want),
    ("bool", "Decimal"): lambda got, want: got == int(want),
    ("bool", "str"): lambda got, want: got == str(want),
    ("int", "int"): lambda got, want: got == want,
    ("int", "Decimal"): lambda got, want: got == want,
    ("int", "float"): lambda got, want: got == want,
    ("int", "str"): number_text,
    ("float", "Decimal"): lambda got, want: got == D(str(want)),
    ("float", "float"): lambda got, want: got == want,
    ("float", "str"): number_text,
    ("dict", "str"): lambda got, want: json.loads(got) == want,
    ("list", "str"): lambda got, want: json.loads(got) == want,
}


def same(got, want, kind):
    if want is None or want == []:
        return got is None
    if got is None:
        return False
    try:
        return SAME.get((type(want).__name__, kind), lambda g, w: False)(got, want)
    except (ValueError, TypeError, decimal.InvalidOperation):
        return False


def expected(path, root, parent, row, echo):
    if path.startswith("="):
        if echo is not None or path == "=":
            return echo
        default = path[1:]
        if default.startswith("'"):
            return default.strip("'")
        return expected(default, root, parent, row, None)
    if path == "-":
        return None
    if path == ".":
        return row
    start = {"^": root, "<": parent}.get(path[0])
    return at(start, path[1:]) if start is not None else at(row, path)


res = Results()
with Emulator(args.source, "--client-id", "values-client", "--client-secret", "values-secret") as emu:
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "values-client", "client_secret": "values-secret", "base_url": emu.base_url,
        "cert": emu.ca, "parallel_requests": "1"}})
    # unixODBC reads these when the first connection is made.
    os.environ.update(odbc.env)
    import pyodbc
    api = Api(emu, "values-client", "values-secret")
    keys = sample_keys(api, emu_rows.make_rows(emu.base_url))
    conn = pyodbc.connect("DSN=CVPAYPAL", autocommit=True)
    res.check(sorted({c[0] for c in CASES}) == sorted(TABLES), "every table has a case and paths")
    has_value = {}      # (table, column) -> a row of the emulator's data had a value there
    wrong = {}          # (table, column) -> [count, first difference]
    started = time.time()
    for table, where_template, rows in CASES:
        paths = TABLES[table]
        for where in expand(where_template, keys):
            sql = f"SELECT * FROM {table}" + (f" WHERE {where}" if where else "")
            logged = len(emu.requests())
            try:
                cur = conn.cursor().execute(sql)
                columns = [(d[0], d[1].__name__) for d in cur.description]
                fetched = cur.fetchall()
            except pyodbc.Error as e:
                res.check(False, sql, str(e))
                continue
            sent = [r for r in emu.requests()[logged:] if r["method"] == "GET"]
            replies = [api.get(r["path"] + ("?" + r["query"] if r["query"] else ""),
                               next((v for n, v in r["headers"] if n.lower() == "prefer"), None))
                       for r in sent]
            want_rows = json_rows(replies, rows)
            if len(fetched) != len(want_rows):
                res.check(False, f"{sql}: {len(want_rows)} rows", f"fetched {len(fetched)}")
                continue
            named = {c for c, _ in columns}
            if named != set(paths):
                res.check(False, f"{table}: a path for every column",
                          f"no path: {sorted(named - set(paths))}, no column: {sorted(set(paths) - named)}")
                continue
            echo = echoes(where)
            for got_row, (root, parent, row) in zip(fetched, want_rows):
                for (column, kind), got in zip(columns, got_row):
                    want = expected(paths[column], root, parent, row, echo.get(column))
                    if want is not None and want != []:
                        has_value[table, column] = True
                    if not same(got, want, kind):
                        w = wrong.setdefault((table, column), [0, f"{sql}\n  fetched {got!r}, "
                                                                  f"PayPal sent {want!r} at {paths[column]}"])
                        w[0] += 1
    for (table, column), (count, first) in sorted(wrong.items()):
        res.check(False, f"{table}.{column} equals PayPal's value", f"{count} rows differ; first: {first}")
    res.check(not wrong, f"{sum(len(p) for p in TABLES.values()) - len(wrong)} columns equal PayPal's values")
    for table, paths in sorted(TABLES.items()):
        empty = [c for c in paths if not has_value.get((table, c)) and (table, c) not in ALWAYS_NULL]
        res.check(not empty, f"{table}: every column has a value in some row", f"always NULL: {empty}")
    never = sorted(k for k, p in ((k, TABLES[k[0]].get(k[1])) for k in ALWAYS_NULL) if p != "-")
    res.check(not never, "ALWAYS_NULL names only columns whose path is \"-\"", str(never))
    res.check(time.time() - started < 60, "the comparison takes seconds", f"{time.time() - started:.0f} s")
    conn.close()
res.finish()
