// What the report computes once for both writers.
#include "app/report/scene_walk.h"

#include <cmath>
#include <cstdio>

#include "app/scene_messages.h"

namespace {

// Engine axes back to the file's order: (x, y, z) here is (x, z, y) in the file.
void ToFileAxes(const double* engine, double* file) {
    file[0] = engine[0];
    file[1] = engine[2];
    file[2] = engine[1];
}

}  // namespace

void PrepareReport(ReportedScene& r, const char* path, const Scene& scene,
                   const double* frameTime) {
    r.path = path;
    r.scene = &scene;
    r.notA3ds = NotA3dsReason();
    FileBounds& b = r.bounds;
    b.bounds = ComputeSceneBounds(scene);
    ToFileAxes(b.bounds.min, b.min);
    ToFileAxes(b.bounds.max, b.max);
    for (int i = 0; i < 3; ++i) {
        b.size[i] = b.max[i] - b.min[i];
        b.centre[i] = b.min[i] + b.size[i] / 2.0;
    }
    // An object's node is the node that names it, not the id the last node-id chunk before
    // its header left (a file may write no node ids at all).
    r.objectNode.assign(static_cast<size_t>(scene.objectCount > 0 ? scene.objectCount : 0), -1);
    for (int32_t i = 0; i < scene.nodeCount; ++i) {
        const KeyframerNode& node = scene.nodes[i];
        if (node.kind != KeyframerObjectNode || node.recordIndex < 0 ||
            node.recordIndex >= scene.objectCount) {
            continue;
        }
        int32_t& first = r.objectNode[static_cast<size_t>(node.recordIndex)];
        if (first < 0) first = i;
    }
    PrepareAnimation(scene, r.animation);
    if (frameTime != nullptr) EvaluateAnimation(r.animation, *frameTime);
    r.frameTime = frameTime;
}

namespace {

// Why a target was refused.
std::string RefusedBecause(double distance, double reach) {
    if (!std::isfinite(distance)) return "it is not a finite point";
    char text[128];
    std::snprintf(text, sizeof text,
                  "it lies %.3g from the camera, more than %.0e times the "
                  "scene's reach of %.4g",
                  distance, kFarTargetFactor, reach);
    return text;
}

}  // namespace

std::string CameraAimNote(const CameraAim& aim) {
    if (!aim.keyTargetIgnored && !aim.chunkTargetIgnored) return {};
    const char* then = aim.hasTarget ? "the view looks at the camera chunk's target"
                                     : "the view looks the fixed camera's way";
    std::string note;
    if (aim.keyTargetIgnored) {
        note = "the target track's first key is ignored: " +
               RefusedBecause(aim.keyTargetDistance, aim.reach);
        if (aim.chunkTargetIgnored) {
            note += "; so is the camera chunk's target: " +
                    RefusedBecause(aim.chunkTargetDistance, aim.reach);
        }
    } else {
        note = "the camera chunk's target is ignored: " +
               RefusedBecause(aim.chunkTargetDistance, aim.reach);
    }
    return note + "; " + then;
}

const char* NodeKindName(uint16_t kind) {
    switch (kind) {
        case KeyframerAmbientNode:
            return "ambient";
        case KeyframerObjectNode:
            return "object";
        case KeyframerCameraNode:
            return "camera";
        case KeyframerTargetNode:
            return "target";
        case KeyframerLightNode:
            return "light";
        case KeyframerLightTargetNode:
            return "light target";
        case KeyframerSpotlightNode:
            return "spotlight";
        default:
            return "unknown";
    }
}
