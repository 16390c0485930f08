// The history store of settled transactions: how a range splits into stored,
// fill and live windows (the settle boundary), the search's filters on
// stored details, splitting replies, and the SQLite file itself (0600, unsafe
// files refused, damage found, two writers at once, a writer killed half way,
// a disk full).
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sqi/history_rows.h"
#include "sqi/history_scan.h"
#include "sqi/history_store.h"

namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kWindow = 31 * kDay;
using Kind = HistorySegmentKind;

std::string plan_text(const std::vector<HistorySegment> &plan) {
    std::string out;
    const char *names[] = {"S", "F", "L"};
    for (const HistorySegment &s : plan)
        out += std::string(names[static_cast<int>(s.kind)]) + "[" + std::to_string(s.start) + "," +
               std::to_string(s.end) + "] ";
    return out;
}

TEST(HistoryPlan, SplitsARangeIntoStoredFillAndLiveWindows) {
    const struct {
        const char *what;
        int64_t low, high, cutoff, window;
        std::vector<HistoryWindow> stored;
        std::vector<HistorySegment> want;
    } kCases[] = {
        {"nothing stored: settled windows are filled, the rest live", 0, 70 * kDay - 1, 40 * kDay - 1, kWindow, {},
         {{Kind::kFill, 0, kWindow - 1}, {Kind::kFill, kWindow, 40 * kDay - 1},
          {Kind::kLive, 40 * kDay, 70 * kDay - 1}}},
        {"a window ending inside the settle time is always fetched", 0, 10 * kDay, 10 * kDay - 1, kWindow,
         {{0, 10 * kDay, 5, 0}}, {{Kind::kStored, 0, 10 * kDay - 1}, {Kind::kLive, 10 * kDay, 10 * kDay}}},
        {"the settle boundary to the second", 0, 99, 49, 100, {}, {{Kind::kFill, 0, 49}, {Kind::kLive, 50, 99}}},
        {"nothing settled", 100, 199, 50, kWindow, {{0, 500, 1, 0}}, {{Kind::kLive, 100, 199}}},
        {"all settled and stored", 10, 20, 1000, kWindow, {{0, 500, 1, 0}}, {{Kind::kStored, 10, 20}}},
        {"covered and uncovered parts, adjacent windows joined", 0, 999, 10000, kWindow,
         {{100, 199, 1, 0}, {200, 299, 1, 0}, {600, 699, 1, 0}},
         {{Kind::kFill, 0, 99}, {Kind::kStored, 100, 299}, {Kind::kFill, 300, 599}, {Kind::kStored, 600, 699},
          {Kind::kFill, 700, 999}}},
        {"stored pieces no longer than a window", 0, 2 * kWindow + 5, 10 * kWindow, kWindow, {{0, 3 * kWindow, 1, 0}},
         {{Kind::kStored, 0, kWindow - 1}, {Kind::kStored, kWindow, 2 * kWindow - 1},
          {Kind::kStored, 2 * kWindow, 2 * kWindow + 5}}},
        {"overlapping stored windows, unsorted", 0, 50, 100, kWindow, {{20, 50, 1, 0}, {0, 30, 1, 0}},
         {{Kind::kStored, 0, 50}}},
        {"an empty range", 10, 9, 100, kWindow, {}, {}},
        {"fill windows of 100 seconds", 0, 250, 120, 100, {},
         {{Kind::kFill, 0, 99}, {Kind::kFill, 100, 120}, {Kind::kLive, 121, 220}, {Kind::kLive, 221, 250}}},
    };
    for (const auto &c : kCases) {
        const auto got = history_plan(c.low, c.high, c.cutoff, c.window, c.stored);
        EXPECT_EQ(plan_text(got), plan_text(c.want)) << c.what;
    }
}

TEST(HistoryPlan, CutoffIsTheLastMidnightAtLeastTheSettleTimeAgo) {
    const struct {
        int64_t now, settle, want;
    } kCases[] = {
        {10 * kDay + 5, 72 * 3600, 7 * kDay - 1},
        {10 * kDay, 72 * 3600, 7 * kDay - 1},
        {10 * kDay - 1, 72 * 3600, 6 * kDay - 1},
        {10 * kDay + 3600, 0, 10 * kDay - 1},
        {kDay / 2, 72 * 3600, -3 * kDay - 1},
    };
    for (const auto &c : kCases) EXPECT_EQ(history_cutoff(c.now, c.settle), c.want) << c.now << " " << c.settle;
}

