#include "support/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<long> contents(const List *l) {
    std::vector<long> v;
    for (ListCell *c = ListFirst(l); c; c = ListNext(c)) v.push_back(reinterpret_cast<long>(ListData(c)));
    std::vector<long> back;
    for (ListCell *c = ListLast(l); c; c = ListPrior(c)) back.insert(back.begin(), reinterpret_cast<long>(ListData(c)));
    EXPECT_EQ(v, back) << "forward and backward walks disagree";
    return v;
}

void *p(long n) { return reinterpret_cast<void *>(n); }

TEST(ListTest, AppendDeleteMergeKeepBothDirectionsConsistent) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    List *a = nullptr;
    for (long i = 1; i <= 4; i++) a = ListAppend(a, p(i), pool);
    EXPECT_EQ(contents(a), (std::vector<long>{1, 2, 3, 4}));
    ListCell *second = ListNext(ListFirst(a));
    EXPECT_EQ(ListData(ListDelete(a, second)), p(3));
    ListDelete(a, ListFirst(a));
    ListDelete(a, ListLast(a));
    EXPECT_EQ(contents(a), (std::vector<long>{3}));
    List *b = ListAppend(nullptr, p(7), pool);
    b = ListAppend(b, p(8), pool);
    a = ListMerge(a, b);
    EXPECT_EQ(contents(a), (std::vector<long>{3, 7, 8}));
    EXPECT_EQ(ListCount(a), 3);
    EXPECT_EQ(ListCount(b), 0);
    ListRewrite(ListFirst(a), p(9));
    EXPECT_EQ(ListMerge(nullptr, a), a);
    int stop_at_8 = ListEnumerate(
        a, [](void *d, void *) { return reinterpret_cast<long>(d) == 8 ? 42 : 0; }, nullptr);
    EXPECT_EQ(stop_at_8, 42);
    EXPECT_EQ(contents(a), (std::vector<long>{9, 7, 8}));
    cv_mem_release_handle(pool);
}

TEST(ListTest, FailedAppendLeavesTheListUnchanged) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    List *a = ListAppend(nullptr, p(1), pool);
    cv_mem_fail_after(1);
    EXPECT_EQ(ListAppend(a, p(2), pool), nullptr);
    EXPECT_EQ(contents(a), (std::vector<long>{1}));
    cv_mem_fail_after(0);
    cv_mem_release_handle(pool);
}

}  // namespace
