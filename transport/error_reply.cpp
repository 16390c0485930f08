// PayPal's error replies: the OAuth form ("error", "error_description")
// and the REST form ("name", "message", "details"), and their message text.
#include <jansson.h>

#include <memory>
#include <new>

#include "transport/http.h"

namespace {

struct JsonDeleter {
    void operator()(json_t *j) const { json_decref(j); }
};

std::string member(json_t *obj, const char *name, const char *fallback) {
    json_t *v = json_object_get(obj, name);
    return json_is_string(v) ? json_string_value(v) : fallback;
}

}  // namespace

int DecodeError(const WebResponse *resp, ErrorInfo *out) {
    try {
        *out = ErrorInfo{};
        if (resp->content_kind != kContentJson) {
            out->code = "return code " + std::to_string(resp->status);
            out->message = resp->reason;
            return 0;
        }
        json_error_t err;
        std::unique_ptr<json_t, JsonDeleter> root(
            json_loadb(resp->body.data(), resp->body.size(), 0, &err));
        if (!root || !json_is_object(root.get())) return -1;
        json_t *obj = root.get();
        if (json_object_get(obj, "error")) {
            out->code = member(obj, "error", "no code");
            out->message = member(obj, "error_description", "no description");
            return 0;
        }
        out->code = member(obj, "name", "no code");
        out->message = member(obj, "message", "no message");
        json_t *details = json_object_get(obj, "details");
        json_t *first = json_is_array(details) ? json_array_get(details, 0) : nullptr;
        if (json_is_object(first)) {
            std::string detail;
            for (const char *part : {"field", "location", "issue"}) {
                json_t *v = json_object_get(first, part);
                if (!json_is_string(v)) continue;
                if (!detail.empty()) detail += ", ";
                detail += part;
                detail += ": ";
                detail += json_string_value(v);
            }
            out->detail = detail;
        }
        return 0;
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

std::string FormatErrorInfo(const ErrorInfo &info) {
    if (!info.detail.empty())
        return "Error <" + info.code + ": " + info.message + ": " + info.detail + ">";
    return "Error <" + info.code + ": " + info.message + ">";
}

std::string ErrorReplyText(const WebResponse *resp) {
    ErrorInfo info;
    if (DecodeError(resp, &info) == 0) return FormatErrorInfo(info);
    return "Error <return code " + std::to_string(resp->status) + ": " + resp->reason + ">";
}
