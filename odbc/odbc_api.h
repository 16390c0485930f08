// The ODBC headers as the driver sees them, and the guard every exported
// function runs its body in.
//
// The driver is built with hidden visibility; the ODBC prototypes are read
// with default visibility so that exactly the functions defined here (and
// listed in cvconnect.map) are exported. Internal calls between our own SQL*
// functions bind inside the library (-Bsymbolic-functions), never to a
// driver manager's copies.
//
// Exports: odbc_guard, CV_EXPORT.
#pragma once

#pragma GCC visibility push(default)
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#pragma GCC visibility pop

#include <new>

#include "support/diag.h"

#define CV_EXPORT extern "C" __attribute__((visibility("default")))

/// Runs `body` so that no exception leaves an exported function:
/// std::bad_alloc becomes HY001 on `diag`, anything else HY000.
template <typename Body>
[[nodiscard]] SQLRETURN odbc_guard(ErrorHeader *diag, Body &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return post_error(diag, "HY001", "Memory allocation error");
    } catch (...) {
        return post_error(diag, "HY000", "General error: %s", "unexpected internal failure");
    }
}
