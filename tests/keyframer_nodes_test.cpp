// Keyframer nodes as animation reads them: one record per node of every kind, with its
// ids, header, pivot, instance name and every track with each key's frame and spline values.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/loader.h"

namespace {

// A node's six tracks by name, as NodeTrack finds them.
struct NodeTracks {
    const KeyTrack& position;
    const KeyTrack& rotation;
    const KeyTrack& scale;
    const KeyTrack& fov;
    const KeyTrack& roll;
    const KeyTrack& hide;
};
NodeTracks TracksOf(const KeyframerNode& node) {
    return {NodeTrack(node, NodePositionTrack), NodeTrack(node, NodeRotationTrack),
            NodeTrack(node, NodeScaleTrack),    NodeTrack(node, NodeFovTrack),
            NodeTrack(node, NodeRollTrack),     NodeTrack(node, NodeHideTrack)};
}

// A scene with mesh "Box", camera "Cam" and light "Lamp", then the keyframer section that
// `keyframer` writes.
template <class Keyframer>
std::vector<uint8_t> SceneWith(Keyframer&& keyframer) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            WriteNamedMesh(w, "Box", [&] { WriteVertexList(w, {0, 0, 0}); });
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

void Header(ChunkWriter& w, const char* name, uint16_t flags1, uint16_t flags2, uint16_t parent) {
    w.Chunk(chunk::NodeHeader, [&] { w.Name(name).U16(flags1).U16(flags2).U16(parent); });
}

TEST(KeyframerNodes, EveryNodeKeepsItsIdsHeaderPivotAndTracks) {
    ScenePtr scene = LoadBytes(SceneWith([](ChunkWriter& w) {
        w.Chunk(chunk::AmbientNode, [&] { Header(w, "$AMBIENT$", 0, 0, 0xFFFF); });
        w.Chunk(chunk::ObjectNode, [&] {
            w.Chunk(chunk::NodeId, [&] { w.U16(7); });
            Header(w, "Box", 0x4000, 0x0002, 3);
            w.Chunk(chunk::InstanceName, [&] { w.Name("Box.1"); });
            w.Chunk(chunk::Pivot, [&] { w.Floats({1, 2, 3}); });
            w.Chunk(chunk::PositionTrack, [&] {
                w.TrackHeader(2);
                w.SplineKeyHeader(0, 0x001F, {0.25f, -0.5f, 0.75f, 0.1f, 0.2f}).Floats({1, 2, 3});
                w.SplineKeyHeader(70000, 0x0009, {0.5f, 0.3f}).Floats({4, 5, 6});
            });
            w.Chunk(chunk::RotationTrack, [&] {
                w.TrackHeader(1).SplineKeyHeader(5, 0, {}).Floats({0.5f, 1, 2, 3});
            });
            w.Chunk(chunk::ScaleTrack, [&] {
                w.TrackHeader(1).SplineKeyHeader(0, 0, {}).Floats({2, 3, 4});
            });
            w.Chunk(chunk::HideTrack, [&] {
                w.TrackHeader(2).SplineKeyHeader(10, 0, {}).SplineKeyHeader(20, 0, {});
            });
        });
        w.Chunk(chunk::CameraNode, [&] {
            w.Chunk(chunk::NodeId, [&] { w.U16(8); });
            Header(w, "Cam", 0, 0, 0xFFFF);
            w.Chunk(chunk::FovTrack, [&] { w.TrackHeader(1).SplineKeyHeader(0, 0, {}).F32(45); });
            w.Chunk(chunk::RollTrack,
                    [&] { w.TrackHeader(1).SplineKeyHeader(0, 0x0004, {0.5f}).F32(10); });
        });
        w.Chunk(chunk::TargetNode, [&] { Header(w, "Cam", 0, 0, 8); });
        w.Chunk(chunk::SpotlightNode, [&] { Header(w, "Lamp", 0, 0, 0xFFFF); });
        w.Chunk(chunk::LightNode, [] {});
    }));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    ASSERT_EQ(scene->nodeCount, 6);
    const KeyframerNode* n = scene->nodes;

    // Kinds; node ids from the node-id chunk, else the node's index; records by name.
    const uint16_t kinds[6] = {0xB001, 0xB002, 0xB003, 0xB004, 0xB007, 0xB005};
    const int32_t ids[6] = {0, 7, 8, 3, 4, 5};
    const int32_t parents[6] = {0xFFFF, 3, 0xFFFF, 8, 0xFFFF, 0xFFFF};
    const int32_t records[6] = {-1, 0, 0, 0, 0, -1};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(n[i].kind, kinds[i]);
        EXPECT_EQ(n[i].nodeId, ids[i]);
        EXPECT_EQ(n[i].parentId, parents[i]);
        EXPECT_EQ(n[i].recordIndex, records[i]);
    }
    EXPECT_EQ(n[5].name, nullptr);

