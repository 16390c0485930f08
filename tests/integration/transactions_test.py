"""PayPal's reporting API through pyodbc against the emulator. A year of
transactions: every record by default (also those that do not change the
balance) and the balance-affecting ones with BalanceAffectingOnly = 'Y', sums
grouped by month and event code, Transactions joined with TransactionItems,
each checked against the emulator's own data, and the requests a one-year
query costs, counted in the emulator's request log. Balances at a time after
PayPal's last refresh."""
import collections
import datetime
import decimal
import json
import os
import ssl
import sys
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "tools", "emulator"))
import emu_reporting  # noqa: E402

DAY = 86400
WINDOW = 31 * DAY
PAGE_SIZE = 500
SEARCH = "/v1/reporting/transactions"

SCRIPT = r'''
import json, pyodbc, sys
c = pyodbc.connect("DSN=CVPAYPAL")
cur = c.cursor()
try:
    cur.execute(sys.argv[1])
    print(json.dumps({"rows": [[str(v) if v is not None else None for v in r] for r in cur.fetchall()]}))
except Exception as e:
    print(json.dumps({"error": str(e)}))
'''


def emulator_get(emu, path):
    ctx = ssl.create_default_context(cafile=emu.ca) if emu.ca else None
    with urllib.request.urlopen(emu.base_url + path, context=ctx, timeout=60) as r:
        return json.loads(r.read())


def run_query(odbc, emu, sql):
    """The rows of `sql` (as text) and the search requests it sent."""
    before = len(emu.requests())
    run = odbc.run(["/usr/bin/python3", "-c", SCRIPT, sql], timeout=240)
    try:
        got = json.loads(run.stdout.strip().splitlines()[-1])
    except (ValueError, IndexError):
        got = {"error": run.stdout[-1000:] + run.stderr[-1000:]}
    log = emu.requests()[before:]
    return got, [r for r in log if r.get("path") == SEARCH], log


