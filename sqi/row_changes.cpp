// Row changes on PayPal tables: INSERT as POST, UPDATE as PATCH, DELETE as
// DELETE, the single-row fetch by key, and the refusal of every DDL
// statement.
//
// Every change carries a PayPal-Request-Id made for that one row change; the
// request record keeps it, so a resend of the same request asks PayPal for
// the same change. Only the APIs whose published description declares the
// header (table flag kTableRequestId, POSTs) apply a repeated id once, so
// only their POSTs are marked repeatable; on the others a change whose reply
// never came is reported as possibly applied, naming the id (retry.h).
// Any 2xx reply is success; its body is checked to be JSON only when there
// is one (PayPal answers some PATCHes with 204 and some POSTs with 201 and
// nothing). jansson builds the request bodies; replies are read with
// simdjson like every other.
//
// Exports: SQIFetch, SQIInsertRow, SQIDeleteRow, SQIUpdateRow,
// SQICreateTable, SQIDropTable, SQICreateIndex, SQIDropIndex, SQIGrant,
// SQIRevoke, SQIDropColumn, SQIAddColumn, paypal_request_id,
// paypal_change_body.
#include <jansson.h>
#include <openssl/rand.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/value.h"
#include "sqi/catalog.h"
#include "sqi/json_writer.h"
#include "sqi/row_change_rules.h"
#include "sqi/row_changes.h"
#include "sqi/scan.h"
#include "sqi/session.h"
#include "support/long_buffer.h"

namespace {

int post(const PaypalIterator *it, const std::string &message) {
    scan_post(it, message.c_str());
    return DAL_ERROR;
}

std::string printf_text(const char *format, const char *a, const char *b = "") {
    char buf[1024];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

const PaypalColumn *column_named(const PaypalTable *table, const ColumnInfo *info) {
    if (!info) return nullptr;
    int i = paypal_find_column(table, info->column);
    return i < 0 ? nullptr : &table->columns[i];
}

bool is_true_text(const std::string &t) {
    return t == "1" || strcasecmp(t.c_str(), "true") == 0 || strcasecmp(t.c_str(), "yes") == 0;
}

// Puts `value` at the comma path `path` of `root`, making the objects on
// the way.
bool place(json_t *root, const char *path, json_t *value) {
    std::string p = path;
    json_t *at = root;
    size_t start = 0;
    for (;;) {
        size_t comma = p.find(',', start);
        std::string member = p.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (comma == std::string::npos) return json_object_set_new(at, member.c_str(), value) == 0;
        json_t *next = json_object_get(at, member.c_str());
        if (!json_is_object(next)) {
            next = json_object();
            if (!next || json_object_set_new(at, member.c_str(), next) != 0) {
                json_decref(value);
                return false;
            }
        }
        at = next;
        start = comma + 1;
    }
}

// A change PayPal accepted: its reply body (when it sent one) must be JSON.
int change_done(PaypalIterator *it, const WebResponse *resp) {
    const std::string &body = resp->body;
    size_t i = body.find_first_not_of(" \t\r\n");
    if (i != std::string::npos && !json_reply_document(body)) return post(it, "fails to decode reply");
    if (it->env->flush_on_update) CacheFlush(&it->env->cache);
    return DAL_OK;
}

int identify(PaypalIterator *it, const PaypalTable *table, WebRequest *req) {
    return paypal_identify_change(it, req, req->method == HttpMethod::POST && (table->flags & kTableRequestId));
}

// The table for a change, or null (the slot then answers 4).
const PaypalTable *change_table(PaypalIterator *it, const TableInfo *info) {
    if (!it || !it->env || !it->env->session || !it->env->session->context || !info) return nullptr;
    return paypal_find_table(info->table);
}

// The key of a keyed change: the text of the equality on the path-key
// column (or, failing that, the key column).
bool change_key(const PaypalTable *table, int count, const Restriction *keys, std::string &key) {
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < count; i++) {
            const PaypalColumn *c = column_named(table, keys[i].column);
            if (!c || keys[i].op != RESTRICT_EQ || !keys[i].value || keys[i].value->is_null) continue;
            uint64_t want = pass == 0 ? kColumnPathKey : kColumnKey;
            if (!(c->flags & want)) continue;
            if (!restriction_value_text(keys[i].value, key)) continue;
            return !key.empty();
        }
    }
    return false;
}

