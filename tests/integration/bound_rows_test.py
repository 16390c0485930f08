"""Bound columns of forward-only cursors against static ones: the C program
bound_rows reads the same queries both ways at several buffer widths and
block sizes and compares everything the application sees."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Results, c_client_run, parse_args  # noqa: E402

args = parse_args()
res = Results()
with c_client_run(args, "bound_rows", timeout=240) as (_, r):
    print(r.stdout[-20000:])
    res.check(r.returncode == 0 and "\n0 failed" in r.stdout, "forward-only and static cursors deliver the same",
              r.stdout[-3000:] + r.stderr[-3000:])
res.finish()
