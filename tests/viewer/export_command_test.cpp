// trellis --export: what the command line accepts, and the program on a folder of scenes of
// which some fail (the others are written, the status is 1 at the end).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../export/gltf_fixtures.h"
#include "app/command_line.h"
#include "chunk_writer.h"
#include "gltf_reader.h"
#include "image/image_decode.h"

namespace {

namespace fs = std::filesystem;

ParseResult Parse(std::vector<std::string> arguments, CommandLine& line, std::string& error) {
    std::string program = "trellis";
    std::vector<char*> argv = {program.data()};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), line, error);
}

TEST(ExportCommand, AcceptedAndRefusedLines) {
    const std::string kStandsAlone =
        "--export stands alone: no --output, --info, --chunks, --windowed, --animate, --frame, "
        "--frames, --view, --camera, --size, --render, --thumbnail, --format or --max-faces";
    struct Case {
        std::vector<std::string> arguments;
        std::string error;  // empty: accepted
        bool folder;
    };
    const std::vector<Case> cases = {
        {{"--export", "a.glb", "box.3ds"}, "", false},
        {{"--export=A.GLTF", "box.3ds"}, "", false},
        {{"--export", "out/", "a.3ds", "b.3ds"}, "", true},
        {{"--export", "a.obj", "box.3ds"},
         "cannot tell the format of 'a.obj': name it .glb or .gltf, or a FOLDER/",
         false},
        {{"--export", "a.glb"}, "--export needs the SCENE to export", false},
        {{"--export", "a.glb", "a.3ds", "b.3ds"},
         "more than one scene given ('b.3ds'); several scenes need --export FOLDER/",
         false},
        {{"--export", "a.glb", "-o", "a.png", "box.3ds"}, kStandsAlone, false},
        {{"--export", "a.glb", "--info", "box.3ds"}, kStandsAlone, false},
        // The export draws nothing and writes no picture; its memory is the run's.
        {{"--export", "a.glb", "--max-faces", "10", "box.3ds"}, kStandsAlone, false},
        {{"--export", "a.glb", "--format", "png", "box.3ds"}, kStandsAlone, false},
        {{"--export", "a.glb", "--max-memory", "2G", "box.3ds"}, "", false},
        {{"--export", "a.glb", "--", "-box.3ds"}, "", false},
        {{"--export", "a.glb", "--render", "shaded", "box.3ds"}, kStandsAlone, false},
        {{"--export", "a.glb", "--frames", "5", "box.3ds"}, kStandsAlone, false},
    };
    for (const Case& c : cases) {
        CommandLine line;
        std::string error;
        const ParseResult result = Parse(c.arguments, line, error);
        EXPECT_EQ(result, c.error.empty() ? ParseResult::Run : ParseResult::UsageError)
            << c.arguments[1];
        EXPECT_EQ(error, c.error);
        if (c.error.empty()) {
            EXPECT_NE(line.exportFile, nullptr);
            EXPECT_EQ(line.exportFolder, c.folder);
        }
    }
}

TEST(ExportCommand, AFolderRunGoesOnPastFailures) {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    const fs::path dir = fs::path(base ? base : "/tmp") / "export_command";
    fs::remove_all(dir);
    fs::create_directories(dir / "scenes");
    // One triangle whose last corner is `third`: 2 is good, 9 names a vertex it lacks.
    auto triangle = [](uint16_t third) {
        ChunkWriter w;
        w.Chunk(chunk::Main, [&] {
            w.Chunk(chunk::Editor, [&] {
                WriteNamedMesh(w, "Tri", [&] {
                    WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                    WriteFaceList(w, {0, 1, third});
                });
            });
        });
        return w.bytes;
    };
    ASSERT_TRUE(WriteBytesToFile(triangle(2), (dir / "scenes/a.3ds").c_str()));
    ASSERT_TRUE(WriteBytesToFile({'n', 'o', 't', 'e', 's'}, (dir / "scenes/b.3ds").c_str()));
    ASSERT_TRUE(WriteBytesToFile(triangle(9), (dir / "scenes/c.3ds").c_str()));
    ASSERT_TRUE(WriteBytesToFile(triangle(2), (dir / "scenes/d.3ds").c_str()));
    const std::string command = "cd '" + dir.string() +
                                "' && '" TRELLIS_BINARY
                                "' --export out/ scenes/a.3ds scenes/b.3ds scenes/c.3ds "
                                "scenes/missing.3ds scenes/d.3ds 2>errors.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(fs::is_regular_file(dir / "out/a.glb"));
    EXPECT_TRUE(fs::is_regular_file(dir / "out/d.glb"));
    EXPECT_FALSE(fs::exists(dir / "out/b.glb"));
    EXPECT_FALSE(fs::exists(dir / "out/c.glb"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator{}), 2);
    std::string errors;
    if (FILE* f = std::fopen((dir / "errors.txt").c_str(), "r")) {
        char buffer[1024];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            errors.append(buffer, n);
        std::fclose(f);
    }
    EXPECT_NE(errors.find("scenes/b.3ds: not a 3DS file"), std::string::npos) << errors;
    EXPECT_NE(errors.find("scenes/c.3ds: chunk 0x4120"), std::string::npos) << errors;
    EXPECT_NE(errors.find("scenes/missing.3ds: No such file or directory"), std::string::npos)
        << errors;
}

