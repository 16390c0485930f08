// Building blocks of the two providers the driver answers itself (stored
// views and INFO_SCHEMA): an environment record, an iterator that knows only
// whether it is exhausted, and the slot functions whose answer is the same
// for both while their catalogues are empty; and the iterator slots
// (open, close) each provider instantiates for its own iterator record.
#pragma once

#include <memory>
#include <new>
#include <type_traits>

#include "dal/dal.h"
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

/// SQIOpenIterator for a provider whose iterator record `It` has members
/// `env` (its environment record, which has `link`) and `owner`: a new
/// value-initialized record, or null after posting HY001 on `owner`.
template <typename It>
void *local_open_iterator(void *owner, void *env, DalProvider *, const Node *) {
    using Env = std::remove_pointer_t<decltype(It::env)>;
    std::unique_ptr<It> it(new (std::nothrow) It{});
    if (!it) {
        PostDalError(static_cast<Env *>(env)->link.dal, owner, kDalComponent, 0, "HY001", "Memory allocation error");
        return nullptr;
    }
    it->env = static_cast<Env *>(env);
    it->owner = owner;
    return it.release();
}

/// SQICloseIterator for the record local_open_iterator<It> made.
template <typename It>
int local_close_iterator(void *it) {
    std::unique_ptr<It> owned(static_cast<It *>(it));
    return DAL_OK;
}
