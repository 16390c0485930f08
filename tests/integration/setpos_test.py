"""SQLSetPos and SQLBulkOperations through the driver manager against the
emulator: the C program setpos_rows makes the changes and checks what the
application sees; this script checks what reached PayPal: one PATCH with
the changed column only, one POST per added row with the published body,
one DELETE, and nothing for the refused changes."""
import json
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Results, c_client_run, parse_args  # noqa: E402

args = parse_args()
res = Results()

with c_client_run(args, "setpos_rows", timeout=180) as (emu, r):
    print(r.stdout)
    res.check(r.returncode == 0, "the C program's checks", r.stdout[-3000:] + r.stderr[-3000:])
    said = dict(line.split(" ", 1) for line in r.stdout.splitlines() if line.startswith(("updated ", "deleted ")))

    changes = []
    for e in emu.requests():
        if e["method"] in ("POST", "PATCH", "DELETE") and not e["path"].startswith("/v1/oauth2"):
            body = e["body"].encode("latin-1").decode("utf-8")
            changes.append((e["method"], e["path"], json.loads(body) if body else None))
    hooks = "/v1/notifications/webhooks"
    patches = [c for c in changes if c[0] == "PATCH"]
    res.check(patches[:1] == [("PATCH", f"{hooks}/{said.get('updated')}",
                               [{"op": "replace", "path": "/url", "value": "https://sp.example/b2"}])],
              "SQL_UPDATE: one PATCH of the changed column only (not the key, not a column cut at the fetch)",
              json.dumps(patches))
    res.check(patches[1:2] == [("PATCH", f"{hooks}/{said.get('deleted')}",
                                [{"op": "replace", "path": "/url", "value": "https://sp.example/a2"}])],
              "SQL_UPDATE with data at execution: the pieces joined", json.dumps(patches))
    res.check(patches[2:3] == [("PATCH", f"{hooks}/{said.get('updated')}",
                                [{"op": "replace", "path": "/url", "value": "https://sp.example/b3"}])],
              "UPDATE ... WHERE CURRENT OF the cursor: its current row", json.dumps(patches))
    res.check(patches[3:] == [("PATCH", f"{hooks}/{said.get('updated')}",
                               [{"op": "replace", "path": "/url", "value": "https://sp.example/b4"}])],
              "SQLSetPos over the block: the row after a failing one is still updated", json.dumps(patches))
    posts = [c[2] for c in changes if c[0] == "POST" and c[1] == hooks]
    res.check(posts[2:] == [{"url": "https://sp.example/new1", "event_types": [{"name": "SP.NEW1"}]},
                            {"url": "https://sp.example/new2", "event_types": [{"name": "SP.NEW2"}]}],
              "SQL_ADD: one POST per buffer entry behind the bind offset, the ignored id left out", json.dumps(posts))
    deletes = [c[1] for c in changes if c[0] == "DELETE"]
    res.check(deletes == [f"{hooks}/{said.get('deleted')}"], "SQL_DELETE: one DELETE; the vanished row sends none",
              json.dumps(deletes))
    res.check(not [c for c in changes if "/billing/plans/" in c[1]], "the refused plan update sent nothing",
              json.dumps(changes))

res.finish()
