// Conversion of values into application buffers: the matrix of value kinds
// by C types with the SQLSTATE of every refused pair, piecewise text, wide
// text and binary with canary bytes after each target, and the range,
// fraction and datetime rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "odbc/convert.h"
#include "support/diag.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

constexpr unsigned char kCanary = 0xAB;

struct ConvertTest : ::testing::Test {
    CvPool *pool = cv_mem_alloc_handle(nullptr);
    ErrorHeader *diag = CreateErrorHeader(pool, nullptr);
    ConvertColumn column{SQL_VARCHAR, 0, 0, 0};
    ~ConvertTest() override { cv_mem_release_handle(pool); }

    Value *make(uint32_t type) {
        Value *v = new_value_of_type(pool, type);
        return v;
    }
    Value *text(const std::string &s) {
        Value *v = make(VT_CHAR);
        EXPECT_EQ(set_value_text(v, s.data(), s.size()), 0);
        return v;
    }
    Value *long_value(uint32_t type, const std::string &s) {
        Value *v = make(type);
        v->long_buffer = allocate_long_buffer(pool, 0, type == VT_LONG_CHAR ? SQL_LONGVARCHAR : SQL_LONGVARBINARY);
        EXPECT_EQ(append_to_long_buffer(v->long_buffer, s.data(), s.size()), 0);
        return v;
    }
    Value *binary(const std::string &s) {
        Value *v = make(VT_BINARY);
        v->data.bytes = static_cast<uint8_t *>(cv_mem_alloc(pool, s.size() + 1));
        std::memcpy(v->data.bytes, s.data(), s.size());
        v->length = static_cast<int32_t>(s.size());
        return v;
    }
    Value *integer(int32_t i) {
        Value *v = make(VT_INTEGER);
        v->data.i = i;
        return v;
    }
    Value *dbl(double d) {
        Value *v = make(VT_DOUBLE);
        v->data.d = d;
        return v;
    }
    Value *numeric(const char *s) {
        Value *v = make(VT_NUMERIC);
        EXPECT_EQ(string_to_numeric(s, &v->data.num, 0, -1), kNumOk);
        return v;
    }

    // Runs one conversion; the state is "" for success without records.
    // Every case first runs the conversion a bound column of that C type
    // calls (conversion_for) on a copy of the value and buffer, which must
    // give the same bytes, length, return code, state and piece offset.
    SQLRETURN run(Value *v, int c_type, void *buffer, SQLLEN capacity, SQLLEN *length, std::string *state = nullptr) {
        const int resolved = c_type == SQL_C_DEFAULT ? default_c_type(column.sql_type) : c_type;
        const ConvertFunction bound = conversion_for(resolved);
        Value copy = *v;
        std::vector<char> bound_buffer;
        if (buffer && capacity > 0)
            bound_buffer.assign(static_cast<char *>(buffer), static_cast<char *>(buffer) + capacity);
        SQLLEN bound_length = length ? *length : 0;
        SQLRETURN bound_rc = SQL_SUCCESS;
        std::string bound_state;
        if (bound != convert_value) {
            SetupErrorHeader(diag, 0);
            bound_rc = bound(&copy, column,
                             {c_type, buffer ? bound_buffer.data() : nullptr, capacity,
                              length ? &bound_length : nullptr, length ? &bound_length : nullptr},
                             diag);
            bound_state = diag_count(diag) ? diag_sqlstate(diag, 1) : "";
        }
        SetupErrorHeader(diag, 0);
        SQLRETURN rc = convert_value(v, column, {c_type, buffer, capacity, length, length}, diag);
        const std::string got = diag_count(diag) ? diag_sqlstate(diag, 1) : "";
        if (state) *state = got;
        if (bound != convert_value) {
            EXPECT_EQ(bound_rc, rc) << "bound conversion of value type " << v->type;
            EXPECT_EQ(bound_state, got) << "bound conversion of value type " << v->type;
            EXPECT_EQ(copy.piece_offset, v->piece_offset) << "bound conversion of value type " << v->type;
            if (length) {
                EXPECT_EQ(bound_length, *length) << "bound conversion of value type " << v->type;
            }
            if (buffer && capacity > 0) {
                EXPECT_EQ(std::memcmp(bound_buffer.data(), buffer, static_cast<size_t>(capacity)), 0)
                    << "bound conversion of value type " << v->type;
            }
        }
        return rc;
    }
    std::string state() const { return diag_count(diag) ? diag_sqlstate(diag, 1) : ""; }
};

// ---- the matrix ----

struct CType {
    const char *name;
    int code;
    int size;  // bytes of the target buffer
};
const CType kTypes[] = {
    {"CHAR", SQL_C_CHAR, 64},         {"WCHAR", SQL_C_WCHAR, 128},       {"SLONG", SQL_C_SLONG, 4},
    {"ULONG", SQL_C_ULONG, 4},        {"SSHORT", SQL_C_SSHORT, 2},       {"USHORT", SQL_C_USHORT, 2},
    {"STINY", SQL_C_STINYINT, 1},     {"UTINY", SQL_C_UTINYINT, 1},      {"SBIG", SQL_C_SBIGINT, 8},
    {"UBIG", SQL_C_UBIGINT, 8},       {"DOUBLE", SQL_C_DOUBLE, 8},       {"FLOAT", SQL_C_FLOAT, 4},
    {"BIT", SQL_C_BIT, 1},            {"NUMERIC", SQL_C_NUMERIC, 19},    {"DATE", SQL_C_TYPE_DATE, 6},
    {"TIME", SQL_C_TYPE_TIME, 6},     {"STAMP", SQL_C_TYPE_TIMESTAMP, 16}, {"IV_YEAR", SQL_C_INTERVAL_YEAR, 28},
    {"IV_D2S", SQL_C_INTERVAL_DAY_TO_SECOND, 28}, {"BINARY", SQL_C_BINARY, 64},
};

