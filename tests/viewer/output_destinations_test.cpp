// Where a picture may be written, through the whole program: the trellis binary run with
// --output at each kind of destination, checking its exit status and everything left on
// disk afterwards (the target, the scene, any file beside them).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "image_files.h"
#include "run_program.h"

namespace {

namespace fs = std::filesystem;

const std::string kScene = std::string(TRELLIS_ASSETS_DIR) + "/svet.3ds";

// A fresh, empty folder for one case.
fs::path CaseDir(const std::string& name) {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    const fs::path dir =
        fs::path(base ? base : fs::temp_directory_path().string()) / "output_destinations" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

bool IsPng(const fs::path& path) {
    return FileContents(path).rfind("\x89PNG\r\n\x1a\n", 0) == 0;
}

// The names in `dir` (links not followed).
std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

struct Destination {
    const char* name;
    std::function<void(const fs::path&)> prepare;  // puts what the case needs in the folder
    std::string command;                           // run there; $T is the program
    int status;                                    // the exit status expected
    std::set<std::string> left;                    // every name in the folder afterwards
    std::function<void(const fs::path&)> check;    // what those files must hold
};

void CopyScene(const fs::path& dir, const char* name = "m.3ds") {
    fs::copy_file(kScene, dir / name);
}

TEST(OutputDestinations, EachKindOfTargetIsWrittenOrRefusedAndNothingIsLost) {
    const std::string scene = Quoted(kScene);
    const std::string longName = std::string(251, 'n') + ".png";
    const bool root = geteuid() == 0;
    const std::vector<Destination> cases = {
        {"a new file",
         nullptr,
         "$T --size 32x24 --output new.png " + scene,
         0,
         {"new.png"},
         [](const fs::path& d) { EXPECT_TRUE(IsPng(d / "new.png")); }},
        {"an existing file is replaced whole and keeps its permissions",
         [](const fs::path& d) {
             std::ofstream(d / "old.png") << "earlier";
             fs::permissions(d / "old.png", fs::perms::owner_read | fs::perms::owner_write);
         },
         "$T --size 32x24 --output old.png " + scene,
         0,
         {"old.png"},
         [](const fs::path& d) {
             EXPECT_TRUE(IsPng(d / "old.png"));
             EXPECT_EQ(fs::status(d / "old.png").permissions(),
                       fs::perms::owner_read | fs::perms::owner_write);
         }},
        {"a device is written in place, never replaced",
         [root](const fs::path& d) {
             if (root) {
                 ASSERT_EQ(mknod((d / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
             } else {
                 fs::create_symlink("/dev/null", d / "null");
             }
         },
         "$T --thumbnail 16 --output null " + scene,
         0,
         {"null"},
         [](const fs::path& d) { EXPECT_TRUE(fs::is_character_file(d / "null")); }},
        {"a named pipe with no reader is refused at once",
         [](const fs::path& d) { ASSERT_EQ(mkfifo((d / "pipe.png").c_str(), 0666), 0); },
         "timeout 10 $T --output pipe.png " + scene,
         1,
         {"pipe.png"},
         [](const fs::path& d) { EXPECT_TRUE(fs::is_fifo(d / "pipe.png")); }},
        {"a link planted at the old temporary name is never followed",
         [](const fs::path& d) {
             std::ofstream(d / "secret") << "keep me";
             fs::create_symlink("secret", d / "x.png.part");
         },
         "$T --size 32x24 --output x.png " + scene,
         0,
         {"secret", "x.png", "x.png.part"},
         [](const fs::path& d) {
             EXPECT_EQ(FileContents(d / "secret"), "keep me");
             EXPECT_TRUE(fs::is_symlink(d / "x.png.part"));
             EXPECT_TRUE(IsPng(d / "x.png"));
         }},
        {"a file at the old temporary name is left alone",
         [](const fs::path& d) { std::ofstream(d / "y.png.part") << "unrelated"; },
         "$T --size 32x24 --output y.png " + scene,
         0,
         {"y.png", "y.png.part"},
         [](const fs::path& d) { EXPECT_EQ(FileContents(d / "y.png.part"), "unrelated"); }},
        {"the scene itself is refused",
         [](const fs::path& d) { CopyScene(d); },
         "$T --thumbnail 16 --output m.3ds m.3ds",
         1,
         {"m.3ds"},
         [](const fs::path& d) { EXPECT_EQ(FileContents(d / "m.3ds"), FileContents(kScene)); }},
        {"the scene through a hard link is refused",
         [](const fs::path& d) {
             CopyScene(d);
             fs::create_hard_link(d / "m.3ds", d / "hard.png");
         },
         "$T --thumbnail 16 --output hard.png m.3ds",
         1,
         {"m.3ds", "hard.png"},
         [](const fs::path& d) { EXPECT_EQ(FileContents(d / "m.3ds"), FileContents(kScene)); }},
        {"the scene through a symbolic link is refused",
         [](const fs::path& d) {
             CopyScene(d);
             fs::create_symlink("m.3ds", d / "soft.png");
         },
         "$T --thumbnail 16 --output soft.png m.3ds",
         1,
         {"m.3ds", "soft.png"},
         [](const fs::path& d) {
             EXPECT_EQ(FileContents(d / "m.3ds"), FileContents(kScene));
             EXPECT_TRUE(fs::is_symlink(d / "soft.png"));
         }},
        {"a link to another file replaces that file and stays a link",
         [](const fs::path& d) {
             std::ofstream(d / "real.png") << "earlier";
             fs::create_symlink("real.png", d / "link.png");
         },
         "$T --size 32x24 --output link.png " + scene,
         0,
         {"link.png", "real.png"},
         [](const fs::path& d) {
             EXPECT_TRUE(fs::is_symlink(d / "link.png"));
             EXPECT_TRUE(IsPng(d / "real.png"));
         }},
        {"a link to nothing is refused",
         [](const fs::path& d) { fs::create_symlink("nowhere.png", d / "dangling.png"); },
         "$T --size 32x24 --output dangling.png " + scene,
         1,
         {"dangling.png"},
         nullptr},
        {"a full disk fails and keeps the earlier file",
         [](const fs::path& d) { std::ofstream(d / "full.png") << "earlier"; },
         // At most 1 KiB may be written (the picture is more); SIGXFSZ ignored, the write
         // fails as it would on a full disk.
         "(trap '' XFSZ; ulimit -f 1; $T --output full.png " + scene + ")",
         1,
         {"full.png"},
         [](const fs::path& d) { EXPECT_EQ(FileContents(d / "full.png"), "earlier"); }},
        {"/dev/full fails", nullptr, "$T --output /dev/full --format png " + scene, 1, {}, nullptr},
        {"standard output into /dev/full fails",
         nullptr,
         "$T --output - " + scene + " >/dev/full",
         1,
         {},
         nullptr},
        {"standard output",
         nullptr,
         "$T --size 32x24 --output - " + scene + " >out.png",
         0,
         {"out.png"},
         [](const fs::path& d) { EXPECT_TRUE(IsPng(d / "out.png")); }},
        {"a name of 255 bytes",
         nullptr,
         "$T --size 32x24 --output " + longName + " " + scene,
         0,
         {longName},
         [longName](const fs::path& d) { EXPECT_TRUE(IsPng(d / longName)); }},
        {"a folder that does not exist",
         nullptr,
         "$T --size 32x24 --output missing/x.png " + scene,
         1,
         {},
         nullptr},
    };
    for (const Destination& c : cases) {
        SCOPED_TRACE(c.name);
        std::string folder = c.name;
        for (char& ch : folder)
            if (ch == ' ' || ch == '/') ch = '_';
        const fs::path dir = CaseDir(folder);
        if (c.prepare) c.prepare(dir);
        EXPECT_EQ(RunLineIn(dir, c.command + " 2>/dev/null"), c.status);
        EXPECT_EQ(Names(dir), c.left);
        if (c.check) c.check(dir);
    }
}

TEST(OutputDestinations, TwoRunsWritingOneFileLeaveOneWholePicture) {
    const fs::path dir = CaseDir("concurrent");
    const std::string scene = Quoted(kScene);
    // Two pictures of different sizes, written at the same moment, several times over.
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(RunLineIn(dir, "($T --size 40x30 --output same.png " + scene +
                                     " & a=$!; $T --size 30x40 --output same.png " + scene +
                                     " & b=$!; wait $a && wait $b)"),
                  0);
        EXPECT_EQ(Names(dir), std::set<std::string>{"same.png"});
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> pixels = ReadPng((dir / "same.png").string(), width, height);
        EXPECT_TRUE((width == 40 && height == 30) || (width == 30 && height == 40));
        EXPECT_EQ(pixels.size(), 1200u);
    }
}

TEST(OutputDestinations, ATerminatedRunLeavesNoTemporaryFile) {
    const fs::path dir = CaseDir("terminated");
    std::ofstream(dir / "x.gif") << "earlier";
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (chdir(dir.c_str()) != 0) _exit(99);
            // A GIF of many frames: a few seconds of work, under way when the signal comes.
            execl(TRELLIS_BINARY, TRELLIS_BINARY, "--frames", "100000", "--size", "64x64",
                  "--output", "x.gif", kScene.c_str(), static_cast<char*>(nullptr));
            _exit(98);
        }
        // Until the temporary file exists, then the signal.
        const auto start = std::chrono::steady_clock::now();
        while (Names(dir).size() < 2 &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(Names(dir).size(), 2u);
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        EXPECT_EQ(Names(dir), std::set<std::string>{"x.gif"});
        EXPECT_EQ(FileContents(dir / "x.gif"), "earlier");
    }
}

TEST(ReportOutput, AReportThatCannotBeWrittenWholeFails) {
    const fs::path dir = CaseDir("reports");
    for (const char* report : {"--info", "--info --json", "--chunks", "--help", "--version"}) {
        SCOPED_TRACE(report);
        EXPECT_EQ(RunLineIn(dir, std::string("$T ") + report + " " + Quoted(kScene) +
                                     " >/dev/full 2>err.txt"),
                  1);
        EXPECT_EQ(FileContents(dir / "err.txt"),
                  "trellis: standard output: No space left on device\n");
        EXPECT_EQ(
            RunLineIn(dir, std::string("$T ") + report + " " + Quoted(kScene) + " >/dev/null"), 0);
    }
}

TEST(ReportOutput, APipeOrDeviceAsTheSceneIsRefusedWithoutWaiting) {
    const fs::path dir = CaseDir("fifo_scene");
    ASSERT_EQ(mkfifo((dir / "pipe.3ds").c_str(), 0666), 0);
    for (const char* report : {"--info", "--info --json", "--chunks"}) {
        SCOPED_TRACE(report);
        EXPECT_EQ(RunLineIn(dir, std::string("timeout 10 $T ") + report + " pipe.3ds >out 2>err"),
                  1);
        EXPECT_NE(
            (FileContents(dir / "out") + FileContents(dir / "err")).find("not a regular file"),
            std::string::npos);
    }
    EXPECT_EQ(RunLineIn(dir, "timeout 10 $T --info /dev/zero >/dev/null 2>&1"), 1);
}

}  // namespace
