// The TLS channel: a verifying client context (TLS 1.2 or later, the
// system's CA store or the `cert` location), the handshake with host-name
// verification and SNI, reads and writes, and ending the session.
//
// The session talks to the socket through a small BIO of our own so that
// every write uses MSG_NOSIGNAL: a server that closed the connection must
// not raise SIGPIPE in the application.
#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "transport/socket.h"
#include "transport/tls.h"

namespace {

// The BIO's data is the PaypalContext: every wait is cut to what is left of
// the request's deadline.
int bio_write(BIO *bio, const char *data, int len) {
    auto *ctx = static_cast<PaypalContext *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    for (;;) {
        // errno tells the caller why: EAGAIN the wait limit, ECANCELED a cancel.
        if (SocketWait(ctx, POLLOUT) <= 0) return -1;
        ssize_t n = send(ctx->socket_fd, data, static_cast<size_t>(len), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return static_cast<int>(n);
    }
}

int bio_read(BIO *bio, char *data, int len) {
    auto *ctx = static_cast<PaypalContext *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    for (;;) {
        // A wait that ends without data (EAGAIN: the limit passed; ECANCELED)
        // is a failure, not a retry: the caller must not wait again.
        if (SocketWait(ctx, POLLIN) <= 0) return -1;
        ssize_t n = recv(ctx->socket_fd, data, static_cast<size_t>(len), MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return static_cast<int>(n);
    }
}

long bio_ctrl(BIO *, int cmd, long, void *) {
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int bio_create(BIO *bio) {
    BIO_set_init(bio, 1);
    return 1;
}

int bio_puts(BIO *bio, const char *s) {
    return bio_write(bio, s, static_cast<int>(strlen(s)));
}

const BIO_METHOD *nosignal_method() {
    static BIO_METHOD *method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "cv socket");
        if (m) {
            BIO_meth_set_write(m, bio_write);
            BIO_meth_set_read(m, bio_read);
            BIO_meth_set_puts(m, bio_puts);
            BIO_meth_set_ctrl(m, bio_ctrl);
            BIO_meth_set_create(m, bio_create);
        }
        return m;
    }();
    return method;
}

void post_queued_errors(PaypalContext *ctx) {
    unsigned long e;
    while ((e = ERR_get_error()) != 0) {
        char text[256];
        ERR_error_string_n(e, text, sizeof text);
        transport_error(ctx, "08001", static_cast<int>(e & 0x7FFFFFFF), "SSL error '%s'", text);
    }
}

// The system's CA certificates, read once per process. Reading the bundle
// costs tens of milliseconds of CPU, and every environment would read the
// same files; contexts share the store (OpenSSL locks it for lookups).
// Null when it cannot be read. Freed when the library is unloaded.
struct SystemStore {
    X509_STORE *store = nullptr;
    SystemStore() {
        store = X509_STORE_new();
        if (store && X509_STORE_set_default_paths(store) != 1) {
            X509_STORE_free(store);
            store = nullptr;
        }
        ERR_clear_error();
    }
    ~SystemStore() { X509_STORE_free(store); }
};

X509_STORE *system_store() {
    static SystemStore shared;
    return shared.store;
}

// A store for a connection that names `cert`: the system's certificates
// (copied by reference, not read again) plus that location. Null (posted)
// on failure.
X509_STORE *load_cert_store(PaypalContext *ctx) {
    X509_STORE *store = X509_STORE_new();
    if (!store) {
        transport_error(ctx, "HY001", 0, "Memory allocation error");
        return nullptr;
    }
    if (X509_STORE *system = system_store()) {
        STACK_OF(X509) *certs = X509_STORE_get1_all_certs(system);
        for (int i = 0; certs && i < sk_X509_num(certs); ++i) (void)X509_STORE_add_cert(store, sk_X509_value(certs, i));
        sk_X509_pop_free(certs, X509_free);
        ERR_clear_error();
    }
    const char *path = ctx->cert_path.c_str();
    PP_TRACE(ctx, kPpTraceDetail, "Loading Certificate file '%s'", path);
    struct stat st {};
    int rc;
    if (stat(path, &st) != 0) {
        PP_TRACE(ctx, kPpTraceDetail, "file not found, treating as file");
        rc = X509_STORE_load_file(store, path);
    } else if (S_ISDIR(st.st_mode)) {
        PP_TRACE(ctx, kPpTraceDetail, "file found, treating as directory");
        rc = X509_STORE_load_path(store, path);
    } else {
        PP_TRACE(ctx, kPpTraceDetail, "file found, treating as file");
        rc = X509_STORE_load_file(store, path);
    }
    if (rc != 1) {
        X509_STORE_free(store);
        transport_error(ctx, "08001", 0, "Loading Certificate file '%s' failed", path);
        // OpenSSL's own text for an unreadable file ("system lib") says
        // nothing a user can act on: name the file and the system's reason.
        errno = 0;
        if (access(path, R_OK) != 0) {
            const int why = errno;
            ERR_clear_error();
            transport_error(ctx, "08001", 0, "Certificate file '%s' cannot be read: %s", path,
                            strerror(why));
        } else {
            post_queued_errors(ctx);
            transport_error(ctx, "08001", 0,
                            "Certificate file '%s' holds no usable PEM CA certificate", path);
        }
        return nullptr;
    }
    return store;
}

// The store that verifies this connection's server (a reference the caller
// frees): the shared system store, or the store of its `cert` location,
// read once per context and location. Each session gets its own store, so
// connections of one context naming different locations never verify
// against each other's. Null (posted) on failure.
X509_STORE *store_for(PaypalContext *ctx, TlsContext *tls) {
    X509_STORE *store = nullptr;
    if (ctx->cert_path.empty()) {
        store = system_store();
        if (!store) {
            transport_error(ctx, "08001", 0, "Loading the system's CA certificates failed");
            return nullptr;
        }
    } else {
        std::lock_guard<std::mutex> guard(tls->lock);
        if (!tls->cert_store || tls->loaded_cert != ctx->cert_path) {
            X509_STORE *loaded = load_cert_store(ctx);
            if (!loaded) return nullptr;
            X509_STORE_free(tls->cert_store);
            tls->cert_store = loaded;
            tls->loaded_cert = ctx->cert_path;
        }
        store = tls->cert_store;
    }
    return X509_STORE_up_ref(store) == 1 ? store : nullptr;
}

struct VerifyText {
    long value;
    const char *error;
};

const VerifyText kVerifyTexts[] = {
    {2, "SSL Provider: unable to get issuer certificate"},
    {4, "SSL Provider: unable to decrypt certificate's signature"},
    {6, "SSL Provider: unable to decode issuer public key"},
    {7, "SSL Provider: certificate signature failure"},
    {9, "SSL Provider: certificate is not yet valid"},
    {10, "SSL Provider: certificate has expired"},
    {13, "SSL Provider: format error in certificate's notBefore field"},
    {14, "SSL Provider: format error in certificate's notAfter field"},
    {18, "SSL Provider: self signed certificate"},
    {19, "SSL Provider: unable to get local issuer certificate"},
    {20, "SSL Provider: unable to get local issuer certificate"},
    {21, "SSL Provider: unable to verify the first certificate"},
    {24, "SSL Provider: invalid CA certificate"},
    {25, "SSL Provider: path length constraint exceeded"},
    {26, "SSL Provider: unsupported certificate purpose"},
    {27, "SSL Provider: certificate not trusted"},
    {28, "SSL Provider: certificate rejected"},
    {32, "SSL Provider: key usage does not include certificate signing"},
};

// Posts the failure of certificate verification `result`.
void post_verify_failure(PaypalContext *ctx, long result) {
    const char *text = TlsVerifyErrorText(result);
    if (result == X509_V_ERR_HOSTNAME_MISMATCH) {
        transport_error(ctx, "08001", 0,
                        "SSL Provider: the server's certificate does not match the host name "
                        "'%s' expected",
                        ctx->peer_host.c_str());
    } else if (result == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        transport_error(ctx, "08001", 0,
                        "SSL Provider: the server's certificate does not match the IP address "
                        "'%s' expected",
                        ctx->peer_host.c_str());
    } else if (text) {
        transport_error(ctx, "08001", 0, "%s", text);
    } else {
        transport_error(ctx, "08001", 0, "SSL connection failed, verify cert returned %d",
                        static_cast<int>(result));
    }
}

bool is_ip_literal(const std::string &host) {
    unsigned char buf[16];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

const char *TlsVerifyErrorText(long result) {
    for (const VerifyText &v : kVerifyTexts) {
        if (v.value == result) return v.error;
    }
    return nullptr;
}

void TlsContextDeleter::operator()(TlsContext *tls) const {
    if (!tls) return;
    if (tls->ctx) SSL_CTX_free(tls->ctx);
    X509_STORE_free(tls->cert_store);
    std::default_delete<TlsContext>()(tls);
}

TlsContextPtr TlsCreateContext() {
    TlsContextPtr tls;
    try {
        tls.reset(std::make_unique<TlsContext>().release());
    } catch (const std::bad_alloc &) {
        return TlsContextPtr();
    }
    tls->ctx = SSL_CTX_new(TLS_client_method());
    if (!tls->ctx || !nosignal_method()) return TlsContextPtr();
    SSL_CTX_set_min_proto_version(tls->ctx, TLS1_2_VERSION);
    SSL_CTX_set_quiet_shutdown(tls->ctx, 1);
    SSL_CTX_set_options(tls->ctx, SSL_OP_DONT_INSERT_EMPTY_FRAGMENTS);
    // Verification is always on; there is no setting that turns it off.
    SSL_CTX_set_verify(tls->ctx, SSL_VERIFY_PEER, nullptr);
    return tls;
}

int TlsHandshake(PaypalContext *ctx, TlsContext *tls) {
    if (ctx->persistent && ctx->tls_active && ctx->ssl) {
        PP_TRACE(ctx, kPpTraceDetail, "Skip SSL handshake (Persistent)");
        return 0;
    }
    PP_TRACE(ctx, kPpTraceDetail, "Starting SSL handshake");
    if (!tls || !tls->ctx) {
        transport_error(ctx, "08001", 0, "Required SSL (no ssl_info)");
        return kTransportTlsFailed;
    }
    TlsDrop(ctx);
    ERR_clear_error();
    X509_STORE *store = store_for(ctx, tls);
    if (!store) return kTransportTlsFailed;
    SSL *ssl = SSL_new(tls->ctx);
    // The session holds its own reference to the store that verifies it.
    const bool stored = ssl && SSL_set1_verify_cert_store(ssl, store) == 1;
    X509_STORE_free(store);
    if (!stored) {
        if (ssl) SSL_free(ssl);
        transport_error(ctx, "08001", 0, "Required SSL (failed to allocate SSL)");
        return kTransportTlsFailed;
    }
    ctx->ssl = ssl;
    if (!ctx->entropy_file.empty()) {
        PP_TRACE(ctx, kPpTraceDetail, "Loading entropy from '%s'", ctx->entropy_file.c_str());
        int n = RAND_load_file(ctx->entropy_file.c_str(), 1024);
        if (n < 0) {
            transport_error(ctx, "08001", 0, "Loading entropy from '%s' failed",
                            ctx->entropy_file.c_str());
            TlsDrop(ctx);
            return kTransportTlsFailed;
        }
        PP_TRACE(ctx, kPpTraceDetail, "Entropy seeded with %d bytes", n);
    }
    // The name the certificate must carry: a DNS name (also sent as SNI) or
    // an IP address literal.
    const std::string &host = ctx->peer_host;
    int ok;
    if (is_ip_literal(host)) {
        ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        ok = SSL_set1_host(ssl, host.c_str()) == 1 &&
             SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
    }
    BIO *bio = BIO_new(nosignal_method());
    if (!ok || !bio) {
        BIO_free(bio);
        transport_error(ctx, "08001", 0, "SSL connection failed");
        post_queued_errors(ctx);
        TlsDrop(ctx);
        return kTransportTlsFailed;
    }
    BIO_set_data(bio, ctx);
    SSL_set_bio(ssl, bio, bio);
    errno = 0;
    int rc = SSL_connect(ssl);
    if (rc != 1) {
        int reason = SSL_get_error(ssl, rc);
        long verify = SSL_get_verify_result(ssl);
        int sys_errno = errno;
        if (verify != X509_V_OK) {
            post_verify_failure(ctx, verify);
            ERR_clear_error();
        } else if (rc == 0) {
            PP_TRACE(ctx, kPpTraceError, "SSL Shutdown, reason %d", reason);
            transport_error(ctx, "08001", 0, "SSL connection failed");
            post_queued_errors(ctx);
        } else if (reason == SSL_ERROR_SYSCALL) {
            PP_TRACE(ctx, kPpTraceDetail, "SSL connect status %d", reason);
            if (sys_errno == ECANCELED) {
                PostCanceled(ctx);
            } else if (sys_errno == EAGAIN || sys_errno == EWOULDBLOCK) {
                PostWaitTimeout(ctx, "SSL connection");
            } else {
                transport_error(ctx, "08001", 0, "SSL connection failed in syscall (errno=%d)",
                                sys_errno);
                ctx->failure = TransportFailure::kConnect;  // no request byte went out
            }
            PP_TRACE(ctx, kPpTraceDetail, "Required SSL (unexpected status, syscall %d)",
                     sys_errno);
            post_queued_errors(ctx);
        } else {
            PP_TRACE(ctx, kPpTraceDetail, "SSL connect status %d", reason);
            transport_error(ctx, "08001", 0, "SSL connection failed");
            PP_TRACE(ctx, kPpTraceDetail, "Required SSL (unexpected status)");
            post_queued_errors(ctx);
        }
        TlsDrop(ctx);
        return kTransportTlsFailed;
    }
    PP_TRACE(ctx, kPpTraceDetail, "Connected!!!");
    // Checked again although SSL_VERIFY_PEER already failed the handshake on
    // any error: no request byte goes out unless the peer was verified.
    long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK || !SSL_get0_peer_certificate(ssl)) {
        post_verify_failure(ctx, verify);
        TlsDrop(ctx);
        return kTransportTlsFailed;
    }
    if (PaypalTraceEnabled(ctx, kPpTraceDetail)) {
        char desc[512];
        SSL_CIPHER_description(SSL_get_current_cipher(ssl), desc, sizeof desc);
        for (char *p = desc; *p; ++p) {
            if (*p < 0x20 || *p > 0x7E) *p = ' ';
        }
        PP_TRACE(ctx, kPpTraceDetail, "SSL using cypher '%s'", desc);
    }
    ctx->tls_active = 1;
    return 0;
}

long TlsRead(PaypalContext *ctx, void *buffer, size_t size) {
    if (!ctx->ssl) return ReceiveRaw(ctx, buffer, size);
    int n = SSL_read(ctx->ssl, buffer, static_cast<int>(size > INT32_MAX ? INT32_MAX : size));
    if (n > 0) return n;
    int reason = SSL_get_error(ctx->ssl, n);
    if (reason == SSL_ERROR_ZERO_RETURN || (reason == SSL_ERROR_SYSCALL && errno == 0)) {
        transport_error(ctx, "08001", 0, "read failed (peer shutdown)");
        ctx->failure = TransportFailure::kDropped;
    } else if (reason == SSL_ERROR_SYSCALL && errno == ECANCELED) {
        PostCanceled(ctx);
    } else if (reason == SSL_ERROR_SYSCALL && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        PostWaitTimeout(ctx, "read");
    } else {
        transport_error(ctx, "08001", 0, "read failed");
        ctx->failure = TransportFailure::kDropped;
    }
    ERR_clear_error();
    return -1;
}

long TlsWrite(PaypalContext *ctx, const void *bytes, size_t length) {
    if (!ctx->ssl) return SendRaw(ctx, bytes, length);
    size_t sent = 0;
    while (sent < length) {
        size_t part = length - sent > INT32_MAX ? INT32_MAX : length - sent;
        int n =
            SSL_write(ctx->ssl, static_cast<const char *>(bytes) + sent, static_cast<int>(part));
        if (n <= 0) {
            if (ExchangeCanceled(ctx)) {
                PostCanceled(ctx);
            } else {
                transport_error(ctx, "08001", 0, "Send Request failed");
                ctx->failure = TransportFailure::kDropped;
            }
            ERR_clear_error();
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    return static_cast<long>(sent);
}

void TlsEnd(PaypalContext *ctx) {
    if (ctx->persistent) return;
    TlsDrop(ctx);
}

void TlsDrop(PaypalContext *ctx) {
    if (!ctx->ssl) return;
    // Quiet shutdown: no close_notify wait on a socket about to be closed.
    SSL_shutdown(ctx->ssl);
    SSL_free(ctx->ssl);
    ctx->ssl = nullptr;
    ctx->tls_active = 0;
    ERR_clear_error();
}
