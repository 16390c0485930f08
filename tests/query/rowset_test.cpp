// Rowsets over a table source: golden transcripts of block fetches in every
// orientation (rows delivered, status arrays, rows fetched, return codes),
// bookmarks, the work file appearing only past the record cache, long values
// read back from the file, vanished keyset rows, and SQLSetPos refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "query/rowset.h"
#include "support/diag.h"
#include "support/long_buffer.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

// A table of `rows` rows: (id INTEGER, name CHAR, note LONG VARCHAR).
struct Table {
    CvPool *pool = nullptr;
    int rows = 0;
    int position = 0;       // rows handed out
    int next_calls = 0;     // next_row calls (to prove reads come from the file)
    std::string long_note;  // the note of row 3 (other rows have short notes)
    std::vector<int> vanished;
    Value *values[4] = {};

    static int next(void *arg) {
        auto *t = static_cast<Table *>(arg);
        t->next_calls++;
        if (t->position >= t->rows) return 100;
        t->position++;
        t->fill(t->position);
        return 0;
    }
    static Value *column(void *arg, int c) { return static_cast<Table *>(arg)->values[c]; }
    std::vector<int> renamed;  // rows whose name changed since they were produced
    Value *renamed_value = nullptr;
    // The row is found by its identity (its id, kept after the columns).
    static int refetch(void *arg, int64_t row, Value **values) {
        auto *t = static_cast<Table *>(arg);
        EXPECT_EQ(values[4]->data.i, row) << "the identity kept with the row";
        for (int v : t->vanished)
            if (v == row) return 100;
        for (int v : t->renamed)
            if (v == row) {
                std::string name = "row " + std::to_string(row) + " renamed";
                t->renamed_value = NewValue(t->pool, static_cast<int32_t>(name.size()));
                EXPECT_EQ(set_value_text(t->renamed_value, name.data(), name.size()), 0);
                values[2] = t->renamed_value;
            }
        return 0;
    }
    static Value *identity(void *arg, int k) {
        EXPECT_EQ(k, 1);
        return static_cast<Table *>(arg)->values[1];
    }
    static int remove(void *, int64_t, Value *const *) { return 0; }
    std::vector<int64_t> added;    // buffer entries insert_row was given
    std::vector<int64_t> failing;  // the entries whose insert or update fails (posting to diag)
    ErrorHeader *diag = nullptr;
    bool fails(int64_t index) const {
        for (int64_t f : failing)
            if (f == index) return true;
        return false;
    }
    // An update renames the row after its block entry ("changed 0", ...).
    static int update(void *arg, int64_t, int64_t index, Value **values, CvPool *pool) {
        auto *t = static_cast<Table *>(arg);
        if (t->fails(index)) return post_error(t->diag, "HY000", "entry %d refused", static_cast<int>(index));
        std::string name = "changed " + std::to_string(index);
        Value *v = NewValue(pool, static_cast<int32_t>(name.size()));
        if (!v || set_value_text(v, name.data(), name.size()) != 0) return -1;
        values[2] = v;
        return 0;
    }
    static int insert(void *arg, int64_t index) {
        auto *t = static_cast<Table *>(arg);
        if (t->fails(index)) return post_error(t->diag, "HY000", "entry %d refused", static_cast<int>(index));
        t->added.push_back(index);
        return 0;
    }

    void fill(int n) {
        values[1] = new_value_of_type(pool, VT_INTEGER);
        values[1]->data.i = n;
        std::string name = "row " + std::to_string(n);
        values[2] = NewValue(pool, static_cast<int32_t>(name.size()));
        EXPECT_EQ(set_value_text(values[2], name.data(), name.size()), 0);
        values[3] = new_value_of_type(pool, VT_LONG_CHAR);
        values[3]->long_buffer = allocate_long_buffer(pool, 0, SQL_LONGVARCHAR);
        std::string note = n == 3 ? long_note : "note " + std::to_string(n);
        EXPECT_EQ(append_to_long_buffer(values[3]->long_buffer, note.data(), note.size()), 0);
    }
    RowSource source(bool keyset = false) {
        RowSource s{};
        s.arg = this;
        s.column_count = 3;
        s.next_row = next;
        s.column_value = column;
        s.update_row = update;
        s.insert_row = insert;
        if (keyset) {
            s.refetch = refetch;
            s.identity_count = 1;
            s.identity_value = identity;
            s.delete_row = remove;
        }
        return s;
    }
};

