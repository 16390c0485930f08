"""Connecting through unixODBC to the PayPal emulator: isql, iusql and pyodbc,
with a DSN and with connection strings; wrong and missing credentials."""
import json

from odbc_env import Emulator, PrivateOdbc, Results, parse_args

args = parse_args()
r = Results()
ID, SECRET = "cv-client", "s3cr;t}}{x"  # a secret that needs brace quoting

with Emulator(args.source, "--client-id", ID, "--client-secret", SECRET.replace("}}", "}")) as emu:
    real_secret = SECRET.replace("}}", "}")
    quoted = "{" + real_secret.replace("}", "}}") + "}"
    odbc = PrivateOdbc(args.driver, dsns={
        # Profile values are taken as they stand: no connection-string quoting.
        "PAYPAL": {"client_id": ID, "client_secret": real_secret, "base_url": emu.base_url, "cert": emu.ca},
        "NOSECRET": {"client_id": ID, "base_url": emu.base_url, "cert": emu.ca},
    })

    out = odbc.run(["isql", "-v", "PAYPAL"], stdin="")
    r.check("Connected!" in out.stdout, "isql -v DSN connects", out.stdout + out.stderr)

    conn = f"DRIVER={{Corvane PAYPAL ODBC Driver}};client_id={ID};client_secret={quoted};base_url={emu.base_url};cert={emu.ca}"
    out = odbc.run(["isql", "-v", "-k", conn], stdin="")
    r.check("Connected!" in out.stdout, "isql -k with a connection string connects", out.stdout + out.stderr)

    out = odbc.run(["iusql", "-v", "PAYPAL"], stdin="")
    r.check("Connected!" in out.stdout, "iusql connects through the wide entry points", out.stdout + out.stderr)

    before = len([q for q in emu.requests() if q["path"] == "/v1/oauth2/token"])
    out = odbc.python(f"""
import pyodbc
for i in range(3):
    c = pyodbc.connect('DSN=NOSECRET;client_secret={quoted}', autocommit=True)
    print('INFO', c.getinfo(pyodbc.SQL_DATA_SOURCE_NAME), c.getinfo(pyodbc.SQL_DRIVER_ODBC_VER),
          c.getinfo(pyodbc.SQL_DBMS_NAME), c.getinfo(pyodbc.SQL_IDENTIFIER_QUOTE_CHAR))
    c.close()
print('DONE')
""")
    r.check("DONE" in out.stdout, "pyodbc connects three times in one process (secret from the string, id from the DSN)",
            out.stdout + out.stderr)
    infos = [l for l in out.stdout.splitlines() if l.startswith("INFO ")]
    r.check(len(infos) == 3 and infos[0].startswith("INFO NOSECRET 03."), "pyodbc reads getinfo values",
            out.stdout + out.stderr)
    tokens = [q for q in emu.requests() if q["path"] == "/v1/oauth2/token"]
    # The process shares one valid token among its connections with the same
    # credentials: three connects, one token request.
    r.check(len(tokens) - before == 1, "one token request for three connects in one process",
            str(len(tokens) - before))
    import base64
    want = "Basic " + base64.b64encode(f"{ID}:{real_secret}".encode()).decode()
    auth = {v for q in tokens[before:] for k, v in q["headers"] if k.lower() == "authorization"}
    r.check(auth == {want}, "the token request carries the client id and secret intact", str(auth))

    out = odbc.python(f"""
import pyodbc
try:
    pyodbc.connect('DSN=PAYPAL;client_secret=wrong', autocommit=True)
except pyodbc.Error as e:
    print('ERR', e.args[0], e.args[1])
""")
    r.check("Failed to obtain Paypal access token: '" in out.stdout,
            "a wrong secret reaches the application with the driver's message", out.stdout + out.stderr)

    out = odbc.python("""
import pyodbc
try:
    pyodbc.connect('DSN=NOSECRET', autocommit=True)
except pyodbc.Error as e:
    print('ERR', e.args[0], e.args[1])
""")
    r.check("client secret must be provided" in out.stdout, "a missing secret is named", out.stdout + out.stderr)

    out = odbc.run(["isql", "-v", "NOSECRET", ID, "wrong-one"], stdin="", expect_rc=1)  # isql: 1, not connected
    r.check("Failed to obtain Paypal access token" in out.stdout + out.stderr,
            "isql DSN user password: the password stands for a missing secret", out.stdout + out.stderr)
    out = odbc.run(["isql", "-v", "NOSECRET", ID, real_secret], stdin="")
    r.check("Connected!" in out.stdout, "isql DSN user password connects with the right password",
            out.stdout + out.stderr)
    # The driver traces to the TraceFile of its odbcinst.ini section: the
    # trace must show the connects for its lack of the secret to mean anything.
    trace = odbc.trace_text()
    r.check("SQLDriverConnect" in trace and "client_secret=****" in trace,
            "the driver's trace shows the connects, the secret masked", trace[-2000:])
    r.check("s3cr" not in trace, "the trace never shows the secret")
r.finish()
