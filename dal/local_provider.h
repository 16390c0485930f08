// Building blocks of the two providers the driver answers itself (stored
// views and INFO_SCHEMA): an environment record, an iterator that knows only
// whether it is exhausted, and the slot functions whose answer is the same
// for both while their catalogues are empty.
#pragma once

#include "dal/provider.h"

struct LocalEnv {
    DalLink link;           // the connection and the DAL's services
    int32_t odbc_version;   // through SQISetAttr
};

struct LocalIterator {
    LocalEnv *env;
    void *owner;
    int32_t exhausted;
};

/// Fills the slots both local providers answer alike.
void local_provider_common_slots(DalSlots *s);
