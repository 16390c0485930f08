// Driver information: the SQLGetInfo answer table and its lookups.
//
// Every answer is a constant of the driver except the data source and user
// names, which come from the connection's attribute list, and
// SQL_DRIVER_HSTMT, which echoes the caller's value.
//
// Exports: InfoKind, InfoEntry, info_lookup, info_number, info_entries,
// get_info_internal.
#pragma once

#include <cstddef>
#include <cstdint>

enum class InfoKind : uint8_t {
    Int16,     // 16-bit unsigned, length 2
    Int32,     // 32-bit unsigned, length 4
    Text,      // constant text
    ConnAttr,  // text from the connection attribute list; `text` is the keyword
    Echo,      // the caller's 32-bit value written back, length 4
};

struct InfoEntry {
    uint16_t type;     // SQL_* information type
    InfoKind kind;
    uint32_t number;   // Int16, Int32
    const char *text;  // Text: the answer; ConnAttr: the keyword
};

/// The entry for information type `type`, or null when the driver has none.
[[nodiscard]] const InfoEntry *info_lookup(uint16_t type);

/// The numeric answer for `type` (0 for texts and unknown types).
[[nodiscard]] uint32_t info_number(uint16_t type);

/// Every entry, sorted by type; `*count` receives their number.
[[nodiscard]] const InfoEntry *info_entries(size_t *count);

#include <sql.h>

struct DBC;

/// The 8-bit SQLGetInfo for internal callers (DBC_SERVICES slot 29): the
/// exported function's frame and answers without the handle check.
[[nodiscard]] SQLRETURN get_info_internal(DBC *dbc, SQLUSMALLINT type, SQLPOINTER value,
                                          SQLSMALLINT capacity, SQLSMALLINT *length);
