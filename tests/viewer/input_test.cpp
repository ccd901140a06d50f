// Input on the headless backend: scripted mouse, wheel, key, character and drop messages
// drive the view, the turn, the file list, the help and the saving of frames, checked on
// the frames presented and on the view state.
#include "app/input.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/overlay.h"
#include "app/scene_input.h"
#include "app/shell.h"
#include "display/display.h"
#include "fixture_scene.h"
#include "platform/headless/headless.h"
#include "render/line_stepper.h"
#include "scene/loader.h"

#include "image_files.h"

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<uint32_t>;

// A directory of the running test's own (tests run in parallel processes).
fs::path TestDir() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "input" / test;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(WriteBytesToFile(bytes, path.c_str()));
    return path.string();
}

std::vector<uint8_t> BrokenSceneBytes() {
    // A face that names a vertex the mesh does not have: the load fails with a reason.
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Bad\x1b[2J", [&] {
                WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                WriteFaceList(w, {0, 1, 7});
            });
        });
    });
    return w.bytes;
}

std::vector<uint8_t> EmptySceneBytes() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] { w.Empty(chunk::Editor); });
    return w.bytes;
}

struct Presented {
    std::vector<Frame> frames;
};

void KeepFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    static_cast<Presented*>(user)->frames.emplace_back(
        pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
}

// The view state as each scripted message arrives (before it is handled), and the window
// title then.
struct Probe {
    std::vector<UINT> messages;
    std::vector<ViewPose> poses;
    std::vector<ViewMode> modes;
};

void RecordView(UINT message, int32_t /*ticks*/, void* user) {
    auto* probe = static_cast<Probe*>(user);
    probe->messages.push_back(message);
    probe->poses.push_back(viewerState.view.pose);
    probe->modes.push_back(viewerState.view.mode);
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseHeadlessBackend();
        ResetDisplayContext();
        ResetViewer(viewerState);
        presented = Presented{};
        probe = Probe{};
        HeadlessSetFrameCallback(KeepFrame, &presented);
        HeadlessSetMessageHook(RecordView, &probe);
        dir = TestDir();
        fixture = WriteFile(dir / "fixture.3ds", FixtureSceneBytes());
    }

    void TearDown() override {
        ResetViewer(viewerState);
        ResetDisplayContext();
        ResetHeadlessBackend();
        SetPlatformBackend(nullptr);
    }

    // Runs WinMain over `files` in `view` with the script already queued.
    int Run(const std::vector<std::string>& files, ViewMode view = ViewMode::Fit) {
        // A list of one requires its scene, as the program does.
        viewerState.list.paths = files;
        viewerState.startPolicy = OpenPolicy{view, nullptr, files.size() <= 1};
        viewerState.listPolicy = OpenPolicy{view, nullptr, false};
        char commandLine[] = "";
        return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    }

    // The pose when the `n`-th message (0 first) of the script arrived; the last entry is
    // the WM_CLOSE that ends the script.
    const ViewPose& PoseAt(size_t n) const { return probe.poses.at(n); }
    const ViewPose& FinalPose() const { return probe.poses.back(); }

    fs::path dir;
    std::string fixture;
    Presented presented;
    Probe probe;
};

constexpr double kDegree = 0.017453292519943295;

void ScriptDrag(UINT down, UINT up, WPARAM button, WPARAM keys, int x0, int y0, int x1, int y1) {
    HeadlessScriptMouse(down, x0, y0, button | keys);
    // In two moves, as the pointer reports them.
    HeadlessScriptMouse(WM_MOUSEMOVE, (x0 + x1) / 2, (y0 + y1) / 2, button | keys);
    HeadlessScriptMouse(WM_MOUSEMOVE, x1, y1, button | keys);
    HeadlessScriptMouse(up, x1, y1, keys);
}

