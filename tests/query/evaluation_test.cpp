// Evaluation rules checked one by one where SQLite cannot serve as the
// reference (its dialect differs) or where this engine mends the rule it
// was given: NULL patterns, CASE result types, the double comparisons,
// text and date arithmetic, sub-query errors.
#include <algorithm>

#include "support/long_buffer.h"
#include "support/value_ops.h"
#include "tests/query/engine_fixture.h"

namespace {

class Evaluation : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        provider.tables.push_back(memprov::generate("T1", 40, 5, true));
        provider.tables.push_back(memprov::generate("ONE", 1, 5, false));
    }
    // The single value of a one-row, one-column query.
    std::string value(const std::string &sql, const std::vector<Value *> &params = {}) {
        RunResult r = run(sql, params);
        if (r.code != 0) return "error " + r.sqlstate + " " + r.message;
        if (r.rows.size() != 1 || r.rows[0].size() != 1) return "rows " + std::to_string(r.rows.size());
        return r.rows[0][0];
    }
};

TEST_F(Evaluation, ScalarRules) {
    struct Case {
        const char *sql, *expected;
    } cases[] = {
        {"SELECT 7 / 2", "3"},
        {"SELECT -7 / 2", "-3"},
        {"SELECT 'ab' + 5", "ab5"},
        {"SELECT 5 + 'ab'", "5ab"},
        {"SELECT 5 || 'ab'", "5ab"},
        {"SELECT {d '2001-01-31'} + 1", "2001-02-01 00:00:00"},
        {"SELECT {t '10:00:00'} + 30", "1900-01-01 10:00:30"},
        {"SELECT CASE WHEN 1 = 0 THEN 1 END", "NULL"},
        {"SELECT CASE WHEN 1 = 1 THEN 1 ELSE 2.5E0 END", "1.000000"},
        {"SELECT COALESCE(NULLIF(1, 1), 7)", "7"},
        {"SELECT TRIM(BOTH 'x' FROM 'xxaxx')", "a"},
        {"SELECT TRIM(BOTH 'x' FROM 'xxxx')", ""},
        {"SELECT 1 FROM one WHERE '2001-02-03' = {d '2001-02-03'}", "1"},
        // Doubles compare by value, as DISTINCT and GROUP BY tell them apart.
        {"SELECT 1 FROM one WHERE 1.0000001E0 = 1.0E0", "rows 0"},
        {"SELECT 1 FROM one WHERE NOT (1.0000001E0 <> 1.0E0)", "rows 0"},
        {"SELECT 1 FROM one WHERE 1.0000001E0 <= 1.0E0 AND 1.0000001E0 >= 1.0E0", "rows 0"},
        {"SELECT 1 FROM one WHERE 1.0000001E0 > 1.0E0", "1"},
        {"SELECT 1 FROM one WHERE 1E308 = 1E308", "1"},
        {"SELECT 1 FROM one WHERE 0.1E0 = 0.1 AND 0.10 = 0.1E0", "1"},
        // A text meets a number as the number it reads as.
        {"SELECT 1 FROM one WHERE 2 < '10' AND ' 2.50 ' = 2.5 AND '1e3' = 1000", "1"},
        {"SELECT 1 FROM one WHERE 'ab  ' = 'ab' AND 'ab' < 'ab!'", "1"},
        // Binary values compare byte by byte, as conditions anywhere.
        {"SELECT 1 FROM one WHERE x'0A' = x'0A'", "1"},
        {"SELECT 1 FROM one WHERE x'0A' = x'0A00'", "rows 0"},
        {"SELECT 1 FROM one WHERE x'0A' < x'0B' AND x'FF' > x'0AFF' AND x'0A' <> x'0B'", "1"},
        {"SELECT CASE WHEN x'0A' = x'0A' THEN 'same' ELSE 'other' END", "same"},
        {"SELECT CASE WHEN x'0A' >= x'0B' THEN 'same' ELSE 'other' END", "other"},
        {"SELECT 1 FROM one WHERE CAST(x'0A0B' AS VARBINARY(4)) = x'0A0B'", "1"},
        // TIMESTAMPADD gives a timestamp, a date taken at midnight.
        {"SELECT {fn TIMESTAMPADD(SQL_TSI_DAY, 1, {d '2001-01-31'})}", "2001-02-01 00:00:00"},
        {"SELECT {fn TIMESTAMPADD(SQL_TSI_HOUR, 5, {d '2001-01-31'})}", "2001-01-31 05:00:00"},
        {"SELECT {fn TIMESTAMPDIFF(SQL_TSI_DAY, {d '2001-01-31'}, {d '2001-03-01'})}", "29"},
    };
    for (const Case &c : cases) EXPECT_EQ(value(c.sql), c.expected) << c.sql;
}

