// A scene's texture maps in the viewer and through the program: found beside each scene
// (any case, its folders, --textures), named once on stderr when missing or unusable, listed
// by --info and --json, held back by --no-textures until T, loaded in the background and
// freed with their scene.
#include "app/viewer_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/shell.h"
#include "chunk_writer.h"
#include "display/display.h"
#include "image_bytes.h"
#include "image_files.h"
#include "load_fixture.h"
#include "platform/headless/headless.h"
#include "program_run.h"
#include "scene/printable.h"

namespace {

namespace fs = std::filesystem;

// A folder of the running test's own.
fs::path TestDir() {
    const fs::path dir = FixturePath(".maps");
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(WriteBytesToFile(bytes, path.c_str())) << path;
}

std::vector<uint8_t> Pixels(int width, int height) {
    return image_bytes::Checkerboard(width, height, 2, {200, 10, 10, 255}, {10, 10, 200, 255});
}

// One material with a map of `kind` (TextureMap or OpacityMap) naming `file`.
struct MapOfMaterial {
    const char* material;
    uint16_t kind;
    const char* file;
    uint16_t tiling;
};

std::vector<uint8_t> SceneWithMaps(const std::vector<MapOfMaterial>& maps) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (const MapOfMaterial& m : maps) {
                WriteMaterial(w, m.material, [&] {
                    w.Chunk(m.kind, [&] {
                        w.Chunk(chunk::PercentInt, [&] { w.U16(60); });
                        w.Chunk(chunk::MapName, [&] { w.Name(m.file); });
                        w.Chunk(chunk::MapTiling, [&] { w.U16(m.tiling); });
                        w.Chunk(chunk::MapUScale, [&] { w.Floats({2.0f}); });
                        w.Chunk(chunk::MapRotation, [&] { w.Floats({30.0f}); });
                    });
                });
            }
            WriteNamedMesh(w, "Quad", [&] {
                WriteVertexList(w, {0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 0});
                WriteFaceList(w, {0, 1, 2, 0, 2, 3});
            });
        });
    });
    return w.bytes;
}

// ---- Through the program ------------------------------------------------------------------

