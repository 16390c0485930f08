// Fuzz target: PayPal error replies (DecodeError on JSON and other bodies),
// Digest challenges and URL splitting, all fed from one input.
#include <cstdint>
#include <string>

#include "transport/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    WebResponse resp{};
    resp.status = 400;
    resp.reason = "Bad Request";
    resp.body = text;
    for (int kind : {kContentJson, kContentHtml}) {
        resp.content_kind = kind;
        ErrorInfo info;
        if (DecodeError(&resp, &info) == 0) (void)FormatErrorInfo(info);
    }
    DigestChallenge ch = ParseDigestChallenge(text);
    std::string out, error;
    (void)DigestAuthorization(ch, "user", "password", "h:443", "00aa", "", out, error);
    ParsedUrl url;
    (void)ParseUrl(text, &url);
    (void)EndpointWithKey("v2/invoicing/invoices", text);
    return 0;
}
