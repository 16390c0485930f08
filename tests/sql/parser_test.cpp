// Parser behaviour beyond the corpus: limits, text preparation, literal
// typing, rewrites, view restrictions and allocation failures.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "sql/interval_value.h"
#include "sql/parse_tree.h"
#include "sql/sql_keywords.h"
#include "sql/walker.h"
#include "tests/sql/sql_test_util.h"

namespace {

// Keeps one parsed tree alive for inspection.
struct Parsed {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ParseContext *context = create_parse_context(pool);
    std::string text;
    int rc = 0;
    explicit Parsed(const std::string &sql, int count = 0, const ParseRestriction *r = nullptr)
        : text(sql) {
        rc = parse_sql_text(context, text.data(), count, r);
    }
    ~Parsed() {
        release_parse_context(context);
        cv_mem_release_handle(pool);
    }
    Node *statement(int i = 0) const {
        ListCell *c = ListFirst(node_cast<ListNode>(context->root)->list);
        while (i-- > 0) c = ListNext(c);
        return node_cast<Node>(ListData(c));
    }
    // The first select item's expression of the first statement.
    Node *first_item() const {
        auto *u = node_cast<UnionNode>(node_cast<SelectNode>(statement())->query);
        auto *core = node_cast<SelectCoreNode>(node_cast<QuerySpecNode>(u->single)->core);
        return node_cast<SelectItemNode>(ListData(ListFirst(core->select_list->list)))->expression;
    }
    Node *where() const {
        auto *u = node_cast<UnionNode>(node_cast<SelectNode>(statement())->query);
        return node_cast<SelectCoreNode>(node_cast<QuerySpecNode>(u->single)->core)->where;
    }
    std::string printed() const {
        std::string s;
        EXPECT_EQ(print_to_string(context->root, true, s), 0);
        return s;
    }
};

const Value *value_of(void *n) { return node_cast<Value>(n); }

}  // namespace

TEST(ParserLimits, TextOfExactlyOneMebibyteIsAcceptedOneMoreIsNot) {
    std::string sql = "SELECT 1";
    sql.resize(kMaxStatementLength, ' ');
    EXPECT_EQ(parse_and_print(sql).rc, 0);
    sql += ' ';
    ParseResult r = parse_and_print(sql);
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.message, "Parser limit exceeded (length)");
}

namespace {

// `head`, then `item` `count` times with `separator` between, then `tail`.
std::string repeated(const std::string &head, const std::string &item, const std::string &separator, int count,
                     const std::string &tail) {
    std::string s = head;
    for (int i = 0; i < count; i++) {
        if (i) s += separator;
        s += item;
    }
    return s + tail;
}

}  // namespace

TEST(ParserLimits, NestingPastTheBoundNamesTheLimit) {
    const std::string nesting = "Parser limit exceeded (nesting deeper than 1000 levels)";
    const struct {
        std::string sql;
        std::string message;  // expected start of the message; empty: parses
    } cases[] = {
        {"SELECT " + std::string(10000, '(') + "1" + std::string(10000, ')'), nesting},
        {"SELECT a FROM t WHERE " + std::string(10000, '(') + "a = 1" + std::string(10000, ')'), nesting},
        {"SELECT " + std::string(1001, '(') + "1" + std::string(1001, ')'), nesting},
        {"SELECT " + std::string(1000, '(') + "1" + std::string(1000, ')'), ""},
        {repeated("SELECT ", "CASE WHEN a = 1 THEN ", "", 1001, "1") + repeated(" ", "END", " ", 1001, ""), nesting},
        {repeated("SELECT ", "CASE WHEN a = 1 THEN ", "", 999, "1") + repeated(" ", "END", " ", 999, ""), ""},
        {repeated("SELECT ", "{fn ABS(", "", 1001, "1") + repeated("", ")}", "", 1001, ""), nesting},
        {repeated("SELECT a FROM t WHERE ", "a IN (SELECT a FROM t WHERE ", "", 1001, "a = 1") + std::string(1001, ')'),
         nesting},
        {repeated("SELECT a FROM t WHERE ", "a IN (SELECT a FROM t WHERE ", "", 900, "a = 1") + std::string(900, ')'),
         ""},
    };
    for (const auto &c : cases) {
        ParseResult r = parse_and_print(c.sql);
        if (c.message.empty()) {
            EXPECT_EQ(r.rc, 0) << c.sql.substr(0, 60) << ": " << r.message;
            continue;
        }
        EXPECT_EQ(r.rc, 2) << c.sql.substr(0, 60);
        EXPECT_EQ(r.message.rfind(c.message + " near '", 0), 0u) << r.message;
        EXPECT_EQ(r.sqlstate, "42000");
    }
}

