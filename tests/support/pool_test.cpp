#include "support/pool.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

int g_released = 0;
void count_release(void *arg) { g_released += *static_cast<int *>(arg); }

TEST(PoolTest, ReleasingAPoolFreesItsTreeAndRunsCallbacksOnce) {
    long before = cv_mem_live_pools();
    CvPool *root = cv_mem_alloc_handle(nullptr);
    CvPool *child = cv_mem_alloc_handle(root);
    CvPool *grandchild = cv_mem_alloc_handle(child);
    ASSERT_TRUE(root && child && grandchild);
    EXPECT_EQ(cv_mem_live_pools(), before + 3);
    static int one = 1, ten = 10;
    g_released = 0;
    ASSERT_TRUE(cv_mem_on_release(grandchild, count_release, &one));
    ASSERT_TRUE(cv_mem_on_release(root, count_release, &ten));
    for (int i = 0; i < 100; i++) ASSERT_NE(cv_mem_alloc(grandchild, 64), nullptr);
    cv_mem_release_handle(root);
    EXPECT_EQ(g_released, 11);
    EXPECT_EQ(cv_mem_live_pools(), before);
}

TEST(PoolTest, BlocksAreZeroedAlignedAndIndividuallyFreeable) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    auto *a = static_cast<unsigned char *>(cv_mem_alloc(pool, 37));
    auto *b = static_cast<unsigned char *>(cv_mem_alloc(pool, 0));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % alignof(std::max_align_t), 0u);
    for (int i = 0; i < 37; i++) EXPECT_EQ(a[i], 0);
    cv_mem_free(a);  // freeing a middle block keeps the list intact
    cv_mem_free(nullptr);
    auto *c = static_cast<char *>(cv_mem_realloc(pool, b, 10));
    ASSERT_NE(c, nullptr);
    std::memcpy(c, "abcdefghij", 10);
    c = static_cast<char *>(cv_mem_realloc(pool, c, 100000));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(std::memcmp(c, "abcdefghij", 10), 0);
    EXPECT_EQ(c[99999], 0);
    EXPECT_EQ(cv_mem_alloc(pool, SIZE_MAX), nullptr);
    EXPECT_EQ(pool_new_array<uint64_t>(pool, SIZE_MAX / 4), nullptr);
    cv_mem_release_handle(pool);
}

TEST(PoolTest, ReleasingAChildLeavesItsSiblingsAndParent) {
    CvPool *root = cv_mem_alloc_handle(nullptr);
    CvPool *kids[5];
    for (auto &k : kids) k = cv_mem_alloc_handle(root);
    cv_mem_release_handle(kids[2]);  // middle
    cv_mem_release_handle(kids[4]);  // newest (list head)
    cv_mem_release_handle(kids[0]);  // oldest (list tail)
    char *s = cv_mem_strdup(kids[1], "still here");
    EXPECT_STREQ(s, "still here");
    EXPECT_EQ(cv_mem_strdup(kids[3], nullptr), nullptr);
    cv_mem_release_handle(root);
}

TEST(PoolTest, InjectedFailureHitsExactlyTheNthAllocation) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    cv_mem_fail_after(3);
    EXPECT_NE(cv_mem_alloc(pool, 8), nullptr);
    EXPECT_NE(cv_mem_alloc(pool, 8), nullptr);
    EXPECT_EQ(cv_mem_alloc(pool, 8), nullptr);
    EXPECT_NE(cv_mem_alloc(pool, 8), nullptr);
    cv_mem_fail_after(1);
    EXPECT_EQ(cv_mem_alloc_handle(pool), nullptr);
    cv_mem_fail_after(0);
    cv_mem_release_handle(pool);
}

}  // namespace
