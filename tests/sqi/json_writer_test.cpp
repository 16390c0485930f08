// The JSON text of reply values is exactly what jansson's sorted dump writes,
// for every kind of value a reply can hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sqi/json_writer.h"

namespace {

std::string jansson_text(const json_t *v) {
    char *text = json_dumps(v, JSON_SORT_KEYS | JSON_ENCODE_ANY);
    std::string out = text ? text : "<null>";
    free(text);
    return out;
}

TEST(JsonWriter, WritesWhatTheSortedDumpWrites) {
    const char *const kReplies[] = {
        R"({"b": 1, "a": [true, false, null], "c": {}})",
        R"([])",
        R"([[], {}, [[]], {"x": []}])",
        // Names that are prefixes of others, upper before lower, bytes above 0x7F.
        R"({"ab": 1, "a": 2, "B": 3, "": 4, "\u00e9": 5, "z": 6, "a\u0001": 7})",
        // Every escape, other control characters, a slash, non-ASCII text.
        R"(["q\"b\\s\/ \b\f\n\r\t \u0001\u001f\u007f", "\u00e9\u4e2d\ud83d\ude00", "nul\u0000in"])",
        R"({"n": -9223372036854775808, "m": 9223372036854775807, "z": 0})",
        R"({"r": 1.5, "e": 1e300, "s": -0.0, "t": 0.1})",
        R"("plain")",
        R"(42)",
        // An object wider than the writer sorts on its stack.
        R"({"k40": 0, "k39": 1, "k38": 2, "k37": 3, "k36": 4, "k35": 5, "k34": 6, "k33": 7, "k32": 8,
            "k31": 9, "k30": 0, "k29": 1, "k28": 2, "k27": 3, "k26": 4, "k25": 5, "k24": 6, "k23": 7,
            "k22": 8, "k21": 9, "k20": 0, "k19": 1, "k18": 2, "k17": 3, "k16": 4, "k15": 5, "k14": 6,
            "k13": 7, "k12": 8, "k11": 9, "k10": 0, "k09": 1, "k08": 2, "k07": 3, "k06": 4, "k05": 5,
            "k04": 6, "k03": 7, "k02": 8, "k01": 9, "k00": {"b": [1, {"d": 2, "c": 3}], "a": "x"}})",
    };
    for (const char *reply : kReplies) {
        json_error_t err;
        json_t *v = json_loads(reply, JSON_DECODE_ANY | JSON_ALLOW_NUL, &err);
        ASSERT_NE(v, nullptr) << reply << ": " << err.text;
        std::string out = "kept ";
        ASSERT_TRUE(append_json_text(v, out)) << reply;
        EXPECT_EQ(out, "kept " + jansson_text(v)) << reply;
        json_decref(v);
    }
}

// Strings are scanned eight bytes at a time: each byte that needs escaping,
// and its harmless neighbours, at every place in and across those words.
TEST(JsonWriter, EscapesFoundAtEveryPlace) {
    const std::string kBytes[] = {std::string(1, '\0'), "\x01", "\x1f", " ", "!", "\"", "#", "[", "\\", "]",
                                  "\x7f", "\xc3\xa9", "\xf0\x9f\x98\x80"};
    for (const std::string &b : kBytes)
        for (size_t at = 0; at <= 18; ++at) {
            std::string text = std::string(at, 'a') + b + std::string(18 - at, 'z');
            json_t *v = json_stringn(text.data(), text.size());
            ASSERT_NE(v, nullptr);
            std::string out;
            ASSERT_TRUE(append_json_text(v, out));
            EXPECT_EQ(out, jansson_text(v)) << "byte " << static_cast<int>(static_cast<unsigned char>(b[0]))
                                            << " at " << at;
            json_decref(v);
        }
}

TEST(JsonWriter, DeepNestingIsWrittenWhole) {
    std::string text(1000, '[');
    text += "{\"b\": 1, \"a\": 2}";
    text += std::string(1000, ']');
    json_t *v = json_loads(text.c_str(), 0, nullptr);
    ASSERT_NE(v, nullptr);
    std::string out;
    ASSERT_TRUE(append_json_text(v, out));
    EXPECT_EQ(out, jansson_text(v));
    EXPECT_NE(out.find("{\"a\": 2, \"b\": 1}"), std::string::npos);
    json_decref(v);
}

TEST(JsonWriter, NothingToWrite) {
    std::string out;
    EXPECT_FALSE(append_json_text(nullptr, out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
