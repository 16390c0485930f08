// Procedures: a name looked up among the providers (the PayPal gateway's
// actions), and a call routed to the provider that has it. The call's
// result rows are then read like a scan's, from that provider only.
#include "dal/dal_internal.h"

int DALGetProcedureInfo(void *owner, DalRecord *dal, DalText name, const ProcedureInfo **out, int *provider) {
    *out = nullptr;
    *provider = -1;
    // Last to first, as tables are: the PayPal gateway before the local providers.
    for (int i = dal->count - 1; i >= 0; i--) {
        DalProvider *p = dal->providers[i];
        if (!p || !p->slots.SQIGetProcedureInfo) continue;
        int r = p->slots.SQIGetProcedureInfo(owner, p->handle, name, out);
        if (r == DAL_NOT_MINE) continue;
        if (r == DAL_OK) *provider = i;
        return r;
    }
    return DAL_NOT_MINE;
}

int DALRunProcedure(DalIterator *it, int provider, const ProcedureInfo *procedure, int count,
                    Value *const *arguments) {
    if (provider < 0 || provider >= it->dal->count || !it->dal->providers[provider]) return DAL_ERROR;
    DalProvider *p = it->dal->providers[provider];
    if (!p->slots.SQIRunProcedure) {
        PostDalError(it->dal, it->owner, kDalComponent, 0, "HYC00", "Optional feature not implemented: procedures");
        return DAL_ERROR;
    }
    if (dal_open_provider(it, provider, nullptr) != DAL_OK) return DAL_ERROR;
    // The rows come from this provider alone.
    it->single_provider = 1;
    it->position = provider;
    it->end_reached = 0;
    return p->slots.SQIRunProcedure(it->iterators[provider], procedure, count, arguments);
}
