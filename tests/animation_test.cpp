// Keyframer evaluation: keys at their frames, a hand-checked spline, a node hierarchy with
// pivots, an animated camera, and the defined results of bad keyframer data.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "chunk_writer.h"
#include "load_fixture.h"
#include "scene/animation.h"

namespace {

constexpr float kHalfPi = 1.57079632679f;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// One key as the file holds it: frame, flags, the spline values its flags announce (tension,
// continuity, bias, ease to, ease from in flag-bit order) and its payload in file order.
struct Key {
    uint32_t frame;
    uint16_t flags;
    std::vector<float> spline;
    std::vector<float> payload;
};

void WriteTrack(ChunkWriter& w, uint16_t id, const std::vector<Key>& keys) {
    w.Chunk(id, [&] {
        w.TrackHeader(static_cast<uint32_t>(keys.size()));
        for (const Key& key : keys) {
            w.U32(key.frame).U16(key.flags);
            for (float v : key.spline)
                w.F32(v);
            for (float v : key.payload)
                w.F32(v);
        }
    });
}

struct Node {
    uint16_t tag;
    const char* name;
    uint16_t id;
    uint16_t parent;
    std::vector<float> pivot;  // file order; empty for none
    std::vector<Key> position, rotation, scale, fov, roll;
};

// Meshes named in `meshes` (with the mesh matrices given, file order, 12 floats; empty for
// none), a camera "Cam", and the nodes.
struct Mesh {
    const char* name;
    std::vector<float> matrix;
};

std::vector<uint8_t> AnimatedScene(const std::vector<Mesh>& meshes, const std::vector<Node>& nodes,
                                   uint32_t segmentStart = 0, uint32_t segmentEnd = 100) {
    ChunkWriter w;
    w.Chunk(chunk::Main, [&] {
        w.Chunk(chunk::Editor, [&] {
            for (const Mesh& mesh : meshes) {
                WriteNamedMesh(w, mesh.name, [&] {
                    WriteVertexList(w, {0, 0, 0, 1, 0, 0, 0, 1, 0});
                    if (!mesh.matrix.empty()) {
                        w.Chunk(chunk::MeshMatrix, [&] {
                            for (float v : mesh.matrix)
                                w.F32(v);
                        });
                    }
                });
            }
            w.Chunk(chunk::NamedObject, [&] {
                w.Name("Cam");
                w.Chunk(chunk::Camera, [&] { w.Floats({0, 0, 0, 0, 1, 0, 0, 48}); });
            });
        });
        w.Chunk(chunk::Keyframer, [&] {
            w.Chunk(chunk::Segment, [&] { w.U32(segmentStart).U32(segmentEnd); });
            for (const Node& node : nodes) {
                w.Chunk(node.tag, [&] {
                    w.Chunk(chunk::NodeId, [&] { w.U16(node.id); });
                    w.Chunk(chunk::NodeHeader,
                            [&] { w.Name(node.name).U16(0).U16(0).U16(node.parent); });
                    if (!node.pivot.empty()) {
                        w.Chunk(chunk::Pivot, [&] {
                            for (float v : node.pivot)
                                w.F32(v);
                        });
                    }
                    if (!node.position.empty()) WriteTrack(w, chunk::PositionTrack, node.position);
                    if (!node.rotation.empty()) WriteTrack(w, chunk::RotationTrack, node.rotation);
                    if (!node.scale.empty()) WriteTrack(w, chunk::ScaleTrack, node.scale);
                    if (!node.fov.empty()) WriteTrack(w, chunk::FovTrack, node.fov);
                    if (!node.roll.empty()) WriteTrack(w, chunk::RollTrack, node.roll);
                });
            }
        });
    });
    return w.bytes;
}

void ExpectMatrixNear(const Matrix4& actual, const std::vector<float>& expected, float tolerance) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
}