TEST_F(InputTest, LeftDragTurnsAndTiltsByHalfADegreePerPixel) {
    for (ViewMode view : {ViewMode::Fixed, ViewMode::Fit}) {
        SCOPED_TRACE(view == ViewMode::Fixed ? "fixed" : "fit");
        TearDown();
        SetUp();
        HeadlessScriptKey(VK_SPACE);
        HeadlessScriptTicks(2);
        ScriptDrag(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, 0, 200, 200, 260, 180);
        HeadlessScriptTicks(1);
        ASSERT_EQ(Run({fixture}, view), 0);
        // A fixed view becomes the same view as an orbit, then turns.
        const ViewPose& before = PoseAt(3);
        EXPECT_EQ(probe.messages.at(3), WM_LBUTTONDOWN);
        const double startYaw = view == ViewMode::Fixed ? 0.0 : before.yaw;
        const double startTilt = view == ViewMode::Fixed ? 30 * kDegree : before.tilt;
        // The fit view shows the scene the right way round, the fixed view mirrored: the same
        // turn on the screen is the opposite yaw.
        const double onScreen = view == ViewMode::Fixed ? 1.0 : -1.0;
        EXPECT_NEAR(FinalPose().yaw, startYaw + onScreen * 60 * kTurnPerPixel, 1e-12);
        EXPECT_NEAR(FinalPose().tilt, startTilt - 20 * kTurnPerPixel, 1e-12);
        EXPECT_NEAR(kTurnPerPixel, 0.5 * kDegree, 1e-15);
        EXPECT_EQ(probe.modes.back(), ViewMode::Fit);
        // Stopped, the frames stand still until the drag moves the view.
        ASSERT_EQ(presented.frames.size(), 3u);
        EXPECT_EQ(presented.frames[0], presented.frames[1]);
        EXPECT_NE(presented.frames[1], presented.frames[2]);
    }
}

TEST_F(InputTest, TiltStopsAtEightyNineDegreesAndOtherDragsPan) {
    HeadlessScriptKey(VK_SPACE);
    ScriptDrag(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, 0, 10, 10, 10, 470);
    const size_t afterTilt = 4 + 1;
    ScriptDrag(WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, 0, 300, 300, 320, 290);
    ScriptDrag(WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON, 0, 300, 300, 320, 290);
    ScriptDrag(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, MK_SHIFT, 300, 300, 320, 290);
    // Buttons let go outside the window: the next move without the button ends the drag.
    HeadlessScriptMouse(WM_LBUTTONDOWN, 100, 100, MK_LBUTTON);
    HeadlessScriptMouse(WM_MOUSEMOVE, 100, 50, 0);
    HeadlessScriptMouse(WM_MOUSEMOVE, 100, 10, MK_LBUTTON);
    HeadlessScriptTicks(1);
    ASSERT_EQ(Run({fixture}), 0);
    EXPECT_NEAR(PoseAt(afterTilt).tilt, 89 * kDegree, 1e-12);
    EXPECT_EQ(PoseAt(afterTilt + 12).yaw, PoseAt(afterTilt).yaw);
    EXPECT_EQ(FinalPose().tilt, PoseAt(afterTilt).tilt);
    // The three pans moved the picture alike; turning stayed as it was.
    const double panX = PoseAt(afterTilt + 4).panX - PoseAt(afterTilt).panX;
    const double panY = PoseAt(afterTilt + 4).panY - PoseAt(afterTilt).panY;
    EXPECT_GT(std::fabs(panX), 0.0);
    EXPECT_GT(std::fabs(panY), 0.0);
    EXPECT_NEAR(FinalPose().panX - PoseAt(afterTilt).panX, 3 * panX, 1e-9);
    EXPECT_NEAR(FinalPose().panY - PoseAt(afterTilt).panY, 3 * panY, 1e-9);
}

