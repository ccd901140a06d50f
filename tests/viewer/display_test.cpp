// The display module on the headless backend, checked through the backend's call log.
#include "display/display.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/headless/headless.h"

namespace {

using Log = std::vector<std::string>;

const std::string kSize = std::to_string(sizeof(DDSURFACEDESC));

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string PrimaryRequest() {
    return "CreateSurface({size=" + kSize +
           " flags=0x21 width=0 height=0 backbuffers=1 caps=0x100218}, out, null)";
}

std::string WorkRequest(int width, int height) {
    return "CreateSurface({size=" + kSize + " flags=0x7 width=" + std::to_string(width) +
           " height=" + std::to_string(height) + " backbuffers=1 caps=0x100840}, out, null)";
}

// The log lines of one presented frame from work surface `work` ("work1" is A, "work2" B).
Log FrameCalls(const std::string& work, int width = 640, int height = 480) {
    return {"Lock(" + work + ", null, {size=" + kSize + "}, 0x0, null) -> DD_OK",
            "Unlock(" + work + ", null) -> DD_OK",
            "BltFast(backbuffer, 0, 0, " + work + ", {0, 0, " + std::to_string(width) + ", " +
                std::to_string(height) + "}, 0x0) -> DD_OK",
            "Flip(primary, null, 0x0) -> DD_OK"};
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseHeadlessBackend();
        ResetDisplayContext();
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.lpszClassName = "DisplayTest";
        RegisterClassExA(&windowClass);
        window = CreateWindowExA(0, "DisplayTest", "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                 nullptr, nullptr);
        HeadlessEnableLog(true);
    }

    void TearDown() override {
        ShutdownDisplay();
        ResetDisplayContext();
        ResetHeadlessBackend();
        SetPlatformBackend(nullptr);
    }

    // The log from `mark` on, then a new mark at its end.
    Log CallsSince(size_t& mark) {
        const Log& all = HeadlessCallLog();
        Log tail(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
        mark = all.size();
        return tail;
    }

    // Draws and presents one frame; returns the pixels LockFrame handed out (null if none).
    uint32_t* Tick(uint32_t colour) {
        uint32_t* pixels = nullptr;
        if (LockFrame(&pixels) == 0) return nullptr;
        const auto count = static_cast<size_t>(displayContext.displayWidth) *
                           static_cast<size_t>(displayContext.displayHeight);
        for (size_t i = 0; i < count; ++i)
            pixels[i] = colour;
        PresentFrame();
        return pixels;
    }

    HWND window = nullptr;
};

TEST(SurfaceDesc, FieldsInTheApiOrder) {
    // 108 bytes where pointers take 4; lpSurface and what follows move with the pointer size.
    const size_t pointer = sizeof(void*);
    const size_t surfaceOffset = (36 + pointer - 1) / pointer * pointer;
    EXPECT_EQ(offsetof(DDSURFACEDESC, dwSize), 0u);
    EXPECT_EQ(offsetof(DDSURFACEDESC, dwFlags), 4u);
    EXPECT_EQ(offsetof(DDSURFACEDESC, dwHeight), 8u);
    EXPECT_EQ(offsetof(DDSURFACEDESC, dwWidth), 12u);
    EXPECT_EQ(offsetof(DDSURFACEDESC, lPitch), 16u);
    EXPECT_EQ(offsetof(DDSURFACEDESC, dwBackBufferCount), 20u);
    EXPECT_EQ(offsetof(DDSURFACEDESC, lpSurface), surfaceOffset);
    EXPECT_EQ(offsetof(DDSURFACEDESC, ddpfPixelFormat), surfaceOffset + pointer + 32);
    EXPECT_EQ(offsetof(DDSURFACEDESC, ddsCaps), surfaceOffset + pointer + 64);
    EXPECT_EQ(offsetof(DDPIXELFORMAT, dwRGBBitCount), 12u);
    if (pointer == 4) {
        EXPECT_EQ(sizeof(DDSURFACEDESC), 108u);
    }
}

TEST_F(DisplayTest, InitCallsInOrderWithTheSizeGiven) {
    struct Case {
        int width, height;
    };
    for (const Case c : {Case{640, 480}, Case{800, 600}, Case{320, 200}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        TearDown();
        SetUp();
        size_t mark = HeadlessCallLog().size();
        InitDisplay(window, c.width, c.height);
        const std::string mode = std::to_string(c.width) + ", " + std::to_string(c.height);
        EXPECT_EQ(CallsSince(mark), (Log{
                                        "DirectDrawCreate(null, out, null) -> DD_OK",
                                        "SetCooperativeLevel(window, 0x13) -> DD_OK",
                                        "SetDisplayMode(" + mode + ", 32) -> DD_OK",
                                        PrimaryRequest() + " -> DD_OK: primary",
                                        "GetAttachedSurface(primary, 0x100004, out) -> DD_OK: "
                                        "backbuffer",
                                        WorkRequest(c.width, c.height) + " -> DD_OK: work1",
                                        WorkRequest(c.width, c.height) + " -> DD_OK: work2",
                                    }));
        EXPECT_EQ(displayContext.displayWidth, c.width);
        EXPECT_EQ(displayContext.displayHeight, c.height);
        EXPECT_EQ(displayContext.useWorkSurfaceA, 0);
        ASSERT_NE(Tick(0x00123456), nullptr);
        EXPECT_EQ(CallsSince(mark), FrameCalls("work2", c.width, c.height));
    }
}

TEST_F(DisplayTest, InitStopsAtTheFailingStepAndShutdownReleasesWhatExists) {
    struct Case {
        const char* step;
        HeadlessCall call;
        std::vector<HRESULT> results;  // results of successive calls of `call`
        size_t initCalls;              // log lines of InitDisplay
        Log shutdown;
    };
    const std::vector<Case> cases = {
        {"create", HeadlessCall::DirectDrawCreate, {DDERR_GENERIC}, 1, {}},
        {"cooperate",
         HeadlessCall::SetCooperativeLevel,
         {DDERR_GENERIC},
         2,
         {"Release(directDraw)"}},
        {"mode", HeadlessCall::SetDisplayMode, {DDERR_GENERIC}, 3, {"Release(directDraw)"}},
        {"primary", HeadlessCall::CreateSurface, {DDERR_GENERIC}, 4, {"Release(directDraw)"}},
        {"back buffer",
         HeadlessCall::GetAttachedSurface,
         {DDERR_GENERIC},
         5,
         {"Release(primary)", "Release(directDraw)"}},
        {"work A",
         HeadlessCall::CreateSurface,
         {DD_OK, DDERR_GENERIC},
         6,
         {"Release(primary)", "Release(directDraw)"}},
        {"work B",
         HeadlessCall::CreateSurface,
         {DD_OK, DD_OK, DDERR_GENERIC},
         7,
         {"Release(primary)", "Release(work1)", "Release(directDraw)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        TearDown();
        SetUp();
        for (HRESULT r : c.results)
            HeadlessQueueResults(c.call, {r});
        size_t mark = HeadlessCallLog().size();
        InitDisplay(window, 640, 480);
        EXPECT_EQ(CallsSince(mark).size(), c.initCalls);

        // Nothing is locked, drawn or presented on what is left.
        uint32_t sentinel = 0;
        uint32_t* pixels = &sentinel;
        for (int tick = 0; tick < 3; ++tick)
            EXPECT_EQ(LockFrame(&pixels), 0);
        EXPECT_EQ(pixels, &sentinel);
        EXPECT_EQ(CallsSince(mark), Log{});

        ShutdownDisplay();
        EXPECT_EQ(CallsSince(mark), c.shutdown);
        EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
        EXPECT_FALSE(HeadlessDirectDrawLive());
        ShutdownDisplay();
        EXPECT_EQ(CallsSince(mark), Log{});
    }
}

TEST_F(DisplayTest, ShutdownReleasesInOrderOnceAndKeepsTheStaleBackBuffer) {
    size_t mark = HeadlessCallLog().size();
    ShutdownDisplay();  // before any InitDisplay
    EXPECT_EQ(CallsSince(mark), Log{});

    InitDisplay(window, 640, 480);
    CallsSince(mark);
    LPDIRECTDRAWSURFACE back = displayContext.backBuffer;
    ShutdownDisplay();
    EXPECT_EQ(CallsSince(mark),
              (Log{"Release(primary)", "Release(work1)", "Release(work2)", "Release(directDraw)"}));
    EXPECT_EQ(displayContext.directDraw, nullptr);
    EXPECT_EQ(displayContext.primarySurface, nullptr);
    EXPECT_EQ(displayContext.workSurfaceA, nullptr);
    EXPECT_EQ(displayContext.workSurfaceB, nullptr);
    EXPECT_EQ(displayContext.backBuffer, back);
    EXPECT_EQ(HeadlessLiveSurfaceCount(), 0);
    ShutdownDisplay();
    EXPECT_EQ(CallsSince(mark), Log{});
}

TEST_F(DisplayTest, FramesAlternateBThenAAndArePresentedExactly) {
    std::vector<std::vector<uint32_t>> presented;
    HeadlessSetFrameCallback(
        [](const uint32_t* pixels, int32_t width, int32_t height, void* user) {
            static_cast<std::vector<std::vector<uint32_t>>*>(user)->emplace_back(
                pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
        },
        &presented);
    InitDisplay(window, 640, 480);
    size_t mark = HeadlessCallLog().size();
    const uint32_t colours[] = {0x00000001, 0x00FF0000, 0x0064FF96, 0x00ABCDEF};
    const char* order[] = {"work2", "work1", "work2", "work1"};
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE(frame);
        displayContext.surfaceDesc.dwSize = 0;  // LockFrame sets it afresh every time
        uint32_t* pixels = Tick(colours[frame]);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels, HeadlessWorkSurfacePixels(frame % 2 == 0 ? 1 : 0));
        EXPECT_EQ(CallsSince(mark), FrameCalls(order[frame]));
        EXPECT_EQ(displayContext.useWorkSurfaceA, frame % 2 == 0 ? 1 : 0);
        ASSERT_EQ(presented.size(), static_cast<size_t>(frame + 1));
        EXPECT_EQ(presented.back(), std::vector<uint32_t>(640 * 480, colours[frame]));
    }
    EXPECT_EQ(HeadlessLockedSurfaceCount(), 0);
}

TEST_F(DisplayTest, BusyCopyAndFlipAreRetriedAtOnce) {
    InitDisplay(window, 640, 480);
    HeadlessQueueResults(HeadlessCall::BltFast, {DDERR_WASSTILLDRAWING, DDERR_WASSTILLDRAWING});
    HeadlessQueueResults(HeadlessCall::Flip, {DDERR_WASSTILLDRAWING});
    size_t mark = HeadlessCallLog().size();
    ASSERT_NE(Tick(7), nullptr);
    const std::string busyCopy =
        "BltFast(backbuffer, 0, 0, work2, {0, 0, 640, 480}, 0x0) -> DDERR_WASSTILLDRAWING";
    const Log frame = FrameCalls("work2");
    EXPECT_EQ(CallsSince(mark),
              (Log{frame[0], frame[1], busyCopy, busyCopy, frame[2],
                   "Flip(primary, null, 0x0) -> DDERR_WASSTILLDRAWING", frame[3]}));
    EXPECT_EQ(HeadlessFramesPresented(), 1);
}

TEST_F(DisplayTest, LostSurfaceGetsOneRestoreAndTheNextTickDrawsAgain) {
    const std::string lostCopy =
        "BltFast(backbuffer, 0, 0, work2, {0, 0, 640, 480}, 0x0) -> DDERR_SURFACELOST";
    const std::string lostFlip = "Flip(primary, null, 0x0) -> DDERR_SURFACELOST";
    const Log restoreAll = {"Restore(primary) -> DD_OK", "Restore(work1) -> DD_OK",
                            "Restore(work2) -> DD_OK"};
    const Log frame = FrameCalls("work2");
    struct Case {
        const char* name;
        std::vector<HRESULT> copy, flip, restore;
        Log expected;
    };
    auto join = [](std::initializer_list<Log> parts) {
        Log all;
        for (const Log& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const std::vector<Case> cases = {
        {"copy lost",
         {DDERR_SURFACELOST},
         {},
         {},
         join({{frame[0], frame[1], lostCopy}, restoreAll, {frame[3]}})},
        {"flip lost",
         {},
         {DDERR_SURFACELOST},
         {},
         join({{frame[0], frame[1], frame[2], lostFlip}, restoreAll})},
        {"both lost",
         {DDERR_SURFACELOST},
         {DDERR_SURFACELOST},
         {},
         join({{frame[0], frame[1], lostCopy}, restoreAll, {lostFlip}, restoreAll})},
        {"restore fails",
         {DDERR_SURFACELOST},
         {},
         {DDERR_GENERIC},
         {frame[0], frame[1], lostCopy, "Restore(primary) -> DDERR_GENERIC", frame[3]}},
        {"copy fails otherwise",
         {DDERR_GENERIC},
         {},
         {},
         {frame[0], frame[1],
          "BltFast(backbuffer, 0, 0, work2, {0, 0, 640, 480}, 0x0) -> DDERR_GENERIC", frame[3]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        InitDisplay(window, 640, 480);
        for (HRESULT r : c.copy)
            HeadlessQueueResults(HeadlessCall::BltFast, {r});
        for (HRESULT r : c.flip)
            HeadlessQueueResults(HeadlessCall::Flip, {r});
        for (HRESULT r : c.restore)
            HeadlessQueueResults(HeadlessCall::Restore, {r});
        size_t mark = HeadlessCallLog().size();
        ASSERT_NE(Tick(1), nullptr);
        EXPECT_EQ(CallsSince(mark), c.expected);
        ASSERT_NE(Tick(2), nullptr);
        EXPECT_EQ(CallsSince(mark), FrameCalls("work1"));
    }
}

TEST_F(DisplayTest, RestoreSurfacesReportsTheFirstFailure) {
    struct Case {
        std::vector<HRESULT> results;
        HRESULT expected;
        size_t restores;
    };
    const std::vector<Case> cases = {
        {{}, DD_OK, 3},
        {{DDERR_SURFACELOST}, DDERR_SURFACELOST, 1},
        {{DD_OK, DDERR_GENERIC}, DDERR_GENERIC, 2},
        {{DD_OK, DD_OK, DDERR_OUTOFMEMORY}, DDERR_OUTOFMEMORY, 3},
    };
    InitDisplay(window, 640, 480);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.restores);
        for (HRESULT r : c.results)
            HeadlessQueueResults(HeadlessCall::Restore, {r});
        size_t mark = HeadlessCallLog().size();
        EXPECT_EQ(RestoreSurfaces(), c.expected);
        EXPECT_EQ(CallsSince(mark).size(), c.restores);
    }
}

TEST_F(DisplayTest, SixteenBitWorkSurfacesAreNeverDrawn) {
    HeadlessSetPixelBits(16);
    InitDisplay(window, 640, 480);
    size_t mark = HeadlessCallLog().size();
    uint32_t sentinel = 0;
    uint32_t* pixels = &sentinel;
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_EQ(LockFrame(&pixels), 0);
        // The same surface is tried every time: the flag moves only when a frame is presented.
        EXPECT_EQ(CallsSince(mark),
                  (Log{"Lock(work2, null, {size=" + kSize + "}, 0x0, null) -> DD_OK",
                       "Unlock(work2, null) -> DD_OK"}));
        EXPECT_EQ(HeadlessLockedSurfaceCount(), 0);
    }
    EXPECT_EQ(pixels, &sentinel);
    EXPECT_EQ(HeadlessFramesPresented(), 0);
}

TEST_F(DisplayTest, FailedLockReturnsZeroAndKeepsTheSurface) {
    InitDisplay(window, 640, 480);
    HeadlessQueueResults(HeadlessCall::Lock, {DDERR_SURFACELOST});
    size_t mark = HeadlessCallLog().size();
    uint32_t* pixels = nullptr;
    EXPECT_EQ(LockFrame(&pixels), 0);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(CallsSince(mark),
              Log{"Lock(work2, null, {size=" + kSize + "}, 0x0, null) -> DDERR_SURFACELOST"});
    ASSERT_NE(Tick(5), nullptr);
    EXPECT_EQ(CallsSince(mark), FrameCalls("work2"));
}

}  // namespace
