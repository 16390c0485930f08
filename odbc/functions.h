// The table of ODBC functions and which of them this build exports.
//
// SQLGetFunctions answers from this table, and a test checks it against the
// export list (cvconnect.map): a driver manager disables every function the
// driver does not report, and calls every function it does, so the two must
// agree exactly. When a function is added to the export list, set its
// `exported` flag here.
//
// Exports: OdbcFunction, odbc_functions, function_supported.
#pragma once

#include <cstddef>
#include <cstdint>

struct OdbcFunction {
    uint16_t id;        // SQL_API_* number
    const char *name;   // exported name (the W form, when exported, shares the id)
    bool exported;      // exported and implemented by this build
};

/// Every ODBC function the driver knows; `*count` receives their number.
[[nodiscard]] const OdbcFunction *odbc_functions(size_t *count);

/// True when a function with SQL_API number `id` is exported.
[[nodiscard]] bool function_supported(unsigned id);
