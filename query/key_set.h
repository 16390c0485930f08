// A set of byte keys (the order-preserving keys of sort_record.h) held in
// one open-addressing hash table over an arena, within a memory cap: the
// DISTINCT set functions' record of the arguments seen in a group.
//
// Once a new key would take the set past its cap the set answers kFull for
// every key it does not hold, and keeps what it has; the caller sends those
// keys elsewhere (a unique sort).
//
// Exports: KeySet, KeySetAnswer, key_set_insert, key_set_clear,
// key_set_size, key_set_memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class KeySetAnswer : int32_t { kNew = 0, kSeen = 1, kFull = 2 };

struct KeySet {
    int64_t cap = 0;                // bytes; the table and the arena
    std::vector<uint64_t> slots;    // 0 empty, else hash tag << 40 | (offset + 1)
    std::vector<uint8_t> arena;     // keys: 32-bit length, then the bytes
    size_t count = 0;
};

/// Adds `key` unless present: kNew (now held), kSeen, or kFull (not held,
/// no room). Throws std::bad_alloc only when memory runs out below the cap.
[[nodiscard]] KeySetAnswer key_set_insert(KeySet *set, const uint8_t *key, size_t length);

/// Empties the set; memory past 64 KiB or past the cap is given back.
void key_set_clear(KeySet *set);

[[nodiscard]] size_t key_set_size(const KeySet *set);
/// Bytes the set holds now (its table and arena).
[[nodiscard]] int64_t key_set_memory(const KeySet *set);
