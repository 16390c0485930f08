// The scalar function library: the table itself, then every function with
// its NULL, boundary and error cases, table-driven.
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "engine/functions.h"
#include "tests/support_values/value_fixture.h"

namespace {

TEST(FunctionTableTest, SortedLookupAndRanges) {
    for (int i = 1; i < kScalarFunctionCount; i++)
        ASSERT_LT(std::strcmp(scalar_functions[i - 1].name, scalar_functions[i].name), 0)
            << scalar_functions[i].name;
    for (const ScalarFunction &f : scalar_functions) {
        EXPECT_EQ(find_scalar_function(f.name), f.code) << f.name;
        EXPECT_NE(scalar_handler(f.code), nullptr) << f.name;
    }
    EXPECT_EQ(find_scalar_function("soundex"), kFnSoundex);
    EXPECT_EQ(find_scalar_function("Char_Length"), kFnCharLength);
    EXPECT_EQ(find_scalar_function("NOPE"), kFunctionNotFound);
    EXPECT_EQ(find_scalar_function(""), kFunctionNotFound);
    EXPECT_EQ(find_scalar_function(nullptr), kFunctionNotFound);
    int lo, hi;
    ASSERT_EQ(argument_range(kFnLocate, &lo, &hi), 0);
    EXPECT_EQ(lo, 2);
    EXPECT_EQ(hi, 3);
    ASSERT_EQ(argument_range(kFnRand, &lo, &hi), 0);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 1);
    ASSERT_EQ(argument_range(kFnSubstring, &lo, &hi), 0);  // first entry: MID
    EXPECT_EQ(lo, 2);
    EXPECT_STREQ(scalar_function_name(kFnDayofweek), "DAYOFWEEK");
    EXPECT_EQ(scalar_function_entry(12345), nullptr);
    EXPECT_EQ(builtin_function_entry(kBuiltinTrim)->argument_count, 3);
    EXPECT_STREQ(scalar_function_name(kBuiltinCharLength), "CHARACTER_LENGTH");
}

class FunctionTest : public ValueFixture {
protected:
    // The result as text, "NULL", or "ERR:<state>:<message>".
    std::string call(int code, std::initializer_list<Value *> args) {
        reset();
        std::vector<Value *> a(args);
        Value *out = nullptr;
        if (call_scalar_function(code, &env, static_cast<int>(a.size()), a.data(), &out) != 0) {
            EXPECT_EQ(out, nullptr);
            return "ERR:" + state() + ":" + message();
        }
        last = out;
        if (out->is_null) return "NULL";
        return text_of(out);
    }
    Value *last = nullptr;
};

