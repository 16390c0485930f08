// Which columns PayPal's published request schemas let a POST body carry
// and a PATCH replace, per changeable table. The catalogue describes the
// replies; the requests accept less (read-only members such as ids and
// times are refused by PayPal), so a change that names a column PayPal
// would reject is refused here with a message that says why.
//
// Exports: ChangeRule, change_rule, change_allows.
#pragma once

#include <cstdint>

struct PaypalTable;

enum class ChangeRule : int32_t { kInsert = 0, kPatch = 1 };

/// 1 when `column` (a catalogue column name) may be sent in a `rule` request
/// for `table`; tables without published schema accept every column.
[[nodiscard]] int change_allows(const PaypalTable *table, ChangeRule rule, const char *column);
