#include "support/text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::string to8(std::u16string_view w) {
    std::string out;
    utf16_to_utf8(reinterpret_cast<const Utf16Unit *>(w.data()), w.size(), out);
    return out;
}
std::u16string to16(std::string_view s) {
    std::u16string out;
    utf8_to_utf16(s, out);
    return out;
}

TEST(TextTest, Utf16ToUtf8CombinesPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(to8(u"é€😀"), "é€😀");
    const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
    const char16_t lone_low[] = {0xDE00, 0};
    EXPECT_EQ(to8(lone_high), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(to8(lone_low), "\xEF\xBF\xBD");
    const char16_t high_at_end[] = {u'x', 0xD83D};
    EXPECT_EQ(to8(std::u16string_view(high_at_end, 2)), "x\xEF\xBF\xBD");
}

TEST(TextTest, Utf8ToUtf16DecodesAndRejectsMalformedInput) {
    EXPECT_EQ(to16("é€😀"), u"é€😀");
    struct Case {
        const char *in;
        std::u16string out;
    } cases[] = {
        {"\xC3", u"\uFFFD"},                  // truncated sequence
        {"\xC0\xAF", u"\uFFFD\uFFFD"},        // overlong '/'
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"a\xFF" "b", u"a\uFFFDb"},
    };
    for (const Case &c : cases) EXPECT_EQ(to16(c.in), c.out) << c.in;
}

// Pieces of every size put together give the whole conversion: the same
// units as utf8_to_utf16, never half a surrogate pair in one piece, and each
// piece as long as fits.
TEST(TextTest, Utf16PiecesMatchTheWholeConversion) {
    const std::string texts[] = {
        "",
        "plain ASCII text that is longer than any room below",
        "é€😀",
        "ab😀😀cd",
        "0123456789abcdé€😀0123456789abcdefgh\xFF",  // ASCII runs longer than a word around others
        "0123456789abcdefghij€0123456789é0123456789abcdef",  // runs of a block and more
        "\xF0\x9F\x98",                    // a pair's character cut short at the end
        "a\xFF" "b\xC0\xAF\xED\xA0\x80z",    // bad bytes, overlong, encoded surrogate
        "xy\xF4\x90\x80\x80" "😀",
        std::string("nul\0in", 6),
    };
    for (const std::string &text : texts) {
        const std::u16string whole = to16(text);
        EXPECT_EQ(utf8_utf16_units(text), whole.size()) << text;
        for (size_t room = 1; room <= whole.size() + 1; ++room) {
            std::u16string joined;
            size_t at = 0;
            while (at < text.size()) {
                char16_t buf[64];
                size_t units = 99;
                size_t taken = utf8_to_utf16_piece(std::string_view(text).substr(at), buf, room, &units);
                ASSERT_LE(units, room);
                if (taken == 0) {
                    // Only a pair that cannot fit in a room of one.
                    ASSERT_EQ(room, 1u) << text;
                    break;
                }
                if (units > 0) {
                    EXPECT_FALSE(buf[units - 1] >= 0xD800 && buf[units - 1] <= 0xDBFF) << text;
                }
                joined.append(buf, units);
                // A full piece unless the text ended or a pair did not fit.
                if (at + taken < text.size()) {
                    EXPECT_GE(units + 1, room) << text << " room " << room;
                }
                EXPECT_EQ(utf8_utf16_units(std::string_view(text).substr(at, taken)), units);
                at += taken;
            }
            if (at == text.size()) {
                EXPECT_EQ(joined, whole) << text << " room " << room;
            }
        }
    }
    // Output of any alignment.
    alignas(4) unsigned char odd[9] = {};
    size_t units = 0;
    EXPECT_EQ(utf8_to_utf16_piece("abcé", odd + 1, 4, &units), 5u);
    EXPECT_EQ(units, 4u);
    char16_t fourth;
    std::memcpy(&fourth, odd + 7, 2);
    EXPECT_EQ(fourth, u'é');
}

TEST(TextTest, BoundedCopiesCutAtWholeCharactersAndTerminate) {
    const std::string s = "é€😀";  // 2 + 3 + 4 bytes
    char buf[16];
    for (size_t cap = 0; cap <= 11; cap++) {
        std::memset(buf, '#', sizeof buf);
        bool cut = copy_text_out(s, buf, cap);
        EXPECT_EQ(cut, cap < 10) << cap;
        if (cap == 0) {
            EXPECT_EQ(buf[0], '#');
            continue;
        }
        size_t n = std::strlen(buf);
        EXPECT_LT(n, cap);
        EXPECT_EQ(n, n >= 9 ? 9u : n >= 5 ? 5u : n >= 2 ? 2u : 0u) << cap;
        EXPECT_EQ(buf[cap], '#') << "wrote past the buffer at " << cap;
    }
    std::u16string w = u"a😀";
    Utf16Unit wb[4] = {9, 9, 9, 9};
    EXPECT_TRUE(copy_wide_out(w, wb, 3));  // room for 'a' and one half of the pair: drop the half
    EXPECT_EQ(wb[0], u'a');
    EXPECT_EQ(wb[1], 0);
    EXPECT_EQ(wb[3], 9);
    EXPECT_FALSE(copy_wide_out(w, wb, 4));
}

TEST(TextTest, TextArguments) {
    EXPECT_TRUE(text_arg(nullptr, 5).is_null);
    EXPECT_EQ(text_arg("abc", -3).text, "abc");
    EXPECT_EQ(text_arg("abcdef", 2).text, "ab");
    EXPECT_FALSE(text_arg("abc", -7).ok);
}

}  // namespace