std::string detail(const char *id, const char *event, const char *status, const char *currency, const char *value,
                   const char *date = "2025-03-01T10:00:00+0000") {
    return std::string("{\"transaction_info\":{\"transaction_id\":\"") + id + "\",\"transaction_event_code\":\"" +
           event + "\",\"transaction_initiation_date\":\"" + date + "\",\"transaction_amount\":{\"currency_code\":\"" +
           currency + "\",\"value\":\"" + value + "\"},\"transaction_status\":\"" + status + "\"}}";
}

TEST(HistoryRows, FiltersHoldForStoredDetailsAsForTheSearch) {
    const std::string usd = detail("ID1", "T0006", "S", "USD", "12.34");
    const std::string jpy = detail("ID2", "T0007", "P", "JPY", "2500");
    const std::string neg = detail("ID3", "T1107", "S", "EUR", "-7.899");
    const struct {
        std::vector<std::pair<const char *, const char *>> params;
        const std::string &body;
        bool want;
    } kCases[] = {
        {{}, usd, true},
        {{{"transaction_id", "ID1"}}, usd, true},
        {{{"transaction_id", "id1"}}, usd, false},  // the search compares ids exactly
        {{{"transaction_type", "T0006"}, {"transaction_status", "S"}}, usd, true},
        {{{"transaction_type", "T0006"}, {"transaction_status", "P"}}, usd, false},
        {{{"transaction_currency", "USD"}}, usd, true},
        {{{"transaction_currency", "USD"}}, jpy, false},
        {{{"transaction_amount", "1234 TO 1234"}}, usd, true},  // minor units, both bounds inclusive
        {{{"transaction_amount", "1235 TO 9999"}}, usd, false},
        {{{"transaction_amount", "[0 TO 1233]"}}, usd, false},
        {{{"transaction_amount", "2500 TO 2500"}}, jpy, true},  // yen have no minor unit
        {{{"transaction_amount", "-789 TO -789"}}, neg, true},  // digits past the cent are dropped
        {{{"transaction_amount", "-790 TO -790"}}, neg, false},
    };
    for (const auto &c : kCases) {
        HistoryFilter f;
        for (const auto &[name, value] : c.params) ASSERT_TRUE(history_filter_add(f, name, value)) << name;
        HistoryFields fields;
        ASSERT_TRUE(history_detail_fields(c.body, &fields));
        EXPECT_EQ(history_filter_match(f, fields), c.want) << c.body << " " << (c.params.empty() ? "" : c.params[0].second);
    }
    HistoryFilter f;
    EXPECT_FALSE(history_filter_add(f, "transaction_amount", "12 to 13"));  // the search's own syntax only
    EXPECT_FALSE(history_filter_add(f, "store_id", "S1"));                  // not applicable: PayPal is asked
    HistoryFields fields;
    EXPECT_FALSE(history_detail_fields("[1]", &fields));
    EXPECT_FALSE(history_detail_fields("{\"transaction_info\":", &fields));
    ASSERT_TRUE(history_detail_fields(detail("X", "T", "S", "USD", "1", "2025-03-01T12:00:00-0200"), &fields));
    EXPECT_TRUE(fields.has_time);
    EXPECT_EQ(fields.time, 1740787200 + 14 * 3600);  // 2025-03-01T14:00:00Z
    ASSERT_TRUE(history_detail_fields(detail("X", "T", "S", "USD", "1", "yesterday"), &fields));
    EXPECT_FALSE(fields.has_time);
}

TEST(HistoryRows, MinorUnitsAndReplySplitting) {
    const struct {
        const char *value, *currency;
        bool ok;
        int64_t want;
    } kUnits[] = {{"0.01", "USD", true, 1},      {"10", "USD", true, 1000},   {"10.5", "EUR", true, 1050},
                  {"-0.99", "GBP", true, -99},   {"1999", "HUF", true, 1999}, {"12.999", "USD", true, 1299},
                  {"", "USD", false, 0},         {"1.", "USD", false, 0},     {"1e3", "USD", false, 0},
                  {"--1", "USD", false, 0}};
    for (const auto &u : kUnits) {
        int64_t got = 0;
        EXPECT_EQ(history_minor_units(u.value, u.currency, &got), u.ok) << u.value;
        if (u.ok) {
            EXPECT_EQ(got, u.want) << u.value;
        }
    }
    const struct {
        const char *reply;
        bool ok;
        std::vector<std::string> want;
    } kReplies[] = {
        {R"({"transaction_details":[],"page":1})", true, {}},
        {R"({"page":1})", true, {}},
        {R"({"total_pages":1, "transaction_details" : [ {"a":"}]{\"" , "b":[1,{}]} ,{"c":{}}]})", true,
         {R"({"a":"}]{\"" , "b":[1,{}]})", R"({"c":{}})"}},
        {R"({"transaction_details":[1,2]})", false, {}},
        {R"({"transaction_details":{"a":1}})", false, {}},
        {R"({"transaction_details":[{"a":1})", false, {}},
        {R"([{"a":1}])", false, {}},
    };
    for (const auto &r : kReplies) {
        std::string text = r.reply, error;
        std::vector<std::string> got;
        EXPECT_EQ(history_split_details(text, got, error), r.ok) << r.reply;
        EXPECT_EQ(got, r.want) << r.reply;
        if (r.ok) {
            // The page the store hands on holds the same details again.
            std::string page = history_page_text(got, 0, got.size()), again_error;
            std::vector<std::string> again;
            EXPECT_TRUE(history_split_details(page, again, again_error));
            EXPECT_EQ(again, got);
        }
    }
}

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/cvhistXXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { (void)std::system(("rm -rf '" + path + "'").c_str()); }
};

