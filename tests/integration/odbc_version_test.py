"""Dates, times and timestamps are described with the codes of the
application's ODBC version: SQLDescribeCol and SQLDescribeParam give 9, 10
and 11 to an application that set SQL_OV_ODBC2, and 91, 92 and 93 to one
that set SQL_OV_ODBC3."""
import ctypes
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
from odbc_env import Emulator, PrivateOdbc, Results, parse_args  # noqa: E402

args = parse_args()
res = Results()
H = ctypes.c_void_p
c_short, c_ushort, c_int = ctypes.c_short, ctypes.c_ushort, ctypes.c_int
P = ctypes.POINTER
SQL_NTS = -3


def lib():
    odbc = ctypes.CDLL("libodbc.so.2")
    sig = {
        "SQLAllocHandle": [c_short, H, P(H)], "SQLSetEnvAttr": [H, c_int, H, c_int],
        "SQLConnect": [H, ctypes.c_char_p, c_short, ctypes.c_char_p, c_short, ctypes.c_char_p, c_short],
        "SQLPrepare": [H, ctypes.c_char_p, c_int],
        "SQLDescribeCol": [H, c_ushort, ctypes.c_char_p, c_short, P(c_short), P(c_short), P(ctypes.c_ulong),
                           P(c_short), P(c_short)],
        "SQLDescribeParam": [H, c_ushort, P(c_short), P(ctypes.c_ulong), P(c_short), P(c_short)],
        "SQLFreeHandle": [c_short, H], "SQLDisconnect": [H],
    }
    for name, types in sig.items():
        getattr(odbc, name).argtypes = types
    return odbc


SQL = (b"SELECT {d '2001-01-02'}, {t '10:11:12'}, {ts '2001-01-02 03:04:05'}, CAST(Name AS DATE), Id "
       b"FROM Plans WHERE {fn CURDATE()} > ?")


def described(odbc, version):
    env, dbc, s = H(), H(), H()
    odbc.SQLAllocHandle(1, None, ctypes.byref(env))
    odbc.SQLSetEnvAttr(env, 200, H(version), 0)
    odbc.SQLAllocHandle(2, env, ctypes.byref(dbc))
    rc = odbc.SQLConnect(dbc, b"CVPAYPAL", SQL_NTS, None, 0, None, 0)
    res.check(rc in (0, 1), "connect, ODBC %d" % version)
    odbc.SQLAllocHandle(3, dbc, ctypes.byref(s))
    res.check(odbc.SQLPrepare(s, SQL, SQL_NTS) == 0, "prepare, ODBC %d" % version)
    types = []
    for col in range(1, 6):
        t = c_short()
        odbc.SQLDescribeCol(s, col, None, 0, None, ctypes.byref(t), None, None, None)
        types.append(t.value)
    t = c_short()
    odbc.SQLDescribeParam(s, 1, ctypes.byref(t), None, None, None)
    types.append(t.value)
    odbc.SQLFreeHandle(3, s)
    odbc.SQLDisconnect(dbc)
    odbc.SQLFreeHandle(2, dbc)
    odbc.SQLFreeHandle(1, env)
    return types


with Emulator(args.source, "--client-id", "demo-client", "--client-secret", "demo-secret") as emu:
    odbc_ini = PrivateOdbc(args.driver, {"CVPAYPAL": {
        "client_id": "demo-client", "client_secret": "demo-secret", "base_url": emu.base_url, "cert": emu.ca}})
    os.environ.update(odbc_ini.env)
    odbc = lib()
    got = described(odbc, 2)
    res.check(got == [9, 10, 11, 9, -9, 9], "ODBC 2: dates 9, times 10, timestamps 11", got)
    got = described(odbc, 3)
    res.check(got == [91, 92, 93, 91, -9, 91], "ODBC 3: dates 91, times 92, timestamps 93", got)
res.finish()
