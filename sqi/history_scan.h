// Scans of the transaction search (Transactions, TransactionItems) over the
// history store: the query's time range split into windows read from the
// store, settled windows fetched once (with the time range alone, every
// record and field, so they serve any later filter) and kept, and the
// unsettled tail asked of PayPal every time.
//
// A window is settled once it ended more than `history_settle_hours` ago
// (default 72): PayPal hardly changes such records any more. Rows from the
// store are the details PayPal sent, read by the same row mapping, with the
// query's other pushed-down filters applied as PayPal applies them
// (sqi/history_rows.h), so they are the rows a fresh scan gives.
//
// Whatever goes wrong with the store (refused as unsafe, damaged, locked,
// full) is posted once per connection as a 01000 warning and the scan reads
// PayPal instead; a window is only delivered from the store once all of it
// has been read and checked, so no query gets partial rows from it.
//
// Exports: HistorySegmentKind, HistorySegment, history_plan, HistoryScan,
// HistoryScanPtr, kHistoryOff, history_cutoff, history_begin, history_next_page,
// history_covers, history_link_store.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sqi/history_store.h"
#include "transport/http.h"

struct PaypalIterator;

enum class HistorySegmentKind : int32_t {
    kStored = 0,  // read from the store
    kFill = 1,    // settled, not stored: fetched with the range alone, then stored
    kLive = 2,    // not settled: asked of PayPal with the query's filters
};
static_assert(static_cast<int>(HistorySegmentKind::kLive) == 2);

struct HistorySegment {
    HistorySegmentKind kind;
    int64_t start, end;  // Unix seconds, inclusive; at most one window long
};

/// The last second of the settled history at `now`: the last midnight (UTC)
/// at least `settle_seconds` ago, less one second. A whole day, so queries of
/// one day share it and the second finds the first one's windows.
[[nodiscard]] int64_t history_cutoff(int64_t now, int64_t settle_seconds);

/// Splits [low, high] into segments in time order: the settled part (up to
/// `cutoff`, inclusive) into stored pieces where `stored` windows cover it
/// and fill windows where they do not, the rest into live windows; no
/// segment longer than `window_seconds`, none crossing a stored window's
/// edge or `cutoff`.
[[nodiscard]] std::vector<HistorySegment> history_plan(int64_t low, int64_t high, int64_t cutoff,
                                                       int64_t window_seconds,
                                                       const std::vector<HistoryWindow> &stored);

struct HistoryScan;
struct HistoryScanDeleter {
    void operator()(HistoryScan *scan) const;
};
using HistoryScanPtr = std::unique_ptr<HistoryScan, HistoryScanDeleter>;

// history_begin's answer when the scan does not use the store.
inline constexpr int kHistoryOff = -1;

/// Called by SQIStartQuery once a windowed scan's request `req` is complete:
/// when the connection has a store and the table is read through the
/// transaction search, takes `req` as the scan's request and moves to the
/// first segment with rows. DAL_OK (rows ready, or none at all: the scan is
/// at its end), DAL_ERROR (posted) or kHistoryOff (`req` untouched: scan as
/// without a store).
[[nodiscard]] int history_begin(PaypalIterator *it, WebRequestPtr &req, int64_t now);

/// Moves a scan that uses the store to its next page of rows. DAL_OK,
/// DAL_NO_DATA (no segment left) or DAL_ERROR (posted).
[[nodiscard]] int history_next_page(PaypalIterator *it);

/// Whether the store holds every second of [low, high] for the record set
/// of the scan's request `req` (what lets a query reach past the years
/// PayPal keeps).
[[nodiscard]] bool history_covers(PaypalIterator *it, const WebRequest *req, int64_t low, int64_t high);

/// The connection's store, opened on first use (under the link's mutex);
/// null when the connection has none or it was refused (posted once as a
/// 01000 warning on `it`'s owner; with `it` null, as for a listing, nothing
/// is posted and the next query tries again).
[[nodiscard]] HistoryStore *history_link_store(PaypalIterator *it, HistoryLink *link);
