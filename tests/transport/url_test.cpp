// URL splitting, percent-encoding, keys in paths and the query text.
#include <gtest/gtest.h>

#include "tests/transport/emulator_harness.h"

TEST(ParseUrlTest, SplitsAndRejects) {
    struct Case {
        const char *url;
        int rc;
        const char *host;
        int port;
        int secure;
        const char *path;
    } cases[] = {
        {"https://api-m.paypal.com", 0, "api-m.paypal.com", 443, 1, ""},
        {"https://h:8443/base/", 0, "h", 8443, 1, "base"},
        {"http://127.0.0.1:8080/a/b", 0, "127.0.0.1", 8080, 0, "a/b"},
        {"http://proxy", 0, "proxy", 80, 0, ""},
        {"https://[::1]:9000/x", 0, "::1", 9000, 1, "x"},
        {"api-m.paypal.com", -1, "", 0, 0, ""},
        {"ftp://h", -1, "", 0, 0, ""},
        {"https://", -1, "", 0, 0, ""},
        {"https://h:0", -1, "", 0, 0, ""},
        {"https://h:70000", -1, "", 0, 0, ""},
        {"https://h:x", -1, "", 0, 0, ""},
        {"https://h\r\nX: y/", -1, "", 0, 0, ""},
        {"https://user@h/", -1, "", 0, 0, ""},
    };
    for (const Case &c : cases) {
        ParsedUrl u{};
        ASSERT_EQ(c.rc, ParseUrl(c.url, &u)) << c.url;
        if (c.rc != 0) continue;
        EXPECT_EQ(c.host, u.host) << c.url;
        EXPECT_EQ(c.port, u.port) << c.url;
        EXPECT_EQ(c.secure, u.secure) << c.url;
        EXPECT_EQ(c.path, u.path) << c.url;
    }
}

TEST(UrlEncodeTest, KeepsOnlyUnreserved) {
    EXPECT_EQ("a%20b%2Fc", UrlEncode("a b/c"));
    EXPECT_EQ("AZaz09-._~", UrlEncode("AZaz09-._~"));
    EXPECT_EQ("%3F%23%0D%0A%25%C3%A9", UrlEncode("?#\r\n%\xC3\xA9"));
}

TEST(EndpointWithKeyTest, KeyCannotChangeTheRequest) {
    struct Case {
        const char *endpoint, *key, *want;
    } cases[] = {
        {"v2/invoicing/invoices", "INV2-AB", "v2/invoicing/invoices/INV2-AB"},
        {"v2/invoicing/invoices", "../../v1/x", "v2/invoicing/invoices/..%2F..%2Fv1%2Fx"},
        {"v2/invoicing/invoices", "..", "v2/invoicing/invoices/%2E%2E"},
        {"v2/invoicing/invoices", "a?b#c", "v2/invoicing/invoices/a%3Fb%23c"},
        {"v1/billing/subscriptions/%s/transactions", "I-1\r\nX: y",
         "v1/billing/subscriptions/I-1%0D%0AX%3A%20y/transactions"},
    };
    for (const Case &c : cases) EXPECT_EQ(c.want, EndpointWithKey(c.endpoint, c.key));
}

TEST(QueryTextTest, SortedByNameAndReplacedWithoutCase) {
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    ASSERT_EQ(0, PaypalContextConfigure(ctx.get(), "https://h", "", "", "", "id", "secret"));
    WebRequestPtr req = NewGetRequest(ctx.get(), "v2/invoicing/invoices", 1);
    AddParameter(req.get(), "page", "1", 0);
    AddParameter(req.get(), "page_size", "20", 0);
    AddParameter(req.get(), "fields", "all", 0);
    EXPECT_EQ("fields=all&page=1&page_size=20", QueryText(req.get()));
    AddParameter(req.get(), "PAGE", "2", 0);  // replaces, keeps the first name
    AddParameter(req.get(), "q", "a b/c", 0);
    EXPECT_EQ("fields=all&page=2&page_size=20&q=a%20b%2Fc", QueryText(req.get()));
    std::string key;
    EXPECT_EQ(QueryText(req.get()).size(), CacheKey(req.get(), key));
    EXPECT_EQ("GET /v2/invoicing/invoices?fields=all&page=2&page_size=20&q=a%20b%2Fc", key);
}

TEST(Base64Test, StandardAlphabetNoBreaks) {
    EXPECT_EQ("dXNlcjpwYXNz", Base64Encode("user:pass"));
    EXPECT_EQ("", Base64Encode(""));
    EXPECT_EQ(std::string(4 * 100, 'A').size(), Base64Encode(std::string(300, '\0')).size());
}