TEST_F(FunctionTest, Numeric) {
    struct Case {
        int code;
        std::vector<Value *> args;
        const char *want;
    };
    std::vector<Case> cases = {
        {kFnAbs, {integer(-5)}, "5"},
        {kFnAbs, {integer(INT32_MIN)}, "ERR:22003:Numeric value out of range"},
        {kFnAbs, {bigint(INT64_MIN)}, "ERR:22003:Numeric value out of range"},
        {kFnAbs, {numeric("-1.25")}, "1.25"},
        {kFnAbs, {dbl(-0.5)}, "0.5"},
        {kFnAbs, {null_of(VT_INTEGER)}, "NULL"},
        {kFnAcos, {dbl(2)}, "ERR:HY000:DOMAIN error"},
        {kFnAsin, {dbl(1)}, "1.5707963267948966"},
        {kFnSqrt, {dbl(-1)}, "ERR:HY000:DOMAIN error"},
        {kFnSqrt, {integer(16)}, "4"},
        {kFnLog, {dbl(0)}, "ERR:HY000:DOMAIN error"},
        {kFnLog10, {dbl(1000)}, "3"},
        {kFnCot, {dbl(0)}, "ERR:HY000:DOMAIN error"},
        {kFnExp, {dbl(1000)}, "ERR:22003:Numeric value out of range"},
        {kFnCeiling, {dbl(1.2)}, "2"},
        {kFnCeiling, {dbl(-1.2)}, "-1"},
        {kFnCeiling, {dbl(3e9)}, "ERR:22003:Numeric value out of range"},
        {kFnFloor, {dbl(-1.2)}, "-2"},
        {kFnFloor, {dbl(-3e9)}, "ERR:22003:Numeric value out of range"},
        {kFnSign, {dbl(-0.1)}, "-1"},
        {kFnSign, {integer(0)}, "0"},
        {kFnMod, {integer(7), integer(3)}, "1"},
        {kFnMod, {integer(-7), integer(3)}, "-1"},
        {kFnMod, {integer(5), integer(0)}, "ERR:22012:Division by zero"},
        {kFnMod, {integer(INT32_MIN), integer(-1)}, "ERR:22003:Numeric value out of range"},
        {kFnMod, {integer(INT32_MIN), integer(1)}, "0"},
        {kFnMod, {bigint(1LL << 40), integer(3)}, "ERR:22003:Numeric value out of range"},
        {kFnPower, {dbl(2), integer(10)}, "1024"},
        {kFnPower, {dbl(0), integer(-1)}, "ERR:HY000:DOMAIN error"},
        {kFnPower, {dbl(10), integer(400)}, "ERR:22003:Numeric value out of range"},
        {kFnRound, {dbl(7.25), integer(1)}, "7.3"},
        {kFnRound, {dbl(-1.5), integer(0)}, "-1"},
        {kFnRound, {dbl(-1.6), integer(0)}, "-2"},
        {kFnRound, {dbl(1234.5), integer(-2)}, "1200"},
        {kFnRound, {dbl(1.5), integer(400)}, "1.5"},
        {kFnRound, {dbl(1e300), integer(10)}, "1e+300"},
        {kFnTruncate, {dbl(7.25), integer(1)}, "7.2"},
        {kFnTruncate, {dbl(-7.25), integer(1)}, "-7.2"},
        {kFnDegrees, {dbl(M_PI)}, "180"},
        {kFnRadians, {dbl(180)}, "3.141592653589793"},
        {kFnAtan2, {dbl(1), dbl(1)}, "0.7853981633974483"},
        {kFnPi, {}, "3.141592653589793"},
        {kFnSin, {null_of(VT_DOUBLE)}, "NULL"},
    };
    for (auto &c : cases) {
        reset();
        std::vector<Value *> a = c.args;
        Value *out = nullptr;
        std::string got;
        if (call_scalar_function(c.code, &env, static_cast<int>(a.size()), a.data(), &out) != 0)
            got = "ERR:" + state() + ":" + message();
        else
            got = out->is_null ? "NULL" : text_of(out);
        EXPECT_EQ(got, c.want) << scalar_function_name(c.code);
    }
    // RAND with a seed repeats; results stay within 0..32767.
    std::string a = call(kFnRand, {integer(42)}), b = call(kFnRand, {integer(42)});
    EXPECT_EQ(a, b);
    double r = std::strtod(call(kFnRand, {}).c_str(), nullptr);
    EXPECT_GE(r, 0);
    EXPECT_LE(r, 32767);
    EXPECT_EQ(call(kFnAbs, {integer(1), integer(2)}).substr(0, 10), "ERR:HY000:");
}

