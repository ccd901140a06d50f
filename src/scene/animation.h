// Keyframer evaluation: each node's transform at any frame time from its key tracks
// (Kochanek-Bartels splines for position, scale, field of view and roll; a spherical
// spline for rotation), world matrices through the node hierarchy, and animated cameras.
//
// PrepareAnimation turns a loaded Scene's KeyframerNode records into a SceneAnimation once
// (sorted keys, tangents, parents resolved, an evaluation order); it allocates. After that
// EvaluateAnimation and the other Evaluate functions allocate nothing and never fail: bad
// keyframer data gives the defined results listed below, never a crash or a hang.
//
// Matrices are Matrix4 in the row-vector convention (math/matrix.h) and in engine axes (a
// file triple (x, y, z) is (x, z, y) here), like every matrix of the Scene. Rotations are
// worked in the file's axes, as the keys give them, and exchanged at the end.
//
// Defined results for bad input:
// - Keys are used in the order of their frames: keys out of order are sorted (stably); of
//   several keys at one frame the last in the file wins. Rotation keys are accumulated in
//   file order first (each key turns on from the one before it in the file), then sorted.
// - A key with a NaN or infinite value is left out; a rotation key so left out adds no
//   turn. A NaN or infinite spline parameter counts as 0; tension, continuity and bias are
//   clamped to [-1, 1], ease to and from to [0, 1].
// - A track with no keys gives the rest value (position 0, no rotation, scale 1, the
//   camera's own lens and roll); one key holds its value at every time; before the first
//   key and after the last the end keys hold.
// - A parent id that names no node, or the node itself, makes the node a root. A parent
//   loop is cut where the walk up from a node meets a node already on that walk: the node
//   whose parent closes the loop becomes a root. Nodes with the same id: the first in the
//   file is the parent.
// - A segment whose end comes before its start plays from the end to the start frame (the
//   two are swapped). A file with keys and no segment plays from its first key frame to
//   its last.
// - A rotation key may turn more than half a turn from the key before it (a whole turn is an
//   angle of 2 pi): the segment turns the whole angle, not the shorter way between the two
//   rotations, when the two keys follow each other in the file as in time.
// - A world matrix that comes out non-finite (values so large that they overflow) is
//   reported by NodeMatrixIsFinite; the viewer does not draw such a node.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "scene/records.h"

// A unit quaternion (x, y, z vector part, w scalar part).
struct Quaternion {
    double x, y, z, w;
};

// One key of a position, scale or one-value track, ready to evaluate: its value and the
// tangents with which the spline arrives at it and leaves it, per segment.
struct PreparedVectorKey {
    double frame;
    float value[3];
    float incoming[3];
    float outgoing[3];
    float easeTo;
    float easeFrom;
};

// One key of a rotation track: the accumulated rotation and the spherical spline's inner
// control points before (b) and after (a) it.
struct PreparedRotationKey {
    double frame;
    Quaternion q;
    Quaternion a;
    Quaternion b;
    Quaternion turn;  // log of the turn from the key before, in that key's frame; may exceed
                      // half a turn (a segment of several turns keeps them all)
    float easeTo;
    float easeFrom;
};

// A span of prepared keys; count 0 for a missing track.
struct PreparedTrack {
    int32_t first = 0;
    int32_t count = 0;
};

struct AnimatedNode {
    int32_t parent = -1;  // index into SceneAnimation::nodes, -1 for a root
    uint16_t kind = 0;    // the node's tag (Keyframer*Node)
    int32_t record = -1;  // KeyframerNode::recordIndex
    float pivot[3] = {};  // file axes
    PreparedTrack position, rotation, scale, fov, roll;
    int32_t hideFirst = 0;  // hide key frames, sorted, in SceneAnimation::hideFrames
    int32_t hideCount = 0;
};

// Everything evaluation needs, prepared from one Scene, and the results of the most recent
// EvaluateAnimation. Owned by the caller; PrepareAnimation sizes every array.
struct SceneAnimation {
    std::vector<AnimatedNode> nodes;            // one per KeyframerNode, same order
    std::vector<int32_t> order;                 // node indices, every parent before its children
    std::vector<PreparedVectorKey> vectorKeys;  // keys of every position/scale/fov/roll track
    std::vector<PreparedRotationKey> rotationKeys;
    std::vector<double> hideFrames;
    std::vector<Matrix4> objectInverse;  // per MeshObject: inverse of its mesh matrix, file axes
    std::vector<int32_t> cameraNode;     // per Camera: its camera node and its target node, or -1
    std::vector<int32_t> targetNode;
    double firstFrame = 0.0;  // the frames to play
    double lastFrame = 0.0;
    bool animated = false;  // some track has keys at two different frames, or a hide key

    // Results of EvaluateAnimation, per node.
    double frame = 0.0;
    std::vector<Matrix4>
        worldFile;                // world matrix in file axes (parents, position, rotation, scale)
    std::vector<Matrix4> world;   // the same in engine axes
    std::vector<Matrix4> object;  // object nodes naming a mesh: the matrix that moves the
                                  // mesh's stored vertices (inverse mesh matrix, pivot,
                                  // world), engine axes; else the identity
    std::vector<uint8_t> hidden;  // 1 when the node's hide track hides it
};

// Prepares `animation` for `scene` (which must outlive its use). Allocates; call once per
// loaded scene.
void PrepareAnimation(const Scene& scene, SceneAnimation& animation);

// Evaluates every node at `frame` into animation.world, .worldFile, .object and .hidden.
// Allocates nothing.
void EvaluateAnimation(SceneAnimation& animation, double frame);

// A node's own values at `frame` (no parents): position and scale in engine axes, the
// rotation as the accumulated quaternion of its keys in file axes. A key's quaternion is
// (axis * sin(-angle / 2) / |axis|, cos(-angle / 2)), and the k-th key's accumulated
// rotation is key_k * accumulated_(k-1) (quaternion product), so a key's angle turns
// clockwise about its axis, looking along the axis toward the origin, in the file's axes.
void EvaluateNodeVector(const SceneAnimation& animation, const PreparedTrack& track, double frame,
                        const float rest[3], float out[3]);
Quaternion EvaluateNodeRotation(const SceneAnimation& animation, int32_t node, double frame);

// The matrix of a rotation quaternion (file axes, row vectors).
void QuaternionMatrix(const Quaternion& q, Matrix4& m);

// The camera's matrix at the frame of the most recent EvaluateAnimation (camera to scene,
// rows right, up, forward, position, like Camera::matrix) and its horizontal field of view
// in degrees. The position and target come from the world matrices of its camera and target
// nodes (their positions in the camera chunk where they have no position keys); the roll
// track turns the camera about its forward axis; the field of view comes from its track,
// else from the lens (2 atan(18 / lens): a 36 mm wide frame; 90 degrees without a lens).
// Returns false
// (and the camera's loaded matrix) when the camera has no camera node.
bool EvaluateCamera(const Scene& scene, const SceneAnimation& animation, int32_t camera,
                    Matrix4& matrix, float& fovDegrees);

// True when every element of the node's world matrix is finite.
bool NodeMatrixIsFinite(const SceneAnimation& animation, int32_t node);

// The frame shown at `seconds` of playing at `framesPerSecond`, looping over the segment.
double AnimationFrameAt(const SceneAnimation& animation, double seconds, double framesPerSecond);
