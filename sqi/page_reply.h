// A scan page's reply: its text from the response cache, or read from an
// exchange's reply (status, PayPal's error text, JSON) and stored in the cache.
//
// Nothing here posts or touches the scan, so the parallel page workers
// (prefetch.cpp) and the sequential scan (paging.cpp) share it. The workers
// take only the reply's text (page_text_from_cache, page_text_from_reply);
// the scan's own thread reads it into the scan's page (page_load_text),
// with that thread's parser, and stores it (page_store) once it reads.
//
// Exports: page_from_reply, page_text_from_cache,
// page_text_from_reply, page_load_text, page_store (page_reply.cpp).
#pragma once

#include <string>
#include <string_view>

#include "sqi/reply_page.h"
#include "transport/transport.h"

/// Reads a reply into `page`: 200 loads the body (taken from `resp`, and
/// stored in the cache under `key` once it loads) as a reply of `table`
/// (a list when `list`); 404 means no rows (the page is cleared). 0, or -1
/// with `error` the text to post (PayPal's error, the status, or why the
/// body could not be read).
[[nodiscard]] int page_from_reply(ResponseCache *cache, std::string_view key, WebResponse *resp, ReplyPage &page,
                                  const PaypalTable *table, bool list, std::string &error);

/// True with a copy of the text the cache holds under `key`, when fresh.
[[nodiscard]] bool page_text_from_cache(ResponseCache *cache, std::string_view key, std::string &text);

/// Reads a reply without parsing it: 200 moves the body into `text` (`*rows`
/// true); 404 means no rows (`*rows` false). 0, or -1 with `error` as
/// page_from_reply.
[[nodiscard]] int page_text_from_reply(WebResponse *resp, std::string &text, bool *rows, std::string &error);

/// Loads the reply `text` (taken) into `page` as reply_page_load does.
[[nodiscard]] bool page_load_text(ReplyPage &page, std::string &&text, const PaypalTable *table, bool list,
                                  std::string &error);

/// Stores a reply text that was read in the cache under `key`.
void page_store(ResponseCache *cache, std::string_view key, std::string_view text);
