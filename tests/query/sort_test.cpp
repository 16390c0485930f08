// The external sort on its own: spilling runs, stability across many runs,
// unique mode, work files (none below the budget, 0600, gone after close),
// the budget's arithmetic.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "query/sort.h"
#include "support/pool.h"

namespace {

// Open descriptors of this process whose target lies in `dir`.
int files_in(const std::string &dir) {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d) return -1;
    while (dirent *e = readdir(d)) {
        char link[512], target[512];
        std::snprintf(link, sizeof link, "/proc/self/fd/%s", e->d_name);
        ssize_t len = readlink(link, target, sizeof target - 1);
        if (len <= 0) continue;
        target[len] = '\0';
        if (std::strncmp(target, dir.c_str(), dir.size()) == 0) n++;
    }
    closedir(d);
    return n;
}

class SortTest : public ::testing::Test {
protected:
    void SetUp() override {
        pool = cv_mem_alloc_handle(nullptr);
        char tmpl[] = "/tmp/cvsorttestXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        cv_mem_release_handle(pool);
        rmdir(dir.c_str());
    }
    Sort *make(int64_t budget, int unique, const std::atomic<int32_t> *cancel = nullptr) {
        SortOptions o{};
        o.budget = budget;
        o.unique = unique;
        o.cancel = cancel;
        o.directory = dir.c_str();
        return sort_start(pool, &o);
    }
    CvPool *pool = nullptr;
    std::string dir;
};

// Keys of 4 bytes from a small range (many equal keys); the payload is the
// insertion number, so stability shows.
TEST_F(SortTest, SpillsOverManyRunsAndStaysStable) {
    Sort *s = make(2048, 0);
    ASSERT_NE(s, nullptr);
    const int n = 20000;
    for (int i = 0; i < n; i++) {
        uint32_t k = static_cast<uint32_t>((i * 7919) % 97);
        uint8_t key[4] = {static_cast<uint8_t>(k >> 24), static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 8),
                          static_cast<uint8_t>(k)};
        ASSERT_EQ(sort_add(s, key, 4, &i, sizeof i), 0);
    }
    EXPECT_GT(sort_runs(s), 128);
    EXPECT_TRUE(sort_spilled(s));
    EXPECT_GT(files_in(dir), 0);
    ASSERT_EQ(sort_finish(s), 0);
    const uint8_t *key, *payload;
    size_t kl, pl;
    int count = 0;
    std::string last_key;
    int last = -1;
    while (sort_fetch(s, &key, &kl, &payload, &pl) == 0) {
        std::string k(reinterpret_cast<const char *>(key), kl);
        int v;
        ASSERT_EQ(pl, sizeof v);
        std::memcpy(&v, payload, sizeof v);
        if (count > 0) {
            ASSERT_LE(last_key, k);
            if (last_key == k) {
                ASSERT_LT(last, v) << "equal keys keep the order they came in";
            }
        }
        last_key = k;
        last = v;
        count++;
    }
    EXPECT_EQ(count, n);
    sort_release(s);
    EXPECT_EQ(files_in(dir), 0);
}

// A cancel (SQLCancel from another thread) ends a sort in memory, while
// merging runs, and while fetching merged entries: code 7, its text.
TEST_F(SortTest, ACancelEndsTheSortAtEachStage) {
    for (int stage = 0; stage < 3; stage++) {
        std::atomic<int32_t> cancel{0};
        Sort *s = make(stage == 0 ? 1 << 20 : 2048, 0, &cancel);
        ASSERT_NE(s, nullptr);
        for (int i = 0; i < 5000; i++) {
            int k = (i * 7919) % 4999;
            ASSERT_EQ(sort_add(s, &k, sizeof k, &i, sizeof i), 0);
        }
        if (stage < 2) cancel.store(1);
        int rc = sort_finish(s);
        if (stage == 2) {
            ASSERT_EQ(rc, 0);
            cancel.store(1);
            const uint8_t *key, *payload;
            size_t kl, pl;
            int fetched = 0;
            while ((rc = sort_fetch(s, &key, &kl, &payload, &pl)) == 0) fetched++;
            EXPECT_LT(fetched, 1024) << "the fetch loop looks at the flag every 1,024 entries";
        }
        EXPECT_EQ(rc, 7) << "stage " << stage;
        EXPECT_STREQ(sort_error(s), "Operation canceled") << "stage " << stage;
        sort_release(s);
    }
}

