// The frame's size on the headless backend: a window's frame follows the window when it is
// resized (each frame redrawn at the new size, equal to a run started at that size), full
// screen for a named scene takes the desktop's own size without a mode switch, and the
// bundled scene's full-screen run keeps 640x480 whatever the window does.
#include "app/frame_size.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/input.h"
#include "app/shell.h"
#include "display/display.h"
#include "fixture_scene.h"
#include "platform/emulation.h"
#include "platform/headless/headless.h"

namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

struct Shown {
    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels;
    bool operator==(const Shown&) const = default;
};

void KeepFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    static_cast<std::vector<Shown>*>(user)->push_back(
        {width, height,
         std::vector<uint32_t>(pixels,
                               pixels + static_cast<size_t>(width) * static_cast<size_t>(height))});
}

class FrameSizeTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseHeadlessBackend();
        ResetDisplayContext();
        ResetViewer(viewerState);
        frames.clear();
        HeadlessSetFrameCallback(KeepFrame, &frames);
        const char* base = std::getenv("TRELLIS_TEST_TMP");
        const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
        const fs::path dir =
            fs::path(base ? base : fs::temp_directory_path().string()) / "frame_size" / test;
        fs::create_directories(dir);
        fixture = (dir / "fixture.3ds").string();
        ASSERT_TRUE(WriteBytesToFile(FixtureSceneBytes(), fixture.c_str()));
    }

    void TearDown() override {
        ResetViewer(viewerState);
        ResetDisplayContext();
        ResetHeadlessBackend();
        SetPlatformBackend(nullptr);
    }

    // Runs WinMain on the fixture in `mode`, the frame first width x height, in `view`, with
    // the script already queued.
    int Run(ScreenMode mode, int32_t width, int32_t height, ViewMode view = ViewMode::Fit) {
        viewerState.list.paths = {fixture};
        viewerState.startPolicy = OpenPolicy{view, nullptr, true};
        viewerState.listPolicy = OpenPolicy{view, nullptr, false};
        viewerState.screen = mode;
        viewerState.frameWidth = width;
        viewerState.frameHeight = height;
        char commandLine[] = "";
        return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    }

    // Frames of a run started at width x height and ticked `ticks` times.
    std::vector<Shown> FramesAt(int32_t width, int32_t height, int ticks,
                                ViewMode view = ViewMode::Fit) {
        TearDown();
        SetUp();
        HeadlessScriptTicks(ticks);
        EXPECT_EQ(Run(ScreenMode::Window, width, height, view), 0);
        return frames;
    }

    std::string fixture;
    std::vector<Shown> frames;
};

TEST_F(FrameSizeTest, AResizedWindowIsDrawnAtItsNewSizeAsIfStartedThere) {
    for (ViewMode view : {ViewMode::Fit, ViewMode::Fixed}) {
        SCOPED_TRACE(view == ViewMode::Fit ? "fit" : "fixed");
        const std::vector<Shown> small = FramesAt(400, 300, 5, view);
        const std::vector<Shown> wide = FramesAt(900, 300, 5, view);
        TearDown();
        SetUp();
        HeadlessScriptTicks(2);
        HeadlessScriptResize(400, 300);
        HeadlessScriptTicks(1);
        // Resized twice between two ticks: the last size is drawn.
        HeadlessScriptResize(500, 500);
        HeadlessScriptResize(900, 300);
        HeadlessScriptTicks(2);
        ASSERT_EQ(Run(ScreenMode::Window, 640, 480, view), 0);
        ASSERT_EQ(frames.size(), 5u);
        EXPECT_EQ(frames[0].width, 640);
        EXPECT_EQ(frames[1].width, 640);
        EXPECT_EQ(frames[2], small[2]);
        EXPECT_EQ(frames[3], wide[3]);
        EXPECT_EQ(frames[4], wide[4]);
        EXPECT_EQ(viewerState.frameWidth, 900);
        EXPECT_EQ(displayContext.displayWidth, 900);
        EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);  // all released at the end
    }
}