struct RowsetTest : ::testing::Test {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ErrorHeader *diag = CreateErrorHeader(pool, nullptr);
    Table table = make_table();
    Table make_table() {
        Table t;
        t.pool = cv_mem_alloc_handle(pool);
        t.rows = 5;
        return t;
    }
    Rowset *rs = nullptr;
    std::vector<int64_t> delivered;  // row numbers delivered by the last fetch
    std::deque<std::vector<SQLUSMALLINT>> status_arrays;
    ~RowsetTest() override {
        rowset_close(rs);
        cv_mem_release_handle(pool);
    }

    void open(RowsetMode mode, int cache = 0, int64_t limit = 0) {
        RowsetOptions o{};
        o.mode = mode;
        o.cache_records = cache;
        o.row_limit = limit;
        static const int32_t kInline[3] = {0, 16, 0};
        o.inline_sizes = kInline;
        RowSource src = table.source(mode == RowsetMode::kKeyset);
        rs = rowset_open(pool, diag, &src, &o);
        ASSERT_NE(rs, nullptr);
    }

    static int deliver(void *arg, int64_t, int64_t row, Value *const *values) {
        auto *self = static_cast<RowsetTest *>(arg);
        // The delivered values are the row's own: id equals the row number.
        EXPECT_EQ(values[1]->data.i, row);
        EXPECT_EQ(values[0]->data.i, row) << "bookmark of the row";
        self->delivered.push_back(row);
        return 0;
    }

    // One fetch as a transcript line: "NAME rc rows=[..] status=[..] fetched=n".
    std::string fetch(const char *name, int orientation, int64_t offset = 0, int64_t size = 2, int64_t bookmark = 0) {
        delivered.clear();
        SetupErrorHeader(diag, 0);
        // The status array outlives the call, as an application's does (SQLSetPos writes it).
        std::vector<SQLUSMALLINT> &status = status_arrays.emplace_back(static_cast<size_t>(size), 99);
        SQLULEN fetched = 77;
        FetchRequest rq{};
        rq.orientation = orientation;
        rq.offset = offset;
        rq.bookmark = bookmark;
        rq.has_bookmark = 1;
        rq.use_bookmarks = 1;
        rq.array_size = size;
        rq.status = status.data();
        rq.rows_fetched = &fetched;
        rq.deliver = deliver;
        rq.deliver_arg = this;
        int rc = rowset_fetch(rs, &rq);
        std::string line = std::string(name) + " " + std::to_string(rc);
        if (rc < 0) return line + " " + diag_sqlstate(diag, 1);
        line += " rows=[";
        for (size_t i = 0; i < delivered.size(); i++) line += (i ? "," : "") + std::to_string(delivered[i]);
        line += "] status=[";
        for (size_t i = 0; i < status.size(); i++) line += (i ? "," : "") + std::to_string(status[i]);
        line += "] fetched=" + std::to_string(fetched) + " current=" + std::to_string(rowset_row_number(rs));
        if (diag_count(diag) > 0) line += std::string(" ") + diag_sqlstate(diag, 1);  // a warning
        return line;
    }
    std::string script(std::initializer_list<std::string> lines) {
        std::string out;
        for (const std::string &l : lines) out += l + "\n";
        return out;
    }
};

TEST_F(RowsetTest, StaticNextBlocksThenNoDataForever) {
    open(RowsetMode::kStatic);
    EXPECT_EQ(script({fetch("NEXT", SQL_FETCH_NEXT), fetch("NEXT", SQL_FETCH_NEXT), fetch("NEXT", SQL_FETCH_NEXT),
                      fetch("NEXT", SQL_FETCH_NEXT), fetch("NEXT", SQL_FETCH_NEXT)}),
              "NEXT 0 rows=[1,2] status=[0,0] fetched=2 current=1\n"
              "NEXT 0 rows=[3,4] status=[0,0] fetched=2 current=3\n"
              "NEXT 0 rows=[5] status=[0,3] fetched=1 current=5\n"
              "NEXT 100 rows=[] status=[3,3] fetched=0 current=0\n"
              "NEXT 100 rows=[] status=[3,3] fetched=0 current=0\n");
}

