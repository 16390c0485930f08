// The connection's DAL record: creating it, opening and closing its
// providers, and the services providers may ask of the DAL.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "dal/dal.h"
#include "odbc/handles.h"
#include "engine/value.h"
#include "support/connstr.h"
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
    "parallel_requests",
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
    PostDalError(dal->owner, kDalComponent, 0, "HY000", what);
}

// Builds the gateway target's own attribute list from the connection's.
ConnAttrList *target_attributes(DalRecord *dal, ConnAttrList *attributes, DalProvider *p) {
    ConnAttrList *target = init_con_str(dal->owner->pool);
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

int DALCreate(DBC *dbc, DalRecord **out, const char *name) {
    *out = nullptr;
    auto *dal = pool_new<DalRecord>(dbc->pool);
    if (!dal) return DAL_ERROR;
    dal->owner = dbc;
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
    CvPool *pool = dal->owner->pool;
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
    const int version = dal->owner->env->odbc_version;
    bool info = false;
    for (int i = 0; i < kDalProviderCount; i++) {
        DalProvider *p = dal->providers[i];
        int r = p->slots.SQIAllocEnv(dal->owner, &p->handle, DALServiceCallback, dsn);
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

void PostDalError(void *handle, const char *component, int native, const char *sqlstate,
                  const char *message) {
    ErrorHeader *h = diag_of(handle);
    if (!h) return;
    SetReturnCode(h, SQL_ERROR);
    PostError(h, 2, 0, 0, native, 0, nullptr, sqlstate ? sqlstate : "HY000", "[Corvane][%s]%s",
              component ? component : kDalComponent, message ? message : "");
}

int DALServiceCallback(int code, DalServiceRequest *r) {
    if (!r) return DAL_ERROR;
    switch (code) {
        case DAL_SERVICE_POST_ERROR:
            PostDalError(r->handle, r->origin, r->native, r->sqlstate, r->message);
            return DAL_OK;
        case DAL_SERVICE_ALLOCATE: {
            CvPool *pool = nullptr;
            if (DBC *d = as_dbc(r->handle)) pool = d->pool;
            else if (STMT *s = as_stmt(r->handle)) pool = s->pool;
            r->result = pool ? cv_mem_alloc(pool, r->size) : nullptr;
            return r->result ? DAL_OK : DAL_ERROR;
        }
        case DAL_SERVICE_ODBC_VERSION: {
            ENV *env = nullptr;
            if (DBC *d = as_dbc(r->handle)) env = d->env;
            else if (STMT *s = as_stmt(r->handle)) env = s->env;
            r->code = env ? env->odbc_version : 3;
            return DAL_OK;
        }
        case DAL_SERVICE_CREDENTIALS: {
            DBC *d = as_dbc(r->handle);
            if (!d) {
                if (STMT *s = as_stmt(r->handle)) d = s->dbc;
            }
            const char *uid = d ? get_attribute_value(d->conn_attrs, "UID") : nullptr;
            const char *pwd = d ? get_attribute_value(d->conn_attrs, "PWD") : nullptr;
            std::snprintf(r->user, sizeof r->user, "%s", uid ? uid : "");
            std::snprintf(r->password, sizeof r->password, "%s", pwd ? pwd : "");
            return DAL_OK;
        }
        case DAL_SERVICE_TIME_LIMIT: {
            SQLULEN seconds = 0;
            if (STMT *s = as_stmt(r->handle)) seconds = s->attrs.query_timeout;
            else if (DBC *d = as_dbc(r->handle)) seconds = d->attrs.login_timeout > 0 ? d->attrs.login_timeout : 0;
            r->code = seconds > 86400 ? 86400 : static_cast<int32_t>(seconds);
            return DAL_OK;
        }
        case DAL_SERVICE_CANCEL_FLAG: {
            STMT *s = as_stmt(r->handle);
            r->result = s ? static_cast<void *>(&s->cancel_requested) : nullptr;
            return s ? DAL_OK : DAL_ERROR;
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
        default:
            // Type information and the engine hooks arrive with the engine's evaluator.
            return DAL_ERROR;
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
