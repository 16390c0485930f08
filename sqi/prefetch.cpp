// Pages fetched ahead in parallel (see prefetch.h): the sequence of a scan's
// page requests, the workers that fetch them and the scan taking them in
// order.
//
// Workers start as requests are asked for, up to K: a scan with three pages
// left uses three, not K. Each worker's connection comes from the PayPal
// connection's pool of kept clones (transport/pool.h) and goes back to it
// when the scan ends, so the next scan's requests need no handshake.
//
// A request is named by its window (0 for a scan without windows) and page
// number. The sequence is window 0 pages 1..total, window 1 pages 1..total,
// ...; a window's total is known only once its first page has come, so until
// then the sequence counts it as one page and goes on with the next window's
// first page, whose request is needed either way.
//
// Exports: PagePrefetchDeleter, prefetch_next_page.
#include "sqi/prefetch.h"

#include <compare>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "sqi/page_reply.h"
#include "sqi/scan.h"

namespace {

constexpr int64_t kDaySeconds = 86400;
// Fewer requests than this left after the scan's page are read by the
// statement's own connection, one after the other: one request gains
// nothing from another connection and may cost a handshake.
constexpr int64_t kMinPagesAhead = 2;

struct PageKey {
    int32_t window;
    int32_t page;
    auto operator<=>(const PageKey &) const = default;
};

enum class SlotState : int32_t { kQueued = 0, kRunning = 1, kDone = 2 };

// A diagnostic of a worker's connection, kept for the scan to post.
struct PageDiag {
    std::string sqlstate;
    std::string message;  // masked by the connection's trace
};
constexpr size_t kMaxPageDiags = 4;

struct PageSlot {
    SlotState state = SlotState::kQueued;
    // The reply's text, parsed by the scan's thread (see page_reply.h).
    std::string text;
    std::string cache_key;         // where the text is stored once it parses
    bool rows = false;             // false: no rows (404)
    bool from_cache = false;       // the text came from the cache
    std::vector<PageDiag> diags;   // what to post, when failed
    bool failed = false;
};

// Receives the diagnostics of one worker's connection (its `owner`) while
// it fetches a page; only that worker touches it.
void keep_diag(void *owner, void *, const char *sqlstate, int, const char *message) {
    auto *diags = static_cast<std::vector<PageDiag> *>(owner);
    try {
        if (diags->size() < kMaxPageDiags) diags->push_back({sqlstate ? sqlstate : "HY000", message ? message : ""});
    } catch (const std::bad_alloc &) {
    }
}

}  // namespace

struct PagePrefetch {
    PaypalEnv *env = nullptr;
    WebRequest pattern{};  // the scan's request; workers copy it and set page and window
    std::atomic<int32_t> stop{0};  // set at close: a request in flight ends at its next socket wait
    int32_t workers_wanted = 1;
    // Windows (window_count 1 and no parameters for a scan without them).
    int32_t window_count = 1;
    int64_t first_start = 0;     // first second of window 0
    int64_t window_seconds = 0;  // length of a window
    int64_t range_end = 0;       // last second of the last window
    const char *lower_param = nullptr;
    const char *upper_param = nullptr;

    std::mutex lock;  // guards everything below
    std::condition_variable changed;
    std::map<PageKey, PageSlot> slots;     // asked for and not yet taken by the scan
    std::map<int32_t, int32_t> totals;     // window -> its page count, once known
    PageKey next{0, 0};                    // the request the scan takes next
    int64_t waited_ms = 0;                 // retry waits of the statement so far
    bool closing = false;

    RequestGate gate;  // one pause for every worker
    // Workers and their connections grow on the scan's thread only (and are
    // reserved for K, so never move); a worker is handed its connection.
    std::shared_ptr<ClonePool> pool;            // where connections come from and go back to
    std::vector<PaypalContextPtr> connections;  // one per worker
    std::vector<std::vector<PageDiag>> diags;   // per worker (K of them): its connection's diagnostics
    std::vector<std::thread> workers;
};

