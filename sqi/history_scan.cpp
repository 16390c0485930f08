// Transaction search scans over the history store (see history_scan.h): the
// plan of stored, fill and live segments, and the scan moving through it.
//
// Exports: HistoryScanDeleter, history_cutoff, history_plan, history_begin,
// history_next_page, history_covers, history_link_store.
#include "sqi/history_scan.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "sqi/history_fill.h"
#include "sqi/history_rows.h"
#include "sqi/page_reply.h"
#include "sqi/scan.h"
#include "transport/paypal_trace.h"

namespace {

constexpr int64_t kDaySeconds = 86400;
// Rows of a stored segment are handed on in pages of the search's own size.
constexpr size_t kRowsPerPage = 500;
constexpr const char *kSearchEndpoint = "v1/reporting/transactions";
constexpr const char *kBalanceParameter = "balance_affecting_records_only";
// The parameters that decide paging, fields and the record set, not which
// records of a window come back: a fill request keeps them. Every other one
// is a filter of the query, applied to stored rows instead.
constexpr std::string_view kRangeParameters[] = {"start_date", "end_date", "page", "page_size",
                                                 "total_required", "fields", kBalanceParameter};

PaypalTraceHead *trace_of(const PaypalIterator *it) {
    return (it->env && it->env->session && it->env->session->context) ? &it->env->session->context->trace
                                                                        : nullptr;
}

// Posts the store's trouble once per connection as a warning; the trace
// has every one.
void warn(PaypalIterator *it, HistoryLink *link, const std::string &what, bool locked) {
    if (!it) return;  // a listing: its caller reports
    if (PaypalTraceHead *tr = trace_of(it))
        PP_TRACE(tr, kPpTraceDetail, "history store not used: %s", what.c_str());
    bool first;
    if (locked) {
        first = !link->warned;
        link->warned = true;
    } else {
        std::lock_guard<std::mutex> guard(link->lock);
        first = !link->warned;
        link->warned = true;
    }
    if (first) scan_post_state(it, "01000", (what + "; the query reads PayPal instead").c_str());
}

const char *parameter_value(const WebRequest *req, std::string_view name) {
    for (const WebParam &p : req->params)
        if (p.name == name) return p.value.c_str();
    return nullptr;
}

bool is_range_parameter(std::string_view name) {
    for (std::string_view k : kRangeParameters)
        if (name == k) return true;
    return false;
}

bool search_scan(const PaypalIterator *it) {
    return it->table && it->table->endpoint && strcmp(it->table->endpoint, kSearchEndpoint) == 0 &&
           it->windows.active && it->windows.lower_param && it->windows.upper_param && it->env &&
           it->env->session && it->env->session->history && !it->env->session->history->path.empty();
}

HistorySetKey set_key(const PaypalIterator *it, const WebRequest *req) {
    const PaypalSession *s = it->env->session.get();
    const char *balance = parameter_value(req, kBalanceParameter);
    return HistorySetKey{s->client_id, s->base_url, balance ? balance : "Y"};
}

}  // namespace

struct HistoryScan {
    std::shared_ptr<HistoryLink> link;  // keeps the store open while the scan runs
    HistoryStore *store = nullptr;
    int64_t set_id = 0;
    int64_t now = 0;
    std::vector<HistorySegment> plan;
    size_t next_segment = 0;
    bool live = false;              // the current segment is paged from PayPal
    std::vector<std::string> rows;  // the current stored or filled segment's details, filtered
    size_t row_pos = 0;             // the first not yet handed on
    HistoryFilter filter;           // the query's filters, for stored rows
    WebRequest fill{};              // the scan's request without the query's filters
    HistoryFillPtr ahead;           // the fill and live windows fetched side by side, or null
    size_t fills_taken = 0;         // windows taken from `ahead` so far
    std::vector<std::string> pages; // a live window's pages from `ahead`, handed on in turn
    size_t page_pos = 0;
};

void HistoryScanDeleter::operator()(HistoryScan *scan) const { delete scan; }

int64_t history_cutoff(int64_t now, int64_t settle_seconds) {
    int64_t t = now - settle_seconds;
    int64_t day = t >= 0 ? t / kDaySeconds : -((-t + kDaySeconds - 1) / kDaySeconds);
    return day * kDaySeconds - 1;
}

