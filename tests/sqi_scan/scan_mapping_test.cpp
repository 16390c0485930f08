// JSON row mapping: every conversion of SQIGetData, piecewise character
// reads across rows, echoed filter values and strict bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scan_harness.h"

namespace {

// An iterator positioned on a hand-made row of CapturenDetails, whose
// column Status reads the member "status".
struct FakeRow {
    PaypalIterator it{};
    explicit FakeRow(const char *json) {
        it.mode = kQueryRows;
        it.table = paypal_find_table("CapturenDetails");
        it.root = json_loads(json, JSON_DECODE_ANY, nullptr);
        it.row = it.root;
        it.piece_column = -1;
        it.row_serial = 1;
    }
    ~FakeRow() { scan_release(&it); }
    int status() const { return paypal_find_column(it.table, "Status") + 1; }
};

std::string read_char(FakeRow &r, SQLLEN capacity, int *rc) {
    char buf[256] = "";
    SQLLEN len = 0;
    *rc = SQIGetData(&r.it, r.status(), SQL_C_CHAR, buf, capacity, &len);
    return len == SQL_NULL_DATA ? "<NULL>" : std::string(buf);
}

TEST(ScanMapping, CharacterForms) {
    struct Case {
        const char *json, *text;
    } cases[] = {
        {R"({"status": "OPEN"})", "OPEN"},
        {R"({"status": true})", "True"},
        {R"({"status": false})", "False"},
        {R"({"status": 42})", "42"},
        {R"({"status": 9007199254740993})", "9007199254740993"},
        {R"({"status": 12.5})", "12.500000"},
        {R"({"status": null})", "<NULL>"},
        {R"({"other": 1})", "<NULL>"},
        {R"({"status": []})", "<NULL>"},
        {R"({"status": [1, "a"]})", "[1, \"a\"]"},
        {R"({"status": {"b": 1, "a": [true, {}]}})", "{\"a\": [true, {}], \"b\": 1}"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        FakeRow r(c.json);
        int rc;
        EXPECT_EQ(read_char(r, 256, &rc), c.text);
        EXPECT_EQ(rc, DAL_OK);
    }
}

TEST(ScanMapping, NumericForms) {
    struct Case {
        const char *json;
        int c_type;
        double expected;  // NaN-free; -999 means NULL
    } cases[] = {
        {R"({"status": 7})", SQL_C_LONG, 7},       {R"({"status": 7.9})", SQL_C_LONG, 7},
        {R"({"status": true})", SQL_C_LONG, 1},    {R"({"status": false})", SQL_C_LONG, 0},
        {R"({"status": "7"})", SQL_C_LONG, -999},  {R"({"status": 5000000000})", SQL_C_SBIGINT, 5e9},
        {R"({"status": -2.5})", SQL_C_SBIGINT, -2}, {R"({"status": null})", SQL_C_SBIGINT, -999},
        {R"({"status": 2.25})", SQL_C_DOUBLE, 2.25}, {R"({"status": 3})", SQL_C_DOUBLE, 3},
        {R"({"status": "10.50 USD"})", SQL_C_DOUBLE, 10.5}, {R"({"status": "abc"})", SQL_C_DOUBLE, 0},
        {R"({"status": ""})", SQL_C_DOUBLE, -999},  {R"({"status": {}})", SQL_C_DOUBLE, -999},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        FakeRow r(c.json);
        unsigned char buf[16] = {};
        SQLLEN len = 0;
        ASSERT_EQ(SQIGetData(&r.it, r.status(), c.c_type, buf, sizeof buf, &len), DAL_OK);
        if (c.expected == -999) {
            EXPECT_EQ(len, SQL_NULL_DATA);
            continue;
        }
        double got = 0;
        if (c.c_type == SQL_C_LONG) {
            int32_t v;
            memcpy(&v, buf, 4);
            got = v;
            EXPECT_EQ(len, 4);
        } else if (c.c_type == SQL_C_SBIGINT) {
            int64_t v;
            memcpy(&v, buf, 8);
            got = static_cast<double>(v);
            EXPECT_EQ(len, 8);
        } else {
            memcpy(&got, buf, 8);
            EXPECT_EQ(len, 8);
        }
        EXPECT_EQ(got, c.expected);
    }
}

// A value the column's type cannot hold is a read error (22003 / 22007
// posted), never a wrapped number or an impossible date.
TEST(ScanMapping, ValuesOutsideTheirTypeAreErrors) {
    struct Case {
        const char *json;
        int c_type;
    } cases[] = {
        {R"({"status": 5000000000})", SQL_C_LONG},        {R"({"status": -2147483649})", SQL_C_LONG},
        {R"({"status": 1e30})", SQL_C_SBIGINT},           {R"({"status": 3e10})", SQL_C_LONG},
        {R"({"status": "1e999"})", SQL_C_DOUBLE},         {R"({"status": "2023-02-30T00:00:00Z"})", SQL_C_TYPE_TIMESTAMP},
        {R"({"status": "2023-13-05"})", SQL_C_TYPE_DATE}, {R"({"status": "25:00:00"})", SQL_C_TYPE_TIME},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        FakeRow r(c.json);
        unsigned char buf[32] = {};
        SQLLEN len = 0;
        EXPECT_EQ(SQIGetData(&r.it, r.status(), c.c_type, buf, sizeof buf, &len), DAL_ERROR);
    }
    FakeRow edge(R"({"status": 2147483647})");
    int32_t v = 0;
    SQLLEN len = 0;
    ASSERT_EQ(SQIGetData(&edge.it, edge.status(), SQL_C_LONG, &v, sizeof v, &len), DAL_OK);
    EXPECT_EQ(v, 2147483647);
}

TEST(ScanMapping, DatesTimesAndTimestamps) {
    struct Case {
        const char *value;
        int y, mo, d, h, mi, s;  // y = 0: NULL
    } cases[] = {
        {"2023-04-05T06:07:08Z", 2023, 4, 5, 6, 7, 8},
        {"2023-04-05T06:07:08.123Z", 2023, 4, 5, 6, 7, 8},
        {"2023-04-05T23:30:00-07:00", 2023, 4, 6, 6, 30, 0},
        {"2023-03-01T02:00:00+05:30", 2023, 2, 28, 20, 30, 0},
        {"2024-12-31T20:00:00.000-05:00", 2025, 1, 1, 1, 0, 0},
        {"2023-04-05T06:07:08+00:00", 2023, 4, 5, 6, 7, 8},
        {"2023-04-05T23:30:00-0700", 2023, 4, 6, 6, 30, 0},
        {"2023-03-01T02:00:00+0530", 2023, 2, 28, 20, 30, 0},
        {"2014-07-11T04:03:52+0000", 2014, 7, 11, 4, 3, 52},
        {"2023-04-05", 0, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        std::string json = std::string(R"({"status": ")") + c.value + "\"}";
        FakeRow r(json.c_str());
        TIMESTAMP_STRUCT t{};
        SQLLEN len = 0;
        ASSERT_EQ(SQIGetData(&r.it, r.status(), SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &len), DAL_OK);
        if (!c.y) {
            EXPECT_EQ(len, SQL_NULL_DATA);
            continue;
        }
        EXPECT_EQ(len, 16);
        EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second, (int)t.fraction}),
                  std::vector<int>({c.y, c.mo, c.d, c.h, c.mi, c.s, 0}));
    }
    FakeRow r(R"({"status": "2023-04-05T06:07:08Z"})");
    DATE_STRUCT d{};
    SQLLEN len = 0;
    ASSERT_EQ(SQIGetData(&r.it, r.status(), SQL_C_TYPE_DATE, &d, sizeof d, &len), DAL_OK);
    EXPECT_EQ(std::vector<int>({d.year, d.month, d.day, (int)len}), std::vector<int>({2023, 4, 5, 6}));
    FakeRow tr(R"({"status": "06:07:08"})");
    TIME_STRUCT t{};
    ASSERT_EQ(SQIGetData(&tr.it, tr.status(), SQL_C_TYPE_TIME, &t, sizeof t, &len), DAL_OK);
    EXPECT_EQ(std::vector<int>({t.hour, t.minute, t.second}), std::vector<int>({6, 7, 8}));
    FakeRow shortr(R"({"status": "06:07"})");
    ASSERT_EQ(SQIGetData(&shortr.it, shortr.status(), SQL_C_TYPE_TIME, &t, sizeof t, &len), DAL_OK);
    EXPECT_EQ(len, SQL_NULL_DATA);
}

