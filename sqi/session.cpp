// The PayPal provider's environment and session: allocation, connecting
// (settings, transport context, access token), disconnecting, iterators.
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "transport/paypal_trace.h"
#include "sqi/scan.h"
#include "sqi/session.h"
#include "sqi/catalog.h"
#include "support/connstr.h"

namespace {

// The transport's diagnostics reach the connection through the DAL.
// `target` is the statement whose request failed (chosen by the transport
// under its request lock), or null for the connection's own requests.
void transport_post(void *owner, void *target, const char *sqlstate, int native, const char *message) {
    auto *env = static_cast<PaypalEnv *>(owner);
    if (!env || !env->link.callback) return;
    DalServiceRequest r{};
    r.handle = target ? target : env->owner;
    r.origin = kPaypalComponent;
    r.native = native;
    r.sqlstate = sqlstate;
    r.message = message;
    (void)dal_service(env->link, DAL_SERVICE_POST_ERROR, &r);
}

int fail(PaypalEnv *env, const char *sqlstate, const char *message) {
    paypal_post(env, sqlstate, message);
    return DAL_ERROR;
}

void timezone_bias(PaypalEnv *env) {
    time_t now = time(nullptr);
    tm local{};
    if (!localtime_r(&now, &local)) return;
    long bias = -local.tm_gmtoff / 60;  // minutes: local time = UTC - bias
    env->tz_hours = static_cast<int32_t>(bias / 60);
    env->tz_minutes = static_cast<int32_t>(bias % 60 < 0 ? -(bias % 60) : bias % 60);
}

}  // namespace

void paypal_post(const PaypalEnv *env, const char *sqlstate, const char *message) {
    transport_post(const_cast<PaypalEnv *>(env), nullptr, sqlstate, 0, message);
}

const std::atomic<int32_t> *paypal_cancel_flag(const PaypalEnv *env, void *handle) {
    if (!env || !handle) return nullptr;
    DalServiceRequest r{};
    r.handle = handle;
    if (dal_service(env->link, DAL_SERVICE_CANCEL_FLAG, &r) != DAL_OK) return nullptr;
    return static_cast<const std::atomic<int32_t> *>(r.result);
}

int paypal_time_limit(const PaypalEnv *env, void *handle) {
    if (!env || !handle) return 0;
    DalServiceRequest r{};
    r.handle = handle;
    if (dal_service(env->link, DAL_SERVICE_TIME_LIMIT, &r) != DAL_OK) return 0;
    return r.code > 0 ? r.code : 0;
}

int paypal_diag_count(const PaypalEnv *env, void *handle) {
    if (!env || !handle) return 0;
    DalServiceRequest r{};
    r.handle = handle;
    if (dal_service(env->link, DAL_SERVICE_DIAG_COUNT, &r) != DAL_OK) return 0;
    return r.code;
}

int SQIAllocEnv(const DalLink *link, void **out, const char *dsn) {
    *out = nullptr;
    std::unique_ptr<PaypalEnv> env(new (std::nothrow) PaypalEnv());
    if (!env) return DAL_ERROR;
    try {
        if (link) env->link = *link;
        env->owner = env->link.owner;
        env->accept_compression = 1;
        env->page_size = kMaxPageSize;
        env->parallel_requests = 1;
        env->dsn = dsn ? dsn : "";
        env->tls = TlsCreateContext();
    } catch (...) {
        return DAL_ERROR;
    }
    if (!env->tls) return DAL_ERROR;
    timezone_bias(env.get());
    *out = env.release();
    return DAL_OK;
}

int SQIFreeEnv(void *handle, DalProvider *) {
    std::unique_ptr<PaypalEnv> env(static_cast<PaypalEnv *>(handle));
    if (env) {
        env->session.reset();
        CacheFlush(&env->cache);
    }
    return DAL_OK;
}

