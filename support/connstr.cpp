// Connection attribute lists.
#include "support/connstr.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "support/list.h"
#include "support/text.h"

struct ConnPair {
    char *key;    // in the list's pool
    char *value;  // in the list's pool
};

struct ConnAttrList {
    CvPool *pool;
    List *pairs;  // of ConnPair*, in order
};

namespace {

constexpr size_t kMaxKeyword = 255;

bool same_key(const char *a, std::string_view b) {
    return std::strlen(a) == b.size() && strncasecmp(a, b.data(), b.size()) == 0;
}

ListCell *find(const ConnAttrList *list, std::string_view key) {
    if (!list) return nullptr;
    for (ListCell *c = ListFirst(list->pairs); c; c = ListNext(c))
        if (same_key(static_cast<ConnPair *>(ListData(c))->key, key)) return c;
    return nullptr;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

struct Piece {
    std::string_view key;
    std::string value;
    size_t raw_begin, raw_end;  // the value as written (braces included) in the text
};

// Splits `text` into pairs; false when it is malformed.
bool split(std::string_view text, std::vector<Piece> &out) {
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ';' || text[i] == ' ' || text[i] == '\t') {
            i++;
            continue;
        }
        size_t eq = text.find('=', i);
        size_t semi = text.find(';', i);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) return false;
        std::string_view key = trim(text.substr(i, eq - i));
        if (key.empty() || key.size() > kMaxKeyword) return false;
        size_t v = eq + 1;
        while (v < text.size() && (text[v] == ' ' || text[v] == '\t')) v++;
        std::string value;
        const size_t raw_begin = v;
        size_t raw_end;
        if (v < text.size() && text[v] == '{') {
            size_t j = v + 1;
            for (;;) {
                if (j >= text.size()) return false;  // unterminated brace
                if (text[j] == '}') {
                    if (j + 1 < text.size() && text[j + 1] == '}') {
                        value.push_back('}');
                        j += 2;
                        continue;
                    }
                    j++;
                    break;
                }
                value.push_back(text[j++]);
            }
            raw_end = j;
            // Only blanks may follow the closing brace before the ';'.
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) j++;
            if (j < text.size() && text[j] != ';') return false;
            i = j;
        } else {
            size_t end = text.find(';', v);
            if (end == std::string_view::npos) end = text.size();
            value.assign(trim(text.substr(v, end - v)));
            raw_end = end;
            i = end;
        }
        if (out.size() >= static_cast<size_t>(kMaxConnPairs)) return false;
        out.push_back({key, std::move(value), raw_begin, raw_end});
    }
    return true;
}

// Lower-case marks of the keywords whose values are secrets: pwd, password,
// proxy_pass, client_secret, token, access_token, authstr and any keyword
// built like them.
constexpr std::string_view kSecretMarks[] = {"pwd", "pass", "secret", "token", "authstr"};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Masking for text the parser refuses: everything from the first secret
// keyword's '=' on is hidden, since no parse says where its value ends.
std::string mask_unparsed(std::string_view text) {
    std::string low = lower(text);
    size_t first = std::string::npos;
    for (std::string_view m : kSecretMarks) first = std::min(first, low.find(m));
    if (first == std::string::npos) return std::string(text);
    size_t eq = text.find('=', first);
    if (eq == std::string_view::npos) return std::string(text);
    return std::string(text.substr(0, eq + 1)) + "****";
}

void replace_all(std::string &text, std::string_view what) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 4))
        text.replace(at, what.size(), "****");
}

}  // namespace

bool is_secret_keyword(std::string_view keyword) {
    std::string k = lower(trim(keyword));
    for (std::string_view m : kSecretMarks)
        if (k.find(m) != std::string::npos) return true;
    return false;
}

std::string mask_connection_string(std::string_view text) {
    text = text.substr(0, text.find('\0'));  // as the parser reads it
    std::vector<Piece> pieces;
    if (text.size() > kMaxConnStr || !split(text, pieces)) return mask_unparsed(text);
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    std::vector<std::string_view> secrets;
    for (const Piece &p : pieces) {
        if (!is_secret_keyword(p.key)) continue;
        out.append(text.substr(at, p.raw_begin - at));
        out.append("****");
        at = p.raw_end;
        if (p.value.size() >= kMinMaskedSecret) secrets.push_back(p.value);
    }
    out.append(text.substr(at));
    // A secret may also stand inside another value (a DSN name, a user name):
    // no copy of it survives anywhere in the text.
    for (std::string_view s : secrets) replace_all(out, s);
    // Masking one secret can, in contrived texts, join characters into a
    // copy of another: then nothing of the text is shown.
    for (std::string_view s : secrets) {
        if (out.find(s) != std::string::npos) return "****";
    }
    return out;
}

