// The literal parser: good and bad forms of dates, times, timestamps and
// intervals, range checks, and text that must not read outside its bounds.
#include <string>
#include <thread>
#include <vector>

#include "sql/literal/interval_literal.h"
#include "sql/literal/literal.h"
#include "support/calendar.h"
#include "support/interval.h"
#include <atomic>
#include "tests/support_values/value_fixture.h"

namespace {

class LiteralTest : public ValueFixture {};

TEST_F(LiteralTest, Dates) {
    struct Case {
        const char *text;
        int y, m, d;  // y < 0: must fail with 22007
    } cases[] = {
        {"2020/1/2", 2020, 1, 2},
        {"2020-01-02", 2020, 1, 2},
        {"2020-1/2", 2020, 1, 2},
        {"  2021-02-03", 2021, 2, 3},
        {"{d '2021-02-03'}", 2021, 2, 3},
        {"{ d '2021-02-03' }", 2021, 2, 3},
        {"{ts '2021-02-03 10:11:12'}", 2021, 2, 3},
        {"2000-02-29", 2000, 2, 29},
        {"1900-02-29", -1, 0, 0},
        {"2020-02-30", -1, 0, 0},
        {"2020-13-45", -1, 0, 0},
        {"2020-00-10", -1, 0, 0},
        {"65537-01-01", -1, 0, 0},     // wider than the 16-bit field: refused
        {"2020-65537-01", -1, 0, 0},
        {"2020-01-02 junk", -1, 0, 0},
        {"{d '2020-01-02'} x", -1, 0, 0},  // nothing may follow the brace
        {"{D '2020-01-02'}", -1, 0, 0},
        {"{date '2020-01-02'}", -1, 0, 0},
        {"{t '10:00:00'}", -1, 0, 0},
        {"", -1, 0, 0},
        {"{", -1, 0, 0},
        {"{d", -1, 0, 0},
        {"{d '", -1, 0, 0},
        {"99999999999999999999-1-1", -1, 0, 0},
    };
    for (const auto &c : cases) {
        reset();
        DATE_STRUCT d{1, 1, 1};
        int rc = parse_date_text(diag, c.text, &d);
        if (c.y < 0) {
            EXPECT_EQ(rc, -1) << c.text;
            EXPECT_EQ(state(), "22007") << c.text;
            EXPECT_EQ(message(), "Invalid datetime format");
            EXPECT_EQ(d.year, 1) << "output written on failure: " << c.text;
        } else {
            ASSERT_EQ(rc, 0) << c.text;
            EXPECT_EQ(d.year, c.y);
            EXPECT_EQ(d.month, c.m);
            EXPECT_EQ(d.day, c.d);
        }
    }
}

TEST_F(LiteralTest, Times) {
    struct Case {
        const char *text;
        int h, m, s;
    } cases[] = {
        {"24:00:00", 24, 0, 0},
        {"10:11:62", 10, 11, 62},
        {"{t '01:02:03'}", 1, 2, 3},
        {"{ts '2020-01-01 01:02:03'}", 1, 2, 3},
        {"10:60:00", -1, 0, 0},
        {"25:00:00", -1, 0, 0},
        {"10:00:63", -1, 0, 0},
        {"10:00", -1, 0, 0},
        {"{t", -1, 0, 0},
        {"{t '10:00:00'", -1, 0, 0},
    };
    for (const auto &c : cases) {
        reset();
        TIME_STRUCT t{};
        int rc = parse_time_text(diag, c.text, &t);
        if (c.h < 0) {
            EXPECT_EQ(rc, -1) << c.text;
            EXPECT_EQ(state(), "22007") << c.text;
        } else {
            ASSERT_EQ(rc, 0) << c.text;
            EXPECT_EQ(t.hour, c.h);
            EXPECT_EQ(t.minute, c.m);
            EXPECT_EQ(t.second, c.s);
        }
    }
}

TEST_F(LiteralTest, Timestamps) {
    struct Case {
        const char *text;
        bool ok;
        TIMESTAMP_STRUCT want;
    } cases[] = {
        {"2020-01-02 03:04:05", true, {2020, 1, 2, 3, 4, 5, 0}},
        {"2020-01-02 03:04:05.5", true, {2020, 1, 2, 3, 4, 5, 500000000}},
        {"2020-01-02 03:04:05.000000001", true, {2020, 1, 2, 3, 4, 5, 1}},
        {"2020-01-02 03:04:05.123456789", true, {2020, 1, 2, 3, 4, 5, 123456789}},
        {"2020-01-02", true, {2020, 1, 2, 0, 0, 0, 0}},
        {"2021-08-10T14:49:58+02:00", true, {2021, 8, 10, 14, 49, 58, 0}},
        {"2021-08-10T14:49:58-05:30", true, {2021, 8, 10, 14, 49, 58, 0}},
        {"2021-08-10T14:49:58", true, {2021, 8, 10, 14, 49, 58, 0}},
        {"{ts '2020-01-02 03:04:05'}", true, {2020, 1, 2, 3, 4, 5, 0}},
        {"{d '2020-01-02'}", true, {2020, 1, 2, 0, 0, 0, 0}},
        {"2021-08-10T14:49:58Z", false, {}},
        {"2020-01-02 03:04:05.1234567890", false, {}},  // more than nine digits
        {"2020-01-02 03:04:05.", false, {}},
        {"2020-02-30 00:00:00", false, {}},
        {"2020-01-02 03:60:05", false, {}},
        {"2020-01-0203:04:05", false, {}},
        {"{ts '2020-01-02 03:04:05'}}", false, {}},
    };
    for (const auto &c : cases) {
        reset();
        TIMESTAMP_STRUCT t{};
        int rc = parse_timestamp_text(diag, c.text, &t);
        if (!c.ok) {
            EXPECT_EQ(rc, -1) << c.text;
            EXPECT_EQ(state(), "22007") << c.text;
            continue;
        }
        ASSERT_EQ(rc, 0) << c.text << " " << message();
        EXPECT_EQ(t.year, c.want.year) << c.text;
        EXPECT_EQ(t.month, c.want.month) << c.text;
        EXPECT_EQ(t.day, c.want.day) << c.text;
        EXPECT_EQ(t.hour, c.want.hour) << c.text;
        EXPECT_EQ(t.minute, c.want.minute) << c.text;
        EXPECT_EQ(t.second, c.want.second) << c.text;
        EXPECT_EQ(t.fraction, c.want.fraction) << c.text;
    }
}

TEST_F(LiteralTest, TimeOnlyTimestampTakesTodaysDate) {
    TIMESTAMP_STRUCT t{};
    ASSERT_EQ(parse_timestamp_text(diag, "10:20:30", &t), 0);
    TIMESTAMP_STRUCT now;
    local_now(&now);
    EXPECT_EQ(t.hour, 10);
    EXPECT_EQ(t.second, 30);
    // The day may roll over between the two readings only at midnight.
    EXPECT_TRUE(t.year == now.year || now.hour == 0);
}

TEST_F(LiteralTest, ControlCharactersCountAsSpaces) {
    DATE_STRUCT d{};
    ASSERT_EQ(parse_date_text(diag, "{d\t'2020-01-02'\n}", &d), 0);
    EXPECT_EQ(d.day, 2);
}

TEST_F(LiteralTest, OverlongTextIsRefused) {
    std::string s(kMaxLiteralText * 2, ' ');
    s += "2020-01-02";
    DATE_STRUCT d{};
    EXPECT_EQ(parse_date_text(diag, s.c_str(), &d), 0);  // leading blanks are skipped
    std::string t = "2020-01-02" + std::string(kMaxLiteralText, ' ');
    EXPECT_EQ(parse_date_text(diag, t.c_str(), &d), -1);
    EXPECT_EQ(state(), "22007");
}

TEST_F(LiteralTest, Intervals) {
    struct Case {
        const char *text;
        int code;
        const char *state;  // "" = success
        const char *printed;
    } cases[] = {
        {"1 02", 8, "", "1 02"},
        {"-3", 1, "", "-3"},
        {"1-11", 7, "", "1-11"},
        {"1-13", 7, "HY000", nullptr},
        {"3 04:05:06.5", 10, "", "3 04:05:06.5"},
        {"3 24:05:06", 10, "HY000", nullptr},
        {"12:30", 13, "", "12:30"},
        {"12:60", 13, "HY000", nullptr},
        {"99", 3, "", "99"},
        {"100", 3, "HY000", nullptr},  // three digits for leading precision 2
        {"61.25", 6, "", "61.25"},
        {"1.1234567", 6, "HY000", nullptr},  // beyond seconds precision 6
        {"1 02", 3, "HY000", nullptr},
        {"{INTERVAL '5' DAY}", 3, "", "5"},
        {"{INTERVAL '5' DAY}", 4, "HY000", nullptr},  // not the type asked for
        {"{INTERVAL '123' DAY(3)}", 3, "", "123"},
        {"{INTERVAL '1 02:03:04.5' DAY TO SECOND(2,1)}", 10, "", "1 02:03:04.5"},
        {"{INTERVAL -'2' HOUR}", 4, "", "-2"},
        {"abc", 3, "22015", nullptr},
        {"{INTERVAL '5' WEEK}", 3, "22015", nullptr},
        {"{INTERVAL '5' DAY} extra", 3, "22015", nullptr},
        {"{INTERVAL", 3, "22015", nullptr},
    };
    for (const auto &c : cases) {
        reset();
        SQL_INTERVAL_STRUCT iv{};
        int rc = parse_interval_text(diag, c.text, &iv, c.code);
        if (*c.state) {
            EXPECT_EQ(rc, -1) << c.text;
            EXPECT_EQ(state(), c.state) << c.text;
            if (std::string(c.state) == "HY000") {
                EXPECT_EQ(message(), "General error: Invalid interval literal");
            }
            continue;
        }
        ASSERT_EQ(rc, 0) << c.text << " " << message();
        EXPECT_EQ(static_cast<int>(iv.interval_type), c.code);
        char buf[64];
        (void)interval_as_text(&iv, buf, sizeof buf);
        EXPECT_STREQ(buf, c.printed) << c.text;
    }
}

TEST(IntervalLiteralTest, BuilderShapes) {
    SQL_INTERVAL_STRUCT iv;
    EXPECT_EQ(build_interval_literal(false, "5", 1, 9, 0, -1, &iv), 0);  // leading field alone
    EXPECT_EQ(build_interval_literal(false, "1 02", 4, 9, 0, -1, &iv), -1);  // DAY TO MINUTE needs d h:m
    EXPECT_EQ(build_interval_literal(false, "1 02:03", 7, 9, 0, -1, &iv), 0);
    EXPECT_EQ(build_interval_literal(false, ".5", 2, 6, 0, -1, &iv), -1);
    EXPECT_EQ(build_interval_literal(false, "5.1234567891", 12, 6, 0, 9, &iv), -1);
    EXPECT_EQ(build_interval_literal(false, "5.123456789", 11, 6, 0, 9, &iv), 0);
    EXPECT_EQ(iv.intval.day_second.fraction, 123456789u);
    EXPECT_EQ(build_interval_literal(false, "1234567890", 10, 3, 9, -1, &iv), -1);
    // More fields than any qualifier has (found by the fuzzer: wrote past
    // the separator array).
    EXPECT_EQ(build_interval_literal(false, "2020-01-02 03:04:05.1", 21, 1, 0, -1, &iv), -1);
    EXPECT_EQ(build_interval_literal(false, "1:2:3:4:5:6", 11, 10, 0, -1, &iv), -1);
}

TEST_F(LiteralTest, ConcurrentParsesAgree) {
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&bad, t] {
            for (int i = 0; i < 500; i++) {
                LiteralResult r;
                char text[64];
                std::snprintf(text, sizeof text, "{d '20%02d-0%d-1%d'}", t, 1 + i % 9, i % 9);
                if (parse_literal(text, LiteralKind::kDate, &r) != 0 || r.year != 2000 + t ||
                    r.month != 1 + i % 9)
                    bad++;
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(bad.load(), 0);
}

}  // namespace
