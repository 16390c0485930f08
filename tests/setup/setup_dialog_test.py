"""The setup library as unixODBC and the driver use it: SQLConfigDataSource
adds, configures and removes data sources with and without a window, the
dialog (offscreen, worked by a robot) saves, cancels and tests against the
PayPal emulator, the driver's prompt entry point round-trips its record, and
no display never aborts the host."""
import argparse
import atexit
import os
import shutil
import stat
import subprocess
import sys
import tempfile

p = argparse.ArgumentParser()
for opt in ("--source", "--setup", "--driver", "--tool", "--prompt", "--robot"):
    p.add_argument(opt, required=True)
args = p.parse_args()
sys.path.insert(0, os.path.join(args.source, "tests", "integration"))
from odbc_env import Emulator, Results, check_child  # noqa: E402

DRIVER = "Corvane PAYPAL ODBC Driver"
NO_DISPLAY = ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")
r = Results()


class Ini:
    """A private ODBCSYSINI with the driver and its setup library registered,
    and a user odbc.ini that does not exist yet."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="cvsetup-")
        atexit.register(shutil.rmtree, self.dir, True)
        with open(os.path.join(self.dir, "odbcinst.ini"), "w") as f:
            f.write(f"[{DRIVER}]\nDriver = {args.driver}\nSetup = {args.setup}\n")
        self.user = os.path.join(self.dir, "user.ini")
        self.env = {k: v for k, v in os.environ.items() if k not in NO_DISPLAY}
        self.env.update(ODBCSYSINI=self.dir, ODBCINSTINI="odbcinst.ini", ODBCINI=self.user, HOME=self.dir,
                        XDG_RUNTIME_DIR=self.dir)

    def sections(self):
        out, cur = {}, None
        if not os.path.exists(self.user):
            return out
        for line in open(self.user):
            line = line.strip()
            if line.startswith("["):
                cur = out.setdefault(line[1:line.index("]")], {})
            elif "=" in line and cur is not None:
                k, _, v = line.partition("=")
                cur[k.strip().lower()] = v.strip()
        return out

    def run(self, argv, script=None, display=True, env=None, timeout=90):
        e = dict(self.env, **(env or {}))
        e = {k: v for k, v in e.items() if v is not None}
        if display:
            e["QT_QPA_PLATFORM"] = "offscreen"
        pre = []
        if script is not None:
            path = os.path.join(self.dir, "script")
            with open(path, "w") as f:
                f.write("\n".join(script) + "\n")
            pre = ["--robot", args.robot, path]
        # The tools' statuses are what the cases check; a sanitizer report fails any of them.
        return check_child(subprocess.run(argv[:1] + pre + argv[1:], capture_output=True, text=True, env=e,
                                          timeout=timeout), os.path.basename(argv[0]), expect_rc=None)

    def config(self, request, *attrs, window=False, script=None, display=True, env=None):
        argv = [args.tool] + (["--window"] if window else []) + [str(request), DRIVER, *attrs]
        return self.run(argv, script, display, env)

    def prompt(self, *fields, script=None, display=True, window=True):
        argv = [args.prompt, args.setup] + ([] if window else ["--no-window"]) + list(fields)
        return self.run(argv, script, display)


def result(out):
    for line in out.stdout.splitlines():
        if line.startswith("RESULT "):
            return int(line.split()[1])
    return None


def lines(out, prefix):
    return [l[len(prefix):] for l in out.stdout.splitlines() if l.startswith(prefix)]


def detail(out):
    return f"rc={out.returncode}\n{out.stdout}\n{out.stderr}"


# --- Without a window: the values are saved as given ---------------------
ini = Ini()
out = ini.config(1, "DSN=PP", "client_id=id1", "client_secret=s1", "Proxy_User=bob", "Sandbox=true",
                 "base_url=https://example.test", "cert=/ca.pem")
pp = ini.sections().get("PP", {})
r.check(result(out) == 1 and pp.get("driver") == DRIVER and pp.get("client_id") == "id1"
        and pp.get("client_secret") == "s1", "add without a window saves the DSN", detail(out) + str(pp))
r.check(pp.get("proxy_user") == "bob" and pp.get("proxy") == "", "Proxy_User fills the proxy user, not the proxy",
        str(pp))
r.check(pp.get("sandbox") == "Yes" and pp.get("query_timeout") == "60" and pp.get("max_num") == "20"
        and pp.get("filter_local") == "0" and pp.get("logging") == "No",
        "check boxes save as Yes/No and 1/0, numbers get their defaults", str(pp))
r.check(pp.get("base_url") == "https://example.test" and pp.get("cert") == "/ca.pem",
        "keys the dialog does not manage are saved as given", str(pp))
r.check(stat.S_IMODE(os.stat(ini.user).st_mode) == 0o600, "the user odbc.ini the save created is mode 0600",
        oct(os.stat(ini.user).st_mode))

with open(ini.user, "a") as f:
    f.write("disguise_long = 1\n")
out = ini.config(2, "DSN=PP", "Max_Num=10", "sandbox=no")
pp = ini.sections().get("PP", {})
r.check(result(out) == 1 and pp.get("max_num") == "10" and pp.get("sandbox") == "No" and pp.get("client_id") == "id1"
        and pp.get("disguise_long") == "1" and pp.get("cert") == "/ca.pem",
        "configure without a window changes what is given and keeps the rest", detail(out) + str(pp))

out = ini.config(1, "DSN=bad[name]", "client_id=x")
r.check(result(out) == 0 and "ERROR 9 Invalid DSN" in out.stdout and "bad[name]" not in ini.sections(),
        "an invalid name fails with the installer's error", detail(out))

home = Ini()
out = home.config(1, "DSN=H", "client_secret=s", env={"ODBCINI": None})
dot = os.path.join(home.dir, ".odbc.ini")
r.check(result(out) == 1 and os.path.exists(dot) and stat.S_IMODE(os.stat(dot).st_mode) == 0o600,
        "~/.odbc.ini created by the save is mode 0600", detail(out))

out = home.config(4, "DSN=SYS", "client_id=sys")
system = open(os.path.join(home.dir, "odbc.ini")).read() if os.path.exists(os.path.join(home.dir, "odbc.ini")) else ""
r.check(result(out) == 1 and "[SYS]" in system and "client_id=sys" in system.lower().replace(" ", ""),
        "a system DSN goes to the system odbc.ini", detail(out) + system)
out = home.config(6, "DSN=SYS")
r.check(result(out) == 1 and "[SYS]" not in open(os.path.join(home.dir, "odbc.ini")).read(),
        "and is removed from it", detail(out))

unwritable = Ini()
out = unwritable.config(1, "DSN=PP", "client_id=x", env={"ODBCINI": os.path.join(unwritable.dir, "no", "such.ini")})
r.check(result(out) == 0 and lines(out, "ERROR "), "a save that cannot be written reports failure and its error",
        detail(out))

# --- With a window, offscreen ------------------------------------------------
out = ini.config(2, "DSN=PP", window=True, script=["dump", "set Client Id=id2", "set Paypal Sandbox=on",
                                                    "set Number of rows to return for each REST Call=5", "press O&K"])
pp = ini.sections().get("PP", {})
r.check(result(out) == 1 and pp.get("client_id") == "id2" and pp.get("sandbox") == "Yes" and pp.get("max_num") == "5"
        and pp.get("disguise_long") == "1", "the dialog opens with the profile and OK saves it", detail(out) + str(pp))
fields = [f.split("|") for f in lines(out, "FIELD ")]
want = [("&DSN:", "Data source name"), ("D&escription:", "Data source description"), ("Client Id", "Client Id"),
        ("Client Secret:", "Client Secret"), ("Sandbox:", "Paypal Sandbox"),
        ("Local Filtering:", "Filter Data In Client"), ("Proxy:", "Address of proxy server"),
        ("Proxy User:", "User Name for proxy server auth"), ("Proxy Password:", "User Password for proxy server auth"),
        ("Driver Logging:", "Driver Logging"), ("Log File:", "Log File"), ("Flush On Update", "Flush cache on update"),
        ("Cache Timeout", "Cache Timeout (seconds, 0 for no caching)"),
        ("Max Num:", "Number of rows to return for each REST Call")]
r.check([(f[0], f[3]) for f in fields] == want and all(f[3] == f[4] and f[8] == "buddy" for f in fields),
        "every field in order with its label, tool tip and what's-this text", "\n".join(map(str, fields)))
r.check([f[2] for f in fields] == ["dsn" if f[1] == "MQLineEdit" else "enable" for f in fields]
        and {f[1] for f in fields} == {"MQLineEdit", "QCheckBox"}, "line edits are MQLineEdit \"dsn\", check boxes \"enable\"",
        str(fields))
r.check([f[0] for f in fields if f[6] == "password"] == ["Client Secret:", "Proxy Password:"],
        "the client secret and proxy password echo as passwords", str(fields))
r.check(fields and fields[2][5] == "id1" and fields[4][5] == "off" and fields[13][5] == "10",
        "the fields show the profile's values", str(fields))
r.check(lines(out, "BUTTON ") == ["O&K|Save changes and finish", "&Cancel|Exit without saving changes", "&Help|",
                                   "&Test|Test connection"], "the buttons and their tool tips", detail(out))
r.check(lines(out, "DIALOG ") == ["Corvane Paypal ODBC Driver DSN Setup|DSN Properties|Setup"],
        "window title, object name and class", detail(out))

before = ini.sections()
out = ini.config(2, "DSN=PP", window=True, script=["set Client Id=changed", "press &Cancel"])
r.check(result(out) == 1 and ini.sections() == before, "Cancel leaves the ini as it was", detail(out))

out = ini.config(2, "DSN=PP", window=True, script=[
    "cut Client Secret", "cut Client Id", "set Client Id=id2", "press &Help", "box", "set Data source name=bad[",
    "press O&K", "box", "set Data source name=PP2", "press O&K"])
cuts = lines(out, "CUT ")
r.check(cuts == ["Client Secret|s1|(before)", "Client Id||id2"],
        "cut does nothing on a password and moves other text to the clipboard", detail(out))
boxes = lines(out, "BOX ")
r.check(len(boxes) == 2 and boxes[0].startswith("information|") and "Number of rows to return" in boxes[0],
        "Help explains every field", detail(out))
r.check(len(boxes) == 2 and boxes[1].startswith("warning|Unable to save the data source:"),
        "a save that fails is shown and the dialog stays open", detail(out))
s = ini.sections()
r.check(result(out) == 1 and "PP" not in s and s.get("PP2", {}).get("disguise_long") == "1"
        and s.get("PP2", {}).get("client_id") == "id2", "renaming writes the new entry with every key, then drops the old",
        detail(out) + str(s))

out = ini.config(1, "DSN=NEW", "client_id=n", window=True, script=["set Data source name=PP2", "press O&K", "box",
                                                                    "press &Cancel"])
r.check(result(out) == 1 and "NEW" not in ini.sections() and ini.sections()["PP2"].get("client_id") == "id2"
        and any("already exists" in b for b in lines(out, "BOX ")),
        "the dialog will not save over another data source", detail(out))

out = ini.config(3, "DSN=PP2;")
r.check(result(out) == 1 and "PP2" not in ini.sections(), "remove by name, one trailing semicolon dropped", detail(out))

# --- Test against the emulator ---------------------------------------------
with Emulator(args.source, "--client-id", "emu-id", "--client-secret", "emu-secret") as emu:
    out = ini.config(1, "DSN=EMU", "client_id=emu-id", "client_secret=emu-secret", f"base_url={emu.base_url}",
                     f"cert={emu.ca}", window=True,
                     script=["press &Test", "box", "set Client Secret=wrong", "press &Test", "box",
                             "set Client Id=", "press &Test", "box", "press &Cancel"])
    boxes = lines(out, "BOX ")
    r.check(len(boxes) == 3 and boxes[0] == "information|Connected and authenticated with Paypal",
            "Test shows the driver's success message", detail(out))
    r.check(len(boxes) == 3 and boxes[1].startswith("warning|Failed to obtain Paypal access token: '"),
            "Test shows the driver's failure message", detail(out))
    r.check(len(boxes) == 3 and boxes[2] == "warning|Client Id MUST be supplied", "Test without a client id",
            detail(out))
    r.check("EMU" not in ini.sections(), "cancelling an add saves nothing", str(ini.sections()))

    # The driver prompts through the dialog when the application passes a
    # window and the secret is missing.
    with open(ini.user, "a") as f:
        f.write(f"\n[PROMPTME]\nDriver = {DRIVER}\nclient_id = emu-id\nbase_url = {emu.base_url}\ncert = {emu.ca}\n")
    for label, script, want_rc in (("OK with the secret typed in connects", ["dump", "set Client Secret=emu-secret",
                                                                            "press O&K"], 0),
                                   ("Cancel goes on without the secret and fails", ["press &Cancel"], -1)):
        path = os.path.join(ini.dir, "prompt-script")
        with open(path, "w") as f:
            f.write("\n".join(script) + "\n")
        code = f"""
