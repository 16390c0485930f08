// A scan page's reply through the cache (see page_reply.h).
#include "sqi/page_reply.h"

#include <cstdio>

bool page_from_cache(ResponseCache *cache, std::string_view key, json_t **root) {
    *root = nullptr;
    const std::string *cached = nullptr;
    if (!CacheLookup(cache, key, &cached)) return false;
    json_error_t jerr;
    json_t *parsed = json_loadb(cached->data(), cached->size(), 0, &jerr);
    CacheRelease(cache, cached);
    *root = parsed;
    return parsed != nullptr;
}

int page_from_reply(ResponseCache *cache, std::string_view key, const WebResponse *resp, json_t **root,
                    std::string &error) {
    *root = nullptr;
    char buf[600];
    if (resp->status == 200) {
        json_error_t jerr;
        json_t *parsed = json_loadb(resp->body.data(), resp->body.size(), 0, &jerr);
        if (!parsed) {
            error = "fails to decode reply";
            return -1;
        }
        CacheStore(cache, key, resp->body);
        *root = parsed;
        return 0;
    }
    if (resp->status == 404) return 0;  // no such object: no rows
    if (resp->status == 500 || resp->status == 501) {
        snprintf(buf, sizeof buf, "server response %d %s", resp->status, resp->reason.c_str());
        error = buf;
        return -1;
    }
    ErrorInfo info;
    if (resp->content_kind == kContentJson && DecodeError(resp, &info) == 0 && !info.code.empty()) {
        error = FormatErrorInfo(info);
        return -1;
    }
    snprintf(buf, sizeof buf, "Error <code:%03d [%s]>", resp->status, resp->reason.c_str());
    error = buf;
    return -1;
}
