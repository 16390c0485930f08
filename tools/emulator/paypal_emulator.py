#!/usr/bin/env python3
"""PayPal REST API emulator for the driver's tests (Python standard library only).

Start:  python3 tools/emulator/paypal_emulator.py --state-dir DIR [--port 0] [--plain]
        [--cert good|expired|wronghost] [--client-id ID --client-secret SECRET]
        [--expires-in 32400] [--invoices 45] [--fault NAME] [--latency-ms N] [--handshake-ms N]
Prints "PORT <n>", "CA <path>", "LOG <path>" and "READY" on standard output,
then serves on 127.0.0.1 until killed (or until standard input closes, with
--exit-on-eof). Control requests (no token needed):
  GET /_emulator/control?fault=NAME&count=N&path=/prefix   arm a fault for the next N requests
  GET /_emulator/control?fault=NAME&every=N&count=K&path=/p  on every Nth request (K times)
      (&match=TEXT: only requests whose query string contains TEXT)
  GET /_emulator/control?latency_ms=N                      every API reply waits N ms
  GET /_emulator/control?idle_timeout=S                    a kept connection idle S seconds is closed
  GET /_emulator/control?handshake_ms=N                    every new connection's set-up waits N ms
  GET /_emulator/control?chunked=1|0&gzip=1|0&expires_in=N&slow=S&trickle=S&chunk_size=N&clear_log=1&reset=1
  GET /_emulator/control?tokens=1                           the access tokens issued
  GET /_emulator/control?empty_post=1|0                    successful POSTs answer 201 without a body
  GET /_emulator/created                                    [collection, id] of objects POSTed
  GET /_emulator/requests                                   the request log as JSON
  GET /_emulator/transactions?start=T&end=T                 generated transactions (Unix times),
      &balance_affecting_records_only=Y                     every record, or the balance-affecting ones
Faults: 429 (Retry-After from ?retry_after=S, default 2), 429_no_retry_after, any
other status of 400 to 599 (an error reply with it), reset, truncated_chunked, bad_gzip,
malformed_json, slow, close, drop, huge_length, trickle (the reply one byte every
`trickle` seconds, default 0.5), handler_raises.
"""
import argparse
import base64
import json
import os
import secrets
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import emu_certs  # noqa: E402
import emu_actions  # noqa: E402
import emu_changes  # noqa: E402
import emu_data  # noqa: E402
import emu_http  # noqa: E402
import emu_reporting  # noqa: E402
import emu_rows  # noqa: E402
import emu_tables  # noqa: E402
from emu_http import Reply  # noqa: E402


class State:
    """Everything the handlers share, under one lock."""

    def __init__(self, args, base):
        self.lock = threading.Lock()
        self.args = args
        self.client_id = args.client_id
        self.client_secret = args.client_secret
        self.expires_in = args.expires_in
        self.tokens = {}                  # token -> expiry (epoch seconds)
        self.invoices = emu_data.make_invoices(args.invoices, base)
        emu_rows.enrich_invoices(self.invoices)
        self.by_id = {inv["id"]: inv for inv in self.invoices}
        self.tables = emu_tables.Tables(base, {"plans": args.plans} if args.plans else None)
        self.base = base
        self.faults = []                  # [name, remaining count, path prefix, every N, seen, query text]
        self.request_ids = {}             # (path, PayPal-Request-Id) -> the first reply
        self.actions = []                 # [action, id] of every action done (emu_actions.py)
        self.empty_post = False           # successful POSTs answer 201 without a body
        self.connections = 0              # connections accepted (ids from 1)
        if args.fault:
            self.faults.append([args.fault, 1 << 30, "/", 1, 0, ""])
        self.latency = args.latency_ms / 1000.0   # seconds every API reply waits
        self.chunked = False
        self.gzip = True
        self.slow = 5.0
        self.trickle = 0.5
        self.retry_after = "2"            # Retry-After of the 429 fault
        self.chunk_size = 1000            # bytes per chunk of a chunked reply
        self.idle_timeout = 30.0          # seconds a kept connection may wait for its next request
        self.handshake = args.handshake_ms / 1000.0   # seconds each new connection's set-up waits
        self.log_path = args.log
        self.log_file = open(self.log_path, "a", encoding="utf-8")

    def take_fault(self, path, query=""):
        """The fault for this request: every armed fault whose prefix (and
        query text) matches counts the request; the first one due (its Nth request, while it has
        uses left) applies."""
        chosen = None
        with self.lock:
            for f in self.faults:
                if f[1] <= 0 or not path.startswith(f[2]) or f[5] not in query:
                    continue
                f[4] += 1
                if chosen is None and f[4] % f[3] == 0:
                    f[1] -= 1
                    chosen = f[0]
        return chosen

    def log(self, req, conn):
        entry = {"time": time.time(), "conn": conn, "method": req.method, "path": req.path,
                 "query": req.query, "headers": req.headers,
                 "body": req.body.decode("latin-1"), "raw": req.raw.decode("latin-1")}
        with self.lock:
            self.log_file.write(json.dumps(entry) + "\n")
            self.log_file.flush()


