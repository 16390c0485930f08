// The one posting helper of casts and scalar functions: sets the return
// code to -1 and appends one error record with class origin "ODBC3.0" (the
// engine's own errors), then returns -1 so callers can `return
// engine_error(...)`.
//
// Exports: engine_error.
#pragma once

struct ErrorHeader;

int engine_error(ErrorHeader *diag, const char *sqlstate, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
