// Values of the connection attribute list (the parsed connection string,
// completed from the data source's profile entry) as other modules read
// them.
//
// Exports: connection_attribute_value.
#pragma once

struct DBC;

/// The value of `keyword` ("DSN", "UID", ...) in the connection's attribute
/// list, or "" when the list has no such pair. Never null; the text lives as
/// long as the connection's attribute list is unchanged.
[[nodiscard]] const char *connection_attribute_value(const DBC *dbc, const char *keyword);
