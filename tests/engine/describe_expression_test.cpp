// describe_expression over trees built by the real parser: each case is the
// text of one select-list expression and the description it must get. Column
// references are resolved by a small stand-in for the validator that gives
// each known column name a description.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "dal/provider.h"
#include "engine/describe_expression.h"
#include "sql/parse_tree.h"
#include "sql/parser.h"
#include "sql/walker.h"
#include "support/pool.h"

namespace {

constexpr int kAny = -999;      // field not checked
constexpr int kNone = -12345;   // expression must not be described

struct Columns {
    ExtendedType c5, v10, v300, lng, num, in, dt, db, bin;
};

ExtendedType sized(int sql_type, int length) {
    ExtendedType t{};
    EXPECT_EQ(type_template(sql_type, &t), 0);
    t.length = t.display_size = t.column_size = length;
    return t;
}

Columns make_columns() {
    Columns c{};
    c.c5 = sized(SQL_CHAR, 5);
    c.v10 = sized(SQL_VARCHAR, 10);
    c.v300 = sized(SQL_VARCHAR, 300);
    EXPECT_EQ(type_template(SQL_LONGVARCHAR, &c.lng), 0);
    EXPECT_EQ(type_template(SQL_NUMERIC, &c.num), 0);
    c.num.precision = 7;
    c.num.scale = 2;
    c.num.length = c.num.display_size = 9;
    EXPECT_EQ(type_template(SQL_INTEGER, &c.in), 0);
    EXPECT_EQ(type_template(91, &c.dt), 0);
    EXPECT_EQ(type_template(SQL_DOUBLE, &c.db), 0);
    c.bin = sized(SQL_VARBINARY, 6);
    return c;
}

// The stand-in validator: C5, V10, V300, L, N, I, D, DBL, B resolve; any
// other name stays unresolved.
int resolve(Node *node, void *context) {
    // The walker visits a TRIM specification's character only.
    if (node->kind == NODE_TRIM_SPEC) return walk_expression(node_cast<TrimSpecNode>(node)->source, resolve, context);
    if (node->kind != NODE_COLUMN_REF) return 0;
    auto *cols = static_cast<Columns *>(context);
    auto *ref = node_cast<ColumnRefNode>(node);
    if (!ref->column) return 0;
    const std::string name = ref->column->text;
    if (name == "C5") ref->description = &cols->c5;
    if (name == "V10") ref->description = &cols->v10;
    if (name == "V300") ref->description = &cols->v300;
    if (name == "L") ref->description = &cols->lng;
    if (name == "N") ref->description = &cols->num;
    if (name == "I") ref->description = &cols->in;
    if (name == "D") ref->description = &cols->dt;
    if (name == "DBL") ref->description = &cols->db;
    if (name == "B") ref->description = &cols->bin;
    return 0;
}

struct Case {
    const char *expression;
    int sql_type;  // kNone: not described
    int length;
    int display_size;
    int precision;
    int scale;
};

struct DescribeExpression : ::testing::Test {
    CvPool *pool = nullptr;
    Columns columns = make_columns();
    int odbc_version = 3;

    void SetUp() override {
        pool = cv_mem_alloc_handle(nullptr);
    }
    void TearDown() override { cv_mem_release_handle(pool); }

    // Parses "SELECT <expression> FROM T", resolves it and describes the
    // first select-list item. Returns describe_expression's result.
    int describe_text(const std::string &expression, ExtendedType *out, ParseContext **keep = nullptr) {
        ParseContext *context = create_parse_context(pool);
        std::string text = "SELECT " + expression + " FROM T";
        int rc = parse_sql_text(context, text.data(), 0, nullptr);
        EXPECT_EQ(rc, 0) << expression << ": " << message_of(context);
        if (rc != 0) {
            release_parse_context(context);
            return -100;
        }
        Node *item = first_item(context);
        (void)walk_expression(item, resolve, &columns);
        rc = describe_expression(item, odbc_version, out);
        if (keep)
            *keep = context;
        else
            release_parse_context(context);
        return rc;
    }

    static Node *first_item(ParseContext *context) {
        auto *statements = node_cast<ListNode>(context->root);
        auto *select = static_cast<SelectNode *>(ListData(ListFirst(statements->list)));
        auto *query = node_cast<UnionNode>(select->query);
        auto *spec = node_cast<QuerySpecNode>(query->single);
        auto *core = node_cast<SelectCoreNode>(spec->core);
        auto *item = static_cast<SelectItemNode *>(ListData(ListFirst(core->select_list->list)));
        return item->expression;
    }

