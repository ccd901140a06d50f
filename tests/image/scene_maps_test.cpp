// A scene's maps found beside it and decoded: each file once, each failure on its own map
// with its reason, each missing or broken file named once.
#include "image/scene_maps.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "image_bytes.h"
#include "load_fixture.h"

namespace {

namespace fs = std::filesystem;

// A material whose texture map (or opacity map, `opacity`) names `file` with `tiling`.
void MapMaterial(ChunkWriter& w, const char* name, const char* file, bool opacity = false,
                 uint16_t tiling = 0) {
    WriteMaterial(w, name, [&] {
        w.Chunk(opacity ? chunk::OpacityMap : chunk::TextureMap, [&] {
            w.Chunk(chunk::PercentInt, [&] { w.U16(100); });
            if (file != nullptr) w.Chunk(chunk::MapName, [&] { w.Name(file); });
            w.Chunk(chunk::MapTiling, [&] { w.U16(tiling); });
        });
    });
}

std::vector<uint8_t> SceneBytes() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            MapMaterial(w, "Wall", "C:\\MAPS\\CWALL02.JPG");
            MapMaterial(w, "Plain", nullptr, false, 0);
            MapMaterial(w, "Missing", "NOPE.JPG");
            MapMaterial(w, "Broken", "BAD.PNG");
            MapMaterial(w, "Glass", "MASK.PNG", true, kMapAlphaSource);
            MapMaterial(w, "Again", "cwall02.jpg");  // the same file as Wall's
            MapMaterial(w, "MissingToo", "NOPE.JPG");
            MapMaterial(w, "Elsewhere", "EXTRA.PNG");
            WriteMaterial(w, "NoMaps", [] {});
        });
    });
    return w.bytes;
}

TEST(SceneMaps, EachMapIsFoundAndDecodedOnceOrFailsAloneWithItsReason) {
    const std::string root = FixturePath(".scene");
    fs::remove_all(root);
    fs::create_directories(root + "/Textures");
    fs::create_directories(root + "/more");
    const std::vector<uint8_t> pixels =
        image_bytes::Checkerboard(16, 8, 2, {200, 10, 10, 255}, {10, 10, 200, 128});
    const std::vector<uint8_t> png = image_bytes::Png(16, 8, pixels);
    ASSERT_TRUE(
        WriteBytesToFile(image_bytes::Jpeg(16, 8, pixels, 90), (root + "/CWALL02.jpg").c_str()));
    ASSERT_TRUE(WriteBytesToFile(png, (root + "/Textures/mask.png").c_str()));
    ASSERT_TRUE(WriteBytesToFile(std::vector<uint8_t>(png.begin(), png.begin() + 40),
                                 (root + "/BAD.png").c_str()));
    ASSERT_TRUE(WriteBytesToFile(png, (root + "/more/extra.png").c_str()));
    const std::string scenePath = root + "/scene.3ds";
    ASSERT_TRUE(WriteBytesToFile(SceneBytes(), scenePath.c_str()));
    ScenePtr scene(LoadScene(scenePath.c_str()));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->materialCount, 9);

    SceneMapOptions options;
    options.folders = {root + "/more"};
    SceneMaps maps;
    LoadSceneMaps(*scene, scenePath, options, maps);
    ASSERT_EQ(maps.maps.size(), 8u);  // NoMaps has none
    const auto map = [&](int32_t material) -> const SceneMap& {
        return maps.maps[static_cast<size_t>(material == 4 ? maps.opacityMap[4]
                                                           : maps.textureMap[material])];
    };
    EXPECT_EQ(maps.textureMap[8], -1);
    EXPECT_EQ(maps.opacityMap[0], -1);

    EXPECT_EQ(map(0).path, root + "/CWALL02.jpg");
    EXPECT_EQ(map(0).reason, "");
    ASSERT_GE(map(0).texture, 0);
    EXPECT_EQ(map(5).texture, map(0).texture);  // decoded once
    EXPECT_EQ(map(1).reason, "no file name");
    EXPECT_EQ(map(2).reason, "not found");
    EXPECT_EQ(map(2).texture, -1);
    EXPECT_EQ(map(3).reason.rfind("corrupt PNG image: ", 0), 0u) << map(3).reason;
    EXPECT_EQ(map(3).texture, -1);
    EXPECT_EQ(map(4).kind, SceneMapKind::kOpacity);
    EXPECT_EQ(map(4).path, root + "/Textures/mask.png");
    ASSERT_GE(map(4).texture, 0);
    EXPECT_EQ(maps.textures[static_cast<size_t>(map(4).texture)].use,
              TextureUse::kOpacityFromAlpha);
    EXPECT_EQ(map(7).path, root + "/more/extra.png");
    EXPECT_GE(map(7).texture, 0);
    ASSERT_EQ(maps.textures.size(), 3u);
    uint64_t bytes = 0;
    for (const Texture& texture : maps.textures)
        bytes += texture.bytes;
    EXPECT_EQ(maps.memory.used, bytes);

    // Each failing file once, although two materials name NOPE.JPG.
    const std::vector<std::string> problems = SceneMapProblems(*scene, maps);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], "map \"\": no file name (material \"Plain\")");
    EXPECT_EQ(problems[1], "map \"NOPE.JPG\": not found");
    EXPECT_EQ(
        problems[2].rfind("map \"BAD.PNG\" (\"" + root + "/BAD.png\"): corrupt PNG image: ", 0), 0u)
        << problems[2];

    // Read from standard input the scene has no folder: only the folders given are searched.
    LoadSceneMaps(*scene, "-", options, maps);
    EXPECT_EQ(map(0).reason, "not found");
    EXPECT_EQ(map(7).reason, "");

    FreeSceneMaps(maps);
    EXPECT_EQ(maps.memory.used, 0u);
    fs::remove_all(root);
}

}  // namespace
