// A scan page's reply through the cache (see page_reply.h).
#include "sqi/page_reply.h"

#include <cstdio>
#include <new>

namespace {

// The text to post for a reply other than 200 or 404.
std::string failed_reply_text(const WebResponse *resp) {
    char buf[600];
    if (resp->status == 500 || resp->status == 501) {
        snprintf(buf, sizeof buf, "server response %d %s", resp->status, resp->reason.c_str());
        return buf;
    }
    ErrorInfo info;
    if (resp->content_kind == kContentJson && DecodeError(resp, &info) == 0 && !info.code.empty())
        return FormatErrorInfo(info);
    snprintf(buf, sizeof buf, "Error <code:%03d [%s]>", resp->status, resp->reason.c_str());
    return buf;
}

}  // namespace

bool page_text_from_cache(ResponseCache *cache, std::string_view key, std::string &text) {
    const std::string *cached = nullptr;
    if (!CacheLookup(cache, key, &cached)) return false;
    bool copied = true;
    try {
        text = *cached;
    } catch (const std::bad_alloc &) {
        copied = false;
    }
    CacheRelease(cache, cached);
    return copied;
}

int page_from_reply(ResponseCache *cache, std::string_view key, WebResponse *resp, ReplyPage &page,
                    const PaypalTable *table, bool list, std::string &error) {
    if (resp->status == 200) {
        if (!page_load_text(page, std::move(resp->body), table, list, error)) return -1;
        CacheStore(cache, key, page.text);
        return 0;
    }
    reply_page_clear(page);
    if (resp->status == 404) return 0;  // no such object: no rows
    error = failed_reply_text(resp);
    return -1;
}

int page_text_from_reply(WebResponse *resp, std::string &text, bool *rows, std::string &error) {
    *rows = false;
    if (resp->status == 200) {
        text = std::move(resp->body);
        *rows = true;
        return 0;
    }
    if (resp->status == 404) return 0;
    error = failed_reply_text(resp);
    return -1;
}

bool page_load_text(ReplyPage &page, std::string &&text, const PaypalTable *table, bool list, std::string &error) {
    // The page takes the text's buffer when it has the parser's padding
    // after it; otherwise the text is copied into the page's own buffer,
    // which keeps its padded capacity from page to page.
    try {
        if (text.capacity() - text.size() >= kReplyTextPadding) {
            page.text.swap(text);
        } else {
            page.text.reserve(text.size() + kReplyTextPadding);
            page.text.assign(text);
        }
    } catch (const std::bad_alloc &) {
        reply_page_clear(page);
        error = "Memory allocation error";
        return false;
    }
    return reply_page_load(page, table, list, error);
}

void page_store(ResponseCache *cache, std::string_view key, std::string_view text) { CacheStore(cache, key, text); }
