"""unixODBC loads the driver and reaches its own code, through isql and pyodbc;
the harness's check of client children."""
import os
import re
import types

from odbc_env import ClientFailed, PrivateOdbc, Results, check_child, parse_args

args = parse_args()
r = Results()

# check_child, which every client child of the integration tests goes through: (what the case is,
# status, stderr, expected status) -> whether it fails the test. The labels name the cases rather than
# quote their stderr, so that this log holds no line a sanitizer report scan would take for one.
for name, status, stderr, expect, fails in (
        ("a clean exit", 0, "", 0, False),
        ("an unexpected status", 1, "", 0, True),
        ("an expected status", 1, "", 1, False),
        ("a signal, any status allowed", -6, "", None, False),
        ("an address error report", 0, "==12==ERROR: AddressSanitizer: heap-use-after-free on address 0x6020", 0,
         True),
        ("an undefined-behaviour report", 0, "odbc/free.cpp:40:5: runtime error: member access within null pointer",
         None, True),
        ("a data race report (bytes)", 0, b"WARNING: ThreadSanitizer: data race (pid=7)", 0, True),
        ("a warning that is no sanitizer's", 0, "runtime warning from a client, no sanitizer", 0, False)):
    try:
        check_child(types.SimpleNamespace(returncode=status, stdout="", stderr=stderr), "a child", expect)
        failed = False
    except ClientFailed:
        failed = True
    r.check(failed == fails, f"a child with {name} (status {status}, expected {expect}): "
            + ("fails" if fails else "passes"))
odbc = PrivateOdbc(args.driver, dsns={"CVTEST": {"Description": "loader check"}})

out = odbc.run(["odbcinst", "-q", "-d"])
r.check("[Corvane PAYPAL ODBC Driver]" in out.stdout, "odbcinst lists the driver", out.stdout + out.stderr)

out = odbc.run(["isql", "-v", "CVTEST"], stdin="SELECT 1\n", expect_rc=1)  # isql: 1, not connected
trace = odbc.trace_text()
r.check("SQLAllocHandle( 2," in trace and "SQLAllocHandle() returns 0" in trace,
        "isql reaches the driver's handle allocation (driver trace)", trace)
r.check("client id must be provided" in out.stdout + out.stderr,
        "isql shows the driver's own answer for a data source without credentials",
        out.stdout + out.stderr)
r.check(os.stat(odbc.trace).st_mode & 0o777 == 0o600, "trace file is private (0600)")

os.remove(odbc.trace)
out = odbc.python("""
import pyodbc
try:
    pyodbc.connect('DSN=CVTEST;UID=someone;PWD=hunter2;base_url=https://127.0.0.1:9', autocommit=True)
except pyodbc.Error as e:
    print('ERR', e.args[0], e.args[1])
""")
trace = odbc.trace_text()
r.check(re.search(r"SQLAllocHandle\( 2, 0x[0-9a-f]+", trace) is not None,
        "pyodbc reaches the driver's handle allocation", trace + out.stderr)
r.check("ERR HY000" in out.stdout and "Failed to obtain Paypal access token" in out.stdout,
        "pyodbc sees the driver's SQLSTATE and message", out.stdout + out.stderr)
r.check("hunter2" not in trace, "no password in the trace")
r.finish()