// One row per value kind: the outcome for each C type above, in order
// ("ok", or the SQLSTATE posted first).
struct MatrixRow {
    const char *kind;
    std::vector<std::string> outcomes;
};
// clang-format off
const MatrixRow kMatrix[] = {
    //                  CHAR  WCHAR SLONG    ULONG    SSHORT   USHORT   STINY    UTINY    SBIG     UBIG     DOUBLE   FLOAT    BIT      NUMERIC  DATE     TIME     STAMP    IV_YEAR  IV_D2S   BINARY
    {"integer 1",      {"ok", "ok", "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "07006", "07006", "07006", "ok",    "07006", "ok"}},
    {"double 2.5",     {"ok", "ok", "01S07", "01S07", "01S07", "01S07", "01S07", "01S07", "01S07", "01S07", "ok",    "ok",    "22003", "ok",    "07006", "07006", "07006", "07006", "07006", "ok"}},
    {"bigint 5e9",     {"ok", "ok", "22003", "22003", "22003", "22003", "22003", "22003", "ok",    "ok",    "ok",    "ok",    "22003", "ok",    "07006", "07006", "07006", "22015", "07006", "ok"}},
    {"text 1",         {"ok", "ok", "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "22008", "22008", "22008", "ok",    "ok",    "ok"}},
    {"long text date", {"ok", "ok", "ok",    "ok",    "ok",    "ok",    "22003", "22003", "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "22008", "ok",    "22018", "22018", "ok"}},
    {"binary",         {"ok", "ok", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "ok"}},
    {"long binary",    {"ok", "ok", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "ok"}},
    {"date",           {"ok", "ok", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "ok",    "07006", "ok",    "07006", "07006", "ok"}},
    {"time",           {"ok", "ok", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "ok",    "ok",    "07006", "07006", "ok"}},
    {"timestamp",      {"ok", "ok", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "01S07", "ok",    "ok",    "07006", "07006", "ok"}},
    {"numeric 12.50",  {"ok", "ok", "01S07", "01S07", "01S07", "01S07", "01S07", "01S07", "01S07", "01S07", "ok",    "ok",    "22003", "ok",    "07006", "07006", "07006", "07006", "07006", "ok"}},
    {"year to month",  {"ok", "ok", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "07006", "01004", "07006", "ok"}},
    {"day 3",          {"ok", "ok", "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "ok",    "07006", "07006", "07006", "ok",    "07006", "07006", "07006", "07006", "ok",    "ok"}},
};
// clang-format on

TEST_F(ConvertTest, MatrixOfKindsAndCTypes) {
    std::map<std::string, Value *> values;
    values["integer 1"] = integer(1);
    values["double 2.5"] = dbl(2.5);
    values["bigint 5e9"] = make(VT_BIGINT);
    values["bigint 5e9"]->data.big = 5000000000LL;
    values["text 1"] = text("1");
    values["long text date"] = long_value(VT_LONG_CHAR, "2024-01-02");
    values["binary"] = binary(std::string("\x01\x02\x03", 3));
    values["long binary"] = long_value(VT_LONG_BINARY, std::string("\x01\x02\x03", 3));
    values["date"] = make(VT_DATE);
    values["date"]->data.date = {2024, 1, 2};
    values["time"] = make(VT_TIME);
    values["time"]->data.time = {3, 4, 5};
    values["timestamp"] = make(VT_TIMESTAMP);
    values["timestamp"]->data.ts = {2024, 1, 2, 3, 4, 5, 0};
    values["numeric 12.50"] = numeric("12.50");
    values["year to month"] = make(VT_INTERVAL_YM);
    values["year to month"]->data.iv.interval_type = SQL_IS_YEAR_TO_MONTH;
    values["year to month"]->data.iv.intval.year_month = {1, 2};
    values["day 3"] = make(VT_INTERVAL_DS);
    values["day 3"]->data.iv.interval_type = SQL_IS_DAY;
    values["day 3"]->data.iv.intval.day_second.day = 3;

    for (const MatrixRow &row : kMatrix) {
        ASSERT_EQ(row.outcomes.size(), std::size(kTypes)) << row.kind;
        for (size_t i = 0; i < std::size(kTypes); i++) {
            const CType &ct = kTypes[i];
            Value *v = values.at(row.kind);
            v->piece_offset = 0;
            std::vector<unsigned char> buf(static_cast<size_t>(ct.size) + 1, 0);
            buf[static_cast<size_t>(ct.size)] = kCanary;
            SQLLEN length = -77;
            std::string got;
            SQLRETURN rc = run(v, ct.code, buf.data(), ct.size, &length, &got);
            std::string outcome = got.empty() ? "ok" : got;
            EXPECT_EQ(outcome, row.outcomes[i]) << row.kind << " as " << ct.name;
            EXPECT_EQ(buf[static_cast<size_t>(ct.size)], kCanary) << row.kind << " as " << ct.name;
            if (rc == SQL_ERROR) {
                EXPECT_EQ(length, -77) << "a refused conversion writes no length: " << row.kind << " as " << ct.name;
                continue;
            }
            EXPECT_GE(length, 0) << row.kind << " as " << ct.name;
            if (ct.code != SQL_C_CHAR && ct.code != SQL_C_WCHAR && ct.code != SQL_C_BINARY) {
                EXPECT_EQ(length, ct.size) << row.kind << " as " << ct.name;
            }
        }
    }
}

TEST_F(ConvertTest, UnknownBufferTypeIsAnError) {
    SQLLEN length = -77;
    char buf[8];
    EXPECT_EQ(run(integer(5), 9999, buf, sizeof buf, &length), SQL_ERROR);
    EXPECT_EQ(state(), "07006");
    EXPECT_EQ(run(integer(5), SQL_C_GUID, buf, sizeof buf, &length), SQL_ERROR);
    EXPECT_EQ(state(), "07006");
}

// ---- pieces ----

struct Piece {
    SQLRETURN rc;
    SQLLEN length;
    std::string data;  // bytes delivered (CHAR without terminator, WCHAR as raw units)
};

// Reads `v` into a `capacity`-byte buffer until SQL_NO_DATA, or until a
// call makes no progress (then stops after it); checks the canary each time.
std::vector<Piece> read_pieces(ConvertTest &t, Value *v, int c_type, SQLLEN capacity) {
    std::vector<Piece> pieces;
    for (int guard = 0; guard < 64; guard++) {
        std::vector<unsigned char> buf(static_cast<size_t>(capacity) + 1, 0xEE);
        buf[static_cast<size_t>(capacity)] = kCanary;
        SQLLEN length = -77;
        int32_t before = v->piece_offset;
        SQLRETURN rc = t.run(v, c_type, buf.data(), capacity, &length);
        EXPECT_EQ(buf[static_cast<size_t>(capacity)], kCanary) << "capacity " << capacity;
        Piece p{rc, length, {}};
        if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            if (c_type == SQL_C_WCHAR) {
                size_t units = 0;
                while (2 * units + 1 < static_cast<size_t>(capacity) && (buf[2 * units] || buf[2 * units + 1])) units++;
                p.data.assign(reinterpret_cast<char *>(buf.data()), 2 * units);
            } else if (c_type == SQL_C_BINARY) {
                size_t n = length < capacity ? static_cast<size_t>(length) : static_cast<size_t>(capacity);
                p.data.assign(reinterpret_cast<char *>(buf.data()), n);
            } else if (capacity > 0) {
                p.data.assign(reinterpret_cast<char *>(buf.data()), strnlen(reinterpret_cast<char *>(buf.data()),
                                                                             static_cast<size_t>(capacity)));
                EXPECT_LT(p.data.size(), static_cast<size_t>(capacity)) << "terminated inside the buffer";
            }
        }
        pieces.push_back(p);
        if (rc == SQL_NO_DATA || rc == SQL_ERROR) break;
        if (rc == SQL_SUCCESS_WITH_INFO && v->piece_offset == before) break;  // no progress possible
    }
    return pieces;
}

std::u16string as_u16(const std::string &raw) {
    std::u16string s(raw.size() / 2, u'\0');
    std::memcpy(s.data(), raw.data(), raw.size() & ~size_t{1});
    return s;
}

const std::string kMixed = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // é € 😀: 9 bytes, 4 UTF-16 units

TEST_F(ConvertTest, MixedTextAsCharInPiecesAtEveryCapacity) {
    // Capacity 1 holds only the terminator: the whole length is reported,
    // nothing moves. From 2 on every call makes progress and the pieces
    // join to the text; a piece cuts inside a character only when no whole
    // character fits.
    for (SQLLEN cap = 1; cap <= 6; cap++) {
        Value *v = text(kMixed);
        auto pieces = read_pieces(*this, v, SQL_C_CHAR, cap);
        std::string joined;
        size_t remaining = kMixed.size();
        for (const Piece &p : pieces) {
            if (p.rc == SQL_NO_DATA) break;
            EXPECT_EQ(p.length, static_cast<SQLLEN>(remaining)) << "cap " << cap;
            joined += p.data;
            remaining -= p.data.size();
        }
        if (cap == 1) {
            ASSERT_EQ(pieces.size(), 1u);
            EXPECT_EQ(pieces[0].rc, SQL_SUCCESS_WITH_INFO);
            EXPECT_EQ(pieces[0].length, 9);
            continue;
        }
        EXPECT_EQ(joined, kMixed) << "cap " << cap;
        EXPECT_EQ(pieces.back().rc, SQL_NO_DATA) << "cap " << cap;
        EXPECT_EQ(pieces[pieces.size() - 2].rc, SQL_SUCCESS) << "cap " << cap;
    }
    // Capacity 4 (3 bytes): "é", then "€", then the emoji in two cuts.
    Value *v = text(kMixed);
    auto pieces = read_pieces(*this, v, SQL_C_CHAR, 4);
    ASSERT_GE(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].data, "\xC3\xA9");
    EXPECT_EQ(pieces[1].data, "\xE2\x82\xAC");
}

TEST_F(ConvertTest, MixedTextAsWideCharInPiecesAtEveryCapacity) {
    // Wide lengths are the remaining UTF-16 bytes, not twice the UTF-8 bytes;
    // a surrogate pair is never split, so capacities below 6 cannot pass the
    // emoji and stop making progress before it.
    const std::u16string whole = u"\u00E9\u20AC\U0001F600";
    for (SQLLEN cap = 1; cap <= 6; cap++) {
        Value *v = text(kMixed);
        auto pieces = read_pieces(*this, v, SQL_C_WCHAR, cap);
        std::u16string joined;
        for (const Piece &p : pieces) {
            if (p.rc == SQL_NO_DATA) break;
            EXPECT_EQ(p.length, static_cast<SQLLEN>(2 * (whole.size() - joined.size()))) << "cap " << cap;
            std::u16string got = as_u16(p.data);
            for (char16_t u : got) EXPECT_FALSE(u == 0) << "cap " << cap;
            if (!got.empty()) {
                EXPECT_FALSE(got.back() >= 0xD800 && got.back() <= 0xDBFF) << "pair split at cap " << cap;
            }
            joined += got;
        }
        if (cap < 4) {
            EXPECT_TRUE(joined.empty()) << "cap " << cap;
        } else if (cap < 6) {
            EXPECT_EQ(joined, whole.substr(0, 2)) << "cap " << cap;
            EXPECT_EQ(pieces.back().rc, SQL_SUCCESS_WITH_INFO);
            EXPECT_EQ(pieces.back().length, 4) << "the emoji's two units remain";
        } else {
            EXPECT_EQ(joined, whole);
            EXPECT_EQ(pieces.back().rc, SQL_NO_DATA);
            ASSERT_EQ(pieces.size(), 3u);
            EXPECT_EQ(pieces[0].length, 8);
        }
    }
}

TEST_F(ConvertTest, MalformedUtf8BecomesReplacementCharacters) {
    Value *v = text(std::string("a\xFF" "b\xE2\x82", 5));
    char16_t buf[16] = {};
    SQLLEN length = 0;
    ASSERT_EQ(run(v, SQL_C_WCHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_EQ(std::u16string(buf), u"a\uFFFDb\uFFFD\uFFFD");
    EXPECT_EQ(length, 10);
}

TEST_F(ConvertTest, TenCharactersInPiecesOfThree) {
    Value *v = text("0123456789");
    auto pieces = read_pieces(*this, v, SQL_C_CHAR, 4);
    ASSERT_EQ(pieces.size(), 5u);
    const char *want[] = {"012", "345", "678", "9"};
    const SQLLEN lengths[] = {10, 7, 4, 1};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(pieces[i].data, want[i]);
        EXPECT_EQ(pieces[i].length, lengths[i]);
        EXPECT_EQ(pieces[i].rc, i < 3 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS);
    }
    EXPECT_EQ(pieces[4].rc, SQL_NO_DATA);
}

TEST_F(ConvertTest, LongTextTakesCapacityLessOneAndWarnsWhileMoreRemains) {
    Value *v = long_value(VT_LONG_CHAR, "abcdefgh");
    auto pieces = read_pieces(*this, v, SQL_C_CHAR, 5);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].data, "abcd");
    EXPECT_EQ(pieces[0].rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(pieces[1].data, "efgh");
    EXPECT_EQ(pieces[1].rc, SQL_SUCCESS);
    EXPECT_EQ(pieces[2].rc, SQL_NO_DATA);
}

TEST_F(ConvertTest, BinaryAsHexTakesWholeBytesPerPiece) {
    Value *b = binary(std::string("\x01\xAB\xFF", 3));
    char buf[16];
    SQLLEN length;
    ASSERT_EQ(run(b, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_STREQ(buf, "01ABFF");
    EXPECT_EQ(length, 6);

    // Capacity 6: (6 - 1) / 2 = 2 bytes, four digits; never a lone digit.
    Value *lb = long_value(VT_LONG_BINARY, std::string("\x01\x02\x03\x04\x05", 5));
    auto pieces = read_pieces(*this, lb, SQL_C_CHAR, 6);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].data, "0102");
    EXPECT_EQ(pieces[0].length, 10);
    EXPECT_EQ(pieces[1].data, "0304");
    EXPECT_EQ(pieces[1].length, 6);
    EXPECT_EQ(pieces[2].data, "05");
    EXPECT_EQ(pieces[2].rc, SQL_SUCCESS);
    EXPECT_EQ(pieces[3].rc, SQL_NO_DATA);
}

TEST_F(ConvertTest, BytesAreCutOnlyWhenMoreIsAvailableThanTheCapacity) {
    Value *b = binary("xyz");
    auto exact = read_pieces(*this, b, SQL_C_BINARY, 3);
    ASSERT_EQ(exact.size(), 2u);
    EXPECT_EQ(exact[0].rc, SQL_SUCCESS);
    EXPECT_EQ(exact[0].length, 3);
    EXPECT_EQ(exact[1].rc, SQL_NO_DATA);

    Value *t = text("abcde");
    auto cut = read_pieces(*this, t, SQL_C_BINARY, 2);
    ASSERT_EQ(cut.size(), 4u);
    EXPECT_EQ(cut[0].rc, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(cut[0].length, 5);
    EXPECT_EQ(cut[2].rc, SQL_SUCCESS);
    EXPECT_EQ(cut[2].length, 1);
}

TEST_F(ConvertTest, EmptyTextIsDeliveredOnceThenNoData) {
    Value *v = text("");
    char buf[4];
    SQLLEN length = -1;
    EXPECT_EQ(run(v, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_EQ(length, 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(run(v, SQL_C_CHAR, buf, sizeof buf, &length), SQL_NO_DATA);
}

TEST_F(ConvertTest, MaxLengthCutsWithoutWarning) {
    column.max_length = 3;
    Value *v = text("abcdef");
    char buf[16];
    SQLLEN length;
    EXPECT_EQ(run(v, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(length, 3);
}

TEST_F(ConvertTest, ZeroCapacityReportsTheLengthOnly) {
    Value *v = text("abc");
    SQLLEN length = 0;
    EXPECT_EQ(run(v, SQL_C_CHAR, nullptr, 0, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(length, 3);
    char buf[8];
    EXPECT_EQ(run(v, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_STREQ(buf, "abc");
}

// ---- fixed-length values into text ----

// How a source value is written in the table below: its SQL type, the
// engine's kind for it, and its text (parsed per kind).
struct Source {
    const char *sql;  // the column's SQL type, for the failure message
    int sql_type;
    uint32_t kind;
    const char *text;
};

// One SQLGetData into a character buffer and the one after it. A refused
// value leaves the buffer and the length alone ("" and -77 below) and is
// refused again; a value delivered whole or cut answers SQL_NO_DATA next.
struct CharCase {
    Source source;
    int c_type;         // SQL_C_CHAR or SQL_C_WCHAR
    SQLLEN capacity;    // bytes
    const char *data;   // what the buffer holds (wide: the same characters)
    SQLLEN length;      // the length indicator (bytes)
    const char *state;  // "" = SQL_SUCCESS
    SQLRETURN next;     // the following SQLGetData's return
};

constexpr SQLRETURN kNoData = SQL_NO_DATA;
constexpr SQLRETURN kError = SQL_ERROR;

// clang-format off
const CharCase kCharCases[] = {
    // Whole digits that fit are all a number needs; the fraction may be cut.
    {{"TINYINT", SQL_TINYINT, VT_INTEGER, "127"}, SQL_C_CHAR, 4, "127", 3, "", kNoData},
    {{"TINYINT", SQL_TINYINT, VT_REF_INT8, "-128"}, SQL_C_CHAR, 4, "", -77, "22003", kError},
    {{"TINYINT", SQL_TINYINT, VT_REF_INT8, "-128"}, SQL_C_WCHAR, 10, "-128", 8, "", kNoData},
    {{"SMALLINT", SQL_SMALLINT, VT_REF_INT16, "-32768"}, SQL_C_CHAR, 7, "-32768", 6, "", kNoData},
    {{"SMALLINT", SQL_SMALLINT, VT_REF_INT16, "-32768"}, SQL_C_WCHAR, 13, "", -77, "22003", kError},
    {{"INTEGER", SQL_INTEGER, VT_INTEGER, "-42"}, SQL_C_CHAR, 64, "-42", 3, "", kNoData},
    {{"INTEGER", SQL_INTEGER, VT_INTEGER, "123456"}, SQL_C_CHAR, 4, "", -77, "22003", kError},
    {{"INTEGER", SQL_INTEGER, VT_REF_INT32, "2147483647"}, SQL_C_WCHAR, 22, "2147483647", 20, "", kNoData},
    {{"BIGINT", SQL_BIGINT, VT_BIGINT, "12345678901"}, SQL_C_CHAR, 8, "", -77, "22003", kError},
    {{"BIGINT", SQL_BIGINT, VT_BIGINT, "12345678901"}, SQL_C_CHAR, 12, "12345678901", 11, "", kNoData},
    {{"BIGINT", SQL_BIGINT, VT_BIGINT, "12345678901"}, SQL_C_WCHAR, 16, "", -77, "22003", kError},
    {{"BIGINT", SQL_BIGINT, VT_BIGINT, "12345678901"}, SQL_C_WCHAR, 24, "12345678901", 22, "", kNoData},
    {{"BIGINT", SQL_BIGINT, VT_BIGINT, "-9223372036854775808"}, SQL_C_CHAR, 64, "-9223372036854775808", 20, "", kNoData},
    {{"DECIMAL", SQL_DECIMAL, VT_NUMERIC, "12.50"}, SQL_C_CHAR, 6, "12.50", 5, "", kNoData},
    {{"DECIMAL", SQL_DECIMAL, VT_NUMERIC, "12.50"}, SQL_C_CHAR, 5, "12.5", 5, "01004", kNoData},
    {{"DECIMAL", SQL_DECIMAL, VT_NUMERIC, "12.50"}, SQL_C_CHAR, 4, "12", 5, "01004", kNoData},
    {{"DECIMAL", SQL_DECIMAL, VT_NUMERIC, "12.50"}, SQL_C_CHAR, 3, "12", 5, "01004", kNoData},
    {{"DECIMAL", SQL_DECIMAL, VT_NUMERIC, "12.50"}, SQL_C_CHAR, 2, "", -77, "22003", kError},
    {{"DECIMAL", SQL_DECIMAL, VT_NUMERIC, "12.50"}, SQL_C_WCHAR, 8, "12", 10, "01004", kNoData},
    {{"DECIMAL", SQL_DECIMAL, VT_NUMERIC, "12.50"}, SQL_C_WCHAR, 5, "", -77, "22003", kError},
    {{"NUMERIC", SQL_NUMERIC, VT_NUMERIC, "-12.50"}, SQL_C_CHAR, 64, "-12.50", 6, "", kNoData},
    {{"NUMERIC", SQL_NUMERIC, VT_NUMERIC, "-12.50"}, SQL_C_CHAR, 4, "-12", 6, "01004", kNoData},
    {{"NUMERIC", SQL_NUMERIC, VT_NUMERIC, "-12.50"}, SQL_C_CHAR, 3, "", -77, "22003", kError},
    {{"NUMERIC", SQL_NUMERIC, VT_NUMERIC, "-12.50"}, SQL_C_WCHAR, 12, "-12.5", 12, "01004", kNoData},
    {{"NUMERIC", SQL_NUMERIC, VT_NUMERIC, "-12.50"}, SQL_C_WCHAR, 7, "", -77, "22003", kError},
    {{"REAL", SQL_REAL, VT_DOUBLE, "1.5"}, SQL_C_CHAR, 64, "1.500000", 8, "", kNoData},
    {{"REAL", SQL_REAL, VT_DOUBLE, "1.5"}, SQL_C_CHAR, 4, "1.5", 8, "01004", kNoData},
    {{"REAL", SQL_REAL, VT_DOUBLE, "1.5"}, SQL_C_WCHAR, 6, "1", 16, "01004", kNoData},
    {{"FLOAT", SQL_FLOAT, VT_DOUBLE, "0.1"}, SQL_C_CHAR, 64, "0.100000", 8, "", kNoData},
    {{"FLOAT", SQL_FLOAT, VT_DOUBLE, "12345678901.5"}, SQL_C_CHAR, 8, "", -77, "22003", kError},
    {{"FLOAT", SQL_FLOAT, VT_DOUBLE, "12345678901.5"}, SQL_C_WCHAR, 28, "12345678901.5", 36, "01004", kNoData},
    {{"FLOAT", SQL_FLOAT, VT_DOUBLE, "0.1"}, SQL_C_WCHAR, 18, "0.100000", 16, "", kNoData},
    {{"DOUBLE", SQL_DOUBLE, VT_DOUBLE, "2.5"}, SQL_C_CHAR, 64, "2.500000", 8, "", kNoData},
    {{"DOUBLE", SQL_DOUBLE, VT_DOUBLE, "0.3333333333333333"}, SQL_C_CHAR, 64, "0.3333333333333333", 18, "", kNoData},
    {{"DOUBLE", SQL_DOUBLE, VT_DOUBLE, "0.3333333333333333"}, SQL_C_CHAR, 7, "0.3333", 18, "01004", kNoData},
    {{"DOUBLE", SQL_DOUBLE, VT_DOUBLE, "1e-7"}, SQL_C_CHAR, 64, "1e-07", 5, "", kNoData},
    // An exponent is part of the value: such a text is never cut.
    {{"DOUBLE", SQL_DOUBLE, VT_DOUBLE, "1e-7"}, SQL_C_CHAR, 5, "", -77, "22003", kError},
    {{"DOUBLE", SQL_DOUBLE, VT_DOUBLE, "1e-7"}, SQL_C_WCHAR, 10, "", -77, "22003", kError},
    {{"BIT", SQL_BIT, VT_BIT, "1"}, SQL_C_CHAR, 2, "1", 1, "", kNoData},
    {{"BIT", SQL_BIT, VT_BIT, "0"}, SQL_C_CHAR, 1, "", -77, "22003", kError},
    {{"BIT", SQL_BIT, VT_BIT, "1"}, SQL_C_WCHAR, 4, "1", 2, "", kNoData},
    // Dates and times need every character; a timestamp may lose its
    // fraction digits, never its seconds.
    {{"DATE", SQL_TYPE_DATE, VT_DATE, "2024-01-02"}, SQL_C_CHAR, 11, "2024-01-02", 10, "", kNoData},
    // Years at the edges of four digits, and one below them (zero-padded).
    {{"DATE", SQL_TYPE_DATE, VT_DATE, "1000-01-01"}, SQL_C_CHAR, 11, "1000-01-01", 10, "", kNoData},
    {{"DATE", SQL_TYPE_DATE, VT_DATE, "9999-12-31"}, SQL_C_CHAR, 11, "9999-12-31", 10, "", kNoData},
    {{"DATE", SQL_TYPE_DATE, VT_DATE, "0999-12-31"}, SQL_C_CHAR, 11, "0999-12-31", 10, "", kNoData},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "1970-01-01 00:00:00"}, SQL_C_CHAR, 20, "1970-01-01 00:00:00", 19, "", kNoData},
    {{"DATE", SQL_TYPE_DATE, VT_DATE, "2024-01-02"}, SQL_C_CHAR, 10, "", -77, "22003", kError},
    {{"DATE", SQL_TYPE_DATE, VT_DATE, "2024-01-02"}, SQL_C_WCHAR, 22, "2024-01-02", 20, "", kNoData},
    {{"DATE", SQL_TYPE_DATE, VT_DATE, "2024-01-02"}, SQL_C_WCHAR, 21, "", -77, "22003", kError},
    {{"TIME", SQL_TYPE_TIME, VT_TIME, "03:04:05"}, SQL_C_CHAR, 9, "03:04:05", 8, "", kNoData},
    {{"TIME", SQL_TYPE_TIME, VT_TIME, "03:04:05"}, SQL_C_CHAR, 8, "", -77, "22003", kError},
    {{"TIME", SQL_TYPE_TIME, VT_TIME, "03:04:05"}, SQL_C_WCHAR, 18, "03:04:05", 16, "", kNoData},
    {{"TIME", SQL_TYPE_TIME, VT_TIME, "03:04:05"}, SQL_C_WCHAR, 16, "", -77, "22003", kError},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05"}, SQL_C_CHAR, 20, "2024-01-02 03:04:05", 19, "", kNoData},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05"}, SQL_C_CHAR, 19, "", -77, "22003", kError},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05.5"}, SQL_C_CHAR, 64, "2024-01-02 03:04:05.5", 21, "", kNoData},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05.5"}, SQL_C_CHAR, 21, "2024-01-02 03:04:05", 21, "01004", kNoData},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05.5"}, SQL_C_CHAR, 20, "2024-01-02 03:04:05", 21, "01004", kNoData},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05.5"}, SQL_C_CHAR, 19, "", -77, "22003", kError},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05.123456789"}, SQL_C_CHAR, 24, "2024-01-02 03:04:05.123", 29, "01004", kNoData},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05.5"}, SQL_C_WCHAR, 40, "2024-01-02 03:04:05", 42, "01004", kNoData},
    {{"TIMESTAMP", SQL_TYPE_TIMESTAMP, VT_TIMESTAMP, "2024-01-02 03:04:05.5"}, SQL_C_WCHAR, 39, "", -77, "22003", kError},
};
// clang-format on

// The value a Source describes, made in `pool`; references point into
// `store` (a fetched row's slot).
Value *source_value(CvPool *pool, const Source &s, int64_t *store) {
    Value *v = new_value_of_type(pool, s.kind);
    switch (s.kind) {
    case VT_INTEGER:
    case VT_BIT: v->data.i = static_cast<int32_t>(std::strtol(s.text, nullptr, 10)); break;
    case VT_BIGINT: v->data.big = std::strtoll(s.text, nullptr, 10); break;
    case VT_DOUBLE: v->data.d = std::strtod(s.text, nullptr); break;
    case VT_NUMERIC: EXPECT_EQ(string_to_numeric(s.text, &v->data.num, 0, -1), kNumOk); break;
    case VT_REF_INT8: { auto x = static_cast<int8_t>(std::strtol(s.text, nullptr, 10)); std::memcpy(store, &x, 1); v->data.ref = store; break; }
    case VT_REF_INT16: { auto x = static_cast<int16_t>(std::strtol(s.text, nullptr, 10)); std::memcpy(store, &x, 2); v->data.ref = store; break; }
    case VT_REF_INT32: { auto x = static_cast<int32_t>(std::strtol(s.text, nullptr, 10)); std::memcpy(store, &x, 4); v->data.ref = store; break; }
    case VT_DATE: {
        int y = 0, m = 0, d = 0;
        EXPECT_EQ(std::sscanf(s.text, "%d-%d-%d", &y, &m, &d), 3);
        v->data.date = {static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m), static_cast<SQLUSMALLINT>(d)};
        break;
    }
    case VT_TIME: {
        int h = 0, mi = 0, se = 0;
        EXPECT_EQ(std::sscanf(s.text, "%d:%d:%d", &h, &mi, &se), 3);
        v->data.time = {static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(se)};
        break;
    }
    default: {  // VT_TIMESTAMP, with an optional fraction of up to nine digits
        int y = 0, m = 0, d = 0, h = 0, mi = 0, se = 0;
        char fraction[10] = "";
        EXPECT_GE(std::sscanf(s.text, "%d-%d-%d %d:%d:%d.%9[0-9]", &y, &m, &d, &h, &mi, &se, fraction), 6);
        std::string nanos = std::string(fraction) + std::string(9 - std::strlen(fraction), '0');
        v->data.ts = {static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m), static_cast<SQLUSMALLINT>(d),
                      static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(se),
                      static_cast<SQLUINTEGER>(std::stoul(nanos))};
        break;
    }
    }
    return v;
}

TEST_F(ConvertTest, FixedLengthValuesIntoCharacterBuffers) {
    for (const CharCase &c : kCharCases) {
        const bool wide = c.c_type == SQL_C_WCHAR;
        std::string what = std::string(c.source.sql) + " " + c.source.text + (wide ? " as WCHAR[" : " as CHAR[") +
                           std::to_string(c.capacity) + "]";
        int64_t store = 0;
        Value *v = source_value(pool, c.source, &store);
        column.sql_type = c.source.sql_type;
        std::vector<unsigned char> buf(static_cast<size_t>(c.capacity) + 1, 0);
        buf[static_cast<size_t>(c.capacity)] = kCanary;
        SQLLEN length = -77;
        std::string got_state;
        SQLRETURN rc = run(v, c.c_type, buf.data(), c.capacity, &length, &got_state);
        EXPECT_EQ(got_state, c.state) << what;
        EXPECT_EQ(rc, !*c.state ? SQL_SUCCESS : c.state[0] == '0' ? SQL_SUCCESS_WITH_INFO : SQL_ERROR) << what;
        EXPECT_EQ(length, c.length) << what;
        EXPECT_EQ(buf[static_cast<size_t>(c.capacity)], kCanary) << what;
        std::string data;
        if (wide) {
            for (size_t i = 0; 2 * i + 1 < static_cast<size_t>(c.capacity) && (buf[2 * i] || buf[2 * i + 1]); i++)
                data += static_cast<char>(buf[2 * i]);  // the forms are ASCII
        } else {
            data.assign(reinterpret_cast<const char *>(buf.data()), strnlen(reinterpret_cast<const char *>(buf.data()),
                                                                             static_cast<size_t>(c.capacity)));
        }
        EXPECT_EQ(data, c.data) << what;
        // The next SQLGetData on the same column, with the same buffer.
        length = -77;
        EXPECT_EQ(run(v, c.c_type, buf.data(), c.capacity, &length), c.next) << what << ", read again";
        if (c.next == SQL_NO_DATA) {
            EXPECT_EQ(length, -77) << what << ", read again";
        }
    }
}

TEST_F(ConvertTest, FixedLengthValuesOfEveryCTypeComeInOnePiece) {
    // A bound column's fetch and SQLGetData after it start from a fresh
    // piece state; the second read of the same value is SQL_NO_DATA
    // whatever the C type, and a null buffer (the length only) is no read.
    Value *big = make(VT_BIGINT);
    big->data.big = 5;
    const int c_types[] = {SQL_C_SLONG, SQL_C_DOUBLE, SQL_C_NUMERIC, SQL_C_BINARY, SQL_C_CHAR, SQL_C_WCHAR};
    for (int c_type : c_types) {
        big->piece_offset = 0;
        unsigned char buf[64];
        SQLLEN length = -77;
        // Buffers that hold a form of any length say the data was cut.
        const bool sized = c_type == SQL_C_CHAR || c_type == SQL_C_WCHAR || c_type == SQL_C_BINARY;
        EXPECT_EQ(run(big, c_type, nullptr, 0, &length), sized ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS) << c_type;
        EXPECT_GT(length, 0) << c_type;
        EXPECT_EQ(run(big, c_type, buf, sizeof buf, &length), SQL_SUCCESS) << c_type;
        EXPECT_EQ(run(big, c_type, buf, sizeof buf, &length), SQL_NO_DATA) << c_type;
    }
    // Text into a number is a fixed-length read too.
    Value *t = text("42");
    int32_t n = 0;
    SQLLEN length;
    EXPECT_EQ(run(t, SQL_C_SLONG, &n, 4, &length), SQL_SUCCESS);
    EXPECT_EQ(run(t, SQL_C_SLONG, &n, 4, &length), SQL_NO_DATA);
}

// Every form a number, date or time is printed in, into a buffer it fits.
TEST_F(ConvertTest, ScalarTexts) {
    struct Case {
        Value *v;
        const char *want;
    };
    Value *ts = make(VT_TIMESTAMP);
    ts->data.ts = {2024, 1, 2, 3, 4, 5, 0};
    Value *ts_frac = make(VT_TIMESTAMP);
    ts_frac->data.ts = {2024, 1, 2, 3, 4, 5, 500000000};
    Value *big = make(VT_BIGINT);
    big->data.big = -9223372036854775807LL - 1;
    // Digits written two at a time: short years padded, fractions with
    // leading zeros and all nine digits, fields past two digits.
    auto stamp = [&](TIMESTAMP_STRUCT t) {
        Value *v = make(VT_TIMESTAMP);
        v->data.ts = t;
        return v;
    };
    Value *date = make(VT_DATE);
    date->data.date = {7, 12, 31};
    Value *time = make(VT_TIME);
    time->data.time = {23, 0, 9};
    Value *bit = make(VT_BIT);
    bit->data.i = 1;
    const Case cases[] = {
        {dbl(2.5), "2.500000"},        {dbl(1e-7), "1e-07"},        {dbl(0.1), "0.100000"},
        {dbl(1.0 / 3), "0.3333333333333333"}, {integer(-42), "-42"}, {big, "-9223372036854775808"},
        {ts, "2024-01-02 03:04:05"},   {ts_frac, "2024-01-02 03:04:05.5"}, {numeric("-12.50"), "-12.50"},
        {stamp({999, 1, 2, 3, 4, 5, 5000}), "0999-01-02 03:04:05.000005"},
        {stamp({2024, 12, 31, 23, 59, 59, 123456789}), "2024-12-31 23:59:59.123456789"},
        {stamp({10000, 100, 0, 0, 0, 0, 0}), "10000-100-00 00:00:00"},
        {stamp({-5, 1, 1, 0, 0, 0, 0}), "-005-01-01 00:00:00"},
        {date, "0007-12-31"},          {time, "23:00:09"},           {bit, "1"},
        {integer(0), "0"},             {integer(100), "100"},        {integer(-2147483647 - 1), "-2147483648"},
        {numeric("0.001"), "0.001"},   {numeric("1000000"), "1000000"}, {numeric("-0.50"), "-0.50"},
        {numeric("123456789012345678901234.5678"), "123456789012345678901234.5678"},
        {numeric("18446744073709551616"), "18446744073709551616"},
    };
    for (const Case &c : cases) {
        char buf[64];
        SQLLEN length;
        EXPECT_EQ(run(c.v, SQL_C_CHAR, buf, sizeof buf, &length), SQL_SUCCESS) << c.want;
        EXPECT_STREQ(buf, c.want);
        EXPECT_EQ(length, static_cast<SQLLEN>(std::strlen(c.want)));
    }
}

// ---- numbers ----

struct NumberCase {
    const char *what;
    int c_type;
    const char *state;  // "" = clean success
    int64_t want;       // the integer delivered (when not refused)
};

TEST_F(ConvertTest, IntegerTargetsRangeAndFraction) {
    struct Case {
        Value *v;
        NumberCase n;
    };
    Value *neg_day = make(VT_INTERVAL_DS);
    neg_day->data.iv.interval_type = SQL_IS_DAY;
    neg_day->data.iv.interval_sign = SQL_TRUE;
    neg_day->data.iv.intval.day_second.day = 3;
    const Case cases[] = {
        {dbl(3.7), {"3.7 as long", SQL_C_SLONG, "01S07", 3}},
        {dbl(-3.7), {"-3.7 as long", SQL_C_SLONG, "01S07", -3}},
        {dbl(3e10), {"3e10 as long", SQL_C_SLONG, "22003", 0}},
        {integer(200), {"200 as utiny", SQL_C_UTINYINT, "", 200}},
        {integer(300), {"300 as utiny", SQL_C_UTINYINT, "22003", 0}},
        {integer(-1), {"-1 as ulong", SQL_C_ULONG, "22003", 0}},
        {numeric("300.5"), {"numeric 300.5 as stiny", SQL_C_STINYINT, "22003", 0}},
        {numeric("127.9"), {"numeric 127.9 as stiny", SQL_C_STINYINT, "01S07", 127}},
        {numeric("-128"), {"numeric -128 as stiny", SQL_C_STINYINT, "", -128}},
        {numeric("99999999999999999999"), {"numeric 1e20 as sbig", SQL_C_SBIGINT, "22003", 0}},
        {text("99999999999"), {"text 99999999999 as long", SQL_C_SLONG, "22003", 0}},
        {text("  -2147483648xyz"), {"text INT_MIN as long", SQL_C_SLONG, "", INT32_MIN}},
        {text("70000"), {"text 70000 as short", SQL_C_SSHORT, "22003", 0}},
        {text("-1"), {"text -1 as ulong", SQL_C_ULONG, "22003", 0}},
        {text("abc"), {"text abc as long", SQL_C_SLONG, "", 0}},
        {neg_day, {"-3 days as long", SQL_C_SLONG, "", -3}},
        {neg_day, {"-3 days as ulong", SQL_C_ULONG, "22003", 0}},
    };
    for (const Case &c : cases) {
        c.v->piece_offset = 0;  // a value met again is a new row's
        unsigned char buf[9] = {};
        buf[8] = kCanary;
        SQLLEN length = -77;
        std::string got;
        SQLRETURN rc = run(c.v, c.n.c_type, buf, 8, &length, &got);
        EXPECT_EQ(got, c.n.state) << c.n.what;
        EXPECT_EQ(buf[8], kCanary);
        if (rc == SQL_ERROR) continue;
        int64_t value = 0;
        switch (length) {
        case 1: value = c.n.c_type == SQL_C_UTINYINT ? int64_t{buf[0]} : int64_t{static_cast<int8_t>(buf[0])}; break;
        case 2: { int16_t x; std::memcpy(&x, buf, 2); value = x; break; }
        case 4: {
            if (c.n.c_type == SQL_C_ULONG) { uint32_t x; std::memcpy(&x, buf, 4); value = x; }
            else { int32_t x; std::memcpy(&x, buf, 4); value = x; }
            break;
        }
        default: std::memcpy(&value, buf, 8);
        }
        EXPECT_EQ(value, c.n.want) << c.n.what;
    }
}

TEST_F(ConvertTest, BitFloatAndNumericTargets) {
    unsigned char bit = 9;
    SQLLEN length;
    EXPECT_EQ(run(numeric("1"), SQL_C_BIT, &bit, 1, &length), SQL_SUCCESS);
    EXPECT_EQ(bit, 1);
    EXPECT_EQ(run(numeric("2"), SQL_C_BIT, &bit, 1, &length), SQL_ERROR);
    EXPECT_EQ(state(), "22003");
    EXPECT_EQ(run(numeric("0.5"), SQL_C_BIT, &bit, 1, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(bit, 0);
    EXPECT_EQ(state(), "01S07");
    EXPECT_EQ(run(dbl(1.5), SQL_C_BIT, &bit, 1, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(bit, 1);
    EXPECT_EQ(run(integer(2), SQL_C_BIT, &bit, 1, &length), SQL_ERROR);
    EXPECT_EQ(run(dbl(-0.5), SQL_C_BIT, &bit, 1, &length), SQL_ERROR);

    float f = 0;
    EXPECT_EQ(run(dbl(1e39), SQL_C_FLOAT, &f, 4, &length), SQL_ERROR);
    EXPECT_EQ(state(), "22003");
    EXPECT_EQ(run(dbl(0.25), SQL_C_FLOAT, &f, 4, &length), SQL_SUCCESS);
    EXPECT_EQ(f, 0.25f);

    SQL_NUMERIC_STRUCT n{};
    EXPECT_EQ(run(dbl(2.5), SQL_C_NUMERIC, &n, sizeof n, &length), SQL_SUCCESS);
    EXPECT_EQ(numeric_to_double(&n), 2.5) << "a double keeps its digits";
    column.precision = 10;
    EXPECT_EQ(run(integer(-42), SQL_C_NUMERIC, &n, sizeof n, &length), SQL_SUCCESS);
    EXPECT_EQ(n.sign, 0);
    EXPECT_EQ(numeric_to_double(&n), -42);
    EXPECT_EQ(length, 19);
}

// ---- dates, times, intervals ----

TEST_F(ConvertTest, DatetimeTexts) {
    struct Case {
        const char *text;
        int c_type;
        const char *state;
    };
    const Case cases[] = {
        {"2024-01-02", SQL_C_TYPE_DATE, ""},
        {"2024-13-02", SQL_C_TYPE_DATE, "22008"},
        {"2024-02-30", SQL_C_TYPE_DATE, "22008"},
        {"2024-13-02 01:02:03", SQL_C_TYPE_TIMESTAMP, "22008"},
        {"2024-01-02T03:04:05.25Z", SQL_C_TYPE_TIMESTAMP, ""},
        {"2024-01-02T03:04:05+02:00", SQL_C_TYPE_TIMESTAMP, ""},
        {"2024-01-02 03:04:05 junk", SQL_C_TYPE_TIMESTAMP, "22008"},
        {"2024-01-02 03:04:05", SQL_C_TYPE_DATE, "01S07"},
        {"23:59:59", SQL_C_TYPE_TIME, ""},
        {"24:00:00", SQL_C_TYPE_TIME, "22008"},
        {"12:60:00", SQL_C_TYPE_TIME, "22008"},
        {"2024-01-02 03:04:05.5", SQL_C_TYPE_TIME, "01S07"},
    };
    for (const Case &c : cases) {
        unsigned char buf[17];
        buf[16] = kCanary;
        SQLLEN length;
        std::string got;
        (void)run(text(c.text), c.c_type, buf, 16, &length, &got);
        EXPECT_EQ(got, c.state) << c.text;
        EXPECT_EQ(buf[16], kCanary);
    }
    TIMESTAMP_STRUCT ts{};
    SQLLEN length;
    ASSERT_EQ(run(text("2024-01-02T03:04:05.25Z"), SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &length), SQL_SUCCESS);
    EXPECT_EQ(ts.hour, 3);
    EXPECT_EQ(ts.fraction, 250000000u);
    EXPECT_EQ(length, 16);

    Value *stamp = make(VT_TIMESTAMP);
    stamp->data.ts = {2024, 1, 2, 3, 4, 5, 0};
    DATE_STRUCT d{};
    EXPECT_EQ(run(stamp, SQL_C_TYPE_DATE, &d, sizeof d, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(d.year, 2024);
    EXPECT_EQ(d.day, 2);
    EXPECT_EQ(length, 6);
}

TEST_F(ConvertTest, Intervals) {
    SQL_INTERVAL_STRUCT iv{};
    SQLLEN length;
    ASSERT_EQ(run(text("-3 04:05:06.5"), SQL_C_INTERVAL_DAY_TO_SECOND, &iv, sizeof iv, &length), SQL_SUCCESS);
    EXPECT_EQ(iv.interval_sign, SQL_TRUE);
    EXPECT_EQ(iv.intval.day_second.day, 3u);
    EXPECT_EQ(iv.intval.day_second.second, 6u);
    EXPECT_EQ(iv.intval.day_second.fraction, 500000000u);
    EXPECT_EQ(length, 28);
    EXPECT_EQ(run(text("1-11"), SQL_C_INTERVAL_YEAR_TO_MONTH, &iv, sizeof iv, &length), SQL_SUCCESS);
    EXPECT_EQ(iv.intval.year_month.month, 11u);
    EXPECT_EQ(run(text("1-12"), SQL_C_INTERVAL_YEAR_TO_MONTH, &iv, sizeof iv, &length), SQL_ERROR);
    EXPECT_EQ(state(), "22015");
    EXPECT_EQ(run(text("3 24:00"), SQL_C_INTERVAL_DAY_TO_MINUTE, &iv, sizeof iv, &length), SQL_ERROR);
    EXPECT_EQ(run(integer(1000000000), SQL_C_INTERVAL_DAY, &iv, sizeof iv, &length), SQL_ERROR);
    EXPECT_EQ(state(), "22015");
    EXPECT_EQ(run(integer(5), SQL_C_INTERVAL_DAY_TO_HOUR, &iv, sizeof iv, &length), SQL_ERROR);
    EXPECT_EQ(state(), "07006");

    Value *ds = make(VT_INTERVAL_DS);
    ds->data.iv.interval_type = SQL_IS_DAY_TO_SECOND;
    ds->data.iv.intval.day_second = {1, 2, 3, 4, 0};
    EXPECT_EQ(run(ds, SQL_C_INTERVAL_DAY_TO_MINUTE, &iv, sizeof iv, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(state(), "01004");
    EXPECT_EQ(iv.intval.day_second.minute, 3u);
    ds->data.iv.intval.day_second = {1, 2, 3, 0, 5};
    ds->piece_offset = 0;
    EXPECT_EQ(run(ds, SQL_C_INTERVAL_DAY_TO_MINUTE, &iv, sizeof iv, &length), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(state(), "01S07");
    ds->piece_offset = 0;
    EXPECT_EQ(run(ds, SQL_C_INTERVAL_YEAR, &iv, sizeof iv, &length), SQL_ERROR);
    EXPECT_EQ(state(), "07006");
}

// ---- NULL and SQL_C_DEFAULT ----

TEST_F(ConvertTest, NullNeedsAnIndicator) {
    Value *v = integer(1);
    v->is_null = -1;
    char buf[8];
    EXPECT_EQ(convert_value(v, column, {SQL_C_CHAR, buf, 8, nullptr, nullptr}, diag), SQL_ERROR);
    EXPECT_EQ(state(), "22002");
    SQLLEN ind = 0;
    EXPECT_EQ(run(v, SQL_C_CHAR, buf, 8, &ind), SQL_SUCCESS);
    EXPECT_EQ(ind, SQL_NULL_DATA);
}

TEST_F(ConvertTest, DefaultCTypeFollowsTheColumn) {
    char buf[32];
    SQLLEN length;
    column.sql_type = SQL_DECIMAL;
    EXPECT_EQ(run(numeric("12.50"), SQL_C_DEFAULT, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_STREQ(buf, "12.50");
    column.sql_type = SQL_BIGINT;
    Value *big = make(VT_BIGINT);
    big->data.big = 1234567890123LL;
    EXPECT_EQ(run(big, SQL_C_DEFAULT, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_STREQ(buf, "1234567890123");
    column.sql_type = SQL_INTEGER;
    int32_t i = 0;
    EXPECT_EQ(run(integer(77), SQL_C_DEFAULT, &i, 4, &length), SQL_SUCCESS);
    EXPECT_EQ(i, 77);
    EXPECT_EQ(length, 4);
    column.sql_type = SQL_LONGVARCHAR;
    EXPECT_EQ(run(long_value(VT_LONG_CHAR, "hello"), SQL_C_DEFAULT, buf, sizeof buf, &length), SQL_SUCCESS);
    EXPECT_STREQ(buf, "hello");
}

TEST_F(ConvertTest, ReferencesAreFollowed) {
    int16_t small = -5;
    Value *v = make(VT_REF_INT16);
    v->data.ref = &small;
    int32_t out = 0;
    SQLLEN length;
    EXPECT_EQ(run(v, SQL_C_SLONG, &out, 4, &length), SQL_SUCCESS);
    EXPECT_EQ(out, -5);
}

}  // namespace
