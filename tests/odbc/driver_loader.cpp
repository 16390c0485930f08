#include "driver_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

template <typename F>
void bind(void *lib, F &fn, const char *name) {
    fn = reinterpret_cast<F>(dlsym(lib, name));
    if (!fn) {
        std::fprintf(stderr, "driver does not export %s\n", name);
        std::abort();
    }
}

}  // namespace

Driver &Driver::get() {
    static Driver d = [] {
        Driver x;
        x.lib = dlopen(CV_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!x.lib) {
            std::fprintf(stderr, "dlopen %s: %s\n", CV_DRIVER_PATH, dlerror());
            std::abort();
        }
        bind(x.lib, x.AllocHandle, "SQLAllocHandle");
        bind(x.lib, x.AllocHandleStd, "SQLAllocHandleStd");
        bind(x.lib, x.AllocEnv, "SQLAllocEnv");
        bind(x.lib, x.AllocConnect, "SQLAllocConnect");
        bind(x.lib, x.AllocStmt, "SQLAllocStmt");
        bind(x.lib, x.FreeHandle, "SQLFreeHandle");
        bind(x.lib, x.FreeEnv, "SQLFreeEnv");
        bind(x.lib, x.FreeConnect, "SQLFreeConnect");
        bind(x.lib, x.FreeStmt, "SQLFreeStmt");
        bind(x.lib, x.GetDiagRec, "SQLGetDiagRec");
        bind(x.lib, x.GetDiagRecW, "SQLGetDiagRecW");
        bind(x.lib, x.GetDiagField, "SQLGetDiagField");
        bind(x.lib, x.GetDiagFieldW, "SQLGetDiagFieldW");
        bind(x.lib, x.Error, "SQLError");
        bind(x.lib, x.GetEnvAttr, "SQLGetEnvAttr");
        bind(x.lib, x.SetEnvAttr, "SQLSetEnvAttr");
        bind(x.lib, x.GetInfo, "SQLGetInfo");
        bind(x.lib, x.GetInfoW, "SQLGetInfoW");
        bind(x.lib, x.GetFunctions, "SQLGetFunctions");
        bind(x.lib, x.GetConnectAttr, "SQLGetConnectAttr");
        bind(x.lib, x.SetConnectAttr, "SQLSetConnectAttr");
        bind(x.lib, x.GetStmtAttr, "SQLGetStmtAttr");
        bind(x.lib, x.SetStmtAttr, "SQLSetStmtAttr");
        bind(x.lib, x.GetDescField, "SQLGetDescField");
        bind(x.lib, x.SetDescField, "SQLSetDescField");
        bind(x.lib, x.CopyDesc, "SQLCopyDesc");
        return x;
    }();
    return d;
}

void *Driver::symbol(const char *name) const { return dlsym(lib, name); }

std::string sqlstate_of(SQLSMALLINT type, SQLHANDLE h, int n) {
    SQLCHAR state[6] = {0};
    SQLINTEGER native;
    SQLCHAR msg[512];
    SQLSMALLINT len;
    if (Driver::get().GetDiagRec(type, h, static_cast<SQLSMALLINT>(n), state, &native, msg,
                                 sizeof msg, &len) != SQL_SUCCESS)
        return "";
    return reinterpret_cast<char *>(state);
}

int diag_count_of(SQLSMALLINT type, SQLHANDLE h) {
    SQLINTEGER n = -1;
    EXPECT_EQ(Driver::get().GetDiagField(type, h, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
    return n;
}
