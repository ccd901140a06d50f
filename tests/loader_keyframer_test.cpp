// Keyframer chunks: node resolution, key tracks and their headers, and the nodes and
// tracks that keep nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/loader.h"

namespace {

struct Key {
    uint32_t frame;
    uint16_t flags;
    std::vector<float> values;
};

void WriteTrack(ChunkWriter& w, uint16_t id, const std::vector<Key>& keys) {
    w.Chunk(id, [&] {
        w.TrackHeader(static_cast<uint32_t>(keys.size()));
        for (const Key& key : keys) {
            w.KeyHeader(key.frame, key.flags);
            for (float v : key.values)
                w.F32(v);
        }
    });
}

void WriteHeader(ChunkWriter& w, const char* name, uint16_t parent = 0xFFFF) {
    w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(0x4000).U16(0).U16(parent); });
}

// A node: its tag, an optional node id, then whatever `body` writes.
template <class Body>
void WriteNode(ChunkWriter& w, uint16_t tag, int32_t nodeId, Body&& body) {
    w.Chunk(tag, [&] {
        if (nodeId >= 0) w.Chunk(chunk::NodeId, [&] { w.U16(static_cast<uint16_t>(nodeId)); });
        body();
    });
}

// A scene with meshes "Box" and "Ball", camera "Cam", light "Lamp", then the keyframer
// section that `keyframer` writes.
template <class Keyframer>
std::vector<uint8_t> SceneWithKeyframer(Keyframer&& keyframer) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Box", [&] { WriteVertexList(w, {0, 0, 0}); });
            WriteNamedMesh(w, "Ball", [&] { WriteVertexList(w, {0, 0, 0}); });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Cam");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, 0, 0, 0, 1, 0, 0, 35}); });
            });
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Lamp");
                w.Chunk(chunk::Light, [&] { w.Floats({0, 0, 0}); });
            });
        });
        w.Chunk(chunk::Keyframer, [&] { keyframer(w); });
    });
    return w.bytes;
}