std::vector<HistorySegment> history_plan(int64_t low, int64_t high, int64_t cutoff, int64_t window_seconds,
                                         const std::vector<HistoryWindow> &stored) {
    std::vector<HistorySegment> out;
    if (window_seconds <= 0 || low > high) return out;
    std::vector<HistoryWindow> sorted(stored);
    std::sort(sorted.begin(), sorted.end(),
              [](const HistoryWindow &a, const HistoryWindow &b) { return a.start < b.start; });
    std::vector<std::pair<int64_t, int64_t>> covered;  // merged, adjacent ones joined
    for (const HistoryWindow &w : sorted) {
        if (!covered.empty() && w.start <= covered.back().second + 1)
            covered.back().second = std::max(covered.back().second, w.end);
        else
            covered.emplace_back(w.start, w.end);
    }
    const int64_t settled_end = std::min(high, cutoff);
    int64_t t = low;
    size_t c = 0;
    while (t <= settled_end) {
        while (c < covered.size() && covered[c].second < t) ++c;
        const int64_t limit = std::min(settled_end, t + window_seconds - 1);
        HistorySegment s{HistorySegmentKind::kFill, t, limit};
        if (c < covered.size() && covered[c].first <= t) {
            s.kind = HistorySegmentKind::kStored;
            s.end = std::min(limit, covered[c].second);
        } else if (c < covered.size()) {
            s.end = std::min(limit, covered[c].first - 1);
        }
        out.push_back(s);
        t = s.end + 1;
    }
    for (t = std::max(low, settled_end + 1); t <= high;) {
        const int64_t end = std::min(high, t + window_seconds - 1);
        out.push_back(HistorySegment{HistorySegmentKind::kLive, t, end});
        t = end + 1;
    }
    return out;
}

HistoryStore *history_link_store(PaypalIterator *it, HistoryLink *link) {
    std::lock_guard<std::mutex> guard(link->lock);
    if (link->store) return link->store.get();
    if (link->path.empty() || link->tried) return nullptr;
    if (it) link->tried = true;  // a listing tries again at the next query, which reports
    std::string error;
    link->store = history_store_open(link->path, error);
    if (!link->store) warn(it, link, error, true);
    else if (PaypalTraceHead *tr = it ? trace_of(it) : nullptr)
        PP_TRACE(tr, kPpTraceDetail, "history store %s open", link->path.c_str());
    return link->store.get();
}