def _json(status, obj, headers=None):
    return Reply(status, json.dumps(obj, indent=None), headers=headers)


def _bad_param(field, value, issue, description):
    return _json(400, emu_data.error_body(
        "INVALID_REQUEST", "Request is not well-formed, syntactically incorrect, or violates "
        "schema.", [{"field": field, "value": value, "location": "query", "issue": issue,
                     "description": description}]))


def handle_control(state, req):
    q = urllib.parse.parse_qs(req.query)
    one = {k: v[-1] for k, v in q.items()}
    with state.lock:
        if one.get("reset") == "1":
            state.faults.clear()
            state.latency = state.args.latency_ms / 1000.0
            state.chunked = False
            state.chunk_size = 1000
            state.retry_after = "2"
            state.gzip = True
            state.expires_in = state.args.expires_in
            state.empty_post = False
            state.idle_timeout = 30.0
            state.handshake = state.args.handshake_ms / 1000.0
        if "fault" in one:
            state.faults.append([one["fault"], int(one.get("count", "1")),
                                 one.get("path", "/v2/"), max(1, int(one.get("every", "1"))), 0,
                                 one.get("match", "")])
        if "latency_ms" in one:
            state.latency = max(0, int(one["latency_ms"])) / 1000.0
        if "empty_post" in one:
            state.empty_post = one["empty_post"] == "1"
        if "chunked" in one:
            state.chunked = one["chunked"] == "1"
        if "gzip" in one:
            state.gzip = one["gzip"] == "1"
        if "expires_in" in one:
            state.expires_in = int(one["expires_in"])
        if "slow" in one:
            state.slow = float(one["slow"])
        if "chunk_size" in one:
            state.chunk_size = int(one["chunk_size"])
        if "retry_after" in one:
            state.retry_after = one["retry_after"]
        if "trickle" in one:
            state.trickle = float(one["trickle"])
        if "handshake_ms" in one:
            state.handshake = max(0, int(one["handshake_ms"])) / 1000.0
        if "idle_timeout" in one:
            state.idle_timeout = max(0.05, float(one["idle_timeout"]))
        if one.get("revoke_tokens") == "1":
            state.tokens.clear()
        if one.get("clear_log") == "1":
            state.log_file.truncate(0)
        if one.get("tokens") == "1":
            # The tokens issued so far, for tests that search logs for them.
            return _json(200, {"ok": True, "tokens": sorted(state.tokens)})
    return _json(200, {"ok": True})


def handle_requests(state):
    with state.lock:
        state.log_file.flush()
        with open(state.log_path, encoding="utf-8") as f:
            entries = [json.loads(line) for line in f if line.strip()]
    return _json(200, entries)


def handle_transactions(state, req):
    """Every generated transaction from ?start= to ?end= (Unix times,
    inclusive), oldest first, as [time, id, event code, currency, amount,
    cart items], and the time the data were made for; with
    ?balance_affecting_records_only=Y only those that change the balance."""
    q = {k: v[-1] for k, v in urllib.parse.parse_qs(req.query).items()}
    reporting = state.tables.reporting
    try:
        start, end = int(q.get("start", "0")), int(q.get("end", str(1 << 40)))
    except ValueError:
        return _json(400, {"error": "start and end are Unix times"})
    only = q.get("balance_affecting_records_only", "N") == "Y"
    return _json(200, {"now": reporting.now,
                       "transactions": emu_reporting.dump(reporting, start, end, only)})