    void run(const Case *cases, size_t count) {
        for (size_t i = 0; i < count; i++) {
            const Case &c = cases[i];
            ExtendedType t;
            std::memset(&t, 0x5a, sizeof t);
            const ExtendedType before = t;
            int rc = describe_text(c.expression, &t);
            if (c.sql_type == kNone) {
                EXPECT_EQ(rc, -1) << c.expression;
                EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0) << c.expression << ": output touched";
                continue;
            }
            ASSERT_EQ(rc, 0) << c.expression;
            EXPECT_EQ(t.sql_type, c.sql_type) << c.expression;
            if (c.length != kAny) {
                EXPECT_EQ(t.length, c.length) << c.expression;
            }
            if (c.display_size != kAny) {
                EXPECT_EQ(t.display_size, c.display_size) << c.expression;
            }
            if (c.precision != kAny) {
                EXPECT_EQ(t.precision, c.precision) << c.expression;
            }
            if (c.scale != kAny) {
                EXPECT_EQ(t.scale, c.scale) << c.expression;
            }
        }
    }
};

TEST_F(DescribeExpression, Literals) {
    const Case cases[] = {
        {"1", SQL_INTEGER, 4, 11, 10, 0},
        // Short exact literals are typed DOUBLE by the parser, longer ones NUMERIC.
        {"123.45", SQL_DOUBLE, 8, 22, 15, kAny},
        {"1234567.25", SQL_NUMERIC, 13, 13, 11, 2},
        {"12345678901", SQL_NUMERIC, 13, 13, 11, 0},
        {"1.5E2", SQL_DOUBLE, 8, 22, 15, kAny},
        {"'abc'", SQL_CHAR, 3, 3, kAny, kAny},
        {"''", SQL_CHAR, 0, 0, kAny, kAny},
        {"X'0A0B'", SQL_BINARY, 2, 4, kAny, kAny},
        {"B'1'", SQL_BIT, 1, 1, 1, 0},
        {"TRUE", SQL_BIT, 1, 1, 1, 0},
        {"{d '2020-01-02'}", 91, 6, 10, kAny, kAny},
        {"{t '10:11:12'}", 92, 6, 8, kAny, kAny},
        {"{ts '2020-01-02 10:11:12'}", 93, 16, 19, kAny, kAny},
        {"CURRENT_DATE", 91, kAny, kAny, kAny, kAny},
        {"CURRENT_TIMESTAMP", 93, kAny, kAny, kAny, kAny},
        {"USER", SQL_CHAR, 255, 255, kAny, kAny},
        {"INTERVAL '5' DAY", 103, 28, 2, kAny, kAny},
        {"INTERVAL '5' DAY(4)", 103, 28, 4, kAny, kAny},
        {"INTERVAL '1-2' YEAR TO MONTH", 107, 28, 5, kAny, kAny},
        {"INTERVAL '1:02:03.5' HOUR TO SECOND", 112, 28, 15, kAny, 6},
        {"?", kNone, 0, 0, 0, 0},
        {"UNKNOWN_COLUMN", kNone, 0, 0, 0, 0},
    };
    run(cases, std::size(cases));
}

TEST_F(DescribeExpression, DateLiteralFollowsOdbcVersion) {
    odbc_version = 2;
    const Case cases[] = {
        {"{d '2020-01-02'}", 9, 6, 10, kAny, kAny},
        {"{ts '2020-01-02 10:11:12'}", 11, 16, 19, kAny, kAny},
        {"CAST('10:00:00' AS TIME)", 10, 6, 8, kAny, kAny},
    };
    run(cases, std::size(cases));
    ExtendedType t;
    ParseContext *context = nullptr;
    ASSERT_EQ(describe_text("{d '2020-01-02'}", &t, &context), 0);
    // Without a statement the ODBC 3 codes are used.
    ASSERT_EQ(describe_expression(first_item(context), 3, &t), 0);
    EXPECT_EQ(t.sql_type, 91);
    release_parse_context(context);
}

