#!/usr/bin/env python3
"""A test HTTP proxy: CONNECT tunnels to loopback only, with optional Basic or
Digest (RFC 7616 / 2617: MD5 and MD5-sess, qop auth and auth-int) proxy
authentication answered with 407.

Start:  python3 tools/emulator/test_proxy.py [--port 0] [--auth none|basic|digest]
        [--user U --password P] [--algorithm MD5|MD5-sess|...] [--qop auth|"auth,auth-int"|none]
        [--stale-once] [--close-on-407] [--log FILE]
Prints "PORT <n>" and "READY", then serves on 127.0.0.1 until killed (or until
standard input closes, with --exit-on-eof). Each CONNECT it receives is
appended to the log as one JSON line (request line, headers, verdict).
"""
import argparse
import base64
import hashlib
import json
import os
import secrets
import select
import socket
import socketserver
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import emu_http  # noqa: E402

LOOPBACK = {"127.0.0.1", "::1", "localhost", "[::1]"}


def md5(text):
    return hashlib.md5(text.encode("latin-1")).hexdigest()


def parse_digest(value):
    """Digest parameters of an Authorization value (after the scheme), with
    quoted strings and backslash escapes understood."""
    out = {}
    i, n = 0, len(value)
    while i < n:
        while i < n and value[i] in " ,\t":
            i += 1
        j = value.find("=", i)
        if j < 0:
            break
        name = value[i:j].strip().lower()
        i = j + 1
        if i < n and value[i] == '"':
            i += 1
            buf = []
            while i < n and value[i] != '"':
                if value[i] == "\\" and i + 1 < n:
                    i += 1
                buf.append(value[i])
                i += 1
            i += 1
            out[name] = "".join(buf)
        else:
            j = value.find(",", i)
            j = n if j < 0 else j
            out[name] = value[i:j].strip()
            i = j
    return out


