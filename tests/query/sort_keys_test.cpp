// Sort keys and the DISTINCT key set on their own: integer keys order by
// value across every width, NULL above all (below all descending), the key
// set's answers up to and past its cap.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "query/key_set.h"
#include "query/sort_record.h"
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
