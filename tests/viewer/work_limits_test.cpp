// The limits on what a file can make the program do, through the whole program: the faces
// a frame draws, the frames a GIF of --animate holds, and the memory a run takes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "hostile_scenes.h"
#include "image_files.h"
#include "run_program.h"

namespace {

namespace fs = std::filesystem;

// The running test's own folder (ctest runs tests in parallel processes).
fs::path Dir() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    const fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) /
                         "work_limits" /
                         testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir);
    return dir;
}

// Runs the program in the test folder with `arguments`; its exit status, stderr in `errors`.
int RunTrellis(const std::string& arguments, std::string& errors) {
    const int status = RunLineIn(Dir(), "$T " + arguments + " 2>stderr.txt");
    errors = FileContents(Dir() / "stderr.txt");
    return status;
}

fs::path Write(const char* name, const std::vector<uint8_t>& bytes) {
    const fs::path path = Dir() / name;
    EXPECT_TRUE(WriteBytesToFile(bytes, path.c_str()));
    return path;
}

// Every name in the test folder but the scenes and stderr: what a run left.
std::vector<std::string> Pictures() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(Dir())) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".3ds" && name != "stderr.txt") names.push_back(name);
    }
    return names;
}

// A mesh of 65,535 faces drawn by 800 nodes: 52 million faces a frame, past the budget.
TEST(WorkLimits, AFrameOverTheBudgetSaysSoAndDrawsNothingElse) {
    Write("instances.3ds", hostile::ManyInstances(800));
    std::string errors;
    ASSERT_EQ(RunTrellis("--animate --size 160x40 --output many.png instances.3ds", errors), 0)
        << errors;
    // Its nodes have no keys: the scene stands still, and says so first.
    EXPECT_EQ(errors,
              "trellis: instances.3ds: the file has no keyframe animation; it stands still\n"
              "trellis: instances.3ds: scene too large to draw: 52428000 faces in a frame, more "
              "than 50000000 (--max-faces raises it)\n");
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> pixels = ReadPng(Dir() / "many.png", width, height);
    size_t white = 0, other = 0;
    for (uint32_t p : pixels) {
        white += (p & 0xFFFFFF) == 0xFFFFFF;
        other += (p & 0xFFFFFF) != 0xFFFFFF && (p & 0xFFFFFF) != 0;
    }
    EXPECT_GT(white, 100u);  // the notice
    EXPECT_EQ(other, 0u);    // and no line of the scene

    // A thumbnail of it is no picture at all.
    fs::remove(Dir() / "many.png");
    EXPECT_EQ(RunTrellis("--animate --thumbnail 32 --output thumb.png instances.3ds", errors), 1);
    EXPECT_TRUE(Pictures().empty());
}

// 20 nodes: 1.3 million faces a frame, over a budget set lower, drawn under a higher one.
TEST(WorkLimits, TheBudgetIsTheOptions) {
    Write("instances.3ds", hostile::ManyInstances(20));
    std::string errors;
    EXPECT_EQ(RunTrellis("--animate --max-faces 1000000 --size 32x24 --output a.png "
                         "instances.3ds",
                         errors),
              0);
    EXPECT_NE(errors.find("scene too large to draw: 1310700 faces in a frame, more than 1000000"),
              std::string::npos)
        << errors;
    EXPECT_EQ(RunTrellis("--animate --max-faces 1310700 --size 32x24 --output a.png "
                         "instances.3ds",
                         errors),
              0);
    EXPECT_EQ(errors,
              "trellis: instances.3ds: the file has no keyframe animation; it stands still\n");
}

TEST(WorkLimits, AGifOfALongAnimationHoldsAThousandFrames) {
    Write("long.3ds", hostile::LongSegment(0x80000000u));
    std::string errors;
    ASSERT_EQ(RunTrellis("--animate --size 16x16 --output long.gif long.3ds", errors), 0) << errors;
    EXPECT_NE(errors.find("long.3ds: one loop of the animation is longer than 1000 frames; the "
                          "GIF holds the first 1000 (--frames N for more)"),
              std::string::npos)
        << errors;
    EXPECT_EQ(ReadGif(Dir() / "long.gif").frames.size(), 1000u);
}

TEST(WorkLimits, AScenePastTheMemoryAllowanceIsRefusedInOneLine) {
    // 600,000 empty keyframer nodes: 3.6 MB, whose records fit a thumbnail's allowance and
    // whose animation (hundreds of bytes a node) does not fit that of --info.
    Write("nodes.3ds", hostile::EmptyNodes(3600000));
    std::string errors;
    EXPECT_EQ(RunTrellis("--info nodes.3ds >info.txt", errors), 1);
    EXPECT_EQ(errors,
              "trellis: nodes.3ds: the scene needs more memory than the 78 MiB allowed for a "
              "file of its size (--max-memory raises it)\n");
    fs::remove(Dir() / "info.txt");
    EXPECT_EQ(RunTrellis("--max-memory 1G --info nodes.3ds >/dev/null", errors), 0) << errors;
    // A thumbnail's allowance holds the load: the run fails only because there is nothing to
    // draw.
    EXPECT_EQ(RunTrellis("--thumbnail 16 --output thumb.png nodes.3ds", errors), 1);
    EXPECT_EQ(errors, "trellis: nodes.3ds: nothing to draw: the scene has no vertices\n");
    EXPECT_TRUE(Pictures().empty());

    // Past --max-memory in the arena (the load) and in operator new (the animation of
    // --animate): one line each, status 1, no picture and no temporary file.
    EXPECT_EQ(RunTrellis("--max-memory 16M --output a.png nodes.3ds", errors), 1);
    EXPECT_EQ(errors,
              "trellis: nodes.3ds: the scene needs more memory than the 16 MiB that "
              "--max-memory allows\n");
    EXPECT_EQ(RunTrellis("--max-memory 40M --animate --output a.gif nodes.3ds", errors), 1);
    EXPECT_EQ(errors,
              "trellis: nodes.3ds: the scene needs more memory than the 40 MiB that "
              "--max-memory allows\n");
    EXPECT_TRUE(Pictures().empty());
}

}  // namespace
