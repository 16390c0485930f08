// The reply cache: lifetime, use counts, stale entries and flushing.
#include <gtest/gtest.h>

#include "tests/transport/emulator_harness.h"

namespace {
int64_t g_now = 1000;
int64_t fake_clock() {
    return g_now;
}
}  // namespace

TEST(CacheTest, AnswersWithinLifetimeOnly) {
    ResponseCache cache{};
    cache.lifetime = 60;
    cache.clock = fake_clock;
    g_now = 1000;
    CacheStore(&cache, "GET /a", "body-a");
    const std::string *body = nullptr;
    ASSERT_EQ(1, CacheLookup(&cache, "GET /a", &body));
    EXPECT_EQ("body-a", *body);
    CacheRelease(&cache, body);
    EXPECT_EQ(0, CacheLookup(&cache, "GET /a?x=1", &body));
    g_now = 1059;
    EXPECT_EQ(1, CacheLookup(&cache, "GET /a", &body));
    CacheRelease(&cache, body);
    g_now = 1060;  // no store happened since, and still no answer
    EXPECT_EQ(0, CacheLookup(&cache, "GET /a", &body));
}

TEST(CacheTest, InUseEntriesBecomeStaleAndGoWhenReleased) {
    ResponseCache cache{};
    cache.lifetime = 10;
    cache.clock = fake_clock;
    g_now = 0;
    CacheStore(&cache, "GET /a", "a");
    const std::string *held = nullptr;
    ASSERT_EQ(1, CacheLookup(&cache, "GET /a", &held));
    g_now = 20;
    CacheStore(&cache, "GET /b", "b");  // ages /a: in use, so only marked stale
    ASSERT_EQ(2u, cache.entries.size());
    EXPECT_EQ("a", *held);  // still readable by its holder
    CacheRelease(&cache, held);
    EXPECT_EQ(1u, cache.entries.size());
    const std::string *b = nullptr;
    ASSERT_EQ(1, CacheLookup(&cache, "GET /b", &b));
    CacheFlush(&cache);  // in use: stale, not served again
    const std::string *again = nullptr;
    EXPECT_EQ(0, CacheLookup(&cache, "GET /b", &again));
    CacheRelease(&cache, b);
    EXPECT_TRUE(cache.entries.empty());
    EXPECT_EQ(0u, cache.bytes);
}

TEST(CacheTest, LifetimeZeroIsOff) {
    ResponseCache cache{};
    CacheStore(&cache, "GET /a", "a");
    const std::string *body = nullptr;
    EXPECT_EQ(0, CacheLookup(&cache, "GET /a", &body));
    EXPECT_TRUE(cache.entries.empty());
}
