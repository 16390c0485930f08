"""The history store of settled transactions through pyodbc against the
emulator. A year of Transactions asked twice in two connections: the second
reads the settled windows from the store (at most two searches: the tail not
yet settled) and returns the same rows, every column, as a connection
without a store. Filters over stored windows, TransactionItems from the same
windows, INFO_SCHEMA.PAYPAL_HISTORY, a store readable by others or damaged
(a warning, then PayPal's rows), two processes filling one store at once,
and a client killed during a fill."""
import json
import os
import shutil
import signal
import sqlite3
import ssl
import stat
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, check_child, parse_args  # noqa: E402

DAY = 86400
SEARCH = "/v1/reporting/transactions"

SCRIPT = r'''
import json, pyodbc, sys
c = pyodbc.connect("DSN=" + sys.argv[1])
cur = c.cursor()
outs = []
for sql in sys.argv[2:]:
    out = {}
    try:
        cur.execute(sql)
        out["rows"] = [[str(v) if v is not None else None for v in r] for r in cur.fetchall()]
    except Exception as e:
        out["error"] = str(e)
    outs.append(out)
print(json.dumps(outs))
'''


def ts(t):
    return time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(t))


def emulator_get(emu, path):
    ctx = ssl.create_default_context(cafile=emu.ca) if emu.ca else None
    with urllib.request.urlopen(emu.base_url + path, context=ctx, timeout=60) as r:
        return json.loads(r.read())


def searches_since(emu, before):
    return [r for r in emu.requests()[before:] if r.get("path") == SEARCH]


def queries(odbc, emu, dsn, sqls):
    """The rows of each of `sqls` (as text) on one connection to `dsn`, and
    the searches they sent."""
    before = len(emu.requests())
    run = odbc.run(["/usr/bin/python3", "-c", SCRIPT, dsn, *sqls], timeout=240)
    try:
        got = json.loads(run.stdout.strip().splitlines()[-1])
    except (ValueError, IndexError):
        got = [{"error": run.stdout[-1000:] + run.stderr[-1000:]}] * len(sqls)
    return got, searches_since(emu, before)


def query(odbc, emu, dsn, sql):
    got, searches = queries(odbc, emu, dsn, [sql])
    return got[0], searches


