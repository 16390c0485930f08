// The calendar, checked against values worked out with PostgreSQL's
// calendar rules (proleptic Gregorian, ISO day of week shifted to Sunday=0).
#include "support/calendar.h"

#include <gtest/gtest.h>

namespace {

TEST(CalendarTest, JulianDayNumbersAndWeekdays) {
    struct Case {
        int y, m, d;
        int64_t jdn;
        int dow;
    } cases[] = {
        {2000, 1, 1, 2451545, 6},   // Saturday
        {1970, 1, 1, 2440588, 4},   // Thursday
        {2023, 1, 1, 2459946, 0},   // Sunday
        {2024, 2, 29, 2460370, 4},  // Thursday
        {1900, 3, 1, 2415080, 4},
        {1, 1, 1, 1721426, 1},      // Monday in the proleptic calendar
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ymd_to_jdnl(c.y, c.m, c.d), c.jdn) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(jdnl_to_dow(c.jdn), c.dow);
        int64_t y;
        int m, d;
        jdnl_to_ymd(c.jdn, &y, &m, &d);
        EXPECT_EQ(y, c.y);
        EXPECT_EQ(m, c.m);
        EXPECT_EQ(d, c.d);
    }
}

TEST(CalendarTest, LeapYearsAndMonthEnds) {
    EXPECT_TRUE(valid_date(2000, 2, 29));
    EXPECT_FALSE(valid_date(1900, 2, 29));
    EXPECT_TRUE(valid_date(2024, 2, 29));
    EXPECT_FALSE(valid_date(2023, 2, 29));
    EXPECT_FALSE(valid_date(2020, 13, 1));
    EXPECT_FALSE(valid_date(2020, 4, 31));
    EXPECT_FALSE(valid_date(2020, 0, 10));
    EXPECT_FALSE(valid_date(10000, 1, 1));
    EXPECT_EQ(day_of_year(2020, 12, 31), 366);
    EXPECT_EQ(day_of_year(2021, 3, 1), 60);
    EXPECT_TRUE(valid_time(24, 0, 0));
    EXPECT_TRUE(valid_time(23, 59, 62));
    EXPECT_FALSE(valid_time(12, 60, 0));
}

TEST(CalendarTest, MonthArithmeticClampsToMonthEnd) {
    // PostgreSQL: '2020-01-31'::date + interval '1 month' = 2020-02-29.
    TIMESTAMP_STRUCT t{2020, 1, 31, 10, 0, 0, 0};
    ASSERT_EQ(timestamp_add_months(&t, 1), 0);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);
    TIMESTAMP_STRUCT u{2021, 3, 31, 0, 0, 0, 0};
    ASSERT_EQ(timestamp_add(&u, TsiUnit::kMonth, -1), 0);
    EXPECT_EQ(u.month, 2);
    EXPECT_EQ(u.day, 28);
    TIMESTAMP_STRUCT v{9999, 12, 1, 0, 0, 0, 0};
    EXPECT_EQ(timestamp_add(&v, TsiUnit::kMonth, 1), -1);
    EXPECT_EQ(v.year, 9999);  // untouched on failure
}

TEST(CalendarTest, SecondArithmeticCrossesDaysAndYears) {
    TIMESTAMP_STRUCT t{2020, 12, 31, 23, 59, 59, 999999999};
    ASSERT_EQ(timestamp_add_seconds(&t, 0, 1), 0);
    EXPECT_EQ(t.year, 2021);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.fraction, 0u);
    ASSERT_EQ(timestamp_add_seconds(&t, -86400, 0), 0);
    EXPECT_EQ(t.year, 2020);
    EXPECT_EQ(t.day, 31);
    EXPECT_EQ(timestamp_add_seconds(&t, INT64_MAX / 4, 0), -1);
}

TEST(CalendarTest, DifferencesCountWholeUnits) {
    TIMESTAMP_STRUCT a{2020, 1, 31, 0, 0, 0, 0}, b{2020, 2, 29, 0, 0, 0, 0}, c{2020, 3, 31, 0, 0, 0, 0};
    int64_t r;
    ASSERT_EQ(timestamp_diff(&a, &b, TsiUnit::kMonth, &r), 0);
    EXPECT_EQ(r, 0);  // age('2020-02-29','2020-01-31') = 29 days
    ASSERT_EQ(timestamp_diff(&a, &c, TsiUnit::kMonth, &r), 0);
    EXPECT_EQ(r, 2);
    ASSERT_EQ(timestamp_diff(&c, &a, TsiUnit::kMonth, &r), 0);
    EXPECT_EQ(r, -2);
    ASSERT_EQ(timestamp_diff(&a, &c, TsiUnit::kDay, &r), 0);
    EXPECT_EQ(r, 60);
    ASSERT_EQ(timestamp_diff(&a, &c, TsiUnit::kWeek, &r), 0);
    EXPECT_EQ(r, 8);
    EXPECT_EQ(tsi_unit_from_name("sql_tsi_quarter"), TsiUnit::kQuarter);
    EXPECT_EQ(tsi_unit_from_name("DAY"), TsiUnit::kDay);
    EXPECT_EQ(tsi_unit_from_name("fortnight"), TsiUnit::kUnknown);
}

}  // namespace