TEST_F(FunctionTest, Character) {
    struct Case {
        int code;
        std::vector<Value *> args;
        const char *want;
    };
    std::vector<Case> cases = {
        {kFnAscii, {text("A")}, "65"},
        {kFnAscii, {text("")}, "NULL"},
        {kFnChar, {integer(65)}, "A"},
        {kFnChar, {integer(256)}, "NULL"},
        {kFnChar, {integer(-1)}, "NULL"},
        {kFnChar, {bigint(1LL << 40)}, "NULL"},
        {kFnChar, {integer(233)}, "\xC3\xA9"},
        {kFnConcat, {text("ab"), text("cd")}, "abcd"},
        {kFnConcat, {text("ab"), null_of(VT_CHAR)}, "NULL"},
        {kFnInsert, {text("abcdef"), integer(2), integer(3), text("XY")}, "aXYef"},
        {kFnInsert, {text("abc"), integer(4), integer(0), text("Z")}, "abcZ"},
        {kFnInsert, {text("abc"), integer(-5), integer(2), text("Z")}, "abc"},
        {kFnInsert, {text("abc"), integer(1), bigint(INT64_MAX), text("Z")}, "Z"},
        {kFnInsert, {text("abc"), bigint(INT64_MAX), integer(1), text("Z")}, "abc"},
        {kFnLcase, {text("AbC")}, "abc"},
        {kFnUcase, {text("aBc1")}, "ABC1"},
        {kFnLeft, {text("hello"), integer(2)}, "he"},
        {kFnLeft, {text("hello"), integer(-2)}, ""},
        {kFnLeft, {text("hello"), bigint(INT64_MAX)}, "hello"},
        {kFnLeft, {null_of(VT_CHAR), integer(2)}, "NULL"},
        {kFnRight, {text("hello"), integer(3)}, "llo"},
        {kFnRight, {text("hello"), integer(99)}, "hello"},
        {kFnRight, {text("hello"), integer(-1)}, ""},
        {kFnLength, {text("ab  ")}, "2"},
        {kFnCharLength, {text("h\xC3\xA9llo")}, "5"},
        {kFnOctetLength, {text("h\xC3\xA9llo")}, "6"},
        {kFnBitLength, {text("ab")}, "16"},
        {kFnLocate, {text("lo"), text("hello lo")}, "4"},
        {kFnLocate, {text("lo"), text("hello lo"), integer(5)}, "7"},
        {kFnLocate, {text("zz"), text("hello")}, "0"},
        {kFnLocate, {text("l"), text("hello"), bigint(INT64_MAX)}, "0"},
        {kFnLocate, {text("l"), text("hello"), integer(-3)}, "3"},
        {kFnPosition, {text("b"), text("abc")}, "2"},
        {kFnLtrim, {text("  a ")}, "a "},
        {kFnRtrim, {text(" a  ")}, " a"},
        {kFnRepeat, {text("ab"), integer(3)}, "ababab"},
        {kFnRepeat, {text("ab"), integer(-3)}, ""},
        {kFnRepeat, {text("ab"), bigint(INT64_MAX)}, "ERR:HY000:General error: result of REPEAT is too long"},
        {kFnRepeat, {text("ab"), integer(INT32_MAX)}, "ERR:HY000:General error: result of REPEAT is too long"},
        {kFnSpace, {integer(3)}, "   "},
        {kFnSpace, {integer(-3)}, ""},
        {kFnSpace, {integer(INT32_MAX)}, "ERR:HY000:General error: result of SPACE is too long"},
        {kFnReplace, {text("aXbXc"), text("X"), text("--")}, "a--b--c"},
        {kFnReplace, {text("abc"), text(""), text("--")}, "abc"},
        {kFnSubstring, {text("hello"), integer(2), integer(3)}, "ell"},
        {kFnSubstring, {text("hello"), integer(0), integer(2)}, "h"},
        {kFnSubstring, {text("hello"), integer(-5), integer(2)}, ""},
        {kFnSubstring, {text("hello"), integer(4), integer(100)}, "lo"},
        {kFnSubstring, {text("hello"), integer(9), integer(1)}, ""},
        {kFnSubstring, {text("hello"), integer(2), integer(-1)}, ""},
        {kFnSubstring, {text("hello"), integer(2)}, "ello"},
        {kFnSubstring, {text("hello"), bigint(INT64_MAX), bigint(INT64_MAX)}, ""},
        {kFnSubstring, {text("hello"), integer(2), bigint(INT64_MAX)}, "ello"},
        {kFnSoundex, {text("Robert")}, "R163"},
        // A vowel does not separate equal codes here: "Tymczak" is T520.
        {kFnSoundex, {text("Tymczak")}, "T520"},
        {kFnSoundex, {text("1abc")}, "NULL"},
        {kFnDifference, {text("Robert"), text("Rupert")}, "0"},
        {kFnDifference, {text("1x"), text("Rupert")}, "27000"},
        {kFnDifference, {text("Robert"), text("Tymczak")}, "2357"},
    };
    for (auto &c : cases) {
        reset();
        Value *out = nullptr;
        std::string got;
        if (call_scalar_function(c.code, &env, static_cast<int>(c.args.size()), c.args.data(), &out) != 0)
            got = "ERR:" + state() + ":" + message();
        else
            got = out->is_null ? "NULL" : text_of(out);
        EXPECT_EQ(got, c.want) << scalar_function_name(c.code) << " #" << (&c - cases.data());
    }
}

TEST_F(FunctionTest, ConnectionTexts) {
    EXPECT_EQ(call(kFnUser, {}), "NULL");
    EXPECT_EQ(call(kFnDatabase, {}), "NULL");
    env.user = "alice";
    env.database = "PAYPAL";
    EXPECT_EQ(call(kFnUser, {}), "alice");
    EXPECT_EQ(call(kFnDatabase, {}), "PAYPAL");
}

