// Exact numerics: parsing, printing, arithmetic at the 38-digit limits,
// conversions and the evaluator entry's errors.
#include <cmath>
#include <cstring>
#include <string>

#include "support/numeric.h"
#include "tests/support_values/value_fixture.h"

namespace {

std::string str(const SQL_NUMERIC_STRUCT &n) {
    char buf[128];
    (void)numeric_to_string(&n, buf, sizeof buf, nullptr);
    return buf;
}

SQL_NUMERIC_STRUCT num(const char *s, int precision = 0, int scale = -1) {
    SQL_NUMERIC_STRUCT n{};
    EXPECT_EQ(string_to_numeric(s, &n, precision, scale), kNumOk) << s;
    return n;
}

TEST(NumericTest, ParseAndPrintRoundTrip) {
    struct Case {
        const char *in;
        int precision, scale;
        const char *out;
    } cases[] = {
        {"0", 0, -1, "0"},
        {"123.45", 0, -1, "123.45"},
        {"-0.001", 0, -1, "-0.001"},
        {"  +42abc", 0, -1, "42"},
        {"1e3", 0, -1, "1000"},
        {"1.5e-3", 0, -1, "0.0015"},
        {"2.345", 10, 2, "2.35"},
        {"-2.345", 10, 2, "-2.35"},
        {"2.344", 10, 2, "2.34"},
        {"12", 10, 3, "12.000"},
        {"99999999999999999999999999999999999999", 0, -1, "99999999999999999999999999999999999999"},
        {"-0", 0, -1, "0"},
        // Around the 18 digits read in 64 bits, and the forms rounding to a scale takes.
        {"123456789012345678", 0, -1, "123456789012345678"},
        {"1234567890123456789", 0, -1, "1234567890123456789"},
        {"18446744073709551616", 0, -1, "18446744073709551616"},
        {"-18446744073709551615.5", 0, -1, "-18446744073709551615.5"},
        {"0.000000000000000001", 0, -1, "0.000000000000000001"},
        {"00012.30", 0, -1, "12.30"},
        {".5", 0, -1, "0.5"},
        {"5.", 0, -1, "5"},
        {"-0.004", 10, 2, "0.00"},
        {"0.5", 5, 0, "1"},
        {"1.25", 0, 1, "1.3"},
        {"7", 38, 20, "7.00000000000000000000"},
        {"7", 38, 30, "7.000000000000000000000000000000"},
        {"12.5", 6, -1, "12.5"},
    };
    for (const auto &c : cases) {
        SQL_NUMERIC_STRUCT n{};
        ASSERT_EQ(string_to_numeric(c.in, &n, c.precision, c.scale), kNumOk) << c.in;
        EXPECT_EQ(str(n), c.out) << c.in;
        // The plain form is read apart from the general one (an exponent
        // always takes the general reading): both give the same structure.
        SQL_NUMERIC_STRUCT g{};
        const std::string general = std::string(c.in) + "e0";
        if (std::string(c.in).find_first_of("eE") == std::string::npos &&
            string_to_numeric(general.c_str(), &g, c.precision, c.scale) == kNumOk) {
            EXPECT_EQ(std::memcmp(&n, &g, sizeof n), 0) << c.in;
        }
    }
}

// The plain amount texts printed at a scale without a structure: the same
// text as reading them at that scale and printing (or 0: left to that path).
TEST(NumericTest, PlainDecimalTextAtScaleMatchesParseAndPrint) {
    struct Case {
        const char *in;
        int precision, scale;
        size_t capacity;
        const char *out;  // nullptr: not taken
    } cases[] = {
        {"2.00", 0, 6, 64, "2.000000"},        {"0", 0, 2, 64, "0.00"},
        {"-10.5", 0, 2, 64, "-10.50"},         {"123", 0, 0, 64, "123"},
        {"0.000001", 0, 6, 64, "0.000001"},    {"999999999999.999999", 0, 6, 64, "999999999999.999999"},
        {"12.5", 4, 2, 6, "12.50"},            {"12.5", 0, 2, 5, nullptr},  // no room for the terminator
        {"123.5", 4, 2, 64, nullptr},          // five digits at scale 2: over the precision
        {"1.234", 0, 2, 64, nullptr},          // would round
        {"-0.00", 0, 2, 64, nullptr},          {"-0", 0, 0, 64, nullptr},  // printed unsigned
        {"007", 0, 0, 64, nullptr},            {"+5", 0, 2, 64, nullptr},
        {".5", 0, 2, 64, nullptr},             {"5.", 0, 2, 64, nullptr},
        {"1e3", 0, 2, 64, nullptr},            {" 5", 0, 2, 64, nullptr},
        {"", 0, 2, 64, nullptr},               {"-", 0, 2, 64, nullptr},
        {"1234567890123", 0, 6, 64, nullptr},  // 19 digits once scaled
        {"12", 0, 19, 64, nullptr},            {"1", 0, -1, 64, nullptr},
    };
    for (const Case &c : cases) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        const size_t n = decimal_text_at_scale(c.in, std::strlen(c.in), c.precision, c.scale, out, c.capacity);
        if (!c.out) {
            EXPECT_EQ(n, 0u) << c.in;
            EXPECT_EQ(out[0], 'x') << c.in << ": written though not taken";
            continue;
        }
        EXPECT_EQ(std::string(out, n), c.out) << c.in;
        EXPECT_EQ(out[n], 0) << c.in;
        EXPECT_EQ(str(num(c.in, c.precision > 0 ? c.precision : 38, c.scale)), c.out) << c.in << ": parse and print differ";
    }
}

