// Tagged records: every handle record and tree node starts with its kind.
//
// newNode makes a zero-filled record in a pool with the kind stored in the
// first 32 bits. Handle kinds are 200 to 203; tree node kinds are the parser's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/pool.h"

/// Returns a zeroed block of `size` bytes (at least 4) in `pool` whose first
/// uint32 holds `kind`, or null when memory is exhausted.
[[nodiscard]] inline void *newNode(size_t size, uint32_t kind, CvPool *pool) {
    if (size < sizeof(uint32_t)) size = sizeof(uint32_t);
    void *p = cv_mem_alloc(pool, size);
    if (p) std::memcpy(p, &kind, sizeof kind);
    return p;
}

/// Typed form: T's first member must be its uint32 kind.
template <typename T>
[[nodiscard]] T *new_node(uint32_t kind, CvPool *pool) {
    static_assert(std::is_trivially_destructible_v<T>, "pool memory runs no destructors");
    return static_cast<T *>(newNode(sizeof(T), kind, pool));
}

/// The kind of a record, or 0 for null.
[[nodiscard]] inline uint32_t node_kind(const void *node) {
    uint32_t kind = 0;
    if (node) std::memcpy(&kind, node, sizeof kind);
    return kind;
}