TEST_F(FunctionTest, TrimForms) {
    Value *out = nullptr;
    ASSERT_EQ(trim_value(&env, 3, 'x', text("xxaxx"), &out), 0);
    EXPECT_EQ(text_of(out), "a");
    ASSERT_EQ(trim_value(&env, 1, 'x', text("xxaxx"), &out), 0);
    EXPECT_EQ(text_of(out), "axx");
    ASSERT_EQ(trim_value(&env, 2, 'x', text("xxaxx"), &out), 0);
    EXPECT_EQ(text_of(out), "xxa");
    ASSERT_EQ(trim_value(&env, 0, 'x', text("xxxx"), &out), 0);
    EXPECT_EQ(text_of(out), "");
    ASSERT_EQ(trim_value(&env, 0, ' ', null_of(VT_CHAR), &out), 0);
    EXPECT_TRUE(out->is_null);
}

TEST_F(FunctionTest, DateAndTime) {
    struct Case {
        int code;
        std::vector<Value *> args;
        const char *want;
    };
    std::vector<Case> cases = {
        {kFnQuarter, {date(2020, 3, 31)}, "1"},
        {kFnQuarter, {date(2020, 12, 1)}, "4"},
        {kFnDayofweek, {date(2023, 1, 1)}, "1"},
        {kFnDayname, {date(2023, 1, 1)}, "Sunday"},
        {kFnDayname, {date(2024, 2, 29)}, "Thursday"},
        {kFnMonthname, {timestamp(2020, 12, 1, 0, 0, 0)}, "December"},
        {kFnMonthname, {date(2020, 13, 1)}, "ERR:22008:Datetime field overflow"},
        {kFnDayname, {date(2020, 0, 1)}, "ERR:22008:Datetime field overflow"},
        {kFnDayofmonth, {date(2020, 2, 29)}, "29"},
        {kFnDayofyear, {date(2020, 12, 31)}, "366"},
        {kFnDayofyear, {date(2021, 12, 31)}, "365"},
        {kFnWeek, {date(2023, 1, 1)}, "1"},
        {kFnWeek, {date(2023, 1, 7)}, "1"},
        {kFnWeek, {date(2023, 1, 8)}, "2"},
        {kFnYear, {text("2021-05-06")}, "2021"},
        {kFnYear, {text("junk")}, "ERR:22007:Invalid datetime format"},
        {kFnMonth, {date(2021, 5, 6)}, "5"},
        {kFnHour, {time(13, 14, 15)}, "13"},
        {kFnMinute, {timestamp(2020, 1, 1, 13, 14, 15)}, "14"},
        {kFnSecond, {time(13, 14, 15)}, "15"},
        {kFnCurdate, {}, "2024-02-29"},
        {kFnCurtime, {}, "13:45:30"},
        {kFnNow, {}, "2024-02-29 13:45:30"},
        {kFnCurrentTimestamp, {integer(3)}, "2024-02-29 13:45:30"},
        {kFnDatediff, {text("d"), date(2020, 1, 1), date(2020, 1, 31)}, "30"},
        {kFnDatediff, {text("d"), date(2020, 1, 31), date(2020, 1, 1)}, "-30"},
        {kFnDatediff, {text("h"), timestamp(2020, 1, 1, 0, 0, 0), timestamp(2020, 1, 1, 23, 59, 59)}, "23"},
        {kFnDatediff, {text("s"), date(2020, 1, 1), date(2020, 1, 2)}, "86400"},
        {kFnDatediff, {text("n"), timestamp(2020, 1, 1, 0, 0, 0), timestamp(2020, 1, 1, 0, 1, 59)}, "1"},
        {kFnDatediff, {text("ww"), date(2020, 1, 1), date(2020, 1, 15)}, "2"},
        {kFnDatediff, {text("m"), date(2020, 1, 31), date(2020, 2, 29)}, "0"},
        {kFnDatediff, {text("m"), date(2020, 1, 15), date(2020, 3, 15)}, "2"},
        {kFnDatediff, {text("q"), date(2020, 1, 1), date(2020, 12, 31)}, "3"},
        {kFnDatediff, {text("yyyy"), date(2000, 2, 29), date(2004, 2, 28)}, "3"},
        {kFnDatediff, {text("yyyy"), date(2000, 2, 29), date(2004, 2, 29)}, "4"},
        {kFnDatediff, {text("w"), date(2020, 1, 1), date(2020, 1, 31)}, "ERR:HY000:DateDiff weekday not supported"},
        {kFnDatediff, {text("y"), date(2020, 1, 1), date(2020, 1, 31)}, "ERR:HY000:DateDiff day of year not supported"},
        {kFnDatediff, {text("D"), date(2020, 1, 1), date(2020, 1, 31)}, "ERR:HY000:DateDiff unknown interval argument"},
        {kFnDatediff, {text("d"), null_of(VT_DATE), date(2020, 1, 31)}, "NULL"},
        {kFnDatepart, {text("w"), date(2023, 1, 1)}, "1"},
        {kFnDatepart, {text("y"), date(2020, 3, 1)}, "61"},
        {kFnDatepart, {text("q"), date(2020, 8, 1)}, "3"},
        {kFnDatepart, {text("yyyy"), date(2020, 8, 1)}, "2020"},
        {kFnDatepart, {text("zz"), date(2020, 8, 1)}, "ERR:HY000:DatePart unknown interval argument"},
        {kFnTimestampadd, {text("SQL_TSI_DAY"), integer(1), date(2020, 2, 28)}, "2020-02-29 00:00:00"},
        {kFnTimestampadd, {text("SQL_TSI_MONTH"), integer(1), date(2020, 1, 31)}, "2020-02-29 00:00:00"},
        {kFnTimestampadd, {text("SQL_TSI_HOUR"), integer(2), time(23, 0, 0)}, "2024-03-01 01:00:00"},  // on the statement's date
        {kFnTimestampadd, {text("SQL_TSI_DAY"), integer(1), time(8, 0, 0)}, "2024-03-01 08:00:00"},
        {kFnTimestampadd, {text("SQL_TSI_HOUR"), integer(2), date(2020, 1, 1)}, "2020-01-01 02:00:00"},
        {kFnTimestampadd, {text("SQL_TSI_FRAC_SECOND"), integer(500000000), timestamp(2020, 1, 1, 0, 0, 0)}, "2020-01-01 00:00:00.5"},
        {kFnTimestampadd, {text("SQL_TSI_YEAR"), integer(1), timestamp(2020, 2, 29, 1, 2, 3)}, "2021-02-28 01:02:03"},
        {kFnTimestampadd, {text("SQL_TSI_YEAR"), bigint(INT64_MAX), date(2020, 1, 1)}, "ERR:22008:Datetime field overflow"},
        {kFnTimestampadd, {text("SQL_TSI_FORTNIGHT"), integer(1), date(2020, 1, 1)}, "ERR:HY000:First argument to TIMESTAPADD must be a interval specifier not 'SQL_TSI_FORTNIGHT'"},
        {kFnTimestampdiff, {text("SQL_TSI_DAY"), date(2020, 1, 1), date(2021, 1, 1)}, "366"},
        {kFnTimestampdiff, {text("SQL_TSI_MONTH"), date(2020, 1, 31), date(2020, 3, 30)}, "1"},
        {kFnTimestampdiff, {text("SQL_TSI_FRAC_SECOND"), date(2000, 1, 1), date(2020, 1, 1)}, "ERR:22003:Numeric value out of range"},
        {kFnExtract, {integer(0), date(2020, 5, 6)}, "2020"},
        {kFnExtract, {integer(3), date(2020, 5, 6)}, "0"},
        {kFnExtract, {integer(3), time(7, 8, 9)}, "7"},
        {kFnExtract, {integer(0), time(7, 8, 9)}, "0"},
        {kFnExtract, {integer(1), interval(7, false, 2, 3)}, "27"},
        {kFnExtract, {integer(0), interval(7, false, 2, 3)}, "2"},
        {kFnExtract, {integer(2), interval(7, false, 2, 3)}, "ERR:HY000:Cannot extract DAY from INTERVAL YEAR/MONTH"},
        {kFnExtract, {integer(3), interval(10, false, 1, 2, 3, 4)}, "26"},
        {kFnExtract, {integer(0), interval(10, false, 1, 2, 3, 4)}, "ERR:HY000:Cannot extract YEAR/MONTH from INTERVAL DAY"},
    };
    for (auto &c : cases) {
        reset();
        Value *out = nullptr;
        std::string got;
        if (call_scalar_function(c.code, &env, static_cast<int>(c.args.size()), c.args.data(), &out) != 0)
            got = "ERR:" + state() + ":" + message();
        else
            got = out->is_null ? "NULL" : text_of(out);
        EXPECT_EQ(got, c.want) << scalar_function_name(c.code) << " #" << (&c - cases.data());
    }
}

