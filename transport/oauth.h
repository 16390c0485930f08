// The OAuth2 layer: the client-credentials token, its renewal, and the
// recycling of the persistent socket.
//
// Contract: the token request uses a socket of its own, is refused for
// plain http to a host that is not loopback, and runs within one deadline
// (the login time-out when given); a refused secret is traced as an ERROR
// line (so ring mode writes it out). The token is registered with the trace
// as a secret the moment it arrives.
//
// Exports: GetAccessToken, EnsureToken (oauth.cpp).
#pragma once

#include <string>

#include "transport/context.h"

/// Obtains a token with the client-credentials grant over a fresh socket.
/// 0, or -1 with `reason` set (possibly empty when the handshake failed;
/// the handshake's own diagnostics were posted).
/// `limit_seconds` (> 0) bounds the whole request, as the login time-out.
[[nodiscard]] int GetAccessToken(PaypalContext *ctx, std::string &reason, const char *base_url,
                                 int limit_seconds = 0);
/// Before each REST request: renews an expired token and recycles the
/// persistent socket after 100 requests or 30 seconds. 0 or -1.
[[nodiscard]] int EnsureToken(PaypalContext *ctx);
