// Inputs found by fuzzing the loader, kept as byte tables with what each one exercised, and
// the fuzzer's seed scenes, which must all load: a seed that fails to load would only teach
// the fuzzer the loader's error paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fuzz/seed_scenes.h"
#include "hash_collisions.h"
#include "load_fixture.h"
#include "scene/keyed_hash.h"
#include "scene/loader.h"

namespace {

// ---- Seeds ------------------------------------------------------------------------------

struct SeedCounts {
    const char* name;
    int32_t objects, lights, cameras, materials;
};

TEST(LoadRegression, EverySeedLoadsWithWhatItWasWrittenFor) {
    const SeedCounts expected[] = {
        {"bundled.3ds", 5, 2, 1, 4},   {"meshes_materials.3ds", 2, 0, 0, 3},
        {"lights.3ds", 0, 3, 0, 0},    {"camera.3ds", 1, 0, 1, 0},
        {"keyframer.3ds", 2, 2, 1, 0}, {"triangle.3ds", 1, 0, 0, 0},
    };
    const std::vector<seed_scenes::Seed> seeds = seed_scenes::All();
    ASSERT_EQ(seeds.size(), std::size(expected));
    for (size_t i = 0; i < seeds.size(); ++i) {
        const seed_scenes::Seed& seed = seeds[i];
        SCOPED_TRACE(seed.name);
        EXPECT_EQ(seed.name, expected[i].name);
        if (seed.name != "bundled.3ds") {
            EXPECT_LE(seed.bytes.size(), 4096u);
        }
        ScenePtr scene = LoadBytes(seed.bytes);
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        EXPECT_EQ(scene->objectCount, expected[i].objects);
        EXPECT_EQ(scene->lightCount, expected[i].lights);
        EXPECT_EQ(scene->cameraCount, expected[i].cameras);
        EXPECT_EQ(scene->materialCount, expected[i].materials);
    }
}

TEST(LoadRegression, KeyframerSeedStoresTracksOfEveryStoredKind) {
    ScenePtr scene = LoadBytes(seed_scenes::Keyframer());
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 2);
    const MeshObject& parent = scene->objects[0];
    const MeshObject& child = scene->objects[1];
    EXPECT_EQ(parent.positionKeyCount, 2);
    EXPECT_EQ(parent.rotationKeyCount, 2);
    EXPECT_EQ(child.positionKeyCount, 3);
    EXPECT_EQ(child.nodeId, 1);
    EXPECT_EQ(child.parentId, 0);
    EXPECT_EQ(scene->cameras[0].positionKeyCount, 2);
    EXPECT_EQ(scene->cameras[0].targetKeyCount, 2);
    EXPECT_EQ(scene->segmentEnd, 100u);
}

TEST(LoadRegression, MaterialsSeedGroupsFacesAndDropsTheUnknownMaterial) {
    ScenePtr scene = LoadBytes(seed_scenes::MeshesAndMaterials());
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 2);
    const MeshObject& left = scene->objects[0];
    ASSERT_EQ(left.faceCount, 12);
    EXPECT_EQ(left.faces[0].material, 0);
    EXPECT_EQ(left.faces[6].material, 1);
    EXPECT_EQ(left.faces[11].material, 2);
    // The right cube's last group names no material: face 0 loses the blue it had.
    EXPECT_EQ(scene->objects[1].faces[0].material, -1);
    EXPECT_EQ(scene->objects[1].faces[1].material, 1);
    // The mapped material: the linear ambient wins over the gamma one after it; both maps.
    const Material& mapped = scene->materials[2];
    EXPECT_EQ(mapped.ambient[0], 20 / 255.0f);
    EXPECT_EQ(mapped.selfIllumination, 15.0f / 100.0f);
    EXPECT_EQ(mapped.shading, 2);
    EXPECT_STREQ(mapped.textureMap.fileName, "bricks.gif");
    EXPECT_STREQ(mapped.opacityMap.fileName, "mask.png");
    EXPECT_EQ(mapped.opacityMap.rotation, 30.0f);
    EXPECT_EQ(left.faces[2].smoothing, 2u);
}

