// Fuzz target: a proxy's Digest challenge (the text after "Digest") read by
// ParseDigestChallenge and answered by DigestAuthorization. Property: the
// answer is one header value, whatever the challenge holds: no control
// character, so nothing the proxy sends can add a header of its own.
#include <cstdint>
#include <string>
#include <string_view>

#include "transport/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    DigestChallenge ch = ParseDigestChallenge(text);
    std::string out, error;
    if (DigestAuthorization(ch, "proxyuser", "proxy-secret", "api.example.com:443",
                            "0123456789abcdef", "", out, error) == 0) {
        // The password itself never travels; no value can split the header.
        if (out.find("proxy-secret") != std::string::npos &&
            text.find("proxy-secret") == std::string_view::npos) {
            __builtin_trap();
        }
        if (HasControlChar(out)) __builtin_trap();
    }
    return 0;
}
