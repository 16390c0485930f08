#include "support/connstr.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>

namespace {

struct ConnStrTest : ::testing::Test {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ConnAttrList *list = init_con_str(pool);
    ~ConnStrTest() override { cv_mem_release_handle(pool); }
    std::string get(const char *k) {
        const char *v = get_attribute_value(list, k);
        return v ? v : "<absent>";
    }
};

TEST_F(ConnStrTest, ParsesBracesBlanksAndFirstOccurrenceWins) {
    ASSERT_EQ(parse_connection_string(list, " DSN = pay ;PWD={a;b}}c};uid=x;Uid=y;Driver={Corvane PAYPAL ODBC Driver};;", -3), 0);
    EXPECT_EQ(get("dsn"), "pay");
    EXPECT_EQ(get("PWD"), "a;b}c");
    EXPECT_EQ(get("UID"), "x");
    EXPECT_EQ(get("DRIVER"), "Corvane PAYPAL ODBC Driver");
    EXPECT_EQ(attribute_count(list), 4);
    // A second string only adds what is missing.
    ASSERT_EQ(parse_connection_string(list, "UID=z;client_id=c", -3), 0);
    EXPECT_EQ(get("uid"), "x");
    EXPECT_EQ(get("client_id"), "c");
}

TEST_F(ConnStrTest, MalformedTextLeavesTheListAlone) {
    ASSERT_EQ(parse_connection_string(list, "A=1", -3), 0);
    for (const char *bad : {"PWD={abc", "novalue;", "=x", "K={a}junk;"})
        EXPECT_EQ(parse_connection_string(list, bad, -3), -1) << bad;
    EXPECT_EQ(attribute_count(list), 1);
    std::string many;
    for (int i = 0; i <= kMaxConnPairs; i++) many += "k" + std::to_string(i) + "=v;";
    EXPECT_EQ(parse_connection_string(list, many.c_str(), -3), -1);
    std::string huge(kMaxConnStr + 10, 'x');
    huge = "K=" + huge;
    EXPECT_EQ(parse_connection_string(list, huge.c_str(), -3), -1);
    EXPECT_EQ(parse_connection_string(list, "B=2;C", 3), 0);  // the length bounds the text
    EXPECT_EQ(get("B"), "2");
}

TEST_F(ConnStrTest, GeneratedStringsRoundTripEveryValue) {
    const char *values[] = {"plain", "semi;colon", "brace}", "{open", " lead", "trail ", "", "}}{;"};
    int i = 0;
    for (const char *v : values) ASSERT_EQ(append_pair(list, "k" + std::to_string(i++), v), 0);
    std::string text = generate_connection_string(list);
    ConnAttrList *again = init_con_str(pool);
    ASSERT_EQ(parse_connection_string(again, text.c_str(), -3), 0) << text;
    i = 0;
    for (const char *v : values) {
        const char *got = get_attribute_value(again, "k" + std::to_string(i++));
        ASSERT_NE(got, nullptr);
        EXPECT_STREQ(got, v) << text;
    }
}

TEST_F(ConnStrTest, EditingKeepsOrderAndBoundedCopiesCut) {
    ASSERT_EQ(parse_connection_string(list, "A=1;B=2;C=3", -3), 0);
    ASSERT_EQ(append_pair(list, "b", "two"), 0);
    EXPECT_TRUE(rename_attribute(list, "C", "TARGETDSN"));
    EXPECT_TRUE(delete_attribute(list, "A"));
    EXPECT_FALSE(delete_attribute(list, "A"));
    EXPECT_EQ(generate_connection_string(list), "B=two;TARGETDSN=3;");
    char buf[8];
    short len = 0;
    len = 0;
    buf[0] = '\0';
    EXPECT_FALSE(cat_str_buffer(buf, 8, &len, "abc"));
    EXPECT_TRUE(cat_str_buffer(buf, 8, &len, "defgh"));
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(len, 8);
}

}  // namespace