// One equality for every path that asks whether two values are equal:
// `=` in WHERE (a comma join, looked up through keys where it can be), ON
// (a join's hash keys), NOT <>, CASE, IN over a sub-query (correlated: one
// value; uncorrelated: all of them, looked up through keys or one by one)
// and IN expanded into `=` (in_expansion). Each case gives the pairs of
// rows (a.id-b.id) whose values are equal; every path must give them.
TEST_F(Evaluation, OneEqualityOnEveryPath) {
    using memprov::Cell;
    using memprov::Type;
    memprov::Table t;
    t.name = "EQ";
    t.columns = {{"ID", Type::kInteger},      {"I", Type::kInteger},        {"BI", Type::kBigint},
                 {"D", Type::kDouble},        {"M", Type::kNumeric, 20, 2}, {"TN", Type::kText, 20},
                 {"DT", Type::kDate},         {"TS", Type::kTimestamp},     {"TD", Type::kText, 30},
                 {"L", Type::kLongText}};
    const Cell null{};
    t.add_row({Cell::of(1), Cell::of(1), Cell::of(1), Cell::real(1.0), Cell::text("1.00"), Cell::text("1"),
               Cell::text("2024-01-02"), Cell::text("2024-01-02 00:00:00"), Cell::text("2024-01-02"), Cell::text("1")});
    t.add_row({Cell::of(2), Cell::of(2), Cell::of(9007199254740993), Cell::real(9007199254740992.0),
               Cell::text("2.50"), Cell::text(" 2.50"), Cell::text("2024-01-03"), Cell::text("2024-01-02 00:00:01"),
               Cell::text("2024-01-02 00:00:01"), Cell::text(std::string(3000, 'x') + "1")});
    t.add_row({Cell::of(3), Cell::of(3), Cell::of(3), Cell::real(3.0000001), Cell::text("3.00"), Cell::text("3e0"),
               null, Cell::text("2024-01-03 12:00:00.5"), Cell::text(" 2024-01-03 12:00:00.500 "),
               Cell::text("3e0")});
    t.add_row({Cell::of(4), null, null, Cell::real(0.1), Cell::text("0.10"), Cell::text("0.1"),
               Cell::text("2024-01-02"), null, Cell::text("2024-01-02 00:00:00.0"), Cell::text("0.1  ")});
    provider.tables.push_back(t);
    struct Case {
        const char *x, *y;  // columns of a and b
        std::vector<std::string> pairs;
        bool one_class = true;  // CASE takes operands of one type class only
    } cases[] = {
        {"I", "D", {"1-1"}},                // 3 is not 3.0000001
        {"D", "D", {"1-1", "2-2", "3-3", "4-4"}},
        {"BI", "D", {"1-1", "2-2"}},        // 2^53 + 1 meets a double as the nearest one, 2^53
        {"I", "BI", {"1-1", "3-3"}},
        {"BI", "BI", {"1-1", "2-2", "3-3"}},
        {"M", "D", {"1-1", "4-4"}},         // 0.10 meets 0.1E0 as a double
        {"M", "I", {"1-1", "3-3"}},
        {"TN", "I", {"1-1", "3-3"}, false},        // texts read as the numbers they meet
        {"TN", "M", {"1-1", "2-2", "3-3", "4-4"}, false},
        {"D", "TN", {"1-1", "4-4"}, false},
        {"TS", "TD", {"1-1", "1-4", "2-2", "3-3"}, false},  // texts read as timestamps
        {"DT", "TS", {"1-1", "4-1"}},       // a date is its midnight
        {"TD", "DT", {"1-1", "1-4", "4-1", "4-4"}, false},
        {"L", "TN", {"1-1", "3-3", "4-4"}}, // texts as texts, trailing blanks ignored
        {"L", "L", {"1-1", "2-2", "3-3", "4-4"}},
    };
    auto pairs_of = [](const RunResult &r) {
        std::vector<std::string> out;
        for (const auto &row : r.rows) out.push_back(row[0] + "-" + row.back());
        std::sort(out.begin(), out.end());
        return out;
    };
    for (const Case &k : cases) {
        const std::string x = std::string("a.") + k.x, y = std::string("b.") + k.y;
        const std::string paths[] = {
            "SELECT a.id, b.id FROM eq a, eq b WHERE " + x + " = " + y,
            "SELECT a.id, b.id FROM eq a JOIN eq b ON " + x + " = " + y,
            "SELECT a.id, b.id FROM eq b LEFT JOIN eq a ON " + x + " = " + y + " WHERE a.id IS NOT NULL",
            "SELECT a.id, b.id FROM eq a, eq b WHERE NOT (" + x + " <> " + y + ")",
            "SELECT a.id, b.id FROM eq a, eq b WHERE CASE " + x + " WHEN " + y + " THEN 1 ELSE 0 END = 1",
            "SELECT a.id, b.id FROM eq a, eq b WHERE " + x + " IN (SELECT " + k.y + " FROM eq c WHERE c.id = b.id)",
        };
        for (const std::string &q : paths) {
            // CASE and IN take operands of one type class only (validation).
            if (!k.one_class && (q.find("CASE") != std::string::npos || q.find(" IN ") != std::string::npos)) continue;
            RunResult r = run(q);
            ASSERT_EQ(r.code, 0) << q << ": " << r.message;
            EXPECT_EQ(pairs_of(r), k.pairs) << q;
        }
        if (!k.one_class) continue;
        // The rows of a that equal some value of b's column, through the
        // values' keys and through `=` once expanded.
        std::vector<std::string> ids;
        for (const std::string &p : k.pairs)
            if (ids.empty() || ids.back() != p.substr(0, p.find('-'))) ids.push_back(p.substr(0, p.find('-')));
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        const std::string in = "SELECT a.id FROM eq a WHERE " + x + " IN (SELECT " + k.y + " FROM eq b)";
        for (int expand : {0, 1}) {
            in_expansion = expand;
            RunResult r = run(in);
            ASSERT_EQ(r.code, 0) << in << ": " << r.message;
            std::vector<std::string> got;
            for (const auto &row : r.rows) got.push_back(row[0]);
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, ids) << in << " in_expansion " << expand;
        }
        in_expansion = 0;
    }
    // A parameter bound as text meets each kind as `=` reads it, in IN too.
    struct Param {
        const char *text, *column;
        std::vector<std::string> ids;
    } params[] = {
        {"2024-01-02", "TS", {"1"}},
        {" 2024-01-03 12:00:00.500 ", "TS", {"3"}},
        {"2024-01-02 00:00:00", "DT", {"1", "4"}},
        {"2.5", "M", {"2"}},
        {"0.1", "D", {"4"}},
        {"3.000", "I", {"3"}},
        {"9007199254740993", "BI", {"2"}},
        {"9007199254740993", "D", {"2"}},
        {"0.1 ", "L", {"4"}},
    };
    for (const Param &p : params) {
        const std::string col = p.column;
        const std::string queries[] = {
            "SELECT id FROM eq WHERE " + col + " = ?",
            "SELECT id FROM eq WHERE ? = " + col,
            "SELECT a.id FROM eq a WHERE ? IN (SELECT " + col + " FROM eq b WHERE b.id = a.id)",
        };
        for (const std::string &q : queries) {
            RunResult r = run(q, {text_param(p.text)});
            ASSERT_EQ(r.code, 0) << q << " '" << p.text << "': " << r.message;
            std::vector<std::string> got;
            for (const auto &row : r.rows) got.push_back(row[0]);
            std::sort(got.begin(), got.end());
            EXPECT_EQ(got, p.ids) << q << " '" << p.text << "'";
        }
        const std::string any = "SELECT COUNT(*) FROM eq a WHERE ? IN (SELECT " + col + " FROM eq b)";
        for (int expand : {0, 1}) {
            in_expansion = expand;
            RunResult r = run(any, {text_param(p.text)});
            ASSERT_EQ(r.code, 0) << any << " '" << p.text << "': " << r.message;
            EXPECT_EQ(r.rows, (Rows{{"4"}})) << any << " '" << p.text << "' in_expansion " << expand;
        }
        in_expansion = 0;
    }
}

