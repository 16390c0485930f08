// Running a PayPal action: its POST (path with the key, JSON body built from
// the arguments), then its result row, read from the reply or from the
// object read back with one GET.
//
// The POST carries a PayPal-Request-Id of its own and follows the rules of
// every change for a lost reply (row_changes.h): resent only to the APIs
// that apply a repeated id once (refunds, captures), else reported as
// possibly applied. PayPal's error reply (an invoice not in a state that
// allows the action, an amount above what is refundable) fails the call
// with its name and message. Any action empties the reply cache, so that a
// later SELECT reads the changed objects from PayPal.
//
// Exports: SQIGetProcedureInfo, SQIRunProcedure.
#include <jansson.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "sqi/procedures.h"
#include "sqi/row_changes.h"
#include "sqi/scan.h"
#include "sqi/session.h"
#include "sqi/text_rows.h"
#include "support/value.h"

namespace {

struct JsonFree {
    void operator()(json_t *j) const { json_decref(j); }
};
using JsonPtr = std::unique_ptr<json_t, JsonFree>;

int post(const PaypalIterator *it, const std::string &message) {
    scan_post(it, message.c_str());
    return DAL_ERROR;
}

// The argument's text; null when left out or NULL.
const char *argument_text(const Value *v) {
    if (!v || v->is_null || v->type != VT_CHAR || !v->data.s) return nullptr;
    return v->data.s;
}

// Puts `value` (a new reference, taken) at the comma path `path` of `root`;
// '#' is the one element of an array, made on the way as objects are.
bool place(json_t *root, std::string_view path, json_t *value) {
    json_t *at = root;
    for (;;) {
        size_t comma = path.find(',');
        std::string member(path.substr(0, comma));
        if (comma == std::string_view::npos) {
            if (json_is_array(at)) return json_array_append_new(at, value) == 0;
            return json_object_set_new(at, member.c_str(), value) == 0;
        }
        path.remove_prefix(comma + 1);
        const bool next_is_array = path.substr(0, path.find(',')) == "#";
        json_t *next = nullptr;
        if (member == "#") {
            // The array's one element.
            next = json_array_get(at, 0);
            if (!next) {
                next = json_object();
                if (json_array_append_new(at, next) != 0) next = nullptr;
            }
            at = next;
            if (!at) break;
            continue;
        }
        next = json_object_get(at, member.c_str());
        if (!next) {
            next = next_is_array ? json_array() : json_object();
            if (!next || json_object_set_new(at, member.c_str(), next) != 0) break;
        }
        at = next;
    }
    json_decref(value);
    return false;
}

// The request body: each argument (or its parameter's default, when left
// out) at its places. Null when memory runs out.
json_t *make_body(const PaypalProcedure &p, int count, Value *const *args) {
    JsonPtr body(json_object());
    if (!body) return nullptr;
    for (int k = 0; k < p.info.param_count && p.body_paths; k++) {
        const char *where = p.body_paths[k];
        if (!where) continue;
        const ProcedureParam &param = p.info.params[k];
        const Value *given = k < count ? args[k] : nullptr;
        const char *text = given ? argument_text(given) : param.default_text;
        if (!text) continue;
        std::string_view places = where;
        for (;;) {
            size_t semi = places.find(';');
            json_t *v = param.sql_type == SQL_BIT ? json_boolean(std::strcmp(text, "true") == 0) : json_string(text);
            if (!v || !place(body.get(), places.substr(0, semi), v)) return nullptr;
            if (semi == std::string_view::npos) break;
            places.remove_prefix(semi + 1);
        }
    }
    return body.release();
}

// The member at comma path `path` of `object`, or null.
json_t *member_at(json_t *object, std::string_view path) {
    json_t *at = object;
    while (at && !path.empty()) {
        size_t comma = path.find(',');
        std::string member(path.substr(0, comma));
        at = json_is_object(at) ? json_object_get(at, member.c_str()) : nullptr;
        if (comma == std::string_view::npos) break;
        path.remove_prefix(comma + 1);
    }
    return at;
}

TextCell cell_of(json_t *v) {
    if (!v || json_is_null(v)) return std::nullopt;
    if (json_is_string(v)) return std::string(json_string_value(v), json_string_length(v));
    if (json_is_true(v)) return std::string("true");
    if (json_is_false(v)) return std::string("false");
    // An object or array: its JSON text. Failing to write it is no NULL.
    char *text = json_dumps(v, JSON_ENCODE_ANY | JSON_COMPACT | JSON_SORT_KEYS);
    if (!text) throw std::bad_alloc();
    std::string out(text);
    free(text);
    return out;
}

JsonPtr parse_reply(const WebResponse *resp) {
    json_error_t err;
    return JsonPtr(json_loadb(resp->body.data(), resp->body.size(), 0, &err));
}

// The id of the object a create made: its member, else the last segment
// of the link PayPal answers with (a reply of only {"href": ...}).
std::string created_id(json_t *reply, const char *member) {
    json_t *v = member_at(reply, member);
    if (json_is_string(v)) return json_string_value(v);
    json_t *href = member_at(reply, "href");
    if (!json_is_string(href)) return std::string();
    std::string link = json_string_value(href);
    size_t q = link.find('?');
    if (q != std::string::npos) link.resize(q);
    size_t slash = link.rfind('/');
    return slash == std::string::npos ? link : link.substr(slash + 1);
}

}  // namespace

