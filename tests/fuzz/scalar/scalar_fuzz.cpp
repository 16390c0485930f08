// Fuzz target: random text and numbers through every cast target and every
// scalar function. The input's first bytes choose integers, the rest is the
// text argument; each function is called with every mix of text, integer,
// double and date arguments its argument count allows.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cast.h"
#include "engine/functions.h"
#include "support/diag.h"
#include "support/pool.h"
#include "support/value_ops.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 9 || size > 1024) return 0;
    static CvPool *root = cv_mem_alloc_handle(nullptr);
    CvPool *pool = cv_mem_alloc_handle(root);
    ErrorHeader *diag = CreateErrorHeader(pool, nullptr);
    ValueEnv env{};
    env.pool = pool;
    env.diag = diag;
    env.start = TIMESTAMP_STRUCT{2024, 2, 29, 13, 45, 30, 0};
    int64_t n;
    std::memcpy(&n, data, 8);
    Value *t = new_value_of_type(pool, VT_CHAR);
    Value *i = new_value_of_type(pool, VT_BIGINT);
    Value *small = new_value_of_type(pool, VT_INTEGER);
    Value *d = new_value_of_type(pool, VT_DOUBLE);
    Value *date = new_value_of_type(pool, VT_DATE);
    if (!t || !i || !small || !d || !date ||
        set_value_text(t, reinterpret_cast<const char *>(data + 9), size - 9) != 0) {
        cv_mem_release_handle(pool);
        return 0;
    }
    i->data.big = n;
    small->data.i = static_cast<int8_t>(data[8]);
    std::memcpy(&d->data.d, data, 8);
    date->data.date = DATE_STRUCT{static_cast<SQLSMALLINT>(n & 0x3fff), static_cast<SQLUSMALLINT>((n >> 16) & 15),
                                  static_cast<SQLUSMALLINT>((n >> 20) & 31)};
    static const int kTargets[] = {1, 12, -1, 2, 3, 4, 5, -6, -5, 6, 7, 8, -7, -2, -3, -4, 91, 92, 93,
                                   101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113};
    Value *sources[] = {t, i, d, date};
    for (int target : kTargets) {
        for (Value *src : sources) {
            CastTarget ct{target, data[8] % 40, data[8] % 40 - 1, data[8] % 7 - 1, data[8] % 10, data[8] % 11 - 1};
            Value *out = nullptr;
            SetupErrorHeader(diag, 0);
            if (cast_value(&ct, &env, src, &out) == 0) release_value(out);
        }
    }
    Value *kinds[] = {t, small, i, d, date};
    for (const ScalarFunction &f : scalar_functions) {
        int argc = f.argument_count;
        // Each argument position takes the kind picked by a digit of `n`.
        for (int variant = 0; variant < 6; variant++) {
            std::vector<Value *> args;
            for (int a = 0; a < argc; a++) args.push_back(kinds[(variant + a * (data[a % 8] + 1)) % 5]);
            Value *out = nullptr;
            SetupErrorHeader(diag, 0);
            if (call_scalar_function(f.code, &env, argc, args.data(), &out) == 0) release_value(out);
        }
    }
    cv_mem_release_handle(pool);
    return 0;
}
