// Standard input read into memory up to the loader's limit, and the check of a scene file
// that comes before anything else the viewer does.
#include "app/scene_input.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "scene/loader.h"

namespace {

namespace fs = std::filesystem;

fs::path TempDir() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "scene_input";
    fs::create_directories(dir);
    return dir;
}

// A stream of `count` bytes "xxx...", at its start.
std::FILE* StreamOfBytes(size_t count) {
    std::FILE* stream = std::tmpfile();
    EXPECT_NE(stream, nullptr);
    for (size_t i = 0; i < count; ++i)
        std::fputc('x', stream);
    std::rewind(stream);
    return stream;
}

TEST(SceneInput, ReadsUpToTheLimitAndNoFurther) {
    struct Case {
        const char* name;
        size_t bytes;
        int64_t limit;
        bool read;
    };
    const Case cases[] = {
        {"nothing", 0, 10, true},
        {"at the limit", 10, 10, true},
        {"one byte past it", 11, 10, false},
        {"past it by blocks", 200000, 70000, false},
        {"several blocks", 200000, kMaxSceneFileBytes, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* in = StreamOfBytes(c.bytes);
        std::string error;
        EXPECT_EQ(ReadSceneInput(in, c.limit, error), c.read) << error;
        std::fclose(in);
        if (!c.read) {
            EXPECT_EQ(error, "standard input holds more than " + std::to_string(c.limit) +
                                 " bytes, the most a scene file can have");
            EXPECT_EQ(sceneInput.stream, nullptr);
            continue;
        }
        ASSERT_NE(sceneInput.stream, nullptr);
        EXPECT_EQ(sceneInput.bytes.size(), c.bytes);
        // The loader walks all of it: one unknown chunk cut short by the end of the file.
        Scene* scene = LoadNamedScene("-");
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        EXPECT_EQ(LastFileHead().count, static_cast<int32_t>(std::min<size_t>(c.bytes, 16)));
        EXPECT_FALSE(StartsWithMainChunk(LastFileHead()));
        FreeScene(scene);
    }
    CloseSceneInput();
    EXPECT_EQ(sceneInput.stream, nullptr);
}

TEST(SceneInput, CheckPassesOnlyARegularFileThatOpens) {
    const fs::path dir = TempDir();
    const fs::path regular = dir / "regular.3ds";
    {
        std::FILE* f = std::fopen(regular.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    const fs::path pipe = dir / "pipe.3ds";
    fs::remove(pipe);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        std::string error;  // empty when the check passes
    };
    const Case cases[] = {
        {"regular file", regular.string(), ""},
        {"standard input", "-", ""},
        {"missing", (dir / "missing.3ds").string(), "No such file or directory"},
        {"directory", dir.string(), "Is a directory"},
        {"named pipe (no writer: must not wait)", pipe.string(), "not a regular file"},
        {"device", "/dev/null", "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_EQ(CheckSceneFile(c.path.c_str(), error), c.error.empty());
        EXPECT_EQ(error, c.error);
    }
    if (geteuid() != 0) {  // root reads whatever the mode says
        const fs::path locked = dir / "locked.3ds";
        {
            std::FILE* f = std::fopen(locked.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fclose(f);
        }
        fs::permissions(locked, fs::perms::none);
        std::string error;
        EXPECT_FALSE(CheckSceneFile(locked.c_str(), error));
        EXPECT_EQ(error, "Permission denied");
    }
    fs::remove(pipe);
}

}  // namespace