TEST_F(FunctionTest, ConversionAndFormat) {
    EXPECT_EQ(call(kFnIfnull, {null_of(VT_INTEGER), integer(5)}), "5");
    EXPECT_EQ(call(kFnIfnull, {integer(3), integer(5)}), "3");
    EXPECT_EQ(call(kFnIsnull, {null_of(VT_INTEGER)}), "1");
    EXPECT_EQ(call(kFnIsnull, {integer(0)}), "0");
    EXPECT_EQ(call(kFnInt, {dbl(-3.7)}), "-3");
    EXPECT_EQ(call(kFnInt, {dbl(1e10)}), "ERR:22003:Numeric value out of range");
    EXPECT_EQ(call(kFnStr, {dbl(2.5)}), "2.5");
    EXPECT_EQ(call(kFnVal, {text("  12.5abc")}), "12.5");
    EXPECT_EQ(call(kFnVal, {text("abc")}), "0");
    EXPECT_EQ(call(kFnCcur, {numeric("1.25")}), "1.25");
    EXPECT_EQ(last->type, VT_NUMERIC);
    EXPECT_EQ(call(kFnCdate, {text("2020-01-02")}), "2020-01-02 00:00:00");
    EXPECT_EQ(call(kFnCdate, {text("bad")}), "ERR:22007:Invalid datetime format");
    EXPECT_EQ(call(kFnConvert, {integer(1), integer(2)}).substr(0, 9), "ERR:HY000");
    EXPECT_EQ(call(kFnFormat, {date(2020, 1, 1), text("Long Date")}), "ERR:HY000:FORMAT Long Date not supported");
    EXPECT_EQ(call(kFnFormat, {date(2020, 1, 1), text("M")}), "ERR:HY000:FORMAT M, m not supported");
    EXPECT_EQ(call(kFnFormat, {date(2020, 1, 1), text("zz")}), "ERR:HY000:FORMAT unknown argument for datetime source");
    EXPECT_EQ(call(kFnFormat, {integer(1), text("General Number")}), "ERR:HY000:FORMAT Genarl Number not supported");
    EXPECT_EQ(call(kFnFormat, {integer(1), text("zz")}), "ERR:HY000:FORMAT unknown argument for numeric source");
    EXPECT_EQ(call(kFnFormat, {text("x"), text("G")}), "ERR:HY000:FORMAT invalid source type");
}

