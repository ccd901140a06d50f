// The bundled scene's texture map: the committed assets/jade.png holds exactly the pixels its
// writer makes, and it is found beside the scene by the name the scene gives it and loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/image_decode.h"
#include "image/scene_maps.h"
#include "jade_map.h"
#include "scene/loader.h"

namespace {

const std::string kAssets = std::string(TRELLIS_SOURCE_DIR) + "/assets";

TEST(BundledMap, CommittedFileHoldsExactlyThePixelsTheWriterMakes) {
    std::ifstream in(kAssets + "/jade.png", std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    ASSERT_FALSE(file.empty());
    EXPECT_LT(file.size(), 128u * 1024u);
    TextureMemory memory;
    DecodedImage image;
    std::string reason;
    ASSERT_TRUE(DecodeImage(file.data(), file.size(), ImageLimits{}, memory, image, reason))
        << reason;
    ASSERT_EQ(image.width, jade_map::kSide);
    ASSERT_EQ(image.height, jade_map::kSide);
    const std::vector<uint8_t> pixels(image.rgba, image.rgba + image.width * image.height * 4);
    EXPECT_TRUE(pixels == jade_map::Pixels())
        << "assets/jade.png is stale: rebuild it with `make_jade assets/jade.png`";
    FreeDecodedImage(image, memory);
}

TEST(BundledMap, IsFoundBesideTheSceneByTheNameTheSceneGivesItAndLoads) {
    const std::string scenePath = kAssets + "/svet.3ds";
    Scene* scene = LoadScene(scenePath.c_str());
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    SceneMaps maps;
    LoadSceneMaps(*scene, scenePath, SceneMapOptions{}, maps);
    ASSERT_EQ(maps.maps.size(), 1u);  // Jade's texture map; the other materials have none
    const SceneMap& jade = maps.maps[0];
    EXPECT_EQ(jade.material, 0);
    EXPECT_EQ(jade.path, kAssets + "/jade.png");
    EXPECT_EQ(jade.reason, "");
    ASSERT_EQ(jade.texture, 0);
    EXPECT_EQ(maps.textures[0].width[0], jade_map::kSide);
    EXPECT_TRUE(SceneMapProblems(*scene, maps).empty());
    FreeSceneMaps(maps);
    FreeScene(scene);
}

}  // namespace