int SQIConnect(void *handle, ConnAttrList *attributes, void *, char *out, int) {
    auto *env = static_cast<PaypalEnv *>(handle);
    if (out) out[0] = '\0';
    try {
        PaypalSettings s{};
        read_paypal_settings(attributes, env->dsn, &s);
        auto session = std::make_unique<PaypalSession>();
        if (s.client_id.empty()) return fail(env, "HY000", "client id must be provided");
        if (s.client_secret.empty()) return fail(env, "HY000", "client secret must be provided");
        session->client_id = s.client_id;
        session->client_secret = s.client_secret;
        session->proxy = s.proxy;
        session->proxy_user = s.proxy_user;
        session->proxy_password = s.proxy_pass;
        session->base_url = paypal_base_url(s);
        session->context = PaypalContextCreate(env, transport_post);
        if (!session->context) return fail(env, "HY000", "Unable to create Paypal context");
        PaypalContext *ctx = session->context.get();
        ctx->accept_compression = env->accept_compression;
        if (ParseUrl(session->base_url, &session->api) != 0)
            return fail(env, "HY000", "Unable to extract host from url");
        if (PaypalContextConfigure(ctx, session->base_url.c_str(), s.proxy.c_str(), s.proxy_user.c_str(),
                                   s.proxy_pass.c_str(), s.client_id.c_str(), s.client_secret.c_str()) != 0)
            return DAL_ERROR;  // the context posted why
        if (!s.logging.empty())
            (void)PaypalTraceSetup(&ctx->trace, PaypalTraceParseLogging(s.logging.c_str()), s.logfile.c_str());
        ctx->tls = session->api.secure ? env->tls.get() : nullptr;
        ctx->entropy_file = s.entropy;
        ctx->retry_limit = s.retries;
        ctx->retry_wait_seconds = s.retry_wait;
        ctx->cert_path = s.cert;
        {
            std::lock_guard<std::mutex> guard(env->cache.lock);
            env->cache.lifetime = s.query_timeout;
            env->cache.flush_on_update = s.flush_on_update;
        }
        ctx->cache = &env->cache;
        env->cache_lifetime = s.query_timeout;
        env->flush_on_update = s.flush_on_update;
        env->disguise_long = s.disguise_long;
        env->filter_local = s.filter_local;
        env->page_size = s.page_size;
        env->parallel_requests = s.parallel_requests;
        session->history->path = s.history_store;
        session->history->settle_seconds = int64_t{s.history_settle_hours} * 3600;
        PP_TRACE(&ctx->trace, kPpTraceDetail, "Startup Connection");
        PP_TRACE(&ctx->trace, kPpTraceDetail | kPpTraceContinue, "flush_on_update: %d", s.flush_on_update);
        PP_TRACE(&ctx->trace, kPpTraceDetail | kPpTraceContinue, "query_timeout: %d", s.query_timeout);
        PP_TRACE(&ctx->trace, kPpTraceDetail | kPpTraceContinue, "parallel_requests: %d", s.parallel_requests);
        if (!s.history_store.empty())
            PP_TRACE(&ctx->trace, kPpTraceDetail | kPpTraceContinue, "history_store: %s, settled after %d hours",
                     s.history_store.c_str(), s.history_settle_hours);
        PP_TRACE(&ctx->trace, kPpTraceDetail | kPpTraceContinue, "URL: %s", session->base_url.c_str());
        std::string reason;
        // The login time-out bounds the token request as a whole.
        // A token another connection of this process obtained with the same
        // credentials is used as it is.
        if (ObtainToken(ctx, reason, paypal_time_limit(env, env->owner)) != 0) {
            std::string text = "Failed to obtain Paypal access token: '" + reason + "'";
            PP_TRACE(&ctx->trace, kPpTraceDetail, "%s", text.c_str());
            return fail(env, "HY000", text.c_str());
        }
        env->session = std::move(session);
        return DAL_OK;
    } catch (const std::bad_alloc &) {
        return fail(env, "08001", "Unable to allocate memory");
    } catch (...) {
        return fail(env, "HY000", "General error: unexpected failure while connecting");
    }
}

