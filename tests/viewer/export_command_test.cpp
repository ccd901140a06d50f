// trellis --export: what the command line accepts, and the program on a folder of scenes of
// which some fail (the others are written, the status is 1 at the end).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "chunk_writer.h"

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
        "--frames, --view, --camera, --size, --thumbnail, --format or --max-faces";
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

}  // namespace