std::string ReadText(const fs::path& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

TEST(ExportCommand, BmpAndTgaMapsAreEmbeddedAsPng) {
    // The scene names "BRICK.BMP" (on disk as brick.bmp, found in lower case) and "Stone.tga"
    // with alpha; a third scene names a map that is nowhere.
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    const fs::path dir = fs::path(base ? base : "/tmp") / "export_command_maps";
    fs::remove_all(dir);
    fs::create_directories(dir);
    ASSERT_TRUE(WriteBytesToFile(gltf_fixtures::ConvertedMaps(), (dir / "wall.3ds").c_str()));
    ASSERT_TRUE(WriteBytesToFile(gltf_fixtures::MakeBmp(3, 2, gltf_fixtures::BrickRgb()),
                                 (dir / "brick.bmp").c_str()));
    ASSERT_TRUE(WriteBytesToFile(gltf_fixtures::MakeTga(3, 2, gltf_fixtures::StoneRgba()),
                                 (dir / "Stone.tga").c_str()));
    const std::string command =
        "cd '" + dir.string() + "' && '" TRELLIS_BINARY "' --export wall.glb wall.3ds 2>errors.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << ReadText(dir / "errors.txt");
    EXPECT_EQ(ReadText(dir / "errors.txt"), "");
    const std::string glb = ReadText(dir / "wall.glb");
    const std::map<std::string, std::vector<uint8_t>> files = {
        {"wall.glb", std::vector<uint8_t>(glb.begin(), glb.end())}};
    const GltfFile file = ReadGltf(files, "wall.glb");
    const nlohmann::json& json = file.json;
    ASSERT_EQ(json["images"].size(), 2u);
    // Each material's texture, its image a PNG whose pixels are the map's.
    const struct {
        const char* material;
        std::vector<uint8_t> rgba;
        int32_t channels;
    } expected[] = {
        {"Brick",
         [] {
             std::vector<uint8_t> rgba;
             const std::vector<uint8_t> rgb = gltf_fixtures::BrickRgb();
             for (size_t i = 0; i < rgb.size(); i += 3)
                 rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
             return rgba;
         }(),
         3},
        {"Stone", gltf_fixtures::StoneRgba(), 4},
    };
    for (size_t m = 0; m < 2; ++m) {
        const nlohmann::json& material = json["materials"][m];
        EXPECT_EQ(material["name"], expected[m].material);
        const int texture = material["pbrMetallicRoughness"]["baseColorTexture"]["index"];
        const nlohmann::json& image =
            json["images"][json["textures"][texture]["source"].get<int>()];
        EXPECT_EQ(image["mimeType"], "image/png");
        const nlohmann::json& view = json["bufferViews"][image["bufferView"].get<int>()];
        const size_t offset = view.value("byteOffset", 0);
        const std::vector<uint8_t> png(
            file.bin.begin() + static_cast<std::ptrdiff_t>(offset),
            file.bin.begin() +
                static_cast<std::ptrdiff_t>(offset + view["byteLength"].get<size_t>()));
        ASSERT_STREQ(ImageFormatName(png.data(), png.size()), "PNG") << expected[m].material;
        TextureMemory memory;
        DecodedImage decoded;
        std::string reason;
        ASSERT_TRUE(DecodeImage(png.data(), png.size(), ImageLimits{}, memory, decoded, reason))
            << reason;
        EXPECT_EQ(decoded.width, 3);
        EXPECT_EQ(decoded.height, 2);
        EXPECT_EQ(decoded.channels, expected[m].channels) << expected[m].material;
        EXPECT_EQ(std::vector<uint8_t>(decoded.rgba, decoded.rgba + 3 * 2 * 4), expected[m].rgba)
            << expected[m].material;
        FreeDecodedImage(decoded, memory);
    }

    // A map that is nowhere: the export goes on without it and names it.
    fs::remove(dir / "brick.bmp");
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string errors = ReadText(dir / "errors.txt");
    EXPECT_NE(errors.find("wall.3ds: material \"Brick\": texture map \"BRICK.BMP\" not carried "
                          "over: no such file"),
              std::string::npos)
        << errors;
    fs::remove_all(dir);
}

}  // namespace
