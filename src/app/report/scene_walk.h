// The --info report's one walk over a loaded scene. The walk decides what is reported and in
// which order; a writer (text_report.h, json_report.h) decides only how each part is
// written. Both reports therefore always hold the same records, and what they compute (the
// bounds, the animation at a frame) is computed once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "math/matrix.h"
#include "scene/animation.h"
#include "scene/records.h"
#include "view/views.h"

// The box around the finite vertex positions in the file's axes: min, max, centre, size.
struct FileBounds {
    SceneBounds bounds;  // in engine axes, with the counts of finite and other positions
    double min[3], max[3], centre[3], size[3];
};

// A scene and what its report shows beside its records.
struct ReportedScene {
    const char* path = nullptr;    // the file as named (standard input: "(stdin)")
    const Scene* scene = nullptr;  // loaded
    std::string notA3ds;           // NotA3dsReason(): empty for a 3DS file
    FileBounds bounds;
    SceneAnimation animation;           // prepared; evaluated at *frameTime when that is set
    const double* frameTime = nullptr;  // --frame T, or null
    // Per object: the index of the first keyframer object node that names it, or -1.
    std::vector<int32_t> objectNode;
};

// Fills `reported` for `scene`, loaded from `path` by the last load.
void PrepareReport(ReportedScene& reported, const char* path, const Scene& scene,
                   const double* frameTime);

// One named key track of a keyframer node.
struct NamedTrack {
    const char* name;
    uint16_t kind;  // one of the Node*Track ids (records.h)
};
inline constexpr NamedTrack kNodeTracks[] = {
    {"position", NodePositionTrack}, {"rotation", NodeRotationTrack}, {"scale", NodeScaleTrack},
    {"fov", NodeFovTrack},           {"roll", NodeRollTrack},         {"hide", NodeHideTrack},
};

// Why the camera view does not look at a target the file gives (AimCamera refused it), in
// one line: "the target track's first key is ignored: it lies 1e+17 from the camera, more
// than 1e+06 times the scene's reach of 157; the view looks at the camera chunk's target".
// Empty when nothing was refused.
std::string CameraAimNote(const CameraAim& aim);

// The kind of a keyframer node in words ("object", "camera", ...; "unknown").
const char* NodeKindName(uint16_t kind);

inline constexpr double kDegreesPerRadian = 57.29577951308232;

// Walks keyframer node `index`: the node, each of its tracks that has keys, its end.
template <class Writer>
void WalkNode(const ReportedScene& r, int32_t index, Writer& writer) {
    const KeyframerNode& node = r.scene->nodes[index];
    writer.BeginNode(index, node, r.animation.nodes[static_cast<size_t>(index)].parent);
    for (const NamedTrack& t : kNodeTracks) {
        const KeyTrack& track = NodeTrack(node, t.kind);
        if (track.keyCount > 0) writer.Track(t.name, track);
    }
    writer.EndNode(index, node, r.animation, r.frameTime);
}

// Walks the report: the file, its records, the bounds, then the keyframer (every node with
// its tracks, and at a frame time the cameras there), calling the writer's part for each.
// A writer's Objects and Animation say whether the walk goes on to each object and node
// there and then (true) or leaves them to the writer, which takes them one at a time with
// ObjectRecord and WalkNode while it writes (false): a document of a million nodes then never
// stands whole in memory.
template <class Writer>
void WalkScene(const ReportedScene& r, Writer& writer) {
    const Scene& scene = *r.scene;
    writer.File(r);
    if (writer.Objects(scene.objectCount)) {
        for (int32_t i = 0; i < scene.objectCount; ++i) {
            const int32_t node = r.objectNode[static_cast<size_t>(i)];
            writer.ObjectRecord(scene.objects[i], node >= 0 ? &scene.nodes[node] : nullptr);
        }
    }
    writer.Materials(scene.materialCount);
    for (int32_t i = 0; i < scene.materialCount; ++i)
        writer.MaterialRecord(scene.materials[i]);
    writer.Lights(scene.lightCount);
    for (int32_t i = 0; i < scene.lightCount; ++i)
        writer.LightRecord(scene.lights[i]);
    writer.Cameras(scene.cameraCount);
    for (int32_t i = 0; i < scene.cameraCount; ++i)
        writer.CameraRecord(scene.cameras[i], AimCamera(scene.cameras[i], r.bounds.bounds));
    writer.Bounds(r.bounds);
    if (writer.Animation(r.animation, r.frameTime, scene.nodeCount)) {
        for (int32_t i = 0; i < scene.nodeCount; ++i)
            WalkNode(r, i, writer);
    }
    if (r.frameTime != nullptr) {
        for (int32_t i = 0; i < scene.cameraCount; ++i) {
            Matrix4 matrix;
            float fov = 0.0f;
            if (EvaluateCamera(scene, r.animation, i, matrix, fov)) {
                writer.CameraAtFrame(i, scene.cameras[i], *r.frameTime, matrix, fov);
            }
        }
    }
    writer.End();
}
