// Whole viewer runs on the headless backend with display faults switched on at random ticks:
// the real WinMain on a scene, a script of timer ticks and Escape, and a message hook that
// arms one fault for the coming tick and checks, between every two ticks, that no surface is
// left locked and none was created or lost. Shared by the default viewer tests (short runs)
// and the soak program (long runs on the bundled scene).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/shell.h"
#include "display/display.h"
#include "platform/headless/headless.h"

namespace fault_run {

// The failure switches of the headless backend that a running viewer meets on its ticks.
enum class Switch { Lock, PixelFormat, BltFast, Flip, Restore, Count };

inline const char* SwitchName(Switch s) {
    constexpr std::array<const char*, static_cast<size_t>(Switch::Count)> names = {
        "Lock", "PixelFormat", "BltFast", "Flip", "Restore"};
    return names[static_cast<size_t>(s)];
}

// One fault for one tick: what is queued before the tick, and whether the tick still locks a
// frame (so the objects turn) and still presents one. Each fault's queued results are all
// used up by the tick it is armed for, so faults never leak into later ticks.
struct Fault {
    Switch owner;
    const char* name;
    void (*arm)(std::mt19937& random);
    bool turns;
    bool presents;
};

// A run of 1 to 64 busy answers before the call goes through.
inline std::vector<HRESULT> BusyRun(std::mt19937& random) {
    return std::vector<HRESULT>(std::uniform_int_distribution<size_t>(1, 64)(random),
                                DDERR_WASSTILLDRAWING);
}

inline void Queue(HeadlessCall call, const std::vector<HRESULT>& results) {
    for (HRESULT r : results)
        HeadlessQueueResults(call, {r});
}

// What the display does with each answer is fixed: a failed or 16-bit lock drops the tick;
// a busy copy or flip is retried at once; a lost surface gets one restore of all three
// surfaces (in the order primary, A, B, stopping at the first failure), after which the flip
// is still tried if the copy lost it and the present ends if the flip lost it; any other
// failure of the copy goes on to the flip, of the flip ends the present.
inline const std::vector<Fault>& Faults() {
    using R = std::mt19937;
    static const std::vector<Fault> faults = {
        {Switch::Lock, "lock fails", [](R&) { Queue(HeadlessCall::Lock, {DDERR_GENERIC}); }, false,
         false},
        {Switch::Lock, "lock finds the surface lost",
         [](R&) { Queue(HeadlessCall::Lock, {DDERR_SURFACELOST}); }, false, false},
        {Switch::Lock, "lock finds the surface still drawing",
         [](R&) { Queue(HeadlessCall::Lock, {DDERR_WASSTILLDRAWING}); }, false, false},
        {Switch::Lock, "lock finds the surface busy",
         [](R&) { Queue(HeadlessCall::Lock, {DDERR_SURFACEBUSY}); }, false, false},
        {Switch::PixelFormat, "16-bit pixels", [](R&) { HeadlessSetPixelBits(16); }, false, false},
        {Switch::PixelFormat, "24-bit pixels", [](R&) { HeadlessSetPixelBits(24); }, false, false},
        {Switch::BltFast, "copy fails", [](R&) { Queue(HeadlessCall::BltFast, {DDERR_GENERIC}); },
         true, true},
        {Switch::BltFast, "copy still drawing",
         [](R& r) { Queue(HeadlessCall::BltFast, BusyRun(r)); }, true, true},
        {Switch::BltFast, "copy finds the surface lost",
         [](R&) { Queue(HeadlessCall::BltFast, {DDERR_SURFACELOST}); }, true, true},
        {Switch::Flip, "flip fails", [](R&) { Queue(HeadlessCall::Flip, {DDERR_GENERIC}); }, true,
         false},
        {Switch::Flip, "flip still drawing", [](R& r) { Queue(HeadlessCall::Flip, BusyRun(r)); },
         true, true},
        {Switch::Flip, "flip finds the surface lost",
         [](R&) { Queue(HeadlessCall::Flip, {DDERR_SURFACELOST}); }, true, false},
        {Switch::Restore, "copy and flip both lose the surfaces",
         [](R&) {
             Queue(HeadlessCall::BltFast, {DDERR_SURFACELOST});
             Queue(HeadlessCall::Flip, {DDERR_SURFACELOST});
         },
         true, false},
        {Switch::Restore, "primary cannot be restored after a lost copy",
         [](R&) {
             Queue(HeadlessCall::BltFast, {DDERR_SURFACELOST});
             Queue(HeadlessCall::Restore, {DDERR_GENERIC});
         },
         true, true},
        {Switch::Restore, "work surface A still lost after a lost copy",
         [](R&) {
             Queue(HeadlessCall::BltFast, {DDERR_SURFACELOST});
             Queue(HeadlessCall::Restore, {DD_OK, DDERR_SURFACELOST});
         },
         true, true},
        {Switch::Restore, "work surface B cannot be restored after a lost flip",
         [](R&) {
             Queue(HeadlessCall::Flip, {DDERR_SURFACELOST});
             Queue(HeadlessCall::Restore, {DD_OK, DD_OK, DDERR_GENERIC});
         },
         true, false},
        {Switch::Restore, "nothing restores after both are lost",
         [](R&) {
             Queue(HeadlessCall::BltFast, {DDERR_SURFACELOST});
             Queue(HeadlessCall::Flip, {DDERR_SURFACELOST});
             Queue(HeadlessCall::Restore, {DDERR_SURFACELOST, DDERR_SURFACELOST});
         },
         true, false},
    };
    return faults;
}

// What one run saw. Tick numbers count from 0; -1 means "never".
struct Outcome {
    uint32_t seed = 0;
    int status = -1;
    int32_t ticks = 0;
    int32_t injections = 0;
    std::vector<int32_t> injectionsPerFault;  // indexed like Faults()
    int32_t expectedTurns = 0;                // ticks that should have locked a frame
    int32_t expectedFrames = 0;               // ticks that should have presented one
    int32_t framesPresented = 0;
    bool spinMatches = false;  // every object turned exactly expectedTurns steps
    int32_t firstTickLeavingALock = -1;
    int32_t firstTickChangingSurfaces = -1;
    int32_t liveSurfacesAtExit = -1;
    bool directDrawLiveAtExit = true;
    int32_t cursorAtExit = 0;
};

// The seed of a run: TRELLIS_FAULT_SEED when set (to replay a printed run), else `fallback`.
inline uint32_t SeedFromEnvironment(uint32_t fallback) {
    const char* text = std::getenv("TRELLIS_FAULT_SEED");
    if (text == nullptr || *text == '\0') return fallback;
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 0));
}

