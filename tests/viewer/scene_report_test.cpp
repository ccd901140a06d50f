// The --info and --chunks reports on the bundled scene and on a broken file.
#include "app/report/chunk_tree.h"
#include "app/report/scene_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "chunk_writer.h"

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
        [](std::FILE* out) { return PrintSceneInfo(kScene.c_str(), true, nullptr, out, stderr); },
        status);
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
        [&](std::FILE* out) { return PrintSceneInfo(path.c_str(), true, nullptr, out, stderr); },
        status);
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

// ---- Names that are not text --------------------------------------------------------------

// Every byte is printable ASCII or a line feed; the count of line feeds.
::testing::AssertionResult PrintableLines(const std::string& text, size_t lines) {
    for (const char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\n') || b >= 0x7F) {
            return ::testing::AssertionFailure() << "byte " << int{b} << " in:\n" << text;
        }
    }
    const size_t count = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    if (count != lines) {
        return ::testing::AssertionFailure() << count << " lines, not " << lines << ":\n" << text;
    }
    return ::testing::AssertionSuccess();
}

struct HostileName {
    std::string bytes;
    const char* shown;      // in the text report
    const char* json;       // the JSON string's value, as UTF-8
    const char* jsonBytes;  // "nameBytes" beside it: the bytes in hexadecimal; "" for none
};

// ESC sequences (clear the screen, fake a line, set the window title), CR and LF, C1
// controls raw and as UTF-8, DEL, bytes that are not UTF-8 (read as Latin-1 in JSON).
const HostileName kHostileNames[] = {
    {"\x1b[2J\x1b[1;1Hok", "\\x1b[2J\\x1b[1;1Hok", "\x1b[2J\x1b[1;1Hok", ""},
    {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07", "\x1b]0;owned\x07", ""},
    {"A\r\nloads: 1 chunks", "A\\x0d\\x0aloads: 1 chunks", "A\r\nloads: 1 chunks", ""},
    {"\x9b"
     "31m\x85\x7f",
     "\\x9b31m\\x85\\x7f",
     "\xc2\x9b"
     "31m\xc2\x85\x7f",
     "9b33316d857f"},
    {"\xc2\x9b"
     "2J",
     "\\xc2\\x9b2J",
     "\xc2\x9b"
     "2J",
     ""},
    {"\xff\xfe(", "\\xff\\xfe(", "\xc3\xbf\xc3\xbe(", "fffe28"},
};

// A scene with one mesh, material, light and camera under each hostile name; when `broken`,
// the last mesh's face names a vertex it does not have.
std::vector<uint8_t> HostileScene(bool broken) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (const HostileName& name : kHostileNames) {
                w.Chunk(chunk::Material,
                        [&] { w.Chunk(chunk::MaterialName, [&] { w.Name(name.bytes); }); });
                WriteNamedMesh(w, name.bytes, [&] {
                    WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                    const bool last = &name == &kHostileNames[std::size(kHostileNames) - 1];
                    WriteFaceList(w, {0, 1, static_cast<uint16_t>(broken && last ? 9 : 2)});
                });
                w.Chunk(chunk::NamedObject, [&] {
                    w.Name(name.bytes);
                    w.Chunk(chunk::Light, [&] { w.Floats({1, 2, 3}); });
                });
                w.Chunk(chunk::NamedObject, [&] {
                    w.Name(name.bytes);
                    w.Chunk(chunk::Camera, [&] { w.Floats({0, 0, 0, 0, 1, 0, 0, 35}); });
                });
            }
        });
    });
    return w.bytes;
}

// Runs `report` with temporary files as its output and error streams.
template <class Report>
int CaptureBoth(Report report, std::string& out, std::string& err) {
    int status = -1, ignored = 0;
    out = Capture(
        [&](std::FILE* o) {
            err = Capture(
                [&](std::FILE* e) {
                    status = report(o, e);
                    return 0;
                },
                ignored);
            return status;
        },
        ignored);
    return status;
}

