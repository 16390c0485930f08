// The data-source form: field table, attribute lists, profile loading and the
// DsnSettings conversions.
#include "setup/dsn_form.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "setup/installer.h"

// clang-format off
const std::array<DsnField, kFieldCount> kDsnFields = {{
    {"&DSN:", "Data source name", FieldKind::kText, CheckWords::kNone, nullptr, {"dsn", nullptr}, "", false},
    {"D&escription:", "Data source description", FieldKind::kText, CheckWords::kNone, "Description",
     {"desc", "description"}, "", false},
    {"Client Id", "Client Id", FieldKind::kText, CheckWords::kNone, "Client_id", {"client_id", nullptr}, "", false},
    {"Client Secret:", "Client Secret", FieldKind::kText, CheckWords::kNone, "Client_Secret",
     {"client_secret", nullptr}, "", true},
    {"Sandbox:", "Paypal Sandbox", FieldKind::kCheck, CheckWords::kYesNo, "Sandbox", {"sandbox", nullptr}, "", false},
    {"Local Filtering:", "Filter Data In Client", FieldKind::kCheck, CheckWords::kOneZero, "Filter_Local",
     {"filter_local", nullptr}, "", false},
    {"Proxy:", "Address of proxy server", FieldKind::kText, CheckWords::kNone, "Proxy", {"proxy", nullptr}, "", false},
    {"Proxy User:", "User Name for proxy server auth", FieldKind::kText, CheckWords::kNone, "Proxy_User",
     {"proxy_user", nullptr}, "", false},
    {"Proxy Password:", "User Password for proxy server auth", FieldKind::kText, CheckWords::kNone, "Proxy_Pass",
     {"proxy_pass", nullptr}, "", true},
    {"Driver Logging:", "Driver Logging", FieldKind::kCheck, CheckWords::kYesNo, "Logging", {"logging", nullptr}, "",
     false},
    {"Log File:", "Log File", FieldKind::kText, CheckWords::kNone, "Logfile", {"logfile", nullptr}, "", false},
    // Checked unless the data source says otherwise: the driver flushes its
    // reply cache after a change when the keyword is absent.
    {"Flush On Update", "Flush cache on update", FieldKind::kCheck, CheckWords::kOneZero, "Flush_On_Update",
     {"flush_on_update", nullptr}, "1", false},
    {"Cache Timeout", "Cache Timeout (seconds, 0 for no caching)", FieldKind::kText, CheckWords::kNone,
     "Query_Timeout", {"query_timeout", nullptr}, "60", false},
    {"Max Num:", "Number of rows to return for each REST Call", FieldKind::kText, CheckWords::kNone, "Max_Num",
     {"max_num", nullptr}, "20", false},
}};
// clang-format on

namespace {

constexpr size_t kMaxItems = 256;
constexpr size_t kMaxListBytes = 64 * 1024;

std::string cut(std::string s) {
    if (s.size() > kTextLimit) {
        size_t n = kTextLimit;
        // Cut at a whole UTF-8 character.
        while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) n--;
        s.resize(n);
    }
    return s;
}

bool same(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// A decimal integer the text starts with, clamped to int32; 0 for none.
int32_t decimal(const std::string &text) {
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) return 0;
    if (v > 1000000000L) v = 1000000000L;
    if (v < -1000000000L) v = -1000000000L;
    return static_cast<int32_t>(v);
}

const std::string *given(const Attributes &attributes, std::string_view key) {
    for (const auto &[k, v] : attributes)
        if (same(k, key)) return &v;
    return nullptr;
}

}  // namespace

