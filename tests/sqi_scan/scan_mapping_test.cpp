// JSON row mapping: every conversion of SQIGetData, piecewise character
// reads across rows, echoed filter values and strict bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scan_harness.h"
#include "sqi/page_reply.h"

namespace {

// The SQLSTATE and message of the last diagnostic a FakeRow's reads posted.
std::string g_state, g_message;

int record_post(DalRecord *, int code, DalServiceRequest *r) {
    if (code == DAL_SERVICE_POST_ERROR) {
        g_state = r->sqlstate ? r->sqlstate : "";
        g_message = r->message ? r->message : "";
    }
    return DAL_OK;
}

// An iterator positioned on a hand-made row of `table` (CapturenDetails by
// default), read as a single-object reply, whose diagnostics are recorded.
// With `column`, the row holds `value` at that column's JSON path; otherwise
// `value` is the row.
struct FakeRow {
    PaypalEnv env{};
    PaypalIterator it{};
    int column = 0;  // 1-based
    bool loaded = false;
    explicit FakeRow(const char *json) : FakeRow("CapturenDetails", nullptr, json) {}
    FakeRow(const char *table, const char *column_name, const char *value) {
        env.link.callback = record_post;
        it.env = &env;
        it.mode = kQueryRows;
        it.table = paypal_find_table(table);
        column = paypal_find_column(it.table, column_name ? column_name : "Status") + 1;
        std::string json = value;
        if (column_name) {
            const PaypalColumn &c = it.table->columns[column - 1];
            for (int m = c.path_depth - 1; m >= 0; --m)
                json = std::string("{\"") + c.path_members[m] + "\": " + json + "}";
        }
        std::string error;
        loaded = page_load_text(it.page, std::move(json), it.table, false, error);
        it.current_row = 1;
        it.piece_column = -1;
        it.row_serial = 1;
    }
    ~FakeRow() { scan_release(&it); }
    int status() const { return column; }
};

std::string read_char(FakeRow &r, SQLLEN capacity, int *rc) {
    char buf[256] = "";
    SQLLEN len = 0;
    *rc = SQIGetData(&r.it, r.status(), SQL_C_CHAR, buf, capacity, &len);
    return len == SQL_NULL_DATA ? "<NULL>" : std::string(buf);
}

// One read of a FakeRow's column as `c_type`, written as text: the value
// ("YYYY-MM-DD HH:MM:SS.fffffffff" for timestamps), "<NULL>", or "!" and
// the SQLSTATE of the error.
std::string read_as(FakeRow &r, int c_type) {
    g_state.clear();
    union {
        char text[512];
        int32_t i32;
        int64_t i64;
        double d;
        DATE_STRUCT date;
        TIME_STRUCT time;
        TIMESTAMP_STRUCT ts;
    } buf{};
    SQLLEN len = 0;
    int rc = SQIGetData(&r.it, r.column, c_type, &buf, sizeof buf, &len);
    if (rc == DAL_ERROR) return "!" + g_state;
    if (rc != DAL_OK) return "rc " + std::to_string(rc);
    if (len == SQL_NULL_DATA) return "<NULL>";
    char out[64];
    switch (c_type) {
        case SQL_C_CHAR: return std::string(buf.text, static_cast<size_t>(len));
        case SQL_C_LONG: return std::to_string(buf.i32);
        case SQL_C_SBIGINT: return std::to_string(buf.i64);
        case SQL_C_DOUBLE: snprintf(out, sizeof out, "%.17g", buf.d); return out;
        case SQL_C_TYPE_DATE:
            snprintf(out, sizeof out, "%04d-%02d-%02d", buf.date.year, buf.date.month, buf.date.day);
            return out;
        case SQL_C_TYPE_TIME:
            snprintf(out, sizeof out, "%02d:%02d:%02d", buf.time.hour, buf.time.minute, buf.time.second);
            return out;
        default:
            snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d.%09u", buf.ts.year, buf.ts.month, buf.ts.day,
                     buf.ts.hour, buf.ts.minute, buf.ts.second, static_cast<unsigned>(buf.ts.fraction));
            return out;
    }
}

