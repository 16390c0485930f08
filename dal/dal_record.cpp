// The connection's DAL record: creating it, opening and closing its
// providers, and the services providers may ask of the DAL.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "dal/dal.h"
#include "dal/dal_engine_hooks.h"
#include "support/value.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/host_services.h"
#include "support/long_buffer.h"

namespace {

void copy_name(char *dst, std::string_view src) {
    size_t n = src.size() < kDalNameSize - 1 ? src.size() : kDalNameSize - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

// The keywords a gateway target inherits from the connection.
constexpr const char *kInherited[] = {
    "pwd",          "uid",         "user",          "password",  "token",        "logging",
    "logfile",      "domain",      "entropy",       "cert",      "query_timeout", "flush_on_update",
    "proxy",        "filter_local", "proxy_user",   "proxy_pass", "max_num",     "sandbox",
    "client_id",    "client_secret", "base_url",    "disguise_long", "retries",   "retry_wait",
    "parallel_requests", "history_store", "history_settle_hours",
};

void free_providers(DalRecord *dal) {
    for (int i = 0; i < dal->count; i++) {
        DalProvider *p = dal->providers ? dal->providers[i] : nullptr;
        if (!p) continue;
        if (p->handle && p->slots.SQIFreeEnv) (void)p->slots.SQIFreeEnv(p->handle, p);
        p->handle = nullptr;
        cv_mem_free(p);
    }
    cv_mem_free(dal->providers);
    dal->providers = nullptr;
    dal->count = 0;
}

void fail_open(DalRecord *dal, const char *what) {
    PostDalError(dal, dal->owner, kDalComponent, 0, "HY000", what);
}

// Builds the gateway target's own attribute list from the connection's.
ConnAttrList *target_attributes(DalRecord *dal, ConnAttrList *attributes, DalProvider *p) {
    ConnAttrList *target = init_con_str(dal->pool);
    if (!target || parse_connection_string(target, "SQITarget1=Dummy;", -3) != 0) {
        free_con_str(target);
        return nullptr;
    }
    for (const char *key : kInherited) {
        const char *v = get_attribute_value(attributes, key);
        if (v && !has_attribute(target, key) && append_pair(target, key, v) != 0) {
            free_con_str(target);
            return nullptr;
        }
    }
    if (const char *dsn = get_attribute_value(attributes, "TARGETDSN")) {
        if (append_pair(target, "DSN", dsn) != 0) {
            free_con_str(target);
            return nullptr;
        }
    }
    if (const char *d = get_attribute_value(target, "DISABLEPT")) {
        p->passthrough_disabled = std::strcmp(d, "0") != 0;
        delete_attribute(target, "DISABLEPT");
    }
    if (const char *l = get_attribute_value(target, "LKNAME")) {
        copy_name(p->name, l);
        delete_attribute(target, "LKNAME");
    }
    return target;
}

}  // namespace

int DALCreate(void *owner, CvPool *pool, const HostServices *host, DalRecord **out, const char *name) {
    *out = nullptr;
    auto *dal = pool ? pool_new<DalRecord>(pool) : nullptr;
    if (!dal) return DAL_ERROR;
    dal->owner = owner;
    dal->pool = pool;
    dal->host = host;
    copy_name(dal->name, name ? name : "");
    *out = dal;
    return DAL_OK;
}

void DALFree(DalRecord *dal) {
    if (!dal) return;
    DALClose(dal);
    cv_mem_free(dal);
}

int DALOpen(DalRecord *dal, ConnAttrList *attributes, void *window) {
    DALClose(dal);  // a record is reused by every connect
    CvPool *pool = dal->pool;
    dal->providers = pool_new_array<DalProvider *>(pool, kDalProviderCount);
    if (!dal->providers) return DAL_ERROR;
    dal->count = kDalProviderCount;
    void (*const builders[kDalProviderCount])(DalSlots *) = {views_provider_slots, info_schema_provider_slots,
                                                             sqi_provider_slots};
    for (int i = 0; i < kDalProviderCount; i++) {
        dal->providers[i] = pool_new<DalProvider>(pool);
        if (!dal->providers[i]) {
            free_providers(dal);
            return DAL_ERROR;
        }
        builders[i](&dal->providers[i]->slots);
    }
    const char *dsn = get_attribute_value(attributes, "DSN");
    const int version = dal->host && dal->host->odbc_version ? dal->host->odbc_version(dal->owner) : 3;
    const DalLink link{dal->owner, dal, DALServiceCallback};
    bool info = false;
    for (int i = 0; i < kDalProviderCount; i++) {
        DalProvider *p = dal->providers[i];
        int r = p->slots.SQIAllocEnv(&link, &p->handle, dsn);
        if (r == DAL_INFO) info = true;
        if (r != DAL_OK && r != DAL_INFO) {
            fail_open(dal, "General error: DALOpen failed");
            free_providers(dal);
            return DAL_ERROR;
        }
        if (p->slots.SQISetAttr) (void)p->slots.SQISetAttr(p->handle, 0, version);
        ConnAttrList *target = attributes;
        if (i == kViewsProvider) {
            copy_name(p->name, "$$$VIEWS$$$");
        } else if (i == kInfoSchemaProvider) {
            copy_name(p->name, "$$$INFO_SCHEMA$$$");
        } else {
            target = target_attributes(dal, attributes, p);
            if (!target) {
                fail_open(dal, "General error: DALOpen parse");
                free_providers(dal);
                return DAL_ERROR;
            }
        }
        char out[4096] = "";
        r = p->slots.SQIConnect(p->handle, target, window, out, sizeof out - 1);
        if (target != attributes) free_con_str(target);
        if (r == DAL_INFO) info = true;
        if (r != DAL_OK && r != DAL_INFO) {
            free_providers(dal);
            return r;
        }
    }
    return info ? DAL_INFO : DAL_OK;
}

void DALClose(DalRecord *dal) {
    if (!dal) return;
    for (int i = 0; i < dal->count; i++) {
        DalProvider *p = dal->providers ? dal->providers[i] : nullptr;
        if (p && p->handle && p->slots.SQIDisconnect) (void)p->slots.SQIDisconnect(p->handle);
    }
    free_providers(dal);
    dal->transaction_open = 0;
}

void PostDalError(const DalRecord *dal, void *handle, const char *component, int native,
                  const char *sqlstate, const char *message) {
    ErrorHeader *h = host_diagnostics(dal ? dal->host : nullptr, handle);
    if (!h) return;
    SetReturnCode(h, SQL_ERROR);
    PostError(h, 2, 0, 0, native, 0, nullptr, sqlstate ? sqlstate : "HY000", "[Corvane][%s]%s",
              component ? component : kDalComponent, message ? message : "");
}

int DALServiceCallback(DalRecord *dal, int code, DalServiceRequest *r) {
    if (!r) return DAL_ERROR;
    const HostServices *host = dal ? dal->host : nullptr;
    switch (code) {
        case DAL_SERVICE_POST_ERROR:
            PostDalError(dal, r->handle, r->origin, r->native, r->sqlstate, r->message);
            return DAL_OK;
        case DAL_SERVICE_ALLOCATE: {
            CvPool *pool = host_pool(host, r->handle);
            r->result = pool ? cv_mem_alloc(pool, r->size) : nullptr;
            return r->result ? DAL_OK : DAL_ERROR;
        }
        case DAL_SERVICE_ODBC_VERSION:
            r->code = host && host->odbc_version ? host->odbc_version(r->handle) : 3;
            return DAL_OK;
        case DAL_SERVICE_CREDENTIALS: {
            const bool texts = host && host->connection_text;
            const char *uid = texts ? host->connection_text(r->handle, "UID") : nullptr;
            const char *pwd = texts ? host->connection_text(r->handle, "PWD") : nullptr;
            std::snprintf(r->user, sizeof r->user, "%s", uid ? uid : "");
            std::snprintf(r->password, sizeof r->password, "%s", pwd ? pwd : "");
            return DAL_OK;
        }
        case DAL_SERVICE_TIME_LIMIT:
            r->code = host && host->time_limit ? host->time_limit(r->handle) : 0;
            return DAL_OK;
        case DAL_SERVICE_CANCEL_FLAG:
            r->result = host && host->cancel_flag
                            ? const_cast<std::atomic<int32_t> *>(host->cancel_flag(r->handle))
                            : nullptr;
            return r->result ? DAL_OK : DAL_ERROR;
        case DAL_SERVICE_DIAG_COUNT: {
            const ErrorHeader *diag = host_diagnostics(host, r->handle);
            r->code = diag ? diag_count(diag) : 0;
            return DAL_OK;
        }
        case DAL_SERVICE_RECORD:
            r->result = host && host->dal_record ? host->dal_record(r->handle) : nullptr;
            return r->result ? DAL_OK : DAL_ERROR;
        case DAL_SERVICE_GET_INFO: {
            if (!host || !host->get_info || r->capacity < 0 || r->capacity > 32767) return DAL_ERROR;
            int64_t length = 0;
            const int rc = host->get_info(r->handle, r->code, r->buffer, r->capacity, &length);
            r->length = static_cast<SQLLEN>(length);
            return rc == 0 ? DAL_OK : DAL_ERROR;
        }
        case DAL_SERVICE_LONG_LENGTH:
            r->length = r->value && r->value->long_buffer
                            ? static_cast<SQLLEN>(long_buffer_length(r->value->long_buffer))
                            : 0;
            return DAL_OK;
        case DAL_SERVICE_LONG_READ: {
            LongBuffer *lb = r->value ? r->value->long_buffer : nullptr;
            if (!lb || !r->buffer || r->capacity <= 0) {
                r->length = 0;
                return DAL_OK;
            }
            size_t got = extract_from_long_buffer(lb, r->buffer, static_cast<size_t>(r->capacity));
            r->length = static_cast<SQLLEN>(got);
            // 1: more is to come after this piece.
            return lb->position < lb->length ? DAL_INFO : DAL_OK;
        }
        case DAL_SERVICE_LONG_REWIND:
            if (r->value && r->value->long_buffer) rewind_long_buffer(r->value->long_buffer);
            return DAL_OK;
        case DAL_SERVICE_EVALUATE:
        case DAL_SERVICE_CONVERT:
        case DAL_SERVICE_TYPE_INFO:
        case DAL_SERVICE_TO_INTEGER: return dal_engine_service(dal, code, r);
        default: return DAL_ERROR;
    }
}

int DALStartTransaction(DalRecord *dal) {
    if (!dal || dal->transaction_open) return DAL_OK;
    bool info = false;
    for (int i = 0; i < dal->count; i++) {
        DalProvider *p = dal->providers[i];
        if (!p || !p->slots.SQIStartTransaction) continue;
        int r = p->slots.SQIStartTransaction(dal->owner, p->handle);
        if (r == DAL_ERROR) return r;
        info |= r == DAL_INFO;
    }
    dal->transaction_open = 1;
    return info ? DAL_INFO : DAL_OK;
}

int DALEndTransaction(DalRecord *dal, int completion) {
    if (!dal || !dal->transaction_open) return DAL_OK;
    bool info = false;
    for (int i = 0; i < dal->count; i++) {
        DalProvider *p = dal->providers[i];
        if (!p || !p->slots.SQIEndTransaction) continue;
        int r = p->slots.SQIEndTransaction(dal->owner, p->handle, completion);
        if (r == DAL_ERROR) return r;
        info |= r == DAL_INFO;
    }
    dal->transaction_open = 0;
    return info ? DAL_INFO : DAL_OK;
}
