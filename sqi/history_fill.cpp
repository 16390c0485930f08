// Settled windows fetched side by side (see history_fill.h).
//
// Exports: HistoryFillDeleter, history_fill_start, history_fill_take.
#include "sqi/json_parse.h"  // first: simdjson without exceptions
#include "sqi/history_fill.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "sqi/page_reply.h"
#include "sqi/scan.h"
#include "transport/paypal_trace.h"

namespace {

constexpr size_t kMaxDiags = 4;

enum class WindowState : int32_t { kWaiting = 0, kRunning = 1, kDone = 2, kTaken = 3 };

struct WindowSlot {
    HistorySegment segment;
    WindowState state = WindowState::kWaiting;
    std::vector<std::string> pages;
    std::vector<HistoryFillDiag> diags;
    bool failed = false;
};

// Receives the diagnostics of one worker's connection while it fetches.
void keep_diag(void *owner, void *, const char *sqlstate, int, const char *message) {
    auto *diags = static_cast<std::vector<HistoryFillDiag> *>(owner);
    try {
        if (diags->size() < kMaxDiags) diags->push_back({sqlstate ? sqlstate : "HY000", message ? message : ""});
    } catch (const std::bad_alloc &) {
    }
}

// "total_pages" of a search reply (1 when absent or unreadable).
int64_t total_pages(std::string &text) {
    json_od::parser *parser = thread_json_parser();
    int64_t n = 1;
    json_od::document doc;
    json_od::object root;
    if (parser && !parser->iterate(json_padded(text)).get(doc) && !doc.get_object().get(root)) {
        int64_t v;
        if (!root.find_field_unordered("total_pages").get_int64().get(v)) n = v;
    }
    thread_json_parser_done(text.size());
    return n < 1 ? 1 : n > kMaxScanPages ? kMaxScanPages : n;
}

}  // namespace

struct HistoryFill {
    PaypalEnv *env = nullptr;
    WebRequest pattern{};              // fill windows: the range alone
    WebRequest live_pattern{};         // live windows: the query's request
    const char *lower_param = nullptr;
    const char *upper_param = nullptr;
    size_t ahead = 1;                  // windows fetched ahead of the scan, K
    std::atomic<int32_t> stop{0};
    RequestGate gate;
    std::mutex lock;                   // guards the slots, `next_taken` and `closing`
    std::condition_variable changed;
    std::vector<WindowSlot> slots;
    size_t next_taken = 0;             // the window the scan takes next
    bool closing = false;
    std::shared_ptr<ClonePool> pool;
    std::vector<PaypalContextPtr> connections;
    std::vector<std::vector<HistoryFillDiag>> posted;  // per worker: its connection's diagnostics
    std::vector<std::thread> workers;
};

namespace {

// Fetches every page of one window on `ctx`. False with `diags`.
bool fetch_window(HistoryFill *hf, PaypalContext *ctx, std::vector<HistoryFillDiag> &posted, WindowSlot &slot,
                  std::vector<std::string> &pages, std::vector<HistoryFillDiag> &diags) {
    WebRequest req = slot.segment.kind == HistorySegmentKind::kLive ? hf->live_pattern : hf->pattern;
    req.context = ctx;
    req.trace = &ctx->trace;
    req.error.clear();
    AddParameter(&req, hf->lower_param, windows_time_text(slot.segment.start), 0);
    AddParameter(&req, hf->upper_param, windows_time_text(slot.segment.end), 0);
    int64_t total = 1;
    for (int64_t page = 1; page <= total; ++page) {
        if (hf->stop.load(std::memory_order_acquire)) return false;
        AddParameter(&req, "page", std::to_string(page), 0);
        std::string key, text;
        (void)CacheKey(&req, key);
        if (!page_text_from_cache(&hf->env->cache, key, text)) {
            posted.clear();
            PP_TRACE(ctx, kPpTraceDetail, "history fill: %s .. %s page %d",
                     windows_time_text(slot.segment.start).c_str(), windows_time_text(slot.segment.end).c_str(),
                     static_cast<int>(page));
            WebResponsePtr resp;
            if (WebExchange(&req, resp) != 0 || !resp) {
                diags = std::move(posted);
                if (diags.empty()) diags.push_back({"HY000", req.error.empty() ? "no response from server" : req.error});
                return false;
            }
            bool rows = false;
            std::string error;
            if (page_text_from_reply(resp.get(), text, &rows, error) != 0) {
                diags.push_back({"HY000", std::move(error)});
                return false;
            }
            if (!rows) text.clear();
        }
        if (page == 1 && !text.empty()) total = total_pages(text);
        pages.push_back(std::move(text));
    }
    return true;
}

void work(HistoryFill *hf, size_t worker, PaypalContext *ctx) {
    std::unique_lock<std::mutex> hold(hf->lock);
    for (;;) {
        size_t index = 0;
        hf->changed.wait(hold, [&] {
            if (hf->closing) return true;
            for (index = hf->next_taken; index < hf->slots.size() && index < hf->next_taken + hf->ahead; ++index)
                if (hf->slots[index].state == WindowState::kWaiting) return true;
            return false;
        });
        if (hf->closing) return;
        WindowSlot &slot = hf->slots[index];  // slots never move once made
        slot.state = WindowState::kRunning;
        hold.unlock();
        std::vector<std::string> pages;
        std::vector<HistoryFillDiag> diags;
        bool ok;
        try {
            ok = fetch_window(hf, ctx, hf->posted[worker], slot, pages, diags);
        } catch (const std::bad_alloc &) {
            ok = false;
        }
        hold.lock();
        slot.pages = std::move(pages);
        slot.diags = std::move(diags);
        slot.failed = !ok;
        slot.state = WindowState::kDone;
        hf->changed.notify_all();
    }
}

}  // namespace