TEST(NumericTest, ParseFailures) {
    SQL_NUMERIC_STRUCT n{};
    EXPECT_EQ(string_to_numeric("abc", &n, 0, -1), kNumBadText);
    EXPECT_EQ(str(n), "0");
    EXPECT_EQ(string_to_numeric("", &n, 0, -1), kNumBadText);
    EXPECT_EQ(string_to_numeric("123456789012345678901234567890123456789", &n, 0, -1), kNumOverflow);
    EXPECT_EQ(string_to_numeric("1e40", &n, 0, -1), kNumOverflow);
    EXPECT_EQ(string_to_numeric("12345.6", &n, 5, 2), kNumOverflow);  // needs 7 digits
    EXPECT_EQ(string_to_numeric("99999.5", &n, 5, 0), kNumOverflow);  // rounds to 6 digits
    EXPECT_EQ(string_to_numeric(".", &n, 0, -1), kNumBadText);
    EXPECT_EQ(string_to_numeric("-", &n, 0, -1), kNumBadText);
}

TEST(NumericTest, ArithmeticTable) {
    struct Case {
        const char *a, *b;
        int op;  // 1 add 2 sub 4 mul 5 div
        const char *want;
    } cases[] = {
        {"1.5", "2.25", 1, "3.75"},
        {"1.5", "2.25", 2, "-0.75"},
        {"-1.5", "-2.25", 2, "0.75"},
        {"1.5", "2.5", 4, "3.75"},
        {"-3", "0.5", 4, "-1.5"},
        {"1", "3", 5, "0.333333"},
        {"2", "3", 5, "0.666667"},
        {"-7", "2", 5, "-3.500000"},
        {"10", "0.1", 5, "100.000000"},
        {"99999999999999999999999999999999999998", "1", 1, "99999999999999999999999999999999999999"},
        {"0.1", "0.2", 1, "0.3"},
    };
    for (const auto &c : cases) {
        SQL_NUMERIC_STRUCT a = num(c.a), b = num(c.b), r{};
        int rc = c.op == 1   ? numeric_add(&a, &b, &r)
                 : c.op == 2 ? numeric_sub(&a, &b, &r)
                 : c.op == 4 ? numeric_mul(&a, &b, &r)
                             : numeric_div(&a, &b, &r);
        ASSERT_EQ(rc, kNumOk) << c.a << " op" << c.op << " " << c.b;
        EXPECT_EQ(str(r), c.want) << c.a << " op" << c.op << " " << c.b;
    }
}

TEST(NumericTest, OverflowAndDivisionByZeroAreReported) {
    SQL_NUMERIC_STRUCT max = num("99999999999999999999999999999999999999"), one = num("1"),
                       zero = num("0"), r{};
    EXPECT_EQ(numeric_add(&max, &one, &r), kNumOverflow);
    EXPECT_EQ(numeric_mul(&max, &max, &r), kNumOverflow);
    EXPECT_EQ(numeric_div(&one, &zero, &r), kNumDivZero);
    // Products whose fraction does not fit are rounded, not refused.
    SQL_NUMERIC_STRUCT small = num("0.0000000000000000001234567890123456789");
    EXPECT_EQ(numeric_mul(&small, &small, &r), kNumOk);
}