TEST(ParserLimits, ListsOfAnyLengthParseAndPrintBackOnAWorkerThread) {
    // Lists and AND / OR chains neither grow the parser's stack nor count
    // as depth; printing them (and reading the print back) takes no
    // recursion per item, so a thread's stack is enough.
    const struct {
        std::string sql;
        const char *starts;  // the squeezed print's start
    } cases[] = {
        {repeated("SELECT a FROM t WHERE a IN (", "7", ", ", 12000, ")"), "SELECT A FROM T WHERE ( ( A = 7 ) OR ( A = 7 ) OR"},
        {repeated("SELECT a FROM t WHERE a IN (", "7", ", ", 50000, ")"), "SELECT A FROM T WHERE ( ( A = 7 ) OR ( A = 7 ) OR"},
        {repeated("SELECT a FROM t WHERE a NOT IN (", "'x'", ",", 12000, ")"), "SELECT A FROM T WHERE ( ( A <> 'x' ) AND ( A <> 'x' ) AND"},
        {repeated("SELECT a FROM t WHERE ", "a = 1", " OR ", 9000, ""), "SELECT A FROM T WHERE ( ( A = 1 ) OR ( A = 1 ) OR"},
        {repeated("SELECT a FROM t WHERE ", "a = 1", " OR ", 50000, ""), "SELECT A FROM T WHERE ( ( A = 1 ) OR ( A = 1 ) OR"},
        {repeated("SELECT a FROM t WHERE ", "a > 1", " AND ", 9000, ""), "SELECT A FROM T WHERE ( ( A > 1 ) AND ( A > 1 ) AND"},
        {repeated("SELECT a FROM t WHERE NOT (", "a = 1", " OR ", 9000, ")"), "SELECT A FROM T WHERE ( ( A <> 1 ) AND ( A <> 1 ) AND"},
        {repeated("SELECT a FROM t WHERE ", "a = 1 AND b = 2", " OR ", 9000, ""), "SELECT A FROM T WHERE ( ( ( A = 1 ) AND ( B = 2 )) OR ( ( A = 1 ) AND ( B = 2 )) OR"},
        {repeated("SELECT ", "a", ", ", 12000, " FROM t"), "SELECT A, A, A"},
        {repeated("INSERT INTO t VALUES (", "1", ", ", 12000, ")"), "INSERT INTO T VALUES ( 1 , 1"},
        {repeated("SELECT COALESCE(", "a", ", ", 12000, ") FROM t"), "SELECT COALESCE( A, A"},
        {repeated("SELECT a FROM t GROUP BY ", "a", ", ", 12000, ""), "SELECT A FROM T GROUP BY A, A"},
        {repeated("SELECT a FROM t ORDER BY ", "a", ", ", 12000, ""), "SELECT A FROM T ORDER BY A"},
        {repeated("SELECT a FROM t WHERE a IN (", "?", ", ", 12000, ")"), "SELECT A FROM T WHERE ( ( A = ? ) OR ( A = ? ) OR"},
        {repeated("SELECT ", "1", "+", 50000, ""), "SELECT ( 1 + 1 + 1"},
        {repeated("SELECT ", "a * 2", " - ", 20000, " FROM t"), "SELECT ( ( A * 2 ) - ( A * 2 ) - ( A * 2 )"},
        {repeated("SELECT ", "'x'", " || ", 20000, ""), "SELECT ( 'x' || 'x' || 'x'"},
    };
    for (const auto &c : cases) {
        ParseResult r, again;
        std::thread worker([&] {
            r = parse_and_print(c.sql);
            if (r.rc == 0) again = parse_and_print(r.printed);
        });
        worker.join();
        ASSERT_EQ(r.rc, 0) << c.sql.substr(0, 60) << ": " << r.message;
        EXPECT_EQ(squeeze(r.printed).rfind(c.starts, 0), 0u) << squeeze(r.printed).substr(0, 80);
        EXPECT_EQ(again.rc, 0) << again.message;
        EXPECT_EQ(again.printed, r.printed) << c.sql.substr(0, 60);
    }
}

