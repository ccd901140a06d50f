// The application shell on the headless backend: start-up order, the camera, the frame
// tick, keys, failure of the load and of the display.
#include "app/shell.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "display/display.h"
#include "fixture_scene.h"
#include "platform/headless/headless.h"
#include "render/wireframe.h"
#include "scene/loader.h"

namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
using Frame = std::vector<uint32_t>;

fs::path TempDir() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "shell";
    fs::create_directories(dir);
    return dir;
}

// Tests run in parallel processes: each writes its files under names of its own.
std::string WriteScene(const char* name, const std::vector<uint8_t>& bytes) {
    const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::path path = TempDir() / (std::string(test) + "." + name);
    EXPECT_TRUE(WriteBytesToFile(bytes, path.c_str()));
    return path.string();
}

std::vector<uint8_t> EmptySceneBytes() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] { w.Empty(chunk::Editor); });
    return w.bytes;
}

Matrix4 Turned(int ticks) {
    Matrix4 m;
    MatrixIdentity(m);
    for (int i = 0; i < ticks; ++i)
        MatrixRotateY(m, kSpinStep);
    return m;
}

// What a tick must show after `ticks` turns of every object of the scene at `path`,
// drawn by the renderer directly into one cleared frame.
Frame ExpectedFrame(const std::string& path, int ticks, const Matrix4& camera) {
    Scene* scene = LoadScene(path.c_str());
    EXPECT_NE(scene, nullptr);
    Frame frame(640 * 480, 0);
    if (!scene) return frame;
    SetProjection(640, 480);
    for (int32_t i = 0; i < scene->objectCount; ++i) {
        RenderObject(Turned(ticks), camera, scene->objects[i], frame.data());
    }
    FreeScene(scene);
    return frame;
}

struct Presented {
    std::vector<Frame> frames;  // kept only when `keep` is set
    int32_t count = 0;
    bool keep = true;
};

void KeepFrame(const uint32_t* pixels, int32_t width, int32_t height, void* user) {
    auto* presented = static_cast<Presented*>(user);
    presented->count++;
    if (presented->keep) {
        presented->frames.emplace_back(
            pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
    }
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseHeadlessBackend();
        ResetDisplayContext();
        ResetViewer(viewerState);
        presented = Presented{};
        HeadlessSetFrameCallback(KeepFrame, &presented);
        fixture = WriteScene("fixture.3ds", FixtureSceneBytes());
    }

    void TearDown() override {
        ResetViewer(viewerState);
        ResetDisplayContext();
        ResetHeadlessBackend();
        SetPlatformBackend(nullptr);
    }

    // Runs WinMain on the scene at `path` with the script already queued; logs from
    // WinMain's first call on.
    int Run(const std::string& path) {
        scenePath = path;
        viewerState.list.paths = {scenePath};
        HINSTANCE instance = GetModuleHandleA(nullptr);
        HeadlessEnableLog(true);
        char commandLine[] = "";
        return WinMain(instance, nullptr, commandLine, SW_SHOWDEFAULT);
    }

    // The log lines from the first one equal to `from` (exclusive) to the next `to`.
    static Log Between(const std::string& from, const std::string& to) {
        const Log& log = HeadlessCallLog();
        Log part;
        bool inside = false;
        for (const std::string& line : log) {
            if (inside && line == to) break;
            if (inside) part.push_back(line);
            if (line == from) inside = true;
        }
        return part;
    }

    std::string fixture;
    std::string scenePath;
    Presented presented;
};