bool history_covers(PaypalIterator *it, const WebRequest *req, int64_t low, int64_t high) {
    if (!search_scan(it) || low > high) return false;
    try {
        HistoryLink *link = it->env->session->history.get();
        HistoryStore *store = history_link_store(it, link);
        if (!store) return false;
        int64_t id = 0;
        std::string error;
        std::vector<HistoryWindow> stored;
        if (!history_store_set(store, set_key(it, req), false, &id, error) ||
            (id != 0 && !history_store_windows(store, id, stored, error))) {
            warn(it, link, error, false);
            return false;
        }
        for (const HistorySegment &s : history_plan(low, high, high, kDaySeconds, stored))
            if (s.kind != HistorySegmentKind::kStored) return false;
        return id != 0;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

namespace {

int ready(PaypalIterator *it) {
    it->at_end = 0;
    return DAL_OK;
}

void trace_segment(PaypalIterator *it, const char *what, const HistorySegment &s, size_t rows, size_t of) {
    if (PaypalTraceHead *tr = trace_of(it))
        PP_TRACE(tr, kPpTraceDetail, "history %s: %s .. %s, %d of %d rows", what, windows_time_text(s.start).c_str(),
                 windows_time_text(s.end).c_str(), static_cast<int>(rows), static_cast<int>(of));
}

void set_window(PaypalIterator *it, const HistorySegment &s) {
    ScanWindows &w = it->windows;
    w.window_start = s.start;
    w.window_end = s.end;
    ++w.windows_read;
}

// Hands on the next page of the current segment's rows.
int stored_page(PaypalIterator *it, HistoryScan *sc) {
    const size_t count = std::min(kRowsPerPage, sc->rows.size() - sc->row_pos);
    std::string text = history_page_text(sc->rows, sc->row_pos, count);
    sc->row_pos += count;
    std::string error;
    if (!page_load_text(it->page, std::move(text), it->table, true, error)) {
        scan_post(it, error.c_str());
        it->at_end = 1;
        return DAL_ERROR;
    }
    it->requested_page = 1;
    it->page_cursor.clear();
    (void)ExtractRows(it, it->table, it->keyed);
    return ready(it);
}

// Reads a stored segment into the scan's rows; false (warned, nothing
// kept) when the store fails or a detail does not read back as stored.
bool read_stored(PaypalIterator *it, HistoryScan *sc, const HistorySegment &s) {
    std::vector<HistoryDetail> details;
    std::string error;
    if (!history_store_read(sc->store, sc->set_id, s.start, s.end, details, error)) {
        warn(it, sc->link.get(), error, false);
        return false;
    }
    for (HistoryDetail &d : details) {
        HistoryFields f;
        if (!history_detail_fields(d.body, &f) || !f.has_time || f.time != d.time) {
            sc->rows.clear();
            warn(it, sc->link.get(), "history store is damaged: a stored transaction does not read back", false);
            return false;
        }
        if (history_filter_match(sc->filter, f)) sc->rows.push_back(std::move(d.body));
    }
    set_window(it, s);
    trace_segment(it, "hit, from the store", s, sc->rows.size(), details.size());
    return true;
}

// Asks PayPal for a segment with the query's filters, page by page.
int start_live(PaypalIterator *it, HistoryScan *sc, const HistorySegment &s, const char *why) {
    WebRequest *req = it->request.get();
    if (!req) return DAL_ERROR;
    AddParameter(req, it->windows.lower_param, windows_time_text(s.start), 0);
    AddParameter(req, it->windows.upper_param, windows_time_text(s.end), 0);
    AddParameter(req, "page", "1", 0);
    it->requested_page = 1;
    it->page_cursor.clear();
    set_window(it, s);
    trace_segment(it, why, s, 0, 0);
    if (scan_read_page(it, req) != DAL_OK) return DAL_ERROR;
    (void)ExtractRows(it, it->table, it->keyed);
    sc->live = true;
    return DAL_OK;
}

// Fetches a settled segment with the range alone, every page, keeps its
// details in the store (one transaction) and the query's among them as the
// scan's rows.
// A fill window's page read into the scan's page: its details split,
// checked and kept. DAL_OK; DAL_NO_DATA when a detail is not whole JSON;
// DAL_ERROR (posted) when the reply does not split.
int take_fill_page(PaypalIterator *it, HistoryScan *sc, std::vector<HistoryDetail> &details, bool &storable) {
    std::string error;
    std::vector<std::string> bodies;
    if (it->page.loaded && !history_split_details(it->page.text, bodies, error)) {
        scan_post(it, error.c_str());
        return DAL_ERROR;
    }
    for (std::string &body : bodies) {
        HistoryFields f;
        if (!history_detail_fields(body, &f)) return DAL_NO_DATA;
        // A detail whose time cannot be read cannot be placed in a later
        // query's range: the window is then not kept.
        if (!f.has_time) storable = false;
        if (history_filter_match(sc->filter, f)) sc->rows.push_back(body);
        details.push_back(HistoryDetail{f.has_time ? f.time : 0, std::move(body)});
    }
    return DAL_OK;
}

// Fetches a settled segment with the range alone, every page (fetched ahead
// by the workers when they run, else here), keeps its details in the store
// (one transaction) and the query's among them as the scan's rows.
// Takes the next window fetched ahead into `pages`; false after posting
// what the fetch met (the scan ends, as a failed page ends it).
bool take_ahead(PaypalIterator *it, HistoryScan *sc, std::vector<std::string> &pages) {
    std::vector<HistoryFillDiag> diags;
    if (history_fill_take(sc->ahead.get(), sc->fills_taken++, pages, diags)) return true;
    if (diags.empty()) scan_post(it, "no response from server");
    for (const HistoryFillDiag &d : diags) scan_post_state(it, d.sqlstate.c_str(), d.message.c_str());
    it->request.reset();
    it->at_end = 1;
    return false;
}

// Hands on the next page of a live window fetched ahead. DAL_OK (rows
// ready, possibly none) or DAL_ERROR (posted).
int ahead_page(PaypalIterator *it, HistoryScan *sc) {
    std::string text = std::move(sc->pages[sc->page_pos++]);
    ++it->pages_read;
    it->requested_page = static_cast<int32_t>(sc->page_pos);
    it->page_cursor.clear();
    if (text.empty()) {
        reply_page_clear(it->page);
        it->list_rows = it->page_rows = 0;
        return DAL_OK;
    }
    std::string error;
    if (!page_load_text(it->page, std::move(text), it->table, true, error)) {
        scan_post(it, error.c_str());
        it->at_end = 1;
        return DAL_ERROR;
    }
    (void)ExtractRows(it, it->table, it->keyed);
    return DAL_OK;
}

int fill(PaypalIterator *it, HistoryScan *sc, const HistorySegment &s) {
    std::vector<HistoryDetail> details;
    bool storable = true;
    int rc = DAL_OK;
    std::string error;
    if (sc->ahead) {
        std::vector<std::string> pages;
        if (!take_ahead(it, sc, pages)) return DAL_ERROR;
        for (std::string &text : pages) {
            if (rc != DAL_OK) break;
            ++it->pages_read;
            if (text.empty()) continue;  // a reply without rows
            if (!page_load_text(it->page, std::move(text), it->table, true, error)) {
                scan_post(it, error.c_str());
                rc = DAL_ERROR;
                break;
            }
            rc = take_fill_page(it, sc, details, storable);
        }
    } else {
        WebRequest req = sc->fill;
        AddParameter(&req, it->windows.lower_param, windows_time_text(s.start), 0);
        AddParameter(&req, it->windows.upper_param, windows_time_text(s.end), 0);
        int64_t total = 1;
        for (int64_t page = 1; page <= total && rc == DAL_OK; ++page) {
            AddParameter(&req, "page", std::to_string(page), 0);
            if (scan_exchange(it, &req) != DAL_OK) {
                reply_page_clear(it->page);
                it->request.reset();
                it->at_end = 1;
                return DAL_ERROR;
            }
            ++it->pages_read;
            if (page == 1 && it->page.loaded && it->page.has_total_pages)
                total = std::clamp<int64_t>(it->page.total_pages, 1, kMaxScanPages);
            rc = take_fill_page(it, sc, details, storable);
        }
    }
    reply_page_clear(it->page);
    if (rc == DAL_ERROR) {
        it->at_end = 1;
        return DAL_ERROR;
    }
    if (rc == DAL_NO_DATA) {
        // Not whole JSON: the filters cannot be judged on it. The window is
        // asked of PayPal with them, as without a store.
        sc->rows.clear();
        return start_live(it, sc, s, "a detail is not whole JSON, asked of PayPal");
    }
    set_window(it, s);
    trace_segment(it, "miss, fetched", s, sc->rows.size(), details.size());
    if (!storable) {
        if (PaypalTraceHead *tr = trace_of(it))
            PP_TRACE(tr, kPpTraceDetail, "history: window not kept, a transaction has no initiation time");
        return DAL_OK;
    }
    if (!history_store_put(sc->store, sc->set_id, s.start, s.end, sc->now, details, error))
        warn(it, sc->link.get(), error, false);
    return DAL_OK;
}

}  // namespace

int history_next_page(PaypalIterator *it) {
    HistoryScan *sc = it->history.get();
    if (!sc) return DAL_NO_DATA;
    try {
        for (;;) {
            if (sc->live && it->next_page > 0) {
                if (FetchNextPage(it) != DAL_OK) return DAL_ERROR;
                if (it->list_rows > 0) return ready(it);
                continue;
            }
            sc->live = false;
            if (sc->page_pos < sc->pages.size()) {
                if (ahead_page(it, sc) != DAL_OK) return DAL_ERROR;
                if (it->list_rows > 0) return ready(it);
                continue;
            }
            sc->pages.clear();
            sc->page_pos = 0;
            if (sc->row_pos < sc->rows.size()) return stored_page(it, sc);
            sc->rows.clear();
            sc->row_pos = 0;
            if (sc->next_segment >= sc->plan.size()) return DAL_NO_DATA;
            const HistorySegment s = sc->plan[sc->next_segment++];
            int rc = DAL_OK;
            switch (s.kind) {
                case HistorySegmentKind::kStored:
                    if (read_stored(it, sc, s)) continue;
                    rc = start_live(it, sc, s, "store unusable, asked of PayPal");
                    break;
                case HistorySegmentKind::kFill:
                    rc = fill(it, sc, s);
                    break;
                case HistorySegmentKind::kLive:
                    if (sc->ahead) {
                        if (!take_ahead(it, sc, sc->pages)) return DAL_ERROR;
                        set_window(it, s);
                        if (PaypalTraceHead *tr = trace_of(it))
                            PP_TRACE(tr, kPpTraceDetail, "history not settled, fetched ahead: %s .. %s, %d pages",
                                     windows_time_text(s.start).c_str(), windows_time_text(s.end).c_str(),
                                     static_cast<int>(sc->pages.size()));
                        continue;
                    }
                    rc = start_live(it, sc, s, "not settled, asked of PayPal");
                    break;
            }
            if (rc != DAL_OK) return rc;
            if (sc->live && it->list_rows > 0) return ready(it);
        }
    } catch (const std::bad_alloc &) {
        scan_post_state(it, "HY001", "Memory allocation error");
        it->at_end = 1;
        return DAL_ERROR;
    }
}

int history_begin(PaypalIterator *it, WebRequestPtr &req, int64_t now) {
    if (!req || !search_scan(it)) return kHistoryOff;
    try {
        std::shared_ptr<HistoryLink> link = it->env->session->history;
        HistoryStore *store = history_link_store(it, link.get());
        if (!store) return kHistoryOff;
        HistoryScanPtr sc(new HistoryScan());
        sc->link = link;
        sc->store = store;
        sc->now = now;
        sc->fill = *req;
        std::vector<WebParam> &params = sc->fill.params;
        for (auto p = params.begin(); p != params.end();) {
            if (is_range_parameter(p->name)) {
                ++p;
                continue;
            }
            if (!history_filter_add(sc->filter, p->name, p->value)) {
                if (PaypalTraceHead *tr = trace_of(it))
                    PP_TRACE(tr, kPpTraceDetail, "history store not used: %s cannot be applied to stored rows",
                             p->name.c_str());
                return kHistoryOff;
            }
            p = params.erase(p);
        }
        std::string error;
        std::vector<HistoryWindow> stored;
        if (!history_store_set(store, set_key(it, req.get()), true, &sc->set_id, error) ||
            !history_store_windows(store, sc->set_id, stored, error)) {
            warn(it, link.get(), error, false);
            return kHistoryOff;
        }
        const ScanWindows &w = it->windows;
        const int64_t cutoff = history_cutoff(now, link->settle_seconds);
        sc->plan = history_plan(w.window_start, w.range_end, cutoff, int64_t{it->table->window_days} * kDaySeconds,
                                stored);
        size_t n[3] = {0, 0, 0};
        for (const HistorySegment &s : sc->plan) ++n[static_cast<int>(s.kind)];
        // Nothing settled in the range: the ordinary scan, with its pages
        // fetched in parallel, serves it as well.
        if (n[0] + n[1] == 0) return kHistoryOff;
        if (PaypalTraceHead *tr = trace_of(it)) {
            PP_TRACE(tr, kPpTraceDetail, "history: %d windows stored, %d to fetch and keep, %d not settled (after %s)",
                     static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<int>(n[2]),
                     windows_time_text(cutoff).c_str());
        }
        // Fetched ahead: every window PayPal is asked for, when there are
        // two or more, or stored rows to read meanwhile.
        std::vector<HistorySegment> ahead;
        for (const HistorySegment &s : sc->plan)
            if (s.kind != HistorySegmentKind::kStored) ahead.push_back(s);
        if (ahead.size() >= 2 || (n[0] > 0 && !ahead.empty()))
            sc->ahead = history_fill_start(it, sc->fill, *req, std::move(ahead));
        it->request = std::move(req);
        it->history = std::move(sc);
    } catch (const std::bad_alloc &) {
        scan_post_state(it, "HY001", "Memory allocation error");
        return DAL_ERROR;
    }
    int rc = history_next_page(it);
    if (rc == DAL_NO_DATA) {
        it->at_end = 1;
        it->list_rows = it->page_rows = 0;
        return DAL_OK;
    }
    return rc;
}
