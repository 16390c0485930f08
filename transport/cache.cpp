// The reply cache in front of GET requests: entries keyed by request text,
// a lifetime, use counts that protect bodies a scan still reads, and a
// bound on the bytes it holds.
#include <ctime>

#include "transport/cache.h"
#include "transport/http.h"

namespace {

constexpr size_t kMaxCacheBytes = 128u << 20;
constexpr size_t kMaxCacheEntries = 1024;

int64_t now(const ResponseCache *cache) {
    return cache->clock ? cache->clock() : static_cast<int64_t>(time(nullptr));
}

bool expired(const ResponseCache *cache, const CacheEntry &e, int64_t t) {
    return t - e.stored >= cache->lifetime;
}

void erase(ResponseCache *cache, std::list<CacheEntry>::iterator it) {
    cache->bytes -= it->body.size();
    cache->entries.erase(it);
}

}  // namespace

size_t CacheKey(const WebRequest *req, std::string &out) {
    std::string query = QueryText(req);
    std::string_view path = PathPart(req->url);
    const char *method = "GET";
    switch (req->method) {
        case HttpMethod::POST:
            method = "POST";
            break;
        case HttpMethod::PUT:
            method = "PUT";
            break;
        case HttpMethod::PATCH:
            method = "PATCH";
            break;
        case HttpMethod::DELETE_:
            method = "DELETE";
            break;
        case HttpMethod::GET:
            break;
    }
    if (req->method == HttpMethod::GET) {
        out = "GET ";
        out.append(path);
        if (!query.empty()) out.append("?").append(query);
    } else {
        out = std::string(method) + " " + req->url;
        if (!query.empty()) out.append("?").append(query);
        out.append(" HTTP/1.1\r\n");
    }
    return query.size();
}

int CacheLookup(ResponseCache *cache, std::string_view key, const std::string **body) {
    if (!cache) return 0;
    std::lock_guard<std::mutex> guard(cache->lock);  // the lifetime too: a connect may set it
    if (cache->lifetime <= 0) return 0;
    const int64_t t = now(cache);
    for (CacheEntry &e : cache->entries) {
        // An entry past its lifetime is not served even when no store has
        // aged it yet.
        if (!e.stale && e.key == key && !expired(cache, e, t)) {
            ++e.uses;
            *body = &e.body;
            return 1;
        }
    }
    return 0;
}

void CacheStore(ResponseCache *cache, std::string_view key, std::string_view body) {
    if (!cache || body.size() > kMaxCacheBytes) return;
    std::lock_guard<std::mutex> guard(cache->lock);
    if (cache->lifetime <= 0) return;
    const int64_t t = now(cache);
    for (auto it = cache->entries.begin(); it != cache->entries.end();) {
        if (expired(cache, *it, t)) {
            if (it->uses == 0) {
                auto next = std::next(it);
                erase(cache, it);
                it = next;
                continue;
            }
            it->stale = true;
        }
        ++it;
    }
    // Make room: oldest unused entries go first.
    while (!cache->entries.empty() && (cache->bytes + body.size() > kMaxCacheBytes ||
                                       cache->entries.size() >= kMaxCacheEntries)) {
        auto victim = cache->entries.end();
        for (auto it = cache->entries.begin(); it != cache->entries.end(); ++it) {
            if (it->uses == 0) victim = it;
        }
        if (victim == cache->entries.end()) return;  // everything in use: keep nothing new
        erase(cache, victim);
    }
    try {
        cache->entries.push_front(CacheEntry{std::string(key), std::string(body), t, 0, false});
        cache->bytes += body.size();
    } catch (const std::bad_alloc &) {
        // Not caching is always correct.
    }
}

void CacheRelease(ResponseCache *cache, const std::string *body) {
    if (!cache || !body) return;
    std::lock_guard<std::mutex> guard(cache->lock);
    for (auto it = cache->entries.begin(); it != cache->entries.end(); ++it) {
        if (&it->body != body) continue;
        if (it->uses > 0) --it->uses;
        if (it->stale && it->uses == 0) erase(cache, it);
        return;
    }
}

void CacheFlush(ResponseCache *cache) {
    if (!cache) return;
    std::lock_guard<std::mutex> guard(cache->lock);
    for (auto it = cache->entries.begin(); it != cache->entries.end();) {
        if (it->uses == 0) {
            auto next = std::next(it);
            erase(cache, it);
            it = next;
        } else {
            it->stale = true;
            ++it;
        }
    }
}
