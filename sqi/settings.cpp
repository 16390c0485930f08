// The PayPal provider's connection settings.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "transport/paypal_trace.h"
#include "sqi/session.h"
#include "support/connstr.h"
#include "support/profile.h"

namespace {

constexpr size_t kMaxSetting = 1023;
// Settled transactions: PayPal hardly changes one after three days; a week
// of years is the most that makes sense (history is kept three years).
constexpr int32_t kDefaultSettleHours = 72;
constexpr int32_t kMaxSettleHours = 24 * 366 * 3;

bool word(const std::string &v, const char *w) { return strcasecmp(v.c_str(), w) == 0; }

// An integer in C notation (0x.. hex, 0.. octal, else decimal); 0 for none.
int32_t c_integer(const std::string &v) {
    char *end = nullptr;
    long n = std::strtol(v.c_str(), &end, 0);
    if (end == v.c_str()) return 0;
    if (n > 1000000000L) n = 1000000000L;
    if (n < -1000000000L) n = -1000000000L;
    return static_cast<int32_t>(n);
}

}  // namespace

void read_paypal_settings(const ConnAttrList *attributes, const std::string &dsn, PaypalSettings *s) {
    std::unique_ptr<CvConfig, void (*)(CvConfig *)> config(dsn.empty() ? nullptr : open_registry(), close_registry);
    auto get = [&](const char *key, const char *fallback) -> std::string {
        if (const char *v = get_attribute_value(attributes, key)) {
            std::string t(v);
            if (t.size() > kMaxSetting) t.resize(kMaxSetting);
            return t;
        }
        if (config) return get_profile_string(config.get(), dsn, key, fallback, "odbc.ini");
        return fallback;
    };
    s->logging = get("logging", "");
    s->logfile = get("logfile", "");
    s->entropy = get("entropy", "");
    s->cert = get("cert", "");
    s->proxy = get("proxy", "");
    s->proxy_user = get("proxy_user", "");
    s->proxy_pass = get("proxy_pass", "");
    s->client_id = get("client_id", "");
    s->client_secret = get("client_secret", "");
    s->base_url = get("base_url", "");
    // SQLConnect's user name and password stand for the client id and secret
    // when those are not given otherwise (isql DSN id secret).
    if (s->client_id.empty()) s->client_id = get("uid", "");
    if (s->client_secret.empty()) s->client_secret = get("pwd", "");

    std::string flush = get("flush_on_update", "1");
    s->flush_on_update = flush.empty() ? 1 : (word(flush, "no") || word(flush, "false") || flush == "0") ? 0 : 1;
    std::string disguise = get("disguise_long", "");
    s->disguise_long = word(disguise, "yes") || word(disguise, "true") || disguise == "1";
    std::string filter = get("filter_local", "0");
    if (word(filter, "yes") || word(filter, "true")) s->filter_local = 1;
    else if (word(filter, "no") || word(filter, "off")) s->filter_local = 0;
    else s->filter_local = c_integer(filter);
    std::string max_num = get("max_num", "20");
    int32_t page = max_num.empty() ? kMaxPageSize : static_cast<int32_t>(std::strtol(max_num.c_str(), nullptr, 10));
    s->page_size = page > kMaxPageSize || page <= 0 ? kMaxPageSize : page;
    std::string sandbox = get("sandbox", "N");
    s->sandbox = word(sandbox, "yes") || word(sandbox, "true") || word(sandbox, "on");
    std::string timeout = get("query_timeout", "");
    s->query_timeout = timeout.empty() ? 0 : static_cast<int32_t>(std::strtol(timeout.c_str(), nullptr, 10));
    if (s->query_timeout < 0) s->query_timeout = 0;
    // Retries of 429, 5xx and lost connections: how many per request, and
    // how long a statement may wait for them in all.
    std::string retries = get("retries", "");
    s->retries = retries.empty() ? kDefaultRetries : c_integer(retries);
    if (s->retries < 0) s->retries = 0;
    if (s->retries > 100) s->retries = 100;
    std::string retry_wait = get("retry_wait", "");
    s->retry_wait = retry_wait.empty() ? kDefaultRetryWaitSeconds : c_integer(retry_wait);
    if (s->retry_wait < 0) s->retry_wait = 0;
    if (s->retry_wait > 86400) s->retry_wait = 86400;
    std::string parallel = get("parallel_requests", "");
    int32_t k = parallel.empty() ? kDefaultParallelRequests : c_integer(parallel);
    s->parallel_requests = k < 1 ? 1 : k > kMaxParallelRequests ? kMaxParallelRequests : k;
    s->history_store = get("history_store", "");
    std::string settle = get("history_settle_hours", "");
    int32_t hours = settle.empty() ? kDefaultSettleHours : c_integer(settle);
    s->history_settle_hours = hours < 0 ? 0 : hours > kMaxSettleHours ? kMaxSettleHours : hours;
}

std::string paypal_base_url(const PaypalSettings &s) {
    if (!s.base_url.empty()) return s.base_url;
    return s.sandbox ? kSandboxBaseUrl : kLiveBaseUrl;
}
