// Paging of PayPal scans: one GET through the cache and the transport,
// finding a page's rows in the reply, asking for the next page in the way
// the table's API pages (page numbers up to "total_pages", the "next" link's
// "next_page_token", or "count" with "next_id"), and SQINextRow walking rows,
// child rows and pages.
//
// Paging can never loop: a page number always rises above the one just
// read and stops after "total_pages"; a token or id that repeats the one
// just sent ends the scan; and no scan reads more than kMaxScanPages pages.
//
// Exports: scan_list_reply, scan_exchange, scan_read_page, ExtractRows,
// FetchNextPage, SQINextRow.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "transport/paypal_trace.h"
#include "sqi/page_reply.h"
#include "sqi/prefetch.h"
#include "sqi/scan.h"

namespace {

PaypalTraceHead *trace_of(const PaypalIterator *it) {
    return (it->env && it->env->session && it->env->session->context) ? &it->env->session->context->trace
                                                                        : nullptr;
}

int post_error(PaypalIterator *it, const std::string &text) {
    scan_post(it, text.c_str());
    return DAL_ERROR;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value of query parameter `name` in `href` (percent-decoded), or "".
std::string query_value(std::string_view href, std::string_view name) {
    size_t q = href.find('?');
    if (q == std::string_view::npos) return {};
    std::string_view rest = href.substr(q + 1);
    while (!rest.empty()) {
        size_t amp = rest.find('&');
        std::string_view pair = rest.substr(0, amp);
        size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) {
            std::string out;
            std::string_view v = pair.substr(eq + 1);
            for (size_t i = 0; i < v.size(); ++i) {
                if (v[i] == '%' && i + 2 < v.size() && hex_digit(v[i + 1]) >= 0 && hex_digit(v[i + 2]) >= 0) {
                    out += static_cast<char>(hex_digit(v[i + 1]) * 16 + hex_digit(v[i + 2]));
                    i += 2;
                } else {
                    out += v[i] == '+' ? ' ' : v[i];
                }
            }
            return out;
        }
        if (amp == std::string_view::npos) break;
        rest = rest.substr(amp + 1);
    }
    return {};
}

}  // namespace

namespace {

// scan_exchange: the reply becomes the scan's page in place of the one held
// (whose buffers it reuses).
int exchange(PaypalIterator *it, WebRequest *req) {
    PaypalEnv *env = it->env;
    const bool list = scan_list_reply(it->table, it->keyed);
    std::string key;
    (void)CacheKey(req, key);
    const std::string *cached = nullptr;
    if (!it->fresh && CacheLookup(&env->cache, key, &cached)) {
        std::string error;
        bool loaded = false;
        try {
            it->page.text.assign(*cached);
            loaded = reply_page_load(it->page, it->table, list, error);
        } catch (const std::bad_alloc &) {
        }
        CacheRelease(&env->cache, cached);
        if (loaded) return DAL_OK;
    }
    WebResponsePtr resp;
    // The transport's own diagnostics go to the statement that scans, and
    // its query time-out bounds the exchange.
    req->diag_owner = it->owner;
    req->time_limit_seconds = paypal_time_limit(env, it->owner);
    req->cancel = paypal_cancel_flag(env, it->owner);
    int rc = WebExchange(req, resp);
    if (rc != 0 || !resp) {
        reply_page_clear(it->page);
        // No reply at all: the transport has posted why, unless it could not.
        if (paypal_diag_count(env, it->owner) > 0) return DAL_ERROR;
        return post_error(it, req->error.empty() ? "no response from server" : req->error.c_str());
    }
    std::string error;
    if (page_from_reply(&env->cache, key, resp.get(), it->page, it->table, list, error) != 0)
        return post_error(it, error);
    return DAL_OK;
}

}  // namespace

bool scan_list_reply(const PaypalTable *table, int keyed) {
    return (!keyed && !(table->flags & kTableSingleObject)) || (table->flags & kTableListUnderKey);
}

int scan_exchange(PaypalIterator *it, WebRequest *req) { return exchange(it, req); }

int scan_read_page(PaypalIterator *it, WebRequest *req) {
    if (exchange(it, req) != DAL_OK) {
        reply_page_clear(it->page);
        it->request.reset();
        it->at_end = 1;
        return DAL_ERROR;
    }
    ++it->pages_read;
    return DAL_OK;
}

