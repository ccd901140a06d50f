// The bundled scene's texture map: the committed assets/jade.png holds exactly the pixels its
// writer makes, and it is found beside the scene by the name the scene gives it.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/image_decode.h"
#include "jade_map.h"
#include "scene/map_files.h"

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

TEST(BundledMap, IsFoundBesideTheSceneByTheNameTheSceneGivesIt) {
    MapFinder finder;
    OpenMapFinder(finder, SceneFolder(kAssets + "/svet.3ds"), {});
    EXPECT_EQ(FindMapFile(finder, "jade.png"), kAssets + "/jade.png");
    EXPECT_EQ(FindMapFile(finder, "JADE.PNG"), kAssets + "/jade.png");
}

}  // namespace
