// Inputs found by fuzzing the loader, kept as byte tables with what each one exercised, and
// the fuzzer's seed scenes, which must all load: a seed that fails to load would only teach
// the fuzzer the loader's error paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fuzz/seed_scenes.h"
#include "load_fixture.h"
#include "scene/loader.h"

namespace {

// ---- Seeds ------------------------------------------------------------------------------

struct SeedCounts {
    const char* name;
    int32_t objects, lights, cameras, materials;
};

TEST(LoadRegression, EverySeedLoadsWithWhatItWasWrittenFor) {
    const SeedCounts expected[] = {
        {"bundled.3ds", 5, 2, 1, 4},   {"meshes_materials.3ds", 2, 0, 0, 3},
        {"lights.3ds", 0, 3, 0, 0},    {"camera.3ds", 1, 0, 1, 0},
        {"keyframer.3ds", 2, 2, 1, 0}, {"triangle.3ds", 1, 0, 0, 0},
    };
    const std::vector<seed_scenes::Seed> seeds = seed_scenes::All();
    ASSERT_EQ(seeds.size(), std::size(expected));
    for (size_t i = 0; i < seeds.size(); ++i) {
        const seed_scenes::Seed& seed = seeds[i];
        SCOPED_TRACE(seed.name);
        EXPECT_EQ(seed.name, expected[i].name);
        if (seed.name != "bundled.3ds") {
            EXPECT_LE(seed.bytes.size(), 4096u);
        }
        ScenePtr scene = LoadBytes(seed.bytes);
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        EXPECT_EQ(scene->objectCount, expected[i].objects);
        EXPECT_EQ(scene->lightCount, expected[i].lights);
        EXPECT_EQ(scene->cameraCount, expected[i].cameras);
        EXPECT_EQ(scene->materialCount, expected[i].materials);
    }
}

TEST(LoadRegression, KeyframerSeedStoresTracksOfEveryStoredKind) {
    ScenePtr scene = LoadBytes(seed_scenes::Keyframer());
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 2);
    const MeshObject& parent = scene->objects[0];
    const MeshObject& child = scene->objects[1];
    EXPECT_EQ(parent.positionKeyCount, 2);
    EXPECT_EQ(parent.rotationKeyCount, 2);
    EXPECT_EQ(child.positionKeyCount, 3);
    EXPECT_EQ(child.nodeId, 1);
    EXPECT_EQ(child.parentId, 0);
    EXPECT_EQ(scene->cameras[0].positionKeyCount, 2);
    EXPECT_EQ(scene->cameras[0].targetKeyCount, 2);
    EXPECT_EQ(scene->segmentEnd, 100u);
}

TEST(LoadRegression, MaterialsSeedGroupsFacesAndDropsTheUnknownMaterial) {
    ScenePtr scene = LoadBytes(seed_scenes::MeshesAndMaterials());
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 2);
    const MeshObject& left = scene->objects[0];
    ASSERT_EQ(left.faceCount, 12);
    EXPECT_EQ(left.faces[0].material, 0);
    EXPECT_EQ(left.faces[6].material, 1);
    EXPECT_EQ(left.faces[11].material, 2);
    // The right cube's last group names no material: face 0 loses the blue it had.
    EXPECT_EQ(scene->objects[1].faces[0].material, -1);
    EXPECT_EQ(scene->objects[1].faces[1].material, 1);
}

}  // namespace