// SQLFetchScroll's cursor positioning rules, one row of the rules per case:
// a static cursor over `rows` rows is placed by the `before` fetches, then
// the fetch under test gives the transcript line `want` (rc, rows
// delivered, status array, rows fetched, current row, and the SQLSTATE of a
// warning). 100 with no rows is "before the start" or "after the end"; the
// case after it shows which.
struct Move {
    int orientation;
    int64_t offset;
};
struct ScrollCase {
    const char *rule;
    int rows;
    int64_t size;               // rowset size of every fetch of the case
    std::vector<Move> before;   // fetches that place the cursor
    Move move;                  // the fetch under test
    const char *want;
};
constexpr int kNext = SQL_FETCH_NEXT, kPrior = SQL_FETCH_PRIOR, kFirst = SQL_FETCH_FIRST, kLast = SQL_FETCH_LAST,
              kAbs = SQL_FETCH_ABSOLUTE, kRel = SQL_FETCH_RELATIVE;
const char *const kNoRows = "100 rows=[] status=[3,3] fetched=0 current=0";
const char *const kFirstTen = "1 rows=[1,2,3,4,5] status=[0,0,0,0,0,3,3,3,3,3] fetched=5 current=1 01S06";
// clang-format off
const ScrollCase kScrollCases[] = {
    {"NEXT: before start -> 1", 5, 2, {}, {kNext, 0}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"NEXT: before start (ABSOLUTE 0) -> 1", 5, 2, {{kAbs, 0}}, {kNext, 0}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"NEXT: start + size <= last -> start + size", 5, 2, {{kNext, 0}}, {kNext, 0}, "0 rows=[3,4] status=[0,0] fetched=2 current=3"},
    {"NEXT: start + size = last", 5, 2, {{kAbs, 3}}, {kNext, 0}, "0 rows=[5] status=[0,3] fetched=1 current=5"},
    {"NEXT: start + size > last -> after end", 5, 2, {{kAbs, 4}}, {kNext, 0}, kNoRows},
    {"NEXT: after end -> after end", 5, 2, {{kAbs, 9}}, {kNext, 0}, kNoRows},
    {"PRIOR: before any fetch -> before start", 5, 2, {}, {kPrior, 0}, kNoRows},
    {"PRIOR: before start -> before start", 5, 2, {{kAbs, 0}}, {kPrior, 0}, kNoRows},
    {"PRIOR: start = 1 -> before start", 5, 2, {{kFirst, 0}}, {kPrior, 0}, kNoRows},
    {"PRIOR: start = 1, then NEXT -> 1", 5, 2, {{kFirst, 0}, {kPrior, 0}}, {kNext, 0}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"PRIOR: 1 < start <= size -> 1, 01S06", 5, 2, {{kAbs, 2}}, {kPrior, 0}, "1 rows=[1,2] status=[0,0] fetched=2 current=1 01S06"},
    {"PRIOR: start > size -> start - size", 5, 2, {{kAbs, 4}}, {kPrior, 0}, "0 rows=[2,3] status=[0,0] fetched=2 current=2"},
    {"PRIOR: start > size, to row 1", 5, 2, {{kAbs, 3}}, {kPrior, 0}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"PRIOR: after end, last < size -> 1, 01S06", 5, 10, {{kAbs, 9}}, {kPrior, 0}, kFirstTen},
    {"PRIOR: after end, last >= size -> last - size + 1", 5, 2, {{kAbs, 9}}, {kPrior, 0}, "0 rows=[4,5] status=[0,0] fetched=2 current=4"},
    {"PRIOR: after end, no rows at all", 0, 2, {{kNext, 0}}, {kPrior, 0}, kNoRows},
    {"RELATIVE: before start, offset > 0 -> as ABSOLUTE", 5, 2, {{kAbs, 0}}, {kRel, 3}, "0 rows=[3,4] status=[0,0] fetched=2 current=3"},
    {"RELATIVE: before any fetch, offset > 0 -> as ABSOLUTE", 5, 2, {}, {kRel, 1}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"RELATIVE: after end, offset < 0 -> as ABSOLUTE", 5, 2, {{kAbs, 9}}, {kRel, -2}, "0 rows=[4,5] status=[0,0] fetched=2 current=4"},
    {"RELATIVE: after end, offset < 0 past row 1 within a rowset", 5, 10, {{kAbs, 9}}, {kRel, -7}, kFirstTen},
    {"RELATIVE: after end, offset < 0 past row 1 beyond a rowset", 5, 2, {{kAbs, 9}}, {kRel, -7}, kNoRows},
    {"RELATIVE: before start, offset <= 0 -> before start", 5, 2, {{kAbs, 0}}, {kRel, -1}, kNoRows},
    {"RELATIVE: before any fetch, offset 0 -> before start", 5, 2, {}, {kRel, 0}, kNoRows},
    {"RELATIVE: start = 1, offset < 0 -> before start", 5, 2, {{kFirst, 0}}, {kRel, -1}, kNoRows},
    {"RELATIVE: start > 1, start + offset < 1, |offset| > size -> before start", 5, 2, {{kAbs, 3}}, {kRel, -3}, kNoRows},
    {"RELATIVE: start > 1, start + offset < 1, |offset| <= size -> 1, 01S06", 5, 2, {{kAbs, 2}}, {kRel, -2}, "1 rows=[1,2] status=[0,0] fetched=2 current=1 01S06"},
    {"RELATIVE: 1 <= start + offset <= last, back", 5, 2, {{kAbs, 4}}, {kRel, -3}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"RELATIVE: 1 <= start + offset <= last, on", 5, 2, {{kAbs, 2}}, {kRel, 2}, "0 rows=[4,5] status=[0,0] fetched=2 current=4"},
    {"RELATIVE: offset 0 refreshes the rowset", 5, 3, {{kAbs, 4}}, {kRel, 0}, "0 rows=[4,5] status=[0,0,3] fetched=2 current=4"},
    {"RELATIVE: start + offset > last -> after end", 5, 2, {{kFirst, 0}}, {kRel, 5}, kNoRows},
    {"RELATIVE: start + offset > last, then PRIOR", 5, 2, {{kFirst, 0}, {kRel, 5}}, {kPrior, 0}, "0 rows=[4,5] status=[0,0] fetched=2 current=4"},
    {"RELATIVE: after end, offset >= 0 -> after end", 5, 2, {{kAbs, 9}}, {kRel, 0}, kNoRows},
    {"RELATIVE: an offset that overflows -> after end", 5, 2, {{kAbs, 3}}, {kRel, INT64_MAX}, kNoRows},
    {"ABSOLUTE: offset < 0, |offset| <= last -> last + offset + 1", 5, 2, {}, {kAbs, -1}, "0 rows=[5] status=[0,3] fetched=1 current=5"},
    {"ABSOLUTE: offset = -last -> 1", 5, 2, {{kAbs, 4}}, {kAbs, -5}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"ABSOLUTE: offset < 0, |offset| > last, |offset| > size -> before start", 5, 2, {{kAbs, 4}}, {kAbs, -9}, kNoRows},
    {"ABSOLUTE: offset < 0, |offset| > last, |offset| > size, then NEXT", 5, 2, {{kAbs, 4}, {kAbs, -9}}, {kNext, 0}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"ABSOLUTE: offset < 0, |offset| > last, |offset| <= size -> 1, 01S06", 5, 10, {}, {kAbs, -7}, kFirstTen},
    {"ABSOLUTE: the most negative offset -> before start", 5, 2, {}, {kAbs, INT64_MIN}, kNoRows},
    {"ABSOLUTE: offset < 0 with no rows", 0, 2, {}, {kAbs, -1}, kNoRows},
    {"ABSOLUTE: offset = 0 -> before start", 5, 2, {{kFirst, 0}}, {kAbs, 0}, kNoRows},
    {"ABSOLUTE: 1 <= offset <= last -> offset", 5, 2, {}, {kAbs, 4}, "0 rows=[4,5] status=[0,0] fetched=2 current=4"},
    {"ABSOLUTE: offset > last -> after end", 5, 2, {}, {kAbs, 9}, kNoRows},
    {"ABSOLUTE: offset > last, then PRIOR", 5, 2, {{kAbs, 9}}, {kPrior, 0}, "0 rows=[4,5] status=[0,0] fetched=2 current=4"},
    {"FIRST -> 1", 5, 2, {{kLast, 0}}, {kFirst, 0}, "0 rows=[1,2] status=[0,0] fetched=2 current=1"},
    {"LAST: size <= last -> last - size + 1", 5, 2, {}, {kLast, 0}, "0 rows=[4,5] status=[0,0] fetched=2 current=4"},
    {"LAST: size > last -> 1", 5, 10, {}, {kLast, 0}, "0 rows=[1,2,3,4,5] status=[0,0,0,0,0,3,3,3,3,3] fetched=5 current=1"},
    {"an unknown orientation", 5, 2, {}, {99, 0}, "-1 HY106"},
};
// clang-format on

