// Reading the connection attribute list that connecting filled.
#include "odbc/conn_attr_value.h"

#include "odbc/handles.h"
#include "support/connstr.h"

const char *connection_attribute_value(const DBC *dbc, const char *keyword) {
    const char *v = dbc && keyword ? get_attribute_value(dbc->conn_attrs, keyword) : nullptr;
    return v ? v : "";
}