TEST(ParserText, ControlCharactersBecomeBlanksOnlyOutsideLiterals) {
    Parsed p("SELECT\t'a\tb\nc',\r\n\"x\ty\" FROM\tt\n;\n");
    ASSERT_EQ(p.rc, 0) << p.context->message;
    const Value *v = value_of(p.first_item());
    ASSERT_EQ(v->type, VT_CHAR);
    EXPECT_STREQ(v->data.s, "a\tb\nc");
    EXPECT_EQ(v->length, 5);
}

TEST(ParserText, ParametersAreNumberedInTextOrder) {
    Parsed p("SELECT ?, a FROM t WHERE b LIKE ? ESCAPE ? AND c = TRIM(? FROM d)");
    ASSERT_EQ(p.rc, 0) << p.context->message;
    EXPECT_EQ(p.context->parameter_count, 4);
    EXPECT_EQ(node_cast<ParameterNode>(p.first_item())->number, 1);
}

TEST(ParserLiterals, NumbersAreTypedByTheirLength) {
    const struct {
        const char *sql;
        uint32_t type;
        int precision, scale;
    } cases[] = {
        {"SELECT 123456", VT_INTEGER, 0, 0},
        {"SELECT 1234567", VT_NUMERIC, 7, 0},
        {"SELECT 1.5", VT_DOUBLE, 0, 0},
        {"SELECT 1234567.5", VT_NUMERIC, 10, 1},
        {"SELECT 1.5E-7", VT_DOUBLE, 0, 0},
        {"SELECT 12345678901234567890123456789012345678", VT_NUMERIC, 38, 0},
    };
    for (const auto &c : cases) {
        Parsed p(c.sql);
        ASSERT_EQ(p.rc, 0) << c.sql;
        const Value *v = value_of(p.first_item());
        EXPECT_EQ(v->type, c.type) << c.sql;
        if (c.type == VT_NUMERIC) {
            EXPECT_EQ(v->data.num.precision, c.precision) << c.sql;
            EXPECT_EQ(v->data.num.scale, c.scale) << c.sql;
        }
    }
    Parsed big("SELECT 1234567.5");
    const Value *v = value_of(big.first_item());
    EXPECT_EQ(v->data.num.val[0] | v->data.num.val[1] << 8 | v->data.num.val[2] << 16, 12345675);
}

TEST(ParserLiterals, IntegersOfMoreThan38DigitsAreRefused) {
    ParseResult r = parse_and_print("SELECT 123456789012345678901234567890123456789");
    EXPECT_EQ(r.rc, -1);
}

TEST(ParserLiterals, IntervalAndDatetimeValues) {
    Parsed p("SELECT INTERVAL -'1 02:03:04.5' DAY(3) TO SECOND(2)");
    ASSERT_EQ(p.rc, 0) << p.context->message;
    const Value *v = value_of(p.first_item());
    EXPECT_EQ(v->type, VT_INTERVAL_DS);
    EXPECT_EQ(v->data.iv.interval_type, SQL_IS_DAY_TO_SECOND);
    EXPECT_EQ(v->data.iv.interval_sign, SQL_TRUE);
    EXPECT_EQ(v->data.iv.intval.day_second.day, 1u);
    EXPECT_EQ(v->data.iv.intval.day_second.second, 4u);
    EXPECT_EQ(v->data.iv.intval.day_second.fraction, 50u);
    EXPECT_EQ(v->interval_leading_precision, 3);
    EXPECT_EQ(v->interval_seconds_precision, 2);
    Parsed h("SELECT #2020/1/2 3:04:05#");
    const Value *ts = value_of(h.first_item());
    EXPECT_EQ(ts->type, VT_TIMESTAMP);
    EXPECT_EQ(ts->data.ts.month, 1);
    EXPECT_EQ(ts->data.ts.second, 5);
}

