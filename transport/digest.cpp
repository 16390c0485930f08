// HTTP Digest proxy authentication (RFC 7616 / 2617): challenge parsing and
// the response for a CONNECT request, with MD5 and MD5-sess and qop auth or
// auth-int.
#include <openssl/evp.h>
#include <strings.h>

#include <cctype>

#include "transport/context.h"
#include "transport/hex_digest.h"
#include "transport/proxy.h"

std::string hex_digest(std::string_view text, const EVP_MD *md) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &n, md, nullptr) != 1) return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * n);
    for (unsigned i = 0; i < n; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

namespace {

std::string md5_hex(std::string_view text) { return hex_digest(text, EVP_md5()); }

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A quoted-string value for the header: backslash before '"' and '\'.
std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

DigestChallenge ParseDigestChallenge(std::string_view p) {
    DigestChallenge ch{};
    size_t i = 0;
    while (i < p.size()) {
        while (i < p.size() && (p[i] == ' ' || p[i] == '\t' || p[i] == ',')) ++i;
        size_t eq = p.find('=', i);
        if (eq == std::string_view::npos) break;
        std::string_view name = trim(p.substr(i, eq - i));
        i = eq + 1;
        while (i < p.size() && (p[i] == ' ' || p[i] == '\t')) ++i;
        std::string value;
        if (i < p.size() && p[i] == '"') {
            // A quoted string: up to the closing quote, backslash escapes one
            // character; commas inside belong to the value.
            ++i;
            while (i < p.size() && p[i] != '"') {
                if (p[i] == '\\' && i + 1 < p.size()) ++i;
                value += p[i++];
            }
            if (i < p.size()) ++i;
        } else {
            size_t end = p.find(',', i);
            if (end == std::string_view::npos) end = p.size();
            value.assign(trim(p.substr(i, end - i)));
            i = end;
        }
        if (iequals(name, "realm"))
            ch.realm = value;
        else if (iequals(name, "nonce"))
            ch.nonce = value;
        else if (iequals(name, "qop"))
            ch.qop = value;
        else if (iequals(name, "algorithm"))
            ch.algorithm = value;
        else if (iequals(name, "opaque"))
            ch.opaque = value;
        else if (iequals(name, "stale"))
            ch.stale = iequals(value, "true");
    }
    return ch;
}

int DigestAuthorization(const DigestChallenge &ch, std::string_view user, std::string_view password,
                        std::string_view uri, std::string_view cnonce, std::string_view body_407,
                        std::string &out, std::string &error) {
    (void)body_407;  // auth-int hashes the request's body, which CONNECT lacks
    // Every challenge value is echoed into the header: a control character
    // in one would let the proxy's text split it.
    for (const std::string *v : {&ch.realm, &ch.nonce, &ch.opaque, &ch.qop, &ch.algorithm}) {
        if (HasControlChar(*v)) {
            error = "challenge holds a control character";
            return -1;
        }
    }
    if (HasControlChar(user) || HasControlChar(uri) || HasControlChar(cnonce)) {
        error = "user name holds a control character";
        return -1;
    }
    // qop: the challenge offers a list; "auth" is preferred.
    std::string qop;
    if (!ch.qop.empty()) {
        bool has_auth = false, has_int = false;
        std::string_view rest = ch.qop;
        while (!rest.empty()) {
            size_t comma = rest.find(',');
            std::string_view opt = trim(rest.substr(0, comma));
            if (iequals(opt, "auth")) has_auth = true;
            if (iequals(opt, "auth-int")) has_int = true;
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
        if (has_auth)
            qop = "auth";
        else if (has_int)
            qop = "auth-int";
        else {
            error = "unknown qop";
            return -1;
        }
    }
    std::string ha1 = md5_hex(std::string(user) + ":" + ch.realm + ":" + std::string(password));
    if (iequals(ch.algorithm, "md5-sess")) {
        ha1 = md5_hex(ha1 + ":" + ch.nonce + ":" + std::string(cnonce));
    } else if (!ch.algorithm.empty() && !iequals(ch.algorithm, "md5")) {
        error = "unknown algorithm";
        return -1;
    }
    std::string a2 = "CONNECT:" + std::string(uri);
    if (qop == "auth-int") a2 += ":" + md5_hex("");
    std::string ha2 = md5_hex(a2);
    const std::string nc = qop.empty() ? "" : "00000001";
    std::string response = qop.empty() ? md5_hex(ha1 + ":" + ch.nonce + ":" + ha2)
                                       : md5_hex(ha1 + ":" + ch.nonce + ":" + nc + ":" +
                                                 std::string(cnonce) + ":" + qop + ":" + ha2);
    out = "Digest username=" + quoted(user) + ", realm=" + quoted(ch.realm) +
          ", nonce=" + quoted(ch.nonce) + ", uri=" + quoted(uri) + ", ";
    if (!ch.algorithm.empty()) out += "algorithm=" + ch.algorithm + ", ";
    if (!qop.empty()) out += "qop=" + qop + ", nc=" + nc + ", cnonce=" + quoted(cnonce) + ", ";
    out += "response=" + quoted(response);
    if (!ch.opaque.empty()) out += ", opaque=" + quoted(ch.opaque);
    return 0;
}
