// Checked integer arithmetic: every overflow and zero divisor is reported.
#include "support/bigint.h"
#include "tests/support_values/value_fixture.h"

namespace {

TEST(BigintTest, CheckedHelpersTable) {
    int64_t r;
    int32_t s;
    EXPECT_EQ(checked_add64(INT64_MAX, 1, &r), kIntOverflow);
    EXPECT_EQ(checked_sub64(INT64_MIN, 1, &r), kIntOverflow);
    EXPECT_EQ(checked_mul64(INT64_MAX / 2 + 1, 2, &r), kIntOverflow);
    EXPECT_EQ(checked_div64(INT64_MIN, -1, &r), kIntOverflow);
    EXPECT_EQ(checked_div64(1, 0, &r), kIntDivZero);
    EXPECT_EQ(checked_mod64(INT64_MIN, -1, &r), kIntOk);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(checked_neg64(INT64_MIN, &r), kIntOverflow);
    EXPECT_EQ(checked_add32(INT32_MAX, 1, &s), kIntOverflow);
    EXPECT_EQ(checked_div32(INT32_MIN, -1, &s), kIntOverflow);
    EXPECT_EQ(checked_neg32(INT32_MIN, &s), kIntOverflow);
    EXPECT_EQ(checked_mod32(INT32_MIN, -1, &s), kIntOk);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(checked_div32(-7, 2, &s), kIntOk);
    EXPECT_EQ(s, -3);
}

class BigintOperationTest : public ValueFixture {};

TEST_F(BigintOperationTest, ValueLevelOperations) {
    struct Case {
        int op;
        int64_t a, b;
        const char *state;  // "" = success
        int64_t want;
    } cases[] = {
        {OP_ADD, 1, 2, "", 3},
        {OP_SUB, INT64_MIN, 1, "22003", 0},
        {OP_MUL, 1LL << 40, 1LL << 40, "22003", 0},
        {OP_DIV, 5, 0, "22012", 0},
        {OP_DIV, INT64_MIN, -1, "22003", 0},
        {OP_DIV, -9, 2, "", -4},
    };
    for (const auto &c : cases) {
        reset();
        Value r{};
        int rc = bigint_operation(bigint(c.a), bigint(c.b), &r, diag, c.op);
        if (*c.state) {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(state(), c.state) << c.a << " " << c.op << " " << c.b;
        } else {
            ASSERT_EQ(rc, 0);
            EXPECT_EQ(r.type, VT_BIGINT);
            EXPECT_EQ(r.data.big, c.want);
        }
    }
}

TEST_F(BigintOperationTest, IntegerOverflowNeverWraps) {
    Value r{};
    EXPECT_EQ(integer_operation(integer(INT32_MAX), integer(1), &r, diag, OP_ADD), -1);
    EXPECT_EQ(state(), "22003");
    reset();
    EXPECT_EQ(integer_operation(integer(INT32_MIN), integer(-1), &r, diag, OP_DIV), -1);
    EXPECT_EQ(state(), "22003");
    reset();
    EXPECT_EQ(integer_operation(nullptr, integer(INT32_MIN), &r, diag, OP_NEG), -1);
    EXPECT_EQ(state(), "22003");
    reset();
    EXPECT_EQ(integer_operation(integer(7), integer(0), &r, diag, OP_DIV), -1);
    EXPECT_EQ(state(), "22012");
}

TEST_F(BigintOperationTest, DoubleWithBigintIsDouble) {
    Value r{};
    ASSERT_EQ(bigint_operation(dbl(1.5), bigint(1), &r, diag, OP_ADD), 0);
    EXPECT_EQ(r.type, VT_DOUBLE);
    EXPECT_DOUBLE_EQ(r.data.d, 2.5);
    EXPECT_EQ(double_operation(dbl(1), dbl(0), &r, diag, OP_DIV), -1);
    EXPECT_EQ(state(), "22012");
}

}  // namespace