// ---- Slow inputs ------------------------------------------------------------------------
// Records are found by name through an index, so a file with many names and many lookups
// loads in time linear in its length; it must find what a search of the records in order
// would: the first record of a name, among the records opened so far.

std::string Numbered(const char* prefix, int32_t n) {
    return prefix + std::to_string(n);
}

TEST(LoadRegression, ManyNamesResolveToTheFirstRecordOpenedUnderThem) {
    constexpr int32_t kNames = 1500;
    std::vector<uint8_t> bytes;
    {
        ChunkWriter w;
        w.Chunk(chunk::Main, [&] {
            w.Chunk(chunk::Editor, [&] {
                w.Chunk(chunk::Material,
                        [&] { w.Chunk(chunk::MaterialName, [&] { w.Name("Early"); }); });
                // Every name twice: objects kNames to 2 kNames - 1 repeat the first ones.
                for (int32_t i = 0; i < 2 * kNames; ++i) {
                    WriteNamedMesh(w, Numbered("Obj", i % kNames), [&] {
                        WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                        WriteFaceList(w, {0, 1, 2, 0, 2, 1}, [&] {
                            w.Chunk(chunk::FaceMaterials, [&] { w.Name("Early").U16(1).U16(0); });
                            // Opened only after the meshes: not found yet.
                            w.Chunk(chunk::FaceMaterials, [&] { w.Name("Late").U16(1).U16(1); });
                        });
                    });
                }
                w.Chunk(chunk::Material,
                        [&] { w.Chunk(chunk::MaterialName, [&] { w.Name("Late"); }); });
            });
            w.Chunk(chunk::Keyframer, [&] {
                // Nodes name the objects from the last name back, and names of no object.
                for (int32_t i = kNames - 1; i >= 0; --i) {
                    for (const std::string& name : {Numbered("Obj", i), Numbered("Nobody", i)}) {
                        w.Chunk(chunk::ObjectNode, [&] {
                            w.Chunk(chunk::NodeId, [&] { w.U16(static_cast<uint16_t>(i + 1)); });
                            w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(0).U16(0).U16(7); });
                        });
                    }
                }
            });
        });
        bytes = w.bytes;
    }
    ScenePtr scene = LoadBytes(bytes);
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->objectCount, 2 * kNames);
    for (int32_t i = 0; i < 2 * kNames; ++i) {
        SCOPED_TRACE(i);
        const MeshObject& object = scene->objects[i];
        ASSERT_EQ(object.nodeId, i < kNames ? i + 1 : 0);
        ASSERT_EQ(object.parentId, i < kNames ? 7 : 0);
        ASSERT_EQ(object.faces[0].material, 0);
        ASSERT_EQ(object.faces[1].material, -1);
    }
    // After the load every record is open, so both materials are found.
    EXPECT_EQ(FindMaterialByName("Late"), 1);
    EXPECT_EQ(FindObjectByName("Obj1499"), kNames - 1);
    EXPECT_EQ(FindObjectByName("Nobody0"), -1);
}

