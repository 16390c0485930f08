// The process-wide token cache: one valid access token per client id,
// secret, base URL and everything that decides whom the connection trusts
// and how it gets there (`cert`, the proxy and its user), so that a process
// that connects often asks for a token once, and a token fetched over one
// route or trust never stands in for another. Keys are SHA-256 digests: the
// secret itself is never kept.
#include <openssl/evp.h>

#include <mutex>
#include <string>
#include <vector>

#include "transport/hex_digest.h"
#include "transport/oauth.h"

namespace {

constexpr size_t kMaxSharedTokens = 64;

struct SharedToken {
    std::string key;  // hex SHA-256 of the credentials and base URL
    std::string token, type;
    int64_t expiry;  // renew-by time (receipt + expires_in - 30), context clock
};

struct TokenCache {
    std::mutex lock;
    std::vector<SharedToken> entries;
};

TokenCache &cache() {
    static TokenCache c;
    return c;
}

// Each part is preceded by its length, so no two lists share a key.
std::string key_of(const PaypalContext *ctx) {
    if (ctx->base_url.empty() || ctx->client_id.empty()) return std::string();
    std::string material;
    const std::string proxy_port = std::to_string(ctx->proxy_port);
    for (const std::string *part :
         {&ctx->client_id, &ctx->client_secret, &ctx->base_url, &ctx->cert_path, &ctx->proxy_host,
          &proxy_port, &ctx->proxy_user, &ctx->proxy_password}) {
        material += std::to_string(part->size());
        material += ':';
        material += *part;
    }
    return hex_digest(material, EVP_sha256());
}

}  // namespace

bool TokenCacheLookup(PaypalContext *ctx) {
    const std::string key = key_of(ctx);
    if (key.empty()) return false;
    const int64_t now = transport_now(ctx);
    TokenCache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    for (const SharedToken &e : c.entries) {
        if (e.key != key || now >= e.expiry) continue;
        PaypalTraceAddSecret(&ctx->trace, e.token);
        ctx->access_token = e.token;
        ctx->token_type = e.type;
        ctx->token_expiry = e.expiry;
        ctx->use_counter = kRecycleRequests;
        ctx->recycle_deadline = now + kRecycleSeconds;
        PP_TRACE(ctx, kPpTraceDetail, "Using the access token shared by this process");
        return true;
    }
    return false;
}

void TokenCacheStore(const PaypalContext *ctx) {
    const std::string key = key_of(ctx);
    if (key.empty() || ctx->access_token.empty()) return;
    TokenCache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    for (SharedToken &e : c.entries) {
        if (e.key == key) {
            e.token = ctx->access_token;
            e.type = ctx->token_type;
            e.expiry = ctx->token_expiry;
            return;
        }
    }
    if (c.entries.size() >= kMaxSharedTokens) c.entries.erase(c.entries.begin());
    c.entries.push_back(SharedToken{key, ctx->access_token, ctx->token_type, ctx->token_expiry});
}

void TokenCacheForget(const PaypalContext *ctx) {
    const std::string key = key_of(ctx);
    TokenCache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    for (auto it = c.entries.begin(); it != c.entries.end(); ++it) {
        if (it->key == key && it->token == ctx->access_token) {
            c.entries.erase(it);
            return;
        }
    }
}

void TokenCacheClear() {
    TokenCache &c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    c.entries.clear();
}