TEST(ParserLiterals, DatetimeLiteralsMustBeRealDatesAndTimes) {
    const struct {
        const char *sql;
        const char *sqlstate;  // "" when it parses
        const char *message;   // expected start of the message
    } cases[] = {
        {"SELECT {d '2020-13-45'}", "22008", "Datetime field overflow in DATE literal '2020-13-45'"},
        {"SELECT {d '2021-02-29'}", "22008", "Datetime field overflow in DATE literal '2021-02-29'"},
        {"SELECT {d '2020-02-29'}", "", ""},  // a leap year
        {"SELECT {d '1900-02-29'}", "22008", "Datetime field overflow in DATE literal"},  // no leap year
        {"SELECT {d '2000-02-29'}", "", ""},
        {"SELECT {d '2020-04-31'}", "22008", "Datetime field overflow in DATE literal"},
        {"SELECT {d '2020-00-10'}", "22008", "Datetime field overflow in DATE literal"},
        {"SELECT {d '2020-01-00'}", "22008", "Datetime field overflow in DATE literal"},
        {"SELECT {d '0000-01-01'}", "22008", "Datetime field overflow in DATE literal"},
        {"SELECT DATE '2020-12-32'", "22008", "Datetime field overflow in DATE literal '2020-12-32'"},
        {"SELECT {t '25:00:00'}", "22008", "Datetime field overflow in TIME literal '25:00:00'"},
        {"SELECT {t '23:60:00'}", "22008", "Datetime field overflow in TIME literal"},
        {"SELECT TIME '23:59:60'", "22008", "Datetime field overflow in TIME literal"},
        {"SELECT {t '23:59:59'}", "", ""},
        {"SELECT {ts '2021-02-30 00:00:00'}", "22008",
         "Datetime field overflow in TIMESTAMP literal '2021-02-30 00:00:00'"},
        {"SELECT {ts '2021-02-28 24:00:00'}", "22008", "Datetime field overflow in TIMESTAMP literal"},
        {"SELECT TIMESTAMP '2021-12-31 23:59:59.999'", "", ""},
        {"SELECT #2021/2/30#", "22008", "Datetime field overflow in TIMESTAMP literal '#2021/2/30#'"},
        {"SELECT {d '2020-01'}", "22007", "Invalid DATE literal '2020-01'"},
        {"SELECT {t '10'}", "22007", "Invalid TIME literal '10'"},
        {"SELECT {ts 'soon'}", "22007", "Invalid TIMESTAMP literal 'soon'"},
        {"SELECT 1 FROM t WHERE {d '2020-99-01'} < d", "22008", "Datetime field overflow in DATE literal"},
    };
    for (const auto &c : cases) {
        ParseResult r = parse_and_print(c.sql);
        if (!*c.sqlstate) {
            EXPECT_EQ(r.rc, 0) << c.sql << ": " << r.message;
            continue;
        }
        EXPECT_EQ(r.rc, -1) << c.sql;
        EXPECT_EQ(r.sqlstate, c.sqlstate) << c.sql;
        EXPECT_EQ(r.message.rfind(c.message, 0), 0u) << c.sql << ": " << r.message;
    }
}

TEST(ParserNames, DayIsANameOutsideIntervalsAndAFieldInExtract) {
    Parsed p("SELECT EXTRACT(DAY FROM d), day FROM t");
    ASSERT_EQ(p.rc, 0) << p.context->message;
    auto *f = node_cast<FunctionNode>(p.first_item());
    ASSERT_EQ(f->kind, NODE_FUNCTION);
    EXPECT_EQ(f->code, FN_TABLE_EXTRACT);
    const Value *field = value_of(ListData(ListFirst(f->arguments->list)));
    ASSERT_EQ(field->kind, NODE_VALUE);
    EXPECT_EQ(field->data.i, 2);
}

TEST(ParserNames, QuotedNamesKeepCaseAndQuotedFlag) {
    Parsed p("SELECT \"Mixed\", [Br], t.select FROM t");
    ASSERT_EQ(p.rc, 0);
    auto *ref = node_cast<ColumnRefNode>(p.first_item());
    EXPECT_STREQ(ref->column->text, "Mixed");
    EXPECT_EQ(ref->column->quoted, 1);
}

TEST(ParserRewrites, NotLeavesConditionsInsideCaseAlone) {
    Parsed p("SELECT a FROM t WHERE NOT (CASE WHEN b = 1 THEN 1 END = 2)");
    ASSERT_EQ(p.rc, 0);
    auto *o = node_cast<OperatorNode>(p.where());
    EXPECT_EQ(o->op, OP_NE);
    auto *c = node_cast<CaseNode>(o->left);
    auto *w = node_cast<WhenNode>(ListData(ListFirst(c->whens->list)));
    EXPECT_EQ(node_cast<OperatorNode>(w->condition)->op, OP_EQ);
}

TEST(ParserRewrites, UnionChainsAssociateToTheLeft) {
    Parsed p("SELECT a FROM t UNION ALL SELECT b FROM u UNION SELECT c FROM v");
    ASSERT_EQ(p.rc, 0);
    auto *top = node_cast<UnionNode>(node_cast<SelectNode>(p.statement())->query);
    EXPECT_EQ(top->all, 0);
    auto *left = node_cast<UnionNode>(top->left);
    ASSERT_EQ(left->kind, NODE_UNION);
    EXPECT_EQ(left->all, 1);
    EXPECT_FALSE(left->single);
    EXPECT_TRUE(node_cast<UnionNode>(top->right)->single);
}

