// A scan page's reply: its text from the response cache, or read from an
// exchange's reply (status, PayPal's error text, JSON) and stored in the cache.
//
// Nothing here posts or touches the scan, so the parallel page workers
// (prefetch.cpp) and the sequential scan (paging.cpp) share it. The workers
// take only the reply's text (page_text_from_cache, page_text_from_reply);
// the scan's own thread parses it (page_parse), so the parse's many small
// allocations are made and freed by one thread, whose allocator cache keeps
// them cheap, and stores it (page_store) once it parses.
//
// Exports: page_from_reply, page_text_from_cache,
// page_text_from_reply, page_parse, page_store (page_reply.cpp).
#pragma once

#include <jansson.h>

#include <string>
#include <string_view>

#include "transport/transport.h"

/// Reads a reply: 200 parses the body (stored in the cache under `key`) into
/// a new reference `*root`; 404 means no rows (`*root` null). 0, or -1 with
/// `error` the text to post (PayPal's error, or the status).
[[nodiscard]] int page_from_reply(ResponseCache *cache, std::string_view key, const WebResponse *resp,
                                  json_t **root, std::string &error);

/// True with a copy of the text the cache holds under `key`, when fresh.
[[nodiscard]] bool page_text_from_cache(ResponseCache *cache, std::string_view key, std::string &text);

/// Reads a reply without parsing it: 200 moves the body into `text` (`*rows`
/// true); 404 means no rows (`*rows` false). 0, or -1 with `error` as
/// page_from_reply.
[[nodiscard]] int page_text_from_reply(WebResponse *resp, std::string &text, bool *rows, std::string &error);

/// The parsed page `text` (a new reference), or null with `error` set.
[[nodiscard]] json_t *page_parse(std::string_view text, std::string &error);

/// Stores a reply text that parsed in the cache under `key`.
void page_store(ResponseCache *cache, std::string_view key, std::string_view text);