void HistoryFillDeleter::operator()(HistoryFill *hf) const {
    if (!hf) return;
    {
        std::lock_guard<std::mutex> guard(hf->lock);
        hf->closing = true;
        hf->changed.notify_all();
    }
    hf->stop.store(1, std::memory_order_release);
    GateClose(&hf->gate);
    for (std::thread &t : hf->workers) t.join();
    for (PaypalContextPtr &ctx : hf->connections) ClonePoolGive(hf->pool.get(), std::move(ctx), hf->ahead);
    delete hf;
}

HistoryFillPtr history_fill_start(PaypalIterator *it, const WebRequest &fill, const WebRequest &live,
                                  std::vector<HistorySegment> windows) {
    PaypalEnv *env = it->env;
    if (windows.empty() || !env || env->parallel_requests <= 1 || !env->session || !env->session->context ||
        !it->windows.lower_param || !it->windows.upper_param)
        return nullptr;
    HistoryFillPtr hf(new (std::nothrow) HistoryFill());
    if (!hf) return nullptr;
    hf->env = env;
    hf->pattern = fill;
    hf->live_pattern = live;
    for (WebRequest *p : {&hf->pattern, &hf->live_pattern}) {
        p->diag_owner = nullptr;
        p->time_limit_seconds = paypal_time_limit(env, it->owner);
        p->cancel = paypal_cancel_flag(env, it->owner);
        p->gate = &hf->gate;
        p->stop = &hf->stop;
    }
    hf->lower_param = it->windows.lower_param;
    hf->upper_param = it->windows.upper_param;
    hf->ahead = static_cast<size_t>(env->parallel_requests);
    hf->slots.resize(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) hf->slots[i].segment = windows[i];
    hf->pool = env->session->page_connections;
    const size_t k = std::min(hf->ahead, windows.size());
    hf->posted.resize(k);
    hf->connections.reserve(k);
    hf->workers.reserve(k);
    PaypalContext *main = env->session->context.get();
    while (hf->workers.size() < k) {
        const size_t i = hf->workers.size();
        PaypalContextPtr ctx = ClonePoolTake(hf->pool.get(), main);
        if (!ctx) break;
        ctx->owner = &hf->posted[i];
        ctx->post = keep_diag;
        PaypalContext *handed = ctx.get();
        hf->connections.push_back(std::move(ctx));
        try {
            hf->workers.emplace_back(work, hf.get(), i, handed);
        } catch (const std::system_error &) {
            ClonePoolGive(hf->pool.get(), std::move(hf->connections.back()), hf->ahead);
            hf->connections.pop_back();
            break;
        }
    }
    if (hf->workers.empty()) return nullptr;
    PP_TRACE(main, kPpTraceDetail, "history: %d windows to keep fetched over %d connections",
             static_cast<int>(windows.size()), static_cast<int>(hf->workers.size()));
    return hf;
}

bool history_fill_take(HistoryFill *hf, size_t index, std::vector<std::string> &pages,
                       std::vector<HistoryFillDiag> &diags) {
    std::unique_lock<std::mutex> hold(hf->lock);
    if (index >= hf->slots.size()) return false;
    hf->next_taken = index;
    hf->changed.notify_all();
    hf->changed.wait(hold, [&] { return hf->slots[index].state == WindowState::kDone; });
    WindowSlot &slot = hf->slots[index];
    pages = std::move(slot.pages);
    diags = std::move(slot.diags);
    slot.state = WindowState::kTaken;
    hf->next_taken = index + 1;
    hf->changed.notify_all();
    return !slot.failed;
}
