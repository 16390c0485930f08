// Long buffers: the growable store behind LONG VARCHAR and LONG VARBINARY
// values, read back sequentially with a read position.
//
// A buffer lives in a pool and grows by doubling up to its limit (64 MiB by
// default), so a provider's oversized column fails cleanly instead of
// exhausting memory.
//
// Exports: LongBuffer, kDefaultLongBufferLimit, allocate_long_buffer,
// append_to_long_buffer, extract_from_long_buffer, rewind_long_buffer,
// seek_long_buffer, long_buffer_length, long_buffer_data, clear_long_buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/pool.h"

inline constexpr size_t kDefaultLongBufferLimit = 64u * 1024 * 1024;

struct LongBuffer {
    CvPool *pool;     // owns the record and the data block
    char *data;       // `length` bytes (plus a terminator byte kept at data[length])
    size_t length;    // bytes stored
    size_t capacity;  // bytes allocated (terminator excluded)
    size_t position;  // read position of extract_from_long_buffer
    size_t limit;     // largest length allowed
    int sql_type;     // SQL_LONGVARCHAR or SQL_LONGVARBINARY (informational)
};

/// Makes an empty buffer in `pool`; `limit` 0 means the default. Null when
/// memory is exhausted.
[[nodiscard]] LongBuffer *allocate_long_buffer(CvPool *pool, size_t limit, int sql_type);

/// Appends bytes. Returns 0, or -1 when memory runs out or the limit would
/// be passed (the buffer is then unchanged).
[[nodiscard]] int append_to_long_buffer(LongBuffer *lb, const void *bytes, size_t count);

/// Copies up to `capacity` bytes from the read position into `out` and
/// advances it. Returns the bytes copied (0 at the end).
size_t extract_from_long_buffer(LongBuffer *lb, void *out, size_t capacity);

void rewind_long_buffer(LongBuffer *lb);
/// Moves the read position (clamped to the length).
void seek_long_buffer(LongBuffer *lb, size_t position);
[[nodiscard]] size_t long_buffer_length(const LongBuffer *lb);
/// The stored bytes, always followed by a zero byte; valid until the next append.
[[nodiscard]] const char *long_buffer_data(const LongBuffer *lb);
/// Empties the buffer (keeps its memory).
void clear_long_buffer(LongBuffer *lb);