std::string keyed_path(const PaypalTable *table, const std::string &key) {
    return EndpointWithKey(table->endpoint, key);
}

}  // namespace

std::string paypal_request_id() {
    unsigned char raw[16];
    if (RAND_bytes(raw, sizeof raw) != 1) return std::string();
    raw[6] = static_cast<unsigned char>((raw[6] & 0x0F) | 0x40);
    raw[8] = static_cast<unsigned char>((raw[8] & 0x3F) | 0x80);
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", raw[0],
                  raw[1], raw[2], raw[3], raw[4], raw[5], raw[6], raw[7], raw[8], raw[9], raw[10], raw[11], raw[12],
                  raw[13], raw[14], raw[15]);
    return text;
}

int paypal_identify_change(PaypalIterator *it, WebRequest *req, bool repeatable) {
    std::string id = paypal_request_id();
    if (id.empty()) return post(it, "Unable to make a PayPal-Request-Id: no random bytes");
    AddHeader(req, "PayPal-Request-Id", id);
    req->idempotent = repeatable;
    return DAL_OK;
}

int paypal_change_exchange(PaypalIterator *it, WebRequest *req, WebResponsePtr &resp) {
    PaypalEnv *env = it->env;
    // The transport's diagnostics go to the statement that changes, and its
    // query time-out bounds the exchange.
    req->diag_owner = it->owner;
    req->time_limit_seconds = paypal_time_limit(env, it->owner);
    req->cancel = paypal_cancel_flag(env, it->owner);
    int rc = WebExchange(req, resp);
    if (rc != 0 || !resp) {
        // A failed exchange has posted why, unless it could not.
        if (paypal_diag_count(env, it->owner) > 0) return DAL_ERROR;
        return post(it, req->error.empty() ? "no response from server" : req->error);
    }
    if (resp->status < 200 || resp->status >= 300) return post(it, ErrorReplyText(resp.get()));
    return DAL_OK;
}

int paypal_json_value(const PaypalColumn *column, const Value *value, json_t **out, std::string &error) {
    *out = nullptr;
    if (!value || value->is_null) {
        *out = json_null();
        return 0;
    }
    std::string text;
    if (!restriction_value_text(value, text)) {
        error = printf_text("Value of type %s cannot be sent for '%s'", std::to_string(value->type).c_str(), column->name);
        return -1;
    }
    if (column->sql_type == SQL_TINYINT) {
        *out = json_boolean(is_true_text(text));
        return 0;
    }
    if (column->sql_type == SQL_INTEGER) {
        // The published schemas type these members as integers.
        char *end = nullptr;
        long long n = std::strtoll(text.c_str(), &end, 10);
        if (end && *end == 0 && !text.empty()) {
            *out = json_integer(n);
            return 0;
        }
    }
    if (column->flags & (kColumnJsonObject | kColumnJsonArray)) {
        json_error_t err;
        json_t *parsed = json_loadb(text.data(), text.size(), JSON_DECODE_ANY, &err);
        bool object = column->flags & kColumnJsonObject;
        if (!parsed || (object && !json_is_object(parsed)) || (!object && !json_is_array(parsed))) {
            if (parsed) json_decref(parsed);
            error = printf_text(object ? "Failed extracting JSON Object for '%s':'%s'"
                                       : "Failed extracting JSON Array for '%s':'%s'",
                                column->name, parsed ? (object ? "not an object" : "not an array") : err.text);
            return -1;
        }
        *out = parsed;
        return 0;
    }
    *out = json_stringn(text.data(), text.size());
    return *out ? 0 : -1;
}

