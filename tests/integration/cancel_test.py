"""SQLCancel from a second thread while a scan waits out a 429 with a long
Retry-After, or waits for replies that each take 3 s (a plain scan and a
sort): the waiting call ends promptly with HY008, the same statement then
runs again normally (a cancel does not outlive the call it was meant for),
and closing the connection does not wait for anything."""
import json
import os
import ssl
import sys
import urllib.request

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
res = Results()

CLIENT = r'''
import json, pyodbc, sys, threading, time
c = pyodbc.connect("DSN=CVPAYPAL", autocommit=True)
cur = c.cursor()
out = {}
def cancel_later():
    time.sleep(float(sys.argv[2]))
    out["cancel_at"] = time.monotonic()
    cur.cancel()
t = threading.Thread(target=cancel_later)
start = time.monotonic()
t.start()
try:
    cur.execute(sys.argv[1])
    cur.fetchall()
    out["error"] = None
except pyodbc.Error as e:
    out["error"] = str(e)
out["after_cancel"] = time.monotonic() - out.get("cancel_at", start)
t.join()
try:
    out["again"] = len(cur.execute(sys.argv[1]).fetchall())
except pyodbc.Error as e:
    out["again"] = str(e)
start = time.monotonic()
c.close()
out["close"] = time.monotonic() - start
print(json.dumps(out))
'''


def control(emu, query):
    ctx = ssl.create_default_context(cafile=emu.ca)
    with urllib.request.urlopen(f"{emu.base_url}/_emulator/{query}", context=ctx, timeout=10) as r:
        return r.status


with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    settings = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": settings})
    # Every listing answers 429 with Retry-After 120 s, once per case; then
    # every reply takes 3 s and the cancel comes one second into the call.
    cases = [("SELECT Id FROM Webhooks", "reset=1&retry_after=120&fault=429&count=1&path=/v1/notifications/webhooks",
              1.5, 5),
             ("SELECT Id, Name FROM Plans", "reset=1&retry_after=120&fault=429&count=1&path=/v1/billing/plans", 1.5, 5),
             ("SELECT * FROM Invoices", "reset=1&latency_ms=3000", 1, 2),
             ("SELECT Id, Status FROM Invoices ORDER BY Status DESC, Id", "reset=1&latency_ms=3000", 1, 2)]
    for sql, query, delay, within in cases:
        control(emu, f"control?{query}")
        r = odbc.run(["/usr/bin/python3", "-c", CLIENT, sql, str(delay)], timeout=100)
        try:
            got = json.loads(r.stdout)
        except ValueError:
            res.check(False, f"{sql}: client ran", r.stdout[-2000:] + r.stderr[-2000:])
            continue
        err = got.get("error") or ""
        res.check("HY008" in err and "Operation canceled" in err, f"{sql}: the waiting call ends with HY008", err)
        res.check(got["after_cancel"] < within, f"{sql}: it ends within {within} s of SQLCancel", json.dumps(got))
        res.check(isinstance(got["again"], int) and got["again"] > 0, f"{sql}: the statement runs again after it",
                  json.dumps(got))
        res.check(got["close"] < 2, f"{sql}: closing the connection afterwards takes under 2 s", json.dumps(got))
    control(emu, "control?reset=1")

res.finish()
