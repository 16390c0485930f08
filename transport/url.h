// URLs: splitting base and proxy URLs, percent-encoding, keys in paths,
// loopback hosts, Base64.
//
// Contract: pure functions of their arguments, no allocation failure
// reported (std::bad_alloc propagates to the caller's guard). A parsed host
// can never end a header or the request line; an encoded key can never add
// a path segment, a query or a fragment.
//
// Exports: ParsedUrl, ParseUrl, UrlEncode, EndpointWithKey, IsLoopbackHost,
// Base64Encode (url.cpp).
#pragma once

#include <string>
#include <string_view>

struct ParsedUrl {
    std::string host;
    int port;          // 443 / 80 or the explicit port
    int32_t secure;    // https
    std::string path;  // without leading and trailing '/'; empty: none
};

// ---- url.cpp -----------------------------------------------------------
/// Splits "http[s]://host[:port][/path]" into `out`. Returns 0, or -1 when
/// the scheme is missing, the host empty or the port not 1..65535.
[[nodiscard]] int ParseUrl(std::string_view url, ParsedUrl *out);
/// Percent-encodes every byte except A-Z a-z 0-9 - . _ ~ ("%2F" style).
[[nodiscard]] std::string UrlEncode(std::string_view text);
/// The path of one object: the endpoint with its "%s" replaced by the
/// encoded key, or "endpoint/encoded key". The key can never add a path
/// segment, a query or a fragment.
[[nodiscard]] std::string EndpointWithKey(std::string_view endpoint, std::string_view key);
/// True for "localhost", 127.0.0.0/8 and ::1: the only hosts plain http
/// may reach.
[[nodiscard]] bool IsLoopbackHost(std::string_view host);
/// Standard Base64 without line breaks.
[[nodiscard]] std::string Base64Encode(std::string_view bytes);
