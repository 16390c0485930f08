// The statement corpus: every case parses to its expected printed tree or
// fails with its expected code and message; printed trees read back to the
// same text; eight threads parsing at once agree with one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "tests/sql/sql_test_util.h"

namespace {

struct Case {
    std::string file;      // corpus file
    int line;              // line of the sql: entry
    std::string sql;       // the statement text
    bool ok;               // expects a tree
    std::string expected;  // squeezed printed text, or the message
    int code;              // expected parse result for errors
};

std::vector<Case> load_corpus() {
    std::vector<Case> cases;
    for (const auto &entry : std::filesystem::directory_iterator(CV_SQL_CORPUS_DIR)) {
        if (entry.path().extension() != ".test") continue;
        std::ifstream in(entry.path());
        std::string line;
        int number = 0;
        Case current{};
        while (std::getline(in, line)) {
            number++;
            if (line.rfind("sql: ", 0) == 0) {
                current = Case{entry.path().filename().string(), number, line.substr(5), false, "", 0};
            } else if (line.rfind("ok: ", 0) == 0) {
                current.ok = true;
                current.expected = line.substr(4);
                cases.push_back(current);
            } else if (line.rfind("error ", 0) == 0) {
                size_t colon = line.find(": ");
                current.code = std::stoi(line.substr(6, colon - 6));
                current.expected = line.substr(colon + 2);
                cases.push_back(current);
            }
        }
    }
    return cases;
}

const std::vector<Case> &corpus() {
    static const std::vector<Case> cases = load_corpus();
    return cases;
}

std::string outcome(const ParseResult &r) {
    return r.rc == 0 ? "ok: " + r.printed : "error " + std::to_string(r.rc) + ": " + r.message;
}

}  // namespace

TEST(CorpusTest, EveryCaseGivesItsExpectedTreeOrError) {
    ASSERT_GT(corpus().size(), 150u);
    for (const Case &c : corpus()) {
        SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + " " + c.sql);
        ParseResult r = parse_and_print(c.sql);
        if (c.ok) {
            EXPECT_EQ(r.rc, 0) << r.message;
            EXPECT_EQ(squeeze(r.printed), c.expected);
        } else {
            EXPECT_EQ(r.rc, c.code);
            EXPECT_EQ(r.message, c.expected);
        }
    }
}

TEST(CorpusTest, PrintedTreesParseBackToTheSameText) {
    for (const Case &c : corpus()) {
        if (!c.ok) continue;
        SCOPED_TRACE(c.sql);
        ParseResult first = parse_and_print(c.sql);
        ASSERT_EQ(first.rc, 0);
        ParseResult second = parse_and_print(first.printed);
        ASSERT_EQ(second.rc, 0) << first.printed << " -> " << second.message;
        EXPECT_EQ(second.printed, first.printed);
    }
}

TEST(CorpusTest, EveryParserMessageIsProducedByTheCorpus) {
    // The messages of the grammar, by their fixed start; nesting and length
    // limits are covered by ParserLimits tests.
    const char *const kMessages[] = {
        "syntax error near", "Invalid DATE literal '", "Invalid TIME literal '",
        "Invalid TIMESTAMP literal '", "Datetime field overflow in DATE literal '",
        "Datetime field overflow in TIME literal '", "Datetime field overflow in TIMESTAMP literal '",
        "Invalid INTERVAL literal near",
        "Column name expected in AVG( DISTINCT ), expression found",
        "Column name expected in COUNT( DISTINCT ), expression found",
        "Column name expected in MAX( DISTINCT ), expression found",
        "Column name expected in MIN( DISTINCT ), expression found",
        "Column name expected in SUM( DISTINCT ), expression found", "Wildcard not allowed here",
        "unknown function name", "incorrect number of arguments to",
        "Second arg to CONVERT must be a SQL Date type, ie 'SQL_DATE'",
        "unexpected target type", "unmatched value count with OVERLAPS predicate"};
    for (const char *m : kMessages) {
        bool found = false;
        for (const Case &c : corpus())
            if (!c.ok && c.expected.rfind(m, 0) == 0) found = true;
        EXPECT_TRUE(found) << m;
    }
}

TEST(CorpusTest, EightThreadsAgreeWithOne) {
    std::vector<std::string> expected;
    for (const Case &c : corpus()) expected.push_back(outcome(parse_and_print(c.sql)));
    std::vector<std::vector<std::string>> results(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; t++)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; round++)
                for (const Case &c : corpus()) results[t].push_back(outcome(parse_and_print(c.sql)));
        });
    for (auto &th : threads) th.join();
    for (int t = 0; t < 8; t++) {
        ASSERT_EQ(results[t].size(), expected.size() * 5);
        for (size_t i = 0; i < results[t].size(); i++)
            ASSERT_EQ(results[t][i], expected[i % expected.size()]) << "thread " << t;
    }
}