TEST(KeyframerChunks, ObjectNodeStoresItsIdsAndKeysOnItsObject) {
    ScenePtr scene = LoadBytes(SceneWithKeyframer([](ChunkWriter& w) {
        w.Chunk(chunk::Segment, [&] { w.U32(5).U32(70000); });
        WriteNode(w, chunk::ObjectNode, 7, [&] {
            WriteHeader(w, "Ball", 3);
            w.Chunk(chunk::Pivot, [&] { w.Floats({0, 0, 0}); });
            WriteTrack(w, chunk::PositionTrack,
                       {{0, 0, {1, 2, 3}}, {70000, 0x0007, {4, 5, 6}}, {9, 0x0018, {7, 8, 9}}});
            WriteTrack(w, chunk::RotationTrack, {{12, 0x0002, {0.5f, 1, 2, 3}}});
            WriteTrack(w, chunk::ScaleTrack, {{0, 0, {1}}});
        });
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->segmentStart, 5u);
    EXPECT_EQ(scene->segmentEnd, 70000u);
    const MeshObject& box = scene->objects[0];
    EXPECT_EQ(box.nodeId, 0);
    EXPECT_EQ(box.positionKeyCount, 0);
    EXPECT_EQ(box.positionKeyFrames, nullptr);
    const MeshObject& ball = scene->objects[1];
    EXPECT_EQ(ball.nodeId, 7);
    EXPECT_EQ(ball.parentId, 3);
    ASSERT_EQ(ball.positionKeyCount, 3);
    const float frames[3] = {0, 4464, 9};  // 70000 keeps its lower 16 bits
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(ball.positionKeyFrames[k], frames[k]);
        EXPECT_EQ(ball.positionKeyX[k], static_cast<float>(1 + 3 * k));
        EXPECT_EQ(ball.positionKeyY[k], static_cast<float>(3 + 3 * k));
        EXPECT_EQ(ball.positionKeyZ[k], static_cast<float>(2 + 3 * k));
    }
    ASSERT_EQ(ball.rotationKeyCount, 1);
    EXPECT_EQ(ball.rotationKeyFrames[0], 12.0f);
    EXPECT_EQ(ball.rotationKeyAngle[0], 0.5f);
    EXPECT_EQ(ball.rotationKeyAxisX[0], 1.0f);
    EXPECT_EQ(ball.rotationKeyAxisY[0], 3.0f);
    EXPECT_EQ(ball.rotationKeyAxisZ[0], 2.0f);
}

// Each flag bit 0 to 2 announces one 4-byte value after the key header; bits 3 to 15 none.
// The track's key count is a 32-bit field of which only the lower half counts.
TEST(KeyframerChunks, KeyHeaderSizesFollowTheirFlags) {
    for (uint16_t flags : std::initializer_list<uint16_t>{0x0000, 0x0001, 0x0002, 0x0004, 0x0003,
                                                          0x0007, 0x0018, 0xFFF8, 0xFFFF}) {
        SCOPED_TRACE(flags);
        ScenePtr scene = LoadBytes(SceneWithKeyframer([&](ChunkWriter& w) {
            WriteNode(w, chunk::ObjectNode, 1, [&] {
                WriteHeader(w, "Box");
                w.Chunk(chunk::PositionTrack, [&] {
                    w.TrackHeader(0x00010002u);
                    w.KeyHeader(1, flags).Floats({1, 2, 3});
                    w.KeyHeader(2, flags).Floats({4, 5, 6});
                });
            });
        }));
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        const MeshObject& box = scene->objects[0];
        ASSERT_EQ(box.positionKeyCount, 2);
        EXPECT_EQ(box.positionKeyFrames[1], 2.0f);
        EXPECT_EQ(box.positionKeyX[1], 4.0f);
        EXPECT_EQ(box.positionKeyZ[1], 5.0f);
    }
}

// A camera node and a target node named like the camera fill the camera's two tracks, which
// then give its matrix; rotation tracks of camera nodes are dropped.
TEST(KeyframerChunks, CameraAndTargetNodesFillTheCamerasTracks) {
    ScenePtr scene = LoadBytes(SceneWithKeyframer([](ChunkWriter& w) {
        WriteNode(w, chunk::CameraNode, 1, [&] {
            WriteHeader(w, "Cam");
            WriteTrack(w, chunk::PositionTrack, {{0, 0, {1, 3, 2}}});
            WriteTrack(w, chunk::RotationTrack, {{0, 0, {1, 0, 1, 0}}});
            WriteTrack(w, chunk::FovTrack, {{0, 0, {45}}});
            WriteTrack(w, chunk::RollTrack, {{0, 0, {0}}});
        });
        WriteNode(w, chunk::TargetNode, 2, [&] {
            WriteHeader(w, "Cam");
            WriteTrack(w, chunk::PositionTrack, {{0, 0, {1, 13, 2}}, {5, 0, {0, 0, 0}}});
        });
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    const Camera& camera = scene->cameras[0];
    ASSERT_EQ(camera.positionKeyCount, 1);
    EXPECT_EQ(camera.positionKeyY[0], 2.0f);
    EXPECT_EQ(camera.positionKeyZ[0], 3.0f);
    ASSERT_EQ(camera.targetKeyCount, 2);
    EXPECT_EQ(camera.targetKeyZ[0], 13.0f);
    EXPECT_EQ(camera.targetKeyFrames[1], 5.0f);
    // Position (1, 2, 3) looking along +z to (1, 2, 13).
    const Matrix4 expected = {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    EXPECT_EQ(camera.matrix, expected);
    for (int32_t i = 0; i < scene->objectCount; ++i) {
        EXPECT_EQ(scene->objects[i].rotationKeyCount, 0);
    }
}

// Tracks are stored only on the record that their own node's header resolved: not when
// the header names no record, not before the header, not in a node without a header, not
// outside any node, and not in ambient or light nodes.
TEST(KeyframerChunks, TracksWithoutAResolvedNodeAreDropped) {
    ScenePtr scene = LoadBytes(SceneWithKeyframer([](ChunkWriter& w) {
        WriteNode(w, chunk::ObjectNode, 1, [&] {
            WriteHeader(w, "Nobody");
            WriteTrack(w, chunk::PositionTrack, {{0, 0, {1, 1, 1}}});
        });
        WriteNode(w, chunk::ObjectNode, 2, [&] {
            WriteTrack(w, chunk::PositionTrack, {{0, 0, {2, 2, 2}}});  // before the header
            WriteHeader(w, "Box");
        });
        WriteNode(w, chunk::CameraNode, 3, [&] { WriteHeader(w, "Cam"); });
        WriteNode(w, chunk::TargetNode, 4, [&] {
            WriteTrack(w, chunk::PositionTrack, {{0, 0, {3, 3, 3}}});
        });
        WriteTrack(w, chunk::PositionTrack, {{0, 0, {4, 4, 4}}});  // outside any node
        for (uint16_t tag :
             {chunk::AmbientNode, chunk::LightNode, chunk::LightTargetNode, chunk::SpotlightNode}) {
            WriteNode(w, tag, 5, [&] {
                WriteHeader(w, "Ball");
                WriteTrack(w, chunk::PositionTrack, {{0, 0, {5, 5, 5}}});
            });
        }
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->objects[0].nodeId, 2);  // the header came, after the track
    for (int32_t i = 0; i < scene->objectCount; ++i) {
        EXPECT_EQ(scene->objects[i].positionKeyCount, 0) << i;
        EXPECT_EQ(scene->objects[i].positionKeyX, nullptr) << i;
    }
    EXPECT_EQ(scene->objects[1].nodeId, 0);
    EXPECT_EQ(scene->cameras[0].targetKeyCount, 0);
    EXPECT_EQ(scene->cameras[0].positionKeyCount, 0);
}

// A second header in an object node resolves among the objects again: its keys go to the
// object of that name, never to the object at the index of a camera of that name.
TEST(KeyframerChunks, SecondHeaderOfAnObjectNodeResolvesAmongObjects) {
    ScenePtr scene = LoadBytes(SceneWithKeyframer([](ChunkWriter& w) {
        WriteNode(w, chunk::ObjectNode, 9, [&] {
            WriteHeader(w, "Ball");
            WriteHeader(w, "Cam");  // no object of that name; camera 0 is "Cam"
            WriteTrack(w, chunk::PositionTrack, {{0, 0, {1, 2, 3}}});
        });
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->objects[0].positionKeyCount, 0);
    EXPECT_EQ(scene->objects[1].positionKeyCount, 0);
    EXPECT_EQ(scene->objects[1].nodeId, 9);
}

// A node without an id chunk records the id of the node before it.
TEST(KeyframerChunks, NodeIdCarriesOverToTheNextNode) {
    ScenePtr scene = LoadBytes(SceneWithKeyframer([](ChunkWriter& w) {
        WriteNode(w, chunk::ObjectNode, 4, [&] { WriteHeader(w, "Box", 0xFFFF); });
        WriteNode(w, chunk::ObjectNode, -1, [&] { WriteHeader(w, "Ball", 4); });
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->objects[0].nodeId, 4);
    EXPECT_EQ(scene->objects[0].parentId, 65535);
    EXPECT_EQ(scene->objects[1].nodeId, 4);
    EXPECT_EQ(scene->objects[1].parentId, 4);
}

// In the counting pass node state and the segment are read as in the fill pass, but no
// node is resolved and nothing is allocated.
TEST(KeyframerChunks, CountingPassReadsNodeStateButResolvesNothing) {
    struct Probe {
        int32_t nodeKind;
        int32_t nodeIndex;
        int32_t currentNodeId;
        std::string nodeName;
        uint32_t segmentEnd;
        bool objectsAllocated;
    };
    static Probe probes[2];
    SetChunkObserver(
        [](const ChunkSeen& chunk, void*) {
            if (chunk.id != 0x7001) return;
            const LoaderState& s = loaderState;
            probes[s.countingPass] = {s.nodeKind, s.nodeIndex,         s.currentNodeId,
                                      s.nodeName, s.scene->segmentEnd, s.scene->objects != nullptr};
        },
        nullptr);
    ScenePtr scene = LoadBytes(SceneWithKeyframer([](ChunkWriter& w) {
        w.Chunk(chunk::Segment, [&] { w.U32(0).U32(99); });
        WriteNode(w, chunk::ObjectNode, 6, [&] {
            WriteHeader(w, "Ball");
            w.Empty(0x7001);  // the probe
        });
    }));
    SetChunkObserver(nullptr, nullptr);
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    const Probe& counting = probes[1];
    EXPECT_EQ(counting.nodeKind, NodeObjectPending);
    EXPECT_EQ(counting.nodeIndex, -1);
    EXPECT_EQ(counting.currentNodeId, 6);
    EXPECT_EQ(counting.nodeName, "Ball");
    EXPECT_EQ(counting.segmentEnd, 99u);
    EXPECT_FALSE(counting.objectsAllocated);
    const Probe& fill = probes[0];
    EXPECT_EQ(fill.nodeKind, NodeObject);
    EXPECT_EQ(fill.nodeIndex, 1);
    EXPECT_EQ(fill.nodeName, "Ball");
}

TEST(KeyframerChunks, MalformedPayloadsFailWithAReason) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    const auto inNode = [](auto body) {
        return SceneWithKeyframer([&](ChunkWriter& w) {
            WriteNode(w, chunk::ObjectNode, 1, [&] {
                WriteHeader(w, "Box");
                body(w);
            });
        });
    };
    const std::vector<Case> cases = {
        {"key count past the chunk", inNode([](ChunkWriter& w) {
             w.Chunk(chunk::PositionTrack, [&] { w.TrackHeader(3).Fill(20, 0); });
         }),
         "3 keys need at least 54 bytes, 20 left in the chunk"},
        {"key header values past the chunk", inNode([](ChunkWriter& w) {
             w.Chunk(chunk::PositionTrack, [&] {
                 w.TrackHeader(2).KeyHeader(0, 0x0007).Floats({1, 2, 3});
                 w.U32(1).U16(0x0001);  // announces a value that the chunk does not hold
             });
         }),
         "key 1 needs 4 more bytes, 0 left in the chunk"},
        {"second key past the chunk", inNode([](ChunkWriter& w) {
             w.Chunk(chunk::PositionTrack, [&] {
                 w.TrackHeader(2).KeyHeader(0, 0x0003).Floats({1, 2, 3});
                 w.KeyHeader(1).Floats({1, 2});
             });
         }),
         "key 1 needs 12 more bytes, 8 left in the chunk"},
        {"track header cut",
         inNode([](ChunkWriter& w) { w.Chunk(chunk::PositionTrack, [&] { w.Fill(13, 0); }); }),
         "the track header needs 14 bytes, 13 left in the chunk"},
        {"node header cut after the name",
         inNode([](ChunkWriter& w) { w.Chunk(chunk::NodeHeader, [&] { w.Name("Box").U16(0); }); }),
         "the node header needs 6 bytes, 2 left in the chunk"},
        {"node name cut",
         inNode([](ChunkWriter& w) { w.Chunk(chunk::NodeHeader, [&] { w.Chars("Bo"); }); }),
         "the node name runs into the end of the chunk"},
        {"segment cut", inNode([](ChunkWriter& w) { w.Chunk(chunk::Segment, [&] { w.U32(0); }); }),
         "the segment needs 8 bytes, 4 left in the chunk"},
        {"node id cut", inNode([](ChunkWriter& w) { w.Empty(chunk::NodeId); }),
         "the node id needs 2 bytes, 0 left in the chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadBytes(c.bytes), nullptr);
        const std::string& message = LastLoadError().message;
        const size_t colon = message.find(": ");
        ASSERT_NE(colon, std::string::npos) << message;
        EXPECT_EQ(message.substr(colon + 2), c.reason);
    }
}

// Tracks and chunks whose bytes are dropped never fail, whatever they hold.
TEST(KeyframerChunks, SkippedTracksNeverFail) {
    ScenePtr scene = LoadBytes(SceneWithKeyframer([](ChunkWriter& w) {
        WriteNode(w, chunk::ObjectNode, 1, [&] {
            WriteHeader(w, "Box");
            w.Chunk(chunk::ScaleTrack, [&] { w.TrackHeader(60000).U8(1); });
            w.Chunk(chunk::ColorTrack, [&] { w.TrackHeader(2); });
            w.Chunk(chunk::FovTrack, [] {});
            w.Chunk(chunk::Pivot, [&] { w.U16(1); });
            WriteTrack(w, chunk::PositionTrack, {{0, 0, {1, 2, 3}}});
        });
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    EXPECT_EQ(scene->objects[0].positionKeyCount, 1);
}

}  // namespace