std::vector<HistoryDetail> details_for(int64_t start, int n) {
    std::vector<HistoryDetail> out;
    for (int i = 0; i < n; ++i)
        out.push_back({start + i, detail(("ID" + std::to_string(start + i)).c_str(), "T0006", "S", "USD", "1.00")});
    return out;
}

TEST(HistoryStore, OpensOnlyFilesOfOursNobodyElseCanRead) {
    TempDir dir;
    const std::string fresh = dir.path + "/fresh.db";
    std::string error;
    ASSERT_TRUE(history_store_open(fresh, error)) << error;
    struct stat st {};
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    const struct {
        const char *what;
        mode_t mode;  // 0: a directory; 1: a link to the fresh file; 2: another user's 0600 file
        const char *says;
    } kRefused[] = {
        {"another user's", 2, "belongs to another user"},
        {"group-readable", 0640, "mode 0640"},
        {"world-readable", 0644, "mode 0644"},
        {"group-writable", 0620, "mode 0620"},
        {"a directory", 0, "not a regular file"},
        {"a link", 1, "not a regular file"},
    };
    for (const auto &r : kRefused) {
        const std::string path = dir.path + "/" + r.what;
        if (r.mode == 0) ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        else if (r.mode == 1) ASSERT_EQ(symlink(fresh.c_str(), path.c_str()), 0);
        else if (r.mode == 2) {
            ASSERT_TRUE(history_store_open(path, error)) << error;
            // Only the superuser can give a file away; others skip the case.
            if (chown(path.c_str(), geteuid() == 0 ? 65534 : geteuid(), static_cast<gid_t>(-1)) != 0 || geteuid() != 0)
                continue;
        } else {
            ASSERT_TRUE(history_store_open(path, error)) << error;
            ASSERT_EQ(chmod(path.c_str(), r.mode), 0);
        }
        error.clear();
        EXPECT_FALSE(history_store_open(path, error)) << r.what;
        EXPECT_NE(error.find(r.says), std::string::npos) << r.what << ": " << error;
    }
    // Not SQLite at all, or damaged: refused or found, never read as empty.
    const std::string junk = dir.path + "/junk.db";
    FILE *f = fopen(junk.c_str(), "w");
    ASSERT_TRUE(f);
    for (int i = 0; i < 4096; ++i) fputc('x', f);
    fclose(f);
    ASSERT_EQ(chmod(junk.c_str(), 0600), 0);
    EXPECT_FALSE(history_store_open(junk, error));
}

