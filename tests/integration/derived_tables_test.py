"""Derived tables through pyodbc against the emulator: grouping over a
derived table of Invoices, a derived table joined to a PayPal table, an
outer comparison reaching PayPal as a path key through a derived table, and
relational_opt giving the same rows as without it."""
import collections
import json
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "tools", "emulator"))
import emu_data  # noqa: E402
import emu_rows  # noqa: E402

SCRIPT = r'''
import json, pyodbc, sys
c = pyodbc.connect("DSN=" + sys.argv[2])
cur = c.cursor()
try:
    cur.execute(sys.argv[1])
    names = [d[0] for d in cur.description]
    out = {"names": names, "rows": [[str(v) if v is not None else None for v in r] for r in cur.fetchall()]}
except Exception as e:
    out = {"error": str(e)}
print(json.dumps(out), flush=True)
'''


def run_query(odbc, emu, sql, dsn="CVPAYPAL"):
    """The query's result and the GET requests it sent."""
    before = len(emu.requests())
    run = odbc.run(["/usr/bin/python3", "-c", SCRIPT, sql, dsn], timeout=120)
    try:
        got = json.loads(run.stdout.strip().splitlines()[-1])
    except (ValueError, IndexError):
        got = {"error": run.stdout[-1000:] + run.stderr[-1000:]}
    gets = [r.get("path") for r in emu.requests()[before:] if r.get("method") == "GET"]
    return got, gets


res = Results()
with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    invoices = emu_data.make_invoices(45, emu.base_url)
    emu_rows.enrich_invoices(invoices)
    common = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": common, "CVREL": dict(common, relational_opt="1")})

    group, _ = run_query(odbc, emu, "SELECT d.st, COUNT(*) AS n FROM (SELECT Id, Status AS st FROM Invoices) d "
                                    "GROUP BY d.st")
    res.check("error" not in group, "GROUP BY over a derived table runs", group.get("error", ""))
    statuses = collections.Counter(inv["status"] for inv in invoices)
    want = sorted([[s, str(n)] for s, n in statuses.items()])
    res.check(sorted(group.get("rows", [])) == want, "each status once with its count",
              f"got {group.get('rows')} want {want}")
    res.check([n.lower() for n in group.get("names", [])] == ["st", "n"], "result columns take the derived names",
              str(group.get("names")))

    counted, _ = run_query(odbc, emu, "SELECT COUNT(*) FROM (SELECT DISTINCT Status FROM Invoices) d")
    res.check(counted.get("rows") == [[str(len(statuses))]], "COUNT over a DISTINCT derived table",
              str(counted))

    # Invoices joined with a derived table of Invoices (InvoiceItems needs an
    # invoice id in its own query, which a derived table read once cannot get).
    sent = sorted(inv["id"] for inv in invoices if inv["status"] != "DRAFT")
    joined, _ = run_query(odbc, emu, "SELECT i.Id, d.st FROM Invoices i JOIN (SELECT Id, Status AS st FROM Invoices "
                                     "WHERE Status <> 'DRAFT') d ON d.Id = i.Id")
    res.check(sorted(r[0] for r in joined.get("rows", [])) == sent,
              "invoices joined with a derived table of the invoices that are not drafts", str(joined)[:300])

    one = invoices[0]["id"]
    keyed, gets = run_query(odbc, emu, f"SELECT d.Id FROM (SELECT Id, Status FROM Invoices) d WHERE d.Id = '{one}'")
    res.check(keyed.get("rows") == [[one]], "an outer comparison finds the row", str(keyed))
    res.check(gets == ["/v2/invoicing/invoices/" + one],
              "the comparison reaches PayPal as the invoice's path key through the derived table", str(gets))

    sql = ("SELECT i.Id, COUNT(*) FROM Invoices i, InvoiceItems it WHERE it.Id = i.Id AND i.Status <> 'DRAFT' "
           "GROUP BY i.Id")
    # One row per invoice that is not a draft, with the number of its items.
    want = sorted([inv["id"], str(len(inv.get("items", [])))] for inv in invoices
                  if inv["status"] != "DRAFT" and inv.get("items"))
    plain, _ = run_query(odbc, emu, sql)
    res.check("error" not in plain and sorted(plain.get("rows", [])) == want,
              "items counted per invoice", str(plain)[:300])
    grouped, _ = run_query(odbc, emu, sql, "CVREL")
    res.check("error" not in grouped and sorted(grouped.get("rows", [])) == want,
              "relational_opt gives the same rows", str(grouped)[:300])
res.finish()