// The accumulated rotation of keys (angle, file axis), worked independently of the module:
// each key's quaternion (axis sin(-angle/2), cos(-angle/2)) multiplied on the left.
Quaternion Accumulate(const std::vector<std::vector<float>>& keys) {
    double q[4] = {0, 0, 0, 1};  // x, y, z, w
    for (const std::vector<float>& key : keys) {
        const double k[4] = {static_cast<double>(key[0]), static_cast<double>(key[1]),
                             static_cast<double>(key[2]), static_cast<double>(key[3])};
        const double len = std::sqrt(k[1] * k[1] + k[2] * k[2] + k[3] * k[3]);
        const double s = std::sin(-0.5 * k[0]) / len;
        const double a[4] = {s * k[1], s * k[2], s * k[3], std::cos(-0.5 * k[0])};
        const double r[4] = {a[3] * q[0] + a[0] * q[3] + a[1] * q[2] - a[2] * q[1],
                             a[3] * q[1] + a[1] * q[3] + a[2] * q[0] - a[0] * q[2],
                             a[3] * q[2] + a[2] * q[3] + a[0] * q[1] - a[1] * q[0],
                             a[3] * q[3] - a[0] * q[0] - a[1] * q[1] - a[2] * q[2]};
        for (int i = 0; i < 4; ++i)
            q[i] = r[i];
    }
    return {q[0], q[1], q[2], q[3]};
}

TEST(Animation, KeysAtTheirOwnFramesGiveTheirValues) {
    const std::vector<std::vector<float>> turns = {
        {0.3f, 0, 0, 1}, {1.2f, 1, 0, 0}, {-0.7f, 0, 1, 1}, {2.5f, 1, 2, 3}};
    Node node{chunk::ObjectNode, "Box", 0, 0xFFFF, {}, {}, {}, {}, {}, {}};
    node.position = {{0, 0x0007, {0.5f, -0.3f, 0.8f}, {1, 2, 3}},
                     {7, 0x001F, {-0.5f, 0.9f, -1, 0.5f, 0.5f}, {-4, 5.5f, 6}},
                     {8, 0x0001, {1}, {7, 8, 9.25f}},
                     {30, 0x0018, {0.2f, 0.7f}, {10, -11, 12}}};
    const uint32_t rotationFrames[4] = {0, 3, 20, 31};
    for (int i = 0; i < 4; ++i)
        node.rotation.push_back({rotationFrames[i], 0x0003, {0.4f, -0.6f}, turns[i]});
    node.scale = {{0, 0, {}, {1, 2, 3}}, {50, 0x0004, {0.5f}, {4, 5, 6}}};
    ScenePtr scene = LoadBytes(AnimatedScene({{"Box", {}}}, {node}));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    const AnimatedNode& n = animation.nodes[0];
    const float rest[3] = {0, 0, 0};

    for (const Key& key : node.position) {
        SCOPED_TRACE(key.frame);
        float p[3];
        EvaluateNodeVector(animation, n.position, key.frame, rest, p);
        EXPECT_EQ(p[0], key.payload[0]);  // engine axes: file z in y
        EXPECT_EQ(p[1], key.payload[2]);
        EXPECT_EQ(p[2], key.payload[1]);
    }
    for (size_t i = 0; i < turns.size(); ++i) {
        SCOPED_TRACE(i);
        const Quaternion expected =
            Accumulate(std::vector<std::vector<float>>(turns.begin(), turns.begin() + i + 1));
        const Quaternion q = EvaluateNodeRotation(animation, 0, rotationFrames[i]);
        const double dot =
            q.w * expected.w + q.x * expected.x + q.y * expected.y + q.z * expected.z;
        const double sign = dot < 0 ? -1.0 : 1.0;
        EXPECT_NEAR(sign * q.x, expected.x, 1e-6);
        EXPECT_NEAR(sign * q.y, expected.y, 1e-6);
        EXPECT_NEAR(sign * q.z, expected.z, 1e-6);
        EXPECT_NEAR(sign * q.w, expected.w, 1e-6);
    }
    // Before the first key and after the last the end keys hold.
    float p[3];
    EvaluateNodeVector(animation, n.position, 1000.0, rest, p);
    EXPECT_EQ(p[0], 10.0f);
    EvaluateNodeVector(animation, n.scale, -5.0, rest, p);
    EXPECT_EQ(p[1], 3.0f);
    EXPECT_TRUE(animation.animated);
}

