// Descriptor operations shared by the descriptor calls and the statement
// attributes that live in descriptors.
//
// Record arrays live in the descriptor's record pool and always hold
// records 0 (the bookmark) to record_count, so an index within the count
// is always backed by memory.
//
// Exports: desc_record_at, desc_set_count, desc_state_check, desc_is_impl.
#pragma once

#include "odbc/handles.h"
#include "odbc/state.h"

/// Record `rec` (0 to 32767) of `desc`, growing the array (and the count,
/// when `rec` is above it) as needed. Null after posting HY001 on the
/// descriptor when memory is exhausted.
[[nodiscard]] DescRecord *desc_record_at(DESC *desc, int rec);

/// Sets the record count: growing adds empty records, shrinking clears the
/// records above the new count. 0, or -1 after posting HY001.
[[nodiscard]] int desc_set_count(DESC *desc, int count);

/// Runs the owning statement's transition check for a descriptor call
/// (`function_id` 1008/1009/1017/1018) and moves any refusal onto the
/// descriptor's own diagnostics, where the application looks for it.
/// 0 when the call may go on; -1 after posting on the descriptor. A
/// descriptor the application allocated has no statement and is never refused.
[[nodiscard]] int desc_state_check(DESC *desc, int function_id);

/// True for an implementation descriptor (IRD or IPD).
[[nodiscard]] inline bool desc_is_impl(const DESC *desc) {
    return desc->header.type == DESC_IRD || desc->header.type == DESC_IPD;
}
