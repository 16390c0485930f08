// Decoding PayPal's error replies into code, message and detail.
#include <gtest/gtest.h>

#include "tests/transport/emulator_harness.h"

TEST(DecodeErrorTest, Shapes) {
    struct Case {
        int kind;
        int status;
        const char *reason, *body;
        int rc;
        const char *text;
    } cases[] = {
        {kContentJson, 401, "Unauthorized",
         R"({"error":"invalid_client","error_description":"Client Authentication failed"})", 0,
         "Error <invalid_client: Client Authentication failed>"},
        {kContentJson, 401, "", R"({"error":"invalid_token"})", 0,
         "Error <invalid_token: no description>"},
        {kContentJson, 400, "",
         R"({"name":"INVALID_REQUEST","message":"Bad","details":[{"field":"page_size","value":"0","location":"query","issue":"INVALID_PARAMETER_VALUE"},{"field":"x"}]})",
         0,
         "Error <INVALID_REQUEST: Bad: field: page_size, location: query, issue: "
         "INVALID_PARAMETER_VALUE>"},
        {kContentJson, 404, "",
         R"({"name":"RESOURCE_NOT_FOUND","details":[{"issue":"INVALID_RESOURCE_ID"}]})", 0,
         "Error <RESOURCE_NOT_FOUND: no message: issue: INVALID_RESOURCE_ID>"},
        {kContentJson, 500, "", R"({"details":[]})", 0, "Error <no code: no message>"},
        {kContentJson, 500, "", R"({"name": "X", )", -1, ""},
        {kContentJson, 500, "", "[1,2]", -1, ""},
        {kContentHtml, 503, "Service Unavailable", "<html/>", 0,
         "Error <return code 503: Service Unavailable>"},
    };
    for (const Case &c : cases) {
        WebResponse r{};
        r.content_kind = c.kind;
        r.status = c.status;
        r.reason = c.reason;
        r.body = c.body;
        ErrorInfo info;
        ASSERT_EQ(c.rc, DecodeError(&r, &info)) << c.body;
        if (c.rc == 0) {
            EXPECT_EQ(c.text, FormatErrorInfo(info));
        }
    }
}
