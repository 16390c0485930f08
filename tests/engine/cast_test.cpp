// Casts: every target kind from every source kind, with the error cases.
#include "engine/cast.h"
#include "support/long_buffer.h"
#include "tests/support_values/value_fixture.h"

namespace {

class CastTest : public ValueFixture {
protected:
    // Casts and returns the text form, or "ERR:<state>".
    std::string cast(Value *in, int sql_type, int length = 0, int precision = -1, int scale = -1,
                     int leading = 0, int seconds = -1) {
        reset();
        CastTarget t{sql_type, length, precision, scale, leading, seconds};
        Value *out = nullptr;
        if (cast_value(&t, &env, in, &out) != 0) {
            EXPECT_EQ(out, nullptr);
            return "ERR:" + state();
        }
        last = out;
        if (out->is_null) return "NULL";
        return text_of(out);
    }
    Value *last = nullptr;
};

TEST_F(CastTest, ToCharacter) {
    EXPECT_EQ(cast(integer(42), SQL_VARCHAR, 10), "42");
    EXPECT_EQ(last->length, 2);  // the text's real length, not the declared one
    EXPECT_EQ(cast(integer(42), SQL_CHAR, 5), "42   ");
    EXPECT_EQ(last->length, 5);
    EXPECT_EQ(cast(dbl(1e-7), SQL_VARCHAR), "1e-07");
    EXPECT_EQ(cast(date(2020, 1, 2), SQL_CHAR), "2020-01-02");
    EXPECT_EQ(cast(numeric("-1.50"), SQL_VARCHAR), "-1.50");
    EXPECT_EQ(cast(binary("\x01\x02"), SQL_VARCHAR), "0102");
    EXPECT_EQ(cast(interval(7, true, 1, 2), SQL_VARCHAR), "-1-02");
    std::string big(5000, 'x');
    (void)cast(text(big), SQL_VARCHAR);
    EXPECT_EQ(last->length, kMaxCastText);
}

TEST_F(CastTest, ToIntegers) {
    struct Case {
        Value *in;
        int type;
        const char *want;
    } cases[] = {
        {text("12abc"), SQL_INTEGER, "12"},
        {text("abc"), SQL_INTEGER, "0"},
        {text(" -7 "), SQL_INTEGER, "-7"},
        {dbl(-2.9), SQL_INTEGER, "-2"},
        {dbl(3e9), SQL_INTEGER, "ERR:22003"},
        {bigint(1LL << 40), SQL_INTEGER, "ERR:22003"},
        {text("99999999999"), SQL_INTEGER, "ERR:22003"},
        {integer(40000), SQL_SMALLINT, "ERR:22003"},
        {integer(-129), SQL_TINYINT, "ERR:22003"},
        {numeric("123.9"), SQL_INTEGER, "123"},
        {binary("\x01\x02"), SQL_INTEGER, "ERR:HY000"},
        {binary(std::string("\x01\x00\x00\x00", 4)), SQL_INTEGER, "1"},
        {interval(3, true, 5), SQL_INTEGER, "-5"},
        {interval(10, false, 1, 2, 3, 4), SQL_INTEGER, "0"},
        {text("9223372036854775807"), SQL_BIGINT, "9223372036854775807"},
        {text("9223372036854775808"), SQL_BIGINT, "ERR:22003"},
        {dbl(1e19), SQL_BIGINT, "ERR:22003"},
    };
    for (const auto &c : cases) EXPECT_EQ(cast(c.in, c.type), c.want) << text_of(c.in) << " -> " << c.type;
    EXPECT_EQ(cast(binary("\x01\x02"), SQL_INTEGER), "ERR:HY000");
    EXPECT_EQ(message(), "Underflow in CAST");
}

TEST_F(CastTest, ToBitDoubleNumeric) {
    EXPECT_EQ(cast(integer(5), SQL_BIT), "1");
    EXPECT_EQ(cast(text("0.0"), SQL_BIT), "0");
    EXPECT_EQ(cast(interval(3, false, 0), SQL_BIT), "0");
    EXPECT_EQ(cast(text("2.5e3x"), SQL_DOUBLE), "2500");
    EXPECT_EQ(cast(numeric("0.1"), SQL_DOUBLE), "0.1");
    EXPECT_EQ(cast(dbl(2.345), SQL_NUMERIC, 0, 10, 2), "2.35");
    EXPECT_EQ(cast(text("12.5"), SQL_DECIMAL), "13");  // defaults: precision 15, scale 0
    EXPECT_EQ(cast(integer(12345), SQL_NUMERIC, 0, 4, 0), "ERR:22003");
    EXPECT_EQ(cast(text("abc"), SQL_NUMERIC, 0, 5, 2), "0.00");
    EXPECT_EQ(cast(dbl(1e300), SQL_NUMERIC), "ERR:22003");
}

TEST_F(CastTest, ToBinaryAndLong) {
    EXPECT_EQ(cast(text("ab"), SQL_BINARY, 4), "61620000");
    EXPECT_EQ(cast(text("abcdef"), SQL_VARBINARY, 4), "ERR:HY000");
    EXPECT_EQ(message(), "Overflow in CAST");
    EXPECT_EQ(cast(integer(1), SQL_VARBINARY), "01000000");
    EXPECT_EQ(cast(integer(7), SQL_LONGVARCHAR), "7");
    EXPECT_EQ(last->type, VT_LONG_CHAR);  // one kind per column, never the source's
    EXPECT_EQ(cast(text("xy"), SQL_LONGVARBINARY), "7879");
    EXPECT_EQ(last->type, VT_LONG_BINARY);
}

TEST_F(CastTest, ToDatetimes) {
    EXPECT_EQ(cast(text("2021-02-03"), 91), "2021-02-03");
    EXPECT_EQ(cast(text("{d '2021-02-03'}"), 91), "2021-02-03");
    EXPECT_EQ(cast(text("2020-13-45"), 91), "ERR:22007");
    EXPECT_EQ(cast(integer(5), 91), "ERR:22007");
    EXPECT_EQ(cast(dbl(5), 93), "ERR:22007");
    EXPECT_EQ(cast(timestamp(2020, 1, 2, 3, 4, 5), 91), "2020-01-02");
    EXPECT_EQ(cast(timestamp(2020, 1, 2, 3, 4, 5), 92), "03:04:05");
    EXPECT_EQ(cast(date(2020, 1, 2), 93), "2020-01-02 00:00:00");
    EXPECT_EQ(cast(time(3, 4, 5), 93), "2024-02-29 03:04:05");  // the statement's date
    EXPECT_EQ(cast(text("2020-01-02 03:04:05.25"), 93), "2020-01-02 03:04:05.25");
    DATE_STRUCT bad{2020, 13, 45};
    EXPECT_EQ(cast(binary(std::string(reinterpret_cast<char *>(&bad), 6)), 91), "ERR:22008");
    DATE_STRUCT good{2020, 12, 31};
    EXPECT_EQ(cast(binary(std::string(reinterpret_cast<char *>(&good), 6)), 91), "2020-12-31");
    EXPECT_EQ(cast(binary("abc"), 91), "ERR:HY000");
    TIMESTAMP_STRUCT wide{2020, 1, 1, 0, 0, 0, 1000000000u};
    EXPECT_EQ(cast(binary(std::string(reinterpret_cast<char *>(&wide), 16)), 93), "ERR:22008");
}

TEST_F(CastTest, ToIntervals) {
    EXPECT_EQ(cast(integer(5), 103), "5");
    EXPECT_EQ(last->type, VT_INTERVAL_DS);
    EXPECT_EQ(cast(integer(-5), 101), "-5");
    EXPECT_EQ(last->type, VT_INTERVAL_YM);
    EXPECT_EQ(cast(integer(100), 103), "ERR:22015");
    EXPECT_EQ(cast(integer(100), 103, 0, -1, -1, 3), "100");
    // A leading precision past what the field holds: the field's own limit.
    EXPECT_EQ(cast(integer(100), 103, 0, -1, -1, 25), "100");
    EXPECT_EQ(cast(bigint(1LL << 33), 103, 0, -1, -1, 12), "ERR:22015");
    EXPECT_EQ(cast(text("1 02"), 108), "1 02");
    EXPECT_EQ(cast(text("-3"), 101), "-3");
    EXPECT_EQ(cast(text("1-13"), 107), "ERR:HY000");
    EXPECT_EQ(cast(text("2 03:04:05.5"), 110), "2 03:04:05.5");
    EXPECT_EQ(cast(text("x' DAY}"), 103), "ERR:22015");  // quotes cannot break out of the form
    EXPECT_EQ(cast(interval(4, false, 0, 49), 103), "2");
    EXPECT_EQ(cast(interval(1, false, 2), 102), "24");
    EXPECT_EQ(cast(interval(1, false, 2), 103), "ERR:HY000");
}

TEST_F(CastTest, NullsKeepTheTargetKind) {
    EXPECT_EQ(cast(null_of(VT_CHAR), SQL_INTEGER), "NULL");
    EXPECT_EQ(last->type, VT_INTEGER);
    EXPECT_EQ(cast(null_of(VT_INTEGER), 103), "NULL");
    EXPECT_EQ(last->type, VT_INTERVAL_DS);
    EXPECT_EQ(last->data.iv.interval_type, 3);
    EXPECT_EQ(cast(integer(1), 9999), "ERR:HY000");
}

TEST(AssignableTest, Table) {
    struct Case {
        int source, target, want;
    } cases[] = {
        {4, 1, 1},   {4, 103, 1}, {4, 110, 0}, {4, 91, 0},  {12, 91, 1}, {12, 110, 1},
        {91, 93, 1}, {91, 92, 0}, {92, 93, 1}, {93, 91, 0}, {93, 1, 1},  {-7, 4, 1},
        {-7, 91, 0}, {103, 1, 0}, {103, 4, 0}, {-2, 93, 1}, {91, -4, 1}, {4, -8, 0},
    };
    for (const auto &c : cases) EXPECT_EQ(is_assignable(c.source, c.target), c.want) << c.source << "->" << c.target;
}

}  // namespace