int ExtractRows(PaypalIterator *it, const PaypalTable *table, int keyed) {
    (void)keyed;  // the page was read as a list or a single object already
    (void)table;
    PaypalTraceHead *tr = trace_of(it);
    if (tr) PP_TRACE(tr, kPpTraceDetail, "extract_rs next_offset=%d", it->next_page);
    const ReplyPage &page = it->page;
    it->current_row = 0;
    it->single_object = 0;
    it->mode = kQueryRows;
    it->next_cursor.clear();
    if (!page.loaded) {
        it->page_rows = it->list_rows = 0;
        it->next_page = 0;
        it->at_end = 1;
        return DAL_OK;
    }
    it->page_rows = page.row_count;
    it->list_rows = page.list_count;
    if (page.single_object) {
        it->single_object = 1;
        it->next_page = -1;
        return DAL_OK;
    }
    const int32_t count = page.list_count;
    auto clamp = [](int64_t n) { return static_cast<int32_t>(n < INT32_MIN ? INT32_MIN : n > INT32_MAX ? INT32_MAX : n); };
    int32_t page_number = page.has_page ? clamp(page.page) : it->requested_page > 0 ? it->requested_page : 1;
    // A reply whose page number lags behind the request must not make the
    // scan ask for the same page again.
    if (page_number < it->requested_page) page_number = it->requested_page;
    const int32_t total_pages = page.has_total_pages ? clamp(page.total_pages) : 1;
    const int32_t total_items = page.has_total_items ? clamp(page.total_items) : 1;
    bool more = false;
    switch (it->table->paging) {
        case PagingStyle::kNextLink: {
            std::string token = query_value(page.next_href, "next_page_token");
            if (!token.empty() && token != it->page_cursor) it->next_cursor = token;
            more = !it->next_cursor.empty();
            break;
        }
        case PagingStyle::kStartId:
            if (!page.next_id.empty() && it->page_cursor != page.next_id) it->next_cursor = page.next_id;
            more = !it->next_cursor.empty();
            break;
        default:
            more = page_number < total_pages;
            break;
    }
    if (it->pages_read >= kMaxScanPages) more = false;
    if (tr) {
        PP_TRACE(tr, kPpTraceDetail, "Extract RS");
        PP_TRACE(tr, kPpTraceContinue, "page=%d", page_number);
        PP_TRACE(tr, kPpTraceContinue, "total_pages=%d", total_pages);
        PP_TRACE(tr, kPpTraceContinue, "more_records=%d", more ? 1 : 0);
        PP_TRACE(tr, kPpTraceContinue, "count=%d", count);
        PP_TRACE(tr, kPpTraceContinue, "total_items=%d", total_items);
    }
    // A list without elements ends the scan; one whose elements have no
    // child rows does not.
    if (count > 0) {
        it->next_page = more ? page_number + 1 : -1;
    } else {
        it->page_rows = 0;
        it->next_page = 0;
    }
    if (tr) PP_TRACE(tr, kPpTraceDetail, "next_offset=%d", it->next_page);
    return DAL_OK;
}

int FetchNextPage(PaypalIterator *it) {
    PaypalTraceHead *tr = trace_of(it);
    if (tr) PP_TRACE(tr, kPpTraceDetail, "fetch_next_offset next_offset=%d", it->next_page);
    if (!it->request || !it->table) {
        it->at_end = 1;
        return DAL_NO_DATA;
    }
    WebRequest *req = it->request.get();
    char text[32];
    switch (it->table->paging) {
        case PagingStyle::kNextLink:
            AddParameter(req, "next_page_token", it->next_cursor, 0);
            break;
        case PagingStyle::kStartId:
            AddParameter(req, "start_id", it->next_cursor, 0);
            break;
        default:
            snprintf(text, sizeof text, "%d", it->next_page);
            AddParameter(req, "page", text, 0);
            break;
    }
    it->page_cursor = it->next_cursor;
    it->requested_page = it->next_page;
    if (scan_read_page(it, req) != DAL_OK) return DAL_ERROR;
    return ExtractRows(it, it->table, it->keyed);
}

int SQINextRow(void *handle) {
    auto *it = static_cast<PaypalIterator *>(handle);
    if (it->mode == kTextRows) return text_rows_next(it);
    if (it->mode != kQueryRows) return catalog_next_row(it);
    if (it->at_end || it->list_rows == 0) {
        it->at_end = 1;
        reply_page_release(it->page);  // no row needs it any more
        return DAL_NO_DATA;
    }
    for (;;) {
        // The page's rows are flat: a child table's child rows with their
        // parents' values (sqi/reply_page.h).
        if (it->current_row < it->page_rows) {
            ++it->current_row;
            ++it->row_serial;
            if (!it->single_object) {
                PaypalTraceHead *tr = trace_of(it);
                if (tr)
                    PP_TRACE(tr, kPpTraceDetail, "fetch, current_row=%d, rowcount=%d, next_offset=%d", it->current_row,
                             it->page_rows, it->next_page);
            }
            return DAL_OK;
        }
        if (it->single_object) break;
        if (it->history) {
            int rc = history_next_page(it);
            if (rc == DAL_OK) continue;
            if (rc == DAL_ERROR) return rc;
            break;
        }
        int fetched = prefetch_next_page(it);
        if (fetched == DAL_OK) continue;
        if (fetched != kPrefetchSequential) {
            it->at_end = 1;
            if (fetched == DAL_NO_DATA) reply_page_release(it->page);
            return fetched;
        }
        if (it->next_page <= 0) {
            // The last page of a date window: the next window follows.
            int rc = windows_next(it);
            if (rc == DAL_OK) continue;
            if (rc == DAL_ERROR) return rc;
            break;
        }
        int rc = FetchNextPage(it);
        if (rc != DAL_OK) return rc;
        if (it->list_rows == 0 && !it->windows.active) break;
    }
    it->at_end = 1;
    reply_page_release(it->page);
    return DAL_NO_DATA;
}
