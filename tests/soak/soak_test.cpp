// The soak run: the viewer on the headless backend for 100,000 ticks on the bundled scene,
// then Escape. After a warm-up of one full turn no tick may allocate or free anything, and
// resident memory may not grow. Also the long display fault runs: every failure switch armed
// at random ticks of a 10,000-tick run on the bundled scene.
//
// Labelled `soak` and left out of the default test run; `make soak` runs it on the release
// build. The figures are printed for the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "allocation_counter.h"
#include "app/shell.h"
#include "display/display.h"
#include "fault_run.h"
#include "platform/headless/headless.h"
#include "script_window.h"

namespace {

const std::string kBundledScene = std::string(TRELLIS_ASSETS_DIR) + "/svet.3ds";

constexpr int32_t kSoakTicks = 100000;
// One full turn of every object (100 ticks) plus as much again: by then every path a tick
// can take has run once and every page it touches is resident.
constexpr int32_t kWarmUpTicks = 200;
// Resident memory may end at most this many pages above its size after the warm-up. Nothing
// is allocated after the warm-up (checked exactly below), so growth can only come from pages
// touched for the first time that already belonged to the process: a deeper stack frame, a
// code page of a path first taken late. A leak of even one byte per tick would show as
// 100,000 bytes (25 pages); the allocation counts catch smaller ones exactly.
constexpr long kResidentTolerancePages = 8;

// Resident pages from /proc/self/statm, read with plain system calls (stdio would allocate).
long ResidentPages() {
    int fd = open("/proc/self/statm", O_RDONLY);
    if (fd < 0) return -1;
    char text[128];
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return -1;
    text[n] = '\0';
    long size = 0;
    long resident = 0;
    if (std::sscanf(text, "%ld %ld", &size, &resident) != 2) return -1;
    return resident;
}

double Kib(long pages) {
    return static_cast<double>(pages) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

uint64_t Total(const AllocationCounts& c) {
    return c.news + c.deletes + c.mallocs + c.frees;
}

struct SoakProbe {
    int32_t lastTick = 0;  // ticks seen by the hook so far
    AllocationCounts previous = {};
    AllocationCounts atWarmUp = {};
    AllocationCounts atEnd = {};
    int32_t firstAllocatingTick = -1;  // after the warm-up
    AllocationCounts firstAllocatingTickCounts = {};
    int32_t ticksLeavingALock = 0;
    long residentAtWarmUp = -1;
    long residentAtEnd = -1;
    std::chrono::steady_clock::time_point warmUpTime;
    std::chrono::steady_clock::time_point endTime;
};

// Between every two ticks: the allocations of the tick just ended, and at the end of the
// warm-up and after the last tick the resident size and the time.
void SampleBetweenTicks(UINT message, int32_t ticks, void* user) {
    auto& probe = *static_cast<SoakProbe*>(user);
    AllocationCounts now = CurrentAllocationCounts();
    if (ticks > kWarmUpTicks && probe.firstAllocatingTick < 0) {
        AllocationCounts tick = AllocationsBetween(probe.previous, now);
        if (Total(tick) != 0) {
            probe.firstAllocatingTick = ticks - 1;
            probe.firstAllocatingTickCounts = tick;
        }
    }
    if (HeadlessLockedSurfaceCount() != 0) probe.ticksLeavingALock++;
    if (ticks == kWarmUpTicks && message == WM_TIMER) {
        probe.atWarmUp = now;
        probe.residentAtWarmUp = ResidentPages();
        probe.warmUpTime = std::chrono::steady_clock::now();
    }
    if (message != WM_TIMER) {
        probe.atEnd = now;
        probe.residentAtEnd = ResidentPages();
        probe.endTime = std::chrono::steady_clock::now();
    }
    probe.lastTick = ticks;
    // Reading the resident size allocates nothing, so `now` stays the baseline.
    probe.previous = now;
}

// The counter sees every form of allocation, so a zero below means nothing was allocated.
// Calls go through volatile pointers so the compiler cannot drop a new/delete or
// malloc/free pair.
TEST(AllocationCounter, CountsEveryFormOfAllocationAndRelease) {
    void* (*volatile newFn)(std::size_t) = ::operator new;
    void* (*volatile newArrayFn)(std::size_t) = ::operator new[];
    void* (*volatile alignedNewFn)(std::size_t, std::align_val_t) = ::operator new;
    void (*volatile deleteFn)(void*) noexcept = ::operator delete;
    void (*volatile deleteArrayFn)(void*) noexcept = ::operator delete[];
    void (*volatile alignedDeleteFn)(void*, std::align_val_t) noexcept = ::operator delete;

    const AllocationCounts before = CurrentAllocationCounts();
    deleteFn(newFn(24));
    deleteArrayFn(newArrayFn(24));
    alignedDeleteFn(alignedNewFn(24, std::align_val_t{64}), std::align_val_t{64});
    AllocationCounts c = AllocationsBetween(before, CurrentAllocationCounts());
    EXPECT_EQ(c.news, 3u);
    EXPECT_EQ(c.deletes, 3u);
    if (!MallocCounted()) GTEST_SKIP() << "malloc is not counted under AddressSanitizer";

    void* (*volatile mallocFn)(std::size_t) = std::malloc;
    void* (*volatile callocFn)(std::size_t, std::size_t) = std::calloc;
    void* (*volatile reallocFn)(void*, std::size_t) = std::realloc;
    void* (*volatile alignedAllocFn)(std::size_t, std::size_t) = std::aligned_alloc;
    int (*volatile posixMemalignFn)(void**, std::size_t, std::size_t) = posix_memalign;
    void (*volatile freeFn)(void*) = std::free;

    const AllocationCounts start = CurrentAllocationCounts();
    freeFn(mallocFn(24));
    freeFn(callocFn(3, 8));
    freeFn(reallocFn(mallocFn(8), 4096));
    freeFn(alignedAllocFn(64, 128));
    void* aligned = nullptr;
    ASSERT_EQ(posixMemalignFn(&aligned, 64, 128), 0);
    freeFn(aligned);
    freeFn(nullptr);
    c = AllocationsBetween(start, CurrentAllocationCounts());
    EXPECT_EQ(c.mallocs, 6u);  // realloc counts as an allocation and a release
    EXPECT_EQ(c.frees, 6u);
    // operator new takes its memory from the counted malloc.
    const AllocationCounts viaNew = CurrentAllocationCounts();
    deleteFn(newFn(24));
    c = AllocationsBetween(viaNew, CurrentAllocationCounts());
    EXPECT_EQ(c.mallocs, 1u);
    EXPECT_EQ(c.frees, 1u);
}

struct ScriptProbe {
    AllocationCounts first = {};
    AllocationCounts last = {};
    int32_t ticks = 0;
};

void SampleScript(UINT message, int32_t ticks, void* user) {
    auto& probe = *static_cast<ScriptProbe*>(user);
    if (ticks == 0) probe.first = CurrentAllocationCounts();
    if (message != WM_TIMER) probe.last = CurrentAllocationCounts();
    probe.ticks = ticks;
}

// A long run of scripted ticks is delivered without allocating or freeing (the script once
// held one queue entry per tick and freed a block of them every few ticks).
TEST(HeadlessScript, LongTickRunDeliversWithoutAllocating) {
    UseHeadlessBackend();
    CreateScriptWindow("ScriptTest");
    HeadlessScriptTicks(50000);
    HeadlessScriptTicks(50000);
    ScriptProbe probe;
    HeadlessSetMessageHook(SampleScript, &probe);
    RunScriptedMessages();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    EXPECT_EQ(probe.ticks, 100000);
    EXPECT_EQ(Total(AllocationsBetween(probe.first, probe.last)), 0u);
}

TEST(Soak, HundredThousandTicksAllocateNothingAndKeepResidentMemory) {
    const long residentAtStart = ResidentPages();
    ASSERT_GT(residentAtStart, 0);

    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    viewerState.list.paths = {kBundledScene};
    SoakProbe probe;
    HeadlessScriptTicks(kSoakTicks);
    HeadlessScriptKey(VK_ESCAPE);
    HeadlessSetMessageHook(SampleBetweenTicks, &probe);
    const auto startTime = std::chrono::steady_clock::now();
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    const int32_t frames = HeadlessFramesPresented();
    const int32_t liveSurfaces = HeadlessLiveSurfaceCount();
    const bool directDrawLive = HeadlessDirectDrawLive();
    const int32_t lockedAtExit = HeadlessLockedSurfaceCount();
    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);

    const AllocationCounts steady = AllocationsBetween(probe.atWarmUp, probe.atEnd);
    const int32_t steadyTicks = kSoakTicks - kWarmUpTicks;
    const double seconds = std::chrono::duration<double>(probe.endTime - probe.warmUpTime).count();
    const double startUpSeconds =
        std::chrono::duration<double>(probe.warmUpTime - startTime).count();
    std::printf("soak: %d ticks on %s, exit status %d, %d frames presented\n", kSoakTicks,
                kBundledScene.c_str(), status, frames);
    std::printf(
        "soak: resident memory at start %.0f KiB, after %d warm-up ticks %.0f KiB, "
        "at the end %.0f KiB (tolerance %ld pages)\n",
        Kib(residentAtStart), kWarmUpTicks, Kib(probe.residentAtWarmUp), Kib(probe.residentAtEnd),
        kResidentTolerancePages);
    std::printf(
        "soak: over the %d ticks after the warm-up: %llu new, %llu delete, %llu malloc, "
        "%llu free%s (%.6f allocations per tick)\n",
        steadyTicks, static_cast<unsigned long long>(steady.news),
        static_cast<unsigned long long>(steady.deletes),
        static_cast<unsigned long long>(steady.mallocs),
        static_cast<unsigned long long>(steady.frees),
        MallocCounted() ? "" : " (malloc not counted under AddressSanitizer)",
        static_cast<double>(steady.news + steady.mallocs) / steadyTicks);
    std::printf("soak: start-up and warm-up %.3f s; %.3f ms per tick, %.0f ticks per second\n",
                startUpSeconds, seconds * 1000.0 / steadyTicks, steadyTicks / seconds);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(probe.lastTick, kSoakTicks);
    EXPECT_EQ(frames, kSoakTicks);
    EXPECT_EQ(probe.firstAllocatingTick, -1)
        << "tick " << probe.firstAllocatingTick << ": " << probe.firstAllocatingTickCounts.news
        << " new, " << probe.firstAllocatingTickCounts.deletes << " delete, "
        << probe.firstAllocatingTickCounts.mallocs << " malloc, "
        << probe.firstAllocatingTickCounts.frees << " free";
    EXPECT_EQ(Total(steady), 0u);
    ASSERT_GT(probe.residentAtWarmUp, 0);
    EXPECT_LE(probe.residentAtEnd, probe.residentAtWarmUp + kResidentTolerancePages);
    EXPECT_EQ(probe.ticksLeavingALock, 0);
    EXPECT_EQ(lockedAtExit, 0);
    EXPECT_EQ(liveSurfaces, 0);
    EXPECT_FALSE(directDrawLive);
}

// A window that was resized, showing an animation with its frame line: after the warm-up
// no tick allocates either (the resize itself, before it, makes the surfaces anew).
TEST(Soak, AResizedWindowPlayingAnAnimationAllocatesNothingPerTick) {
    constexpr int32_t kTicks = 10000;
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    viewerState.list.paths = {kBundledScene};
    viewerState.startPolicy = OpenPolicy{ViewMode::Fit, nullptr, true};
    viewerState.screen = ScreenMode::Window;
    viewerState.onScreen = true;
    RequestPlayback(viewerState.playback, true, nullptr);
    SoakProbe probe;
    HeadlessScriptTicks(50);
    HeadlessScriptResize(500, 400);
    HeadlessScriptTicks(kTicks - 50);
    HeadlessScriptKey(VK_ESCAPE);
    HeadlessSetMessageHook(SampleBetweenTicks, &probe);
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    const int32_t frames = HeadlessFramesPresented();
    const int32_t width = viewerState.frameWidth;
    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    const AllocationCounts steady = AllocationsBetween(probe.atWarmUp, probe.atEnd);
    std::printf(
        "soak: a resized window playing an animation, %d ticks: %llu allocations after "
        "the warm-up\n",
        kTicks, static_cast<unsigned long long>(steady.news + steady.mallocs));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(frames, kTicks);
    EXPECT_EQ(width, 500);
    EXPECT_EQ(probe.firstAllocatingTick, -1) << "tick " << probe.firstAllocatingTick;
    EXPECT_EQ(Total(steady), 0u);
}

constexpr int32_t kInputTicks = 20000;

struct InputProbe {
    AllocationCounts atWarmUp = {};
    AllocationCounts atEnd = {};
    int32_t messagesSent = 0;
};

// Between two ticks, one input message of a repeating round: a drag, the wheel, zoom
// characters, arrow keys, Space, the help, fit, reset and the next camera. Sent straight to
// the window procedure, as the system sends them, so that no script entry is taken.
void SendInputBetweenTicks(UINT message, int32_t ticks, void* user) {
    auto& probe = *static_cast<InputProbe*>(user);
    if (message != WM_TIMER) {
        probe.atEnd = CurrentAllocationCounts();
        return;
    }
    if (ticks == kWarmUpTicks) probe.atWarmUp = CurrentAllocationCounts();
    HWND window = HeadlessWindow();
    const int x = 100 + ticks % 300;
    switch (ticks % 16) {
        case 0:
            SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 200));
            break;
        case 1:
        case 2:
            SendMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x + 7, 200 + ticks % 5));
            break;
        case 3:
            SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, 200));
            break;
        case 4:
            SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, 300));
            break;
        case 5:
            SendMessageA(window, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(x + 3, 290));
            break;
        case 6:
            SendMessageA(window, WM_RBUTTONUP, 0, MAKELPARAM(x, 300));
            break;
        case 7:
            SendMessageA(window, WM_MOUSEWHEEL,
                         MAKEWPARAM(0, ticks % 2 ? WHEEL_DELTA : -WHEEL_DELTA), 0);
            break;
        case 8:
            SendMessageA(window, WM_CHAR, ticks % 3 ? '+' : '-', 1);
            break;
        case 9:
            SendMessageA(window, WM_KEYDOWN, ticks % 2 ? VK_LEFT : VK_UP, 1);
            break;
        case 10:
        case 11:
            SendMessageA(window, WM_KEYDOWN, VK_SPACE, 1);
            break;
        case 12:
            SendMessageA(window, WM_KEYDOWN, 'H', 1);
            break;
        case 13:
            SendMessageA(window, WM_KEYDOWN, ticks % 3 ? 'F' : 'C', 1);
            break;
        case 14:
            if (ticks % 160 == 14) SendMessageA(window, WM_KEYDOWN, 'R', 1);
            break;
        default:
            break;
    }
    probe.messagesSent++;
}