TEST_F(ShellTest, StartUpRunsInOrderAndEscapeShowsThePointerBeforeTheClose) {
    HeadlessScriptKey(VK_ESCAPE);
    EXPECT_EQ(Run(fixture), 0);
    const std::string size = std::to_string(sizeof(DDSURFACEDESC));
    const std::string work = "CreateSurface({size=" + size +
                             " flags=0x7 width=640 height=480 backbuffers=1 caps=0x100840}, "
                             "out, null) -> DD_OK: work";
    EXPECT_EQ(HeadlessCallLog(),
              (Log{
                  "LoadIconA(instance, 32512)",
                  "LoadCursorA(null, 32512)",
                  "GetStockObject(0)",
                  "LoadIconA(null, 32512)",
                  "RegisterClassExA(\"Trellis_Engine\") -> 1",
                  "CreateWindowExA(0x0, \"Trellis_Engine\", \"Trellis Engine 1.0\", 0x80000000, "
                  "CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, null, null, instance, null) -> window",
                  "ShowWindow(window, 10)",
                  "UpdateWindow(window)",
                  "ShowCursor(0) -> -1",
                  // After the load: the file's name in the title; dropped files are taken.
                  "SetWindowTextA(window, \"" + fs::path(fixture).filename().string() +
                      " - Trellis Engine 1.0\")",
                  "DragAcceptFiles(window, 1)",
                  "SetTimer(window, 0, 20, null)",
                  "DirectDrawCreate(null, out, null) -> DD_OK",
                  "SetCooperativeLevel(window, 0x13) -> DD_OK",
                  "SetDisplayMode(640, 480, 32) -> DD_OK",
                  "CreateSurface({size=" + size +
                      " flags=0x21 width=0 height=0 backbuffers=1 caps=0x100218}, out, null) -> "
                      "DD_OK: primary",
                  "GetAttachedSurface(primary, 0x100004, out) -> DD_OK: backbuffer",
                  work + "1",
                  work + "2",
                  "GetMessageA(null, 0, 0) -> 1: WM_KEYDOWN",
                  "TranslateMessage(WM_KEYDOWN)",
                  "DispatchMessageA(WM_KEYDOWN)",
                  "ShowCursor(1) -> 0",
                  "SendMessageA(window, WM_CLOSE, 0, 0)",
                  "DefWindowProcA(window, WM_CLOSE, 0, 0)",
                  "DestroyWindow(window)",
                  "PostQuitMessage(0)",
                  "GetMessageA(null, 0, 0) -> 0: WM_QUIT",
                  "Release(primary)",
                  "Release(work1)",
                  "Release(work2)",
                  "Release(directDraw)",
              }));
    const WNDCLASSEXA& windowClass = HeadlessRegisteredClass();
    EXPECT_EQ(windowClass.cbSize, sizeof(WNDCLASSEXA));
    EXPECT_EQ(windowClass.style, CS_HREDRAW | CS_VREDRAW);
    EXPECT_EQ(windowClass.style, 3u);
    EXPECT_EQ(windowClass.lpfnWndProc, &WindowProc);
    EXPECT_EQ(windowClass.cbClsExtra, 0);
    EXPECT_EQ(windowClass.cbWndExtra, 0);
    EXPECT_EQ(windowClass.hInstance, GetModuleHandleA(nullptr));
    EXPECT_NE(windowClass.hIcon, nullptr);
    EXPECT_NE(windowClass.hCursor, nullptr);
    EXPECT_NE(windowClass.hbrBackground, nullptr);
    EXPECT_NE(windowClass.hIconSm, nullptr);
    EXPECT_STREQ(windowClass.lpszClassName, "Trellis_Engine");
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
    EXPECT_FALSE(HeadlessWindowAlive());
}

TEST_F(ShellTest, FixedCameraHasTheGivenRowsWhateverTheScene) {
    EXPECT_EQ(std::bit_cast<uint32_t>(kSpinStep), 0x3D80ADFCu);
    EXPECT_EQ(std::bit_cast<uint32_t>(kCameraTurnZ), 0xC0490FDAu);
    EXPECT_EQ(std::bit_cast<uint32_t>(kCameraTurnX), 0xBF060A92u);
    const float rows[16] = {-1, 0,     0,          0, 0, -0.8660254f, -0.5f,       0,
                            0,  -0.5f, 0.8660254f, 0, 0, 75,          -129.90381f, 1};
    for (const char* scene : {"fixture", "empty"}) {
        SCOPED_TRACE(scene);
        TearDown();
        SetUp();
        HeadlessScriptKey(VK_ESCAPE);
        std::string path =
            std::string(scene) == "fixture" ? fixture : WriteScene("empty.3ds", EmptySceneBytes());
        ASSERT_EQ(Run(path), 0);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(viewerState.fixedCamera[i], rows[i], 2e-5) << i;
    }
}