class Proxy(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        emu_http.note_handler_error(self)


class Handler(socketserver.BaseRequestHandler):
    def log(self, req, verdict):
        cfg = self.server.cfg
        with self.server.lock:
            with open(cfg.log, "a") as f:
                f.write(json.dumps({"raw": req.raw.decode("latin-1"), "verdict": verdict,
                                    "headers": req.headers}) + "\n")

    def challenge(self, stale=False):
        cfg = self.server.cfg
        if cfg.auth == "basic":
            return 'Basic realm="emulator proxy"'
        nonce = secrets.token_hex(16)
        with self.server.lock:
            self.server.nonces.add(nonce)
        parts = ['Digest realm="emulator proxy"', 'nonce="%s"' % nonce,
                 'opaque="%s"' % self.server.opaque]
        if cfg.qop != "none":
            parts.append('qop="%s"' % cfg.qop)
        if cfg.algorithm:
            parts.append("algorithm=%s" % cfg.algorithm)
        if stale:
            parts.append("stale=true")
        return ", ".join(parts)

    def check(self, req, body_407):
        """Returns "ok", "missing", "bad" or "stale"."""
        cfg = self.server.cfg
        if cfg.auth == "none":
            return "ok"
        value = req.header("Proxy-Authorization")
        if not value:
            return "missing"
        scheme, _, rest = value.partition(" ")
        if cfg.auth == "basic":
            if scheme.lower() != "basic":
                return "bad"
            want = base64.b64encode(("%s:%s" % (cfg.user, cfg.password)).encode()).decode()
            return "ok" if rest.strip() == want else "bad"
        if scheme.lower() != "digest":
            return "bad"
        p = parse_digest(rest)
        if p.get("username") != cfg.user or p.get("uri") != req.target:
            return "bad"
        nonce = p.get("nonce", "")
        with self.server.lock:
            known = nonce in self.server.nonces
        if not known:
            return "bad"
        alg = (p.get("algorithm") or "MD5").lower()
        ha1 = md5("%s:%s:%s" % (cfg.user, p.get("realm", ""), cfg.password))
        if alg == "md5-sess":
            ha1 = md5("%s:%s:%s" % (ha1, nonce, p.get("cnonce", "")))
        elif alg != "md5":
            return "bad"
        qop = p.get("qop")
        if qop == "auth-int":
            ha2 = md5("CONNECT:%s:%s" % (req.target, hashlib.md5(b"").hexdigest()))
        else:
            ha2 = md5("CONNECT:%s" % req.target)
        if qop:
            want = md5("%s:%s:%s:%s:%s:%s" % (ha1, nonce, p.get("nc", ""), p.get("cnonce", ""),
                                              qop, ha2))
        else:
            want = md5("%s:%s:%s" % (ha1, nonce, ha2))
        if p.get("response") != want:
            return "bad"
        with self.server.lock:
            if cfg.stale_once and not self.server.stale_sent:
                self.server.stale_sent = True
                self.server.nonces.discard(nonce)
                return "stale"
        return "ok"

    def handle(self):
        cfg = self.server.cfg
        sock = self.request
        sock.settimeout(30)
        stream = sock.makefile("rb")
        while True:
            try:
                req = emu_http.read_request(stream)
            except (emu_http.HttpError, OSError):
                return
            if req is None:
                return
            host, _, port = req.target.rpartition(":")
            if req.method != "CONNECT" or host not in LOOPBACK or not port.isdigit():
                self.log(req, "forbidden")
                sock.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n"
                             b"Connection: close\r\n\r\n")
                return
            body_407 = b"<html><body>Proxy authentication required</body></html>"
            verdict = self.check(req, body_407)
            self.log(req, verdict)
            if verdict != "ok":
                close = cfg.close_on_407
                head = ("HTTP/1.1 407 Proxy Authentication Required\r\n"
                        "Proxy-Authenticate: %s\r\nContent-Type: text/html\r\n"
                        "Content-Length: %d\r\nConnection: %s\r\n\r\n" % (
                            self.challenge(verdict == "stale"), len(body_407),
                            "close" if close else "keep-alive"))
                sock.sendall(head.encode() + body_407)
                if close:
                    return
                continue
            try:
                upstream = socket.create_connection(
                    (host.strip("[]"), int(port)), timeout=10)
            except OSError:
                sock.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
                return
            sock.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            self.pump(sock, upstream)
            return

    def pump(self, a, b):
        a.settimeout(None)
        b.settimeout(None)
        try:
            while True:
                r, _, _ = select.select([a, b], [], [], 60)
                if not r:
                    return
                for s in r:
                    data = s.recv(65536)
                    if not data:
                        return
                    (b if s is a else a).sendall(data)
        except OSError:
            return
        finally:
            b.close()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--auth", default="none", choices=["none", "basic", "digest"])
    ap.add_argument("--user", default="proxyuser")
    ap.add_argument("--password", default="proxy-secret")
    ap.add_argument("--algorithm", default="MD5")
    ap.add_argument("--qop", default="auth")
    ap.add_argument("--stale-once", action="store_true")
    ap.add_argument("--close-on-407", action="store_true")
    ap.add_argument("--log", default=None)
    ap.add_argument("--exit-on-eof", action="store_true")
    cfg = ap.parse_args()
    if cfg.log is None:
        cfg.log = "proxy-%d.log" % os.getpid()
    open(cfg.log, "w").close()
    server = Proxy(("127.0.0.1", cfg.port), Handler)
    server.cfg = cfg
    server.lock = threading.Lock()
    server.nonces = set()
    server.opaque = secrets.token_hex(8)
    server.stale_sent = False
    print("PORT %d" % server.server_address[1])
    print("LOG %s" % cfg.log)
    print("READY", flush=True)
    emu_http.serve_until_stopped(server, cfg.exit_on_eof)


if __name__ == "__main__":
    main()