// Input never allocates: after the warm-up, ticks with a drag, the wheel, keys and the help
// between them allocate and free nothing.
TEST(Soak, InputBetweenTicksAllocatesNothing) {
    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    viewerState.list.paths = {kBundledScene};
    InputProbe probe;
    HeadlessScriptTicks(kInputTicks);
    HeadlessScriptKey(VK_ESCAPE);
    HeadlessSetMessageHook(SendInputBetweenTicks, &probe);
    char commandLine[] = "";
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
    const int32_t frames = HeadlessFramesPresented();
    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    const AllocationCounts steady = AllocationsBetween(probe.atWarmUp, probe.atEnd);
    std::printf(
        "soak: %d ticks with %d input messages between them: %llu new, %llu delete, "
        "%llu malloc, %llu free after the warm-up\n",
        kInputTicks, probe.messagesSent, static_cast<unsigned long long>(steady.news),
        static_cast<unsigned long long>(steady.deletes),
        static_cast<unsigned long long>(steady.mallocs),
        static_cast<unsigned long long>(steady.frees));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(frames, kInputTicks);
    EXPECT_EQ(Total(steady), 0u);
}

// The long fault runs draw a fresh seed each time (printed, and replayable with
// TRELLIS_FAULT_SEED) so that repeated soak runs explore new orders of faults.
uint32_t FreshSeed() {
    return fault_run::SeedFromEnvironment(std::random_device{}());
}

