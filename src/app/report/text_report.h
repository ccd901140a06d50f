// The --info report as text: one line per record, names made printable (printable.h).
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/report/scene_walk.h"
#include "scene/loader.h"

// The writer of WalkScene that prints each part on `out` as it comes.
struct TextReport {
    std::FILE* out;

    void File(const ReportedScene& r);
    bool Objects(int32_t count);  // true: the walk goes on to each object
    void ObjectRecord(const MeshObject& o, const KeyframerNode* node);
    void Materials(int32_t count);
    void MaterialRecord(const Material& m);
    void Lights(int32_t count);
    void LightRecord(const Light& l);
    void Cameras(int32_t count);
    void CameraRecord(const Camera& c, const CameraAim& aim);
    void Bounds(const FileBounds& b);
    bool Animation(const SceneAnimation& animation, const double* frameTime,
                   int32_t nodeCount);  // true: the walk goes on to each node
    void BeginNode(int32_t index, const KeyframerNode& n, int32_t parent);
    void Track(const char* name, const KeyTrack& track);
    void EndNode(int32_t index, const KeyframerNode& n, const SceneAnimation& animation,
                 const double* frameTime);
    void CameraAtFrame(int32_t index, const Camera& c, double frameTime, const Matrix4& matrix,
                       float fov);
    void End() {}
};

// Why `path` did not load, on `err`: "trellis: <LoadFailureText>".
void PrintLoadFailureText(const char* path, std::FILE* err);
