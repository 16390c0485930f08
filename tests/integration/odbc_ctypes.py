"""Calls the ODBC API through unixODBC's libodbc with ctypes, for the calls
no Python module exposes (SQLBrowseConnect, SQLDriverConnect buffers) and for
the driver's own driver_test export."""
import ctypes

SQL_HANDLE_ENV, SQL_HANDLE_DBC = 1, 2
SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3 = 200, 3
SQL_NTS = -3
SQL_DRIVER_NOPROMPT, SQL_DRIVER_COMPLETE = 0, 1
SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NEED_DATA, SQL_NO_DATA, SQL_ERROR = 0, 1, 99, 100, -1

odbc = ctypes.CDLL("libodbc.so.2")
H = ctypes.c_void_p
odbc.SQLAllocHandle.argtypes = [ctypes.c_short, H, ctypes.POINTER(H)]
odbc.SQLSetEnvAttr.argtypes = [H, ctypes.c_int, H, ctypes.c_int]
odbc.SQLBrowseConnect.argtypes = [H, ctypes.c_char_p, ctypes.c_short, ctypes.c_char_p, ctypes.c_short,
                                  ctypes.POINTER(ctypes.c_short)]
odbc.SQLDriverConnect.argtypes = [H, H, ctypes.c_char_p, ctypes.c_short, ctypes.c_char_p, ctypes.c_short,
                                  ctypes.POINTER(ctypes.c_short), ctypes.c_ushort]
odbc.SQLGetDiagRec.argtypes = [ctypes.c_short, H, ctypes.c_short, ctypes.c_char_p, ctypes.POINTER(ctypes.c_int),
                               ctypes.c_char_p, ctypes.c_short, ctypes.POINTER(ctypes.c_short)]
odbc.SQLDisconnect.argtypes = [H]
odbc.SQLFreeHandle.argtypes = [ctypes.c_short, H]


class Connection:
    def __init__(self):
        self.env, self.dbc = H(), H()
        assert odbc.SQLAllocHandle(SQL_HANDLE_ENV, None, ctypes.byref(self.env)) == 0
        assert odbc.SQLSetEnvAttr(self.env, SQL_ATTR_ODBC_VERSION, H(SQL_OV_ODBC3), 0) == 0
        assert odbc.SQLAllocHandle(SQL_HANDLE_DBC, self.env, ctypes.byref(self.dbc)) == 0

    def browse(self, text, capacity=1024):
        out = ctypes.create_string_buffer(capacity)
        n = ctypes.c_short(0)
        rc = odbc.SQLBrowseConnect(self.dbc, text.encode(), SQL_NTS, out, capacity, ctypes.byref(n))
        return rc, out.value.decode(), n.value

    def driver_connect(self, text, capacity=1024, window=None, completion=SQL_DRIVER_NOPROMPT):
        out = ctypes.create_string_buffer(capacity + 8) if capacity else None
        n = ctypes.c_short(0)
        rc = odbc.SQLDriverConnect(self.dbc, window, text.encode(), SQL_NTS, out, capacity,
                                   ctypes.byref(n), completion)
        return rc, (out.value.decode(errors="replace") if out else None), n.value, (out.raw if out else b"")

    def diag(self):
        state = ctypes.create_string_buffer(6)
        msg = ctypes.create_string_buffer(1024)
        native, n = ctypes.c_int(0), ctypes.c_short(0)
        out = []
        i = 1
        while odbc.SQLGetDiagRec(SQL_HANDLE_DBC, self.dbc, i, state, ctypes.byref(native), msg, 1024,
                                 ctypes.byref(n)) in (0, 1):
            out.append((state.value.decode(), msg.value.decode()))
            i += 1
        return out

    def disconnect(self):
        return odbc.SQLDisconnect(self.dbc)

    def close(self):
        odbc.SQLDisconnect(self.dbc)
        odbc.SQLFreeHandle(SQL_HANDLE_DBC, self.dbc)
        odbc.SQLFreeHandle(SQL_HANDLE_ENV, self.env)


class DsnSettings(ctypes.Structure):
    T = ctypes.c_char * 1024
    _fields_ = [("dsn", T), ("proxy", T), ("proxy_user", T), ("proxy_password", T), ("log_file", T),
                ("logging", ctypes.c_int32), ("filter_local", ctypes.c_int32),
                ("flush_on_update", ctypes.c_int32), ("max_rows", ctypes.c_int32),
                ("client_id", T), ("client_secret", T), ("query_timeout", ctypes.c_int32),
                ("sandbox", ctypes.c_int32), ("base_url", T), ("cert", T)]


def driver_test(driver_path, **fields):
    lib = ctypes.CDLL(driver_path)
    lib.driver_test.argtypes = [ctypes.POINTER(DsnSettings), ctypes.c_char_p, ctypes.c_int]
    s = DsnSettings()
    for k, v in fields.items():
        setattr(s, k, v.encode() if isinstance(v, str) else v)
    msg = ctypes.create_string_buffer(1024)
    rc = lib.driver_test(ctypes.byref(s), msg, 1024)
    return rc, msg.value.decode()
