// Amount ranges: restrictions on a NUMERIC column with the amount-range flag
// (the transaction search's gross amount) sent together as one parameter,
// "<low> TO <high>" in the currency's minor units.
//
// Exports: amount_range_text, amount_range_filter.
#pragma once

#include <cstdint>
#include <string>

#include "dal/provider.h"

struct PaypalTable;
struct WebRequest;

/// The parameter text for the range [low, high] (decimal texts, either may
/// carry a sign and a fraction): both bounds in minor units, the lower one
/// rounded down and the upper one up. `decimals` is the currency's number of
/// decimal places, or -1 when the currency is not known: then the range
/// holds the amounts of every currency PayPal uses (0 or 2 places). False
/// when a bound is not a decimal number or is too large.
[[nodiscard]] bool amount_range_text(const std::string &low, const std::string &high, int decimals,
                                     std::string &out);

/// Adds the amount-range parameter of `table` to `req` when the first
/// `count` restrictions bound its amount column from both sides (=, or one
/// of > >= with one of < <=). Strict bounds are sent as inclusive ones and
/// several bounds on one side keep the tightest: the engine checks every
/// restriction on the rows again, so the range only has to hold them all. An
/// equal restriction on the amount's currency column (its sibling
/// "currency_code") gives the minor unit.
void amount_range_filter(WebRequest *req, int count, Restriction **restrictions, const PaypalTable *table);