TEST_F(RowsetTest, StaticCursorPositioningRules) {
    for (const ScrollCase &c : kScrollCases) {
        rowset_close(rs);
        table.rows = c.rows;
        table.position = 0;
        table.next_calls = 0;
        open(RowsetMode::kStatic);
        for (const Move &m : c.before) (void)fetch("", m.orientation, m.offset, c.size);
        std::string got = fetch("", c.move.orientation, c.move.offset, c.size);
        EXPECT_EQ(got.substr(1), c.want) << c.rule;
        // Scrolling reads every row from the source once; the rest comes from the work file.
        EXPECT_LE(table.next_calls, c.rows + 1) << c.rule;
    }
}

TEST_F(RowsetTest, ForwardOnlyStoresNothingAndRefusesScrolling) {
    open(RowsetMode::kForwardOnly);
    EXPECT_EQ(script({fetch("NEXT x3", SQL_FETCH_NEXT, 0, 3), fetch("PRIOR", SQL_FETCH_PRIOR),
                      fetch("NEXT x3", SQL_FETCH_NEXT, 0, 3), fetch("NEXT", SQL_FETCH_NEXT)}),
              "NEXT x3 0 rows=[1,2,3] status=[0,0,0] fetched=3 current=3\n"
              "PRIOR -1 HY106\n"
              "NEXT x3 0 rows=[4,5] status=[0,0,3] fetched=2 current=5\n"
              "NEXT 100 rows=[] status=[3,3] fetched=0 current=0\n");
    EXPECT_FALSE(rowset_on_disk(rs));
}