#include "engine/materialise.h"

namespace {

class MaterialiseTest : public ValueFixture {};

TEST_F(MaterialiseTest, LiteralKindsBecomePlainValues) {
    Value *cd = new_value_of_type(pool, VT_CURRENT_TIMESTAMP);
    Value *a = materialise_value(cd, &env), *b = materialise_value(cd, &env);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->type, VT_TIMESTAMP);
    EXPECT_EQ(text_of(a), text_of(b));  // one instant per execution
    EXPECT_EQ(text_of(a), "2024-02-29 13:45:30");
    Value *u = new_value_of_type(pool, VT_USER);
    Value *m = materialise_value(u, &env);
    EXPECT_EQ(m->type, VT_CHAR);
    EXPECT_NE(m->is_null, 0);  // no "UID": NULL
    env.user = "bob";
    EXPECT_EQ(text_of(materialise_value(u, &env)), "bob");
    int16_t small = -5;
    Value *r = new_value_of_type(pool, VT_REF_INT16);
    r->data.ref = &small;
    Value *ri = materialise_value(r, &env);
    EXPECT_EQ(ri->type, VT_INTEGER);
    EXPECT_EQ(ri->data.i, -5);
    SQL_INTERVAL_STRUCT iv{};
    iv.interval_type = SQL_IS_DAY;
    iv.intval.day_second.day = 3;
    Value *ri2 = new_value_of_type(pool, VT_REF_INTERVAL);
    ri2->data.ref = &iv;
    EXPECT_EQ(materialise_value(ri2, &env)->type, VT_INTERVAL_DS);
    Value *plain = text("abc");
    Value *copy = materialise_value(plain, &env);
    EXPECT_NE(copy->data.s, plain->data.s);
    EXPECT_EQ(copy->copy_mark, 0);
}

}  // namespace
