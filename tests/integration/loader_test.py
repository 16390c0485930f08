"""unixODBC loads the driver and reaches its own code, through isql and pyodbc."""
import os
import re

from odbc_env import PrivateOdbc, Results, parse_args

args = parse_args()
r = Results()
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