namespace {

int32_t total_pages_of(const ReplyPage &page) {
    int64_t n = page.loaded && page.has_total_pages ? page.total_pages : 1;
    if (n < 1) n = 1;
    if (n > kMaxScanPages) n = kMaxScanPages;
    return static_cast<int32_t>(n);
}

// The request after `key` in the sequence as far as it is known.
PageKey following(const PagePrefetch *pf, PageKey key) {
    auto total = pf->totals.find(key.window);
    if (total != pf->totals.end() && key.page < total->second) return {key.window, key.page + 1};
    return {key.window + 1, 1};
}

// Asks for the request the scan takes next and those after it, until K
// requests are outstanding. Under pf->lock.
void ask_ahead(PagePrefetch *pf) {
    PageKey key = pf->next;
    pf->slots.try_emplace(key);
    while (pf->slots.size() < static_cast<size_t>(pf->workers_wanted)) {
        key = following(pf, key);
        if (key.window >= pf->window_count) break;
        pf->slots.try_emplace(key);
    }
    pf->changed.notify_all();
}

// Fetches one page on `ctx`: the cache, else the exchange (whose retries
// pause every worker through the gate). True with the reply's text in
// `slot` (`rows` false: no rows), or false with `diags` (the connection's
// own, or the reply's error).
bool fetch_page(PagePrefetch *pf, PaypalContext *ctx, int worker, PageKey key, PageSlot &slot,
                std::vector<PageDiag> &diags) {
    std::vector<PageDiag> &posted = pf->diags[static_cast<size_t>(worker)];
    posted.clear();
    WebRequest req = pf->pattern;
    {
        // The retry waits of the statement so far, all workers together.
        std::lock_guard<std::mutex> guard(pf->lock);
        req.waited_ms = pf->waited_ms;
    }
    req.context = ctx;
    req.trace = &ctx->trace;
    req.error.clear();
    AddParameter(&req, "page", std::to_string(key.page), 0);
    if (pf->lower_param && pf->upper_param) {
        int64_t start = pf->first_start + key.window * pf->window_seconds;
        int64_t end = start + pf->window_seconds - 1;
        if (end > pf->range_end) end = pf->range_end;
        AddParameter(&req, pf->lower_param, windows_time_text(start), 0);
        AddParameter(&req, pf->upper_param, windows_time_text(end), 0);
    }
    (void)CacheKey(&req, slot.cache_key);
    if (page_text_from_cache(&pf->env->cache, slot.cache_key, slot.text)) {
        slot.rows = slot.from_cache = true;
        return true;
    }
    PP_TRACE(ctx, kPpTraceDetail, "Parallel request %d: window %d page %d", worker, key.window, key.page);
    WebResponsePtr resp;
    const int rc = WebExchange(&req, resp);
    if (req.waited_ms > 0) {
        std::lock_guard<std::mutex> guard(pf->lock);
        if (req.waited_ms > pf->waited_ms) pf->waited_ms = req.waited_ms;
    }
    if (rc != 0 || !resp) {
        diags = std::move(posted);
        if (diags.empty()) diags.push_back({"HY000", req.error.empty() ? "no response from server" : req.error});
        return false;
    }
    std::string error;
    if (page_text_from_reply(resp.get(), slot.text, &slot.rows, error) == 0) return true;
    diags.push_back({"HY000", std::move(error)});
    return false;
}

void work(PagePrefetch *pf, int worker, PaypalContext *ctx) {
    std::unique_lock<std::mutex> hold(pf->lock);
    for (;;) {
        auto queued = pf->slots.end();
        pf->changed.wait(hold, [&] {
            if (pf->closing) return true;
            // The earliest request first: the scan waits for it.
            for (queued = pf->slots.begin(); queued != pf->slots.end(); ++queued)
                if (queued->second.state == SlotState::kQueued) return true;
            return false;
        });
        if (pf->closing) return;
        const PageKey key = queued->first;
        queued->second.state = SlotState::kRunning;
        hold.unlock();
        PageSlot fetched;
        std::vector<PageDiag> diags;
        bool ok;
        try {
            ok = fetch_page(pf, ctx, worker, key, fetched, diags);
        } catch (const std::bad_alloc &) {
            ok = false;
        }
        hold.lock();
        // Only the scan erases slots, and only those done.
        PageSlot &slot = pf->slots[key];
        slot = std::move(fetched);
        slot.state = SlotState::kDone;
        slot.failed = !ok;
        slot.diags = std::move(diags);
        pf->changed.notify_all();
    }
}

// Starts workers until `wanted` run (at most K): each with a connection
// from the pool, its diagnostics kept for the scan. On the scan's thread,
// outside pf->lock (taking a new clone waits for the statement's own
// connection to be free). Fewer workers than wanted still work.
void grow_workers(PagePrefetch *pf, size_t wanted) {
    const PaypalEnv *env = pf->env;
    PaypalContext *main = env->session ? env->session->context.get() : nullptr;
    if (wanted > static_cast<size_t>(pf->workers_wanted)) wanted = static_cast<size_t>(pf->workers_wanted);
    while (main && pf->workers.size() < wanted) {
        const size_t i = pf->workers.size();
        PaypalContextPtr ctx = ClonePoolTake(pf->pool.get(), main);
        if (!ctx) return;
        PP_TRACE(&main->trace, kPpTraceDetail, "Parallel connection %d: %s", static_cast<int>(i),
                 ctx->socket_fd >= 0 ? "kept from an earlier scan" : "new");
        // Its diagnostics wait for the scan's thread, which posts them when
        // it reaches the page.
        ctx->owner = &pf->diags[i];
        ctx->post = keep_diag;
        PaypalContext *handed = ctx.get();
        pf->connections.push_back(std::move(ctx));  // reserved: does not throw
        try {
            pf->workers.emplace_back(work, pf, static_cast<int>(i), handed);
        } catch (const std::system_error &) {
            ClonePoolGive(pf->pool.get(), std::move(pf->connections.back()),
                          static_cast<size_t>(pf->workers_wanted));
            pf->connections.pop_back();
            return;
        }
    }
}

// The prefetch for `it` when its scan is one it serves and at least
// kMinPagesAhead requests are known to follow, or null. No worker runs yet.
PagePrefetchPtr start_prefetch(PaypalIterator *it) {
    PaypalEnv *env = it->env;
    const PaypalTable *table = it->table;
    if (!env || env->parallel_requests <= 1 || !table || table->paging != PagingStyle::kPageNumbers ||
        !it->request || it->single_object || !env->session || !env->session->context)
        return nullptr;
    PagePrefetchPtr pf(new (std::nothrow) PagePrefetch());
    if (!pf) return nullptr;
    pf->env = env;
    pf->workers_wanted = env->parallel_requests;
    int32_t window = 0;
    const ScanWindows &w = it->windows;
    if (w.active) {
        const EchoValue &lower_bound = it->filters[static_cast<int>(FilterSlot::kLower)];
        const char *lower = lower_bound.kind == JsonKind::kString ? lower_bound.text.c_str() : nullptr;
        int64_t low;
        if (!lower || !windows_parse_time(lower, &low) || table->window_days <= 0 || !w.lower_param ||
            !w.upper_param)
            return nullptr;
        pf->first_start = low;
        pf->window_seconds = int64_t{table->window_days} * kDaySeconds;
        pf->range_end = w.range_end;
        pf->lower_param = w.lower_param;
        pf->upper_param = w.upper_param;
        pf->window_count = static_cast<int32_t>((w.range_end - low) / pf->window_seconds + 1);
        window = static_cast<int32_t>((w.window_start - low) / pf->window_seconds);
    }
    const int32_t total = total_pages_of(it->page);
    pf->totals[window] = total;
    if (it->next_page > 0)
        pf->next = {window, it->next_page};
    else
        pf->next = {window + 1, 1};
    // Known to follow: the rest of this window's pages, and at least one
    // request for each later window.
    const int64_t ahead = (pf->next.window == window ? int64_t{total} - pf->next.page + 1 : 0) +
                          (int64_t{pf->window_count} - window - 1);
    if (ahead < kMinPagesAhead) return nullptr;
    pf->pattern = *it->request;
    pf->pattern.diag_owner = nullptr;
    pf->pattern.time_limit_seconds = paypal_time_limit(env, it->owner);
    pf->pattern.cancel = paypal_cancel_flag(env, it->owner);
    pf->pattern.gate = &pf->gate;
    pf->pattern.stop = &pf->stop;
    pf->waited_ms = pf->pattern.waited_ms;
    pf->pool = env->session->page_connections;
    const auto k = static_cast<size_t>(pf->workers_wanted);
    pf->diags.resize(k);
    pf->connections.reserve(k);
    pf->workers.reserve(k);
    PP_TRACE(&env->session->context->trace, kPpTraceDetail,
             "Fetching the pages after page %d over up to %d connections",
             it->requested_page > 0 ? it->requested_page : 1, pf->workers_wanted);
    return pf;
}

}  // namespace