// Names crafted so that their FNV-1a hashes (the name hash of earlier versions) share their
// low 14 bits, and so one probe sequence of any table of up to 16,384 slots. Every lookup
// finds what it did with ordinary names, under any key of the name hash.
TEST(LoadRegression, NamesCrowdingAFixedHashResolveAsOrdinaryNamesUnderAnyKey) {
    constexpr int32_t kNames = 3000;
    const std::vector<std::string> names =
        hash_collisions::NamesOfOneFnv1aSlot(2 * kNames, 5, 14, "Obj");
    std::vector<uint8_t> bytes;
    {
        ChunkWriter w;
        w.Chunk(chunk::Main, [&] {
            w.Chunk(chunk::Editor, [&] {
                for (int32_t i = 0; i < kNames; ++i) {
                    w.Chunk(chunk::Material, [&] {
                        w.Chunk(chunk::MaterialName,
                                [&] { w.Name(names[static_cast<size_t>(i)]); });
                    });
                }
                // Objects under the first names, each twice; face groups name materials.
                for (int32_t i = 0; i < 2 * kNames; ++i) {
                    WriteNamedMesh(w, names[static_cast<size_t>(i % kNames)], [&] {
                        WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                        WriteFaceList(w, {0, 1, 2}, [&] {
                            w.Chunk(chunk::FaceMaterials, [&] {
                                w.Name(names[static_cast<size_t>((i + 1) % (2 * kNames))])
                                    .U16(1)
                                    .U16(0);
                            });
                        });
                    });
                }
            });
            // Nodes name the objects from the last back, and the names of no object.
            w.Chunk(chunk::Keyframer, [&] {
                for (int32_t i = 2 * kNames - 1; i >= 0; --i) {
                    w.Chunk(chunk::ObjectNode, [&] {
                        w.Chunk(chunk::NodeId, [&] { w.U16(static_cast<uint16_t>(i + 1)); });
                        w.Chunk(chunk::NodeHeader, [&] {
                            w.Name(names[static_cast<size_t>(i)]).U16(0).U16(0).U16(7);
                        });
                    });
                }
            });
        });
        bytes = w.bytes;
    }
    const HashKey processKey = ProcessHashKey();
    for (const HashKey key : {processKey, HashKey{0, 0}, HashKey{~0ull, 12345}}) {
        SCOPED_TRACE(key.k0);
        SetProcessHashKey(key);
        ScenePtr scene = LoadBytes(bytes);
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        ASSERT_EQ(scene->objectCount, 2 * kNames);
        for (int32_t i = 0; i < 2 * kNames; ++i) {
            SCOPED_TRACE(i);
            const MeshObject& object = scene->objects[i];
            ASSERT_EQ(object.nodeId, i < kNames ? i + 1 : 0);
            ASSERT_EQ(object.faces[0].material,
                      (i + 1) % (2 * kNames) < kNames ? (i + 1) % (2 * kNames) : -1);
        }
        EXPECT_EQ(FindMaterialByName(names[kNames - 1].c_str()), kNames - 1);
        EXPECT_EQ(FindObjectByName(names[kNames].c_str()), -1);
    }
    SetProcessHashKey(processKey);
}

// ---- Names that are not text --------------------------------------------------------------
// A name from the file is bytes: control characters, line breaks, escape sequences, bytes
// that are not UTF-8. A reason that names it must still be one line of printable ASCII.

// True when the reason holds nothing but printable ASCII (so no line break either).
::testing::AssertionResult OnePrintableLine(const std::string& text) {
    for (const char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            return ::testing::AssertionFailure() << "byte " << int{b} << " in: " << text;
        }
    }
    return ::testing::AssertionSuccess();
}

// Found by fuzzing: a named object whose name runs 99 bytes (control bytes, 0xFF, a line
// feed) and whose triangle mesh holds a face naming vertex 16672 before any vertex list.
// The reason used to carry the name's raw bytes, line feed included. Every chunk claims
// more bytes than the file holds.
TEST(LoadRegression, FuzzedNameWithALineFeedGivesAOneLineReason) {
    std::string name = "\x07" + std::string(32, '\x03') + "S" + std::string(12, '\x03') +
                       std::string(7, '\xFF') + "\n" + std::string(43, '\x03') + ">\x07";
    ASSERT_EQ(name.size(), 99u);
    ChunkWriter w;
    w.Header(chunk::NamedObject, 0x41414000).Name(name);
    w.Header(chunk::TriMesh, 0x00073E07);
    w.Header(chunk::FaceList, 0x20062000).U16(1).U16s({0x4120, 0x4100, 0x3E07, 0});
    w.U16s({0x0100, 0x07BF, 0x5701}).U8(0);
    ASSERT_EQ(w.bytes.size(), 135u);
    EXPECT_EQ(LoadBytes(w.bytes), nullptr);
    const std::string& reason = LastLoadError().message;
    EXPECT_TRUE(OnePrintableLine(reason));
    // The 63 characters kept of the name, each byte that is not printable ASCII as \xNN.
    std::string shown = "\\x07";
    for (int i = 0; i < 32; ++i)
        shown += "\\x03";
    shown += "S";
    for (int i = 0; i < 12; ++i)
        shown += "\\x03";
    for (int i = 0; i < 7; ++i)
        shown += "\\xff";
    shown += "\\x0a";
    for (int i = 0; i < 9; ++i)
        shown += "\\x03";
    EXPECT_EQ(reason, "chunk 0x4120 at offset 112: face 0 of mesh \"" + shown +
                          "\" names vertex 16672 of 0");
}

