// The per-load arena: alignment, exact name copies, and release of everything at once.
#include "scene/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "scene/address_sanitizer.h"

namespace {

TEST(SceneArena, AllocationsAreAlignedAndDistinct) {
    Scene* scene = NewScene();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->objectCount, 0);
    EXPECT_EQ(scene->objects, nullptr);
    unsigned char* previous = nullptr;
    // Mix sizes so shared and dedicated blocks alternate.
    for (size_t bytes : {1u, 3u, 8u, 17u, 40000u, 5u, 200000u, 2u, 16u, 0u, 70000u, 9u}) {
        for (size_t align : {1u, 4u, 8u, 16u}) {
            auto* p = static_cast<unsigned char*>(ArenaAllocate(scene->arena, bytes, align));
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % align, 0u);
            std::memset(p, 0xAB, bytes);  // ASan reports any overlap or overrun
            if (bytes > 0) {
                EXPECT_NE(p, previous);
            }
            previous = p;
        }
    }
    FreeScene(scene);
}

TEST(SceneArena, ArrayAllocationRefusesAnOverflowingCount) {
    Scene* scene = NewScene();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(ArenaAllocateArray<Face>(scene->arena, SIZE_MAX / 8), nullptr);
    Vertex* v = ArenaAllocateArray<Vertex>(scene->arena, 1000);
    ASSERT_NE(v, nullptr);
    v[999].nz = 1.0f;
    FreeScene(scene);
}

TEST(SceneArena, NameCopyIsExactAndOwnedByTheScene) {
    Scene* scene = NewScene();
    ASSERT_NE(scene, nullptr);
    char source[] = "Box01";
    char* copy = ArenaCopyName(scene->arena, source);
    ASSERT_NE(copy, nullptr);
    source[0] = 'X';
    EXPECT_STREQ(copy, "Box01");
    EXPECT_STREQ(ArenaCopyName(scene->arena, ""), "");
    FreeScene(scene);
    FreeScene(nullptr);
}

// The blocks of a freed scene serve the next load; the process keeps at most the blocks of
// the last freed scene, and a block much bigger than a request is not handed out for it.
TEST(SceneArena, FreedBlocksServeTheNextSceneAndOnlyTheLastSceneIsKept) {
    ReleaseArenaCache();
    Scene* first = NewScene();
    ASSERT_NE(first, nullptr);
    void* big = ArenaAllocate(first->arena, 200000, 16);
    ASSERT_NE(ArenaAllocate(first->arena, 100, 8), nullptr);
    const size_t firstBytes = first->arena.bytesReserved;
    FreeScene(first);
    EXPECT_EQ(ArenaCacheBytes(), firstBytes);
#ifdef TRELLIS_ASAN
    // Memory of a freed scene stays unaddressable while it waits in the cache.
    EXPECT_TRUE(__asan_address_is_poisoned(big));
#endif

    Scene* second = NewScene();
    ASSERT_NE(second, nullptr);
    void* small = ArenaAllocate(second->arena, 120000, 16);  // 200,000 would waste too much
    EXPECT_NE(small, big);
    void* again = ArenaAllocate(second->arena, 190000, 16);
    EXPECT_EQ(again, big);
    std::memset(again, 0x5A, 190000);  // addressable again
    ASSERT_NE(ArenaAllocate(second->arena, 300000, 16), nullptr);
    const size_t secondBytes = second->arena.bytesReserved;
    FreeScene(second);
    EXPECT_EQ(ArenaCacheBytes(), secondBytes);  // the first scene's leftovers went back

    ReleaseArenaCache();
    EXPECT_EQ(ArenaCacheBytes(), 0u);
}

#ifdef TRELLIS_ASAN
// Arrays share blocks, so a run past the end of one would land in the next: under
// AddressSanitizer the bytes after each allocation, and all of a block not handed out, are
// poisoned.
TEST(SceneArena, BytesAfterEachAllocationAreUnaddressable) {
    Scene* scene = NewScene();
    ASSERT_NE(scene, nullptr);
    for (size_t bytes : {1u, 12u, 48u, 1000u, 40000u}) {
        auto* p = static_cast<unsigned char*>(ArenaAllocate(scene->arena, bytes, 4));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(__asan_region_is_poisoned(p, bytes), nullptr) << bytes;
        EXPECT_TRUE(__asan_address_is_poisoned(p + bytes)) << bytes;
    }
    FreeScene(scene);
}
#endif

}  // namespace