TEST(SceneReport, NamesWithControlBytesReachNoReportRaw) {
    // The file's own name holds an escape sequence and a line break too.
    const std::string path = ::testing::TempDir() + "report_\x1b[31m\nhostile.3ds";
    ASSERT_TRUE(WriteBytesToFile(HostileScene(false), path.c_str()));
    const size_t n = std::size(kHostileNames);
    std::string out, err;

    // Text: the file, segment, 4 headings, a line per record, 4 matrix rows per camera and
    // the 5 lines of the bounds.
    EXPECT_EQ(CaptureBoth(
                  [&](std::FILE* o, std::FILE* e) {
                      return PrintSceneInfo(path.c_str(), false, nullptr, o, e);
                  },
                  out, err),
              0);
    EXPECT_TRUE(PrintableLines(out, 2 + 4 + 4 * n + 4 * n + 5 + 2));
    EXPECT_EQ(out.rfind(::testing::TempDir() + "report_\\x1b[31m\\x0ahostile.3ds\n", 0), 0u);
    for (const HostileName& name : kHostileNames) {
        EXPECT_NE(out.find(std::string("  ") + name.shown + " "), std::string::npos) << name.shown;
        EXPECT_NE(out.find(std::string("  ") + name.shown + "\n"), std::string::npos) << name.shown;
    }
    EXPECT_EQ(err, "");

    // JSON: ASCII, and every name read back whole.
    EXPECT_EQ(
        CaptureBoth([&](std::FILE* o,
                        std::FILE* e) { return PrintSceneInfo(path.c_str(), true, nullptr, o, e); },
                    out, err),
        0);
    EXPECT_TRUE(PrintableLines(out, static_cast<size_t>(std::count(out.begin(), out.end(), '\n'))));
    const nlohmann::json doc = nlohmann::json::parse(out);
    EXPECT_EQ(doc["file"], path);
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(kHostileNames[i].shown);
        for (const char* kind : {"objects", "materials", "lights", "cameras"}) {
            const nlohmann::json& record = doc[kind][i];
            EXPECT_EQ(record["name"], kHostileNames[i].json) << kind;
            // A name that is not UTF-8 also as its bytes: nothing of it is lost.
            if (kHostileNames[i].jsonBytes[0] == '\0') {
                EXPECT_FALSE(record.contains("nameBytes")) << kind;
            } else {
                EXPECT_EQ(record["nameBytes"], kHostileNames[i].jsonBytes) << kind;
            }
        }
    }

    // The chunk tree names no name; its bytes are checked all the same.
    EXPECT_EQ(CaptureBoth([&](std::FILE* o, std::FILE*) { return PrintChunkTree(path.c_str(), o); },
                          out, err),
              0);
    EXPECT_TRUE(PrintableLines(out, static_cast<size_t>(std::count(out.begin(), out.end(), '\n'))));
    std::remove(path.c_str());
}

TEST(SceneReport, AFailureNamingAHostileNameIsOnePrintableLineInEveryReport) {
    const std::string path = ::testing::TempDir() + "report_\x1b]0;t\x07\r\nbroken.3ds";
    ASSERT_TRUE(WriteBytesToFile(HostileScene(true), path.c_str()));
    const std::string reason = std::string("face 0 of mesh \"") +
                               kHostileNames[std::size(kHostileNames) - 1].shown +
                               "\" names vertex 9 of 3";
    std::string out, err;

    EXPECT_EQ(CaptureBoth(
                  [&](std::FILE* o, std::FILE* e) {
                      return PrintSceneInfo(path.c_str(), false, nullptr, o, e);
                  },
                  out, err),
              1);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(PrintableLines(err, 1));
    EXPECT_EQ(err.rfind("trellis: " + ::testing::TempDir() +
                            "report_\\x1b]0;t\\x07\\x0d\\x0abroken.3ds: chunk 0x4120 at offset ",
                        0),
              0u)
        << err;
    EXPECT_NE(err.find(reason + "\n"), std::string::npos) << err;

    EXPECT_EQ(
        CaptureBoth([&](std::FILE* o,
                        std::FILE* e) { return PrintSceneInfo(path.c_str(), true, nullptr, o, e); },
                    out, err),
        1);
    EXPECT_TRUE(PrintableLines(out, static_cast<size_t>(std::count(out.begin(), out.end(), '\n'))));
    const nlohmann::json doc = nlohmann::json::parse(out);
    EXPECT_EQ(doc["file"], path);
    EXPECT_NE(doc["error"]["message"].get<std::string>().find(reason), std::string::npos);

    EXPECT_EQ(CaptureBoth([&](std::FILE* o, std::FILE*) { return PrintChunkTree(path.c_str(), o); },
                          out, err),
              1);
    EXPECT_TRUE(PrintableLines(out, static_cast<size_t>(std::count(out.begin(), out.end(), '\n'))));
    EXPECT_NE(out.find("\nload fails: chunk 0x4120 at offset "), std::string::npos) << out;
    EXPECT_NE(out.find(reason + "\n"), std::string::npos) << out;
    std::remove(path.c_str());
}