TEST_F(RowsetTest, RowLimitEndsTheResult) {
    open(RowsetMode::kStatic, 0, 3);
    EXPECT_EQ(script({fetch("NEXT", SQL_FETCH_NEXT), fetch("NEXT", SQL_FETCH_NEXT), fetch("LAST", SQL_FETCH_LAST)}),
              "NEXT 0 rows=[1,2] status=[0,0] fetched=2 current=1\n"
              "NEXT 0 rows=[3] status=[0,3] fetched=1 current=3\n"
              "LAST 0 rows=[2,3] status=[0,0] fetched=2 current=2\n");
}

TEST_F(RowsetTest, BookmarksAreRowNumbers) {
    open(RowsetMode::kStatic);
    (void)fetch("ABSOLUTE 3", SQL_FETCH_ABSOLUTE, 3, 1);
    Value *bm = rowset_value(rs, 0);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->data.i, 3);
    (void)fetch("LAST", SQL_FETCH_LAST, 0, 1);
    (void)fetch("ABSOLUTE 3", SQL_FETCH_ABSOLUTE, 3, 1);
    EXPECT_EQ(rowset_value(rs, 0)->data.i, 3) << "read back from the work file";
    EXPECT_EQ(script({fetch("BOOKMARK 3+0", SQL_FETCH_BOOKMARK, 0, 2, 3),
                      fetch("BOOKMARK 3-3", SQL_FETCH_BOOKMARK, -3, 2, 3),
                      fetch("BOOKMARK 3+1", SQL_FETCH_BOOKMARK, 1, 2, 3),
                      fetch("BOOKMARK 0", SQL_FETCH_BOOKMARK, 0, 2, 0),
                      fetch("BOOKMARK 6", SQL_FETCH_BOOKMARK, 0, 2, 6)}),
              "BOOKMARK 3+0 0 rows=[3,4] status=[0,0] fetched=2 current=3\n"
              "BOOKMARK 3-3 100 rows=[] status=[3,3] fetched=0 current=0\n"
              "BOOKMARK 3+1 0 rows=[4,5] status=[0,0] fetched=2 current=4\n"
              "BOOKMARK 0 -1 HY111\n"
              "BOOKMARK 6 -1 HY111\n");
}

