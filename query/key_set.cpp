// The capped hash set of byte keys (key_set.h).
//
// Linear probing in a power-of-two table kept at most half full. A slot
// holds 24 bits of the key's hash (so most probes that miss never touch the
// arena) and the key's arena offset plus one in 40 bits; arenas are capped
// far below 2^40 bytes (the sort budget is at most 1 TiB).
#include "query/key_set.h"

#include <algorithm>
#include <cstring>

namespace {

// Frees a vector's storage (assigning {} would keep its capacity).
template <typename T>
void give_back(std::vector<T> &v) {
    std::vector<T>().swap(v);
}

constexpr size_t kInitialSlots = 64;
constexpr int64_t kKeepBytes = 64 * 1024;   // clearing gives back more than this
constexpr int kOffsetBits = 40;
constexpr uint64_t kOffsetMask = (uint64_t{1} << kOffsetBits) - 1;

uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

uint64_t hash_of(const uint8_t *key, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, key + i, 8);
        h = (h ^ mix(w)) * 0x9E3779B97F4A7C15ULL;
    }
    if (i < n) {
        uint64_t w = 0;
        std::memcpy(&w, key + i, n - i);
        h = (h ^ mix(w)) * 0x9E3779B97F4A7C15ULL;
    }
    return mix(h);
}

uint64_t tag_of(uint64_t hash) { return hash >> kOffsetBits; }

bool holds(const KeySet *set, uint64_t slot, const uint8_t *key, size_t n) {
    const uint8_t *e = set->arena.data() + ((slot & kOffsetMask) - 1);
    uint32_t length;
    std::memcpy(&length, e, 4);
    return length == n && (n == 0 || std::memcmp(e + 4, key, n) == 0);
}

uint64_t hash_at(const KeySet *set, uint64_t slot) {
    const uint8_t *e = set->arena.data() + ((slot & kOffsetMask) - 1);
    uint32_t length;
    std::memcpy(&length, e, 4);
    return hash_of(e + 4, length);
}

void place(std::vector<uint64_t> &slots, uint64_t hash, uint64_t slot) {
    const size_t mask = slots.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = slot;
}

}  // namespace

KeySetAnswer key_set_insert(KeySet *set, const uint8_t *key, size_t n) {
    if (set->slots.empty()) set->slots.assign(kInitialSlots, 0);
    const uint64_t hash = hash_of(key, n);
    const uint64_t tag = tag_of(hash);
    const size_t mask = set->slots.size() - 1;
    size_t i = static_cast<size_t>(hash) & mask;
    for (; set->slots[i] != 0; i = (i + 1) & mask)
        if ((set->slots[i] >> kOffsetBits) == tag && holds(set, set->slots[i], key, n)) return KeySetAnswer::kSeen;
    // Room: the key's bytes, and a doubled table when this one is half full.
    const bool grow = (set->count + 1) * 2 > set->slots.size();
    const size_t need = set->arena.size() + 4 + n;
    size_t arena_bytes = set->arena.capacity();
    if (need > arena_bytes) arena_bytes = std::max(need, arena_bytes * 2);
    const int64_t after = static_cast<int64_t>(arena_bytes) +
                          static_cast<int64_t>((grow ? 3 : 1) * set->slots.size() * sizeof(uint64_t));
    if (after > set->cap || n > UINT32_MAX || need >= kOffsetMask) return KeySetAnswer::kFull;
    if (need > set->arena.capacity()) set->arena.reserve(arena_bytes);
    const size_t at = set->arena.size();
    const auto length = static_cast<uint32_t>(n);
    set->arena.resize(at + 4 + n);
    std::memcpy(set->arena.data() + at, &length, 4);
    if (n) std::memcpy(set->arena.data() + at + 4, key, n);
    const uint64_t slot = tag << kOffsetBits | (at + 1);
    set->count++;
    if (!grow) {
        set->slots[i] = slot;
        return KeySetAnswer::kNew;
    }
    std::vector<uint64_t> bigger(set->slots.size() * 2, 0);
    for (uint64_t s : set->slots)
        if (s != 0) place(bigger, hash_at(set, s), s);
    place(bigger, hash, slot);
    set->slots.swap(bigger);
    return KeySetAnswer::kNew;
}

void key_set_clear(KeySet *set) {
    if (key_set_memory(set) > std::min<int64_t>(set->cap, kKeepBytes)) {
        give_back(set->slots);
        give_back(set->arena);
    } else {
        std::fill(set->slots.begin(), set->slots.end(), 0);
        set->arena.clear();
    }
    set->count = 0;
}

size_t key_set_size(const KeySet *set) { return set->count; }

int64_t key_set_memory(const KeySet *set) {
    return static_cast<int64_t>(set->arena.capacity() + set->slots.size() * sizeof(uint64_t));
}