TEST_F(ShellTest, EachTickClearsTurnsAndDrawsEveryObjectIntoOneFrame) {
    HeadlessScriptTicks(3);
    HeadlessScriptKey(VK_ESCAPE);
    ASSERT_EQ(Run(fixture), 0);
    ASSERT_EQ(presented.frames.size(), 3u);
    ASSERT_EQ(viewerState.scene->objectCount, 2);
    for (int tick = 0; tick < 3; ++tick) {
        SCOPED_TRACE(tick);
        Frame expected = ExpectedFrame(fixture, tick + 1, viewerState.fixedCamera);
        EXPECT_NE(expected, Frame(640 * 480, 0));
        // Frame 3 reuses the surface of frame 1: an uncleared frame would keep its lines.
        EXPECT_TRUE(presented.frames[static_cast<size_t>(tick)] == expected);
    }
    // Each object turned from identity, whatever mesh matrix its file held.
    for (int32_t i = 0; i < viewerState.scene->objectCount; ++i) {
        EXPECT_EQ(viewerState.scene->objects[i].matrix, Turned(3)) << i;
    }
}

TEST_F(ShellTest, EmptySceneTicksPresentBlackFrames) {
    HeadlessScriptTicks(3);
    HeadlessScriptKey(VK_ESCAPE);
    ASSERT_EQ(Run(WriteScene("empty.3ds", EmptySceneBytes())), 0);
    ASSERT_EQ(presented.frames.size(), 3u);
    for (const Frame& frame : presented.frames)
        EXPECT_TRUE(frame == Frame(640 * 480, 0));
}

// A file that is not a 3DS file loads as an empty scene: the viewer says so in one line on
// stderr, with its first bytes made printable, and runs on; a 3DS file gets no such line.
TEST_F(ShellTest, FileThatIsNotA3dsIsNamedSoAndTheRunGoesOn) {
    const std::string text = "Notes\x1b[2J on the scene";
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string notice;  // after "trellis: PATH: "; empty for none
    };
    const std::vector<Case> cases = {
        {"text", std::vector<uint8_t>(text.begin(), text.end()),
         "not a 3DS file (it starts with \"Notes\\x1b[2J on the\")"},
        {"empty", {}, "not a 3DS file (it is empty)"},
        {"a 3DS file", FixtureSceneBytes(), ""},
        // A 3DS file that draws nothing is said to, once.
        {"a 3DS file without meshes", EmptySceneBytes(),
         "nothing to draw: the scene has no vertices"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const std::string path = WriteScene("scene", c.bytes);
        HeadlessScriptTicks(2);
        HeadlessScriptKey(VK_ESCAPE);
        testing::internal::CaptureStderr();
        const int status = Run(path);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(message, c.notice.empty() ? "" : "trellis: " + path + ": " + c.notice + "\n");
        EXPECT_EQ(presented.count, 2);
    }
}

TEST_F(ShellTest, HundredDrawnTicksMakeOneFullTurn) {
    struct Case {
        int ticks;
        Matrix4 pose;  // about the Y axis: after 50 ticks half a turn
    };
    const std::vector<Case> cases = {
        {50, {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}},
        {100, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ticks);
        TearDown();
        SetUp();
        presented.keep = false;
        HeadlessScriptTicks(c.ticks);
        HeadlessScriptKey(VK_ESCAPE);
        ASSERT_EQ(Run(fixture), 0);
        EXPECT_EQ(presented.count, c.ticks);
        for (int32_t i = 0; i < viewerState.scene->objectCount; ++i) {
            for (int e = 0; e < 16; ++e) {
                EXPECT_NEAR(viewerState.scene->objects[i].matrix[e], c.pose[e], 2e-5)
                    << "object " << i << " element " << e;
            }
        }
    }
}

