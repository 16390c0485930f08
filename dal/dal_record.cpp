// The connection's DAL record. Providers are attached when the connection is
// opened; until then the record only remembers its connection.
#include "dal/dal.h"

#include "odbc/handles.h"

struct DalRecord {
    DBC *dbc;          // owning connection
    const char *name;  // LINK name, or null for the connection's own record
};

int DALCreate(DBC *dbc, DalRecord **out, const char *name) {
    *out = nullptr;
    auto *dal = pool_new<DalRecord>(dbc->pool);
    if (!dal) return 3;
    dal->dbc = dbc;
    dal->name = name ? cv_mem_strdup(dbc->pool, name) : nullptr;
    *out = dal;
    return 0;
}

void DALFree(DalRecord *dal) {
    if (dal) cv_mem_free(dal);
}

int DALStartTransaction(DalRecord *) { return 0; }
int DALEndTransaction(DalRecord *, int) { return 0; }