int paypal_change_body(const PaypalTable *table, int count, const Restriction *values, json_t **out, std::string &error) {
    json_t *body = json_object();
    if (!body) {
        error = "Memory allocation error";
        return -1;
    }
    json_t *child = nullptr;  // the one element of a child table's sub-array
    for (int i = 0; i < count; i++) {
        const PaypalColumn *c = column_named(table, values[i].column);
        if (!c || !values[i].value) continue;
        // A NULL is left out: PayPal takes a missing member as its default.
        if (values[i].value->is_null) continue;
        if (!change_allows(table, ChangeRule::kInsert, c->name)) {
            error = printf_text("Column %s cannot be given when inserting into %s: PayPal does not accept it in a new object",
                                c->name, table->name);
            json_decref(body);
            return -1;
        }
        json_t *v = nullptr;
        if (paypal_json_value(c, values[i].value, &v, error) != 0) {
            json_decref(body);
            return -1;
        }
        json_t *target = body;
        if ((c->flags & kColumnChild) && table->sub_key) {
            if (!child) {
                child = json_object();
                json_t *array = json_array();
                json_array_append_new(array, child);
                json_object_set_new(body, table->sub_key, array);
            }
            target = child;
        }
        const char *path = c->body_path ? c->body_path : c->json_path;
        if (!place(target, path, v)) {
            error = "Memory allocation error";
            json_decref(body);
            return -1;
        }
    }
    *out = body;
    return 0;
}

int SQIFetch(void *handle, TableInfo *info, void *, int key_count, Restriction *keys) {
    auto *it = static_cast<PaypalIterator *>(handle);
    const PaypalTable *table = change_table(it, info);
    if (!table) return DAL_NOT_MINE;
    if (!(table->flags & (kTablePatch | kTableDelete)) && !paypal_keyed_fetch(table))
        return post(it, printf_text("Views (%s) are not updateable", table->name));
    std::string key;
    if (!change_key(table, key_count, keys, key)) return post(it, "SQIFetch row without id");
    scan_release(it);
    it->mode = kQueryRows;
    it->at_end = 0;
    it->table = table;
    it->table_index = paypal_table_index(table->name);
    it->keyed = 1;
    // One row read again (a keyset cursor, a positioned change) wants its
    // current state: a cached reply could be older than the cursor.
    it->fresh = 1;
    it->filters[static_cast<int>(FilterSlot::kPathKey)] = EchoValue{JsonKind::kString, key};
    WebRequestPtr req = NewGetRequest(it->env->session->context.get(), keyed_path(table, key), 1);
    if (!req) return post(it, "Memory allocation error");
    if (scan_exchange(it, req.get()) != DAL_OK) return DAL_ERROR;
    it->request = std::move(req);
    it->pages_read = 1;
    return ExtractRows(it, table, 1);
}

int SQIInsertRow(void *handle, TableInfo *info, int count, void *, Restriction *values, void *) {
    auto *it = static_cast<PaypalIterator *>(handle);
    const PaypalTable *table = change_table(it, info);
    if (!table) return DAL_NOT_MINE;
    if (!(table->flags & kTableInsert)) return post(it, printf_text("Views (%s) are not updateable", table->name));
    json_t *body = nullptr;
    std::string error;
    if (paypal_change_body(table, count, values, &body, error) != 0)
        return post(it, error);
    PaypalContext *ctx = it->env->session->context.get();
    WebRequestPtr req = NewPostRequest(ctx, table->endpoint, 0);
    int set = req ? SetBody(req.get(), body) : -1;
    json_decref(body);
    if (set != 0) return post(it, "Memory allocation error");
    if (identify(it, table, req.get()) != DAL_OK) return DAL_ERROR;
    if (table->flags & kTablePrefer) AddHeader(req.get(), "Prefer", "return=representation");
    WebResponsePtr resp;
    if (paypal_change_exchange(it, req.get(), resp) != DAL_OK) return DAL_ERROR;
    return change_done(it, resp.get());
}

int SQIDeleteRow(void *handle, TableInfo *info, int key_count, void *, Restriction *keys) {
    auto *it = static_cast<PaypalIterator *>(handle);
    const PaypalTable *table = change_table(it, info);
    if (!table) return DAL_NOT_MINE;
    if (!(table->flags & kTableDelete)) return post(it, printf_text("Views (%s) are not updateable", table->name));
    if (key_count == 0)
        return post(it, printf_text("DELETE without a WHERE clause is not supported for %s: PayPal deletes one object "
                                    "at a time, by its key",
                                    table->name));
    std::string key;
    if (key_count != 1 || !change_key(table, key_count, keys, key)) return post(it, "SQIDeleteRow row without id");
    WebRequestPtr req = NewDeleteRequest(it->env->session->context.get(), keyed_path(table, key), 0);
    if (!req) return post(it, "Memory allocation error");
    if (identify(it, table, req.get()) != DAL_OK) return DAL_ERROR;
    WebResponsePtr resp;
    if (paypal_change_exchange(it, req.get(), resp) != DAL_OK) return DAL_ERROR;
    return change_done(it, resp.get());
}