def handle_token(state, req):
    if req.method != "POST":
        return _json(405, emu_data.error_body("METHOD_NOT_SUPPORTED",
                                               "The server does not implement the requested "
                                               "HTTP method."))
    auth = req.header("Authorization", "")
    ok = False
    if auth[:6].lower() == "basic ":
        try:
            user, _, pw = base64.b64decode(auth[6:].strip(), validate=True).decode(
                "utf-8").partition(":")
            ok = user == state.client_id and pw == state.client_secret
        except (ValueError, UnicodeDecodeError):
            ok = False
    if not ok:
        return _json(401, emu_data.token_invalid_client())
    params = urllib.parse.parse_qs(req.query)
    ctype = req.header("Content-Type", "")
    if req.body and ctype.startswith("application/x-www-form-urlencoded"):
        params.update(urllib.parse.parse_qs(req.body.decode("latin-1")))
    grant = params.get("grant_type", [None])[-1]
    if grant is None:
        return _json(400, {"error": "unsupported_grant_type",
                           "error_description": "Grant Type is NULL"})
    if grant != "client_credentials":
        return _json(400, {"error": "unsupported_grant_type",
                           "error_description": "Grant Type is not supported"})
    token = "A21AA" + secrets.token_urlsafe(60).replace("-", "x").replace("_", "y")
    with state.lock:
        expires = state.expires_in
        state.tokens[token] = time.time() + max(expires, 1)
    return _json(200, {
        "scope": "https://uri.paypal.com/services/invoicing "
                 "https://uri.paypal.com/services/disputes/read-buyer "
                 "https://uri.paypal.com/services/payments/realtimepayment",
        "access_token": token, "token_type": "Bearer",
        "app_id": "APP-80W284485P519543T", "expires_in": expires,
        "nonce": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime()) + secrets.token_hex(16)})


def _authorized(state, req):
    auth = req.header("Authorization", "")
    if auth[:7].lower() != "bearer ":
        return False
    with state.lock:
        expiry = state.tokens.get(auth[7:].strip())
    return expiry is not None and expiry > time.time()


def _int_param(q, name, default, low, high):
    text = q.get(name, [str(default)])[-1]
    try:
        value = int(text)
    except ValueError:
        return None, text
    if value < low or value > high:
        return None, text
    return value, text


def handle_invoices(state, req):
    if not _authorized(state, req):
        return _json(401, emu_data.auth_failure())
    if req.method != "GET":
        return _json(405, emu_data.error_body("METHOD_NOT_SUPPORTED",
                                               "The server does not implement the requested "
                                               "HTTP method."))
    rest = req.path[len("/v2/invoicing/invoices"):].strip("/")
    if rest:
        inv_id = urllib.parse.unquote(rest)
        inv = state.by_id.get(inv_id)
        if inv is None:
            return _json(404, emu_data.error_body(
                "RESOURCE_NOT_FOUND", "The specified resource does not exist.",
                [{"field": "invoice_id", "value": inv_id, "location": "path",
                  "issue": "INVALID_RESOURCE_ID",
                  "description": "Requested resource ID was not found."}]))
        return _json(200, inv)
    q = urllib.parse.parse_qs(req.query, keep_blank_values=True)
    page, text = _int_param(q, "page", 1, 1, 1000)
    if page is None:
        return _bad_param("page", text, "INVALID_PARAMETER_VALUE",
                          "The value of a field is invalid.")
    size, text = _int_param(q, "page_size", 20, 1, 100)
    if size is None:
        return _bad_param("page_size", text, "INVALID_PARAMETER_VALUE",
                          "The value of a field is invalid.")
    total = q.get("total_required", ["false"])[-1] == "true"
    return _json(200, emu_data.invoice_page(state.invoices, page, size, total, state.base))