// maps.3ds names a map in upper case whose file is in lower case beside it, a missing map
// (twice), a broken image, a map whose file is only in another folder, and an opacity map
// named in Latin-1.
class MapsThroughTheProgram : public ::testing::Test {
protected:
    void SetUp() override {
        dir = TestDir();
        fs::create_directories(dir / "other");
        WriteFile(dir / "maps.3ds",
                  SceneWithMaps({{"Wall", chunk::TextureMap, "CWALL02.JPG", kMapMirror},
                                 {"Gone", chunk::TextureMap, "NOPE.PNG", 0},
                                 {"GoneToo", chunk::TextureMap, "NOPE.PNG", 0},
                                 {"Broken", chunk::TextureMap, "BROKEN.PNG", 0},
                                 {"Elsewhere", chunk::TextureMap, "EXTRA.TGA", 0},
                                 {"Glass", chunk::OpacityMap, "GLAS\xe9.PNG", kMapAlphaSource}}));
        WriteFile(dir / "cwall02.jpg", image_bytes::Jpeg(16, 8, Pixels(16, 8), 90));
        const std::vector<uint8_t> png = image_bytes::Png(16, 8, Pixels(16, 8));
        WriteFile(dir / "broken.png", std::vector<uint8_t>(png.begin(), png.begin() + 40));
        WriteFile(dir / "other" / "extra.tga", image_bytes::Tga(8, 8, Pixels(8, 8)));
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
};

TEST_F(MapsThroughTheProgram, InfoListsEachMapWithTheFileFoundForIt) {
    std::string errors, out;
    ASSERT_EQ(RunTrellis(dir, "--info maps.3ds", errors, &out), 0) << errors;
    EXPECT_EQ(errors, "");
    EXPECT_NE(out.find("maps: 6  (1 found, 4 missing, 1 unusable; "), std::string::npos) << out;
    // Named in upper case, found in lower case beside the scene.
    EXPECT_NE(out.find("  Wall                 texture \"CWALL02.JPG\"  amount 60%  tiling 0x0002 "
                       "(mirror; wrap mirror)  scale 2 1  offset 0 0  rotation 30\n"
                       "    file \"./cwall02.jpg\": 16 x 8, 5 levels\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  Gone                 texture \"NOPE.PNG\"  amount 60%  tiling 0x0000 "
                       "(wrap tile)  scale 2 1  offset 0 0  rotation 30\n    not found\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("    file \"./broken.png\": cannot be used: corrupt PNG image: "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("  Glass                opacity \"GLAS\\xe9.PNG\"  "), std::string::npos)
        << out;
    EXPECT_NE(out.find("texture \"EXTRA.TGA\"  amount 60%  tiling 0x0000 (wrap tile)  scale 2 1  "
                       "offset 0 0  rotation 30\n    not found\n"),
              std::string::npos);

    // --textures DIR: the map found in the folder given.
    ASSERT_EQ(RunTrellis(dir, "--info --textures other maps.3ds", errors, &out), 0) << errors;
    EXPECT_NE(out.find("texture \"EXTRA.TGA\"  amount 60%  tiling 0x0000 (wrap tile)  scale 2 1  "
                       "offset 0 0  rotation 30\n    file \"other/extra.tga\": 8 x 8, 4 levels\n"),
              std::string::npos)
        << out;
}

TEST_F(MapsThroughTheProgram, EachMapThatCannotBeDrawnIsNamedOnceAndTheRunGoesOn) {
    std::string errors;
    ASSERT_EQ(RunTrellis(dir, "--output with.png maps.3ds", errors), 0) << errors;
    std::vector<std::string> lines;
    for (size_t start = 0; start < errors.size();) {
        const size_t end = errors.find('\n', start);
        lines.push_back(errors.substr(start, end - start));
        start = end == std::string::npos ? errors.size() : end + 1;
    }
    // NOPE.PNG, named by two materials, once; every line printable, none for CWALL02.JPG.
    ASSERT_EQ(lines.size(), 4u) << errors;
    EXPECT_EQ(lines[0], "trellis: maps.3ds: map \"NOPE.PNG\": not found");
    EXPECT_EQ(lines[1].rfind("trellis: maps.3ds: map \"BROKEN.PNG\" (\"./broken.png\"): "
                             "corrupt PNG image: ",
                             0),
              0u)
        << lines[1];
    EXPECT_EQ(lines[2], "trellis: maps.3ds: map \"EXTRA.TGA\": not found");
    EXPECT_EQ(lines[3], "trellis: maps.3ds: map \"GLAS\\xe9.PNG\": not found");
    for (const std::string& line : lines)
        EXPECT_TRUE(IsPrintable(line)) << line;

    // --no-textures: no map looked for or decoded, nothing said; the same picture.
    ASSERT_EQ(RunTrellis(dir, "--no-textures --output without.png maps.3ds", errors), 0);
    EXPECT_EQ(errors, "");
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> with = ReadPng(dir / "with.png", width, height);
    EXPECT_FALSE(with.empty());
    EXPECT_EQ(ReadPng(dir / "without.png", width, height), with);
}

TEST_F(MapsThroughTheProgram, JsonListsEveryMapAndNoTexturesDecodesNone) {
    std::string errors, out;
    ASSERT_EQ(RunTrellis(dir, "--info --json --textures other maps.3ds", errors, &out), 0);
    nlohmann::json doc = nlohmann::json::parse(out);
    ASSERT_EQ(doc["maps"].size(), 6u) << out;
    EXPECT_EQ(doc["mapsDecoded"], true);
    const nlohmann::json& wall = doc["maps"][0];
    EXPECT_EQ(wall["material"], "Wall");
    EXPECT_EQ(wall["materialIndex"], 0);
    EXPECT_EQ(wall["kind"], "texture");
    EXPECT_EQ(wall["name"], "CWALL02.JPG");
    EXPECT_EQ(wall["file"], "./cwall02.jpg");
    EXPECT_EQ(wall["decoded"], true);
    EXPECT_EQ(wall["reason"], nullptr);
    EXPECT_EQ(wall["width"], 16);
    EXPECT_EQ(wall["height"], 8);
    EXPECT_EQ(wall["tiling"], 2);
    EXPECT_EQ(wall["tilingFlags"], nlohmann::json::array({"mirror"}));
    EXPECT_EQ(wall["wrap"], "mirror");
    EXPECT_DOUBLE_EQ(wall["amount"].get<double>(), 0.6f);
    EXPECT_EQ(wall["uScale"], 2.0);
    EXPECT_EQ(wall["vScale"], 1.0);
    EXPECT_EQ(wall["rotation"], 30.0);
    EXPECT_EQ(doc["maps"][1]["file"], nullptr);
    EXPECT_EQ(doc["maps"][1]["reason"], "not found");
    EXPECT_EQ(doc["maps"][3]["decoded"], false);
    EXPECT_EQ(doc["maps"][3]["reason"].get<std::string>().rfind("corrupt PNG image: ", 0), 0u);
    EXPECT_EQ(doc["maps"][4]["file"], "other/extra.tga");
    // The Latin-1 name kept whole, as UTF-8; the opacity map reported as one.
    EXPECT_EQ(doc["maps"][5]["name"], "GLAS\xc3\xa9.PNG");
    EXPECT_EQ(doc["maps"][5]["kind"], "opacity");
    EXPECT_EQ(doc["maps"][5]["tilingFlags"], nlohmann::json::array({"alpha source"}));
    EXPECT_GT(doc["mapMemory"]["held"].get<uint64_t>(), 0u);
    EXPECT_EQ(doc["mapMemory"]["limit"], uint64_t{512} << 20);
    // The rest of the report is as it was.
    EXPECT_EQ(doc["materials"].size(), 6u);
    EXPECT_EQ(doc["objects"].size(), 1u);

    // --no-textures: the files found, none decoded, so the broken one has no reason.
    ASSERT_EQ(
        RunTrellis(dir, "--info --json --no-textures --texture-memory 64 maps.3ds", errors, &out),
        0);
    doc = nlohmann::json::parse(out);
    EXPECT_EQ(doc["mapsDecoded"], false);
    EXPECT_FALSE(doc.contains("mapMemory"));
    for (const nlohmann::json& map : doc["maps"])
        EXPECT_EQ(map["decoded"], false) << map;
    EXPECT_EQ(doc["maps"][0]["file"], "./cwall02.jpg");
    EXPECT_EQ(doc["maps"][3]["file"], "./broken.png");
    EXPECT_EQ(doc["maps"][3]["reason"], nullptr);
}

// ---- In the viewer ------------------------------------------------------------------------

// What the viewer holds of its maps as a scripted message arrives.
struct MapsSeen {
    int32_t current;
    size_t listed;
    bool shown;
    bool ready;
    size_t textures;
    uint64_t held;
    bool sampled;  // the first material's texture sampler has a texture
    bool drawn;    // SamplersToDraw hands the first material's texture to the renderer
    std::string line;
};

void RecordMaps(UINT /*message*/, int32_t /*ticks*/, void* user) {
    const ViewerState& v = viewerState;
    static_cast<std::vector<MapsSeen>*>(user)->push_back(
        {v.list.current, v.list.paths.size(), v.maps.shown, v.maps.ready,
         v.maps.maps.textures.size(), v.maps.maps.memory.used,
         !v.maps.samplers.texture.empty() && v.maps.samplers.texture[0].texture != nullptr,
         SamplersToDraw(v) != nullptr && SamplersToDraw(v)->texture.size() == 1 &&
             SamplersToDraw(v)->opacity.size() == 1 &&
             SamplersToDraw(v)->texture[0].texture != nullptr,
         v.overlay.mapsLine});
}

class ViewerMapsTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseHeadlessBackend();
        ResetDisplayContext();
        ResetViewer(viewerState);
        dir = TestDir();
    }
    void TearDown() override {
        ResetViewer(viewerState);
        ResetDisplayContext();
        ResetHeadlessBackend();
        SetPlatformBackend(nullptr);
        fs::remove_all(dir);
    }