// Keyframer node names and the file's own name that are not UTF-8 keep their bytes too.
TEST(SceneReport, NodeAndFileNamesThatAreNotUtf8KeepTheirBytesInJson) {
    const std::string path = ::testing::TempDir() + "report_\xe9t\xe9.3ds";
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Caf\xe9", [&] { WriteVertexList(w, {0, 0, 0}); });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::ObjectNode, [&] {
                w.Chunk(chunk::NodeHeader, [&] { w.Name("Caf\xe9").U16(0).U16(0).U16(0xFFFF); });
                w.Chunk(chunk::InstanceName, [&] {
                    w.Name(
                        "\xff"
                        "1");
                });
            });
            w.Chunk(chunk::ObjectNode, [&] {
                w.Chunk(chunk::NodeHeader, [&] { w.Name("plain").U16(0).U16(0).U16(0xFFFF); });
            });
        });
    });
    ASSERT_TRUE(WriteBytesToFile(w.bytes, path.c_str()));
    std::string out, err;
    ASSERT_EQ(
        CaptureBoth([&](std::FILE* o,
                        std::FILE* e) { return PrintSceneInfo(path.c_str(), true, nullptr, o, e); },
                    out, err),
        0)
        << err;
    const nlohmann::json doc = nlohmann::json::parse(out);
    std::string fileBytes;
    for (const char c : path) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
        fileBytes += hex;
    }
    EXPECT_EQ(doc["fileBytes"], fileBytes);
    const nlohmann::json& node = doc["nodes"][0];
    EXPECT_EQ(node["name"], "Caf\xc3\xa9");
    EXPECT_EQ(node["nameBytes"], "436166e9");
    EXPECT_EQ(node["instanceName"],
              "\xc3\xbf"
              "1");
    EXPECT_EQ(node["instanceNameBytes"], "ff31");
    EXPECT_FALSE(doc["nodes"][1].contains("nameBytes"));
    EXPECT_EQ(doc["objects"][0]["nameBytes"], "436166e9");
    std::remove(path.c_str());
}

// Two meshes named by object nodes whose node-id chunks follow their headers (so the id the
// loader keeps on each mesh is the one read before it), and a camera whose target track lies
// 1e17 away, as one exporter writes them.
std::string ExportedScene() {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Box", [&] { WriteVertexList(w, {0, 0, 0, 10, 10, 10}); });
            WriteNamedMesh(w, "Ball", [&] { WriteVertexList(w, {5, 5, 5}); });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Cam");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, -50, 5, 5, 5, 5, 0, 35}); });
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            const auto node = [&](uint16_t tag, const char* name, uint16_t parent, uint16_t id,
                                  std::initializer_list<float> position) {
                w.Chunk(tag, [&] {
                    w.Chunk(chunk::NodeHeader,
                            [&] { w.Name(name).U16(0x4000).U16(0).U16(parent); });
                    w.Chunk(chunk::NodeId, [&] { w.U16(id); });
                    if (position.size() == 0) return;
                    w.Chunk(chunk::PositionTrack, [&] {
                        w.TrackHeader(1);
                        w.KeyHeader(0, 0);
                        w.Floats(position);
                    });
                });
            };
            node(chunk::ObjectNode, "Box", 0xFFFF, 4, {});
            node(chunk::ObjectNode, "Ball", 4, 6, {});
            node(chunk::CameraNode, "Cam", 0xFFFF, 7, {0, -50, 5});
            node(chunk::TargetNode, "Cam", 0xFFFF, 8, {0, 1e17f, 0});
        });
    });
    const std::string path = ::testing::TempDir() + "report_exported.3ds";
    EXPECT_TRUE(WriteBytesToFile(w.bytes, path.c_str()));
    return path;
}

TEST(SceneReport, EachObjectHasItsOwnNodeAndAnAbsurdCameraTargetIsSaidToBeIgnored) {
    const std::string path = ExportedScene();
    int status = -1;
    const std::string text = Capture(
        [&](std::FILE* out) { return PrintSceneInfo(path.c_str(), false, nullptr, out, stderr); },
        status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("  Box                       2 vertices      0 faces  node 4 (root)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  Ball                      1 vertices      0 faces  node 6 (parent 4)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("    the target track's first key is ignored: it lies 1e+17 from the "
                        "camera, more than 1e+06 times the scene's reach of 55.23; the view "
                        "looks at the camera chunk's target\n"),
              std::string::npos)
        << text;
    const std::string json = Capture(
        [&](std::FILE* out) { return PrintSceneInfo(path.c_str(), true, nullptr, out, stderr); },
        status);
    const nlohmann::json doc = nlohmann::json::parse(json);
    EXPECT_EQ(doc["objects"][0]["nodeId"], 4);
    EXPECT_EQ(doc["objects"][0]["parentId"], 65535);
    EXPECT_EQ(doc["objects"][1]["nodeId"], 6);
    EXPECT_EQ(doc["objects"][1]["parentId"], 4);
    EXPECT_EQ(doc["cameras"][0]["targetUsed"], "chunk");
    EXPECT_NE(doc["cameras"][0]["warning"].get<std::string>().find("is ignored"),
              std::string::npos);
}

}  // namespace
