// The blocks behind parsed pages: every tree freed gives its block back,
// whichever thread frees it; a node kept past its page stays intact while
// later pages reuse other blocks; running out of blocks falls back to the
// previous allocator.
#include <gtest/gtest.h>
#include <jansson.h>

#include <string>
#include <thread>
#include <vector>

#include "sqi/json_arena.h"

namespace {

std::string page_text(int n, size_t filler = 40) {
    std::string text = "{\"plans\": [";
    for (int i = 0; i < 20; ++i) {
        if (i) text += ", ";
        text += "{\"id\": \"P-" + std::to_string(n) + "-" + std::to_string(i) + "\", \"name\": \"" +
                std::string(filler, 'x') + "\", \"links\": [{\"rel\": \"self\", \"n\": " + std::to_string(i) + "}]}";
    }
    return text + "]}";
}

json_t *parse_in_scope(const std::string &text) {
    JsonArenaScope scope;
    return json_loadb(text.data(), text.size(), 0, nullptr);
}

std::string id_of(const json_t *plan) { return json_string_value(json_object_get(plan, "id")); }

// Builds with AddressSanitizer keep jansson on malloc: there the same
// trees must be as good and take no block.
class JsonArena : public ::testing::Test {
protected:
    void SetUp() override { before = json_arena_blocks_in_use(); }
    /// Blocks in use beyond those at the start, when the blocks are installed.
    static size_t taken(size_t n) { return json_arena_active() ? n : 0; }
    size_t before = 0;
};

TEST_F(JsonArena, TreesGiveTheirBlocksBackAndParsingOutsideAScopeTakesNone) {
    json_t *root = parse_in_scope(page_text(1));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(json_arena_blocks_in_use(), before + taken(1));
    EXPECT_EQ(id_of(json_array_get(json_object_get(root, "plans"), 19)), "P-1-19");
    // Members added later, outside any scope, come from malloc and mix with
    // the block's nodes in one tree.
    json_object_set_new(root, "added", json_string("later"));
    json_decref(root);
    EXPECT_EQ(json_arena_blocks_in_use(), before);

    std::string text = page_text(2);
    json_t *plain = json_loadb(text.data(), text.size(), 0, nullptr);
    EXPECT_EQ(json_arena_blocks_in_use(), before);
    json_decref(plain);

    // Strings over the largest block request (and the lexer's buffer for
    // them) go to malloc; the tree is whole either way.
    json_t *big = parse_in_scope(page_text(3, 40000));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(std::string(json_string_value(json_object_get(json_array_get(json_object_get(big, "plans"), 7), "name"))),
              std::string(40000, 'x'));
    json_decref(big);
    EXPECT_EQ(json_arena_blocks_in_use(), before);
}

TEST_F(JsonArena, KeptNodeOutlivesItsPageWhileLaterPagesReuseBlocks) {
    json_t *first = parse_in_scope(page_text(1));
    ASSERT_NE(first, nullptr);
    json_t *kept = json_array_get(json_object_get(first, "plans"), 5);
    json_incref(kept);
    json_decref(first);
    EXPECT_EQ(json_arena_blocks_in_use(), before + taken(1));  // pinned by the kept node
    for (int n = 2; n < 60; ++n) {
        json_t *root = parse_in_scope(page_text(n));
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(id_of(json_array_get(json_object_get(root, "plans"), 0)), "P-" + std::to_string(n) + "-0");
        json_decref(root);
    }
    EXPECT_EQ(json_arena_blocks_in_use(), before + taken(1));
    EXPECT_EQ(id_of(kept), "P-1-5");
    EXPECT_EQ(json_integer_value(json_object_get(json_array_get(json_object_get(kept, "links"), 0), "n")), 5);
    json_decref(kept);
    EXPECT_EQ(json_arena_blocks_in_use(), before);
}

TEST_F(JsonArena, TreesFreedOnOtherThreadsAndParsedOnSeveral) {
    // Pages parsed on one thread and freed on another, as a scan hands its
    // iterator to whichever thread closes the statement.
    std::vector<json_t *> roots;
    for (int n = 0; n < 8; ++n) roots.push_back(parse_in_scope(page_text(n)));
    std::thread freer([&] {
        for (json_t *r : roots) json_decref(r);
    });
    freer.join();
    EXPECT_EQ(json_arena_blocks_in_use(), before);

    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &good] {
            for (int n = 0; n < 50; ++n) {
                json_t *root = parse_in_scope(page_text(t * 1000 + n));
                if (root && id_of(json_array_get(json_object_get(root, "plans"), 3)) ==
                                "P-" + std::to_string(t * 1000 + n) + "-3")
                    ++good[static_cast<size_t>(t)];
                json_decref(root);
            }
        });
    }
    for (std::thread &t : threads) t.join();
    for (int g : good) EXPECT_EQ(g, 50);
    EXPECT_EQ(json_arena_blocks_in_use(), before);
}

TEST_F(JsonArena, RunningOutOfBlocksFallsBackToMalloc) {
    // Each kept tree pins a block of its own; past the last block the
    // trees come from malloc and are as good.
    std::vector<json_t *> roots;
    for (int n = 0; n < 300; ++n) roots.push_back(parse_in_scope(page_text(n, 8)));
    EXPECT_EQ(json_arena_blocks_in_use(), taken(256));
    for (int n = 0; n < 300; ++n) {
        ASSERT_NE(roots[static_cast<size_t>(n)], nullptr);
        EXPECT_EQ(id_of(json_array_get(json_object_get(roots[static_cast<size_t>(n)], "plans"), 19)),
                  "P-" + std::to_string(n) + "-19");
    }
    for (json_t *r : roots) json_decref(r);
    EXPECT_EQ(json_arena_blocks_in_use(), before);
}

}  // namespace
