// Setting the type of a descriptor record and the fields that follow it.
//
// Setting the concise type (SQL_DESC_CONCISE_TYPE) or the verbose type
// (SQL_DESC_TYPE) of a record keeps the two consistent with the datetime /
// interval subcode and resets the length, precision, scale and octet length
// to the defaults ODBC gives for the type. The environment's ODBC version
// chooses between the ODBC 2 and ODBC 3 date and time codes.
//
// Exports: desc_set_concise_type, desc_set_verbose_type.
#pragma once

#include <cstdint>

#include "odbc/attributes.h"

/// Sets the record's concise type to `concise` and derives the verbose type
/// and subcode. `odbc_version` 2 keeps the ODBC 2 date/time codes (9-11).
void desc_set_concise_type(DescRecord *r, int16_t concise, int odbc_version);

/// Sets the verbose type; for SQL_DATETIME and SQL_INTERVAL the concise type
/// is taken from the record's current subcode.
void desc_set_verbose_type(DescRecord *r, int16_t verbose, int odbc_version);
