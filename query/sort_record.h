// Sort records: the byte forms a sort works on.
//
// Keys are written in an order-preserving form, so that two keys compare by
// memcmp exactly as their values compare in the engine: numbers by value
// (one form per key column, chosen from the column's types), text byte-wise
// with trailing blanks ignored, dates, times and intervals by value. NULL
// sorts after every value ascending and before every value descending, and
// all NULLs are equal, so DISTINCT, GROUP BY and UNION put them in one group.
// A descending key is the ascending form with every byte inverted; every
// key part is self-delimiting, so parts can follow one another.
//
// Payloads carry whole values (long text and binary included) and are read
// back into new values of a pool.
//
// Exports: KeyForm, key_form_of_type, key_form_join, ByteBuffer,
// key_append, payload_append, payload_read, payload_restore,
// payload_read_into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/value.h"

struct CvPool;

enum class KeyForm : int32_t {
    kInteger = 1,   // 64-bit integers
    kDouble = 2,    // doubles (integers and exact numerics converted)
    kDecimal = 3,   // exact numerics and integers, by decimal value
    kText = 4,
    kBinary = 5,
    kDateTime = 6,
    kInterval = 7,
    kOther = 8,     // mixed kinds: their text forms
};

/// The key form for values of `value_type` (a VT_* code).
[[nodiscard]] KeyForm key_form_of_type(uint32_t value_type);
/// The form that orders values of both forms (UNION columns).
[[nodiscard]] KeyForm key_form_join(KeyForm a, KeyForm b);

using ByteBuffer = std::vector<uint8_t>;

/// Appends the key form of `v` (NULL allowed). Never fails except for
/// memory (std::bad_alloc).
void key_append(ByteBuffer &out, const Value *v, KeyForm form, bool descending);

/// Appends the whole value `v` (deferred values must have been read).
void payload_append(ByteBuffer &out, const Value *v);

/// Reads one value written by payload_append into an existing value of the
/// same column: text and binary into its buffer of `capacity` bytes (plus
/// the terminator), long values into its long buffer (made in `pool` when
/// it has none), the rest in place; nothing else is allocated. 0, -1 for a
/// malformed record, -2 out of memory.
[[nodiscard]] int payload_restore(const uint8_t *data, size_t length, size_t *at, Value *dst, int32_t capacity,
                                  CvPool *pool);

/// Reads one value written by payload_append at *at (advanced past it) into
/// a new value of `pool`. 0, -1 for a malformed record, -2 out of memory.
[[nodiscard]] int payload_read(const uint8_t *data, size_t length, size_t *at, CvPool *pool, Value **out);

/// payload_read for rows read one after another into the same slots: the
/// value in *slot (made by an earlier call, `*capacity` its text buffer's
/// bytes, -1 for none) is written over when it has the same type and room
/// (never long values); otherwise *slot becomes a new value of `pool`.
[[nodiscard]] int payload_read_into(const uint8_t *data, size_t length, size_t *at, CvPool *pool, Value **slot,
                                    int32_t *capacity);
