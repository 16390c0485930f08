// Printer shapes that the corpus compares only with blanks squeezed.
#include <gtest/gtest.h>

#include "tests/sql/sql_test_util.h"

TEST(Printer, ExactPiecesOfASimpleQuery) {
    EXPECT_EQ(parse_and_print("SELECT a AS x, t.* FROM t WHERE a = 1").printed,
              " SELECT A AS X, T.* FROM T WHERE ( A = 1  )");
}

TEST(Printer, StatementsAreSeparatedBySemicolons) {
    EXPECT_EQ(parse_and_print("select 1;select 2").printed, " SELECT 1 ;  SELECT 2 ");
}

TEST(Printer, ValuesReadBackAsTheSameType) {
    const struct {
        const char *sql, *printed;
    } cases[] = {
        {"SELECT 2.50", " SELECT 2.5"},
        {"SELECT 1.5E-7", " SELECT 1.5E-7"},
        {"SELECT 2.0", " SELECT 2.0"},
        {"SELECT 0.1", " SELECT 0.1"},
        {"SELECT 1E20", " SELECT 1E20"},
        {"SELECT 1.25E+300", " SELECT 1.25E300"},
        {"SELECT 1234567.5", " SELECT 1234567.5 "},
        {"SELECT 'it''s 100%'", " SELECT 'it''s 100%' "},
        {"SELECT X'ab'", " SELECT X'AB'"},
    };
    for (const auto &c : cases) EXPECT_EQ(parse_and_print(c.sql).printed, c.printed) << c.sql;
}

TEST(Printer, NamesKeepWhatTheyNeedToReadBack) {
    EXPECT_EQ(parse_and_print("SELECT \"Mi\"\"xed\", [my col], [date], [ABC], t.select FROM t").printed,
              " SELECT \"Mi\"\"xed\", [my col], [date], ABC, T.[SELECT] FROM T");
}
