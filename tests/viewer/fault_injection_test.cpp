// Display faults over whole viewer runs: each failure switch of the headless backend armed at
// random ticks of a 1,000-tick run on the fixture scene, every start-up failure for a whole
// run, and the backend's script and message hook that the runs rely on. The soak program
// repeats the tick runs for 10,000 ticks on the bundled scene.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "fault_run.h"
#include "fixture_scene.h"
#include "script_window.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kTicks = 1000;
constexpr uint32_t kSeed = 20240611;

// The fixture scene, written once per test under the test's own name (tests run in parallel
// processes).
std::string FixturePath() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "fault_injection";
    fs::create_directories(dir);
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + ".3ds";
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    fs::path path = dir / name;
    EXPECT_TRUE(WriteBytesToFile(FixtureSceneBytes(), path.c_str()));
    return path.string();
}

struct Hooked {
    std::vector<std::pair<UINT, int32_t>> seen;
};

void Record(UINT message, int32_t ticks, void* user) {
    static_cast<Hooked*>(user)->seen.emplace_back(message, ticks);
}

TEST(HeadlessScript, HookSeesEveryMessageBeforeItsDispatchWithTheTicksBefore) {
    UseHeadlessBackend();
    CreateScriptWindow("HookTest");
    // Runs of ticks given in several calls join into one entry of the script.
    HeadlessScriptTicks(2);
    HeadlessScriptTicks(1);
    HeadlessScriptKey('A');
    HeadlessScriptTicks(0);
    HeadlessScriptTicks(1);
    Hooked hooked;
    HeadlessSetMessageHook(Record, &hooked);
    RunScriptedMessages();
    // WM_TIMER ticks are counted after their hook call; the used-up script closes the window.
    EXPECT_EQ(hooked.seen, (std::vector<std::pair<UINT, int32_t>>{{WM_TIMER, 0},
                                                                  {WM_TIMER, 1},
                                                                  {WM_TIMER, 2},
                                                                  {WM_KEYDOWN, 3},
                                                                  {WM_TIMER, 3},
                                                                  {WM_CLOSE, 4}}));
    ResetHeadlessBackend();
    SetPlatformBackend(nullptr);
}

using fault_run::SwitchCase;

class FaultInjection : public testing::TestWithParam<SwitchCase> {};

TEST_P(FaultInjection, ViewerKeepsRunningAndEndsCleanlyAfterEscape) {
    const SwitchCase& c = GetParam();
    fault_run::Outcome out = fault_run::RunViewerWithFaults(FixturePath(), kTicks, c.switches,
                                                            fault_run::SeedFromEnvironment(kSeed));
    fault_run::PrintOutcome(c.name, out);
    fault_run::ExpectSoundRun(out, kTicks, c.switches);
}

INSTANTIATE_TEST_SUITE_P(EachSwitch, FaultInjection,
                         testing::ValuesIn(fault_run::EachSwitchCases()),
                         fault_run::SwitchCaseName);

TEST(FaultInjection, FailedStartUpStepDropsEveryTickAndEscapeStillEndsCleanly) {
    const std::string scene = FixturePath();
    for (const fault_run::StartUpFault& f : fault_run::StartUpFaults()) {
        SCOPED_TRACE(f.name);
        // The tick faults are armed too: with no display they are never reached.
        fault_run::Outcome out =
            fault_run::RunViewerWithFaults(scene, 200, {}, kSeed, f.call, f.failAt);
        fault_run::ExpectSoundRunWithoutDisplay(out, 200);
    }
}

}  // namespace