constexpr int32_t kFaultTicks = 10000;

using fault_run::SwitchCase;

class LongFaultRun : public testing::TestWithParam<SwitchCase> {};

TEST_P(LongFaultRun, ViewerKeepsRunningAndEndsCleanlyAfterEscape) {
    const SwitchCase& c = GetParam();
    fault_run::Outcome out =
        fault_run::RunViewerWithFaults(kBundledScene, kFaultTicks, c.switches, FreshSeed());
    fault_run::PrintOutcome(c.name, out);
    fault_run::ExpectSoundRun(out, kFaultTicks, c.switches);
}

INSTANTIATE_TEST_SUITE_P(EachSwitch, LongFaultRun, testing::ValuesIn(fault_run::EachSwitchCases()),
                         fault_run::SwitchCaseName);

TEST(LongFaultRun, FailedStartUpStepDropsEveryTickAndEscapeStillEndsCleanly) {
    for (const fault_run::StartUpFault& f : fault_run::StartUpFaults()) {
        SCOPED_TRACE(f.name);
        fault_run::Outcome out = fault_run::RunViewerWithFaults(kBundledScene, kFaultTicks, {},
                                                                FreshSeed(), f.call, f.failAt);
        fault_run::ExpectSoundRunWithoutDisplay(out, kFaultTicks);
    }
}

}  // namespace
