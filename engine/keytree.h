// KeyTree: an ordered set of byte-string keys (a red-black tree), used for
// IN sub-query caches, DISTINCT set functions and the matched rows of FULL
// joins.
//
// Every node, key copy and the tree itself live in the pool given at
// creation. The comparison function receives (stored length, stored key,
// new length, new key) and returns negative, zero or positive; a negative
// result sends the search to the right.
//
// Exports: KeyTree, KeyCompareFn, KeyReleaseFn, TREEcreate, TREEinsert,
// TREElookup, TREErelease, TREEcount, keytree_default_compare,
// keytree_byte_compare, keytree_string_compare, kTreeOk, kTreeNoMemory,
// kTreeNotFound.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/pool.h"

inline constexpr int kTreeOk = 0;
inline constexpr int kTreeNoMemory = 2;
inline constexpr int kTreeNotFound = 3;

using KeyCompareFn = int (*)(size_t stored_length, const void *stored, size_t new_length,
                             const void *key);
using KeyReleaseFn = void (*)(void *payload);

struct KeyTreeNode;

struct KeyTree {
    CvPool *pool;            // owns the tree, its nodes and key copies
    KeyCompareFn compare;    // never null once created
    KeyReleaseFn release;    // optional payload release
    KeyTreeNode *root;
    size_t count;            // keys stored
};

/// Orders by length first (stored length minus new length), then the first
/// min(length) bytes with printable characters compared by their upper-case
/// forms.
[[nodiscard]] int keytree_default_compare(size_t stored_length, const void *stored,
                                          size_t new_length, const void *key);
/// Plain bytes over the stored key's length (keys of one length).
[[nodiscard]] int keytree_byte_compare(size_t stored_length, const void *stored,
                                       size_t new_length, const void *key);
/// Zero-terminated strings byte by byte.
[[nodiscard]] int keytree_string_compare(size_t stored_length, const void *stored,
                                         size_t new_length, const void *key);

/// Makes an empty tree in `pool`; `compare` null means the default. Null on
/// exhaustion.
[[nodiscard]] KeyTree *TREEcreate(CvPool *pool, KeyCompareFn compare, KeyReleaseFn release);

/// Inserts a copy of the key with its payload. Returns kTreeOk (also when
/// the key was present: the first payload stays and the count is
/// unchanged) or kTreeNoMemory; callers treat any other result as failure.
[[nodiscard]] int TREEinsert(KeyTree *tree, const void *key, size_t length, void *payload);

/// kTreeOk with *payload (optional) set when the key is present, else
/// kTreeNotFound (also for an empty or null tree).
[[nodiscard]] int TREElookup(const KeyTree *tree, const void *key, size_t length, void **payload);

/// Calls the payload release function for every node (children first) and
/// frees all nodes and the tree. Null is ignored.
void TREErelease(KeyTree *tree);

[[nodiscard]] size_t TREEcount(const KeyTree *tree);
