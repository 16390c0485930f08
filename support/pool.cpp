// Memory pools: blocks are malloc'd with a small header that links them into
// their pool, so one block can be freed early and a whole pool released at
// once. Pools link into their parent's child list.
#include "support/pool.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct alignas(std::max_align_t) BlockHeader {
    BlockHeader *prev;
    BlockHeader *next;
    CvPool *pool;
    size_t size;
};

struct Callback {
    Callback *next;
    CvReleaseFn fn;
    void *arg;
};

std::atomic<long> g_live_pools{0};
std::atomic<long> g_fail_countdown{0};
std::atomic<int> g_trace_refs{0};

// True when an injected failure fires for this allocation.
bool injected_failure() {
    long n = g_fail_countdown.load(std::memory_order_relaxed);
    while (n > 0) {
        if (g_fail_countdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed))
            return n == 1;
    }
    return false;
}

}  // namespace

struct CvPool {
    std::mutex lock;        // guards blocks, callbacks and the child list
    CvPool *parent;         // null for a root pool
    CvPool *first_child;    // children, newest first
    CvPool *prev_sibling;   // links in the parent's child list
    CvPool *next_sibling;
    BlockHeader *blocks;    // blocks, newest first
    Callback *callbacks;    // release callbacks, newest first
};

CvPool *cv_mem_alloc_handle(CvPool *parent) {
    if (injected_failure()) return nullptr;
    void *raw = std::malloc(sizeof(CvPool));
    if (!raw) return nullptr;
    CvPool *pool = new (raw) CvPool();
    pool->parent = parent;
    if (parent) {
        std::lock_guard<std::mutex> guard(parent->lock);
        pool->next_sibling = parent->first_child;
        if (parent->first_child) parent->first_child->prev_sibling = pool;
        parent->first_child = pool;
    }
    g_live_pools.fetch_add(1, std::memory_order_relaxed);
    return pool;
}

static void release_tree(CvPool *pool) {
    // Children first: they may hold references into this pool's blocks but
    // never the other way round.
    while (CvPool *child = pool->first_child) {
        pool->first_child = child->next_sibling;
        release_tree(child);
    }
    while (Callback *cb = pool->callbacks) {
        pool->callbacks = cb->next;
        cb->fn(cb->arg);
        std::free(cb);
    }
    while (BlockHeader *b = pool->blocks) {
        pool->blocks = b->next;
        std::free(b);
    }
    pool->~CvPool();
    std::free(pool);
    g_live_pools.fetch_sub(1, std::memory_order_relaxed);
}

void cv_mem_release_handle(CvPool *pool) {
    if (!pool) return;
    if (CvPool *parent = pool->parent) {
        std::lock_guard<std::mutex> guard(parent->lock);
        if (pool->prev_sibling)
            pool->prev_sibling->next_sibling = pool->next_sibling;
        else
            parent->first_child = pool->next_sibling;
        if (pool->next_sibling) pool->next_sibling->prev_sibling = pool->prev_sibling;
    }
    release_tree(pool);
}

static void link_block(CvPool *pool, BlockHeader *b) {
    b->pool = pool;
    b->prev = nullptr;
    std::lock_guard<std::mutex> guard(pool->lock);
    b->next = pool->blocks;
    if (pool->blocks) pool->blocks->prev = b;
    pool->blocks = b;
}

void *cv_mem_alloc(CvPool *pool, size_t size) {
    if (!pool || size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    if (injected_failure()) return nullptr;
    auto *b = static_cast<BlockHeader *>(std::calloc(1, sizeof(BlockHeader) + size));
    if (!b) return nullptr;
    b->size = size;
    link_block(pool, b);
    return b + 1;
}

void *cv_mem_realloc(CvPool *pool, void *block, size_t size) {
    if (!block) return cv_mem_alloc(pool, size);
    if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    if (injected_failure()) return nullptr;
    BlockHeader *old = static_cast<BlockHeader *>(block) - 1;
    CvPool *owner = old->pool;
    // Hold the owner's lock while the header moves, since its neighbours
    // point at it.
    std::lock_guard<std::mutex> guard(owner->lock);
    size_t old_size = old->size;
    auto *b = static_cast<BlockHeader *>(std::realloc(old, sizeof(BlockHeader) + size));
    if (!b) return nullptr;
    if (size > old_size) std::memset(reinterpret_cast<char *>(b + 1) + old_size, 0, size - old_size);
    b->size = size;
    if (b->prev)
        b->prev->next = b;
    else
        owner->blocks = b;
    if (b->next) b->next->prev = b;
    return b + 1;
}

void cv_mem_free(void *block) {
    if (!block) return;
    BlockHeader *b = static_cast<BlockHeader *>(block) - 1;
    CvPool *pool = b->pool;
    {
        std::lock_guard<std::mutex> guard(pool->lock);
        if (b->prev)
            b->prev->next = b->next;
        else
            pool->blocks = b->next;
        if (b->next) b->next->prev = b->prev;
    }
    std::free(b);
}

char *cv_mem_strndup(CvPool *pool, std::string_view text) {
    auto *p = static_cast<char *>(cv_mem_alloc(pool, text.size() + 1));
    if (p && !text.empty()) std::memcpy(p, text.data(), text.size());
    return p;
}

char *cv_mem_strdup(CvPool *pool, const char *text) {
    return text ? cv_mem_strndup(pool, std::string_view(text)) : nullptr;
}

bool cv_mem_on_release(CvPool *pool, CvReleaseFn fn, void *arg) {
    auto *cb = pool ? static_cast<Callback *>(std::malloc(sizeof(Callback))) : nullptr;
    if (!cb) {
        fn(arg);
        return false;
    }
    cb->fn = fn;
    cb->arg = arg;
    std::lock_guard<std::mutex> guard(pool->lock);
    cb->next = pool->callbacks;
    pool->callbacks = cb;
    return true;
}

void cv_mem_trace_init() { g_trace_refs.fetch_add(1); }
void cv_mem_trace_term() { g_trace_refs.fetch_sub(1); }
long cv_mem_live_pools() { return g_live_pools.load(); }
void cv_mem_fail_after(long n) { g_fail_countdown.store(n < 0 ? 0 : n); }
