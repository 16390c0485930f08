"""A small HTTP/1.1 server core for the emulator and the test proxy.

Reads requests exactly as sent (so the request log holds the client's bytes),
keeps connections alive, and writes replies with Content-Length, chunked
transfer or gzip. Every size read from a client is limited.

A request handler that raises is a fault of the server itself: its traceback
goes to standard error and the process ends with HANDLER_ERROR_STATUS, so the
test that started it fails instead of taking the dropped connection for an
expected fault.

Exports: HttpError, read_request(stream), Reply, write_reply(sock, reply, ...),
note_handler_error(server), serve_until_stopped(server, exit_on_eof),
HANDLER_ERROR_STATUS.
"""
import gzip
import io
import os
import signal
import sys
import threading
import traceback

MAX_LINE = 16384
MAX_HEAD = 65536
MAX_BODY = 4 * 1024 * 1024


class HttpError(Exception):
    """A request that cannot be read; the connection is dropped."""


class Request:
    def __init__(self):
        self.method = ""
        self.target = ""
        self.version = ""
        self.headers = []        # [(name, value)] in the order received
        self.body = b""
        self.raw = b""           # head and body exactly as received

    def header(self, name, default=None):
        lname = name.lower()
        for n, v in self.headers:
            if n.lower() == lname:
                return v
        return default

    @property
    def path(self):
        return self.target.split("?", 1)[0]

    @property
    def query(self):
        return self.target.split("?", 1)[1] if "?" in self.target else ""


def _readline(stream):
    line = stream.readline(MAX_LINE + 1)
    if len(line) > MAX_LINE:
        raise HttpError("line too long")
    return line


def read_request(stream):
    """Reads one request from a buffered binary stream. Returns None at a
    clean end of the connection; raises HttpError on malformed input.
    Bare LF line ends are accepted as well as CRLF."""
    req = Request()
    raw = io.BytesIO()
    line = _readline(stream)
    while line in (b"\r\n", b"\n"):   # tolerate blank lines between requests
        line = _readline(stream)
    if not line:
        return None
    raw.write(line)
    parts = line.decode("latin-1").rstrip("\r\n").split(" ")
    if len(parts) != 3:
        raise HttpError("bad request line")
    req.method, req.target, req.version = parts
    total = len(line)
    while True:
        line = _readline(stream)
        if not line:
            raise HttpError("connection closed in header")
        total += len(line)
        if total > MAX_HEAD:
            raise HttpError("header too large")
        raw.write(line)
        text = line.decode("latin-1").rstrip("\r\n")
        if text == "":
            break
        if ":" not in text:
            raise HttpError("bad header line")
        name, value = text.split(":", 1)
        req.headers.append((name.strip(), value.strip()))
    length = req.header("Content-Length")
    if req.header("Transfer-Encoding", "").lower().startswith("chunked"):
        body = io.BytesIO()
        while True:
            size_line = _readline(stream)
            raw.write(size_line)
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            if size == 0:
                raw.write(_readline(stream))
                break
            if body.tell() + size > MAX_BODY:
                raise HttpError("body too large")
            chunk = stream.read(size)
            raw.write(chunk)
            body.write(chunk)
            raw.write(_readline(stream))
        req.body = body.getvalue()
    elif length is not None:
        try:
            n = int(length)
        except ValueError:
            raise HttpError("bad Content-Length")
        if n < 0 or n > MAX_BODY:
            raise HttpError("bad Content-Length")
        req.body = stream.read(n)
        if len(req.body) != n:
            raise HttpError("short body")
        raw.write(req.body)
    req.raw = raw.getvalue()
    return req


REASONS = {200: "OK", 201: "Created", 204: "No Content", 400: "Bad Request",
           401: "Unauthorized", 403: "Forbidden", 404: "Not Found",
           405: "Method Not Allowed", 407: "Proxy Authentication Required",
           422: "Unprocessable Entity", 429: "Too Many Requests",
           500: "Internal Server Error", 502: "Bad Gateway", 503: "Service Unavailable"}


class Reply:
    def __init__(self, status, body=b"", content_type="application/json", headers=None):
        self.status = status
        self.body = body if isinstance(body, bytes) else body.encode("utf-8")
        self.content_type = content_type
        self.headers = list(headers or [])
        self.close = False


def encode_reply(reply, gzip_ok, chunked, keep_alive, chunk_size=1000):
    """The bytes of a reply: returns (head bytes, body bytes already framed)."""
    body = reply.body
    head = ["HTTP/1.1 %d %s" % (reply.status, REASONS.get(reply.status, "Unknown"))]
    if reply.content_type and body:
        head.append("Content-Type: " + reply.content_type)
    head.extend("%s: %s" % (n, v) for n, v in reply.headers)
    if gzip_ok and body:
        body = gzip.compress(body, mtime=0)
        head.append("Content-Encoding: gzip")
    if chunked:
        head.append("Transfer-Encoding: chunked")
        framed = b""
        step = max(1, chunk_size)
        for i in range(0, len(body), step):
            piece = body[i:i + step]
            framed += b"%x\r\n" % len(piece) + piece + b"\r\n"
        framed += b"0\r\n\r\n"
    else:
        head.append("Content-Length: %d" % len(body))
        framed = body
    head.append("Connection: " + ("keep-alive" if keep_alive and not reply.close else "close"))
    return ("\r\n".join(head) + "\r\n\r\n").encode("latin-1"), framed


HANDLER_ERROR_STATUS = 70
_errors_lock = threading.Lock()


def note_handler_error(server):
    """For a server's handle_error: prints the handler's traceback and counts it."""
    traceback.print_exc(file=sys.stderr)
    sys.stderr.flush()
    with _errors_lock:
        server.handler_errors = getattr(server, "handler_errors", 0) + 1


def _exit_status(server):
    errors = getattr(server, "handler_errors", 0)
    if errors:
        sys.stderr.write("%d request handler(s) raised: see the traceback(s) above\n" % errors)
        sys.stderr.flush()
        return HANDLER_ERROR_STATUS
    return 0


def serve_until_stopped(server, exit_on_eof):
    """Serves until interrupted or terminated; with exit_on_eof, also until
    standard input closes, so a test that started the server stops it by
    closing the pipe. Ends the process with 0, or HANDLER_ERROR_STATUS when a
    handler raised."""
    signal.signal(signal.SIGTERM, lambda *_: os._exit(_exit_status(server)))
    if exit_on_eof:
        def watch():
            sys.stdin.read()
            os._exit(_exit_status(server))
        threading.Thread(target=watch, daemon=True).start()
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    sys.stdout.flush()
    os._exit(_exit_status(server))