// A key of a whole turn (2 pi) turns its segment once around, not the shorter way (not at
// all): a quarter of the way it stands a quarter turn round, half way half a turn. A key of
// three quarters of a turn goes the long way too.
TEST(Animation, RotationKeysTurnTheWholeAngle) {
    Node whole{chunk::ObjectNode, "A", 0, 0xFFFF, {}, {}, {}, {}, {}, {}};
    whole.rotation = {{0, 0, {}, {0, 0, 0, 1}}, {100, 0, {}, {4 * kHalfPi, 0, 0, 1}}};
    Node most = whole;
    most.name = "B";
    most.id = 1;
    most.rotation[1].payload[0] = 3 * kHalfPi;
    ScenePtr scene = LoadBytes(AnimatedScene({{"A", {}}, {"B", {}}}, {whole, most}));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    // About the file's z a turn by a is the quaternion (0, 0, sin(-a/2), cos(-a/2)).
    const double quarter = 3.14159265358979 / 2;
    const struct {
        int32_t node;
        double frame;
        double angle;
    } cases[] = {
        {0, 25, quarter}, {0, 50, 2 * quarter}, {0, 75, 3 * quarter}, {1, 50, 1.5 * quarter}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        const Quaternion q = EvaluateNodeRotation(animation, c.node, c.frame);
        const double z = std::sin(-c.angle / 2), w = std::cos(-c.angle / 2);
        EXPECT_NEAR(std::fabs(q.z * z + q.w * w), 1.0, 1e-6);
    }
}

// A segment between keys with non-zero tension, continuity, bias and ease, worked by hand.
// Keys of x: 0 at frame 0 (ease from 0.5), 10 at frame 10 (tension 0.5, continuity 0.25,
// bias -0.5, ease to 0.25), 0 at frame 30.
// - Key 0, an end key: outgoing = (1/2 + 1/2)(10 - 0) = 10.
// - Key 1: spacing 10 before, 20 after: fp = 10/15 = 2/3, fn = 4/3, blended by |C| = 1/4:
//   fp = 2/3 + 1/4 - 1/6 = 3/4. With (1-T)/2 = 1/4, 1-C = 3/4, 1+C = 5/4, 1-B = 3/2,
//   1+B = 1/2: incoming = 1/4 3/4 1/2 3/4 (10) + 1/4 5/4 3/2 3/4 (-10) = 0.703125 - 3.515625
//   = -2.8125.
// - Ease over the segment (from 0.5, to 0.25): k = 1 / (2 - 0.75) = 0.8.
//   Frame 5: u = 0.5, in the constant part: 0.8 (2 0.5 - 0.5) = 0.4; Hermite at 0.4:
//   0.352 (10) + 0.144 (10) - 0.096 (-2.8125) = 5.23.
//   Frame 2: u = 0.2, in the ease-from part: 0.8 / 0.5 0.04 = 0.064; Hermite at 0.064:
//   0.011763712 (10) + 0.056070144 (10) - 0.003833856 (-2.8125) = 0.68912128.
TEST(Animation, SplineWithTensionContinuityBiasAndEaseMatchesHandWork) {
    Node node{chunk::ObjectNode, "Box", 0, 0xFFFF, {}, {}, {}, {}, {}, {}};
    node.position = {{0, 0x0010, {0.5f}, {0, 0, 0}},
                     {10, 0x000F, {0.5f, 0.25f, -0.5f, 0.25f}, {10, 0, 0}},
                     {30, 0, {}, {0, 0, 0}}};
    ScenePtr scene = LoadBytes(AnimatedScene({{"Box", {}}}, {node}));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    const float rest[3] = {0, 0, 0};
    float p[3];
    EvaluateNodeVector(animation, animation.nodes[0].position, 5.0, rest, p);
    EXPECT_NEAR(p[0], 5.23f, 1e-5);
    EvaluateNodeVector(animation, animation.nodes[0].position, 2.0, rest, p);
    EXPECT_NEAR(p[0], 0.68912128f, 1e-6);
}