TEST(ScanMapping, PiecewiseReadsRestartOnEveryRowAndColumn) {
    std::string fifty(50, 'x');
    for (int i = 0; i < 50; ++i) fifty[i] = static_cast<char>('a' + i % 26);
    FakeRow r(("{\"status\": \"" + fifty + "\", \"id\": \"ID-1\"}").c_str());
    int rc;
    EXPECT_EQ(read_char(r, 20, &rc), fifty.substr(0, 19));
    EXPECT_EQ(rc, DAL_INFO);
    EXPECT_EQ(read_char(r, 20, &rc), fifty.substr(19, 19));
    EXPECT_EQ(rc, DAL_INFO);
    EXPECT_EQ(read_char(r, 20, &rc), fifty.substr(38));
    EXPECT_EQ(rc, DAL_OK);
    // Delivered whole: reading the column again gives its value again.
    EXPECT_EQ(read_char(r, 20, &rc), fifty.substr(0, 19));
    EXPECT_EQ(rc, DAL_INFO);
    // Half-read, then the next row: the same column starts again.
    r.it.piece_offset = 5;
    ++r.it.row_serial;
    EXPECT_EQ(read_char(r, 20, &rc), fifty.substr(0, 19));
    // Another column in between restarts too.
    char buf[64];
    SQLLEN len;
    int id = paypal_find_column(r.it.table, "Id") + 1;
    ASSERT_EQ(SQIGetData(&r.it, id, SQL_C_CHAR, buf, sizeof buf, &len), DAL_OK);
    EXPECT_STREQ(buf, "ID-1");
    EXPECT_EQ(read_char(r, 20, &rc), fifty.substr(0, 19));
    // No room at all: nothing copied, the rest reported.
    ASSERT_EQ(SQIGetData(&r.it, r.status(), SQL_C_CHAR, nullptr, 0, &len), DAL_INFO);
    EXPECT_EQ(len, 31);
}