def start_query(odbc, dsn, sql):
    return subprocess.Popen(["/usr/bin/python3", "-c", SCRIPT, dsn, sql], env=odbc.env, text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def log_text(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""


args = parse_args()
res = Results()
with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    work = emu.state_dir
    store = os.path.join(work, "history.db")
    other = os.path.join(work, "other.db")
    killed = os.path.join(work, "killed.db")
    logfile = os.path.join(work, "backend.log")
    base = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url,
            "cert": emu.ca}
    odbc = PrivateOdbc(args.driver, {
        "PLAIN": base,
        "KEPT": dict(base, history_store=store, logging="yes", logfile=logfile),
        "OTHER": dict(base, history_store=other),
        "KILLED": dict(base, history_store=killed),
    })
    now = emulator_get(emu, "/_emulator/transactions?start=0&end=0")["now"]
    last_midnight = int(now) // DAY * DAY
    start, end = last_midnight - 365 * DAY, last_midnight - 1
    where = f"StartTime >= {{ts '{ts(start)}'}} AND EndTime <= {{ts '{ts(end)}'}}"
    year = f"SELECT * FROM Transactions WHERE {where}"

    # A year, twice, in two connections (two processes).
    first, first_searches = query(odbc, emu, "KEPT", year)
    res.check("error" not in first and len(first.get("rows", [])) > 2000, "a year of Transactions is read",
              first.get("error", str(len(first.get("rows", [])))))
    mode = stat.S_IMODE(os.stat(store).st_mode) if os.path.exists(store) else None
    res.check(mode == 0o600, "the store is made 0600", oct(mode or 0))
    second, second_searches = query(odbc, emu, "KEPT", year)
    res.check(len(second_searches) <= 2,
              "the second year asks PayPal only for the tail not yet settled (at most 2 searches)",
              f"{len(second_searches)} searches: {[r['query'] for r in second_searches][:4]}")
    res.check(second.get("rows") == first.get("rows"), "the second year's rows are the first's, every column",
              second.get("error", ""))
    plain, plain_searches = query(odbc, emu, "PLAIN", year)
    res.check(plain.get("rows") == first.get("rows"), "they are the rows of a connection without a store",
              f"{len(plain.get('rows', []))} vs {len(first.get('rows', []))}")
    trace = log_text(logfile)
    res.check("history hit, from the store" in trace and "history miss, fetched" in trace,
              "the trace shows store hits and misses", trace[-1500:])
    res.check("demo-secret" not in open(store, "rb").read().decode("latin-1"),
              "the store holds no secret")

    # Filters over stored windows: PayPal's answer, also for TransactionItems.
    quarter = (f"StartTime >= {{ts '{ts(start + 60 * DAY)}'}} AND EndTime <= {{ts '{ts(start + 150 * DAY)}'}}")
    few = ("SELECT TransactionId, TransactionEventCode, TransactionStatus, TransactionAmountValue,"
           " TransactionAmountCurrencyCode FROM Transactions WHERE")
    filtered = [
        f"SELECT * FROM Transactions WHERE {quarter} AND TransactionStatus = 'S' AND TransactionEventCode = 'T0006'",
        f"{few} {quarter} AND TransactionAmountCurrencyCode = 'EUR'",
        f"{few} {quarter} AND TransactionAmountValue BETWEEN 10 AND 40.5",
        f"{few} {quarter} AND TransactionAmountCurrencyCode = 'JPY' AND TransactionAmountValue >= 2000",
        f"{few} {quarter} AND TransactionId = '{first['rows'][len(first['rows']) * 3 // 10][0]}'",
        f"SELECT * FROM TransactionItems WHERE {quarter}",
    ]
    kept_all, kept_searches = queries(odbc, emu, "KEPT", filtered + ["SELECT * FROM INFO_SCHEMA.PAYPAL_HISTORY"])
    listed = kept_all.pop()
    fresh_all, _ = queries(odbc, emu, "PLAIN", filtered)
    res.check(not kept_searches, "filtered queries over stored windows send no search", str(len(kept_searches)))
    for sql, kept, fresh in zip(filtered, kept_all, fresh_all):
        res.check("error" not in kept and kept.get("rows") == fresh.get("rows") and fresh.get("rows"),
                  f"from the store, PayPal's rows: {sql[sql.index('FROM'):][:40]} ... {sql[-60:]}",
                  f"{len(kept.get('rows', []))} vs {len(fresh.get('rows', []))} {kept.get('error', '')}")

    # What the store holds.
    rows = listed.get("rows", [])
    res.check(len(rows) >= 12 and all(r[2] == "demo-client" for r in rows) and
              sum(int(r[5]) for r in rows) >= len(first["rows"]) - 200,
              "INFO_SCHEMA.PAYPAL_HISTORY lists the stored windows with their record set and rows",
              json.dumps(listed)[:1500])

    # Readable by others: refused with a warning, PayPal's rows instead.
    span = f"{few} {quarter}"
    want_span, _ = query(odbc, emu, "PLAIN", span)
    os.chmod(store, 0o644)
    open_to_all, searches = query(odbc, emu, "KEPT", span)
    res.check(open_to_all.get("rows") == want_span.get("rows") and len(searches) >= 3,
              "a store readable by others is not used: PayPal's rows", f"{len(searches)} searches")
    res.check("mode 0644" in log_text(logfile), "the trace says why", log_text(logfile)[-800:])
    os.chmod(store, 0o600)

    # Damaged: some pages overwritten. PayPal's rows, never partial ones.
    damaged = os.path.join(work, "damaged.db")
    shutil.copy(store, damaged)
    os.chmod(damaged, 0o600)
    with sqlite3.connect(damaged) as db:
        db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    size = os.path.getsize(damaged)
    with open(damaged, "r+b") as f:
        for offset in range(size // 3, size, size // 7):
            f.seek(offset)
            f.write(b"\xff" * 3000)
    odbc_damaged = PrivateOdbc(args.driver, {"D": dict(base, history_store=damaged)})
    broken, _ = query(odbc_damaged, emu, "D", span)
    res.check(broken.get("rows") == want_span.get("rows"), "a damaged store gives PayPal's rows",
              broken.get("error", f"{len(broken.get('rows', []))} rows"))

    # Two processes filling one store at once, then a reader.
    half = (f"SELECT TransactionId, TransactionAmountValue, TransactionStatus FROM Transactions WHERE "
            f"StartTime >= {{ts '{ts(start)}'}} AND EndTime <= {{ts '{ts(start + 200 * DAY)}'}}")
    both = [start_query(odbc, "OTHER", half) for _ in range(2)]
    outs = []
    for p in both:
        out, err = p.communicate(timeout=240)
        check_child(subprocess.CompletedProcess(p.args, p.returncode, out, err), "concurrent fill")
        outs.append(json.loads(out.strip().splitlines()[-1])[0])
    want, _ = query(odbc, emu, "PLAIN", half)
    again, again_searches = query(odbc, emu, "OTHER", half)
    res.check(all(o.get("rows") == want.get("rows") for o in outs) and again.get("rows") == want.get("rows")
              and not again_searches, "two processes fill one store at once; a third reads it whole",
              f"{[len(o.get('rows', [])) for o in outs]} {len(again_searches)} searches")

    # Killed during a fill (every reply late), then asked again.
    emulator_get(emu, "/_emulator/control?latency_ms=150")
    victim = start_query(odbc, "KILLED", half)
    time.sleep(1.0)
    victim.send_signal(signal.SIGKILL)
    victim.communicate()
    emulator_get(emu, "/_emulator/control?latency_ms=0")
    after, _ = query(odbc, emu, "KILLED", half)
    again, again_searches = query(odbc, emu, "KILLED", half)
    res.check(after.get("rows") == want.get("rows") and again.get("rows") == want.get("rows")
              and not again_searches, "a fill killed half way leaves a store that still answers right",
              f"{len(after.get('rows', []))} / {len(again.get('rows', []))} rows, {len(again_searches)} searches")
res.finish()
