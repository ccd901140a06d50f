// The --info and --chunks reports on the bundled scene and on a broken file.
#include "app/scene_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

const std::string kScene = std::string(TRELLIS_ASSETS_DIR) + "/svet.3ds";

// Runs `report` with a temporary file as its output and returns what it wrote.
template <class Report>
std::string Capture(Report report, int& status) {
    std::FILE* out = std::tmpfile();
    status = report(out);
    std::fflush(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

// The bundled scene with the vertex count of its first vertex list raised to 65,535.
std::string BrokenScene() {
    std::ifstream in(kScene, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (size_t i = 0; i + 7 < bytes.size(); ++i) {
        if (bytes[i] == '\x10' && bytes[i + 1] == '\x41') {
            bytes[i + 6] = bytes[i + 7] = '\xFF';
            break;
        }
    }
    const std::string path = ::testing::TempDir() + "report_broken.3ds";
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(SceneReport, JsonInfoOfTheBundledSceneIsValidWithItsCounts) {
    int status = -1;
    const std::string text = Capture(
        [](std::FILE* out) { return PrintSceneInfo(kScene.c_str(), true, out, stderr); }, status);
    EXPECT_EQ(status, 0);
    const nlohmann::json doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc["objects"].size(), 5u);
    EXPECT_EQ(doc["objects"][0]["name"], "Knot");
    EXPECT_EQ(doc["materials"].size(), 4u);
    EXPECT_EQ(doc["lights"].size(), 2u);
    EXPECT_EQ(doc["lights"][1]["spot"], true);
    ASSERT_EQ(doc["cameras"].size(), 1u);
    EXPECT_NEAR(doc["cameras"][0]["matrix"][3][2].get<double>(), -129.90381, 1e-4);
    EXPECT_EQ(doc["segment"]["end"], 100);
    // 2 atan(18 / 35) in degrees, and the box of every position in the file's axes.
    EXPECT_NEAR(doc["cameras"][0]["fieldOfView"].get<double>(), 54.4322, 1e-4);
    EXPECT_EQ(doc["bounds"]["finitePositions"], 1751);
    EXPECT_EQ(doc["bounds"]["nonFinitePositions"], 0);
    EXPECT_EQ(doc["bounds"]["min"], nlohmann::json::array({-78.5, -78.5, -44.0}));
    EXPECT_EQ(doc["bounds"]["max"], nlohmann::json::array({78.5, 78.5, 51.0}));
    EXPECT_EQ(doc["bounds"]["centre"], nlohmann::json::array({0.0, 0.0, 3.5}));
    EXPECT_EQ(doc["bounds"]["size"], nlohmann::json::array({157.0, 157.0, 95.0}));
}

TEST(SceneReport, BrokenFileGivesTheReasonInEveryReport) {
    const std::string path = BrokenScene();
    int status = -1;
    const std::string json = Capture(
        [&](std::FILE* out) { return PrintSceneInfo(path.c_str(), true, out, stderr); }, status);
    EXPECT_EQ(status, 1);
    const nlohmann::json doc = nlohmann::json::parse(json);
    EXPECT_EQ(doc["error"]["chunk"], 0x4110);
    EXPECT_NE(doc["error"]["message"].get<std::string>().find("65535 vertices"), std::string::npos);

    const std::string tree =
        Capture([&](std::FILE* out) { return PrintChunkTree(path.c_str(), out); }, status);
    EXPECT_EQ(status, 1);
    const size_t mark = tree.find("<-- load fails here");
    ASSERT_NE(mark, std::string::npos) << tree;
    const size_t lineStart = tree.rfind('\n', mark) + 1;
    EXPECT_NE(tree.substr(lineStart, mark - lineStart).find("0x4110"), std::string::npos);
    EXPECT_NE(tree.find("load fails: chunk 0x4110"), std::string::npos);
}

TEST(SceneReport, ChunkTreeOfTheBundledSceneIndentsByDepthAndNamesRoles) {
    int status = -1;
    const std::string tree =
        Capture([](std::FILE* out) { return PrintChunkTree(kScene.c_str(), out); }, status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(tree.find("\n0x4D4D"), std::string::npos);
    EXPECT_NE(tree.find("\n  0x3D3D"), std::string::npos);
    EXPECT_NE(tree.find("vertex list"), std::string::npos);
    EXPECT_EQ(tree.find("load fails"), std::string::npos);
}

}  // namespace