TEST_F(DescribeExpression, CastsWithDeclaredSizes) {
    const Case cases[] = {
        {"CAST(1 AS CHAR(10))", SQL_CHAR, 10, 10, kAny, kAny},
        {"CAST(1 AS CHAR)", SQL_CHAR, 1, 1, kAny, kAny},
        {"CAST(1 AS VARCHAR(20))", SQL_VARCHAR, 20, 20, kAny, kAny},
        {"CAST(1 AS NUMERIC(10,3))", SQL_NUMERIC, 10, 10, 10, 3},
        {"CAST(1 AS DECIMAL(6))", SQL_DECIMAL, 6, 6, 6, 0},
        {"CAST(1 AS DECIMAL)", SQL_DECIMAL, kAny, kAny, 15, 0},
        {"CAST(1 AS FLOAT(20))", SQL_FLOAT, kAny, kAny, 20, kAny},
        {"CAST('x' AS TIME(3))", 92, kAny, 12, 3, kAny},
        {"CAST('x' AS TIMESTAMP(6))", 93, kAny, 26, 6, kAny},
        {"CAST('x' AS TIMESTAMP)", 93, 16, 19, kAny, kAny},
        {"CAST('x' AS BINARY(8))", SQL_BINARY, 8, 16, kAny, kAny},
        {"CAST(NULL AS INTEGER)", SQL_INTEGER, 4, 11, kAny, kAny},
        {"CAST(UNKNOWN_COLUMN AS BIGINT)", SQL_BIGINT, 20, 20, kAny, kAny},
        {"CAST(L AS LONG VARCHAR)", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"CAST('1' AS INTERVAL SECOND(4,3))", 106, 28, kAny, kAny, 3},
        {"{fn CONVERT(1, SQL_VARCHAR)}", SQL_VARCHAR, 254, 254, kAny, kAny},
    };
    run(cases, std::size(cases));
    ExtendedType t;
    ASSERT_EQ(describe_text("CAST('1' AS INTERVAL DAY(5))", &t), 0);
    EXPECT_EQ(t.sql_type, 103);
    EXPECT_EQ(t.interval_precision, 5);
}

TEST_F(DescribeExpression, OperatorsAndConcatenation) {
    const Case cases[] = {
        {"'ab' || 'cde'", SQL_CHAR, 5, 5, kAny, kAny},
        {"V10 || 'abc'", SQL_VARCHAR, 13, 13, kAny, kAny},
        {"C5 || V10 || 'x'", SQL_VARCHAR, 16, 16, kAny, kAny},
        // A number joins as its display form; the kind is the rule's VARCHAR.
        {"I || 'a'", SQL_VARCHAR, 12, 12, kAny, kAny},
        {"'ab' + 'cd'", SQL_CHAR, 4, 4, kAny, kAny},
        // Text joined with a LONG VARCHAR is as long as LONG VARCHAR goes.
        {"C5 || L", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"L || I || 'x'", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"I + L", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"'ab' - 'cd'", kNone, 0, 0, 0, 0},
        {"I + 1", SQL_INTEGER, 4, 11, kAny, kAny},
        {"I + DBL", SQL_DOUBLE, kAny, kAny, kAny, kAny},
        {"N * CAST(1.5 AS NUMERIC(4,1))", SQL_NUMERIC, kAny, kAny, 11, 3},
        {"N + CAST(1.5 AS NUMERIC(4,1))", SQL_NUMERIC, kAny, kAny, 7, 2},
        // An approximate operand counts as precision 15, scale 0.
        {"N * 1.5", SQL_NUMERIC, kAny, kAny, 22, 2},
        {"-N", SQL_NUMERIC, 9, 9, 7, 2},
        {"-'a'", kNone, 0, 0, 0, 0},
        {"D + 1", 93, kAny, kAny, kAny, kAny},
        {"D + INTERVAL '1' DAY", 91, kAny, kAny, kAny, kAny},
        {"INTERVAL '1' YEAR + INTERVAL '2' MONTH", 107, kAny, kAny, kAny, kAny},
        {"? + I", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"I + ?", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"I + UNKNOWN_COLUMN", kNone, 0, 0, 0, 0},
        {"1 + 2 + 3 + DBL + 4", SQL_DOUBLE, kAny, kAny, kAny, kAny},
    };
    run(cases, std::size(cases));
}

TEST_F(DescribeExpression, LongChainsDoNotExhaustTheStack) {
    std::string text = "V10";
    for (int i = 0; i < 3000; i++) text += " || 'ab'";
    ExtendedType t;
    ASSERT_EQ(describe_text(text, &t), 0);
    EXPECT_EQ(t.sql_type, SQL_VARCHAR);
    EXPECT_EQ(t.length, 10 + 3000 * 2);
}