    // A folder `name` holding scene.3ds, which names WOOD.JPG, and wood.jpg when `withImage`.
    std::string SceneFolder(const char* name, bool withImage) {
        fs::create_directories(dir / name);
        WriteFile(dir / name / "scene.3ds",
                  SceneWithMaps({{"Wood", chunk::TextureMap, "WOOD.JPG", 0}}));
        if (withImage)
            WriteFile(dir / name / "wood.jpg", image_bytes::Jpeg(8, 8, Pixels(8, 8), 90));
        return (dir / name / "scene.3ds").string();
    }

    fs::path dir;
};

TEST_F(ViewerMapsTest, EachSceneFindsItsMapsBesideItTheyGoWithItAndTLoadsThemWhenHeldBack) {
    const std::string a = SceneFolder("a", true);
    const std::string b = SceneFolder("b", false);
    const std::string c = SceneFolder("c", true);
    std::vector<MapsSeen> seen;
    HeadlessSetMessageHook(RecordMaps, &seen);
    HeadlessScriptTicks(1);  // seen[0]: before the first tick
    HeadlessScriptKey('T');
    HeadlessScriptTicks(1);  // seen[2]
    HeadlessScriptKey(VK_NEXT);
    HeadlessScriptTicks(1);  // seen[4]
    // A scene dropped together with its image: only the scene is listed.
    HeadlessScriptDrop({c.c_str(), (dir / "c" / "wood.jpg").c_str()});
    HeadlessScriptTicks(1);  // seen[6]
    HeadlessScriptKey('T');
    HeadlessScriptTicks(1);  // seen[8]
    viewerState.list.paths = {a, b};
    viewerState.startPolicy = OpenPolicy{ViewMode::Fit, nullptr, false};
    viewerState.listPolicy = OpenPolicy{ViewMode::Fit, nullptr, false};
    viewerState.maps.shown = false;  // --no-textures
    testing::internal::CaptureStderr();
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_EQ(status, 0);
    ASSERT_GE(seen.size(), 9u);

    // Held back: nothing decoded until T.
    EXPECT_FALSE(seen[0].ready);
    EXPECT_EQ(seen[0].held, 0u);
    EXPECT_EQ(seen[0].line, "maps: not loaded (textures off; T turns them on)");
    EXPECT_FALSE(seen[0].drawn);
    EXPECT_TRUE(seen[2].shown);
    EXPECT_TRUE(seen[2].ready);
    EXPECT_EQ(seen[2].textures, 1u);
    EXPECT_TRUE(seen[2].sampled);
    EXPECT_TRUE(seen[2].drawn);
    EXPECT_GT(seen[2].held, 0u);
    EXPECT_EQ(seen[2].line, "maps: 1 found");
    // The next scene: its own folder has no image; the first one's texture is gone.
    EXPECT_EQ(seen[4].current, 1);
    EXPECT_TRUE(seen[4].ready);
    EXPECT_EQ(seen[4].textures, 0u);
    EXPECT_EQ(seen[4].held, 0u);
    EXPECT_FALSE(seen[4].sampled);
    EXPECT_FALSE(seen[4].drawn);
    EXPECT_EQ(seen[4].line, "maps: 0 found, 1 missing: \"WOOD.JPG\"");
    // The drop: the scene listed, its image found beside it.
    EXPECT_EQ(seen[6].listed, 3u);
    EXPECT_EQ(seen[6].current, 2);
    EXPECT_EQ(seen[6].textures, 1u);
    // T off: the maps stay, ready for the next T.
    EXPECT_FALSE(seen[8].shown);
    EXPECT_EQ(seen[8].textures, 1u);
    EXPECT_FALSE(seen[8].drawn);  // off: the faces keep their colours
    EXPECT_EQ(seen[8].line, "maps: 1 found (textures off)");
    EXPECT_EQ(errors, "trellis: " + PrintableName(b.c_str()) + ": map \"WOOD.JPG\": not found\n");
}

