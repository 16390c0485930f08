// Helpers shared by the DAL's own modules.
#pragma once

#include "dal/dal.h"

/// Opens provider i's iterator if not yet open (slot 8, then its time-out).
/// DAL_ERROR when the provider gives none.
[[nodiscard]] int dal_open_provider(DalIterator *it, int i, const Node *ddl);
/// Opens every provider's iterator.
[[nodiscard]] int dal_open_all(DalIterator *it);
/// The provider named `name` (case-insensitive), or -1.
[[nodiscard]] int dal_provider_by_name(const DalRecord *dal, std::string_view name);