TEST_F(RowsetTest, WorkFileOnlyPastTheRecordCache) {
    table.rows = 40;
    open(RowsetMode::kStatic, 30);
    (void)fetch("ABSOLUTE 30", SQL_FETCH_ABSOLUTE, 30, 1);
    EXPECT_EQ(rowset_rows_stored(rs), 30);
    EXPECT_FALSE(rowset_on_disk(rs));
    (void)fetch("NEXT", SQL_FETCH_NEXT, 0, 1);
    EXPECT_EQ(rowset_rows_stored(rs), 31);
    EXPECT_TRUE(rowset_on_disk(rs));
    // Rows that left the cache come back intact.
    EXPECT_EQ(fetch("FIRST", SQL_FETCH_FIRST, 0, 1), "FIRST 0 rows=[1] status=[0] fetched=1 current=1");
    Value *name = rowset_value(rs, 2);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name->data.s, static_cast<size_t>(name->length)), "row 1");
}

TEST_F(RowsetTest, LongValuesAreKeptWholeInTheWorkFile) {
    table.long_note.assign(100000, 'x');
    table.long_note += "end";
    table.rows = 8;
    open(RowsetMode::kStatic, 2);
    (void)fetch("LAST", SQL_FETCH_LAST, 0, 1);
    ASSERT_TRUE(rowset_on_disk(rs));
    (void)fetch("ABSOLUTE 3", SQL_FETCH_ABSOLUTE, 3, 1);
    Value *note = rowset_value(rs, 3);
    ASSERT_NE(note, nullptr);
    ASSERT_EQ(note->type, VT_LONG_CHAR);
    EXPECT_EQ(std::string(long_buffer_data(note->long_buffer), long_buffer_length(note->long_buffer)),
              table.long_note);
    // A name longer than its 16 inline bytes is not cut either.
    (void)fetch("ABSOLUTE 1", SQL_FETCH_ABSOLUTE, 1, 1);
    EXPECT_EQ(rowset_value(rs, 3)->type, VT_LONG_CHAR);
}

TEST_F(RowsetTest, KeysetShowsVanishedRowsAndRefusesToChangeThem) {
    open(RowsetMode::kKeyset);
    (void)fetch("NEXT x3", SQL_FETCH_NEXT, 0, 3);
    table.vanished = {2};
    EXPECT_EQ(fetch("FIRST x3", SQL_FETCH_FIRST, 0, 3), "FIRST x3 1 rows=[1,3] status=[0,1,0] fetched=3 current=1");
    int64_t affected = 0;
    SetupErrorHeader(diag, 0);
    EXPECT_EQ(rowset_set_pos(rs, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE, &affected, nullptr), -1);
    EXPECT_STREQ(diag_sqlstate(diag, 1), "40001");
    EXPECT_EQ(rowset_set_pos(rs, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE, &affected, nullptr), 0);
    EXPECT_EQ(affected, 1);
}

TEST_F(RowsetTest, KeysetShowsStoredRowsAsTheSourceReadsThemAgain) {
    open(RowsetMode::kKeyset, 2);  // past the cache: identities come back from the file
    (void)fetch("NEXT x5", SQL_FETCH_NEXT, 0, 5);
    table.renamed = {4};
    (void)fetch("ABSOLUTE 4", SQL_FETCH_ABSOLUTE, 4, 1);
    Value *name = rowset_value(rs, 2);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name->data.s, static_cast<size_t>(name->length)), "row 4 renamed");
    // Out of range for the application: the identity is not a column.
    SetupErrorHeader(diag, 0);
    EXPECT_EQ(rowset_value(rs, 4), nullptr);
    EXPECT_STREQ(diag_sqlstate(diag, 1), "24000");
}

