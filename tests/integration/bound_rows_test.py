"""Bound columns of forward-only cursors against static ones: the C program
bound_rows reads the same queries both ways at several buffer widths and
block sizes and compares everything the application sees."""
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
res = Results()
with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    settings = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": settings})
    r = odbc.run([os.path.join(args.build, "tests", "integration", "bound_rows"), "DSN=CVPAYPAL"], timeout=240)
    print(r.stdout[-20000:])
    res.check(r.returncode == 0 and "\n0 failed" in r.stdout, "forward-only and static cursors deliver the same",
              r.stdout[-3000:] + r.stderr[-3000:])
res.finish()
