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
// Exports: scan_exchange, ExtractRows, FetchNextPage, scan_child_array,
// SQINextRow.
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

// The href of the root's HATEOAS link with rel "next", or "".
std::string next_link(const json_t *root) {
    const json_t *links = json_object_get(root, "links");
    size_t i;
    const json_t *link;
    json_array_foreach(links, i, link) {
        const char *rel = json_string_value(json_object_get(link, "rel"));
        const char *href = json_string_value(json_object_get(link, "href"));
        if (rel && href && strcmp(rel, "next") == 0) return href;
    }
    return {};
}

int32_t int_member(const json_t *root, const char *name, int32_t fallback) {
    const json_t *v = json_object_get(root, name);
    if (json_is_integer(v)) return static_cast<int32_t>(json_integer_value(v));
    return fallback;
}

json_t *follow(json_t *from, const char *const *members) {
    for (; from && members && *members; ++members) from = json_object_get(from, *members);
    return from;
}

}  // namespace

int scan_exchange(PaypalIterator *it, WebRequest *req, json_t **root) {
    *root = nullptr;
    PaypalEnv *env = it->env;
    std::string key;
    (void)CacheKey(req, key);
    if (!it->fresh && page_from_cache(&env->cache, key, root)) return DAL_OK;
    WebResponsePtr resp;
    // The transport's own diagnostics go to the statement that scans, and
    // its query time-out bounds the exchange.
    req->diag_owner = it->owner;
    req->time_limit_seconds = paypal_time_limit(env, it->owner);
    req->cancel = paypal_cancel_flag(env, it->owner);
    int rc = WebExchange(req, resp);
    if (rc != 0 || !resp) {
        // No reply at all: the transport has posted why, unless it could not.
        if (paypal_diag_count(env, it->owner) > 0) return DAL_ERROR;
        return post_error(it, req->error.empty() ? "no response from server" : req->error.c_str());
    }
    std::string error;
    if (page_from_reply(&env->cache, key, resp.get(), root, error) != 0) return post_error(it, error);
    return DAL_OK;
}

int scan_read_page(PaypalIterator *it, WebRequest *req) {
    if (it->root) json_decref(it->root);
    it->root = it->list = it->row = nullptr;
    json_t *root = nullptr;
    if (scan_exchange(it, req, &root) != DAL_OK) {
        it->request.reset();
        it->at_end = 1;
        return DAL_ERROR;
    }
    it->root = root;
    ++it->pages_read;
    return DAL_OK;
}

json_t *scan_child_array(const PaypalIterator *it) {
    if (!it->row || !it->table || !it->table->sub_key) return nullptr;
    json_t *a = follow(it->row, it->table->sub_members);
    return json_is_array(a) ? a : nullptr;
}