TEST_F(RowsetTest, SetPosChecksRowOperationAndLock) {
    open(RowsetMode::kStatic);
    (void)fetch("NEXT", SQL_FETCH_NEXT);
    struct Case {
        int64_t row;
        int operation, lock;
        const char *state;
    };
    const Case cases[] = {
        {3, SQL_POSITION, SQL_LOCK_NO_CHANGE, "HY109"},
        {-1, SQL_POSITION, SQL_LOCK_NO_CHANGE, "HY109"},
        {1, 9, SQL_LOCK_NO_CHANGE, "HY092"},
        {1, SQL_POSITION, 7, "HY092"},
        {1, SQL_DELETE, SQL_LOCK_NO_CHANGE, "HYC00"},
        {2, SQL_POSITION, SQL_LOCK_NO_CHANGE, ""},
    };
    for (const Case &c : cases) {
        SetupErrorHeader(diag, 0);
        int rc = rowset_set_pos(rs, c.row, c.operation, c.lock, nullptr, nullptr);
        EXPECT_EQ(diag_count(diag) ? diag_sqlstate(diag, 1) : "", std::string(c.state)) << c.row << " " << c.operation;
        EXPECT_EQ(rc, *c.state ? -1 : 0);
    }
    EXPECT_EQ(rowset_row_number(rs), 2);
    EXPECT_EQ(rowset_value(rs, 1)->data.i, 2);
}

// An updated row keeps its new values in the work file: scrolling away
// (past the record cache) and back shows them; a row the row operation
// array marks SQL_ROW_IGNORE is left alone.
TEST_F(RowsetTest, UpdateKeepsNewValuesAndHonoursRowOperations) {
    open(RowsetMode::kStatic, 2);
    (void)fetch("NEXT", SQL_FETCH_NEXT);
    const SQLUSMALLINT operations[2] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE};
    int64_t affected = 0;
    EXPECT_EQ(rowset_set_pos(rs, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE, &affected, operations), 0);
    EXPECT_EQ(affected, 1);
    EXPECT_EQ(status_arrays.back()[0], SQL_ROW_UPDATED);
    EXPECT_EQ(status_arrays.back()[1], SQL_ROW_SUCCESS);
    EXPECT_EQ(rowset_row_number(rs), 1);
    (void)fetch("LAST", SQL_FETCH_LAST);
    ASSERT_TRUE(rowset_on_disk(rs));
    (void)fetch("FIRST", SQL_FETCH_FIRST);
    auto name = [&](int64_t row) {
        EXPECT_EQ(rowset_set_pos(rs, row, SQL_POSITION, SQL_LOCK_NO_CHANGE, nullptr, nullptr), 0);
        Value *v = rowset_value(rs, 2);
        return v ? std::string(v->data.s, static_cast<size_t>(v->length)) : std::string("?");
    };
    EXPECT_EQ(name(1), "changed 0");
    EXPECT_EQ(name(2), "row 2");
    // Updating the second entry alone.
    EXPECT_EQ(rowset_set_pos(rs, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE, &affected, nullptr), 0);
    EXPECT_EQ(name(2), "changed 1");
    EXPECT_EQ(affected, 2);
}