TEST(NumericTest, CompareAcrossScales) {
    SQL_NUMERIC_STRUCT x = num("1.50"), y = num("1.5");
    EXPECT_EQ(numeric_compare(&x, &y), 0);
    SQL_NUMERIC_STRUCT a = num("-2"), b = num("1.999"), z1 = num("0"), z2 = num("-0.000");
    EXPECT_LT(numeric_compare(&a, &b), 0);
    EXPECT_GT(numeric_compare(&b, &a), 0);
    EXPECT_EQ(numeric_compare(&z1, &z2), 0);
}

TEST(NumericTest, ConversionsWithRangeChecks) {
    SQL_NUMERIC_STRUCT n{};
    ASSERT_EQ(int_to_numeric(INT64_MIN, &n, 0, 0), kNumOk);
    EXPECT_EQ(str(n), "-9223372036854775808");
    int64_t b;
    ASSERT_EQ(numeric_to_bigint(&n, &b), kNumOk);
    EXPECT_EQ(b, INT64_MIN);
    SQL_NUMERIC_STRUCT big = num("9223372036854775808");
    EXPECT_EQ(numeric_to_bigint(&big, &b), kNumOverflow);
    int32_t i;
    SQL_NUMERIC_STRUCT t = num("-12.9");
    ASSERT_EQ(numeric_to_int(&t, &i), kNumOk);
    EXPECT_EQ(i, -12);
    SQL_NUMERIC_STRUCT wide = num("2147483648");
    EXPECT_EQ(numeric_to_int(&wide, &i), kNumOverflow);
    ASSERT_EQ(double_to_numeric(1e-7, &n, 0, -1), kNumOk);
    EXPECT_EQ(str(n), "0.0000001");
    ASSERT_EQ(double_to_numeric(0.1, &n, 0, -1), kNumOk);
    EXPECT_EQ(str(n), "0.1");
    EXPECT_DOUBLE_EQ(numeric_to_double(&n), 0.1);
    EXPECT_EQ(double_to_numeric(NAN, &n, 0, -1), kNumOverflow);
    ASSERT_EQ(int_to_numeric(7, &n, 5, 2), kNumOk);
    EXPECT_EQ(str(n), "7.00");
    EXPECT_EQ(int_to_numeric(1000, &n, 5, 2), kNumOverflow);
}

TEST(NumericTest, StructuresWithOddScalesStayInBounds) {
    // Applications may hand any signed scale: the arithmetic must neither
    // index past its tables nor wrap.
    SQL_NUMERIC_STRUCT a = num("5");
    a.scale = 100;
    SQL_NUMERIC_STRUCT b = num("5");
    b.scale = -3;
    SQL_NUMERIC_STRUCT r{};
    EXPECT_EQ(numeric_add(&a, &b, &r), kNumOk);
    EXPECT_EQ(numeric_to_double(&r), 5000.0);  // 5e-100 rounds away
    int64_t v;
    EXPECT_EQ(numeric_to_bigint(&b, &v), kNumOk);
    EXPECT_EQ(v, 5000);
    b.scale = -100;
    EXPECT_EQ(numeric_add(&a, &b, &r), kNumOverflow);
}

class NumericOperationTest : public ValueFixture {};

TEST_F(NumericOperationTest, MixedOperandsAndErrors) {
    Value r{};
    ASSERT_EQ(numeric_operation(numeric("1.25"), integer(2), &r, diag, OP_ADD), 0);
    EXPECT_EQ(r.type, VT_NUMERIC);
    EXPECT_EQ(text_of(&r), "3.25");
    ASSERT_EQ(numeric_operation(numeric("1.25"), dbl(0.5), &r, diag, OP_MUL), 0);
    EXPECT_EQ(text_of(&r), "0.625");
    ASSERT_EQ(numeric_operation(numeric("1.0"), integer(1), &r, diag, OP_EQ), 0);
    EXPECT_EQ(get_trivalue_from_value(&r), kTrue);
    ASSERT_EQ(numeric_operation(null_of(VT_NUMERIC), integer(1), &r, diag, OP_LT), 0);
    EXPECT_EQ(get_trivalue_from_value(&r), kUnknown);
    EXPECT_EQ(numeric_operation(numeric("1"), numeric("0"), &r, diag, OP_DIV), -1);
    EXPECT_EQ(state(), "22012");
    reset();
    EXPECT_EQ(numeric_operation(numeric("99999999999999999999999999999999999999"), integer(1), &r,
                                diag, OP_ADD),
              -1);
    EXPECT_EQ(state(), "22003");
}

}  // namespace
