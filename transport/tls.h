// The TLS layer: the verifying client context of a PayPal environment and
// the session on a connection.
//
// Contract: peer verification is always on (TLS 1.2 at least, the system
// store or the `cert` location); the host name or IP address is checked and
// sent as SNI; no request byte goes out unless the peer was verified. Reads
// and writes obey the socket layer's deadline. The TlsContext is shared by
// the connections of an environment; its lock guards loading CA locations.
//
// Exports: TlsContext, TlsContextPtr, TlsCreateContext, TlsHandshake,
// TlsRead, TlsWrite, TlsEnd, TlsDrop, TlsVerifyErrorText (tls.cpp).
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <mutex>
#include <string>

#include "transport/context.h"

struct TlsContext {
    SSL_CTX *ctx;             // verifying client context, TLS 1.2 or later
    std::mutex lock;          // guards loading of CA locations
    std::string loaded_cert;  // the `cert` location cert_store was read from
    X509_STORE *cert_store = nullptr;  // that location's store (with the system's certificates), or null
};

struct TlsContextDeleter {
    void operator()(TlsContext *tls) const;
};
using TlsContextPtr = std::unique_ptr<TlsContext, TlsContextDeleter>;

// ---- tls.cpp -----------------------------------------------------------
/// The environment's TLS context: peer verification on, TLS 1.2 at least.
/// The CA store is chosen at the handshake: the system's (read once per
/// process and shared), or the system's plus the connection's `cert`
/// location. Null on failure.
[[nodiscard]] TlsContextPtr TlsCreateContext();
/// Handshake on the open socket, verifying the certificate chain and the
/// host name (and sending it as SNI). 0 or -6 (the caller force-closes).
[[nodiscard]] int TlsHandshake(PaypalContext *ctx, TlsContext *tls);
/// Reads or writes over the TLS session, or plainly without one.
[[nodiscard]] long TlsRead(PaypalContext *ctx, void *buffer, size_t size);
[[nodiscard]] long TlsWrite(PaypalContext *ctx, const void *bytes, size_t length);
/// Ends the TLS session unless the socket is persistent.
void TlsEnd(PaypalContext *ctx);
/// Ends the TLS session always (before a forced close).
void TlsDrop(PaypalContext *ctx);
/// The error text of a certificate verification result, or null when the
/// value is not one the driver names.
[[nodiscard]] const char *TlsVerifyErrorText(long result);
