// Row work files: the cache keeps small files off the disk, records beyond
// 4 GiB are addressed with 64-bit offsets, access past a record's end is
// refused, the side store spills to its own file, and the directory falls
// back to $TMPDIR.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/pool.h"
#include "support/work_file.h"

namespace {

struct WorkFileTest : ::testing::Test {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ~WorkFileTest() override { cv_mem_release_handle(pool); }
};

TEST_F(WorkFileTest, CacheKeepsSmallFilesInMemory) {
    WorkFile *f = work_file_create(pool, 16, 4, nullptr);
    ASSERT_NE(f, nullptr);
    for (int r = 0; r < 4; r++) ASSERT_EQ(work_file_write(f, r, 0, &r, sizeof r), 0);
    EXPECT_FALSE(work_file_on_disk(f));
    int r = 4;
    ASSERT_EQ(work_file_write(f, 4, 0, &r, sizeof r), 0);
    EXPECT_TRUE(work_file_on_disk(f)) << "the fifth record pushed the first to disk";
    for (int i = 0; i < 5; i++) {
        int got = -1;
        ASSERT_EQ(work_file_read(f, i, 0, &got, sizeof got), 0);
        EXPECT_EQ(got, i);
    }
    EXPECT_EQ(work_file_records(f), 5);
}

TEST_F(WorkFileTest, RecordsPastFourGigabytes) {
    constexpr size_t kLength = 4096;
    constexpr int64_t kFar = (int64_t{5} << 30) / kLength;  // byte offset 5 GiB
    WorkFile *f = work_file_create(pool, kLength, 1, nullptr);
    ASSERT_NE(f, nullptr);
    std::vector<char> rec(kLength, 'x');
    ASSERT_EQ(work_file_write(f, kFar, 0, rec.data(), kLength), 0);
    rec.assign(kLength, 'y');
    ASSERT_EQ(work_file_write(f, kFar + 1, 0, rec.data(), kLength), 0);  // evicts kFar to the file
    std::vector<char> back(kLength);
    ASSERT_EQ(work_file_read(f, kFar, 0, back.data(), kLength), 0);
    EXPECT_EQ(back[0], 'x');
    EXPECT_EQ(back[kLength - 1], 'x');
    ASSERT_EQ(work_file_read(f, kFar + 1, 0, back.data(), kLength), 0);
    EXPECT_EQ(back[0], 'y');
}

TEST_F(WorkFileTest, AccessPastARecordIsRefused) {
    WorkFile *f = work_file_create(pool, 8, 2, nullptr);
    ASSERT_NE(f, nullptr);
    char buf[16] = {};
    const char *operation = nullptr;
    int code = 0;
    struct Case {
        int64_t record;
        size_t offset, n;
        bool write;
    };
    const Case cases[] = {
        {0, 4, 5, true}, {0, 9, 0, true}, {-1, 0, 1, true}, {0, 0, 9, true},
        {0, 4, 5, false}, {3, 0, 1, false}, {0, SIZE_MAX, 2, false},
    };
    ASSERT_EQ(work_file_write(f, 0, 0, buf, 8), 0);
    for (const Case &c : cases) {
        int rc = c.write ? work_file_write(f, c.record, c.offset, buf, c.n) : work_file_read(f, c.record, c.offset, buf, c.n);
        EXPECT_EQ(rc, -1) << c.record << " " << c.offset << " " << c.n;
        (void)work_file_error(f, &operation, &code);
        EXPECT_EQ(code, EINVAL);
        EXPECT_STREQ(operation, c.write ? "rs_file_write" : "rs_file_read");
    }
    EXPECT_EQ(work_file_write(f, 0, 4, buf, 4), 0) << "the last bytes of a record";
}

TEST_F(WorkFileTest, SideStoreSpillsToItsOwnFile) {
    WorkFile *f = work_file_create(pool, 8, 2, nullptr);
    ASSERT_NE(f, nullptr);
    std::string a(700000, 'a'), b(700000, 'b');
    int64_t pa = work_side_append(f, a.data(), a.size());
    int64_t pb = work_side_append(f, b.data(), b.size());  // past the first MiB: spills
    ASSERT_EQ(pa, 0);
    ASSERT_EQ(pb, 700000);
    std::string back(700000, '\0');
    ASSERT_EQ(work_side_read(f, pa, back.data(), back.size()), 0);
    EXPECT_EQ(back, a);
    ASSERT_EQ(work_side_read(f, pb, back.data(), back.size()), 0);
    EXPECT_EQ(back, b);
    EXPECT_EQ(work_side_read(f, pb, back.data(), back.size() + 1), -1);
}

TEST_F(WorkFileTest, DirectoryFallsBackToTmpdir) {
    EXPECT_STREQ(work_directory("/data/work"), "/data/work");
    const char *old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_STREQ(work_directory(""), "/var/tmp");
    unsetenv("TMPDIR");
    EXPECT_STREQ(work_directory(nullptr), "/tmp");
    if (old) setenv("TMPDIR", saved.c_str(), 1);
    // A directory that does not exist fails when the file is first needed.
    WorkFile *f = work_file_create(pool, 8, 1, "/nonexistent/cv-work");
    ASSERT_NE(f, nullptr);
    char rec[8] = {};
    ASSERT_EQ(work_file_write(f, 0, 0, rec, 8), 0);
    EXPECT_EQ(work_file_write(f, 1, 0, rec, 8), -1);
    const char *operation = nullptr;
    (void)work_file_error(f, &operation, nullptr);
    EXPECT_STREQ(operation, "rs_open_file");
}

}  // namespace
