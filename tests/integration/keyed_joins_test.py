"""Joins whose inner table PayPal serves only by its parent's id (the invoice
child tables, dispute details) through pyodbc against the emulator: every
form that gives the key from the outer rows returns the emulator's rows, and
the request log shows one keyed GET per distinct key the outer filters keep
(each list page once); a query that gives no key is still refused."""
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
try:
    cur.execute(sys.argv[1])
    print(json.dumps({"rows": [[str(v) if v is not None else None for v in r] for r in cur.fetchall()]}))
except Exception as e:
    print(json.dumps({"error": str(e)}))
'''

INVOICES = "/v2/invoicing/invoices"
DISPUTES = "/v1/customer/disputes"

res = Results()
with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    invoices = emu_data.make_invoices(45, emu.base_url)
    emu_rows.enrich_invoices(invoices)
    disputes = emu_rows.make_rows(emu.base_url)["disputes"]
    odbc = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}})

    def ids(status=None):
        return [inv["id"] for inv in invoices if status is None or inv["status"] == status]

    def items(status=None):
        return [[inv["id"], it["name"]] for inv in invoices if status is None or inv["status"] == status
                for it in inv["items"]]

    def attachments(inv):
        return [a["id"] for a in inv["detail"].get("attachments", [])]

    def keyed(paths, prefix):
        return collections.Counter(p[len(prefix) + 1:] for p in paths if p.startswith(prefix + "/"))

    # (what, query, expected rows, the keyed GETs: id -> count, the list read first)
    cases = [
        ("JOIN ON with a filter on the invoice in WHERE",
         "SELECT i.Id, it.ItemName FROM Invoices i JOIN InvoiceItems it ON it.Id = i.Id WHERE i.Status = 'PAID'",
         items("PAID"), collections.Counter(ids("PAID")), INVOICES),
        ("the child table first in an inner join",
         "SELECT i.Id, it.ItemName FROM InvoiceItems it JOIN Invoices i ON i.Id = it.Id WHERE i.Status = 'SENT'",
         items("SENT"), collections.Counter(ids("SENT")), INVOICES),
        ("LEFT JOIN: invoices without attachments NULL-extended",
         "SELECT i.Id, a.DetailAttachmentIds FROM Invoices i LEFT JOIN InvoiceDetailAttachments a ON a.Id = i.Id",
         [[inv["id"], a] for inv in invoices for a in (attachments(inv) or [None])],
         collections.Counter(ids()), INVOICES),
        ("LEFT JOIN with a filter on the invoice in ON",
         "SELECT i.Id, it.ItemName FROM Invoices i LEFT JOIN InvoiceItems it ON it.Id = i.Id AND i.Status = 'DRAFT'",
         items("DRAFT") + [[i, None] for i in ids() if i not in ids("DRAFT")],
         collections.Counter(ids("DRAFT")), INVOICES),
        ("comma join with a filter on the invoice",
         "SELECT i.Id, it.ItemName FROM Invoices i, InvoiceItems it WHERE it.Id = i.Id AND i.Status = 'PAID'",
         items("PAID"), collections.Counter(ids("PAID")), INVOICES),
        ("comma join, child table first, grouped",
         "SELECT i.Id, COUNT(*) FROM InvoiceItems it, Invoices i WHERE it.Id = i.Id GROUP BY i.Id",
         [[inv["id"], str(len(inv["items"]))] for inv in invoices if inv["items"]],
         collections.Counter(ids()), INVOICES),
        ("three tables, the key through the middle table",
         "SELECT i.Id, it.ItemName, a.DetailAttachmentIds FROM InvoiceDetailAttachments a, InvoiceItems it, "
         "Invoices i WHERE a.Id = it.Id AND it.Id = i.Id AND i.Status = 'SENT'",
         [[inv["id"], it["name"], a] for inv in invoices if inv["status"] == "SENT"
          for it in inv["items"] for a in attachments(inv)],
         collections.Counter({i: 2 for i in ids("SENT")}), INVOICES),
        ("a detail table read by id",
         "SELECT d.DisputeId, dd.Reason FROM Disputes d, DisputeDetails dd "
         "WHERE dd.DisputeId = d.DisputeId AND d.StartTime >= {ts '2020-01-01 00:00:00'}",
         [[d["dispute_id"], d["reason"]] for d in disputes],
         collections.Counter(d["dispute_id"] for d in disputes), DISPUTES),
    ]
    for what, sql, want, want_keyed, listed in cases:
        before = len(emu.requests())
        run = odbc.run(["/usr/bin/python3", "-c", SCRIPT, sql], timeout=120)
        try:
            got = json.loads(run.stdout.strip().splitlines()[-1])
        except (ValueError, IndexError):
            got = {"error": run.stdout[-1000:] + run.stderr[-1000:]}
        gets = [(r.get("path"), r.get("query", "")) for r in emu.requests()[before:] if r.get("method") == "GET"]
        paths = [p for p, _ in gets]
        rows = got.get("rows")
        res.check(rows is not None and sorted(rows, key=str) == sorted(want, key=str), what,
                  got.get("error", "") or f"got {len(rows or [])} rows, want {len(want)}")
        res.check(keyed(paths, listed) == want_keyed,
                  f"{what}: one keyed GET per distinct key the filters keep",
                  f"got {sum(keyed(paths, listed).values())}, want {sum(want_keyed.values())}")
        pages = collections.Counter(g for g in gets if g[0] == listed)
        res.check(pages and all(n == 1 for n in pages.values()), f"{what}: each list page read once", str(pages))

    # No key from any row: the provider's refusal names the column.
    before = len(emu.requests())
    run = odbc.run(["/usr/bin/python3", "-c", SCRIPT,
                    "SELECT i.Id FROM Invoices i, InvoiceItems it WHERE it.ItemName = i.Status"], timeout=120)
    got = json.loads(run.stdout.strip().splitlines()[-1])
    res.check("Field 'Id' must be specified in query" in got.get("error", ""),
              "a join giving the child table no key is refused", str(got)[:300])
    res.check(not [r for r in emu.requests()[before:] if r.get("path", "").startswith(INVOICES + "/")],
              "a refused join sends no keyed GET")
res.finish()
