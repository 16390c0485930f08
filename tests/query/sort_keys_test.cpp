// Sort keys and the DISTINCT key set on their own: integer keys order by
// value across every width, NULL above all (below all descending), keys of
// every kind compare as the values do, the key set's answers up to and past
// its cap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/value_order.h"
#include "query/key_set.h"
#include "query/sort_record.h"
#include "support/long_buffer.h"
#include "support/numeric.h"
#include "support/pool.h"
#include "support/value_ops.h"

namespace {

class SortKeys : public ::testing::Test {
protected:
    void SetUp() override { pool = cv_mem_alloc_handle(nullptr); }
    void TearDown() override { cv_mem_release_handle(pool); }

    std::string key_of(const Value *v, bool descending) {
        ByteBuffer out;
        key_append(out, v, KeyForm::kInteger, descending);
        return {reinterpret_cast<const char *>(out.data()), out.size()};
    }
    Value *integer(int64_t x) {
        Value *v = new_value_of_type(pool, VT_BIGINT);
        v->data.big = x;
        return v;
    }
    CvPool *pool = nullptr;
};

// Neighbours of every boundary where the encoded width changes.
TEST_F(SortKeys, IntegersOrderByValueAndNullsSortHigh) {
    std::vector<int64_t> values = {INT64_MIN, INT64_MIN + 1};
    for (int bytes = 7; bytes >= 1; bytes--) {
        const int64_t edge = -(int64_t{1} << (8 * bytes));
        for (int64_t d : {-1, 0, 1}) values.push_back(edge + d);
    }
    for (int64_t x : {-2, -1, 0, 1, 2}) values.push_back(x);
    for (int bytes = 1; bytes <= 7; bytes++) {
        const int64_t edge = int64_t{1} << (8 * bytes);
        for (int64_t d : {-1, 0, 1}) values.push_back(edge + d);
    }
    values.push_back(INT64_MAX - 1);
    values.push_back(INT64_MAX);
    Value *null = integer(0);
    null->is_null = -1;
    for (bool descending : {false, true}) {
        std::vector<std::string> keys;
        for (int64_t x : values) keys.push_back(key_of(integer(x), descending));
        keys.push_back(key_of(null, descending));
        for (size_t i = 1; i < keys.size(); i++) {
            if (descending) EXPECT_GT(keys[i - 1], keys[i]) << "at " << i;
            else EXPECT_LT(keys[i - 1], keys[i]) << "at " << (i < values.size() ? values[i] : 0);
        }
        // Parts are self-delimiting: a key followed by another part still
        // orders by the first part.
        const std::string a = key_of(integer(255), descending) + key_of(integer(INT64_MAX), descending);
        const std::string b = key_of(integer(256), descending) + key_of(integer(INT64_MIN), descending);
        EXPECT_EQ(a < b, !descending);
    }
    EXPECT_EQ(key_of(integer(0), false).size(), 1u);
    EXPECT_EQ(key_of(integer(999), false).size(), 3u);
    // Integers of other types and doubles in an integer column: the same key.
    Value *i32 = new_value_of_type(pool, VT_INTEGER);
    i32->data.i = -300;
    EXPECT_EQ(key_of(i32, false), key_of(integer(-300), false));
}

// Keys are the one order of values: for every pair of values whose kinds
// have an order, the keys in the form joining their kinds' forms compare
// (memcmp) as value_order compares the values. Numbers of every kind with
// -0, NaN, infinities, values past 2^53 and several scales; texts plain and
// long with trailing blanks and zero bytes; binaries; dates, times and
// timestamps; intervals.
TEST_F(SortKeys, KeysCompareAsTheValuesDo) {
    std::vector<Value *> values;
    auto add = [&](uint32_t type) {
        Value *v = new_value_of_type(pool, type);
        values.push_back(v);
        return v;
    };
    for (int32_t x : {INT32_MIN, -3, 0, 1, 3, INT32_MAX}) add(VT_INTEGER)->data.i = x;
    for (int64_t x : {INT64_MIN, int64_t{-3}, int64_t{1}, int64_t{9007199254740992}, int64_t{9007199254740993}, INT64_MAX})
        add(VT_BIGINT)->data.big = x;
    for (double x : {-1e300, -3.0, -0.0, 0.0, 0.1, 1.0, 3.0000001, 9007199254740992.0, 1e300, HUGE_VAL, -HUGE_VAL,
                     std::nan(""), -std::nan("")})
        add(VT_DOUBLE)->data.d = x;
    for (const char *x : {"-3.00", "-0.10", "0", "0.1000", "0.1", "1.5", "1.50", "3", "9007199254740993",
                          "12345678901234567890123.45", "-99999999999999999999999999999999999999"}) {
        Value *v = add(VT_NUMERIC);
        ASSERT_EQ(string_to_numeric(x, &v->data.num, 0, -1), kNumOk) << x;
    }
    const std::string texts[] = {"", "a", "a  ", std::string("a\0", 2), "ab", "A", "\xff", std::string(3000, 'm') + "x"};
    for (const std::string &x : texts) {
        Value *v = NewValue(pool, static_cast<int32_t>(x.size() + 1));
        std::memcpy(v->data.s, x.data(), x.size());
        v->length = static_cast<int32_t>(x.size());
        values.push_back(v);
        Value *l = add(VT_LONG_CHAR);
        l->long_buffer = allocate_long_buffer(pool, 0, SQL_LONGVARCHAR);
        ASSERT_EQ(append_to_long_buffer(l->long_buffer, x.data(), x.size()), 0);
        Value *b = add(VT_BINARY);
        b->data.bytes = reinterpret_cast<uint8_t *>(cv_mem_alloc(pool, x.size() + 1));
        std::memcpy(b->data.bytes, x.data(), x.size());
        b->length = static_cast<int32_t>(x.size());
    }
    for (int day : {1, 2}) {
        Value *d = add(VT_DATE);
        d->data.date = DATE_STRUCT{2024, 1, static_cast<SQLUSMALLINT>(day)};
        for (unsigned second : {0u, 1u}) {
            Value *t = add(VT_TIMESTAMP);
            t->data.ts = TIMESTAMP_STRUCT{2024, 1, static_cast<SQLUSMALLINT>(day), 0, 0, static_cast<SQLUSMALLINT>(second), 0};
        }
    }
    add(VT_TIME)->data.time = TIME_STRUCT{23, 59, 59};
    for (int days : {-2, 0, 1}) {
        Value *v = add(VT_INTERVAL_DS);
        v->data.iv.interval_type = SQL_IS_DAY;
        v->data.iv.interval_sign = days < 0 ? SQL_TRUE : SQL_FALSE;
        v->data.iv.intval.day_second.day = static_cast<SQLUINTEGER>(days < 0 ? -days : days);
    }
    int compared = 0;
    for (const Value *a : values) {
        for (const Value *b : values) {
            int order = 0;
            if (value_order(a, b, &order) != OrderResult::kOk) continue;
            const KeyForm form = key_form_join(key_form_of_type(a->type), key_form_of_type(b->type));
            if (form == KeyForm::kOther) continue;  // kinds without a common form (texts with binaries)
            ByteBuffer ka, kb;
            key_append(ka, a, form, false);
            key_append(kb, b, form, false);
            const int r = std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end())   ? -1
                          : std::lexicographical_compare(kb.begin(), kb.end(), ka.begin(), ka.end()) ? 1
                                                                                                       : 0;
            char ta[64] = "", tb[64] = "";
            (void)value_as_text(a, ta, sizeof ta, nullptr);
            (void)value_as_text(b, tb, sizeof tb, nullptr);
            EXPECT_EQ(r, order) << "types " << a->type << " " << b->type << ": " << ta << " vs " << tb;
            compared++;
        }
    }
    EXPECT_GT(compared, 1500);
}