struct RunState {
    std::mt19937 random;
    std::vector<const Fault*> allowed;
    int32_t oneIn = 4;              // a fault is armed on about one tick in this many
    int32_t surfacesWhenReady = 0;  // checked between ticks when the display is ready
    bool displayReady = false;
    Outcome* outcome = nullptr;
};

inline void BetweenTicks(UINT message, int32_t ticks, void* user) {
    auto& run = *static_cast<RunState*>(user);
    Outcome& out = *run.outcome;
    // The checks describe the tick just ended (ticks - 1).
    if (ticks > 0) {
        if (HeadlessLockedSurfaceCount() != 0 && out.firstTickLeavingALock < 0) {
            out.firstTickLeavingALock = ticks - 1;
        }
        if (run.displayReady && HeadlessLiveSurfaceCount() != run.surfacesWhenReady &&
            out.firstTickChangingSurfaces < 0) {
            out.firstTickChangingSurfaces = ticks - 1;
        }
    }
    HeadlessSetPixelBits(32);
    if (message != WM_TIMER) return;
    out.ticks = ticks + 1;
    const Fault* fault = nullptr;
    if (!run.allowed.empty() &&
        std::uniform_int_distribution<int32_t>(0, run.oneIn - 1)(run.random) == 0) {
        auto pick = std::uniform_int_distribution<size_t>(0, run.allowed.size() - 1)(run.random);
        fault = run.allowed[pick];
        fault->arm(run.random);
        out.injections++;
        out.injectionsPerFault[static_cast<size_t>(fault - Faults().data())]++;
    }
    if (!run.displayReady) return;
    out.expectedTurns += fault == nullptr || fault->turns ? 1 : 0;
    out.expectedFrames += fault == nullptr || fault->presents ? 1 : 0;
}

