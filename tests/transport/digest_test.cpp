// Digest proxy authentication: challenge parsing and responses checked
// against values computed independently (Python's hashlib).
#include <gtest/gtest.h>

#include "tests/transport/emulator_harness.h"

TEST(DigestTest, ParsesQuotedStringsAndAnyCase) {
    DigestChallenge ch = ParseDigestChallenge(
        R"(Realm="a, \"b\"", nonce=abc , QOP="auth,auth-int", Algorithm=MD5-Sess, opaque="o", stale=TRUE)");
    EXPECT_EQ("a, \"b\"", ch.realm);
    EXPECT_EQ("abc", ch.nonce);
    EXPECT_EQ("auth,auth-int", ch.qop);
    EXPECT_EQ("MD5-Sess", ch.algorithm);
    EXPECT_EQ("o", ch.opaque);
    EXPECT_TRUE(ch.stale);
}

TEST(DigestTest, ResponsesMatchIndependentValues) {
    struct Case {
        const char *qop, *algorithm, *response, *qop_sent;
    } cases[] = {
        {"auth", "MD5", "1892b9451a12f063e3a530808ed87ed9", "auth"},
        {"auth,auth-int", "md5", "1892b9451a12f063e3a530808ed87ed9", "auth"},
        {"auth-int", "", "ad78561d94db09d449fa541a700a52e9", "auth-int"},
        {"", "", "a8eaafb3e83d2aca54604ea423c34688", ""},
        {"auth", "MD5-sess", "b36d7cbc1d3d9c46079a42d244184afd", "auth"},
    };
    for (const Case &c : cases) {
        DigestChallenge ch{};
        ch.realm = "testrealm@host.com";
        ch.nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
        ch.qop = c.qop;
        ch.algorithm = c.algorithm;
        std::string out, error;
        ASSERT_EQ(0, DigestAuthorization(ch, "Mufasa", "Circle Of Life", "api.example.test:443",
                                         "0a4f113b", "", out, error))
            << c.qop << error;
        EXPECT_NE(std::string::npos, out.find(std::string("response=\"") + c.response + "\""))
            << out;
        if (*c.qop_sent) {
            EXPECT_NE(std::string::npos,
                      out.find(std::string("qop=") + c.qop_sent + ", nc=00000001"))
                << out;
        } else {
            EXPECT_EQ(std::string::npos, out.find("qop=")) << out;
        }
    }
}

TEST(DigestTest, UnknownAlgorithmOrQopFails) {
    DigestChallenge ch{};
    ch.algorithm = "SHA-512-256";
    std::string out, error;
    EXPECT_EQ(-1, DigestAuthorization(ch, "u", "p", "h:1", "c", "", out, error));
    EXPECT_EQ("unknown algorithm", error);
    ch.algorithm = "MD5";
    ch.qop = "auth-conf";
    EXPECT_EQ(-1, DigestAuthorization(ch, "u", "p", "h:1", "c", "", out, error));
    EXPECT_EQ("unknown qop", error);
}