// Every JSON kind into every buffer type the engine reads, on columns of
// each catalogue type: the value, NULL (only null, a missing member or an
// empty array as text) or the error's SQLSTATE.
TEST(ScanMapping, JsonKindsIntoBufferTypes) {
    constexpr const char *kText = "CapturenDetails.Status";              // NVARCHAR(30)
    constexpr const char *kAmount = "CapturenDetails.AmountValue";       // NUMERIC(19,6), read as text
    constexpr const char *kBoolean = "CapturenDetails.FinalCapture";     // TINYINT
    constexpr const char *kArray = "CapturenDetails.PlatformFees";       // LONGNVARCHAR array
    constexpr const char *kTime = "AuthorizationDetails.ExpirationTime";  // TIMESTAMP
    constexpr const char *kCount = "Subscriptions.BillingInfoOutstandingValueFailedPaymentsCount";  // INTEGER
    constexpr int kChar = SQL_C_CHAR, kLong = SQL_C_LONG, kBig = SQL_C_SBIGINT, kDouble = SQL_C_DOUBLE;
    constexpr int kDate = SQL_C_TYPE_DATE, kTimeOfDay = SQL_C_TYPE_TIME, kStamp = SQL_C_TYPE_TIMESTAMP;
    struct Case {
        const char *column, *json;
        int c_type;
        const char *expected;
    } cases[] = {
        // Text columns take every kind; numbers in their exact shortest decimal.
        {kText, R"("OPEN")", kChar, "OPEN"},
        {kText, "true", kChar, "True"},
        {kText, "false", kChar, "False"},
        {kText, "42", kChar, "42"},
        {kText, "9007199254740993", kChar, "9007199254740993"},
        {kText, "12.5", kChar, "12.5"},
        {kText, "0.1", kChar, "0.1"},
        {kText, "1e-7", kChar, "0.0000001"},
        {kText, "null", kChar, "<NULL>"},
        {kText, "[]", kChar, "<NULL>"},
        {kText, R"([1, "a"])", kChar, "[1, \"a\"]"},
        {kText, R"({"b": 1, "a": [true, {}]})", kChar, "{\"a\": [true, {}], \"b\": 1}"},
        {kText, R"({"given_name": "Ann"})", kChar, "{\"given_name\": \"Ann\"}"},
        {kArray, "[]", kChar, "<NULL>"},
        {kArray, R"([{"x": "1.00"}])", kChar, "[{\"x\": \"1.00\"}]"},
        {kBoolean, "true", kChar, "True"},
        // NUMERIC columns are read as text the engine parses: only numbers,
        // within NUMERIC(19,6).
        {kAmount, R"("10.00")", kChar, "10.00"},
        {kAmount, R"("-3.5")", kChar, "-3.5"},
        {kAmount, R"("1E+2")", kChar, "1E+2"},
        {kAmount, "12.25", kChar, "12.25"},
        {kAmount, "0.1", kChar, "0.1"},
        {kAmount, "1e-7", kChar, "0.0000001"},
        {kAmount, "7", kChar, "7"},
        {kAmount, "true", kChar, "1"},
        {kAmount, "false", kChar, "0"},
        {kAmount, "1234567890123", kChar, "1234567890123"},
        {kAmount, R"("12345678901234")", kChar, "!22003"},
        {kAmount, "1e20", kChar, "!22003"},
        {kAmount, R"("10.50 USD")", kChar, "!22018"},
        {kAmount, R"("")", kChar, "!22018"},
        {kAmount, R"(" 1")", kChar, "!22018"},
        {kAmount, R"("abc")", kChar, "!22018"},
        {kAmount, "{}", kChar, "!22018"},
        {kAmount, "[1]", kChar, "!22018"},
        {kAmount, "null", kChar, "<NULL>"},
        // Integers: JSON numbers, numeric strings and booleans; reals and
        // fractions truncated toward zero; the column's range checked.
        {kCount, "7", kLong, "7"},
        {kCount, "7.9", kLong, "7"},
        {kCount, "-7.9", kLong, "-7"},
        {kCount, "true", kLong, "1"},
        {kCount, "false", kLong, "0"},
        {kCount, R"("7")", kLong, "7"},
        {kCount, R"("+7")", kLong, "7"},
        {kCount, R"("-12")", kLong, "-12"},
        {kCount, R"("7.9")", kLong, "7"},
        {kCount, R"("1e3")", kLong, "1000"},
        {kCount, "2147483647", kLong, "2147483647"},
        {kCount, "5000000000", kLong, "!22003"},
        {kCount, "-2147483649", kLong, "!22003"},
        {kCount, "3e10", kLong, "!22003"},
        {kCount, R"("5000000000")", kLong, "!22003"},
        {kCount, R"("7 items")", kLong, "!22018"},
        {kCount, R"("")", kLong, "!22018"},
        {kCount, R"("2023-01-01")", kLong, "!22018"},
        {kCount, "{}", kLong, "!22018"},
        {kCount, "[]", kLong, "!22018"},
        {kCount, "5000000000", kBig, "5000000000"},
        {kCount, "-2.5", kBig, "-2"},
        {kCount, R"("9223372036854775807")", kBig, "9223372036854775807"},
        {kCount, R"("9223372036854775808")", kBig, "!22003"},
        {kCount, "1e30", kBig, "!22003"},
        {kCount, "null", kBig, "<NULL>"},
        {kCount, "1024", kChar, "1024"},
        {kBoolean, "true", kLong, "1"},
        {kBoolean, "300", kLong, "!22003"},
        // Doubles.
        {kAmount, "2.25", kDouble, "2.25"},
        {kAmount, "3", kDouble, "3"},
        {kAmount, "true", kDouble, "1"},
        {kAmount, R"("10.50")", kDouble, "10.5"},
        {kAmount, R"("-1.5e3")", kDouble, "-1500"},
        {kAmount, R"("10.50 USD")", kDouble, "!22018"},
        {kAmount, R"("abc")", kDouble, "!22018"},
        {kAmount, R"("")", kDouble, "!22018"},
        {kAmount, R"("inf")", kDouble, "!22018"},
        {kAmount, R"("0x10")", kDouble, "!22018"},
        {kAmount, R"("1e999")", kDouble, "!22003"},
        {kAmount, "{}", kDouble, "!22018"},
        // Timestamps: RFC 3339 read exactly (fraction in nanoseconds) and
        // turned into UTC; a date-only text is midnight.
        {kTime, R"("2023-04-05T06:07:08Z")", kStamp, "2023-04-05 06:07:08.000000000"},
        {kTime, R"("2023-04-05T06:07:08.123Z")", kStamp, "2023-04-05 06:07:08.123000000"},
        {kTime, R"("2023-04-05T06:07:08.123456789999Z")", kStamp, "2023-04-05 06:07:08.123456789"},
        {kTime, R"("2023-04-05T23:30:00-07:00")", kStamp, "2023-04-06 06:30:00.000000000"},
        {kTime, R"("2023-03-01T02:00:00+05:30")", kStamp, "2023-02-28 20:30:00.000000000"},
        {kTime, R"("2024-12-31T20:00:00.5-05:00")", kStamp, "2025-01-01 01:00:00.500000000"},
        {kTime, R"("2023-04-05T06:07:08+00:00")", kStamp, "2023-04-05 06:07:08.000000000"},
        {kTime, R"("2023-04-05T23:30:00-0700")", kStamp, "2023-04-06 06:30:00.000000000"},
        {kTime, R"("2014-07-11T04:03:52+0000")", kStamp, "2014-07-11 04:03:52.000000000"},
        {kTime, R"("2023-04-05T06:07:08+01")", kStamp, "2023-04-05 05:07:08.000000000"},
        {kTime, R"("2023-04-05T05:30:00+05:30")", kStamp, "2023-04-05 00:00:00.000000000"},
        {kTime, R"("2023-04-05T18:29:59-05:30")", kStamp, "2023-04-05 23:59:59.000000000"},
        {kTime, R"("2023-04-05T18:30:00-05:30")", kStamp, "2023-04-06 00:00:00.000000000"},
        {kTime, R"("2023-04-05t06:07:08z")", kStamp, "2023-04-05 06:07:08.000000000"},
        {kTime, R"("2023-04-05 06:07:08")", kStamp, "2023-04-05 06:07:08.000000000"},
        {kTime, R"("2016-12-31T23:59:60Z")", kStamp, "2016-12-31 23:59:60.000000000"},
        {kTime, R"("2025-06-28")", kStamp, "2025-06-28 00:00:00.000000000"},
        {kTime, R"("2024-02-29")", kStamp, "2024-02-29 00:00:00.000000000"},
        {kTime, R"("2023-02-29")", kStamp, "!22007"},
        {kTime, R"("2023-02-30T00:00:00Z")", kStamp, "!22007"},
        {kTime, R"("2023-04-05T06:07")", kStamp, "!22007"},
        {kTime, R"("2023-04-05T06:07:08.Z")", kStamp, "!22007"},
        {kTime, R"("2023-04-05T06:07:08Z junk")", kStamp, "!22007"},
        {kTime, R"("2023-04-05T06:07:08+24:00")", kStamp, "!22007"},
        {kTime, R"("9999-12-31T23:00:00-02:00")", kStamp, "!22007"},
        {kTime, R"("2023-4-5")", kStamp, "!22007"},
        {kTime, R"("06:07:08")", kStamp, "!22007"},
        {kTime, R"("")", kStamp, "!22007"},
        {kTime, "1700000000", kStamp, "!22018"},
        {kTime, "true", kStamp, "!22018"},
        {kTime, "{}", kStamp, "!22018"},
        {kTime, "null", kStamp, "<NULL>"},
        {kTime, R"("2025-06-28")", kChar, "2025-06-28"},
        // Dates and times of day.
        {kTime, R"("2025-06-28")", kDate, "2025-06-28"},
        {kTime, R"("2023-04-05T06:07:08Z")", kDate, "2023-04-05"},
        {kTime, R"("2023-04-05T23:30:00-07:00")", kDate, "2023-04-06"},
        {kTime, R"("2023-13-05")", kDate, "!22007"},
        {kTime, R"("06:07:08")", kDate, "!22007"},
        {kTime, "20230405", kDate, "!22018"},
        {kTime, R"("06:07:08")", kTimeOfDay, "06:07:08"},
        {kTime, R"("06:07:08.25")", kTimeOfDay, "06:07:08"},
        {kTime, R"("2023-04-05T06:07:08+01:00")", kTimeOfDay, "05:07:08"},
        {kTime, R"("06:07")", kTimeOfDay, "!22007"},
        {kTime, R"("25:00:00")", kTimeOfDay, "!22007"},
        {kTime, R"("2025-06-28")", kTimeOfDay, "!22007"},
    };
    for (const Case &c : cases) {
        std::string where = c.column;
        std::string table = where.substr(0, where.find('.')), column = where.substr(where.find('.') + 1);
        SCOPED_TRACE(where + " " + c.json + " as " + std::to_string(c.c_type));
        FakeRow r(table.c_str(), column.c_str(), c.json);
        ASSERT_TRUE(r.loaded);
        EXPECT_EQ(read_as(r, c.c_type), c.expected);
    }
}