TEST(HistoryStore, WindowsRoundTripAndDamageIsFound) {
    TempDir dir;
    const std::string path = dir.path + "/h.db";
    std::string error;
    HistoryStorePtr store = history_store_open(path, error);
    ASSERT_TRUE(store) << error;
    int64_t set = 0, other = 0, absent = -1;
    ASSERT_TRUE(history_store_set(store.get(), {"client", "https://x", "N"}, true, &set, error));
    ASSERT_TRUE(history_store_set(store.get(), {"client", "https://x", "Y"}, true, &other, error));
    ASSERT_TRUE(history_store_set(store.get(), {"client", "https://y", "N"}, false, &absent, error));
    EXPECT_NE(set, other);
    EXPECT_EQ(absent, 0);
    ASSERT_TRUE(history_store_put(store.get(), set, 1000, 1999, 7, details_for(1000, 30), error)) << error;
    ASSERT_TRUE(history_store_put(store.get(), set, 0, 999, 7, details_for(500, 3), error)) << error;
    // A window overlapping a stored one (another process got there first) is left.
    ASSERT_TRUE(history_store_put(store.get(), set, 1500, 2500, 7, details_for(1500, 5), error)) << error;
    std::vector<HistoryWindow> windows;
    ASSERT_TRUE(history_store_windows(store.get(), set, windows, error)) << error;
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].start, 0);
    EXPECT_EQ(windows[1].rows, 30);
    std::vector<HistoryDetail> read;
    ASSERT_TRUE(history_store_read(store.get(), set, 501, 1004, read, error));
    ASSERT_EQ(read.size(), 7u);
    EXPECT_EQ(read.front().time, 501);
    EXPECT_EQ(read.back().body, details_for(1004, 1)[0].body);
    ASSERT_TRUE(history_store_read(store.get(), other, 0, 5000, read, error));
    EXPECT_TRUE(read.empty());
    std::vector<HistoryListRow> listed;
    ASSERT_TRUE(history_store_list(store.get(), listed, error));
    EXPECT_EQ(listed.size(), 2u);
    store.reset();
    // A detail lost (a damaged file): the window no longer adds up.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DELETE FROM details WHERE time = 1010", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    store = history_store_open(path, error);
    ASSERT_TRUE(store);
    EXPECT_FALSE(history_store_windows(store.get(), set, windows, error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
}

// Writes windows [k * 100, k * 100 + 99] for k in [first, first + count).
void write_windows(const std::string &path, int first, int count) {
    std::string error;
    HistoryStorePtr store = history_store_open(path, error);
    int64_t set = 0;
    if (!store || !history_store_set(store.get(), {"c", "u", "N"}, true, &set, error)) _exit(2);
    for (int k = first; k < first + count; ++k)
        if (!history_store_put(store.get(), set, k * 100, k * 100 + 99, 1, details_for(k * 100, 60), error)) _exit(3);
    _exit(0);
}

TEST(HistoryStore, TwoWritersAtOnceAWriterKilledHalfWayAndAFullDisk) {
    TempDir dir;
    const std::string path = dir.path + "/shared.db";
    std::string error;
    ASSERT_TRUE(history_store_open(path, error)) << error;
    // Two processes writing at once, half their windows the same.
    pid_t a = fork();
    if (a == 0) write_windows(path, 0, 60);
    pid_t b = fork();
    if (b == 0) write_windows(path, 30, 60);
    int status = 0;
    ASSERT_EQ(waitpid(a, &status, 0), a);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_EQ(waitpid(b, &status, 0), b);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    HistoryStorePtr store = history_store_open(path, error);
    ASSERT_TRUE(store);
    int64_t set = 0;
    std::vector<HistoryWindow> windows;
    ASSERT_TRUE(history_store_set(store.get(), {"c", "u", "N"}, false, &set, error));
    ASSERT_TRUE(history_store_windows(store.get(), set, windows, error)) << error;
    EXPECT_EQ(windows.size(), 90u);
    std::vector<HistoryDetail> read;
    ASSERT_TRUE(history_store_read(store.get(), set, 0, 1000000, read, error));
    EXPECT_EQ(read.size(), 90u * 60u);
    // Killed while writing: every window there is whole.
    pid_t c = fork();
    if (c == 0) write_windows(path, 1000, 100000);
    usleep(300000);
    kill(c, SIGKILL);
    ASSERT_EQ(waitpid(c, &status, 0), c);
    store = history_store_open(path, error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(history_store_windows(store.get(), set, windows, error)) << error;
    EXPECT_GT(windows.size(), 90u);
    for (const HistoryWindow &w : windows) EXPECT_EQ(w.rows, 60) << w.start;
    // A full disk (the file may not grow): the write fails as a whole.
    const size_t before = windows.size();
    store.reset();
    pid_t d = fork();
    if (d == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) _exit(4);
        const rlimit limit{static_cast<rlim_t>(st.st_size), static_cast<rlim_t>(st.st_size)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(4);
        std::string e;
        HistoryStorePtr full = history_store_open(path, e);
        int64_t id = 0;
        if (!full || !history_store_set(full.get(), {"c", "u", "N"}, false, &id, e)) _exit(5);
        // More details (of 150 bytes and more) than the file's size in
        // hundreds: they cannot fit in a WAL no larger than the file.
        const int n = static_cast<int>(st.st_size / 100) + 1000;
        _exit(history_store_put(full.get(), id, -10000000, -1, 1, details_for(-10000000, n), e) ? 6 : 0);
    }
    ASSERT_EQ(waitpid(d, &status, 0), d);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    store = history_store_open(path, error);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(history_store_windows(store.get(), set, windows, error)) << error;
    EXPECT_EQ(windows.size(), before);
    ASSERT_TRUE(history_store_read(store.get(), set, -10000000, -1, read, error));
    EXPECT_TRUE(read.empty());
}

}  // namespace