// Root A (scale 2, at (10, 0, 0), pivot (1, 1, 1) which moves only its own mesh), B under A
// (turned by a quarter about the file's z, at (0, 5, 0)), C under B (at (1, 0, 0), pivot
// (0, 0, 3)), in file axes. C's origin: (1, 0, 0) -> B turns x to -y: (0, -1, 0) + (0, 5, 0)
// -> A: 2 (0, 4, 0) + (10, 0, 0) = (10, 8, 0). Its axes: x -> (0, -2, 0), y -> (2, 0, 0),
// z -> (0, 0, 2). In engine axes (rows and columns 1 and 2 exchanged) that is the matrix
// below; C's mesh (identity mesh matrix) moves by its pivot too: row 3 becomes
// (10, 8, 0) - 3 (0, 0, 2) = (10, 8, -6), engine (10, -6, 8).
// D stands alone with keys equal to its mesh matrix, so its mesh stays where it is stored.
TEST(Animation, ThreeLevelHierarchyWithPivots) {
    std::vector<Node> nodes(4, Node{chunk::ObjectNode, "", 0, 0xFFFF, {}, {}, {}, {}, {}, {}});
    nodes[0] = {chunk::ObjectNode,
                "A",
                0,
                0xFFFF,
                {1, 1, 1},
                {{0, 0, {}, {10, 0, 0}}},
                {{0, 0, {}, {0, 0, 0, 1}}},
                {{0, 0, {}, {2, 2, 2}}},
                {},
                {}};
    nodes[1] = {chunk::ObjectNode,
                "B",
                1,
                0,
                {},
                {{0, 0, {}, {0, 5, 0}}},
                {{0, 0, {}, {kHalfPi, 0, 0, 1}}},
                {},
                {},
                {}};
    nodes[2] = {chunk::ObjectNode, "C", 2, 1, {0, 0, 3}, {{0, 0, {}, {1, 0, 0}}}, {}, {}, {}, {}};
    nodes[3] = {chunk::ObjectNode,
                "D",
                3,
                0xFFFF,
                {},
                {{0, 0, {}, {3, 4, 5}}},
                {{0, 0, {}, {kHalfPi, 0, 0, 1}}},
                {},
                {},
                {}};
    const std::vector<Mesh> meshes = {{"A", {}},
                                      {"B", {}},
                                      {"C", {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}},
                                      {"D", {0, -1, 0, 1, 0, 0, 0, 0, 1, 3, 4, 5}}};
    ScenePtr scene = LoadBytes(AnimatedScene(meshes, nodes));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    EvaluateAnimation(animation, 0.0);
    ExpectMatrixNear(animation.world[2], {0, 0, -2, 0, 0, 2, 0, 0, 2, 0, 0, 0, 10, 0, 8, 1}, 1e-5f);
    ExpectMatrixNear(animation.object[2], {0, 0, -2, 0, 0, 2, 0, 0, 2, 0, 0, 0, 10, -6, 8, 1},
                     1e-5f);
    ExpectMatrixNear(animation.object[3], {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 1e-5f);
}

// A camera and its target moving on straight tracks, with a field-of-view track and a roll
// of a quarter turn: at frame 5 the camera stands half way, (50, 0, 0) in file and engine
// axes, looking along the file's +y (engine +z): right (-1, 0, 0) and up (0, -1, 0) before
// the roll, up (1, 0, 0) and right (0, -1, 0) after it.
TEST(Animation, CameraMovesAlongItsTracks) {
    Node camera{chunk::CameraNode, "Cam", 0, 0xFFFF, {}, {}, {}, {}, {}, {}};
    camera.position = {{0, 0, {}, {0, 0, 0}}, {10, 0, {}, {100, 0, 0}}};
    camera.fov = {{0, 0, {}, {60}}};
    camera.roll = {{0, 0, {}, {90}}};
    Node target{chunk::TargetNode, "Cam", 1, 0xFFFF, {}, {}, {}, {}, {}, {}};
    target.position = {{0, 0, {}, {0, 100, 0}}, {10, 0, {}, {100, 100, 0}}};
    ScenePtr scene = LoadBytes(AnimatedScene({}, {camera, target}));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    for (double frame : {5.0, 10.0}) {
        SCOPED_TRACE(frame);
        EvaluateAnimation(animation, frame);
        Matrix4 m;
        float fov = 0;
        ASSERT_TRUE(EvaluateCamera(*scene, animation, 0, m, fov));
        EXPECT_EQ(fov, 60.0f);
        const float x = static_cast<float>(frame * 10);
        ExpectMatrixNear(m, {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, x, 0, 0, 1}, 1e-5f);
    }
}

// Bad keyframer data gives defined results (see animation.h).
TEST(Animation, BadKeyframerDataGivesDefinedResults) {
    // Keys out of order, a repeated frame (the later key wins) and a NaN key (left out).
    Node keys{chunk::ObjectNode, "A", 0, 0xFFFF, {}, {}, {}, {}, {}, {}};
    keys.position = {{10, 0, {}, {1, 0, 0}},
                     {0, 0, {}, {2, 0, 0}},
                     {10, 0, {}, {3, 0, 0}},
                     {5, 0, {}, {kNaN, 0, 0}},
                     {7, 0x0001, {kNaN}, {4, 0, 0}}};
    // A parent loop (B <-> C), a node that is its own parent and a parent that is missing.
    Node b{chunk::ObjectNode, "B", 1, 2, {}, {{0, 0, {}, {0, 1, 0}}}, {}, {}, {}, {}};
    Node c{chunk::ObjectNode, "C", 2, 1, {}, {{0, 0, {}, {0, 0, 1}}}, {}, {}, {}, {}};
    Node self{chunk::ObjectNode, "D", 3, 3, {}, {{0, 0, {}, {5, 0, 0}}}, {}, {}, {}, {}};
    Node orphan{chunk::ObjectNode, "E", 4, 77, {}, {{0, 0, {}, {6, 0, 0}}}, {}, {}, {}, {}};
    Node still{chunk::ObjectNode, "F", 5, 0xFFFF, {}, {}, {}, {}, {}, {}};
    // The segment ends before it begins: its frames are swapped.
    ScenePtr scene =
        LoadBytes(AnimatedScene({{"A", {}}, {"B", {}}, {"C", {}}, {"D", {}}, {"E", {}}, {"F", {}}},
                                {keys, b, c, self, orphan, still}, 90, 10));
    ASSERT_NE(scene, nullptr) << LastLoadError().message;
    SceneAnimation animation;
    PrepareAnimation(*scene, animation);
    EXPECT_EQ(animation.firstFrame, 10.0);
    EXPECT_EQ(animation.lastFrame, 90.0);
    ASSERT_EQ(animation.nodes[0].position.count, 3);
    const float rest[3] = {0, 0, 0};
    const struct {
        double frame;
        float x;
    } cases[] = {{-1, 2}, {0, 2}, {7, 4}, {10, 3}, {1e9, 3}};
    for (const auto& expected : cases) {
        float p[3];
        EvaluateNodeVector(animation, animation.nodes[0].position, expected.frame, rest, p);
        EXPECT_EQ(p[0], expected.x) << expected.frame;
    }
    float p[3];
    EvaluateNodeVector(animation, animation.nodes[0].position, 8.5, rest, p);
    EXPECT_TRUE(std::isfinite(p[0]));

    // The loop is cut: one of B and C becomes a root, the other its child; D and E are roots.
    EXPECT_TRUE((animation.nodes[1].parent == 2) != (animation.nodes[2].parent == 1));
    EXPECT_EQ(animation.nodes[3].parent, -1);
    EXPECT_EQ(animation.nodes[4].parent, -1);
    EXPECT_EQ(animation.order.size(), 6u);
    for (double frame : {0.0, 50.0, static_cast<double>(kNaN)}) {
        EvaluateAnimation(animation, frame);
        for (int i = 0; i < 6; ++i)
            EXPECT_TRUE(NodeMatrixIsFinite(animation, i)) << i;
    }
    EXPECT_EQ(animation.world[3][12], 5.0f);
    EXPECT_EQ(animation.world[5][12], 0.0f);  // no keys: the rest position
    EXPECT_EQ(animation.world[5][0], 1.0f);

    // A scene without a keyframer section: nothing animated, nothing to evaluate.
    ScenePtr empty = LoadBytes(EditorFile([](ChunkWriter& w) {
        WriteNamedMesh(w, "M", [&] { WriteVertexList(w, {0, 0, 0}); });
    }));
    ASSERT_NE(empty, nullptr);
    PrepareAnimation(*empty, animation);
    EvaluateAnimation(animation, 3.0);
    EXPECT_FALSE(animation.animated);
    EXPECT_EQ(AnimationFrameAt(animation, 10.0, 30.0), 0.0);
}

}  // namespace
