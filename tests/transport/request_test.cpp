// The request builders: the exact bytes of token, query and change requests.
#include <gtest/gtest.h>

#include "tests/transport/emulator_harness.h"

namespace {

PaypalContextPtr context(const char *base = "https://api.example.test") {
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    EXPECT_EQ(0, PaypalContextConfigure(ctx.get(), base, "", "", "", "id", "secret"));
    return ctx;
}

}  // namespace

TEST(RequestTest, QueryGetOnKeptSocketDoesNotAskToClose) {
    PaypalContextPtr ctx = context();
    ctx->access_token = "TOKEN123";
    ctx->token_type = "Bearer";
    WebRequestPtr req = NewGetRequest(ctx.get(), "v2/invoicing/invoices", 1);
    AddParameter(req.get(), "page", "1", 0);
    AddParameter(req.get(), "page_size", "20", 0);
    AddHeader(req.get(), "Prefer", "return=representation");
    const char *head =
        "GET /v2/invoicing/invoices?page=1&page_size=20 HTTP/1.1\r\n"
        "Host: api.example.test\r\n"
        "User-Agent: cvhttp/1.0\r\n"
        "Accept-Encoding: gzip\r\n"
        "Authorization: Bearer TOKEN123\r\n"
        "Content-Length: 0\r\n"
        "Accept: */*\r\n";
    std::string text;
    ctx->persistent = 1;
    ASSERT_EQ(0, BuildRequestText(req.get(), text));
    EXPECT_EQ(std::string(head) + "Prefer: return=representation\r\n\r\n", text);
    EXPECT_FALSE(req->says_close);
    ctx->persistent = 0;
    ASSERT_EQ(0, BuildRequestText(req.get(), text));
    EXPECT_EQ(std::string(head) + "Connection: close\r\nPrefer: return=representation\r\n\r\n",
              text);
    EXPECT_TRUE(req->says_close);
}

TEST(RequestTest, PatchWithBodyUsesSecondBuilder) {
    PaypalContextPtr ctx = context("http://127.0.0.1:8080/");
    ctx->persistent = 1;
    WebRequestPtr req = NewPatchRequest(ctx.get(), "v1/catalogs/products/P-1", 0);
    SetAuthorization(req.get(), "abc", "Bearer");
    SetBodyText(req.get(), "[{\"op\": \"replace\"}]");
    std::string text;
    ASSERT_EQ(0, BuildRequestText(req.get(), text));
    EXPECT_EQ(
        "PATCH /v1/catalogs/products/P-1 HTTP/1.1\r\n"
        "Host: 127.0.0.1:8080\r\n"
        "User-Agent: cvhttp/1.0\r\n"
        "Content-Type: application/json\r\n"
        "Content-Length: 19\r\n"
        "Accept: application/json\r\n"
        "Accept-Encoding: gzip\r\n"
        "Authorization: Bearer abc\r\n"
        "\r\n"
        "[{\"op\": \"replace\"}]",
        text);
}

TEST(RequestTest, LineBreaksInHeadersAreRefused) {
    PaypalContextPtr ctx = context();
    struct Case {
        const char *name, *value;
    } cases[] = {{"X-A", "b\r\nInjected: 1"}, {"X\nA", "b"}, {"", "b"}, {"X:A", "b"}};
    for (const Case &c : cases) {
        WebRequestPtr req = NewGetRequest(ctx.get(), "v1/x", 0);
        AddHeader(req.get(), c.name, c.value);
        std::string text;
        EXPECT_EQ(-1, BuildRequestText(req.get(), text)) << c.name;
    }
    WebRequestPtr req = NewGetRequest(ctx.get(), "v1/x y", 0);
    std::string text;
    EXPECT_EQ(-1, BuildRequestText(req.get(), text));
}