// SQL_ADD takes buffer entries, ignored ones passed over, and marks each
// entry added; a failing entry is marked and the run goes on.
TEST_F(RowsetTest, AddMarksEntriesAndGoesOnPastAFailure) {
    open(RowsetMode::kForwardOnly);
    std::vector<SQLUSMALLINT> status(4, 99);
    const SQLUSMALLINT operations[4] = {SQL_ROW_PROCEED, SQL_ROW_IGNORE, SQL_ROW_PROCEED, SQL_ROW_PROCEED};
    table.failing = {2};
    table.diag = diag;
    int64_t affected = 0;
    SetupErrorHeader(diag, 0);
    EXPECT_EQ(rowset_add_rows(rs, 0, 4, operations, status.data(), &affected), 1);
    EXPECT_EQ(table.added, (std::vector<int64_t>{0, 3}));
    EXPECT_EQ(status, (std::vector<SQLUSMALLINT>{SQL_ROW_ADDED, 99, SQL_ROW_ERROR, SQL_ROW_ADDED}));
    EXPECT_EQ(affected, 2);
    // SQLSetPos SQL_ADD of one entry, before any fetch.
    EXPECT_EQ(rowset_set_pos(rs, 2, SQL_ADD, SQL_LOCK_NO_CHANGE, &affected, nullptr), 0);
    EXPECT_EQ(table.added.back(), 1);
}

// An operation over the whole block goes on past a failing row: the row's
// status is SQL_ROW_ERROR, its diagnostics (and an 01S01) name it, and the
// call succeeds with information unless every row failed.
TEST_F(RowsetTest, BlockOperationsGoOnPastFailingRows) {
    struct Case {
        int operation;
        std::vector<int64_t> failing;
        int rc;
        SQLRETURN diag_rc;
        std::vector<SQLUSMALLINT> status;
        int64_t affected;
        std::vector<SQLLEN> record_rows;  // SQL_DIAG_ROW_NUMBER of each record
    } cases[] = {
        {SQL_UPDATE, {}, 0, SQL_SUCCESS, {SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_UPDATED}, 3, {}},
        {SQL_UPDATE, {0}, 1, SQL_SUCCESS_WITH_INFO, {SQL_ROW_ERROR, SQL_ROW_UPDATED, SQL_ROW_UPDATED}, 2, {1, 1}},
        {SQL_UPDATE, {1, 2}, 1, SQL_SUCCESS_WITH_INFO, {SQL_ROW_UPDATED, SQL_ROW_ERROR, SQL_ROW_ERROR}, 1,
         {2, 2, 3, 3}},
        {SQL_UPDATE, {0, 1, 2}, -1, SQL_ERROR, {SQL_ROW_ERROR, SQL_ROW_ERROR, SQL_ROW_ERROR}, 0, {1, 1, 2, 2, 3, 3}},
        {SQL_ADD, {1}, 1, SQL_SUCCESS_WITH_INFO, {SQL_ROW_ADDED, SQL_ROW_ERROR, SQL_ROW_ADDED}, 2, {2, 2}},
        {SQL_ADD, {0, 1, 2}, -1, SQL_ERROR, {SQL_ROW_ERROR, SQL_ROW_ERROR, SQL_ROW_ERROR}, 0, {1, 1, 2, 2, 3, 3}},
    };
    open(RowsetMode::kStatic);
    table.diag = diag;
    int n = 0;
    for (const Case &k : cases) {
        SCOPED_TRACE(n++);
        (void)fetch("FIRST", SQL_FETCH_FIRST, 0, 3);
        std::vector<SQLUSMALLINT> &status = status_arrays.back();
        table.failing = k.failing;
        SetupErrorHeader(diag, 0);
        int64_t affected = 0;
        const int rc = k.operation == SQL_ADD ? rowset_add_rows(rs, 0, 3, nullptr, status.data(), &affected)
                                              : rowset_set_pos(rs, 0, k.operation, SQL_LOCK_NO_CHANGE, &affected, nullptr);
        EXPECT_EQ(rc, k.rc);
        EXPECT_EQ(diag_return_code(diag), k.diag_rc);
        EXPECT_EQ(status, k.status);
        EXPECT_EQ(affected, k.affected);
        std::vector<SQLLEN> rows;
        for (int r = 1; r <= diag_count(diag); r++) {
            SQLLEN row = 0;
            EXPECT_EQ(GetDiagField(diag, SQL_HANDLE_STMT, static_cast<SQLSMALLINT>(r), SQL_DIAG_ROW_NUMBER, &row, 0,
                                   nullptr),
                      SQL_SUCCESS);
            rows.push_back(row);
        }
        EXPECT_EQ(rows, k.record_rows);
    }
}

}  // namespace
