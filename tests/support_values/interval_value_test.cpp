// Intervals, long buffers, value printing, readers and comparison.
#include <cmath>

#include "support/interval.h"
#include "support/long_buffer.h"
#include "tests/support_values/value_fixture.h"

namespace {

class IntervalTest : public ValueFixture {};

TEST_F(IntervalTest, TextForms) {
    struct Case {
        int code;
        bool neg;
        unsigned a, b, c, d, f;
        const char *text;
    } cases[] = {
        {1, false, 3, 0, 0, 0, 0, "3"},
        {7, true, 1, 2, 0, 0, 0, "-1-02"},
        {10, false, 3, 4, 5, 6, 500000000, "3 04:05:06.5"},
        {13, false, 0, 0, 12, 30, 0, "12:30"},
        {6, false, 0, 0, 0, 61, 0, "61"},
    };
    for (const auto &c : cases) {
        Value *v = interval(c.code, c.neg, c.a, c.b, c.c, c.d, c.f);
        EXPECT_EQ(text_of(v), c.text);
    }
}

TEST_F(IntervalTest, ArithmeticFollowsTheTypeRules) {
    Value r{};
    // YEAR + MONTH is YEAR TO MONTH.
    ASSERT_EQ(interval_operation(interval(1, false, 1), interval(2, false, 0, 14), &r, diag, OP_ADD), 0);
    EXPECT_EQ(r.data.iv.interval_type, 7);
    EXPECT_EQ(text_of(&r), "2-02");
    // HOUR + MINUTE is DAY TO SECOND.
    ASSERT_EQ(interval_operation(interval(4, false, 0, 25), interval(5, false, 0, 0, 30), &r, diag, OP_ADD), 0);
    EXPECT_EQ(r.data.iv.interval_type, 10);
    EXPECT_EQ(text_of(&r), "1 01:30:00");
    // Year-month with day-time is refused.
    EXPECT_EQ(interval_operation(interval(1, false, 1), interval(3, false, 1), &r, diag, OP_ADD), -1);
    reset();
    // DATE + INTERVAL '1' MONTH clamps at the month end and stays a date.
    ASSERT_EQ(interval_operation(date(2020, 1, 31), interval(2, false, 0, 1), &r, diag, OP_ADD), 0);
    EXPECT_EQ(r.type, VT_DATE);
    EXPECT_EQ(text_of(&r), "2020-02-29");
    // A time of day wraps around midnight.
    ASSERT_EQ(interval_operation(time(23, 0, 0), interval(4, false, 0, 2), &r, diag, OP_ADD), 0);
    EXPECT_EQ(text_of(&r), "01:00:00");
    // Negation and comparison.
    ASSERT_EQ(interval_operation(nullptr, interval(3, false, 2), &r, diag, OP_NEG), 0);
    EXPECT_EQ(text_of(&r), "-2");
    ASSERT_EQ(interval_operation(interval(4, false, 0, 24), interval(3, false, 1), &r, diag, OP_EQ), 0);
    EXPECT_EQ(get_trivalue_from_value(&r), kTrue);
    // Overflow of the leading field and division by zero.
    EXPECT_EQ(interval_operation(integer(1000000), interval(3, false, 999999999), &r, diag, OP_MUL), -1);
    EXPECT_EQ(state(), "22015");
    reset();
    EXPECT_EQ(interval_operation(integer(0), interval(3, false, 5), &r, diag, OP_DIV), -1);
    EXPECT_EQ(state(), "22012");
    reset();
    EXPECT_EQ(interval_operation(date(9999, 12, 31), interval(3, false, 1), &r, diag, OP_ADD), -1);
    EXPECT_EQ(state(), "22008");
}

TEST(LongBufferTest, AppendExtractRewindAndLimit) {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    LongBuffer *lb = allocate_long_buffer(pool, 10, SQL_LONGVARCHAR);
    ASSERT_NE(lb, nullptr);
    ASSERT_EQ(append_to_long_buffer(lb, "hello", 5), 0);
    ASSERT_EQ(append_to_long_buffer(lb, "world", 5), 0);
    EXPECT_EQ(append_to_long_buffer(lb, "!", 1), -1);  // the limit holds
    EXPECT_EQ(long_buffer_length(lb), 10u);
    char out[4];
    EXPECT_EQ(extract_from_long_buffer(lb, out, 4), 4u);
    EXPECT_EQ(std::string(out, 4), "hell");
    EXPECT_EQ(extract_from_long_buffer(lb, out, 4), 4u);
    EXPECT_EQ(extract_from_long_buffer(lb, out, 4), 2u);
    EXPECT_EQ(extract_from_long_buffer(lb, out, 4), 0u);
    rewind_long_buffer(lb);
    EXPECT_EQ(extract_from_long_buffer(lb, out, 1), 1u);
    EXPECT_STREQ(long_buffer_data(lb), "helloworld");
    cv_mem_release_handle(pool);
}

class ValueOpsTest : public ValueFixture {};

TEST_F(ValueOpsTest, TextForms) {
    EXPECT_EQ(text_of(integer(-5)), "-5");
    EXPECT_EQ(text_of(bigint(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(text_of(dbl(1e-7)), "1e-07");  // never "0.000000"
    EXPECT_EQ(text_of(dbl(2.5)), "2.5");
    EXPECT_EQ(text_of(dbl(0.1)), "0.1");
    EXPECT_EQ(text_of(dbl(1.0 / 3)), "0.3333333333333333");
    EXPECT_EQ(text_of(date(2020, 1, 2)), "2020-01-02");
    EXPECT_EQ(text_of(time(1, 2, 3)), "01:02:03");
    EXPECT_EQ(text_of(timestamp(2020, 1, 2, 3, 4, 5)), "2020-01-02 03:04:05");
    EXPECT_EQ(text_of(timestamp(2020, 1, 2, 3, 4, 5, 500000000)), "2020-01-02 03:04:05.5");
    EXPECT_EQ(text_of(numeric("-12.50")), "-12.50");
    EXPECT_EQ(text_of(binary(std::string("\x01\xab", 2))), "01AB");
    char small[4];
    size_t len;
    EXPECT_EQ(value_as_text(text("abcdef"), small, sizeof small, &len), 1);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(len, 6u);
    EXPECT_EQ(format_double(std::strtod(text_of(dbl(123456.789e-300)).c_str(), nullptr), nullptr, 0),
              format_double(123456.789e-300, nullptr, 0));
}

TEST_F(ValueOpsTest, ReadersRefuseOutOfRange) {
    int32_t i;
    int64_t b;
    double d;
    EXPECT_EQ(get_int_from_value(bigint(1LL << 40), &i), -1);
    EXPECT_EQ(get_int_from_value(dbl(3e9), &i), -1);
    EXPECT_EQ(get_int_from_value(dbl(-2.9), &i), 0);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(get_bigint_from_value(dbl(1e19), &b), -1);
    EXPECT_EQ(get_bigint_from_value(text("  42abc"), &b), 0);
    EXPECT_EQ(b, 42);
    EXPECT_EQ(get_bigint_from_value(text("abc"), &b), 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(get_double_from_value(numeric("1.5"), &d), 0);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(get_double_from_value(date(2020, 1, 1), &d), -1);
}

TEST_F(ValueOpsTest, CompareValuesTable) {
    struct Case {
        Value *a, *b;
        int sign;
    } cases[] = {
        {integer(1), dbl(1.5), -1},
        {bigint(INT64_MAX), bigint(INT64_MAX - 1), 1},
        {numeric("1.50"), integer(1), 1},
        {numeric("2.0"), dbl(2.0), 0},
        {text("abc"), text("abc   "), 0},
        {text("abc"), text("abd"), -1},
        {text("b"), text("abc"), 1},
        {binary("ab"), binary("abc"), -1},
        {date(2020, 1, 2), timestamp(2020, 1, 2, 0, 0, 0), 0},
        {date(2020, 1, 2), timestamp(2020, 1, 2, 0, 0, 1), -1},
        {time(10, 0, 0), time(9, 59, 59), 1},
        {interval(4, false, 0, 24), interval(3, false, 1), 0},
        {null_of(VT_INTEGER), integer(1), -1},
    };
    for (const auto &c : cases) {
        int r = compare_values(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << text_of(c.a) << " vs " << text_of(c.b);
    }
}

TEST_F(ValueOpsTest, DuplicateOwnsItsBuffer) {
    Value *a = text("hello");
    Value *b = duplicate_value(a, pool);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->data.s, b->data.s);
    EXPECT_EQ(b->owns_data, 1);
    a->data.s[0] = 'J';
    EXPECT_EQ(text_of(b), "hello");
    Value *c = duplicate_value_ex(b, pool);
    EXPECT_EQ(c->copy_mark, 0);
    release_value(b);
    release_value(c);
    EXPECT_EQ(NewValue(pool, -1), nullptr);
    EXPECT_EQ(NewValue(pool, kMaxCharValue + 1), nullptr);
}

TEST_F(ValueOpsTest, AllocationFailureIsReported) {
    cv_mem_fail_after(1);
    EXPECT_EQ(NewValue(pool, 10), nullptr);
    cv_mem_fail_after(2);
    EXPECT_EQ(NewValue(pool, 10), nullptr);  // the buffer fails after the record
    cv_mem_fail_after(0);
    Value *v = text("x");
    cv_mem_fail_after(2);
    EXPECT_EQ(duplicate_value(v, pool), nullptr);
    cv_mem_fail_after(0);
}

TEST_F(ValueOpsTest, TruthValues) {
    Value v{};
    set_trivalue_in_value(&v, kUnknown);
    EXPECT_EQ(get_trivalue_from_value(&v), kUnknown);
    EXPECT_NE(v.is_null, 0);
    set_trivalue_in_value(&v, kTrue);
    EXPECT_EQ(get_trivalue_from_value(&v), kTrue);
    set_trivalue_in_value(&v, kFalse);
    EXPECT_EQ(get_trivalue_from_value(&v), kFalse);
}

}  // namespace

#include "support/str_buffer.h"

namespace {

TEST(StrBufferTest, BoundedCopiesReportFullLength) {
    char out[6];
    SQLSMALLINT len16 = 0;
    EXPECT_EQ(copy_str_buffer(out, sizeof out, &len16, "hello world"), 1);
    EXPECT_STREQ(out, "hello");
    EXPECT_EQ(len16, 11);
    SQLLEN len = 0;
    EXPECT_EQ(copy_str_bufferl(out, sizeof out, &len, "hi"), 0);
    EXPECT_STREQ(out, "hi");
    EXPECT_EQ(len, 2);
    SQLINTEGER len32 = 0;
    EXPECT_EQ(copy_str_bufferi(out, 4, &len32, "h\xC3\xA9llo"), 1);
    EXPECT_STREQ(out, "h\xC3\xA9");  // cut at a whole character
    EXPECT_EQ(copy_str_bufferi(nullptr, 0, &len32, nullptr), 0);
    EXPECT_EQ(len32, 0);
    EXPECT_EQ(copy_str_buffer(out, 0, nullptr, "x"), 1);
}

}  // namespace