TEST_F(FunctionTest, AllocationFailuresAreHY001) {
    Value *arg = text("abc");
    Value *out = nullptr;
    reset();
    cv_mem_fail_after(1);
    EXPECT_EQ(call_scalar_function(kFnUcase, &env, 1, &arg, &out), -1);
    cv_mem_fail_after(0);
    EXPECT_EQ(state(), "HY001");
    EXPECT_EQ(out, nullptr);
    reset();
    env.database = "db";
    cv_mem_fail_after(1);
    EXPECT_EQ(call_scalar_function(kFnDatabase, &env, 0, nullptr, &out), -1);
    cv_mem_fail_after(0);
    EXPECT_EQ(message(), "Memory allocation error quill");
}

}  // namespace

#include "support/long_buffer.h"

namespace {

int failing_reader(void *, const Value *, CvPool *, char **, int32_t *) { return -1; }

TEST_F(FunctionTest, LongCharacterArguments) {
    Value *lv = new_value_of_type(pool, VT_LONG_CHAR);
    lv->long_buffer = allocate_long_buffer(pool, 0, SQL_LONGVARCHAR);
    std::string body(5000, 'a');
    ASSERT_EQ(append_to_long_buffer(lv->long_buffer, body.data(), body.size()), 0);
    EXPECT_EQ(call(kFnCharLength, {lv}), "5000");
    EXPECT_EQ(call(kFnLeft, {lv, integer(3)}), "aaa");
    env.read_long = failing_reader;
    EXPECT_EQ(call(kFnUcase, {lv}), "ERR:HY000:Extract from LONG VARCHAR error");
    env.read_long = nullptr;
}

}  // namespace
