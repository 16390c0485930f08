// The OAuth2 layer: the client-credentials token, its renewal, and the
// recycling of the persistent socket.
//
// Contract: a valid token is shared by the connections of the process that
// use the same client id, secret, base URL, `cert` and proxy, each of which
// still makes its own verified connection when it connects; the token request uses a
// socket of its own, is retried (429, 5xx, a lost connection) within the
// `retries` and `retry_wait` limits, is refused for
// plain http to a host that is not loopback, and runs within one deadline
// (the login time-out when given); a refused secret is traced as an ERROR
// line (so ring mode writes it out). The token is registered with the trace
// as a secret the moment it arrives.
//
// Exports: GetAccessToken, ObtainToken, ForgetToken, EnsureToken (oauth.cpp);
// TokenCacheLookup, TokenCacheStore, TokenCacheForget, TokenCacheClear
// (token_cache.cpp).
#pragma once

#include <string>

#include "transport/context.h"

/// Obtains a token with the client-credentials grant over a fresh socket.
/// 0, or -1 with `reason` set (possibly empty when the handshake failed;
/// the handshake's own diagnostics were posted).
/// `limit_seconds` (> 0) bounds the whole request, as the login time-out.
[[nodiscard]] int GetAccessToken(PaypalContext *ctx, std::string &reason, const char *base_url,
                                 int limit_seconds = 0);
/// The connection's first token: the one shared by the connections of this
/// process with the same credentials, base URL, `cert` and proxy when it is
/// still valid (after this connection's own connect and TLS handshake to
/// the API host succeeded, the socket kept), else GetAccessToken. 0 or -1
/// (as GetAccessToken).
[[nodiscard]] int ObtainToken(PaypalContext *ctx, std::string &reason, int limit_seconds = 0);
/// Drops the context's token and, when it is the shared one, the shared
/// entry: the server refused it (401).
void ForgetToken(PaypalContext *ctx);

// ---- token_cache.cpp ---------------------------------------------------
/// The process-wide token cache, keyed by a SHA-256 of the client id,
/// secret, base URL, `cert`, proxy host and port, proxy user and password
/// (never by the secret itself), under its own lock.
/// Lookup copies a valid entry into the context (registering the token with
/// the trace as a secret) and returns whether it did; Store records the
/// context's token; Forget removes the entry when it holds the context's
/// token.
[[nodiscard]] bool TokenCacheLookup(PaypalContext *ctx);
void TokenCacheStore(const PaypalContext *ctx);
void TokenCacheForget(const PaypalContext *ctx);
/// Empties the cache (tests).
void TokenCacheClear();

/// Before each REST request: renews an expired token and recycles the
/// persistent socket after 100 requests or 30 seconds. 0 or -1.
[[nodiscard]] int EnsureToken(PaypalContext *ctx);
