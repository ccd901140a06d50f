// Loading fixture bytes in tests: each test writes its file under its own name in the
// test temporary directory (tests run in parallel processes) and loads it from there.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "scene/loader.h"

struct SceneDeleter {
    void operator()(Scene* scene) const { FreeScene(scene); }
};
using ScenePtr = std::unique_ptr<Scene, SceneDeleter>;

// A file path for the running test: <TRELLIS_TEST_TMP or /tmp>/<suite>.<test>.<pid><suffix>.
inline std::string FixturePath(const char* suffix = ".3ds") {
    const char* dir = std::getenv("TRELLIS_TEST_TMP");
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string path = dir != nullptr ? dir : "/tmp";
    path += "/";
    path += info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    path += "." + std::to_string(::getpid()) + suffix;
    return path;
}

// Writes `bytes` to the test's fixture path, loads it and removes the file.
inline ScenePtr LoadBytes(const std::vector<uint8_t>& bytes) {
    const std::string path = FixturePath();
    EXPECT_TRUE(WriteBytesToFile(bytes, path.c_str())) << path;
    ScenePtr scene(LoadScene(path.c_str()));
    std::remove(path.c_str());
    return scene;
}

// Wraps chunks in the main and editor chunks, as a scene file holds them.
template <class Body>
std::vector<uint8_t> EditorFile(Body&& body) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] { w.Chunk(chunk::Editor, [&] { body(w); }); });
    return w.bytes;
}

// Loads the scene file of EditorFile(body), expecting it to load.
template <class Body>
ScenePtr LoadEditor(Body&& body) {
    ScenePtr scene = LoadBytes(EditorFile(body));
    EXPECT_NE(scene, nullptr) << LastLoadError().message;
    return scene;
}
