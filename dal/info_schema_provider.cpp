// The INFO_SCHEMA provider (index 1): the driver's description of its own
// catalogue. Its tables arrive with the information-schema work; until then
// it claims no table and lists nothing.
#include "dal/dal.h"
#include "dal/local_provider.h"

namespace {
int type_info(void *, int) { return DAL_OK; }
}  // namespace

void info_schema_provider_slots(DalSlots *s) {
    local_provider_common_slots(s);
    s->SQIGetTypeInfo = type_info;
    s->SQIResetIterator = [](void *) { return static_cast<int>(DAL_OK); };  // does nothing
}