TEST_F(DescribeExpression, CaseCoalesceNullif) {
    const Case cases[] = {
        // Every THEN and the ELSE count for the length, whichever is first.
        {"CASE WHEN I = 1 THEN 'a' WHEN I = 2 THEN 'abcdefg' ELSE 'abc' END", SQL_CHAR, 7, 7, kAny,
         kAny},
        {"CASE WHEN I = 1 THEN C5 ELSE V10 END", SQL_VARCHAR, 10, 10, kAny, kAny},
        {"CASE I WHEN 1 THEN 'x' ELSE V300 END", SQL_VARCHAR, 300, 300, kAny, kAny},
        // The type is the combination of the results, as validation types it.
        {"CASE WHEN I = 1 THEN 1 ELSE 2.5E0 END", SQL_DOUBLE, kAny, kAny, kAny, kAny},
        {"CASE WHEN I = 1 THEN N ELSE CAST(1.234 AS NUMERIC(4,3)) END", SQL_NUMERIC, kAny, kAny, 7, 3},
        {"CASE WHEN I = 1 THEN 'a' ELSE L END", SQL_LONGVARCHAR, 2147483647, kAny, kAny, kAny},
        {"CASE WHEN I = 1 THEN ? ELSE 'abc' END", SQL_CHAR, 3, 3, kAny, kAny},
        {"CASE WHEN I = 1 THEN UNKNOWN_COLUMN END", kNone, 0, 0, 0, 0},
        {"COALESCE(C5, 'abcdefgh')", SQL_CHAR, 8, 8, kAny, kAny},
        {"COALESCE(I, DBL)", SQL_DOUBLE, kAny, kAny, kAny, kAny},
        {"COALESCE(UNKNOWN_COLUMN, V10)", SQL_VARCHAR, 10, 10, kAny, kAny},
        {"NULLIF(V10, 'a')", SQL_VARCHAR, 10, 10, kAny, kAny},
        {"NULLIF(?, I)", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"IIF(I = 1, 'ab', 'abcd')", SQL_CHAR, 4, 4, kAny, kAny},
    };
    run(cases, std::size(cases));
}

TEST_F(DescribeExpression, SetFunctions) {
    const Case cases[] = {
        {"COUNT(*)", SQL_INTEGER, 4, 11, kAny, kAny},
        {"COUNT(DISTINCT V10)", SQL_INTEGER, 4, 11, kAny, kAny},
        {"COUNT(UNKNOWN_COLUMN)", SQL_INTEGER, 4, 11, kAny, kAny},
        // SUM adds integers in checked 64-bit integers: described as it is returned.
        {"SUM(I)", SQL_BIGINT, kAny, kAny, kAny, kAny},
        {"SUM(N)", SQL_NUMERIC, kAny, kAny, 7, 2},
        {"SUM(INTERVAL '1' DAY)", 103, kAny, kAny, kAny, kAny},
        {"AVG(I)", SQL_DOUBLE, kAny, kAny, kAny, kAny},
        {"MAX(V10)", SQL_VARCHAR, 10, 10, kAny, kAny},
        {"MIN(DISTINCT C5)", SQL_CHAR, 5, 5, kAny, kAny},
        {"FIRST(D)", 91, kAny, kAny, kAny, kAny},
        {"SUM(UNKNOWN_COLUMN)", kNone, 0, 0, 0, 0},
    };
    run(cases, std::size(cases));
}