def ts(t):
    return datetime.datetime.fromtimestamp(t, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S")


def month_of(t):
    d = datetime.datetime.fromtimestamp(t, datetime.timezone.utc)
    return d.year, d.month


def parse_stamp(text):
    return int(datetime.datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp())


def check_windows(res, searches, start, end, dump, only="N"):
    """The searches of one scan: consecutive windows of at most 31 days
    covering start..end, each paged 1..total_pages at the maximum page size,
    each asking for every record (`only` "N") or the balance-affecting ones
    ("Y"), and nothing asked twice."""
    pages = collections.OrderedDict()
    sent = set()
    for r in searches:
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(r["query"]).items()}
        sent.add(q.get("balance_affecting_records_only"))
        key = (parse_stamp(q["start_date"]), parse_stamp(q["end_date"]))
        pages.setdefault(key, []).append((int(q.get("page", "1")), q.get("page_size"), q.get("fields")))
    windows = list(pages)
    res.check(sent == {only}, f"every search sends balance_affecting_records_only={only}", str(sent))
    res.check(bool(windows) and windows[0][0] == start and windows[-1][1] == end,
              "the windows cover the range from its first to its last second", str(windows[:1] + windows[-1:]))
    res.check(all(b - a <= WINDOW for a, b in windows), "no window is longer than 31 days", str(windows))
    res.check(all(windows[i + 1][0] == windows[i][1] + 1 for i in range(len(windows) - 1)),
              "each window starts one second after the previous one ends", str(windows))
    times = [t[0] for t in dump]
    want_requests = 0
    paged_right = True
    for (a, b), asked in pages.items():
        n = sum(1 for t in times if a <= t <= b)
        total = max(1, -(-n // PAGE_SIZE))
        want_requests += total
        paged_right &= [p for p, _, _ in asked] == list(range(1, total + 1))
        paged_right &= all(size == str(PAGE_SIZE) and fields == "all" for _, size, fields in asked)
    res.check(paged_right, "each window is paged once, page 1 to its last, 500 rows a page, fields=all",
              json.dumps({f"{a}-{b}": v for (a, b), v in pages.items()}))
    res.check(len(searches) == want_requests,
              f"a one-year query costs {want_requests} searches ({len(windows)} windows)",
              f"sent {len(searches)}")
    return len(windows)


res = Results()
with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    # One request at a time: the checks below read the request log in order.
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca,
        "parallel_requests": "1"}})
    now = emulator_get(emu, "/_emulator/transactions?start=0&end=0")["now"]
    last_midnight = int(now) // DAY * DAY
    start, end = last_midnight - 365 * DAY, last_midnight - 1
    dump = emulator_get(emu, f"/_emulator/transactions?start={start}&end={end}")["transactions"]
    res.check(len(dump) > 2000, "the emulator has a busy year of transactions", str(len(dump)))
    dump_y = emulator_get(emu, f"/_emulator/transactions?start={start}&end={end}"
                               "&balance_affecting_records_only=Y")["transactions"]
    res.check(dump_y == [t for t in dump if emu_reporting.affects_balance(t[2])] and 0 < len(dump_y) < len(dump) - 100,
              "the year holds records that do not change the balance (authorizations, display-only)",
              f"{len(dump_y)} of {len(dump)}")
    where = f"StartTime >= {{ts '{ts(start)}'}} AND EndTime <= {{ts '{ts(end)}'}}"

    # Sums by month and event code.
    grouped = ("SELECT {fn YEAR(TransactionInitiationDate)}, {fn MONTH(TransactionInitiationDate)}, "
               "TransactionEventCode, SUM(TransactionAmountValue), COUNT(*) FROM Transactions WHERE " + where +
               " GROUP BY {fn YEAR(TransactionInitiationDate)}, {fn MONTH(TransactionInitiationDate)}, "
               "TransactionEventCode")
    got, searches, log = run_query(odbc, emu, grouped)
    res.check("error" not in got, "SUM ... GROUP BY month and event code over a year runs", got.get("error", ""))
    want = collections.defaultdict(lambda: [decimal.Decimal(0), 0])
    for t, _tid, event, _currency, amount, _items in dump:
        key = month_of(t) + (event,)
        want[key][0] += decimal.Decimal(amount)
        want[key][1] += 1
    got_sums = {}
    for y, m, event, total, count in got.get("rows", []):
        got_sums[(int(y), int(m), event)] = [decimal.Decimal(total), int(count)]
    res.check(got_sums == dict(want), "each month and event code sums to the emulator's amounts, exactly",
              "\n".join(f"{k}: got {got_sums.get(k)} want {want.get(k)}"
                        for k in sorted(set(got_sums) | set(want)) if got_sums.get(k) != want.get(k))[:3000])
    res.check(len({k[:2] for k in got_sums}) >= 12, "the year spans at least twelve months",
              str(sorted({k[:2] for k in got_sums})))

    # The requests of that query.
    windows = check_windows(res, searches, start, end, dump)
    res.check(windows >= 12, "a year is twelve or more windows", str(windows))
    res.check(sum(1 for r in log if r.get("path") == "/v1/oauth2/token") <= 1, "one token request at most")
    res.check(all(r.get("path") == SEARCH or r.get("path") == "/v1/oauth2/token" for r in log),
              "nothing but searches and the token is asked", str({r.get("path") for r in log}))

    # Every row once: the ids of the year, in window order (the initiation
    # order here); by default every record, with BalanceAffectingOnly = 'Y'
    # the balance-affecting ones. The column reads back what was sent.
    for only, condition, want in (("N", "", dump), ("Y", " AND BalanceAffectingOnly = 'Y'", dump_y)):
        got, searches, _ = run_query(odbc, emu, "SELECT TransactionId, BalanceAffectingOnly FROM Transactions WHERE " +
                                     where + condition)
        ids = [r[0] for r in got.get("rows", [])]
        res.check(bool(ids) and ids == [t[1] for t in want],
                  ("a plain scan returns every record" if only == "N" else
                   "BalanceAffectingOnly = 'Y' returns every balance-affecting record") + " once, in window order",
                  f"{len(ids)} rows, {len(want)} in the emulator; error: {got.get('error', '')}")
        res.check({r[1] for r in got.get("rows", [])} == {only}, f"BalanceAffectingOnly reads '{only}'",
                  str({r[1] for r in got.get("rows", [])}))
        check_windows(res, searches, start, end, want, only)
    got, searches, _ = run_query(odbc, emu, "SELECT COUNT(*) FROM TransactionItems WHERE " + where +
                                 " AND BalanceAffectingOnly = 'Y'")
    res.check(got.get("rows") == [[str(sum(t[5] for t in dump_y))]] and sum(t[5] for t in dump_y) < sum(t[5] for t in dump),
              "TransactionItems with BalanceAffectingOnly = 'Y': the items of balance-affecting records",
              f"{got} want {sum(t[5] for t in dump_y)}")

    # Transactions joined with their cart items: the item count and total
    # quantity of each transaction that has items.
    reporting = emu_reporting.Reporting(emu.base_url, now=now)
    details = {d["transaction_info"]["transaction_id"]: d for d in reporting.rows}
    same_data = all(tid in details and len(details[tid]["cart_info"].get("item_details", [])) == items
                    for _t, tid, _e, _c, _a, items in dump)
    res.check(same_data, "the emulator's generator rebuilt here gives the same transactions")
    item_where = (where.replace("StartTime", "t.StartTime").replace("EndTime", "t.EndTime") + " AND " +
                  where.replace("StartTime", "i.StartTime").replace("EndTime", "i.EndTime"))
    join = ("SELECT t.TransactionId, t.TransactionAmountCurrencyCode, COUNT(*), SUM(i.ItemQuantity), "
            "SUM(i.ItemQuantity * i.ItemUnitPriceValue) FROM Transactions t JOIN TransactionItems i "
            "ON i.TransactionId = t.TransactionId WHERE " + item_where +
            " GROUP BY t.TransactionId, t.TransactionAmountCurrencyCode")
    got, searches, _ = run_query(odbc, emu, join)
    res.check("error" not in got, "Transactions JOIN TransactionItems over a year runs", got.get("error", ""))
    want_join = {}
    for _t, tid, _event, currency, _amount, items in dump:
        if not items or tid not in details:
            continue
        cart = details[tid]["cart_info"]["item_details"]
        want_join[tid] = (currency, len(cart), sum(int(i["item_quantity"]) for i in cart),
                          sum(int(i["item_quantity"]) * decimal.Decimal(i["item_unit_price"]["value"]) for i in cart))
    got_join = {r[0]: (r[1], int(r[2]), int(decimal.Decimal(r[3])), decimal.Decimal(r[4]))
                for r in got.get("rows", [])}
    res.check(got_join == want_join, "each transaction with a cart joined with its items: count, quantity, value",
              "\n".join(f"{k}: got {got_join.get(k)} want {want_join.get(k)}"
                        for k in sorted(set(got_join) | set(want_join)) if got_join.get(k) != want_join.get(k))[:3000])
    res.check(len(want_join) > 500, "many transactions have carts", str(len(want_join)))
    # Each table reads the year once: every window page asked twice, no more.
    asked = collections.Counter(r["query"] for r in searches)
    res.check(bool(asked) and set(asked.values()) == {2}, "a join of the two tables reads each page once per table",
              str(collections.Counter(asked.values())))

    # What the API cannot answer is refused with the driver's message, not
    # an empty result, and nothing is asked.
    old = last_midnight - (3 * 365 + 2) * DAY
    refusals = [
        ("SELECT TransactionId FROM Transactions WHERE StartTime >= {ts '%s'} AND EndTime <= {ts '%s'}"
         % (ts(old), ts(old + 10 * DAY)), "StartTime %s is earlier than the 3 years of history Transactions keeps"
         % datetime.datetime.fromtimestamp(old, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")),
        ("SELECT TransactionId FROM Transactions WHERE StartTime >= {ts '%s'}" % ts(start),
         "Field 'EndTime' must be specified in query"),
    ]
    for sql, message in refusals:
        got, searches, _ = run_query(odbc, emu, sql)
        res.check(message in got.get("error", "") and not searches, f"refused without a search: {message}",
                  f"{got} {len(searches)} searches")
    got, searches, _ = run_query(odbc, emu, "SELECT TransactionId FROM Transactions WHERE " + where +
                                 " AND BalanceAffectingOnly = 'y'")
    res.check("22023" in got.get("error", "") and "BalanceAffectingOnly takes 'N' or 'Y', not 'y'" in got["error"]
              and not searches, "a value PayPal does not take is 22023, and nothing is asked",
              f"{got} {len(searches)} searches")

    # Balances at a time after PayPal's last refresh: PayPal answers for the
    # refresh time; the rows keep the time asked, and ServedAsOfTime says
    # which time they are for.
    recent = ts(int(now) - 60)
    got, _, log = run_query(odbc, emu, "SELECT Currency, AsOfTime, ServedAsOfTime, LastRefreshTime FROM Balances "
                                       f"WHERE AsOfTime = {{ts '{recent}'}} ORDER BY Currency")
    asked = [urllib.parse.parse_qs(r["query"]).get("as_of_time") for r in log if r.get("path") == "/v1/reporting/balances"]
    res.check([r[0] for r in got.get("rows", [])] == ["CAD", "EUR", "USD"], "Balances at a recent time returns its rows",
              str(got))
    res.check(all(r[1] == recent and r[2] == r[3] == "2024-05-01 05:59:00" for r in got.get("rows", [])),
              "AsOfTime is the time asked, ServedAsOfTime the last refresh PayPal answered for", str(got))
    res.check(asked == [[recent.replace(" ", "T") + "Z"]], "as_of_time is sent as asked", str(asked))
res.finish()
