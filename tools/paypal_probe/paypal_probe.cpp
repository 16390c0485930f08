// paypal_probe: obtains an OAuth2 token and issues one GET through the
// driver's own web transport, printing the HTTP status and every error text
// the driver would post. For people checking their client id and secret,
// proxy and CA settings without an ODBC application.
//
//   paypal_probe --base-url URL | --sandbox | --live   (one is required)
//                [--client-id ID] [--client-secret S]  (or PAYPAL_CLIENT_ID / PAYPAL_CLIENT_SECRET)
//                [--cert CA] [--proxy URL --proxy-user U --proxy-pass P]
//                [--path v2/invoicing/invoices] [--param name=value ...]
//                [--logging VALUE --logfile FILE] [--timeout SECONDS]
// Exit status: 0 when the GET answered 200, 1 otherwise, 2 for bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "transport/transport.h"

namespace {

void print_posted(void *, void *, const char *sqlstate, int native, const char *message) {
    printf("  posted [%s] (native %d) %s\n", sqlstate, native, message);
}

int usage() {
    fprintf(stderr,
            "usage: paypal_probe (--base-url URL | --sandbox | --live) [--client-id ID]\n"
            "       [--client-secret SECRET] [--cert CA] [--proxy URL] [--proxy-user U]\n"
            "       [--proxy-pass P] [--path PATH] [--param NAME=VALUE]... [--logging VALUE]\n"
            "       [--logfile FILE] [--timeout SECONDS]\n"
            "The secret may also come from PAYPAL_CLIENT_SECRET (safer than the command line).\n");
    return 2;
}

const char *env_or(const char *name, const char *fallback) {
    const char *v = getenv(name);
    return v && *v ? v : fallback;
}

}  // namespace

int main(int argc, char **argv) {
    std::string base, cert, proxy, proxy_user, proxy_pass, logging, logfile;
    std::string client_id = env_or("PAYPAL_CLIENT_ID", "");
    std::string client_secret = env_or("PAYPAL_CLIENT_SECRET", "");
    std::string path = "v2/invoicing/invoices";
    std::vector<std::pair<std::string, std::string>> params = {{"page", "1"}, {"page_size", "1"}};
    int timeout = kDefaultTimeoutSeconds;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        const char *v = nullptr;
        if (a == "--sandbox") {
            base = "https://api-m.sandbox.paypal.com";
        } else if (a == "--live") {
            base = "https://api-m.paypal.com";
        } else if (a == "--help" || a == "-h") {
            return usage();
        } else if (!(v = value())) {
            return usage();
        } else if (a == "--base-url")
            base = v;
        else if (a == "--client-id")
            client_id = v;
        else if (a == "--client-secret")
            client_secret = v;
        else if (a == "--cert")
            cert = v;
        else if (a == "--proxy")
            proxy = v;
        else if (a == "--proxy-user")
            proxy_user = v;
        else if (a == "--proxy-pass")
            proxy_pass = v;
        else if (a == "--path")
            path = v;
        else if (a == "--logging")
            logging = v;
        else if (a == "--logfile")
            logfile = v;
        else if (a == "--timeout") {
            long t = std::strtol(v, nullptr, 10);
            timeout = t > 0 && t < 86400 ? static_cast<int>(t) : kDefaultTimeoutSeconds;
        }
        else if (a == "--param") {
            const char *eq = strchr(v, '=');
            if (!eq) return usage();
            params.emplace_back(std::string(v, eq), std::string(eq + 1));
        } else {
            return usage();
        }
    }
    if (base.empty()) return usage();
    if (client_id.empty() || client_secret.empty()) {
        printf("client id and client secret must be provided\n");
        return 1;
    }
    TlsContextPtr tls = TlsCreateContext();
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, print_posted);
    if (!ctx) {
        printf("unable to create PAYPAL context\n");
        return 1;
    }
    ctx->tls = tls.get();
    ctx->cert_path = cert;
    ctx->timeout_seconds = timeout;
    PaypalTraceSetup(&ctx->trace, PaypalTraceParseLogging(logging.c_str()), logfile.c_str());
    printf("base URL: %s\n", base.c_str());
    if (PaypalContextConfigure(ctx.get(), base.c_str(), proxy.c_str(), proxy_user.c_str(),
                               proxy_pass.c_str(), client_id.c_str(), client_secret.c_str()) != 0) {
        printf("Unable to extract host from url\n");
        return 1;
    }
    if (ctx->secure && !tls) {
        printf("Required SSL (no ssl_info)\n");
        return 1;
    }
    printf("token request:\n");
    std::string reason;
    if (GetAccessToken(ctx.get(), reason, ctx->base_url.c_str()) != 0) {
        printf("Failed to obtain Paypal access token: '%s'\n", reason.c_str());
        return 1;
    }
    printf(
        "  obtained, type %s, expires in %lld s\n", ctx->token_type.c_str(),
        static_cast<long long>(ctx->token_expiry - transport_now(ctx.get()) + kTokenEarlySeconds));
    printf("GET %s:\n", path.c_str());
    WebRequestPtr req = NewGetRequest(ctx.get(), path, 1);
    if (!req) {
        printf("Memory allocation error\n");
        return 1;
    }
    for (const auto &p : params) AddParameter(req.get(), p.first, p.second, 0);
    WebResponsePtr resp;
    if (WebExchange(req.get(), resp) != 0 || !resp) {
        printf("  no reply: %s\n", ctx->last_error);
        return 1;
    }
    printf("  HTTP %d %s, %zu body bytes%s\n", resp->status, resp->reason.c_str(),
           resp->body.size(), resp->gzip ? " (gzip)" : "");
    if (resp->status != 200) {
        ErrorInfo info;
        if (DecodeError(resp.get(), &info) == 0) {
            printf("  %s\n", FormatErrorInfo(info).c_str());
        } else {
            printf("  fails to decode reply\n");
        }
        return 1;
    }
    return 0;
}
