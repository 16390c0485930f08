// Blocks for the JSON trees of parsed pages (see json_arena.h).
//
// The blocks lie in one reserved range of address space, so telling a block
// allocation from a malloc one is two comparisons and needs no header in
// front of malloc's memory. Each block starts with its count of live
// allocations; the scope that cuts from a block holds one count of its own,
// so a block is only reused after its scope moved on and every allocation
// from it was freed.
#include "sqi/json_arena.h"

#include <jansson.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define CV_JSON_ARENA_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CV_JSON_ARENA_OFF 1
#endif
#endif

namespace {

constexpr size_t kBlockSize = 256 * 1024;
constexpr size_t kBlocks = 256;               // 64 MiB of address space, touched on use
constexpr size_t kLargest = 16 * 1024;        // bigger requests go to the previous allocator
constexpr size_t kHeader = 64;                // the count, on a cache line of its own
constexpr size_t kKeptCommitted = 8;          // free blocks beyond these go back to the system

struct BlockHeader {
    std::atomic<uint32_t> live;  // allocations not freed, plus one while a scope cuts from it
};

struct Arena {
    char *base = nullptr;  // null: not installed
    json_malloc_t prev_malloc = nullptr;
    json_free_t prev_free = nullptr;
    std::mutex lock;                 // guards the fields below
    std::vector<uint32_t> free_blocks;
    uint32_t never_used = 0;         // blocks below this index have been handed out before
    size_t in_use = 0;
};

// Never destroyed: a tree freed during exit, after this library's static
// destructors ran, still finds its counts and the list of free blocks.
union ArenaHolder {
    Arena arena;
    ArenaHolder() : arena() {}
    ~ArenaHolder() {}
};
ArenaHolder g_holder;
Arena &g_arena = g_holder.arena;

struct Cursor {
    int depth = 0;
    char *block = nullptr;  // the block being cut from (its count includes the scope's hold)
    size_t used = 0;
};

// Read on every jansson allocation in the process: the initial-exec model
// reaches it without a call into the dynamic linker (24 bytes of the static
// TLS room a loaded library may use).
__attribute__((tls_model("initial-exec"))) thread_local Cursor t_cursor;

BlockHeader *header_of(char *block) { return reinterpret_cast<BlockHeader *>(block); }

bool in_blocks(const void *p) {
    const auto *c = static_cast<const char *>(p);
    return g_arena.base && c >= g_arena.base && c < g_arena.base + kBlockSize * kBlocks;
}

char *block_of(void *p) {
    const auto offset = static_cast<size_t>(static_cast<char *>(p) - g_arena.base);
    return g_arena.base + offset / kBlockSize * kBlockSize;
}

char *take_block() {
    std::lock_guard<std::mutex> guard(g_arena.lock);
    uint32_t index;
    if (!g_arena.free_blocks.empty()) {
        index = g_arena.free_blocks.back();
        g_arena.free_blocks.pop_back();
    } else if (g_arena.never_used < kBlocks) {
        index = g_arena.never_used++;
    } else {
        return nullptr;
    }
    ++g_arena.in_use;
    char *block = g_arena.base + index * kBlockSize;
    header_of(block)->live.store(1, std::memory_order_relaxed);  // the scope's hold
    return block;
}

void give_back(char *block) {
    std::lock_guard<std::mutex> guard(g_arena.lock);
    --g_arena.in_use;
    if (g_arena.free_blocks.size() >= kKeptCommitted) {
        // The header is rewritten when the block is taken again, so the
        // zero pages the system gives back are fine.
        (void)madvise(block, kBlockSize, MADV_DONTNEED);
    }
    // The vector was reserved for every block: this never allocates.
    g_arena.free_blocks.push_back(static_cast<uint32_t>((block - g_arena.base) / kBlockSize));
}

void drop(char *block) {
    if (header_of(block)->live.fetch_sub(1, std::memory_order_acq_rel) == 1) give_back(block);
}

void *arena_malloc(size_t size) {
    Cursor &c = t_cursor;
    if (c.depth == 0 || size > kLargest) return g_arena.prev_malloc(size);
    const size_t need = (size + 15) & ~size_t{15};
    if (!c.block || c.used + need > kBlockSize) {
        if (c.block) drop(c.block);
        c.block = take_block();
        c.used = kHeader;
        if (!c.block) return g_arena.prev_malloc(size);
    }
    void *p = c.block + c.used;
    c.used += need;
    header_of(c.block)->live.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void arena_free(void *p) {
    if (!p) return;
    if (in_blocks(p)) {
        drop(block_of(p));
        return;
    }
    g_arena.prev_free(p);
}

// Installs the blocks when the library is loaded and puts the previous
// allocator back when it is unloaded. While a tree is alive (a connection
// the application never closed, freed by one of its own destructors during
// exit, which run after ours) everything stays in place, since that tree's
// nodes must still come back here.
struct Installer {
    Installer() {
#ifndef CV_JSON_ARENA_OFF
        void *range = mmap(nullptr, kBlockSize * kBlocks, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (range == MAP_FAILED) return;
        try {
            g_arena.free_blocks.reserve(kBlocks);
        } catch (...) {
            munmap(range, kBlockSize * kBlocks);
            return;
        }
        json_get_alloc_funcs(&g_arena.prev_malloc, &g_arena.prev_free);
        if (!g_arena.prev_malloc || !g_arena.prev_free) {
            munmap(range, kBlockSize * kBlocks);
            return;
        }
        g_arena.base = static_cast<char *>(range);
        json_set_alloc_funcs(arena_malloc, arena_free);
#endif
    }
    ~Installer() {
        if (!g_arena.base) return;
        json_malloc_t now_malloc = nullptr;
        json_free_t now_free = nullptr;
        json_get_alloc_funcs(&now_malloc, &now_free);
        // Someone installed an allocator after ours and may still call ours:
        // leave everything in place.
        if (now_malloc != arena_malloc || now_free != arena_free) return;
        std::lock_guard<std::mutex> guard(g_arena.lock);
        if (g_arena.in_use != 0) return;
        json_set_alloc_funcs(g_arena.prev_malloc, g_arena.prev_free);
        munmap(g_arena.base, kBlockSize * kBlocks);
        g_arena.base = nullptr;
    }
};

Installer g_installer;

}  // namespace

JsonArenaScope::JsonArenaScope() { ++t_cursor.depth; }

JsonArenaScope::~JsonArenaScope() {
    Cursor &c = t_cursor;
    if (--c.depth > 0 || !c.block) return;
    // The rest of the block is given up: the next scope may run long after,
    // and a half-used block would stay taken for as long.
    drop(c.block);
    c.block = nullptr;
}

bool json_arena_active() { return g_arena.base != nullptr; }

size_t json_arena_blocks_in_use() {
    std::lock_guard<std::mutex> guard(g_arena.lock);
    return g_arena.in_use;
}