TEST_F(SortTest, MakesNoFileBelowTheBudget) {
    Sort *s = make(1 << 20, 0);
    for (int i = 0; i < 1000; i++) {
        int k = 1000 - i;
        ASSERT_EQ(sort_add(s, &k, sizeof k, "payload", 7), 0);
    }
    ASSERT_EQ(sort_finish(s), 0);
    EXPECT_FALSE(sort_spilled(s));
    EXPECT_EQ(sort_runs(s), 0);
    EXPECT_EQ(files_in(dir), 0);
    sort_release(s);
}

TEST_F(SortTest, WorkFilesAreOwnerOnlyAndGoWithThePool) {
    Sort *s = make(1024, 0);
    std::vector<uint8_t> payload(300, 'x');
    for (int i = 0; i < 50; i++) ASSERT_EQ(sort_add(s, &i, sizeof i, payload.data(), payload.size()), 0);
    ASSERT_GT(files_in(dir), 0);
    DIR *d = opendir("/proc/self/fd");
    int checked = 0;
    while (dirent *e = readdir(d)) {
        char link[512], target[512];
        std::snprintf(link, sizeof link, "/proc/self/fd/%s", e->d_name);
        ssize_t len = readlink(link, target, sizeof target - 1);
        if (len <= 0) continue;
        target[len] = '\0';
        if (std::strncmp(target, dir.c_str(), dir.size()) != 0) continue;
        struct stat st {};
        ASSERT_EQ(fstat(static_cast<int>(std::strtol(e->d_name, nullptr, 10)), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        checked++;
    }
    closedir(d);
    EXPECT_GT(checked, 0);
    // Nothing is left in the directory under a name either.
    DIR *w = opendir(dir.c_str());
    int names = 0;
    while (dirent *e = readdir(w))
        if (e->d_name[0] != '.') names++;
    closedir(w);
    EXPECT_EQ(names, 0);
    // Released with its pool, in the middle of adding (as after an error).
    cv_mem_release_handle(pool);
    pool = cv_mem_alloc_handle(nullptr);
    EXPECT_EQ(files_in(dir), 0);
}

TEST_F(SortTest, AnEntryLargerThanTheBudgetStillSorts) {
    Sort *s = make(1024, 0);
    std::vector<uint8_t> big(5000, 'b');
    for (int i = 9; i >= 0; i--) ASSERT_EQ(sort_add(s, &i, sizeof i, big.data(), big.size()), 0);
    ASSERT_EQ(sort_finish(s), 0);
    const uint8_t *key, *payload;
    size_t kl, pl;
    for (int i = 0; i < 10; i++) {
        ASSERT_EQ(sort_fetch(s, &key, &kl, &payload, &pl), 0);
        int k;
        std::memcpy(&k, key, sizeof k);
        EXPECT_EQ(k, i);
        EXPECT_EQ(pl, big.size());
    }
    EXPECT_EQ(sort_fetch(s, &key, &kl, &payload, &pl), 100);
}

TEST_F(SortTest, UniqueModeKeepsTheFirstOfEqualKeysInMemoryAndOnDisk) {
    for (int64_t budget : {int64_t{1} << 20, int64_t{1024}}) {
        Sort *s = make(budget, 1);
        for (int i = 0; i < 3000; i++) {
            uint8_t k = static_cast<uint8_t>(i % 10);
            ASSERT_EQ(sort_add(s, &k, 1, &i, sizeof i), 0);
        }
        ASSERT_EQ(sort_finish(s), 0);
        const uint8_t *key, *payload;
        size_t kl, pl;
        for (int k = 0; k < 10; k++) {
            ASSERT_EQ(sort_fetch(s, &key, &kl, &payload, &pl), 0);
            int v;
            std::memcpy(&v, payload, sizeof v);
            EXPECT_EQ(key[0], k);
            EXPECT_EQ(v, k) << "budget " << budget;
        }
        EXPECT_EQ(sort_fetch(s, &key, &kl, &payload, &pl), 100);
        sort_release(s);
    }
}

TEST_F(SortTest, PushBackReturnsTheSameEntry) {
    Sort *s = make(0, 0);
    for (int i = 0; i < 3; i++) ASSERT_EQ(sort_add(s, &i, sizeof i, nullptr, 0), 0);
    ASSERT_EQ(sort_finish(s), 0);
    const uint8_t *key, *payload;
    size_t kl, pl;
    ASSERT_EQ(sort_fetch(s, &key, &kl, &payload, &pl), 0);
    sort_push_back(s);
    const uint8_t *again;
    ASSERT_EQ(sort_fetch(s, &again, &kl, &payload, &pl), 0);
    EXPECT_EQ(again, key);
}

// Keys that share their first 8 bytes (the part sorted by radix passes) and
// differ after them or only in length, zero bytes included ("ab" before
// "ab\0"), many equal: the order must be memcmp order with a shorter key
// before a longer one it begins, ties in the order added, in memory and
// across spilled runs.
TEST_F(SortTest, KeysSharingTheirPrefixOrderByTheRest) {
    std::mt19937 rng(5);
    std::vector<std::string> keys;
    const std::string stems[] = {"", "ab", "abcdefgh", "abcdefg", std::string("ab\0\0\0\0\0\0", 8)};
    for (int i = 0; i < 5000; i++) {
        std::string k = stems[rng() % 5];
        const size_t extra = rng() % 12;
        for (size_t j = 0; j < extra; j++) k.push_back(static_cast<char>("\0a\xff"[rng() % 3]));
        keys.push_back(k);
    }
    std::vector<int> expected(keys.size());
    for (size_t i = 0; i < keys.size(); i++) expected[i] = static_cast<int>(i);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) { return keys[a] < keys[b]; });
    for (int64_t budget : {int64_t{1} << 20, int64_t{4096}}) {
        Sort *s = make(budget, 0);
        for (size_t i = 0; i < keys.size(); i++) {
            int v = static_cast<int>(i);
            ASSERT_EQ(sort_add(s, keys[i].data(), keys[i].size(), &v, sizeof v), 0);
        }
        EXPECT_EQ(sort_spilled(s), budget == 4096);
        ASSERT_EQ(sort_finish(s), 0);
        const uint8_t *key, *payload;
        size_t kl, pl;
        std::vector<int> got;
        while (sort_fetch(s, &key, &kl, &payload, &pl) == 0) {
            int v;
            std::memcpy(&v, payload, sizeof v);
            ASSERT_EQ(std::string(reinterpret_cast<const char *>(key), kl), keys[static_cast<size_t>(v)]);
            got.push_back(v);
        }
        EXPECT_EQ(got, expected) << "budget " << budget;
        sort_release(s);
    }
}

