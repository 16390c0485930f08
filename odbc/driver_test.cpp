// driver_test: the setup library's connection test. Obtains an access token
// from the settings alone, without an ODBC connection, and says how it went.
#include <cstdio>
#include <string>

#include "odbc/odbc_api.h"
#include "sqi/session.h"
#include "support/dsn_settings.h"

namespace {

int answer(char *message, int capacity, int code, const std::string &text) {
    if (message && capacity > 0) std::snprintf(message, static_cast<size_t>(capacity), "%s", text.c_str());
    return code;
}

int run_test(DsnSettings *s, char *message, int capacity) {
    if (!s->client_id[0] || !s->client_secret[0]) return answer(message, capacity, 1, "Client Id MUST be supplied");
    PaypalSettings settings{};
    settings.sandbox = s->sandbox;
    settings.base_url = s->base_url;
    std::string base_url = paypal_base_url(settings);
    ParsedUrl api;
    if (ParseUrl(base_url, &api) != 0) return answer(message, capacity, 1, "unable to extract host from URI");
    TlsContextPtr tls;
    if (api.secure) {
        tls = TlsCreateContext();
        if (!tls) return answer(message, capacity, 1, "unable to allocate Memory");
    }
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    if (!ctx) return answer(message, capacity, 1, "unable to create PAYPAL context");
    ctx->quiet = 1;
    if (PaypalContextConfigure(ctx.get(), base_url.c_str(), s->proxy, s->proxy_user, s->proxy_password,
                               s->client_id, s->client_secret) != 0)
        return answer(message, capacity, 1, "unable to extract host from URI");
    ctx->tls = tls.get();
    ctx->cert_path = s->cert;
    std::string reason;
    if (GetAccessToken(ctx.get(), reason, base_url.c_str()) != 0) {
        if (reason.empty()) reason = ctx->last_error;
        return answer(message, capacity, 1, "Failed to obtain Paypal access token: '" + reason + "'");
    }
    (void)PaypalTraceSetup(&ctx->trace, 0, nullptr);
    ForceClose(ctx.get());
    return answer(message, capacity, 0, "Connected and authenticated with Paypal");
}

}  // namespace

CV_EXPORT int driver_test(DsnSettings *settings, char *message, int capacity) {
    if (!settings) return answer(message, capacity, 1, "unable to allocate Memory");
    try {
        return run_test(settings, message, capacity);
    } catch (...) {
        return answer(message, capacity, 1, "unable to allocate Memory");
    }
}
