// Differential tests: the same scalar expressions through our value
// services and functions and through SQLite (libsqlite3), where the two
// dialects agree; calendar results checked against PostgreSQL's rules,
// written down as expected values.
//
// Deliberate differences (not compared):
// - Integer overflow: SQLite turns + - * overflow into a REAL; we raise
//   22003. Division by zero: SQLite gives NULL; we raise 22012.
// - ROUND: ours is floor(c*x + 0.5)/c (ROUND(-1.5, 0) = -1); SQLite rounds
//   half away from zero (-2).
// - Character comparison: ours ignores trailing blanks ('a' = 'a ').
// - '_' matches one UTF-8 character in both, but SQLite folds case only for
//   ASCII, as we do; non-ASCII subjects are compared only for exact bytes.
// - WEEK counts from the week holding 1 January (Sunday start);
//   PostgreSQL's EXTRACT(WEEK) is the ISO week.
// - DATEDIFF 'm'/'q'/'yyyy' count whole calendar months (PostgreSQL
//   age()), not the month boundaries some other dialects count.
// - SUBSTRING with a negative start: SQLite counts from the end; ours
//   follows SQL (positions before the first character are empty).
// - LENGTH ignores trailing blanks (ODBC LENGTH); SQLite's counts them.
// - Texts compare with trailing blanks ignored here; a BIGINT past 2^53
//   meets a DOUBLE as the nearest double; a date is the midnight timestamp
//   of its day (ValueOrder writes the SQLite side accordingly).
#include <sqlite3.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/functions.h"
#include "engine/like.h"
#include "engine/value_order.h"
#include "support/bigint.h"
#include "support/calendar.h"
#include "support/numeric.h"
#include "tests/support_values/value_fixture.h"

namespace {

class DifferentialTest : public ValueFixture {
protected:
    void SetUp() override {
        ValueFixture::SetUp();
        ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    }
    void TearDown() override {
        sqlite3_close(db);
        ValueFixture::TearDown();
    }

    // The single value of `sql` as text ("NULL" for NULL); type in *type.
    std::string sqlite(const std::string &sql, int *type = nullptr) {
        sqlite3_stmt *st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
        std::string out = "ERR";
        if (st && sqlite3_step(st) == SQLITE_ROW) {
            int t = sqlite3_column_type(st, 0);
            if (type) *type = t;
            if (t == SQLITE_NULL) {
                out = "NULL";
            } else {
                const unsigned char *s = sqlite3_column_text(st, 0);
                out.assign(reinterpret_cast<const char *>(s), sqlite3_column_bytes(st, 0));
            }
        }
        sqlite3_finalize(st);
        return out;
    }

    std::string ours(int code, std::vector<Value *> args) {
        reset();
        Value *out = nullptr;
        if (call_scalar_function(code, &env, static_cast<int>(args.size()), args.data(), &out) != 0)
            return "ERR:" + state();
        return out->is_null ? "NULL" : text_of(out);
    }

    static std::string quote(const std::string &s) {
        std::string q = "'";
        for (char c : s) {
            q += c;
            if (c == '\'') q += '\'';
        }
        return q + "'";
    }

    static bool same_number(const std::string &a, const std::string &b) {
        double x = std::strtod(a.c_str(), nullptr), y = std::strtod(b.c_str(), nullptr);
        return x == y || std::fabs(x - y) <= 1e-12 * std::fmax(std::fabs(x), std::fabs(y));
    }