TEST_F(InputTest, WheelKeysAndCharactersChangeTheView) {
    struct Case {
        const char* name;
        void (*script)();
        double distanceFactor;  // of the final distance to the starting one
        double yaw;             // added
        double tilt;            // added
    };
    const Case cases[] = {
        {"wheel away", [] { HeadlessScriptWheel(WHEEL_DELTA, 0); }, kZoomStep, 0, 0},
        {"wheel toward, two notches", [] { HeadlessScriptWheel(-2 * WHEEL_DELTA, 0); },
         1 / (kZoomStep * kZoomStep), 0, 0},
        {"+", [] { HeadlessScriptChar('+'); }, kZoomStep, 0, 0},
        {"-", [] { HeadlessScriptChar('-'); }, 1 / kZoomStep, 0, 0},
        {"right arrow", [] { HeadlessScriptKey(VK_RIGHT); }, 1, kArrowTurn, 0},
        {"left arrow held",
         [] {
             HeadlessScriptKey(VK_LEFT);
             HeadlessScriptMessage(WM_KEYDOWN, VK_LEFT, 1 | 1 << 30);
         },
         1, -2 * kArrowTurn, 0},
        {"up arrow", [] { HeadlessScriptKey(VK_UP); }, 1, 0, -kArrowTurn},
        {"zoom then F fits again",
         [] {
             HeadlessScriptChar('+');
             HeadlessScriptKey('F');
         },
         1, 0, 0},
        {"C without cameras", [] { HeadlessScriptKey('C'); }, 1, 0, 0},
        {"other keys and characters",
         [] {
             HeadlessScriptKey('Q');
             HeadlessScriptChar('x');
         },
         1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        HeadlessScriptKey(VK_SPACE);
        HeadlessScriptTicks(1);
        c.script();
        ASSERT_EQ(Run({fixture}), 0);
        const ViewPose& start = PoseAt(1);
        EXPECT_NEAR(FinalPose().distance / start.distance, c.distanceFactor, 1e-12);
        // A named scene opens in the fit view, the right way round: the yaw that turns the
        // picture as the key says is the opposite of the mirrored fixed view's.
        EXPECT_NEAR(FinalPose().yaw - start.yaw, -c.yaw, 1e-12);
        EXPECT_NEAR(FinalPose().tilt - start.tilt, c.tilt, 1e-12);
    }
}

// The fixture with two cameras looking at it.
std::vector<uint8_t> SceneWithCamerasBytes() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Cube", [&] {
                WriteVertexList(w, {-20, -20, -20, 20, -20, -20, 20, 20, -20, -20, 20, -20,
                                    -20, -20, 20,  20, -20, 20,  20, 20, 20,  -20, 20, 20});
                WriteFaceList(w, {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                                  3, 7, 6, 3, 6, 2, 0, 4, 7, 0, 7, 3, 1, 2, 6, 1, 6, 5});
            });
            for (const char* name : {"Front", "Side"}) {
                w.Chunk(chunk::NamedObject, [&] {
                    w.Name(name);
                    const float x = name[0] == 'F' ? 0.0f : 200.0f;
                    const float y = name[0] == 'F' ? -200.0f : 0.0f;
                    w.Chunk(chunk::Camera, [&] { w.Floats({x, y, 50, 0, 0, 0, 0, 35}); });
                });
            }
        });
    });
    return w.bytes;
}

TEST_F(InputTest, CGoesThroughTheFilesCamerasAndBackToTheOrbit) {
    const std::string cameras = WriteFile(dir / "cameras.3ds", SceneWithCamerasBytes());
    for (int i = 0; i < 4; ++i) {
        HeadlessScriptKey('C');
        HeadlessScriptTicks(1);
    }
    ASSERT_EQ(Run({cameras}), 0);
    // The mode and the camera as each key arrives, then at the end.
    std::vector<ViewMode> modes;
    for (size_t i = 0; i < probe.messages.size(); ++i) {
        if (probe.messages[i] != WM_TIMER) modes.push_back(probe.modes[i]);
    }
    EXPECT_EQ(modes, (std::vector<ViewMode>{ViewMode::Fit, ViewMode::Camera, ViewMode::Camera,
                                            ViewMode::Fit, ViewMode::Camera}));
    const std::vector<Frame>& f = presented.frames;
    ASSERT_EQ(f.size(), 4u);
    EXPECT_NE(f[0], f[1]);  // one camera, then the other
    EXPECT_NE(f[1], f[2]);
    EXPECT_EQ(f[3], f[0]);  // round again: the first camera
}