TEST_F(Evaluation, Errors) {
    struct Case {
        const char *sql, *state, *message;
    } cases[] = {
        {"SELECT 7 / 0", "22012", "Division by zero"},
        {"SELECT 7.0E0 / 0.0E0", "22012", "Division by zero"},
        {"SELECT 1 FROM one WHERE 'abc' < {d '2001-01-01'}", "22012", "Invalid date value"},
        {"SELECT 1 FROM one WHERE 'abc' = 1", "22018", "Invalid character value for cast specification"},
        {"SELECT 1 FROM one WHERE 2 IN ('1', '2x')", "22018", "Invalid character value for cast specification"},
        {"SELECT 1 FROM one WHERE {d '2001-01-01'} = 1.5E0", "HY000", "Unsupported type in equal compare"},
        {"SELECT id FROM t1 WHERE a = (SELECT a FROM t1 WHERE id < 3)", "HY000", "Sub query has more than one row"},
        {"SELECT id, (SELECT a FROM t1 WHERE id < 3) FROM t1", "HY000", "Sub query has more than one row"},
        {"SELECT id FROM t1 WHERE a = (SELECT a FROM t1 x WHERE x.id >= t1.id) + 1", "HY000",
         "Sub query has more than one row"},
    };
    for (const Case &c : cases) {
        RunResult r = run(c.sql);
        EXPECT_EQ(r.code, -1) << c.sql;
        EXPECT_EQ(r.sqlstate, c.state) << c.sql;
        EXPECT_NE(r.message.find(c.message), std::string::npos) << c.sql << ": " << r.message;
    }
}