// Runs the viewer on `scenePath` for `ticks` timer ticks, then Escape, arming the faults of
// `switches` (all of them when empty) at random ticks. `startUpCall`/`startUpFailAt`, when
// set, make the `startUpFailAt`-th call (0 = first) of that start-up call fail, so the display
// is never ready. Leaves the backend, display and shell reset.
inline Outcome RunViewerWithFaults(const std::string& scenePath, int32_t ticks,
                                   const std::vector<Switch>& switches, uint32_t seed,
                                   HeadlessCall startUpCall = HeadlessCall::Count,
                                   int32_t startUpFailAt = 0) {
    Outcome out;
    out.seed = seed;
    out.injectionsPerFault.assign(Faults().size(), 0);
    RunState run;
    run.random.seed(seed);
    run.outcome = &out;
    for (const Fault& f : Faults()) {
        bool wanted = switches.empty();
        for (Switch s : switches)
            wanted = wanted || f.owner == s;
        if (wanted) run.allowed.push_back(&f);
    }
    run.displayReady = startUpCall == HeadlessCall::Count;
    run.surfacesWhenReady = 4;  // primary, back buffer, A and B

    UseHeadlessBackend();
    ResetDisplayContext();
    ResetViewer(viewerState);
    viewerState.list.paths = {scenePath};
    if (!run.displayReady) {
        std::vector<HRESULT> results(static_cast<size_t>(startUpFailAt), DD_OK);
        results.push_back(DDERR_GENERIC);
        Queue(startUpCall, results);
    }
    HeadlessScriptTicks(ticks);
    HeadlessScriptKey(VK_ESCAPE);
    HeadlessSetMessageHook(BetweenTicks, &run);
    char commandLine[] = "";
    out.status = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);

    out.framesPresented = HeadlessFramesPresented();
    out.liveSurfacesAtExit = HeadlessLiveSurfaceCount();
    out.directDrawLiveAtExit = HeadlessDirectDrawLive();
    out.cursorAtExit = HeadlessCursorCount();
    if (HeadlessLockedSurfaceCount() != 0 && out.firstTickLeavingALock < 0) {
        out.firstTickLeavingALock = out.ticks;
    }
    Matrix4 turned;
    MatrixIdentity(turned);
    for (int32_t i = 0; i < out.expectedTurns; ++i)
        MatrixRotateY(turned, kSpinStep);
    out.spinMatches = viewerState.scene != nullptr;
    for (int32_t i = 0; out.spinMatches && i < viewerState.scene->objectCount; ++i) {
        out.spinMatches = viewerState.scene->objects[i].matrix == turned;
    }

    ResetViewer(viewerState);
    ResetDisplayContext();
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
    return out;
}

// One paragraph for the test log: the seed to replay and what was switched on how often.
inline void PrintOutcome(const char* title, const Outcome& out) {
    std::printf(
        "%s: seed %u (replay with TRELLIS_FAULT_SEED=%u), %d ticks, %d faults armed, "
        "%d ticks locked, %d frames presented, exit status %d\n",
        title, out.seed, out.seed, out.ticks, out.injections, out.expectedTurns,
        out.framesPresented, out.status);
    for (size_t i = 0; i < Faults().size(); ++i) {
        if (out.injectionsPerFault[i] == 0) continue;
        std::printf("  %-12s %-52s %6d\n", SwitchName(Faults()[i].owner), Faults()[i].name,
                    out.injectionsPerFault[i]);
    }
}

