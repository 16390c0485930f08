#!/usr/bin/env python3
"""Self-test of the emulator and the test proxy with the standard library's
own HTTP client: token in the query and in a form body, PayPal's error
shapes, paging and links, gzip and chunked replies, the request log, a
Digest CONNECT through the proxy, and cached certificates made again before
they expire. Exit status 0 when every check passes.

Run:  python3 tools/emulator/selftest.py --state-dir DIR
"""
import argparse
import base64
import gzip
import hashlib
import http.client
import json
import os
import socket
import ssl
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def start(script, args):
    p = subprocess.Popen([sys.executable, os.path.join(HERE, script), "--exit-on-eof"] + args,
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    info = {}
    for line in p.stdout:
        word, _, value = line.strip().partition(" ")
        if word == "READY":
            break
        info[word] = value
    return p, info


def check(cond, what):
    if not cond:
        print("FAIL:", what)
        sys.exit(1)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--state-dir", required=True)
    args = ap.parse_args()
    emu, info = start("paypal_emulator.py", ["--state-dir", args.state_dir, "--invoices", "45"])
    try:
        port = int(info["PORT"])
        ctx = ssl.create_default_context(cafile=info["CA"])
        conn = http.client.HTTPSConnection("localhost", port, context=ctx)
        basic = "Basic " + base64.b64encode(b"emu-client-id:emu-client-secret").decode()

        def call(method, path, body=None, headers=None):
            conn.request(method, path, body=body, headers=headers or {})
            r = conn.getresponse()
            data = r.read()
            if r.getheader("Content-Encoding") == "gzip":
                data = gzip.decompress(data)
            return r, json.loads(data) if data else None

        r, tok = call("POST", "/v1/oauth2/token", "grant_type=client_credentials",
                      {"Authorization": basic,
                       "Content-Type": "application/x-www-form-urlencoded"})
        check(r.status == 200 and tok["token_type"] == "Bearer", "token from a form body")
        for key in ("scope", "access_token", "app_id", "expires_in", "nonce"):
            check(key in tok, "token member " + key)
        r, err = call("POST", "/v1/oauth2/token?grant_type=client_credentials",
                      headers={"Authorization": "Basic eDp5"})
        check(r.status == 401 and err == {"error": "invalid_client",
                                          "error_description": "Client Authentication failed"},
              "wrong credentials")
        bearer = {"Authorization": "Bearer " + tok["access_token"], "Accept-Encoding": "gzip"}
        r, err = call("GET", "/v2/invoicing/invoices", headers={"Authorization": "Bearer nope"})
        check(r.status == 401 and err["name"] == "AUTHENTICATION_FAILURE" and "debug_id" in err
              and err["links"], "missing token")
        r, page = call("GET", "/v2/invoicing/invoices?page=3&page_size=20&total_required=true",
                       headers=bearer)
        check(r.status == 200 and page["total_items"] == 45 and page["total_pages"] == 3
              and len(page["items"]) == 5, "third page")
        check({l["rel"] for l in page["links"]} >= {"self", "first", "prev"}, "page links")
        inv = page["items"][0]
        check(inv["amount"]["value"].count(".") == 1 and inv["amount"]["currency_code"] == "USD",
              "amount shape")
        r, one = call("GET", "/v2/invoicing/invoices/" + inv["id"], headers=bearer)
        check(r.status == 200 and one["id"] == inv["id"], "single invoice")
        r, err = call("GET", "/v2/invoicing/invoices?page_size=500", headers=bearer)
        check(r.status == 400 and err["details"][0]["field"] == "page_size", "page_size limit")
        # The transaction search: 31 days at most, three years of history,
        # pages of up to 500, bounds inclusive.
        r, now = call("GET", "/_emulator/transactions?start=0&end=0")
        day = int(now["now"]) // 86400 * 86400 - 40 * 86400

        def stamp(t):
            return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(t))

        search = "/v1/reporting/transactions?fields=all&start_date=%s&end_date=%s"
        r, err = call("GET", search % (stamp(day), stamp(day + 31 * 86400 + 1)), headers=bearer)
        check(r.status == 400 and err["details"][0]["description"] ==
              "Date range is greater than 31 days", "31-day limit")
        r, err = call("GET", search % (stamp(day - 1200 * 86400), stamp(day - 1190 * 86400)),
                      headers=bearer)
        check(r.status == 400 and err["message"] == "Data for the given start date is not "
              "available.", "three years of history")
        r, err = call("GET", "/v1/reporting/transactions?start_date=" + stamp(day), headers=bearer)
        check(r.status == 400 and err["details"][0]["field"] == "end_date", "end_date required")
        r, page = call("GET", search % (stamp(day), stamp(day + 31 * 86400)) + "&page_size=7&page=2",
                       headers=bearer)
        check(r.status == 200 and page["page"] == 2 and len(page["transaction_details"]) == 7 and
              page["total_pages"] == (page["total_items"] + 6) // 7, "transaction pages")
        r, dump = call("GET", "/_emulator/transactions?start=%d&end=%d&balance_affecting_records_only=Y"
                       % (day, day + 31 * 86400))
        check(len(dump["transactions"]) == page["total_items"],
              "the search reads every day, by default the balance-affecting records")
        r, every = call("GET", "/_emulator/transactions?start=%d&end=%d" % (day, day + 31 * 86400))
        r, page = call("GET", search % (stamp(day), stamp(day + 31 * 86400)) +
                       "&balance_affecting_records_only=N&page_size=1", headers=bearer)
        check(page["total_items"] == len(every["transactions"]) > len(dump["transactions"]),
              "balance_affecting_records_only=N: every record")
        r, err = call("GET", search % (stamp(day), stamp(day + 86400)) + "&balance_affecting_records_only=y",
                      headers=bearer)
        check(r.status == 400 and err["details"][0]["field"] == "balance_affecting_records_only",
              "balance_affecting_records_only takes Y or N")
        first = dump["transactions"][0]
        r, one = call("GET", search % (stamp(first[0]), stamp(first[0])), headers=bearer)
        check([d["transaction_info"]["transaction_id"] for d in one["transaction_details"]][:1] ==
              [first[1]], "a transaction on both bounds")
        r, bal = call("GET", "/v1/reporting/balances?as_of_time=2030-01-01T00:00:00Z", headers=bearer)
        check(r.status == 200 and bal["as_of_time"] == bal["last_refresh_time"] and len(bal["balances"]) == 3,
              "balances after the last refresh are the refresh's")
        r, bal = call("GET", "/v1/reporting/balances?as_of_time=2024-01-01T00:00:00Z", headers=bearer)
        check(bal["as_of_time"] == "2024-01-01T00:00:00Z", "balances at an earlier time are for that time")
        r, page = call("GET", "/v1/catalogs/products?page_size=20&page=2&total_required=true",
                       headers=bearer)
        check(r.status == 200 and len(page["products"]) == 5 and page["total_items"] == 25 and
              "type" not in page["products"][0], "product list")
        r, one = call("GET", "/v1/catalogs/products/" + page["products"][0]["id"], headers=bearer)
        check(r.status == 200 and "type" in one and "update_time" in one, "single product")
        call("GET", "/_emulator/control?chunked=1")
        r, page = call("GET", "/v2/invoicing/invoices", headers=bearer)
        check(r.getheader("Transfer-Encoding") == "chunked" and len(page["items"]) == 20,
              "chunked reply")
        call("GET", "/_emulator/control?reset=1")
        r, log = call("GET", "/_emulator/requests")
        check(log[-1]["path"] == "/v2/invoicing/invoices" and
              log[-1]["raw"].startswith("GET /v2/invoicing/invoices HTTP/1.1\r\n"), "request log")

        proxy, pinfo = start("test_proxy.py", ["--auth", "digest", "--algorithm", "MD5-sess",
                                               "--log", os.path.join(args.state_dir,
                                                                     "selftest-proxy.log")])
        try:
            s = socket.create_connection(("127.0.0.1", int(pinfo["PORT"])))
            target = "localhost:%d" % port
            s.sendall(("CONNECT %s HTTP/1.1\r\nHost: %s\r\n\r\n" % (target, target)).encode())
            head = s.recv(4096).decode()
            check(head.startswith("HTTP/1.1 407"), "proxy challenge")
            chal = [l for l in head.split("\r\n") if l.startswith("Proxy-Authenticate:")][0]
            params = dict(p.strip().split("=", 1) for p in chal.split(" ", 2)[2].split(","))
            nonce = params["nonce"].strip('"')
            realm = params["realm"].strip('"')
            md5 = lambda t: hashlib.md5(t.encode()).hexdigest()
            ha1 = md5(md5("proxyuser:%s:proxy-secret" % realm) + ":%s:abcd" % nonce)
            resp = md5("%s:%s:00000001:abcd:auth:%s" % (ha1, nonce, md5("CONNECT:" + target)))
            auth = ('Digest username="proxyuser", realm="%s", nonce="%s", uri="%s", '
                    'algorithm=MD5-sess, qop=auth, nc=00000001, cnonce="abcd", response="%s", '
                    'opaque=%s' % (realm, nonce, target, resp, params["opaque"]))
            s.sendall(("CONNECT %s HTTP/1.1\r\nProxy-Authorization: %s\r\n\r\n" %
                       (target, auth)).encode())
            check(s.recv(4096).startswith(b"HTTP/1.1 200"), "proxy Digest MD5-sess")
            s.close()
        finally:
            proxy.stdin.close()
            check(proxy.wait(10) == 0, "the proxy's handlers ran without raising")
    finally:
        emu.stdin.close()
        code = emu.wait(10)
    check(code == 0, "the emulator's handlers ran without raising (status %d)" % code)

    # A handler that raises is reported: traceback on stderr, status 70.
    emu, info = start("paypal_emulator.py", ["--state-dir", args.state_dir, "--plain",
                                             "--fault", "handler_raises"])
    try:
        conn = http.client.HTTPConnection("127.0.0.1", int(info["PORT"]), timeout=10)
        try:
            conn.request("GET", "/v2/invoicing/invoices")
            conn.getresponse().read()
            check(False, "a raising handler still answered")
        except (http.client.HTTPException, OSError):
            pass
    finally:
        emu.stdin.close()
        code = emu.wait(10)
    check(code == 70, "a raising handler ends the emulator with status 70 (got %d)" % code)
    check_cert_renewal()
    print("emulator self-test passed")


def check_cert_renewal():
    """Cached certificates are reused, and made again once one of them has
    less than 30 days left."""
    import tempfile
    sys.path.insert(0, HERE)
    import emu_certs
    with tempfile.TemporaryDirectory() as d:
        paths = emu_certs.ensure_certs(d)
        good = paths["good"][0]
        with open(good, "rb") as f:
            first = f.read()
        check(not emu_certs.expires_within(good, emu_certs.RENEW_SECONDS), "a new certificate has months left")
        emu_certs.ensure_certs(d)
        with open(good, "rb") as f:
            check(f.read() == first, "valid cached certificates are reused")
        # A good certificate with ten days left, as a long-lived build tree ends up with.
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-keyout", paths["good"][1], "-out", good, "-days", "10",
                        "-subj", "/CN=localhost"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(emu_certs.expires_within(good, emu_certs.RENEW_SECONDS), "the planted certificate ends within 30 days")
        emu_certs.ensure_certs(d)
        check(not emu_certs.expires_within(good, emu_certs.RENEW_SECONDS),
              "a certificate with under 30 days left is made again")


if __name__ == "__main__":
    main()
