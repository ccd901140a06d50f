// What a load may cost: keyframer records in proportion to their chunks, faces counted and
// checked but not kept for reports, and a limit on faces that fails before anything is
// allocated.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/address_sanitizer.h"
#include "scene/loader.h"

namespace {

// Restores the limits of an ordinary load at the end of a test.
struct LimitsScope {
    explicit LimitsScope(const LoadLimits& limits) { SetLoadLimits(limits); }
    ~LimitsScope() { SetLoadLimits(LoadLimits{}); }
};

// A keyframer section of `count` copies of what `node` writes.
template <class Node>
std::vector<uint8_t> KeyframerFile(int32_t count, Node&& node) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Keyframer, [&] {
            for (int32_t i = 0; i < count; ++i)
                node(w);
        });
    });
    return w.bytes;
}

// Arena bytes for each byte of a file of the smallest keyframer chunks. Under
// AddressSanitizer every allocation is followed by a 16-byte poisoned gap, which the bound
// allows for.
#ifdef TRELLIS_ASAN
constexpr double kMostPerByte = 16.0;
#else
constexpr double kMostPerByte = 8.0;
#endif

// Nodes that hold nothing, or only the smallest chunks, cost a few times their bytes: every
// part of a node beyond its tag is allocated only with the chunk that brings it.
TEST(LoadLimits, KeyframerRecordsCostAFewTimesTheBytesOfTheirChunks) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"empty nodes", KeyframerFile(20000, [](ChunkWriter& w) { w.Empty(chunk::ObjectNode); })},
        {"nodes of an empty instance name", KeyframerFile(20000,
                                                          [](ChunkWriter& w) {
                                                              w.Chunk(chunk::ObjectNode, [&] {
                                                                  w.Chunk(chunk::InstanceName,
                                                                          [&] { w.U8(0); });
                                                              });
                                                          })},
        {"nodes of tracks without keys",
         KeyframerFile(20000,
                       [](ChunkWriter& w) {
                           w.Chunk(chunk::LightNode, [&] {
                               w.Chunk(chunk::ScaleTrack, [&] { w.TrackHeader(0); });
                               w.Chunk(chunk::HideTrack, [&] { w.TrackHeader(0); });
                           });
                       })},
        {"nodes of one hide key", KeyframerFile(20000,
                                                [](ChunkWriter& w) {
                                                    w.Chunk(chunk::ObjectNode, [&] {
                                                        w.Chunk(chunk::HideTrack, [&] {
                                                            w.TrackHeader(1).KeyHeader(5);
                                                        });
                                                    });
                                                })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenePtr scene = LoadBytes(c.bytes);
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        ASSERT_EQ(scene->nodeCount, 20000);
        const double perByte =
            static_cast<double>(scene->arena.bytesReserved) / static_cast<double>(c.bytes.size());
        EXPECT_LE(perByte, kMostPerByte);
    }
}

// The last track of a kind is the node's, as when tracks were replaced in place.
TEST(LoadLimits, TheLastTrackOfAKindIsTheNodes) {
    ScenePtr scene = LoadBytes(KeyframerFile(1, [](ChunkWriter& w) {
        w.Chunk(chunk::ObjectNode, [&] {
            w.Chunk(chunk::ScaleTrack, [&] { w.TrackHeader(1).KeyHeader(1).Floats({1, 2, 3}); });
            w.Chunk(chunk::FovTrack, [&] { w.TrackHeader(1).KeyHeader(2).F32(40); });
            w.Chunk(chunk::ScaleTrack, [&] { w.TrackHeader(1).KeyHeader(3).Floats({4, 5, 6}); });
        });
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    const KeyframerNode& node = scene->nodes[0];
    const KeyTrack& scale = NodeTrack(node, NodeScaleTrack);
    ASSERT_EQ(scale.keyCount, 1);
    EXPECT_EQ(scale.frames[0], 3u);
    EXPECT_EQ(scale.values[2], 5.0f);  // file y in engine z
    EXPECT_EQ(NodeTrack(node, NodeFovTrack).values[0], 40.0f);
    EXPECT_EQ(NodeTrack(node, NodeRollTrack).keyCount, 0);
    EXPECT_EQ(NodeTrack(node, NodeRollTrack).frames, nullptr);
}

// Two meshes of 2 and 3 faces; the second names vertex `lastCorner` of its 3.
std::vector<uint8_t> TwoMeshes(uint16_t lastCorner) {
    return EditorFile([&](ChunkWriter& w) {
        WriteNamedMesh(w, "A", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
            WriteFaceList(w, {0, 1, 2, 1, 3, 2});
        });
        WriteNamedMesh(w, "B", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
            WriteFaceList(w, {0, 1, 2, 0, 2, 1, 1, 2, lastCorner});
        });
    });
}

TEST(LoadLimits, WithoutKeepingFacesEveryCornerIsStillCheckedAndCounted) {
    LoadLimits limits;
    limits.keepFaces = false;
    LimitsScope scope(limits);
    ScenePtr scene = LoadBytes(TwoMeshes(0));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->objects[0].faceCount, 2);
    EXPECT_EQ(scene->objects[1].faceCount, 3);
    EXPECT_EQ(scene->objects[0].faces, nullptr);
    EXPECT_EQ(scene->objects[1].vertexCount, 3);
    EXPECT_EQ(LastLoadTotals().faces, 5);
    EXPECT_EQ(LastLoadTotals().vertices, 7);

    // The same failure, word for word, as a load that keeps them.
    EXPECT_EQ(LoadBytes(TwoMeshes(7)), nullptr);
    const std::string withoutFaces = LastLoadError().message;
    SetLoadLimits(LoadLimits{});
    EXPECT_EQ(LoadBytes(TwoMeshes(7)), nullptr);
    EXPECT_EQ(LastLoadError().message, withoutFaces);
    EXPECT_NE(withoutFaces.find("face 2 of mesh \"B\" names vertex 7 of 3"), std::string::npos)
        << withoutFaces;
}

TEST(LoadLimits, MoreFacesThanTheLimitFailBeforeAnyRecord) {
    LoadLimits limits;
    limits.maxFaces = 4;
    limits.maxFacesHint = "raise it";
    LimitsScope scope(limits);
    EXPECT_EQ(LoadBytes(TwoMeshes(0)), nullptr);
    EXPECT_EQ(LastLoadError().message,
              "scene too large to draw: 5 faces, more than the 4 a frame may draw (raise it)");
    limits.maxFaces = 5;
    SetLoadLimits(limits);
    EXPECT_NE(LoadBytes(TwoMeshes(0)), nullptr) << LastLoadError().message;
}

// Faces of a list outside any mesh are dropped, and not counted.
TEST(LoadLimits, FacesOfNoMeshAreNotCounted) {
    ScenePtr scene = LoadBytes(EditorFile([](ChunkWriter& w) {
        WriteFaceList(w, {0, 1, 2});
        WriteNamedMesh(w, "A", [&] {
            WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
            WriteFaceList(w, {0, 1, 2});
        });
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(LastLoadTotals().faces, 1);
}

}  // namespace
