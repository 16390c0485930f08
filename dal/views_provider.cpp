// The stored-views provider (index 0). The view store is the null store, so
// no name resolves to a view and view listings are empty; it also answers
// SQLGetTypeInfo for the whole driver (empty until the type list is built).
#include "dal/dal.h"
#include "dal/local_provider.h"

namespace {
int type_info(void *it, int) { return static_cast<LocalIterator *>(it)->exhausted = 1, DAL_OK; }
}  // namespace

void views_provider_slots(DalSlots *s) {
    local_provider_common_slots(s);
    s->SQIGetTypeInfo = type_info;
}