def dispatch(state, req, conn):
    path = req.path
    if path == "/_emulator/control":
        return handle_control(state, req), False
    if path == "/_emulator/requests":
        return handle_requests(state), False
    if path == "/_emulator/transactions":
        return handle_transactions(state, req), False
    if path == "/_emulator/actions":
        with state.lock:
            return _json(200, list(state.actions)), False
    if path == "/_emulator/created":
        with state.lock:
            return _json(200, getattr(state.tables, "created", [])), False
    state.log(req, conn)
    if path == "/v1/oauth2/token":
        return handle_token(state, req), True
    action_reply = emu_actions.dispatch(state, req, _authorized(state, req))
    if action_reply is not None:
        return action_reply, True
    if path == "/v2/invoicing/invoices" or path.startswith("/v2/invoicing/invoices/"):
        return handle_invoices(state, req), True
    change_reply = emu_changes.dispatch(state, req, _authorized(state, req))
    if change_reply is not None:
        return change_reply, True
    table_reply = emu_tables.dispatch(state, req, _authorized(state, req))
    if table_reply is not None:
        return table_reply, True
    if not _authorized(state, req):
        return _json(401, emu_data.auth_failure()), True
    return _json(404, emu_data.error_body("RESOURCE_NOT_FOUND",
                                          "The specified resource does not exist.")), True