TEST_F(ShellTest, TickWhoseLockFailsDrawsAndTurnsNothing) {
    HeadlessQueueResults(HeadlessCall::Lock, {DD_OK, DDERR_SURFACELOST, DD_OK});
    HeadlessScriptTicks(3);
    HeadlessScriptKey(VK_ESCAPE);
    ASSERT_EQ(Run(fixture), 0);
    EXPECT_EQ(presented.count, 2);
    // The dropped tick tried the surface of the second frame and did nothing else.
    const std::string size = std::to_string(sizeof(DDSURFACEDESC));
    Log ticks;
    for (const std::string& line : HeadlessCallLog()) {
        if (line.rfind("Lock(", 0) == 0 || line.rfind("Flip(", 0) == 0) ticks.push_back(line);
    }
    EXPECT_EQ(ticks, (Log{"Lock(work2, null, {size=" + size + "}, 0x0, null) -> DD_OK",
                          "Flip(primary, null, 0x0) -> DD_OK",
                          "Lock(work1, null, {size=" + size + "}, 0x0, null) -> DDERR_SURFACELOST",
                          "Lock(work1, null, {size=" + size + "}, 0x0, null) -> DD_OK",
                          "Flip(primary, null, 0x0) -> DD_OK"}));
    for (int32_t i = 0; i < viewerState.scene->objectCount; ++i) {
        EXPECT_EQ(viewerState.scene->objects[i].matrix, Turned(2)) << i;
    }
    EXPECT_TRUE(presented.frames[1] == ExpectedFrame(fixture, 2, viewerState.fixedCamera));
}

TEST_F(ShellTest, KeysOtherThanEscapeDoNothing) {
    HeadlessScriptTicks(1);
    for (WPARAM key :
         {WPARAM{'A'}, WPARAM{VK_SPACE}, WPARAM{VK_RETURN}, WPARAM{VK_F1}, WPARAM{VK_SHIFT}}) {
        HeadlessScriptKey(key);
    }
    HeadlessScriptTicks(1);
    HeadlessScriptKey(VK_ESCAPE);
    ASSERT_EQ(Run(fixture), 0);
    EXPECT_EQ(presented.count, 2);
    // Between the first and second tick only the message loop's own calls appear.
    Log keys;
    for (const std::string& line :
         Between("Flip(primary, null, 0x0) -> DD_OK", "GetMessageA(null, 0, 0) -> 1: WM_TIMER")) {
        keys.push_back(line);
    }
    Log expected;
    for (int i = 0; i < 5; ++i) {
        expected.insert(expected.end(),
                        {"GetMessageA(null, 0, 0) -> 1: WM_KEYDOWN", "TranslateMessage(WM_KEYDOWN)",
                         "DispatchMessageA(WM_KEYDOWN)"});
    }
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(HeadlessCursorCount(), 0);  // hidden once, shown once by Escape
    // Called directly, too: no result but 0 and no call at all.
    HeadlessClearLog();
    EXPECT_EQ(WindowProc(nullptr, WM_KEYDOWN, 'Q', 0), 0);
    EXPECT_EQ(HeadlessCallLog(), Log{});
}

