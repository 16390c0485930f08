"""Every log a fully traced connect writes (the ODBC call trace and the
backend log with packet dumps, direct lines and ring mode), through a Basic
and a Digest proxy, searched for every secret and its Base64 forms: nothing
may be found."""
import base64
import glob
import json
import os
import ssl
import subprocess
import sys
import urllib.parse
import urllib.request

from odbc_env import DRIVER_NAME, Emulator, PrivateOdbc, Results, parse_args

args = parse_args()
r = Results()
ID = "log-client-id"
SECRET = "Sec;ret}Value{9876"
PROXY_USER = "proxyuser"
PROXY_PASS = "Pr0xy;Pass}word"
WRONG_PASS = "Wr0ng-Proxy-Pass"
WRONG_SECRET = "Wr0ng-Client-Secret"


def braced(value):
    return "{" + value.replace("}", "}}") + "}"


class Proxy:
    def __init__(self, source, *extra):
        argv = ["/usr/bin/python3", os.path.join(os.path.abspath(source), "tools", "emulator",
                                                 "test_proxy.py"),
                "--exit-on-eof", "--user", PROXY_USER, "--password", PROXY_PASS, *extra]
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     cwd=os.environ.get("TMPDIR", "/tmp"))
        self.port = None
        for line in self.proc.stdout:
            key, _, value = line.strip().partition(" ")
            if key == "PORT":
                self.port = int(value)
            elif key == "READY":
                break
        if self.port is None:
            raise RuntimeError("test proxy did not start")

    def stop(self):
        """Stops the proxy; its exit status: 0, or 70 when one of its
        handlers raised (a fault of the test server, not of the driver)."""
        self.proc.stdin.close()
        return self.proc.wait(timeout=10)


def b64_forms(secret):
    """The Base64 texts that carry `secret` wherever it stands in the encoded
    bytes: its three alignments, without the blocks it shares with others."""
    raw = secret.encode()
    forms = []
    for shift in range(3):
        enc = base64.b64encode(b"\0" * shift + raw).decode()
        core = enc[4 if shift else 0:len(enc) - 4]
        if len(core) >= 8:
            forms.append(core)
    return forms


def tokens_issued(emu):
    ctx = ssl.create_default_context(cafile=emu.ca)
    with urllib.request.urlopen(emu.base_url + "/_emulator/control?tokens=1", context=ctx) as f:
        return json.loads(f.read())["tokens"]


def connect(odbc, conn, login_timeout=0):
    code = f"""
import sys, time
sys.path.insert(0, {os.path.dirname(os.path.abspath(__file__))!r})
from odbc_ctypes import *
c = Connection()
if {login_timeout}:
    odbc.SQLSetConnectAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
    odbc.SQLSetConnectAttr(c.dbc, 103, H({login_timeout}), -6)
t0 = time.time()
rc, out, n, raw = c.driver_connect({conn!r}, capacity=4096)
print('TOOK', round(time.time() - t0, 1))
print('RC', rc)
print('DIAG', c.diag())
if rc in (0, 1):
    c.disconnect()
c.close()
"""
    return odbc.python(code, timeout=120)


with Emulator(args.source, "--client-id", ID, "--client-secret", SECRET) as emu:
    for auth in ("basic", "digest"):
        proxy = Proxy(args.source, "--auth", auth)
        odbc = PrivateOdbc(args.driver)
        logfile = os.path.join(odbc.dir, "backend.log")
        ringfile = os.path.join(odbc.dir, "ring.log")
        base = (f"DRIVER={{{DRIVER_NAME}}};client_id={ID};base_url={emu.base_url};cert={emu.ca};"
                f"proxy=http://127.0.0.1:{proxy.port};proxy_user={PROXY_USER};")
        runs = [
            ("connects", f"{base}client_secret= {braced(SECRET)};proxy_pass={braced(PROXY_PASS)};"
                         f"logging=31;logfile={logfile}", True),
            ("wrong proxy password", f"{base}client_secret={braced(SECRET)};proxy_pass={WRONG_PASS};"
                                     f"logging=yes;logfile={logfile}", False),
            ("wrong secret in ring mode", f"{base}client_secret={WRONG_SECRET};"
                                          f"proxy_pass={braced(PROXY_PASS)};"
                                          f"logging=onerror;logfile={ringfile}", False),
        ]
        for what, conn, should_connect in runs:
            out = connect(odbc, conn)
            ok = ("RC 0" in out.stdout or "RC 1" in out.stdout) == should_connect
            r.check(ok, f"{auth}: {what}", out.stdout + out.stderr)
        status = proxy.stop()
        r.check(status == 0, f"{auth}: the proxy ends cleanly (status 0, no handler raised)", str(status))

        logs = {}
        for path in glob.glob(os.path.join(odbc.dir, "*")):
            if path.endswith(".ini"):
                continue
            with open(path, "rb") as f:
                logs[os.path.basename(path)] = f.read().decode("latin-1")
        trace = logs.get("trace.log", "")
        backend = "".join(v for k, v in logs.items() if k.startswith("backend.log"))
        ring = "".join(v for k, v in logs.items() if k.startswith("ring.log"))
        # The logs say what happened, or searching them would prove nothing.
        r.check("SQLDriverConnect" in trace and "proxy_pass=****" in trace,
                f"{auth}: the call trace shows the connects, masked", trace[-2000:])
        r.check("Send Request (SSL)" in backend and "Proxy Auth" in backend
                or "Basic Auth" in backend, f"{auth}: the backend log shows the exchanges", backend[-2000:])
        r.check("The proxy refused the credentials" in backend,
                f"{auth}: the refused proxy password is logged plainly", backend[-3000:])
        r.check("Token request refused (401)" in ring, f"{auth}: ring mode wrote the 401", ring[-2000:])

        # Packet dumps show 16 characters a row: search the joined character
        # columns as well as the lines.
        joined = "".join(line[60:] for text in logs.values() for line in text.splitlines()
                         if line.startswith(" " * 10) and len(line) > 60)
        haystack = "\n".join(logs.values()) + "\n" + joined
        secrets = [SECRET, PROXY_PASS, WRONG_PASS, WRONG_SECRET] + tokens_issued(emu)
        needles = []
        for s in secrets:
            needles += [s, urllib.parse.quote(s, safe="")] + b64_forms(s)
        for user, password in ((ID, SECRET), (PROXY_USER, PROXY_PASS), (PROXY_USER, WRONG_PASS),
                               (ID, WRONG_SECRET)):
            needles.append(base64.b64encode(f"{user}:{password}".encode()).decode())
        found = [n for n in needles if n in haystack]
        r.check(not found, f"{auth}: no secret in any log ({len(needles)} forms of "
                           f"{len(secrets)} secrets, {len(logs)} files)", repr(found))

# A server that accepts and never answers: SQL_ATTR_LOGIN_TIMEOUT ends the
# connect, with the ODBC time-out SQLSTATE.
with Emulator(args.source) as emu:
    import socket
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(8)
    odbc = PrivateOdbc(args.driver)
    conn = (f"DRIVER={{{DRIVER_NAME}}};client_id={ID};client_secret=s3cret;cert={emu.ca};"
            f"base_url=https://127.0.0.1:{silent.getsockname()[1]}")
    out = connect(odbc, conn, login_timeout=1)
    took = float(out.stdout.split("TOOK ", 1)[1].split()[0]) if "TOOK " in out.stdout else 99
    r.check(took < 4 and "HYT00" in out.stdout and "RC -1" in out.stdout,
            f"login time-out of 1 s ends a connect to a silent server ({took} s)", out.stdout + out.stderr)
    silent.close()

r.finish()
