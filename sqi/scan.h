// Scans of PayPal tables: the steps SQIStartQuery, SQINextRow and SQIGetData
// share (query translation, paging, JSON row mapping).
//
// A scan lives in the PaypalIterator (sqi/session.h): its request (kept for
// further pages), the current page (its rows and their values, read from
// the reply in one pass: sqi/reply_page.h), the current row, the remembered
// filter values and the piece state of SQIGetData. scan_release drops all of
// it; SQIResetIterator and SQICloseIterator call it.
//
// Return codes are the provider's (dal/provider.h) unless a function says
// otherwise. Diagnostics go to the iterator's owner with SQLSTATE "HY000"
// and the component "Corvane Paypal ODBC Driver".
//
// Exports: FilterSlot, kFilterSlotCount, kMaxScanPages, restriction_value_text,
// adjust_strict_bound, KeyFromRestrictions, ApplyFilters, ExtractRows,
// FetchNextPage, scan_exchange, scan_read_page, scan_list_reply, scan_post, scan_post_state, scan_release,
// SQIStartQuery, SQINextRow, SQIGetData.
#pragma once

#include <cstdint>
#include <string>

#include "dal/provider.h"
#include "sqi/catalog.h"
#include "sqi/session.h"

struct Value;

// The remembered filter values of one scan (PaypalIterator::filters).
enum class FilterSlot : int32_t {
    kLower = 0,      // column flag 0x4
    kUpper = 1,      // 0x8
    kThird = 2,      // 0x200000
    kRemember1 = 3,  // 0x200
    kRemember2 = 4,  // 0x400
    kRemember3 = 5,  // 0x800
    kPathKey = 6,    // the key sent in the path (read back by key columns the reply lacks)
};
inline constexpr int kFilterSlotCount = 7;
static_assert(static_cast<int>(FilterSlot::kPathKey) == kFilterSlotCount - 1);

// A runaway server cannot keep a scan reading for ever: no scan reads more
// pages than this.
inline constexpr int32_t kMaxScanPages = 100000;

/// Posts `message` (HY000) on the iterator's owner.
void scan_post(const PaypalIterator *it, const char *message);
/// Posts `message` with `sqlstate` on the iterator's owner.
void scan_post_state(const PaypalIterator *it, const char *sqlstate, const char *message);

/// Drops the scan's reply, rows, filter values, request and piece state.
void scan_release(PaypalIterator *it);

/// The text a restriction value is sent as (NULL "NULL", characters as they
/// are, integers "%d", doubles without trailing zeros, exact numerics in
/// decimal, dates, times, timestamps "YYYY-MM-DDTHH:MM:SSZ", binary "0x"
/// and two hex digits per byte). Returns false when the value's type has no
/// text (nothing is sent for it).
[[nodiscard]] bool restriction_value_text(const Value *value, std::string &out);

/// Turns the value text of a strict bound into the adjacent inclusive one:
/// `direction` +1 for "greater than", -1 for "less than". Timestamps move
/// by one second, integers by one; other texts stay as they are (false).
bool adjust_strict_bound(std::string &text, int direction);

/// The key of a scan: the value text of the last equal restriction on the
/// column with the path-key flag among the first `count`. With `required`
/// and no such restriction it posts "Field '%s' must be specified in query"
/// (the path-key column) and returns 1; else 0 (`key` empty when none).
[[nodiscard]] int KeyFromRestrictions(PaypalIterator *it, int count, Restriction **restrictions,
                                      const PaypalTable *table, std::string &key, int required);

/// Adds the filter parameters of the first `count` restrictions to `req`
/// (the tightest of several on one column), sends the first of a column's
/// parameter_values when no restriction gave one, remembers the values rows
/// echo, and checks the mandatory filters. 0; 1 after posting one "Field '%s'
/// must be specified in query" per missing mandatory filter (lower, upper,
/// third), or 22023 for a value a column's parameter_values lack; 2 when two
/// different equalities on one column (or "= NULL" on one with listed
/// values) leave no row possible.
[[nodiscard]] int ApplyFilters(PaypalIterator *it, WebRequest *req, int count, Restriction **restrictions,
                               const PaypalTable *table);

/// Whether the scan's replies are lists (rows in the table's list) rather
/// than single objects: unkeyed scans of tables without the single-object
/// flag, and every scan of a table whose list is under its key.
[[nodiscard]] bool scan_list_reply(const PaypalTable *table, int keyed);

/// One GET of the scan: cache lookup, else the exchange, its status and the
/// cache store. On success the reply is the scan's page (no rows for a 404).
/// DAL_OK or DAL_ERROR (posted; the page then holds no rows).
[[nodiscard]] int scan_exchange(PaypalIterator *it, WebRequest *req);

/// Reads the page `req` asks for into the iterator in place of the held
/// one (rows not yet extracted). DAL_OK, or DAL_ERROR (posted; the scan's
/// request is dropped and the scan ends).
[[nodiscard]] int scan_read_page(PaypalIterator *it, WebRequest *req);

/// Takes the page's rows (list or single object) as the scan's and works out
/// the next page. Always DAL_OK (a reply without rows is an empty page).
int ExtractRows(PaypalIterator *it, const PaypalTable *table, int keyed);

/// Asks for the next page with the table's paging and extracts its rows.
/// DAL_OK or DAL_ERROR (posted; the scan's request is dropped).
[[nodiscard]] int FetchNextPage(PaypalIterator *it);

int SQIStartQuery(void *it, TableInfo *info, const ListNode *select_list, const ListNode *row_list, int count,
                  Restriction **restrictions);
int SQINextRow(void *it);
int SQIGetData(void *it, int column, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length);
