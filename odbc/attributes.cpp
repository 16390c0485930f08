// Built-in attribute defaults.
#include "odbc/attributes.h"

ConnAttributes conn_attributes_defaults() {
    ConnAttributes a{};
    a.auto_ipd = 1;
    a.autocommit = 1;
    a.odbc_cursors = SQL_CUR_USE_DRIVER;
    a.txn_isolation = SQL_TXN_READ_UNCOMMITTED;
    a.isolation_fixed = 1;
    return a;
}

StmtAttributes stmt_attributes_defaults() {
    StmtAttributes a{};
    a.concurrency = SQL_CONCUR_READ_ONLY;
    a.cursor_type = SQL_CURSOR_FORWARD_ONLY;
    a.cursor_scrollable = SQL_NONSCROLLABLE;
    a.cursor_sensitivity = SQL_INSENSITIVE;
    a.retrieve_data = SQL_RD_ON;
    a.simulate_cursor = SQL_SC_NON_UNIQUE;
    a.use_bookmarks = SQL_UB_OFF;
    a.keyset_size = 0;
    return a;
}