    sqlite3 *db = nullptr;
};

TEST_F(DifferentialTest, StringFunctions) {
    std::mt19937 rng(7);
    const char alphabet[] = "abcAB xyz%_'";
    for (int i = 0; i < 400; i++) {
        std::string s;
        int n = static_cast<int>(rng() % 12);
        for (int k = 0; k < n; k++) s += alphabet[rng() % (sizeof alphabet - 1)];
        int a = static_cast<int>(rng() % 15) - 2, b = static_cast<int>(rng() % 15) - 2;
        std::string q = quote(s);
        EXPECT_EQ(ours(kFnUcase, {text(s)}), sqlite("SELECT upper(" + q + ")")) << s;
        EXPECT_EQ(ours(kFnLcase, {text(s)}), sqlite("SELECT lower(" + q + ")")) << s;
        EXPECT_EQ(ours(kFnLtrim, {text(s)}), sqlite("SELECT ltrim(" + q + ")")) << s;
        EXPECT_EQ(ours(kFnRtrim, {text(s)}), sqlite("SELECT rtrim(" + q + ")")) << s;
        EXPECT_EQ(ours(kFnCharLength, {text(s)}), sqlite("SELECT length(" + q + ")")) << s;
        EXPECT_EQ(ours(kFnConcat, {text(s), text("q")}), sqlite("SELECT " + q + " || 'q'")) << s;
        EXPECT_EQ(ours(kFnReplace, {text(s), text("a"), text("<>")}),
                  sqlite("SELECT replace(" + q + ", 'a', '<>')"))
            << s;
        EXPECT_EQ(ours(kFnLocate, {text("a"), text(s)}), sqlite("SELECT instr(" + q + ", 'a')")) << s;
        // SQL-standard SUBSTRING agrees with SQLite's substr for start
        // positions from 0 and positive lengths (SQLite counts negative
        // starts from the end).
        if (a >= 0 && b >= 0) {
            EXPECT_EQ(ours(kFnSubstring, {text(s), integer(a), integer(b)}),
                      sqlite("SELECT substr(" + q + ", " + std::to_string(a) + ", " + std::to_string(b) + ")"))
                << s << " " << a << " " << b;
        }
        if (a >= 0) {
            EXPECT_EQ(ours(kFnLeft, {text(s), integer(a)}),
                      sqlite("SELECT substr(" + q + ", 1, " + std::to_string(a) + ")"))
                << s;
        }
        EXPECT_EQ(ours(kFnIfnull, {text(s), text("z")}), sqlite("SELECT coalesce(" + q + ", 'z')"));
    }
    EXPECT_EQ(ours(kFnIfnull, {null_of(VT_CHAR), text("z")}), sqlite("SELECT coalesce(NULL, 'z')"));
    EXPECT_EQ(ours(kFnAscii, {text("A")}), sqlite("SELECT unicode('A')"));
    EXPECT_EQ(ours(kFnChar, {integer(66)}), sqlite("SELECT char(66)"));
}

TEST_F(DifferentialTest, LikeWithoutEscapes) {
    std::mt19937 rng(11);
    const char subj_chars[] = "abAB";
    const char pat_chars[] = "abAB%_";
    Value *compiled = nullptr;
    int compared = 0;
    for (int i = 0; i < 4000; i++) {
        std::string s, p;
        int n = static_cast<int>(rng() % 10), m = static_cast<int>(rng() % 7);
        for (int k = 0; k < n; k++) s += subj_chars[rng() % 4];
        for (int k = 0; k < m; k++) p += pat_chars[rng() % 6];
        ASSERT_EQ(like_compile(text(p), nullptr, pool, &compiled), 0);
        int mine = like_match(compiled, text(s));
        std::string theirs = sqlite("SELECT " + quote(s) + " LIKE " + quote(p));
        EXPECT_EQ(std::to_string(mine), theirs) << "'" << s << "' LIKE '" << p << "'";
        compared++;
    }
    EXPECT_EQ(compared, 4000);
}

// LIKE with an escape character: random patterns where '!' escapes '%',
// '_' or itself.
TEST_F(DifferentialTest, LikeWithEscape) {
    std::mt19937 rng(17);
    const char subj_chars[] = "aB%_!";
    const char pat_chars[] = "aB%_!";
    Value *compiled = nullptr;
    for (int i = 0; i < 4000; i++) {
        std::string s, p;
        int n = static_cast<int>(rng() % 9), m = static_cast<int>(rng() % 7);
        for (int k = 0; k < n; k++) s += subj_chars[rng() % 5];
        for (int k = 0; k < m; k++) {
            char ch = pat_chars[rng() % 5];
            p += ch;
            if (ch == '!') p += "%_!"[rng() % 3];
        }
        ASSERT_EQ(like_compile(text(p), text("!"), pool, &compiled), 0) << p;
        int mine = like_match(compiled, text(s));
        std::string theirs = sqlite("SELECT " + quote(s) + " LIKE " + quote(p) + " ESCAPE '!'");
        EXPECT_EQ(std::to_string(mine), theirs) << "'" << s << "' LIKE '" << p << "' ESCAPE '!'";
    }
}

// The one order of values against SQLite's comparisons: numbers of every
// kind (integers, BIGINTs below 2^53, doubles, exact numerics of scales 0
// to 4, negative ones), texts (trailing blanks trimmed on SQLite's side),
// dates and timestamps (through julianday on SQLite's side). Differences
// not compared: a BIGINT past 2^53 meets a DOUBLE here as the nearest
// double (SQLite compares them exactly); a date here equals a timestamp at
// its midnight (SQLite compares their texts).
TEST_F(DifferentialTest, ValueOrder) {
    std::mt19937_64 rng(19);
    auto number = [&](std::string *literal) -> Value * {
        const int64_t small = static_cast<int64_t>(rng() % 41) - 20;
        switch (rng() % 4) {
        case 0:
            *literal = std::to_string(small);
            return integer(static_cast<int32_t>(small));
        case 1: {
            const int64_t big = rng() % 2 ? small : static_cast<int64_t>(rng() % (int64_t{1} << 53)) - (int64_t{1} << 52);
            *literal = std::to_string(big);
            return bigint(big);
        }
        case 2: {
            const double d = rng() % 2 ? static_cast<double>(small) / 4 : static_cast<double>(small) / 10;
            char t[40];
            std::snprintf(t, sizeof t, "%.17g", d);
            *literal = std::string("CAST(") + t + " AS REAL)";
            return dbl(d);
        }
        default: {
            const int scale = static_cast<int>(rng() % 5);
            int64_t units = small * 25;
            for (int k = 0; k < scale; k++) units *= 10;
            units /= 100;  // quarters and tenths at scales 2 to 4, cut at smaller ones
            char t[40];
            int64_t div = 1;
            for (int k = 0; k < scale; k++) div *= 10;
            const int64_t mag = units < 0 ? -units : units;
            if (scale == 0) std::snprintf(t, sizeof t, "%lld", static_cast<long long>(units));
            else
                std::snprintf(t, sizeof t, "%s%lld.%0*lld", units < 0 ? "-" : "", static_cast<long long>(mag / div), scale,
                              static_cast<long long>(mag % div));
            *literal = t;
            return numeric(t);
        }
        }
    };
    for (int i = 0; i < 3000; i++) {
        std::string la, lb;
        Value *a = number(&la), *b = number(&lb);
        int order = 9;
        ASSERT_EQ(value_order(a, b, &order), OrderResult::kOk);
        EXPECT_EQ(std::to_string(order), sqlite("SELECT (" + la + " > " + lb + ") - (" + la + " < " + lb + ")"))
            << la << " vs " << lb;
    }
    const char alphabet[] = "aAb z";
    for (int i = 0; i < 2000; i++) {
        std::string x, y;
        for (int k = static_cast<int>(rng() % 6); k > 0; k--) x += alphabet[rng() % 5];
        for (int k = static_cast<int>(rng() % 6); k > 0; k--) y += alphabet[rng() % 5];
        int order = 9;
        ASSERT_EQ(value_order(text(x), text(y), &order), OrderResult::kOk);
        const std::string qx = "rtrim(" + quote(x) + ")", qy = "rtrim(" + quote(y) + ")";
        EXPECT_EQ(std::to_string(order), sqlite("SELECT (" + qx + " > " + qy + ") - (" + qx + " < " + qy + ")"))
            << "'" << x << "' vs '" << y << "'";
    }
    auto moment = [&](std::string *literal) -> Value * {
        const int day = 1 + static_cast<int>(rng() % 3), hour = static_cast<int>(rng() % 2) * 12;
        const unsigned millis = static_cast<unsigned>(rng() % 3) * 250;
        char t[48];
        if (rng() % 3 == 0) {
            std::snprintf(t, sizeof t, "'2024-02-%02d'", day);
            *literal = t;
            return date(2024, 2, day);
        }
        std::snprintf(t, sizeof t, "'2024-02-%02d %02d:00:00.%03u'", day, hour, millis);
        *literal = t;
        return timestamp(2024, 2, day, hour, 0, 0, millis * 1000000u);
    };
    for (int i = 0; i < 1000; i++) {
        std::string la, lb;
        Value *a = moment(&la), *b = moment(&lb);
        int order = 9;
        ASSERT_EQ(value_order(a, b, &order), OrderResult::kOk);
        const std::string ja = "julianday(" + la + ")", jb = "julianday(" + lb + ")";
        EXPECT_EQ(std::to_string(order), sqlite("SELECT (" + ja + " > " + jb + ") - (" + ja + " < " + jb + ")"))
            << la << " vs " << lb;
    }
}

TEST_F(DifferentialTest, IntegerAndDoubleArithmetic) {
    std::mt19937_64 rng(3);
    const int ops[] = {OP_ADD, OP_SUB, OP_MUL, OP_DIV};
    const char *sym[] = {"+", "-", "*", "/"};
    for (int i = 0; i < 2000; i++) {
        int64_t a = static_cast<int64_t>(rng()) >> (rng() % 63);
        int64_t b = static_cast<int64_t>(rng()) >> (rng() % 63);
        int k = static_cast<int>(rng() % 4);
        Value r{};
        reset();
        int rc = bigint_operation(bigint(a), bigint(b), &r, diag, ops[k]);
        int type = 0;
        std::string theirs = sqlite("SELECT " + std::to_string(a) + " " + sym[k] + " " + std::to_string(b), &type);
        if (type == SQLITE_INTEGER) {
            ASSERT_EQ(rc, 0) << a << sym[k] << b;
            EXPECT_EQ(std::to_string(r.data.big), theirs) << a << sym[k] << b;
        } else {
            // SQLite left the integer domain (overflow -> REAL, x/0 -> NULL):
            // we refuse instead of wrapping.
            EXPECT_EQ(rc, -1) << a << sym[k] << b << " = " << theirs;
            EXPECT_TRUE(state() == "22003" || state() == "22012");
        }
    }
    std::uniform_real_distribution<double> d(-1e6, 1e6);
    for (int i = 0; i < 1000; i++) {
        double a = d(rng), b = d(rng);
        int k = static_cast<int>(rng() % 4);
        Value r{};
        reset();
        ASSERT_EQ(double_operation(dbl(a), dbl(b), &r, diag, ops[k]), 0);
        char sql[128];
        std::snprintf(sql, sizeof sql, "SELECT %.17g %s %.17g", a, sym[k], b);
        EXPECT_TRUE(same_number(text_of(&r), sqlite(sql))) << sql << " ours " << text_of(&r);
    }
    // 1.5 + 1 is 2.5 in both.
    Value r{};
    ASSERT_EQ(bigint_operation(dbl(1.5), bigint(1), &r, diag, OP_ADD), 0);
    EXPECT_EQ(text_of(&r), sqlite("SELECT 1.5 + 1"));
}

TEST_F(DifferentialTest, ExactNumericsAgreeWithDoublesWithinRounding) {
    std::mt19937 rng(5);
    const int ops[] = {OP_ADD, OP_SUB, OP_MUL, OP_DIV};
    const char *sym[] = {"+", "-", "*", "/"};
    for (int i = 0; i < 1000; i++) {
        char a[32], b[32];
        std::snprintf(a, sizeof a, "%d.%02u", static_cast<int>(rng() % 20001) - 10000, static_cast<unsigned>(rng() % 100));
        std::snprintf(b, sizeof b, "%d.%03u", static_cast<int>(rng() % 2001) - 1000, static_cast<unsigned>(rng() % 1000));
        int k = static_cast<int>(rng() % 4);
        Value r{};
        reset();
        int rc = numeric_operation(numeric(a), numeric(b), &r, diag, ops[k]);
        std::string theirs = sqlite(std::string("SELECT ") + a + " " + sym[k] + " " + b);
        if (theirs == "NULL") {
            EXPECT_EQ(state(), "22012");
            continue;
        }
        ASSERT_EQ(rc, 0) << a << sym[k] << b;
        double x = numeric_to_double(&r.data.num), y = std::strtod(theirs.c_str(), nullptr);
        // Division keeps six decimals; the others are exact.
        double tol = k == 3 ? 5e-7 + 1e-12 * std::fabs(y) : 1e-9 * std::fmax(1.0, std::fabs(y));
        EXPECT_NEAR(x, y, tol) << a << sym[k] << b;
    }
}

TEST_F(DifferentialTest, CalendarAgainstSqliteDateFunctions) {
    std::mt19937 rng(13);
    for (int i = 0; i < 1500; i++) {
        int y = 1 + static_cast<int>(rng() % 9999), m = 1 + static_cast<int>(rng() % 12);
        int d = 1 + static_cast<int>(rng() % days_in_month(y, m));
        char iso[48];
        std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", y, m, d);
        std::string q = std::string("'") + iso + "'";
        EXPECT_EQ(std::stoi(ours(kFnDayofweek, {date(y, m, d)})) - 1, std::stoi(sqlite("SELECT strftime('%w', " + q + ")"))) << iso;
        EXPECT_EQ(std::stoi(ours(kFnDayofyear, {date(y, m, d)})), std::stoi(sqlite("SELECT strftime('%j', " + q + ")"))) << iso;
        int y2 = 1 + static_cast<int>(rng() % 9999), m2 = 1 + static_cast<int>(rng() % 12), d2 = 1 + static_cast<int>(rng() % 28);
        char iso2[48];
        std::snprintf(iso2, sizeof iso2, "%04d-%02d-%02d", y2, m2, d2);
        EXPECT_EQ(ours(kFnDatediff, {text("d"), date(y, m, d), date(y2, m2, d2)}),
                  sqlite(std::string("SELECT CAST(julianday('") + iso2 + "') - julianday(" + q + ") AS INTEGER)"))
            << iso << " .. " << iso2;
        int n = static_cast<int>(rng() % 2000) - 1000;
        std::string added = ours(kFnTimestampadd, {text("SQL_TSI_DAY"), integer(n), date(y, m, d)});
        std::string theirs = sqlite("SELECT datetime(" + q + ", '" + std::to_string(n) + " days')");
        // Inside years 1 to 9999 both agree; beyond them ours must refuse.
        const bool in_calendar = theirs.size() == 19 && theirs[0] != '-' && theirs.rfind("0000", 0) != 0;
        if (in_calendar)
            EXPECT_EQ(added, theirs) << iso << " + " << n;
        else
            EXPECT_EQ(added.rfind("ERR", 0), 0u) << iso << " + " << n << " gave " << added;
    }
}

// Values worked out with PostgreSQL 15 (proleptic Gregorian calendar).
TEST_F(DifferentialTest, CalendarAgainstPostgresqlExpectations) {
    struct Case {
        int code;
        std::vector<Value *> args;
        const char *want;
        const char *postgres;  // the query that gave it
    };
    std::vector<Case> cases = {
        {kFnDayofweek, {date(2000, 1, 1)}, "7", "extract(dow from date '2000-01-01') + 1"},
        {kFnDayofweek, {date(1900, 1, 1)}, "2", "extract(dow from date '1900-01-01') + 1"},
        {kFnDayofyear, {date(2000, 12, 31)}, "366", "extract(doy from date '2000-12-31')"},
        {kFnDayofyear, {date(1900, 12, 31)}, "365", "extract(doy from date '1900-12-31')"},
        {kFnDatediff, {text("d"), date(2024, 2, 1), date(2024, 3, 1)}, "29", "date '2024-03-01' - date '2024-02-01'"},
        {kFnDatediff, {text("d"), date(2100, 2, 1), date(2100, 3, 1)}, "28", "date '2100-03-01' - date '2100-02-01'"},
        {kFnDatediff, {text("d"), date(1999, 12, 31), date(2000, 3, 1)}, "61", "date '2000-03-01' - date '1999-12-31'"},
        {kFnDatediff, {text("m"), date(2021, 1, 31), date(2021, 2, 28)}, "0", "extract(month from age('2021-02-28','2021-01-31'))"},
        {kFnDatediff, {text("m"), date(2020, 2, 29), date(2021, 2, 28)}, "11", "12*extract(year from age(...)) + extract(month from age('2021-02-28','2020-02-29'))"},
        {kFnDatediff, {text("yyyy"), date(2020, 2, 29), date(2021, 3, 1)}, "1", "extract(year from age('2021-03-01','2020-02-29'))"},
        {kFnTimestampadd, {text("SQL_TSI_MONTH"), integer(1), date(2021, 1, 31)}, "2021-02-28 00:00:00", "date '2021-01-31' + interval '1 month'"},
        {kFnTimestampadd, {text("SQL_TSI_MONTH"), integer(1), date(2024, 1, 31)}, "2024-02-29 00:00:00", "date '2024-01-31' + interval '1 month'"},
        {kFnTimestampadd, {text("SQL_TSI_YEAR"), integer(-1), date(2024, 2, 29)}, "2023-02-28 00:00:00", "date '2024-02-29' - interval '1 year'"},
        {kFnTimestampadd, {text("SQL_TSI_QUARTER"), integer(1), date(2023, 11, 30)}, "2024-02-29 00:00:00", "date '2023-11-30' + interval '3 months'"},
        {kFnTimestampadd, {text("SQL_TSI_SECOND"), integer(1), timestamp(1999, 12, 31, 23, 59, 59)}, "2000-01-01 00:00:00", "timestamp '1999-12-31 23:59:59' + interval '1 second'"},
        {kFnDayname, {date(1970, 1, 1)}, "Thursday", "to_char(date '1970-01-01', 'FMDay')"},
        {kFnMonthname, {date(1970, 9, 1)}, "September", "to_char(date '1970-09-01', 'FMMonth')"},
        {kFnQuarter, {date(2021, 6, 30)}, "2", "extract(quarter from date '2021-06-30')"},
    };
    for (auto &c : cases) EXPECT_EQ(ours(c.code, c.args), c.want) << c.postgres;
}

}  // namespace
