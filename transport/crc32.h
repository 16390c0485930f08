// The CRC-32 of a gzip member's trailer (the reflected polynomial
// 0xEDB88320, the value zlib's crc32 gives), at the speed of the processor's
// carry-less multiplication where it has one: every reply body is checked
// against its trailer, and zlib's table code costs four instructions a byte,
// about as much as inflating it.
//
// Exports: gzip_crc32.
#pragma once

#include <cstddef>
#include <cstdint>

/// The CRC-32 of `n` bytes at `data`, as zlib's crc32(0, data, n).
[[nodiscard]] uint32_t gzip_crc32(const void *data, size_t n);
