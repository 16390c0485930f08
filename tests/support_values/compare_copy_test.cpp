// compare_values as a total order (NaN, long values, mixed kinds) and what a
// copied value owns.
#include <cmath>
#include <limits>

#include "support/long_buffer.h"
#include "tests/support_values/value_fixture.h"

namespace {

class CompareCopy : public ValueFixture {
protected:
    Value *long_text(const std::string &s) {
        Value *v = new_value_of_type(pool, VT_LONG_CHAR);
        v->long_buffer = allocate_long_buffer(pool, 0, SQL_LONGVARCHAR);
        EXPECT_EQ(append_to_long_buffer(v->long_buffer, s.data(), s.size()), 0);
        return v;
    }
};

TEST_F(CompareCopy, NanHasOnePlace) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Value *values[] = {dbl(-1e300), dbl(0), integer(5), dbl(1e300), dbl(nan)};
    for (Value *a : values) {
        EXPECT_EQ(compare_values(a, a), 0);
        for (Value *b : values) EXPECT_EQ(compare_values(a, b), -compare_values(b, a));
    }
    EXPECT_EQ(compare_values(dbl(nan), dbl(-nan)), 0);
    EXPECT_GT(compare_values(dbl(nan), dbl(std::numeric_limits<double>::infinity())), 0);
}

TEST_F(CompareCopy, LongValuesCompareWhole) {
    std::string a(200, 'x'), b(200, 'x');
    b[150] = 'y';
    EXPECT_LT(compare_values(long_text(a), long_text(b)), 0);
    EXPECT_LT(compare_values(text(a), long_text(b)), 0);
    EXPECT_EQ(compare_values(long_text(a), text(a)), 0);
}

TEST_F(CompareCopy, CopiesOwnTheirDataAndStartTheirOwnPieces) {
    Value *src = long_text("first row value");
    src->piece_offset = 7;
    Value *copy = duplicate_value(src, pool);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->piece_offset, 0);
    ASSERT_NE(copy->long_buffer, src->long_buffer);
    clear_long_buffer(src->long_buffer);
    ASSERT_EQ(append_to_long_buffer(src->long_buffer, "next", 4), 0);
    EXPECT_STREQ(long_buffer_data(copy->long_buffer), "first row value");
}

}  // namespace
