// Playing the scene's keyframes in the viewer: the frames drawn, still frames, pause and
// step, the loop's length, and the command line that asks for them.
#include "app/playback.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// Runs the viewer headless on `path` for `ticks` ticks (and the keys `script` queues after
// them) with playback asked for as given, and returns the frames presented.
std::vector<Frame> Play(const std::string& path, bool animate, const double* still, int ticks,
                        void (*script)() = nullptr) {
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    std::vector<Frame> frames;
    HeadlessSetFrameCallback(KeepFrame, &frames);
    HeadlessScriptTicks(ticks);
    if (script != nullptr) script();
    HeadlessScriptKey(VK_ESCAPE);
    RequestPlayback(viewerState.playback, animate, still);
    viewerState.list.paths = {path};
    char commandLine[] = "";
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT), 0);
    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    return frames;
}

// The ticks of one loop of the scene at `path`'s animation.
int32_t LoopTicks(const std::string& path) {
    Scene* scene = LoadScene(path.c_str());
    EXPECT_NE(scene, nullptr);
    if (scene == nullptr) return 0;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    const int32_t ticks = PlaybackLoopTicks(animation);
    FreeScene(scene);
    return ticks;
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
    EXPECT_EQ(LoopTicks(path), 50);  // 30 frames: one second
}

TEST(Playback, StepsMoveByWholeFramesLoopingAndAStillFrameStays) {
    const std::string path = WriteScene(MovingTriangle());
    Scene* scene = LoadScene(path.c_str());
    ASSERT_NE(scene, nullptr);
    PlaybackState playback;
    RequestPlayback(playback, true, nullptr);
    StartPlayback(playback, *scene);
    ASSERT_TRUE(playback.active);
    for (int i = 0; i < 3; ++i)
        AdvancePlayback(playback);
    EXPECT_NEAR(PlaybackFrame(playback), 1.8, 1e-9);
    StepPlayback(playback, 1);
    EXPECT_NEAR(PlaybackFrame(playback), 2.0, 1e-9);
    StepPlayback(playback, -3);
    EXPECT_NEAR(PlaybackFrame(playback), 29.0, 1e-9);
    // Shown still, time neither runs nor steps.
    const double at = 7.0;
    PlaybackState still;
    RequestPlayback(still, false, &at);
    StartPlayback(still, *scene);
    AdvancePlayback(still);
    StepPlayback(still, 1);
    EXPECT_EQ(PlaybackFrame(still), 7.0);
    FreeScene(scene);
}

// Space stops the animation where it stands; Left and Right then step it by whole frames,
// each frame drawn exactly as that frame shown still.
TEST(Playback, SpaceHoldsTheAnimationAndArrowsStepIt) {
    const std::string path = WriteScene(MovingTriangle());
    const std::vector<Frame> f = Play(path, true, nullptr, 3, [] {
        HeadlessScriptKey(VK_SPACE);
        HeadlessScriptTicks(2);
        HeadlessScriptKey(VK_RIGHT);
        HeadlessScriptTicks(1);
        HeadlessScriptKey(VK_LEFT);
        HeadlessScriptKey(VK_LEFT);
        HeadlessScriptTicks(1);
    });
    ASSERT_EQ(f.size(), 7u);
    // Ticks 1 to 3 show frames 0, 0.6 and 1.2; time has then reached 1.8 and stays there.
    const double stopped = 1.8;
    EXPECT_EQ(f[3], Play(path, false, &stopped, 1).at(0));
    EXPECT_EQ(f[4], f[3]);
    const double stepped = 2.0;  // the next whole frame
    EXPECT_EQ(f[5], Play(path, false, &stepped, 1).at(0));
    EXPECT_EQ(f[6], f[0]);  // two frames back: frame 0
}

