// Type templates, type classes, the combination rules and the descriptions
// of literals, casts, CASE, set functions and scalar functions.
#include <cstring>

#include "engine/functions.h"
#include "engine/types.h"
#include "tests/support_values/value_fixture.h"

namespace {

TEST(TypeTemplateTest, TemplateTable) {
    struct Case {
        int code;
        const char *type_name, *local_name;
        int display, length, precision, column_size, digits, radix, searchable, verbose;
    } cases[] = {
        {1, "CHARACTER", "SQL_CHAR", 255, 255, 0, 255, 255, 0, 3, 1},
        {12, "CHARACTER VARYING", "SQL_VARCHAR", 255, 255, 0, 255, 255, 0, 3, 12},
        {-1, "LONG VARCHAR", "SQL_LONGVARCHAR", 2147483647, 2147483647, 2147483647, 2147483647, 2147483647, 0, 1, -1},
        {2, "NUMERIC", "SQL_NUMERIC", 22, 19, 16, 22, 22, 10, 3, 2},
        {3, "DECIMAL", "SQL_DECIMAL", 22, 8, 15, 22, 22, 10, 3, 3},
        {4, "INTEGER", "SQL_INTEGER", 11, 4, 10, 10, 10, 10, 3, 4},
        {5, "SMALLINT", "SQL_SMALLINT", 6, 2, 6, 5, 5, 10, 3, 5},
        {-6, "TINYINT", "SQL_TINYINT", 4, 1, 4, 3, 3, 10, 3, -6},
        {-5, "BIGINT", "SQL_BIGINT", 20, 20, 20, 19, 19, 10, 3, -5},
        {6, "FLOAT", "SQL_FLOAT", 22, 8, 15, 15, 53, 2, 3, 6},
        {7, "REAL", "SQL_REAL", 13, 4, 7, 7, 24, 2, 3, 6},
        {8, "DOUBLE PRECISION", "SQL_DOUBLE", 22, 8, 15, 15, 53, 2, 3, 8},
        {-7, "BIT", "SQL_BIT", 1, 1, 1, 1, 1, 10, 3, -7},
        {-2, "BINARY", "SQL_BINARY", 255, 255, 0, 255, 255, 0, 0, -2},
        {91, "DATE", "SQL_DATE", 10, 6, 0, 10, 10, 0, 3, 9},
        {10, "TIME", "SQL_TIME", 8, 6, 0, 8, 8, 0, 3, 9},
        {93, "TIMESTAMP", "SQL_TIMESTAMP", 19, 16, 0, 19, 19, 0, 3, 9},
        {110, "INTERVAL DAY TO SECOND", "SQL_INTERVAL_DAY_TO_SECOND", 18, 28, 0, 18, 18, 0, 3, 10},
        {107, "INTERVAL YEAR TO MONTH", "SQL_INTERVAL_YEAR_TO_MONTH", 5, 28, 0, 5, 5, 0, 3, 10},
        {113, "INTERVAL MINUTE TO SECOND", "SQL_INTERVAL_MINUTE_TO_SECOND", 12, 28, 0, 12, 12, 0, 3, 10},
    };
    for (const auto &c : cases) {
        ExtendedType t{};
        ASSERT_EQ(type_template(c.code, &t), 0) << c.code;
        EXPECT_EQ(t.sql_type, c.code);
        EXPECT_STREQ(t.type_name, c.type_name);
        EXPECT_STREQ(t.local_name, c.local_name);
        EXPECT_EQ(t.display_size, c.display) << c.code;
        EXPECT_EQ(t.length, c.length) << c.code;
        EXPECT_EQ(t.precision, c.precision) << c.code;
        EXPECT_EQ(t.column_size, c.column_size) << c.code;
        EXPECT_EQ(t.digits, c.digits) << c.code;
        EXPECT_EQ(t.radix, c.radix) << c.code;
        EXPECT_EQ(t.searchable, c.searchable) << c.code;
        EXPECT_EQ(t.verbose_type, c.verbose) << c.code;
        EXPECT_EQ(t.nullable, 1);
        EXPECT_EQ(t.updatable, 2);
    }
    ExtendedType t{};
    t.sql_type = 777;
    EXPECT_EQ(type_template(-99, &t), -1);
    EXPECT_EQ(t.sql_type, 777);  // untouched
    ASSERT_EQ(type_template(110, &t), 0);
    EXPECT_STREQ(t.literal_prefix, "{INTERVAL");
    EXPECT_STREQ(t.literal_suffix, "DAY TO SECOND}");
    EXPECT_STREQ(t.create_params, "precision,scale");
    EXPECT_EQ(t.scale, 6);
    ASSERT_EQ(type_template(1, &t), 0);
    EXPECT_EQ(t.case_sensitive, 1);
    EXPECT_STREQ(t.literal_prefix, "'");
}

TEST(TypeClassTest, Classes) {
    EXPECT_EQ(type_class(12), kClassCharacter);
    EXPECT_EQ(type_class(-7), kClassNumeric);
    EXPECT_EQ(type_class(-4), kClassBinary);
    EXPECT_EQ(type_class(91), kClassDatetime);
    EXPECT_EQ(type_class_fine(91), kClassDate);
    EXPECT_EQ(type_class_fine(10), kClassTime);
    EXPECT_EQ(type_class_fine(93), kClassDatetime);
    EXPECT_EQ(type_class(107), kClassIntervalYM);
    EXPECT_EQ(type_class(113), kClassIntervalDS);
    EXPECT_EQ(type_class(-8), kClassUnknown);  // wide types never reach the rules
}

constexpr int CMP = TYPE_COMPARABLE, BAD = TYPE_INCOMPATIBLE;

TEST(TypeCombinationTest, CombinationTable) {
    struct Case {
        int l, r, op, want;
    } cases[] = {
        // Character operands.
        {1, 1, OP_ADD, 1},
        {1, 12, OP_ADD, 12},
        {1, 1, OP_SUB, BAD},
        {1, 4, OP_CONCAT, 12},
        {4, 1, OP_CONCAT, 12},
        // LONG VARCHAR joined with anything is LONG VARCHAR; it compares
        // with every character type.
        {1, -1, OP_CONCAT, -1},
        {-1, 12, OP_ADD, -1},
        {-1, -1, OP_CONCAT, -1},
        {-1, 4, OP_CONCAT, -1},
        {4, -1, OP_CONCAT, -1},
        {2, -1, OP_ADD, -1},
        {-1, 1, OP_EQ, CMP},
        {12, -1, OP_LT, CMP},
        {-1, 91, OP_EQ, CMP},
        {-1, -1, OP_SUB, BAD},
        {1, 12, OP_EQ, CMP},
        {1, 1, OP_NEG, BAD},
        {91, 1, OP_EQ, CMP},
        {91, 1, OP_ADD, BAD},
        // Numbers: the larger type, DOUBLE beating BIGINT.
        {8, -5, OP_ADD, 8},
        {-5, 8, OP_ADD, 8},
        {4, 7, OP_ADD, 7},
        {7, 6, OP_ADD, 6},
        {3, 2, OP_ADD, 2},
        {-7, -6, OP_MUL, -6},
        {5, 4, OP_DIV, 4},
        {4, -5, OP_SUB, -5},
        {-5, 4, OP_SUB, -5},
        {4, 4, OP_CONCAT, BAD},
        {4, 4, OP_LT, CMP},
        {0, 4, OP_NEG, 4},
        // Datetimes.
        {91, 4, OP_ADD, 93},
        {4, 91, OP_ADD, 93},
        {9, 4, OP_ADD, 11},
        {91, 4, OP_MUL, BAD},
        {91, 4, OP_EQ, BAD},
        {91, 8, OP_EQ, CMP},
        {91, 103, OP_ADD, 91},
        {103, 91, OP_ADD, 93},
        {93, 110, OP_SUB, 93},
        {91, 92, OP_EQ, BAD},
        {91, 93, OP_EQ, CMP},
        {92, 93, OP_LT, CMP},
        {93, 91, OP_GE, CMP},
        {91, 91, OP_ADD, BAD},
        // Intervals.
        {101, 102, OP_ADD, 107},
        {101, 101, OP_ADD, 101},
        {104, 105, OP_ADD, 110},
        {105, 106, OP_ADD, 113},
        {112, 112, OP_SUB, 112},
        {101, 103, OP_ADD, BAD},
        {101, 103, OP_EQ, CMP},
        {4, 103, OP_MUL, 103},
        {2, 103, OP_MUL, BAD},
        {8, 103, OP_ADD, BAD},
        {103, 103, OP_CONCAT, BAD},
        {1, 103, OP_ADD, BAD},
        {1, 103, OP_EQ, CMP},
        {103, 1, OP_ADD, 12},
        {103, 4, OP_MUL, 103},
        {107, -5, OP_ADD, 107},
        {103, -7, OP_SUB, 103},
        {103, 2, OP_ADD, BAD},
        {103, 8, OP_ADD, BAD},
        {103, 4, OP_LT, CMP},
        // Binary: any two binary values compare (a condition), nothing else does.
        {-2, -2, OP_EQ, CMP},
        {-2, -3, OP_EQ, CMP},
        {-4, -2, OP_LT, CMP},
        {-3, -4, OP_NE, CMP},
        {4, -2, OP_EQ, BAD},
        {1, -3, OP_GE, BAD},
        {91, -2, OP_EQ, BAD},
        {-2, -2, OP_CONCAT, BAD},
    };
    for (const auto &c : cases)
        EXPECT_EQ(check_type_combination(c.l, c.r, c.op), c.want)
            << "L=" << c.l << " R=" << c.r << " op=" << c.op;
}

TEST(TypeCombinationTest, PrecisionAndScale) {
    ExtendedType a, b, out;
    ASSERT_EQ(type_template(2, &a), 0);
    ASSERT_EQ(type_template(2, &b), 0);
    a.precision = 5, a.scale = 2;
    b.precision = 4, b.scale = 1;
    EXPECT_EQ(combine_types(&a, &b, OP_MUL, &out), 2);
    EXPECT_EQ(out.precision, 9);
    EXPECT_EQ(out.scale, 3);
    EXPECT_EQ(combine_types(&a, &b, OP_ADD, &out), 2);
    EXPECT_EQ(out.precision, 5);
    EXPECT_EQ(out.scale, 2);
    ExtendedType i;
    ASSERT_EQ(type_template(4, &i), 0);
    EXPECT_EQ(combine_types(&i, &a, OP_ADD, &out), 2);
    EXPECT_EQ(out.precision, 15);  // an operand without one counts as 15
    ExtendedType y, d;
    ASSERT_EQ(type_template(101, &y), 0);
    ASSERT_EQ(type_template(102, &d), 0);
    y.interval_precision = 4;
    EXPECT_EQ(combine_types(&y, &d, OP_ADD, &out), 107);
    EXPECT_EQ(out.interval_precision, 4);
    EXPECT_EQ(combine_types(&i, &i, OP_LT, nullptr), TYPE_COMPARABLE);
}

class DescribeTest : public ValueFixture {};

TEST_F(DescribeTest, Literals) {
    ExtendedType t{};
    ASSERT_EQ(describe_value(numeric("123.45"), 3, &t), 0);
    EXPECT_EQ(t.sql_type, 2);
    EXPECT_EQ(t.precision, 5);
    EXPECT_EQ(t.scale, 2);
    EXPECT_EQ(t.length, 7);
    ASSERT_EQ(describe_value(date(2020, 1, 1), 2, &t), 0);
    EXPECT_EQ(t.sql_type, 9);
    ASSERT_EQ(describe_value(date(2020, 1, 1), 3, &t), 0);
    EXPECT_EQ(t.sql_type, 91);
    ASSERT_EQ(describe_value(text("hello"), 3, &t), 0);
    EXPECT_EQ(t.sql_type, 1);
    EXPECT_EQ(t.length, 5);
    EXPECT_EQ(t.display_size, 5);
    ASSERT_EQ(describe_value(binary("abc"), 3, &t), 0);
    EXPECT_EQ(t.display_size, 6);
    Value *iv = interval(10, false, 1, 2, 3, 4);
    iv->interval_leading_precision = 3;
    ASSERT_EQ(describe_value(iv, 3, &t), 0);
    EXPECT_EQ(t.display_size, 12);  // P + 9
    iv->interval_seconds_precision = 2;
    ASSERT_EQ(describe_value(iv, 3, &t), 0);
    EXPECT_EQ(t.display_size, 15);  // S + P + 10
    t.sql_type = 555;
    EXPECT_EQ(describe_value(bigint(1), 3, &t), -1);
    EXPECT_EQ(t.sql_type, 555);
}

TEST_F(DescribeTest, CastsCaseAndSetFunctions) {
    ExtendedType t{};
    CastTarget vc{12, 20, -1, -1, 0, -1};
    ASSERT_EQ(describe_cast(&vc, 3, &t), 0);
    EXPECT_EQ(t.length, 20);
    CastTarget nm{2, 0, 10, 3, 0, -1};
    ASSERT_EQ(describe_cast(&nm, 3, &t), 0);
    EXPECT_EQ(t.precision, 10);
    EXPECT_EQ(t.scale, 3);
    CastTarget ts{93, 0, 3, -1, 0, -1};
    ASSERT_EQ(describe_cast(&ts, 2, &t), 0);
    EXPECT_EQ(t.sql_type, 11);
    EXPECT_EQ(t.display_size, 23);
    ExtendedType a, b, c;
    ASSERT_EQ(type_template(12, &a), 0);
    ASSERT_EQ(type_template(12, &b), 0);
    a.length = a.display_size = 3;
    b.length = b.display_size = 10;
    const ExtendedType *results[] = {&a, nullptr, &b};
    describe_case(results, 3, &c);
    EXPECT_EQ(c.length, 10);
    describe_concat(&a, &b, &c);
    EXPECT_EQ(c.length, 13);
    ExtendedType i;
    ASSERT_EQ(type_template(4, &i), 0);
    describe_set_function(SetFunctionKind::kSum, &i, &c);
    EXPECT_EQ(c.sql_type, SQL_BIGINT);  // SUM of integers adds in checked 64-bit integers
    describe_set_function(SetFunctionKind::kAvg, &i, &c);
    EXPECT_EQ(c.sql_type, 8);
    describe_set_function(SetFunctionKind::kCount, nullptr, &c);
    EXPECT_EQ(c.sql_type, 4);
    describe_set_function(SetFunctionKind::kMax, &a, &c);
    EXPECT_EQ(c.length, 3);
}

TEST_F(DescribeTest, ScalarFunctions) {
    ExtendedType s, l, out;
    ASSERT_EQ(type_template(12, &s), 0);
    s.length = 10;
    ASSERT_EQ(type_template(-1, &l), 0);
    const ExtendedType *one[] = {&s};
    int64_t no_literals[] = {-1, -1, -1, -1};
    ASSERT_EQ(describe_scalar_function(kFnUcase, 1, one, no_literals, &out), 0);
    EXPECT_EQ(out.sql_type, 12);
    EXPECT_EQ(out.length, 10);
    const ExtendedType *lng[] = {&l};
    ASSERT_EQ(describe_scalar_function(kBuiltinUpper, 1, lng, no_literals, &out), 0);
    EXPECT_EQ(out.sql_type, SQL_LONGVARCHAR);
    EXPECT_EQ(out.length, 2147483647);
    const ExtendedType *rep[] = {&s, nullptr};
    int64_t count[] = {-1, 3};
    ASSERT_EQ(describe_scalar_function(kFnRepeat, 2, rep, count, &out), 0);
    EXPECT_EQ(out.length, 30);
    ASSERT_EQ(describe_scalar_function(kFnSoundex, 1, one, no_literals, &out), 0);
    EXPECT_EQ(out.length, 4);
    ASSERT_EQ(describe_scalar_function(kFnDayname, 1, one, no_literals, &out), 0);
    EXPECT_EQ(out.length, 64);
    ASSERT_EQ(describe_scalar_function(kFnSqrt, 1, one, no_literals, &out), 0);
    EXPECT_EQ(out.sql_type, 8);
    ASSERT_EQ(describe_scalar_function(kFnMonth, 1, one, no_literals, &out), 0);
    EXPECT_EQ(out.sql_type, 4);
    ASSERT_EQ(describe_scalar_function(kFnNow, 0, nullptr, nullptr, &out), 0);
    EXPECT_EQ(out.sql_type, 93);
    EXPECT_EQ(describe_scalar_function(999, 0, nullptr, nullptr, &out), -1);
}

}  // namespace
