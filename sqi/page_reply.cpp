// A scan page's reply through the cache (see page_reply.h).
#include "sqi/page_reply.h"

#include <cstdio>

#include "sqi/json_arena.h"

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

int page_from_reply(ResponseCache *cache, std::string_view key, const WebResponse *resp, json_t **root,
                    std::string &error) {
    *root = nullptr;
    if (resp->status == 200) {
        json_t *parsed = page_parse(resp->body, error);
        if (!parsed) return -1;
        CacheStore(cache, key, resp->body);
        *root = parsed;
        return 0;
    }
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

json_t *page_parse(std::string_view text, std::string &error) {
    json_error_t jerr;
    JsonArenaScope blocks;  // the page's nodes are made together and freed together
    json_t *parsed = json_loadb(text.data(), text.size(), 0, &jerr);
    if (!parsed) error = "fails to decode reply";
    return parsed;
}

void page_store(ResponseCache *cache, std::string_view key, std::string_view text) { CacheStore(cache, key, text); }