def _hard_close(sock):
    """Closes with a TCP reset (SO_LINGER 0), as a crashed server would."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    sock.close()


def send_reply(state, sock, req, reply, fault):
    """Writes the reply, applying a fault. Returns False when the connection
    must end."""
    want_gzip = state.gzip and "gzip" in req.header("Accept-Encoding", "").lower()
    keep = req.header("Connection", "").lower() != "close"
    if fault == "429":
        with state.lock:
            retry_after = state.retry_after
        reply = _json(429, emu_data.error_body("RATE_LIMIT_REACHED", "Too many requests. "
                                               "Blocked due to rate limiting."),
                      headers=[("Retry-After", retry_after)])
    elif fault == "429_no_retry_after":
        reply = _json(429, emu_data.error_body("RATE_LIMIT_REACHED", "Too many requests. "
                                               "Blocked due to rate limiting."))
    elif fault == "500":
        reply = _json(500, emu_data.error_body("INTERNAL_SERVER_ERROR", "An internal server "
                                               "error occurred."))
    elif fault and fault.isdigit() and 400 <= int(fault) <= 599:
        reply = _json(int(fault), emu_data.error_body(
            "SERVICE_UNAVAILABLE" if fault == "503" else "FAULT_%s" % fault,
            "Service Unavailable (emulated %s)." % fault))
    elif fault == "malformed_json":
        reply = Reply(200, b'{"total_items": 3, "items": [{"id": "INV2-')
    elif fault == "slow":
        time.sleep(state.slow)
    elif fault == "drop":
        _hard_close(sock)
        return False
    elif fault == "handler_raises":
        # Stands for a bug in a handler: the process must end with status 70.
        raise RuntimeError("fault injected: a request handler raised")
    if fault == "close":
        reply.close = True
    with state.lock:
        chunked = state.chunked
        chunk_size = state.chunk_size
    reply.headers.append(("Paypal-Debug-Id", emu_data.debug_id()))
    head, body = emu_http.encode_reply(reply, want_gzip, chunked, keep, chunk_size)
    if fault == "bad_gzip":
        junk = b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03" + b"\xff" * 40 + b"\x00" * 8
        head = (b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                b"Content-Encoding: gzip\r\nContent-Length: %d\r\n\r\n" % len(junk))
        body = junk
    elif fault == "huge_length":
        head = (b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                b"Content-Length: 99999999999\r\n\r\n")
        body = b"{}"
    elif fault == "truncated_chunked":
        head = (b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                b"Transfer-Encoding: chunked\r\n\r\n")
        sock.sendall(head + b"40\r\n" + b'{"items": [' + b" " * 20)
        _hard_close(sock)
        return False
    if fault == "trickle":
        # A server that never stops sending and never finishes: the client's
        # deadline for the whole reply must end it.
        with state.lock:
            pause = state.trickle
        for i in range(len(head + body)):
            sock.sendall((head + body)[i:i + 1])
            time.sleep(pause)
        return False
    if fault == "reset":
        sock.sendall(head + body[:max(1, len(body) // 2)])
        time.sleep(0.05)
        _hard_close(sock)
        return False
    sock.sendall(head + body)
    if fault == "close" or not keep or reply.close:
        return False
    return True


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        state = self.server.state
        sock = self.request
        sock.settimeout(30)
        with state.lock:
            state.connections += 1
            conn = state.connections
            handshake = state.handshake
        if handshake > 0:
            # The round trips of a distant server's TCP and TLS set-up: the
            # client waits this long before its first request can go.
            time.sleep(handshake)
        if self.server.tls is not None:
            try:
                sock = self.server.tls.wrap_socket(sock, server_side=True)
            except (ssl.SSLError, OSError):
                return      # the client refused our certificate, or went away
        stream = sock.makefile("rb")
        try:
            while True:
                # A kept connection idle longer than this is closed without a
                # word, as a server's keep-alive time-out does.
                with state.lock:
                    sock.settimeout(state.idle_timeout)
                try:
                    req = emu_http.read_request(stream)
                except emu_http.HttpError as e:
                    sock.sendall(emu_http.encode_reply(Reply(400, str(e), "text/plain"),
                                                       False, False, False)[0])
                    return
                if req is None:
                    return
                reply, faultable = dispatch(state, req, conn)
                fault = state.take_fault(req.path, req.query) if faultable else None
                if faultable:
                    with state.lock:
                        latency = state.latency
                    if latency > 0:
                        # A distant server: each reply waits on its own
                        # connection, so parallel requests overlap their waits.
                        time.sleep(latency)
                if not send_reply(state, sock, req, reply, fault):
                    return
        except (OSError, ssl.SSLError):
            return      # the client went away
        except Exception:
            # Counted before the socket closes: the test may stop us as soon
            # as it sees the connection end.
            emu_http.note_handler_error(self.server)
            return
        finally:
            try:
                stream.close()
                sock.close()
            except OSError:
                pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def handle_error(self, request, client_address):
        emu_http.note_handler_error(self)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--state-dir", default=".emulator")
    ap.add_argument("--plain", action="store_true", help="serve plain HTTP")
    ap.add_argument("--cert", default="good", choices=["good", "expired", "wronghost"])
    ap.add_argument("--client-id", default="emu-client-id")
    ap.add_argument("--client-secret", default="emu-client-secret")
    ap.add_argument("--expires-in", type=int, default=32400)
    ap.add_argument("--invoices", type=int, default=45)
    ap.add_argument("--plans", type=int, default=0, help="billing plans served (default 45)")
    ap.add_argument("--fault", default=None, help="a fault applied to every request")
    ap.add_argument("--latency-ms", type=int, default=0,
                    help="milliseconds every API reply waits (a distant server)")
    ap.add_argument("--handshake-ms", type=int, default=0,
                    help="milliseconds each new connection's set-up waits (a distant server)")
    ap.add_argument("--log", default=None, help="request log (JSON lines)")
    ap.add_argument("--exit-on-eof", action="store_true",
                    help="stop when standard input closes")
    args = ap.parse_args()
    if args.host not in ("127.0.0.1", "::1", "localhost"):
        ap.error("the emulator serves loopback only")
    os.makedirs(args.state_dir, exist_ok=True)
    if args.log is None:
        args.log = os.path.join(args.state_dir, "requests-%d.log" % os.getpid())
    tls = None
    paths = None
    if not args.plain:
        paths = emu_certs.ensure_certs(args.state_dir)
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.minimum_version = ssl.TLSVersion.TLSv1_2
        cert, key = paths[args.cert]
        tls.load_cert_chain(cert, key)
    open(args.log, "w").close()
    server = Server((args.host, args.port), Handler)
    port = server.server_address[1]
    scheme = "http" if args.plain else "https"
    server.state = State(args, "%s://127.0.0.1:%d" % (scheme, port))
    server.tls = tls
    print("PORT %d" % port)
    if paths:
        print("CA %s" % paths["ca"])
    print("LOG %s" % args.log)
    print("READY", flush=True)
    emu_http.serve_until_stopped(server, args.exit_on_eof)


if __name__ == "__main__":
    main()
