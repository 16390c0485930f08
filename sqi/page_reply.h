// A scan page's reply: from the response cache, or read from an exchange's
// reply (status, PayPal's error text, JSON) and stored in the cache.
//
// Nothing here posts or touches the scan, so the parallel page workers
// (prefetch.cpp) and the sequential scan (paging.cpp) share it.
//
// Exports: page_from_cache, page_from_reply (page_reply.cpp).
#pragma once

#include <jansson.h>

#include <string>
#include <string_view>

#include "transport/transport.h"

/// True with `*root` a new reference when the cache holds a fresh reply
/// under `key` that parses.
[[nodiscard]] bool page_from_cache(ResponseCache *cache, std::string_view key, json_t **root);

/// Reads a reply: 200 parses the body (stored in the cache under `key`) into
/// a new reference `*root`; 404 means no rows (`*root` null). 0, or -1 with
/// `error` the text to post (PayPal's error, or the status).
[[nodiscard]] int page_from_reply(ResponseCache *cache, std::string_view key, const WebResponse *resp,
                                  json_t **root, std::string &error);