import ctypes, sys
sys.path.insert(0, {os.path.join(args.source, "tests", "integration")!r})
ctypes.CDLL({args.robot!r}, mode=ctypes.RTLD_GLOBAL).robot_arm({path.encode()!r})
from odbc_ctypes import Connection, SQL_DRIVER_COMPLETE
c = Connection()
rc, out, n, raw = c.driver_connect('DSN=PROMPTME', window=1, completion=SQL_DRIVER_COMPLETE)
print('CONNECT', rc, c.diag())
c.close()
"""
        out = ini.run(["/usr/bin/python3", "-c", code])
        connect = lines(out, "CONNECT ")
        r.check(connect and connect[0].startswith(f"{want_rc} "), f"the driver's prompt: {label}", detail(out))
        if want_rc == 0:
            r.check(lines(out, "DIALOG ") == ["Corvane Paypal ODBC Driver|DSN Properties|Setup"]
                    and "|PROMPTME|normal|disabled|" in (lines(out, "FIELD ") or [""])[0],
                    "the prompt names the data source in a read-only field", detail(out))

# --- The driver's prompt -----------------------------------------------------
given = ["dsn=PROMPTED", "client_id=pid", "client_secret=psecret", "proxy=corp:3128", "proxy_user=pu",
         "proxy_password=pp", "log_file=/tmp/cv.log", "logging=1", "filter_local=1", "flush_on_update=1",
         "max_rows=7", "query_timeout=30", "sandbox=1", "base_url=https://kept", "cert=/kept.pem"]
want = {kv.split("=", 1)[0]: kv.split("=", 1)[1] for kv in given}


def settings(out):
    return dict(l.split("=", 1) for l in lines(out, "SETTING "))


out = ini.prompt(*given, script=["dump", "press O&K"])
got = settings(out)
fields = [f.split("|") for f in lines(out, "FIELD ")]
r.check(result(out) == 0 and got == want, "dsn_complete_info: OK returns 0 and the settings round-trip",
        detail(out) + str(got))
r.check(fields and fields[0][5] == "PROMPTED" and fields[0][7] == "disabled" and fields[1][7] == "enabled",
        "the prompt shows the DSN read-only", str(fields))
out = ini.prompt(*given, script=["set Client Secret=typed", "press &Cancel"])
r.check(result(out) == 100 and settings(out) == want, "Cancel returns 100 and leaves the settings", detail(out))
out = ini.prompt(*given, script=["set Client Secret=typed", "set Paypal Sandbox=off", "press O&K"])
got = settings(out)
r.check(result(out) == 0 and got.get("client_secret") == "typed" and got.get("sandbox") == "0"
        and got.get("base_url") == "https://kept", "OK hands back what the user typed", detail(out))

# --- No display --------------------------------------------------------------
for label, extra in (("no display variables", {}), ("a display no server answers", {"DISPLAY": ":97"})):
    nd = Ini()
    out = nd.config(1, "DSN=ND", "client_id=x", window=True, display=False, env=extra)
    r.check(out.returncode == 0 and result(out) == 1 and nd.sections().get("ND", {}).get("client_id") == "x",
            f"ConfigDSN with a window and {label} saves without a dialog", detail(out))
    out = nd.prompt(*given, display=False) if not extra else nd.run([args.prompt, args.setup, *given], display=False,
                                                                    env=extra)
    r.check(out.returncode == 0 and result(out) == 100, f"the prompt with {label} returns 100 at once", detail(out))

r.finish()