int SQIGetProcedureInfo(void *, void *, DalText procedure, const ProcedureInfo **out) {
    const PaypalProcedure *p = paypal_find_procedure(dal_text_view(procedure));
    if (!p) return DAL_NOT_MINE;
    *out = &p->info;
    return DAL_OK;
}

namespace {

int run_procedure(PaypalIterator *it, const ProcedureInfo *info, int count, Value *const *args) {
    const PaypalProcedure *p = paypal_procedure_of(info);
    if (!p) return DAL_NOT_MINE;
    if (!it->env || !it->env->session || !it->env->session->context) return post(it, "Not connected");
    scan_release(it);
    PaypalContext *ctx = it->env->session->context.get();
    std::string key;
    if (p->key_param >= 0) {
        const char *k = p->key_param < count ? argument_text(args[p->key_param]) : nullptr;
        if (!k || !*k)
            return post(it, std::string("No value for ") + p->info.params[p->key_param].name + " of " + p->info.name);
        key = k;
    }
    WebRequestPtr req = NewPostRequest(ctx, p->key_param >= 0 ? EndpointWithKey(p->path, key) : p->path, 0);
    if (!req) return post(it, "Memory allocation error");
    if (p->sends_body) {
        JsonPtr body(make_body(*p, count, args));
        if (!body || SetBody(req.get(), body.get()) != 0) return post(it, "Memory allocation error");
    }
    if (paypal_identify_change(it, req.get(), p->repeatable != 0) != DAL_OK) return DAL_ERROR;
    if (p->prefer_representation) AddHeader(req.get(), "Prefer", "return=representation");
    WebResponsePtr resp;
    if (paypal_change_exchange(it, req.get(), resp) != DAL_OK) return DAL_ERROR;
    // The action changed what earlier replies said.
    CacheFlush(&it->env->cache);
    JsonPtr object = parse_reply(resp.get());
    if (!object && resp->body.find_first_not_of(" \t\r\n") != std::string::npos)
        return post(it, std::string(p->info.name) + " was applied, but its reply fails to decode");
    if (p->result == ProcedureResult::kReadBack) {
        std::string id = p->id_member ? created_id(object.get(), p->id_member) : key;
        if (id.empty()) return post(it, std::string(p->info.name) + " was applied, but its reply names no object");
        WebRequestPtr get = NewGetRequest(ctx, EndpointWithKey(p->read_path, id), 1);
        if (!get) return post(it, "Memory allocation error");
        WebResponsePtr read;
        if (paypal_change_exchange(it, get.get(), read) != DAL_OK)
            return post(it, std::string(p->info.name) + " was applied, but " + id + " could not be read back");
        object = parse_reply(read.get());
        if (!object) return post(it, std::string(p->info.name) + " was applied, but the object read back fails to decode");
    }
    TextRow row;
    for (int c = 0; c < p->info.column_count; c++) row.push_back(cell_of(member_at(object.get(), p->column_paths[c])));
    std::vector<TextRow> rows;
    rows.push_back(std::move(row));
    text_rows_set(it, std::move(rows));
    return DAL_OK;
}

}  // namespace

int SQIRunProcedure(void *handle, const ProcedureInfo *info, int count, Value *const *args) {
    auto *it = static_cast<PaypalIterator *>(handle);
    try {
        return run_procedure(it, info, count, args);
    } catch (const std::bad_alloc &) {
        // The action may have been applied: the error says memory ran out,
        // never that nothing happened.
        scan_post(it, "Memory allocation error");  // no string to allocate
        return DAL_ERROR;
    }
}