int SQIDisconnect(void *handle) {
    auto *env = static_cast<PaypalEnv *>(handle);
    if (env->session && env->session->context) {
        PaypalContext *ctx = env->session->context.get();
        std::lock_guard<std::recursive_mutex> guard(ctx->request_lock);
        if (ctx->socket_fd >= 0 && env->session->api.secure) TlsDrop(ctx);
        ForceClose(ctx);
    }
    if (env->session) ClonePoolClose(env->session->page_connections.get());
    env->session.reset();
    return DAL_OK;
}

int SQIGetInfo(void *, SqiInfoCode code, SqiInfo *out) {
    if (!out) return DAL_OK;
    switch (code) {
        case SQI_INFO_RESTRICTIONS: out->integer = kRestrictionPassIsNull; break;
        case SQI_INFO_OPTIMISER_2: out->number = 1.0; break;
        case SQI_INFO_EXACT_NUMERICS:
        case SQI_INFO_OPTIMISER_7: out->integer = 0; break;
        case SQI_INFO_LAZY_READS:
        case SQI_INFO_OPTIMISER_5: out->integer = 1; break;
        case SQI_INFO_OPTIMISER_6: break;
        case SQI_INFO_CHANGE_MASK: {
            const PaypalTable *t = out->table ? paypal_find_table(out->table) : nullptr;
            if (t) {
                int32_t allowed = ((t->flags & kTableInsert) ? kDalChangeInsert : 0) |
                                  ((t->flags & kTablePatch) ? kDalChangeUpdate : 0) |
                                  ((t->flags & kTableDelete) ? kDalChangeDelete : 0);
                out->integer &= allowed;
            }
            break;
        }
        case SQI_INFO_ROW_IDENTITY: {
            // A keyset cursor reads every row it shows again: only where that
            // is one GET by the row's key.
            const PaypalTable *t = out->table ? paypal_find_table(out->table) : nullptr;
            out->integer = paypal_keyed_fetch(t) ? kRowIdentityKeyColumns : kRowIdentityNone;
            break;
        }
        case SQI_INFO_REQUIRED_KEY: {
            // The column KeyFromRestrictions asks for: the engine makes such a
            // table the inner side of a join that gives it that key.
            const PaypalTable *t = out->table ? paypal_find_table(out->table) : nullptr;
            out->integer = 0;
            for (int i = 0; t && (t->flags & kTableKeyRequired) && i < t->column_count && !out->integer; i++)
                if (t->columns[i].flags & kColumnPathKey) out->integer = i + 1;
            break;
        }
        default: break;
    }
    return DAL_OK;
}

int SQISetAttr(void *handle, int attribute, long value) {
    if (attribute == 0) static_cast<PaypalEnv *>(handle)->odbc_version = static_cast<int32_t>(value);
    return DAL_OK;
}

void *SQIOpenIterator(void *owner, void *handle, DalProvider *, const Node *) {
    auto *env = static_cast<PaypalEnv *>(handle);
    auto *it = new (std::nothrow) PaypalIterator();
    if (!it) {
        DalServiceRequest r{};
        r.handle = owner;
        r.origin = kSqlEngineComponent;
        r.sqlstate = "HY001";
        r.message = "Memory allocation error";
        if (env) (void)dal_service(env->link, DAL_SERVICE_POST_ERROR, &r);
        return nullptr;
    }
    it->owner = owner;
    it->env = env;
    it->table_index = it->column_index = -1;
    it->next_page = -1;
    return it;
}

int SQIResetIterator(void *handle) {
    auto *it = static_cast<PaypalIterator *>(handle);
    scan_release(it);
    it->mode = kListEmpty;
    it->at_end = 0;
    it->table_index = it->column_index = -1;
    return DAL_OK;
}

int SQICloseIterator(void *handle) {
    std::unique_ptr<PaypalIterator> it(static_cast<PaypalIterator *>(handle));
    if (it) scan_release(it.get());
    return DAL_OK;
}
