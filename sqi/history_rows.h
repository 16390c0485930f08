// Transaction details as the history store keeps them: the raw JSON text of
// each element of a transaction search reply, the few members PayPal's
// search filters compare, and those filters applied to stored details
// exactly as the search applies them.
//
// Stored windows are fetched with the time range alone, so that they serve
// any later query; a query's own filters (transaction id, event code,
// status, currency, amount range) are then applied here, to stored rows:
// string equality on the member the parameter names, and the amount range
// in the currency's minor units, both bounds inclusive.
//
// Lifetimes: nothing is kept; views point into the caller's text.
//
// Exports: HistoryFields, HistoryFilter, history_split_details,
// history_detail_fields, history_filter_add, history_filter_match,
// history_minor_units, history_page_text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The members of one detail the search filters compare.
struct HistoryFields {
    bool has_time;              // transaction_initiation_date read
    int64_t time;               // Unix seconds (UTC)
    std::string id;             // transaction_info.transaction_id
    std::string event_code;     // transaction_info.transaction_event_code
    std::string status;         // transaction_info.transaction_status
    std::string currency;       // transaction_info.transaction_amount.currency_code
    bool has_amount;            // the amount's value read into minor units
    int64_t amount_minor;       // transaction_info.transaction_amount.value in minor units
};

// Which member an equality parameter compares.
enum class HistoryMember : int32_t { kId = 0, kEventCode = 1, kStatus = 2, kCurrency = 3 };

struct HistoryFilter {
    std::vector<std::pair<HistoryMember, std::string>> equal;  // every one must hold
    bool has_amount = false;
    int64_t amount_low = 0, amount_high = 0;  // minor units, inclusive
};

/// The raw text of each element of the top-level member "transaction_details"
/// of reply `text` (none when the member is absent or empty). False with
/// `error` when the reply is not a JSON object or the member not an array of
/// objects.
[[nodiscard]] bool history_split_details(std::string &text, std::vector<std::string> &out, std::string &error);

/// Reads the filter members of one detail. False when `body` is not a JSON
/// object, every token checked (a damaged or mis-split detail); missing
/// members stay empty.
[[nodiscard]] bool history_detail_fields(std::string_view body, HistoryFields *out);

/// Adds query parameter `name` = `value` of the search to `filter`. False
/// for a parameter the store cannot apply (unknown, or an amount range that
/// does not read): the scan then asks PayPal.
[[nodiscard]] bool history_filter_add(HistoryFilter &filter, std::string_view name, std::string_view value);

/// Whether a detail passes every filter.
[[nodiscard]] bool history_filter_match(const HistoryFilter &filter, const HistoryFields &fields);

/// An amount text ("-12.34") in minor units of `currency`: cents, or whole
/// units for the currencies PayPal keeps without decimals; digits past the
/// second are dropped. False for a text that is not a decimal number.
[[nodiscard]] bool history_minor_units(std::string_view value, std::string_view currency, int64_t *out);

/// A reply text holding `bodies[first, first + count)` as its
/// "transaction_details", read by the table's row mapping like PayPal's own.
[[nodiscard]] std::string history_page_text(const std::vector<std::string> &bodies, size_t first, size_t count);
