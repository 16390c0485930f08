"""Connecting edge cases through the driver manager with ctypes:
SQLBrowseConnect rounds, out-buffer truncation, secrets with ';' and '}',
fresh attributes on every connect, prompting without a display, driver_test, a
cert that cannot verify the server failing while another connection of the
process holds a token."""
import os
import subprocess
import sys
import time

from odbc_env import Emulator, PrivateOdbc, Results, parse_args, run_child

args = parse_args()
r = Results()
ID, SECRET = "edge-client", "p;w}d{" + "x" * 300

with Emulator(args.source, "--client-id", ID, "--client-secret", SECRET) as emu:
    quoted = "{" + SECRET.replace("}", "}}") + "}"
    odbc = PrivateOdbc(args.driver, dsns={
        "PAYPAL": {"client_id": ID, "client_secret": SECRET, "base_url": emu.base_url, "cert": emu.ca},
        "sqi": {"count": "2", "sqi1": "a", "sqi2": "b"},
    })
    # The driver manager reads the ini files named in the environment: run
    # the ctypes part in a child process that has them.
    code = f"""
import sys, time
sys.path.insert(0, {os.path.dirname(__file__)!r})
from odbc_ctypes import *
c = Connection()
print('ROUND1', c.browse('DSN=PAYPAL'))
print('ROUND2', c.browse('UID=u;PWD=p;SQI=a'))
c.close()

c = Connection()
rc, out, n, raw = c.driver_connect('DSN=PAYPAL', capacity=20)
print('SMALL', rc, repr(out), n, len(out), raw[20:28] == bytes(8))
print('SMALLDIAG', c.diag())
c.close()

c = Connection()
conn = 'DRIVER={{Corvane PAYPAL ODBC Driver}};client_id={ID};client_secret={quoted};base_url={emu.base_url};cert={emu.ca}'
rc, out, n, raw = c.driver_connect(conn, capacity=4096)
print('QUOTED', rc, n, 'client_secret={quoted};' in out or out)
c.disconnect()
rc, out, n, raw = c.driver_connect('DRIVER={{Corvane PAYPAL ODBC Driver}};client_id={ID};base_url={emu.base_url};cert={emu.ca}')
print('FRESH', rc, c.diag())
c.close()

c = Connection()
t0 = time.time()
rc, out, n, raw = c.driver_connect('DSN=PAYPAL;client_secret=', window=1, completion=SQL_DRIVER_COMPLETE)
print('PROMPT', rc, round(time.time() - t0, 1), c.diag())
c.close()

good = Connection()
ok_rc = good.driver_connect('DRIVER={{Corvane PAYPAL ODBC Driver}};client_id={ID};client_secret={quoted};base_url={emu.base_url};cert={emu.ca}')[0]
bad = Connection()
bad_rc = bad.driver_connect('DRIVER={{Corvane PAYPAL ODBC Driver}};client_id={ID};client_secret={quoted};base_url={emu.base_url};cert=/etc/ssl/certs/ca-certificates.crt')[0]
print('SHAREDBADCERT', ok_rc, bad_rc, bad.diag())
bad.close()
good.close()
print('TESTBADCERT', driver_test({args.driver!r}, client_id={ID!r}, client_secret={SECRET!r}, base_url={emu.base_url!r}, cert='/etc/ssl/certs/ca-certificates.crt'))

print('TESTOK', driver_test({args.driver!r}, client_id={ID!r}, client_secret={SECRET!r}, base_url={emu.base_url!r}, cert={emu.ca!r}))
print('TESTBAD', driver_test({args.driver!r}, client_id={ID!r}, client_secret='nope', base_url={emu.base_url!r}, cert={emu.ca!r}))
print('TESTEMPTY', driver_test({args.driver!r}, client_id={ID!r}))
"""
    env = {k: v for k, v in odbc.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    out = run_child([sys.executable, "-c", code], "the ctypes client", env=env, timeout=120)
    lines = {l.split(" ", 1)[0]: l.split(" ", 1)[1] for l in out.stdout.splitlines() if " " in l}
    detail = out.stdout + out.stderr

    r.check(lines.get("ROUND1", "").startswith("(99, 'PWD:Password=?;UID:UserID=?;SQI:SQItarget={a,b};'"),
            "a browse round with only a DSN asks for the password, user and SQI target", detail)
    r.check(lines.get("ROUND2", "").startswith("(0,"), "a second round supplying them connects", detail)
    small = lines.get("SMALL", "")
    r.check(small.startswith("1 ") and " 19 True" in small,
            "a too-small out buffer gives SUCCESS_WITH_INFO with the string cut and nothing written past it", detail)
    r.check("01004" in lines.get("SMALLDIAG", ""), "the cut out string is reported as 01004", detail)
    r.check(lines.get("QUOTED", "").startswith("0 ") and lines["QUOTED"].endswith("True"),
            "a 300-byte secret with ';' '{' '}' connects and comes back quoted", detail)
    r.check("client secret must be provided" in lines.get("FRESH", ""),
            "a new connect never reuses the previous connect's secret", detail)
    prompt = lines.get("PROMPT", "")
    r.check(prompt.startswith("-1 ") and float(prompt.split()[1]) < 10 and "client secret must be provided" in prompt,
            "prompting without a display returns promptly with the provider's answer", detail)
    shared = lines.get("SHAREDBADCERT", "")
    r.check(shared.startswith("0 -1 ") and "certificate" in shared.lower(),
            "a connect whose cert cannot verify the server fails while another connection holds a token", detail)
    r.check(lines.get("TESTBADCERT", "").startswith("(1, "), "driver_test with that cert fails too", detail)
    r.check(lines.get("TESTOK") == "(0, 'Connected and authenticated with Paypal')", "driver_test succeeds", detail)
    r.check(lines.get("TESTBAD", "").startswith("(1, \"Failed to obtain Paypal access token: '"),
            "driver_test reports a refused secret", detail)
    r.check(lines.get("TESTEMPTY") == "(1, 'Client Id MUST be supplied')", "driver_test without a secret", detail)
r.finish()
