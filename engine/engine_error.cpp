// Engine error posting (see engine_error.h).
#include "engine/engine_error.h"

#include <cstdarg>
#include <cstdio>

#include "support/diag.h"

int engine_error(ErrorHeader *diag, const char *sqlstate, const char *format, ...) {
    char text[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (diag) {
        SetReturnCode(diag, SQL_ERROR);
        (void)PostError(diag, 2, 0, 0, 0, 0, "ODBC3.0", sqlstate, "%s", text);
    }
    return -1;
}
