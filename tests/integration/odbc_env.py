"""Shared set-up for tests that run real ODBC clients against the driver.

Each test gets a private directory holding odbcinst.ini and odbc.ini that
register the driver under test; unixODBC is pointed at them through
ODBCSYSINI / ODBCINSTINI / ODBCINI, so nothing under /etc is read or written.
"""
import argparse
import os
import subprocess
import sys
import tempfile

DRIVER_NAME = "Corvane PAYPAL ODBC Driver"


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

    def run(self, argv, stdin="", timeout=60):
        return subprocess.run(argv, input=stdin, capture_output=True, text=True,
                              env=self.env, timeout=timeout)

    def python(self, code, timeout=60):
        return self.run(["/usr/bin/python3", "-c", code], timeout=timeout)

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
