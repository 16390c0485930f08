// LIKE compilation, matching (including the pathological patterns that
// would be exponential with naive backtracking) and pushdown prefixes; the
// KeyTree's ordering, duplicates and release.
#include <chrono>
#include <vector>

#include "engine/keytree.h"
#include "engine/like.h"
#include "support/long_buffer.h"
#include "tests/support_values/value_fixture.h"

namespace {

class LikeTest : public ValueFixture {
protected:
    int like(const std::string &subject, const std::string &pattern, const char *escape = nullptr) {
        Value *compiled = nullptr;
        Value *esc = escape ? text(escape) : nullptr;
        if (like_compile(text(pattern), esc, pool, &compiled) != 0) return -1;
        return like_match(compiled, text(subject));
    }
};

TEST_F(LikeTest, MatchTable) {
    struct Case {
        const char *subject, *pattern;
        int want;
    } cases[] = {
        {"ABC", "a%", 1},     {"abc", "a*", 1},     {"abc", "a?c", 1},    {"abc", "a_c", 1},
        {"a%b", "a\\%b", 1},  {"axb", "a\\%b", 0},  {"aab", "ab", 0},     {"ab", "ab%", 1},
        {"", "", 1},          {"", "%", 1},         {"a", "", 0},         {"", "_", 0},
        {"abc", "%c", 1},     {"abc", "%b", 0},     {"abcabc", "%bc%bc", 1},
        {"mississippi", "%iss%ppi", 1},             {"mississippi", "m%s%s%s%i", 1},
        {"aaa", "%a%a%a%", 1},                      {"aa", "%a%a%a%", 0},
        {"x_y", "x\\_y", 1},  {"xzy", "x\\_y", 0},  {"héllo", "h_llo", 1},
        {"a", "%%%", 1},      {"ab", "_%_", 1},     {"a", "_%_", 0},
    };
    for (const auto &c : cases) EXPECT_EQ(like(c.subject, c.pattern), c.want) << c.subject << " LIKE " << c.pattern;
    EXPECT_EQ(like("a#%b", "a#%b", "#"), 0);
    EXPECT_EQ(like("a%b", "a#%b", "#"), 1);
    EXPECT_EQ(like("a\\b", "a\\b", "#"), 1);  // backslash is plain with another escape
}

TEST_F(LikeTest, CompileErrorsAndNulls) {
    Value *c = nullptr;
    EXPECT_EQ(like_compile(text("abc\\"), nullptr, pool, &c), -1);
    EXPECT_EQ(like_compile(integer(1), nullptr, pool, &c), -1);
    ASSERT_EQ(like_compile(null_of(VT_CHAR), nullptr, pool, &c), 0);
    EXPECT_TRUE(c->is_null);
    EXPECT_EQ(like_evaluate(c, text("x"), false), kUnknown);
    EXPECT_EQ(like_evaluate(c, text("x"), true), kUnknown);  // NOT LIKE NULL is unknown
    ASSERT_EQ(like_compile(text("a%"), nullptr, pool, &c), 0);
    EXPECT_EQ(c->length, 5);  // twice the pattern plus one
    EXPECT_EQ(like_evaluate(c, null_of(VT_CHAR), false), kUnknown);
    EXPECT_EQ(like_evaluate(c, text("abc"), true), kFalse);
    EXPECT_EQ(like_evaluate(c, text("xbc"), true), kTrue);
}

TEST_F(LikeTest, NoExponentialBacktracking) {
    std::string subject(20000, 'a');
    std::string pattern;
    for (int i = 0; i < 30; i++) pattern += "%a";
    pattern += "%b";
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(like(subject, pattern), 0);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(ms, 2000);  // O(n*m): 20000 x 64 steps, not 20000^30
}

TEST_F(LikeTest, LongSubjectsAndPrefixes) {
    Value *subject = new_value_of_type(pool, VT_LONG_CHAR);
    subject->long_buffer = allocate_long_buffer(pool, 0, SQL_LONGVARCHAR);
    std::string body(10000, 'z');
    ASSERT_EQ(append_to_long_buffer(subject->long_buffer, body.data(), body.size()), 0);
    ASSERT_EQ(append_to_long_buffer(subject->long_buffer, "END", 3), 0);
    Value *c = nullptr;
    ASSERT_EQ(like_compile(text("%end"), nullptr, pool, &c), 0);
    EXPECT_EQ(like_match(c, subject), 1);
    char lo[256], hi[256];
    ASSERT_EQ(like_compile(text("abc%x"), nullptr, pool, &c), 0);
    EXPECT_EQ(like_literal_prefix(c, lo, sizeof lo), 3u);
    EXPECT_STREQ(lo, "abc");
    EXPECT_EQ(like_upper_prefix(c, hi, sizeof hi), 3u);
    EXPECT_STREQ(hi, "abd");
    ASSERT_EQ(like_compile(text("%abc"), nullptr, pool, &c), 0);
    EXPECT_EQ(like_literal_prefix(c, lo, sizeof lo), 0u);
    std::string longp(600, 'q');
    ASSERT_EQ(like_compile(text(longp), nullptr, pool, &c), 0);
    EXPECT_EQ(like_literal_prefix(c, lo, sizeof lo), 255u);
}

int g_released = 0;
void count_release(void *) { g_released++; }

TEST(KeyTreeTest, InsertLookupOrderAndRelease) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    KeyTree *t = TREEcreate(pool, keytree_byte_compare, count_release);
    ASSERT_NE(t, nullptr);
    std::vector<int> payloads(1000);
    for (int i = 0; i < 1000; i++) {
        int k = (i * 7919) % 1000;  // scrambled order
        ASSERT_EQ(TREEinsert(t, &k, sizeof k, &payloads[k]), kTreeOk);
    }
    int dup = 5;
    EXPECT_EQ(TREEinsert(t, &dup, sizeof dup, nullptr), kTreeOk);
    EXPECT_EQ(TREEcount(t), 1000u);
    for (int k = 0; k < 1000; k++) {
        void *p = nullptr;
        ASSERT_EQ(TREElookup(t, &k, sizeof k, &p), kTreeOk);
        EXPECT_EQ(p, &payloads[k]);  // the first payload stays
    }
    int absent = 5000;
    EXPECT_EQ(TREElookup(t, &absent, sizeof absent, nullptr), kTreeNotFound);
    g_released = 0;
    TREErelease(t);
    EXPECT_EQ(g_released, 1000);
    EXPECT_EQ(TREElookup(nullptr, &absent, sizeof absent, nullptr), kTreeNotFound);
    cv_mem_release_handle(pool);
}

TEST(KeyTreeTest, DefaultCompareIsCaseInsensitiveAndLengthFirst) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    KeyTree *t = TREEcreate(pool, nullptr, nullptr);
    ASSERT_EQ(TREEinsert(t, "Hello", 5, nullptr), kTreeOk);
    EXPECT_EQ(TREEinsert(t, "HELLO", 5, nullptr), kTreeOk);
    EXPECT_EQ(TREEcount(t), 1u);
    EXPECT_EQ(TREEinsert(t, "Hell", 4, nullptr), kTreeOk);
    EXPECT_LT(keytree_default_compare(1, "z", 2, "aa"), 0);  // shorter first, whatever the bytes
    EXPECT_EQ(keytree_string_compare(4, "ab\0x", 4, "ab\0y"), 0);
    cv_mem_fail_after(1);
    EXPECT_EQ(TREEinsert(t, "new", 3, nullptr), kTreeNoMemory);
    cv_mem_fail_after(0);
    EXPECT_EQ(TREElookup(t, "new", 3, nullptr), kTreeNotFound);
    TREErelease(t);
    cv_mem_release_handle(pool);
}

}  // namespace