Attributes parse_attributes(const char *list) {
    Attributes out;
    if (!list) return out;
    size_t read = 0;
    for (const char *p = list; *p && out.size() < kMaxItems;) {
        size_t len = strnlen(p, kMaxListBytes - read);
        if (read + len >= kMaxListBytes) break;  // no terminator within the limit
        std::string_view item(p, len);
        if (size_t eq = item.find('='); eq != std::string_view::npos) {
            std::string_view key = item.substr(0, eq);
            while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
            while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
            std::string_view value = item.substr(eq + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            if (!key.empty()) out.emplace_back(std::string(key), cut(std::string(value)));
        }
        read += len + 1;
        p += len + 1;
    }
    return out;
}

int field_for_attribute(std::string_view key) {
    for (int i = 0; i < kFieldCount; i++)
        for (const char *name : kDsnFields[i].names)
            if (name && same(key, name)) return i;
    return -1;
}

std::string attribute_dsn(const Attributes &attributes) {
    for (const auto &[k, v] : attributes) {
        if (field_for_attribute(k) != kFieldDsn) continue;
        std::string dsn = v;
        if (!dsn.empty() && dsn.back() == ';') dsn.pop_back();
        return dsn;
    }
    return "";
}

bool read_check(std::string_view value) {
    for (const char *on : {"yes", "true", "on"})
        if (same(value, on)) return true;
    std::string text(value);
    return decimal(text) != 0;
}

std::string read_dsn_value(const std::string &dsn, const char *key, const char *fallback) {
    const Installer *in = installer();
    if (!in || dsn.empty()) return fallback;
    char buf[kDsnText] = "";
    int n = in->get_profile(dsn.c_str(), key, fallback, buf, sizeof buf, "odbc.ini");
    if (n < 0) return fallback;
    buf[sizeof buf - 1] = '\0';
    return buf;
}

void load_form(DsnForm *form, const Attributes &attributes) {
    std::string dsn = attribute_dsn(attributes);
    form->opened_dsn = dsn;
    form->text[kFieldDsn] = dsn;
    for (int i = kFieldDsn + 1; i < kFieldCount; i++) {
        const DsnField &f = kDsnFields[i];
        std::string value;
        const std::string *v = nullptr;
        for (const char *name : f.names)
            if (name && !v) v = given(attributes, name);
        if (v)
            value = *v;
        else if (!dsn.empty())
            value = read_dsn_value(dsn, f.profile_key, f.fallback);
        else
            value = f.fallback;
        if (f.kind == FieldKind::kCheck)
            form->checked[i] = read_check(value);
        else
            form->text[i] = cut(value);
    }
    form->extra.clear();
    for (const auto &[k, v] : attributes)
        if (field_for_attribute(k) < 0 && !same(k, "driver")) form->extra.emplace_back(k, v);
    const std::string *url = given(attributes, "base_url");
    const std::string *cert = given(attributes, "cert");
    form->base_url = url ? *url : read_dsn_value(dsn, "base_url", "");
    form->cert = cert ? *cert : read_dsn_value(dsn, "cert", "");
}

void form_into_settings(const DsnForm &form, DsnSettings *s) {
    dsn_set_text(s->dsn, form.text[kFieldDsn]);
    dsn_set_text(s->proxy, form.text[kFieldProxy]);
    dsn_set_text(s->proxy_user, form.text[kFieldProxyUser]);
    dsn_set_text(s->proxy_password, form.text[kFieldProxyPass]);
    dsn_set_text(s->log_file, form.text[kFieldLogFile]);
    dsn_set_text(s->client_id, form.text[kFieldClientId]);
    dsn_set_text(s->client_secret, form.text[kFieldClientSecret]);
    s->logging = form.checked[kFieldLogging] ? 1 : 0;
    s->filter_local = form.checked[kFieldFilterLocal] ? 1 : 0;
    s->flush_on_update = form.checked[kFieldFlushOnUpdate] ? 1 : 0;
    s->sandbox = form.checked[kFieldSandbox] ? 1 : 0;
    s->max_rows = decimal(form.text[kFieldMaxNum]);
    s->query_timeout = decimal(form.text[kFieldQueryTimeout]);
}

std::string settings_attribute_list(const DsnSettings &s) {
    std::string out;
    auto pair = [&](const char *key, std::string_view value) {
        out.append(key).append("=").append(value).push_back('\0');
    };
    auto text = [&](const char *key, const char(&value)[kDsnText]) {
        std::string_view v(value, strnlen(value, kDsnText));
        if (!v.empty()) pair(key, v);
    };
    auto number = [&](const char *key, int32_t n) {
        if (n != 0) pair(key, std::to_string(n));
    };
    text("DSN", s.dsn);
    text("Client_Id", s.client_id);
    text("Client_Secret", s.client_secret);
    text("Proxy", s.proxy);
    text("Proxy_User", s.proxy_user);
    text("Proxy_Pass", s.proxy_password);
    text("LogFile", s.log_file);
    pair("Logging", s.logging ? "Yes" : "No");
    pair("Sandbox", s.sandbox ? "Yes" : "No");
    number("Query_Timeout", s.query_timeout);
    number("Max_Num", s.max_rows);
    number("Flush_On_Update", s.flush_on_update);
    number("Filter_Local", s.filter_local);
    out.push_back('\0');
    return out;
}