TEST_F(InputTest, SpaceStopsTheTurnAndStartsItAgainWhereItStood) {
    for (ViewMode view : {ViewMode::Fixed, ViewMode::Fit}) {
        SCOPED_TRACE(view == ViewMode::Fixed ? "fixed" : "fit");
        TearDown();
        SetUp();
        HeadlessScriptTicks(5);
        ASSERT_EQ(Run({fixture}, view), 0);
        const std::vector<Frame> turning = presented.frames;

        TearDown();
        SetUp();
        HeadlessScriptTicks(2);
        HeadlessScriptKey(VK_SPACE);
        HeadlessScriptTicks(3);
        HeadlessScriptKey(VK_SPACE);
        HeadlessScriptTicks(3);
        ASSERT_EQ(Run({fixture}, view), 0);
        const std::vector<Frame>& f = presented.frames;
        ASSERT_EQ(f.size(), 8u);
        EXPECT_EQ(f[0], turning[0]);
        EXPECT_EQ(f[1], turning[1]);
        for (size_t i = 2; i < 5; ++i)
            EXPECT_EQ(f[i], turning[1]) << "stopped tick " << i;
        for (size_t i = 5; i < 8; ++i)
            EXPECT_EQ(f[i], turning[i - 3]) << "tick " << i;
    }
}

TEST_F(InputTest, RGivesBackTheStartingFrameExactly) {
    for (ViewMode view : {ViewMode::Fixed, ViewMode::Fit}) {
        for (bool stopped : {false, true}) {
            SCOPED_TRACE(std::string(view == ViewMode::Fixed ? "fixed" : "fit") +
                         (stopped ? ", stopped" : ""));
            TearDown();
            SetUp();
            HeadlessScriptTicks(3);
            ScriptDrag(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, 0, 100, 100, 170, 130);
            HeadlessScriptWheel(3 * WHEEL_DELTA, 0);
            ScriptDrag(WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, 0, 100, 100, 150, 120);
            HeadlessScriptTicks(2);
            if (stopped) HeadlessScriptKey(VK_SPACE);
            HeadlessScriptKey('R');
            HeadlessScriptTicks(3);
            ASSERT_EQ(Run({fixture}, view), 0);
            const std::vector<Frame>& f = presented.frames;
            ASSERT_EQ(f.size(), 8u);
            EXPECT_NE(f[4], f[0]);
            EXPECT_EQ(f[5], f[0]);
            EXPECT_EQ(f[6], stopped ? f[0] : f[1]);
            EXPECT_EQ(f[7], stopped ? f[0] : f[2]);
        }
    }
}

// Where a frame has pixels set: counts above and below row `row`.
void CountLit(const Frame& frame, int32_t row, int32_t& above, int32_t& below) {
    above = below = 0;
    for (size_t i = 0; i < frame.size(); ++i) {
        if (frame[i] == 0) continue;
        (static_cast<int32_t>(i / 640) < row ? above : below)++;
    }
}

