// The views through the whole program: the trellis binary run with --output.
//
// Without a SCENE, and with --render wireframe --view fixed for any scene, every frame is the
// fixed path's (each object's matrix turned by MatrixRotateY each tick, the fixed camera,
// RenderObject); with a SCENE otherwise the scene is framed
// in a frame of --size; a camera that is not there is a usage error naming the file's.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/shell.h"
#include "chunk_writer.h"
#include "render/wireframe.h"
#include "scene/loader.h"

#include "fixture_scene.h"
#include "image_files.h"
#include "program_run.h"

namespace {

namespace fs = std::filesystem;
using Frame = std::vector<uint32_t>;

fs::path TempDir() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "views_output";
    fs::create_directories(dir);
    return dir;
}

fs::path TestFile(const char* suffix) {
    const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
    return TempDir() / (std::string(test) + suffix);
}

// Without a SCENE, and for any named one with --render wireframe --view fixed: each object's
// matrix turned by MatrixRotateY each tick, the fixed camera, RenderObject on black.
TEST(ViewsOutput, WithoutASceneEveryFrameIsTheFixedPath) {
    const fs::path written = TestFile(".3ds");
    ASSERT_TRUE(WriteBytesToFile(FixtureSceneBytes(), written.c_str()));
    struct Case {
        std::string options;
        std::string scene;  // the file the frames show
        size_t ticks;
    };
    const std::string bundled = TRELLIS_ASSETS_DIR "/svet.3ds";
    const std::vector<Case> cases = {
        {"", bundled, 30},
        {"--render wireframe --view fixed svet.3ds", bundled, 10},
        {"--render wireframe --view fixed '" + written.string() + "'", written.string(), 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const fs::path gif = TestFile(".gif");
        std::string errors;
        // The first ticks of the turn (30: a third), quick enough under the sanitizers.
        ASSERT_EQ(RunTrellis(TRELLIS_ASSETS_DIR,
                             c.options + " --frames " + std::to_string(c.ticks) + " --output '" +
                                 gif.string() + "'",
                             errors),
                  0)
            << errors;
        const std::vector<Frame> frames = ReadGif(gif).frames;
        ASSERT_EQ(frames.size(), c.ticks);

        Scene* scene = LoadScene(c.scene.c_str());
        ASSERT_NE(scene, nullptr);
        ResetObjectSpins(*scene);
        Matrix4 camera;
        BuildFixedCamera(camera);
        SetProjection(640, 480);
        Frame expected(640 * 480);
        for (size_t tick = 0; tick < frames.size(); ++tick) {
            std::fill(expected.begin(), expected.end(), 0u);
            for (int32_t i = 0; i < scene->objectCount; ++i) {
                MeshObject& object = scene->objects[i];
                MatrixRotateY(object.matrix, kSpinStep);
                RenderObject(object.matrix, camera, object, expected.data());
            }
            EXPECT_GT(std::count(expected.begin(), expected.end(), 0u), 0);
            EXPECT_LT(std::count(expected.begin(), expected.end(), 0u),
                      static_cast<long>(expected.size()));
            EXPECT_TRUE(frames[tick] == expected) << "tick " << tick;
        }
        FreeScene(scene);
    }
}

// A small box in millimetres far from the origin, with a camera looking at it.
std::vector<uint8_t> FarBoxBytes() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Part", [&] {
                WriteVertexList(w, {25000, -4000, 700,   25012, -4000, 700,   25000, -3992,
                                    700,   25012, -3992, 700,   25000, -4000, 705,   25012,
                                    -4000, 705,   25000, -3992, 705,   25012, -3992, 705});
                WriteFaceList(w, {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                                  2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5});
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Camera01");
                w.Chunk(chunk::Camera, [&] {
                    w.Floats({25006, -4020, 715, 25006, -3996, 702, 0, 50});
                });
            });
        });
    });
    return w.bytes;
}