TEST(ParserRestrictions, OnlyTopLevelQueriesAndUnionBranchesAreRestricted) {
    Value five{};
    five.kind = NODE_VALUE;
    five.type = VT_INTEGER;
    five.data.i = 5;
    ParseRestriction r[2] = {
        {OP_EQ, {1, nullptr, nullptr, nullptr, "a"}, reinterpret_cast<Node *>(&five), {}},
        {OP_LT, {2, "", "", "T", "b"}, nullptr, {1, nullptr, nullptr, nullptr, "a"}},
    };
    ParseResult one = parse_and_print(
        "SELECT a, b + 1 FROM t WHERE a IN (SELECT x FROM u) UNION SELECT c, d FROM (SELECT c, d FROM w) q",
        2, r);
    ASSERT_EQ(one.rc, 0) << one.message;
    EXPECT_EQ(squeeze(one.printed),
              "SELECT A, ( B + 1 ) FROM T WHERE ( ( A = 5 ) AND ( \"T\".\"b\" < A ) AND A IN ( "
              "SELECT X FROM U)) UNION SELECT C, D FROM ( SELECT C, D FROM W ) Q WHERE ( ( C = 5 ) "
              "AND ( D < C ))");
}

TEST(ParserMemory, AllocationFailuresAreReportedNeverCrash) {
    const std::string sql =
        "SELECT a, COUNT(*) FROM t LEFT JOIN u ON t.x = u.y WHERE a IN (1, 2) AND b LIKE 'x%' "
        "GROUP BY a ORDER BY 1";
    for (long n = 1; n < 400; n++) {
        CvPool *pool = cv_mem_alloc_handle(nullptr);
        ParseContext *context = create_parse_context(pool);
        ASSERT_TRUE(context);
        std::string text = sql;
        cv_mem_fail_after(n);
        int rc = parse_sql_text(context, text.data(), 0, nullptr);
        cv_mem_fail_after(0);
        if (rc != 0) {
            EXPECT_EQ(rc, 2) << n;
            EXPECT_STRNE(message_of(context), "");
        }
        release_parse_context(context);
        cv_mem_release_handle(pool);
    }
}

TEST(Keywords, TableIsSortedForTheBinarySearchAndCaseInsensitive) {
    ASSERT_EQ(keyword_count(), 162);
    for (int i = 1; i < keyword_count(); i++)
        EXPECT_LT(strcasecmp(keyword_at(i - 1), keyword_at(i)), 0) << keyword_at(i);
    for (int i = 0; i < keyword_count(); i++)
        EXPECT_NE(lookup_keyword(keyword_at(i), std::strlen(keyword_at(i))), 0);
    EXPECT_EQ(lookup_keyword("select", 6), lookup_keyword("SELECT", 6));
    EXPECT_EQ(lookup_keyword("int", 3), lookup_keyword("INTEGER", 7));
    EXPECT_EQ(lookup_keyword("selects", 7), 0);
    EXPECT_FALSE(is_reserved_word("DAY", 3));
}

namespace {
int record_kind(Node *n, void *out) {
    static_cast<std::vector<uint32_t> *>(out)->push_back(n->kind);
    return 0;
}
}  // namespace

TEST(Walker, VisitsChildrenFirstAndSkipsSubqueriesAndCoalesce) {
    Parsed p("SELECT (a + 1) * COALESCE(b, 2) FROM t");
    ASSERT_EQ(p.rc, 0);
    std::vector<uint32_t> kinds;
    EXPECT_EQ(walk_expression(p.first_item(), record_kind, &kinds), 0);
    std::vector<uint32_t> expected = {NODE_COLUMN_REF, NODE_VALUE,      NODE_OPERATOR, NODE_COLUMN_REF,
                                      NODE_VALUE,      NODE_OPERATOR};
    EXPECT_EQ(kinds, expected);
    Parsed q("SELECT a FROM t WHERE a IN (SELECT b FROM u)");
    kinds.clear();
    EXPECT_EQ(walk_expression(q.where(), record_kind, &kinds), 0);
    expected = {NODE_COLUMN_REF, NODE_IN_SUBQUERY};
    EXPECT_EQ(kinds, expected);
    Parsed f("SELECT {fn TIMESTAMPADD(SQL_TSI_DAY, 1, d)} FROM t");
    kinds.clear();
    EXPECT_EQ(walk_expression(f.first_item(), record_kind, &kinds), 0);
    expected = {NODE_VALUE, NODE_COLUMN_REF, NODE_FUNCTION};  // the keyword argument is skipped
    EXPECT_EQ(kinds, expected);
    // TRIM's source is an operand like any other: column references in it are found.
    Parsed tr("SELECT TRIM(LEADING 'x' FROM name) FROM t");
    ASSERT_EQ(tr.rc, 0);
    kinds.clear();
    EXPECT_EQ(walk_expression(tr.first_item(), record_kind, &kinds), 0);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), NODE_COLUMN_REF), 1) << "the trimmed column";
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), NODE_VALUE), 1) << "the trim character";
}