void PagePrefetchDeleter::operator()(PagePrefetch *pf) const {
    if (!pf) return;
    {
        std::lock_guard<std::mutex> guard(pf->lock);
        pf->closing = true;
        pf->changed.notify_all();
    }
    // A running request ends at its next socket wait (a tenth of a second;
    // its connection is closed, not kept), a pause ends now.
    pf->stop.store(1, std::memory_order_release);
    GateClose(&pf->gate);
    for (std::thread &t : pf->workers) t.join();
    // No request runs now: the connections wait in the pool for the next
    // scan, their sockets and TLS sessions open.
    for (PaypalContextPtr &ctx : pf->connections)
        ClonePoolGive(pf->pool.get(), std::move(ctx), static_cast<size_t>(pf->workers_wanted));
    delete pf;
}

int prefetch_next_page(PaypalIterator *it) {
    if (!it->prefetch) {
        try {
            it->prefetch = start_prefetch(it);
        } catch (const std::bad_alloc &) {
            it->prefetch.reset();
        }
        if (!it->prefetch) return kPrefetchSequential;
    }
    PagePrefetch *pf = it->prefetch.get();
    PageKey key;
    PageSlot slot;
    size_t asked;
    bool short_of_memory = false;
    {
        std::lock_guard<std::mutex> guard(pf->lock);
        key = pf->next;
        if (key.window >= pf->window_count) return DAL_NO_DATA;
        try {
            ask_ahead(pf);
        } catch (const std::bad_alloc &) {
            short_of_memory = true;
        }
        asked = pf->slots.size();
    }
    if (short_of_memory) {
        scan_post_state(it, "HY001", "Memory allocation error");
        it->prefetch.reset();
        it->request.reset();
        return DAL_ERROR;
    }
    // As many workers as requests are outstanding, up to K.
    grow_workers(pf, asked);
    if (pf->workers.empty()) {
        // Neither a connection nor a thread could be had: the ordinary way.
        it->prefetch.reset();
        return kPrefetchSequential;
    }
    {
        std::unique_lock<std::mutex> hold(pf->lock);
        pf->changed.wait(hold, [&] { return pf->slots[key].state == SlotState::kDone; });
        auto found = pf->slots.find(key);
        slot = std::move(found->second);
        pf->slots.erase(found);
    }
    // The page just read is replaced by this one, in the same buffers.
    bool loaded = false;
    if (!slot.failed && slot.rows) {
        std::string error;
        loaded = page_load_text(it->page, std::move(slot.text), it->table, scan_list_reply(it->table, it->keyed),
                                error);
        if (!loaded) {
            slot.failed = true;
            slot.diags.push_back({"HY000", std::move(error)});
        } else if (!slot.from_cache) {
            page_store(&pf->env->cache, slot.cache_key, it->page.text);
        }
    } else {
        reply_page_clear(it->page);
    }
    {
        // A window's first page tells how many pages it has, and so which
        // request follows.
        std::lock_guard<std::mutex> guard(pf->lock);
        if (loaded && key.page == 1) pf->totals[key.window] = total_pages_of(it->page);
        pf->next = following(pf, key);
    }
    if (slot.failed) {
        if (slot.diags.empty()) scan_post_state(it, "HY001", "Memory allocation error");
        for (const PageDiag &d : slot.diags) scan_post_state(it, d.sqlstate.c_str(), d.message.c_str());
        it->prefetch.reset();
        it->request.reset();
        return DAL_ERROR;
    }
    it->requested_page = key.page;
    it->page_cursor.clear();
    ++it->pages_read;
    if (pf->lower_param) {
        ScanWindows &w = it->windows;
        w.window_start = pf->first_start + key.window * pf->window_seconds;
        w.window_end = w.window_start + pf->window_seconds - 1;
        if (w.window_end > pf->range_end) w.window_end = pf->range_end;
        if (key.page == 1) ++w.windows_read;
    }
    (void)ExtractRows(it, it->table, it->keyed);
    if (it->list_rows == 0 && !pf->lower_param) return DAL_NO_DATA;  // as a page-by-page scan ends
    it->at_end = 0;
    return DAL_OK;
}