TEST_F(ViewerMapsTest, ABackgroundLoadIsTakenOverWhenDoneAndStoppedWhenTheSceneGoes) {
    // 24 materials naming 6 images of 256 x 256.
    std::vector<MapOfMaterial> named;
    static const char* const kFiles[] = {"M0.PNG", "M1.PNG", "M2.PNG",
                                         "M3.PNG", "M4.PNG", "M5.PNG"};
    static const char* const kMaterials[] = {"A", "B", "C", "D", "E", "F", "G", "H",
                                             "I", "J", "K", "L", "M", "N", "O", "P",
                                             "Q", "R", "S", "T", "U", "V", "W", "X"};
    for (size_t i = 0; i < std::size(kMaterials); ++i)
        named.push_back({kMaterials[i], chunk::TextureMap, kFiles[i % std::size(kFiles)], 0});
    const std::vector<uint8_t> png = image_bytes::Png(256, 256, Pixels(256, 256));
    for (int i = 0; i < 6; ++i)
        WriteFile(dir / ("m" + std::to_string(i) + ".png"), png);
    const std::string path = (dir / "many.3ds").string();
    WriteFile(path, SceneWithMaps(named));
    ScenePtr scene(LoadScene(path.c_str()));
    ASSERT_NE(scene, nullptr);

    ViewerMaps maps;
    maps.background = true;
    LoadViewerMaps(maps, *scene, path, "many.3ds");
    EXPECT_TRUE(maps.loading);  // on a thread of its own
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!maps.ready && std::chrono::steady_clock::now() < deadline) {
        if (!TakeLoadedMaps(maps, *scene))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(maps.ready);
    EXPECT_FALSE(maps.loading);
    EXPECT_EQ(maps.maps.textures.size(), 6u);
    ASSERT_EQ(maps.samplers.texture.size(), std::size(kMaterials));
    for (const MapSampler& sampler : maps.samplers.texture)
        EXPECT_NE(sampler.texture, nullptr);
    EXPECT_FALSE(TakeLoadedMaps(maps, *scene));  // taken once

    // The scene goes while its maps load: the load stops, nothing is left held.
    DropViewerMaps(maps);
    EXPECT_FALSE(maps.ready);
    EXPECT_EQ(maps.maps.memory.used, 0u);
    LoadViewerMaps(maps, *scene, path, "many.3ds");
    DropViewerMaps(maps);
    EXPECT_FALSE(maps.loading);
    EXPECT_FALSE(maps.ready);
    EXPECT_TRUE(maps.maps.textures.empty());
    EXPECT_EQ(maps.maps.memory.used, 0u);
    EXPECT_FALSE(TakeLoadedMaps(maps, *scene));
}

}  // namespace
