// The --info report as one JSON document: the same records as the text report, names as
// UTF-8 (utf8.h) and, for a name that is not UTF-8, also its bytes ("nameBytes", in
// hexadecimal), the document written in ASCII (every other character as a \u escape).
//
// The objects and the keyframer nodes are made and written one at a time while the document
// is printed, never all held at once: what the report takes stays in proportion to one record,
// not to the file.
#pragma once

#include <cstdint>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/report/scene_walk.h"
#include "scene/loader.h"

// The writer of WalkScene that builds the document; End prints it on `out`, asking for the
// objects and the nodes as it reaches them.
struct JsonReport {
    std::FILE* out = nullptr;
    nlohmann::json doc = nlohmann::json::object();

    void File(const ReportedScene& r);
    bool Objects(int32_t count);  // false: End takes the objects itself
    void ObjectRecord(const MeshObject& o, const KeyframerNode* named);
    void Materials(int32_t count);
    void MaterialRecord(const Material& m);
    void Lights(int32_t count);
    void LightRecord(const Light& l);
    void Cameras(int32_t count);
    void CameraRecord(const Camera& c, const CameraAim& aim);
    void Bounds(const FileBounds& b);
    bool Animation(const SceneAnimation& animation, const double* frameTime,
                   int32_t nodeCount);  // false: End walks the nodes itself
    void BeginNode(int32_t index, const KeyframerNode& n, int32_t parent);
    void Track(const char* name, const KeyTrack& track);
    void EndNode(int32_t index, const KeyframerNode& n, const SceneAnimation& animation,
                 const double* frameTime);
    void CameraAtFrame(int32_t index, const Camera& c, double frameTime, const Matrix4& matrix,
                       float fov);
    void End();

    const ReportedScene* reported = nullptr;  // the scene walked (File)
    nlohmann::json element;                   // the object or node being made
};

// Why `path` did not load, as a document on `out`: the file and the loader's error (message,
// offset and chunk).
void PrintLoadFailureJson(const char* path, const LoadError& error, std::FILE* out);
