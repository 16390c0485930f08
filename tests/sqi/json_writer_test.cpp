// The JSON text of object and array columns is exactly what jansson's sorted
// dump writes of the same reply, for every kind of value a reply can hold;
// what is not JSON, or nests deeper than the reader goes, is refused.
#include <gtest/gtest.h>
#include <jansson.h>

#include <cstdlib>
#include <string>

#include "sqi/json_writer.h"

namespace {

// jansson's sorted dump of `reply`, the reference.
std::string jansson_text(const std::string &reply) {
    json_error_t err;
    json_t *v = json_loadb(reply.data(), reply.size(), JSON_DECODE_ANY | JSON_ALLOW_NUL, &err);
    if (!v) return std::string("<jansson: ") + err.text + ">";
    char *text = json_dumps(v, JSON_SORT_KEYS | JSON_ENCODE_ANY);
    std::string out = text ? text : "<null>";
    free(text);  // nothing of ours sets jansson's allocator: this is malloc's
    json_decref(v);
    return out;
}

std::string written(const std::string &reply) {
    std::string out = "<refused>";
    (void)sorted_json_text(reply, out);
    return out;
}

TEST(JsonWriter, WritesWhatTheSortedDumpWrites) {
    const char *const kReplies[] = {
        R"({"b": 1, "a": [true, false, null], "c": {}})",
        R"([])",
        R"([[], {}, [[]], {"x": []}])",
        "{ \"b\" :\n\t1 ,\"a\":[ ] }",
        // Names that are prefixes of others, upper before lower, bytes above 0x7F.
        R"({"ab": 1, "a": 2, "B": 3, "": 4, "\u00e9": 5, "z": 6, "a\u0001": 7})",
        // A repeated name keeps the last value.
        R"({"a": 1, "b": 2, "a": {"y": 1, "x": 2}})",
        // Every escape, other control characters, a slash, non-ASCII text.
        R"(["q\"b\\s\/ \b\f\n\r\t \u0001\u001f\u007f", "\u00e9\u4e2d\ud83d\ude00", "nul\u0000in"])",
        "[\"\xc3\xa9 raw \xf0\x9f\x98\x80\"]",
        R"({"n": -9223372036854775808, "m": 9223372036854775807, "z": 0, "neg": -0})",
        // Reals in jansson's "%.17g" form.
        R"({"r": 1.5, "e": 1e300, "s": -0.0, "t": 0.1, "u": 1E-7, "v": 2e0, "w": 123456789.125})",
        R"("plain")",
        R"(42)",
        R"(true)",
        R"(null)",
        // An object wider than any stack array would hold.
        R"({"k40": 0, "k39": 1, "k38": 2, "k37": 3, "k36": 4, "k35": 5, "k34": 6, "k33": 7, "k32": 8,
            "k31": 9, "k30": 0, "k29": 1, "k28": 2, "k27": 3, "k26": 4, "k25": 5, "k24": 6, "k23": 7,
            "k22": 8, "k21": 9, "k20": 0, "k19": 1, "k18": 2, "k17": 3, "k16": 4, "k15": 5, "k14": 6,
            "k13": 7, "k12": 8, "k11": 9, "k10": 0, "k09": 1, "k08": 2, "k07": 3, "k06": 4, "k05": 5,
            "k04": 6, "k03": 7, "k02": 8, "k01": 9, "k00": {"b": [1, {"d": 2, "c": 3}], "a": "x"}})",
    };
    for (const char *reply : kReplies) EXPECT_EQ(written(reply), jansson_text(reply)) << reply;
    // Reals with more digits than any buffer on the stack holds.
    const std::string long_reals = "[0." + std::string(450, '0') + "1, 1" + std::string(300, '0') + ".5]";
    EXPECT_EQ(written(long_reals), jansson_text(long_reals));
}

// Strings are scanned eight bytes at a time: each byte that needs escaping,
// and its harmless neighbours, at every place in and across those words.
// (The text starts with an escaped "a", so it is unescaped and escaped again
// whatever it holds.)
TEST(JsonWriter, EscapesFoundAtEveryPlace) {
    const std::string kBytes[] = {std::string(1, '\0'), "\x01", "\x1f", " ", "!", "\"", "#", "[", "\\", "]",
                                  "\x7f", "\xc3\xa9", "\xf0\x9f\x98\x80"};
    for (const std::string &b : kBytes)
        for (size_t at = 0; at <= 18; ++at) {
            const std::string text = std::string(at, 'a') + b + std::string(18 - at, 'z');
            json_t *v = json_stringn(text.data(), text.size());
            ASSERT_NE(v, nullptr);
            char *dumped = json_dumps(v, JSON_ENCODE_ANY);
            const std::string quoted = dumped;
            free(dumped);
            json_decref(v);
            const std::string reply = "\"\\u0061" + quoted.substr(1);
            EXPECT_EQ(written(reply), "\"a" + quoted.substr(1))
                << "byte " << static_cast<int>(static_cast<unsigned char>(b[0])) << " at " << at;
            // The same text as a member's name, whose end is searched a
            // word at a time (jansson, the reference, refuses NUL in names).
            if (b[0] == '\0') continue;
            const std::string object = "{" + quoted + ": 1, \"m\": 2}";
            EXPECT_EQ(written(object), jansson_text(object))
                << "name with byte " << static_cast<int>(static_cast<unsigned char>(b[0])) << " at " << at;
        }
}

TEST(JsonWriter, NestingWithinTheLimitIsWrittenWholeDeeperIsRefused) {
    auto nested = [](size_t levels) {
        return std::string(levels, '[') + "{\"b\": 1, \"a\": 2}" + std::string(levels, ']');
    };
    const std::string inside = nested(kJsonMaxDepth - 2);
    EXPECT_EQ(written(inside), jansson_text(inside));
    EXPECT_NE(written(inside).find("{\"a\": 2, \"b\": 1}"), std::string::npos);
    EXPECT_EQ(written(nested(kJsonMaxDepth + 1)), "<refused>");
}

TEST(JsonWriter, WhatIsNotOneJsonValueIsRefused) {
    const char *const kNotJson[] = {"",         "{",        "[1,]",       "{\"a\":1,}", "tru",
                                    "01",       "1.",       "-",          "1e",         "\"\\q\"",
                                    "[1] x",    "[1] [2]",  "{\"a\" 1}",  "[nul]",      "\"\\ud800\"",
                                    "[1, 2}",   "{\"a\": }", "\"a\x01\"", "\"\xff\"",   "{'a': 1}"};
    for (const char *text : kNotJson) EXPECT_EQ(written(text), "<refused>") << text;
}

}  // namespace