// Rows read one after another into the same slot: a value is written over
// when it has the same type and its text fits, else replaced; every read
// gives the value written, NULLs and empty texts included.
TEST_F(SortKeys, PayloadsReadIntoTheSameSlotGiveEachValue) {
    struct Item {
        const char *text;   // null: NULL text
        bool reused;        // the slot's value written over
    };
    const Item items[] = {{nullptr, false}, {"", false},     {"abcd", false}, {"ab", true},
                          {"", true},       {"abcd", true},  {"abcde", false}, {nullptr, true},
                          {"x", true},      {"abcdef", false}};
    ByteBuffer rows;
    for (const Item &it : items) {
        // An empty text still has its buffer, as texts the engine makes do.
        Value *v = NewValue(pool, it.text ? static_cast<int32_t>(std::strlen(it.text) + 1) : 0);
        if (it.text) {
            std::memcpy(v->data.s, it.text, std::strlen(it.text) + 1);
            v->length = static_cast<int32_t>(std::strlen(it.text));
        } else {
            v->is_null = -1;
        }
        payload_append(rows, v);
    }
    Value *slot = nullptr;
    int32_t capacity = 0;
    size_t at = 0;
    for (const Item &it : items) {
        Value *before = slot;
        ASSERT_EQ(payload_read_into(rows.data(), rows.size(), &at, pool, &slot, &capacity), 0);
        if (before) {
            EXPECT_EQ(slot == before, it.reused) << (it.text ? it.text : "NULL");
        }
        if (!it.text) {
            EXPECT_TRUE(slot->is_null);
            continue;
        }
        EXPECT_FALSE(slot->is_null);
        EXPECT_EQ(std::string(slot->data.s, static_cast<size_t>(slot->length)), it.text);
        EXPECT_EQ(slot->data.s[slot->length], '\0');
    }
    EXPECT_EQ(at, rows.size());
    // Another type in the slot: a new value.
    ByteBuffer other;
    payload_append(other, integer(42));
    at = 0;
    Value *before = slot;
    ASSERT_EQ(payload_read_into(other.data(), other.size(), &at, pool, &slot, &capacity), 0);
    EXPECT_NE(slot, before);
    EXPECT_EQ(slot->data.big, 42);
}