TEST(ViewsOutput, NamedSceneIsFramedInTheSizeAsked) {
    const fs::path scene = TestFile(".3ds");
    ASSERT_TRUE(WriteBytesToFile(FarBoxBytes(), scene.c_str()));
    struct Case {
        std::string options;
        int32_t width, height;
    };
    const std::vector<Case> cases = {
        {"", 640, 480}, {"--size 300x500", 300, 500}, {"--camera --size 200x100", 200, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const fs::path png = TestFile(".png");
        std::string errors;
        ASSERT_EQ(
            RunTrellis(TempDir(), c.options + " -o '" + png.string() + "' '" + scene.string() + "'",
                       errors),
            0)
            << errors;
        int32_t width = 0, height = 0;
        const Frame frame = ReadPng(png, width, height);
        ASSERT_EQ(width, c.width);
        ASSERT_EQ(height, c.height);
        // Shaded: what differs from the background of the frame's corner is the scene.
        int32_t minX = width, maxX = -1, minY = height, maxY = -1;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                if (frame[static_cast<size_t>(y * width + x)] == frame[0]) continue;
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
        // Drawn well inside the frame, and large.
        EXPECT_GT(minX, 0);
        EXPECT_GT(minY, 0);
        EXPECT_LT(maxX, width - 1);
        EXPECT_LT(maxY, height - 1);
        EXPECT_TRUE((maxX - minX) * 2 > width || (maxY - minY) * 2 > height);
    }
}

TEST(ViewsOutput, MissingCameraIsAUsageErrorNamingTheFilesCameras) {
    const fs::path scene = TestFile(".3ds");
    ASSERT_TRUE(WriteBytesToFile(FarBoxBytes(), scene.c_str()));
    const fs::path png = TestFile(".png");
    fs::remove(png);
    std::string errors;
    EXPECT_EQ(RunTrellis(TempDir(),
                         "--camera=Top -o '" + png.string() + "' '" + scene.string() + "'", errors),
              2);
    EXPECT_NE(errors.find("no camera named \"Top\"; the file's cameras: \"Camera01\""),
              std::string::npos)
        << errors;
    EXPECT_FALSE(fs::exists(png));

    EXPECT_EQ(RunTrellis(TRELLIS_ASSETS_DIR, "--camera=Camera01 -o '" + png.string() + "'", errors),
              0)
        << errors;

    ChunkWriter w;
    w.Chunk(chunk::Main, [&] { w.Empty(chunk::Editor); });
    ASSERT_TRUE(WriteBytesToFile(w.bytes, scene.c_str()));
    EXPECT_EQ(RunTrellis(TempDir(), "--camera -o '" + png.string() + "' '" + scene.string() + "'",
                         errors),
              2);
    EXPECT_NE(errors.find("the file has no cameras"), std::string::npos) << errors;
}

// A shaded picture of the bundled scene wears its jade map (found beside the scene), and
// --no-textures draws the same faces in the material's own colour.
TEST(ViewsOutput, ShadedPicturesWearTheSceneMapsUnlessTexturesAreOff) {
    const fs::path textured = TestFile("-textured.png");
    const fs::path plain = TestFile("-plain.png");
    std::string errors;
    ASSERT_EQ(RunTrellis(TRELLIS_ASSETS_DIR,
                         "--render shaded --size 160x120 -o '" + textured.string() + "' svet.3ds",
                         errors),
              0)
        << errors;
    EXPECT_EQ(errors, "");
    ASSERT_EQ(RunTrellis(TRELLIS_ASSETS_DIR,
                         "--render shaded --no-textures --size 160x120 -o '" + plain.string() +
                             "' svet.3ds",
                         errors),
              0)
        << errors;
    const std::string texturedBytes = ReadTextFile(textured);
    ASSERT_FALSE(texturedBytes.empty());
    EXPECT_NE(texturedBytes, ReadTextFile(plain));
}

}  // namespace
