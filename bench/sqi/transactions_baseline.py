#!/usr/bin/env python3
"""The baseline a driver scan of Transactions is measured against: the same
transaction search read with the Python standard library only, window by
window (31 days at most) and page by page (500 rows), over one kept-alive
connection, every reply parsed and every row's id and amount read.

Run:  transactions_baseline.py --base-url http://127.0.0.1:PORT --start T --end T
      (Unix times, inclusive)  [--client-id ID --client-secret SECRET]
Prints one JSON line: {"rows": n, "requests": k, "seconds": s, "cpu": c} (wall
clock and this process's CPU seconds of the scan, the token request left
out); exit status 1 when a request fails.
"""
import argparse
import base64
import gzip
import http.client
import json
import sys
import time
import urllib.parse

WINDOW = 31 * 86400


def stamp(t):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(t))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--base-url", required=True)
    ap.add_argument("--start", type=int, required=True)
    ap.add_argument("--end", type=int, required=True)
    ap.add_argument("--client-id", default="emu-client-id")
    ap.add_argument("--client-secret", default="emu-client-secret")
    args = ap.parse_args()
    url = urllib.parse.urlsplit(args.base_url)
    cls = http.client.HTTPSConnection if url.scheme == "https" else http.client.HTTPConnection
    conn = cls(url.hostname, url.port)
    basic = base64.b64encode(("%s:%s" % (args.client_id, args.client_secret)).encode()).decode()
    conn.request("POST", "/v1/oauth2/token", "grant_type=client_credentials",
                 {"Authorization": "Basic " + basic,
                  "Content-Type": "application/x-www-form-urlencoded"})
    token = json.loads(conn.getresponse().read())["access_token"]
    headers = {"Authorization": "Bearer " + token, "Accept-Encoding": "gzip"}
    rows = requests = 0
    t0, c0 = time.perf_counter(), time.process_time()
    start = args.start
    while start <= args.end:
        end = min(start + WINDOW - 1, args.end)
        page = 1
        while True:
            # Every record, as the driver asks for them.
            query = urllib.parse.urlencode({"start_date": stamp(start), "end_date": stamp(end),
                                            "fields": "all", "page_size": 500, "page": page,
                                            "balance_affecting_records_only": "N"})
            conn.request("GET", "/v1/reporting/transactions?" + query, headers=headers)
            reply = conn.getresponse()
            body = reply.read()
            if reply.getheader("Content-Encoding") == "gzip":
                body = gzip.decompress(body)
            requests += 1
            if reply.status != 200:
                sys.stderr.write("HTTP %d: %s\n" % (reply.status, body[:300]))
                return 1
            data = json.loads(body)
            for d in data["transaction_details"]:
                info = d["transaction_info"]
                _ = (info["transaction_id"], info["transaction_amount"]["value"])
                rows += 1
            if page >= data.get("total_pages", 1):
                break
            page += 1
        start += WINDOW
    print(json.dumps({"rows": rows, "requests": requests,
                      "seconds": round(time.perf_counter() - t0, 4),
                      "cpu": round(time.process_time() - c0, 4)}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