TEST_F(Evaluation, LongListsAndChains) {
    // `count` items made by `item(i)` (i from 1) joined by `separator`.
    auto list = [](int count, const std::string &separator, auto item) {
        std::string s;
        for (int i = 1; i <= count; i++) s += (i > 1 ? separator : "") + item(i);
        return s;
    };
    auto tens = [](int i) { return std::to_string(i * 10); };
    const Rows tens_rows{{"10"}, {"20"}, {"30"}, {"40"}};
    struct Case {
        std::string sql;
        Rows rows;
    } cases[] = {
        {"SELECT id FROM t1 WHERE id IN (" + list(4000, ", ", tens) + ")", tens_rows},
        {"SELECT id FROM t1 WHERE id IN (" + list(12000, ", ", tens) + ")", tens_rows},
        {"SELECT id FROM t1 WHERE id IN (" + list(50000, ",", tens) + ")", tens_rows},
        // A NULL item matches nothing and NOT IN over it is never true.
        {"SELECT id FROM t1 WHERE id IN (NULL, " + list(12000, ", ", tens) + ")", tens_rows},
        {"SELECT id FROM t1 WHERE id NOT IN (NULL, " + list(12000, ", ", tens) + ")", {}},
        {"SELECT id FROM t1 WHERE id NOT IN (" + list(50000, ",", [](int i) { return std::to_string(i + 2); }) + ")",
         {{"1"}, {"2"}}},
        {"SELECT id FROM t1 WHERE " + list(9000, " OR ", [](int i) { return "id = " + std::to_string(i * 10); }),
         tens_rows},
        {"SELECT id FROM t1 WHERE " + list(50000, " OR ", [](int i) { return "id = " + std::to_string(i * 10); }),
         tens_rows},
        {"SELECT id FROM t1 WHERE " + list(9000, " AND ", [](int i) { return "id <> " + std::to_string(i + 1); }),
         {{"1"}}},
        {"SELECT id FROM t1 WHERE NOT (" +
             list(9000, " OR ", [](int i) { return "id = " + std::to_string(i + 1); }) + ")",
         {{"1"}}},
        {"SELECT id FROM t1 WHERE " +
             list(9000, " OR ", [](int i) { return "(id = " + std::to_string(i * 10) + " AND id > 15)"; }),
         {{"20"}, {"30"}, {"40"}}},
        // A long chain inside a CASE, a join's ON and a derived table's outer WHERE.
        {"SELECT id FROM t1 WHERE CASE WHEN " + list(9000, " OR ", [&](int i) { return "id = " + tens(i); }) +
             " THEN 1 ELSE 0 END = 1",
         tens_rows},
        {"SELECT t1.id FROM t1 JOIN one ON " + list(9000, " OR ", [&](int i) { return "t1.id = " + tens(i); }),
         tens_rows},
        {"SELECT d.id FROM (SELECT id FROM t1) d WHERE d.id IN (" + list(12000, ", ", tens) + ")", tens_rows},
        {"SELECT id FROM t1 WHERE id IN (" + list(12000, ", ", tens) + ") AND " +
             list(9000, " AND ", [](int i) { return "id <> " + std::to_string(i * 10 + 1); }),
         tens_rows},
        {"SELECT 0" + list(4000, "", [](int) { return std::string(" + 1"); }), {{"4000"}}},
        {"SELECT 0" + list(50000, "", [](int i) { return std::string(i % 2 ? " + 3" : " - 1"); }), {{"50000"}}},
        {"SELECT id FROM t1 WHERE id * 1" + list(20000, "", [](int) { return std::string(" * 1"); }) + " = 40", {{"40"}}},
    };
    for (const Case &c : cases) {
        RunResult r = run(c.sql);
        ASSERT_EQ(r.code, 0) << c.sql.substr(0, 80) << ": " << r.message;
        EXPECT_EQ(sorted(r.rows), sorted(c.rows)) << c.sql.substr(0, 80);
    }
}