TEST_F(InputTest, StepsThroughFilesPastBrokenAndMissingOnes) {
    const std::string broken = WriteFile(dir / "broken.3ds", BrokenSceneBytes());
    const std::string missing = (dir / "missing.3ds").string();
    const std::string empty = WriteFile(dir / "empty.3ds", EmptySceneBytes());
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_NEXT);
    HeadlessScriptTicks(1);
    HeadlessScriptKey('N');
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_NEXT);
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_NEXT);  // round to the first
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_PRIOR);
    HeadlessScriptKey('P');
    HeadlessScriptTicks(1);
    testing::internal::CaptureStderr();
    const int status = Run({fixture, broken, missing, empty});
    const std::string stderrText = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0);
    const std::vector<Frame>& f = presented.frames;
    ASSERT_EQ(f.size(), 6u);
    int32_t above = 0;
    int32_t below = 0;
    // The broken and the missing file: black but for their one line at the bottom.
    for (size_t i : {1u, 2u, 5u}) {
        CountLit(f[i], 480 - 24, above, below);
        EXPECT_EQ(above, 0) << "frame " << i;
        EXPECT_GT(below, 0) << "frame " << i;
        for (uint32_t pixel : f[i])
            EXPECT_TRUE(pixel == 0 || pixel == kLineColour);
    }
    EXPECT_NE(f[1], f[2]);  // each says its own reason
    // The empty scene: nothing at all; round to the first file: its first frame again.
    EXPECT_EQ(f[3], Frame(640 * 480, 0));
    EXPECT_EQ(f[4], f[0]);
    EXPECT_EQ(viewerState.list.current, 2);
    EXPECT_EQ(viewerState.list.paths.size(), 4u);
    // On stderr, one line each time a file fails, with its name and reason, escaped.
    EXPECT_NE(stderrText.find("trellis: " + broken + ": "), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("trellis: " + missing + ": "), std::string::npos) << stderrText;
    EXPECT_EQ(stderrText.find('\x1b'), std::string::npos) << stderrText;
    EXPECT_EQ(HeadlessWindowTitle(), "missing.3ds - Trellis Engine 1.0");
}

// W goes round wireframe, shaded, edges and hidden line; the files opened after keep the mode.
TEST_F(InputTest, WGoesRoundTheRenderModesAndTheNextFileKeepsIt) {
    const std::string second = WriteFile(dir / "second.3ds", FixtureSceneBytes());
    HeadlessScriptKey(VK_SPACE);  // stopped: every frame shows the first pose
    HeadlessScriptTicks(1);
    for (int i = 0; i < 4; ++i) {
        HeadlessScriptKey('W');
        HeadlessScriptTicks(1);
    }
    HeadlessScriptKey('W');
    HeadlessScriptKey(VK_NEXT);
    HeadlessScriptTicks(1);
    EXPECT_EQ(Run({fixture, second}), 0);
    const std::vector<Frame>& f = presented.frames;
    ASSERT_EQ(f.size(), 6u);
    // Wireframe: the line colour on black; shaded: the grey background and more colours.
    for (uint32_t pixel : f[0])
        ASSERT_TRUE(pixel == 0 || pixel == kLineColour);
    EXPECT_EQ(f[1][0], kShadedBackground);
    EXPECT_GT(std::count_if(f[1].begin(), f[1].end(),
                            [](uint32_t p) { return p != kShadedBackground && p != kLineColour; }),
              1000);
    EXPECT_NE(f[2], f[1]);  // edges: the lines over the shading
    EXPECT_GT(std::count(f[2].begin(), f[2].end(), kLineColour), 100);
    for (uint32_t pixel : f[3])  // hidden line: lines on black again ...
        ASSERT_TRUE(pixel == 0 || pixel == kLineColour);
    EXPECT_NE(f[3], f[0]);  // ... without the hidden ones
    EXPECT_EQ(f[4], f[0]);  // and round to the wireframe
    EXPECT_EQ(f[5], f[1]);  // the next file shaded, as chosen
    EXPECT_EQ(viewerState.render, RenderMode::Shaded);
}

TEST_F(InputTest, AListWhoseFirstFileFailsKeepsRunning) {
    const std::string broken = WriteFile(dir / "broken.3ds", BrokenSceneBytes());
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_NEXT);
    HeadlessScriptTicks(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run({broken, fixture}), 0);
    const std::string stderrText = testing::internal::GetCapturedStderr();
    ASSERT_EQ(presented.frames.size(), 2u);
    EXPECT_NE(presented.frames[1], Frame(640 * 480, 0));
    EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 1) << stderrText;
    // Alone, a file that fails ends the run as before.
    TearDown();
    SetUp();
    HeadlessScriptTicks(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run({broken}), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(presented.frames.empty());
}