    const KeyframerNode& boxNode = n[1];
    EXPECT_STREQ(boxNode.name, "Box");
    EXPECT_STREQ(NodeExtras(boxNode).instanceName, "Box.1");
    EXPECT_EQ(boxNode.flags1, 0x4000);
    EXPECT_EQ(boxNode.flags2, 0x0002);
    EXPECT_EQ(NodeExtras(boxNode).hasPivot, 1);
    EXPECT_EQ(NodeExtras(boxNode).pivot[0], 1.0f);
    EXPECT_EQ(NodeExtras(boxNode).pivot[1], 3.0f);  // engine axes: file z in y
    EXPECT_EQ(NodeExtras(boxNode).pivot[2], 2.0f);
    const NodeTracks box = TracksOf(boxNode);

    // Every spline value announced by flag bits 0 to 4, and the full 32-bit frame.
    ASSERT_EQ(box.position.keyCount, 2);
    EXPECT_EQ(box.position.frames[0], 0u);
    EXPECT_EQ(box.position.frames[1], 70000u);
    const KeySpline& s0 = box.position.splines[0];
    EXPECT_EQ(s0.tension, 0.25f);
    EXPECT_EQ(s0.continuity, -0.5f);
    EXPECT_EQ(s0.bias, 0.75f);
    EXPECT_EQ(s0.easeTo, 0.1f);
    EXPECT_EQ(s0.easeFrom, 0.2f);
    EXPECT_EQ(s0.flags, 0x001F);
    const KeySpline& s1 = box.position.splines[1];
    EXPECT_EQ(s1.tension, 0.5f);
    EXPECT_EQ(s1.easeTo, 0.3f);
    EXPECT_EQ(s1.continuity, 0.0f);
    EXPECT_EQ(s1.easeFrom, 0.0f);
    const float positions[6] = {1, 3, 2, 4, 6, 5};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(box.position.values[i], positions[i]) << i;

    // The MeshObject's own tracks read the same keys as before.
    const MeshObject& mesh = scene->objects[0];
    EXPECT_EQ(mesh.nodeId, 7);
    ASSERT_EQ(mesh.positionKeyCount, 2);
    EXPECT_EQ(mesh.positionKeyFrames[1], 4464.0f);
    EXPECT_EQ(mesh.positionKeyX[1], 4.0f);
    EXPECT_EQ(mesh.positionKeyY[1], 6.0f);

    ASSERT_EQ(box.rotation.keyCount, 1);
    EXPECT_EQ(box.rotation.frames[0], 5u);
    const float rotation[4] = {0.5f, 1, 3, 2};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(box.rotation.values[i], rotation[i]) << i;
    ASSERT_EQ(box.scale.keyCount, 1);
    EXPECT_EQ(box.scale.values[1], 4.0f);
    ASSERT_EQ(box.hide.keyCount, 2);
    EXPECT_EQ(box.hide.frames[1], 20u);

