// Memory for the JSON trees of parsed pages.
//
// A page of 20 PayPal objects is a tree of a few thousand small jansson
// nodes, made at once and freed at once; glibc's malloc and free were a
// seventh of the client's CPU per row. Inside a JsonArenaScope, jansson's
// allocations on that thread are cut from 256 KiB blocks; a block counts
// its live allocations and is reused once every one of them is freed, on
// any thread. A node kept past its page (an incref'd value) keeps its block.
//
// jansson's allocator is process-wide: the blocks are installed in front of
// the allocator that was there (normally malloc and free) when the library
// is loaded, everything outside a scope goes to that allocator, and it is
// put back when the library is unloaded. Builds with AddressSanitizer leave
// jansson on malloc, so the sanitizer sees every JSON node.
//
// Exports: JsonArenaScope, json_arena_active, json_arena_blocks_in_use.
#pragma once

#include <cstddef>

/// jansson's allocations on this thread come from the blocks while it lives
/// (scopes nest). Without the blocks (not installed, or a request over
/// 16 KiB, or all blocks taken) an allocation goes to the previous allocator.
class JsonArenaScope {
public:
    JsonArenaScope();
    ~JsonArenaScope();
    JsonArenaScope(const JsonArenaScope &) = delete;
    JsonArenaScope &operator=(const JsonArenaScope &) = delete;
};

/// True when jansson's allocations inside a scope come from the blocks.
[[nodiscard]] bool json_arena_active();
/// Blocks holding live allocations or taken by a scope (for tests).
[[nodiscard]] size_t json_arena_blocks_in_use();
