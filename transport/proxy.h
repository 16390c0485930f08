// The HTTP proxy tunnel: CONNECT, the 407 challenge, Basic and Digest
// proxy authentication.
//
// Contract: ProxyConnect leaves an open tunnel on the context's socket or a
// closed socket and -3 with the reason posted; no request byte is sent when
// the proxy user or password holds a control character; a rejected password
// says so. Digest nonces, HA1 and responses are never traced.
//
// Exports: ProxyConnect (proxy.cpp); DigestChallenge,
// ParseDigestChallenge, DigestAuthorization (digest.cpp).
#pragma once

#include <string>
#include <string_view>

#include "transport/context.h"

/// Opens a CONNECT tunnel to host:port through the proxy, answering a 407
/// Basic or Digest challenge. 0 or -3.
[[nodiscard]] int ProxyConnect(PaypalContext *ctx, const char *host, int port, int persistent,
                               const char *proxy_host, int proxy_port, const char *user,
                               const char *password);


// ---- digest.cpp --------------------------------------------------------
struct DigestChallenge {
    std::string realm, nonce, qop, algorithm, opaque;
    bool stale;
};
/// Parses the parameters of a Digest challenge (the text after "Digest").
[[nodiscard]] DigestChallenge ParseDigestChallenge(std::string_view params);
/// Builds the "Proxy-Authorization: Digest ..." value (without the header
/// name and line end) for CONNECT `uri`. `cnonce` is the client nonce (hex).
/// Returns 0, or -1 with `error` set to the failure text ("unknown
/// algorithm" / "unknown qop").
[[nodiscard]] int DigestAuthorization(const DigestChallenge &ch, std::string_view user,
                                      std::string_view password, std::string_view uri,
                                      std::string_view cnonce, std::string_view body_407,
                                      std::string &out, std::string &error);
