// Settled windows of a history scan fetched side by side: the pages of the
// windows a scan must fetch and keep (sqi/history_scan.h) asked for over up
// to `parallel_requests` extra connections of the PayPal connection, ahead
// of the scan, while it reads the windows before them.
//
// The live windows (not yet settled) are fetched ahead the same way, with
// the query's filters, so the tail of a query mostly read from the store is
// on its way while the stored rows are read.
//
// A worker takes the next window nobody has taken (at most K windows ahead
// of the one the scan waits for, so at most K windows' pages are held),
// fetches its pages one after the other (page 1 tells how many) and hands
// their texts on; the scan reads them in window order, as it would have
// read them itself. Workers post nothing: a failed window's diagnostics
// are kept and posted on the statement when the scan reaches it. The
// connections come from, and go back to, the connection's pool of kept
// clones (sqi/prefetch.h keeps them the same way); closing stops running
// requests at their next socket wait and joins the workers.
//
// Exports: HistoryFill, HistoryFillPtr, history_fill_start, history_fill_take.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sqi/history_scan.h"

struct PaypalIterator;
struct HistoryFill;
struct HistoryFillDeleter {
    void operator()(HistoryFill *fill) const;
};
using HistoryFillPtr = std::unique_ptr<HistoryFill, HistoryFillDeleter>;

// A diagnostic a worker's connection posted, for the scan to post.
struct HistoryFillDiag {
    std::string sqlstate, message;
};

/// Starts fetching `windows` (in the order the scan will take them: fill
/// windows with requests made from `fill` (the scan's request without the
/// query's filters), live ones from `live` (the query's own request), on up
/// to the connection's `parallel_requests` workers. Null when there is no
/// window, or no extra connection can be had (the scan then fetches them
/// itself).
[[nodiscard]] HistoryFillPtr history_fill_start(PaypalIterator *it, const WebRequest &fill, const WebRequest &live,
                                                std::vector<HistorySegment> windows);

/// Waits for window `index` (of those given to history_fill_start, taken
/// in order) and moves its page texts into `pages` (one per page; an empty
/// text for a reply without rows). False with `diags` when it failed.
[[nodiscard]] bool history_fill_take(HistoryFill *fill, size_t index, std::vector<std::string> &pages,
                                     std::vector<HistoryFillDiag> &diags);
