// What the viewer says over the frame when a person watches: why a file of a list shows
// nothing (not a 3DS file, no finite position), the sample scene's note, the animation's
// frame and time; what it says on stderr; and the help's counts with their plurals. --output
// (no person watching) draws none of it into its pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/overlay.h"
#include "app/scene_messages.h"
#include "app/shell.h"
#include "display/display.h"
#include "fixture_scene.h"
#include "platform/headless/headless.h"
#include "render/line_stepper.h"

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<uint32_t>;

void KeepFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    static_cast<std::vector<Frame>*>(user)->emplace_back(
        pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
}

class NotesTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseHeadlessBackend();
        ResetDisplayContext();
        ResetViewer(viewerState);
        frames.clear();
        HeadlessSetFrameCallback(KeepFrame, &frames);
        const char* base = std::getenv("TRELLIS_TEST_TMP");
        const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
        dir = fs::path(base ? base : fs::temp_directory_path().string()) / "notes" / test;
        fs::create_directories(dir);
        fixture = Write("fixture.3ds", FixtureSceneBytes());
    }

    void TearDown() override {
        ResetViewer(viewerState);
        ResetDisplayContext();
        ResetHeadlessBackend();
        SetPlatformBackend(nullptr);
    }

    std::string Write(const char* name, const std::vector<uint8_t>& bytes) {
        const fs::path path = dir / name;
        EXPECT_TRUE(WriteBytesToFile(bytes, path.c_str()));
        return path.string();
    }

    // Runs WinMain over `files` (a list: none required), watched or not.
    int Run(const std::vector<std::string>& files, bool onScreen) {
        viewerState.list.paths = files;
        viewerState.startPolicy = OpenPolicy{ViewMode::Fit, nullptr, files.size() <= 1};
        viewerState.listPolicy = OpenPolicy{ViewMode::Fit, nullptr, false};
        viewerState.onScreen = onScreen;
        char commandLine[] = "";
        return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    }

    fs::path dir;
    std::string fixture;
    std::vector<Frame> frames;
};

// Lit pixels above and below `row` of a 640-wide frame.
void CountLit(const Frame& frame, int32_t row, int32_t& above, int32_t& below) {
    above = below = 0;
    for (size_t i = 0; i < frame.size(); ++i) {
        if (frame[i] != 0) (static_cast<int32_t>(i / 640) < row ? above : below)++;
    }
}

TEST_F(NotesTest, AFileThatShowsNothingSaysWhyOnScreenAsABrokenOneDoes) {
    const std::string text = "Notes on the scene";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string note;
    };
    const std::vector<Case> cases = {
        {"notes.txt", std::vector<uint8_t>(text.begin(), text.end()),
         "not a 3DS file (it starts with \"Notes on the sce\")"},
        {"infinite.3ds", InfiniteBoxSceneBytes(),
         "nothing to draw: none of its 4 vertex positions is finite"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool onScreen : {true, false}) {
            TearDown();
            SetUp();
            const std::string path = Write(c.name, c.bytes);
            HeadlessScriptTicks(1);
            HeadlessScriptKey(VK_NEXT);
            HeadlessScriptTicks(1);
            testing::internal::CaptureStderr();
            ASSERT_EQ(Run({fixture, path}, onScreen), 0);
            const std::string said = testing::internal::GetCapturedStderr();
            EXPECT_EQ(said, "trellis: " + path + ": " + c.note + "\n");
            ASSERT_EQ(frames.size(), 2u);
            int32_t above = 0;
            int32_t below = 0;
            CountLit(frames[1], 480 - 24, above, below);
            EXPECT_EQ(above, 0);
            if (onScreen) {
                EXPECT_GT(below, 0);
                EXPECT_EQ(std::string(viewerState.overlay.status), path + ": " + c.note);
            } else {
                EXPECT_EQ(below, 0);  // nothing drawn into a picture no one watches
            }
        }
    }
}

TEST_F(NotesTest, TheSampleSceneSaysHowToOpenAFileUntilAnotherIsOpened) {
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_NEXT);
    HeadlessScriptTicks(1);
    viewerState.showingSample = true;
    const std::string other = Write("other.3ds", FixtureSceneBytes());
    ASSERT_EQ(Run({fixture, other}, true), 0);
    ASSERT_EQ(frames.size(), 2u);
    int32_t above = 0;
    int32_t below = 0;
    CountLit(frames[0], 480 - 24, above, below);
    int32_t otherAbove = 0;
    int32_t otherBelow = 0;
    CountLit(frames[1], 480 - 24, otherAbove, otherBelow);
    EXPECT_GT(below, otherBelow);  // the note at the bottom of the sample's frame only
    EXPECT_EQ(std::string(viewerState.overlay.status), "");
    EXPECT_NE(std::string(kSampleNote).find("drop a .3ds file"), std::string::npos);
}

TEST_F(NotesTest, AnimateOnAStillFileSaysSoAndTheFrameLineTellsTheTime) {
    RequestPlayback(viewerState.playback, true, nullptr);
    HeadlessScriptTicks(2);
    testing::internal::CaptureStderr();
    ASSERT_EQ(Run({fixture}, true), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "trellis: " + fixture + ": the file has no keyframe animation; it stands still\n");
    EXPECT_EQ(std::string(viewerState.overlay.frameLine), "frame 0: the file has no animation");

    // A playing animation: its frame and the time into the loop, and when it is stopped.
    PlaybackState playback;
    playback.active = true;
    playback.animate = true;
    playback.animation.animated = true;
    playback.animation.firstFrame = 0.0;
    playback.animation.lastFrame = 100.0;
    playback.seconds = 1.4;
    OverlayState overlay;
    NotePlaybackFrame(overlay, playback, false);
    EXPECT_EQ(std::string(overlay.frameLine), "frame 42.0 of 0 to 100  1.40 s");
    NotePlaybackFrame(overlay, playback, true);
    EXPECT_EQ(std::string(overlay.frameLine),
              "frame 42.0 of 0 to 100  1.40 s  (stopped: Left, Right step)");
    playback.still = true;
    playback.stillFrame = 7.5;
    NotePlaybackFrame(overlay, playback, false);
    EXPECT_EQ(std::string(overlay.frameLine), "frame 7.5 (still)");
    playback.active = false;
    NotePlaybackFrame(overlay, playback, false);
    EXPECT_EQ(std::string(overlay.frameLine), "");
}

TEST(Overlay, CountsAreWrittenWithTheirPlurals) {
    struct Case {
        int32_t objects, vertices, cameras;
        const char* line;
    };
    const Case cases[] = {
        {1, 1, 1, "1 object, 1 vertex, 1 face, 1 camera"},
        {2, 3, 0, "2 objects, 6 vertices, 2 faces, 0 cameras"},
    };
    for (const Case& c : cases) {
        std::vector<MeshObject> objects(static_cast<size_t>(c.objects));
        for (MeshObject& o : objects) {
            o = MeshObject{};
            o.vertexCount = c.vertices;
            o.faceCount = 1;
        }
        std::vector<Camera> cameras(static_cast<size_t>(c.cameras));
        Scene scene = {};
        scene.objectCount = c.objects;
        scene.objects = objects.data();
        scene.cameraCount = c.cameras;
        scene.cameras = cameras.data();
        OverlayState overlay;
        NoteSceneLines(overlay, 0, 1, "dir/a.3ds", &scene);
        EXPECT_STREQ(overlay.countsLine, c.line);
        EXPECT_STREQ(overlay.fileLine, "file 1 of 1: \"a.3ds\"");
    }
}

}  // namespace
