"""Grouping, ordering, UNION and joins through pyodbc against the emulator,
each checked against the emulator's own data, and the REST requests a join
and an IN list cost, counted in the emulator's request log."""
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
c = pyodbc.connect("DSN=CVPAYPAL")
cur = c.cursor()
out = []
for sql in json.loads(sys.argv[1]):
    try:
        cur.execute(sql)
        out.append({"rows": [[str(v) if v is not None else None for v in r] for r in cur.fetchall()]})
    except Exception as e:
        out.append({"error": str(e)})
    print(json.dumps(out[-1]), flush=True)
'''


def run_queries(odbc, emu, queries):
    """Rows of each query, and the GET requests each one sent."""
    results = []
    for sql in queries:
        before = len(emu.requests())
        run = odbc.run(["/usr/bin/python3", "-c", SCRIPT, json.dumps([sql])], timeout=120)
        try:
            got = json.loads(run.stdout.strip().splitlines()[-1])
        except (ValueError, IndexError):
            got = {"error": run.stdout[-1000:] + run.stderr[-1000:]}
        gets = [(r.get("path"), r.get("query", "")) for r in emu.requests()[before:] if r.get("method") == "GET"]
        results.append((got, gets))
    return results


res = Results()
with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    rows = emu_rows.make_rows(emu.base_url)
    invoices = emu_data.make_invoices(45, emu.base_url)
    emu_rows.enrich_invoices(invoices)
    plans, hooks = rows["plans"], rows["webhooks"]
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}})
    some = [inv["id"] for inv in invoices[:3]]
    queries = [
        "SELECT Status, COUNT(*) FROM Invoices GROUP BY Status",
        "SELECT Id, DetailMetadataCreateTime FROM Invoices ORDER BY DetailMetadataCreateTime DESC, Id",
        "SELECT i.Id, COUNT(*) FROM Invoices i, InvoiceItems it WHERE it.Id = i.Id GROUP BY i.Id",
        "SELECT Id FROM Plans UNION SELECT Id FROM Webhooks UNION SELECT Id FROM Plans",
        "SELECT p.Id, b.Id FROM Plans p JOIN PlansBillingCycles b ON b.Id = p.Id",
        "SELECT Id FROM Invoices WHERE Id IN ('%s', '%s', '%s', 'INV2-NONE')" % tuple(some),
    ]
    (group, _), (order, _), (join, _), (union, _), (pjoin, pjoin_gets), (inlist, in_gets) = \
        run_queries(odbc, emu, queries)

    for name, got in (("GROUP BY", group), ("ORDER BY", order), ("join", join), ("UNION", union),
                      ("JOIN ON", pjoin), ("IN list", inlist)):
        res.check("error" not in got, f"{name} runs", got.get("error", ""))

    statuses = collections.Counter(inv["status"] for inv in invoices)
    want = sorted([[s, str(n)] for s, n in statuses.items()])
    res.check(group.get("rows") == want, "GROUP BY Status gives each status once with its count, in key order",
              f"got {group.get('rows')} want {want}")

    got_order = order.get("rows", [])
    stamps = [r[1] for r in got_order]
    res.check(len(got_order) == len(invoices), "ORDER BY returns every invoice", str(len(got_order)))
    res.check(stamps == sorted(stamps, reverse=True), "ORDER BY a timestamp, descending", str(stamps[:5]))
    res.check(sorted(r[0] for r in got_order) == sorted(inv["id"] for inv in invoices), "ORDER BY keeps every id")

    per_invoice = {inv["id"]: len(inv["items"]) for inv in invoices if inv["items"]}
    got_join = {r[0]: int(r[1]) for r in join.get("rows", [])}
    res.check(got_join == per_invoice, "invoices joined with their items, counted per invoice",
              f"got {len(got_join)} invoices")

    ids = sorted(set(p["id"] for p in plans) | set(h["id"] for h in hooks))
    res.check(sorted(r[0] for r in union.get("rows", [])) == ids, "UNION of plans and webhooks: each id once",
              f"{len(union.get('rows', []))} rows, {len(ids)} ids")

    cycles = sum(len(p.get("billing_cycles", [])) for p in plans)
    res.check(len(pjoin.get("rows", [])) == cycles, "plans joined with their billing cycles",
              f"{len(pjoin.get('rows', []))} rows, {cycles} cycles")
    # Each table scanned once: every page of the plan list is asked for once
    # per table, no page twice for one table, no keyed GET per plan.
    pages = collections.Counter(g for g in pjoin_gets)
    res.check(all(n == 2 for n in pages.values()) and all(p == "/v1/billing/plans" for p, _ in pages),
              "a join of two PayPal tables scans each table once", str(pjoin_gets))

    res.check(sorted(r[0] for r in inlist.get("rows", [])) == sorted(some), "IN list on the key finds its rows")
    keyed = sorted(p for p, _ in in_gets)
    want_keyed = sorted("/v2/invoicing/invoices/" + i for i in some + ["INV2-NONE"])
    res.check(keyed == want_keyed, "an IN list on a key column is one keyed GET per value", str(in_gets))
res.finish()