    const NodeTracks cam = TracksOf(n[2]);
    ASSERT_EQ(cam.fov.keyCount, 1);
    EXPECT_EQ(cam.fov.values[0], 45.0f);
    ASSERT_EQ(cam.roll.keyCount, 1);
    EXPECT_EQ(cam.roll.values[0], 10.0f);
    EXPECT_EQ(cam.roll.splines[0].bias, 0.5f);
    EXPECT_EQ(NodeTrack(n[0], NodePositionTrack).keyCount, 0);
    EXPECT_EQ(NodeTrack(n[0], NodePositionTrack).frames, nullptr);
}

// Key headers whose flags announce ease values (bits 3 and 4) are read with them when the
// keys then end at the chunk's end, and without them when they end there that way.
TEST(KeyframerNodes, EaseValuesAreReadWhereTheKeysFitWithThem) {
    struct Case {
        bool writeEase;
        float expectEaseTo;
    };
    for (const Case& c : {Case{true, 0.5f}, Case{false, 0.0f}}) {
        SCOPED_TRACE(c.writeEase);
        ScenePtr scene = LoadBytes(SceneWith([&](ChunkWriter& w) {
            w.Chunk(chunk::ObjectNode, [&] {
                Header(w, "Box", 0, 0, 0xFFFF);
                w.Chunk(chunk::PositionTrack, [&] {
                    w.TrackHeader(2);
                    for (uint32_t frame : {0u, 10u}) {
                        if (c.writeEase) {
                            w.SplineKeyHeader(frame, 0x0018, {0.5f, 0.25f});
                        } else {
                            w.KeyHeader(frame, 0x0018);
                        }
                        w.Floats({1, 2, static_cast<float>(frame)});
                    }
                });
            });
        }));
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        const NodeTracks box = TracksOf(scene->nodes[0]);
        ASSERT_EQ(box.position.keyCount, 2);
        EXPECT_EQ(box.position.splines[1].easeTo, c.expectEaseTo);
        EXPECT_EQ(box.position.values[3 + 1], 10.0f);
        EXPECT_EQ(scene->objects[0].positionKeyY[1], 10.0f);
        EXPECT_EQ(scene->objects[0].positionKeyX[1], 1.0f);
    }
}

// Scale, field-of-view, roll and hide tracks and instance names, which the loader once
// skipped whole, never fail a load: a track whose keys do not fit is dropped. A position
// track that does not fit still fails.
TEST(KeyframerNodes, MalformedTracksOnceSkippedAreDropped) {
    for (uint16_t id : {chunk::ScaleTrack, chunk::FovTrack, chunk::RollTrack, chunk::HideTrack,
                        chunk::PositionTrack}) {
        SCOPED_TRACE(id);
        ScenePtr scene = LoadBytes(SceneWith([&](ChunkWriter& w) {
            w.Chunk(chunk::ObjectNode, [&] {
                Header(w, "Box", 0, 0, 0xFFFF);
                w.Chunk(id, [&] { w.TrackHeader(1000).KeyHeader(0).F32(1); });
                w.Chunk(chunk::InstanceName, [&] { w.Chars("cut"); });
                w.Chunk(chunk::Pivot, [&] { w.Floats({1, 2}); });
            });
        }));
        if (id == chunk::PositionTrack) {
            EXPECT_EQ(scene, nullptr);
            EXPECT_NE(LastLoadError().message.find("1000 keys need at least"), std::string::npos)
                << LastLoadError().message;
            continue;
        }
        ASSERT_NE(scene, nullptr) << LastLoadError().message;
        const NodeTracks box = TracksOf(scene->nodes[0]);
        EXPECT_EQ(box.scale.keyCount + box.fov.keyCount + box.roll.keyCount + box.hide.keyCount, 0);
        EXPECT_STREQ(NodeExtras(scene->nodes[0]).instanceName, "cut");
        EXPECT_EQ(NodeExtras(scene->nodes[0]).hasPivot, 0);
    }
}

}  // namespace