TEST_F(InputTest, ADroppedFileOrFolderIsAddedAndOpened) {
    const fs::path folder = dir / "folder";
    fs::create_directories(folder);
    const std::string b = WriteFile(folder / "b.3DS", FixtureSceneBytes());
    const std::string a = WriteFile(folder / "a.3ds", EmptySceneBytes());
    WriteFile(folder / "notes.txt", {1, 2, 3});
    const std::string empty = WriteFile(dir / "empty.3ds", EmptySceneBytes());
    HeadlessScriptTicks(1);
    HeadlessScriptDrop({empty.c_str()});
    HeadlessScriptTicks(1);
    HeadlessScriptDrop({folder.c_str(), fixture.c_str()});
    HeadlessScriptTicks(1);
    ASSERT_EQ(Run({fixture}), 0);
    EXPECT_EQ(viewerState.list.paths, (std::vector<std::string>{fixture, empty, a, b}));
    EXPECT_EQ(viewerState.list.current, 2);
    EXPECT_EQ(HeadlessWindowTitle(), "a.3ds - Trellis Engine 1.0");
    EXPECT_EQ(HeadlessOpenDropCount(), 0);
    ASSERT_EQ(presented.frames.size(), 3u);
    EXPECT_EQ(presented.frames[1], Frame(640 * 480, 0));
}

TEST_F(InputTest, StartedWithoutAListTheFirstSceneCanBeSteppedBackTo) {
    // As the Windows program starts without arguments: no list, the default scene in the
    // working directory.
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    fs::copy_file(fixture, dir / kDefaultSceneName);
    const std::string empty = WriteFile(dir / "empty.3ds", EmptySceneBytes());
    HeadlessScriptTicks(1);
    HeadlessScriptDrop({empty.c_str()});
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_PRIOR);
    HeadlessScriptTicks(1);
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    fs::current_path(previous);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(viewerState.list.paths, (std::vector<std::string>{kDefaultSceneName, empty}));
    ASSERT_EQ(presented.frames.size(), 3u);
    EXPECT_EQ(presented.frames[1], Frame(640 * 480, 0));
    EXPECT_EQ(presented.frames[2], presented.frames[0]);
}

TEST_F(InputTest, AScenePipedInCanBeSteppedBackTo) {
    // As `trellis -` starts: standard input read into memory, listed under its shown name.
    std::FILE* in = std::fopen(fixture.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::string error;
    ASSERT_TRUE(ReadSceneInput(in, kMaxSceneFileBytes, error)) << error;
    std::fclose(in);
    const std::string empty = WriteFile(dir / "empty.3ds", EmptySceneBytes());
    HeadlessScriptTicks(1);
    HeadlessScriptDrop({empty.c_str()});
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_PRIOR);
    HeadlessScriptTicks(1);
    viewerState.firstStream = sceneInput.stream;
    const int status = Run({kStandardInputName});
    CloseSceneInput();
    ASSERT_EQ(status, 0);
    EXPECT_EQ(viewerState.list.paths, (std::vector<std::string>{kStandardInputName, empty}));
    EXPECT_EQ(HeadlessWindowTitle(), "(stdin) - Trellis Engine 1.0");
    ASSERT_EQ(presented.frames.size(), 3u);
    EXPECT_EQ(presented.frames[1], Frame(640 * 480, 0));
    EXPECT_EQ(presented.frames[2], presented.frames[0]);
    EXPECT_NE(presented.frames[0], Frame(640 * 480, 0));
}