// A run with the display ready: it lasted every tick, ended with status 0 after Escape, no
// tick left a surface locked or created or lost one, exactly the ticks that locked a frame
// turned the objects and exactly those expected presented one, every armed kind of fault
// happened, and shutdown released every surface and the DirectDraw object.
inline void ExpectSoundRun(const Outcome& out, int32_t ticks, const std::vector<Switch>& switches) {
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.ticks, ticks);
    EXPECT_EQ(out.firstTickLeavingALock, -1);
    EXPECT_EQ(out.firstTickChangingSurfaces, -1);
    EXPECT_EQ(out.framesPresented, out.expectedFrames);
    EXPECT_TRUE(out.spinMatches) << "objects did not turn exactly " << out.expectedTurns
                                 << " steps";
    EXPECT_EQ(out.liveSurfacesAtExit, 0);
    EXPECT_FALSE(out.directDrawLiveAtExit);
    EXPECT_EQ(out.cursorAtExit, 0);  // hidden at start-up, shown again by Escape
    for (size_t i = 0; i < Faults().size(); ++i) {
        bool wanted = switches.empty();
        for (Switch s : switches)
            wanted = wanted || Faults()[i].owner == s;
        if (wanted) {
            EXPECT_GT(out.injectionsPerFault[i], 0) << Faults()[i].name;
        }
    }
}

// The start-up calls that can fail, each with the call that fails (0 = its first call).
struct StartUpFault {
    const char* name;
    HeadlessCall call;
    int32_t failAt;
};

inline const std::vector<StartUpFault>& StartUpFaults() {
    static const std::vector<StartUpFault> faults = {
        {"DirectDrawCreate", HeadlessCall::DirectDrawCreate, 0},
        {"SetCooperativeLevel", HeadlessCall::SetCooperativeLevel, 0},
        {"SetDisplayMode", HeadlessCall::SetDisplayMode, 0},
        {"CreateSurface (primary)", HeadlessCall::CreateSurface, 0},
        {"GetAttachedSurface (back buffer)", HeadlessCall::GetAttachedSurface, 0},
        {"CreateSurface (work surface A)", HeadlessCall::CreateSurface, 1},
        {"CreateSurface (work surface B)", HeadlessCall::CreateSurface, 2},
    };
    return faults;
}

// A run whose display never became ready: every tick is dropped (nothing locked, turned or
// presented, the faults armed on the ticks never reached), Escape still ends it with status 0,
// and shutdown releases whatever the start-up created.
inline void ExpectSoundRunWithoutDisplay(const Outcome& out, int32_t ticks) {
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.ticks, ticks);
    EXPECT_EQ(out.firstTickLeavingALock, -1);
    EXPECT_EQ(out.framesPresented, 0);
    EXPECT_EQ(out.expectedTurns, 0);
    EXPECT_TRUE(out.spinMatches) << "objects turned without a display";
    EXPECT_EQ(out.liveSurfacesAtExit, 0);
    EXPECT_FALSE(out.directDrawLiveAtExit);
    EXPECT_EQ(out.cursorAtExit, 0);
}

// One run per switch, and one with every switch mixed: the cases of the fault tests.
struct SwitchCase {
    const char* name;
    std::vector<Switch> switches;  // empty: every switch, mixed
};

inline void PrintTo(const SwitchCase& c, std::ostream* os) {
    *os << c.name;
}

inline std::vector<SwitchCase> EachSwitchCases() {
    return {{"Lock", {Switch::Lock}},       {"PixelFormat", {Switch::PixelFormat}},
            {"BltFast", {Switch::BltFast}}, {"Flip", {Switch::Flip}},
            {"Restore", {Switch::Restore}}, {"AllMixed", {}}};
}

inline std::string SwitchCaseName(const testing::TestParamInfo<SwitchCase>& info) {
    return info.param.name;
}

}  // namespace fault_run