int SQIUpdateRow(void *handle, TableInfo *info, int key_count, void *, int set_count, void *, Restriction *keys,
                 Restriction *sets_arg) {
    auto *it = static_cast<PaypalIterator *>(handle);
    const PaypalTable *table = change_table(it, info);
    if (!table) return DAL_NOT_MINE;
    if (!(table->flags & kTablePatch)) return post(it, printf_text("Views (%s) are not updateable", table->name));
    std::string key;
    if (key_count != 1 || !change_key(table, key_count, keys, key)) return post(it, "SQIUpdateRow row without id");
    const Restriction *sets = sets_arg;
    json_t *ops = json_array();
    std::string error;
    for (int i = 0; i < set_count; i++) {
        const PaypalColumn *c = column_named(table, sets[i].column);
        if (!c || (c->flags & kColumnKey) || !sets[i].value) continue;
        if (!change_allows(table, ChangeRule::kPatch, c->name)) {
            json_decref(ops);
            return post(it, printf_text("Column %s of %s cannot be updated: PayPal does not let a PATCH replace it",
                                        c->name, table->name));
        }
        std::string path = "/";
        for (const char *p = c->json_path; *p; p++) path += *p == ',' ? '/' : *p;
        json_t *op = json_object();
        if (sets[i].value->is_null) {
            json_object_set_new(op, "op", json_string("remove"));
            json_object_set_new(op, "path", json_string(path.c_str()));
        } else {
            json_t *v = nullptr;
            if (paypal_json_value(c, sets[i].value, &v, error) != 0) {
                json_decref(op);
                json_decref(ops);
                return post(it, error);
            }
            json_object_set_new(op, "op", json_string("replace"));
            json_object_set_new(op, "path", json_string(path.c_str()));
            json_object_set_new(op, "value", v);
        }
        json_array_append_new(ops, op);
    }
    if (json_array_size(ops) == 0) {
        // Nothing PayPal holds changes (only key columns were set).
        json_decref(ops);
        return DAL_OK;
    }
    WebRequestPtr req = NewPatchRequest(it->env->session->context.get(), keyed_path(table, key), 0);
    int set = req ? SetBody(req.get(), ops) : -1;
    json_decref(ops);
    if (set != 0) return post(it, "Memory allocation error");
    if (identify(it, table, req.get()) != DAL_OK) return DAL_ERROR;
    WebResponsePtr resp;
    if (paypal_change_exchange(it, req.get(), resp) != DAL_OK) return DAL_ERROR;
    return change_done(it, resp.get());
}

namespace {
int refuse_ddl(void *handle, const char *what) {
    return post(static_cast<PaypalIterator *>(handle), std::string("Driver does not support DDL (") + what + ")");
}
}  // namespace

int SQICreateTable(void *it, TableInfo *, const Node *) { return refuse_ddl(it, "CREATE TABLE"); }
int SQIDropTable(void *it, TableInfo *) { return refuse_ddl(it, "DROP TABLE"); }
int SQICreateIndex(void *it, TableInfo *, const Node *) { return refuse_ddl(it, "CREATE INDEX"); }
int SQIDropIndex(void *it, TableInfo *, const Node *) { return refuse_ddl(it, "DROP INDEX"); }
int SQIGrant(void *it, TableInfo *, const Node *) { return refuse_ddl(it, "GRANT"); }
int SQIRevoke(void *it, TableInfo *, const Node *) { return refuse_ddl(it, "REVOKE"); }
int SQIDropColumn(void *it, TableInfo *, const Node *) { return refuse_ddl(it, "DROP COLUMN"); }
int SQIAddColumn(void *it, TableInfo *, int, const ListNode *) { return refuse_ddl(it, "ADD COLUMN"); }
