"""Qt's QODBC on the driver: a small Qt program connects, lists the tables
and the record of Invoices, and runs a query; then it sends an invoice with a
prepared {call SendInvoice(?)}."""
import argparse
import os
import subprocess
import sys

from odbc_env import Emulator, PrivateOdbc, Results, run_child

p = argparse.ArgumentParser()
for a in ("--build", "--source", "--driver", "--client"):
    p.add_argument(a, required=True)
args = p.parse_args()
r = Results()
sys.path.insert(0, os.path.join(args.source, "tools", "emulator"))
import emu_data  # noqa: E402

if not os.path.exists("/usr/lib/x86_64-linux-gnu/qt5/plugins/sqldrivers/libqsqlodbc.so"):
    print("skip: Qt's ODBC plug-in (libqt5sql5-odbc) is not installed")
    r.check(False, "libqt5sql5-odbc is installed (tools/ci/install_deps.sh)")
    r.finish()

with Emulator(args.source, "--client-id", "cv", "--client-secret", "sec") as emu:
    odbc = PrivateOdbc(args.driver, dsns={
        "PAYPAL": {"client_id": "cv", "client_secret": "sec", "base_url": emu.base_url, "cert": emu.ca}})
    env = dict(odbc.env, QT_QPA_PLATFORM="offscreen")
    for query, what in (("SELECT SERVER_ATTRIBUTE FROM INFO_SCHEMA.SERVER_INFO", "an INFO_SCHEMA query"),
                        ("SELECT Id, Status FROM Invoices", "a PayPal query")):
        out = run_child([args.client, "PAYPAL", query], "the Qt client", env=env, timeout=120)
        lines = {l.split(" ", 1)[0]: l.split(" ", 1)[1] for l in out.stdout.splitlines() if " " in l}
        r.check(lines.get("OPEN") == "ok", f"QODBC connects ({what})", out.stdout + out.stderr)
        tables = lines.get("TABLES", "").split(" ", 1)
        r.check(tables[0] == "35" and "Invoices" in tables[1].split(","), "QODBC lists the 35 tables", out.stdout)
        record = lines.get("RECORD", "").split(" ", 1)
        r.check(int(record[0] or 0) > 20 and record[1].split(",")[0] == "Id", "QODBC reads the record of Invoices",
                out.stdout)
        r.check(lines.get("QUERY", "failed").split(" ")[0] != "failed", f"QODBC runs {what}",
                out.stdout + out.stderr)
        if "INFO_SCHEMA" in query:
            r.check(lines.get("QUERY") == "11 CATALOG_NAME", "the INFO_SCHEMA query's rows reach Qt", out.stdout)
        else:
            # The emulator's 45 invoices, every one, in its order.
            want = ",".join(inv["id"] for inv in emu_data.make_invoices(45, emu.base_url))
            r.check(lines.get("VALUES") == want, "the PayPal query returns the emulator's invoices to Qt",
                    out.stdout[-1500:])

    # A procedure call, prepared with its marker bound: the invoice is sent.
    draft = emu_data.make_invoices(45, emu.base_url)[0]["id"]
    out = run_child([args.client, "PAYPAL", "{call SendInvoice(?)}", draft], "the Qt client", env=env, timeout=120)
    lines = {l.split(" ", 1)[0]: l.split(" ", 1)[1] for l in out.stdout.splitlines() if " " in l}
    r.check(lines.get("QUERY") == f"1 {draft}", "QODBC calls SendInvoice and reads its row", out.stdout + out.stderr)
    sent = [q for q in emu.requests() if q["method"] == "POST" and q["path"] == f"/v2/invoicing/invoices/{draft}/send"]
    r.check(len(sent) == 1, "QODBC's call sent the invoice once", str(len(sent)))

r.finish()
