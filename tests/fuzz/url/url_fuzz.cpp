// Fuzz target: a base or proxy URL read by ParseUrl, and what the driver
// builds from its parts. Properties: a parsed host can never end a header
// or the request line, the port is in range, and a key in a path can never
// add a segment, a query or a fragment.
#include <cstdint>
#include <string>
#include <string_view>

#include "transport/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    ParsedUrl url;
    if (ParseUrl(text, &url) == 0) {
        if (url.host.empty() || url.port < 1 || url.port > 65535) __builtin_trap();
        if (HasControlChar(url.host) || url.host.find_first_of(" @?#") != std::string::npos) {
            __builtin_trap();
        }
        (void)IsLoopbackHost(url.host);
    }
    const std::string path = EndpointWithKey("v2/invoicing/invoices/%s", text);
    if (path.find_first_of("/?# \r\n", sizeof "v2/invoicing/invoices/" - 1) != std::string::npos) {
        __builtin_trap();
    }
    const std::string encoded = UrlEncode(text);
    for (char c : encoded) {
        if (HasControlChar(std::string_view(&c, 1)) || c == ' ' || c == '&' || c == '=') {
            __builtin_trap();
        }
    }
    return 0;
}
