// Test fixture shared by the value, engine and literal tests: a pool, a
// diagnostics header, a ValueEnv with a fixed start instant, and builders
// for values of every kind.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/value.h"
#include "support/diag.h"
#include "support/numeric.h"
#include "support/pool.h"
#include "support/value_ops.h"

class ValueFixture : public ::testing::Test {
protected:
    void SetUp() override {
        pool = cv_mem_alloc_handle(nullptr);
        diag = CreateErrorHeader(pool, nullptr);
        env = ValueEnv{};
        env.pool = pool;
        env.diag = diag;
        env.start = TIMESTAMP_STRUCT{2024, 2, 29, 13, 45, 30, 0};
        env.odbc_version = 3;
    }
    void TearDown() override { cv_mem_release_handle(pool); }

    // Empties the diagnostics between table rows.
    void reset() { SetupErrorHeader(diag, 0); }
    std::string state() const { return diag_count(diag) ? diag_sqlstate(diag, 1) : ""; }
    std::string message() const { return diag_count(diag) ? diag_message(diag, 1) : ""; }

    Value *integer(int32_t i) {
        Value *v = new_value_of_type(pool, VT_INTEGER);
        v->data.i = i;
        return v;
    }
    Value *bigint(int64_t i) {
        Value *v = new_value_of_type(pool, VT_BIGINT);
        v->data.big = i;
        return v;
    }
    Value *dbl(double d) {
        Value *v = new_value_of_type(pool, VT_DOUBLE);
        v->data.d = d;
        return v;
    }
    Value *text(const std::string &s) {
        Value *v = new_value_of_type(pool, VT_CHAR);
        EXPECT_EQ(set_value_text(v, s.data(), s.size()), 0);
        return v;
    }
    Value *binary(const std::string &bytes) {
        Value *v = new_value_of_type(pool, VT_BINARY);
        v->data.bytes = static_cast<uint8_t *>(cv_mem_alloc(pool, bytes.size() + 1));
        std::memcpy(v->data.bytes, bytes.data(), bytes.size());
        v->length = static_cast<int32_t>(bytes.size());
        return v;
    }
    Value *numeric(const char *s) {
        Value *v = new_value_of_type(pool, VT_NUMERIC);
        EXPECT_EQ(string_to_numeric(s, &v->data.num, 0, -1), kNumOk) << s;
        return v;
    }
    Value *date(int y, int m, int d) {
        Value *v = new_value_of_type(pool, VT_DATE);
        v->data.date = DATE_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m),
                                   static_cast<SQLUSMALLINT>(d)};
        return v;
    }
    Value *time(int h, int m, int s) {
        Value *v = new_value_of_type(pool, VT_TIME);
        v->data.time = TIME_STRUCT{static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(m),
                                   static_cast<SQLUSMALLINT>(s)};
        return v;
    }
    Value *timestamp(int y, int mo, int d, int h, int mi, int s, unsigned f = 0) {
        Value *v = new_value_of_type(pool, VT_TIMESTAMP);
        v->data.ts = TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y),  static_cast<SQLUSMALLINT>(mo),
                                      static_cast<SQLUSMALLINT>(d),  static_cast<SQLUSMALLINT>(h),
                                      static_cast<SQLUSMALLINT>(mi), static_cast<SQLUSMALLINT>(s), f};
        return v;
    }
    Value *null_of(uint32_t type) {
        Value *v = new_value_of_type(pool, type);
        v->is_null = -1;
        return v;
    }
    // Day-time or year-month interval from the structure fields.
    Value *interval(int code, bool negative, unsigned a, unsigned b = 0, unsigned c = 0,
                    unsigned d = 0, unsigned frac = 0) {
        Value *v = new_value_of_type(pool, code == 1 || code == 2 || code == 7 ? VT_INTERVAL_YM
                                                                                 : VT_INTERVAL_DS);
        SQL_INTERVAL_STRUCT &iv = v->data.iv;
        iv.interval_type = static_cast<SQLINTERVAL>(code);
        iv.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
        if (v->type == VT_INTERVAL_YM) {
            iv.intval.year_month.year = a;
            iv.intval.year_month.month = b;
        } else {
            iv.intval.day_second = SQL_DAY_SECOND_STRUCT{a, b, c, d, frac};
        }
        return v;
    }
    static std::string text_of(const Value *v) {
        char buf[512];
        (void)value_as_text(v, buf, sizeof buf, nullptr);
        return buf;
    }

    CvPool *pool = nullptr;
    ErrorHeader *diag = nullptr;
    ValueEnv env{};
};