int ExtractRows(PaypalIterator *it, const PaypalTable *table, int keyed) {
    PaypalTraceHead *tr = trace_of(it);
    if (tr) PP_TRACE(tr, kPpTraceDetail, "extract_rs next_offset=%d", it->next_page);
    it->list = it->row = nullptr;
    it->current_row = it->current_child = 0;
    it->single_object = 0;
    it->mode = kQueryRows;
    it->next_cursor.clear();
    if (!it->root) {
        it->page_rows = 0;
        it->next_page = 0;
        it->at_end = 1;
        return DAL_OK;
    }
    bool list = (!keyed && !(table->flags & kTableSingleObject)) || (table->flags & kTableListUnderKey);
    if (!list) {
        it->single_object = 1;
        it->page_rows = 1;
        it->next_page = -1;
        return DAL_OK;
    }
    json_t *rows = follow(it->root, table->list_members);
    it->list = json_is_array(rows) ? rows : nullptr;
    int32_t count = it->list ? static_cast<int32_t>(json_array_size(it->list)) : 0;
    int32_t page = int_member(it->root, "page", it->requested_page > 0 ? it->requested_page : 1);
    // A reply whose page number lags behind the request must not make the
    // scan ask for the same page again.
    if (page < it->requested_page) page = it->requested_page;
    int32_t total_pages = int_member(it->root, "total_pages", 1);
    int32_t total_items = int_member(it->root, "total_items", 1);
    bool more = false;
    switch (table->paging) {
        case PagingStyle::kNextLink: {
            std::string token = query_value(next_link(it->root), "next_page_token");
            if (!token.empty() && token != it->page_cursor) it->next_cursor = token;
            more = !it->next_cursor.empty();
            break;
        }
        case PagingStyle::kStartId: {
            const char *next_id = json_string_value(json_object_get(it->root, "next_id"));
            if (next_id && *next_id && it->page_cursor != next_id) it->next_cursor = next_id;
            more = !it->next_cursor.empty();
            break;
        }
        default:
            more = page < total_pages;
            break;
    }
    if (it->pages_read >= kMaxScanPages) more = false;
    if (tr) {
        PP_TRACE(tr, kPpTraceDetail, "Extract RS");
        PP_TRACE(tr, kPpTraceContinue, "page=%d", page);
        PP_TRACE(tr, kPpTraceContinue, "total_pages=%d", total_pages);
        PP_TRACE(tr, kPpTraceContinue, "more_records=%d", more ? 1 : 0);
        PP_TRACE(tr, kPpTraceContinue, "count=%d", count);
        PP_TRACE(tr, kPpTraceContinue, "total_items=%d", total_items);
    }
    if (count > 0) {
        it->page_rows = count;
        it->next_page = more ? page + 1 : -1;
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
    if (it->mode != kQueryRows) return catalog_next_row(it);
    if (it->at_end || it->page_rows == 0) {
        it->at_end = 1;
        return DAL_NO_DATA;
    }
    const bool child = (it->table->flags & kTableChildRows) && it->table->sub_key;
    if (it->single_object) {
        // The root is the one row; a child table walks its sub-key array.
        if (!child) {
            if (it->current_row++ == 0) {
                it->row = it->root;
                ++it->row_serial;
                return DAL_OK;
            }
            it->at_end = 1;
            return DAL_NO_DATA;
        }
        it->row = it->root;
        it->current_row = 1;
        json_t *a = scan_child_array(it);
        if (a && static_cast<size_t>(it->current_child) < json_array_size(a)) {
            ++it->current_child;
            ++it->row_serial;
            return DAL_OK;
        }
        it->at_end = 1;
        return DAL_NO_DATA;
    }
    for (;;) {
        if (child && it->row) {
            json_t *a = scan_child_array(it);
            if (a && static_cast<size_t>(it->current_child) < json_array_size(a)) {
                ++it->current_child;
                ++it->row_serial;
                return DAL_OK;
            }
        }
        ++it->current_row;
        it->current_child = 1;
        PaypalTraceHead *tr = trace_of(it);
        if (tr)
            PP_TRACE(tr, kPpTraceDetail, "fetch, current_row=%d, rowcount=%d, next_offset=%d", it->current_row,
                     it->page_rows, it->next_page);
        if (it->current_row > it->page_rows) {
            int fetched = prefetch_next_page(it);
            if (fetched == DAL_OK) continue;
            if (fetched != kPrefetchSequential) {
                it->at_end = 1;
                return fetched;
            }
            if (it->next_page <= 0) {
                // The last page of a date window: the next window follows.
                int rc = windows_next(it);
                if (rc == DAL_OK) continue;
                if (rc == DAL_ERROR) return rc;
                it->at_end = 1;
                return DAL_NO_DATA;
            }
            int rc = FetchNextPage(it);
            if (rc != DAL_OK) return rc;
            if (it->page_rows == 0 && !it->windows.active) {
                it->at_end = 1;
                return DAL_NO_DATA;
            }
            continue;
        }
        it->row = json_array_get(it->list, static_cast<size_t>(it->current_row - 1));
        if (!it->row) {
            it->at_end = 1;
            return DAL_NO_DATA;
        }
        if (!child) {
            ++it->row_serial;
            return DAL_OK;
        }
        json_t *a = scan_child_array(it);
        if (a && json_array_size(a) > 0) {
            ++it->row_serial;
            return DAL_OK;
        }
    }
}
