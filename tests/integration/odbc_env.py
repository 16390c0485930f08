"""Shared set-up for tests that run real ODBC clients against the driver.

Each test gets a private directory holding odbcinst.ini and odbc.ini that
register the driver under test; unixODBC is pointed at them through
ODBCSYSINI / ODBCINSTINI / ODBCINI, so nothing under /etc is read or written.

Every client child (pyodbc and ctypes scripts, isql, the Qt client,
soffice) goes through check_child: it must end with the status the test
expects (0 unless told otherwise) and its standard error must hold no
sanitizer report, so that teardown (disconnect, free, unload) in the
sanitizer tree is checked too. A failure raises ClientFailed, which fails
the test.
"""
import argparse
import contextlib
import os
import subprocess
import sys
import tempfile

DRIVER_NAME = "Corvane PAYPAL ODBC Driver"

# What ASan, UBSan and TSan print when they find something.
SANITIZER_REPORTS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "ThreadSanitizer")


class ClientFailed(AssertionError):
    """A client child ended with an unexpected status or reported a sanitizer finding."""


def sanitizer_report(stderr):
    """The first sanitizer report line in `stderr` (text or bytes), or None."""
    if isinstance(stderr, bytes):
        stderr = stderr.decode("utf-8", "replace")
    for line in (stderr or "").splitlines():
        if any(mark in line for mark in SANITIZER_REPORTS):
            return line
    return None


def check_child(result, what, expect_rc=0):
    """Checks a finished client child (a CompletedProcess, or anything with
    returncode, stdout and stderr): its status is `expect_rc` (None: any) and
    its standard error holds no sanitizer report. Returns `result`."""
    err = result.stderr or ""
    if isinstance(err, bytes):
        err = err.decode("utf-8", "replace")
    out = result.stdout or ""
    if isinstance(out, bytes):
        out = out.decode("utf-8", "replace")
    found = sanitizer_report(err)
    if found:
        raise ClientFailed(f"{what}: sanitizer report: {found}\n{err[-6000:]}")
    if expect_rc is not None and result.returncode != expect_rc:
        raise ClientFailed(f"{what}: exit status {result.returncode}, expected {expect_rc}\n"
                           f"{out[-2000:]}\n{err[-4000:]}")
    return result


def run_child(argv, what=None, expect_rc=0, **kwargs):
    """subprocess.run with output captured as text, checked by check_child."""
    kwargs.setdefault("capture_output", True)
    kwargs.setdefault("text", True)
    return check_child(subprocess.run(argv, **kwargs), what or os.path.basename(argv[0]), expect_rc)


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--source", required=True)
    p.add_argument("--driver", required=True)
    return p.parse_args()


class PrivateOdbc:
    def __init__(self, driver, dsns=None, driver_extra=None):
        self.dir = tempfile.mkdtemp(prefix="cvodbc-")
        self.trace = os.path.join(self.dir, "trace.log")
        lines = ["[ODBC]", "Trace = No", "", f"[{DRIVER_NAME}]", f"Driver = {driver}",
                 f"TraceFile = {self.trace}"]
        for k, v in (driver_extra or {}).items():
            lines.append(f"{k} = {v}")
        with open(os.path.join(self.dir, "odbcinst.ini"), "w") as f:
            f.write("\n".join(lines) + "\n")
        with open(os.path.join(self.dir, "odbc.ini"), "w") as f:
            for name, attrs in (dsns or {}).items():
                f.write(f"[{name}]\nDriver = {DRIVER_NAME}\n")
                for k, v in attrs.items():
                    f.write(f"{k} = {v}\n")
                f.write("\n")
        self.env = dict(os.environ, ODBCSYSINI=self.dir, ODBCINSTINI="odbcinst.ini",
                        ODBCINI=os.path.join(self.dir, "odbc.ini"))

    def run(self, argv, stdin="", timeout=60, expect_rc=0, env=None):
        """Runs a client child with this test's ini files; checked by check_child."""
        what = os.path.basename(argv[0]) + (" " + argv[1] if len(argv) > 1 and argv[1] != "-c" else "")
        return run_child(argv, what, expect_rc, input=stdin, env=env or self.env, timeout=timeout)

    def python(self, code, timeout=60, expect_rc=0):
        return self.run(["/usr/bin/python3", "-c", code], timeout=timeout, expect_rc=expect_rc)

    def trace_text(self):
        try:
            with open(self.trace) as f:
                return f.read()
        except FileNotFoundError:
            return ""


class Results:
    """Counts checks and prints the closing line test runners read."""

    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print(f"ok   {what}")
        else:
            self.failed += 1
            print(f"FAIL {what}\n{detail}")

    def finish(self):
        print(f"{self.passed} passed, {self.failed} failed")
        sys.exit(1 if self.failed else 0)


class Emulator:
    """The PayPal emulator on 127.0.0.1, started for one test and stopped with it."""

    def __init__(self, source, *extra, state_dir=None):
        self.state_dir = state_dir or tempfile.mkdtemp(prefix="cvemu-")
        argv = ["/usr/bin/python3", os.path.join(source, "tools", "emulator", "paypal_emulator.py"),
                "--state-dir", self.state_dir, "--exit-on-eof", *extra]
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.port = self.ca = self.log = None
        for line in self.proc.stdout:
            key, _, value = line.strip().partition(" ")
            if key == "PORT":
                self.port = int(value)
            elif key == "CA":
                self.ca = value
            elif key == "LOG":
                self.log = value
            elif key == "READY":
                break
        if self.port is None:
            raise RuntimeError("emulator did not start")
        scheme = "https" if self.ca else "http"
        self.base_url = f"{scheme}://127.0.0.1:{self.port}"

    def requests(self):
        import json
        with open(self.log) as f:
            return [json.loads(line) for line in f if line.strip()]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                raise RuntimeError("the emulator did not stop")
        # 70: one of its request handlers raised (traceback on stderr): a
        # fault of the emulator, which must not pass for an expected one.
        if self.proc.returncode == 70:
            raise RuntimeError("an emulator request handler raised; see its traceback above")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


@contextlib.contextmanager
def c_client_run(args, program, timeout):
    """Runs the C client `program` of this folder (built beside the tests)
    with "DSN=CVPAYPAL" against an emulator started for it; yields the
    emulator, still running, and the client's finished run. The client's
    own exit status is for the caller to judge."""
    with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
        settings = {"client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url,
                    "cert": emu.ca}
        odbc = PrivateOdbc(args.driver, {"CVPAYPAL": settings})
        yield emu, odbc.run([os.path.join(args.build, "tests", "integration", program), "DSN=CVPAYPAL"],
                            timeout=timeout, expect_rc=None)
