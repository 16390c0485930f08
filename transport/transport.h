// The web transport as a whole: one PayPal connection's socket, proxy
// tunnel, TLS session, HTTP/1.1 exchanges, reply cache and OAuth2 token.
// Users above the transport (the PayPal provider, tools, tests) include this
// header; the transport's own sources include the layer headers they use.
//
// Layers, bottom up, each header stating its contract:
//   paypal_trace.h  the backend trace log every layer writes to
//   context.h       PaypalContext, return codes, limits, transport_error
//   url.h           URL splitting, encoding, loopback hosts, Base64
//   socket.h        TCP sockets, time-outs and the whole-request deadline
//   proxy.h         the CONNECT tunnel with Basic and Digest
//   tls.h           the verifying TLS context and session
//   http.h          requests, replies, error replies, WebExchange
//   retry.h         which outcomes are retried, and the waits between tries
//   oauth.h         the token, its renewal and the process-wide token cache
//   cache.h         the reply cache
#pragma once

#include "transport/cache.h"
#include "transport/context.h"
#include "transport/http.h"
#include "transport/oauth.h"
#include "transport/paypal_trace.h"
#include "transport/pool.h"
#include "transport/proxy.h"
#include "transport/retry.h"
#include "transport/socket.h"
#include "transport/tls.h"
#include "transport/url.h"
