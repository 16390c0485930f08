"""A long paged scan through pyodbc that meets 429s and a dropped connection:
100 pages of invoices, a 429 (Retry-After 1) on every tenth page request and
a connection reset on one, return the same rows in the same order as
without faults, with no error or warning, each wait honouring Retry-After
(times in the emulator's request log); a Retry-After beyond retry_wait
fails the scan at once."""
import json
import os
import ssl
import sys
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

SCRIPT = r'''
import json, pyodbc
c = pyodbc.connect("DSN=CVPAYPAL")
cur = c.cursor()
try:
    cur.execute("SELECT Id, Status, DetailInvoiceNumber FROM Invoices")
    rows = [[str(v) for v in r] for r in cur.fetchall()]
    print(json.dumps({"rows": rows, "messages": [str(m) for m in cur.messages]}))
except Exception as e:
    print(json.dumps({"error": str(e)}))
'''
PATH = "/v2/invoicing/invoices"

args = parse_args()
res = Results()
sys.path.insert(0, os.path.join(args.source, "tools", "emulator"))
import emu_data  # noqa: E402


def control(emu, query):
    ctx = ssl.create_default_context(cafile=emu.ca) if emu.ca else None
    with urllib.request.urlopen(f"{emu.base_url}/_emulator/control?{query}", context=ctx, timeout=10) as r:
        return r.status


def scan(odbc):
    run = odbc.run(["/usr/bin/python3", "-c", SCRIPT], timeout=200)
    try:
        return json.loads(run.stdout.strip().splitlines()[-1])
    except (ValueError, IndexError):
        return {"error": run.stdout[-1000:] + run.stderr[-1000:]}


with Emulator(args.source, "--invoices", "2000") as emu:
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "emu-client-id", "client_secret": "emu-client-secret", "base_url": emu.base_url,
        # One request at a time: the waits are timed from the request log in order.
        "cert": emu.ca, "parallel_requests": "1"}})
    clean = scan(odbc)
    # The emulator's own invoices, in its order: the scan the faulted one is compared with is right itself.
    want = [inv["id"] for inv in emu_data.make_invoices(2000, emu.base_url)]
    got = [r[0] for r in clean.get("rows", [])]
    res.check("error" not in clean and got == want, "a clean scan reads the 2,000 invoices in order",
              clean.get("error", f"{len(got)} rows, first {got[:2]}"))
    pages = sum(1 for r in emu.requests() if r.get("path") == PATH)
    res.check(pages == 100, "the clean scan is 100 page requests", str(pages))

    control(emu, "retry_after=1")
    control(emu, f"fault=429&every=10&count=1000&path={PATH}")
    control(emu, f"fault=reset&every=57&count=1&path={PATH}")
    before = len(emu.requests())
    faulted = scan(odbc)
    control(emu, "reset=1")
    res.check("error" not in faulted, "the faulted scan succeeds", faulted.get("error", ""))
    res.check(bool(clean.get("rows")) and faulted.get("rows") == clean.get("rows"), "every row exactly once, in the same order as without faults",
              f"{len(faulted.get('rows', []))} rows")
    res.check(faulted.get("messages") == [], "no warning is posted for the retries", str(faulted.get("messages")))

    log = [r for r in emu.requests()[before:] if r.get("path") == PATH]
    repeats = [(a, b) for a, b in zip(log, log[1:]) if a["query"] == b["query"]]
    res.check(len(repeats) >= 11, "ten 429s and a reset were met and retried", str(len(repeats)))
    honoured = sum(1 for a, b in repeats if b["time"] - a["time"] >= 0.95)
    res.check(honoured >= 10, "each retry after a 429 waited the second Retry-After asked", str(honoured))

    # A Retry-After longer than retry_wait (120 s) allows: the scan fails at once, saying how long PayPal asked.
    control(emu, "retry_after=600")
    control(emu, f"fault=429&count=1&path={PATH}")
    import time
    started = time.monotonic()
    refused = scan(odbc)
    took = time.monotonic() - started
    control(emu, "reset=1")
    res.check("600 seconds" in refused.get("error", "") and took < 20,
              "a Retry-After beyond retry_wait fails at once, giving the wait", f"{took:.1f} s: {refused}")
res.finish()