TEST_F(FrameSizeTest, AResizeMakesTheSurfacesAnewAndNothingElse) {
    HeadlessScriptTicks(1);
    HeadlessScriptResize(320, 200);
    HeadlessScriptTicks(1);
    HeadlessEnableLog(true);
    ASSERT_EQ(Run(ScreenMode::Window, 640, 480), 0);
    // From the resize's message to the next lock: the old surfaces go, new ones come at the
    // window's size; the DirectDraw object and the screen's mode stay.
    const Log& log = HeadlessCallLog();
    auto from = std::find(log.begin(), log.end(), "GetMessageA(null, 0, 0) -> 1: WM_SIZE");
    ASSERT_NE(from, log.end());
    const std::string size = std::to_string(sizeof(DDSURFACEDESC));
    const std::string work = "CreateSurface({size=" + size +
                             " flags=0x7 width=320 height=200 backbuffers=1 caps=0x100840}, "
                             "out, null) -> DD_OK: work";
    EXPECT_EQ(Log(from, from + 14),
              (Log{"GetMessageA(null, 0, 0) -> 1: WM_SIZE", "TranslateMessage(WM_SIZE)",
                   "DispatchMessageA(WM_SIZE)", "GetMessageA(null, 0, 0) -> 1: WM_TIMER",
                   "TranslateMessage(WM_TIMER)", "DispatchMessageA(WM_TIMER)", "Release(primary)",
                   "Release(work1)", "Release(work2)",
                   "CreateSurface({size=" + size +
                       " flags=0x21 width=0 height=0 backbuffers=1 caps=0x100218}, out, null) "
                       "-> DD_OK: primary",
                   "GetAttachedSurface(primary, 0x100004, out) -> DD_OK: backbuffer", work + "3",
                   work + "4", "Lock(work4, null, {size=" + size + "}, 0x0, null) -> DD_OK"}));
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(),
                      [](const std::string& line) { return line.rfind("SetDisplayMode", 0) == 0; }),
        0);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].width, 320);
    EXPECT_EQ(frames[1].height, 200);
}

TEST_F(FrameSizeTest, AViewMovedByInputKeepsItsPoseAndAMinimisedWindowChangesNothing) {
    HeadlessScriptKey(VK_SPACE);
    HeadlessScriptTicks(1);
    HeadlessScriptChar('+');
    HeadlessScriptTicks(1);
    HeadlessScriptMessage(WM_SIZE, SIZE_MINIMIZED, 0);
    HeadlessScriptTicks(1);
    HeadlessScriptResize(300, 300);
    HeadlessScriptTicks(1);
    ASSERT_EQ(Run(ScreenMode::Window, 640, 480), 0);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2], frames[1]);  // minimised: nothing changed
    EXPECT_EQ(frames[3].width, 300);
    // Zoomed by hand: the distance stays what input made it, only the frame changed.
    EXPECT_LT(viewerState.view.pose.distance, viewerState.view.home.distance);
    EXPECT_EQ(viewerState.view.frameWidth, 300);
}

TEST_F(FrameSizeTest, FullScreenForANamedSceneTakesTheDesktopsSizeWithoutAModeSwitch) {
    HeadlessSetScreenSize(1024, 600);
    HeadlessScriptTicks(3);
    HeadlessEnableLog(true);
    ASSERT_EQ(Run(ScreenMode::Desktop, 640, 480), 0);
    const Log& log = HeadlessCallLog();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "CreateWindowExA(0x0, \"Trellis_Engine\", \"Trellis Engine 1.0\", "
                        "0x80000000, 0, 0, 1024, 600, null, null, instance, null) -> window"),
              log.end());
    for (const std::string& line : log)
        EXPECT_EQ(line.rfind("SetDisplayMode", 0), std::string::npos);
    const std::vector<Shown> desktop = frames;
    ASSERT_EQ(desktop.size(), 3u);
    const std::vector<Shown> started = FramesAt(1024, 600, 3);
    EXPECT_EQ(desktop, started);
}

TEST_F(FrameSizeTest, TheBundledScenesRunKeepsItsModeWhateverTheWindowDoes) {
    HeadlessScriptTicks(2);
    HeadlessScriptResize(300, 200);
    HeadlessScriptTicks(2);
    ASSERT_EQ(Run(ScreenMode::Switch, 640, 480, ViewMode::Fixed), 0);
    const std::vector<Shown> resized = frames;
    const std::vector<Shown> plain = FramesAt(640, 480, 4, ViewMode::Fixed);
    EXPECT_EQ(resized, plain);
    EXPECT_EQ(viewerState.frameWidth, 640);
}

TEST_F(FrameSizeTest, AWindowResizedBeforeItsFirstFrameStartsAtThatSize) {
    // As a window manager or a page's layout may do: the backend reports another size as
    // the first tick is handed out; that tick draws at it.
    HeadlessScriptTicks(1);
    HeadlessSetMessageHook(
        [](UINT, int32_t, void*) {
            if (viewerState.frameWidth == 640) Resized(500, 400);
        },
        nullptr);
    ASSERT_EQ(Run(ScreenMode::Window, 640, 480), 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].width, 500);
    EXPECT_EQ(frames[0].height, 400);
}

}  // namespace
