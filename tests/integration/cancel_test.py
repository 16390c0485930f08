"""SQLCancel from a second thread while a scan waits out a 429 with a long
Retry-After: the waiting call ends promptly with HY008, and the same
statement then runs again normally (a cancel does not outlive the call it
was meant for)."""
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
    time.sleep(1.5)
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
print(json.dumps(out))
'''


def control(emu, query):
    ctx = ssl.create_default_context(cafile=emu.ca)
    with urllib.request.urlopen(f"{emu.base_url}/_emulator/{query}", context=ctx, timeout=10) as r:
        return r.status


with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    settings = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": settings})
    # Every listing answers 429 with Retry-After 120 s, once per case.
    for sql, path in [("SELECT Id FROM Webhooks", "/v1/notifications/webhooks"),
                      ("SELECT Id, Name FROM Plans", "/v1/billing/plans")]:
        control(emu, f"control?reset=1&retry_after=120&fault=429&count=1&path={path}")
        r = odbc.run(["/usr/bin/python3", "-c", CLIENT, sql], timeout=100)
        try:
            got = json.loads(r.stdout)
        except ValueError:
            res.check(False, f"{sql}: client ran", r.stdout[-2000:] + r.stderr[-2000:])
            continue
        err = got.get("error") or ""
        res.check("HY008" in err and "Operation canceled" in err, f"{sql}: the waiting call ends with HY008", err)
        res.check(got["after_cancel"] < 5, f"{sql}: it ends promptly after SQLCancel", json.dumps(got))
        res.check(isinstance(got["again"], int) and got["again"] > 0, f"{sql}: the statement runs again after it",
                  json.dumps(got))

res.finish()
