// Deferred column values: reading a fetched column on its first use.
//
// A scan whose provider allows lazy reads marks each column value of a row
// deferred (the value remembers its iterator, column number and, for exact
// numerics, a DeferredNumeric record shared by every row of that column);
// read_deferred_value reads it through the data access layer when an
// expression first needs it.
//
// Exports: DeferredNumeric, read_deferred_value, kDeferredTextCapacity.
#pragma once

#include <cstdint>

struct Value;

/// Per-column record of a deferred exact numeric (the value's
/// source_column_info): whether the provider was asked if it transfers
/// exact numerics, and its answer. Zeroed by the scan that owns it.
struct DeferredNumeric {
    int32_t asked;            // 1 once the provider has been asked
    int32_t transfers_exact;  // its answer; cleared when an exact read failed
};

/// Bytes of the text buffer of an exact numeric read as text.
inline constexpr int kDeferredTextCapacity = 128;

/// Reads the deferred value `v` from its iterator (source_iterator,
/// source_column) in the transfer type of its value type and clears the
/// deferred flag. On entry `length` of a VT_CHAR or VT_BINARY value is the
/// capacity of its data buffer (VT_CHAR: length + 1 bytes with the
/// terminator); on return it is the byte count read (the provider's
/// indicator, or the capacity when the data was cut), and a binary value's
/// reported_length holds the indicator. A scan that marks the value deferred
/// again restores the capacity. VT_LONG_CHAR and VT_LONG_BINARY are spooled
/// into the value's long buffer (made in the value's pool when absent).
/// is_null is -1 for SQL NULL and 0 otherwise.
/// Returns 0; 1 when the provider returned information (a cut value); 100
/// when it had no data; -1 when the read failed (a provider's own
/// diagnostic may be posted; the caller raises "Data Read Error").
[[nodiscard]] int read_deferred_value(Value *v);
