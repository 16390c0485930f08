// Memory pools: a tree of allocation contexts.
//
// Every handle, parse and execution context owns a pool made under its
// parent's pool. Releasing a pool frees every block allocated in it and every
// pool below it, and runs the release callbacks registered on them (newest
// first), so that objects with destructors or foreign resources (JSON
// references, work files, TLS sessions) are let go with the pool.
//
// Lifetimes: a block lives until cv_mem_free or until its pool (or an
// ancestor) is released. A pool may be used from one thread at a time for
// allocation; creating and releasing child pools of a shared parent is
// serialised internally, so two threads may allocate connections under one
// environment at once.
//
// Exports: cv_mem_alloc_handle, cv_mem_release_handle, cv_mem_alloc,
// cv_mem_realloc, cv_mem_free, cv_mem_strdup, cv_mem_strndup,
// cv_mem_on_release, pool_new, cv_mem_trace_init, cv_mem_trace_term,
// cv_mem_live_pools, cv_mem_fail_after.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>

struct CvPool;

/// Makes a pool under `parent` (null for a root pool). Returns null when
/// memory is exhausted (or an injected failure fires).
[[nodiscard]] CvPool *cv_mem_alloc_handle(CvPool *parent);

/// Releases `pool`: runs its callbacks, frees its blocks and every child pool.
/// A null pool is ignored.
void cv_mem_release_handle(CvPool *pool);

/// Gives `size` zero-filled bytes owned by `pool`, aligned for any scalar
/// type, or null. A size of 0 gives a valid unique block.
[[nodiscard]] void *cv_mem_alloc(CvPool *pool, size_t size);

/// Grows or shrinks a block of `pool` (null `block` allocates). New bytes are
/// zero. On failure the old block is untouched and null is returned.
[[nodiscard]] void *cv_mem_realloc(CvPool *pool, void *block, size_t size);

/// Frees one block before its pool is released. Null is ignored.
void cv_mem_free(void *block);

/// Copies text into the pool with a terminator; null text gives null.
[[nodiscard]] char *cv_mem_strdup(CvPool *pool, const char *text);
[[nodiscard]] char *cv_mem_strndup(CvPool *pool, std::string_view text);

/// Registers `fn(arg)` to run when `pool` is released. Returns false when
/// memory is exhausted (the callback is then run at once, so the resource is
/// never leaked).
using CvReleaseFn = void (*)(void *arg);
[[nodiscard]] bool cv_mem_on_release(CvPool *pool, CvReleaseFn fn, void *arg);

/// Allocates one zeroed T in the pool. Only trivially destructible types are
/// allowed: the pool never runs destructors (register a callback instead).
template <typename T>
[[nodiscard]] T *pool_new(CvPool *pool) {
    static_assert(std::is_trivially_destructible_v<T>, "pool memory runs no destructors");
    void *p = cv_mem_alloc(pool, sizeof(T));
    return p ? new (p) T() : nullptr;
}

/// Allocates `n` zeroed T, checking the size arithmetic.
template <typename T>
[[nodiscard]] T *pool_new_array(CvPool *pool, size_t n) {
    static_assert(std::is_trivially_destructible_v<T>, "pool memory runs no destructors");
    if (n > SIZE_MAX / sizeof(T)) return nullptr;
    return static_cast<T *>(cv_mem_alloc(pool, n * sizeof(T)));
}

/// Process-wide start and end of memory tracing; reference-counted, so two
/// environments may each call init and term.
void cv_mem_trace_init();
void cv_mem_trace_term();

/// Number of pools alive in the process (for leak tests).
[[nodiscard]] long cv_mem_live_pools();

/// Test hook: the n-th allocation from now on (1 = the next) fails; 0 turns
/// injection off. Affects cv_mem_alloc, cv_mem_realloc and cv_mem_alloc_handle
/// on every thread.
void cv_mem_fail_after(long n);