TEST_F(ShellTest, FailedLoadExitsOneWithOneLineAndLeavesTheDisplayAlone) {
    ChunkWriter tooShort;
    tooShort.Header(chunk::Main, 3);
    ChunkWriter badFace;
    badFace.Chunk(chunk::Main, [&] {
        badFace.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(badFace, "Bad", [&] {
                WriteVertexList(badFace, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                WriteFaceList(badFace, {0, 1, 7});
            });
        });
    });
    struct Case {
        const char* name;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"missing", (TempDir() / "no-such-scene.3ds").string()},
        {"short chunk", WriteScene("short.3ds", tooShort.bytes)},
        {"bad face", WriteScene("badface.3ds", badFace.bytes)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        HeadlessScriptTicks(3);
        HeadlessScriptKey(VK_ESCAPE);
        testing::internal::CaptureStderr();
        int status = Run(c.path);
        std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 1);
        EXPECT_EQ(viewerState.scene, nullptr);

        // One line: the file, then the loader's reason (which names chunk and offset).
        const std::string reason = LastLoadError().message;
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(message.rfind("trellis: " + c.path + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
        if (LastLoadError().chunkId != 0) {
            char location[64];
            std::snprintf(location, sizeof location, "chunk 0x%04X at offset %lld: ",
                          static_cast<unsigned>(LastLoadError().chunkId),
                          static_cast<long long>(LastLoadError().offset));
            EXPECT_EQ(message.find(location), ("trellis: " + c.path + ": ").size()) << message;
            EXPECT_EQ(message.find(location, message.find(location) + 1), std::string::npos)
                << message;
        }

        // Window shown and pointer hidden; then nothing: no timer, display or loop.
        const Log& log = HeadlessCallLog();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "ShowCursor(0) -> -1");
        EXPECT_TRUE(HeadlessWindowAlive());
        EXPECT_FALSE(HeadlessDirectDrawLive());
        EXPECT_EQ(presented.count, 0);
    }
}

TEST_F(ShellTest, FailedLoadOfHostileNamesIsOnePrintableLine) {
    // The file's name and the mesh's name hold escape sequences, line breaks, a C1 control
    // and bytes that are not UTF-8.
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "\x1b]0;x\x07\r\n\x9b\xff", [&] {
                WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                WriteFaceList(w, {0, 1, 7});
            });
        });
    });
    const std::string path = WriteScene("\x1b[2J\n.3ds", w.bytes);
    HeadlessScriptKey(VK_ESCAPE);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(path), 1);
    const std::string message = testing::internal::GetCapturedStderr();
    const std::string shownPath = path.substr(0, path.size() - 9) + "\\x1b[2J\\x0a.3ds";
    EXPECT_EQ(message.rfind("trellis: " + shownPath + ": chunk 0x4120 at offset ", 0), 0u)
        << message;
    EXPECT_NE(message.find(": face 0 of mesh \"\\x1b]0;x\\x07\\x0d\\x0a\\x9b\\xff\" names vertex 7 "
                           "of 3\n"),
              std::string::npos)
        << message;
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    for (const char c : message.substr(0, message.size() - 1)) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int{static_cast<unsigned char>(c)};
    }
}

TEST_F(ShellTest, AfterAFailedDisplayStartTicksDrawNothingAndEscapeStillEnds) {
    struct Case {
        const char* name;
        HeadlessCall call;
        std::vector<HRESULT> results;
    };
    const std::vector<Case> cases = {
        {"no DirectDraw", HeadlessCall::DirectDrawCreate, {DDERR_GENERIC}},
        {"no mode", HeadlessCall::SetDisplayMode, {DDERR_GENERIC}},
        {"no second work surface", HeadlessCall::CreateSurface, {DD_OK, DD_OK, DDERR_GENERIC}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        for (HRESULT r : c.results)
            HeadlessQueueResults(c.call, {r});
        HeadlessScriptTicks(5);
        HeadlessScriptKey(VK_ESCAPE);
        EXPECT_EQ(Run(fixture), 0);
        EXPECT_EQ(presented.count, 0);
        for (const std::string& line : HeadlessCallLog()) {
            EXPECT_NE(line.rfind("Lock(", 0), 0u) << line;
        }
        for (int32_t i = 0; i < viewerState.scene->objectCount; ++i) {
            EXPECT_EQ(viewerState.scene->objects[i].matrix, Turned(0)) << i;
        }
        EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
        EXPECT_FALSE(HeadlessDirectDrawLive());
    }
}

}  // namespace
