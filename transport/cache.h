// The reply cache in front of GET requests, one per PayPal environment.
//
// Contract: entries are keyed by request text and live `lifetime` seconds
// (0 turns the cache off); every field, the lifetime included, is read and
// written under `lock`, so connections and statements may share a cache;
// a body handed out by CacheLookup stays valid until CacheRelease, even
// across a flush; the bytes held are bounded.
//
// Exports: CacheEntry, ResponseCache, CacheKey, CacheLookup, CacheStore,
// CacheRelease, CacheFlush (cache.cpp).
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>

#include "transport/context.h"
#include "transport/http.h"

struct CacheEntry {
    std::string key;   // CacheKey text
    std::string body;  // reply body
    int64_t stored;    // clock time of storing
    int uses;          // lookups not yet released
    bool stale;        // to be removed when no longer used
};

struct ResponseCache {
    std::mutex lock;
    int lifetime;                   // seconds; 0 turns the cache off
    int flush_on_update;            // flush after a successful change
    TransportClockFn clock;         // null: time()
    std::list<CacheEntry> entries;  // newest first
    size_t bytes;                   // sum of body sizes (bounded)
};

// ---- cache.cpp ---------------------------------------------------------
/// Writes the cache key of `req` into `out`; returns the query text length.
size_t CacheKey(const WebRequest *req, std::string &out);
/// Finds a fresh entry with exactly `key`; its use count rises and `body`
/// points at its bytes until CacheRelease. 1 found, 0 not.
[[nodiscard]] int CacheLookup(ResponseCache *cache, std::string_view key, const std::string **body);
/// Ages the entries and stores a copy of `body` under `key`.
void CacheStore(ResponseCache *cache, std::string_view key, std::string_view body);
/// Gives back a body from CacheLookup.
void CacheRelease(ResponseCache *cache, const std::string *body);
/// Drops every entry (entries in use become stale).
void CacheFlush(ResponseCache *cache);