TEST_F(SortKeys, KeySetAnswersNewSeenAndFullPastItsCap) {
    KeySet set;
    set.cap = 1 << 20;
    std::vector<std::string> keys = {"", std::string("\0", 1), "a", std::string(300, 'x'), std::string(301, 'x')};
    for (int i = 0; i < 5000; i++) keys.push_back("k" + std::to_string(i));
    for (const std::string &k : keys)
        EXPECT_EQ(key_set_insert(&set, reinterpret_cast<const uint8_t *>(k.data()), k.size()), KeySetAnswer::kNew) << k;
    for (const std::string &k : keys)
        EXPECT_EQ(key_set_insert(&set, reinterpret_cast<const uint8_t *>(k.data()), k.size()), KeySetAnswer::kSeen) << k;
    EXPECT_EQ(key_set_size(&set), keys.size());
    EXPECT_LE(key_set_memory(&set), set.cap);

    // A small cap: the set fills, then holds what it has and refuses only
    // keys it does not hold.
    set.cap = 4096;
    key_set_clear(&set);
    EXPECT_EQ(key_set_size(&set), 0u);
    EXPECT_EQ(key_set_memory(&set), 0);
    size_t held = 0;
    std::vector<KeySetAnswer> first(keys.size());
    for (size_t i = 0; i < keys.size(); i++) {
        first[i] = key_set_insert(&set, reinterpret_cast<const uint8_t *>(keys[i].data()), keys[i].size());
        if (first[i] == KeySetAnswer::kNew) held++;
        else EXPECT_EQ(first[i], KeySetAnswer::kFull);
        EXPECT_LE(key_set_memory(&set), set.cap);
    }
    EXPECT_GT(held, 0u);
    EXPECT_LT(held, keys.size());
    EXPECT_EQ(key_set_size(&set), held);
    for (size_t i = 0; i < keys.size(); i++)
        EXPECT_EQ(key_set_insert(&set, reinterpret_cast<const uint8_t *>(keys[i].data()), keys[i].size()),
                  first[i] == KeySetAnswer::kNew ? KeySetAnswer::kSeen : KeySetAnswer::kFull);
}

}  // namespace