TEST(ParserLimits, TreesAtTheNestingBoundPrintOnAWorkerThread) {
    // The deepest trees come from nesting at its bound (sub-queries in
    // sub-queries, brackets in brackets, CASE in CASE); they must still print
    // on a thread's stack. The print brackets every comparison, so it may
    // nest a little deeper than the text: read back, it is the same tree
    // when there is room, and the named limit when there is not.
    for (int levels : {kMaxNesting, kMaxNesting - 2}) {
        const std::string cases[] = {
            repeated("SELECT a FROM t WHERE ", "a IN (SELECT a FROM t WHERE ", "", levels, "a = 1") +
                std::string(levels, ')'),
            repeated("SELECT ", "(a * ", "", levels, "1") + std::string(levels, ')'),
            repeated("SELECT ", "CASE WHEN a = 1 THEN ", "", levels, "1") + repeated(" ", "END", " ", levels, ""),
        };
        for (const std::string &sql : cases) {
            ParseResult r, again;
            std::thread worker([&] {
                r = parse_and_print(sql);
                again = parse_and_print(r.printed);
            });
            worker.join();
            ASSERT_EQ(r.rc, 0) << sql.substr(0, 60) << ": " << r.message;
            if (levels < kMaxNesting) {
                EXPECT_EQ(again.rc, 0) << again.message;
                EXPECT_EQ(again.printed, r.printed);
            } else if (again.rc != 0) {
                EXPECT_EQ(again.message.rfind("Parser limit exceeded (nesting deeper than 1000 levels)", 0), 0u);
            }
        }
    }
}

TEST(IntervalValues, ShapesAndRangesFollowTheQualifier) {
    const struct {
        int code;
        std::vector<const char *> numbers;
        const char *separators;
        const char *fraction;
        bool ok;
    } cases[] = {
        {1, {"5"}, "", nullptr, true},          {1, {"123"}, "", nullptr, false},  // 3 digits > precision 2
        {7, {"1", "11"}, "-", nullptr, true},   {7, {"1", "12"}, "-", nullptr, false},
        {8, {"1", "23"}, " ", nullptr, true},   {8, {"1", "24"}, " ", nullptr, false},
        {8, {"3"}, "", nullptr, true},          {9, {"1", "2", "59"}, " :", nullptr, true},
        {9, {"1", "2", "60"}, " :", nullptr, false}, {10, {"1", "2", "3", "4"}, " ::", "5", true},
        {11, {"99", "59"}, ":", nullptr, true}, {11, {"5", "6"}, " ", nullptr, false},
        {13, {"6", "7"}, ":", "1234567", false},  // seven significant digits > 6
        {6, {"7"}, "", "500000000", true},       {6, {"7"}, "", "1234567890", false},
        {3, {"1"}, "", "5", false},              // no fraction without seconds
    };
    for (const auto &c : cases) {
        IntervalParts parts{};
        parts.count = static_cast<int>(c.numbers.size());
        for (int i = 0; i < parts.count; i++) parts.numbers[i] = c.numbers[i];
        for (int i = 0; c.separators[i]; i++) parts.separators[i] = c.separators[i];
        parts.fraction = c.fraction;
        parts.point = c.fraction != nullptr;
        SQL_INTERVAL_STRUCT out{};
        EXPECT_EQ(make_interval_struct(c.code, false, parts, 2, 6, &out), c.ok)
            << "code " << c.code << " " << c.numbers[0];
    }
    EXPECT_EQ(interval_code_of(3, 6), 10);
    EXPECT_EQ(interval_code_of(2, 1), 0);
}