// Keys longer than the index records (65535 bytes and more) that differ
// only near their ends or in length, among enough entries for the radix
// passes.
TEST_F(SortTest, VeryLongKeysOrderByTheirLastBytes) {
    std::vector<std::string> keys;
    for (size_t length : {size_t{65534}, size_t{65535}, size_t{65536}, size_t{70000}})
        for (char last : {'c', 'a', 'b'}) keys.push_back(std::string(length - 1, 'k') + last);
    while (keys.size() < 100) keys.push_back("short" + std::to_string(keys.size()));
    std::vector<std::string> expected = keys;
    std::sort(expected.begin(), expected.end());
    Sort *s = make(1 << 24, 0);
    for (const std::string &k : keys) ASSERT_EQ(sort_add(s, k.data(), k.size(), nullptr, 0), 0);
    ASSERT_EQ(sort_finish(s), 0);
    const uint8_t *key, *payload;
    size_t kl, pl;
    std::vector<std::string> got;
    while (sort_fetch(s, &key, &kl, &payload, &pl) == 0) got.emplace_back(reinterpret_cast<const char *>(key), kl);
    EXPECT_EQ(got, expected);
    sort_release(s);
}

// The entry buffer, its index and the sorting copy stay within the budget
// at every step, for small and large entries.
TEST_F(SortTest, TheBufferStaysWithinTheBudget) {
    const int kEntries = 60000;
    for (size_t payload_length : {size_t{0}, size_t{5}, size_t{700}}) {
        const int64_t budget = 64 * 1024;
        Sort *s = make(budget, 0);
        std::vector<uint8_t> payload(payload_length, 'p');
        for (int i = 0; i < kEntries; i++) {
            int k = (i * 7919) % 1000;
            ASSERT_EQ(sort_add(s, &k, sizeof k, payload.data(), payload.size()), 0);
            ASSERT_LE(sort_memory(s), budget) << "entry " << i << ", payload " << payload_length;
        }
        // Runs use the budget: about entries x (entry + index) / budget of them.
        const int64_t total = kEntries * static_cast<int64_t>(8 + sizeof(int) + payload_length + 32);
        EXPECT_GT(sort_runs(s), 1);
        EXPECT_LE(sort_runs(s), 2 * (total / budget + 1)) << "payload " << payload_length;
        ASSERT_EQ(sort_finish(s), 0);
        sort_release(s);
    }
}

TEST_F(SortTest, BudgetArithmeticIsCapped) {
    EXPECT_EQ(sort_memory_budget(1), 1024);
    EXPECT_EQ(sort_memory_budget(INT64_MAX), int64_t{1} << 40);
    EXPECT_GT(sort_memory_budget(0), 0);
}

}  // namespace