// A text longer than its column's declared size is read whole, whether
// the column is read at once or on first use.
TEST_F(Evaluation, LongTextsAreNeverCut) {
    memprov::Table t;
    t.name = "TXT";
    t.columns = {{"ID", memprov::Type::kInteger, 0}, {"S", memprov::Type::kText, 4}, {"L", memprov::Type::kLongText, 0}};
    std::string long_text(70000, 'a');
    long_text += "end";
    t.add_row({memprov::Cell::of(1), memprov::Cell::text("short"), memprov::Cell::text("short")});
    t.add_row({memprov::Cell::of(2), memprov::Cell::text(long_text), memprov::Cell::text(long_text)});
    t.add_row({memprov::Cell::of(3), memprov::Cell::text("x"), memprov::Cell::text("x_")});
    provider.tables.push_back(t);
    for (int lazy : {1, 0}) {
        provider.lazy = lazy;
        RunResult r = run("SELECT s, id FROM txt WHERE s LIKE '%end' OR id <> 2");
        ASSERT_EQ(r.code, 0) << r.message;
        ASSERT_EQ(r.rows.size(), 3u);
        bool found = false;
        for (const auto &row : r.rows) {
            if (row[1] == "2") found = row[0] == long_text;  // compared quietly: 70,003 bytes
            if (row[1] == "1") {
                EXPECT_EQ(row[0], "short");
            }
            if (row[1] == "3") {
                EXPECT_EQ(row[0], "x");
            }
        }
        EXPECT_TRUE(found) << "lazy " << lazy;
        // A long pattern (a parameter bound as LONG VARCHAR) is used whole:
        // 70,003 bytes match only themselves.
        Value *pattern = new_value_of_type(pool, VT_LONG_CHAR);
        pattern->long_buffer = allocate_long_buffer(pool, 0, SQL_LONGVARCHAR);
        ASSERT_EQ(append_to_long_buffer(pattern->long_buffer, long_text.data(), long_text.size()), 0);
        r = run("SELECT id FROM txt WHERE l LIKE ?", {pattern});
        ASSERT_EQ(r.code, 0) << r.message;
        EXPECT_EQ(r.rows, (Rows{{"2"}}));
    }
}

TEST_F(Evaluation, NullPatternIsUnknownForLikeAndNotLike) {
    RunResult like = run("SELECT id FROM t1 WHERE s LIKE ?", {null_param()});
    RunResult not_like = run("SELECT id FROM t1 WHERE s NOT LIKE ?", {null_param()});
    ASSERT_EQ(like.code, 0) << like.message;
    ASSERT_EQ(not_like.code, 0) << not_like.message;
    EXPECT_TRUE(like.rows.empty());
    EXPECT_TRUE(not_like.rows.empty());
    RunResult pattern = run("SELECT id FROM t1 WHERE s LIKE ?", {text_param("a%")});
    EXPECT_EQ(sorted(pattern.rows), sorted(run("SELECT id FROM t1 WHERE s LIKE 'a%'").rows));
    EXPECT_FALSE(pattern.rows.empty());
}

TEST_F(Evaluation, CaseResultsShareOneValueType) {
    RunResult r = run("SELECT CASE WHEN a > 0 THEN a ELSE b END FROM t1 WHERE a IS NOT NULL AND b IS NOT NULL");
    ASSERT_EQ(r.code, 0) << r.message;
    ASSERT_FALSE(r.rows.empty());
    for (const auto &row : r.rows) EXPECT_NE(row[0].find('.'), std::string::npos) << row[0];
}

TEST_F(Evaluation, MemoryStaysFlatOverManyRows) {
    provider.tables.push_back(memprov::generate("BIG", 200000, 9, true));
    long before = cv_mem_live_pools();
    RunResult r = run("SELECT id FROM big WHERE UPPER(s) || 'x' = 'NONEx' AND a * 2 + id > 0");
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_TRUE(r.rows.empty());
    EXPECT_EQ(cv_mem_live_pools(), before);
}

}  // namespace