TEST_F(InputTest, F12SavesTheNextFrameUnderTheNextFreeNumber) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    WriteFile(dir / "trellis-0002.png", {1});
    HeadlessScriptTicks(2);
    HeadlessScriptKey(VK_F12);
    HeadlessScriptTicks(1);
    HeadlessScriptKey('H');
    HeadlessScriptKey(VK_F12);
    HeadlessScriptTicks(2);
    testing::internal::CaptureStdout();
    const int status = Run({fixture});
    const std::string stdoutText = testing::internal::GetCapturedStdout();
    fs::current_path(previous);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(presented.frames.size(), 5u);
    EXPECT_EQ(ReadPng(dir / "trellis-0001.png"), presented.frames[2]);
    EXPECT_EQ(ReadPng(dir / "trellis-0003.png"), presented.frames[3]);  // help and all
    EXPECT_FALSE(fs::exists(dir / "trellis-0004.png"));
    EXPECT_EQ(stdoutText, "saved " + (dir / "trellis-0001.png").string() + "\nsaved " +
                              (dir / "trellis-0003.png").string() + "\n");
}

TEST_F(InputTest, HelpIsDrawnOverTheFrameAndLeavesNothingBehind) {
    HeadlessScriptKey(VK_SPACE);
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_F1);
    HeadlessScriptTicks(1);
    HeadlessScriptKey('H');
    HeadlessScriptTicks(1);
    ASSERT_EQ(Run({fixture}), 0);
    const std::vector<Frame>& f = presented.frames;
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[2], f[0]);
    // Text in the line colour over the frame seen darkened, in a box at the top left that
    // leaves most of the frame alone: the scene shows through it.
    int32_t changed = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t seenThrough = 0;
    for (size_t i = 0; i < f[1].size(); ++i) {
        if (f[1][i] == f[0][i]) continue;
        changed++;
        EXPECT_TRUE(f[1][i] == DimmedPixel(f[0][i]) || f[1][i] == kLineColour) << i;
        if (f[1][i] != kLineColour && f[1][i] != 0) seenThrough++;
        right = std::max(right, static_cast<int32_t>(i % 640));
        bottom = std::max(bottom, static_cast<int32_t>(i / 640));
    }
    EXPECT_GT(changed, 1000);
    EXPECT_GT(seenThrough, 0);
    EXPECT_LT(right, 320);
    EXPECT_LT(bottom, 120);
}

TEST(FileList, AFolderGivesItsSceneFilesSortedByName) {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    const fs::path dir =
        fs::path(base ? base : fs::temp_directory_path().string()) / "file_list_folder";
    fs::remove_all(dir);
    fs::create_directories(dir / "sub.3ds");
    for (const char* name : {"b.3ds", "A.3DS", "c.3Ds", "x.3ds.txt", "3ds", ".3ds"}) {
        ASSERT_TRUE(WriteBytesToFile({0}, (dir / name).c_str()));
    }
    FileList list;
    std::string error;
    EXPECT_EQ(AddListedPath(list, "first.3ds", error), 0);
    EXPECT_EQ(AddListedPath(list, dir.c_str(), error), 1);
    EXPECT_EQ(AddListedPath(list, "no/such/file.3ds", error), 4);
    EXPECT_EQ(list.paths, (std::vector<std::string>{"first.3ds", (dir / "A.3DS").string(),
                                                    (dir / "b.3ds").string(),
                                                    (dir / "c.3Ds").string(), "no/such/file.3ds"}));
    // A folder without scenes adds nothing and says so.
    EXPECT_EQ(AddListedPath(list, (dir / "sub.3ds").c_str(), error), -1);
    EXPECT_NE(error.find("holds no .3ds file"), std::string::npos) << error;
    EXPECT_EQ(list.paths.size(), 5u);
    // Steps go round at both ends.
    list.current = 4;
    EXPECT_EQ(SteppedFileIndex(list, 1), 0);
    list.current = 0;
    EXPECT_EQ(SteppedFileIndex(list, -1), 4);
    EXPECT_EQ(SteppedFileIndex(list, -11), 4);
    EXPECT_EQ(SteppedFileIndex(FileList{}, 1), 0);
}

}  // namespace
