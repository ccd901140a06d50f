// The per-load arena: alignment, exact name copies, and release of everything at once.
#include "scene/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

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

}  // namespace