// The error names the table, the column and the value as the reply wrote it.
TEST(ScanMapping, ConversionErrorsNameTableColumnAndValue) {
    const std::string long_text = "\"" + std::string(100, '9') + "x\"";
    struct Case {
        const char *table, *column;
        std::string json;
        int c_type;
        const char *state;
        std::string message;
    } cases[] = {
        {"InvoiceDetailAttachments", "DetailAttachmentSize", R"("12 KB")", SQL_C_LONG, "22018",
         "Invalid character value for cast specification: InvoiceDetailAttachments.DetailAttachmentSize "
         "(INTEGER) cannot hold the JSON string \"12 KB\""},
        {"AuthorizationDetails", "ExpirationTime", R"("2025-13-45")", SQL_C_TYPE_TIMESTAMP, "22007",
         "Invalid datetime format: AuthorizationDetails.ExpirationTime (TIMESTAMP) cannot hold the JSON string "
         "\"2025-13-45\""},
        {"CapturenDetails", "AmountValue", R"({"value": "1.00"})", SQL_C_CHAR, "22018",
         "Invalid character value for cast specification: CapturenDetails.AmountValue (NUMERIC) cannot hold the "
         "JSON object {\"value\": \"1.00\"}"},
        {"CapturenDetails", "FinalCapture", "256000", SQL_C_LONG, "22003",
         "Numeric value out of range: CapturenDetails.FinalCapture (TINYINT) cannot hold the JSON number 256000"},
        {"CapturenDetails", "AmountValue", long_text, SQL_C_DOUBLE, "22018",
         "Invalid character value for cast specification: CapturenDetails.AmountValue (NUMERIC) cannot hold the "
         "JSON string \"" + std::string(63, '9') + "..."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.json);
        FakeRow r(c.table, c.column, c.json.c_str());
        EXPECT_EQ(read_as(r, c.c_type), std::string("!") + c.state);
        EXPECT_EQ(g_message, c.message);
    }
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
