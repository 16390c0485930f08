// Connection attributes from the profile, and the prompt record.
#include "odbc/connect_settings.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/profile.h"

namespace {

bool begins_with_zero(const std::string &v) { return !v.empty() && v[0] == '0'; }

int add(ConnAttrList *list, const char *key, const std::string &value) {
    return append_pair(list, key, value);
}

bool is_word(const char *text, const char *word) { return text && strcasecmp(text, word) == 0; }

}  // namespace

int complete_from_profile(const CvConfig *config, ConnAttrList *list, std::string_view dsn) {
    auto profile = [&](const char *key, const char *fallback) {
        return get_profile_string(config, dsn, key, fallback, "odbc.ini");
    };
    // Added whatever the profile gave, the empty default included.
    for (const char *key : {"Description", "client_id", "client_secret", "sandbox"})
        if (!has_attribute(list, key) && add(list, key, profile(key, "")) != 0) return -1;
    for (const char *key : {"relational_opt", "in_expansion"}) {
        if (has_attribute(list, key)) continue;
        std::string v = profile(key, "");
        if (!v.empty() && !begins_with_zero(v) && add(list, key, v) != 0) return -1;
    }
    for (const char *key : {"work_dir_path", "work_mem_size", "work_dir_size"}) {
        if (has_attribute(list, key)) continue;
        std::string v = profile(key, "");
        if (!v.empty() && add(list, key, v) != 0) return -1;
    }
    if (!has_attribute(list, "catalog_schema_check")) {
        std::string v = profile("catalog_schema_check", "");
        if (!v.empty() && v != "0" && add(list, "catalog_schema_check", v) != 0) return -1;
    }
    return 0;
}

void set_query_options(DBC *dbc) {
    auto option = [&](const char *key) {
        const char *v = get_attribute_value(dbc->conn_attrs, key);
        return v && std::strcmp(v, "0") != 0 ? 1 : 0;
    };
    dbc->relational_opt = option("relational_opt");
    dbc->in_expansion = option("in_expansion");
    dbc->catalog_schema_check = option("catalog_schema_check");
}

int read_flag(const char *text) { return text && std::strcmp(text, "0") != 0 ? 1 : 0; }

int read_number(const char *text, int fallback, bool words) {
    if (!text) return fallback;
    if (words && (is_word(text, "yes") || is_word(text, "on"))) return 1;
    char *end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text) return 0;
    if (v > 1000000000L) v = 1000000000L;
    if (v < -1000000000L) v = -1000000000L;
    return static_cast<int>(v);
}

void settings_from_list(const ConnAttrList *list, DsnSettings *s) {
    std::memset(s, 0, sizeof *s);
    auto text = [&](char (&field)[kDsnText], const char *key) {
        const char *v = get_attribute_value(list, key);
        dsn_set_text(field, v ? v : "");
    };
    text(s->dsn, "DSN");
    text(s->proxy, "PROXY");
    text(s->proxy_user, "PROXY_USER");
    text(s->proxy_password, "PROXY_PASS");
    text(s->log_file, "LOGFILE");
    text(s->client_id, "CLIENT_ID");
    text(s->client_secret, "CLIENT_SECRET");
    text(s->base_url, "base_url");
    text(s->cert, "cert");
    s->logging = read_flag(get_attribute_value(list, "LOGGING"));
    s->filter_local = read_number(get_attribute_value(list, "FILTER_LOCAL"), 0, true);
    s->flush_on_update = 0;
    s->max_rows = read_number(get_attribute_value(list, "MAX_NUM"), 20, false);
    s->query_timeout = read_number(get_attribute_value(list, "QUERY_TIMEOUT"), 60, false);
    s->sandbox = read_flag(get_attribute_value(list, "SANDBOX"));
}

int settings_to_list(const DsnSettings *s, ConnAttrList *list) {
    auto text = [&](const char *key, const char *value) {
        return value[0] ? append_pair(list, key, value) : 0;
    };
    auto flag = [&](const char *key, int32_t set) { return set ? append_pair(list, key, "yes") : 0; };
    auto number = [&](const char *key, int32_t n) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d", n);
        return n > 0 ? append_pair(list, key, buf) : 0;
    };
    int r = text("DSN", s->dsn) | text("CLIENT_ID", s->client_id) | text("CLIENT_SECRET", s->client_secret) |
            flag("SANDBOX", s->sandbox) | text("LogFile", s->log_file) | flag("Logging", s->logging) |
            flag("Filter_Local", s->filter_local) | flag("Flush_On_Update", s->flush_on_update) |
            number("Max_Num", s->max_rows) | number("Query_Timeout", s->query_timeout) |
            text("PROXY", s->proxy) | text("PROXY_USER", s->proxy_user) |
            text("PROXY_PASS", s->proxy_password) | text("base_url", s->base_url) | text("cert", s->cert);
    return r == 0 ? 0 : -1;
}

bool credentials_complete(const ConnAttrList *list) {
    const char *id = get_attribute_value(list, "client_id");
    const char *secret = get_attribute_value(list, "client_secret");
    return id && *id && secret && *secret;
}