ConnAttrList *init_con_str(CvPool *parent) {
    CvPool *pool = cv_mem_alloc_handle(parent);
    if (!pool) return nullptr;
    auto *list = pool_new<ConnAttrList>(pool);
    if (!list) {
        cv_mem_release_handle(pool);
        return nullptr;
    }
    list->pool = pool;
    return list;
}

void free_con_str(ConnAttrList *list) {
    if (list) cv_mem_release_handle(list->pool);
}

int parse_connection_string(ConnAttrList *list, const char *text, long length) {
    if (!list) return -1;
    if (!text) return 0;
    std::string_view t = length == -3 ? std::string_view(text) : std::string_view(text, length < 0 ? 0 : length);
    // A counted string ends at a NUL all the same (some applications count
    // the terminator, or a whole buffer): the list keeps C strings.
    t = t.substr(0, t.find('\0'));
    if (t.size() > kMaxConnStr) return -1;
    std::vector<Piece> pieces;
    if (!split(t, pieces)) return -1;
    if (attribute_count(list) + static_cast<int>(pieces.size()) > kMaxConnPairs) return -1;
    for (const Piece &p : pieces) {
        if (find(list, p.key)) continue;  // the first occurrence wins
        if (append_pair(list, p.key, p.value) != 0) return -1;
    }
    return 0;
}

const char *get_attribute_value(const ConnAttrList *list, std::string_view key) {
    ListCell *c = find(list, key);
    return c ? static_cast<ConnPair *>(ListData(c))->value : nullptr;
}

bool has_attribute(const ConnAttrList *list, std::string_view key) { return find(list, key) != nullptr; }

int append_pair(ConnAttrList *list, std::string_view key, std::string_view value) {
    if (!list || key.empty() || key.size() > kMaxKeyword || value.size() > kMaxConnStr) return -1;
    char *v = cv_mem_strndup(list->pool, value);
    if (!v) return -1;
    if (ListCell *c = find(list, key)) {
        auto *p = static_cast<ConnPair *>(ListData(c));
        cv_mem_free(p->value);
        p->value = v;
        return 0;
    }
    if (attribute_count(list) >= kMaxConnPairs) return -1;
    auto *p = pool_new<ConnPair>(list->pool);
    char *k = cv_mem_strndup(list->pool, key);
    if (!p || !k) return -1;
    p->key = k;
    p->value = v;
    List *l = ListAppend(list->pairs, p, list->pool);
    if (!l) return -1;
    list->pairs = l;
    return 0;
}

bool delete_attribute(ConnAttrList *list, std::string_view key) {
    ListCell *c = find(list, key);
    if (!c) return false;
    ListDelete(list->pairs, c);
    return true;
}

bool rename_attribute(ConnAttrList *list, std::string_view from, std::string_view to) {
    ListCell *c = find(list, from);
    if (!c) return false;
    char *k = cv_mem_strndup(list->pool, to);
    if (!k) return false;
    if (ListCell *other = find(list, to); other && other != c) ListDelete(list->pairs, other);
    static_cast<ConnPair *>(ListData(c))->key = k;
    return true;
}

int attribute_count(const ConnAttrList *list) { return list ? ListCount(list->pairs) : 0; }

bool attribute_at(const ConnAttrList *list, int n, std::string_view *key, std::string_view *value) {
    ListCell *c = list ? ListFirst(list->pairs) : nullptr;
    while (c && n-- > 0) c = ListNext(c);
    if (!c) return false;
    auto *p = static_cast<ConnPair *>(ListData(c));
    if (key) *key = p->key;
    if (value) *value = p->value;
    return true;
}

std::string quote_connection_value(std::string_view value) {
    bool needs = value.find_first_of(";{}") != std::string_view::npos ||
                 (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (!needs) return std::string(value);
    std::string out = "{";
    for (char ch : value) {
        out.push_back(ch);
        if (ch == '}') out.push_back('}');
    }
    out.push_back('}');
    return out;
}

std::string generate_connection_string(const ConnAttrList *list) {
    std::string out;
    for (ListCell *c = list ? ListFirst(list->pairs) : nullptr; c; c = ListNext(c)) {
        auto *p = static_cast<ConnPair *>(ListData(c));
        out.append(p->key);
        out.push_back('=');
        out.append(quote_connection_value(p->value));
        out.push_back(';');
    }
    return out;
}

bool cat_str_buffer(char *out, long capacity, short *length, std::string_view text) {
    size_t have = out && capacity > 0 ? strnlen(out, static_cast<size_t>(capacity)) : 0;
    size_t total = (length && *length > 0 ? static_cast<size_t>(*length) : have) + text.size();
    if (length) *length = static_cast<short>(total > 32767 ? 32767 : total);
    if (!out || capacity <= 0) return !text.empty();
    return copy_text_out(text, out + have, static_cast<size_t>(capacity) - have);
}