// Space stops the turn and the animation alike, with one flag: a scene opened while stopped
// shows its first frame and stays there, and the arrows step it.
TEST(Playback, AScenePagedToWhileStoppedStaysStopped) {
    const std::string path = WriteScene(MovingTriangle());
    const std::string second = path + ".second.3ds";
    ASSERT_TRUE(WriteBytesToFile(MovingTriangle(), second.c_str()));
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    std::vector<Frame> f;
    HeadlessSetFrameCallback(KeepFrame, &f);
    HeadlessScriptTicks(3);
    HeadlessScriptKey(VK_SPACE);
    HeadlessScriptKey(VK_NEXT);
    HeadlessScriptTicks(2);
    HeadlessScriptKey(VK_RIGHT);
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_ESCAPE);
    RequestPlayback(viewerState.playback, true, nullptr);
    viewerState.list.paths = {path, second};
    // The fixed view, as Play draws: the same frame time gives the same picture.
    viewerState.startPolicy = OpenPolicy{ViewMode::Fixed, nullptr, false};
    viewerState.listPolicy = OpenPolicy{ViewMode::Fixed, nullptr, false};
    char commandLine[] = "";
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT), 0);
    EXPECT_TRUE(viewerState.paused);
    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    std::remove(second.c_str());
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[3], f[0]);   // the second file's first frame: the same scene at frame 0
    EXPECT_EQ(f[4], f[3]);   // and it stays
    const double one = 1.0;  // one step on
    EXPECT_EQ(f[5], Play(path, false, &one, 1).at(0));
}

TEST(Playback, CommandLineAsksForPlayingOrAStillFrame) {
    struct Case {
        std::vector<std::string> arguments;
        ParseResult result;
        bool animate;
        bool hasFrameTime;
        double frameTime;
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
        EXPECT_EQ(line.hasFrameTime, c.hasFrameTime);
        EXPECT_EQ(line.frameTime, c.frameTime);
    }
}

// A box looked at by an animated camera whose target track is 1e17 away (as one exporter
// writes it): played through that camera, the view looks at the camera chunk's own target,
// the box, as the still camera view does.
std::vector<uint8_t> CameraWithAbsurdTargetTrack() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Box", [&] {
                WriteVertexList(w, {-10, -10, -10, 10, 10, 10, 10, -10, 10});
                WriteFaceList(w, {0, 1, 2, 0, 2, 1});
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Cam");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, -80, 0, 0, 0, 0, 0, 35}); });
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(0).U32(30); });
            w.Chunk(chunk::CameraNode, [&] {
                w.Chunk(chunk::NodeHeader, [&] { w.Name("Cam").U16(0).U16(0).U16(0xFFFF); });
                w.Chunk(chunk::PositionTrack, [&] {
                    w.TrackHeader(2).KeyHeader(0).Floats({0, -80, 0});
                    w.KeyHeader(30).Floats({0, -60, 0});
                });
            });
            w.Chunk(chunk::TargetNode, [&] {
                w.Chunk(chunk::NodeHeader, [&] { w.Name("Cam").U16(0).U16(0).U16(0xFFFF); });
                w.Chunk(chunk::PositionTrack, [&] {
                    w.TrackHeader(1).KeyHeader(0).Floats({0, 0, 1e17f});
                });
            });
        });
    });
    return w.bytes;
}

TEST(Playback, AnAbsurdTargetTrackIsNotFollowed) {
    const std::string path = WriteScene(CameraWithAbsurdTargetTrack());
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    std::vector<Frame> frames;
    HeadlessSetFrameCallback(KeepFrame, &frames);
    HeadlessScriptTicks(5);
    RequestPlayback(viewerState.playback, true, nullptr);
    viewerState.list.paths = {path};
    viewerState.startPolicy = OpenPolicy{ViewMode::Camera, nullptr, true};
    char commandLine[] = "";
    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT), 0);
    const ViewPose pose = viewerState.view.pose;
    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    // Level, looking along the file's +y at the box, not up the target track.
    EXPECT_NEAR(pose.tilt, 0.0, 1e-9);
    ASSERT_EQ(frames.size(), 5u);
    size_t lit = 0;
    for (uint32_t pixel : frames.back())
        lit += pixel != 0 ? 1 : 0;
    EXPECT_GT(lit, 100u);
}

}  // namespace