TEST(ScanMapping, UnknownBufferTypeIsAnErrorAndWritesNothing) {
    FakeRow r(R"({"status": "OPEN"})");
    char buf[8] = "keep";
    SQLLEN len = 77;
    EXPECT_EQ(SQIGetData(&r.it, r.status(), SQL_C_BINARY, buf, sizeof buf, &len), DAL_ERROR);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(len, 77);
}

TEST(ScanMapping, ObjectColumnsAreWrittenOnceForAllTheirPieces) {
    // A 100 KB object read in 1 KB pieces: every piece comes from one text,
    // so the pieces join to exactly the text of a single read.
    std::string big = "{\"status\": {";
    for (int i = 0; i < 4000; ++i) big += (i ? ", " : "") + std::string("\"k") + std::to_string(i) + "\": [1, 2]";
    big += "}}";
    FakeRow whole(big.c_str());
    std::vector<char> all(200000);
    SQLLEN len = 0;
    ASSERT_EQ(SQIGetData(&whole.it, whole.status(), SQL_C_CHAR, all.data(), static_cast<SQLLEN>(all.size()), &len),
              DAL_OK);
    std::string expected(all.data(), static_cast<size_t>(len));
    ASSERT_GT(expected.size(), 50000u);
    FakeRow r(big.c_str());
    std::string joined;
    char piece[1024];
    int rc = DAL_INFO;
    for (int guard = 0; rc == DAL_INFO && guard < 1000; ++guard) {
        rc = SQIGetData(&r.it, r.status(), SQL_C_CHAR, piece, sizeof piece, &len);
        joined.append(piece, static_cast<size_t>(len));
    }
    EXPECT_EQ(rc, DAL_OK);
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(r.it.piece_text_ready, 1);
}

TEST(ScanMapping, StrictBoundsAreSentInclusiveAndEchoed) {
    ASSERT_GT(emulator().port, 0);
    ScanEnv s;
    ASSERT_TRUE(s.connect("query_timeout=0"));
    ASSERT_EQ(s.start("Payments", {{"StartTime", RESTRICT_GT, "2023-12-31 23:59:59", true},
                                   {"EndTime", RESTRICT_LT, "2025-01-01 00:00:00", true}}),
              DAL_OK);
    EXPECT_EQ(emulator().last_request_line(),
              "GET /v1/payments/payment?count=20&end_time=2024-12-31T23%3A59%3A59Z&fields=all&"
              "start_time=2024-01-01T00%3A00%3A00Z");
    ASSERT_EQ(s.next(), DAL_OK);
    EXPECT_EQ(s.text("StartTime"), "2024-01-01T00:00:00Z");
    EXPECT_EQ(s.text("EndTime"), "2024-12-31T23:59:59Z");
    TIMESTAMP_STRUCT t{};
    SQLLEN len;
    ASSERT_EQ(SQIGetData(s.it, s.column_number("StartTime"), SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &len), DAL_OK);
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour}), std::vector<int>({2024, 1, 1, 0}));
}

TEST(ScanMapping, RestrictionValueTexts) {
    Value v{};
    v.kind = kValueNodeKind;
    std::string out;
    v.type = VT_DOUBLE;
    v.data.d = 12.5;
    ASSERT_TRUE(restriction_value_text(&v, out));
    EXPECT_EQ(out, "12.5");
    v.data.d = 3;
    ASSERT_TRUE(restriction_value_text(&v, out));
    EXPECT_EQ(out, "3");
    uint8_t bytes[] = {0x0A, 0xA0, 0x00};
    v.type = VT_BINARY;
    v.data.bytes = bytes;
    v.length = 3;
    ASSERT_TRUE(restriction_value_text(&v, out));
    EXPECT_EQ(out, "0x0AA000");
    v.type = VT_DATE;
    v.data.date = DATE_STRUCT{2024, 2, 29};
    ASSERT_TRUE(restriction_value_text(&v, out));
    EXPECT_EQ(out, "2024-02-29");
    v.is_null = -1;
    ASSERT_TRUE(restriction_value_text(&v, out));
    EXPECT_EQ(out, "NULL");
    std::string ts = "2024-12-31T23:59:59Z";
    EXPECT_TRUE(adjust_strict_bound(ts, 1));
    EXPECT_EQ(ts, "2025-01-01T00:00:00Z");
    ts = "2024-03-01 00:00:00";
    EXPECT_TRUE(adjust_strict_bound(ts, -1));
    EXPECT_EQ(ts, "2024-02-29T23:59:59Z");
    std::string n = "41";
    EXPECT_TRUE(adjust_strict_bound(n, 1));
    EXPECT_EQ(n, "42");
    std::string word = "abc";
    EXPECT_FALSE(adjust_strict_bound(word, 1));
}

}  // namespace
