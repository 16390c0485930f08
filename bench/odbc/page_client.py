#!/usr/bin/env python3
"""The standard-library client a driver scan is measured against: one
page-numbered PayPal list read with http.client over one kept-alive
connection, asking for gzip as the driver does, every reply parsed with
json.loads and every row made a tuple of its columns' values (each column's
member path followed from the row object, None where a step is missing).

Run:  page_client.py BASE_URL ENDPOINT LIST_KEY PATHS REPEATS
      PATHS: the columns' member paths, ';' between columns and ',' between
      the members of one path (as the driver's catalogue writes them).
Prints "<rows> <cpu seconds>": the least process CPU time of REPEATS scans
after a warm-up (the token request left out); exit status 1 when a request
fails.
"""
import base64
import gzip
import http.client
import json
import resource
import sys
import urllib.parse


def cpu():
    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime


def value(obj, path):
    for member in path:
        if not isinstance(obj, dict):
            return None
        obj = obj.get(member)
    return obj


def main():
    base, endpoint, list_key, paths_text, repeats = sys.argv[1:6]
    paths = [tuple(p.split(",")) for p in paths_text.split(";")]
    url = urllib.parse.urlsplit(base)
    conn = http.client.HTTPConnection(url.hostname, url.port)
    basic = base64.b64encode(b"emu-client-id:emu-client-secret").decode()
    conn.request("POST", "/v1/oauth2/token", "grant_type=client_credentials",
                 {"Authorization": "Basic " + basic,
                  "Content-Type": "application/x-www-form-urlencoded"})
    token = json.loads(conn.getresponse().read())["access_token"]
    headers = {"Authorization": "Bearer " + token, "Accept-Encoding": "gzip"}

    def scan():
        rows, page = [], 1
        while True:
            conn.request("GET", "/%s?page=%d&page_size=20&total_required=true&fields=all"
                         % (endpoint, page), headers=headers)
            reply = conn.getresponse()
            body = reply.read()
            if reply.status != 200:
                sys.stderr.write("HTTP %d: %s\n" % (reply.status, body[:300]))
                sys.exit(1)
            if reply.getheader("Content-Encoding") == "gzip":
                body = gzip.decompress(body)
            data = json.loads(body)
            rows += [tuple(value(item, p) for p in paths) for item in data[list_key]]
            if page >= data.get("total_pages", 1):
                return rows
            page += 1

    scan()
    best, rows = 1e9, []
    for _ in range(int(repeats)):
        c0 = cpu()
        rows = scan()
        best = min(best, cpu() - c0)
    print(len(rows), best)
    return 0


if __name__ == "__main__":
    sys.exit(main())
