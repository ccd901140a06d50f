// Playing the scene's keyframes in the viewer: the frames drawn, still frames, pause and
// step, the loop's length, and the command line that asks for them.
#include "app/playback.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/shell.h"
#include "chunk_writer.h"
#include "display/display.h"
#include "platform/headless/headless.h"
#include "scene/loader.h"

namespace {

using Frame = std::vector<uint32_t>;

// A triangle (seen from both sides) whose object node moves from x = -40 at frame 0 to x = 40 at
// frame 30.
std::vector<uint8_t> MovingTriangle() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Tri", [&] {
                WriteVertexList(w, {-40, 0, -20, 0, 0, 20, 40, 0, -20});
                WriteFaceList(w, {0, 1, 2, 0, 2, 1});  // both sides
                w.Chunk(chunk::MeshMatrix, [&] { w.Floats({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}); });
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(30); });
            w.Chunk(chunk::ObjectNode, [&] {
                w.Chunk(chunk::NodeId, [&] { w.U16(0); });
                w.Chunk(chunk::NodeHeader, [&] { w.Name("Tri").U16(0).U16(0).U16(0xFFFF); });
                w.Chunk(chunk::PositionTrack, [&] {
                    w.TrackHeader(2).KeyHeader(0).Floats({-40, 0, 0});
                    w.KeyHeader(30).Floats({40, 0, 0});
                });
            });
        });
    });
    return w.bytes;
}

std::string WriteScene(const std::vector<uint8_t>& bytes) {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    const std::filesystem::path dir =
        std::filesystem::path(base ? base : std::filesystem::temp_directory_path().string()) /
        "playback";
    std::filesystem::create_directories(dir);
    const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string path = (dir / (std::string(test) + ".3ds")).string();
    EXPECT_TRUE(WriteBytesToFile(bytes, path.c_str()));
    return path;
}

void KeepFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    static_cast<std::vector<Frame>*>(user)->emplace_back(
        pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
}

// Runs the viewer headless on `path` for `ticks` ticks with playback asked for as given, and
// returns the frames presented.
std::vector<Frame> Play(const std::string& path, bool animate, const double* still, int ticks) {
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetShellState();
    ResetPlayback();
    std::vector<Frame> frames;
    HeadlessSetFrameCallback(KeepFrame, &frames);
    HeadlessScriptTicks(ticks);
    HeadlessScriptKey(VK_ESCAPE);
    RequestPlayback(animate, still);
    shellState.sceneFileName = path.c_str();
    char commandLine[] = "";
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT), 0);
    ResetShellState();
    shellState.sceneFileName = "svet.3ds";
    ResetPlayback();
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    return frames;
}

// Each tick draws the frame time reached (20 ms a tick at 30 frames a second: tick n shows
// frame 0.6 (n - 1)), exactly as that frame shown still; a still frame stays.
TEST(Playback, TicksShowTheKeyframesAndAStillFrameStays) {
    const std::string path = WriteScene(MovingTriangle());
    const std::vector<Frame> played = Play(path, true, nullptr, 3);
    ASSERT_EQ(played.size(), 3u);
    EXPECT_NE(played[0], played[1]);
    EXPECT_NE(played[1], played[2]);
    const double frame = 0.6;
    const std::vector<Frame> still = Play(path, false, &frame, 2);
    ASSERT_EQ(still.size(), 2u);
    EXPECT_EQ(still[0], still[1]);
    EXPECT_EQ(still[0], played[1]);
    EXPECT_EQ(PlaybackLoopTicks(path.c_str()), 50);  // 30 frames: one second
}

TEST(Playback, PauseHoldsAndStepsMoveByWholeFramesLooping) {
    const std::string path = WriteScene(MovingTriangle());
    Scene* scene = LoadScene(path.c_str());
    ASSERT_NE(scene, nullptr);
    ResetPlayback();
    RequestPlayback(true, nullptr);
    StartPlayback(*scene);
    ASSERT_TRUE(PlaybackActive());
    for (int i = 0; i < 3; ++i)
        AdvancePlayback();
    EXPECT_NEAR(PlaybackFrame(), 1.8, 1e-9);
    SetPlaybackPaused(true);
    EXPECT_TRUE(PlaybackPaused());
    AdvancePlayback();
    EXPECT_NEAR(PlaybackFrame(), 1.8, 1e-9);
    StepPlayback(1);
    EXPECT_NEAR(PlaybackFrame(), 2.0, 1e-9);
    StepPlayback(-3);
    EXPECT_NEAR(PlaybackFrame(), 29.0, 1e-9);
    ResetPlayback();
    FreeScene(scene);
}

TEST(Playback, CommandLineAsksForPlayingOrAStillFrame) {
    struct Case {
        std::vector<std::string> arguments;
        ParseResult result;
        bool animate;
        bool hasFrame;
        double frame;
    };
    const std::vector<Case> cases = {
        {{"--animate", "a.3ds"}, ParseResult::Run, true, false, 0},
        {{"--animate", "-o", "a.gif"}, ParseResult::Run, true, false, 0},
        {{"--frame", "12.5", "a.3ds"}, ParseResult::Run, false, true, 12.5},
        {{"--info", "--frame", "7", "a.3ds"}, ParseResult::Run, false, true, 7},
        {{"--animate", "--info"}, ParseResult::UsageError, false, false, 0},
        {{"--animate", "--frame", "3"}, ParseResult::UsageError, false, false, 0},
        {{"--chunks", "--frame", "3"}, ParseResult::UsageError, false, false, 0},
        {{"--frame", "-1"}, ParseResult::UsageError, false, false, 0},
        {{"--frame", "nan"}, ParseResult::UsageError, false, false, 0},
        {{"--frame", "5000000000"}, ParseResult::UsageError, false, false, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        std::string program = "trellis";
        std::vector<char*> argv = {program.data()};
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        CommandLine line;
        std::string error;
        const ParseResult result =
            ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data(), line, error);
        SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
        EXPECT_EQ(result, c.result) << error;
        if (result != ParseResult::Run) continue;
        EXPECT_EQ(line.animate, c.animate);
        EXPECT_EQ(line.hasFrame, c.hasFrame);
        EXPECT_EQ(line.frame, c.frame);
    }
}

}  // namespace