TEST_F(DescribeExpression, ScalarFunctions) {
    const Case cases[] = {
        {"UPPER(V10)", SQL_VARCHAR, 10, 10, kAny, kAny},
        // A function of a LONG VARCHAR returns all of its text.
        {"LOWER(L)", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"TRIM(BOTH ' ' FROM C5)", SQL_VARCHAR, 5, 5, kAny, kAny},
        {"SUBSTRING(V300 FROM 2 FOR 3)", SQL_VARCHAR, 300, 300, kAny, kAny},
        {"CHAR_LENGTH(V10)", SQL_INTEGER, 4, 11, kAny, kAny},
        {"POSITION('a' IN V10)", SQL_INTEGER, 4, 11, kAny, kAny},
        {"{fn IFNULL(C5, 'x')}", SQL_CHAR, 5, 5, kAny, kAny},
        {"{fn CONCAT(C5, V10)}", SQL_VARCHAR, 15, 15, kAny, kAny},
        {"{fn CONCAT(C5, L)}", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"{fn INSERT(V10, 1, 2, 'abc')}", SQL_VARCHAR, 13, 13, kAny, kAny},
        {"{fn LEFT(V300, 2)}", SQL_VARCHAR, 300, 300, kAny, kAny},
        {"{fn RTRIM(L)}", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"{fn REPEAT('ab', 3)}", SQL_VARCHAR, 6, 6, kAny, kAny},
        {"{fn REPEAT(V10, I)}", SQL_VARCHAR, 255, 255, kAny, kAny},
        {"{fn REPEAT(L, 3)}", SQL_LONGVARCHAR, 2147483647, 2147483647, kAny, kAny},
        {"{fn SPACE(7)}", SQL_VARCHAR, 7, 7, kAny, kAny},
        {"{fn SPACE(I)}", SQL_VARCHAR, 255, 255, kAny, kAny},
        {"{fn SOUNDEX(V10)}", SQL_VARCHAR, 4, 4, kAny, kAny},
        {"{fn DAYNAME(D)}", SQL_VARCHAR, 64, 64, kAny, kAny},
        {"{fn DATABASE()}", SQL_VARCHAR, 64, 64, kAny, kAny},
        {"{fn LENGTH(V10)}", SQL_INTEGER, 4, 11, kAny, kAny},
        {"{fn SQRT(I)}", SQL_DOUBLE, 8, 22, kAny, kAny},
        {"{fn ABS(N)}", SQL_NUMERIC, kAny, kAny, 7, 2},
        {"{fn CURDATE()}", 91, kAny, kAny, kAny, kAny},
        {"{fn CURTIME()}", 92, kAny, kAny, kAny, kAny},
        {"{fn NOW()}", 93, kAny, kAny, kAny, kAny},
        // ODBC's date and time functions: TIMESTAMPADD is a timestamp whatever it adds to.
        {"{fn TIMESTAMPADD(SQL_TSI_DAY, 1, D)}", 93, kAny, kAny, kAny, kAny},
        {"{fn TIMESTAMPADD(SQL_TSI_HOUR, 1, D)}", 93, kAny, kAny, kAny, kAny},
        {"{fn TIMESTAMPADD(SQL_TSI_MINUTE, 1, {t '10:00:00'})}", 93, kAny, kAny, kAny, kAny},
        {"{fn TIMESTAMPADD(SQL_TSI_YEAR, 1, {ts '2020-01-01 00:00:00'})}", 93, kAny, kAny, kAny, kAny},
        {"{fn TIMESTAMPDIFF(SQL_TSI_DAY, D, D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn CURRENT_DATE()}", 91, kAny, kAny, kAny, kAny},
        {"{fn CURRENT_TIME()}", 92, kAny, kAny, kAny, kAny},
        {"{fn CURRENT_TIMESTAMP()}", 93, kAny, kAny, kAny, kAny},
        {"CURRENT_DATE", 91, kAny, kAny, kAny, kAny},
        {"CURRENT_TIME", 92, kAny, kAny, kAny, kAny},
        {"CURRENT_TIMESTAMP", 93, kAny, kAny, kAny, kAny},
        {"EXTRACT(YEAR FROM D)", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn YEAR(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn MONTH(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn DAYOFMONTH(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn DAYOFWEEK(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn DAYOFYEAR(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn WEEK(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn QUARTER(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn HOUR(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn MINUTE(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn SECOND(D)}", SQL_INTEGER, kAny, kAny, kAny, kAny},
        {"{fn MONTHNAME(D)}", SQL_VARCHAR, kAny, kAny, kAny, kAny},
    };
    run(cases, std::size(cases));
}

TEST_F(DescribeExpression, ColumnInfoAndRecordedDescriptions) {
    ColumnInfo info{};
    info.data_type = SQL_VARCHAR;
    info.display_size = 40;
    info.octet_length = 40;
    info.nullable = 0;
    std::snprintf(info.type_name, sizeof info.type_name, "%s", "NVARCHAR");
    ExtendedType t;
    ASSERT_EQ(describe_column_info(&info, &t), 0);
    EXPECT_EQ(t.sql_type, SQL_VARCHAR);
    EXPECT_EQ(t.length, 40);
    EXPECT_EQ(t.display_size, 40);
    EXPECT_EQ(t.nullable, 0);
    EXPECT_STREQ(t.type_name, "NVARCHAR");
    EXPECT_EQ(describe_column_info(nullptr, &t), -1);

    // A reference that carries only the provider's column record.
    ParseContext *context = nullptr;
    ASSERT_EQ(describe_text("UNKNOWN_COLUMN", &t, &context), -1);
    auto *ref = node_cast<ColumnRefNode>(first_item(context));
    ref->column_info = &info;
    ASSERT_EQ(describe_expression(first_item(context), odbc_version, &t), 0);
    EXPECT_EQ(t.length, 40);
    release_parse_context(context);
}

}  // namespace
