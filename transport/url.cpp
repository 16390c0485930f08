// URL splitting, percent-encoding of query values and path keys, Base64.
#include <arpa/inet.h>
#include <openssl/evp.h>
#include <strings.h>

#include <cstring>

#include "transport/url.h"

int ParseUrl(std::string_view url, ParsedUrl *out) {
    std::string_view rest;
    if (url.substr(0, 8) == "https://") {
        rest = url.substr(8);
        out->port = 443;
        out->secure = 1;
    } else if (url.substr(0, 7) == "http://") {
        rest = url.substr(7);
        out->port = 80;
        out->secure = 0;
    } else {
        return -1;
    }
    size_t host_end;
    if (!rest.empty() && rest[0] == '[') {  // an IPv6 literal: [::1]
        host_end = rest.find(']');
        if (host_end == std::string_view::npos) return -1;
        out->host.assign(rest.substr(1, host_end - 1));
        ++host_end;
    } else {
        host_end = rest.find_first_of(":/");
        if (host_end == std::string_view::npos) host_end = rest.size();
        out->host.assign(rest.substr(0, host_end));
    }
    if (out->host.empty()) return -1;
    for (char c : out->host) {
        // Anything that could end the Host header or the request line.
        if (c <= ' ' || c == '@' || c == '?' || c == '#' || c == 0x7F) return -1;
    }
    rest.remove_prefix(host_end);
    if (!rest.empty() && rest[0] == ':') {
        rest.remove_prefix(1);
        long port = 0;
        size_t i = 0;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && port <= 65535) {
            port = port * 10 + (rest[i] - '0');
            ++i;
        }
        if (i == 0 || port < 1 || port > 65535) return -1;
        out->port = static_cast<int>(port);
        rest.remove_prefix(i);
    }
    out->path.clear();
    if (!rest.empty()) {
        if (rest[0] != '/') return -1;
        rest.remove_prefix(1);
        if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
        out->path.assign(rest);
    }
    return 0;
}

bool IsLoopbackHost(std::string_view host) {
    if (host.size() == 9 && strncasecmp(host.data(), "localhost", 9) == 0) return true;
    std::string h(host);
    unsigned char addr[16];
    if (inet_pton(AF_INET, h.c_str(), addr) == 1) return addr[0] == 127;
    if (inet_pton(AF_INET6, h.c_str(), addr) == 1) {
        static const unsigned char kLoop6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        return memcmp(addr, kLoop6, 16) == 0;
    }
    return false;
}

std::string UrlEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string EndpointWithKey(std::string_view endpoint, std::string_view key) {
    std::string encoded = UrlEncode(key);
    // A key of "." or ".." is all unreserved characters, but as a path
    // segment it would climb the path; encode its dots.
    if (encoded == "." || encoded == "..") {
        encoded = encoded == "." ? "%2E" : "%2E%2E";
    }
    size_t at = endpoint.find("%s");
    std::string out;
    if (at != std::string_view::npos) {
        out.assign(endpoint.substr(0, at));
        out += encoded;
        out.append(endpoint.substr(at + 2));
    } else {
        out.assign(endpoint);
        out += '/';
        out += encoded;
    }
    return out;
}

std::string Base64Encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(out.data()),
                            reinterpret_cast<const unsigned char *>(bytes.data()),
                            static_cast<int>(bytes.size()));
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}
