// Pages of a scan fetched ahead, side by side, over extra connections of the
// same PayPal connection.
//
// Once a scan's first page says how many pages follow ("total_pages"), and
// for the date windows of a windowed scan, the pages after it are known
// requests: when at least two are left, up to `parallel_requests` (K)
// workers, each on its own socket and TLS session with the connection's
// token, fetch them while the engine reads rows (one page left is read on
// the statement's own connection, as without the prefetch). The workers'
// connections come from the PayPal connection's pool, open from its
// earlier scans when it has them. Rows still come in exactly the order of a
// scan that reads one page after the other.
//
// On demand: nothing starts until the engine asks for the row after the
// first page's last; each time the scan moves to a page, the pages up to K
// ahead of it (itself included) are asked for and no more, so a scan that
// stops early has wasted at most K - 1 requests, and at most K pages are
// held. Workers fetch a page's text; the scan parses it when it reaches the
// page, so the parse allocates and frees in one thread. A 429 or retryable
// failure on any worker pauses all of them through one RequestGate. Workers
// post nothing: a failed page's diagnostics (with their SQLSTATEs) are kept
// and posted on the statement when the scan reaches that page, after the
// rows of every page before it. Releasing the prefetch closes the gate, lets
// running requests end, joins the workers, gives their connections back to
// the pool and drops the pages nobody read.
//
// Exports: PagePrefetch, PagePrefetchPtr, kDefaultParallelRequests,
// kMaxParallelRequests, kPrefetchSequential, prefetch_next_page
// (prefetch.cpp).
#pragma once

#include <memory>

struct PaypalIterator;
struct PagePrefetch;

struct PagePrefetchDeleter {
    void operator()(PagePrefetch *prefetch) const;
};
using PagePrefetchPtr = std::unique_ptr<PagePrefetch, PagePrefetchDeleter>;

inline constexpr int kDefaultParallelRequests = 4;
inline constexpr int kMaxParallelRequests = 16;
// prefetch_next_page's answer for a scan it does not serve.
inline constexpr int kPrefetchSequential = -1;

/// Moves the scan to its next page when the scan is one the prefetch serves
/// (page numbers, K > 1, a known page count or windows still ahead, two
/// requests or more left), starting workers as pages are asked for. DAL_OK (the page's rows are
/// extracted, possibly none), DAL_NO_DATA (no page left), DAL_ERROR (posted;
/// the scan ends) or kPrefetchSequential (read the next page the ordinary
/// way).
[[nodiscard]] int prefetch_next_page(PaypalIterator *it);