struct HostileName {
    std::string bytes;
    const char* shown;  // quoted and escaped, as a reason names it
};

const HostileName kHostileNames[] = {
    {"\x1b[2J\x1b[1;1Htrellis: loaded", "\"\\x1b[2J\\x1b[1;1Htrellis: loaded\""},
    {"\x1b]0;owned\x07", "\"\\x1b]0;owned\\x07\""},
    {"Box\r\nBox", "\"Box\\x0d\\x0aBox\""},
    {"\x9b"
     "31m\x85\x7f",
     "\"\\x9b31m\\x85\\x7f\""},  // C1 CSI and NEL, DEL
    {"\xc2\x9b"
     "2J",
     "\"\\xc2\\x9b2J\""},                                // C1 CSI written as UTF-8
    {"\xff\xc3(\xe2\x82", "\"\\xff\\xc3(\\xe2\\x82\""},  // not UTF-8
    {"W\xc3\xbcrfel", "\"W\\xc3\\xbcrfel\""},            // UTF-8
    {"a\\\"b", "\"a\\\\\\\"b\""},
};

TEST(LoadRegression, ReasonsQuoteAndEscapeTheNamesTheyGive) {
    for (const HostileName& name : kHostileNames) {
        SCOPED_TRACE(name.shown);
        // A face past the mesh's vertices.
        EXPECT_EQ(LoadBytes(EditorFile([&](ChunkWriter& w) {
                      WriteNamedMesh(w, name.bytes, [&] {
                          WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                          WriteFaceList(w, {0, 1, 5});
                      });
                  })),
                  nullptr);
        EXPECT_TRUE(OnePrintableLine(LastLoadError().message));
        EXPECT_NE(LastLoadError().message.find(std::string("face 0 of mesh ") + name.shown +
                                               " names vertex 5 of 3"),
                  std::string::npos)
            << LastLoadError().message;
        // A second vertex list after the faces.
        EXPECT_EQ(LoadBytes(EditorFile([&](ChunkWriter& w) {
                      WriteNamedMesh(w, name.bytes, [&] {
                          WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                          WriteFaceList(w, {0, 1, 2});
                          WriteVertexList(w, {0, 0, 0});
                      });
                  })),
                  nullptr);
        EXPECT_TRUE(OnePrintableLine(LastLoadError().message));
        EXPECT_NE(LastLoadError().message.find(std::string("mesh ") + name.shown +
                                               " has a second vertex list"),
                  std::string::npos)
            << LastLoadError().message;
        // A path that cannot be opened.
        const std::string path = "/nonexistent/" + name.bytes + ".3ds";
        EXPECT_EQ(LoadScene(path.c_str()), nullptr);
        EXPECT_TRUE(OnePrintableLine(LastLoadError().message));
        const std::string quoted(name.shown);
        EXPECT_EQ(
            LastLoadError().message.rfind(
                "cannot open \"/nonexistent/" + quoted.substr(1, quoted.size() - 2) + ".3ds\": ",
                0),
            0u)
            << LastLoadError().message;
    }
}

}  // namespace
